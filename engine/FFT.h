#pragma once
// Power-of-two sizing for the Fourier transform, and the rounding rule of its
// complex products. The transform itself is TDataImage::FFT / InverseFFT.
#include <cstdint>
#include <cstring>
#include <memory>

#include "engine/DataImage.h"

// True when FFT and InverseFFT can transform lines of N points: a power of
// two no longer than the largest work line.
bool TransformableSide(int N);

// The padded side for N: 64, 128, ... 8192; above 8192 or negative, N itself.
int NextPowerOfTwo(int N);

// A new floating-point grey image of sides NextPowerOfTwo(W) x NextPowerOfTwo(H)
// holding Image in its middle, the rest filled with the mean of Image's border
// pixels (corners counted twice). Null when Image is empty, its border sum
// overflows or memory is short; ShortOfMemory, when given, tells the last.
std::unique_ptr<TDataImage> PadToPowerOfTwo(const TDataImage& Image, int& OffsetX, int& OffsetY, int& PaddedWidth,
                                            int& PaddedHeight, bool* ShortOfMemory = nullptr);

// The transform fused with the work around it, for the iterations that run
// it many times; the results are those of the separate steps.
// Forward transform of Source (the image's own pixels when null) into the
// complex plane, every value then multiplied by Factor's value (conjugated
// when asked) as ComplexProduct / ConjugateProduct would.
bool ForwardFFTTimes(TDataImage& Img, const float* Source, const TComplex* Factor, bool Conjugate);
// Inverse transform whose real results go to Sink(Context, index, values,
// count) for count consecutive pixels from index, instead of into Pixels. A
// false from Sink stops the transform, which then returns false.
using TInverseSink = bool (*)(void* Context, std::size_t At, const float* Values, int Count);
bool InverseFFTInto(TDataImage& Img, TInverseSink Sink, void* Context);

// Entry k (0..27) of the twiddle tables: cos(pi / 2^k) and -sin(pi / 2^k) for
// k < 14 (forward), cos and +sin of pi / 2^(k-14) above.
float FFTCosine(int k);
float FFTSine(int k);

// The transform's block kernel. Generic, AVX2 and AVX512 give the bits of the
// one-line radix-2 transform; Fast (the default where the processor has it)
// works in Single with the nearest Singles of the exact factors, and its error
// against the exact transform is no larger than theirs. Returns false (and
// changes nothing) for a kernel the processor lacks.
enum class FFTKernel { Auto, Generic, AVX2, AVX512, Fast };
bool SelectFFTKernel(FFTKernel Kind);

namespace FFTRounding {

// True when a double d = R53(x) may round to a different Single than the
// extended R64(x) would: d lies exactly on a midpoint between two Singles, or
// in the Single subnormal range. Elsewhere float(d) == float(R64(x)).
inline bool NeedsExtended(double d) {
  std::uint64_t b;
  std::memcpy(&b, &d, 8);
  const std::uint64_t a = b & 0x7FFFFFFFFFFFFFFFull;
  return (b & 0x1FFFFFFFull) == 0x10000000ull || a - 1 < 0x380FFFFFFFFFFFFFull;
}

}  // namespace FFTRounding

// a * b - c * d and a * b + c * d formed in extended precision and rounded
// once to a Single, as every part of a complex product is. Products of two
// Singles are exact in double; only a rare midpoint needs the extended path.
inline float ProductDifference(float a, float b, float c, float d) {
  const double s = double(a) * b - double(c) * d;
  if (!FFTRounding::NeedsExtended(s)) return float(s);
  return float((long double)a * b - (long double)c * d);
}
inline float ProductSum(float a, float b, float c, float d) {
  const double s = double(a) * b + double(c) * d;
  if (!FFTRounding::NeedsExtended(s)) return float(s);
  return float((long double)a * b + (long double)c * d);
}

// The complex products of the frequency-domain work: x * y, and x * conj(y).
inline TComplex ComplexProduct(const TComplex& x, const TComplex& y) {
  return TComplex{ProductDifference(x.Re, y.Re, x.Im, y.Im), ProductSum(x.Re, y.Im, y.Re, x.Im)};
}
inline TComplex ConjugateProduct(const TComplex& x, const TComplex& y) {
  return TComplex{ProductSum(x.Re, y.Re, x.Im, y.Im), ProductDifference(x.Im, y.Re, x.Re, y.Im)};
}
