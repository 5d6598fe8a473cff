#include "platform/PageMemory.h"

#include <malloc.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace PageMemory {
namespace {
std::atomic<std::uint64_t> g_limit{0};
std::atomic<std::uint64_t> g_held{0};  // bytes of page memory taken and not released

// Figures set by a test, and the page memory held when they were set.
std::mutex g_setLock;
bool g_set = false;
TMemoryFigures g_setFigures;
std::uint64_t g_heldAtSet = 0;

std::atomic<void (*)(TAdmissionStep)> g_admissionHook{nullptr};

void Tell(TAdmissionStep Step) noexcept {
  if (const auto hook = g_admissionHook.load()) hook(Step);
}

std::uint64_t PhysicalBytes() noexcept {
  long pages = sysconf(_SC_PHYS_PAGES);
  long size = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || size <= 0) return 0;
  return std::uint64_t(pages) * std::uint64_t(size);
}

// The first line of a small text file; false when it cannot be read.
bool ReadLine(const std::string& Name, char* Buffer, std::size_t Size) noexcept {
  std::FILE* f = std::fopen(Name.c_str(), "re");
  if (!f) return false;
  const bool ok = std::fgets(Buffer, int(Size), f) != nullptr;
  std::fclose(f);
  return ok;
}

// A number of bytes as a cgroup file holds it; "max" and absurd values are no limit.
std::uint64_t GroupValue(const std::string& Name) noexcept {
  char line[64];
  if (!ReadLine(Name, line, sizeof line)) return 0;
  char* end = nullptr;
  const unsigned long long v = std::strtoull(line, &end, 10);
  if (end == line || v >= (std::uint64_t(1) << 60)) return 0;
  return v;
}

std::uint64_t AvailableBytes() noexcept {
  std::FILE* f = std::fopen("/proc/meminfo", "re");
  if (!f) return 0;
  char line[128];
  std::uint64_t kb = 0;
  while (std::fgets(line, sizeof line, f)) {
    unsigned long long v = 0;
    if (std::sscanf(line, "MemAvailable: %llu kB", &v) == 1) {
      kb = v;
      break;
    }
  }
  std::fclose(f);
  return kb * 1024;
}

std::uint64_t AddressSpaceUsed() noexcept {
  char line[128];
  if (!ReadLine("/proc/self/statm", line, sizeof line)) return 0;
  const long size = sysconf(_SC_PAGESIZE);
  return std::strtoull(line, nullptr, 10) * std::uint64_t(size > 0 ? size : 4096);
}

// The limit of the memory cgroup the process belongs to: cgroup v2's
// memory.max, or v1's memory.limit_in_bytes. A container sees its own group
// at the root of the mount, so the root is tried too.
std::uint64_t GroupLimitOf() {
  std::FILE* f = std::fopen("/proc/self/cgroup", "re");
  if (!f) return 0;
  std::string v2, v1;
  char line[512];
  while (std::fgets(line, sizeof line, f)) {
    std::string s(line);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    const auto a = s.find(':'), b = a == std::string::npos ? a : s.find(':', a + 1);
    if (b == std::string::npos) continue;
    const std::string controllers = s.substr(a + 1, b - a - 1), path = s.substr(b + 1);
    if (s.compare(0, a, "0") == 0 && controllers.empty()) v2 = path;
    if (("," + controllers + ",").find(",memory,") != std::string::npos) v1 = path;
  }
  std::fclose(f);
  std::uint64_t limit = 0;
  auto take = [&limit](std::uint64_t v) {
    if (v && (!limit || v < limit)) limit = v;
  };
  if (!v1.empty()) {
    take(GroupValue("/sys/fs/cgroup/memory" + v1 + "/memory.limit_in_bytes"));
    take(GroupValue("/sys/fs/cgroup/memory/memory.limit_in_bytes"));
  }
  if (!v2.empty()) {
    take(GroupValue("/sys/fs/cgroup" + (v2 == "/" ? std::string() : v2) + "/memory.max"));
    take(GroupValue("/sys/fs/cgroup/memory.max"));
  }
  return limit;
}

std::uint64_t GroupLimit() noexcept {
  try {
    return GroupLimitOf();
  } catch (...) {
    return 0;
  }
}
}  // namespace

TMemoryFigures CurrentFigures() noexcept {
  {
    const std::lock_guard<std::mutex> lock(g_setLock);
    if (g_set) {
      TMemoryFigures f = g_setFigures;
      const std::uint64_t held = g_held.load(), taken = held > g_heldAtSet ? held - g_heldAtSet : 0;
      if (f.Available) f.Available = f.Available > taken ? f.Available - taken : 1;
      if (f.AddressLimit) f.AddressUsed += taken;
      return f;
    }
  }
  TMemoryFigures f;
  f.Physical = PhysicalBytes();
  f.Available = AvailableBytes();
  struct rlimit r {};
  if (getrlimit(RLIMIT_AS, &r) == 0 && r.rlim_cur != RLIM_INFINITY) {
    f.AddressLimit = std::uint64_t(r.rlim_cur);
    f.AddressUsed = AddressSpaceUsed();
  }
  f.GroupLimit = GroupLimit();
  return f;
}

std::uint64_t LimitFrom(const TMemoryFigures& Figures) noexcept {
  std::uint64_t limit = 0;
  bool known = false;
  auto take = [&](std::uint64_t v) {
    if (!known || v < limit) limit = v;
    known = true;
  };
  if (Figures.Physical) take(Figures.Physical);
  if (Figures.Available) take(Figures.Available);
  if (Figures.AddressLimit)
    take(Figures.AddressLimit > Figures.AddressUsed ? Figures.AddressLimit - Figures.AddressUsed : 0);
  if (Figures.GroupLimit) take(Figures.GroupLimit);
  return known ? limit : std::uint64_t(1) << 34;  // 16 GiB if unknown
}

std::uint64_t ImageLimitFrom(const TMemoryFigures& Figures) noexcept {
  const std::uint64_t limit = LimitFrom(Figures);
  return limit > InterfaceReserve ? limit - InterfaceReserve : 0;
}

std::uint64_t Limit() noexcept {
  std::uint64_t l = g_limit.load();
  return l ? l : ImageLimitFrom(CurrentFigures());
}

void SetLimit(std::uint64_t Bytes) noexcept { g_limit.store(Bytes); }

void SetFigures(const TMemoryFigures& Figures) noexcept {
  const std::lock_guard<std::mutex> lock(g_setLock);
  g_set = true;
  g_setFigures = Figures;
  g_heldAtSet = g_held.load();
}

void ClearFigures() noexcept {
  const std::lock_guard<std::mutex> lock(g_setLock);
  g_set = false;
}

void SetAdmissionHook(void (*Hook)(TAdmissionStep)) noexcept { g_admissionHook.store(Hook); }

void ShareAllocatorArenas() noexcept {
  struct rlimit r {};
  if (getrlimit(RLIMIT_AS, &r) == 0 && r.rlim_cur != RLIM_INFINITY) mallopt(M_ARENA_MAX, 1);
}

bool CheckedBytes(std::int64_t Count, std::size_t ElemSize, std::size_t& Bytes) noexcept {
  if (Count < 0) return false;
  unsigned __int128 total = (unsigned __int128)(std::uint64_t)Count * ElemSize;
  if (total > Limit()) return false;
  Bytes = std::size_t(total);
  return true;
}

void* Allocate(std::size_t Bytes) noexcept {
  // One admission at a time, so that each sees what the one before took:
  // blocks of a series are allocated on several threads at once.
  static std::mutex admitting;
  std::unique_lock<std::mutex> lock(admitting, std::try_to_lock);
  if (!lock.owns_lock()) {
    Tell(TAdmissionStep::Waiting);
    lock.lock();
  }
  if (Bytes == 0 || Bytes > Limit()) return nullptr;
  Tell(TAdmissionStep::Admitted);
  void* p = mmap(nullptr, Bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  g_held += Bytes;
  // Huge pages make the first touch of a large plane several times cheaper;
  // where the kernel has none this is a hint it ignores.
  if (Bytes >= (std::size_t(4) << 20)) madvise(p, Bytes, MADV_HUGEPAGE);
  return p;
}

void Release(void* Block, std::size_t Bytes) noexcept {
  if (Block && Bytes && munmap(Block, Bytes) == 0) g_held -= Bytes;
}

}  // namespace PageMemory
