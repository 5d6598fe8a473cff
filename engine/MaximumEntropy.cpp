#include "engine/MaximumEntropy.h"

#include <cmath>
#include <new>

#include "engine/Checked.h"
#include "engine/DeconvolutionWork.h"
#include "engine/Errors.h"
#include "engine/FFT.h"
#include "engine/Parallel.h"

using namespace DeconvolutionWork;

namespace {
constexpr std::int64_t Chunk = 1 << 14;
}

std::unique_ptr<TDataImage> MaximumEntropyDeconvolve(int Iterations, TDataImage& Observed, TDataImage& PSF) {
  try {
    const int w = Observed.Width, h = Observed.Height;
    RequireSize(Observed, w, h);
    RequireSize(PSF, w, h);
    const std::int64_t n = Observed.PixelCount();
    float* g = Observed.Pixels;
    // A zero pixel counts as 1, the least a count can be, or as the frame's
    // smallest positive pixel where that is less, so that a frame scaled to
    // 0..1 does not see its empty borders as its brightest part. With nothing
    // above 0 there is no floor: the zeros stay, and so does the result.
    float floor = 1.0f;
    bool positive = false;
    for (std::int64_t k = 0; k < n; ++k) {
      if (g[k] > 0.0f) {
        positive = true;
        if (g[k] < floor) floor = g[k];
      }
    }
    if (positive) {
      for (std::int64_t k = 0; k < n; ++k) {
        if (g[k] == 0.0f) g[k] = floor;
      }
    }

    // The PSF and its copy K, both divided by the PSF's Single sum.
    float* p = PSF.Pixels;
    float sum = 0.0f;
    for (std::int64_t k = 0; k < n; ++k) sum = sum + p[k];
    if (!std::isfinite(sum)) Checked::Fault("overflow");
    if (sum == 0.0f) Checked::Fault("division by zero");
    auto kernel = NewImage(w, h);
    float* kp = kernel->Pixels;
    for (std::int64_t k = 0; k < n; ++k) {
      const float v = p[k] / sum;
      if (!std::isfinite(v)) Checked::Fault("overflow");
      kp[k] = v;
      p[k] = v;
    }
    if (!PSF.AllocateComplex(w, h)) throw std::bad_alloc();
    if (!PSF.FFT()) Checked::Fault("Fourier transform");
    Forward(*kernel);
    const int half = HalfSpectrumWidth(w);
    for (int y = 0; y < h; ++y) {
      TComplex* row = kernel->ComplexPlane + std::size_t(y) * w;
      for (int x = 0; x < half; ++x) row[x].Im = -row[x].Im;
    }

    auto model = NewImage(w, h);      // A
    auto lagrange = NewImage(w, h);   // L, zero in both planes
    auto reblurred = NewImage(w, h);  // C
    float* a = model->Pixels;
    float* l = lagrange->Pixels;
    float* c = reblurred->Pixels;
    float s = 0.0f;
    double sumG = 0;  // g no longer changes
    for (std::int64_t k = 0; k < n; ++k) sumG += g[k];

    for (int i = 1; i <= Iterations; ++i) {
      if (!positive) {
        // Nothing to restore: the result is 0, and the correction of L, with
        // no data to balance it, would only grow until exp overflows.
        ReportProgress(i, Percent(i, Iterations));
        continue;
      }
      // A = exp(L correlated with the PSF) / Z. L goes through the round trip
      // as well, and keeps the values it brings back.
      Forward(*lagrange);
      Multiply(*model, *lagrange, *kernel, false);
      Inverse(*model);
      Inverse(*lagrange);
      Parallel::For(
          n,
          [&](std::int64_t k0, std::int64_t k1) {
            for (std::int64_t k = k0; k < k1; ++k) a[k] = Checked::ToSingle(Checked::Exp(a[k]));
          },
          Chunk);
      float z = 0.0f;
      for (std::int64_t k = 0; k < n; ++k) z = z + a[k];
      if (!std::isfinite(z)) Checked::Fault("overflow");
      if (z == 0.0f) Checked::Fault("division by zero");
      Parallel::For(
          n,
          [&](std::int64_t k0, std::int64_t k1) {
            for (std::int64_t k = k0; k < k1; ++k) a[k] = a[k] / z;
          },
          Chunk);

      // C = A blurred by the PSF; A comes back through its own round trip.
      Forward(*model);
      Multiply(*reblurred, *model, PSF, false);
      Inverse(*reblurred);
      Inverse(*model);

      double sumC = 0;
      for (std::int64_t k = 0; k < n; ++k) sumC += c[k];
      s = Checked::ToSingle(Checked::Div(sumG, sumC));

      Parallel::For(
          n,
          [&](std::int64_t k0, std::int64_t k1) {
            for (std::int64_t k = k0; k < k1; ++k) {
              const long double lg = g[k] > 0.0f ? Checked::Ln(Checked::Div(g[k], s)) : 0.0L;
              const long double lc = c[k] > 0.0f ? Checked::Ln(c[k]) : 0.0L;
              l[k] = Checked::ToSingle((long double)l[k] + lg - lc);
            }
          },
          Chunk);
      ReportProgress(i, Percent(i, Iterations));
    }

    for (std::int64_t k = 0; k < n; ++k) {
      const float v = a[k] * s;
      if (!std::isfinite(v)) Checked::Fault("overflow");
      a[k] = v < 0.0f ? 0.0f : v;
    }
    kernel.reset();
    lagrange.reset();
    reblurred.reset();
    ReportInternalError(0);
    return model;
  } catch (...) {
    ReportInternalError(errMaximumEntropyDeconvolve);
    return nullptr;
  }
}
