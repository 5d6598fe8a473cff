// Contour tracing: levels, cells, crossings and digital lines.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "EngineHookRecorder.h"
#include "engine/ContourPlot.h"

namespace {

struct Recorded : IContourSink {
  std::vector<std::array<int, 4>> Segments;
  void Segment(int X1, int Y1, int X2, int Y2) override { Segments.push_back({X1, Y1, X2, Y2}); }
};

void Constant(TDataImage& img, int W, int H, float v) {
  ASSERT_TRUE(img.Allocate(W, H, 3, false));
  for (int i = 0; i < W * H; ++i) img.Pixels[i] = v;
}

const std::string Fault = "An internal error has occured [0234].";

}  // namespace

TEST(DrawContourLine, WorkedExampleAndSpecialCases) {
  TDataImage img;
  ASSERT_TRUE(img.Allocate(8, 8, 3, false));
  DrawContourLine(0, 0, 4, 2, 9, img);
  std::set<std::pair<int, int>> lit;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      if (img.GetPixel(x, y) == 9) lit.insert({x, y});
  EXPECT_EQ(lit, (std::set<std::pair<int, int>>{{0, 0}, {1, 1}, {2, 1}, {3, 2}, {4, 2}}));

  TDataImage one;
  ASSERT_TRUE(one.Allocate(4, 4, 3, false));
  DrawContourLine(2, 1, 2, 1, 5, one);
  int count = 0;
  for (int i = 0; i < 16; ++i) count += one.Pixels[i] == 5;
  EXPECT_EQ(count, 1);
  EXPECT_EQ(one.GetPixel(2, 1), 5.0f);
  // Only the part inside the image is written: the diagonal through 4 x 4.
  DrawContourLine(-3, -3, 6, 6, 7, one);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x)
      EXPECT_EQ(one.GetPixel(x, y), x == y ? 7.0f : (x == 2 && y == 1 ? 5.0f : 0.0f)) << x << "," << y;

  EXPECT_EQ(Sign(3.5f), 1);
  EXPECT_EQ(Sign(0.0f), 0);
  EXPECT_EQ(Sign(-0.0f), 0);
  EXPECT_EQ(Sign(-1e-30f), -1);
}

TEST(DrawContourLine, MatchesSkimageOnRandomSegments) {
  ASSERT_EQ(std::system("/usr/bin/python3 -c 'import skimage' 2>/dev/null"), 0)
      << "python3-skimage is missing: the cross-check cannot run";
  const std::string in = UniqueTempFile("segments.txt");
  std::mt19937 rng(2);
  std::vector<std::array<int, 4>> segs;
  {
    std::ofstream f(in);
    for (int i = 0; i < 3000; ++i) {
      std::array<int, 4> s{int(rng() % 41), int(rng() % 41), int(rng() % 41), int(rng() % 41)};
      if (i < 8) s = {20, 20, 20 + (i % 3 - 1) * 15, 20 + (i / 3 - 1) * 15};  // the eight directions
      segs.push_back(s);
      f << s[0] << ' ' << s[1] << ' ' << s[2] << ' ' << s[3] << '\n';
    }
  }
  FILE* p = popen(("/usr/bin/python3 " + std::string(CORVELLE_SOURCE_DIR) + "/tests/oracles/lines.py " + in).c_str(),
                  "r");
  ASSERT_NE(p, nullptr);
  std::string out;
  char buf[4096];
  while (fgets(buf, sizeof buf, p)) out += buf;
  ASSERT_EQ(pclose(p), 0);
  std::istringstream lines(out);
  TDataImage img;
  ASSERT_TRUE(img.Allocate(41, 41, 3, false));
  int checked = 0;
  for (const auto& s : segs) {
    std::string line;
    ASSERT_TRUE(std::getline(lines, line));
    std::istringstream xs(line);
    std::set<std::pair<int, int>> expected, ours;
    for (int x, y; xs >> x >> y;) expected.insert({x, y});
    std::fill(img.Pixels, img.Pixels + 41 * 41, 0.0f);
    DrawContourLine(s[0], s[1], s[2], s[3], 1, img);
    for (int y = 0; y < 41; ++y)
      for (int x = 0; x < 41; ++x)
        if (img.GetPixel(x, y) == 1) ours.insert({x, y});
    ASSERT_EQ(ours, expected) << s[0] << "," << s[1] << " - " << s[2] << "," << s[3];
    ++checked;
  }
  EXPECT_EQ(checked, 3000);
}

TEST(DrawContours, LevelsStartAtMinAndStopBeforeMax) {
  // A constant image c shows segments at a level only when the level is c.
  auto tracedAt = [](float c, float Min, float Max, int Count) {
    TDataImage src;
    Constant(src, 12, 12, c);
    Recorded r;
    EXPECT_TRUE(TraceContours(Count, 2, Min, Max, src, r));
    return !r.Segments.empty();
  };
  EngineHookRecorder rec;
  for (float c : {0.0f, 25.0f, 50.0f, 75.0f}) EXPECT_TRUE(tracedAt(c, 0, 100, 4)) << c;
  for (float c : {100.0f, 12.0f, 24.0f, 26.0f, -25.0f}) EXPECT_FALSE(tracedAt(c, 0, 100, 4)) << c;
  // Round(10 / 4) = Round(2.5) = 2.
  for (float c : {0.0f, 2.0f, 4.0f, 6.0f, 8.0f}) EXPECT_TRUE(tracedAt(c, 0, 10, 4)) << c;
  for (float c : {1.0f, 3.0f, 5.0f, 7.0f, 9.0f, 10.0f}) EXPECT_FALSE(tracedAt(c, 0, 10, 4)) << c;
  // Max at or below Min draws nothing.
  EXPECT_FALSE(tracedAt(5, 5, 5, 4));
  EXPECT_TRUE(rec.Warnings.empty());
}

TEST(DrawContours, ConstantImageDrawsEveryCellOutline) {
  EngineHookRecorder rec;
  TDataImage src, dst;
  Constant(src, 10, 10, 3);
  Recorded r;
  ASSERT_TRUE(TraceContours(1, 2, 3, 4, src, r));
  // W1 = 9: x0 < 9 - 3 gives cells at 0, 2 and 4 in both directions.
  ASSERT_EQ(r.Segments.size(), 9u * 4u);
  std::set<int> x0s;
  for (std::size_t c = 0; c < 9; ++c) {
    const int x0 = int(c % 3) * 2, y0 = int(c / 3) * 2;
    x0s.insert(x0);
    const auto* s = &r.Segments[c * 4];
    EXPECT_EQ(s[0], (std::array<int, 4>{x0 + 2, y0, x0, y0}));
    EXPECT_EQ(s[1], (std::array<int, 4>{x0 + 2, y0 + 2, x0 + 2, y0}));
    EXPECT_EQ(s[2], (std::array<int, 4>{x0, y0 + 2, x0 + 2, y0 + 2}));
    EXPECT_EQ(s[3], (std::array<int, 4>{x0, y0, x0, y0 + 2}));
  }
  EXPECT_EQ(x0s, (std::set<int>{0, 2, 4}));

  // Drawn into an image: the grid lines 0, 2, 4, 6 over 0..6.
  ASSERT_TRUE(dst.Allocate(10, 10, 3, false));
  DrawContours(1, 2, dst, 3, 4, 50, src);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) {
      const bool line = x <= 6 && y <= 6 && (x % 2 == 0 || y % 2 == 0);
      ASSERT_EQ(dst.GetPixel(x, y), line ? 50.0f : 0.0f) << x << "," << y;
    }

  // Many rows of cells come out in cell order.
  TDataImage big;
  Constant(big, 101, 203, 1);
  Recorded rb;
  ASSERT_TRUE(TraceContours(1, 2, 1, 2, big, rb));
  ASSERT_EQ(rb.Segments.size(), std::size_t(49 * 100 * 4));
  for (std::size_t i = 4; i < rb.Segments.size(); i += 4) {
    const auto& a = rb.Segments[i - 4];
    const auto& b = rb.Segments[i];
    ASSERT_TRUE(b[3] > a[3] || (b[3] == a[3] && b[2] > a[2])) << i;
  }
  EXPECT_TRUE(rec.Warnings.empty());
}

TEST(DrawContours, CrossingsAndCentreWorkedByHand) {
  EngineHookRecorder rec;
  TDataImage src;
  ASSERT_TRUE(src.Allocate(6, 6, 3, false));
  for (int y = 0; y < 6; ++y)
    for (int x = 2; x < 6; ++x) src.SetPixel(x, y, 10);
  // Level 5: corner heights -5, 5, 5, -5, centre 0: a vertical line at x = 1.
  Recorded r;
  ASSERT_TRUE(TraceContours(1, 2, 5, 6, src, r));
  EXPECT_EQ(r.Segments, (std::vector<std::array<int, 4>>{{1, 1, 1, 0}, {1, 1, 1, 2}}));

  // Heights -5, 15, 15, -5, centre 5: every crossing lies on x = 0.5 and
  // rounds to the even 0.
  for (int y = 0; y < 6; ++y)
    for (int x = 2; x < 6; ++x) src.SetPixel(x, y, 20);
  Recorded t;
  ASSERT_TRUE(TraceContours(1, 2, 5, 6, src, t));
  EXPECT_EQ(t.Segments, (std::vector<std::array<int, 4>>{{0, 0, 0, 0}, {0, 2, 0, 2}, {0, 2, 0, 0}}));
  EXPECT_TRUE(rec.Warnings.empty());
}

TEST(DrawContours, RefusalsShowTheTracerMessage) {
  TDataImage src, dst, extreme;
  Constant(src, 12, 12, 0);
  Constant(dst, 12, 12, 0);
  // Values of about +-3e38: a cell's sum of them leaves the Single range.
  Constant(extreme, 12, 12, 0);
  for (int i = 0; i < 144; ++i) extreme.Pixels[i] = (i / 12) % 2 ? -3.0e38f : 3.0e38f;
  // A NaN, and an infinity, among small values: no sum is large, the values
  // are no numbers.
  TDataImage notANumber, infinite;
  Constant(notANumber, 12, 12, 5);
  notANumber.Pixels[5 * 12 + 6] = NAN;
  Constant(infinite, 12, 12, 5);
  infinite.Pixels[3 * 12 + 2] = -INFINITY;
  // A NaN in the last pixel, which cells of 3 reach on 12 x 12.
  TDataImage lastNaN;
  Constant(lastNaN, 12, 12, 5);
  lastNaN.Pixels[143] = NAN;
  struct Case {
    int Count, CellSize;
    float Min, Max;
    TContourFault Kind;  // what TryDrawContours says, without a box
    bool Extreme = false;
    const TDataImage* Image = nullptr;
  };
  const Case cases[] = {
      {0, 2, 0, 100, TContourFault::Levels},                // Count 0
      {0, 2, 5, 5, TContourFault::Levels},                  // Count 0 even with nothing to draw
      {4, 2, 0, 1, TContourFault::Levels},                  // step Round(0.25) = 0
      {255, 2, 2e8f, 2e8f + 600, TContourFault::Levels},    // step 2 is lost on a Single of 2e8
      {4, 0, 0, 100, TContourFault::Levels},                // cells that do not advance
      {10, 2, -3e38f, 3e38f, TContourFault::Levels, true},  // a step of 6e37 is no 64-bit integer
      {10, 2, -1000, 1000, TContourFault::Values, true},
      {10, 2, 0, 100, TContourFault::NotFinite, false, &notANumber},
      {10, 2, 0, 100, TContourFault::NotFinite, false, &infinite},
      {10, 3, 0, 100, TContourFault::NotFinite, false, &lastNaN},
      {10, 2, 0, INFINITY, TContourFault::NotFinite},  // a level that is no number
      {10, 2, -INFINITY, 100, TContourFault::NotFinite},
      {10, 2, NAN, 100, TContourFault::NotFinite},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Count << " " << c.Min << " " << c.Max);
    const TDataImage& from = c.Image ? *c.Image : c.Extreme ? extreme : src;
    EngineHookRecorder rec;
    DrawContours(c.Count, c.CellSize, dst, c.Min, c.Max, 9, from);
    EXPECT_EQ(rec.Warnings, std::vector<std::string>{Fault});
    EXPECT_TRUE(rec.Codes.empty());
    for (int i = 0; i < 144; ++i) ASSERT_EQ(dst.Pixels[i], 0.0f);
    EngineHookRecorder quiet;
    EXPECT_EQ(TryDrawContours(c.Count, c.CellSize, dst, c.Min, c.Max, 9, from), c.Kind);
    EXPECT_TRUE(quiet.Warnings.empty());
  }
  // Cells larger than the image trace nothing and say nothing, however large.
  EngineHookRecorder rec;
  for (int cell : {12, std::numeric_limits<int>::max()}) {
    Recorded r;
    EXPECT_TRUE(TraceContours(4, cell, 0, 100, src, r));
    EXPECT_TRUE(r.Segments.empty()) << cell;
  }
  EXPECT_TRUE(rec.Warnings.empty());
}

TEST(DrawContours, PairsPastTheEdgeDropOutOfEveryCorner) {
  // CellSize 4 on 11 x 9: cells at x0 = 0 and 4 (x0 < 10 - 5), one row at
  // y0 = 0. The cell at 4 counts only the pairs j = 0..2 (4 + 4 + j <= 10), so
  // its top-left block is columns 4..6 and the bright column 7 stays out of
  // it, while the cell at 0 takes column 7 into its top-right block (4..7).
  EngineHookRecorder rec;
  TDataImage src;
  ASSERT_TRUE(src.Allocate(11, 9, 3, false));
  for (int y = 0; y < 9; ++y) src.SetPixel(7, y, 100);
  Recorded r;
  ASSERT_TRUE(TraceContours(1, 4, 1, 2, src, r));
  // Level 1. Cell 0: corners -4, (3 * 4 * -1 + 4 * 99) / 4 = 96, 96, -4 and
  // centre 46, so two triangles are crossed. Cell 4: every corner is
  // 12 * -1 / 4 = -3 and it draws nothing.
  ASSERT_FALSE(r.Segments.empty());
  for (const auto& s : r.Segments) {
    EXPECT_LE(std::max(s[0], s[2]), 4);
    EXPECT_LE(std::max(s[1], s[3]), 4);
  }
  // The bright column moved to 3 lies in the cell at 0's own blocks (0..3)
  // and is out of reach of the cell at 4 again.
  for (int y = 0; y < 9; ++y) src.SetPixel(7, y, 0), src.SetPixel(3, y, 100);
  Recorded r3;
  ASSERT_TRUE(TraceContours(1, 4, 1, 2, src, r3));
  ASSERT_FALSE(r3.Segments.empty());
  for (const auto& s : r3.Segments) EXPECT_LE(std::max(s[0], s[2]), 4);
  EXPECT_TRUE(rec.Warnings.empty());
}
