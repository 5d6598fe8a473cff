// Noise and adaptive filters on grey images.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "engine/Checked.h"
#include "engine/Errors.h"
#include "engine/Processing.h"
#include "engine/RoutineSupport.h"
#include "engine/StagedRows.h"

namespace {

// The interior rows y = h .. H-1-h, each computed by Row(y, Out, Done) for the
// columns x = h .. W-1-h, written to Dst with the serial failure semantics.
template <class RowFn>
void Interior(TDataImage& Dst, TDataImage& Src, int h, RowFn&& Row) {
  RoutineSupport::CheckPlanes(Dst, Src, false);
  const int w = Src.Width, ht = Src.Height;
  if (w <= 2 * h || ht <= 2 * h) return;
  StagedRows::Run<float>(
      ht - 2 * h, w - 2 * h, [&](int r, float* out, int& done) { Row(r + h, out, done); },
      [&](int r, const float* out, int count) {
        float* row = Dst.Pixels + std::int64_t(r + h) * w + h;
        std::memcpy(row, out, sizeof(float) * std::size_t(count));
      },
      2);
}

// The window round (x, y), rows outer, columns inner.
inline void Gather(const TDataImage& Src, int n, int x, int y, float* Buf) {
  const int h = n / 2;
  for (int dy = -h; dy <= h; ++dy) {
    const float* r = Src.Pixels + std::int64_t(y + dy) * Src.Width + (x - h);
    for (int dx = 0; dx < n; ++dx) *Buf++ = r[dx];
  }
}

inline float ClampWhite(long double v, float White) {
  if (v < 0) return 0;
  if (v > White) return White;
  return float(v);
}

// Odd sides only (an even side has no centre); sides beyond 1023 would only
// make absurd window buffers.
bool OddWindow(int n) { return n >= 1 && n <= 1023 && n % 2 == 1; }

}  // namespace

void NoiseFilter(int Window, TDataImage& Dst, TDataImage& Src, float Deviation) {
  try {
    if (!OddWindow(Window)) Checked::Fault("window side");
    const int n = Window, N = n * n;
    Interior(Dst, Src, n / 2, [&](int y, float* out, int& done) {
      std::vector<float> buf(static_cast<std::size_t>(N));
      for (int x = n / 2; x < Src.Width - n / 2; ++x) {
        Gather(Src, n, x, y, buf.data());
        long double sum = 0;
        for (int k = 0; k < N; ++k) sum += buf[k];
        const long double m = sum / N;
        long double sq = 0;
        for (int k = 0; k < N; ++k) {
          const long double d = buf[k] - m;
          sq += d * d;
        }
        const long double s = Checked::Sqrt(sq / N);
        const float p = buf[N / 2];
        out[done] = (p > m + Deviation * s || p < m - Deviation * s) ? Checked::ToSingle(m) : p;
        ++done;
      }
    });
    ReportInternalError(0);
  } catch (...) {
    ReportInternalError(errNoiseFilter);
  }
}

void AdaptiveMMSE(int Window, TDataImage& Dst, TDataImage& Src, float NoiseDeviation) {
  try {
    if (!OddWindow(Window)) Checked::Fault("window side");
    const float white = GetWhiteLevel(Src);
    const int n = Window, N = n * n;
    const long double q = (long double)NoiseDeviation * NoiseDeviation;
    Interior(Dst, Src, n / 2, [&](int y, float* out, int& done) {
      std::vector<float> buf(static_cast<std::size_t>(N));
      for (int x = n / 2; x < Src.Width - n / 2; ++x) {
        Gather(Src, n, x, y, buf.data());
        // Squares of Singles are exact in extended precision and so are their
        // sums over up to 121 values within a factor of two of each other, so
        // a flat window gives r = 0 exactly and a nearly flat one cancels
        // only a few bits. Larger windows (beyond what the program offers)
        // round their sums of squares: there r comes from the deviations
        // from the mean, or a flat window would turn into a speck.
        long double sum = 0, sq = 0;
        for (int k = 0; k < N; ++k) {
          const long double v = buf[k];
          sum += v;
          sq += v * v;
        }
        const long double m = sum / N;
        long double r = sq / N - m * m;
        if (N > 121) {
          long double dev = 0;
          for (int k = 0; k < N; ++k) {
            const long double d = buf[k] - m;
            dev += d * d;
          }
          r = dev / N;
        }
        const float p = buf[N / 2];
        long double v;
        if (r == 0) {
          v = m + 0.5L;
        } else {
          const long double k = q / r;
          v = (1 - k) * p + k * m + 0.5L;
        }
        if (!std::isfinite(v)) Checked::Fault("overflow");
        out[done] = ClampWhite(v, white);
        ++done;
      }
    });
    ReportInternalError(0);
  } catch (...) {
    ReportInternalError(errAdaptiveMMSE);
  }
}

void AdaptiveDWMTM(TDataImage& Dst, TDataImage& Src, float NoiseDeviation, float Threshold) {
  try {
    const float white = GetWhiteLevel(Src);
    const long double b = (long double)NoiseDeviation * Threshold;
    Interior(Dst, Src, 2, [&](int y, float* out, int& done) {
      float small[9], big[25];
      for (int x = 2; x < Src.Width - 2; ++x) {
        Gather(Src, 3, x, y, small);
        // The fifth of the nine sorted values: the median is one value whatever the sort.
        std::nth_element(small, small + 4, small + 9);
        const long double d = small[4], lo = d - b, hi = d + b;
        Gather(Src, 5, x, y, big);
        long double sum = 0;
        int count = 0;
        for (int k = 0; k < 25; ++k)
          if (lo <= big[k] && big[k] <= hi) {
            sum += big[k];
            ++count;
          }
        out[done] = sum == 0 ? 0.0f : ClampWhite(sum / count, white);
        ++done;
      }
    });
    ReportInternalError(0);
  } catch (...) {
    ReportInternalError(errAdaptiveDWMTM);
  }
}

void ContraHarmonic(int Order, int Window, TDataImage& Dst, TDataImage& Src) {
  try {
    if (!OddWindow(Window)) Checked::Fault("window side");
    const float white = GetWhiteLevel(Src);
    const int n = Window, N = n * n;
    const long double q = Order;
    Interior(Dst, Src, n / 2, [&](int y, float* out, int& done) {
      std::vector<float> buf(static_cast<std::size_t>(N));
      for (int x = n / 2; x < Src.Width - n / 2; ++x) {
        Gather(Src, n, x, y, buf.data());
        long double s1 = 0, s2 = 0;
        bool zero = false;
        for (int k = 0; k < N; ++k) {
          const long double v = buf[k];
          if (v == 0 && Order < 0) {
            zero = true;
            continue;
          }
          s1 += Checked::Power(v, q + 1);
          s2 += Checked::Power(v, q);
        }
        long double v = 0;
        if (!zero && s2 != 0) v = Checked::Div(s1, s2);
        out[done] = ClampWhite(v, white);
        ++done;
      }
    });
    ReportInternalError(0);
  } catch (...) {
    ReportInternalError(errContraHarmonic);
  }
}

void AlphaTrimmed(int Trim, int Window, TDataImage& Dst, TDataImage& Src) {
  try {
    // A negative trim would read past both ends of the sorted window.
    if (!OddWindow(Window) || Trim < 0) Checked::Fault("window side or trim");
    const float white = GetWhiteLevel(Src);
    const int n = Window, h = n / 2, N = n * n;
    const bool empty = 2 * std::int64_t(Trim) >= N;
    const int count = empty ? 0 : N - 2 * Trim;
    const long double divisor = count + 0.5L;
    // Whole values below 2^24 add exactly in any order and in 32 bits (the
    // window holds at most 121 of them).
    const std::int64_t all = Src.PixelCount();
    const bool whole = N <= 121 && RoutineSupport::FirstWhere(all, [&](std::int64_t i) {
                                     const float v = Src.Pixels[i];
                                     return !(std::fabs(v) < 16777216.0f && v == std::trunc(v));
                                   }) == all;
    Interior(Dst, Src, h, [&](int y, float* out, int& done) {
      // The window kept sorted as it slides along the row: the sorted order
      // is that of a fresh sort, so the trimmed sum adds the same values in
      // the same order.
      std::vector<float> buf(static_cast<std::size_t>(N));
      float* sorted = buf.data();
      const float* base = Src.Pixels;
      const int w = Src.Width;
      for (int x = h; x < w - h; ++x) {
        if (x == h) {
          Gather(Src, n, x, y, sorted);
          std::sort(sorted, sorted + N);
        } else {
          for (int dy = -h; dy <= h; ++dy) {
            const float* r = base + std::int64_t(y + dy) * w;
            const float gone = r[x - h - 1], come = r[x + h];
            // Ranks by counting (no unpredictable branches): i is the first
            // place of the leaving value, j the place after the last value
            // not above the coming one.
            int i = 0, j = 0;
            for (int k = 0; k < N; ++k) {
              i += sorted[k] < gone;
              j += sorted[k] <= come;
            }
            while (std::memcmp(sorted + i, &gone, sizeof(float)) != 0) ++i;  // the same zero sign
            if (j > i) {
              std::memmove(sorted + i, sorted + i + 1, sizeof(float) * std::size_t(j - 1 - i));
              sorted[j - 1] = come;
            } else {
              std::memmove(sorted + j + 1, sorted + j, sizeof(float) * std::size_t(i - j));
              sorted[j] = come;
            }
          }
        }
        long double v = 0;
        if (!empty) {
          long double sum = 0;
          if (whole) {
            std::int32_t s = 0;
            for (int k = Trim; k <= N - 1 - Trim; ++k) s += std::int32_t(sorted[k]);
            sum = s;
          } else {
            for (int k = Trim; k <= N - 1 - Trim; ++k) sum += sorted[k];
          }
          v = sum / divisor;
        }
        out[done] = ClampWhite(v, white);
        ++done;
      }
    });
    ReportInternalError(0);
  } catch (...) {
    ReportInternalError(errAlphaTrimmed);
  }
}
