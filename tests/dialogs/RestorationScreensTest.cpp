// The Lucy-Richardson dialog in the middle of a run and the Combine dialog
// with a series chosen, as a user sees them. With CORVELLE_SCREENSHOT_DIR set
// the pictures are saved there.
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <cmath>
#include <cstdlib>

#include "app/PreviewFrame.h"
#include "app/Display.h"
#include "dialogs/DeconvolutionForms.h"
#include "dialogs/ImageCombineForm.h"
#include "dialogs/RestorationTestUtil.h"

namespace {

void Save(const QImage& Shot, const char* Name) {
  if (const char* dir = std::getenv("CORVELLE_SCREENSHOT_DIR"))
    Shot.save(QDir(QString::fromLocal8Bit(dir)).filePath(QString::fromLatin1(Name)));
}

// How many different colours a part of a picture holds.
int Colours(const QImage& Shot, QRect Part) {
  QSet<QRgb> seen;
  Part = Part.intersected(Shot.rect());
  for (int y = Part.top(); y <= Part.bottom(); ++y)
    for (int x = Part.left(); x <= Part.right(); ++x) seen.insert(Shot.pixel(x, y));
  return int(seen.size());
}

}  // namespace

using RestorationScreens = RestorationTest;

TEST_F(RestorationScreens, LucyRichardsonInTheMiddleOfARun) {
  GreyWindow(200, 150, 1, [](int x, int y) {
    float v = 500;
    for (auto [sx, sy, a] : {std::tuple{60, 50, 20000}, std::tuple{140, 90, 12000}, std::tuple{90, 120, 9000}})
      v += float(a * std::exp(-((x - sx) * (x - sx) + (y - sy) * (y - sy)) / 18.0));
    return v;
  }, QStringLiteral("Stars"));
  QImage shot;
  QString label;
  RunCommand("RestorationLucyRichardson", [&](QWidget* dlg) {
    Click(dlg, "btnPreview");
    const TProgressHandler previous = SetProgressHandler([&](int Iteration, int) {
      if (Iteration != 4 || !frmLucyRichardson->Running()) return;
      label = frmLucyRichardson->lblStatus->text();
      shot = dlg->grab().toImage();
    });
    Click(dlg, "btnOK");
    SetProgressHandler(previous);
  });
  ASSERT_FALSE(shot.isNull());
  Save(shot, "lucy-richardson-running.png");
  EXPECT_EQ(label, QStringLiteral("Iteration: 4"));
  // The bar is filled to 40 %: its left part differs from its right part.
  QProgressBar* bar = frmLucyRichardson->ProgressBar;
  const QRect r(bar->mapTo(frmLucyRichardson, QPoint(0, 0)), bar->size());
  const QRgb left = shot.pixel(r.left() + r.width() / 8, r.center().y());
  const QRgb right = shot.pixel(r.left() + r.width() * 7 / 8, r.center().y());
  EXPECT_NE(left, right);
  // The previewed stars show in the preview frame.
  QWidget* display = frmLucyRichardson->fmePreview->PreviewDisplay;
  const QRect p(display->mapTo(frmLucyRichardson, QPoint(0, 0)), QSize(128, 128));
  EXPECT_GT(Colours(shot, p), 20);
}

TEST_F(RestorationScreens, CombineWithASeriesChosen) {
  for (int k = 0; k < 4; ++k)
    GreyWindow(60, 40, 3, [k](int x, int y) { return float(x + y + k); }, QStringLiteral("Light %1.fts").arg(k + 1));
  QImage shot;
  RunCommand("ProcessCombine", [&](QWidget* dlg) {
    auto* src = dlg->findChild<QListWidget*>(QStringLiteral("lstSource"));
    src->item(1)->setSelected(true);
    src->item(3)->setSelected(true);
    Click(dlg, "btnAdd");
    shot = dlg->grab().toImage();
  });
  ASSERT_FALSE(shot.isNull());
  Save(shot, "combine.png");
  // Both lists show names: their areas are not plain.
  for (const char* name : {"lstSource", "lstDest"}) {
    auto* list = frmImageCombine->findChild<QListWidget*>(QString::fromLatin1(name));
    ASSERT_EQ(list->count(), 2);
    const QRect r(list->mapTo(frmImageCombine, QPoint(0, 0)), list->size());
    EXPECT_GT(Colours(shot, r), 2) << name;
  }
}
