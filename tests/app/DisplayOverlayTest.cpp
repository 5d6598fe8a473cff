#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QTest>

#include "app/Display.h"
#include "app/ImageOverlay.h"
#include "app/qvrbar.h"

namespace {
QImage Pattern(int W, int H) {
  QImage image(W, H, QImage::Format_RGB888);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) image.setPixelColor(x, y, QColor((x * 7) & 255, (y * 13) & 255, (x + y) & 255));
  return image;
}

QImage Render(QWidget& W, QColor Background = Qt::black) {
  QImage image(W.size(), QImage::Format_RGB32);
  image.fill(Background);
  W.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
  return image;
}

void SendMouse(QWidget* W, QEvent::Type Type, QPoint P, Qt::MouseButton Button, Qt::MouseButtons Buttons,
               Qt::KeyboardModifiers Mods = Qt::NoModifier) {
  QMouseEvent e(Type, QPointF(P), W->mapToGlobal(QPointF(P)), Button, Buttons, Mods);
  QApplication::sendEvent(W, &e);
}

void Drag(QWidget* W, QPoint From, QPoint To) {
  SendMouse(W, QEvent::MouseButtonPress, From, Qt::LeftButton, Qt::LeftButton);
  SendMouse(W, QEvent::MouseMove, (From + To) / 2, Qt::NoButton, Qt::LeftButton);
  SendMouse(W, QEvent::MouseMove, To, Qt::NoButton, Qt::LeftButton);
  SendMouse(W, QEvent::MouseButtonRelease, To, Qt::LeftButton, Qt::NoButton);
}

bool AnyWhite(const QImage& I, QRect R) {
  for (int y = R.top(); y <= R.bottom(); ++y)
    for (int x = R.left(); x <= R.right(); ++x)
      if (I.rect().contains(x, y) && I.pixelColor(x, y) == QColor(Qt::white)) return true;
  return false;
}
}  // namespace

TEST(Display, SizeRoundsHalfToEvenAndHundredPercentIsExact) {
  TDisplay display;
  display.SetBitmap(Pattern(101, 33));
  display.Zoom = 50.0f;
  int fired = 0;
  display.OnRedraw = [&] { ++fired; };
  display.Redraw();
  EXPECT_EQ(display.size(), QSize(50, 16));  // 50.5 and 16.5 go to even
  EXPECT_EQ(fired, 1);
  EXPECT_EQ(TDisplay::ZoomedSide(3, 50.0f), 2);  // 1.5 -> 2
  EXPECT_EQ(TDisplay::ZoomedSide(5, 50.0f), 2);  // 2.5 -> 2
  EXPECT_EQ(TDisplay::ZoomedSide(7, 150.0f), 10);  // 10.5 -> 10

  display.Zoom = 100.0f;
  display.Redraw();
  EXPECT_EQ(display.size(), QSize(101, 33));
  EXPECT_EQ(display.Picture(), Pattern(101, 33));
  EXPECT_EQ(Render(display).convertToFormat(QImage::Format_RGB888), Pattern(101, 33));
}

TEST(Display, IntegerZoomRepeatsPixelsAndHugeZoomPaintsOnlyTheExposedPart) {
  TDisplay display;
  const QImage source = Pattern(16, 8);
  display.SetBitmap(source);
  display.Zoom = 300.0f;
  display.Redraw();
  ASSERT_EQ(display.size(), QSize(48, 24));
  const QImage picture = display.Picture();
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 48; ++x) ASSERT_EQ(picture.pixelColor(x, y), source.pixelColor(x / 3, y / 3)) << x << "," << y;

  // 3000 x 3000 at 1999 %: a whole zoomed bitmap would take about 100 GB.
  TDisplay big;
  QImage large(3000, 3000, QImage::Format_RGB888);
  large.fill(QColor(10, 20, 30));
  large.setPixelColor(0, 0, QColor(200, 100, 50));
  big.SetBitmap(large);
  big.Zoom = 1999.0f;
  big.Redraw();
  EXPECT_EQ(big.width(), 59970);
  QImage corner(40, 40, QImage::Format_RGB32);
  corner.fill(Qt::black);
  big.render(&corner, QPoint(), QRegion(0, 0, 40, 40));
  EXPECT_EQ(corner.pixelColor(5, 5), QColor(200, 100, 50));
  EXPECT_EQ(corner.pixelColor(30, 30), QColor(10, 20, 30));
}

// What the window paints at each zoom, grabbed from the shown control, is the
// picture scaled by nearest neighbour: display pixel u shows source pixel
// floor((u + 1/2) * source side / display side), no blending.
TEST(Display, PaintedPictureIsTheNearestNeighbourScalingAtEveryZoom) {
  QImage source(13, 7, QImage::Format_RGB888);
  std::uint32_t seed = 7;
  for (int y = 0; y < source.height(); ++y)
    for (int x = 0; x < source.width(); ++x) {
      seed = seed * 1664525u + 1013904223u;
      // Neighbours differ strongly, so any blending shows.
      source.setPixelColor(x, y, QColor((seed >> 24) & 255, ((x + y) & 1) ? 255 : 0, (seed >> 8) & 255));
    }
  const struct {
    float Zoom;
    int W, H;  // display sides: Round(side * zoom / 100)
  } zooms[] = {{100, 13, 7}, {200, 26, 14}, {300, 39, 21}, {400, 52, 28}, {250, 32, 18},
               {150, 20, 10}, {50, 6, 4}, {25, 3, 2}};
  for (const auto& z : zooms) {
    SCOPED_TRACE(z.Zoom);
    TDisplay display;
    display.SetBitmap(source);
    display.Zoom = z.Zoom;
    display.Redraw();
    display.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&display));
    const QImage shown = display.grab().toImage().convertToFormat(QImage::Format_RGB888);
    ASSERT_EQ(shown.size(), QSize(z.W, z.H));
    int wrong = 0;
    for (int v = 0; v < z.H; ++v)
      for (int u = 0; u < z.W; ++u) {
        const int sx = int((2 * u + 1) * source.width() / (2 * z.W));
        const int sy = int((2 * v + 1) * source.height() / (2 * z.H));
        if (shown.pixelColor(u, v) != source.pixelColor(sx, sy)) ++wrong;
      }
    EXPECT_EQ(wrong, 0);
  }
}

TEST(StatusBar, FivePanelsOfFixedWidth) {
  TQVRStatusBar bar;
  bar.show();
  const int widths[] = {250, 85, 125, 125, 50};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(bar.Panel(i)->width(), widths[i]);
  EXPECT_EQ(bar.Panel(0)->frameShape(), QFrame::NoFrame);
  EXPECT_EQ(bar.Panel(5), nullptr);
  bar.SetPanelText(2, QStringLiteral("X:1, Y:2"));
  EXPECT_EQ(bar.PanelText(2), QStringLiteral("X:1, Y:2"));
}

TEST(ImageOverlay, MarkersApertureAndLabelsAtZoom) {
  TImageOverlay overlay;
  overlay.resize(120, 120);
  overlay.Zoom = 200.0f;
  ASSERT_TRUE(overlay.AddMarker(10.0f, 20.0f));
  const QImage image = Render(overlay);
  const QColor white(Qt::white);
  // The cross through (20, 40): ten pixels each way, the far ends one short.
  for (int d = -9; d <= 10; ++d) {
    EXPECT_EQ(image.pixelColor(20 + d, 40), white) << d;
    EXPECT_EQ(image.pixelColor(20, 40 + d), white) << d;
  }
  EXPECT_NE(image.pixelColor(10, 40), white);
  EXPECT_NE(image.pixelColor(31, 40), white);
  // Label "0" with its top-left corner at (26, 46).
  EXPECT_TRUE(AnyWhite(image, QRect(26, 46, 10, 14)));
  EXPECT_FALSE(AnyWhite(image, QRect(22, 42, 4, 20)));
  EXPECT_FALSE(AnyWhite(image, QRect(26, 60, 20, 20)));

  // Apertures keep their radii in screen pixels, whatever the zoom.
  TImageOverlay ap;
  ap.resize(120, 120);
  ap.Zoom = 200.0f;
  ap.MarkerColour = 0x0000FF;  // red
  ASSERT_TRUE(ap.AddAperture(25.0f, 25.0f, 5, 10, 20));
  const QImage circles = Render(ap);
  auto red = [&](int x, int y) { return circles.pixelColor(x, y) == QColor(255, 0, 0); };
  EXPECT_TRUE(red(50, 30) || red(50, 31) || red(50, 29));  // outer circle, 20 above the centre
  EXPECT_FALSE(red(50, 50));
  EXPECT_EQ(ap.Apertures().front().Rout, 20);
}

TEST(ImageOverlay, ListOperationsReportFailureOnEmptyLists) {
  TImageOverlay overlay;
  EXPECT_FALSE(overlay.DeleteMarker(0));
  EXPECT_FALSE(overlay.DeleteAperture(0));
  EXPECT_FALSE(overlay.DeleteAnnotation(0));
  TMarkerRec m;
  EXPECT_FALSE(overlay.GetMarker(0, m));
  EXPECT_TRUE(overlay.AddMarker(1.5f, 2.5f));
  EXPECT_TRUE(overlay.AddMarker(3.0f, 4.0f));
  EXPECT_TRUE(overlay.DeleteMarker(0));
  ASSERT_TRUE(overlay.GetMarker(0, m));
  EXPECT_EQ(m.X, 3.0f);
  EXPECT_EQ(m.Y, 4.0f);
  EXPECT_FALSE(overlay.DeleteMarker(5));
  ASSERT_TRUE(overlay.AddAnnotation(1, 2, QStringLiteral("a"), QFont(QStringLiteral("Arial"))));
  overlay.SelectedAnnotation = 0;
  EXPECT_TRUE(overlay.DeleteAnnotation(0));
  EXPECT_EQ(overlay.SelectedAnnotation, -1);
  EXPECT_TRUE(overlay.Annotations().empty());
}

TEST(ImageOverlay, LaterAnnotationWinsAndDropsOnePixelInside) {
  TImageOverlay overlay;
  overlay.resize(200, 60);
  overlay.show();
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(12);
  ASSERT_TRUE(overlay.AddAnnotation(10, 10, QStringLiteral("first"), font));
  ASSERT_TRUE(overlay.AddAnnotation(12, 12, QStringLiteral("second"), font));
  QTest::mousePress(&overlay, Qt::LeftButton, Qt::NoModifier, QPoint(14, 14));
  EXPECT_EQ(overlay.SelectedAnnotation, 1);
  QTest::mouseRelease(&overlay, Qt::LeftButton, Qt::NoModifier, QPoint(14, 14));
  // A press and release without moving drops the box with its corner at the point.
  EXPECT_EQ(overlay.Annotations()[1].X, 14);
  EXPECT_EQ(overlay.Annotations()[1].Y, 14);

  const int w = overlay.Annotations()[0].Width;
  Drag(&overlay, QPoint(11, 11), QPoint(195, 20));
  EXPECT_EQ(overlay.SelectedAnnotation, 0);
  EXPECT_EQ(overlay.Annotations()[0].X, 200 - w - 1);
  EXPECT_EQ(overlay.Annotations()[0].X + w, 199);
  EXPECT_EQ(overlay.Annotations()[0].Y, 20);
  EXPECT_FALSE(overlay.DraggingAnnotation());

  // At 300 % the drop point is divided back: 100 / 3 = 33.33 -> 33.
  overlay.Zoom = 300.0f;
  const auto& a = overlay.Annotations()[0];
  const QPoint inside(a.X * 3 + 1, a.Y * 3 + 1);
  Drag(&overlay, inside, QPoint(100, 10));
  EXPECT_EQ(overlay.Annotations()[0].X, 33);
  EXPECT_EQ(overlay.Annotations()[0].Y, 3);
}

TEST(ImageOverlay, RegionDragStopsAtTheLastColumnAndRow) {
  TImageOverlay overlay;
  overlay.resize(100, 50);
  overlay.show();
  Drag(&overlay, QPoint(5, 6), QPoint(150, 80));
  EXPECT_EQ(overlay.ROI[0], 5);
  EXPECT_EQ(overlay.ROI[1], 6);
  EXPECT_EQ(overlay.ROI[2], 99);
  EXPECT_EQ(overlay.ROI[3], 49);
  EXPECT_FALSE(overlay.DraggingRegion());
  const QImage image = Render(overlay);
  EXPECT_EQ(image.pixelColor(5, 6), QColor(Qt::white));
  EXPECT_EQ(image.pixelColor(99, 49), QColor(Qt::white));
  EXPECT_EQ(image.pixelColor(50, 6), QColor(Qt::white));
  EXPECT_NE(image.pixelColor(50, 20), QColor(Qt::white));
  // Dragging back to the left and up: the corners stay unordered.
  Drag(&overlay, QPoint(60, 30), QPoint(-20, -5));
  EXPECT_EQ(overlay.ROI[2], 0);
  EXPECT_EQ(overlay.ROI[3], 0);
  // A click without a drag leaves a region of no size there.
  QTest::mouseClick(&overlay, Qt::LeftButton, Qt::NoModifier, QPoint(30, 20));
  EXPECT_EQ(overlay.ROIRect(), QRect(QPoint(30, 20), QPoint(30, 20)));
  EXPECT_FALSE(AnyWhite(Render(overlay), overlay.rect()));  // and shows nothing
}

TEST(ImageOverlay, SelectedAnnotationFrameRunsFiveBlackThreeAqua) {
  TImageOverlay overlay;
  overlay.resize(200, 60);
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(12);
  ASSERT_TRUE(overlay.AddAnnotation(20, 10, QStringLiteral("aaaaaaaa"), font));
  overlay.SelectedAnnotation = 0;
  const QImage image = Render(overlay, Qt::red);
  const TAnnotation& a = overlay.Annotations()[0];
  ASSERT_GT(a.Width, 16);
  // Clockwise from the top-left corner; mask 1,2,4,8,16 black, 32,64,128 aqua.
  std::vector<QPoint> path;
  for (int x = 20; x < 20 + a.Width; ++x) path.emplace_back(x, 10);
  for (int y = 10; y < 10 + a.Height; ++y) path.emplace_back(20 + a.Width, y);
  for (int x = 20 + a.Width; x > 20; --x) path.emplace_back(x, 10 + a.Height);
  for (int y = 10 + a.Height; y > 10; --y) path.emplace_back(20, y);
  for (std::size_t i = 0; i < path.size(); ++i) {
    const QColor expected = (i % 8) < 5 ? QColor(Qt::black) : QColor(0, 255, 255);
    ASSERT_EQ(image.pixelColor(path[i]), expected) << "pixel " << i;
  }
}

TEST(ImageOverlay, DrawToBitmapDrawsAnnotationsAndMarkersOnly) {
  TImageOverlay overlay;
  overlay.resize(100, 100);
  overlay.AddMarker(50.0f, 50.0f);
  overlay.AddAperture(20.0f, 20.0f, 3, 5, 8);
  overlay.ROI[0] = 70;
  overlay.ROI[1] = 70;
  overlay.ROI[2] = 90;
  overlay.ROI[3] = 90;
  QImage bitmap(100, 100, QImage::Format_RGB888);
  bitmap.fill(Qt::black);
  overlay.DrawToBitmap(bitmap);
  EXPECT_EQ(bitmap.pixelColor(50, 50), QColor(Qt::white));
  EXPECT_FALSE(AnyWhite(bitmap, QRect(10, 10, 22, 22)));      // no aperture
  EXPECT_FALSE(AnyWhite(bitmap, QRect(70, 70, 21, 21)));      // no region
}

TEST(ImageOverlay, OutlineVisitsEachPixelOnce) {
  EXPECT_EQ(OutlinePixels(0, 0, 2, 2).size(), 8u);
  EXPECT_EQ(OutlinePixels(2, 2, 0, 0).size(), 8u);
  EXPECT_TRUE(OutlinePixels(3, 3, 3, 3).empty());
  EXPECT_EQ(OutlinePixels(0, 5, 4, 5).size(), 5u);
  EXPECT_EQ(TColorToQColor(0x0000FF), QColor(255, 0, 0));
  EXPECT_EQ(TColorToQColor(clAqua), QColor(0, 255, 255));
  EXPECT_EQ(QColorToTColor(QColor(1, 2, 3)), 0x030201u);
}

TEST(ImageOverlay, DragOutlinesShowWhileTheButtonIsDown) {
  TImageOverlay overlay;
  overlay.resize(200, 100);
  overlay.show();
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(12);
  ASSERT_TRUE(overlay.AddAnnotation(10, 10, QStringLiteral("moving"), font, clWhite));
  const TAnnotation& a = overlay.Annotations()[0];
  SendMouse(&overlay, QEvent::MouseButtonPress, QPoint(12, 12), Qt::LeftButton, Qt::LeftButton);
  SendMouse(&overlay, QEvent::MouseMove, QPoint(100, 60), Qt::NoButton, Qt::LeftButton);
  QImage image = Render(overlay);
  // The outline of the box at its new place, inverted over black.
  EXPECT_EQ(image.pixelColor(100, 60), QColor(Qt::white));
  EXPECT_EQ(image.pixelColor(100 + a.Width - 1, 60 + a.Height - 1), QColor(Qt::white));
  EXPECT_EQ(a.X, 10);  // the record moves only on release
  SendMouse(&overlay, QEvent::MouseButtonRelease, QPoint(100, 60), Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(a.X, 100);
  EXPECT_EQ(a.Y, 60);

  SendMouse(&overlay, QEvent::MouseButtonPress, QPoint(150, 5), Qt::LeftButton, Qt::LeftButton);
  SendMouse(&overlay, QEvent::MouseMove, QPoint(190, 40), Qt::NoButton, Qt::LeftButton);
  EXPECT_TRUE(overlay.DraggingRegion());
  image = Render(overlay);
  EXPECT_EQ(image.pixelColor(170, 5), QColor(Qt::white));
  EXPECT_EQ(image.pixelColor(190, 20), QColor(Qt::white));
  SendMouse(&overlay, QEvent::MouseButtonRelease, QPoint(190, 40), Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(overlay.ROIRect(), QRect(QPoint(150, 5), QPoint(190, 40)));
}
