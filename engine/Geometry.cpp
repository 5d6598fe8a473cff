#include "engine/Geometry.h"

#include "engine/GeometryKernels.h"

namespace GeometryDetail {

TRotation RotationFor(int W, int H, float Angle) {
  const long double a = -(long double)Angle * 3.141592653589793238462643383279502884L / 180;
  TRotation r;
  r.S = double(sinl(a));
  r.C = double(cosl(a));
  r.NewWidth = int(std::llabs(Checked::Round((long double)H * r.S)) + std::llabs(Checked::Round((long double)W * r.C)));
  r.NewHeight =
      int(std::llabs(Checked::Round((long double)W * r.S)) + std::llabs(Checked::Round((long double)H * r.C)));
  return r;
}

void SamplesFor(int SourceSide, int NewSide, TSample* Out) {
  const float step = Checked::ToSingle(Checked::Div(SourceSide, NewSide));
  for (int i = 0; i < NewSide; ++i) {
    const float f = float(i) * step;  // one rounding of the exact product
    const std::int64_t k = Checked::Trunc(f);
    TSample& s = Out[i];
    s.Index = int(k);
    s.Fraction = f - float(k);
    s.Has0 = k >= 0 && k < SourceSide;
    s.Has1 = k + 1 >= 0 && k + 1 < SourceSide;
  }
}

}  // namespace GeometryDetail

using namespace GeometryKernels;

void Resample(int NewWidth, int NewHeight, TDataImage& Dst, const TDataImage& Src) {
  Guarded(errResample, [&] {
    GeometryKernels::Resample<TGreyPlane>(NewWidth, NewHeight, Dst, Src);
    Dst.BlackPoint = Src.BlackPoint;
    Dst.WhitePoint = Src.WhitePoint;
    Dst.CalcMaxValue();
  });
}

void Rotate(TDataImage& Dst, const TDataImage& Src, float Angle) {
  Guarded(errRotate, [&] {
    GeometryKernels::Rotate<TGreyPlane>(Dst, Src, Angle);
    Dst.BlackPoint = Src.BlackPoint;
    Dst.WhitePoint = Src.WhitePoint;
    Dst.CalcMaxValue();
  });
}

void Flip(std::uint8_t Mode, TDataImage& Dst, const TDataImage& Src) {
  Guarded(errFlip, [&] { GeometryKernels::Flip<TGreyPlane>(Mode, Dst, Src); });
}

void Crop(int X1, int Y1, int X2, int Y2, TDataImage& Dst, const TDataImage& Src) {
  Guarded(errCrop, [&] { GeometryKernels::Crop<TGreyPlane>(X1, Y1, X2, Y2, Dst, Src); });
}
