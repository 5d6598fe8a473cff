#pragma once
// "Quick Scale": the histogram of the active image window and its display
// range (black and white point), set with a two-thumb slider, two boxes or
// three presets ("Max Pixel", "Max Hist.", "User", kept per image in
// ScaleMode). It follows the active image window.
#include <QWidget>

class QChart;
class QChartView;
class QAreaSeries;
class QLineSeries;
class QLogValueAxis;
class QValueAxis;
class QComboBox;
class TChildForm;
class TFloatEdit;
class TQVRSlider;

class TfrmQuickLinearScale : public QWidget {
  Q_OBJECT
 public:
  explicit TfrmQuickLinearScale(QWidget* Parent = nullptr);

  QChartView* Chart = nullptr;
  QAreaSeries* Series1 = nullptr;
  TQVRSlider* QVRSlider = nullptr;
  TFloatEdit* fedMin = nullptr;
  TFloatEdit* fedMax = nullptr;
  QComboBox* cmbPresets = nullptr;

  void UpdateFromImage();
  // A new window at its first draw, before it is rendered: when this window
  // is shown, the window takes the levels of its preset, which the caller
  // then draws.
  void FollowNewWindow(TChildForm* Child);
  // The levels a new window whose pixels span Min..Max (as the histogram
  // finds them) is first drawn with while this window is shown: those of its
  // preset, "Max Pixel". False while it is hidden: the window then keeps the
  // levels it was made with.
  bool NewWindowLevels(bool Colour, float Min, float Max, float& Black, float& White) const;
  void EnableControls();
  void ClearControls();
  // The chart's points as (x, count), in order; empty when cleared.
  QList<QPointF> Points() const;

  void cmbPresetsChange();
  void QVRSliderChange();
  void QVRSliderMouseDown();
  void QVRSliderMouseUp();
  void fedKeyPress(TFloatEdit* Sender, QChar& Key);

 protected:
  void showEvent(QShowEvent* Event) override;

 private:
  // Shows Child's histogram and applies its preset; Render draws it at once.
  void Follow(TChildForm* Child, bool Render);
  void ApplyPreset(TChildForm* Child, bool Render = true);
  void ApplyLevels();
  void ApplyLevels(TChildForm* Child, bool Render);
  void ShowRange(float Low, float High);
  void SetPoints(const QList<QPointF>& Points);
  QLineSeries* FUpper = nullptr;
  QLineSeries* FLower = nullptr;
  QValueAxis* FAxisX = nullptr;
  QLogValueAxis* FAxisY = nullptr;
  QList<QPointF> FPoints;
};
extern TfrmQuickLinearScale* frmQuickLinearScale;
