#pragma once
// "Calibrate": bias, dark and flat-field correction of the active image with
// frames read from FITS files; the file names and their on/off states are
// kept in the settings store.
#include <QString>

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
  // Value I of "Bias Frame", "Bias On", "Dark Frame", "Dark On", "Flat Frame",
  // "Flat On" as the controls hold it (a state as "1" or "0").
  QString ShownValue(int I) const;
  QString FShown[6];   // as the store last gave them or they were last saved
  bool FHeld[6] = {};  // the store holds the value (readable or not)
};

extern TfrmCalibrate* frmCalibrate;

inline constexpr const char* msgCalibrateColour = "Calibration can only be performed on grey scale images.";
