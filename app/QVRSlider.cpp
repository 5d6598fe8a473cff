#include "app/QVRSlider.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <cmath>

#include "app/ImageOverlay.h"

namespace {
// Round half to even; positions beyond the integer range draw nowhere.
int RoundPosition(float V) {
  if (!std::isfinite(V) || std::fabs(V) > 2.0e9f) return 0;
  return int(std::nearbyint(V));
}

void DrawThumb(QPainter& P, int X, TColor Colour) {
  const QColor c = TColorToQColor(Colour);
  P.setPen(c);
  P.setBrush(c);
  P.drawPolygon(QPolygon({QPoint(X, 0), QPoint(X - 4, 8), QPoint(X + 4, 8), QPoint(X, 0)}));
}
}  // namespace

TQVRSlider::TQVRSlider(QWidget* Parent) : QWidget(Parent) {
  setMinimumHeight(10);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TQVRSlider::SetPositions(float Low, float High) {
  if (!(Low >= 0 && High >= 0 && Low <= MaxVal && High <= MaxVal)) return;
  // A track without length or a range of 0 has no mapping.
  if (width() <= 10 || MaxVal == 0.0f) return;
  const float step = float((long double)MaxVal / (width() - 10));
  FLowPos = float((long double)Low / step + 5);
  FHighPos = float((long double)High / step + 5);
  Redraw();
}

void TQVRSlider::Redraw() {
  QImage picture(std::max(width(), 1), std::max(height(), 1), QImage::Format_RGB32);
  picture.fill(Qt::white);
  FLowPixel = RoundPosition(FLowPos);
  FHighPixel = RoundPosition(FHighPos);
  {
    QPainter p(&picture);
    DrawThumb(p, FHighPixel, 0xFF0000);  // blue
    DrawThumb(p, FLowPixel, 0x0000FF);   // red
  }
  FPicture = picture;
  update();
  if (CalcVals) CalculateValues();
}

void TQVRSlider::CalculateValues() {
  if (width() == 10) return;  // the division fails; the guard swallows it
  const float scale = float((long double)MaxVal / (width() - 10));
  if (FLowPos >= -2.0e32f && FLowPos <= 2.0e32f && FHighPos >= -2.0e32f && FHighPos <= 2.0e32f) {
    Val1 = float(((long double)FLowPos - 5) * scale);
    Val2 = float(((long double)FHighPos - 5) * scale);
    if (OnChange) OnChange(this);
  } else {
    FLowPos = 0.0f;
    FHighPos = 16.0f;
  }
}

void TQVRSlider::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (FPicture.isNull()) p.fillRect(rect(), Qt::white);
  else p.drawImage(0, 0, FPicture);
}

void TQVRSlider::resizeEvent(QResizeEvent* Event) {
  QWidget::resizeEvent(Event);
  if (!FPicture.isNull() && FPicture.size() != size()) {
    // A new picture of the new size, without firing a change.
    const bool calc = CalcVals;
    CalcVals = false;
    Redraw();
    CalcVals = calc;
  }
}

void TQVRSlider::mousePressEvent(QMouseEvent* Event) {
  if (Event->button() == Qt::LeftButton) {
    const int x = int(Event->position().x());
    const int w = width();
    if (float(x) == FLowPos || (std::fabs(x - FLowPos) < 4 && x >= 5 && x < w - 4 && !Drag2)) Drag1 = true;
    if (float(x) == FHighPos || (std::fabs(x - FHighPos) < 4 && x >= 5 && x < w - 4 && !Drag1)) Drag2 = true;
  }
  if (OnMouseDown) OnMouseDown(this, Event->button(), int(Event->position().x()), int(Event->position().y()));
}

void TQVRSlider::mouseMoveEvent(QMouseEvent* Event) {
  if (!(Event->buttons() & Qt::LeftButton)) return;
  const int x = int(Event->position().x());
  if (!(x > 4 && x < width() - 4)) return;
  if (Drag1 && !Drag2) {
    FLowPos = float(x);
    Redraw();
  } else if (Drag2 && !Drag1) {
    FHighPos = float(x);
    Redraw();
  }
}

void TQVRSlider::mouseReleaseEvent(QMouseEvent* Event) {
  if (Event->button() == Qt::LeftButton) {
    Drag1 = false;
    Drag2 = false;
  }
  if (OnMouseUp) OnMouseUp(this, Event->button(), int(Event->position().x()), int(Event->position().y()));
}
