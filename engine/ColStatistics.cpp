#include "engine/ColStatistics.h"

#include <vector>

#include "engine/Checked.h"
#include "engine/Errors.h"

namespace {

template <typename F>
void VisitRows(const TDataImage& Image, int X1, int Y1, int X2, int Y2, F&& Row) {
  if (X2 < X1 || Y2 < Y1) return;
  const bool inside = Image.RGBPlane && X1 >= 0 && Y1 >= 0 && X2 < Image.Width && Y2 < Image.Height;
  std::vector<TRGBPixel> line;
  for (int y = Y1; y <= Y2; ++y) {
    if (inside) {
      Row(Image.RGBPlane + std::size_t(y) * Image.Width + X1, X2 - X1 + 1);
    } else {
      line.resize(std::size_t(X2 - X1 + 1));
      for (int x = X1; x <= X2; ++x) Image.GetRGB(x, y, line[x - X1]);
      Row(line.data(), X2 - X1 + 1);
    }
  }
}

}  // namespace

void ColCalcRegionStatistics(int X1, int Y1, int X2, int Y2, const TDataImage& Image, TColRegionStatistics& Stats) {
  try {
    TColRegionStatistics r;
    r.Max = TRGBPixel{0, 0, 0};
    r.Min = TRGBPixel{255, 255, 255};
    std::int64_t count = 0;
    VisitRows(Image, X1, Y1, X2, Y2, [&](const TRGBPixel* p, int n) {
      for (int i = 0; i < n; ++i) {
        const TRGBPixel c = p[i];
        r.SumRed += c.Red;
        r.SumGreen += c.Green;
        r.SumBlue += c.Blue;
        if (c.Red > r.Max.Red) r.Max.Red = c.Red;
        if (c.Green > r.Max.Green) r.Max.Green = c.Green;
        if (c.Blue > r.Max.Blue) r.Max.Blue = c.Blue;
        if (c.Red < r.Min.Red) r.Min.Red = c.Red;
        if (c.Green < r.Min.Green) r.Min.Green = c.Green;
        if (c.Blue < r.Min.Blue) r.Min.Blue = c.Blue;
      }
      count += n;
    });
    r.MeanRed = Checked::Div(r.SumRed, (long double)count);
    r.MeanGreen = Checked::Div(r.SumGreen, (long double)count);
    r.MeanBlue = Checked::Div(r.SumBlue, (long double)count);
    long double sr = 0, sg = 0, sb = 0;
    VisitRows(Image, X1, Y1, X2, Y2, [&](const TRGBPixel* p, int n) {
      for (int i = 0; i < n; ++i) {
        const long double dr = p[i].Red - r.MeanRed, dg = p[i].Green - r.MeanGreen, db = p[i].Blue - r.MeanBlue;
        sr += dr * dr;
        sg += dg * dg;
        sb += db * db;
      }
    });
    r.StdDevRed = Checked::Sqrt(sr / count);
    r.StdDevGreen = Checked::Sqrt(sg / count);
    r.StdDevBlue = Checked::Sqrt(sb / count);
    r.Width = Image.Width;
    r.Height = Image.Height;
    r.Count = std::int32_t(count);
    Stats = r;
    ReportInternalError(0);
  } catch (...) {
    ReportInternalError(errColCalcRegionStatistics);
  }
}

void ColCalcRegionHistogram(int X1, int Y1, int X2, int Y2, const TDataImage& Image, TColRegionHistogram& Histogram) {
  try {
    TColRegionHistogram r;
    VisitRows(Image, X1, Y1, X2, Y2, [&](const TRGBPixel* p, int n) {
      for (int i = 0; i < n; ++i) {
        const TRGBPixel c = p[i];
        ++r.Red[c.Red];
        ++r.Green[c.Green];
        ++r.Blue[c.Blue];
        // (B + G + R) / 3 is never a half, so this is its nearest integer.
        ++r.Intensity[(c.Blue + c.Green + c.Red + 1) / 3];
      }
    });
    Histogram = r;
    ReportInternalError(0);
  } catch (...) {
    ReportInternalError(errColCalcRegionHistogram);
  }
}
