#include "engine/ColHistogramSpecification.h"

#include <algorithm>
#include <cstdint>

#include "engine/Checked.h"
#include "engine/ClampByte.h"
#include "engine/HSV.h"
#include "engine/HistogramTables.h"
#include "engine/Parallel.h"

namespace {

constexpr int Bins = 256;
constexpr std::int64_t MinPerThread = 8192;

int ValueBin(double V) {
  const std::int64_t b = Checked::Round((long double)V * 255);
  return b < 0 ? 0 : (b >= Bins ? Bins - 1 : int(b));
}

bool SameShape(const TDataImage& Dst, const TDataImage& Src) {
  return Src.RGBPlane && Dst.RGBPlane && Dst.PixelCount() == Src.PixelCount();
}

// Replaces the value of every pixel of In by Map[its value bin] (0..255
// scale), keeping hue and saturation, into Out.
template <typename TMap>
void MapValues(const TRGBPixel* In, TRGBPixel* Out, std::int64_t N, const TMap& Map) {
  Parallel::For(N, [&](std::int64_t b, std::int64_t e) {
    for (std::int64_t i = b; i < e; ++i) {
      const TRGBPixel p = In[i];
      double H, S, V;
      RGBToHSV(p.Red, p.Green, p.Blue, H, S, V);
      double r = 0, g = 0, bl = 0;
      HSVToRGB(H, S, double(Map[std::size_t(ValueBin(V))]), r, g, bl);
      TRGBPixel q;
      q.Red = ClampByte(Checked::Round(std::clamp(r, 0.0, 255.0)));
      q.Green = ClampByte(Checked::Round(std::clamp(g, 0.0, 255.0)));
      q.Blue = ClampByte(Checked::Round(std::clamp(bl, 0.0, 255.0)));
      Out[i] = q;
    }
  }, MinPerThread);
}

}  // namespace

void ColHistogramEqualise(TDataImage& Dst, const TDataImage& Src) {
  if (!SameShape(Dst, Src)) return;
  const std::int64_t N = Src.PixelCount();
  const TRGBPixel* src = Src.RGBPlane;

  const auto count = HistogramTables::Cumulative(HistogramTables::Count<std::size_t(Bins)>(
      N,
      [&](std::int64_t i) {
        double H, S, V;
        RGBToHSV(src[i].Red, src[i].Green, src[i].Blue, H, S, V);
        return ValueBin(V);
      },
      MinPerThread));
  if (N == 0) return;

  std::int64_t cmax = 0;
  for (int i = 0; i < Bins; ++i) cmax = std::max(cmax, count[std::size_t(i)]);
  std::array<float, Bins> c;
  for (int i = 0; i < Bins; ++i)
    c[std::size_t(i)] = Checked::ToSingle(Checked::Div((long double)count[std::size_t(i)] * 255, cmax));
  MapValues(src, Dst.RGBPlane, N, c);
}

void ColHistogramMatch(const TColHistogramTarget& Target, TDataImage& Dst, const TDataImage& Src) {
  ColHistogramEqualise(Dst, Src);
  if (!SameShape(Dst, Src)) return;
  const auto inv = HistogramTables::Inverse(Target);
  MapValues(Dst.RGBPlane, Dst.RGBPlane, Dst.PixelCount(), inv);
}

namespace {

// t[j] = 255 - 255 / (j / 128 + 1)^Power, stored falling: Target[i] = t[255 - i].
void Falling(TColHistogramTarget& T, int Power) {
  for (int i = 0; i < Bins; ++i) {
    const long double b = (long double)(255 - i) / 128 + 1;
    const long double p = Power == 2 ? b * b : b * b * b;
    T[std::size_t(i)] = Checked::ToSingle(255 - 255 / p);
  }
}

}  // namespace

void ColHistogramSpecGaussian(TDataImage& Dst, const TDataImage& Src, double Centre, double Width) {
  TColHistogramTarget T;
  for (int i = 0; i < Bins; ++i) {
    const long double d = i - (long double)Centre;
    T[std::size_t(i)] = Checked::ToSingle(255 * Checked::Exp((long double)Width * Width * (-(d * d) / 2)));
  }
  ColHistogramMatch(T, Dst, Src);
}

void ColHistogramSpecExponential(TDataImage& Dst, const TDataImage& Src, double /*P*/) {
  TColHistogramTarget T;
  for (int i = 0; i < Bins; ++i) T[std::size_t(i)] = Checked::ToSingle(255 * Checked::Exp(-((long double)i / 15) / 15));
  ColHistogramMatch(T, Dst, Src);
}

void ColHistogramSpecParabolic(TDataImage& Dst, const TDataImage& Src) {
  TColHistogramTarget T;
  Falling(T, 2);
  ColHistogramMatch(T, Dst, Src);
}

void ColHistogramSpecCubic(TDataImage& Dst, const TDataImage& Src) {
  TColHistogramTarget T;
  Falling(T, 3);
  ColHistogramMatch(T, Dst, Src);
}

void ColHistogramSpecLinear(TDataImage& Dst, const TDataImage& Src) {
  TColHistogramTarget T;
  for (int i = 0; i < Bins; ++i) T[std::size_t(i)] = float(255 - i);
  ColHistogramMatch(T, Dst, Src);
}
