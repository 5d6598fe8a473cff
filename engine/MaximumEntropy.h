#pragma once
// Maximum-entropy deconvolution: the restored image is the normalised
// exponential of a field of Lagrange multipliers correlated with the
// point-spread function, corrected each round by comparing the re-blurred
// model with the observed image in logarithms. Each round is reported through
// ReportProgress.
#include <memory>

#include "engine/DataImage.h"

// The restored image after Iterations rounds, or null after a reported
// failure. Observed's zero pixels become 1.0, or its smallest positive pixel
// where that is less (none with nothing above 0), and PSF is divided by its
// sum (both in place), and PSF gets its transform in its complex plane.
std::unique_ptr<TDataImage> MaximumEntropyDeconvolve(int Iterations, TDataImage& Observed, TDataImage& PSF);
