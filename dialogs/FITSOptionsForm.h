#pragma once
// "FITS Options", shown before every FITS save: the active window's header
// and a new header of 16-bit integer or 32-bit floating-point data.
#include "app/FormSupport.h"

class QListWidget;
class QRadioButton;
class TChildForm;

// Replaces Window's header by a new one (asking first when it has cards) and
// lists it in List; false when the user kept the old header.
bool NewFITSHeader(TChildForm* Window, bool Sixteen, QListWidget* List, QWidget* Parent);
// Fills List with the window's cards, one line each.
void ListFITSHeader(const TChildForm* Window, QListWidget* List);

class TfrmFITSOptions : public TForm {
  Q_OBJECT
 public:
  explicit TfrmFITSOptions(QWidget* Parent = nullptr);
  QListWidget* ListBox = nullptr;
  QPushButton* btnNewHeader = nullptr;
  QRadioButton* rdoData16 = nullptr;
  QRadioButton* rdoData32 = nullptr;
  void btnNewHeaderClick();

 protected:
  void showEvent(QShowEvent* Event) override;
};
extern TfrmFITSOptions* frmFITSOptions;
