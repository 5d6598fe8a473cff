#pragma once
// The main window with the second group of processing dialogs, and a driver
// that works a modal dialog opened by a menu command as a user would.
#include <QAbstractButton>
#include <QComboBox>
#include <QPushButton>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <ostream>

#include "app/AppTestUtil.h"
#include "app/FormGroups.h"
#include "dialogs/ProcessingDialog.h"

// Failure messages show texts, not their bytes.
inline void PrintTo(const QString& Text, std::ostream* Out) { *Out << '"' << Text.toStdString() << '"'; }

class Processing2Test : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    CreateProcessingForms2(Form.get());
  }
  void TearDown() override {
    FreeProcessingForms2();
    AppTest::TearDown();
  }

  // Triggers the main window's command Name and calls Act with the modal
  // dialog once it is showing; a dialog Act leaves open is cancelled. False
  // when no dialog opened.
  bool RunCommand(const char* Name, const std::function<void(QDialog*)>& Act) {
    QAction* action = Form->Action(QString::fromLatin1(Name));
    EXPECT_NE(action, nullptr) << Name;
    if (!action) return false;
    bool ran = false;
    int tries = 0;
    std::function<void()> poll = [&] {
      if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
        ran = true;
        // The dialog's activation is handled first, as before a user's first click.
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        Act(dialog);
        if (dialog->isVisible()) dialog->reject();
        return;
      }
      if (++tries < 20) QTimer::singleShot(0, poll);
    };
    QTimer::singleShot(0, poll);
    action->trigger();
    // A refused command showed no dialog: let the pending checks run out.
    while (!ran && tries < 20) QCoreApplication::processEvents();
    return ran;
  }

  // Types Text into a number or name box as a user would: focus, select all, type.
  static void Type(QLineEdit* Box, const QString& Text) {
    Box->setFocus();
    Box->selectAll();
    QTest::keyClick(Box, Qt::Key_Delete);
    QTest::keyClicks(Box, Text);
  }
  static void Click(QAbstractButton* Button) { QTest::mouseClick(Button, Qt::LeftButton); }
  static void ClickOK(QDialog* Dialog) { Click(Dialog->findChild<QPushButton*>(QStringLiteral("btnOK"))); }
  // Picks an entry of a list with the arrow keys, as a user would from the
  // keyboard; each step is a choice the dialog reacts to.
  static void Pick(QComboBox* List, const QString& Text) {
    const int target = List->findText(Text, Qt::MatchExactly);
    ASSERT_GE(target, 0) << Text.toStdString();
    List->setFocus();
    for (int i = 0; i < 2 * List->count() + 2 && List->currentIndex() != target; ++i) {
      QTest::keyClick(List, List->currentIndex() < target ? Qt::Key_Down : Qt::Key_Up);
    }
    ASSERT_EQ(List->currentIndex(), target);
  }
  // Runs the preview the last change asked for.
  static void Settle(QDialog* Dialog) {
    QCoreApplication::processEvents();
    if (auto* d = qobject_cast<TProcessingDialog*>(Dialog)) d->FlushPreview();
  }

  std::vector<QString> BoxTexts() const {
    std::vector<QString> out;
    for (const auto& b : Boxes) out.push_back(b.Text);
    return out;
  }
};
