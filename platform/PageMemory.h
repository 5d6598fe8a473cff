#pragma once
// Page memory for image planes: whole pages straight from the kernel,
// zero-filled on arrival, returned with the exact length they were taken with.
#include <cstddef>
#include <cstdint>

namespace PageMemory {

// Returns nullptr when Bytes is 0, beyond Limit(), or the kernel refuses.
void* Allocate(std::size_t Bytes) noexcept;
// Releases a block from Allocate; nullptr is ignored.
void Release(void* Block, std::size_t Bytes) noexcept;

// Largest total a single image may ask for at once (physical memory by default),
// so an absurd size in a file header fails at once instead of the process being
// killed later when overcommitted pages are touched.
std::uint64_t Limit() noexcept;
void SetLimit(std::uint64_t Bytes) noexcept;  // 0 restores the default

// Byte size of Count elements of ElemSize, or false when it overflows 64 bits
// or exceeds Limit().
bool CheckedBytes(std::int64_t Count, std::size_t ElemSize, std::size_t& Bytes) noexcept;

}  // namespace PageMemory
