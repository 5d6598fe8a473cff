#include <gtest/gtest.h>

#include <random>
#include <stdexcept>

#include "ImageTestHelpers.h"
#include "engine/Checked.h"
#include "engine/Combine.h"

using namespace ImgTest;

namespace {
struct Planes {
  TDataImage R, G, B, Out;
  Planes(int W, int H, const std::vector<float>& V) {
    Grey(R, W, H, 3, V);
    Grey(G, W, H, 3, V);
    Grey(B, W, H, 3, V);
    EXPECT_TRUE(Out.Allocate(W, H, 0, true));
  }
  TRGBPixel At(int i) const { return Out.RGBPlane[i]; }
};
}  // namespace

TEST(Combine, ClampToByte) {
  EXPECT_EQ(ClampToByte(-5), 0);
  EXPECT_EQ(ClampToByte(128), 128);
  EXPECT_EQ(ClampToByte(300), 255);
  EXPECT_EQ(ClampToByte(-(std::int64_t(1) << 40)), 0);  // beyond 32 bits: still clamped, not wrapped
  EXPECT_EQ(ClampToByte((std::int64_t(1) << 32) + 5), 255);
}

TEST(Combine, TwoRoundingsHalvesToEven) {
  Planes p(4, 1, {255, 257, 510, -3});
  CombineRGB(p.R, p.G, p.B, 1, 1, 1, 0, 0, 0, 0, 0, 0, p.Out);
  const int expected[] = {128, 128, 255, 0};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(p.At(i).Red, expected[i]) << i;
    EXPECT_EQ(p.At(i).Green, expected[i]) << i;
    EXPECT_EQ(p.At(i).Blue, expected[i]) << i;
  }
  // Relative intensity 2 halves red (127.5 -> 128); 0.5 doubles blue past 255.
  CombineRGB(p.R, p.G, p.B, 2, 1, 0.5f, 0, 0, 0, 0, 0, 0, p.Out);
  EXPECT_EQ(p.At(2).Red, 128);
  EXPECT_EQ(p.At(2).Green, 255);
  EXPECT_EQ(p.At(0).Blue, 255);
  EXPECT_EQ(p.At(0).Red, 64);  // 128 / 2
}

TEST(Combine, ShiftsMovePlanesRightAndDown) {
  std::vector<float> v(6 * 4);
  for (int i = 0; i < 24; ++i) v[i] = float(i + 1);
  Planes p(6, 4, v);
  CombineRGB(p.R, p.G, p.B, 1, 1, 1, 3, 0, 0, -1, 0, 0, p.Out);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) {
      const TRGBPixel c = p.At(y * 6 + x);
      const int red = x < 3 ? 0 : int(std::nearbyint((y * 6 + x - 3 + 1) * (255.0L / 24)));
      const int green = y == 3 ? 0 : int(std::nearbyint(((y + 1) * 6 + x + 1) * (255.0L / 24)));
      EXPECT_EQ(c.Red, red) << x << "," << y;
      EXPECT_EQ(c.Green, green) << x << "," << y;
    }
  // Shifts beyond the image (and beyond 32-bit arithmetic) leave the channel empty.
  CombineRGB(p.R, p.G, p.B, 1, 1, 1, 2147483647, 0, -2147483647 - 1, 5, 0, 0, p.Out);
  for (int i = 0; i < 24; ++i) {
    EXPECT_EQ(p.At(i).Red, 0);
    EXPECT_EQ(p.At(i).Green, 0);
  }
}

TEST(Combine, UnusablePlanesThrow) {
  Planes p(3, 2, {1, 2, 3, 4, 5, 6});
  Fill(p.G, -4);
  try {
    CombineRGB(p.R, p.G, p.B, 1, 1, 1, 0, 0, 0, 0, 0, 0, p.Out);
    ADD_FAILURE() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("green"), std::string::npos) << e.what();
  }
  Fill(p.G, 1);
  TDataImage small;
  Grey(small, 3, 1, 3, {1, 1, 1});
  EXPECT_THROW(CombineRGB(p.R, p.G, small, 1, 1, 1, 0, 0, 0, 0, 0, 0, p.Out), std::runtime_error);
  EXPECT_THROW(CombineRGB(p.R, p.G, p.B, 0, 1, 1, 0, 0, 0, 0, 0, 0, p.Out), EngineFault);
  // A tiny maximum with a huge negative value: no undefined conversion.
  Fill(p.B, -3e38f);
  p.B.Pixels[0] = 1e-38f;
  EXPECT_THROW(CombineRGB(p.R, p.G, p.B, 1, 1, 1, 0, 0, 0, 0, 0, 0, p.Out), EngineFault);
}

TEST(Combine, MatchesNumpy) {
  const int w = 57, h = 31;
  std::mt19937 rng(12);
  std::uniform_real_distribution<float> d(-50, 3000);
  std::vector<float> pv[3];
  std::string files[3];
  for (int p = 0; p < 3; ++p) {
    pv[p].resize(w * h);
    for (auto& v : pv[p]) v = p == 1 ? std::nearbyint(d(rng)) : d(rng);
    files[p] = TempPath("comb_" + std::to_string(p));
    WriteFile(files[p], pv[p]);
  }
  const std::string out = TempPath("comb_out");
  const float rel[3] = {1.3f, 0.8f, 1};
  const int sh[6] = {2, -1, 0, 0, -4, 3};
  char args[800];
  std::snprintf(args, sizeof args, "%d %d %s %s %s %.9g %.9g %.9g %d %d %d %d %d %d %s", w, h, files[0].c_str(),
                files[1].c_str(), files[2].c_str(), rel[0], rel[1], rel[2], sh[0], sh[1], sh[2], sh[3], sh[4], sh[5],
                out.c_str());
  ASSERT_TRUE(RunOracle("combine.py", args));
  TDataImage r, g, b, o;
  Grey(r, w, h, 3, pv[0]);
  Grey(g, w, h, 3, pv[1]);
  Grey(b, w, h, 3, pv[2]);
  ASSERT_TRUE(o.Allocate(w, h, 0, true));
  CombineRGB(r, g, b, rel[0], rel[1], rel[2], sh[0], sh[1], sh[2], sh[3], sh[4], sh[5], o);
  const auto expected = ReadFile<std::uint8_t>(out);
  ASSERT_EQ(expected.size(), std::size_t(3 * w * h));
  int bad = 0;
  for (int i = 0; i < w * h; ++i) {
    const TRGBPixel c = o.RGBPlane[i];
    if ((c.Blue != expected[3 * i] || c.Green != expected[3 * i + 1] || c.Red != expected[3 * i + 2]) && ++bad < 5)
      ADD_FAILURE() << "pixel " << i;
  }
  EXPECT_EQ(bad, 0);
}
