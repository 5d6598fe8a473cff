#pragma once
// Two references for the Fourier transform: the plain radix-2 transform of the
// image's work line (FFT1D, rows then columns), and an exact transform in
// double for measuring errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

#include "engine/DataImage.h"

namespace Radix2 {

inline int Bits(int n) {
  int b = 0;
  while ((1 << b) < n) ++b;
  return b;
}

// Pixels to the complex plane, line by line through FFT1D.
inline void Forward(TDataImage& img) {
  const int w = img.Width, h = img.Height;
  if (int(img.FFTLine.size()) < std::max(w, h)) img.FFTLine.resize(std::size_t(std::max(w, h)));
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

// The complex plane back to the pixels (real parts).
inline void Inverse(TDataImage& img) {
  const int w = img.Width, h = img.Height;
  if (int(img.FFTLine.size()) < std::max(w, h)) img.FFTLine.resize(std::size_t(std::max(w, h)));
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

}  // namespace Radix2

namespace ExactDFT {

// Radix 2 in double with every factor from cos and sin of its own angle
// (errors near 1e-16, nine decimal orders below Single's).
inline void Lines(std::vector<std::complex<double>>& a, int n, std::size_t stride, int lines, std::size_t lineStep,
                  bool forward) {
  const int bits = Radix2::Bits(n);
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
    for (int k = 0; k < n; ++k) {
      p[std::size_t(k) * stride] = forward ? line[std::size_t(k)] : line[std::size_t(k)] / double(n);
    }
  }
}

// In place on a W x H plane, row-major; the inverse is scaled by 1 / (W H).
inline void Transform2D(std::vector<std::complex<double>>& a, int w, int h, bool forward) {
  Lines(a, w, 1, h, std::size_t(w), forward);
  Lines(a, h, std::size_t(w), w, 1, forward);
}

}  // namespace ExactDFT
