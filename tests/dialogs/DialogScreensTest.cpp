// The gamma, DDP and linear scale dialogs on a real sky image (a DSS plate
// cut-out that astropy ships), as a user sees them. With
// CORVELLE_DIALOG_SCREENS set to a folder the pictures are saved there.
#include <QAreaSeries>
#include <QChartView>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <set>

#include "DialogTestUtil.h"
#include "app/FileManager.h"
#include "dialogs/DDPForm.h"
#include "dialogs/GammaForm.h"
#include "dialogs/LinearForm.h"

using DialogScreens = DialogTest;

namespace {
const char* const SkyFile = "/usr/lib/python3/dist-packages/astropy/wcs/tests/data/dss.14.29.56-62.41.05.fits.gz";

// Distinct grey levels in a part of a picture.
int Levels(const QImage& Picture, const QRect& Part) {
  std::set<QRgb> seen;
  for (int y = Part.top(); y <= Part.bottom(); ++y)
    for (int x = Part.left(); x <= Part.right(); ++x) seen.insert(Picture.pixel(x, y));
  return int(seen.size());
}
}  // namespace

TEST_F(DialogScreens, GammaDDPAndLinearScaleOnASkyImage) {
  QTemporaryDir dir;
  const QString fits = dir.filePath(QStringLiteral("dss.fits"));
  QProcess p;
  p.start(QStringLiteral("/usr/bin/python3"),
          {QStringLiteral("-c"), QStringLiteral("from astropy.io import fits; h = fits.open('%1'); "
                                                "fits.PrimaryHDU(h[0].data, h[0].header).writeto('%2', output_verify='silentfix')")
                                     .arg(QString::fromLatin1(SkyFile), fits)});
  ASSERT_TRUE(p.waitForFinished(60000) && p.exitCode() == 0) << p.readAllStandardError().toStdString();
  Form->resize(1000, 700);
  OpenImageFile(fits);
  TChildForm* sky = Form->ActiveMDIChild();
  ASSERT_NE(sky, nullptr);
  ASSERT_EQ(sky->DataImage->Width, 100);

  const char* const saveTo = std::getenv("CORVELLE_DIALOG_SCREENS");
  for (auto [action, file] : {std::pair{"ScaleGamma", "gamma.png"}, {"ScaleDDP", "ddp.png"}, {"ScaleLinear", "linear.png"}}) {
    SCOPED_TRACE(action);
    Form->MDIArea()->setActiveSubWindow(sky);
    WithDialog(action, [&](QDialog* dialog) {
      ASSERT_NE(dialog, nullptr);
      if (dialog == frmGamma) SlideTo(frmGamma->trkGamma, 5);
      Settle(dialog);
      dialog->adjustSize();
      QTest::qWait(20);
      const QImage shot = dialog->grab().toImage();
      if (saveTo) shot.save(QDir(QString::fromLocal8Bit(saveTo)).filePath(QString::fromLatin1(file)));
      // The preview shows the sky, not a flat field.
      auto* d = qobject_cast<TProcessingDialog*>(dialog);
      TDisplay* preview = d->fmePreview->PreviewDisplay;
      const QRect shown(preview->mapTo(dialog, QPoint(0, 0)), QSize(std::min(preview->width(), 128), 128));
      EXPECT_GT(Levels(shot, shown), 20);
      if (dialog == frmLinear) {
        // The white histogram stands in the dark plot area.
        const QRect plot = frmLinear->Chart1->chart()->plotArea().toRect().translated(
            frmLinear->Chart1->mapTo(dialog, QPoint(0, 0)));
        int white = 0, dark = 0;
        for (int y = plot.top(); y <= plot.bottom(); ++y)
          for (int x = plot.left(); x <= plot.right(); ++x) {
            const QColor c = shot.pixelColor(x, y);
            white += c == QColor(Qt::white);
            dark += c.lightness() < 80;
          }
        EXPECT_GT(white, 50);
        EXPECT_GT(dark, 10 * white);
      }
      ClickCancel(dialog);
    });
  }
}
