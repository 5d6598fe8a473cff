#include "engine/LucyRichardson1.h"

#include <cmath>
#include <new>

#include "engine/Checked.h"
#include "engine/DeconvolutionWork.h"
#include "engine/Errors.h"
#include "engine/Parallel.h"

using namespace DeconvolutionWork;

std::unique_ptr<TDataImage> LucyRichardsonDeconvolve(int Iterations, const TDataImage& Observed, TDataImage& PSF) {
  try {
    const int w = Observed.Width, h = Observed.Height;
    RequireSize(Observed, w, h);
    RequireSize(PSF, w, h);
    if (!PSF.AllocateComplex(w, h)) throw std::bad_alloc();
    Forward(PSF);

    auto estimate = NewImage(w, h);
    CopyPixels(*estimate, Observed);
    auto work = NewImage(w, h);
    const std::int64_t n = Observed.PixelCount();
    const float* g = Observed.Pixels;
    float* e = estimate->Pixels;
    float* r = work->Pixels;

    for (int i = 1; i <= Iterations; ++i) {
      // The blurred estimate.
      CopyPixels(*work, *estimate);
      Forward(*work);
      Multiply(*work, *work, PSF, false);
      Inverse(*work);
      // Observed over blurred; an exact zero divides by 1.
      Parallel::For(
          n,
          [&](std::int64_t b, std::int64_t end) {
            for (std::int64_t k = b; k < end; ++k) {
              const float blur = r[k] == 0.0f ? 1.0f : r[k];
              const float q = g[k] / blur;
              if (!std::isfinite(q)) Checked::Fault("overflow");
              r[k] = q;
            }
          },
          1 << 15);
      // Correlated with the PSF, then applied to the estimate.
      Forward(*work);
      Multiply(*work, *work, PSF, true);
      Inverse(*work);
      Parallel::For(
          n,
          [&](std::int64_t b, std::int64_t end) {
            for (std::int64_t k = b; k < end; ++k) {
              const float v = e[k] * r[k];
              if (!std::isfinite(v)) Checked::Fault("overflow");
              e[k] = v;
            }
          },
          1 << 15);
      ReportProgress(i, Percent(i, Iterations));
    }
    work.reset();
    ReportInternalError(0);
    return estimate;
  } catch (...) {
    ReportInternalError(errLucyRichardsonDeconvolve);
    return nullptr;
  }
}
