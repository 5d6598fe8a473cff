// Modelled and extracted point-spread functions.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "engine/Errors.h"
#include "engine/PSF.h"

namespace {

class ErrorRecorder {
 public:
  ErrorRecorder() {
    previous_ = SetInternalErrorHandler([this](int c) { codes.push_back(c); });
  }
  ~ErrorRecorder() { SetInternalErrorHandler(previous_); }
  std::vector<int> codes;

 private:
  TInternalErrorHandler previous_;
};

// An image whose every pixel tells where it is.
void Numbered(TDataImage& img, int w, int h) {
  ASSERT_TRUE(img.Allocate(w, h, 3, false));
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) img.Pixels[y * w + x] = float(1000 * y + x + 1);
  }
}

void ExpectPSFImage(const TDataImage& p, int w, int h) {
  EXPECT_EQ(p.Width, w);
  EXPECT_EQ(p.Height, h);
  EXPECT_EQ(p.DataType, 3);
  EXPECT_FALSE(p.IsColour);
  EXPECT_TRUE(p.HasComplex);
  EXPECT_GE(p.ComplexCount(), p.PixelCount());
}

}  // namespace

TEST(PSF, GaussianCentredOnTheOrigin) {
  ErrorRecorder rec;
  auto p = CreateGaussianPSF(64, 64, 2.0f);
  ASSERT_TRUE(p);
  ExpectPSFImage(*p, 64, 64);
  EXPECT_EQ(p->GetPixel(0, 0), 1.0f);
  const float e = float(std::exp(-1.0 / 8));
  EXPECT_FLOAT_EQ(p->GetPixel(1, 0), e);
  EXPECT_FLOAT_EQ(p->GetPixel(63, 0), e);
  EXPECT_FLOAT_EQ(p->GetPixel(0, 1), e);
  EXPECT_FLOAT_EQ(p->GetPixel(1, 1), float(std::exp(-1.0 / 8) * std::exp(-1.0 / 8)));
  EXPECT_EQ(p->GetPixel(32, 5), 0.0f) << "exp(-128) is below the Single range";
  EXPECT_EQ(rec.codes, std::vector<int>{0});

  // Column 32 holds distance 32 from the centre.
  auto wide = CreateGaussianPSF(64, 32, 20.0f);
  ASSERT_TRUE(wide);
  ExpectPSFImage(*wide, 64, 32);
  EXPECT_FLOAT_EQ(wide->GetPixel(32, 0), float(std::exp(-1024.0 / 800)));
  EXPECT_FLOAT_EQ(wide->GetPixel(32, 3), float(std::exp(-1024.0 / 800) * std::exp(-9.0 / 800)));
  EXPECT_FLOAT_EQ(wide->GetPixel(0, 16), float(std::exp(-256.0 / 800)));
}

TEST(PSF, ExponentialDividesByTheRadiusTwice) {
  auto p = CreateExponentialPSF(64, 64, 2.0f);
  ASSERT_TRUE(p);
  ExpectPSFImage(*p, 64, 64);
  EXPECT_EQ(p->GetPixel(0, 0), 1.0f);
  EXPECT_FLOAT_EQ(p->GetPixel(1, 0), float(std::exp(-0.25)));
  EXPECT_FLOAT_EQ(p->GetPixel(0, 63), float(std::exp(-0.25)));
  EXPECT_FLOAT_EQ(p->GetPixel(2, 63), float(std::exp(-0.5) * std::exp(-0.25)));
}

TEST(PSF, ModelRadiusZeroFailsAndATinyRadiusUnderflows) {
  ErrorRecorder rec;
  EXPECT_FALSE(CreateGaussianPSF(64, 64, 0.0f));
  EXPECT_FALSE(CreateExponentialPSF(64, 64, 0.0f));
  EXPECT_EQ(rec.codes, (std::vector<int>{errCreatePSF, errCreatePSF}));
  rec.codes.clear();
  auto p = CreateGaussianPSF(64, 64, 1e-5f);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->GetPixel(0, 0), 1.0f);
  EXPECT_EQ(p->GetPixel(1, 0), 0.0f);
  EXPECT_EQ(rec.codes, std::vector<int>{0});
}

TEST(PSF, ExtractReflectsTheStarAboutTheOrigin) {
  ErrorRecorder rec;
  TDataImage img;
  Numbered(img, 32, 32);
  auto p = ExtractPSF(64, 64, 3, 10.0f, 12.0f, img);
  ASSERT_TRUE(p);
  ExpectPSFImage(*p, 64, 64);
  EXPECT_EQ(p->GetPixel(0, 0), img.GetPixel(10, 12));
  EXPECT_EQ(p->GetPixel(63, 0), img.GetPixel(11, 12)) << "right neighbour to the last column";
  EXPECT_EQ(p->GetPixel(1, 0), img.GetPixel(9, 12));
  EXPECT_EQ(p->GetPixel(0, 63), img.GetPixel(10, 13));
  EXPECT_EQ(p->GetPixel(61, 0), img.GetPixel(13, 12)) << "distance exactly R is included";
  EXPECT_EQ(p->GetPixel(0, 3), img.GetPixel(10, 9));
  EXPECT_EQ(p->GetPixel(62, 61), 0.0f) << "(2, 3) from the centre lies outside R";
  int nonzero = 0;
  for (int i = 0; i < 64 * 64; ++i) nonzero += p->Pixels[i] != 0.0f;
  EXPECT_EQ(nonzero, 29) << "the lattice points within distance 3";
  EXPECT_EQ(rec.codes, std::vector<int>{0});
}

TEST(PSF, ExtractStaysInsideTheFrameAndTheImage) {
  ErrorRecorder rec;
  TDataImage img;
  Numbered(img, 300, 300);
  // A radius far beyond the frame: only what the frame holds is kept.
  auto p = ExtractPSF(64, 64, 255, 150.0f, 150.0f, img);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->GetPixel(32, 0), img.GetPixel(182, 150));
  EXPECT_EQ(p->GetPixel(33, 0), img.GetPixel(181, 150));
  EXPECT_EQ(p->GetPixel(31, 0), img.GetPixel(119, 150));
  EXPECT_EQ(p->GetPixel(32, 32), img.GetPixel(182, 182));

  // A star near the corner: pixels beyond the image count as 0.
  TDataImage small;
  Numbered(small, 20, 20);
  auto q = ExtractPSF(64, 64, 3, 1.0f, 1.0f, small);
  ASSERT_TRUE(q);
  EXPECT_EQ(q->GetPixel(0, 0), small.GetPixel(1, 1));
  EXPECT_EQ(q->GetPixel(1, 0), small.GetPixel(0, 1));
  EXPECT_EQ(q->GetPixel(2, 0), 0.0f);
  EXPECT_EQ(q->GetPixel(0, 2), 0.0f);
  EXPECT_EQ(q->GetPixel(62, 0), small.GetPixel(3, 1));
  EXPECT_EQ(rec.codes, (std::vector<int>{0, 0}));
}

TEST(PSF, ExtractWithTheCentreOnAHalfPixelLeavesNoHoles) {
  TDataImage img;
  Numbered(img, 32, 32);
  auto p = ExtractPSF(64, 64, 2, 10.5f, 12.0f, img);
  ASSERT_TRUE(p);
  // Columns 9..12 of row 12 are within 2 of x = 10.5; each keeps its own place.
  EXPECT_EQ(p->GetPixel(2, 0), img.GetPixel(9, 12));
  EXPECT_EQ(p->GetPixel(1, 0), img.GetPixel(10, 12));
  EXPECT_EQ(p->GetPixel(0, 0), img.GetPixel(11, 12));
  EXPECT_EQ(p->GetPixel(63, 0), img.GetPixel(12, 12));
}
