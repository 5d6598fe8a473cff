// The chart windows on a real sky image (a galaxy field from astropy's test
// data) as a user sees them. With CORVELLE_SCREENSHOT_DIR set, each window's
// picture is saved there as a PNG to be looked at.
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDir>
#include <QMdiArea>
#include <QPushButton>
#include <QToolButton>
#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>

#include "AnalysisTestUtil.h"
#include "analysis/ContourPlotForm.h"
#include "analysis/HistogramForm.h"
#include "analysis/LinePlotForm.h"
#include "analysis/LinePlotSetupForm.h"
#include "analysis/RadialPlotForm.h"
#include "analysis/StatisticsFormEx.h"
#include "app/FileManager.h"
#include "app/IntEdit.h"

namespace {
void Keep(QWidget* W, const char* Name) {
  if (const char* dir = std::getenv("CORVELLE_SCREENSHOT_DIR"))
    W->grab().save(QDir(QString::fromLocal8Bit(dir)).filePath(QString::fromLatin1(Name) + QStringLiteral(".png")));
}
// Pixels of Image inside R near colour C.
int Near(const QImage& Image, QRect R, QColor C) {
  int n = 0;
  for (int y = std::max(0, R.top()); y <= std::min(Image.height() - 1, R.bottom()); ++y)
    for (int x = std::max(0, R.left()); x <= std::min(Image.width() - 1, R.right()); ++x) {
      const QColor p = Image.pixelColor(x, y);
      n += std::abs(p.red() - C.red()) < 50 && std::abs(p.green() - C.green()) < 50 && std::abs(p.blue() - C.blue()) < 50;
    }
  return n;
}
QRect PlotArea(QChartView* View) { return View->chart()->plotArea().toRect(); }
}  // namespace

using ChartScreenshot = AnalysisTest;

TEST_F(ChartScreenshot, ChartsOfAGalaxyField) {
  QTemporaryDir dir;
  const QString fits = dir.filePath(QStringLiteral("galaxy.fits"));
  RunTool(QStringLiteral("/usr/bin/python3"),
          {QStringLiteral("-c"),
           QStringLiteral("import sys; from astropy.io import fits; import astropy, os\n"
                          "src = os.path.join(os.path.dirname(astropy.__file__), 'io/fits/tests/data/comp.fits')\n"
                          "fits.PrimaryHDU(fits.open(src)[1].data).writeto(sys.argv[1])"),
           fits});
  Form->resize(1200, 800);
  OpenImageFile(fits);
  TChildForm* w = Form->ActiveMDIChild();
  ASSERT_NE(w, nullptr);
  const TDataImage& img = *w->DataImage;
  ASSERT_EQ(img.Width, 440);
  ASSERT_EQ(img.Height, 300);

  // Histogram: a filled black curve in the plot area, both axis titles.
  Command("StatisticsImageHisto");
  frmHistogram->resize(640, 420);
  QTest::qWait(20);
  QImage shot = frmHistogram->grab().toImage();
  const QPoint chartAt = frmHistogram->Chart1->mapTo(frmHistogram, QPoint(0, 0));
  EXPECT_GT(Near(shot, PlotArea(frmHistogram->Chart1).translated(chartAt), Qt::black), 500);
  EXPECT_TRUE(frmHistogram->Chart1->chart()->title().contains(QStringLiteral("galaxy.fits")));
  Keep(frmHistogram, "histogram");
  // On the log axis the filled curve still stands on the floor.
  QTest::mouseClick(frmHistogram->btnLog, Qt::LeftButton);
  QTest::qWait(20);
  shot = frmHistogram->grab().toImage();
  EXPECT_GT(Near(shot, PlotArea(frmHistogram->Chart1).translated(chartAt), Qt::black), 500);
  Keep(frmHistogram, "histogram_log");
  QTest::mouseClick(frmHistogram->btnLog, Qt::LeftButton);

  // Line plot through the galaxy's core: a black profile.
  OnModal([](QWidget*) {
    frmLinePlotSetup->iedPosition->setText(QStringLiteral("150"));
    QTest::mouseClick(frmLinePlotSetup->OKButton(), Qt::LeftButton);
  });
  Command("StatisticsLinePlot");
  frmLinePlot->resize(640, 420);
  QTest::qWait(20);
  shot = frmLinePlot->grab().toImage();
  EXPECT_GT(Near(shot, PlotArea(frmLinePlot->Chart1).translated(frmLinePlot->Chart1->mapTo(frmLinePlot, QPoint())), Qt::black), 300);
  Keep(frmLinePlot, "lineplot");

  // Radial plot of the brightest star in the left third.
  int sx = 0, sy = 0;
  float best = -1;
  for (int y = 20; y < img.Height - 20; ++y)
    for (int x = 20; x < 140; ++x)
      if (img.GetPixel(x, y) > best) best = img.GetPixel(x, y), sx = x, sy = y;
  DragRegion(w, {sx - 7, sy - 7}, {sx + 7, sy + 7});
  bool plotted = false;
  OnModal([&](QWidget* d) {
    frmRadialPlot->cmbRadius->setCurrentIndex(4);
    d->resize(640, 440);
    QTest::qWait(20);
    const QImage s = d->grab().toImage();
    const QRect area = PlotArea(frmRadialPlot->Chart).translated(frmRadialPlot->Chart->mapTo(d, QPoint()));
    plotted = Near(s, area, Qt::red) > 40 && Near(s, area, QColor(0, 255, 0)) > 40;
    Keep(d, "radialplot");
    d->close();
  });
  Command("StatisticsRadialPplot");
  EXPECT_TRUE(plotted);
  EXPECT_GT(frmRadialPlot->FWHM, 0.5f);
  EXPECT_LT(frmRadialPlot->FWHM, 15.0f);

  // Statistics of the whole image, then contours into a new window.
  Command("StatisticsImageStats");
  frmStatisticsResults->resize(800, 160);
  Keep(frmStatisticsResults, "statistics");
  Form->MDIArea()->setActiveSubWindow(w);
  OnModal([](QWidget*) {
    frmContourPlot->cmbDetail->setCurrentIndex(2);
    QTest::mouseClick(frmContourPlot->OKButton(), Qt::LeftButton);
  });
  Command("StatisticsContour");
  TChildForm* contours = Form->ActiveMDIChild();
  ASSERT_NE(contours, w);
  int drawn = 0;
  for (std::int64_t i = 0; i < img.PixelCount(); ++i) drawn += contours->DataImage->Pixels[i] != img.Pixels[i];
  EXPECT_GT(drawn, 500);
  contours->resize(470, 340);
  Keep(contours, "contours");
}
