#pragma once
// A main window with the processing dialogs, and a way to work inside a
// modal dialog opened by a menu command.
#include <QAbstractButton>
#include <QAction>
#include <QButtonGroup>
#include <QGroupBox>
#include <QApplication>
#include <QEvent>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <cstring>
#include <functional>
#include <memory>

#include "app/AppTestUtil.h"
#include "app/FormGroups.h"
#include "app/PreviewFrame.h"
#include "dialogs/ProcessingDialog.h"

class DialogTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    CreateProcessingForms(Form.get());
  }
  void TearDown() override {
    FreeProcessingForms();
    AppTest::TearDown();
  }
  // Triggers the main window's action Name; Act runs inside the modal dialog
  // it opens, after the dialog's activation has been handled. A dialog still
  // open afterwards is cancelled. Act gets nullptr when no dialog opened.
  void WithDialog(const char* Name, const std::function<void(QDialog*)>& Act) {
    bool ran = false;
    QTimer::singleShot(0, Form.get(), [&] {
      ran = true;
      auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      QCoreApplication::processEvents();
      QCoreApplication::processEvents();
      Act(dialog);
      if (dialog && dialog->isVisible()) dialog->reject();
    });
    QAction* action = Form->Action(QString::fromLatin1(Name));
    ASSERT_NE(action, nullptr) << Name;
    ASSERT_TRUE(action->isEnabled()) << Name;
    action->trigger();
    if (!ran) QCoreApplication::processEvents();
  }
  static void ClickOK(QDialog* Dialog) {
    auto* ok = Dialog->findChild<QPushButton*>(QStringLiteral("btnOK"));
    ASSERT_NE(ok, nullptr);
    QTest::mouseClick(ok, Qt::LeftButton);
  }
  static void ClickCancel(QDialog* Dialog) {
    auto* cancel = Dialog->findChild<QPushButton*>(QStringLiteral("btnCancel"));
    ASSERT_NE(cancel, nullptr);
    QTest::mouseClick(cancel, Qt::LeftButton);
  }
  // Moves a track bar with the keyboard: Home, then Right Steps times.
  static void SlideTo(QSlider* Slider, int Position) {
    Slider->setFocus();
    QTest::keyClick(Slider, Slider->minimum() < 0 ? Qt::Key_Home : Qt::Key_Home);
    for (int i = Slider->minimum(); i < Position; ++i) QTest::keyClick(Slider, Qt::Key_Right);
  }
  // The pending preview of the dialog, run now.
  static void Settle(QDialog* Dialog) {
    QCoreApplication::processEvents();
    if (auto* d = qobject_cast<TProcessingDialog*>(Dialog)) d->FlushPreview();
  }
  static void Activate(QDialog* Dialog) {
    QEvent e(QEvent::WindowActivate);
    QApplication::sendEvent(Dialog, &e);
  }
  // A click on the radio button's round indicator.
  static void ClickRadio(QAbstractButton* Button) {
    QTest::mouseClick(Button, Qt::LeftButton, Qt::NoModifier, QPoint(6, Button->height() / 2));
  }
  static void ChooseOutputRange(QDialog* Dialog, int Index) {
    auto* d = qobject_cast<TProcessingDialog*>(Dialog);
    ASSERT_NE(d, nullptr);
    QAbstractButton* b = d->OutputRangeButtons->button(Index);
    ClickRadio(b);
  }
};

// Same sides, kind, data type and pixels.
inline bool SamePixels(const TDataImage& A, const TDataImage& B) {
  if (A.Width != B.Width || A.Height != B.Height || A.IsColour != B.IsColour) return false;
  const std::size_t n = std::size_t(A.PixelCount());
  if (A.IsColour) return std::memcmp(A.RGBPlane, B.RGBPlane, n * 3) == 0;
  return A.DataType == B.DataType && std::memcmp(A.Pixels, B.Pixels, n * sizeof(float)) == 0;
}

// A full copy of the pixels, the way a result window starts.
inline std::unique_ptr<TDataImage> CopyOf(const TDataImage& S) {
  auto d = std::make_unique<TDataImage>();
  d->Allocate(S.Width, S.Height, S.IsColour ? 0 : S.DataType, S.IsColour);
  const std::size_t n = std::size_t(S.PixelCount());
  if (S.IsColour)
    std::memcpy(d->RGBPlane, S.RGBPlane, n * 3);
  else
    std::memcpy(d->Pixels, S.Pixels, n * sizeof(float));
  d->BlackPoint = S.BlackPoint;
  d->WhitePoint = S.WhitePoint;
  return d;
}
