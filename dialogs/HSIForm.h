#pragma once
// Hue, Saturation and Intensity of a colour image.
#include "dialogs/ProcessingDialog.h"

class QLabel;
class QSlider;

class TfrmHSI : public TProcessingDialog {
  Q_OBJECT
 public:
  explicit TfrmHSI(QWidget* Parent = nullptr);
  QSlider* trkHue = nullptr;  // -180..180 degrees
  QSlider* trkSat = nullptr;  // -100..100
  QSlider* trkInt = nullptr;
  QLabel* lblHue = nullptr;
  QLabel* lblSat = nullptr;
  QLabel* lblInt = nullptr;

 protected:
  void ReadParameters() override;
  void RunOperation(TDataImage& Dst, TDataImage& Src) override;
  void UpdateLabels() override;

 private:
  int FHue = 0, FSat = 0, FInt = 0;
};

extern TfrmHSI* frmHSI;
