#pragma once
// Runs a per-row computation on threads while keeping the serial failure
// semantics: when some output faults, exactly the outputs that a serial pass
// (rows outer, outputs in order) would have written before the fault are
// written, and the fault is rethrown. Rows are computed into a staging buffer
// and committed afterwards, so no thread writes past a fault it cannot see.
#include <cstdint>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>

#include "engine/Parallel.h"

namespace StagedRows {

// Compute(y, Out, Done) fills Out[0 .. RowLength) in order and counts the
// finished outputs in Done, so that after a throw Done says how many of the
// row are valid. Commit(y, Out, Count) stores Out[0 .. Count) of row y.
template <class T, class ComputeFn, class CommitFn>
void Run(int Rows, int RowLength, ComputeFn&& Compute, CommitFn&& Commit, std::int64_t MinRowsPerThread = 8) {
  if (Rows <= 0 || RowLength <= 0) return;
  const std::int64_t total = std::int64_t(Rows) * RowLength;
  std::unique_ptr<T[]> stage(new T[std::size_t(total)]);
  std::mutex m;
  std::int64_t firstFault = std::numeric_limits<std::int64_t>::max();
  std::exception_ptr failure;
  Parallel::For(Rows, [&](std::int64_t b, std::int64_t e) {
    for (std::int64_t y = b; y < e; ++y) {
      int done = 0;
      try {
        Compute(int(y), stage.get() + y * RowLength, done);
      } catch (...) {
        std::lock_guard<std::mutex> lock(m);
        const std::int64_t at = y * RowLength + done;
        if (at < firstFault) {
          firstFault = at;
          failure = std::current_exception();
        }
        return;  // later rows of this part come after the fault
      }
    }
  }, MinRowsPerThread);
  const std::int64_t valid = failure ? firstFault : total;
  Parallel::For(Rows, [&](std::int64_t b, std::int64_t e) {
    for (std::int64_t y = b; y < e; ++y) {
      const std::int64_t start = y * RowLength;
      if (start >= valid) return;
      const std::int64_t count = valid - start < RowLength ? valid - start : RowLength;
      Commit(int(y), stage.get() + start, int(count));
    }
  }, 64);
  if (failure) std::rethrow_exception(failure);
}

}  // namespace StagedRows
