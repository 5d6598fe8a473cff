#pragma once
// "Image Registration - Polynomial": maps checked target images onto a
// reference through a first- or second-degree polynomial fitted to their
// markers; marker k of a target pairs with marker k of the reference.
#include <QString>

#include "app/FormSupport.h"
#include "dialogs/ReferenceLists.h"

class QComboBox;
class QListWidget;
class TIntEdit;

class TfrmRegisterImage : public TForm {
  Q_OBJECT
 public:
  explicit TfrmRegisterImage(QWidget* Parent = nullptr);
  QComboBox* cmbImageB = nullptr;    // reference
  QListWidget* lstImageA = nullptr;  // targets
  TIntEdit* iedPolyDeg = nullptr;

  int Execute();
  void cmbImageBChange();
  void btnOKClick();

  // The help text for a window without markers.
  static QString NoMarkersText(const QString& Caption);

 private:
  TWindowSnapshot FWindows;
};
extern TfrmRegisterImage* frmRegisterImage;
