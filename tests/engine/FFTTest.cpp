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

namespace {

void Fill(TDataImage& img, int w, int h, unsigned seed, float lo = -1000.0f, float hi = 1000.0f) {
  ASSERT_TRUE(img.Allocate(w, h, 3, false));
  ASSERT_TRUE(img.AllocateComplex(w, h));
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> d(lo, hi);
  for (std::int64_t i = 0; i < img.PixelCount(); ++i) img.Pixels[i] = d(rng);
}

int Bits(int n) {
  int b = 0;
  while ((1 << b) < n) ++b;
  return b;
}

// The transform line by line through FFT1D and the image's work line, as the
// plain algorithm states it.
void PlainForward(TDataImage& img) {
  const int w = img.Width, h = img.Height;
  if (int(img.FFTLine.size()) < std::max(w, h)) img.FFTLine.resize(std::max(w, h));
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) img.FFTLine[x] = TComplex{img.Pixels[y * w + x], 0.0f};
    ASSERT_TRUE(img.FFT1D(true, Bits(w), w));
    for (int x = 0; x < w; ++x) img.ComplexPlane[y * w + x] = img.FFTLine[x];
  }
  for (int x = 0; x < w; ++x) {
    for (int y = 0; y < h; ++y) img.FFTLine[y] = img.ComplexPlane[y * w + x];
    ASSERT_TRUE(img.FFT1D(true, Bits(h), h));
    for (int y = 0; y < h; ++y) img.ComplexPlane[y * w + x] = img.FFTLine[y];
  }
}

void PlainInverse(TDataImage& img) {
  const int w = img.Width, h = img.Height;
  if (int(img.FFTLine.size()) < std::max(w, h)) img.FFTLine.resize(std::max(w, h));
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) img.FFTLine[x] = img.ComplexPlane[y * w + x];
    ASSERT_TRUE(img.FFT1D(false, Bits(w), w));
    for (int x = 0; x < w; ++x) img.ComplexPlane[y * w + x] = img.FFTLine[x];
  }
  for (int x = 0; x < w; ++x) {
    for (int y = 0; y < h; ++y) img.FFTLine[y] = img.ComplexPlane[y * w + x];
    ASSERT_TRUE(img.FFT1D(false, Bits(h), h));
    for (int y = 0; y < h; ++y) img.Pixels[y * w + x] = img.FFTLine[y].Re;
  }
}

bool SameBits(float a, float b) { return std::memcmp(&a, &b, 4) == 0; }

int CountDifferentPlane(const TDataImage& a, const TDataImage& b) {
  int diff = 0;
  for (std::int64_t i = 0; i < a.PixelCount(); ++i) {
    diff +=
        !SameBits(a.ComplexPlane[i].Re, b.ComplexPlane[i].Re) || !SameBits(a.ComplexPlane[i].Im, b.ComplexPlane[i].Im);
  }
  return diff;
}

std::string Python() {
  EXPECT_EQ(std::system("/usr/bin/python3 -c 'import numpy' 2>/dev/null"), 0)
      << "python3-numpy is missing: the cross-check cannot run";
  return std::string("/usr/bin/python3 ") + CORVELLE_SOURCE_DIR + "/tests/oracles/fft_numpy.py";
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
}

// Exact kernels leave the very bits of the one-line transform; the fast one
// the same values within its rounding.
TEST(FFT, InverseLeavesTheRowPassInTheComplexPlane) {
  for (FFTKernel kernel : {FFTKernel::Generic, FFTKernel::Fast}) {
    if (!SelectFFTKernel(kernel)) continue;
    TDataImage img;
    Fill(img, 16, 8, 3);
    ASSERT_TRUE(img.FFT());
    std::vector<TComplex> spectrum(img.ComplexPlane, img.ComplexPlane + img.PixelCount());
    ASSERT_TRUE(img.InverseFFT());
    // Row pass of the spectrum by hand, through the one-line transform.
    TDataImage ref;
    for (int y = 0; y < 8; ++y) {
      for (int x = 0; x < 16; ++x) ref.FFTLine[x] = spectrum[y * 16 + x];
      ASSERT_TRUE(ref.FFT1D(false, 4, 16));
      for (int x = 0; x < 16; ++x) {
        const TComplex& got = img.ComplexPlane[y * 16 + x];
        if (kernel == FFTKernel::Generic) {
          EXPECT_TRUE(SameBits(got.Re, ref.FFTLine[x].Re));
          EXPECT_TRUE(SameBits(got.Im, ref.FFTLine[x].Im));
        } else {
          EXPECT_NEAR(got.Re, ref.FFTLine[x].Re, 1e-3f);
          EXPECT_NEAR(got.Im, ref.FFTLine[x].Im, 1e-3f);
        }
      }
    }
  }
  SelectFFTKernel(FFTKernel::Auto);
}

namespace {

// The exact transform for the error measure: radix 2 in double with every
// factor from cos and sin of its own angle (errors near 1e-16, nine decimal
// orders below Single's).
void ExactLines(std::vector<std::complex<double>>& a, int n, std::size_t stride, int lines, std::size_t lineStep,
                bool forward) {
  const int bits = Bits(n);
  std::vector<std::complex<double>> line(static_cast<std::size_t>(n)), w(static_cast<std::size_t>(std::max(1, n / 2)));
  for (int k = 0; k < n / 2; ++k) {
    const long double t = (forward ? -2.0L : 2.0L) * 3.141592653589793238462643383279502884L * k / n;
    w[std::size_t(k)] = {double(cosl(t)), double(sinl(t))};
  }
  for (int l = 0; l < lines; ++l) {
    std::complex<double>* p = a.data() + std::size_t(l) * lineStep;
    for (int k = 0; k < n; ++k) line[std::size_t(TDataImage::BitReverse(k, bits))] = p[std::size_t(k) * stride];
    for (int step = 1; step < n; step *= 2) {
      for (int base = 0; base < n; base += 2 * step) {
        for (int m = 0; m < step; ++m) {
          const std::complex<double> t = w[std::size_t(m * (n / (2 * step)))] * line[std::size_t(base + m + step)];
          line[std::size_t(base + m + step)] = line[std::size_t(base + m)] - t;
          line[std::size_t(base + m)] += t;
        }
      }
    }
    for (int k = 0; k < n; ++k) p[std::size_t(k) * stride] = forward ? line[std::size_t(k)] : line[std::size_t(k)] / double(n);
  }
}

void Exact2D(std::vector<std::complex<double>>& a, int w, int h, bool forward) {
  ExactLines(a, w, 1, h, std::size_t(w), forward);
  ExactLines(a, h, std::size_t(w), w, 1, forward);
}

struct TError {
  double Rms = 0, Max = 0;
};

// Errors of the forward spectrum and of the inverse's real parts, relative to
// the root mean square of the exact results.
struct TErrors {
  TError Forward, Inverse;
};

TErrors Measure(const std::vector<float>& pixels, const std::vector<TComplex>& spectrum, int w, int h) {
  TErrors e;
  TDataImage img;
  EXPECT_TRUE(img.Allocate(w, h, 3, false));
  EXPECT_TRUE(img.AllocateComplex(w, h));
  std::copy(pixels.begin(), pixels.end(), img.Pixels);
  std::vector<std::complex<double>> exact(pixels.begin(), pixels.end());
  Exact2D(exact, w, h, true);
  EXPECT_TRUE(img.FFT());
  auto measure = [](TError& out, auto&& got, const std::vector<std::complex<double>>& want, bool realOnly) {
    double sumErr = 0, sumRef = 0;
    for (std::size_t i = 0; i < want.size(); ++i) {
      const std::complex<double> g = got(i);
      const double d = realOnly ? std::fabs(g.real() - want[i].real()) : std::abs(g - want[i]);
      sumErr += d * d;
      sumRef += std::norm(realOnly ? std::complex<double>(want[i].real(), 0) : want[i]);
      out.Max = std::max(out.Max, d);
    }
    const double rmsRef = std::sqrt(sumRef / double(want.size()));
    out.Rms = std::sqrt(sumErr / double(want.size())) / rmsRef;
    out.Max /= rmsRef;
  };
  measure(e.Forward, [&](std::size_t i) { return std::complex<double>(img.ComplexPlane[i].Re, img.ComplexPlane[i].Im); },
          exact, false);
  std::copy(spectrum.begin(), spectrum.end(), img.ComplexPlane);
  std::vector<std::complex<double>> back(spectrum.size());
  for (std::size_t i = 0; i < spectrum.size(); ++i) back[i] = {spectrum[i].Re, spectrum[i].Im};
  Exact2D(back, w, h, false);
  EXPECT_TRUE(img.InverseFFT());
  measure(e.Inverse, [&](std::size_t i) { return std::complex<double>(img.Pixels[i], 0); }, back, true);
  return e;
}

}  // namespace

// The fast kernel may differ from the radix-2 bits, but its error against the
// exact transform may not exceed theirs: every side from 1 to 8192, random
// data and image-like data (a smooth sky, stars, whole 16-bit counts).
TEST(FFT, FastKernelErrorIsNoLargerThanTheRadix2Transform) {
  if (!SelectFFTKernel(FFTKernel::Fast)) GTEST_SKIP() << "the processor has no fast kernel";
  SelectFFTKernel(FFTKernel::Auto);
  const int sizes[][2] = {{1, 1},   {2, 1},    {1, 4},    {8, 16},  {32, 64},   {128, 256},
                          {512, 64}, {1024, 32}, {2048, 8}, {4096, 4}, {8192, 2}, {2, 8192}, {256, 512}};
  std::mt19937 rng(17);
  std::uniform_real_distribution<float> uniform(-1000.0f, 1000.0f);
  std::normal_distribution<float> noise(0.0f, 30.0f);
  for (const auto& s : sizes) {
    const int w = s[0], h = s[1];
    for (int kind = 0; kind < 2; ++kind) {
      SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h) + (kind ? " image" : " random"));
      std::vector<float> px(std::size_t(w) * h);
      for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
          float v = uniform(rng);
          if (kind == 1) {
            v = 1200.0f + 3.0f * float(x) / float(w) * 100 + 2.0f * float(y) / float(h) * 100 + noise(rng);
            if ((x * 7 + y * 13) % 97 == 0) v += 40000.0f;
            v = std::nearbyint(std::clamp(v, 0.0f, 65535.0f));
          }
          px[std::size_t(y) * w + x] = v;
        }
      }
      std::vector<TComplex> spectrum(px.size());
      for (auto& c : spectrum) c = TComplex{uniform(rng), uniform(rng)};
      ASSERT_TRUE(SelectFFTKernel(FFTKernel::Generic));
      const TErrors plain = Measure(px, spectrum, w, h);
      ASSERT_TRUE(SelectFFTKernel(FFTKernel::Fast));
      const TErrors fast = Measure(px, spectrum, w, h);
      EXPECT_LE(fast.Forward.Rms, plain.Forward.Rms);
      EXPECT_LE(fast.Inverse.Rms, plain.Inverse.Rms);
      EXPECT_LE(fast.Forward.Max, plain.Forward.Max);
      EXPECT_LE(fast.Inverse.Max, plain.Inverse.Max);
      std::printf("%5d x %-5d %s  forward rms %.3g / %.3g max %.3g / %.3g   inverse rms %.3g / %.3g max %.3g / %.3g\n", w, h,
                  kind ? "image " : "random", fast.Forward.Rms, plain.Forward.Rms, fast.Forward.Max, plain.Forward.Max,
                  fast.Inverse.Rms, plain.Inverse.Rms, fast.Inverse.Max, plain.Inverse.Max);
    }
  }
  SelectFFTKernel(FFTKernel::Auto);
}

// The threaded, several-lines-at-once transform performs the very operations
// of the one-line transform: every bit agrees, including sizes with fewer
// lines than a block, the largest side, and values in the Single subnormal range.
TEST(FFT, BlockTransformAgreesBitForBitWithTheOneLineTransform) {
  const FFTKernel kernels[] = {FFTKernel::Generic, FFTKernel::AVX2, FFTKernel::AVX512};
  int tried = 0;
  for (FFTKernel kernel : kernels) {
    if (!SelectFFTKernel(kernel)) continue;
    ++tried;
    SCOPED_TRACE("kernel " + std::to_string(int(kernel)));
    const int sizes[][2] = {{1, 1},     {2, 1},     {1, 4},     {4, 2},     {8, 8},    {64, 16},
                            {256, 128}, {128, 512}, {1024, 64}, {8192, 16}, {16, 8192}};
    unsigned seed = 100;
    for (const auto& s : sizes) {
      for (int variant = 0; variant < 3; ++variant) {
        TDataImage fast, plain;
        Fill(fast, s[0], s[1], ++seed);
        if (variant == 1) {
          for (std::int64_t i = 0; i < fast.PixelCount(); ++i) fast.Pixels[i] *= 1e-41f;
        } else if (variant == 2) {
          // A small smooth spot in zeros, like a point-spread function: its
          // symmetry makes many products meet Single midpoints.
          const int w = s[0], h = s[1];
          for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
              const int dx = std::min(x, w - x), dy = std::min(y, h - y);
              fast.Pixels[y * w + x] = dx <= 7 && dy <= 7 ? float(std::exp(-(dx * dx + dy * dy) / 8.0) / 50) : 0.0f;
            }
          }
        } else {
          // Whole numbers and zeros as well, where exact results meet midpoints.
          for (std::int64_t i = 0; i < fast.PixelCount(); i += 3) fast.Pixels[i] = std::nearbyint(fast.Pixels[i]);
          for (std::int64_t i = 1; i < fast.PixelCount(); i += 7) fast.Pixels[i] = 0.0f;
        }
        ASSERT_TRUE(plain.Allocate(s[0], s[1], 3, false));
        ASSERT_TRUE(plain.AllocateComplex(s[0], s[1]));
        std::copy(fast.Pixels, fast.Pixels + fast.PixelCount(), plain.Pixels);

        ASSERT_TRUE(fast.FFT());
        PlainForward(plain);
        EXPECT_EQ(CountDifferentPlane(fast, plain), 0) << s[0] << " x " << s[1] << " forward";

        ASSERT_TRUE(fast.InverseFFT());
        PlainInverse(plain);
        EXPECT_EQ(CountDifferentPlane(fast, plain), 0) << s[0] << " x " << s[1] << " inverse row pass";
        int diff = 0;
        for (std::int64_t i = 0; i < fast.PixelCount(); ++i) diff += !SameBits(fast.Pixels[i], plain.Pixels[i]);
        EXPECT_EQ(diff, 0) << s[0] << " x " << s[1] << " inverse";
      }
    }
  }
  SelectFFTKernel(FFTKernel::Auto);
  EXPECT_GE(tried, 1);
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

  TDataImage line;
  EXPECT_FALSE(line.FFT1D(true, 13, 8192)) << "longer than the work line";
  EXPECT_FALSE(line.FFT1D(true, 3, 6));

  // A sum beyond the Single range fails instead of filling the plane with inf.
  TDataImage huge;
  ASSERT_TRUE(huge.Allocate(64, 64, 3, false));
  ASSERT_TRUE(huge.AllocateComplex(64, 64));
  for (int i = 0; i < 64 * 64; ++i) huge.Pixels[i] = 3e38f;
  EXPECT_FALSE(huge.FFT());
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
