#pragma once
// "Radial Plot": every pixel within a radius of the centroid of the region of
// interest against its distance from it, the Gaussian fitted to them, and its
// full width at half maximum.
#include <vector>

#include "app/FormSupport.h"

class QChartView;
class QComboBox;
class QLineSeries;
class QScatterSeries;
class QValueAxis;
class TChartTools;

// Whether pixel (X, Y) lies in the disc drawn in the rectangle [L, R) x
// [T, B): its centre (X + 0.5, Y + 0.5) inside or on the inscribed ellipse.
// (A GDI region may decide a few rim pixels otherwise.)
bool InEllipse(int X, int Y, int L, int T, int R, int B);

// value = A exp(-d^2 / (2 Sigma^2)) + B, fitted by least squares to the
// values V at squared distances D2 from the centre, searched from Start.
struct TRadialFit {
  double A = 0, B = 0, Sigma = 0;
};
bool FitRadialProfile(const std::vector<double>& D2, const std::vector<float>& V, double Start, TRadialFit& Fit);
// The same model with its centre free as well, improved from Fit (centred at
// offset 0) by least squares: DX, DY are the points' offsets from the
// centroid. False, Fit unchanged, when no better fit lies within a pixel.
bool RefineRadialCentre(const std::vector<double>& DX, const std::vector<double>& DY, const std::vector<float>& V,
                        TRadialFit& Fit, double& OffsetX, double& OffsetY);

// The model curve's points for radius R: t from 0 in steps of 0.05, summed
// as a Single, while t <= 2R.
int RadialCurvePoints(int R);

class TfrmRadialPlot : public TForm {
  Q_OBJECT
 public:
  explicit TfrmRadialPlot(QWidget* Parent = nullptr);

  QChartView* Chart = nullptr;
  QLineSeries* Series1 = nullptr;     // the model curve, red
  QScatterSeries* Series2 = nullptr;  // the measured pixels, lime
  TChartTools* Tools = nullptr;
  QComboBox* cmbRadius = nullptr;     // "Radius = 3" .. "Radius = 12"

  // Plots, and only after a plot shows the window modally.
  void Execute();
  // True when a plot was drawn; a failure keeps the previous plot.
  bool Plot();
  void cmbRadiusChange();

  // Of the last plot.
  float CentroidX = 0.0f, CentroidY = 0.0f;
  double Sigma = 0.0;
  float FWHM = 0.0f;
  float Minimum = 0.0f, Maximum = 0.0f;

 private:
  QValueAxis* FAxisX = nullptr;
  QValueAxis* FAxisY = nullptr;
};
extern TfrmRadialPlot* frmRadialPlot;
