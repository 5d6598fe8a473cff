#pragma once
// "Multiple Image Photometry": measures the stars of the active image window's
// apertures over a series of grey images against its comparison star, with
// the apertures of each image as defined or tracked from image to image.
#include <QList>
#include <QPointer>
#include <vector>

#include "app/FormSupport.h"
#include "app/ImageRef.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QRadioButton;
class TChildForm;
class TFloatEdit;

class TfrmMIPhot : public TForm {
  Q_OBJECT
 public:
  explicit TfrmMIPhot(QWidget* Parent = nullptr);

  QLabel* Label2 = nullptr;
  TFloatEdit* fedRadius = nullptr;
  QRadioButton* radAuto = nullptr;
  QRadioButton* radManual = nullptr;
  QListWidget* lstSource = nullptr;
  QListWidget* lstDest = nullptr;
  QLineEdit* txtFirstImage = nullptr;
  QPushButton* btnAdd = nullptr;
  QPushButton* btnRemove = nullptr;
  QPushButton* btnAddAll = nullptr;
  QPushButton* btnRemoveAll = nullptr;

  void FormShow();
  void FormHide();
  void btnAddClick();
  void btnRemoveClick();
  void btnAddAllClick();
  void btnRemoveAllClick();
  void radAutoClick();
  void btnOKClick();
  void btnCancelClick() { SetModalResult(mrCancel); }
  void UpdateLists();
  void UpdateButtons();

  // Both raise the run's messages as exceptions.
  void MeasureDefinedApertures();
  void TrackAndMeasure();

 protected:
  void showEvent(class QShowEvent* Event) override;
  void hideEvent(class QHideEvent* Event) override;

 private:
  // The series to measure, first image first, and for each image the index
  // of its first aperture of the run (tracking appends after what was there).
  struct TSeries {
    std::vector<TChildForm*> Images;
    std::vector<int> Base;
  };
  TSeries BuildSeries() const;
  void CheckFirstImage() const;
  void TrackApertures(TSeries& Series, long double Radius);
  void MeasureSeries(const TSeries& Series);

  // The document windows as they stood when the dialog opened.
  QList<QPointer<TChildForm>> FWindows;
  QPointer<TChildForm> FFirst;
  TImageRefList FSource;
  TImageRefList FDest;
};
extern TfrmMIPhot* frmMIPhot;
