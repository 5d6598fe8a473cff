#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>

#include "ImageTestHelpers.h"
#include "engine/Processing.h"

using namespace ImgTest;

namespace {

// 8-bit noise: a smooth ramp with speckles, integer values so that every
// window sum is exact whatever its order.
void Noisy(TDataImage& Image, int W, int H, unsigned Seed) {
  Grey(Image, W, H, 0);
  std::mt19937 rng(Seed);
  std::uniform_int_distribution<int> noise(-12, 12), spike(0, 30);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      int v = 60 + 2 * x + y + noise(rng);
      if (spike(rng) == 0) v = (v * 7) % 256;
      Image.Pixels[y * W + x] = float(std::clamp(v, 0, 255));
    }
}

void ExpectBorderKept(const TDataImage& Dst, const TDataImage& Src, int B) {
  for (int y = 0; y < Src.Height; ++y)
    for (int x = 0; x < Src.Width; ++x)
      if (x < B || y < B || x >= Src.Width - B || y >= Src.Height - B) {
        ASSERT_EQ(Dst.Pixels[y * Src.Width + x], Src.Pixels[y * Src.Width + x]) << x << "," << y;
      }
}

// Runs KIND of the oracle; compares the interior (border B) exactly, or within Tol.
void CompareWithOracle(const char* Kind, int N, float P1, float P2, TDataImage& Src, TDataImage& Dst, int B,
                       double Offset = 0, double Tol = 0) {
  const std::string in = TempPath("nf_in"), out = TempPath("nf_out");
  WriteFile(in, Plane(Src));
  char args[500];
  std::snprintf(args, sizeof args, "%s %d %.9g %.9g %.9g %d %d %s %s", Kind, N, P1, P2, double(Src.TypeMax),
                Src.Width, Src.Height, in.c_str(), out.c_str());
  ASSERT_TRUE(RunOracle("noise_filters.py", args, "numpy, scipy.ndimage, scipy.signal"));
  const auto expected = ReadFile<double>(out);
  ASSERT_EQ(expected.size(), std::size_t(Src.PixelCount()));
  int bad = 0;
  for (int y = B; y < Src.Height - B; ++y)
    for (int x = B; x < Src.Width - B; ++x) {
      const double e = expected[y * Src.Width + x] + Offset, got = Dst.Pixels[y * Src.Width + x];
      if (!(std::fabs(got - e) <= Tol) && ++bad < 6)
        ADD_FAILURE() << Kind << " at " << x << "," << y << ": " << got << " vs " << e;
    }
  EXPECT_EQ(bad, 0) << Kind << " N=" << N << " P1=" << P1;
}

}  // namespace

TEST(NoiseFilter, OutlierReplacedByWindowMean) {
  ErrorRecorder rec;
  TDataImage src, dst;
  Grey(src, 5, 5, 0);
  Fill(src, 10);
  CopyGrey(dst, src);
  NoiseFilter(3, dst, src, 1);  // flat: nothing is outside m +- 0
  EXPECT_EQ(rec.Take(), 0);
  EXPECT_EQ(Plane(dst), Plane(src));
  src.Pixels[12] = 255;
  NoiseFilter(3, dst, src, 1);
  EXPECT_EQ(rec.Take(), 0);
  EXPECT_EQ(dst.Pixels[12], float(335.0L / 9));
  EXPECT_FLOAT_EQ(dst.Pixels[12], 37.2222222f);
  // The neighbours lie within one deviation of their means and stay.
  EXPECT_EQ(dst.Pixels[6], 10);
}

TEST(NoiseFilter, MatchesOracle) {
  ErrorRecorder rec;
  TDataImage src, dst;
  Noisy(src, 41, 29, 1);
  for (int n : {3, 5, 11})
    for (float dev : {0.5f, 1.0f, 2.5f}) {
      CopyGrey(dst, src);
      NoiseFilter(n, dst, src, dev);
      EXPECT_EQ(rec.Take(), 0);
      ExpectBorderKept(dst, src, n / 2);
      CompareWithOracle("noise", n, dev, 0, src, dst, n / 2);
    }
}

TEST(AdaptiveMMSE, FlatAreaAndEqualVariances) {
  ErrorRecorder rec;
  TDataImage src, dst;
  Grey(src, 4, 4, 0);
  Fill(src, 10);
  CopyGrey(dst, src);
  AdaptiveMMSE(3, dst, src, 1);
  EXPECT_EQ(rec.Take(), 0);
  EXPECT_EQ(dst.Pixels[5], 10.5f);
  EXPECT_EQ(dst.Pixels[0], 10);  // border
  // Flat windows of awkward Singles have no variance either: their squares
  // and sums are exact in extended precision, so nothing cancels to a speck.
  for (float c : {0.1f, 3.3333333f, 4.0e9f, 1.2345678e-20f}) {
    TDataImage f, o;
    Grey(f, 13, 13, 3);
    Fill(f, c);
    f.Pixels[0] = 1e30f;  // outside the centre's window: lifts the white level
    CopyGrey(o, f);
    AdaptiveMMSE(11, o, f, 1e-5f);
    EXPECT_EQ(rec.Take(), 0);
    EXPECT_EQ(o.Pixels[6 * 13 + 6], float((long double)c + 0.5L)) << c;
  }
  // Window 0,0,0 / 0,9,0 / 0,0,0 around (1,1): m = 1, r = 81/9 - 1 = 8.
  // With q = r the result is m + 0.5 whatever the pixel.
  Grey(src, 3, 3, 3, {0, 0, 0, 0, 9, 0, 0, 0, 0});
  CopyGrey(dst, src);
  AdaptiveMMSE(3, dst, src, std::sqrt(8.0f));
  EXPECT_NEAR(dst.Pixels[4], 1.5f, 1e-5f);
  // q = r / 2: (1 - 1/2) 9 + (1/2) 1 + 0.5 = 5.5.
  AdaptiveMMSE(3, dst, src, 2);
  EXPECT_EQ(dst.Pixels[4], 5.5f);
  // q = 2r: the ratio is not limited to 1: (1 - 2) 9 + 2 + 0.5 < 0 gives 0.
  AdaptiveMMSE(3, dst, src, 4);
  EXPECT_EQ(dst.Pixels[4], 0.0f);
}

TEST(AdaptiveMMSE, WideFlatWindowsHaveNoVariance) {
  // Beyond 255 x 255 values the sum of squares of large Singles rounds; a
  // flat window must still give r = 0 and so m + 0.5, not a speck.
  ErrorRecorder rec;
  const int n = 301;
  for (float c : {16777087.0f, 16777081.0f, 6207522.5f, 0.37f}) {
    TDataImage f, o;
    Grey(f, n + 1, n, 3);
    Fill(f, c);
    f.Pixels[n] = 1e30f;  // outside the centre's window: lifts the white level
    CopyGrey(o, f);
    AdaptiveMMSE(n, o, f, 1e-5f);
    EXPECT_EQ(rec.Take(), 0);
    EXPECT_EQ(o.Pixels[(n / 2) * (n + 1) + n / 2], float((long double)c + 0.5L)) << c;
  }
}

TEST(AdaptiveMMSE, IsWienerPlusAHalfWhereTheWindowVarianceExceedsTheNoise) {
  ErrorRecorder rec;
  TDataImage src, dst;
  Noisy(src, 48, 33, 2);
  for (int n : {3, 5}) {
    const float sd = 3;
    CopyGrey(dst, src);
    AdaptiveMMSE(n, dst, src, sd);
    EXPECT_EQ(rec.Take(), 0);
    ExpectBorderKept(dst, src, n / 2);
    // Compare only where r >= q and the result is not clamped.
    const std::string in = TempPath("mm_in"), out = TempPath("mm_out");
    WriteFile(in, Plane(src));
    char args[400];
    std::snprintf(args, sizeof args, "wiener %d %.9g 0 255 %d %d %s %s", n, double(sd * sd), src.Width, src.Height,
                  in.c_str(), out.c_str());
    ASSERT_TRUE(RunOracle("noise_filters.py", args, "numpy, scipy.ndimage, scipy.signal"));
    const auto wiener = ReadFile<double>(out);
    int compared = 0;
    const int h = n / 2;
    for (int y = h; y < src.Height - h; ++y)
      for (int x = h; x < src.Width - h; ++x) {
        double s = 0, s2 = 0;
        for (int dy = -h; dy <= h; ++dy)
          for (int dx = -h; dx <= h; ++dx) {
            const double v = src.Pixels[(y + dy) * src.Width + x + dx];
            s += v;
            s2 += v * v;
          }
        const double m = s / (n * n), r = s2 / (n * n) - m * m;
        const double expected = wiener[y * src.Width + x] + 0.5;
        if (r < sd * sd || expected < 0 || expected > 255) continue;
        ++compared;
        ASSERT_NEAR(dst.Pixels[y * src.Width + x], expected, 2e-4) << x << "," << y;
      }
    EXPECT_GT(compared, 200);
  }
}

TEST(AdaptiveDWMTM, BandMeanAroundTheMedian) {
  ErrorRecorder rec;
  TDataImage src, dst;
  Grey(src, 4, 6, 0);
  Fill(src, 7);
  src.Pixels[9] = 200;
  CopyGrey(dst, src);
  AdaptiveDWMTM(dst, src, 1, 3);  // narrower than 5: nothing written
  EXPECT_EQ(rec.Take(), 0);
  EXPECT_EQ(Plane(dst), Plane(src));

  Grey(src, 7, 7, 0);
  for (int i = 0; i < 49; ++i) src.Pixels[i] = float(20 + i % 3);  // 20, 21, 22
  src.Pixels[3 * 7 + 3] = 250;
  CopyGrey(dst, src);
  AdaptiveDWMTM(dst, src, 1, 1.5f);  // band: median 21 +- 1.5
  EXPECT_EQ(rec.Take(), 0);
  ExpectBorderKept(dst, src, 2);
  // The 5 x 5 round the spike holds everything but the spike within the band.
  long double sum = 0;
  for (int y = 1; y <= 5; ++y)
    for (int x = 1; x <= 5; ++x)
      if (!(x == 3 && y == 3)) sum += src.Pixels[y * 7 + x];
  EXPECT_EQ(dst.Pixels[3 * 7 + 3], float(sum / 24));
  // A band of width 0 keeps only the values equal to the median.
  AdaptiveDWMTM(dst, src, 0, 3);
  EXPECT_EQ(rec.Take(), 0);
  EXPECT_EQ(dst.Pixels[3 * 7 + 3], 21);
}

TEST(AdaptiveDWMTM, MatchesOracle) {
  ErrorRecorder rec;
  TDataImage src, dst;
  Noisy(src, 37, 26, 3);
  for (float thr : {0.0f, 1.0f, 3.0f}) {
    CopyGrey(dst, src);
    AdaptiveDWMTM(dst, src, 4, thr);
    EXPECT_EQ(rec.Take(), 0);
    CompareWithOracle("dwmtm", 5, 4, thr, src, dst, 2);
  }
}

TEST(ContraHarmonic, OrdersAndZeros) {
  ErrorRecorder rec;
  TDataImage src, dst;
  Grey(src, 3, 3, 0, {1, 2, 3, 4, 5, 6, 7, 8, 9});
  CopyGrey(dst, src);
  ContraHarmonic(0, 3, dst, src);  // the mean
  EXPECT_EQ(rec.Take(), 0);
  EXPECT_EQ(dst.Pixels[4], 5);
  ContraHarmonic(1, 3, dst, src);  // 285 / 45
  EXPECT_EQ(rec.Take(), 0);
  EXPECT_EQ(dst.Pixels[4], float(285.0L / 45));
  src.Pixels[0] = 0;
  ContraHarmonic(-1, 3, dst, src);
  EXPECT_EQ(rec.Take(), 0);
  EXPECT_EQ(dst.Pixels[4], 0);
  ContraHarmonic(-3, 3, dst, src);  // no division by the zero
  EXPECT_EQ(rec.Take(), 0);
  EXPECT_EQ(dst.Pixels[4], 0);
  // Orders >= 0 raise a zero without trouble; an all-zero window gives 0.
  Fill(src, 0);
  ContraHarmonic(2, 3, dst, src);
  EXPECT_EQ(rec.Take(), 0);
  EXPECT_EQ(dst.Pixels[4], 0);
  // Negative values are raised by repeated products; the result is clamped.
  Grey(src, 3, 3, 3, {-2, -2, -2, -2, -2, -2, -2, -2, 4});
  CopyGrey(dst, src);
  ContraHarmonic(1, 3, dst, src);  // (8*4 + 16) / (8*-2 + 4) < 0
  EXPECT_EQ(dst.Pixels[4], 0);
}

TEST(ContraHarmonic, MatchesOracle) {
  ErrorRecorder rec;
  TDataImage src, dst;
  Noisy(src, 30, 22, 4);
  for (int i = 0; i < 40; ++i) src.Pixels[(i * 37) % (30 * 22)] = 0;
  for (int n : {3, 5})
    for (int q : {-3, -1, 0, 2, 5}) {
      CopyGrey(dst, src);
      ContraHarmonic(q, n, dst, src);
      EXPECT_EQ(rec.Take(), 0);
      ExpectBorderKept(dst, src, n / 2);
      CompareWithOracle("ch", n, float(q), 0, src, dst, n / 2);
    }
}

TEST(AlphaTrimmed, DivisorIsCountPlusAHalf) {
  ErrorRecorder rec;
  TDataImage src, dst;
  Grey(src, 3, 3, 0, {9, 1, 8, 2, 7, 3, 6, 4, 5});
  CopyGrey(dst, src);
  AlphaTrimmed(0, 3, dst, src);
  EXPECT_EQ(rec.Take(), 0);
  EXPECT_EQ(dst.Pixels[4], float(45 / 9.5L));
  AlphaTrimmed(4, 3, dst, src);
  EXPECT_EQ(rec.Take(), 0);
  EXPECT_EQ(dst.Pixels[4], float(5 / 1.5L));
  for (int t : {5, 12}) {
    AlphaTrimmed(t, 3, dst, src);
    EXPECT_EQ(rec.Take(), 0);
    EXPECT_EQ(dst.Pixels[4], 0);
  }
  EXPECT_EQ(dst.Pixels[0], 9);  // border
}

TEST(AlphaTrimmed, SlidingWindowMatchesSortingEveryWindow) {
  ErrorRecorder rec;
  TDataImage src, dst;
  Noisy(src, 53, 31, 5);
  // Few distinct values: many ties in every window.
  for (int i = 0; i < 53 * 31; ++i)
    if (i % 5 == 0) src.Pixels[i] = float(int(src.Pixels[i]) / 40 * 40);
  for (int n : {3, 5, 7})
    for (int t : {0, 1, 3, n * n / 2}) {
      CopyGrey(dst, src);
      AlphaTrimmed(t, n, dst, src);
      EXPECT_EQ(rec.Take(), 0);
      ExpectBorderKept(dst, src, n / 2);
      CompareWithOracle("at", n, float(t), 0, src, dst, n / 2);
    }
  // Fractional values take the extended sum in sorted order.
  TDataImage frac;
  Grey(frac, 53, 31, 3);
  for (int i = 0; i < 53 * 31; ++i) frac.Pixels[i] = src.Pixels[i] * 0.37f - 20;
  for (int n : {3, 5}) {
    CopyGrey(dst, frac);
    AlphaTrimmed(2, n, dst, frac);
    EXPECT_EQ(rec.Take(), 0);
    CompareWithOracle("at", n, 2, 0, frac, dst, n / 2);
  }
}

TEST(NoiseFilters, RefusedParameters) {
  ErrorRecorder rec;
  TDataImage src, dst;
  Noisy(src, 12, 12, 6);
  CopyGrey(dst, src);
  NoiseFilter(4, dst, src, 1);
  EXPECT_EQ(rec.Take(), 47);
  AdaptiveMMSE(0, dst, src, 1);
  EXPECT_EQ(rec.Take(), 48);
  ContraHarmonic(1, -3, dst, src);
  EXPECT_EQ(rec.Take(), 50);
  ContraHarmonic(1, 1025, dst, src);
  EXPECT_EQ(rec.Take(), 50);
  ContraHarmonic(1, 1023, dst, src);  // no interior: nothing to do
  EXPECT_EQ(rec.Take(), 0);
  AlphaTrimmed(-1, 3, dst, src);
  EXPECT_EQ(rec.Take(), 51);
  AlphaTrimmed(1, 6, dst, src);
  EXPECT_EQ(rec.Take(), 51);
  TDataImage other;
  Grey(other, 12, 11, 0);
  AdaptiveDWMTM(other, src, 1, 1);
  EXPECT_EQ(rec.Take(), 49);
  EXPECT_EQ(Plane(dst), Plane(src));
}

TEST(NoiseFilters, FloatingPointWhiteLevelIsTheImageMaximum) {
  ErrorRecorder rec;
  TDataImage src, dst;
  Grey(src, 3, 3, 3, {0, 0, 0, 0, 100, 0, 0, 0, 1000});
  CopyGrey(dst, src);
  ContraHarmonic(3, 3, dst, src);  // (100^4 + 1000^4) / (100^3 + 1000^3) ~ 999.1
  EXPECT_EQ(rec.Take(), 0);
  EXPECT_EQ(dst.Pixels[4], float((1e8L + 1e12L) / (1e6L + 1e9L)));
  src.DataType = 0;
  src.TypeMax = 255;
  ContraHarmonic(3, 3, dst, src);
  EXPECT_EQ(dst.Pixels[4], 255);
}
