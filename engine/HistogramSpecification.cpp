#include "engine/HistogramSpecification.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <mutex>

#include "engine/Checked.h"
#include "engine/Parallel.h"

namespace {

constexpr int Bins = 4096;
constexpr std::int64_t MinPerThread = 16384;

// Largest pixel, searched from 0.0.
float MaxFromZero(const float* P, std::int64_t N) {
  std::mutex lock;
  float result = 0.0f;
  Parallel::For(N, [&](std::int64_t b, std::int64_t e) {
    float m = 0.0f;
    for (std::int64_t i = b; i < e; ++i)
      if (P[i] > m) m = P[i];
    std::lock_guard<std::mutex> g(lock);
    if (m > result) result = m;
  }, MinPerThread);
  return result;
}

// Round(v * s) with the product held as a Single; negative values land in
// bin 0 and nothing lands past the last bin.
int BinOf(float v, float s) {
  const std::int64_t b = Checked::Round(Checked::ToSingle((long double)v * s));
  return b < 0 ? 0 : (b >= Bins ? Bins - 1 : int(b));
}

// Multiplies every pixel by A / m, m the largest pixel from 0.0, so that the
// result's maximum is A.
void RestoreRange(float* P, std::int64_t N, float A) {
  const float m = MaxFromZero(P, N);
  const long double factor = Checked::Div(A, m);
  Parallel::For(N, [&](std::int64_t b, std::int64_t e) {
    for (std::int64_t i = b; i < e; ++i) P[i] = Checked::ToSingle(P[i] * factor);
  }, MinPerThread);
}

bool SameShape(const TDataImage& Dst, const TDataImage& Src) {
  return Src.Pixels && Dst.Pixels && Dst.PixelCount() == Src.PixelCount();
}

// The running sum of a target rounded at every bin, scaled so that its
// largest entry is 4095, and the table that inverts it.
void InverseTable(const THistogramTarget& Target, std::array<std::int32_t, Bins>& Inv) {
  std::array<float, Bins> C;
  double sum = 0.0;
  float cmax = 0.0f;
  for (int i = 0; i < Bins; ++i) {
    Inv[std::size_t(i)] = 0;
    sum = double((long double)sum + Target[std::size_t(i)]);
    C[std::size_t(i)] = float(Checked::Round(sum));
    if (C[std::size_t(i)] > cmax) cmax = C[std::size_t(i)];
  }
  const long double scale = Checked::Div(4095, cmax);
  for (int i = 0; i < Bins; ++i) C[std::size_t(i)] = Checked::ToSingle(scale * C[std::size_t(i)]);
  for (int i = 0; i < Bins; ++i) {
    const std::int64_t k = Checked::Round(C[std::size_t(i)]);
    Inv[std::size_t(std::clamp<std::int64_t>(k, 0, Bins - 1))] = i;
  }
  for (int k = 1; k < Bins; ++k)
    if (Inv[std::size_t(k)] == 0 && float(k) != C[std::size_t(k)]) Inv[std::size_t(k)] = Inv[std::size_t(k - 1)];
}

}  // namespace

void HistogramEqualise(TDataImage& Dst, const TDataImage& Src) {
  if (!SameShape(Dst, Src)) return;
  const std::int64_t N = Src.PixelCount();
  const float* src = Src.Pixels;
  float* dst = Dst.Pixels;

  const float A = MaxFromZero(src, N);
  if (A == 0.0f) return;
  const float s = Checked::ToSingle(Checked::Div(4095, A));

  // Whole-number counts: a Single counter would stop at 2^24.
  std::array<std::int64_t, Bins> h{};
  std::mutex lock;
  Parallel::For(N, [&](std::int64_t b, std::int64_t e) {
    std::array<std::int64_t, Bins> local{};
    for (std::int64_t i = b; i < e; ++i) ++local[std::size_t(BinOf(src[i], s))];
    std::lock_guard<std::mutex> g(lock);
    for (int k = 0; k < Bins; ++k) h[std::size_t(k)] += local[std::size_t(k)];
  }, MinPerThread);

  // Each entry adds the counts up to bin i to those up to bin i - 1.
  std::array<std::int64_t, Bins> c{};
  c[0] = h[0];
  for (int i = 1; i < Bins; ++i) c[std::size_t(i)] = c[std::size_t(i - 1)] + h[std::size_t(i - 1)] + h[std::size_t(i)];

  Parallel::For(N, [&](std::int64_t b, std::int64_t e) {
    for (std::int64_t i = b; i < e; ++i)
      dst[i] = Checked::ToSingle((long double)c[std::size_t(BinOf(src[i], s))] / s);
  }, MinPerThread);
  RestoreRange(dst, N, A);
}

void HistogramMatch(const THistogramTarget& Target, TDataImage& Dst, const TDataImage& Src) {
  HistogramEqualise(Dst, Src);
  if (!SameShape(Dst, Src)) return;
  const std::int64_t N = Dst.PixelCount();
  float* dst = Dst.Pixels;
  const float A = MaxFromZero(dst, N);
  if (A == 0.0f) return;
  const float s = Checked::ToSingle(Checked::Div(4095, A));

  std::array<std::int32_t, Bins> inv;
  InverseTable(Target, inv);
  Parallel::For(N, [&](std::int64_t b, std::int64_t e) {
    for (std::int64_t i = b; i < e; ++i)
      dst[i] = Checked::ToSingle((long double)inv[std::size_t(BinOf(dst[i], s))] / s);
  }, MinPerThread);
  RestoreRange(dst, N, A);
}

namespace {

float SourceMax(const TDataImage& Src) { return Src.Pixels ? MaxFromZero(Src.Pixels, Src.PixelCount()) : 0.0f; }

// t[j] = A - A / (j / 2048 + 1)^Power, stored falling: Target[i] = t[4095 - i].
void Falling(THistogramTarget& T, float A, int Power) {
  for (int i = 0; i < Bins; ++i) {
    const long double b = (long double)(4095 - i) / 2048 + 1;
    const long double p = Power == 2 ? b * b : b * b * b;
    T[std::size_t(i)] = Checked::ToSingle(A - A / p);
  }
}

}  // namespace

void HistogramSpecGaussian(TDataImage& Dst, const TDataImage& Src, double Centre, double Width) {
  const float A = SourceMax(Src);
  THistogramTarget T;
  const long double w = (long double)Width / 16;
  for (int i = 0; i < Bins; ++i) {
    const long double d = i - 16 * (long double)Centre;
    T[std::size_t(i)] = Checked::ToSingle(A * Checked::Exp(w * w * (-(d * d) / 2)));
  }
  HistogramMatch(T, Dst, Src);
}

void HistogramSpecExponential(TDataImage& Dst, const TDataImage& Src, double /*P*/) {
  const float A = SourceMax(Src);
  THistogramTarget T;
  for (int i = 0; i < Bins; ++i)
    T[std::size_t(i)] = Checked::ToSingle(A * Checked::Exp(-std::fabs((long double)i / 35) / 35));
  HistogramMatch(T, Dst, Src);
}

void HistogramSpecParabolic(TDataImage& Dst, const TDataImage& Src) {
  THistogramTarget T;
  Falling(T, SourceMax(Src), 2);
  HistogramMatch(T, Dst, Src);
}

void HistogramSpecCubic(TDataImage& Dst, const TDataImage& Src) {
  THistogramTarget T;
  Falling(T, SourceMax(Src), 3);
  HistogramMatch(T, Dst, Src);
}

void HistogramSpecLinear(TDataImage& Dst, const TDataImage& Src) {
  const float A = SourceMax(Src);
  THistogramTarget T;
  for (int i = 0; i < Bins; ++i) T[std::size_t(i)] = Checked::ToSingle(A - i * ((long double)A / 4095));
  HistogramMatch(T, Dst, Src);
}
