#include "engine/FilterSums.h"

#include <immintrin.h>

#include <algorithm>
#include <array>
#include <atomic>
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
static_assert(TRowRange().Top == kZerosTop && TRowRange().Lsb == kZerosLsb);

// The largest magnitude and the smallest one above zero, as bit patterns
// (SmallestNonZero 0: none); with Most, also the largest value, searched
// from +0 as an image's maximum is: "v > m ? v : m", so a NaN never wins
// and the order does not matter.
FS_AVX2 void MagnitudeBounds(const float* R, int W, std::uint32_t& Largest, std::uint32_t& SmallestNonZero,
                             float* Most = nullptr) {
  const __m256i magnitude = _mm256_set1_epi32(0x7FFFFFFF), one = _mm256_set1_epi32(1);
  __m256i hi = _mm256_setzero_si256(), lo = _mm256_set1_epi32(-1);
  __m256 most = _mm256_setzero_ps();
  int x = 0;
  if (Most) {
    for (; x + 8 <= W; x += 8) {
      const __m256 v = _mm256_loadu_ps(R + x);
      const __m256i m = _mm256_and_si256(_mm256_castps_si256(v), magnitude);
      hi = _mm256_max_epu32(hi, m);
      lo = _mm256_min_epu32(lo, _mm256_sub_epi32(m, one));
      most = _mm256_max_ps(v, most);  // "v > most ? v : most": a NaN v keeps most
    }
  } else {
    for (; x + 8 <= W; x += 8) {
      const __m256i m = _mm256_and_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(R + x)), magnitude);
      hi = _mm256_max_epu32(hi, m);
      lo = _mm256_min_epu32(lo, _mm256_sub_epi32(m, one));  // a zero wraps round to the top
    }
  }
  alignas(32) std::uint32_t a[8], b[8];
  alignas(32) float c[8];
  _mm256_store_si256(reinterpret_cast<__m256i*>(a), hi);
  _mm256_store_si256(reinterpret_cast<__m256i*>(b), lo);
  _mm256_store_ps(c, most);
  std::uint32_t big = 0, small = 0xFFFFFFFFu;
  float top = 0.0f;
  for (int l = 0; l < 8; ++l) {
    big = std::max(big, a[l]);
    small = std::min(small, b[l]);
    top = top < c[l] ? c[l] : top;
  }
  for (; x < W; ++x) {
    std::uint32_t u;
    std::memcpy(&u, R + x, 4);
    u &= 0x7FFFFFFFu;
    big = std::max(big, u);
    small = std::min(small, u - 1u);
    top = top < R[x] ? R[x] : top;
  }
  Largest = big;
  SmallestNonZero = small + 1u;
  if (Most) *Most = top;
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
TRowRange RangeOf(const float* R, int W, int F, float* Most = nullptr) {
  std::uint32_t big, small;
  MagnitudeBounds(R, W, big, small, Most);
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
// Singles and doubles then give the exact sum. Up to 64 bits the extended sum
// of the plain algorithm is exact too, and every value split into a Single
// part on the grid 2^S and the rest below it keeps both parts' sums exact,
// the first in Singles, the second in doubles.
//
// The exact quotient q of such a sum by the divisor rounds to the same Single
// as the extended one: q lies too far from every halfway point between
// Singles for the extended rounding to move it onto one, or for a double's.
// So a Single division of the exact sum gives that Single, and so does the
// Single of a double division; a product with the inverse, or the sum of the
// two parts, comes within 3 units of a double's last place of q, which
// decides the Single except near a halfway point (then the plain way).
enum TLevel : int { kPlain = 0, kSplit = 1, kDouble = 2, kSingle = 3 };

int LevelOf(int Top, int Lsb, int F) {
  if (Top >= kNonFinite) return kPlain;
  const int span = Top + F - Lsb;
  if (span <= 24 && Top + F <= 127) return kSingle;
  if (span <= 53) return kDouble;
  if (span <= 64 && Top + F <= 127 && span <= 78 - F) return kSplit;
  return kPlain;
}

// The split point S: Single parts are multiples of 2^S, so their sums below
// 2^(Top + F) are exact in Singles when Top + F - 24 <= S; the rest is below
// 2^(S-1), so its sums are exact in doubles when S - 1 + F <= Lsb + 53. F >= 2
// keeps every value below 2^(S + 22), where adding and taking away
// 1.5 * 2^(S + 23) rounds it to the grid; the rest is then a Single as well.
bool SplitFits(int S, int Top, int Lsb, int F) { return Top + F - 24 <= S && S <= Lsb + 54 - F; }

int SplitPoint(int Top, int Lsb, int F) {
  const int lo = Top + F - 24, hi = Lsb + 54 - F;
  return std::min(lo + (hi - lo) / 2, 103);
}

FS_AVX2_INLINE void Split8(__m256 v, __m256 C, __m256& Hi, __m256& Lo) {
  Hi = _mm256_sub_ps(_mm256_add_ps(v, C), C);
  Lo = _mm256_sub_ps(v, Hi);
}

inline void Split1(float v, float C, float& Hi, float& Lo) {
  Hi = (v + C) - C;
  Lo = v - Hi;
}

FS_AVX2_INLINE __m256d Low4(__m256 v) { return _mm256_cvtps_pd(_mm256_castps256_ps128(v)); }
FS_AVX2_INLINE __m256d High4(__m256 v) { return _mm256_cvtps_pd(_mm256_extractf128_ps(v, 1)); }
FS_AVX2_INLINE __m256d Load4(const float* p) { return _mm256_cvtps_pd(_mm_loadu_ps(p)); }
FS_AVX2_INLINE __m256 Join(__m256d Lo, __m256d Hi) {
  return _mm256_insertf128_ps(_mm256_castps128_ps256(_mm256_cvtpd_ps(Lo)), _mm256_cvtpd_ps(Hi), 1);
}

// Lanes where q may not round to the Single that the exact quotient rounds
// to: within 8 units of a double's last place of a halfway point between
// Singles. Below the normal Singles, where they lie further apart, an odd
// divisor keeps every exact quotient of a sum of Singles 2^-150 / divisor or
// more away from their halfway points.
FS_AVX2_INLINE int Unsure4(__m256d q) {
  const __m256i below = _mm256_and_si256(_mm256_add_epi64(_mm256_castpd_si256(q), _mm256_set1_epi64x(8 - 0x10000000LL)),
                                         _mm256_set1_epi64x(0x1FFFFFFF));
  return _mm256_movemask_pd(_mm256_castsi256_pd(_mm256_cmpgt_epi64(_mm256_set1_epi64x(17), below)));
}

FS_AVX2_INLINE int Unsure8(__m256d Lo, __m256d Hi) { return Unsure4(Lo) | Unsure4(Hi) << 4; }

// Writes the pixels X0 .. X1 - 1 of a row at Out (X1 - X0 >= 8) in groups
// of 8: Group(x, v) puts the values of x .. x + 7 in v and returns the lanes
// that Redo(x) must do one by one. The last group overlaps the one before it
// rather than leaving a tail. With Stream the whole 64-byte lines go past the
// caches (for planes far larger than them: no read of the old row first); the
// ends of the row, in lines of their own, are stored normally and masked
// where a group would reach into a streamed line.
template <typename G, typename R>
FS_AVX2_INLINE void WriteRow(float* Out, int X0, int X1, bool Stream, G&& Group, R&& Redo) {
  auto put = [&](int x, bool stream, int from, int to) __attribute__((target("avx2"), always_inline)) {
    __m256 v;
    int redo = Group(x, v);
    if (stream) {
      _mm256_stream_ps(Out + x, v);
    } else if (from == 0 && to == 8) {
      _mm256_storeu_ps(Out + x, v);
    } else {
      const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
      const __m256i mask = _mm256_and_si256(_mm256_cmpgt_epi32(lane, _mm256_set1_epi32(from - 1)),
                                            _mm256_cmpgt_epi32(_mm256_set1_epi32(to), lane));
      _mm256_maskstore_ps(Out + x, mask, v);
      redo &= ((1 << to) - 1) & ~((1 << from) - 1);
    }
    for (; redo; redo &= redo - 1) {
      const int l = std::countr_zero(unsigned(redo));
      Out[x + l] = Redo(x + l);
    }
  };
  const int lead = int((-(reinterpret_cast<std::uintptr_t>(Out) / sizeof(float))) & 15);  // Out + lead: a line start
  const int a = X0 + ((lead - X0) & 15), b = X1 - ((X1 - lead) & 15);  // the whole lines: [a, b)
  if (!Stream || b - a < 16) {
    for (int x = X0;; x += 8) {
      if (x + 8 > X1) x = X1 - 8;
      put(x, false, 0, 8);
      if (x + 8 >= X1) break;
    }
    return;
  }
  if (a - X0 >= 8) {
    put(X0, false, 0, 8);
    put(a - 8, false, 0, 8);
  } else if (a > X0) {
    put(X0, false, 0, a - X0);
  }
  for (int x = a; x < b; x += 8) put(x, true, 0, 8);
  if (X1 - b >= 8) {
    put(b, false, 0, 8);
    put(X1 - 8, false, 0, 8);
  } else if (X1 > b) {
    put(X1 - 8, false, 8 - (X1 - b), 8);
  }
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

// The sums down each column of the window's N rows, for every x: in F
// (Singles), in D (doubles), or split, the Single parts in F and the rest in D.
struct TColumns {
  int Level = kPlain;  // kPlain: not set up
  int S = 0;
  float C = 0;
  std::vector<float> F;
  std::vector<double> D;
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

FS_AVX2 void SlideSplit(float* F, double* D, float C, const float* Add, const float* Sub, int W) {
  const __m256 c = _mm256_set1_ps(C);
  int x = 0;
  for (; x + 8 <= W; x += 8) {
    __m256 ah, al, sh = _mm256_setzero_ps(), sl = _mm256_setzero_ps();
    Split8(_mm256_loadu_ps(Add + x), c, ah, al);
    if (Sub) Split8(_mm256_loadu_ps(Sub + x), c, sh, sl);
    _mm256_storeu_ps(F + x, _mm256_add_ps(_mm256_loadu_ps(F + x), _mm256_sub_ps(ah, sh)));
    _mm256_storeu_pd(D + x, _mm256_add_pd(_mm256_loadu_pd(D + x), _mm256_sub_pd(Low4(al), Low4(sl))));
    _mm256_storeu_pd(D + x + 4, _mm256_add_pd(_mm256_loadu_pd(D + x + 4), _mm256_sub_pd(High4(al), High4(sl))));
  }
  for (; x < W; ++x) {
    float ah, al, sh = 0, sl = 0;
    Split1(Add[x], C, ah, al);
    if (Sub) Split1(Sub[x], C, sh, sl);
    F[x] += ah - sh;
    D[x] += double(al) - double(sl);
  }
}

void Slide(TColumns& Col, const float* Add, const float* Sub, int W) {
  switch (Col.Level) {
    case kSingle: SlideSingle(Col.F.data(), Add, Sub, W); break;
    case kDouble: SlideDouble(Col.D.data(), Add, Sub, W); break;
    default: SlideSplit(Col.F.data(), Col.D.data(), Col.C, Add, Sub, W); break;
  }
}

// The sum of Col[0 .. N - 1] lane by lane, as a tree (N known while
// compiling, 0: any n); the sums are exact, so their order is free.
template <int N>
FS_AVX2_INLINE __m256 SumSingle8(const float* Col, int n) {
  if constexpr (N == 3) {
    return _mm256_add_ps(_mm256_add_ps(_mm256_loadu_ps(Col), _mm256_loadu_ps(Col + 1)), _mm256_loadu_ps(Col + 2));
  } else if constexpr (N == 5) {
    return _mm256_add_ps(_mm256_add_ps(_mm256_add_ps(_mm256_loadu_ps(Col), _mm256_loadu_ps(Col + 1)),
                                       _mm256_add_ps(_mm256_loadu_ps(Col + 2), _mm256_loadu_ps(Col + 3))),
                         _mm256_loadu_ps(Col + 4));
  } else if constexpr (N == 7) {
    const __m256 a = _mm256_add_ps(_mm256_add_ps(_mm256_loadu_ps(Col), _mm256_loadu_ps(Col + 1)),
                                   _mm256_add_ps(_mm256_loadu_ps(Col + 2), _mm256_loadu_ps(Col + 3)));
    const __m256 b = _mm256_add_ps(_mm256_add_ps(_mm256_loadu_ps(Col + 4), _mm256_loadu_ps(Col + 5)),
                                   _mm256_loadu_ps(Col + 6));
    return _mm256_add_ps(a, b);
  } else {
    __m256 s0 = _mm256_loadu_ps(Col), s1 = _mm256_setzero_ps();
    int k = 1;
    for (; k + 1 < n; k += 2) {
      s0 = _mm256_add_ps(s0, _mm256_loadu_ps(Col + k));
      s1 = _mm256_add_ps(s1, _mm256_loadu_ps(Col + k + 1));
    }
    if (k < n) s0 = _mm256_add_ps(s0, _mm256_loadu_ps(Col + k));
    return _mm256_add_ps(s0, s1);
  }
}

template <int N>
FS_AVX2_INLINE __m256d SumDouble4(const double* Col, int n) {
  if constexpr (N == 3) {
    return _mm256_add_pd(_mm256_add_pd(_mm256_loadu_pd(Col), _mm256_loadu_pd(Col + 1)), _mm256_loadu_pd(Col + 2));
  } else if constexpr (N == 5) {
    return _mm256_add_pd(_mm256_add_pd(_mm256_add_pd(_mm256_loadu_pd(Col), _mm256_loadu_pd(Col + 1)),
                                       _mm256_add_pd(_mm256_loadu_pd(Col + 2), _mm256_loadu_pd(Col + 3))),
                         _mm256_loadu_pd(Col + 4));
  } else if constexpr (N == 7) {
    const __m256d a = _mm256_add_pd(_mm256_add_pd(_mm256_loadu_pd(Col), _mm256_loadu_pd(Col + 1)),
                                    _mm256_add_pd(_mm256_loadu_pd(Col + 2), _mm256_loadu_pd(Col + 3)));
    const __m256d b = _mm256_add_pd(_mm256_add_pd(_mm256_loadu_pd(Col + 4), _mm256_loadu_pd(Col + 5)),
                                    _mm256_loadu_pd(Col + 6));
    return _mm256_add_pd(a, b);
  } else {
    __m256d s0 = _mm256_loadu_pd(Col), s1 = _mm256_setzero_pd();
    int k = 1;
    for (; k + 1 < n; k += 2) {
      s0 = _mm256_add_pd(s0, _mm256_loadu_pd(Col + k));
      s1 = _mm256_add_pd(s1, _mm256_loadu_pd(Col + k + 1));
    }
    if (k < n) s0 = _mm256_add_pd(s0, _mm256_loadu_pd(Col + k));
    return _mm256_add_pd(s0, s1);
  }
}

// One output row from the column sums (x = h .. W - 1 - h, at least 8
// pixels); NC is N where known while compiling. The double and split sums
// are multiplied by the inverse of N^2: where a Single may round otherwise,
// the plain mean.
template <int NC>
FS_AVX2 void MeanOut(const TColumns& Col, int N, const float* Src, float* Dst, int W, int y, bool Stream) {
  const int h = N / 2;
  const float* f = Col.F.data();
  const double* d = Col.D.data();
  const __m256d inverse = _mm256_set1_pd(1.0 / double(N * N));
  const __m256 area = _mm256_set1_ps(float(N * N));
  auto redo = [&](int x) { return MeanPixel(N, Src, W, x, y); };
  float* out = Dst + std::size_t(y) * W;
  switch (Col.Level) {
    case kSingle:
      WriteRow(out, h, W - h, Stream, [&](int x, __m256& v) __attribute__((target("avx2"), always_inline)) {
        v = _mm256_div_ps(SumSingle8<NC>(f + (x - h), N), area);
        return 0;
      }, redo);
      break;
    case kDouble:
      WriteRow(out, h, W - h, Stream, [&](int x, __m256& v) __attribute__((target("avx2"), always_inline)) {
        const __m256d q0 = _mm256_mul_pd(SumDouble4<NC>(d + (x - h), N), inverse);
        const __m256d q1 = _mm256_mul_pd(SumDouble4<NC>(d + (x - h + 4), N), inverse);
        v = Join(q0, q1);
        return Unsure8(q0, q1);
      }, redo);
      break;
    default:
      WriteRow(out, h, W - h, Stream, [&](int x, __m256& v) __attribute__((target("avx2"), always_inline)) {
        const __m256 s = SumSingle8<NC>(f + (x - h), N);
        const __m256d q0 = _mm256_mul_pd(_mm256_add_pd(Low4(s), SumDouble4<NC>(d + (x - h), N)), inverse);
        const __m256d q1 = _mm256_mul_pd(_mm256_add_pd(High4(s), SumDouble4<NC>(d + (x - h + 4), N)), inverse);
        v = Join(q0, q1);
        return Unsure8(q0, q1);
      }, redo);
      break;
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

// Sum += w * v, with the weight's ones and zeros left out.
FS_AVX2_INLINE __m256 Term(__m256 Sum, int w, __m256 v) {
  if (w == 0) return Sum;
  if (w == 1) return _mm256_add_ps(Sum, v);
  if (w == -1) return _mm256_sub_ps(Sum, v);
  return _mm256_add_ps(Sum, _mm256_mul_ps(_mm256_set1_ps(float(w)), v));
}

FS_AVX2_INLINE __m256d Term(__m256d Sum, int w, __m256d v) {
  if (w == 0) return Sum;
  if (w == 1) return _mm256_add_pd(Sum, v);
  if (w == -1) return _mm256_sub_pd(Sum, v);
  return _mm256_add_pd(Sum, _mm256_mul_pd(_mm256_set1_pd(double(w)), v));
}

// Eight pixels' sums at x, in Singles (kSingle), doubles (kDouble: Lo for
// the first four, Hi for the others) or split (kSplit: S8 the Single parts,
// Lo and Hi the rest).
template <int Code, int Level>
FS_AVX2_INLINE void Taps8(const TKernel3& K, const float* const* Rows, const double* const* RowsD, int x, __m256 C,
                          __m256& S8, __m256d& Lo, __m256d& Hi) {
  S8 = _mm256_setzero_ps();
  Lo = Hi = _mm256_setzero_pd();
#pragma GCC unroll 9
  for (int t = 0; t < 9; ++t) {
    const int w = Weight<Code>(K, t);
    if (w == 0) continue;
    const float* p = Rows[t / 3] + x + t % 3 - 1;
    if constexpr (Level == kSingle) {
      S8 = Term(S8, w, _mm256_loadu_ps(p));
    } else if constexpr (Level == kDouble) {
      const double* q = RowsD[t / 3] + x + t % 3 - 1;
      Lo = Term(Lo, w, _mm256_loadu_pd(q));
      Hi = Term(Hi, w, _mm256_loadu_pd(q + 4));
    } else {
      __m256 vh, vl;
      Split8(_mm256_loadu_ps(p), C, vh, vl);
      S8 = Term(S8, w, vh);
      Lo = Term(Lo, w, Low4(vl));
      Hi = Term(Hi, w, High4(vl));
    }
  }
}

// The exponent fields of the window's values with a weight, largest and
// smallest. A field e bounds a value below 2^(e - 126) and makes it a
// multiple of 2^(e - 150) (a field of 0, zeros and subnormals, 2^-150 too).
template <int Code>
FS_AVX2_INLINE void ExponentRange8(const TKernel3& K, const float* const* Rows, int x, __m256i& Most,
                                   __m256i& Least) {
  const __m256i field = _mm256_set1_epi32(0x7F800000);
  Most = _mm256_setzero_si256();
  Least = field;
#pragma GCC unroll 9
  for (int t = 0; t < 9; ++t) {
    if (Weight<Code>(K, t) == 0) continue;
    const __m256i e =
        _mm256_and_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(Rows[t / 3] + x + t % 3 - 1)), field);
    Most = _mm256_max_epu32(Most, e);
    Least = _mm256_min_epu32(Least, e);
  }
}

// One output row (x = 1 .. W - 2, at least 8 pixels) by the given level.
// Where the rows allow only split sums, the windows' own values mostly allow
// doubles: fields 29 - F apart or less leave the sums 53 bits or less. The
// row Ahead, which the next rows need, is fetched meanwhile: the sums keep
// the processor busy while it comes from memory.
template <int Code, int Level>
FS_AVX2 void KernelRow(int S, int F, const TKernel3& K, const float* Src, const double* const* RowsD,
                       const float* Ahead, float* Dst, int W, int y, float White, bool Stream) {
  const float* rows[3] = {Src + std::size_t(y - 1) * W, Src + std::size_t(y) * W, Src + std::size_t(y + 1) * W};
  const int d = Divisor<Code>(K);
  const __m256 zero = _mm256_setzero_ps(), white = _mm256_set1_ps(White);
  const __m256 c = _mm256_set1_ps(Level == kSplit ? std::ldexp(1.5f, S + 23) : 0.0f);
  const __m256d dd = _mm256_set1_pd(double(d)), inverse = _mm256_set1_pd(1.0 / double(d));
  const __m256i apart = _mm256_set1_epi32((29 - F) << 23);
  WriteRow(Dst + std::size_t(y) * W, 1, W - 1, Stream,
           [&](int x, __m256& v) __attribute__((target("avx2"), always_inline)) {
             __m256 s8;
             __m256d lo, hi;
             int redo = 0;
             bool split = Level == kSplit;
             _mm_prefetch(reinterpret_cast<const char*>(Ahead + x), _MM_HINT_T0);
             if constexpr (Level == kSplit) {
               __m256i most, least;
               ExponentRange8<Code>(K, rows, x, most, least);
               const __m256i far = _mm256_cmpgt_epi32(_mm256_sub_epi32(most, least), apart);
               split = !_mm256_testz_si256(far, far);
             }
             if (!split) {
               Taps8<Code, Level == kSingle ? kSingle : kDouble>(K, rows, RowsD, x, c, s8, lo, hi);
               if (Level == kSingle) {
                 if (d != 1) s8 = _mm256_div_ps(s8, _mm256_set1_ps(float(d)));
               } else {
                 if (d != 1) {
                   lo = _mm256_div_pd(lo, dd);
                   hi = _mm256_div_pd(hi, dd);
                 }
                 s8 = Join(lo, hi);
               }
             } else {
               Taps8<Code, kSplit>(K, rows, RowsD, x, c, s8, lo, hi);
               lo = _mm256_add_pd(Low4(s8), lo);
               hi = _mm256_add_pd(High4(s8), hi);
               if (d != 1) {
                 lo = _mm256_mul_pd(lo, inverse);
                 hi = _mm256_mul_pd(hi, inverse);
               }
               s8 = Join(lo, hi);
               redo = Unsure8(lo, hi);
             }
             v = _mm256_min_ps(white, _mm256_max_ps(s8, zero));
             return redo;
           },
           [&](int x) { return KernelPixel(K, Src, W, x, y, White); });
}

// A row as doubles.
FS_AVX2 void ToDoubles(const float* R, double* D, int W) {
  int x = 0;
  for (; x + 4 <= W; x += 4) _mm256_storeu_pd(D + x, Load4(R + x));
  for (; x < W; ++x) D[x] = R[x];
}

using TKernelRowFn = void (*)(int, int, const TKernel3&, const float*, const double* const*, const float*, float*,
                              int, int, float, bool);

template <int... Codes>
constexpr std::array<std::array<TKernelRowFn, 3>, sizeof...(Codes)> KernelRows(std::integer_sequence<int, Codes...>) {
  return {{{&KernelRow<Codes, kSplit>, &KernelRow<Codes, kDouble>, &KernelRow<Codes, kSingle>}...}};
}

}  // namespace

namespace {
std::atomic<std::int64_t> g_streamBytes{std::int64_t(32) << 20};
}  // namespace

bool StreamPlane(int W, int H) { return std::int64_t(W) * H * std::int64_t(sizeof(float)) >= g_streamBytes.load(); }

void StreamPlanesFrom(std::int64_t Bytes) { g_streamBytes = Bytes > 0 ? Bytes : std::int64_t(32) << 20; }

void MeanRowsAVX2(int N, const float* Src, float* Dst, int W, int Y0, int Y1, bool Stream, TMeanRow PlainRow) {
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
      if (need != kDouble) col.F.assign(std::size_t(W), 0.0f);
      if (need != kSingle) col.D.assign(std::size_t(W), 0.0);
      if (need == kSplit) {
        col.S = SplitPoint(top, lsb, f);
        col.C = std::ldexp(1.5f, col.S + 23);
      }
      for (int r = y - h; r <= y + h; ++r) Slide(col, row(r), nullptr, W);
    } else {
      Slide(col, row(y + h), row(y - h - 1), W);
    }
    // Streaming pays where the sums are cheapest (and the row's traffic counts
    // most); measured, it costs the mean's slower ways a little.
    const bool stream = Stream && col.Level == kSingle;
    switch (N) {
      case 3: MeanOut<3>(col, N, Src, Dst, W, y, stream); break;
      case 5: MeanOut<5>(col, N, Src, Dst, W, y, stream); break;
      case 7: MeanOut<7>(col, N, Src, Dst, W, y, stream); break;
      default: MeanOut<0>(col, N, Src, Dst, W, y, stream); break;
    }
  }
  if (Stream) _mm_sfence();
}

// F of the kernel's sums: log2 of the sum of its weights' magnitudes, at least 2.
int KernelBits(const TKernel3& K) {
  long long absSum = 0;
  for (int w : K.W) absSum += std::abs(w);
  return std::max(2, CeilLog2(absSum));
}

float KernelRowRangesAVX2(const TKernel3& K, const float* Src, int W, int Y0, int Y1, TRowRange* Ranges) {
  const int f = KernelBits(K);
  float most = 0.0f;
  for (int y = Y0; y < Y1; ++y) {
    float m;
    Ranges[y] = RangeOf(Src + std::size_t(y) * W, W, f, &m);
    most = most < m ? m : most;
  }
  return most;
}

void Convolve3x3RowsAVX2(const TKernel3& K, const float* Src, float* Dst, int W, int Y0, int Y1, float White,
                         bool Stream, TKernelRow PlainRow, const TRowRange* Ranges) {
  if (Y1 <= Y0) return;
  if (W - 2 < 8) {
    for (int y = Y0; y < Y1; ++y) PlainRow(K, Src, Dst, W, y, White);
    return;
  }
  const int f = KernelBits(K);
  auto rangeOf = [&](int r) { return Ranges ? Ranges[r] : RangeOf(Src + std::size_t(r) * W, W, f); };
  int code = 0;
  for (int c = 1; c <= 12 && !code; ++c) {
    bool same = K.Divisor == kFixedKernels[c - 1].Divisor;
    for (int t = 0; t < 9; ++t) same = same && K.W[t] == kFixedKernels[c - 1].W[t];
    if (same) code = c;
  }
  // An even divisor can put a quotient on a halfway point between subnormal Singles.
  const bool evenDivisor = K.Divisor % 2 == 0;
  static constexpr auto rows = KernelRows(std::make_integer_sequence<int, 13>{});
  // The rows of the window as doubles, each converted once: row r in slot r % 3.
  std::vector<double> ring;
  int held[3] = {-1, -1, -1};
  TRowRange range[3];
  range[(Y0 - 1) % 3] = rangeOf(Y0 - 1);
  range[Y0 % 3] = rangeOf(Y0);
  for (int y = Y0; y < Y1; ++y) {
    range[(y + 1) % 3] = rangeOf(y + 1);
    const int top = std::max(range[0].Top, std::max(range[1].Top, range[2].Top));
    const int lsb = std::min(range[0].Lsb, std::min(range[1].Lsb, range[2].Lsb));
    const int level = LevelOf(top, lsb, f);
    if (level == kPlain || (level == kSplit && evenDivisor)) {
      PlainRow(K, Src, Dst, W, y, White);
    } else {
      const double* rowsD[3] = {nullptr, nullptr, nullptr};
      if (level != kSingle) {
        if (ring.empty()) ring.resize(std::size_t(3) * W);
        for (int r = y - 1; r <= y + 1; ++r) {
          double* slot = ring.data() + std::size_t(r % 3) * W;
          if (held[r % 3] != r) ToDoubles(Src + std::size_t(r) * W, slot, W);
          held[r % 3] = r;
          rowsD[r - (y - 1)] = slot;
        }
      }
      const float* ahead = Src + std::size_t(std::min(y + 2, Y1)) * W;  // row Y1 <= H - 1 is there
      rows[std::size_t(code)][std::size_t(level - 1)](level == kSplit ? SplitPoint(top, lsb, f) : 0, f, K, Src, rowsD,
                                                       ahead, Dst, W, y, White, Stream && level != kSplit);
    }
  }
  if (Stream) _mm_sfence();
}

}  // namespace FilterSums
