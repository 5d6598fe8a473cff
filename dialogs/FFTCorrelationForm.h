#pragma once
// "Image Registration - FFT Cross Correlation": translates checked grey
// targets onto a grey reference of the same size by the peak of their
// normalised cross-power spectrum; each result is a new floating-point window.
#include "app/FormSupport.h"
#include "dialogs/ReferenceLists.h"

class QComboBox;
class QListWidget;
class TDataImage;

class TfrmFFTCorrelation : public TForm {
  Q_OBJECT
 public:
  explicit TfrmFFTCorrelation(QWidget* Parent = nullptr);
  QComboBox* cmbImageA = nullptr;    // reference
  QListWidget* lstImageB = nullptr;  // targets

  int Execute();
  void cmbImageAChange();
  void btnOKClick();

 private:
  TWindowSnapshot FWindows;
};
extern TfrmFFTCorrelation* frmFFTCorrelation;

// The largest side the correlation and the spectrum editor pad to.
constexpr int MaxPaddedSide = 8192;

// The shift of a peak at P on a padded side of Side points: Side - P past the
// middle, else -P (a peak at Side, meaning none, gives 0).
int PeakShift(int P, int Side);

// The shift (DX, DY) with Target(x + DX, y + DY) lying over Reference(x, y):
// both padded and transformed, the spectrum A conj(B) / (|Re AB|, |Im AB|)
// transformed back and its first highest value above 0 taken. Reference and
// Target are grey images of one size whose padded sides are at most
// MaxPaddedSide. Throws EngineFault when a value leaves the Single range and
// std::bad_alloc when memory is short.
void CorrelationShift(const TDataImage& Reference, const TDataImage& Target, int& DX, int& DY);

// Result(x, y) := Target(x + DX, y + DY), or 0 outside the target; Result is
// allocated as a floating-point grey image of Target's size.
void ShiftedCopy(const TDataImage& Target, int DX, int DY, TDataImage& Result);
