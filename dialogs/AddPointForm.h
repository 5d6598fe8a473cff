#pragma once
// "Add Marker": a stay-on-top tool window that adds a registration marker at
// typed or centroid coordinates to whichever image window is active.
#include "app/FormSupport.h"

class QPushButton;
class TFloatEdit;

class TfrmAddPoint : public TForm {
  Q_OBJECT
 public:
  explicit TfrmAddPoint(QWidget* Parent = nullptr);
  TFloatEdit* fedX = nullptr;
  TFloatEdit* fedY = nullptr;
  QPushButton* btnCentroid = nullptr;
  QPushButton* btnAddPoint = nullptr;
  QPushButton* btnClose = nullptr;

  // The main window's calls when its last image window closes and when one opens.
  void DisableControls() { SetControlsEnabled(false); }
  void EnableControls() { SetControlsEnabled(true); }
  void btnAddPointClick();
  void btnCentroidClick();

 private:
  void SetControlsEnabled(bool Enabled);
};
extern TfrmAddPoint* frmAddPoint;
