#pragma once
// A two-thumb slider that picks a low and a high value between 0 and MaxVal.
// The track runs from value 0 at pixel 5 to MaxVal at pixel width - 5; the
// thumbs are 8-pixel triangles, the high one blue, the low one red.
#include <QImage>
#include <QWidget>
#include <functional>

class TQVRSlider : public QWidget {
  Q_OBJECT
 public:
  explicit TQVRSlider(QWidget* Parent = nullptr);

  float MinVal = 0.0f;
  float MaxVal = 255.0f;
  float Val1 = 0.0f;  // low value
  float Val2 = 0.0f;  // high value
  bool Drag1 = false;
  bool Drag2 = false;
  bool CalcVals = true;  // compute the values and fire OnChange on redraw

  std::function<void(TQVRSlider*)> OnChange;
  std::function<void(TQVRSlider*, Qt::MouseButton, int X, int Y)> OnMouseDown;
  std::function<void(TQVRSlider*, Qt::MouseButton, int X, int Y)> OnMouseUp;

  // Only for 0 <= Low, High <= MaxVal; otherwise nothing happens.
  void SetPositions(float Low, float High);
  void Redraw();

  float LowPosition() const { return FLowPos; }
  float HighPosition() const { return FHighPos; }
  int LowPixel() const { return FLowPixel; }
  int HighPixel() const { return FHighPixel; }
  const QImage& Picture() const { return FPicture; }

 protected:
  void paintEvent(QPaintEvent* Event) override;
  void resizeEvent(QResizeEvent* Event) override;
  void mousePressEvent(QMouseEvent* Event) override;
  void mouseMoveEvent(QMouseEvent* Event) override;
  void mouseReleaseEvent(QMouseEvent* Event) override;

 private:
  void CalculateValues();
  float FLowPos = 5.0f;
  float FHighPos = 64.0f;
  int FLowPixel = 5;
  int FHighPixel = 64;
  QImage FPicture;
};
