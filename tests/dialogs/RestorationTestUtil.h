#pragma once
// The main window with the restoration group's dialogs, a way to act inside a
// modal dialog opened by a menu command, and the Python oracles' folder.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <fstream>
#include <memory>

#include "app/AppTestUtil.h"
#include "app/FormGroups.h"
#include "platform/FileDialog.h"

class RestorationTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    CreateRestorationForms(Form.get());
    PreviousFileHook = TFileDialog::SetHook([this](TFileDialog& D) {
      if (FileAnswers.empty()) return false;
      D.Files = FileAnswers.front();
      D.FileName = D.Files.isEmpty() ? QString() : D.Files.front();
      FileAnswers.erase(FileAnswers.begin());
      return true;
    });
  }
  void TearDown() override {
    TFileDialog::SetHook(PreviousFileHook);
    for (TChildForm* child : Form->MDIChildren()) {
      child->setAttribute(Qt::WA_DeleteOnClose, false);
      delete child;
    }
    FreeRestorationForms();
    AppTest::TearDown();
  }
  // Triggers the main window's command and, once its modal dialog is up, calls
  // Act with it; returns when the dialog has closed. Fails the test if no
  // dialog opened.
  void RunCommand(const char* Action, const std::function<void(QWidget*)>& Act) {
    bool seen = false;
    QTimer timer;
    timer.setInterval(5);
    QObject::connect(&timer, &QTimer::timeout, [&] {
      QWidget* dialog = QApplication::activeModalWidget();
      if (!dialog) return;
      timer.stop();
      seen = true;
      Act(dialog);
      // Whatever Act left open is cancelled, so the test goes on.
      if (QApplication::activeModalWidget() == dialog) dialog->close();
    });
    timer.start();
    QAction* action = Form->Action(QString::fromLatin1(Action));
    ASSERT_NE(action, nullptr) << Action;
    action->setEnabled(true);
    action->trigger();
    timer.stop();
    EXPECT_TRUE(seen) << "no dialog opened for " << Action;
  }
  static void Click(QWidget* Dialog, const char* Name) {
    auto* b = Dialog->findChild<QPushButton*>(QString::fromLatin1(Name));
    ASSERT_NE(b, nullptr) << Name;
    QTest::mouseClick(b, Qt::LeftButton);
  }
  // Runs an oracle script of tests/oracles with the Debian Python.
  static bool Oracle(const std::string& Script, const std::string& Args) {
    const std::string cmd = std::string("/usr/bin/python3 ") + CORVELLE_SOURCE_DIR + "/tests/oracles/" + Script +
                            " " + Args;
    return std::system(cmd.c_str()) == 0;
  }
  static std::vector<float> ReadFloats(const QString& Path) {
    std::ifstream in(Path.toStdString(), std::ios::binary | std::ios::ate);
    std::vector<float> v(std::size_t(in.tellg()) / sizeof(float));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(v.data()), std::streamsize(v.size() * sizeof(float)));
    return v;
  }
  static void SendMouse(QWidget* W, QEvent::Type Type, QPoint P, Qt::MouseButton Button, Qt::MouseButtons Buttons) {
    QMouseEvent e(Type, QPointF(P), W->mapToGlobal(QPointF(P)), Button, Buttons, Qt::NoModifier);
    QApplication::sendEvent(W, &e);
  }
  // A left-button drag, as when the user draws a region of interest.
  static void Drag(QWidget* W, QPoint From, QPoint To) {
    SendMouse(W, QEvent::MouseButtonPress, From, Qt::LeftButton, Qt::LeftButton);
    SendMouse(W, QEvent::MouseMove, (From + To) / 2, Qt::NoButton, Qt::LeftButton);
    SendMouse(W, QEvent::MouseMove, To, Qt::NoButton, Qt::LeftButton);
    SendMouse(W, QEvent::MouseButtonRelease, To, Qt::LeftButton, Qt::NoButton);
  }
  std::vector<QStringList> FileAnswers;
  TFileDialog::THook PreviousFileHook;
  QTemporaryDir Dir;
};
