#pragma once
// A walk through every window of the program: the main window with its two
// test images, then every command run on them, with each modal dialog and
// each window a command leaves shown handed to a visitor. The accessibility
// walk and the keyboard walk share it.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QMdiArea>
#include <QMenu>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>

#include "app/Child.h"
#include "app/Main.h"
#include "app/StartUp.h"
#include "engine/Errors.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"

namespace WindowWalk {

// Dialogs the walk confirms, so that the window they lead to opens. The 3-D
// view needs OpenGL, which the offscreen platform lacks: there its properties
// dialog is only walked, and CTest runs the walk once more on an X server
// (AccessibilityWalkOnX), where the 3-D window opens too.
inline QStringList Confirmed() {
  QStringList names = {QStringLiteral("frmLinePlotSetup")};
  if (QGuiApplication::platformName() != QLatin1String("offscreen")) names << QStringLiteral("frmSurfaceProperties");
  return names;
}

// Commands that end the program or hand over to the desktop, and one that
// would leave the images minimised.
inline const QStringList NotTriggered = {QStringLiteral("FileExit"), QStringLiteral("HelpContents"),
                                         QStringLiteral("HelpWeb"), QStringLiteral("WindowMinimizeAll")};

// An object as a report names it: its name, or its class under the nearest
// named ancestor.
inline QString Describe(const QObject* Object) {
  QString name = Object->objectName();
  if (name.isEmpty()) {
    name = QString::fromLatin1(Object->metaObject()->className());
    for (const QObject* p = Object->parent(); p; p = p->parent())
      if (!p->objectName().isEmpty()) {
        name = p->objectName() + QLatin1Char('/') + name;
        break;
      }
  }
  return name;
}

inline TChildForm* Image(bool Colour, const QString& Caption) {
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
inline void Prepare(TChildForm* Image, bool Grey) {
  TImageOverlay* o = Image->ImageOverlay;
  if (o->Markers().empty()) o->AddMarker(10, 10);
  if (Grey && o->Apertures().empty()) o->AddAperture(30, 20, 4, 6, 8);
  if (o->Annotations().empty()) o->AddAnnotation(5, 30, QStringLiteral("M 42"), QFont());
  o->SelectedAnnotation = 0;
  const int roi[4] = {22, 12, 38, 28};
  std::copy(roi, roi + 4, o->ROI);
}

// Visit gets each window: Modal for a modal dialog that is still open (and,
// when the walk waits for it, active), false for one a command left shown.
using TVisit = std::function<void(QWidget* Window, bool Modal)>;

class TWalkTest : public ::testing::Test {
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

  // Every modal window that opens while Run runs is visited and cancelled (or
  // confirmed) unless the visit closed it; every window it leaves shown is
  // visited and hidden. With WaitForActive a modal window is visited once it
  // is the active window (for at most about 5 s).
  void WalkWhatOpens(const std::function<void()>& Run, const TVisit& Visit, bool WaitForActive = false) {
    QSet<QWidget*> before;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->isVisible()) before.insert(w);
    QSet<QWidget*> seen;
    QTimer timer;
    timer.setInterval(5);
    int waited = 0;
    QObject::connect(&timer, &QTimer::timeout, [&] {
      QWidget* modal = QApplication::activeModalWidget();
      if (!modal || seen.contains(modal)) return;
      if (WaitForActive && QApplication::activeWindow() != modal && ++waited < 1000) return;
      waited = 0;
      seen.insert(modal);
      Visit(modal, true);
      // Closed from the event loop: a window that a confirmed dialog opens
      // modally must not run inside this timer's own call, which would keep
      // the timer from seeing it.
      QTimer::singleShot(0, modal, [modal] {
        if (!modal->isVisible()) return;
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
      Visit(w, false);
      w->hide();
    }
    // As a window manager does, the main window is active again.
    if (QApplication::activeWindow() != Form) {
      Form->activateWindow();
      EXPECT_TRUE(QTest::qWaitFor([this] { return QApplication::activeWindow() == Form; }, 2000))
          << "the main window does not become active again";
    }
  }

  // The two images every command runs on, with what the commands need.
  void MakeImages() {
    QFile raw(Dir.filePath(QStringLiteral("walk.raw")));
    ASSERT_TRUE(raw.open(QIODevice::WriteOnly));
    raw.write(QByteArray(64 * 48 * 2, '\x11'));
    raw.close();
    Colour = Image(true, QStringLiteral("Colour Picture"));
    Grey = Image(false, QStringLiteral("Grey Frame"));
    Prepare(Grey, true);
    Prepare(Colour, false);
    QCoreApplication::processEvents();
  }

  // Every command with Visit, grey image first; a command that refuses the
  // grey image with a box gets the colour one. Count is how many windows the
  // visits have seen so far; the names of the commands that opened nothing
  // are returned.
  QStringList WalkEveryCommand(const TVisit& Visit, const std::function<qsizetype()>& Count,
                               bool WaitForActive = false) {
    const QList<TChildForm*> images = {Grey, Colour};
    QStringList nothing;
    for (QAction* action : Form->ActionList()) {
      const QString name = action->objectName();
      if (NotTriggered.contains(name) || action->menu()) continue;
      bool any = false;
      for (TChildForm* active : images) {
        Prepare(Grey, true);
        Prepare(Colour, false);
        Form->MDIArea()->setActiveSubWindow(active);
        const qsizetype walked = Count();
        const qsizetype boxes = Boxes.size();
        WalkWhatOpens([&] {
          if (action->isEnabled()) action->trigger();
        }, Visit, WaitForActive);
        // Result windows the command made are not part of the walk.
        for (TChildForm* child : Form->MDIChildren())
          if (!images.contains(child)) {
            child->setAttribute(Qt::WA_DeleteOnClose, false);
            delete child;
          }
        any = Count() > walked;
        if (any || Boxes.size() == boxes) break;
      }
      if (!any) nothing << name;
    }
    return nothing;
  }

  // The windows of the program (named "frm...") that Walked, a list of
  // "name \"title\"" entries, lacks. The 3-D view needs OpenGL.
  QStringList NotReached(const QStringList& Walked) const {
    QStringList walked, missing;
    for (const QString& w : Walked) walked << w.section(QLatin1Char(' '), 0, 0);
    for (QWidget* w : Form->findChildren<QWidget*>()) {
      const QString name = w->objectName();
      if (!w->isWindow() || !name.startsWith(QLatin1String("frm"))) continue;
      if (name == QLatin1String("frm3DVisu") && !Confirmed().contains(QStringLiteral("frmSurfaceProperties"))) continue;
      if (!walked.contains(name)) missing << name;
    }
    return missing;
  }

  TMainForm* Form = nullptr;
  TChildForm* Grey = nullptr;
  TChildForm* Colour = nullptr;
  QTemporaryDir Dir;
  QString SaveName = QStringLiteral("walk.fts");
  bool OptionsShown = false;
  QStringList Boxes;
  MessageBox::THook PreviousBox;
  TFileDialog::THook PreviousFile;
  TInternalErrorHandler PreviousError;
};

}  // namespace WindowWalk
