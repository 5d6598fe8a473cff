#include "app/ImageOverlay.h"

#include <QFontMetrics>
#include <QImage>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <set>
#include <utility>

QColor TColorToQColor(TColor Colour) { return QColor(Colour & 0xFF, (Colour >> 8) & 0xFF, (Colour >> 16) & 0xFF); }

TColor QColorToTColor(const QColor& Colour) {
  return TColor(Colour.red()) | (TColor(Colour.green()) << 8) | (TColor(Colour.blue()) << 16);
}

std::vector<QPoint> OutlinePixels(int L, int T, int R, int B) {
  // Each side runs from its corner up to, not including, the next corner.
  std::vector<QPoint> points;
  auto run = [&points](int x0, int y0, int x1, int y1) {
    const int dx = (x1 > x0) - (x1 < x0), dy = (y1 > y0) - (y1 < y0);
    for (int x = x0, y = y0; x != x1 || y != y1; x += dx, y += dy) points.emplace_back(x, y);
  };
  run(L, T, R, T);
  run(R, T, R, B);
  run(R, B, L, B);
  run(L, B, L, T);
  if (L == R || T == B) {
    // A line walks over itself: keep each pixel once. A point draws nothing,
    // as a line to its own start point does.
    std::set<std::pair<int, int>> seen;
    std::vector<QPoint> unique;
    for (const QPoint& p : points)
      if (seen.insert({p.x(), p.y()}).second) unique.push_back(p);
    return unique;
  }
  return points;
}

namespace {
QFont ProgramFont(const QString& Family, int PointSize) {
  QFont font(Family);
  // Point sizes at the 96 dots per inch the program was laid out for.
  font.setPixelSize(int(std::llrint(PointSize * 96.0 / 72.0)));
  font.setStyleStrategy(QFont::NoAntialias);
  return font;
}

template <typename T>
bool DeleteAt(std::vector<T>& List, int Index) {
  if (List.empty() || Index < 0 || Index >= int(List.size())) return false;
  List.erase(List.begin() + Index);
  List.shrink_to_fit();
  return true;
}
}  // namespace

QFont TImageOverlay::MarkerFont() { return ProgramFont(QStringLiteral("Arial"), 8); }

TImageOverlay::TImageOverlay(QWidget* Parent) : QWidget(Parent) {
  setMouseTracking(true);
  setAttribute(Qt::WA_NoSystemBackground);
}

int TImageOverlay::ToScreen(long double V) const { return int(std::llrint(V * Zoom / 100.0L)); }

bool TImageOverlay::AddAnnotation(int X, int Y, const QString& Text, const QFont& Font, TColor FontColour) {
  try {
    const QFontMetrics metrics(Font);
    TAnnotation a;
    a.Y = Y;
    a.X = X;
    a.Width = metrics.horizontalAdvance(Text);
    a.Height = metrics.height();
    a.Text = Text;
    a.Font = Font;
    a.FontColour = FontColour;
    FAnnotations.push_back(std::move(a));
    update();
    return true;
  } catch (...) {
    return false;
  }
}

bool TImageOverlay::EditAnnotation(int Index, const QString& Text, const QFont& Font, TColor FontColour) {
  try {
    if (Index < 0 || Index >= int(FAnnotations.size())) return false;
    TAnnotation& a = FAnnotations[Index];
    a.Text = Text;
    a.Font = Font;
    a.FontColour = FontColour;
    const QFontMetrics metrics(Font);
    a.Width = metrics.horizontalAdvance(Text);
    a.Height = metrics.height();
    update();
    return true;
  } catch (...) {
    return false;
  }
}

bool TImageOverlay::DeleteAnnotation(int Index) {
  try {
    if (!DeleteAt(FAnnotations, Index)) return false;
    SelectedAnnotation = -1;
    update();
    return true;
  } catch (...) {
    return false;
  }
}

bool TImageOverlay::AddMarker(float X, float Y) {
  try {
    FMarkers.push_back({X, Y});
    update();
    return true;
  } catch (...) {
    return false;
  }
}

bool TImageOverlay::DeleteMarker(int Index) {
  try {
    if (!DeleteAt(FMarkers, Index)) return false;
    update();
    return true;
  } catch (...) {
    return false;
  }
}

bool TImageOverlay::GetMarker(int Index, TMarkerRec& Marker) const {
  if (Index < 0 || Index >= int(FMarkers.size())) return false;
  Marker = FMarkers[Index];
  return true;
}

bool TImageOverlay::AddAperture(float X, float Y, int Aperture, int AnnulusInner, int AnnulusOuter) {
  try {
    FApertures.push_back({X, Y, Aperture, AnnulusInner, AnnulusOuter});
    update();
    return true;
  } catch (...) {
    return false;
  }
}

bool TImageOverlay::DeleteAperture(int Index) {
  try {
    if (!DeleteAt(FApertures, Index)) return false;
    update();
    return true;
  } catch (...) {
    return false;
  }
}

void TImageOverlay::PaintROI(QPainter& Painter) const {
  Painter.setPen(TColorToQColor(ROIColour));
  const auto points = OutlinePixels(ROI[0], ROI[1], ROI[2], ROI[3]);
  Painter.drawPoints(points.data(), int(points.size()));
}

void TImageOverlay::PaintAnnotations(QPainter& Painter) const {
  for (const TAnnotation& a : FAnnotations) {
    Painter.setFont(a.Font);
    Painter.setPen(TColorToQColor(a.FontColour));
    const int sx = ToScreen(a.X), sy = ToScreen(a.Y);
    const QFontMetrics metrics(a.Font);
    Painter.drawText(sx, sy + metrics.ascent(), a.Text);
  }
  if (SelectedAnnotation < 0 || SelectedAnnotation >= int(FAnnotations.size())) return;
  const TAnnotation& a = FAnnotations[SelectedAnnotation];
  const int sx = ToScreen(a.X), sy = ToScreen(a.Y);
  // Dashes of 5 black and 3 aqua pixels, clockwise from the top-left corner.
  unsigned mask = 0;
  const QColor aqua = TColorToQColor(clAqua);
  auto dot = [&](int x, int y) {
    mask <<= 1;
    if ((mask & 0xFF) == 0) mask = 1;
    Painter.setPen((mask & (32u | 64u | 128u)) ? aqua : QColor(Qt::black));
    Painter.drawPoint(x, y);
  };
  for (int x = sx; x < sx + a.Width; ++x) dot(x, sy);
  for (int y = sy; y < sy + a.Height; ++y) dot(sx + a.Width, y);
  for (int x = sx + a.Width; x > sx; --x) dot(x, sy + a.Height);
  for (int y = sy + a.Height; y > sy; --y) dot(sx, y);
}

void TImageOverlay::PaintMarkers(QPainter& Painter) const {
  const QColor colour = TColorToQColor(MarkerColour);
  Painter.setPen(colour);
  const QFont font = MarkerFont();
  Painter.setFont(font);
  const int ascent = QFontMetrics(font).ascent();
  for (std::size_t i = 0; i < FMarkers.size(); ++i) {
    const int sx = ToScreen(FMarkers[i].X), sy = ToScreen(FMarkers[i].Y);
    // A line stops short of its end point.
    Painter.drawLine(sx + 10, sy, sx - 9, sy);
    Painter.drawLine(sx, sy + 10, sx, sy - 9);
    Painter.drawText(sx + 6, sy + 6 + ascent, QString::number(i));
  }
}

void TImageOverlay::PaintApertures(QPainter& Painter) const {
  Painter.setPen(TColorToQColor(MarkerColour));
  Painter.setBrush(Qt::NoBrush);
  const QFont font = MarkerFont();
  Painter.setFont(font);
  const int ascent = QFontMetrics(font).ascent();
  for (std::size_t i = 0; i < FApertures.size(); ++i) {
    const TApertureRec& a = FApertures[i];
    const int sx = ToScreen(a.X), sy = ToScreen(a.Y);
    for (int r : {a.R, a.Rin, a.Rout}) {
      // The bounding square excludes its right and bottom edge.
      if (r > 0) Painter.drawEllipse(QRect(sx - r, sy - r, 2 * r - 1, 2 * r - 1));
    }
    Painter.drawText(sx + a.Rout / 2 + 2, sy + a.Rout / 2 + 5 + ascent, QString::number(i));
  }
}

void TImageOverlay::paintEvent(QPaintEvent* Event) {
  QPainter painter(this);
  painter.setClipRect(Event->rect());
  painter.setBrush(Qt::NoBrush);
  if (!FRegionDragging) PaintROI(painter);
  PaintAnnotations(painter);
  PaintMarkers(painter);
  PaintApertures(painter);
  if (!FRegionDragging) {
    PaintROI(painter);
  } else {
    // The outline of a running drag inverts what lies under it.
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    PaintROI(painter);
  }
  if (FAnnotationDragging && !FDragRect.isNull()) {
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter.setPen(Qt::white);
    const auto points = OutlinePixels(FDragRect.left(), FDragRect.top(), FDragRect.right(), FDragRect.bottom());
    painter.drawPoints(points.data(), int(points.size()));
  }
}

QImage& TImageOverlay::DrawToBitmap(QImage& Bitmap) const {
  QPainter painter(&Bitmap);
  painter.setBrush(Qt::NoBrush);
  PaintAnnotations(painter);
  PaintMarkers(painter);
  return Bitmap;
}

void TImageOverlay::ClampAnnotationPoint(int& X, int& Y) const {
  const TAnnotation& a = FAnnotations[FDragIndex];
  if (X < 0) X = 0;
  if (Y < 0) Y = 0;
  if (X + a.Width > width()) X = width() - a.Width - 1;
  if (Y + a.Height > height()) Y = height() - a.Height - 1;
}

void TImageOverlay::mousePressEvent(QMouseEvent* Event) {
  const int X = Event->position().toPoint().x(), Y = Event->position().toPoint().y();
  if (OnMouseDown) OnMouseDown(Event->button(), Event->modifiers(), X, Y);
  if (Event->button() != Qt::LeftButton) return;
  int hit = -1;
  for (std::size_t i = 0; i < FAnnotations.size(); ++i) {
    const TAnnotation& a = FAnnotations[i];
    const int sx = ToScreen(a.X), sy = ToScreen(a.Y);
    if (X >= sx && X <= sx + a.Width && Y >= sy && Y <= sy + a.Height) hit = int(i);
  }
  if (hit >= 0) {
    FAnnotationDragging = true;
    FDragIndex = hit;
    SelectedAnnotation = hit;
    FDragRect = QRect();
    update();
  } else {
    FRegionDragging = true;
    SelectedAnnotation = -1;
    ROI[0] = ROI[2] = X;
    ROI[1] = ROI[3] = Y;
    update();
  }
}

void TImageOverlay::mouseMoveEvent(QMouseEvent* Event) {
  int X = Event->position().toPoint().x(), Y = Event->position().toPoint().y();
  if (OnMouseMove) OnMouseMove(Event->modifiers(), X, Y);
  if (!(Event->buttons() & Qt::LeftButton)) return;
  if (FAnnotationDragging) {
    ClampAnnotationPoint(X, Y);
    const TAnnotation& a = FAnnotations[FDragIndex];
    const QRect old = FDragRect;
    FDragRect = QRect(X, Y, a.Width, a.Height);
    update(old.adjusted(-1, -1, 1, 1));
    update(FDragRect.adjusted(-1, -1, 1, 1));
  } else if (FRegionDragging) {
    X = std::clamp(X, 0, std::max(width() - 1, 0));
    Y = std::clamp(Y, 0, std::max(height() - 1, 0));
    const QRect old = ROIRect().normalized();
    ROI[2] = X;
    ROI[3] = Y;
    update(old.adjusted(-1, -1, 1, 1));
    update(ROIRect().normalized().adjusted(-1, -1, 1, 1));
  }
}

void TImageOverlay::mouseReleaseEvent(QMouseEvent* Event) {
  if (Event->button() != Qt::LeftButton) return;
  int X = Event->position().toPoint().x(), Y = Event->position().toPoint().y();
  if (FAnnotationDragging && FDragIndex >= 0 && FDragIndex < int(FAnnotations.size())) {
    ClampAnnotationPoint(X, Y);
    TAnnotation& a = FAnnotations[FDragIndex];
    const long double scale = (long double)Zoom / 100.0L;
    a.X = int(std::llrint(X / scale));
    a.Y = int(std::llrint(Y / scale));
  }
  FAnnotationDragging = false;
  FRegionDragging = false;
  FDragRect = QRect();
  update();
}
