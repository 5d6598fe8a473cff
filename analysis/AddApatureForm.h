#pragma once
// "Add Aperture": a tool window that puts a photometry aperture on the active
// image window at typed image coordinates, or at the centroid of its region
// of interest.
#include <QWidget>

class QPushButton;
class TFloatEdit;

class TfrmAddApature : public QWidget {
  Q_OBJECT
 public:
  explicit TfrmAddApature(QWidget* Parent = nullptr);

  TFloatEdit* fedX = nullptr;
  TFloatEdit* fedY = nullptr;
  QPushButton* btnCentroid = nullptr;
  QPushButton* btnAdd = nullptr;
  QPushButton* btnClose = nullptr;

  void btnCentroidClick();
  void btnAddClick();

 protected:
  void keyPressEvent(class QKeyEvent* Event) override;
  void showEvent(class QShowEvent* Event) override;
};
extern TfrmAddApature* frmAddApature;
