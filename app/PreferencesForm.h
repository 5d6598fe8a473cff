#pragma once
// "Preferences": the close prompt, the region and marker colours of every
// image window, and the folder of the open and save dialogs.
#include "app/FormSupport.h"
#include "app/ImageOverlay.h"

class QCheckBox;
class QFrame;
class QLineEdit;
class QTabWidget;

class TfrmPreferences : public TForm {
  Q_OBJECT
 public:
  explicit TfrmPreferences(QWidget* Parent = nullptr);
  QTabWidget* PageControl = nullptr;
  QCheckBox* chkPromptForSave = nullptr;
  QFrame* pnlROIColour = nullptr;
  QFrame* pnlMkrColour = nullptr;
  QPushButton* btnROIColour = nullptr;
  QPushButton* btnMkrColour = nullptr;
  QLineEdit* edtImagesDir = nullptr;

  static void SetPanelColour(QFrame* Panel, TColor Colour);
  static TColor PanelColour(const QFrame* Panel);

  void btnOKClick();
  void btnROIColourClick();
  void btnMkrColourClick();
};
extern TfrmPreferences* frmPreferences;
