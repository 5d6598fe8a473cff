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
