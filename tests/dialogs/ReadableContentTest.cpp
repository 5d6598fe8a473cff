// What the program shows, as assistive tools read it through Qt's
// accessibility interfaces: value labels and the sliders beside them, the
// deconvolution status, chart descriptions, image pictures, colour swatches
// and the registration target lists. Each is read again after it changed.
#include <QAccessible>
#include <QChartView>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>

#include "DialogTestUtil.h"
#include "analysis/HistogramForm.h"
#include "analysis/LinePlotForm.h"
#include "analysis/RadialPlotForm.h"
#include "analysis/view3d/SurfacePropertiesForm.h"
#include "app/FloatEdit.h"
#include "app/PreferencesForm.h"
#include "app/QVRSlider.h"
#include "app/QuickScaleForm.h"
#include "app/StartUp.h"
#include "dialogs/BrightnessContrastForm.h"
#include "dialogs/ColourBalanceForm.h"
#include "dialogs/DeconvolutionForms.h"
#include "dialogs/FFTCorrelationForm.h"
#include "dialogs/GammaForm.h"
#include "dialogs/HSIForm.h"
#include "dialogs/HistSpecForm.h"
#include "dialogs/HomomorphicForm.h"
#include "dialogs/LinearForm.h"
#include "dialogs/LogForm.h"
#include "dialogs/RegisterImagesForm.h"
#include "dialogs/UnsharpMaskForm.h"
#include "platform/NumFormat.h"

namespace {
using ReadableContent = AllFormsTest;

QAccessibleInterface* Iface(QObject* Object) { return QAccessible::queryAccessibleInterface(Object); }
QString Name(QObject* Object) { return Iface(Object)->text(QAccessible::Name); }
QString Description(QObject* Object) { return Iface(Object)->text(QAccessible::Description); }

// A 10 x 6 byte image: 33 pixels of 51, 18 of 204 and 9 of 255.
float Levels(int x, int y) {
  const int i = y * 10 + x;
  return i < 33 ? 51.0f : i < 51 ? 204.0f : 255.0f;
}
}  // namespace

TEST_F(ReadableContent, SlidersReportTheValueTheirLabelShows) {
  struct TCase {
    const char* Action;
    bool Colour;
    std::function<QSlider*()> Slider;
    std::function<QLabel*()> Label;
    int Position;
    const char* Shown;
    double Value, Min, Max;
    double Set;  // set by an assistive tool: the slider goes to its position
    int SetPosition;
  };
  const TCase cases[] = {
      {"ScaleGamma", false, [] { return frmGamma->trkGamma; }, [] { return frmGamma->lblGamma; }, 25, "2.5", 2.5, 0.1,
       10, 0.7, 7},
      {"ScaleLog", false, [] { return frmLog->trkLog; }, [] { return frmLog->lblLog; }, 600, "600", 600, 1, 10000, 37,
       37},
      {"ScaleBriCon", false, [] { return frmBrightnessContrast->trkBrightness; },
       [] { return frmBrightnessContrast->lblBrightness; }, -30, "-30%", -30, -100, 100, 45, 45},
      {"ScaleBriCon", false, [] { return frmBrightnessContrast->trkContrast; },
       [] { return frmBrightnessContrast->lblContrast; }, 17, "17%", 17, -100, 100, -3, -3},
      {"ScaleColourBalance", true, [] { return frmColourBalance->trkGreen; }, [] { return frmColourBalance->lblGreen; },
       -25, "-25%", -25, -100, 100, 9, 9},
      {"ScaleHSI", true, [] { return frmHSI->trkHue; }, [] { return frmHSI->lblHue; }, -40, "-40\u00B0", -40, -180, 180,
       135, 135},
      {"ScaleHSI", true, [] { return frmHSI->trkInt; }, [] { return frmHSI->lblInt; }, 30, "30%", 30, -100, 100, -60,
       -60},
      {"FilterHomomorphic", false, [] { return frmHomomorphic->trkYL; }, [] { return frmHomomorphic->lblYL; }, 35,
       "0.35", 0.35, 0, 1, 0.07, 7},
      {"FilterHomomorphic", false, [] { return frmHomomorphic->trkYH; }, [] { return frmHomomorphic->lblYH; }, 42,
       "4.20", 4.2, 0, 10, 9.9, 99},
      // Between two positions an assistive tool's value goes to the nearer.
      {"FilterUnsharpMask", false, [] { return frmUnsharpMask->trkPower; }, [] { return frmUnsharpMask->lblStrength; },
       25, "2.5", 2.5, 0.1, 10, 3.26, 33},
  };
  TChildForm* grey = GreyWindow(32, 24, 1, [](int x, int y) { return float(x * 100 + y); });
  TChildForm* colour = ColourWindow(32, 24, [](int x, int y) {
    return TRGBPixel{std::uint8_t(x * 7), std::uint8_t(y * 9), std::uint8_t(x + y)};
  });
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Action << " " << c.Shown);
    Form->MDIArea()->setActiveSubWindow(c.Colour ? colour : grey);
    bool ran = false;
    WithDialog(c.Action, [&](QDialog* dialog) {
      ASSERT_NE(dialog, nullptr);
      ran = true;
      QSlider* slider = c.Slider();
      QLabel* label = c.Label();
      SlideTo(slider, c.Position);
      ASSERT_EQ(label->text(), QString::fromUtf8(c.Shown));
      // The label's text is what is read of it, with its caption beside.
      EXPECT_EQ(Name(label), QString::fromUtf8(c.Shown));
      EXPECT_TRUE(Description(label).endsWith(QLatin1String("value")));
      QAccessibleInterface* s = Iface(slider);
      ASSERT_NE(s->valueInterface(), nullptr);
      EXPECT_EQ(s->text(QAccessible::Value), QString::fromUtf8(c.Shown));
      EXPECT_DOUBLE_EQ(s->valueInterface()->currentValue().toDouble(), c.Value);
      EXPECT_DOUBLE_EQ(s->valueInterface()->minimumValue().toDouble(), c.Min);
      EXPECT_DOUBLE_EQ(s->valueInterface()->maximumValue().toDouble(), c.Max);
      s->valueInterface()->setCurrentValue(c.Set);
      EXPECT_EQ(slider->value(), c.SetPosition);
      EXPECT_EQ(Name(label), label->text());
      EXPECT_EQ(s->text(QAccessible::Value), label->text());
    });
    EXPECT_TRUE(ran);
  }
}

TEST_F(ReadableContent, DeconvolutionStatusIsReadAsItChanges) {
  for (TfrmDeconvolution* d : std::initializer_list<TfrmDeconvolution*>{frmLucyRichardson, frmMaximumEntropy, frmVanCittert}) {
    SCOPED_TRACE(d->objectName().toStdString());
    EXPECT_EQ(Name(d->lblStatus), QStringLiteral("Status: Idle"));
    d->ShowIteration(7, 35);
    EXPECT_EQ(Name(d->lblStatus), QStringLiteral("Iteration: 7"));
    EXPECT_EQ(Description(d->lblStatus), QStringLiteral("Status"));
  }
}

TEST_F(ReadableContent, ChartsDescribeTheirTitleAndKeyFigures) {
  TChildForm* levels = GreyWindow(10, 6, 0, Levels, QStringLiteral("Levels"));
  // Histogram window: title, then the peak and the range of levels of what is shown.
  frmHistogram->Execute(false);
  QString d = Description(frmHistogram->Chart1);
  EXPECT_TRUE(d.startsWith(QLatin1String("Corvelle Image Histogram - Levels "))) << d.toStdString();
  EXPECT_TRUE(d.contains(QLatin1String("Intensity: peak of 33 pixels at 51, levels 51 to 255"))) << d.toStdString();
  frmHistogram->btnLog->setChecked(true);
  EXPECT_TRUE(Description(frmHistogram->Chart1).contains(QLatin1String("logarithmic")));
  frmHistogram->btnLog->setChecked(false);
  TChildForm* colour = ColourWindow(4, 2, [](int x, int y) {
    return TRGBPixel{std::uint8_t(10 * x), std::uint8_t(100), std::uint8_t(y ? 250 : 30)};
  }, QStringLiteral("Tint"));
  frmHistogram->Execute(false);
  frmHistogram->cmbChannel->setCurrentIndex(1);
  d = Description(frmHistogram->Chart1);
  EXPECT_TRUE(d.contains(QLatin1String("Histogram - Tint ")));
  EXPECT_TRUE(d.contains(QLatin1String("Red: peak of 4 pixels at 30, levels 30 to 250"))) << d.toStdString();
  EXPECT_TRUE(d.contains(QLatin1String("Green: peak of 8 pixels at 100, levels 100 to 100"))) << d.toStdString();
  EXPECT_TRUE(d.contains(QLatin1String("Blue: peak of 2 pixels at 0, levels 0 to 30"))) << d.toStdString();
  EXPECT_FALSE(d.contains(QLatin1String("Intensity")));
  frmHistogram->hide();

  // Line plot: the highest value and where it is.
  frmLinePlot->PlotGrey({3, 9, 12.5f, 99, 4}, 2, true);
  d = Description(frmLinePlot->Chart1);
  EXPECT_TRUE(d.startsWith(QLatin1String("Corvelle Image Line Plot - Tint - Row [2] "))) << d.toStdString();
  EXPECT_TRUE(d.endsWith(QLatin1String("Intensity: values 3 to 99, highest at 3"))) << d.toStdString();

  // Radial plot: centroid and FWHM as its title says them.
  TChildForm* star = GreyWindow(40, 40, 3, [](int x, int y) {
    return float(20 + 1000 * std::exp(-((x - 20.5) * (x - 20.5) + (y - 19.25) * (y - 19.25)) / 8.0));
  }, QStringLiteral("Star"));
  const int roi[4] = {12, 12, 28, 28};
  std::copy(roi, roi + 4, star->ImageOverlay->ROI);
  ASSERT_TRUE(frmRadialPlot->Plot());
  d = Description(frmRadialPlot->Chart);
  const QString fwhm = QString::fromStdString(NumFormat::FormatFloat("0.00", frmRadialPlot->FWHM));
  EXPECT_TRUE(d.startsWith(QLatin1String("Corvelle Image Radial Plot - Star - Centroid ["))) << d.toStdString();
  EXPECT_TRUE(d.contains(QStringLiteral("Radius [4] FWHM [%1]").arg(fwhm))) << d.toStdString();
  EXPECT_TRUE(d.endsWith(QStringLiteral("Pixels from %1 to %2")
                             .arg(QString::fromStdString(NumFormat::FormatFloat("0.00", frmRadialPlot->Minimum)),
                                  QString::fromStdString(NumFormat::FormatFloat("0.00", frmRadialPlot->Maximum)))))
      << d.toStdString();

  // The quick scale window and the linear scale dialog show the histogram of
  // the active image.
  Form->MDIArea()->setActiveSubWindow(levels);
  frmQuickLinearScale->show();
  EXPECT_EQ(Description(frmQuickLinearScale->Chart),
            QStringLiteral("Histogram: peak of 33 pixels at 51, levels 51 to 255"));
  WithDialog("ScaleLinear", [&](QDialog*) {
    EXPECT_EQ(Description(frmLinear->Chart1), QStringLiteral("Histogram: peak of 33 pixels at 51, levels 51 to 255"));
  });
  // Histogram specification: the target function, as it is chosen.
  WithDialog("ScaleHistogramSpec", [&](QDialog*) {
    for (int item = 0; item < frmHistogramSpec->cmbFunction->count(); ++item) {
      frmHistogramSpec->cmbFunction->setCurrentIndex(item);
      EXPECT_TRUE(Description(frmHistogramSpec->Chart1).startsWith(frmHistogramSpec->cmbFunction->itemText(item) + ": values "))
          << Description(frmHistogramSpec->Chart1).toStdString();
    }
  });
  (void)colour;
}

TEST_F(ReadableContent, ImagePicturesAreNamedAfterTheImage) {
  TChildForm* child = GreyWindow(37, 21, 1, [](int x, int) { return float(x); }, QStringLiteral("M 42.fts"));
  EXPECT_EQ(Name(child->ImageDisplay), QStringLiteral("M 42.fts, 37 x 21"));
  child->SetCaption(QStringLiteral("Orion"));
  EXPECT_EQ(Name(child->ImageDisplay), QStringLiteral("Orion, 37 x 21"));
  child->DataImage->Allocate(5, 8, 1, false);
  child->UpdateImage();
  EXPECT_EQ(Name(child->ImageDisplay), QStringLiteral("Orion, 5 x 8"));
}

TEST_F(ReadableContent, RegistrationTargetsAreCheckableAndTheReferenceDisabled) {
  for (auto name : {"First", "Second", "Third"}) {
    TChildForm* c = GreyWindow(64, 64, 1, [](int x, int y) { return float(x * y % 17); }, QString::fromLatin1(name));
    c->ImageOverlay->AddMarker(10, 10);
  }
  struct TCase {
    const char* Action;
    std::function<QComboBox*()> Reference;
    std::function<QListWidget*()> Targets;
  };
  const TCase cases[] = {
      {"ProcessRegisterImages", [] { return frmRegisterImage->cmbImageB; }, [] { return frmRegisterImage->lstImageA; }},
      {"ProcessFFTCorrelation", [] { return frmFFTCorrelation->cmbImageA; }, [] { return frmFFTCorrelation->lstImageB; }},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Action);
    bool ran = false;
    WithDialog(c.Action, [&](QDialog*) {
      ran = true;
      QListWidget* targets = c.Targets();
      QAccessibleInterface* list = Iface(targets);
      ASSERT_EQ(list->role(), QAccessible::List);
      ASSERT_EQ(list->childCount(), 3);
      for (int reference : {0, 2}) {
        SCOPED_TRACE(reference);
        c.Reference()->setCurrentIndex(reference);
        for (int i = 0; i < 3; ++i) {
          QAccessibleInterface* item = list->child(i);
          ASSERT_NE(item, nullptr);
          EXPECT_EQ(list->indexOfChild(item), i);
          EXPECT_EQ(item->text(QAccessible::Name), targets->item(i)->text());
          EXPECT_TRUE(item->state().checkable);
          EXPECT_EQ(bool(item->state().disabled), i == reference);
          QAccessibleActionInterface* actions = item->actionInterface();
          ASSERT_NE(actions, nullptr);
          // The toggle ticks and clears an image; the reference has none.
          EXPECT_EQ(actions->actionNames().contains(QAccessibleActionInterface::toggleAction()), i != reference);
          actions->doAction(QAccessibleActionInterface::toggleAction());
          EXPECT_EQ(targets->item(i)->checkState() == Qt::Checked, i != reference);
          EXPECT_EQ(bool(item->state().checked), i != reference);
          actions->doAction(QAccessibleActionInterface::toggleAction());
          EXPECT_EQ(targets->item(i)->checkState(), Qt::Unchecked);
        }
      }
    });
    EXPECT_TRUE(ran);
  }
}

TEST_F(ReadableContent, ColourSwatchesTellTheColourTheyShow) {
  GreyWindow(16, 12, 1, [](int x, int y) { return float(x * 16 + y); });
  struct TCase {
    const char* Action;
    std::function<QFrame*()> Swatch;
    std::function<QPushButton*()> Set;
    const char* Before;
  };
  const TCase cases[] = {
      {"ViewOptions", [] { return frmPreferences->pnlROIColour; }, [] { return frmPreferences->btnROIColour; },
       "red 255, green 255, blue 255"},
      {"ViewOptions", [] { return frmPreferences->pnlMkrColour; }, [] { return frmPreferences->btnMkrColour; },
       "red 255, green 255, blue 255"},
      {"Statistics3DVisu", [] { return frmSurfaceProperties->pnlColour; },
       [] { return frmSurfaceProperties->btnSetColour; }, "red 0, green 128, blue 128"},
  };
  // Three different parts, so that a swapped or dropped one shows.
  QColor chosen(18, 52, 86);
  const auto previous = StandardDialogs::SetColourHook([&](QColor& Colour) {
    Colour = chosen;
    return true;
  });
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Action);
    bool ran = false;
    WithDialog(c.Action, [&](QDialog* dialog) {
      ASSERT_NE(dialog, nullptr);
      ran = true;
      QFrame* swatch = c.Swatch();
      EXPECT_EQ(Description(swatch), QString::fromLatin1(c.Before));
      QTest::mouseClick(c.Set(), Qt::LeftButton);
      // What is read is what the swatch shows.
      const QColor shown = swatch->palette().color(QPalette::Window);
      EXPECT_EQ(shown, chosen);
      EXPECT_EQ(Description(swatch),
                QStringLiteral("red %1, green %2, blue %3").arg(shown.red()).arg(shown.green()).arg(shown.blue()));
    });
    EXPECT_TRUE(ran);
    chosen = chosen.lighter(150);
  }
  StandardDialogs::SetColourHook(previous);
}

// The two-thumb sliders of Linear Scale and Quick Scale give both values to
// assistive tools: the slider reads "low to high" as the boxes show them, each
// thumb is a slider of its own over the track (from the negative minimum),
// and a value set by an assistive tool moves the thumb as a drag would: the
// box follows, Linear Scale previews, Quick Scale applies the levels.
TEST_F(ReadableContent, RangeSlidersGiveBothValues) {
  TChildForm* grey = GreyWindow(32, 32, 3, [](int x, int y) { return float(x * 32 + y) - 50.0f; });  // -50 .. 973
  const struct {
    const char* Where;
    bool Dialog;
  } cases[] = {{"Linear Scale", true}, {"Quick Scale", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Where);
    Form->MDIArea()->setActiveSubWindow(grey);
    auto check = [&](TQVRSlider* slider, TFloatEdit* low, TFloatEdit* high, const std::function<int()>& previews) {
      QAccessibleInterface* s = Iface(slider);
      ASSERT_NE(s, nullptr);
      EXPECT_EQ(s->role(), QAccessible::Slider);
      EXPECT_FALSE(s->text(QAccessible::Name).isEmpty());
      EXPECT_EQ(s->text(QAccessible::Value), low->text() + QStringLiteral(" to ") + high->text());
      ASSERT_EQ(s->childCount(), 2);
      const char* names[] = {"Low", "High"};
      const float values[] = {slider->Val1, slider->Val2};
      for (int i = 0; i < 2; ++i) {
        QAccessibleInterface* thumb = s->child(i);
        ASSERT_NE(thumb, nullptr);
        EXPECT_EQ(s->indexOfChild(thumb), i);
        EXPECT_EQ(thumb->text(QAccessible::Name), QString::fromLatin1(names[i]));
        ASSERT_NE(thumb->valueInterface(), nullptr);
        EXPECT_DOUBLE_EQ(thumb->valueInterface()->currentValue().toDouble(), values[i]);
        EXPECT_DOUBLE_EQ(thumb->valueInterface()->minimumValue().toDouble(), -50.0);
        EXPECT_DOUBLE_EQ(thumb->valueInterface()->maximumValue().toDouble(), 973.0);
        EXPECT_EQ(thumb->text(QAccessible::Value), (i ? high : low)->text());
      }
      // An assistive tool sets the high value to 600.25: one track pixel is
      // 1023 / 256 of a level.
      const int before = previews();
      QAccessibleInterface* top = s->child(1);
      top->valueInterface()->setCurrentValue(600.25);
      EXPECT_NEAR(double(high->Value()), 600.25, 0.01);
      EXPECT_EQ(top->text(QAccessible::Value), high->text());
      EXPECT_EQ(s->text(QAccessible::Value), low->text() + QStringLiteral(" to ") + high->text());
      EXPECT_GT(previews(), before);
    };
    if (c.Dialog) {
      WithDialog("ScaleLinear", [&](QDialog* dialog) {
        ASSERT_EQ(dialog, frmLinear);
        check(frmLinear->QVRSlider, frmLinear->fedMin, frmLinear->fedMax, [&] {
          Settle(dialog);
          return frmLinear->PreviewCount();
        });
      });
    } else {
      frmQuickLinearScale->show();
      frmQuickLinearScale->EnableControls();
      frmQuickLinearScale->UpdateFromImage();
      // Applied: the image's white point follows the box, under "User".
      check(frmQuickLinearScale->QVRSlider, frmQuickLinearScale->fedMin, frmQuickLinearScale->fedMax, [&] {
        return frmQuickLinearScale->cmbPresets->currentIndex() == 2 &&
                       grey->DataImage->WhitePoint == float(frmQuickLinearScale->fedMax->Value())
                   ? 1
                   : 0;
      });
      frmQuickLinearScale->hide();
    }
  }
}
