#include "engine/QVRFastBMP.h"

#include <algorithm>
#include <cstring>

void TFastBMP::SetSize(int NewWidth, int NewHeight) {
  NewWidth = std::max(0, NewWidth);
  NewHeight = std::max(0, NewHeight);
  if (NewWidth == Width && NewHeight == Height && (Bits || NewWidth == 0 || NewHeight == 0)) return;
  Width = NewWidth;
  Height = NewHeight;
  BitmapInfo.biWidth = Width;
  BitmapInfo.biHeight = Height;
  RowBytes = int(((std::int64_t(Width) * 24 + 31) / 32) * 4);
  RowPad = Width % 4;
  ImageBytes = std::size_t(RowBytes) * std::size_t(Height);
  Storage.assign(ImageBytes, 0);
  Storage.shrink_to_fit();
  Bits = Storage.empty() ? nullptr : Storage.data();
  Rows.resize(Height);
  for (int i = 0; i < Height; ++i) Rows[i] = Bits + std::size_t(i) * RowBytes;
}

void TFastBMP::Assign(const TFastBMP& Other) {
  SetSize(Other.Width, Other.Height);
  if (ImageBytes) std::memcpy(Bits, Other.Bits, ImageBytes);
  BitmapInfo = Other.BitmapInfo;
}
