#include "toolbars/DockHooks.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QSet>
#include <QWidget>
#include <algorithm>
#include <climits>
#include <cstdio>
#include <vector>

#include "toolbars/DockToolWindow.h"

namespace DockHooks {
namespace {

struct THookRecord {
  THookProcedure Proc;
  int RefCount;
  THookProcKinds Kinds;
};

std::vector<THookRecord>* Records = nullptr;
int TypeCounts[3] = {0, 0, 0};

class THookFilter : public QObject {
 public:
  bool eventFilter(QObject* Watched, QEvent* Event) override {
    // Cheap first: only a handful of event types matter.
    switch (Event->type()) {
      case QEvent::ApplicationStateChange:
        if (Watched == qApp && TypeCounts[htCallWndProc] > 0) Dispatch(hpSendActivateApp, Watched, Event);
        break;
      case QEvent::Move:
      case QEvent::Resize:
      case QEvent::Show:
      case QEvent::Hide:
      case QEvent::WindowStateChange:
        if (Watched->isWidgetType()) {
          if (Event->type() == QEvent::Show && TypeCounts[htCBT] > 0) WatchDestruction(static_cast<QWidget*>(Watched));
          if (TypeCounts[htCallWndProc] > 0) Dispatch(hpSendWindowPosChanged, Watched, Event);
        }
        break;
      case QEvent::MouseMove:
        if (TypeCounts[htGetMessage] > 0 && Watched->isWidgetType()) Dispatch(hpPostMouseMove, Watched, Event);
        break;
      default:
        break;
    }
    return false;
  }

  static void Dispatch(THookProcKind Code, QObject* Wnd, QEvent* Event) {
    if (!Records) return;
    // A procedure may unregister itself or others while it runs.
    const std::vector<THookRecord> copy = *Records;
    for (const THookRecord& r : copy)
      if (r.Kinds & Kind(Code)) r.Proc(Code, Wnd, Event);
  }

 private:
  // Top-level windows report their destruction once they have been shown.
  void WatchDestruction(QWidget* W) {
    if (!W->isWindow() || Watched.contains(W)) return;
    Watched.insert(W);
    connect(W, &QObject::destroyed, this, [this](QObject* O) {
      Watched.remove(O);
      if (TypeCounts[htCBT] > 0) Dispatch(hpPreDestroy, O, nullptr);
    });
  }
  QSet<QObject*> Watched;
};

QPointer<THookFilter> Filter;

void UpdateFilter() {
  const bool needed = TypeCounts[0] > 0 || TypeCounts[1] > 0 || TypeCounts[2] > 0;
  if (needed && !Filter && qApp) {
    Filter = new THookFilter;
    Filter->moveToThread(qApp->thread());
    qApp->installEventFilter(Filter);
  } else if (!needed && Filter) {
    delete Filter.data();
  }
}

unsigned TypesOfKinds(THookProcKinds Kinds) {
  unsigned t = 0;
  if (Kinds & (Kind(hpSendActivateApp) | Kind(hpSendWindowPosChanged))) t |= 1u << htCallWndProc;
  if (Kinds & Kind(hpPreDestroy)) t |= 1u << htCBT;
  if (Kinds & Kind(hpPostMouseMove)) t |= 1u << htGetMessage;
  return t;
}

void InstallHooks(unsigned Types) {
  for (int i = 0; i < 3; ++i)
    if (Types & (1u << i)) ++TypeCounts[i];
  UpdateFilter();
}

void UninstallHooks(unsigned Types) {
  for (int i = 0; i < 3; ++i)
    if ((Types & (1u << i)) && TypeCounts[i] > 0) --TypeCounts[i];
  UpdateFilter();
}

}  // namespace

void RegisterHookProcedure(THookProcedure Proc, THookProcKinds Kinds, bool Designing) {
  if (!Records) Records = new std::vector<THookRecord>;
  bool found = false;
  for (THookRecord& r : *Records)
    if (r.Proc == Proc) {
      ++r.RefCount;
      found = true;
      break;
    }
  if (!found) Records->push_back({Proc, 1, Kinds});
  if (!Designing) InstallHooks(TypesOfKinds(Kinds));
}

void UnregisterHookProcedure(THookProcedure Proc) {
  if (!Records) return;
  for (auto it = Records->begin(); it != Records->end(); ++it) {
    if (it->Proc != Proc) continue;
    const THookProcKinds kinds = it->Kinds;
    if (--it->RefCount == 0) Records->erase(it);
    UninstallHooks(TypesOfKinds(kinds));
    break;
  }
  if (Records->empty()) {
    delete Records;
    Records = nullptr;
  }
}

int HookUseCount(THookType Type) { return TypeCounts[Type]; }
bool FilterInstalled() { return !Filter.isNull(); }
int RegisteredCount(THookProcedure Proc) {
  if (!Records) return 0;
  for (const THookRecord& r : *Records)
    if (r.Proc == Proc) return r.RefCount;
  return 0;
}

bool IsApplicationActive() { return QGuiApplication::applicationState() == Qt::ApplicationActive; }

}  // namespace DockHooks

// ---------------- Helpers of the library ----------------

int DockOrientationOf(TDock* Dock) {
  if (!Dock) return 0;
  return DockLayout::OrientationOf(Dock->Position());
}

int GetToolWindowDockPosition(QWidget* Control) {
  for (QWidget* w = Control; w; w = w->parentWidget())
    if (auto* tw = qobject_cast<TCustomToolWindow*>(w)) {
      if (tw->Docked() && tw->DockedTo()) return int(tw->DockedTo()->Position());
      return 4;
    }
  return 4;
}

QWidget* GetToolWindowParentForm(QWidget* Control) {
  QWidget* form = nullptr;
  for (QWidget* w = Control ? Control->parentWidget() : nullptr; w; w = w->parentWidget())
    if (w->isWindow()) form = w;
  if (auto* host = qobject_cast<TFloatingWindowParent*>(form)) return host->ParentForm();
  if (!form) {
    if (auto* tw = qobject_cast<TCustomToolWindow*>(Control)) return tw->OwnerForm();
  }
  return form;
}

QWidget* GetValidToolWindowParentForm(QWidget* Control) {
  QWidget* form = GetToolWindowParentForm(Control);
  if (!form) {
    char text[512];
    std::snprintf(text, sizeof text, DockConst::SParentRequired, Control->objectName().toLocal8Bit().constData());
    throw EInvalidOperation(text);
  }
  return form;
}

QWidget* GetMDIParentForm(QWidget* Form) {
  if (auto* sub = qobject_cast<QMdiSubWindow*>(Form))
    if (sub->mdiArea()) return sub->mdiArea()->window();
  return Form;
}

QRect GetDesktopWorkArea() {
  if (QScreen* s = QGuiApplication::primaryScreen()) return s->availableGeometry();
  return QRect(0, 0, 640, 480);
}

QRect GetMonitorWorkArea(const QRect& R) {
  const QList<QScreen*> screens = QGuiApplication::screens();
  if (screens.size() <= 1) return GetDesktopWorkArea();
  // Largest intersection, else the nearest.
  QScreen* best = nullptr;
  long long bestArea = 0;
  for (QScreen* s : screens) {
    const QRect i = s->geometry().intersected(R);
    const long long a = i.isEmpty() ? 0 : (long long)i.width() * i.height();
    if (a > bestArea) bestArea = a, best = s;
  }
  if (!best) {
    long long bestDist = LLONG_MAX;
    for (QScreen* s : screens) {
      const QRect g = s->geometry();
      const long long dx = std::max({0, g.left() - R.right(), R.left() - g.right()});
      const long long dy = std::max({0, g.top() - R.bottom(), R.top() - g.bottom()});
      if (dx * dx + dy * dy < bestDist) bestDist = dx * dx + dy * dy, best = s;
    }
  }
  return best ? best->availableGeometry() : GetDesktopWorkArea();
}

QRect GetMonitorWorkAreaOfPoint(const QPoint& P) { return GetMonitorWorkArea(QRect(P, QSize(1, 1))); }

void DispatchPaintMessages() { QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest); }

QWidget* FindTopLevelWindowOfThread(QWidget* Exclude) {
  QWidget* fallback = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w == Exclude || !w->isVisible() || !w->isEnabled()) continue;
    if (w->windowType() == Qt::ToolTip || w->windowType() == Qt::Popup) continue;
    if (!(w->windowFlags() & Qt::WindowStaysOnTopHint)) return w;
    if (!fallback) fallback = w;
  }
  return fallback;
}

// ---------------- Outline ----------------

TDragOutline::TDragOutline()
    : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowTransparentForInput |
                           Qt::X11BypassWindowManagerHint | Qt::WindowStaysOnTopHint) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAttribute(Qt::WA_ShowWithoutActivating);
  setObjectName(QStringLiteral("DragOutline"));
  setAccessibleName(QStringLiteral("Toolbar drag outline"));
}

void TDragOutline::SetOutline(const QRect& R, int Thickness) {
  FRect = R;
  FThickness = Thickness;
  if (R.isEmpty()) {
    hide();
    return;
  }
  setGeometry(R);
  const QRegion outer(0, 0, R.width(), R.height());
  setMask(outer.subtracted(QRegion(Thickness, Thickness, R.width() - 2 * Thickness, R.height() - 2 * Thickness)));
  show();
  update();
}

void TDragOutline::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
  p.fillRect(rect(), QBrush(Qt::black, Qt::Dense4Pattern));
}
