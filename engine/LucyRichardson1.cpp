#include "engine/LucyRichardson1.h"

#include <emmintrin.h>

#include <cmath>
#include <cstdint>
#include <new>

#include "engine/Checked.h"
#include "engine/DeconvolutionWork.h"
#include "engine/Errors.h"
#include "engine/FFT.h"

using namespace DeconvolutionWork;

namespace {

struct TRound {
  const float* Observed;
  float* Estimate;
  float* Work;
};

inline int NonFinite4(__m128 v) {
  const __m128i e = _mm_set1_epi32(0x7F800000);
  return _mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(_mm_castps_si128(v), e), e));
}

// Work := Observed / blurred, with an exact zero replaced by 1.
bool Ratio(void* Context, std::size_t At, const float* Blurred, int Count) {
  auto& r = *static_cast<TRound*>(Context);
  const float* g = r.Observed + At;
  float* out = r.Work + At;
  const __m128 one = _mm_set1_ps(1.0f);
  int bad = 0, k = 0;
  for (; k + 4 <= Count; k += 4) {
    const __m128 b = _mm_loadu_ps(Blurred + k);
    const __m128 zero = _mm_cmpeq_ps(b, _mm_setzero_ps());
    const __m128 d = _mm_or_ps(_mm_and_ps(zero, one), _mm_andnot_ps(zero, b));
    const __m128 q = _mm_div_ps(_mm_loadu_ps(g + k), d);
    bad |= NonFinite4(q);
    _mm_storeu_ps(out + k, q);
  }
  for (; k < Count; ++k) {
    const float b = Blurred[k] == 0.0f ? 1.0f : Blurred[k];
    out[k] = g[k] / b;
    bad |= !std::isfinite(out[k]);
  }
  return bad == 0;
}

// Estimate := Estimate x correlated ratio.
bool Apply(void* Context, std::size_t At, const float* Correction, int Count) {
  auto& r = *static_cast<TRound*>(Context);
  float* e = r.Estimate + At;
  int bad = 0, k = 0;
  for (; k + 4 <= Count; k += 4) {
    const __m128 v = _mm_mul_ps(_mm_loadu_ps(e + k), _mm_loadu_ps(Correction + k));
    bad |= NonFinite4(v);
    _mm_storeu_ps(e + k, v);
  }
  for (; k < Count; ++k) {
    e[k] = e[k] * Correction[k];
    bad |= !std::isfinite(e[k]);
  }
  return bad == 0;
}

}  // namespace

std::unique_ptr<TDataImage> LucyRichardsonDeconvolve(int Iterations, const TDataImage& Observed, TDataImage& PSF) {
  try {
    const int w = Observed.Width, h = Observed.Height;
    TransformPSF(Observed, PSF);

    auto estimate = NewImage(w, h);
    CopyPixels(*estimate, Observed);
    auto work = NewImage(w, h);
    TRound round{Observed.Pixels, estimate->Pixels, work->Pixels};
    const TSpectrumFactor p = HalfSpectrumFactor(PSF);

    for (int i = 1; i <= Iterations; ++i) {
      // The estimate blurred by the PSF, and Observed over it (an exact zero
      // divides by 1) to Work.
      if (!ConvolveRealFFT(*work, estimate->Pixels, p, false, Ratio, &round)) Checked::Fault("overflow");
      // The ratio correlated with the PSF, applied to the estimate.
      if (!ConvolveRealFFT(*work, nullptr, p, true, Apply, &round)) Checked::Fault("overflow");
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
