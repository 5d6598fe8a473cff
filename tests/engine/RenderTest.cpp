#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "VectorPaths.h"
#include "engine/DataImage.h"

namespace {

// The three bytes (blue, green, red) shown at picture position (x, y), y = 0 on top.
struct Shown {
  int B, G, R;
};
Shown At(const TDataImage& img, int x, int y) {
  const std::uint8_t* p = img.Bitmap.TopRow(y) + 3 * x;
  return {p[0], p[1], p[2]};
}

int GreyIndexShown(float v, float black, float white) {
  TDataImage img;
  img.Allocate(1, 1, 3, false);
  img.SetPixel(0, 0, v);
  img.BlackPoint = black;
  img.WhitePoint = white;
  img.UpdateBitmap();
  Shown s = At(img, 0, 0);
  EXPECT_TRUE(s.B == s.G && s.G == s.R);
  return s.B;
}

}  // namespace

TEST(Render, HalvesRoundToEven) {
  EXPECT_EQ(GreyIndexShown(127.5f, 0.0f, 255.0f), 128);
  EXPECT_EQ(GreyIndexShown(126.5f, 0.0f, 255.0f), 126);
  EXPECT_EQ(GreyIndexShown(0.5f, 0.0f, 255.0f), 0);
  EXPECT_EQ(GreyIndexShown(254.5f, 0.0f, 255.0f), 254);
}

TEST(Render, ClampsBelowAndAbove) {
  EXPECT_EQ(GreyIndexShown(-3.0f, 0.0f, 255.0f), 0);
  EXPECT_EQ(GreyIndexShown(300.0f, 0.0f, 255.0f), 255);
  EXPECT_EQ(GreyIndexShown(3.0e38f, 0.0f, 255.0f), 255);
  EXPECT_EQ(GreyIndexShown(-3.0e38f, 0.0f, 255.0f), 0);
}

TEST(Render, FactorKeptInExtendedPrecision) {
  // 50 * 255 / 100 = 127.5 exactly: even 128. A double factor gives 127.
  EXPECT_EQ(GreyIndexShown(50.0f, 0.0f, 100.0f), 128);
  EXPECT_EQ(GreyIndexShown(90.0f, 0.0f, 100.0f), 230);
  EXPECT_EQ(GreyIndexShown(100.0f, 0.0f, 200.0f), 128);
}

TEST(Render, InvertedRampWhenWhiteBelowBlack) {
  EXPECT_EQ(GreyIndexShown(0.0f, 255.0f, 0.0f), 255);
  EXPECT_EQ(GreyIndexShown(255.0f, 255.0f, 0.0f), 0);
  EXPECT_EQ(GreyIndexShown(55.0f, 255.0f, 0.0f), 200);
  EXPECT_EQ(GreyIndexShown(1000.0f, 255.0f, 0.0f), 0);
  EXPECT_EQ(GreyIndexShown(-1000.0f, 255.0f, 0.0f), 255);
}

TEST(Render, NaNAndTinyRangesDoNotFault) {
  EXPECT_EQ(GreyIndexShown(std::nanf(""), 0.0f, 255.0f), 0);
  // A range of one float step gives factors near 1e47: no overflow, just clamping.
  const float b = 1.0f, w = std::nextafter(1.0f, 2.0f);
  EXPECT_EQ(GreyIndexShown(w, b, w), 255);
  EXPECT_EQ(GreyIndexShown(b, b, w), 0);
  EXPECT_EQ(GreyIndexShown(std::numeric_limits<float>::infinity(), 0.0f, 1.0f), 255);
}

TEST(Render, EqualPointsShowFirstTableEntryWithoutPalette) {
  TDataImage img;
  ASSERT_TRUE(img.Allocate(3, 2, 0, false));
  for (int i = 0; i < 6; ++i) img.Pixels[i] = float(i * 40);
  TLUT t;
  for (int i = 0; i < 256; ++i) t[i] = std::uint8_t(200 - i % 200);
  img.SetLUT(t);
  TPaletteEntries pal{};
  for (auto& e : pal) e = TRGBPixel{255, 0, 0};
  img.SetPalette(pal);
  img.BlackPoint = img.WhitePoint = 40.0f;
  img.UpdateBitmap();
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) {
      Shown s = At(img, x, y);
      EXPECT_EQ(s.B, 200);
      EXPECT_EQ(s.G, 200);
      EXPECT_EQ(s.R, 200);
    }
  }
}

TEST(Render, PaletteBlueEntryShowsBlue) {
  TDataImage img;
  ASSERT_TRUE(img.Allocate(1, 1, 0, false));
  img.SetPixel(0, 0, 255.0f);
  TPaletteEntries pal;
  for (int i = 0; i < 256; ++i) pal[i] = TRGBPixel{std::uint8_t(i), std::uint8_t(i), std::uint8_t(i)};
  pal[255] = TRGBPixel{255, 0, 0};  // Blue 255, Green 0, Red 0
  img.SetPalette(pal);
  img.UpdateBitmap();
  Shown s = At(img, 0, 0);
  EXPECT_EQ(s.B, 255);
  EXPECT_EQ(s.G, 0);
  EXPECT_EQ(s.R, 0);
}

TEST(Render, TableThenPalette) {
  TDataImage img;
  ASSERT_TRUE(img.Allocate(1, 1, 0, false));
  img.SetPixel(0, 0, 10.0f);
  TLUT t;
  for (int i = 0; i < 256; ++i) t[i] = std::uint8_t(i);
  t[10] = 77;
  img.SetLUT(t);
  TPaletteEntries pal;
  for (int i = 0; i < 256; ++i) pal[i] = TRGBPixel{0, 0, 0};
  pal[77] = TRGBPixel{1, 2, 3};
  img.SetPalette(pal);
  img.UpdateBitmap();
  Shown s = At(img, 0, 0);
  EXPECT_EQ(s.B, 1);
  EXPECT_EQ(s.G, 2);
  EXPECT_EQ(s.R, 3);
}

TEST(Render, RowZeroIsOnTop) {
  TDataImage img;
  ASSERT_TRUE(img.Allocate(1, 2, 0, false));
  img.SetPixel(0, 0, 255.0f);
  img.SetPixel(0, 1, 0.0f);
  img.UpdateBitmap();
  EXPECT_EQ(At(img, 0, 0).R, 255);
  EXPECT_EQ(At(img, 0, 1).R, 0);
  // In memory the buffer is bottom-up: the first row is the picture's bottom.
  EXPECT_EQ(img.Bitmap.Rows[0][0], 0);
  EXPECT_EQ(img.Bitmap.Rows[1][0], 255);
  EXPECT_EQ(img.Bitmap.Rows[0], img.Bitmap.Bits);
}

TEST(Render, ColourGoesThroughTableOnly) {
  TDataImage img;
  ASSERT_TRUE(img.Allocate(2, 2, 0, true));
  img.SetRGB(0, 0, TRGBPixel{10, 20, 30});
  img.SetRGB(1, 1, TRGBPixel{200, 100, 0});
  img.BlackPoint = 100.0f;  // ignored
  img.WhitePoint = 5.0f;
  TPaletteEntries pal{};
  img.SetPalette(pal);  // ignored
  TLUT t;
  for (int i = 0; i < 256; ++i) t[i] = std::uint8_t(255 - i);
  img.SetLUT(t);
  img.UpdateBitmap();
  Shown s = At(img, 0, 0);
  EXPECT_EQ(s.B, 245);
  EXPECT_EQ(s.G, 235);
  EXPECT_EQ(s.R, 225);
  s = At(img, 1, 1);
  EXPECT_EQ(s.B, 55);
  EXPECT_EQ(s.G, 155);
  EXPECT_EQ(s.R, 255);

  TLUT white;
  white.fill(255);
  img.SetLUT(white);
  img.UpdateBitmap();
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x) {
      s = At(img, x, y);
      EXPECT_EQ(s.B + s.G + s.R, 765);
    }
}

TEST(Render, MissingPlaneRendersZero) {
  TDataImage img;
  ASSERT_TRUE(img.Allocate(2, 2, 0, false));
  img.FreeData();
  img.BlackPoint = -10.0f;
  img.WhitePoint = 10.0f;
  img.UpdateBitmap();  // 0.0 renders as index 128 (127.5 to even)
  EXPECT_EQ(At(img, 1, 1).G, 128);

  TDataImage colour;
  ASSERT_TRUE(colour.Allocate(2, 2, 0, true));
  colour.FreeData();
  TLUT t;
  t.fill(9);
  colour.SetLUT(t);
  colour.UpdateBitmap();
  EXPECT_EQ(At(colour, 0, 1).R, 9);
}

TEST(Render, BufferGeometry) {
  TFastBMP bmp;
  bmp.SetSize(5, 3);
  EXPECT_EQ(bmp.RowBytes, 16);
  EXPECT_EQ(bmp.RowPad, 1);
  EXPECT_EQ(bmp.ImageBytes, 48u);
  EXPECT_EQ(bmp.BitmapInfo.biSize, 40u);
  EXPECT_EQ(bmp.BitmapInfo.biWidth, 5);
  EXPECT_EQ(bmp.BitmapInfo.biHeight, 3);
  EXPECT_EQ(bmp.BitmapInfo.biBitCount, 24);
  ASSERT_EQ(bmp.Rows.size(), 3u);
  EXPECT_EQ(bmp.Rows[2] - bmp.Rows[0], 32);

  // The same size changes nothing, contents included.
  bmp.Bits[0] = 42;
  std::uint8_t* before = bmp.Bits;
  bmp.SetSize(5, 3);
  EXPECT_EQ(bmp.Bits, before);
  EXPECT_EQ(bmp.Bits[0], 42);

  bmp.SetSize(4, 1);
  EXPECT_EQ(bmp.RowBytes, 12);
  EXPECT_EQ(bmp.RowPad, 0);
  bmp.SetSize(1, 1);
  EXPECT_EQ(bmp.RowBytes, 4);
  EXPECT_EQ(bmp.RowPad, 1);
}

TEST(Render, FastPathMatchesExactIndexEverywhere) {
  // The render classifies pixels 32 at a time; it must agree with the
  // plain formula for every value, including around each boundary, on every
  // tail length, with the palette's three bytes in place: a coloured palette,
  // the grey one (shown without a lookup) and the grey one behind a table
  // that differs from the first in one entry.
  std::mt19937 rng(7);
  const float ranges[][2] = {{0, 255}, {0, 100}, {1000, 50000}, {-5, 3}, {255, 0}, {-1e30f, 1e30f},
                             {0.25f, 0.2500001f}, {37.1f, 37.9f}, {60000, 100}, {0, 1e-30f}};
  TPaletteEntries pal;
  for (int i = 0; i < 256; ++i) pal[i] = TRGBPixel{std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i * 7)};
  struct TLook {
    const char* Name;
    bool Coloured;
    bool TableChanged;  // entry 200 shows entry 7
  };
  const TLook looks[] = {{"coloured", true, false}, {"grey", false, false}, {"grey, one table entry", false, true}};
  for (const auto& path : testsupport::kVectorPaths) {
    testsupport::TVectorPathScope scope(path);
    for (const TLook& look : looks) {
      SCOPED_TRACE(std::string(path.Name) + ", " + look.Name);
      for (const auto& r : ranges) {
        for (int n : {1, 9, 10, 17, 31, 32, 33, 64, 65, 4096}) {
          const float black = r[0], white = r[1];
          TDataImage img;
          ASSERT_TRUE(img.Allocate(n, 2, 3, false));
          if (look.Coloured) img.SetPalette(pal);
          if (look.TableChanged) img.LUT[200] = 7;
          std::uniform_real_distribution<double> d(std::min(black, white) - (std::fabs(white - black) * 0.1),
                                                   std::max(black, white) + (std::fabs(white - black) * 0.1));
          for (int i = 0; i < 2 * n; ++i) img.Pixels[i] = float(d(rng));
          // Values sitting exactly on and next to the half-way points.
          for (int k = 0; k < 256 && k < 2 * n / 3; ++k) {
            const long double at = black + (k + 0.5L) * ((long double)white - black) / 255.0L;
            const float v = float(at);
            img.Pixels[3 * k] = v;
            img.Pixels[3 * k + 1] = std::nextafter(v, -INFINITY);
            img.Pixels[3 * k + 2] = std::nextafter(v, INFINITY);
          }
          img.Pixels[2 * n - 1] = std::nanf("");
          img.BlackPoint = black;
          img.WhitePoint = white;
          img.UpdateBitmap();
          // The rendering rule written out: Round((v - black) * f), f = 255 /
          // (white - black) in extended precision, halves to even, clamped (NaN
          // shows as 0).
          const long double f = 255.0L / ((long double)white - black);
          for (int i = 0; i < 2 * n; ++i) {
            const long double x = ((long double)img.Pixels[i] - black) * f;
            const int k = x >= 255 ? 255 : x > 0 ? int(std::nearbyint(x)) : 0;
            EXPECT_EQ(TDataImage::DisplayIndex(img.Pixels[i], black, white), k);
            const int e = look.TableChanged && k == 200 ? 7 : k;
            const Shown want = look.Coloured ? Shown{pal[e].Blue, pal[e].Green, pal[e].Red} : Shown{e, e, e};
            const Shown s = At(img, i % n, i / n);
            ASSERT_TRUE(s.B == want.B && s.G == want.G && s.R == want.R)
                << "value " << img.Pixels[i] << " in [" << black << ", " << white << "], width " << n << ": index "
                << k;
          }
        }
      }
    }
  }
}

// The render's quick threshold search against bisection over every float, to
// the bit: ranges whose halfway points are exact (ties), inexact, below zero,
// inverted, one or two floats wide, subnormal, near the float limits, and
// random ones of every scale.
TEST(Render, QuickThresholdsEqualBisection) {
  std::vector<std::pair<float, float>> ranges = {
      {0, 255},        {0, 100},          {1000, 50000},       {-1000, 3.7f},       {-5, 3},
      {255, 0},        {60000, 100},      {-0.0f, 1},          {0.25f, 0.2500001f}, {1, std::nextafter(1.0f, 2.0f)},
      {16777216, 16777218}, {-3.0e38f, 3.0e38f}, {0, 3.4e38f}, {3.4e38f, -3.4e38f}, {-1e-45f, 1e-45f},
      {0, 1e-30f},     {-7.5f, -7.25f},   {1e20f, 1.0000001e20f}};
  std::mt19937 rng(31);
  std::uniform_real_distribution<float> mantissa(-1.0f, 1.0f);
  std::uniform_int_distribution<int> exponent(-140, 120);
  while (ranges.size() < 200) {
    const float a = std::ldexp(mantissa(rng), exponent(rng));
    const float b = rng() % 2 ? a + std::ldexp(mantissa(rng), exponent(rng)) : std::ldexp(mantissa(rng), exponent(rng));
    if (a != b && std::isfinite(b)) ranges.emplace_back(a, b);
  }
  for (const auto& [black, white] : ranges) {
    float quick[257], plain[257];
    TDataImage::DisplayThresholds(black, white, false, quick);
    TDataImage::DisplayThresholds(black, white, true, plain);
    for (int k = 0; k <= 256; ++k)
      ASSERT_EQ(std::memcmp(&quick[k], &plain[k], 4), 0)
          << "[" << black << ", " << white << "] threshold " << k << ": " << quick[k] << " vs " << plain[k];
  }
}

TEST(Render, DisplayIndexFormula) {
  EXPECT_EQ(TDataImage::DisplayIndex(127.5f, 0, 255), 128);
  EXPECT_EQ(TDataImage::DisplayIndex(126.5f, 0, 255), 126);
  EXPECT_EQ(TDataImage::DisplayIndex(50.0f, 0, 100), 128);
  EXPECT_EQ(TDataImage::DisplayIndex(std::nanf(""), 0, 100), 0);
}
