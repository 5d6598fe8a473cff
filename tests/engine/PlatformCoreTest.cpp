// Page memory and the thread splitter the engine stands on.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

#include "engine/Parallel.h"
#include "platform/PageMemory.h"

TEST(PageMemory, ZeroFilledAndReleased) {
  const std::size_t bytes = 3 * 4096 + 5;
  auto* p = static_cast<unsigned char*>(PageMemory::Allocate(bytes));
  ASSERT_NE(p, nullptr);
  for (std::size_t i = 0; i < bytes; ++i) ASSERT_EQ(p[i], 0);
  p[bytes - 1] = 1;
  PageMemory::Release(p, bytes);
  PageMemory::Release(nullptr, 10);  // ignored
  EXPECT_EQ(PageMemory::Allocate(0), nullptr);
}

TEST(PageMemory, SizesAreCheckedIn64Bits) {
  std::size_t bytes = 0;
  EXPECT_TRUE(PageMemory::CheckedBytes(1000, 8, bytes));
  EXPECT_EQ(bytes, 8000u);
  EXPECT_FALSE(PageMemory::CheckedBytes(-1, 4, bytes));
  EXPECT_FALSE(PageMemory::CheckedBytes(INT64_MAX, 8, bytes));
  PageMemory::SetLimit(1 << 20);
  EXPECT_FALSE(PageMemory::CheckedBytes((1 << 18) + 1, 4, bytes));
  EXPECT_TRUE(PageMemory::CheckedBytes(1 << 18, 4, bytes));
  EXPECT_EQ(PageMemory::Allocate((1 << 20) + 1), nullptr);
  PageMemory::SetLimit(0);
  EXPECT_GT(PageMemory::Limit(), std::uint64_t(1) << 20);
}

TEST(Parallel, CoversEveryIndexOnce) {
  for (std::int64_t n : {0, 1, 63, 64, 1000, 100003}) {
    std::vector<std::atomic<int>> hits(std::size_t(n > 0 ? n : 1));
    Parallel::For(n, [&](std::int64_t b, std::int64_t e) {
      for (std::int64_t i = b; i < e; ++i) hits[std::size_t(i)]++;
    }, 1);
    for (std::int64_t i = 0; i < n; ++i) ASSERT_EQ(hits[std::size_t(i)].load(), 1) << n << " " << i;
  }
}

TEST(Parallel, RethrowsWorkerFailureAfterJoin) {
  // Set here rather than taken from CORVELLE_THREADS: one thread runs one
  // part, and the failing part must exist under every setting.
  for (int threads : {1, 2, 0}) {
    Parallel::SetThreads(threads);
    for (bool first : {true, false}) {
      std::atomic<int> done{0};
      EXPECT_THROW(Parallel::For(1000, [&](std::int64_t b, std::int64_t e) {
        done += int(e - b);
        if (first ? b == 0 : e == 1000) throw std::runtime_error("worker");
      }, 1), std::runtime_error) << threads << " threads";
      EXPECT_EQ(done.load(), 1000) << threads << " threads, failing part first " << first;
    }
  }
  Parallel::SetThreads(0);
}
