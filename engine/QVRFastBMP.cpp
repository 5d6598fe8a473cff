#include "engine/QVRFastBMP.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include "platform/PageMemory.h"

bool TFastBMP::PictureBytes(std::int64_t Width, std::int64_t Height, std::int64_t& RowBytes,
                            std::uint64_t& ImageBytes) noexcept {
  if (!SidesPossible(Width, Height)) return false;
  RowBytes = ((Width * 24 + 31) / 32) * 4;
  ImageBytes = std::uint64_t(RowBytes) * std::uint64_t(Height);
  return ImageBytes <= PageMemory::Limit();
}

bool TFastBMP::SidesPossible(std::int64_t Width, std::int64_t Height) noexcept {
  return Width >= 0 && Height >= 0 && Width <= (std::int64_t(INT_MAX) - 31) / 24 && Height <= INT_MAX;
}

void TFastBMP::SetSize(int NewWidth, int NewHeight) {
  NewWidth = std::max(0, NewWidth);
  NewHeight = std::max(0, NewHeight);
  if (NewWidth == Width && NewHeight == Height && (Bits || NewWidth == 0 || NewHeight == 0)) return;
  std::int64_t rowBytes = 0;
  std::uint64_t imageBytes = 0;
  if (!PictureBytes(NewWidth, NewHeight, rowBytes, imageBytes)) throw std::bad_alloc();
  // The new storage and row table first: a failed allocation leaves the
  // buffer as it was, sides included.
  std::vector<std::uint8_t> storage(std::size_t(imageBytes), 0);
  std::vector<std::uint8_t*> rows(static_cast<std::size_t>(NewHeight));
  std::uint8_t* bits = storage.empty() ? nullptr : storage.data();
  for (int i = 0; i < NewHeight; ++i) rows[std::size_t(i)] = bits + std::size_t(i) * std::size_t(rowBytes);
  Storage.swap(storage);
  Rows.swap(rows);
  Bits = bits;
  Width = NewWidth;
  Height = NewHeight;
  BitmapInfo.biWidth = Width;
  BitmapInfo.biHeight = Height;
  RowBytes = rowBytes;
  RowPad = Width % 4;
  ImageBytes = std::size_t(imageBytes);
}

void TFastBMP::Assign(const TFastBMP& Other) {
  SetSize(Other.Width, Other.Height);
  if (ImageBytes) std::memcpy(Bits, Other.Bits, ImageBytes);
  BitmapInfo = Other.BitmapInfo;
}
