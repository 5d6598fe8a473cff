#pragma once
// Splits a loop over rows (or columns) across threads. Use only where every
// output is computed exactly as in the serial order; running sums stay serial.
// The first exception thrown by a worker is rethrown on the calling thread
// after all workers have joined.
#include <cstdint>
#include <functional>

namespace Parallel {

// Calls Body(Begin, End) on disjoint parts of [0, Count). Small counts, or
// MinPerThread items per thread, run on the calling thread alone.
void For(std::int64_t Count, const std::function<void(std::int64_t Begin, std::int64_t End)>& Body,
         std::int64_t MinPerThread = 64);

// Number of threads For may use (at least 1).
int Threads();

}  // namespace Parallel
