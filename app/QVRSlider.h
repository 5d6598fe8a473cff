#pragma once
// A two-thumb slider that picks a low and a high value between 0 and MaxVal.
// The track runs from value 0 at pixel 5 to MaxVal at pixel width - 5 (from
// MinVal where MinVal is below 0); the thumbs are 8-pixel triangles, the high
// one blue, the low one red. Assistive tools read and set the two values.
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

  // Only for Origin() <= Low, High <= MaxVal; otherwise nothing happens.
  void SetPositions(float Low, float High);
  void Redraw();
  // The value at the track's start: 0, or MinVal where it is below 0.
  float Origin() const { return MinVal < 0.0f ? MinVal : 0.0f; }
  // Puts the thumbs at Low and High. A level beyond the track rests its thumb
  // at that end and stays the thumb's value (Val1, Val2) until the thumb
  // moves: the level a user set is never replaced by the track's end.
  void ShowLevels(float Low, float High);
  bool LowBeyond() const { return FLowBeyond; }
  bool HighBeyond() const { return FHighBeyond; }
  // Moves one thumb to Value (on the track) as a drag of it would, mouse
  // press and release included: how assistive tools set the values.
  void DragThumbTo(bool High, float Value);

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
  // The position of a value on the track, or false when there is no track.
  bool PositionOf(float Value, float& Position) const;
  bool FLowBeyond = false, FHighBeyond = false;
  float FLowLevel = 0.0f, FHighLevel = 0.0f;
  float FLowBeyondAt = 0.0f, FHighBeyondAt = 0.0f;
  float FLowPos = 5.0f;
  float FHighPos = 64.0f;
  int FLowPixel = 5;
  int FHighPixel = 64;
  QImage FPicture;
};
