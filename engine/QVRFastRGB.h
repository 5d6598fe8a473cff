#pragma once
// A 24-bit device-independent pixel buffer: rows of blue, green, red bytes,
// each row padded to a multiple of 4 bytes, stored bottom-up (Rows[0] is the
// bottom row of the picture).
#include <cstddef>
#include <cstdint>
#include <vector>

class TQVRFastRGB {
 public:
  virtual ~TQVRFastRGB() = default;
  virtual void SetSize(int NewWidth, int NewHeight) = 0;

  int RowPad = 0;                // Width mod 4
  std::int64_t RowBytes = 0;     // 3 * Width rounded up to a multiple of 4
  std::size_t ImageBytes = 0;    // RowBytes * Height
  int Width = 0;
  int Height = 0;
  std::vector<std::uint8_t*> Rows;  // Rows[i] = Bits + i * RowBytes
  std::uint8_t* Bits = nullptr;     // first byte of the first (bottom) row
};
