#include "engine/ColProcessing.h"

#include <array>
#include <cmath>
#include <vector>

#include "engine/Checked.h"
#include "engine/Errors.h"
#include "engine/FilterPaths.h"
#include "engine/HSV.h"
#include "engine/Parallel.h"
#include "engine/RoutineSupport.h"

using RoutineSupport::CheckPlanes;

namespace {

// Maps every byte of every pixel of Src through Table into Dst.
void ApplyTable(const std::array<std::uint8_t, 256>& Table, TDataImage& Dst, const TDataImage& Src) {
  const auto* s = reinterpret_cast<const std::uint8_t*>(Src.RGBPlane);
  auto* d = reinterpret_cast<std::uint8_t*>(Dst.RGBPlane);
  Parallel::For(
      Src.PixelCount() * 3,
      [&](std::int64_t b, std::int64_t e) {
        for (std::int64_t i = b; i < e; ++i) d[i] = Table[s[i]];
      },
      1 << 16);
}

long double ContrastFactor(int Contrast) {
  return Contrast >= 0 ? 1 + Contrast / 10.0L : 1 - std::sqrt((long double)-Contrast) / 10;
}

// The three channels of a colour plane as separate byte planes.
struct TChannels {
  std::vector<std::uint8_t> C[3];  // blue, green, red
};

TChannels Split(const TDataImage& Image) {
  TChannels ch;
  const std::int64_t n = Image.PixelCount();
  for (auto& c : ch.C) c.resize(std::size_t(n));
  const TRGBPixel* p = Image.RGBPlane;
  Parallel::For(
      n,
      [&](std::int64_t b, std::int64_t e) {
        for (std::int64_t i = b; i < e; ++i) {
          ch.C[0][i] = p[i].Blue;
          ch.C[1][i] = p[i].Green;
          ch.C[2][i] = p[i].Red;
        }
      },
      1 << 16);
  return ch;
}

void Merge(const TChannels& ch, TDataImage& Image) {
  TRGBPixel* p = Image.RGBPlane;
  Parallel::For(
      Image.PixelCount(),
      [&](std::int64_t b, std::int64_t e) {
        for (std::int64_t i = b; i < e; ++i) p[i] = TRGBPixel{ch.C[0][i], ch.C[1][i], ch.C[2][i]};
      },
      1 << 16);
}

// Runs Filter(src channel, dst channel, W, H) on each channel; the
// destination channels start as the destination's bytes, so the border keeps them.
template <typename F>
void PerChannel(TDataImage& Dst, const TDataImage& Src, F&& Filter) {
  if (Src.PixelCount() == 0) return;
  const TChannels s = Split(Src);
  TChannels d = Split(Dst);
  for (int c = 0; c < 3; ++c) Filter(s.C[c].data(), d.C[c].data(), Src.Width, Src.Height);
  Merge(d, Dst);
}

int WindowSide(std::uint8_t Size) { return 2 * (Size / 2) + 1; }

// The box filter without its own report, for the blurred copy of ColDDP.
void BoxInto(int N, TDataImage& Dst, const TDataImage& Src) {
  PerChannel(Dst, Src, [N](const std::uint8_t* s, std::uint8_t* d, int w, int h) {
    FilterPaths::MeanBytesFast(N, s, d, w, h);
  });
}

}  // namespace

void ColBrightnessContrast(int Brightness, int Contrast, TDataImage& Dst, TDataImage& Src) {
  try {
    CheckPlanes(Dst, Src, true);
    const std::int64_t n = Src.PixelCount();
    const auto* s = reinterpret_cast<const std::uint8_t*>(Src.RGBPlane);
    // 64-bit: a 32-bit sum overflows on a white picture above 2.8 million pixels.
    std::int64_t sum = 0;
    for (std::int64_t i = 0; i < 3 * n; ++i) sum += s[i];
    const std::int64_t m = Checked::Round(Checked::Div(sum, 3.0L * n));
    const long double factor = ContrastFactor(Contrast);
    // Round(Brightness * 2.55) from its exact value.
    const std::int64_t shift = RoutineSupport::RoundRatio(std::int64_t(Brightness) * 255, 100);
    std::array<std::uint8_t, 256> table;
    for (int v = 0; v < 256; ++v) table[v] = ClampByte(Checked::Round((v - m) * factor + m) + shift);
    ApplyTable(table, Dst, Src);
    ReportInternalError(0);
  } catch (...) {
    ReportInternalError(errColBrightnessContrast);
  }
}

void ColGamma(TDataImage& Dst, TDataImage& Src, float GammaValue) {
  if (GammaValue == 0.0f) {
    ReportInternalError(errColGamma);
    return;
  }
  try {
    CheckPlanes(Dst, Src, true);
    const long double e = 1.0L / GammaValue;
    std::array<std::uint8_t, 256> table;
    table[0] = 0;
    for (int v = 1; v < 256; ++v) table[v] = ClampByte(Checked::Round(255 * Checked::Power(v * (1.0L / 255), e)));
    ApplyTable(table, Dst, Src);
    ReportInternalError(0);
  } catch (...) {
    ReportInternalError(errColGamma);
  }
}

void ColLinearScale(std::uint8_t Low, std::uint8_t High, TDataImage& Dst, TDataImage& Src) {
  try {
    CheckPlanes(Dst, Src, true);
    const long double f = Checked::Div(255.0L, int(High) - int(Low));
    std::array<std::uint8_t, 256> table;
    for (int v = 0; v < 256; ++v) table[v] = ClampByte(Checked::Round(f * (v - int(Low))));
    ApplyTable(table, Dst, Src);
    ReportInternalError(0);
  } catch (...) {
    ReportInternalError(errColLinearScale);
  }
}

void ColLogScale(TDataImage& Dst, TDataImage& Src, float Factor) {
  try {
    CheckPlanes(Dst, Src, true);
    std::array<std::uint8_t, 256> table;
    for (int v = 0; v < 256; ++v) table[v] = ClampByte(Checked::Round(Checked::Ln(v + 1.0L) * Factor));
    ApplyTable(table, Dst, Src);
    ReportInternalError(0);
  } catch (...) {
    ReportInternalError(errColLogScale);
  }
}

void ColDDP(std::uint8_t Edge, std::uint8_t RedSource, std::uint8_t GreenSource, float MidLevel, float Background,
            float Scaling, std::uint8_t BlueSource, TDataImage& Dst, TDataImage& Src) {
  try {
    CheckPlanes(Dst, Src, true);
    const std::int64_t n = Src.PixelCount();
    TDataImage blur;
    if (n > 0) {
      if (!blur.Allocate(Src.Width, Src.Height, Src.DataType, true)) throw std::bad_alloc();
      std::copy(Src.RGBPlane, Src.RGBPlane + n, blur.RGBPlane);
      if (Edge >= 1 && Edge <= 3) BoxInto(2 * Edge + 1, blur, Src);
    }
    const TRGBPixel* s = Src.RGBPlane;
    const TRGBPixel* bl = blur.RGBPlane;
    auto pick = [](std::uint8_t Which, const TRGBPixel& b) -> double {
      switch (Which) {
        case 0: return b.Red;
        case 1: return b.Green;
        case 2: return b.Blue;
        default: return (b.Red + b.Green + b.Blue + 1) / 3;  // Round(sum / 3.0): never a half
      }
    };
    RoutineSupport::StagedUntilFault<TRGBPixel>(
        n,
        [&](std::int64_t i) {
          double H, S, V, H2, S2, V2;
          RGBToHSV(s[i].Red, s[i].Green, s[i].Blue, H, S, V);
          RGBToHSV(pick(RedSource, bl[i]), pick(GreenSource, bl[i]), pick(BlueSource, bl[i]), H2, S2, V2);
          const long double num = 255 * (long double)V, den = 255 * (long double)V2 + MidLevel;
          double r = 0, g = 0, b = 0;
          if (den == 0) {
            // The quotient's limit as the denominator falls to 0, as in grey
            // DDP: a black pixel stays nothing over it (the background), any
            // other grows without bound, so each channel its hue and
            // saturation leave above 0 clamps to 255 (to 0 under a negative
            // scaling).
            const long double q = num * Scaling;
            if (q == 0) {
              HSVToRGB(H, S, double(Background / 255.0L), r, g, b);
            } else {
              HSVToRGB(H, S, 1.0, r, g, b);
              auto limit = [q](double c) { return std::uint8_t(c > 0 && q > 0 ? 255 : 0); };
              return TRGBPixel{limit(b), limit(g), limit(r)};
            }
          } else {
            const double v = double(Checked::Div(num, den) * Scaling + Background);
            HSVToRGB(H, S, double(v / 255.0L), r, g, b);
          }
          // Clamped before the rounding: a quotient near the limit (a
          // mid-level just above 0) would leave the integers.
          auto byte = [](double c) {
            const long double x = c * 255.0L;
            return ClampByte(Checked::Round(x < 0 ? 0.0L : x > 255 ? 255.0L : x));
          };
          return TRGBPixel{byte(b), byte(g), byte(r)};
        },
        [&](std::int64_t i, const TRGBPixel& p) { Dst.RGBPlane[i] = p; });
    ReportInternalError(0);
  } catch (...) {
    ReportInternalError(errColDDP);
  }
}

bool MakeLinearTable(TLUT& Table, float Low, float High) {
  try {
    TLUT t;
    const long double f = Checked::Div(255.0L, (long double)High - Low);
    for (int i = 0; i < 256; ++i) t[i] = ClampByte(Checked::Round(f * (i - (long double)Low)));
    Table = t;
    ReportInternalError(0);
    return true;
  } catch (...) {
    ReportInternalError(errMakeLinearTable);
    return false;
  }
}

void ColConvolvePreset(std::uint8_t Code, TDataImage& Dst, TDataImage& Src) {
  try {
    FilterPaths::TKernel3 k;
    if (!FixedKernel(Code, k.W, k.Divisor)) Checked::Fault("unknown kernel");
    CheckPlanes(Dst, Src, true);
    PerChannel(Dst, Src, [&](const std::uint8_t* s, std::uint8_t* d, int w, int h) {
      FilterPaths::Convolve3x3Bytes(k, s, d, w, h);
    });
    ReportInternalError(0);
  } catch (...) {
    ReportInternalError(errColConvolvePreset);
  }
}

void ColGradient(TDataImage& Dst, TDataImage& Src) {
  try {
    CheckPlanes(Dst, Src, true);
    PerChannel(Dst, Src, [](const std::uint8_t* s, std::uint8_t* d, int w, int h) { FilterPaths::SobelBytes(s, d, w, h); });
    ReportInternalError(0);
  } catch (...) {
    ReportInternalError(errColGradient);
  }
}

void ColBoxFilter(std::uint8_t Size, TDataImage& Dst, TDataImage& Src) {
  try {
    CheckPlanes(Dst, Src, true);
    BoxInto(WindowSide(Size), Dst, Src);
    ReportInternalError(0);
  } catch (...) {
    ReportInternalError(errColBoxFilter);
  }
}

void ColMedianFilter(std::uint8_t Size, TDataImage& Dst, TDataImage& Src) {
  try {
    CheckPlanes(Dst, Src, true);
    const int n = WindowSide(Size);
    PerChannel(Dst, Src, [n](const std::uint8_t* s, std::uint8_t* d, int w, int h) {
      FilterPaths::MedianBytesFast(n, s, d, w, h);
    });
    ReportInternalError(0);
  } catch (...) {
    ReportInternalError(errColMedianFilter);
  }
}

void ColMinMaxFilter(std::uint8_t Mode, std::uint8_t Size, TDataImage& Dst, TDataImage& Src) {
  try {
    CheckPlanes(Dst, Src, true);
    const int n = WindowSide(Size);
    const int mode = Mode == 0 ? 0 : 1;
    PerChannel(Dst, Src, [n, mode](const std::uint8_t* s, std::uint8_t* d, int w, int h) {
      FilterPaths::MinMaxBytesFast(mode, n, s, d, w, h);
    });
    ReportInternalError(0);
  } catch (...) {
    ReportInternalError(errColMinMaxFilter);
  }
}

void ColCustomFilter(const TFilterKernel& Kernel, TDataImage& Dst, TDataImage& Src) {
  try {
    CheckPlanes(Dst, Src, true);
    const float divisor = KernelDivisor(Kernel);
    const int w = Src.Width, h = Src.Height;
    if (w >= 3 && h >= 3) {
      const TRGBPixel* s = Src.RGBPlane;
      // Per channel a Single running sum (rows outer, columns inner), divided,
      // clamped, then rounded; a pixel is stored once all three are done, so
      // an overflow of a sum leaves that pixel and the ones after it unwritten.
      auto channel = [&](int x, int y, std::uint8_t TRGBPixel::*c) {
        float sum = 0.0f;
        for (int r = 0; r < 3; ++r)
          for (int col = 0; col < 3; ++col)
            sum = Checked::ToSingle(sum + (long double)Kernel[col][r] * (s[std::size_t(y + r - 1) * w + x + col - 1].*c));
        long double q = sum / (long double)divisor;
        if (q < 0) q = 0;
        if (q > 255) q = 255;
        return std::uint8_t(std::nearbyint(q));
      };
      const std::int64_t iw = w - 2;
      RoutineSupport::StagedUntilFault<TRGBPixel>(
          iw * (h - 2),
          [&](std::int64_t i) {
            const int x = int(i % iw) + 1, y = int(i / iw) + 1;
            const std::uint8_t red = channel(x, y, &TRGBPixel::Red);
            const std::uint8_t green = channel(x, y, &TRGBPixel::Green);
            const std::uint8_t blue = channel(x, y, &TRGBPixel::Blue);
            return TRGBPixel{blue, green, red};
          },
          [&](std::int64_t i, const TRGBPixel& p) {
            Dst.RGBPlane[std::size_t(i / iw + 1) * w + std::size_t(i % iw + 1)] = p;
          });
    }
    ReportInternalError(0);
  } catch (...) {
    ReportInternalError(errColCustomFilter);
  }
}
