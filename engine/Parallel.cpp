#include "engine/Parallel.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace Parallel {

int Threads() {
  static const int n = std::max(1u, std::min(16u, std::thread::hardware_concurrency()));
  return n;
}

void For(std::int64_t Count, const std::function<void(std::int64_t, std::int64_t)>& Body,
         std::int64_t MinPerThread) {
  if (Count <= 0) return;
  std::int64_t parts = std::min<std::int64_t>(Threads(), Count / std::max<std::int64_t>(1, MinPerThread));
  if (parts <= 1) {
    Body(0, Count);
    return;
  }
  std::exception_ptr failure;
  std::mutex m;
  auto run = [&](std::int64_t b, std::int64_t e) {
    try {
      Body(b, e);
    } catch (...) {
      std::lock_guard<std::mutex> lock(m);
      if (!failure) failure = std::current_exception();
    }
  };
  std::vector<std::thread> workers;
  workers.reserve(parts - 1);
  std::int64_t step = Count / parts, extra = Count % parts, begin = 0;
  std::int64_t firstEnd = 0;
  for (std::int64_t p = 0; p < parts; ++p) {
    std::int64_t end = begin + step + (p < extra ? 1 : 0);
    if (p == 0) {
      firstEnd = end;
    } else {
      workers.emplace_back(run, begin, end);
    }
    begin = end;
  }
  run(0, firstEnd);
  for (auto& t : workers) t.join();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace Parallel
