#pragma once
// "Histogram Specification": the active image's histogram reshaped towards
// one of six target shapes, drawn in a small chart and previewed on
// thumbnails.
#include "dialogs/ProcessingDialog.h"

class QChart;
class QChartView;
class QComboBox;
class QLabel;
class QLineSeries;
class QSlider;

class TfrmHistogramSpec : public TProcessingDialog {
  Q_OBJECT
 public:
  explicit TfrmHistogramSpec(QWidget* Parent = nullptr);

  QComboBox* cmbFunction = nullptr;
  QSlider* trkParam1 = nullptr;  // "Centre" 1..255
  QSlider* trkParam2 = nullptr;  // "Width" 1..100, passed as position / 1024
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QChartView* Chart1 = nullptr;
  QLineSeries* Series1 = nullptr;

  void UpdateFunction();
  void UpdateParamControls();
  // The target curve of the chosen item into Series1.
  void PlotFunction();

 protected:
  void ReadParameters() override;
  void RunOperation(TDataImage& Dst, TDataImage& Src) override;
  void Prepare(TChildForm& Source) override;
  bool CheckBeforeOK(TChildForm& Source) override;

 private:
  int FItem = 0;
  double FCentre = 128.0;
  double FWidth = 16 / 1024.0;
};

extern TfrmHistogramSpec* frmHistogramSpec;
