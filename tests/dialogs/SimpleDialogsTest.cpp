// The parameter dialogs with a preview, driven through their menu commands.
#include <QButtonGroup>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include "DialogTestUtil.h"
#include "app/FloatEdit.h"
#include "app/IntEdit.h"
#include "dialogs/BrightnessContrastForm.h"
#include "app/QVRSlider.h"
#include "dialogs/ColourBalanceForm.h"
#include "dialogs/DDPForm.h"
#include "dialogs/LinearForm.h"
#include "dialogs/FFTFilterForm.h"
#include "dialogs/GammaForm.h"
#include "dialogs/HSIForm.h"
#include "dialogs/HomomorphicForm.h"
#include "dialogs/LogForm.h"
#include "dialogs/UnsharpMaskForm.h"
#include "engine/ColProcessing.h"
#include "engine/Processing.h"
#include "platform/FastBMPImage.h"
#include "app/Utilities.h"

using PreviewDialogs = DialogTest;

namespace {
float Ramp(int x, int y) { return float(1 + x * 37 + y * 11 + (x * y) % 7); }
TRGBPixel Colours(int x, int y) {
  return {std::uint8_t(x * 5), std::uint8_t(y * 6), std::uint8_t((x * 7 + y * 3) & 255)};
}
using TRoutine = std::function<void(TDataImage& Dst, TDataImage& Src)>;

struct PreviewCase {
  const char* Name;
  const char* Action;
  bool Colour;
  std::function<void()> Set;  // moves the controls as a user
  TRoutine Expected;          // the engine routine with the values set
  QString Caption;            // of the result window
  int Range;                  // output range chosen, -1 when the dialog has none
  std::function<QString()> Label;
  QString LabelText;
};
}  // namespace

TEST_F(PreviewDialogs, PreviewAndResultAreTheEngineRoutineWithTheChosenValues) {
  const PreviewCase cases[] = {
      {"brightness grey 8 bit", "ScaleBriCon", false,
       [] {
         SlideTo(frmBrightnessContrast->trkBrightness, 20);
         SlideTo(frmBrightnessContrast->trkContrast, -35);
       },
       [](TDataImage& D, TDataImage& S) { BrightnessContrast(20, -35, D, S); }, "Brightness and Contrast", 0,
       [] { return frmBrightnessContrast->lblBrightness->text() + frmBrightnessContrast->lblContrast->text(); },
       "20%-35%"},
      {"brightness grey unlimited", "ScaleBriCon", false,
       [] {
         SlideTo(frmBrightnessContrast->trkBrightness, -10);
         SlideTo(frmBrightnessContrast->trkContrast, 40);
       },
       [](TDataImage& D, TDataImage& S) { BrightnessContrast(-10, 40, D, S); }, "Brightness and Contrast", 3,
       [] { return frmBrightnessContrast->lblBrightness->text(); }, "-10%"},
      {"brightness colour", "ScaleBriCon", true,
       [] {
         SlideTo(frmBrightnessContrast->trkBrightness, 30);
         SlideTo(frmBrightnessContrast->trkContrast, 10);
       },
       [](TDataImage& D, TDataImage& S) { ColBrightnessContrast(30, 10, D, S); }, "Brightness and Contrast", -1,
       [] { return frmBrightnessContrast->lblContrast->text(); }, "10%"},
      // The grey routine takes the position, the colour one a hundredth of it.
      {"log grey", "ScaleLog", false, [] { SlideTo(frmLog->trkLog, 50); },
       [](TDataImage& D, TDataImage& S) { LogScale(D, S, 50.0f); }, "Log Scale", 1,
       [] { return frmLog->lblLog->text(); }, "50"},
      {"log colour", "ScaleLog", true, [] { SlideTo(frmLog->trkLog, 50); },
       [](TDataImage& D, TDataImage& S) { ColLogScale(D, S, 0.5f); }, "Log Scale", -1,
       [] { return frmLog->lblLog->text(); }, "50"},
      {"unsharp grey maximum", "FilterUnsharpMask", false,
       [] {
         SlideTo(frmUnsharpMask->trkPower, 25);
         ClickRadio(frmUnsharpMask->BlurButtons->button(2));
       },
       [](TDataImage& D, TDataImage& S) { UnsharpMask(7, D, S, 2.5f); }, "Unsharp Mask", -1,
       [] { return frmUnsharpMask->lblStrength->text(); }, "2.5"},
      {"unsharp colour medium", "FilterUnsharpMask", true,
       [] {
         SlideTo(frmUnsharpMask->trkPower, 13);
         ClickRadio(frmUnsharpMask->BlurButtons->button(1));
       },
       [](TDataImage& D, TDataImage& S) { ColUnsharpMask(5, D, S, 1.3f); }, "Unsharp Mask", -1,
       [] { return frmUnsharpMask->lblStrength->text(); }, "1.3"},
      {"unsharp grey minimum", "FilterUnsharpMask", false,
       [] {
         SlideTo(frmUnsharpMask->trkPower, 20);
         ClickRadio(frmUnsharpMask->BlurButtons->button(0));
       },
       [](TDataImage& D, TDataImage& S) { UnsharpMask(3, D, S, 2.0f); }, "Unsharp Mask", -1,
       [] { return frmUnsharpMask->lblStrength->text(); }, "2.0"},
      {"colour balance", "ScaleColourBalance", true,
       [] {
         SlideTo(frmColourBalance->trkRed, 15);
         SlideTo(frmColourBalance->trkGreen, -25);
         SlideTo(frmColourBalance->trkBlue, 5);
       },
       [](TDataImage& D, TDataImage& S) { ColColourBalance(15, -25, 5, D, S); }, "Colour Balance", -1,
       [] { return frmColourBalance->lblRed->text() + frmColourBalance->lblGreen->text() + frmColourBalance->lblBlue->text(); },
       "15%-25%5%"},
      {"hsi", "ScaleHSI", true,
       [] {
         SlideTo(frmHSI->trkHue, -40);
         SlideTo(frmHSI->trkSat, 30);
         SlideTo(frmHSI->trkInt, -20);
       },
       [](TDataImage& D, TDataImage& S) { ColHSIAdjust(D, S, -40.0f, 0.3f, -0.2f); }, "HSI Adjustment", -1,
       [] { return frmHSI->lblHue->text() + frmHSI->lblSat->text(); }, QString::fromUtf8("-40\u00B030%")},
      {"homomorphic", "FilterHomomorphic", false,
       [] {
         SlideTo(frmHomomorphic->trkYL, 35);
         SlideTo(frmHomomorphic->trkYH, 42);
       },
       [](TDataImage& D, TDataImage& S) { HomomorphicFilter(D, S, 0.35f, 4.2f, 2.0f); }, "Homomorphic Filter", -1,
       [] { return frmHomomorphic->lblYL->text() + " " + frmHomomorphic->lblYH->text(); }, "0.35 4.20"},
      {"fft butterworth highpass", "FilterFFT", false,
       [] {
         ClickRadio(frmFFTFilter->FilterTypeButtons->button(3));
         TypeInto(frmFFTFilter->fedStrength, "9.5");
         TypeInto(frmFFTFilter->fedHFE, "0.4");
         TypeInto(frmFFTFilter->iedOrder, "3");
       },
       [](TDataImage& D, TDataImage& S) { FFTFilter(3, D, S, 9.5f, 0.4f, 3.0f); }, "FFT Filter", -1,
       [] { return QString::number(frmFFTFilter->fedHFE->isEnabled()); }, "1"},
      {"fft ideal lowpass", "FilterFFT", false,
       [] {
         ClickRadio(frmFFTFilter->FilterTypeButtons->button(0));
         TypeInto(frmFFTFilter->fedStrength, "12");
       },
       [](TDataImage& D, TDataImage& S) { FFTFilter(0, D, S, 12.0f, 0.4f, 3.0f); }, "FFT Filter", -1,
       [] { return QString::number(frmFFTFilter->fedHFE->isEnabled()) + QString::number(frmFFTFilter->lblHFE->isEnabled()); },
       "00"},
  };
  for (const PreviewCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TChildForm* source = c.Colour ? ColourWindow(48, 40, Colours) : GreyWindow(48, 40, 1, Ramp);
    auto before = CopyOf(*source->DataImage);
    const TLUT table = source->DataImage->LUT;
    const int windows = WindowCount();
    Errors.clear();
    WithDialog(c.Action, [&](QDialog* dialog) {
      auto* d = qobject_cast<TProcessingDialog*>(dialog);
      ASSERT_NE(d, nullptr);
      if (d->grpOutputRange) {
        EXPECT_EQ(d->grpOutputRange->isEnabled(), !c.Colour);
      }
      c.Set();
      if (c.Range >= 0) ChooseOutputRange(dialog, c.Range);
      Settle(dialog);
      EXPECT_EQ(c.Label(), c.LabelText);
      auto thumb = ThumbnailOf(*source->DataImage);
      ASSERT_TRUE(d->fmePreview->HasImages());
      EXPECT_TRUE(SamePixels(*d->fmePreview->SourceImage, *thumb));
      auto expected = CopyOf(*thumb);
      c.Expected(*expected, *thumb);
      EXPECT_TRUE(SamePixels(*d->fmePreview->ResultImage, *expected));
      // The displayed picture is the rendered result thumbnail.
      TDataImage shown;
      CopyImageData(*d->fmePreview->ResultImage, shown);
      shown.UpdateBitmap();
      EXPECT_EQ(d->fmePreview->PreviewDisplay->Source(),
                FastBMPToQImage(shown.Bitmap).convertToFormat(QImage::Format_RGB888));
      ClickOK(dialog);
    });
    ASSERT_EQ(WindowCount(), windows + 1);
    TChildForm* result = Form->ActiveMDIChild();
    ASSERT_NE(result, source);
    EXPECT_EQ(result->Caption(), c.Caption);
    auto expected = CopyOf(*source->DataImage);
    c.Expected(*expected, *source->DataImage);
    if (c.Range >= 0) RescaleToOutputRange(std::uint8_t(c.Range), *expected);
    EXPECT_TRUE(SamePixels(*result->DataImage, *expected));
    if (c.Range == 0 || c.Range == 1) {
      float top = 0;
      for (int i = 0; i < 48 * 40; ++i) top = std::max(top, result->DataImage->Pixels[i]);
      EXPECT_EQ(top, c.Range == 0 ? 255.0f : 4095.0f);
    }
    for (int i = 0; i < 256; ++i) ASSERT_EQ(result->DataImage->LUT[i], i);
    EXPECT_TRUE(SamePixels(*source->DataImage, *before));
    EXPECT_EQ(source->DataImage->LUT, table);
    for (int e : Errors) EXPECT_EQ(e, 0);
    Form->MDIArea()->setActiveSubWindow(source);
  }
}

TEST_F(PreviewDialogs, RefusalsInExecuteShowTheirTextAndOpenNothing) {
  struct Case {
    const char* Action;
    bool Colour;
    int W, H;
    const char* Text;
  };
  const Case cases[] = {
      {"ScaleColourBalance", false, 8, 8, "The colour balance function can only be applied to colour images."},
      {"ScaleHSI", false, 8, 8, "The HSI function can only be applied to colour images."},
      {"FilterHomomorphic", true, 8, 8, "Homomorphic filtering can only be performed on grey scale images."},
      {"FilterFFT", true, 8, 8, "FFT filtering can only be performed on grey scale images."},
      {"FilterFFT", false, 8193, 2,
       "The image is too large for the Fourier transform: neither side may exceed 8192 pixels."},
      {"FilterHomomorphic", false, 3, 9000,
       "The image is too large for the Fourier transform: neither side may exceed 8192 pixels."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Action);
    if (c.Colour) {
      ColourWindow(c.W, c.H, Colours);
    } else {
      GreyWindow(c.W, c.H, 1, Ramp);
    }
    const int windows = WindowCount();
    Boxes.clear();
    Errors.clear();
    QDialog* shown = nullptr;
    WithDialog(c.Action, [&](QDialog* dialog) { shown = dialog; });
    EXPECT_EQ(shown, nullptr);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Type, TMsgDlgType::mtWarning);
    EXPECT_EQ(Boxes[0].Text, QString::fromLatin1(c.Text));
    EXPECT_EQ(Boxes[0].Buttons, unsigned(mbOK));
    EXPECT_EQ(WindowCount(), windows);
    EXPECT_TRUE(Errors.empty());
  }
}

TEST_F(PreviewDialogs, FFTStrengthHasNoPracticalUpperBoundAndEmphasisFollowsTheType) {
  GreyWindow(40, 30, 3, Ramp);
  WithDialog("FilterFFT", [&](QDialog* dialog) {
    ASSERT_EQ(dialog, frmFFTFilter);
    for (int type : {1, 2, 3, 0}) {
      ClickRadio(frmFFTFilter->FilterTypeButtons->button(type));
      EXPECT_EQ(frmFFTFilter->fedHFE->isEnabled(), type % 2 == 1) << type;
      EXPECT_EQ(frmFFTFilter->lblHFE->isEnabled(), type % 2 == 1) << type;
    }
    TypeInto(frmFFTFilter->fedStrength, "5000000");
    QTest::keyClick(frmFFTFilter->iedOrder, Qt::Key_Tab);
    frmFFTFilter->iedOrder->setFocus();  // leaving the box commits through its rule
    EXPECT_EQ(frmFFTFilter->fedStrength->text(), QStringLiteral("5000000"));
    TypeInto(frmFFTFilter->fedStrength, "0.01");
    frmFFTFilter->iedOrder->setFocus();
    EXPECT_EQ(frmFFTFilter->fedStrength->text(), QStringLiteral("0.1"));
  });
}

TEST_F(PreviewDialogs, EachRunMakesItsOwnWindowAndThePreviewImagesGoWithTheDialog) {
  TChildForm* source = GreyWindow(30, 30, 1, Ramp);
  auto before = CopyOf(*source->DataImage);
  const int windows = WindowCount();
  for (int run = 0; run < 2; ++run) {
    Form->MDIArea()->setActiveSubWindow(source);
    WithDialog("ScaleBriCon", [&](QDialog* dialog) {
      ASSERT_NE(dialog, nullptr);
      EXPECT_TRUE(frmBrightnessContrast->fmePreview->HasImages());
      ClickOK(dialog);
    });
    EXPECT_FALSE(frmBrightnessContrast->fmePreview->HasImages());
  }
  EXPECT_EQ(WindowCount(), windows + 2);
  const QList<QMdiSubWindow*> children = Form->MDIArea()->subWindowList(QMdiArea::CreationOrder);
  ASSERT_EQ(children.size(), 3);
  EXPECT_EQ(children[0], source);
  EXPECT_EQ(children[1]->windowTitle(), QStringLiteral("Brightness and Contrast"));
  EXPECT_EQ(children[2]->windowTitle(), QStringLiteral("Brightness and Contrast"));
  EXPECT_TRUE(SamePixels(*source->DataImage, *before));
}

TEST_F(PreviewDialogs, EveryControlHasANameAndEveryCaptionItsControl) {
  const std::vector<QDialog*> dialogs = {frmBrightnessContrast, frmGamma,       frmLog,       frmUnsharpMask,
                                         frmColourBalance,      frmHSI,         frmHomomorphic, frmFFTFilter,
                                         frmDDP,                frmLinear};
  for (QDialog* d : dialogs) {
    SCOPED_TRACE(d->objectName().toStdString());
    EXPECT_FALSE(d->accessibleName().isEmpty());
    for (QWidget* w : d->findChildren<QWidget*>()) {
      if (qobject_cast<QSlider*>(w) || qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractButton*>(w) ||
          qobject_cast<QComboBox*>(w) || qobject_cast<TQVRSlider*>(w) || qobject_cast<QChartView*>(w)) {
        EXPECT_FALSE(w->accessibleName().isEmpty()) << w->objectName().toStdString();
      }
    }
    for (QLabel* l : d->findChildren<QLabel*>()) {
      if (l->text().contains(QLatin1Char('&'))) {
        EXPECT_NE(l->buddy(), nullptr) << l->text().toStdString();
      }
    }
  }
}
