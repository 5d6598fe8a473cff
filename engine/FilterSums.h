#pragma once
// The window sums of the mean filter and of the 3 x 3 kernels on AVX2.
//
// The plain algorithms sum in extended precision, one value after another.
// Wherever the values of a window's rows lie on a binary grid fine enough and
// span few enough bits that every partial sum is exact (in Singles, in
// doubles, or in doubles split into a coarse and a fine part), the order of
// the additions cannot matter, and the quotient rounds to the same Single as
// the extended one. Rows are tested as they come; a window that fails every
// test is done by the plain row routine the caller passes. Only for
// processors with AVX2 (Processor::AVX2()).
#include <cstdint>

#include "engine/FilterPaths.h"

namespace FilterSums {

// How a row's values lie, for choosing the sums (see FilterSums.cpp).
struct TRowRange {
  int Top = -100000;
  int Lsb = 100000;
};

using TMeanRow = void (*)(int N, const float* Src, float* Dst, int W, int y);
using TKernelRow = void (*)(const FilterPaths::TKernel3& K, const float* Src, float* Dst, int W, int y, float White);

// Output rows Y0 .. Y1 - 1 of the N x N mean (N odd, h = N / 2 <= Y0, Y1 <= H - h).
// Stream: write past the caches (for destinations far larger than them).
void MeanRowsAVX2(int N, const float* Src, float* Dst, int W, int Y0, int Y1, bool Stream, TMeanRow PlainRow);

// Output rows Y0 .. Y1 - 1 (1 <= Y0, Y1 <= H - 1) of a 3 x 3 kernel, clamped
// to [0, White]. Ranges: every row's range from KernelRowRangesAVX2, or null
// to judge the rows here.
void Convolve3x3RowsAVX2(const FilterPaths::TKernel3& K, const float* Src, float* Dst, int W, int Y0, int Y1,
                         float White, bool Stream, TKernelRow PlainRow, const TRowRange* Ranges = nullptr);

// The ranges of rows Y0 .. Y1 - 1 for the kernel K into Ranges[y] (W >= 1),
// and the largest value of those rows, searched from +0 as an image's maximum
// is (a NaN never wins): one pass both to judge the rows and to find the
// white level of a floating-point image.
float KernelRowRangesAVX2(const FilterPaths::TKernel3& K, const float* Src, int W, int Y0, int Y1, TRowRange* Ranges);

// Whether a destination plane of W x H Singles is worth writing past the
// caches: from 32 MB on, or from Bytes after StreamPlanesFrom(Bytes) (for
// tests; 0 gives the 32 MB back).
bool StreamPlane(int W, int H);
void StreamPlanesFrom(std::int64_t Bytes);

}  // namespace FilterSums
