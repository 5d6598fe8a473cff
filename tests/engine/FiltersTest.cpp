// Neighbourhood filters: the worked examples, cross-checks against scipy, and
// the fast paths against the plain algorithms bit for bit.
#include <gtest/gtest.h>

#include <cstdio>

#include "EngineTestSupport.h"
#include "VectorPaths.h"
#include "engine/Parallel.h"
#include "engine/ColProcessing.h"
#include "engine/FilterPaths.h"
#include "engine/Processing.h"

using testsupport::ErrorLog;

namespace {

void Flat(TDataImage& img, int w, int h, std::uint8_t type, float v) {
  testsupport::Grey(img, w, h, type, std::vector<float>(std::size_t(w) * h, v));
}

void FlatColour(TDataImage& img, int w, int h, TRGBPixel c) {
  testsupport::Colour(img, w, h);
  std::fill(img.RGBPlane, img.RGBPlane + img.PixelCount(), c);
}

bool Equal(const TRGBPixel& a, const TRGBPixel& b) { return a.Blue == b.Blue && a.Green == b.Green && a.Red == b.Red; }

// Runs Filter(dst, src) on a copy and returns it.
template <typename F>
void Apply(TDataImage& dst, TDataImage& src, F&& Filter) {
  testsupport::CopyOf(dst, src);
  Filter(dst, src);
}

}  // namespace

TEST(FixedFilters, WorkedExamplesGrey) {
  ErrorLog log;
  TDataImage src, dst;
  Flat(src, 5, 4, 1, 150);
  Apply(dst, src, [](auto& d, auto& s) { Filter3x3(3, d, s); });  // blur little: 16 / 15
  EXPECT_EQ(dst.GetPixel(2, 2), 160.0f);
  EXPECT_EQ(dst.GetPixel(0, 0), 150.0f);  // border kept
  Flat(src, 5, 4, 1, 240);
  Apply(dst, src, [](auto& d, auto& s) { Filter3x3(3, d, s); });
  EXPECT_EQ(dst.GetPixel(1, 1), 256.0f);  // 16-bit: room above 255
  Flat(src, 5, 4, 0, 240);
  Apply(dst, src, [](auto& d, auto& s) { Filter3x3(3, d, s); });
  EXPECT_EQ(dst.GetPixel(1, 1), 255.0f);  // 8-bit: clamped

  Flat(src, 5, 5, 0, 37);
  Apply(dst, src, [](auto& d, auto& s) { Filter3x3(1, d, s); });
  EXPECT_EQ(dst.GetPixel(2, 2), 37.0f);  // sharpen keeps a flat area
  for (int code : {5, 6, 7, 8, 9, 10, 11, 12}) {
    Apply(dst, src, [code](auto& d, auto& s) { Filter3x3(std::uint8_t(code), d, s); });
    EXPECT_EQ(dst.GetPixel(2, 2), 0.0f) << code;  // detectors: 0 on flat areas
  }
  Flat(src, 5, 5, 0, 0);
  src.SetPixel(2, 2, 100);
  Apply(dst, src, [](auto& d, auto& s) { Filter3x3(1, d, s); });
  EXPECT_EQ(dst.GetPixel(2, 2), 255.0f);  // 500 clamped
  EXPECT_EQ(dst.GetPixel(1, 2), 0.0f);    // -100 clamped
  src.DataType = 3;                       // floating point: white level is the maximum
  Apply(dst, src, [](auto& d, auto& s) { Filter3x3(1, d, s); });
  EXPECT_EQ(dst.GetPixel(2, 2), 100.0f);

  // Codes 6 and 7: a horizontal line excites the horizontal detector only.
  Flat(src, 5, 5, 3, 0);
  for (int x = 0; x < 5; ++x) src.SetPixel(x, 2, 10);
  Apply(dst, src, [](auto& d, auto& s) { Filter3x3(6, d, s); });
  EXPECT_EQ(dst.GetPixel(2, 2), 10.0f);  // 60 clamped to the maximum 10
  Apply(dst, src, [](auto& d, auto& s) { Filter3x3(7, d, s); });
  EXPECT_EQ(dst.GetPixel(2, 2), 0.0f);

  log.Take();
  Apply(dst, src, [](auto& d, auto& s) { Filter3x3(13, d, s); });
  EXPECT_EQ(log.Take(), std::vector<int>{29});
}

TEST(FixedFilters, SmallImagesAreUnchanged) {
  ErrorLog log;
  TDataImage src, dst;
  testsupport::Grey(src, 2, 2, 0, {1, 2, 3, 4});
  for (int code = 1; code <= 12; ++code) {
    Apply(dst, src, [code](auto& d, auto& s) { Filter3x3(std::uint8_t(code), d, s); });
    EXPECT_EQ(dst.GetPixel(1, 1), 4.0f);
  }
  testsupport::Grey(src, 6, 6, 3);
  Apply(dst, src, [](auto& d, auto& s) { MedianFilter(7, d, s); });
  Apply(dst, src, [](auto& d, auto& s) { MeanFilter(7, d, s); });
  Apply(dst, src, [](auto& d, auto& s) { MinMaxFilter(1, 7, d, s); });
  TDataImage c, cd;
  testsupport::RandomColour(c, 2, 2, 3);
  Apply(cd, c, [](auto& d, auto& s) { ColConvolvePreset(4, d, s); });
  Apply(cd, c, [](auto& d, auto& s) { ColMedianFilter(3, d, s); });
  EXPECT_TRUE(Equal(cd.RGBPlane[3], c.RGBPlane[3]));
  for (int code : log.Take()) EXPECT_EQ(code, 0);
}

TEST(FixedFilters, WorkedExamplesColour) {
  ErrorLog log;
  TDataImage src, dst;
  FlatColour(src, 4, 4, TRGBPixel{150, 240, 0});
  Apply(dst, src, [](auto& d, auto& s) { ColConvolvePreset(3, d, s); });
  EXPECT_TRUE(Equal(dst.RGBPlane[5], TRGBPixel{160, 255, 0}));
  EXPECT_EQ(log.Take(), std::vector<int>{0});

  // Blur more: the truncated mean of nine bytes.
  testsupport::Colour(src, 3, 3);
  for (int i = 0; i < 9; ++i) src.RGBPlane[i] = TRGBPixel{std::uint8_t(i + 1), 0, 0};
  src.RGBPlane[4].Blue = 14;
  Apply(dst, src, [](auto& d, auto& s) { ColConvolvePreset(4, d, s); });
  EXPECT_EQ(dst.RGBPlane[4].Blue, 6);  // 54 * 9 / 81 = 6
  src.RGBPlane[4].Blue = 13;
  Apply(dst, src, [](auto& d, auto& s) { ColConvolvePreset(4, d, s); });
  EXPECT_EQ(dst.RGBPlane[4].Blue, 5);  // 53 * 9 / 81 = 5.89 truncated
  Apply(dst, src, [](auto& d, auto& s) { ColBoxFilter(3, d, s); });
  EXPECT_EQ(dst.RGBPlane[4].Blue, 5);

  // Sobel: Round(sqrt(gx^2 + gy^2)) with gx = 4 * 10, gy = 0 -> 40; a step of 1 in
  // both directions: gx = 3, gy = 3 -> sqrt(18) = 4.24 -> 4.
  testsupport::Colour(src, 3, 3);
  for (int y = 0; y < 3; ++y) src.RGBPlane[y * 3 + 2] = TRGBPixel{10, 0, 0};
  src.RGBPlane[8].Green = 1;
  src.RGBPlane[5].Green = 1;
  src.RGBPlane[7].Green = 1;
  Apply(dst, src, [](auto& d, auto& s) { ColGradient(d, s); });
  EXPECT_EQ(dst.RGBPlane[4].Blue, 40);
  EXPECT_EQ(dst.RGBPlane[4].Green, 4);  // gx = 2 + 1 = 3, gy = 2 + 1 = 3
}

TEST(RankFilters, MedianMinimumMaximumExamples) {
  ErrorLog log;
  TDataImage src, dst;
  testsupport::Grey(src, 3, 3, 3, {9, 3, 7, 1, 5, 8, 2, 6, 4});
  Apply(dst, src, [](auto& d, auto& s) { MedianFilter(3, d, s); });
  EXPECT_EQ(dst.GetPixel(1, 1), 5.0f);
  testsupport::Grey(src, 3, 3, 3, {9, 3, 7, 1, 5, -5, 2, 6, 4});
  Apply(dst, src, [](auto& d, auto& s) { MinMaxFilter(0, 3, d, s); });
  EXPECT_EQ(dst.GetPixel(1, 1), -5.0f);
  testsupport::Grey(src, 3, 3, 3, std::vector<float>(9, -2.0f));
  Apply(dst, src, [](auto& d, auto& s) { MinMaxFilter(1, 3, d, s); });
  EXPECT_EQ(dst.GetPixel(1, 1), 0.0f);  // the maximum starts at 0
  EXPECT_EQ(dst.GetPixel(0, 1), -2.0f);
  testsupport::Grey(src, 3, 3, 3, std::vector<float>(9, 3.0e32f));
  Apply(dst, src, [](auto& d, auto& s) { MinMaxFilter(0, 3, d, s); });
  EXPECT_EQ(dst.GetPixel(1, 1), 2.0e32f);  // the minimum starts at 2.0e32
  // An even size takes the odd window above it: Size div 2 = 2 gives 5 x 5.
  testsupport::Grey(src, 5, 5, 3);
  for (int i = 0; i < 25; ++i) src.Pixels[i] = float(i);
  Apply(dst, src, [](auto& d, auto& s) { MedianFilter(4, d, s); });
  EXPECT_EQ(dst.GetPixel(2, 2), 12.0f);
  Apply(dst, src, [](auto& d, auto& s) { MeanFilter(5, d, s); });
  EXPECT_EQ(dst.GetPixel(2, 2), 12.0f);
  EXPECT_EQ(dst.GetPixel(1, 2), 11.0f);  // border
  for (int code : log.Take()) EXPECT_EQ(code, 0);

  TDataImage c, cd;
  testsupport::Colour(c, 3, 3);
  const std::uint8_t v[9] = {9, 3, 7, 1, 5, 8, 2, 6, 4};
  for (int i = 0; i < 9; ++i) c.RGBPlane[i] = TRGBPixel{v[i], std::uint8_t(v[i] * 20), std::uint8_t(255 - v[i])};
  Apply(cd, c, [](auto& d, auto& s) { ColMedianFilter(3, d, s); });
  EXPECT_TRUE(Equal(cd.RGBPlane[4], TRGBPixel{5, 100, 250}));
  Apply(cd, c, [](auto& d, auto& s) { ColMinMaxFilter(0, 3, d, s); });
  EXPECT_TRUE(Equal(cd.RGBPlane[4], TRGBPixel{1, 20, 246}));
  Apply(cd, c, [](auto& d, auto& s) { ColMinMaxFilter(1, 3, d, s); });
  EXPECT_TRUE(Equal(cd.RGBPlane[4], TRGBPixel{9, 180, 254}));
  EXPECT_EQ(log.Take(), (std::vector<int>{0, 0, 0}));
}

TEST(CustomFilters, DivisorAndRounding) {
  ErrorLog log;
  TFilterKernel k{};
  EXPECT_EQ(KernelDivisor(k), 1.0f);
  k[0][1] = -1;
  k[2][1] = 1;  // zero sum: an edge kernel divides by 1
  EXPECT_EQ(KernelDivisor(k), 1.0f);
  TFilterKernel near{};
  near[0][0] = 0.1f;
  near[1][0] = 0.2f;
  near[2][0] = -0.3f;  // 0 as a Single sum (not -7.45e-9 as a double one)
  EXPECT_EQ(KernelDivisor(near), 1.0f);

  TDataImage src, dst;
  testsupport::Grey(src, 3, 3, 0, {0, 0, 0, 10, 20, 50, 0, 0, 0});
  Apply(dst, src, [&](auto& d, auto& s) { CustomFilter(k, d, s); });
  EXPECT_EQ(dst.GetPixel(1, 1), 40.0f);  // [column][row]: right minus left
  TFilterKernel t{};
  t[1][0] = -1;
  t[1][2] = 1;  // bottom minus top
  Apply(dst, src, [&](auto& d, auto& s) { CustomFilter(t, d, s); });
  EXPECT_EQ(dst.GetPixel(1, 1), 0.0f);

  // Colour: Single sum, divide, clamp, then round half to even.
  TFilterKernel avg{};
  avg[1][1] = 1;
  avg[2][1] = 1;  // (centre + right) / 2
  TDataImage c, cd;
  testsupport::Colour(c, 3, 3);
  c.RGBPlane[4] = TRGBPixel{1, 2, 250};
  c.RGBPlane[5] = TRGBPixel{2, 3, 255};
  Apply(cd, c, [&](auto& d, auto& s) { ColCustomFilter(avg, d, s); });
  EXPECT_TRUE(Equal(cd.RGBPlane[4], TRGBPixel{2, 2, 252}));  // 1.5 -> 2, 2.5 -> 2, 252.5 -> 252
  EXPECT_EQ(log.Take(), (std::vector<int>{0, 0, 0}));
}

// ---- scipy cross-checks ----

namespace {

void CompareInterior(const TDataImage& ours, const std::vector<float>& theirs, int h, double tolerance,
                     const char* what) {
  ASSERT_EQ(theirs.size(), std::size_t(ours.PixelCount()));
  int bad = 0;
  for (int y = h; y < ours.Height - h; ++y)
    for (int x = h; x < ours.Width - h; ++x) {
      const float a = ours.GetPixel(x, y), b = theirs[std::size_t(y) * ours.Width + x];
      const bool ok = tolerance == 0 ? a == b : std::fabs(a - b) <= tolerance * std::max(1.0f, std::fabs(b));
      if (!ok && ++bad < 5) ADD_FAILURE() << what << " at (" << x << ", " << y << "): " << a << " vs " << b;
    }
  EXPECT_EQ(bad, 0) << what;
}

std::vector<float> Scipy(const TDataImage& src, const std::string& op, int n, float white = 0) {
  char args[96];
  std::snprintf(args, sizeof args, "%d %d %s %d %.9g", src.Width, src.Height, op.c_str(), n, double(white));
  return testsupport::AsVector<float>(testsupport::RunOracle("filters.py", args, src.Pixels, src.PixelCount() * 4));
}

}  // namespace

TEST(FilterOracle, RankAndMeanFiltersAgreeWithScipy) {
  testsupport::RequirePython("numpy, scipy.ndimage");
  TDataImage src, dst;
  testsupport::RandomGrey(src, 97, 61, 3, 17, -300.0f, 1000.0f, false);
  for (int n : {3, 5, 7}) {
    Apply(dst, src, [n](auto& d, auto& s) { MedianFilter(std::uint8_t(n), d, s); });
    CompareInterior(dst, Scipy(src, "median", n), n / 2, 0, "median");
    Apply(dst, src, [n](auto& d, auto& s) { MinMaxFilter(0, std::uint8_t(n), d, s); });
    CompareInterior(dst, Scipy(src, "min", n), n / 2, 0, "minimum");
    Apply(dst, src, [n](auto& d, auto& s) { MinMaxFilter(1, std::uint8_t(n), d, s); });
    CompareInterior(dst, Scipy(src, "max", n), n / 2, 0, "maximum");
    Apply(dst, src, [n](auto& d, auto& s) { MeanFilter(std::uint8_t(n), d, s); });
    CompareInterior(dst, Scipy(src, "mean", n), n / 2, 1e-5, "mean");
  }
  // Bytes of a colour channel.
  TDataImage c, cd, grey;
  testsupport::RandomColour(c, 83, 47, 21);
  testsupport::Grey(grey, 83, 47, 0);
  for (int i = 0; i < 83 * 47; ++i) grey.Pixels[i] = c.RGBPlane[i].Green;
  for (int n : {3, 5, 7}) {
    Apply(cd, c, [n](auto& d, auto& s) { ColMedianFilter(std::uint8_t(n), d, s); });
    TDataImage got;
    testsupport::Grey(got, 83, 47, 0);
    for (int i = 0; i < 83 * 47; ++i) got.Pixels[i] = cd.RGBPlane[i].Green;
    CompareInterior(got, Scipy(grey, "median", n), n / 2, 0, "colour median");
    Apply(cd, c, [n](auto& d, auto& s) { ColMinMaxFilter(1, std::uint8_t(n), d, s); });
    for (int i = 0; i < 83 * 47; ++i) got.Pixels[i] = cd.RGBPlane[i].Green;
    CompareInterior(got, Scipy(grey, "max", n), n / 2, 0, "colour maximum");
  }
}

TEST(FilterOracle, KernelsAgreeWithScipyCorrelate) {
  testsupport::RequirePython("numpy, scipy.ndimage");
  ErrorLog log;
  TDataImage src, dst;
  // Whole 16-bit values: scipy's double sums are exact, so the results must match to the bit.
  testsupport::RandomGrey(src, 71, 53, 1, 3, 0.0f, 65535.0f, true);
  for (int code = 1; code <= 12; ++code) {
    Apply(dst, src, [code](auto& d, auto& s) { Filter3x3(std::uint8_t(code), d, s); });
    CompareInterior(dst, Scipy(src, "correlate", code, 65535.0f), 1, 0, "kernel");
  }
  Apply(dst, src, [](auto& d, auto& s) { SobelFilter(d, s); });
  CompareInterior(dst, Scipy(src, "sobel", 3, 65535.0f), 1, 0, "sobel");
  // Fractional floats: extended against double sums, to a few ulps.
  testsupport::RandomGrey(src, 71, 53, 3, 4, -50.0f, 900.0f, false);
  src.CalcMaxValue();
  for (int code = 1; code <= 12; ++code) {
    Apply(dst, src, [code](auto& d, auto& s) { Filter3x3(std::uint8_t(code), d, s); });
    CompareInterior(dst, Scipy(src, "correlate", code, src.MaxValue), 1, 1e-5, "kernel (float)");
  }
  Apply(dst, src, [](auto& d, auto& s) { SobelFilter(d, s); });
  CompareInterior(dst, Scipy(src, "sobel", 3, src.MaxValue), 1, 1e-5, "sobel (float)");
  for (int c : log.Take()) EXPECT_EQ(c, 0);
}

// ---- fast paths against the plain algorithms ----

namespace {

std::vector<float> Plane(int w, int h, std::uint32_t seed, int kind) {
  std::mt19937 rng(seed);
  std::vector<float> p(std::size_t(w) * h);
  for (auto& v : p) {
    switch (kind) {
      case 0: v = float(rng() % 65536); break;                             // 16-bit
      case 1: v = float(rng() % 8) - 3.0f; break;                          // many ties, negatives
      case 2: v = float(int(rng() % 2000000) - 1000000) / 1024.0f; break;  // a fine binary grid
      default:  // a wide dynamic range: no common grid
        v = std::uniform_real_distribution<float>(0.5f, 1.0f)(rng) *
            std::pow(10.0f, std::uniform_real_distribution<float>(-6.0f, 4.0f)(rng));
        break;
    }
  }
  return p;
}

void ExpectSame(const std::vector<float>& a, const std::vector<float>& b, const char* what) {
  ASSERT_EQ(a.size(), b.size());
  for (std::size_t i = 0; i < a.size(); ++i)
    ASSERT_TRUE(testsupport::SameBits(a[i], b[i])) << what << " at " << i << ": " << a[i] << " vs " << b[i];
}

}  // namespace

TEST(FastPaths, GreyFiltersMatchThePlainAlgorithm) {
  const int w = 157, h = 91;
  for (int kind = 0; kind < 6; ++kind) {
    auto src = Plane(w, h, 100 + kind, kind == 4 ? 0 : kind);
    if (kind == 5)  // Singles of a 16-bit range with their fractions
      for (auto& v : src) v = std::ldexp(float(std::uint32_t(v * 977.0f) % 16777216u), -8);
    if (kind == 4)  // whole rows with bands of fine fractions: every way through the fast paths
      for (int y = 30; y < 40; ++y)
        for (int x = 0; x < w; ++x) src[std::size_t(y) * w + x] += (y < 35 ? 0.5f : 1.0f / 1024) * float(x % 7);
    const float white = kind == 0 || kind == 4 ? 65535.0f : kind == 5 ? 60000.0f : 1e5f;
    std::vector<float> fast(src.size(), -1.0f), plain(src.size(), -1.0f);
    for (int code = 1; code <= 12; ++code) {
      FilterPaths::TKernel3 k;
      ASSERT_TRUE(FixedKernel(std::uint8_t(code), k.W, k.Divisor));
      // Rows off the grid take the plain way inside the fast path.
      ASSERT_TRUE(FilterPaths::Convolve3x3Fast(k, src.data(), fast.data(), w, h, white));
      FilterPaths::Convolve3x3Plain(k, src.data(), plain.data(), w, h, white);
      ExpectSame(fast, plain, "kernel");
    }
    ASSERT_TRUE(FilterPaths::SobelFast(src.data(), fast.data(), w, h, white));
    FilterPaths::SobelPlain(src.data(), plain.data(), w, h, white);
    ExpectSame(fast, plain, "sobel");
    for (int n : {1, 3, 5, 7, 9, 15}) {
      if (FilterPaths::MeanFast(n, src.data(), fast.data(), w, h)) {
        FilterPaths::MeanPlain(n, src.data(), plain.data(), w, h);
        ExpectSame(fast, plain, "mean");
      } else {
        EXPECT_TRUE(kind >= 3);
      }
      ASSERT_TRUE(FilterPaths::MedianFast(n, src.data(), fast.data(), w, h));
      FilterPaths::MedianPlain(n, src.data(), plain.data(), w, h);
      ExpectSame(fast, plain, "median");
      for (int mode : {0, 1}) {
        ASSERT_TRUE(FilterPaths::MinMaxFast(mode, n, src.data(), fast.data(), w, h));
        FilterPaths::MinMaxPlain(mode, n, src.data(), plain.data(), w, h);
        ExpectSame(fast, plain, "min/max");
      }
    }
  }
}

TEST(FastPaths, RankFiltersFallBackOnNegativeZero) {
  std::vector<float> src(25, 0.0f), dst(25, 0.0f);
  src[0] = -0.0f;
  EXPECT_FALSE(FilterPaths::MedianFast(3, src.data(), dst.data(), 5, 5));
  EXPECT_FALSE(FilterPaths::MinMaxFast(0, 3, src.data(), dst.data(), 5, 5));
  // The plain search keeps the first zero it meets.
  FilterPaths::MinMaxPlain(0, 3, src.data(), dst.data(), 5, 5);
  EXPECT_TRUE(std::signbit(dst[1 * 5 + 1]));
  EXPECT_FALSE(std::signbit(dst[1 * 5 + 2]));
}

// The 3 x 3 median eight columns at a time: every tail length, many ties,
// and -0.0 or a NaN in any row (first, middle, last) makes it give way.
TEST(FastPaths, Median3x3MatchesPlainOrGivesWay) {
  std::mt19937 rng(12);
  for (const auto& path : testsupport::kVectorPaths) {
    testsupport::TVectorPathScope scope(path);
    for (int w : {3, 4, 8, 9, 10, 16, 17, 33}) {
      const int h = 7;
      for (int spoil = -1; spoil < 3; ++spoil) {
        SCOPED_TRACE(std::string(path.Name) + " width " + std::to_string(w) + " spoil " + std::to_string(spoil));
        std::vector<float> src(std::size_t(w) * h), fast(src.size(), -1.0f), plain(src.size(), -1.0f);
        for (auto& v : src) v = float(rng() % 5) * 0.5f + (rng() % 2 ? 0.0f : 1000.0f);
        const int row = spoil == 0 ? 0 : spoil == 1 ? h / 2 : h - 1;
        if (spoil >= 0) src[std::size_t(row) * w + std::size_t(rng() % unsigned(w))] = rng() % 2 ? -0.0f : NAN;
        const bool ok = FilterPaths::MedianFast(3, src.data(), fast.data(), w, h);
        EXPECT_EQ(ok, spoil < 0);
        if (ok) {
          FilterPaths::MedianPlain(3, src.data(), plain.data(), w, h);
          ExpectSame(fast, plain, "median 3");
        }
      }
    }
  }
}

// The 3 x 3 median on 16-bit lanes while the rows hold whole numbers in
// 0..65535, in Singles from the first row that does not: the plain median on
// every width (groups of 16 with and without an overlapping last one), with
// both ends of the range, values above 32767, many ties and a patch leaving
// the range anywhere, for one thread and several, on both vector paths. -0.0
// and NaN make it give way to the plain algorithm.
TEST(FastPaths, Median3x3On16BitDataMatchesPlain) {
  struct TSpoil {
    const char* Name;
    float Value;
    bool GivesWay;
  };
  const TSpoil spoils[] = {{"nothing", 0.0f, false},    {"a fraction", 40000.5f, false}, {"65536", 65536.0f, false},
                           {"-1", -1.0f, false},      {"3e9", 3.0e9f, false},         {"-0.0", -0.0f, true},
                           {"NaN", NAN, true}};
  const int h = 23;  // three blocks of rows where threads share the work
  std::mt19937 rng(16);
  for (const auto& path : testsupport::kVectorPaths)
    for (int threads : {1, 4})
      for (int w : {3, 17, 18, 19, 33, 34, 50}) {
        std::vector<float> src(std::size_t(w) * h), fast(src.size(), -1.0f), plain(src.size(), -1.0f);
        for (const TSpoil& spoil : spoils)
          for (int row : {0, 9, h - 1}) {
            SCOPED_TRACE(std::string(path.Name) + ", " + std::to_string(threads) + " threads, width " +
                         std::to_string(w) + ", " + spoil.Name + " in row " + std::to_string(row));
            for (auto& v : src) {
              const unsigned r = rng();
              v = float(r % 3 == 0 ? (r >> 8) % 4 : r % 5 == 0 ? 65535 - (r >> 8) % 3 : (r >> 8) % 65536);
            }
            // Two rows by three columns of it: the median of the windows across them.
            const int x0 = int(rng() % unsigned(w - 2)), row2 = row + 1 < h ? row + 1 : row - 1;
            if (&spoil != &spoils[0])
              for (int r : {row, row2})
                for (int x = x0; x < x0 + 3; ++x) src[std::size_t(r) * w + x] = spoil.Value;
            testsupport::TVectorPathScope scope(path);
            ASSERT_EQ(Processor::AVX2(), path.AVX2 && __builtin_cpu_supports("avx2"));
            Parallel::SetThreads(threads);
            const bool ok = FilterPaths::MedianFast(3, src.data(), fast.data(), w, h);
            Parallel::SetThreads(0);
            EXPECT_EQ(ok, !spoil.GivesWay);
            if (ok) {
              FilterPaths::MedianPlain(3, src.data(), plain.data(), w, h);
              ExpectSame(fast, plain, "median 3");
            }
          }
      }
}

// The 3 x 3 and 5 x 5 medians against the plain algorithm, bit for bit, on
// both vector paths at one, two and every thread: 16-bit data (many ties, 0
// and 65535), which the 16-bit lanes take; patches leaving that range in the
// first, a middle and the last row, from which the Singles take over; small
// fractions from the first row on; and -0.0 or NaN, which make them give way.
// Sizes below the window, lone rows and columns, every tail of the 8, 16 and
// 32 lanes, and a plane large enough for both medians to share out its rows.
TEST(FastPaths, MediansMatchThePlainAlgorithmOnEveryPathAndThreadCount) {
  struct TData {
    const char* Name;
    bool Spoilt;
    float Spoil;
    bool Fractions, GivesWay, OnTheLargePlane;
  };
  const TData data[] = {
      {"16-bit", false, 0.0f, false, false, true},  {"a fraction", true, 40000.5f, false, false, true},
      {"65536", true, 65536.0f, false, false, false}, {"-1", true, -1.0f, false, false, false},
      {"3e9", true, 3.0e9f, false, false, false},     {"fractions", false, 0.0f, true, false, true},
      {"-0.0", true, -0.0f, false, true, false},      {"NaN", true, NAN, false, true, true}};
  struct TSize {
    int W, H;
  };
  const TSize sizes[] = {{1, 1},  {1, 9},  {9, 1},  {2, 2},  {4, 4},  {5, 5},  {6, 5},  {5, 7},   {7, 6},
                         {11, 9}, {12, 5}, {13, 8}, {17, 6}, {18, 7}, {19, 6}, {20, 5}, {21, 9},  {33, 7},
                         {34, 6}, {35, 5}, {47, 8}, {48, 6}, {49, 7}, {63, 6}, {64, 5}, {65, 9},  {1031, 516}};
  std::mt19937 rng(37);
  for (const TSize& size : sizes)
    for (const TData& d : data) {
      const int w = size.W, h = size.H;
      if (w > 1000 && !d.OnTheLargePlane) continue;
      std::vector<float> src(std::size_t(w) * h);
      for (auto& v : src) {
        const unsigned r = rng();
        v = d.Fractions ? float(int(r % 13) - 4) * 0.25f
                        : float(r % 3 == 0 ? (r >> 8) % 4 : r % 5 == 0 ? 65535 - (r >> 8) % 3 : (r >> 8) % 65536);
      }
      if (d.Spoilt)  // two rows by three columns at each place
        for (int row : {0, h / 2, h - 1}) {
          const int x0 = int(rng() % unsigned(std::max(1, w - 2)));
          for (int r : {row, row + 1 < h ? row + 1 : row})
            for (int x = x0; x < std::min(w, x0 + 3); ++x) src[std::size_t(r) * w + x] = d.Spoil;
        }
      for (int n : {3, 5}) {
        const bool interior = w >= n && h >= n;
        std::vector<float> plain = src;
        FilterPaths::MedianPlain(n, src.data(), plain.data(), w, h);
        for (const auto& path : testsupport::kVectorPaths)
          for (int threads : {1, 2, 0}) {
            SCOPED_TRACE(std::string(path.Name) + ", " + std::to_string(threads) + " threads (0: all), " +
                         std::to_string(w) + " x " + std::to_string(h) + ", " + d.Name + ", median " +
                         std::to_string(n));
            testsupport::TVectorPathScope scope(path);
            Parallel::SetThreads(threads);
            std::vector<float> fast = src;
            const bool ok = FilterPaths::MedianFast(n, src.data(), fast.data(), w, h);
            Parallel::SetThreads(0);
            EXPECT_EQ(ok, !(d.GivesWay && interior));
            if (ok) ExpectSame(fast, plain, "median");
          }
      }
    }
}

TEST(FastPaths, ByteFiltersMatchThePlainAlgorithm) {
  const int w = 149, h = 67;
  std::mt19937 rng(8);
  std::vector<std::uint8_t> src(std::size_t(w) * h), fast(src.size()), plain(src.size());
  for (auto& v : src) v = std::uint8_t(rng() % 256);
  for (std::size_t i = 0; i < src.size() / 3; ++i) src[i] = std::uint8_t(rng() % 4);  // ties
  for (int n : {1, 3, 5, 7, 11}) {
    FilterPaths::MedianBytesFast(n, src.data(), fast.data(), w, h);
    FilterPaths::MedianBytesPlain(n, src.data(), plain.data(), w, h);
    ASSERT_EQ(fast, plain) << "median " << n;
    FilterPaths::MeanBytesFast(n, src.data(), fast.data(), w, h);
    FilterPaths::MeanBytesPlain(n, src.data(), plain.data(), w, h);
    ASSERT_EQ(fast, plain) << "mean " << n;
    for (int mode : {0, 1}) {
      FilterPaths::MinMaxBytesFast(mode, n, src.data(), fast.data(), w, h);
      FilterPaths::MinMaxBytesPlain(mode, n, src.data(), plain.data(), w, h);
      ASSERT_EQ(fast, plain) << "min/max " << n;
    }
  }
}

TEST(FastPaths, ANegativeZeroLateInTheImageStillGivesThePlainResult) {
  ErrorLog log;
  TDataImage src, dst;
  testsupport::RandomGrey(src, 300, 200, 3, 77, -3.0f, 3.0f, true);  // many zeros
  src.Pixels[150 * 300 + 7] = -0.0f;
  for (int n : {3, 5}) {
    std::vector<float> plain(src.Pixels, src.Pixels + src.PixelCount());
    FilterPaths::MedianPlain(n, src.Pixels, plain.data(), 300, 200);
    Apply(dst, src, [n](auto& d, auto& s) { MedianFilter(std::uint8_t(n), d, s); });
    ExpectSame(std::vector<float>(dst.Pixels, dst.Pixels + dst.PixelCount()), plain, "median");
    std::copy(src.Pixels, src.Pixels + src.PixelCount(), plain.begin());
    FilterPaths::MinMaxPlain(0, n, src.Pixels, plain.data(), 300, 200);
    Apply(dst, src, [n](auto& d, auto& s) { MinMaxFilter(0, std::uint8_t(n), d, s); });
    ExpectSame(std::vector<float>(dst.Pixels, dst.Pixels + dst.PixelCount()), plain, "minimum");
  }
  for (int c : log.Take()) EXPECT_EQ(c, 0);
}

// The plain sums run four windows side by side; each must still be the
// row-major extended sum of its own window.
TEST(FastPaths, InterleavedPlainSumsMatchOneWindowAtATime) {
  const int w = 53, h = 9;
  const auto src = Plane(w, h, 5, 3);  // wide range: sums round
  std::vector<float> got(src.size(), 0.0f);
  for (int code : {1, 3, 4, 9}) {
    FilterPaths::TKernel3 k;
    ASSERT_TRUE(FixedKernel(std::uint8_t(code), k.W, k.Divisor));
    FilterPaths::Convolve3x3Plain(k, src.data(), got.data(), w, h, 1e4f);
    for (int y = 1; y < h - 1; ++y)
      for (int x = 1; x < w - 1; ++x) {
        long double s = 0;
        for (int dy = -1; dy <= 1; ++dy)
          for (int dx = -1; dx <= 1; ++dx) s += (long double)k.W[(dy + 1) * 3 + dx + 1] * src[(y + dy) * w + x + dx];
        long double q = s / k.Divisor;
        const float want = q < 0 ? 0.0f : q > 1e4f ? 1e4f : float(q);
        ASSERT_TRUE(testsupport::SameBits(got[y * w + x], want)) << code << " at " << x << "," << y;
      }
  }
  for (int n : {3, 5, 7}) {
    FilterPaths::MeanPlain(n, src.data(), got.data(), w, h);
    for (int y = n / 2; y < h - n / 2; ++y)
      for (int x = n / 2; x < w - n / 2; ++x) {
        long double s = 0;
        for (int dy = -n / 2; dy <= n / 2; ++dy)
          for (int dx = -n / 2; dx <= n / 2; ++dx) s += src[(y + dy) * w + x + dx];
        ASSERT_TRUE(testsupport::SameBits(got[y * w + x], float(s / (n * n)))) << n << " at " << x << "," << y;
      }
  }
}

TEST(CustomFilters, ColourOverflowStopsAtThatPixel) {
  ErrorLog log;
  TDataImage src, dst;
  testsupport::Colour(src, 5, 3);
  src.RGBPlane[1 * 5 + 2] = TRGBPixel{0, 4, 0};  // its Single sum overflows
  testsupport::CopyOf(dst, src);
  std::fill(dst.RGBPlane, dst.RGBPlane + 15, TRGBPixel{9, 9, 9});
  TFilterKernel k{};
  k[1][1] = 1e38f;
  ColCustomFilter(k, dst, src);
  EXPECT_EQ(log.Take(), std::vector<int>{20});
  EXPECT_TRUE(Equal(dst.RGBPlane[1 * 5 + 1], TRGBPixel{0, 0, 0}));  // written
  EXPECT_TRUE(Equal(dst.RGBPlane[1 * 5 + 2], TRGBPixel{9, 9, 9}));  // the failing pixel
  EXPECT_TRUE(Equal(dst.RGBPlane[1 * 5 + 3], TRGBPixel{9, 9, 9}));  // and after it
}

// Rows off every grid (one tiny value each) with sums that nearly cancel:
// the double sums must give way to extended ones wherever they could differ.
TEST(FastPaths, NearlyCancellingSumsOffTheGrid) {
  const int w = 211, h = 37;
  std::mt19937 rng(12);
  std::vector<float> src(std::size_t(w) * h), fast(src.size(), -1.0f), plain(src.size(), -1.0f);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      src[std::size_t(y) * w + x] = x == 5 ? 1e-30f : 1000.0f + std::ldexp(float(rng() % 64), -14);
  for (int code : {1, 2, 5, 6, 7, 8, 9, 12, 3}) {
    FilterPaths::TKernel3 k;
    ASSERT_TRUE(FixedKernel(std::uint8_t(code), k.W, k.Divisor));
    ASSERT_TRUE(FilterPaths::Convolve3x3Fast(k, src.data(), fast.data(), w, h, 1024.0f));
    FilterPaths::Convolve3x3Plain(k, src.data(), plain.data(), w, h, 1024.0f);
    ExpectSame(fast, plain, "kernel");
  }
}

// Every routine writes the whole interior and nothing of the border of
// Size div 2, which keeps what the destination held (here a value no filter
// can produce from this source).
TEST(AllFilters, WriteTheInteriorOnly) {
  ErrorLog log;
  const int w = 23, h = 19;
  TDataImage src, dst;
  testsupport::RandomGrey(src, w, h, 1, 31, 0.0f, 1000.0f, true);
  const float mark = -777.0f;
  auto grey = [&](int border, auto&& Filter, const char* what) {
    testsupport::CopyOf(dst, src);
    std::fill(dst.Pixels, dst.Pixels + dst.PixelCount(), mark);
    Filter(dst, src);
    EXPECT_EQ(log.Take(), std::vector<int>{0}) << what;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const bool edge = x < border || y < border || x >= w - border || y >= h - border;
        ASSERT_EQ(dst.GetPixel(x, y) == mark, edge) << what << " at " << x << "," << y;
      }
  };
  for (int code = 1; code <= 12; ++code)
    grey(1, [code](auto& d, auto& s) { Filter3x3(std::uint8_t(code), d, s); }, "kernel");
  grey(1, [](auto& d, auto& s) { SobelFilter(d, s); }, "sobel");
  TFilterKernel k{};
  k[0][0] = 1;
  k[2][2] = 2;
  grey(1, [&k](auto& d, auto& s) { CustomFilter(k, d, s); }, "custom");
  for (int n : {3, 5, 7, 9}) {
    const int b = n / 2;
    grey(b, [n](auto& d, auto& s) { MeanFilter(std::uint8_t(n), d, s); }, "mean");
    grey(b, [n](auto& d, auto& s) { MedianFilter(std::uint8_t(n), d, s); }, "median");
    grey(b, [n](auto& d, auto& s) { MinMaxFilter(0, std::uint8_t(n), d, s); }, "minimum");
    grey(b, [n](auto& d, auto& s) { MinMaxFilter(1, std::uint8_t(n), d, s); }, "maximum");
  }

  // Colour: the border keeps the destination's bytes; the interior takes the
  // filter's, which on a source of bytes 1..250 never equal the marker 0.
  TDataImage c, cd;
  testsupport::RandomColour(c, w, h, 32);
  auto* bytes = reinterpret_cast<std::uint8_t*>(c.RGBPlane);
  for (std::int64_t i = 0; i < c.PixelCount() * 3; ++i) bytes[i] = std::uint8_t(1 + bytes[i] % 250);
  auto colour = [&](int border, auto&& Filter, const char* what, bool interiorSet) {
    testsupport::CopyOf(cd, c);
    std::fill(cd.RGBPlane, cd.RGBPlane + cd.PixelCount(), TRGBPixel{0, 0, 0});
    Filter(cd, c);
    EXPECT_EQ(log.Take(), std::vector<int>{0}) << what;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const bool edge = x < border || y < border || x >= w - border || y >= h - border;
        const TRGBPixel p = cd.RGBPlane[y * w + x];
        if (edge) {
          ASSERT_TRUE(Equal(p, TRGBPixel{0, 0, 0})) << what << " at " << x << "," << y;
        } else if (interiorSet) {
          ASSERT_TRUE(p.Blue && p.Green && p.Red) << what << " at " << x << "," << y;
        }
      }
  };
  for (int code = 1; code <= 12; ++code)
    colour(1, [code](auto& d, auto& s) { ColConvolvePreset(std::uint8_t(code), d, s); }, "kernel", code == 3 || code == 4);
  colour(1, [](auto& d, auto& s) { ColGradient(d, s); }, "gradient", false);
  TFilterKernel avg{};
  avg[1][1] = 1;
  colour(1, [&avg](auto& d, auto& s) { ColCustomFilter(avg, d, s); }, "custom", true);
  for (int n : {3, 5, 7, 9}) {
    const int b = n / 2;
    colour(b, [n](auto& d, auto& s) { ColBoxFilter(std::uint8_t(n), d, s); }, "box", true);
    colour(b, [n](auto& d, auto& s) { ColMedianFilter(std::uint8_t(n), d, s); }, "median", true);
    colour(b, [n](auto& d, auto& s) { ColMinMaxFilter(0, std::uint8_t(n), d, s); }, "minimum", true);
    colour(b, [n](auto& d, auto& s) { ColMinMaxFilter(1, std::uint8_t(n), d, s); }, "maximum", true);
  }
}

// Narrow and low images reach the tails of the fast paths (partial vectors,
// a single interior row or column).
TEST(FastPaths, SmallSidesMatchThePlainAlgorithm) {
  for (int w : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 17, 19, 33}) {
    for (int h : {1, 3, 4, 5, 7, 8, 16}) {
      for (int kind : {0, 2, 3}) {
        const auto src = Plane(w, h, std::uint32_t(w * 100 + h), kind);
        std::vector<float> fast(src.size(), -1.0f), plain(src.size(), -1.0f);
        for (int code : {1, 3, 4, 9}) {
          FilterPaths::TKernel3 k;
          ASSERT_TRUE(FixedKernel(std::uint8_t(code), k.W, k.Divisor));
          if (FilterPaths::Convolve3x3Fast(k, src.data(), fast.data(), w, h, 1e5f)) {
            FilterPaths::Convolve3x3Plain(k, src.data(), plain.data(), w, h, 1e5f);
            ExpectSame(fast, plain, "kernel");
          }
        }
        if (FilterPaths::SobelFast(src.data(), fast.data(), w, h, 1e5f)) {
          FilterPaths::SobelPlain(src.data(), plain.data(), w, h, 1e5f);
          ExpectSame(fast, plain, "sobel");
        }
        for (int n : {3, 5, 7}) {
          if (FilterPaths::MeanFast(n, src.data(), fast.data(), w, h)) {
            FilterPaths::MeanPlain(n, src.data(), plain.data(), w, h);
            ExpectSame(fast, plain, "mean");
          }
          if (FilterPaths::MedianFast(n, src.data(), fast.data(), w, h)) {
            FilterPaths::MedianPlain(n, src.data(), plain.data(), w, h);
            ExpectSame(fast, plain, "median");
          }
          for (int mode : {0, 1})
            if (FilterPaths::MinMaxFast(mode, n, src.data(), fast.data(), w, h)) {
              FilterPaths::MinMaxPlain(mode, n, src.data(), plain.data(), w, h);
              ExpectSame(fast, plain, "min/max");
            }
        }
      }
      std::mt19937 rng(std::uint32_t(w * 7 + h));
      std::vector<std::uint8_t> src(std::size_t(w) * h), fast(src.size(), 7), plain(src.size(), 7);
      for (auto& v : src) v = std::uint8_t(rng());
      for (int n : {3, 5, 7}) {
        FilterPaths::MedianBytesFast(n, src.data(), fast.data(), w, h);
        FilterPaths::MedianBytesPlain(n, src.data(), plain.data(), w, h);
        ASSERT_EQ(fast, plain) << "median " << n << " " << w << "x" << h;
        FilterPaths::MeanBytesFast(n, src.data(), fast.data(), w, h);
        FilterPaths::MeanBytesPlain(n, src.data(), plain.data(), w, h);
        ASSERT_EQ(fast, plain) << "mean " << n << " " << w << "x" << h;
        for (int mode : {0, 1}) {
          FilterPaths::MinMaxBytesFast(mode, n, src.data(), fast.data(), w, h);
          FilterPaths::MinMaxBytesPlain(mode, n, src.data(), plain.data(), w, h);
          ASSERT_EQ(fast, plain) << "min/max " << n << " " << w << "x" << h;
        }
      }
    }
  }
}

// Sides beyond the selection networks: the middle value of each window all
// the same, up to the largest side a Size byte can give.
TEST(FastPaths, LargeMedianWindowsMatchThePlainAlgorithm) {
  for (int kind : {0, 1, 2}) {
    const int w = 41, h = 38;
    const auto src = Plane(w, h, std::uint32_t(50 + kind), kind);
    std::vector<float> fast(src.size(), -1.0f), plain(src.size(), -1.0f);
    for (int n : {33, 35}) {
      ASSERT_TRUE(FilterPaths::MedianFast(n, src.data(), fast.data(), w, h));
      FilterPaths::MedianPlain(n, src.data(), plain.data(), w, h);
      ExpectSame(fast, plain, "median");
    }
    std::vector<std::uint8_t> bytes(src.size()), bf(src.size(), 7), bp(src.size(), 7);
    for (std::size_t i = 0; i < src.size(); ++i) bytes[i] = std::uint8_t(int(src[i]) & 255);
    FilterPaths::MedianBytesFast(33, bytes.data(), bf.data(), w, h);
    FilterPaths::MedianBytesPlain(33, bytes.data(), bp.data(), w, h);
    ASSERT_EQ(bf, bp);
  }
  // Side 255 (Size 255): each window sorted, its middle value.
  ErrorLog log;
  TDataImage src, dst;
  testsupport::RandomGrey(src, 259, 257, 3, 9, -50.0f, 50.0f, false);
  Apply(dst, src, [](auto& d, auto& s) { MedianFilter(255, d, s); });
  EXPECT_EQ(log.Take(), std::vector<int>{0});
  std::vector<float> window;
  for (int y = 127; y < 257 - 127; ++y)
    for (int x = 127; x < 259 - 127; ++x) {
      window.clear();
      for (int dy = -127; dy <= 127; ++dy)
        window.insert(window.end(), src.Pixels + (y + dy) * 259 + x - 127, src.Pixels + (y + dy) * 259 + x + 128);
      std::sort(window.begin(), window.end());
      ASSERT_EQ(dst.GetPixel(x, y), window[window.size() / 2]) << x << "," << y;
    }
  EXPECT_EQ(dst.GetPixel(126, 126), src.GetPixel(126, 126));
}
