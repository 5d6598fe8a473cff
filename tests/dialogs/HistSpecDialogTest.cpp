#include <QChartView>
#include <QComboBox>
#include <QLabel>
#include <QLineSeries>
#include <QSlider>
#include <QValueAxis>
#include <cmath>

#include "Processing2TestUtil.h"
#include "app/PreviewFrame.h"
#include "dialogs/HistSpecForm.h"
#include "engine/ColHistogramSpecification.h"
#include "engine/HistogramSpecification.h"

namespace {
using HistSpecDialog = Processing2Test;

// The routine of item Item run on a copy of Src.
std::unique_ptr<TDataImage> Specified(int Item, const TDataImage& Src, double Centre, double Width) {
  auto d = std::make_unique<TDataImage>();
  d->Allocate(Src.Width, Src.Height, Src.IsColour ? 0 : Src.DataType, Src.IsColour);
  const std::size_t n = std::size_t(Src.PixelCount());
  if (Src.IsColour)
    std::copy(Src.RGBPlane, Src.RGBPlane + n, d->RGBPlane);
  else
    std::copy(Src.Pixels, Src.Pixels + n, d->Pixels);
  if (Src.IsColour) {
    switch (Item) {
      case 0: ColHistogramEqualise(*d, Src); break;
      case 1: ColHistogramSpecGaussian(*d, Src, Centre, Width); break;
      case 2: ColHistogramSpecExponential(*d, Src, Centre); break;
      case 3: ColHistogramSpecParabolic(*d, Src); break;
      case 4: ColHistogramSpecCubic(*d, Src); break;
      default: ColHistogramSpecLinear(*d, Src); break;
    }
  } else {
    switch (Item) {
      case 0: HistogramEqualise(*d, Src); break;
      case 1: HistogramSpecGaussian(*d, Src, Centre, Width); break;
      case 2: HistogramSpecExponential(*d, Src, Centre); break;
      case 3: HistogramSpecParabolic(*d, Src); break;
      case 4: HistogramSpecCubic(*d, Src); break;
      default: HistogramSpecLinear(*d, Src); break;
    }
  }
  return d;
}

bool Same(const TDataImage& A, const TDataImage& B) {
  if (A.Width != B.Width || A.Height != B.Height || A.IsColour != B.IsColour) return false;
  const std::size_t n = std::size_t(A.PixelCount());
  if (A.IsColour) {
    for (std::size_t i = 0; i < n; ++i)
      if (A.RGBPlane[i].Red != B.RGBPlane[i].Red || A.RGBPlane[i].Green != B.RGBPlane[i].Green ||
          A.RGBPlane[i].Blue != B.RGBPlane[i].Blue)
        return false;
    return true;
  }
  return std::equal(A.Pixels, A.Pixels + n, B.Pixels);
}
}  // namespace

TEST_F(HistSpecDialog, EachTargetChartedPreviewedAndApplied) {
  TChildForm* grey = GreyWindow(50, 40, 1, [](int x, int y) { return float((x * x + 3 * y) % 3000); });
  TChildForm* colour = ColourWindow(30, 24, [](int x, int y) {
    return TRGBPixel{std::uint8_t(x * 5), std::uint8_t(y * 9), std::uint8_t((x * y) % 200)};
  });
  TLUT table;
  for (int i = 0; i < 256; ++i) table[std::size_t(i)] = std::uint8_t(255 - i);
  grey->DataImage->SetLUT(table);
  colour->DataImage->SetLUT(table);

  struct TCase {
    const char* Item;
    int Index;
    int Centre, Width;  // slider positions moved to (Gaussian only)
    int Points;         // points in the chart
    double MaxX;
  };
  const TCase cases[] = {
      {"Equalisation", 0, 128, 16, 256, 255}, {"Gaussian", 1, 128, 16, 256, 255}, {"Gaussian", 1, 60, 30, 256, 255},
      {"Exponential", 2, 0, 0, 4096, 4095},   {"Parabolic", 3, 0, 0, 256, 255},   {"Cubic", 4, 0, 0, 256, 255},
      {"Linear", 5, 0, 0, 256, 255},
  };
  for (TChildForm* source : {grey, colour}) {
    for (const TCase& c : cases) {
      SCOPED_TRACE(std::string(c.Item) + (source == colour ? " colour" : " grey") + " " + std::to_string(c.Centre));
      Form->MDIArea()->setActiveSubWindow(source);
      double centre = 0, width = 0;
      ASSERT_TRUE(RunCommand("ScaleHistogramSpec", [&](QDialog* d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral("Histogram Specification"));
        Pick(frmHistogramSpec->cmbFunction, QLatin1String(c.Item));
        // Only the Gaussian takes the two sliders.
        const bool gaussian = c.Index == 1;
        EXPECT_EQ(frmHistogramSpec->trkParam1->isEnabled(), gaussian);
        EXPECT_EQ(frmHistogramSpec->trkParam2->isEnabled(), gaussian);
        EXPECT_EQ(frmHistogramSpec->Label2->isEnabled(), gaussian);
        EXPECT_EQ(frmHistogramSpec->Label3->isEnabled(), gaussian);
        if (gaussian) {
          frmHistogramSpec->trkParam1->setFocus();
          while (frmHistogramSpec->trkParam1->value() > c.Centre) QTest::keyClick(frmHistogramSpec->trkParam1, Qt::Key_Left);
          while (frmHistogramSpec->trkParam1->value() < c.Centre) QTest::keyClick(frmHistogramSpec->trkParam1, Qt::Key_Right);
          frmHistogramSpec->trkParam2->setFocus();
          while (frmHistogramSpec->trkParam2->value() > c.Width) QTest::keyClick(frmHistogramSpec->trkParam2, Qt::Key_Left);
          while (frmHistogramSpec->trkParam2->value() < c.Width) QTest::keyClick(frmHistogramSpec->trkParam2, Qt::Key_Right);
        }
        // The parameters as the engine gets them: centre as is, width / 1024.
        centre = frmHistogramSpec->trkParam1->value();
        width = frmHistogramSpec->trkParam2->value() / 1024.0;
        Settle(d);
        // The chart: the red target curve over its points.
        const QList<QPointF> pts = frmHistogramSpec->Series1->points();
        EXPECT_EQ(pts.size(), c.Points);
        EXPECT_EQ(frmHistogramSpec->Series1->color(), QColor(Qt::red));
        double maxX = 0;
        for (const QPointF& p : pts) maxX = std::max(maxX, p.x());
        EXPECT_EQ(maxX, c.MaxX);
        if (gaussian) {
          // The curve peaks at the centre with 256.
          EXPECT_NEAR(pts[c.Centre].y(), 256.0, 1e-9);
          const double w = c.Width / 1024.0, dx = 200 - c.Centre;
          EXPECT_NEAR(pts[200].y(), 255 * std::exp(-w * w * dx * dx / 2) + 1, 1e-9);
        }
        TfmePreview* preview = frmHistogramSpec->fmePreview;
        ASSERT_TRUE(preview->HasImages());
        EXPECT_TRUE(Same(*preview->ResultImage, *Specified(c.Index, *preview->SourceImage, centre, width)));
        ClickOK(d);
      }));
      TChildForm* result = Form->ActiveMDIChild();
      ASSERT_NE(result, source);
      EXPECT_EQ(result->Caption(), QStringLiteral("Histogram Specification"));
      EXPECT_TRUE(Same(*result->DataImage, *Specified(c.Index, *source->DataImage, centre, width)));
      // OK resets the result's display table.
      for (int i = 0; i < 256; i += 51) EXPECT_EQ(result->DataImage->LUT[std::size_t(i)], i);
    }
  }
  // The choice and sliders stay for the next opening.
  ASSERT_TRUE(RunCommand("ScaleHistogramSpec", [&](QDialog*) {
    EXPECT_EQ(frmHistogramSpec->cmbFunction->currentText(), QStringLiteral("Linear"));
    EXPECT_EQ(frmHistogramSpec->trkParam1->value(), 60);
  }));
}

TEST_F(HistSpecDialog, AnImageTooFaintToMatchIsRefusedWithoutAWindow) {
  TChildForm* faint = GreyWindow(16, 16, 3, [](int x, int y) { return float(x + y) * 1e-6f; });
  const int before = WindowCount();
  bool open = false;
  ASSERT_TRUE(RunCommand("ScaleHistogramSpec", [&](QDialog* d) {
    Pick(frmHistogramSpec->cmbFunction, QStringLiteral("Linear"));
    Settle(d);
    Boxes.clear();
    ClickOK(d);
    open = d->isVisible();
  }));
  EXPECT_TRUE(open);
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0].Type, TMsgDlgType::mtWarning);
  EXPECT_EQ(WindowCount(), before);
  EXPECT_EQ(faint->DataImage->GetPixel(3, 4), 7e-6f);
}
