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

namespace {
// The least-squares A and B of A g + B for fixed g, and the residual.
double LinearPart(const std::vector<double>& D2, const std::vector<float>& V, double Sigma, double& A, double& B) {
  const double n = double(V.size()), k = -1.0 / (2.0 * Sigma * Sigma);
  double sg = 0, sgg = 0, sv = 0, sgv = 0;
  for (std::size_t i = 0; i < V.size(); ++i) {
    const double g = std::exp(D2[i] * k);
    sg += g, sgg += g * g, sv += V[i], sgv += g * V[i];
  }
  const double det = sgg * n - sg * sg;
  if (det > 1e-12 * sgg * n) {
    A = (sgv * n - sg * sv) / det;
    B = (sgg * sv - sg * sgv) / det;
  } else {  // a profile flat over the disc: no peak to fit
    A = 0;
    B = sv / n;
  }
  double r = 0;
  for (std::size_t i = 0; i < V.size(); ++i) {
    const double e = V[i] - (A * std::exp(D2[i] * k) + B);
    r += e * e;
  }
  return r;
}
}  // namespace

bool FitRadialProfile(const std::vector<double>& D2, const std::vector<float>& V, double Start, TRadialFit& Fit) {
  if (V.empty() || D2.size() != V.size() || !(Start > 0) || !std::isfinite(Start)) return false;
  // A, B are linear given sigma, so the fit is a search over ln sigma alone,
  // downhill from the start until the residual rises, then golden sections.
  const double lo = std::log(1e-3), hi = std::log(1e4);
  double a = 0, b = 0;
  auto f = [&](double t) { return LinearPart(D2, V, std::exp(t), a, b); };
  double t1 = std::clamp(std::log(Start), lo, hi), f1 = f(t1);
  double step = 0.4;
  double t2 = std::clamp(t1 + step, lo, hi), f2 = f(t2);
  if (f2 > f1) {
    step = -step;
    std::swap(t1, t2);
    std::swap(f1, f2);
  }
  // f2 <= f1: walk on past t2 until the residual rises again.
  double t3 = std::clamp(t2 + step, lo, hi), f3 = f(t3);
  for (int i = 0; i < 200 && f3 < f2 && t3 != t2; ++i) {
    step *= 1.6;
    t1 = t2, f1 = f2;
    t2 = t3, f2 = f3;
    t3 = std::clamp(t2 + step, lo, hi), f3 = f(t3);
  }
  double x0 = std::min(t1, t3), x3 = std::max(t1, t3);
  const double g = (std::sqrt(5.0) - 1) / 2;
  double xa = x3 - g * (x3 - x0), xb = x0 + g * (x3 - x0);
  double fa = f(xa), fb = f(xb);
  while (x3 - x0 > 1e-10) {
    if (fa < fb) {
      x3 = xb, xb = xa, fb = fa;
      xa = x3 - g * (x3 - x0), fa = f(xa);
    } else {
      x0 = xa, xa = xb, fa = fb;
      xb = x0 + g * (x3 - x0), fb = f(xb);
    }
  }
  const double sigma = std::exp((x0 + x3) / 2);
  LinearPart(D2, V, sigma, Fit.A, Fit.B);
  Fit.Sigma = sigma;
  return std::isfinite(Fit.A) && std::isfinite(Fit.B) && std::isfinite(sigma);
}

bool RefineRadialCentre(const std::vector<double>& DX, const std::vector<double>& DY, const std::vector<float>& V,
                        TRadialFit& Fit, double& OffsetX, double& OffsetY) {
  const std::size_t n = V.size();
  if (n < 6 || DX.size() != n || DY.size() != n || !(Fit.Sigma > 0)) return false;
  // Levenberg-Marquardt over A, B, ln sigma and the centre's offset.
  double p[5] = {Fit.A, Fit.B, std::log(Fit.Sigma), 0, 0};
  auto sse = [&](const double* q) {
    const double k = -0.5 * std::exp(-2 * q[2]);
    double e2 = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const double x = DX[i] - q[3], y = DY[i] - q[4];
      const double e = V[i] - (q[0] * std::exp((x * x + y * y) * k) + q[1]);
      e2 += e * e;
    }
    return e2;
  };
  double best = sse(p), lambda = 1e-3;
  const double start = best;
  for (int iteration = 0; iteration < 200 && lambda < 1e12; ++iteration) {
    double JJ[5][5] = {}, Jr[5] = {};
    const double inv = std::exp(-2 * p[2]), k = -0.5 * inv;
    for (std::size_t i = 0; i < n; ++i) {
      const double x = DX[i] - p[3], y = DY[i] - p[4], r2 = x * x + y * y;
      const double g = std::exp(r2 * k), ag = p[0] * g * inv;
      const double j[5] = {g, 1, ag * r2, ag * x, ag * y};
      const double e = V[i] - (p[0] * g + p[1]);
      for (int a = 0; a < 5; ++a) {
        Jr[a] += j[a] * e;
        for (int b = 0; b <= a; ++b) JJ[a][b] += j[a] * j[b];
      }
    }
    bool stepped = false;
    while (!stepped && lambda < 1e12) {
      // (JJ + lambda diag JJ) step = Jr, by Gaussian elimination.
      double m[5][6];
      for (int a = 0; a < 5; ++a) {
        for (int b = 0; b < 5; ++b) m[a][b] = a >= b ? JJ[a][b] : JJ[b][a];
        m[a][a] *= 1 + lambda;
        m[a][5] = Jr[a];
      }
      bool singular = false;
      for (int c = 0; c < 5 && !singular; ++c) {
        int pivot = c;
        for (int r = c + 1; r < 5; ++r)
          if (std::fabs(m[r][c]) > std::fabs(m[pivot][c])) pivot = r;
        if (!(std::fabs(m[pivot][c]) > 0)) singular = true;
        else {
          std::swap(m[c], m[pivot]);
          for (int r = c + 1; r < 5; ++r) {
            const double f = m[r][c] / m[c][c];
            for (int b = c; b < 6; ++b) m[r][b] -= f * m[c][b];
          }
        }
      }
      if (singular) return false;
      double step[5], trial[5];
      for (int c = 4; c >= 0; --c) {
        double t = m[c][5];
        for (int b = c + 1; b < 5; ++b) t -= m[c][b] * step[b];
        step[c] = t / m[c][c];
      }
      for (int a = 0; a < 5; ++a) trial[a] = p[a] + step[a];
      const double e2 = sse(trial);
      if (std::isfinite(e2) && e2 < best) {
        const bool done = best - e2 <= 1e-15 * best;
        std::copy(trial, trial + 5, p);
        best = e2;
        lambda = std::max(lambda / 10, 1e-12);
        stepped = true;
        if (done) iteration = 200;
      } else {
        lambda *= 10;
      }
    }
  }
  // A centre that wandered off the star, or a fit no better, is no refinement.
  if (!(best <= start) || !std::isfinite(best) || std::fabs(p[3]) > 1 || std::fabs(p[4]) > 1 ||
      !std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2]))
    return false;
  Fit.A = p[0];
  Fit.B = p[1];
  Fit.Sigma = std::exp(p[2]);
  OffsetX = p[3];
  OffsetY = p[4];
  return true;
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
  std::vector<double> squaredDistances, offsetsX, offsetsY;
  float minimum = 2.0e32f, maximum = 0.0f;
  double sum = 0.0;
  for (int y = yc - R; y <= yc + R; ++y)
    for (int x = xc - R; x <= xc + R; ++x) {
      if (!InEllipse(x, y, L, T, Rt, B)) continue;
      const float v = img.GetPixel(x, y);
      const long double dx = x - (long double)cx, dy = y - (long double)cy;
      const long double d = std::sqrt(dx * dx + dy * dy);
      measured.append(QPointF(double(-d), v));
      squaredDistances.push_back(double(dx * dx + dy * dy));
      offsetsX.push_back(double(dx));
      offsetsY.push_back(double(dy));
      if (v < minimum) minimum = v;
      if (v > maximum) maximum = v;
      sum = double(sum + (long double)v);
      values.push_back(v);
    }
  // Nothing to fit: say why rather than plot nothing.
  auto refuse = [this](const char* Why) {
    MessageBox::ShowWarning(QStringLiteral("Corvelle Image cannot perform a radial plot because ") +
                                QString::fromLatin1(Why),
                            this);
    return false;
  };
  if (values.empty()) return refuse("no pixel lies within the radius of the centroid.");
  if (maximum == 0.0f) return refuse("no pixel within the radius of the centroid is above zero.");
  const double mean = double((long double)sum / values.size());
  double squares = 0.0;
  for (const float v : values) {
    const long double d = mean - (long double)v;
    squares = double(squares + d * d);
  }
  const double sd = double(std::sqrt((long double)squares / values.size()));
  const double estimate = double(sd / ((long double)maximum / R));
  if (!(estimate > 0.0) || !std::isfinite(estimate))
    return refuse("every pixel within the radius of the centroid has the same value.");
  // The model the chart draws, fitted to the points it shows.
  TRadialFit fit;
  if (!FitRadialProfile(squaredDistances, values, estimate, fit))
    return refuse("no Gaussian profile fits the pixels within the radius of the centroid.");
  // The centroid of an undersampled star (a handful of pixels above the
  // threshold) can lie tenths of a pixel off its centre, which widens a
  // profile centred on it by a quarter: the width is that of the profile
  // centred where it fits best, within a pixel of the centroid.
  double shiftX = 0, shiftY = 0;
  RefineRadialCentre(offsetsX, offsetsY, values, fit, shiftX, shiftY);
  const double sigma = fit.Sigma;

  QList<QPointF> curve;
  const long double twoSigma2 = 2.0L * sigma * sigma;
  for (float t = 0.0f; t <= 2 * R; t = float((long double)t + 0.05L)) {
    const long double u = t - (long double)R;
    const long double value = fit.A * std::exp(-(u * u) / twoSigma2) + fit.B;
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
  // The curve's peak may lie a little above the highest pixel.
  const double top = std::max(double(maximum), fit.A + fit.B), bottom = std::min({double(minimum), fit.B, fit.A + fit.B});
  const double span = std::max(1.0, top - bottom);
  FAxisY->setRange(bottom - 0.05 * span, top + 0.05 * span);
  FAxisY->applyNiceNumbers();
  SetChartTitle(Chart->chart(),
                QStringLiteral("Corvelle Image Radial Plot - ") + child->Caption() + QStringLiteral(" - Centroid [") +
                    TwoDecimals(cx) + QStringLiteral(", ") + TwoDecimals(cy) + QStringLiteral("]"),
                QStringLiteral("Radius [%1] FWHM [").arg(R) + TwoDecimals(fwhm) + QStringLiteral("] ") +
                    ChartDateTime());
  Accessibility::DescribeChart(Chart, QStringLiteral("Pixels from %1 to %2").arg(TwoDecimals(minimum), TwoDecimals(maximum)));
  return true;
}
