#pragma once
// "Annotations": the text and font of an annotation.
#include "app/FormSupport.h"

class QLabel;
class QLineEdit;

class TfrmAnnotation : public TForm {
  Q_OBJECT
 public:
  explicit TfrmAnnotation(QWidget* Parent = nullptr);
  QLineEdit* txtSample = nullptr;
  QLabel* lblSample = nullptr;
  QPushButton* btnFont = nullptr;
  void btnFontClick();

 protected:
  void showEvent(QShowEvent* Event) override;
};
extern TfrmAnnotation* frmAnnotation;
