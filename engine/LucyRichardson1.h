#pragma once
// Lucy-Richardson deconvolution by Fourier transforms, on an image padded to
// power-of-two sides with a point-spread function of the same size centred on
// pixel (0, 0). Each round is reported through ReportProgress.
#include <memory>

#include "engine/DataImage.h"

// The estimate after Iterations rounds (a copy of Observed for 0), or null
// after a reported failure. PSF gets its transform (FFT) in its complex plane.
std::unique_ptr<TDataImage> LucyRichardsonDeconvolve(int Iterations, const TDataImage& Observed, TDataImage& PSF);
