#pragma once
#include <cstdint>
#include <vector>

#include "engine/QVRFastRGB.h"

// The header a 24-bit bottom-up bitmap carries (positive height).
struct TBitmapInfoHeader {
  std::uint32_t biSize = 40;
  std::int32_t biWidth = 0;
  std::int32_t biHeight = 0;
  std::uint16_t biPlanes = 1;
  std::uint16_t biBitCount = 24;
  std::uint32_t biCompression = 0;
  std::uint32_t biSizeImage = 0;
  std::int32_t biXPelsPerMeter = 0;
  std::int32_t biYPelsPerMeter = 0;
  std::uint32_t biClrUsed = 0;
  std::uint32_t biClrImportant = 0;
};

// The buffer the render writes into; owns its pixel memory.
class TFastBMP : public TQVRFastRGB {
 public:
  TFastBMP() = default;
  TFastBMP(const TFastBMP& Other) { Assign(Other); }
  TFastBMP& operator=(const TFastBMP& Other) {
    if (this != &Other) Assign(Other);
    return *this;
  }

  // Nothing when the size is unchanged; otherwise a fresh zero-filled buffer.
  // Negative sides count as 0. Throws std::bad_alloc when the buffer cannot be
  // had; the buffer then keeps its old size and contents.
  void SetSize(int NewWidth, int NewHeight) override;
  // Bytes per row and in all of a picture of the given sides; false for a
  // picture that cannot be made: a row whose bit count does not fit a 32-bit
  // integer (as in every device-independent bitmap and toolkit image), or
  // more bytes than page memory allows.
  static bool PictureBytes(std::int64_t Width, std::int64_t Height, std::int64_t& RowBytes,
                           std::uint64_t& ImageBytes) noexcept;
  // Whether a picture of these sides can exist at all, whatever the memory.
  static bool SidesPossible(std::int64_t Width, std::int64_t Height) noexcept;
  void Assign(const TFastBMP& Other);

  TBitmapInfoHeader BitmapInfo;

  // Pixel x of picture row y (0 = top).
  std::uint8_t* TopRow(int y) const { return Rows[Height - 1 - y]; }

 private:
  std::vector<std::uint8_t> Storage;
};
