#pragma once
// Pixel Math: add, subtract, multiply, divide by a value, log10, square root.
#include "dialogs/ProcessingDialog.h"

class QButtonGroup;
class QGroupBox;
class QLabel;
class TFloatEdit;

class TfrmPixelMath : public TProcessingDialog {
  Q_OBJECT
 public:
  explicit TfrmPixelMath(QWidget* Parent = nullptr);
  QGroupBox* grpOperator = nullptr;
  QButtonGroup* OperatorButtons = nullptr;
  TFloatEdit* fedValue = nullptr;  // unbounded
  QLabel* lblValue = nullptr;

 protected:
  void ReadParameters() override;
  void RunOperation(TDataImage& Dst, TDataImage& Src) override;

 private:
  void grpOperatorClick();
  int FOperator = 0;
  float FValue = 0.0f;
};

extern TfrmPixelMath* frmPixelMath;
