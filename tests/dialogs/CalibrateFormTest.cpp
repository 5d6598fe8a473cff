// Process > Calibrate: frames from FITS files against numpy, the refusals,
// and the settings it remembers.
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>

#include "dialogs/CalibrateForm.h"
#include "dialogs/RestorationTestUtil.h"
#include "platform/Registry.h"

namespace {
const QString KeyA = QStringLiteral("Software\\Quorvath\\Corvelle Image\\2.0ZUL\\Application");
const QString Off;  // a step's box cleared

// Ticks or clears a step's box as the user does and types its file name.
void SetStep(QWidget* D, const char* Step, const QString& File) {
  auto* chk = D->findChild<QCheckBox*>(QStringLiteral("chk") + QLatin1String(Step));
  if (chk->isChecked() == File.isNull()) RestorationTest::Tick(chk);
  auto* edt = D->findChild<QLineEdit*>(QStringLiteral("edt") + QLatin1String(Step));
  ASSERT_EQ(edt->isEnabled(), !File.isNull());
  if (File.isNull()) return;
  edt->selectAll();
  QTest::keyClick(edt, Qt::Key_Delete);
  QTest::keyClicks(edt, File);
}
}  // namespace

using CalibrateFormTest = RestorationTest;

TEST_F(CalibrateFormTest, StepsMatchNumpyAndRefusalsKeepTheDialogOpen) {
  ASSERT_TRUE(Oracle("calframes.py", "41 29 5")) << "python3 with numpy and astropy";
  const std::vector<float> image = ReadFloats("image.f32");
  const QString bias = File("bias.fits"), dark = File("dark.fits"), none = File("none.fits");
  struct TCase {
    QString Bias, Dark, Flat;
    const char* Reference;  // nullptr: no window, one box
    QString Box;
    bool Colour = false;
  };
  const std::vector<TCase> cases = {
      {bias, dark, File("flat.fits"), "all.f32", {}},
      {bias, dark, Off, "biasdark.f32", {}},
      {bias, QStringLiteral(""), Off, "bias.f32", {}},  // a ticked box without a name is skipped
      {bias, Off, File("short.fits"), nullptr,
       "The size of the flat field is not the same as that of the image.  Both the flat field and the image must "
       "be the same size."},
      {bias, none, Off, nullptr, "Could not open file " + none + ".  No such file or directory."},
      {File("image.f32"), Off, Off, nullptr,
       "Could not open file " + File("image.f32") + ".  This FITS file has no BITPIX card.  The file has not been "
                                                    "opened."},
      {bias, Off, Off, nullptr, "Calibration can only be performed on grey scale images.", true},
      {Off, Off, Off, nullptr, {}},  // nothing to do: the dialog closes without a window
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Reference ? c.Reference : c.Box.toStdString());
    Boxes.clear();
    CloseWindows();
    TChildForm* source = c.Colour ? ColourWindow(41, 29, [](int x, int) { return TRGBPixel{std::uint8_t(x), 2, 3}; })
                                  : GreyWindow(41, 29, 3, [&](int x, int y) { return image[std::size_t(y * 41 + x)]; },
                                               QStringLiteral("m42.fts"));
    bool open = false;
    RunCommand("ProcessCalibrate", [&](QWidget* d) {
      EXPECT_EQ(d->windowTitle(), QStringLiteral("Calibrate"));
      SetStep(d, "Bias", c.Bias);
      SetStep(d, "Dark", c.Dark);
      SetStep(d, "Flat", c.Flat);
      Click(d, "btnOK");
      open = d->isVisible();
    });
    EXPECT_EQ(open, !c.Box.isEmpty());
    EXPECT_EQ(BoxTexts(), c.Box.isEmpty() ? std::vector<QString>{} : std::vector<QString>{c.Box});
    ASSERT_EQ(WindowCount(), c.Reference ? 2 : 1);
    if (!c.Reference) continue;
    TChildForm* result = Form->ActiveMDIChild();
    EXPECT_EQ(result->Caption(), QStringLiteral("Calibrated m42.fts"));
    EXPECT_EQ(Differing(ReadFloats(QString::fromLatin1(c.Reference)), *result->DataImage), 0);
    EXPECT_EQ(Differing(image, *source->DataImage), 0);  // the source is left as it was
  }
}

TEST_F(CalibrateFormTest, SettingsAreRememberedOnlyWhereTheKeyExists) {
  GreyWindow(8, 8, 3, [](int, int) { return 1.0f; });
  const QString dark = File("dark.fits");
  auto run = [&](bool Remember) {
    RunCommand("ProcessCalibrate", [&](QWidget* d) {
      SetStep(d, "Bias", QStringLiteral(""));
      SetStep(d, "Dark", QStringLiteral(""));
      FileAnswers = {{dark}};
      Click(d, "btnBrowse2");  // Browse puts the chosen name into the box
      SetStep(d, "Dark", Off);
      SetStep(d, "Flat", QStringLiteral("flat one.fits"));
      SetStep(d, "Flat", Off);
      auto* remember = Find<QCheckBox>(d, QStringLiteral("chkRemember"));
      if (remember->isChecked() != Remember) Tick(remember);
      Click(d, "btnOK");
    });
  };
  run(true);  // no key: nothing written, nothing said
  TRegistry reg;
  EXPECT_FALSE(reg.KeyExists(KeyA));
  ASSERT_TRUE(reg.OpenKey(KeyA, true));
  run(false);
  EXPECT_FALSE(reg.ValueExists(QStringLiteral("Bias On")));
  run(true);
  EXPECT_EQ(reg.ReadString(QStringLiteral("Bias Frame")), QString());
  EXPECT_EQ(reg.ReadString(QStringLiteral("Dark Frame")), dark);
  EXPECT_EQ(reg.ReadString(QStringLiteral("Flat Frame")), QStringLiteral("flat one.fits"));
  EXPECT_EQ(std::vector<bool>({reg.ReadBool(QStringLiteral("Bias On")), reg.ReadBool(QStringLiteral("Dark On")),
                               reg.ReadBool(QStringLiteral("Flat On"))}),
            std::vector<bool>({true, false, false}));
  EXPECT_TRUE(Boxes.empty());
  // A new start reads each value alone: one missing or unreadable leaves
  // only its own control as it was.
  reg.WriteBool(QStringLiteral("Flat On"), true);
  for (int darkOn : {0, 1, 2}) {
    if (darkOn == 1) reg.WriteBool(QStringLiteral("Dark On"), true);
    else if (darkOn == 2) reg.WriteString(QStringLiteral("Dark On"), QStringLiteral("yes"));
    else reg.DeleteValue(QStringLiteral("Dark On"));
    FreeRestorationForms();
    CreateRestorationForms(Form.get());
    EXPECT_TRUE(frmCalibrate->chkBias->isChecked());
    EXPECT_TRUE(frmCalibrate->btnBrowse1->isEnabled());
    EXPECT_EQ(frmCalibrate->edtDark->text(), dark);
    EXPECT_EQ(frmCalibrate->chkDark->isChecked(), darkOn == 1);
    EXPECT_EQ(frmCalibrate->lblDark->isEnabled(), darkOn == 1);
    EXPECT_TRUE(frmCalibrate->chkFlat->isChecked());
    EXPECT_EQ(frmCalibrate->edtFlat->text(), QStringLiteral("flat one.fits"));
  }
  EXPECT_EQ(frmCalibrate->lblFlat->buddy(), frmCalibrate->edtFlat);
}

TEST_F(CalibrateFormTest, OKRewritesNothingTheUserDidNotChange) {
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(KeyA, true));
    reg.WriteString(QStringLiteral("Bias Frame"), QStringLiteral("/frames/bias.fts"));
    reg.WriteString(QStringLiteral("Bias On"), QStringLiteral("yes"));  // of another kind
    reg.WriteString(QStringLiteral("Dark Frame"), QStringLiteral("/frames/dark 300s.fts"));
    reg.WriteBool(QStringLiteral("Dark On"), false);
    reg.WriteInteger(QStringLiteral("Flat Frame"), 7);  // of another kind
    reg.WriteBool(QStringLiteral("Flat On"), false);
  }
  for (QCheckBox* chk : {frmCalibrate->chkBias, frmCalibrate->chkDark, frmCalibrate->chkFlat}) chk->setChecked(false);
  for (QLineEdit* edt : {frmCalibrate->edtBias, frmCalibrate->edtDark, frmCalibrate->edtFlat}) edt->clear();
  frmCalibrate->LoadSettings();  // as at a start with these values
  EXPECT_EQ(frmCalibrate->edtBias->text(), QStringLiteral("/frames/bias.fts"));
  EXPECT_FALSE(frmCalibrate->chkBias->isChecked());
  EXPECT_EQ(frmCalibrate->edtDark->text(), QStringLiteral("/frames/dark 300s.fts"));
  EXPECT_EQ(frmCalibrate->edtFlat->text(), QString());
  GreyWindow(8, 8, 3, [](int, int) { return 1.0f; });
  const auto bytes = [] {
    QFile f(TRegistry::StorageFile());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  };
  const QByteArray before = bytes();
  RunCommand("ProcessCalibrate", [&](QWidget* d) { Click(d, "btnOK"); });  // no step: the settings only
  EXPECT_EQ(bytes(), before);
  // The value the user changed, and only it.
  RunCommand("ProcessCalibrate", [&](QWidget* d) {
    SetStep(d, "Flat", QStringLiteral("/frames/flat.fts"));
    SetStep(d, "Flat", Off);
    Click(d, "btnOK");
  });
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(KeyA, false));
  EXPECT_EQ(reg.ReadString(QStringLiteral("Flat Frame")), QStringLiteral("/frames/flat.fts"));
  EXPECT_EQ(reg.ReadString(QStringLiteral("Bias On")), QStringLiteral("yes"));
  EXPECT_EQ(reg.ReadString(QStringLiteral("Dark Frame")), QStringLiteral("/frames/dark 300s.fts"));
  EXPECT_EQ(reg.ReadString(QStringLiteral("Bias Frame")), QStringLiteral("/frames/bias.fts"));
  EXPECT_TRUE(Boxes.empty());
}
