#pragma once
// The properties of the 3-D view: exaggeration, material, colours, box and
// scale, the light. OK samples the active grey image and opens the view.
#include "app/FormSupport.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
class QRadioButton;
class QSlider;
class TFloatEdit;
struct SurfaceRecord;

class TfrmSurfaceProperties : public TForm {
  Q_OBJECT
 public:
  explicit TfrmSurfaceProperties(QWidget* Parent = nullptr);

  void btnOKClick();
  void btnSetColourClick();
  void cmbPaletteChange();
  void chkSpotLightClick();
  QColor SwatchColour() const;
  void SetSwatchColour(const QColor& Colour);

  QSlider* trkVertExag = nullptr;
  QSlider* trkShininess = nullptr;
  QRadioButton* rdoUseColourPal = nullptr;
  QComboBox* cmbPalette = nullptr;
  QRadioButton* rdoCustomColour = nullptr;
  QFrame* pnlColour = nullptr;
  QPushButton* btnSetColour = nullptr;
  QCheckBox* chkBox = nullptr;
  QCheckBox* chkScale = nullptr;
  QCheckBox* chkSpotLight = nullptr;
  TFloatEdit *fedX = nullptr, *fedY = nullptr, *fedZ = nullptr;
  QLabel *lblX = nullptr, *lblY = nullptr, *lblZ = nullptr;
  using TForm::btnCancel;
  using TForm::btnOK;
};

extern TfrmSurfaceProperties* frmSurfaceProperties;
