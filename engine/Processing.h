#pragma once
// Grey image operations. Each takes its destination before its source; the
// destination is the caller's copy of the source. Every routine ends with
// ReportInternalError: 0 when it finished, its own number when it failed.
#include <cstdint>

#include "engine/DataImage.h"

// Calibration. The frames must have the image's size; a frame of another size
// is refused with the routine's number, the destination untouched.
void SubtractBias(TDataImage& Dst, TDataImage& Src, TDataImage& Frame);
void SubtractDark(TDataImage& Dst, TDataImage& Src, TDataImage& Frame);
// Divides Image in place by Flat normalised to its own mean.
void FlatFieldDivide(TDataImage& Image, TDataImage& Flat);

// Frequency-domain filters on the image padded to power-of-two sides. The
// result is rescaled so that its largest pixel equals the padded input's.
// FilterType: 0 ideal low-pass, 1 ideal high-pass, 2 Butterworth low-pass,
// 3 Butterworth high-pass; the high-pass ones add Emphasis. Error 56.
void FFTFilter(std::uint8_t FilterType, TDataImage& Dst, TDataImage& Src, float Cutoff, float Emphasis,
               float Order);
// Butterworth high-pass on the logarithm of the image, gain Floor upwards and 0
// at the centre, then exponentiated. Error 55.
void HomomorphicFilter(TDataImage& Dst, TDataImage& Src, float Floor, float Cutoff, float Order);
