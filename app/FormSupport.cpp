#include "app/FormSupport.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QButtonGroup>
#include <QColorDialog>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileInfo>
#include <QFontDialog>
#include <QFormLayout>
#include <QGraphicsView>
#include <QGroupBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <optional>
#include <utility>

#include "platform/Application.h"
#include "platform/KeyboardReturn.h"

namespace {
// Keeps a dialog where it was last shown: on X11 a window shown again is
// placed by its client area, so each opening would land a title bar lower.
// An event filter, so that forms overriding the show and hide handlers keep it.
class TPlacementKeeper : public QObject {
 public:
  explicit TPlacementKeeper(QWidget* Form) : QObject(Form) { Form->installEventFilter(this); }
  bool eventFilter(QObject* Watched, QEvent* Event) override {
    auto* form = static_cast<QWidget*>(Watched);
    // A tool window keeps its place itself, on the screen.
    if (form->windowType() == Qt::Tool) return false;
    if (Event->type() == QEvent::Hide && !Event->spontaneous() && form->isWindow()) {
      FPlace = form->pos();
      FPlaced = true;
    } else if (Event->type() == QEvent::Show && FPlaced && form->isWindow()) {
      form->move(FPlace);
    }
    return false;
  }

 private:
  QPoint FPlace;
  bool FPlaced = false;
};
}  // namespace

TForm::TForm(QWidget* Parent) : QDialog(Parent) {
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  new TPlacementKeeper(this);
  KeyboardOrder::Install(this);
}

namespace KeyboardOrder {
namespace {
void AddWidget(QWidget* W, QList<QWidget*>& Out);

void AddLayout(QLayout* L, QList<QWidget*>& Out, QList<QWidget*>& Placed) {
  struct TItem {
    int Row, Column;
    QLayoutItem* Item;
  };
  std::vector<TItem> items;
  for (int i = 0; i < L->count(); ++i) {
    int row = i, column = 0, rowSpan = 0, columnSpan = 0;
    if (auto* grid = qobject_cast<QGridLayout*>(L)) {
      grid->getItemPosition(i, &row, &column, &rowSpan, &columnSpan);
    } else if (auto* form = qobject_cast<QFormLayout*>(L)) {
      QFormLayout::ItemRole role;
      form->getItemPosition(i, &row, &role);
      column = role == QFormLayout::LabelRole ? 0 : 1;
    } else if (auto* box = qobject_cast<QBoxLayout*>(L);
               box && (box->direction() == QBoxLayout::RightToLeft || box->direction() == QBoxLayout::BottomToTop)) {
      row = -i;
    }
    items.push_back({row, column, L->itemAt(i)});
  }
  std::stable_sort(items.begin(), items.end(), [](const TItem& A, const TItem& B) {
    return A.Row != B.Row ? A.Row < B.Row : A.Column < B.Column;
  });
  for (const TItem& item : items) {
    if (QWidget* w = item.Item->widget()) {
      Placed << w;
      AddWidget(w, Out);
    } else if (QLayout* l = item.Item->layout()) {
      AddLayout(l, Out, Placed);
    }
  }
}

void AddChildren(QWidget* W, QList<QWidget*>& Out) {
  if (auto* tabs = qobject_cast<QTabWidget*>(W)) {
    AddWidget(tabs->tabBar(), Out);
    for (int i = 0; i < tabs->count(); ++i) AddWidget(tabs->widget(i), Out);
    return;
  }
  if (auto* stack = qobject_cast<QStackedWidget*>(W)) {
    for (int i = 0; i < stack->count(); ++i) AddWidget(stack->widget(i), Out);
    return;
  }
  if (auto* scroll = qobject_cast<QScrollArea*>(W)) {
    if (scroll->widget()) AddWidget(scroll->widget(), Out);
    return;
  }
  // Lists, tables, charts and the like are one control each.
  if (qobject_cast<QAbstractScrollArea*>(W)) return;
  QList<QWidget*> placed;
  if (QLayout* l = W->layout())
    AddLayout(l, Out, placed);
  else if (!W->isWindow() && !qobject_cast<QSplitter*>(W) && !W->inherits("QGroupBox") && !W->inherits("QFrame") &&
           QLatin1String(W->metaObject()->className()) != QLatin1String("QWidget"))
    return;  // a control made of parts
  for (QWidget* child : W->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    if (!placed.contains(child)) AddWidget(child, Out);
}

void AddWidget(QWidget* W, QList<QWidget*>& Out) {
  if (W->isWindow() || Out.contains(W)) return;
  Out << W;
  AddChildren(W, Out);
}

bool TakesTab(const QWidget* W) { return (W->focusPolicy() & Qt::TabFocus) == Qt::TabFocus; }

// Push and tool buttons act, page tabs lead elsewhere, pictures and charts
// only show, and a read-only box takes no typing.
bool IsInput(const QWidget* W) {
  if (const auto* box = qobject_cast<const QLineEdit*>(W)) return !box->isReadOnly();
  return !qobject_cast<const QPushButton*>(W) && !qobject_cast<const QToolButton*>(W) &&
         !qobject_cast<const QTabBar*>(W) && !qobject_cast<const QGraphicsView*>(W) &&
         !qobject_cast<const QScrollArea*>(W);
}

// A tool window that belongs to another window shares that window's
// shortcuts, so that the main window's Ctrl keys work from it; the Alt keys of
// the main menu bar come along, and an Alt key both windows use would take
// turns between them. While a tool window is active the Alt keys it uses are
// its own: served here, the main window never sees them. Keys it does not use
// go on to the main window as before.
bool IsToolWindow(const QWidget* W) { return W && W->windowType() == Qt::Tool && W->parentWidget(); }

// The Alt key of a key event (Alt+C); empty for any other key.
QKeySequence AltKey(const QKeyEvent* Key) {
  if ((Key->modifiers() & ~Qt::KeypadModifier) != Qt::AltModifier || Key->key() == Qt::Key_Alt ||
      Key->key() == Qt::Key_unknown)
    return {};
  return QKeySequence(QKeyCombination(Qt::AltModifier, Qt::Key(Key->key())));
}

// A control of the window whose text has the Alt key: a button, a label
// (its buddy takes the focus), a group, a page tab, or a menu of its menu bar.
struct TClaim {
  QWidget* Owner;
  QAction* Action = nullptr;
  int Tab = -1;
  QWidget* Target() const {
    if (auto* label = qobject_cast<QLabel*>(Owner)) return label->buddy();
    return Owner;
  }
};

QList<TClaim> Claims(QWidget* Window, const QKeySequence& Key) {
  QList<TClaim> claims;
  auto has = [&Key](const QString& Text) { return QKeySequence::mnemonic(Text) == Key; };
  for (QWidget* w : Window->findChildren<QWidget*>()) {
    if (w->window() != Window || !w->isVisible() || !w->isEnabled()) continue;
    if (auto* bar = qobject_cast<QMenuBar*>(w)) {
      for (QAction* a : bar->actions())
        if (a->isVisible() && a->isEnabled() && has(a->text())) claims.push_back({w, a});
    } else if (auto* tabs = qobject_cast<QTabBar*>(w)) {
      for (int i = 0; i < tabs->count(); ++i)
        if (tabs->isTabVisible(i) && tabs->isTabEnabled(i) && has(tabs->tabText(i))) claims.push_back({w, nullptr, i});
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
      // The label of a control that is off leads nowhere: its key is free.
      if (label->buddy() && label->buddy()->isEnabled() && has(label->text())) claims.push_back({w});
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
      if (has(button->text())) claims.push_back({w});
    } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
      if (has(group->title())) claims.push_back({w});
    }
  }
  return claims;
}

// Opens a menu of a menu bar as its Alt key does in the bar's own window: on
// its first command, a submenu there left closed, so that the next letter is
// the menu's own; a title without a menu runs its command.
void OpenMenu(QMenuBar* Bar, QAction* Title) {
  QMenu* menu = Title->menu();
  if (!menu) {
    Title->trigger();
    return;
  }
  Bar->setActiveAction(Title);
  // Down marks the first command without opening it, as the bar's own key
  // does; making it the active action would open its submenu.
  if (menu->isVisible() && !menu->activeAction()) {
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QCoreApplication::sendEvent(menu, &down);
  }
}

// The menu bar of the main window a tool window belongs to.
QMenuBar* MainMenuBar(const QWidget* Tool) {
  QWidget* main = Tool->parentWidget() ? Tool->parentWidget()->window() : nullptr;
  if (auto* frame = qobject_cast<QMainWindow*>(main)) return qobject_cast<QMenuBar*>(frame->menuWidget());
  return main ? main->findChild<QMenuBar*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

// The title of the main menu bar that has the Alt key.
QAction* MainMenuTitle(const QWidget* Tool, const QKeySequence& Key) {
  QMenuBar* bar = MainMenuBar(Tool);
  if (!bar || !bar->isVisible() || !bar->isEnabled()) return nullptr;
  for (QAction* a : bar->actions())
    if (a->isVisible() && a->isEnabled() && QKeySequence::mnemonic(a->text()) == Key) return a;
  return nullptr;
}

// What the Alt key of a control does: a button is pressed, a label's buddy
// takes the focus, a menu opens on its first command. Several controls with
// one key take the focus in turn.
void Serve(QWidget* Window, const QList<TClaim>& Claims) {
  Window->setAttribute(Qt::WA_KeyboardFocusChange);
  if (Claims.size() > 1) {
    qsizetype at = -1;
    for (qsizetype i = 0; i < Claims.size(); ++i)
      if (Claims[i].Target() == QApplication::focusWidget()) at = i;
    if (QWidget* next = Claims[(at + 1) % Claims.size()].Target()) next->setFocus(Qt::ShortcutFocusReason);
    return;
  }
  const TClaim& claim = Claims.first();
  if (auto* bar = qobject_cast<QMenuBar*>(claim.Owner)) {
    OpenMenu(bar, claim.Action);
  } else if (auto* tabs = qobject_cast<QTabBar*>(claim.Owner)) {
    tabs->setCurrentIndex(claim.Tab);
  } else if (auto* group = qobject_cast<QGroupBox*>(claim.Owner)) {
    if (group->isCheckable()) {
      group->setChecked(!group->isChecked());
      group->setFocus(Qt::ShortcutFocusReason);
    } else if (QWidget* first = FirstInput(group)) {
      first->setFocus(Qt::ShortcutFocusReason);
    }
  } else {
    QWidget* target = claim.Target();
    if (target && target->focusPolicy() != Qt::NoFocus && target != claim.Owner)
      target->setFocus(Qt::ShortcutFocusReason);
    if (auto* button = qobject_cast<QAbstractButton*>(target)) button->animateClick();
  }
}

// Claims the key at its shortcut override, so that no shortcut runs, and
// serves it at the key press that follows.
//
// An Alt key the tool window does not use opens the main window's menu, the
// tool window staying active. That menu ends as one opened from the main
// window does: Escape closes it and leaves its title marked, the keys then go
// to the menu bar (arrows, letters, Enter), and the next Escape leaves the
// menu bar, the keyboard still in the tool window. A command chosen from it
// leaves the keyboard where it puts it: in the image window it made or chose,
// as from the main window; otherwise, after a dialog it opened, back in the
// tool window. The main window keeps its own focused control meanwhile, so
// that going there later does not land on the menu bar.
class TToolWindowKeys : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* Watched, QEvent* Event) override {
    const QEvent::Type type = Event->type();
    if (FVisit.Bar) Follow(Watched, type);
    if (type != QEvent::ShortcutOverride && type != QEvent::KeyPress) return false;
    auto* widget = qobject_cast<QWidget*>(Watched);
    if (!widget) return false;
    auto* key = static_cast<QKeyEvent*>(Event);
    QWidget* window = widget->window();
    const bool active =
        IsToolWindow(window) && window == QApplication::activeWindow() && !QApplication::activePopupWidget();
    const bool inMenuBar = active && InMenuBar(window);
    if (type == QEvent::ShortcutOverride) {
      FPending = {};
      if (!active) return false;
      if (inMenuBar) {
        // The menu bar has the keys, as it would in the main window; the
        // Ctrl shortcuts still run.
        if (key->modifiers() & Qt::ControlModifier) return false;
        key->accept();
        return true;
      }
      const QKeySequence alt = AltKey(key);
      if (alt.isEmpty() || (Claims(window, alt).isEmpty() && !MainMenuTitle(window, alt))) return false;
      FPending = alt;
      FWindow = window;
      key->accept();
      return true;
    }
    if (inMenuBar) {
      ToMenuBar(key);
      return true;
    }
    if (FPending.isEmpty() || window != FWindow || AltKey(key) != FPending) {
      // A drop-down list takes no Alt key as the start of an item's text:
      // the key goes on to the window.
      if (auto* list = qobject_cast<QComboBox*>(widget); list && !list->isEditable() &&
          (key->modifiers() & Qt::AltModifier) && !(key->modifiers() & Qt::ControlModifier) &&
          !key->text().isEmpty()) {
        key->ignore();
        return true;
      }
      return false;
    }
    const QList<TClaim> claims = Claims(window, FPending);
    const QKeySequence alt = std::exchange(FPending, {});
    if (!claims.isEmpty())
      Serve(window, claims);
    else if (QAction* title = MainMenuTitle(window, alt))
      OpenMainMenu(window, title);
    return true;
  }

 private:
  // A main menu opened from a tool window.
  struct TVisit {
    QPointer<QWidget> Tool;
    std::optional<TKeyboardReturn> Back;  // the tool window's control that had the keyboard
    QPointer<QMenuBar> Bar;
    QPointer<QWidget> MainFocus;  // the main window's focused control
    QPointer<QMdiSubWindow> Image;  // the main window's current image window
    bool DialogShown = false;
    QMetaObject::Connection Chosen;
  };

  // The main menu bar holds the keyboard for the tool window: a menu of it
  // was closed by Escape, leaving its title marked.
  bool InMenuBar(const QWidget* Tool) const {
    return FVisit.Tool == Tool && FVisit.Bar && FVisit.Bar->window()->focusWidget() == FVisit.Bar &&
           FVisit.Bar->activeAction();
  }

  void OpenMainMenu(QWidget* Tool, QAction* Title) {
    EndVisit();
    QMenuBar* bar = MainMenuBar(Tool);
    FVisit.Tool = Tool;
    FVisit.Back.emplace(Tool);
    FVisit.Bar = bar;
    if (QWidget* kept = bar->window()->focusWidget(); kept != bar) FVisit.MainFocus = kept;
    FVisit.Image = CurrentImage();
    // Emitted once the command has run, with any dialog it opened closed.
    FVisit.Chosen = connect(bar, &QMenuBar::triggered, this, [this] { CommandDone(); });
    OpenMenu(bar, Title);
  }

  // What happens around a visit: a dialog a command opens, a menu that
  // closes with no command, the tool window left or closed.
  void Follow(QObject* Watched, QEvent::Type Type) {
    auto* w = qobject_cast<QWidget*>(Watched);
    if (!w) return;
    if (Type == QEvent::Show && w->isWindow() && w->isModal()) {
      FVisit.DialogShown = true;
    } else if (Type == QEvent::Hide && qobject_cast<QMenu*>(w)) {
      // A command runs after its menu closes; one that opens a dialog is
      // still running when the events are next served.
      QTimer::singleShot(0, this, [this] {
        if (FVisit.Bar && !QApplication::activePopupWidget() && !QApplication::activeModalWidget() &&
            !InMenuBar(FVisit.Tool))
          EndVisit();
      });
    } else if (w == FVisit.Tool && (Type == QEvent::WindowDeactivate || Type == QEvent::Hide) &&
               !QApplication::activePopupWidget()) {
      // The main window made active (a click on an image) may have put the
      // focus on its own control first: a title still marked is left all
      // the same.
      if (FVisit.Bar->activeAction()) {
        LeaveMenuBar();
        EndVisit();
      } else {
        RestoreMainFocus();
      }
    }
  }

  void ToMenuBar(QKeyEvent* Key) {
    Key->accept();
    if (Key->key() == Qt::Key_Tab || Key->key() == Qt::Key_Backtab) {
      LeaveMenuBar();
      EndVisit();
      return;
    }
    QKeyEvent copy(Key->type(), Key->key(), Key->modifiers(), Key->nativeScanCode(), Key->nativeVirtualKey(),
                   Key->nativeModifiers(), Key->text(), Key->isAutoRepeat(), quint16(Key->count()));
    QCoreApplication::sendEvent(FVisit.Bar, &copy);
    if (FVisit.Bar && !InMenuBar(FVisit.Tool) && !QApplication::activePopupWidget()) EndVisit();
  }

  // Leaves the menu bar as Escape there does.
  void LeaveMenuBar() {
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(FVisit.Bar, &escape);
  }

  // A menu bar that leaves its keys while another window has the keyboard
  // stays its window's focused control: that window would come back to it.
  void RestoreMainFocus() {
    if (!FVisit.Bar) return;
    QWidget* now = FVisit.Bar->window()->focusWidget();
    if (now && now != FVisit.Bar) return;
    if (FVisit.MainFocus && FVisit.MainFocus->isVisible() && FVisit.MainFocus->isEnabled())
      FVisit.MainFocus->setFocus(Qt::OtherFocusReason);
    else if (now)
      FVisit.Bar->clearFocus();
  }

  // The image window current in the main window: the one its commands
  // act on.
  QMdiSubWindow* CurrentImage() const {
    auto* area = FVisit.Bar ? FVisit.Bar->window()->findChild<QMdiArea*>() : nullptr;
    return area ? area->currentSubWindow() : nullptr;
  }

  void CommandDone() {
    if (QMdiSubWindow* image = CurrentImage(); image && image != FVisit.Image) {
      // The command made another image window current (a new one, or one
      // chosen from the Window menu): the keyboard goes there.
      QWidget* main = FVisit.Bar->window();
      if (QWidget* now = main->focusWidget(); !now || (now != image && !image->isAncestorOf(now)))
        (image->widget() ? image->widget() : image)->setFocus(Qt::OtherFocusReason);
      main->activateWindow();
    } else if (FVisit.DialogShown && FVisit.Back) {
      FVisit.Back->Restore();
    }
    EndVisit();
  }

  void EndVisit() {
    RestoreMainFocus();
    disconnect(FVisit.Chosen);
    FVisit = TVisit();
  }

  QKeySequence FPending;
  QPointer<QWidget> FWindow;
  TVisit FVisit;
};

// Puts the Tab order right once, and the focus on the first input at each
// showing (a window shown again starts afresh, not where it was left). A
// window that becomes active with the focus nowhere in it takes it there.
// Escape that no control of a tool window takes closes the window, as it
// closes a dialog.
class TKeyboardEntry : public QObject {
 public:
  explicit TKeyboardEntry(QWidget* Window) : QObject(Window) { Window->installEventFilter(this); }
  bool eventFilter(QObject* Watched, QEvent* Event) override {
    if (Watched != parent()) return false;
    auto* window = static_cast<QWidget*>(Watched);
    if (Event->type() == QEvent::Show && !Event->spontaneous()) {
      if (!FOrdered) {
        FOrdered = true;
        const QList<QWidget*> order = ReadingOrder(window);
        for (qsizetype i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
      }
      if (QWidget* first = FirstInput(window)) first->setFocus(Qt::OtherFocusReason);
    } else if (Event->type() == QEvent::WindowActivate) {
      QWidget* focus = QApplication::focusWidget();
      if (!focus || (focus != window && !window->isAncestorOf(focus))) {
        QWidget* kept = window->focusWidget();
        if (!kept || !kept->isVisible() || !kept->isEnabled()) kept = FirstInput(window);
        if (kept) kept->setFocus(Qt::ActiveWindowFocusReason);
      }
    } else if (Event->type() == QEvent::KeyPress && window->windowType() == Qt::Tool &&
               !qobject_cast<QDialog*>(window)) {
      const auto* key = static_cast<QKeyEvent*>(Event);
      if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier) {
        window->close();
        return true;
      }
    }
    return false;
  }

 private:
  bool FOrdered = false;
};
}  // namespace

void Install(QWidget* Window) {
  static QPointer<TToolWindowKeys> keys;
  if (!keys && qApp) {
    keys = new TToolWindowKeys(qApp);
    qApp->installEventFilter(keys);
  }
  for (QObject* child : Window->children())
    if (dynamic_cast<TKeyboardEntry*>(child)) return;
  new TKeyboardEntry(Window);
}

QList<QWidget*> ReadingOrder(QWidget* Window) {
  QList<QWidget*> all, out;
  AddChildren(Window, all);
  for (QWidget* w : all)
    if (TakesTab(w)) out << w;
  return out;
}

namespace {
// In a group of buttons of which one is ticked, the ticked one stands for the
// group: the focus enters the group there.
QWidget* TickedOfGroup(QWidget* W) {
  auto* button = qobject_cast<QAbstractButton*>(W);
  if (!button || !button->isCheckable() || button->isChecked()) return W;
  QList<QAbstractButton*> group;
  if (button->group()) {
    if (!button->group()->exclusive()) return W;
    group = button->group()->buttons();
  } else if (button->autoExclusive() && button->parentWidget()) {
    group = button->parentWidget()->findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly);
  }
  for (QAbstractButton* b : group)
    if (b->isChecked() && b->isEnabled() && (button->group() || b->autoExclusive())) return b;
  return W;
}
}  // namespace

QWidget* FirstInput(QWidget* Window) {
  QWidget* first = nullptr;
  for (QWidget* w : ReadingOrder(Window)) {
    if (!w->isEnabled() || !w->isVisibleTo(Window) || w->focusProxy()) continue;
    if (IsInput(w)) return TickedOfGroup(w);
    if (!first) first = w;
  }
  for (QPushButton* b : Window->findChildren<QPushButton*>())
    if (b->isDefault() && b->isVisibleTo(Window) && b->isEnabled()) return b;
  return first;
}
}  // namespace KeyboardOrder

namespace {
// A control whose value is a choice the user makes: a list, a box to tick, a
// text box, a slider or spin box; not the parts of one (a combo box's text),
// nor a tool kept on Cancel.
const char* const KeptOnCancelProperty = "keptOnCancel";

bool NotAChoice(const QWidget* W, const QWidget* Window) {
  for (const QWidget* p = W; p && p != Window; p = p->parentWidget())
    if (p->property(KeptOnCancelProperty).toBool()) return true;
  for (const QWidget* p = W->parentWidget(); p && p != Window; p = p->parentWidget())
    if (qobject_cast<const QComboBox*>(p) || qobject_cast<const QAbstractSpinBox*>(p) ||
        qobject_cast<const QAbstractItemView*>(p))
      return true;
  return false;
}

template <typename TControl, typename TGet, typename TSet>
std::function<void()> Keep(TControl* Control, TGet Get, TSet Set) {
  return [c = QPointer<TControl>(Control), Get, Set, v = (Control->*Get)()] {
    if (c && (c.data()->*Get)() != v) (c.data()->*Set)(v);
  };
}

QList<std::function<void()>> Choices(QWidget* Window) {
  QList<std::function<void()>> restore;
  for (QWidget* w : Window->findChildren<QWidget*>()) {
    if (w->window() != Window || NotAChoice(w, Window)) continue;
    if (auto* list = qobject_cast<QComboBox*>(w)) {
      QStringList items;
      for (int i = 0; i < list->count(); ++i) items << list->itemText(i);
      // Only a list that still holds the same items gets its choice back.
      restore << [list = QPointer<QComboBox>(list), items, index = list->currentIndex(), text = list->currentText()] {
        if (!list || list->count() != items.size()) return;
        for (int i = 0; i < items.size(); ++i)
          if (list->itemText(i) != items[i]) return;
        if (list->currentIndex() != index) list->setCurrentIndex(index);
        if (list->isEditable() && list->currentText() != text) list->setEditText(text);
      };
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
      if (button->isCheckable()) restore << Keep(button, &QAbstractButton::isChecked,
                                                                          &QAbstractButton::setChecked);
    } else if (auto* box = qobject_cast<QLineEdit*>(w)) {
      if (!box->isReadOnly())
        restore << Keep(box, &QLineEdit::text, &QLineEdit::setText);
    } else if (auto* spin = qobject_cast<QSpinBox*>(w)) {
      restore << Keep(spin, &QSpinBox::value, &QSpinBox::setValue);
    } else if (auto* real = qobject_cast<QDoubleSpinBox*>(w)) {
      restore << Keep(real, &QDoubleSpinBox::value, &QDoubleSpinBox::setValue);
    } else if (auto* slider = qobject_cast<QAbstractSlider*>(w); slider && !qobject_cast<QScrollBar*>(w)) {
      restore << Keep(slider, &QAbstractSlider::value, &QAbstractSlider::setValue);
    }
  }
  return restore;
}
}  // namespace

void TForm::KeptOnCancel(QWidget* Part) { Part->setProperty(KeptOnCancelProperty, true); }

bool TForm::event(QEvent* Event) {
  // The choices as the opening finds them, before the form's own showing
  // handlers set theirs: those of a modal dialog that OK would take. A
  // window without OK (a viewer) has nothing to cancel.
  if (Event->type() == QEvent::Show && !Event->spontaneous()) {
    const auto* ok = findChild<QAbstractButton*>(QStringLiteral("btnOK"));
    FRestoreChoices = isModal() && ok && !ok->isHidden() ? Choices(this) : QList<std::function<void()>>();
  }
  return QDialog::event(Event);
}

void TForm::done(int Result) {
  // Put back before the dialog hides, so that what follows a change (a
  // preview, a control enabled) settles with the dialog.
  if (Result == mrCancel)
    for (const auto& restore : std::exchange(FRestoreChoices, {})) restore();
  FRestoreChoices.clear();
  QDialog::done(Result);
}

QUrl TForm::HelpTopic(int Context) {
  const TApplication* app = Application();
  if (!app || app->HelpFile().isEmpty()) return {};
  QUrl url = QUrl::fromLocalFile(app->HelpFile());
  if (Context != 0) url.setFragment(QStringLiteral("context-%1").arg(Context));
  return url;
}

void TForm::keyPressEvent(QKeyEvent* Event) {
  if (Event->key() == Qt::Key_F1 && Event->modifiers() == Qt::NoModifier) {
    const QUrl url = HelpTopic(HelpContext);
    if (url.isValid() && QFileInfo::exists(url.toLocalFile())) ShowHelpPage(url, this);
    Event->accept();
    return;
  }
  QDialog::keyPressEvent(Event);
}

bool ShowHelpPage(const QUrl& Page, QWidget* Parent) {
  if (QDesktopServices::openUrl(Page)) return true;
  MessageBox::ShowError(QStringLiteral("The help page \"%1\" could not be shown: no web browser could be started.")
                            .arg(Page.toDisplayString()),
                        Parent);
  return false;
}

QHBoxLayout* TForm::MakeButtons(bool OkOnly) {
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  btnOK = new QPushButton(QStringLiteral("OK"), this);
  btnOK->setObjectName(QStringLiteral("btnOK"));
  btnOK->setDefault(true);
  row->addWidget(btnOK);
  if (!OkOnly) {
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    connect(btnCancel, &QPushButton::clicked, this, [this] { SetModalResult(mrCancel); });
    row->addWidget(btnCancel);
  }
  return row;
}

QPixmap ProgramPicture() {
  // A night sky with a few stars and the program's name.
  QImage img(360, 200, QImage::Format_RGB32);
  QPainter p(&img);
  QLinearGradient sky(0, 0, 0, 200);
  sky.setColorAt(0, QColor(4, 8, 32));
  sky.setColorAt(1, QColor(24, 40, 96));
  p.fillRect(img.rect(), sky);
  QRandomGenerator rng(20251);
  for (int i = 0; i < 140; ++i) {
    const int x = int(rng.bounded(360)), y = int(rng.bounded(200));
    const int b = 120 + int(rng.bounded(136));
    p.setPen(QColor(b, b, std::min(255, b + 30)));
    p.drawPoint(x, y);
  }
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(QColor(255, 244, 200));
  p.setPen(Qt::NoPen);
  p.drawEllipse(QPointF(292, 52), 5, 5);
  p.setPen(QColor(255, 255, 255));
  QFont f(QStringLiteral("Liberation Sans"), 22, QFont::Bold);
  p.setFont(f);
  p.drawText(QRect(0, 110, 360, 40), Qt::AlignCenter, QStringLiteral("Corvelle Image"));
  f.setPointSize(11);
  f.setBold(false);
  p.setFont(f);
  p.drawText(QRect(0, 148, 360, 24), Qt::AlignCenter, QStringLiteral("Version 2.5ZUL"));
  p.end();
  return QPixmap::fromImage(img);
}

namespace StandardDialogs {
namespace {
TColourHook& ColourHook() {
  static TColourHook h;
  return h;
}
TFontHook& FontHook() {
  static TFontHook h;
  return h;
}
}  // namespace

TColourHook SetColourHook(TColourHook Hook) { return std::exchange(ColourHook(), std::move(Hook)); }
TFontHook SetFontHook(TFontHook Hook) { return std::exchange(FontHook(), std::move(Hook)); }

bool ChooseColour(QColor& Colour, QWidget* Parent) {
  if (auto& h = ColourHook()) return h(Colour);
  const QColor c = QColorDialog::getColor(Colour, Parent, QString(), QColorDialog::DontUseNativeDialog);
  if (!c.isValid()) return false;
  Colour = c;
  return true;
}

bool ChooseFont(QFont& Font, QWidget* Parent) {
  if (auto& h = FontHook()) return h(Font);
  bool ok = false;
  const QFont f = QFontDialog::getFont(&ok, Font, Parent, QString(), QFontDialog::DontUseNativeDialog);
  if (ok) Font = f;
  return ok;
}
}  // namespace StandardDialogs
