#include "engine/DeconvolutionWork.h"

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
  Forward(PSF);
}

void Forward(TDataImage& Img) {
  if (!Img.FFT()) Checked::Fault("Fourier transform");
}

void Inverse(TDataImage& Img) {
  if (!Img.InverseFFT()) Checked::Fault("Fourier transform");
}

void Multiply(TDataImage& Dst, const TDataImage& A, const TDataImage& P, bool Conjugate) {
  const std::int64_t n = Dst.PixelCount();
  if (A.PixelCount() != n || P.PixelCount() != n || !Dst.ComplexPlane || !A.ComplexPlane || !P.ComplexPlane ||
      Dst.ComplexCount() < n || A.ComplexCount() < n || P.ComplexCount() < n) {
    Checked::Fault("spectrum size");
  }
  TComplex* d = Dst.ComplexPlane;
  const TComplex* a = A.ComplexPlane;
  const TComplex* p = P.ComplexPlane;
  Parallel::For(
      n,
      [&](std::int64_t b, std::int64_t e) {
        if (Conjugate) {
          for (std::int64_t i = b; i < e; ++i) d[i] = ConjugateProduct(a[i], p[i]);
        } else {
          for (std::int64_t i = b; i < e; ++i) d[i] = ComplexProduct(a[i], p[i]);
        }
      },
      1 << 15);
}

int Percent(int i, int n) { return int(Checked::Round(Checked::Div(i, n) * 100)); }

void CopyPixels(TDataImage& Dst, const TDataImage& Src) {
  RequireSize(Dst, Src.Width, Src.Height);
  std::memcpy(Dst.Pixels, Src.Pixels, std::size_t(Src.PixelCount()) * sizeof(float));
}

}  // namespace DeconvolutionWork
