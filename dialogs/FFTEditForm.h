#pragma once
// "FFT Editing": the centred log-magnitude spectrum of the active grey image
// as a picture to paint on in black; on OK every coefficient under a black
// pixel is zeroed and the spectrum is transformed back into a new window.
#include <QImage>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

#include "app/FormSupport.h"

class QButtonGroup;
class QComboBox;
class QScrollArea;
class QToolButton;
class TChildForm;
class TDataImage;

// The painting surface: the picture at its own size, with the rubber band of
// a line, rectangle or ellipse drawn over it while the mouse moves.
class TFFTPicture : public QWidget {
  Q_OBJECT
 public:
  explicit TFFTPicture(QWidget* Parent = nullptr);
  QImage Picture;  // RGB32, one pixel per coefficient
  void SetPicture(const QImage& Image);
  // Tool 2..4 from Start to End drawn over the picture; 0 for none.
  int BandTool = 0;
  QPoint BandStart, BandEnd;
  int BandWidth = 1;
  std::function<void(QPoint)> OnMouseDown, OnMouseMove, OnMouseUp;

 protected:
  void paintEvent(QPaintEvent* Event) override;
  void mousePressEvent(QMouseEvent* Event) override;
  void mouseMoveEvent(QMouseEvent* Event) override;
  void mouseReleaseEvent(QMouseEvent* Event) override;
};

class TfrmFFTEdit : public TForm {
  Q_OBJECT
 public:
  explicit TfrmFFTEdit(QWidget* Parent = nullptr);
  ~TfrmFFTEdit() override;
  QScrollArea* ScrollBox1 = nullptr;
  TFFTPicture* Image = nullptr;
  QToolButton* btnPencil = nullptr;
  QToolButton* btnLine = nullptr;
  QToolButton* btnRectangle = nullptr;
  QToolButton* btnCircle = nullptr;
  QComboBox* cmbPenWidth = nullptr;
  class QPushButton* btnReset = nullptr;

  // Tool codes of the speed buttons.
  enum { ToolFreehand = 1, ToolLine = 2, ToolRectangle = 3, ToolEllipse = 4 };

  int Execute();
  void UpdateSpectrumDisplay();
  void ImageMouseDown(QPoint P);
  void ImageMouseMove(QPoint P);
  void ImageMouseUp(QPoint P);
  void btnResetClick();
  void btnOKClick();

  // The padded sides of the image being edited (0 when none).
  int PaddedWidth() const { return FPW; }
  int PaddedHeight() const { return FPH; }

 protected:
  void hideEvent(QHideEvent* Event) override;

 private:
  void ShowRendered();
  void DrawShape(QPainter& Painter, int Tool, QPoint From, QPoint To) const;
  int PenWidth() const;

  QButtonGroup* FTools = nullptr;
  bool FDrawing = false;
  int FTool = ToolFreehand;
  QPoint FStart, FLast;
  QPointer<TChildForm> FSource;
  std::unique_ptr<TDataImage> FPadded;
  int FOffsetX = 0, FOffsetY = 0, FPW = 0, FPH = 0, FWidth = 0, FHeight = 0;
};
extern TfrmFFTEdit* frmFFTEdit;
