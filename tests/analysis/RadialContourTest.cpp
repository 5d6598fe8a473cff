#include "AnalysisTestUtil.h"
#include "analysis/ContourPlotForm.h"
#include "analysis/RadialPlotForm.h"
#include "app/FloatEdit.h"
#include "app/IntEdit.h"
#include "app/Utilities.h"
#include "engine/ContourPlot.h"
#include "engine/Measure.h"

#include <random>

namespace {
// The independent numpy/scipy radial plot for an image and centroid: pixel
// count, minimum, maximum, fitted sigma, FWHM, curve points, curve peak.
std::vector<double> RadialOracle(const TDataImage& Image, float CX, float CY, int R) {
  QTemporaryDir dir;
  QFile f(dir.filePath("plane.f32"));
  EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(reinterpret_cast<const char*>(Image.Pixels), Image.PixelCount() * 4));
  f.close();
  std::vector<double> v;
  for (const QString& s : RunTool("/usr/bin/python3", {CORVELLE_SOURCE_DIR "/tests/oracles/radial_plot.py", f.fileName(),
                                                       QString::number(Image.Width), QString::number(Image.Height),
                                                       QString::number(CX, 'g', 9), QString::number(CY, 'g', 9),
                                                       QString::number(R)}).simplified().split(' '))
    v.push_back(s.toDouble());
  EXPECT_EQ(v.size(), 7u);
  v.resize(7);
  return v;
}
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

class RadialContourTest : public AnalysisTest {
 protected:
  // A Gaussian star of sigma S at (X, Y) on a sky of 10.
  TChildForm* Star(int W, int H, double X, double Y, double S) {
    return GreyWindow(W, H, 3, [=](int x, int y) {
      return float(10 + 1000 * std::exp(-((x - X) * (x - X) + (y - Y) * (y - Y)) / (2 * S * S)));
    }, "Star");
  }
};
}  // namespace

TEST_F(RadialContourTest, RadialPlotOfGaussianStarsAgainstNumpy) {
  const struct {
    double X, Y, S;
    QPoint From, To;
    std::vector<int> Radii;  // picked in turn in the open window
  } cases[] = {
      {20, 20, 2.2, {12, 12}, {28, 28}, {5, 10}},
      // A centroid on a half pixel: Round's loop and the disc's rectangle differ by one.
      {20.5, 20.5, 1.6, {13, 13}, {28, 28}, {4, 5, 11, 12}},
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
        frmRadialPlot->cmbRadius->setCurrentIndex(r - 3);
        const std::vector<double> o = RadialOracle(*w->DataImage, cx, cy, r);
        EXPECT_EQ(frmRadialPlot->Series2->count(), int(o[0])) << c.X << " R " << r;
        EXPECT_EQ(frmRadialPlot->Maximum, float(o[2]));
        EXPECT_NEAR(frmRadialPlot->FWHM, o[4], 1e-4 * o[4]) << c.X << " R " << r;
        EXPECT_NEAR(frmRadialPlot->FWHM, 2.3548 * c.S, 0.03 * 2.3548 * c.S) << c.X << " R " << r;
        EXPECT_EQ(frmRadialPlot->Series1->count(), int(o[5])) << c.X << " R " << r;
        // The fitted curve peaks at x = 0.
        EXPECT_NEAR(frmRadialPlot->Series1->at(r * 20).y(), o[6], 1e-3 * o[6]);
        EXPECT_TRUE(frmRadialPlot->Chart->chart()->title().startsWith(
            QString("Corvelle Image Radial Plot - Star - Centroid [%1, %2]<br>Radius [%3] FWHM [%4] ")
                .arg(double(cx), 0, 'f', 2).arg(double(cy), 0, 'f', 2).arg(r).arg(o[4], 0, 'f', 2)));
      }
      EXPECT_TRUE(PixelsNear(frmRadialPlot->Chart, Qt::red) > 40 && PixelsNear(frmRadialPlot->Chart, Qt::green) > 40);
      frmRadialPlot->cmbRadius->setCurrentIndex(1);
      d->close();
    });
    Command("StatisticsRadialPplot");
    EXPECT_TRUE(shown);
    EXPECT_TRUE(Boxes.empty());
  }
  // 40R curve points up to R = 9 (the Single t overshoots 2R), 40R + 1 from 10 on.
  for (const auto& [r, n] : {std::pair{3, 120}, {9, 360}, {10, 401}, {11, 441}, {12, 481}}) EXPECT_EQ(RadialCurvePoints(r), n);
}

// Noisy Gaussian stars at random sub-pixel centres: the FWHM is the star's,
// 2 sigma sqrt(2 ln 2), whatever radius from 2 sigma up is chosen. Stars of
// sigma 0.5 to 0.85 are those of undersampled frames (FWHM 1.18 to 2.00
// pixels): a fit that never looked below sigma 1 would give 2.35 for them.
TEST_F(RadialContourTest, RadialPlotFWHMIsTheStarsWidthAtEveryRadius) {
  std::mt19937 rng(2028);
  std::uniform_real_distribution<double> frac(0.0, 1.0);
  std::normal_distribution<double> noise(0.0, 2.0);
  for (const double s : {1.0, 1.7, 2.5, 3.3, 4.0, 0.5, 0.6, 0.72, 0.85}) {
    const double X = 32 + frac(rng), Y = 31 + frac(rng), truth = 2 * s * std::sqrt(2 * std::log(2.0));
    std::vector<float> plane(64 * 64);
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 64; ++x)
        plane[std::size_t(y * 64 + x)] =
            float(100 + 1000 * std::exp(-((x - X) * (x - X) + (y - Y) * (y - Y)) / (2 * s * s)) + noise(rng));
    TChildForm* w = GreyWindow(64, 64, 3, [&](int x, int y) { return plane[std::size_t(y * 64 + x)]; }, "Star");
    const int h = int(std::ceil(3 * s)) + 2;
    DragRegion(w, QPoint(int(X) - h, int(Y) - h), QPoint(int(X) + h, int(Y) + h));
    std::vector<float> seen;
    OnModal([&](QWidget* d) {
      for (int r = 3; r <= 12; ++r) {
        if (r < 2 * s) continue;
        frmRadialPlot->cmbRadius->setCurrentIndex(r - 3);
        EXPECT_NEAR(frmRadialPlot->FWHM, truth, 0.03 * truth) << "sigma " << s << " R " << r;
        seen.push_back(frmRadialPlot->FWHM);
      }
      d->close();
    });
    Command("StatisticsRadialPplot");
    ASSERT_FALSE(seen.empty()) << s;
    EXPECT_LT(*std::max_element(seen.begin(), seen.end()) / *std::min_element(seen.begin(), seen.end()), 1.03) << s;
    EXPECT_TRUE(Boxes.empty());
  }
}

TEST_F(RadialContourTest, RadialPlotRefusals) {
  const QString edge = QStringLiteral(
      "Corvelle Image cannot perform a radial plot because the defined area is too close to the edge of the image.");
  const struct {
    const char* What;
    std::function<TChildForm*()> Make;
    QPoint From, To;
    bool Shown;
    QString Box;
  } cases[] = {
      // cx - R = 0 exactly is accepted; 3.5 - 4 is refused.
      {"edge 0", [this] { return Star(30, 30, 4, 15, 1.5); }, {0, 7}, {8, 23}, true, {}},
      {"edge -0.5", [this] { return Star(30, 30, 3.5, 15, 1.5); }, {0, 7}, {7, 23}, false, edge},
      {"colour", [this] { return ColourWindow(30, 30, [](int, int) { return TRGBPixel{1, 2, 3}; }); }, {5, 5}, {20, 20},
       false, "Radial plots cannot be generated for colour images."},
      // Two bright corners put the centroid in an all-zero disc: a zero maximum.
      {"zero disc", [this] { return GreyWindow(41, 41, 3, [](int x, int y) { return x == y && (x == 10 || x == 30) ? 100.0f : 0.0f; }); },
       {10, 10}, {30, 30}, false,
       "Corvelle Image cannot perform a radial plot because no pixel within the radius of the centroid is above zero."},
      // Negative data: the centroid is found, the maximum stays at its seed 0.
      {"negative disc", [this] { return GreyWindow(41, 41, 3, [](int x, int y) { return std::hypot(x - 20, y - 20) <= 6 ? -5.0f : -50.0f; }); },
       {5, 5}, {35, 35}, false,
       "Corvelle Image cannot perform a radial plot because no pixel within the radius of the centroid is above zero."},
      // A flat top wider than the disc: sigma 0.
      {"flat disc", [this] { return GreyWindow(41, 41, 3, [](int x, int y) { return std::hypot(x - 20, y - 20) <= 8 ? 50.0f : 0.0f; }); },
       {5, 5}, {35, 35}, false,
       "Corvelle Image cannot perform a radial plot because every pixel within the radius of the centroid has the same "
       "value."},
  };
  for (const auto& c : cases) {
    DragRegion(c.Make(), c.From, c.To);
    Boxes.clear();
    bool opened = false;
    OnModal([&](QWidget* d) { opened = true, d->close(); }, true);
    Command("StatisticsRadialPplot");
    QCoreApplication::processEvents();
    EXPECT_EQ(opened, c.Shown) << c.What;
    EXPECT_EQ(Boxes.size(), c.Box.isEmpty() ? 0u : 1u) << c.What;
    if (!Boxes.empty()) {
      EXPECT_EQ(Boxes[0].Text, c.Box) << c.What;
    }
  }
}

TEST_F(RadialContourTest, ContourPlotIntoANewWindow) {
  TChildForm* cone = GreyWindow(64, 48, 3, [](int x, int y) { return float(std::hypot(x - 30.0, y - 22.0)); }, "Cone");
  TChildForm* negative = GreyWindow(24, 24, 3, [](int x, int y) { return -50.0f + float(std::hypot(x - 12.0, y - 12.0)); });
  const float coneMax = float(std::hypot(33.0, 25.0));
  // Levels 0 to 9 in 10 contours: a step of 0.9, which rounds to 1 and is drawn.
  TChildForm* terraces = GreyWindow(40, 40, 3, [](int x, int y) { return std::min(9.0f, float(std::hypot(x - 20.0, y - 20.0)) / 2.5f); });
  const struct {
    TChildForm* Source;
    int Detail, Cell;  // "Very low" 8, "Low" 6, "Medium" 4, "High" 2
    QString Contours, Value;
    float Min, Max;  // proposed: scans from 2e32 and 0
  } cases[] = {{cone, 0, 8, "10", "", 0, coneMax},   {cone, 1, 6, "4", "99", 0, coneMax},
               {cone, 2, 4, "7", "-3", 0, coneMax},  {cone, 3, 2, "4", "", 0, coneMax},
               // All negative: the maximum proposed is 0 and the minimum stays negative.
               {negative, 0, 8, "5", "", -50, 0},
               {terraces, 3, 2, "10", "", 0, 9}};
  for (const auto& c : cases) {
    Form->MDIArea()->setActiveSubWindow(c.Source);
    QStringList proposed;
    OnModal([&](QWidget* d) {
      TfrmContourPlot* f = frmContourPlot;
      proposed = {f->fedMin->text(), f->fedMax->text(), f->fedValue->text()};
      f->cmbDetail->setCurrentIndex(c.Detail);
      f->iedContours->setText(c.Contours);
      if (!c.Value.isEmpty()) f->fedValue->setText(c.Value);
      QTest::mouseClick(f->OKButton(), Qt::LeftButton);
      // A refused OK keeps the dialog: leave it, so the count below fails.
      if (d->isVisible()) QTest::mouseClick(f->CancelButton(), Qt::LeftButton);
    });
    const int windows = WindowCount();
    Command("StatisticsContour");
    const QString mx = QString::number(double(c.Max), 'g', 15);
    EXPECT_EQ(proposed, (QStringList{QString::number(double(c.Min), 'g', 15), mx, mx}));
    ASSERT_EQ(WindowCount(), windows + 1) << c.Min << " to " << c.Max << " in " << c.Contours.toStdString();
    TChildForm* result = Form->ActiveMDIChild();
    EXPECT_EQ(result->Caption(), "Contour Plot");
    const float value = c.Value.isEmpty() ? c.Max : c.Value.toFloat();
    const std::vector<float> drawn = PixelsOf(result), source = PixelsOf(c.Source);
    EXPECT_EQ(drawn, EngineContours(c.Source, c.Contours.toInt(), c.Cell, c.Min, c.Max, value)) << c.Detail;
    EXPECT_GT(std::count(drawn.begin(), drawn.end(), value), std::count(source.begin(), source.end(), value) + 20);
  }
  EXPECT_TRUE(Boxes.empty());
}

TEST_F(RadialContourTest, ContourPlotRefusals) {
  const QString tooSmall = "The level range is too small for the number of contours.";
  const QString levelsApart = "Corvelle Image cannot draw the contour plot because its levels lie too far apart, or "
                              "too far from zero, to be stepped through in whole numbers.";
  const QString valuesTooLarge = "Corvelle Image cannot draw the contour plot because the image's values are too "
                                 "large: their sums over a cell exceed the range of single-precision numbers.";
  const QString notFinite = "Corvelle Image cannot draw the contour plot because the image holds values that are not "
                            "numbers or are infinite.";
  auto extreme = [](int x, int y) { return (x + y) % 3 ? 3.0e38f : -3.0e38f; };
  const struct {
    std::function<TChildForm*()> Make;
    QString Min, Max, Contours;
    bool Dialog;
    TMsgDlgType Type;
    QString Box;
  } cases[] = {
      {[this] { return ColourWindow(20, 20, [](int, int) { return TRGBPixel{}; }); }, "", "", "", false,
       TMsgDlgType::mtWarning, "Contour plots can only be done on grey scale images."},
      {[this] { return GreyWindow(20, 20, 3, [](int x, int) { return float(x); }); }, "7", "7", "", true,
       TMsgDlgType::mtError, "The minimum value must be less than the maximum value."},
      // A flat-field ratio from 0 to 2 with 10 contours: a step of 0 would never end; 0.5 rounds to 0 too.
      {[this] { return GreyWindow(20, 20, 3, [](int x, int) { return x / 9.5f; }); }, "", "", "", true,
       TMsgDlgType::mtWarning, tooSmall},
      {[this] { return GreyWindow(20, 20, 3, [](int x, int) { return float(x); }); }, "0", "5", "10", true,
       TMsgDlgType::mtWarning, tooSmall},
      // Values of about +-3e38: their own levels step by 6e37, no whole
      // number; levels near 0 leave cell sums beyond the Single range. The
      // copy made for the result goes again.
      {[this, extreme] { return GreyWindow(20, 20, 3, extreme); }, "", "", "", true, TMsgDlgType::mtWarning, levelsApart},
      {[this, extreme] { return GreyWindow(20, 20, 3, extreme); }, "-1000", "1000", "", true, TMsgDlgType::mtWarning,
       valuesTooLarge},
      // A NaN or an infinity among ordinary values: the values, not their size.
      {[this] { return GreyWindow(20, 20, 3, [](int x, int y) { return x == 9 && y == 8 ? NAN : float(x * y); }); },
       "0", "300", "", true, TMsgDlgType::mtWarning, notFinite},
      {[this] { return GreyWindow(20, 20, 3, [](int x, int y) { return x == 4 && y == 11 ? INFINITY : float(x + y); }); },
       "0", "30", "", true, TMsgDlgType::mtWarning, notFinite},
  };
  for (const auto& c : cases) {
    c.Make();
    Boxes.clear();
    const int windows = WindowCount();
    bool stayed = false;
    OnModal([&](QWidget* d) {
      TfrmContourPlot* f = frmContourPlot;
      if (!c.Min.isEmpty()) f->fedMin->setText(c.Min);
      if (!c.Max.isEmpty()) f->fedMax->setText(c.Max);
      if (!c.Contours.isEmpty()) f->iedContours->setText(c.Contours);
      QTest::mouseClick(f->OKButton(), Qt::LeftButton);
      stayed = d->isVisible();
      QTest::mouseClick(f->CancelButton(), Qt::LeftButton);
    }, true);
    Command("StatisticsContour");
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(stayed, c.Dialog) << c.Box.toStdString();
    EXPECT_EQ(WindowCount(), windows);
    for (TChildForm* w : Form->MDIChildren()) EXPECT_NE(w->Caption(), QStringLiteral("Contour Plot"));
    ASSERT_EQ(Boxes.size(), 1u) << c.Box.toStdString();
    EXPECT_EQ(Boxes[0].Type, c.Type);
    EXPECT_EQ(Boxes[0].Text, c.Box);
    frmContourPlot->iedContours->SetValue(10);
  }
}

// The refined centre stays within a pixel of the centroid: a star off its
// centroid by tenths of a pixel is found where it is, while a star with a
// brighter one inside the radius keeps its centred fit rather than taking the
// brighter one's centre, a pixel and more away.
TEST(RadialCentre, RefinedWithinAPixelOfTheCentroid) {
  const struct {
    const char* Name;
    double X, Y, Sigma, Amplitude;  // the star, from the centroid
    double X2, Y2, Amplitude2;      // another star inside the radius
    bool Refined;
  } cases[] = {
      {"a star 0.35 and -0.4 off", 0.35, -0.4, 1.2, 1000, 0, 0, 0, true},
      {"a brighter star 1.8 away", 0, 0, 1.5, 100, 1.8, 0.6, 1000, false},
      {"a brighter star 2.5 away", 0.2, 0.1, 1.1, 300, -2.5, -1.5, 2000, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<double> dx, dy, d2;
    std::vector<float> v;
    for (int y = -6; y <= 6; ++y)
      for (int x = -6; x <= 6; ++x) {
        if (x * x + y * y > 36) continue;
        auto star = [&](double X, double Y, double A) {
          return A * std::exp(-((x - X) * (x - X) + (y - Y) * (y - Y)) / (2 * c.Sigma * c.Sigma));
        };
        dx.push_back(x);
        dy.push_back(y);
        d2.push_back(x * x + y * y);
        v.push_back(float(20 + star(c.X, c.Y, c.Amplitude) + star(c.X2, c.Y2, c.Amplitude2)));
      }
    TRadialFit fit;
    ASSERT_TRUE(FitRadialProfile(d2, v, 2.0, fit));
    const TRadialFit centred = fit;
    double ox = 7, oy = 7;
    const bool refined = RefineRadialCentre(dx, dy, v, fit, ox, oy);
    EXPECT_EQ(refined, c.Refined) << ox << ", " << oy;
    if (refined) {
      EXPECT_NEAR(ox, c.X, 1e-3);
      EXPECT_NEAR(oy, c.Y, 1e-3);
      EXPECT_NEAR(fit.Sigma, c.Sigma, 1e-3);
    } else {
      EXPECT_EQ(fit.Sigma, centred.Sigma);
      EXPECT_EQ(fit.A, centred.A);
    }
  }
}
