#pragma once
// A reference-counted registry of procedures that learn about application
// activation, window position changes, window destruction and mouse moves
// anywhere in the program. One application event filter serves them all; it
// exists while any procedure needs it. Beside it, the library's helpers:
// forms, monitors and work areas, and the outline drawn while dragging.
#include <QPoint>
#include <QRect>
#include <QWidget>

#include "toolbars/DockLayout.h"

class QEvent;
class QObject;
class TDock;

namespace DockHooks {

enum THookProcKind { hpSendActivateApp = 0, hpSendWindowPosChanged = 1, hpPreDestroy = 2, hpPostMouseMove = 3 };
using THookProcKinds = unsigned;  // bit (1 << kind) per kind
inline constexpr THookProcKinds Kind(THookProcKind K) { return 1u << unsigned(K); }

// Code: the kind; Wnd: the object the event is for; Event: the event (nullptr
// for a destruction).
using THookProcedure = void (*)(THookProcKind Code, QObject* Wnd, QEvent* Event);

void RegisterHookProcedure(THookProcedure Proc, THookProcKinds Kinds, bool Designing = false);
void UnregisterHookProcedure(THookProcedure Proc);

// How many users each of the three event sources has (activation and
// position; destruction; mouse moves), and whether the filter is installed.
enum THookType { htCallWndProc = 0, htCBT = 1, htGetMessage = 2 };
int HookUseCount(THookType Type);
bool FilterInstalled();
int RegisteredCount(THookProcedure Proc);

bool IsApplicationActive();

}  // namespace DockHooks

// Rectangles between Qt and the layout arithmetic.
inline DockLayout::TRect ToLayoutRect(const QRect& R) {
  return {R.left(), R.top(), R.left() + R.width(), R.top() + R.height()};
}
inline QRect FromLayoutRect(const DockLayout::TRect& R) { return QRect(R.Left, R.Top, R.Width(), R.Height()); }

// Helpers of the library.
int DockOrientationOf(TDock* Dock);
// The Position of the dock of the nearest tool window holding Control, 4 when
// there is none or it floats.
int GetToolWindowDockPosition(QWidget* Control);
QWidget* GetToolWindowParentForm(QWidget* Control);
QWidget* GetValidToolWindowParentForm(QWidget* Control);
QWidget* GetMDIParentForm(QWidget* Form);
QRect GetDesktopWorkArea();
QRect GetMonitorWorkArea(const QRect& R);
QRect GetMonitorWorkAreaOfPoint(const QPoint& P);
void DispatchPaintMessages();
QWidget* FindTopLevelWindowOfThread(QWidget* Exclude);

// A frameless, input-transparent window showing a checkerboard frame: the
// outline of a drag or resize.
class TDragOutline : public QWidget {
 public:
  TDragOutline();
  // An empty rectangle hides it.
  void SetOutline(const QRect& R, int Thickness);
  QRect Outline() const { return FRect; }
  int Thickness() const { return FThickness; }

 protected:
  void paintEvent(class QPaintEvent* Event) override;

 private:
  QRect FRect;
  int FThickness = 1;
};
