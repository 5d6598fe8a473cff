#pragma once
// "Image Math": two open images of the same size and kind joined pixel by
// pixel with add, subtract, multiply or divide into a new window.
#include <QList>
#include <QPointer>

#include "app/FormSupport.h"

class QButtonGroup;
class QComboBox;
class QRadioButton;
class TChildForm;

class TfrmImageMath : public TForm {
  Q_OBJECT
 public:
  explicit TfrmImageMath(QWidget* Parent = nullptr);
  QComboBox* cmbImageA = nullptr;
  QComboBox* cmbImageB = nullptr;
  class QGroupBox* grpOperator = nullptr;
  QRadioButton* rdoOperator[4] = {};

  // The operator code 0..3 of the checked item.
  int OperatorIndex() const;
  void SetOperatorIndex(int Index);

  void Execute();
  void btnOKClick();

 private:
  QButtonGroup* FOperators = nullptr;
  // The document windows in list order when the dialog opened.
  QList<QPointer<TChildForm>> FWindows;
  TChildForm* WindowAt(int Index) const;
};
extern TfrmImageMath* frmImageMath;
