#include "engine/DeconvolutionWork.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "engine/Checked.h"
#include "engine/FFT.h"
#include "engine/Parallel.h"

namespace DeconvolutionWork {

std::unique_ptr<TDataImage> NewImage(int W, int H) {
  auto img = std::make_unique<TDataImage>();
  if (!img->Allocate(W, H, 3, false) || !img->Pixels || !img->AllocateComplex(W, H)) throw std::bad_alloc();
  return img;
}

void RequireSize(const TDataImage& Img, int W, int H) {
  if (!Img.Pixels || Img.Width != W || Img.Height != H) Checked::Fault("image size");
  // Refused before anything is written, rather than at the first transform.
  if (!TransformableSide(W) || !TransformableSide(H)) Checked::Fault("side not a power of two");
}

void TransformPSF(const TDataImage& Observed, TDataImage& PSF) {
  const int w = Observed.Width, h = Observed.Height;
  RequireSize(Observed, w, h);
  RequireSize(PSF, w, h);
  if (!PSF.AllocateComplex(w, h)) throw std::bad_alloc();
  if (!PSF.FFT()) Checked::Fault("Fourier transform");
}

void Forward(TDataImage& Img) {
  if (!ForwardRealFFT(Img, nullptr)) Checked::Fault("Fourier transform");
}

void Inverse(TDataImage& Img) {
  if (!InverseRealFFT(Img, nullptr, nullptr)) Checked::Fault("Fourier transform");
}

void Multiply(TDataImage& Dst, const TDataImage& A, const TDataImage& P, bool Conjugate) {
  const std::int64_t n = Dst.PixelCount();
  if (A.Width != Dst.Width || P.Width != Dst.Width || A.PixelCount() != n || P.PixelCount() != n || !Dst.ComplexPlane || !A.ComplexPlane || !P.ComplexPlane ||
      Dst.ComplexCount() < n || A.ComplexCount() < n || P.ComplexCount() < n) {
    Checked::Fault("spectrum size");
  }
  const int w = Dst.Width, s = HalfSpectrumWidth(w);
  Parallel::For(
      Dst.Height,
      [&](std::int64_t y0, std::int64_t y1) {
        for (std::int64_t y = y0; y < y1; ++y) {
          const std::size_t at = std::size_t(y) * w;
          MultiplySpectra(Dst.ComplexPlane + at, A.ComplexPlane + at, P.ComplexPlane + at, std::size_t(s), Conjugate);
        }
      },
      std::max<std::int64_t>(1, 32768 / w));
}

int Percent(int i, int n) { return int(Checked::Round(Checked::Div(i, n) * 100)); }

void CopyPixels(TDataImage& Dst, const TDataImage& Src) {
  RequireSize(Dst, Src.Width, Src.Height);
  std::memcpy(Dst.Pixels, Src.Pixels, std::size_t(Src.PixelCount()) * sizeof(float));
}

}  // namespace DeconvolutionWork
