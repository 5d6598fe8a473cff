#include "formats/TIFFex.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "formats/Bitmap.h"

namespace {

enum : std::uint16_t {
  tagImageWidth = 256,
  tagImageLength = 257,
  tagBitsPerSample = 258,
  tagCompression = 259,
  tagPhotometric = 262,
  tagStripOffsets = 273,
  tagSamplesPerPixel = 277,
  tagRowsPerStrip = 278,
  tagStripByteCounts = 279,
  tagPlanarConfiguration = 284,
  tagColorMap = 320,
  tagExtraSamples = 338,
};

// Bytes of one value of a field type; 0 for unknown types.
std::size_t TypeSize(std::uint16_t Type) {
  switch (Type) {
    case 1: case 2: case 6: case 7: return 1;
    case 3: case 8: return 2;
    case 4: case 9: case 11: return 4;
    case 5: case 10: case 12: return 8;
    default: return 0;
  }
}

[[noreturn]] void Invalid() { throw ETIFFError(TIFFInvalidText); }

std::uint8_t ClampByte(long long V) { return std::uint8_t(V < 0 ? 0 : V > 255 ? 255 : V); }

// The high byte of 16-bit sample i, or 8-bit sample i.
inline std::uint8_t Sample8(const std::uint8_t* Src, std::size_t I, int Bits, bool HighFirst) {
  return Bits == 16 ? Src[2 * I + (HighFirst ? 0 : 1)] : Src[I];
}
inline std::uint16_t Read16(const std::uint8_t* P, bool HighFirst) {
  return HighFirst ? std::uint16_t(P[0] << 8 | P[1]) : std::uint16_t(P[1] << 8 | P[0]);
}
inline std::uint32_t Read32(const std::uint8_t* P, bool HighFirst) {
  return HighFirst ? std::uint32_t(P[0]) << 24 | std::uint32_t(P[1]) << 16 | std::uint32_t(P[2]) << 8 | P[3]
                   : std::uint32_t(P[3]) << 24 | std::uint32_t(P[2]) << 16 | std::uint32_t(P[1]) << 8 | P[0];
}
inline std::uint32_t Sample16(const std::uint8_t* Src, std::size_t I, bool HighFirst) {
  return Read16(Src + 2 * I, HighFirst);
}

enum class TLayout { Palette, RGB, RGBA, YCbCr, CIELab, CMYK, Other };

}  // namespace

std::string TIFFCompressionText(std::uint32_t Compression) {
  const char* kind = "unknown method";
  switch (Compression) {
    case 2: kind = "CCITTRLE"; break;
    case 3: kind = "CCITTFAX3"; break;
    case 4: kind = "CCITTFAX4"; break;
    case 5: kind = "LZW"; break;
    case 7: kind = "JPEG"; break;
    case 32771: kind = "CCITTRLEW"; break;
    case 32773: kind = "Packbits"; break;
    case 32908: kind = "Pixar Film"; break;
    case 32909: kind = "Pixar Log"; break;
  }
  return std::string("Corvelle Image does not support compressed (") + kind + ") TIFF files.";
}

std::int32_t MulDiv(std::int32_t A, std::int32_t B, std::int32_t C) {
  if (C == 0) return -1;
  const std::int64_t p = std::int64_t(A) * B;
  const bool negative = (p < 0) != (C < 0);
  const std::uint64_t ap = std::uint64_t(p < 0 ? -p : p), ac = std::uint64_t(C < 0 ? -std::int64_t(C) : C);
  const std::uint64_t q = (ap + ac / 2) / ac;
  if (q > 0x7FFFFFFFull) return -1;
  return negative ? -std::int32_t(q) : std::int32_t(q);
}

void BuildTIFFPalette(int Bits, std::uint32_t Photometric, const std::uint16_t* ColorMap, TRGBPixel* Palette) {
  const int n = 1 << Bits;
  for (int i = 0; i < n; ++i) {
    std::uint8_t r = 0, g = 0, b = 0;
    if (Photometric == 3) {
      r = std::uint8_t(ColorMap[i] >> 8);
      g = std::uint8_t(ColorMap[n + i] >> 8);
      b = std::uint8_t(ColorMap[2 * n + i] >> 8);
    } else {
      int v = Bits == 8 ? i : Bits == 4 ? i * 16 : i * 255;
      if (Photometric == 0) v = Bits == 8 ? 255 - i : Bits == 4 ? (15 - i) * 16 : (1 - i) * 255;
      r = g = b = std::uint8_t(v);
    }
    Palette[i] = TRGBPixel{b, g, r};
  }
}

void Convert16To8(const std::uint8_t* Src, std::uint8_t* Dst, std::size_t Count, bool HighFirst) {
  const std::uint8_t* s = Src + (HighFirst ? 0 : 1);
  for (std::size_t i = 0; i < Count; ++i) Dst[i] = s[2 * i];
}

void ConvertRGBRow(const std::uint8_t* Src, std::uint8_t* Dst, int BitsPerSample, int SamplesPerPixel,
                   std::size_t Pixels, bool HighFirst) {
  if (BitsPerSample == 8 && SamplesPerPixel == 3) {
    for (std::size_t x = 0; x < Pixels; ++x, Src += 3, Dst += 3) {
      Dst[0] = Src[2];
      Dst[1] = Src[1];
      Dst[2] = Src[0];
    }
    return;
  }
  for (std::size_t x = 0; x < Pixels; ++x, Dst += 3) {
    const std::size_t i = x * std::size_t(SamplesPerPixel);
    Dst[0] = Sample8(Src, i + 2, BitsPerSample, HighFirst);
    Dst[1] = Sample8(Src, i + 1, BitsPerSample, HighFirst);
    Dst[2] = Sample8(Src, i, BitsPerSample, HighFirst);
  }
}

void ConvertRGBARow(const std::uint8_t* Src, std::uint8_t* Dst, int BitsPerSample, int SamplesPerPixel,
                    std::size_t Pixels, bool HighFirst) {
  ConvertRGBRow(Src, Dst, BitsPerSample, SamplesPerPixel, Pixels, HighFirst);
}

void ConvertCIELabRow(const std::uint8_t* Src, std::uint8_t* Dst, int BitsPerSample, int SamplesPerPixel,
                      std::size_t Pixels, bool HighFirst) {
  for (std::size_t x = 0; x < Pixels; ++x, Dst += 3) {
    const std::size_t i = x * std::size_t(SamplesPerPixel);
    const long double L = Sample8(Src, i, BitsPerSample, HighFirst) / 2.55L;
    const long double a = std::int8_t(Sample8(Src, i + 1, BitsPerSample, HighFirst));
    const long double b = std::int8_t(Sample8(Src, i + 2, BitsPerSample, HighFirst));
    const long double fy = (L + 16) / 116;
    long double X, Y, Z;
    if (L > 7.9996L) {
      const long double fx = a / 500 + fy, fz = fy - b / 200;
      X = fx * fx * fx;
      Y = fy * fy * fy;
      Z = fz * fz * fz;
    } else {
      Y = L / 903.3L;
      X = a / 3893.5L + Y;
      Z = Y - b / 1557.4L;
    }
    const long double red = 255 * (2.998L * X - 1.458L * Y - 0.541L * Z);
    const long double green = 255 * (-0.952L * X + 1.893L * Y + 0.059L * Z);
    const long double blue = 255 * (0.099L * X - 0.198L * Y + 1.099L * Z);
    Dst[0] = ClampByte(std::llrint(blue));
    Dst[1] = ClampByte(std::llrint(green));
    Dst[2] = ClampByte(std::llrint(red));
  }
}

void ConvertCMYKRow(const std::uint8_t* Src, std::uint8_t* Dst, int BitsPerSample, int SamplesPerPixel,
                    std::size_t Pixels, bool HighFirst) {
  for (std::size_t x = 0; x < Pixels; ++x, Dst += 3) {
    const std::size_t i = x * std::size_t(SamplesPerPixel);
    if (BitsPerSample == 16) {
      const std::int32_t k = std::int32_t(Sample16(Src, i + 3, HighFirst));
      for (int c = 0; c < 3; ++c) {
        const std::int32_t v = std::int32_t(Sample16(Src, i + c, HighFirst));
        const std::int32_t ink = v - MulDiv(v, k, 65535) + k;
        Dst[2 - c] = ClampByte(255 - (ink >> 8));
      }
    } else {
      const std::int32_t k = Src[i + 3];
      for (int c = 0; c < 3; ++c) {
        const std::int32_t v = Src[i + c];
        Dst[2 - c] = ClampByte(255 - (v - MulDiv(v, k, 255) + k));
      }
    }
  }
}

// ---------------------------------------------------------------------------

std::uint16_t TTIFFGraphic::Get16(std::size_t Pos) const { return Read16(FData + Pos, BigEndian()); }

std::uint32_t TTIFFGraphic::Get32(std::size_t Pos) const { return Read32(FData + Pos, BigEndian()); }

std::uint32_t TTIFFGraphic::ElementValue(const TTIFFEntry& E, const std::uint8_t* P) const {
  switch (E.FieldType) {
    case 1:
      return P[0];
    case 3:
    case 8:
      return Read16(P, BigEndian());
    case 4:
    case 9:
      return Read32(P, BigEndian());
    default:
      return 0;
  }
}

bool TTIFFGraphic::FindTag(std::uint16_t Tag, std::size_t& Index) const {
  std::size_t lo = 0, hi = FEntries.size();
  while (lo < hi) {
    const std::size_t mid = (lo + hi) / 2;
    if (FEntries[mid].Tag < Tag) {
      lo = mid + 1;
    } else if (FEntries[mid].Tag > Tag) {
      hi = mid;
    } else {
      Index = mid;
      return true;
    }
  }
  return false;
}

std::uint32_t TTIFFGraphic::GetTagValue(std::uint16_t Tag, std::uint32_t Default) const {
  std::size_t i = 0;
  if (!FindTag(Tag, i)) return Default;
  const TTIFFEntry& e = FEntries[i];
  return e.Count == 1 ? ElementValue(e, e.ValueBytes) : e.Value;
}

std::uint32_t TTIFFGraphic::GetTagCount(std::uint16_t Tag, std::uint32_t Default) const {
  std::size_t i = 0;
  return FindTag(Tag, i) ? FEntries[i].Count : Default;
}

std::vector<std::uint32_t> TTIFFGraphic::GetTagValues(std::uint16_t Tag) const {
  std::vector<std::uint32_t> values;
  std::size_t i = 0;
  if (!FindTag(Tag, i)) return values;
  const TTIFFEntry& e = FEntries[i];
  const std::size_t size = TypeSize(e.FieldType);
  if (size == 0) Invalid();
  // Values that fit in the entry stand in it; the others at its offset.
  const std::uint8_t* p = e.ValueBytes;
  if (std::uint64_t(e.Count) * size > 4) {
    if (e.Value > FSize || (FSize - e.Value) / size < e.Count) Invalid();
    p = FData + e.Value;
  }
  values.resize(e.Count);
  for (std::uint32_t k = 0; k < e.Count; ++k) values[k] = ElementValue(e, p + k * size);
  return values;
}

void TTIFFGraphic::LoadFromStream(std::istream& Stream) {
  std::vector<std::uint8_t> data;
  if (!ReadStreamRest(Stream, data)) Invalid();
  LoadFromMemory(data.data(), data.size());
}

void TTIFFGraphic::LoadFromMemory(const std::uint8_t* Data, std::size_t Size) {
  FData = Data;
  FSize = Size;
  // The caller's bytes are only borrowed while loading.
  struct TRelease {
    TTIFFGraphic* Self;
    ~TRelease() {
      Self->FData = nullptr;
      Self->FSize = 0;
    }
  } release{this};
  FEntries.clear();
  Bitmap.SetSize(0, 0);

  // 1. Header.
  if (Size < 8) Invalid();
  FHeader.ByteOrder = std::uint16_t(Data[0] << 8 | Data[1]);
  FHeader.Magic = Get16(2);
  FHeader.IFDOffset = Get32(4);
  if (FHeader.Magic != 42) Invalid();

  // 2. The first directory.
  const std::size_t ifd = FHeader.IFDOffset;
  if (ifd > Size || Size - ifd < 2) Invalid();
  const std::size_t count = Get16(ifd);
  if ((Size - ifd - 2) / 12 < count) Invalid();
  FEntries.resize(count);
  for (std::size_t k = 0; k < count; ++k) {
    const std::size_t at = ifd + 2 + 12 * k;
    TTIFFEntry& e = FEntries[k];
    e.Tag = Get16(at);
    e.FieldType = Get16(at + 2);
    e.Count = Get32(at + 4);
    std::memcpy(e.ValueBytes, Data + at + 8, 4);
    e.Value = Get32(at + 8);
  }
  // The lookup needs ascending tags; a file that breaks the order still opens.
  std::stable_sort(FEntries.begin(), FEntries.end(),
                   [](const TTIFFEntry& a, const TTIFFEntry& b) { return a.Tag < b.Tag; });

  // 3. Tags.
  const std::uint32_t width = GetTagValue(tagImageWidth, 0);
  const std::uint32_t height = GetTagValue(tagImageLength, 0);
  const std::vector<std::uint32_t> bpsValues = GetTagValues(tagBitsPerSample);
  const std::uint32_t bps = bpsValues.empty() ? 1 : bpsValues[0];
  const std::uint32_t compression = GetTagValue(tagCompression, 1);
  const std::uint32_t photometric = GetTagValue(tagPhotometric, 0);
  const std::uint32_t spp = GetTagValue(tagSamplesPerPixel, 1);
  const std::uint32_t extra = GetTagCount(tagExtraSamples, 0);
  const std::uint32_t planar = GetTagValue(tagPlanarConfiguration, 1);
  const std::uint64_t bits = std::uint64_t(bps) * spp;
  const std::vector<std::uint32_t> stripOffsets = GetTagValues(tagStripOffsets);
  const std::vector<std::uint32_t> rowsPerStrip = GetTagValues(tagRowsPerStrip);
  GetTagValues(tagStripByteCounts);  // read, not used: the rows say how much a strip holds

  // 4. Layout and palette.
  const std::int64_t colour = std::int64_t(spp) - extra;
  const bool wide = bps == 8 || bps == 16;
  TLayout layout = TLayout::Other;
  TRGBPixel palette[256];
  if (colour == 1 && (bps == 1 || bps == 4 || bps == 8 || bps == 16) && (spp == 1 || bps >= 8) &&
      (photometric <= 1 || (photometric == 3 && bps <= 8))) {
    layout = TLayout::Palette;
    const int paletteBits = bps == 16 ? 8 : int(bps);
    if (photometric == 3) {
      const std::uint32_t n = 1u << bps;
      std::size_t at = 0;
      if (!FindTag(tagColorMap, at) || FEntries[at].FieldType != 3 || FEntries[at].Count < 3 * n) Invalid();
      const std::size_t offset = GetTagValue(tagColorMap, 0);
      if (offset > Size || (Size - offset) / 6 < n) Invalid();
      for (std::uint32_t k = 0; k < 3 * n; ++k) FColorMap[k] = Get16(offset + 2 * k);
    }
    BuildTIFFPalette(paletteBits, photometric, FColorMap, palette);
  } else if (colour == 1 && photometric == 3 && bps == 16) {
    Invalid();  // a colour map of 65536 entries
  } else if (colour == 3 && wide && photometric == 2) {
    layout = extra == 0 ? TLayout::RGB : TLayout::RGBA;
  } else if (colour == 3 && bps == 8 && spp == 3 && photometric == 6) {
    layout = TLayout::YCbCr;
  } else if (colour == 3 && wide && photometric == 8) {
    layout = TLayout::CIELab;
  } else if (colour == 4 && wide && photometric == 2) {
    layout = TLayout::RGBA;
  } else if (colour == 4 && wide && photometric == 5) {
    layout = TLayout::CMYK;
  }

  // 5.-7. Size and compression.
  if (width == 0 || height == 0) throw ETIFFError(TIFFInvalidSizeText);
  const std::uint64_t rowBytes = (std::uint64_t(width) * bits + 7) / 8;
  if (compression != 1) throw ETIFFError(TIFFCompressionText(compression));
  if (layout == TLayout::Other || (planar == 2 && spp > 1)) Invalid();
  if (!PictureSizeAllowed(width, height)) throw ETIFFError(PictureTooLargeText);
  if (rowBytes > Size) Invalid();

  // Every row the picture needs must lie in the file.
  if (stripOffsets.empty()) Invalid();
  const std::size_t strips = stripOffsets.size();
  auto stripRows = [&](std::size_t s) -> std::uint64_t {
    if (strips == 1 || rowsPerStrip.empty()) return height;
    return rowsPerStrip[std::min(s, rowsPerStrip.size() - 1)];
  };
  std::uint64_t left = height;
  for (std::size_t s = 0; s < strips && left > 0; ++s) {
    const std::uint64_t take = std::min(stripRows(s), left);
    if (stripOffsets[s] > Size || (take > 0 && (Size - stripOffsets[s]) / rowBytes < take)) Invalid();
    left -= take;
  }
  if (left > 0) Invalid();

  // 8. The strips.
  if (!SizePicture(Bitmap, width, height)) throw ETIFFError(PictureTooLargeText);
  const bool highFirst = BigEndian();
  const int sppInt = int(spp);
  const int bpsInt = int(bps);
  std::vector<std::uint8_t> index(layout == TLayout::Palette ? width : 0);
  std::uint32_t y = 0;
  for (std::size_t s = 0; s < strips && y < height; ++s) {
    const std::uint64_t take = std::min<std::uint64_t>(stripRows(s), height - y);
    const std::uint8_t* row = Data + stripOffsets[s];
    for (std::uint64_t r = 0; r < take; ++r, ++y, row += rowBytes) {
      std::uint8_t* dst = Bitmap.TopRow(int(y));
      switch (layout) {
        case TLayout::Palette: {
          if (bps == 16 && spp == 1) {
            Convert16To8(row, index.data(), width, highFirst);
          } else if (bps >= 8) {
            for (std::uint32_t x = 0; x < width; ++x) index[x] = Sample8(row, std::size_t(x) * spp, bpsInt, highFirst);
          } else if (bps == 4) {
            for (std::uint32_t x = 0; x < width; ++x) index[x] = x & 1 ? row[x >> 1] & 15 : row[x >> 1] >> 4;
          } else {
            for (std::uint32_t x = 0; x < width; ++x) index[x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
          }
          for (std::uint32_t x = 0; x < width; ++x, dst += 3) std::memcpy(dst, &palette[index[x]], 3);
          break;
        }
        case TLayout::RGB:
          ConvertRGBRow(row, dst, bpsInt, sppInt, width, highFirst);
          break;
        case TLayout::RGBA:
          ConvertRGBARow(row, dst, bpsInt, sppInt, width, highFirst);
          break;
        case TLayout::YCbCr:
          std::memcpy(dst, row, std::size_t(width) * 3);
          break;
        case TLayout::CIELab:
          ConvertCIELabRow(row, dst, bpsInt, sppInt, width, highFirst);
          break;
        case TLayout::CMYK:
          ConvertCMYKRow(row, dst, bpsInt, sppInt, width, highFirst);
          break;
        case TLayout::Other:
          break;
      }
    }
  }
}

void ReadTIFFImage(const std::string& FileName, TDataImage& Image) {
  std::string data, error;
  if (!PictureFileFits(FileName, TPictureKind::TIFF, error)) throw ETIFFError(error);
  if (!ReadWholeFile(FileName, data, error)) throw ETIFFError(error);
  TTIFFGraphic graphic;
  graphic.LoadFromMemory(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
  if (!PictureToImage(graphic.Bitmap, Image)) throw ETIFFError(PictureTooLargeText);
}
