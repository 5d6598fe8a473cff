#pragma once
// One fuzz target per codec, shared by the libFuzzer programs (./fuzz.sh) and
// the short mutation run in the tests. Each decodes bytes from memory and
// checks what must hold for any input: an image or a message, never both
// missing; pixels finite; nothing read or written outside its buffer (the
// sanitizers watch that).
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "formats/FITS.h"
#include "formats/RawImport.h"
#include "formats/SBIG.h"
#include "formats/kvx.h"

namespace fuzz {

inline void Check(bool Ok, const char* What) {
  if (!Ok) {
    std::fprintf(stderr, "fuzz invariant failed: %s\n", What);
    std::abort();
  }
}

// True when the input gave an image.
inline bool CheckImage(const TDataImage* Image, const TCodecMessages& Messages) {
  if (!Image) {
    Check(!Messages.empty(), "a refused file says why");
    return false;
  }
  if (Image->IsColour) return true;
  const std::int64_t n = Image->PixelCount();
  Check(n == 0 || Image->Pixels != nullptr, "an image has its plane");
  for (std::int64_t i = 0; i < n; ++i) Check(std::isfinite(Image->Pixels[i]), "pixels are finite");
  return true;
}

inline bool FITS(const std::uint8_t* Data, std::size_t Size) {
  TByteSource src(Data, Size);
  const auto r = DecodeFITS(src);
  const bool image = CheckImage(r.Image.get(), r.Messages);
  // Lookups and the header written for the data must cope with any cards.
  std::int32_t i = 0;
  float f = 0;
  GetFITSInteger(r.Header, "NAXIS", i);
  try {
    GetFITSFloat(r.Header, "BZERO", f);
  } catch (const EConvertError&) {
  }
  const auto out = FITSHeaderForData(r.Header, 16, 3, 2, 32768, 1);
  Check(out.size() >= 8 && out.back() == MakeKeywordCard("END"), "END last");
  for (const auto& c : out) Check(c.size() == 80, "cards of 80 columns");
  return image;
}

inline bool KVX(const std::uint8_t* Data, std::size_t Size) {
  TByteSource src(Data, Size);
  const auto r = DecodeKVX(src);
  if (CheckImage(r.Image.get(), r.Messages)) {
    // What was read writes and reads back unchanged.
    const auto bytes = EncodeKVX(*r.Image, r.Annotations, r.Markers);
    TByteSource again(bytes.data(), bytes.size());
    const auto b = DecodeKVX(again);
    Check(b.Image && b.Messages.empty(), "a written file reads");
    Check(b.Annotations == r.Annotations && b.Markers == r.Markers, "marks survive");
    const std::size_t n = std::size_t(r.Image->PixelCount());
    const bool same = n == 0 || (r.Image->IsColour ? std::memcmp(b.Image->RGBPlane, r.Image->RGBPlane, n * 3) == 0
                                                  : std::memcmp(b.Image->Pixels, r.Image->Pixels, n * 4) == 0);
    Check(same, "pixels survive");
    return true;
  }
  return false;
}

inline bool SBIG(const std::uint8_t* Data, std::size_t Size) {
  TByteSource src(Data, Size);
  const auto r = DecodeSBIG(src);
  const bool headed = CheckImage(r.Image.get(), r.Messages);
  TByteSource src4(Data, Size);
  const auto s = DecodeST4(src4);
  return CheckImage(s.Image.get(), s.Messages) || headed;
}

// The first 16 bytes choose the import parameters, the rest is the file.
inline bool Raw(const std::uint8_t* Data, std::size_t Size) {
  if (Size < 16) return false;
  static const int formats[] = {rawFormat8, rawFormat12, rawFormat16Motorola, rawFormat16Intel, rawFormat32, 9};
  TRawImportParams p;
  p.Width = std::int16_t(ByteOrder::LoadLE16(Data));
  p.Height = std::int16_t(ByteOrder::LoadLE16(Data + 2));
  p.Skip = std::int32_t(ByteOrder::LoadLE32(Data + 4)) % 4096;
  std::uint32_t bits = ByteOrder::LoadLE32(Data + 8);
  std::memcpy(&p.Offset, &bits, 4);
  if (!std::isfinite(p.Offset) || std::fabs(p.Offset) > 2e32f) p.Offset = 0;  // the dialog's bounds
  p.Format = formats[Data[12] % 6];
  p.Unsigned = Data[13] & 1;
  TByteSource src(Data + 16, Size - 16);
  const auto r = DecodeRaw(src, p);
  return CheckImage(r.Image.get(), r.Messages);
}

// Small valid files to start from.
inline std::vector<std::vector<std::uint8_t>> Seeds(const std::string& Codec) {
  std::vector<std::vector<std::uint8_t>> seeds;
  auto fits = [](const TFITSHeader& h, std::size_t DataBytes) {
    std::string s;
    for (const auto& c : h) s += c;
    s.resize((s.size() + 2879) / 2880 * 2880, ' ');
    std::vector<std::uint8_t> b(s.begin(), s.end());
    for (std::size_t i = 0; i < DataBytes; ++i) b.push_back(std::uint8_t(i * 37 + 11));
    return b;
  };
  if (Codec == "fits") {
    seeds.push_back(fits(MakeFITSHeader(16, 7, 5, 32768, 1), 70));
    seeds.push_back(fits(MakeFITSHeader(-32, 4, 3, 0, 1), 48));
    seeds.push_back(fits(MakeFITSHeader(8, 9, 2, -10, 2), 18));
    TFITSHeader h = MakeFITSHeader(16, 3, 3, 0, 0.5);
    h.insert(h.begin() + 5, "BSCALE  = 0.25 / comment");
    seeds.push_back(fits(h, 10));
  } else if (Codec == "kvx") {
    TDataImage g;
    g.Allocate(3, 2, 3, false);
    for (int i = 0; i < 6; ++i) g.Pixels[i] = float(i) * 1.5f;
    TKVXAnnotation a;
    a.Text = "M42";
    a.FontName = "Arial";
    a.FontSize = 10;
    seeds.push_back(EncodeKVX(g, {a}, {{1, 2}, {3, 4}}));
    TDataImage c;
    c.Allocate(4, 2, 0, true);
    seeds.push_back(EncodeKVX(c, {}, {}));
  } else if (Codec == "sbig") {
    for (const char* first : {"ST-7 Compressed Image", "ST-7 Image"}) {
      std::string t = std::string(first) + "\n\rHeight = 3\n\rWidth = 4\n\rEnd\n\r";
      t.resize(kSBIGHeaderSize, '\x1a');
      std::vector<std::uint8_t> b(t.begin(), t.end());
      const std::uint8_t row[] = {7, 0, 0xE8, 0x03, 0x05, 0xFB, 0x80, 0xE8, 0x03};
      for (int y = 0; y < 3; ++y) b.insert(b.end(), row, row + (first[5] == 'C' ? 9 : 8));
      seeds.push_back(b);
    }
    seeds.push_back(std::vector<std::uint8_t>(std::size_t(kST4Width) * kST4Height, 9));
  } else if (Codec == "raw") {
    for (std::uint8_t f = 0; f < 5; ++f) {
      std::vector<std::uint8_t> b = {5, 0, 3, 0, 2, 0, 0, 0, 0, 0, 0x20, 0x41, f, 1, 0, 0};
      for (int i = 0; i < 80; ++i) b.push_back(std::uint8_t(i * 13));
      seeds.push_back(b);
    }
  }
  return seeds;
}

// True when the input gave an image.
inline bool Run(const std::string& Codec, const std::uint8_t* Data, std::size_t Size) {
  if (Codec == "fits") return FITS(Data, Size);
  if (Codec == "kvx") return KVX(Data, Size);
  if (Codec == "sbig") return SBIG(Data, Size);
  if (Codec == "raw") return Raw(Data, Size);
  return false;
}

// A plain mutation step (for runs without libFuzzer): flips, interesting
// values, inserted and removed runs, truncation.
struct TMutator {
  std::uint64_t State;
  std::uint64_t Next() {
    State ^= State << 13;
    State ^= State >> 7;
    State ^= State << 17;
    return State;
  }
  void Mutate(std::vector<std::uint8_t>& B) {
    const int steps = 1 + int(Next() % 4);
    for (int s = 0; s < steps; ++s) {
      const std::size_t at = B.empty() ? 0 : std::size_t(Next() % B.size());
      switch (Next() % 7) {
        case 0:
          if (!B.empty()) B[at] ^= std::uint8_t(1u << (Next() % 8));
          break;
        case 1: {
          static const std::uint8_t interesting[] = {0, 1, 0x7F, 0x80, 0xFF, '-', '9', ' ', '/', '\''};
          if (!B.empty()) B[at] = interesting[Next() % sizeof interesting];
          break;
        }
        case 2:
          if (B.size() >= at + 4) {
            const std::uint32_t v[] = {0, 0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u, 65536, 1u << 20};
            ByteOrder::StoreLE32(&B[at], v[Next() % 6]);
          }
          break;
        case 3:
          B.resize(std::size_t(Next() % (B.size() + 1)));
          break;
        case 4:
          B.insert(B.begin() + std::ptrdiff_t(at), std::size_t(Next() % 16), std::uint8_t(Next()));
          break;
        case 5:
          if (!B.empty()) B.erase(B.begin() + std::ptrdiff_t(at), B.begin() + std::ptrdiff_t(std::min(B.size(), at + std::size_t(Next() % 16))));
          break;
        case 6:
          if (!B.empty()) B[at] = std::uint8_t('0' + Next() % 10);
          break;
      }
    }
  }
};

}  // namespace fuzz
