#pragma once
// "Statistics of Images": picks open images and adds the whole-image
// statistics of each to the report, grey images before colour ones.
#include <QList>
#include <QPointer>

#include "app/FormSupport.h"
#include "app/ImageRef.h"

class QListWidget;
class TChildForm;

class TfrmStatisticsImages : public TForm {
  Q_OBJECT
 public:
  explicit TfrmStatisticsImages(QWidget* Parent = nullptr);

  QListWidget* lstSource = nullptr;
  QListWidget* lstDest = nullptr;
  QPushButton* btnAdd = nullptr;
  QPushButton* btnRemove = nullptr;
  QPushButton* btnAddAll = nullptr;
  QPushButton* btnRemoveAll = nullptr;
  QPushButton* OKButton() const { return btnOK; }
  QPushButton* CancelButton() const { return btnCancel; }

  void FormShow();
  void FormHide();
  void btnAddClick();
  void btnRemoveClick();
  void btnAddAllClick();
  void btnRemoveAllClick();
  void btnOKClick();
  void UpdateLists();
  void UpdateButtons();

 protected:
  void showEvent(QShowEvent* Event) override;
  void hideEvent(QHideEvent* Event) override;

 private:
  TChildForm* Window(const TImageRef& Ref) const;
  TImageRefList FSource, FDest;
  // The document windows as they stood when the dialog opened; the entries
  // index this list.
  QList<QPointer<TChildForm>> FWindows;
};
extern TfrmStatisticsImages* frmStatisticsImages;
