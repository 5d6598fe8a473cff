// The mean filter and the 3 x 3 kernels by their fast paths against the plain
// extended-precision algorithms, bit for bit, on both vector paths.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "VectorPaths.h"
#include "engine/FilterPaths.h"
#include "engine/FilterSums.h"
#include "engine/Parallel.h"
#include "engine/Processing.h"
#include "engine/Processor.h"

namespace {

using TPlane = std::vector<float>;

float Wide(std::mt19937& rng, float lo, float hi) {
  const float m = std::uniform_real_distribution<float>(0.5f, 1.0f)(rng);
  return m * std::pow(10.0f, std::uniform_real_distribution<float>(lo, hi)(rng));
}

// One row of a kind of data; every kind takes another way through the sums.
void FillRow(float* r, int w, int kind, std::mt19937& rng) {
  for (int x = 0; x < w; ++x) {
    float& v = r[x];
    switch (kind) {
      case 0:  // 16-bit whole numbers with both ends of the range: exact in Singles
        v = float(rng() % 4 == 0 ? (rng() % 2 ? 0 : 65535) : rng() % 65536);
        break;
      case 1:  // fractions over the 16-bit range: exact in doubles
        v = std::uniform_real_distribution<float>(0.0f, 65535.0f)(rng);
        break;
      case 2:  // eight decades, some negative: exact only split in two
        v = Wide(rng, -4.0f, 4.0f) * (rng() % 5 == 0 ? -1.0f : 1.0f);
        break;
      case 3:  // ten decades and a value of 1e-30: no exact way, the plain one
        v = x == w / 2 ? 1e-30f : Wide(rng, -6.0f, 4.0f);
        break;
      case 4:  // subnormal values beside larger ones: quotients below the normal Singles
        v = std::ldexp(std::uniform_real_distribution<float>(0.5f, 1.0f)(rng),
                       -int(x < w / 2 ? 126 + rng() % 14 : 96 + rng() % 20));
        break;
      case 5:  // whole numbers of both signs below 2^21: the sums of nine need 25 bits
        v = float(int(rng() % (1u << 22)) - (1 << 21));
        break;
      default:  // an infinity in the row
        v = x == w / 3 ? INFINITY : float(rng() % 100);
        break;
    }
  }
}

TPlane Plane(int w, int h, int kind, std::uint32_t seed) {
  std::mt19937 rng(seed);
  TPlane p(std::size_t(w) * h);
  // Kind 7: bands of every other kind, so that the sums change their way often.
  int bandKind = kind, left = h;
  for (int y = 0; y < h; ++y) {
    if (kind == 7 && --left <= 0) {
      bandKind = int(rng() % 7);
      left = 1 + int(rng() % 9);
    }
    FillRow(p.data() + std::size_t(y) * w, w, bandKind, rng);
  }
  return p;
}

// Windows whose exact sums lie just off a halfway point between Singles while
// their doubles fall on it: the sharpening sum 5 * 16777215 - 2^-36 + 1, and
// the 3 x 3 mean of 9 * 2^24, 9 and 2^-30. Each fast path must give way there.
TPlane NearHalves(int w, int h) {
  TPlane p(std::size_t(w) * h, 0.0f);
  for (int y = 1; y + 3 < h; y += 5)
    for (int x = 1; x + 5 < w; x += 7) {
      p[std::size_t(y) * w + x] = 16777215.0f;
      p[std::size_t(y) * w + x - 1] = std::ldexp(1.0f, -36);
      p[std::size_t(y + 1) * w + x] = -1.0f;
      float* m = &p[std::size_t(y + 2) * w + x + 3];
      m[0] = 150994944.0f;
      m[1] = 9.0f;
      m[2] = std::ldexp(1.0f, -30);
    }
  return p;
}

// Planes for the white level found on the way (Kind -2 .. -5): the largest
// value in the last row, beside a NaN; magnitudes up to the largest Single,
// whose sharpened sums leave the Singles; nothing above zero (-0); the
// largest value with a NaN after it in the same lane and smaller ones after
// that (a NaN that the search kept would lose the largest).
TPlane Extremes(int w, int h, int kind, std::uint32_t seed) {
  std::mt19937 rng(seed);
  TPlane p = Plane(w, h, 1, seed);
  for (float& v : p) {
    if (kind == -3) v = std::uniform_real_distribution<float>(-1.0f, 3.4f)(rng) * 1e38f;
    if (kind == -4) v = rng() % 3 == 0 ? -0.0f : -v;
  }
  if (kind == -2) p[std::size_t(h - 1) * w + w - 2] = 1e6f;
  if (kind == -5) {
    p[std::size_t(h / 2) * w] = 2e6f;
    p[std::size_t(h / 2) * w + 8] = NAN;
  }
  p[std::size_t(h / 2) * w + w / 8 * 8 - 1] = NAN;  // last in its vector: nothing after it to win
  return p;
}

void ExpectSame(const TPlane& a, const TPlane& b, int w, const std::string& what) {
  ASSERT_EQ(a.size(), b.size());
  for (std::size_t i = 0; i < a.size(); ++i)
    ASSERT_TRUE(testsupport::SameBits(a[i], b[i]))
        << what << " at (" << i % w << ", " << i / w << "): " << a[i] << " vs " << b[i];
}

}  // namespace

// Each kind of data on each vector path, at 1, 2 and all threads, with rows
// written through the caches and past them, on sides that leave no room for
// a vector (14; 9, too narrow to find the white level on the way), one group
// and a tail (15, 17), and several groups with odd
// tails (77: every row starts at another place in a cache line); the border
// must keep the destination's values. The AVX2 path takes every row, exact
// or plain, itself.
TEST(WindowSumPaths, MeanAndKernelsMatchThePlainSumsBitForBit) {
  struct TCase {
    const char* Name;
    int Kind;  // -1: near halves; -2 .. -4: Extremes
    float White;
  };
  const TCase cases[] = {{"16-bit", 0, 65535.0f},        {"fractions", 1, 65535.0f}, {"eight decades", 2, 5000.0f},
                         {"ten decades", 3, 1e4f},        {"subnormal", 4, 1e-30f},   {"21 bits", 5, 3e6f},
                         {"infinity", 6, 50.0f},           {"bands of each", 7, 30000.0f}, {"near halves", -1, 1e9f},
                         {"largest in the last row", -2, 1e5f}, {"beyond the Singles", -3, 3e38f},
                         {"nothing above zero", -4, 0.0f}, {"NaN after the largest", -5, 2e6f}};
  const int widths[] = {9, 14, 15, 17, 23, 77};
  const int heights[] = {9, 47};
  std::vector<FilterPaths::TKernel3> kernels(std::begin(FilterPaths::kFixedKernels),
                                             std::end(FilterPaths::kFixedKernels));
  kernels.push_back({{3, -7, 2, 0, 11, -1, 4, 0, -6}, 7});  // not fixed kernels; the second
  kernels.push_back({{1, 2, 0, -1, 3, 1, 0, 2, 1}, 246});   // can land on halfway points
  const int all = (Parallel::SetThreads(0), Parallel::Threads());
  std::uint32_t seed = 1;
  for (const auto& path : testsupport::kVectorPaths)
    for (const TCase& c : cases)
      for (int w : widths)
        for (int h : heights) {
          const TPlane src = c.Kind == -1 ? NearHalves(w, h) : c.Kind < 0 ? Extremes(w, h, c.Kind, seed++)
                                                                           : Plane(w, h, c.Kind, seed++);
          // The white level of a floating-point image: its largest value, from +0.
          float most = 0.0f;
          for (float v : src) most = most < v ? v : most;
          for (int threads : {1, 2, all})
            for (bool stream : {false, true}) {
              const std::string where = std::string(path.Name) + ", " + c.Name + ", " + std::to_string(w) + " x " +
                                        std::to_string(h) + ", " + std::to_string(threads) + " threads, " +
                                        (stream ? "streamed, " : "");
              testsupport::TVectorPathScope scope(path);
              Parallel::SetThreads(threads);
              FilterSums::StreamPlanesFrom(stream ? 1 : 0);
              for (std::size_t k = 0; k < kernels.size(); ++k) {
                TPlane fast(src.size(), -1.0f), plain(src.size(), -1.0f);
                const bool ok = FilterPaths::Convolve3x3Fast(kernels[k], src.data(), fast.data(), w, h, c.White);
                FilterPaths::Convolve3x3Plain(kernels[k], src.data(), plain.data(), w, h, c.White);
                ASSERT_TRUE(ok || !Processor::AVX2()) << where << "kernel " << k + 1;
                if (ok) ExpectSame(fast, plain, w, where + "kernel " + std::to_string(k + 1));
                // With the white level found in the pass that judges the rows.
                TPlane atMax(src.size(), -1.0f), plainAtMax(src.size(), -1.0f);
                float white = -1.0f;
                const bool found = FilterPaths::Convolve3x3FastAtMax(kernels[k], src.data(), atMax.data(), w, h, white);
                ASSERT_EQ(found, Processor::AVX2() && w >= 10) << where << "kernel " << k + 1;
                if (!found) continue;
                ASSERT_TRUE(testsupport::SameBits(white, most)) << where << "kernel " << k + 1 << ": " << white;
                FilterPaths::Convolve3x3Plain(kernels[k], src.data(), plainAtMax.data(), w, h, most);
                ExpectSame(atMax, plainAtMax, w, where + "kernel " + std::to_string(k + 1) + " at the maximum");
              }
              {  // The routine leaves the source's maximum set, as finding the white level did.
                TDataImage in, out;
                in.Allocate(w, h, 3, false);
                out.Allocate(w, h, 3, false);
                std::copy(src.begin(), src.end(), in.Pixels);
                std::fill(out.Pixels, out.Pixels + out.PixelCount(), -1.0f);
                in.MaxValue = -2.0f;
                Filter3x3(1, out, in);
                TPlane plain(src.size(), -1.0f);
                FilterPaths::Convolve3x3Plain(FilterPaths::kFixedKernels[0], src.data(), plain.data(), w, h, most);
                ASSERT_TRUE(testsupport::SameBits(in.MaxValue, most)) << where << in.MaxValue;
                ExpectSame(TPlane(out.Pixels, out.Pixels + out.PixelCount()), plain, w, where + "Filter3x3");
              }
              for (int n : {3, 5, 7}) {
                TPlane fast(src.size(), -1.0f), plain(src.size(), -1.0f);
                const bool ok = FilterPaths::MeanFast(n, src.data(), fast.data(), w, h);
                FilterPaths::MeanPlain(n, src.data(), plain.data(), w, h);
                ASSERT_TRUE(ok || !Processor::AVX2()) << where << "mean " << n;
                if (ok) ExpectSame(fast, plain, w, where + "mean " + std::to_string(n));
              }
            }
          Parallel::SetThreads(0);
          FilterSums::StreamPlanesFrom(0);
        }
}

namespace {

// Random Singles in [Low, High), each with a random mantissa.
TPlane Uniform(int w, int h, double Low, double High, std::uint32_t Seed) {
  std::mt19937 rng(Seed);
  std::uniform_real_distribution<double> u(Low, High);
  TPlane p(std::size_t(w) * h);
  for (float& v : p) v = float(u(rng));
  return p;
}

// Rows of values in [2^19, 2^20) with one of 2^-5 each: 54 bits for the
// sums of a 5 x 5 or 7 x 7 window, which split them at 2^11.
void CoarseRow(float* r, int w, int y, std::mt19937& rng) {
  std::uniform_real_distribution<double> u(524288.0, 1048576.0);
  for (int x = 0; x < w; ++x) r[x] = float(u(rng));
  r[(y * 5) % w] = 0.03125f;
}

}  // namespace

// Windows whose sums lie at the ends of what each way of summing holds
// exactly, bit for bit against the plain sums at 1 and all threads: sums of
// 25 bits (one more than a Single's); columns split at 2^11 for one band of
// rows that meet values 2^10 larger, whose Single parts then need 2^11 more
// (the split must move up) or values finer by 2^10, whose parts near the
// split point (1000 of 2048) need 54 bits in doubles where a big negative
// value in every window takes the coarse parts back to 0 (the split must move
// down); and values spanning 64 and 65 bits (the plain way from 65 on).
TEST(WindowSumPaths, MeanWindowsAtTheEndsOfTheirExactSums) {
  const int W = 41, H = 61;
  const float tiny = std::ldexp(1.0f + std::ldexp(1.0f, -23), -15);  // 2^-15 + 2^-38
  auto lattice = [&](int N) {
    // Band 1 (rows 0..13) coarse; then every N x N window holds one value
    // -(N^2 - 2) x 1000, one of 2^-15 + 2^-38 and 1000 elsewhere: its sum is
    // the tiny value.
    std::mt19937 rng(7);
    TPlane p(std::size_t(W) * H);
    for (int y = 0; y < H; ++y) {
      float* r = p.data() + std::size_t(y) * W;
      if (y < 14) {
        CoarseRow(r, W, y, rng);
        continue;
      }
      for (int x = 0; x < W; ++x)
        r[x] = x % N == 0 && y % N == 0           ? -float(N * N - 2) * 1000.0f
               : x % N == N / 2 && y % N == N / 2 + 1 ? tiny
                                                      : 1000.0f;
    }
    return p;
  };
  auto bands = [&] {
    // Bands of 12 rows: coarse, then values in [0.75, 1) x 2^30.
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> u(0.75 * 1073741824.0, 1073741824.0);
    TPlane p(std::size_t(W) * H);
    for (int y = 0; y < H; ++y) {
      float* r = p.data() + std::size_t(y) * W;
      if ((y / 12) % 2 == 0) CoarseRow(r, W, y, rng);
      else
        for (int x = 0; x < W; ++x) r[x] = float(u(rng));
    }
    return p;
  };
  auto oddWholes = [&] {
    // Odd whole numbers just below 2^19: 49 of them sum to 25 bits.
    std::mt19937 rng(13);
    TPlane p(std::size_t(W) * H);
    for (float& v : p) v = float(2 * (185000 + int(rng() % 77000)) + 1);
    return p;
  };
  auto span64And65 = [&] {
    // Values up to 2^20 of both signs with one of 2^-15 (64 bits over a 7 x 7
    // window) or 2^-16 (65 bits) in every row, in bands of 5.
    TPlane p = Uniform(W, H, -1048575.0, 1048575.0, 17);
    for (int y = 0; y < H; ++y) p[std::size_t(y) * W + (y * 3) % W] = (y / 5) % 2 ? 0x1p-16f : 0x1p-15f;
    return p;
  };
  const struct {
    const char* Name;
    int N;
    std::function<TPlane()> Make;
  } cases[] = {
      {"7 x 7, sums of 25 bits", 7, oddWholes},
      {"3 x 3, sums of 25 bits", 3, oddWholes},
      {"7 x 7, split columns meet values 2^10 larger", 7, bands},
      {"5 x 5, split columns meet values 2^10 larger", 5, bands},
      {"7 x 7, split columns meet finer values whose parts lie near the split point", 7, [&] { return lattice(7); }},
      {"5 x 5, split columns meet finer values whose parts lie near the split point", 5, [&] { return lattice(5); }},
      {"7 x 7, values spanning 64 and 65 bits", 7, span64And65},
      {"5 x 5, values spanning 64 and 65 bits", 5, span64And65},
  };
  const int all = (Parallel::SetThreads(0), Parallel::Threads());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const TPlane src = c.Make();
    for (int threads : {1, all}) {
      Parallel::SetThreads(threads);
      TPlane fast(src.size(), -1.0f), plain(src.size(), -1.0f);
      const bool ok = FilterPaths::MeanFast(c.N, src.data(), fast.data(), W, H);
      FilterPaths::MeanPlain(c.N, src.data(), plain.data(), W, H);
      ASSERT_TRUE(ok || !Processor::AVX2());
      if (ok) ExpectSame(fast, plain, W, std::to_string(threads) + " threads");
    }
  }
  Parallel::SetThreads(0);
}
