#include "formats/kvx.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace ByteOrder;

namespace {

// The smallest annotation record: y, x, text length, reserved, colour, size,
// style, name length.
constexpr std::uint64_t kMinAnnotation = 4 + 4 + 4 + 4 + 4 + 4 + 1 + 4;
constexpr std::size_t kPixelBlock = 2048;

struct TReader {
  TByteSource& Src;
  bool Bad = false;
  bool U8(std::uint8_t& v) { return Get(&v, 1); }
  bool U32(std::uint32_t& v) {
    std::uint8_t b[4];
    if (!Get(b, 4)) return false;
    v = LoadLE32(b);
    return true;
  }
  bool F32(float& v) {
    std::uint32_t bits;
    if (!U32(bits)) return false;
    std::memcpy(&v, &bits, 4);
    return true;
  }
  bool Text(std::string& s) {
    std::uint32_t n;
    if (!U32(n) || n > Src.Remaining()) return Bad = true, false;
    s.resize(n);
    return n == 0 || Get(s.data(), n);
  }
  bool Get(void* p, std::size_t n) {
    if (Bad || !Src.ReadExact(p, n)) return Bad = true, false;
    return true;
  }
};

struct TWriter {
  std::vector<std::uint8_t>& Out;
  void U8(std::uint8_t v) { Out.push_back(v); }
  void U32(std::uint32_t v) {
    std::uint8_t b[4];
    StoreLE32(b, v);
    Out.insert(Out.end(), b, b + 4);
  }
  void F32(float v) {
    std::uint32_t bits;
    std::memcpy(&bits, &v, 4);
    U32(bits);
  }
  void Text(const std::string& s) {
    U32(std::uint32_t(s.size()));
    Out.insert(Out.end(), s.begin(), s.end());
  }
};

}  // namespace

std::uint8_t KVXStyleCode(const TKVXFontStyle& S) {
  const int set = S.Bold | S.Italic << 1 | S.Underline << 2 | S.StrikeOut << 3;
  switch (set) {
    case 1: return 1;
    case 2: return 2;
    case 4: return 3;
    case 8: return 4;
    case 3: return 5;
    default: return 0;
  }
}

TKVXFontStyle KVXStyleFromCode(std::uint8_t Code) {
  TKVXFontStyle s;
  switch (Code) {
    case 1: s.Bold = true; break;
    case 2: s.Italic = true; break;
    case 3: s.Underline = true; break;
    case 4: s.StrikeOut = true; break;
    case 5: s.Bold = s.Italic = true; break;
    default: break;
  }
  return s;
}

TKVXReadResult DecodeKVX(TByteSource& Source) {
  TKVXReadResult r;
  auto refuse = [&](const char* Text) {
    TKVXReadResult f;
    const bool unrecognised = std::strcmp(Text, msgKVXUnrecognised) == 0;
    f.Messages.push_back({unrecognised ? TCodecMessageKind::Warning : TCodecMessageKind::Error, Text});
    return f;
  };
  if (!Source.IsOpen()) return refuse(msgOpenError);
  TReader in{Source};
  std::uint8_t version = 0, colour = 0;
  std::uint32_t width = 0, height = 0, count = 0, annotations = 0;
  if (!in.U8(version) || version != kKVXVersion) return refuse(msgKVXUnrecognised);
  if (!in.U32(width) || !in.U32(height) || !in.U32(count) || !in.U8(colour) || !in.U32(annotations))
    return refuse(msgKVXUnrecognised);
  // Every size is checked against what the file can hold before it is used.
  if (width == 0 || height == 0 || width > INT32_MAX || height > INT32_MAX ||
      std::uint64_t(width) * height != count)
    return refuse(msgKVXUnrecognised);
  if (annotations > Source.Remaining() / kMinAnnotation) return refuse(msgKVXUnrecognised);
  r.Annotations.reserve(annotations);
  for (std::uint32_t i = 0; i < annotations; ++i) {
    TKVXAnnotation a;
    std::uint32_t y, x, reserved;
    std::uint8_t style;
    if (!in.U32(y) || !in.U32(x) || !in.Text(a.Text) || !in.U32(reserved) || !in.U32(a.FontColour) ||
        !in.U32(a.FontSize) || !in.U8(style) || !in.Text(a.FontName))
      return refuse(msgKVXUnrecognised);
    a.Y = std::int32_t(y);
    a.X = std::int32_t(x);
    a.FontStyle = KVXStyleFromCode(style);
    r.Annotations.push_back(std::move(a));
  }
  std::uint32_t markers = 0;
  if (!in.U32(markers) || markers > Source.Remaining() / 8) return refuse(msgKVXUnrecognised);
  r.Markers.resize(markers);
  std::int64_t nonFinite = 0;
  for (auto& m : r.Markers) {
    if (!in.F32(m.X) || !in.F32(m.Y)) return refuse(msgKVXUnrecognised);
    // A marker nowhere cannot be drawn or used: it goes to 0 like a bad pixel.
    for (float* c : {&m.X, &m.Y})
      if (!std::isfinite(*c)) *c = 0.0f, ++nonFinite;
  }
  const std::uint64_t pixelBytes = std::uint64_t(count) * (colour ? 3 : 4);
  if (pixelBytes > Source.Remaining()) return refuse(msgKVXUnrecognised);

  r.Image = std::make_unique<TDataImage>();
  if (!r.Image->Allocate(int(width), int(height), colour ? 0 : 3, colour != 0)) return refuse(msgKVXUnrecognised);
  // Pixels come in blocks of 2048 and the rest, x fastest, row 0 first.
  std::int64_t done = 0;
  while (done < count) {
    const std::size_t n = std::size_t(std::min<std::int64_t>(kPixelBlock * 256, count - done));
    void* dst = colour ? static_cast<void*>(r.Image->RGBPlane + done) : static_cast<void*>(r.Image->Pixels + done);
    if (!Source.ReadExact(dst, n * (colour ? 3 : 4))) return refuse(msgOpenError);
    if (!colour) {
      float* p = r.Image->Pixels + done;
      for (std::size_t i = 0; i < n; ++i) {
        std::uint32_t bits;
        std::memcpy(&bits, p + i, 4);
        bits = LoadLE32(reinterpret_cast<const std::uint8_t*>(&bits));
        float v;
        std::memcpy(&v, &bits, 4);
        if (!std::isfinite(v)) {
          v = 0.0f;
          ++nonFinite;
        }
        p[i] = v;
      }
    }
    done += std::int64_t(n);
  }
  r.Image->AutoScale();
  if (nonFinite > 0) r.Messages.push_back({TCodecMessageKind::Warning, NonFiniteWarning(nonFinite)});
  return r;
}

TKVXReadResult LoadKVX(const std::string& FileName) {
  TByteSource src;
  src.OpenFile(FileName);  // read-only: files on read-only media open too
  return DecodeKVX(src);
}

namespace {

// Everything before the pixels.
std::vector<std::uint8_t> EncodeKVXHead(const TDataImage& Image, const std::vector<TKVXAnnotation>& Annotations,
                                        const std::vector<TKVXMarker>& Markers) {
  std::vector<std::uint8_t> bytes;
  TWriter out{bytes};
  out.U8(kKVXVersion);
  out.U32(std::uint32_t(Image.Width));
  out.U32(std::uint32_t(Image.Height));
  out.U32(std::uint32_t(Image.PixelCount()));
  out.U8(Image.IsColour ? 1 : 0);
  out.U32(std::uint32_t(Annotations.size()));
  for (const auto& a : Annotations) {
    out.U32(std::uint32_t(a.Y));
    out.U32(std::uint32_t(a.X));
    out.Text(a.Text);
    out.U32(4);
    out.U32(a.FontColour);
    out.U32(a.FontSize);
    out.U8(KVXStyleCode(a.FontStyle));
    out.Text(a.FontName);
  }
  out.U32(std::uint32_t(Markers.size()));
  for (const auto& m : Markers) {
    out.F32(m.X);
    out.F32(m.Y);
  }
  return bytes;
}

// Pixels From..From+Count as file bytes: little-endian Singles or B,G,R.
void EncodeKVXPixels(const TDataImage& Image, std::uint64_t From, std::uint64_t Count, std::uint8_t* Out) {
  if (Image.IsColour) {
    if (Image.RGBPlane) std::memcpy(Out, Image.RGBPlane + From, Count * 3);
    else std::memset(Out, 0, Count * 3);
  } else if (Image.Pixels) {
    for (std::uint64_t i = 0; i < Count; ++i, Out += 4) {
      std::uint32_t bits;
      std::memcpy(&bits, Image.Pixels + From + i, 4);
      StoreLE32(Out, bits);
    }
  } else {
    std::memset(Out, 0, Count * 4);
  }
}

}  // namespace

std::vector<std::uint8_t> EncodeKVX(const TDataImage& Image, const std::vector<TKVXAnnotation>& Annotations,
                                    const std::vector<TKVXMarker>& Markers) {
  std::vector<std::uint8_t> bytes = EncodeKVXHead(Image, Annotations, Markers);
  const std::uint64_t count = std::uint64_t(std::max<std::int64_t>(Image.PixelCount(), 0));
  const std::size_t start = bytes.size();
  bytes.resize(start + count * (Image.IsColour ? 3 : 4));
  EncodeKVXPixels(Image, 0, count, bytes.data() + start);
  return bytes;
}

TCodecMessages SaveKVX(const std::string& FileName, const TDataImage& Image,
                       const std::vector<TKVXAnnotation>& Annotations, const std::vector<TKVXMarker>& Markers) {
  // Sizes beyond the format's 32-bit fields cannot be written.
  if (Image.PixelCount() > UINT32_MAX) return {{TCodecMessageKind::Warning, msgSaveError}};
  const std::vector<std::uint8_t> head = EncodeKVXHead(Image, Annotations, Markers);
  TSafeFileWriter w;
  bool ok = w.Open(FileName) && w.Write(head.data(), head.size());
  // The pixels go out in pieces: a large image is not copied whole.
  const std::uint64_t count = std::uint64_t(std::max<std::int64_t>(Image.PixelCount(), 0));
  const std::uint64_t piece = kPixelBlock * 256;
  std::vector<std::uint8_t> buf(std::size_t(std::min(count, piece)) * (Image.IsColour ? 3 : 4));
  for (std::uint64_t done = 0; ok && done < count; done += piece) {
    const std::uint64_t n = std::min(piece, count - done);
    EncodeKVXPixels(Image, done, n, buf.data());
    ok = w.Write(buf.data(), std::size_t(n) * (Image.IsColour ? 3 : 4));
  }
  if (!ok || !w.Commit()) return {{TCodecMessageKind::Warning, SaveFailureText(msgSaveError, w)}};
  return {};
}
