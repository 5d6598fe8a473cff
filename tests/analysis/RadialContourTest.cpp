#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QLineSeries>
#include <QPushButton>
#include <QScatterSeries>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

#include "AnalysisTestUtil.h"
#include "analysis/ContourPlotForm.h"
#include "analysis/RadialPlotForm.h"
#include "app/FloatEdit.h"
#include "app/IntEdit.h"
#include "app/Utilities.h"
#include "engine/ContourPlot.h"
#include "engine/Measure.h"

namespace {
struct TOracle {
  int Pixels = 0;
  double Min = 0, Max = 0, Sigma = 0, FWHM = 0;
  int CurvePoints = 0;
};

// The independent numpy computation for the window's image and centroid.
TOracle RadialOracle(const TDataImage& Image, float CX, float CY, int R) {
  QTemporaryDir dir;
  const QString plane = dir.filePath("plane.f32");
  QFile f(plane);
  EXPECT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(reinterpret_cast<const char*>(Image.Pixels), qint64(Image.PixelCount() * 4));
  f.close();
  const QString out = RunTool(QStringLiteral("/usr/bin/python3"),
                              {QStringLiteral(CORVELLE_SOURCE_DIR "/tests/oracles/radial_plot.py"), plane,
                               QString::number(Image.Width), QString::number(Image.Height),
                               QString::number(double(CX), 'g', 9), QString::number(double(CY), 'g', 9),
                               QString::number(R)});
  const QStringList v = out.simplified().split(QLatin1Char(' '));
  TOracle o;
  if (v.size() != 6) {
    ADD_FAILURE() << out.toStdString();
    return o;
  }
  o.Pixels = v[0].toInt();
  o.Min = v[1].toDouble();
  o.Max = v[2].toDouble();
  o.Sigma = v[3].toDouble();
  o.FWHM = v[4].toDouble();
  o.CurvePoints = v[5].toInt();
  return o;
}

class RadialContourTest : public AnalysisTest {
 protected:
  // A Gaussian star of width S (sigma) at (X, Y) on a sky of 10.
  TChildForm* Star(int W, int H, double X, double Y, double S, const QString& Caption = QStringLiteral("Star")) {
    return GreyWindow(W, H, 3, [=](int x, int y) {
      return float(10 + 1000 * std::exp(-((x - X) * (x - X) + (y - Y) * (y - Y)) / (2 * S * S)));
    }, Caption);
  }
  void SelectRadius(int R) {
    QComboBox* c = frmRadialPlot->cmbRadius;
    c->setFocus();
    while (c->currentIndex() != R - 3) QTest::keyClick(c, c->currentIndex() < R - 3 ? Qt::Key_Down : Qt::Key_Up);
  }
};
}  // namespace

TEST_F(RadialContourTest, RadialPlotOfGaussianStarsAgainstNumpy) {
  struct {
    double X, Y, S;
    QPoint From, To;
    std::vector<int> Radii;  // chosen in turn in the open window
  } cases[] = {
      {20, 20, 2.2, {12, 12}, {28, 28}, {4, 3, 10}},
      // The centroid on a half pixel: Round's windows and the disc's rectangle differ by one.
      {20.5, 20.5, 1.6, {13, 13}, {28, 28}, {3, 5, 11, 12}},
      {17.25, 21, 3.0, {9, 13}, {26, 29}, {4, 6, 9}},
  };
  for (const auto& c : cases) {
    TChildForm* w = Star(45, 45, c.X, c.Y, c.S);
    DragRegion(w, c.From, c.To);
    float cx = 0, cy = 0;
    ASSERT_TRUE(CalcCentroid(cx, cy, *w));
    bool shown = false;
    OnModal([&](QWidget* d) {
      shown = d == frmRadialPlot;
      for (int r : c.Radii) {
        SelectRadius(r);
        const TOracle o = RadialOracle(*w->DataImage, cx, cy, r);
        EXPECT_EQ(frmRadialPlot->Series2->count(), o.Pixels) << c.X << " R " << r;
        EXPECT_EQ(frmRadialPlot->Series1->count(), o.CurvePoints) << c.X << " R " << r;
        EXPECT_NEAR(frmRadialPlot->FWHM, o.FWHM, 0.02 * o.FWHM) << c.X << " R " << r;
        EXPECT_NEAR(frmRadialPlot->FWHM, o.FWHM, 1e-5 * o.FWHM) << c.X << " R " << r;
        EXPECT_EQ(frmRadialPlot->Maximum, float(o.Max));
        // The model peaks at the maximum at x = 0 and the pixels lie at -d.
        const QList<QPointF> curve = frmRadialPlot->Series1->points();
        EXPECT_EQ(curve.first().x(), -r);
        EXPECT_NEAR(curve[r * 20].y(), o.Max, 1e-3);
        for (const QPointF& p : frmRadialPlot->Series2->points()) EXPECT_LE(p.x(), 0.0);
        const QString title = frmRadialPlot->Chart->chart()->title();
        EXPECT_TRUE(title.startsWith(QStringLiteral("Corvelle Image Radial Plot - Star - Centroid [%1, %2]<br>Radius [%3] FWHM [%4] ")
                                         .arg(double(cx), 0, 'f', 2)
                                         .arg(double(cy), 0, 'f', 2)
                                         .arg(r)
                                         .arg(o.FWHM, 0, 'f', 2)))
            << title.toStdString();
      }
      SelectRadius(4);
      d->close();
    });
    Command("StatisticsRadialPplot");
    EXPECT_TRUE(shown);
    EXPECT_TRUE(Boxes.empty()) << Boxes.front().Text.toStdString();
  }
}

TEST_F(RadialContourTest, RadialCurvePointCountsFromSingleSteps) {
  // 40R points up to R = 9 (t overshoots 2R), 40R + 1 from 10 on.
  const std::pair<int, int> cases[] = {{3, 120}, {4, 160}, {9, 360}, {10, 401}, {11, 441}, {12, 481}};
  for (const auto& [r, n] : cases) EXPECT_EQ(RadialCurvePoints(r), n) << r;
}

TEST_F(RadialContourTest, RadialPlotRefusals) {
  const char* const EdgeText =
      "Corvelle Image cannot perform a radial plot because the defined area is too close to the edge of the image.";
  struct {
    const char* What;
    std::function<TChildForm*()> Make;
    QPoint From, To;
    bool Shown;
    QString Box;
  } cases[] = {
      // cx - R = 0 exactly is accepted; 3.5 - 4 is refused.
      {"edge 0", [this] { return Star(30, 30, 4, 15, 1.5); }, {0, 7}, {8, 23}, true, {}},
      {"edge -0.5", [this] { return Star(30, 30, 3.5, 15, 1.5); }, {0, 7}, {7, 23}, false, EdgeText},
      {"bottom edge", [this] { return Star(30, 30, 15, 26, 1.5); }, {7, 22}, {23, 29}, false, EdgeText},
      {"colour", [this] { return ColourWindow(30, 30, [](int, int) { return TRGBPixel{1, 2, 3}; }); }, {5, 5}, {20, 20},
       false, QStringLiteral("Radial plots cannot be generated for colour images.")},
      // Two bright corners put the centroid in an all-zero disc: a zero maximum, no plot.
      {"zero disc", [this] { return GreyWindow(41, 41, 3, [](int x, int y) { return (x == 10 && y == 10) || (x == 30 && y == 30) ? 100.0f : 0.0f; }); },
       {10, 10}, {30, 30}, false, {}},
      // A flat top wider than the disc: sigma 0, no plot.
      {"flat disc", [this] { return GreyWindow(41, 41, 3, [](int x, int y) { return (x - 20) * (x - 20) + (y - 20) * (y - 20) <= 64 ? 50.0f : 0.0f; }); },
       {5, 5}, {35, 35}, false, {}},
  };
  for (const auto& c : cases) {
    TChildForm* w = c.Make();
    DragRegion(w, c.From, c.To);
    Boxes.clear();
    bool opened = false;
    CloseAnyModal(opened);
    Command("StatisticsRadialPplot");
    FlushModal();
    EXPECT_EQ(opened, c.Shown) << c.What;
    if (c.Box.isEmpty()) {
      EXPECT_TRUE(Boxes.empty()) << c.What;
    } else {
      ASSERT_EQ(Boxes.size(), 1u) << c.What;
      EXPECT_EQ(Boxes[0].Text, c.Box) << c.What;
    }
  }
}

TEST_F(RadialContourTest, RadiusTooLargeKeepsTheOldPlot) {
  TChildForm* w = Star(41, 41, 9, 20, 1.8);
  DragRegion(w, {3, 14}, {15, 26});
  QList<QPointF> before, after;
  OnModal([&](QWidget* d) {
    before = frmRadialPlot->Series2->points();
    frmRadialPlot->cmbRadius->setCurrentIndex(9);  // picked from the list: 9 - 12 < 0
    after = frmRadialPlot->Series2->points();
    d->close();
  });
  Command("StatisticsRadialPplot");
  EXPECT_GT(before.size(), 40);
  EXPECT_EQ(after, before);
  ASSERT_FALSE(Boxes.empty());
  EXPECT_TRUE(Boxes.back().Text.contains(QStringLiteral("too close to the edge")));
  frmRadialPlot->cmbRadius->setCurrentIndex(1);
}

namespace {
// The contour plot the engine draws into a fresh copy of Source.
std::vector<float> EngineContours(TChildForm* Source, int Count, int Cell, float Min, float Max, float Value) {
  TDataImage copy;
  CopyImageData(*Source->DataImage, copy);
  DrawContours(Count, Cell, copy, Min, Max, Value, *Source->DataImage);
  return std::vector<float>(copy.Pixels, copy.Pixels + copy.PixelCount());
}
std::vector<float> PixelsOf(TChildForm* W) {
  return std::vector<float>(W->DataImage->Pixels, W->DataImage->Pixels + W->DataImage->PixelCount());
}
}  // namespace

TEST_F(RadialContourTest, ContourPlotIntoANewWindow) {
  // A cone: distance from the centre, 0 .. about 45.
  TChildForm* src = GreyWindow(64, 48, 3, [](int x, int y) { return float(std::hypot(x - 30.0, y - 22.0)); }, "Cone");
  float mn = 2e32f, mx = 0;
  for (int i = 0; i < 64 * 48; ++i) {
    mn = std::min(mn, src->DataImage->Pixels[i]);
    mx = std::max(mx, src->DataImage->Pixels[i]);
  }
  struct {
    int Detail;
    int Cell;  // the table: "Very low" 8, "Low" 6, "Medium" 4, "High" 2
    QString Contours;
    QString Value;
  } cases[] = {{0, 8, "10", ""}, {1, 6, "4", "99"}, {2, 4, "7", "-3"}, {3, 2, "4", ""}};
  for (const auto& c : cases) {
    Form->MDIArea()->setActiveSubWindow(src);
    QString proposedMin, proposedMax, proposedValue;
    OnModal([&](QWidget*) {
      TfrmContourPlot* f = frmContourPlot;
      proposedMin = f->fedMin->text();
      proposedMax = f->fedMax->text();
      proposedValue = f->fedValue->text();
      f->cmbDetail->setCurrentIndex(c.Detail);
      f->iedContours->setText(c.Contours);
      if (!c.Value.isEmpty()) f->fedValue->setText(c.Value);
      QTest::mouseClick(f->OKButton(), Qt::LeftButton);
    });
    const int windows = WindowCount();
    Command("StatisticsContour");
    EXPECT_EQ(proposedMin, QString::number(double(mn), 'g', 15));
    EXPECT_EQ(proposedMax, QString::number(double(mx), 'g', 15));
    EXPECT_EQ(proposedValue, proposedMax);
    ASSERT_EQ(WindowCount(), windows + 1);
    TChildForm* result = Form->ActiveMDIChild();
    ASSERT_NE(result, src);
    EXPECT_EQ(result->Caption(), QStringLiteral("Contour Plot"));
    const float value = c.Value.isEmpty() ? mx : c.Value.toFloat();
    const std::vector<float> expected = EngineContours(src, c.Contours.toInt(), c.Cell, mn, mx, value);
    EXPECT_EQ(PixelsOf(result), expected) << c.Detail;
    // Lines are there: pixels of the value where the cone had none.
    int drawn = 0;
    for (int i = 0; i < 64 * 48; ++i) drawn += result->DataImage->Pixels[i] == value && src->DataImage->Pixels[i] != value;
    EXPECT_GT(drawn, 20) << c.Detail;
  }
  EXPECT_TRUE(Boxes.empty());
}

TEST_F(RadialContourTest, ContourPlotRefusals) {
  struct {
    const char* What;
    std::function<TChildForm*()> Make;
    QString Min, Max, Contours;
    bool Dialog;
    TMsgDlgType Type;
    QString Box;
  } cases[] = {
      {"colour", [this] { return ColourWindow(20, 20, [](int, int) { return TRGBPixel{}; }); }, "", "", "", false,
       TMsgDlgType::mtWarning, QStringLiteral("Contour plots can only be done on grey scale images.")},
      {"min not below max", [this] { return GreyWindow(20, 20, 3, [](int x, int) { return float(x); }); }, "7", "7", "",
       true, TMsgDlgType::mtError, QStringLiteral("The minimum value must be less than the maximum value.")},
      // A flat-field ratio from 0 to 2 with 10 contours: a step of 0 would never end.
      {"step 0", [this] { return GreyWindow(20, 20, 3, [](int x, int) { return x / 9.5f; }); }, "", "", "", true,
       TMsgDlgType::mtWarning, QStringLiteral("The level range is too small for the number of contours.")},
      {"step 0.5", [this] { return GreyWindow(20, 20, 3, [](int x, int) { return float(x); }); }, "0", "5", "10", true,
       TMsgDlgType::mtWarning, QStringLiteral("The level range is too small for the number of contours.")},
  };
  for (const auto& c : cases) {
    c.Make();
    Boxes.clear();
    const int windows = WindowCount();
    bool stayed = false, opened = false;
    if (c.Dialog) {
      OnModal([&](QWidget* d) {
        opened = true;
        TfrmContourPlot* f = frmContourPlot;
        if (!c.Min.isEmpty()) f->fedMin->setText(c.Min);
        if (!c.Max.isEmpty()) f->fedMax->setText(c.Max);
        if (!c.Contours.isEmpty()) f->iedContours->setText(c.Contours);
        QTest::mouseClick(f->OKButton(), Qt::LeftButton);
        stayed = d->isVisible();
        QTest::mouseClick(f->CancelButton(), Qt::LeftButton);
      });
    } else {
      CloseAnyModal(opened);
    }
    Command("StatisticsContour");
    FlushModal();
    EXPECT_EQ(opened, c.Dialog) << c.What;
    EXPECT_EQ(stayed, c.Dialog) << c.What;
    EXPECT_EQ(WindowCount(), windows) << c.What;
    ASSERT_EQ(Boxes.size(), 1u) << c.What;
    EXPECT_EQ(Boxes[0].Type, c.Type) << c.What;
    EXPECT_EQ(Boxes[0].Text, c.Box) << c.What;
    frmContourPlot->iedContours->SetValue(10);
  }
}

TEST_F(RadialContourTest, AllNegativeImageProposesAZeroMaximum) {
  TChildForm* src = GreyWindow(24, 24, 3, [](int x, int y) { return -50.0f + float(std::hypot(x - 12.0, y - 12.0)); });
  QString proposedMin, proposedMax;
  OnModal([&](QWidget*) {
    proposedMin = frmContourPlot->fedMin->text();
    proposedMax = frmContourPlot->fedMax->text();
    frmContourPlot->iedContours->setText(QStringLiteral("5"));
    QTest::mouseClick(frmContourPlot->OKButton(), Qt::LeftButton);
  });
  Command("StatisticsContour");
  EXPECT_EQ(proposedMin, QStringLiteral("-50"));
  EXPECT_EQ(proposedMax, QStringLiteral("0"));
  TChildForm* result = Form->ActiveMDIChild();
  ASSERT_NE(result, src);
  EXPECT_EQ(result->Caption(), QStringLiteral("Contour Plot"));
  EXPECT_EQ(PixelsOf(result), EngineContours(src, 5, 8, -50, 0, 0));
  EXPECT_NE(PixelsOf(result), PixelsOf(src));
  EXPECT_TRUE(Boxes.empty());
}
