// Every window of the program walked as an assistive tool walks it, through
// Qt's accessibility interfaces (what AT-SPI serves to screen readers and test
// robots): the main window with its toolbars and image windows, and every
// dialog and analysis window its commands open.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QChartView>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QMap>
#include <QMdiArea>
#include <QMenu>
#include <QSet>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTimer>
#include <algorithm>
#include <functional>

#include "app/Child.h"
#include "app/Main.h"
#include "app/StartUp.h"
#include "engine/Errors.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"

namespace {

// Dialogs the walk confirms, so that the window they lead to opens. The 3-D
// view needs OpenGL, which the offscreen platform lacks: there its properties
// dialog is only walked, and CTest runs the walk once more on an X server
// (AccessibilityWalkOnX), where the 3-D window opens too.
QStringList Confirmed() {
  QStringList names = {QStringLiteral("frmLinePlotSetup")};
  if (QGuiApplication::platformName() != QLatin1String("offscreen")) names << QStringLiteral("frmSurfaceProperties");
  return names;
}

// Commands that end the program or hand over to the desktop, and one that
// would leave the images minimised.
const QStringList NotTriggered = {QStringLiteral("FileExit"), QStringLiteral("HelpContents"),
                                  QStringLiteral("HelpWeb"), QStringLiteral("WindowMinimizeAll")};

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

QString Describe(const QObject* Object) {
  QString name = Object->objectName();
  if (name.isEmpty()) {
    // Unnamed: its class, under the nearest named ancestor.
    name = QString::fromLatin1(Object->metaObject()->className());
    for (const QObject* p = Object->parent(); p; p = p->parent())
      if (!p->objectName().isEmpty()) {
        name = p->objectName() + QLatin1Char('/') + name;
        break;
      }
  }
  return name;
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
    Visit(QAccessible::queryAccessibleInterface(Window), 0);
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

class AccessibilityWalk : public ::testing::Test {
 protected:
  void SetUp() override {
    Form = new TMainForm;
    MainForm = Form;
    CreateForms(Form);
    Form->resize(1100, 800);
    Form->show();
    PreviousBox = MessageBox::SetHook([this](TMsgDlgType, const QString& Text, unsigned) {
      Boxes << Text;
      return int(mrOk);
    });
    PreviousFile = TFileDialog::SetHook([this](TFileDialog& Dialog) { return AnswerFileDialog(Dialog); });
    PreviousError = SetInternalErrorHandler([](int) {});
  }
  void TearDown() override {
    MessageBox::SetHook(PreviousBox);
    TFileDialog::SetHook(PreviousFile);
    SetInternalErrorHandler(PreviousError);
    for (TChildForm* child : Form->MDIChildren()) {
      child->setAttribute(Qt::WA_DeleteOnClose, false);
      delete child;
    }
    FreeForms();
    delete Form;
    MainForm = nullptr;
  }

  // The dialogs pick a file, so that what follows them opens: the import
  // settings after the open dialog (a file of an unknown kind), the format's
  // options after the save dialog. The save dialog's Options button is
  // pressed once.
  bool AnswerFileDialog(TFileDialog& Dialog) {
    const bool open = Dialog.Kind == TFileDialog::TKind::Open;
    if (!open && Dialog.OnOptions && !OptionsShown) {
      OptionsShown = true;
      Dialog.OnOptions();
    }
    Dialog.FileName = Dir.filePath(open ? QStringLiteral("walk.raw") : SaveName);
    Dialog.Files = {Dialog.FileName};
    return true;
  }

  // Every modal window that opens while Run runs is walked and cancelled (or
  // confirmed); every window it leaves shown is walked and hidden.
  void WalkWhatOpens(const std::function<void()>& Run) {
    QSet<QWidget*> before;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->isVisible()) before.insert(w);
    QSet<QWidget*> seen;
    QTimer timer;
    timer.setInterval(5);
    QObject::connect(&timer, &QTimer::timeout, [&] {
      QWidget* modal = QApplication::activeModalWidget();
      if (!modal || seen.contains(modal)) return;
      seen.insert(modal);
      Walker.Walk(modal);
      // Closed from the event loop: a window that a confirmed dialog opens
      // modally must not run inside this timer's own call, which would keep
      // the timer from seeing it.
      QTimer::singleShot(0, modal, [modal] {
        auto* dialog = qobject_cast<QDialog*>(modal);
        if (auto* ok = modal->findChild<QAbstractButton*>(QStringLiteral("btnOK"));
            ok && Confirmed().contains(modal->objectName()))
          ok->click();
        else if (dialog)
          dialog->reject();
        else
          modal->close();
      });
    });
    timer.start();
    Run();
    QCoreApplication::processEvents();
    timer.stop();
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (!w->isVisible() || before.contains(w) || seen.contains(w) || qobject_cast<QMenu*>(w) ||
          w->windowType() == Qt::ToolTip)
        continue;
      Walker.Walk(w);
      w->hide();
    }
  }

  TMainForm* Form = nullptr;
  QTemporaryDir Dir;
  QString SaveName = QStringLiteral("walk.fts");
  bool OptionsShown = false;
  QStringList Boxes;
  TWalker Walker;
  MessageBox::THook PreviousBox;
  TFileDialog::THook PreviousFile;
  TInternalErrorHandler PreviousError;
};

TChildForm* Image(bool Colour, const QString& Caption) {
  auto* child = new TChildForm;
  child->DataImage->Allocate(64, 48, Colour ? 0 : 1, Colour);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) {
      const int v = (x * 7 + y * 3) % 200 + ((x - 30) * (x - 30) + (y - 20) * (y - 20) < 16 ? 50 : 0);
      if (Colour)
        child->DataImage->SetRGB(x, y, TRGBPixel{std::uint8_t(v), std::uint8_t(255 - v), std::uint8_t(v / 2)});
      else
        child->DataImage->SetPixel(x, y, float(v * 100));
    }
  if (!Colour) child->DataImage->AutoScale();
  child->SetCaption(Caption);
  child->UpdateImage();
  return child;
}


// What the commands need to open their windows: a marker on each image (the
// registrations), an aperture (the photometry), a region of interest (the
// area commands, the radial plot), a selected annotation. Commands delete
// some of these, so they are put back before each.
void Prepare(TChildForm* Image, bool Grey) {
  TImageOverlay* o = Image->ImageOverlay;
  if (o->Markers().empty()) o->AddMarker(10, 10);
  if (Grey && o->Apertures().empty()) o->AddAperture(30, 20, 4, 6, 8);
  if (o->Annotations().empty()) o->AddAnnotation(5, 30, QStringLiteral("M 42"), QFont());
  o->SelectedAnnotation = 0;
  const int roi[4] = {22, 12, 38, 28};
  std::copy(roi, roi + 4, o->ROI);
}

}  // namespace

TEST_F(AccessibilityWalk, EveryWindowNamesItsControlsAndLetsItsContentBeRead) {
  QFile raw(Dir.filePath(QStringLiteral("walk.raw")));
  ASSERT_TRUE(raw.open(QIODevice::WriteOnly));
  raw.write(QByteArray(64 * 48 * 2, '\x11'));
  raw.close();
  TChildForm* colour = Image(true, QStringLiteral("Colour Picture"));
  TChildForm* grey = Image(false, QStringLiteral("Grey Frame"));
  const QList<TChildForm*> images = {grey, colour};
  Prepare(grey, true);
  Prepare(colour, false);
  QCoreApplication::processEvents();
  // The main window and whatever the start shows beside it.
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() && !qobject_cast<QMenu*>(w)) Walker.Walk(w);

  QStringList nothing;
  for (QAction* action : Form->ActionList()) {
    const QString name = action->objectName();
    if (NotTriggered.contains(name) || action->menu()) continue;
    // Grey first; a command that refuses a grey image gets the colour one.
    bool any = false;
    for (TChildForm* active : images) {
      Prepare(grey, true);
      Prepare(colour, false);
      Form->MDIArea()->setActiveSubWindow(active);
      const qsizetype walked = Walker.Walked.size();
      const qsizetype boxes = Boxes.size();
      WalkWhatOpens([&] {
        if (action->isEnabled()) action->trigger();
      });
      // Result windows the command made are not part of the walk.
      for (TChildForm* child : Form->MDIChildren())
        if (!images.contains(child)) {
          child->setAttribute(Qt::WA_DeleteOnClose, false);
          delete child;
        }
      any = Walker.Walked.size() > walked;
      if (any || Boxes.size() == boxes) break;
    }
    if (!any) nothing << name;
  }
  // The JPEG options come with a save under a JPEG name.
  SaveName = QStringLiteral("walk.jpg");
  Form->MDIArea()->setActiveSubWindow(colour);
  WalkWhatOpens([&] { Form->Action(QStringLiteral("FileSaveAs"))->trigger(); });

  // The three toolbars' 48 buttons were on the way.
  EXPECT_GE(Walker.ToolbarButtons, 48);
  std::string report;
  for (const TOffence& o : Walker.Offences)
    report += (o.Window + QStringLiteral(": ") + o.Object + QLatin1Char(' ') + o.Fault).toStdString() + "\n";
  EXPECT_TRUE(Walker.Offences.empty()) << Walker.Offences.size() << " offences:\n" << report;
  // The walk reached every window the start made (the 3-D view needs
  // OpenGL).
  QStringList walked;
  for (const QString& w : Walker.Walked) walked << w.section(QLatin1Char(' '), 0, 0);
  for (QWidget* w : Form->findChildren<QWidget*>()) {
    const QString name = w->objectName();
    if (!w->isWindow() || !name.startsWith(QLatin1String("frm"))) continue;
    if (name == QLatin1String("frm3DVisu") && !Confirmed().contains(QStringLiteral("frmSurfaceProperties"))) continue;
    EXPECT_TRUE(walked.contains(name)) << name.toStdString() << " was not reached; commands that opened nothing: "
                                       << nothing.join(QLatin1Char(' ')).toStdString();
  }
}
