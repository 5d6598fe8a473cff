#pragma once
// Small helpers shared by the processing units: plane checks and loops that
// split work across threads yet stop at the same pixel as a serial loop.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <vector>

#include "engine/Checked.h"
#include "engine/DataImage.h"
#include "engine/Parallel.h"

namespace RoutineSupport {

// Destination and source must have the same sides and the planes the
// routine indexes; an image without pixels passes (there is nothing to do).
inline void CheckPlanes(const TDataImage& Dst, const TDataImage& Src, bool Colour) {
  if (Dst.Width != Src.Width || Dst.Height != Src.Height) Checked::Fault("image sizes differ");
  if (Src.PixelCount() == 0) return;
  if (Colour ? !(Src.RGBPlane && Dst.RGBPlane) : !(Src.Pixels && Dst.Pixels)) Checked::Fault("missing plane");
}

// The smallest index in [0, Count) where Pred holds, or Count.
template <typename Pred>
std::int64_t FirstWhere(std::int64_t Count, Pred&& P) {
  std::atomic<std::int64_t> first{Count};
  Parallel::For(
      Count,
      [&](std::int64_t b, std::int64_t e) {
        for (std::int64_t i = b; i < e && i < first.load(std::memory_order_relaxed); ++i)
          if (P(i)) {
            std::int64_t cur = first.load();
            while (i < cur && !first.compare_exchange_weak(cur, i)) {
            }
            return;
          }
      },
      1 << 15);
  return first.load();
}

// Calls Body(i) for every i in [0, Count). Indices before the first where
// MayFail holds run across threads; from there on they run in order, so a
// fault thrown by Body stops at the same index as in a serial loop.
template <typename MayFail, typename BodyF>
void ForEachUntilFault(std::int64_t Count, MayFail&& Fail, BodyF&& Body) {
  const std::int64_t f = FirstWhere(Count, Fail);
  Parallel::For(
      f,
      [&](std::int64_t b, std::int64_t e) {
        for (std::int64_t i = b; i < e; ++i) Body(i);
      },
      1 << 14);
  for (std::int64_t i = f; i < Count; ++i) Body(i);
}

// Computes Compute(i) for every i across threads into a staging buffer, then
// stores the results before the first index that faulted and rethrows there,
// as a serial loop that stores as it goes would have left them.
template <typename T, typename ComputeF, typename StoreF>
void StagedUntilFault(std::int64_t Count, ComputeF&& Compute, StoreF&& Store) {
  std::vector<T> staged(static_cast<std::size_t>(Count));
  std::atomic<std::int64_t> failed{Count};
  Parallel::For(
      Count,
      [&](std::int64_t b, std::int64_t e) {
        for (std::int64_t i = b; i < e; ++i) {
          if (i > failed.load(std::memory_order_relaxed)) return;
          try {
            staged[i] = Compute(i);
          } catch (const EngineFault&) {
            std::int64_t cur = failed.load();
            while (i < cur && !failed.compare_exchange_weak(cur, i)) {
            }
            return;
          }
        }
      },
      1 << 12);
  const std::int64_t f = failed.load();
  Parallel::For(
      f,
      [&](std::int64_t b, std::int64_t e) {
        for (std::int64_t i = b; i < e; ++i) Store(i, staged[i]);
      },
      1 << 16);
  if (f < Count) Compute(f);  // throws the fault again
}

// Round(Num / Den) of integers, halves to even, exactly (Den > 0).
inline std::int64_t RoundRatio(std::int64_t Num, std::int64_t Den) {
  std::int64_t q = Num / Den, r = Num % Den;
  if (r < 0) {
    r += Den;
    --q;
  }
  if (2 * r > Den || (2 * r == Den && (q & 1))) ++q;
  return q;
}

}  // namespace RoutineSupport
