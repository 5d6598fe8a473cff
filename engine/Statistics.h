#pragma once
// Statistics and a 256-bin histogram of a rectangle of a grey image.
#include <array>
#include <cstdint>

#include "engine/DataImage.h"

// A value held as a signed 64-bit count of ten-thousandths: every figure has
// exactly four decimals.
struct TFixed4 {
  std::int64_t Raw = 0;
  friend bool operator==(TFixed4, TFixed4) = default;
};

// Round(Value * 10000), halves to even. Throws EngineFault for a result beyond
// the 64-bit range (or NaN).
TFixed4 ToFixed4(long double Value);
inline long double FromFixed4(TFixed4 Value) { return (long double)Value.Raw / 10000; }

struct TRegionStatistics {
  std::int32_t Width = 0;   // of the whole image, not of the rectangle
  std::int32_t Height = 0;
  std::int32_t Count = 0;
  TFixed4 Max, Min, Sum, Mean, StdDev;
};

struct TRegionHistogram {
  std::array<std::int32_t, 256> Counts{};
  float Min = 0.0f;
  float Max = 0.0f;
  float Scale = 0.0f;  // 255 / Max; 255 / (Max - Min) where no value is above 0

  // The value of bin 0: 0, or Min where no value is above 0 (Max 0 under a
  // negative Min), whose bins then run from Min up to 0.
  float Origin() const { return Max == 0.0f && Min < 0.0f ? Min : 0.0f; }
  // The value bin I stands for: Origin + I / Scale. Where the bins run up to
  // 0 the top one is 0, not the residue of a Single scale.
  long double Level(int I) const {
    if (Scale == 0.0f) return 0.0L;
    if (I == 255 && Origin() < 0.0f) return Max;
    return Origin() + (long double)I / Scale;
  }
};

// Rectangles are inclusive (X1..X2, Y1..Y2) and kept inside the image by the
// caller. Each routine fills the record only on success and reports 0 or its
// error number.
void CalcRegionStatistics(int X1, int Y1, int X2, int Y2, const TDataImage& Image, TRegionStatistics& Stats);
void CalcRegionHistogram(int X1, int Y1, int X2, int Y2, const TDataImage& Image, TRegionHistogram& Histogram);
