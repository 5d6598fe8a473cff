// The number each image operation reports when it fails, asserted as the
// number the user reads in the error box (not through the enum's names, so a
// renumbering of the table fails here).
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/ColGeometry.h"
#include "engine/ColMath.h"
#include "engine/ColProcessing.h"
#include "engine/ColStatistics.h"
#include "engine/DataImage.h"
#include "engine/Errors.h"
#include "engine/Geometry.h"
#include "engine/ImageMath.h"
#include "engine/LucyRichardson1.h"
#include "engine/MaximumEntropy.h"
#include "engine/MeasureSource.h"
#include "engine/PSF.h"
#include "engine/Processing.h"
#include "engine/RegisterImages.h"
#include "engine/Statistics.h"
#include "engine/VanCittert.h"
#include "engine/photometry.h"

namespace {

struct Codes {
  std::vector<int> Seen;
  TInternalErrorHandler Previous;
  TWarningHandler PreviousWarning;
  Codes() {
    Previous = SetInternalErrorHandler([this](int c) { Seen.push_back(c); });
    PreviousWarning = SetWarningHandler([](const std::string&) {});
  }
  ~Codes() {
    SetInternalErrorHandler(Previous);
    SetWarningHandler(PreviousWarning);
  }
};

// Two images of different sides: every routine that takes a destination and a
// source of the same size must refuse the pair.
struct Pair {
  TDataImage Big, Small, BigColour, SmallColour, Odd, OddColour;
  Pair() {
    Big.Allocate(8, 8, 3, false);
    Small.Allocate(4, 4, 3, false);
    BigColour.Allocate(8, 8, 0, true);
    SmallColour.Allocate(4, 4, 0, true);
    Odd.Allocate(6, 8, 3, false);
    OddColour.Allocate(6, 8, 0, true);
    for (std::int64_t i = 0; i < Big.PixelCount(); ++i) {
      Big.Pixels[i] = float(1 + i % 7);
      BigColour.Pixels[i] = float(1 + i % 7);
      BigColour.RGBPlane[i] = TRGBPixel{std::uint8_t(i), std::uint8_t(2 * i), std::uint8_t(3 * i)};
    }
    for (std::int64_t i = 0; i < Odd.PixelCount(); ++i) Odd.Pixels[i] = OddColour.Pixels[i] = 1.0f;
  }
};

struct Window : IMeasureSource {
  TDataImage Img;
  const TDataImage& Image() const override { return Img; }
  bool GetSelection(int&, int&, int&, int&) const override { return false; }
  int ApertureCount() const override { return 0; }
  TApertureRec Aperture(int) const override { return {}; }
};

struct Case {
  const char* Routine;
  int Number;  // as the user reads it in the error box
  std::function<void(Pair&)> Fail;
};

}  // namespace

// Crop, ColCrop and ColCalcRegionHistogram have no failure a caller can
// provoke (every rectangle is valid, outside pixels read 0); their numbers
// are shared with SubtractDark, FlatFieldDivide and ColRotate, checked here.
TEST(ErrorNumbers, EveryOperationReportsItsOwnNumber) {
  TFilterKernel kernel{};
  kernel[1][1] = 1.0f;
  TMarkerPairArray markers{};
  const std::vector<Case> cases = {
      {"ColBrightnessContrast", 1, [](Pair& p) { ColBrightnessContrast(10, 10, p.SmallColour, p.BigColour); }},
      {"ColGamma", 2, [](Pair& p) { ColGamma(p.SmallColour, p.BigColour, 1.5f); }},
      {"ColGamma of 0", 2, [](Pair& p) { ColGamma(p.BigColour, p.BigColour, 0.0f); }},
      {"ColLinearScale", 3, [](Pair& p) { ColLinearScale(10, 200, p.SmallColour, p.BigColour); }},
      {"ColLogScale", 4, [](Pair& p) { ColLogScale(p.SmallColour, p.BigColour, 2.0f); }},
      {"ColDDP", 5, [](Pair& p) { ColDDP(0, 0, 1, 100.0f, 0.0f, 1.0f, 2, p.SmallColour, p.BigColour); }},
      {"MakeLinearTable", 8, [](Pair&) {
         TLUT t{};
         MakeLinearTable(t, 7.0f, 7.0f);
       }},
      {"ColConvolvePreset", 11, [](Pair& p) { ColConvolvePreset(1, p.SmallColour, p.BigColour); }},
      {"ColGradient", 12, [](Pair& p) { ColGradient(p.SmallColour, p.BigColour); }},
      {"ColBoxFilter", 13, [](Pair& p) { ColBoxFilter(0, p.SmallColour, p.BigColour); }},
      {"ColMedianFilter", 14, [](Pair& p) { ColMedianFilter(0, p.SmallColour, p.BigColour); }},
      {"ColMinMaxFilter", 14, [](Pair& p) { ColMinMaxFilter(0, 0, p.SmallColour, p.BigColour); }},
      {"ColColourBalance", 15, [](Pair& p) { ColColourBalance(1, 2, 3, p.SmallColour, p.BigColour); }},
      {"ColResample", 16, [](Pair& p) { ColResample(4, 0, p.SmallColour, p.BigColour); }},
      {"ColRotate", 17, [](Pair& p) { ColRotate(p.BigColour, p.BigColour, 10.0f); }},
      {"ColCalcRegionStatistics", 18, [](Pair& p) {
         TColRegionStatistics s;
         ColCalcRegionStatistics(2, 0, 1, 0, p.BigColour, s);
       }},
      {"ColUnsharpMask", 19, [](Pair& p) { ColUnsharpMask(1, p.SmallColour, p.BigColour, 1.0f); }},
      {"ColPixelMath", 19, [](Pair& p) { ColPixelMath(0, p.SmallColour, p.BigColour, 1.0f); }},
      {"ColCustomFilter", 20, [&](Pair& p) { ColCustomFilter(kernel, p.SmallColour, p.BigColour); }},
      {"ColFlip", 21, [](Pair& p) { ColFlip(0, p.BigColour, p.BigColour); }},
      {"ColImageArithmetic", 22,
       [](Pair& p) { ColImageArithmetic(0, 0, 0, 1.0f, 1.0f, p.BigColour, p.SmallColour, p.BigColour); }},
      {"BrightnessContrast", 24, [](Pair& p) { BrightnessContrast(10, 10, p.Small, p.Big); }},
      {"Gamma", 25, [](Pair& p) { Gamma(p.Small, p.Big, 1.5f); }},
      {"Gamma of 0", 25, [](Pair& p) { Gamma(p.Big, p.Big, 0.0f); }},
      {"LinearStretch", 26, [](Pair& p) { LinearStretch(p.Small, p.Big, 0.0f, 5.0f); }},
      {"LinearStretch low = high", 26, [](Pair& p) { LinearStretch(p.Big, p.Big, 5.0f, 5.0f); }},
      {"LogScale", 27, [](Pair& p) { LogScale(p.Small, p.Big, 2.0f); }},
      {"DDP", 28, [](Pair& p) { DDP(0, p.Small, p.Big, 100.0f, 0.0f, 1.0f); }},
      {"Filter3x3", 29, [](Pair& p) { Filter3x3(1, p.Small, p.Big); }},
      {"SobelFilter", 30, [](Pair& p) { SobelFilter(p.Small, p.Big); }},
      {"MeanFilter", 31, [](Pair& p) { MeanFilter(0, p.Small, p.Big); }},
      {"MedianFilter", 32, [](Pair& p) { MedianFilter(0, p.Small, p.Big); }},
      {"MinMaxFilter", 33, [](Pair& p) { MinMaxFilter(0, 0, p.Small, p.Big); }},
      {"CustomFilter", 34, [&](Pair& p) { CustomFilter(kernel, p.Small, p.Big); }},
      {"UnsharpMask", 35, [](Pair& p) { UnsharpMask(1, p.Small, p.Big, 1.0f); }},
      {"Rotate", 36, [](Pair& p) { Rotate(p.Big, p.Big, 10.0f); }},
      {"Flip", 37, [](Pair& p) { Flip(0, p.Big, p.Big); }},
      {"Resample", 38, [](Pair& p) { Resample(0, 4, p.Small, p.Big); }},
      {"CalcRegionStatistics", 39, [](Pair& p) {
         TRegionStatistics s;
         CalcRegionStatistics(2, 0, 1, 0, p.Big, s);
       }},
      {"CalcRegionHistogram", 40, [](Pair& p) {
         TRegionHistogram h;
         CalcRegionHistogram(2, 0, 1, 0, p.Big, h);
       }},
      {"PixelMath", 41, [](Pair& p) { PixelMath(0, p.Small, p.Big, 1.0f); }},
      {"ImageArithmetic", 42, [](Pair& p) { ImageArithmetic(0, 0, 0, 1.0f, 1.0f, p.Big, p.Small, p.Big); }},
      {"ImageArithmetic divide by 0", 42, [](Pair& p) { ImageArithmetic(3, 0, 0, 0.0f, 1.0f, p.Big, p.Big, p.Small); }},
      {"RegisterLinear", 44, [&](Pair& p) { RegisterLinear(1, markers, 0, p.Big, p.Big, p.Small); }},
      {"RegisterQuadratic", 45, [&](Pair& p) { RegisterQuadratic(2, markers, 0, p.Big, p.Big, p.Small); }},
      {"NoiseFilter", 47, [](Pair& p) { NoiseFilter(3, p.Small, p.Big, 1.0f); }},
      {"AdaptiveMMSE", 48, [](Pair& p) { AdaptiveMMSE(3, p.Small, p.Big, 1.0f); }},
      {"AdaptiveDWMTM", 49, [](Pair& p) { AdaptiveDWMTM(p.Small, p.Big, 1.0f, 1.0f); }},
      {"ContraHarmonic", 50, [](Pair& p) { ContraHarmonic(1, 3, p.Small, p.Big); }},
      {"AlphaTrimmed", 51, [](Pair& p) { AlphaTrimmed(1, 3, p.Small, p.Big); }},
      {"FlatFieldDivide", 52, [](Pair& p) { FlatFieldDivide(p.Big, p.Small); }},
      {"SubtractDark", 53, [](Pair& p) { SubtractDark(p.Big, p.Big, p.Small); }},
      {"SubtractBias", 54, [](Pair& p) { SubtractBias(p.Big, p.Big, p.Small); }},
      {"HomomorphicFilter", 55, [](Pair& p) { HomomorphicFilter(p.Big, p.Odd, 0.5f, 0.5f, 1.0f); }},
      {"FFTFilter", 56, [](Pair& p) { FFTFilter(1, p.Big, p.Odd, 0.5f, 1.0f, 1.0f); }},
      {"CreateGaussianPSF", 100, [](Pair&) { CreateGaussianPSF(16, 16, 0.0f); }},
      {"CreateExponentialPSF", 100, [](Pair&) { CreateExponentialPSF(16, 16, 0.0f); }},
      {"ExtractPSF", 101, [](Pair& p) { ExtractPSF(0, 16, 2, 4.0f, 4.0f, p.Big); }},
      {"LucyRichardsonDeconvolve", 106, [](Pair& p) { LucyRichardsonDeconvolve(1, p.Odd, p.Odd); }},
      {"MaximumEntropyDeconvolve", 107, [](Pair& p) { MaximumEntropyDeconvolve(1, p.Odd, p.Odd); }},
      {"VanCittertDeconvolve", 107, [](Pair& p) { VanCittertDeconvolve(1, p.Odd, p.Odd); }},
      {"ColHSIAdjust", 108, [](Pair& p) { ColHSIAdjust(p.SmallColour, p.BigColour, 10.0f, 0.1f, 0.1f); }},
      {"MeasureAperture", 201, [](Pair&) {
         Window w;
         double flux = 0, zero = 0, sky = 0, status = 0;
         MeasureAperture(0, flux, zero, sky, status, w);
       }},
  };
  for (const Case& c : cases) {
    Pair p;
    Codes rec;
    c.Fail(p);
    EXPECT_EQ(rec.Seen, std::vector<int>{c.Number}) << c.Routine;
  }
}
