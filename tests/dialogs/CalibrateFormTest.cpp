// The "Calibrate" dialog driven through Process > Calibrate: frames from FITS
// files against numpy, its refusals and its settings.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <cstring>

#include "dialogs/CalibrateForm.h"
#include "dialogs/RestorationTestUtil.h"
#include "platform/Registry.h"

namespace {

const QString KeyA = QStringLiteral("Software\\Quorvath\\Corvelle Image\\2.0ZUL\\Application");

// Ticks or clears a step's box by clicking it and types the file name.
void SetStep(QWidget* D, const char* Suffix, bool On, const QString& File) {
  auto* chk = D->findChild<QCheckBox*>(QStringLiteral("chk") + QLatin1String(Suffix));
  if (chk->isChecked() != On) QTest::mouseClick(chk, Qt::LeftButton, {}, QPoint(6, chk->height() / 2));
  ASSERT_EQ(chk->isChecked(), On);
  auto* edt = D->findChild<QLineEdit*>(QStringLiteral("edt") + QLatin1String(Suffix));
  ASSERT_EQ(edt->isEnabled(), On);
  if (!On) return;
  edt->selectAll();
  QTest::keyClick(edt, Qt::Key_Delete);
  if (!File.isEmpty()) QTest::keyClicks(edt, File);
}

}  // namespace

class CalibrateFormTest : public RestorationTest {
 protected:
  void SetUp() override {
    RestorationTest::SetUp();
    ASSERT_TRUE(Oracle("calframes.py", Dir.path().toStdString() + " 41 29 5")) << "python3 with numpy and astropy";
    Image = ReadFloats(Dir.filePath(QStringLiteral("image.f32")));
  }
  QString File(const char* Name) const { return Dir.filePath(QString::fromLatin1(Name)); }
  TChildForm* Source() {
    return GreyWindow(41, 29, 3, [this](int x, int y) { return Image[std::size_t(y * 41 + x)]; },
                      QStringLiteral("m42.fts"));
  }
  std::vector<float> Image;
};

TEST_F(CalibrateFormTest, StepsMatchNumpyAndRefusalsKeepTheDialogOpen) {
  struct TCase {
    const char* What;
    QString Bias, Dark, Flat;  // null: box cleared; empty: box ticked, no file
    const char* Reference;     // nullptr: no window
    QString Message;
  };
  const QString none;
  const std::vector<TCase> cases = {
      {"bias, dark and flat", File("bias.fits"), File("dark.fits"), File("flat.fits"), "all.f32", {}},
      {"bias and dark", File("bias.fits"), File("dark.fits"), none, "biasdark.f32", {}},
      {"an empty file name is skipped", File("bias.fits"), QStringLiteral(""), none, "bias.f32", {}},
      {"flat one row short", File("bias.fits"), none, File("short.fits"), nullptr,
       "The size of the flat field is not the same as that of the image.  Both the flat field and the image must "
       "be the same size."},
      {"dark frame missing", File("bias.fits"), File("nothing.fits"), none, nullptr,
       "Could not open file " + File("nothing.fits") + "."},
      {"an image as bias frame", File("image.f32"), none, none, nullptr,
       "Could not open file " + File("image.f32") + ".  This FITS file has no BITPIX card.  The file has not been "
                                                    "opened."},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    Boxes.clear();
    TChildForm* source = Source();
    const int before = WindowCount();
    bool stillOpen = false;
    RunCommand("ProcessCalibrate", [&](QWidget* d) {
      EXPECT_EQ(d->windowTitle(), QStringLiteral("Calibrate"));
      SetStep(d, "Bias", !c.Bias.isNull(), c.Bias);
      SetStep(d, "Dark", !c.Dark.isNull(), c.Dark);
      SetStep(d, "Flat", !c.Flat.isNull(), c.Flat);
      Click(d, "btnOK");
      stillOpen = d->isVisible();
    });
    if (!c.Reference) {
      EXPECT_TRUE(stillOpen);
      EXPECT_EQ(WindowCount(), before);
      ASSERT_EQ(Boxes.size(), 1u);
      EXPECT_EQ(Boxes[0].Type, TMsgDlgType::mtError);
      EXPECT_EQ(Boxes[0].Text, c.Message);
      continue;
    }
    EXPECT_FALSE(stillOpen);
    EXPECT_TRUE(Boxes.empty());
    ASSERT_EQ(WindowCount(), before + 1);
    TChildForm* result = Form->ActiveMDIChild();
    EXPECT_EQ(result->Caption(), QStringLiteral("Calibrated m42.fts"));
    const std::vector<float> want = ReadFloats(File(c.Reference));
    ASSERT_EQ(result->DataImage->PixelCount(), std::int64_t(want.size()));
    int wrong = 0;
    for (std::size_t i = 0; i < want.size(); ++i) wrong += std::memcmp(&want[i], &result->DataImage->Pixels[i], 4) != 0;
    EXPECT_EQ(wrong, 0);
    // The source is left as it was.
    EXPECT_EQ(std::memcmp(source->DataImage->Pixels, Image.data(), Image.size() * 4), 0);
  }
}

TEST_F(CalibrateFormTest, ColourImagesAndEmptyRunsMakeNoWindow) {
  // No step: the dialog closes without a window.
  Source();
  RunCommand("ProcessCalibrate", [&](QWidget* d) {
    SetStep(d, "Bias", false, {});
    SetStep(d, "Dark", false, {});
    SetStep(d, "Flat", false, {});
    Click(d, "btnOK");
    EXPECT_FALSE(d->isVisible());
  });
  EXPECT_EQ(WindowCount(), 1);
  EXPECT_TRUE(Boxes.empty());
  // A colour image is refused before any frame is read.
  ColourWindow(41, 29, [](int x, int) { return TRGBPixel{std::uint8_t(x), 2, 3}; });
  RunCommand("ProcessCalibrate", [&](QWidget* d) {
    SetStep(d, "Bias", true, File("bias.fits"));
    Click(d, "btnOK");
    EXPECT_TRUE(d->isVisible());
  });
  EXPECT_EQ(WindowCount(), 2);
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0].Type, TMsgDlgType::mtWarning);
  EXPECT_EQ(Boxes[0].Text, QStringLiteral("Calibration can only be performed on grey scale images."));
}

TEST_F(CalibrateFormTest, SettingsAreRememberedOnlyWhereTheKeyExists) {
  Source();
  auto fill = [&](bool Remember) {
    RunCommand("ProcessCalibrate", [&](QWidget* d) {
      SetStep(d, "Bias", true, QString());
      // Browse puts the chosen name into the dark frame's box.
      SetStep(d, "Dark", true, QString());
      FileAnswers = {{File("dark.fits")}};
      Click(d, "btnBrowse2");
      EXPECT_EQ(d->findChild<QLineEdit*>(QStringLiteral("edtDark"))->text(), File("dark.fits"));
      SetStep(d, "Dark", false, {});
      SetStep(d, "Flat", true, QStringLiteral("flat one.fits"));
      auto* remember = d->findChild<QCheckBox*>(QStringLiteral("chkRemember"));
      if (remember->isChecked() != Remember) QTest::mouseClick(remember, Qt::LeftButton, {}, QPoint(6, 6));
      SetStep(d, "Flat", false, {});
      Click(d, "btnOK");
    });
  };
  // Without the program's key nothing is written and nothing is said.
  fill(true);
  EXPECT_TRUE(Boxes.empty());
  {
    TRegistry reg;
    EXPECT_FALSE(reg.KeyExists(KeyA));
  }
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(KeyA, true));
  }
  fill(false);
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(KeyA, false));
    EXPECT_FALSE(reg.ValueExists(QStringLiteral("Bias On")));
  }
  fill(true);
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(KeyA, false));
    EXPECT_EQ(reg.ReadString(QStringLiteral("Bias Frame")), QString());
    EXPECT_EQ(reg.ReadString(QStringLiteral("Dark Frame")), File("dark.fits"));
    EXPECT_EQ(reg.ReadString(QStringLiteral("Flat Frame")), QStringLiteral("flat one.fits"));
    EXPECT_TRUE(reg.ReadBool(QStringLiteral("Bias On")));
    EXPECT_FALSE(reg.ReadBool(QStringLiteral("Dark On")));
    EXPECT_FALSE(reg.ReadBool(QStringLiteral("Flat On")));
  }
  // A new start reads them back, in order, and stops at the first value
  // missing: here "Dark On", so the flat's values stay as created.
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(KeyA, false));
    reg.WriteBool(QStringLiteral("Bias On"), false);
    reg.WriteBool(QStringLiteral("Flat On"), true);
    reg.DeleteValue(QStringLiteral("Dark On"));
  }
  FreeRestorationForms();
  CreateRestorationForms(Form.get());
  EXPECT_FALSE(frmCalibrate->chkBias->isChecked());
  EXPECT_FALSE(frmCalibrate->edtBias->isEnabled());
  EXPECT_EQ(frmCalibrate->edtDark->text(), File("dark.fits"));
  EXPECT_FALSE(frmCalibrate->chkFlat->isChecked());
  EXPECT_EQ(frmCalibrate->edtFlat->text(), QString());
  // Ticking a box from the settings enables its group.
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(KeyA, false));
    reg.WriteBool(QStringLiteral("Dark On"), true);
  }
  FreeRestorationForms();
  CreateRestorationForms(Form.get());
  EXPECT_TRUE(frmCalibrate->chkDark->isChecked());
  EXPECT_TRUE(frmCalibrate->edtDark->isEnabled());
  EXPECT_TRUE(frmCalibrate->lblDark->isEnabled());
  EXPECT_TRUE(frmCalibrate->btnBrowse2->isEnabled());
  EXPECT_TRUE(frmCalibrate->chkFlat->isChecked());
  EXPECT_EQ(frmCalibrate->edtFlat->text(), QStringLiteral("flat one.fits"));
  EXPECT_EQ(frmCalibrate->lblFlat->buddy(), frmCalibrate->edtFlat);
  EXPECT_TRUE(Boxes.empty());
}
