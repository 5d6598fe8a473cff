#pragma once
// "Print": prints the active image window's displayed picture, scaled and
// placed on the page, with an optional title line.
#include <QDateTime>
#include <QRect>
#include <memory>

#include "app/FormSupport.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPrinter;
class TIntEdit;
class TChildForm;

// Where the picture goes on a page of PageW x PageH printer pixels. ScaleItem:
// 0 actual size, 1 to page, 2 1/8, 3 1/4, 4 1/2 page.
QRect PrintPlacement(int PageW, int PageH, int BitmapW, int BitmapH, int ScaleItem, bool VCentre, bool HCentre);
// The title for a title code ("&f", "&F&D" ...); "" for any other text.
QString PrintTitle(const QString& Code, const QString& Caption, const QDateTime& When);

class TfrmPrint : public TForm {
  Q_OBJECT
 public:
  explicit TfrmPrint(QWidget* Parent = nullptr);
  ~TfrmPrint() override;

  QLabel* lblPrinter = nullptr;
  TIntEdit* iedCopies = nullptr;
  QCheckBox* chkVCentre = nullptr;
  QCheckBox* chkHCentre = nullptr;
  QLineEdit* edtTitle = nullptr;
  QComboBox* cmbScale = nullptr;
  QPushButton* btnPrinter = nullptr;

  // The printer every job goes to; tests point it at a PDF file.
  QPrinter& Printer() { return *FPrinter; }

  void Execute();
  void btnPrinterClick();
  void btnOKClick();
  // Prints Window on the printer; false when nothing could be printed.
  bool PrintWindow(TChildForm* Window);

 private:
  std::unique_ptr<QPrinter> FPrinter;
};
extern TfrmPrint* frmPrint;
