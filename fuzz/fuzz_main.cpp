// libFuzzer entry for one codec, chosen at build time (-DFUZZ_CODEC="fits").
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzTargets.h"
#include "platform/PageMemory.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Absurd sizes in headers must be refused, not allocated: keep images small.
  PageMemory::SetLimit(std::uint64_t(256) << 20);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  fuzz::Run(FUZZ_CODEC, Data, Size);
  return 0;
}
