#include "toolbars/DockToolbar.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QChildEvent>
#include <QPainter>
#include <algorithm>

// ---------------- TToolbarSep ----------------

namespace {
// A separator is a separator to assistive tools, not an unnamed control.
QAccessibleInterface* SeparatorAccessibleFactory(const QString& ClassName, QObject* Object) {
  if (ClassName != QLatin1String("TToolbarSep")) return nullptr;
  if (auto* s = qobject_cast<TToolbarSep*>(Object)) return new QAccessibleWidget(s, QAccessible::Separator);
  return nullptr;
}
}  // namespace

QWidget* TToolbarSep::CheckParent(QWidget* Parent) {
  if (Parent && !qobject_cast<TCustomToolbar*>(Parent))
    throw EInvalidOperation(DockConst::STBToolbarControlNotChildOfToolbar);
  return Parent;
}

TToolbarSep::TToolbarSep(QWidget* Parent) : QWidget(CheckParent(Parent)) {
  static const bool accessible = (QAccessible::installFactory(&SeparatorAccessibleFactory), true);
  (void)accessible;
  // Presses fall through to the toolbar, so a separator can start a drag.
  setAttribute(Qt::WA_TransparentForMouseEvents);
  resize(FSizeHorz, 22);
  setAccessibleName(QStringLiteral("Separator"));
}

void TToolbarSep::SetParent(QWidget* Parent) {
  CheckParent(Parent);
  QWidget::setParent(Parent);
  if (Parent) show();
}

void TToolbarSep::SetBlank(bool Value) {
  FBlank = Value;
  update();
}

void TToolbarSep::SetSizeHorz(int Value) {
  FSizeHorz = std::max(1, Value);
  Rearrange();
}

void TToolbarSep::SetSizeVert(int Value) {
  FSizeVert = std::max(1, Value);
  Rearrange();
}

void TToolbarSep::Rearrange() {
  if (auto* t = qobject_cast<TCustomToolbar*>(parentWidget())) t->ResizeForCurrentDock();
}

void TToolbarSep::paintEvent(QPaintEvent*) {
  if (FBlank) return;
  QPainter p(this);
  auto* bar = qobject_cast<TCustomToolbar*>(parentWidget());
  const bool vertical = bar && bar->Docked() && bar->DockedTo() && bar->DockedTo()->Vertical();
  if (vertical) {
    const int y = height() / 2;
    p.setPen(palette().color(QPalette::Dark));
    p.drawLine(0, y - 1, width(), y - 1);
    p.setPen(palette().color(QPalette::Light));
    p.drawLine(0, y, width(), y);
  } else {
    const int x = width() / 2;
    p.setPen(palette().color(QPalette::Dark));
    p.drawLine(x - 1, 0, x - 1, height());
    p.setPen(palette().color(QPalette::Light));
    p.drawLine(x, 0, x, height());
  }
}

// ---------------- TCustomToolbar ----------------

TCustomToolbar::TCustomToolbar(QWidget* Owner) : TCustomToolWindow(Owner) {}

void TCustomToolbar::childEvent(QChildEvent* Event) {
  TCustomToolWindow::childEvent(Event);
  QObject* child = Event->child();
  if (!child->isWidgetType()) return;
  auto* w = static_cast<QWidget*>(child);
  auto same = [w](const QPointer<QWidget>& p) { return p.data() == w || p.isNull(); };
  if (Event->type() == QEvent::ChildAdded) {
    // Appended at the end, after dropping an earlier entry.
    FOrder.erase(std::remove_if(FOrder.begin(), FOrder.end(), same), FOrder.end());
    FOrder.push_back(w);
    w->installEventFilter(this);
  } else if (Event->type() == QEvent::ChildRemoved) {
    FOrder.erase(std::remove_if(FOrder.begin(), FOrder.end(), same), FOrder.end());
  }
}

bool TCustomToolbar::eventFilter(QObject* Watched, QEvent* Event) {
  // A control shown or hidden (a button following its action) re-arranges
  // the toolbar, once the change is complete.
  if ((Event->type() == QEvent::ShowToParent || Event->type() == QEvent::HideToParent) &&
      static_cast<QWidget*>(Watched)->parentWidget() == this)
    QMetaObject::invokeMethod(this, [this] { ResizeForCurrentDock(); }, Qt::QueuedConnection);
  return TCustomToolWindow::eventFilter(Watched, Event);
}

std::vector<QWidget*> TCustomToolbar::OrderList() const {
  std::vector<QWidget*> out;
  for (const QPointer<QWidget>& p : FOrder)
    if (p && p->parentWidget() == this && !p->isWindow()) out.push_back(p);
  return out;
}

void TCustomToolbar::UpdateControlOrder() {
  // At load the order is the place of each control: Left, or Top on a
  // vertical dock.
  std::vector<QWidget*> list = OrderList();
  const bool vertical = Docked() && DockedTo() && DockedTo()->Vertical();
  std::stable_sort(list.begin(), list.end(),
                   [vertical](QWidget* A, QWidget* B) { return vertical ? A->y() < B->y() : A->x() < B->x(); });
  FOrder.assign(list.begin(), list.end());
}

std::vector<DockLayout::TToolbarItem> TCustomToolbar::Items(std::vector<QWidget*>* Controls) const {
  std::vector<DockLayout::TToolbarItem> items;
  for (QWidget* w : OrderList()) {
    if (w->isHidden()) continue;
    DockLayout::TToolbarItem item;
    if (auto* sep = qobject_cast<TToolbarSep*>(w)) {
      item.Separator = true;
      item.SizeHorz = sep->SizeHorz();
      item.SizeVert = sep->SizeVert();
      item.Blank = sep->Blank();
    }
    item.Width = w->width();
    item.Height = w->height();
    items.push_back(item);
    if (Controls) Controls->push_back(w);
  }
  return items;
}

int TCustomToolbar::GetBaseSize(int Orientation) { return DockLayout::ToolbarBaseSize(Items(nullptr), Orientation); }

void TCustomToolbar::GetMinimumSize(int& Width, int& Height) { Width = Height = 0; }

QSize TCustomToolbar::LayoutControls(bool CanMoveControls, int Orientation, TDock* Dock) {
  std::vector<QWidget*> controls;
  std::vector<DockLayout::TToolbarItem> items = Items(&controls);
  const int b = DockLayout::ToolbarBaseSize(items, Orientation);
  const int l = Docked() && Dock && Dock == DockedTo() ? GetCurrentBaseSize() : b;
  const DockLayout::TToolbarLayout r = DockLayout::LayoutToolbar(items, Orientation, FFloatRightX, l, CanMoveControls);
  if (CanMoveControls) {
    const QMargins nc = NonClientMargins();
    for (std::size_t i = 0; i < items.size(); ++i) {
      const DockLayout::TToolbarItem& it = items[i];
      controls[i]->setGeometry(it.X + nc.left(), it.Y + nc.top(), it.W, it.H);
    }
    FWrapLines = r.WrapLines;
    update();
  }
  return QSize(r.Width, r.Height);
}

bool TCustomToolbar::ChildIsTransparentToDrag(QWidget* Child) const { return qobject_cast<TToolbarSep*>(Child); }

void TCustomToolbar::SetFloatRightX(int Value) {
  Value = std::clamp(Value, 0, DockLayout::MaxCoordinate);
  if (Value == FFloatRightX) return;
  FFloatRightX = Value;
  ResizeForCurrentDock();
}

void TCustomToolbar::paintEvent(QPaintEvent* Event) {
  TCustomToolWindow::paintEvent(Event);
  if (!Floating()) return;
  QPainter p(this);
  const QMargins nc = NonClientMargins();
  const int right = width() - NonClientWidth() - 1;
  for (const DockLayout::TWrapLine& line : FWrapLines) {
    if (line.Blank) continue;
    p.setPen(palette().color(QPalette::Dark));
    p.drawLine(nc.left() + 1, nc.top() + line.Y - 4, nc.left() + right, nc.top() + line.Y - 4);
    p.setPen(palette().color(QPalette::Light));
    p.drawLine(nc.left() + 1, nc.top() + line.Y - 3, nc.left() + right, nc.top() + line.Y - 3);
  }
}

void TCustomToolbar::StartResize(DockLayout::TResizeEdge Edge) {
  const int saved = FFloatRightX;
  auto measure = [this](int W) {
    FFloatRightX = W;
    const QSize s = LayoutControls(false, 0, nullptr);
    return DockLayout::TSize{s.width(), s.height()};
  };
  const QMargins nc = NonClientMarginsFor(0, nullptr);
  const DockLayout::TSize ncSize{nc.left() + nc.right(), nc.top() + nc.bottom()};
  std::vector<DockLayout::TSize> candidates = DockLayout::FloatingCandidates(measure, ncSize);
  FFloatRightX = saved;
  const QSize now = Bounds().size();
  FSnap.Start(candidates, Edge, {now.width(), now.height()}, nc.left(), candidates.front());
}

void TCustomToolbar::TrackResize(DockLayout::TResizeEdge Edge, QRect& NewRect, const QRect& StartRect) {
  const bool horizontal = Edge == DockLayout::reLeft || Edge == DockLayout::reRight;
  const DockLayout::TSize s = FSnap.Track(horizontal ? NewRect.width() : NewRect.height());
  // The edge opposite the dragged one stays.
  switch (Edge) {
    case DockLayout::reRight:
    case DockLayout::reBottom: NewRect = QRect(StartRect.topLeft(), QSize(s.W, s.H)); break;
    case DockLayout::reLeft: NewRect = QRect(StartRect.right() + 1 - s.W, StartRect.top(), s.W, s.H); break;
    case DockLayout::reTop: NewRect = QRect(StartRect.left(), StartRect.bottom() + 1 - s.H, s.W, s.H); break;
  }
}

void TCustomToolbar::FinishResize(bool Accept) {
  if (Accept) SetFloatRightX(FSnap.FloatRightX());
}

void TCustomToolbar::LoadExtraPositionValues(const TReadInt& ReadInt) {
  FFloatRightX = std::clamp(ReadInt(objectName(), QStringLiteral("FloatRightX"), 0), 0, DockLayout::MaxCoordinate);
}

void TCustomToolbar::SaveExtraPositionValues(const TWriteInt& WriteInt) {
  WriteInt(objectName(), QStringLiteral("FloatRightX"), FFloatRightX);
}
