#include "app/FilterInterface.h"

const TStandardFilter StandardFilters[StandardFilterCount] = {
    {"FilterSharpenLittle", "Sharpen Little"},
    {"FilterSharpenMore", "Sharpen More"},
    {"FilterBlurLittle", "Blur Little"},
    {"FilterBlurMore", "Blur More"},
    {"FilterPointDetector", "Point Detector"},
    {"FilterVertEdge", "Vertical Edge Detector"},
    {"FilterHorzEdge", "Horizontal Edge Detector"},
    {"FilterLaplacian", "Laplacian"},
    {"FilterPrewittNorth", "Prewitt North"},
    {"FilterPrewittSouth", "Prewitt South"},
    {"FilterPrewittEast", "Prewitt East"},
    {"FilterPrewittWest", "Prewitt West"},
    {"FilterSobel", "Sobel"},
    {"FilterMinimum", "Minimum Filter"},
    {"FilterMaximum", "Maximum Filter"},
    {"FilterMedian3", "Median 3 x 3"},
    {"FilterMedian5", "Median 5 x 5"},
    {"FilterMedian7", "Median 7 x 7"},
    {"FilterMean3", "Mean 3 x 3"},
    {"FilterMean5", "Mean 5 x 5"},
    {"FilterMean7", "Mean 7 x 7"},
};

void ApplyStandardFilter(int) {}
