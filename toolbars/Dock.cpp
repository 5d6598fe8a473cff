#include "toolbars/Dock.h"

#include <QEvent>
#include <QPainter>
#include <QResizeEvent>
#include <algorithm>

#include "toolbars/DockToolWindow.h"

namespace {
std::vector<TDock*> GDocks;

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
}  // namespace

// ---------------- TDock ----------------

TDock::TDock(QWidget* Parent, TDockPosition Position) : QWidget(CheckDockParent(Parent)), FPosition(Position) {
  GDocks.push_back(this);
  setAccessibleName(DockAccessibleName(Position));
  SetThickness(0);
}

TDock::~TDock() {
  GDocks.erase(std::remove(GDocks.begin(), GDocks.end(), this), GDocks.end());
  for (TCustomToolWindow* w : TCustomToolWindow::AllToolWindows()) {
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
