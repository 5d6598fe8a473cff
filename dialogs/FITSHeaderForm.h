#pragma once
// "FITS Header": the active window's header cards, the selected one below.
#include "app/FormSupport.h"

class QLineEdit;
class QListWidget;

class TfrmFITSHeader : public TForm {
  Q_OBJECT
 public:
  explicit TfrmFITSHeader(QWidget* Parent = nullptr);
  QListWidget* ListBox = nullptr;
  QLineEdit* Edit1 = nullptr;
  // Fills the dialog from the active window; ShowModal unless Modal is false.
  void Execute(bool Modal = true);
  void ListBoxClick();
};
extern TfrmFITSHeader* frmFITSHeader;
