#include "analysis/RadialPlotForm.h"

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QScatterSeries>
#include <QToolButton>
#include <QValueAxis>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "analysis/ChartTools.h"
#include "app/Accessibility.h"
#include "app/Child.h"
#include "app/Main.h"
#include "engine/Measure.h"
#include "platform/MessageBox.h"
#include "platform/NumFormat.h"

TfrmRadialPlot* frmRadialPlot = nullptr;

namespace {
long long RoundHalfEven(long double V) { return std::llrint(V); }
QString TwoDecimals(long double V) { return QString::fromStdString(NumFormat::FormatFloat("0.00", V)); }
}  // namespace

bool InEllipse(int X, int Y, int L, int T, int R, int B) {
  const long double a = (R - L) / 2.0L, b = (B - T) / 2.0L;
  if (a <= 0 || b <= 0) return false;
  const long double dx = (X + 0.5L - (L + a)) / a, dy = (Y + 0.5L - (T + b)) / b;
  return dx * dx + dy * dy <= 1.0L;
}

int RadialCurvePoints(int R) {
  int n = 0;
  for (float t = 0.0f; t <= 2 * R; t = float((long double)t + 0.05L)) ++n;
  return n;
}

TfrmRadialPlot::TfrmRadialPlot(QWidget* Parent) : TForm(Parent) {
  setObjectName(QStringLiteral("frmRadialPlot"));
  setWindowTitle(QStringLiteral("Radial Plot"));
  setAccessibleName(QStringLiteral("Radial Plot"));
  QChart* chart = MakeChart(QStringLiteral("Radial Plot"));
  Series1 = new QLineSeries;
  Series1->setObjectName(QStringLiteral("Series1"));
  Series1->setPen(QPen(Qt::red, 1));
  Series2 = new QScatterSeries;
  Series2->setObjectName(QStringLiteral("Series2"));
  Series2->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
  Series2->setMarkerSize(2);
  Series2->setColor(QColor(0, 255, 0));
  Series2->setBorderColor(QColor(0, 255, 0));
  chart->addSeries(Series1);
  chart->addSeries(Series2);
  FAxisX = MakeValueAxis(QStringLiteral("Radius (pixels)"));
  FAxisY = MakeValueAxis(QStringLiteral("Pixel Value"));
  chart->addAxis(FAxisX, Qt::AlignBottom);
  chart->addAxis(FAxisY, Qt::AlignLeft);
  for (QAbstractSeries* s : chart->series()) {
    s->attachAxis(FAxisX);
    s->attachAxis(FAxisY);
  }
  Chart = new QChartView(chart, this);
  Chart->setObjectName(QStringLiteral("Chart"));
  Chart->setAccessibleName(QStringLiteral("Radial plot chart"));
  Accessibility::DescribeChart(Chart, QStringLiteral("No plot"));
  Chart->setRenderHint(QPainter::Antialiasing);

  auto* panel = new QWidget(this);
  // The hints name the histogram, as the program's own do.
  Tools = new TChartTools(Chart, panel, QStringLiteral("Save|Save the histogram"),
                          QStringLiteral("Copy|Copy the histogram to the clipboard"),
                          QStringLiteral("Print|Print the histogram"));
  cmbRadius = new QComboBox(panel);
  cmbRadius->setObjectName(QStringLiteral("cmbRadius"));
  cmbRadius->setAccessibleName(QStringLiteral("Radius"));
  for (int r = 3; r <= 12; ++r) cmbRadius->addItem(QStringLiteral("Radius = %1").arg(r));
  cmbRadius->setCurrentIndex(1);
  auto* lblRadius = new QLabel(QStringLiteral("&Radius"), panel);
  lblRadius->setBuddy(cmbRadius);
  Tools->LayOut(this, panel, {lblRadius, cmbRadius});
  resize(560, 400);
  connect(cmbRadius, &QComboBox::currentIndexChanged, this, [this] { cmbRadiusChange(); });
}

void TfrmRadialPlot::Execute() {
  if (Plot()) ShowModal();
}

void TfrmRadialPlot::cmbRadiusChange() { Plot(); }

bool TfrmRadialPlot::Plot() {
  TChildForm* child = MainForm ? MainForm->ActiveMDIChild() : nullptr;
  if (!child) return false;
  const TDataImage& img = *child->DataImage;
  if (img.IsColour) {
    MessageBox::ShowWarning(QStringLiteral("Radial plots cannot be generated for colour images."), this);
    return false;
  }
  const int R = cmbRadius->currentIndex() + 3;
  float cx = 0.0f, cy = 0.0f;
  if (!CalcCentroid(cx, cy, *child)) return false;
  if (cx + (long double)R > img.Width - 1 || cx - (long double)R < 0 || cy + (long double)R > img.Height - 1 ||
      cy - (long double)R < 0) {
    MessageBox::ShowWarning(QStringLiteral("Corvelle Image cannot perform a radial plot because the defined area is "
                                           "too close to the edge of the image."),
                            this);
    return false;
  }
  const int L = int(RoundHalfEven((long double)cx - R)), T = int(RoundHalfEven((long double)cy - R));
  const int Rt = int(RoundHalfEven((long double)cx + R)), B = int(RoundHalfEven((long double)cy + R));
  const int xc = int(RoundHalfEven(cx)), yc = int(RoundHalfEven(cy));

  QList<QPointF> measured;
  std::vector<float> values;
  float minimum = 2.0e32f, maximum = 0.0f;
  double sum = 0.0;
  for (int y = yc - R; y <= yc + R; ++y)
    for (int x = xc - R; x <= xc + R; ++x) {
      if (!InEllipse(x, y, L, T, Rt, B)) continue;
      const float v = img.GetPixel(x, y);
      const long double dx = x - (long double)cx, dy = y - (long double)cy;
      const long double d = std::sqrt(dx * dx + dy * dy);
      measured.append(QPointF(double(-d), v));
      if (v < minimum) minimum = v;
      if (v > maximum) maximum = v;
      sum = double(sum + (long double)v);
      values.push_back(v);
    }
  // What would divide by zero: no pixels, a zero maximum, a zero sigma.
  if (values.empty() || maximum == 0.0f) return false;
  const double mean = double((long double)sum / values.size());
  double squares = 0.0;
  for (const float v : values) {
    const long double d = mean - (long double)v;
    squares = double(squares + d * d);
  }
  const double sd = double(std::sqrt((long double)squares / values.size()));
  const double sigma = double(sd / ((long double)maximum / R));
  if (!(sigma > 0.0) || !std::isfinite(sigma)) return false;

  QList<QPointF> curve;
  const long double twoSigma2 = 2.0L * sigma * sigma;
  for (float t = 0.0f; t <= 2 * R; t = float((long double)t + 0.05L)) {
    const long double u = t - (long double)R;
    const long double value = std::exp(-(u * u) / twoSigma2) * ((long double)maximum - minimum) + minimum;
    curve.append(QPointF(double(u), double(value)));
  }
  const float fwhm = float(2.0L * sigma * std::sqrt(2.0L * std::log(2.0L)));

  Series1->replace(curve);
  Series2->replace(measured);
  CentroidX = cx;
  CentroidY = cy;
  Sigma = sigma;
  FWHM = fwhm;
  Minimum = minimum;
  Maximum = maximum;
  FAxisX->setRange(-R, R);
  const double span = std::max(1.0, double(maximum) - double(minimum));
  FAxisY->setRange(double(minimum) - 0.05 * span, double(maximum) + 0.05 * span);
  FAxisY->applyNiceNumbers();
  SetChartTitle(Chart->chart(),
                QStringLiteral("Corvelle Image Radial Plot - ") + child->Caption() + QStringLiteral(" - Centroid [") +
                    TwoDecimals(cx) + QStringLiteral(", ") + TwoDecimals(cy) + QStringLiteral("]"),
                QStringLiteral("Radius [%1] FWHM [").arg(R) + TwoDecimals(fwhm) + QStringLiteral("] ") +
                    ChartDateTime());
  Accessibility::DescribeChart(Chart, QStringLiteral("Pixels from %1 to %2").arg(TwoDecimals(minimum), TwoDecimals(maximum)));
  return true;
}
