#include "formats/RawImport.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "engine/Errors.h"
#include "engine/QVRFastBMP.h"

using namespace ByteOrder;

namespace {

TRawImportResult Refuse(const std::string& Text) {
  TRawImportResult r;
  r.Messages.push_back({TCodecMessageKind::Error, Text});
  return r;
}

// Round(Offset) reduced to a value congruent modulo Modulus that gives the
// same truncating (Sample + o) mod Modulus for every sample 0..Modulus-1:
// the offset itself while it is small, otherwise a representative of the
// same sign (so the sum keeps the sign it would have had).
std::int64_t ReducedOffset(float Offset, std::int64_t Modulus) {
  const double o = std::nearbyint(double(Offset));  // half to even
  if (std::fabs(o) < 2147483648.0) return std::int64_t(o);
  const auto r = std::int64_t(std::fmod(o, double(Modulus)));  // exact for whole numbers
  return o > 0 ? r : r - Modulus;
}

}  // namespace

std::uint64_t RawRowBytes(int Format, std::int64_t Width) {
  const auto w = std::uint64_t(Width);
  switch (Format) {
    case rawFormat8: return w;
    case rawFormat12: return w / 2 * 3;
    case rawFormat16Motorola:
    case rawFormat16Intel: return 2 * w;
    case rawFormat32: return 4 * w;
    default: return 0;
  }
}

TRawImportResult DecodeRaw(TByteSource& Source, const TRawImportParams& P) {
  if (P.Width <= 0 || P.Height <= 0) return Refuse(msgRawSize);
  const int f = P.Format;
  if (f != rawFormat8 && f != rawFormat12 && f != rawFormat16Motorola && f != rawFormat16Intel && f != rawFormat32)
    return Refuse(msgRawError);
  if (!Source.IsOpen() || P.Skip < 0 || P.Width > INT32_MAX || P.Height > INT32_MAX) return Refuse(msgRawError);
  // The whole of the data must be in the file: skip + rows x row bytes, in 64 bits.
  const std::uint64_t rowBytes = RawRowBytes(f, P.Width);
  const std::uint64_t size = Source.Size();
  if (std::uint64_t(P.Skip) > size) return Refuse(msgRawError);
  if (rowBytes > 0 && (size - std::uint64_t(P.Skip)) / rowBytes < std::uint64_t(P.Height))
    return Refuse(msgRawError);

  TRawImportResult r;
  r.Image = std::make_unique<TDataImage>();
  const int width = int(P.Width), height = int(P.Height);
  if (!r.Image->Allocate(width, height, 3, false))
    return Refuse(TFastBMP::SidesPossible(width, height) ? OutOfMemoryText : msgRawError);

  const std::int64_t o8 = ReducedOffset(P.Offset, 256);
  const std::int64_t o16 = ReducedOffset(P.Offset, 65536);
  std::int64_t nonFinite = 0;
  std::vector<std::uint8_t> row(std::size_t(rowBytes) + 1);
  Source.Seek(std::uint64_t(P.Skip));
  for (int y = 0; y < height; ++y) {
    if (rowBytes > 0 && !Source.ReadExact(row.data(), std::size_t(rowBytes))) return Refuse(msgRawError);
    float* out = r.Image->Pixels + std::size_t(y) * width;
    const std::uint8_t* in = row.data();
    switch (f) {
      case rawFormat8:
        for (int x = 0; x < width; ++x) out[x] = float((in[x] + o8) % 256);
        break;
      case rawFormat12:
        // For x = 1, 3, 5, ... while x < width; an odd width leaves its last pixel.
        for (int x = 1; x < width; x += 2, in += 3) {
          const std::int64_t first = in[0] + (in[1] & 0x0F) * 256;
          const std::int64_t second = (in[1] >> 4) * 256 + in[2];
          out[x - 1] = float((first + o16) % 65536);
          out[x] = float((second + o16) % 65536);
        }
        break;
      case rawFormat16Motorola:
      case rawFormat16Intel:
        for (int x = 0; x < width; ++x) {
          std::uint16_t s = f == rawFormat16Motorola ? LoadBE16(in + 2 * x) : LoadLE16(in + 2 * x);
          if (P.Unsigned) s = std::uint16_t(s + 32767);
          out[x] = float((s + o16) % 65536);
        }
        break;
      case rawFormat32:
        for (int x = 0; x < width; ++x) {
          const std::uint32_t bits = LoadBE32(in + 4 * x);
          float v;
          std::memcpy(&v, &bits, 4);
          float sum = 0.0f;
          if (std::isfinite(v)) {
            sum = float((long double)v + P.Offset);
            if (!std::isfinite(sum)) {
              sum = 0.0f;
              ++nonFinite;
            }
          } else {
            ++nonFinite;
          }
          out[x] = sum < 0 ? 0.0f : sum;
        }
        break;
    }
  }
  if (Source.Failed()) return Refuse(msgRawError);
  r.Image->AutoScale();
  if (nonFinite > 0) r.Messages.push_back({TCodecMessageKind::Warning, NonFiniteWarning(nonFinite)});
  return r;
}

TRawImportResult ImportRaw(const std::string& FileName, const TRawImportParams& Params) {
  if (Params.Width <= 0 || Params.Height <= 0) return Refuse(msgRawSize);
  // A named pipe, a folder, a device, a missing file or a link to nothing is
  // said as opening says it.
  auto cannotOpen = [&FileName](const std::string& Reason) {
    return Refuse(CannotOpenText(FileName, Reason));
  };
  const std::string notAFile = NotAFileReason(FileName);
  if (!notAFile.empty()) return cannotOpen(notAFile);
  TByteSource src;
  if (!src.OpenFile(FileName)) return cannotOpen(src.Reason());
  TRawImportResult r = DecodeRaw(src, Params);
  if (r.Image) r.Caption = "Imported " + FileName.substr(FileName.find_last_of('/') + 1);
  return r;
}
