#pragma once
// "Histogram": the stay-on-top chart of the 256-bin histogram of the active
// image or of its region of interest; grey images as one filled curve,
// colour images as intensity or as red, green and blue curves.
#include <QList>
#include <QPointF>
#include <QWidget>
#include <array>

class QAreaSeries;
class QChart;
class QChartView;
class QComboBox;
class QLabel;
class QLineSeries;
class QLogValueAxis;
class QToolButton;
class QValueAxis;
class TChartTools;

class TfrmHistogram : public QWidget {
  Q_OBJECT
 public:
  explicit TfrmHistogram(QWidget* Parent = nullptr);

  QChartView* Chart1 = nullptr;
  QAreaSeries* Series1 = nullptr;  // grey values or colour intensity
  QLineSeries* Series2 = nullptr;  // red
  QLineSeries* Series3 = nullptr;  // green
  QLineSeries* Series4 = nullptr;  // blue
  TChartTools* Tools = nullptr;    // btnSave, btnCopy, btnPrint
  QToolButton* btnLog = nullptr;
  QComboBox* cmbChannel = nullptr;
  QLabel* lblChannel = nullptr;  // "&Channel", off with the list for a grey image

  // Shows the window, takes the log state from btnLog, then plots the region
  // of interest (Area) or the whole image.
  void Execute(bool Area);
  void PlotImage();
  void PlotROI();
  void cmbChannelChange();
  void btnLogClick();

  // The plotted counts of a series (0 intensity or grey, 1 red, 2 green,
  // 3 blue) as (x, count), whatever the axis shows.
  const QList<QPointF>& Counts(int Series) const { return FCounts[std::size_t(Series)]; }
  // The frequency axis in use: logarithmic or linear.
  bool LogAxis() const;

 private:
  void Plot(bool Area);
  void ShowPoints();
  void SetLogAxis(bool Log);
  QLineSeries* FUpper = nullptr;
  QLineSeries* FLower = nullptr;
  QValueAxis* FAxisX = nullptr;
  QValueAxis* FAxisY = nullptr;
  QLogValueAxis* FLogAxisY = nullptr;
  std::array<QList<QPointF>, 4> FCounts;
};
extern TfrmHistogram* frmHistogram;
