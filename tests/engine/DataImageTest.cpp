#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <random>

#include "VectorPaths.h"
#include "engine/DataImage.h"
#include "platform/PageMemory.h"

TEST(DataImage, CreationValues) {
  TDataImage img;
  EXPECT_TRUE(img.IsColour);
  EXPECT_EQ(img.DataType, 0);
  EXPECT_EQ(img.Width, 0);
  EXPECT_EQ(img.Height, 0);
  EXPECT_EQ(img.Pixels, nullptr);
  EXPECT_EQ(img.RGBPlane, nullptr);
  EXPECT_EQ(img.ComplexPlane, nullptr);
  EXPECT_FALSE(img.HasComplex);
  EXPECT_EQ(img.WhitePoint, 255.0f);
  EXPECT_EQ(img.BlackPoint, 0.0f);
  EXPECT_EQ(img.MaxValue, 0.0f);
  EXPECT_EQ(img.TypeMax, 0.0f);
  EXPECT_EQ(img.ScaleMode, 0);
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(img.LUT[i], i);
    EXPECT_EQ(img.Palette[i].Red, i);
    EXPECT_EQ(img.Palette[i].Green, i);
    EXPECT_EQ(img.Palette[i].Blue, i);
  }
  for (const TComplex& c : img.FFTLine) {
    EXPECT_EQ(c.Re, 0.0f);
    EXPECT_EQ(c.Im, 0.0f);
  }
}

TEST(DataImage, TypeMaxByDataType) {
  const float expected[] = {255.0f, 65535.0f, 4294967296.0f, 2.0e32f};
  for (int t = 0; t < 4; ++t) {
    TDataImage img;
    ASSERT_TRUE(img.Allocate(3, 2, std::uint8_t(t), false));
    EXPECT_EQ(img.TypeMax, expected[t]) << "type " << t;
    EXPECT_EQ(img.DataType, t);
  }
  // 2^32 exactly, not 2^32 - 1.
  TDataImage img;
  img.Allocate(1, 1, 2, false);
  EXPECT_EQ(double(img.TypeMax), 4294967296.0);
  // A type above 3 keeps the type maximum it had.
  img.Allocate(1, 1, 7, false);
  EXPECT_EQ(img.DataType, 7);
  EXPECT_EQ(double(img.TypeMax), 4294967296.0);
}

TEST(DataImage, AllocateGreyAndColour) {
  TDataImage grey;
  ASSERT_TRUE(grey.Allocate(4, 3, 1, false));
  EXPECT_FALSE(grey.IsColour);
  EXPECT_NE(grey.Pixels, nullptr);
  EXPECT_EQ(grey.RGBPlane, nullptr);
  EXPECT_EQ(grey.TypeMax, 65535.0f);

  TDataImage colour;
  ASSERT_TRUE(colour.Allocate(4, 3, 3, true));
  EXPECT_TRUE(colour.IsColour);
  EXPECT_NE(colour.Pixels, nullptr);
  EXPECT_NE(colour.RGBPlane, nullptr);
  EXPECT_EQ(colour.TypeMax, 2.0e32f);
  EXPECT_TRUE(colour.HasPlanes());
}

TEST(DataImage, NewPlanesReadZero) {
  TDataImage img;
  ASSERT_TRUE(img.Allocate(17, 9, 0, true));
  for (int y = 0; y < 9; ++y) {
    for (int x = 0; x < 17; ++x) {
      EXPECT_EQ(img.GetPixel(x, y), 0.0f);
      TRGBPixel p{1, 2, 3};
      img.GetRGB(x, y, p);
      EXPECT_EQ(p.Blue, 0);
      EXPECT_EQ(p.Green, 0);
      EXPECT_EQ(p.Red, 0);
    }
  }
  // A reallocation to another size gives zeros again, not the old contents.
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 17; ++x) img.SetPixel(x, y, 5.0f);
  ASSERT_TRUE(img.Allocate(9, 17, 0, false));
  EXPECT_EQ(img.Width, 9);
  EXPECT_EQ(img.Height, 17);
  EXPECT_EQ(img.RGBPlane, nullptr);
  for (int y = 0; y < 17; ++y)
    for (int x = 0; x < 9; ++x) EXPECT_EQ(img.GetPixel(x, y), 0.0f);
}

TEST(DataImage, RGBByteLayout) {
  TDataImage img;
  ASSERT_TRUE(img.Allocate(5, 4, 0, true));
  const int x = 3, y = 2;
  img.SetRGB(x, y, TRGBPixel{10, 20, 30});
  TRGBPixel back;
  img.GetRGB(x, y, back);
  EXPECT_EQ(back.Blue, 10);
  EXPECT_EQ(back.Green, 20);
  EXPECT_EQ(back.Red, 30);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(img.RGBPlane);
  const int at = (y * 5 + x) * 3;
  EXPECT_EQ(bytes[at], 10);
  EXPECT_EQ(bytes[at + 1], 20);
  EXPECT_EQ(bytes[at + 2], 30);
  // Neighbours untouched.
  EXPECT_EQ(bytes[at - 1], 0);
  EXPECT_EQ(bytes[at + 3], 0);
}

TEST(DataImage, PixelIndexIsRowMajor) {
  TDataImage img;
  ASSERT_TRUE(img.Allocate(5, 3, 3, false));
  img.SetPixel(4, 1, 7.5f);
  EXPECT_EQ(img.Pixels[1 * 5 + 4], 7.5f);
  EXPECT_EQ(img.GetPixel(4, 1), 7.5f);
  EXPECT_EQ(img.GetPixel(1, 4), 0.0f);  // (1, 4) lies outside a 5 x 3 image
}

TEST(DataImage, OutsideCoordinatesReadZeroAndWriteNothing) {
  TDataImage img;
  ASSERT_TRUE(img.Allocate(4, 4, 3, true));
  for (int i = 0; i < 16; ++i) img.Pixels[i] = float(i + 1);
  // x = -1 on row 1 would be pixel (3, 0) by linear index; it is outside.
  EXPECT_EQ(img.GetPixel(-1, 1), 0.0f);
  EXPECT_EQ(img.GetPixel(4, 0), 0.0f);
  EXPECT_EQ(img.GetPixel(0, 4), 0.0f);
  EXPECT_EQ(img.GetPixel(0, -1), 0.0f);
  img.SetPixel(4, 0, 99.0f);
  img.SetPixel(-1, 1, 99.0f);
  img.SetRGB(4, 0, TRGBPixel{9, 9, 9});
  for (int i = 0; i < 16; ++i) EXPECT_EQ(img.Pixels[i], float(i + 1));
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(img.RGBPlane);
  for (int i = 0; i < 48; ++i) EXPECT_EQ(bytes[i], 0);
  TRGBPixel p{1, 1, 1};
  img.GetRGB(-1, 0, p);
  EXPECT_EQ(p.Red + p.Green + p.Blue, 0);
}

TEST(DataImage, RefusedSizesLeaveNoPlanes) {
  TDataImage img;
  ASSERT_TRUE(img.Allocate(8, 8, 1, false));
  EXPECT_FALSE(img.Allocate(-1, 5, 1, false));
  EXPECT_EQ(img.Pixels, nullptr);
  EXPECT_EQ(img.Width, 8);  // sizes unchanged
  EXPECT_EQ(img.Height, 8);
  EXPECT_EQ(img.GetPixel(0, 0), 0.0f);
  img.SetPixel(0, 0, 1.0f);  // harmless

  // 65536 x 65536 overflows a 32-bit count to 0; here it is simply too big.
  PageMemory::SetLimit(std::uint64_t(1) << 30);
  EXPECT_FALSE(img.Allocate(65536, 65536, 0, false));
  EXPECT_EQ(img.Pixels, nullptr);
  EXPECT_FALSE(img.Allocate(std::numeric_limits<int>::max(), std::numeric_limits<int>::max(), 3, true));
  EXPECT_FALSE(img.AllocateComplex(16384, 16384));  // 2 GiB of pairs
  EXPECT_FALSE(img.HasComplex);
  PageMemory::SetLimit(0);
  EXPECT_TRUE(img.Allocate(8, 8, 1, false));
}

TEST(DataImage, ZeroSizeImage) {
  TDataImage img;
  EXPECT_TRUE(img.Allocate(0, 10, 0, false));
  EXPECT_EQ(img.Pixels, nullptr);
  EXPECT_EQ(img.PixelCount(), 0);
  img.AutoScale();
  EXPECT_EQ(img.WhitePoint, 0.0f);
  EXPECT_EQ(img.BlackPoint, 2.0e32f);
  img.UpdateBitmap();
  EXPECT_EQ(img.Bitmap.ImageBytes, 0u);
}

TEST(DataImage, FreeDataTwiceIsHarmless) {
  TDataImage img;
  ASSERT_TRUE(img.Allocate(6, 6, 0, true));
  img.FreeData();
  EXPECT_EQ(img.Pixels, nullptr);
  EXPECT_EQ(img.RGBPlane, nullptr);
  EXPECT_EQ(img.Width, 6);  // left as it was
  EXPECT_TRUE(img.IsColour);
  EXPECT_EQ(img.GetPixel(1, 1), 0.0f);
  img.FreeData();
  ASSERT_TRUE(img.Allocate(2, 2, 0, false));
  EXPECT_EQ(img.GetPixel(1, 1), 0.0f);
}

TEST(DataImage, ComplexPlane) {
  TDataImage img;
  ASSERT_TRUE(img.Allocate(4, 4, 3, false));
  TComplex c{1, 1};
  img.GetComplex(0, 0, c);  // no plane yet
  EXPECT_EQ(c.Re, 0.0f);
  ASSERT_TRUE(img.AllocateComplex(4, 4));
  EXPECT_TRUE(img.HasComplex);
  img.GetComplex(3, 3, c);
  EXPECT_EQ(c.Re, 0.0f);
  EXPECT_EQ(c.Im, 0.0f);
  img.SetComplex(2, 1, TComplex{1.5f, -2.5f});
  EXPECT_EQ(img.ComplexPlane[1 * 4 + 2].Re, 1.5f);
  EXPECT_EQ(img.ComplexPlane[1 * 4 + 2].Im, -2.5f);
  img.GetComplex(2, 1, c);
  EXPECT_EQ(c.Im, -2.5f);
  img.FreeComplex();
  EXPECT_FALSE(img.HasComplex);
  img.GetComplex(2, 1, c);
  EXPECT_EQ(c.Re, 0.0f);

  // A plane smaller than the image: indices beyond it read zero.
  ASSERT_TRUE(img.AllocateComplex(2, 2));
  EXPECT_EQ(img.ComplexCount(), 4);
  img.SetComplex(3, 3, TComplex{7, 7});
  img.GetComplex(3, 3, c);
  EXPECT_EQ(c.Re, 0.0f);
  img.SetComplex(3, 0, TComplex{7, 7});  // index 3 is inside the plane
  EXPECT_EQ(img.ComplexPlane[3].Re, 7.0f);
}

TEST(DataImage, AutoScaleSeeds) {
  TDataImage img;
  ASSERT_TRUE(img.Allocate(5, 1, 3, false));
  const float negatives[] = {-1.0f, -5.0f, -3.0f, -2.0f, -4.0f};
  for (int x = 0; x < 5; ++x) img.SetPixel(x, 0, negatives[x]);
  img.AutoScale();
  EXPECT_EQ(img.WhitePoint, 0.0f);  // the maximum starts at 0.0
  EXPECT_EQ(img.BlackPoint, -5.0f);

  TDataImage zeros;
  ASSERT_TRUE(zeros.Allocate(3, 3, 0, false));
  zeros.AutoScale();
  EXPECT_EQ(zeros.WhitePoint, 0.0f);
  EXPECT_EQ(zeros.BlackPoint, 0.0f);

  TDataImage big;
  ASSERT_TRUE(big.Allocate(2, 1, 3, false));
  big.SetPixel(0, 0, 3.0e32f);  // above the minimum's seed
  big.SetPixel(1, 0, 2.5e32f);
  big.AutoScale();
  EXPECT_EQ(big.WhitePoint, 3.0e32f);
  EXPECT_EQ(big.BlackPoint, 2.0e32f);
}

TEST(DataImage, CalcMaxValueSeed) {
  TDataImage img;
  ASSERT_TRUE(img.Allocate(3, 2, 3, false));
  for (int i = 0; i < 6; ++i) img.Pixels[i] = -float(i + 1);
  img.CalcMaxValue();
  EXPECT_EQ(img.MaxValue, 0.0f);
  img.SetPixel(2, 1, 12.25f);
  img.CalcMaxValue();
  EXPECT_EQ(img.MaxValue, 12.25f);
}

TEST(DataImage, PaletteIsStoredByChannelName) {
  TDataImage img;
  TPaletteEntries entries;
  for (int i = 0; i < 256; ++i) entries[i] = TRGBPixel{std::uint8_t(i), std::uint8_t(255 - i), 7};
  img.SetPalette(entries);
  EXPECT_EQ(img.Palette[10].Blue, 10);
  EXPECT_EQ(img.Palette[10].Green, 245);
  EXPECT_EQ(img.Palette[10].Red, 7);
}

TEST(DataImage, LUTOperations) {
  TDataImage img;
  TLUT t;
  for (int i = 0; i < 256; ++i) t[i] = std::uint8_t(255 - i);
  img.SetLUT(t);
  TLUT back{};
  img.GetLUT(back);
  EXPECT_EQ(back, t);
  img.ResetLUT();
  for (int i = 0; i < 256; ++i) EXPECT_EQ(img.LUT[i], i);
}

TEST(DataImage, ExtremesOnLargeImagesMatchOnePass) {
  // Large enough to be split across threads; the extremes sit in late chunks.
  TDataImage img;
  const int w = 1000, h = 700;
  ASSERT_TRUE(img.Allocate(w, h, 3, false));
  for (int i = 0; i < w * h; ++i) img.Pixels[i] = float((std::int64_t(i) * 7919) % 1000) - 500.0f;
  img.Pixels[w * h - 3] = 1.0e6f;
  img.Pixels[w * h - 2] = -7.0e5f;
  img.AutoScale();
  EXPECT_EQ(img.WhitePoint, 1.0e6f);
  EXPECT_EQ(img.BlackPoint, -7.0e5f);
  img.CalcMaxValue();
  EXPECT_EQ(img.MaxValue, 1.0e6f);
  for (int i = 0; i < w * h; ++i) img.Pixels[i] = -1.0f - float(i % 3);
  img.AutoScale();
  EXPECT_EQ(img.WhitePoint, 0.0f);
  EXPECT_EQ(img.BlackPoint, -3.0f);
}

// The extremes found eight and thirty-two at a time against one serial pass
// from the seeds, to the bit: planes of every tail length, with zeros of both
// signs (the first zero met is the minimum), NaNs (skipped), values beyond
// the seeds, and more than one chunk.
TEST(DataImage, AutoScaleEqualsOneSerialPass) {
  struct TCase {
    const char* Name;
    float NegZero, PosZero, NaN, Huge, Negative;  // shares of such pixels
  };
  const TCase cases[] = {{"plain", 0, 0, 0, 0, 0},        {"zeros, -0 first", 0.3f, 0.3f, 0, 0, 0},
                         {"NaNs", 0, 0.01f, 0.2f, 0, 0},   {"beyond seeds", 0, 0, 0, 0.5f, 0},
                         {"negatives", 0.1f, 0.1f, 0, 0, 0.5f}, {"all zeros", 0.5f, 0.5f, 0, 0, 0}};
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> u(0.0f, 1.0f), value(1.0f, 60000.0f);
  for (const auto& path : testsupport::kVectorPaths) {
    for (const TCase& c : cases) {
      for (int n : {1, 7, 31, 32, 33, 100, 65536 + 37, 3 * 65536 + 5}) {
        SCOPED_TRACE(std::string(path.Name) + " " + c.Name + " " + std::to_string(n));
        testsupport::TVectorPathScope scope(path);
        TDataImage img;
        ASSERT_TRUE(img.Allocate(n, 1, 3, false));
        for (int i = 0; i < n; ++i) {
          const float r = u(rng);
          float v = value(rng);
          float edge = c.NegZero;
          if (r < edge) v = -0.0f;
          else if (r < (edge += c.PosZero)) v = 0.0f;
          else if (r < (edge += c.NaN)) v = std::numeric_limits<float>::quiet_NaN();
          else if (r < (edge += c.Huge)) v = 3.0e32f * (1 + u(rng));
          else if (r < (edge += c.Negative)) v = -v;
          img.Pixels[i] = v;
        }
        float mx = 0.0f, mn = 2.0e32f;
        for (int i = 0; i < n; ++i) {
          const float v = img.Pixels[i];
          mx = mx < v ? v : mx;
          mn = mn > v ? v : mn;
        }
        img.AutoScale();
        EXPECT_EQ(std::memcmp(&img.WhitePoint, &mx, 4), 0) << img.WhitePoint << " " << mx;
        EXPECT_EQ(std::memcmp(&img.BlackPoint, &mn, 4), 0) << img.BlackPoint << " " << mn;
        img.CalcMaxValue();
        EXPECT_EQ(std::memcmp(&img.MaxValue, &mx, 4), 0);
      }
    }
  }
}
