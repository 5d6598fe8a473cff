#include "engine/ColGeometry.h"

#include "engine/GeometryKernels.h"

using namespace GeometryKernels;

void ColResample(int NewWidth, int NewHeight, TDataImage& Dst, const TDataImage& Src) {
  Guarded(errColResample, [&] { Resample<TColourPlane>(NewWidth, NewHeight, Dst, Src); });
}

void ColRotate(TDataImage& Dst, const TDataImage& Src, float Angle) {
  Guarded(errColRotate, [&] { Rotate<TColourPlane>(Dst, Src, Angle); });
}

void ColFlip(std::uint8_t Mode, TDataImage& Dst, const TDataImage& Src) {
  Guarded(errColFlip, [&] { Flip<TColourPlane>(Mode, Dst, Src); });
}

void ColCrop(int X1, int Y1, int X2, int Y2, TDataImage& Dst, const TDataImage& Src) {
  Guarded(errColCrop, [&] { Crop<TColourPlane>(X1, Y1, X2, Y2, Dst, Src); });
}
