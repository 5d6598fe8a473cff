#pragma once
// DDP Scale: digital development processing, with A, B and K proposed from
// the active image's statistics and histogram at every activation.
#include "dialogs/ProcessingDialog.h"

class QComboBox;
class QLabel;
class TFloatEdit;

class TfrmDDP : public TProcessingDialog {
  Q_OBJECT
 public:
  explicit TfrmDDP(QWidget* Parent = nullptr);
  TFloatEdit* fedA = nullptr;  // "Image mid-level"
  TFloatEdit* fedB = nullptr;  // "Background"
  TFloatEdit* fedK = nullptr;  // "Scaling constant"
  QComboBox* cmbEdgeEnhancement = nullptr;
  QComboBox* cmbRed = nullptr;
  QComboBox* cmbGreen = nullptr;
  QComboBox* cmbBlue = nullptr;
  QLabel* lblRed = nullptr;
  QLabel* lblGreen = nullptr;
  QLabel* lblBlue = nullptr;

  // Proposes A, B and K from the whole active image into the boxes.
  void CalcPercentiles();

  // The proposals for an image, as numbers: A and B rounded to two decimals,
  // or to as many more as the histogram's bins need where they are narrower
  // than 0.1. Where 95 % of a grey image lie in the histogram's lowest bin, A
  // and B come from finer bins over that bin's values; A is the level of the
  // pixels above 0 when more than 95 % of them are 0 (or below), and -1 when
  // no level holds 95 % of the pixels. False when the image's histogram could
  // not be had.
  struct TProposal {
    long double A = 0, B = 0, K = 0;
  };
  static bool Propose(const TDataImage& Image, TProposal& Proposal);

 protected:
  // A black image (every grey pixel 0, every colour pixel of intensity 0),
  // or a grey one with no pixel above 0, has nothing to propose from: the
  // dialog does not open.
  QString Refusal(const TDataImage& Image) const override;
  void FormActivate() override;
  void ReadParameters() override;
  void RunOperation(TDataImage& Dst, TDataImage& Src) override;
  void ResultRange(TChildForm& Source, TDataImage& Result, float& Min, float& Max) override;

 private:
  int FEdge = 1, FRed = 0, FGreen = 1, FBlue = 2;
  float FA = 255.0f, FB = 0.0f, FK = 1.0f;
};

extern TfrmDDP* frmDDP;
