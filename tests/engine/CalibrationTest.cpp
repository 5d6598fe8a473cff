#include <gtest/gtest.h>

#include <random>

#include "ImageTestHelpers.h"
#include "engine/Processing.h"

using namespace ImgTest;

TEST(Calibration, SubtractionClampsAtZeroOnly) {
  ErrorRecorder rec;
  for (int which = 0; which < 2; ++which) {
    TDataImage src, frame, dst;
    Grey(src, 3, 2, 1, {5, 100, 70000, 0, 7, 3});
    Grey(frame, 3, 2, 1, {5, 101, 10, 0, 2, 4});
    Grey(dst, 3, 2, 1);
    Fill(dst, -9);
    (which ? SubtractDark : SubtractBias)(dst, src, frame);
    EXPECT_EQ(rec.Take(), 0);
    // No upper clamp: 70000 - 10 stays above the 16-bit maximum.
    EXPECT_EQ(Plane(dst), (std::vector<float>{0, 0, 69990, 0, 5, 0}));
  }
}

TEST(Calibration, FrameOfAnotherSizeIsRefused) {
  ErrorRecorder rec;
  TDataImage src, frame, dst, flat;
  Grey(src, 4, 3, 0);
  Fill(src, 9);
  Grey(dst, 4, 3, 0);
  Fill(dst, 1);
  Grey(frame, 3, 4, 0);
  SubtractBias(dst, src, frame);
  EXPECT_EQ(rec.Take(), 54);
  SubtractDark(dst, src, frame);
  EXPECT_EQ(rec.Take(), 53);
  EXPECT_EQ(Plane(dst), std::vector<float>(12, 1));
  Grey(flat, 4, 2, 0);
  Fill(flat, 1);
  FlatFieldDivide(src, flat);
  EXPECT_EQ(rec.Take(), 52);
  EXPECT_EQ(Plane(src), std::vector<float>(12, 9));
}

TEST(Calibration, FlatOfConstantLeavesImage) {
  ErrorRecorder rec;
  for (float c : {0.5f, 1.0f, 3.0f, 1000.0f}) {
    TDataImage img, flat;
    Grey(img, 5, 4, 3);
    for (int i = 0; i < 20; ++i) img.Pixels[i] = float(i * 7);
    Grey(flat, 5, 4, 3);
    Fill(flat, c);
    FlatFieldDivide(img, flat);
    EXPECT_EQ(rec.Take(), 0);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(img.Pixels[i], float(i * 7)) << c;
  }
}

TEST(Calibration, FlatNormalisedToItsMean) {
  ErrorRecorder rec;
  TDataImage img, flat;
  Grey(img, 2, 2, 3, {10, 20, 30, 50});
  Grey(flat, 2, 2, 3, {1, 1, 1, 5});
  FlatFieldDivide(img, flat);
  EXPECT_EQ(rec.Take(), 0);
  EXPECT_EQ(Plane(img), (std::vector<float>{20, 40, 60, 20}));

  // A zero flat pixel leaves its image pixel alone.
  Grey(img, 2, 2, 3, {10, 20, 30, 50});
  Grey(flat, 2, 2, 3, {0, 2, 2, 4});  // mean 2
  FlatFieldDivide(img, flat);
  EXPECT_EQ(rec.Take(), 0);
  EXPECT_EQ(Plane(img), (std::vector<float>{10, 20, 30, 25}));
}

TEST(Calibration, FlatTotalIsRoundedAtEveryStep) {
  // 0.0625 and 0.03125 scale to 625 and 312.5: the running total rounds
  // 937.5 to 938 (mean 469), where rounding each term would give 937 (468).
  ErrorRecorder rec;
  TDataImage img, flat;
  Grey(img, 2, 1, 3, {625, 312.5f});
  Grey(flat, 2, 1, 3, {0.0625f, 0.03125f});
  FlatFieldDivide(img, flat);
  EXPECT_EQ(rec.Take(), 0);
  EXPECT_NEAR(img.Pixels[0], 469.0f, 1e-3);
  EXPECT_NEAR(img.Pixels[1], 469.0f, 1e-3);
}

TEST(Calibration, ZeroFlatMeanFailsBeforeAnyPixel) {
  ErrorRecorder rec;
  for (float c : {0.0f, 0.00004f}) {
    TDataImage img, flat;
    Grey(img, 3, 3, 3);
    Fill(img, 4);
    Grey(flat, 3, 3, 3);
    Fill(flat, c);
    FlatFieldDivide(img, flat);
    EXPECT_EQ(rec.Take(), 52);
    EXPECT_EQ(Plane(img), std::vector<float>(9, 4));
  }
  TDataImage empty, emptyFlat;
  FlatFieldDivide(empty, emptyFlat);
  EXPECT_EQ(rec.Take(), 52);
}

TEST(Calibration, FlatOverflowStopsAtThatPixel) {
  // A denormal flat pixel normalises to a tiny divisor: the quotient leaves
  // the Single range there, and later pixels keep their values.
  ErrorRecorder rec;
  const int w = 300, h = 200;
  TDataImage img, flat;
  Grey(img, w, h, 3);
  Fill(img, 1.0e30f);
  Grey(flat, w, h, 3);
  Fill(flat, 1);
  flat.Pixels[150 * w + 17] = 1.0e-40f;
  FlatFieldDivide(img, flat);
  EXPECT_EQ(rec.Take(), 52);
  for (int i = 0; i < w * h; ++i) {
    ASSERT_EQ(img.Pixels[i], 1.0e30f) << i;  // f = 1 for the others
  }
  flat.Pixels[0] = 30001;  // the mean becomes 1.5: written pixels now change
  Fill(img, 1.0e30f);
  FlatFieldDivide(img, flat);
  EXPECT_EQ(rec.Take(), 52);
  EXPECT_NE(img.Pixels[150 * w + 16], 1.0e30f);
  EXPECT_EQ(img.Pixels[150 * w + 17], 1.0e30f);
  EXPECT_EQ(img.Pixels[150 * w + 18], 1.0e30f);
  EXPECT_EQ(img.Pixels[w * h - 1], 1.0e30f);
}

TEST(Calibration, MatchesNumpy) {
  ErrorRecorder rec;
  const int w = 173, h = 91;
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> val(0, 65535), off(-3000, 3000), fl(0.2f, 1.8f);
  std::vector<float> image(w * h), frame(w * h), flatv(w * h);
  for (int i = 0; i < w * h; ++i) {
    image[i] = i % 3 ? std::nearbyint(val(rng)) : val(rng);
    frame[i] = std::max(0.0f, image[i] + off(rng));
    flatv[i] = i % 97 == 0 ? 0.0f : fl(rng);
  }
  const std::string a = TempPath("cal_img"), b = TempPath("cal_frame"), c = TempPath("cal_flat"),
                    o1 = TempPath("cal_sub"), o2 = TempPath("cal_div");
  WriteFile(a, image);
  WriteFile(b, frame);
  WriteFile(c, flatv);
  ASSERT_TRUE(RunOracle("calibration.py", std::to_string(w) + " " + std::to_string(h) + " " + a + " " + b + " " +
                                              c + " " + o1 + " " + o2));
  TDataImage src, fr, dst, flat;
  Grey(src, w, h, 3, image);
  Grey(fr, w, h, 3, frame);
  Grey(flat, w, h, 3, flatv);
  CopyGrey(dst, src);
  SubtractDark(dst, src, fr);
  EXPECT_EQ(rec.Take(), 0);
  EXPECT_EQ(Plane(dst), ReadFile<float>(o1));
  FlatFieldDivide(src, flat);
  EXPECT_EQ(rec.Take(), 0);
  EXPECT_EQ(Plane(src), ReadFile<float>(o2));
}
