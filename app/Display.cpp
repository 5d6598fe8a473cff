#include "app/Display.h"

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "engine/Parallel.h"
#include "platform/PageMemory.h"

TDisplay::TDisplay(QWidget* Parent) : QWidget(Parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  resize(0, 0);
}

int TDisplay::ZoomedSide(int Side, float Zoom) {
  const long double v = (long double)Side * Zoom / 100.0L;
  return int(std::llrint(v));
}

bool TDisplay::SetBitmap(const TFastBMP& Bitmap) {
  if (Bitmap.Width <= 0 || Bitmap.Height <= 0) {
    FSource = QImage();
    return true;
  }
  // The toolkit gives a null image, not an exception, when memory runs out.
  QImage picture(Bitmap.Width, Bitmap.Height, QImage::Format_RGB888);
  if (picture.isNull()) return false;
  // Swapped to R,G,B here, on our own threads: Qt's conversion runs on its
  // thread pool, which waits for ever where no thread can be started.
  const int w = Bitmap.Width;
  uchar* const bits = picture.bits();
  const qsizetype stride = picture.bytesPerLine();
  Parallel::For(Bitmap.Height, [&](std::int64_t First, std::int64_t End) {
    for (std::int64_t y = First; y < End; ++y) {
      const std::uint8_t* src = Bitmap.TopRow(int(y));
      uchar* dst = bits + y * stride;
      for (int x = 0; x < w; ++x) {
        dst[3 * x] = src[3 * x + 2];
        dst[3 * x + 1] = src[3 * x + 1];
        dst[3 * x + 2] = src[3 * x];
      }
    }
  }, Parallel::MinItemsPerPart(w));
  FSource = std::move(picture);
  return true;
}

void TDisplay::SetBitmap(const QImage& Picture) { FSource = Picture.convertToFormat(QImage::Format_RGB888); }

void TDisplay::Redraw() {
  const int w = ZoomedSide(FSource.width(), Zoom);
  const int h = ZoomedSide(FSource.height(), Zoom);
  setFixedSize(std::max(w, 0), std::max(h, 0));
  update();
  if (OnRedraw) OnRedraw();
}

void TDisplay::DrawZoomed(QImage& Into, const QRect& Target, const QRect& Source) const {
  if (FSource.isNull() || width() <= 0 || height() <= 0 || Source.isEmpty() || Target.isEmpty()) return;
  const bool packed = Into.format() == QImage::Format_RGB888;
  if (!packed && Into.depth() != 32) return;
  const QRect area = Target & Into.rect();
  if (area.isEmpty()) return;
  // Target pixel t shows the picture under its centre: display coordinate
  // From + (t + 1/2) * Span / Count, then source pixel floor(d * sw / dw),
  // exactly, in integers.
  auto sample = [](std::int64_t t, std::int64_t From, std::int64_t Span, std::int64_t Count, std::int64_t Shown,
                   std::int64_t SourceSide) -> std::int64_t {
    const std::int64_t twice = 2 * From * Count + (2 * t + 1) * Span;  // 2 * Count * display coordinate
    if (twice < 0 || twice >= 2 * Count * Shown) return -1;            // outside the picture: left as it is
    const auto index = std::int64_t((__int128)twice * SourceSide / (2 * Count * Shown));
    return std::min(index, SourceSide - 1);
  };
  std::vector<std::int64_t> columns(std::size_t(area.width()));
  for (int u = 0; u < area.width(); ++u)
    columns[std::size_t(u)] = sample(area.x() + u - Target.x(), Source.x(), Source.width(), Target.width(), width(),
                                     FSource.width());
  uchar* const bits = Into.bits();
  const qsizetype stride = Into.bytesPerLine();
  Parallel::For(area.height(), [&](std::int64_t First, std::int64_t End) {
    for (std::int64_t v = First; v < End; ++v) {
      const std::int64_t sy = sample(area.y() + v - Target.y(), Source.y(), Source.height(), Target.height(), height(),
                                     FSource.height());
      if (sy < 0) continue;
      const uchar* row = FSource.constScanLine(int(sy));
      uchar* out = bits + (area.y() + v) * stride;
      if (packed) {
        for (int u = 0; u < area.width(); ++u)
          if (const std::int64_t sx = columns[std::size_t(u)]; sx >= 0)
            std::memcpy(out + 3 * (area.x() + u), row + 3 * sx, 3);
      } else {
        auto* pixels = reinterpret_cast<quint32*>(out) + area.x();
        for (int u = 0; u < area.width(); ++u)
          if (const std::int64_t sx = columns[std::size_t(u)]; sx >= 0) {
            const uchar* p = row + 3 * sx;
            pixels[u] = 0xFF000000u | quint32(p[0]) << 16 | quint32(p[1]) << 8 | p[2];
          }
      }
    }
  }, Parallel::MinItemsPerPart(area.width()));
}

void TDisplay::paintEvent(QPaintEvent* Event) {
  QPainter painter(this);
  if (FSource.isNull()) {
    painter.setClipRect(Event->rect());
    painter.fillRect(Event->rect(), Qt::black);
    return;
  }
  // Each exposed rectangle is scaled here and copied one to one: Qt scales
  // and converts large pictures on its thread pool, which waits for ever
  // where the system refuses to start a thread.
  for (const QRect& exposed : Event->region()) {
    const QRect r = exposed & rect();
    if (r.isEmpty()) continue;
    QImage part(r.size(), QImage::Format_RGB32);  // every pixel of it lies on the picture
    if (part.isNull()) continue;
    DrawZoomed(part, QRect(QPoint(0, 0), r.size()), r);
    painter.setClipRect(r);
    painter.drawImage(r.topLeft(), part);
  }
}

QImage TDisplay::Picture() const {
  if (FSource.isNull() || width() <= 0 || height() <= 0) return {};
  if (width() == FSource.width() && height() == FSource.height()) return FSource.copy();
  // Refused before the allocation: an overcommitted picture would only fail
  // when its pages are touched.
  std::size_t bytes = 0;
  if (!PageMemory::CheckedBytes(std::int64_t(width()) * height(), 3, bytes)) return {};
  QImage picture(width(), height(), QImage::Format_RGB888);
  if (picture.isNull()) return {};
  DrawZoomed(picture, picture.rect(), rect());
  return picture;
}
