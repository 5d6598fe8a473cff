#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineSeries>
#include <QMdiArea>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "AnalysisTestUtil.h"
#include "analysis/ChartTools.h"
#include "analysis/HistogramForm.h"
#include "analysis/LinePlotForm.h"
#include "analysis/LinePlotSetupForm.h"
#include "app/IntEdit.h"
#include "engine/ColStatistics.h"
#include "engine/Statistics.h"
#include "platform/FileDialog.h"

namespace {
class ChartWindowsTest : public AnalysisTest {
 protected:
  static QList<QPointF> Expected(const std::array<std::int32_t, 256>& Counts, long double Scale = 1) {
    QList<QPointF> p;
    for (int i = 0; i < 256; ++i) p.append(QPointF(qreal(i / Scale), Counts[std::size_t(i)]));
    return p;
  }
  static std::vector<bool> Shown(std::initializer_list<QAbstractSeries*> Series) {
    std::vector<bool> v;
    for (QAbstractSeries* s : Series) v.push_back(s->isVisible());
    return v;
  }
  // Pixels of the chart as shown whose colour is near C.
  static int PixelsLike(QChartView* View, QColor C) {
    const QImage image = ChartOnWhite(View);
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) {
        const QColor p = image.pixelColor(x, y);
        if (std::abs(p.red() - C.red()) < 40 && std::abs(p.green() - C.green()) < 40 && std::abs(p.blue() - C.blue()) < 40) ++n;
      }
    return n;
  }
  // Runs the line plot command: row or column, the position typed, Enter.
  void LinePlot(bool Column, const QString& Typed) {
    OnModal([Column, Typed](QWidget*) {
      TfrmLinePlotSetup* f = frmLinePlotSetup;
      QTest::mouseClick(Column ? f->rbColumn : f->rbRow, Qt::LeftButton, {}, QPoint(4, f->rbRow->height() / 2));
      f->iedPosition->setFocus();
      f->iedPosition->selectAll();
      QTest::keyClicks(f->iedPosition, Typed);
      QTest::keyClick(f->iedPosition, Qt::Key_Return);
    });
    Command("StatisticsLinePlot");
  }
};
}  // namespace

TEST_F(ChartWindowsTest, HistogramOfGreyImagesAndAreas) {
  // 0, 10, 10, 20: the maximum 20 gives the scale 12.75, and 10 falls in bin
  // Round(127.5) = 128.
  TChildForm* w = GreyWindow(4, 1, 3, [](int x, int) { return float(x == 0 ? 0 : x == 3 ? 20 : 10); }, "Four");
  Command("StatisticsImageHisto");
  ASSERT_TRUE(frmHistogram->isVisible());
  QList<QPointF> points = frmHistogram->Counts(0);
  ASSERT_EQ(points.size(), 256);
  EXPECT_EQ(points[0], QPointF(0, 1));
  EXPECT_EQ(points[128].y(), 2);
  EXPECT_NEAR(points[128].x(), 128 / 12.75, 1e-9);
  EXPECT_EQ(points[255], QPointF(20, 1));
  int total = 0;
  for (const QPointF& p : points) total += int(p.y());
  EXPECT_EQ(total, 4);
  // The area series shows exactly these counts; the list is off on "Intensity".
  EXPECT_EQ(frmHistogram->Series1->upperSeries()->points(), points);
  EXPECT_FALSE(frmHistogram->cmbChannel->isEnabled());
  EXPECT_EQ(frmHistogram->cmbChannel->currentText(), QStringLiteral("Intensity"));
  EXPECT_TRUE(frmHistogram->Chart1->chart()->title().startsWith(QStringLiteral("Corvelle Image Histogram - Four<br>")));
  EXPECT_GT(PixelsLike(frmHistogram->Chart1, Qt::black), 50);

  // An area: the engine's counts over the dragged rectangle.
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
  points = frmHistogram->Counts(0);
  ASSERT_EQ(points.size(), 256);
  EXPECT_EQ(points.first().x(), 0);
  EXPECT_EQ(points.last().x(), 255);
  CalcRegionHistogram(0, 0, 2, 2, *black->DataImage, h);
  EXPECT_EQ(points, Expected(h.Counts, 1));

  // A maximum of 0 under negative values fails in the engine, which reports
  // it: nothing is plotted rather than a stale or garbage record.
  GreyWindow(2, 1, 3, [](int x, int) { return x == 0 ? -5.0f : 0.0f; }, "Negative");
  Errors.clear();
  Command("StatisticsImageHisto");
  EXPECT_EQ(Errors, std::vector<int>{errCalcRegionHistogram});
  EXPECT_TRUE(frmHistogram->Counts(0).isEmpty());
  EXPECT_TRUE(frmHistogram->Series1->upperSeries()->points().isEmpty());
  (void)w;
}

TEST_F(ChartWindowsTest, HistogramChannelsOfColourImagesAndLogAxis) {
  TChildForm* w = ColourWindow(16, 8, [](int x, int y) {
    return TRGBPixel{std::uint8_t(x * 16), std::uint8_t(y * 30), std::uint8_t(200 - x)};
  });
  // Log pressed before the first plot: the axis is logarithmic at once.
  QTest::mouseClick(frmHistogram->btnLog, Qt::LeftButton);
  Command("StatisticsImageHisto");
  EXPECT_TRUE(frmHistogram->LogAxis());
  TColRegionHistogram h{};
  ColCalcRegionHistogram(0, 0, 15, 7, *w->DataImage, h);
  EXPECT_EQ(frmHistogram->Counts(0), Expected(h.Intensity));
  EXPECT_EQ(frmHistogram->Counts(1), Expected(h.Red));
  EXPECT_EQ(frmHistogram->Counts(2), Expected(h.Green));
  EXPECT_EQ(frmHistogram->Counts(3), Expected(h.Blue));
  // On the log axis empty bins sit on the floor of 1 instead of vanishing.
  for (const QPointF& p : frmHistogram->Series2->points()) EXPECT_GE(p.y(), 1.0);
  EXPECT_TRUE(frmHistogram->cmbChannel->isEnabled());

  struct {
    int Item;
    std::vector<bool> Shown;
  } cases[] = {{1, {false, true, true, true}}, {2, {false, true, false, false}}, {3, {false, false, true, false}},
               {4, {false, false, false, true}}, {0, {true, false, false, false}}};
  QTest::mouseClick(frmHistogram->btnLog, Qt::LeftButton);
  EXPECT_FALSE(frmHistogram->LogAxis());
  for (const auto& c : cases) {
    frmHistogram->cmbChannel->setFocus();
    while (frmHistogram->cmbChannel->currentIndex() != c.Item)
      QTest::keyClick(frmHistogram->cmbChannel, frmHistogram->cmbChannel->currentIndex() < c.Item ? Qt::Key_Down : Qt::Key_Up);
    EXPECT_EQ(Shown({frmHistogram->Series1, frmHistogram->Series2, frmHistogram->Series3, frmHistogram->Series4}), c.Shown)
        << c.Item;
  }
  // A colour plot keeps the channel chosen; a grey one goes back to "Intensity".
  frmHistogram->cmbChannel->setCurrentIndex(2);
  Command("StatisticsImageHisto");
  EXPECT_EQ(Shown({frmHistogram->Series1, frmHistogram->Series2, frmHistogram->Series3, frmHistogram->Series4}),
            (std::vector<bool>{false, true, false, false}));
  EXPECT_GT(PixelsLike(frmHistogram->Chart1, Qt::red), 20);
  GreyWindow(4, 4, 0, [](int x, int) { return float(x); });
  Command("StatisticsImageHisto");
  EXPECT_EQ(frmHistogram->cmbChannel->currentIndex(), 0);
  EXPECT_FALSE(frmHistogram->cmbChannel->isEnabled());
  EXPECT_TRUE(frmHistogram->Series1->isVisible());
  EXPECT_FALSE(frmHistogram->Series2->isVisible());
}

TEST_F(ChartWindowsTest, ChartToolsSaveCopyAndPrint) {
  QTemporaryDir dir;
  GreyWindow(32, 32, 0, [](int x, int y) { return float((x * y) % 256); });
  Command("StatisticsImageHisto");
  TChartTools* tools = frmHistogram->Tools;
  EXPECT_EQ(tools->btnSave->toolTip(), QStringLiteral("Save"));
  EXPECT_EQ(tools->btnSave->statusTip(), QStringLiteral("Save the histogram"));
  EXPECT_EQ(tools->btnCopy->accessibleName(), QStringLiteral("Copy"));

  // Save: a bare name gets ".bmp"; the file is a 24-bit bitmap on white.
  const QString name = dir.filePath("chart");
  bool asked = false;
  auto previous = TFileDialog::SetHook([&](TFileDialog& D) {
    asked = D.OverwritePrompt && D.Filter == QStringLiteral("Windows Bitmap Files (*.bmp)|*.bmp|All Files (*.*)|*.*");
    D.FileName = name;
    return true;
  });
  QTest::mouseClick(tools->btnSave, Qt::LeftButton);
  TFileDialog::SetHook(previous);
  EXPECT_TRUE(asked);
  const QString probe = RunTool(QStringLiteral("/usr/bin/python3"),
                                {QStringLiteral("-c"),
                                 QStringLiteral("import sys; from PIL import Image; im = Image.open(sys.argv[1]); "
                                                "print(im.format, im.mode, im.getpixel((0, 0)), im.size)"),
                                 name + QStringLiteral(".bmp")});
  const QSize size = frmHistogram->Chart1->viewport()->size();
  EXPECT_EQ(probe.trimmed(), QStringLiteral("BMP RGB (255, 255, 255) (%1, %2)").arg(size.width()).arg(size.height()));
  QFile bmp(name + QStringLiteral(".bmp"));
  ASSERT_TRUE(bmp.open(QIODevice::ReadOnly));
  const QByteArray head = bmp.read(30);
  EXPECT_EQ(int(std::uint8_t(head[28])), 24);

  // Copy: the same picture on the clipboard.
  QApplication::clipboard()->clear();
  QTest::mouseClick(tools->btnCopy, Qt::LeftButton);
  const QImage copied = QApplication::clipboard()->image();
  EXPECT_EQ(copied.size(), size);
  EXPECT_EQ(copied.pixelColor(0, 0), QColor(Qt::white));

  // Print: a landscape page, and the printer keeps its own orientation.
  const QString pdf = dir.filePath("chart.pdf");
  ReportPrinter().setOutputFormat(QPrinter::PdfFormat);
  ReportPrinter().setOutputFileName(pdf);
  ReportPrinter().setPageOrientation(QPageLayout::Portrait);
  QTest::mouseClick(tools->btnPrint, Qt::LeftButton);
  const QSizeF page = PdfPageSize(pdf);
  EXPECT_GT(page.width(), page.height());
  EXPECT_EQ(ReportPrinter().pageLayout().orientation(), QPageLayout::Portrait);
  EXPECT_TRUE(RunTool(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")}).contains(QStringLiteral("Frequency")));
}

TEST_F(ChartWindowsTest, LinePlotSetupLimitsAndLabel) {
  GreyWindow(7, 5, 0, [](int x, int y) { return float(x + 10 * y); });
  struct {
    bool Column;
    QString Typed;
    QString Label;
    int Max;
    int Used;
  } cases[] = {{false, "3", "Row", 4, 3},     {true, "6", "Column", 6, 6}, {true, "99", "Column", 6, 6},
               {false, "99", "Row", 4, 4},    {false, "0", "Row", 4, 0}};
  for (const auto& c : cases) {
    QString label;
    int max = -1;
    OnModal([&](QWidget* d) {
      TfrmLinePlotSetup* f = frmLinePlotSetup;
      EXPECT_EQ(d->windowTitle(), QStringLiteral("Line Plot Parameters"));
      EXPECT_EQ(f->iedPosition->text(), QStringLiteral("0"));  // reset on every showing
      QTest::mouseClick(c.Column ? f->rbColumn : f->rbRow, Qt::LeftButton, {}, QPoint(4, f->rbRow->height() / 2));
      label = f->lblPosition->text();
      max = f->iedPosition->MaxValue();
      f->iedPosition->setFocus();
      f->iedPosition->selectAll();
      QTest::keyClicks(f->iedPosition, c.Typed);
      QTest::mouseClick(f->OKButton(), Qt::LeftButton);
    });
    Command("StatisticsLinePlot");
    EXPECT_EQ(label, c.Label);
    EXPECT_EQ(max, c.Max);
    ASSERT_TRUE(frmLinePlot->isVisible());
    EXPECT_TRUE(frmLinePlot->Chart1->chart()->title().contains(
        (c.Column ? QStringLiteral(" - Col [%1]<br>") : QStringLiteral(" - Row [%1]<br>")).arg(c.Used)))
        << frmLinePlot->Chart1->chart()->title().toStdString();
    EXPECT_EQ(frmLinePlot->Samples(0).size(), c.Column ? 5u : 7u);
    EXPECT_EQ(frmLinePlot->Samples(0)[1], c.Column ? c.Used + 10 : 1 + 10 * c.Used);
  }
  // One pixel high: row 0 is the only row, whatever is typed.
  GreyWindow(5, 1, 0, [](int x, int) { return float(x + 1); });
  LinePlot(false, "3");
  EXPECT_TRUE(frmLinePlot->Chart1->chart()->title().contains(QStringLiteral(" - Row [0]<br>")));
  EXPECT_EQ(frmLinePlot->Samples(0), (std::vector<double>{1, 2, 3, 4, 5}));
}

TEST_F(ChartWindowsTest, LinePlotProfilesAsStairs) {
  TChildForm* grey = GreyWindow(9, 6, 3, [](int x, int y) { return 0.25f * float(x * x) - float(y); }, "Grey");
  LinePlot(false, "4");
  std::vector<double> row;
  for (int x = 0; x < 9; ++x) row.push_back(grey->DataImage->GetPixel(x, 4));
  EXPECT_EQ(frmLinePlot->Samples(0), row);
  const QList<QPointF> stairs = frmLinePlot->Series1->points();
  ASSERT_EQ(stairs.size(), 18);
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(stairs[2 * i], QPointF(i, row[std::size_t(i)]));
    EXPECT_EQ(stairs[2 * i + 1], QPointF(i + 1, row[std::size_t(i)]));
  }
  EXPECT_FALSE(frmLinePlot->cmbChannel->isEnabled());
  EXPECT_GT(PixelsLike(frmLinePlot->Chart1, Qt::black), 50);

  // Colour: the intensity is the unrounded mean; the item chosen stays.
  TChildForm* colour = ColourWindow(6, 3, [](int x, int y) {
    return TRGBPixel{std::uint8_t(2 + x), std::uint8_t(2 * y), std::uint8_t(1 + 40 * x)};
  }, "Colour");
  frmLinePlot->cmbChannel->setCurrentIndex(2);
  LinePlot(true, "5");
  EXPECT_EQ(frmLinePlot->cmbChannel->currentIndex(), 2);
  EXPECT_TRUE(frmLinePlot->cmbChannel->isEnabled());
  EXPECT_FALSE(frmLinePlot->Series1->isVisible());
  EXPECT_TRUE(frmLinePlot->Series2->isVisible());
  for (int y = 0; y < 3; ++y) {
    TRGBPixel p;
    colour->DataImage->GetRGB(5, y, p);
    EXPECT_DOUBLE_EQ(frmLinePlot->Samples(0)[std::size_t(y)], (p.Red + p.Green + p.Blue) / 3.0);
    EXPECT_EQ(frmLinePlot->Samples(1)[std::size_t(y)], p.Red);
    EXPECT_EQ(frmLinePlot->Samples(2)[std::size_t(y)], p.Green);
    EXPECT_EQ(frmLinePlot->Samples(3)[std::size_t(y)], p.Blue);
  }
  EXPECT_DOUBLE_EQ(frmLinePlot->Samples(0)[1], (201 + 2 + 7) / 3.0);
  EXPECT_GT(PixelsLike(frmLinePlot->Chart1, Qt::red), 20);
  // Back to grey: "Intensity", the list off.
  Form->MDIArea()->setActiveSubWindow(grey);
  LinePlot(true, "0");
  EXPECT_EQ(frmLinePlot->cmbChannel->currentIndex(), 0);
  EXPECT_FALSE(frmLinePlot->cmbChannel->isEnabled());
  EXPECT_EQ(frmLinePlot->Samples(0).size(), 6u);
}

TEST_F(ChartWindowsTest, LinePlotOfARowLongerThan65536) {
  TChildForm* w = GreyWindow(70001, 2, 1, [](int x, int y) { return float((x + y) % 1000); }, "Wide");
  LinePlot(false, "1");
  ASSERT_EQ(frmLinePlot->Samples(0).size(), 70001u);
  EXPECT_EQ(frmLinePlot->Samples(0)[70000], w->DataImage->GetPixel(70000, 1));
  EXPECT_EQ(frmLinePlot->Series1->count(), 140002);
}
