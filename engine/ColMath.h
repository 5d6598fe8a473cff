#pragma once
// Arithmetic on the red, green and blue bytes of colour images.
#include <cstdint>

#include "engine/DataImage.h"

// Each channel: Round(c op Value), clamped to 0..255. Operators as for the
// grey PixelMath; a divide by 0 divides by 1. A Round beyond the 64-bit range
// (a huge constant) fails with the number. Error 19.
void ColPixelMath(std::uint8_t Operator, TDataImage& Dst, TDataImage& Src, float Value);

// Each channel of A and B through its operator (a divide constant of 0 counts
// as 1), then joined; a zero divisor byte counts as 1, so the quotient is the
// dividend. ClampByte(Round(result)). Images of different sizes are refused.
// Error 22.
void ColImageArithmetic(std::uint8_t OpA, std::uint8_t OpB, std::uint8_t Combine, float ConstA, float ConstB,
                        TDataImage& A, TDataImage& B, TDataImage& Dst);
