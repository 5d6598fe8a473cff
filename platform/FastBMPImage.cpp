#include "platform/FastBMPImage.h"

#include <cstring>

QImage FastBMPToQImage(const TFastBMP& Bitmap) {
  if (Bitmap.Width <= 0 || Bitmap.Height <= 0) return {};
  QImage image(Bitmap.Width, Bitmap.Height, QImage::Format_BGR888);
  if (image.isNull()) return {};
  const std::size_t bytes = std::size_t(Bitmap.Width) * 3;
  for (int y = 0; y < Bitmap.Height; ++y) std::memcpy(image.scanLine(y), Bitmap.TopRow(y), bytes);
  return image;
}
