#pragma once
// "Set Comparison Star": which aperture of the active image window holds the
// comparison star, and its known magnitude.
#include "app/FormSupport.h"

class QComboBox;
class TFloatEdit;

class TfrmPhotRefStar : public TForm {
  Q_OBJECT
 public:
  explicit TfrmPhotRefStar(QWidget* Parent = nullptr);

  TFloatEdit* fedRefMag = nullptr;
  QComboBox* cmbApatureNo = nullptr;

  void FormShow();
  void btnOKClick();
  void btnCancelClick() { SetModalResult(mrCancel); }

 protected:
  void showEvent(class QShowEvent* Event) override;
};
extern TfrmPhotRefStar* frmPhotRefStar;
