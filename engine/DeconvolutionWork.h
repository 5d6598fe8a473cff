#pragma once
// Shared steps of the three deconvolutions: work images with a complex plane,
// transforms that fault instead of returning false, spectrum products and the
// progress percentage.
#include <memory>

#include "engine/DataImage.h"

namespace DeconvolutionWork {

// A new floating-point grey image of W x H with a complex plane.
std::unique_ptr<TDataImage> NewImage(int W, int H);
// Faults unless Img has pixels and the sides W x H, both transformable.
void RequireSize(const TDataImage& Img, int W, int H);
// Checks Observed and PSF as RequireSize does, gives the PSF a complex plane
// and transforms it there (FFT).
void TransformPSF(const TDataImage& Observed, TDataImage& PSF);
// Real-input transforms between the pixels and the half spectrum.
void Forward(TDataImage& Img);
void Inverse(TDataImage& Img);
// Dst half spectrum := A's x P's (or x conj(P's) when Conjugate).
void Multiply(TDataImage& Dst, const TDataImage& A, const TDataImage& P, bool Conjugate);
// Round(i / n * 100), halves to even.
int Percent(int i, int n);
// Dst pixels := Src pixels.
void CopyPixels(TDataImage& Dst, const TDataImage& Src);

}  // namespace DeconvolutionWork
