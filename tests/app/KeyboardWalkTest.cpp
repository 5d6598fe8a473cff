// Every window of the program used with the keyboard alone, as a new user
// tries it: where the focus is when a dialog opens, where Tab takes it, which
// button Enter and Escape press, and whether each Alt key leads to one place
// only, in the menus and in every dialog the commands open.
#include <QAbstractItemView>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHash>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QStackedLayout>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <map>

#include "app/FileManager.h"
#include "app/FormSupport.h"
#include "app/WindowWalk.h"
#include "dialogs/FileOptionsForm.h"
#include "dialogs/JPEGOptionsForm.h"
#include "toolbars/DockButtons.h"

namespace {

using WindowWalk::Describe;

// Boxes that take Enter themselves: it applies the typed value at once.
const QStringList EnterApplies = {QStringLiteral("frmLinear/fedMin")};

// The Alt key of a text ("&Open..." gives O); 0 when it has none.
QChar Mnemonic(const QString& Text) {
  const QKeySequence key = QKeySequence::mnemonic(Text);
  if (key.isEmpty()) return {};
  return QChar(key[0].key()).toUpper();
}

bool TakesTab(const QWidget* W) {
  return (W->focusPolicy() & Qt::TabFocus) == Qt::TabFocus && W->isEnabled() && W->isVisible() && !W->focusProxy();
}

// The buttons of which one is ticked at a time; null for a button of its own.
const QObject* ExclusiveGroup(const QWidget* W) {
  const auto* b = qobject_cast<const QAbstractButton*>(W);
  if (!b || !b->isCheckable()) return nullptr;
  if (b->group()) return b->group()->exclusive() ? b->group() : nullptr;
  return b->autoExclusive() ? b->parentWidget() : nullptr;
}

// Tab stops in order: Tab enters a group of exclusive buttons at its first
// and leaves it from there (the arrow keys move within the group).
QList<QWidget*> TabStops(const QList<QWidget*>& Widgets) {
  QList<QWidget*> stops;
  QSet<const QObject*> groups;
  for (QWidget* w : Widgets) {
    if (!TakesTab(w)) continue;
    if (const QObject* g = ExclusiveGroup(w)) {
      if (groups.contains(g)) continue;
      groups.insert(g);
    }
    stops << w;
  }
  return stops;
}

// An input, as opposed to a button that acts, a page tab that leads
// elsewhere, a picture or chart that only shows, or a box that cannot be
// typed in.
bool IsInput(const QWidget* W) {
  if (const auto* box = qobject_cast<const QLineEdit*>(W)) return !box->isReadOnly();
  return !qobject_cast<const QPushButton*>(W) && !W->inherits("QToolButton") && !qobject_cast<const QTabBar*>(W) &&
         !W->inherits("TToolbarButton") && !W->inherits("QGraphicsView") && !qobject_cast<const QScrollArea*>(W);
}

// Widgets in the order a reader meets them: each layout's items in their
// places (grid rows left to right, top to bottom; box layouts in their
// direction), a tab widget's page tabs before its page, a container without
// a layout by the positions of its children.
class TReadingOrder {
 public:
  explicit TReadingOrder(QWidget* Window) { Children(Window); }
  QList<QWidget*> Widgets;

 private:
  void Widget(QWidget* W) {
    if (W->isHidden() || W->isWindow()) return;
    Widgets << W;
    Children(W);
  }
  void Children(QWidget* W) {
    if (auto* tabs = qobject_cast<QTabWidget*>(W)) {
      Widget(tabs->tabBar());
      if (tabs->currentWidget()) Widget(tabs->currentWidget());
      return;
    }
    if (auto* scroll = qobject_cast<QScrollArea*>(W)) {
      if (scroll->widget()) Widget(scroll->widget());
      return;
    }
    if (qobject_cast<QAbstractScrollArea*>(W) || (!W->layout() && !IsContainer(W))) return;
    QList<QWidget*> placed;
    if (W->layout()) Layout(W->layout(), placed);
    // Children outside the layout, by their places.
    QList<QWidget*> rest;
    for (QWidget* c : W->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
      if (!placed.contains(c)) rest << c;
    std::stable_sort(rest.begin(), rest.end(), [](QWidget* a, QWidget* b) {
      return std::pair(a->y(), a->x()) < std::pair(b->y(), b->x());
    });
    for (QWidget* c : rest) Widget(c);
  }
  static bool IsContainer(QWidget* W) {
    const QString cls = QString::fromLatin1(W->metaObject()->className());
    return cls == QLatin1String("QWidget") || cls == QLatin1String("QGroupBox") || cls == QLatin1String("QFrame");
  }
  void Layout(QLayout* L, QList<QWidget*>& Placed) {
    struct TItem {
      int Row, Column;
      QLayoutItem* Item;
    };
    std::vector<TItem> items;
    if (auto* stack = qobject_cast<QStackedLayout*>(L)) {
      if (stack->currentWidget()) {
        Placed << stack->currentWidget();
        Widget(stack->currentWidget());
      }
      return;
    }
    for (int i = 0; i < L->count(); ++i) {
      int row = i, column = 0, rs = 0, cs = 0;
      if (auto* grid = qobject_cast<QGridLayout*>(L)) {
        grid->getItemPosition(i, &row, &column, &rs, &cs);
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
    std::stable_sort(items.begin(), items.end(),
                     [](const TItem& a, const TItem& b) { return std::pair(a.Row, a.Column) < std::pair(b.Row, b.Column); });
    for (const TItem& t : items) {
      if (QWidget* w = t.Item->widget()) {
        Placed << w;
        Widget(w);
      } else if (QLayout* l = t.Item->layout()) {
        Layout(l, Placed);
      }
    }
  }
};

QString Names(const QList<QWidget*>& Widgets) {
  QStringList names;
  for (QWidget* w : Widgets) names << (w ? Describe(w) : QStringLiteral("nowhere"));
  return names.join(QStringLiteral(", "));
}

// Holds back the presses of a window's buttons, so that nothing runs, and
// notes the first one pressed.
class THeldPresses {
 public:
  explicit THeldPresses(QWidget* Window) : FButtons(Window->findChildren<QAbstractButton*>()) {
    for (QAbstractButton* b : FButtons)
      FLinks << QObject::connect(b, &QAbstractButton::pressed, b, [this, b] {
        if (!Pressed) Pressed = b;
        b->blockSignals(true);
      });
  }
  ~THeldPresses() {
    for (QAbstractButton* b : FButtons) b->blockSignals(false);
    for (const auto& l : FLinks) QObject::disconnect(l);
  }
  THeldPresses(const THeldPresses&) = delete;
  THeldPresses& operator=(const THeldPresses&) = delete;
  QAbstractButton* Pressed = nullptr;

 private:
  QList<QAbstractButton*> FButtons;
  QList<QMetaObject::Connection> FLinks;
};

class TKeyboardWalker {
 public:
  QStringList Faults;
  QStringList Walked;

  // A window as a keyboard user meets it. A dialog, and a window with a text
  // box, that a command Opened comes active; a dialog opens with the focus on
  // its first input, and Enter and Escape are tried as well (the window ends
  // closed). Another window is activated by hand and keeps the focus where
  // its state leaves it.
  void Walk(QWidget* Window, bool Opened) {
    FWindow = Describe(Window) + QStringLiteral(" \"") + Window->windowTitle() + QLatin1Char('"');
    Walked << FWindow;
    const bool Dialog = qobject_cast<QDialog*>(Window);
    CheckMnemonics(Window);
    if (QApplication::activeWindow() != Window) {
      // On X the activation the program asks for arrives as an event of its
      // own, later under load: a window that asked for it gets a moment.
      if (Opened && (Dialog || !Window->findChildren<QLineEdit*>().isEmpty()) &&
          !QTest::qWaitFor([Window] { return QApplication::activeWindow() == Window; }, 1000))
        Fault(QStringLiteral("opens without the keyboard focus"));
      Window->activateWindow();
      if (!QTest::qWaitFor([Window] { return QApplication::activeWindow() == Window; }, 2000)) {
        Fault(QStringLiteral("cannot be made the active window"));
        return;
      }
    }
    const QList<QWidget*> order = TabStops(TReadingOrder(Window).Widgets);
    if (order.isEmpty()) return;
    QWidget* first = nullptr;
    for (QWidget* w : order)
      if (IsInput(w)) {
        first = w;
        break;
      }
    if (!first) first = DefaultButton(Window) ? DefaultButton(Window) : order.first();
    QWidget* focus = QApplication::focusWidget();
    if (!Dialog && order.contains(focus)) first = focus;
    if (focus != first)
      Fault(QStringLiteral("opens with the focus on %1, not on %2").arg(focus ? Describe(focus) : QStringLiteral("nothing"),
                                                                       Describe(first)));
    CheckTabOrder(order, first);
    if (!Dialog) return;
    // A dialog that stays beside the images is put away by a button too.
    if (!Window->isModal() && !CloseButton(Window)) Fault(QStringLiteral("has no button that closes it"));
    first->setFocus(Qt::TabFocusReason);
    CheckEnter(Window);
    // Left on its last control, as after a click on Cancel: the next
    // opening starts afresh all the same.
    order.last()->setFocus(Qt::TabFocusReason);
    CheckEscape(Window);
  }

  // A menu's items each have an Alt key of their own.
  void WalkMenu(const QString& Name, const QList<QAction*>& Actions) {
    FWindow = Name;
    std::map<QChar, QStringList> keys;
    for (QAction* a : Actions) {
      if (a->isSeparator() || !a->isVisible()) continue;
      const QChar key = Mnemonic(a->text());
      if (key.isNull())
        Fault(QStringLiteral("\"%1\" has no Alt key").arg(a->text()));
      else
        keys[key] << a->text();
    }
    Duplicates(keys);
  }

 private:
  void Fault(const QString& What) { Faults << FWindow + QStringLiteral(": ") + What; }

  void Duplicates(const std::map<QChar, QStringList>& Keys) {
    for (const auto& [key, texts] : Keys)
      if (texts.size() > 1)
        Fault(QStringLiteral("Alt+%1 is claimed by %2").arg(key, texts.join(QStringLiteral(" and "))));
  }

  // OK, Cancel or Close.
  static QPushButton* CloseButton(QWidget* Window) {
    for (QPushButton* b : Window->findChildren<QPushButton*>()) {
      const QString text = QString(b->text()).remove(QLatin1Char('&'));
      if (b->isVisible() && (text == QLatin1String("OK") || text == QLatin1String("Cancel") || text == QLatin1String("Close")))
        return b;
    }
    return nullptr;
  }

  static QPushButton* DefaultButton(QWidget* Window) {
    for (QPushButton* b : Window->findChildren<QPushButton*>())
      if (b->isDefault() && b->isVisible()) return b;
    return nullptr;
  }

  // Every Alt key of the window leads to one control, and every labelled
  // field has one. Each page of a tab widget is read with what lies outside
  // the tab widget.
  void CheckMnemonics(QWidget* Window) {
    QList<QTabWidget*> tabs = Window->findChildren<QTabWidget*>();
    std::vector<int> pages = {-1};
    if (!tabs.isEmpty())
      for (int i = 0; i < tabs.first()->count(); ++i) pages.push_back(i);
    const int current = tabs.isEmpty() ? -1 : tabs.first()->currentIndex();
    for (int page : pages) {
      if (page >= 0) tabs.first()->setCurrentIndex(page);
      if (page < 0 && !tabs.isEmpty()) continue;
      std::map<QChar, QStringList> keys;
      // Each labelled field and whether one of its labels has an Alt key
      // (a slider's end labels are its labels too).
      std::map<QWidget*, std::pair<QLabel*, bool>> fields;
      for (QWidget* w : TReadingOrder(Window).Widgets) {
        QString text;
        if (auto* label = qobject_cast<QLabel*>(w)) {
          text = label->text();
          const bool has = !Mnemonic(text).isNull();
          if (has && !label->buddy()) Fault(QStringLiteral("%1 has an Alt key that leads nowhere").arg(Describe(w)));
          if (has && label->buddy() && !label->buddy()->isEnabled())
            Fault(QStringLiteral("%1 \"%2\" shows an Alt key though its field is off").arg(Describe(w), text));
          if (label->buddy()) {
            auto& field = fields.try_emplace(label->buddy(), label, false).first->second;
            field.second = field.second || has;
          }
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
          text = button->text();
          if ((qobject_cast<QCheckBox*>(w) || qobject_cast<QRadioButton*>(w)) && Mnemonic(text).isNull())
            Fault(QStringLiteral("%1 \"%2\" has no Alt key").arg(Describe(w), text));
        } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
          text = group->title();
        } else if (auto* bar = qobject_cast<QTabBar*>(w)) {
          for (int i = 0; i < bar->count(); ++i)
            if (const QChar key = Mnemonic(bar->tabText(i)); !key.isNull()) keys[key] << bar->tabText(i);
        }
        if (const QChar key = Mnemonic(text); !key.isNull()) keys[key] << Describe(w);
      }
      // A field that is off may show no key: its key would lead nowhere.
      for (const auto& [field, label] : fields)
        if (!label.second && field->isEnabled() &&
            !(qobject_cast<QAbstractButton*>(field) &&
              !Mnemonic(static_cast<QAbstractButton*>(field)->text()).isNull()))
          Fault(QStringLiteral("%1 labelled \"%2\" has no Alt key").arg(Describe(field), label.first->text()));
      Duplicates(keys);
    }
    if (!tabs.isEmpty()) tabs.first()->setCurrentIndex(current);
  }

  // Tab from the first input runs through the controls in reading order and
  // comes back.
  void CheckTabOrder(const QList<QWidget*>& Order, QWidget* First) {
    const qsizetype start = Order.indexOf(First);
    QList<QWidget*> expected, met;
    for (qsizetype i = 0; i < Order.size(); ++i) expected << Order[(start + i) % Order.size()];
    QWidget* focus = QApplication::focusWidget();
    if (focus != First) First->setFocus(Qt::TabFocusReason);
    met << QApplication::focusWidget();
    for (qsizetype i = 0; i < Order.size() + 2; ++i) {
      QWidget* now = QApplication::focusWidget();
      if (!now) break;
      QTest::keyClick(now, Qt::Key_Tab);
      QWidget* next = QApplication::focusWidget();
      if (next == First || next == now) break;
      met << next;
      if (!next) break;
    }
    if (met != expected)
      Fault(QStringLiteral("Tab goes %1; the reading order is %2").arg(Names(met), Names(expected)));
  }

  // Enter where the dialog opens presses OK (the default button); the press
  // itself is held back, so that nothing runs.
  void CheckEnter(QWidget* Window) {
    QAbstractButton* pressed = nullptr;
    QWidget* focus = QApplication::focusWidget();
    {
      const THeldPresses held(Window);
      QTest::keyClick(focus, Qt::Key_Return);
      pressed = held.Pressed;
    }
    auto* ok = Window->findChild<QPushButton*>(QStringLiteral("btnOK"));
    if (ok && !ok->isVisible()) ok = nullptr;
    QPushButton* wanted = ok ? ok : DefaultButton(Window);
    if (EnterApplies.contains(Window->objectName() + QLatin1Char('/') + focus->objectName())) wanted = nullptr;
    if (pressed != wanted)
      Fault(QStringLiteral("Enter in %1 presses %2, not %3")
                .arg(Describe(focus), pressed ? Describe(pressed) : QStringLiteral("nothing"),
                     wanted ? Describe(wanted) : QStringLiteral("nothing")));
  }

  // Escape closes the dialog without pressing OK.
  void CheckEscape(QWidget* Window) {
    bool ok = false;
    QMetaObject::Connection link;
    if (auto* b = Window->findChild<QPushButton*>(QStringLiteral("btnOK")))
      link = QObject::connect(b, &QAbstractButton::pressed, [&ok] { ok = true; });
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QCoreApplication::processEvents();
    QObject::disconnect(link);
    if (Window->isVisible()) Fault(QStringLiteral("stays open after Escape"));
    if (ok) Fault(QStringLiteral("Escape presses OK"));
  }

  QString FWindow;
};

class KeyboardWalk : public WindowWalk::TWalkTest {
 protected:
  TKeyboardWalker Walker;
};

}  // namespace

TEST_F(KeyboardWalk, EveryDialogOpensOnItsFirstInputTabsInReadingOrderAndHasOneControlPerAltKey) {
  MakeImages();
  // The menu bar and every menu under it, the image windows' and the
  // report windows' own menus.
  QList<QAction*> bar;
  for (QAction* a : Form->menuBar()->actions()) bar << a;
  Walker.WalkMenu(QStringLiteral("menu bar"), bar);
  for (QMenu* menu : Form->findChildren<QMenu*>())
    Walker.WalkMenu(QStringLiteral("menu ") + Describe(menu) + QStringLiteral(" \"") + menu->title() + QLatin1Char('"'),
                    menu->actions());

  // The windows the start shows beside the main window.
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w != Form && w->isVisible() && !qobject_cast<QMenu*>(w)) Walker.Walk(w, false);

  bool confirming = false;
  const WindowWalk::TVisit visit = [&](QWidget* Window, bool Modal) {
    // The walk clicks OK in a confirmed dialog.
    if (confirming && Modal && WindowWalk::Confirmed().contains(Window->objectName())) return;
    Walker.Walk(Window, true);
  };
  // Twice round: the second time each dialog opens again after the first
  // left it with the focus on its last control.
  QStringList nothing;
  for (int round = 0; round < 2; ++round) {
    SaveName = QStringLiteral("walk.fts");
    OptionsShown = false;
    confirming = false;
    nothing = WalkEveryCommand(visit, [this] { return Walker.Walked.size(); }, true);
    // The windows that a confirmed dialog leads to.
    confirming = true;
    for (const char* action : {"StatisticsLinePlot", "Statistics3DVisu"}) {
      Form->MDIArea()->setActiveSubWindow(Grey);
      WalkWhatOpens([&] { Form->Action(QString::fromLatin1(action))->trigger(); }, visit, true);
    }
    // The JPEG options come with a save under a JPEG name.
    confirming = false;
    SaveName = QStringLiteral("walk.jpg");
    Form->MDIArea()->setActiveSubWindow(Colour);
    WalkWhatOpens([&] { Form->Action(QStringLiteral("FileSaveAs"))->trigger(); }, visit, true);
  }

  EXPECT_TRUE(Walker.Faults.empty()) << Walker.Faults.size() << " faults:\n"
                                     << Walker.Faults.join(QLatin1Char('\n')).toStdString();
  for (const QString& name : NotReached(Walker.Walked))
    ADD_FAILURE() << name.toStdString() << " was not reached; commands that opened nothing: "
                  << nothing.join(QLatin1Char(' ')).toStdString();
}

namespace {

// The tool windows, each opened by its command with the main window active
// behind it, as a keyboard user meets them: each Alt key of the window reaches
// its own control or menu (not the main window's menu with the same letter),
// Escape closes the window, and after a warning it raised the focus is back
// in the field the user was on. CTest runs this on an X server with a window
// manager too (ToolWindowWalkOnX), where activation and focus are the window
// system's.
class ToolWindowWalk : public WindowWalk::TWalkTest {
 protected:
  struct TTool {
    const char* Command;
    const char* Window;
    bool ComesActive;  // the command hands it the keyboard
    bool Colour;       // run on the colour image (the charts' channels)
  };

  QStringList Faults;
  QString Name;
  void Fault(const QString& What) { Faults << Name + QStringLiteral(": ") + What; }

  static bool WaitActive(QWidget* W, int Ms = 2000) {
    return QTest::qWaitFor([W] { return QApplication::activeWindow() == W; }, Ms);
  }
  // Under load the window manager may let a request for the focus pass
  // unanswered, or give a new window the focus before the toolkit listens
  // for it (then no request changes anything): the focus is asked for again,
  // by way of another window, for some seconds before that counts.
  static bool MakeActive(QWidget* W) {
    for (int i = 0; i < 10; ++i) {
      W->raise();
      W->activateWindow();
      if (WaitActive(W, 1000)) return true;
      for (QWidget* other : QApplication::topLevelWidgets())
        if (other != W && other->isVisible() && !qobject_cast<QMenu*>(other)) {
          other->activateWindow();
          (void)WaitActive(other, 500);
          break;
        }
    }
    return false;
  }

  // Triggers a command; a modal dialog it opens is confirmed with OK.
  void Run(const QString& Command) {
    QTimer confirm;
    confirm.setInterval(10);
    QObject::connect(&confirm, &QTimer::timeout, [&confirm] {
      QWidget* modal = QApplication::activeModalWidget();
      if (auto* ok = modal ? modal->findChild<QAbstractButton*>(QStringLiteral("btnOK")) : nullptr) {
        confirm.stop();
        ok->click();
      }
    });
    confirm.start();
    Form->Action(Command)->trigger();
    QTest::qWait(50);
  }

  // A control of the window that an Alt key reaches, with what the key is
  // to do there.
  struct TKey {
    QChar Key;
    QString Text;
    QWidget* Focus = nullptr;           // takes the focus
    QAbstractButton* Press = nullptr;   // is pressed
    QMenu* Opens = nullptr;             // opens
  };
  QList<TKey> Keys(QWidget* Window) const {
    QList<TKey> keys;
    for (QWidget* w : Window->findChildren<QWidget*>()) {
      if (!w->isVisible() || !w->isEnabled()) continue;
      // A label whose control is off gives its key up: the main menu with
      // that letter opens, if there is one.
      if (auto* label = qobject_cast<QLabel*>(w); label && label->buddy() && !Mnemonic(label->text()).isNull())
        keys << (label->buddy()->isEnabled() ? TKey{Mnemonic(label->text()), label->text(), label->buddy()}
                                             : TKey{Mnemonic(label->text()), label->text(), nullptr, nullptr,
                                                    MainMenu(Mnemonic(label->text()))});
      else if (auto* button = qobject_cast<QAbstractButton*>(w); button && !Mnemonic(button->text()).isNull())
        keys << TKey{Mnemonic(button->text()), button->text(), nullptr, button};
      else if (auto* bar = qobject_cast<QMenuBar*>(w))
        for (QAction* a : bar->actions())
          if (a->menu() && !Mnemonic(a->text()).isNull())
            keys << TKey{Mnemonic(a->text()), a->text(), nullptr, nullptr, a->menu()};
    }
    return keys;
  }

  QMenu* MainMenu(QChar Key) const {
    for (QAction* a : Form->menuBar()->actions())
      if (a->menu() && Mnemonic(a->text()) == Key) return a->menu();
    return nullptr;
  }

  // Presses Alt and the key where the focus is; a button's press is held
  // back, so that nothing runs.
  void CheckKey(QWidget* Window, const TKey& K) {
    QAbstractButton* pressed = nullptr;
    QWidget* popup = nullptr;
    {
      const THeldPresses held(Window);
      QWidget* focus = QApplication::focusWidget() ? QApplication::focusWidget() : Window;
      QTest::keyClick(focus, Qt::Key(QKeySequence::mnemonic(QStringLiteral("&") + K.Key)[0].key()), Qt::AltModifier);
      QTest::qWait(150);  // a pressed button comes up after 100 ms
      popup = QApplication::activePopupWidget();
      pressed = held.Pressed;
    }
    const QString what = QStringLiteral("Alt+%1 (\"%2\") ").arg(K.Key, K.Text);
    if (popup && popup != K.Opens) Fault(what + QStringLiteral("opens ") + Describe(popup));
    if (K.Opens && popup != K.Opens) Fault(what + QStringLiteral("does not open its menu"));
    if (K.Press && pressed != K.Press)
      Fault(what + QStringLiteral("presses ") + (pressed ? Describe(pressed) : QStringLiteral("nothing")) +
            QStringLiteral(", the focus on ") +
            (QApplication::focusWidget() ? Describe(QApplication::focusWidget()) : QStringLiteral("nothing")));
    if (K.Focus && QApplication::focusWidget() != K.Focus)
      Fault(what + QStringLiteral("puts the focus on ") +
            (QApplication::focusWidget() ? Describe(QApplication::focusWidget()) : QStringLiteral("nothing")));
    if (popup) popup->close();
    QTest::qWait(20);
    if (QApplication::activeWindow() != Window) {
      Window->activateWindow();
      WaitActive(Window);
    }
  }

  // Press, with the focus on Field, Key; a box must come; it is closed by
  // Escape once it is active, and the focus must be back on Field.
  void CheckFocusAfterBox(QWidget* Window, QWidget* Field, const std::function<void()>& Raise) {
    const MessageBox::THook hook = MessageBox::SetHook({});
    Field->setFocus(Qt::OtherFocusReason);
    QString text;
    QTimer close;
    close.setInterval(10);
    int waited = 0;
    QObject::connect(&close, &QTimer::timeout, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box || (QApplication::activeWindow() != box && ++waited < 300)) return;
      close.stop();
      text = box->text();
      QTest::keyClick(box, Qt::Key_Escape);
    });
    close.start();
    Raise();
    close.stop();
    MessageBox::SetHook(hook);
    if (text.isEmpty()) {
      Fault(QStringLiteral("no box came"));
      return;
    }
    const bool back = QTest::qWaitFor(
        [&] { return QApplication::activeWindow() == Window && QApplication::focusWidget() == Field; }, 2000);
    if (!back)
      Fault(QStringLiteral("after \"%1\" the focus is on %2 in %3, not on %4")
                .arg(text,
                     QApplication::focusWidget() ? Describe(QApplication::focusWidget()) : QStringLiteral("nothing"),
                     QApplication::activeWindow() ? Describe(QApplication::activeWindow()) : QStringLiteral("nothing"),
                     Describe(Field)));
  }
};

}  // namespace

TEST_F(ToolWindowWalk, EachAltKeyIsItsOwnEscapeClosesItAndTheFocusComesBackAfterAWarning) {
  MakeImages();
  const TTool tools[] = {{"EditAddMarker", "frmAddPoint", true, false},
                         {"PhotometryAddApature", "frmAddApature", true, false},
                         {"PhotometryResults", "frmPhotometryGrid", true, false},
                         {"StatisticsImageHisto", "frmHistogram", false, true},
                         {"StatisticsLinePlot", "frmLinePlot", false, true}};
  for (const TTool& t : tools) {
    Name = QString::fromLatin1(t.Window);
    Form->MDIArea()->setActiveSubWindow(t.Colour ? Colour : Grey);
    ASSERT_TRUE(MakeActive(Form)) << "the main window does not become active";
    Run(QString::fromLatin1(t.Command));
    auto* window = Form->findChild<QWidget*>(Name);
    ASSERT_TRUE(window && window->isVisible()) << t.Command << " shows no " << t.Window;
    if (!WaitActive(window, t.ComesActive ? 2000 : 0)) {
      if (t.ComesActive) Fault(QStringLiteral("opens without the keyboard focus"));
      ASSERT_TRUE(MakeActive(window)) << t.Window << " cannot be made the active window";
    }
    const QList<TKey> keys = Keys(window);
    if (keys.isEmpty()) Fault(QStringLiteral("has no Alt key"));
    for (const TKey& k : keys) CheckKey(window, k);

    if (Name == QLatin1String("frmAddPoint")) {
      auto* x = window->findChild<QLineEdit*>(QStringLiteral("fedX"));
      x->setText(QStringLiteral("-5"));
      CheckFocusAfterBox(window, x, [x] { QTest::keyClick(x, Qt::Key_Return); });
      x->setText(QStringLiteral("0"));
    } else if (Name == QLatin1String("frmAddApature")) {
      auto* y = window->findChild<QLineEdit*>(QStringLiteral("fedY"));
      y->setText(QStringLiteral("0"));
      CheckFocusAfterBox(window, y, [y] { QTest::keyClick(y, Qt::Key_Return); });
    } else if (Name == QLatin1String("frmPhotometryGrid")) {
      // Clear Results asks first; Escape answers No.
      auto* grid = window->findChild<QWidget*>(QStringLiteral("Grid"));
      auto* clear = window->findChild<QAction*>(QStringLiteral("Clearresults1"));
      CheckFocusAfterBox(window, grid, [clear] { clear->trigger(); });
    }

    // Escape where the focus is closes the window.
    if (!window->isAncestorOf(QApplication::focusWidget())) {
      if (QWidget* first = KeyboardOrder::FirstInput(window)) first->setFocus(Qt::OtherFocusReason);
    }
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : window, Qt::Key_Escape);
    QTest::qWait(20);
    if (window->isVisible()) {
      Fault(QStringLiteral("stays open after Escape"));
      window->hide();
    }
  }

  // With the main window active again its menu bar has its Alt keys.
  ASSERT_TRUE(MakeActive(Form));
  QTest::keyClick(Form, Qt::Key_F, Qt::AltModifier);
  QWidget* popup = QApplication::activePopupWidget();
  auto* file = qobject_cast<QMenu*>(popup);
  EXPECT_TRUE(file && file->title() == QLatin1String("&File")) << "Alt+F in the main window opens "
                                                               << (popup ? Describe(popup).toStdString() : "nothing");
  if (popup) popup->close();

  EXPECT_TRUE(Faults.empty()) << Faults.size() << " faults:\n" << Faults.join(QLatin1Char('\n')).toStdString();
}

// A main menu, a file or print dialog and a box, each used from a tool window
// by keys alone, and the main window then used by the mouse: every sequence
// ends with the keyboard where the user or the command sent it. Back in the
// tool window, it is on the control the user was on, whose typing arrives,
// and the main window keeps its own focused control for later, not its menu
// bar; in an image window, the main window is active and no menu title is
// marked.
TEST_F(ToolWindowWalk, MenusAndDialogsUsedFromAToolWindowLeaveTheKeyboardWhereTheUserOrTheCommandSendsIt) {
  MakeImages();
  const MessageBox::THook boxHook = MessageBox::SetHook({});
  const TFileDialog::THook fileHook = TFileDialog::SetHook({});
  // A step waits until Waits is the active window ("tool" for the tool
  // window, "main" for the main window, "menu" for an open menu of the main
  // window, "own menu" for one of the tool window, else a modal window's
  // class), then presses Key, after typing Text. Click clicks, with the
  // mouse, the image window or the toolbar button of the command Text names.
  constexpr int Click = -1;
  struct TStep {
    const char* Waits;
    int Key;
    Qt::KeyboardModifiers Modifiers = Qt::NoModifier;
    const char* Text = "";
  };
  struct TSequence {
    const char* Command;
    const char* Window;
    const char* Focus;  // the control the user is on
    std::vector<TStep> Steps;
    const char* Ends = nullptr;  // the image window that has the keyboard, "new" for one the command made
    const char* Typed = "";      // in the control before the first step
  };
  const TStep altF = {"tool", Qt::Key_F, Qt::AltModifier}, menuEscape = {"menu", Qt::Key_Escape};
  const TSequence sequences[] = {
      // Escape closes the menu, the next one leaves the menu bar, also where
      // the menu's first command is a submenu.
      {"PhotometryAddApature", "frmAddApature", "fedX", {altF, menuEscape, {"tool", Qt::Key_Escape}}},
      {"PhotometryAddApature", "frmAddApature", "fedX",
       {{"tool", Qt::Key_P, Qt::AltModifier}, menuEscape, {"tool", Qt::Key_Escape}}},
      {"EditAddMarker", "frmAddPoint", "fedY",
       {{"tool", Qt::Key_I, Qt::AltModifier}, menuEscape, {"tool", Qt::Key_Escape}}},
      // Then the window's own menu is the one its Alt key opens.
      {"PhotometryResults", "frmPhotometryGrid", "Grid",
       {{"tool", Qt::Key_I, Qt::AltModifier},
        menuEscape,
        {"tool", Qt::Key_Escape},
        altF,
        {"own menu", Qt::Key_Escape},
        {"tool", Qt::Key_Escape}}},
      // With the menu bar holding the keys, the Ctrl keys still run their
      // commands, and Tab leaves it.
      {"PhotometryAddApature", "frmAddApature", "fedX",
       {altF, menuEscape, {"tool", Qt::Key_O, Qt::ControlModifier}, {"QFileDialog", Qt::Key_Escape}}},
      {"EditAddMarker", "frmAddPoint", "fedX", {altF, menuEscape, {"tool", Qt::Key_Tab}}},
      // A click on an image leaves the menu bar and its title.
      {"PhotometryAddApature", "frmAddApature", "fedY", {altF, menuEscape, {"tool", Click, {}, "Colour Picture"}},
       "Colour Picture"},
      // Commands that put the keyboard in an image window: one chosen from
      // the Window menu (the first image made), one File > New makes.
      {"PhotometryAddApature", "frmAddApature", "fedX", {{"tool", Qt::Key_W, Qt::AltModifier}, {"menu", Qt::Key_1}},
       "Colour Picture"},
      {"EditAddMarker", "frmAddPoint", "fedY", {altF, {"menu", Qt::Key_N}, {"TfrmNew", Qt::Key_Return}}, "new"},
      // File > New, cancelled.
      {"EditAddMarker", "frmAddPoint", "fedY", {altF, {"menu", Qt::Key_N}, {"TfrmNew", Qt::Key_Escape}}},
      // Save As under a name the window does not write: its warning.
      {"PhotometryResults", "frmPhotometryGrid", "Grid",
       {altF, {"own menu", Qt::Key_S}, {"QFileDialog", Qt::Key_Return, Qt::NoModifier, "results.dat"},
        {"QMessageBox", Qt::Key_Return}}},
      {"PhotometryResults", "frmPhotometryGrid", "Grid",
       {altF, {"own menu", Qt::Key_P}, {"QPrintDialog", Qt::Key_Escape}}},
      {"StatisticsImageHisto", "frmHistogram", "btnSave", {{"tool", Qt::Key_Space}, {"QFileDialog", Qt::Key_Escape}}},
      // The report's menu comes with the menu key.
      {"StatisticsImageStats", "frmStatisticsResults", "lstStatistics",
       {{"tool", Qt::Key_Menu}, {"own menu", Qt::Key_S}, {"QFileDialog", Qt::Key_Escape}}},
      // A box in the tool window; then the user clicks an image and raises a
      // box in the main window: it gives the keyboard back there.
      {"EditAddMarker", "frmAddPoint", "fedX",
       {{"tool", Qt::Key_Return},
        {"QMessageBox", Qt::Key_Escape},
        {"tool", Click, {}, "Colour Picture"},
        {"main", Click, {}, "PhotometrySetRef"},
        {"QMessageBox", Qt::Key_Escape}},
       "Colour Picture", "-5"},
  };
  auto describe = [](const QWidget* W) { return W ? Describe(W) : QStringLiteral("nothing"); };
  auto image = [this](const QString& Caption) -> TChildForm* {
    for (TChildForm* child : Form->MDIChildren())
      if (Caption == QLatin1String("new") ? child != Grey && child != Colour : child->Caption() == Caption)
        return child;
    return nullptr;
  };
  auto click = [this, &image](const QString& What) {
    if (TChildForm* target = image(What)) {
      // The window manager makes the main window active at the click.
      Form->raise();
      Form->activateWindow();
      QTest::mouseClick(target->ImageDisplay, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
      return;
    }
    for (TToolbarButton* button : Form->findChildren<TToolbarButton*>())
      if (button->Action() && button->Action()->objectName() == What && button->isVisible()) {
        QTest::mouseClick(button, Qt::LeftButton);
        return;
      }
    ADD_FAILURE() << "nothing to click named " << What.toStdString();
  };
  for (const TSequence& sequence : sequences) {
    Name = QStringLiteral("%1 from %2").arg(QLatin1String(sequence.Window), QLatin1String(sequence.Command));
    for (const TStep& step : sequence.Steps)
      Name += QStringLiteral(", ") +
              (step.Key == Click ? QStringLiteral("click ") + QLatin1String(step.Text)
                                 : QKeySequence(QKeyCombination(step.Modifiers, Qt::Key(step.Key))).toString());
    Form->MDIArea()->setActiveSubWindow(Grey);
    ASSERT_TRUE(MakeActive(Form)) << "the main window does not become active";
    QWidget* mainFocus = Form->focusWidget();
    Run(QString::fromLatin1(sequence.Command));
    auto* window = Form->findChild<QWidget*>(QString::fromLatin1(sequence.Window));
    ASSERT_TRUE(window && window->isVisible()) << sequence.Command << " shows no " << sequence.Window;
    if (!WaitActive(window, 1000)) {
      ASSERT_TRUE(MakeActive(window)) << sequence.Window << " cannot be made the active window";
    }
    auto* focus = window->findChild<QWidget*>(QString::fromLatin1(sequence.Focus));
    ASSERT_NE(focus, nullptr) << sequence.Focus;
    auto* box = qobject_cast<QLineEdit*>(focus);
    const QString text = box ? box->text() : QString();
    if (*sequence.Typed) box->setText(QLatin1String(sequence.Typed));
    focus->setFocus(Qt::OtherFocusReason);
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == focus; }, 2000));

    // The steps run from the event loop, as a step may open a modal window
    // and wait in it.
    qsizetype next = 0;
    bool pressing = false;
    int waited = 0;
    QTimer steps;
    steps.setInterval(10);
    QObject::connect(&steps, &QTimer::timeout, [&] {
      if (pressing || next >= qsizetype(sequence.Steps.size())) return;
      const TStep& step = sequence.Steps[std::size_t(next)];
      const QLatin1String waits(step.Waits);
      QWidget* popup = QApplication::activePopupWidget();
      QWidget* modal = QApplication::activeModalWidget();
      auto* menu = qobject_cast<QMenu*>(popup);
      const QWidget* menuOf = menu && menu->parentWidget() ? menu->parentWidget()->window() : nullptr;
      bool ready = false;
      if (waits == QLatin1String("menu") || waits == QLatin1String("own menu"))
        ready = menu && menuOf == (waits == QLatin1String("menu") ? Form : window);
      else if (waits == QLatin1String("tool") || waits == QLatin1String("main"))
        ready = !popup && !modal && QApplication::activeWindow() == (waits == QLatin1String("tool") ? window : Form);
      else
        ready = !popup && modal && modal->inherits(step.Waits) && QApplication::activeWindow() == modal;
      if (!ready) {
        // Under load the window manager may let a request pass: the click
        // on the main window is made again.
        if (waits == QLatin1String("main") && ++waited % 100 == 0) Form->activateWindow();
        return;
      }
      waited = 0;
      pressing = true;
      ++next;
      QTimer::singleShot(0, [&step, &pressing, &click] {
        pressing = false;
        if (step.Key == Click) {
          click(QLatin1String(step.Text));
          return;
        }
        QWidget* to = QApplication::activePopupWidget();
        if (!to) to = QApplication::focusWidget() ? QApplication::focusWidget() : QApplication::activeWindow();
        if (*step.Text) QTest::keyClicks(to, QLatin1String(step.Text));
        if (step.Key == Qt::Key_Menu) {
          // The window system turns the menu key into a request for the
          // focused control's menu.
          QContextMenuEvent menu(QContextMenuEvent::Keyboard, QPoint(4, 4), to->mapToGlobal(QPoint(4, 4)));
          QCoreApplication::sendEvent(to, &menu);
        } else {
          QTest::keyClick(to, Qt::Key(step.Key), step.Modifiers);
        }
      });
    });
    steps.start();
    const bool done = QTest::qWaitFor(
        [&] { return next == qsizetype(sequence.Steps.size()) && !pressing && !QApplication::activeModalWidget(); },
        15000);
    steps.stop();
    if (!done) {
      QWidget* popup = QApplication::activePopupWidget();
      Fault(QStringLiteral("stops before step %1 (%2 is active%3)")
                .arg(next + 1)
                .arg(describe(QApplication::activeModalWidget() ? QApplication::activeModalWidget()
                                                                 : QApplication::activeWindow()),
                     popup ? QStringLiteral(", ") + describe(popup) + QStringLiteral(" open") : QString()));
      while ((popup = QApplication::activePopupWidget())) popup->close();
      if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget())) modal->reject();
    }
    QMenuBar* bar = Form->menuBar();
    if (!sequence.Ends) {
      const bool back = QTest::qWaitFor(
          [&] { return QApplication::activeWindow() == window && QApplication::focusWidget() == focus; }, 3000);
      if (!back)
        Fault(QStringLiteral("ends with the focus on %1 in %2%3")
                  .arg(describe(QApplication::focusWidget()), describe(QApplication::activeWindow()),
                       window->isVisible() ? QString() : QStringLiteral(", the tool window closed")));
      else if (box && !box->isReadOnly()) {
        const QString before = box->text();
        QTest::keyClick(box, Qt::Key_7);
        if (box->text() == before) Fault(QStringLiteral("a digit typed does not reach %1").arg(describe(box)));
      }
      if (Form->focusWidget() == bar)
        Fault(QStringLiteral("leaves the main window's keyboard on its menu bar"));
      else if (mainFocus && Form->focusWidget() != mainFocus)
        Fault(QStringLiteral("leaves the main window's focus on %1, not %2")
                  .arg(describe(Form->focusWidget()), describe(mainFocus)));
    } else {
      const bool there = QTest::qWaitFor(
          [&] {
            TChildForm* target = image(QLatin1String(sequence.Ends));
            QWidget* now = QApplication::focusWidget();
            return target && QApplication::activeWindow() == Form && (now == target || target->isAncestorOf(now));
          },
          3000);
      if (!there)
        Fault(QStringLiteral("ends with the focus on %1 in %2, not in the image window %3")
                  .arg(describe(QApplication::focusWidget()), describe(QApplication::activeWindow()),
                       QLatin1String(sequence.Ends)));
      if (Form->focusWidget() == bar || bar->activeAction())
        Fault(QStringLiteral("leaves the main menu bar with %1 marked")
                  .arg(bar->activeAction() ? bar->activeAction()->text() : QStringLiteral("no title")));
    }
    if (box) box->setText(text);
    window->hide();
    for (TChildForm* child : Form->MDIChildren())
      if (child != Grey && child != Colour) {
        child->setAttribute(Qt::WA_DeleteOnClose, false);
        delete child;
      }
  }
  MessageBox::SetHook(boxHook);
  TFileDialog::SetHook(fileHook);
  EXPECT_TRUE(Faults.empty()) << Faults.size() << " faults:\n" << Faults.join(QLatin1Char('\n')).toStdString();
}

// Every menu of the main window, opened by its Alt key from every tool
// window, takes each key as it does opened from the main window: a letter
// runs the command or opens the submenu it does there, Enter takes the first
// command, Escape leaves the title marked and Escape again gives the keyboard
// back where it was. The commands are held back; what a key chooses is read
// from the menu bar.
TEST_F(ToolWindowWalk, EveryMainMenuTakesEachKeyFromEveryToolWindowAsFromTheMainWindow) {
  MakeImages();
  const TTool tools[] = {{"EditAddMarker", "frmAddPoint", true, false},
                         {"PhotometryAddApature", "frmAddApature", true, false},
                         {"PhotometryResults", "frmPhotometryGrid", true, false},
                         {"StatisticsImageStats", "frmStatisticsResults", false, false},
                         {"StatisticsImageHisto", "frmHistogram", false, false},
                         {"StatisticsLinePlot", "frmLinePlot", false, false},
                         {"ScaleQuick", "frmQuickLinearScale", false, false},
                         {"ViewQuickZoom", "frmQuickZoom", false, false}};
  QMenuBar* bar = Form->menuBar();
  QString chosen;
  QObject chooser;
  QObject::connect(bar, &QMenuBar::triggered, &chooser, [&chosen](QAction* A) {
    chosen = A->objectName().isEmpty() ? QString(A->text()).remove(QLatin1Char('&')) : A->objectName();
  });
  QHash<QAction*, bool> ticks;
  for (QAction* a : Form->ActionList()) ticks.insert(a, a->isChecked());
  auto hold = [this](bool Held) {
    for (QAction* a : Form->findChildren<QAction*>()) a->blockSignals(Held);
  };
  auto describe = [](const QWidget* W) { return W ? Describe(W) : QStringLiteral("nothing"); };

  // Presses Keys where the keyboard is, Start having it in Window, and says
  // what they led to; then puts the keyboard back there.
  using TKeys = QList<QKeyCombination>;
  auto press = [&](QWidget* Window, QWidget* Start, const TKeys& Keys) {
    chosen.clear();
    for (const QKeyCombination& key : Keys) {
      hold(true);  // the Window menu makes its items as it opens
      QWidget* to = QApplication::activePopupWidget();
      if (!to) to = QApplication::focusWidget() ? QApplication::focusWidget() : Window;
      QTest::keyClick(to, key.key(), key.keyboardModifiers());
      QCoreApplication::processEvents();
    }
    QString result;
    if (!chosen.isEmpty()) {
      result = QStringLiteral("runs ") + chosen;
    } else if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
      QAction* on = menu->activeAction();
      result = QStringLiteral("opens %1 on %2").arg(Describe(menu), on ? on->text() : QStringLiteral("nothing"));
    } else if (Form->focusWidget() == bar && bar->activeAction()) {
      result = QStringLiteral("marks ") + bar->activeAction()->text();
    } else if (QApplication::activeWindow() == Window && QApplication::focusWidget() == Start) {
      result = QStringLiteral("gives the keyboard back");
    } else {
      result = QStringLiteral("leaves the keyboard on %1 in %2")
                   .arg(describe(QApplication::focusWidget()), describe(QApplication::activeWindow()));
    }
    while (QWidget* popup = QApplication::activePopupWidget()) popup->close();
    if (bar->activeAction()) {
      QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
      QCoreApplication::sendEvent(bar, &escape);
    }
    QCoreApplication::processEvents();
    hold(false);
    for (auto it = ticks.cbegin(); it != ticks.cend(); ++it) it.key()->setChecked(it.value());
    if (QApplication::activeWindow() != Window) (void)MakeActive(Window);
    if (Start && QApplication::focusWidget() != Start) Start->setFocus(Qt::OtherFocusReason);
    return result;
  };
  auto key = [](QChar Letter, Qt::KeyboardModifiers Modifiers = Qt::NoModifier) {
    return QKeyCombination(Modifiers, Qt::Key(Letter.toUpper().unicode()));
  };

  // What each key does from the main window: every title, then every letter
  // of its menu as it shows, and of each submenu in it.
  Form->MDIArea()->setActiveSubWindow(Grey);
  ASSERT_TRUE(MakeActive(Form)) << "the main window does not become active";
  Grey->widget()->setFocus(Qt::OtherFocusReason);
  QWidget* mainStart = QApplication::focusWidget();
  ASSERT_NE(mainStart, nullptr);
  struct TSequence {
    QString Name;
    QChar Title;
    TKeys Keys;
    QString Result = {};
  };
  QList<TSequence> sequences;
  for (QAction* title : bar->actions()) {
    const QChar t = Mnemonic(title->text());
    if (!title->menu() || t.isNull()) continue;
    const QKeyCombination alt = key(t, Qt::AltModifier);
    const QString name = QStringLiteral("Alt+") + t;
    sequences.push_back({name, t, {alt}});
    sequences.push_back({name + QStringLiteral(", Enter"), t, {alt, Qt::Key_Return}});
    sequences.push_back({name + QStringLiteral(", Escape"), t, {alt, Qt::Key_Escape}});
    sequences.push_back({name + QStringLiteral(", Escape, Escape"), t, {alt, Qt::Key_Escape, Qt::Key_Escape}});
    // The menu as it shows.
    QTest::keyClick(mainStart, alt.key(), Qt::AltModifier);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_EQ(menu, title->menu()) << "Alt+" << t.toLatin1() << " in the main window opens "
                                   << describe(menu).toStdString();
    for (QAction* item : menu->actions()) {
      const QChar m = Mnemonic(item->text());
      if (item->isSeparator() || !item->isVisible() || m.isNull()) continue;
      sequences.push_back({name + QStringLiteral(", ") + m, t, {alt, key(m)}});
      if (item->menu())
        for (QAction* sub : item->menu()->actions())
          if (const QChar s = Mnemonic(sub->text()); !sub->isSeparator() && !s.isNull())
            sequences.push_back({name + QStringLiteral(", ") + m + QStringLiteral(", ") + s, t, {alt, key(m), key(s)}});
    }
    while (QWidget* popup = QApplication::activePopupWidget()) popup->close();
  }
  for (TSequence& s : sequences) s.Result = press(Form, mainStart, s.Keys);
  // Where the first command of a menu is a submenu, it stays closed.
  const std::map<QString, QString> known = {{QStringLiteral("Alt+P, L"), QStringLiteral("runs ProcessColourSplit")},
                                            {QStringLiteral("Alt+I, L"), QStringLiteral("runs FilterLaplacian")},
                                            {QStringLiteral("Alt+I, Escape, Escape"),
                                             QStringLiteral("gives the keyboard back")}};
  std::size_t met = 0;
  for (const TSequence& s : sequences)
    if (const auto it = known.find(s.Name); it != known.end()) {
      ++met;
      EXPECT_EQ(s.Result, it->second) << s.Name.toStdString() << " in the main window";
    }
  EXPECT_EQ(met, known.size());

  for (const TTool& t : tools) {
    Name = QString::fromLatin1(t.Window);
    Form->MDIArea()->setActiveSubWindow(Grey);
    ASSERT_TRUE(MakeActive(Form)) << "the main window does not become active";
    Run(QString::fromLatin1(t.Command));
    auto* window = Form->findChild<QWidget*>(Name);
    ASSERT_TRUE(window && window->isVisible()) << t.Command << " shows no " << t.Window;
    if (!WaitActive(window, t.ComesActive ? 2000 : 0)) {
      ASSERT_TRUE(MakeActive(window)) << t.Window << " cannot be made the active window";
    }
    if (QWidget* first = KeyboardOrder::FirstInput(window); first && !window->isAncestorOf(QApplication::focusWidget()))
      first->setFocus(Qt::OtherFocusReason);
    QWidget* start = window->isAncestorOf(QApplication::focusWidget()) ? QApplication::focusWidget() : nullptr;
    // The window's own Alt keys win: the menus with those letters are not
    // reached from it.
    QSet<QChar> own;
    for (const TKey& k : Keys(window))
      if (!k.Opens || k.Opens != MainMenu(k.Key)) own.insert(k.Key);
    qsizetype tried = 0;
    for (const TSequence& s : sequences) {
      if (own.contains(s.Title)) continue;
      ++tried;
      const QString result = press(window, start, s.Keys);
      if (result != s.Result)
        Fault(QStringLiteral("%1 %2; from the main window it %3").arg(s.Name, result, s.Result));
    }
    if (tried == 0) Fault(QStringLiteral("reaches no main menu"));
    window->hide();
  }
  EXPECT_TRUE(Faults.empty()) << Faults.size() << " faults:\n" << Faults.join(QLatin1Char('\n')).toStdString();
}

// Dialogs by keyboard: Zoom opens on the ticked level, each plane group's Alt
// key of RGB Combine reaches its list from any control of the group, and a
// choice changed by a stray key and then cancelled is not kept.
TEST_F(KeyboardWalk, ChoicesOpenWhereTheyStandGroupKeysReachTheirListsAndCancelKeepsThem) {
  MakeImages();
  Form->MDIArea()->setActiveSubWindow(Grey);
  QStringList faults;
  // Runs Keys in the modal dialog Window once it is active, then Escape.
  auto inDialog = [&](QWidget* Window, const QString& Command, const std::function<void()>& Keys) {
    bool visited = false;
    QTimer poll;
    poll.setInterval(10);
    int waited = 0;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (QApplication::activeModalWidget() != Window ||
          (QApplication::activeWindow() != Window && ++waited < 300))
        return;
      poll.stop();
      visited = true;
      Keys();
      QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : Window, Qt::Key_Escape);
    });
    poll.start();
    Form->Action(Command)->trigger();
    poll.stop();
    if (!visited) faults << Describe(Window) + QStringLiteral(" did not open");
  };
  auto focusName = [] { return QApplication::focusWidget() ? Describe(QApplication::focusWidget()) : QString(); };

  // Zoom with 200 % ticked: the focus there; Down ticks 400 %, Escape puts
  // 200 % back.
  auto* zoom = Form->findChild<TForm*>(QStringLiteral("frmZoom"));
  ASSERT_NE(zoom, nullptr);
  auto* z200 = zoom->findChildren<QRadioButton*>().at(3);
  z200->setChecked(true);
  inDialog(zoom, QStringLiteral("ViewZoom"), [&] {
    if (QApplication::focusWidget() != z200) faults << QStringLiteral("Zoom opens on ") + focusName();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
  });
  if (!z200->isChecked()) faults << QStringLiteral("Zoom keeps a level chosen and cancelled");

  // RGB Combine: from the intensity box of each group its Alt key goes to
  // the group's list; Down there changes the list, which Escape puts back.
  auto* combine = Form->findChild<TForm*>(QStringLiteral("frmCombine"));
  ASSERT_NE(combine, nullptr);
  int red = -1;
  inDialog(combine, QStringLiteral("ProcessRGBCombine"), [&] {
    for (const char* plane : {"R", "G", "B"}) {
      const QString p = QString::fromLatin1(plane);
      auto* box = combine->findChild<QWidget*>(QStringLiteral("fed%1I").arg(p));
      box->setFocus(Qt::TabFocusReason);
      QTest::keyClick(box, Qt::Key(Qt::Key_A + (p[0].unicode() - 'A')), Qt::AltModifier);
      const QString list = QStringLiteral("cmb") + (p == QLatin1String("R") ? "Red" : p == QLatin1String("G") ? "Green" : "Blue");
      if (focusName() != list) faults << QStringLiteral("Alt+%1 in Combine goes to %2, not %3").arg(p, focusName(), list);
    }
    auto* list = combine->findChild<QComboBox*>(QStringLiteral("cmbRed"));
    red = list->currentIndex();
    list->setFocus(Qt::TabFocusReason);
    QTest::keyClick(list, red == 0 ? Qt::Key_Down : Qt::Key_Up);
    if (list->currentIndex() == red) faults << QStringLiteral("the arrow key does not change cmbRed");
  });
  if (combine->findChild<QComboBox*>(QStringLiteral("cmbRed"))->currentIndex() != red)
    faults << QStringLiteral("Combine keeps a list choice that was cancelled");

  EXPECT_TRUE(faults.empty()) << faults.join(QLatin1Char('\n')).toStdString();
}

// An Alt key reaches the control that has it, and only that: File Options'
// and JPEG Options' quality keys reach the slider from the quality box; a
// drop-down list takes no Alt key for the start of an item; the label of a
// control that is off gives its key up (from a tool window, to the main
// menu). Quick Scale opens on its first input.
TEST_F(KeyboardWalk, AltKeysReachTheirOwnControlsOnlyAndWindowsOpenOnTheirFirstInput) {
  MakeImages();
  struct TCase {
    const char* Open;  // a command, or the dialog itself
    const char* Window;
    bool Colour;          // the image the command runs on
    const char* From;     // the control the user is on; none: as the window opens
    Qt::Key Key;          // pressed with Alt
    const char* Reaches;  // the control that has the focus then, or the main menu that opens
  };
  const TCase cases[] = {
      {"", "frmFileOptions", true, "iedQuality", Qt::Key_Q, "trkJPEGCompression"},
      {"", "frmJPEGOptions", true, "iedQuality", Qt::Key_L, "trkJPEGCompression"},
      {"StatisticsImageHisto", "frmHistogram", true, "cmbChannel", Qt::Key_G, "cmbChannel"},
      {"ProcessRGBCombine", "frmCombine", false, "cmbGreen", Qt::Key_C, "cmbGreen"},
      {"StatisticsImageHisto", "frmHistogram", false, "btnLog", Qt::Key_C, "ScaleMenu"},
      {"ScaleQuick", "frmQuickLinearScale", false, "", Qt::Key_unknown, "fedMin"},
  };
  QStringList faults;
  auto focusName = [] { return QApplication::focusWidget() ? Describe(QApplication::focusWidget()) : QStringLiteral("nothing"); };
  for (const TCase& c : cases) {
    const QString name = QLatin1String(c.Window);
    auto* window = Form->findChild<QWidget*>(name);
    ASSERT_NE(window, nullptr) << c.Window;
    Form->MDIArea()->setActiveSubWindow(c.Colour ? Colour : Grey);
    Form->activateWindow();
    (void)QTest::qWaitFor([this] { return QApplication::activeWindow() == Form; }, 2000);
    bool visited = false;
    QTimer poll;
    poll.setInterval(10);
    int waited = 0;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (!window->isVisible()) return;
      // A chart window is shown beside the image; the user goes there.
      if (*c.From && waited == 0 && !window->isModal()) window->activateWindow();
      if (QApplication::activeWindow() != window && ++waited < 300) return;
      poll.stop();
      visited = true;
      auto* from = window->findChild<QWidget*>(QLatin1String(c.From));
      if (!*c.From) {
        if (focusName() != QLatin1String(c.Reaches)) faults << name + QStringLiteral(" opens on ") + focusName();
      } else if (!from) {
        faults << name + QStringLiteral(" has no ") + QLatin1String(c.From);
      } else {
        from->setFocus(Qt::OtherFocusReason);
        // A list stands on an item its key's letter does not start.
        auto* list = qobject_cast<QComboBox*>(from);
        if (list) list->setCurrentIndex(list->itemText(0).startsWith(QKeySequence(c.Key).toString()) ? 1 : 0);
        const QString chosen = list ? list->currentText() : QString();
        QTest::keyClick(from, c.Key, Qt::AltModifier);
        QWidget* popup = QApplication::activePopupWidget();
        const QString reached = popup ? Describe(popup) : focusName();
        if (reached != QLatin1String(c.Reaches))
          faults << QStringLiteral("Alt+%1 in %2 reaches %3, not %4")
                        .arg(QKeySequence(c.Key).toString(), name, reached, QLatin1String(c.Reaches));
        if (list && list->currentText() != chosen)
          faults << QStringLiteral("Alt+%1 in %2 changes %3 to %4")
                        .arg(QKeySequence(c.Key).toString(), name, Describe(list), list->currentText());
        if (popup) popup->close();
      }
      QTimer::singleShot(0, window, [window] {
        if (auto* dialog = qobject_cast<QDialog*>(window); dialog && dialog->isModal())
          dialog->reject();
        else
          window->hide();
      });
    });
    poll.start();
    if (name == QLatin1String("frmFileOptions")) {
      static_cast<TfrmFileOptions*>(window)->Execute(true);
    } else if (name == QLatin1String("frmJPEGOptions")) {
      TJPEGSaveOptions options;
      static_cast<TfrmJPEGOptions*>(window)->Execute(options);
    } else {
      Form->Action(QLatin1String(c.Open))->trigger();
    }
    (void)QTest::qWaitFor([&] { return visited && !window->isVisible(); }, 5000);
    poll.stop();
    if (!visited) faults << name + QStringLiteral(" did not open");
  }
  EXPECT_TRUE(faults.empty()) << faults.join(QLatin1Char('\n')).toStdString();
}
