// Resample, rotate, flip and crop, grey and colour.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "ScratchFolder.h"
#include "engine/ColGeometry.h"
#include "engine/DataImage.h"
#include "engine/Errors.h"
#include "engine/Geometry.h"

namespace {

// Records every report of the internal-error hook for one test.
class ErrorRecorder {
 public:
  ErrorRecorder() {
    previous_ = SetInternalErrorHandler([this](int c) { codes.push_back(c); });
  }
  ~ErrorRecorder() { SetInternalErrorHandler(previous_); }
  std::vector<int> codes;

 private:
  TInternalErrorHandler previous_;
};

void Grey(TDataImage& img, int w, int h, std::initializer_list<float> values, std::uint8_t type = 3) {
  ASSERT_TRUE(img.Allocate(w, h, type, false));
  int i = 0;
  for (float v : values) img.Pixels[i++] = v;
}

void RandomGrey(TDataImage& img, int w, int h, unsigned seed) {
  ASSERT_TRUE(img.Allocate(w, h, 1, false));
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> d(0.0f, 1000.0f);
  for (std::int64_t i = 0; i < img.PixelCount(); ++i) img.Pixels[i] = d(rng);
}

void RandomColour(TDataImage& img, int w, int h, unsigned seed) {
  ASSERT_TRUE(img.Allocate(w, h, 0, true));
  std::mt19937 rng(seed);
  for (std::int64_t i = 0; i < img.PixelCount(); ++i) {
    img.RGBPlane[i] = TRGBPixel{std::uint8_t(rng()), std::uint8_t(rng()), std::uint8_t(rng())};
  }
}

std::string Oracle() {
  EXPECT_EQ(std::system("/usr/bin/python3 -c 'import numpy, scipy.ndimage' 2>/dev/null"), 0)
      << "python3-numpy or python3-scipy is missing: the cross-check cannot run";
  return std::string("/usr/bin/python3 ") + CORVELLE_SOURCE_DIR + "/tests/oracles/geometry_oracle.py";
}

}  // namespace

TEST(Resample, MissingNeighbourCountsAsBlack) {
  ErrorRecorder rec;
  TDataImage src, dst;
  Grey(src, 2, 1, {10, 20});
  Resample(4, 1, dst, src);
  ASSERT_EQ(dst.Width, 4);
  ASSERT_EQ(dst.Height, 1);
  EXPECT_EQ(dst.Pixels[0], 10.0f);
  EXPECT_EQ(dst.Pixels[1], 15.0f);
  EXPECT_EQ(dst.Pixels[2], 20.0f);
  EXPECT_EQ(dst.Pixels[3], 10.0f);
  EXPECT_EQ(rec.codes, std::vector<int>{0});
}

TEST(Resample, SameSizeIsTheIdentityAndKeepsTheDisplayRange) {
  TDataImage src, dst;
  RandomGrey(src, 13, 7, 1);
  src.BlackPoint = 12.0f;
  src.WhitePoint = 900.0f;
  Resample(13, 7, dst, src);
  EXPECT_EQ(dst.DataType, 1);
  EXPECT_FALSE(dst.IsColour);
  for (int i = 0; i < 13 * 7; ++i) ASSERT_EQ(dst.Pixels[i], src.Pixels[i]);
  EXPECT_EQ(dst.BlackPoint, 12.0f);
  EXPECT_EQ(dst.WhitePoint, 900.0f);
  float mx = 0;
  for (int i = 0; i < 13 * 7; ++i) mx = std::max(mx, dst.Pixels[i]);
  EXPECT_EQ(dst.MaxValue, mx);

  TDataImage neg, out;
  Grey(neg, 2, 1, {-4, -2});
  Resample(3, 1, out, neg);
  EXPECT_EQ(out.MaxValue, 0.0f) << "the maximum search starts at 0";
}

TEST(Resample, AgreesWithScipyMapCoordinates) {
  const std::string py = Oracle();
  const ScratchFolder scratch;
  const std::string dir = scratch.Path();
  const int sizes[][4] = {{7, 9, 15, 4}, {7, 9, 3, 20}, {64, 48, 100, 31}, {5, 5, 5, 5}, {33, 17, 66, 34}};
  unsigned seed = 20;
  for (const auto& s : sizes) {
    TDataImage src, dst, csrc, cdst;
    RandomGrey(src, s[0], s[1], ++seed);
    RandomColour(csrc, s[0], s[1], ++seed);
    Resample(s[2], s[3], dst, src);
    ColResample(s[2], s[3], cdst, csrc);
    ASSERT_EQ(dst.Width, s[2]);
    ASSERT_EQ(cdst.Height, s[3]);
    ASSERT_TRUE(cdst.IsColour);

    const std::size_t n = std::size_t(s[0]) * s[1];
    std::vector<float> planes(src.Pixels, src.Pixels + n);
    for (std::size_t i = 0; i < n; ++i) planes.push_back(csrc.RGBPlane[i].Blue);
    for (std::size_t i = 0; i < n; ++i) planes.push_back(csrc.RGBPlane[i].Green);
    for (std::size_t i = 0; i < n; ++i) planes.push_back(csrc.RGBPlane[i].Red);
    WriteBinary(dir + "/rs_in.bin", planes.data(), planes.size());
    const std::string cmd = py + " resample " + dir + "/rs_in.bin " + dir + "/rs_out.bin " + std::to_string(s[0]) +
                            " " + std::to_string(s[1]) + " " + std::to_string(s[2]) + " " + std::to_string(s[3]) + " 4";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    const auto expected = ReadBinary<double>(dir + "/rs_out.bin");
    const std::size_t m = std::size_t(s[2]) * s[3];
    ASSERT_EQ(expected.size(), 4 * m);
    for (std::size_t i = 0; i < m; ++i) {
      ASSERT_NEAR(dst.Pixels[i], expected[i], 1e-4) << i;
      EXPECT_EQ(cdst.RGBPlane[i].Blue, std::nearbyint(expected[m + i])) << i;
      EXPECT_EQ(cdst.RGBPlane[i].Green, std::nearbyint(expected[2 * m + i])) << i;
      EXPECT_EQ(cdst.RGBPlane[i].Red, std::nearbyint(expected[3 * m + i])) << i;
    }
  }
}

TEST(Resample, ColourHalvesRoundToEven) {
  TDataImage src, dst;
  ASSERT_TRUE(src.Allocate(2, 1, 0, true));
  src.RGBPlane[0] = TRGBPixel{10, 11, 0};
  src.RGBPlane[1] = TRGBPixel{21, 20, 1};
  ColResample(4, 1, dst, src);
  // Halfway pixel: (10 + 21) / 2 = 15.5 -> 16, (11 + 20) / 2 = 15.5 -> 16, 0.5 -> 0.
  EXPECT_EQ(dst.RGBPlane[1].Blue, 16);
  EXPECT_EQ(dst.RGBPlane[1].Green, 16);
  EXPECT_EQ(dst.RGBPlane[1].Red, 0);
  // Last pixel, half of the right neighbour missing: 21 / 2 = 10.5 -> 10.
  EXPECT_EQ(dst.RGBPlane[3].Blue, 10);
  EXPECT_EQ(dst.DataType, 0);
}

TEST(Resample, ZeroSideReportsAndLeavesAnEmptyImage) {
  ErrorRecorder rec;
  TDataImage src, dst;
  RandomGrey(src, 4, 4, 3);
  Resample(0, 4, dst, src);
  EXPECT_EQ(dst.PixelCount(), 0);
  EXPECT_EQ(rec.codes, std::vector<int>{errResample});
  TDataImage csrc, cdst;
  RandomColour(csrc, 4, 4, 3);
  ColResample(4, 0, cdst, csrc);
  EXPECT_EQ(cdst.PixelCount(), 0);
  EXPECT_EQ(rec.codes.back(), errColResample);
}

TEST(Resample, RefusesToWriteIntoItsOwnSource) {
  ErrorRecorder rec;
  TDataImage img;
  RandomGrey(img, 4, 4, 3);
  const float first = img.Pixels[5];
  Resample(8, 8, img, img);
  EXPECT_EQ(rec.codes, std::vector<int>{errResample});
  EXPECT_EQ(img.Width, 4);
  EXPECT_EQ(img.Pixels[5], first);
}

TEST(Rotate, QuarterTurnAndZero) {
  ErrorRecorder rec;
  TDataImage src, dst;
  Grey(src, 3, 2, {1, 2, 3, 4, 5, 6});
  Rotate(dst, src, 90.0f);
  ASSERT_EQ(dst.Width, 2);
  ASSERT_EQ(dst.Height, 3);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 2; ++x) EXPECT_EQ(dst.GetPixel(x, y), src.GetPixel(y, 1 - x)) << x << "," << y;
  }
  TDataImage same;
  Rotate(same, src, 0.0f);
  ASSERT_EQ(same.Width, 3);
  ASSERT_EQ(same.Height, 2);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(same.Pixels[i], src.Pixels[i]);
  EXPECT_EQ(rec.codes, (std::vector<int>{0, 0}));
}

TEST(Rotate, BoundingBoxAndBlackCorners) {
  TDataImage src, dst;
  ASSERT_TRUE(src.Allocate(10, 10, 0, false));
  for (int i = 0; i < 100; ++i) src.Pixels[i] = 100.0f + i;
  src.BlackPoint = 5.0f;
  src.WhitePoint = 250.0f;
  Rotate(dst, src, 45.0f);
  ASSERT_EQ(dst.Width, 14);
  ASSERT_EQ(dst.Height, 14);
  EXPECT_EQ(dst.GetPixel(0, 0), 0.0f);
  EXPECT_EQ(dst.GetPixel(13, 0), 0.0f);
  EXPECT_EQ(dst.GetPixel(0, 13), 0.0f);
  EXPECT_EQ(dst.GetPixel(13, 13), 0.0f);
  EXPECT_GE(dst.GetPixel(7, 7), 100.0f);
  EXPECT_EQ(dst.DataType, 0);
  EXPECT_EQ(dst.BlackPoint, 5.0f);
  EXPECT_EQ(dst.WhitePoint, 250.0f);
  float mx = 0;
  for (int i = 0; i < 14 * 14; ++i) mx = std::max(mx, dst.Pixels[i]);
  EXPECT_EQ(dst.MaxValue, mx);

  TDataImage csrc, cdst;
  RandomColour(csrc, 10, 10, 4);
  ColRotate(cdst, csrc, 45.0f);
  ASSERT_EQ(cdst.Width, 14);
  TRGBPixel p;
  cdst.GetRGB(0, 0, p);
  EXPECT_EQ(p.Red + p.Green + p.Blue, 0);
}

TEST(Rotate, OddSidesAtThirtyDegreeMultiplesUseExtendedTrigonometry) {
  // cos(60 degrees) is 0.5 from extended precision and 0.5000000000000001 in
  // double; 5 * c then rounds to 2 (half to even) rather than 3.
  TDataImage src, dst;
  RandomGrey(src, 5, 5, 8);
  Rotate(dst, src, 60.0f);
  EXPECT_EQ(dst.Width, 6);
  EXPECT_EQ(dst.Height, 6);
}

TEST(Rotate, AgreesWithAnExtendedPrecisionReplica) {
  const std::string py = Oracle();
  const ScratchFolder scratch;
  const std::string dir = scratch.Path();
  const float cases[][3] = {{17, 11, 33.0f}, {16, 16, -120.0f}, {9, 14, 200.5f}, {5, 5, 60.0f}};
  unsigned seed = 50;
  for (const auto& c : cases) {
    TDataImage src, dst;
    RandomGrey(src, int(c[0]), int(c[1]), ++seed);
    Rotate(dst, src, c[2]);
    WriteBinary(dir + "/rot_in.bin", src.Pixels, std::size_t(src.PixelCount()));
    char angle[32];
    std::snprintf(angle, sizeof angle, "%.9g", double(c[2]));
    const std::string cmd = py + " rotate " + dir + "/rot_in.bin " + dir + "/rot_out.bin " + std::to_string(int(c[0])) +
                            " " + std::to_string(int(c[1])) + " " + angle;
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    const auto out = ReadBinary<float>(dir + "/rot_out.bin");
    ASSERT_GE(out.size(), 2u);
    std::int32_t nw, nh;
    std::memcpy(&nw, &out[0], 4);
    std::memcpy(&nh, &out[1], 4);
    ASSERT_EQ(dst.Width, nw) << c[2];
    ASSERT_EQ(dst.Height, nh) << c[2];
    ASSERT_EQ(out.size(), 2u + std::size_t(nw) * nh);
    for (int i = 0; i < nw * nh; ++i) ASSERT_EQ(dst.Pixels[i], out[2 + i]) << c[2] << " at " << i;
  }
}

// The colour rotation picks the very source pixels the grey one picks, and
// black where the grey one writes 0.
TEST(Rotate, ColourTakesTheSamePixelsAsGrey) {
  ErrorRecorder rec;
  TDataImage grey, colour;
  ASSERT_TRUE(grey.Allocate(7, 5, 3, false));
  ASSERT_TRUE(colour.Allocate(7, 5, 0, true));
  for (int i = 0; i < 35; ++i) {
    grey.Pixels[i] = float(i + 1);
    colour.RGBPlane[i] = TRGBPixel{std::uint8_t(i + 1), std::uint8_t(2 * i + 1), std::uint8_t(200 - i)};
  }
  for (float angle : {33.0f, -100.5f, 180.0f}) {
    TDataImage g, c;
    Rotate(g, grey, angle);
    ColRotate(c, colour, angle);
    ASSERT_EQ(c.Width, g.Width) << angle;
    ASSERT_EQ(c.Height, g.Height) << angle;
    EXPECT_EQ(c.DataType, 0);
    EXPECT_TRUE(c.IsColour);
    for (std::int64_t i = 0; i < g.PixelCount(); ++i) {
      const int k = int(g.Pixels[i]);
      const TRGBPixel p = c.RGBPlane[i];
      if (k == 0) {
        EXPECT_TRUE(p.Blue == 0 && p.Green == 0 && p.Red == 0) << angle << " at " << i;
      } else {
        EXPECT_TRUE(p.Blue == k && p.Green == 2 * k - 1 && p.Red == 201 - k) << angle << " at " << i;
      }
    }
  }
  // Writing into the source itself is refused before anything changes.
  rec.codes.clear();
  Rotate(grey, grey, 10.0f);
  ColRotate(colour, colour, 10.0f);
  EXPECT_EQ(rec.codes, (std::vector<int>{errRotate, errColRotate}));
  EXPECT_EQ(grey.Width, 7);
  EXPECT_EQ(colour.RGBPlane[34].Red, 166);
}

TEST(Flip, ModesGreyAndColour) {
  ErrorRecorder rec;
  TDataImage src, dst;
  Grey(src, 1, 3, {1, 2, 3});
  Grey(dst, 1, 3, {1, 2, 3});
  Flip(0, dst, src);
  EXPECT_EQ(dst.Pixels[0], 3.0f);
  EXPECT_EQ(dst.Pixels[1], 2.0f);
  EXPECT_EQ(dst.Pixels[2], 1.0f);
  Grey(dst, 1, 3, {1, 2, 3});
  Flip(1, dst, src);
  EXPECT_EQ(dst.Pixels[0], 1.0f);
  EXPECT_EQ(dst.Pixels[2], 3.0f);

  TDataImage wide, wdst;
  Grey(wide, 3, 2, {1, 2, 3, 4, 5, 6});
  Grey(wdst, 3, 2, {1, 2, 3, 4, 5, 6});
  Flip(1, wdst, wide);
  const float mirrored[] = {3, 2, 1, 6, 5, 4};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(wdst.Pixels[i], mirrored[i]);
  Grey(wdst, 3, 2, {9, 9, 9, 9, 9, 9});
  Flip(7, wdst, wide);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(wdst.Pixels[i], 9.0f) << "other modes change nothing";

  TDataImage csrc, cdst;
  RandomColour(csrc, 4, 3, 9);
  RandomColour(cdst, 4, 3, 10);
  ColFlip(0, cdst, csrc);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 4; ++x) {
      TRGBPixel a, b;
      csrc.GetRGB(x, y, a);
      cdst.GetRGB(x, 2 - y, b);
      EXPECT_TRUE(a.Red == b.Red && a.Green == b.Green && a.Blue == b.Blue);
    }
  }
  ColFlip(1, cdst, csrc);
  TRGBPixel a, b;
  csrc.GetRGB(0, 1, a);
  cdst.GetRGB(3, 1, b);
  EXPECT_TRUE(a.Red == b.Red && a.Green == b.Green && a.Blue == b.Blue);
  for (int c : rec.codes) EXPECT_EQ(c, 0);
}

TEST(Crop, InclusiveRectangle) {
  ErrorRecorder rec;
  TDataImage src, dst;
  RandomGrey(src, 6, 5, 11);
  ASSERT_TRUE(dst.Allocate(3, 1, 1, false));
  Crop(2, 3, 4, 3, dst, src);
  EXPECT_EQ(dst.Pixels[0], src.GetPixel(2, 3));
  EXPECT_EQ(dst.Pixels[1], src.GetPixel(3, 3));
  EXPECT_EQ(dst.Pixels[2], src.GetPixel(4, 3));

  TDataImage csrc, cdst;
  RandomColour(csrc, 6, 5, 12);
  ASSERT_TRUE(cdst.Allocate(2, 2, 0, true));
  ColCrop(4, 3, 5, 4, cdst, csrc);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 2; ++x) {
      TRGBPixel a, b;
      csrc.GetRGB(4 + x, 3 + y, a);
      cdst.GetRGB(x, y, b);
      EXPECT_TRUE(a.Red == b.Red && a.Green == b.Green && a.Blue == b.Blue);
    }
  }
  // A rectangle reaching past the source reads black there and never writes
  // past the destination.
  TDataImage small;
  ASSERT_TRUE(small.Allocate(2, 2, 1, false));
  Crop(5, 4, 9, 9, small, src);
  EXPECT_EQ(small.GetPixel(0, 0), src.GetPixel(5, 4));
  EXPECT_EQ(small.GetPixel(1, 0), 0.0f);
  EXPECT_EQ(small.GetPixel(0, 1), 0.0f);
  EXPECT_EQ(rec.codes, (std::vector<int>{0, 0, 0}));
}
