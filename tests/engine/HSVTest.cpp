#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "EngineTestSupport.h"
#include "engine/HSV.h"

namespace {

struct HSVResult {
  double H, S, V;
};
HSVResult ToHSV(double r, double g, double b) {
  HSVResult x{};
  RGBToHSV(r, g, b, x.H, x.S, x.V);
  return x;
}

}  // namespace

TEST(HSV, UndefinedHueIsTheAllOnesNaN) {
  const double u = UndefinedHue();
  EXPECT_EQ(std::bit_cast<std::uint64_t>(u), 0x7FFFFFFFFFFFFFFFull);
  EXPECT_TRUE(IsUndefinedHue(u));
  EXPECT_TRUE(IsUndefinedHue(std::nan("")));
  EXPECT_TRUE(IsUndefinedHue(-std::nan("")));
  EXPECT_FALSE(IsUndefinedHue(INFINITY));
  EXPECT_FALSE(IsUndefinedHue(-INFINITY));
  EXPECT_FALSE(IsUndefinedHue(0.0));
  EXPECT_FALSE(IsUndefinedHue(359.9));
}

TEST(HSV, PrimariesSecondariesAndTies) {
  auto red = ToHSV(255, 0, 0);
  EXPECT_EQ(red.H, 0.0);
  EXPECT_EQ(red.S, 1.0);
  EXPECT_EQ(red.V, 1.0);
  EXPECT_EQ(ToHSV(0, 255, 0).H, 120.0);
  EXPECT_EQ(ToHSV(0, 0, 255).H, 240.0);
  EXPECT_EQ(ToHSV(255, 0, 255).H, 300.0);  // -60 wrapped
  auto yellow = ToHSV(255, 255, 0);        // tie R = G: the red branch
  EXPECT_EQ(yellow.H, 60.0);
  EXPECT_EQ(yellow.S, 1.0);
  EXPECT_EQ(ToHSV(0, 255, 255).H, 180.0);  // tie G = B: the green branch gives (B - R) * 60 / d + 120
}

TEST(HSV, GreyAndBlackHaveTheUndefinedHue) {
  auto grey = ToHSV(128, 128, 128);
  EXPECT_TRUE(IsUndefinedHue(grey.H));
  EXPECT_EQ(grey.S, 0.0);
  EXPECT_EQ(grey.V, 128.0 / 255.0);
  auto black = ToHSV(0, 0, 0);
  EXPECT_TRUE(IsUndefinedHue(black.H));
  EXPECT_EQ(black.S, 0.0);
  EXPECT_EQ(black.V, 0.0);
}

TEST(HSV, BackToRGB) {
  double r = -1, g = -1, b = -1;
  HSVToRGB(360, 1, 1, r, g, b);
  EXPECT_EQ(r, 1.0);
  EXPECT_EQ(g, 0.0);
  EXPECT_EQ(b, 0.0);
  HSVToRGB(UndefinedHue(), 0, 0.5, r, g, b);
  EXPECT_EQ(r, 0.5);
  EXPECT_EQ(g, 0.5);
  EXPECT_EQ(b, 0.5);
  // A defined hue with no saturation writes nothing, not even for hue 0.
  r = g = b = -7;
  HSVToRGB(200, 0, 0.25, r, g, b);
  EXPECT_EQ(r, -7);
  EXPECT_EQ(g, -7);
  EXPECT_EQ(b, -7);
  HSVToRGB(0, 0, 0.25, r, g, b);
  EXPECT_EQ(g, -7);
  // Any NaN counts as the undefined hue; an infinity does not.
  HSVToRGB(std::nan(""), 0, 0.25, r, g, b);
  EXPECT_EQ(r, 0.25);
  EXPECT_EQ(g, 0.25);
  EXPECT_EQ(b, 0.25);
  r = g = b = -7;
  HSVToRGB(INFINITY, 0, 0.25, r, g, b);
  EXPECT_EQ(r, -7);
  // Outside the sectors nothing is written.
  HSVToRGB(400, 1, 1, r, g, b);
  EXPECT_EQ(r, -7);
  HSVToRGB(UndefinedHue(), 0.5, 1, r, g, b);
  EXPECT_EQ(g, -7);
  // Every sector on the value's scale.
  HSVToRGB(60 * 4.5, 1, 200, r, g, b);  // sector 4, f = 0.5: (t, p, V)
  EXPECT_EQ(r, 100.0);
  EXPECT_EQ(g, 0.0);
  EXPECT_EQ(b, 200.0);
}

TEST(HSV, RoundTripGivesTheColourOver255) {
  for (int r = 0; r < 256; r += 5)
    for (int g = 0; g < 256; g += 3)
      for (int b = 0; b < 256; b += 7) {
        auto x = ToHSV(r, g, b);
        double R = -1, G = -1, B = -1;
        HSVToRGB(x.H, x.S, x.V, R, G, B);
        ASSERT_NEAR(R * 255, r, 1e-9) << r << " " << g << " " << b;
        ASSERT_NEAR(G * 255, g, 1e-9);
        ASSERT_NEAR(B * 255, b, 1e-9);
      }
}

TEST(HSV, AgreesWithColorsys) {
  testsupport::RequirePython("colorsys, numpy");
  std::vector<double> rgb;
  std::mt19937 rng(5);
  for (int i = 0; i < 4000; ++i)
    for (int c = 0; c < 3; ++c) rgb.push_back(double(rng() % 256));
  // Ties and greys.
  const double extra[][3] = {{255, 255, 0}, {0, 255, 255}, {255, 0, 255}, {9, 9, 9}, {0, 0, 0}, {255, 255, 255}};
  for (auto& e : extra) rgb.insert(rgb.end(), e, e + 3);
  auto out = testsupport::AsVector<double>(
      testsupport::RunOracle("hsv_colorsys.py", "", rgb.data(), rgb.size() * sizeof(double)));
  ASSERT_EQ(out.size(), rgb.size() * 2);
  for (std::size_t i = 0; i < rgb.size() / 3; ++i) {
    const double* o = &out[6 * i];
    auto x = ToHSV(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]);
    ASSERT_NEAR(x.S, o[1], 1e-12);
    ASSERT_NEAR(x.V, o[2], 1e-12);
    if (x.S == 0) {
      EXPECT_TRUE(IsUndefinedHue(x.H));
    } else {
      ASSERT_NEAR(x.H, o[0], 1e-9) << rgb[3 * i] << " " << rgb[3 * i + 1] << " " << rgb[3 * i + 2];
      double r, g, b;
      HSVToRGB(o[0], o[1], o[2], r, g, b);
      ASSERT_NEAR(r, o[3], 1e-12);
      ASSERT_NEAR(g, o[4], 1e-12);
      ASSERT_NEAR(b, o[5], 1e-12);
    }
  }
}
