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

// Memory kept for the interface itself: windows, charts, dialogs and fonts
// allocate without checking, and the toolkit dies when an allocation fails
// while it draws. Running every command beside a 4000 x 4000 frame under
// address-space limits in 1 MB steps, the charts drawn just after the frame
// opened needed up to 16 MB beside a 1200 x 900 main window; a maximised one
// on a 4K screen takes 33 MB more for the picture it is drawn into.
inline constexpr std::uint64_t InterfaceReserve = std::uint64_t(64) << 20;
// What images may take under the figures: LimitFrom less the reserve.
std::uint64_t ImageLimitFrom(const TMemoryFigures& Figures) noexcept;

// Largest total a single image may ask for at once, so an absurd size in a file
// header fails at once instead of the process being killed later when
// overcommitted pages are touched: ImageLimitFrom(CurrentFigures()), read afresh
// on every call, unless a limit has been set.
std::uint64_t Limit() noexcept;
void SetLimit(std::uint64_t Bytes) noexcept;  // 0 restores the default

// For tests: CurrentFigures() returns Figures, less the page memory taken
// since (it counts as used address space and as memory no longer available),
// until ClearFigures().
void SetFigures(const TMemoryFigures& Figures) noexcept;
void ClearFigures() noexcept;

// For tests: Hook hears each admission of Allocate where it stands, on the
// thread that asks: Waiting while another admission is under way, Admitted
// once the size has passed the limit and before the pages are counted as
// taken. nullptr removes it.
enum class TAdmissionStep { Waiting, Admitted };
void SetAdmissionHook(void (*Hook)(TAdmissionStep)) noexcept;

// Under an address-space limit (ulimit -v), malloc would give every thread
// an arena of its own, each taking 64 MB of that space the moment the thread
// first allocates, unchecked: then all threads share the main one, which
// takes only what it uses. A second arena would still take its 64 MB when
// some thread first allocates, and each attempt at one maps up to 128 MB for
// an instant, in which another thread cannot start. Called first thing in
// the program, before its threads start.
void ShareAllocatorArenas() noexcept;

// Byte size of Count elements of ElemSize, or false when it overflows 64 bits
// or exceeds Limit().
bool CheckedBytes(std::int64_t Count, std::size_t ElemSize, std::size_t& Bytes) noexcept;

}  // namespace PageMemory
