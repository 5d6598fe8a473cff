#include <QLabel>
#include <QLineSeries>
#include <QSlider>
#include <cmath>

#include "Processing2TestUtil.h"
#include "app/PreviewFrame.h"
#include "dialogs/HistSpecForm.h"
#include "engine/ColHistogramSpecification.h"
#include "engine/HistogramSpecification.h"

using HistSpecDialog = Processing2Test;

namespace {
std::unique_ptr<TDataImage> Specified(int Item, const TDataImage& Src, double Centre, double Width) {
  return RunOn(Src, [&](TDataImage& D, TDataImage& S) {
    const bool c = S.IsColour;
    switch (Item) {
      case 0: c ? ColHistogramEqualise(D, S) : HistogramEqualise(D, S); break;
      case 1: c ? ColHistogramSpecGaussian(D, S, Centre, Width) : HistogramSpecGaussian(D, S, Centre, Width); break;
      case 2: c ? ColHistogramSpecExponential(D, S, Centre) : HistogramSpecExponential(D, S, Centre); break;
      case 3: c ? ColHistogramSpecParabolic(D, S) : HistogramSpecParabolic(D, S); break;
      case 4: c ? ColHistogramSpecCubic(D, S) : HistogramSpecCubic(D, S); break;
      default: c ? ColHistogramSpecLinear(D, S) : HistogramSpecLinear(D, S); break;
    }
  });
}
}  // namespace

TEST_F(HistSpecDialog, EachTargetChartedPreviewedAndApplied) {
  TChildForm* grey = GreyWindow(50, 40, 1, [](int x, int y) { return float((x * x + 3 * y) % 3000); });
  TChildForm* colour = ColourWindow(30, 24, [](int x, int y) { return TRGBPixel{std::uint8_t(x * 5), std::uint8_t(y * 9), 40}; });
  TLUT table;
  for (int i = 0; i < 256; ++i) table[std::size_t(i)] = std::uint8_t(255 - i);
  grey->DataImage->SetLUT(table);
  struct TCase {
    const char* Item;
    int Index, Centre, Width, Points;
    double X0;  // the curve's value at x = 0
  };
  const TCase cases[] = {
      {"Equalisation", 0, 128, 16, 256, 128}, {"Gaussian", 1, 60, 30, 256, 255 * std::exp(-std::pow(30 / 1024.0 * 60, 2) / 2) + 1},
      {"Exponential", 2, 60, 30, 4096, 256},  {"Parabolic", 3, 60, 30, 256, 255 - 255 / std::pow(255 / 128.0 + 1, 2)},
      {"Cubic", 4, 60, 30, 256, 255 - 255 / std::pow(255 / 128.0 + 1, 3)}, {"Linear", 5, 60, 30, 256, 255},
  };
  for (TChildForm* source : {grey, colour})
    for (const TCase& c : cases) {
      SCOPED_TRACE(std::string(c.Item) + (source == colour ? " colour" : " grey"));
      Form->MDIArea()->setActiveSubWindow(source);
      ASSERT_TRUE(RunCommand("ScaleHistogramSpec", [&](QDialog* d) {
        Pick(frmHistogramSpec->cmbFunction, QLatin1String(c.Item));
        const bool gaussian = c.Index == 1;  // only the Gaussian takes the sliders
        EXPECT_TRUE(frmHistogramSpec->trkParam1->isEnabled() == gaussian && frmHistogramSpec->Label3->isEnabled() == gaussian);
        for (auto [slider, to] : {std::pair{frmHistogramSpec->trkParam1, c.Centre}, {frmHistogramSpec->trkParam2, c.Width}}) {
          slider->setFocus();
          for (int i = 0; gaussian && slider->value() != to && i < 300; ++i)
            QTest::keyClick(slider, slider->value() > to ? Qt::Key_Left : Qt::Key_Right);
        }
        Settle(d);
        const QList<QPointF> pts = frmHistogramSpec->Series1->points();
        EXPECT_EQ(pts.size(), c.Points);
        EXPECT_EQ(frmHistogramSpec->Series1->color(), QColor(Qt::red));
        for (const QPointF& p : pts) EXPECT_TRUE(p.x() != 0 || std::fabs(p.y() - c.X0) < 1e-9) << p.y();
        EXPECT_TRUE(!gaussian || pts[c.Centre].y() == 256);
        const TfmePreview* preview = frmHistogramSpec->fmePreview;
        EXPECT_TRUE(SameImage(*preview->ResultImage, *Specified(c.Index, *preview->SourceImage, 60, 30 / 1024.0)));
        ClickOK(d);
      }));
      TChildForm* result = Form->ActiveMDIChild();
      EXPECT_EQ(result->Caption(), QStringLiteral("Histogram Specification"));
      EXPECT_TRUE(SameImage(*result->DataImage, *Specified(c.Index, *source->DataImage, 60, 30 / 1024.0)));
      EXPECT_EQ(result->DataImage->LUT[0], 0);  // OK resets the display table
    }
  // An image too faint to match is refused with a warning and no window.
  GreyWindow(16, 16, 3, [](int x, int y) { return float(x + y) * 1e-6f; });
  const int before = WindowCount();
  Boxes.clear();
  ASSERT_TRUE(RunCommand("ScaleHistogramSpec", [&](QDialog* d) {
    ClickOK(d);
    EXPECT_TRUE(d->isVisible());
  }));
  EXPECT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(WindowCount(), before);
}
