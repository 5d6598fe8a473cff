// Point operations, grey and colour, and the display and output-range tables.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>

#include "EngineTestSupport.h"
#include "engine/ColProcessing.h"
#include "engine/Processing.h"

using testsupport::ErrorLog;

namespace {

template <typename F>
void Apply(TDataImage& dst, TDataImage& src, F&& Op) {
  testsupport::CopyOf(dst, src);
  Op(dst, src);
}

void ColourOf(TDataImage& img, std::initializer_list<TRGBPixel> px) {
  testsupport::Colour(img, int(px.size()), 1);
  int i = 0;
  for (auto p : px) img.RGBPlane[i++] = p;
}

std::string Str(const TRGBPixel& p) {
  return std::to_string(p.Blue) + "," + std::to_string(p.Green) + "," + std::to_string(p.Red);
}

float Ulp(float v) { return std::nextafter(std::fabs(v), INFINITY) - std::fabs(v); }

}  // namespace

TEST(GreyPointOps, BrightnessAndContrast) {
  ErrorLog log;
  TDataImage src, dst;
  testsupport::Grey(src, 5, 1, 1, {-4, 0, 7.25f, 100, 33});
  src.BlackPoint = -4;
  src.WhitePoint = 100;
  Apply(dst, src, [](auto& d, auto& s) { BrightnessContrast(0, 0, d, s); });
  EXPECT_EQ(log.Take(), std::vector<int>{0});
  EXPECT_EQ(dst.Pixels[0], 0.0f);  // negatives become 0
  EXPECT_EQ(dst.Pixels[2], 7.25f);
  EXPECT_EQ(dst.Pixels[3], 100.0f);
  EXPECT_EQ(src.MaxValue, 100.0f);

  testsupport::Grey(src, 4, 1, 0, {0, 10, 20, 30});  // mean 15, maximum 30
  Apply(dst, src, [](auto& d, auto& s) { BrightnessContrast(10, -100, d, s); });
  for (int i = 0; i < 4; ++i) EXPECT_EQ(dst.Pixels[i], 18.0f);  // 15 + 10 * 30 / 100
  Apply(dst, src, [](auto& d, auto& s) { BrightnessContrast(-100, 0, d, s); });
  for (int i = 0; i < 4; ++i) EXPECT_EQ(dst.Pixels[i], 0.0f);
  // Contrast 100: factor 11; (20 - 15) * 11 + 15 = 70 clamped to the maximum 30.
  Apply(dst, src, [](auto& d, auto& s) { BrightnessContrast(0, 100, d, s); });
  EXPECT_EQ(dst.Pixels[2], 30.0f);
  EXPECT_EQ(dst.Pixels[1], 0.0f);  // (10 - 15) * 11 + 15 = -40
  // Contrast -4: factor 1 - 2 / 10 = 0.8; (30 - 15) * 0.8 + 15 = 27.
  Apply(dst, src, [](auto& d, auto& s) { BrightnessContrast(0, -4, d, s); });
  EXPECT_EQ(dst.Pixels[3], 27.0f);
  log.Take();

  TDataImage empty, emptyDst;
  Apply(emptyDst, empty, [](auto& d, auto& s) { BrightnessContrast(0, 0, d, s); });
  EXPECT_EQ(log.Take(), std::vector<int>{24});  // the mean of no pixels
}

TEST(GreyPointOps, GammaRefusalsAndFaults) {
  ErrorLog log;
  TDataImage src, dst;
  testsupport::Grey(src, 4, 1, 3, {5, 10, 0, 2.5f});
  Apply(dst, src, [](auto& d, auto& s) { Gamma(d, s, 0.5f); });
  EXPECT_EQ(log.Take(), std::vector<int>{0});
  EXPECT_EQ(dst.Pixels[0], 2.5f);  // 10 * (5 / 10)^2
  EXPECT_EQ(dst.Pixels[1], 10.0f);
  EXPECT_EQ(dst.Pixels[2], 0.0f);
  EXPECT_EQ(dst.Pixels[3], 0.625f);

  testsupport::CopyOf(dst, src);
  dst.Pixels[0] = 77;
  src.MaxValue = -1;
  Gamma(dst, src, 0.0f);
  EXPECT_EQ(log.Take(), std::vector<int>{25});
  EXPECT_EQ(dst.Pixels[0], 77.0f);  // refused: nothing written
  EXPECT_EQ(src.MaxValue, -1.0f);

  // A zero maximum leaves nothing above 0 to scale: every result is 0, also
  // for a negative pixel under a root.
  for (const std::vector<float>& flat : {std::vector<float>{0, 0, 0}, std::vector<float>{-4, 0, -0.3f}}) {
    TDataImage zeros, zd;
    testsupport::Grey(zeros, 3, 1, 3, flat);
    testsupport::CopyOf(zd, zeros);
    std::fill(zd.Pixels, zd.Pixels + 3, 7.0f);
    Gamma(zd, zeros, 2.0f);
    EXPECT_EQ(log.Take(), std::vector<int>{0});
    EXPECT_EQ(std::vector<float>(zd.Pixels, zd.Pixels + 3), std::vector<float>(3, 0.0f));
  }

  // A negative pixel with a non-whole exponent stops the routine there.
  testsupport::Grey(src, 4, 1, 3, {4, 16, -1, 9});
  testsupport::CopyOf(dst, src);
  std::fill(dst.Pixels, dst.Pixels + 4, 123.0f);
  Gamma(dst, src, 0.3f);
  EXPECT_EQ(log.Take(), std::vector<int>{25});
  EXPECT_NE(dst.Pixels[1], 123.0f);
  EXPECT_EQ(dst.Pixels[2], 123.0f);
  EXPECT_EQ(dst.Pixels[3], 123.0f);
  // With a whole exponent (gamma 0.5) it is a product: (-1 / 16)^2 * 16.
  Apply(dst, src, [](auto& d, auto& s) { Gamma(d, s, 0.5f); });
  EXPECT_EQ(log.Take(), std::vector<int>{0});
  EXPECT_EQ(dst.Pixels[2], 0.0625f);
}

TEST(GreyPointOps, FaultInALargeImageStopsAtThatPixel) {
  ErrorLog log;
  TDataImage src, dst;
  testsupport::RandomGrey(src, 600, 400, 1, 7, 0.0f, 65535.0f, true);
  const std::int64_t bad = 150000;
  src.Pixels[bad] = -3;
  testsupport::CopyOf(dst, src);
  std::fill(dst.Pixels, dst.Pixels + dst.PixelCount(), -9.0f);
  Gamma(dst, src, 2.2f);
  EXPECT_EQ(log.Take(), std::vector<int>{25});
  for (std::int64_t i = 0; i < bad; ++i) ASSERT_GE(dst.Pixels[i], 0.0f) << i;
  for (std::int64_t i = bad; i < dst.PixelCount(); ++i) ASSERT_EQ(dst.Pixels[i], -9.0f) << i;
  LogScale(dst, src, 10);
  EXPECT_EQ(log.Take(), std::vector<int>{27});
  EXPECT_EQ(dst.Pixels[bad + 1], -9.0f);
}

TEST(GreyPointOps, LinearStretch) {
  ErrorLog log;
  TDataImage src, dst;
  testsupport::Grey(src, 6, 1, 0, {0, 10, 12.5f, 15, 20, 200});
  src.WhitePoint = 77;
  Apply(dst, src, [](auto& d, auto& s) { LinearStretch(d, s, 10, 20); });
  EXPECT_EQ(log.Take(), std::vector<int>{0});
  const float expected[] = {0, 0, 50, 100, 200, 200};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(dst.Pixels[i], expected[i]) << i;
  dst.WhitePoint = 1;
  LinearStretch(dst, src, 10, 20);
  EXPECT_EQ(dst.WhitePoint, 1.0f);  // the display points are not copied

  testsupport::CopyOf(dst, src);
  LinearStretch(dst, src, 5, 5);
  EXPECT_EQ(log.Take(), (std::vector<int>{0, 26}));
  EXPECT_EQ(dst.Pixels[3], 15.0f);

  // Low above High: below Low gives 0, from Low up the maximum.
  Apply(dst, src, [](auto& d, auto& s) { LinearStretch(d, s, 20, 10); });
  const float inverted[] = {0, 0, 0, 0, 200, 200};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(dst.Pixels[i], inverted[i]) << i;
}

TEST(GreyPointOps, LogScale) {
  ErrorLog log;
  TDataImage src, dst;
  testsupport::Grey(src, 4, 1, 3, {0, 0.5f, 100, 1e30f});
  Apply(dst, src, [](auto& d, auto& s) { LogScale(d, s, 2); });
  EXPECT_EQ(log.Take(), std::vector<int>{0});
  EXPECT_EQ(dst.Pixels[0], 0.0f);
  EXPECT_EQ(dst.Pixels[1], 0.0f);  // a negative logarithm is stored as 0
  EXPECT_NEAR(dst.Pixels[2], 9.2103403719761836, 1e-5);
  EXPECT_NEAR(dst.Pixels[3], 138.15510557964274, 1e-4);
  testsupport::Grey(src, 3, 1, 3, {10, -1, 10});
  testsupport::CopyOf(dst, src);
  LogScale(dst, src, 1);
  EXPECT_EQ(log.Take(), std::vector<int>{27});
  EXPECT_NEAR(dst.Pixels[0], std::log(10.0), 1e-6);
  EXPECT_EQ(dst.Pixels[2], 10.0f);
}

TEST(GreyPointOps, GammaAndLogAgreeWithNumpy) {
  testsupport::RequirePython("numpy");
  for (int kind = 0; kind < 2; ++kind) {
    TDataImage src, dst;
    // Whole values large enough for the shared table, then fractional values.
    testsupport::RandomGrey(src, 400, 300, kind == 0 ? 1 : 3, 31 + kind, 0.0f, 50000.0f, kind == 0);
    for (const char* op : {"gamma 0.7", "gamma 2.5", "log 3.5"}) {
      const bool gamma = op[0] == 'g';
      const float param = std::strtof(op + (gamma ? 6 : 4), nullptr);
      Apply(dst, src, [&](auto& d, auto& s) { gamma ? Gamma(d, s, param) : LogScale(d, s, param); });
      auto want = testsupport::AsVector<float>(
          testsupport::RunOracle("point_ops.py", op, src.Pixels, src.PixelCount() * 4));
      ASSERT_EQ(want.size(), std::size_t(src.PixelCount()));
      int bad = 0;
      for (std::int64_t i = 0; i < src.PixelCount(); ++i)
        if (std::fabs(dst.Pixels[i] - want[i]) > Ulp(want[i]) && ++bad < 5)
          ADD_FAILURE() << op << " of " << src.Pixels[i] << ": " << dst.Pixels[i] << " vs " << want[i];
      EXPECT_EQ(bad, 0);
    }
  }
}

TEST(GreyPointOps, DDP) {
  ErrorLog log;
  TDataImage src, dst;
  testsupport::Grey(src, 3, 1, 0, {10, -5, 250});
  src.BlackPoint = 3;
  src.WhitePoint = 99;
  Apply(dst, src, [](auto& d, auto& s) { DDP(0, d, s, 10, 5, 100); });
  EXPECT_EQ(log.Take(), std::vector<int>{0});
  EXPECT_EQ(dst.Pixels[0], 55.0f);  // 100 * 10 / (10 + 10) + 5
  EXPECT_EQ(dst.Pixels[1], 5.0f);   // a negative pixel counts as 0; the blur -5 stays
  EXPECT_NEAR(dst.Pixels[2], 100.0 * 250 / 260 + 5, 1e-4);
  EXPECT_EQ(dst.WhitePoint, 99.0f);

  // Floating point: the limit and the white point become the maximum.
  testsupport::Grey(src, 3, 3, 3, std::vector<float>(9, 0.0f));
  src.Pixels[4] = 9;
  Apply(dst, src, [](auto& d, auto& s) { DDP(1, d, s, 1, 0.5f, 3); });
  EXPECT_EQ(log.Take(), std::vector<int>{0});
  EXPECT_EQ(dst.WhitePoint, 9.0f);
  EXPECT_EQ(dst.Pixels[4], 9.0f);  // 3 * 9 / (1 + 1) + 0.5 = 14 clamped to 9
  EXPECT_EQ(dst.Pixels[0], 0.5f);  // border: blur is the source 0
  Apply(dst, src, [](auto& d, auto& s) { DDP(1, d, s, 1, 0, 1); });
  EXPECT_EQ(dst.Pixels[4], 4.5f);

  // blur + MidLevel = 0 takes the quotient's limit: 0 / 0 leaves the
  // background, every pixel is written, nothing is reported.
  testsupport::Grey(src, 3, 1, 0, {4, 0, 4});
  testsupport::CopyOf(dst, src);
  std::fill(dst.Pixels, dst.Pixels + 3, 7.0f);
  log.Take();
  DDP(0, dst, src, 0, 0, 1);
  EXPECT_EQ(log.Take(), std::vector<int>{0});
  EXPECT_EQ(dst.Pixels[0], 1.0f);
  EXPECT_EQ(dst.Pixels[1], 0.0f);
  EXPECT_EQ(dst.Pixels[2], 1.0f);
}

// Frames whose blur + mid-level reaches 0: a normalised frame with a zero
// border under a mid-level of 0, a bias-subtracted patch whose mean is minus
// the mid-level under a bright pixel, and the proposals of such frames. The
// result is numpy's everywhere, the limit where the denominator is 0, and no
// error is reported.
TEST(GreyPointOps, DDPWhereTheDenominatorReachesZeroAgreesWithNumpy) {
  testsupport::RequirePython("numpy, scipy");
  auto normalised = [](int x, int y) {
    // A zero border of 3 pixels, a sky near 0.003 and one star of 1.0.
    if (x < 3 || y < 3 || x > 36 || y > 26) return 0.0f;
    return x == 20 && y == 15 ? 1.0f : 0.003f + 0.0001f * float((x * 7 + y * 3) % 11);
  };
  auto bias = [](int x, int y) {
    // The 3 x 3 mean about (10, 10) is (2 - 8 x 2.5) / 9 = -2 exactly.
    if (std::abs(x - 10) <= 1 && std::abs(y - 10) <= 1) return x == 10 && y == 10 ? 2.0f : -2.5f;
    return float((x * 13 + y * 5) % 17) - 8.0f;
  };
  const struct {
    const char* Name;
    std::function<float(int, int)> Pixel;
    std::uint8_t Type, Edge;
    float A, B, K;
  } cases[] = {
      {"normalised, A 0", normalised, 3, 1, 0.0f, 0.0f, 1.0f},
      {"normalised, A 1/255", normalised, 3, 1, 0.0039f, 0.0078f, 1.0f},
      {"normalised, no edge", normalised, 3, 0, 0.0f, 0.25f, 0.5f},
      {"bias subtracted, A 2", bias, 1, 1, 2.0f, 3.0f, 100.0f},
      {"bias subtracted, medium edge", bias, 3, 2, 0.75f, 0.0f, 40.0f},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    ErrorLog log;
    TDataImage src, dst;
    const int W = 40, H = 30;
    testsupport::Grey(src, W, H, c.Type);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) src.SetPixel(x, y, c.Pixel(x, y));
    Apply(dst, src, [&](auto& d, auto& s) { DDP(c.Edge, d, s, c.A, c.B, c.K); });
    EXPECT_EQ(log.Take(), std::vector<int>{0});
    char args[160];
    std::snprintf(args, sizeof args, "%d %d %d %.9g %.9g %.9g %s", W, H, c.Edge, double(c.A), double(c.B),
                  double(c.K), c.Type == 3 ? "max" : "65535");
    const auto want = testsupport::AsVector<float>(
        testsupport::RunOracle("ddp_apply.py", args, src.Pixels, src.PixelCount() * 4));
    ASSERT_EQ(want.size(), std::size_t(src.PixelCount()));
    // The clamp: a float image's maximum, the type's otherwise.
    float L = c.Type == 3 ? 0.0f : 65535.0f;
    for (std::int64_t i = 0; c.Type == 3 && i < src.PixelCount(); ++i) L = std::max(L, src.Pixels[i]);
    int bad = 0, limits = 0;
    for (std::int64_t i = 0; i < src.PixelCount(); ++i) {
      if (std::fabs(dst.Pixels[i] - want[i]) > 1e-5f * std::max(1.0f, std::fabs(want[i])) && ++bad < 5)
        ADD_FAILURE() << "pixel " << i << ": " << dst.Pixels[i] << " vs " << want[i];
      limits += want[i] == L || (c.A == 0 && src.Pixels[i] == 0);
    }
    EXPECT_EQ(bad, 0);
    EXPECT_GT(limits, 0);  // the case reaches a clamp or a zero denominator
  }
}

TEST(GreyPointOps, WhiteLevelAndOutputRange) {
  TDataImage img;
  testsupport::Grey(img, 3, 1, 3, {-5, 2000, 1000});
  EXPECT_EQ(GetWhiteLevel(img), 2000.0f);
  EXPECT_EQ(img.MaxValue, 2000.0f);
  img.DataType = 2;
  EXPECT_EQ(GetWhiteLevel(img), img.TypeMax);
  TDataImage eight;
  testsupport::Grey(eight, 1, 1, 0, {900});
  EXPECT_EQ(GetWhiteLevel(eight), 255.0f);

  img.WhitePoint = 1;
  img.BlackPoint = 0;
  RescaleToOutputRange(3, img);  // unlimited
  EXPECT_EQ(img.Pixels[1], 2000.0f);
  EXPECT_EQ(img.WhitePoint, 1.0f);
  RescaleToOutputRange(1, img);  // 12 bit
  EXPECT_EQ(img.Pixels[0], 0.0f);
  EXPECT_EQ(img.Pixels[1], 4095.0f);
  EXPECT_EQ(img.Pixels[2], 2047.5f);
  EXPECT_EQ(img.WhitePoint, 4095.0f);
  EXPECT_EQ(img.BlackPoint, 0.0f);
  RescaleToOutputRange(0, img);
  EXPECT_EQ(img.Pixels[1], 255.0f);

  TDataImage zeros;
  testsupport::Grey(zeros, 2, 2, 1);
  zeros.WhitePoint = 50;
  RescaleToOutputRange(2, zeros);
  EXPECT_EQ(zeros.WhitePoint, 50.0f);  // nothing changes, not even the display levels
}

TEST(ColourPointOps, BrightnessContrastTable) {
  ErrorLog log;
  TDataImage src, dst;
  ColourOf(src, {{0, 100, 255}, {7, 8, 9}});
  Apply(dst, src, [](auto& d, auto& s) { ColBrightnessContrast(0, 0, d, s); });
  EXPECT_EQ(log.Take(), std::vector<int>{0});
  EXPECT_EQ(Str(dst.RGBPlane[0]), "0,100,255");
  EXPECT_EQ(Str(dst.RGBPlane[1]), "7,8,9");
  Apply(dst, src, [](auto& d, auto& s) { ColBrightnessContrast(100, 0, d, s); });
  EXPECT_EQ(Str(dst.RGBPlane[0]), "255,255,255");

  // Contrast -100: every byte becomes the rounded mean plus Round(2.55 * B),
  // the latter from its exact value (ties to even).
  ColourOf(src, {{10, 20, 30}, {10, 20, 30}});
  const std::pair<int, int> cases[] = {{50, 148}, {30, 96}, {10, 46}, {-10, 0}, {-50, 0}, {70, 198}, {90, 250}};
  for (auto [b, want] : cases) {
    Apply(dst, src, [b = b](auto& d, auto& s) { ColBrightnessContrast(b, -100, d, s); });
    EXPECT_EQ(dst.RGBPlane[1].Red, want) << "brightness " << b;
  }
  // Mean Round(60 / 3) = 20; contrast 5: factor 1.5; v = 10: Round(5) + 0 = 5; v = 30: 35.
  Apply(dst, src, [](auto& d, auto& s) { ColBrightnessContrast(0, 5, d, s); });
  EXPECT_EQ(Str(dst.RGBPlane[0]), "5,20,35");
  EXPECT_EQ(log.Take(), std::vector<int>(9, 0));
}

TEST(ColourPointOps, GammaLinearAndLogTables) {
  ErrorLog log;
  TDataImage src, dst;
  ColourOf(src, {{0, 128, 255}, {10, 15, 20}, {1, 2, 3}});
  for (float g : {0.1f, 0.5f, 1.0f, 2.2f, 5.0f}) {
    Apply(dst, src, [g](auto& d, auto& s) { ColGamma(d, s, g); });
    EXPECT_EQ(dst.RGBPlane[0].Blue, 0);
    EXPECT_EQ(dst.RGBPlane[0].Red, 255);
  }
  Apply(dst, src, [](auto& d, auto& s) { ColGamma(d, s, 2.0f); });
  EXPECT_EQ(dst.RGBPlane[0].Green, 181);  // 255 * sqrt(128 / 255) = 180.67
  EXPECT_EQ(log.Take(), std::vector<int>(6, 0));
  testsupport::CopyOf(dst, src);
  ColGamma(dst, src, 0.0f);
  EXPECT_EQ(log.Take(), std::vector<int>{2});

  Apply(dst, src, [](auto& d, auto& s) { ColLinearScale(10, 20, d, s); });
  EXPECT_EQ(Str(dst.RGBPlane[1]), "0,128,255");  // 25.5 * 5 = 127.5 -> 128
  EXPECT_EQ(Str(dst.RGBPlane[0]), "0,255,255");
  Apply(dst, src, [](auto& d, auto& s) { ColLinearScale(20, 10, d, s); });
  EXPECT_EQ(Str(dst.RGBPlane[1]), "255,128,0");  // the inverted ramp
  log.Take();
  testsupport::CopyOf(dst, src);
  ColLinearScale(9, 9, dst, src);
  EXPECT_EQ(log.Take(), std::vector<int>{3});
  EXPECT_EQ(Str(dst.RGBPlane[1]), "10,15,20");

  Apply(dst, src, [](auto& d, auto& s) { ColLogScale(d, s, 40.0f); });
  EXPECT_EQ(dst.RGBPlane[0].Blue, 0);
  EXPECT_EQ(dst.RGBPlane[2].Blue, 28);    // ln 2 * 40 = 27.7
  EXPECT_EQ(dst.RGBPlane[0].Green, 194);  // ln 129 * 40 = 194.4
  EXPECT_EQ(dst.RGBPlane[0].Red, 222);    // ln 256 * 40 = 221.8
  EXPECT_EQ(log.Take(), std::vector<int>{0});
}

TEST(ColourPointOps, DDPKeepsTheHue) {
  ErrorLog log;
  TDataImage src, dst;
  ColourOf(src, {{50, 100, 200}, {80, 80, 80}});
  // Picks red, green, blue: V2 = V, so V' = Scaling * V / (V + MidLevel) + Background.
  Apply(dst, src, [](auto& d, auto& s) { ColDDP(0, 0, 1, 0, 0, 100, 2, d, s); });
  EXPECT_EQ(log.Take(), std::vector<int>{0});
  EXPECT_EQ(Str(dst.RGBPlane[0]), "25,50,100");  // V' = 100 of 200: half of every channel
  EXPECT_EQ(Str(dst.RGBPlane[1]), "100,100,100");  // grey: the undefined hue path
  // Intensity picks: Round(350 / 3) = 117; V' = 200 * 117 / 117 = the colour unchanged.
  Apply(dst, src, [](auto& d, auto& s) { ColDDP(0, 3, 3, 0, 0, 117, 3, d, s); });
  EXPECT_EQ(Str(dst.RGBPlane[0]), "50,100,200");
  EXPECT_EQ(log.Take(), std::vector<int>{0});

  ColourOf(src, {{1, 2, 3}, {0, 0, 0}, {1, 2, 3}});
  testsupport::CopyOf(dst, src);
  std::fill(dst.RGBPlane, dst.RGBPlane + 3, TRGBPixel{9, 9, 9});
  ColDDP(0, 0, 1, 0, 0, 3, 2, dst, src);  // black with mid-level 0: 0 / 0, the limit
  EXPECT_EQ(log.Take(), std::vector<int>{0});
  EXPECT_EQ(Str(dst.RGBPlane[0]), "1,2,3");
  EXPECT_EQ(Str(dst.RGBPlane[1]), "0,0,0");
  EXPECT_EQ(Str(dst.RGBPlane[2]), "1,2,3");

  // An enormous scaling clamps instead of wrapping.
  ColourOf(src, {{50, 100, 200}});
  Apply(dst, src, [](auto& d, auto& s) { ColDDP(0, 0, 1, 1e-3f, 0, 1e8f, 2, d, s); });
  EXPECT_EQ(Str(dst.RGBPlane[0]), "255,255,255");
}

// Mid-level 0 on frames with black pixels (a border, dead pixels) and with
// pixels whose picked channels are black while they are not: where
// 255 V2 + A is 0 the value is the quotient's limit, clamped like every
// pixel, as numpy has it; nothing is reported and every pixel is written.
TEST(ColourPointOps, DDPAtMidLevelZeroAgreesWithNumpy) {
  testsupport::RequirePython("numpy");
  const int W = 13, H = 7;
  auto frame = [](int x, int y) {
    if (x == 0 || y == 0 || x == W - 1 || y == H - 1 || (x == 5 && y == 3)) return TRGBPixel{0, 0, 0};
    if (x == 7 && y == 2) return TRGBPixel{0, 0, 201};   // pure red: its green and blue picks are black
    if (x == 8 && y == 4) return TRGBPixel{17, 0, 0};    // pure blue, dark
    if (x == 3 && y == 5) return TRGBPixel{90, 90, 90};  // grey
    if (x == 9 && y == 5) return TRGBPixel{0, 1, 1};     // intensity Round(2 / 3) = 1
    return TRGBPixel{std::uint8_t(x * 19 % 256), std::uint8_t(y * 37 % 256), std::uint8_t((x + y) * 23 % 256)};
  };
  const struct {
    const char* Name;
    std::uint8_t Edge, Red, Green, Blue;
    float A, B, K;
  } cases[] = {
      {"black border and dead pixel", 0, 0, 1, 2, 0.0f, 0.0f, 255.0f},
      {"a background lifts the black ones", 0, 0, 1, 2, 0.0f, 31.5f, 200.0f},
      {"channels picked from black ones", 0, 1, 2, 1, 0.0f, 12.0f, 77.0f},
      {"intensity picks", 0, 3, 3, 3, 0.0f, 0.0f, 128.0f},
      {"no scaling", 0, 2, 2, 2, 0.0f, 40.0f, 0.0f},
      {"negative scaling", 0, 1, 1, 1, 0.0f, 0.0f, -3.0f},
      {"mid-level of 1 is no limit", 0, 0, 1, 2, 1.0f, 0.0f, 255.0f},
      {"mid-level just above 0, channels picked from black ones", 0, 1, 2, 1, 1e-30f, 0.0f, 255.0f},
      {"mid-level just above 0, negative scaling", 0, 1, 2, 1, 1e-30f, 0.0f, -3.0f},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    ErrorLog log;
    TDataImage src, dst;
    testsupport::Colour(src, W, H);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) src.RGBPlane[y * W + x] = frame(x, y);
    testsupport::CopyOf(dst, src);
    std::fill(dst.RGBPlane, dst.RGBPlane + W * H, TRGBPixel{9, 9, 9});
    ColDDP(c.Edge, c.Red, c.Green, c.A, c.B, c.K, c.Blue, dst, src);
    EXPECT_EQ(log.Take(), std::vector<int>{0});
    char args[160];
    std::snprintf(args, sizeof args, "%d %d %d %.9g %.9g %.9g", c.Red, c.Green, c.Blue, double(c.A), double(c.B),
                  double(c.K));
    const auto want =
        testsupport::AsVector<TRGBPixel>(testsupport::RunOracle("col_ddp.py", args, src.RGBPlane, W * H * 3));
    ASSERT_EQ(want.size(), std::size_t(W * H));
    int limits = 0;
    for (int i = 0; i < W * H; ++i) {
      // colorsys works in doubles: a channel may land a unit away at a half.
      const TRGBPixel& a = dst.RGBPlane[i];
      const TRGBPixel& b = want[std::size_t(i)];
      EXPECT_TRUE(std::abs(a.Blue - b.Blue) <= 1 && std::abs(a.Green - b.Green) <= 1 && std::abs(a.Red - b.Red) <= 1)
          << "pixel " << i << ": " << Str(a) << " vs " << Str(b);
      const TRGBPixel p = src.RGBPlane[i];
      const int picked[4] = {p.Red, p.Green, p.Blue, (p.Red + p.Green + p.Blue + 1) / 3};
      limits += c.A == 0 && std::max({picked[c.Red], picked[c.Green], picked[c.Blue]}) == 0;
    }
    EXPECT_EQ(limits > 0, c.A == 0);  // the case reaches a zero denominator
    // A black pixel stays black where no background lifts it.
    if (c.B == 0) {
      EXPECT_EQ(Str(dst.RGBPlane[0]), "0,0,0");
    }
  }
  // Under the edge blur the black border keeps its pixels, so its
  // denominator is 0 too.
  ErrorLog log;
  TDataImage src, dst;
  testsupport::Colour(src, W, H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) src.RGBPlane[y * W + x] = frame(x, y);
  Apply(dst, src, [](auto& d, auto& s) { ColDDP(1, 0, 1, 0, 0, 255, 2, d, s); });
  EXPECT_EQ(log.Take(), std::vector<int>{0});
  for (int x = 0; x < W; ++x) EXPECT_EQ(Str(dst.RGBPlane[x]), "0,0,0");
}

TEST(DisplayTable, MakeLinearTable) {
  ErrorLog log;
  TLUT t{};
  EXPECT_TRUE(MakeLinearTable(t, 0, 255));
  for (int i = 0; i < 256; ++i) ASSERT_EQ(t[i], i);
  EXPECT_TRUE(MakeLinearTable(t, 10, 20));
  EXPECT_EQ(t[10], 0);
  EXPECT_EQ(t[15], 128);  // 127.5 to even
  EXPECT_EQ(t[21], 255);
  EXPECT_TRUE(MakeLinearTable(t, 100, 50));
  EXPECT_EQ(t[0], 255);
  EXPECT_EQ(t[75], 128);
  EXPECT_EQ(t[100], 0);
  const TLUT kept = t;
  EXPECT_FALSE(MakeLinearTable(t, 30, 30));
  EXPECT_EQ(t, kept);
  EXPECT_EQ(log.Take(), (std::vector<int>{0, 0, 0, 8}));
}

TEST(ColourPointOps, MeanOfALargeWhitePicture) {
  // 3 * 255 * 3.24 million bytes exceed a 32-bit sum.
  ErrorLog log;
  TDataImage src, dst;
  testsupport::Colour(src, 1800, 1800);
  std::fill(src.RGBPlane, src.RGBPlane + src.PixelCount(), TRGBPixel{255, 255, 255});
  src.RGBPlane[0] = TRGBPixel{0, 0, 0};
  Apply(dst, src, [](auto& d, auto& s) { ColBrightnessContrast(0, -100, d, s); });
  EXPECT_EQ(log.Take(), std::vector<int>{0});
  EXPECT_EQ(Str(dst.RGBPlane[0]), "255,255,255");  // every byte becomes the mean 255
}

TEST(GreyPointOps, MismatchedDestinationIsRefused) {
  ErrorLog log;
  TDataImage src, dst;
  testsupport::Grey(src, 4, 4, 0, std::vector<float>(16, 7.0f));
  testsupport::Grey(dst, 3, 3, 0);
  Filter3x3(1, dst, src);
  MedianFilter(3, dst, src);
  Gamma(dst, src, 2.0f);
  EXPECT_EQ(log.Take(), (std::vector<int>{29, 32, 25}));
  EXPECT_EQ(dst.Pixels[4], 0.0f);
}

// The double shortcut of the gamma power must store the extended result.
TEST(GreyPointOps, GammaMatchesTheExtendedFormulaBitForBit) {
  ErrorLog log;
  TDataImage src, dst;
  testsupport::RandomGrey(src, 700, 500, 3, 91, 0.0f, 3000.0f, false);
  for (int i = 0; i < 2000; ++i) src.Pixels[i] = std::ldexp(1.0f, -i % 140);  // tiny values: large logarithms
  for (float g : {0.3f, 0.45f, 2.2f, 0.0625f, 7.0f}) {
    Apply(dst, src, [g](auto& d, auto& s) { Gamma(d, s, g); });
    const long double M = src.MaxValue, inv = 1.0L / M, e = 1.0L / g;
    // The engine's power as the numeric rules state it, written out here: a
    // whole exponent is the repeated product, any other exp(e * ln b).
    auto power = [](long double b, long double x) {
      if (b == 0) return 0.0L;
      if (x != std::trunc(x)) return std::exp(x * std::log(b));
      long double r = 1.0L;
      for (long long k = 0; k < (long long)x; ++k) r *= b;
      return r;
    };
    int bad = 0;
    for (std::int64_t i = 0; i < src.PixelCount(); ++i) {
      long double r = M * power(src.Pixels[i] * inv, e);
      const float want = r < 0 ? 0.0f : float(r);
      if (!testsupport::SameBits(dst.Pixels[i], want) && ++bad < 5)
        ADD_FAILURE() << "gamma " << g << " of " << src.Pixels[i] << ": " << dst.Pixels[i] << " vs " << want;
    }
    EXPECT_EQ(bad, 0);
  }
  for (int c : log.Take()) EXPECT_EQ(c, 0);
}
