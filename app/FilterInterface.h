#pragma once
// The 21 fixed filters of the Filter menu.
#include <cstdint>

class TDataImage;

enum class TStandardFilterKind { Kernel, Sobel, MinMax, Median, Mean };

struct TStandardFilter {
  const char* Command;  // the action's name
  const char* Caption;  // the result window's caption
  TStandardFilterKind Kind;
  std::uint8_t Code;    // kernel code, min/max mode
  std::uint8_t Size;    // window side of the rank and mean filters
};

constexpr int StandardFilterCount = 21;
extern const TStandardFilter StandardFilters[StandardFilterCount];

// Runs the filter's grey or colour routine from Src into Dst.
void RunStandardFilter(int Index, TDataImage& Dst, TDataImage& Src);
// Runs fixed filter Index (0..20) on the active image window into a new window.
void ApplyStandardFilter(int Index);
