#pragma once
// The noise filters of grey images: outlier (Noise Filter), adaptive MMSE,
// adaptive DW-MTM, contra-harmonic mean and alpha-trimmed mean. They have no
// preview; a colour image or an even window is refused on OK.
#include "dialogs/ProcessingDialog.h"

class QGridLayout;
class TFloatEdit;
class TIntEdit;

class TNoiseFilterDialog : public TProcessingDialog {
  Q_OBJECT
 public:
  TIntEdit* iedWinSize = nullptr;  // 3..11, step 2; none in DW-MTM

 protected:
  // Name and caption of the form, help topic, result caption; whether OK
  // first moves the focus to itself so that the box being edited commits.
  TNoiseFilterDialog(QWidget* Parent, const char* Name, const QString& Caption, int Help, const QString& Result,
                     bool FocusOK);
  // The window size box in row Row of Grid.
  void AddWindowSize(QGridLayout* Grid, int Row);
  void Finish(QGridLayout* Grid);
  bool CheckBeforeOK(TChildForm& Source) override;
  void ReadParameters() override;
  void CommitEdits() override;
  int FWindow = 3;

 private:
  bool FFocusOK;
};

class TfrmNoiseFilter : public TNoiseFilterDialog {
  Q_OBJECT
 public:
  explicit TfrmNoiseFilter(QWidget* Parent = nullptr);
  TIntEdit* iedDeviation = nullptr;  // 1..255

 protected:
  void ReadParameters() override;
  void RunOperation(TDataImage& Dst, TDataImage& Src) override;

 private:
  int FDeviation = 1;
};

class TfrmAdaptiveMMSE : public TNoiseFilterDialog {
  Q_OBJECT
 public:
  explicit TfrmAdaptiveMMSE(QWidget* Parent = nullptr);
  TFloatEdit* fedStdDev = nullptr;  // 1e-05..2e+32

 protected:
  void ReadParameters() override;
  void RunOperation(TDataImage& Dst, TDataImage& Src) override;

 private:
  float FStdDev = 1.0f;
};

class TfrmAdaptiveDWMTM : public TNoiseFilterDialog {
  Q_OBJECT
 public:
  explicit TfrmAdaptiveDWMTM(QWidget* Parent = nullptr);
  TFloatEdit* fedStdDev = nullptr;
  TFloatEdit* fedThreshold = nullptr;  // 0..255

 protected:
  void ReadParameters() override;
  void RunOperation(TDataImage& Dst, TDataImage& Src) override;

 private:
  float FStdDev = 1.0f, FThreshold = 3.0f;
};

class TfrmContraHarmonic : public TNoiseFilterDialog {
  Q_OBJECT
 public:
  explicit TfrmContraHarmonic(QWidget* Parent = nullptr);
  TIntEdit* iedEndpoint = nullptr;  // the order, -5..5

 protected:
  void ReadParameters() override;
  void RunOperation(TDataImage& Dst, TDataImage& Src) override;

 private:
  int FOrder = 3;
};

class TfrmAlphaTrimmed : public TNoiseFilterDialog {
  Q_OBJECT
 public:
  explicit TfrmAlphaTrimmed(QWidget* Parent = nullptr);
  TIntEdit* iedEndpoint = nullptr;  // 0..12

 protected:
  void ReadParameters() override;
  void RunOperation(TDataImage& Dst, TDataImage& Src) override;

 private:
  int FTrim = 3;
};

extern TfrmNoiseFilter* frmNoiseFilter;
extern TfrmAdaptiveMMSE* frmAdaptiveMMSE;
extern TfrmAdaptiveDWMTM* frmAdaptiveDWMTM;
extern TfrmContraHarmonic* frmContraHarmonic;
extern TfrmAlphaTrimmed* frmAlphaTrimmed;
