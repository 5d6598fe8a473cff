#pragma once
// Gamma Scale: every pixel through a gamma curve, previewed on thumbnails.
#include "dialogs/ProcessingDialog.h"

class QLabel;
class QSlider;

class TfrmGamma : public TProcessingDialog {
  Q_OBJECT
 public:
  explicit TfrmGamma(QWidget* Parent = nullptr);

  QSlider* trkGamma = nullptr;  // 1..100, the gamma times 10
  QLabel* lblGamma = nullptr;

 protected:
  void ReadParameters() override;
  void RunOperation(TDataImage& Dst, TDataImage& Src) override;
  void UpdateLabels() override;

 private:
  float FGamma = 1.0f;
};

extern TfrmGamma* frmGamma;
