// An operation that fails after its result window was made closes that
// window again, and says "Out of memory" where memory ran out.
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <cmath>

#include "app/IntEdit.h"
#include "dialogs/CalibrateForm.h"
#include "dialogs/CropForm.h"
#include "dialogs/FFTCorrelationForm.h"
#include "dialogs/ResampleForm.h"
#include "dialogs/RestorationTestUtil.h"
#include "platform/Application.h"
#include "platform/PageMemory.h"

namespace {

class FailedOperations : public RestorationTest {
 protected:
  void SetUp() override {
    RestorationTest::SetUp();
    CreateProcessingForms(Form.get());
    CreateProcessingForms2(Form.get());
    CreateRegistrationForms(Form.get());
    // The program's own boxes for the engine's reports.
    SetWarningHandler(nullptr);
    InstallEngineMessageBoxes();
  }
  void TearDown() override {
    PageMemory::SetLimit(0);
    CloseWindows();
    FreeRegistrationForms();
    FreeProcessingForms2();
    FreeProcessingForms();
    RestorationTest::TearDown();
  }
  QTemporaryDir Dir;
};

}  // namespace

TEST_F(FailedOperations, LeaveNoWindowThatLooksLikeAResult) {
  // Every window here is 300 x 300; a limit of 500000 bytes lets the result's
  // copy be made and refuses the 512 x 512 work images behind it.
  const QString memory = QStringLiteral("Out of memory");
  const auto number = [](int Code) { return QString::fromStdString(InternalErrorText(Code)); };
  TDataImage zeros;
  ASSERT_TRUE(zeros.Allocate(300, 300, 3, false));
  TFITSHeader header;
  const QString flat = Dir.filePath(QStringLiteral("zero flat.fts"));
  ASSERT_TRUE(WriteFITSFloat(flat.toStdString(), header, zeros).empty());
  const auto star = [](int x, int y) { return float(100 + 5000 * std::exp(-((x - 150) * (x - 150) + (y - 140) * (y - 140)) / 18.0)); };
  struct TCase {
    const char* Action;
    std::function<float(int, int)> Pixel;
    std::uint64_t Limit;  // 0: memory to spare
    std::function<void(QWidget*)> Prepare;
    QString Box;
    bool StaysOpen;
    TMsgDlgType Kind = TMsgDlgType::mtError;
  };
  const TCase cases[] = {
      {"FilterFFT", star, 500000, {}, memory, true},
      {"FilterHomomorphic", star, 500000, {}, memory, true},
      // A result with nothing above zero from an input with something leaves
      // the rescaling nothing to divide by. (An input of zeros gives zeros.)
      {"FilterFFT", [](int x, int y) { return x == 150 && y == 150 ? 0.001f : -100.0f; }, 0, {},
       number(errFFTFilter), true},
      {"RestorationLucyRichardson", star, 500000, {}, memory, false},
      // A flat field of zeros cannot divide, which is said before any window.
      {"ProcessCalibrate", star, 0,
       [&](QWidget*) {
         frmCalibrate->chkFlat->setChecked(true);
         frmCalibrate->edtFlat->setText(flat);
         frmCalibrate->chkRemember->setChecked(false);
       },
       QStringLiteral("Corvelle Image cannot divide by this flat field because the mean of its pixels is zero."), true,
       TMsgDlgType::mtWarning},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Action << " " << c.Box.toStdString());
    CloseWindows();
    TChildForm* source = GreyWindow(300, 300, 3, c.Pixel, QStringLiteral("m42.fts"));
    const bool open = RunCommand(c.Action, [&](QWidget* d) {
      if (c.Prepare) c.Prepare(d);
      Boxes.clear();  // a preview of the same image may have failed alike
      PageMemory::SetLimit(c.Limit);
      Click(d, "btnOK");
      PageMemory::SetLimit(0);
    });
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(open, c.StaysOpen);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Type, c.Kind);
    EXPECT_EQ(Boxes[0].Text, c.Box);
    EXPECT_EQ(Form->MDIChildren(), QList<TChildForm*>{source});
  }
}

// Memory that runs out under a dialog's OK is said as "Out of memory", the
// dialog stays open and no window is made. A calibration frame needs room
// for its planes alone: here it is read, and the result window is what does
// not fit.
TEST_F(FailedOperations, OutOfMemoryIsSaidAsSuchByEveryDialog) {
  const QString memory = QStringLiteral("Out of memory");
  TDataImage frame;
  ASSERT_TRUE(frame.Allocate(300, 300, 3, false));
  TFITSHeader header;
  const QString dark = Dir.filePath(QStringLiteral("dark.fts"));
  ASSERT_TRUE(WriteFITSFloat(dark.toStdString(), header, frame).empty());
  GreyWindow(300, 300, 3, [](int x, int y) { return float(x * y % 91); }, QStringLiteral("b.fts"));
  GreyWindow(300, 300, 3, [](int x, int y) { return float(x + 2 * y); }, QStringLiteral("a.fts"));
  const QList<TChildForm*> windows = Form->MDIChildren();
  struct TCase {
    const char* Action;
    std::function<void(QWidget*)> Prepare;
    QString Box;
  };
  const TCase cases[] = {
      {"ProcessCrop",
       [](QWidget*) {
         frmCrop->iedLeft->SetValue(0);
         frmCrop->iedRight->SetValue(299);
         frmCrop->iedTop->SetValue(0);
         frmCrop->iedBottom->SetValue(299);
       },
       memory},
      {"ProcessRGBCombine", {}, memory},
      {"ProcessCombine", [](QWidget* d) { Click(d, "btnAddAll"); }, memory},
      {"ProcessFFTCorrelation",
       [](QWidget*) {
         for (int i = 0; i < frmFFTCorrelation->lstImageB->count(); ++i)
           if (QListWidgetItem* item = frmFFTCorrelation->lstImageB->item(i); item->flags() & Qt::ItemIsEnabled)
             item->setCheckState(Qt::Checked);
       },
       memory},
      {"ProcessResample",
       [](QWidget*) {
         if (frmResample->chkAspect->isChecked()) Tick(frmResample->chkAspect);
         frmResample->iedWidth->SetValue(600);
         frmResample->iedHeight->SetValue(500);
       },
       memory},
      {"ProcessCalibrate",
       [&](QWidget*) {
         frmCalibrate->chkBias->setChecked(false);
         frmCalibrate->chkFlat->setChecked(false);
         frmCalibrate->chkDark->setChecked(true);
         frmCalibrate->edtDark->setText(dark);
         frmCalibrate->chkRemember->setChecked(false);
       },
       memory},
  };
  int said = 0;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Action);
    const bool open = RunCommand(c.Action, [&](QWidget* d) {
      if (c.Prepare) c.Prepare(d);
      Boxes.clear();
      PageMemory::SetLimit(500000);  // the windows open now fit; nothing of their size more
      Click(d, "btnOK");
      PageMemory::SetLimit(0);
    });
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(open);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Type, TMsgDlgType::mtError);
    EXPECT_EQ(Boxes[0].Text, c.Box);
    said += Boxes[0].Text == c.Box;
    EXPECT_EQ(Form->MDIChildren(), windows);
  }
  std::printf("[ figures  ] %zu dialogs short of memory: %d say so as the program does\n", std::size(cases), said);
}
