#pragma once
// Homomorphic Filtering of a grey image.
#include "dialogs/ProcessingDialog.h"

class QLabel;
class QSlider;

class TfrmHomomorphic : public TProcessingDialog {
  Q_OBJECT
 public:
  explicit TfrmHomomorphic(QWidget* Parent = nullptr);
  QSlider* trkYL = nullptr;  // 0..100, the floor times 100
  QSlider* trkYH = nullptr;  // 0..100, the cut-off times 10
  QLabel* lblYL = nullptr;
  QLabel* lblYH = nullptr;

 protected:
  void ReadParameters() override;
  void RunOperation(TDataImage& Dst, TDataImage& Src) override;
  void UpdateLabels() override;
  QString Refusal(const TDataImage& Image) const override;

 private:
  float FFloor = 0.5f, FCutoff = 2.0f;
};

extern TfrmHomomorphic* frmHomomorphic;
