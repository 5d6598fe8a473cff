#include "engine/FilterPaths.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "engine/Checked.h"
#include "engine/Parallel.h"

namespace FilterPaths {
namespace {

// Runs Body(ya, yb) over output rows [Y0, Y1) split across threads.
template <typename F>
void ForRows(int Y0, int Y1, F&& Body) {
  if (Y1 <= Y0) return;
  Parallel::For(
      Y1 - Y0, [&](std::int64_t b, std::int64_t e) { Body(Y0 + int(b), Y0 + int(e)); }, 8);
}

// ---- exactness of double sums ----

// Where the nonzero values of a plane lie on the binary scale: every value is
// a multiple of 2^MinLsb and below 2^(MaxTop + 1) in magnitude.
struct TGrid {
  bool Finite = true;
  bool Zero = true;  // no nonzero value
  int MinLsb = INT_MAX;
  int MaxTop = INT_MIN;
};

TGrid ScanGrid(const float* P, std::int64_t N) {
  TGrid g;
  std::mutex m;
  Parallel::For(
      N,
      [&](std::int64_t b, std::int64_t e) {
        std::uint32_t orAll = 0;
        int minLsb = INT_MAX, maxExp = -1;
        for (std::int64_t i = b; i < e; ++i) {
          std::uint32_t u;
          std::memcpy(&u, P + i, 4);
          u &= 0x7FFFFFFFu;
          if (!u) continue;
          orAll |= u;
          const int ex = int(u >> 23);
          if (ex > maxExp) maxExp = ex;
          const std::uint32_t mant = ex ? ((u & 0x7FFFFFu) | 0x800000u) : (u & 0x7FFFFFu);
          const int lsb = (ex ? ex : 1) - 150 + __builtin_ctz(mant);
          if (lsb < minLsb) minLsb = lsb;
        }
        std::lock_guard<std::mutex> lock(m);
        if (!orAll) return;
        g.Zero = false;
        if (maxExp == 255) g.Finite = false;
        g.MinLsb = std::min(g.MinLsb, minLsb);
        // The highest set bit of the largest exponent's values.
        g.MaxTop = std::max(g.MaxTop, (maxExp ? maxExp : 1) - 127);
      },
      1 << 16);
  return g;
}

int CeilLog2(long long v) {
  int b = 0;
  while ((1LL << b) < v) ++b;
  return b;
}

// True when every sum of at most Factor values of the plane, each times an
// integer weight, is exact in a double of Limit bits.
bool ExactSums(const TGrid& g, long long Factor, int Limit) {
  if (!g.Finite) return false;
  if (g.Zero) return true;
  return g.MaxTop + 1 + CeilLog2(Factor) - g.MinLsb <= Limit;
}

// A rank filter picks one value; with no NaN and no negative zero that value
// has one bit pattern whatever the order of comparisons.
bool RankSafe(const float* P, std::int64_t N) {
  bool ok = true;
  std::mutex m;
  Parallel::For(
      N,
      [&](std::int64_t b, std::int64_t e) {
        bool bad = false;
        for (std::int64_t i = b; i < e; ++i) {
          std::uint32_t u;
          std::memcpy(&u, P + i, 4);
          bad |= (u == 0x80000000u) | ((u & 0x7FFFFFFFu) > 0x7F800000u);
        }
        if (bad) {
          std::lock_guard<std::mutex> lock(m);
          ok = false;
        }
      },
      1 << 16);
  return ok;
}

// ---- selection networks ----

struct TOp {
  std::uint16_t A, B;
  std::uint8_t Kind;  // 0: A = min, B = max; 1: only A = min; 2: only B = max
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
TNetwork BuildNetwork(int N, LeF&& Le, const std::vector<int>& Ranks) {
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

// The 3 x 3 median from sorted columns: the median of the largest low, the
// middle middle and the smallest high of three neighbouring columns.
template <typename T>
void Median3(const T* Src, T* Dst, int W, int H) {
  auto mn = [](T a, T b) { return b < a ? b : a; };
  auto mx = [](T a, T b) { return a < b ? b : a; };
  ForRows(1, H - 1, [&](int ya, int yb) {
    std::vector<T> lo(static_cast<std::size_t>(W)), mid(static_cast<std::size_t>(W)), hi(static_cast<std::size_t>(W));
    for (int y = ya; y < yb; ++y) {
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
  });
}

template <typename T>
void MedianNetwork(int N, const T* Src, T* Dst, int W, int H) {
  const int h = N / 2;
  if (N == 3) {
    if (W > 2 && H > 2) Median3(Src, Dst, W, H);
    return;
  }
  if (W <= 2 * h || H <= 2 * h) return;
  const TMedianNets& nets = MedianNets(N);
  ForRows(h, H - h, [&](int ya, int yb) {
    std::vector<T> cols(std::size_t(N) * W);           // rows y-h..y+h, sorted down each column
    std::vector<T> win(std::size_t(N) * N * kLanes);  // the window slots of kLanes pixels
    for (int y = ya; y < yb; ++y) {
      for (int r = 0; r < N; ++r) std::memcpy(&cols[std::size_t(r) * W], Src + std::size_t(y - h + r) * W, sizeof(T) * W);
      RunOps(nets.Column.Ops, cols.data(), W, W);
      T* out = Dst + std::size_t(y) * W;
      for (int x0 = h; x0 < W - h; x0 += kLanes) {
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

// Minimum or maximum of every n x n window, separably: a row pass into a ring
// of n rows, then a column pass over the ring.
template <typename T, bool IsMin>
void MinMaxSeparable(int N, const T* Src, T* Dst, int W, int H, T Seed) {
  const int h = N / 2;
  if (W <= 2 * h || H <= 2 * h) return;
  auto op = [](T a, T b) { return IsMin ? (b < a ? b : a) : (a < b ? b : a); };
  ForRows(h, H - h, [&](int ya, int yb) {
    std::vector<T> ring(std::size_t(N) * W);
    auto rowPass = [&](int r) {
      const T* s = Src + std::size_t(r) * W;
      T* d = &ring[std::size_t(r % N) * W];
      for (int x = h; x < W - h; ++x) d[x] = s[x - h];
      for (int dx = 1; dx < N; ++dx)
        for (int x = h; x < W - h; ++x) d[x] = op(d[x], s[x - h + dx]);
    };
    for (int r = ya - h; r < ya + h; ++r) rowPass(r);
    for (int y = ya; y < yb; ++y) {
      rowPass(y + h);
      T* out = Dst + std::size_t(y) * W;
      const T* first = &ring[std::size_t((y - h) % N) * W];
      for (int x = h; x < W - h; ++x) out[x] = first[x];
      for (int dy = 1; dy < N; ++dy) {
        const T* s = &ring[std::size_t((y - h + dy) % N) * W];
        for (int x = h; x < W - h; ++x) out[x] = op(out[x], s[x]);
      }
      // The seed takes part in the search.
      for (int x = h; x < W - h; ++x) out[x] = op(out[x], Seed);
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

constexpr TKernel3 kSobelX{{-1, 0, 1, -2, 0, 2, -1, 0, 1}, 1};
constexpr TKernel3 kSobelY{{-1, -2, -1, 0, 0, 0, 1, 2, 1}, 1};

inline float ClampWhite(long double q, float White) {
  if (q < 0) return 0.0f;
  if (q > White) return White;
  return float(q);
}

}  // namespace

// ---- grey, plain ----

void Convolve3x3Plain(const TKernel3& K, const float* Src, float* Dst, int W, int H, float White) {
  if (W < 3 || H < 3) return;
  ForRows(1, H - 1, [&](int ya, int yb) {
    for (int y = ya; y < yb; ++y)
      for (int x = 1; x < W - 1; ++x) {
        long double s = 0;
        for (int dy = -1; dy <= 1; ++dy) {
          const float* r = Src + std::size_t(y + dy) * W + x;
          for (int dx = -1; dx <= 1; ++dx) s += (long double)K.W[(dy + 1) * 3 + dx + 1] * r[dx];
        }
        Dst[std::size_t(y) * W + x] = ClampWhite(s / K.Divisor, White);
      }
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
    for (int y = ya; y < yb; ++y)
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
  });
}

void MeanPlain(int N, const float* Src, float* Dst, int W, int H) {
  const int h = N / 2;
  if (W <= 2 * h || H <= 2 * h) return;
  const long double area = (long double)N * N;
  ForRows(h, H - h, [&](int ya, int yb) {
    for (int y = ya; y < yb; ++y)
      for (int x = h; x < W - h; ++x) {
        long double s = 0;
        for (int dy = -h; dy <= h; ++dy) {
          const float* r = Src + std::size_t(y + dy) * W + x;
          for (int dx = -h; dx <= h; ++dx) s += r[dx];
        }
        Dst[std::size_t(y) * W + x] = float(s / area);
      }
  });
}

void MedianPlain(int N, const float* Src, float* Dst, int W, int H) { MedianInsertion(N, Src, Dst, W, H); }

void MinMaxPlain(int Mode, int N, const float* Src, float* Dst, int W, int H) {
  MinMaxPlainT<float>(Mode, N, Src, Dst, W, H, 2.0e32f, 0.0f);
}

// ---- grey, fast ----

bool Convolve3x3Fast(const TKernel3& K, const float* Src, float* Dst, int W, int H, float White) {
  if (W < 3 || H < 3) return true;
  long long absSum = 0;
  for (int w : K.W) absSum += std::abs(w);
  if (!ExactSums(ScanGrid(Src, std::int64_t(W) * H), std::max(1LL, absSum), 53)) return false;
  // With every partial sum exact, double and extended sums agree, and so do
  // their quotients by an odd divisor once stored to a Single.
  const double d = K.Divisor;
  double w[9];
  for (int t = 0; t < 9; ++t) w[t] = K.W[t];
  ForRows(1, H - 1, [&](int ya, int yb) {
    for (int y = ya; y < yb; ++y) {
      const float* a = Src + std::size_t(y - 1) * W;
      const float* b = a + W;
      const float* c = b + W;
      float* out = Dst + std::size_t(y) * W;
      for (int x = 1; x < W - 1; ++x) {
        const double s = ((w[0] * a[x - 1] + w[1] * a[x] + w[2] * a[x + 1]) +
                          (w[3] * b[x - 1] + w[4] * b[x] + w[5] * b[x + 1])) +
                         (w[6] * c[x - 1] + w[7] * c[x] + w[8] * c[x + 1]);
        const double q = s / d;
        // Not "q < 0": a sum of signed zeros may be -0 here, never in extended from +0.
        out[x] = q > 0 ? (q > White ? White : float(q)) : 0.0f;
      }
    }
  });
  return true;
}

bool SobelFast(const float* Src, float* Dst, int W, int H, float White) {
  if (W < 3 || H < 3) return true;
  // gx and gy must be exact, and gx^2 + gy^2 exact below 2^51, where a double
  // square root rounds to the same Single as an extended one.
  if (!ExactSums(ScanGrid(Src, std::int64_t(W) * H), 4, 25)) return false;
  ForRows(1, H - 1, [&](int ya, int yb) {
    for (int y = ya; y < yb; ++y) {
      const float* a = Src + std::size_t(y - 1) * W;
      const float* b = a + W;
      const float* c = b + W;
      float* out = Dst + std::size_t(y) * W;
      for (int x = 1; x < W - 1; ++x) {
        const double gx = (double(a[x + 1]) - a[x - 1]) + 2.0 * (double(b[x + 1]) - b[x - 1]) + (double(c[x + 1]) - c[x - 1]);
        const double gy = (double(c[x - 1]) - a[x - 1]) + 2.0 * (double(c[x]) - a[x]) + (double(c[x + 1]) - a[x + 1]);
        const double q = std::sqrt(gx * gx + gy * gy);
        out[x] = q > White ? White : float(q);
      }
    }
  });
  return true;
}

bool MeanFast(int N, const float* Src, float* Dst, int W, int H) {
  const int h = N / 2;
  if (W <= 2 * h || H <= 2 * h) return true;
  if (!ExactSums(ScanGrid(Src, std::int64_t(W) * H), (long long)(N + 1) * (N + 1), 53)) return false;
  const double area = double(N) * N;
  ForRows(h, H - h, [&](int ya, int yb) {
    std::vector<double> col(std::size_t(W), 0.0);
    for (int r = ya - h; r <= ya + h; ++r) {
      const float* s = Src + std::size_t(r) * W;
      for (int x = 0; x < W; ++x) col[x] += s[x];
    }
    for (int y = ya; y < yb; ++y) {
      float* out = Dst + std::size_t(y) * W;
      double s = 0;
      for (int x = 0; x < N; ++x) s += col[x];
      for (int x = h; x < W - h; ++x) {
        out[x] = float(s / area);
        if (x + h + 1 < W) s += col[x + h + 1] - col[x - h];
      }
      if (y + 1 < yb) {
        const float* add = Src + std::size_t(y + h + 1) * W;
        const float* sub = Src + std::size_t(y - h) * W;
        for (int x = 0; x < W; ++x) col[x] += double(add[x]) - double(sub[x]);
      }
    }
  });
  return true;
}

bool MedianFast(int N, const float* Src, float* Dst, int W, int H) {
  if (!RankSafe(Src, std::int64_t(W) * H)) return false;
  MedianNetwork<float>(N, Src, Dst, W, H);
  return true;
}

bool MinMaxFast(int Mode, int N, const float* Src, float* Dst, int W, int H) {
  if (!RankSafe(Src, std::int64_t(W) * H)) return false;
  if (Mode == 0)
    MinMaxSeparable<float, true>(N, Src, Dst, W, H, 2.0e32f);
  else
    MinMaxSeparable<float, false>(N, Src, Dst, W, H, 0.0f);
  return true;
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
  MedianNetwork<std::uint8_t>(N, Src, Dst, W, H);
}

void MinMaxBytesPlain(int Mode, int N, const std::uint8_t* Src, std::uint8_t* Dst, int W, int H) {
  MinMaxPlainT<std::uint8_t>(Mode, N, Src, Dst, W, H, 255, 0);
}

void MinMaxBytesFast(int Mode, int N, const std::uint8_t* Src, std::uint8_t* Dst, int W, int H) {
  if (Mode == 0)
    MinMaxSeparable<std::uint8_t, true>(N, Src, Dst, W, H, 255);
  else
    MinMaxSeparable<std::uint8_t, false>(N, Src, Dst, W, H, 0);
}

void ConvolveFloat3x3Bytes(const float (&Weights)[3][3], float Divisor, const std::uint8_t* Src, std::uint8_t* Dst,
                           int W, int H) {
  if (W < 3 || H < 3) return;
  // Serial: an overflow of the Single sum stops the filter at that pixel.
  for (int y = 1; y < H - 1; ++y)
    for (int x = 1; x < W - 1; ++x) {
      float s = 0.0f;  // a Single running sum
      for (int dy = -1; dy <= 1; ++dy) {
        const std::uint8_t* r = Src + std::size_t(y + dy) * W + x;
        for (int dx = -1; dx <= 1; ++dx) s = Checked::ToSingle(s + (long double)Weights[dy + 1][dx + 1] * r[dx]);
      }
      long double q = s / (long double)Divisor;
      if (q < 0) q = 0;
      if (q > 255) q = 255;
      Dst[std::size_t(y) * W + x] = std::uint8_t(std::nearbyint(q));
    }
}

}  // namespace FilterPaths
