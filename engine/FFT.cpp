#include "engine/FFT.h"

#include <immintrin.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <mutex>
#include <new>
#include <vector>

#include "engine/Checked.h"
#include "engine/Errors.h"
#include "engine/Parallel.h"

// The block kernel passes 32-byte vectors between inlined helpers only.
#pragma GCC diagnostic ignored "-Wpsabi"
// GCC 12 misreads the undefined upper half of the 512-bit casts.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"

// ---------------------------------------------------------------- tables

namespace {

constexpr int MaxBits = 14;  // the tables serve steps up to 2^13, lines up to 2^14

struct TTwiddleTables {
  float Cos[2 * MaxBits];
  float Sin[2 * MaxBits];
  TTwiddleTables() {
    for (int k = 0; k < MaxBits; ++k) {
      float c, s;
      if (k == 0) {
        c = -1.0f, s = 0.0f;
      } else if (k == 1) {
        c = 0.0f, s = 1.0f;  // cos(pi/2) is exactly 0, which cosl of a rounded pi/2 is not
      } else {
        const long double a = 3.141592653589793238462643383279502884L / (long double)(1 << k);
        c = float(cosl(a));
        s = float(sinl(a));
      }
      Cos[k] = Cos[MaxBits + k] = c;
      Sin[k] = (k == 0) ? 0.0f : -s;
      Sin[MaxBits + k] = s;
    }
  }
};

const TTwiddleTables& Tables() {
  static const TTwiddleTables t;
  return t;
}

// The twiddle factors u of every stage of an N-point line, in the order the
// butterfly groups use them: u starts at 1 and is advanced by u := u * w with
// Single rounding. Entry step - 1 + m belongs to group m of the stage `step`.
struct TTwiddles {
  std::vector<float> Re, Im;
  std::vector<double> DRe, DIm;
  // u = (1, 0) or (0, +-1) and the like: every product is exact in Single
  // and one of each pair is zero, so Single arithmetic gives the same bits.
  std::vector<std::uint8_t> Exact;
  // The nearest Singles of the exact factors, for the fast kernel.
  std::vector<float> NearRe, NearIm;
};

const TTwiddles& TwiddlesFor(bool Forward, int Bits) {
  static std::mutex lock;
  static std::unique_ptr<TTwiddles> cache[2][MaxBits + 1];
  std::lock_guard<std::mutex> guard(lock);
  auto& slot = cache[Forward ? 0 : 1][Bits];
  if (!slot) {
    auto t = std::make_unique<TTwiddles>();
    const int n = 1 << Bits;
    t->Re.resize(std::max(1, n - 1));
    t->Im.resize(std::max(1, n - 1));
    int k = Forward ? 0 : MaxBits;
    for (int step = 1; step < n; step *= 2, ++k) {
      const float wr = Tables().Cos[k], wi = Tables().Sin[k];
      float ur = 1.0f, ui = 0.0f;
      for (int m = 0; m < step; ++m) {
        t->Re[step - 1 + m] = ur;
        t->Im[step - 1 + m] = ui;
        const float nr = ProductDifference(ur, wr, ui, wi);
        const float ni = ProductSum(ur, wi, ui, wr);
        ur = nr;
        ui = ni;
      }
    }
    t->Exact.resize(t->Re.size());
    for (std::size_t k = 0; k < t->Re.size(); ++k) {
      const float r = t->Re[k], i = t->Im[k];
      const bool unit = (r == 0.0f && std::fabs(i) == 1.0f) || (i == 0.0f && std::fabs(r) == 1.0f);
      t->Exact[k] = unit;
    }
    t->NearRe.resize(t->Re.size());
    t->NearIm.resize(t->Re.size());
    for (int step = 1; step < n; step *= 2) {
      for (int m = 0; m < step; ++m) {
        // Exact on the axes; elsewhere cos and sin of pi m / step in extended.
        long double c, si;
        if (m == 0) {
          c = 1, si = 0;
        } else if (2 * m == step) {
          c = 0, si = 1;
        } else {
          const long double a = 3.141592653589793238462643383279502884L * m / step;
          c = cosl(a);
          si = sinl(a);
        }
        t->NearRe[step - 1 + m] = float(c);
        t->NearIm[step - 1 + m] = float(Forward ? -si : si);
      }
    }
    t->DRe.assign(t->Re.begin(), t->Re.end());
    t->DIm.assign(t->Im.begin(), t->Im.end());
    slot = std::move(t);
  }
  return *slot;
}

bool PowerOfTwoSide(int n) { return n >= 1 && n <= (1 << MaxBits) && std::has_single_bit(unsigned(n)); }

int Log2(int n) { return std::countr_zero(unsigned(n)); }

// ---------------------------------------------------------------- block kernels
//
// L lines are transformed in lockstep: the work buffer holds entry k of line
// l at [k * L + l], real and imaginary parts apart. Every lane does exactly
// the operations of the one-line transform: each part of t = u * x[j] is the
// Single rounding of the extended value (products of Singles are exact in
// double; a double result on a Single midpoint or in the Single subnormal
// range is redone in extended), then x[j] = x[i] - t and x[i] = x[i] + t in
// Single. Within a stage the butterflies touch disjoint pairs, so visiting
// blocks before groups gives the same values as the group order.

using TStages = void (*)(float* re, float* im, int n, const TTwiddles& tw);

void StagesGeneric(float* re, float* im, int n, const TTwiddles& tw) {
  constexpr int L = 8;
  for (int step = 1; step < n; step *= 2) {
    const float* sr = tw.Re.data() + (step - 1);
    const float* si = tw.Im.data() + (step - 1);
    for (int base = 0; base < n; base += 2 * step) {
      for (int m = 0; m < step; ++m) {
        float* xr = re + std::size_t(base + m) * L;
        float* xi = im + std::size_t(base + m) * L;
        float* yr = re + std::size_t(base + m + step) * L;
        float* yi = im + std::size_t(base + m + step) * L;
        for (int l = 0; l < L; ++l) {
          const float tr = ProductDifference(sr[m], yr[l], si[m], yi[l]);
          const float ti = ProductSum(sr[m], yi[l], si[m], yr[l]);
          yr[l] = xr[l] - tr;
          yi[l] = xi[l] - ti;
          xr[l] = xr[l] + tr;
          xi[l] = xi[l] + ti;
        }
      }
    }
  }
}

#define CORVELLE_AVX2 __attribute__((target("avx2"), always_inline)) inline

CORVELLE_AVX2 __m256i SuspiciousAVX2(__m256d d) {
  const __m256i b = _mm256_castpd_si256(d);
  const __m256i m1 =
      _mm256_cmpeq_epi64(_mm256_and_si256(b, _mm256_set1_epi64x(0x1FFFFFFF)), _mm256_set1_epi64x(0x10000000));
  const __m256d a = _mm256_and_pd(d, _mm256_castsi256_pd(_mm256_set1_epi64x(0x7FFFFFFFFFFFFFFFll)));
  const __m256d m2 = _mm256_and_pd(_mm256_cmp_pd(a, _mm256_set1_pd(0x1p-126), _CMP_LT_OQ),
                                   _mm256_cmp_pd(a, _mm256_setzero_pd(), _CMP_GT_OQ));
  return _mm256_or_si256(m1, _mm256_castpd_si256(m2));
}

__attribute__((target("avx2"))) void StagesAVX2(float* re, float* im, int n, const TTwiddles& tw) {
  constexpr int L = 8;
  for (int step = 1; step < n; step *= 2) {
    const double* sr = tw.DRe.data() + (step - 1);
    const double* si = tw.DIm.data() + (step - 1);
    const std::uint8_t* ex = tw.Exact.data() + (step - 1);
    for (int base = 0; base < n; base += 2 * step) {
      for (int m = 0; m < step; ++m) {
        float* xr = re + std::size_t(base + m) * L;
        float* xi = im + std::size_t(base + m) * L;
        float* yr = re + std::size_t(base + m + step) * L;
        float* yi = im + std::size_t(base + m + step) * L;
        const __m256 fr = _mm256_loadu_ps(yr), fi = _mm256_loadu_ps(yi);
        if (ex[m]) {
          const __m256 vr = _mm256_set1_ps(float(sr[m])), vi = _mm256_set1_ps(float(si[m]));
          const __m256 tr = _mm256_sub_ps(_mm256_mul_ps(vr, fr), _mm256_mul_ps(vi, fi));
          const __m256 ti = _mm256_add_ps(_mm256_mul_ps(vr, fi), _mm256_mul_ps(vi, fr));
          const __m256 ar = _mm256_loadu_ps(xr), ai = _mm256_loadu_ps(xi);
          _mm256_storeu_ps(yr, _mm256_sub_ps(ar, tr));
          _mm256_storeu_ps(yi, _mm256_sub_ps(ai, ti));
          _mm256_storeu_ps(xr, _mm256_add_ps(ar, tr));
          _mm256_storeu_ps(xi, _mm256_add_ps(ai, ti));
          continue;
        }
        const __m256d frl = _mm256_cvtps_pd(_mm256_castps256_ps128(fr));
        const __m256d frh = _mm256_cvtps_pd(_mm256_extractf128_ps(fr, 1));
        const __m256d fil = _mm256_cvtps_pd(_mm256_castps256_ps128(fi));
        const __m256d fih = _mm256_cvtps_pd(_mm256_extractf128_ps(fi, 1));
        const __m256d ur = _mm256_set1_pd(sr[m]), ui = _mm256_set1_pd(si[m]);
        const __m256d trl = _mm256_sub_pd(_mm256_mul_pd(ur, frl), _mm256_mul_pd(ui, fil));
        const __m256d trh = _mm256_sub_pd(_mm256_mul_pd(ur, frh), _mm256_mul_pd(ui, fih));
        const __m256d til = _mm256_add_pd(_mm256_mul_pd(ur, fil), _mm256_mul_pd(ui, frl));
        const __m256d tih = _mm256_add_pd(_mm256_mul_pd(ur, fih), _mm256_mul_pd(ui, frh));
        __m256 tr = _mm256_set_m128(_mm256_cvtpd_ps(trh), _mm256_cvtpd_ps(trl));
        __m256 ti = _mm256_set_m128(_mm256_cvtpd_ps(tih), _mm256_cvtpd_ps(til));
        const unsigned badRe = unsigned(_mm256_movemask_pd(_mm256_castsi256_pd(SuspiciousAVX2(trl)))) |
                               unsigned(_mm256_movemask_pd(_mm256_castsi256_pd(SuspiciousAVX2(trh)))) << 4;
        const unsigned badIm = unsigned(_mm256_movemask_pd(_mm256_castsi256_pd(SuspiciousAVX2(til)))) |
                               unsigned(_mm256_movemask_pd(_mm256_castsi256_pd(SuspiciousAVX2(tih)))) << 4;
        if (__builtin_expect((badRe | badIm) != 0, 0)) {
          alignas(32) float r[L], i[L];
          _mm256_store_ps(r, tr);
          _mm256_store_ps(i, ti);
          const long double u0 = sr[m], u1 = si[m];
          for (unsigned b = badRe; b; b &= b - 1) {
            const int l = std::countr_zero(b);
            r[l] = float(u0 * yr[l] - u1 * yi[l]);
          }
          for (unsigned b = badIm; b; b &= b - 1) {
            const int l = std::countr_zero(b);
            i[l] = float(u0 * yi[l] + u1 * yr[l]);
          }
          tr = _mm256_load_ps(r);
          ti = _mm256_load_ps(i);
        }
        const __m256 ar = _mm256_loadu_ps(xr), ai = _mm256_loadu_ps(xi);
        _mm256_storeu_ps(yr, _mm256_sub_ps(ar, tr));
        _mm256_storeu_ps(yi, _mm256_sub_ps(ai, ti));
        _mm256_storeu_ps(xr, _mm256_add_ps(ar, tr));
        _mm256_storeu_ps(xi, _mm256_add_ps(ai, ti));
      }
    }
  }
}

#define CORVELLE_AVX512 __attribute__((target("avx512f,fma"), always_inline)) inline

CORVELLE_AVX512 __mmask8 SuspiciousAVX512(__m512d d) {
  const __m512i b = _mm512_castpd_si512(d);
  const __mmask8 m1 =
      _mm512_cmpeq_epi64_mask(_mm512_and_si512(b, _mm512_set1_epi64(0x1FFFFFFF)), _mm512_set1_epi64(0x10000000));
  const __m512i a = _mm512_and_si512(b, _mm512_set1_epi64(0x7FFFFFFFFFFFFFFFll));
  const __mmask8 m2 =
      _mm512_cmplt_epu64_mask(_mm512_sub_epi64(a, _mm512_set1_epi64(1)), _mm512_set1_epi64(0x380FFFFFFFFFFFFFll));
  return __mmask8(m1 | m2);
}

// The lanes of 16 Single results f, rounded from lo (lanes 0..7) and hi
// (lanes 8..15), that need the extended formula: a double on a Single
// midpoint (its low 29 bits are 1 followed by zeros), or one below the normal
// Single range. The second test first looks at f, which is zero, subnormal or
// the smallest normal Single whenever the double lies below that range.
CORVELLE_AVX512 unsigned Suspicious16(__m512d lo, __m512d hi, __m512 f) {
  const __m512i even = _mm512_set_epi32(30, 28, 26, 24, 22, 20, 18, 16, 14, 12, 10, 8, 6, 4, 2, 0);
  const __m512i low = _mm512_permutex2var_epi32(_mm512_castpd_si512(lo), even, _mm512_castpd_si512(hi));
  unsigned bad =
      _mm512_testn_epi32_mask(_mm512_xor_si512(low, _mm512_set1_epi32(0x10000000)), _mm512_set1_epi32(0x1FFFFFFF));
  const __mmask16 small = _mm512_cmple_epu32_mask(
      _mm512_and_si512(_mm512_castps_si512(f), _mm512_set1_epi32(0x7FFFFFFF)), _mm512_set1_epi32(0x00800000));
  if (__builtin_expect(small != 0, 0)) {
    bad |= unsigned(SuspiciousAVX512(lo)) | unsigned(SuspiciousAVX512(hi)) << 8;
  }
  return bad;
}

CORVELLE_AVX512 __m512 Join(__m256 lo, __m256 hi) {
  return _mm512_castpd_ps(_mm512_insertf64x4(_mm512_castpd256_pd512(_mm256_castps_pd(lo)), _mm256_castps_pd(hi), 1));
}

CORVELLE_AVX512 __m256 High(__m512 v) { return _mm256_castpd_ps(_mm512_extractf64x4_pd(_mm512_castps_pd(v), 1)); }

// One butterfly on registers: t = u * y; y = x - t; x = x + t.
CORVELLE_AVX512 void Butterfly512(__m512& xr, __m512& xi, __m512& yr, __m512& yi, double u0, double u1, bool exact) {
  __m512 tr, ti;
  if (exact) {
    const __m512 vr = _mm512_set1_ps(float(u0)), vi = _mm512_set1_ps(float(u1));
    tr = _mm512_sub_ps(_mm512_mul_ps(vr, yr), _mm512_mul_ps(vi, yi));
    ti = _mm512_add_ps(_mm512_mul_ps(vr, yi), _mm512_mul_ps(vi, yr));
  } else {
    const __m512d frl = _mm512_cvtps_pd(_mm512_castps512_ps256(yr));
    const __m512d frh = _mm512_cvtps_pd(High(yr));
    const __m512d fil = _mm512_cvtps_pd(_mm512_castps512_ps256(yi));
    const __m512d fih = _mm512_cvtps_pd(High(yi));
    const __m512d ur = _mm512_set1_pd(u0), ui = _mm512_set1_pd(u1);
    // Both products are exact in double, so rounding a fused a * b - q once
    // gives the very double that rounding the difference of products gives.
    const __m512d trl = _mm512_fmsub_pd(ur, frl, _mm512_mul_pd(ui, fil));
    const __m512d trh = _mm512_fmsub_pd(ur, frh, _mm512_mul_pd(ui, fih));
    const __m512d til = _mm512_fmadd_pd(ur, fil, _mm512_mul_pd(ui, frl));
    const __m512d tih = _mm512_fmadd_pd(ur, fih, _mm512_mul_pd(ui, frh));
    tr = Join(_mm512_cvtpd_ps(trl), _mm512_cvtpd_ps(trh));
    ti = Join(_mm512_cvtpd_ps(til), _mm512_cvtpd_ps(tih));
    const unsigned badRe = Suspicious16(trl, trh, tr);
    const unsigned badIm = Suspicious16(til, tih, ti);
    if (__builtin_expect((badRe | badIm) != 0, 0)) {
      // Only the flagged lanes need the extended formula.
      alignas(64) float r[16], i[16], fr[16], fi[16];
      _mm512_store_ps(r, tr);
      _mm512_store_ps(i, ti);
      _mm512_store_ps(fr, yr);
      _mm512_store_ps(fi, yi);
      const long double v0 = u0, v1 = u1;
      for (unsigned b = badRe; b; b &= b - 1) {
        const int l = std::countr_zero(b);
        r[l] = float(v0 * fr[l] - v1 * fi[l]);
      }
      for (unsigned b = badIm; b; b &= b - 1) {
        const int l = std::countr_zero(b);
        i[l] = float(v0 * fi[l] + v1 * fr[l]);
      }
      tr = _mm512_load_ps(r);
      ti = _mm512_load_ps(i);
    }
  }
  yr = _mm512_sub_ps(xr, tr);
  yi = _mm512_sub_ps(xi, ti);
  xr = _mm512_add_ps(xr, tr);
  xi = _mm512_add_ps(xi, ti);
}

// Two stages per sweep: the four entries i, i + step, i + 2 step, i + 3 step
// go through their butterflies of stage `step` and then of stage 2 step in
// registers, each butterfly with its own twiddle as in the stage order.
__attribute__((target("avx512f,fma"))) void StagesAVX512(float* re, float* im, int n, const TTwiddles& tw) {
  constexpr int L = 16;
  const double* dre = tw.DRe.data();
  const double* dim = tw.DIm.data();
  const std::uint8_t* ex = tw.Exact.data();
  int step = 1;
  if (std::countr_zero(unsigned(n)) % 2 == 1) {
    for (int base = 0; base < n; base += 2) {
      float* x = re + std::size_t(base) * L;
      float* y = im + std::size_t(base) * L;
      __m512 xr = _mm512_loadu_ps(x), xi = _mm512_loadu_ps(y);
      __m512 yr = _mm512_loadu_ps(x + L), yi = _mm512_loadu_ps(y + L);
      Butterfly512(xr, xi, yr, yi, dre[0], dim[0], ex[0]);
      _mm512_storeu_ps(x, xr);
      _mm512_storeu_ps(y, xi);
      _mm512_storeu_ps(x + L, yr);
      _mm512_storeu_ps(y + L, yi);
    }
    step = 2;
  }
  for (; step < n; step *= 4) {
    const int a = step - 1, b = 2 * step - 1;
    for (int base = 0; base < n; base += 4 * step) {
      for (int m = 0; m < step; ++m) {
        float* r0 = re + std::size_t(base + m) * L;
        float* i0 = im + std::size_t(base + m) * L;
        const std::size_t s = std::size_t(step) * L;
        __m512 ar = _mm512_loadu_ps(r0), ai = _mm512_loadu_ps(i0);
        __m512 br = _mm512_loadu_ps(r0 + s), bi = _mm512_loadu_ps(i0 + s);
        __m512 cr = _mm512_loadu_ps(r0 + 2 * s), ci = _mm512_loadu_ps(i0 + 2 * s);
        __m512 dr = _mm512_loadu_ps(r0 + 3 * s), di = _mm512_loadu_ps(i0 + 3 * s);
        Butterfly512(ar, ai, br, bi, dre[a + m], dim[a + m], ex[a + m]);
        Butterfly512(cr, ci, dr, di, dre[a + m], dim[a + m], ex[a + m]);
        Butterfly512(ar, ai, cr, ci, dre[b + m], dim[b + m], ex[b + m]);
        Butterfly512(br, bi, dr, di, dre[b + m + step], dim[b + m + step], ex[b + m + step]);
        _mm512_storeu_ps(r0, ar);
        _mm512_storeu_ps(i0, ai);
        _mm512_storeu_ps(r0 + s, br);
        _mm512_storeu_ps(i0 + s, bi);
        _mm512_storeu_ps(r0 + 2 * s, cr);
        _mm512_storeu_ps(i0 + 2 * s, ci);
        _mm512_storeu_ps(r0 + 3 * s, dr);
        _mm512_storeu_ps(i0 + 3 * s, di);
      }
    }
  }
}

// The fast kernel: the same lockstep sweeps in Single arithmetic with fused
// products and the nearest Singles of the exact factors, which keeps its
// error against the exact transform below the plain kernels' error.
CORVELLE_AVX512 void ButterflyFast(__m512& xr, __m512& xi, __m512& yr, __m512& yi, float u0, float u1) {
  const __m512 vr = _mm512_set1_ps(u0), vi = _mm512_set1_ps(u1);
  const __m512 tr = _mm512_fmsub_ps(vr, yr, _mm512_mul_ps(vi, yi));
  const __m512 ti = _mm512_fmadd_ps(vr, yi, _mm512_mul_ps(vi, yr));
  yr = _mm512_sub_ps(xr, tr);
  yi = _mm512_sub_ps(xi, ti);
  xr = _mm512_add_ps(xr, tr);
  xi = _mm512_add_ps(xi, ti);
}

__attribute__((target("avx512f,fma"))) void StagesFast512(float* re, float* im, int n, const TTwiddles& tw) {
  constexpr int L = 16;
  const float* wr = tw.NearRe.data();
  const float* wi = tw.NearIm.data();
  int step = 1;
  if (std::countr_zero(unsigned(n)) % 2 == 1) {
    for (int base = 0; base < n; base += 2) {
      float* x = re + std::size_t(base) * L;
      float* y = im + std::size_t(base) * L;
      __m512 xr = _mm512_loadu_ps(x), xi = _mm512_loadu_ps(y);
      __m512 yr = _mm512_loadu_ps(x + L), yi = _mm512_loadu_ps(y + L);
      // The first stage's only factor is 1.
      const __m512 sr = _mm512_sub_ps(xr, yr), si = _mm512_sub_ps(xi, yi);
      _mm512_storeu_ps(x, _mm512_add_ps(xr, yr));
      _mm512_storeu_ps(y, _mm512_add_ps(xi, yi));
      _mm512_storeu_ps(x + L, sr);
      _mm512_storeu_ps(y + L, si);
    }
    step = 2;
  }
  for (; step < n; step *= 4) {
    const int a = step - 1, b = 2 * step - 1;
    const std::size_t s = std::size_t(step) * L;
    for (int base = 0; base < n; base += 4 * step) {
      for (int m = 0; m < step; ++m) {
        float* r0 = re + std::size_t(base + m) * L;
        float* i0 = im + std::size_t(base + m) * L;
        __m512 ar = _mm512_loadu_ps(r0), ai = _mm512_loadu_ps(i0);
        __m512 br = _mm512_loadu_ps(r0 + s), bi = _mm512_loadu_ps(i0 + s);
        __m512 cr = _mm512_loadu_ps(r0 + 2 * s), ci = _mm512_loadu_ps(i0 + 2 * s);
        __m512 dr = _mm512_loadu_ps(r0 + 3 * s), di = _mm512_loadu_ps(i0 + 3 * s);
        ButterflyFast(ar, ai, br, bi, wr[a + m], wi[a + m]);
        ButterflyFast(cr, ci, dr, di, wr[a + m], wi[a + m]);
        ButterflyFast(ar, ai, cr, ci, wr[b + m], wi[b + m]);
        ButterflyFast(br, bi, dr, di, wr[b + m + step], wi[b + m + step]);
        _mm512_storeu_ps(r0, ar);
        _mm512_storeu_ps(i0, ai);
        _mm512_storeu_ps(r0 + s, br);
        _mm512_storeu_ps(i0 + s, bi);
        _mm512_storeu_ps(r0 + 2 * s, cr);
        _mm512_storeu_ps(i0 + 2 * s, ci);
        _mm512_storeu_ps(r0 + 3 * s, dr);
        _mm512_storeu_ps(i0 + 3 * s, di);
      }
    }
  }
}

struct TKernel {
  int Lanes;
  TStages Stages;
};

TKernel KernelOf(FFTKernel Kind) {
  switch (Kind) {
    case FFTKernel::Fast: return {16, StagesFast512};
    case FFTKernel::AVX512: return {16, StagesAVX512};
    case FFTKernel::AVX2: return {8, StagesAVX2};
    default: return {8, StagesGeneric};
  }
}

bool Supported(FFTKernel Kind) {
  switch (Kind) {
    case FFTKernel::Fast:
    case FFTKernel::AVX512: return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("fma");
    case FFTKernel::AVX2: return __builtin_cpu_supports("avx2");
    case FFTKernel::Generic: return true;
    default: return true;
  }
}

std::atomic<int>& Chosen() {
  static std::atomic<int> kind{int(FFTKernel::Auto)};
  return kind;
}

TKernel CurrentKernel() {
  FFTKernel k = FFTKernel(Chosen().load());
  if (k == FFTKernel::Auto) {
    k = Supported(FFTKernel::Fast)   ? FFTKernel::Fast
        : Supported(FFTKernel::AVX2) ? FFTKernel::AVX2
                                     : FFTKernel::Generic;
  }
  return KernelOf(k);
}

// Bit-reversed positions of an n-point line.
std::vector<int> Reversal(int bits) {
  const int n = 1 << bits;
  std::vector<int> r(static_cast<std::size_t>(n));
  for (int k = 0; k < n; ++k) r[k] = TDataImage::BitReverse(k, bits);
  return r;
}

struct TBlock {
  int L;
  std::vector<float> Re, Im;
  TBlock(int lanes, int n) : L(lanes), Re(std::size_t(n) * lanes), Im(std::size_t(n) * lanes) {}
};

// One pass over `Count` lines of `n` points. LoadBlock(block, first, lanes,
// rev) fills a block in bit-reversed order (lanes past `lanes` read 0),
// SaveBlock(block, first, lanes, scale) writes it back, scaled, and returns
// false on a value beyond the Single range.
template <class TLoad, class TSave>
bool Pass(int Count, int n, bool Forward, TLoad&& LoadBlock, TSave&& SaveBlock) {
  const TKernel kernel = CurrentKernel();
  const int L = kernel.Lanes;
  const int bits = Log2(n);
  const TTwiddles& tw = TwiddlesFor(Forward, bits);
  const std::vector<int> rev = Reversal(bits);
  const float scale = Forward ? 1.0f : float(1.0L / n);
  const std::int64_t blocks = (Count + L - 1) / L;
  std::atomic<bool> ok{true};
  // Blocks are handed out one at a time, so a thread that the system holds
  // back does not hold up the pass.
  std::atomic<std::int64_t> next{0};
  const std::int64_t workers = std::min<std::int64_t>(blocks, Parallel::Threads());
  Parallel::For(
      workers,
      [&](std::int64_t, std::int64_t) {
        TBlock block(L, n);
        for (std::int64_t b = next++; b < blocks && ok.load(std::memory_order_relaxed); b = next++) {
          const int first = int(b * L);
          const int lanes = std::min(L, Count - first);
          LoadBlock(block, first, lanes, rev);
          kernel.Stages(block.Re.data(), block.Im.data(), n, tw);
          if (!SaveBlock(block, first, lanes, scale)) ok = false;
        }
      },
      1);
  return ok;
}

}  // namespace

bool TransformableSide(int N) { return PowerOfTwoSide(N); }

float FFTCosine(int k) { return (k >= 0 && k < 2 * MaxBits) ? Tables().Cos[k] : 0.0f; }
float FFTSine(int k) { return (k >= 0 && k < 2 * MaxBits) ? Tables().Sin[k] : 0.0f; }

// ---------------------------------------------------------------- one line

int TDataImage::BitReverse(int Index, int Bits) {
  int result = 0;
  for (int b = 0; b < Bits; ++b) {
    result = result * 2 + (Index & 1);
    Index = (Index & 0xFFFF) >> 1;
  }
  return result;
}

void TDataImage::BitReversePermute(int Bits) {
  if (Bits < 0 || Bits > 16) return;
  const int n = 1 << Bits;
  if (std::size_t(n) > FFTLine.size()) return;
  for (int k = 0; k < n; ++k) {
    const std::uint16_t i = std::uint16_t(k);
    const std::uint16_t j = std::uint16_t(BitReverse(i, Bits));
    if (i < j) std::swap(FFTLine[i], FFTLine[j]);
  }
}

bool TDataImage::FFT1D(bool Forward, int Bits, int N) {
  if (Bits < 0 || Bits >= MaxBits + 1 || N != (1 << Bits) || std::size_t(N) > FFTLine.size()) return false;
  BitReversePermute(Bits);
  int k = Forward ? 0 : MaxBits;
  for (int step = 1; step < N; step *= 2, ++k) {
    const float wr = Tables().Cos[k], wi = Tables().Sin[k];
    float ur = 1.0f, ui = 0.0f;
    for (int m = 0; m < step; ++m) {
      for (int i = m; i <= N - 1; i += 2 * step) {
        const int j = i + step;
        const TComplex f = FFTLine[j];
        const TComplex t{float((long double)ur * f.Re - (long double)ui * f.Im),
                         float((long double)ur * f.Im + (long double)ui * f.Re)};
        FFTLine[j].Re = FFTLine[i].Re - t.Re;
        FFTLine[j].Im = FFTLine[i].Im - t.Im;
        FFTLine[i].Re = FFTLine[i].Re + t.Re;
        FFTLine[i].Im = FFTLine[i].Im + t.Im;
      }
      const float nr = float((long double)ur * wr - (long double)ui * wi);
      const float ni = float((long double)ur * wi + (long double)ui * wr);
      ur = nr;
      ui = ni;
    }
  }
  if (!Forward) {
    const float scale = float(1.0L / N);
    for (int i = 0; i < N; ++i) {
      FFTLine[i].Re = FFTLine[i].Re * scale;
      FFTLine[i].Im = FFTLine[i].Im * scale;
    }
  }
  return true;
}

// ---------------------------------------------------------------- 2-D

namespace {

bool Transformable(const TDataImage& img) {
  return img.Pixels && img.HasComplex && img.ComplexPlane && PowerOfTwoSide(img.Width) && PowerOfTwoSide(img.Height) &&
         img.ComplexCount() >= img.PixelCount();
}

inline std::uint32_t NonFinite(float v) { return (~std::bit_cast<std::uint32_t>(v) & 0x7F800000u) ? 0u : 1u; }

// Spectrum product of one value, as ComplexProduct / ConjugateProduct.
inline TComplex Product(const TComplex& x, const TComplex& y, bool Conjugate) {
  return Conjugate ? ConjugateProduct(x, y) : ComplexProduct(x, y);
}

// 16-lane loads and saves of full blocks, for the AVX-512 kernel.

#define CORVELLE_AVX512_FN __attribute__((target("avx512f,fma")))

CORVELLE_AVX512_FN void GatherRows16(float* re, float* im, int w, const int* rev, const float* real,
                                     const TComplex* complex) {
  const __m512i lane = _mm512_set_epi32(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
  if (real) {
    const __m512i idx = _mm512_mullo_epi32(lane, _mm512_set1_epi32(w));
    for (int x = 0; x < w; ++x) {
      _mm512_storeu_ps(re + std::size_t(rev[x]) * 16, _mm512_i32gather_ps(idx, real + x, 4));
      _mm512_storeu_ps(im + std::size_t(rev[x]) * 16, _mm512_setzero_ps());
    }
  } else {
    const __m512i idx = _mm512_mullo_epi32(lane, _mm512_set1_epi32(2 * w));
    const float* base = reinterpret_cast<const float*>(complex);
    for (int x = 0; x < w; ++x) {
      _mm512_storeu_ps(re + std::size_t(rev[x]) * 16, _mm512_i32gather_ps(idx, base + 2 * x, 4));
      _mm512_storeu_ps(im + std::size_t(rev[x]) * 16, _mm512_i32gather_ps(idx, base + 2 * x + 1, 4));
    }
  }
}

// Rows back from a block: each row gathers its lane, 16 entries at a time.
// Needs w to be a multiple of 16.
CORVELLE_AVX512_FN void ScatterRows16(const float* re, const float* im, int w, TComplex* plane, float scale) {
  const __m512i lane = _mm512_set_epi32(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
  const __m512i idx = _mm512_mullo_epi32(lane, _mm512_set1_epi32(16));
  const __m512i lo = _mm512_set_epi32(23, 7, 22, 6, 21, 5, 20, 4, 19, 3, 18, 2, 17, 1, 16, 0);
  const __m512i hi = _mm512_set_epi32(31, 15, 30, 14, 29, 13, 28, 12, 27, 11, 26, 10, 25, 9, 24, 8);
  const __m512 k = _mm512_set1_ps(scale);
  for (int l = 0; l < 16; ++l) {
    float* row = reinterpret_cast<float*>(plane + std::size_t(l) * w);
    for (int x = 0; x < w; x += 16) {
      const __m512 r = _mm512_mul_ps(_mm512_i32gather_ps(idx, re + std::size_t(x) * 16 + l, 4), k);
      const __m512 i = _mm512_mul_ps(_mm512_i32gather_ps(idx, im + std::size_t(x) * 16 + l, 4), k);
      _mm512_storeu_ps(row + 2 * std::size_t(x), _mm512_permutex2var_ps(r, lo, i));
      _mm512_storeu_ps(row + 2 * std::size_t(x) + 16, _mm512_permutex2var_ps(r, hi, i));
    }
  }
}

CORVELLE_AVX512_FN void LoadColumns16(float* re, float* im, int w, int h, const int* rev, const TComplex* plane) {
  const __m512i even = _mm512_set_epi32(30, 28, 26, 24, 22, 20, 18, 16, 14, 12, 10, 8, 6, 4, 2, 0);
  const __m512i odd = _mm512_set_epi32(31, 29, 27, 25, 23, 21, 19, 17, 15, 13, 11, 9, 7, 5, 3, 1);
  constexpr int ahead = 8;  // columns stride across pages, where hardware prefetch stops
  for (int y = 0; y < h; ++y) {
    if (y + ahead < h) {
      const char* next = reinterpret_cast<const char*>(plane + std::size_t(y + ahead) * w);
      _mm_prefetch(next, _MM_HINT_T0);
      _mm_prefetch(next + 64, _MM_HINT_T0);
    }
    const float* src = reinterpret_cast<const float*>(plane + std::size_t(y) * w);
    const __m512 a = _mm512_loadu_ps(src), b = _mm512_loadu_ps(src + 16);
    _mm512_storeu_ps(re + std::size_t(rev[y]) * 16, _mm512_permutex2var_ps(a, even, b));
    _mm512_storeu_ps(im + std::size_t(rev[y]) * 16, _mm512_permutex2var_ps(a, odd, b));
  }
}

CORVELLE_AVX512_FN inline __mmask16 NonFinite16(__m512 v) {
  const __m512i e = _mm512_set1_epi32(0x7F800000);
  return _mm512_cmpeq_epi32_mask(_mm512_and_si512(_mm512_castps_si512(v), e), e);
}

// x * y or x * conj(y) for 16 values at once, each part formed exactly in
// double and redone in extended where the double lands on a Single midpoint.
CORVELLE_AVX512_FN void Product16(__m512& xr, __m512& xi, const TComplex* factor, bool conj) {
  const __m512i even = _mm512_set_epi32(30, 28, 26, 24, 22, 20, 18, 16, 14, 12, 10, 8, 6, 4, 2, 0);
  const __m512i odd = _mm512_set_epi32(31, 29, 27, 25, 23, 21, 19, 17, 15, 13, 11, 9, 7, 5, 3, 1);
  const float* f = reinterpret_cast<const float*>(factor);
  const __m512 fa = _mm512_loadu_ps(f), fb = _mm512_loadu_ps(f + 16);
  const __m512 yr = _mm512_permutex2var_ps(fa, even, fb), yi = _mm512_permutex2var_ps(fa, odd, fb);
  __m512d a[2], b[2], c[2], d[2];  // x.re, x.im, y.re, y.im in double, low and high halves
  a[0] = _mm512_cvtps_pd(_mm512_castps512_ps256(xr));
  a[1] = _mm512_cvtps_pd(High(xr));
  b[0] = _mm512_cvtps_pd(_mm512_castps512_ps256(xi));
  b[1] = _mm512_cvtps_pd(High(xi));
  c[0] = _mm512_cvtps_pd(_mm512_castps512_ps256(yr));
  c[1] = _mm512_cvtps_pd(High(yr));
  d[0] = _mm512_cvtps_pd(_mm512_castps512_ps256(yi));
  d[1] = _mm512_cvtps_pd(High(yi));
  __m512d pr[2], pi[2];
  for (int h = 0; h < 2; ++h) {
    if (!conj) {
      pr[h] = _mm512_fmsub_pd(a[h], c[h], _mm512_mul_pd(b[h], d[h]));
      pi[h] = _mm512_fmadd_pd(a[h], d[h], _mm512_mul_pd(c[h], b[h]));
    } else {
      pr[h] = _mm512_fmadd_pd(a[h], c[h], _mm512_mul_pd(b[h], d[h]));
      pi[h] = _mm512_fmsub_pd(b[h], c[h], _mm512_mul_pd(a[h], d[h]));
    }
  }
  const __m512 nr = Join(_mm512_cvtpd_ps(pr[0]), _mm512_cvtpd_ps(pr[1]));
  const __m512 ni = Join(_mm512_cvtpd_ps(pi[0]), _mm512_cvtpd_ps(pi[1]));
  const unsigned bad = Suspicious16(pr[0], pr[1], nr) | Suspicious16(pi[0], pi[1], ni);
  if (__builtin_expect(bad != 0, 0)) {
    alignas(64) float r[16], i[16];
    _mm512_store_ps(r, xr);
    _mm512_store_ps(i, xi);
    for (int l = 0; l < 16; ++l) {
      const TComplex p = Product(TComplex{r[l], i[l]}, factor[l], conj);
      r[l] = p.Re;
      i[l] = p.Im;
    }
    xr = _mm512_load_ps(r);
    xi = _mm512_load_ps(i);
    return;
  }
  xr = nr;
  xi = ni;
}

// Writes 16 columns of every row back to the plane, times the factor when
// given; true when every value is finite.
CORVELLE_AVX512_FN bool SaveColumns16(const float* re, const float* im, int w, int h, TComplex* plane,
                                      const TComplex* factor, bool conj) {
  const __m512i lo = _mm512_set_epi32(23, 7, 22, 6, 21, 5, 20, 4, 19, 3, 18, 2, 17, 1, 16, 0);
  const __m512i hi = _mm512_set_epi32(31, 15, 30, 14, 29, 13, 28, 12, 27, 11, 26, 10, 25, 9, 24, 8);
  __mmask16 bad = 0;
  constexpr int ahead = 8;
  for (int y = 0; y < h; ++y) {
    if (y + ahead < h) {
      const std::size_t next = std::size_t(y + ahead) * w;
      _mm_prefetch(reinterpret_cast<const char*>(plane + next), _MM_HINT_T0);
      _mm_prefetch(reinterpret_cast<const char*>(plane + next) + 64, _MM_HINT_T0);
      if (factor) {
        _mm_prefetch(reinterpret_cast<const char*>(factor + next), _MM_HINT_T0);
        _mm_prefetch(reinterpret_cast<const char*>(factor + next) + 64, _MM_HINT_T0);
      }
    }
    __m512 r = _mm512_loadu_ps(re + std::size_t(y) * 16), i = _mm512_loadu_ps(im + std::size_t(y) * 16);
    const std::size_t at = std::size_t(y) * w;
    if (factor) Product16(r, i, factor + at, conj);
    bad |= NonFinite16(r) | NonFinite16(i);
    float* dst = reinterpret_cast<float*>(plane + at);
    _mm512_storeu_ps(dst, _mm512_permutex2var_ps(r, lo, i));
    _mm512_storeu_ps(dst + 16, _mm512_permutex2var_ps(r, hi, i));
  }
  return bad == 0;
}

// Row transforms of real lines are conjugate-symmetric, so column w - k of the
// result is column k conjugated with its rows read from the far end: value
// (y, w - k) is conj(value ((h - y) mod h, k)). Writes those mirrored values of
// the 16 columns first..first + 15 (every one inside 1 .. w/2 - 1), times the
// factor when given; true when every value is finite. The conjugate is 0 - im,
// so an exact zero stays +0 as in the column's own transform.
CORVELLE_AVX512_FN bool SaveMirrorColumns16(const float* re, const float* im, int w, int h, TComplex* plane,
                                            const TComplex* factor, bool conj, int first) {
  const __m512i lo = _mm512_set_epi32(23, 7, 22, 6, 21, 5, 20, 4, 19, 3, 18, 2, 17, 1, 16, 0);
  const __m512i hi = _mm512_set_epi32(31, 15, 30, 14, 29, 13, 28, 12, 27, 11, 26, 10, 25, 9, 24, 8);
  const __m512i reverse = _mm512_set_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  __mmask16 bad = 0;
  const int left = w - first - 15;
  constexpr int ahead = 8;
  for (int y = 0; y < h; ++y) {
    if (y + ahead < h) {
      const std::size_t next = std::size_t(y + ahead) * w + left;
      _mm_prefetch(reinterpret_cast<const char*>(plane + next), _MM_HINT_T0);
      _mm_prefetch(reinterpret_cast<const char*>(plane + next) + 64, _MM_HINT_T0);
      _mm_prefetch(reinterpret_cast<const char*>(plane + next) + 120, _MM_HINT_T0);
      if (factor) {
        _mm_prefetch(reinterpret_cast<const char*>(factor + next), _MM_HINT_T0);
        _mm_prefetch(reinterpret_cast<const char*>(factor + next) + 64, _MM_HINT_T0);
        _mm_prefetch(reinterpret_cast<const char*>(factor + next) + 120, _MM_HINT_T0);
      }
    }
    const std::size_t src = std::size_t(y == 0 ? 0 : h - y) * 16;
    __m512 r = _mm512_permutexvar_ps(reverse, _mm512_loadu_ps(re + src));
    __m512 i = _mm512_sub_ps(_mm512_setzero_ps(), _mm512_permutexvar_ps(reverse, _mm512_loadu_ps(im + src)));
    const std::size_t at = std::size_t(y) * w + left;
    if (factor) Product16(r, i, factor + at, conj);
    bad |= NonFinite16(r) | NonFinite16(i);
    float* dst = reinterpret_cast<float*>(plane + at);
    _mm512_storeu_ps(dst, _mm512_permutex2var_ps(r, lo, i));
    _mm512_storeu_ps(dst + 16, _mm512_permutex2var_ps(r, hi, i));
  }
  return bad == 0;
}

// The inverse column results, scaled, to the sink (or to the pixels).
CORVELLE_AVX512_FN bool FinishColumns16(const float* re, const float* im, int w, int h, float scale, float* pixels,
                                        TInverseSink sink, void* context, std::size_t first) {
  const __m512 k = _mm512_set1_ps(scale);
  __mmask16 bad = 0;
  alignas(64) float out[16];
  for (int y = 0; y < h; ++y) {
    const __m512 r = _mm512_mul_ps(_mm512_loadu_ps(re + std::size_t(y) * 16), k);
    const __m512 i = _mm512_mul_ps(_mm512_loadu_ps(im + std::size_t(y) * 16), k);
    bad |= NonFinite16(r) | NonFinite16(i);
    const std::size_t at = std::size_t(y) * w + first;
    if (sink) {
      _mm512_store_ps(out, r);
      if (!sink(context, at, out, 16)) return false;
    } else {
      _mm512_storeu_ps(pixels + at, r);
    }
  }
  return bad == 0;
}

// Row pass: lines are rows of Real (imaginary parts 0) or of the complex
// plane, written to the complex plane (scaled by 1/W for the inverse). An
// overflow here spreads to every value of its columns, which the column pass
// checks.
bool RowPass(TDataImage& img, bool Forward, const float* Real) {
  const int w = img.Width, h = img.Height;
  TComplex* plane = img.ComplexPlane;
  const TComplex* complex = Real ? nullptr : plane;
  return Pass(
      h, w, Forward,
      [&](TBlock& blk, int first, int lanes, const std::vector<int>& rev) {
        const int L = blk.L;
        const std::size_t offset = std::size_t(first) * w;
        if (L == 16 && lanes == 16) {
          GatherRows16(blk.Re.data(), blk.Im.data(), w, rev.data(), Real ? Real + offset : nullptr,
                       complex ? complex + offset : nullptr);
          return;
        }
        for (int x = 0; x < w; ++x) {
          float* r = blk.Re.data() + std::size_t(rev[x]) * L;
          float* i = blk.Im.data() + std::size_t(rev[x]) * L;
          int l = 0;
          for (; l < lanes; ++l) {
            const std::size_t at = offset + std::size_t(l) * w + x;
            r[l] = Real ? Real[at] : complex[at].Re;
            i[l] = Real ? 0.0f : complex[at].Im;
          }
          for (; l < L; ++l) r[l] = i[l] = 0.0f;
        }
      },
      [&](TBlock& blk, int first, int lanes, float scale) {
        const int L = blk.L;
        if (L == 16 && lanes == 16 && w % 16 == 0) {
          ScatterRows16(blk.Re.data(), blk.Im.data(), w, plane + std::size_t(first) * w, scale);
          return true;
        }
        for (int l = 0; l < lanes; ++l) {
          TComplex* row = plane + std::size_t(first + l) * w;
          const float* r = blk.Re.data() + l;
          const float* i = blk.Im.data() + l;
          for (int x = 0; x < w; ++x) row[x] = TComplex{r[std::size_t(x) * L] * scale, i[std::size_t(x) * L] * scale};
        }
        return true;
      });
}

void LoadColumns(TBlock& blk, const TDataImage& img, int first, int lanes, const std::vector<int>& rev) {
  const int L = blk.L, w = img.Width, h = img.Height;
  if (L == 16 && lanes == 16) {
    LoadColumns16(blk.Re.data(), blk.Im.data(), w, h, rev.data(), img.ComplexPlane + first);
    return;
  }
  for (int y = 0; y < h; ++y) {
    const TComplex* src = img.ComplexPlane + std::size_t(y) * w + first;
    float* r = blk.Re.data() + std::size_t(rev[y]) * L;
    float* i = blk.Im.data() + std::size_t(rev[y]) * L;
    int l = 0;
    for (; l < lanes; ++l) {
      r[l] = src[l].Re;
      i[l] = src[l].Im;
    }
    for (; l < L; ++l) r[l] = i[l] = 0.0f;
  }
}

// Forward column pass, each result times Factor (conjugated) when given. The
// fast kernel transforms columns 0 .. w/2 only and fills the others from the
// conjugate symmetry of a real image's spectrum.
bool ForwardColumns(TDataImage& img, const TComplex* Factor, bool Conjugate) {
  const int w = img.Width, h = img.Height;
  TComplex* plane = img.ComplexPlane;
  const bool mirror = CurrentKernel().Stages == StagesFast512;
  return Pass(
      mirror ? w / 2 + 1 : w, h, true,
      [&](TBlock& blk, int first, int lanes, const std::vector<int>& rev) { LoadColumns(blk, img, first, lanes, rev); },
      [&](TBlock& blk, int first, int lanes, float) {
        const int L = blk.L;
        if (L == 16 && lanes == 16 && (!mirror || (first >= 1 && 2 * (first + 15) < w))) {
          bool ok = SaveColumns16(blk.Re.data(), blk.Im.data(), w, h, plane + first, Factor ? Factor + first : nullptr,
                                  Conjugate);
          if (mirror) ok &= SaveMirrorColumns16(blk.Re.data(), blk.Im.data(), w, h, plane, Factor, Conjugate, first);
          return ok;
        }
        std::uint32_t bad = 0;
        for (int y = 0; y < h; ++y) {
          const float* r = blk.Re.data() + std::size_t(y) * L;
          const float* i = blk.Im.data() + std::size_t(y) * L;
          const std::size_t at = std::size_t(y) * w + first;
          const std::size_t mirrorRow = std::size_t(y == 0 ? 0 : h - y) * w;
          for (int l = 0; l < lanes; ++l) {
            TComplex v{r[l], i[l]};
            const int k = first + l;
            if (mirror && k >= 1 && 2 * k < w) {
              TComplex m{v.Re, 0.0f - v.Im};
              if (Factor) m = Product(m, Factor[mirrorRow + (w - k)], Conjugate);
              plane[mirrorRow + (w - k)] = m;
              bad |= NonFinite(m.Re) | NonFinite(m.Im);
            }
            if (Factor) v = Product(v, Factor[at + l], Conjugate);
            plane[at + l] = v;
            bad |= NonFinite(v.Re) | NonFinite(v.Im);
          }
        }
        return bad == 0;
      });
}

// Inverse column pass: the real parts go to Sink, or to the pixels.
bool InverseColumns(TDataImage& img, TInverseSink Sink, void* Context) {
  const int w = img.Width, h = img.Height;
  float* pixels = img.Pixels;
  return Pass(
      w, h, false,
      [&](TBlock& blk, int first, int lanes, const std::vector<int>& rev) { LoadColumns(blk, img, first, lanes, rev); },
      [&](TBlock& blk, int first, int lanes, float scale) {
        const int L = blk.L;
        if (L == 16 && lanes == 16) {
          return FinishColumns16(blk.Re.data(), blk.Im.data(), w, h, scale, pixels, Sink, Context, std::size_t(first));
        }
        std::uint32_t bad = 0;
        float out[16];
        for (int y = 0; y < h; ++y) {
          const float* r = blk.Re.data() + std::size_t(y) * L;
          const float* i = blk.Im.data() + std::size_t(y) * L;
          for (int l = 0; l < lanes; ++l) {
            out[l] = r[l] * scale;
            bad |= NonFinite(out[l]) | NonFinite(i[l] * scale);
          }
          const std::size_t at = std::size_t(y) * w + first;
          if (Sink) {
            if (!Sink(Context, at, out, lanes)) return false;
          } else {
            std::copy(out, out + lanes, pixels + at);
          }
        }
        return bad == 0;
      });
}

}  // namespace

bool TDataImage::FFT() { return ForwardFFTTimes(*this, nullptr, nullptr, false); }

bool TDataImage::InverseFFT() { return InverseFFTInto(*this, nullptr, nullptr); }

bool ForwardFFTTimes(TDataImage& Img, const float* Source, const TComplex* Factor, bool Conjugate) {
  if (!Transformable(Img)) return false;
  try {
    if (!RowPass(Img, true, Source ? Source : Img.Pixels)) return false;
    return ForwardColumns(Img, Factor, Conjugate);
  } catch (...) {
    return false;
  }
}

bool InverseFFTInto(TDataImage& Img, TInverseSink Sink, void* Context) {
  if (!Transformable(Img)) return false;
  try {
    if (!RowPass(Img, false, nullptr)) return false;
    return InverseColumns(Img, Sink, Context);
  } catch (...) {
    return false;
  }
}

// ---------------------------------------------------------------- sizing

int NextPowerOfTwo(int N) {
  if (N < 0 || N > 8192) return N;
  int p = 64;
  while (p < N) p *= 2;
  return p;
}

std::unique_ptr<TDataImage> PadToPowerOfTwo(const TDataImage& Image, int& OffsetX, int& OffsetY, int& PaddedWidth,
                                            int& PaddedHeight, bool* ShortOfMemory) {
  if (ShortOfMemory) *ShortOfMemory = false;
  try {
    const int w = Image.Width, h = Image.Height;
    if (w <= 0 || h <= 0 || !Image.Pixels) return nullptr;
    const int pw = NextPowerOfTwo(w), ph = NextPowerOfTwo(h);
    auto padded = std::make_unique<TDataImage>();
    if (!padded->Allocate(pw, ph, 3, false) || !padded->Pixels) throw std::bad_alloc();

    const float* src = Image.Pixels;
    float s = 0.0f;
    // A sum beyond the Single range fails rather than filling with inf.
    for (int y = 0; y < h; ++y) {
      s = Checked::ToSingle((long double)s + src[std::size_t(y) * w] + src[std::size_t(y) * w + (w - 1)]);
    }
    for (int x = 0; x < w; ++x) {
      s = Checked::ToSingle((long double)s + src[x] + src[std::size_t(h - 1) * w + x]);
    }
    const float fill = float((long double)s / (2.0L * h + 2.0L * w));

    const int ox = (pw - w) / 2, oy = (ph - h) / 2;
    float* dst = padded->Pixels;
    Parallel::For(ph, [&](std::int64_t y0, std::int64_t y1) {
      for (std::int64_t y = y0; y < y1; ++y) {
        float* row = dst + std::size_t(y) * pw;
        const std::int64_t sy = y - oy;
        if (sy < 0 || sy >= h) {
          std::fill(row, row + pw, fill);
          continue;
        }
        std::fill(row, row + ox, fill);
        std::memcpy(row + ox, src + std::size_t(sy) * w, std::size_t(w) * sizeof(float));
        std::fill(row + ox + w, row + pw, fill);
      }
    });
    OffsetX = ox;
    OffsetY = oy;
    PaddedWidth = pw;
    PaddedHeight = ph;
    return padded;
  } catch (...) {
    if (ShortOfMemory) *ShortOfMemory = IsOutOfMemory(std::current_exception());
    return nullptr;
  }
}

bool SelectFFTKernel(FFTKernel Kind) {
  if (!Supported(Kind)) return false;
  Chosen().store(int(Kind));
  return true;
}
