#pragma once
// The loops shared by Geometry (grey) and ColGeometry (colour). A plane
// traits class says where the pixels are and how four neighbours combine.
#include <cmath>
#include <new>
#include <vector>

#include "engine/Checked.h"
#include "engine/DataImage.h"
#include "engine/Errors.h"
#include "engine/Geometry.h"
#include "engine/Parallel.h"

namespace GeometryKernels {

struct TGreyPlane {
  using TPixel = float;
  static TPixel* Plane(TDataImage& Img) { return Img.Pixels; }
  static const TPixel* Plane(const TDataImage& Img) { return Img.Pixels; }
  static TPixel Zero() { return 0.0f; }
  static bool Allocate(TDataImage& Dst, const TDataImage& Src, int W, int H) {
    return Dst.Allocate(W, H, Src.DataType, false);
  }
  static TPixel Combine(long double w00, long double w01, long double w10, long double w11, TPixel p00, TPixel p01,
                        TPixel p10, TPixel p11) {
    return Checked::ToSingle(w00 * p00 + w01 * p01 + w10 * p10 + w11 * p11);
  }
};

struct TColourPlane {
  using TPixel = TRGBPixel;
  static TPixel* Plane(TDataImage& Img) { return Img.RGBPlane; }
  static const TPixel* Plane(const TDataImage& Img) { return Img.RGBPlane; }
  static TPixel Zero() { return TRGBPixel{}; }
  static bool Allocate(TDataImage& Dst, const TDataImage&, int W, int H) { return Dst.Allocate(W, H, 0, true); }
  static std::uint8_t Channel(long double w00, long double w01, long double w10, long double w11, std::uint8_t p00,
                              std::uint8_t p01, std::uint8_t p10, std::uint8_t p11) {
    const long double v = w00 * p00 + w01 * p01 + w10 * p10 + w11 * p11;
    return std::uint8_t(Checked::Round(v));
  }
  static TPixel Combine(long double w00, long double w01, long double w10, long double w11, TPixel p00, TPixel p01,
                        TPixel p10, TPixel p11) {
    return TRGBPixel{Channel(w00, w01, w10, w11, p00.Blue, p01.Blue, p10.Blue, p11.Blue),
                     Channel(w00, w01, w10, w11, p00.Green, p01.Green, p10.Green, p11.Green),
                     Channel(w00, w01, w10, w11, p00.Red, p01.Red, p10.Red, p11.Red)};
  }
};

// The nearest integer to d (|d| < 2^50) when d lies more than 1e-6 from a
// half; false otherwise.
inline bool RoundAwayFromHalf(double d, long long& Result) {
  const double magic = 6755399441055744.0;  // 1.5 * 2^52: adding it rounds to an integer
  const double r = (d + magic) - magic;
  if (std::fabs(d - r) > 0.5 - 1e-6) return false;
  Result = (long long)r;
  return true;
}

// Dst must not be Src: allocating the destination would release the source.
inline void RequireDistinct(const TDataImage& Dst, const TDataImage& Src) {
  if (&Dst == &Src) Checked::Fault("destination is the source");
}

template <class T>
void Resample(int NewWidth, int NewHeight, TDataImage& Dst, const TDataImage& Src) {
  RequireDistinct(Dst, Src);
  if (!T::Allocate(Dst, Src, NewWidth, NewHeight)) throw std::bad_alloc();
  std::vector<GeometryDetail::TSample> cols(static_cast<std::size_t>(std::max(NewWidth, 0)));
  std::vector<GeometryDetail::TSample> rows(static_cast<std::size_t>(std::max(NewHeight, 0)));
  GeometryDetail::SamplesFor(Src.Width, NewWidth, cols.data());
  GeometryDetail::SamplesFor(Src.Height, NewHeight, rows.data());
  const typename T::TPixel* src = T::Plane(Src);
  typename T::TPixel* dst = T::Plane(Dst);
  if (!dst) return;
  const std::size_t sw = std::size_t(Src.Width);
  const typename T::TPixel zero = T::Zero();
  Parallel::For(
      NewHeight,
      [&](std::int64_t y0, std::int64_t y1) {
        for (std::int64_t y = y0; y < y1; ++y) {
          const GeometryDetail::TSample& r = rows[y];
          const long double dy = r.Fraction, ody = 1.0L - dy;
          const typename T::TPixel* row0 = src ? src + std::size_t(r.Index) * sw : nullptr;
          const typename T::TPixel* row1 = src ? src + (std::size_t(r.Index) + 1) * sw : nullptr;
          typename T::TPixel* out = dst + std::size_t(y) * std::size_t(NewWidth);
          for (int x = 0; x < NewWidth; ++x) {
            const GeometryDetail::TSample& c = cols[x];
            const long double dx = c.Fraction, odx = 1.0L - dx;
            const bool have = src != nullptr;
            const typename T::TPixel p00 = have && r.Has0 && c.Has0 ? row0[c.Index] : zero;
            const typename T::TPixel p01 = have && r.Has1 && c.Has0 ? row1[c.Index] : zero;
            const typename T::TPixel p10 = have && r.Has0 && c.Has1 ? row0[c.Index + 1] : zero;
            const typename T::TPixel p11 = have && r.Has1 && c.Has1 ? row1[c.Index + 1] : zero;
            out[x] = T::Combine(odx * ody, odx * dy, dx * ody, dx * dy, p00, p01, p10, p11);
          }
        }
      },
      16);
}

template <class T>
void Rotate(TDataImage& Dst, const TDataImage& Src, float Angle) {
  RequireDistinct(Dst, Src);
  const int w = Src.Width, h = Src.Height;
  const GeometryDetail::TRotation rot = GeometryDetail::RotationFor(w, h, Angle);
  const int nw = rot.NewWidth, nh = rot.NewHeight;
  if (!T::Allocate(Dst, Src, nw, nh)) throw std::bad_alloc();
  const typename T::TPixel* src = T::Plane(Src);
  typename T::TPixel* dst = T::Plane(Dst);
  if (!dst) return;
  const int hw = w / 2, hh = h / 2, ox = (nw - w) / 2, oy = (nh - h) / 2;
  // u * c and u * s depend on the column only, v * s and v * c on the row
  // only; each product is rounded to extended on its own either way.
  std::vector<long double> uc(static_cast<std::size_t>(nw)), us(static_cast<std::size_t>(nw));
  std::vector<double> ucd(static_cast<std::size_t>(nw)), usd(static_cast<std::size_t>(nw));
  for (int x = 0; x < nw; ++x) {
    const int u = 2 * (x - ox - hw) + 1;
    uc[x] = (long double)u * rot.C;
    us[x] = (long double)u * rot.S;
    ucd[x] = double(uc[x]);
    usd[x] = double(us[x]);
  }
  const typename T::TPixel zero = T::Zero();
  Parallel::For(
      nh,
      [&](std::int64_t y0, std::int64_t y1) {
        for (std::int64_t y = y1 - 1; y >= y0; --y) {
          const int v = 2 * (int(y) - oy - hh) + 1;
          const long double vs = (long double)v * rot.S, vc = (long double)v * rot.C;
          const double vsd = double(vs), vcd = double(vc);
          typename T::TPixel* out = dst + std::size_t(y) * std::size_t(nw);
          for (int x = nw - 1; x >= 0; --x) {
            // The sums in double lie within 1e-10 of the extended ones; away
            // from a half they round to the same integer, near one the
            // extended sums decide.
            long long su, sv;
            if (!RoundAwayFromHalf(ucd[x] - vsd, su)) su = std::llrint(uc[x] - vs);
            if (!RoundAwayFromHalf(usd[x] + vcd, sv)) sv = std::llrint(us[x] + vc);
            const long long sx = (su - 1) / 2 + hw, sy = (sv - 1) / 2 + hh;
            out[x] =
                (src && sx >= 0 && sx < w && sy >= 0 && sy < h) ? src[std::size_t(sy) * w + std::size_t(sx)] : zero;
          }
        }
      },
      16);
}

template <class T>
void Flip(std::uint8_t Mode, TDataImage& Dst, const TDataImage& Src) {
  if (Mode > 1) return;
  const int w = Src.Width, h = Src.Height;
  const typename T::TPixel* src = T::Plane(Src);
  typename T::TPixel* dst = T::Plane(Dst);
  if (!src || !dst || Dst.Width != w || Dst.Height != h) {
    // Not the caller's copy: only what both images hold.
    const int cw = std::min(w, Dst.Width), ch = std::min(h, Dst.Height);
    if (!src || !dst) return;
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const int tx = Mode == 0 ? x : w - 1 - x, ty = Mode == 0 ? h - 1 - y : y;
        if (tx < cw && ty < ch) dst[std::size_t(ty) * Dst.Width + tx] = src[std::size_t(y) * w + x];
      }
    }
    return;
  }
  if (src == dst) Checked::Fault("destination is the source");
  Parallel::For(
      h,
      [&](std::int64_t y0, std::int64_t y1) {
        for (std::int64_t y = y0; y < y1; ++y) {
          const typename T::TPixel* in = src + std::size_t(y) * w;
          if (Mode == 0) {
            std::copy(in, in + w, dst + std::size_t(h - 1 - y) * w);
          } else {
            typename T::TPixel* out = dst + std::size_t(y) * w;
            for (int x = 0; x < w; ++x) out[w - 1 - x] = in[x];
          }
        }
      },
      64);
}

template <class T>
void Crop(int X1, int Y1, int X2, int Y2, TDataImage& Dst, const TDataImage& Src) {
  const typename T::TPixel* src = T::Plane(Src);
  typename T::TPixel* dst = T::Plane(Dst);
  if (!dst) return;
  // Destination positions the rectangle and the destination share; a source
  // position outside Src reads as 0 (black).
  const long long cw = std::min<long long>((long long)X2 - X1 + 1, Dst.Width);
  const long long ch = std::min<long long>((long long)Y2 - Y1 + 1, Dst.Height);
  const typename T::TPixel zero = T::Zero();
  for (long long dy = 0; dy < ch; ++dy) {
    const long long sy = Y1 + dy;
    typename T::TPixel* out = dst + std::size_t(dy) * Dst.Width;
    for (long long dx = 0; dx < cw; ++dx) {
      const long long sx = X1 + dx;
      out[dx] = (src && sx >= 0 && sx < Src.Width && sy >= 0 && sy < Src.Height)
                    ? src[std::size_t(sy) * Src.Width + std::size_t(sx)]
                    : zero;
    }
  }
}

// The guard every routine shares: 0 on success, Code after a fault.
template <class F>
void Guarded(int Code, F&& Body) {
  try {
    Body();
    ReportInternalError(0);
  } catch (...) {
    ReportInternalError(Code);
  }
}

}  // namespace GeometryKernels
