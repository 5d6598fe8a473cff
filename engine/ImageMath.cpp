#include "engine/ImageMath.h"

#include "engine/Checked.h"
#include "engine/Errors.h"
#include "engine/RoutineSupport.h"
#include "engine/StagedRows.h"

namespace {

inline long double Clamp(long double v, float Max) {
  if (v < 0) return 0;
  if (v > Max) return Max;
  return v;
}

}  // namespace

float ArithmeticSide(std::uint8_t Op, float v, float k) {
  switch (Op) {
    case 0: return Checked::ToSingle((long double)v + k);
    case 1: return Checked::ToSingle((long double)v - k);
    case 2: return Checked::ToSingle((long double)v * k);
    case 3: return Checked::ToSingle(Checked::Div(v, k));
    default: return v;
  }
}

void PixelMath(std::uint8_t Operator, TDataImage& Dst, TDataImage& Src, float Value) {
  try {
    RoutineSupport::CheckPlanes(Dst, Src, false);
    Dst.BlackPoint = Src.BlackPoint;
    Dst.WhitePoint = Src.WhitePoint;
    const float k = Operator == 3 && Value == 0 ? 1.0f : Value;
    const float max = Src.TypeMax;
    const int w = Src.Width;
    const float* s = Src.Pixels;
    float* d = Dst.Pixels;
    StagedRows::Run<float>(
        Src.Height, w,
        [&](int y, float* out, int& done) {
          const float* row = s + std::int64_t(y) * w;
          for (int x = 0; x < w; ++x) {
            const long double p = row[x];
            long double v;
            switch (Operator) {
              case 0: v = p + k; break;
              case 1: v = p - k; break;
              case 2: v = p * k; break;
              case 3: v = Checked::Div(p, k); break;
              case 4: v = Checked::Log10(p + 1); break;
              case 5: v = Checked::Sqrt(p); break;
              default: v = p; break;
            }
            out[x] = float(Clamp(v, max));
            done = x + 1;
          }
        },
        [&](int y, const float* out, int count) {
          float* row = d + std::int64_t(y) * w;
          for (int x = 0; x < count; ++x) row[x] = out[x];
        });
    Dst.CalcMaxValue();
    ReportInternalError(0);
  } catch (...) {
    ReportInternalError(errPixelMath);
  }
}

void ImageArithmetic(std::uint8_t OpA, std::uint8_t OpB, std::uint8_t Combine, float ConstA, float ConstB,
                     TDataImage& A, TDataImage& B, TDataImage& Dst) {
  try {
    if (OpA == 3 && ConstA == 0) {
      ShowEngineWarning("The current settings will result in a division by zero.  Please change the Image A settings.");
      ReportInternalError(errImageArithmetic);
      return;
    }
    if (OpB == 3 && ConstB == 0) {
      ShowEngineWarning("The current settings will result in a division by zero.  Please change the Image B settings.");
      ReportInternalError(errImageArithmetic);
      return;
    }
    RoutineSupport::CheckPlanes(B, A, false);
    RoutineSupport::CheckPlanes(Dst, A, false);
    const float max = Dst.TypeMax;
    const int w = A.Width;
    StagedRows::Run<float>(
        A.Height, w,
        [&](int y, float* out, int& done) {
          const std::int64_t row = std::int64_t(y) * w;
          for (int x = 0; x < w; ++x) {
            float a = ArithmeticSide(OpA, A.Pixels[row + x], ConstA);
            float b = ArithmeticSide(OpB, B.Pixels[row + x], ConstB);
            if (b == 0 && Combine == 3) {
              b = 1;
              a = 0;
            }
            long double r;
            switch (Combine) {
              case 0: r = (long double)a + b; break;
              case 1: r = (long double)a - b; break;
              case 2: r = (long double)a * b; break;
              case 3: r = (long double)a / b; break;
              default: r = a; break;
            }
            out[x] = float(Clamp(r, max));
            done = x + 1;
          }
        },
        [&](int y, const float* out, int count) {
          float* row = Dst.Pixels + std::int64_t(y) * w;
          for (int x = 0; x < count; ++x) row[x] = out[x];
        });
    ReportInternalError(0);
  } catch (...) {
    ReportInternalError(errImageArithmetic);
  }
}
