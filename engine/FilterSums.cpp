#include "engine/FilterSums.h"

#include <immintrin.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#define FS_AVX2 __attribute__((target("avx2")))
#define FS_AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline

namespace FilterSums {
namespace {

using FilterPaths::kFixedKernels;
using FilterPaths::TKernel3;

// ---- what the values of a row allow ----

// Every |v| of the row is below 2^Top and every v a multiple of 2^Lsb.
constexpr int kZerosTop = -100000, kZerosLsb = 100000;  // a row of zeros
constexpr int kNonFinite = 100000;                       // Top of a row with an infinity or NaN

struct TRowRange {
  int Top = kZerosTop;
  int Lsb = kZerosLsb;
};

// The largest magnitude and the smallest one above zero, as bit patterns
// (SmallestNonZero 0: none).
FS_AVX2 void MagnitudeBounds(const float* R, int W, std::uint32_t& Largest, std::uint32_t& SmallestNonZero) {
  const __m256i magnitude = _mm256_set1_epi32(0x7FFFFFFF), one = _mm256_set1_epi32(1);
  __m256i hi = _mm256_setzero_si256(), lo = _mm256_set1_epi32(-1);
  int x = 0;
  for (; x + 8 <= W; x += 8) {
    const __m256i m = _mm256_and_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(R + x)), magnitude);
    hi = _mm256_max_epu32(hi, m);
    lo = _mm256_min_epu32(lo, _mm256_sub_epi32(m, one));  // a zero wraps round to the top
  }
  alignas(32) std::uint32_t a[8], b[8];
  _mm256_store_si256(reinterpret_cast<__m256i*>(a), hi);
  _mm256_store_si256(reinterpret_cast<__m256i*>(b), lo);
  std::uint32_t big = 0, small = 0xFFFFFFFFu;
  for (int l = 0; l < 8; ++l) {
    big = std::max(big, a[l]);
    small = std::min(small, b[l]);
  }
  for (; x < W; ++x) {
    std::uint32_t u;
    std::memcpy(&u, R + x, 4);
    u &= 0x7FFFFFFFu;
    big = std::max(big, u);
    small = std::min(small, u - 1u);
  }
  Largest = big;
  SmallestNonZero = small + 1u;
}

// True when every value is a whole number (so a multiple of 2^0).
FS_AVX2 bool WholeNumbers(const float* R, int W) {
  int x = 0;
  for (; x + 32 <= W; x += 32) {
    __m256 same = _mm256_castsi256_ps(_mm256_set1_epi32(-1));
    for (int k = 0; k < 32; k += 8) {
      const __m256 v = _mm256_loadu_ps(R + x + k);
      same = _mm256_and_ps(same, _mm256_cmp_ps(_mm256_cvtepi32_ps(_mm256_cvttps_epi32(v)), v, _CMP_EQ_OQ));
    }
    if (_mm256_movemask_ps(same) != 0xFF) return false;
  }
  for (; x < W; ++x) {
    const float v = R[x];
    if (!(v > -2147483648.0f && v < 2147483648.0f) || float(std::int32_t(v)) != v) return false;
  }
  return true;
}

// The exponent of the lowest set bit over the non-zero values (kZerosLsb
// for none): the exponent of each value less 23, plus the trailing zeros of
// its significand, found as the exponent of the significand's lowest bit.
FS_AVX2 int ExactLsb(const float* R, int W) {
  const __m256i magnitude = _mm256_set1_epi32(0x7FFFFFFF), fraction = _mm256_set1_epi32(0x7FFFFF),
                implicit = _mm256_set1_epi32(0x800000), one = _mm256_set1_epi32(1), zero = _mm256_setzero_si256();
  __m256i low = _mm256_set1_epi32(0x7FFF);
  int x = 0;
  for (; x + 8 <= W; x += 8) {
    const __m256i u = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(R + x));
    const __m256i m = _mm256_and_si256(u, magnitude);
    const __m256i e = _mm256_max_epi32(_mm256_srli_epi32(m, 23), one);  // subnormals count as exponent 1
    // With the implicit bit set the lowest bit is unchanged for a subnormal's non-zero fraction.
    const __m256i s = _mm256_or_si256(_mm256_and_si256(u, fraction), implicit);
    const __m256i bit = _mm256_and_si256(s, _mm256_sub_epi32(zero, s));
    const __m256i z = _mm256_srli_epi32(_mm256_castps_si256(_mm256_cvtepi32_ps(bit)), 23);  // 127 + trailing zeros
    __m256i b = _mm256_add_epi32(e, z);
    b = _mm256_or_si256(b, _mm256_srli_epi32(_mm256_cmpeq_epi32(m, zero), 17));  // zeros: 0x7FFF or more
    low = _mm256_min_epi32(low, b);
  }
  alignas(32) std::int32_t a[8];
  _mm256_store_si256(reinterpret_cast<__m256i*>(a), low);
  int best = 0x7FFF;
  for (int l = 0; l < 8; ++l) best = std::min(best, a[l]);
  for (; x < W; ++x) {
    std::uint32_t u;
    std::memcpy(&u, R + x, 4);
    u &= 0x7FFFFFFFu;
    if (u == 0) continue;
    const int e = std::max(int(u >> 23), 1);
    const std::uint32_t s = (u & 0x7FFFFFu) | 0x800000u;
    best = std::min(best, e + 127 + std::countr_zero(s));
  }
  return best >= 0x7FFF ? kZerosLsb : best - 127 - 150;
}

int CeilLog2(long long v) {
  int k = 0;
  while ((1LL << k) < v) ++k;
  return k;
}

// The range of a row. The smallest exponent bounds Lsb cheaply; where that
// bound alone would cost the row its best way, whole numbers (cheap to see)
// or the exact trailing zeros improve it.
TRowRange RangeOf(const float* R, int W, int F) {
  std::uint32_t big, small;
  MagnitudeBounds(R, W, big, small);
  TRowRange r;
  if (big == 0) return r;
  if (big >= 0x7F800000u) {
    r.Top = kNonFinite;
    r.Lsb = -kNonFinite;
    return r;
  }
  r.Top = int(big >> 23) - 126;
  r.Lsb = std::max(int(small >> 23), 1) - 150;
  if (r.Top + F - r.Lsb > 24 && r.Top <= 31 && WholeNumbers(R, W)) r.Lsb = std::max(r.Lsb, 0);
  if (r.Top + F - r.Lsb > 64) r.Lsb = std::max(r.Lsb, ExactLsb(R, W));
  return r;
}

// How the sums of a window are formed. Every partial sum is a multiple of
// 2^Lsb below 2^(Top + F), F bounding log2 of the number of values summed
// (times their weights); it is exact in B bits when Top + F - Lsb <= B.
// Singles and doubles then give the exact sum, and the Single of its quotient
// by the divisor is the one the extended sum gives (the quotient lies too far
// from every halfway point between Singles for the extended rounding to move
// it onto one). Up to 64 bits the extended sum is still exact, and a double
// split into a part on the grid 2^S and the rest below it keeps both parts'
// sums exact; their quotient is then known to within a few units of a
// double's last place, close enough except near a halfway point.
enum TLevel : int { kPlain = 0, kSplit = 1, kDouble = 2, kSingle = 3 };

int LevelOf(int Top, int Lsb, int F) {
  if (Top >= kNonFinite) return kPlain;
  const int span = Top + F - Lsb;
  if (span <= 24 && Top + F <= 127) return kSingle;
  if (span <= 53) return kDouble;
  if (span <= 64) return kSplit;
  return kPlain;
}

// The split point S: coarse parts are multiples of 2^S, so their sums below
// 2^(Top + F) are exact when Top + F - 53 <= S; fine parts are below 2^(S-1),
// so their sums are exact when S - 1 + F <= Lsb + 53. F >= 2 keeps every
// value below 2^(S + 51), where adding and taking away 1.5 * 2^(S + 52)
// rounds it to the grid.
bool SplitFits(int S, int Top, int Lsb, int F) { return Top + F - 53 <= S && S <= Lsb + 54 - F; }

int SplitPoint(int Top, int Lsb, int F) {
  const int lo = Top + F - 53, hi = Lsb + 54 - F;
  return lo + (hi - lo) / 2;
}

FS_AVX2_INLINE void Split4(__m256d v, __m256d C, __m256d& Hi, __m256d& Lo) {
  Hi = _mm256_sub_pd(_mm256_add_pd(v, C), C);
  Lo = _mm256_sub_pd(v, Hi);
}

inline void Split1(double v, double C, double& Hi, double& Lo) {
  Hi = (v + C) - C;
  Lo = v - Hi;
}

FS_AVX2_INLINE __m256d Load4(const float* p) { return _mm256_cvtps_pd(_mm_loadu_ps(p)); }

// Lanes where q may not round to the Single that the exact quotient rounds
// to: within 8 units of a double's last place of a halfway point between
// Singles (q is within 3 of the exact quotient). Below the normal Singles,
// where they lie further apart, an odd divisor keeps every exact quotient of
// a sum of Singles 2^-150 / divisor or more away from their halfway points.
FS_AVX2_INLINE int Unsure4(__m256d q) {
  const __m256i below = _mm256_and_si256(_mm256_add_epi64(_mm256_castpd_si256(q), _mm256_set1_epi64x(8 - 0x10000000LL)),
                                         _mm256_set1_epi64x(0x1FFFFFFF));
  return _mm256_movemask_pd(_mm256_castsi256_pd(_mm256_cmpgt_epi64(_mm256_set1_epi64x(17), below)));
}

// The start of the group of L pixels after the one at x, within [.., X1)
// (X1 when x's was the last): the last group overlaps the one before it
// rather than leaving a tail.
template <int L>
inline int NextGroup(int x, int X1) {
  if (x + L >= X1) return X1;
  return std::min(x + L, X1 - L);
}

// ---- the mean ----

// The plain mean of one window, as the plain row routine forms it.
float MeanPixel(int N, const float* Src, int W, int x, int y) {
  const int h = N / 2;
  long double s = 0;
  for (int dy = -h; dy <= h; ++dy) {
    const float* r = Src + std::size_t(y + dy) * W + x;
    for (int dx = -h; dx <= h; ++dx) s += r[dx];
  }
  return float(s / ((long double)N * N));
}

// The sums down each column of the window's N rows, for every x.
struct TColumns {
  int Level = kPlain;  // kPlain: not set up
  int S = 0;
  double C = 0;
  std::vector<float> F;
  std::vector<double> H, L;
};

// Column sums += row Add - row Sub (Sub null: += Add).
FS_AVX2 void SlideSingle(float* Col, const float* Add, const float* Sub, int W) {
  int x = 0;
  if (Sub) {
    for (; x + 8 <= W; x += 8) {
      const __m256 d = _mm256_sub_ps(_mm256_loadu_ps(Add + x), _mm256_loadu_ps(Sub + x));
      _mm256_storeu_ps(Col + x, _mm256_add_ps(_mm256_loadu_ps(Col + x), d));
    }
    for (; x < W; ++x) Col[x] += Add[x] - Sub[x];
  } else {
    for (; x + 8 <= W; x += 8) _mm256_storeu_ps(Col + x, _mm256_add_ps(_mm256_loadu_ps(Col + x), _mm256_loadu_ps(Add + x)));
    for (; x < W; ++x) Col[x] += Add[x];
  }
}

FS_AVX2 void SlideDouble(double* Col, const float* Add, const float* Sub, int W) {
  int x = 0;
  if (Sub) {
    for (; x + 4 <= W; x += 4)
      _mm256_storeu_pd(Col + x, _mm256_add_pd(_mm256_loadu_pd(Col + x), _mm256_sub_pd(Load4(Add + x), Load4(Sub + x))));
    for (; x < W; ++x) Col[x] += double(Add[x]) - double(Sub[x]);
  } else {
    for (; x + 4 <= W; x += 4) _mm256_storeu_pd(Col + x, _mm256_add_pd(_mm256_loadu_pd(Col + x), Load4(Add + x)));
    for (; x < W; ++x) Col[x] += double(Add[x]);
  }
}

FS_AVX2 void SlideSplit(double* H, double* L, double C, const float* Add, const float* Sub, int W) {
  const __m256d c = _mm256_set1_pd(C);
  int x = 0;
  for (; x + 4 <= W; x += 4) {
    __m256d ah, al, sh = _mm256_setzero_pd(), sl = _mm256_setzero_pd();
    Split4(Load4(Add + x), c, ah, al);
    if (Sub) Split4(Load4(Sub + x), c, sh, sl);
    _mm256_storeu_pd(H + x, _mm256_add_pd(_mm256_loadu_pd(H + x), _mm256_sub_pd(ah, sh)));
    _mm256_storeu_pd(L + x, _mm256_add_pd(_mm256_loadu_pd(L + x), _mm256_sub_pd(al, sl)));
  }
  for (; x < W; ++x) {
    double ah, al, sh = 0, sl = 0;
    Split1(Add[x], C, ah, al);
    if (Sub) Split1(Sub[x], C, sh, sl);
    H[x] += ah - sh;
    L[x] += al - sl;
  }
}

FS_AVX2_INLINE __m256 SumSingle8(const float* Col, int N) {
  __m256 s = _mm256_loadu_ps(Col);
  for (int k = 1; k < N; ++k) s = _mm256_add_ps(s, _mm256_loadu_ps(Col + k));
  return s;
}

FS_AVX2_INLINE __m256d SumDouble4(const double* Col, int N) {
  __m256d s = _mm256_loadu_pd(Col);
  for (int k = 1; k < N; ++k) s = _mm256_add_pd(s, _mm256_loadu_pd(Col + k));
  return s;
}

// One output row from the column sums (x = h .. W - 1 - h, at least 8 pixels).
FS_AVX2 void MeanOut(const TColumns& Col, int N, const float* Src, float* Dst, int W, int y) {
  const int h = N / 2;
  float* out = Dst + std::size_t(y) * W;
  switch (Col.Level) {
    case kSingle: {
      const __m256 area = _mm256_set1_ps(float(N * N));
      const float* c = Col.F.data();
      for (int x = h; x < W - h; x = NextGroup<8>(x, W - h))
        _mm256_storeu_ps(out + x, _mm256_div_ps(SumSingle8(c + x - h, N), area));
      break;
    }
    case kDouble: {
      const __m256d area = _mm256_set1_pd(double(N * N));
      const double* c = Col.H.data();
      for (int x = h; x < W - h; x = NextGroup<4>(x, W - h)) {
        _mm_storeu_ps(out + x, _mm256_cvtpd_ps(_mm256_div_pd(SumDouble4(c + x - h, N), area)));
      }
      break;
    }
    default: {
      const __m256d inverse = _mm256_set1_pd(1.0 / double(N * N));
      const double* hc = Col.H.data();
      const double* lc = Col.L.data();
      for (int x = h; x < W - h; x = NextGroup<4>(x, W - h)) {
        const __m256d s = _mm256_add_pd(SumDouble4(hc + x - h, N), SumDouble4(lc + x - h, N));
        const __m256d q = _mm256_mul_pd(s, inverse);
        _mm_storeu_ps(out + x, _mm256_cvtpd_ps(q));
        if (const int unsure = Unsure4(q)) {
          for (int l = 0; l < 4; ++l)
            if (unsure & (1 << l)) out[x + l] = MeanPixel(N, Src, W, x + l, y);
        }
      }
      break;
    }
  }
}

void Slide(TColumns& Col, const float* Add, const float* Sub, int W) {
  switch (Col.Level) {
    case kSingle: SlideSingle(Col.F.data(), Add, Sub, W); break;
    case kDouble: SlideDouble(Col.H.data(), Add, Sub, W); break;
    default: SlideSplit(Col.H.data(), Col.L.data(), Col.C, Add, Sub, W); break;
  }
}

// ---- 3 x 3 kernels ----

// The plain kernel at one pixel, as the plain row routine forms it.
float KernelPixel(const TKernel3& K, const float* Src, int W, int x, int y, float White) {
  long double s = 0;
  for (int dy = -1; dy <= 1; ++dy) {
    const float* r = Src + std::size_t(y + dy) * W + x;
    for (int dx = -1; dx <= 1; ++dx) s += (long double)K.W[(dy + 1) * 3 + dx + 1] * r[dx];
  }
  const long double q = s / K.Divisor;
  if (q < 0) return 0.0f;
  if (q > White) return White;
  return float(q);
}

// The weights: those of fixed kernel Code, known while compiling, or K's (Code 0).
template <int Code>
constexpr int Weight(const TKernel3& K, int t) {
  if constexpr (Code == 0) return K.W[t];
  else return kFixedKernels[Code - 1].W[t];
}

template <int Code>
constexpr int Divisor(const TKernel3& K) {
  if constexpr (Code == 0) return K.Divisor;
  else return kFixedKernels[Code - 1].Divisor;
}

template <int Code>
FS_AVX2_INLINE __m256 Taps8(const TKernel3& K, const float* const* Rows, int x) {
  __m256 s = _mm256_setzero_ps();
#pragma GCC unroll 9
  for (int t = 0; t < 9; ++t) {
    const int w = Weight<Code>(K, t);
    if (w == 0) continue;
    const __m256 v = _mm256_loadu_ps(Rows[t / 3] + x + t % 3 - 1);
    if (w == 1) s = _mm256_add_ps(s, v);
    else if (w == -1) s = _mm256_sub_ps(s, v);
    else s = _mm256_add_ps(s, _mm256_mul_ps(_mm256_set1_ps(float(w)), v));
  }
  return s;
}

template <int Code>
FS_AVX2_INLINE __m256d Taps4(const TKernel3& K, const float* const* Rows, int x) {
  __m256d s = _mm256_setzero_pd();
#pragma GCC unroll 9
  for (int t = 0; t < 9; ++t) {
    const int w = Weight<Code>(K, t);
    if (w == 0) continue;
    const __m256d v = Load4(Rows[t / 3] + x + t % 3 - 1);
    if (w == 1) s = _mm256_add_pd(s, v);
    else if (w == -1) s = _mm256_sub_pd(s, v);
    else s = _mm256_add_pd(s, _mm256_mul_pd(_mm256_set1_pd(double(w)), v));
  }
  return s;
}

template <int Code>
FS_AVX2_INLINE void SplitTaps4(const TKernel3& K, const float* const* Rows, int x, __m256d C, __m256d& Hi,
                               __m256d& Lo) {
  Hi = Lo = _mm256_setzero_pd();
#pragma GCC unroll 9
  for (int t = 0; t < 9; ++t) {
    const int w = Weight<Code>(K, t);
    if (w == 0) continue;
    __m256d h, l;
    Split4(Load4(Rows[t / 3] + x + t % 3 - 1), C, h, l);
    if (w == 1) {
      Hi = _mm256_add_pd(Hi, h);
      Lo = _mm256_add_pd(Lo, l);
    } else if (w == -1) {
      Hi = _mm256_sub_pd(Hi, h);
      Lo = _mm256_sub_pd(Lo, l);
    } else {
      const __m256d k = _mm256_set1_pd(double(w));
      Hi = _mm256_add_pd(Hi, _mm256_mul_pd(k, h));
      Lo = _mm256_add_pd(Lo, _mm256_mul_pd(k, l));
    }
  }
}

// One output row (x = 1 .. W - 2, at least 8 pixels) by the given level.
template <int Code>
FS_AVX2 void KernelRow(int Level, int S, const TKernel3& K, const float* Src, float* Dst, int W, int y,
                       float White) {
  const float* rows[3] = {Src + std::size_t(y - 1) * W, Src + std::size_t(y) * W, Src + std::size_t(y + 1) * W};
  float* out = Dst + std::size_t(y) * W;
  const int d = Divisor<Code>(K);
  if (Level == kSingle) {
    const __m256 zero = _mm256_setzero_ps(), white = _mm256_set1_ps(White), dv = _mm256_set1_ps(float(d));
    for (int x = 1; x < W - 1; x = NextGroup<8>(x, W - 1)) {
      __m256 s = Taps8<Code>(K, rows, x);
      if (d != 1) s = _mm256_div_ps(s, dv);
      _mm256_storeu_ps(out + x, _mm256_min_ps(white, _mm256_max_ps(s, zero)));
    }
  } else if (Level == kDouble) {
    const __m256d zero = _mm256_setzero_pd(), white = _mm256_set1_pd(White), dv = _mm256_set1_pd(double(d));
    for (int x = 1; x < W - 1; x = NextGroup<4>(x, W - 1)) {
      __m256d s = Taps4<Code>(K, rows, x);
      if (d != 1) s = _mm256_div_pd(s, dv);
      _mm_storeu_ps(out + x, _mm256_cvtpd_ps(_mm256_min_pd(white, _mm256_max_pd(s, zero))));
    }
  } else {
    const __m256d c = _mm256_set1_pd(std::ldexp(1.5, S + 52)), inverse = _mm256_set1_pd(1.0 / double(d));
    const __m128 zero = _mm_setzero_ps(), white = _mm_set1_ps(White);
    for (int x = 1; x < W - 1; x = NextGroup<4>(x, W - 1)) {
      __m256d hi, lo;
      SplitTaps4<Code>(K, rows, x, c, hi, lo);
      __m256d q = _mm256_add_pd(hi, lo);
      if (d != 1) q = _mm256_mul_pd(q, inverse);
      _mm_storeu_ps(out + x, _mm_min_ps(white, _mm_max_ps(_mm256_cvtpd_ps(q), zero)));
      if (const int unsure = Unsure4(q)) {
        for (int l = 0; l < 4; ++l)
          if (unsure & (1 << l)) out[x + l] = KernelPixel(K, Src, W, x + l, y, White);
      }
    }
  }
}

using TKernelRowFn = void (*)(int, int, const TKernel3&, const float*, float*, int, int, float);

template <int... Codes>
constexpr std::array<TKernelRowFn, sizeof...(Codes)> KernelRows(std::integer_sequence<int, Codes...>) {
  return {&KernelRow<Codes>...};
}

}  // namespace

void MeanRowsAVX2(int N, const float* Src, float* Dst, int W, int Y0, int Y1, TMeanRow PlainRow) {
  const int h = N / 2;
  if (Y1 <= Y0) return;
  if (W - 2 * h < 8) {
    for (int y = Y0; y < Y1; ++y) PlainRow(N, Src, Dst, W, y);
    return;
  }
  const int f = CeilLog2((long long)(N + 1) * (N + 1));
  const int first = Y0 - h;
  std::vector<TRowRange> range(std::size_t(Y1 - Y0 + 2 * h));
  int known = first;
  TColumns col;
  auto row = [&](int r) { return Src + std::size_t(r) * W; };
  for (int y = Y0; y < Y1; ++y) {
    for (; known <= y + h; ++known) range[std::size_t(known - first)] = RangeOf(row(known), W, f);
    int top = kZerosTop, lsb = kZerosLsb;
    for (int r = y - h; r <= y + h; ++r) {
      top = std::max(top, range[std::size_t(r - first)].Top);
      lsb = std::min(lsb, range[std::size_t(r - first)].Lsb);
    }
    const int need = LevelOf(top, lsb, f);
    if (need == kPlain) {
      PlainRow(N, Src, Dst, W, y);
      col.Level = kPlain;
      continue;
    }
    // A coarser way than the window needs stays exact; a finer one starts afresh.
    if (col.Level == kPlain || need < col.Level || (col.Level == kSplit && !SplitFits(col.S, top, lsb, f))) {
      col.Level = need;
      if (need == kSingle) {
        col.F.assign(std::size_t(W), 0.0f);
      } else {
        col.H.assign(std::size_t(W), 0.0);
        if (need == kSplit) {
          col.L.assign(std::size_t(W), 0.0);
          col.S = SplitPoint(top, lsb, f);
          col.C = std::ldexp(1.5, col.S + 52);
        }
      }
      for (int r = y - h; r <= y + h; ++r) Slide(col, row(r), nullptr, W);
    } else {
      Slide(col, row(y + h), row(y - h - 1), W);
    }
    MeanOut(col, N, Src, Dst, W, y);
  }
}

void Convolve3x3RowsAVX2(const TKernel3& K, const float* Src, float* Dst, int W, int Y0, int Y1, float White,
                         TKernelRow PlainRow) {
  if (Y1 <= Y0) return;
  if (W - 2 < 8) {
    for (int y = Y0; y < Y1; ++y) PlainRow(K, Src, Dst, W, y, White);
    return;
  }
  long long absSum = 0;
  for (int w : K.W) absSum += std::abs(w);
  const int f = std::max(2, CeilLog2(absSum));
  int code = 0;
  for (int c = 1; c <= 12 && !code; ++c) {
    bool same = K.Divisor == kFixedKernels[c - 1].Divisor;
    for (int t = 0; t < 9; ++t) same = same && K.W[t] == kFixedKernels[c - 1].W[t];
    if (same) code = c;
  }
  // An even divisor can put a quotient on a halfway point between subnormal Singles.
  const bool evenDivisor = K.Divisor % 2 == 0;
  static constexpr auto rows = KernelRows(std::make_integer_sequence<int, 13>{});
  const TKernelRowFn kernelRow = rows[std::size_t(code)];
  TRowRange range[3];
  range[(Y0 - 1) % 3] = RangeOf(Src + std::size_t(Y0 - 1) * W, W, f);
  range[Y0 % 3] = RangeOf(Src + std::size_t(Y0) * W, W, f);
  for (int y = Y0; y < Y1; ++y) {
    range[(y + 1) % 3] = RangeOf(Src + std::size_t(y + 1) * W, W, f);
    const int top = std::max(range[0].Top, std::max(range[1].Top, range[2].Top));
    const int lsb = std::min(range[0].Lsb, std::min(range[1].Lsb, range[2].Lsb));
    const int level = LevelOf(top, lsb, f);
    if (level == kPlain || (level == kSplit && evenDivisor)) {
      PlainRow(K, Src, Dst, W, y, White);
    } else {
      kernelRow(level, level == kSplit ? SplitPoint(top, lsb, f) : 0, K, Src, Dst, W, y, White);
    }
  }
}

}  // namespace FilterSums
