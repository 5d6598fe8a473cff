// Where the stay-on-top tool windows stand and what lies over what, under a
// window manager (CTest runs the DialogPlacement tests under Xvfb with
// openbox); elsewhere they are skipped: the stacking is the window manager's.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QMdiArea>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <functional>

#include "analysis/AddApatureForm.h"
#include "analysis/HistogramForm.h"
#include "analysis/PhotometryGridForm.h"
#include "analysis/StatisticsFormEx.h"
#include "app/Child.h"
#include "app/FloatEdit.h"
#include "app/Main.h"
#include "app/QuickScaleForm.h"
#include "app/StartUp.h"
#include "dialogs/AddPointForm.h"
#include "engine/Errors.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "platform/Registry.h"
#include "toolbars/Dock.h"
#include "XFrames.h"

using XFrames::Frame;
using XFrames::Settled;
using XFrames::Stacking;
using XFrames::XWindow;

namespace {
bool OnX() { return QGuiApplication::platformName() == QLatin1String("xcb"); }

// The program with all its windows, its image window on top at the left of
// the document area. Its boxes and file dialogs are the real ones.
struct TProgram {
  TMainForm* Form = nullptr;
  TChildForm* Image = nullptr;
  TInternalErrorHandler PreviousError;
  MessageBox::THook PreviousBox = MessageBox::SetHook({});
  TFileDialog::THook PreviousFile = TFileDialog::SetHook({});
  TProgram() {
    Form = new TMainForm;
    MainForm = Form;
    CreateForms(Form);
    Form->show();
    PreviousError = SetInternalErrorHandler([](int) {});
    Image = new TChildForm;
    Image->DataImage->Allocate(320, 240, 1, false);
    for (int y = 0; y < 240; ++y)
      for (int x = 0; x < 320; ++x) Image->DataImage->SetPixel(x, y, float((x * 37 + y * 11) % 4000));
    Image->DataImage->AutoScale();
    Image->SetCaption(QStringLiteral("Sky"));
    Image->UpdateImage();
  }
  ~TProgram() {
    SetInternalErrorHandler(PreviousError);
    MessageBox::SetHook(PreviousBox);
    TFileDialog::SetHook(PreviousFile);
    for (TChildForm* child : Form->MDIChildren()) {
      child->setAttribute(Qt::WA_DeleteOnClose, false);
      delete child;
    }
    FreeForms();
    delete Form;
    MainForm = nullptr;
  }
  // The document area on the screen: below the menu bar and the tool bars.
  QRect Work() const {
    const QWidget* view = Form->MDIArea()->viewport();
    return {view->mapToGlobal(QPoint(0, 0)), view->size()};
  }
  QRect ImageFrame() const {
    const QWidget* view = Form->MDIArea()->viewport();
    return {view->mapToGlobal(Image->geometry().topLeft()), Image->size()};
  }
};

QList<QWidget*> ShownToolWindows() {
  QList<QWidget*> tools;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() && w->windowType() == Qt::Tool) tools << w;
  return tools;
}

// The tool windows lying over W; empty when none does.
QStringList ToolsOver(QWidget* W) {
  const QList<WId> stack = Stacking();
  QStringList over;
  for (QWidget* t : ShownToolWindows())
    if (t != W && Frame(t).intersects(Frame(W)) && stack.indexOf(XWindow(t)) > stack.indexOf(XWindow(W)))
      over << t->objectName();
  return over;
}

bool MakeActive(QWidget* W) {
  for (int i = 0; i < 10; ++i) {
    W->raise();
    W->activateWindow();
    if (QTest::qWaitFor([W] { return QApplication::activeWindow() == W; }, 1000)) return true;
  }
  return false;
}

QString Describe(const QRect& R) {
  return QStringLiteral("(%1, %2, %3 x %4)").arg(R.x()).arg(R.y()).arg(R.width()).arg(R.height());
}
}  // namespace

// With a tool window lying where the dialogs open, each modal dialog, file
// dialog and message box opened from the tool window or from the main window
// lies above it (and above every other tool window) from the moment it is
// shown; when it closes the tool windows are above the main window again.
TEST(DialogPlacement, ModalWindowsComeAboveTheToolWindows) {
  if (!OnX()) GTEST_SKIP() << "the stacking of windows is the window manager's";
  TProgram program;
  TMainForm* form = program.Form;
  ASSERT_TRUE(Settled(form));
  form->Action(QStringLiteral("EditAddMarker"))->trigger();
  ASSERT_TRUE(Settled(frmAddPoint));
  const struct {
    const char* Name;
    std::function<void()> Open;
  } cases[] = {
      {"File > New", [form] { form->Action(QStringLiteral("FileNew"))->trigger(); }},
      {"Scale > DDP", [form] { form->Action(QStringLiteral("ScaleDDP"))->trigger(); }},
      {"File > Open", [form] { form->Action(QStringLiteral("FileOpen"))->trigger(); }},
      {"Add Marker's warning", [] {
         frmAddPoint->fedX->SetValue(99999);
         frmAddPoint->btnAddPoint->click();
       }},
  };
  for (const auto& c : cases) {
    for (bool fromTool : {true, false}) {
      const QString name =
          QString::fromLatin1(c.Name) + (fromTool ? QStringLiteral(" from Add Marker") : QStringLiteral(" from the main window"));
      // Add Marker over the middle of the main window, where the dialogs open.
      frmAddPoint->move(form->frameGeometry().center() - QPoint(frmAddPoint->width() / 2, frmAddPoint->height() / 2));
      ASSERT_TRUE(Settled(frmAddPoint));
      if (fromTool) {
        ASSERT_TRUE(MakeActive(frmAddPoint)) << name.toStdString();
      } else {
        ASSERT_TRUE(MakeActive(form)) << name.toStdString();
      }
      bool seen = false;
      QTimer watch;
      watch.setInterval(20);
      QObject::connect(&watch, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) return;
        watch.stop();
        seen = true;
        EXPECT_TRUE(Settled(modal)) << name.toStdString();
        EXPECT_TRUE(Frame(modal).intersects(Frame(frmAddPoint)))
            << name.toStdString() << ": Add Marker " << Describe(Frame(frmAddPoint)).toStdString()
            << " does not lie where the dialog " << Describe(Frame(modal)).toStdString() << " is";
        QStringList over;
        for (int i = 0; i < 20 && !(over = ToolsOver(modal)).isEmpty(); ++i) QTest::qWait(100);
        EXPECT_TRUE(over.isEmpty()) << name.toStdString() << ": " << over.join(QStringLiteral(", ")).toStdString()
                                    << " over it";
        if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
      });
      watch.start();
      c.Open();
      watch.stop();
      EXPECT_TRUE(seen) << name.toStdString() << ": no modal window opened";
      // Back above the main window.
      QStringList under;
      for (int i = 0; i < 30; ++i) {
        const QList<WId> stack = Stacking();
        under.clear();
        for (QWidget* t : ShownToolWindows())
          if (stack.indexOf(XWindow(t)) < stack.indexOf(XWindow(form))) under << t->objectName();
        if (under.isEmpty()) break;
        QTest::qWait(100);
      }
      EXPECT_TRUE(under.isEmpty()) << name.toStdString() << ": afterwards " << under.join(QStringLiteral(", ")).toStdString()
                                   << " under the main window";
    }
  }
}

// Each tool window opens inside the document area, clear of the menu bar and
// the tool bars and off the image window beside which there is room; moved by
// the user, it opens again where it was left, on the screen, and that is the
// place the settings keep for the results windows. A results window the
// settings keep before it was ever shown is kept at a place of the document
// area too.
TEST(DialogPlacement, ToolWindowsOpenBesideTheWorkAndKeepTheirPlaces) {
  if (!OnX()) GTEST_SKIP() << "windows are placed by the window manager";
  TProgram program;
  TMainForm* form = program.Form;
  ASSERT_TRUE(Settled(form));
  QTest::qWait(200);
  const QRect work = program.Work(), image = program.ImageFrame();
  const QRect menus = QRect(form->menuBar()->mapToGlobal(QPoint(0, 0)), form->menuBar()->size())
                          .united(QRect(form->dckTop->mapToGlobal(QPoint(0, 0)), form->dckTop->size()));
  ASSERT_FALSE(work.intersects(menus));
  const auto stored = [](const char* Name) {
    TRegistry reg;
    if (!reg.OpenKey(QString::fromLatin1(ApplicationKey), false)) return -1;
    return reg.ReadInteger(QString::fromLatin1(Name));
  };
  form->SaveSettings();
  for (const char* prefix : {"SR", "PR"}) {
    const QPoint at(stored((prefix + std::string("Left")).c_str()), stored((prefix + std::string("Top")).c_str()));
    EXPECT_TRUE(work.contains(at)) << prefix << " stored at (" << at.x() << ", " << at.y() << ") outside the document area "
                                   << Describe(work).toStdString();
  }

  const struct {
    const char* Command;
    std::function<QWidget*()> Window;
    QPoint MovedBy;  // where the user then moves it; partly off the screen stays on it
  } cases[] = {
      {"PhotometryResults", [] { return frmPhotometryGrid; }, {-40, 30}},
      {"PhotometryAddApature", [] { return frmAddApature; }, {25, 40}},
      {"StatisticsImageStats", [] { return frmStatisticsResults; }, {0, 5000}},
      {"StatisticsImageHisto", [] { return frmHistogram; }, {-30, -20}},
      {"EditAddMarker", [] { return frmAddPoint; }, {5000, 0}},
  };
  for (const auto& c : cases) {
    const std::string name = c.Command;
    MakeActive(form);
    form->Action(QString::fromLatin1(c.Command))->trigger();
    QWidget* tool = c.Window();
    ASSERT_TRUE(Settled(tool)) << name;
    const QRect frame = Frame(tool);
    EXPECT_TRUE(work.contains(frame.topLeft()) && !frame.intersects(menus))
        << name << " at " << Describe(frame).toStdString() << ", the document area " << Describe(work).toStdString();
    EXPECT_FALSE(frame.intersects(image)) << name << " at " << Describe(frame).toStdString() << " over the image "
                                          << Describe(image).toStdString();

    const QRect screen = form->screen()->availableGeometry();
    tool->move(frame.topLeft() + c.MovedBy);
    ASSERT_TRUE(Settled(tool)) << name;
    const QPoint left = Frame(tool).topLeft();
    tool->close();
    QTest::qWait(100);
    form->Action(QString::fromLatin1(c.Command))->trigger();
    ASSERT_TRUE(Settled(tool)) << name;
    const QRect again = Frame(tool);
    if (screen.contains(QRect(left, frame.size()))) {
      EXPECT_EQ(again.topLeft(), left) << name << " moved to (" << left.x() << ", " << left.y() << ")";
    }
    EXPECT_TRUE(screen.contains(again)) << name << " opens again at " << Describe(again).toStdString() << ", off the screen "
                                        << Describe(screen).toStdString();
  }
  form->SaveSettings();
  EXPECT_EQ(QPoint(stored("SRLeft"), stored("SRTop")), Frame(frmStatisticsResults).topLeft());
  EXPECT_EQ(QPoint(stored("PRLeft"), stored("PRTop")), Frame(frmPhotometryGrid).topLeft());
}
