// The engine on the fuzzing thread alone, for the FITS target: every input
// allocates and scans an image, and threads started for each one would cost
// more than the work and blur what libFuzzer measures. Linked in place of
// engine/Parallel.cpp; it must offer what engine/Parallel.h declares.
#include "engine/Parallel.h"

namespace Parallel {

void For(std::int64_t Count, const std::function<void(std::int64_t Begin, std::int64_t End)>& Body,
         std::int64_t) {
  if (Count > 0) Body(0, Count);
}

int Threads() { return 1; }

}  // namespace Parallel
