// What an image may take: the smallest of the memory figures, planes and
// picture counted together, pictures whose rows no bitmap can hold refused,
// and a render buffer that stays whole when a larger one cannot be had.
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <barrier>
#include <condition_variable>
#include <mutex>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <thread>
#include <vector>

#include "engine/DataImage.h"
#include "engine/QVRFastBMP.h"
#include "platform/PageMemory.h"

namespace {
constexpr std::uint64_t GiB = std::uint64_t(1) << 30;
constexpr std::uint64_t MiB = std::uint64_t(1) << 20;

// Sets an injected limit for one scope.
struct TLimit {
  explicit TLimit(std::uint64_t Bytes) { PageMemory::SetLimit(Bytes); }
  ~TLimit() { PageMemory::SetLimit(0); }
};

// The address space this process holds now, read here rather than through
// PageMemory, whose figure stays 0 while no limit is set. The thread pool's
// stacks alone may hold hundreds of megabytes.
[[maybe_unused]] std::uint64_t AddressSpaceInUse() {
  std::FILE* f = std::fopen("/proc/self/statm", "re");
  if (!f) return 0;
  unsigned long long pages = 0;
  const bool read = std::fscanf(f, "%llu", &pages) == 1;
  std::fclose(f);
  return read ? pages * std::uint64_t(sysconf(_SC_PAGESIZE)) : 0;
}

// The exit code of Body run in a child process whose address space is limited
// to what it holds now plus Above (the limit would bind the whole test
// program); 100 + the step that failed before Body could run.
[[maybe_unused]] int ExitCodeUnderAddressLimit(std::uint64_t Above,
                                               const std::function<int(std::uint64_t Used, rlim_t Limit)>& Body) {
  const pid_t child = fork();
  if (child < 0) return 101;
  if (child == 0) {
    const std::uint64_t used = AddressSpaceInUse();
    if (used == 0) _exit(102);
    rlimit r{};
    getrlimit(RLIMIT_AS, &r);
    r.rlim_cur = rlim_t(used + Above);
    if (setrlimit(RLIMIT_AS, &r) != 0) _exit(103);
    _exit(Body(used, r.rlim_cur));
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return 104;
  return WEXITSTATUS(status);
}

// 3 * Width rounded up to a multiple of 4, as every 24-bit bitmap row.
std::int64_t RowOf(std::int64_t Width) { return (3 * Width + 3) / 4 * 4; }

// Sets the system's figures for one scope.
struct TFigures {
  explicit TFigures(const PageMemory::TMemoryFigures& F) { PageMemory::SetFigures(F); }
  ~TFigures() { PageMemory::ClearFigures(); }
};
}  // namespace

TEST(MemoryLimits, TheSmallestFigureBounds) {
  using F = PageMemory::TMemoryFigures;
  struct TCase {
    const char* Name;
    F Figures;
    std::uint64_t Limit;
  };
  const TCase cases[] = {
      {"nothing known", F{}, 16 * GiB},
      {"installed only", F{8 * GiB, 0, 0, 0, 0}, 8 * GiB},
      {"available below installed", F{8 * GiB, 3 * GiB, 0, 0, 0}, 3 * GiB},
      {"address space left", F{8 * GiB, 6 * GiB, 2 * GiB, 512 * MiB, 0}, 1536 * MiB},
      {"address space used up", F{8 * GiB, 6 * GiB, 2 * GiB, 3 * GiB, 0}, 0},
      {"cgroup below all", F{8 * GiB, 6 * GiB, 4 * GiB, GiB, GiB}, GiB},
      {"cgroup alone", F{0, 0, 0, 0, 700 * MiB}, 700 * MiB},
      {"address limit alone", F{0, 0, 5 * GiB, GiB, 0}, 4 * GiB},
  };
  for (const TCase& c : cases) EXPECT_EQ(PageMemory::LimitFrom(c.Figures), c.Limit) << c.Name;

  // The figures of this process agree with what the system reports.
  const F now = PageMemory::CurrentFigures();
  EXPECT_EQ(now.Physical, std::uint64_t(sysconf(_SC_PHYS_PAGES)) * std::uint64_t(sysconf(_SC_PAGESIZE)));
  EXPECT_GT(now.Available, 0u);
  EXPECT_LE(now.Available, now.Physical);
  EXPECT_LE(PageMemory::Limit(), now.Physical);
}

TEST(MemoryLimits, PicturesAreSizedInSixtyFourBits) {
  TLimit limit(std::uint64_t(1) << 44);
  struct TCase {
    std::int64_t Width, Height;
    bool Made;
  };
  const TCase cases[] = {
      {5, 3, true},
      {89478484, 2, true},           // the widest row whose bit count fits 32 bits
      {89478485, 1, false},
      {715827883, 1, false},         // 3 x width overflows a 32-bit row size
      {1, INT_MAX, true},            // more than 4 GiB in all
      {30000, 30000, true},
      {-1, 5, false},
      {5, std::int64_t(INT_MAX) + 1, false},
  };
  for (const TCase& c : cases) {
    std::int64_t row = -1;
    std::uint64_t bytes = 0;
    EXPECT_EQ(TFastBMP::PictureBytes(c.Width, c.Height, row, bytes), c.Made) << c.Width << " x " << c.Height;
    if (!c.Made) continue;
    EXPECT_EQ(row, RowOf(c.Width));
    EXPECT_EQ(bytes, std::uint64_t(RowOf(c.Width)) * std::uint64_t(c.Height));
  }
  // Within the limit, or not at all.
  std::int64_t row = 0;
  std::uint64_t bytes = 0;
  PageMemory::SetLimit(MiB);
  EXPECT_TRUE(TFastBMP::PictureBytes(1024, 341, row, bytes));
  EXPECT_FALSE(TFastBMP::PictureBytes(1024, 342, row, bytes));
}

TEST(MemoryLimits, AnImageCountsItsPictureBesideItsPlanes) {
  // 100 x 100: grey plane 40000 bytes, colour plane 30000, picture 30000 (the
  // render buffer and the window's copies of it: three).
  struct TCase {
    std::uint64_t Limit;
    bool Colour;
    bool Allocated;
  };
  const TCase cases[] = {
      {40000 + 3 * 30000, false, true},
      {40000 + 3 * 30000 - 1, false, false},
      {40000 + 30000 + 3 * 30000, true, true},
      {40000 + 30000 + 3 * 30000 - 1, true, false},
      {40000, false, false},  // the planes alone would fit
  };
  for (const TCase& c : cases) {
    TLimit limit(c.Limit);
    TDataImage img;
    EXPECT_EQ(img.Allocate(100, 100, 1, c.Colour), c.Allocated) << c.Limit;
    EXPECT_EQ(img.Pixels != nullptr, c.Allocated) << c.Limit;
    EXPECT_EQ(img.Width, c.Allocated ? 100 : 0);
  }
  // A header's 715827883 x 1 fits no picture, whatever memory there is.
  TLimit huge(std::uint64_t(1) << 44);
  TDataImage wide;
  EXPECT_FALSE(wide.Allocate(715827883, 1, 3, false));
  EXPECT_EQ(wide.Pixels, nullptr);
  EXPECT_EQ(wide.Width, 0);
}

TEST(MemoryLimits, ImagesLeaveTheInterfaceItsReserve) {
  using F = PageMemory::TMemoryFigures;
  constexpr std::uint64_t R = PageMemory::InterfaceReserve;
  static_assert(R > 0 && R < GiB);
  const struct {
    const char* Name;
    F Figures;
    std::uint64_t Limit;
  } limits[] = {
      {"nothing known", F{}, 16 * GiB - R},
      {"available", F{8 * GiB, 3 * GiB, 0, 0, 0}, 3 * GiB - R},
      {"address space left", F{8 * GiB, 6 * GiB, 2 * GiB, 512 * MiB, 0}, 1536 * MiB - R},
      {"less left than the reserve", F{8 * GiB, 6 * GiB, 2 * GiB, 2 * GiB - R + 1, 0}, 0},
      {"address space used up", F{8 * GiB, 6 * GiB, 2 * GiB, 3 * GiB, 0}, 0},
      {"cgroup", F{0, 0, 0, 0, 700 * MiB}, 700 * MiB - R},
  };
  for (const auto& c : limits) EXPECT_EQ(PageMemory::ImageLimitFrom(c.Figures), c.Limit) << c.Name;
  // The same in plain figures, as a machine reports them, and what an image
  // may then take: 64 MiB less than the smallest.
  const struct {
    const char* Name;
    F Figures;
    std::uint64_t Bytes;
  } plain[] = {
      {"8 GiB installed, 3 GiB available", F{8589934592, 3221225472, 0, 0, 0}, 3154116608},
      {"ulimit -v 1000000 kB, 180 MB held", F{8589934592, 6442450944, 1024000000, 180000000, 0}, 776891136},
      {"cgroup of 700 MB", F{16777216000, 12000000000, 0, 0, 700000000}, 632891136},
      {"cgroup one byte above the reserve", F{0, 0, 0, 0, 67108865}, 1},
      {"available 100 MB", F{8589934592, 100000000, 0, 0, 0}, 32891136},
  };
  for (const auto& c : plain) {
    EXPECT_EQ(PageMemory::ImageLimitFrom(c.Figures), c.Bytes) << c.Name;
    TFigures figures(c.Figures);
    EXPECT_EQ(PageMemory::Limit(), c.Bytes) << c.Name;
  }

  // 301 x 203 grey: planes 244412 bytes, a picture 183512 (rows of 904).
  // Displayed, it needs its planes and three pictures beside the reserve.
  constexpr std::uint64_t Needs = 301 * 203 * 4 + 3 * 904 * 203;
  const struct {
    const char* Name;
    F Figures;
    bool Allocated;
  } images[] = {
      {"available: just enough", F{0, R + Needs, 0, 0, 0}, true},
      {"available: one byte short", F{0, R + Needs - 1, 0, 0, 0}, false},
      {"available: the image fits, the reserve does not", F{0, Needs + R / 2, 0, 0, 0}, false},
      {"address space: just enough", F{0, 0, 4 * GiB, 4 * GiB - R - Needs, 0}, true},
      {"address space: one byte short", F{0, 0, 4 * GiB, 4 * GiB - R - Needs + 1, 0}, false},
      {"cgroup: one byte short", F{0, 0, 0, 0, R + Needs - 1}, false},
  };
  for (const auto& c : images) {
    TFigures figures(c.Figures);
    TDataImage img;
    EXPECT_EQ(img.Allocate(301, 203, 1, false), c.Allocated) << c.Name;
    EXPECT_EQ(img.Pixels != nullptr, c.Allocated) << c.Name;
  }
  // Planes taken count against what is left (the pictures are not taken
  // yet): the second of two images that each fit alone is refused.
  TFigures figures(F{0, R + 301 * 203 * 4 + Needs - 1, 0, 0, 0});
  TDataImage first, second;
  EXPECT_TRUE(first.Allocate(301, 203, 1, false));
  EXPECT_FALSE(second.Allocate(301, 203, 1, false));
  first.FreeData();
  EXPECT_TRUE(second.Allocate(301, 203, 1, false));
}

// Two admissions at once: the second sees what the first took. The first,
// once admitted, is held until the second is seen waiting for its turn or
// admitted itself, so that admissions which are not one at a time let both
// in every time, whatever the machine's speed.
namespace {
struct TTwoAdmissions {
  std::mutex Lock;
  std::condition_variable Changed;
  int Admitted = 0;
  bool SecondStarted = false, SecondSeen = false;

  static TTwoAdmissions& Now() {
    static TTwoAdmissions state;
    return state;
  }
  static void Hook(PageMemory::TAdmissionStep Step) {
    TTwoAdmissions& s = Now();
    std::unique_lock<std::mutex> lock(s.Lock);
    if (Step == PageMemory::TAdmissionStep::Admitted && s.Admitted++ == 0) {
      s.SecondStarted = true;
      s.Changed.notify_all();
      s.Changed.wait(lock, [&s] { return s.SecondSeen; });
      return;
    }
    s.SecondSeen = true;
    s.Changed.notify_all();
  }
};
}  // namespace

TEST(MemoryLimits, AdmissionsAreOneAtATime) {
  constexpr std::uint64_t R = PageMemory::InterfaceReserve;
  constexpr std::size_t First = 1000 * 4096 + 4096 * 7, Room = 1700 * 4096;
  const struct {
    std::size_t Second;
    bool Admitted;
  } cases[] = {{Room - First, true}, {Room - First + 1, false}, {First, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Second);
    TTwoAdmissions& s = TTwoAdmissions::Now();
    s.Admitted = 0;
    s.SecondStarted = s.SecondSeen = false;
    TFigures figures(PageMemory::TMemoryFigures{0, R + Room, 0, 0, 0});
    PageMemory::SetAdmissionHook(&TTwoAdmissions::Hook);
    void* second = nullptr;
    std::thread other([&] {
      {
        std::unique_lock<std::mutex> lock(s.Lock);
        s.Changed.wait(lock, [&s] { return s.SecondStarted; });
      }
      second = PageMemory::Allocate(c.Second);
      const std::lock_guard<std::mutex> lock(s.Lock);
      s.SecondSeen = true;
      s.Changed.notify_all();
    });
    void* first = PageMemory::Allocate(First);
    other.join();
    PageMemory::SetAdmissionHook(nullptr);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(second != nullptr, c.Admitted);
    PageMemory::Release(first, First);
    PageMemory::Release(second, c.Second);
  }
}

TEST(MemoryLimits, AnImageNeverDisplayedNeedsRoomForItsPlanesAlone) {
  // 301 x 203: grey plane 244412 bytes, colour plane 183309; a picture of
  // 183512 bytes is counted only for an image that is displayed.
  using U = TDataImage::TUse;
  constexpr std::uint64_t Grey = 301 * 203 * 4, Colour = 301 * 203 * 3, Picture = 904 * 203;
  const struct {
    std::uint64_t Limit;
    bool Colour;
    U Use;
    bool Allocated;
  } cases[] = {
      {Grey, false, U::PlanesOnly, true},
      {Grey - 1, false, U::PlanesOnly, false},
      {Grey + Colour, true, U::PlanesOnly, true},
      {Grey + Colour - 1, true, U::PlanesOnly, false},
      {Grey + 3 * Picture - 1, false, U::Displayed, false},
      {Grey + 3 * Picture, false, U::Displayed, true},
  };
  for (const auto& c : cases) {
    TLimit limit(c.Limit);
    TDataImage img;
    EXPECT_EQ(img.Allocate(301, 203, 3, c.Colour, c.Use), c.Allocated) << c.Limit;
    EXPECT_EQ(img.HasPlanes(), c.Allocated) << c.Limit;
    EXPECT_EQ(img.Width, c.Allocated ? 301 : 0) << c.Limit;
  }
  // Under the system's figures the reserve still holds.
  constexpr std::uint64_t R = PageMemory::InterfaceReserve;
  for (const auto& [room, allocated] : {std::pair{R + Grey, true}, {R + Grey - 1, false}}) {
    TFigures figures(PageMemory::TMemoryFigures{0, room, 0, 0, 0});
    TDataImage img;
    EXPECT_EQ(img.Allocate(301, 203, 3, false, U::PlanesOnly), allocated) << room;
  }
}

TEST(MemoryLimits, AFailedResizeKeepsAWholeBuffer) {
  TFastBMP bmp;
  bmp.SetSize(5, 3);
  for (std::size_t i = 0; i < bmp.ImageBytes; ++i) bmp.Bits[i] = std::uint8_t(i);
  const std::uint8_t* bits = bmp.Bits;
  {
    TLimit limit(MiB);
    EXPECT_THROW(bmp.SetSize(2000, 2000), std::bad_alloc);
  }
  // Sides, row table and contents as they were: a render into it stays inside.
  EXPECT_EQ(bmp.Width, 5);
  EXPECT_EQ(bmp.Height, 3);
  EXPECT_EQ(bmp.RowBytes, 16);
  EXPECT_EQ(bmp.ImageBytes, 48u);
  EXPECT_EQ(bmp.BitmapInfo.biWidth, 5);
  EXPECT_EQ(bmp.BitmapInfo.biHeight, 3);
  EXPECT_EQ(bmp.Bits, bits);
  ASSERT_EQ(bmp.Rows.size(), 3u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(bmp.Rows[std::size_t(i)], bmp.Bits + 16 * i);
  for (std::size_t i = 0; i < bmp.ImageBytes; ++i) ASSERT_EQ(bmp.Bits[i], std::uint8_t(i));

  // The same through the render: an image whose picture cannot be had throws,
  // the last picture stays whole, and the next render that can be had works.
  TDataImage img;
  ASSERT_TRUE(img.Allocate(4, 2, 0, false));
  img.WhitePoint = 255.0f;
  for (int x = 0; x < 4; ++x) img.SetPixel(x, 0, 255.0f);
  img.UpdateBitmap();
  ASSERT_TRUE(img.Allocate(3000, 3000, 0, false));
  {
    TLimit limit(8 * MiB);
    EXPECT_THROW(img.UpdateBitmap(), std::bad_alloc);
  }
  EXPECT_EQ(img.Bitmap.Width, 4);
  EXPECT_EQ(img.Bitmap.Height, 2);
  EXPECT_EQ(img.Bitmap.TopRow(0)[0], 255);
  EXPECT_EQ(img.Bitmap.TopRow(1)[0], 0);
  img.UpdateBitmap();
  EXPECT_EQ(img.Bitmap.Width, 3000);
  EXPECT_EQ(img.Bitmap.Height, 3000);
}

TEST(MemoryLimits, UnderARealAddressSpaceLimit) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer reserves terabytes of shadow memory, so no address-space limit can be set; "
                  "MemoryLimits.TheSmallestFigureBounds checks the same computation";
#else
  const auto body = [](std::uint64_t Used, rlim_t Limit) {
    const PageMemory::TMemoryFigures f = PageMemory::CurrentFigures();
    if (f.AddressLimit != Limit || f.AddressUsed < Used) return 11;
    const std::uint64_t limit = PageMemory::Limit();
    if (limit > 256 * MiB || limit < 128 * MiB) return 12;
    // 400 MB of planes and 900 MB of pictures: refused at once.
    TDataImage img;
    if (img.Allocate(10000, 10000, 3, false) || img.Pixels) return 13;
    // A small one still fits and renders.
    if (!img.Allocate(100, 100, 3, false)) return 14;
    img.UpdateBitmap();
    // A picture larger than what is left cannot be had, and says so.
    TFastBMP bmp;
    bmp.SetSize(10, 10);
    try {
      bmp.SetSize(20000, 20000);
      return 15;
    } catch (const std::bad_alloc&) {
    }
    if (bmp.Width != 10 || bmp.Height != 10 || bmp.Rows.size() != 10) return 16;
    return 0;
  };
  EXPECT_EQ(ExitCodeUnderAddressLimit(PageMemory::InterfaceReserve + 256 * MiB, body), 0);
#endif
}

TEST(MemoryLimits, ThreadsTakeNoAddressSpaceOfTheirOwnUnderALimit) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer has its own allocator and no address-space limit can be set";
#else
  // Six threads that each allocate would take an arena of 64 MB apiece;
  // sharing the main one, they take little more than their stacks.
  const auto body = [](std::uint64_t Used, rlim_t) {
    pthread_attr_t attr;
    std::size_t stack = 8 * MiB;
    if (pthread_getattr_default_np(&attr) == 0) {
      pthread_attr_getstacksize(&attr, &stack);
      pthread_attr_destroy(&attr);
    }
    PageMemory::ShareAllocatorArenas();
    constexpr int N = 6;
    std::barrier started(N + 1), done(N + 1);
    std::vector<std::thread> threads;
    for (int i = 0; i < N; ++i)
      threads.emplace_back([&] {
        void* volatile p = std::malloc(100);
        started.arrive_and_wait();
        done.arrive_and_wait();
        std::free(p);
      });
    started.arrive_and_wait();
    const std::uint64_t grown = AddressSpaceInUse() - Used;
    done.arrive_and_wait();
    for (auto& t : threads) t.join();
    return grown < N * stack + 32 * MiB ? 0 : 11;
  };
  EXPECT_EQ(ExitCodeUnderAddressLimit(2 * GiB, body), 0);
#endif
}
