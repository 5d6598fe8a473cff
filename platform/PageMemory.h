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

// What bounds the memory the process can still use; 0 where a figure is
// unknown or unlimited.
struct TMemoryFigures {
  std::uint64_t Physical = 0;      // installed memory
  std::uint64_t Available = 0;     // what the system can still give without swapping
  std::uint64_t AddressLimit = 0;  // the address-space limit (ulimit -v)
  std::uint64_t AddressUsed = 0;   // address space the process holds already
  std::uint64_t GroupLimit = 0;    // the memory cgroup's limit
};
TMemoryFigures CurrentFigures() noexcept;
// The smallest of installed memory, available memory, the address space left
// under its limit and the cgroup's limit (16 GiB when nothing is known).
std::uint64_t LimitFrom(const TMemoryFigures& Figures) noexcept;

// Largest total a single image may ask for at once, so an absurd size in a file
// header fails at once instead of the process being killed later when
// overcommitted pages are touched: LimitFrom(CurrentFigures()), read afresh on
// every call, unless a limit has been set.
std::uint64_t Limit() noexcept;
void SetLimit(std::uint64_t Bytes) noexcept;  // 0 restores the default

// Byte size of Count elements of ElemSize, or false when it overflows 64 bits
// or exceeds Limit().
bool CheckedBytes(std::int64_t Count, std::size_t ElemSize, std::size_t& Bytes) noexcept;

}  // namespace PageMemory
