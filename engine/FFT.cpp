#include "engine/FFT.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <mutex>
#include <new>
#include <vector>

#include "engine/Parallel.h"

// The block kernel passes 32-byte vectors between inlined helpers only.
#pragma GCC diagnostic ignored "-Wpsabi"

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
    slot = std::move(t);
  }
  return *slot;
}

bool PowerOfTwoSide(int n) { return n >= 1 && n <= (1 << MaxBits) && std::has_single_bit(unsigned(n)); }

int Log2(int n) { return std::countr_zero(unsigned(n)); }

// ---------------------------------------------------------------- block kernel
//
// Lanes lines are transformed in lockstep: the work buffer holds entry k of
// line l at [k * Lanes + l], real and imaginary parts apart. Every lane does
// exactly the operations of the one-line transform.

constexpr int Lanes = 8;
typedef float V8F __attribute__((vector_size(32)));
typedef double V4D __attribute__((vector_size(32)));
typedef long long V4I __attribute__((vector_size(32)));
typedef float V4F __attribute__((vector_size(16)));

struct TBlock {
  std::vector<float> Re, Im;
  explicit TBlock(int n) : Re(std::size_t(n) * Lanes), Im(std::size_t(n) * Lanes) {}
};

inline __attribute__((always_inline)) V8F Load(const float* p) {
  V8F v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline __attribute__((always_inline)) void Store(float* p, V8F v) { std::memcpy(p, &v, sizeof v); }

inline __attribute__((always_inline)) V4I Suspicious(V4D d) {
  V4I b;
  std::memcpy(&b, &d, sizeof b);
  const V4I a = b & 0x7FFFFFFFFFFFFFFFll;
  // (a - 1) compared unsigned: the Single subnormal range, zero excluded.
  typedef unsigned long long V4U __attribute__((vector_size(32)));
  const V4U am1 = (V4U)(a - 1);
  return ((b & 0x1FFFFFFFll) == 0x10000000ll) | (V4I)(am1 < 0x380FFFFFFFFFFFFFull);
}

inline __attribute__((always_inline)) bool Any(V4I m) {
  return (m[0] | m[1] | m[2] | m[3]) != 0;
}

// One butterfly for all lanes: t := u * x[j]; x[j] := x[i] - t; x[i] := x[i] + t.
inline __attribute__((always_inline)) void Butterfly(float* re, float* im, std::size_t i, std::size_t j, float ur,
                                                       float ui) {
  const V8F fr = Load(re + j * Lanes), fi = Load(im + j * Lanes);
  const V4F frl = {fr[0], fr[1], fr[2], fr[3]}, frh = {fr[4], fr[5], fr[6], fr[7]};
  const V4F fil = {fi[0], fi[1], fi[2], fi[3]}, fih = {fi[4], fi[5], fi[6], fi[7]};
  const V4D drl = __builtin_convertvector(frl, V4D), drh = __builtin_convertvector(frh, V4D);
  const V4D dil = __builtin_convertvector(fil, V4D), dih = __builtin_convertvector(fih, V4D);
  const double dur = ur, dui = ui;
  const V4D trl = dur * drl - dui * dil, trh = dur * drh - dui * dih;
  const V4D til = dur * dil + dui * drl, tih = dur * dih + dui * drh;
  const V4F rl = __builtin_convertvector(trl, V4F), rh = __builtin_convertvector(trh, V4F);
  const V4F il = __builtin_convertvector(til, V4F), ih = __builtin_convertvector(tih, V4F);
  V8F tr = {rl[0], rl[1], rl[2], rl[3], rh[0], rh[1], rh[2], rh[3]};
  V8F ti = {il[0], il[1], il[2], il[3], ih[0], ih[1], ih[2], ih[3]};
  if (__builtin_expect(Any(Suspicious(trl) | Suspicious(trh) | Suspicious(til) | Suspicious(tih)), 0)) {
    for (int l = 0; l < Lanes; ++l) {
      tr[l] = float((long double)ur * fr[l] - (long double)ui * fi[l]);
      ti[l] = float((long double)ur * fi[l] + (long double)ui * fr[l]);
    }
  }
  const V8F xr = Load(re + i * Lanes), xi = Load(im + i * Lanes);
  Store(re + j * Lanes, xr - tr);
  Store(im + j * Lanes, xi - ti);
  Store(re + i * Lanes, xr + tr);
  Store(im + i * Lanes, xi + ti);
}

// The stages of the transform on a block whose entries are already in
// bit-reversed order. Within a stage the butterflies touch disjoint pairs, so
// visiting blocks before groups gives the same values as the group order.
template <int Dummy>
inline __attribute__((always_inline)) void StagesImpl(float* re, float* im, int n, const TTwiddles& tw) {
  const float* ure = tw.Re.data();
  const float* uim = tw.Im.data();
  for (int step = 1; step < n; step *= 2) {
    const float* sr = ure + (step - 1);
    const float* si = uim + (step - 1);
    for (int base = 0; base < n; base += 2 * step) {
      for (int m = 0; m < step; ++m) {
        Butterfly(re, im, std::size_t(base + m), std::size_t(base + m + step), sr[m], si[m]);
      }
    }
  }
}

__attribute__((target("avx2"))) void StagesAVX2(float* re, float* im, int n, const TTwiddles& tw) {
  StagesImpl<0>(re, im, n, tw);
}
void StagesBase(float* re, float* im, int n, const TTwiddles& tw) { StagesImpl<1>(re, im, n, tw); }

void Stages(float* re, float* im, int n, const TTwiddles& tw) {
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (avx2) {
    StagesAVX2(re, im, n, tw);
  } else {
    StagesBase(re, im, n, tw);
  }
}

// Bit-reversed positions of an n-point line.
std::vector<int> Reversal(int bits) {
  const int n = 1 << bits;
  std::vector<int> r(static_cast<std::size_t>(n));
  for (int k = 0; k < n; ++k) r[k] = TDataImage::BitReverse(k, bits);
  return r;
}

inline bool Finite(float v) { return std::isfinite(v); }

// One pass over all lines of the plane. Lines are `Count` lines of `n`
// points; Load(block, first, lanes, rev) fills a block, Save(block, first,
// lanes) writes it back and returns false on a value beyond the Single range.
template <class TLoad, class TSave>
bool Pass(int Count, int n, bool Forward, TLoad&& LoadBlock, TSave&& SaveBlock) {
  const int bits = Log2(n);
  const TTwiddles& tw = TwiddlesFor(Forward, bits);
  const std::vector<int> rev = Reversal(bits);
  const float scale = Forward ? 1.0f : float(1.0L / n);
  const std::int64_t blocks = (Count + Lanes - 1) / Lanes;
  std::atomic<bool> ok{true};
  Parallel::For(
      blocks,
      [&](std::int64_t b0, std::int64_t b1) {
        TBlock block(n);
        for (std::int64_t b = b0; b < b1 && ok.load(std::memory_order_relaxed); ++b) {
          const int first = int(b * Lanes);
          const int lanes = std::min(Lanes, Count - first);
          LoadBlock(block, first, lanes, rev);
          Stages(block.Re.data(), block.Im.data(), n, tw);
          if (!Forward) {
            for (std::size_t k = 0; k < block.Re.size(); ++k) {
              block.Re[k] *= scale;
              block.Im[k] *= scale;
            }
          }
          if (!SaveBlock(block, first, lanes)) ok = false;
        }
      },
      2);
  return ok;
}

}  // namespace

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
  return img.Pixels && img.HasComplex && img.ComplexPlane && PowerOfTwoSide(img.Width) &&
         PowerOfTwoSide(img.Height) && img.ComplexCount() >= img.PixelCount();
}

// Rows of the complex plane in, rows out (the inverse row pass and, with a
// real source, the forward one).
template <class TRow>
bool RowPass(TDataImage& img, bool Forward, TRow&& ReadEntry) {
  const int w = img.Width, h = img.Height;
  TComplex* plane = img.ComplexPlane;
  return Pass(
      h, w, Forward,
      [&](TBlock& blk, int first, int lanes, const std::vector<int>& rev) {
        float* re = blk.Re.data();
        float* im = blk.Im.data();
        if (lanes < Lanes) {
          std::fill(blk.Re.begin(), blk.Re.end(), 0.0f);
          std::fill(blk.Im.begin(), blk.Im.end(), 0.0f);
        }
        for (int l = 0; l < lanes; ++l) {
          const std::size_t row = std::size_t(first + l) * w;
          for (int x = 0; x < w; ++x) {
            const TComplex c = ReadEntry(row + x);
            const std::size_t at = std::size_t(rev[x]) * Lanes + l;
            re[at] = c.Re;
            im[at] = c.Im;
          }
        }
      },
      [&](TBlock& blk, int first, int lanes) {
        bool finite = true;
        for (int l = 0; l < lanes; ++l) {
          TComplex* row = plane + std::size_t(first + l) * w;
          for (int x = 0; x < w; ++x) {
            const std::size_t at = std::size_t(x) * Lanes + l;
            row[x].Re = blk.Re[at];
            row[x].Im = blk.Im[at];
            finite &= Finite(blk.Re[at]) & Finite(blk.Im[at]);
          }
        }
        return finite;
      });
}

// Columns of the complex plane, written back to the plane or (the inverse)
// their real parts to the pixels.
bool ColumnPass(TDataImage& img, bool Forward) {
  const int w = img.Width, h = img.Height;
  TComplex* plane = img.ComplexPlane;
  float* pixels = img.Pixels;
  return Pass(
      w, h, Forward,
      [&](TBlock& blk, int first, int lanes, const std::vector<int>& rev) {
        float* re = blk.Re.data();
        float* im = blk.Im.data();
        for (int y = 0; y < h; ++y) {
          const TComplex* src = plane + std::size_t(y) * w + first;
          float* r = re + std::size_t(rev[y]) * Lanes;
          float* i = im + std::size_t(rev[y]) * Lanes;
          int l = 0;
          for (; l < lanes; ++l) {
            r[l] = src[l].Re;
            i[l] = src[l].Im;
          }
          for (; l < Lanes; ++l) r[l] = i[l] = 0.0f;
        }
      },
      [&](TBlock& blk, int first, int lanes) {
        bool finite = true;
        for (int y = 0; y < h; ++y) {
          const float* r = blk.Re.data() + std::size_t(y) * Lanes;
          const float* i = blk.Im.data() + std::size_t(y) * Lanes;
          for (int l = 0; l < lanes; ++l) finite &= Finite(r[l]) & Finite(i[l]);
          if (Forward) {
            TComplex* dst = plane + std::size_t(y) * w + first;
            for (int l = 0; l < lanes; ++l) dst[l] = TComplex{r[l], i[l]};
          } else {
            float* dst = pixels + std::size_t(y) * w + first;
            for (int l = 0; l < lanes; ++l) dst[l] = r[l];
          }
        }
        return finite;
      });
}

}  // namespace

bool TDataImage::FFT() {
  if (!Transformable(*this)) return false;
  try {
    const float* pixels = Pixels;
    if (!RowPass(*this, true, [&](std::size_t at) { return TComplex{pixels[at], 0.0f}; })) return false;
    return ColumnPass(*this, true);
  } catch (...) {
    return false;
  }
}

bool TDataImage::InverseFFT() {
  if (!Transformable(*this)) return false;
  try {
    const TComplex* plane = ComplexPlane;
    if (!RowPass(*this, false, [&](std::size_t at) { return plane[at]; })) return false;
    return ColumnPass(*this, false);
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
                                            int& PaddedHeight) {
  try {
    const int w = Image.Width, h = Image.Height;
    if (w <= 0 || h <= 0 || !Image.Pixels) return nullptr;
    const int pw = NextPowerOfTwo(w), ph = NextPowerOfTwo(h);
    auto padded = std::make_unique<TDataImage>();
    if (!padded->Allocate(pw, ph, 3, false) || !padded->Pixels) return nullptr;

    const float* src = Image.Pixels;
    float s = 0.0f;
    for (int y = 0; y < h; ++y) {
      s = float((long double)s + src[std::size_t(y) * w] + src[std::size_t(y) * w + (w - 1)]);
    }
    for (int x = 0; x < w; ++x) {
      s = float((long double)s + src[x] + src[std::size_t(h - 1) * w + x]);
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
    return nullptr;
  }
}
