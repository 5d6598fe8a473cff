#pragma once
// Colour point operations and neighbourhood filters on the blue, green, red
// bytes, and the linear display table. Each routine with an error number ends
// with ReportInternalError: 0 after success, its number after a failure.
#include <cstdint>

#include "engine/ClampByte.h"
#include "engine/DataImage.h"
#include "engine/Processing.h"

void ColBrightnessContrast(int Brightness, int Contrast, TDataImage& Dst, TDataImage& Src);  // 1
void ColGamma(TDataImage& Dst, TDataImage& Src, float GammaValue);                            // 2
void ColLinearScale(std::uint8_t Low, std::uint8_t High, TDataImage& Dst, TDataImage& Src);   // 3
void ColLogScale(TDataImage& Dst, TDataImage& Src, float Factor);                             // 4
// Sources 0..3 pick the blurred red, green, blue or intensity level.
void ColDDP(std::uint8_t Edge, std::uint8_t RedSource, std::uint8_t GreenSource, float MidLevel, float Background,
            float Scaling, std::uint8_t BlueSource, TDataImage& Dst, TDataImage& Src);  // 5

// Entry i = Round(255 / (High - Low) * (i - Low)) clamped to 0..255. Table is
// written only on success; false (and error 8 reported) when Low = High.
bool MakeLinearTable(TLUT& Table, float Low, float High);  // 8

void ColConvolvePreset(std::uint8_t Code, TDataImage& Dst, TDataImage& Src);             // 11
void ColGradient(TDataImage& Dst, TDataImage& Src);                                       // 12
void ColBoxFilter(std::uint8_t Size, TDataImage& Dst, TDataImage& Src);                   // 13
void ColMedianFilter(std::uint8_t Size, TDataImage& Dst, TDataImage& Src);                // 14
void ColMinMaxFilter(std::uint8_t Mode, std::uint8_t Size, TDataImage& Dst, TDataImage& Src);  // 14
void ColCustomFilter(const TFilterKernel& Kernel, TDataImage& Dst, TDataImage& Src);      // 20

// Unsharp mask of each channel: the blur is Round(window sum / Size^2) on the
// interior and the source byte on the border; the result
// ClampByte(Round(Amount * c - (Amount - 1) * blur)). Size odd. Error 19.
void ColUnsharpMask(int Size, TDataImage& Dst, TDataImage& Src, float Amount);
// Each channel plus Round(shift * 2.55), clamped to 0..255. Error 15.
void ColColourBalance(int RedShift, int GreenShift, int BlueShift, TDataImage& Dst, TDataImage& Src);
// Hue (degrees), saturation and value shifts in the HSV model; grey pixels
// stay grey. Error 108.
void ColHSIAdjust(TDataImage& Dst, TDataImage& Src, float HueShift, float SaturationShift, float IntensityShift);
