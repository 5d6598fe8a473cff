#pragma once
// An edit box for a floating-point number with a range rule. Dialogs read
// Value when they run their operation; Constrain() applies the range.
#include <QLineEdit>
#include <functional>
#include <stdexcept>
#include <string>

// A property that refused a value or a text that is not a number; the
// application's handler shows its text.
class EPropertyError : public std::runtime_error {
 public:
  explicit EPropertyError(const std::string& What) : std::runtime_error(What) {}
};

// Maps a key event to the character the box sees: Enter 13, Backspace 8,
// Escape 27, Tab 9, printable text as typed; 0 for keys without a character.
QChar KeyEventChar(const class QKeyEvent* Event);

class TFloatEdit : public QLineEdit {
  Q_OBJECT
 public:
  explicit TFloatEdit(QWidget* Parent = nullptr);

  // Empty text: DefaultValue. A text that is not a number focuses the box and
  // throws EPropertyError.
  long double Value() const;
  // Writes Constrain(V) in the general format ("5", "2E32").
  void SetValue(long double V);
  long double DefaultValue() const { return FDefaultValue; }
  void SetDefaultValue(long double D);
  long double MinValue() const { return FMinValue; }
  void SetMinValue(long double V);
  long double MaxValue() const { return FMaxValue; }
  void SetMaxValue(long double V);
  long double Increment() const { return FIncrement; }
  void SetIncrement(long double V) { FIncrement = V; }
  bool IncludeBounds() const { return FIncludeBounds; }
  void SetIncludeBounds(bool B);

  // Equal bounds: no range. With IncludeBounds the value is clamped; without,
  // anything not strictly inside becomes the middle of the range.
  long double Constrain(long double V) const;
  // The value as a dialog takes it on OK: Constrain(Value()).
  long double ConstrainedValue() const { return Constrain(Value()); }

  // Every accepted character, Enter included; setting Key to 0 consumes it.
  std::function<void(TFloatEdit* Sender, QChar& Key)> OnKeyPress;

 protected:
  void keyPressEvent(QKeyEvent* Event) override;
  void wheelEvent(QWheelEvent* Event) override;
  void focusOutEvent(QFocusEvent* Event) override;

 private:
  long double FDefaultValue = 0, FMinValue = 0, FMaxValue = 0, FIncrement = 0;
  bool FIncludeBounds = true;
};
