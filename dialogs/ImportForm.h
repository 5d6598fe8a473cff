#pragma once
// "Import": headerless image data in a layout the user states.
#include "app/FormSupport.h"

class QButtonGroup;
class QCheckBox;
class TFileDialog;
class TFloatEdit;
class TIntEdit;
class TChildForm;

class TfrmImport : public TForm {
  Q_OBJECT
 public:
  explicit TfrmImport(QWidget* Parent = nullptr);
  ~TfrmImport() override;
  TIntEdit* iedWidth = nullptr;
  TIntEdit* iedHeight = nullptr;
  TIntEdit* iedSkip = nullptr;
  TFloatEdit* fedOffset = nullptr;
  QCheckBox* chkUnsigned = nullptr;
  QButtonGroup* grpDataFormat = nullptr;  // 0..4: 8, 12, 16 Motorola, 16 Intel, 32
  TFileDialog* OpenDialog() const { return FOpenDialog.get(); }

  void Execute();
  // Imports the chosen file; true (and modal result OK) on success.
  bool btnOKClick();
  TChildForm* LastWindow = nullptr;

 private:
  std::unique_ptr<TFileDialog> FOpenDialog;
};
extern TfrmImport* frmImport;
