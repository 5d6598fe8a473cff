#pragma once
// The tables shared by the grey and the colour histogram specification:
// whole-number histograms, their cumulative sums and the inverse of a
// target's cumulative distribution.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "engine/Checked.h"
#include "engine/Parallel.h"

namespace HistogramTables {

// Counts Bin(i) for i = 0 .. N - 1. Whole numbers: a Single counter would
// stop at 2^24.
template <std::size_t Bins, typename TBin>
std::array<std::int64_t, Bins> Count(std::int64_t N, const TBin& Bin, std::int64_t MinPerThread) {
  std::array<std::int64_t, Bins> h{};
  std::mutex lock;
  Parallel::For(N, [&](std::int64_t b, std::int64_t e) {
    std::array<std::int64_t, Bins> local{};
    for (std::int64_t i = b; i < e; ++i) ++local[std::size_t(Bin(i))];
    std::lock_guard<std::mutex> g(lock);
    for (std::size_t k = 0; k < Bins; ++k) h[k] += local[k];
  }, MinPerThread);
  return h;
}

// Each entry adds the counts up to bin i to those up to bin i - 1.
template <std::size_t Bins>
std::array<std::int64_t, Bins> Cumulative(const std::array<std::int64_t, Bins>& h) {
  std::array<std::int64_t, Bins> c{};
  c[0] = h[0];
  for (std::size_t i = 1; i < Bins; ++i) c[i] = c[i - 1] + h[i - 1] + h[i];
  return c;
}

// The running sum of a target rounded at every bin, scaled so that its
// largest entry is the last bin, and the table that inverts it: each bin
// takes the last i whose scaled sum rounds to it, and the gaps take the bin
// before. A sum that rounds to 0 everywhere faults.
template <std::size_t Bins>
std::array<std::int32_t, Bins> Inverse(const std::array<float, Bins>& Target) {
  std::array<std::int32_t, Bins> inv{};
  std::array<float, Bins> C;
  double sum = 0.0;
  float cmax = 0.0f;
  for (std::size_t i = 0; i < Bins; ++i) {
    sum = double((long double)sum + Target[i]);
    C[i] = float(Checked::Round(sum));
    if (C[i] > cmax) cmax = C[i];
  }
  const long double scale = Checked::Div((long double)(Bins - 1), cmax);
  for (std::size_t i = 0; i < Bins; ++i) C[i] = Checked::ToSingle(scale * C[i]);
  for (std::size_t i = 0; i < Bins; ++i)
    inv[std::size_t(std::clamp<std::int64_t>(Checked::Round(C[i]), 0, std::int64_t(Bins) - 1))] = std::int32_t(i);
  for (std::size_t k = 1; k < Bins; ++k)
    if (inv[k] == 0 && float(k) != C[k]) inv[k] = inv[k - 1];
  return inv;
}

}  // namespace HistogramTables
