#pragma once
// Where the keyboard was when a modal box or dialog opened, so that it goes
// back there when the box closes, not to whichever window the window system
// hands it (the main window behind a tool window, say).
//
//   TKeyboardReturn back(Parent);
//   dialog.exec();
//   back.Restore();
#include <QPointer>
#include <QWidget>

class TKeyboardReturn {
 public:
  // The active window and its focused control; while no shown window is
  // active (the one that was has just closed), Parent's window and the
  // control it last had focused.
  explicit TKeyboardReturn(QWidget* Parent = nullptr);
  // Gives that window the keyboard again, on that control, unless the
  // window has gone or another modal window has taken over.
  void Restore() const;

 private:
  QPointer<QWidget> FWindow;
  QPointer<QWidget> FFocus;
};
