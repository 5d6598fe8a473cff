#pragma once
// Resampling, rotation, flipping and cropping of grey images. Each routine
// reports 0 or its own error number through ReportInternalError.
#include <cstdint>

#include "engine/DataImage.h"

// Bilinear, corner-aligned; a neighbour beyond the last row or column counts
// as 0. Dst is allocated here (Src's data type); its black and white points
// are Src's and its MaxValue is computed.
void Resample(int NewWidth, int NewHeight, TDataImage& Dst, const TDataImage& Src);
// Nearest neighbour about the centre into the bounding box; a positive angle
// (degrees) turns the picture clockwise on screen. Dst is allocated here.
void Rotate(TDataImage& Dst, const TDataImage& Src, float Angle);
// Mode 0 upside down, mode 1 mirrored left to right, other modes nothing.
// Dst is a copy of Src made by the caller.
void Flip(std::uint8_t Mode, TDataImage& Dst, const TDataImage& Src);
// The inclusive rectangle of Src into a destination the caller allocated.
void Crop(int X1, int Y1, int X2, int Y2, TDataImage& Dst, const TDataImage& Src);

namespace GeometryDetail {

// Sides of the bounding box for Rotate (NewWidth, NewHeight) and the sine and
// cosine used, from the angle in extended precision.
struct TRotation {
  double S, C;
  int NewWidth, NewHeight;
};
TRotation RotationFor(int W, int H, float Angle);

// Per destination column (or row) of a resampling: source index, fraction,
// and whether the two neighbours exist.
struct TSample {
  int Index;
  float Fraction;
  bool Has0, Has1;
};
void SamplesFor(int SourceSide, int NewSide, TSample* Out);

}  // namespace GeometryDetail
