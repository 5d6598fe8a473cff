#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>

#include "ImageTestHelpers.h"
#include "engine/ColProcessing.h"
#include "engine/Processing.h"

using namespace ImgTest;

namespace {

void Colour(TDataImage& Image, int W, int H, const std::vector<TRGBPixel>& Pixels = {}) {
  ASSERT_TRUE(Image.Allocate(W, H, 0, true));
  for (std::size_t i = 0; i < Pixels.size() && i < std::size_t(W) * H; ++i) Image.RGBPlane[i] = Pixels[i];
}

void RandomColour(TDataImage& Image, int W, int H, unsigned Seed) {
  Colour(Image, W, H);
  std::mt19937 rng(Seed);
  std::uniform_int_distribution<int> d(0, 255);
  for (int i = 0; i < W * H; ++i)
    Image.RGBPlane[i] = TRGBPixel{std::uint8_t(d(rng)), std::uint8_t(d(rng)), std::uint8_t(d(rng))};
}

std::vector<std::uint8_t> Bytes(const TDataImage& Image) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(Image.RGBPlane);
  return std::vector<std::uint8_t>(p, p + 3 * Image.PixelCount());
}

TRGBPixel RGB(int R, int G, int B) { return TRGBPixel{std::uint8_t(B), std::uint8_t(G), std::uint8_t(R)}; }

bool Same(const TRGBPixel& a, const TRGBPixel& b) { return a.Red == b.Red && a.Green == b.Green && a.Blue == b.Blue; }

TRGBPixel HSIOf(TRGBPixel p, float Hue, float Sat, float Int) {
  ErrorRecorder rec;
  TDataImage src, dst;
  Colour(src, 1, 1, {p});
  Colour(dst, 1, 1);
  ColHSIAdjust(dst, src, Hue, Sat, Int);
  EXPECT_EQ(rec.Take(), 0);
  return dst.RGBPlane[0];
}

}  // namespace

TEST(UnsharpMask, AmountOneFlatAreasAndSmallImagesKeepTheSource) {
  ErrorRecorder rec;
  TDataImage src, dst;
  Grey(src, 9, 7, 1);
  std::mt19937 rng(1);
  for (int i = 0; i < 63; ++i) src.Pixels[i] = float(rng() % 60000);
  CopyGrey(dst, src);
  UnsharpMask(5, dst, src, 1);
  EXPECT_EQ(rec.Take(), 0);
  EXPECT_EQ(Plane(dst), Plane(src));
  for (float amount : {0.1f, 3.0f, 10.0f}) {
    UnsharpMask(9, dst, src, amount);  // wider than the image is high: no interior
    EXPECT_EQ(rec.Take(), 0);
    EXPECT_EQ(Plane(dst), Plane(src));
    TDataImage flat, out;
    Grey(flat, 8, 8, 0);
    Fill(flat, 77);
    CopyGrey(out, flat);
    UnsharpMask(3, out, flat, amount);
    EXPECT_EQ(rec.Take(), 0);
    EXPECT_EQ(Plane(out), Plane(flat));
  }
  // Amount 1 gives the source clamped to [0, white level]: a negative
  // floating-point pixel becomes 0.
  Grey(src, 6, 5, 3);
  for (int i = 0; i < 30; ++i) src.Pixels[i] = float(i) - 4.5f;
  CopyGrey(dst, src);
  UnsharpMask(3, dst, src, 1);
  EXPECT_EQ(rec.Take(), 0);
  for (int i = 0; i < 30; ++i) EXPECT_EQ(dst.Pixels[i], std::max(0.0f, src.Pixels[i])) << i;
  // A spike of 110 in 20 has blur 30 round it: 10 p - 9 blur gives 830 at
  // the spike (clamped to the 8-bit 255) and -70 beside it (clamped to 0);
  // the border blurs to itself.
  Grey(src, 5, 5, 0);
  Fill(src, 20);
  src.Pixels[12] = 110;
  CopyGrey(dst, src);
  UnsharpMask(3, dst, src, 10);
  EXPECT_EQ(rec.Take(), 0);
  EXPECT_EQ(dst.Pixels[12], 255);
  EXPECT_EQ(dst.Pixels[6], 0);
  EXPECT_EQ(dst.Pixels[0], 20);
  UnsharpMask(4, dst, src, 2);
  EXPECT_EQ(rec.Take(), 35);
}

TEST(UnsharpMask, MatchesScipy) {
  ErrorRecorder rec;
  TDataImage src, dst;
  const int w = 47, h = 29;
  Grey(src, w, h, 3);
  std::mt19937 rng(2);
  for (int i = 0; i < w * h; ++i) src.Pixels[i] = float(rng() % 4000) * 0.25f;
  for (int size : {3, 5, 7})
    for (float amount : {1.5f, 10.0f}) {
      CopyGrey(dst, src);
      UnsharpMask(size, dst, src, amount);
      EXPECT_EQ(rec.Take(), 0);
      const std::string in = TempPath("um_in"), out = TempPath("um_out");
      WriteFile(in, Plane(src));
      char args[400];
      float white = 0;
      for (int i = 0; i < w * h; ++i) white = std::max(white, src.Pixels[i]);
      std::snprintf(args, sizeof args, "grey %d %.9g %.9g %d %d %s %s", size, amount, white, w, h, in.c_str(),
                    out.c_str());
      ASSERT_TRUE(RunOracle("unsharp.py", args, "numpy, scipy.ndimage, scipy.signal"));
      const auto expected = ReadFile<double>(out);
      ASSERT_EQ(expected.size(), std::size_t(w * h));
      for (int i = 0; i < w * h; ++i) ASSERT_NEAR(dst.Pixels[i], expected[i], 1e-3) << i;
    }
}

TEST(UnsharpMask, BitForBitTheExtendedFormula) {
  // The blur and the result as the formula reads, in extended precision, on
  // data of every magnitude; the routine's fast paths must agree to the bit.
  ErrorRecorder rec;
  TDataImage src, dst;
  const int w = 61, h = 37;
  Grey(src, w, h, 3);
  std::mt19937 rng(9);
  std::uniform_real_distribution<float> m(0.5f, 1.0f), ex(-6.0f, 6.0f);
  for (int i = 0; i < w * h; ++i) src.Pixels[i] = m(rng) * std::pow(10.0f, ex(rng));
  float white = 0;
  for (int i = 0; i < w * h; ++i) white = std::max(white, src.Pixels[i]);
  for (float amount : {2.0f, 1.37f, 7.3f, 1e-9f, 123456.7f}) {
    CopyGrey(dst, src);
    UnsharpMask(5, dst, src, amount);
    ASSERT_EQ(rec.Take(), 0);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        float blur = src.Pixels[y * w + x];
        if (x >= 2 && y >= 2 && x < w - 2 && y < h - 2) {
          long double sum = 0;
          for (int dy = -2; dy <= 2; ++dy)
            for (int dx = -2; dx <= 2; ++dx) sum += src.Pixels[(y + dy) * w + x + dx];
          blur = float(sum / 25);
        }
        long double v = (long double)amount * src.Pixels[y * w + x] - ((long double)amount - 1) * blur;
        v = v < 0 ? 0 : v > white ? white : v;
        ASSERT_EQ(dst.Pixels[y * w + x], float(v)) << amount << " at " << x << "," << y;
      }
  }
}

TEST(ColUnsharpMask, RoundedBlurAndClamp) {
  ErrorRecorder rec;
  TDataImage src, dst;
  RandomColour(src, 6, 5, 3);
  CopyGrey(dst, src);
  ColUnsharpMask(3, dst, src, 1);
  EXPECT_EQ(rec.Take(), 0);
  EXPECT_EQ(Bytes(dst), Bytes(src));
  // Red 0 round a red 5: the window sum 5 over 9 rounds to 1 (a truncating
  // box gives 0), so with Amount 2 the centre is 10 - 1 = 9.
  Colour(src, 3, 3, std::vector<TRGBPixel>(9, RGB(0, 100, 250)));
  src.RGBPlane[4] = RGB(5, 100, 250);
  CopyGrey(dst, src);
  ColUnsharpMask(3, dst, src, 2);
  EXPECT_EQ(rec.Take(), 0);
  EXPECT_TRUE(Same(dst.RGBPlane[4], RGB(9, 100, 250)));
  ColUnsharpMask(3, dst, src, 3e30f);  // Round beyond 64 bits
  EXPECT_EQ(rec.Take(), 19);
  ColUnsharpMask(2, dst, src, 2);
  EXPECT_EQ(rec.Take(), 19);
}

TEST(ColUnsharpMask, MatchesNumpy) {
  ErrorRecorder rec;
  TDataImage src, dst;
  const int w = 40, h = 23;
  RandomColour(src, w, h, 4);
  for (int size : {3, 5, 7})
    for (float amount : {1.3f, 2.5f, 10.0f}) {
      CopyGrey(dst, src);
      ColUnsharpMask(size, dst, src, amount);
      EXPECT_EQ(rec.Take(), 0);
      const std::string in = TempPath("cum_in"), out = TempPath("cum_out");
      WriteFile(in, Bytes(src));
      char args[400];
      std::snprintf(args, sizeof args, "colour %d %.9g %d %d %s %s", size, amount, w, h, in.c_str(), out.c_str());
      ASSERT_TRUE(RunOracle("unsharp.py", args, "numpy, scipy.ndimage, scipy.signal"));
      EXPECT_EQ(Bytes(dst), ReadFile<std::uint8_t>(out)) << size << " " << amount;
    }
}

TEST(ColColourBalance, ShiftsRoundFromTheExactValue) {
  ErrorRecorder rec;
  TDataImage src, dst;
  Colour(src, 6, 1, {RGB(0, 0, 0), RGB(1, 1, 1), RGB(2, 100, 200), RGB(201, 255, 128), RGB(100, 50, 7),
                     RGB(255, 255, 255)});
  Colour(dst, 6, 1);
  ColColourBalance(0, 0, 0, dst, src);
  EXPECT_EQ(rec.Take(), 0);
  EXPECT_EQ(Bytes(dst), Bytes(src));
  ColColourBalance(100, 20, -100, dst, src);
  EXPECT_EQ(rec.Take(), 0);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(dst.RGBPlane[i].Red, 255);
    EXPECT_EQ(dst.RGBPlane[i].Blue, 0);
  }
  EXPECT_EQ(dst.RGBPlane[2].Green, 151);  // 100 + 51
  // Halves: 0 + 127.5 -> 128, 1 + 127.5 -> 128, 2 + 127.5 -> 130;
  // 201 - 127.5 -> 74, 100 - 127.5 -> 0; 0 + 229.5 -> 230, 1 + 229.5 -> 230.
  ColColourBalance(50, 90, -50, dst, src);
  EXPECT_EQ(dst.RGBPlane[0].Red, 128);
  EXPECT_EQ(dst.RGBPlane[1].Red, 128);
  EXPECT_EQ(dst.RGBPlane[2].Red, 130);
  EXPECT_EQ(dst.RGBPlane[0].Green, 230);
  EXPECT_EQ(dst.RGBPlane[1].Green, 230);
  EXPECT_EQ(dst.RGBPlane[2].Blue, 72);   // 200 - 127.5 = 72.5
  EXPECT_EQ(dst.RGBPlane[3].Blue, 0);    // 128 - 127.5 = 0.5
  EXPECT_EQ(dst.RGBPlane[1].Blue, 0);
  ColColourBalance(-50, 0, 0, dst, src);
  EXPECT_EQ(dst.RGBPlane[3].Red, 74);    // 73.5
  EXPECT_EQ(rec.Codes.size(), 2u);
}

TEST(ColourAdjust, ImagesOfAnotherSizeOrKindAreRefused) {
  ErrorRecorder rec;
  TDataImage src, dst, grey;
  RandomColour(src, 5, 4, 6);
  Colour(dst, 5, 3);
  const auto before = Bytes(dst);
  ColColourBalance(10, 0, 0, dst, src);
  EXPECT_EQ(rec.Take(), 15);
  ColHSIAdjust(dst, src, 30, 0, 0);
  EXPECT_EQ(rec.Take(), 108);
  ColUnsharpMask(3, dst, src, 2);
  EXPECT_EQ(rec.Take(), 19);
  EXPECT_EQ(Bytes(dst), before);
  // A grey image has no colour plane to read.
  Grey(grey, 5, 4, 0);
  Colour(dst, 5, 4);
  ColColourBalance(10, 0, 0, dst, grey);
  EXPECT_EQ(rec.Take(), 15);
  ColHSIAdjust(dst, grey, 30, 0, 0);
  EXPECT_EQ(rec.Take(), 108);
}

TEST(ColHSIAdjust, HueTurnsAndIntensity) {
  EXPECT_TRUE(Same(HSIOf(RGB(255, 0, 0), 120, 0, 0), RGB(0, 255, 0)));
  EXPECT_TRUE(Same(HSIOf(RGB(255, 0, 0), -180, 0, 0), RGB(0, 255, 255)));
  EXPECT_TRUE(Same(HSIOf(RGB(255, 0, 0), 240, 0, 0), RGB(0, 0, 255)));  // 240 stays below 360
  EXPECT_TRUE(Same(HSIOf(RGB(0, 0, 255), 120, 0, 0), RGB(255, 0, 0)));  // 360 stays 360, which is red
  EXPECT_TRUE(Same(HSIOf(RGB(10, 200, 30), 0, 0, -1), RGB(0, 0, 0)));
  EXPECT_TRUE(Same(HSIOf(RGB(0, 100, 50), 0, 0, 1), RGB(0, 255, 128)));  // 127.5 to even
  EXPECT_TRUE(Same(HSIOf(RGB(200, 100, 50), 0, -1, 0), RGB(200, 200, 200)));
  EXPECT_TRUE(Same(HSIOf(RGB(100, 50, 0), 0, 0.5f, 0), RGB(100, 50, 0)));  // already saturated
  for (float hue : {-180.0f, -37.5f, 90.0f, 180.0f})
    for (float sat : {-1.0f, 0.3f, 1.0f}) {
      EXPECT_TRUE(Same(HSIOf(RGB(128, 128, 128), hue, sat, 0), RGB(128, 128, 128)));
      EXPECT_TRUE(Same(HSIOf(RGB(0, 0, 0), hue, sat, 0.2f), RGB(51, 51, 51)));
    }
}

TEST(ColHSIAdjust, MatchesColorsys) {
  ErrorRecorder rec;
  TDataImage src, dst;
  RandomColour(src, 50, 40, 5);
  for (int i = 0; i < 50; ++i) src.RGBPlane[i * 7] = RGB(i * 5, i * 5, i * 5);  // greys
  struct Case { float h, s, v; } cases[] = {{0, 0, 0}, {45, 0, 0}, {-170, 0.2f, -0.1f}, {180, -0.5f, 0.3f}, {12.5f, 1, 0}};
  for (const auto& c : cases) {
    Colour(dst, 50, 40);
    ColHSIAdjust(dst, src, c.h, c.s, c.v);
    EXPECT_EQ(rec.Take(), 0);
    const std::string in = TempPath("hsi_in"), out = TempPath("hsi_out"), ties = TempPath("hsi_ties");
    WriteFile(in, Bytes(src));
    char args[400];
    std::snprintf(args, sizeof args, "%.9g %.9g %.9g %s %s %s", c.h, c.s, c.v, in.c_str(), out.c_str(),
                  ties.c_str());
    ASSERT_TRUE(RunOracle("hsi_colorsys.py", args));
    const auto expected = ReadFile<std::uint8_t>(out);
    const auto tie = ReadFile<std::uint8_t>(ties);
    const auto got = Bytes(dst);
    ASSERT_EQ(expected.size(), got.size());
    ASSERT_EQ(tie.size(), got.size());
    // Only where the exact value is a half may the two double evaluations
    // round to different neighbours.
    for (std::size_t i = 0; i < got.size(); ++i)
      if (got[i] != expected[i]) {
        ASSERT_TRUE(tie[i]) << c.h << " " << c.s << " " << c.v << " byte " << i << ": " << int(got[i]) << " vs "
                            << int(expected[i]);
        ASSERT_EQ(std::abs(int(got[i]) - int(expected[i])), 1) << i;
      }
  }
}

