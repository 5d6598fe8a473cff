#pragma once
// The Fourier transform's sizing, its real-input form and the rounding rule of
// its complex products. The 2-D transform is TDataImage::FFT / InverseFFT, on
// FFTW's single-precision library; TDataImage::FFT1D is the plain radix-2
// transform of one line.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/DataImage.h"

// True when FFT and InverseFFT can transform lines of N points: a power of
// two up to 16384.
bool TransformableSide(int N);

// The padded side for N: 64, 128, ... 8192; above 8192 or negative, N itself.
int NextPowerOfTwo(int N);

// A new floating-point grey image of sides NextPowerOfTwo(W) x NextPowerOfTwo(H)
// holding Image in its middle, the rest filled with the mean of Image's border
// pixels (corners counted twice). Null when Image is empty, its border sum
// overflows or memory is short; ShortOfMemory, when given, tells the last.
std::unique_ptr<TDataImage> PadToPowerOfTwo(const TDataImage& Image, int& OffsetX, int& OffsetY, int& PaddedWidth,
                                            int& PaddedHeight, bool* ShortOfMemory = nullptr);

// Real-input transforms for work that stays in the frequency domain. A real
// image's spectrum is conjugate symmetric, so these keep only its half
// spectrum: columns 0 .. W/2 of the complex plane, in its usual layout (index
// y * W + x); value (x, y) of the other columns is the conjugate of value
// (W - x, (H - y) mod H). Sides and refusals are those of FFT.
int HalfSpectrumWidth(int W);
// Forward transform of Source (the image's own pixels when null) into the
// half spectrum. False, as from FFT, when a value goes beyond the Single range.
bool ForwardRealFFT(TDataImage& Img, const float* Source);
// The real part of the inverse transform of the spectrum whose half the
// complex plane holds, scaled as InverseFFT scales. Each row of W results
// goes to Sink(Context, index of its first pixel, values, W), from any of the
// pool's threads, or into Pixels when Sink is null. A false from Sink stops
// the transform, which then returns false. The complex plane is left undefined.
using TInverseSink = bool (*)(void* Context, std::size_t At, const float* Values, int Count);
bool InverseRealFFT(TDataImage& Img, TInverseSink Sink, void* Context);

// The half spectrum of a real image held in the order in which the column
// passes read it, for the repeated products of the deconvolutions.
struct TSpectrumFactor {
  int Width = 0, Height = 0;
  std::vector<TComplex> Values;
};
// From the half spectrum in Img's complex plane; empty for an image FFT refuses.
TSpectrumFactor HalfSpectrumFactor(const TDataImage& Img);
// ForwardRealFFT of Source (or the pixels), MultiplySpectra by Factor
// (conjugated when asked), then InverseRealFFT to Sink (or the pixels), with
// the same bits as those steps: the convolution (correlation) of the pixels
// with the image whose half spectrum Factor holds. False when Factor is of
// another size.
bool ConvolveRealFFT(TDataImage& Img, const float* Source, const TSpectrumFactor& Factor, bool Conjugate,
                     TInverseSink Sink, void* Context);

// What computes the transform, for reports: the library with its vector
// extensions and the way it is planned.
std::string TransformDescription();

// Dst[k] := A[k] x F[k] (x conj(F[k]) when Conjugate) for k < Count, each part
// rounded as ComplexProduct / ConjugateProduct round it; Dst may be A. False
// when a result lies beyond the Single range.
bool MultiplySpectra(TComplex* Dst, const TComplex* A, const TComplex* F, std::size_t Count, bool Conjugate);

// Entry k (0..27) of the twiddle tables of FFT1D: cos(pi / 2^k) and
// -sin(pi / 2^k) for k < 14 (forward), cos and +sin of pi / 2^(k-14) above.
float FFTCosine(int k);
float FFTSine(int k);

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
