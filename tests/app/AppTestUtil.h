#pragma once
// A main window per test, a recorder for message boxes and error reports, and
// small image builders.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMdiArea>
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
