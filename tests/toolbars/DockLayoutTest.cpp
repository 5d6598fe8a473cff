// The dock library's arithmetic on plain data: rows, drop rows, zones,
// work-area rules, MulDiv and the sort whose tie order the rows rely on.
#include <gtest/gtest.h>

#include <chrono>
#include <algorithm>
#include <array>
#include <climits>
#include <random>

#include "toolbars/DockLayout.h"

using namespace DockLayout;

namespace {
// An independent MulDiv: exact rational a*b/c rounded half away from zero.
int ReferenceMulDiv(int A, int B, int C) {
  if (C == 0) return -1;
  __int128 num = __int128(A) * B, den = C;
  if (den < 0) num = -num, den = -den;
  const bool neg = num < 0;
  if (neg) num = -num;
  __int128 q = num / den, r = num % den;
  if (2 * r >= den) ++q;
  if (neg) q = -q;
  if (q > INT_MAX || q < INT_MIN) return -1;
  return int(q);
}

struct TRowCase {
  const char* Name;
  // Bars: {row, pos, length, base, shown, fullsize}
  std::vector<std::array<int, 6>> Bars;
  int ClientLength;
  bool Clip;
  int BoundLines;
  bool FixAlign;
  int Thickness;                   // expected dock thickness
  std::vector<int> Rows, Pos;      // expected DockRow/DockPos per bar (input order)
  std::vector<int> Along, Across;  // expected placement per bar (input order), -1 when not placed
};
}  // namespace

TEST(DockLayoutTest, MulDivRoundsHalfAwayAndFailsSoftly) {
  struct {
    int A, B, C, Expected;
  } cases[] = {
      {32, 5, 10, 16},  {5, 3, 2, 8},        {-5, 3, 2, -8},        {-7, 1, -2, 4},        {7, 1, -2, -4},
      {1, 1, 0, -1},    {INT_MAX, 4, 1, -1}, {INT_MIN, 1, 1, INT_MIN}, {32, 11, 21, 17},  {20, 0, 21, 0},
      {32, 10, 21, 15}, {INT_MAX, 2, 2, INT_MAX},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MulDiv(c.A, c.B, c.C), c.Expected) << c.A << "*" << c.B << "/" << c.C;
    EXPECT_EQ(MulDiv(c.A, c.B, c.C), ReferenceMulDiv(c.A, c.B, c.C));
  }
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> any(INT_MIN, INT_MAX), small(-3, 3);
  for (int i = 0; i < 20000; ++i) {
    const int a = any(rng), b = i % 3 ? any(rng) % 70000 : any(rng), c = i % 50 ? any(rng) % 100000 : small(rng);
    ASSERT_EQ(MulDiv(a, b, c), ReferenceMulDiv(a, b, c)) << a << " " << b << " " << c;
  }
}

TEST(DockLayoutTest, QuicksortOrderOfTiesAndComparisonCount) {
  struct TItem {
    int Key;
    char Id;
  };
  auto run = [](std::vector<TItem> items, int* Count) {
    SortListWithCallback(items, [Count](const TItem& A, const TItem& B) {
      ++*Count;
      return A.Key < B.Key ? -1 : A.Key > B.Key ? 1 : 0;
    });
    std::string s;
    for (const TItem& i : items) s += i.Id;
    return s;
  };
  struct {
    std::vector<TItem> Items;
    const char* Expected;
  } cases[] = {
      {{}, ""},
      {{{5, 'a'}}, "a"},
      // Equal keys: the middle pivot swaps the ends.
      {{{0, 'a'}, {0, 'b'}}, "ba"},
      {{{0, 'a'}, {0, 'b'}, {0, 'c'}}, "cba"},
      {{{2, 'a'}, {1, 'b'}, {3, 'c'}}, "bac"},
  };
  for (const auto& c : cases) {
    int count = 0;
    EXPECT_EQ(run(c.Items, &count), c.Expected);
    if (c.Items.size() < 2) {
      EXPECT_EQ(count, 0);
    }
  }
  // Any list ends sorted and keeps its items.
  std::mt19937 rng(3);
  for (int n = 0; n < 200; ++n) {
    std::vector<TItem> items;
    for (int i = 0; i < n; ++i) items.push_back({int(rng() % 7), char('a' + i % 26)});
    std::vector<TItem> sorted = items;
    SortListWithCallback(sorted, [](const TItem& A, const TItem& B) { return A.Key - B.Key; });
    ASSERT_TRUE(std::is_sorted(sorted.begin(), sorted.end(), [](auto& A, auto& B) { return A.Key < B.Key; }));
    std::vector<int> a, b;
    for (auto& i : items) a.push_back(i.Key * 256 + i.Id);
    for (auto& i : sorted) b.push_back(i.Key * 256 + i.Id);
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    ASSERT_EQ(a, b);
  }
}

TEST(DockLayoutTest, RowLayoutWorkedExamples) {
  const TRowCase cases[] = {
      {"empty dock", {}, 300, false, 1, false, 0, {}, {}, {}, {}},
      {"empty dock with FixAlign", {}, 300, false, 1, true, 1, {}, {}, {}, {}},
      {"hidden bar only", {{0, 0, 50, 22, 0, 0}}, 300, false, 1, false, 0, {0}, {0}, {-1}, {-1}},
      {"two rows of 22 with a top line", {{0, 0, 100, 22, 1, 0}, {1, 0, 100, 22, 1, 0}}, 300, false, 1, false, 53,
       {0, 1}, {0, 0}, {0, 0}, {0, 26}},
      {"beyond the end, kept", {{0, 150, 100, 22, 1, 0}}, 200, false, 0, false, 26, {0}, {150}, {100}, {0}},
      {"beyond the end, clipped", {{0, 150, 100, 22, 1, 0}}, 200, true, 0, false, 26, {0}, {100}, {100}, {0}},
      {"longer than the dock starts at 0", {{0, 50, 300, 22, 1, 0}}, 200, true, 0, false, 26, {0}, {0}, {0}, {0}},
      // Equal keys: the sort swaps the two, so the second one keeps the place.
      {"same DockPos", {{0, 10, 50, 22, 1, 0}, {0, 10, 50, 22, 1, 0}}, 300, false, 0, false, 26, {0, 0}, {60, 10},
       {60, 10}, {0, 0}},
      {"full size takes its own row",
       {{0, 0, 50, 22, 1, 0}, {0, 80, 40, 22, 1, 1}, {1, 0, 50, 22, 1, 0}},
       300, false, 0, false, 78, {1, 0, 2}, {0, 0, 0}, {0, 0, 0}, {26, 0, 52}},
      {"a row held by a floater takes no space",
       {{0, 0, 50, 22, 1, 0}, {1, 0, 50, 22, 0, 0}, {2, 0, 50, 22, 1, 0}},
       300, false, 0, false, 52, {0, 1, 2}, {0, 0, 0}, {0, -1, 0}, {0, -1, 26}},
      {"empty rows close up", {{3, 0, 50, 22, 1, 0}, {7, 0, 50, 30, 1, 0}}, 300, false, 0, false, 60, {0, 1}, {0, 0},
       {0, 0}, {0, 26}},
      {"rows at least 8", {{0, 0, 20, 5, 1, 0}}, 300, false, 0, false, 12, {0}, {0}, {0}, {0}},
      {"overlap pushed right", {{0, 0, 100, 22, 1, 0}, {0, 40, 100, 22, 1, 0}}, 300, true, 0, false, 26, {0, 0},
       {0, 100}, {0, 100}, {0, 0}},
      {"stored corrupt rows", {{2000000000, 0, 50, 22, 1, 0}, {-5, 0, 50, 22, 1, 0}}, 300, false, 0, false, 52,
       {1, 0}, {0, 0}, {0, 0}, {26, 0}},
      {"huge DockPos", {{0, INT_MAX - 3, 50, 22, 1, 0}}, 300, true, 0, false, 26, {0}, {250}, {250}, {0}},
  };
  for (const TRowCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<TBar> bars(c.Bars.size());
    TRowModel model;
    for (std::size_t i = 0; i < bars.size(); ++i) {
      const auto& b = c.Bars[i];
      bars[i] = {b[0], b[1], b[5] != 0, b[4] != 0, b[2], b[3], 0, nullptr};
      model.List.push_back(&bars[i]);
    }
    std::vector<TPlacement> out;
    const auto t0 = std::chrono::steady_clock::now();
    const int rows = model.Layout(c.ClientLength, c.Clip, out);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(1));
    EXPECT_EQ(DockThickness(rows, model.AnyShown(), c.BoundLines, c.FixAlign), c.Thickness);
    for (std::size_t i = 0; i < bars.size(); ++i) {
      EXPECT_EQ(bars[i].DockRow, c.Rows[i]) << i;
      EXPECT_EQ(bars[i].DockPos, c.Pos[i]) << i;
      auto it = std::find_if(out.begin(), out.end(), [&](const TPlacement& p) { return p.Bar == &bars[i]; });
      if (c.Along[i] < 0) {
        EXPECT_EQ(it, out.end()) << i;
        continue;
      }
      ASSERT_NE(it, out.end()) << i;
      EXPECT_EQ(it->Along, c.Along[i]) << i;
      EXPECT_EQ(it->Across, c.Across[i]) << i;
      EXPECT_EQ(it->Thickness, c.Bars[i][3] < 8 ? 12 : std::max(22, c.Bars[i][3]) + 4) << i;
      EXPECT_EQ(it->Length, c.Bars[i][5] ? c.ClientLength : c.Bars[i][2]) << i;
    }
  }
}

TEST(DockLayoutTest, LimitToOneRow) {
  TBar a{0, 0, false, true, 50, 22}, b{1, 10, false, true, 50, 22}, c{2, 0, false, true, 50, 30};
  TRowModel model;
  model.List = {&a, &b, &c};
  model.LimitToOneRow = true;
  std::vector<TPlacement> out;
  EXPECT_EQ(model.Layout(300, true, out), 34);
  EXPECT_EQ(a.DockRow + b.DockRow + c.DockRow, 0);
  // Sorted by position: a and c at 0 (c swapped first), b after them.
  EXPECT_EQ(c.DockPos, 0);
  EXPECT_EQ(a.DockPos, 50);
  EXPECT_EQ(b.DockPos, 100);
}

TEST(DockLayoutTest, DropRowsAndOffsets) {
  // Rows 0 and 1 of 22-high bars: the boundary lies at 26, the end at 52.
  TBar a{0, 0, false, true, 50, 22}, b{1, 0, false, true, 50, 22}, floater{2, 0, false, false, 50, 22};
  TRowModel model;
  model.List = {&a, &b, &floater};
  std::vector<TPlacement> out;
  model.Layout(300, false, out);
  struct {
    int Pos, Row;
    bool NewRow;
    int RowAt;
  } cases[] = {
      {0, 0, true, 0},  {4, 0, true, 0},    {5, 0, false, 0}, {20, 0, false, 0}, {23, 1, true, 0},
      {30, 1, true, 1}, {39, 1, false, 1}, {47, 3, true, 1}, {56, 3, true, 3},  {57, 3, false, 3},
  };
  for (const auto& c : cases) {
    int row = -1;
    bool newRow = false;
    model.FindInsertRow(c.Pos, row, newRow);
    EXPECT_EQ(row, c.Row) << c.Pos;
    EXPECT_EQ(newRow, c.NewRow) << c.Pos;
    EXPECT_EQ(model.RowAtOffset(c.Pos), c.RowAt) << c.Pos;
  }
  EXPECT_EQ(model.CountInRow(1, nullptr), 1);
  EXPECT_EQ(model.CountInRow(1, &b), 0);
  EXPECT_EQ(model.GetRowSize(2, nullptr), 0);
  EXPECT_EQ(model.GetRowSize(2, &floater), 22);
  model.ShiftRowsFrom(1);
  EXPECT_EQ(a.DockRow, 0);
  EXPECT_EQ(b.DockRow, 2);
  EXPECT_EQ(floater.DockRow, 3);
}

TEST(DockLayoutTest, ZonesOutlinesAndWorkArea) {
  const TRect work{0, 0, 1600, 1000};
  // A top dock 0..800 x 60..86; a window 100 x 26 held at its middle.
  const TGrab mid{50, 13, 99, 25};
  struct {
    const char* Name;
    TRect Dock;
    bool Vertical;
    TGrab Grab;
    int PX, PY;
    bool In;
  } zones[] = {
      {"10 px above at mid grab", {0, 60, 800, 86}, false, mid, 400, 50, true},
      {"20 px above at mid grab", {0, 60, 800, 86}, false, mid, 400, 40, false},
      {"below the bottom by the grab", {0, 60, 800, 86}, false, mid, 400, 95, true},
      {"further below", {0, 60, 800, 86}, false, mid, 400, 96, false},
      {"beyond the right end", {0, 60, 800, 86}, false, mid, 815, 70, true},
      {"far beyond the right end", {0, 60, 800, 86}, false, mid, 816, 70, false},
      {"empty top dock is widened", {0, 60, 800, 60}, false, {50, 0, 99, 25}, 400, 40, true},
      {"vertical dock: above its top", {0, 60, 0, 600}, true, mid, 0, 55, false},
      {"vertical empty dock widened", {0, 60, 0, 600}, true, mid, 5, 300, true},
  };
  for (const auto& z : zones) {
    TRect r = z.Dock;
    EXPECT_EQ(InDockZone(r, z.Vertical, z.Grab, z.PX, z.PY), z.In) << z.Name;
  }
  // The outline keeps the grab proportion when the size changes.
  EXPECT_EQ(OutlineAt(500, 300, 100, 26, mid), (TRect{450, 287, 550, 313}));
  EXPECT_EQ(OutlineAt(500, 300, 200, 52, mid), (TRect{399, 273, 599, 325}));
  // Floating outlines keep border + 4 inside and the caption reachable.
  EXPECT_EQ(ClampFloatingOutline({-300, 100, -100, 140}, work, 4, 20), (TRect{-192, 100, 8, 140}));
  EXPECT_EQ(ClampFloatingOutline({1700, 100, 1900, 140}, work, 4, 20), (TRect{1592, 100, 1792, 140}));
  EXPECT_EQ(ClampFloatingOutline({100, -100, 300, -60}, work, 4, 20), (TRect{100, -16, 300, 24}));
  EXPECT_EQ(ClampFloatingOutline({100, 1200, 300, 1240}, work, 4, 20), (TRect{100, 992, 300, 1032}));
  // Work area: wholly off moves in (left/top win), partly on stays.
  EXPECT_EQ(KeepOnWorkArea({1700, 50, 1800, 80}, work, true), (TRect{1500, 50, 1600, 80}));
  EXPECT_EQ(KeepOnWorkArea({1550, 50, 1650, 80}, work, true), (TRect{1550, 50, 1650, 80}));
  EXPECT_EQ(KeepOnWorkArea({1550, 50, 1650, 80}, work, false), (TRect{1500, 50, 1600, 80}));
  EXPECT_EQ(KeepOnWorkArea({-500, -500, -400, -480}, work, true), (TRect{0, 0, 100, 20}));
  EXPECT_EQ(KeepOnWorkArea({0, 0, 2000, 1100}, {100, 100, 1600, 1000}, false), (TRect{100, 100, 2100, 1200}));
}

namespace {
std::vector<TToolbarItem> Bar(const char* Pattern) {
  // 'b' a 23 x 22 button, '|' a separator, '_' a blank separator.
  std::vector<TToolbarItem> items;
  for (const char* c = Pattern; *c; ++c) {
    TToolbarItem i;
    i.Separator = *c != 'b';
    i.Blank = *c == '_';
    i.Width = i.Separator ? 6 : 23;
    i.Height = 22;
    items.push_back(i);
  }
  return items;
}
}  // namespace

TEST(DockLayoutTest, ToolbarLinesWorkedExamples) {
  struct {
    const char* Name;
    const char* Pattern;
    int Orientation, FloatRightX, LineSize;
    int Width, Height;
    std::vector<TWrapLine> Lines;
    std::vector<std::array<int, 4>> Bounds;  // of the first items, when given
  } cases[] = {
      {"docked never wraps", "bbbbbbbbbb", 1, 50, 22, 230, 22, {}, {{0, 0, 23, 22}, {23, 0, 23, 22}}},
      {"buttons and separators docked", "bb|b|", 1, 0, 22, 23 * 3 + 6 * 2, 22, {}, {{0, 0, 23, 22}, {23, 0, 23, 22}, {46, 0, 6, 22}}},
      {"floating adds 4/4/2/1", "bb|b|", 0, 0, 22, 81 + 8, 25, {}, {{4, 2, 23, 22}}},
      {"FloatRightX 0 is one line", "bbbbbbbbbb", 0, 0, 22, 238, 25, {}, {}},
      {"too narrow wraps at button + 8", "bbbbbbbbbb", 0, 10, 22, 31, 2 + 10 * 22 + 1, {},
       {{4, 2, 23, 22}, {4, 24, 23, 22}}},
      {"group wrap: separator 0 wide, 6 px lower, etched line", "bb|bb", 0, 60, 22, 54, 30 + 22 + 1, {{30, false}},
       {{4, 2, 23, 22}, {27, 2, 23, 22}, {50, 2, 0, 22}, {4, 30, 23, 22}, {27, 30, 23, 22}}},
      {"blank separator: no etched line", "bb_bb", 0, 60, 22, 54, 53, {{30, true}}, {}},
      {"long group breaks inside, next group on a new line", "bbb|b", 0, 60, 22, 54, 2 + 22 + 28 + 22 + 1, {{52, false}},
       {{4, 2, 23, 22}, {27, 2, 23, 22}, {4, 24, 23, 22}, {27, 24, 0, 22}, {4, 52, 23, 22}}},
      {"vertical dock swaps the axes", "bb|b", 2, 0, 23, 23, 22 * 3 + 6, {}, {{0, 0, 23, 22}, {0, 22, 23, 22}, {0, 44, 23, 6}}},
      {"a taller row centres the buttons", "bb", 1, 0, 30, 46, 22, {}, {{0, 4, 23, 22}}},
      {"empty toolbar docked", "", 1, 0, 8, 8, 8, {}, {}},
      {"empty toolbar floating", "", 0, 0, 8, 16, 11, {}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<TToolbarItem> items = Bar(c.Pattern);
    const TToolbarLayout r = LayoutToolbar(items, c.Orientation, c.FloatRightX, c.LineSize, true);
    EXPECT_EQ(r.Width, c.Width);
    EXPECT_EQ(r.Height, c.Height);
    EXPECT_EQ(r.WrapLines, c.Lines);
    for (std::size_t i = 0; i < c.Bounds.size(); ++i) {
      EXPECT_EQ(items[i].X, c.Bounds[i][0]) << i;
      EXPECT_EQ(items[i].Y, c.Bounds[i][1]) << i;
      EXPECT_EQ(items[i].W, c.Bounds[i][2]) << i;
      EXPECT_EQ(items[i].H, c.Bounds[i][3]) << i;
    }
    // Measuring alone gives the same size and moves nothing.
    std::vector<TToolbarItem> measured = Bar(c.Pattern);
    const TToolbarLayout m = LayoutToolbar(measured, c.Orientation, c.FloatRightX, c.LineSize, false);
    EXPECT_EQ(m.Width, c.Width);
    EXPECT_EQ(m.Height, c.Height);
    EXPECT_TRUE(m.WrapLines.empty());
    for (const TToolbarItem& i : measured) EXPECT_FALSE(i.Placed);
  }
  EXPECT_EQ(ToolbarBaseSize(Bar("||"), 1), 8);
  EXPECT_EQ(ToolbarBaseSize(Bar("b|"), 2), 23);
}

TEST(DockLayoutTest, FloatingSizesAndResizeSnap) {
  auto measure = [](int FloatRightX) {
    std::vector<TToolbarItem> items = Bar("bbbb");
    const TToolbarLayout r = LayoutToolbar(items, 0, FloatRightX, 22, false);
    return TSize{r.Width, r.Height};
  };
  const TSize nc{8, 24};
  const std::vector<TSize> candidates = FloatingCandidates(measure, nc);
  // One line, two lines of two (replacing the 3 + 1 of the same height), one column.
  EXPECT_EQ(candidates, (std::vector<TSize>{{108, 49}, {62, 71}, {39, 115}}));
  TResizeSnap snap;
  snap.Start(candidates, reRight, {108, 49}, 4, candidates.front());
  EXPECT_EQ(snap.Tolerance(), 12);
  // Inward by less than the tolerance: nothing changes.
  EXPECT_EQ(snap.Track(100), (TSize{108, 49}));
  EXPECT_FALSE(snap.Changed());
  EXPECT_EQ(snap.Track(97), (TSize{108, 49}));
  // Past it: the widest candidate that fits.
  EXPECT_EQ(snap.Track(95), (TSize{62, 71}));
  EXPECT_TRUE(snap.Changed());
  EXPECT_EQ(snap.FloatRightX(), 54);
  EXPECT_EQ(snap.Track(40), (TSize{39, 115}));
  EXPECT_EQ(snap.FloatRightX(), 31);
  EXPECT_EQ(snap.Track(10), (TSize{39, 115}));  // the smallest when none fits
  // Growing picks the smallest wider than the cursor; back to one line is 0.
  EXPECT_EQ(snap.Track(63), (TSize{108, 49}));
  EXPECT_EQ(snap.FloatRightX(), 0);
  // Tolerance is cut by the neighbours: between 62 and 39 on the middle one.
  snap.Start(candidates, reLeft, {62, 71}, 4, candidates.front());
  EXPECT_EQ(snap.Tolerance(), 12);
  snap.Start(candidates, reBottom, {62, 71}, 4, candidates.front());
  EXPECT_EQ(snap.Tolerance(), 12);
  const std::vector<TSize> close{{50, 30}, {45, 40}, {41, 50}};
  snap.Start(close, reRight, {45, 40}, 4, close.front());
  EXPECT_EQ(snap.Tolerance(), 3);
}

TEST(DockLayoutTest, ButtonContentLayout) {
  auto text = [](int W, int H, int* Limit = nullptr) {
    return std::function<TSize(int)>([=](int Max) {
      if (Limit) *Limit = Max;
      return TSize{W, H};
    });
  };
  struct {
    const char* Name;
    TRect Client;
    int Off;
    TSize Glyph, Text;
    bool Caption;
    TButtonLayout Layout;
    int Margin, Spacing;
    TSize Arrow;
    int GlyphX, GlyphY, TextX, TextY, ArrowX, ArrowY;
  } cases[] = {
      {"glyph only, centred, pressed", {1, 1, 22, 21}, 1, {16, 16}, {}, false, blGlyphLeft, -1, 4, {}, 4, 4, 0, 0, 0, 0},
      {"both -1 share the space in three", {0, 0, 100, 20}, 0, {16, 16}, {40, 13}, true, blGlyphLeft, -1, -1, {}, 14, 2, 44, 3, 0, 0},
      {"margin with spacing -1 centres the caption after the glyph", {0, 0, 100, 20}, 0, {16, 16}, {40, 13}, true,
       blGlyphLeft, 2, -1, {}, 2, 2, 39, 3, 0, 0},
      {"glyph right", {0, 0, 100, 20}, 0, {16, 16}, {40, 13}, true, blGlyphRight, 5, 4, {}, 79, 2, 35, 3, 0, 0},
      {"glyph top", {0, 0, 60, 60}, 0, {16, 16}, {30, 13}, true, blGlyphTop, -1, 4, {}, 22, 13, 15, 33, 0, 0},
      {"glyph bottom", {0, 0, 60, 60}, 0, {16, 16}, {30, 13}, true, blGlyphBottom, 3, 4, {}, 22, 41, 15, 24, 0, 0},
      {"top without a glyph lays out as left", {0, 0, 60, 20}, 0, {}, {30, 13}, true, blGlyphTop, -1, 4, {}, 15, 10, 15, 3, 0, 0},
      {"drop-down arrow beside the glyph", {1, 1, 22, 21}, 0, {16, 16}, {}, false, blGlyphLeft, -1, 4, {9, 3}, -1, 3, 0, 0, 16, 9},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const TContent r = LayoutGlyphAndCaption(c.Client, c.Off, c.Off, c.Glyph,
                                             c.Caption ? text(c.Text.W, c.Text.H) : std::function<TSize(int)>(),
                                             c.Layout, c.Margin, c.Spacing, false, c.Arrow);
    EXPECT_EQ(r.GlyphX, c.GlyphX);
    EXPECT_EQ(r.GlyphY, c.GlyphY);
    if (c.Caption) {
      EXPECT_EQ(r.Text.Left, c.TextX);
      EXPECT_EQ(r.Text.Top, c.TextY);
      EXPECT_EQ(r.Text.Width(), c.Text.W);
    }
    if (c.Arrow.W) {
      EXPECT_EQ(r.ArrowX, c.ArrowX);
      EXPECT_EQ(r.ArrowY, c.ArrowY);
    }
  }
  // Word wrap narrows the caption by the glyph, the spacing and both margins.
  int limit = 0;
  LayoutGlyphAndCaption({0, 0, 100, 40}, 0, 0, {16, 16}, text(200, 26, &limit), blGlyphLeft, -1, 4, true, {});
  EXPECT_EQ(limit, 100 - 16 - 4 - 2 * 4);
  LayoutGlyphAndCaption({0, 0, 100, 40}, 0, 0, {16, 16}, text(200, 26, &limit), blGlyphLeft, -1, -1, true, {9, 3});
  EXPECT_EQ(limit, 100 - 9 - 16 - 4 - 2 * 4);
  LayoutGlyphAndCaption({0, 0, 100, 40}, 0, 0, {}, text(200, 13, &limit), blGlyphLeft, 3, 4, false, {});
  EXPECT_EQ(limit, 100);
  // Cells of a glyph strip.
  const int cells[][3] = {{64, 16, 4}, {30, 16, 1}, {16, 16, 1}, {80, 16, 5}, {96, 16, 1}, {0, 0, 1}, {32, 0, 1}};
  for (const auto& c : cells) EXPECT_EQ(GlyphCellsOf(c[0], c[1]), c[2]) << c[0] << "x" << c[1];
}
