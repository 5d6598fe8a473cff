// The Fourier transform, its one-line reference and the power-of-two padding.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <algorithm>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "ScratchFolder.h"
#include "engine/DataImage.h"
#include "engine/FFT.h"
#include "engine/LucyRichardson1.h"
#include "engine/PSF.h"
#include "engine/Parallel.h"
#include "Radix2Reference.h"

namespace {

void Fill(TDataImage& img, int w, int h, unsigned seed, float lo = -1000.0f, float hi = 1000.0f) {
  ASSERT_TRUE(img.Allocate(w, h, 3, false));
  ASSERT_TRUE(img.AllocateComplex(w, h));
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> d(lo, hi);
  for (std::int64_t i = 0; i < img.PixelCount(); ++i) img.Pixels[i] = d(rng);
}

bool SameBits(float a, float b) { return std::memcmp(&a, &b, 4) == 0; }

std::string Python() {
  EXPECT_EQ(std::system("/usr/bin/python3 -c 'import numpy' 2>/dev/null"), 0)
      << "python3-numpy is missing: the cross-check cannot run";
  return std::string("/usr/bin/python3 ") + CORVELLE_SOURCE_DIR + "/tests/oracles/fft_numpy.py";
}

// The full spectrum whose left W/2 + 1 columns Half holds.
std::vector<TComplex> Mirrored(const std::vector<TComplex>& Half, int w, int h) {
  std::vector<TComplex> full(Half);
  for (int y = 0; y < h; ++y) {
    for (int x = w / 2 + 1; x < w; ++x) {
      const TComplex m = Half[std::size_t((h - y) % h) * w + (w - x)];
      full[std::size_t(y) * w + x] = TComplex{m.Re, -m.Im};
    }
  }
  return full;
}

}  // namespace

TEST(FFT, ConstantImageGivesOnlyTheZeroFrequency) {
  TDataImage img;
  ASSERT_TRUE(img.Allocate(64, 64, 3, false));
  ASSERT_TRUE(img.AllocateComplex(64, 64));
  for (int i = 0; i < 64 * 64; ++i) img.Pixels[i] = 3.0f;
  ASSERT_TRUE(img.FFT());
  EXPECT_EQ(img.ComplexPlane[0].Re, 3.0f * 4096);
  EXPECT_EQ(img.ComplexPlane[0].Im, 0.0f);
  float worst = 0;
  for (int i = 1; i < 64 * 64; ++i) {
    worst = std::max({worst, std::fabs(img.ComplexPlane[i].Re), std::fabs(img.ComplexPlane[i].Im)});
  }
  EXPECT_LT(worst, 1e-3f);
  for (int i = 0; i < 64 * 64; ++i) img.Pixels[i] = 0.0f;
  ASSERT_TRUE(img.InverseFFT());
  for (int i = 0; i < 64 * 64; ++i) ASSERT_NEAR(img.Pixels[i], 3.0f, 1e-5f) << i;
}

TEST(FFT, RoundTripReturnsThePixels) {
  TDataImage img;
  Fill(img, 256, 128, 7);
  std::vector<float> before(img.Pixels, img.Pixels + img.PixelCount());
  ASSERT_TRUE(img.FFT());
  for (std::int64_t i = 0; i < img.PixelCount(); ++i) img.Pixels[i] = 0.0f;
  ASSERT_TRUE(img.InverseFFT());
  for (std::size_t i = 0; i < before.size(); ++i)
    ASSERT_NEAR(img.Pixels[i], before[i], 1e-5f * 1000) << i;  // a few Single ulps of the largest value
  // The same through the half spectrum.
  ASSERT_TRUE(ForwardRealFFT(img, before.data()));
  for (std::int64_t i = 0; i < img.PixelCount(); ++i) img.Pixels[i] = 0.0f;
  ASSERT_TRUE(InverseRealFFT(img, nullptr, nullptr));
  for (std::size_t i = 0; i < before.size(); ++i) ASSERT_NEAR(img.Pixels[i], before[i], 1e-5f * 1000) << i;
}

// The inverse's row pass stays in the plane: each row's one-line inverse.
TEST(FFT, InverseLeavesTheRowPassInTheComplexPlane) {
  TDataImage img;
  Fill(img, 16, 8, 3);
  ASSERT_TRUE(img.FFT());
  std::vector<TComplex> spectrum(img.ComplexPlane, img.ComplexPlane + img.PixelCount());
  ASSERT_TRUE(img.InverseFFT());
  TDataImage ref;
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 16; ++x) ref.FFTLine[x] = spectrum[y * 16 + x];
    ASSERT_TRUE(ref.FFT1D(false, 4, 16));
    for (int x = 0; x < 16; ++x) {
      const TComplex& got = img.ComplexPlane[y * 16 + x];
      EXPECT_NEAR(got.Re, ref.FFTLine[x].Re, 1e-3f) << x << "," << y;
      EXPECT_NEAR(got.Im, ref.FFTLine[x].Im, 1e-3f) << x << "," << y;
    }
  }
}

// FFT's plane is the half spectrum of ForwardRealFFT (the same bits) and its
// conjugate mirror; the inverse hands the rows to a sink with the bits it
// writes to the pixels; and the convolution gives the bits of its steps.
TEST(FFT, HalfSpectrumSinksAndConvolution) {
  for (auto [w, h] : {std::pair{64, 32}, {8, 4096}, {2, 1}, {1, 2}, {128, 1}, {32, 16}}) {
    SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
    TDataImage img, half;
    Fill(img, w, h, unsigned(w + h));
    Fill(half, w, h, 99);
    const std::vector<float> source(img.Pixels, img.Pixels + img.PixelCount());
    ASSERT_TRUE(img.FFT());
    ASSERT_TRUE(ForwardRealFFT(half, source.data()));
    const int s = HalfSpectrumWidth(w);
    std::vector<TComplex> left(std::size_t(w) * h);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < s; ++x) {
        const std::size_t i = std::size_t(y) * w + x;
        ASSERT_TRUE(SameBits(img.ComplexPlane[i].Re, half.ComplexPlane[i].Re)) << x << "," << y;
        ASSERT_TRUE(SameBits(img.ComplexPlane[i].Im, half.ComplexPlane[i].Im)) << x << "," << y;
        left[i] = half.ComplexPlane[i];
      }
    }
    const std::vector<TComplex> full = Mirrored(left, w, h);
    for (std::size_t i = 0; i < full.size(); ++i) {
      ASSERT_EQ(img.ComplexPlane[i].Re, full[i].Re) << i;
      ASSERT_EQ(img.ComplexPlane[i].Im, full[i].Im) << i;
    }

    // Rows to a sink, then the same spectrum into the pixels.
    struct TRows {
      std::vector<float> Values;
      std::vector<int> Seen;
    } rows{std::vector<float>(full.size()), std::vector<int>(std::size_t(h))};
    auto sink = [](void* c, std::size_t at, const float* v, int n) {
      auto& r = *static_cast<TRows*>(c);
      std::copy(v, v + n, r.Values.begin() + std::ptrdiff_t(at));
      r.Seen[at / std::size_t(n)] += 1;
      return true;
    };
    std::copy(left.begin(), left.end(), half.ComplexPlane);
    ASSERT_TRUE(InverseRealFFT(half, sink, &rows));
    for (int seen : rows.Seen) ASSERT_EQ(seen, 1);
    std::copy(left.begin(), left.end(), half.ComplexPlane);
    ASSERT_TRUE(InverseRealFFT(half, nullptr, nullptr));
    EXPECT_EQ(std::memcmp(rows.Values.data(), half.Pixels, rows.Values.size() * 4), 0);

    // A sink's false stops the transform.
    std::copy(left.begin(), left.end(), half.ComplexPlane);
    EXPECT_FALSE(InverseRealFFT(half, [](void*, std::size_t, const float*, int) { return false; }, nullptr));

    // Convolution and correlation with a lopsided kernel, against the steps.
    TDataImage kernel;
    Fill(kernel, w, h, 7, -1.0f, 3.0f);
    ASSERT_TRUE(ForwardRealFFT(kernel, nullptr));
    const TSpectrumFactor factor = HalfSpectrumFactor(kernel);
    for (bool conj : {false, true}) {
      ASSERT_TRUE(ForwardRealFFT(half, source.data()));
      for (int y = 0; y < h; ++y) {
        const std::size_t at = std::size_t(y) * w;
        ASSERT_TRUE(MultiplySpectra(half.ComplexPlane + at, half.ComplexPlane + at, kernel.ComplexPlane + at,
                                    std::size_t(s), conj));
      }
      ASSERT_TRUE(InverseRealFFT(half, nullptr, nullptr));
      const std::vector<float> steps(half.Pixels, half.Pixels + half.PixelCount());
      std::fill(rows.Seen.begin(), rows.Seen.end(), 0);
      ASSERT_TRUE(ConvolveRealFFT(half, source.data(), factor, conj, sink, &rows));
      EXPECT_EQ(std::memcmp(rows.Values.data(), steps.data(), steps.size() * 4), 0) << conj;
      ASSERT_TRUE(ConvolveRealFFT(half, source.data(), factor, conj, nullptr, nullptr));
      EXPECT_EQ(std::memcmp(half.Pixels, steps.data(), steps.size() * 4), 0) << conj;
      // The correlation is the convolution with the kernel turned about its origin.
      if (w * h > 4096) continue;
      double worst = 0, peak = 0;
      for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
          double v = 0;
          for (int j = 0; j < h; ++j) {
            for (int i = 0; i < w; ++i) {
              const int kx = conj ? (i - x + w) % w : (x - i + w) % w, ky = conj ? (j - y + h) % h : (y - j + h) % h;
              v += double(source[std::size_t(j) * w + i]) * kernel.Pixels[std::size_t(ky) * w + kx];
            }
          }
          worst = std::max(worst, std::fabs(v - half.Pixels[std::size_t(y) * w + x]));
          peak = std::max(peak, std::fabs(v));
        }
      }
      EXPECT_LT(worst, 1e-5 * peak) << conj;
    }
    TDataImage other;
    Fill(other, w * 2, h, 1);
    EXPECT_FALSE(ConvolveRealFFT(other, nullptr, factor, false, nullptr, nullptr)) << "a factor of another size";
  }
}

namespace {

struct TError {
  double Rms = 0, Max = 0;
};

// Errors of the forward spectrum, of the inverse's real parts, and of the
// real-input inverse of a half spectrum, relative to the root mean square of
// the exact results.
struct TErrors {
  TError Forward, Inverse, HalfInverse;
};

template <class TGet>
TError ErrorOf(TGet&& got, const std::vector<std::complex<double>>& want, bool realOnly) {
  TError out;
  double sumErr = 0, sumRef = 0;
  for (std::size_t i = 0; i < want.size(); ++i) {
    const std::complex<double> g = got(i);
    const double d = realOnly ? std::fabs(g.real() - want[i].real()) : std::abs(g - want[i]);
    sumErr += d * d;
    sumRef += realOnly ? want[i].real() * want[i].real() : std::norm(want[i]);
    out.Max = std::max(out.Max, d);
  }
  const double rmsRef = std::sqrt(sumRef / double(want.size()));
  out.Rms = std::sqrt(sumErr / double(want.size())) / rmsRef;
  out.Max /= rmsRef;
  return out;
}

// The library's transforms, or the radix-2 reference's, on the same data.
TErrors Measure(const std::vector<float>& pixels, const std::vector<TComplex>& spectrum, int w, int h, bool radix2) {
  TErrors e;
  TDataImage img;
  EXPECT_TRUE(img.Allocate(w, h, 3, false));
  EXPECT_TRUE(img.AllocateComplex(w, h));
  auto plane = [&](std::size_t i) { return std::complex<double>(img.ComplexPlane[i].Re, img.ComplexPlane[i].Im); };
  auto pixel = [&](std::size_t i) { return std::complex<double>(img.Pixels[i], 0); };

  std::copy(pixels.begin(), pixels.end(), img.Pixels);
  std::vector<std::complex<double>> exact(pixels.begin(), pixels.end());
  ExactDFT::Transform2D(exact, w, h, true);
  if (radix2) {
    Radix2::Forward(img);
  } else {
    EXPECT_TRUE(img.FFT());
  }
  e.Forward = ErrorOf(plane, exact, false);

  std::copy(spectrum.begin(), spectrum.end(), img.ComplexPlane);
  std::vector<std::complex<double>> back(spectrum.size());
  for (std::size_t i = 0; i < spectrum.size(); ++i) back[i] = {spectrum[i].Re, spectrum[i].Im};
  ExactDFT::Transform2D(back, w, h, false);
  if (radix2) {
    Radix2::Inverse(img);
  } else {
    EXPECT_TRUE(img.InverseFFT());
  }
  e.Inverse = ErrorOf(pixel, back, true);

  // The same spectrum's left half stands for its conjugate-symmetric whole.
  const std::vector<TComplex> full = Mirrored(spectrum, w, h);
  for (std::size_t i = 0; i < full.size(); ++i) back[i] = {full[i].Re, full[i].Im};
  ExactDFT::Transform2D(back, w, h, false);
  if (radix2) {
    std::copy(full.begin(), full.end(), img.ComplexPlane);
    Radix2::Inverse(img);
  } else {
    std::copy(spectrum.begin(), spectrum.end(), img.ComplexPlane);
    EXPECT_TRUE(InverseRealFFT(img, nullptr, nullptr));
  }
  e.HalfInverse = ErrorOf(pixel, back, true);
  return e;
}

// Sky with a gradient, noise and bright stars, in whole 16-bit counts.
float Sky(int x, int y, int w, int h, std::mt19937& rng) {
  std::normal_distribution<float> noise(0.0f, 30.0f);
  float v = 1200.0f + 3.0f * float(x) / float(w) * 100 + 2.0f * float(y) / float(h) * 100 + noise(rng);
  if ((x * 7 + y * 13) % 97 == 0) v += 40000.0f;
  return std::nearbyint(std::clamp(v, 0.0f, 65535.0f));
}

}  // namespace

// The library's transform may differ from the radix-2 bits, but its error
// against the exact transform may not exceed theirs: every side from 1 to
// 8192, random data, image-like data, and images padded with odd and even
// offsets as the filters and deconvolutions pad them.
TEST(FFT, ErrorIsNoLargerThanTheRadix2Transform) {
  struct TCase {
    int W, H;
    int Kind;  // 0 random, 1 image-like, 2 image-like padded from W x H
  };
  const TCase cases[] = {{1, 1, 0},    {2, 1, 0},     {1, 4, 0},    {8, 16, 0},   {32, 64, 0},  {128, 256, 0},
                         {512, 64, 0}, {1024, 32, 0}, {2048, 8, 0}, {4096, 4, 0}, {8192, 2, 0}, {2, 8192, 0},
                         {256, 512, 1}, {8192, 2, 1}, {2, 8192, 1}, {16, 16, 1},  {100, 61, 2}, {101, 60, 2},
                         {4097, 5, 2}, {3, 2100, 2}};
  std::mt19937 rng(17);
  std::uniform_real_distribution<float> uniform(-1000.0f, 1000.0f);
  for (const TCase& c : cases) {
    int w = c.W, h = c.H;
    std::vector<float> px(std::size_t(w) * h);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) px[std::size_t(y) * w + x] = c.Kind == 0 ? uniform(rng) : Sky(x, y, w, h, rng);
    }
    std::string offsets;
    if (c.Kind == 2) {
      TDataImage src;
      ASSERT_TRUE(src.Allocate(w, h, 3, false));
      std::copy(px.begin(), px.end(), src.Pixels);
      int ox, oy, pw, ph;
      auto padded = PadToPowerOfTwo(src, ox, oy, pw, ph);
      ASSERT_TRUE(padded);
      px.assign(padded->Pixels, padded->Pixels + padded->PixelCount());
      offsets = " padded at " + std::to_string(ox) + ", " + std::to_string(oy);
      w = pw;
      h = ph;
    }
    SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h) + (c.Kind ? " image" : " random") + offsets);
    std::vector<TComplex> spectrum(px.size());
    for (auto& v : spectrum) v = TComplex{uniform(rng), uniform(rng)};
    const TErrors plain = Measure(px, spectrum, w, h, true);
    const TErrors fftw = Measure(px, spectrum, w, h, false);
    EXPECT_LE(fftw.Forward.Rms, plain.Forward.Rms);
    EXPECT_LE(fftw.Forward.Max, plain.Forward.Max);
    EXPECT_LE(fftw.Inverse.Rms, plain.Inverse.Rms);
    EXPECT_LE(fftw.Inverse.Max, plain.Inverse.Max);
    EXPECT_LE(fftw.HalfInverse.Rms, plain.HalfInverse.Rms);
    EXPECT_LE(fftw.HalfInverse.Max, plain.HalfInverse.Max);
    std::printf("%5d x %-5d %s  forward rms %.3g / %.3g max %.3g / %.3g   inverse rms %.3g / %.3g max %.3g / %.3g"
                "   half inverse rms %.3g / %.3g max %.3g / %.3g\n",
                w, h, c.Kind ? "image " : "random", fftw.Forward.Rms, plain.Forward.Rms, fftw.Forward.Max,
                plain.Forward.Max, fftw.Inverse.Rms, plain.Inverse.Rms, fftw.Inverse.Max, plain.Inverse.Max,
                fftw.HalfInverse.Rms, plain.HalfInverse.Rms, fftw.HalfInverse.Max, plain.HalfInverse.Max);
  }
}

// Products of Singles are exact in double, but their difference may land on
// a midpoint between two Singles that the extended result lies beside.
TEST(FFT, ComplexProductPartsRoundLikeTheExtendedFormula) {
  const float tiny = std::ldexp(1.0f, -60);
  int doubleWouldDiffer = 0, checked = 0;
  for (int i = 1; i < 4096; i += 2) {
    for (int j = 1; j < 4096; j += 38) {
      const float a = 1.0f + std::ldexp(float(i), -12), b = 1.0f + std::ldexp(float(j), -12);
      for (float sign : {1.0f, -1.0f}) {
        const float c = sign, d = tiny;
        const float ext = float((long double)a * b - (long double)c * d);
        const float ext2 = float((long double)a * b + (long double)c * d);
        doubleWouldDiffer += float(double(a) * b - double(c) * d) != ext;
        ASSERT_TRUE(SameBits(ProductDifference(a, b, c, d), ext)) << a << " " << b;
        ASSERT_TRUE(SameBits(ProductSum(a, b, c, d), ext2)) << a << " " << b;
        ++checked;
      }
    }
  }
  EXPECT_GT(doubleWouldDiffer, 0) << "the cases above should exercise the extended path";
  // Subnormal results.
  const float s1 = 3e-39f, s2 = 0.7f;
  EXPECT_TRUE(
      SameBits(ProductDifference(s1, s2, 1e-30f, 1e-10f), float((long double)s1 * s2 - (long double)1e-30f * 1e-10f)));
}

// The vectorised products give ComplexProduct's and ConjugateProduct's bits,
// at midpoints and in the subnormal range too, in place and for odd counts,
// and report results beyond the Single range.
TEST(FFT, MultiplySpectraRoundsAsTheComplexProducts) {
  std::vector<TComplex> a, f;
  const float tiny = std::ldexp(1.0f, -60);
  for (int i = 1; i < 4096; i += 6) {
    const float x = 1.0f + std::ldexp(float(i), -12);
    a.push_back({x, tiny});  // x * y -+ tiny * 1 lands on midpoints
    f.push_back({1.0f + std::ldexp(float(4096 - i), -12), 1.0f});
    a.push_back({3e-39f * float(i % 7), 0.7f});  // subnormal parts
    f.push_back({0.7f, 1e-38f});
  }
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> d(-1e4f, 1e4f);
  for (int i = 0; i < 2001; ++i) {
    a.push_back({d(rng), d(rng)});
    f.push_back({d(rng), d(rng)});
  }
  int extended = 0;
  for (std::size_t k = 0; k < a.size(); ++k) {
    extended += FFTRounding::NeedsExtended(double(a[k].Re) * f[k].Re - double(a[k].Im) * f[k].Im);
  }
  for (bool conj : {false, true}) {
    for (std::size_t n : {a.size(), a.size() - 1, std::size_t(1), std::size_t(0)}) {
      std::vector<TComplex> out(n), inPlace(a.begin(), a.begin() + std::ptrdiff_t(n));
      EXPECT_TRUE(MultiplySpectra(out.data(), a.data(), f.data(), n, conj));
      EXPECT_TRUE(MultiplySpectra(inPlace.data(), inPlace.data(), f.data(), n, conj));
      int diff = 0;
      for (std::size_t k = 0; k < n; ++k) {
        const TComplex want = conj ? ConjugateProduct(a[k], f[k]) : ComplexProduct(a[k], f[k]);
        diff += !SameBits(out[k].Re, want.Re) || !SameBits(out[k].Im, want.Im);
        diff += !SameBits(inPlace[k].Re, want.Re) || !SameBits(inPlace[k].Im, want.Im);
      }
      EXPECT_EQ(diff, 0) << n << (conj ? " conjugate" : "");
    }
  }
  EXPECT_GT(extended, 0) << "the cases above should exercise the extended path";
  for (std::size_t at : {std::size_t(0), std::size_t(1), a.size() - 1}) {
    std::vector<TComplex> big(a), out(a.size());
    big[at] = TComplex{3e38f, 3e38f};
    EXPECT_FALSE(MultiplySpectra(out.data(), big.data(), big.data(), big.size(), false)) << at;
  }
}

namespace {

// Every result of the transforms for fixed data, as bits: both full
// transforms, the half spectrum and a correlation with it, on a plane of long
// columns, and three rounds of Lucy-Richardson.
std::vector<std::uint32_t> TransformBits() {
  std::vector<std::uint32_t> bits;
  auto keep = [&](const void* p, std::size_t floats) {
    const auto* u = static_cast<const std::uint32_t*>(p);
    bits.insert(bits.end(), u, u + floats);
  };
  for (auto [w, h] : {std::pair{256, 128}, {16, 4096}}) {
    TDataImage img;
    Fill(img, w, h, 11);
    const std::size_t n = std::size_t(w) * h;
    EXPECT_TRUE(img.FFT());
    keep(img.ComplexPlane, 2 * n);
    EXPECT_TRUE(img.InverseFFT());
    keep(img.Pixels, n);
    keep(img.ComplexPlane, 2 * n);
    EXPECT_TRUE(ForwardRealFFT(img, nullptr));
    keep(img.ComplexPlane, 2 * n);
    const TSpectrumFactor f = HalfSpectrumFactor(img);
    std::fill(img.Pixels, img.Pixels + n, 1.0f);
    img.Pixels[n / 3] = 5.0f;
    EXPECT_TRUE(ConvolveRealFFT(img, nullptr, f, true, nullptr, nullptr));
    keep(img.Pixels, n);
  }
  TDataImage obs;
  Fill(obs, 128, 128, 12, 1.0f, 1000.0f);
  auto psf = CreateGaussianPSF(128, 128, 1.5f);
  EXPECT_TRUE(psf);
  if (psf) {
    auto est = LucyRichardsonDeconvolve(3, obs, *psf);
    EXPECT_TRUE(est);
    if (est) keep(est->Pixels, std::size_t(est->PixelCount()));
  }
  return bits;
}

}  // namespace

// Results are the same for every thread count and in every run: a run in a
// new process (which plans afresh) gives the bits of this one. The child is
// this test itself, told where to write its bits.
TEST(FFT, SameBitsForEveryThreadCountAndEveryRun) {
  std::vector<std::uint32_t> first;
  for (int threads : {1, 2, 0}) {
    Parallel::SetThreads(threads);
    const std::vector<std::uint32_t> bits = TransformBits();
    if (first.empty()) first = bits;
    EXPECT_TRUE(bits == first) << Parallel::Threads() << " threads";
  }
  Parallel::SetThreads(0);
  ASSERT_GT(first.size(), 1000u);
  if (const char* out = std::getenv("CORVELLE_FFT_BITS_OUT")) {
    WriteBinary(out, first.data(), first.size());
    return;
  }
  char self[4096];
  const ssize_t len = readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(len, 0);
  self[len] = '\0';
  const ScratchFolder scratch;
  const std::string file = scratch.Path() + "/bits.bin";
  const std::string cmd = "CORVELLE_FFT_BITS_OUT='" + file + "' '" + self +
                          "' --gtest_filter=FFT.SameBitsForEveryThreadCountAndEveryRun >/dev/null 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << "the second run failed";
  EXPECT_TRUE(ReadBinary<std::uint32_t>(file) == first) << "another run gave other bits";
}

TEST(FFT, AgreesWithNumpy) {
  const std::string py = Python();
  const ScratchFolder scratch;
  const std::string dir = scratch.Path();
  TDataImage img;
  Fill(img, 256, 128, 42);
  WriteBinary(dir + "/fft_in.bin", img.Pixels, std::size_t(img.PixelCount()));
  ASSERT_EQ(std::system((py + " fft2 " + dir + "/fft_in.bin " + dir + "/fft_out.bin 256 128").c_str()), 0);
  const auto expected = ReadBinary<std::complex<double>>(dir + "/fft_out.bin");
  ASSERT_EQ(expected.size(), std::size_t(img.PixelCount()));
  ASSERT_TRUE(img.FFT());
  double peak = 0, worst = 0;
  for (const auto& e : expected) peak = std::max(peak, std::abs(e));
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const std::complex<double> got(img.ComplexPlane[i].Re, img.ComplexPlane[i].Im);
    worst = std::max(worst, std::abs(got - expected[i]));
  }
  EXPECT_LT(worst / peak, 1e-6 * 15) << "relative error against numpy";

  // Inverse of a random spectrum.
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> d(-500.0f, 500.0f);
  for (std::int64_t i = 0; i < img.PixelCount(); ++i) img.ComplexPlane[i] = TComplex{d(rng), d(rng)};
  WriteBinary(dir + "/ifft_in.bin", img.ComplexPlane, std::size_t(img.PixelCount()));
  ASSERT_EQ(std::system((py + " ifft2 " + dir + "/ifft_in.bin " + dir + "/ifft_out.bin 256 128").c_str()), 0);
  const auto real = ReadBinary<double>(dir + "/ifft_out.bin");
  ASSERT_EQ(real.size(), std::size_t(img.PixelCount()));
  ASSERT_TRUE(img.InverseFFT());
  double scale = 0, err = 0;
  for (std::size_t i = 0; i < real.size(); ++i) {
    scale = std::max(scale, std::fabs(real[i]));
    err = std::max(err, std::fabs(img.Pixels[i] - real[i]));
  }
  EXPECT_LT(err / scale, 1e-6 * 15);
}

TEST(FFT, TwiddleTablesHoldTheNearestSinglesOfTheExactValues) {
  ASSERT_EQ(std::system("/usr/bin/python3 -c 'import numpy, mpmath' 2>/dev/null"), 0)
      << "python3-numpy or python3-mpmath is missing: the cross-check cannot run";
  const ScratchFolder scratch;
  const std::string dir = scratch.Path();
  ASSERT_EQ(std::system((Python() + " twiddles " + dir + "/tw.bin").c_str()), 0);
  const auto exact = ReadBinary<float>(dir + "/tw.bin");
  ASSERT_EQ(exact.size(), 28u);
  for (int k = 0; k < 14; ++k) {
    EXPECT_TRUE(SameBits(FFTCosine(k), exact[2 * k])) << k;
    EXPECT_TRUE(SameBits(FFTCosine(14 + k), exact[2 * k])) << k;
    EXPECT_EQ(FFTSine(14 + k), exact[2 * k + 1]) << k;
    EXPECT_EQ(FFTSine(k), -exact[2 * k + 1]) << k;
  }
  EXPECT_EQ(FFTCosine(1), 0.0f);
  EXPECT_EQ(FFTSine(1), -1.0f);
  EXPECT_EQ(FFTSine(15), 1.0f);
  EXPECT_NE(FFTCosine(2), 0.7071068f) << "the Single nearest sqrt(0.5), not of the printed decimals";
}

TEST(FFT, RefusesWhatItCannotTransform) {
  TDataImage img;
  ASSERT_TRUE(img.Allocate(48, 64, 3, false));
  ASSERT_TRUE(img.AllocateComplex(48, 64));
  EXPECT_FALSE(img.FFT()) << "side not a power of two";
  EXPECT_FALSE(img.InverseFFT());

  TDataImage noPlane;
  ASSERT_TRUE(noPlane.Allocate(64, 64, 3, false));
  EXPECT_FALSE(noPlane.FFT()) << "no complex plane";
  EXPECT_FALSE(noPlane.InverseFFT());

  TDataImage small;
  ASSERT_TRUE(small.Allocate(64, 64, 3, false));
  ASSERT_TRUE(small.AllocateComplex(64, 32));
  EXPECT_FALSE(small.FFT()) << "complex plane smaller than the image";
  for (TDataImage* bad : {&img, &noPlane, &small}) {
    EXPECT_FALSE(ForwardRealFFT(*bad, nullptr));
    EXPECT_FALSE(InverseRealFFT(*bad, nullptr, nullptr));
  }

  TDataImage line;
  EXPECT_FALSE(line.FFT1D(true, 13, 8192)) << "longer than the work line";
  EXPECT_FALSE(line.FFT1D(true, 3, 6));

  // A sum beyond the Single range fails instead of filling the plane with inf.
  TDataImage huge;
  ASSERT_TRUE(huge.Allocate(64, 64, 3, false));
  ASSERT_TRUE(huge.AllocateComplex(64, 64));
  for (int i = 0; i < 64 * 64; ++i) huge.Pixels[i] = 3e38f;
  EXPECT_FALSE(huge.FFT());
  EXPECT_FALSE(ForwardRealFFT(huge, nullptr));
  // And so does an inverse whose results leave the range.
  for (int i = 0; i < 64 * 64; ++i) huge.ComplexPlane[i] = TComplex{3e38f, 3e38f};
  EXPECT_FALSE(huge.InverseFFT());
  for (int i = 0; i < 64 * 64; ++i) huge.ComplexPlane[i] = TComplex{3e38f, 3e38f};
  EXPECT_FALSE(InverseRealFFT(huge, nullptr, nullptr));
}

TEST(FFT, BitReverse) {
  EXPECT_EQ(TDataImage::BitReverse(1, 3), 4);
  EXPECT_EQ(TDataImage::BitReverse(6, 3), 3);
  EXPECT_EQ(TDataImage::BitReverse(1, 13), 4096);
  EXPECT_EQ(TDataImage::BitReverse(0x1FFF, 13), 0x1FFF);
  TDataImage img;
  for (int i = 0; i < 8; ++i) img.FFTLine[i] = TComplex{float(i), 0.0f};
  img.BitReversePermute(3);
  const float expected[] = {0, 4, 2, 6, 1, 5, 3, 7};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(img.FFTLine[i].Re, expected[i]);
}

TEST(FFTSizing, NextPowerOfTwo) {
  const int cases[][2] = {{0, 64},      {1, 64},      {64, 64},     {65, 128},    {129, 256},   {1000, 1024},
                          {2049, 4096}, {4096, 4096}, {4097, 8192}, {8192, 8192}, {8193, 8193}, {-5, -5}};
  for (const auto& c : cases) EXPECT_EQ(NextPowerOfTwo(c[0]), c[1]) << c[0];
}

TEST(FFTSizing, PadCentresTheImageInTheBorderMean) {
  TDataImage src;
  ASSERT_TRUE(src.Allocate(100, 50, 1, false));
  std::mt19937 rng(9);
  std::uniform_real_distribution<float> d(0.0f, 65535.0f);
  for (int i = 0; i < 100 * 50; ++i) src.Pixels[i] = std::nearbyint(d(rng)) + 0.25f;
  int ox = -1, oy = -1, pw = 0, ph = 0;
  auto padded = PadToPowerOfTwo(src, ox, oy, pw, ph);
  ASSERT_TRUE(padded);
  EXPECT_EQ(pw, 128);
  EXPECT_EQ(ph, 64);
  EXPECT_EQ(ox, 14);
  EXPECT_EQ(oy, 7);
  EXPECT_EQ(padded->Width, 128);
  EXPECT_EQ(padded->Height, 64);
  EXPECT_EQ(padded->DataType, 3);
  EXPECT_FALSE(padded->IsColour);

  // The border sum as a Single, each pair added in one extended expression.
  float s = 0.0f;
  for (int y = 0; y < 50; ++y) s = float((long double)s + src.GetPixel(0, y) + src.GetPixel(99, y));
  for (int x = 0; x < 100; ++x) s = float((long double)s + src.GetPixel(x, 0) + src.GetPixel(x, 49));
  const float fill = float((long double)s / 300);
  // And the mean in double, which the Single sum approaches.
  double exact = 0;
  for (int y = 0; y < 50; ++y) exact += src.GetPixel(0, y) + src.GetPixel(99, y);
  for (int x = 0; x < 100; ++x) exact += src.GetPixel(x, 0) + src.GetPixel(x, 49);
  EXPECT_NEAR(fill, exact / 300, 0.01);

  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 128; ++x) {
      const bool inside = x >= 14 && x < 114 && y >= 7 && y < 57;
      const float want = inside ? src.GetPixel(x - 14, y - 7) : fill;
      ASSERT_EQ(padded->GetPixel(x, y), want) << x << "," << y;
    }
  }
}

// Only the four corners are bright: each counts twice in the border sum.
TEST(FFTSizing, PadCountsTheCornersTwice) {
  TDataImage src;
  ASSERT_TRUE(src.Allocate(70, 30, 3, false));
  for (int i = 0; i < 70 * 30; ++i) src.Pixels[i] = 1000.0f;  // the inside does not count
  for (int y = 0; y < 30; ++y) src.Pixels[y * 70] = src.Pixels[y * 70 + 69] = 0.0f;
  for (int x = 0; x < 70; ++x) src.Pixels[x] = src.Pixels[29 * 70 + x] = 0.0f;
  src.Pixels[0] = src.Pixels[69] = src.Pixels[29 * 70] = src.Pixels[29 * 70 + 69] = 5.0f;
  int ox, oy, pw, ph;
  auto p = PadToPowerOfTwo(src, ox, oy, pw, ph);
  ASSERT_TRUE(p);
  EXPECT_EQ(pw, 128);
  EXPECT_EQ(ph, 64);
  EXPECT_EQ(ox, 29);
  EXPECT_EQ(oy, 17);
  EXPECT_EQ(p->GetPixel(0, 0), float(40.0 / 200));  // 8 corner terms of 5 over 2 * 30 + 2 * 70
  EXPECT_EQ(p->GetPixel(127, 63), float(40.0 / 200));
  EXPECT_EQ(p->GetPixel(29, 17), 5.0f);
  EXPECT_EQ(p->GetPixel(30, 18), 1000.0f);
}

TEST(FFTSizing, PadRefusesEmptyImages) {
  TDataImage empty;
  int ox, oy, pw, ph;
  EXPECT_FALSE(PadToPowerOfTwo(empty, ox, oy, pw, ph));
  ASSERT_TRUE(empty.Allocate(0, 10, 3, false));
  EXPECT_FALSE(PadToPowerOfTwo(empty, ox, oy, pw, ph));

  // A border sum beyond the Single range is a failure, not an inf fill.
  TDataImage bright;
  ASSERT_TRUE(bright.Allocate(4, 4, 3, false));
  for (int i = 0; i < 16; ++i) bright.Pixels[i] = 3e38f;
  EXPECT_FALSE(PadToPowerOfTwo(bright, ox, oy, pw, ph));
}

TEST(FFTSizing, PadOfALargeSideThenTransformsOrRefuses) {
  TDataImage src;
  ASSERT_TRUE(src.Allocate(5000, 1, 3, false));
  int ox, oy, pw, ph;
  auto p = PadToPowerOfTwo(src, ox, oy, pw, ph);
  ASSERT_TRUE(p);
  EXPECT_EQ(pw, 8192);
  EXPECT_EQ(ox, 1596);
  ASSERT_TRUE(p->AllocateComplex(pw, ph));
  EXPECT_TRUE(p->FFT()) << "8192 points fit the grown work line";

  TDataImage wide;
  ASSERT_TRUE(wide.Allocate(9000, 1, 3, false));
  auto q = PadToPowerOfTwo(wide, ox, oy, pw, ph);
  ASSERT_TRUE(q);
  EXPECT_EQ(pw, 9000);
  EXPECT_EQ(ox, 0);
  ASSERT_TRUE(q->AllocateComplex(pw, ph));
  EXPECT_FALSE(q->FFT()) << "9000 is no power of two";
}
