#include "engine/FFT.h"

#include <emmintrin.h>
#include <fftw3.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <tuple>

#include "engine/Checked.h"
#include "engine/Errors.h"
#include "engine/Parallel.h"

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

bool PowerOfTwoSide(int n) { return n >= 1 && n <= (1 << MaxBits) && std::has_single_bit(unsigned(n)); }

}  // namespace

bool TransformableSide(int N) { return PowerOfTwoSide(N); }

int HalfSpectrumWidth(int W) { return W / 2 + 1; }

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

// ---------------------------------------------------------------- point-wise passes
//
// SSE2 belongs to every x86-64 processor, so these need no other path.

namespace {

inline int NonFinite4(__m128 v) {
  const __m128i e = _mm_set1_epi32(0x7F800000);
  return _mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(_mm_castps_si128(v), e), e));
}

inline bool NonFinite(float v) { return (~std::bit_cast<std::uint32_t>(v) & 0x7F800000u) == 0; }

// The two doubles whose Single rounding may differ from the extended value's,
// as FFTRounding::NeedsExtended tells them: a Single midpoint (low 29 bits 1
// followed by zeros, a test on the low halves only) or the Single subnormal range.
inline int NeedsExtended2(__m128d d) {
  const __m128i low = _mm_and_si128(_mm_castpd_si128(d), _mm_set_epi32(0, 0x1FFFFFFF, 0, 0x1FFFFFFF));
  const int mid = _mm_movemask_epi8(_mm_cmpeq_epi32(low, _mm_set_epi32(-1, 0x10000000, -1, 0x10000000)));
  const __m128d a = _mm_and_pd(d, _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFFll)));
  const __m128d tiny = _mm_and_pd(_mm_cmplt_pd(a, _mm_set1_pd(0x1p-126)), _mm_cmpgt_pd(a, _mm_setzero_pd()));
  return mid | _mm_movemask_pd(tiny);
}

// One complex product x * f (x * conj(f)) in double: both products of each
// part are exact, the sum is rounded once, as ProductSum / ProductDifference do.
inline __m128d Product1(__m128d x, __m128d f, __m128d sign) {
  const __m128d cc = _mm_unpacklo_pd(f, f), dd = _mm_unpackhi_pd(f, f);
  const __m128d p = _mm_mul_pd(x, cc);                                // (a c, b c)
  const __m128d q = _mm_mul_pd(_mm_shuffle_pd(x, x, 1), dd);          // (b d, a d)
  return _mm_add_pd(p, _mm_xor_pd(q, sign));  // (a c -+ b d, b c +- a d)
}

inline TComplex Product(const TComplex& x, const TComplex& y, bool Conjugate) {
  return Conjugate ? ConjugateProduct(x, y) : ComplexProduct(x, y);
}

// False when one of Count floats is beyond the Single range.
bool Finite(const float* P, int Count) {
  int bad = 0, k = 0;
  for (; k + 4 <= Count; k += 4) bad |= NonFinite4(_mm_loadu_ps(P + k));
  for (; k < Count; ++k) bad |= NonFinite(P[k]);
  return bad == 0;
}

// Dst[k] := Src[k] * Scale for Count floats, false when a value is beyond the Single range.
bool ScaleFinite(float* Dst, const float* Src, int Count, float Scale) {
  const __m128 f = _mm_set1_ps(Scale);
  int bad = 0, k = 0;
  for (; k + 4 <= Count; k += 4) {
    const __m128 v = _mm_mul_ps(_mm_loadu_ps(Src + k), f);
    bad |= NonFinite4(v);
    _mm_storeu_ps(Dst + k, v);
  }
  for (; k < Count; ++k) {
    Dst[k] = Src[k] * Scale;
    bad |= NonFinite(Dst[k]);
  }
  return bad == 0;
}

}  // namespace

bool MultiplySpectra(TComplex* Dst, const TComplex* A, const TComplex* F, std::size_t Count, bool Conjugate) {
  const __m128d sign = Conjugate ? _mm_set_pd(-0.0, 0.0) : _mm_set_pd(0.0, -0.0);
  int bad = 0;
  std::size_t k = 0;
  for (; k + 2 <= Count; k += 2) {
    const __m128 x = _mm_loadu_ps(reinterpret_cast<const float*>(A + k));
    const __m128 f = _mm_loadu_ps(reinterpret_cast<const float*>(F + k));
    const __m128d lo = Product1(_mm_cvtps_pd(x), _mm_cvtps_pd(f), sign);
    const __m128d hi = Product1(_mm_cvtps_pd(_mm_movehl_ps(x, x)), _mm_cvtps_pd(_mm_movehl_ps(f, f)), sign);
    const __m128 r = _mm_movelh_ps(_mm_cvtpd_ps(lo), _mm_cvtpd_ps(hi));
    if (__builtin_expect(NeedsExtended2(lo) | NeedsExtended2(hi), 0)) {
      // Rare: redo both in extended where needed.
      const TComplex x0 = A[k], x1 = A[k + 1];
      Dst[k] = Product(x0, F[k], Conjugate);
      Dst[k + 1] = Product(x1, F[k + 1], Conjugate);
      bad |= NonFinite(Dst[k].Re) | NonFinite(Dst[k].Im) | NonFinite(Dst[k + 1].Re) | NonFinite(Dst[k + 1].Im);
      continue;
    }
    bad |= NonFinite4(r);
    _mm_storeu_ps(reinterpret_cast<float*>(Dst + k), r);
  }
  for (; k < Count; ++k) {
    Dst[k] = Product(A[k], F[k], Conjugate);
    bad |= NonFinite(Dst[k].Re) | NonFinite(Dst[k].Im);
  }
  return bad == 0;
}

// ---------------------------------------------------------------- plans

namespace {

// Work arrays from FFTW's allocator: a plan runs on any array of the
// alignment it was made for, and these all have the allocator's. Each thread
// keeps its own, grown as needed, so a pass allocates nothing.
class TScratch {
 public:
  explicit TScratch(std::size_t Floats) : P(fftwf_alloc_real(std::max<std::size_t>(Floats, 4))) {
    if (!P) throw std::bad_alloc();
  }
  ~TScratch() { fftwf_free(P); }
  TScratch(const TScratch&) = delete;
  TScratch& operator=(const TScratch&) = delete;
  float* Real() const { return P; }
  fftwf_complex* Complex() const { return reinterpret_cast<fftwf_complex*>(P); }

 private:
  float* P;
};

float* ThreadScratch(int Slot, std::size_t Floats) {
  thread_local std::unique_ptr<TScratch> buffers[2];
  thread_local std::size_t sizes[2] = {0, 0};
  if (sizes[Slot] < Floats) {
    buffers[Slot].reset();
    sizes[Slot] = 0;
    buffers[Slot] = std::make_unique<TScratch>(Floats);
    sizes[Slot] = Floats;
  }
  return buffers[Slot]->Real();
}

bool Aligned(const void* P) { return fftwf_alignment_of(static_cast<float*>(const_cast<void*>(P))) == 0; }

enum TKind { RealForward, RealInverse, ComplexForward, ComplexInverse };

// Plans are made once per shape and kept for the life of the program. The
// planner is not thread-safe (the plans are), hence the lock. FFTW_ESTIMATE
// chooses by the shape and the processor alone, never by timings, so every
// run on one machine takes the same plan, and so computes the same bits. (It
// would take a measured plan from wisdom in the process; the program loads none.)
// Complex plans transform Lanes lines in place, entry k of line l at k * Lanes + l.
fftwf_plan PlanFor(TKind Kind, int N, int Lanes) {
  static std::mutex lock;
  // Never destroyed: a plan may be wanted until the last moment of the program.
  static auto& plans = *new std::map<std::tuple<int, int, int>, fftwf_plan>;
  const std::lock_guard<std::mutex> guard(lock);
  const auto key = std::make_tuple(int(Kind), N, Lanes);
  if (const auto it = plans.find(key); it != plans.end()) return it->second;
  fftwf_plan plan = nullptr;
  const std::size_t half = 2 * std::size_t(N / 2 + 1);
  if (Kind == RealForward) {
    TScratch in{std::size_t(N)}, out{half};
    plan = fftwf_plan_dft_r2c_1d(N, in.Real(), out.Complex(), FFTW_ESTIMATE);
  } else if (Kind == RealInverse) {
    TScratch in{half}, out{std::size_t(N)};
    plan = fftwf_plan_dft_c2r_1d(N, in.Complex(), out.Real(), FFTW_ESTIMATE | FFTW_DESTROY_INPUT);
  } else {
    TScratch buffer{2 * std::size_t(N) * std::size_t(Lanes)};
    const int n[1] = {N};
    plan = fftwf_plan_many_dft(1, n, Lanes, buffer.Complex(), nullptr, Lanes, 1, buffer.Complex(), nullptr, Lanes, 1,
                               Kind == ComplexForward ? FFTW_FORWARD : FFTW_BACKWARD, FFTW_ESTIMATE);
  }
  if (!plan) throw std::bad_alloc();
  plans.emplace(key, plan);
  return plan;
}

// Rows per part of a row pass: parts of fewer points cost more to hand out
// than they save.
std::int64_t RowsPerPart(int W) { return std::max<std::int64_t>(1, 32768 / std::max(W, 1)); }

// Columns transformed together: a block is gathered a row at a time, 16
// values (two cache lines) from each row.
constexpr int ColumnLanes = 16;

// The blocks of a pass down columns 0 .. Count - 1 of an H-row plane. A block
// holds its columns as separate lines, each transformed alone with the plan
// for H points. Stride keeps the lines from sharing cache sets, and every
// line on the 64-byte alignment of the buffer the plans were made on.
struct TBlocks {
  int H, Count, Stride;
  std::int64_t Number;
  fftwf_plan Plan;
  TBlocks(int Height, int Columns, int Direction)
      : H(Height),
        Count(Columns),
        Stride((Height + 15) / 8 * 8),
        Number((Columns + ColumnLanes - 1) / ColumnLanes),
        Plan(Direction ? PlanFor(Direction > 0 ? ComplexForward : ComplexInverse, Height, 1) : nullptr) {}
  int First(std::int64_t k) const { return int(k * ColumnLanes); }
  int Lanes(std::int64_t k) const { return std::min(ColumnLanes, Count - First(k)); }
  std::size_t BufferFloats() const { return 2 * std::size_t(Stride) * ColumnLanes; }
  // Where line l of block k starts in a TSpectrumFactor.
  std::size_t FactorAt(std::int64_t k, int l) const { return (std::size_t(First(k)) + std::size_t(l)) * std::size_t(H); }
  void Transform(std::int64_t k, TComplex* Block) const {
    for (int l = 0; l < Lanes(k); ++l) {
      auto* line = reinterpret_cast<fftwf_complex*>(Block + std::size_t(l) * Stride);
      fftwf_execute_dft(Plan, line, line);
    }
  }
};

// Block k of the plane into Block, line l (column First + l) at l * Stride.
void Gather(const TComplex* Plane, int W, const TBlocks& B, std::int64_t k, TComplex* Block, std::size_t Stride) {
  const int lanes = B.Lanes(k);
  const TComplex* src = Plane + B.First(k);
  for (int y = 0; y < B.H; ++y) {
    const TComplex* row = src + std::size_t(y) * W;
    for (int l = 0; l < lanes; ++l) Block[std::size_t(l) * Stride + y] = row[l];
  }
}

// Block k back into the plane.
void Scatter(TComplex* Plane, int W, const TBlocks& B, std::int64_t k, const TComplex* Block) {
  const int lanes = B.Lanes(k);
  TComplex* dst = Plane + B.First(k);
  for (int y = 0; y < B.H; ++y) {
    TComplex* row = dst + std::size_t(y) * W;
    for (int l = 0; l < lanes; ++l) row[l] = Block[std::size_t(l) * B.Stride + y];
  }
}

// Body(k, block) for every block, gathered; Body transforms it, writes it
// back and returns false on a value beyond the Single range. Blocks go to the
// threads one at a time; each has its fixed columns, whichever thread runs it.
template <class TBody>
bool ColumnPass(const TComplex* Plane, int W, const TBlocks& B, TBody&& Body) {
  std::atomic<bool> ok{true};
  std::atomic<std::int64_t> next{0};
  const std::int64_t workers = std::min<std::int64_t>(B.Number, Parallel::Threads());
  Parallel::For(
      workers,
      [&](std::int64_t, std::int64_t) {
        TComplex* block = reinterpret_cast<TComplex*>(ThreadScratch(0, B.BufferFloats()));
        for (std::int64_t k = next++; k < B.Number && ok.load(std::memory_order_relaxed); k = next++) {
          Gather(Plane, W, B, k, block, std::size_t(B.Stride));
          if (!Body(k, block)) ok = false;
        }
      },
      1);
  return ok;
}

bool Transformable(const TDataImage& img) {
  return img.Pixels && img.HasComplex && img.ComplexPlane && PowerOfTwoSide(img.Width) && PowerOfTwoSide(img.Height) &&
         img.ComplexCount() >= img.PixelCount();
}

// Rows of Source into the left W/2 + 1 values of the plane's rows.
void ForwardRows(const float* Source, TComplex* Plane, int W, int H) {
  const int s = HalfSpectrumWidth(W);
  const fftwf_plan plan = PlanFor(RealForward, W, 1);
  Parallel::For(
      H,
      [&](std::int64_t y0, std::int64_t y1) {
        float* in = nullptr;
        fftwf_complex* out = nullptr;
        for (std::int64_t y = y0; y < y1; ++y) {
          const float* src = Source + std::size_t(y) * W;
          TComplex* dst = Plane + std::size_t(y) * W;
          if (Aligned(src) && Aligned(dst)) {
            fftwf_execute_dft_r2c(plan, const_cast<float*>(src), reinterpret_cast<fftwf_complex*>(dst));
            continue;
          }
          if (!in) {
            in = ThreadScratch(0, std::size_t(W));
            out = reinterpret_cast<fftwf_complex*>(ThreadScratch(1, 2 * std::size_t(s)));
          }
          std::memcpy(in, src, std::size_t(W) * sizeof(float));
          fftwf_execute_dft_r2c(plan, in, out);
          std::memcpy(static_cast<void*>(dst), out, std::size_t(s) * sizeof(TComplex));
        }
      },
      RowsPerPart(W));
}

// Each row's left W/2 + 1 values to W reals, scaled, into the pixels or to
// the sink. Leaves the plane's rows undefined.
bool InverseRows(TDataImage& Img, TInverseSink Sink, void* Context) {
  const int w = Img.Width, s = HalfSpectrumWidth(w);
  const float scale = float(1.0L / w);
  const fftwf_plan plan = PlanFor(RealInverse, w, 1);
  std::atomic<bool> ok{true};
  Parallel::For(
      Img.Height,
      [&](std::int64_t y0, std::int64_t y1) {
        float* in = nullptr;
        float* out = ThreadScratch(1, std::size_t(w));
        for (std::int64_t y = y0; y < y1 && ok.load(std::memory_order_relaxed); ++y) {
          const std::size_t at = std::size_t(y) * w;
          TComplex* row = Img.ComplexPlane + at;
          float* dst = Sink ? out : Img.Pixels + at;
          if (!Aligned(row) || !Aligned(dst)) {
            if (!in) in = ThreadScratch(0, 2 * std::size_t(s));
            std::memcpy(in, row, std::size_t(s) * sizeof(TComplex));
            fftwf_execute_dft_c2r(plan, reinterpret_cast<fftwf_complex*>(in), out);
            dst = out;
          } else {
            fftwf_execute_dft_c2r(plan, reinterpret_cast<fftwf_complex*>(row), dst);
          }
          float* to = Sink ? out : Img.Pixels + at;
          if (!ScaleFinite(to, dst, w, scale) || (Sink && !Sink(Context, at, to, w))) ok = false;
        }
      },
      RowsPerPart(w));
  return ok;
}

// The forward column pass of the half spectrum, each line times its part of
// Factor (see TSpectrumFactor) when given, and then, when Inverse, transformed
// back and scaled as InverseRealFFT's column pass does.
bool HalfColumns(TDataImage& Img, const TComplex* Factor, bool Conjugate, bool Inverse) {
  const int w = Img.Width, h = Img.Height;
  TComplex* plane = Img.ComplexPlane;
  const TBlocks blocks(h, HalfSpectrumWidth(w), 1);
  const TBlocks back(h, HalfSpectrumWidth(w), Inverse ? -1 : 0);
  const float scale = float(1.0L / h);
  return ColumnPass(plane, w, blocks, [&](std::int64_t k, TComplex* b) {
    blocks.Transform(k, b);
    bool finite = true;
    for (int l = 0; l < blocks.Lanes(k); ++l) {
      TComplex* line = b + std::size_t(l) * blocks.Stride;
      finite &= Factor ? MultiplySpectra(line, line, Factor + blocks.FactorAt(k, l), std::size_t(h), Conjugate)
                       : Finite(reinterpret_cast<const float*>(line), 2 * h);
    }
    if (Inverse) {
      back.Transform(k, b);
      for (int l = 0; l < blocks.Lanes(k); ++l) {
        float* line = reinterpret_cast<float*>(b + std::size_t(l) * blocks.Stride);
        finite &= ScaleFinite(line, line, 2 * h, scale);
      }
    }
    Scatter(plane, w, blocks, k, b);
    return finite;
  });
}

// Columns W/2 + 1 .. W - 1 from their conjugate mirrors.
void FillRightHalf(TDataImage& img) {
  const int w = img.Width, h = img.Height;
  TComplex* plane = img.ComplexPlane;
  Parallel::For(
      h,
      [&](std::int64_t y0, std::int64_t y1) {
        for (std::int64_t y = y0; y < y1; ++y) {
          TComplex* row = plane + std::size_t(y) * w;
          const TComplex* mirror = plane + std::size_t(y == 0 ? 0 : h - y) * w;
          for (int x = w / 2 + 1; x < w; ++x) row[x] = TComplex{mirror[w - x].Re, 0.0f - mirror[w - x].Im};
        }
      },
      RowsPerPart(w));
}

}  // namespace

// ---------------------------------------------------------------- 2-D

bool ForwardRealFFT(TDataImage& Img, const float* Source) {
  if (!Transformable(Img)) return false;
  try {
    ForwardRows(Source ? Source : Img.Pixels, Img.ComplexPlane, Img.Width, Img.Height);
    // A value beyond the Single range in a row spreads down its column.
    return HalfColumns(Img, nullptr, false, false);
  } catch (...) {
    return false;
  }
}

bool InverseRealFFT(TDataImage& Img, TInverseSink Sink, void* Context) {
  if (!Transformable(Img)) return false;
  try {
    const int w = Img.Width, h = Img.Height;
    TComplex* plane = Img.ComplexPlane;
    const TBlocks blocks(h, HalfSpectrumWidth(w), -1);
    const float scale = float(1.0L / h);
    const bool columns = ColumnPass(plane, w, blocks, [&](std::int64_t k, TComplex* b) {
      blocks.Transform(k, b);
      bool finite = true;
      for (int l = 0; l < blocks.Lanes(k); ++l) {
        float* line = reinterpret_cast<float*>(b + std::size_t(l) * blocks.Stride);
        finite &= ScaleFinite(line, line, 2 * h, scale);
      }
      Scatter(plane, w, blocks, k, b);
      return finite;
    });
    return columns && InverseRows(Img, Sink, Context);
  } catch (...) {
    return false;
  }
}

TSpectrumFactor HalfSpectrumFactor(const TDataImage& Img) {
  TSpectrumFactor f;
  if (!Transformable(Img)) return f;
  const int w = Img.Width, h = Img.Height;
  const TBlocks blocks(h, HalfSpectrumWidth(w), 0);
  f.Values.resize(std::size_t(h) * std::size_t(blocks.Count));
  for (std::int64_t k = 0; k < blocks.Number; ++k) {
    Gather(Img.ComplexPlane, w, blocks, k, f.Values.data() + blocks.FactorAt(k, 0), std::size_t(h));
  }
  f.Width = w;
  f.Height = h;
  return f;
}

bool ConvolveRealFFT(TDataImage& Img, const float* Source, const TSpectrumFactor& Factor, bool Conjugate,
                     TInverseSink Sink, void* Context) {
  if (!Transformable(Img) || Factor.Width != Img.Width || Factor.Height != Img.Height) return false;
  try {
    ForwardRows(Source ? Source : Img.Pixels, Img.ComplexPlane, Img.Width, Img.Height);
    return HalfColumns(Img, Factor.Values.data(), Conjugate, true) && InverseRows(Img, Sink, Context);
  } catch (...) {
    return false;
  }
}

std::string TransformDescription() {
  return std::string(fftwf_version) + " (single precision), 1-D plans by FFTW_ESTIMATE, lines on the program's threads";
}

bool TDataImage::FFT() {
  if (!ForwardRealFFT(*this, nullptr)) return false;
  try {
    FillRightHalf(*this);
    return true;
  } catch (...) {
    return false;
  }
}

// Complex rows, whose results stay in the plane, then complex columns, whose
// real parts go to the pixels.
bool TDataImage::InverseFFT() {
  if (!Transformable(*this)) return false;
  try {
    const int w = Width, h = Height;
    TComplex* plane = ComplexPlane;
    const float rowScale = float(1.0L / w), columnScale = float(1.0L / h);
    const fftwf_plan rows = PlanFor(ComplexInverse, w, 1);
    Parallel::For(
        h,
        [&](std::int64_t y0, std::int64_t y1) {
          for (std::int64_t y = y0; y < y1; ++y) {
            float* row = reinterpret_cast<float*>(plane + std::size_t(y) * w);
            float* line = Aligned(row) ? row : ThreadScratch(0, 2 * std::size_t(w));
            if (line != row) std::memcpy(line, row, std::size_t(w) * sizeof(TComplex));
            fftwf_execute_dft(rows, reinterpret_cast<fftwf_complex*>(line), reinterpret_cast<fftwf_complex*>(line));
            // A value beyond the Single range spreads down its column.
            ScaleFinite(row, line, 2 * w, rowScale);
          }
        },
        RowsPerPart(w));
    float* pixels = Pixels;
    const TBlocks blocks(h, w, -1);
    return ColumnPass(plane, w, blocks, [&](std::int64_t k, TComplex* b) {
      blocks.Transform(k, b);
      const int lanes = blocks.Lanes(k);
      bool finite = true;
      for (int l = 0; l < lanes; ++l) {
        float* line = reinterpret_cast<float*>(b + std::size_t(l) * blocks.Stride);
        finite &= ScaleFinite(line, line, 2 * h, columnScale);
      }
      for (int y = 0; y < h; ++y) {
        float* out = pixels + std::size_t(y) * w + blocks.First(k);
        for (int l = 0; l < lanes; ++l) out[l] = b[std::size_t(l) * blocks.Stride + y].Re;
      }
      return finite;
    });
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

