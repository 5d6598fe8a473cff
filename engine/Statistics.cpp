#include "engine/Statistics.h"

#include <algorithm>
#include <cmath>
#include <mutex>
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

}  // namespace

void CalcRegionStatistics(int X1, int Y1, int X2, int Y2, const TDataImage& Image, TRegionStatistics& Stats) {
  try {
    TRegionStatistics r;
    float mx = 0.0f, mn = 2.0e32f;
    long double sum = 0;
    std::int64_t count = 0;
    if (X2 >= X1 && Y2 >= Y1) {
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
    VisitRows(Image, X1, Y1, X2, Y2, [&](const float* p, int n) {
      for (int i = 0; i < n; ++i) {
        const long double d = p[i] - mean;
        ss += d * d;
      }
    });
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
    if (X2 >= X1 && Y2 >= Y1) {
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
    } else {
      const float scale = Checked::ToSingle(Checked::Div(255.0L, mx));
      const double s = scale;
      auto& counts = r.Counts;
      VisitRows(Image, X1, Y1, X2, Y2, [&](const float* p, int n) {
        for (int i = 0; i < n; ++i) {
          // The product of two Singles is exact in double. Values below zero
          // fall into bin 0; none can reach beyond 255.
          const double b = std::nearbyint(double(p[i]) * s);
          const int bin = b > 0 ? (b < 255 ? int(b) : 255) : 0;
          ++counts[bin];
        }
      });
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
