#include "toolbars/DockButtons.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QStatusTipEvent>
#include <QTimer>
#include <qdrawutil.h>
#include <cmath>

#include "toolbars/Dock.h"

// ---------------- Glyph lists ----------------

int TGlyphList::Add(const QPixmap& Image) {
  std::size_t i = 0;
  while (i < FUsed.size() && FUsed[i]) ++i;
  if (i == FUsed.size()) {
    FUsed.push_back(false);
    FImages.emplace_back();
  }
  FUsed[i] = true;
  FImages[i] = Image;
  ++FCount;
  return int(i);
}

void TGlyphList::Delete(int Index) {
  if (Index < 0 || std::size_t(Index) >= FUsed.size() || !FUsed[std::size_t(Index)]) return;
  FUsed[std::size_t(Index)] = false;
  FImages[std::size_t(Index)] = QPixmap();
  --FCount;
}

namespace {
TGlyphCache* GCache = nullptr;
}  // namespace

TGlyphCache* GlyphCache() { return GCache; }

TGlyphList* TGlyphCache::GetList(QSize Size) {
  auto& slot = FLists[{Size.width(), Size.height()}];
  if (!slot) slot = std::make_unique<TGlyphList>(Size);
  return slot.get();
}

void TGlyphCache::ReturnList(TGlyphList* List) {
  if (!List || List->Count() > 0) return;
  FLists.erase({List->Size().width(), List->Size().height()});
  if (this == GCache && FLists.empty()) {
    GCache = nullptr;
    delete this;
  }
}

// ---------------- TButtonGlyph ----------------

TButtonGlyph::~TButtonGlyph() { Invalidate(); }

void TButtonGlyph::SetGlyph(const QPixmap& Value) {
  Invalidate();
  FGlyph = Value;
  if (!Value.isNull()) FTransparentColor = Value.toImage().pixel(0, Value.height() - 1);
  FNumGlyphs = FImages ? 1 : DockLayout::GlyphCellsOf(Value.width(), Value.height());
}

void TButtonGlyph::SetGlyphMask(const QPixmap& Value) {
  Invalidate();
  FGlyphMask = Value;
}

void TButtonGlyph::SetImages(const TImageList* Value) {
  Invalidate();
  FImages = Value;
  if (Value) FNumGlyphs = 1;
}

void TButtonGlyph::SetImageIndex(int Value) {
  Invalidate();
  FImageIndex = Value;
}

void TButtonGlyph::SetNumGlyphs(int Value) {
  Invalidate();
  FNumGlyphs = std::clamp(Value, 1, 5);
}

void TButtonGlyph::SetOldDisabledStyle(bool Value) {
  Invalidate();
  FOldDisabledStyle = Value;
}

QSize TButtonGlyph::GlyphSize() const {
  if (FImages) return FImages->Size;
  if (FGlyph.isNull()) return QSize(0, 0);
  // In device-independent pixels: a glyph drawn for a high-density screen
  // takes the place of one at 100 %.
  const QSizeF logical = FGlyph.deviceIndependentSize();
  return QSize(int(logical.width()) / FNumGlyphs, int(logical.height()));
}

QPixmap TButtonGlyph::Cell(int Index) const {
  if (FImages) {
    if (FImageIndex < 0 || std::size_t(FImageIndex) >= FImages->Images.size()) return QPixmap();
    return FImages->Images[std::size_t(FImageIndex)];
  }
  const qreal ratio = FGlyph.devicePixelRatio();
  const int w = FGlyph.width() / FNumGlyphs, h = FGlyph.height();
  QImage cell = FGlyph.toImage().copy(Index * w, 0, w, h).convertToFormat(QImage::Format_ARGB32);
  // Transparency from the mask (white is transparent); else from the alpha
  // channel of a glyph whose bottom-left pixel is clear; else from the
  // bottom-left pixel's colour.
  const QImage mask = FGlyphMask.isNull() ? QImage() : FGlyphMask.toImage().copy(Index * w, 0, w, h);
  const bool alpha = mask.isNull() && FGlyph.hasAlphaChannel() && qAlpha(FTransparentColor) == 0;
  if (!alpha)
    for (int y = 0; y < cell.height(); ++y)
      for (int x = 0; x < cell.width(); ++x) {
        const bool clear = mask.isNull() ? (cell.pixel(x, y) & 0xFFFFFF) == (FTransparentColor & 0xFFFFFF)
                                         : x < mask.width() && y < mask.height() && qGray(mask.pixel(x, y)) > 127;
        if (clear) cell.setPixel(x, y, 0);
      }
  cell.setDevicePixelRatio(ratio);
  return QPixmap::fromImage(cell);
}

QPixmap MakeDisabledGlyph(const QImage& Image, bool OldStyle, const QPalette& Palette) {
  const QImage src = Image.convertToFormat(QImage::Format_ARGB32);
  // The emboss is one device-independent pixel.
  const int d = std::max(1, int(std::lround(src.devicePixelRatio())));
  QImage out(src.width() + d, src.height() + d, QImage::Format_ARGB32);
  out.fill(0);
  const QRgb light = Palette.color(QPalette::Active, QPalette::Light).rgb();
  const QRgb dark = Palette.color(QPalette::Active, QPalette::Dark).rgb();
  auto shape = [&](int x, int y) {
    const QRgb c = src.pixel(x, y);
    if (qAlpha(c) < 128) return false;
    // Light parts of the glyph fade into the face, so a light picture on a
    // dark ground keeps its shape; the rest is embossed.
    return OldStyle || qGray(c) < 160;
  };
  for (int y = 0; y < src.height(); ++y)
    for (int x = 0; x < src.width(); ++x)
      if (shape(x, y)) out.setPixel(x + d, y + d, light);
  for (int y = 0; y < src.height(); ++y)
    for (int x = 0; x < src.width(); ++x)
      if (shape(x, y)) out.setPixel(x, y, dark);
  out.setDevicePixelRatio(src.devicePixelRatio());
  return QPixmap::fromImage(out);
}

QPixmap TButtonGlyph::MakeStateGlyph(TButtonState State) {
  TBuilt& b = FStates[State];
  if (b.List) return b.List->Image(b.Index);
  const QSize size = GlyphSize();
  if (size.isEmpty()) {
    if (!FGlyph.isNull() && !FImages) throw EInvalidOperation(DockConst::SInvalidImageSize);
    return QPixmap();
  }
  QPixmap image;
  if (State == bsDisabled && (FImages || FNumGlyphs < 2)) {
    const QPixmap cell = Cell(0);
    if (cell.isNull()) return QPixmap();
    image = MakeDisabledGlyph(cell.toImage(), FOldDisabledStyle, QApplication::palette());
  } else {
    image = Cell(FImages || int(State) >= FNumGlyphs ? 0 : int(State));
  }
  if (image.isNull()) return QPixmap();
  if (!GCache) GCache = new TGlyphCache;
  b.List = GCache->GetList(image.size());
  b.Index = b.List->Add(image);
  return image;
}

void TButtonGlyph::Invalidate() {
  for (TBuilt& b : FStates) {
    if (!b.List) continue;
    TGlyphList* list = b.List;
    list->Delete(b.Index);
    b = TBuilt();
    if (GCache) GCache->ReturnList(list);
  }
}

// ---------------- TToolbarButton ----------------

namespace {
QPointer<TToolbarButton> GHot;
QTimer* GHotTimer = nullptr;
int GButtonCount = 0;

QPixmap Dither(const QPalette& Pal) {
  static QPixmap pm;
  static QRgb face = 0, light = 0;
  if (pm.isNull() || face != Pal.color(QPalette::Button).rgb() || light != Pal.color(QPalette::Light).rgb()) {
    face = Pal.color(QPalette::Button).rgb();
    light = Pal.color(QPalette::Light).rgb();
    QImage img(8, 8, QImage::Format_RGB32);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) img.setPixel(x, y, (x % 2) == (y % 2) ? light : face);
    pm = QPixmap::fromImage(img);
  }
  return pm;
}

QString PlainText(QString S) {
  S.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
  S.remove(QLatin1Char('&'));
  S.replace(QStringLiteral("\x01"), QStringLiteral("&"));
  if (S.endsWith(QLatin1String("..."))) S.chop(3);
  return S;
}
}  // namespace

TToolbarButton* TToolbarButton::HotButton() { return GHot; }

namespace {
// What assistive tools see of a toolbar button: a push button (a check box
// when it toggles in a group) named after its action, its hint as the
// description, and a Press action that clicks it.
class TToolbarButtonAccessible : public QAccessibleWidget {
 public:
  explicit TToolbarButtonAccessible(TToolbarButton* Button) : QAccessibleWidget(Button, QAccessible::PushButton) {}

  TToolbarButton* Button() const { return static_cast<TToolbarButton*>(widget()); }
  bool Toggles() const { return Button()->GroupIndex() != 0; }

  QAccessible::Role role() const override { return Toggles() ? QAccessible::CheckBox : QAccessible::PushButton; }

  QString text(QAccessible::Text T) const override {
    TToolbarButton* b = Button();
    switch (T) {
      case QAccessible::Name:
        return b->accessibleName().isEmpty() ? PlainText(b->Caption()) : b->accessibleName();
      case QAccessible::Description: {
        if (!b->accessibleDescription().isEmpty()) return b->accessibleDescription();
        const QString hint = b->Hint();
        return hint.mid(hint.indexOf(QLatin1Char('|')) + 1);
      }
      default:
        return QAccessibleWidget::text(T);
    }
  }

  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    const TButtonState st = Button()->State();
    if (Toggles()) {
      s.checkable = true;
      s.checked = Button()->Down();
      s.pressed = st == bsDown;
    } else {
      s.pressed = st == bsDown || st == bsExclusive;
    }
    s.hotTracked = st == bsHot;
    s.hasPopup = Button()->UsesDropdown();
    return s;
  }

  QStringList actionNames() const override {
    QStringList names{pressAction()};
    if (Toggles()) names << toggleAction();
    return names + QAccessibleWidget::actionNames();
  }

  void doAction(const QString& Name) override {
    if (Name != pressAction() && !(Toggles() && Name == toggleAction())) return QAccessibleWidget::doAction(Name);
    // Later, from the event loop: the command may open a modal dialog, and
    // the assistive tool waits for this call to return.
    QPointer<TToolbarButton> b = Button();
    QMetaObject::invokeMethod(
        b, [b] {
          if (b && b->isEnabled()) b->Click();
        },
        Qt::QueuedConnection);
  }

  QStringList keyBindingsForAction(const QString&) const override { return {}; }
};

QAccessibleInterface* ToolbarButtonAccessibleFactory(const QString& ClassName, QObject* Object) {
  if (ClassName != QLatin1String("TToolbarButton")) return nullptr;
  if (auto* b = qobject_cast<TToolbarButton*>(Object)) return new TToolbarButtonAccessible(b);
  return nullptr;
}
}  // namespace

TToolbarButton::TToolbarButton(QWidget* Parent) : QWidget(Parent) {
  static const bool accessible = (QAccessible::installFactory(&ToolbarButtonAccessibleFactory), true);
  (void)accessible;
  resize(23, 22);
  setMouseTracking(true);
  setFocusPolicy(Qt::NoFocus);
  if (!GHotTimer) {
    GHotTimer = new QTimer;
    GHotTimer->setInterval(125);
    QObject::connect(GHotTimer, &QTimer::timeout, &TToolbarButton::HotTimerTick);
  }
  ++GButtonCount;
  DockHooks::RegisterHookProcedure(&TToolbarButton::ButtonHook, DockHooks::Kind(DockHooks::hpSendActivateApp) |
                                                                    DockHooks::Kind(DockHooks::hpPostMouseMove));
}

TToolbarButton::~TToolbarButton() {
  FDestroying = true;
  if (GHot == this) {
    GHotTimer->stop();
    GHot = nullptr;
  }
  DockHooks::UnregisterHookProcedure(&TToolbarButton::ButtonHook);
  if (--GButtonCount == 0) {
    delete GHotTimer;
    GHotTimer = nullptr;
  }
}

void TToolbarButton::ButtonHook(DockHooks::THookProcKind Code, QObject*, QEvent* Event) {
  if (!GHot) return;
  if (Code == DockHooks::hpSendActivateApp) {
    if (!DockHooks::IsApplicationActive() && !GHot->ShowBorderWhenInactive) GHot->MouseLeft();
  } else if (Code == DockHooks::hpPostMouseMove) {
    const QPoint global = static_cast<QMouseEvent*>(Event)->globalPosition().toPoint();
    if (QApplication::widgetAt(global) != GHot) GHot->MouseLeft();
  }
}

void TToolbarButton::HotTimerTick() {
  if (GHot && QApplication::widgetAt(QCursor::pos()) != GHot) GHot->MouseLeft();
}

void TToolbarButton::SetAction(QAction* Value) {
  if (FAction) disconnect(FAction, nullptr, this, nullptr);
  FAction = Value;
  if (!Value) return;
  connect(Value, &QAction::changed, this, &TToolbarButton::ActionChanged);
  ActionChanged();
}

void TToolbarButton::ActionChanged() {
  if (!FAction) return;
  SetCaption(FAction->text());
  // The action's text without its access key and ellipsis, unless the
  // program gave the toolbar its own wording.
  setAccessibleName(FAction->iconText());
  setEnabled(FAction->isEnabled());
  setVisible(FAction->isVisible());
  SetHint(FAction->statusTip());
  if (FAction->isCheckable()) SetDown(FAction->isChecked());
}

void TToolbarButton::SetHint(const QString& Value) {
  FHint = Value;
  const int bar = int(Value.indexOf(QLatin1Char('|')));
  setToolTip(bar >= 0 ? Value.left(bar) : Value);
}

void TToolbarButton::SetCaption(const QString& Value) {
  FCaption = Value;
  setAccessibleName(PlainText(Value));
  update();
}

void TToolbarButton::SetImageIndex(int Value) {
  FImageIndex = Value;
  FGlyph.SetImageIndex(Value);
  update();
}

void TToolbarButton::SetDropdownAlways(bool Value) {
  FDropdownAlways = Value;
  update();
}

void TToolbarButton::SetDropdownMenu(QMenu* Value) {
  FDropdownMenu = Value;
  update();
}

void TToolbarButton::SetDropdownArrowWidth(int Value) {
  Value = std::max(Value, 7);
  if (Value == FDropdownArrowWidth) return;
  if (FDropdownCombo) resize(std::max(1, width() + Value - FDropdownArrowWidth), height());
  FDropdownArrowWidth = Value;
  update();
}

void TToolbarButton::SetDropdownCombo(bool Value) {
  if (Value == FDropdownCombo) return;
  FDropdownCombo = Value;
  const int part = FDropdownArrowWidth + 2;
  resize(std::max(1, Value ? width() + part : width() - part), height());
  update();
}

void TToolbarButton::SetGroupIndex(int Value) {
  FGroupIndex = Value;
  UpdateGroup();
}

void TToolbarButton::SetAllowAllUp(bool Value) {
  FAllowAllUp = Value;
  UpdateGroup();
}

void TToolbarButton::UpdateGroup() {
  if (FGroupIndex == 0 || !parentWidget()) return;
  for (QObject* o : parentWidget()->children()) {
    auto* b = qobject_cast<TToolbarButton*>(o);
    if (!b || b == this || b->FGroupIndex != FGroupIndex) continue;
    if (FDown && b->FDown) {
      b->FDown = false;
      b->FState = b->isEnabled() ? bsUp : bsDisabled;
      b->update();
      b->ReportState();
    }
    b->FAllowAllUp = FAllowAllUp;
  }
}

void TToolbarButton::SetDown(bool Value) {
  if (FGroupIndex == 0) Value = false;
  if (Value == FDown) return;
  if (FDown && !FAllowAllUp) return;
  FDown = Value;
  FState = !isEnabled() ? bsDisabled : Value ? bsExclusive : bsUp;
  update();
  ReportState();
  if (Value) UpdateGroup();
}

void TToolbarButton::SetState(TButtonState Value) {
  if (Value == FState) return;
  FState = Value;
  update();
  ReportState();
}

void TToolbarButton::ReportState() {
  const bool pressed = FState == bsDown || FState == bsExclusive;
  if (pressed == FReportedPressed && FDown == FReportedChecked) return;
  QAccessible::State changed;
  changed.pressed = pressed != FReportedPressed;
  changed.checked = FDown != FReportedChecked;
  FReportedPressed = pressed;
  FReportedChecked = FDown;
  QAccessibleStateChangeEvent event(this, changed);
  QAccessible::updateAccessibility(&event);
}

bool TToolbarButton::PointInButton(int X, int Y) const {
  const int arrow = FDropdownCombo && UsesDropdown() ? FDropdownArrowWidth + 2 : 0;
  return X >= 0 && X < width() - arrow && Y >= 0 && Y < height();
}

void TToolbarButton::ShowHint(bool Show) {
  // The long part of the hint goes to the form's status bar, wherever the
  // toolbar floats.
  if (FHint.isEmpty()) return;
  if (QWidget* form = GetToolWindowParentForm(this)) {
    QStatusTipEvent tip(Show ? FHint : QString());
    QApplication::sendEvent(form, &tip);
  }
}

void TToolbarButton::MouseEntered() {
  if (!isEnabled() || FMouseInControl) return;
  FMouseInControl = true;
  if (FState == bsUp) FState = bsHot;
  if (Flat || NumGlyphs() >= 5) update();
  ShowHint(true);
  if (OnMouseEnter) OnMouseEnter(this);
}

void TToolbarButton::MouseLeft() {
  if (!isEnabled() || !FMouseInControl || FMouseHeld) return;
  FMouseInControl = false;
  if (GHot == this) {
    GHotTimer->stop();
    GHot = nullptr;
  }
  const TButtonState old = FState;
  if (FState == bsHot || (FState == bsDown && !FInClick)) FState = FDown ? bsExclusive : bsUp;
  const bool onlyHot = old == bsHot && FState == bsUp;
  if (old != FState && !(!Flat && NumGlyphs() < 5 && onlyHot)) update();
  else if (Flat) update();  // the border goes
  ReportState();
  ShowHint(false);
  if (OnMouseExit) OnMouseExit(this);
}

void TToolbarButton::enterEvent(QEnterEvent* Event) {
  QWidget::enterEvent(Event);
  // A disabled button still tells what it does.
  if (!isEnabled()) ShowHint(true);
}

void TToolbarButton::leaveEvent(QEvent* Event) {
  QWidget::leaveEvent(Event);
  if (!isEnabled() || !FMouseInControl) ShowHint(false);
  if (GHot == this) MouseLeft();
}

void TToolbarButton::mousePressEvent(QMouseEvent* Event) {
  if (FSwallowPress) return;  // the click that closed this button's menu
  if (!isEnabled() || Event->button() != Qt::LeftButton) {
    MouseEntered();
    QWidget::mousePressEvent(Event);
    return;
  }
  MouseEntered();
  const int x = Event->position().toPoint().x();
  FArrowClicked = UsesDropdown() && (!FDropdownCombo || x >= width() - (FDropdownArrowWidth + 2));
  if (!FDown) SetState(bsDown);
  else if (FAllowAllUp) update();
  if (!FArrowClicked) FMouseHeld = true;
  if (FArrowClicked) {
    Click();
  } else if (Repeating) {
    Click();
    if (!FRepeatTimer) {
      FRepeatTimer = new QTimer(this);
      connect(FRepeatTimer, &QTimer::timeout, this, &TToolbarButton::RepeatTick);
    }
    FRepeatTimer->start(RepeatDelay);
  }
  FArrowClicked = false;
}

void TToolbarButton::RepeatTick() {
  FRepeatTimer->setInterval(RepeatInterval);
  const QPoint local = mapFromGlobal(QCursor::pos());
  if (Repeating && FMouseHeld && PointInButton(local.x(), local.y())) Click();
  else FRepeatTimer->stop();
}

void TToolbarButton::mouseMoveEvent(QMouseEvent* Event) {
  const QPoint p = Event->position().toPoint();
  if (FMouseHeld) {
    const bool in = PointInButton(p.x(), p.y());
    if (in && FRepeatTimer && !FRepeatTimer->isActive()) FRepeatTimer->start(RepeatInterval);
    SetState(FDown ? bsExclusive : in ? bsDown : bsUp);
  }
  if (GHot != this && rect().contains(p)) {
    if (GHot) GHot->MouseLeft();
    if (ShowBorderWhenInactive || DockHooks::IsApplicationActive()) {
      GHot = this;
      GHotTimer->start();
      MouseEntered();
    }
  }
}

void TToolbarButton::mouseReleaseEvent(QMouseEvent* Event) {
  delete FRepeatTimer;
  FRepeatTimer = nullptr;
  if (Event->button() == Qt::RightButton && isEnabled()) {
    FMouseHeld = false;
    MouseLeft();
    return;
  }
  if (Event->button() == Qt::LeftButton && FMouseHeld) {
    FMouseHeld = false;
    const QPoint p = Event->position().toPoint();
    if (PointInButton(p.x(), p.y()) && !Repeating) {
      Click();
    } else {
      if (FState == bsDown) SetState(FDown ? bsExclusive : bsUp);
      MouseLeft();
    }
  }
}

void TToolbarButton::mouseDoubleClickEvent(QMouseEvent* Event) {
  if (Event->button() == Qt::LeftButton && FDown && OnDblClick) {
    OnDblClick(this);
    return;
  }
  // Otherwise a second press like any other.
  mousePressEvent(Event);
}

void TToolbarButton::DoClick() {
  if (OnClick) OnClick(this);
  else if (FAction) FAction->trigger();
}

void TToolbarButton::Click() {
  if (Repeating && !FArrowClicked) {
    DoClick();
    return;
  }
  QPointer<TToolbarButton> self(this);
  FInClick = true;
  if (FGroupIndex != 0 && !FArrowClicked) SetDown(!FDown);
  const bool showMenu = UsesDropdown() && (!FDropdownCombo || FArrowClicked);
  if (FState == bsUp || FState == bsHot) SetState(bsDown);
  MouseLeft();
  if (!showMenu) {
    if (auto* dialog = qobject_cast<QDialog*>(window()); dialog && ModalResult) dialog->done(ModalResult);
    DoClick();
  } else {
    if (!FDropdownCombo) DoClick();
    if (!self) return;
    bool show = FDropdownMenu != nullptr, remove = true;
    if (OnDropdown) OnDropdown(this, show, remove);
    if (show && FDropdownMenu) {
      // Below the button; beside it on a left or right dock.
      const int side = GetToolWindowDockPosition(this);
      QPoint at(0, height());
      bool right = false;
      if (side == dpLeft) at = QPoint(width(), 0);
      else if (side == dpRight) at = QPoint(0, 0), right = true;
      QPoint global = mapToGlobal(at);
      if (right) global.rx() -= FDropdownMenu->sizeHint().width();
      FLastMenuPoint = global;
      FLastMenuRight = right;
      if (PopupMenu) PopupMenu(FDropdownMenu, global);
      else FDropdownMenu->exec(global);
    }
    if (!self) return;
    if (remove) {
      FSwallowPress = true;
      QTimer::singleShot(0, this, [this] { FSwallowPress = false; });
    }
  }
  if (!self) return;
  FInClick = false;
  if (FState == bsDown) FState = FDown ? bsExclusive : bsUp;
  if (!FDestroying) update();
  ReportState();
  MouseLeft();
}

void TToolbarButton::changeEvent(QEvent* Event) {
  if (Event->type() == QEvent::EnabledChange) {
    if (!isEnabled()) {
      FState = bsDisabled;
      FMouseInControl = false;
      FMouseHeld = false;
      if (GHot == this) {
        GHotTimer->stop();
        GHot = nullptr;
      }
      delete FRepeatTimer;
      FRepeatTimer = nullptr;
    } else if (FState == bsDisabled) {
      FState = FDown ? bsExclusive : bsUp;
    }
    update();
    ReportState();
  } else if (Event->type() == QEvent::PaletteChange || Event->type() == QEvent::StyleChange) {
    FGlyph.Invalidate();
    update();
  }
  QWidget::changeEvent(Event);
}

void TToolbarButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QPalette& pal = palette();
  if (Opaque || !Flat) p.fillRect(rect(), pal.color(QPalette::Button));
  const bool down = FState == bsDown || FState == bsExclusive;
  const bool combo = FDropdownCombo && UsesDropdown();
  const bool faceDown = down && (!combo || !FArrowClicked);
  QRect main = rect();
  const int aw = FDropdownArrowWidth;
  if (combo) main.setRight(width() - aw - 2 - 1);
  auto edge = [&](const QRect& R, bool Sunken) {
    p.setPen(pal.color(Sunken ? QPalette::Dark : QPalette::Light));
    p.drawLine(R.topLeft(), R.topRight());
    p.drawLine(R.topLeft(), R.bottomLeft());
    p.setPen(pal.color(Sunken ? QPalette::Light : QPalette::Dark));
    p.drawLine(R.bottomLeft(), R.bottomRight());
    p.drawLine(R.topRight(), R.bottomRight());
  };
  const bool border = !NoBorder && (!Flat || down || (FMouseInControl && isEnabled()));
  if (border) {
    if (Flat) edge(main, faceDown);
    else qDrawWinButton(&p, main, pal, faceDown);
    if (combo) {
      const QRect part(width() - aw - 2, 0, aw + 2, height());
      if (Flat) edge(part, down && FArrowClicked);
      else qDrawWinButton(&p, part, pal, down && FArrowClicked);
    }
  }
  const int inset = NoBorder ? 0 : Flat ? 1 : 2;
  const QRect content = main.adjusted(inset, inset, -inset, -inset);
  int off = 0;
  if (faceDown) {
    if (FState == bsExclusive && HighlightWhenDown && !(Flat && FMouseInControl))
      p.fillRect(content, QBrush(Dither(pal)));
    off = 1;
  }
  const bool showGlyph = DisplayMode != dmTextOnly, showCaption = DisplayMode != dmGlyphOnly;
  QPixmap glyph;
  try {
    if (showGlyph) glyph = FGlyph.MakeStateGlyph(FState);
  } catch (const EInvalidOperation&) {
    // A strip too narrow for its cells draws no glyph.
  }
  const QSize gs = showGlyph ? FGlyph.GlyphSize() : QSize(0, 0);
  const bool arrow = DropdownArrow && !FDropdownCombo && UsesDropdown();
  const QString text = FCaption;
  const int flags = Qt::TextShowMnemonic | (WordWrap ? Qt::TextWordWrap : Qt::TextSingleLine);
  std::function<DockLayout::TSize(int)> measure;
  if (showCaption && !text.isEmpty())
    measure = [&](int W) {
      const QRect r = fontMetrics().boundingRect(QRect(0, 0, W, 10000), flags, text);
      return DockLayout::TSize{r.width(), r.height()};
    };
  const DockLayout::TContent c = DockLayout::LayoutGlyphAndCaption(
      {content.left(), content.top(), content.right() + 1, content.bottom() + 1}, off, off, {gs.width(), gs.height()},
      measure, Layout, Margin, Spacing, WordWrap, arrow ? DockLayout::TSize{aw, 3} : DockLayout::TSize{});
  if (!glyph.isNull()) p.drawPixmap(c.GlyphX, c.GlyphY, glyph);
  if (measure) {
    const QRect tr(c.Text.Left, c.Text.Top, c.Text.Width(), c.Text.Height());
    const int align = int(Alignment) | Qt::AlignVCenter | flags;
    if (FState == bsDisabled) {
      p.setPen(pal.color(QPalette::Light));
      p.drawText(tr.translated(1, 1), align, text);
      p.setPen(pal.color(QPalette::Dark));
    } else {
      p.setPen(pal.color(QPalette::ButtonText));
    }
    p.drawText(tr, align, text);
  }
  auto triangle = [&](int X, int Y) {
    const int cx = X + aw / 2;
    auto draw = [&](int dx, const QColor& col) {
      const QPoint pts[3] = {QPoint(cx - 2 + dx, Y + dx), QPoint(cx + 2 + dx, Y + dx), QPoint(cx + dx, Y + 2 + dx)};
      p.setPen(col);
      p.setBrush(col);
      p.drawPolygon(pts, 3);
    };
    if (FState == bsDisabled) {
      draw(1, pal.color(QPalette::Light));
      draw(0, pal.color(QPalette::Dark));
    } else {
      draw(0, pal.color(QPalette::ButtonText));
    }
  };
  if (arrow) triangle(c.ArrowX, c.ArrowY);
  if (combo) triangle(width() - aw - 2 + (down && FArrowClicked ? 1 : 0), height() / 2 - 1);
}
