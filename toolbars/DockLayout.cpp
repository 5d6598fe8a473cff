#include "toolbars/DockLayout.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <set>

namespace DockLayout {

int MulDiv(int A, int B, int C) {
  if (C == 0) return -1;
  const std::int64_t p = std::int64_t(A) * B;
  const bool positive = (p >= 0) == (C > 0);
  const std::uint64_t ap = p < 0 ? std::uint64_t(-(p + 1)) + 1 : std::uint64_t(p);
  const std::uint64_t ac = C < 0 ? std::uint64_t(-(std::int64_t(C))) : std::uint64_t(C);
  const std::uint64_t q = (ap + ac / 2) / ac;
  if (positive) {
    if (q > std::uint64_t(INT_MAX)) return -1;
    return int(q);
  }
  if (q > std::uint64_t(INT_MAX) + 1) return -1;
  return int(-std::int64_t(q));
}

int ClampCoordinate(int V) { return std::clamp(V, -MaxCoordinate, MaxCoordinate); }

// ---- Rows ----

int TRowModel::LastRowIndex() const {
  int last = -1;
  for (const TBar* b : List) last = std::max(last, b->DockRow);
  return last;
}

void TRowModel::CompactRows() {
  // Renumbering the distinct rows gives what moving every later row up one
  // per empty row gives, without a loop per empty row.
  std::set<int> rows;
  for (const TBar* b : List) rows.insert(b->DockRow);
  std::map<int, int> index;
  int n = 0;
  for (int r : rows) index[r] = n++;
  for (TBar* b : List) b->DockRow = index[b->DockRow];
}

void TRowModel::SortList() {
  SortListWithCallback(List, [](const TBar* A, const TBar* B) {
    if (A->DockRow != B->DockRow) return A->DockRow < B->DockRow ? -1 : 1;
    if (A->DockPos != B->DockPos) return A->DockPos < B->DockPos ? -1 : 1;
    return 0;
  });
}

void TRowModel::SeparateFullSize() {
  int last = LastRowIndex();
  for (int r = 0; r <= last; ++r) {
    for (TBar* w : List) {
      if (w->DockRow != r || !w->FullSize) continue;
      const bool shared = std::any_of(List.begin(), List.end(), [&](const TBar* b) { return b != w && b->DockRow == r; });
      if (!shared) continue;
      for (TBar* b : List)
        if (b != w && b->DockRow >= r) ++b->DockRow;
      last = LastRowIndex();
    }
  }
}

void TRowModel::ComputeRowSizes() {
  RowSizes.clear();
  for (const TBar* b : List) {
    if (!b->Shown) continue;
    int& size = RowSizes[b->DockRow];
    size = std::max({size, b->BaseSize, 8});
  }
}

int TRowModel::GetRowSize(int Row, const TBar* Bar) const {
  auto it = RowSizes.find(Row);
  const int size = it == RowSizes.end() ? 0 : it->second;
  if (size == 0 && Bar) return Bar->BaseSize;
  return size;
}

void TRowModel::FindInsertRow(int Pos, int& Row, bool& NewRow) const {
  // Rows without a shown bar take no space and are passed over.
  long long s = 0;
  for (const auto& [r, size] : RowSizes) {
    if (size == 0) continue;
    const long long end = s + size + 4;
    if (Pos < s + 5) {
      Row = r;
      NewRow = true;
      return;
    }
    if (Pos < end - 5) {
      Row = r;
      NewRow = false;
      return;
    }
    s = end;
  }
  Row = LastRowIndex() + 1;
  NewRow = Pos < s + 5;
}

int TRowModel::RowAtOffset(int Pos) const {
  long long total = 0;
  for (const auto& [r, size] : RowSizes) {
    if (size == 0) continue;
    total += size + 4;
    if (total > Pos) return r;
  }
  return LastRowIndex() + 1;
}

int TRowModel::CountInRow(int Row, const TBar* Except) const {
  return int(std::count_if(List.begin(), List.end(), [&](const TBar* b) { return b != Except && b->DockRow == Row; }));
}

void TRowModel::ShiftRowsFrom(int Row) {
  for (TBar* b : List)
    if (b->DockRow >= Row) ++b->DockRow;
}

bool TRowModel::AnyShown() const {
  return std::any_of(List.begin(), List.end(), [](const TBar* b) { return b->Shown; });
}

int TRowModel::Layout(int ClientLength, bool ClipPositions, std::vector<TPlacement>& Out) {
  Out.clear();
  if (!AnyShown()) return 0;
  if (LimitToOneRow)
    for (TBar* b : List) b->DockRow = 0;
  CompactRows();
  SortList();
  SeparateFullSize();
  ComputeRowSizes();
  const int last = LastRowIndex();
  // The bars of each row in list order.
  std::vector<std::vector<TBar*>> rows(std::size_t(last + 1));
  for (TBar* b : List)
    if (b->Shown) rows[std::size_t(b->DockRow)].push_back(b);
  for (TBar* b : List) b->WorkPos = b->DockPos;
  for (auto& row : rows) {
    // Left to right on DockPos itself: no overlap to the left.
    long long p = 0;
    for (TBar* b : row) {
      if (b->FullSize) {
        b->DockPos = 0;
        continue;
      }
      if (p < b->DockPos) p = b->DockPos;
      else b->DockPos = int(std::clamp<long long>(p, INT_MIN, INT_MAX));
      p += b->Length;
    }
    for (TBar* b : row) b->WorkPos = b->DockPos;
    // Right to left: pushed left so that they end inside the dock.
    long long limit = ClientLength;
    for (auto it = row.rbegin(); it != row.rend(); ++it) {
      TBar* b = *it;
      if (b->FullSize) continue;
      limit -= b->Length;
      if (limit < b->WorkPos) b->WorkPos = int(limit);
      limit = b->WorkPos;
    }
    // Left to right again: nothing before 0; a long row overflows at the end.
    p = 0;
    for (TBar* b : row) {
      if (b->FullSize) continue;
      if (p >= b->WorkPos) b->WorkPos = int(std::clamp<long long>(p, INT_MIN, INT_MAX));
      else p = b->WorkPos;
      p += b->Length;
    }
  }
  if (ClipPositions)
    for (TBar* b : List) b->DockPos = b->WorkPos;
  int offset = 0;
  for (int r = 0; r <= last; ++r) {
    const auto& row = rows[std::size_t(r)];
    const int thickness = row.empty() ? 0 : GetRowSize(r, nullptr) + 4;
    for (TBar* b : row)
      Out.push_back({b, b->FullSize ? 0 : b->WorkPos, offset, b->FullSize ? ClientLength : b->Length, thickness});
    offset += thickness;
  }
  return offset;
}

int DockThickness(int RowsThickness, bool AnyShown, int BoundLinesAcross, bool FixAlign) {
  if (!AnyShown) return FixAlign ? 1 : 0;
  return RowsThickness + BoundLinesAcross;
}

TRect KeepOnWorkArea(TRect R, const TRect& W, bool OnlyIfFullyOff) {
  if (OnlyIfFullyOff && R.Intersects(W)) return R;
  auto shift = [&R](int dx, int dy) {
    R.Left += dx;
    R.Right += dx;
    R.Top += dy;
    R.Bottom += dy;
  };
  if (R.Right > W.Right) shift(W.Right - R.Right, 0);
  if (R.Bottom > W.Bottom) shift(0, W.Bottom - R.Bottom);
  if (R.Left < W.Left) shift(W.Left - R.Left, 0);
  if (R.Top < W.Top) shift(0, W.Top - R.Top);
  return R;
}

bool InDockZone(TRect& R, bool Vertical, const TGrab& G, int PX, int PY) {
  if (R.Width() <= 0 || R.Height() <= 0) {
    if (Vertical) {
      --R.Left;
      ++R.Right;
    } else {
      --R.Top;
      ++R.Bottom;
    }
  }
  const int gx = MulDiv(32, G.X, G.ExtentX);
  const int gy = MulDiv(20, G.Y, G.ExtentY);
  if (!(R.Left - (32 - gx) <= PX && PX <= R.Right - 1 + gx)) return false;
  if (!(R.Top - (20 - gy) <= PY && PY <= R.Bottom - 1 + gy)) return false;
  if (Vertical && !(R.Top <= PY && PY < R.Bottom)) return false;
  return true;
}

TRect OutlineAt(int PX, int PY, int W, int H, const TGrab& G) {
  const int left = PX - MulDiv(W - 1, G.X, G.ExtentX);
  const int top = PY - MulDiv(H - 1, G.Y, G.ExtentY);
  return {left, top, left + W, top + H};
}

TRect ClampFloatingOutline(TRect R, const TRect& W, int Border, int TopNonClient) {
  const int m = Border + 4;
  auto shift = [&R](int dx, int dy) {
    R.Left += dx;
    R.Right += dx;
    R.Top += dy;
    R.Bottom += dy;
  };
  if (R.Right < W.Left + m) shift(W.Left + m - R.Right, 0);
  if (R.Left > W.Right - m) shift(W.Right - m - R.Left, 0);
  if (R.Bottom < W.Top + m) shift(0, W.Top + m - R.Bottom);
  if (R.Top > W.Bottom - m) shift(0, W.Bottom - m - R.Top);
  if (R.Top < W.Top + 4 - TopNonClient) shift(0, W.Top + 4 - TopNonClient - R.Top);
  return R;
}

// ---- Toolbar lines ----

int ToolbarBaseSize(const std::vector<TToolbarItem>& Items, int Orientation) {
  int size = 8;
  for (const TToolbarItem& c : Items)
    if (!c.Separator) size = std::max(size, Orientation == 2 ? c.Width : c.Height);
  return size;
}

TToolbarLayout LayoutToolbar(std::vector<TToolbarItem>& Items, int Orientation, int FloatRightX, int LineSize,
                             bool MoveControls) {
  const int t = Orientation;
  const bool floating = t == 0;
  long long limit = LLONG_MAX / 4;
  if (floating && FloatRightX != 0) {
    int widest = 0;
    for (const TToolbarItem& c : Items)
      if (!c.Separator) widest = std::max(widest, c.Width);
    limit = std::max(FloatRightX, widest + 8);
  }
  const int b = ToolbarBaseSize(Items, t);
  const int l = LineSize;
  const int topMargin = floating ? 2 : 0, bottomMargin = floating ? 1 : 0;
  const int leftMargin = floating ? 4 : 0, rightMargin = floating ? 4 : 0;
  const bool wrapping = floating;

  // Groups end after each separator.
  struct TGroup {
    std::vector<std::size_t> Items;
    long long Length = 0;
    bool EndsWithSeparator = false;
  };
  std::vector<TGroup> groups;
  for (std::size_t i = 0; i < Items.size(); ++i) {
    if (groups.empty() || groups.back().EndsWithSeparator) groups.emplace_back();
    TGroup& g = groups.back();
    g.Items.push_back(i);
    if (Items[i].Separator) g.EndsWithSeparator = true;
    else g.Length += t == 2 ? Items[i].Height : Items[i].Width;
  }

  TToolbarLayout result;
  long long y = topMargin, x = leftMargin, m = leftMargin, mBeforeSeparator = leftMargin;
  bool pending = false;
  for (std::size_t gi = 0; gi < groups.size(); ++gi) {
    const TGroup& g = groups[gi];
    if (wrapping && (pending || x + g.Length + rightMargin > limit)) {
      pending = false;
      x = leftMargin;
      if (gi > 0) {
        y += b + 6;
        if (groups[gi - 1].EndsWithSeparator) {
          m = mBeforeSeparator;
          TToolbarItem& sep = Items[groups[gi - 1].Items.back()];
          if (MoveControls) {
            sep.W = 0;
            result.WrapLines.push_back({int(y), sep.Blank});
          }
        }
      }
    }
    m = std::max(m, x);
    for (std::size_t i : g.Items) {
      TToolbarItem& c = Items[i];
      const int len = c.Separator ? (t == 2 ? c.SizeVert : c.SizeHorz) : (t == 2 ? c.Height : c.Width);
      if (wrapping && !c.Separator && x + len + rightMargin > limit) {
        x = leftMargin;
        y += b;
        pending = true;
      }
      if (MoveControls) {
        c.Placed = true;
        if (t != 2) {
          if (c.Separator) {
            c.X = int(x), c.Y = int(y), c.W = c.SizeHorz, c.H = l;
          } else {
            c.X = int(x), c.Y = int(y) + (l - c.Height) / 2, c.W = c.Width, c.H = c.Height;
          }
        } else {
          if (c.Separator) {
            c.X = int(y), c.Y = int(x), c.W = l, c.H = c.SizeVert;
          } else {
            c.X = int(y) + (l - c.Width) / 2, c.Y = int(x), c.W = c.Width, c.H = c.Height;
          }
        }
      }
      if (c.Separator) mBeforeSeparator = m;
      x += len;
      m = std::max(m, x);
    }
  }
  if (Items.empty()) m += 8;
  const int length = int(m + rightMargin);
  const int thickness = int(y + b + bottomMargin);
  if (t == 2) {
    result.Width = thickness;
    result.Height = length;
  } else {
    result.Width = length;
    result.Height = thickness;
  }
  return result;
}

std::vector<TSize> FloatingCandidates(const std::function<TSize(int)>& Measure, TSize NonClient) {
  std::vector<TSize> list;
  const TSize first = Measure(0);
  list.push_back(first);
  int w = first.W - 1;
  while (w >= 8) {
    const TSize s = Measure(w);
    if (s.W > w) break;
    if (s.W == w) {
      if (list.size() > 1 && list.back().H == s.H) list.back() = s;
      else if (std::find(list.begin(), list.end(), s) == list.end()) list.push_back(s);
      --w;
    } else {
      w = s.W;
    }
  }
  for (TSize& s : list) {
    s.W += NonClient.W;
    s.H += NonClient.H;
  }
  return list;
}

namespace {
int Dim(const TSize& S, TResizeEdge E) { return E == reLeft || E == reRight ? S.W : S.H; }
}  // namespace

void TResizeSnap::Start(std::vector<TSize> Candidates, TResizeEdge Edge, TSize Current, int LeftNonClient,
                        TSize OneLine) {
  FEdge = Edge;
  FStart = FCurrent = Current;
  FOneLine = OneLine;
  FLeftNonClient = LeftNonClient;
  FChanged = false;
  FLastDir = 0;
  FCandidates = std::move(Candidates);
  std::stable_sort(FCandidates.begin(), FCandidates.end(),
                   [this](const TSize& A, const TSize& B) { return Dim(A, FEdge) > Dim(B, FEdge); });
  FTolerance = 12;
  const int cur = Dim(Current, Edge);
  for (std::size_t i = 0; i < FCandidates.size(); ++i) {
    if (Dim(FCandidates[i], Edge) != cur) continue;
    if (i > 0) FTolerance = std::min(FTolerance, Dim(FCandidates[i - 1], Edge) - cur - 1);
    if (i + 1 < FCandidates.size()) FTolerance = std::min(FTolerance, cur - Dim(FCandidates[i + 1], Edge) - 1);
    break;
  }
  FTolerance = std::max(FTolerance, 0);
  FFloatRightX = Current == OneLine ? 0 : Current.W - 2 * LeftNonClient;
}

TSize TResizeSnap::Track(int D) {
  if (FCandidates.empty()) return FCurrent;
  const int cur = Dim(FCurrent, FEdge);
  const int dir = D < cur ? -1 : 1;
  if ((!FChanged || dir != FLastDir) && D >= cur - FTolerance && D < cur + FTolerance) D = cur;
  FLastDir = dir;
  TSize chosen;
  if (D > cur) {
    // The smallest exceeding d, or the largest.
    chosen = FCandidates.front();
    for (auto it = FCandidates.rbegin(); it != FCandidates.rend(); ++it)
      if (Dim(*it, FEdge) > D) {
        chosen = *it;
        break;
      }
  } else {
    // The largest not above d, or the smallest.
    chosen = FCandidates.back();
    for (const TSize& s : FCandidates)
      if (Dim(s, FEdge) <= D) {
        chosen = s;
        break;
      }
  }
  FCurrent = chosen;
  FFloatRightX = chosen == FOneLine ? 0 : chosen.W - 2 * FLeftNonClient;
  FChanged = !(chosen == FStart);
  return chosen;
}

// ---- Button content ----

TContent LayoutGlyphAndCaption(const TRect& Client, int OffsetX, int OffsetY, TSize Glyph,
                               const std::function<TSize(int MaxWidth)>& MeasureCaption, TButtonLayout Layout,
                               int Margin, int Spacing, bool WordWrap, TSize Arrow) {
  const int w = Client.Width(), h = Client.Height();
  if ((Layout == blGlyphTop || Layout == blGlyphBottom) && Glyph.W == 0) Layout = blGlyphLeft;
  const bool horizontal = Layout == blGlyphLeft || Layout == blGlyphRight;
  TSize text;
  if (MeasureCaption) {
    int limit = w - (horizontal ? Arrow.W : 0);
    if (WordWrap) {
      if (Glyph.W > 0) limit -= Glyph.W + (Spacing == -1 ? 4 : Spacing);
      limit -= 2 * (Margin != -1 ? Margin : Spacing != -1 ? Spacing : 4);
    }
    limit = std::max(limit, 0);
    text = MeasureCaption(limit);
    text.W = std::min(text.W, limit);
  }
  if (text.W == 0 || Glyph.W == 0) Spacing = 0;
  // Along the layout direction.
  const int space = horizontal ? w : h;
  const int content = horizontal ? Glyph.W + text.W + Arrow.W : Glyph.H + text.H;
  if (Margin == -1) {
    if (Spacing == -1) {
      Margin = Spacing = (space - content) / 3;
    } else {
      Margin = (space - content - Spacing) / 2;
    }
  } else if (Spacing == -1) {
    Spacing = (space - Margin - content) / 2;
  }
  TContent r;
  int textX = 0, textY = 0;
  if (horizontal) {
    r.GlyphY = (h - Glyph.H) / 2;
    textY = (h - text.H) / 2;
    if (Layout == blGlyphLeft) {
      r.GlyphX = Margin;
      textX = r.GlyphX + Glyph.W + Spacing;
      r.ArrowX = (text.W ? textX + text.W : r.GlyphX + Glyph.W) + 1;
    } else {
      r.ArrowX = w - Margin - Arrow.W + 1;
      r.GlyphX = w - Margin - Arrow.W - Glyph.W;
      textX = r.GlyphX - Spacing - text.W;
    }
  } else {
    r.GlyphX = (w - Glyph.W) / 2;
    textX = (w - text.W) / 2;
    if (Layout == blGlyphTop) {
      r.GlyphY = Margin;
      textY = r.GlyphY + Glyph.H + Spacing;
    } else {
      r.GlyphY = h - Margin - Glyph.H;
      textY = r.GlyphY - Spacing - text.H;
    }
    r.ArrowX = (Glyph.W ? r.GlyphX + Glyph.W : textX + text.W) + 1;
  }
  r.ArrowY = Glyph.H ? r.GlyphY + (Glyph.H - Arrow.H) / 2 : textY + (text.H - Arrow.H) / 2;
  const int dx = Client.Left + OffsetX, dy = Client.Top + OffsetY;
  r.GlyphX += dx;
  r.GlyphY += dy;
  r.ArrowX += dx;
  r.ArrowY += dy;
  r.Text = {textX + dx, textY + dy, textX + dx + text.W, textY + dy + text.H};
  return r;
}

int GlyphCellsOf(int Width, int Height) {
  if (Height <= 0 || Width <= 0 || Width % Height != 0) return 1;
  const int n = Width / Height;
  return n >= 1 && n <= 5 ? n : 1;
}

}  // namespace DockLayout
