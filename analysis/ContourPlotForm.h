#pragma once
// "Contour Plot": iso-lines of a grey image traced into a copy of it, a new
// window captioned "Contour Plot".
#include "app/FormSupport.h"

class QComboBox;
class TFloatEdit;
class TIntEdit;

class TfrmContourPlot : public TForm {
  Q_OBJECT
 public:
  explicit TfrmContourPlot(QWidget* Parent = nullptr);

  TFloatEdit* fedMin = nullptr;
  TFloatEdit* fedMax = nullptr;
  TIntEdit* iedContours = nullptr;
  TFloatEdit* fedValue = nullptr;
  QComboBox* cmbDetail = nullptr;  // "Very low" 8, "Low" 6, "Medium" 4, "High" 2 pixel cells
  QPushButton* OKButton() const { return btnOK; }
  QPushButton* CancelButton() const { return btnCancel; }

  // Proposes the active grey image's range, then shows the dialog modally.
  void Execute();
  void btnOKClick();
  // The tracer's cell size for a detail item.
  static int CellSize(int DetailItem);
};
extern TfrmContourPlot* frmContourPlot;
