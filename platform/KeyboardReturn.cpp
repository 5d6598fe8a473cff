#include "platform/KeyboardReturn.h"

#include <QApplication>
#include <QEvent>

namespace {
// A window the keyboard was sent back to that the window system has not yet
// made active: until it has, or the user presses a key or a button, the
// keyboard belongs there, whichever window the window system has meanwhile
// reported active (the main window, as a dialog closes).
class TPendingReturn : public QObject {
 public:
  QPointer<QWidget> Window;
  bool eventFilter(QObject*, QEvent* Event) override {
    if (Event->type() == QEvent::KeyPress || Event->type() == QEvent::MouseButtonPress) Window = nullptr;
    return false;
  }
};

TPendingReturn* Pending() {
  static QPointer<TPendingReturn> pending;
  if (!pending && qApp) {
    pending = new TPendingReturn;
    pending->setParent(qApp);
    qApp->installEventFilter(pending);
  }
  return pending;
}
}  // namespace

TKeyboardReturn::TKeyboardReturn(QWidget* Parent) {
  QWidget* window = QApplication::activeWindow();
  if (TPendingReturn* pending = Pending();
      pending && pending->Window && pending->Window->isVisible() && pending->Window != window)
    window = pending->Window;
  if ((!window || !window->isVisible()) && Parent) window = Parent->window();
  if (!window || !window->isVisible()) return;
  FWindow = window;
  QWidget* focus = QApplication::focusWidget();
  FFocus = focus && focus->window() == window ? focus : window->focusWidget();
}

void TKeyboardReturn::Restore() const {
  const QWidget* modal = QApplication::activeModalWidget();
  if (!FWindow || !FWindow->isVisible() || (modal && modal != FWindow)) return;
  if (FFocus && FFocus->window() == FWindow && FFocus->isVisible() && FFocus->isEnabled())
    FFocus->setFocus(Qt::ActiveWindowFocusReason);
  if (QApplication::activeWindow() != FWindow) {
    FWindow->activateWindow();
    if (TPendingReturn* pending = Pending()) pending->Window = FWindow;
  }
}
