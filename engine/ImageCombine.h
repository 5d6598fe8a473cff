#pragma once
// Combining a series of grey images of one size pixel by pixel: sum, mean,
// median, minimum or maximum. Windows pass their images; files are read row
// block by row block (formats/FITSFrames.h) and combined with CombineRows.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/DataImage.h"

enum TCombineMethod : std::uint8_t { cmAdd = 0, cmMean = 1, cmMedian = 2, cmMinimum = 3, cmMaximum = 4 };

// A refusal of the series; what() is the text the program shows.
class ECombineError : public std::runtime_error {
 public:
  explicit ECombineError(const std::string& What) : std::runtime_error(What) {}
};

inline constexpr const char* msgCombineTooFew = "There must be two or more images selected.";
inline constexpr const char* msgCombineColour = "Corvelle Image cannot combine colour images.";
std::string CombineSizeMessage(const std::string& Name);

// Out[i] := the Method's value of Series[0][i] .. Series[N-1][i] for i in
// [0, Count): the sum in double precision in series order, the mean as that
// sum / N, the median as the value at N div 2 of the ascending order (the
// upper middle one for even N), the minimum seeded with 2.0e32 and the
// maximum seeded with 0. N must be at least 1.
void CombineRows(const float* const* Series, int N, std::int64_t Count, int Method, float* Out);

// Checks the series (two or more, grey, one size; Names name them in the size
// message) and makes Result a floating-point grey image of their combination.
// Throws ECombineError with the program's text; Result is left empty then.
void CombineImages(const std::vector<const TDataImage*>& Images, const std::vector<std::string>& Names, int Method,
                   TDataImage& Result);
