#pragma once
// One colour image from three grey planes taken through red, green and blue
// filters: each plane scaled to 0..255 by its own maximum, divided by its
// relative intensity and shifted by whole pixels.
#include <cstdint>

#include "engine/DataImage.h"

// v below 0 gives 0, above 255 gives 255.
int ClampToByte(std::int64_t v);

// Writes every pixel of Output (colour, allocated by the caller at the planes'
// size). There is no guard: failures throw to the caller, a std::runtime_error
// with a message for planes that cannot be combined (sizes, or a plane without
// a positive pixel) and EngineFault for an arithmetic failure.
void CombineRGB(TDataImage& Red, TDataImage& Green, TDataImage& Blue, float RelR, float RelG, float RelB,
                std::int32_t RX, std::int32_t RY, std::int32_t GX, std::int32_t GY, std::int32_t BX, std::int32_t BY,
                TDataImage& Output);
