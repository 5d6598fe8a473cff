// Lucy-Richardson, maximum-entropy and Van Cittert deconvolution.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
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
#include "Radix2Reference.h"

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

// A zero pixel counts as 1.0, or as the frame's smallest positive pixel where
// that is less; with nothing above 0 there is no floor and the result is 0.
TEST(MaximumEntropy, ZeroPixelsCountAsTheFramesOwnFloor) {
  struct Case {
    const char* Name;
    float Sky, Peak, Floor;  // Floor: what a zero must count as; 0 for none
    bool Whole;
  };
  const Case cases[] = {
      {"16-bit counts", 120.0f, 30000.0f, 1.0f, true},
      {"counts from 3", 3.0f, 500.0f, 1.0f, true},
      {"scaled to 0..1", 0.01f, 0.9f, 0.01f, false},
      {"fractions above 1", 1.5f, 40.0f, 1.0f, false},
      {"all zero", 0.0f, 0.0f, 0.0f, true},
      {"nothing above 0", -4.0f, -1.0f, 0.0f, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    // A star on the sky, its left quarter and top rows an empty border.
    auto frame = NewGrey();
    for (int y = 0; y < N; ++y)
      for (int x = 0; x < N; ++x) {
        const double r2 = (x - 40) * (x - 40) + (y - 36) * (y - 36);
        float v = float(c.Sky + (c.Peak - c.Sky) * std::exp(-r2 / 6.0));
        if (c.Whole) v = std::nearbyint(v);
        frame->Pixels[y * N + x] = (x < N / 4 || y < 6) ? 0.0f : v;
      }
    float frameMax = 0.0f;
    for (int i = 0; i < N * N; ++i) frameMax = std::max(frameMax, frame->Pixels[i]);

    Recorder rec;
    auto obs = NewGrey();
    std::memcpy(obs->Pixels, frame->Pixels, N * N * 4);
    auto psf = CreateGaussianPSF(N, N, 1.5f);
    // Enough rounds for a correction that nothing balances to overflow.
    auto a = MaximumEntropyDeconvolve(12, *obs, *psf);
    ASSERT_TRUE(a);
    EXPECT_EQ(rec.codes, (std::vector<int>{0, 0}));  // the PSF's and the restoration's
    EXPECT_EQ(rec.steps.size(), 12u);
    EXPECT_EQ(obs->Pixels[0], c.Floor == 0.0f ? 0.0f : c.Floor) << "zeros replaced in place";

    if (c.Floor == 0.0f) {
      for (int i = 0; i < N * N; ++i) ASSERT_EQ(a->Pixels[i], 0.0f) << i;
      continue;
    }
    // The same frame with its zeros already at the floor restores to the same
    // bits: the floor is all that a zero pixel changes.
    auto floored = NewGrey();
    for (int i = 0; i < N * N; ++i) floored->Pixels[i] = frame->Pixels[i] == 0.0f ? c.Floor : frame->Pixels[i];
    auto psf2 = CreateGaussianPSF(N, N, 1.5f);
    auto b = MaximumEntropyDeconvolve(12, *floored, *psf2);
    ASSERT_TRUE(b);
    EXPECT_EQ(std::memcmp(a->Pixels, b->Pixels, N * N * 4), 0);
    // An empty border never comes back brighter than the frame itself.
    float border = 0.0f;
    for (int y = 0; y < N; ++y)
      for (int x = 0; x < N; ++x)
        if (x < N / 4 - 3 || y < 3) border = std::max(border, a->Pixels[y * N + x]);
    EXPECT_LE(border, frameMax);
  }
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

TEST(VanCittert, NoPositivePixelGivesZerosAndABlurWithNoneFails) {
  Recorder rec;
  auto obs = RandomImage(9, -5.0f, 0.0f);
  auto psf = CreateGaussianPSF(N, N, 2.0f);
  rec.codes.clear();
  // Every estimate is clamped to [0, 0].
  auto e = VanCittertDeconvolve(3, *obs, *psf);
  ASSERT_TRUE(e);
  EXPECT_EQ(std::count(e->Pixels, e->Pixels + N * N, 0.0f), N * N);
  EXPECT_EQ(rec.codes, std::vector<int>{0});
  EXPECT_EQ(rec.steps.size(), 3u);
  // A positive pixel that the blur sinks below 0 leaves nothing to scale by.
  std::fill(obs->Pixels, obs->Pixels + N * N, -100.0f);
  obs->Pixels[N * N / 2 + N / 2] = 0.001f;
  psf = CreateGaussianPSF(N, N, 2.0f);
  rec.codes.clear();
  rec.steps.clear();
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

// ---------------------------------------------------------------- the earlier transform

namespace {

// The three routines step by step on the radix-2 transform of the work line,
// as they ran before the transform went to FFTW: the earlier results.
using TPlane = std::unique_ptr<TDataImage>;

TPlane WithPlane(const TDataImage& src) {
  auto img = NewGrey(src.Width, src.Height);
  EXPECT_TRUE(img->AllocateComplex(src.Width, src.Height));
  std::memcpy(img->Pixels, src.Pixels, std::size_t(src.PixelCount()) * 4);
  return img;
}

// Dst's spectrum := A's x P's (x conj(P's)), both transformed from their pixels.
void Product(TDataImage& dst, const TDataImage& a, const TDataImage& p, bool conj) {
  for (std::int64_t k = 0; k < dst.PixelCount(); ++k) {
    dst.ComplexPlane[k] = conj ? ConjugateProduct(a.ComplexPlane[k], p.ComplexPlane[k])
                               : ComplexProduct(a.ComplexPlane[k], p.ComplexPlane[k]);
  }
}

TPlane EarlierLucy(int rounds, const TDataImage& g, const TDataImage& psf) {
  auto p = WithPlane(psf);
  Radix2::Forward(*p);
  auto e = WithPlane(g), work = WithPlane(g);
  const std::int64_t n = g.PixelCount();
  for (int r = 0; r < rounds; ++r) {
    std::memcpy(work->Pixels, e->Pixels, std::size_t(n) * 4);
    Radix2::Forward(*work);
    Product(*work, *work, *p, false);
    Radix2::Inverse(*work);
    for (std::int64_t k = 0; k < n; ++k) {
      const float b = work->Pixels[k] == 0.0f ? 1.0f : work->Pixels[k];
      work->Pixels[k] = g.Pixels[k] / b;
    }
    Radix2::Forward(*work);
    Product(*work, *work, *p, true);
    Radix2::Inverse(*work);
    for (std::int64_t k = 0; k < n; ++k) e->Pixels[k] = e->Pixels[k] * work->Pixels[k];
  }
  return e;
}

TPlane EarlierMaximumEntropy(int rounds, const TDataImage& observed, const TDataImage& psf) {
  const std::int64_t n = observed.PixelCount();
  auto g = WithPlane(observed), p = WithPlane(psf);
  for (std::int64_t k = 0; k < n; ++k) g->Pixels[k] = g->Pixels[k] == 0.0f ? 1.0f : g->Pixels[k];
  float sum = 0.0f;
  for (std::int64_t k = 0; k < n; ++k) sum = sum + p->Pixels[k];
  for (std::int64_t k = 0; k < n; ++k) p->Pixels[k] = p->Pixels[k] / sum;
  auto kernel = WithPlane(*p);
  Radix2::Forward(*p);
  Radix2::Forward(*kernel);
  for (std::int64_t k = 0; k < n; ++k) kernel->ComplexPlane[k].Im = -kernel->ComplexPlane[k].Im;
  auto a = WithPlane(*g), l = WithPlane(*g), c = WithPlane(*g);
  std::fill(l->Pixels, l->Pixels + n, 0.0f);
  double sumG = 0;
  for (std::int64_t k = 0; k < n; ++k) sumG += g->Pixels[k];
  float s = 0.0f;
  for (int r = 0; r < rounds; ++r) {
    Radix2::Forward(*l);
    Product(*a, *l, *kernel, false);
    Radix2::Inverse(*a);
    Radix2::Inverse(*l);
    float z = 0.0f;
    for (std::int64_t k = 0; k < n; ++k) z = z + (a->Pixels[k] = float(expl(a->Pixels[k])));
    for (std::int64_t k = 0; k < n; ++k) a->Pixels[k] = a->Pixels[k] / z;
    Radix2::Forward(*a);
    Product(*c, *a, *p, false);
    Radix2::Inverse(*c);
    Radix2::Inverse(*a);
    double sumC = 0;
    for (std::int64_t k = 0; k < n; ++k) sumC += c->Pixels[k];
    s = float(sumG / sumC);
    for (std::int64_t k = 0; k < n; ++k) {
      const long double lg = logl((long double)g->Pixels[k] / s);
      const long double lc = c->Pixels[k] > 0.0f ? logl(c->Pixels[k]) : 0.0L;
      l->Pixels[k] = float((long double)l->Pixels[k] + lg - lc);
    }
  }
  for (std::int64_t k = 0; k < n; ++k) a->Pixels[k] = std::max(a->Pixels[k] * s, 0.0f);
  return a;
}

TPlane EarlierVanCittert(int rounds, const TDataImage& g, const TDataImage& psf) {
  auto p = WithPlane(psf);
  Radix2::Forward(*p);
  auto e = WithPlane(g), b = WithPlane(g);
  const std::int64_t n = g.PixelCount();
  float gmax = 0.0f;
  for (std::int64_t k = 0; k < n; ++k) gmax = std::max(gmax, g.Pixels[k]);
  for (int r = 0; r < rounds; ++r) {
    Radix2::Forward(*b);
    Product(*b, *b, *p, false);
    Radix2::Inverse(*b);
    float bmax = 0.0f;
    for (std::int64_t k = 0; k < n; ++k) bmax = std::max(bmax, b->Pixels[k]);
    const long double scale = (long double)gmax / bmax;
    for (std::int64_t k = 0; k < n; ++k) {
      const float bk = float(b->Pixels[k] * scale);
      const long double v = std::clamp((long double)g.Pixels[k] - bk + e->Pixels[k], 0.0L, (long double)gmax);
      e->Pixels[k] = b->Pixels[k] = float(v);
    }
  }
  return e;
}

// The radix-2 transform's largest error against the exact transform on a
// plane of this size, relative to the root mean square of the exact values,
// forward for the image and inverse for its spectrum. FFTW's error is no
// larger (FFT.ErrorIsNoLargerThanTheRadix2Transform).
double Radix2Error(const TDataImage& img) {
  const int w = img.Width, h = img.Height;
  auto work = WithPlane(img);
  std::vector<std::complex<double>> exact(img.Pixels, img.Pixels + img.PixelCount());
  ExactDFT::Transform2D(exact, w, h, true);
  Radix2::Forward(*work);
  double worst = 0, rms = 0;
  for (std::size_t i = 0; i < exact.size(); ++i) {
    worst = std::max(worst, std::abs(std::complex<double>(work->ComplexPlane[i].Re, work->ComplexPlane[i].Im) - exact[i]));
    rms += std::norm(exact[i]);
  }
  const double forward = worst / std::sqrt(rms / double(exact.size()));
  ExactDFT::Transform2D(exact, w, h, false);
  Radix2::Inverse(*work);
  worst = rms = 0;
  for (std::size_t i = 0; i < exact.size(); ++i) {
    worst = std::max(worst, std::fabs(work->Pixels[i] - exact[i].real()));
    rms += exact[i].real() * exact[i].real();
  }
  return std::max(forward, worst / std::sqrt(rms / double(exact.size())));
}

}  // namespace

// Each transform of a run is within E of the exact one on either side (E the
// radix-2 error, which bounds FFTW's), so the new result and the earlier one
// may drift apart by 2 E of the result's scale per transform. A product
// conjugated wrongly or a lost round lies well above that.
TEST(Deconvolution, EachIsWithinTheTransformBoundOfItsEarlierResult) {
  auto scene = BlurredStar();
  const TDataImage& g = *scene.Observed;
  const double e = Radix2Error(g);
  EXPECT_GT(e, 1e-7);
  EXPECT_LT(e, 1e-4);
  const int rounds = 5;
  struct TCase {
    const char* Name;
    int Transforms;  // in the whole run, the PSF's own included
  } cases[] = {{"Lucy-Richardson", 1 + 4 * rounds}, {"maximum entropy", 2 + 6 * rounds}, {"Van Cittert", 1 + 2 * rounds}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Recorder rec;
    // Lopsided, so that its spectrum is not real and a product conjugated
    // wrongly shows.
    auto psf = CreateGaussianPSF(N, N, 1.5f);
    psf->Pixels[1 * N + 2] += 0.4f;
    psf->Pixels[(N - 1) * N + 3] += 0.2f;
    auto obs = WithPlane(g);
    TPlane earlier, now;
    if (c.Name[0] == 'L') {
      earlier = EarlierLucy(rounds, g, *psf);
      now = LucyRichardsonDeconvolve(rounds, g, *psf);
    } else if (c.Name[0] == 'm') {
      earlier = EarlierMaximumEntropy(rounds, g, *psf);
      now = MaximumEntropyDeconvolve(rounds, *obs, *psf);
    } else {
      earlier = EarlierVanCittert(rounds, g, *psf);
      now = VanCittertDeconvolve(rounds, g, *psf);
    }
    ASSERT_TRUE(now);
    double peak = 0, worst = 0;
    for (int i = 0; i < N * N; ++i) {
      peak = std::max(peak, double(std::fabs(earlier->Pixels[i])));
      worst = std::max(worst, double(std::fabs(now->Pixels[i] - earlier->Pixels[i])));
    }
    const double bound = 2 * e * c.Transforms * peak;
    EXPECT_LE(worst, bound) << "largest difference " << worst << " of peak " << peak;
    std::printf("%-16s difference %.3g of peak %.4g (%.3g of the bound, E %.3g)\n", c.Name, worst, peak, worst / bound, e);
  }
}
