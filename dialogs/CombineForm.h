#pragma once
// "Combine": one colour image from three grey windows, with a relative
// intensity and a pixel shift for each plane, a full-size preview on demand
// and the planes guessed from the window captions.
#include <QList>
#include <QPointer>
#include <QString>
#include <memory>

#include "app/FormSupport.h"

class QComboBox;
class QGroupBox;
class QScrollArea;
class QToolButton;
class TChildForm;
class TDataImage;
class TDisplay;
class TFloatEdit;
class TIntEdit;

// The key letter of a caption, upper-cased: the character before a
// four-character extension, or the last character when there is no
// extension; a null character where that position is outside the caption.
QChar CaptionKeyLetter(const QString& Caption);

class TfrmCombine : public TForm {
  Q_OBJECT
 public:
  explicit TfrmCombine(QWidget* Parent = nullptr);
  ~TfrmCombine() override;

  QComboBox* cmbRed = nullptr;
  QComboBox* cmbGreen = nullptr;
  QComboBox* cmbBlue = nullptr;
  TFloatEdit* fedRI = nullptr;
  TFloatEdit* fedGI = nullptr;
  TFloatEdit* fedBI = nullptr;
  TIntEdit* iedRedX = nullptr;
  TIntEdit* iedRedY = nullptr;
  TIntEdit* iedGreenX = nullptr;
  TIntEdit* iedGreenY = nullptr;
  TIntEdit* iedBlueX = nullptr;
  TIntEdit* iedBlueY = nullptr;
  QGroupBox* grpPreview = nullptr;
  QToolButton* btnZoomIn = nullptr;
  QToolButton* btnZoomOut = nullptr;
  QScrollArea* ScrollBox = nullptr;
  TDisplay* Display = nullptr;
  class QPushButton* btnUpdate = nullptr;

  int Zoom() const { return FZoom; }

  void Execute();
  bool ValidateSelection(const TDataImage* Red, const TDataImage* Green, const TDataImage* Blue);
  void btnUpdateClick();
  void btnZoomInClick();
  void btnZoomOutClick();
  void btnOKClick();
  void btnCancelClick();
  // Escape closes as Cancel does.
  void reject() override { btnCancelClick(); }

 private:
  TChildForm* WindowAt(int Index) const;
  const TDataImage* ImageAt(int Index) const;
  void Combine(TDataImage& Output);
  void ZoomChanged();

  int FZoom = 100;
  std::unique_ptr<TDataImage> FPreview;
  QList<QPointer<TChildForm>> FWindows;
};
extern TfrmCombine* frmCombine;
