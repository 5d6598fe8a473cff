// Filters that multiply the centred spectrum by a gain of the distance from
// its centre.
#include <cmath>
#include <memory>
#include <new>

#include "engine/Checked.h"
#include "engine/Errors.h"
#include "engine/FFT.h"
#include "engine/Parallel.h"
#include "engine/Processing.h"
#include "engine/StagedRows.h"

namespace {

struct TPadded {
  std::unique_ptr<TDataImage> Work;
  int OffsetX = 0, OffsetY = 0, Width = 0, Height = 0;
};

// The padded float copy with its complex plane; every failure on the way is a
// fault of the calling filter.
TPadded PadWithComplex(TDataImage& Src) {
  TPadded p;
  bool shortOfMemory = false;
  p.Work = PadToPowerOfTwo(Src, p.OffsetX, p.OffsetY, p.Width, p.Height, &shortOfMemory);
  if (shortOfMemory) throw std::bad_alloc();
  if (!p.Work) Checked::Fault("no work image");
  if (!p.Work->AllocateComplex(p.Width, p.Height)) throw std::bad_alloc();
  return p;
}

// Largest pixel of the work image (from 0), then each pixel passed through
// Map and multiplied by (-1)^(x + y) to centre the spectrum.
template <class MapF>
float CentreInput(TDataImage& Work, MapF&& Map) {
  const int w = Work.Width;
  std::vector<float> maxima(std::size_t(Work.Height), 0.0f);
  Parallel::For(Work.Height, [&](std::int64_t b, std::int64_t e) {
    for (std::int64_t y = b; y < e; ++y) {
      float* row = Work.Pixels + y * w;
      float mx = 0;
      for (int x = 0; x < w; ++x) {
        const float v = row[x];
        if (v > mx) mx = v;
        const float m = Map(v);
        row[x] = (x + y) % 2 ? -m : m;
      }
      maxima[std::size_t(y)] = mx;
    }
  }, 16);
  float pin = 0;
  for (float m : maxima)
    if (m > pin) pin = m;
  return pin;
}

// Multiplies every coefficient of the half spectrum by Gain(D), D the distance
// from the centre. The gain of (x, y) is that of its mirror (W - x, H - y), so
// the other half would be multiplied alike.
template <class GainF>
void ApplyGain(TDataImage& Work, GainF&& Gain) {
  const int w = Work.Width, h = Work.Height, half = HalfSpectrumWidth(w);
  Parallel::For(h, [&](std::int64_t b, std::int64_t e) {
    for (std::int64_t y = b; y < e; ++y) {
      const std::int64_t u = y - h / 2;
      TComplex* row = Work.ComplexPlane + y * w;
      for (int x = 0; x < half; ++x) {
        const std::int64_t v = x - w / 2;
        const double g = Gain(std::sqrt(double(u * u + v * v)));
        row[x].Re = float((long double)row[x].Re * g);
        row[x].Im = float((long double)row[x].Im * g);
      }
    }
  }, 16);
}

// Real-input transforms: the centred pixels and the gains are real and the
// gains symmetric, so the half spectrum carries everything.
void Transform(TDataImage& Work, bool Forward) {
  const bool done = Forward ? ForwardRealFFT(Work, nullptr) : InverseRealFFT(Work, nullptr, nullptr);
  if (!done) Checked::Fault("transform failed");
}

// The source block of the work image, sign restored, through Map into Dst,
// rows outer; then every pixel times P_in / P_out.
template <class MapF>
void CutAndRescale(TDataImage& Dst, const TPadded& p, float Pin, MapF&& Map) {
  const int w = Dst.Width;
  const TDataImage& work = *p.Work;
  StagedRows::Run<float>(
      Dst.Height, w,
      [&](int y, float* out, int& done) {
        const int wy = y + p.OffsetY;
        const float* row = work.Pixels + std::int64_t(wy) * work.Width;
        for (int x = 0; x < w; ++x) {
          const int wx = x + p.OffsetX;
          const float t = (wx + wy) % 2 ? -row[wx] : row[wx];
          out[x] = Map(t);
          done = x + 1;
        }
      },
      [&](int y, const float* out, int count) {
        float* row = Dst.Pixels + std::int64_t(y) * w;
        for (int x = 0; x < count; ++x) row[x] = out[x];
      });
  float pout = 0;
  for (std::int64_t i = 0; i < Dst.PixelCount(); ++i)
    if (Dst.Pixels[i] > pout) pout = Dst.Pixels[i];
  // Nothing above 0 in the input rescales to nothing, whatever came out.
  const long double scale = Pin == 0.0f ? 0.0L : Checked::Div(Pin, pout);
  Parallel::For(Dst.PixelCount(), [&](std::int64_t b, std::int64_t e) {
    for (std::int64_t i = b; i < e; ++i) Dst.Pixels[i] = float(Dst.Pixels[i] * scale);
  }, 1 << 16);
}

bool SameSize(const TDataImage& A, const TDataImage& B) {
  return A.Width == B.Width && A.Height == B.Height && A.Pixels && B.Pixels;
}

}  // namespace

void FFTFilter(std::uint8_t FilterType, TDataImage& Dst, TDataImage& Src, float Cutoff, float Emphasis,
               float Order) {
  try {
    if (!SameSize(Src, Dst)) Checked::Fault("sizes differ");
    TPadded p = PadWithComplex(Src);
    const float pin = CentreInput(*p.Work, [](float v) { return v; });
    Transform(*p.Work, true);
    const long double e2 = 2.0L * Order;
    ApplyGain(*p.Work, [&](double D) -> double {
      switch (FilterType) {
        case 0: return D <= Cutoff ? 1.0 : 0.0;
        case 1: return D <= Cutoff ? Emphasis : 1.0 + Emphasis;
        case 2: return double(1.0L / (1.0L + Checked::Power(Checked::Div(D, Cutoff), e2)));
        case 3:
          if (D == 0) return Emphasis;
          return double(1.0L / (1.0L + Checked::Power(Cutoff / (long double)D, e2)) + Emphasis);
        default: return 1.0;
      }
    });
    Transform(*p.Work, false);
    CutAndRescale(Dst, p, pin, [](float t) { return t < 0 ? 0.0f : t; });
    ReportInternalError(0);
  } catch (...) {
    ReportInternalError(errFFTFilter);
  }
}

void HomomorphicFilter(TDataImage& Dst, TDataImage& Src, float Floor, float Cutoff, float Order) {
  try {
    if (!SameSize(Src, Dst)) Checked::Fault("sizes differ");
    TPadded p = PadWithComplex(Src);
    const float pin = CentreInput(*p.Work, [](float v) { return float(Checked::Ln((long double)v + 0.5L)); });
    Transform(*p.Work, true);
    const long double e2 = 2.0L * Order;
    ApplyGain(*p.Work, [&](double D) -> double {
      if (D == 0) return 0.0;
      return double(1.0L / (1.0L + Checked::Power(Cutoff / (long double)D, e2)) + Floor);
    });
    Transform(*p.Work, false);
    CutAndRescale(Dst, p, pin, [](float t) { return Checked::ToSingle(Checked::Exp(t)); });
    ReportInternalError(0);
  } catch (...) {
    ReportInternalError(errHomomorphicFilter);
  }
}
