#include <QComboBox>
#include <QLabel>

#include "DialogTestUtil.h"
#include "app/FloatEdit.h"
#include "dialogs/DDPForm.h"
#include "engine/ColProcessing.h"
#include "engine/Processing.h"

using DDPDialog = DialogTest;


class DDPProposals : public DDPDialog {
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
    bool PreviewFails;  // then the activation after its error box proposes nothing
  };
  const Case cases[] = {
      // Nothing passes the 95 % rule (-1, clamped to 0); every bin is cleared, so j = 254.
      {"all zero", [&] { return GreyWindow(20, 10, 0, [](int, int) { return 0.0f; }); }, "0", "255", "0", true},
      // Maximum 40000: 96 of 100 pixels lie at or below bin 64, A = 64 x 40000 / 255;
      // the background is bin 0, B = 1 x 40000 / 255.
      {"16 bit", [&] { return Runs(1, {{90, 0.0f}, {6, 10039.2157f}, {4, 40000.0f}}, 10, 10); }, "10039.22", "156.86",
       "40000", false},
      // 1 of 510 pixels at 2 is below 1/255 of the total and is cleared: the
      // background is bin 5, one above gives 6.
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
    WithDialog("ScaleDDP", [&](QDialog* dialog) {
      ASSERT_EQ(dialog, frmDDP);
      EXPECT_EQ(frmDDP->fedA->text(), QString::fromLatin1(c.A));
      EXPECT_EQ(frmDDP->fedB->text(), QString::fromLatin1(c.B));
      EXPECT_EQ(frmDDP->fedK->text(), QString::fromLatin1(c.K));
      const bool colour = source->DataImage->IsColour;
      for (QWidget* w : std::initializer_list<QWidget*>{frmDDP->cmbRed, frmDDP->cmbGreen, frmDDP->cmbBlue,
                                                        frmDDP->lblRed, frmDDP->lblGreen, frmDDP->lblBlue})
        EXPECT_EQ(w->isEnabled(), colour) << w->objectName().toStdString();
      // A return of the focus proposes again over what was typed.
      TypeInto(frmDDP->fedA, "77");
      frmDDP->cmbEdgeEnhancement->setFocus();
      EXPECT_EQ(frmDDP->fedA->text(), QStringLiteral("77"));
      Activate(dialog);
      EXPECT_EQ(frmDDP->fedA->text(), QString::fromLatin1(c.PreviewFails ? "77" : c.A));
    });
    Form->MDIArea()->setActiveSubWindow(source);
  }
}

TEST_F(DDPDialog, PreviewAndResultUseTheBoxesAndCombos) {
  for (bool colour : {false, true}) {
    SCOPED_TRACE(colour);
    TChildForm* source =
        colour ? ColourWindow(40, 30, [](int x, int y) { return TRGBPixel{std::uint8_t(x * 6), std::uint8_t(y * 8), std::uint8_t(x * y)}; })
               : GreyWindow(40, 30, 1, [](int x, int y) { return float(20 + x * 50 + y * 30); });
    auto before = CopyOf(*source->DataImage);
    const int windows = WindowCount();
    Errors.clear();
    WithDialog("ScaleDDP", [&](QDialog* dialog) {
      ASSERT_NE(dialog, nullptr);
      TypeInto(frmDDP->fedA, "120");
      TypeInto(frmDDP->fedB, "15");
      TypeInto(frmDDP->fedK, "250");
      frmDDP->cmbEdgeEnhancement->setFocus();
      QTest::keyClick(frmDDP->cmbEdgeEnhancement, Qt::Key_Down);  // Weak -> Medium
      if (colour) {
        frmDDP->cmbGreen->setFocus();
        QTest::keyClick(frmDDP->cmbGreen, Qt::Key_Down);  // Green -> Blue
      }
      Settle(dialog);
      auto thumb = ThumbnailOf(*source->DataImage);
      auto expected = CopyOf(*thumb);
      if (colour)
        ColDDP(2, 0, 2, 120.0f, 15.0f, 250.0f, 2, *expected, *thumb);
      else
        DDP(2, *expected, *thumb, 120.0f, 15.0f, 250.0f);
      EXPECT_TRUE(SamePixels(*frmDDP->fmePreview->ResultImage, *expected));
      ClickOK(dialog);
    });
    ASSERT_EQ(WindowCount(), windows + 1);
    TChildForm* result = Form->ActiveMDIChild();
    EXPECT_EQ(result->Caption(), QStringLiteral("DDP Scale"));
    auto expected = CopyOf(*source->DataImage);
    if (colour)
      ColDDP(2, 0, 2, 120.0f, 15.0f, 250.0f, 2, *expected, *source->DataImage);
    else
      DDP(2, *expected, *source->DataImage, 120.0f, 15.0f, 250.0f);
    EXPECT_TRUE(SamePixels(*result->DataImage, *expected));
    for (int i = 0; i < 256; ++i) ASSERT_EQ(result->DataImage->LUT[i], i);
    EXPECT_TRUE(SamePixels(*source->DataImage, *before));
    for (int e : Errors) EXPECT_EQ(e, 0);
    frmDDP->cmbEdgeEnhancement->setCurrentIndex(1);
    frmDDP->cmbGreen->setCurrentIndex(1);
    Form->MDIArea()->setActiveSubWindow(source);
  }
}

TEST_F(DDPDialog, AFailingProposalPreviewDoesNotComeBackWithTheFocus) {
  // 96 % zero: A is proposed as 0, and the weak edge blur then divides 0 by 0.
  GreyWindow(10, 10, 0, [](int x, int y) { return y * 10 + x < 96 ? 0.0f : 200.0f; });
  WithDialog("ScaleDDP", [&](QDialog* dialog) {
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(frmDDP->fedA->text(), QStringLiteral("0"));
    const auto reports = std::count(Errors.begin(), Errors.end(), int(errDDP));
    EXPECT_GE(reports, 1);
    const int runs = frmDDP->PreviewCount();
    TypeInto(frmDDP->fedK, "5");  // would be overwritten by a new proposal
    Settle(dialog);
    const auto afterTyping = std::count(Errors.begin(), Errors.end(), int(errDDP));
    Activate(dialog);  // the focus returning from the error box
    EXPECT_EQ(frmDDP->fedK->text(), QStringLiteral("5"));
    EXPECT_EQ(std::count(Errors.begin(), Errors.end(), int(errDDP)), afterTyping);
    EXPECT_GE(frmDDP->PreviewCount(), runs);
  });
}
