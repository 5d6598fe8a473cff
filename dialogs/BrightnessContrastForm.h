#pragma once
// Brightness and Contrast of a grey or colour image.
#include "dialogs/ProcessingDialog.h"

class QLabel;
class QSlider;

class TfrmBrightnessContrast : public TProcessingDialog {
  Q_OBJECT
 public:
  explicit TfrmBrightnessContrast(QWidget* Parent = nullptr);
  QSlider* trkBrightness = nullptr;  // -100..100
  QSlider* trkContrast = nullptr;
  QLabel* lblBrightness = nullptr;   // "pos%"
  QLabel* lblContrast = nullptr;

 protected:
  void ReadParameters() override;
  void RunOperation(TDataImage& Dst, TDataImage& Src) override;
  void UpdateLabels() override;

 private:
  int FBrightness = 0, FContrast = 0;
};

extern TfrmBrightnessContrast* frmBrightnessContrast;
