#pragma once
// Van Cittert deconvolution: the estimate is corrected by the residual between
// the observed image and the blurred estimate rescaled to the observed maximum,
// and kept within 0 and that maximum. Each round is reported through
// ReportProgress.
#include <memory>

#include "engine/DataImage.h"

// The estimate after Iterations rounds, or null after a reported failure
// (also when a blurred estimate has no positive pixel). PSF gets its
// transform in its complex plane.
std::unique_ptr<TDataImage> VanCittertDeconvolve(int Iterations, const TDataImage& Observed, TDataImage& PSF);
