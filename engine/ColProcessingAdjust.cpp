// Colour unsharp mask, colour balance and hue/saturation/intensity shifts.
#include <array>
#include <cstring>
#include <vector>

#include "engine/Checked.h"
#include "engine/ColProcessing.h"
#include "engine/Errors.h"
#include "engine/HSV.h"
#include "engine/Parallel.h"
#include "engine/RoutineSupport.h"
#include "engine/StagedRows.h"

namespace {

inline std::uint8_t& Channel(TRGBPixel& p, int c) { return c == 0 ? p.Red : c == 1 ? p.Green : p.Blue; }
inline std::uint8_t Channel(const TRGBPixel& p, int c) { return c == 0 ? p.Red : c == 1 ? p.Green : p.Blue; }

// Round(window sum / n^2) of one channel on the interior; the border keeps
// the source bytes. Integer sums slide exactly.
void RoundedBox(const TRGBPixel* Src, TRGBPixel* Blur, int W, int H, int N) {
  const int h = N / 2;
  if (W <= 2 * h || H <= 2 * h) return;
  const std::int64_t area = std::int64_t(N) * N;
  Parallel::For(H - 2 * h, [&](std::int64_t b, std::int64_t e) {
    std::vector<std::int64_t> col(std::size_t(W) * 3);
    for (std::int64_t r = b; r < e; ++r) {
      const int y = int(r) + h;
      if (r == b) {
        std::fill(col.begin(), col.end(), 0);
        for (int yy = y - h; yy <= y + h; ++yy)
          for (int x = 0; x < W; ++x)
            for (int c = 0; c < 3; ++c) col[3 * x + c] += Channel(Src[std::int64_t(yy) * W + x], c);
      } else {
        for (int x = 0; x < W; ++x)
          for (int c = 0; c < 3; ++c)
            col[3 * x + c] += int(Channel(Src[std::int64_t(y + h) * W + x], c)) -
                              Channel(Src[std::int64_t(y - h - 1) * W + x], c);
      }
      for (int c = 0; c < 3; ++c) {
        std::int64_t s = 0;
        for (int x = 0; x < N; ++x) s += col[3 * x + c];
        for (int x = h; x < W - h; ++x) {
          Channel(Blur[std::int64_t(y) * W + x], c) = std::uint8_t(RoutineSupport::RoundRatio(s, area));
          if (x + h + 1 < W) s += col[3 * (x + h + 1) + c] - col[3 * (x - h) + c];
        }
      }
    }
  }, 4);
}

}  // namespace

void ColUnsharpMask(int Size, TDataImage& Dst, TDataImage& Src, float Amount) {
  try {
    if (Size < 1 || Size % 2 == 0) Checked::Fault("window side");
    RoutineSupport::CheckPlanes(Dst, Src, true);
    const int w = Src.Width, h = Src.Height;
    const std::int64_t n = Src.PixelCount();
    std::vector<TRGBPixel> blur(Src.RGBPlane, Src.RGBPlane + n);
    RoundedBox(Src.RGBPlane, blur.data(), w, h, Size);
    // The result depends only on the byte and its blur: one table of 65536.
    const long double a = Amount, a1 = (long double)Amount - 1;
    std::vector<std::int16_t> table(65536);  // -1 marks a failing Round
    for (int c = 0; c < 256; ++c)
      for (int m = 0; m < 256; ++m) {
        try {
          table[c * 256 + m] = ClampByte(Checked::Round(a * c - a1 * m));
        } catch (const EngineFault&) {
          table[c * 256 + m] = -1;
        }
      }
    StagedRows::Run<TRGBPixel>(
        h, w,
        [&](int y, TRGBPixel* out, int& done) {
          for (int x = 0; x < w; ++x) {
            const std::int64_t i = std::int64_t(y) * w + x;
            TRGBPixel p;
            for (int c = 0; c < 3; ++c) {
              const int t = table[Channel(Src.RGBPlane[i], c) * 256 + Channel(blur[i], c)];
              if (t < 0) Checked::Fault("invalid operation");
              Channel(p, c) = std::uint8_t(t);
            }
            out[x] = p;
            done = x + 1;
          }
        },
        [&](int y, const TRGBPixel* out, int count) {
          std::memcpy(Dst.RGBPlane + std::int64_t(y) * w, out, sizeof(TRGBPixel) * std::size_t(count));
        });
    ReportInternalError(0);
  } catch (...) {
    ReportInternalError(errColUnsharpMask);
  }
}

void ColColourBalance(int RedShift, int GreenShift, int BlueShift, TDataImage& Dst, TDataImage& Src) {
  try {
    RoutineSupport::CheckPlanes(Dst, Src, true);
    // Round(v + shift * 2.55) from the exact value (100 v + 255 shift) / 100.
    std::array<std::array<std::uint8_t, 256>, 3> table;
    const int shifts[3] = {RedShift, GreenShift, BlueShift};
    for (int c = 0; c < 3; ++c)
      for (int v = 0; v < 256; ++v)
        table[c][v] = ClampByte(RoutineSupport::RoundRatio(100 * std::int64_t(v) + 255 * std::int64_t(shifts[c]), 100));
    const TRGBPixel* s = Src.RGBPlane;
    TRGBPixel* d = Dst.RGBPlane;
    Parallel::For(Src.PixelCount(), [&](std::int64_t b, std::int64_t e) {
      for (std::int64_t i = b; i < e; ++i)
        d[i] = TRGBPixel{table[2][s[i].Blue], table[1][s[i].Green], table[0][s[i].Red]};
    }, 1 << 15);
    ReportInternalError(0);
  } catch (...) {
    ReportInternalError(errColColourBalance);
  }
}

void ColHSIAdjust(TDataImage& Dst, TDataImage& Src, float HueShift, float SaturationShift, float IntensityShift) {
  try {
    RoutineSupport::CheckPlanes(Dst, Src, true);
    const TRGBPixel* s = Src.RGBPlane;
    TRGBPixel* d = Dst.RGBPlane;
    Parallel::For(Src.PixelCount(), [&](std::int64_t b, std::int64_t e) {
      for (std::int64_t i = b; i < e; ++i) {
        double H, S, V;
        RGBToHSV(s[i].Red, s[i].Green, s[i].Blue, H, S, V);
        S = double((long double)S + SaturationShift);
        V = double((long double)V + IntensityShift);
        // The undefined hue is a NaN: test it by its bits before any comparison.
        if (IsUndefinedHue(H)) {
          S = 0;
        } else {
          H = double((long double)H + HueShift);
          if (H < 0) H = double((long double)H + 360);
          if (H > 360) H = double((long double)H - 360);
        }
        if (S < 0) S = 0;
        if (S > 1) S = 1;
        if (S == 0) H = UndefinedHue();
        if (V < 0) V = 0;
        if (V > 1) V = 1;
        // A hue still outside 0..360 (a shift beyond one turn) converts to black.
        double r = 0, g = 0, bl = 0;
        HSVToRGB(H, S, V, r, g, bl);
        d[i] = TRGBPixel{ClampByte(Checked::Round((long double)bl * 255)), ClampByte(Checked::Round((long double)g * 255)),
                         ClampByte(Checked::Round((long double)r * 255))};
      }
    }, 1 << 14);
    ReportInternalError(0);
  } catch (...) {
    ReportInternalError(errColHSIAdjust);
  }
}
