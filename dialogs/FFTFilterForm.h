#pragma once
// FFT Filter: ideal and Butterworth low- and high-pass filters of a grey image.
#include "dialogs/ProcessingDialog.h"

class QButtonGroup;
class QGroupBox;
class QLabel;
class TFloatEdit;
class TIntEdit;

class TfrmFFTFilter : public TProcessingDialog {
  Q_OBJECT
 public:
  explicit TfrmFFTFilter(QWidget* Parent = nullptr);
  QGroupBox* grpFilterType = nullptr;
  QButtonGroup* FilterTypeButtons = nullptr;
  TFloatEdit* fedStrength = nullptr;  // the cut-off, from 0.1
  TFloatEdit* fedHFE = nullptr;       // 0..1, high-pass types only
  QLabel* lblHFE = nullptr;
  TIntEdit* iedOrder = nullptr;       // 1..10

 protected:
  void ReadParameters() override;
  void RunOperation(TDataImage& Dst, TDataImage& Src) override;
  void AfterPreview(TDataImage& Result) override;
  void AfterOperation(TDataImage& Result) override;
  QString Refusal(const TDataImage& Image) const override;
  bool CheckBeforeOK(TChildForm& Source) override;
  void Prepare(TChildForm& Source) override;

 private:
  void grpFilterTypeClick();
  // Whether the chosen filter would leave nothing of an image, Flat when that
  // image is one level above 0.
  bool KeepsNothing(bool Flat) const;
  bool FSourceFlat = false;  // the image the dialog works on, not its thumbnail
  int FType = 0;
  float FStrength = 16.0f, FEmphasis = 1.0f, FOrder = 1.0f;
};

extern TfrmFFTFilter* frmFFTFilter;
