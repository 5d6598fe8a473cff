#pragma once
// "Crop": cuts a rectangle, typed or taken from the region of interest, out
// of the active image into a new window.
#include "app/FormSupport.h"

class QPushButton;
class TIntEdit;

class TfrmCrop : public TForm {
  Q_OBJECT
 public:
  explicit TfrmCrop(QWidget* Parent = nullptr);
  TIntEdit* iedTop = nullptr;
  TIntEdit* iedLeft = nullptr;
  TIntEdit* iedBottom = nullptr;
  TIntEdit* iedRight = nullptr;
  QPushButton* btnGetFromROI = nullptr;

  void Execute();
  void btnGetFromROIClick();
  void btnOKClick();
};
extern TfrmCrop* frmCrop;
