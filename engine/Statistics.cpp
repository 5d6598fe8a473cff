#include "engine/Statistics.h"

#include <emmintrin.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <cmath>
#include <mutex>
#include <utility>
#include <vector>

#include "engine/Checked.h"
#include "engine/Errors.h"
#include "engine/Parallel.h"

TFixed4 ToFixed4(long double Value) { return TFixed4{Checked::Round(Value * 10000)}; }

namespace {

// Visits the rectangle rows outer, columns inner. Pixels outside the image
// (or a missing plane) read 0, as through the accessor.
template <typename F>
void VisitRows(const TDataImage& Image, int X1, int Y1, int X2, int Y2, F&& Row) {
  const bool inside = Image.Pixels && X1 >= 0 && Y1 >= 0 && X2 < Image.Width && Y2 < Image.Height;
  std::vector<float> line;
  for (int y = Y1; y <= Y2; ++y) {
    if (inside) {
      Row(Image.Pixels + std::size_t(y) * Image.Width + X1, X2 - X1 + 1);
    } else {
      line.resize(std::size_t(X2 - X1 + 1));
      for (int x = X1; x <= X2; ++x) line[x - X1] = Image.GetPixel(x, y);
      Row(line.data(), X2 - X1 + 1);
    }
  }
}

// Kept out of line: inlined into the visit, the compiler spills the extended
// accumulator to memory on every step.
__attribute__((noinline)) long double AddSquaredDeviations(const float* p, int n, long double mean, long double acc) {
  for (int i = 0; i < n; ++i) {
    const long double d = p[i] - mean;
    acc += d * d;
  }
  return acc;
}

__attribute__((noinline)) long double AddValues(const float* p, int n, long double acc) {
  for (int i = 0; i < n; ++i) acc += p[i];
  return acc;
}

bool Inside(const TDataImage& Image, int X1, int Y1, int X2, int Y2) {
  return Image.Pixels && X1 >= 0 && Y1 >= 0 && X2 < Image.Width && Y2 < Image.Height && X2 >= X1 && Y2 >= Y1;
}

// Per part of the rows: the part's first row and what it found.
template <typename T>
struct TPart {
  int Row;
  T Value;
};

// Runs Part(ya, yb) -> T over row ranges across threads and returns the
// results in row order, so that ties are settled as a serial visit would.
template <typename T, typename F>
std::vector<TPart<T>> InParts(int Y1, int Y2, F&& Part) {
  std::vector<TPart<T>> parts;
  std::mutex m;
  // Blocks of rows taken by the first free thread (see the filters).
  const int threads = Parallel::Threads();
  const int rows = Y2 - Y1 + 1, block = std::max(16, rows / (threads * 6));
  std::atomic<int> next{Y1};
  Parallel::For(
      rows <= block ? 1 : threads,
      [&](std::int64_t, std::int64_t) {
        for (;;) {
          const int y = next.fetch_add(block);
          if (y > Y2) break;
          T v = Part(y, std::min(Y2 + 1, y + block));
          std::lock_guard<std::mutex> lock(m);
          parts.push_back({y, v});
        }
      },
      1);
  std::sort(parts.begin(), parts.end(), [](const TPart<T>& a, const TPart<T>& b) { return a.Row < b.Row; });
  return parts;
}

struct TRange {
  float Max = 0.0f, Min = 2.0e32f;
};

// The maximum (seed 0.0) and minimum (seed 2.0e32) of a rectangle inside the
// image, with the first of equal values kept as a serial search keeps it.
TRange RangeOf(const TDataImage& Image, int X1, int Y1, int X2, int Y2) {
  auto parts = InParts<TRange>(Y1, Y2, [&](int ya, int yb) {
    // maxps(v, m) is "v > m ? v : m" and minps(v, m) "v < m ? v : m", the
    // steps of the serial search, on four interleaved runs.
    __m128 vmax = _mm_setzero_ps(), vmin = _mm_set1_ps(2.0e32f);
    TRange r;
    for (int y = ya; y < yb; ++y) {
      const float* p = Image.Pixels + std::size_t(y) * Image.Width;
      int x = X1;
      for (; x + 4 <= X2 + 1; x += 4) {
        const __m128 v = _mm_loadu_ps(p + x);
        vmax = _mm_max_ps(v, vmax);
        vmin = _mm_min_ps(v, vmin);
      }
      for (; x <= X2; ++x) {
        r.Max = p[x] > r.Max ? p[x] : r.Max;
        r.Min = p[x] < r.Min ? p[x] : r.Min;
      }
    }
    float a[4], b[4];
    _mm_storeu_ps(a, vmax);
    _mm_storeu_ps(b, vmin);
    for (int k = 0; k < 4; ++k) {
      r.Max = a[k] > r.Max ? a[k] : r.Max;
      r.Min = b[k] < r.Min ? b[k] : r.Min;
    }
    return r;
  });
  TRange r;
  for (const auto& p : parts) {
    if (p.Value.Max > r.Max) r.Max = p.Value.Max;
    if (p.Value.Min < r.Min) r.Min = p.Value.Min;
  }
  // The value found does not depend on the order, except which zero a zero
  // minimum is: the serial search keeps the first zero it meets.
  if (r.Min == 0.0f) {
    for (int y = Y1; y <= Y2; ++y) {
      const float* p = Image.Pixels + std::size_t(y) * Image.Width;
      for (int x = X1; x <= X2; ++x)
        if (p[x] == 0.0f) return TRange{r.Max, p[x]};
    }
  }
  return r;
}

// The sum of a rectangle in extended precision, visited in row order. When
// every value is a multiple of 2^L, with L such that no partial sum can need
// more than 62 bits of that grid, each extended partial sum is exact, so the
// sum is the exact one and may be formed in 64-bit integers in any order.
// Max and Min are the range found by the first pass (seeded 0 and 2.0e32).
long double SumOf(const TDataImage& Image, int X1, int Y1, int X2, int Y2, float Max, float Min) {
  const std::int64_t count = (std::int64_t(X2) - X1 + 1) * (std::int64_t(Y2) - Y1 + 1);
  const float big = std::max(std::fabs(Max), Min < 2.0e32f ? std::fabs(Min) : 0.0f);
  if (big == 0.0f) {
    // All zeros, or values the searches do not see (NaN): add them serially.
  } else {
    int countBits = 0;
    while ((std::int64_t(1) << countBits) < count) ++countBits;
    int top = 0;
    std::frexp(big, &top);  // big < 2^top
    const int L = std::max(-149, top + countBits - 62);
    const double scale = std::ldexp(1.0, -L);
    auto sums = InParts<std::pair<std::int64_t, bool>>(Y1, Y2, [&](int ya, int yb) {
      std::int64_t s = 0;
      bool ok = true;
      for (int y = ya; y < yb; ++y) {
        const float* p = Image.Pixels + std::size_t(y) * Image.Width;
        for (int x = X1; x <= X2; ++x) {
          const double t = double(p[x]) * scale;  // exact: a power of two
          if (!(std::fabs(t) < 0x1p62)) {  // beyond the range found, or not finite
            ok = false;
            continue;
          }
          const std::int64_t k = std::int64_t(t);
          ok &= double(k) == t;  // on the grid
          s += k;
        }
      }
      return std::make_pair(s, ok);
    });
    std::int64_t total = 0;
    bool ok = true;
    for (const auto& part : sums) {
      total += part.Value.first;
      ok &= part.Value.second;
    }
    if (ok) return std::ldexp((long double)total, L);
  }
  long double sum = 0;
  for (int y = Y1; y <= Y2; ++y) sum = AddValues(Image.Pixels + std::size_t(y) * Image.Width + X1, X2 - X1 + 1, sum);
  return sum;
}

}  // namespace

void CalcRegionStatistics(int X1, int Y1, int X2, int Y2, const TDataImage& Image, TRegionStatistics& Stats) {
  try {
    TRegionStatistics r;
    float mx = 0.0f, mn = 2.0e32f;
    long double sum = 0;
    std::int64_t count = 0;
    if (Inside(Image, X1, Y1, X2, Y2)) {
      const TRange r = RangeOf(Image, X1, Y1, X2, Y2);
      mx = r.Max;
      mn = r.Min;
      sum = SumOf(Image, X1, Y1, X2, Y2, mx, mn);
      count = (std::int64_t(X2) - X1 + 1) * (std::int64_t(Y2) - Y1 + 1);
    } else if (X2 >= X1 && Y2 >= Y1) {
      VisitRows(Image, X1, Y1, X2, Y2, [&](const float* p, int n) {
        for (int i = 0; i < n; ++i) {
          const float v = p[i];
          sum += v;
          if (v > mx) mx = v;
          if (v < mn) mn = v;
        }
        count += n;
      });
    }
    const long double mean = Checked::Div(sum, (long double)count);
    long double ss = 0;
    VisitRows(Image, X1, Y1, X2, Y2,
              [&ss, mean](const float* p, int n) { ss = AddSquaredDeviations(p, n, mean, ss); });
    const long double sd = Checked::Sqrt(ss / count);
    r.Width = Image.Width;
    r.Height = Image.Height;
    r.Count = std::int32_t(count);
    r.Max = ToFixed4(mx);
    r.Min = ToFixed4(mn);
    r.Sum = ToFixed4(sum);
    r.Mean = ToFixed4(mean);
    r.StdDev = ToFixed4(sd);
    Stats = r;
    ReportInternalError(0);
  } catch (...) {
    ReportInternalError(errCalcRegionStatistics);
  }
}

void CalcRegionHistogram(int X1, int Y1, int X2, int Y2, const TDataImage& Image, TRegionHistogram& Histogram) {
  try {
    TRegionHistogram r;
    float mx = 0.0f, mn = 2.0e32f;
    const bool inside = Inside(Image, X1, Y1, X2, Y2);
    if (inside) {
      const TRange r = RangeOf(Image, X1, Y1, X2, Y2);
      mx = r.Max;
      mn = r.Min;
    } else if (X2 >= X1 && Y2 >= Y1) {
      VisitRows(Image, X1, Y1, X2, Y2, [&](const float* p, int n) {
        float a = mx, b = mn;
        for (int i = 0; i < n; ++i) {
          a = p[i] > a ? p[i] : a;
          b = p[i] < b ? p[i] : b;
        }
        mx = a;
        mn = b;
      });
    }
    if (mn == 0.0f && mx == 0.0f) {
      r.Scale = 1.0f;
    } else if (mx == 0.0f && mn < 0.0f) {
      // Nothing above 0 (bias-subtracted or inverted frames): the bins span
      // the levels from the minimum up to 0.
      const float scale = Checked::ToSingle(Checked::Div(255.0L, 0.0L - mn));
      const float origin = mn;
      auto& counts = r.Counts;
      VisitRows(Image, X1, Y1, X2, Y2, [&](const float* p, int n) {
        for (int i = 0; i < n; ++i) {
          const long double b = std::nearbyint(((long double)p[i] - origin) * scale);
          ++counts[b > 0 ? (b < 255 ? int(b) : 255) : 0];
        }
      });
      r.Scale = scale;
    } else {
      const float scale = Checked::ToSingle(Checked::Div(255.0L, mx));
      const double s = scale;
      // The product of two Singles is exact in double. Values below zero
      // fall into bin 0; none can reach beyond 255.
      auto bin = [s](float v) {
        const double b = std::nearbyint(double(v) * s);
        return b > 0 ? (b < 255 ? int(b) : 255) : 0;
      };
      auto& counts = r.Counts;
      if (inside) {
        using TCounts = std::array<std::int32_t, 256>;
        auto parts = InParts<TCounts>(Y1, Y2, [&](int ya, int yb) {
          TCounts c{};
          for (int y = ya; y < yb; ++y) {
            const float* p = Image.Pixels + std::size_t(y) * Image.Width;
            for (int x = X1; x <= X2; ++x) ++c[bin(p[x])];
          }
          return c;
        });
        for (const auto& p : parts)
          for (int b = 0; b < 256; ++b) counts[b] += p.Value[b];
      } else {
        VisitRows(Image, X1, Y1, X2, Y2, [&](const float* p, int n) {
          for (int i = 0; i < n; ++i) ++counts[bin(p[i])];
        });
      }
      r.Scale = scale;
    }
    r.Min = mn;
    r.Max = mx;
    Histogram = r;
    ReportInternalError(0);
  } catch (...) {
    ReportInternalError(errCalcRegionHistogram);
  }
}
