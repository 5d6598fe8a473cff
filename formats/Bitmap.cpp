#include "formats/Bitmap.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fstream>
#include <vector>

#include "platform/PageMemory.h"

// ---------------------------------------------------------------------------
// Shared by the picture codecs

bool PictureSizeAllowed(std::int64_t Width, std::int64_t Height) {
  std::int64_t rowBytes = 0;
  std::uint64_t pictureBytes = 0;
  if (Width <= 0 || Height <= 0 || !TFastBMP::PictureBytes(Width, Height, rowBytes, pictureBytes)) return false;
  // The decoded picture, the colour image it becomes (grey and colour planes)
  // and that image's own picture with the window's copies of it.
  return 4 * pictureBytes + std::uint64_t(Width) * std::uint64_t(Height) * 7 <= PageMemory::Limit();
}

namespace {
std::uint32_t Load32(const std::uint8_t* p, bool Big) {
  return Big ? ByteOrder::LoadBE32(p) : ByteOrder::LoadLE32(p);
}
std::uint16_t Load16(const std::uint8_t* p, bool Big) {
  return Big ? ByteOrder::LoadBE16(p) : ByteOrder::LoadLE16(p);
}

bool BMPSides(TByteSource& S, std::int64_t& Width, std::int64_t& Height) {
  std::uint8_t h[26];
  if (!S.ReadExact(h, sizeof h) || h[0] != 'B' || h[1] != 'M') return false;
  if (ByteOrder::LoadLE32(h + 14) == 12) {
    Width = ByteOrder::LoadLE16(h + 18);
    Height = ByteOrder::LoadLE16(h + 20);
  } else {
    Width = std::int32_t(ByteOrder::LoadLE32(h + 18));
    Height = std::int32_t(ByteOrder::LoadLE32(h + 22));
    if (Height < 0) Height = -Height;
  }
  return true;
}

// The first frame header of the file, walking the marker segments.
bool JPEGSides(TByteSource& S, std::int64_t& Width, std::int64_t& Height) {
  std::uint8_t m[2];
  if (!S.ReadExact(m, 2) || m[0] != 0xFF || m[1] != 0xD8) return false;
  for (;;) {
    if (!S.ReadExact(m, 2) || m[0] != 0xFF) return false;
    const std::uint8_t marker = m[1];
    if (marker == 0xFF) {  // fill byte
      S.Seek(S.Position() - 1);
      continue;
    }
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length
    if (marker == 0xDA || marker == 0xD9) return false;                  // scan or end before a frame
    std::uint8_t len[2];
    if (!S.ReadExact(len, 2)) return false;
    const std::uint16_t length = ByteOrder::LoadBE16(len);
    if (length < 2) return false;
    const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) {
      std::uint8_t f[5];
      if (length < 7 || !S.ReadExact(f, sizeof f)) return false;
      Height = ByteOrder::LoadBE16(f + 1);
      Width = ByteOrder::LoadBE16(f + 3);
      return true;
    }
    S.Seek(S.Position() + length - 2);
  }
}

// Width and length from the first directory.
bool TIFFSides(TByteSource& S, std::int64_t& Width, std::int64_t& Height) {
  std::uint8_t h[8];
  if (!S.ReadExact(h, sizeof h)) return false;
  const bool big = h[0] == 'M' && h[1] == 'M';
  if (!big && !(h[0] == 'I' && h[1] == 'I')) return false;
  S.Seek(Load32(h + 4, big));
  std::uint8_t n[2];
  if (!S.ReadExact(n, 2)) return false;
  bool haveWidth = false, haveHeight = false;
  for (std::uint16_t k = Load16(n, big); k > 0; --k) {
    std::uint8_t e[12];
    if (!S.ReadExact(e, sizeof e)) return false;
    const std::uint16_t tag = Load16(e, big), type = Load16(e + 2, big);
    if ((tag != 256 && tag != 257) || (type != 3 && type != 4)) continue;
    const std::int64_t v = type == 3 ? Load16(e + 8, big) : Load32(e + 8, big);
    (tag == 256 ? Width : Height) = v;
    (tag == 256 ? haveWidth : haveHeight) = true;
  }
  return haveWidth && haveHeight;
}
}  // namespace

bool PictureFileSides(TByteSource& Source, TPictureKind Kind, std::int64_t& Width, std::int64_t& Height) {
  Source.Seek(0);
  switch (Kind) {
    case TPictureKind::BMP: return BMPSides(Source, Width, Height);
    case TPictureKind::JPEG: return JPEGSides(Source, Width, Height);
    case TPictureKind::TIFF: return TIFFSides(Source, Width, Height);
  }
  return false;
}

bool PictureFileFits(const std::string& FileName, TPictureKind Kind, std::string& ErrorText) {
  TByteSource source;
  if (!source.OpenFile(FileName)) return true;  // the whole read says why
  std::int64_t w = 0, h = 0;
  // A zero side is the decoder's refusal, not a size.
  const bool tooWide = PictureFileSides(source, Kind, w, h) && w > 0 && h > 0 && !PictureSizeAllowed(w, h);
  if (tooWide || source.Size() > PageMemory::Limit()) {
    ErrorText = PictureTooLargeText;
    return false;
  }
  return true;
}

bool SizePicture(TFastBMP& Bitmap, std::int64_t Width, std::int64_t Height) {
  if (!PictureSizeAllowed(Width, Height)) return false;
  try {
    Bitmap.SetSize(0, 0);
    Bitmap.SetSize(int(Width), int(Height));
  } catch (const std::bad_alloc&) {
    Bitmap.SetSize(0, 0);
    return false;
  }
  return Bitmap.Bits != nullptr;
}

bool PictureToImage(const TFastBMP& Bitmap, TDataImage& Image) {
  if (Bitmap.Width <= 0 || Bitmap.Height <= 0 || !Bitmap.Bits) return false;
  if (!Image.Allocate(Bitmap.Width, Bitmap.Height, 0, true) || !Image.RGBPlane) return false;
  const std::size_t w = std::size_t(Bitmap.Width);
  for (int y = 0; y < Bitmap.Height; ++y)
    std::memcpy(Image.RGBPlane + std::size_t(y) * w, Bitmap.TopRow(y), w * 3);
  Image.BlackPoint = 0.0f;
  Image.WhitePoint = 255.0f;
  return true;
}

bool ReadWholeFile(const std::string& FileName, std::string& Data, std::string& ErrorText) {
  TByteSource in;
  if (!in.OpenFile(FileName)) {
    ErrorText = CannotOpenText(FileName, in.Reason());
    return false;
  }
  try {
    Data.assign(std::size_t(in.Size()), '\0');
    if (in.Read(Data.data(), Data.size()) != Data.size() || in.Failed()) throw std::ios::failure("read");
  } catch (...) {
    Data.clear();
    ErrorText = "Stream read error";
    return false;
  }
  return true;
}

bool ReadStreamRest(std::istream& Stream, std::vector<std::uint8_t>& Data) {
  Data.clear();
  try {
    char chunk[1 << 16];
    while (Stream) {
      Stream.read(chunk, sizeof chunk);
      Data.insert(Data.end(), chunk, chunk + Stream.gcount());
    }
  } catch (...) {
    Data.clear();
    return false;
  }
  return !Stream.bad();
}

// ---------------------------------------------------------------------------
// Bitmap reading

namespace {

std::uint16_t U16(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }
std::uint32_t U32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}

// One channel of a bit-field pixel, scaled to 0..255.
struct TBitField {
  std::uint32_t Mask = 0;
  int Shift = 0;
  std::uint64_t Max = 0;
  void Set(std::uint32_t M) {
    Mask = M;
    Shift = 0;
    if (!M) {
      Max = 0;
      return;
    }
    while (!((M >> Shift) & 1)) ++Shift;
    Max = M >> Shift;
  }
  std::uint8_t Get(std::uint32_t Pixel) const {
    if (!Max) return 0;
    const std::uint64_t v = (Pixel & Mask) >> Shift;
    return std::uint8_t((v * 255 + Max / 2) / Max);
  }
};

// Expands RLE8 or RLE4 codes into one palette index per pixel, rows in file
// order (bottom-up). False when the codes run past the data before the end.
bool DecodeRLE(const std::uint8_t* p, const std::uint8_t* end, bool Four, int W, int H,
               std::vector<std::uint8_t>& Index) {
  Index.assign(std::size_t(W) * std::size_t(H), 0);
  std::int64_t x = 0, y = 0;
  auto put = [&](std::uint8_t v) {
    if (x < W && y < H) Index[std::size_t(y) * W + std::size_t(x)] = v;
    ++x;
  };
  while (y < H) {
    if (end - p < 2) return false;
    const std::uint8_t n = p[0], v = p[1];
    p += 2;
    if (n > 0) {
      for (int i = 0; i < n; ++i) put(Four ? std::uint8_t(i & 1 ? v & 15 : v >> 4) : v);
      continue;
    }
    switch (v) {
      case 0:  // end of line
        x = 0;
        ++y;
        break;
      case 1:  // end of bitmap
        return true;
      case 2:  // delta
        if (end - p < 2) return false;
        x += p[0];
        y += p[1];
        p += 2;
        break;
      default: {  // absolute run, padded to a word
        const std::size_t bytes = Four ? (v + 1u) / 2 : v;
        const std::size_t padded = (bytes + 1) & ~std::size_t(1);
        if (std::size_t(end - p) < bytes) return false;
        for (int i = 0; i < v; ++i) put(Four ? std::uint8_t(i & 1 ? p[i / 2] & 15 : p[i / 2] >> 4) : p[i]);
        p += std::min<std::size_t>(padded, std::size_t(end - p));
      }
    }
  }
  return true;
}

}  // namespace

bool DecodeBMP(const std::uint8_t* Data, std::size_t Size, TFastBMP& Bitmap) {
  if (Size < 14 + 12 || Data[0] != 'B' || Data[1] != 'M') return false;
  const std::uint32_t offBits = U32(Data + 10);
  const std::uint32_t hdrSize = U32(Data + 14);
  const std::uint8_t* h = Data + 14;
  std::int64_t width = 0, height = 0;
  int bits = 0;
  std::uint32_t compression = 0, sizeImage = 0, clrUsed = 0;
  bool core = false;
  if (hdrSize == 12) {
    core = true;
    width = U16(h + 4);
    height = U16(h + 6);
    bits = U16(h + 10);
  } else if (hdrSize == 40 || hdrSize == 52 || hdrSize == 56 || hdrSize == 108 || hdrSize == 124) {
    if (Size < 14 + std::size_t(hdrSize)) return false;
    width = std::int32_t(U32(h + 4));
    height = std::int32_t(U32(h + 8));
    bits = U16(h + 14);
    compression = U32(h + 16);
    sizeImage = U32(h + 20);
    clrUsed = U32(h + 32);
  } else {
    return false;
  }
  const bool topDown = height < 0;
  if (topDown) height = -height;
  if (width <= 0 || height <= 0) return false;

  // Colour masks: in the header from V2 on, after a plain info header otherwise.
  std::size_t paletteAt = 14 + std::size_t(hdrSize);
  TBitField red, green, blue;
  switch (compression) {
    case 0:
      if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
      if (bits == 16) {
        red.Set(0x7C00), green.Set(0x03E0), blue.Set(0x001F);
      } else if (bits == 32) {
        red.Set(0xFF0000), green.Set(0xFF00), blue.Set(0xFF);
      }
      break;
    case 1:
      if (bits != 8 || topDown) return false;
      break;
    case 2:
      if (bits != 4 || topDown) return false;
      break;
    case 3: {
      if (bits != 16 && bits != 32) return false;
      const std::uint8_t* m = h + 40;
      if (hdrSize == 40) {
        if (Size < paletteAt + 12) return false;
        paletteAt += 12;
      }
      red.Set(U32(m)), green.Set(U32(m + 4)), blue.Set(U32(m + 8));
      break;
    }
    default:
      return false;
  }
  if (!PictureSizeAllowed(width, height)) return false;
  const int W = int(width), H = int(height);

  // The palette.
  std::uint8_t palette[256][3] = {};  // blue, green, red
  if (bits <= 8) {
    const std::uint32_t most = 1u << bits;
    const std::uint32_t count = clrUsed == 0 || clrUsed > most ? most : clrUsed;
    const std::size_t entry = core ? 3 : 4;
    if (paletteAt > Size || (Size - paletteAt) / entry < count) return false;
    for (std::uint32_t i = 0; i < count; ++i) std::memcpy(palette[i], Data + paletteAt + i * entry, 3);
  }

  if (offBits >= Size) return false;
  const std::uint8_t* pix = Data + offBits;
  const std::size_t avail = Size - offBits;
  if (!SizePicture(Bitmap, W, H)) return false;

  if (compression == 1 || compression == 2) {
    std::vector<std::uint8_t> index;
    const std::size_t len = sizeImage && sizeImage < avail ? sizeImage : avail;
    try {
      if (!DecodeRLE(pix, pix + len, compression == 2, W, H, index)) return false;
    } catch (const std::bad_alloc&) {
      return false;
    }
    for (int y = 0; y < H; ++y) {
      std::uint8_t* d = Bitmap.Rows[y];
      const std::uint8_t* s = index.data() + std::size_t(y) * W;
      for (int x = 0; x < W; ++x, d += 3) std::memcpy(d, palette[s[x]], 3);
    }
    return true;
  }

  const std::size_t stride = ((std::size_t(W) * bits + 31) / 32) * 4;
  if (avail / stride < std::size_t(H)) return false;
  for (int row = 0; row < H; ++row) {
    const std::uint8_t* s = pix + std::size_t(row) * stride;
    std::uint8_t* d = topDown ? Bitmap.TopRow(row) : Bitmap.Rows[row];
    switch (bits) {
      case 1:
        for (int x = 0; x < W; ++x, d += 3) std::memcpy(d, palette[(s[x >> 3] >> (7 - (x & 7))) & 1], 3);
        break;
      case 4:
        for (int x = 0; x < W; ++x, d += 3) std::memcpy(d, palette[x & 1 ? s[x >> 1] & 15 : s[x >> 1] >> 4], 3);
        break;
      case 8:
        for (int x = 0; x < W; ++x, d += 3) std::memcpy(d, palette[s[x]], 3);
        break;
      case 24:
        std::memcpy(d, s, std::size_t(W) * 3);
        break;
      case 16:
      case 32:
        for (int x = 0; x < W; ++x, d += 3) {
          const std::uint32_t v = bits == 16 ? U16(s + 2 * x) : U32(s + 4 * x);
          d[0] = blue.Get(v);
          d[1] = green.Get(v);
          d[2] = red.Get(v);
        }
        break;
    }
  }
  return true;
}

bool ReadBMPImage(const std::string& FileName, TDataImage& Image, std::string& ErrorText) {
  std::string data, ignored;
  TFastBMP bitmap;
  if (!PictureFileFits(FileName, TPictureKind::BMP, ErrorText)) return false;
  if (!ReadWholeFile(FileName, data, ignored) ||
      !DecodeBMP(reinterpret_cast<const std::uint8_t*>(data.data()), data.size(), bitmap)) {
    ErrorText = BMPOpenErrorText;
    return false;
  }
  if (!PictureToImage(bitmap, Image)) {
    ErrorText = PictureTooLargeText;
    return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// Bitmap writing

namespace {
void Put16(std::uint8_t* p, std::uint32_t v) {
  p[0] = std::uint8_t(v);
  p[1] = std::uint8_t(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(v >> (8 * i));
}
}  // namespace

bool WriteBMPFile(const std::string& FileName, const TFastBMP& Bitmap, std::string& ErrorText) {
  ErrorText = SaveErrorText;
  if (Bitmap.Width <= 0 || Bitmap.Height <= 0 || !Bitmap.Bits) return false;
  const std::uint64_t imageBytes = std::uint64_t(Bitmap.RowBytes) * std::uint64_t(Bitmap.Height);
  if (imageBytes + 54 > 0xFFFFFFFFull) return false;
  std::uint8_t head[54] = {};
  head[0] = 'B';
  head[1] = 'M';
  Put32(head + 2, std::uint32_t(imageBytes + 54));
  Put32(head + 10, 54);
  Put32(head + 14, 40);
  Put32(head + 18, std::uint32_t(Bitmap.Width));
  Put32(head + 22, std::uint32_t(Bitmap.Height));
  Put16(head + 26, 1);
  Put16(head + 28, 24);
  Put32(head + 34, std::uint32_t(imageBytes));
  TSafeFileWriter out;
  // The buffer is already a bottom-up, padded 24-bit bitmap: its rows go out as they are.
  if (!out.Open(FileName) || !out.Write(head, sizeof head) || !out.Write(Bitmap.Bits, std::size_t(imageBytes)) ||
      !out.Commit()) {
    ErrorText = SaveFailureText(SaveErrorText, out);
    return false;
  }
  ErrorText.clear();
  return true;
}
