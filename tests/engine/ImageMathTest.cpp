#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "ImageTestHelpers.h"
#include "engine/ImageCombine.h"
#include "engine/ImageMath.h"

using namespace ImgTest;

namespace {
std::vector<float> PixelMathOf(std::uint8_t Op, float K, std::uint8_t Type, const std::vector<float>& Values,
                               int Expected = 0) {
  ErrorRecorder rec;
  TDataImage src, dst;
  Grey(src, int(Values.size()), 1, Type, Values);
  CopyGrey(dst, src);
  PixelMath(Op, dst, src, K);
  EXPECT_EQ(rec.Take(), Expected);
  return Plane(dst);
}
}  // namespace

TEST(PixelMath, OperatorsAndClamps) {
  EXPECT_EQ(PixelMathOf(1, 10, 0, {4, 10, 200}), (std::vector<float>{0, 0, 190}));
  EXPECT_EQ(PixelMathOf(0, 100, 0, {4, 155, 200}), (std::vector<float>{104, 255, 255}));
  EXPECT_EQ(PixelMathOf(2, 2, 0, {200, 3}), (std::vector<float>{255, 6}));
  EXPECT_EQ(PixelMathOf(2, 2, 1, {200, 40000}), (std::vector<float>{400, 65535}));
  EXPECT_EQ(PixelMathOf(3, 0, 3, {-7.5f, 3.25f}), (std::vector<float>{0, 3.25f}));  // divide by 0: by 1
  EXPECT_EQ(PixelMathOf(3, 4, 0, {10}), (std::vector<float>{2.5f}));
  EXPECT_EQ(PixelMathOf(4, 0, 0, {99, 0, 9999}), (std::vector<float>{2, 0, 4}));
  EXPECT_EQ(PixelMathOf(5, 0, 0, {255, 16, 0}), (std::vector<float>{std::sqrt(255.0f), 4, 0}));
}

TEST(PixelMath, CopiesDisplayPointsAndFindsMaximum) {
  ErrorRecorder rec;
  TDataImage src, dst;
  Grey(src, 2, 2, 3, {1, 2, 3, 4});
  src.BlackPoint = 1;
  src.WhitePoint = 4;
  CopyGrey(dst, src);
  dst.BlackPoint = -3;
  dst.WhitePoint = 99;
  PixelMath(2, dst, src, 10);
  EXPECT_EQ(rec.Take(), 0);
  EXPECT_EQ(dst.BlackPoint, 1);
  EXPECT_EQ(dst.WhitePoint, 4);
  EXPECT_EQ(dst.MaxValue, 40);
}

TEST(PixelMath, LogAndRootOfNegativePixelsFail) {
  // The pixels before the failing one are written, the rest keep the copy.
  const int w = 64, h = 40;
  for (std::uint8_t op : {std::uint8_t(4), std::uint8_t(5)}) {
    ErrorRecorder rec;
    TDataImage src, dst;
    Grey(src, w, h, 3);
    Fill(src, 9);
    src.Pixels[25 * w + 3] = op == 4 ? -1.0f : -0.001f;
    CopyGrey(dst, src);
    PixelMath(op, dst, src, 0);
    EXPECT_EQ(rec.Take(), 41);
    const float done = op == 4 ? 1.0f : 3.0f;
    for (int i = 0; i < w * h; ++i) ASSERT_EQ(dst.Pixels[i], i < 25 * w + 3 ? done : src.Pixels[i]) << i;
  }
  // Just above -1 the logarithm is defined (negative, clamped to 0).
  EXPECT_EQ(PixelMathOf(4, 0, 3, {-0.5f}), (std::vector<float>{0}));
}

TEST(PixelMath, DestinationOfAnotherSizeIsRefused) {
  ErrorRecorder rec;
  TDataImage src, dst;
  Grey(src, 3, 3, 0);
  Grey(dst, 3, 2, 0);
  Fill(dst, 7);
  PixelMath(0, dst, src, 1);
  EXPECT_EQ(rec.Take(), 41);
  EXPECT_EQ(Plane(dst), std::vector<float>(6, 7));
}

TEST(PixelMath, MatchesNumpy) {
  const int n = 5000;
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> any(0, 70000);
  std::vector<float> v(n);
  for (int i = 0; i < n; ++i) v[i] = i % 2 ? std::nearbyint(any(rng)) : any(rng);
  const std::string in = TempPath("pm_in"), out = TempPath("pm_out");
  WriteFile(in, v);
  const float ks[] = {12.75f, 0.3f, 1.7f, 0.37f, 0, 0};
  for (int op = 0; op <= 5; ++op) {
    char args[200];
    std::snprintf(args, sizeof args, "pixel %d %.9g %.9g %s %s", op, ks[op], 65535.0, in.c_str(), out.c_str());
    ASSERT_TRUE(RunOracle("imagemath.py", args));
    EXPECT_EQ(PixelMathOf(std::uint8_t(op), ks[op], 1, v), ReadFile<float>(out)) << op;
  }
}

TEST(ImageArithmetic, ZeroDivideConstantIsRefusedWithWarning) {
  for (int side = 0; side < 3; ++side) {
    ErrorRecorder rec;
    WarningRecorder warn;
    TDataImage a, b, dst;
    Grey(a, 2, 2, 3, {1, 2, 3, 4});
    Grey(b, 2, 2, 3, {1, 2, 3, 4});
    Grey(dst, 2, 2, 3);
    Fill(dst, 5);
    // Both sides at fault: only A is named.
    ImageArithmetic(side == 1 ? 99 : 3, side == 0 ? 0 : 3, 0, 0, 0, a, b, dst);
    EXPECT_EQ(rec.Take(), 42);
    ASSERT_EQ(warn.Texts.size(), 1u);
    EXPECT_EQ(warn.Texts[0], std::string("The current settings will result in a division by zero.  Please change the Image ") +
                                 (side == 1 ? "B" : "A") + " settings.");
    EXPECT_EQ(Plane(dst), std::vector<float>(4, 5));
  }
}

TEST(ImageArithmetic, CombinesPixelByPixel) {
  ErrorRecorder rec;
  TDataImage a, b, dst;
  Grey(a, 4, 1, 3, {10, 20, 30, 40});
  Grey(b, 4, 1, 3, {11, 0, 2, 50});
  Grey(dst, 4, 1, 3);
  ImageArithmetic(99, 99, 1, 0, 0, a, b, dst);  // A - B
  EXPECT_EQ(rec.Take(), 0);
  EXPECT_EQ(Plane(dst), (std::vector<float>{0, 20, 28, 0}));
  ImageArithmetic(99, 99, 3, 0, 0, a, b, dst);  // A / B, zero divisor gives 0
  EXPECT_EQ(rec.Take(), 0);
  EXPECT_EQ(Plane(dst), (std::vector<float>{10.0f / 11, 0, 15, 0.8f}));
  ImageArithmetic(2, 1, 0, 2, 1, a, b, dst);  // 2A + (B - 1)
  EXPECT_EQ(rec.Take(), 0);
  EXPECT_EQ(Plane(dst), (std::vector<float>{30, 39, 61, 129}));
  ImageArithmetic(99, 1, 3, 0, 2, a, b, dst);  // A / (B - 2): the third divisor is 0
  EXPECT_EQ(rec.Take(), 0);
  EXPECT_EQ(Plane(dst), (std::vector<float>{10.0f / 9, 0, 0, 40.0f / 48}));
  Grey(dst, 4, 1, 0);  // 8-bit destination clamps at 255
  ImageArithmetic(99, 99, 2, 0, 0, a, b, dst);
  EXPECT_EQ(Plane(dst), (std::vector<float>{110, 0, 60, 255}));
}

TEST(ImageCombine, MedianOfAnEvenCountIsTheUpperMiddleValue) {
  // Four 3 x 2 frames; each pixel's values come in a different order.
  const std::vector<std::vector<float>> frames = {
      {4, 0.5f, -2, 9, 100, 6}, {1, 7, -3, 8, 200, 5}, {3, -1, -1, 7, 300, 6}, {2, 7, -4, 6, 400, 6}};
  const struct {
    int N;
    std::vector<float> Median;
  } cases[] = {
      {2, {4, 7, -2, 9, 200, 6}},
      {3, {3, 0.5f, -2, 8, 200, 6}},
      {4, {3, 7, -2, 8, 300, 6}},
  };
  TDataImage images[4];
  for (int k = 0; k < 4; ++k) Grey(images[k], 3, 2, 3, frames[std::size_t(k)]);
  for (const auto& c : cases) {
    std::vector<const TDataImage*> series;
    for (int k = 0; k < c.N; ++k) series.push_back(&images[k]);
    TDataImage result;
    CombineImages(series, std::vector<std::string>(std::size_t(c.N), "f"), cmMedian, result);
    EXPECT_EQ(Plane(result), c.Median) << c.N << " frames";
  }
}

TEST(ImageArithmetic, ImagesOfDifferentSizesAreRefused) {
  ErrorRecorder rec;
  TDataImage a, b, dst;
  Grey(a, 3, 2, 3);
  Grey(b, 2, 3, 3);
  Grey(dst, 3, 2, 3);
  Fill(dst, 1);
  ImageArithmetic(99, 99, 0, 0, 0, a, b, dst);
  EXPECT_EQ(rec.Take(), 42);
  Grey(b, 3, 2, 3);
  Grey(dst, 3, 3, 3);
  Fill(dst, 1);
  ImageArithmetic(99, 99, 0, 0, 0, a, b, dst);
  EXPECT_EQ(rec.Take(), 42);
  EXPECT_EQ(Plane(dst), std::vector<float>(9, 1));
}

TEST(ImageArithmetic, MatchesNumpy) {
  const int w = 91, h = 33;
  std::mt19937 rng(8);
  std::uniform_real_distribution<float> any(0, 5000);
  std::vector<float> va(w * h), vb(w * h);
  for (int i = 0; i < w * h; ++i) {
    va[i] = any(rng);
    vb[i] = i % 7 == 0 ? 0.0f : any(rng);
  }
  const std::string a = TempPath("ia_a"), b = TempPath("ia_b"), out = TempPath("ia_out");
  WriteFile(a, va);
  WriteFile(b, vb);
  struct Case { int opa, opb, comb; float ka, kb; } cases[] = {
      {99, 99, 0, 0, 0}, {2, 3, 1, 0.3f, 7.1f}, {0, 1, 2, 1.5f, 0.25f}, {3, 2, 3, 3.3f, 0.7f}, {1, 99, 3, 2.2f, 0}};
  for (const auto& c : cases) {
    char args[400];
    std::snprintf(args, sizeof args, "image %d %d %d %.9g %.9g %.9g %s %s %s", c.opa, c.opb, c.comb, c.ka, c.kb,
                  2.0e32, a.c_str(), b.c_str(), out.c_str());
    ASSERT_TRUE(RunOracle("imagemath.py", args));
    ErrorRecorder rec;
    TDataImage ia, ib, dst;
    Grey(ia, w, h, 3, va);
    Grey(ib, w, h, 3, vb);
    Grey(dst, w, h, 3);
    ImageArithmetic(std::uint8_t(c.opa), std::uint8_t(c.opb), std::uint8_t(c.comb), c.ka, c.kb, ia, ib, dst);
    EXPECT_EQ(rec.Take(), 0);
    EXPECT_EQ(Plane(dst), ReadFile<float>(out)) << c.opa << " " << c.opb << " " << c.comb;
  }
}
