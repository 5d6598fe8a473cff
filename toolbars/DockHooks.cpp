#include "toolbars/DockHooks.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QSet>
#include <QWidget>
#include <vector>

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
