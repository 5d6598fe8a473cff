#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "engine/Checked.h"
#include "engine/ColStatistics.h"
#include "engine/Statistics.h"

using testsupport::ErrorLog;


TEST(Fixed4, RoundsHalvesToEvenAndRefusesTheUnrepresentable) {
  // 1/32 * 10000 = 312.5 and 3/32 * 10000 = 937.5 exactly.
  EXPECT_EQ(ToFixed4(1.0L / 32).Raw, 312);
  EXPECT_EQ(ToFixed4(3.0L / 32).Raw, 938);
  EXPECT_EQ(ToFixed4(-1.0L / 32).Raw, -312);
  EXPECT_EQ(FromFixed4(TFixed4{25000}), 2.5L);
  EXPECT_THROW(ToFixed4(1e16L), EngineFault);
  EXPECT_THROW(ToFixed4(NAN), EngineFault);
}

TEST(RegionStatistics, KnownRectangle) {
  ErrorLog log;
  TDataImage img;
  testsupport::Grey(img, 6, 5, 3);
  img.SetPixel(2, 1, 1);
  img.SetPixel(3, 1, 2);
  img.SetPixel(2, 2, 3);
  img.SetPixel(3, 2, 4);
  TRegionStatistics s;
  CalcRegionStatistics(2, 1, 3, 2, img, s);
  EXPECT_EQ(log.Take(), std::vector<int>{0});
  EXPECT_EQ(s.Width, 6);
  EXPECT_EQ(s.Height, 5);
  EXPECT_EQ(s.Count, 4);
  EXPECT_EQ(s.Max.Raw, 40000);
  EXPECT_EQ(s.Min.Raw, 10000);
  EXPECT_EQ(s.Sum.Raw, 100000);
  EXPECT_EQ(s.Mean.Raw, 25000);
  EXPECT_EQ(s.StdDev.Raw, 11180);  // population: sqrt(1.25)

  CalcRegionStatistics(3, 1, 3, 1, img, s);  // one pixel
  EXPECT_EQ(s.Count, 1);
  EXPECT_EQ(s.Mean.Raw, 20000);
  EXPECT_EQ(s.StdDev.Raw, 0);
  EXPECT_EQ(s.Width, 6);
}

TEST(RegionStatistics, SeedsEmptyRectanglesAndOverflow) {
  ErrorLog log;
  TDataImage img;
  testsupport::Grey(img, 3, 3, 3, {-5, -3, -1, -2, -2, -2, -4, -4, -4});
  TRegionStatistics s;
  CalcRegionStatistics(0, 0, 2, 0, img, s);
  EXPECT_EQ(s.Max.Raw, 0);  // the maximum starts at 0.0
  EXPECT_EQ(s.Min.Raw, -50000);
  EXPECT_EQ(s.Mean.Raw, -30000);
  log.Take();

  TRegionStatistics before = s;
  CalcRegionStatistics(2, 0, 1, 0, img, s);  // empty
  EXPECT_EQ(log.Take(), std::vector<int>{39});
  EXPECT_EQ(s.Count, before.Count);
  EXPECT_EQ(s.Sum, before.Sum);

  TDataImage big;
  testsupport::Grey(big, 1000, 1000, 2, std::vector<float>(1000000, 4.0e9f));
  CalcRegionStatistics(0, 0, 999, 999, big, s);  // Sum * 10000 beyond 2^63
  EXPECT_EQ(log.Take(), std::vector<int>{39});
  EXPECT_EQ(s.Sum, before.Sum);
}

TEST(RegionHistogram, BinsScaleAndSeeds) {
  ErrorLog log;
  TDataImage img;
  testsupport::Grey(img, 4, 1, 3, {0, 10, 5, 2.5f});
  TRegionHistogram h;
  CalcRegionHistogram(0, 0, 3, 0, img, h);
  EXPECT_EQ(log.Take(), std::vector<int>{0});
  EXPECT_EQ(h.Scale, 25.5f);
  EXPECT_EQ(h.Counts[255], 1);
  EXPECT_EQ(h.Counts[128], 1);  // 127.5 to even
  EXPECT_EQ(h.Counts[64], 1);   // 63.75
  EXPECT_EQ(h.Counts[0], 1);
  EXPECT_EQ(h.Max, 10.0f);
  EXPECT_EQ(h.Min, 0.0f);

  TDataImage zeros;
  testsupport::Grey(zeros, 3, 3, 0);
  CalcRegionHistogram(0, 0, 2, 2, zeros, h);
  EXPECT_EQ(h.Scale, 1.0f);
  EXPECT_EQ(h.Counts[0], 0);  // an empty histogram
  EXPECT_EQ(h.Max, 0.0f);
  log.Take();

  // Below zero with a positive maximum: counted in bin 0, never outside.
  TDataImage mixed;
  testsupport::Grey(mixed, 3, 1, 3, {-50, 10, -0.1f});
  CalcRegionHistogram(0, 0, 2, 0, mixed, h);
  EXPECT_EQ(h.Counts[0], 2);
  EXPECT_EQ(h.Counts[255], 1);
  EXPECT_EQ(h.Min, -50.0f);

  // All negative: the bins run from the minimum up to 0, Scale 255 / 2;
  // -1 lies at 127.5, to even 128. An empty rectangle fails.
  TDataImage neg;
  testsupport::Grey(neg, 2, 1, 3, {-1, -2});
  log.Take();
  CalcRegionHistogram(0, 0, 1, 0, neg, h);
  EXPECT_EQ(log.Take(), std::vector<int>{0});
  EXPECT_EQ(h.Scale, 127.5f);
  EXPECT_EQ(h.Counts[0], 1);
  EXPECT_EQ(h.Counts[128], 1);
  EXPECT_EQ(h.Origin(), -2.0f);
  EXPECT_EQ(h.Level(255), 0.0L);
  EXPECT_EQ(h.Max, 0.0f);
  const TRegionHistogram kept = h;
  CalcRegionHistogram(1, 0, 0, 0, neg, h);
  EXPECT_EQ(log.Take(), std::vector<int>{40});
  EXPECT_EQ(h.Counts, kept.Counts);
  EXPECT_EQ(h.Min, kept.Min);

  // Where the bins run up to 0, the top one is 0 whatever the Single scale
  // (255 / 100 is no Single), and the lowest the minimum.
  const struct {
    std::vector<float> Values;
    float Bottom;
  } ends[] = {{{-100, -37.5f, 0}, -100}, {{-0.3f, -0.1f}, -0.3f}, {{-7, -1}, -7}, {{-65535, -3}, -65535}};
  for (const auto& e : ends) {
    TDataImage frame;
    testsupport::Grey(frame, int(e.Values.size()), 1, 3, e.Values);
    CalcRegionHistogram(0, 0, frame.Width - 1, 0, frame, h);
    EXPECT_EQ(h.Level(255), 0.0L) << e.Bottom;
    EXPECT_EQ(h.Level(0), (long double)e.Bottom);
    EXPECT_LT(h.Level(254), 0.0L) << e.Bottom;
  }
}

TEST(ColRegion, OnePixelAndTheIntensityBins) {
  ErrorLog log;
  TDataImage img;
  testsupport::Colour(img, 4, 4);
  img.SetRGB(1, 2, TRGBPixel{10, 20, 30});
  TColRegionHistogram h;
  ColCalcRegionHistogram(1, 2, 1, 2, img, h);
  EXPECT_EQ(log.Take(), std::vector<int>{0});
  EXPECT_EQ(h.Red[30], 1);
  EXPECT_EQ(h.Green[20], 1);
  EXPECT_EQ(h.Blue[10], 1);
  EXPECT_EQ(h.Intensity[20], 1);
  TColRegionStatistics s;
  ColCalcRegionStatistics(1, 2, 1, 2, img, s);
  EXPECT_EQ(s.Max.Blue, 10);
  EXPECT_EQ(s.Max.Green, 20);
  EXPECT_EQ(s.Max.Red, 30);
  EXPECT_EQ(s.Min.Red, 30);
  EXPECT_EQ(s.SumRed, 30);
  EXPECT_EQ(s.Width, 4);
  EXPECT_EQ(s.Count, 1);

  img.SetRGB(0, 0, TRGBPixel{127, 127, 128});  // 382 -> 127.33
  img.SetRGB(1, 0, TRGBPixel{254, 255, 255});  // 764 -> 254.67
  ColCalcRegionHistogram(0, 0, 1, 0, img, h);
  EXPECT_EQ(h.Intensity[127], 1);
  EXPECT_EQ(h.Intensity[255], 1);

  const auto kept = s;
  ColCalcRegionStatistics(2, 0, 1, 0, img, s);  // empty
  log.Take();
  ColCalcRegionStatistics(2, 0, 1, 0, img, s);
  EXPECT_EQ(log.Take(), std::vector<int>{18});
  EXPECT_EQ(s.SumRed, kept.SumRed);
}

TEST(ColRegion, SumsBeyond32Bits) {
  ErrorLog log;
  TDataImage img;
  testsupport::Colour(img, 3000, 3000);
  std::fill(img.RGBPlane, img.RGBPlane + img.PixelCount(), TRGBPixel{255, 255, 255});
  TColRegionStatistics s;
  ColCalcRegionStatistics(0, 0, 2999, 2999, img, s);
  EXPECT_EQ(s.SumRed, 255LL * 9000000);
  EXPECT_EQ(s.MeanBlue, 255.0L);
  EXPECT_EQ(s.StdDevGreen, 0.0L);
}

TEST(RegionOracle, GreyAgreesWithNumpy) {
  testsupport::RequirePython("numpy");
  for (int trial = 0; trial < 5; ++trial) {
    TDataImage img;
    // Trial 4 has no pixel above 0 (a bias-subtracted or inverted frame).
    testsupport::RandomGrey(img, 301, 207, 3, 40 + trial, trial == 2 ? -100.0f : trial == 4 ? -1234.5f : 0.0f,
                            trial == 4 ? 0.0f : 70000.0f, trial == 0);
    if (trial == 3) {  // a wide dynamic range: the sums round
      std::mt19937 rng(3);
      std::uniform_real_distribution<float> e(-6.0f, 6.0f);
      for (std::int64_t i = 0; i < img.PixelCount(); ++i) img.Pixels[i] = std::pow(10.0f, e(rng));
    }
    const int x1 = 7, y1 = 3, x2 = 290, y2 = 200;
    TRegionStatistics s;
    TRegionHistogram h;
    ErrorLog log;
    CalcRegionStatistics(x1, y1, x2, y2, img, s);
    CalcRegionHistogram(x1, y1, x2, y2, img, h);
    ASSERT_EQ(log.Take(), (std::vector<int>{0, 0}));
    char args[128];
    std::snprintf(args, sizeof args, "grey %d %d %d %d %d %d", img.Width, img.Height, x1, y1, x2, y2);
    auto out = testsupport::RunOracle("region_stats.py", args, img.Pixels, img.PixelCount() * 4);
    ASSERT_EQ(out.size(), 5 * 8 + 4 + 256 * 8u);
    auto fixed = testsupport::AsVector<std::int64_t>(std::vector<char>(out.begin(), out.begin() + 40));
    EXPECT_EQ(s.Max.Raw, fixed[0]);
    EXPECT_EQ(s.Min.Raw, fixed[1]);
    EXPECT_EQ(s.Sum.Raw, fixed[2]);
    EXPECT_EQ(s.Mean.Raw, fixed[3]);
    EXPECT_EQ(s.StdDev.Raw, fixed[4]);
    float scale;
    std::memcpy(&scale, out.data() + 40, 4);
    EXPECT_EQ(h.Scale, scale);
    auto counts = testsupport::AsVector<std::int64_t>(std::vector<char>(out.begin() + 44, out.end()));
    for (int b = 0; b < 256; ++b) ASSERT_EQ(h.Counts[b], counts[b]) << "bin " << b;
  }
}

TEST(RegionOracle, ColourAgreesWithPillowAndNumpy) {
  testsupport::RequirePython("numpy, PIL");
  TDataImage img;
  testsupport::RandomColour(img, 123, 77, 9);
  const int x1 = 3, y1 = 2, x2 = 120, y2 = 70;
  TColRegionStatistics s;
  TColRegionHistogram h;
  ErrorLog log;
  ColCalcRegionStatistics(x1, y1, x2, y2, img, s);
  ColCalcRegionHistogram(x1, y1, x2, y2, img, h);
  ASSERT_EQ(log.Take(), (std::vector<int>{0, 0}));
  char args[128];
  std::snprintf(args, sizeof args, "colour %d %d %d %d %d %d", img.Width, img.Height, x1, y1, x2, y2);
  auto out = testsupport::RunOracle("region_stats.py", args, img.RGBPlane, img.PixelCount() * 3);
  ASSERT_EQ(out.size(), 1024 * 8 + 3 * 8 + 6 * 8u);
  auto counts = testsupport::AsVector<std::int64_t>(std::vector<char>(out.begin(), out.begin() + 1024 * 8 + 24));
  for (int b = 0; b < 256; ++b) {
    ASSERT_EQ(h.Red[b], counts[b]);
    ASSERT_EQ(h.Green[b], counts[256 + b]);
    ASSERT_EQ(h.Blue[b], counts[512 + b]);
    ASSERT_EQ(h.Intensity[b], counts[768 + b]);
  }
  EXPECT_EQ(s.SumRed, counts[1024]);
  EXPECT_EQ(s.SumGreen, counts[1025]);
  EXPECT_EQ(s.SumBlue, counts[1026]);
  auto reals = testsupport::AsVector<double>(std::vector<char>(out.begin() + 1024 * 8 + 24, out.end()));
  EXPECT_NEAR(double(s.MeanRed), reals[0], 1e-12);
  EXPECT_NEAR(double(s.MeanBlue), reals[2], 1e-12);
  EXPECT_NEAR(double(s.StdDevRed), reals[3], 1e-12);
  EXPECT_NEAR(double(s.StdDevGreen), reals[4], 1e-12);
  EXPECT_NEAR(double(s.StdDevBlue), reals[5], 1e-12);
}

TEST(RegionHistogram, AZeroMinimumIsTheFirstZeroMet) {
  ErrorLog log;
  TDataImage img;
  std::vector<float> v(64 * 64, 3.0f);
  v[100] = -0.0f;
  v[2000] = 0.0f;
  testsupport::Grey(img, 64, 64, 3, v);
  TRegionHistogram h;
  CalcRegionHistogram(0, 0, 63, 63, img, h);
  EXPECT_TRUE(std::signbit(h.Min));
  img.Pixels[50] = 0.0f;
  CalcRegionHistogram(0, 0, 63, 63, img, h);
  EXPECT_FALSE(std::signbit(h.Min));
  EXPECT_EQ(h.Max, 3.0f);
  EXPECT_EQ(log.Take(), (std::vector<int>{0, 0}));
}
