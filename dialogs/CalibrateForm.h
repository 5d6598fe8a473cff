#pragma once
// "Calibrate": bias, dark and flat-field correction of the active image with
// frames read from FITS files; the file names and their on/off states are
// kept in the settings store.
#include "app/FormSupport.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class TChildForm;

class TfrmCalibrate : public TForm {
  Q_OBJECT
 public:
  explicit TfrmCalibrate(QWidget* Parent = nullptr);

  QCheckBox* chkBias = nullptr;
  QCheckBox* chkDark = nullptr;
  QCheckBox* chkFlat = nullptr;
  QLineEdit* edtBias = nullptr;
  QLineEdit* edtDark = nullptr;
  QLineEdit* edtFlat = nullptr;
  QLabel* lblBias = nullptr;
  QLabel* lblDark = nullptr;
  QLabel* lblFlat = nullptr;
  QPushButton* btnBrowse1 = nullptr;
  QPushButton* btnBrowse2 = nullptr;
  QPushButton* btnBrowse3 = nullptr;
  QCheckBox* chkRemember = nullptr;

  void btnOKClick();
  void LoadSettings();
  void SaveSettings();
  // The window made by the last OK that applied a step.
  TChildForm* ResultWindow = nullptr;

 private:
  void Browse(QLineEdit* Edit);
};

extern TfrmCalibrate* frmCalibrate;

inline constexpr const char* msgCalibrateColour = "Calibration can only be performed on grey scale images.";
