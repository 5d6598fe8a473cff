#pragma once
// Colour Balance: shifts of the red, green and blue channels of a colour image.
#include "dialogs/ProcessingDialog.h"

class QLabel;
class QSlider;

class TfrmColourBalance : public TProcessingDialog {
  Q_OBJECT
 public:
  explicit TfrmColourBalance(QWidget* Parent = nullptr);
  QSlider* trkRed = nullptr;  // -100..100
  QSlider* trkGreen = nullptr;
  QSlider* trkBlue = nullptr;
  QLabel* lblRed = nullptr;
  QLabel* lblGreen = nullptr;
  QLabel* lblBlue = nullptr;

 protected:
  void ReadParameters() override;
  void RunOperation(TDataImage& Dst, TDataImage& Src) override;
  void UpdateLabels() override;

 private:
  int FRed = 0, FGreen = 0, FBlue = 0;
};

extern TfrmColourBalance* frmColourBalance;
