#include "engine/PSF.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "engine/Checked.h"
#include "engine/Errors.h"

namespace {

std::unique_ptr<TDataImage> NewPSFImage(int Width, int Height) {
  auto img = std::make_unique<TDataImage>();
  if (!img->Allocate(Width, Height, 3, false) || !img->Pixels || !img->AllocateComplex(Width, Height)) {
    throw std::bad_alloc();
  }
  return img;
}

// Buffer (x, y) to image (x', y'): the quadrant swap that puts the buffer
// centre (Width div 2, Height div 2) on pixel (0, 0).
void SwapQuadrants(const std::vector<float>& Buffer, TDataImage& Img) {
  const int w = Img.Width, h = Img.Height, cx = w / 2, cy = h / 2;
  for (int y = 0; y < h; ++y) {
    const int ty = y < cy ? y + cy : y - cy;
    for (int x = 0; x < w; ++x) {
      const int tx = x < cx ? x + cx : x - cx;
      Img.Pixels[std::size_t(ty) * w + tx] = Buffer[std::size_t(y) * w + x];
    }
  }
}

// Separable model: value (x, y) = Term(x - cx) * (Term(y - cy) * 1.0).
template <class TTerm>
std::unique_ptr<TDataImage> Model(int Width, int Height, TTerm&& Term) {
  try {
    auto img = NewPSFImage(Width, Height);
    const int cx = Width / 2, cy = Height / 2;
    std::vector<long double> xterm(static_cast<std::size_t>(Width));
    for (int x = 0; x < Width; ++x) xterm[x] = Term(x - cx);
    std::vector<float> buffer(std::size_t(Width) * Height);
    for (int y = 0; y < Height; ++y) {
      const long double row = Term(y - cy) * 1.0L;
      for (int x = 0; x < Width; ++x) buffer[std::size_t(y) * Width + x] = Checked::ToSingle(xterm[x] * row);
    }
    SwapQuadrants(buffer, *img);
    ReportInternalError(0);
    return img;
  } catch (...) {
    ReportInternalError(errCreatePSF);
    return nullptr;
  }
}

// Round for a reflected position. A centre on a half pixel makes X - i + cx
// land on halves, where ties to even would send two source columns to one
// position and leave the next empty; halves go up instead.
std::int64_t ReflectedIndex(long double v) { return Checked::Trunc(std::floor(v + 0.5L)); }

}  // namespace

std::unique_ptr<TDataImage> CreateGaussianPSF(int Width, int Height, float Radius) {
  return Model(Width, Height, [&](int d) {
    const long double den = (long double)Radius * Radius * 2;
    return Checked::Exp(Checked::Div(-(long double)(d * d), den));
  });
}

std::unique_ptr<TDataImage> CreateExponentialPSF(int Width, int Height, float Radius) {
  return Model(Width, Height, [&](int d) {
    return Checked::Exp(Checked::Div(Checked::Div(-(long double)std::abs(d), Radius), Radius));
  });
}

std::unique_ptr<TDataImage> ExtractPSF(int Width, int Height, int Radius, float X, float Y, const TDataImage& Image) {
  try {
    auto img = NewPSFImage(Width, Height);
    const int cx = Width / 2, cy = Height / 2;
    std::vector<float> buffer(std::size_t(Width) * Height, 0.0f);
    const std::int64_t j0 = Checked::Round((long double)Y - Radius), j1 = Checked::Round((long double)Y + Radius);
    const std::int64_t i0 = Checked::Round((long double)X - Radius), i1 = Checked::Round((long double)X + Radius);
    // Rows and columns whose reflection misses the frame are skipped below;
    // leave them out of the loops too, so a huge radius costs nothing.
    const std::int64_t jlo = std::max(j0, Checked::Trunc(std::floor((long double)Y)) + cy - Height - 1);
    const std::int64_t jhi = std::min(j1, Checked::Trunc(std::ceil((long double)Y)) + cy + 1);
    const std::int64_t ilo = std::max(i0, Checked::Trunc(std::floor((long double)X)) + cx - Width - 1);
    const std::int64_t ihi = std::min(i1, Checked::Trunc(std::ceil((long double)X)) + cx + 1);
    for (std::int64_t j = jlo; j <= jhi; ++j) {
      const std::int64_t by = ReflectedIndex((long double)Y - j + cy);
      if (by < 0 || by >= Height) continue;
      for (std::int64_t i = ilo; i <= ihi; ++i) {
        const std::int64_t bx = ReflectedIndex((long double)X - i + cx);
        if (bx < 0 || bx >= Width) continue;
        const long double di = i - (long double)X, dj = j - (long double)Y;
        const float d = float(Checked::Sqrt(di * di + dj * dj));
        if (!(d <= Radius)) continue;
        const bool inside = i >= 0 && i < Image.Width && j >= 0 && j < Image.Height;
        buffer[std::size_t(by) * Width + bx] = inside ? Image.GetPixel(int(i), int(j)) : 0.0f;
      }
    }
    SwapQuadrants(buffer, *img);
    ReportInternalError(0);
    return img;
  } catch (...) {
    ReportInternalError(errExtractPSF);
    return nullptr;
  }
}
