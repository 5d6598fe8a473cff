#pragma once
// What the program's small dialogs share: modal results with the class
// library's numbers (OK 1, Cancel 2), a program picture, and hooks that
// answer the standard colour and font dialogs in tests.
#include <QColor>
#include <QDialog>
#include <QFont>
#include <QList>
#include <QPixmap>
#include <QUrl>
#include <functional>

#include "platform/MessageBox.h"

class QPushButton;

class TForm : public QDialog {
  Q_OBJECT
 public:
  explicit TForm(QWidget* Parent = nullptr);
  // Ends the modal loop with a modal result (mrOk, mrCancel).
  void SetModalResult(int Result) { done(Result); }
  int ShowModal() { return exec(); }
  void reject() override { done(mrCancel); }
  // Cancel leaves the choices of a modal dialog as they were when it opened.
  void done(int Result) override;
  // The help topic F1 opens; 0 for the contents.
  int HelpContext = 0;
  // The address of a help topic in the program's help page.
  static QUrl HelpTopic(int Context);

 protected:
  void keyPressEvent(class QKeyEvent* Event) override;
  // "OK" (default) and, unless OkOnly, "Cancel"; Cancel ends with mrCancel.
  QPushButton* btnOK = nullptr;
  QPushButton* btnCancel = nullptr;
  class QHBoxLayout* MakeButtons(bool OkOnly = false);
  bool event(QEvent* Event) override;
  // The controls of Part are tools rather than choices (a brush, its width):
  // Cancel leaves them as the user set them.
  static void KeptOnCancel(QWidget* Part);

 private:
  // Puts each choice back as the opening found it.
  QList<std::function<void()>> FRestoreChoices;
};

// Keyboard use of a window: Tab follows the reading order of its layouts
// (grid rows left to right, top to bottom; a tab widget's tabs before its
// pages), and each showing puts the focus on its first input. TForm installs
// it; tool windows call Install from their constructors.
namespace KeyboardOrder {
void Install(QWidget* Window);
// The window's controls that take the focus by Tab, in reading order.
QList<QWidget*> ReadingOrder(QWidget* Window);
// The first control in the Tab order that takes input, skipping buttons,
// page tabs and pictures; without one, the default button or the first
// control; null when nothing takes the focus.
QWidget* FirstInput(QWidget* Window);
}  // namespace KeyboardOrder

// Opens a help page in the browser; says so in an error box when no browser
// could show it.
bool ShowHelpPage(const QUrl& Page, QWidget* Parent = nullptr);

// The picture of the splash window and the About box.
QPixmap ProgramPicture();

namespace StandardDialogs {
// The colour dialog (full open); false on Cancel.
bool ChooseColour(QColor& Colour, QWidget* Parent = nullptr);
bool ChooseFont(QFont& Font, QWidget* Parent = nullptr);
using TColourHook = std::function<bool(QColor&)>;
using TFontHook = std::function<bool(QFont&)>;
TColourHook SetColourHook(TColourHook Hook);
TFontHook SetFontHook(TFontHook Hook);
}  // namespace StandardDialogs
