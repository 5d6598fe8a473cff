#pragma once
// The zoomed picture of an image window, the operation preview and the quick
// zoom window. Only the exposed part is painted, through a scaling transform,
// so a large image at a high zoom never needs a whole zoomed bitmap.
#include <QImage>
#include <QWidget>
#include <functional>

#include "engine/QVRFastBMP.h"

class TDisplay : public QWidget {
  Q_OBJECT
 public:
  explicit TDisplay(QWidget* Parent = nullptr);

  float Zoom = 100.0f;  // percent
  std::function<void()> OnRedraw;

  // The source becomes a 24-bit copy of the picture. False, and the source
  // kept, when the copy cannot be had.
  bool SetBitmap(const TFastBMP& Bitmap);
  void SetBitmap(const QImage& Picture);
  // Sizes the control to the zoomed picture, repaints and fires OnRedraw.
  void Redraw();

  const QImage& Source() const { return FSource; }
  // The zoomed picture as a real bitmap of the control's size; a null image
  // when it cannot be had.
  QImage Picture() const;
  // Side of the zoomed picture: Round(Side * Zoom / 100), halves to even.
  static int ZoomedSide(int Side, float Zoom);
  // Writes the part Source of the zoomed picture (display pixels) stretched
  // onto Target of Into (RGB888 or 32 bits), nearest neighbour, without a
  // painter; pixels outside the picture stay as they are.
  void DrawZoomed(QImage& Into, const QRect& Target, const QRect& Source) const;

 protected:
  void paintEvent(QPaintEvent* Event) override;

 private:
  QImage FSource;
};
