#pragma once
// "Line Plot": the stay-on-top chart of the pixel values along one row or
// column, drawn as stairs; colour profiles as intensity or as red, green and
// blue curves.
#include <QList>
#include <QPointF>
#include <QWidget>
#include <array>
#include <vector>

#include "engine/DataImage.h"

class QChartView;
class QComboBox;
class QLabel;
class QLineSeries;
class QValueAxis;
class TChartTools;

class TfrmLinePlot : public QWidget {
  Q_OBJECT
 public:
  explicit TfrmLinePlot(QWidget* Parent = nullptr);

  QChartView* Chart1 = nullptr;
  QLineSeries* Series1 = nullptr;  // grey values or intensity
  QLineSeries* Series2 = nullptr;  // red
  QLineSeries* Series3 = nullptr;  // green
  QLineSeries* Series4 = nullptr;  // blue
  TChartTools* Tools = nullptr;
  QComboBox* cmbChannel = nullptr;
  QLabel* lblChannel = nullptr;  // "&Channel", off with the list for a grey image

  // A profile of any length; Position is the row or column number.
  void PlotGrey(const std::vector<float>& Values, int Position, bool IsRow);
  void PlotColour(const std::vector<TRGBPixel>& Values, int Position, bool IsRow);
  void UpdateChannels();

  // The plotted samples of a series (0 grey or intensity, 1 red, 2 green,
  // 3 blue): sample i has the value Samples(s)[i].
  const std::vector<double>& Samples(int Series) const { return FSamples[std::size_t(Series)]; }
  // The stairs a series draws for Samples: (i, v_i), (i + 1, v_i), ...
  static QList<QPointF> Stairs(const std::vector<double>& Samples);

 private:
  void Begin(int Position, bool IsRow);
  void ShowSeries();
  QValueAxis* FAxisX = nullptr;
  QValueAxis* FAxisY = nullptr;
  std::array<std::vector<double>, 4> FSamples;
};
extern TfrmLinePlot* frmLinePlot;
