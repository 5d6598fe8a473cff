// Unsharp mask of a grey image.
#include <cstring>
#include <vector>

#include "engine/Checked.h"
#include "engine/Errors.h"
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
    // The blurred copy: the source, its interior replaced by the window means.
    std::vector<float> blur(Src.Pixels, Src.Pixels + n);
    if (!FilterPaths::MeanFast(Size, Src.Pixels, blur.data(), w, h))
      FilterPaths::MeanPlain(Size, Src.Pixels, blur.data(), w, h);
    const long double a = Amount, a1 = (long double)Amount - 1;
    const float* s = Src.Pixels;
    float* d = Dst.Pixels;
    Parallel::For(n, [&](std::int64_t b, std::int64_t e) {
      for (std::int64_t i = b; i < e; ++i) {
        long double v = a * s[i] - a1 * blur[i];
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
