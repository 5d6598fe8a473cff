#pragma once
// "New Image": a window of one grey value or one grey colour.
#include "app/FormSupport.h"

class QRadioButton;
class TFloatEdit;
class TIntEdit;
class TChildForm;

class TfrmNew : public TForm {
  Q_OBJECT
 public:
  explicit TfrmNew(QWidget* Parent = nullptr);
  TIntEdit* iedWidth = nullptr;
  TIntEdit* iedHeight = nullptr;
  TFloatEdit* fedValue = nullptr;
  QRadioButton* rdoGrey = nullptr;
  QRadioButton* rdoColour = nullptr;
  // Makes the window; the last one made stays in NewWindow.
  void btnOKClick();
  TChildForm* NewWindow = nullptr;
};
extern TfrmNew* frmNew;
