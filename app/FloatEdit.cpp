#include "app/FloatEdit.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QWheelEvent>

#include "platform/NumFormat.h"

namespace {
char DecimalSeparator() {
  const QString s = QLocale().decimalPoint();
  return s.size() == 1 && s[0].unicode() < 128 ? char(s[0].unicode()) : '.';
}
}  // namespace

QChar KeyEventChar(const QKeyEvent* Event) {
  switch (Event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: return QChar(13);
    case Qt::Key_Backspace: return QChar(8);
    case Qt::Key_Escape: return QChar(27);
    case Qt::Key_Tab: return QChar(9);
    default: break;
  }
  const QString t = Event->text();
  return t.size() == 1 ? t[0] : QChar(0);
}

TFloatEdit::TFloatEdit(QWidget* Parent) : QLineEdit(Parent) { setText(QStringLiteral("0")); }

long double TFloatEdit::Value() const {
  const QString t = text();
  if (t.isEmpty()) return FDefaultValue;
  long double v = 0;
  if (!NumFormat::TryStrToFloat(t.toStdString(), v, DecimalSeparator())) {
    const_cast<TFloatEdit*>(this)->setFocus();
    throw EPropertyError("'" + t.toStdString() + "' is not a valid floating point value");
  }
  return v;
}

void TFloatEdit::SetValue(long double V) {
  setText(QString::fromStdString(NumFormat::FloatToStr(Constrain(V), DecimalSeparator())));
}

void TFloatEdit::SetDefaultValue(long double D) {
  if (D == FDefaultValue) return;
  if (Constrain(D) != D) throw EPropertyError("The default value must be between MinValue and MaxValue.");
  FDefaultValue = D;
}

void TFloatEdit::SetMinValue(long double V) {
  if (V == FMinValue) return;
  FMinValue = V;
  SetValue(Value());
  FDefaultValue = Constrain(FDefaultValue);
}

void TFloatEdit::SetMaxValue(long double V) {
  if (V == FMaxValue) return;
  FMaxValue = V;
  SetValue(Value());
  FDefaultValue = Constrain(FDefaultValue);
}

void TFloatEdit::SetIncludeBounds(bool B) {
  if (B == FIncludeBounds) return;
  FIncludeBounds = B;
  SetValue(Value());
}

long double TFloatEdit::Constrain(long double V) const {
  if (FMinValue == FMaxValue) return V;
  if (FIncludeBounds) {
    if (V < FMinValue) return FMinValue;
    if (V > FMaxValue) return FMaxValue;
    return V;
  }
  if (V > FMinValue && V < FMaxValue) return V;
  return (FMaxValue - FMinValue) / 2 + FMinValue;
}

void TFloatEdit::keyPressEvent(QKeyEvent* Event) {
  if (Event->key() == Qt::Key_Up) {
    SetValue(Value() + FIncrement);
    return;
  }
  if (Event->key() == Qt::Key_Down) {
    SetValue(Value() - FIncrement);
    return;
  }
  QChar c = KeyEventChar(Event);
  if (!c.isNull()) {
    const bool accepted = c.unicode() < 32 || c == QLatin1Char('+') || c == QLatin1Char('-') ||
                          (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
                          c == QLatin1Char(DecimalSeparator());
    if (!accepted) {
      QApplication::beep();
      Event->accept();
      return;
    }
    if (OnKeyPress) OnKeyPress(this, c);
    if (c.isNull()) {
      Event->accept();
      return;
    }
  }
  QLineEdit::keyPressEvent(Event);
}

void TFloatEdit::wheelEvent(QWheelEvent* Event) {
  const int dy = Event->angleDelta().y();
  if (dy > 0) SetValue(Value() + FIncrement);
  else if (dy < 0) SetValue(Value() - FIncrement);
  Event->accept();
}

void TFloatEdit::focusOutEvent(QFocusEvent* Event) {
  QLineEdit::focusOutEvent(Event);
  // Only leaving the box for another control counts: a box or menu that
  // takes the window's focus for a moment leaves the text alone.
  const Qt::FocusReason reason = Event->reason();
  if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) return;
  if (!text().isEmpty()) SetValue(Value());
}
