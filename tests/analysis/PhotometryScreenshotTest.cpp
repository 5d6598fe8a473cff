// The results grid beside an image with apertures, as a user sees them. With
// CORVELLE_SCREENSHOT set to a file name the picture is saved there.
#include <QAction>
#include <QPainter>
#include <QTableWidget>
#include <QTest>
#include <cstdlib>

#include "PhotometryTestSupport.h"

TEST_F(PhotometryTest, ScreenshotOfTheGridBesideAnImageWithApertures) {
  TChildForm* child = StarField(220, 160, {{60.2, 50.4, 20000}, {150.6, 100.3, 8000}, {170.3, 40.7, 50000}},
                                QStringLiteral("stars.fts"));
  for (QPoint p : {QPoint(60, 50), QPoint(150, 100), QPoint(170, 40)})
    QTest::mouseClick(child->ImageOverlay, Qt::LeftButton, Qt::AltModifier, p);
  child->CompMagnitude = 10.0;
  child->CompAperture = 2;
  Form->Action("PhotometryCalcMag")->trigger();
  ASSERT_TRUE(frmPhotometryGrid->isVisible());
  QTest::qWait(20);

  const QImage image = child->grab().toImage(), grid = frmPhotometryGrid->grab().toImage();
  QImage shot(image.width() + grid.width() + 10, std::max(image.height(), grid.height()), QImage::Format_RGB32);
  shot.fill(Qt::darkGray);
  {
    QPainter p(&shot);
    p.drawImage(0, 0, image);
    p.drawImage(image.width() + 10, 0, grid);
  }
  if (const char* file = std::getenv("CORVELLE_SCREENSHOT")) shot.save(QString::fromLocal8Bit(file));

  // The outer circle of aperture 0 crosses the row of its centre 18 pixels right of it.
  const TApertureRec a = child->Aperture(0);
  const QPoint centre = child->ImageDisplay->mapTo(child, QPoint(int(std::lrint(a.X)), int(std::lrint(a.Y))));
  bool white = false;
  for (int dx = 16; dx <= 19; ++dx) white = white || image.pixelColor(centre + QPoint(dx, 0)) == QColor(Qt::white);
  EXPECT_TRUE(white);
  // The grid's first result row carries text: dark pixels inside its magnitude cell.
  const QRect cell = frmPhotometryGrid->Grid->visualRect(frmPhotometryGrid->Grid->model()->index(1, 1));
  const QPoint origin = frmPhotometryGrid->Grid->viewport()->mapTo(frmPhotometryGrid, cell.topLeft());
  int dark = 0;
  for (int y = 0; y < cell.height(); ++y)
    for (int x = 0; x < cell.width(); ++x) dark += grid.pixelColor(origin + QPoint(x, y)).lightness() < 100;
  EXPECT_GT(dark, 10);
}
