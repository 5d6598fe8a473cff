#pragma once
// Resample to a new width and height, optionally keeping the proportion.
#include "dialogs/ProcessingDialog.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class TIntEdit;

class TfrmResample : public TProcessingDialog {
  Q_OBJECT
 public:
  explicit TfrmResample(QWidget* Parent = nullptr);
  TIntEdit* iedWidth = nullptr;  // 1..65535
  TIntEdit* iedHeight = nullptr;
  QLabel* lblHeight = nullptr;
  QCheckBox* chkAspect = nullptr;
  QLineEdit* txtWidth = nullptr;  // the current image's sides, read-only
  QLineEdit* txtHeight = nullptr;

  // The height for a width at the current image's proportion:
  // Round(width x (height / width)), halves to even, in extended precision.
  static long long AspectHeight(int NewWidth, long double CurrentWidth, long double CurrentHeight);

 protected:
  void Prepare(TChildForm& Source) override;
  void ReadParameters() override;
  bool CheckBeforeOK(TChildForm& Source) override;
  void RunOperation(TDataImage& Dst, TDataImage& Src) override;

 private:
  void iedWidthChange();
  void chkAspectClick();
  int FWidth = 1, FHeight = 1;
};

extern TfrmResample* frmResample;
