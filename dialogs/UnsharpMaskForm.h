#pragma once
// Unsharp Mask of a grey or colour image.
#include "dialogs/ProcessingDialog.h"

class QButtonGroup;
class QGroupBox;
class QLabel;
class QSlider;

class TfrmUnsharpMask : public TProcessingDialog {
  Q_OBJECT
 public:
  explicit TfrmUnsharpMask(QWidget* Parent = nullptr);
  QSlider* trkPower = nullptr;  // 1..100, the amount times 10
  QLabel* lblStrength = nullptr;
  QGroupBox* grpBlur = nullptr;  // blur window 3, 5, 7
  QButtonGroup* BlurButtons = nullptr;

 protected:
  void ReadParameters() override;
  void RunOperation(TDataImage& Dst, TDataImage& Src) override;
  void UpdateLabels() override;

 private:
  int FSize = 3;
  float FAmount = 1.0f;
};

extern TfrmUnsharpMask* frmUnsharpMask;
