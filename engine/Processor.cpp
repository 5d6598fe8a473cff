#include "engine/Processor.h"

#include <atomic>

namespace Processor {
namespace {

std::atomic<bool> g_allowAVX2{true};

}  // namespace

bool AVX2() {
  static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
  return has && g_allowAVX2.load(std::memory_order_relaxed);
}

void AllowAVX2(bool Allowed) { g_allowAVX2.store(Allowed); }

}  // namespace Processor
