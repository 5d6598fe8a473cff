#pragma once
// Histogram equalisation and matching of a colour image on the value channel
// of the HSV model, in 256 bins; hue and saturation are kept. Dst is the
// caller's colour copy of Src, of the same size; every pixel is rewritten.
#include <array>

#include "engine/DataImage.h"

using TColHistogramTarget = std::array<float, 256>;

void ColHistogramEqualise(TDataImage& Dst, const TDataImage& Src);
// Throws EngineFault when the target's cumulative sum rounds to 0 (Dst keeps
// the equalised colours).
void ColHistogramMatch(const TColHistogramTarget& Target, TDataImage& Dst, const TDataImage& Src);

void ColHistogramSpecGaussian(TDataImage& Dst, const TDataImage& Src, double Centre, double Width);
// P has no effect: the shape is fixed.
void ColHistogramSpecExponential(TDataImage& Dst, const TDataImage& Src, double P);
void ColHistogramSpecParabolic(TDataImage& Dst, const TDataImage& Src);
void ColHistogramSpecCubic(TDataImage& Dst, const TDataImage& Src);
void ColHistogramSpecLinear(TDataImage& Dst, const TDataImage& Src);
