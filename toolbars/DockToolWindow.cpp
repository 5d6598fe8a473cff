#include "toolbars/DockToolWindow.h"

#include <QAccessible>
#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMoveEvent>
#include <QResizeEvent>
#include <algorithm>

namespace {
std::vector<TCustomToolWindow*> GToolWindows;
}  // namespace

// ---------------- TFloatingWindowParent ----------------

TFloatingWindowParent::TFloatingWindowParent(QWidget* ParentForm)
    : QWidget(ParentForm, Qt::Tool | Qt::FramelessWindowHint), FParentForm(ParentForm) {
  setAttribute(Qt::WA_ShowWithoutActivating);
  setObjectName(QStringLiteral("DockFloatingWindowParent_%1")
                    .arg(quint32(reinterpret_cast<quintptr>(this) & 0xFFFFFFFFu), 8, 16, QLatin1Char('0')));
  setMinimumSize(1, 1);
  setMaximumSize(32767, 32767);
}

TFloatingWindowParent::~TFloatingWindowParent() {
  // The hosted window goes first, while this is still its host.
  for (auto* w : findChildren<TCustomToolWindow*>(QString(), Qt::FindDirectChildrenOnly)) {
    w->FFloatParent = nullptr;
    delete w;
  }
}

void TFloatingWindowParent::UpdateShowing() {
  if (ShouldBeVisible == isVisible()) return;
  if (!ShouldBeVisible && isActiveWindow()) {
    // The activation passes to another window of the program.
    if (QWidget* next = FindTopLevelWindowOfThread(this)) next->activateWindow();
  }
  setVisible(ShouldBeVisible);
}

void TFloatingWindowParent::keyPressEvent(QKeyEvent* Event) {
  if (Event->key() == Qt::Key_Escape && Event->modifiers() == Qt::NoModifier && FParentForm) {
    FParentForm->activateWindow();
    FParentForm->setFocus();
    return;
  }
  QWidget::keyPressEvent(Event);
}

void TFloatingWindowParent::closeEvent(QCloseEvent* Event) {
  // Alt+F4 on a floating window closes the program's frame, through its own
  // close path.
  Event->ignore();
  if (QWidget* frame = GetMDIParentForm(FParentForm))
    QMetaObject::invokeMethod(frame, "close", Qt::QueuedConnection);
}

void TFloatingWindowParent::changeEvent(QEvent* Event) {
  QWidget::changeEvent(Event);
  if (Event->type() != QEvent::ActivationChange || !isActiveWindow()) return;
  // A floating toolbar does not keep the activation: it comes to the top and
  // its frame form stays the active window.
  auto* w = findChild<TCustomToolWindow*>(QString(), Qt::FindDirectChildrenOnly);
  if (!w || !w->ActivateParent || w->FloatingMode != fmOnTopOfParentForm) return;
  raise();
  if (QWidget* frame = GetMDIParentForm(FParentForm)) {
    if (frame->isVisible() && !frame->isMinimized()) frame->activateWindow();
  }
}

void TFloatingWindowParent::moveEvent(QMoveEvent* Event) {
  QWidget::moveEvent(Event);
  if (auto* w = findChild<TCustomToolWindow*>(QString(), Qt::FindDirectChildrenOnly)) w->HostMoved();
}

// ---------------- TCustomToolWindow ----------------

TCustomToolWindow::TCustomToolWindow(QWidget* Owner) : QWidget(nullptr), FOwnerForm(Owner) {
  static const bool accessible = (QAccessible::installFactory(&TCustomToolWindow::AccessibleFactory), true);
  (void)accessible;
  FBar.Owner = this;
  GToolWindows.push_back(this);
  setMouseTracking(true);
  setFocusPolicy(Qt::NoFocus);
  DockHooks::RegisterHookProcedure(&TCustomToolWindow::ToolWindowHook,
                                   DockHooks::Kind(DockHooks::hpSendActivateApp) |
                                       DockHooks::Kind(DockHooks::hpSendWindowPosChanged) |
                                       DockHooks::Kind(DockHooks::hpPreDestroy));
}

TCustomToolWindow::~TCustomToolWindow() {
  FDestroying = true;
  if (FDrag.Active || FResize.Active || FCloseTracking) {
    releaseMouse();
    releaseKeyboard();
  }
  SetOverrideNoCursor(false);
  delete FOutline;
  if (FDockedTo) FDockedTo->ChangeDockList(false, this);
  if (FLastDock && FLastDock != FDockedTo) FLastDock->ChangeDockList(false, this);
  GToolWindows.erase(std::remove(GToolWindows.begin(), GToolWindows.end(), this), GToolWindows.end());
  if (FFloatParent) FFloatParent->deleteLater();
  DockHooks::UnregisterHookProcedure(&TCustomToolWindow::ToolWindowHook);
}

const std::vector<TCustomToolWindow*>& TCustomToolWindow::AllToolWindows() { return GToolWindows; }

std::vector<TCustomToolWindow*> TCustomToolWindow::FloatingToolWindows() {
  std::vector<TCustomToolWindow*> out;
  for (TCustomToolWindow* w : GToolWindows)
    if (w->Floating()) out.push_back(w);
  return out;
}

void TCustomToolWindow::ToolWindowHook(DockHooks::THookProcKind Code, QObject* Wnd, QEvent* Event) {
  if (Code == DockHooks::hpSendActivateApp) {
    // Losing the application ends a drag, a resize or the close button's
    // tracking without effect, as losing the mouse capture would.
    if (!DockHooks::IsApplicationActive())
      for (TCustomToolWindow* w : GToolWindows) {
        if (w->FDrag.Active) w->EndDrag(false);
        if (w->FResize.Active) w->EndResize(false);
        if (w->FCloseTracking) w->EndCloseTracking(false);
      }
    for (TCustomToolWindow* w : FloatingToolWindows()) w->UpdateVisibility();
  } else if (Code == DockHooks::hpSendWindowPosChanged) {
    const QEvent::Type t = Event->type();
    if (t != QEvent::Show && t != QEvent::Hide && t != QEvent::WindowStateChange) return;
    for (TCustomToolWindow* w : FloatingToolWindows()) {
      if (w->FloatingMode != fmOnTopOfParentForm || !w->FFloatParent) continue;
      QWidget* form = w->FFloatParent->ParentForm();
      if (form && (Wnd == form || Wnd == GetMDIParentForm(form))) w->UpdateVisibility();
    }
  }
  // Destruction needs nothing here: a host is a child of its form and goes with it.
}

QColor TCustomToolWindow::Color() const { return palette().color(QPalette::Button); }

void TCustomToolWindow::SetCaption(const QString& Value) {
  setWindowTitle(Value);
  setAccessibleName(Value);
  if (FFloatParent) {
    FFloatParent->setWindowTitle(Value);
    FFloatParent->setAccessibleName(Value);
  }
  update();
}

void TCustomToolWindow::SetBorderStyle(TBorderStyle Value) {
  FBorderStyle = Value;
  update();
}

void TCustomToolWindow::SetCloseButton(bool Value) {
  FCloseButton = Value;
  update();
}

void TCustomToolWindow::SetCloseButtonWhenDocked(bool Value) {
  if (Value == FCloseButtonWhenDocked) return;
  FCloseButtonWhenDocked = Value;
  if (FDocked) RecalcNCArea();
}

void TCustomToolWindow::SetDragHandleStyle(TDragHandleStyle Value) {
  if (Value == FDragHandleStyle) return;
  FDragHandleStyle = Value;
  if (FDocked) RecalcNCArea();
}

void TCustomToolWindow::SetShowCaption(bool Value) {
  if (Value == FShowCaption) return;
  FShowCaption = Value;
  if (Floating()) RecalcNCArea();
}

void TCustomToolWindow::SetResizable(bool Value) {
  if (Value == FResizable) return;
  FResizable = Value;
  if (Floating()) RecalcNCArea();
}

void TCustomToolWindow::SetHideWhenInactive(bool Value) {
  FHideWhenInactive = Value;
  UpdateVisibility();
}

void TCustomToolWindow::SetDockPos(int Value) {
  FBar.DockPos = DockLayout::ClampCoordinate(Value);
  if (FDocked && FDockedTo) FDockedTo->LayoutToolWindows(false);
}

void TCustomToolWindow::SetDockRow(int Value) {
  FBar.DockRow = std::clamp(Value, 0, DockLayout::MaxCoordinate);
  if (FDocked && FDockedTo) FDockedTo->LayoutToolWindows(false);
}

void TCustomToolWindow::SetFullSize(bool Value) {
  if (Value == FBar.FullSize) return;
  FBar.FullSize = Value;
  ResizeForCurrentDock();
  if (FDocked && FDockedTo) FDockedTo->LayoutToolWindows(false);
}

void TCustomToolWindow::SetFloatingPosition(const QPoint& Value) {
  FFloatingPosition = QPoint(DockLayout::ClampCoordinate(Value.x()), DockLayout::ClampCoordinate(Value.y()));
}

void TCustomToolWindow::SetDockedTo(TDock* Value) {
  if (Value) SetParent(Value);
  else SetParent(GetValidToolWindowParentForm(this));
}

void TCustomToolWindow::SetLastDock(TDock* Value) {
  if (FUseLastDock && FDocked) Value = FDockedTo;
  if (Value == FLastDock) return;
  if (FLastDock && FLastDock.data() != parentWidget()) FLastDock->ChangeDockList(false, this);
  FLastDock = Value;
  if (Value) {
    FUseLastDock = true;
    Value->ChangeDockList(true, this);
  }
}

void TCustomToolWindow::SetUseLastDock(bool Value) {
  if (Value == FUseLastDock) return;
  FUseLastDock = Value;
  if (Value) {
    SetLastDock(FDockedTo);
  } else {
    TDock* old = FLastDock;
    FLastDock = nullptr;
    if (old && old != parentWidget()) old->ChangeDockList(false, this);
  }
}

void TCustomToolWindow::setVisible(bool Visible) {
  // Qt hides a shown widget while it changes parents; that is not the
  // window's own visibility.
  if (FReparenting) {
    QWidget::setVisible(Visible);
    return;
  }
  const bool changed = Visible != FVisible;
  FVisible = Visible;
  QWidget::setVisible(Visible);
  if (Floating()) UpdateVisibility();
  if (FDocked && FDockedTo && parentWidget() == FDockedTo) FDockedTo->ChangeVisibleList(this, false);
  if (changed && OnVisibleChanged) OnVisibleChanged(this);
}

QRect TCustomToolWindow::Bounds() const {
  if (Floating()) return QRect(FFloatParent->pos(), size());
  return geometry();
}

void TCustomToolWindow::SetBounds(const QRect& R) {
  if (FUpdatingBounds == 0 && R.size() != size()) SizeChanging(R.width(), R.height());
  if (Floating()) {
    ++FUpdatingBounds;
    FHostPos = R.topLeft();
    FFloatParent->setGeometry(R);
    QWidget::setGeometry(0, 0, R.width(), R.height());
    --FUpdatingBounds;
    if (FUpdatingBounds == 0 && !FLoading) SetFloatingPosition(R.topLeft());
  } else {
    setGeometry(R);
  }
}

void TCustomToolWindow::HostMoved() {
  // The platform may report a position the window was given long ago.
  if (!FFloatParent || FFloatParent->pos() == FHostPos) return;
  FHostPos = FFloatParent->pos();
  if (FUpdatingBounds == 0 && !FLoading && FFloatParent) SetFloatingPosition(FFloatParent->pos());
  if (FMoveLock == 0 && !FLoading && OnMove) OnMove(this);
}

void TCustomToolWindow::SetParent(QWidget* NewParent) {
  auto* newDock = qobject_cast<TDock*>(NewParent);
  if (NewParent && (NewParent == this || isAncestorOf(NewParent)))
    throw EInvalidOperation(DockConst::STBToolwinParentNotAllowed);
  if (NewParent && !newDock && !NewParent->isWindow())
    throw EInvalidOperation(DockConst::STBToolwinParentNotAllowed);
  if (NewParent && !newDock && !qobject_cast<TFloatingWindowParent*>(NewParent)) {
    // A form: the window floats in a host of its own for that form.
    if (FFloatParent && FFloatParent->ParentForm() == NewParent) {
      NewParent = FFloatParent;
    } else {
      auto* host = new TFloatingWindowParent(NewParent);
      host->resize(1, 1);
      NewParent = host;
    }
  }
  QWidget* old = parentWidget();
  auto* oldDock = qobject_cast<TDock*>(old);
  if (NewParent == old) {
    FDocked = newDock != nullptr;
    FDockedTo = newDock;
  } else {
    const bool events = !FDestroying && NewParent;
    if (events) {
      if (OnDockChanging) OnDockChanging(this);
      if (OnDockChangingEx) OnDockChangingEx(this, newDock);
      if (OnRecreating) OnRecreating(this);
    }
    ++FHideLock;
    ++FMoveLock;
    UpdateVisibility();
    if (oldDock) oldDock->LockLayout();
    if (newDock) newDock->LockLayout();
    ++FUpdatingBounds;
    if (NewParent) {
      if (events && OnDockChangingHidden) OnDockChangingHidden(this, newDock);
      if (FLastOrientationKnown) Arrange(DockOrientationOf(newDock), newDock, false);
    }
    DisableArrange();
    if (oldDock) {
      if (!FUseLastDock) oldDock->ChangeDockList(false, this);
      oldDock->ChangeVisibleList(this, true);
    }
    auto* oldHost = qobject_cast<TFloatingWindowParent*>(old);
    FDocked = newDock != nullptr;
    FDockedTo = newDock;
    FReparenting = true;
    QWidget::setParent(NewParent);
    FReparenting = false;
    if (NewParent) QWidget::setVisible(FVisible);
    if (oldHost && oldHost != NewParent) {
      oldHost->hide();
      oldHost->deleteLater();
    }
    if (FFloatParent && FFloatParent.data() != NewParent) {
      FFloatParent->hide();
      FFloatParent->deleteLater();
    }
    FFloatParent = qobject_cast<TFloatingWindowParent*>(NewParent);
    if (newDock) {
      if (FUseLastDock) SetLastDock(newDock);
      else newDock->ChangeDockList(true, this);
      newDock->ChangeVisibleList(this, false);
    }
    if (auto* host = qobject_cast<TFloatingWindowParent*>(NewParent)) {
      host->setWindowTitle(Caption());
      host->setAccessibleName(Caption());
      FNC = NonClientMarginsFor(0, nullptr);
      setContentsMargins(FNC);
      SetBounds(QRect(FFloatingPosition, size()));
    } else if (NewParent) {
      FNC = NonClientMarginsFor(DockOrientationOf(newDock), newDock);
      setContentsMargins(FNC);
    }
    --FDisableArrange;
    if (NewParent) {
      FLastOrientation = DockOrientationOf(newDock);
      FLastOrientationKnown = true;
      ResizeForCurrentDock();
    }
    --FUpdatingBounds;
    if (newDock) newDock->UnlockLayout();
    if (oldDock) oldDock->UnlockLayout();
    --FHideLock;
    --FMoveLock;
    UpdateVisibility();
    if (NewParent && !FLoading && FMoveLock == 0 && OnMove) OnMove(this);
    if (events) {
      if (OnRecreated) OnRecreated(this);
      if (OnDockChanged) OnDockChanged(this);
    }
  }
  if (Floating()) SetBounds(QRect(FFloatingPosition, size()));
}

void TCustomToolWindow::Arrange(int Orientation, TDock* Dock, bool Resize) {
  if (FDisableArrange > 0 || FLoading || FDestroying || !parentWidget()) {
    FArrangePending = true;
    return;
  }
  FArrangePending = false;
  ++FDisableArrange;
  QSize ns = LayoutControls(true, Orientation, Dock);
  if (Resize) {
    if (FDocked && FDockedTo) {
      const int s = GetCurrentBaseSize();
      if (FDockedTo->Vertical()) {
        ns.setWidth(std::max(ns.width(), s));
        if (FBar.FullSize)
          ns.setHeight(FDockedTo->height() - FDockedTo->NonClientHeight() - NonClientHeight());
      } else {
        ns.setHeight(std::max(ns.height(), s));
        if (FBar.FullSize) ns.setWidth(FDockedTo->width() - FDockedTo->NonClientWidth() - NonClientWidth());
      }
    }
    ns += QSize(NonClientWidth(), NonClientHeight());
    if (ns != size()) {
      ++FUpdatingBounds;
      SetBounds(QRect(Bounds().topLeft(), ns));
      --FUpdatingBounds;
    }
  }
  --FDisableArrange;
}

void TCustomToolWindow::ResizeForCurrentDock() {
  if (Floating()) Arrange(0, nullptr, true);
  else Arrange(DockOrientationOf(FDocked ? FDockedTo.data() : nullptr), FDocked ? FDockedTo.data() : nullptr, true);
}

void TCustomToolWindow::EnableArrange() {
  if (FDisableArrange > 0) --FDisableArrange;
  if (FDisableArrange == 0 && FArrangePending) ResizeForCurrentDock();
}

int TCustomToolWindow::GetCurrentBaseSize() {
  if (FDocked && FDockedTo) {
    FDockedTo->ComputeRowSizes();
    return FDockedTo->GetRowSize(FBar.DockRow, this);
  }
  return GetBaseSize(0);
}

void TCustomToolWindow::KeepOnWorkArea(bool OnlyIfFullyOff) {
  if (!Floating()) return;
  const QRect r = Bounds();
  const QRect moved =
      FromLayoutRect(DockLayout::KeepOnWorkArea(ToLayoutRect(r), ToLayoutRect(GetMonitorWorkArea(r)), OnlyIfFullyOff));
  if (moved != r) SetBounds(moved);
}

bool TCustomToolWindow::ShouldBeVisible() const {
  if (!FVisible || FHideLock > 0) return false;
  if (!Floating()) return true;
  if (FloatingMode == fmOnTopOfParentForm) {
    QWidget* form = FFloatParent->ParentForm();
    QWidget* frame = GetMDIParentForm(form);
    for (QWidget* f : {form, frame})
      if (!f || !f->isVisible() || f->isMinimized()) return false;
  }
  if (FHideWhenInactive) return DockHooks::IsApplicationActive();
  return true;
}

void TCustomToolWindow::UpdateVisibility() {
  const bool inactive = Floating() && !FHideWhenInactive && !DockHooks::IsApplicationActive();
  if (inactive != FInactiveCaption) {
    FInactiveCaption = inactive;
    update(CaptionRect());
  }
  if (!Floating()) return;
  FFloatParent->ShouldBeVisible = ShouldBeVisible();
  if (FloatingMode == fmOnTopOfAllForms) {
    const bool onTop = isEnabled();
    if (bool(FFloatParent->windowFlags() & Qt::WindowStaysOnTopHint) != onTop) {
      FFloatParent->setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    }
  }
  FFloatParent->UpdateShowing();
}

void TCustomToolWindow::Loaded() {
  UpdateControlOrder();
  ResizeForCurrentDock();
}

void TCustomToolWindow::resizeEvent(QResizeEvent* Event) {
  QWidget::resizeEvent(Event);
  if (!FLoading && OnResize) OnResize(this);
  // A new length moves the others on the row; the dock's own placing does not.
  if (FDocked && FDockedTo && !FDockedTo->FInLayout) FDockedTo->LayoutToolWindows(false);
  update();
}

void TCustomToolWindow::moveEvent(QMoveEvent* Event) {
  QWidget::moveEvent(Event);
  if (Floating()) return;  // the host reports floating moves
  if (FMoveLock == 0 && !FLoading && OnMove) OnMove(this);
  if (FDocked && FDockedTo && FDockedTo->UsingBackground() && FDockedTo->BackgroundOnToolbars()) update();
}
