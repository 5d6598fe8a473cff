#pragma once
// "Line Plot Parameters": row or column and its number; OK plots that
// profile of the active image in the line plot window.
#include "app/FormSupport.h"

class QButtonGroup;
class QGroupBox;
class QLabel;
class QRadioButton;
class TIntEdit;

class TfrmLinePlotSetup : public TForm {
  Q_OBJECT
 public:
  explicit TfrmLinePlotSetup(QWidget* Parent = nullptr);

  QGroupBox* grpDisplay = nullptr;
  QRadioButton* rbRow = nullptr;     // "Plot &row", item 0
  QRadioButton* rbColumn = nullptr;  // "Plot &column", item 1
  QButtonGroup* Items = nullptr;
  QLabel* lblPosition = nullptr;
  TIntEdit* iedPosition = nullptr;
  QPushButton* OKButton() const { return btnOK; }
  QPushButton* CancelButton() const { return btnCancel; }

  // Limits for the active image, then the dialog, modally.
  int Execute();
  void SetLimits();
  void FormShow();
  void grpDisplayClick();
  void btnOKClick();
  bool IsRow() const;

 protected:
  void showEvent(QShowEvent* Event) override;
};
extern TfrmLinePlotSetup* frmLinePlotSetup;
