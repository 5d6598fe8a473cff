#pragma once
// The colour twins of Geometry, on the B,G,R plane. Destinations allocated
// here are data type 0 with a colour plane.
#include <cstdint>

#include "engine/DataImage.h"

void ColResample(int NewWidth, int NewHeight, TDataImage& Dst, const TDataImage& Src);
void ColRotate(TDataImage& Dst, const TDataImage& Src, float Angle);
void ColFlip(std::uint8_t Mode, TDataImage& Dst, const TDataImage& Src);
void ColCrop(int X1, int Y1, int X2, int Y2, TDataImage& Dst, const TDataImage& Src);
