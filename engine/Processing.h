#pragma once
// Grey point operations, neighbourhood filters and the white level / output
// range helpers. Every routine with an error number catches its own faults and
// ends with ReportInternalError: 0 after success, its number after a failure
// or a refused parameter. Destinations are copies of their sources made by
// the caller (same sides); pixels a routine does not write keep their values.
#include <array>
#include <cstdint>

#include "engine/DataImage.h"

// The user's 3 x 3 kernel, held in a 10 x 10 array indexed [column][row];
// entry [c][r] weighs the pixel at (x + c - 1, y + r - 1).
using TFilterKernel = std::array<std::array<float, 10>, 10>;

// TypeMax, or for a floating-point image (data type 3) MaxValue after
// CalcMaxValue. 255.0 after a failure; reports nothing.
float GetWhiteLevel(TDataImage& Image);

// Range 0, 1, 2 = "8 bit", "12 bit", "16 bit": every pixel times K / P
// (K = 255, 4095, 65535; P the largest pixel) clamped to [0, K], then
// AutoScale. Range 3 ("Unlimited") or P = 0 change nothing. Reports nothing.
void RescaleToOutputRange(std::uint8_t Range, TDataImage& Image);

void BrightnessContrast(int Brightness, int Contrast, TDataImage& Dst, TDataImage& Src);  // 24
void Gamma(TDataImage& Dst, TDataImage& Src, float GammaValue);                            // 25
void LinearStretch(TDataImage& Dst, TDataImage& Src, float Low, float High);               // 26
void LogScale(TDataImage& Dst, TDataImage& Src, float Factor);                             // 27
void DDP(std::uint8_t Edge, TDataImage& Dst, TDataImage& Src, float MidLevel, float Background,
         float Scaling);  // 28

// Fixed kernels 1..12 (see FixedKernel); results clamped to [0, white level].
void Filter3x3(std::uint8_t Code, TDataImage& Dst, TDataImage& Src);             // 29
void SobelFilter(TDataImage& Dst, TDataImage& Src);                               // 30
void MeanFilter(std::uint8_t Size, TDataImage& Dst, TDataImage& Src);             // 31
void MedianFilter(std::uint8_t Size, TDataImage& Dst, TDataImage& Src);           // 32
void MinMaxFilter(std::uint8_t Mode, std::uint8_t Size, TDataImage& Dst, TDataImage& Src);  // 33
void CustomFilter(const TFilterKernel& Kernel, TDataImage& Dst, TDataImage& Src);  // 34

// Weights (rows top to bottom) and divisor of fixed kernel Code 1..12; false
// for another code.
bool FixedKernel(std::uint8_t Code, int (&Weights)[9], int& Divisor);

// The divisor of a user kernel: the Single sum of its nine weights, 1 when
// that sum is 0.
float KernelDivisor(const TFilterKernel& Kernel);

// Calibration. The frames must have the image's size; a frame of another size
// is refused with the routine's number, the destination untouched.
void SubtractBias(TDataImage& Dst, TDataImage& Src, TDataImage& Frame);
void SubtractDark(TDataImage& Dst, TDataImage& Src, TDataImage& Frame);
// Divides Image in place by Flat normalised to its own mean.
void FlatFieldDivide(TDataImage& Image, TDataImage& Flat);
// The mean FlatFieldDivide normalises by, times 10000 and rounded, over the
// first Count pixels; 0 leaves it nothing to divide by. Throws on a fault.
std::int64_t FlatFieldMean(const TDataImage& Flat, std::int64_t Count);

// Frequency-domain filters on the image padded to power-of-two sides. The
// result is rescaled so that its largest pixel equals the padded input's.
// FilterType: 0 ideal low-pass, 1 ideal high-pass, 2 Butterworth low-pass,
// 3 Butterworth high-pass; the high-pass ones add Emphasis. Error 56.
void FFTFilter(std::uint8_t FilterType, TDataImage& Dst, TDataImage& Src, float Cutoff, float Emphasis,
               float Order);
// Butterworth high-pass on the logarithm of the image, gain Floor upwards and 0
// at the centre, then exponentiated. Error 55.
void HomomorphicFilter(TDataImage& Dst, TDataImage& Src, float Floor, float Cutoff, float Order);

// Noise filters on a Window x Window neighbourhood (Window odd, at most 1023,
// else refused with the routine's number); the border of
// Window div 2 pixels keeps the destination's values. Results other than the
// outlier filter's are clamped to [0, white level].
// Replaces a pixel by its window mean when it lies more than Deviation
// standard deviations from it. Error 47.
void NoiseFilter(int Window, TDataImage& Dst, TDataImage& Src, float Deviation);
// (1 - q/r) p + (q/r) m + 0.5 with q the noise variance, r the window
// variance (m + 0.5 when r = 0). Error 48.
void AdaptiveMMSE(int Window, TDataImage& Dst, TDataImage& Src, float NoiseDeviation);
// Mean of the 5 x 5 values within NoiseDeviation * Threshold of the 3 x 3
// median; a border of 2. Error 49.
void AdaptiveDWMTM(TDataImage& Dst, TDataImage& Src, float NoiseDeviation, float Threshold);
// Sum of v^(Order+1) over sum of v^Order; 0 where a zero meets a negative
// order. Error 50.
void ContraHarmonic(int Order, int Window, TDataImage& Dst, TDataImage& Src);
// Sum of the sorted window without Trim values at each end, over the count
// plus 0.5; 0 when nothing is left. Error 51.
void AlphaTrimmed(int Trim, int Window, TDataImage& Dst, TDataImage& Src);

// Amount * p - (Amount - 1) * blur for every pixel, the blur being the
// Size x Size mean on the interior and the source on the border; clamped to
// [0, white level]. Size odd. Error 35.
void UnsharpMask(int Size, TDataImage& Dst, TDataImage& Src, float Amount);
