#include "engine/HistogramSpecification.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <mutex>

#include "engine/Checked.h"
#include "engine/HistogramTables.h"
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

}  // namespace

void HistogramEqualise(TDataImage& Dst, const TDataImage& Src) {
  if (!SameShape(Dst, Src)) return;
  const std::int64_t N = Src.PixelCount();
  const float* src = Src.Pixels;
  float* dst = Dst.Pixels;

  const float A = MaxFromZero(src, N);
  if (A == 0.0f) return;
  const float s = Checked::ToSingle(Checked::Div(4095, A));

  const auto c = HistogramTables::Cumulative(
      HistogramTables::Count<std::size_t(Bins)>(N, [&](std::int64_t i) { return BinOf(src[i], s); }, MinPerThread));

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

  const auto inv = HistogramTables::Inverse(Target);
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
