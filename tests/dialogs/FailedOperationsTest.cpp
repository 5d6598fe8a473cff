// An operation that fails after its result window was made closes that
// window again, and says "Out of memory" where memory ran out.
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <cmath>

#include "dialogs/CalibrateForm.h"
#include "dialogs/RestorationTestUtil.h"
#include "platform/Application.h"
#include "platform/PageMemory.h"

namespace {

class FailedOperations : public RestorationTest {
 protected:
  void SetUp() override {
    RestorationTest::SetUp();
    CreateProcessingForms(Form.get());
    // The program's own boxes for the engine's reports.
    SetWarningHandler(nullptr);
    InstallEngineMessageBoxes();
  }
  void TearDown() override {
    PageMemory::SetLimit(0);
    CloseWindows();
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
  };
  const TCase cases[] = {
      {"FilterFFT", star, 500000, {}, memory, true},
      {"FilterHomomorphic", star, 500000, {}, memory, true},
      // Nothing above zero leaves the rescaling nothing to divide by.
      {"FilterFFT", [](int, int) { return 0.0f; }, 0, {}, number(errFFTFilter), true},
      {"RestorationLucyRichardson", star, 500000, {}, memory, false},
      // A flat field of zeros cannot divide.
      {"ProcessCalibrate", star, 0,
       [&](QWidget*) {
         frmCalibrate->chkFlat->setChecked(true);
         frmCalibrate->edtFlat->setText(flat);
         frmCalibrate->chkRemember->setChecked(false);
       },
       number(errFlatFieldDivide), true},
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
    EXPECT_EQ(Boxes[0].Type, TMsgDlgType::mtError);
    EXPECT_EQ(Boxes[0].Text, c.Box);
    EXPECT_EQ(Form->MDIChildren(), QList<TChildForm*>{source});
  }
}
