#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "ImageTestHelpers.h"
#include "engine/ColMath.h"

using namespace ImgTest;

namespace {

void RandomColour(TDataImage& Image, int W, int H, unsigned Seed, int ZeroEvery = 0) {
  ASSERT_TRUE(Image.Allocate(W, H, 0, true));
  std::mt19937 rng(Seed);
  std::uniform_int_distribution<int> d(0, 255);
  auto* p = reinterpret_cast<std::uint8_t*>(Image.RGBPlane);
  for (int i = 0; i < 3 * W * H; ++i) p[i] = ZeroEvery && i % ZeroEvery == 0 ? 0 : std::uint8_t(d(rng));
}

std::vector<std::uint8_t> Bytes(const TDataImage& Image) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(Image.RGBPlane);
  return std::vector<std::uint8_t>(p, p + 3 * Image.PixelCount());
}

// Every byte value once per channel.
void AllBytes(TDataImage& Image) {
  ASSERT_TRUE(Image.Allocate(256, 1, 0, true));
  for (int i = 0; i < 256; ++i) Image.RGBPlane[i] = TRGBPixel{std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i)};
}

}  // namespace

TEST(ColPixelMath, WorkedExamples) {
  ErrorRecorder rec;
  TDataImage src, dst;
  AllBytes(src);
  ASSERT_TRUE(dst.Allocate(256, 1, 0, true));
  ColPixelMath(0, dst, src, 0.5f);  // c + 0.5 rounds to the even neighbour
  EXPECT_EQ(rec.Take(), 0);
  EXPECT_EQ(dst.RGBPlane[10].Red, 10);
  EXPECT_EQ(dst.RGBPlane[11].Red, 12);
  EXPECT_EQ(dst.RGBPlane[255].Red, 255);
  ColPixelMath(4, dst, src, 0);
  EXPECT_EQ(dst.RGBPlane[255].Red, 2);
  EXPECT_EQ(dst.RGBPlane[2].Red, 0);   // log10(3) = 0.48
  EXPECT_EQ(dst.RGBPlane[3].Red, 1);   // log10(4) = 0.60
  ColPixelMath(5, dst, src, 0);
  EXPECT_EQ(dst.RGBPlane[255].Red, 16);
  EXPECT_EQ(dst.RGBPlane[2].Red, 1);   // 1.41
  ColPixelMath(3, dst, src, 0);        // divide by 0: by 1
  EXPECT_EQ(Bytes(dst), Bytes(src));
  ColPixelMath(1, dst, src, 300);
  EXPECT_EQ(dst.RGBPlane[255].Red, 0);
  ColPixelMath(2, dst, src, 2.5f);     // 1 * 2.5 -> 2, 3 * 2.5 -> 8 (7.5 to even)
  EXPECT_EQ(dst.RGBPlane[1].Red, 2);
  EXPECT_EQ(dst.RGBPlane[3].Red, 8);
  EXPECT_EQ(dst.RGBPlane[200].Red, 255);
  EXPECT_EQ(rec.Codes, std::vector<int>(5, 0));
}

TEST(ColPixelMath, HugeConstantFailsAtTheFirstNonZeroByte) {
  ErrorRecorder rec;
  TDataImage src, dst;
  ASSERT_TRUE(src.Allocate(100, 50, 0, true));
  ASSERT_TRUE(dst.Allocate(100, 50, 0, true));
  for (int i = 0; i < 5000; ++i) dst.RGBPlane[i] = TRGBPixel{9, 9, 9};
  src.RGBPlane[3000].Green = 1;
  ColPixelMath(2, dst, src, 1e30f);
  EXPECT_EQ(rec.Take(), 19);
  for (int i = 0; i < 5000; ++i) ASSERT_EQ(dst.RGBPlane[i].Green, i < 3000 ? 0 : 9) << i;
  TDataImage other;
  ASSERT_TRUE(other.Allocate(100, 49, 0, true));
  ColPixelMath(0, other, src, 1);
  EXPECT_EQ(rec.Take(), 19);
}

TEST(ColPixelMath, MatchesNumpy) {
  TDataImage src, dst;
  RandomColour(src, 64, 20, 1);
  const std::string in = TempPath("cpm_in"), out = TempPath("cpm_out");
  WriteFile(in, Bytes(src));
  const float ks[] = {17.5f, 0.3f, 1.7f, 0.37f, 0, 0};
  for (int op = 0; op <= 5; ++op) {
    char args[300];
    std::snprintf(args, sizeof args, "pixel %d %.9g %s %s", op, ks[op], in.c_str(), out.c_str());
    ASSERT_TRUE(RunOracle("colour_math.py", args));
    ErrorRecorder rec;
    ASSERT_TRUE(dst.Allocate(64, 20, 0, true));
    ColPixelMath(std::uint8_t(op), dst, src, ks[op]);
    EXPECT_EQ(rec.Take(), 0);
    EXPECT_EQ(Bytes(dst), ReadFile<std::uint8_t>(out)) << op;
  }
}

TEST(ColImageArithmetic, ZeroDivisorKeepsTheDividendAndSumsSaturate) {
  ErrorRecorder rec;
  WarningRecorder warn;
  TDataImage a, b, dst;
  ASSERT_TRUE(a.Allocate(2, 1, 0, true));
  ASSERT_TRUE(b.Allocate(2, 1, 0, true));
  ASSERT_TRUE(dst.Allocate(2, 1, 0, true));
  a.RGBPlane[0] = TRGBPixel{10, 200, 255};
  a.RGBPlane[1] = TRGBPixel{7, 100, 1};
  b.RGBPlane[0] = TRGBPixel{0, 100, 4};
  b.RGBPlane[1] = TRGBPixel{2, 0, 255};
  ColImageArithmetic(0, 0, 3, 0, 0, a, b, dst);
  EXPECT_EQ(rec.Take(), 0);
  EXPECT_EQ(Bytes(dst), (std::vector<std::uint8_t>{10, 2, 64, 4, 100, 0}));  // 255/4 = 63.75, 7/2 = 3.5
  ColImageArithmetic(0, 0, 0, 0, 0, a, b, dst);
  EXPECT_EQ(Bytes(dst), (std::vector<std::uint8_t>{10, 255, 255, 9, 100, 255}));
  // Divide constants of 0 count as 1, without a warning.
  ColImageArithmetic(3, 3, 1, 0, 0, a, b, dst);
  EXPECT_EQ(Bytes(dst), (std::vector<std::uint8_t>{10, 100, 251, 5, 100, 0}));
  EXPECT_TRUE(warn.Texts.empty());
  EXPECT_EQ(rec.Codes, (std::vector<int>{0, 0}));
  TDataImage small;
  ASSERT_TRUE(small.Allocate(1, 1, 0, true));
  rec.Codes.clear();
  ColImageArithmetic(0, 0, 0, 0, 0, a, small, dst);
  EXPECT_EQ(rec.Take(), 22);
  ColImageArithmetic(0, 0, 0, 0, 0, a, b, small);
  EXPECT_EQ(rec.Take(), 22);
}

TEST(ColImageArithmetic, MatchesNumpy) {
  TDataImage a, b, dst;
  RandomColour(a, 40, 30, 2);
  RandomColour(b, 40, 30, 3, 11);
  const std::string fa = TempPath("cia_a"), fb = TempPath("cia_b"), out = TempPath("cia_out");
  WriteFile(fa, Bytes(a));
  WriteFile(fb, Bytes(b));
  struct Case { int opa, opb, comb; float ka, kb; } cases[] = {
      {0, 0, 0, 0, 0}, {0, 0, 3, 0, 0}, {2, 3, 1, 0.3f, 7.1f}, {1, 0, 2, 1.5f, 0.25f}, {3, 1, 3, 0, 3}};
  for (const auto& c : cases) {
    char args[400];
    std::snprintf(args, sizeof args, "image %d %d %d %.9g %.9g %s %s %s", c.opa, c.opb, c.comb, c.ka, c.kb,
                  fa.c_str(), fb.c_str(), out.c_str());
    ASSERT_TRUE(RunOracle("colour_math.py", args));
    ErrorRecorder rec;
    ASSERT_TRUE(dst.Allocate(40, 30, 0, true));
    ColImageArithmetic(std::uint8_t(c.opa), std::uint8_t(c.opb), std::uint8_t(c.comb), c.ka, c.kb, a, b, dst);
    EXPECT_EQ(rec.Take(), 0);
    EXPECT_EQ(Bytes(dst), ReadFile<std::uint8_t>(out)) << c.opa << " " << c.opb << " " << c.comb;
  }
}
