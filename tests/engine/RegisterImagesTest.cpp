// Marker registration: fits recovered through a linear ramp target, whose
// bilinear samples are the mapped coordinates themselves.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>

#include "EngineHookRecorder.h"
#include "EngineTestSupport.h"
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
// hair of the target's edge are left out, those clearly outside must be 0.
void ExpectRampThrough(const TDataImage& out, const std::function<void(double, double, double&, double&)>& Map) {
  int inside = 0;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      double sx, sy;
      Map(x, y, sx, sy);
      const double margin = 1e-3;
      const float v = out.GetPixel(x, y);
      if (sx >= margin && sx <= W - 1 - margin && sy >= margin && sy <= H - 1 - margin) {
        ++inside;
        ASSERT_NEAR(v, 3 * sx + 2 * sy + 7, 2e-3 * (3 * sx + 2 * sy + 7)) << x << "," << y;
      } else if (sx < -margin || sx > W - 1 + margin || sy < -margin || sy > H - 1 + margin) {
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
  // Every pixel comes back as it was, the last row and column included.
  for (int i = 0; i < W * H; ++i) ASSERT_EQ(out.Pixels[i], target.Pixels[i]) << i % W << "," << i / W;
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

TEST(RegisterImages, BilinearSamplesTheWholeImageAndNothingOutside) {
  TDataImage img;
  ASSERT_TRUE(img.Allocate(3, 3, 3, false));
  const float v[9] = {10, 20, 40, 30, 50, 70, 60, 80, 90};
  std::copy(v, v + 9, img.Pixels);
  struct Case {
    std::int64_t Row, Col;
    float FracRow, FracCol, Want;
  };
  const Case cases[] = {
      {0, 0, 0.5f, 0.5f, (10 + 20 + 30 + 50) / 4.0f},
      {0, 2, 0, 0, 40},                // last column
      {2, 0, 0, 0, 60},                // last row
      {2, 2, 0, 0, 90},                // last pixel
      {1, 2, 0.5f, 0, (70 + 90) / 2.0f},  // down the last column
      {2, 1, 0, 0.25f, 80 * 0.75f + 90 * 0.25f},
      {0, 2, 0, 0.5f, 0},              // past the last column
      {2, 0, 0.5f, 0, 0},              // past the last row
      {-1, 0, 0, 0, 0},
      {0, -1, 0, 0, 0},
      {0, 0, 0, -0.5f, 0},             // left of column 0: nothing to extrapolate from
      {0, 3, 0, 0, 0},
  };
  for (const Case& c : cases)
    EXPECT_FLOAT_EQ(BilinearPixel(c.Row, c.Col, img, c.FracRow, c.FracCol), c.Want)
        << c.Row << "+" << c.FracRow << ", " << c.Col << "+" << c.FracCol;
}

// Registration against scipy's bilinear map_coordinates with 0 outside the
// target, over frames and fits whose mapped points fall on the last row and
// column, just inside the first, and outside both.
TEST(RegisterImages, AgreesWithScipyToTheLastRowAndColumn) {
  testsupport::RequirePython("numpy, scipy.ndimage");
  constexpr int FW = 96, FH = 64;
  enum Frame { Stars16, BrightColumn16, RampFloat };
  struct Case {
    const char* Name;
    Frame Kind;
    int Terms;
    double Map[2][6];  // target x and y from reference x, y: 1, X, Y, X*X, X*Y, Y*Y
  };
  const Case cases[] = {
      {"identity", Stars16, 3, {{0, 1, 0}, {0, 0, 1}}},
      {"identity, quadratic fit", Stars16, 6, {{0, 1, 0}, {0, 0, 1}}},
      {"integer shift", RampFloat, 3, {{3, 1, 0}, {-2, 0, 1}}},
      {"integer shift, quadratic fit", Stars16, 6, {{-3, 1, 0}, {2, 0, 1}}},
      {"quarter pixel right", Stars16, 3, {{0.25, 1, 0}, {0, 0, 1}}},
      {"half pixel left onto a bright column", BrightColumn16, 3, {{-0.5, 1, 0}, {0.75, 0, 1}}},
      {"sub-pixel, both negative", RampFloat, 6, {{-1.25, 1, 0}, {-0.5, 0, 1}}},
      {"rotation and shift", Stars16, 3, {{2.3, 0.996, -0.087}, {-1.7, 0.087, 0.996}}},
      {"quadratic", RampFloat, 6, {{1.5, 0.97, 0.02, 1e-3, -2e-4, 5e-4}, {-0.5, 0.01, 1.02, -3e-4, 1e-4, -1e-3}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TDataImage target, ref, out;
    ASSERT_TRUE(target.Allocate(FW, FH, c.Kind == RampFloat ? 3 : 1, false));
    std::mt19937 rng(7);
    for (int y = 0; y < FH; ++y)
      for (int x = 0; x < FW; ++x) {
        double v = 0;
        if (c.Kind == RampFloat) {
          v = 0.37 * x + 1.9 * y + 0.5;
        } else if (c.Kind == BrightColumn16) {
          v = x == 1 ? 1000 : 100 + (x + y) % 7;
        } else {
          v = 150 + double(rng() % 40);
          // Stars, two of them on the last column and the last row.
          const double stars[4][3] = {{30, 20, 20000}, {95, 40, 30000}, {60, 63, 25000}, {0, 0, 9000}};
          for (const auto& st : stars)
            v += st[2] * std::exp(-((x - st[0]) * (x - st[0]) + (y - st[1]) * (y - st[1])) / 3.0);
          v = std::nearbyint(std::min(v, 65535.0));
        }
        target.SetPixel(x, y, float(v));
      }
    ASSERT_TRUE(ref.Allocate(FW, FH, target.DataType, false));
    ASSERT_TRUE(out.Allocate(FW, FH, target.DataType, false));

    const double refs[9][2] = {{5, 4}, {90, 6}, {48, 60}, {10, 55}, {80, 50}, {47, 30}, {22, 17}, {70, 21}, {33, 44}};
    const int count = c.Terms == 3 ? 5 : 9;
    TMarkerPairArray m{};
    std::vector<float> input(target.Pixels, target.Pixels + FW * FH);
    for (int i = 0; i < count; ++i) {
      const double X = refs[i][0], Y = refs[i][1], t[6] = {1, X, Y, X * X, X * Y, Y * Y};
      double tx = 0, ty = 0;
      for (int k = 0; k < 6; ++k) {
        tx += c.Map[0][k] * t[k];
        ty += c.Map[1][k] * t[k];
      }
      m[std::size_t(i + 1)] = {float(tx), float(ty), float(X), float(Y)};
      input.insert(input.end(), {float(tx), float(ty), float(X), float(Y)});
    }
    EngineHookRecorder rec;
    if (c.Terms == 3)
      RegisterLinear(1, m, std::uint8_t(count), target, ref, out);
    else
      RegisterQuadratic(2, m, std::uint8_t(count), target, ref, out);
    EXPECT_EQ(rec.Codes, std::vector<int>{0});

    const auto want = testsupport::AsVector<double>(testsupport::RunOracle(
        "register_oracle.py", std::to_string(FW) + " " + std::to_string(FH) + " " + std::to_string(c.Terms) + " " +
                                  std::to_string(count),
        input.data(), input.size() * sizeof(float)));
    ASSERT_EQ(want.size(), std::size_t(FW * FH));
    float lo = 2e32f, hi = 0;
    for (int i = 0; i < FW * FH; ++i) {
      lo = std::min(lo, target.Pixels[i]);
      hi = std::max(hi, target.Pixels[i]);
    }
    int onLastRowOrColumn = 0;
    for (int i = 0; i < FW * FH; ++i) {
      ASSERT_NEAR(out.Pixels[i], want[std::size_t(i)], 1e-5 * hi) << "at " << i % FW << "," << i / FW;
      // Inside the target a value lies within its range; outside it is 0.
      if (out.Pixels[i] != 0.0f) {
        ASSERT_GE(out.Pixels[i], lo - 1e-5f * hi);
        ASSERT_LE(out.Pixels[i], hi * (1 + 1e-6f));
      }
      if ((i % FW == FW - 1 || i / FW == FH - 1) && out.Pixels[i] != 0.0f) ++onLastRowOrColumn;
    }
    if (std::string(c.Name).rfind("identity", 0) == 0) {
      EXPECT_EQ(onLastRowOrColumn, FW + FH - 1);
      for (int i = 0; i < FW * FH; ++i) ASSERT_EQ(out.Pixels[i], target.Pixels[i]) << i % FW << "," << i / FW;
    }
  }
}

// A point the fit puts within a thousandth of a pixel of the edge lies on it;
// one further out lies outside.
TEST(RegisterImages, PointsWithinRoundingOfTheEdgeLieOnIt) {
  struct Case {
    float ShiftX;
    float FirstColumn, LastColumn;  // of row 5, from 10 + x
  };
  const Case cases[] = {
      {-0.0004f, 10, 10 + W - 2 + 0.9996f},
      {0.0004f, 10.0004f, 10 + W - 1},
      {-0.002f, 0, 10 + W - 2 + 0.998f},
      {0.002f, 10.002f, 0},
  };
  for (const Case& c : cases) {
    EngineHookRecorder rec;
    TDataImage target, ref, out;
    ASSERT_TRUE(target.Allocate(W, H, 3, false));
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) target.SetPixel(x, y, float(10 + x));
    Fill(ref, 0);
    Fill(out, -5);
    TMarkerPairArray m{};
    const float refs[3][2] = {{10, 10}, {50, 12}, {20, 40}};
    for (int i = 0; i < 3; ++i) m[i + 1] = {refs[i][0] + c.ShiftX, refs[i][1], refs[i][0], refs[i][1]};
    RegisterLinear(1, m, 3, target, ref, out);
    EXPECT_EQ(rec.Codes, std::vector<int>{0});
    EXPECT_NEAR(out.GetPixel(0, 5), c.FirstColumn, 1e-4) << c.ShiftX;
    EXPECT_NEAR(out.GetPixel(W - 1, 5), c.LastColumn, 1e-4) << c.ShiftX;
  }
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
