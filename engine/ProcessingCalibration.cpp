// Bias, dark and flat-field calibration of grey frames.
#include <cstdint>

#include "engine/Checked.h"
#include "engine/Errors.h"
#include "engine/Processing.h"
#include "engine/RoutineSupport.h"
#include "engine/StagedRows.h"

namespace {

// Round with halves to even of an extended value, by the adding trick: in the
// default rounding mode x + 2^63 - 2^63 is x rounded to a whole number for
// 0 <= x < 2^63. Beyond the 64-bit range it faults, as Round does.
inline long double RoundHalfEven(long double x) {
  constexpr long double big = 9223372036854775808.0L;  // 2^63
  if (!(x > -big && x < big)) Checked::Fault("invalid operation");
  // Without fast-math the compiler keeps the pair of additions.
  if (x >= 0) return (x + big) - big;
  return -((big - x) - big);
}

void SubtractFrame(TDataImage& Dst, TDataImage& Src, TDataImage& Frame, int ErrorNumber) {
  try {
    RoutineSupport::CheckPlanes(Frame, Src, false);
    RoutineSupport::CheckPlanes(Dst, Src, false);
    const int w = Src.Width;
    const float* s = Src.Pixels;
    const float* f = Frame.Pixels;
    float* d = Dst.Pixels;
    StagedRows::Run<float>(
        Src.Height, w,
        [&](int y, float* out, int& done) {
          const std::int64_t row = std::int64_t(y) * w;
          for (int x = 0; x < w; ++x) {
            float t = Checked::ToSingle((long double)s[row + x] - f[row + x]);
            if (t < 0) t = 0;
            out[x] = t;
            done = x + 1;
          }
        },
        [&](int y, const float* out, int count) {
          float* row = d + std::int64_t(y) * w;
          for (int x = 0; x < count; ++x) row[x] = out[x];
        });
    ReportInternalError(0);
  } catch (...) {
    ReportInternalError(ErrorNumber);
  }
}

}  // namespace

void SubtractBias(TDataImage& Dst, TDataImage& Src, TDataImage& Frame) {
  SubtractFrame(Dst, Src, Frame, errSubtractBias);
}

void SubtractDark(TDataImage& Dst, TDataImage& Src, TDataImage& Frame) {
  SubtractFrame(Dst, Src, Frame, errSubtractDark);
}

std::int64_t FlatFieldMean(const TDataImage& Flat, std::int64_t Count) {
  const float* fl = Flat.Pixels;
  // The running total is rounded at every step (ties to even), so it is not
  // the sum of rounded terms; it stays exact in extended precision.
  long double sum = 0;
  for (std::int64_t i = 0; i < Count; ++i) sum = RoundHalfEven(sum + (long double)fl[i] * 10000);
  return Checked::Round(Checked::Div(sum, (long double)Count));
}

void FlatFieldDivide(TDataImage& Image, TDataImage& Flat) {
  try {
    RoutineSupport::CheckPlanes(Flat, Image, false);
    const int w = Image.Width;
    const std::int64_t n = Image.PixelCount();
    const float* fl = Flat.Pixels;
    const std::int64_t mean = FlatFieldMean(Flat, n);
    // A zero mean fails on the first division, before any pixel changes.
    if (mean == 0) Checked::Div(1, 0);
    float* im = Image.Pixels;
    StagedRows::Run<float>(
        Image.Height, w,
        [&](int y, float* out, int& done) {
          const std::int64_t row = std::int64_t(y) * w;
          for (int x = 0; x < w; ++x) {
            float f = Checked::ToSingle((long double)fl[row + x] / mean * 10000);
            if (f == 0) f = 1;
            out[x] = Checked::ToSingle(Checked::Div(im[row + x], f));
            done = x + 1;
          }
        },
        [&](int y, const float* out, int count) {
          float* row = im + std::int64_t(y) * w;
          for (int x = 0; x < count; ++x) row[x] = out[x];
        });
    ReportInternalError(0);
  } catch (...) {
    ReportInternalError(errFlatFieldDivide);
  }
}
