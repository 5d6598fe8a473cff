// Two image windows in the main window as a user sees them. With
// CORVELLE_SCREENSHOT set to a file name the window's picture is saved there,
// and with CORVELLE_SCREENSHOT_WAIT_MS the test lingers so that a screen grab
// (xvfb-run, ImageMagick's import) can be taken.
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QScrollArea>
#include <QScrollBar>
#include <cmath>
#include <cstdlib>

#include "AppTestUtil.h"
#include "app/FileManager.h"

namespace {
bool Python(const QString& Script) {
  QProcess p;
  p.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), Script});
  const bool ok = p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
  EXPECT_TRUE(ok) << p.readAllStandardError().toStdString();
  return ok;
}
}  // namespace

using Screenshot = AppTest;

TEST_F(Screenshot, GreyFITSWithMarksAndColourJPEGWithAnnotation) {
  QTemporaryDir dir;
  const QString fits = dir.filePath(QStringLiteral("m42.fits")), jpg = dir.filePath(QStringLiteral("sunset.jpg"));
  ASSERT_TRUE(Python(QStringLiteral(
      "import numpy as np; from astropy.io import fits; from PIL import Image\n"
      "y, x = np.mgrid[0:180, 0:240]\n"
      "d = 2000 + 30000 * np.exp(-((x - 120) ** 2 + (y - 90) ** 2) / 800.0) + 8000 * np.exp(-((x - 60) ** 2 + (y - 40) ** 2) / 30.0)\n"
      "fits.PrimaryHDU(d.astype(np.uint16)).writeto('%1')\n"
      "c = np.zeros((160, 220, 3), np.uint8); c[..., 0] = 255 - y[:160, :220]; c[..., 1] = x[:160, :220]; c[..., 2] = 90\n"
      "Image.fromarray(c, 'RGB').save('%2', quality=95)").arg(fits, jpg)));
  Form->resize(900, 600);
  OpenImageFile(fits);
  TChildForm* grey = Form->ActiveMDIChild();
  ASSERT_NE(grey, nullptr);
  grey->ImageOverlay->AddMarker(60.0f, 40.0f);
  grey->ImageOverlay->AddAperture(120.0f, 90.0f, 8, 13, 18);
  grey->ImageOverlay->ROI[0] = 150, grey->ImageOverlay->ROI[1] = 20;
  grey->ImageOverlay->ROI[2] = 220, grey->ImageOverlay->ROI[3] = 70;
  OpenImageFile(jpg);
  TChildForm* colour = Form->ActiveMDIChild();
  ASSERT_NE(colour, grey);
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(20);
  colour->ImageOverlay->AddAnnotation(20, 60, QStringLiteral("Sunset"), font, clWhite);
  colour->move(300, 120);
  QTest::qWait(50);

  const QImage shot = Form->grab().toImage();
  // The marker's cross and the region's corner are white on the grey window.
  const QPoint g = grey->ImageDisplay->mapTo(Form.get(), QPoint(60, 40));
  EXPECT_EQ(shot.pixelColor(g + QPoint(5, 0)), QColor(Qt::white));
  const QPoint r = grey->ImageDisplay->mapTo(Form.get(), QPoint(150, 20));
  EXPECT_EQ(shot.pixelColor(r), QColor(Qt::white));
  EXPECT_EQ(Form->PanelText(1), QStringLiteral("220 x 160"));
  if (const char* file = std::getenv("CORVELLE_SCREENSHOT")) shot.save(QString::fromLocal8Bit(file));
  if (const char* wait = std::getenv("CORVELLE_SCREENSHOT_WAIT_MS")) QTest::qWait(std::atoi(wait));
}

// The grey window at 200 % with scroll bars, the colour window's annotation
// selected, and the pixel under the mouse in the status bar.
TEST_F(Screenshot, ZoomedWindowSelectedAnnotationAndReadOut) {
  Form->resize(900, 600);
  TChildForm* grey = GreyWindow(240, 180, 1, [](int x, int y) {
    return float(1000 + 20000 * std::exp(-((x - 120) * (x - 120) + (y - 90) * (y - 90)) / 400.0));
  }, QStringLiteral("zoomed"));
  grey->ImageOverlay->AddMarker(120.0f, 90.0f);
  grey->SetZoom(200.0f);
  TChildForm* colour = ColourWindow(200, 120, [](int x, int y) {
    return TRGBPixel{std::uint8_t(60 + y), std::uint8_t(x), std::uint8_t(200 - y)};  // B, G, R
  }, QStringLiteral("annotated"));
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(18);
  colour->ImageOverlay->AddAnnotation(30, 40, QStringLiteral("Selected"), font, 0x00FFFF);
  colour->move(420, 60);
  // A press on the annotation selects it; the release drops it where it was pressed.
  const QPoint on(31, 41);
  QTest::mouseClick(colour->ImageOverlay, Qt::LeftButton, Qt::NoModifier, on);
  EXPECT_EQ(colour->ImageOverlay->SelectedAnnotation, 0);
  EXPECT_EQ(colour->ImageOverlay->Annotations()[0].X, 31);
  QTest::mouseMove(colour->ImageOverlay, QPoint(150, 100));
  EXPECT_EQ(Form->PanelText(2), QStringLiteral("X:150, Y:100"));
  EXPECT_EQ(Form->PanelText(3), QStringLiteral("R:100 G:150 B:160"));
  EXPECT_EQ(Form->PanelText(1), QStringLiteral("200 x 120"));
  // The zoomed window grows with its picture.
  EXPECT_EQ(grey->ScrollBox->viewport()->width(), grey->ImageDisplay->width());
  QTest::qWait(50);
  const QImage shot = Form->grab().toImage();
  // What a user notices: the grey window shows its star, bright in the middle
  // of a dark sky, not a blank area; the selected annotation's yellow text
  // shows inside the colour window.
  const QRect seen = grey->ScrollBox->viewport()->rect().intersected(
      QRect(grey->ImageDisplay->mapTo(grey->ScrollBox->viewport(), QPoint(0, 0)), grey->ImageDisplay->size()));
  ASSERT_FALSE(seen.isEmpty());
  int darkest = 255, brightest = 0;
  for (int y = seen.top(); y <= seen.bottom(); y += 3)
    for (int x = seen.left(); x <= seen.right(); x += 3) {
      const QColor c = shot.pixelColor(grey->ScrollBox->viewport()->mapTo(Form.get(), QPoint(x, y)));
      darkest = std::min(darkest, c.green());
      brightest = std::max(brightest, c.green());
    }
  EXPECT_LT(darkest, 40);
  EXPECT_GT(brightest, 200);
  const QPoint star = grey->ImageDisplay->mapTo(Form.get(), QPoint(240, 180));
  if (shot.rect().contains(star) && seen.contains(grey->ImageDisplay->mapTo(grey->ScrollBox->viewport(), QPoint(240, 180)))) {
    EXPECT_GT(shot.pixelColor(star).green(), 200);
  }
  int yellow = 0;
  const QRect text(colour->ImageDisplay->mapTo(Form.get(), QPoint(30, 20)), QSize(100, 45));
  for (int y = text.top(); y <= text.bottom(); ++y)
    for (int x = text.left(); x <= text.right(); ++x) {
      const QColor c = shot.pixelColor(x, y);
      if (c.red() > 200 && c.green() > 200 && c.blue() < 60) ++yellow;
    }
  EXPECT_GT(yellow, 20);
  if (const char* file = std::getenv("CORVELLE_SCREENSHOT2")) shot.save(QString::fromLocal8Bit(file));
  if (const char* wait = std::getenv("CORVELLE_SCREENSHOT_WAIT_MS")) QTest::qWait(std::atoi(wait));
}
