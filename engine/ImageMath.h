#pragma once
// Arithmetic on grey pixel values: one operator with a constant on every
// pixel, or two images joined pixel by pixel.
#include <cstdint>

#include "engine/DataImage.h"

// Operator: 0 add, 1 subtract, 2 multiply, 3 divide (a constant of 0 divides
// by 1), 4 log10(p + 1), 5 square root. Results are clamped to [0, TypeMax of
// Src]. Error 41; a destination of another size is refused with it.
void PixelMath(std::uint8_t Operator, TDataImage& Dst, TDataImage& Src, float Value);

// Each side passes through its operator (0..3, anything else leaves it as it
// is) and constant, then Combine joins them; a zero divisor gives 0. Results
// are clamped to [0, TypeMax of Dst]. A divide by a zero constant is refused
// with a warning box and error 42, as are images of different sizes.
void ImageArithmetic(std::uint8_t OpA, std::uint8_t OpB, std::uint8_t Combine, float ConstA, float ConstB,
                     TDataImage& A, TDataImage& B, TDataImage& Dst);

// One side of the image arithmetic: v Op k (0 add, 1 subtract, 2 multiply,
// 3 divide) held as a Single; another Op leaves v. Throws EngineFault where
// the arithmetic fails.
float ArithmeticSide(std::uint8_t Op, float v, float k);
