#include "toolbars/DockDragging.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <qdrawutil.h>
#include <algorithm>

#include "toolbars/DockToolWindow.h"

namespace {
// A raised edge one pixel wide: highlight on the top and left, shadow on the
// bottom and right.
void RaisedEdge(QPainter& P, const QRect& R, const QPalette& Pal) {
  P.setPen(Pal.color(QPalette::Light));
  P.drawLine(R.left(), R.top(), R.right(), R.top());
  P.drawLine(R.left(), R.top(), R.left(), R.bottom());
  P.setPen(Pal.color(QPalette::Dark));
  P.drawLine(R.left(), R.bottom(), R.right(), R.bottom());
  P.drawLine(R.right(), R.top(), R.right(), R.bottom());
}

void DrawCloseGlyph(QPainter& P, const QRect& R, bool Pushed, const QPalette& Pal) {
  P.fillRect(R, Pal.color(QPalette::Button));
  if (Pushed) {
    P.setPen(Pal.color(QPalette::Dark));
    P.drawRect(R.adjusted(0, 0, -1, -1));
  } else {
    RaisedEdge(P, R, Pal);
  }
  const QRect c = R.adjusted(3, 3, -4, -4).translated(Pushed ? 1 : 0, Pushed ? 1 : 0);
  QPen pen(Pal.color(QPalette::ButtonText));
  pen.setWidth(R.width() >= 13 ? 2 : 1);
  P.setPen(pen);
  P.drawLine(c.topLeft(), c.bottomRight());
  P.drawLine(c.topRight(), c.bottomLeft());
}
}  // namespace

QMargins TCustomToolWindow::NonClientMarginsFor(int Orientation, TDock* Dock) const {
  if (Orientation == 0) {
    const int b = FloatingBorder();
    return QMargins(b, b + (FShowCaption ? SmallCaptionHeight() : 0), b, b);
  }
  QMargins m(2, 2, 2, 2);
  if (Dock && Dock->AllowDrag()) {
    int handle = 0;
    if (FCloseButtonWhenDocked) handle = 14;
    else if (FDragHandleStyle == dhDouble) handle = 9;
    else if (FDragHandleStyle == dhSingle) handle = 6;
    if (Orientation == 2) m.setTop(m.top() + handle);
    else m.setLeft(m.left() + handle);
  }
  return m;
}

void TCustomToolWindow::RecalcNCArea() {
  const int orientation = Floating() ? 0 : DockOrientationOf(FDocked ? FDockedTo.data() : nullptr);
  FNC = NonClientMarginsFor(orientation, FDocked ? FDockedTo.data() : nullptr);
  setContentsMargins(FNC);
  update();
  ResizeForCurrentDock();
}

QRect TCustomToolWindow::CaptionRect() const {
  if (!Floating() || !FShowCaption) return QRect();
  const int b = FloatingBorder();
  return QRect(b, b, width() - 2 * b, SmallCaptionHeight() - 1);
}

QRect TCustomToolWindow::CloseButtonRect() const {
  if (Floating()) {
    if (!FCloseButton || !FShowCaption) return QRect();
    const QRect c = CaptionRect();
    return QRect(c.right() - c.height() + 1, c.top(), c.height(), c.height());
  }
  if (FDocked && FDockedTo && FDockedTo->AllowDrag() && FCloseButtonWhenDocked) {
    const int side = 14 - 3;
    if (FDockedTo->Vertical()) return QRect(width() - NonClientWidth() + 2 - side, 3, side, side);
    return QRect(3, 2, side, side);
  }
  return QRect();
}

TResizeEdgeHit TCustomToolWindow::HitTest(const QPoint& P) const {
  if (!rect().contains(P)) return htNone;
  const QRect close = CloseButtonRect();
  if (!close.isEmpty() && close.contains(P)) return htClose;
  if (!Floating()) return htClient;
  if (contentsRect().contains(P)) return htClient;
  if (CaptionRect().contains(P)) return htCaption;
  if (FResizable) {
    const int b = FloatingBorder();
    if (P.y() < b) return htTop;
    if (P.y() >= height() - b - 1) return htBottom;
    if (P.x() < b) return htLeft;
    if (P.x() >= width() - b - 1) return htRight;
  }
  return htClient;
}

bool TCustomToolWindow::IsOnChild(const QPoint& P) const {
  for (QObject* o : children()) {
    auto* w = qobject_cast<QWidget*>(o);
    if (!w || w->isWindow() || !w->isVisible() || ChildIsTransparentToDrag(w)) continue;
    if (w->geometry().contains(P)) return true;
  }
  return false;
}

void TCustomToolWindow::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Color());
  if (FDocked && FDockedTo && FDockedTo->UsingBackground() && FDockedTo->BackgroundOnToolbars())
    FDockedTo->DrawBackground(p, this, rect());
  PaintNonClient(p);
}

void TCustomToolWindow::PaintNonClient(QPainter& P) {
  const QPalette& pal = palette();
  if (Floating()) {
    qDrawWinPanel(&P, rect(), pal, false);
    const QRect cap = CaptionRect();
    if (!cap.isEmpty()) {
      const bool active = !FInactiveCaption;
      P.fillRect(cap, active ? pal.color(QPalette::Active, QPalette::Highlight) : QColor(128, 128, 128));
      QFont f = font();
      f.setPixelSize(11);
      f.setBold(true);
      P.setFont(f);
      P.setPen(active ? pal.color(QPalette::Active, QPalette::HighlightedText) : QColor(212, 208, 200));
      const QRect close = CloseButtonRect();
      QRect text = cap.adjusted(2, 0, close.isEmpty() ? -2 : -close.width() - 2, 0);
      P.drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                 QFontMetrics(f).elidedText(Caption(), Qt::ElideRight, text.width()));
      if (!close.isEmpty()) DrawCloseGlyph(P, close.adjusted(1, 1, -1, -1), FClosePressed, pal);
      P.setPen(pal.color(QPalette::Button));
      P.drawLine(cap.left(), cap.bottom() + 1, cap.right(), cap.bottom() + 1);
    }
    return;
  }
  if (!FDocked || !FDockedTo) return;
  if (FBorderStyle == bsSingle) RaisedEdge(P, rect(), pal);
  if (!FDockedTo->AllowDrag()) return;
  const bool vertical = FDockedTo->Vertical();
  const QRect close = CloseButtonRect();
  if (!close.isEmpty()) DrawCloseGlyph(P, close, FClosePressed, pal);
  if (FDragHandleStyle == dhNone) return;
  int first = FDragHandleStyle == dhDouble ? 4 : 3;
  if (FCloseButtonWhenDocked) first = FDragHandleStyle == dhDouble ? 5 : 7;
  const int count = FDragHandleStyle == dhDouble ? 2 : 1;
  const int clientThickness = vertical ? width() - NonClientWidth() : height() - NonClientHeight();
  int from = 2, to = clientThickness + 2;
  if (!close.isEmpty()) {
    if (vertical) to = close.left() - 1;
    else from = close.bottom() + 2;
  }
  for (int i = 0; i < count; ++i) {
    const int at = first + 3 * i;
    const QRect strip = vertical ? QRect(from, at, to - from, 3) : QRect(at, from, 3, to - from);
    P.fillRect(strip, pal.color(QPalette::Button));
    RaisedEdge(P, strip, pal);
    // The far end of the first line stays light.
    P.setPen(pal.color(QPalette::Light));
    if (vertical) P.drawPoint(strip.right(), strip.top());
    else P.drawPoint(strip.left(), strip.bottom());
  }
}

// ---- What assistive tools see ----

namespace {
// The close button of the caption (or of the drag handle): a push button with
// a Press action, though it is drawn in the frame and is no widget.
class TCloseButtonAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
 public:
  explicit TCloseButtonAccessible(TCustomToolWindow* Window) : FWindow(Window) {}
  bool isValid() const override { return FWindow; }
  QObject* object() const override { return nullptr; }
  QWindow* window() const override { return FWindow ? FWindow->window()->windowHandle() : nullptr; }
  QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(FWindow.data()); }
  QAccessibleInterface* child(int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  void setText(QAccessible::Text, const QString&) override {}
  QAccessible::Role role() const override { return QAccessible::PushButton; }

  QString text(QAccessible::Text T) const override {
    if (!FWindow) return QString();
    if (T == QAccessible::Name) return QStringLiteral("Close");
    if (T == QAccessible::Description) {
      const QString kind = FWindow->inherits("TCustomToolbar") ? QStringLiteral("toolbar") : QStringLiteral("window");
      return FWindow->Caption().isEmpty() ? QStringLiteral("Hides the %1").arg(kind)
                                          : QStringLiteral("Hides the %1 %2").arg(FWindow->Caption(), kind);
    }
    return QString();
  }

  QRect rect() const override {
    if (!FWindow) return QRect();
    const QRect r = FWindow->CloseButtonRect();
    return r.isEmpty() ? QRect() : QRect(FWindow->mapToGlobal(r.topLeft()), r.size());
  }

  QAccessible::State state() const override {
    QAccessible::State s;
    if (!FWindow) return s;
    s.invisible = FWindow->CloseButtonRect().isEmpty() || !FWindow->isVisible();
    s.pressed = FWindow->ClosePressed();
    return s;
  }

  void* interface_cast(QAccessible::InterfaceType T) override {
    return T == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
  }
  QStringList actionNames() const override { return {pressAction()}; }
  QStringList keyBindingsForAction(const QString&) const override { return {}; }
  void doAction(const QString& Name) override {
    if (Name != pressAction() || !FWindow) return;
    // Later, from the event loop, as a click would (OnCloseQuery may ask).
    QPointer<TCustomToolWindow> w = FWindow;
    QMetaObject::invokeMethod(
        w, [w] {
          if (w && !w->CloseButtonRect().isEmpty()) w->ClickCloseButton();
        },
        Qt::QueuedConnection);
  }

 private:
  QPointer<TCustomToolWindow> FWindow;
};

// A toolbar (or other tool window) with its controls and, while it shows
// one, its close button as the last child.
class TToolWindowAccessible : public QAccessibleWidget {
 public:
  explicit TToolWindowAccessible(TCustomToolWindow* Window)
      : QAccessibleWidget(Window, Window->inherits("TCustomToolbar") ? QAccessible::ToolBar : QAccessible::Pane) {}
  ~TToolWindowAccessible() override {
    if (FClose) QAccessible::deleteAccessibleInterface(FClose);
  }
  TCustomToolWindow* Window() const { return static_cast<TCustomToolWindow*>(widget()); }
  bool HasClose() const { return !Window()->CloseButtonRect().isEmpty(); }
  QAccessibleInterface* Close() const {
    if (!FClose) FClose = QAccessible::registerAccessibleInterface(new TCloseButtonAccessible(Window()));
    return QAccessible::accessibleInterface(FClose);
  }
  int childCount() const override { return QAccessibleWidget::childCount() + (HasClose() ? 1 : 0); }
  QAccessibleInterface* child(int Index) const override {
    const int widgets = QAccessibleWidget::childCount();
    if (Index < widgets) return QAccessibleWidget::child(Index);
    return Index == widgets && HasClose() ? Close() : nullptr;
  }
  int indexOfChild(const QAccessibleInterface* Child) const override {
    if (FClose && Child == QAccessible::accessibleInterface(FClose))
      return HasClose() ? QAccessibleWidget::childCount() : -1;
    return QAccessibleWidget::indexOfChild(Child);
  }

 private:
  mutable QAccessible::Id FClose = 0;
};

}  // namespace

QAccessibleInterface* TCustomToolWindow::AccessibleFactory(const QString& ClassName, QObject* Object) {
  if (ClassName != QLatin1String("TCustomToolWindow")) return nullptr;
  if (auto* w = qobject_cast<TCustomToolWindow*>(Object)) return new TToolWindowAccessible(w);
  return nullptr;
}

void TCustomToolWindow::ReportClosePressed() {
  if (!QAccessible::isActive()) return;
  auto* iface = dynamic_cast<TToolWindowAccessible*>(QAccessible::queryAccessibleInterface(this));
  if (!iface || !iface->HasClose()) return;
  QAccessible::State changed;
  changed.pressed = true;
  QAccessibleStateChangeEvent event(iface->Close(), changed);
  QAccessible::updateAccessibility(&event);
}

// ---- Mouse: dragging, resizing, close button ----

void TCustomToolWindow::mousePressEvent(QMouseEvent* Event) {
  if (Event->button() != Qt::LeftButton) {
    if (FDrag.Active || FResize.Active || FCloseTracking) return;  // swallowed
    QWidget::mousePressEvent(Event);
    return;
  }
  if (FDrag.Active) return EndDrag(false);
  if (FResize.Active) return EndResize(false);
  if (FCloseTracking) return EndCloseTracking(false);
  const QPoint pos = Event->position().toPoint();
  const TResizeEdgeHit hit = HitTest(pos);
  if (hit == htClose) {
    FCloseTracking = true;
    FClosePressed = true;
    update();
    ReportClosePressed();
    grabMouse();
    grabKeyboard();
    return;
  }
  if (Floating() && FResizable && (hit == htTop || hit == htBottom || hit == htLeft || hit == htRight)) {
    BeginResize(hit, Event->globalPosition().toPoint());
    return;
  }
  if (IsOnChild(pos)) return;
  if (Floating() || (FDocked && FDockedTo && FDockedTo->AllowDrag()))
    BeginDrag(pos, Event->globalPosition().toPoint());
}

void TCustomToolWindow::mouseMoveEvent(QMouseEvent* Event) {
  const QPoint global = Event->globalPosition().toPoint();
  if (FDrag.Active) return DragStep(global);
  if (FResize.Active) return ResizeStep(global);
  if (FCloseTracking) {
    const bool over = CloseButtonRect().contains(Event->position().toPoint());
    if (over != FClosePressed) {
      FClosePressed = over;
      update();
      ReportClosePressed();
    }
    return;
  }
  // Sizing cursors over the edges of a floating window.
  switch (Floating() && FResizable ? HitTest(Event->position().toPoint()) : htClient) {
    case htTop:
    case htBottom: setCursor(Qt::SizeVerCursor); break;
    case htLeft:
    case htRight: setCursor(Qt::SizeHorCursor); break;
    default: unsetCursor(); break;
  }
}

void TCustomToolWindow::mouseReleaseEvent(QMouseEvent* Event) {
  if (Event->button() != Qt::LeftButton) return;
  if (FDrag.Active) return EndDrag(true);
  if (FResize.Active) return EndResize(true);
  if (FCloseTracking) return EndCloseTracking(FClosePressed);
  QWidget::mouseReleaseEvent(Event);
}

void TCustomToolWindow::mouseDoubleClickEvent(QMouseEvent* Event) {
  if (Event->button() != Qt::LeftButton) return;
  if (FDrag.Active) return EndDrag(false);
  if (FResize.Active) return EndResize(false);
  if (FCloseTracking) return EndCloseTracking(false);
  const QPoint pos = Event->position().toPoint();
  if (HitTest(pos) == htClose || IsOnChild(pos)) return;
  DoubleClick();
}

void TCustomToolWindow::keyPressEvent(QKeyEvent* Event) {
  if (FDrag.Active) {
    if (Event->key() == Qt::Key_Escape) return EndDrag(false);
    if (Event->key() == Qt::Key_Control && !FDrag.Ctrl) {
      FDrag.Ctrl = true;
      DragStep(FDrag.LastGlobal);
    }
    return;
  }
  if (FResize.Active) {
    if (Event->key() == Qt::Key_Escape) EndResize(false);
    return;
  }
  if (FCloseTracking) return;
  QWidget::keyPressEvent(Event);
}

void TCustomToolWindow::keyReleaseEvent(QKeyEvent* Event) {
  if (FDrag.Active) {
    if (Event->key() == Qt::Key_Escape) return EndDrag(false);
    if (Event->key() == Qt::Key_Control && FDrag.Ctrl) {
      FDrag.Ctrl = false;
      DragStep(FDrag.LastGlobal);
    }
    return;
  }
  if (FResize.Active) {
    if (Event->key() == Qt::Key_Escape) EndResize(false);
    return;
  }
  if (FCloseTracking) return;
  QWidget::keyReleaseEvent(Event);
}

void TCustomToolWindow::DoubleClick() {
  if (Floating()) {
    if (FLastDock) {
      SetParent(FLastDock);
    } else if (FDefaultDock) {
      FBar.DockRow = 0;
      FBar.DockPos = -8;
      SetParent(FDefaultDock);
    }
    return;
  }
  if (FDocked && FDockedTo && FDockedTo->AllowDrag() && DockMode == dmCanFloat) {
    SetParent(GetValidToolWindowParentForm(this));
    KeepOnWorkArea(true);
  }
}

void TCustomToolWindow::CollectDocks(QWidget* Control, std::vector<TDock*>& Out) const {
  std::vector<QWidget*> kids;
  for (QObject* o : Control->children()) {
    auto* w = qobject_cast<QWidget*>(o);
    if (!w || w == this || w->isWindow() || w->isHidden()) continue;
    kids.push_back(w);
  }
  for (TDockPosition pos : {dpTop, dpBottom, dpLeft, dpRight})
    for (QWidget* w : kids)
      if (auto* d = qobject_cast<TDock*>(w); d && d->Position() == pos) {
        if (d->AllowDrag() && (DockableTo & (1u << unsigned(pos)))) Out.push_back(d);
        CollectDocks(d, Out);
      }
  for (QWidget* w : kids)
    if (!qobject_cast<TDock*>(w)) CollectDocks(w, Out);
}

void TCustomToolWindow::BeginDrag(const QPoint& ClientPos, const QPoint& Global) {
  FDrag = TToolWindowDragState();
  FDrag.Active = true;
  FDrag.Grab = {ClientPos.x(), ClientPos.y(), width() - 1, height() - 1};
  FDrag.Ctrl = QGuiApplication::queryKeyboardModifiers() & Qt::ControlModifier;
  FDrag.CanFloat = DockMode == dmCanFloat;
  if (DockMode == dmCannotFloatOrChangeDocks) {
    if (FDocked && FDockedTo) FDrag.Docks.push_back(FDockedTo);
  } else if (QWidget* form = GetToolWindowParentForm(this)) {
    CollectDocks(form, FDrag.Docks);
  }
  const QMargins fnc = NonClientMarginsFor(0, nullptr);
  FDrag.FloatSize = LayoutControls(false, 0, nullptr) + QSize(fnc.left() + fnc.right(), fnc.top() + fnc.bottom());
  for (TDock* d : FDrag.Docks) {
    if (FDocked && d == FDockedTo) {
      FDrag.DockSizes.push_back(size());
      continue;
    }
    const int o = DockOrientationOf(d);
    const QMargins m = NonClientMarginsFor(o, d);
    FDrag.DockSizes.push_back(LayoutControls(false, o, d) + QSize(m.left() + m.right(), m.top() + m.bottom()));
  }
  DispatchPaintMessages();
  if (!FOutline) FOutline = new TDragOutline;
  grabMouse();
  grabKeyboard();
  DragStep(Global);
}

void TCustomToolWindow::DragStep(const QPoint& Global) {
  FDrag.LastGlobal = Global;
  TDock* target = nullptr;
  DockLayout::TRect outline;
  if (!FDrag.Ctrl) {
    for (std::size_t i = 0; i < FDrag.Docks.size(); ++i) {
      TDock* d = FDrag.Docks[i];
      DockLayout::TRect r = ToLayoutRect(QRect(d->mapToGlobal(QPoint(0, 0)), d->size()));
      if (!DockLayout::InDockZone(r, d->Vertical(), FDrag.Grab, Global.x(), Global.y())) continue;
      const QSize s = FDrag.DockSizes[i];
      const DockLayout::TRect o = DockLayout::OutlineAt(Global.x(), Global.y(), s.width(), s.height(), FDrag.Grab);
      if (!o.Intersects(r)) continue;
      bool accept = true;
      if (d->OnRequestDock) d->OnRequestDock(d, this, accept);
      if (!accept) continue;
      target = d;
      outline = o;
      break;
    }
  }
  if (!target && FDrag.CanFloat) {
    const QRect work = GetMonitorWorkAreaOfPoint(Global);
    const int px = std::clamp(Global.x(), work.left(), work.right());
    const int py = std::clamp(Global.y(), work.top(), work.bottom());
    outline = DockLayout::OutlineAt(px, py, FDrag.FloatSize.width(), FDrag.FloatSize.height(), FDrag.Grab);
    const QMargins fnc = NonClientMarginsFor(0, nullptr);
    outline = DockLayout::ClampFloatingOutline(outline, ToLayoutRect(work), FloatingBorder(), fnc.top());
  }
  FDrag.Target = target;
  FDrag.Outline = FromLayoutRect(outline);
  SetOverrideNoCursor(FDrag.Outline.isEmpty());
  if (FOutline) FOutline->SetOutline(FDrag.Outline, target ? 1 : FloatingBorder());
}

void TCustomToolWindow::SetOverrideNoCursor(bool No) {
  if (No == FDrag.NoCursor) return;
  FDrag.NoCursor = No;
  if (No) QApplication::setOverrideCursor(Qt::ForbiddenCursor);
  else QApplication::restoreOverrideCursor();
}

void TCustomToolWindow::EndDrag(bool Accept) {
  releaseMouse();
  releaseKeyboard();
  SetOverrideNoCursor(false);
  if (FOutline) FOutline->SetOutline(QRect(), 1);
  FDrag.Active = false;
  const QRect outline = FDrag.Outline;
  TDock* dock = FDrag.Target;
  FDrag.Docks.clear();
  if (!Accept || outline.isEmpty()) return;
  if (dock) {
    const QMargins m = dock->contentsMargins();
    const QPoint tl = dock->mapFromGlobal(outline.topLeft()) - QPoint(m.left(), m.top());
    const int centre = dock->Vertical() ? tl.x() + outline.width() / 2 : tl.y() + outline.height() / 2;
    dock->ComputeRowSizes();
    int row = 0;
    bool newRow = false;
    dock->FindInsertRow(centre, row, newRow);
    if (newRow) {
      dock->ShiftRowsFrom(row);
    } else if (FBar.FullSize && dock->CountInRow(row, this) > 0) {
      ++row;
      dock->ShiftRowsFrom(row);
    }
    FBar.DockRow = row;
    FBar.DockPos = DockLayout::ClampCoordinate(dock->Vertical() ? tl.y() : tl.x());
    SetParent(dock);
    dock->LayoutToolWindows(true);
  } else {
    SetFloatingPosition(outline.topLeft());
    if (!Floating()) SetParent(GetValidToolWindowParentForm(this));
    else SetBounds(QRect(FFloatingPosition, size()));
  }
  KeepOnWorkArea(true);
}

void TCustomToolWindow::BeginResize(TResizeEdgeHit Edge, const QPoint& Global) {
  FResize = TToolWindowResizeState();
  FResize.Active = true;
  FResize.Edge = Edge;
  int w = 0, h = 0;
  GetMinimumSize(w, h);
  FResize.MinW = w + NonClientWidth();
  FResize.MinH = h + NonClientHeight();
  FResize.Start = FResize.Outline = Bounds();
  FResize.StartCursor = Global;
  const DockLayout::TResizeEdge e = Edge == htLeft    ? DockLayout::reLeft
                                    : Edge == htRight ? DockLayout::reRight
                                    : Edge == htTop   ? DockLayout::reTop
                                                      : DockLayout::reBottom;
  StartResize(e);
  if (!FOutline) FOutline = new TDragOutline;
  grabMouse();
  grabKeyboard();
  FOutline->SetOutline(FResize.Outline, FloatingBorder());
}

void TCustomToolWindow::ResizeStep(const QPoint& Global) {
  const QPoint d = Global - FResize.StartCursor;
  QRect r = FResize.Start;
  switch (FResize.Edge) {
    case htLeft:
      r.setLeft(std::min(FResize.Start.left() + d.x(), r.right() + 1 - FResize.MinW));
      break;
    case htRight:
      r.setRight(std::max(FResize.Start.right() + d.x(), r.left() - 1 + FResize.MinW));
      break;
    case htTop:
      r.setTop(std::min(FResize.Start.top() + d.y(), r.bottom() + 1 - FResize.MinH));
      break;
    case htBottom:
      r.setBottom(std::max(FResize.Start.bottom() + d.y(), r.top() - 1 + FResize.MinH));
      break;
    default:
      break;
  }
  const DockLayout::TResizeEdge e = FResize.Edge == htLeft    ? DockLayout::reLeft
                                    : FResize.Edge == htRight ? DockLayout::reRight
                                    : FResize.Edge == htTop   ? DockLayout::reTop
                                                              : DockLayout::reBottom;
  TrackResize(e, r, FResize.Start);
  FResize.Outline = r;
  if (FOutline) FOutline->SetOutline(r, FloatingBorder());
}

void TCustomToolWindow::EndResize(bool Accept) {
  releaseMouse();
  releaseKeyboard();
  if (FOutline) FOutline->SetOutline(QRect(), 1);
  FResize.Active = false;
  FinishResize(Accept);
  if (!Accept) return;
  DisableArrange();
  SetBounds(FResize.Outline);
  EnableArrange();
  KeepOnWorkArea(true);
}

void TCustomToolWindow::EndCloseTracking(bool Accept) {
  releaseMouse();
  releaseKeyboard();
  FCloseTracking = false;
  FClosePressed = false;
  update();
  ReportClosePressed();
  if (Accept) ClickCloseButton();
}

void TCustomToolWindow::ClickCloseButton() {
  bool canClose = true;
  if (OnCloseQuery) OnCloseQuery(this, canClose);
  if (!canClose) return;
  setVisible(false);
  if (OnClose) OnClose(this);
}
