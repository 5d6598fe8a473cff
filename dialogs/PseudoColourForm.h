#pragma once
// "Pseudo Colour": a 256-entry palette for a grey image built from colour
// points picked on a hue picker or typed in, previewed on a thumbnail, given
// to a copy of the image on OK, and kept by name under the "Palettes" key.
#include <QImage>
#include <QWidget>
#include <functional>
#include <vector>

#include "dialogs/ProcessingDialog.h"
#include "engine/DataImage.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class TIntEdit;

// The picker: shows its picture 1:1 and reports the mouse in its pixels.
class TColourPicker : public QWidget {
  Q_OBJECT
 public:
  explicit TColourPicker(QWidget* Parent = nullptr);
  void SetPicture(const QImage& Picture);
  const QImage& Picture() const { return FPicture; }
  std::function<void(Qt::MouseButtons, int X, int Y)> OnMouseMove;
  std::function<void(Qt::MouseButton, int X, int Y)> OnMouseUp;

 protected:
  void paintEvent(QPaintEvent* Event) override;
  void mouseMoveEvent(QMouseEvent* Event) override;
  void mouseReleaseEvent(QMouseEvent* Event) override;

 private:
  QImage FPicture;
};

class TfrmPseudoColour : public TProcessingDialog {
  Q_OBJECT
 public:
  explicit TfrmPseudoColour(QWidget* Parent = nullptr);

  QLabel* imgCurrentPal = nullptr;
  QLabel* imgGreyPal = nullptr;
  QComboBox* cmbName = nullptr;
  QPushButton* btnDelete = nullptr;
  QPushButton* btnSave = nullptr;
  TColourPicker* ColPicker = nullptr;
  TIntEdit* iedRed = nullptr;
  TIntEdit* iedGreen = nullptr;
  TIntEdit* iedBlue = nullptr;
  QPushButton* btnAdd = nullptr;
  QPushButton* btnReset = nullptr;
  QCheckBox* chkReverse = nullptr;

  const std::vector<TRGBPixel>& Points() const { return FPoints; }
  const TPaletteEntries& Palette() const { return FPalette; }

  void DrawColourPicker();
  void DrawGreyStrip();
  void BuildPalette();
  void ListPalettes();
  void SavePalette();
  void ColPickerMouseMove(int X, int Y);
  void ColPickerMouseUp(int X, int Y);
  void btnAddClick();
  void chkReverseClick();
  void btnResetClick();
  void cmbNameClick(int Index);
  void btnDeleteClick();

 protected:
  void RunOperation(TDataImage& Dst, TDataImage& Src) override;
  void Prepare(TChildForm& Source) override;
  void hideEvent(QHideEvent* Event) override;

 private:
  // Appends a point; false (with a warning) when the table is full.
  bool AddPoint(const TRGBPixel& Point);
  void FillCurrentPal(const TPaletteEntries* Entries);
  void ClearName();

  std::vector<TRGBPixel> FPoints;
  TPaletteEntries FPalette{};  // the palette last built, kept across openings
  QImage FPickerBitmap;        // what colours are read from
  QImage FPickerShown;         // the bitmap with the points' marks
};

extern TfrmPseudoColour* frmPseudoColour;
