#include <QValueAxis>

#include "AnalysisTestUtil.h"
#include "analysis/ChartTools.h"
#include "analysis/HistogramForm.h"
#include "analysis/LinePlotForm.h"
#include "analysis/LinePlotSetupForm.h"
#include "analysis/RadialPlotForm.h"
#include "app/IntEdit.h"
#include "engine/ColStatistics.h"
#include "engine/Statistics.h"
#include "platform/FileDialog.h"

namespace {
QList<QPointF> Expected(const std::array<std::int32_t, 256>& Counts, long double Scale = 1) {
  QList<QPointF> p;
  for (int i = 0; i < 256; ++i) p.append(QPointF(qreal(i / Scale), Counts[std::size_t(i)]));
  return p;
}
std::vector<bool> Shown(const QList<QAbstractSeries*>& Series) {
  std::vector<bool> v;
  for (QAbstractSeries* s : Series) v.push_back(s->isVisible());
  return v;
}

class ChartWindowsTest : public AnalysisTest {
 protected:
  // The line plot command: row or column clicked, the position typed, then
  // Enter or OK. Gives the label as it reads and the limit the box had.
  std::pair<QString, int> LinePlot(bool Column, const QString& Typed, bool Enter = true) {
    std::pair<QString, int> seen;
    OnModal([&](QWidget*) {
      TfrmLinePlotSetup* f = frmLinePlotSetup;
      EXPECT_EQ(f->iedPosition->text(), QStringLiteral("0"));  // reset on every showing
      QTest::mouseClick(Column ? f->rbColumn : f->rbRow, Qt::LeftButton, {}, QPoint(4, f->rbRow->height() / 2));
      seen = {QString(f->lblPosition->text()).remove(QLatin1Char('&')), f->iedPosition->MaxValue()};
      f->iedPosition->setFocus();
      f->iedPosition->selectAll();
      QTest::keyClicks(f->iedPosition, Typed);
      if (Enter) QTest::keyClick(f->iedPosition, Qt::Key_Return);
      else QTest::mouseClick(f->OKButton(), Qt::LeftButton);
    });
    Command("StatisticsLinePlot");
    return seen;
  }
  QList<QAbstractSeries*> Histograms() const { return frmHistogram->Chart1->chart()->series(); }
};
}  // namespace

TEST_F(ChartWindowsTest, HistogramOfGreyImagesAndAreas) {
  // 0, 10, 10, 20: the maximum 20 gives the scale 12.75, and 10 falls in bin Round(127.5) = 128.
  GreyWindow(4, 1, 3, [](int x, int) { return float(x == 0 ? 0 : x == 3 ? 20 : 10); }, "Four");
  Command("StatisticsImageHisto");
  const QList<QPointF> points = frmHistogram->Series1->upperSeries()->points();
  ASSERT_EQ(points.size(), 256);
  EXPECT_EQ(points[0], QPointF(0, 1));
  EXPECT_EQ(points[128], QPointF(128 / 12.75, 2));
  EXPECT_EQ(points[255], QPointF(20, 1));
  EXPECT_FALSE(frmHistogram->cmbChannel->isEnabled());
  EXPECT_EQ(frmHistogram->cmbChannel->currentText(), QStringLiteral("Intensity"));
  EXPECT_TRUE(frmHistogram->Chart1->chart()->title().startsWith(QStringLiteral("Corvelle Image Histogram - Four<br>")));
  EXPECT_GT(PixelsNear(frmHistogram->Chart1, Qt::black), 1000);  // the filled curve
  TChildForm* big = GreyWindow(40, 30, 1, [](int x, int y) { return float((x * 7 + y * 13) % 300); }, "Big");
  DragRegion(big, {5, 4}, {30, 20});
  Command("StatisticsAreaHisto");
  TRegionHistogram h{};
  CalcRegionHistogram(5, 4, 30, 20, *big->DataImage, h);
  EXPECT_EQ(frmHistogram->Counts(0), Expected(h.Counts, h.Scale));
  EXPECT_TRUE(frmHistogram->Chart1->chart()->title().contains(QStringLiteral("Big - Area : [5, 4] - [30, 20]<br>")));
  // A maximum of 0: scale 1, x from 0 to 255.
  TChildForm* black = GreyWindow(3, 3, 0, [](int, int) { return 0.0f; }, "Black");
  Command("StatisticsImageHisto");
  CalcRegionHistogram(0, 0, 2, 2, *black->DataImage, h);
  EXPECT_EQ(frmHistogram->Counts(0), Expected(h.Counts, 1));
  // A zero maximum under negative values: the bins run from -5 up to 0
  // (Scale 51), and so does the horizontal axis.
  GreyWindow(2, 1, 3, [](int x, int) { return x == 0 ? -5.0f : 0.0f; }, "Negative");
  Errors.clear();
  Command("StatisticsImageHisto");
  std::erase(Errors, 0);
  EXPECT_EQ(Errors, std::vector<int>{});
  const QList<QPointF> negative = frmHistogram->Counts(0);
  ASSERT_EQ(negative.size(), 256);
  EXPECT_EQ(negative[0], QPointF(-5, 1));
  EXPECT_EQ(negative[255], QPointF(-5 + 255 / 51.0, 1));
  EXPECT_EQ(negative[128].y(), 0);
  const auto* axis = static_cast<QValueAxis*>(frmHistogram->Chart1->chart()->axes(Qt::Horizontal).first());
  EXPECT_LE(axis->min(), -5);
  EXPECT_GE(axis->max(), 0);
  EXPECT_LT(axis->max(), 5);
}

TEST_F(ChartWindowsTest, HistogramChannelsOfColourImagesAndLogAxis) {
  TChildForm* w = ColourWindow(16, 8, [](int x, int y) {
    return TRGBPixel{std::uint8_t(x * 16), std::uint8_t(y * 30), std::uint8_t(200 - x)};
  });
  QTest::mouseClick(frmHistogram->btnLog, Qt::LeftButton);  // before the first plot: log at once
  Command("StatisticsImageHisto");
  EXPECT_TRUE(frmHistogram->LogAxis());
  TColRegionHistogram h{};
  ColCalcRegionHistogram(0, 0, 15, 7, *w->DataImage, h);
  int s = 0;
  for (const auto* counts : {&h.Intensity, &h.Red, &h.Green, &h.Blue}) EXPECT_EQ(frmHistogram->Counts(s++), Expected(*counts));
  for (const QPointF& p : frmHistogram->Series2->points()) EXPECT_GE(p.y(), 1.0);  // empty bins on the floor
  QTest::mouseClick(frmHistogram->btnLog, Qt::LeftButton);
  EXPECT_FALSE(frmHistogram->LogAxis());
  const std::vector<std::vector<bool>> shown = {
      {true, false, false, false}, {false, true, true, true}, {false, true, false, false},
      {false, false, true, false}, {false, false, false, true}};
  QComboBox* list = frmHistogram->cmbChannel;
  list->setFocus();
  for (int item : {1, 2, 3, 4, 0}) {
    while (list->currentIndex() != item) QTest::keyClick(list, list->currentIndex() < item ? Qt::Key_Down : Qt::Key_Up);
    EXPECT_EQ(Shown(Histograms()), shown[std::size_t(item)]);
  }
  // A colour plot keeps the channel chosen; a grey one goes back to "Intensity".
  list->setCurrentIndex(2);
  Command("StatisticsImageHisto");
  EXPECT_EQ(Shown(Histograms()), shown[2]);
  GreyWindow(4, 4, 0, [](int x, int) { return float(x); });
  Command("StatisticsImageHisto");
  EXPECT_EQ(list->currentIndex(), 0);
  EXPECT_FALSE(list->isEnabled());
  EXPECT_EQ(Shown(Histograms()), shown[0]);
}

TEST_F(ChartWindowsTest, ChartToolsSaveCopyAndPrint) {
  QTemporaryDir dir;
  GreyWindow(32, 32, 0, [](int x, int y) { return float((x * y) % 256); });
  Command("StatisticsImageHisto");
  TChartTools* tools = frmHistogram->Tools;
  EXPECT_EQ(tools->btnSave->toolTip() + "|" + tools->btnSave->statusTip(), QStringLiteral("Save|Save the histogram"));
  // Save: a bare name gets ".bmp"; PIL reads a 24-bit bitmap on white of the chart's size.
  auto previous = TFileDialog::SetHook([&](TFileDialog& D) {
    EXPECT_TRUE(D.OverwritePrompt);
    EXPECT_EQ(D.Filter, QStringLiteral("Windows Bitmap Files (*.bmp)|*.bmp|All Files (*.*)|*.*"));
    return D.FileName = dir.filePath("chart"), true;
  });
  QTest::mouseClick(tools->btnSave, Qt::LeftButton);
  TFileDialog::SetHook(previous);
  const QSize size = frmHistogram->Chart1->viewport()->size();
  EXPECT_EQ(RunTool("/usr/bin/python3", {"-c",
                                         "import sys; from PIL import Image; im = Image.open(sys.argv[1]); "
                                         "print(im.format, im.tile[0][3][0], im.getpixel((0, 0)), im.size)",
                                         dir.filePath("chart.bmp")}).trimmed(),
            QStringLiteral("BMP BGR (255, 255, 255) (%1, %2)").arg(size.width()).arg(size.height()));
  QApplication::clipboard()->clear();
  QTest::mouseClick(tools->btnCopy, Qt::LeftButton);
  EXPECT_EQ(QApplication::clipboard()->image().size(), size);
  // Print: a landscape page, and the printer keeps its own orientation.
  const QString pdf = dir.filePath("chart.pdf");
  ReportPrinter().setOutputFormat(QPrinter::PdfFormat);
  ReportPrinter().setOutputFileName(pdf);
  ReportPrinter().setPageOrientation(QPageLayout::Portrait);
  QTest::mouseClick(tools->btnPrint, Qt::LeftButton);
  const QStringList page = PdfInfo(pdf, "Page size").split(' ');  // "W x H pts"
  EXPECT_TRUE(page.size() > 2 && page[0].toDouble() > page[2].toDouble());
  EXPECT_EQ(ReportPrinter().pageLayout().orientation(), QPageLayout::Portrait);
  // Hovering a tool shows the long hint on the main window's status bar.
  const std::pair<QToolButton*, QString> hints[] = {{tools->btnPrint, "Print the histogram"},
                                                    {frmHistogram->btnLog, "Log scale the intensity axis"},
                                                    {frmLinePlot->Tools->btnCopy, "Copy the line plot to the clipboard"},
                                                    {frmRadialPlot->Tools->btnSave, "Save the histogram"}};
  for (const auto& [button, hint] : hints) {
    QStatusTipEvent tip(button->statusTip());
    QApplication::sendEvent(button, &tip);
    EXPECT_EQ(Form->PanelText(0), hint);
  }
}

TEST_F(ChartWindowsTest, LinePlotsOfRowsAndColumns) {
  TChildForm* grey = GreyWindow(7, 5, 3, [](int x, int y) { return 0.25f * float(x * x) - float(10 * y); }, "Grey");
  const struct {
    bool Column, Enter;
    QString Typed, Label;
    int Max, Used;
  } cases[] = {{false, true, "3", "Row", 4, 3}, {true, false, "6", "Column", 6, 6}, {true, true, "99", "Column", 6, 6}};
  for (const auto& c : cases) {
    EXPECT_EQ(LinePlot(c.Column, c.Typed, c.Enter), std::make_pair(c.Label, c.Max));
    ASSERT_TRUE(frmLinePlot->isVisible());
    EXPECT_TRUE(frmLinePlot->Chart1->chart()->title().contains(QString(c.Column ? " - Col [%1]<br>" : " - Row [%1]<br>").arg(c.Used)));
    // Stairs: (i, v_i), (i + 1, v_i) along the row or column.
    const QList<QPointF> stairs = frmLinePlot->Series1->points();
    ASSERT_EQ(stairs.size(), c.Column ? 10 : 14);
    for (int i = 0; i < stairs.size() / 2; ++i) {
      const float v = c.Column ? grey->DataImage->GetPixel(c.Used, i) : grey->DataImage->GetPixel(i, c.Used);
      EXPECT_TRUE(stairs[2 * i] == QPointF(i, v) && stairs[2 * i + 1] == QPointF(i + 1, v)) << i;
    }
    EXPECT_FALSE(frmLinePlot->cmbChannel->isEnabled());
  }
  // Colour: the intensity is the unrounded mean; the item chosen stays.
  TChildForm* colour = ColourWindow(6, 3, [](int x, int y) {
    return TRGBPixel{std::uint8_t(2 + x), std::uint8_t(2 * y), std::uint8_t(1 + 40 * x)};
  });
  frmLinePlot->cmbChannel->setCurrentIndex(2);
  LinePlot(true, "5");
  EXPECT_TRUE(frmLinePlot->cmbChannel->isEnabled() && frmLinePlot->cmbChannel->currentIndex() == 2);
  EXPECT_EQ(Shown(frmLinePlot->Chart1->chart()->series()), (std::vector<bool>{false, true, false, false}));
  for (int y = 0; y < 3; ++y) {
    TRGBPixel p;
    colour->DataImage->GetRGB(5, y, p);
    EXPECT_DOUBLE_EQ(frmLinePlot->Samples(0)[std::size_t(y)], (p.Red + p.Green + p.Blue) / 3.0);
    EXPECT_EQ(frmLinePlot->Samples(3)[std::size_t(y)], p.Blue);
  }
  EXPECT_EQ(frmLinePlot->Series2->at(3).y(), 5 * 40 + 1);  // red at row 1
  EXPECT_GT(PixelsNear(frmLinePlot->Chart1, Qt::red), 20);
  // One pixel high: row 0 only, whatever is typed; rows longer than 65536 are whole.
  GreyWindow(70001, 1, 1, [](int x, int) { return float(x % 1000 + 1); });
  EXPECT_EQ(LinePlot(false, "3"), std::make_pair(QString("Row"), 0));
  EXPECT_TRUE(frmLinePlot->Chart1->chart()->title().contains(" - Row [0]<br>"));
  EXPECT_EQ(frmLinePlot->Samples(0).size(), 70001u);
  EXPECT_EQ(frmLinePlot->Series1->count(), 140002);
  EXPECT_EQ(frmLinePlot->Series1->at(140001), QPointF(70001, 1));  // 70000 % 1000 + 1
  // Flat rows get a value axis of some height, also where a step of 1 is lost in the rounding.
  for (const float flat : {7.0f, 1e17f}) {
    GreyWindow(5, 2, 3, [flat](int, int) { return flat; });
    LinePlot(false, "1");
    const auto* axis = qobject_cast<QValueAxis*>(frmLinePlot->Chart1->chart()->axes(Qt::Vertical).first());
    EXPECT_TRUE(axis->min() <= flat && flat <= axis->max() && axis->min() < axis->max()) << flat;
  }
}
