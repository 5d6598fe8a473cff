#pragma once
// The neighbourhood filters on bare planes, each as the plain algorithm and,
// where it pays, a fast path that gives the same result bit for bit. The
// processing units choose; tests compare the two.
//
// Every routine writes only the interior (x = h .. W-1-h, y = h .. H-1-h) of
// Dst, a plane of the same W x H as Src; the border keeps what Dst held.
#include <cstdint>
#include <vector>

namespace FilterPaths {

// A 3 x 3 integer kernel, rows top to bottom, with its divisor.
struct TKernel3 {
  int W[9];
  int Divisor;
};

// The fixed kernels, codes 1..12 at [code - 1].
inline constexpr TKernel3 kFixedKernels[12] = {
    {{0, -1, 0, -1, 5, -1, 0, -1, 0}, 1},      // 1 sharpen little
    {{-1, -1, -1, -1, 9, -1, -1, -1, -1}, 1},  // 2 sharpen more
    {{1, 2, 1, 1, 6, 1, 1, 2, 1}, 15},         // 3 blur little (the weights sum to 16)
    {{9, 9, 9, 9, 9, 9, 9, 9, 9}, 81},         // 4 blur more
    {{-1, -1, -1, -1, 8, -1, -1, -1, -1}, 1},  // 5 point detector
    {{-1, -1, -1, 2, 2, 2, -1, -1, -1}, 1},    // 6 horizontal edges
    {{-1, 2, -1, -1, 2, -1, -1, 2, -1}, 1},    // 7 vertical edges
    {{0, -1, 0, -1, 4, -1, 0, -1, 0}, 1},      // 8 Laplacian
    {{-1, -2, -1, 0, 0, 0, 1, 2, 1}, 1},       // 9 north
    {{1, 2, 1, 0, 0, 0, -1, -2, -1}, 1},       // 10 south
    {{1, 0, -1, 2, 0, -2, 1, 0, -1}, 1},       // 11 east
    {{-1, 0, 1, -2, 0, 2, -1, 0, 1}, 1},       // 12 west
};

// ---- grey (Single planes), sums in extended precision ----

// s = sum of weight * pixel (rows outer, columns inner); s / divisor clamped to [0, White].
void Convolve3x3Plain(const TKernel3& K, const float* Src, float* Dst, int W, int H, float White);
// Float weights Weights[r][c] with a Single divisor, otherwise as above.
void ConvolveFloat3x3Plain(const float (&Weights)[3][3], float Divisor, const float* Src, float* Dst, int W, int H,
                           float White);
void SobelPlain(const float* Src, float* Dst, int W, int H, float White);
void MeanPlain(int N, const float* Src, float* Dst, int W, int H);
void MedianPlain(int N, const float* Src, float* Dst, int W, int H);
// Mode 0: minimum seeded with 2.0e32; otherwise maximum seeded with 0.
void MinMaxPlain(int Mode, int N, const float* Src, float* Dst, int W, int H);

// Fast paths. Each returns false, writing nothing, when the data are outside
// the range where it is exact (for the sums: values on a binary grid fine and
// small enough that double sums are exact; for the rank filters: no NaN and no
// negative zero, so that the order statistic is one bit pattern).
bool Convolve3x3Fast(const TKernel3& K, const float* Src, float* Dst, int W, int H, float White);
// Convolve3x3Fast with the white level of a floating-point image: the largest
// value of the source, searched from +0 (a NaN never wins), into White. It is
// found in the pass that judges the rows for the sums, so that the source is
// read twice rather than three times. False, writing nothing, where the
// processor lacks AVX2 or the plane is narrower than 10 or lower than 3 pixels.
bool Convolve3x3FastAtMax(const TKernel3& K, const float* Src, float* Dst, int W, int H, float& White);
bool SobelFast(const float* Src, float* Dst, int W, int H, float White);
bool MeanFast(int N, const float* Src, float* Dst, int W, int H);
bool MedianFast(int N, const float* Src, float* Dst, int W, int H);
bool MinMaxFast(int Mode, int N, const float* Src, float* Dst, int W, int H);

// ---- bytes (one colour channel), integer arithmetic ----

// Integer sum / divisor truncated toward zero, clamped to [0, 255].
void Convolve3x3Bytes(const TKernel3& K, const std::uint8_t* Src, std::uint8_t* Dst, int W, int H);
// Round(sqrt(gx^2 + gy^2)) clamped to 255.
void SobelBytes(const std::uint8_t* Src, std::uint8_t* Dst, int W, int H);
// Integer sum / N^2 truncated; plain gathers every window, fast slides sums.
void MeanBytesPlain(int N, const std::uint8_t* Src, std::uint8_t* Dst, int W, int H);
void MeanBytesFast(int N, const std::uint8_t* Src, std::uint8_t* Dst, int W, int H);
void MedianBytesPlain(int N, const std::uint8_t* Src, std::uint8_t* Dst, int W, int H);
void MedianBytesFast(int N, const std::uint8_t* Src, std::uint8_t* Dst, int W, int H);
void MinMaxBytesPlain(int Mode, int N, const std::uint8_t* Src, std::uint8_t* Dst, int W, int H);
void MinMaxBytesFast(int Mode, int N, const std::uint8_t* Src, std::uint8_t* Dst, int W, int H);
}  // namespace FilterPaths
