#pragma once
// The two ways through the engine's vector code: the processor's own AVX2
// paths and the plain ones any x86-64 processor takes. Tests walk both and
// expect the same results.
#include "engine/Processor.h"

namespace testsupport {

struct TVectorPath {
  const char* Name;
  bool AVX2;
};

inline constexpr TVectorPath kVectorPaths[] = {{"AVX2", true}, {"plain", false}};

// Sets the path for a scope and gives the processor's own back afterwards.
struct TVectorPathScope {
  explicit TVectorPathScope(const TVectorPath& Path) { Processor::AllowAVX2(Path.AVX2); }
  ~TVectorPathScope() { Processor::AllowAVX2(true); }
  TVectorPathScope(const TVectorPathScope&) = delete;
  TVectorPathScope& operator=(const TVectorPathScope&) = delete;
};

}  // namespace testsupport
