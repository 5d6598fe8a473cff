#pragma once
// The integer twin of TFloatEdit: decimal text, clamping range, no decimal
// separator.
#include <QLineEdit>
#include <functional>

#include "app/FloatEdit.h"

class TIntEdit : public QLineEdit {
  Q_OBJECT
 public:
  explicit TIntEdit(QWidget* Parent = nullptr);

  // Empty text: DefaultValue. A text that is not a whole number focuses the
  // box and throws EPropertyError.
  int Value() const;
  void SetValue(int V);
  int DefaultValue() const { return FDefaultValue; }
  void SetDefaultValue(int D);
  int MinValue() const { return FMinValue; }
  void SetMinValue(int V);
  int MaxValue() const { return FMaxValue; }
  void SetMaxValue(int V);
  int Increment() const { return FIncrement; }
  void SetIncrement(int V) { FIncrement = V; }

  // Equal bounds: no range; otherwise clamped.
  int Constrain(long long V) const;
  int ConstrainedValue() const { return Constrain(Value()); }

  std::function<void(TIntEdit* Sender, QChar& Key)> OnKeyPress;

 protected:
  void keyPressEvent(QKeyEvent* Event) override;
  void wheelEvent(QWheelEvent* Event) override;
  void focusOutEvent(QFocusEvent* Event) override;

 private:
  int FDefaultValue = 0, FMinValue = 0, FMaxValue = 0, FIncrement = 0;
};
