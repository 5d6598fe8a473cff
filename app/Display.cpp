#include "app/Display.h"

#include <QPaintEvent>
#include <QPainter>
#include <cmath>

#include "platform/FastBMPImage.h"
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
  QImage picture = FastBMPToQImage(Bitmap).convertToFormat(QImage::Format_RGB888);
  // The toolkit gives a null image, not an exception, when memory runs out.
  if (picture.isNull() && Bitmap.Width > 0 && Bitmap.Height > 0) return false;
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

void TDisplay::DrawZoomed(QPainter& Painter, const QRect& Target, const QRect& Source) const {
  if (FSource.isNull() || width() <= 0 || height() <= 0 || Source.isEmpty()) return;
  // Display pixel (u, v) shows source pixel (u * sw / dw, v * sh / dh): map the
  // wanted part of the display onto Target and let the painter sample it.
  const qreal sx = qreal(Target.width()) / Source.width();
  const qreal sy = qreal(Target.height()) / Source.height();
  Painter.save();
  Painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  Painter.setClipRect(Target, Qt::IntersectClip);
  Painter.translate(Target.x() - Source.x() * sx, Target.y() - Source.y() * sy);
  Painter.scale(sx, sy);
  Painter.drawImage(QRectF(0, 0, width(), height()), FSource, QRectF(FSource.rect()));
  Painter.restore();
}

void TDisplay::paintEvent(QPaintEvent* Event) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.setClipRect(Event->rect());
  if (FSource.isNull()) {
    painter.fillRect(Event->rect(), Qt::black);
    return;
  }
  painter.drawImage(QRectF(0, 0, width(), height()), FSource, QRectF(FSource.rect()));
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
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.drawImage(QRectF(picture.rect()), FSource, QRectF(FSource.rect()));
  painter.end();
  return picture;
}
