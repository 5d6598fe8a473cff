#pragma once
// "Custom Filter Kernel": a 3 x 3 kernel typed into nine boxes, previewed on
// thumbnails, applied to a copy of the active image, and kept by name under
// the "Filters" settings key.
#include "dialogs/ProcessingDialog.h"
#include "engine/Processing.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class TFloatEdit;

class TfrmCustomFilter : public TProcessingDialog {
  Q_OBJECT
 public:
  explicit TfrmCustomFilter(QWidget* Parent = nullptr);

  // fedR[r][c] is the box of row r + 1, column c + 1 (fedR1C1 .. fedR3C3).
  TFloatEdit* fedR[3][3] = {};
  QLineEdit* edtName = nullptr;
  QPushButton* btnAdd = nullptr;
  QComboBox* cmbCustom = nullptr;
  QPushButton* btnDelete = nullptr;

  // The boxes as the engine's [column][row] kernel.
  TFilterKernel GetKernel() const;
  TFilterKernel GetColourKernel() const { return GetKernel(); }
  void LoadFilterNames();
  void btnAddClick();
  void cmbCustomChange(int Index);
  void btnDeleteClick();

 protected:
  void ReadParameters() override;
  void RunOperation(TDataImage& Dst, TDataImage& Src) override;
  void ResultRange(TChildForm& Source, TDataImage& Result, float& Min, float& Max) override;
  void FormActivate() override;

 private:
  TFilterKernel FKernel{};
};

extern TfrmCustomFilter* frmCustomFilter;
