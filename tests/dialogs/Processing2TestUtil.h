#pragma once
// The main window with the second group of processing dialogs, a driver that
// works a modal dialog opened by a menu command as a user would, and image
// helpers.
#include <QAbstractButton>
#include <QChartView>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <ostream>

#include "app/AppTestUtil.h"
#include "app/FormGroups.h"
#include "dialogs/ProcessingDialog.h"

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
  // The group's windows made anew, as at the next start of the program.
  void Restart() {
    FreeProcessingForms2();
    CreateProcessingForms2(Form.get());
  }
  // Every control of the dialog has a name a screen reader says, and every
  // label with an access key leads to its control.
  static void CheckSpoken(QDialog* D) {
    for (QWidget* w : D->findChildren<QWidget*>()) {
      const bool control = qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractButton*>(w) ||
                           qobject_cast<QComboBox*>(w) || qobject_cast<QSlider*>(w) || qobject_cast<QChartView*>(w);
      EXPECT_FALSE(control && w->isVisibleTo(D) && !qobject_cast<QComboBox*>(w->parentWidget()) &&
                   w->accessibleName().isEmpty())
          << w->objectName().toStdString();
      auto* l = qobject_cast<QLabel*>(w);
      EXPECT_FALSE(l && l->text().contains(QLatin1Char('&')) && !l->buddy()) << l->text().toStdString();
    }
  }
  // Triggers command Name and calls Act with its modal dialog once that is
  // showing and activated (and checked for CheckSpoken); a dialog Act leaves
  // open is cancelled. False when no dialog opened.
  bool RunCommand(const char* Name, const std::function<void(QDialog*)>& Act) {
    QAction* action = Form->Action(QString::fromLatin1(Name));
    if (!action) return false;
    bool ran = false;
    int tries = 0;
    std::function<void()> poll = [&] {
      if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
        ran = true;
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        CheckSpoken(dialog);
        Act(dialog);
        if (dialog->isVisible()) dialog->reject();
      } else if (++tries < 20) {
        QTimer::singleShot(0, poll);
      }
    };
    QTimer::singleShot(0, poll);
    action->trigger();
    while (!ran && tries < 20) QCoreApplication::processEvents();  // a refused command
    return ran;
  }
  static void Type(QLineEdit* Box, const QString& Text) {
    Box->setFocus();
    Box->selectAll();
    QTest::keyClick(Box, Qt::Key_Delete);
    QTest::keyClicks(Box, Text);
  }
  static void Click(QAbstractButton* Button) { QTest::mouseClick(Button, Qt::LeftButton); }
  static void ClickOK(QDialog* Dialog) { Click(Dialog->findChild<QPushButton*>(QStringLiteral("btnOK"))); }
  // Picks a list entry with the arrow keys; each step is a choice.
  static void Pick(QComboBox* List, const QString& Text) {
    const int target = List->findText(Text, Qt::MatchExactly);
    ASSERT_GE(target, 0) << Text.toStdString();
    List->setFocus();
    for (int i = 0; i < 2 * List->count() + 2 && List->currentIndex() != target; ++i)
      QTest::keyClick(List, List->currentIndex() < target ? Qt::Key_Down : Qt::Key_Up);
    ASSERT_EQ(List->currentIndex(), target);
  }
  // Runs the preview the last change asked for.
  static void Settle(QDialog* Dialog) {
    QCoreApplication::processEvents();
    if (auto* d = qobject_cast<TProcessingDialog*>(Dialog)) d->FlushPreview();
  }
  static void Mouse(QWidget* W, QEvent::Type Type, QPoint P, Qt::MouseButton Button, Qt::MouseButtons Buttons) {
    QMouseEvent e(Type, QPointF(P), W->mapToGlobal(QPointF(P)), Button, Buttons, Qt::NoModifier);
    QApplication::sendEvent(W, &e);
  }
  std::vector<QString> BoxTexts() const {
    std::vector<QString> out;
    for (const auto& b : Boxes) out.push_back(b.Text);
    return out;
  }
};

// Same sides, kind and pixels.
inline bool SameImage(const TDataImage& A, const TDataImage& B) {
  if (A.Width != B.Width || A.Height != B.Height || A.IsColour != B.IsColour) return false;
  const std::size_t n = std::size_t(A.PixelCount());
  if (!A.IsColour) return std::equal(A.Pixels, A.Pixels + n, B.Pixels);
  return std::equal(A.RGBPlane, A.RGBPlane + n, B.RGBPlane, [](const TRGBPixel& a, const TRGBPixel& b) {
    return a.Red == b.Red && a.Green == b.Green && a.Blue == b.Blue;
  });
}

// Op(copy, Src) on a copy of Src, the way a result window starts.
inline std::unique_ptr<TDataImage> RunOn(const TDataImage& Src, const std::function<void(TDataImage&, TDataImage&)>& Op) {
  auto d = std::make_unique<TDataImage>();
  d->Allocate(Src.Width, Src.Height, Src.IsColour ? 0 : Src.DataType, Src.IsColour);
  const std::size_t n = std::size_t(Src.PixelCount());
  if (Src.IsColour)
    std::copy(Src.RGBPlane, Src.RGBPlane + n, d->RGBPlane);
  else
    std::copy(Src.Pixels, Src.Pixels + n, d->Pixels);
  Op(*d, const_cast<TDataImage&>(Src));
  return d;
}
