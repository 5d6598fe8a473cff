#pragma once
// Shared by the codec fuzz targets: a memory limit low enough that an absurd
// header is refused instead of exhausting the fuzzer's memory.
#include <cstddef>
#include <cstdint>

#include "platform/PageMemory.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  PageMemory::SetLimit(std::uint64_t(256) << 20);
  return 0;
}
