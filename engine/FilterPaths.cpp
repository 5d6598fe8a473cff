#include "engine/FilterPaths.h"

#include <emmintrin.h>
#include <immintrin.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <climits>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <type_traits>
#include <utility>

#include "engine/Checked.h"
#include "engine/FilterSums.h"
#include "engine/Parallel.h"
#include "engine/Processor.h"

namespace FilterPaths {
namespace {

// Runs Body(ya, yb) over output rows [Y0, Y1) across threads. Rows go out in
// blocks, several per thread, each taken by the first free thread, so that a
// thread slowed by other work on the machine holds up no one. Every output row
// is computed the same way in whatever block it falls. Each thread gets
// MinRowsPerPart rows at the least.
template <typename F>
void ForRows(int Y0, int Y1, F&& Body, std::int64_t MinRowsPerPart = 1) {
  if (Y1 <= Y0) return;
  const int threads =
      int(std::clamp<std::int64_t>((Y1 - Y0) / std::max<std::int64_t>(1, MinRowsPerPart), 1, Parallel::Threads()));
  const int block = std::max(8, (Y1 - Y0) / (threads * 6));
  if (threads == 1 || Y1 - Y0 <= block) {
    Body(Y0, Y1);
    return;
  }
  std::atomic<int> next{Y0};
  Parallel::For(
      threads,
      [&](std::int64_t, std::int64_t) {
        for (;;) {
          const int y = next.fetch_add(block);
          if (y >= Y1) break;
          Body(y, std::min(Y1, y + block));
        }
      },
      1);
}

// ---- exactness of double sums ----

// Every sum of up to Factor values of a plane, each times an integer weight
// of at most that total, is exact in Limit bits when all values are multiples
// of 2^L with L = top + log2(Factor) - Limit, 2^top bounding the magnitudes.
// MakeGrid finds L from the largest magnitude (and refuses infinities and
// NaNs); OnGrid then tests the values row by row, so that the test can share
// the filter's own pass over the rows.
struct TGrid {
  bool Finite = true;
  bool Any = false;  // false: every value is on the grid
  double C = 0;      // 1.5 * 2^(L + 52)
};

// The bit pattern of the largest magnitude (above every finite value for an
// infinity or NaN).
std::uint32_t MaxMagnitudeBits(const float* P, std::int64_t N) {
  std::uint32_t maxBits = 0;
  std::mutex m;
  Parallel::For(
      N,
      [&](std::int64_t b, std::int64_t e) {
        // Magnitudes compare as their bit patterns; infinities and NaNs
        // come out above every finite value.
        const __m128i absMask = _mm_set1_epi32(0x7FFFFFFF);
        __m128i vm = _mm_setzero_si128();
        std::int64_t i = b;
        for (; i + 4 <= e; i += 4) {
          const __m128i u = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(P + i)), absMask);
          const __m128i gt = _mm_cmpgt_epi32(u, vm);
          vm = _mm_or_si128(_mm_and_si128(gt, u), _mm_andnot_si128(gt, vm));
        }
        std::uint32_t lanes[4];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), vm);
        std::uint32_t mb = std::max(std::max(lanes[0], lanes[1]), std::max(lanes[2], lanes[3]));
        for (; i < e; ++i) {
          std::uint32_t u;
          std::memcpy(&u, P + i, 4);
          u &= 0x7FFFFFFFu;
          mb = u > mb ? u : mb;
        }
        std::lock_guard<std::mutex> lock(m);
        maxBits = std::max(maxBits, mb);
      },
      1 << 16);
  return maxBits;
}

TGrid MakeGrid(std::uint32_t maxBits, long long Factor, int Limit) {
  TGrid g;
  if (maxBits >= 0x7F800000u) {
    g.Finite = false;
    return g;
  }
  if (maxBits == 0) return g;
  const int ex = int(maxBits >> 23);
  const int top = (ex ? ex : 1) - 127 + 1;  // every magnitude is below 2^top
  int log2f = 0;
  while ((1LL << log2f) < std::max(1LL, Factor)) ++log2f;
  const int L = top + log2f - Limit;
  if (L <= -149) return g;  // every float is a multiple of 2^-149
  g.Any = true;
  g.C = std::ldexp(1.5, L + 52);
  return g;
}

// d is a multiple of 2^L when adding and taking away 1.5 * 2^(L + 52), whose
// neighbours are 2^L apart, leaves it unchanged. Larger values (from
// 2^(L + 51), below 2^(L + 53)) pass through both steps exactly, as they must:
// a Single's own spacing there is a multiple of 2^L.
inline bool OnGrid(const TGrid& g, const float* Row, int N) {
  if (!g.Any) return true;
  std::uint64_t off = 0;  // the bits of every difference, or-ed
  for (int i = 0; i < N; ++i) {
    const double d = Row[i];
    off |= std::bit_cast<std::uint64_t>(((d + g.C) - g.C) - d);
  }
  return (off << 1) == 0;  // only zeros (of either sign)
}

// A rank filter picks one value; with no NaN and no negative zero that value
// has one bit pattern whatever the order of comparisons. Bytes always pass.
template <typename T>
inline bool RankSafeRow(const T* Row, int N) {
  if constexpr (std::is_same_v<T, float>) {
    int bad = 0;
    for (int i = 0; i < N; ++i) {
      std::int32_t u;
      std::memcpy(&u, Row + i, 4);
      bad |= (u == INT32_MIN) | ((u & 0x7FFFFFFF) > 0x7F800000);
    }
    return !bad;
  } else {
    (void)Row;
    (void)N;
    return true;
  }
}

// ---- selection networks ----

struct TOp {
  std::uint16_t A = 0, B = 0;
  std::uint8_t Kind = 0;  // 0: A = min, B = max; 1: only A = min; 2: only B = max
};

struct TNetwork {
  std::vector<TOp> Ops;
  std::vector<int> Out;  // the slot holding each requested rank
};

// Builds a comparator network that puts the requested ranks of N values into
// known slots. Batcher's odd-even merge sort over a power of two, with the N
// real values followed by padding known to be largest; comparators whose
// outcome follows from what is already known of the order (for instance from
// presorted runs) are dropped, as are those that cannot reach a requested rank.
// Le(i, j) gives the initial knowledge "value i <= value j" for real values.
template <typename LeF>
constexpr TNetwork BuildNetwork(int N, LeF&& Le, const std::vector<int>& Ranks) {
  int P = 1;
  while (P < N) P <<= 1;
  std::vector<char> le(std::size_t(P) * P, 0);
  auto L = [&](int i, int j) -> char& { return le[std::size_t(i) * P + j]; };
  for (int i = 0; i < P; ++i)
    for (int j = 0; j < P; ++j) L(i, j) = (i == j) || j >= N || (i < N && Le(i, j));
  std::vector<int> phys(P);
  for (int i = 0; i < P; ++i) phys[i] = i;
  std::vector<TOp> ops;
  auto compare = [&](int i, int j) {
    if (L(i, j)) return;
    if (L(j, i)) {
      std::swap(phys[i], phys[j]);
      for (int k = 0; k < P; ++k) std::swap(L(i, k), L(j, k));
      for (int k = 0; k < P; ++k) std::swap(L(k, i), L(k, j));
      return;
    }
    ops.push_back(TOp{std::uint16_t(phys[i]), std::uint16_t(phys[j]), 0});
    for (int k = 0; k < P; ++k) {
      if (k == i || k == j) continue;
      const char ki = L(k, i) && L(k, j), ik = L(i, k) || L(j, k);
      const char kj = L(k, i) || L(k, j), jk = L(i, k) && L(j, k);
      L(k, i) = ki;
      L(i, k) = ik;
      L(k, j) = kj;
      L(j, k) = jk;
    }
    L(i, j) = 1;
    L(j, i) = 0;
  };
  for (int p = 1; p < P; p <<= 1)
    for (int k = p; k >= 1; k >>= 1)
      for (int j = k % p; j + k < P; j += 2 * k)
        for (int i = 0; i < k && i + j + k < P; ++i)
          if ((i + j) / (2 * p) == (i + j + k) / (2 * p)) compare(i + j, i + j + k);

  TNetwork net;
  std::vector<char> need(std::size_t(P), 0);
  for (int r : Ranks) {
    net.Out.push_back(phys[r]);
    need[phys[r]] = 1;
  }
  for (auto it = ops.rbegin(); it != ops.rend(); ++it) {
    const bool a = need[it->A], b = need[it->B];
    if (!a && !b) continue;
    net.Ops.push_back(TOp{it->A, it->B, std::uint8_t(a && b ? 0 : a ? 1 : 2)});
    need[it->A] = need[it->B] = 1;
  }
  std::reverse(net.Ops.begin(), net.Ops.end());
  return net;
}

// The two networks of a median of side n: sorting a column of n, and picking
// the median of n sorted columns (slot c * n + r holds rank r of column c).
struct TMedianNets {
  TNetwork Column, Window;
};

const TMedianNets& MedianNets(int n) {
  static std::mutex m;
  static std::map<int, std::unique_ptr<TMedianNets>> cache;
  std::lock_guard<std::mutex> lock(m);
  auto& slot = cache[n];
  if (!slot) {
    slot = std::make_unique<TMedianNets>();
    std::vector<int> all(static_cast<std::size_t>(n));
    for (int r = 0; r < n; ++r) all[r] = r;
    slot->Column = BuildNetwork(n, [](int, int) { return false; }, all);
    slot->Window = BuildNetwork(
        n * n, [n](int i, int j) { return i / n == j / n && i % n <= j % n; }, std::vector<int>{n * n / 2});
  }
  return *slot;
}

// Window networks of the common sides, built while compiling, so that the
// comparators become straight-line code on registers.
struct TWindowLe {
  int n;
  constexpr bool operator()(int i, int j) const { return i / n == j / n && i % n <= j % n; }
};

template <int N>
constexpr TNetwork WindowNetwork() {
  return BuildNetwork(N * N, TWindowLe{N}, std::vector<int>{N * N / 2});
}

template <int N>
constexpr std::size_t kWindowOpCount = WindowNetwork<N>().Ops.size();

template <int N>
constexpr std::array<TOp, kWindowOpCount<N>> MakeWindowOps() {
  std::array<TOp, kWindowOpCount<N>> a{};
  const TNetwork net = WindowNetwork<N>();
  for (std::size_t i = 0; i < a.size(); ++i) a[i] = net.Ops[i];
  return a;
}

template <int N>
constexpr auto kWindowOps = MakeWindowOps<N>();

template <int N>
constexpr int kWindowOut = WindowNetwork<N>().Out[0];

// Packed registers of each element type. Without NaN and negative zero the
// packed minimum and maximum are exact.
template <typename T>
struct TVec;

template <>
struct TVec<float> {
  using V = __m128;
  static constexpr int Lanes = 4;
  static V Load(const float* p) { return _mm_loadu_ps(p); }
  static void Store(float* p, V v) { _mm_storeu_ps(p, v); }
  static V Min(V a, V b) { return _mm_min_ps(a, b); }
  static V Max(V a, V b) { return _mm_max_ps(a, b); }
};

template <>
struct TVec<std::uint8_t> {
  using V = __m128i;
  static constexpr int Lanes = 16;
  static V Load(const std::uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
  static void Store(std::uint8_t* p, V v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
  static V Min(V a, V b) { return _mm_min_epu8(a, b); }
  static V Max(V a, V b) { return _mm_max_epu8(a, b); }
};

template <typename T, const auto& Ops, std::size_t... I>
inline void RunStatic(typename TVec<T>::V* v, std::index_sequence<I...>) {
  using X = TVec<T>;
  (
      [&] {
        constexpr TOp op = Ops[I];
        if constexpr (op.Kind == 0) {
          const auto a = v[op.A], b = v[op.B];
          v[op.A] = X::Min(a, b);
          v[op.B] = X::Max(a, b);
        } else if constexpr (op.Kind == 1) {
          v[op.A] = X::Min(v[op.A], v[op.B]);
        } else {
          v[op.B] = X::Max(v[op.A], v[op.B]);
        }
      }(),
      ...);
}

// The medians of the output pixels x0 .. x1 - 1 of one row from its sorted
// columns (Cols rank r of column x at Cols[ColOut[r] * W + x]), a register of
// pixels at a time; returns where it stopped.
template <int N, typename T>
int WindowStatic(const T* Cols, const int* ColOut, T* Out, int W, int x0, int x1) {
  using X = TVec<T>;
  constexpr int h = N / 2;
  int x = x0;
  for (; x + X::Lanes <= x1; x += X::Lanes) {
    typename X::V v[N * N];
    for (int c = 0; c < N; ++c)
      for (int r = 0; r < N; ++r) v[c * N + r] = X::Load(Cols + std::size_t(ColOut[r]) * W + x - h + c);
    RunStatic<T, kWindowOps<N>>(v, std::make_index_sequence<kWindowOpCount<N>>{});
    X::Store(Out + x, v[kWindowOut<N>]);
  }
  return x;
}

constexpr int kLanes = 64;

template <typename T>
inline void RunOps(const std::vector<TOp>& Ops, T* V, int Stride, int Lanes) {
  for (const TOp& op : Ops) {
    T* a = V + std::size_t(op.A) * Stride;
    T* b = V + std::size_t(op.B) * Stride;
    switch (op.Kind) {
      case 0:
        for (int l = 0; l < Lanes; ++l) {
          const T x = a[l], y = b[l];
          a[l] = y < x ? y : x;
          b[l] = x < y ? y : x;
        }
        break;
      case 1:
        for (int l = 0; l < Lanes; ++l) a[l] = b[l] < a[l] ? b[l] : a[l];
        break;
      default:
        for (int l = 0; l < Lanes; ++l) b[l] = b[l] < a[l] ? a[l] : b[l];
        break;
    }
  }
}

// One output row of the 3 x 3 median below, eight columns at a time, with the
// rank test of row c folded in: minps(b, a) is `b < a ? b : a` and maxps(b, a)
// `a < b ? b : a`, the same steps. False when c holds -0.0 or a NaN.
__attribute__((target("avx2"), always_inline)) inline __m256 Min8(__m256 x, __m256 y) { return _mm256_min_ps(y, x); }
__attribute__((target("avx2"), always_inline)) inline __m256 Max8(__m256 x, __m256 y) { return _mm256_max_ps(y, x); }

__attribute__((target("avx2"))) bool Median3RowAVX2(const float* a, const float* b, const float* c, float* lo,
                                                   float* mid, float* hi, float* out, int W) {
  const __m256i negZero = _mm256_set1_epi32(INT32_MIN), magnitude = _mm256_set1_epi32(0x7FFFFFFF),
                inf = _mm256_set1_epi32(0x7F800000);
  __m256i bad = _mm256_setzero_si256();
  int x = 0;
  for (; x + 8 <= W; x += 8) {
    const __m256 va = _mm256_loadu_ps(a + x), vb = _mm256_loadu_ps(b + x), vc = _mm256_loadu_ps(c + x);
    const __m256i u = _mm256_castps_si256(vc);
    bad = _mm256_or_si256(bad, _mm256_or_si256(_mm256_cmpeq_epi32(u, negZero),
                                               _mm256_cmpgt_epi32(_mm256_and_si256(u, magnitude), inf)));
    const __m256 p = Min8(va, vb), q = Max8(va, vb);
    const __m256 r = Min8(q, vc);
    _mm256_storeu_ps(lo + x, Min8(p, vc));
    _mm256_storeu_ps(hi + x, Max8(q, vc));
    _mm256_storeu_ps(mid + x, Max8(p, r));
  }
  bool safe = _mm256_testz_si256(bad, bad);
  for (; x < W; ++x) {
    std::int32_t u;
    std::memcpy(&u, c + x, 4);
    safe &= !((u == INT32_MIN) | ((u & 0x7FFFFFFF) > 0x7F800000));
    const float p = b[x] < a[x] ? b[x] : a[x];
    const float q = a[x] < b[x] ? b[x] : a[x];
    const float r = c[x] < q ? c[x] : q;
    lo[x] = c[x] < p ? c[x] : p;
    hi[x] = q < c[x] ? c[x] : q;
    mid[x] = p < r ? r : p;
  }
  x = 1;
  for (; x + 8 <= W - 1; x += 8) {
    const __m256 l = Max8(Max8(_mm256_loadu_ps(lo + x - 1), _mm256_loadu_ps(lo + x)), _mm256_loadu_ps(lo + x + 1));
    const __m256 h = Min8(Min8(_mm256_loadu_ps(hi + x - 1), _mm256_loadu_ps(hi + x)), _mm256_loadu_ps(hi + x + 1));
    const __m256 m0 = _mm256_loadu_ps(mid + x - 1), m1 = _mm256_loadu_ps(mid + x), m2 = _mm256_loadu_ps(mid + x + 1);
    const __m256 m = Max8(Min8(m0, m1), Min8(Max8(m0, m1), m2));
    _mm256_storeu_ps(out + x, Max8(Min8(l, m), Min8(Max8(l, m), h)));
  }
  auto smn = [](float u, float v) { return v < u ? v : u; };
  auto smx = [](float u, float v) { return u < v ? v : u; };
  for (; x < W - 1; ++x) {
    const float l = smx(smx(lo[x - 1], lo[x]), lo[x + 1]);
    const float h = smn(smn(hi[x - 1], hi[x]), hi[x + 1]);
    const float m0 = mid[x - 1], m1 = mid[x], m2 = mid[x + 1];
    const float m = smx(smn(m0, m1), smn(smx(m0, m1), m2));
    out[x] = smx(smn(l, m), smn(smx(l, m), h));
  }
  return safe;
}

// ---- 16-bit lanes ----

// A row of Singles as 16-bit values; false when any is not a whole number in
// 0..65535 (-0.0 and NaN included). What is written then is of no use.
__attribute__((target("avx2"))) bool RowToU16AVX2(const float* Src, std::uint16_t* Dst, int W) {
  const __m256i high = _mm256_set1_epi32(~0xFFFF);
  __m256i bad = _mm256_setzero_si256();
  int x = 0;
  for (; x + 16 <= W; x += 16) {
    const __m256 v0 = _mm256_loadu_ps(Src + x), v1 = _mm256_loadu_ps(Src + x + 8);
    const __m256i i0 = _mm256_cvttps_epi32(v0), i1 = _mm256_cvttps_epi32(v1);
    // A whole number comes back with its own bits; -0.0, NaN and fractions do not.
    const __m256i d0 = _mm256_xor_si256(_mm256_castps_si256(_mm256_cvtepi32_ps(i0)), _mm256_castps_si256(v0));
    const __m256i d1 = _mm256_xor_si256(_mm256_castps_si256(_mm256_cvtepi32_ps(i1)), _mm256_castps_si256(v1));
    bad = _mm256_or_si256(bad, _mm256_or_si256(_mm256_or_si256(d0, d1),
                                               _mm256_and_si256(_mm256_or_si256(i0, i1), high)));
    const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi32(i0, i1), 0xD8);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(Dst + x), packed);
  }
  bool ok = _mm256_testz_si256(bad, bad);
  for (; x < W; ++x) {
    const float v = Src[x];
    ok &= v >= 0.0f && v <= 65535.0f && !std::signbit(v);
    const std::uint16_t u = ok ? std::uint16_t(v) : 0;
    ok &= float(u) == v;
    Dst[x] = u;
  }
  return ok;
}

__attribute__((target("avx2"), always_inline)) inline void Sort3U16(__m256i a, __m256i b, __m256i c, __m256i& lo,
                                                                    __m256i& mid, __m256i& hi) {
  const __m256i p = _mm256_min_epu16(a, b), q = _mm256_max_epu16(a, b);
  lo = _mm256_min_epu16(p, c);
  hi = _mm256_max_epu16(q, c);
  mid = _mm256_max_epu16(p, _mm256_min_epu16(q, c));
}

__attribute__((target("avx2"), always_inline)) inline __m256i Median3U16(__m256i a, __m256i b, __m256i c) {
  return _mm256_max_epu16(_mm256_min_epu16(a, b), _mm256_min_epu16(_mm256_max_epu16(a, b), c));
}

__attribute__((target("avx2"), always_inline)) inline __m256i LoadU16(const std::uint16_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// The Singles Src[x .. x + 15] as 16-bit lanes. Bad and Ints gather what
// tells whether each was a whole number in 0..65535.
__attribute__((target("avx2"), always_inline)) inline __m256i ToU16At(const float* Src, int x, __m256i& Bad,
                                                                      __m256i& Ints) {
  const __m256 v0 = _mm256_loadu_ps(Src + x), v1 = _mm256_loadu_ps(Src + x + 8);
  const __m256i i0 = _mm256_cvttps_epi32(v0), i1 = _mm256_cvttps_epi32(v1);
  // A whole number comes back with its own bits; -0.0, NaN and fractions do not.
  Bad = _mm256_or_si256(Bad, _mm256_or_si256(
                                 _mm256_xor_si256(_mm256_castps_si256(_mm256_cvtepi32_ps(i0)), _mm256_castps_si256(v0)),
                                 _mm256_xor_si256(_mm256_castps_si256(_mm256_cvtepi32_ps(i1)), _mm256_castps_si256(v1))));
  Ints = _mm256_or_si256(Ints, _mm256_or_si256(i0, i1));
  return _mm256_permute4x64_epi64(_mm256_packus_epi32(i0, i1), 0xD8);
}

// The medians of output pixels x .. x + 15 from the sorted columns (low,
// middle and high rows W apart), as Singles at Out + x: the median of the
// largest low, the middle middle and the smallest high of three neighbouring
// columns, as in Median3.
__attribute__((target("avx2"), always_inline)) inline void Median3ColumnsAt(const std::uint16_t* Sorted, int W,
                                                                            float* Out, int x) {
  const std::uint16_t* lo = Sorted;
  const std::uint16_t* mid = Sorted + W;
  const std::uint16_t* hi = Sorted + 2 * W;
  const __m256i l = _mm256_max_epu16(_mm256_max_epu16(LoadU16(lo + x - 1), LoadU16(lo + x)), LoadU16(lo + x + 1));
  const __m256i h = _mm256_min_epu16(_mm256_min_epu16(LoadU16(hi + x - 1), LoadU16(hi + x)), LoadU16(hi + x + 1));
  const __m256i m = Median3U16(l, Median3U16(LoadU16(mid + x - 1), LoadU16(mid + x), LoadU16(mid + x + 1)), h);
  _mm256_storeu_ps(Out + x, _mm256_cvtepi32_ps(_mm256_cvtepu16_epi32(_mm256_castsi256_si128(m))));
  _mm256_storeu_ps(Out + x + 8, _mm256_cvtepi32_ps(_mm256_cvtepu16_epi32(_mm256_extracti128_si256(m, 1))));
}

// One output row of the 3 x 3 median from rows a and b (16-bit) and the
// Singles of the row below, which it converts into c, in one pass: each
// column is sorted once, a stretch ahead of the medians that read it, so that
// they find it in the nearest cache. Groups of 16 columns; the last group of
// a row overlaps the one before it rather than leaving a tail. False when the
// row below is not 16-bit data (the output row then holds values of no use).
// W >= 18.
__attribute__((target("avx2"))) bool Median3RowU16(const std::uint16_t* a, const std::uint16_t* b, const float* SrcC,
                                                  std::uint16_t* c, std::uint16_t* Sorted, float* Out, int W) {
  constexpr int kStretch = 256;
  __m256i bad = _mm256_setzero_si256(), ints = _mm256_setzero_si256();
  auto sortAt = [&](int x) __attribute__((target("avx2"), always_inline)) {
    const __m256i vc = ToU16At(SrcC, x, bad, ints);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(c + x), vc);
    __m256i lo, mid, hi;
    Sort3U16(LoadU16(a + x), LoadU16(b + x), vc, lo, mid, hi);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(Sorted + x), lo);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(Sorted + W + x), mid);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(Sorted + 2 * W + x), hi);
  };
  int sorted = 0;  // columns 0 .. sorted - 1 are sorted
  for (int x = 1; x < W - 1;) {
    const int stop = std::min(W - 1, x + kStretch);
    // The medians of pixels up to stop + 14 read columns up to stop + 15.
    for (const int need = std::min(W, stop + 16); sorted < need;) {
      const int g = std::min(sorted, W - 16);
      sortAt(g);
      sorted = g + 16;
    }
    for (; x < stop; x += 16) Median3ColumnsAt(Sorted, W, Out, std::min(x, W - 17));
  }
  const __m256i spoilt = _mm256_or_si256(bad, _mm256_and_si256(ints, _mm256_set1_epi32(~0xFFFF)));
  return _mm256_testz_si256(spoilt, spoilt);
}

// Output rows Y0 .. Y1 - 1 of the 3 x 3 median on 16-bit lanes while the rows
// read hold whole numbers in 0..65535; returns the first row not done (whose
// output the caller writes again).
int Median3RowsU16(const float* Src, float* Dst, int W, int Y0, int Y1) {
  if (W < 18) return Y0;
  std::vector<std::uint16_t> ring(std::size_t(3) * W), sorted(std::size_t(3) * W);
  auto row = [&](int r) { return ring.data() + std::size_t(r % 3) * W; };
  for (int r = Y0 - 1; r <= Y0; ++r)
    if (!RowToU16AVX2(Src + std::size_t(r) * W, row(r), W)) return Y0;
  for (int y = Y0; y < Y1; ++y)
    if (!Median3RowU16(row(y - 1), row(y), Src + std::size_t(y + 1) * W, row(y + 1), sorted.data(),
                       Dst + std::size_t(y) * W, W))
      return y;
  return Y1;
}

// The 3 x 3 median from sorted columns: the median of the largest low, the
// middle middle and the smallest high of three neighbouring columns. With
// AVX2, rows of 16-bit data take 16-bit lanes and the rest Singles.
template <typename T>
void Median3(const T* Src, T* Dst, int W, int H, std::atomic<bool>& Safe) {
  auto mn = [](T a, T b) { return b < a ? b : a; };
  auto mx = [](T a, T b) { return a < b ? b : a; };
  const bool avx2 = Processor::AVX2();
  ForRows(1, H - 1, [&](int ya, int yb) {
    if constexpr (std::is_same_v<T, float>) {
      // From the first row that is not 16-bit data on, in Singles.
      if (avx2) ya = Median3RowsU16(Src, Dst, W, ya, yb);
      if (ya == yb) return;
    }
    std::vector<T> lo(static_cast<std::size_t>(W)), mid(static_cast<std::size_t>(W)), hi(static_cast<std::size_t>(W));
    if (!RankSafeRow(Src + std::size_t(ya - 1) * W, 2 * W)) Safe = false;
    if constexpr (std::is_same_v<T, float>) {
      if (avx2) {
        for (int y = ya; y < yb && Safe; ++y) {
          const T* a = Src + std::size_t(y - 1) * W;
          if (!Median3RowAVX2(a, a + W, a + 2 * W, lo.data(), mid.data(), hi.data(), Dst + std::size_t(y) * W, W))
            Safe = false;
        }
        return;
      }
    }
    for (int y = ya; y < yb && Safe; ++y) {
      if (!RankSafeRow(Src + std::size_t(y + 1) * W, W)) Safe = false;
      const T* a = Src + std::size_t(y - 1) * W;
      const T* b = a + W;
      const T* c = b + W;
      for (int x = 0; x < W; ++x) {
        const T p = mn(a[x], b[x]), q = mx(a[x], b[x]);
        const T r = mn(q, c[x]);
        lo[x] = mn(p, c[x]);
        hi[x] = mx(q, c[x]);
        mid[x] = mx(p, r);
      }
      T* out = Dst + std::size_t(y) * W;
      for (int x = 1; x < W - 1; ++x) {
        const T l = mx(mx(lo[x - 1], lo[x]), lo[x + 1]);
        const T h = mn(mn(hi[x - 1], hi[x]), hi[x + 1]);
        const T m0 = mid[x - 1], m1 = mid[x], m2 = mid[x + 1];
        const T m = mx(mn(m0, m1), mn(mx(m0, m1), m2));
        out[x] = mx(mn(l, m), mn(mx(l, m), h));
      }
    }
  }, Parallel::MinItemsPerPart(W));
}

// ---- selection networks on AVX2 registers ----

#define CORVELLE_AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline

// Whole numbers 0..65535 in 16-bit lanes, and other rank-safe Singles.
struct TLanesU16 {
  using E = std::uint16_t;
  using V = __m256i;
  static constexpr int Lanes = 16;
  CORVELLE_AVX2_INLINE static V Load(const E* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
  CORVELLE_AVX2_INLINE static void Store(E* p, V v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
  CORVELLE_AVX2_INLINE static V Min(V a, V b) { return _mm256_min_epu16(a, b); }
  CORVELLE_AVX2_INLINE static V Max(V a, V b) { return _mm256_max_epu16(a, b); }
  // The lanes as Singles at Out[0 .. Lanes - 1].
  CORVELLE_AVX2_INLINE static void Put(float* Out, V v) {
    _mm256_storeu_ps(Out, _mm256_cvtepi32_ps(_mm256_cvtepu16_epi32(_mm256_castsi256_si128(v))));
    _mm256_storeu_ps(Out + 8, _mm256_cvtepi32_ps(_mm256_cvtepu16_epi32(_mm256_extracti128_si256(v, 1))));
  }
};

struct TLanesF32 {
  using E = float;
  using V = __m256;
  static constexpr int Lanes = 8;
  CORVELLE_AVX2_INLINE static V Load(const E* p) { return _mm256_loadu_ps(p); }
  CORVELLE_AVX2_INLINE static void Store(E* p, V v) { _mm256_storeu_ps(p, v); }
  CORVELLE_AVX2_INLINE static V Min(V a, V b) { return _mm256_min_ps(a, b); }
  CORVELLE_AVX2_INLINE static V Max(V a, V b) { return _mm256_max_ps(a, b); }
};

template <typename X, TOp Op>
CORVELLE_AVX2_INLINE void Exchange(typename X::V* v) {
  if constexpr (Op.Kind == 0) {
    const auto a = v[Op.A], b = v[Op.B];
    v[Op.A] = X::Min(a, b);
    v[Op.B] = X::Max(a, b);
  } else if constexpr (Op.Kind == 1) {
    v[Op.A] = X::Min(v[Op.A], v[Op.B]);
  } else {
    v[Op.B] = X::Max(v[Op.A], v[Op.B]);
  }
}

template <typename X, const auto& Ops, std::size_t... I>
CORVELLE_AVX2_INLINE void RunAVX2(typename X::V* v, std::index_sequence<I...>) {
  (Exchange<X, Ops[I]>(v), ...);
}

template <int N>
constexpr TNetwork ColumnNetwork() {
  std::vector<int> all(static_cast<std::size_t>(N));
  for (int r = 0; r < N; ++r) all[static_cast<std::size_t>(r)] = r;
  return BuildNetwork(N, [](int, int) { return false; }, all);
}

template <int N>
constexpr std::size_t kColumnOpCount = ColumnNetwork<N>().Ops.size();

template <int N>
constexpr std::array<TOp, kColumnOpCount<N>> MakeColumnOps() {
  std::array<TOp, kColumnOpCount<N>> a{};
  const TNetwork net = ColumnNetwork<N>();
  for (std::size_t i = 0; i < a.size(); ++i) a[i] = net.Ops[i];
  return a;
}

template <int N>
constexpr std::array<int, N> MakeColumnOut() {
  std::array<int, N> a{};
  const TNetwork net = ColumnNetwork<N>();
  for (std::size_t i = 0; i < a.size(); ++i) a[i] = net.Out[i];
  return a;
}

template <int N>
constexpr auto kColumnOps = MakeColumnOps<N>();

template <int N>
constexpr auto kColumnOut = MakeColumnOut<N>();

// ---- the 5 x 5 median on AVX2 ----
//
// The two windows of an even pixel x and the odd one after it share the four
// columns x - 1 .. x + 2. Ranks 7..12 of those 20 values, found once for both
// pixels, hold each median: adding the five values of the fifth column
// (x - 2 for the even pixel, x + 3 for the odd one) to them, the median of the
// 25 is rank 5 of the 11. So each row is split into its even and odd columns,
// the columns are sorted once, and a register of pixel pairs takes one network
// over the shared columns and two short merges.

// Ranks 7..12 of four sorted columns of five (slot c * 5 + r holds rank r of
// column c).
constexpr TNetwork Shared5Network() {
  std::vector<int> ranks;
  for (int r = 7; r <= 12; ++r) ranks.push_back(r);
  return BuildNetwork(20, TWindowLe{5}, ranks);
}

constexpr std::size_t kShared5OpCount = Shared5Network().Ops.size();

constexpr std::array<TOp, kShared5OpCount> MakeShared5Ops() {
  std::array<TOp, kShared5OpCount> a{};
  const TNetwork net = Shared5Network();
  for (std::size_t i = 0; i < a.size(); ++i) a[i] = net.Ops[i];
  return a;
}

constexpr std::array<int, 6> MakeShared5Out() {
  std::array<int, 6> a{};
  const TNetwork net = Shared5Network();
  for (std::size_t i = 0; i < a.size(); ++i) a[i] = net.Out[i];
  return a;
}

constexpr auto kShared5Ops = MakeShared5Ops();
constexpr auto kShared5Out = MakeShared5Out();

// Pixels 0 .. W - 1 of a row into its even columns (Even[k] = pixel 2k) and
// its odd ones (Odd[k] = pixel 2k + 1) as 16-bit values; false when any is
// not a whole number in 0..65535 (-0.0 and NaN included).
__attribute__((target("avx2"))) bool SplitRowU16(const float* Src, std::uint16_t* Even, std::uint16_t* Odd, int W) {
  const __m256i high = _mm256_set1_epi32(~0xFFFF), order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
  __m256i bad = _mm256_setzero_si256(), ints = _mm256_setzero_si256();
  int x = 0;
  for (; x + 32 <= W; x += 32) {
    __m256 f[4];
    for (int k = 0; k < 4; ++k) {
      const __m256 v = _mm256_loadu_ps(Src + x + 8 * k);
      const __m256i i = _mm256_cvttps_epi32(v);
      // A whole number comes back with its own bits; -0.0, NaN and fractions do not.
      bad = _mm256_or_si256(bad, _mm256_xor_si256(_mm256_castps_si256(_mm256_cvtepi32_ps(i)), _mm256_castps_si256(v)));
      ints = _mm256_or_si256(ints, i);
      f[k] = _mm256_castsi256_ps(i);
    }
    // Pixels 0 2 8 10 | 4 6 12 14 of each 16, packed and put in order.
    const __m256i e0 = _mm256_castps_si256(_mm256_shuffle_ps(f[0], f[1], 0x88));
    const __m256i e1 = _mm256_castps_si256(_mm256_shuffle_ps(f[2], f[3], 0x88));
    const __m256i o0 = _mm256_castps_si256(_mm256_shuffle_ps(f[0], f[1], 0xDD));
    const __m256i o1 = _mm256_castps_si256(_mm256_shuffle_ps(f[2], f[3], 0xDD));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(Even + x / 2),
                        _mm256_permutevar8x32_epi32(_mm256_packus_epi32(e0, e1), order));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(Odd + x / 2),
                        _mm256_permutevar8x32_epi32(_mm256_packus_epi32(o0, o1), order));
  }
  const __m256i spoilt = _mm256_or_si256(bad, _mm256_and_si256(ints, high));
  bool ok = _mm256_testz_si256(spoilt, spoilt);
  std::uint16_t* even = Even + x / 2;
  std::uint16_t* odd = Odd + x / 2;
  for (; x < W; ++x) {
    const float v = Src[x];
    ok &= v >= 0.0f && v <= 65535.0f && !std::signbit(v);
    const std::uint16_t u = ok ? std::uint16_t(v) : 0;
    ok &= float(u) == v;
    *(x & 1 ? odd++ : even++) = u;
  }
  return ok;
}

// The same for Singles, kept as they are; false when any is -0.0 or a NaN.
__attribute__((target("avx2"))) bool SplitRowF32(const float* Src, float* Even, float* Odd, int W) {
  const __m256i negZero = _mm256_set1_epi32(INT32_MIN), magnitude = _mm256_set1_epi32(0x7FFFFFFF),
                inf = _mm256_set1_epi32(0x7F800000);
  __m256i bad = _mm256_setzero_si256();
  int x = 0;
  for (; x + 16 <= W; x += 16) {
    const __m256 v0 = _mm256_loadu_ps(Src + x), v1 = _mm256_loadu_ps(Src + x + 8);
    const __m256i u0 = _mm256_castps_si256(v0), u1 = _mm256_castps_si256(v1);
    bad = _mm256_or_si256(bad, _mm256_or_si256(_mm256_cmpeq_epi32(u0, negZero), _mm256_cmpeq_epi32(u1, negZero)));
    bad = _mm256_or_si256(bad, _mm256_or_si256(_mm256_cmpgt_epi32(_mm256_and_si256(u0, magnitude), inf),
                                               _mm256_cmpgt_epi32(_mm256_and_si256(u1, magnitude), inf)));
    // Pixels 0 2 8 10 | 4 6 12 14, then in order by pairs.
    const __m256d e = _mm256_castps_pd(_mm256_shuffle_ps(v0, v1, 0x88));
    const __m256d o = _mm256_castps_pd(_mm256_shuffle_ps(v0, v1, 0xDD));
    _mm256_storeu_ps(Even + x / 2, _mm256_castpd_ps(_mm256_permute4x64_pd(e, 0xD8)));
    _mm256_storeu_ps(Odd + x / 2, _mm256_castpd_ps(_mm256_permute4x64_pd(o, 0xD8)));
  }
  bool ok = _mm256_testz_si256(bad, bad);
  float* even = Even + x / 2;
  float* odd = Odd + x / 2;
  for (; x < W; ++x) {
    std::int32_t u;
    std::memcpy(&u, Src + x, 4);
    ok &= !((u == INT32_MIN) | ((u & 0x7FFFFFFF) > 0x7F800000));
    *(x & 1 ? odd++ : even++) = Src[x];
  }
  return ok;
}

// Even and odd pixels k = 0 .. Lanes - 1 back in pixel order at Out.
__attribute__((target("avx2"), always_inline)) inline void Interleave(__m256i e, __m256i o, std::uint16_t* Out) {
  const __m256i lo = _mm256_unpacklo_epi16(e, o), hi = _mm256_unpackhi_epi16(e, o);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(Out), _mm256_permute2x128_si256(lo, hi, 0x20));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(Out + 16), _mm256_permute2x128_si256(lo, hi, 0x31));
}

__attribute__((target("avx2"), always_inline)) inline void Interleave(__m256 e, __m256 o, float* Out) {
  const __m256 lo = _mm256_unpacklo_ps(e, o), hi = _mm256_unpackhi_ps(e, o);
  _mm256_storeu_ps(Out, _mm256_permute2f128_ps(lo, hi, 0x20));
  _mm256_storeu_ps(Out + 8, _mm256_permute2f128_ps(lo, hi, 0x31));
}

// Pixels of a finished row as Singles.
__attribute__((target("avx2"))) void PutRow(const std::uint16_t* Row, float* Out, int N) {
  int x = 0;
  for (; x + 16 <= N; x += 16) TLanesU16::Put(Out + x, TLanesU16::Load(Row + x));
  for (; x < N; ++x) Out[x] = float(Row[x]);
}

void PutRow(const float* Row, float* Out, int N) { std::memcpy(Out, Row, sizeof(float) * std::size_t(N)); }

// Rank 5 of the six sorted a (ranks 7..12 of the shared columns) and the
// five sorted b: the smallest of max(a[i - 1], b[5 - i]) over i = 1..6.
template <typename X>
CORVELLE_AVX2_INLINE typename X::V Merge5(const typename X::V* v, const typename X::V (&b)[5]) {
  using V = typename X::V;
  V m = v[kShared5Out[5]];
  for (int i = 1; i <= 5; ++i) m = X::Min(m, X::Max(v[kShared5Out[i - 1]], b[5 - i]));
  return m;
}

// The buffers of one run of rows: a ring of the five source rows in use and
// their sorted columns, each as even and odd halves of Stride values (zero
// beyond the row, so that the last register of a row reads defined values),
// and the output row.
template <typename X>
struct TMedian5Rows {
  using E = typename X::E;
  int W, Stride;
  std::vector<E> Ring, Sorted, Out;
  explicit TMedian5Rows(int Width)
      : W(Width),
        Stride(((Width + 1) / 2 / X::Lanes + 2) * X::Lanes),
        Ring(std::size_t(10) * std::size_t(Stride)),
        Sorted(std::size_t(10) * std::size_t(Stride)),
        Out(std::size_t(2) * std::size_t(Stride)) {}
  E* Even(int Row) { return Ring.data() + std::size_t(Row % 5) * 2 * Stride; }
  E* Odd(int Row) { return Even(Row) + Stride; }
  bool Split(const float* Src, int Row);
};

template <>
bool TMedian5Rows<TLanesU16>::Split(const float* Src, int Row) {
  return SplitRowU16(Src + std::size_t(Row) * W, Even(Row), Odd(Row), W);
}

template <>
bool TMedian5Rows<TLanesF32>::Split(const float* Src, int Row) {
  return SplitRowF32(Src + std::size_t(Row) * W, Even(Row), Odd(Row), W);
}

// Output pixels 2 .. W - 3 of row Y into R.Out, from the ring's rows Y - 2 .. Y + 2.
template <typename X>
__attribute__((target("avx2"))) void Median5Row(TMedian5Rows<X>& R, int Y) {
  using V = typename X::V;
  using E = typename X::E;
  constexpr int L = X::Lanes;
  const std::size_t s = std::size_t(R.Stride);
  E* sorted = R.Sorted.data();  // rank r of even column k at r * s + k, of odd column k at (5 + r) * s + k
  for (int half = 0; half < 2; ++half) {
    const E* rows[5];
    for (int r = 0; r < 5; ++r) rows[r] = half ? R.Odd(Y - 2 + r) : R.Even(Y - 2 + r);
    E* out = sorted + std::size_t(half) * 5 * s;
    for (std::size_t k = 0; k < s; k += L) {
      V v[5];
      for (int r = 0; r < 5; ++r) v[r] = X::Load(rows[r] + k);
      RunAVX2<X, kColumnOps<5>>(v, std::make_index_sequence<kColumnOpCount<5>>{});
      for (int r = 0; r < 5; ++r) X::Store(out + r * s + k, v[kColumnOut<5>[r]]);
    }
  }
  const E* even = sorted;
  const E* odd = sorted + 5 * s;
  // Pixel pairs (2m, 2m + 1), m = m0 .. m0 + L - 1; shared columns 2m - 1,
  // 2m, 2m + 1, 2m + 2 are odd m - 1, even m, odd m, even m + 1.
  for (int m0 = 1; 2 * m0 <= R.W - 3; m0 += L) {
    V v[20];
    for (int r = 0; r < 5; ++r) {
      v[r] = X::Load(odd + r * s + m0 - 1);
      v[5 + r] = X::Load(even + r * s + m0);
      v[10 + r] = X::Load(odd + r * s + m0);
      v[15 + r] = X::Load(even + r * s + m0 + 1);
    }
    RunAVX2<X, kShared5Ops>(v, std::make_index_sequence<kShared5OpCount>{});
    V b[5], c[5];
    for (int r = 0; r < 5; ++r) {
      b[r] = X::Load(even + r * s + m0 - 1);
      c[r] = X::Load(odd + r * s + m0 + 1);
    }
    Interleave(Merge5<X>(v, b), Merge5<X>(v, c), R.Out.data() + 2 * m0);
  }
}

// Output rows Y0 .. Y1 - 1 of the 5 x 5 median on 16-bit lanes while the rows
// read hold whole numbers in 0..65535; returns the first row not done.
int Median5RowsU16(const float* Src, float* Dst, int W, int Y0, int Y1) {
  TMedian5Rows<TLanesU16> rows(W);
  for (int r = Y0 - 2; r < Y0 + 2; ++r)
    if (!rows.Split(Src, r)) return Y0;
  for (int y = Y0; y < Y1; ++y) {
    if (!rows.Split(Src, y + 2)) return y;
    Median5Row(rows, y);
    PutRow(rows.Out.data() + 2, Dst + std::size_t(y) * W + 2, W - 4);
  }
  return Y1;
}

// The same on Singles; a row holding -0.0 or a NaN clears Safe.
void Median5RowsF32(const float* Src, float* Dst, int W, int Y0, int Y1, std::atomic<bool>& Safe) {
  TMedian5Rows<TLanesF32> rows(W);
  for (int r = Y0 - 2; r < Y0 + 2; ++r)
    if (!rows.Split(Src, r)) Safe = false;
  for (int y = Y0; y < Y1 && Safe; ++y) {
    if (!rows.Split(Src, y + 2)) {
      Safe = false;
      break;
    }
    Median5Row(rows, y);
    PutRow(rows.Out.data() + 2, Dst + std::size_t(y) * W + 2, W - 4);
  }
}

// The 5 x 5 median of Singles on AVX2: 16-bit lanes for rows of 16-bit data
// (as the 3 x 3 median decides), Singles from the first row that is not.
void Median5AVX2(const float* Src, float* Dst, int W, int H, std::atomic<bool>& Safe) {
  ForRows(2, H - 2, [&](int ya, int yb) {
    ya = Median5RowsU16(Src, Dst, W, ya, yb);
    if (ya < yb) Median5RowsF32(Src, Dst, W, ya, yb, Safe);
  }, Parallel::MinItemsPerPart(std::int64_t(W) * 5));
}

// Beyond this side the window network takes too long to build (and for
// sides above 255 its slots no longer fit its 16-bit indices).
constexpr int kLargestNetworkSide = 31;

// The median of larger windows by selection: with rank-safe values the
// middle value is one bit pattern, whichever way it is found.
template <typename T>
void MedianSelect(int N, const T* Src, T* Dst, int W, int H, std::atomic<bool>& Safe) {
  const int h = N / 2;
  if (W <= 2 * h || H <= 2 * h) return;
  ForRows(h, H - h, [&](int ya, int yb) {
    std::vector<T> buf(std::size_t(N) * N);
    const auto middle = buf.begin() + std::ptrdiff_t(N) * N / 2;
    if (!RankSafeRow(Src + std::size_t(ya - h) * W, (N - 1) * W)) Safe = false;
    for (int y = ya; y < yb && Safe; ++y) {
      if (!RankSafeRow(Src + std::size_t(y + h) * W, W)) Safe = false;
      for (int x = h; x < W - h; ++x) {
        for (int r = 0; r < N; ++r)
          std::memcpy(&buf[std::size_t(r) * N], Src + std::size_t(y - h + r) * W + x - h, sizeof(T) * N);
        std::nth_element(buf.begin(), middle, buf.end());
        Dst[std::size_t(y) * W + x] = *middle;
      }
    }
  });
}

// Rows are written as they come; a row that fails the rank test clears Safe,
// and the caller then runs the plain algorithm over the whole interior.
template <typename T>
void MedianNetwork(int N, const T* Src, T* Dst, int W, int H, std::atomic<bool>& Safe) {
  const int h = N / 2;
  if (N == 3) {
    if (W > 2 && H > 2) Median3(Src, Dst, W, H, Safe);
    return;
  }
  if (N > kLargestNetworkSide) {
    MedianSelect(N, Src, Dst, W, H, Safe);
    return;
  }
  if (W <= 2 * h || H <= 2 * h) return;
  if constexpr (std::is_same_v<T, float>) {
    if (N == 5 && Processor::AVX2()) {
      Median5AVX2(Src, Dst, W, H, Safe);
      return;
    }
  }
  const TMedianNets& nets = MedianNets(N);
  ForRows(h, H - h, [&](int ya, int yb) {
    std::vector<T> cols(std::size_t(N) * W);           // rows y-h..y+h, sorted down each column
    std::vector<T> win(std::size_t(N) * N * kLanes);  // the window slots of kLanes pixels
    if (!RankSafeRow(Src + std::size_t(ya - h) * W, (N - 1) * W)) Safe = false;
    for (int y = ya; y < yb && Safe; ++y) {
      if (!RankSafeRow(Src + std::size_t(y + h) * W, W)) Safe = false;
      for (int r = 0; r < N; ++r) std::memcpy(&cols[std::size_t(r) * W], Src + std::size_t(y - h + r) * W, sizeof(T) * W);
      RunOps(nets.Column.Ops, cols.data(), W, W);
      T* out = Dst + std::size_t(y) * W;
      int start = h;
      if (N == 5) start = WindowStatic<5>(cols.data(), nets.Column.Out.data(), out, W, h, W - h);
      if (N == 7) start = WindowStatic<7>(cols.data(), nets.Column.Out.data(), out, W, h, W - h);
      for (int x0 = start; x0 < W - h; x0 += kLanes) {
        const int lanes = std::min(kLanes, W - h - x0);
        for (int c = 0; c < N; ++c)
          for (int r = 0; r < N; ++r)
            std::memcpy(&win[std::size_t(c * N + r) * kLanes], &cols[std::size_t(nets.Column.Out[r]) * W + x0 - h + c],
                        sizeof(T) * lanes);
        RunOps(nets.Window.Ops, win.data(), kLanes, lanes);
        std::memcpy(out + x0, &win[std::size_t(nets.Window.Out[0]) * kLanes], sizeof(T) * lanes);
      }
    }
  });
}

template <typename T>
void MedianInsertion(int N, const T* Src, T* Dst, int W, int H) {
  const int h = N / 2;
  if (W <= 2 * h || H <= 2 * h) return;
  ForRows(h, H - h, [&](int ya, int yb) {
    std::vector<T> buf(std::size_t(N) * N);
    for (int y = ya; y < yb; ++y)
      for (int x = h; x < W - h; ++x) {
        int k = 0;
        for (int dy = -h; dy <= h; ++dy)
          for (int dx = -h; dx <= h; ++dx) {
            const T v = Src[std::size_t(y + dy) * W + x + dx];
            int j = k++;
            while (j > 0 && buf[j - 1] > v) {
              buf[j] = buf[j - 1];
              --j;
            }
            buf[j] = v;
          }
        Dst[std::size_t(y) * W + x] = buf[N * N / 2];
      }
  });
}

template <typename T>
void MinMaxPlainT(int Mode, int N, const T* Src, T* Dst, int W, int H, T MinSeed, T MaxSeed) {
  const int h = N / 2;
  if (W <= 2 * h || H <= 2 * h) return;
  ForRows(h, H - h, [&](int ya, int yb) {
    for (int y = ya; y < yb; ++y)
      for (int x = h; x < W - h; ++x) {
        T m = Mode == 0 ? MinSeed : MaxSeed;
        for (int dy = -h; dy <= h; ++dy)
          for (int dx = -h; dx <= h; ++dx) {
            const T v = Src[std::size_t(y + dy) * W + x + dx];
            if (Mode == 0 ? v < m : v > m) m = v;
          }
        Dst[std::size_t(y) * W + x] = m;
      }
  });
}

template <typename T, bool IsMin, int NC>
void MinMaxRows(int N, const T* Src, T* Dst, int W, int ya, int yb, T Seed, std::atomic<bool>& Safe) {
  if constexpr (NC > 0) N = NC;
  const int h = N / 2;
  auto op = [](T a, T b) { return IsMin ? (b < a ? b : a) : (a < b ? b : a); };
  std::vector<T> ring(std::size_t(N) * W);
  auto rowPass = [&](int r) {
    const T* __restrict s = Src + std::size_t(r) * W;
    if (!RankSafeRow(s, W)) Safe = false;
    T* __restrict d = &ring[std::size_t(r % N) * W];
    for (int x = h; x < W - h; ++x) {
      T m = s[x - h];
      for (int dx = 1; dx < N; ++dx) m = op(m, s[x - h + dx]);
      d[x] = m;
    }
  };
  for (int r = ya - h; r < ya + h; ++r) rowPass(r);
  const T* rows[64];
  for (int y = ya; y < yb && Safe; ++y) {
    rowPass(y + h);
    for (int dy = 0; dy < N; ++dy) rows[dy] = &ring[std::size_t((y - h + dy) % N) * W];
    T* __restrict out = Dst + std::size_t(y) * W;
    for (int x = h; x < W - h; ++x) {
      T m = rows[0][x];
      for (int dy = 1; dy < N; ++dy) m = op(m, rows[dy][x]);
      out[x] = op(m, Seed);  // the seed takes part in the search
    }
  }
}

// Minimum or maximum of every n x n window, separably: a row pass into a ring
// of n rows, then a column pass over the ring.
template <typename T, bool IsMin>
void MinMaxSeparable(int N, const T* Src, T* Dst, int W, int H, T Seed, std::atomic<bool>& Safe) {
  const int h = N / 2;
  if (W <= 2 * h || H <= 2 * h) return;
  if (N > 64) {  // beyond the ring's row table: the plain search
    MinMaxPlainT<T>(IsMin ? 0 : 1, N, Src, Dst, W, H, IsMin ? Seed : T(), IsMin ? T() : Seed);
    return;
  }
  ForRows(h, H - h, [&](int ya, int yb) {
    switch (N) {
      case 3: MinMaxRows<T, IsMin, 3>(N, Src, Dst, W, ya, yb, Seed, Safe); break;
      case 5: MinMaxRows<T, IsMin, 5>(N, Src, Dst, W, ya, yb, Seed, Safe); break;
      case 7: MinMaxRows<T, IsMin, 7>(N, Src, Dst, W, ya, yb, Seed, Safe); break;
      default: MinMaxRows<T, IsMin, 0>(N, Src, Dst, W, ya, yb, Seed, Safe); break;
    }
  });
}


constexpr TKernel3 kSobelX{{-1, 0, 1, -2, 0, 2, -1, 0, 1}, 1};
constexpr TKernel3 kSobelY{{-1, -2, -1, 0, 0, 0, 1, 2, 1}, 1};

inline float ClampWhite(long double q, float White) {
  if (q < 0) return 0.0f;
  if (q > White) return White;
  return float(q);
}

// One output row of the fixed kernel and of the Sobel magnitude, in extended precision.
// Four neighbouring pixels at a time, each summed in its own order, so that
// the extended additions of one overlap those of the next.
__attribute__((noinline)) void Convolve3x3PlainRow(const TKernel3& K, const float* Src, float* Dst, int W, int y,
                                                   float White) {
  long double w[9];
  for (int t = 0; t < 9; ++t) w[t] = K.W[t];
  int x = 1;
  for (; x + 3 < W - 1; x += 4) {
    long double s0 = 0, s1 = 0, s2 = 0, s3 = 0;
    for (int dy = -1; dy <= 1; ++dy) {
      const float* r = Src + std::size_t(y + dy) * W + x;
      for (int dx = -1; dx <= 1; ++dx) {
        const long double k = w[(dy + 1) * 3 + dx + 1];
        s0 += k * r[dx];
        s1 += k * r[dx + 1];
        s2 += k * r[dx + 2];
        s3 += k * r[dx + 3];
      }
    }
    float* out = Dst + std::size_t(y) * W + x;
    out[0] = ClampWhite(s0 / K.Divisor, White);
    out[1] = ClampWhite(s1 / K.Divisor, White);
    out[2] = ClampWhite(s2 / K.Divisor, White);
    out[3] = ClampWhite(s3 / K.Divisor, White);
  }
  for (; x < W - 1; ++x) {
    long double s = 0;
    for (int dy = -1; dy <= 1; ++dy) {
      const float* r = Src + std::size_t(y + dy) * W + x;
      for (int dx = -1; dx <= 1; ++dx) s += w[(dy + 1) * 3 + dx + 1] * r[dx];
    }
    Dst[std::size_t(y) * W + x] = ClampWhite(s / K.Divisor, White);
  }
}

void SobelPlainRow(const float* Src, float* Dst, int W, int y, float White) {
  for (int x = 1; x < W - 1; ++x) {
    long double gx = 0, gy = 0;
    for (int dy = -1; dy <= 1; ++dy) {
      const float* r = Src + std::size_t(y + dy) * W + x;
      for (int dx = -1; dx <= 1; ++dx) {
        gx += (long double)kSobelX.W[(dy + 1) * 3 + dx + 1] * r[dx];
        gy += (long double)kSobelY.W[(dy + 1) * 3 + dx + 1] * r[dx];
      }
    }
    Dst[std::size_t(y) * W + x] = ClampWhite(std::sqrt(gx * gx + gy * gy), White);
  }
}

}  // namespace

// ---- grey, plain ----

void Convolve3x3Plain(const TKernel3& K, const float* Src, float* Dst, int W, int H, float White) {
  if (W < 3 || H < 3) return;
  ForRows(1, H - 1, [&](int ya, int yb) {
    for (int y = ya; y < yb; ++y) Convolve3x3PlainRow(K, Src, Dst, W, y, White);
  });
}

void ConvolveFloat3x3Plain(const float (&Weights)[3][3], float Divisor, const float* Src, float* Dst, int W, int H,
                           float White) {
  if (W < 3 || H < 3) return;
  ForRows(1, H - 1, [&](int ya, int yb) {
    for (int y = ya; y < yb; ++y)
      for (int x = 1; x < W - 1; ++x) {
        long double s = 0;
        for (int dy = -1; dy <= 1; ++dy) {
          const float* r = Src + std::size_t(y + dy) * W + x;
          for (int dx = -1; dx <= 1; ++dx) s += (long double)Weights[dy + 1][dx + 1] * r[dx];
        }
        Dst[std::size_t(y) * W + x] = ClampWhite(s / Divisor, White);
      }
  });
}

void SobelPlain(const float* Src, float* Dst, int W, int H, float White) {
  if (W < 3 || H < 3) return;
  ForRows(1, H - 1, [&](int ya, int yb) {
    for (int y = ya; y < yb; ++y) SobelPlainRow(Src, Dst, W, y, White);
  });
}

// Four neighbouring windows at a time, each summed in its own order, so that
// the extended additions of one window overlap those of the next.
static __attribute__((noinline)) void MeanRowPlain(int N, const float* Src, float* Dst, int W, int y) {
  const int h = N / 2;
  const long double area = (long double)N * N;
  int x = h;
  for (; x + 3 < W - h; x += 4) {
    long double s0 = 0, s1 = 0, s2 = 0, s3 = 0;
    for (int dy = -h; dy <= h; ++dy) {
      const float* r = Src + std::size_t(y + dy) * W + x;
      for (int dx = -h; dx <= h; ++dx) {
        s0 += r[dx];
        s1 += r[dx + 1];
        s2 += r[dx + 2];
        s3 += r[dx + 3];
      }
    }
    float* out = Dst + std::size_t(y) * W + x;
    out[0] = float(s0 / area);
    out[1] = float(s1 / area);
    out[2] = float(s2 / area);
    out[3] = float(s3 / area);
  }
  for (; x < W - h; ++x) {
    long double s = 0;
    for (int dy = -h; dy <= h; ++dy) {
      const float* r = Src + std::size_t(y + dy) * W + x;
      for (int dx = -h; dx <= h; ++dx) s += r[dx];
    }
    Dst[std::size_t(y) * W + x] = float(s / area);
  }
}

void MeanPlain(int N, const float* Src, float* Dst, int W, int H) {
  const int h = N / 2;
  if (W <= 2 * h || H <= 2 * h) return;
  ForRows(h, H - h, [&](int ya, int yb) {
    for (int y = ya; y < yb; ++y) MeanRowPlain(N, Src, Dst, W, y);
  });
}

void MedianPlain(int N, const float* Src, float* Dst, int W, int H) { MedianInsertion(N, Src, Dst, W, H); }

void MinMaxPlain(int Mode, int N, const float* Src, float* Dst, int W, int H) {
  MinMaxPlainT<float>(Mode, N, Src, Dst, W, H, 2.0e32f, 0.0f);
}

// ---- grey, fast ----

// Out[x] = Single of Acc[x] clamped to [0, White] for x in [X0, X1): the
// packed maximum "q > 0 ? q : 0" turns a -0 sum into +0 as the extended
// sum from +0 would be; the packed minimum "White < q ? White : q".
inline void StoreClamped(const double* Acc, float* Out, int X0, int X1, float White) {
  const __m128d zero = _mm_setzero_pd(), white = _mm_set1_pd(White);
  int x = X0;
  for (; x + 2 <= X1; x += 2) {
    const __m128d q = _mm_min_pd(white, _mm_max_pd(_mm_loadu_pd(Acc + x), zero));
    _mm_storel_pi(reinterpret_cast<__m64*>(Out + x), _mm_cvtpd_ps(q));
  }
  for (; x < X1; ++x) {
    double q = Acc[x] > 0.0 ? Acc[x] : 0.0;
    Out[x] = float(double(White) < q ? double(White) : q);
  }
}

inline void StoreClamped(const float* Acc, float* Out, int X0, int X1, float White) {
  const __m128 zero = _mm_setzero_ps(), white = _mm_set1_ps(White);
  int x = X0;
  for (; x + 4 <= X1; x += 4) _mm_storeu_ps(Out + x, _mm_min_ps(white, _mm_max_ps(_mm_loadu_ps(Acc + x), zero)));
  for (; x < X1; ++x) {
    const float q = Acc[x] > 0.0f ? Acc[x] : 0.0f;
    Out[x] = White < q ? White : q;
  }
}

// One output row of a fixed kernel with sums in Acc (exact by the caller's
// test), clamped to [0, White].
template <typename Acc>
void Convolve3x3Row(const Acc (&w)[9], Acc d, const float* Src, float* Dst, int W, int y, float White, Acc* acc) {
  const float* a = Src + std::size_t(y - 1) * W;
  const float* b = a + W;
  const float* c = b + W;
  for (int x = 1; x < W - 1; ++x)
    acc[x] = ((w[0] * a[x - 1] + w[1] * a[x] + w[2] * a[x + 1]) + (w[3] * b[x - 1] + w[4] * b[x] + w[5] * b[x + 1])) +
             (w[6] * c[x - 1] + w[7] * c[x] + w[8] * c[x + 1]);
  if (d != Acc(1))
    for (int x = 1; x < W - 1; ++x) acc[x] /= d;
  StoreClamped(acc, Dst + std::size_t(y) * W, 1, W - 1, White);
}

// The same with the weights of a fixed kernel known while compiling: zero
// weights drop out and unit weights need no product.
template <typename Acc, int Code, std::size_t... T>
void Convolve3x3RowFixed(const float* Src, float* Dst, int W, int y, float White, Acc* acc,
                         std::index_sequence<T...>) {
  constexpr const TKernel3& k = kFixedKernels[Code - 1];
  const float* rows[3] = {Src + std::size_t(y - 1) * W, Src + std::size_t(y) * W, Src + std::size_t(y + 1) * W};
  auto term = [](auto wc, Acc v) -> Acc {
    constexpr int w = decltype(wc)::value;
    if constexpr (w == 1) return v;
    else if constexpr (w == -1) return -v;
    else return Acc(w) * v;
  };
  for (int x = 1; x < W - 1; ++x) {
    Acc s = Acc(0);
    ((k.W[T] != 0 ? (void)(s += term(std::integral_constant<int, k.W[T]>{}, Acc(rows[T / 3][x + int(T % 3) - 1])))
                  : (void)0),
     ...);
    acc[x] = s;
  }
  constexpr Acc d = Acc(k.Divisor);
  if constexpr (k.Divisor != 1)
    for (int x = 1; x < W - 1; ++x) acc[x] /= d;
  StoreClamped(acc, Dst + std::size_t(y) * W, 1, W - 1, White);
}

// A row of fixed kernel code Code (1..12), or false for another code.
template <typename Acc, int Code = 1>
bool FixedRow(int code, const float* Src, float* Dst, int W, int y, float White, Acc* acc) {
  if constexpr (Code > 12) {
    return false;
  } else {
    if (code == Code) {
      Convolve3x3RowFixed<Acc, Code>(Src, Dst, W, y, White, acc, std::make_index_sequence<9>{});
      return true;
    }
    return FixedRow<Acc, Code + 1>(code, Src, Dst, W, y, White, acc);
  }
}

// A row whose sums may round (values off every usable grid). The products are
// exact in double and the double sum lies within 8 units of its last place of
// the absolute sum A of the window from the exact one, as the extended sum does
// within 8 of its own: both quotients lie within
//   delta = A / d * 2^-49 + |q| * 2^-50
// of the double quotient q. Where q - delta and q + delta clamp and round to
// the same Single, that Single is the extended result; the few others are
// done in extended precision.
static void Convolve3x3RowFiltered(const TKernel3& K, const float* Src, float* Dst, int W, int y, float White, double* S,
                            double* A) {
  const float* rows[3] = {Src + std::size_t(y - 1) * W, Src + std::size_t(y) * W, Src + std::size_t(y + 1) * W};
  for (int x = 1; x < W - 1; ++x) S[x] = A[x] = 0.0;
  for (int t = 0; t < 9; ++t) {
    const double w = K.W[t], aw = std::abs(K.W[t]);
    if (w == 0) continue;
    const float* r = rows[t / 3] + (t % 3) - 1;
    for (int x = 1; x < W - 1; ++x) {
      const double v = r[x];
      S[x] += w * v;
      A[x] += aw * std::fabs(v);
    }
  }
  const double inv = 1.0 / K.Divisor;  // only scales the bound
  const __m128d zero = _mm_setzero_pd(), white = _mm_set1_pd(White), absMask = _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFFLL));
  const __m128d d = _mm_set1_pd(K.Divisor), fA = _mm_set1_pd(inv * 0x1p-49), fQ = _mm_set1_pd(0x1p-50);
  float* out = Dst + std::size_t(y) * W;
  int x = 1;
  for (; x + 2 <= W - 1; x += 2) {
    const __m128d q = _mm_div_pd(_mm_loadu_pd(S + x), d);
    const __m128d delta = _mm_add_pd(_mm_mul_pd(_mm_loadu_pd(A + x), fA), _mm_mul_pd(_mm_and_pd(q, absMask), fQ));
    const __m128 lo = _mm_cvtpd_ps(_mm_min_pd(white, _mm_max_pd(_mm_sub_pd(q, delta), zero)));
    const __m128 hi = _mm_cvtpd_ps(_mm_min_pd(white, _mm_max_pd(_mm_add_pd(q, delta), zero)));
    const int same = _mm_movemask_ps(_mm_cmpeq_ps(lo, hi)) & 3;
    float f[4];
    _mm_storeu_ps(f, lo);
    for (int k = 0; k < 2; ++k) {
      if (same & (1 << k)) {
        out[x + k] = f[k];
      } else {
        long double sum = 0;
        for (int t = 0; t < 9; ++t) sum += (long double)K.W[t] * rows[t / 3][x + k + (t % 3) - 1];
        out[x + k] = ClampWhite(sum / K.Divisor, White);
      }
    }
  }
  for (; x < W - 1; ++x) {
    long double sum = 0;
    for (int t = 0; t < 9; ++t) sum += (long double)K.W[t] * rows[t / 3][x + (t % 3) - 1];
    out[x] = ClampWhite(sum / K.Divisor, White);
  }
}

bool Convolve3x3Fast(const TKernel3& K, const float* Src, float* Dst, int W, int H, float White) {
  int code = 0;
  for (int c = 1; c <= 12 && !code; ++c) {
    bool same = K.Divisor == kFixedKernels[c - 1].Divisor;
    for (int t = 0; t < 9; ++t) same = same && K.W[t] == kFixedKernels[c - 1].W[t];
    if (same) code = c;
  }
  if (W < 3 || H < 3) return true;
  if (Processor::AVX2()) {
    const bool stream = FilterSums::StreamPlane(W, H);
    ForRows(1, H - 1, [&](int ya, int yb) {
      FilterSums::Convolve3x3RowsAVX2(K, Src, Dst, W, ya, yb, White, stream, Convolve3x3PlainRow);
    });
    return true;
  }
  long long absSum = 0;
  for (int w : K.W) absSum += std::abs(w);
  const std::uint32_t maxBits = MaxMagnitudeBits(Src, std::int64_t(W) * H);
  const TGrid single = MakeGrid(maxBits, absSum, 24), dbl = MakeGrid(maxBits, absSum, 53);
  if (!dbl.Finite) return false;
  // Where the three rows are on a grid every partial sum is exact, so the sums
  // agree with the extended ones, and so do their quotients by an odd divisor
  // once stored to a Single: in Singles where 24 bits hold them, otherwise in
  // doubles. Other rows take the plain way.
  float wf[9];
  double wd[9];
  for (int t = 0; t < 9; ++t) wf[t] = float(K.W[t]), wd[t] = K.W[t];
  ForRows(1, H - 1, [&](int ya, int yb) {
    std::vector<float> accf(static_cast<std::size_t>(W));
    std::vector<double> accd(static_cast<std::size_t>(W)), absd(static_cast<std::size_t>(W));
    auto level = [&](int r) {
      const float* row = Src + std::size_t(r) * W;
      return OnGrid(single, row, W) ? 2 : OnGrid(dbl, row, W) ? 1 : 0;
    };
    int on[3] = {0, 0, 0};
    on[(ya - 1) % 3] = level(ya - 1);
    on[ya % 3] = level(ya);
    for (int y = ya; y < yb; ++y) {
      on[(y + 1) % 3] = level(y + 1);
      const int lv = std::min(on[0], std::min(on[1], on[2]));
      if (lv == 2) {
        if (!FixedRow<float>(code, Src, Dst, W, y, White, accf.data()))
          Convolve3x3Row<float>(wf, float(K.Divisor), Src, Dst, W, y, White, accf.data());
      } else if (lv == 1) {
        if (!FixedRow<double>(code, Src, Dst, W, y, White, accd.data()))
          Convolve3x3Row<double>(wd, double(K.Divisor), Src, Dst, W, y, White, accd.data());
      } else {
        Convolve3x3RowFiltered(K, Src, Dst, W, y, White, accd.data(), absd.data());
      }
    }
  });
  return true;
}

bool Convolve3x3FastAtMax(const TKernel3& K, const float* Src, float* Dst, int W, int H, float& White) {
  if (!Processor::AVX2() || W < 10 || H < 3) return false;
  std::vector<FilterSums::TRowRange> ranges(static_cast<std::size_t>(H));
  float most = 0.0f;
  std::mutex m;
  ForRows(0, H, [&](int ya, int yb) {
    const float local = FilterSums::KernelRowRangesAVX2(K, Src, W, ya, yb, ranges.data());
    std::lock_guard<std::mutex> lock(m);
    if (most < local) most = local;
  });
  White = most;
  const bool stream = FilterSums::StreamPlane(W, H);
  ForRows(1, H - 1, [&](int ya, int yb) {
    FilterSums::Convolve3x3RowsAVX2(K, Src, Dst, W, ya, yb, most, stream, Convolve3x3PlainRow, ranges.data());
  });
  return true;
}

// The argument of the root is never negative: no errno to keep, so the root can be packed.
__attribute__((optimize("no-math-errno"))) bool SobelFast(const float* Src, float* Dst, int W, int H,
                                                          float White) {
  if (W < 3 || H < 3) return true;
  // Rows on the coarse grid: gx and gy exact, and gx^2 + gy^2 exact below
  // 2^51, where a double square root rounds to the same Single as an extended
  // one. Rows on the fine grid: gx and gy exact in double, the rest extended.
  // Other rows take the plain way.
  const std::uint32_t maxBits = MaxMagnitudeBits(Src, std::int64_t(W) * H);
  const TGrid fine = MakeGrid(maxBits, 4, 53), coarse = MakeGrid(maxBits, 4, 25);
  if (!fine.Finite) return false;
  const double white = White;
  const double whiteHigh = White * (1 + 0x1p-40), whiteLow = White * (1 - 0x1p-40);
  ForRows(1, H - 1, [&](int ya, int yb) {
    std::vector<double> mag(static_cast<std::size_t>(W));
    int on[3] = {0, 0, 0};  // 2: coarse grid, 1: fine grid, 0: neither
    auto level = [&](int r) {
      const float* row = Src + std::size_t(r) * W;
      return OnGrid(coarse, row, W) ? 2 : OnGrid(fine, row, W) ? 1 : 0;
    };
    on[(ya - 1) % 3] = level(ya - 1);
    on[ya % 3] = level(ya);
    for (int y = ya; y < yb; ++y) {
      on[(y + 1) % 3] = level(y + 1);
      const int lv = std::min(on[0], std::min(on[1], on[2]));
      if (lv == 0) {
        SobelPlainRow(Src, Dst, W, y, White);
        continue;
      }
      const float* a = Src + std::size_t(y - 1) * W;
      const float* b = a + W;
      const float* c = b + W;
      float* out = Dst + std::size_t(y) * W;
      if (lv == 2) {
        for (int x = 1; x < W - 1; ++x) {
          const double gx = (double(a[x + 1]) - a[x - 1]) + 2.0 * (double(b[x + 1]) - b[x - 1]) + (double(c[x + 1]) - c[x - 1]);
          const double gy = (double(c[x - 1]) - a[x - 1]) + 2.0 * (double(c[x]) - a[x]) + (double(c[x + 1]) - a[x + 1]);
          const double q = std::sqrt(gx * gx + gy * gy);
          out[x] = float(white < q ? white : q);
        }
      } else {
        // gx and gy are exact; the magnitude in double is within a few of its
        // last places of the extended one. Where it lies well clear of every
        // halfway point between Singles (and of the white level) both round
        // to the same Single; the few others are done in extended precision.
        for (int x = 1; x < W - 1; ++x) {
          const double gx = (double(a[x + 1]) - a[x - 1]) + 2.0 * (double(b[x + 1]) - b[x - 1]) + (double(c[x + 1]) - c[x - 1]);
          const double gy = (double(c[x - 1]) - a[x - 1]) + 2.0 * (double(c[x]) - a[x]) + (double(c[x + 1]) - a[x + 1]);
          mag[x] = std::sqrt(gx * gx + gy * gy);
        }
        for (int x = 1; x < W - 1; ++x) {
          const double q = mag[x];
          if (q > whiteHigh) {
            out[x] = White;
            continue;
          }
          const std::uint64_t bits = std::bit_cast<std::uint64_t>(q);
          const std::int64_t below = std::int64_t(bits & 0x1FFFFFFFu) - 0x10000000;  // places below a Single's, from halfway
          if (q < whiteLow && q >= 0x1p-100 && (below > 64 || below < -64)) {
            out[x] = float(q);
            continue;
          }
          if (q == 0) {
            out[x] = 0.0f;
            continue;
          }
          const long double gx =
              (double(a[x + 1]) - a[x - 1]) + 2.0 * (double(b[x + 1]) - b[x - 1]) + (double(c[x + 1]) - c[x - 1]);
          const long double gy = (double(c[x - 1]) - a[x - 1]) + 2.0 * (double(c[x]) - a[x]) + (double(c[x + 1]) - a[x + 1]);
          out[x] = ClampWhite(std::sqrt(gx * gx + gy * gy), White);
        }
      }
    }
  });
  return true;
}

// The mean with sliding sums in Acc, valid while every row read lies on Grid
// (then every sum is exact, whatever the order); false, stopping early, when a
// row does not.
template <typename Acc>
bool MeanSliding(int N, const float* Src, float* Dst, int W, int H, const TGrid& Grid) {
  const int h = N / 2;
  std::atomic<bool> exact{true};
  const Acc area = Acc(N) * Acc(N);
  ForRows(h, H - h, [&](int ya, int yb) {
    std::vector<Acc> col(static_cast<std::size_t>(W), Acc(0)), acc(static_cast<std::size_t>(W));
    if (!OnGrid(Grid, Src + std::size_t(ya - h) * W, N * W)) {
      exact = false;
      return;
    }
    for (int r = ya - h; r <= ya + h; ++r) {
      const float* s = Src + std::size_t(r) * W;
      for (int x = 0; x < W; ++x) col[x] += s[x];
    }
    for (int y = ya; y < yb && exact; ++y) {
      for (int x = h; x < W - h; ++x) acc[x] = col[x - h];
      for (int dx = 1; dx < N; ++dx)
        for (int x = h; x < W - h; ++x) acc[x] += col[x - h + dx];
      float* out = Dst + std::size_t(y) * W;
      for (int x = h; x < W - h; ++x) out[x] = float(acc[x] / area);
      if (y + 1 < yb) {
        const float* add = Src + std::size_t(y + h + 1) * W;
        const float* sub = Src + std::size_t(y - h) * W;
        if (!OnGrid(Grid, add, W)) exact = false;
        for (int x = 0; x < W; ++x) col[x] += Acc(add[x]) - Acc(sub[x]);
      }
    }
  });
  return exact;
}

bool MeanFast(int N, const float* Src, float* Dst, int W, int H) {
  const int h = N / 2;
  if (W <= 2 * h || H <= 2 * h) return true;
  if (Processor::AVX2()) {
    const bool stream = FilterSums::StreamPlane(W, H);
    ForRows(h, H - h, [&](int ya, int yb) { FilterSums::MeanRowsAVX2(N, Src, Dst, W, ya, yb, stream, MeanRowPlain); });
    return true;
  }
  const std::uint32_t maxBits = MaxMagnitudeBits(Src, std::int64_t(W) * H);
  const long long factor = (long long)(N + 1) * (N + 1);
  const TGrid single = MakeGrid(maxBits, factor, 24), dbl = MakeGrid(maxBits, factor, 53);
  if (!dbl.Finite) return false;
  // Sums exact in 24 bits: a Single quotient is the correctly rounded one,
  // as is the Single of the exact double quotient. Otherwise in double.
  if (MeanSliding<float>(N, Src, Dst, W, H, single)) return true;
  return MeanSliding<double>(N, Src, Dst, W, H, dbl);
}

bool MedianFast(int N, const float* Src, float* Dst, int W, int H) {
  std::atomic<bool> safe{true};
  MedianNetwork<float>(N, Src, Dst, W, H, safe);
  return safe;
}

bool MinMaxFast(int Mode, int N, const float* Src, float* Dst, int W, int H) {
  std::atomic<bool> safe{true};
  if (Mode == 0)
    MinMaxSeparable<float, true>(N, Src, Dst, W, H, 2.0e32f, safe);
  else
    MinMaxSeparable<float, false>(N, Src, Dst, W, H, 0.0f, safe);
  return safe;
}

// ---- bytes ----

void Convolve3x3Bytes(const TKernel3& K, const std::uint8_t* Src, std::uint8_t* Dst, int W, int H) {
  if (W < 3 || H < 3) return;
  ForRows(1, H - 1, [&](int ya, int yb) {
    std::vector<int> acc(static_cast<std::size_t>(W));
    for (int y = ya; y < yb; ++y) {
      std::fill(acc.begin(), acc.end(), 0);
      for (int t = 0; t < 9; ++t) {
        const int w = K.W[t];
        if (w == 0) continue;
        const std::uint8_t* r = Src + std::size_t(y + t / 3 - 1) * W + (t % 3 - 1);
        for (int x = 1; x < W - 1; ++x) acc[x] += w * int(r[x]);
      }
      std::uint8_t* out = Dst + std::size_t(y) * W;
      for (int x = 1; x < W - 1; ++x) {
        const int q = acc[x] / K.Divisor;  // truncates toward zero
        out[x] = std::uint8_t(q < 0 ? 0 : q > 255 ? 255 : q);
      }
    }
  });
}

void SobelBytes(const std::uint8_t* Src, std::uint8_t* Dst, int W, int H) {
  if (W < 3 || H < 3) return;
  ForRows(1, H - 1, [&](int ya, int yb) {
    for (int y = ya; y < yb; ++y) {
      const std::uint8_t* a = Src + std::size_t(y - 1) * W;
      const std::uint8_t* b = a + W;
      const std::uint8_t* c = b + W;
      std::uint8_t* out = Dst + std::size_t(y) * W;
      for (int x = 1; x < W - 1; ++x) {
        const int gx = (a[x + 1] - a[x - 1]) + 2 * (b[x + 1] - b[x - 1]) + (c[x + 1] - c[x - 1]);
        const int gy = (c[x - 1] - a[x - 1]) + 2 * (c[x] - a[x]) + (c[x + 1] - a[x + 1]);
        // The root of an integer is never a half: the double root rounds as the extended one.
        const double q = std::nearbyint(std::sqrt(double(gx * gx + gy * gy)));
        out[x] = std::uint8_t(q > 255 ? 255 : q);
      }
    }
  });
}

void MeanBytesPlain(int N, const std::uint8_t* Src, std::uint8_t* Dst, int W, int H) {
  const int h = N / 2;
  if (W <= 2 * h || H <= 2 * h) return;
  ForRows(h, H - h, [&](int ya, int yb) {
    for (int y = ya; y < yb; ++y)
      for (int x = h; x < W - h; ++x) {
        int s = 0;
        for (int dy = -h; dy <= h; ++dy)
          for (int dx = -h; dx <= h; ++dx) s += Src[std::size_t(y + dy) * W + x + dx];
        Dst[std::size_t(y) * W + x] = std::uint8_t(s / (N * N));
      }
  });
}

void MeanBytesFast(int N, const std::uint8_t* Src, std::uint8_t* Dst, int W, int H) {
  const int h = N / 2;
  if (W <= 2 * h || H <= 2 * h) return;
  const int area = N * N;
  ForRows(h, H - h, [&](int ya, int yb) {
    std::vector<int> col(std::size_t(W), 0);
    for (int r = ya - h; r <= ya + h; ++r) {
      const std::uint8_t* s = Src + std::size_t(r) * W;
      for (int x = 0; x < W; ++x) col[x] += s[x];
    }
    for (int y = ya; y < yb; ++y) {
      std::uint8_t* out = Dst + std::size_t(y) * W;
      int s = 0;
      for (int x = 0; x < N; ++x) s += col[x];
      for (int x = h; x < W - h; ++x) {
        out[x] = std::uint8_t(s / area);
        if (x + h + 1 < W) s += col[x + h + 1] - col[x - h];
      }
      if (y + 1 < yb) {
        const std::uint8_t* add = Src + std::size_t(y + h + 1) * W;
        const std::uint8_t* sub = Src + std::size_t(y - h) * W;
        for (int x = 0; x < W; ++x) col[x] += int(add[x]) - int(sub[x]);
      }
    }
  });
}

void MedianBytesPlain(int N, const std::uint8_t* Src, std::uint8_t* Dst, int W, int H) {
  MedianInsertion(N, Src, Dst, W, H);
}

void MedianBytesFast(int N, const std::uint8_t* Src, std::uint8_t* Dst, int W, int H) {
  std::atomic<bool> safe{true};
  MedianNetwork<std::uint8_t>(N, Src, Dst, W, H, safe);
}

void MinMaxBytesPlain(int Mode, int N, const std::uint8_t* Src, std::uint8_t* Dst, int W, int H) {
  MinMaxPlainT<std::uint8_t>(Mode, N, Src, Dst, W, H, 255, 0);
}

void MinMaxBytesFast(int Mode, int N, const std::uint8_t* Src, std::uint8_t* Dst, int W, int H) {
  std::atomic<bool> safe{true};
  if (Mode == 0)
    MinMaxSeparable<std::uint8_t, true>(N, Src, Dst, W, H, 255, safe);
  else
    MinMaxSeparable<std::uint8_t, false>(N, Src, Dst, W, H, 0, safe);
}

}  // namespace FilterPaths
