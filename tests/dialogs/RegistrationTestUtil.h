#pragma once
// The registration group's windows on a fresh main window, and helpers that
// act on a modal dialog once a command has opened it, as a user would.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "app/AppTestUtil.h"
#include "app/FormGroups.h"

// Closes an image window as the user would, then frees it.
inline void CloseImageWindow(TChildForm* Window) {
  Window->setAttribute(Qt::WA_DeleteOnClose, false);
  Window->close();
  delete Window;
}

class RegistrationTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    CreateRegistrationForms(Form.get());
  }
  void TearDown() override {
    for (TChildForm* c : Form->MDIChildren()) Close(c);
    FreeRegistrationForms();
    AppTest::TearDown();
  }
  static void Close(TChildForm* Window) { CloseImageWindow(Window); }
  // Triggers the main window's action Name; Act runs on the modal dialog it
  // opens and must close it. LastActed tells whether a dialog opened.
  void RunCommand(const char* Name, std::function<void(QWidget*)> Act) {
    LastActed = false;
    QTimer timer;
    int tries = 0;
    timer.setInterval(5);
    QObject::connect(&timer, &QTimer::timeout, [&] {
      QWidget* dialog = QApplication::activeModalWidget();
      if (!dialog && ++tries < 400) return;
      timer.stop();
      if (!dialog) return;
      LastActed = true;
      Act(dialog);
      if (dialog->isVisible()) {
        ADD_FAILURE() << "the dialog was left open";
        QMetaObject::invokeMethod(dialog, "reject", Qt::QueuedConnection);
      }
    });
    timer.start();
    Form->Action(QString::fromLatin1(Name))->trigger();
  }
  bool LastActed = false;

  TChildForm* WindowCaptioned(const QString& Caption) const {
    for (TChildForm* c : Form->MDIChildren())
      if (c->Caption() == Caption) return c;
    return nullptr;
  }
  // Replaces the text of Box by typing.
  static void Type(QLineEdit* Box, const QString& Text) {
    Box->setFocus();
    Box->selectAll();
    QTest::keyClick(Box, Qt::Key_Delete);
    QTest::keyClicks(Box, Text);
  }
  // Picks the reference by caption, checks the targets with the space bar
  // and, when asked, presses OK.
  static void Choose(QWidget* Dialog, QComboBox* Reference, QListWidget* List, const QString& Caption,
                     const QStringList& Targets, bool PressOK = true) {
    Reference->setCurrentIndex(Reference->findText(Caption));
    for (int i = 0; i < List->count(); ++i)
      if (Targets.contains(List->item(i)->text())) {
        List->setCurrentRow(i);
        QTest::keyClick(List, Qt::Key_Space);
      }
    if (PressOK) QTest::mouseClick(Dialog->findChild<QPushButton*>("btnOK"), Qt::LeftButton);
  }
};
