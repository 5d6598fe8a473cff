#pragma once
// What is drawn over an image window's picture: text annotations, registration
// markers, photometry apertures and the region of interest. Markers, apertures
// and annotation positions are in image pixels, the region in overlay pixels.
#include <QFont>
#include <QRect>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/MeasureSource.h"

class QImage;
class QPainter;

// A colour as the registry keeps it: $00BBGGRR.
using TColor = std::uint32_t;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clAqua = 0xFFFF00;
QColor TColorToQColor(TColor Colour);
TColor QColorToTColor(const QColor& Colour);

struct TAnnotation {
  int Y = 0;       // image pixels, top of the text
  int X = 0;       // image pixels, left of the text
  int Width = 0;   // extent in screen pixels, measured in Font
  int Height = 0;
  QString Text;
  QFont Font;
  TColor FontColour = 0;  // the font's colour
};

struct TMarkerRec {
  float X = 0.0f;
  float Y = 0.0f;
};


class TImageOverlay : public QWidget {
  Q_OBJECT
 public:
  explicit TImageOverlay(QWidget* Parent = nullptr);

  float Zoom = 100.0f;
  TColor MarkerColour = clWhite;
  TColor ROIColour = clWhite;
  int SelectedAnnotation = -1;
  // Region of interest in overlay pixels; Right/Bottom are where the drag ended.
  QRect ROIRect() const { return QRect(QPoint(ROI[0], ROI[1]), QPoint(ROI[2], ROI[3])); }
  int ROI[4] = {0, 0, 0, 0};  // left, top, right, bottom

  // Fired before the overlay's own handling: (button, modifiers, X, Y).
  std::function<void(Qt::MouseButton, Qt::KeyboardModifiers, int, int)> OnMouseDown;
  std::function<void(Qt::KeyboardModifiers, int, int)> OnMouseMove;

  const std::vector<TAnnotation>& Annotations() const { return FAnnotations; }
  const std::vector<TMarkerRec>& Markers() const { return FMarkers; }
  const std::vector<TApertureRec>& Apertures() const { return FApertures; }

  bool AddAnnotation(int X, int Y, const QString& Text, const QFont& Font, TColor FontColour = 0);
  bool EditAnnotation(int Index, const QString& Text, const QFont& Font, TColor FontColour = 0);
  bool DeleteAnnotation(int Index);
  bool AddMarker(float X, float Y);
  bool DeleteMarker(int Index);
  bool GetMarker(int Index, TMarkerRec& Marker) const;
  bool AddAperture(float X, float Y, int Aperture, int AnnulusInner, int AnnulusOuter);
  bool DeleteAperture(int Index);

  // Draws the annotations and markers onto Bitmap and returns it.
  QImage& DrawToBitmap(QImage& Bitmap) const;

  // Screen position of a stored coordinate: Round(v * Zoom / 100).
  int ToScreen(long double V) const;
  bool DraggingRegion() const { return FRegionDragging; }
  bool DraggingAnnotation() const { return FAnnotationDragging; }

  static QFont MarkerFont();

 protected:
  void paintEvent(QPaintEvent* Event) override;
  void mousePressEvent(QMouseEvent* Event) override;
  void mouseMoveEvent(QMouseEvent* Event) override;
  void mouseReleaseEvent(QMouseEvent* Event) override;

 private:
  void PaintROI(QPainter& Painter) const;
  void PaintAnnotations(QPainter& Painter) const;
  void PaintMarkers(QPainter& Painter) const;
  void PaintApertures(QPainter& Painter) const;
  void ClampAnnotationPoint(int& X, int& Y) const;

  std::vector<TAnnotation> FAnnotations;
  std::vector<TMarkerRec> FMarkers;
  std::vector<TApertureRec> FApertures;
  bool FAnnotationDragging = false;
  bool FRegionDragging = false;
  int FDragIndex = -1;
  QRect FDragRect;  // outline of the annotation being dragged; null when none
};

// Every pixel of the closed outline through (L,T) (R,T) (R,B) (L,B), each once;
// none for a single point.
std::vector<QPoint> OutlinePixels(int L, int T, int R, int B);
