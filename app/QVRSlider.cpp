#include "app/QVRSlider.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPolygon>
#include <algorithm>
#include <cmath>

#include "app/Accessibility.h"
#include "app/ImageOverlay.h"
#include "platform/NumFormat.h"

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

namespace {
QString ShownValue(float V) { return QString::fromStdString(NumFormat::FormatFloat("0.##", V)); }

// One thumb as assistive tools see it: a slider of its own whose value is the
// thumb's, set as a drag of the thumb would set it.
class TThumbAccessible : public Accessibility::TPartOf<TQVRSlider>, public QAccessibleValueInterface {
 public:
  TThumbAccessible(TQVRSlider* Slider, bool High) : TPartOf(Slider), FHigh(High) {}

  QString text(QAccessible::Text Kind) const override {
    if (!isValid()) return {};
    if (Kind == QAccessible::Name) return FHigh ? QStringLiteral("High") : QStringLiteral("Low");
    if (Kind == QAccessible::Value) return ShownValue(Value());
    return {};
  }
  QRect rect() const override {
    if (!isValid()) return {};
    const int x = FHigh ? FOwner->HighPixel() : FOwner->LowPixel();
    return QRect(FOwner->mapToGlobal(QPoint(x - 4, 0)), QSize(9, 9));
  }
  QAccessible::Role role() const override { return QAccessible::Slider; }
  QAccessible::State state() const override {
    QAccessible::State s;
    if (!isValid()) return s;
    s.disabled = !FOwner->isEnabled();
    s.invisible = !FOwner->isVisible();
    return s;
  }
  void* interface_cast(QAccessible::InterfaceType Type) override {
    return Type == QAccessible::ValueInterface ? static_cast<QAccessibleValueInterface*>(this) : nullptr;
  }
  QVariant currentValue() const override { return isValid() ? double(Value()) : 0.0; }
  QVariant minimumValue() const override { return isValid() ? double(FOwner->Origin()) : 0.0; }
  QVariant maximumValue() const override { return isValid() ? double(FOwner->MaxVal) : 0.0; }
  QVariant minimumStepSize() const override {
    if (!isValid() || FOwner->width() <= 10) return 0.0;
    return ((double)FOwner->MaxVal - FOwner->Origin()) / (FOwner->width() - 10);
  }
  void setCurrentValue(const QVariant& V) override {
    bool ok = false;
    const double wanted = V.toDouble(&ok);
    if (ok && isValid() && FOwner->isEnabled()) FOwner->DragThumbTo(FHigh, float(wanted));
  }

  const TQVRSlider* Slider() const { return FOwner.data(); }
  bool High() const { return FHigh; }

 private:
  float Value() const { return FHigh ? FOwner->Val2 : FOwner->Val1; }
  bool FHigh;
};

// The slider: its value reads "low to high", its two thumbs are its children.
class TRangeSliderAccessible : public QAccessibleWidget {
 public:
  explicit TRangeSliderAccessible(TQVRSlider* Slider) : QAccessibleWidget(Slider, QAccessible::Slider) {}
  ~TRangeSliderAccessible() override {
    for (QAccessible::Id id : FThumbs)
      if (id) QAccessible::deleteAccessibleInterface(id);
  }
  QString text(QAccessible::Text Kind) const override {
    if (Kind == QAccessible::Value)
      return ShownValue(Slider()->Val1) + QStringLiteral(" to ") + ShownValue(Slider()->Val2);
    return QAccessibleWidget::text(Kind);
  }
  int childCount() const override { return 2; }
  QAccessibleInterface* child(int Index) const override {
    if (Index < 0 || Index > 1) return nullptr;
    if (!FThumbs[Index])
      FThumbs[Index] = QAccessible::registerAccessibleInterface(new TThumbAccessible(Slider(), Index == 1));
    return QAccessible::accessibleInterface(FThumbs[Index]);
  }
  int indexOfChild(const QAccessibleInterface* Child) const override {
    const auto* thumb = dynamic_cast<const TThumbAccessible*>(Child);
    return thumb && thumb->Slider() == Slider() ? int(thumb->High()) : -1;
  }
  QAccessibleInterface* childAt(int X, int Y) const override {
    for (int i = 0; i < 2; ++i)
      if (child(i)->rect().contains(X, Y)) return child(i);
    return nullptr;
  }

 private:
  TQVRSlider* Slider() const { return static_cast<TQVRSlider*>(widget()); }
  mutable QAccessible::Id FThumbs[2] = {0, 0};
};

QAccessibleInterface* RangeSliderFactory(const QString& ClassName, QObject* Object) {
  if (ClassName == QLatin1String("TQVRSlider")) return new TRangeSliderAccessible(static_cast<TQVRSlider*>(Object));
  return nullptr;
}
}  // namespace

TQVRSlider::TQVRSlider(QWidget* Parent) : QWidget(Parent) {
  static const bool factory = [] {
    QAccessible::installFactory(RangeSliderFactory);
    return true;
  }();
  (void)factory;
  setMinimumHeight(10);
  setAttribute(Qt::WA_OpaquePaintEvent);
  // An interface made while the widget was still being built (an active
  // screen reader asks at once) is a plain widget's: drop it.
  if (QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(this);
      iface && !dynamic_cast<TRangeSliderAccessible*>(iface))
    QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(iface));
}

bool TQVRSlider::PositionOf(float Value, float& Position) const {
  // A track without length or a range of 0 has no mapping.
  const float origin = Origin();
  if (width() <= 10 || MaxVal == origin) return false;
  const float step = float(((long double)MaxVal - origin) / (width() - 10));
  Position = float(((long double)Value - origin) / step + 5);
  return true;
}

void TQVRSlider::SetPositions(float Low, float High) {
  const float origin = Origin();
  if (!(Low >= origin && High >= origin && Low <= MaxVal && High <= MaxVal)) return;
  float low = 0, high = 0;
  if (!PositionOf(Low, low) || !PositionOf(High, high)) return;
  FLowPos = low;
  FHighPos = high;
  FLowBeyond = FHighBeyond = false;
  Redraw();
}

void TQVRSlider::ShowLevels(float Low, float High) {
  const float origin = Origin();
  const bool track = width() > 10 && MaxVal > origin;
  FLowBeyond = !track || !(Low >= origin && Low <= MaxVal);
  FHighBeyond = !track || !(High >= origin && High <= MaxVal);
  if (track) {
    // NaN goes to the start.
    auto onTrack = [&](float V) { return V > origin ? std::min(V, MaxVal) : origin; };
    PositionOf(onTrack(Low), FLowPos);
    PositionOf(onTrack(High), FHighPos);
  }
  FLowLevel = Low;
  FHighLevel = High;
  FLowBeyondAt = FLowPos;
  FHighBeyondAt = FHighPos;
  Redraw();
}

void TQVRSlider::DragThumbTo(bool High, float Value) {
  const float origin = Origin();
  float position = 0;
  if (!PositionOf(Value > origin ? std::min(Value, MaxVal) : origin, position)) return;
  const int y = height() / 2;
  if (OnMouseDown) OnMouseDown(this, Qt::LeftButton, High ? FHighPixel : FLowPixel, y);
  (High ? FHighPos : FLowPos) = position;
  Redraw();
  if (OnMouseUp) OnMouseUp(this, Qt::LeftButton, High ? FHighPixel : FLowPixel, y);
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
  const float origin = Origin();
  const float scale = float(((long double)MaxVal - origin) / (width() - 10));
  if (FLowPos >= -2.0e32f && FLowPos <= 2.0e32f && FHighPos >= -2.0e32f && FHighPos <= 2.0e32f) {
    // A level beyond the track holds until its thumb moves.
    if (FLowBeyond && FLowPos != FLowBeyondAt) FLowBeyond = false;
    if (FHighBeyond && FHighPos != FHighBeyondAt) FHighBeyond = false;
    Val1 = FLowBeyond ? FLowLevel : float(((long double)FLowPos - 5) * scale + origin);
    Val2 = FHighBeyond ? FHighLevel : float(((long double)FHighPos - 5) * scale + origin);
    if (OnChange) OnChange(this);
    if (QAccessible::isActive()) {
      QAccessibleValueChangeEvent changed(this, QVariant());
      QAccessible::updateAccessibility(&changed);
    }
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
