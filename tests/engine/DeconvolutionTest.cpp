// Lucy-Richardson, maximum-entropy and Van Cittert deconvolution.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "ScratchFolder.h"
#include "engine/Errors.h"
#include "engine/FFT.h"
#include "engine/LucyRichardson1.h"
#include "engine/MaximumEntropy.h"
#include "engine/PSF.h"
#include "engine/VanCittert.h"

namespace {

// Records the internal-error and progress hooks for one test.
class Recorder {
 public:
  Recorder() {
    errors_ = SetInternalErrorHandler([this](int c) { codes.push_back(c); });
    progress_ = SetProgressHandler([this](int i, int p) { steps.emplace_back(i, p); });
  }
  ~Recorder() {
    SetInternalErrorHandler(errors_);
    SetProgressHandler(progress_);
  }
  std::vector<int> codes;
  std::vector<std::pair<int, int>> steps;

  std::vector<int> Percents() const {
    std::vector<int> p;
    for (auto& s : steps) p.push_back(s.second);
    return p;
  }

 private:
  TInternalErrorHandler errors_;
  TProgressHandler progress_;
};

constexpr int N = 64;

std::unique_ptr<TDataImage> NewGrey(int w = N, int h = N) {
  auto img = std::make_unique<TDataImage>();
  EXPECT_TRUE(img->Allocate(w, h, 3, false));
  return img;
}

std::unique_ptr<TDataImage> Delta() {
  auto p = NewGrey();
  p->Pixels[0] = 1.0f;
  return p;
}

std::unique_ptr<TDataImage> RandomImage(unsigned seed, float lo, float hi) {
  auto img = NewGrey();
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> d(lo, hi);
  for (int i = 0; i < N * N; ++i) img->Pixels[i] = d(rng);
  return img;
}

// A star on a faint background, and the same blurred cyclically by the
// normalised Gaussian PSF of radius 2 (summed directly in double).
struct TScene {
  std::vector<double> Truth;
  std::unique_ptr<TDataImage> Observed;
};

TScene BlurredStar() {
  TScene s;
  s.Truth.assign(N * N, 5.0);
  for (int y = 0; y < N; ++y) {
    for (int x = 0; x < N; ++x) {
      const double r2 = (x - 30) * (x - 30) + (y - 33) * (y - 33);
      s.Truth[y * N + x] += 1000.0 * std::exp(-r2 / 2.0);
      const double q2 = (x - 12) * (x - 12) + (y - 50) * (y - 50);
      s.Truth[y * N + x] += 300.0 * std::exp(-q2 / 1.5);
    }
  }
  double k[15][15], sum = 0;
  for (int j = -7; j <= 7; ++j) {
    for (int i = -7; i <= 7; ++i) sum += k[j + 7][i + 7] = std::exp(-(i * i + j * j) / 8.0);
  }
  s.Observed = NewGrey();
  for (int y = 0; y < N; ++y) {
    for (int x = 0; x < N; ++x) {
      double v = 0;
      for (int j = -7; j <= 7; ++j) {
        for (int i = -7; i <= 7; ++i) v += k[j + 7][i + 7] / sum * s.Truth[((y - j + N) % N) * N + (x - i + N) % N];
      }
      s.Observed->Pixels[y * N + x] = float(v);
    }
  }
  return s;
}

double RmsError(const float* p, const std::vector<double>& truth) {
  double e = 0;
  for (std::size_t i = 0; i < truth.size(); ++i) e += (p[i] - truth[i]) * (p[i] - truth[i]);
  return std::sqrt(e / double(truth.size()));
}

// Runs the numpy replica of Method on Observed and PSF for each round count.
std::vector<std::vector<double>> Replica(const std::string& method, const TDataImage& obs, const TDataImage& psf,
                                         const std::vector<int>& rounds) {
  EXPECT_EQ(std::system("/usr/bin/python3 -c 'import numpy' 2>/dev/null"), 0)
      << "python3-numpy is missing: the cross-check cannot run";
  const ScratchFolder scratch;
  const std::string dir = scratch.Path();
  WriteBinary(dir + "/dc_obs.bin", obs.Pixels, std::size_t(obs.PixelCount()));
  WriteBinary(dir + "/dc_psf.bin", psf.Pixels, std::size_t(psf.PixelCount()));
  std::string cmd = std::string("/usr/bin/python3 ") + CORVELLE_SOURCE_DIR + "/tests/oracles/deconv_oracle.py " +
                    method + " " + dir + "/dc_obs.bin " + dir + "/dc_psf.bin " + dir + "/dc_out.bin " +
                    std::to_string(obs.Width) + " " + std::to_string(obs.Height);
  for (int r : rounds) cmd += " " + std::to_string(r);
  EXPECT_EQ(std::system(cmd.c_str()), 0);
  std::ifstream f(dir + "/dc_out.bin", std::ios::binary);
  std::vector<std::vector<double>> out;
  for (std::size_t k = 0; k < rounds.size(); ++k) {
    std::vector<double> v(std::size_t(obs.PixelCount()));
    f.read(reinterpret_cast<char*>(v.data()), std::streamsize(v.size() * 8));
    EXPECT_TRUE(f) << "short replica output";
    out.push_back(std::move(v));
  }
  return out;
}

void ExpectClose(const TDataImage& got, const std::vector<double>& want, double relative, const char* what) {
  double peak = 0, worst = 0;
  for (double v : want) peak = std::max(peak, std::fabs(v));
  for (std::size_t i = 0; i < want.size(); ++i) worst = std::max(worst, std::fabs(got.Pixels[i] - want[i]));
  EXPECT_LT(worst, relative * peak) << what << ": largest difference " << worst << " of " << peak;
}

}  // namespace

// ---------------------------------------------------------------- Lucy-Richardson

TEST(LucyRichardson, DeltaPSFLeavesTheImage) {
  Recorder rec;
  auto obs = RandomImage(1, 1.0f, 100.0f);
  auto psf = Delta();
  auto est = LucyRichardsonDeconvolve(5, *obs, *psf);
  ASSERT_TRUE(est);
  EXPECT_EQ(est->Width, N);
  EXPECT_EQ(est->DataType, 3);
  for (int i = 0; i < N * N; ++i) ASSERT_NEAR(est->Pixels[i], obs->Pixels[i], 1e-4f * obs->Pixels[i]) << i;
  EXPECT_EQ(rec.Percents(), (std::vector<int>{20, 40, 60, 80, 100}));
  EXPECT_EQ(rec.steps.front().first, 1);
  EXPECT_EQ(rec.steps.back().first, 5);
  EXPECT_EQ(rec.codes, std::vector<int>{0});
}

TEST(LucyRichardson, ZerosStayZeroAndPercentagesRoundToEven) {
  Recorder rec;
  auto obs = RandomImage(2, 0.0f, 50.0f);
  for (int i = 0; i < N * N; i += 5) obs->Pixels[i] = 0.0f;
  auto psf = CreateGaussianPSF(N, N, 1.5f);
  ASSERT_TRUE(psf);
  auto est = LucyRichardsonDeconvolve(3, *obs, *psf);
  ASSERT_TRUE(est);
  for (int i = 0; i < N * N; i += 5) ASSERT_EQ(est->Pixels[i], 0.0f) << i;
  EXPECT_EQ(rec.Percents(), (std::vector<int>{33, 67, 100}));

  rec.steps.clear();
  auto psf8 = CreateGaussianPSF(N, N, 1.5f);
  ASSERT_TRUE(LucyRichardsonDeconvolve(8, *obs, *psf8));
  EXPECT_EQ(rec.Percents(), (std::vector<int>{12, 25, 38, 50, 62, 75, 88, 100}));
}

TEST(LucyRichardson, ZeroIterationsGiveACopyWithoutProgress) {
  Recorder rec;
  auto obs = RandomImage(3, 0.0f, 10.0f);
  auto psf = Delta();
  auto est = LucyRichardsonDeconvolve(0, *obs, *psf);
  ASSERT_TRUE(est);
  EXPECT_EQ(std::memcmp(est->Pixels, obs->Pixels, N * N * 4), 0);
  EXPECT_TRUE(rec.steps.empty());
  EXPECT_EQ(rec.codes, std::vector<int>{0});
}

TEST(LucyRichardson, ExactZeroBlurDividesByOne) {
  Recorder rec;
  auto obs = NewGrey();  // all zero: every blurred value is exactly 0
  auto psf = CreateGaussianPSF(N, N, 2.0f);
  rec.codes.clear();
  auto est = LucyRichardsonDeconvolve(2, *obs, *psf);
  ASSERT_TRUE(est);
  for (int i = 0; i < N * N; ++i) ASSERT_EQ(est->Pixels[i], 0.0f);
  EXPECT_EQ(rec.codes, std::vector<int>{0});
}

TEST(LucyRichardson, AgreesWithNumpy) {
  auto scene = BlurredStar();
  auto psf = CreateGaussianPSF(N, N, 2.0f);
  const auto want = Replica("lr", *scene.Observed, *psf, {1, 3, 10});
  const int rounds[] = {1, 3, 10};
  for (int k = 0; k < 3; ++k) {
    auto p = CreateGaussianPSF(N, N, 2.0f);
    auto est = LucyRichardsonDeconvolve(rounds[k], *scene.Observed, *p);
    ASSERT_TRUE(est);
    ExpectClose(*est, want[k], 1e-3, "Lucy-Richardson");
  }
}

// The routine runs its products and point-wise steps inside the transform
// passes; the result is bit for bit that of the steps one after another.
TEST(LucyRichardson, MatchesTheStepsDoneOneByOne) {
  auto scene = BlurredStar();
  const TDataImage& g = *scene.Observed;
  auto psf = CreateGaussianPSF(N, N, 2.0f);
  auto est = LucyRichardsonDeconvolve(4, g, *psf);
  ASSERT_TRUE(est);

  auto p = CreateGaussianPSF(N, N, 2.0f);
  ASSERT_TRUE(p->FFT());
  TDataImage e, work;
  ASSERT_TRUE(e.Allocate(N, N, 3, false));
  ASSERT_TRUE(work.Allocate(N, N, 3, false));
  ASSERT_TRUE(work.AllocateComplex(N, N));
  std::memcpy(e.Pixels, g.Pixels, N * N * 4);
  for (int round = 0; round < 4; ++round) {
    std::memcpy(work.Pixels, e.Pixels, N * N * 4);
    ASSERT_TRUE(work.FFT());
    for (int k = 0; k < N * N; ++k) work.ComplexPlane[k] = ComplexProduct(work.ComplexPlane[k], p->ComplexPlane[k]);
    ASSERT_TRUE(work.InverseFFT());
    for (int k = 0; k < N * N; ++k) {
      const float b = work.Pixels[k] == 0.0f ? 1.0f : work.Pixels[k];
      work.Pixels[k] = g.Pixels[k] / b;
    }
    ASSERT_TRUE(work.FFT());
    for (int k = 0; k < N * N; ++k) work.ComplexPlane[k] = ConjugateProduct(work.ComplexPlane[k], p->ComplexPlane[k]);
    ASSERT_TRUE(work.InverseFFT());
    for (int k = 0; k < N * N; ++k) e.Pixels[k] = e.Pixels[k] * work.Pixels[k];
  }
  EXPECT_EQ(std::memcmp(e.Pixels, est->Pixels, N * N * 4), 0);
}

TEST(LucyRichardson, FailuresReportAndGiveNothing) {
  Recorder rec;
  auto obs = RandomImage(4, 1.0f, 10.0f);
  auto small = CreateGaussianPSF(32, 32, 2.0f);
  EXPECT_FALSE(LucyRichardsonDeconvolve(2, *obs, *small));
  EXPECT_EQ(rec.codes.back(), errLucyRichardsonDeconvolve);

  // A subnormal PSF makes the blurred image subnormal and the ratio overflow.
  auto ones = NewGrey();
  for (int i = 0; i < N * N; ++i) ones->Pixels[i] = 1.0f;
  auto faint = NewGrey();
  faint->Pixels[0] = 1e-40f;
  rec.codes.clear();
  EXPECT_FALSE(LucyRichardsonDeconvolve(1, *ones, *faint));
  EXPECT_EQ(rec.codes, std::vector<int>{errLucyRichardsonDeconvolve});

  // Sides that are no powers of two cannot be transformed.
  auto odd = NewGrey(48, 64);
  auto oddPsf = NewGrey(48, 64);
  rec.codes.clear();
  EXPECT_FALSE(LucyRichardsonDeconvolve(1, *odd, *oddPsf));
  EXPECT_EQ(rec.codes, std::vector<int>{errLucyRichardsonDeconvolve});
}

// ---------------------------------------------------------------- maximum entropy

TEST(MaximumEntropy, UniformImageStaysUniform) {
  Recorder rec;
  auto obs = NewGrey();
  for (int i = 0; i < N * N; ++i) obs->Pixels[i] = 7.0f;
  auto psf = CreateGaussianPSF(N, N, 2.0f);
  rec.codes.clear();
  auto a = MaximumEntropyDeconvolve(2, *obs, *psf);
  ASSERT_TRUE(a);
  for (int i = 0; i < N * N; ++i) ASSERT_NEAR(a->Pixels[i], 7.0f, 7e-4f) << i;
  EXPECT_EQ(rec.Percents(), (std::vector<int>{50, 100}));
  EXPECT_EQ(rec.codes, std::vector<int>{0});
}

TEST(MaximumEntropy, ZerosCountAsOneAndTheSumIsKept) {
  auto obs = RandomImage(5, 0.0f, 40.0f);
  for (int i = 0; i < N * N; i += 3) obs->Pixels[i] = 0.0f;
  double sum = 0;
  for (int i = 0; i < N * N; ++i) sum += obs->Pixels[i] == 0.0f ? 1.0 : obs->Pixels[i];
  auto psf = CreateGaussianPSF(N, N, 1.5f);
  auto a = MaximumEntropyDeconvolve(4, *obs, *psf);
  ASSERT_TRUE(a);
  for (int i = 0; i < N * N; i += 3) EXPECT_EQ(obs->Pixels[i], 1.0f) << "the observed zeros are replaced in place";
  double got = 0;
  for (int i = 0; i < N * N; ++i) {
    got += a->Pixels[i];
    ASSERT_GE(a->Pixels[i], 0.0f);
  }
  EXPECT_NEAR(got, sum, 1e-4 * sum);
  // The PSF was normalised in place.
  double psfSum = 0;
  for (int i = 0; i < N * N; ++i) psfSum += psf->Pixels[i];
  EXPECT_NEAR(psfSum, 1.0, 1e-5);
}

TEST(MaximumEntropy, AgreesWithNumpy) {
  auto scene = BlurredStar();
  auto psf = CreateGaussianPSF(N, N, 2.0f);
  const auto want = Replica("mem", *scene.Observed, *psf, {1, 3, 10});
  const int rounds[] = {1, 3, 10};
  for (int k = 0; k < 3; ++k) {
    auto obs = NewGrey();
    std::memcpy(obs->Pixels, scene.Observed->Pixels, N * N * 4);
    auto p = CreateGaussianPSF(N, N, 2.0f);
    auto a = MaximumEntropyDeconvolve(rounds[k], *obs, *p);
    ASSERT_TRUE(a);
    ExpectClose(*a, want[k], 2e-3, "maximum entropy");
  }
}

TEST(MaximumEntropy, PSFWithoutSumFails) {
  Recorder rec;
  auto obs = RandomImage(6, 1.0f, 10.0f);
  auto psf = NewGrey();
  EXPECT_FALSE(MaximumEntropyDeconvolve(2, *obs, *psf));
  EXPECT_EQ(rec.codes, std::vector<int>{errMaximumEntropyDeconvolve});
  EXPECT_TRUE(rec.steps.empty());
}

// A negative data sum makes the scale s negative, and ln(g / s) of a positive
// pixel has no value: the routine stops with its number after the first round's
// transforms, before any progress report.
TEST(MaximumEntropy, NegativeDataSumFails) {
  Recorder rec;
  auto obs = RandomImage(11, -10.0f, -1.0f);
  obs->Pixels[100] = 4.0f;
  auto psf = CreateGaussianPSF(N, N, 2.0f);
  rec.codes.clear();
  EXPECT_FALSE(MaximumEntropyDeconvolve(3, *obs, *psf));
  EXPECT_EQ(rec.codes, std::vector<int>{errMaximumEntropyDeconvolve});
  EXPECT_TRUE(rec.steps.empty());
}

// Sides that cannot be transformed are refused before the observed image and
// the PSF are changed in place.
TEST(MaximumEntropy, UntransformableSidesChangeNothing) {
  Recorder rec;
  auto obs = NewGrey(48, 64);
  obs->Pixels[3] = 5.0f;  // the rest are zeros, which the routine would make 1
  auto psf = NewGrey(48, 64);
  psf->Pixels[0] = 2.0f;
  psf->Pixels[1] = 2.0f;  // sum 4, which the routine would divide by
  EXPECT_FALSE(MaximumEntropyDeconvolve(1, *obs, *psf));
  EXPECT_EQ(rec.codes, std::vector<int>{errMaximumEntropyDeconvolve});
  EXPECT_TRUE(rec.steps.empty());
  EXPECT_EQ(obs->Pixels[0], 0.0f);
  EXPECT_EQ(obs->Pixels[3], 5.0f);
  EXPECT_EQ(psf->Pixels[0], 2.0f);
  EXPECT_FALSE(psf->HasComplex);

  // The same for the two others: the PSF gets no complex plane.
  rec.codes.clear();
  EXPECT_FALSE(VanCittertDeconvolve(1, *obs, *psf));
  EXPECT_FALSE(LucyRichardsonDeconvolve(1, *obs, *psf));
  EXPECT_EQ(rec.codes, (std::vector<int>{errVanCittertDeconvolve, errLucyRichardsonDeconvolve}));
  EXPECT_FALSE(psf->HasComplex);
}

// ---------------------------------------------------------------- Van Cittert

TEST(VanCittert, DeltaPSFLeavesTheImage) {
  Recorder rec;
  auto obs = RandomImage(7, 0.0f, 100.0f);
  auto psf = Delta();
  auto e = VanCittertDeconvolve(4, *obs, *psf);
  ASSERT_TRUE(e);
  for (int i = 0; i < N * N; ++i) ASSERT_NEAR(e->Pixels[i], obs->Pixels[i], 1e-3f) << i;
  EXPECT_EQ(rec.Percents(), (std::vector<int>{25, 50, 75, 100}));
  EXPECT_EQ(rec.codes, std::vector<int>{0});
}

TEST(VanCittert, EstimatesStayBetweenZeroAndTheObservedMaximum) {
  auto obs = RandomImage(8, -20.0f, 100.0f);
  float gmax = 0;
  for (int i = 0; i < N * N; ++i) gmax = std::max(gmax, obs->Pixels[i]);
  auto psf = CreateExponentialPSF(N, N, 1.5f);
  auto e = VanCittertDeconvolve(6, *obs, *psf);
  ASSERT_TRUE(e);
  for (int i = 0; i < N * N; ++i) {
    ASSERT_GE(e->Pixels[i], 0.0f);
    ASSERT_LE(e->Pixels[i], gmax);
  }
}

TEST(VanCittert, NoPositivePixelFails) {
  Recorder rec;
  auto obs = RandomImage(9, -5.0f, 0.0f);
  auto psf = CreateGaussianPSF(N, N, 2.0f);
  rec.codes.clear();
  EXPECT_FALSE(VanCittertDeconvolve(3, *obs, *psf));
  EXPECT_EQ(rec.codes, std::vector<int>{errVanCittertDeconvolve});
  EXPECT_TRUE(rec.steps.empty());
}

TEST(VanCittert, AgreesWithNumpy) {
  auto scene = BlurredStar();
  auto psf = CreateGaussianPSF(N, N, 2.0f);
  const auto want = Replica("vc", *scene.Observed, *psf, {1, 3, 10});
  const int rounds[] = {1, 3, 10};
  for (int k = 0; k < 3; ++k) {
    auto p = CreateGaussianPSF(N, N, 2.0f);
    auto e = VanCittertDeconvolve(rounds[k], *scene.Observed, *p);
    ASSERT_TRUE(e);
    ExpectClose(*e, want[k], 1e-3, "Van Cittert");
  }
}

// ---------------------------------------------------------------- all three

TEST(Deconvolution, EachSharpensABlurredStar) {
  auto scene = BlurredStar();
  const double before = RmsError(scene.Observed->Pixels, scene.Truth);
  const float peakBefore = scene.Observed->GetPixel(30, 33);
  const auto normalised = [] {
    auto p = CreateGaussianPSF(N, N, 2.0f);
    double s = 0;
    for (int i = 0; i < N * N; ++i) s += p->Pixels[i];
    for (int i = 0; i < N * N; ++i) p->Pixels[i] = float(p->Pixels[i] / s);
    return p;
  };
  {
    auto p = normalised();
    auto e = LucyRichardsonDeconvolve(30, *scene.Observed, *p);
    ASSERT_TRUE(e);
    EXPECT_LT(RmsError(e->Pixels, scene.Truth), 0.6 * before) << "Lucy-Richardson";
    EXPECT_GT(e->GetPixel(30, 33), peakBefore * 1.5f);
  }
  {
    auto obs = NewGrey();
    std::memcpy(obs->Pixels, scene.Observed->Pixels, N * N * 4);
    auto p = normalised();
    auto a = MaximumEntropyDeconvolve(30, *obs, *p);
    ASSERT_TRUE(a);
    EXPECT_LT(RmsError(a->Pixels, scene.Truth), 0.6 * before) << "maximum entropy";
    EXPECT_GT(a->GetPixel(30, 33), peakBefore * 1.5f);
  }
  {
    auto p = normalised();
    auto e = VanCittertDeconvolve(30, *scene.Observed, *p);
    ASSERT_TRUE(e);
    // The estimate is capped at the observed maximum, so the star cannot grow
    // brighter; it narrows toward the true profile instead.
    const double observedRatio = peakBefore / scene.Observed->GetPixel(32, 33);
    const double trueRatio = scene.Truth[33 * N + 30] / scene.Truth[33 * N + 32];
    const double ratio = e->GetPixel(30, 33) / e->GetPixel(32, 33);
    EXPECT_GT(ratio, 2 * observedRatio) << "Van Cittert";
    EXPECT_LT(ratio, trueRatio);
  }
}
