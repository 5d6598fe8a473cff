#pragma once
// A main window per test, a recorder for message boxes and error reports, and
// small image builders.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "app/Child.h"
#include "app/Main.h"
#include "engine/Errors.h"
#include "formats/FITS.h"
#include "platform/MessageBox.h"

struct TBoxRecord {
  TMsgDlgType Type;
  QString Text;
  unsigned Buttons;
};

class AppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Form = std::make_unique<TMainForm>();
    MainForm = Form.get();
    Form->resize(1000, 800);
    Form->show();
    PreviousBox = MessageBox::SetHook([this](TMsgDlgType Type, const QString& Text, unsigned Buttons) {
      Boxes.push_back({Type, Text, Buttons});
      return Answers.empty() ? int(mrOk) : NextAnswer();
    });
    PreviousError = SetInternalErrorHandler([this](int Code) { Errors.push_back(Code); });
  }
  void TearDown() override {
    MessageBox::SetHook(PreviousBox);
    SetInternalErrorHandler(PreviousError);
    Form.reset();
    MainForm = nullptr;
  }
  int NextAnswer() {
    const int a = Answers.front();
    Answers.erase(Answers.begin());
    return a;
  }
  // A grey window of the given type whose pixel (x, y) is F(x, y), auto-scaled.
  TChildForm* GreyWindow(int W, int H, std::uint8_t Type, const std::function<float(int, int)>& F,
                         const QString& Caption = QStringLiteral("Grey")) {
    auto* child = new TChildForm;
    child->DataImage->Allocate(W, H, Type, false);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) child->DataImage->SetPixel(x, y, F(x, y));
    child->DataImage->AutoScale();
    child->SetCaption(Caption);
    child->UpdateImage();
    return child;
  }
  TChildForm* ColourWindow(int W, int H, const std::function<TRGBPixel(int, int)>& F,
                           const QString& Caption = QStringLiteral("Colour")) {
    auto* child = new TChildForm;
    child->DataImage->Allocate(W, H, 0, true);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) child->DataImage->SetRGB(x, y, F(x, y));
    child->SetCaption(Caption);
    child->UpdateImage();
    return child;
  }
  int WindowCount() const { return int(Form->MDIArea()->subWindowList().size()); }

  std::unique_ptr<TMainForm> Form;
  std::vector<TBoxRecord> Boxes;
  std::vector<int> Answers;
  std::vector<int> Errors;
  MessageBox::THook PreviousBox;
  TInternalErrorHandler PreviousError;
};

// The BITPIX a FITS file on disk declares; 0 when it has none.
inline int FileBITPIX(const QString& Name) {
  TFITSHeader header;
  ReadFITSHeader(Name.toStdString(), header);
  std::int32_t bitpix = 0;
  GetFITSInteger(header, "BITPIX", bitpix);
  return bitpix;
}

// Picks a menu item as a user does: opens the menu bar's menu by its title,
// then clicks the item found by its text. False when either is missing, or
// the item is hidden or disabled. A modal dialog the item opens runs inside
// the click; drive it with WhenDialog.
inline bool PickMenuItem(QMainWindow* Window, const QString& MenuTitle, const QString& ItemText) {
  QMenuBar* bar = Window->menuBar();
  QMenu* menu = nullptr;
  for (QAction* a : bar->actions())
    if (a->text() == MenuTitle && a->menu()) menu = a->menu();
  if (!menu) return false;
  QAction* item = nullptr;
  for (QAction* a : menu->actions())
    if (a->text() == ItemText) item = a;
  if (!item || !item->isVisible() || !item->isEnabled()) return false;
  menu->popup(bar->mapToGlobal(bar->actionGeometry(menu->menuAction()).bottomLeft()));
  if (!QTest::qWaitForWindowExposed(menu)) return false;
  const QRect r = menu->actionGeometry(item);
  if (r.isEmpty()) return false;
  QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, r.center());
  return true;
}

// Calls Act with Wanted once it is the open modal dialog; it polls, so the
// dialog may open after any number of events. Gives up (and Act never runs)
// after about 10 s of polling.
inline void WhenDialog(QWidget* Wanted, std::function<void()> Act) {
  auto* timer = new QTimer;
  auto tries = std::make_shared<int>(0);
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, tries, Act, Wanted] {
    const bool open = QApplication::activeModalWidget() == Wanted;
    if (!open && ++*tries < 1000) return;
    timer->stop();
    timer->deleteLater();
    if (!open) return;
    Wanted->activateWindow();
    if (QTest::qWaitForWindowExposed(Wanted) && QTest::qWaitForWindowActive(Wanted)) Act();
  });
  timer->start();
}

// Replaces what a box shows by typing, as a user selects all and types.
inline void TypeInto(QWidget* Box, const QString& Text) {
  Box->setFocus();
  QTest::keyClick(Box, Qt::Key_End);
  QTest::keyClick(Box, Qt::Key_Home, Qt::ShiftModifier);
  QTest::keyClick(Box, Qt::Key_Backspace);
  QTest::keyClicks(Box, Text);
}

// The push button of a window that shows Text (ignoring its "&" marks), as a
// user finds it; null when there is none.
inline QPushButton* ButtonOf(QWidget* Window, const QString& Text) {
  for (QPushButton* b : Window->findChildren<QPushButton*>())
    if (QString(b->text()).remove(QLatin1Char('&')) == Text) return b;
  return nullptr;
}

// Clicks a radio button or check box on its mark, where a user clicks it (a
// click right of its text misses it).
inline void ClickOption(QWidget* Option) {
  QTest::mouseClick(Option, Qt::LeftButton, Qt::NoModifier, QPoint(6, Option->height() / 2));
}
