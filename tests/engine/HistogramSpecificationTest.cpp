// Grey histogram equalisation and matching.
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
#include "engine/HistogramSpecification.h"

namespace {

void Make(TDataImage& img, const std::vector<float>& v) {
  ASSERT_TRUE(img.Allocate(int(v.size()), 1, 3, false));
  std::copy(v.begin(), v.end(), img.Pixels);
}

void Copy(TDataImage& dst, const TDataImage& src) {
  ASSERT_TRUE(dst.Allocate(src.Width, src.Height, src.DataType, false));
  std::copy(src.Pixels, src.Pixels + src.PixelCount(), dst.Pixels);
}

void Random(TDataImage& img, unsigned seed, int W, int H, float Max, bool Whole) {
  ASSERT_TRUE(img.Allocate(W, H, Whole ? 1 : 3, false));
  std::mt19937 rng(seed);
  std::gamma_distribution<float> g(2.0f, Max / 12);
  for (std::int64_t i = 0; i < img.PixelCount(); ++i) {
    float v = std::min(g(rng), Max);
    img.Pixels[i] = Whole ? float(int(v)) : v;
  }
}

using Routine = std::function<void(TDataImage&, const TDataImage&)>;

const std::vector<std::pair<const char*, Routine>> Routines = {
    {"equalise", [](TDataImage& d, const TDataImage& s) { HistogramEqualise(d, s); }},
    {"gaussian", [](TDataImage& d, const TDataImage& s) { HistogramSpecGaussian(d, s, 128, 16 / 1024.0); }},
    {"exponential", [](TDataImage& d, const TDataImage& s) { HistogramSpecExponential(d, s, 128); }},
    {"parabolic", [](TDataImage& d, const TDataImage& s) { HistogramSpecParabolic(d, s); }},
    {"cubic", [](TDataImage& d, const TDataImage& s) { HistogramSpecCubic(d, s); }},
    {"linear", [](TDataImage& d, const TDataImage& s) { HistogramSpecLinear(d, s); }},
};

}  // namespace

TEST(HistogramEqualise, WorkedExamples) {
  TDataImage src, dst;
  Make(src, {0, 100});
  Copy(dst, src);
  HistogramEqualise(dst, src);
  // Cumulative entries 1 and 2 * 1 + 1 = 3: black is lifted to a third.
  EXPECT_NEAR(dst.Pixels[0], 100.0 / 3, 1e-4);
  EXPECT_EQ(dst.Pixels[1], 100.0f);

  for (float c : {1.0f, 37.25f, 65535.0f, 0.001f}) {
    Make(src, std::vector<float>(50, c));
    Copy(dst, src);
    HistogramEqualise(dst, src);
    for (int i = 0; i < 50; ++i) ASSERT_EQ(dst.Pixels[i], c);
  }
}

TEST(HistogramEqualise, NothingOrNegativeValues) {
  TDataImage src, dst;
  // The maximum is searched from 0: an all-negative or all-zero image stays.
  for (const auto& v : {std::vector<float>{0, 0, 0}, std::vector<float>{-4, -2, -9}}) {
    Make(src, v);
    Make(dst, {7, 8, 9});
    HistogramEqualise(dst, src);
    EXPECT_EQ(dst.Pixels[0], 7.0f);
    EXPECT_EQ(dst.Pixels[2], 9.0f);
    for (const auto& r : Routines) {
      Copy(dst, src);
      r.second(dst, src);
      EXPECT_TRUE(std::equal(dst.Pixels, dst.Pixels + 3, src.Pixels)) << r.first;
    }
  }
  // Negative values fall into bin 0 together with 0.
  Make(src, {-5, 0, 50, 100});
  Copy(dst, src);
  HistogramEqualise(dst, src);
  EXPECT_EQ(dst.Pixels[0], dst.Pixels[1]);
  EXPECT_LT(dst.Pixels[1], dst.Pixels[2]);
  EXPECT_EQ(dst.Pixels[3], 100.0f);
}

TEST(HistogramSpecification, PropertiesOfEveryTarget) {
  for (unsigned seed : {1u, 2u}) {
    TDataImage src;
    Random(src, seed, 97, 61, seed == 1 ? 4000.0f : 1.5f, seed == 1);
    float A = 0;
    for (std::int64_t i = 0; i < src.PixelCount(); ++i) A = std::max(A, src.Pixels[i]);
    for (const auto& r : Routines) {
      TDataImage dst;
      Copy(dst, src);
      r.second(dst, src);
      std::vector<std::pair<float, float>> pairs;
      float out = 0;
      for (std::int64_t i = 0; i < src.PixelCount(); ++i) {
        pairs.push_back({src.Pixels[i], dst.Pixels[i]});
        out = std::max(out, dst.Pixels[i]);
      }
      EXPECT_EQ(out, A) << r.first;
      std::sort(pairs.begin(), pairs.end());
      for (std::size_t i = 1; i < pairs.size(); ++i)
        ASSERT_LE(pairs[i - 1].second, pairs[i].second) << r.first << ": not monotone";
    }
    // The exponential shape takes no parameter.
    TDataImage a, b;
    Copy(a, src);
    Copy(b, src);
    HistogramSpecExponential(a, src, 1);
    HistogramSpecExponential(b, src, 255);
    EXPECT_TRUE(std::equal(a.Pixels, a.Pixels + a.PixelCount(), b.Pixels));
  }
}

TEST(HistogramSpecification, TargetThatSumsToZeroIsRefused) {
  TDataImage src, dst;
  Make(src, {0, 10, 20, 40});
  Copy(dst, src);
  THistogramTarget zero{};
  EXPECT_THROW(HistogramMatch(zero, dst, src), EngineFault);
  // The equalised values stay.
  TDataImage eq;
  Copy(eq, src);
  HistogramEqualise(eq, src);
  EXPECT_TRUE(std::equal(dst.Pixels, dst.Pixels + 4, eq.Pixels));
  // A tiny maximum makes the linear target's sum round to 0.
  Make(src, {0, 1e-5f, 2e-5f});
  Copy(dst, src);
  EXPECT_THROW(HistogramSpecLinear(dst, src), EngineFault);
}

TEST(HistogramSpecification, MatchesFloat32Replica) {
  ASSERT_EQ(std::system("/usr/bin/python3 -c 'import numpy' 2>/dev/null"), 0)
      << "python3-numpy is missing: the cross-check cannot run";
  const std::string in = UniqueTempFile("hs_in.f32"), out = UniqueTempFile("hs_out.f32");
  for (unsigned seed : {3u, 4u}) {
    TDataImage src;
    Random(src, seed, 211, 157, seed == 3 ? 65535.0f : 2.75f, seed == 3);
    {
      std::ofstream f(in, std::ios::binary);
      f.write(reinterpret_cast<const char*>(src.Pixels), std::streamsize(src.PixelCount() * 4));
    }
    struct Mode {
      const char* Name;
      const char* Args;
      Routine Run;
    };
    const Mode modes[] = {
        {"equalise", "", [](TDataImage& d, const TDataImage& s) { HistogramEqualise(d, s); }},
        {"linear", "", [](TDataImage& d, const TDataImage& s) { HistogramSpecLinear(d, s); }},
        {"gaussian", " 128 0.015625", [](TDataImage& d, const TDataImage& s) { HistogramSpecGaussian(d, s, 128, 16 / 1024.0); }},
        {"gaussian", " 40 0.048828125", [](TDataImage& d, const TDataImage& s) { HistogramSpecGaussian(d, s, 40, 50 / 1024.0); }},
        {"exponential", "", [](TDataImage& d, const TDataImage& s) { HistogramSpecExponential(d, s, 77); }},
        {"parabolic", "", [](TDataImage& d, const TDataImage& s) { HistogramSpecParabolic(d, s); }},
        {"cubic", "", [](TDataImage& d, const TDataImage& s) { HistogramSpecCubic(d, s); }},
    };
    for (const Mode& md : modes) {
      const std::string mode = std::string(md.Name) + md.Args;
      TDataImage dst;
      Copy(dst, src);
      md.Run(dst, src);
      const std::string cmd = "/usr/bin/python3 " + std::string(CORVELLE_SOURCE_DIR) + "/tests/oracles/histspec.py " +
                              md.Name + " " + in + " " + out + md.Args;
      ASSERT_EQ(std::system(cmd.c_str()), 0);
      std::vector<float> expected(std::size_t(src.PixelCount()));
      std::ifstream f(out, std::ios::binary);
      f.read(reinterpret_cast<char*>(expected.data()), std::streamsize(expected.size() * 4));
      ASSERT_TRUE(f.good());
      int mismatches = 0;
      for (std::size_t i = 0; i < expected.size(); ++i)
        if (dst.Pixels[i] != expected[i] && ++mismatches < 5)
          ADD_FAILURE() << mode << " pixel " << i << ": " << dst.Pixels[i] << " vs " << expected[i];
      EXPECT_EQ(mismatches, 0) << mode;
    }
  }
}

TEST(HistogramEqualise, CountsStayExactPastTwoToTheTwentyFour) {
  // 2^23 + 1 zeros and one 100: the cumulative entries are 8388609 and
  // 2 * 8388609 + 1 = 16777219, which a Single would hold as 16777220. With
  // s = Single(40.95) the zeros come out 8388609 / s * (100 / (16777219 / s))
  // = 49.9999962 (0x1.8ffffep+5, worked in numpy's 80-bit longdouble); the
  // Single count would give 49.9999924.
  const int W = (1 << 22) + 1;
  TDataImage src, dst;
  ASSERT_TRUE(src.Allocate(W, 2, 3, false));
  src.Pixels[std::size_t(2) * W - 1] = 100;
  Copy(dst, src);
  HistogramEqualise(dst, src);
  EXPECT_EQ(dst.Pixels[0], 0x1.8ffffep+5f);
  EXPECT_EQ(dst.Pixels[std::size_t(W) + 7], 0x1.8ffffep+5f);
  EXPECT_EQ(dst.Pixels[std::size_t(2) * W - 1], 100.0f);
}
