// The main window, the quick scale window beside a FITS image, the
// preferences and the import dialog as a user sees them. With
// CORVELLE_SHELL_SCREEN set to one of "menus", "filemenu", "scale", "preferences",
// "import" that scene stays on screen for CORVELLE_SCREENSHOT_WAIT_MS so a
// screen grab can be taken (xvfb-run, ImageMagick's import).
#include <gtest/gtest.h>

#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>
#include <QChartView>

#include "app/Child.h"
#include "app/FileManager.h"
#include "app/Main.h"
#include "app/PreferencesForm.h"
#include "app/QuickScaleForm.h"
#include "app/StartUp.h"
#include "app/NewForm.h"
#include "app/PrintForm.h"
#include "app/QuickZoomForm.h"
#include "dialogs/FITSOptionsForm.h"
#include "dialogs/FileOptionsForm.h"
#include "dialogs/ImportForm.h"

#include <QTabWidget>
#include "platform/MessageBox.h"
#include "platform/Registry.h"

namespace {
QString Scene() { return QString::fromLocal8Bit(std::getenv("CORVELLE_SHELL_SCREEN")); }
void Linger() {
  if (const char* wait = std::getenv("CORVELLE_SCREENSHOT_WAIT_MS")) QTest::qWait(std::atoi(wait));
}
}  // namespace

TEST(ShellScreens, MainWindowScaleWindowAndDialogs) {
  {
    TRegistry reg;
    reg.DeleteKey(QStringLiteral("\\Software\\Quorvath"));
  }
  auto previous = MessageBox::SetHook([](TMsgDlgType, const QString&, unsigned) { return int(mrOk); });
  QTemporaryDir dir;
  const QString fits = dir.filePath(QStringLiteral("ngc7000.fits"));
  QProcess py;
  py.start(QStringLiteral("/usr/bin/python3"),
           {QStringLiteral("-c"),
            QStringLiteral("import numpy as np; from astropy.io import fits\n"
                           "rng = np.random.default_rng(7); y, x = np.mgrid[0:300, 0:400]\n"
                           "d = 1200 + 90 * rng.standard_normal((300, 400)) + 9000 * np.exp(-((x - 210) ** 2 + "
                           "(y - 140) ** 2) / 4000.0)\n"
                           "for sx, sy, a in rng.uniform(0, 1, (60, 3)) * [400, 300, 40000]:\n"
                           "    d += a * np.exp(-((x - sx) ** 2 + (y - sy) ** 2) / 3.0)\n"
                           "fits.PrimaryHDU(np.clip(d, 0, 65535).astype(np.uint16)).writeto('%1')")
                .arg(fits)});
  ASSERT_TRUE(py.waitForFinished(60000) && py.exitCode() == 0) << py.readAllStandardError().toStdString();

  auto* form = new TMainForm;
  MainForm = form;
  CreateForms(form);
  form->show();
  QTest::qWait(50);
  EXPECT_TRUE(form->isMaximized());
  OpenImageFile(fits);
  form->QuickLinearScaleUpdate();
  TChildForm* child = form->ActiveMDIChild();
  ASSERT_NE(child, nullptr);
  child->move(10, 10);
  EXPECT_EQ(frmQuickLinearScale->Points().size(), 256);
  frmQuickLinearScale->move(form->geometry().right() - frmQuickLinearScale->width() - 30, form->y() + 160);
  frmQuickLinearScale->raise();
  QTest::qWait(50);
  const QImage chart = frmQuickLinearScale->grab().toImage();
  ASSERT_FALSE(chart.isNull());
  // The histogram shows: its filled curve covers a part of the plot area in
  // many columns, not none and not all of it.
  {
    const QRect plot = frmQuickLinearScale->Chart->geometry();
    int columns = 0, filled = 0, cells = 0;
    for (int x = plot.left(); x <= plot.right(); ++x) {
      bool any = false;
      for (int y = plot.top(); y <= plot.bottom(); ++y) {
        const QColor c = chart.pixelColor(x, y);
        ++cells;
        if (std::abs(c.red() - 48) < 12 && std::abs(c.green() - 72) < 12 && std::abs(c.blue() - 128) < 12) {
          any = true;
          ++filled;
        }
      }
      if (any) ++columns;
    }
    EXPECT_GT(columns, 100);
    EXPECT_GT(filled, cells / 50);
    EXPECT_LT(filled, cells / 2);
  }

  const QString scene = Scene();
  if (scene == QLatin1String("menus")) {
    QMenu* file = form->Menu(QStringLiteral("FilterMenu"));
    file->popup(form->menuBar()->mapToGlobal(form->menuBar()->actionGeometry(file->menuAction()).bottomLeft()));
    QTest::qWait(100);
    form->Action(QStringLiteral("FilterMedian"))->menu()->popup(file->mapToGlobal(
        file->actionGeometry(form->Action(QStringLiteral("FilterMedian"))).topRight()));
    Linger();
  } else if (scene == QLatin1String("filemenu")) {
    QMenu* file = form->Menu(QStringLiteral("FileMenu"));
    file->popup(form->menuBar()->mapToGlobal(form->menuBar()->actionGeometry(file->menuAction()).bottomLeft()));
    Linger();
  } else if (scene == QLatin1String("scale")) {
    Linger();
  } else if (scene == QLatin1String("preferences")) {
    frmPreferences->show();
    Linger();
  } else if (scene == QLatin1String("import")) {
    frmImport->show();
    Linger();
  } else if (scene == QLatin1String("dialogs")) {
    frmQuickZoom->show();
    frmQuickZoom->btnZoomInClick();
    child->ImageOverlayMouseMove(Qt::NoModifier, 210, 140);
    frmNew->move(20, 420);
    frmNew->show();
    frmPrint->move(300, 420);
    frmPrint->show();
    Linger();
  } else if (scene == QLatin1String("fits")) {
    frmFITSOptions->show();
    frmFITSOptions->btnNewHeaderClick();
    Linger();
  } else if (scene == QLatin1String("fileoptions")) {
    frmFileOptions->Execute(false);
    frmFileOptions->PageControl1->setCurrentIndex(0);
    frmFileOptions->show();
    frmFileOptions->Pan(120, 90);
    Linger();
  }
  for (TChildForm* c : form->MDIChildren()) {
    c->setAttribute(Qt::WA_DeleteOnClose, false);
    delete c;
  }
  FreeForms();
  delete form;
  MainForm = nullptr;
  MessageBox::SetHook(previous);
}
