#include "engine/ColHistogramSpecification.h"

#include <algorithm>
#include <cstdint>
#include <mutex>

#include "engine/Checked.h"
#include "engine/ClampByte.h"
#include "engine/HSV.h"
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

  // Whole-number counts: a Single counter would stop at 2^24.
  std::array<std::int64_t, Bins> h{};
  std::mutex lock;
  Parallel::For(N, [&](std::int64_t b, std::int64_t e) {
    std::array<std::int64_t, Bins> local{};
    for (std::int64_t i = b; i < e; ++i) {
      double H, S, V;
      RGBToHSV(src[i].Red, src[i].Green, src[i].Blue, H, S, V);
      ++local[std::size_t(ValueBin(V))];
    }
    std::lock_guard<std::mutex> g(lock);
    for (int k = 0; k < Bins; ++k) h[std::size_t(k)] += local[std::size_t(k)];
  }, MinPerThread);
  if (N == 0) return;

  std::array<std::int64_t, Bins> count{};
  count[0] = h[0];
  std::int64_t cmax = 0;
  for (int i = 1; i < Bins; ++i)
    count[std::size_t(i)] = count[std::size_t(i - 1)] + h[std::size_t(i - 1)] + h[std::size_t(i)];
  for (int i = 0; i < Bins; ++i) cmax = std::max(cmax, count[std::size_t(i)]);
  std::array<float, Bins> c;
  for (int i = 0; i < Bins; ++i)
    c[std::size_t(i)] = Checked::ToSingle(Checked::Div((long double)count[std::size_t(i)] * 255, cmax));
  MapValues(src, Dst.RGBPlane, N, c);
}

void ColHistogramMatch(const TColHistogramTarget& Target, TDataImage& Dst, const TDataImage& Src) {
  ColHistogramEqualise(Dst, Src);
  if (!SameShape(Dst, Src)) return;
  std::array<std::int32_t, Bins> inv;
  std::array<float, Bins> C;
  double sum = 0.0;
  float cmax = 0.0f;
  for (int i = 0; i < Bins; ++i) {
    inv[std::size_t(i)] = 0;
    sum = double((long double)sum + Target[std::size_t(i)]);
    C[std::size_t(i)] = float(Checked::Round(sum));
    if (C[std::size_t(i)] > cmax) cmax = C[std::size_t(i)];
  }
  const long double scale = Checked::Div(255, cmax);
  for (int i = 0; i < Bins; ++i) C[std::size_t(i)] = Checked::ToSingle(scale * C[std::size_t(i)]);
  for (int i = 0; i < Bins; ++i)
    inv[std::size_t(std::clamp<std::int64_t>(Checked::Round(C[std::size_t(i)]), 0, Bins - 1))] = i;
  for (int k = 1; k < Bins; ++k)
    if (inv[std::size_t(k)] == 0 && float(k) != C[std::size_t(k)]) inv[std::size_t(k)] = inv[std::size_t(k - 1)];
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
