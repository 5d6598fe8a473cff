// Unsharp mask of a grey image.
#include <cstring>
#include <memory>
#include <vector>

#include "engine/Checked.h"
#include "engine/Errors.h"
#include "engine/FFT.h"
#include "engine/FilterPaths.h"
#include "engine/Parallel.h"
#include "engine/Processing.h"
#include "engine/RoutineSupport.h"

void UnsharpMask(int Size, TDataImage& Dst, TDataImage& Src, float Amount) {
  try {
    if (Size < 1 || Size % 2 == 0) Checked::Fault("window side");
    RoutineSupport::CheckPlanes(Dst, Src, false);
    const float white = GetWhiteLevel(Src);
    const int w = Src.Width, h = Src.Height;
    const std::int64_t n = Src.PixelCount();
    // The blurred copy: the window means on the interior, the source on the
    // border (only the border is copied; the means fill the rest).
    std::unique_ptr<float[]> blur(new float[std::size_t(n)]);
    const int r = Size / 2;
    if (w <= 2 * r || h <= 2 * r) {
      std::memcpy(blur.get(), Src.Pixels, sizeof(float) * std::size_t(n));
    } else {
      Parallel::For(h, [&](std::int64_t b, std::int64_t e) {
        for (std::int64_t y = b; y < e; ++y) {
          const float* s = Src.Pixels + y * w;
          float* o = blur.get() + y * w;
          if (y < r || y >= h - r) {
            std::memcpy(o, s, sizeof(float) * std::size_t(w));
          } else {
            std::memcpy(o, s, sizeof(float) * std::size_t(r));
            std::memcpy(o + w - r, s + w - r, sizeof(float) * std::size_t(r));
          }
        }
      }, 256);
      if (!FilterPaths::MeanFast(Size, Src.Pixels, blur.get(), w, h))
        FilterPaths::MeanPlain(Size, Src.Pixels, blur.get(), w, h);
    }
    const long double a = Amount, a1 = (long double)Amount - 1;
    // When Amount - 1 is a Single both products are exact in double, and the
    // difference rounded to double gives the Single of the extended value
    // except near a Single midpoint, which takes the extended path.
    const bool doublePath = (long double)float(a1) == a1;
    const double ad = Amount, a1d = double(a1);
    const float* s = Src.Pixels;
    float* d = Dst.Pixels;
    const float* bl = blur.get();
    Parallel::For(n, [&](std::int64_t b, std::int64_t e) {
      for (std::int64_t i = b; i < e; ++i) {
        if (doublePath) {
          const double t = ad * s[i] - a1d * bl[i];
          if (!FFTRounding::NeedsExtended(t)) {
            d[i] = t < 0 ? 0.0f : t > white ? white : float(t);
            continue;
          }
        }
        long double v = a * s[i] - a1 * bl[i];
        if (v < 0) v = 0;
        else if (v > white) v = white;
        d[i] = float(v);
      }
    }, 1 << 15);
    ReportInternalError(0);
  } catch (...) {
    ReportInternalError(errUnsharpMask);
  }
}
