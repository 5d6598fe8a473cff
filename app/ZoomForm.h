#pragma once
// "Zoom": a fixed zoom level or a custom one for the active image window.
#include "app/FormSupport.h"

class QButtonGroup;
class QRadioButton;
class TIntEdit;

class TfrmZoom : public TForm {
  Q_OBJECT
 public:
  explicit TfrmZoom(QWidget* Parent = nullptr);
  QButtonGroup* grpZoom = nullptr;  // ids 0..5: 25, 50, 100, 200, 400, custom
  TIntEdit* iedZoom = nullptr;
  void grpZoomClick();
  void btnOKClick();
};
extern TfrmZoom* frmZoom;
