#pragma once
// Contour lines of a grey image at evenly spaced levels, by triangle
// subdivision of square cells (CONREC). The tracer hands its segments to a
// sink; DrawContours draws them as digital lines into an image.
#include "engine/DataImage.h"

class IContourSink {
 public:
  virtual ~IContourSink() = default;
  virtual void Segment(int X1, int Y1, int X2, int Y2) = 0;
};

// Traces every level from Min in steps of Round((Max - Min) / Count) below
// Max and gives the segments to Sink in drawing order. On a fault (a Count of
// 0, a step that cannot advance the level) it shows "An internal error has
// occured [0234]." and returns false; segments handed over stay handed over.
bool TraceContours(int Count, int CellSize, float Min, float Max, const TDataImage& Src, IContourSink& Sink);

// Draws the contours of Src into Dst with Value. Dst is another image than
// Src (the caller's copy), at least as large.
void DrawContours(int Count, int CellSize, TDataImage& Dst, float Min, float Max, float Value, const TDataImage& Src);

// What stopped a trace: the levels (a step beyond the integers, or one that
// cannot advance a level that far from 0, or empty cells), the values (a
// cell's sum beyond the Single range), values that are no finite numbers
// (NaN or infinite pixels, or such a level), or memory.
enum class TContourFault { None, Levels, Values, Memory, NotFinite };

// DrawContours without the warning: the caller says what went wrong.
TContourFault TryDrawContours(int Count, int CellSize, TDataImage& Dst, float Min, float Max, float Value,
                              const TDataImage& Src);

// Sets every pixel of the digital line from (X1, Y1) to (X2, Y2) to Value.
void DrawContourLine(int X1, int Y1, int X2, int Y2, float Value, TDataImage& Image);

// 1, 0 or -1 by the sign of V.
int Sign(float V);
