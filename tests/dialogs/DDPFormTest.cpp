#include <QComboBox>
#include <QLabel>

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
      // Nothing passes the 95 % rule (-1, clamped to 0); every bin is cleared, so j = 254.
      {"all zero", [&] { return GreyWindow(20, 10, 0, [](int, int) { return 0.0f; }); }, "0", "255", "0", true},
      // Maximum 40000: 96 of 100 pixels lie at or below bin 64, A = 64 x 40000 / 255;
      // the background is bin 0, B = 1 x 40000 / 255.
      {"16 bit", [&] { return Runs(1, {{90, 0.0f}, {6, 10039.2157f}, {4, 40000.0f}}, 10, 10); }, "10039.22", "156.86",
       "40000", false},
      // 1 of 510 pixels at 2 is below 1/255 of the total and is cleared: the
      // background is bin 5, one above gives 6.
      // 96 % zero: A is 0, and the weak edge blur then divides 0 by 0.
      {"mostly zero", [&] { return Runs(0, {{96, 0.0f}, {4, 200.0f}}, 10, 10); }, "0", "0.78", "200", true},
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
