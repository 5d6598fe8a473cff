#include "app/IntEdit.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QWheelEvent>
#include <climits>

TIntEdit::TIntEdit(QWidget* Parent) : QLineEdit(Parent) { setText(QStringLiteral("0")); }

int TIntEdit::Value() const {
  const QString t = text();
  if (t.isEmpty()) return FDefaultValue;
  // Leading blanks, an optional sign and decimal digits, within 32 bits.
  int first = 0;
  while (first < t.size() && t[first] == QLatin1Char(' ')) ++first;
  const QString s = t.mid(first);
  bool ok = !s.isEmpty();
  long long v = 0;
  if (ok) {
    int i = 0;
    bool negative = false;
    if (s[0] == QLatin1Char('+') || s[0] == QLatin1Char('-')) {
      negative = s[0] == QLatin1Char('-');
      i = 1;
    }
    ok = i < s.size();
    for (; ok && i < s.size(); ++i) {
      if (s[i] < QLatin1Char('0') || s[i] > QLatin1Char('9')) ok = false;
      else {
        v = v * 10 + (s[i].unicode() - '0');
        if (v > 2147483648LL) ok = false;
      }
    }
    if (negative) v = -v;
    if (v > INT_MAX || v < INT_MIN) ok = false;
  }
  if (!ok) {
    const_cast<TIntEdit*>(this)->setFocus();
    throw EPropertyError("'" + t.toStdString() + "' is not a valid integer value");
  }
  return int(v);
}

void TIntEdit::SetValue(int V) { setText(QString::number(Constrain(V))); }

void TIntEdit::SetDefaultValue(int D) {
  if (D == FDefaultValue) return;
  if (Constrain(D) != D) throw EPropertyError("DefaultValue must be between MinValue and MaxValue");
  FDefaultValue = D;
}

void TIntEdit::SetMinValue(int V) {
  if (V == FMinValue) return;
  FMinValue = V;
  SetValue(Value());
  FDefaultValue = Constrain(FDefaultValue);
}

void TIntEdit::SetMaxValue(int V) {
  if (V == FMaxValue) return;
  FMaxValue = V;
  SetValue(Value());
  FDefaultValue = Constrain(FDefaultValue);
}

int TIntEdit::Constrain(long long V) const {
  if (FMinValue != FMaxValue) {
    if (V < FMinValue) return FMinValue;
    if (V > FMaxValue) return FMaxValue;
  }
  // Without a range a step past the integer limits wraps, as 32-bit sums do.
  return int(static_cast<unsigned>(static_cast<unsigned long long>(V)));
}

void TIntEdit::keyPressEvent(QKeyEvent* Event) {
  if (Event->key() == Qt::Key_Up) {
    SetValue(Constrain((long long)Value() + FIncrement));
    return;
  }
  if (Event->key() == Qt::Key_Down) {
    SetValue(Constrain((long long)Value() - FIncrement));
    return;
  }
  QChar c = KeyEventChar(Event);
  if (!c.isNull()) {
    const bool accepted = c.unicode() < 32 || c == QLatin1Char('+') || c == QLatin1Char('-') ||
                          (c >= QLatin1Char('0') && c <= QLatin1Char('9'));
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

void TIntEdit::wheelEvent(QWheelEvent* Event) {
  const int dy = Event->angleDelta().y();
  if (dy > 0) SetValue(Constrain((long long)Value() + FIncrement));
  else if (dy < 0) SetValue(Constrain((long long)Value() - FIncrement));
  Event->accept();
}

void TIntEdit::focusOutEvent(QFocusEvent* Event) {
  QLineEdit::focusOutEvent(Event);
  // Only leaving the box for another control counts: a box or menu that
  // takes the window's focus for a moment leaves the text alone.
  const Qt::FocusReason reason = Event->reason();
  if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) return;
  if (!text().isEmpty()) SetValue(Value());
}
