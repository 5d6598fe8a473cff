// Check boxes and radio buttons that other controls follow react to a change
// of state however it comes: a click, the keyboard, an assistive tool's
// toggle or setChecked. Each case changes its buttons by setChecked alone.
#include <QCheckBox>
#include <QLabel>
#include <QRadioButton>

#include "DialogTestUtil.h"
#include "analysis/LinePlotSetupForm.h"
#include "analysis/view3d/SurfacePropertiesForm.h"
#include "app/FloatEdit.h"
#include "app/IntEdit.h"
#include "app/StartUp.h"
#include "app/ZoomForm.h"
#include "dialogs/DeconvolutionForms.h"
#include "dialogs/FFTFilterForm.h"
#include "dialogs/PaletteBuilder.h"
#include "dialogs/PixelMathForm.h"
#include "dialogs/PseudoColourForm.h"
#include "dialogs/UnsharpMaskForm.h"
#include "engine/ColProcessing.h"
#include "engine/Processing.h"

namespace {
class ToggledControls : public AllFormsTest {
 protected:
  static void Check(QAbstractButton* Button) {
    ASSERT_NE(Button, nullptr);
    Button->setChecked(true);
  }
};

// Pixel values whose unsharp masks differ for every blurring strength.
float Speckle(int x, int y) { return float((x * 37 + y * 91) % 113 + ((x / 5 + y / 3) % 2) * 400); }

QColor StripColour(int X) { return frmPseudoColour->imgCurrentPal->pixmap().toImage().pixelColor(X, 8); }
}  // namespace

TEST_F(ToggledControls, SetCheckedUpdatesWhatFollowsTheButton) {
  GreyWindow(64, 48, 1, Speckle);
  struct TCase {
    const char* Action;
    // Checks item Item of the dialog's choice, or its check box when Item is 1
    // and clears it when 0, by setChecked; then tests what follows it.
    std::function<void(int Item)> Set;
    std::function<void(int Item)> Follows;
    std::vector<int> Items;
  };
  auto enabled = [](std::initializer_list<QWidget*> Widgets, bool On) {
    for (QWidget* w : Widgets) EXPECT_EQ(w->isEnabled(), On) << w->objectName().toStdString();
  };
  using TDeconvolution = std::function<TfrmDeconvolution*()>;
  auto psf = [&](const char* Action, TDeconvolution Dialog) {
    return TCase{Action,
                 [Dialog](int Item) { Check(Dialog()->grpPSF->button(Item)); },
                 [Dialog, enabled](int Item) {
                   TfrmDeconvolution* d = Dialog();
                   enabled({d->fedCurveRad, d->lblCurveRad}, Item != 2);
                   enabled({d->iedExtractionRad, d->lblExtractionRad}, Item == 2);
                 },
                 {2, 1, 2, 0}};
  };
  std::vector<TCase> cases = {
      {"ViewZoom", [](int Item) { Check(frmZoom->grpZoom->button(Item)); },
       [&](int Item) { enabled({frmZoom->iedZoom}, Item == 5); }, {5, 2, 5, 0}},
      {"ProcessPixelMath", [](int Item) { Check(frmPixelMath->OperatorButtons->button(Item)); },
       [&](int Item) { enabled({frmPixelMath->fedValue, frmPixelMath->lblValue}, Item < 4); }, {4, 0, 5, 3}},
      {"FilterFFT", [](int Item) { Check(frmFFTFilter->FilterTypeButtons->button(Item)); },
       [&](int Item) { enabled({frmFFTFilter->fedHFE, frmFFTFilter->lblHFE}, Item % 2 == 1); }, {1, 2, 3, 0}},
      // The preview follows the blurring strength: 3, 5 or 7 pixels.
      {"FilterUnsharpMask", [](int Item) { Check(frmUnsharpMask->BlurButtons->button(Item)); },
       [](int Item) {
         Settle(frmUnsharpMask);
         ASSERT_TRUE(frmUnsharpMask->fmePreview->HasImages());
         TDataImage& thumb = *frmUnsharpMask->fmePreview->SourceImage;
         auto expected = CopyOf(thumb);
         UnsharpMask(3 + 2 * Item, *expected, thumb, 1.0f);
         EXPECT_TRUE(SamePixels(*frmUnsharpMask->fmePreview->ResultImage, *expected));
       },
       {2, 1, 0}},
      {"StatisticsLinePlot", [](int Item) { Check(Item ? frmLinePlotSetup->rbColumn : frmLinePlotSetup->rbRow); },
       [](int Item) {
         EXPECT_EQ(QString(frmLinePlotSetup->lblPosition->text()).remove(QLatin1Char('&')),
                   Item ? QStringLiteral("Column") : QStringLiteral("Row"));
         EXPECT_EQ(frmLinePlotSetup->iedPosition->MaxValue(), Item ? 63 : 47);
       },
       {1, 0}},
      {"Statistics3DVisu", [](int Item) { frmSurfaceProperties->chkSpotLight->setChecked(Item == 1); },
       [&](int Item) {
         TfrmSurfaceProperties* d = frmSurfaceProperties;
         enabled({d->fedX, d->fedY, d->fedZ, d->lblX, d->lblY, d->lblZ}, Item == 1);
       },
       {1, 0}},
  };
  cases.push_back(psf("RestorationLucyRichardson", [] { return frmLucyRichardson; }));
  cases.push_back(psf("RestorationMaxEntropy", [] { return frmMaximumEntropy; }));
  cases.push_back(psf("RestorationVanCittert", [] { return frmVanCittert; }));
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Action);
    bool ran = false;
    WithDialog(c.Action, [&](QDialog* dialog) {
      ASSERT_NE(dialog, nullptr);
      ran = true;
      for (int item : c.Items) {
        SCOPED_TRACE(item);
        c.Set(item);
        c.Follows(item);
      }
    });
    EXPECT_TRUE(ran);
  }
}

TEST_F(ToggledControls, ReverseMappingSetAfterThePointsReversesThePalette) {
  GreyWindow(64, 48, 1, Speckle);
  WithDialog("ScalePseudoColour", [&](QDialog* dialog) {
    ASSERT_NE(dialog, nullptr);
    frmPseudoColour->chkReverse->setChecked(false);
    // Red, then blue: two points build a palette from red to blue.
    for (auto [r, b] : {std::pair{255, 0}, std::pair{0, 255}}) {
      frmPseudoColour->iedRed->SetValue(r);
      frmPseudoColour->iedGreen->SetValue(0);
      frmPseudoColour->iedBlue->SetValue(b);
      frmPseudoColour->btnAdd->click();
    }
    const std::vector<TRGBPixel> points = {TRGBPixel{0, 0, 255}, TRGBPixel{255, 0, 0}};
    for (bool reverse : {true, false, true}) {
      SCOPED_TRACE(reverse);
      frmPseudoColour->chkReverse->setChecked(reverse);
      TPaletteEntries expected{};
      ASSERT_TRUE(BuildPaletteEntries(points, reverse, expected));
      // The strip and the preview's palette are the built one; reversed, it
      // runs from blue to red.
      EXPECT_EQ(StripColour(0).blue() > StripColour(0).red(), reverse);
      for (int x : {0, 77, 200})
        EXPECT_EQ(StripColour(x), QColor(expected[x].Red, expected[x].Green, expected[x].Blue)) << x;
      ASSERT_TRUE(frmPseudoColour->fmePreview->HasImages());
      const TPaletteEntry& p = frmPseudoColour->fmePreview->ResultImage->Palette[77];
      EXPECT_EQ(std::tuple(p.Red, p.Green, p.Blue), std::tuple(expected[77].Red, expected[77].Green, expected[77].Blue));
    }
  });
}
