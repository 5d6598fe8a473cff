#include "engine/VanCittert.h"

#include <cstring>
#include <new>

#include "engine/Checked.h"
#include "engine/DeconvolutionWork.h"
#include "engine/Errors.h"
#include "engine/FFT.h"
#include "engine/Parallel.h"

using namespace DeconvolutionWork;

namespace {
float MaxFromZero(const float* p, std::int64_t n) {
  float m = 0.0f;
  for (std::int64_t i = 0; i < n; ++i) {
    if (m < p[i]) m = p[i];
  }
  return m;
}
}  // namespace

std::unique_ptr<TDataImage> VanCittertDeconvolve(int Iterations, const TDataImage& Observed, TDataImage& PSF) {
  try {
    const int w = Observed.Width, h = Observed.Height;
    TransformPSF(Observed, PSF);

    auto estimate = std::make_unique<TDataImage>();
    if (!estimate->Allocate(w, h, 3, false) || !estimate->Pixels) throw std::bad_alloc();
    CopyPixels(*estimate, Observed);
    auto blurred = NewImage(w, h);
    CopyPixels(*blurred, Observed);
    const std::int64_t n = Observed.PixelCount();
    const float* g = Observed.Pixels;
    float* e = estimate->Pixels;
    float* b = blurred->Pixels;
    const float gmax = MaxFromZero(g, n);
    const TSpectrumFactor p = HalfSpectrumFactor(PSF);

    for (int i = 1; i <= Iterations; ++i) {
      // P x B equals B x P bit for bit: the same exact products, summed once.
      if (!ConvolveRealFFT(*blurred, nullptr, p, false, nullptr, nullptr)) Checked::Fault("Fourier transform");
      // With nothing above 0 observed every estimate is clamped to 0, which
      // no scale changes.
      const long double scale = gmax == 0.0f ? 0.0L : Checked::Div(gmax, MaxFromZero(b, n));
      Parallel::For(
          n,
          [&](std::int64_t k0, std::int64_t k1) {
            for (std::int64_t k = k0; k < k1; ++k) {
              const float bk = Checked::ToSingle(b[k] * scale);
              long double v = (long double)g[k] - bk + e[k];
              if (v < 0) v = 0;
              if (v > gmax) v = gmax;
              e[k] = b[k] = float(v);
            }
          },
          1 << 15);
      ReportProgress(i, Percent(i, Iterations));
    }
    blurred.reset();
    ReportInternalError(0);
    return estimate;
  } catch (...) {
    ReportInternalError(errVanCittertDeconvolve);
    return nullptr;
  }
}
