// Marker registration: fits recovered through a linear ramp target, whose
// bilinear samples are the mapped coordinates themselves.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>

#include "EngineHookRecorder.h"
#include "LapackOracle.h"
#include "engine/RegisterImages.h"

namespace {

constexpr int W = 64, H = 48;

void Ramp(TDataImage& img) {
  ASSERT_TRUE(img.Allocate(W, H, 3, false));
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) img.SetPixel(x, y, float(3 * x + 2 * y + 7));
}

void Fill(TDataImage& img, float v) {
  ASSERT_TRUE(img.Allocate(W, H, 3, false));
  for (int i = 0; i < W * H; ++i) img.Pixels[i] = v;
}

// Compares Output with the ramp sampled at Map(x, y); pixels mapped within a
// hair of the sampled area's edge are left out, those clearly outside must be 0.
void ExpectRampThrough(const TDataImage& out, const std::function<void(double, double, double&, double&)>& Map) {
  int inside = 0;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      double sx, sy;
      Map(x, y, sx, sy);
      const double margin = 1e-3;
      const float v = out.GetPixel(x, y);
      if (sx >= margin && sx < W - 1 - margin && sy >= margin && sy < H - 1 - margin) {
        ++inside;
        ASSERT_NEAR(v, 3 * sx + 2 * sy + 7, 2e-3 * (3 * sx + 2 * sy + 7)) << x << "," << y;
      } else if (sx < -1 - margin || sx > W - 1 + margin || sy < -1 - margin || sy > H - 1 + margin) {
        ASSERT_EQ(v, 0.0f) << x << "," << y;
      }
    }
  EXPECT_GT(inside, W * H / 3);
}

}  // namespace

TEST(RegisterImages, IdenticalPairsGiveTheIdentity) {
  EngineHookRecorder rec;
  TDataImage target, ref, out;
  Ramp(target);
  Fill(ref, 1);
  Fill(out, -5);
  TMarkerPairArray m{};
  m[1] = {10, 10, 10, 10};
  m[2] = {50, 12, 50, 12};
  m[3] = {20, 40, 20, 40};
  RegisterLinear(1, m, 3, target, ref, out);
  EXPECT_EQ(rec.Codes, std::vector<int>{0});
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const float expected = (x == W - 1 || y == H - 1) ? 0.0f : target.GetPixel(x, y);
      ASSERT_NEAR(out.GetPixel(x, y), expected, 1e-3) << x << "," << y;
    }
}

TEST(RegisterImages, ShiftGivesHalfPixelAverages) {
  EngineHookRecorder rec;
  TDataImage target, ref, out;
  ASSERT_TRUE(target.Allocate(W, H, 1, false));
  std::mt19937 rng(3);
  for (int i = 0; i < W * H; ++i) target.Pixels[i] = float(rng() % 1000);
  Fill(ref, 0);
  Fill(out, -5);
  TMarkerPairArray m{};
  const float refs[4][2] = {{10, 10}, {50, 12}, {20, 40}, {33, 21}};
  for (int i = 0; i < 4; ++i) m[i + 1] = {refs[i][0] + 2.5f, refs[i][1] - 1, refs[i][0], refs[i][1]};
  RegisterLinear(1, m, 4, target, ref, out);
  EXPECT_EQ(rec.Codes, std::vector<int>{0});
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      float expected = 0.0f;
      if (y >= 1 && x + 3 <= W - 1)
        expected = 0.5f * target.GetPixel(x + 2, y - 1) + 0.5f * target.GetPixel(x + 3, y - 1);
      ASSERT_NEAR(out.GetPixel(x, y), expected, 1e-3) << x << "," << y;
    }
}

TEST(RegisterImages, RotatedAndShiftedMarkers) {
  EngineHookRecorder rec;
  TDataImage target, ref, out;
  Ramp(target);
  Fill(ref, 0);
  Fill(out, 0);
  const double a = 10 * M_PI / 180, c = std::cos(a), s = std::sin(a), tx = 5.3, ty = -2.1;
  auto map = [&](double x, double y, double& sx, double& sy) {
    sx = c * x - s * y + tx;
    sy = s * x + c * y + ty;
  };
  TMarkerPairArray m{};
  const double refs[5][2] = {{5, 5}, {60, 8}, {30, 44}, {12, 30}, {47, 27}};
  for (int i = 0; i < 5; ++i) {
    double sx, sy;
    map(refs[i][0], refs[i][1], sx, sy);
    m[i + 1] = {float(sx), float(sy), float(refs[i][0]), float(refs[i][1])};
  }
  RegisterLinear(1, m, 5, target, ref, out);
  EXPECT_EQ(rec.Codes, std::vector<int>{0});
  ExpectRampThrough(out, map);
}

TEST(RegisterImages, QuadraticMapping) {
  EngineHookRecorder rec;
  TDataImage target, ref, out;
  Ramp(target);
  Fill(ref, 0);
  Fill(out, 0);
  auto map = [](double x, double y, double& sx, double& sy) {
    sx = 1.5 + 0.97 * x + 0.02 * y + 1e-3 * x * x - 2e-4 * x * y + 5e-4 * y * y;
    sy = -0.5 + 0.01 * x + 1.02 * y - 3e-4 * x * x + 1e-4 * x * y - 1e-3 * y * y;
  };
  TMarkerPairArray m{};
  const double refs[9][2] = {{2, 3}, {60, 4}, {31, 45}, {8, 40}, {55, 38}, {30, 20}, {15, 12}, {45, 15}, {20, 30}};
  for (int i = 0; i < 9; ++i) {
    double sx, sy;
    map(refs[i][0], refs[i][1], sx, sy);
    m[i + 1] = {float(sx), float(sy), float(refs[i][0]), float(refs[i][1])};
  }
  RegisterQuadratic(2, m, 9, target, ref, out);
  EXPECT_EQ(rec.Codes, std::vector<int>{0});
  ExpectRampThrough(out, [&](double x, double y, double& sx, double& sy) {
    // The markers are Singles: the fit is that of the rounded positions.
    map(x, y, sx, sy);
  });
}

TEST(RegisterImages, NoisyPairsUseEveryPairInTheFit) {
  EngineHookRecorder rec;
  TDataImage target, ref, out;
  Ramp(target);
  Fill(ref, 0);
  Fill(out, 0);
  std::mt19937 rng(17);
  std::uniform_real_distribution<float> noise(-0.7f, 0.7f), pos(2, 45);
  TMarkerPairArray m{};
  const int count = 12;
  std::vector<double> a, bx, by;
  for (int i = 1; i <= count; ++i) {
    const float rx = pos(rng), ry = pos(rng);
    m[std::size_t(i)] = {rx + 1.25f + noise(rng), ry - 0.75f + noise(rng), rx, ry};
    a.insert(a.end(), {1.0, double(rx), double(ry)});
    bx.push_back(m[std::size_t(i)].TargetX);
    by.push_back(m[std::size_t(i)].TargetY);
  }
  const auto cx = Lapack::LeastSquares(a, bx, count, 3), cy = Lapack::LeastSquares(a, by, count, 3);
  RegisterLinear(1, m, count, target, ref, out);
  EXPECT_EQ(rec.Codes, std::vector<int>{0});
  ExpectRampThrough(out, [&](double x, double y, double& sx, double& sy) {
    sx = cx[0] + cx[1] * x + cx[2] * y;
    sy = cy[0] + cy[1] * x + cy[2] * y;
  });
}

TEST(RegisterImages, RefusalsReportTheRoutineNumber) {
  TDataImage target, ref, out, colour;
  Ramp(target);
  Fill(ref, 0);
  ASSERT_TRUE(colour.Allocate(W, H, 0, true));
  TMarkerPairArray m{};
  m[1] = {10, 10, 10, 10};
  m[2] = {50, 12, 50, 12};
  m[3] = {20, 40, 20, 40};
  struct Case {
    std::uint8_t Count;
    bool ColourTarget, ColourReference;
  };
  for (const Case& c : {Case{0, false, false}, Case{50, false, false}, Case{255, false, false},
                        Case{3, true, false}, Case{3, false, true}}) {
    for (int degree : {1, 2}) {
      EngineHookRecorder rec;
      Fill(out, -5);
      const TDataImage& t = c.ColourTarget ? colour : target;
      const TDataImage& r = c.ColourReference ? colour : ref;
      if (degree == 1)
        RegisterLinear(1, m, c.Count, t, r, out);
      else
        RegisterQuadratic(2, m, c.Count, t, r, out);
      EXPECT_EQ(rec.Codes, std::vector<int>{degree == 1 ? 44 : 45}) << int(c.Count);
      for (int i = 0; i < W * H; ++i) ASSERT_EQ(out.Pixels[i], -5.0f);
    }
  }
}

TEST(RegisterImages, BilinearEdgesAndExtrapolation) {
  TDataImage img;
  ASSERT_TRUE(img.Allocate(3, 3, 3, false));
  const float v[9] = {10, 20, 40, 30, 50, 70, 0, 0, 0};
  std::copy(v, v + 9, img.Pixels);
  EXPECT_FLOAT_EQ(BilinearPixel(0, 0, img, 0.5f, 0.5f), (10 + 20 + 30 + 50) / 4.0f);
  EXPECT_EQ(BilinearPixel(0, 2, img, 0, 0), 0.0f);  // last column
  EXPECT_EQ(BilinearPixel(2, 0, img, 0, 0), 0.0f);  // last row
  EXPECT_EQ(BilinearPixel(-1, 0, img, 0, 0), 0.0f);
  EXPECT_EQ(BilinearPixel(0, -1, img, 0, 0), 0.0f);
  // A coordinate of -0.5 truncates to column 0 and extrapolates.
  EXPECT_FLOAT_EQ(BilinearPixel(0, 0, img, 0, -0.5f), 1.5f * 10 - 0.5f * 20);
}

TEST(RegisterImages, FaultStopsWhereItHappens) {
  // sx = 1e18 x: from column 10 on the coordinate is past the 64-bit range.
  EngineHookRecorder rec;
  TDataImage target, ref, out;
  Ramp(target);
  Fill(ref, 0);
  Fill(out, -5);
  TMarkerPairArray m{};
  m[1] = {0, 0, 0, 0};
  m[2] = {1e19f, 0, 10, 0};
  m[3] = {0, 10, 0, 10};
  RegisterLinear(1, m, 3, target, ref, out);
  EXPECT_EQ(rec.Codes, std::vector<int>{44});
  // The fit's constant term is only known to about 1e18 * 1e-16 here, so
  // column 0 may land anywhere; it is written all the same.
  EXPECT_NE(out.GetPixel(0, 0), -5.0f);
  for (int x = 1; x < 10; ++x) EXPECT_EQ(out.GetPixel(x, 0), 0.0f) << x;
  for (int i = 10; i < W * H; ++i) ASSERT_EQ(out.Pixels[i], -5.0f) << i;
}
