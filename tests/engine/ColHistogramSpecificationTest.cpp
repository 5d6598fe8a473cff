// Colour histogram equalisation and matching on the HSV value.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "EngineHookRecorder.h"
#include "engine/Checked.h"
#include "engine/ColHistogramSpecification.h"

namespace {

TRGBPixel Rgb(int r, int g, int b) {
  TRGBPixel p;
  p.Red = std::uint8_t(r), p.Green = std::uint8_t(g), p.Blue = std::uint8_t(b);
  return p;
}

void Make(TDataImage& img, const std::vector<TRGBPixel>& v) {
  ASSERT_TRUE(img.Allocate(int(v.size()), 1, 0, true));
  std::copy(v.begin(), v.end(), img.RGBPlane);
}

void Copy(TDataImage& dst, const TDataImage& src) {
  ASSERT_TRUE(dst.Allocate(src.Width, src.Height, 0, true));
  std::copy(src.RGBPlane, src.RGBPlane + src.PixelCount(), dst.RGBPlane);
}

using Routine = std::function<void(TDataImage&, const TDataImage&)>;

const std::vector<std::pair<const char*, Routine>> Routines = {
    {"equalise", [](TDataImage& d, const TDataImage& s) { ColHistogramEqualise(d, s); }},
    {"gaussian", [](TDataImage& d, const TDataImage& s) { ColHistogramSpecGaussian(d, s, 128, 16 / 1024.0); }},
    {"exponential", [](TDataImage& d, const TDataImage& s) { ColHistogramSpecExponential(d, s, 128); }},
    {"parabolic", [](TDataImage& d, const TDataImage& s) { ColHistogramSpecParabolic(d, s); }},
    {"cubic", [](TDataImage& d, const TDataImage& s) { ColHistogramSpecCubic(d, s); }},
    {"linear", [](TDataImage& d, const TDataImage& s) { ColHistogramSpecLinear(d, s); }},
};

bool Same(const TRGBPixel& a, const TRGBPixel& b) { return a.Red == b.Red && a.Green == b.Green && a.Blue == b.Blue; }

}  // namespace

TEST(ColHistogramSpecification, WorkedExample) {
  // Values 0 and 100: cumulative 1 and 3 of a largest 4 (bin 101 adds the
  // count of bin 100 once more), so 63.75 and 191.25.
  TDataImage src, dst;
  Make(src, {Rgb(0, 0, 0), Rgb(100, 100, 100)});
  Copy(dst, src);
  ColHistogramEqualise(dst, src);
  EXPECT_TRUE(Same(dst.RGBPlane[0], Rgb(64, 64, 64)));
  EXPECT_TRUE(Same(dst.RGBPlane[1], Rgb(191, 191, 191)));
  // The linear target's inverse table (worked with numpy) sends 64 to 33 and
  // 191 to 126.
  Copy(dst, src);
  ColHistogramSpecLinear(dst, src);
  EXPECT_TRUE(Same(dst.RGBPlane[0], Rgb(33, 33, 33)));
  EXPECT_TRUE(Same(dst.RGBPlane[1], Rgb(126, 126, 126)));
}

TEST(ColHistogramSpecification, GreyStaysGreyAndHueIsKept) {
  std::mt19937 rng(6);
  std::vector<TRGBPixel> pixels;
  for (int i = 0; i < 3000; ++i) {
    const int v = int(rng() % 256);
    pixels.push_back(i % 2 ? Rgb(v, v, v) : Rgb(int(rng() % 256), int(rng() % 256), int(rng() % 256)));
  }
  TDataImage src;
  Make(src, pixels);
  for (const auto& r : Routines) {
    TDataImage dst;
    Copy(dst, src);
    r.second(dst, src);
    for (int i = 0; i < 3000; ++i) {
      const TRGBPixel p = dst.RGBPlane[i], s = src.RGBPlane[i];
      if (i % 2) {
        ASSERT_TRUE(p.Red == p.Green && p.Green == p.Blue) << r.first << " pixel " << i;
      } else {
        // The brightest channel stays the brightest.
        const int sm = std::max({s.Red, s.Green, s.Blue});
        if (sm == s.Red && p.Red != std::max({p.Red, p.Green, p.Blue})) ADD_FAILURE() << r.first << " pixel " << i;
      }
    }
  }
}

TEST(ColHistogramSpecification, ExponentialIgnoresItsParameterAndZeroTargetIsRefused) {
  TDataImage src, a, b;
  std::vector<TRGBPixel> pixels;
  for (int i = 0; i < 256; ++i) pixels.push_back(Rgb(i, (i * 7) % 256, 255 - i));
  Make(src, pixels);
  Copy(a, src);
  Copy(b, src);
  ColHistogramSpecExponential(a, src, 1);
  ColHistogramSpecExponential(b, src, 255);
  for (int i = 0; i < 256; ++i) ASSERT_TRUE(Same(a.RGBPlane[i], b.RGBPlane[i]));

  TColHistogramTarget zero{};
  Copy(a, src);
  EXPECT_THROW(ColHistogramMatch(zero, a, src), EngineFault);
  Copy(b, src);
  ColHistogramEqualise(b, src);
  for (int i = 0; i < 256; ++i) ASSERT_TRUE(Same(a.RGBPlane[i], b.RGBPlane[i]));
}

TEST(ColHistogramSpecification, LinearTargetFallsFrom255To0) {
  TDataImage src, a, b;
  std::mt19937 rng(12);
  std::vector<TRGBPixel> pixels;
  for (int i = 0; i < 4000; ++i) pixels.push_back(Rgb(int(rng() % 256), int(rng() % 200), int(rng() % 120)));
  Make(src, pixels);
  TColHistogramTarget falling;
  for (int i = 0; i < 256; ++i) falling[std::size_t(i)] = float(255 - i);
  EXPECT_EQ(falling.front(), 255.0f);
  EXPECT_EQ(falling.back(), 0.0f);
  Copy(a, src);
  Copy(b, src);
  ColHistogramSpecLinear(a, src);
  ColHistogramMatch(falling, b, src);
  for (int i = 0; i < 4000; ++i) ASSERT_TRUE(Same(a.RGBPlane[i], b.RGBPlane[i])) << i;
  // A rising target gives another result: the direction of the shape matters.
  TColHistogramTarget rising;
  for (int i = 0; i < 256; ++i) rising[std::size_t(i)] = float(i);
  Copy(b, src);
  ColHistogramMatch(rising, b, src);
  int differ = 0;
  for (int i = 0; i < 4000; ++i) differ += !Same(a.RGBPlane[i], b.RGBPlane[i]);
  EXPECT_GT(differ, 1000);
}

TEST(ColHistogramSpecification, GreyPixelsMatchNumpyReplica) {
  // On pure grey pixels hue and saturation drop out, so the bins, the
  // cumulative table and the inverse table show directly in the bytes.
  ASSERT_EQ(std::system("/usr/bin/python3 -c 'import numpy' 2>/dev/null"), 0)
      << "python3-numpy is missing: the cross-check cannot run";
  const std::string in = UniqueTempFile("chs_in.u8"), out = UniqueTempFile("chs_out.u8");
  std::mt19937 rng(19);
  std::gamma_distribution<double> g(2.0, 20.0);
  std::vector<TRGBPixel> pixels;
  std::vector<std::uint8_t> bytes;
  for (int i = 0; i < 20000; ++i) {
    const int v = std::min(255, int(g(rng)));
    pixels.push_back(Rgb(v, v, v));
    bytes.push_back(std::uint8_t(v));
  }
  {
    std::ofstream f(in, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }
  TDataImage src;
  Make(src, pixels);
  struct Mode {
    const char* Name;
    const char* Args;
    Routine Run;
  };
  const Mode modes[] = {
      {"equalise", "", [](TDataImage& d, const TDataImage& s) { ColHistogramEqualise(d, s); }},
      {"linear", "", [](TDataImage& d, const TDataImage& s) { ColHistogramSpecLinear(d, s); }},
      {"gaussian", " 128 0.015625", [](TDataImage& d, const TDataImage& s) { ColHistogramSpecGaussian(d, s, 128, 16 / 1024.0); }},
      {"gaussian", " 30 0.09765625", [](TDataImage& d, const TDataImage& s) { ColHistogramSpecGaussian(d, s, 30, 100 / 1024.0); }},
      {"exponential", "", [](TDataImage& d, const TDataImage& s) { ColHistogramSpecExponential(d, s, 200); }},
      {"parabolic", "", [](TDataImage& d, const TDataImage& s) { ColHistogramSpecParabolic(d, s); }},
      {"cubic", "", [](TDataImage& d, const TDataImage& s) { ColHistogramSpecCubic(d, s); }},
  };
  for (const Mode& md : modes) {
    TDataImage dst;
    Copy(dst, src);
    md.Run(dst, src);
    const std::string cmd = "/usr/bin/python3 " + std::string(CORVELLE_SOURCE_DIR) +
                            "/tests/oracles/colhistspec_grey.py " + md.Name + " " + in + " " + out + md.Args;
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    std::vector<std::uint8_t> expected(bytes.size());
    std::ifstream f(out, std::ios::binary);
    f.read(reinterpret_cast<char*>(expected.data()), std::streamsize(expected.size()));
    ASSERT_TRUE(f.good());
    int mismatches = 0;
    for (std::size_t i = 0; i < expected.size(); ++i)
      if (!Same(dst.RGBPlane[i], Rgb(expected[i], expected[i], expected[i])) && ++mismatches < 5)
        ADD_FAILURE() << md.Name << md.Args << " pixel " << i << ": " << int(dst.RGBPlane[i].Red) << " vs "
                      << int(expected[i]);
    EXPECT_EQ(mismatches, 0) << md.Name << md.Args;
  }
}
