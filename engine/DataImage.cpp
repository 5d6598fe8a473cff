#include "engine/DataImage.h"

#include <immintrin.h>

#include <cmath>
#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "engine/Parallel.h"
#include "engine/Processor.h"
#include "platform/PageMemory.h"

bool TypeMaxOf(std::uint8_t DataType, float& Value) {
  switch (DataType) {
    case 0: Value = 255.0f; return true;
    case 1: Value = 65535.0f; return true;
    case 2: Value = 4294967296.0f; return true;
    case 3: Value = 2.0e32f; return true;
    default: return false;
  }
}

TDataImage::TDataImage() {
  ResetLUT();
  for (int i = 0; i < 256; ++i) {
    Palette[i] = TPaletteEntry{std::uint8_t(i), std::uint8_t(i), std::uint8_t(i)};
  }
}

TDataImage::~TDataImage() {
  FreeData();
  FreeComplex();
}

bool TDataImage::Allocate(int NewWidth, int NewHeight, std::uint8_t NewDataType, bool Colour, TUse Use) {
  FreeData();
  if (NewWidth < 0 || NewHeight < 0) return false;
  const std::int64_t count = std::int64_t(NewWidth) * NewHeight;
  // A displayed image's picture (the render buffer and the window's copy of
  // it, made through one more) must fit beside the planes, or the window would
  // open without one.
  std::int64_t rowBytes = 0;
  std::uint64_t pictureBytes = 0;
  if (Use == TUse::Displayed && !TFastBMP::PictureBytes(NewWidth, NewHeight, rowBytes, pictureBytes)) return false;
  const std::uint64_t pixelBytes = std::uint64_t(count) * sizeof(float);
  const std::uint64_t rgbBytes = Colour ? std::uint64_t(count) * sizeof(TRGBPixel) : 0;
  if (pixelBytes + rgbBytes + 3 * pictureBytes > PageMemory::Limit()) return false;
  if (count > 0) {
    Pixels = static_cast<float*>(PageMemory::Allocate(pixelBytes));
    if (!Pixels) return false;
    PixelBytes = pixelBytes;
    if (Colour) {
      RGBPlane = static_cast<TRGBPixel*>(PageMemory::Allocate(rgbBytes));
      if (!RGBPlane) {
        FreeData();
        return false;
      }
      RGBBytes = rgbBytes;
    }
  }
  IsColour = Colour;
  Width = NewWidth;
  Height = NewHeight;
  DataType = NewDataType;
  TypeMaxOf(DataType, TypeMax);
  return true;
}

void TDataImage::FreeData() {
  PageMemory::Release(Pixels, PixelBytes);
  PageMemory::Release(RGBPlane, RGBBytes);
  Pixels = nullptr;
  RGBPlane = nullptr;
  PixelBytes = RGBBytes = 0;
}

bool TDataImage::AllocateComplex(int CWidth, int CHeight) {
  FreeComplex();
  std::size_t bytes = 0;
  if (CWidth < 0 || CHeight < 0 ||
      !PageMemory::CheckedBytes(std::int64_t(CWidth) * CHeight, sizeof(TComplex), bytes) || bytes == 0)
    return false;
  ComplexPlane = static_cast<TComplex*>(PageMemory::Allocate(bytes));
  if (!ComplexPlane) return false;
  ComplexBytes = bytes;
  HasComplex = true;
  return true;
}

void TDataImage::FreeComplex() {
  PageMemory::Release(ComplexPlane, ComplexBytes);
  ComplexPlane = nullptr;
  ComplexBytes = 0;
  HasComplex = false;
}

namespace {

// One chunk's maximum (seed 0.0) and minimum (seed 2.0e32) as the serial pass
// `mx < v ? v : mx`, `mn > v ? v : mn` finds them.
void ChunkExtremesPlain(const float* P, std::int64_t N, float& Max, float& Min) {
  float mx = 0.0f, mn = 2.0e32f;
  for (std::int64_t i = 0; i < N; ++i) {
    const float v = P[i];
    mx = mx < v ? v : mx;
    mn = mn > v ? v : mn;
  }
  Max = mx;
  Min = mn;
}

// The same with 32 running extremes: maxps(v, m) is `v > m ? v : m` and
// minps(v, m) `v < m ? v : m`, which skip a NaN as the serial steps do. Equal
// values have equal bits except 0.0 and -0.0: the maximum never takes -0.0
// (it starts at 0.0), and a zero minimum is the first zero of the chunk.
__attribute__((target("avx2"))) void ChunkExtremesAVX2(const float* P, std::int64_t N, float& Max, float& Min) {
  __m256 mx[4], mn[4];
  for (int k = 0; k < 4; ++k) {
    mx[k] = _mm256_setzero_ps();
    mn[k] = _mm256_set1_ps(2.0e32f);
  }
  std::int64_t i = 0;
  for (; i + 32 <= N; i += 32) {
    for (int k = 0; k < 4; ++k) {
      const __m256 v = _mm256_loadu_ps(P + i + 8 * k);
      mx[k] = _mm256_max_ps(v, mx[k]);
      mn[k] = _mm256_min_ps(v, mn[k]);
    }
  }
  alignas(32) float a[32], b[32];
  for (int k = 0; k < 4; ++k) {
    _mm256_store_ps(a + 8 * k, mx[k]);
    _mm256_store_ps(b + 8 * k, mn[k]);
  }
  float x = 0.0f, n = 2.0e32f;
  for (int l = 0; l < 32; ++l) {
    x = x < a[l] ? a[l] : x;
    n = n > b[l] ? b[l] : n;
  }
  for (; i < N; ++i) {
    x = x < P[i] ? P[i] : x;
    n = n > P[i] ? P[i] : n;
  }
  if (n == 0.0f) {
    for (std::int64_t j = 0; j < N; ++j) {
      if (P[j] == 0.0f) {
        n = P[j];
        break;
      }
    }
  }
  Max = x;
  Min = n;
}

// Maximum (seeded with 0.0) and minimum (seeded with 2.0e32) of a plane, in
// parallel. Chunks are merged in order with the same strict comparisons, so
// among equal extremes (0.0 and -0.0) the first one met wins, as in one pass.
void PlaneExtremes(const float* Plane, std::int64_t Count, float& Max, float& Min) {
  Max = 0.0f;
  Min = 2.0e32f;
  if (!Plane || Count <= 0) return;
  const std::int64_t chunk = 1 << 16;
  const std::int64_t chunks = (Count + chunk - 1) / chunk;
  std::vector<float> maxima(std::size_t(chunks), 0.0f), minima(std::size_t(chunks), 2.0e32f);
  const bool vector = Processor::AVX2();
  Parallel::For(chunks, [&](std::int64_t c0, std::int64_t c1) {
    for (std::int64_t c = c0; c < c1; ++c) {
      const std::int64_t begin = c * chunk, end = std::min(Count, (c + 1) * chunk);
      (vector ? ChunkExtremesAVX2 : ChunkExtremesPlain)(Plane + begin, end - begin, maxima[std::size_t(c)],
                                                        minima[std::size_t(c)]);
    }
  }, 4);
  for (std::int64_t c = 0; c < chunks; ++c) {
    if (Max < maxima[std::size_t(c)]) Max = maxima[std::size_t(c)];
    if (Min > minima[std::size_t(c)]) Min = minima[std::size_t(c)];
  }
}

}  // namespace

void TDataImage::AutoScale() { PlaneExtremes(Pixels, PixelCount(), WhitePoint, BlackPoint); }

void TDataImage::CalcMaxValue() {
  float mn;
  PlaneExtremes(Pixels, PixelCount(), MaxValue, mn);
}

void TDataImage::ResetLUT() {
  for (int i = 0; i < 256; ++i) LUT[i] = std::uint8_t(i);
}

void TDataImage::SetPalette(const TPaletteEntries& Entries) {
  for (int i = 0; i < 256; ++i) {
    Palette[i].Red = Entries[i].Red;
    Palette[i].Green = Entries[i].Green;
    Palette[i].Blue = Entries[i].Blue;
  }
}

namespace {

// The exact index for a factor held in extended precision.
inline int IndexOf(float v, float Black, long double f) {
  const long double x = ((long double)v - Black) * f;
  if (!(x > 0)) return 0;  // also NaN
  if (x >= 255) return 255;
  return int(std::nearbyint(x));
}

// The same without the library's rounding call (which saves and restores the
// floating-point state): below 2^63, adding 2^63 in extended precision rounds
// to a whole number, halves to even, as nearbyint does.
inline int IndexOfQuick(float v, float Black, long double f) {
  const long double x = ((long double)v - Black) * f;
  if (!(x > 0)) return 0;
  if (x >= 255) return 255;
  return int((x + 0x1p63L) - 0x1p63L);
}

// Floats in their numeric order as integers, and back.
inline std::int32_t OrderKey(float u) {
  std::int32_t b;
  std::memcpy(&b, &u, 4);
  return b >= 0 ? b : std::int32_t(INT32_MIN - std::int64_t(b));
}
inline float FromKey(std::int32_t k) {
  std::int32_t b = k >= 0 ? k : std::int32_t(INT32_MIN - std::int64_t(k));
  float u;
  std::memcpy(&u, &b, 4);
  return u;
}

// The thresholds of the grey render: the index is monotone in the value, so
// Threshold[k] (in u = Sign * v) is the smallest float whose index is at least
// k, and a pixel's index is the number of thresholds at or below it. Plain
// bisects every float for each; otherwise the search starts where the formula
// puts the threshold and widens from there, a few steps instead of 32.
void BuildThresholds(float Black, long double F, bool Plain, float (&Threshold)[257]) {
  const float sign = F > 0 ? 1.0f : -1.0f;
  const std::int32_t lo0 = OrderKey(-3.4028234663852886e38f), hi0 = OrderKey(3.4028234663852886e38f);
  auto idx = [&](std::int64_t key) {
    const float u = sign * FromKey(std::int32_t(key));
    return Plain ? IndexOf(u, Black, F) : IndexOfQuick(u, Black, F);
  };
  Threshold[0] = -INFINITY;
  Threshold[256] = INFINITY;
  for (int k = 1; k <= 255; ++k) {
    // The smallest key in [lo0, hi0] whose index is at least k (hi0 + 1: none).
    std::int64_t lo = lo0 - 1, hi = hi0 + 1;  // idx(lo) < k, idx(hi) >= k where inside
    if (Plain) {
      if (idx(hi0) < k) {
        Threshold[k] = INFINITY;
        continue;
      }
      if (idx(lo0) >= k) {
        Threshold[k] = FromKey(lo0);
        continue;
      }
      lo = lo0;
      hi = hi0;
    } else {
      const long double at = sign * (Black + (k - 0.5L) / F);
      const float g = !(at > -3.4028234663852886e38L) ? -3.4028234663852886e38f
                      : at > 3.4028234663852886e38L   ? 3.4028234663852886e38f
                                                      : float(at);
      const std::int64_t start = OrderKey(g);
      if (idx(start) >= k) {
        hi = start;
        for (std::int64_t step = 1;; step *= 2) {
          const std::int64_t t = hi - step;
          if (t < lo0) break;
          if (idx(t) < k) {
            lo = t;
            break;
          }
          hi = t;
        }
      } else {
        lo = start;
        for (std::int64_t step = 1;; step *= 2) {
          const std::int64_t t = lo + step;
          if (t > hi0) break;
          if (idx(t) >= k) {
            hi = t;
            break;
          }
          lo = t;
        }
      }
    }
    while (hi - lo > 1) {
      const std::int64_t mid = lo + (hi - lo) / 2;
      (idx(mid) >= k ? hi : lo) = mid;
    }
    Threshold[k] = hi > hi0 ? INFINITY : FromKey(std::int32_t(hi));
  }
}

// Grey render through the thresholds: a float guess and a short walk find the
// index; the result equals IndexOf for every input.
struct TGreyIndexer {
  float Black;
  long double F;
  float Sign;
  float GuessFactor;
  float Threshold[257];

  TGreyIndexer(float black, long double f) : Black(black), F(f), Sign(f > 0 ? 1.0f : -1.0f) {
    GuessFactor = float(f);
    BuildThresholds(black, f, false, Threshold);
  }

  int operator()(float v) const {
    const float u = Sign * v;
    const float q = (v - Black) * GuessFactor;
    int g = q > 0 ? (q >= 255.0f ? 255 : int(q)) : 0;
    while (g < 255 && u >= Threshold[g + 1]) ++g;
    while (g > 0 && !(u >= Threshold[g])) --g;
    return g;
  }
};

// In float: q = (v - Black) * f differs from the extended value by less than
// 2^-14 wherever the index is not clamped (three roundings of 2^-24 on values
// below 512, none of them subnormal while f is below 2^100), so rounding q
// half to even gives the same index except within that distance of a half,
// where the pixel is redone by the extended formula.
bool FloatIndexSafe(long double F) { return std::fabs(F) < 0x1p100L; }

// The display indexes of 32 pixels as bytes in order, in float as above; a
// value near a half (about one in four thousand) is redone one by one.
template <bool Fused>
__attribute__((target("avx2,fma"), always_inline)) inline __m256i Indexes32(const float* Src, float Black,
                                                                          long double F, __m256 black, __m256 f) {
  const __m256 hi = _mm256_set1_ps(255.0f);
  const __m256i magnitude = _mm256_set1_epi32(0x7FFFFFFF);
  __m256i g[4], off[4];
  for (int k = 0; k < 4; ++k) {
    const __m256 v = _mm256_loadu_ps(Src + 8 * k);
    const __m256 q = Fused ? _mm256_fmadd_ps(v, f, black) : _mm256_mul_ps(_mm256_sub_ps(v, black), f);
    // min returns its second operand for NaN: a NaN stays one, converts to
    // INT32_MIN and packs to 0, as values below 0 do; above 255 the extended
    // value is too, within 2^-14: no half is near.
    const __m256 c = _mm256_min_ps(hi, q);
    const __m256 r = _mm256_round_ps(c, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    // c - r is exact; within 2^-13 of a half the extended value may round the
    // other way. Magnitudes compare as their bit patterns.
    off[k] = _mm256_and_si256(_mm256_castps_si256(_mm256_sub_ps(c, r)), magnitude);
    g[k] = _mm256_cvtps_epi32(r);
  }
  // Packing works within the halves of the registers: pixels 0-3, 8-11, 16-19,
  // 24-27, then 4-7, ...; the permutation puts them in order.
  const __m256i b = _mm256_packus_epi16(_mm256_packus_epi32(g[0], g[1]), _mm256_packus_epi32(g[2], g[3]));
  __m256i idx = _mm256_permutevar8x32_epi32(b, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
  const __m256i most = _mm256_max_epu32(_mm256_max_epu32(off[0], off[1]), _mm256_max_epu32(off[2], off[3]));
  const __m256i near = _mm256_set1_epi32(0x3EFFF7FF);  // 0.5 - 2^-13, less one unit
  if (__builtin_expect(!_mm256_testz_si256(_mm256_cmpgt_epi32(most, near), _mm256_cmpgt_epi32(most, near)), 0)) {
    alignas(32) std::uint8_t bytes[32];
    _mm256_store_si256(reinterpret_cast<__m256i*>(bytes), idx);
    for (int k = 0; k < 4; ++k)
      for (int m = _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpgt_epi32(off[k], near))); m; m &= m - 1) {
        const int l = 8 * k + std::countr_zero(unsigned(m));
        bytes[l] = std::uint8_t(IndexOfQuick(Src[l], Black, F));
      }
    idx = _mm256_load_si256(reinterpret_cast<const __m256i*>(bytes));
  }
  return idx;
}

// Writes the pixels of n display indexes (n <= 32) at P. Grey (the first
// palette and table) shows every index as its own value in all three bytes,
// 96 bytes for a whole group; a palette is looked up one pixel at a time in
// Packed (blue, green, red, 0).
template <bool Grey, bool Spill = false>
__attribute__((target("avx2"), always_inline)) inline void EmitPixels(__m256i Idx, const std::uint32_t* Packed,
                                                                      std::uint8_t* P, int n) {
  if (Grey && n == 32) {
    // Bytes i / 3 of a register's half: output bytes 0-31, 32-63 and 64-95.
    const __m256i spread01 = _mm256_setr_epi8(0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5, 5, 5, 6, 6, 6, 7, 7,
                                              7, 8, 8, 8, 9, 9, 9, 10, 10);
    const __m256i spread20 = _mm256_setr_epi8(10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15, 0, 0,
                                              0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5);
    const __m256i spread12 = _mm256_setr_epi8(5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10, 10, 11, 11, 11, 12,
                                              12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15);
    const __m128i h = _mm256_extracti128_si256(Idx, 1);
    const __m256i lo = _mm256_inserti128_si256(Idx, _mm256_castsi256_si128(Idx), 1),
                  hi = _mm256_inserti128_si256(_mm256_castsi128_si256(h), h, 1);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(P), _mm256_shuffle_epi8(lo, spread01));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(P + 32), _mm256_shuffle_epi8(Idx, spread20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(P + 64), _mm256_shuffle_epi8(hi, spread12));
    return;
  }
  // Four bytes a pixel, the fourth overwritten by the next pixel (Spill: or
  // by the next group's first); without Spill the last pixel three.
  alignas(32) std::uint64_t lanes[4];
  _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), Idx);
  const int last = Spill ? n : n - 1;
  if (last == 32) {
    for (int j = 0; j < 4; ++j) {
      std::uint64_t v = lanes[j];
#pragma GCC unroll 8
      for (int i = 0; i < 8; ++i, v >>= 8) {
        const std::uint32_t c = Grey ? unsigned(v & 0xFF) * 0x010101u : Packed[v & 0xFF];
        std::memcpy(P + 3 * (8 * j + i), &c, 4);
      }
    }
  } else {
    for (int l = 0; l < last; ++l) {
      const unsigned k = unsigned(lanes[l / 8] >> (8 * (l % 8))) & 0xFF;
      const std::uint32_t c = Grey ? k * 0x010101u : Packed[k];
      std::memcpy(P + 3 * l, &c, 4);
    }
  }
  if (!Spill) {
    const unsigned k = unsigned(lanes[(n - 1) / 8] >> (8 * ((n - 1) % 8))) & 0xFF;
    const std::uint32_t c = Grey ? k * 0x010101u : Packed[k];
    std::memcpy(P + 3 * (n - 1), &c, 3);
  }
}

// One row in groups of 32 pixels; the last few go through a padded group.
// Fused: (v - Black) * f as one fused step v * f - Black * f, within 2^-14
// as well where |Black * f| <= 2^9 (three roundings of 2^-24 of at most 2^8,
// 2^8 and 2^9).
template <bool Grey, bool Fused>
__attribute__((target("avx2,fma"))) void GreyRowAVX2(float Black, long double F, const std::uint32_t* Packed,
                                                     const float* Src, std::uint8_t* Dst, int W) {
  const float f1 = float(F);
  const __m256 black = _mm256_set1_ps(Fused ? -(Black * f1) : Black), f = _mm256_set1_ps(f1);
  int x = 0;
  // A palette group may write the first byte of the next one.
  for (; x + 32 < W + int(Grey); x += 32)
    EmitPixels<Grey, true>(Indexes32<Fused>(Src + x, Black, F, black, f), Packed, Dst + 3 * std::size_t(x), 32);
  if (x < W) {
    alignas(32) float tail[32] = {};
    std::memcpy(tail, Src + x, sizeof(float) * std::size_t(W - x));
    EmitPixels<Grey>(Indexes32<Fused>(tail, Black, F, black, f), Packed, Dst + 3 * std::size_t(x), W - x);
  }
}

// The fused step needs a processor with FMA as well, as every one with AVX2 has so far.
bool FusedIndexSafe(float Black, long double F) {
  static const bool fma = (__builtin_cpu_init(), __builtin_cpu_supports("fma"));
  return fma && std::fabs(Black * float(F)) <= 512.0f;
}

}  // namespace

void TDataImage::DisplayThresholds(float Black, float White, bool Plain, float (&Table)[257]) {
  BuildThresholds(Black, 255.0L / ((long double)White - Black), Plain, Table);
}

int TDataImage::DisplayIndex(float Value, float Black, float White) {
  return IndexOf(Value, Black, 255.0L / ((long double)White - Black));
}

void TDataImage::UpdateBitmap() {
  Bitmap.SetSize(Width, Height);
  const int w = Bitmap.Width, h = Bitmap.Height;
  if (w == 0 || h == 0) return;

  if (IsColour) {
    const TRGBPixel* plane = RGBPlane;
    Parallel::For(h, [&](std::int64_t y0, std::int64_t y1) {
      for (std::int64_t y = y0; y < y1; ++y) {
        std::uint8_t* dst = Bitmap.TopRow(int(y));
        if (!plane) {
          for (int x = 0; x < w; ++x, dst += 3) dst[0] = dst[1] = dst[2] = LUT[0];
          continue;
        }
        const TRGBPixel* src = plane + y * w;
        for (int x = 0; x < w; ++x, dst += 3) {
          dst[0] = LUT[src[x].Blue];
          dst[1] = LUT[src[x].Green];
          dst[2] = LUT[src[x].Red];
        }
      }
    }, Parallel::MinItemsPerPart(w));
    return;
  }

  if (WhitePoint == BlackPoint) {
    const std::uint8_t c = LUT[0];
    for (int y = 0; y < h; ++y) {
      std::uint8_t* dst = Bitmap.Rows[y];
      std::memset(dst, c, std::size_t(w) * 3);
    }
    return;
  }

  // The colour each display index ends up as, in buffer byte order.
  std::uint8_t colour[256][3];
  for (int i = 0; i < 256; ++i) {
    const TPaletteEntry& p = Palette[LUT[i]];
    colour[i][0] = p.Blue;
    colour[i][1] = p.Green;
    colour[i][2] = p.Red;
  }
  const long double f = 255.0L / ((long double)WhitePoint - BlackPoint);
  const float black = BlackPoint;
  const float* plane = Pixels;

  if (!plane || std::isnan(f)) {
    const int k = plane ? 0 : IndexOf(0.0f, black, f);
    for (int y = 0; y < h; ++y) {
      std::uint8_t* dst = Bitmap.Rows[y];
      for (int x = 0; x < w; ++x, dst += 3) std::memcpy(dst, colour[k], 3);
    }
    return;
  }

  if (Processor::AVX2() && FloatIndexSafe(f)) {
    std::uint32_t packed[256];
    bool grey = true;
    for (int i = 0; i < 256; ++i) {
      packed[i] = colour[i][0] | colour[i][1] << 8 | std::uint32_t(colour[i][2]) << 16;
      grey = grey && packed[i] == std::uint32_t(i) * 0x010101u;
    }
    const bool fused = FusedIndexSafe(black, f);
    const auto row = grey ? (fused ? GreyRowAVX2<true, true> : GreyRowAVX2<true, false>)
                          : (fused ? GreyRowAVX2<false, true> : GreyRowAVX2<false, false>);
    Parallel::For(h, [&](std::int64_t y0, std::int64_t y1) {
      for (std::int64_t y = y0; y < y1; ++y) row(black, f, packed, plane + y * w, Bitmap.TopRow(int(y)), w);
    }, Parallel::MinItemsPerPart(w));
    return;
  }
  const TGreyIndexer index(black, f);
  Parallel::For(h, [&](std::int64_t y0, std::int64_t y1) {
    for (std::int64_t y = y0; y < y1; ++y) {
      std::uint8_t* dst = Bitmap.TopRow(int(y));
      const float* src = plane + y * w;
      for (int x = 0; x < w; ++x, dst += 3) {
        const std::uint8_t* c = colour[index(src[x])];
        dst[0] = c[0];
        dst[1] = c[1];
        dst[2] = c[2];
      }
    }
  }, Parallel::MinItemsPerPart(w));
}
