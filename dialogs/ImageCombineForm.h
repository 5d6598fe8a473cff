#pragma once
// "Combine": a series of grey images of one size, chosen among the open
// windows or as FITS files, combined pixel by pixel into a new window.
#include <QList>
#include <QPointer>
#include <QStringList>

#include "app/FormSupport.h"
#include "app/ImageRef.h"

class QButtonGroup;
class QListWidget;
class TChildForm;

class TfrmImageCombine : public TForm {
  Q_OBJECT
 public:
  explicit TfrmImageCombine(QWidget* Parent = nullptr);

  QListWidget* lstSource = nullptr;
  QListWidget* lstDest = nullptr;
  QPushButton* btnAdd = nullptr;
  QPushButton* btnAddAll = nullptr;
  QPushButton* btnRemove = nullptr;
  QPushButton* btnClear = nullptr;
  QPushButton* btnFiles = nullptr;
  QButtonGroup* grpOperator = nullptr;

  void FormShow();
  void btnAddClick();
  void btnRemoveClick();
  void btnAddAllClick();
  void btnClearClick();
  void btnFilesClick();
  void btnOKClick();
  void UpdateLists();
  void UpdateButtons();

  bool FilesChosen() const { return FFiles; }
  // The window made by the last successful OK.
  QPointer<TChildForm> ResultWindow;

 protected:
  void showEvent(QShowEvent* Event) override;

 private:
  TImageRefList FSource, FDest;
  // The document windows in order when the dialog was shown; the entries'
  // indices point into it.
  QList<QPointer<TChildForm>> FWindows;
  bool FFiles = false;
};

extern TfrmImageCombine* frmImageCombine;
