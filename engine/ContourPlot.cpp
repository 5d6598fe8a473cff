#include "engine/ContourPlot.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <new>
#include <vector>

#include "engine/Checked.h"
#include "engine/Errors.h"
#include "engine/Parallel.h"

namespace {

const char* const TracerFaultText = "An internal error has occured [0234].";

// The published CONREC case table, indexed by s[m1] * 9 + s[m2] * 3 + s[m3].
constexpr int CaseTable[27] = {0, 0, 8, 0, 2, 5, 7, 6, 9, 0, 3, 4, 1, 3, 1, 4, 3, 0, 9, 6, 7, 5, 2, 0, 8, 0, 0};

struct TSegment {
  int X1, Y1, X2, Y2;
};

struct TCellRow {
  std::vector<TSegment> Segments;
  bool Faulted = false;
  bool OutOfMemory = false;
};

int SignClass(float h) { return h < 0 ? 0 : (h == 0 ? 1 : 2); }

// Sum of (Src - Level) over a block of Rows x Cols pixels from (X, Y), rows
// outer, as a Single running sum. An overflow stays infinite or NaN, so one
// test at the end finds it.
float BlockSum(const TDataImage& Src, int X, int Y, int Rows, int Cols, float Level) {
  float sum = 0.0f;
  const std::size_t stride = std::size_t(Src.Width);
  for (int i = 0; i < Rows; ++i) {
    const float* row = Src.Pixels + std::size_t(Y + i) * stride + std::size_t(X);
    for (int j = 0; j < Cols; ++j) sum = float(sum + ((long double)row[j] - Level));
  }
  if (!std::isfinite(sum)) Checked::Fault("overflow");
  return sum;
}

// The segments of one row of cells at one level, in cell order.
void TraceRow(const TDataImage& Src, int CellSize, float Level, int Y0, TCellRow& Out) {
  const int W1 = Src.Width - 1, H1 = Src.Height - 1, C = CellSize;
  // The pairs (i, j) counted depend on the cell; rows and columns of pairs
  // past the image's last row or column drop out for all four corners.
  const int rows = std::max(0, std::min(C, H1 - Y0 - C + 1));
  // Cells that count every pair share their corner blocks with their
  // neighbours: sum each corner position once.
  std::vector<float> top, bottom;
  int fullCells = 0;
  for (int x0 = 0; x0 < W1 - (C + 1) && x0 + C + (C - 1) <= W1; x0 += C) ++fullCells;
  if (rows == C && fullCells > 0) {
    top.resize(std::size_t(fullCells) + 1);
    bottom.resize(std::size_t(fullCells) + 1);
    for (int k = 0; k <= fullCells; ++k) {
      top[std::size_t(k)] = BlockSum(Src, k * C, Y0, C, C, Level);
      bottom[std::size_t(k)] = BlockSum(Src, k * C, Y0 + C, C, C, Level);
    }
  }
  int cell = 0;
  for (int x0 = 0; x0 < W1 - (C + 1); x0 += C, ++cell) {
    int vx[5], vy[5];
    float h[5];
    vx[1] = x0, vy[1] = Y0;
    vx[2] = x0 + C, vy[2] = Y0;
    vx[3] = x0 + C, vy[3] = Y0 + C;
    vx[4] = x0, vy[4] = Y0 + C;
    float sum[5];
    if (!top.empty() && cell < fullCells) {
      sum[1] = top[std::size_t(cell)];
      sum[2] = top[std::size_t(cell) + 1];
      sum[3] = bottom[std::size_t(cell) + 1];
      sum[4] = bottom[std::size_t(cell)];
    } else {
      const int cols = std::max(0, std::min(C, W1 - x0 - C + 1));
      for (int k = 1; k <= 4; ++k) sum[k] = BlockSum(Src, vx[k], vy[k], rows, cols, Level);
    }
    for (int k = 1; k <= 4; ++k) h[k] = Checked::ToSingle(sum[k] / 4.0L);
    h[0] = Checked::ToSingle(((long double)h[1] + h[2] + h[3] + h[4]) / 4.0L);
    vx[0] = int(Checked::Round((2.0L * x0 + C) / 2.0L));
    vy[0] = int(Checked::Round((2.0L * Y0 + C) / 2.0L));
    int s[5];
    for (int k = 0; k <= 4; ++k) s[k] = SignClass(h[k]);

    auto crossX = [&](int p, int q) {
      return int(Checked::Round(Checked::Div((long double)h[q] * vx[p] - (long double)h[p] * vx[q],
                                             (long double)h[q] - h[p])));
    };
    auto crossY = [&](int p, int q) {
      return int(Checked::Round(Checked::Div((long double)h[q] * vy[p] - (long double)h[p] * vy[q],
                                             (long double)h[q] - h[p])));
    };
    for (int m = 1; m <= 4; ++m) {
      const int m1 = m, m2 = 0, m3 = m == 4 ? 1 : m + 1;
      TSegment g{};
      switch (CaseTable[s[m1] * 9 + s[m2] * 3 + s[m3]]) {
        case 0:
          continue;
        case 1:
          g = {vx[m1], vy[m1], vx[m2], vy[m2]};
          break;
        case 2:
          g = {vx[m2], vy[m2], vx[m3], vy[m3]};
          break;
        case 3:
          g = {vx[m3], vy[m3], vx[m1], vy[m1]};
          break;
        case 4:
          g = {vx[m1], vy[m1], crossX(m2, m3), crossY(m2, m3)};
          break;
        case 5:
          g = {vx[m2], vy[m2], crossX(m3, m1), crossY(m3, m1)};
          break;
        case 6:
          g = {vx[m3], vy[m3], crossX(m1, m2), crossY(m1, m2)};
          break;
        case 7:
          g = {crossX(m1, m2), crossY(m1, m2), crossX(m2, m3), crossY(m2, m3)};
          break;
        case 8:
          g = {crossX(m2, m3), crossY(m2, m3), crossX(m3, m1), crossY(m3, m1)};
          break;
        case 9:
          g = {crossX(m3, m1), crossY(m3, m1), crossX(m1, m2), crossY(m1, m2)};
          break;
      }
      Out.Segments.push_back(g);
    }
  }
}

class TLineSink : public IContourSink {
 public:
  TLineSink(TDataImage& Dst, float Value) : FDst(Dst), FValue(Value) {}
  void Segment(int X1, int Y1, int X2, int Y2) override { DrawContourLine(X1, Y1, X2, Y2, FValue, FDst); }

 private:
  TDataImage& FDst;
  float FValue;
};

}  // namespace

int Sign(float V) { return V > 0 ? 1 : (V == 0 ? 0 : -1); }

void DrawContourLine(int X1, int Y1, int X2, int Y2, float Value, TDataImage& Image) {
  const std::int64_t dx = std::int64_t(X2) - X1, dy = std::int64_t(Y2) - Y1;
  const int diagX = dx > 0 ? 1 : (dx < 0 ? -1 : 0), diagY = dy > 0 ? 1 : (dy < 0 ? -1 : 0);
  std::int64_t lng, shrt;
  int stepX, stepY;
  if (std::llabs(dx) > std::llabs(dy)) {
    lng = std::llabs(dx), shrt = std::llabs(dy), stepX = diagX, stepY = 0;
  } else {
    lng = std::llabs(dy), shrt = std::llabs(dx), stepX = 0, stepY = diagY;
  }
  std::int64_t e = lng / 2;
  std::int64_t x = X1, y = Y1;
  for (std::int64_t n = 0; n <= lng; ++n) {
    if (x >= 0 && x < Image.Width && y >= 0 && y < Image.Height) Image.SetPixel(int(x), int(y), Value);
    e += shrt;
    if (e >= lng) {
      e -= lng;
      x += diagX, y += diagY;
    } else {
      x += stepX, y += stepY;
    }
  }
}

namespace {

TContourFault Trace(int Count, int CellSize, float Min, float Max, const TDataImage& Src, IContourSink& Sink) {
  std::vector<float> levels;
  try {
    const std::int64_t step = Checked::Round(Checked::Div((long double)Max - Min, Count));
    // The levels first. A step that cannot advance the level (0, or too small
    // for a Single that large) would trace the same level for ever: refuse.
    for (float level = Min; level >= Min && level < Max;) {
      levels.push_back(level);
      const float next = Checked::ToSingle(level + (long double)step);
      if (next >= Min && next < Max && next <= level) Checked::Fault("the level does not advance");
      level = next;
    }
  } catch (const EngineFault&) {
    return TContourFault::Levels;
  } catch (const std::bad_alloc&) {
    return TContourFault::Memory;
  }
  try {
    const int H1 = Src.Height - 1;
    if (levels.empty() || !Src.Pixels || !(0 < std::int64_t(H1) - CellSize - 1)) return TContourFault::None;
    // Neither would cells that do not advance.
    if (CellSize < 1) return TContourFault::Levels;

    std::vector<int> rowStarts;
    for (int y0 = 0; y0 < H1 - (CellSize + 1); y0 += CellSize) rowStarts.push_back(y0);
    // Rows of cells are traced in parallel a batch at a time and handed over
    // in order, so the sink sees exactly the serial sequence.
    const std::size_t batch = std::size_t(Parallel::Threads()) * 8;
    for (const float level : levels) {
      for (std::size_t first = 0; first < rowStarts.size(); first += batch) {
        const std::size_t count = std::min(batch, rowStarts.size() - first);
        std::vector<TCellRow> rows(count);
        Parallel::For(std::int64_t(count), [&](std::int64_t b, std::int64_t e) {
          for (std::int64_t r = b; r < e; ++r) {
            try {
              TraceRow(Src, CellSize, level, rowStarts[first + std::size_t(r)], rows[std::size_t(r)]);
            } catch (const EngineFault&) {
              rows[std::size_t(r)].Faulted = true;
            } catch (const std::bad_alloc&) {
              rows[std::size_t(r)].Faulted = rows[std::size_t(r)].OutOfMemory = true;
            }
          }
        }, 1);
        for (const TCellRow& row : rows) {
          for (const TSegment& g : row.Segments) Sink.Segment(g.X1, g.Y1, g.X2, g.Y2);
          if (row.OutOfMemory) throw std::bad_alloc();
          if (row.Faulted) Checked::Fault("tracing");
        }
      }
    }
    return TContourFault::None;
  } catch (const EngineFault&) {
    return TContourFault::Values;
  } catch (const std::bad_alloc&) {
    return TContourFault::Memory;
  }
}

bool HoldsNonFinite(const TDataImage& Src) {
  const std::int64_t n = Src.Pixels ? Src.PixelCount() : 0;
  for (std::int64_t i = 0; i < n; ++i)
    if (!std::isfinite(Src.Pixels[i])) return true;
  return false;
}

}  // namespace

bool TraceContours(int Count, int CellSize, float Min, float Max, const TDataImage& Src, IContourSink& Sink) {
  if (Trace(Count, CellSize, Min, Max, Src, Sink) == TContourFault::None) return true;
  ShowEngineWarning(TracerFaultText);
  return false;
}

void DrawContours(int Count, int CellSize, TDataImage& Dst, float Min, float Max, float Value, const TDataImage& Src) {
  TLineSink sink(Dst, Value);
  TraceContours(Count, CellSize, Min, Max, Src, sink);
}

TContourFault TryDrawContours(int Count, int CellSize, TDataImage& Dst, float Min, float Max, float Value,
                              const TDataImage& Src) {
  TLineSink sink(Dst, Value);
  const TContourFault fault = Trace(Count, CellSize, Min, Max, Src, sink);
  // A NaN or an infinity faults the sums, or the step, whatever their size.
  if ((fault == TContourFault::Values && HoldsNonFinite(Src)) ||
      (fault == TContourFault::Levels && !(std::isfinite(Min) && std::isfinite(Max))))
    return TContourFault::NotFinite;
  return fault;
}
