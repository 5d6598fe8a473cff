#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdlib>
#include <random>

#include "DialogTestUtil.h"
#include "app/FloatEdit.h"
#include "dialogs/DDPForm.h"

class DDPProposals : public DialogTest {
 protected:
  TChildForm* Runs(std::uint8_t Type, const std::vector<std::pair<int, float>>& R, int W, int H) {
    std::vector<float> v;
    for (const auto& [n, value] : R) v.insert(v.end(), std::size_t(n), value);
    v.resize(std::size_t(W * H), R.back().second);
    return GreyWindow(W, H, Type, [&](int x, int y) { return v[std::size_t(y * W + x)]; });
  }
};

TEST_F(DDPProposals, EachActivationProposesFromTheWholeImage) {
  struct Case {
    const char* Name;
    std::function<TChildForm*()> Make;
    const char *A, *B, *K;
    bool PreviewFails;  // then the activation after its error box proposes and previews nothing
  };
  const Case cases[] = {
      // Maximum 40000: 96 of 100 pixels lie at or below bin 64, A = 64 x 40000 / 255;
      // the background is bin 0, B = 1 x 40000 / 255.
      {"16 bit", [&] { return Runs(1, {{90, 0.0f}, {6, 10039.2157f}, {4, 40000.0f}}, 10, 10); }, "10039.22", "156.86",
       "40000", false},
      // 1 of 510 pixels at 2 is below 1/255 of the total and is cleared: the
      // background is bin 5, one above gives 6.
      // 96 % zero: the mid-level comes from the pixels above 0 (A = 0 would
      // divide 0 by 0 under the weak edge blur).
      {"mostly zero", [&] { return Runs(0, {{96, 0.0f}, {4, 200.0f}}, 10, 10); }, "200", "0.78", "200", false},
      {"background", [&] { return Runs(0, {{1, 2.0f}, {10, 5.0f}, {499, 255.0f}}, 51, 10); }, "255", "6", "255", false},
      {"colour",
       [&] {
         return ColourWindow(10, 10, [](int x, int) {
           const std::uint8_t v = x < 9 ? 30 : 200;  // intensity 30 for 90 %, 200 for 10 %
           return TRGBPixel{v, v, v};
         });
       },
       "200", "31", "255", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TChildForm* source = c.Make();
    Errors.clear();
    WithDialog("ScaleDDP", [&](QDialog* dialog) {
      ASSERT_EQ(dialog, frmDDP);
      EXPECT_EQ(frmDDP->fedA->text() + " " + frmDDP->fedB->text() + " " + frmDDP->fedK->text(),
                QString::fromLatin1(c.A) + " " + c.B + " " + c.K);
      EXPECT_EQ(std::count(Errors.begin(), Errors.end(), int(errDDP)) > 0, c.PreviewFails);
      const bool colour = source->DataImage->IsColour;
      for (QWidget* w : std::initializer_list<QWidget*>{frmDDP->cmbRed, frmDDP->cmbGreen, frmDDP->cmbBlue,
                                                        frmDDP->lblRed, frmDDP->lblGreen, frmDDP->lblBlue})
        EXPECT_EQ(w->isEnabled(), colour) << w->objectName().toStdString();
      // A return of the focus proposes again over what was typed, except the
      // one from the error box of a failing preview.
      const int runs = frmDDP->PreviewCount();
      if (!c.PreviewFails) {
        TypeInto(frmDDP->fedA, "77");
        frmDDP->cmbEdgeEnhancement->setFocus();
        Settle(dialog);
      }
      const auto reports = std::count(Errors.begin(), Errors.end(), int(errDDP));
      Activate(dialog);
      EXPECT_EQ(frmDDP->fedA->text(), QString::fromLatin1(c.A));
      EXPECT_EQ(std::count(Errors.begin(), Errors.end(), int(errDDP)), reports);
      EXPECT_TRUE(!c.PreviewFails || frmDDP->PreviewCount() == runs);
    });
    Form->MDIArea()->setActiveSubWindow(source);
  }
}

// A frame that is 97 % zero: numpy's proposal, and OK makes the result window
// without an error. A black frame has nothing to propose from.
TEST_F(DDPProposals, MostlyEmptyFramesAgainstNumpy) {
  ASSERT_EQ(std::system("/usr/bin/python3 -c 'import numpy' 2>/dev/null"), 0)
      << "python3-numpy is missing: the cross-check cannot run";
  const int W = 40, H = 30;
  std::vector<float> v(std::size_t(W * H), 0.0f);
  std::mt19937 rng(4);
  for (int k = 0; k < 36; ++k) v[rng() % v.size()] = float(100 + rng() % 40000);
  TChildForm* source = GreyWindow(W, H, 1, [&](int x, int y) { return v[std::size_t(y * W + x)]; });
  QTemporaryDir dir;
  const QString in = dir.filePath("in.f32");
  QFile f(in);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(reinterpret_cast<const char*>(source->DataImage->Pixels), qint64(v.size() * 4));
  f.close();
  QProcess python;
  python.start("/usr/bin/python3",
               {CORVELLE_SOURCE_DIR "/tests/oracles/ddp.py", in, QString::number(W), QString::number(H)});
  ASSERT_TRUE(python.waitForFinished(60000) && python.exitCode() == 0) << python.readAllStandardError().toStdString();
  const QStringList abk = QString::fromUtf8(python.readAllStandardOutput()).simplified().split(' ');
  ASSERT_EQ(abk.size(), 3);

  Errors.clear();
  const int windows = WindowCount();
  WithDialog("ScaleDDP", [&](QDialog* dialog) {
    ASSERT_EQ(dialog, frmDDP);
    EXPECT_GT(frmDDP->fedA->Value(), 0);
    EXPECT_NEAR(frmDDP->fedA->Value(), abk[0].toDouble(), 0.006);
    EXPECT_NEAR(frmDDP->fedB->Value(), abk[1].toDouble(), 0.006);
    EXPECT_NEAR(frmDDP->fedK->Value(), abk[2].toDouble(), 1e-3);
    ClickOK(dialog);
  });
  EXPECT_EQ(std::count_if(Errors.begin(), Errors.end(), [](int c) { return c > 0; }), 0);
  ASSERT_EQ(WindowCount(), windows + 1);
  EXPECT_EQ(Form->ActiveMDIChild()->Caption(), QStringLiteral("DDP Scale"));

  // Black frames, grey and colour: a warning, no dialog, no window, no error box.
  for (TChildForm* black : {GreyWindow(20, 10, 3, [](int, int) { return 0.0f; }),
                            ColourWindow(20, 10, [](int x, int) { return TRGBPixel{std::uint8_t(x == 3), 0, 0}; })}) {
    Boxes.clear();
    Errors.clear();
    const int before = WindowCount();
    bool opened = false;
    WithDialog("ScaleDDP", [&](QDialog* dialog) { opened = dialog != nullptr; });
    EXPECT_FALSE(opened);
    EXPECT_EQ(WindowCount(), before);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, "Corvelle Image cannot propose DDP parameters for this image because all its pixels "
                             "are black.");
    EXPECT_EQ(std::count_if(Errors.begin(), Errors.end(), [](int c) { return c > 0; }), 0);
    Form->MDIArea()->setActiveSubWindow(black);
  }
}
