#pragma once
// The dock library's arithmetic without Qt: rows of a dock, the control lines
// of a toolbar, drag zones, work-area rules and the floating resize snap. The
// widgets in Dock, DockToolbar and DockButtons feed it and apply its results.
#include <cstdint>
#include <functional>
#include <map>
#include <utility>
#include <vector>

namespace DockLayout {

// The platform's MulDiv: a * b / c rounded half away from zero over a 64-bit
// product; -1 when c is 0 or the result does not fit 32 bits.
int MulDiv(int A, int B, int C);

// In-place quicksort: middle pivot, recursing left and looping right. The
// order of equal keys depends on exactly this algorithm.
template <typename T, typename Compare>
void SortListWithCallback(std::vector<T>& List, Compare Cmp) {
  if (List.size() < 2) return;
  std::function<void(int, int)> sort = [&](int L, int R) {
    int i, j;
    do {
      i = L;
      j = R;
      const T pivot = List[std::size_t((L + R) / 2)];
      do {
        while (Cmp(List[std::size_t(i)], pivot) < 0) ++i;
        while (Cmp(List[std::size_t(j)], pivot) > 0) --j;
        if (i <= j) {
          std::swap(List[std::size_t(i)], List[std::size_t(j)]);
          ++i;
          --j;
        }
      } while (i <= j);
      if (L < j) sort(L, j);
      L = i;
    } while (i < R);
  };
  sort(0, int(List.size()) - 1);
}

struct TRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  bool Intersects(const TRect& O) const {
    return Left < O.Right && O.Left < Right && Top < O.Bottom && O.Top < Bottom;
  }
  bool operator==(const TRect&) const = default;
};

enum TDockPosition { dpTop, dpBottom, dpLeft, dpRight };
inline bool IsVertical(TDockPosition P) { return P == dpLeft || P == dpRight; }
// 0 floating, 1 horizontal dock, 2 vertical dock.
inline int OrientationOf(TDockPosition P) { return IsVertical(P) ? 2 : 1; }

// Stored values that come from outside are kept within these bounds.
inline constexpr int MaxCoordinate = 32767;
int ClampCoordinate(int V);

// One tool window as its dock sees it. The widget refreshes Shown, Length and
// BaseSize before a layout; DockRow, DockPos and FullSize are the window's own.
struct TBar {
  int DockRow = 0;
  int DockPos = -1;
  bool FullSize = false;
  bool Shown = false;  // parent is the dock and it is visible
  int Length = 0;      // size along the dock
  int BaseSize = 0;    // GetBaseSize for the dock's orientation
  int WorkPos = 0;     // position chosen by the last layout
  void* Owner = nullptr;
};

// A bar's place on the dock after a layout, in client coordinates.
struct TPlacement {
  TBar* Bar = nullptr;
  int Along = 0, Across = 0, Length = 0, Thickness = 0;
};

// The rows of one dock. List is the dock list in its sorted order; the order
// persists between layouts because ties keep what the sort left.
class TRowModel {
 public:
  std::vector<TBar*> List;
  bool LimitToOneRow = false;

  int LastRowIndex() const;
  // Rows numbered 0, 1, ... in the order of their values (no empty rows).
  void CompactRows();
  void SortList();
  // A full-size bar gets a row of its own; the others follow one row down.
  void SeparateFullSize();
  void ComputeRowSizes();
  // The stored size of Row, or Bar's base size when that is 0.
  int GetRowSize(int Row, const TBar* Bar) const;
  void FindInsertRow(int Pos, int& Row, bool& NewRow) const;
  int RowAtOffset(int Pos) const;
  int CountInRow(int Row, const TBar* Except) const;
  void ShiftRowsFrom(int Row);
  // Rows laid out along ClientLength; returns the sum of row thicknesses.
  // Without any shown bar it returns 0 and places nothing.
  int Layout(int ClientLength, bool ClipPositions, std::vector<TPlacement>& Out);
  bool AnyShown() const;

 private:
  std::map<int, int> RowSizes;  // only rows that hold a shown bar
};

// Thickness of a dock across its edge: rows plus bound lines, or 0 (1 with
// FixAlign) when empty.
int DockThickness(int RowsThickness, bool AnyShown, int BoundLinesAcross, bool FixAlign);

// Keeps a floating rectangle on the work area W: with OnlyIfFullyOff nothing
// moves while it intersects W; else right, bottom, left, top edges are brought
// inside in that order.
TRect KeepOnWorkArea(TRect R, const TRect& W, bool OnlyIfFullyOff);

// The docking zone of a dock rectangle R (screen) for a window grabbed at
// (GrabX, GrabY) of its start extents (width - 1, height - 1).
struct TGrab {
  int X = 0, Y = 0, ExtentX = 0, ExtentY = 0;
};
// R is widened by 1 px across when the dock is empty in either dimension.
bool InDockZone(TRect& R, bool Vertical, const TGrab& G, int PX, int PY);
// The outline of size (W, H) under the cursor keeping the grab proportion.
TRect OutlineAt(int PX, int PY, int W, int H, const TGrab& G);
// A floating outline kept (Border + 4) px inside the work area, its top not
// above WorkArea.top + 4 - TopNonClient.
TRect ClampFloatingOutline(TRect R, const TRect& WorkArea, int Border, int TopNonClient);

// ---- Toolbar lines ----

struct TToolbarItem {
  bool Separator = false;
  int Width = 0, Height = 0;       // other controls
  int SizeHorz = 6, SizeVert = 6;  // separators
  bool Blank = false;
  // Results when controls are moved.
  int X = 0, Y = 0, W = 0, H = 0;
  bool Placed = false;
};
struct TWrapLine {
  int Y = 0;
  bool Blank = false;
  bool operator==(const TWrapLine&) const = default;
};
struct TToolbarLayout {
  int Width = 0, Height = 0;  // client size
  std::vector<TWrapLine> WrapLines;
};
// The toolbar's base size for an orientation: at least 8.
int ToolbarBaseSize(const std::vector<TToolbarItem>& Items, int Orientation);
// Lays out the visible items (in control order). Orientation 0 floating, 1
// horizontal, 2 vertical; LineSize is the row size when on the current dock,
// else the base size. Items get their bounds when MoveControls.
TToolbarLayout LayoutToolbar(std::vector<TToolbarItem>& Items, int Orientation, int FloatRightX, int LineSize,
                             bool MoveControls);

// Candidate floating sizes (client sizes plus NonClient); the first is the
// one-line size. Measure(FloatRightX) gives the client size.
struct TSize {
  int W = 0, H = 0;
  bool operator==(const TSize&) const = default;
};
std::vector<TSize> FloatingCandidates(const std::function<TSize(int)>& Measure, TSize NonClient);

// The interactive floating resize over the candidates.
enum TResizeEdge { reLeft, reRight, reTop, reBottom };
class TResizeSnap {
 public:
  void Start(std::vector<TSize> Candidates, TResizeEdge Edge, TSize Current, int LeftNonClient, TSize OneLine);
  // d: the cursor's distance from the opposite edge. Returns the chosen size.
  TSize Track(int D);
  int FloatRightX() const { return FFloatRightX; }
  int Tolerance() const { return FTolerance; }
  bool Changed() const { return FChanged; }

 private:
  std::vector<TSize> FCandidates;
  TResizeEdge FEdge = reRight;
  TSize FStart, FCurrent, FOneLine;
  int FLeftNonClient = 0;
  int FTolerance = 12;
  int FFloatRightX = 0;
  bool FChanged = false;
  int FLastDir = 0;  // 0 none, 1 growing, -1 shrinking
};

// ---- Button content ----

enum TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };
struct TContent {
  int GlyphX = 0, GlyphY = 0;
  TRect Text;
  int ArrowX = 0, ArrowY = 0;
};
// Places glyph, caption and drop-down arrow in Client (moved by the pressed
// offset). MeasureCaption(MaxWidth) gives the caption's size, or is empty when
// no caption is shown; Glyph and Arrow are zero when absent.
TContent LayoutGlyphAndCaption(const TRect& Client, int OffsetX, int OffsetY, TSize Glyph,
                               const std::function<TSize(int MaxWidth)>& MeasureCaption, TButtonLayout Layout,
                               int Margin, int Spacing, bool WordWrap, TSize Arrow);
// Cells in a glyph strip: width div height when that divides evenly and is at
// most 5, else 1.
int GlyphCellsOf(int Width, int Height);

}  // namespace DockLayout
