// Every processing dialog driven through its menu command: controls moved by
// keys and clicks, the preview thumbnail and the result window compared with
// the engine routine called on its own.
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include "DialogTestUtil.h"
#include "app/FloatEdit.h"
#include "app/IntEdit.h"
#include "app/QVRSlider.h"
#include "dialogs/BrightnessContrastForm.h"
#include "dialogs/ColourBalanceForm.h"
#include "dialogs/DDPForm.h"
#include "dialogs/FFTFilterForm.h"
#include "dialogs/GammaForm.h"
#include "dialogs/HSIForm.h"
#include "dialogs/HomomorphicForm.h"
#include "dialogs/LinearForm.h"
#include "dialogs/LogForm.h"
#include "dialogs/NoiseFilterForms.h"
#include "dialogs/PixelMathForm.h"
#include "dialogs/ResampleForm.h"
#include "dialogs/RotateForm.h"
#include "dialogs/UnsharpMaskForm.h"
#include "engine/ColMath.h"
#include "engine/ColProcessing.h"
#include "engine/ImageMath.h"
#include "engine/Processing.h"
#include "platform/FastBMPImage.h"

using ProcessingDialogs = DialogTest;

namespace {
float Ramp(int x, int y) { return float(1 + x * 37 + y * 11 + (x * y) % 7 + ((x * y) % 11 == 0 ? 90 : 0)); }
TRGBPixel Colours(int x, int y) { return {std::uint8_t(x * 5), std::uint8_t(y * 6), std::uint8_t((x * 7 + y * 3) & 255)}; }
using TRoutine = std::function<void(TDataImage& Dst, TDataImage& Src)>;
QString Text(QLabel* L) { return L->text(); }

struct Case {
  const char* Action;
  bool Colour;
  std::function<void()> Set;  // the user's moves
  TRoutine Expected;
  const char* Caption;
  int Range;                      // output range clicked; -1 for none
  std::function<QString()> Seen;  // a value label or box after the moves
  const char* SeenText;
};
}  // namespace

TEST_F(ProcessingDialogs, PreviewAndResultAreTheEngineRoutineWithTheChosenValues) {
  const Case cases[] = {
      {"ScaleBriCon", false, [] { SlideTo(frmBrightnessContrast->trkBrightness, 20); SlideTo(frmBrightnessContrast->trkContrast, -35); },
       [](auto& D, auto& S) { BrightnessContrast(20, -35, D, S); }, "Brightness and Contrast", 0,
       [] { return Text(frmBrightnessContrast->lblBrightness) + Text(frmBrightnessContrast->lblContrast); }, "20%-35%"},
      {"ScaleBriCon", true, [] { SlideTo(frmBrightnessContrast->trkContrast, 10); },
       [](auto& D, auto& S) { ColBrightnessContrast(20, 10, D, S); }, "Brightness and Contrast", -1,
       [] { return Text(frmBrightnessContrast->lblContrast); }, "10%"},
      {"ScaleGamma", false, [] { SlideTo(frmGamma->trkGamma, 5); }, [](auto& D, auto& S) { Gamma(D, S, 0.5f); },
       "Gamma Scale", 3, [] { return Text(frmGamma->lblGamma); }, "0.5"},
      {"ScaleGamma", false, [] { SlideTo(frmGamma->trkGamma, 100); }, [](auto& D, auto& S) { Gamma(D, S, 10.0f); },
       "Gamma Scale", 1, [] { return Text(frmGamma->lblGamma); }, "10.0"},
      {"ScaleGamma", true, [] { SlideTo(frmGamma->trkGamma, 22); }, [](auto& D, auto& S) { ColGamma(D, S, 2.2f); },
       "Gamma Scale", -1, [] { return Text(frmGamma->lblGamma); }, "2.2"},
      // The grey routine takes the position, the colour one a hundredth of it.
      {"ScaleLog", false, [] { SlideTo(frmLog->trkLog, 50); }, [](auto& D, auto& S) { LogScale(D, S, 50.0f); },
       "Log Scale", 3, [] { return Text(frmLog->lblLog); }, "50"},
      {"ScaleLog", true, [] {}, [](auto& D, auto& S) { ColLogScale(D, S, 0.5f); }, "Log Scale", -1, nullptr, ""},
      {"FilterUnsharpMask", false, [] { SlideTo(frmUnsharpMask->trkPower, 25); ClickRadio(frmUnsharpMask->BlurButtons->button(2)); },
       [](auto& D, auto& S) { UnsharpMask(7, D, S, 2.5f); }, "Unsharp Mask", -1, [] { return Text(frmUnsharpMask->lblStrength); }, "2.5"},
      {"FilterUnsharpMask", true, [] { ClickRadio(frmUnsharpMask->BlurButtons->button(1)); },
       [](auto& D, auto& S) { ColUnsharpMask(5, D, S, 2.5f); }, "Unsharp Mask", -1, nullptr, ""},
      {"FilterUnsharpMask", false, [] { ClickRadio(frmUnsharpMask->BlurButtons->button(0)); },
       [](auto& D, auto& S) { UnsharpMask(3, D, S, 2.5f); }, "Unsharp Mask", -1, nullptr, ""},
      {"ScaleColourBalance", true, [] { SlideTo(frmColourBalance->trkRed, 15); SlideTo(frmColourBalance->trkGreen, -25); SlideTo(frmColourBalance->trkBlue, 5); },
       [](auto& D, auto& S) { ColColourBalance(15, -25, 5, D, S); }, "Colour Balance", -1,
       [] { return Text(frmColourBalance->lblRed) + Text(frmColourBalance->lblGreen) + Text(frmColourBalance->lblBlue); }, "15%-25%5%"},
      {"ScaleHSI", true, [] { SlideTo(frmHSI->trkHue, -40); SlideTo(frmHSI->trkSat, 30); SlideTo(frmHSI->trkInt, -20); },
       [](auto& D, auto& S) { ColHSIAdjust(D, S, -40.0f, 0.3f, -0.2f); }, "HSI Adjustment", -1,
       [] { return Text(frmHSI->lblHue) + Text(frmHSI->lblSat) + Text(frmHSI->lblInt); }, "-40\u00B030%-20%"},
      {"FilterHomomorphic", false, [] { SlideTo(frmHomomorphic->trkYL, 35); SlideTo(frmHomomorphic->trkYH, 42); },
       [](auto& D, auto& S) { HomomorphicFilter(D, S, 0.35f, 4.2f, 2.0f); }, "Homomorphic Filter", -1,
       [] { return Text(frmHomomorphic->lblYL) + " " + Text(frmHomomorphic->lblYH); }, "0.35 4.20"},
      {"FilterFFT", false,
       [] { ClickRadio(frmFFTFilter->FilterTypeButtons->button(3)); TypeInto(frmFFTFilter->fedStrength, "9.5");
            TypeInto(frmFFTFilter->fedHFE, "0.4"); TypeInto(frmFFTFilter->iedOrder, "3"); },
       [](auto& D, auto& S) { FFTFilter(3, D, S, 9.5f, 0.4f, 3.0f); D.AutoScale(); }, "FFT Filter", -1, nullptr, ""},
      {"ScaleDDP", false,
       [] { TypeInto(frmDDP->fedA, "120"); TypeInto(frmDDP->fedB, "15"); TypeInto(frmDDP->fedK, "250");
            frmDDP->cmbEdgeEnhancement->setFocus(); QTest::keyClick(frmDDP->cmbEdgeEnhancement, Qt::Key_Down); },
       [](auto& D, auto& S) { DDP(2, D, S, 120.0f, 15.0f, 250.0f); }, "DDP Scale", -1, nullptr, ""},
      {"ScaleDDP", true,
       [] { TypeInto(frmDDP->fedA, "120"); TypeInto(frmDDP->fedB, "15"); TypeInto(frmDDP->fedK, "250");
            frmDDP->cmbGreen->setFocus(); QTest::keyClick(frmDDP->cmbGreen, Qt::Key_Down); },
       [](auto& D, auto& S) { ColDDP(2, 0, 2, 120.0f, 15.0f, 250.0f, 2, D, S); }, "DDP Scale", -1, nullptr, ""},
      // Without a preview, and keeping the source's display table.
      {"ProcessRotate", false, [] { TypeInto(frmRotate->fedAngle, "30"); }, [](auto& D, auto& S) { Rotate(D, S, 30.0f); },
       "Rotate", -1, nullptr, ""},
      {"ProcessRotate", true, [] { TypeInto(frmRotate->fedAngle, "-400"); }, [](auto& D, auto& S) { ColRotate(D, S, -360.0f); },
       "Rotate", -1, nullptr, ""},
      {"ProcessResample", false,
       [] { QTest::keyClick(frmResample->chkAspect, Qt::Key_Space); TypeInto(frmResample->iedWidth, "17"); TypeInto(frmResample->iedHeight, "9"); },
       [](auto& D, auto& S) { Resample(17, 9, D, S); }, "Resample", -1, nullptr, ""},
      // 48 x 40 at width 45 keeps Round(45 x 40 / 48) = 38 (37.5 to even).
      {"ProcessResample", true, [] { QTest::keyClick(frmResample->chkAspect, Qt::Key_Space); TypeInto(frmResample->iedWidth, "45"); },
       [](auto& D, auto& S) { ColResample(45, 38, D, S); }, "Resample", -1, [] { return frmResample->iedHeight->text(); }, "38"},
      {"ProcessPixelMath", false, [] { ClickRadio(frmPixelMath->OperatorButtons->button(3)); TypeInto(frmPixelMath->fedValue, "-2.5"); },
       [](auto& D, auto& S) { PixelMath(3, D, S, -2.5f); }, "Pixel Math", -1, nullptr, ""},
      {"ProcessPixelMath", true, [] { ClickRadio(frmPixelMath->OperatorButtons->button(5)); },
       [](auto& D, auto& S) { ColPixelMath(5, D, S, -2.5f); }, "Pixel Math", -1, nullptr, ""},
      {"FilterNoise", false, [] { TypeInto(frmNoiseFilter->iedDeviation, "2"); TypeInto(frmNoiseFilter->iedWinSize, "5"); },
       [](auto& D, auto& S) { NoiseFilter(5, D, S, 2.0f); }, "Noise Filter", -1, nullptr, ""},
      {"FilterAdaptiveMMSE", false, [] { TypeInto(frmAdaptiveMMSE->fedStdDev, "3.5"); TypeInto(frmAdaptiveMMSE->iedWinSize, "7"); },
       [](auto& D, auto& S) { AdaptiveMMSE(7, D, S, 3.5f); }, "Adaptive MMSE", -1, nullptr, ""},
      {"FilterAdaptiveDWMTM", false, [] { TypeInto(frmAdaptiveDWMTM->fedStdDev, "2"); TypeInto(frmAdaptiveDWMTM->fedThreshold, "1.5"); },
       [](auto& D, auto& S) { AdaptiveDWMTM(D, S, 2.0f, 1.5f); }, "Adaptive DW-MTM", -1, nullptr, ""},
      {"FilterCHMean", false, [] { TypeInto(frmContraHarmonic->iedEndpoint, "-2"); TypeInto(frmContraHarmonic->iedWinSize, "3"); },
       [](auto& D, auto& S) { ContraHarmonic(-2, 3, D, S); }, "Contra-Harmonic Mean", -1, nullptr, ""},
      // A window typed above the range is brought into it by the box's rule.
      {"FilterATMean", false, [] { TypeInto(frmAlphaTrimmed->iedEndpoint, "4"); TypeInto(frmAlphaTrimmed->iedWinSize, "13"); },
       [](auto& D, auto& S) { AlphaTrimmed(4, 11, D, S); }, "Alpha-Trimmed Mean", -1, nullptr, ""},
  };
  TLUT inverted;
  for (int i = 0; i < 256; ++i) inverted[i] = std::uint8_t(255 - i);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Action << (c.Colour ? " colour" : " grey"));
    TChildForm* source = c.Colour ? ColourWindow(48, 40, Colours) : GreyWindow(48, 40, 1, Ramp);
    source->DataImage->SetLUT(inverted);
    auto before = CopyOf(*source->DataImage);
    const int windows = WindowCount();
    bool previews = false;
    Errors.clear();
    WithDialog(c.Action, [&](QDialog* dialog) {
      auto* d = qobject_cast<TProcessingDialog*>(dialog);
      ASSERT_NE(d, nullptr);
      if (d->grpOutputRange) {
        EXPECT_EQ(d->grpOutputRange->isEnabled(), !c.Colour);
      }
      c.Set();
      if (c.Range >= 0) ClickRadio(d->OutputRangeButtons->button(c.Range));
      Settle(dialog);
      if (c.Seen) {
        EXPECT_EQ(c.Seen(), QString::fromUtf8(c.SeenText));
      }
      previews = d->fmePreview != nullptr;
      if (previews) {
        auto thumb = ThumbnailOf(*source->DataImage);
        ASSERT_TRUE(d->fmePreview->HasImages());
        EXPECT_TRUE(SamePixels(*d->fmePreview->SourceImage, *thumb));
        // Run as on the result window: from the source window's levels.
        thumb->BlackPoint = source->DataImage->BlackPoint;
        thumb->WhitePoint = source->DataImage->WhitePoint;
        auto expected = CopyOf(*thumb);
        c.Expected(*expected, *thumb);
        EXPECT_TRUE(SamePixels(*d->fmePreview->ResultImage, *expected));
        // A rescaled result window spans its range.
        if (!c.Colour && c.Range >= 0 && c.Range < 3) expected->AutoScale();
        expected->UpdateBitmap();  // what the frame shows
        EXPECT_EQ(d->fmePreview->PreviewDisplay->Source(), FastBMPToQImage(expected->Bitmap).convertToFormat(QImage::Format_RGB888));
      }
      ClickOK(dialog);
      if (previews) {
        EXPECT_FALSE(d->fmePreview->HasImages());
      }
    });
    ASSERT_EQ(WindowCount(), windows + 1);
    TChildForm* result = Form->ActiveMDIChild();
    ASSERT_NE(result, source);
    EXPECT_EQ(result->Caption(), QString::fromLatin1(c.Caption));
    auto expected = CopyOf(*source->DataImage);
    c.Expected(*expected, *source->DataImage);
    if (c.Range >= 0) RescaleToOutputRange(std::uint8_t(c.Range), *expected);
    EXPECT_TRUE(SamePixels(*result->DataImage, *expected));
    if (c.Range == 0 || c.Range == 1) {
      EXPECT_EQ(Largest(*result->DataImage), c.Range == 0 ? 255.0f : 4095.0f);
    }
    // The point operations and filters with a preview show through the identity table.
    for (int i = 0; i < 256; ++i) ASSERT_EQ(result->DataImage->LUT[i], previews ? i : 255 - i);
    EXPECT_TRUE(SamePixels(*source->DataImage, *before));
    EXPECT_EQ(source->DataImage->LUT, inverted);
    for (int e : Errors) EXPECT_EQ(e, 0);
    Form->MDIArea()->setActiveSubWindow(source);
  }
}

TEST_F(ProcessingDialogs, RefusalsShowTheirWarningAndMakeNoWindow) {
  const QString colour = "This filter cannot be applied to a colour image.", even = "The window size must be an odd number between 3 and 11.",
                large = "The image is too large for the Fourier transform: neither side may exceed 8192 pixels.";
  struct Refusal {
    const char* Action;
    bool Colour;
    int W, H;
    QString Text;
    TIntEdit* Window;  // typed into before OK; the dialog stays open
    const char* Typed = "4";
    bool Enter = false;  // OK by Enter in the box rather than by a click
  };
  const Refusal cases[] = {
      {"ScaleColourBalance", false, 8, 8, "The colour balance function can only be applied to colour images.", nullptr},
      {"ScaleHSI", false, 8, 8, "The HSI function can only be applied to colour images.", nullptr},
      {"FilterHomomorphic", true, 8, 8, "Homomorphic filtering can only be performed on grey scale images.", nullptr},
      {"FilterFFT", true, 8, 8, "FFT filtering can only be performed on grey scale images.", nullptr},
      {"FilterFFT", false, 8193, 2, large, nullptr},
      {"FilterHomomorphic", false, 3, 9000, large, nullptr},
      // Noise filters refuse on OK, the kind before the window.
      {"FilterNoise", true, 8, 8, colour, frmNoiseFilter->iedWinSize},
      {"FilterNoise", true, 8, 8, colour, frmNoiseFilter->iedWinSize, "-", true},  // not yet a number
      {"FilterNoise", false, 8, 8, even, frmNoiseFilter->iedWinSize},
      {"FilterAdaptiveMMSE", false, 8, 8, even, frmAdaptiveMMSE->iedWinSize},
      {"FilterAdaptiveDWMTM", true, 8, 8, colour, nullptr},
      {"FilterCHMean", true, 8, 8, colour, frmContraHarmonic->iedWinSize},
      {"FilterCHMean", false, 8, 8, even, frmContraHarmonic->iedWinSize},
      {"FilterATMean", false, 8, 8, even, frmAlphaTrimmed->iedWinSize},
  };
  for (const Refusal& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Action << " colour " << c.Colour);
    if (c.Colour) {
      ColourWindow(c.W, c.H, Colours);
    } else {
      GreyWindow(c.W, c.H, 1, Ramp);
    }
    const int windows = WindowCount();
    const bool onOK = c.Text == colour || c.Text == even;
    Boxes.clear();
    WithDialog(c.Action, [&](QDialog* dialog) {
      ASSERT_EQ(dialog != nullptr, onOK);
      if (!dialog) return;
      if (c.Window) TypeInto(c.Window, c.Typed);
      if (c.Enter)
        QTest::keyClick(c.Window, Qt::Key_Return);
      else
        ClickOK(dialog);
      EXPECT_TRUE(dialog->isVisible());
      if (c.Window) {
        EXPECT_EQ(c.Window->text(), QString::fromLatin1(c.Typed));
      }
      if (c.Window) TypeInto(c.Window, "3");  // a good size before Cancel
    });
    ASSERT_GE(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Type, TMsgDlgType::mtWarning);
    EXPECT_EQ(Boxes[0].Text, c.Text);
    EXPECT_EQ(Boxes[0].Buttons, unsigned(mbOK));
    EXPECT_EQ(WindowCount(), windows);
  }
  EXPECT_EQ(frmAdaptiveDWMTM->findChild<TIntEdit*>(QStringLiteral("iedWinSize")), nullptr);
  // Resample refuses a size no image can hold.
  WithDialog("ProcessResample", [&](QDialog* dialog) {
    if (frmResample->chkAspect->isChecked()) QTest::keyClick(frmResample->chkAspect, Qt::Key_Space);
    TypeInto(frmResample->iedWidth, "65535");
    TypeInto(frmResample->iedHeight, "65535");
    ClickOK(dialog);
    EXPECT_TRUE(dialog->isVisible());
  });
  EXPECT_EQ(Boxes.back().Text, QStringLiteral("An image of 65535 x 65535 pixels is too large: there is not enough memory for it."));
}

TEST_F(ProcessingDialogs, CancelMakesNothingAndLeavesTheControlsAsTheOpeningFoundThem) {
  GreyWindow(20, 20, 0, Ramp);
  const int windows = WindowCount();
  QString opened;
  WithDialog("ScaleGamma", [&](QDialog* dialog) {
    opened = frmGamma->lblGamma->text();
    SlideTo(frmGamma->trkGamma, 30);
    EXPECT_EQ(frmGamma->lblGamma->text(), QStringLiteral("3.0"));
    ClickCancel(dialog);
  });
  EXPECT_EQ(frmGamma->result(), int(mrCancel));
  EXPECT_NE(opened, QStringLiteral("3.0"));
  WithDialog("ScaleGamma", [&](QDialog* dialog) {
    EXPECT_EQ(frmGamma->lblGamma->text(), opened);
    QTest::keyClick(dialog, Qt::Key_Escape);
  });
  EXPECT_EQ(frmGamma->result(), int(mrCancel));
  EXPECT_EQ(WindowCount(), windows);
  EXPECT_FALSE(frmGamma->fmePreview->HasImages());
}

TEST_F(ProcessingDialogs, AFailingPreviewIsNotRepeatedByTheActivationAfterItsBox) {
  const struct {
    const char* Action;
    std::function<float(int, int)> Pixel;
    int Error;
    TProcessingDialog* Dialog;
    std::function<void()> Change;
    std::function<void()> Before = {};  // the dialog's values kept from a last opening
  } cases[] = {
      // A negative pixel under a gamma of 2 (a root): the gamma routine
      // fails in the preview. (A zero maximum, which failed here once, now
      // gives zeros.)
      {"ScaleGamma", [](int x, int) { return x < 8 ? -5.0f : 100.0f; }, errGamma, frmGamma,
       [] { SlideTo(frmGamma->trkGamma, 30); }, [] { frmGamma->trkGamma->setValue(20); }},
      // Negative pixels: the logarithm fails in the preview. (DDP, whose
      // proposals failed here on such an image, now refuses it in words.)
      {"ScaleLog", [](int, int) { return -5.0f; }, errLogScale, frmLog, [] { SlideTo(frmLog->trkLog, 20); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Action);
    GreyWindow(16, 16, 0, c.Pixel);
    if (c.Before) c.Before();
    // Closing an error box gives the focus back to the dialog before the box's call returns.
    int depth = 0;
    SetInternalErrorHandler([&](int Code) {
      Errors.push_back(Code);
      if (Code > 0 && depth < 3 && c.Dialog->isVisible()) {
        ++depth;
        Activate(c.Dialog);
        --depth;
      }
    });
    Errors.clear();
    WithDialog(c.Action, [&](QDialog* dialog) {
      const auto reports = std::count(Errors.begin(), Errors.end(), c.Error);
      EXPECT_EQ(reports, 1);
      const int runs = c.Dialog->PreviewCount();
      Activate(dialog);  // the focus returning after the box, perhaps more than once
      Activate(dialog);
      EXPECT_EQ(c.Dialog->PreviewCount(), runs);
      EXPECT_EQ(std::count(Errors.begin(), Errors.end(), c.Error), reports);
      c.Change();  // a real change still previews
      Settle(dialog);
      EXPECT_GT(c.Dialog->PreviewCount(), runs);
    });
  }
}

TEST_F(ProcessingDialogs, FlipCommandsMakeAFlippedCopyCaptionedFlip) {
  TChildForm* grey = GreyWindow(3, 2, 1, [](int x, int y) { return float(10 * y + x); });
  grey->SetZoom(200.0f);
  Form->Action(QStringLiteral("ProcessFlipTopToBottom"))->trigger();
  TChildForm* upside = Form->ActiveMDIChild();
  ASSERT_NE(upside, grey);
  EXPECT_EQ(upside->Caption(), QStringLiteral("Flip"));
  EXPECT_EQ(upside->ImageDisplay->Zoom, 200.0f);
  for (int x = 0; x < 3; ++x) {
    EXPECT_EQ(upside->DataImage->GetPixel(x, 0), 10.0f + x);
    EXPECT_EQ(upside->DataImage->GetPixel(x, 1), float(x));
  }
  EXPECT_EQ(grey->DataImage->GetPixel(0, 0), 0.0f);
  TChildForm* colour = ColourWindow(4, 1, [](int x, int) { return TRGBPixel{std::uint8_t(x), std::uint8_t(10 + x), 9}; });
  Form->Action(QStringLiteral("ProcessFlipLeftToRight"))->trigger();
  TChildForm* mirror = Form->ActiveMDIChild();
  ASSERT_NE(mirror, colour);
  EXPECT_EQ(mirror->Caption(), QStringLiteral("Flip"));
  TRGBPixel p;
  mirror->DataImage->GetRGB(0, 0, p);
  EXPECT_EQ(p.Blue, 3);
  EXPECT_EQ(p.Green, 13);
}

TEST_F(ProcessingDialogs, ControlsThatFollowOtherControls) {
  GreyWindow(300, 200, 3, Ramp);
  WithDialog("FilterFFT", [&](QDialog*) {
    for (int type : {1, 2, 3, 0}) {
      ClickRadio(frmFFTFilter->FilterTypeButtons->button(type));
      EXPECT_EQ(frmFFTFilter->fedHFE->isEnabled(), type % 2 == 1) << type;
      EXPECT_EQ(frmFFTFilter->lblHFE->isEnabled(), type % 2 == 1) << type;
    }
    // The cut-off keeps a large value and is held at its minimum of 0.1.
    for (auto [typed, kept] : {std::pair{"5000000", "5000000"}, std::pair{"0.01", "0.1"}}) {
      TypeInto(frmFFTFilter->fedStrength, typed);
      frmFFTFilter->iedOrder->setFocus();
      EXPECT_EQ(frmFFTFilter->fedStrength->text(), QString::fromLatin1(kept));
    }
  });
  WithDialog("ProcessPixelMath", [&](QDialog* dialog) {
    for (int item = 0; item < 6; ++item) {
      ClickRadio(frmPixelMath->OperatorButtons->button(item));
      EXPECT_EQ(frmPixelMath->fedValue->isEnabled(), item < 4) << item;
      EXPECT_EQ(frmPixelMath->lblValue->isEnabled(), item < 4) << item;
    }
    // A bad number gives one message, by click or by Enter, and no window.
    ClickRadio(frmPixelMath->OperatorButtons->button(0));
    const int windows = WindowCount();
    Boxes.clear();
    TypeInto(frmPixelMath->fedValue, "1-2");
    ClickOK(dialog);
    TypeInto(frmPixelMath->fedValue, "3-4");
    QTest::keyClick(frmPixelMath->fedValue, Qt::Key_Return);
    ASSERT_EQ(Boxes.size(), 2u);
    EXPECT_TRUE(Boxes[0].Text.contains(QStringLiteral("'1-2'")) && Boxes[1].Text.contains(QStringLiteral("'3-4'")));
    EXPECT_EQ(WindowCount(), windows);
    TypeInto(frmPixelMath->fedValue, "0");
  });
  WithDialog("ProcessResample", [&](QDialog*) {
    EXPECT_EQ(frmResample->txtWidth->text() + " " + frmResample->txtHeight->text(), QStringLiteral("300 200"));
    if (!frmResample->chkAspect->isChecked()) QTest::keyClick(frmResample->chkAspect, Qt::Key_Space);
    EXPECT_FALSE(frmResample->iedHeight->isEnabled() || frmResample->lblHeight->isEnabled());
    // 151 x 2/3 = 100.67; 65535 x 2/3 = 43690
    for (auto [width, height] : {std::pair{"150", "100"}, {"151", "101"}, {"3", "2"}, {"65535", "43690"}}) {
      TypeInto(frmResample->iedWidth, width);
      EXPECT_EQ(frmResample->iedHeight->text(), QString::fromLatin1(height)) << width;
    }
    // Unchecking frees the height; checking applies the rule at once.
    QTest::keyClick(frmResample->chkAspect, Qt::Key_Space);
    TypeInto(frmResample->iedWidth, "150");
    TypeInto(frmResample->iedHeight, "7");
    QTest::keyClick(frmResample->chkAspect, Qt::Key_Space);
    EXPECT_EQ(frmResample->iedHeight->text(), QStringLiteral("100"));
  });
  EXPECT_EQ(TfrmResample::AspectHeight(5, 2, 1), 2);  // 2.5 to even
}

TEST_F(ProcessingDialogs, EveryControlHasANameAndEveryCaptionItsControl) {
  const std::vector<QDialog*> dialogs = {frmBrightnessContrast, frmGamma, frmLog, frmUnsharpMask, frmColourBalance, frmHSI,
                                         frmHomomorphic, frmFFTFilter, frmRotate, frmResample, frmPixelMath, frmNoiseFilter,
                                         frmAdaptiveMMSE, frmAdaptiveDWMTM, frmContraHarmonic, frmAlphaTrimmed, frmDDP, frmLinear};
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
