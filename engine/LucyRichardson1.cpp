#include "engine/LucyRichardson1.h"

#include <immintrin.h>

#include <cmath>
#include <cstdint>
#include <cstring>
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
  std::size_t Ahead;  // eight rows: the transform hands over a column block row by row
  std::size_t Count;
};

// Sixteen values at a time where the transform hands over full blocks; the
// same operations per value as the plain loops below.
__attribute__((target("avx512f"))) bool Ratio16(const float* Observed, const float* Blurred, float* Out) {
  const __m512 b = _mm512_loadu_ps(Blurred);
  const __m512 d =
      _mm512_mask_blend_ps(_mm512_cmp_ps_mask(b, _mm512_setzero_ps(), _CMP_EQ_OQ), b, _mm512_set1_ps(1.0f));
  const __m512 q = _mm512_div_ps(_mm512_loadu_ps(Observed), d);
  _mm512_storeu_ps(Out, q);
  const __m512i e = _mm512_set1_epi32(0x7F800000);
  return _mm512_cmpeq_epi32_mask(_mm512_and_si512(_mm512_castps_si512(q), e), e) == 0;
}

__attribute__((target("avx512f"))) bool Apply16(float* Estimate, const float* Correction) {
  const __m512 v = _mm512_mul_ps(_mm512_loadu_ps(Estimate), _mm512_loadu_ps(Correction));
  _mm512_storeu_ps(Estimate, v);
  const __m512i e = _mm512_set1_epi32(0x7F800000);
  return _mm512_cmpeq_epi32_mask(_mm512_and_si512(_mm512_castps_si512(v), e), e) == 0;
}

bool HasAVX512() {
  static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("avx512f"));
  return has;
}

// Work := Observed / blurred, with an exact zero replaced by 1.
bool Ratio(void* Context, std::size_t At, const float* Blurred, int Count) {
  auto& r = *static_cast<TRound*>(Context);
  if (At + r.Ahead < r.Count) {
    __builtin_prefetch(r.Observed + At + r.Ahead);
    __builtin_prefetch(r.Work + At + r.Ahead, 1);
  }
  if (Count == 16 && HasAVX512()) return Ratio16(r.Observed + At, Blurred, r.Work + At);
  bool finite = true;
  for (int k = 0; k < Count; ++k) {
    const float b = Blurred[k] == 0.0f ? 1.0f : Blurred[k];
    const float q = r.Observed[At + k] / b;
    finite &= std::isfinite(q);
    r.Work[At + k] = q;
  }
  return finite;
}

// Estimate := Estimate x correlated ratio.
bool Apply(void* Context, std::size_t At, const float* Correction, int Count) {
  auto& r = *static_cast<TRound*>(Context);
  if (At + r.Ahead < r.Count) __builtin_prefetch(r.Estimate + At + r.Ahead, 1);
  if (Count == 16 && HasAVX512()) return Apply16(r.Estimate + At, Correction);
  bool finite = true;
  for (int k = 0; k < Count; ++k) {
    const float v = r.Estimate[At + k] * Correction[k];
    finite &= std::isfinite(v);
    r.Estimate[At + k] = v;
  }
  return finite;
}

}  // namespace

std::unique_ptr<TDataImage> LucyRichardsonDeconvolve(int Iterations, const TDataImage& Observed, TDataImage& PSF) {
  try {
    const int w = Observed.Width, h = Observed.Height;
    TransformPSF(Observed, PSF);

    auto estimate = NewImage(w, h);
    CopyPixels(*estimate, Observed);
    auto work = NewImage(w, h);
    TRound round{Observed.Pixels, estimate->Pixels, work->Pixels, std::size_t(w) * 8, std::size_t(w) * h};
    const TComplex* p = PSF.ComplexPlane;

    for (int i = 1; i <= Iterations; ++i) {
      // Work = Estimate, transformed and multiplied by the PSF's spectrum;
      // the inverse gives the blurred estimate, and Observed over it (an
      // exact zero divides by 1) goes to Work.
      if (!ForwardFFTTimes(*work, estimate->Pixels, p, false)) Checked::Fault("Fourier transform");
      if (!InverseFFTInto(*work, Ratio, &round)) Checked::Fault("overflow");
      // The ratio correlated with the PSF, applied to the estimate.
      if (!ForwardFFTTimes(*work, nullptr, p, true)) Checked::Fault("Fourier transform");
      if (!InverseFFTInto(*work, Apply, &round)) Checked::Fault("overflow");
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
