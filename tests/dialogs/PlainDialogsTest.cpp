// The dialogs without a preview: rotate, resample, pixel math and the noise
// filters, driven through their menu commands.
#include <QButtonGroup>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

#include "DialogTestUtil.h"
#include "app/FloatEdit.h"
#include "app/IntEdit.h"
#include "dialogs/NoiseFilterForms.h"
#include "dialogs/PixelMathForm.h"
#include "dialogs/ResampleForm.h"
#include "dialogs/RotateForm.h"
#include "engine/ColGeometry.h"
#include "engine/ColMath.h"
#include "engine/Geometry.h"
#include "engine/ImageMath.h"
#include "engine/Processing.h"

using PlainDialogs = DialogTest;

namespace {
float Noisy(int x, int y) { return float(40 + (x * 13 + y * 7) % 23 + ((x * y) % 11 == 0 ? 90 : 0)); }
TRGBPixel Colours(int x, int y) { return {std::uint8_t(x * 9), std::uint8_t(y * 4), std::uint8_t(x + y)}; }

struct PlainCase {
  const char* Name;
  const char* Action;
  bool Colour;
  std::function<void()> Set;
  std::function<void(TDataImage& Dst, TDataImage& Src)> Expected;
  QString Caption;
};
}  // namespace

TEST_F(PlainDialogs, OKRunsTheRoutineOnACopyAndKeepsTheDisplayTable) {
  const PlainCase cases[] = {
      {"rotate grey", "ProcessRotate", false, [] { TypeInto(frmRotate->fedAngle, "30"); },
       [](TDataImage& D, TDataImage& S) { Rotate(D, S, 30.0f); }, "Rotate"},
      {"rotate colour clamped", "ProcessRotate", true, [] { TypeInto(frmRotate->fedAngle, "-400"); },
       [](TDataImage& D, TDataImage& S) { ColRotate(D, S, -360.0f); }, "Rotate"},
      {"resample grey free height", "ProcessResample", false,
       [] {
         QTest::mouseClick(frmResample->chkAspect, Qt::LeftButton, Qt::NoModifier, QPoint(6, frmResample->chkAspect->height() / 2));
         TypeInto(frmResample->iedWidth, "17");
         TypeInto(frmResample->iedHeight, "9");
       },
       [](TDataImage& D, TDataImage& S) { Resample(17, 9, D, S); }, "Resample"},
      {"resample colour aspect", "ProcessResample", true,
       [] {
         if (!frmResample->chkAspect->isChecked()) QTest::keyClick(frmResample->chkAspect, Qt::Key_Space);
         TypeInto(frmResample->iedWidth, "45");
       },
       // 30 x 20 at width 45: height Round(45 * 20 / 30) = 30
       [](TDataImage& D, TDataImage& S) { ColResample(45, 30, D, S); }, "Resample"},
      {"pixel math divide", "ProcessPixelMath", false,
       [] {
         ClickRadio(frmPixelMath->OperatorButtons->button(3));
         TypeInto(frmPixelMath->fedValue, "-2.5");
       },
       [](TDataImage& D, TDataImage& S) { PixelMath(3, D, S, -2.5f); }, "Pixel Math"},
      {"pixel math root colour", "ProcessPixelMath", true,
       [] { ClickRadio(frmPixelMath->OperatorButtons->button(5)); },
       [](TDataImage& D, TDataImage& S) { ColPixelMath(5, D, S, -2.5f); }, "Pixel Math"},
      {"noise filter", "FilterNoise", false,
       [] {
         TypeInto(frmNoiseFilter->iedDeviation, "2");
         TypeInto(frmNoiseFilter->iedWinSize, "5");
       },
       [](TDataImage& D, TDataImage& S) { NoiseFilter(5, D, S, 2.0f); }, "Noise Filter"},
      {"mmse", "FilterAdaptiveMMSE", false,
       [] {
         TypeInto(frmAdaptiveMMSE->fedStdDev, "3.5");
         TypeInto(frmAdaptiveMMSE->iedWinSize, "7");
       },
       [](TDataImage& D, TDataImage& S) { AdaptiveMMSE(7, D, S, 3.5f); }, "Adaptive MMSE"},
      {"dw-mtm", "FilterAdaptiveDWMTM", false,
       [] {
         TypeInto(frmAdaptiveDWMTM->fedStdDev, "2");
         TypeInto(frmAdaptiveDWMTM->fedThreshold, "1.5");
       },
       [](TDataImage& D, TDataImage& S) { AdaptiveDWMTM(D, S, 2.0f, 1.5f); }, "Adaptive DW-MTM"},
      {"contra-harmonic", "FilterCHMean", false,
       [] {
         TypeInto(frmContraHarmonic->iedEndpoint, "-2");
         TypeInto(frmContraHarmonic->iedWinSize, "3");
       },
       [](TDataImage& D, TDataImage& S) { ContraHarmonic(-2, 3, D, S); }, "Contra-Harmonic Mean"},
      // A typed window above the range is brought into it by the box's rule.
      {"alpha-trimmed", "FilterATMean", false,
       [] {
         TypeInto(frmAlphaTrimmed->iedEndpoint, "4");
         TypeInto(frmAlphaTrimmed->iedWinSize, "13");
       },
       [](TDataImage& D, TDataImage& S) { AlphaTrimmed(4, 11, D, S); }, "Alpha-Trimmed Mean"},
  };
  for (const PlainCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TChildForm* source = c.Colour ? ColourWindow(30, 20, Colours) : GreyWindow(30, 20, 1, Noisy);
    TLUT table;
    for (int i = 0; i < 256; ++i) table[i] = std::uint8_t(255 - i);
    source->DataImage->SetLUT(table);
    auto before = CopyOf(*source->DataImage);
    const int windows = WindowCount();
    Errors.clear();
    WithDialog(c.Action, [&](QDialog* dialog) {
      ASSERT_NE(dialog, nullptr);
      c.Set();
      ClickOK(dialog);
    });
    ASSERT_EQ(WindowCount(), windows + 1);
    TChildForm* result = Form->ActiveMDIChild();
    ASSERT_NE(result, source);
    EXPECT_EQ(result->Caption(), c.Caption);
    auto expected = CopyOf(*source->DataImage);
    c.Expected(*expected, *source->DataImage);
    EXPECT_TRUE(SamePixels(*result->DataImage, *expected));
    EXPECT_EQ(result->DataImage->LUT, table);
    EXPECT_TRUE(SamePixels(*source->DataImage, *before));
    for (int e : Errors) EXPECT_EQ(e, 0);
    Form->MDIArea()->setActiveSubWindow(source);
  }
}

TEST_F(PlainDialogs, NoiseFiltersRefuseColourFirstThenAnEvenWindowAndStayOpen) {
  struct Case {
    const char* Action;
    bool Colour;
    TIntEdit* const* Window;  // null for DW-MTM
    const char* Text;
  };
  const char* colourText = "This filter cannot be applied to a colour image.";
  const char* evenText = "The window size must be an odd number between 3 and 11.";
  const Case cases[] = {
      {"FilterNoise", true, &frmNoiseFilter->iedWinSize, colourText},
      {"FilterNoise", false, &frmNoiseFilter->iedWinSize, evenText},
      {"FilterAdaptiveMMSE", true, &frmAdaptiveMMSE->iedWinSize, colourText},
      {"FilterAdaptiveMMSE", false, &frmAdaptiveMMSE->iedWinSize, evenText},
      {"FilterAdaptiveDWMTM", true, nullptr, colourText},
      {"FilterCHMean", true, &frmContraHarmonic->iedWinSize, colourText},
      {"FilterCHMean", false, &frmContraHarmonic->iedWinSize, evenText},
      {"FilterATMean", true, &frmAlphaTrimmed->iedWinSize, colourText},
      {"FilterATMean", false, &frmAlphaTrimmed->iedWinSize, evenText},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Action << " colour " << c.Colour);
    if (c.Colour) {
      ColourWindow(12, 12, Colours);
    } else {
      GreyWindow(12, 12, 0, Noisy);
    }
    const int windows = WindowCount();
    Boxes.clear();
    WithDialog(c.Action, [&](QDialog* dialog) {
      ASSERT_NE(dialog, nullptr);
      // An even size, typed (the step is 2); a colour image is refused first.
      if (c.Window) TypeInto(*c.Window, "4");
      ClickOK(dialog);
      EXPECT_TRUE(dialog->isVisible());
      ASSERT_EQ(Boxes.size(), 1u);
      EXPECT_EQ(Boxes[0].Text, QString::fromLatin1(c.Text));
      EXPECT_EQ(Boxes[0].Type, TMsgDlgType::mtWarning);
      if (c.Window) {
        EXPECT_EQ((*c.Window)->text(), QStringLiteral("4"));
        TypeInto(*c.Window, "3");
      }
      ClickCancel(dialog);
    });
    EXPECT_EQ(WindowCount(), windows);
  }
  // DW-MTM has no window box.
  EXPECT_EQ(frmAdaptiveDWMTM->iedWinSize, nullptr);
  EXPECT_EQ(frmAdaptiveDWMTM->findChild<TIntEdit*>(QStringLiteral("iedWinSize")), nullptr);
}

TEST_F(PlainDialogs, ResampleProposesTheHeightAtTheImagesProportion) {
  GreyWindow(300, 200, 0, Noisy);
  WithDialog("ProcessResample", [&](QDialog* dialog) {
    ASSERT_EQ(dialog, frmResample);
    EXPECT_EQ(frmResample->txtWidth->text(), QStringLiteral("300"));
    EXPECT_EQ(frmResample->txtHeight->text(), QStringLiteral("200"));
    EXPECT_TRUE(frmResample->chkAspect->isChecked());
    EXPECT_FALSE(frmResample->iedHeight->isEnabled());
    EXPECT_FALSE(frmResample->lblHeight->isEnabled());
    struct Case {
      const char* Width;
      const char* Height;
    };
    // 151 * 2/3 = 100.67; 3 * 2/3 = 2; 65535 * 2/3 = 43690
    const Case cases[] = {{"150", "100"}, {"151", "101"}, {"3", "2"}, {"65535", "43690"}};
    for (const Case& c : cases) {
      TypeInto(frmResample->iedWidth, c.Width);
      EXPECT_EQ(frmResample->iedHeight->text(), QString::fromLatin1(c.Height)) << c.Width;
    }
    // Unchecking frees the height; checking applies the rule at once.
    QTest::keyClick(frmResample->chkAspect, Qt::Key_Space);
    EXPECT_TRUE(frmResample->iedHeight->isEnabled());
    TypeInto(frmResample->iedWidth, "150");
    TypeInto(frmResample->iedHeight, "7");
    QTest::keyClick(frmResample->chkAspect, Qt::Key_Space);
    EXPECT_EQ(frmResample->iedHeight->text(), QStringLiteral("100"));
  });
  // Halves go to the even neighbour: 300 x 100 at width 5 gives 1.666..,
  // and 2 x 1 at width 5 gives 2.5, which rounds to 2.
  EXPECT_EQ(TfrmResample::AspectHeight(5, 2, 1), 2);
  EXPECT_EQ(TfrmResample::AspectHeight(7, 2, 1), 4);
  EXPECT_EQ(TfrmResample::AspectHeight(151, 300, 200), 101);
}

TEST_F(PlainDialogs, ResampleRefusesASizeBeyondWhatTheImageCanHold) {
  GreyWindow(40, 30, 1, Noisy);
  const int windows = WindowCount();
  WithDialog("ProcessResample", [&](QDialog* dialog) {
    ASSERT_NE(dialog, nullptr);
    QTest::keyClick(frmResample->chkAspect, Qt::Key_Space);
    TypeInto(frmResample->iedWidth, "65535");
    TypeInto(frmResample->iedHeight, "65535");
    ClickOK(dialog);
    EXPECT_TRUE(dialog->isVisible());
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Type, TMsgDlgType::mtWarning);
    EXPECT_EQ(Boxes[0].Text,
              QStringLiteral("An image of 65535 x 65535 pixels is too large: there is not enough memory for it."));
    QTest::keyClick(frmResample->chkAspect, Qt::Key_Space);
    ClickCancel(dialog);
  });
  EXPECT_EQ(WindowCount(), windows);
}

TEST_F(PlainDialogs, PixelMathValueIsOffForLogAndRootAndABadTextSaysSo) {
  GreyWindow(10, 10, 1, Noisy);
  const int windows = WindowCount();
  WithDialog("ProcessPixelMath", [&](QDialog* dialog) {
    ASSERT_EQ(dialog, frmPixelMath);
    for (int item = 0; item < 6; ++item) {
      ClickRadio(frmPixelMath->OperatorButtons->button(item));
      EXPECT_EQ(frmPixelMath->fedValue->isEnabled(), item < 4) << item;
      EXPECT_EQ(frmPixelMath->lblValue->isEnabled(), item < 4) << item;
    }
    ClickRadio(frmPixelMath->OperatorButtons->button(0));
    // A click on OK and Enter in the box each give one message.
    TypeInto(frmPixelMath->fedValue, "1-2");
    ClickOK(dialog);
    TypeInto(frmPixelMath->fedValue, "3-4");
    QTest::keyClick(frmPixelMath->fedValue, Qt::Key_Return);
    EXPECT_TRUE(dialog->isVisible());
    ASSERT_EQ(Boxes.size(), 2u);
    EXPECT_EQ(Boxes[0].Type, TMsgDlgType::mtError);
    EXPECT_TRUE(Boxes[0].Text.contains(QStringLiteral("1-2"))) << Boxes[0].Text.toStdString();
    EXPECT_TRUE(Boxes[1].Text.contains(QStringLiteral("3-4"))) << Boxes[1].Text.toStdString();
    ClickCancel(dialog);
  });
  EXPECT_EQ(WindowCount(), windows);
}

TEST_F(PlainDialogs, EveryControlHasANameAndEveryCaptionItsControl) {
  const std::vector<QDialog*> dialogs = {frmRotate,        frmResample,      frmPixelMath,      frmNoiseFilter,
                                         frmAdaptiveMMSE, frmAdaptiveDWMTM, frmContraHarmonic, frmAlphaTrimmed};
  for (QDialog* d : dialogs) {
    SCOPED_TRACE(d->objectName().toStdString());
    EXPECT_FALSE(d->accessibleName().isEmpty());
    for (QWidget* w : d->findChildren<QWidget*>()) {
      if (qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractButton*>(w)) {
        EXPECT_FALSE(w->accessibleName().isEmpty()) << w->objectName().toStdString();
      }
    }
    for (QLabel* l : d->findChildren<QLabel*>()) EXPECT_NE(l->buddy(), nullptr) << l->text().toStdString();
  }
}
