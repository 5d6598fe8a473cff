#include "engine/Processing.h"

#include <emmintrin.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <vector>

#include "engine/Checked.h"
#include "engine/Errors.h"
#include "engine/FilterPaths.h"
#include "engine/Parallel.h"
#include "engine/RoutineSupport.h"

using RoutineSupport::CheckPlanes;
using RoutineSupport::ForEachUntilFault;

namespace {

const auto& kFixed = FilterPaths::kFixedKernels;

// A whole-valued pixel in [0, Limit] as a table index, or -1.
inline int WholeIndex(float p, int Limit) {
  if (!(p >= 0.0f && p <= float(Limit))) return -1;
  const int i = int(p);
  return float(i) == p ? i : -1;
}

int WindowSide(std::uint8_t Size) { return 2 * (Size / 2) + 1; }

// What TDataImage::CalcMaxValue does, across threads: the largest pixel, the
// search starting at 0.0. The result does not depend on the order (a zero
// maximum is the seed's +0).
void SetMaxValue(TDataImage& Image) {
  if (!Image.Pixels) {
    Image.CalcMaxValue();
    return;
  }
  const float* p = Image.Pixels;
  float mx = 0.0f;
  std::mutex m;
  Parallel::For(
      Image.PixelCount(),
      [&](std::int64_t b, std::int64_t e) {
        // maxps(v, m) is "v > m ? v : m", the step of the serial search.
        __m128 vm = _mm_setzero_ps();
        std::int64_t i = b;
        for (; i + 4 <= e; i += 4) vm = _mm_max_ps(_mm_loadu_ps(p + i), vm);
        float lanes[4];
        _mm_storeu_ps(lanes, vm);
        float local = 0.0f;
        for (float v : lanes) local = local < v ? v : local;
        for (; i < e; ++i) local = local < p[i] ? p[i] : local;
        std::lock_guard<std::mutex> lock(m);
        if (mx < local) mx = local;
      },
      1 << 16);
  Image.MaxValue = mx;
}

}  // namespace

bool FixedKernel(std::uint8_t Code, int (&Weights)[9], int& Divisor) {
  if (Code < 1 || Code > 12) return false;
  std::memcpy(Weights, kFixed[Code - 1].W, sizeof(Weights));
  Divisor = kFixed[Code - 1].Divisor;
  return true;
}

float KernelDivisor(const TFilterKernel& Kernel) {
  float d = 0.0f;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) d += Kernel[c][r];
  return d == 0.0f ? 1.0f : d;
}

float GetWhiteLevel(TDataImage& Image) {
  try {
    if (Image.DataType == 3) {
      SetMaxValue(Image);
      return Image.MaxValue;
    }
    return Image.TypeMax;
  } catch (...) {
    return 255.0f;
  }
}

void RescaleToOutputRange(std::uint8_t Range, TDataImage& Image) {
  try {
    if (Range > 2 || !Image.Pixels) return;
    const long double k = Range == 0 ? 255 : Range == 1 ? 4095 : 65535;
    float* p = Image.Pixels;
    const std::int64_t n = Image.PixelCount();
    float mx = 0.0f;
    for (std::int64_t i = 0; i < n; ++i) mx = p[i] > mx ? p[i] : mx;
    if (mx == 0.0f) return;
    const long double f = k / mx;
    Parallel::For(
        n,
        [&](std::int64_t b, std::int64_t e) {
          for (std::int64_t i = b; i < e; ++i) {
            long double v = p[i] * f;
            if (v < 0) v = 0;
            if (v > k) v = k;
            p[i] = float(v);
          }
        },
        1 << 14);
    Image.AutoScale();
  } catch (...) {
  }
}

void BrightnessContrast(int Brightness, int Contrast, TDataImage& Dst, TDataImage& Src) {
  try {
    CheckPlanes(Dst, Src, false);
    SetMaxValue(Src);
    const long double M = Src.MaxValue;
    Dst.BlackPoint = Src.BlackPoint;
    Dst.WhitePoint = Src.WhitePoint;
    const std::int64_t n = Src.PixelCount();
    const float* s = Src.Pixels;
    float* d = Dst.Pixels;
    float sum = 0.0f;  // a Single running sum, in row order
    for (std::int64_t i = 0; i < n; ++i) sum += s[i];
    const long double m = Checked::Div(sum, (long double)n);
    const long double factor = Contrast >= 0 ? 1 + Contrast / 10.0L : 1 - std::sqrt((long double)-Contrast) / 10;
    const long double bterm = Brightness * M / 100;
    Parallel::For(
        n,
        [&](std::int64_t b, std::int64_t e) {
          for (std::int64_t i = b; i < e; ++i) {
            long double t = (s[i] - m) * factor + m;
            if (t < 0) t = 0;
            t = t + bterm;
            if (t < 0) t = 0;
            else if (t > M) t = M;
            d[i] = float(t);
          }
        },
        1 << 14);
    ReportInternalError(0);
  } catch (...) {
    ReportInternalError(errBrightnessContrast);
  }
}

void Gamma(TDataImage& Dst, TDataImage& Src, float GammaValue) {
  if (GammaValue == 0.0f) {
    ReportInternalError(errGamma);
    return;
  }
  try {
    CheckPlanes(Dst, Src, false);
    SetMaxValue(Src);
    const float M = Src.MaxValue;
    Dst.BlackPoint = Src.BlackPoint;
    Dst.WhitePoint = Src.WhitePoint;
    const std::int64_t n = Src.PixelCount();
    const float* s = Src.Pixels;
    float* d = Dst.Pixels;
    if (n > 0 && M == 0.0f) {
      // Every result is M times a power: a zero maximum gives 0 throughout
      // (where 1 / M itself cannot be had).
      std::fill(d, d + n, 0.0f);
    } else if (n > 0) {
      const long double inv = Checked::Div(1.0L, M);
      const long double e = 1.0L / GammaValue;
      auto value = [&](float p) {
        long double r = M * Checked::Power(p * inv, e);
        if (r < 0) r = 0;
        return Checked::ToSingle(r);
      };
      // For 0 < p <= M and a fractional exponent up to 16 the power in double
      // lies within 2^-36 of the extended one (the logarithm's magnitude is
      // below 200); where every value within 2^-35 of it stores to the same
      // Single, that Single is the extended result.
      const bool viaDouble = e > 0 && e <= 16 && e != std::trunc(e);
      const double invD = double(inv), eD = double(e), MD = M;
      auto quick = [&](float p) {
        if (!viaDouble || !(p > 0.0f)) return value(p);
        const double r = MD * std::exp(eD * std::log(double(p) * invD));
        const float lo = float(r * (1 - 0x1p-35)), hi = float(r * (1 + 0x1p-35));
        return lo == hi ? lo : value(p);
      };
      // The result depends on the pixel alone: whole values share a table.
      const int limit = M <= 65535.0f && n > (1 << 16) ? int(M) : -1;
      std::vector<float> table(std::size_t(limit + 1));
      const bool safe = e > 0;  // then only a negative pixel can fail
      if (safe)
        Parallel::For(
            limit + 1,
            [&](std::int64_t b, std::int64_t en) {
              for (std::int64_t v = b; v < en; ++v) table[v] = value(float(v));
            },
            256);
      ForEachUntilFault(
          n, [&](std::int64_t i) { return !safe || s[i] < 0.0f; },
          [&](std::int64_t i) {
            const int k = safe ? WholeIndex(s[i], limit) : -1;
            d[i] = k >= 0 ? table[k] : safe ? quick(s[i]) : value(s[i]);
          });
    }
    ReportInternalError(0);
  } catch (...) {
    ReportInternalError(errGamma);
  }
}

void LinearStretch(TDataImage& Dst, TDataImage& Src, float Low, float High) {
  if (Low == High) {
    ReportInternalError(errLinearStretch);
    return;
  }
  try {
    CheckPlanes(Dst, Src, false);
    SetMaxValue(Src);
    long double top = Src.MaxValue;
    if (top == 0) {
      // Nothing above 0 would stretch onto [0, 0]: the result spans the
      // levels from the minimum up to 0 instead.
      const float* p = Src.Pixels;
      float mn = 0.0f;
      for (std::int64_t i = 0, n = Src.PixelCount(); i < n; ++i) mn = p[i] < mn ? p[i] : mn;
      top = 0.0L - mn;
    }
    const long double f = top / ((long double)High - Low);
    const float* s = Src.Pixels;
    float* d = Dst.Pixels;
    Parallel::For(
        Src.PixelCount(),
        [&](std::int64_t b, std::int64_t e) {
          for (std::int64_t i = b; i < e; ++i) {
            // Below Low gives Low, otherwise above High gives High; with
            // Low > High that sends everything from Low up to the maximum.
            float t = s[i];
            if (t < Low) t = Low;
            else if (t > High) t = High;
            long double r = (t - (long double)Low) * f;
            if (r < 0) r = 0;
            d[i] = float(r);
          }
        },
        1 << 14);
    ReportInternalError(0);
  } catch (...) {
    ReportInternalError(errLinearStretch);
  }
}

void LogScale(TDataImage& Dst, TDataImage& Src, float Factor) {
  try {
    CheckPlanes(Dst, Src, false);
    SetMaxValue(Src);
    const float M = Src.MaxValue;
    Dst.BlackPoint = Src.BlackPoint;
    Dst.WhitePoint = Src.WhitePoint;
    const std::int64_t n = Src.PixelCount();
    const float* s = Src.Pixels;
    float* d = Dst.Pixels;
    auto value = [&](float p) -> float {
      if (p == 0.0f) return 0.0f;
      const long double r = Checked::Ln(p) * Factor;
      if (r < 0) return 0.0f;
      if (r > M) return M;
      return float(r);
    };
    const int limit = M <= 65535.0f && n > (1 << 16) ? int(M) : -1;
    std::vector<float> table(std::size_t(limit + 1));
    for (int v = 0; v <= limit; ++v) table[v] = value(float(v));
    ForEachUntilFault(
        n, [&](std::int64_t i) { return s[i] < 0.0f; },
        [&](std::int64_t i) {
          const int k = WholeIndex(s[i], limit);
          d[i] = k >= 0 ? table[k] : value(s[i]);
        });
    ReportInternalError(0);
  } catch (...) {
    ReportInternalError(errLogScale);
  }
}

namespace {

// The mean filter without its own report, for the blurred copy of DDP.
void MeanInto(int N, const float* Src, float* Dst, int W, int H) {
  if (!FilterPaths::MeanFast(N, Src, Dst, W, H)) FilterPaths::MeanPlain(N, Src, Dst, W, H);
}

}  // namespace

void DDP(std::uint8_t Edge, TDataImage& Dst, TDataImage& Src, float MidLevel, float Background, float Scaling) {
  try {
    CheckPlanes(Dst, Src, false);
    Dst.BlackPoint = Src.BlackPoint;
    Dst.WhitePoint = Src.WhitePoint;
    float L = Dst.TypeMax;
    if (Dst.DataType == 3) {
      SetMaxValue(Src);
      Dst.WhitePoint = Src.MaxValue;
      L = Src.MaxValue;
    }
    const std::int64_t n = Src.PixelCount();
    const float* s = Src.Pixels;
    float* d = Dst.Pixels;
    std::vector<float> blur(s, s + n);
    if (Edge >= 1 && Edge <= 3) MeanInto(2 * Edge + 1, s, blur.data(), Src.Width, Src.Height);
    Parallel::For(
        n,
        [&](std::int64_t b, std::int64_t e) {
          for (std::int64_t i = b; i < e; ++i) {
            const float p = s[i] < 0.0f ? 0.0f : s[i];
            const long double num = (long double)Scaling * p, den = (long double)blur[i] + MidLevel;
            // Where blur + MidLevel reaches 0 (a zero border under a mid-level
            // of 0, a bias-subtracted patch whose mean is -MidLevel) the
            // result is the quotient's limit as the denominator falls to 0:
            // nothing over it stays nothing, anything else goes to its clamp.
            long double r = den != 0 ? num / den + Background : num > 0 ? L : num < 0 ? 0 : Background;
            if (r < 0) r = 0;
            else if (r > L) r = L;
            d[i] = float(r);
          }
        },
        1 << 14);
    ReportInternalError(0);
  } catch (...) {
    ReportInternalError(errDDP);
  }
}

void Filter3x3(std::uint8_t Code, TDataImage& Dst, TDataImage& Src) {
  try {
    if (Code < 1 || Code > 12) Checked::Fault("unknown kernel");
    CheckPlanes(Dst, Src, false);
    const auto& k = kFixed[Code - 1];
    // A floating-point image's white level comes from the pass over the source
    // that the fast path makes anyway.
    float white;
    if (Src.DataType == 3 && Src.Pixels &&
        FilterPaths::Convolve3x3FastAtMax(k, Src.Pixels, Dst.Pixels, Src.Width, Src.Height, white)) {
      Src.MaxValue = white;
    } else {
      white = GetWhiteLevel(Src);
      if (!FilterPaths::Convolve3x3Fast(k, Src.Pixels, Dst.Pixels, Src.Width, Src.Height, white))
        FilterPaths::Convolve3x3Plain(k, Src.Pixels, Dst.Pixels, Src.Width, Src.Height, white);
    }
    ReportInternalError(0);
  } catch (...) {
    ReportInternalError(errFilter3x3);
  }
}

void SobelFilter(TDataImage& Dst, TDataImage& Src) {
  try {
    CheckPlanes(Dst, Src, false);
    const float white = GetWhiteLevel(Src);
    if (!FilterPaths::SobelFast(Src.Pixels, Dst.Pixels, Src.Width, Src.Height, white))
      FilterPaths::SobelPlain(Src.Pixels, Dst.Pixels, Src.Width, Src.Height, white);
    ReportInternalError(0);
  } catch (...) {
    ReportInternalError(errSobelFilter);
  }
}

void MeanFilter(std::uint8_t Size, TDataImage& Dst, TDataImage& Src) {
  try {
    CheckPlanes(Dst, Src, false);
    MeanInto(WindowSide(Size), Src.Pixels, Dst.Pixels, Src.Width, Src.Height);
    ReportInternalError(0);
  } catch (...) {
    ReportInternalError(errMeanFilter);
  }
}

void MedianFilter(std::uint8_t Size, TDataImage& Dst, TDataImage& Src) {
  try {
    CheckPlanes(Dst, Src, false);
    const int n = WindowSide(Size);
    if (!FilterPaths::MedianFast(n, Src.Pixels, Dst.Pixels, Src.Width, Src.Height))
      FilterPaths::MedianPlain(n, Src.Pixels, Dst.Pixels, Src.Width, Src.Height);
    ReportInternalError(0);
  } catch (...) {
    ReportInternalError(errMedianFilter);
  }
}

void MinMaxFilter(std::uint8_t Mode, std::uint8_t Size, TDataImage& Dst, TDataImage& Src) {
  try {
    CheckPlanes(Dst, Src, false);
    const int n = WindowSide(Size);
    const int mode = Mode == 0 ? 0 : 1;
    if (!FilterPaths::MinMaxFast(mode, n, Src.Pixels, Dst.Pixels, Src.Width, Src.Height))
      FilterPaths::MinMaxPlain(mode, n, Src.Pixels, Dst.Pixels, Src.Width, Src.Height);
    ReportInternalError(0);
  } catch (...) {
    ReportInternalError(errMinMaxFilter);
  }
}

void CustomFilter(const TFilterKernel& Kernel, TDataImage& Dst, TDataImage& Src) {
  try {
    CheckPlanes(Dst, Src, false);
    const float white = GetWhiteLevel(Src);
    float w[3][3];
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) w[r][c] = Kernel[c][r];
    FilterPaths::ConvolveFloat3x3Plain(w, KernelDivisor(Kernel), Src.Pixels, Dst.Pixels, Src.Width, Src.Height,
                                       white);
    ReportInternalError(0);
  } catch (...) {
    ReportInternalError(errCustomFilter);
  }
}
