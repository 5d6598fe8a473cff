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
    // The blurred copy holds the window means on the interior; on the border
    // it would hold the source, which the last pass reads directly.
    const int r = Size / 2;
    const bool interior = w > 2 * r && h > 2 * r;
    std::unique_ptr<float[]> blur(new float[interior ? std::size_t(n) : 1]);
    if (interior && !FilterPaths::MeanFast(Size, Src.Pixels, blur.get(), w, h))
      FilterPaths::MeanPlain(Size, Src.Pixels, blur.get(), w, h);
    const long double a = Amount, a1 = (long double)Amount - 1;
    // When Amount - 1 is a Single both products are exact in double, and the
    // difference rounded to double gives the Single of the extended value
    // except near a Single midpoint, which takes the extended path.
    const bool doublePath = (long double)float(a1) == a1;
    const double ad = Amount, a1d = double(a1);
    Parallel::For(h, [&](std::int64_t y0, std::int64_t y1) {
      for (std::int64_t y = y0; y < y1; ++y) {
        const float* s = Src.Pixels + y * w;
        const float* bl = blur.get() + (interior ? y * w : 0);
        float* d = Dst.Pixels + y * w;
        const bool rowInside = interior && y >= r && y < h - r;
        for (int x = 0; x < w; ++x) {
          const float m = rowInside && x >= r && x < w - r ? bl[x] : s[x];
          if (doublePath) {
            const double t = ad * s[x] - a1d * m;
            if (!FFTRounding::NeedsExtended(t)) {
              d[x] = t < 0 ? 0.0f : t > white ? white : float(t);
              continue;
            }
          }
          long double v = a * s[x] - a1 * m;
          if (v < 0) v = 0;
          else if (v > white) v = white;
          d[x] = float(v);
        }
      }
    }, 16);
    ReportInternalError(0);
  } catch (...) {
    ReportInternalError(errUnsharpMask);
  }
}
