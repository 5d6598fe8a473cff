#pragma once
// Linear Scale: stretches the pixel values between a minimum and a maximum
// chosen on the image's histogram with a two-thumb slider or typed in.
#include <QList>
#include <QPointF>

#include "dialogs/ProcessingDialog.h"

class QAreaSeries;
class QChartView;
class QLineSeries;
class QValueAxis;
class TFloatEdit;
class TQVRSlider;

class TfrmLinear : public TProcessingDialog {
  Q_OBJECT
 public:
  explicit TfrmLinear(QWidget* Parent = nullptr);
  QChartView* Chart1 = nullptr;
  QAreaSeries* Series1 = nullptr;
  TQVRSlider* QVRSlider = nullptr;
  TFloatEdit* fedMin = nullptr;  // "Minimum"
  TFloatEdit* fedMax = nullptr;  // "Maximum"

  // The histogram points the chart shows.
  QList<QPointF> Points() const { return FPoints; }

  void QVRSliderChange();

 protected:
  void Prepare(TChildForm& Source) override;
  void ReadParameters() override;
  bool CheckBeforeOK(TChildForm& Source) override;
  void RunOperation(TDataImage& Dst, TDataImage& Src) override;
  bool ActivationPreviewWanted() const override { return BoxesDiffer(); }
  void showEvent(QShowEvent* Event) override;

 private:
  bool BoxesDiffer() const;
  void fedKeyPress(TFloatEdit* Sender, QChar& Key);
  void SetPoints(const QList<QPointF>& Points);
  // Puts the thumbs at Low and High, or at the track's end for a value
  // beyond it, whose box then keeps its value.
  void PlaceThumbs(long double Low, long double High);
  QList<QPointF> FPoints;
  QLineSeries* FUpper = nullptr;
  QLineSeries* FLower = nullptr;
  QValueAxis* FAxisX = nullptr;
  QValueAxis* FAxisY = nullptr;
  long double FMin = 0, FMax = 255;
};

extern TfrmLinear* frmLinear;
