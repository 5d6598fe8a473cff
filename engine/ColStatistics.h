#pragma once
// Per-channel statistics and histograms of a rectangle of a colour image.
#include <array>
#include <cstdint>

#include "engine/DataImage.h"

struct TColRegionStatistics {
  std::int32_t Width = 0;  // of the whole image
  std::int32_t Height = 0;
  std::int32_t Count = 0;
  TRGBPixel Max;  // per channel on its own
  TRGBPixel Min;
  // 64-bit: a bright picture above about 8.4 million pixels overflows 32 bits.
  std::int64_t SumRed = 0, SumGreen = 0, SumBlue = 0;
  long double MeanRed = 0, MeanGreen = 0, MeanBlue = 0;
  long double StdDevRed = 0, StdDevGreen = 0, StdDevBlue = 0;
};

struct TColRegionHistogram {
  std::array<std::int32_t, 256> Red{};
  std::array<std::int32_t, 256> Green{};
  std::array<std::int32_t, 256> Blue{};
  std::array<std::int32_t, 256> Intensity{};  // bin Round((B + G + R) / 3)
};

void ColCalcRegionStatistics(int X1, int Y1, int X2, int Y2, const TDataImage& Image, TColRegionStatistics& Stats);
void ColCalcRegionHistogram(int X1, int Y1, int X2, int Y2, const TDataImage& Image, TColRegionHistogram& Histogram);
