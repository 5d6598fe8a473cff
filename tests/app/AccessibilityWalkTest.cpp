// Every window of the program walked as an assistive tool walks it, through
// Qt's accessibility interfaces (what AT-SPI serves to screen readers and test
// robots): the main window with its toolbars and image windows, and every
// dialog and analysis window its commands open, each met as a window by its
// title, with every control and scroll bar named.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QChartView>
#include <QLabel>
#include <QMap>
#include <QMenu>
#include <QTextDocument>

#include "app/WindowWalk.h"

namespace {

using WindowWalk::Describe;

bool Interactive(QAccessible::Role Role) {
  switch (Role) {
    case QAccessible::PushButton:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::ButtonMenu:
    case QAccessible::ButtonDropDown:
    case QAccessible::ButtonDropGrid:
    case QAccessible::ComboBox:
    case QAccessible::SpinBox:
    case QAccessible::Slider:
    case QAccessible::Dial:
    case QAccessible::EditableText:
    case QAccessible::List:
    case QAccessible::Table:
    case QAccessible::Tree:
    case QAccessible::PageTabList:
    case QAccessible::HotkeyField:
    case QAccessible::ScrollBar:
      return true;
    default:
      return false;
  }
}

bool IsButton(QAccessible::Role Role) {
  return Role == QAccessible::PushButton || Role == QAccessible::CheckBox || Role == QAccessible::RadioButton ||
         Role == QAccessible::ButtonMenu || Role == QAccessible::ButtonDropDown;
}

// A label's text as a reader would say it: rich text as plain, "&" marks gone.
QString Spoken(const QLabel* Label) {
  QString text = Label->text();
  if (Label->textFormat() == Qt::RichText || (Label->textFormat() == Qt::AutoText && Qt::mightBeRichText(text))) {
    QTextDocument doc;
    doc.setHtml(text);
    text = doc.toPlainText();
  }
  QString out;
  for (int i = 0; i < text.size(); ++i) {
    if (text[i] == QLatin1Char('&') && i + 1 < text.size()) ++i;
    out += text[i];
  }
  return out.simplified();
}

// What a reader says as a control's name. On X11 Qt names a combo box by
// its current item and tells its label through a relation (a buddy label or
// the titled group box around it), so a combo box is named by its labels.
QString SpokenName(QAccessibleInterface* Iface) {
  if (Iface->role() != QAccessible::ComboBox) return Iface->text(QAccessible::Name).simplified();
  QStringList labels;
  for (const auto& r : Iface->relations(QAccessible::Label))
    if (r.first) labels << r.first->text(QAccessible::Name).simplified();
  return labels.join(QLatin1Char(' '));
}

struct TOffence {
  QString Window, Object, Fault;
};

class TWalker {
 public:
  std::vector<TOffence> Offences;
  QStringList Walked;
  int ToolbarButtons = 0;  // met on the way

  void Walk(QWidget* Window) {
    FWindow = Describe(Window) + QStringLiteral(" \"") + Window->windowTitle() + QLatin1Char('"');
    Walked << FWindow;
    FNames.clear();
    // A window is met as one, by its title, not as a filler.
    QAccessibleInterface* window = QAccessible::queryAccessibleInterface(Window);
    const QAccessible::Role role = window->role();
    if (role != QAccessible::Window && role != QAccessible::Dialog && role != QAccessible::AlertMessage)
      Offend(Window, QStringLiteral("is met as role %1, not as a window").arg(int(role)));
    if (window->text(QAccessible::Name).trimmed().isEmpty()) Offend(Window, QStringLiteral("has no title"));
    Visit(window, 0);
    for (auto it = FNames.cbegin(); it != FNames.cend(); ++it)
      if (it.value().size() > 1)
        Offences.push_back({FWindow, it.value().join(QStringLiteral(", ")),
                            QStringLiteral("share the name \"%1\"").arg(it.key())});
  }

 private:
  void Offend(const QObject* Object, const QString& Fault) { Offences.push_back({FWindow, Describe(Object), Fault}); }

  void Visit(QAccessibleInterface* Iface, int Depth) {
    if (!Iface || !Iface->isValid() || Depth > 60) return;
    if (Iface->state().invisible) return;
    QObject* object = Iface->object();
    auto* widget = qobject_cast<QWidget*>(object);
    // Only a widget's own interface speaks for it (items of lists and menus
    // carry their owner as their object).
    if (widget && QAccessible::queryAccessibleInterface(widget) == Iface) {
      if (!widget->isVisible()) return;
      Check(Iface, widget);
    }
    for (int i = 0; i < Iface->childCount(); ++i) Visit(Iface->child(i), Depth + 1);
  }

  void Check(QAccessibleInterface* Iface, QWidget* Widget) {
    const QAccessible::Role role = Iface->role();
    const QString name = SpokenName(Iface);
    if (Widget->inherits("TToolbarButton")) ++ToolbarButtons;
    if ((Interactive(role) || Widget->inherits("TToolbarButton"))) {
      if (name.isEmpty())
        Offend(Widget, QStringLiteral("has no name"));
      else
        FNames[name] << Describe(Widget);
    }
    // A disabled button offers no action until it is enabled.
    if ((IsButton(role) || Widget->inherits("TToolbarButton")) && !Iface->state().disabled) {
      const QAccessibleActionInterface* actions = Iface->actionInterface();
      const QStringList names = actions ? actions->actionNames() : QStringList();
      if (!names.contains(QAccessibleActionInterface::pressAction()) &&
          !names.contains(QAccessibleActionInterface::toggleAction()))
        Offend(Widget, QStringLiteral("cannot be pressed"));
    }
    if (auto* label = qobject_cast<QLabel*>(Widget)) {
      const QString text = Spoken(label);
      auto says = [&](QAccessible::Text Kind) { return Iface->text(Kind).simplified().contains(text); };
      if (!text.isEmpty() && !says(QAccessible::Name) && !says(QAccessible::Description) && !says(QAccessible::Value))
        Offend(Widget, QStringLiteral("hides its text \"%1\" behind \"%2\"").arg(text, name));
    }
    if (qobject_cast<QChartView*>(Widget) && Iface->text(QAccessible::Description).trimmed().isEmpty())
      Offend(Widget, QStringLiteral("is a chart without a description"));
  }

  QString FWindow;
  QMap<QString, QStringList> FNames;
};

class AccessibilityWalk : public WindowWalk::TWalkTest {
 protected:
  TWalker Walker;
  WindowWalk::TVisit Visit = [this](QWidget* Window, bool) { Walker.Walk(Window); };
};

}  // namespace

TEST_F(AccessibilityWalk, EveryWindowNamesItsControlsAndLetsItsContentBeRead) {
  MakeImages();
  // The main window and whatever the start shows beside it.
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() && !qobject_cast<QMenu*>(w)) Walker.Walk(w);

  const QStringList nothing = WalkEveryCommand(Visit, [this] { return Walker.Walked.size(); });
  // The JPEG options come with a save under a JPEG name.
  SaveName = QStringLiteral("walk.jpg");
  Form->MDIArea()->setActiveSubWindow(Colour);
  WalkWhatOpens([&] { Form->Action(QStringLiteral("FileSaveAs"))->trigger(); }, Visit);

  // The three toolbars' 48 buttons were on the way.
  EXPECT_GE(Walker.ToolbarButtons, 48);
  std::string report;
  for (const TOffence& o : Walker.Offences)
    report += (o.Window + QStringLiteral(": ") + o.Object + QLatin1Char(' ') + o.Fault).toStdString() + "\n";
  EXPECT_TRUE(Walker.Offences.empty()) << Walker.Offences.size() << " offences:\n" << report;
  // The walk reached every window the start made (the 3-D view needs
  // OpenGL).
  for (const QString& name : NotReached(Walker.Walked))
    ADD_FAILURE() << name.toStdString() << " was not reached; commands that opened nothing: "
                  << nothing.join(QLatin1Char(' ')).toStdString();
}
