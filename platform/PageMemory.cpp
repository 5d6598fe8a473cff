#include "platform/PageMemory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <atomic>

namespace PageMemory {
namespace {
std::atomic<std::uint64_t> g_limit{0};

std::uint64_t PhysicalBytes() noexcept {
  long pages = sysconf(_SC_PHYS_PAGES);
  long size = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || size <= 0) return std::uint64_t(1) << 34;  // 16 GiB if unknown
  return std::uint64_t(pages) * std::uint64_t(size);
}
}  // namespace

std::uint64_t Limit() noexcept {
  std::uint64_t l = g_limit.load();
  return l ? l : PhysicalBytes();
}

void SetLimit(std::uint64_t Bytes) noexcept { g_limit.store(Bytes); }

bool CheckedBytes(std::int64_t Count, std::size_t ElemSize, std::size_t& Bytes) noexcept {
  if (Count < 0) return false;
  unsigned __int128 total = (unsigned __int128)(std::uint64_t)Count * ElemSize;
  if (total > Limit()) return false;
  Bytes = std::size_t(total);
  return true;
}

void* Allocate(std::size_t Bytes) noexcept {
  if (Bytes == 0 || Bytes > Limit()) return nullptr;
  void* p = mmap(nullptr, Bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  // Huge pages make the first touch of a large plane several times cheaper;
  // where the kernel has none this is a hint it ignores.
  if (Bytes >= (std::size_t(4) << 20)) madvise(p, Bytes, MADV_HUGEPAGE);
  return p;
}

void Release(void* Block, std::size_t Bytes) noexcept {
  if (Block && Bytes) munmap(Block, Bytes);
}

}  // namespace PageMemory
