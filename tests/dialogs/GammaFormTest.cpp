#include <QLabel>

#include "DialogTestUtil.h"
#include "dialogs/GammaForm.h"
#include "engine/ColProcessing.h"
#include "engine/Geometry.h"
#include "engine/ColGeometry.h"
#include "engine/Processing.h"

using GammaDialog = DialogTest;

namespace {
float Ramp(int x, int y) { return float(x * 37 + y * 11); }
TRGBPixel Colours(int x, int y) { return {std::uint8_t(x * 3), std::uint8_t(y * 5), std::uint8_t((x + y) & 255)}; }
}  // namespace

TEST_F(GammaDialog, PreviewAndResultFollowTheSliderAndOutputRange) {
  struct Case {
    bool Colour;
    int Position;
    int Range;
    const char* Label;
  };
  const Case cases[] = {
      {false, 5, 3, "0.5"}, {false, 22, 0, "2.2"}, {false, 100, 1, "10.0"}, {true, 5, 0, "0.5"}, {true, 17, 3, "1.7"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "colour " << c.Colour << " position " << c.Position);
    TChildForm* source = c.Colour ? ColourWindow(60, 40, Colours) : GreyWindow(60, 40, 1, Ramp);
    auto before = CopyOf(*source->DataImage);
    const int windows = WindowCount();
    Errors.clear();
    WithDialog("ScaleGamma", [&](QDialog* dialog) {
      ASSERT_EQ(dialog, frmGamma);
      EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Gamma Scale"));
      EXPECT_EQ(frmGamma->grpOutputRange->isEnabled(), !c.Colour);
      SlideTo(frmGamma->trkGamma, c.Position);
      if (!c.Colour) ChooseOutputRange(dialog, c.Range);
      Settle(dialog);
      EXPECT_EQ(frmGamma->lblGamma->text(), QString::fromLatin1(c.Label));

      // The thumbnails: the image resampled to 192 x 128, and the routine on it.
      TfmePreview* preview = frmGamma->fmePreview;
      ASSERT_TRUE(preview->HasImages());
      TDataImage thumb;
      if (c.Colour)
        ColResample(192, 128, thumb, *source->DataImage);
      else
        Resample(192, 128, thumb, *source->DataImage);
      EXPECT_TRUE(SamePixels(*preview->SourceImage, thumb));
      auto expected = CopyOf(thumb);
      const float g = float(c.Position) / 10.0f;
      if (c.Colour)
        ColGamma(*expected, thumb, g);
      else
        Gamma(*expected, thumb, g);
      EXPECT_TRUE(SamePixels(*preview->ResultImage, *expected));
      ClickOK(dialog);
    });
    EXPECT_FALSE(frmGamma->isVisible());
    EXPECT_EQ(frmGamma->result(), int(mrOk));
    EXPECT_EQ(WindowCount(), windows + 1);
    TChildForm* result = Form->ActiveMDIChild();
    ASSERT_NE(result, source);
    EXPECT_EQ(result->Caption(), QStringLiteral("Gamma Scale"));
    auto expected = CopyOf(*source->DataImage);
    const float g = float(c.Position) / 10.0f;
    if (c.Colour) {
      ColGamma(*expected, *source->DataImage, g);
    } else {
      Gamma(*expected, *source->DataImage, g);
      RescaleToOutputRange(std::uint8_t(c.Range), *expected);
    }
    EXPECT_TRUE(SamePixels(*result->DataImage, *expected));
    if (!c.Colour && c.Range == 0) {
      float top = 0;
      for (int i = 0; i < 60 * 40; ++i) top = std::max(top, result->DataImage->Pixels[i]);
      EXPECT_EQ(top, 255.0f);
    }
    // The identity display table, and the source untouched.
    for (int i = 0; i < 256; ++i) ASSERT_EQ(result->DataImage->LUT[i], i);
    EXPECT_TRUE(SamePixels(*source->DataImage, *before));
    EXPECT_FALSE(frmGamma->fmePreview->HasImages());
    for (int e : Errors) EXPECT_EQ(e, 0);
    Form->MDIArea()->setActiveSubWindow(source);
  }
}

TEST_F(GammaDialog, CancelLeavesNoWindowAndTheSliderKeepsItsPlace) {
  GreyWindow(20, 20, 0, Ramp);
  const int windows = WindowCount();
  WithDialog("ScaleGamma", [&](QDialog* dialog) {
    ASSERT_NE(dialog, nullptr);
    SlideTo(frmGamma->trkGamma, 30);
    ClickCancel(dialog);
  });
  EXPECT_EQ(frmGamma->result(), int(mrCancel));
  EXPECT_EQ(WindowCount(), windows);
  WithDialog("ScaleGamma", [&](QDialog* dialog) {
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(frmGamma->trkGamma->value(), 30);
    EXPECT_EQ(frmGamma->lblGamma->text(), QStringLiteral("3.0"));
    QTest::keyClick(dialog, Qt::Key_Escape);
  });
  EXPECT_EQ(frmGamma->result(), int(mrCancel));
  EXPECT_EQ(WindowCount(), windows);
}

TEST_F(GammaDialog, AFailingPreviewIsNotRepeatedByTheActivationAfterItsBox) {
  // An all-zero image has maximum 0: the routine reports its error.
  GreyWindow(16, 16, 0, [](int, int) { return 0.0f; });
  WithDialog("ScaleGamma", [&](QDialog* dialog) {
    ASSERT_NE(dialog, nullptr);
    if (frmGamma->PreviewCount() == 0) Activate(dialog);  // the platform gave no activation
    const auto reports = std::count(Errors.begin(), Errors.end(), int(errGamma));
    EXPECT_GE(reports, 1);
    const int runs = frmGamma->PreviewCount();
    Activate(dialog);  // the focus returning from the error box
    EXPECT_EQ(frmGamma->PreviewCount(), runs);
    EXPECT_EQ(std::count(Errors.begin(), Errors.end(), int(errGamma)), reports);
    // A real change still previews.
    SlideTo(frmGamma->trkGamma, 20);
    Settle(dialog);
    EXPECT_GT(frmGamma->PreviewCount(), runs);
  });
}
