#include "toolbars/Dock.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPainter>
#include <qdrawutil.h>
#include <QScreen>
#include <algorithm>
#include <climits>
#include <cstdio>

#include "platform/Registry.h"

using DockLayout::TRect;

namespace {
std::vector<TDock*> GDocks;
std::vector<TCustomToolWindow*> GToolWindows;

TRect ToT(const QRect& R) { return {R.left(), R.top(), R.left() + R.width(), R.top() + R.height()}; }
QRect FromT(const TRect& R) { return QRect(R.Left, R.Top, R.Width(), R.Height()); }

QWidget* CheckDockParent(QWidget* Parent) {
  for (QWidget* w = Parent; w; w = w->parentWidget())
    if (qobject_cast<TDock*>(w) || qobject_cast<TCustomToolWindow*>(w))
      throw EInvalidOperation(DockConst::STBDockParentNotAllowed);
  return Parent;
}

QString DockAccessibleName(TDockPosition P) {
  switch (P) {
    case dpTop: return QStringLiteral("Top toolbar dock");
    case dpBottom: return QStringLiteral("Bottom toolbar dock");
    case dpLeft: return QStringLiteral("Left toolbar dock");
    case dpRight: return QStringLiteral("Right toolbar dock");
  }
  return QString();
}

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

// ---------------- Helpers ----------------

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

// ---------------- TDock ----------------

TDock::TDock(QWidget* Parent, TDockPosition Position) : QWidget(CheckDockParent(Parent)), FPosition(Position) {
  GDocks.push_back(this);
  setAccessibleName(DockAccessibleName(Position));
  SetThickness(0);
}

TDock::~TDock() {
  GDocks.erase(std::remove(GDocks.begin(), GDocks.end(), this), GDocks.end());
  for (TCustomToolWindow* w : GToolWindows) {
    if (w->FLastDock == this) w->FLastDock = nullptr;
    if (w->FDefaultDock == this) w->FDefaultDock = nullptr;
    if (w->FDockedTo == this) {
      w->FDockedTo = nullptr;
      w->FDocked = false;
    }
  }
  FModel.List.clear();
  FVisible.clear();
}

const std::vector<TDock*>& TDock::AllDocks() { return GDocks; }

void TDock::SetParent(QWidget* Parent) {
  CheckDockParent(Parent);
  QWidget::setParent(Parent);
}

void TDock::SetPosition(TDockPosition Value) {
  if (Value == FPosition) return;
  if (findChild<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
    throw EInvalidOperation(DockConst::STBDockCannotChangePosition);
  FPosition = Value;
  setAccessibleName(DockAccessibleName(Value));
  setMinimumSize(0, 0);
  setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  LayoutToolWindows(false);
}

void TDock::SetAllowDrag(bool Value) {
  if (Value == FAllowDrag) return;
  FAllowDrag = Value;
  for (QObject* o : children())
    if (auto* w = qobject_cast<TCustomToolWindow*>(o)) w->RecalcNCArea();
}

void TDock::SetBoundLines(TDockBoundLines Value) {
  if (Value == FBoundLines) return;
  FBoundLines = Value;
  FNonClientWidth = ((Value & blLeft) ? 1 : 0) + ((Value & blRight) ? 1 : 0);
  FNonClientHeight = ((Value & blTop) ? 1 : 0) + ((Value & blBottom) ? 1 : 0);
  setContentsMargins((Value & blLeft) ? 1 : 0, (Value & blTop) ? 1 : 0, (Value & blRight) ? 1 : 0,
                     (Value & blBottom) ? 1 : 0);
  LayoutToolWindows(false);
  update();
}

void TDock::SetBackground(const QPixmap& Value) {
  FBackground = Value;
  FCachedBackground = QPixmap();
  InvalidateBackgrounds();
}

void TDock::SetBackgroundOnToolbars(bool Value) {
  if (Value == FBackgroundOnToolbars) return;
  FBackgroundOnToolbars = Value;
  InvalidateBackgrounds();
}

void TDock::SetBackgroundTransparent(bool Value) {
  if (Value == FBackgroundTransparent) return;
  FBackgroundTransparent = Value;
  FCachedBackground = QPixmap();
  InvalidateBackgrounds();
}

QColor TDock::Color() const { return palette().color(QPalette::Button); }

void TDock::SetColor(const QColor& Value) {
  QPalette pal = palette();
  pal.setColor(QPalette::Button, Value);
  setPalette(pal);
}

void TDock::SetFixAlign(bool Value) {
  if (Value == FFixAlign) return;
  FFixAlign = Value;
  LayoutToolWindows(false);
}

void TDock::SetLimitToOneRow(bool Value) {
  if (Value == FModel.LimitToOneRow) return;
  FModel.LimitToOneRow = Value;
  LayoutToolWindows(false);
}

void TDock::UnlockLayout() {
  if (FLockCount > 0) --FLockCount;
  if (FLockCount == 0 && FLayoutPending) LayoutToolWindows(FClipPending);
}

bool TDock::ToolWindowShown(const TCustomToolWindow* W) const {
  return W && W->parentWidget() == this && W->FVisible;
}

void TDock::RefreshBars() {
  const int orientation = DockLayout::OrientationOf(FPosition);
  for (DockLayout::TBar* b : FModel.List) {
    auto* w = static_cast<TCustomToolWindow*>(b->Owner);
    b->Shown = ToolWindowShown(w);
    b->Length = Vertical() ? w->height() : w->width();
    b->BaseSize = w->GetBaseSize(orientation);
  }
}

void TDock::ComputeRowSizes() {
  RefreshBars();
  FModel.ComputeRowSizes();
}

int TDock::GetRowSize(int Row, TCustomToolWindow* ToolWindow) {
  return FModel.GetRowSize(Row, ToolWindow ? &ToolWindow->FBar : nullptr);
}

void TDock::FindInsertRow(int Pos, int& Row, bool& NewRow) { FModel.FindInsertRow(Pos, Row, NewRow); }

int TDock::RowAtOffset(int Pos) { return FModel.RowAtOffset(Pos); }

int TDock::CountInRow(int Row, TCustomToolWindow* Except) const {
  return FModel.CountInRow(Row, Except ? &Except->FBar : nullptr);
}

void TDock::LayoutToolWindows(bool ClipPositions) {
  if (ClipPositions) FClipPending = true;
  if (FLockCount > 0) {
    FLayoutPending = true;
    return;
  }
  ++FLockCount;
  FInLayout = true;
  raise();
  RefreshBars();
  const int clientLength =
      std::max(0, Vertical() ? height() - FNonClientHeight : width() - FNonClientWidth);
  std::vector<DockLayout::TPlacement> placements;
  const int rows = FModel.Layout(clientLength, FClipPending, placements);
  const QMargins m = contentsMargins();
  for (const DockLayout::TPlacement& p : placements) {
    auto* w = static_cast<TCustomToolWindow*>(p.Bar->Owner);
    ++w->FUpdatingBounds;
    if (Vertical()) w->setGeometry(m.left() + p.Across, m.top() + p.Along, p.Thickness, p.Length);
    else w->setGeometry(m.left() + p.Along, m.top() + p.Across, p.Length, p.Thickness);
    --w->FUpdatingBounds;
  }
  SetThickness(DockLayout::DockThickness(rows, FModel.AnyShown(), Vertical() ? FNonClientWidth : FNonClientHeight,
                                         FFixAlign));
  FInLayout = false;
  --FLockCount;
  FLayoutPending = false;
  FClipPending = false;
  ++FLayoutCount;
  update();
}

void TDock::SetThickness(int Thickness) {
  // The far edge stays: a bottom dock keeps its bottom, a right dock its right.
  if (Vertical()) {
    const int old = width();
    setFixedWidth(Thickness);
    if (FPosition == dpRight && old != Thickness) move(x() + old - Thickness, y());
  } else {
    const int old = height();
    setFixedHeight(Thickness);
    if (FPosition == dpBottom && old != Thickness) move(x(), y() + old - Thickness);
  }
}

void TDock::ChangeDockList(bool Insert, TCustomToolWindow* ToolWindow) {
  auto& list = FModel.List;
  auto it = std::find(list.begin(), list.end(), &ToolWindow->FBar);
  if (Insert) {
    if (it == list.end()) list.push_back(&ToolWindow->FBar);
  } else if (it != list.end()) {
    list.erase(it);
  }
  ChangeVisibleList(ToolWindow, !Insert);
}

void TDock::ChangeVisibleList(TCustomToolWindow* ToolWindow, bool Removing) {
  const bool registered =
      std::find(FModel.List.begin(), FModel.List.end(), &ToolWindow->FBar) != FModel.List.end();
  const bool in = !Removing && registered && ToolWindowShown(ToolWindow);
  auto it = std::find(FVisible.begin(), FVisible.end(), ToolWindow);
  const bool was = it != FVisible.end();
  if (in == was) return;
  if (in) FVisible.push_back(ToolWindow);
  else FVisible.erase(it);
  LayoutToolWindows(false);
  if (OnInsertRemoveBar) OnInsertRemoveBar(this, in, ToolWindow);
}

std::vector<TCustomToolWindow*> TDock::DockList() const {
  std::vector<TCustomToolWindow*> out;
  for (DockLayout::TBar* b : FModel.List) out.push_back(static_cast<TCustomToolWindow*>(b->Owner));
  return out;
}

std::vector<TCustomToolWindow*> TDock::VisibleList() const {
  std::vector<TCustomToolWindow*> out;
  for (TCustomToolWindow* w : DockList())
    if (std::find(FVisible.begin(), FVisible.end(), w) != FVisible.end()) out.push_back(w);
  return out;
}

const QPixmap& TDock::BackgroundToDraw() {
  if (!FBackgroundTransparent) return FBackground;
  if (FCachedBackground.isNull()) {
    // The bottom-left pixel's colour shows the dock colour instead.
    QImage image = FBackground.toImage().convertToFormat(QImage::Format_RGB32);
    const QRgb transparent = image.pixel(0, image.height() - 1);
    const QRgb colour = Color().rgb();
    for (int y = 0; y < image.height(); ++y) {
      auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
      for (int x = 0; x < image.width(); ++x)
        if (line[x] == transparent) line[x] = colour;
    }
    FCachedBackground = QPixmap::fromImage(image);
  }
  return FCachedBackground;
}

void TDock::DrawBackground(QPainter& Painter, QWidget* Target, const QRect& Rect) {
  if (!UsingBackground()) return;
  const QPixmap& pm = BackgroundToDraw();
  // The tile origin is the form's client origin.
  const QPoint origin = Target->mapTo(Target->window(), QPoint(0, 0));
  const QPoint at = Rect.topLeft() + origin;
  const QPoint offset(((at.x() % pm.width()) + pm.width()) % pm.width(),
                      ((at.y() % pm.height()) + pm.height()) % pm.height());
  Painter.save();
  Painter.setClipRect(Rect);
  Painter.drawTiledPixmap(Rect, pm, offset);
  Painter.restore();
}

void TDock::InvalidateBackgrounds() {
  update();
  for (TCustomToolWindow* w : VisibleList()) w->update();
}

void TDock::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Color());
  if (UsingBackground()) DrawBackground(p, this, contentsRect());
  if (!FModel.AnyShown() && FVisible.empty()) return;
  // Bound lines at the outermost pixels: top and left in shadow, bottom and
  // right in highlight.
  const QRect r = rect();
  if (FBoundLines & blTop) {
    p.setPen(palette().color(QPalette::Dark));
    p.drawLine(r.left(), r.top(), r.right(), r.top());
  }
  if (FBoundLines & blLeft) {
    p.setPen(palette().color(QPalette::Dark));
    p.drawLine(r.left(), r.top(), r.left(), r.bottom());
  }
  if (FBoundLines & blBottom) {
    p.setPen(palette().color(QPalette::Light));
    p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
  }
  if (FBoundLines & blRight) {
    p.setPen(palette().color(QPalette::Light));
    p.drawLine(r.right(), r.top(), r.right(), r.bottom());
  }
}

void TDock::resizeEvent(QResizeEvent* Event) {
  QWidget::resizeEvent(Event);
  if (!FInLayout) LayoutToolWindows(false);
  if (OnResize) OnResize(this);
}

void TDock::moveEvent(QMoveEvent* Event) {
  QWidget::moveEvent(Event);
  if (UsingBackground()) InvalidateBackgrounds();
}

void TDock::changeEvent(QEvent* Event) {
  if (Event->type() == QEvent::PaletteChange) {
    FCachedBackground = QPixmap();
    InvalidateBackgrounds();
  }
  QWidget::changeEvent(Event);
}

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
  const QRect moved = FromT(DockLayout::KeepOnWorkArea(ToT(r), ToT(GetMonitorWorkArea(r)), OnlyIfFullyOff));
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
  FDrag = TDragState();
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
  TRect outline;
  if (!FDrag.Ctrl) {
    for (std::size_t i = 0; i < FDrag.Docks.size(); ++i) {
      TDock* d = FDrag.Docks[i];
      TRect r = ToT(QRect(d->mapToGlobal(QPoint(0, 0)), d->size()));
      if (!DockLayout::InDockZone(r, d->Vertical(), FDrag.Grab, Global.x(), Global.y())) continue;
      const QSize s = FDrag.DockSizes[i];
      const TRect o = DockLayout::OutlineAt(Global.x(), Global.y(), s.width(), s.height(), FDrag.Grab);
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
    outline = DockLayout::ClampFloatingOutline(outline, ToT(work), FloatingBorder(), fnc.top());
  }
  FDrag.Target = target;
  FDrag.Outline = FromT(outline);
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
  FResize = TResizeState();
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
  if (!Accept) return;
  bool canClose = true;
  if (OnCloseQuery) OnCloseQuery(this, canClose);
  if (!canClose) return;
  setVisible(false);
  if (OnClose) OnClose(this);
}

// ---------------- Stored positions ----------------

namespace {
std::vector<TDock*> DocksOf(QWidget* Form) {
  std::vector<TDock*> out;
  for (TDock* d : GDocks)
    if (d->window() == Form) out.push_back(d);
  return out;
}
std::vector<TCustomToolWindow*> ToolWindowsOf(QWidget* Form) {
  std::vector<TCustomToolWindow*> out;
  for (TCustomToolWindow* w : GToolWindows)
    if (w->OwnerForm() == Form) out.push_back(w);
  return out;
}
}  // namespace

TDock* FindDockByName(QWidget* Form, const QString& Name) {
  for (TDock* d : DocksOf(Form))
    if (d->objectName() == Name) return d;
  return nullptr;
}

void SaveToolbarPositions(QWidget* Form, const TPositionWriteIntProc& WriteInt,
                          const TPositionWriteStringProc& WriteStr) {
  for (TCustomToolWindow* w : ToolWindowsOf(Form)) {
    const QString name = w->objectName();
    if (name.isEmpty()) throw EDockError(DockConst::STBToolwinNameNotSet);
    QString dockedTo;
    if (!w->Docked()) {
      dockedTo = QStringLiteral("+");
    } else if (w->DockedTo() && w->DockedTo()->AllowDrag()) {
      dockedTo = w->DockedTo()->objectName();
      if (dockedTo.isEmpty()) throw EDockError(DockConst::STBToolwinDockedToNameNotSet);
    }
    WriteInt(name, QStringLiteral("Rev"), 3);
    WriteInt(name, QStringLiteral("Visible"), w->Visible() ? 1 : 0);
    WriteStr(name, QStringLiteral("DockedTo"), dockedTo);
    WriteStr(name, QStringLiteral("LastDock"), w->LastDock() ? w->LastDock()->objectName() : QString());
    WriteInt(name, QStringLiteral("DockRow"), w->DockRow());
    WriteInt(name, QStringLiteral("DockPos"), w->DockPos());
    WriteInt(name, QStringLiteral("FloatLeft"), w->FloatingPosition().x());
    WriteInt(name, QStringLiteral("FloatTop"), w->FloatingPosition().y());
    w->SaveExtraPositionValues([&](const QString& S, const QString& N, int V) { WriteInt(S, N, V); });
  }
}

void LoadToolbarPositions(QWidget* Form, const TPositionReadIntProc& ReadInt, const TPositionReadStringProc& ReadStr) {
  const std::vector<TDock*> docks = DocksOf(Form);
  const std::vector<TCustomToolWindow*> windows = ToolWindowsOf(Form);
  for (TDock* d : docks) d->LockLayout();
  struct TUnlock {
    const std::vector<TDock*>& Docks;
    ~TUnlock() {
      for (auto it = Docks.rbegin(); it != Docks.rend(); ++it) (*it)->UnlockLayout();
    }
  } unlock{docks};
  for (TCustomToolWindow* w : windows) {
    const QString name = w->objectName();
    if (name.isEmpty()) throw EDockError(DockConst::STBToolwinNameNotSet);
    const int rev = ReadInt(name, QStringLiteral("Rev"), 0);
    if (rev != 2 && rev != 3) continue;
    w->setVisible(ReadInt(name, QStringLiteral("Visible"), w->Visible() ? 1 : 0) != 0);
    const QString dockedTo = ReadStr(name, QStringLiteral("DockedTo"), QString());
    if (dockedTo.isEmpty()) continue;
    TDock* target = nullptr;
    if (dockedTo != QLatin1String("+")) {
      target = FindDockByName(Form, dockedTo);
      if (!target || !target->AllowDrag()) continue;
    }
    // Stored numbers come from outside: rows within the number of windows,
    // coordinates within 16 bits.
    const int row = ReadInt(name, QStringLiteral("DockRow"), w->DockRow());
    w->SetStoredPlace(std::clamp(row, 0, int(windows.size())),
                      ReadInt(name, QStringLiteral("DockPos"), w->DockPos()));
    const int left = ReadInt(name, QStringLiteral("FloatLeft"), 0);
    const int top = ReadInt(name, QStringLiteral("FloatTop"), 0);
    w->LoadExtraPositionValues([&](const QString& S, const QString& N, int D) { return ReadInt(S, N, D); });
    w->SetFloatingPosition(QPoint(left, top));
    if (target) {
      w->SetParent(target);
      target->LayoutToolWindows(false);  // runs once, at the unlock
    } else {
      w->SetParent(GetValidToolWindowParentForm(w));
      w->SetBounds(QRect(w->FloatingPosition(), w->size()));
      w->KeepOnWorkArea(true);
      if (rev >= 3 && w->UseLastDock()) {
        const QString last = ReadStr(name, QStringLiteral("LastDock"), QString());
        if (!last.isEmpty())
          if (TDock* d = FindDockByName(Form, last)) w->SetLastDock(d);
      }
    }
    w->ResizeForCurrentDock();
  }
}

namespace {
int ParseInt(const QString& S, int Default) {
  bool ok = false;
  const int v = S.trimmed().toInt(&ok);
  return ok ? v : Default;
}

// One stored value as text: a string, or an integer in decimal; Default when
// it is missing or cannot be read, so one bad value costs only itself.
QString StoredPositionText(const TRegistry& Reg, const QString& Name, const QString& Default) {
  try {
    switch (Reg.GetDataType(Name)) {
      case TRegDataType::rdString: return Reg.ReadString(Name);
      case TRegDataType::rdInteger: return QString::number(Reg.ReadInteger(Name));
      default: return Default;
    }
  } catch (...) {
    return Default;
  }
}
}  // namespace

void LoadToolbarPositionsFromRegistry(QWidget* Form, const QString& Key) {
  TRegistry reg;
  reg.RootKey = TRegRootKey::HKEY_CURRENT_USER;
  reg.OpenKey(Key, true);
  const QString base = QStringLiteral("\\") + reg.CurrentPath();
  auto readStr = [&](const QString& Section, const QString& Name, const QString& Default) -> QString {
    TRegistry r;
    if (!r.OpenKey(base + QStringLiteral("\\") + Section, false)) return Default;
    return StoredPositionText(r, Name, Default);
  };
  auto readInt = [&](const QString& Section, const QString& Name, int Default) -> int {
    const QString s = readStr(Section, Name, QString());
    return s.isEmpty() ? Default : ParseInt(s, Default);
  };
  LoadToolbarPositions(Form, readInt, readStr);
}

void SaveToolbarPositionsToRegistry(QWidget* Form, const QString& Key) {
  TRegistry reg;
  reg.RootKey = TRegRootKey::HKEY_CURRENT_USER;
  reg.OpenKey(Key, true);
  const QString base = QStringLiteral("\\") + reg.CurrentPath();
  auto writeStr = [&](const QString& Section, const QString& Name, const QString& Value) {
    TRegistry r;
    r.OpenKey(base + QStringLiteral("\\") + Section, true);
    r.WriteString(Name, Value);
  };
  auto writeInt = [&](const QString& Section, const QString& Name, int Value) {
    writeStr(Section, Name, QString::number(Value));
  };
  SaveToolbarPositions(Form, writeInt, writeStr);
}
