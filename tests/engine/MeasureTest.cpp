// Centroids, aperture sums and magnitudes; numpy/scipy as the reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "EngineHookRecorder.h"
#include "engine/Measure.h"
#include "engine/photometry.h"

namespace {

struct TestWindow : IMeasureSource {
  TDataImage Img;
  bool HasRegion = false;
  int L = 0, T = 0, R = 0, B = 0;
  std::vector<TApertureRec> Apertures;
  const TDataImage& Image() const override { return Img; }
  bool GetSelection(int& Left, int& Top, int& Right, int& Bottom) const override {
    Left = L, Top = T, Right = R, Bottom = B;
    return HasRegion;
  }
  int ApertureCount() const override { return int(Apertures.size()); }
  TApertureRec Aperture(int Index) const override { return Apertures.at(std::size_t(Index)); }
};

const std::string NoArea =
    "There is no area currently defined.  To define an area, draw a bounding box around the region of interest.";
const std::string NoCentroid = "Corvelle Image could not determine the centroid for the selected region.";

void Star(TDataImage& img, int W, int H, double X, double Y, double Peak, double Sigma, double Sky, unsigned Seed) {
  ASSERT_TRUE(img.Allocate(W, H, 3, false));
  std::mt19937 rng(Seed);
  std::normal_distribution<double> noise(0, 2);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const double r2 = (x + 0.5 - X) * (x + 0.5 - X) + (y + 0.5 - Y) * (y + 0.5 - Y);
      img.SetPixel(x, y, float(Sky + Peak * std::exp(-r2 / (2 * Sigma * Sigma)) + noise(rng)));
    }
}

// Runs the oracle on the image and returns its one output line.
std::string Oracle(const TDataImage& img, const std::string& Args) {
  const std::string file = UniqueTempFile("measure_img.f32");
  {
    std::ofstream f(file, std::ios::binary);
    f.write(reinterpret_cast<const char*>(img.Pixels), std::streamsize(img.PixelCount() * sizeof(float)));
  }
  const std::string cmd = "/usr/bin/python3 " + std::string(CORVELLE_SOURCE_DIR) + "/tests/oracles/measure.py " +
                          Args.substr(0, Args.find(' ')) + " " + file + " " + std::to_string(img.Width) + " " +
                          std::to_string(img.Height) + Args.substr(Args.find(' '));
  FILE* p = popen(cmd.c_str(), "r");
  std::string out;
  char buf[512];
  while (p && fgets(buf, sizeof buf, p)) out += buf;
  const int rc = p ? pclose(p) : -1;
  EXPECT_EQ(rc, 0) << "the numpy/scipy oracle did not run: " << cmd;
  return out;
}

void RequirePython() {
  ASSERT_EQ(std::system("/usr/bin/python3 -c 'import numpy, scipy' 2>/dev/null"), 0)
      << "python3-numpy/scipy are missing: the cross-check cannot run";
}

}  // namespace

TEST(CalcCentroid, WarnsWithoutRegionOrCentroid) {
  EngineHookRecorder rec;
  TestWindow w;
  ASSERT_TRUE(w.Img.Allocate(10, 10, 3, false));
  float X = 3, Y = 4;
  EXPECT_FALSE(CalcCentroid(X, Y, w));
  EXPECT_EQ(X, 0.0f);
  EXPECT_EQ(Y, 0.0f);
  ASSERT_EQ(rec.Warnings, std::vector<std::string>{NoArea});

  // Every pixel above 1.1 times the mean lies in column 0: sx stays 0.
  w.HasRegion = true;
  w.L = 0, w.T = 0, w.R = 5, w.B = 5;
  for (int y = 0; y < 10; ++y) w.Img.SetPixel(0, y, 100);
  X = 3, Y = 4;
  EXPECT_FALSE(CalcCentroid(X, Y, w));
  EXPECT_EQ(X, 0.0f);
  EXPECT_EQ(Y, 0.0f);
  // A flat region has nothing above its threshold.
  w.L = 3, w.T = 3, w.R = 6, w.B = 6;
  EXPECT_FALSE(CalcCentroid(X, Y, w));
  EXPECT_EQ(rec.Warnings, (std::vector<std::string>{NoArea, NoCentroid, NoCentroid}));
}

TEST(CalcCentroid, UnweightedMeanMatchesNumpy) {
  RequirePython();
  EngineHookRecorder rec;
  std::mt19937 rng(4);
  for (int trial = 0; trial < 6; ++trial) {
    TestWindow w;
    const double sx = 20 + rng() % 20 + 0.37 * trial, sy = 15 + rng() % 20 + 0.21 * trial;
    Star(w.Img, 60, 50, sx, sy, 300 + 100 * trial, 1.5 + 0.3 * trial, 100, unsigned(trial));
    w.HasRegion = true;
    w.L = int(sx) - 8, w.T = int(sy) - 7, w.R = int(sx) + 9, w.B = int(sy) + 6;
    float X = 0, Y = 0;
    ASSERT_TRUE(CalcCentroid(X, Y, w));
    std::istringstream ref(Oracle(w.Img, "centroid " + std::to_string(w.L) + " " + std::to_string(w.T) + " " +
                                             std::to_string(w.R) + " " + std::to_string(w.B)));
    double ex = 0, ey = 0;
    ASSERT_TRUE(ref >> ex >> ey);
    EXPECT_NEAR(X, ex, 1e-4);
    EXPECT_NEAR(Y, ey, 1e-4);
  }
  EXPECT_TRUE(rec.Warnings.empty());
}

TEST(MeasureStarCentroid, WeightedCentroidMatchesScipy) {
  RequirePython();
  EngineHookRecorder rec;
  for (int trial = 0; trial < 6; ++trial) {
    TestWindow w;
    const double sx = 25.3 + 1.7 * trial, sy = 20.6 - 1.1 * trial;
    Star(w.Img, 60, 50, sx, sy, 500, 1.2 + 0.4 * trial, 50, unsigned(100 + trial));
    const int box = 7 + 2 * trial;
    float X = float(sx) + 1.0f, Y = float(sy) - 1.0f;
    const float x0 = X, y0 = Y;
    ASSERT_TRUE(MeasureStarCentroid(X, Y, box, w));
    std::istringstream ref(
        Oracle(w.Img, "star " + std::to_string(x0) + " " + std::to_string(y0) + " " + std::to_string(box)));
    double ex = 0, ey = 0;
    ASSERT_TRUE(ref >> ex >> ey);
    EXPECT_NEAR(X, ex, 1e-3);
    EXPECT_NEAR(Y, ey, 1e-3);
    // The star's centre of light (pixel centres at +0.5 in this synthetic image).
    EXPECT_NEAR(X + 0.5, sx, 0.3);
    EXPECT_NEAR(Y + 0.5, sy, 0.3);
  }
  EXPECT_TRUE(rec.Warnings.empty());
}

TEST(MeasureStarCentroid, BoxExtentRoundingAndFailures) {
  EngineHookRecorder rec;
  TestWindow w;
  ASSERT_TRUE(w.Img.Allocate(30, 30, 3, false));
  // Box 7 about (10, 10) covers 7..13: the bright pixels at 6 and 14 stay out.
  w.Img.SetPixel(7, 7, 1);
  w.Img.SetPixel(13, 13, 3);
  w.Img.SetPixel(6, 6, 1000);
  w.Img.SetPixel(14, 14, 1000);
  float X = 10, Y = 10;
  ASSERT_TRUE(MeasureStarCentroid(X, Y, 7, w));
  EXPECT_FLOAT_EQ(X, (7 * 1 + 13 * 3) / 4.0f);
  EXPECT_FLOAT_EQ(Y, (7 * 1 + 13 * 3) / 4.0f);

  // X = 11.5 with half-box 3: Round(8.5) = 8 and Round(14.5) = 14, halves to even.
  TestWindow r;
  ASSERT_TRUE(r.Img.Allocate(30, 30, 3, false));
  r.Img.SetPixel(8, 10, 5);
  r.Img.SetPixel(13, 12, 3);
  r.Img.SetPixel(15, 10, 1000);
  X = 11.5f, Y = 10;
  ASSERT_TRUE(MeasureStarCentroid(X, Y, 7, r));
  EXPECT_FLOAT_EQ(X, (8 * 5 + 13 * 3) / 8.0f);
  EXPECT_FLOAT_EQ(Y, (10 * 5 + 12 * 3) / 8.0f);

  // Box 0 is the single pixel, never above 1.1 times itself.
  X = 13, Y = 13;
  EXPECT_FALSE(MeasureStarCentroid(X, Y, 0, w));
  EXPECT_EQ(X, 0.0f);
  EXPECT_EQ(Y, 0.0f);
  // All the light in row 0 gives sy = 0.
  TestWindow e;
  ASSERT_TRUE(e.Img.Allocate(10, 10, 3, false));
  e.Img.SetPixel(4, 0, 50);
  X = 4, Y = 1;
  EXPECT_FALSE(MeasureStarCentroid(X, Y, 5, e));
  // A box reaching over the edges is clamped to the image.
  e.Img.SetPixel(1, 1, 50);
  X = 0, Y = 0;
  ASSERT_TRUE(MeasureStarCentroid(X, Y, 9, e));
  EXPECT_FLOAT_EQ(X, (1 * 50 + 4 * 50) / 100.0f);
  EXPECT_FLOAT_EQ(Y, 0.5f);
  EXPECT_TRUE(rec.Warnings.empty());
}

TEST(MeasureAperture, RefusalsAndFailureMarks) {
  EngineHookRecorder rec;
  TestWindow w;
  ASSERT_TRUE(w.Img.Allocate(40, 40, 3, false));
  for (int i = 0; i < 1600; ++i) w.Img.Pixels[i] = 7;
  w.Apertures = {{5.0f, 20.0f, 3, 4, 6}, {20.0f, 20.0f, 8, 4, 6}, {20.0f, 20.0f, 3, 4, 6}};
  double flux = -1, zero = -1, sky = -1, status = -1;
  MeasureAperture(0, flux, zero, sky, status, w);  // Round(5) - 6 < 0
  EXPECT_EQ(status, 999.0);
  EXPECT_EQ(flux, 0.0);
  EXPECT_EQ(zero, 0.0);
  EXPECT_TRUE(rec.Codes.empty());

  // Aperture radius beyond the annulus: no sky, no measurement.
  flux = zero = sky = status = -1;
  MeasureAperture(1, flux, zero, sky, status, w);
  EXPECT_EQ(status, 999.0);
  EXPECT_EQ(flux, 0.0);
  EXPECT_EQ(sky, -1.0);

  // An index outside the list reports 201 and leaves everything alone.
  flux = zero = sky = status = -1;
  MeasureAperture(3, flux, zero, sky, status, w);
  MeasureAperture(-1, flux, zero, sky, status, w);
  EXPECT_EQ(rec.Codes, (std::vector<int>{201, 201}));
  EXPECT_EQ(flux, -1.0);
  EXPECT_EQ(status, -1.0);

  // A flat image: the sky is the level and nothing is left above it.
  rec.Codes.clear();
  MeasureAperture(2, flux, zero, sky, status, w);
  EXPECT_EQ(rec.Codes, std::vector<int>{0});
  EXPECT_EQ(status, -1.0);
  EXPECT_EQ(sky, 7.0);
  EXPECT_NEAR(flux, 0.0, 1e-12);
  EXPECT_EQ(zero, 0.0);
}

TEST(MeasureAperture, SkyIsTheMeanOfTheMiddleSamples) {
  EngineHookRecorder rec;
  TestWindow w;
  ASSERT_TRUE(w.Img.Allocate(20, 20, 3, false));
  // R 0, annulus 1..1: the four neighbours 10, 20, 30, 1000; sorted samples 1..3.
  w.Img.SetPixel(11, 10, 30);
  w.Img.SetPixel(9, 10, 1000);
  w.Img.SetPixel(10, 11, 10);
  w.Img.SetPixel(10, 9, 20);
  w.Apertures = {{10.0f, 10.0f, 0, 1, 1}};
  double flux = 0, zero = 0, sky = 0, status = -1;
  MeasureAperture(0, flux, zero, sky, status, w);
  EXPECT_EQ(rec.Codes, std::vector<int>{0});
  EXPECT_DOUBLE_EQ(sky, (20 + 30 + 1000) / 3.0);
  EXPECT_EQ(status, -1.0);
}

TEST(MeasureAperture, TheBottomOfTheApertureCountsAsMuchAsTheTop) {
  EngineHookRecorder rec;
  // Each row has its own value; the image and its mirror about row 15 give
  // the same flux through an aperture centred on pixel (15, 15).
  double fluxes[2] = {0, 0};
  for (int mirrored = 0; mirrored < 2; ++mirrored) {
    TestWindow w;
    ASSERT_TRUE(w.Img.Allocate(30, 30, 3, false));
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 30; ++x) {
        const int row = mirrored ? 30 - y : y;
        w.Img.SetPixel(x, y, (std::abs(x - 15) <= 4 && std::abs(row - 15) <= 4) ? float(1 << (row - 11)) : 0.0f);
      }
    w.Apertures = {{15.0f, 15.0f, 3, 6, 8}};
    double zero = 0, sky = -5, status = -1;
    MeasureAperture(0, fluxes[mirrored], zero, sky, status, w);
    EXPECT_EQ(sky, 0.0);
    EXPECT_EQ(status, -1.0);
  }
  EXPECT_GT(fluxes[0], 0.0);
  EXPECT_DOUBLE_EQ(fluxes[0], fluxes[1]);
}

// Pixel-integrated Gaussian stars on a flat sky against the analytic integral
// of the star over the aperture, F (1 - exp(-R^2 / 2 s^2)), where the pixels'
// own width spreads the recorded star to s^2 = sigma^2 + 1/12.
TEST(MeasureAperture, GaussianStarsAgainstTheirIntegral) {
  EngineHookRecorder rec;
  std::mt19937 rng(28);
  std::uniform_real_distribution<double> frac(0.0, 1.0);
  const double F = 40000, SkyLevel = 100;
  for (const double sigma : {1.0, 1.5, 2.0, 2.5}) {
    for (const int R : {int(std::ceil(3 * sigma)), int(std::ceil(4 * sigma))}) {
      const double inside = F * (1 - std::exp(-R * R / (2 * (sigma * sigma + 1.0 / 12))));
      double lo = 1e300, hi = -1e300;
      for (int t = 0; t < 6; ++t) {
        const double X = 40 + frac(rng), Y = 38 + frac(rng);
        TestWindow w;
        ASSERT_TRUE(w.Img.Allocate(80, 80, 3, false));
        auto share = [sigma](int p, double c) {
          const double s = sigma * std::sqrt(2.0);
          return 0.5 * (std::erf((p + 0.5 - c) / s) - std::erf((p - 0.5 - c) / s));
        };
        for (int y = 0; y < 80; ++y)
          for (int x = 0; x < 80; ++x) w.Img.SetPixel(x, y, float(SkyLevel + F * share(x, X) * share(y, Y)));
        w.Apertures = {{float(X), float(Y), R, R + 3, R + 8}};
        double flux = 0, zero = 0, sky = 0, status = -1;
        MeasureAperture(0, flux, zero, sky, status, w);
        EXPECT_NEAR(flux / inside, 1.0, 0.01) << "sigma " << sigma << " R " << R << " at " << X << ", " << Y;
        if (R >= 4 * sigma) {
          EXPECT_NEAR(flux / F, 1.0, 0.01) << "sigma " << sigma << " R " << R;
        }
        lo = std::min(lo, flux);
        hi = std::max(hi, flux);
      }
      // The same star wherever it falls within its pixel.
      EXPECT_LT((hi - lo) / F, 0.005) << "sigma " << sigma << " R " << R;
    }
  }
}

TEST(MeasureAperture, MatchesNumpyReplicaOnStars) {
  RequirePython();
  EngineHookRecorder rec;
  std::mt19937 rng(9);
  for (int trial = 0; trial < 8; ++trial) {
    TestWindow w;
    const double X = 40 + (rng() % 1000) / 100.0, Y = 35 + (rng() % 1000) / 100.0;
    Star(w.Img, 90, 80, X, Y, 800, 2.0, 120, unsigned(trial));
    const int R = 3 + trial, Rin = R + 2 + trial % 3, Rout = Rin + 6 + trial;
    w.Apertures = {{float(X), float(Y), R, Rin, Rout}};
    double flux = 0, zero = 0, sky = 0, status = -1;
    MeasureAperture(0, flux, zero, sky, status, w);
    char args[200];
    std::snprintf(args, sizeof args, "aperture %.9g %.9g %d %d %d", double(float(X)), double(float(Y)), R, Rin,
                  Rout);
    std::istringstream ref(Oracle(w.Img, args));
    double eflux = 0, esky = 0;
    ASSERT_TRUE(ref >> eflux >> esky) << args;
    EXPECT_NEAR(sky, esky, 1e-9 * std::fabs(esky)) << args;
    EXPECT_NEAR(flux, eflux, 1e-9 * std::fabs(eflux) + 1e-9) << args;
    EXPECT_EQ(status, -1.0);
  }
  // A large annulus (far beyond 2048 samples) measures like any other.
  TestWindow big;
  Star(big.Img, 200, 200, 100.3, 99.6, 800, 3.0, 120, 77);
  big.Apertures = {{100.3f, 99.6f, 30, 40, 90}};
  double flux = 0, zero = 0, sky = 0, status = -1;
  MeasureAperture(0, flux, zero, sky, status, big);
  std::istringstream ref(Oracle(big.Img, "aperture 100.3 99.6 30 40 90"));
  double eflux = 0, esky = 0;
  ASSERT_TRUE(ref >> eflux >> esky);
  EXPECT_NEAR(sky, esky, 1e-9 * esky);
  EXPECT_NEAR(flux, eflux, 1e-8 * std::fabs(eflux) + 1e-6);
  EXPECT_EQ(status, -1.0);
}

TEST(Magnitudes, ValuesAndSentinels) {
  EXPECT_DOUBLE_EQ(InstrumentalMagnitude(1000, 0, 20, 10), 15.0);
  EXPECT_EQ(InstrumentalMagnitude(1000, 0, 20, 0), -99.0);
  EXPECT_EQ(InstrumentalMagnitude(0, 0, 20, 10), -99.0);
  EXPECT_EQ(InstrumentalMagnitude(100, 100, 20, 10), -99.0);
  EXPECT_EQ(InstrumentalMagnitude(100, 0, 20, -10), 999.0);
  EXPECT_EQ(InstrumentalMagnitude(-5, -10, 20, 10), 999.0);

  EXPECT_DOUBLE_EQ(CalcMagnitude(10, 1000, 0, 100, 0), 12.5);
  EXPECT_DOUBLE_EQ(CalcMagnitude(10, 1000, 0, 100, 55), 12.5);  // the flux zero term does not enter
  EXPECT_DOUBLE_EQ(CalcMagnitude(10, 1100, 100, 100, 0), 12.5);
  EXPECT_EQ(CalcMagnitude(10, 1000, 0, 0, 0), 999.0);
  EXPECT_EQ(CalcMagnitude(10, 1000, 0, -3, 0), 999.0);
  EXPECT_EQ(CalcMagnitude(10, 1000, 1000, 100, 0), 999.0);
}
