#pragma once
// Splits a loop over rows (or columns) across threads. Use only where every
// output is computed exactly as in the serial order; running sums stay serial.
// The first exception thrown by a part is rethrown on the calling thread
// after every part has finished.
//
// The work goes to one pool of threads started once, on first use. Where the
// system refuses to start one of them, the pool lets go of those it has (they
// are left for the rest of the program) and the parts run on the calling
// thread: the results are the same for every number of threads. A For called from inside a part, or while
// another thread's For holds the pool, runs on its calling thread.
#include <cstdint>
#include <functional>

namespace Parallel {

// Calls Body(Begin, End) on disjoint parts of [0, Count). Small counts, or
// MinPerThread items per thread, run on the calling thread alone.
void For(std::int64_t Count, const std::function<void(std::int64_t Begin, std::int64_t End)>& Body,
         std::int64_t MinPerThread = 64);

// The fewest items worth a part of For of their own when each item is about
// ItemWork steps of a light pass over pixels (a row of W pixels: W). Handing
// a part to another thread costs about as much as 2^18 such steps on a busy
// machine, so smaller work stays on the calling thread.
std::int64_t MinItemsPerPart(std::int64_t ItemWork);

// Number of threads For may use (at least 1): the environment variable
// CORVELLE_THREADS when it holds a positive number, otherwise every core.
int Threads();
// Sets that number; 0 goes back to the default. Not while a For runs.
void SetThreads(int Count);

// For tests: thread creation fails once Started pool threads exist, as when
// the system has no more to give (-1: no limit). Stops the pool's threads,
// so the next For starts them again. Not while a For runs.
void SimulateThreadLimit(int Started);

}  // namespace Parallel
