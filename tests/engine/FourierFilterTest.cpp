#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

#include "ImageTestHelpers.h"
#include "engine/FFT.h"
#include "engine/Processing.h"

using namespace ImgTest;

namespace {

void RandomImage(TDataImage& Image, int W, int H, unsigned Seed, float Low = 0, float High = 1000) {
  Grey(Image, W, H, 3);
  std::mt19937 rng(Seed);
  std::uniform_real_distribution<float> d(Low, High);
  for (int i = 0; i < W * H; ++i) Image.Pixels[i] = d(rng);
}

// Runs the filter and the numpy oracle on the same image; the largest
// difference relative to the result's maximum.
double CompareWithNumpy(bool Homomorphic, int Type, float Cutoff, float Emphasis, float Order, TDataImage& Src) {
  int ox, oy, pw, ph;
  auto padded = PadToPowerOfTwo(Src, ox, oy, pw, ph);
  EXPECT_TRUE(padded);
  if (!padded) return 1e9;
  const std::string in = TempPath("ff_in"), out = TempPath("ff_out");
  WriteFile(in, std::vector<float>(padded->Pixels, padded->Pixels + padded->PixelCount()));
  char args[600];
  std::snprintf(args, sizeof args, "%s %d %.9g %.9g %.9g %d %d %d %d %d %d %s %s", Homomorphic ? "homo" : "fft",
                Type, Cutoff, Emphasis, Order, pw, ph, ox, oy, Src.Width, Src.Height, in.c_str(), out.c_str());
  if (!RunOracle("fft_filter.py", args)) return 1e9;
  const std::vector<float> expected = ReadFile<float>(out);
  ErrorRecorder rec;
  TDataImage dst;
  CopyGrey(dst, Src);
  if (Homomorphic)
    HomomorphicFilter(dst, Src, Emphasis, Cutoff, Order);
  else
    FFTFilter(std::uint8_t(Type), dst, Src, Cutoff, Emphasis, Order);
  EXPECT_EQ(rec.Take(), 0);
  EXPECT_EQ(expected.size(), std::size_t(dst.PixelCount()));
  if (expected.size() != std::size_t(dst.PixelCount())) return 1e9;
  double worst = 0, top = 0;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    worst = std::max(worst, std::fabs(double(dst.Pixels[i]) - expected[i]));
    top = std::max(top, double(expected[i]));
  }
  return worst / top;
}

}  // namespace

TEST(FourierFilter, MatchesNumpyForEveryGain) {
  TDataImage src;
  RandomImage(src, 100, 50, 1);
  for (int i = 0; i < 12; ++i) src.Pixels[i * 91] = 5000;  // some structure above the noise
  struct Case { int type; float cutoff, emphasis, order; } cases[] = {
      {0, 16, 1, 1}, {0, 5, 0, 1}, {1, 16, 1, 1}, {1, 0.5f, 0, 1}, {1, 10, 0.3f, 1},
      {2, 16, 1, 1}, {2, 3.5f, 0, 4}, {2, 7, 0, 10}, {3, 16, 1, 1}, {3, 6, 0.2f, 3}, {3, 2, 0, 10}};
  for (const auto& c : cases)
    EXPECT_LT(CompareWithNumpy(false, c.type, c.cutoff, c.emphasis, c.order, src), 1e-5)
        << c.type << " " << c.cutoff << " " << c.emphasis << " " << c.order;
  for (float floor : {0.0f, 0.5f, 1.0f})
    for (float cutoff : {0.0f, 2.0f, 10.0f})
      EXPECT_LT(CompareWithNumpy(true, 0, cutoff, floor, 2, src), 1e-5) << floor << " " << cutoff;
}

TEST(FourierFilter, WideIdealLowPassReturnsTheSource) {
  ErrorRecorder rec;
  TDataImage src, dst;
  RandomImage(src, 70, 30, 2, -50, 1000);
  CopyGrey(dst, src);
  FFTFilter(0, dst, src, 1000, 1, 1);
  EXPECT_EQ(rec.Take(), 0);
  float top = 0;
  for (int i = 0; i < 70 * 30; ++i) top = std::max(top, src.Pixels[i]);
  for (int i = 0; i < 70 * 30; ++i) ASSERT_NEAR(dst.Pixels[i], std::max(0.0f, src.Pixels[i]), 1e-4f * top) << i;
  // The rescaling makes the largest pixel the source's largest.
  EXPECT_FLOAT_EQ(*std::max_element(dst.Pixels, dst.Pixels + 70 * 30), top);
}

TEST(FourierFilter, HighPassWithoutEmphasisRemovesTheMean) {
  // A pure cosine along x over a constant: only the zero frequency goes, the
  // rescaling brings the peaks back to the input maximum.
  ErrorRecorder rec;
  TDataImage src, dst;
  Grey(src, 64, 64, 3);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) src.Pixels[y * 64 + x] = float(100 + 50 * std::cos(2 * M_PI * 4 * x / 64));
  CopyGrey(dst, src);
  FFTFilter(1, dst, src, 0.5f, 0, 1);
  EXPECT_EQ(rec.Take(), 0);
  for (int x = 0; x < 64; ++x) {
    const double c = std::cos(2 * M_PI * 4 * x / 64);
    EXPECT_NEAR(dst.Pixels[5 * 64 + x], std::max(0.0, 150 * c), 1e-3) << x;
  }
}

TEST(FourierFilter, HomomorphicOfAConstantIsTheConstant) {
  ErrorRecorder rec;
  for (float c : {0.0f, 3.0f, 1234.5f}) {
    TDataImage src, dst;
    Grey(src, 40, 20, 3);
    Fill(src, c);
    CopyGrey(dst, src);
    Fill(dst, -1);
    HomomorphicFilter(dst, src, 0.5f, 2, 2);
    EXPECT_EQ(rec.Take(), 0) << c;
    // Zeros stay zeros: P_in = 0 scales the exponentiated ones down.
    for (int i = 0; i < 800; ++i) ASSERT_NEAR(dst.Pixels[i], c, 1e-5f * c) << i;
  }
}

TEST(FourierFilter, Failures) {
  ErrorRecorder rec;
  TDataImage zero, dst;
  Grey(zero, 30, 30, 3);
  CopyGrey(dst, zero);
  // Nothing positive in: P_in = 0 gives zeros, though P_out is 0 too.
  std::fill(dst.Pixels, dst.Pixels + dst.PixelCount(), 5.0f);
  FFTFilter(0, dst, zero, 10, 1, 1);
  EXPECT_EQ(rec.Take(), 0);
  EXPECT_EQ(Plane(dst), Plane(zero));
  // Something positive in and nothing out: P_out = 0.
  TDataImage sunk;
  Grey(sunk, 30, 30, 3);
  std::fill(sunk.Pixels, sunk.Pixels + sunk.PixelCount(), -100.0f);
  sunk.Pixels[465] = 0.001f;
  FFTFilter(0, dst, sunk, 10, 1, 1);
  EXPECT_EQ(rec.Take(), 56);
  FFTFilter(2, dst, zero, 0, 1, 1);  // D / 0
  EXPECT_EQ(rec.Take(), 56);

  TDataImage src, out;
  RandomImage(src, 30, 30, 4);
  src.Pixels[400] = -0.5f;  // ln(0)
  CopyGrey(out, src);
  HomomorphicFilter(out, src, 0.5f, 2, 2);
  EXPECT_EQ(rec.Take(), 55);
  EXPECT_EQ(Plane(out), Plane(src));
  src.Pixels[400] = -0.4f;
  HomomorphicFilter(out, src, 0.5f, 2, 2);
  EXPECT_EQ(rec.Take(), 0);
  // A huge floor lifts the log image beyond what exp can give as a Single.
  src.Pixels[400] = 60000;
  HomomorphicFilter(out, src, 100, 2, 2);
  EXPECT_EQ(rec.Take(), 55);

  // A destination of another size is refused.
  TDataImage small;
  Grey(small, 10, 30, 3);
  FFTFilter(0, small, src, 10, 1, 1);
  EXPECT_EQ(rec.Take(), 56);
}

TEST(FourierFilter, SidesBeyondTheTransformAreAFailureNotGarbage) {
  ErrorRecorder rec;
  TDataImage src, dst;
  RandomImage(src, 5000, 2, 6);  // pads to 8192
  CopyGrey(dst, src);
  FFTFilter(0, dst, src, 1e6f, 1, 1);
  EXPECT_EQ(rec.Take(), 0);
  EXPECT_NEAR(dst.Pixels[777], src.Pixels[777], 1e-3f * 1000);
  RandomImage(src, 8193, 1, 6);  // stays 8193: no power of two
  CopyGrey(dst, src);
  FFTFilter(0, dst, src, 1e6f, 1, 1);
  EXPECT_EQ(rec.Take(), 56);
  EXPECT_EQ(Plane(dst), Plane(src));
}
