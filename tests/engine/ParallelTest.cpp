// The thread pool: the same results for every number of threads, also when the
// system refuses to start threads, and failures of parts reach the caller.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <cstring>
#include <random>
#include <stdexcept>
#include <thread>
#include <vector>

#include "engine/DataImage.h"
#include "engine/Parallel.h"
#include "engine/Processing.h"
#include "ImageTestHelpers.h"

namespace {

// Thread settings the results are compared across: 1 thread is the reference.
struct TThreads {
  const char* Name;
  int Count;  // 0: every core
  int StartLimit;  // pool threads the system gives, -1: as many as asked
};

const TThreads kSettings[] = {
    {"one", 1, -1},
    {"two", 2, -1},
    {"all", 0, -1},
    {"eight", 8, -1},
    {"eight, no thread can start", 8, 0},
    {"eight, the system stops after two", 8, 2},
};

struct TSettingScope {
  explicit TSettingScope(const TThreads& t) {
    Parallel::SimulateThreadLimit(t.StartLimit);
    Parallel::SetThreads(t.Count);
  }
  ~TSettingScope() {
    Parallel::SimulateThreadLimit(-1);
    Parallel::SetThreads(0);
  }
};

void RandomGrey(TDataImage& img, int w, int h, unsigned seed) {
  ASSERT_TRUE(img.Allocate(w, h, 3, false));
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> d(-50.0f, 70000.0f);
  for (std::int64_t i = 0; i < img.PixelCount(); ++i) img.Pixels[i] = d(rng);
}

// Everything observable after a few routines that split their work.
struct TOutcome {
  std::vector<int> Hits;
  float White = 0, Black = 0;
  std::vector<std::uint8_t> Picture;
  std::vector<float> Median, Spectrum;
  bool TransformOk = false;
  bool Thrown = false;
  std::int64_t PartsRun = 0;
};

TOutcome RunAll(int w, int h) {
  TOutcome o;
  const std::int64_t n = std::int64_t(w) * h;
  o.Hits.assign(std::size_t(n), 0);
  Parallel::For(n, [&](std::int64_t b, std::int64_t e) {
    for (std::int64_t i = b; i < e; ++i) o.Hits[std::size_t(i)]++;
  }, 1);

  TDataImage img;
  RandomGrey(img, w, h, unsigned(w * 31 + h));
  img.AutoScale();
  o.White = img.WhitePoint;
  o.Black = img.BlackPoint;
  img.BlackPoint = 1000.0f;
  img.WhitePoint = 52000.0f;
  img.UpdateBitmap();
  o.Picture.assign(img.Bitmap.Bits, img.Bitmap.Bits + img.Bitmap.ImageBytes);

  TDataImage med;
  ImgTest::ErrorRecorder errors;
  EXPECT_TRUE(med.Allocate(w, h, 3, false));
  MedianFilter(3, med, img);
  EXPECT_EQ(errors.Take(), 0);
  o.Median.assign(med.Pixels, med.Pixels + med.PixelCount());

  TDataImage sq;
  const int side = 64;
  RandomGrey(sq, side, side * 2, 7);
  if (sq.AllocateComplex(side, side * 2)) {
    o.TransformOk = sq.FFT();
    const float* f = reinterpret_cast<const float*>(sq.ComplexPlane);
    o.Spectrum.assign(f, f + 2 * sq.ComplexCount());
  }

  std::atomic<std::int64_t> parts{0};
  try {
    Parallel::For(1000, [&](std::int64_t, std::int64_t e) {
      ++parts;
      if (e == 1000) throw std::runtime_error("part");
    }, 1);
  } catch (const std::runtime_error&) {
    o.Thrown = true;
  }
  o.PartsRun = parts;
  return o;
}

TEST(ParallelPool, SameResultsForEveryThreadCountAndRefusedThreads) {
  for (auto [w, h] : {std::pair{1, 1}, {7, 5}, {129, 67}, {300, 301}}) {
    TOutcome ref;
    {
      TSettingScope s(kSettings[0]);
      ref = RunAll(w, h);
    }
    for (int i = 0; i < int(std::size(kSettings)); ++i) {
      SCOPED_TRACE(std::string(kSettings[i].Name) + " " + std::to_string(w) + "x" + std::to_string(h));
      TSettingScope s(kSettings[i]);
      const TOutcome o = RunAll(w, h);
      for (int hit : o.Hits) ASSERT_EQ(hit, 1);
      EXPECT_EQ(std::memcmp(&o.White, &ref.White, 4), 0);
      EXPECT_EQ(std::memcmp(&o.Black, &ref.Black, 4), 0);
      EXPECT_EQ(o.Picture, ref.Picture);
      EXPECT_EQ(o.Median.size(), ref.Median.size());
      EXPECT_EQ(std::memcmp(o.Median.data(), ref.Median.data(), o.Median.size() * 4), 0);
      EXPECT_TRUE(o.TransformOk);
      ASSERT_EQ(o.Spectrum.size(), ref.Spectrum.size());
      EXPECT_EQ(std::memcmp(o.Spectrum.data(), ref.Spectrum.data(), o.Spectrum.size() * 4), 0);
      // A failing part stops itself only, and its failure reaches the caller.
      EXPECT_TRUE(o.Thrown);
      const std::int64_t parts = std::min<std::int64_t>(Parallel::Threads(), 1000);
      EXPECT_EQ(o.PartsRun, parts);
    }
  }
}

// A system that refuses a thread is at its limit: the pool keeps none of the
// threads it did get, so that the rest of the program can still start one.
TEST(ParallelPool, ARefusedThreadLeavesThePoolEmpty) {
  auto tasks = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/task"), std::filesystem::directory_iterator());
  };
  const struct {
    int StartLimit;
    long Kept;  // pool threads left once the work is done
  } cases[] = {{-1, 7}, {3, 0}, {0, 0}, {6, 0}};
  // A joined thread may still be listed for a moment while the kernel ends
  // it: counts are read once they settle, and only a count that stays too
  // high or too low is a fault.
  auto settledAt = [&](long Expected) {
    long n = tasks();
    for (int i = 0; i < 500 && n != Expected; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      n = tasks();
    }
    return n;
  };
  Parallel::SimulateThreadLimit(-1);  // no pool thread of an earlier test
  long before = tasks();
  for (long n = -1; n != before;) {
    n = before;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    before = tasks();
  }
  for (const auto& c : cases) {
    SCOPED_TRACE(c.StartLimit);
    TSettingScope scope({"", 8, c.StartLimit});
    std::vector<int> hits(5000, 0);
    Parallel::For(5000, [&](std::int64_t b, std::int64_t e) {
      for (std::int64_t i = b; i < e; ++i) hits[std::size_t(i)]++;
    }, 1);
    EXPECT_EQ(std::count(hits.begin(), hits.end(), 1), 5000);
    EXPECT_EQ(settledAt(before + c.Kept) - before, c.Kept);
  }
}

TEST(ParallelPool, ThreadCountIsSetAndRestored) {
  const int all = Parallel::Threads();
  EXPECT_GE(all, 1);
  Parallel::SetThreads(3);
  EXPECT_EQ(Parallel::Threads(), 3);
  Parallel::SetThreads(0);
  EXPECT_EQ(Parallel::Threads(), all);
}

// A For inside a part, or from two callers at once, runs on its own thread
// and still covers every index once.
TEST(ParallelPool, NestedAndConcurrentCallsCoverEveryIndex) {
  Parallel::SetThreads(4);
  std::vector<std::atomic<int>> hits(64 * 100);
  auto outer = [&](std::int64_t b, std::int64_t e) {
    for (std::int64_t r = b; r < e; ++r) {
      Parallel::For(100, [&](std::int64_t c0, std::int64_t c1) {
        for (std::int64_t c = c0; c < c1; ++c) hits[std::size_t(r * 100 + c)]++;
      }, 1);
    }
  };
  std::thread other([&] { Parallel::For(32, outer, 1); });
  Parallel::For(32, [&](std::int64_t b, std::int64_t e) { outer(b + 32, e + 32); }, 1);
  other.join();
  for (auto& h : hits) ASSERT_EQ(h.load(), 1);
  Parallel::SetThreads(0);
}

}  // namespace
