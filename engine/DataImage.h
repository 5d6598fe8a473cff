#pragma once
// The one in-memory image: grey data as a Single plane (for every data type),
// colour as B,G,R bytes, an optional complex plane for Fourier work, the
// display state and the rendered 24-bit picture.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/QVRFastBMP.h"

// The order of a 24-bit device-independent bitmap.
struct TRGBPixel {
  std::uint8_t Blue = 0;
  std::uint8_t Green = 0;
  std::uint8_t Red = 0;
};
static_assert(sizeof(TRGBPixel) == 3);

struct TComplex {
  float Re = 0.0f;
  float Im = 0.0f;
};
static_assert(sizeof(TComplex) == 8);

// A palette entry is held as red, green, blue (unlike TRGBPixel).
struct TPaletteEntry {
  std::uint8_t Red = 0;
  std::uint8_t Green = 0;
  std::uint8_t Blue = 0;
};

using TLUT = std::array<std::uint8_t, 256>;
using TPaletteEntries = std::array<TRGBPixel, 256>;

class TDataImage {
 public:
  TDataImage();
  virtual ~TDataImage();
  TDataImage(const TDataImage&) = delete;
  TDataImage& operator=(const TDataImage&) = delete;

  std::uint8_t DataType = 0;  // 0 = 8-bit, 1 = 16-bit, 2 = 32-bit integer, 3 = floating point
  bool IsColour = true;
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  float* Pixels = nullptr;              // Width * Height, row-major
  TRGBPixel* RGBPlane = nullptr;        // Width * Height, colour images only
  TComplex* ComplexPlane = nullptr;     // ComplexCount pairs, indexed y * Width + x
  TFastBMP Bitmap;                      // the last render
  float WhitePoint = 255.0f;
  float BlackPoint = 0.0f;
  float MaxValue = 0.0f;
  float TypeMax = 0.0f;
  TLUT LUT{};
  std::array<TPaletteEntry, 256> Palette{};
  std::uint8_t ScaleMode = 0;
  bool HasComplex = false;
  // The work line of FFT1D: 4096 points, grown by callers of FFT1D for longer lines.
  std::vector<TComplex> FFTLine = std::vector<TComplex>(4096);

  // Fourier transform (unit FFT). Both sides must be powers of two (at most
  // 16384) and the complex plane must be allocated for the image's size;
  // otherwise the result is false and nothing is written. Unshifted, the
  // forward pass unscaled, each inverse 1-D pass scaled by 1/N.
  bool FFT();
  bool InverseFFT();
  // Transforms the first N = 2^Bits entries of FFTLine in place; false when N
  // is not 2^Bits or exceeds the work line.
  bool FFT1D(bool Forward, int Bits, int N);
  void BitReversePermute(int Bits);
  static int BitReverse(int Index, int Bits);

  // Releases any planes held, then allocates zero-filled planes for the new
  // size. Refuses (returns false, no planes, sizes unchanged) for a negative
  // side or a size page memory cannot give. A zero side gives no planes.
  // An image that is displayed is admitted only when its picture fits beside
  // the planes; one that never is (a calibration frame, a block of a series
  // being combined) needs room for its planes alone.
  enum class TUse : std::uint8_t { Displayed, PlanesOnly };
  bool Allocate(int NewWidth, int NewHeight, std::uint8_t NewDataType, bool Colour, TUse Use = TUse::Displayed);
  void FreeData();
  // Sized by its own arguments but indexed by the image's Width; false (and
  // HasComplex False) when the plane cannot be had.
  bool AllocateComplex(int CWidth, int CHeight);
  void FreeComplex();

  // True when the planes the image needs are present.
  bool HasPlanes() const { return Pixels && (!IsColour || RGBPlane); }
  std::int64_t PixelCount() const { return std::int64_t(Width) * Height; }
  std::int64_t ComplexCount() const { return std::int64_t(ComplexBytes / sizeof(TComplex)); }

  // Accessors take (x, y). Coordinates outside the image or a missing plane:
  // reads give 0, writes change nothing.
  void SetPixel(int X, int Y, float Value) noexcept {
    if (Inside(X, Y) && Pixels) Pixels[Index(X, Y)] = Value;
  }
  float GetPixel(int X, int Y) const noexcept { return Inside(X, Y) && Pixels ? Pixels[Index(X, Y)] : 0.0f; }
  void SetRGB(int X, int Y, TRGBPixel Value) noexcept {
    if (Inside(X, Y) && RGBPlane) RGBPlane[Index(X, Y)] = Value;
  }
  void GetRGB(int X, int Y, TRGBPixel& Value) const noexcept {
    Value = Inside(X, Y) && RGBPlane ? RGBPlane[Index(X, Y)] : TRGBPixel{};
  }
  void SetComplex(int X, int Y, const TComplex& Value) noexcept {
    if (ComplexInside(X, Y)) ComplexPlane[Index(X, Y)] = Value;
  }
  void GetComplex(int X, int Y, TComplex& Value) const noexcept {
    Value = ComplexInside(X, Y) ? ComplexPlane[Index(X, Y)] : TComplex{};
  }

  // Display range from the data: maximum seeded with 0.0, minimum with 2.0e32.
  void AutoScale();
  // MaxValue := the largest pixel, seeded with 0.0.
  void CalcMaxValue();

  void SetLUT(const TLUT& Table) { LUT = Table; }
  void GetLUT(TLUT& Table) const { Table = LUT; }
  void ResetLUT();
  void SetPalette(const TPaletteEntries& Entries);
  // Renders the planes through black and white points, LUT and palette into Bitmap.
  void UpdateBitmap();

  // The display index of a grey value: Round((v - BlackPoint) * 255 /
  // (WhitePoint - BlackPoint)) clamped to 0..255 (NaN gives 0). Equal points
  // are the caller's case.
  static int DisplayIndex(float Value, float Black, float White);
  // The smallest u = v * sign(White - Black) of each display index k in
  // 1..255 (Table[k]; -inf and +inf at 0 and 256), found by the render's
  // quick search or, with Plain, by bisecting every float. Black and White
  // must differ.
  static void DisplayThresholds(float Black, float White, bool Plain, float (&Table)[257]);

 private:
  bool Inside(int X, int Y) const noexcept {
    return unsigned(X) < unsigned(Width) && unsigned(Y) < unsigned(Height);
  }
  bool ComplexInside(int X, int Y) const noexcept {
    return ComplexPlane && Inside(X, Y) && Index(X, Y) < std::size_t(ComplexCount());
  }
  std::size_t Index(int X, int Y) const noexcept { return std::size_t(Y) * std::size_t(Width) + std::size_t(X); }

  std::size_t PixelBytes = 0, RGBBytes = 0, ComplexBytes = 0;
};

// Largest value of a data type; a type above 3 has none (returns false).
bool TypeMaxOf(std::uint8_t DataType, float& Value);
