#pragma once
// Log Scale of a grey or colour image.
#include "dialogs/ProcessingDialog.h"

class QLabel;
class QSlider;

class TfrmLog : public TProcessingDialog {
  Q_OBJECT
 public:
  explicit TfrmLog(QWidget* Parent = nullptr);
  QSlider* trkLog = nullptr;  // 1..10000
  QLabel* lblLog = nullptr;

 protected:
  void ReadParameters() override;
  void RunOperation(TDataImage& Dst, TDataImage& Src) override;
  void UpdateLabels() override;

 private:
  int FPosition = 50;
};

extern TfrmLog* frmLog;
