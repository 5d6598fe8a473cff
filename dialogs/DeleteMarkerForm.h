#pragma once
// "Delete Marker": the active image window's markers in a list; "&Delete"
// removes the selected one and keeps the dialog open.
#include "app/FormSupport.h"

class QTreeWidget;

class TfrmDeleteMarker : public TForm {
  Q_OBJECT
 public:
  explicit TfrmDeleteMarker(QWidget* Parent = nullptr);
  QTreeWidget* ListView = nullptr;

  int Execute();
  void btnOKClick();
  void btnCancelClick();
  void reject() override { btnCancelClick(); }

 protected:
  void closeEvent(QCloseEvent* Event) override;

 private:
  void FillList();
};
extern TfrmDeleteMarker* frmDeleteMarker;
