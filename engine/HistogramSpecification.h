#pragma once
// Reshapes the distribution of a grey image's values over 4096 bins from 0 to
// the image maximum: equalisation, and matching to a target shape through the
// inverse of its cumulative distribution. Dst is the caller's copy of Src, of
// the same size; every pixel of it is rewritten.
#include <array>

#include "engine/DataImage.h"

using THistogramTarget = std::array<float, 4096>;

// A source whose maximum is 0 (the search starts at 0.0) is left as it is.
// Negative values count and map as bin 0.
void HistogramEqualise(TDataImage& Dst, const TDataImage& Src);
// Throws EngineFault when the target's cumulative sum rounds to 0 (Dst keeps
// the equalised values) or the matched image is all 0.
void HistogramMatch(const THistogramTarget& Target, TDataImage& Dst, const TDataImage& Src);

void HistogramSpecGaussian(TDataImage& Dst, const TDataImage& Src, double Centre, double Width);
// P has no effect: the shape is fixed.
void HistogramSpecExponential(TDataImage& Dst, const TDataImage& Src, double P);
void HistogramSpecParabolic(TDataImage& Dst, const TDataImage& Src);
void HistogramSpecCubic(TDataImage& Dst, const TDataImage& Src);
void HistogramSpecLinear(TDataImage& Dst, const TDataImage& Src);
