#include "engine/ColMath.h"

#include <cstring>
#include <vector>

#include "engine/Checked.h"
#include "engine/ClampByte.h"
#include "engine/Errors.h"
#include "engine/ImageMath.h"
#include "engine/RoutineSupport.h"
#include "engine/StagedRows.h"

namespace {

// A byte result, or -1 where the computation fails.
template <class F>
std::int16_t Entry(F&& Compute) {
  try {
    return ClampByte(Checked::Round(Compute()));
  } catch (const EngineFault&) {
    return -1;
  }
}

// Maps every byte of every pixel through a table indexed by Index(source
// bytes of the channel); a failing entry stops at that pixel.
template <class IndexF>
void MapPixels(TDataImage& Dst, const TDataImage& Src, const std::vector<std::int16_t>& Table, IndexF&& Index) {
  const int w = Src.Width;
  StagedRows::Run<TRGBPixel>(
      Src.Height, w,
      [&](int y, TRGBPixel* out, int& done) {
        for (int x = 0; x < w; ++x) {
          const std::int64_t i = std::int64_t(y) * w + x;
          const int r = Table[Index(i, 0)], g = Table[Index(i, 1)], b = Table[Index(i, 2)];
          if (r < 0 || g < 0 || b < 0) Checked::Fault("invalid operation");
          out[x] = TRGBPixel{std::uint8_t(b), std::uint8_t(g), std::uint8_t(r)};
          done = x + 1;
        }
      },
      [&](int y, const TRGBPixel* out, int count) {
        std::memcpy(Dst.RGBPlane + std::int64_t(y) * w, out, sizeof(TRGBPixel) * std::size_t(count));
      });
}

inline int Channel(const TRGBPixel& p, int c) { return c == 0 ? p.Red : c == 1 ? p.Green : p.Blue; }

}  // namespace

void ColPixelMath(std::uint8_t Operator, TDataImage& Dst, TDataImage& Src, float Value) {
  try {
    RoutineSupport::CheckPlanes(Dst, Src, true);
    const long double k = Operator == 3 && Value == 0 ? 1.0f : Value;
    std::vector<std::int16_t> table(256);
    for (int c = 0; c < 256; ++c)
      table[c] = Entry([&]() -> long double {
        switch (Operator) {
          case 0: return c + k;
          case 1: return c - k;
          case 2: return c * k;
          case 3: return c / k;
          case 4: return Checked::Log10(c + 1.0L);
          case 5: return Checked::Sqrt(c);
          default: return c;
        }
      });
    MapPixels(Dst, Src, table, [&](std::int64_t i, int c) { return Channel(Src.RGBPlane[i], c); });
    ReportInternalError(0);
  } catch (...) {
    ReportInternalError(errColPixelMath);
  }
}

void ColImageArithmetic(std::uint8_t OpA, std::uint8_t OpB, std::uint8_t Combine, float ConstA, float ConstB,
                        TDataImage& A, TDataImage& B, TDataImage& Dst) {
  try {
    RoutineSupport::CheckPlanes(Dst, A, true);
    RoutineSupport::CheckPlanes(B, A, true);
    const float ka = OpA == 3 && ConstA == 0 ? 1.0f : ConstA;
    const float kb = OpB == 3 && ConstB == 0 ? 1.0f : ConstB;
    // The result of a channel depends only on its two bytes.
    std::vector<std::int16_t> table(65536);
    for (int ca = 0; ca < 256; ++ca)
      for (int cb = 0; cb < 256; ++cb)
        table[ca * 256 + cb] = Entry([&]() -> long double {
          const float a = ArithmeticSide(OpA, float(ca), ka);
          float b = ArithmeticSide(OpB, float(cb), kb);
          if (Combine == 3 && b == 0) b = 1;
          switch (Combine) {
            case 0: return (long double)a + b;
            case 1: return (long double)a - b;
            case 2: return (long double)a * b;
            case 3: return (long double)a / b;
            default: return a;
          }
        });
    MapPixels(Dst, A, table,
              [&](std::int64_t i, int c) { return Channel(A.RGBPlane[i], c) * 256 + Channel(B.RGBPlane[i], c); });
    ReportInternalError(0);
  } catch (...) {
    ReportInternalError(errColImageArithmetic);
  }
}
