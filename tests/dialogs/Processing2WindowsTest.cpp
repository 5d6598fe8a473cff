// The second group of processing dialogs as windows of the program: created
// once at start-up in the program's order, each opened by its command, every
// control named for a screen reader and every label tied to its control.
// With CORVELLE_SCREENSHOT_DIR set, the dialogs' pictures are saved there
// (run under xvfb-run with QT_QPA_PLATFORM=xcb to see them as on a screen).
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QSlider>
#include <QChartView>
#include <cmath>

#include "Processing2TestUtil.h"
#include "app/FloatEdit.h"
#include "app/IntEdit.h"
#include "app/PreviewFrame.h"
#include "dialogs/CombineForm.h"
#include "dialogs/CropForm.h"
#include "dialogs/CustomFilterForm.h"
#include "dialogs/HistSpecForm.h"
#include "dialogs/ImageMathForm.h"
#include "dialogs/PseudoColourForm.h"

namespace {
using Processing2Windows = Processing2Test;

float Stars(int x, int y) {
  auto star = [&](double cx, double cy, double peak, double s) {
    return peak * std::exp(-((x - cx) * (x - cx) + (y - cy) * (y - cy)) / (2 * s * s));
  };
  return float(800 + 30 * ((x * 7 + y * 13) % 11) + star(60, 50, 20000, 6) + star(150, 90, 9000, 3) +
               star(100, 120, 40000, 12) + star(30, 130, 5000, 2));
}

void Save(QWidget* W, const char* Name) {
  const QByteArray dir = qgetenv("CORVELLE_SCREENSHOT_DIR");
  if (dir.isEmpty()) return;
  W->grab().save(QDir(QString::fromLocal8Bit(dir)).filePath(QLatin1String(Name)));
}

// Pixels of Picture that are neither grey nor the background.
int Coloured(const QImage& Picture, QRect Area) {
  int n = 0;
  for (int y = Area.top(); y <= Area.bottom(); ++y)
    for (int x = Area.left(); x <= Area.right(); ++x) {
      const QColor c = Picture.pixelColor(x, y);
      if (std::abs(c.red() - c.green()) > 40 || std::abs(c.green() - c.blue()) > 40) ++n;
    }
  return n;
}
}  // namespace

TEST_F(Processing2Windows, CreatedOnceInOrderAndOpenedByTheirCommands) {
  QStringList order;
  for (QObject* o : Form->children())
    if (o->objectName().startsWith(QLatin1String("frm"))) order << o->objectName();
  EXPECT_EQ(order, QStringList({"frmCombine", "frmCrop", "frmCustomFilter", "frmImageMath", "frmPseudoColour",
                                "frmHistogramSpec"}));
  GreyWindow(40, 30, 1, [](int x, int y) { return float(x * y); }, QStringLiteral("m42r.fts"));
  struct TCase {
    const char* Command;
    QDialog* Dialog;
    const char* Caption;
  };
  const TCase cases[] = {
      {"ProcessRGBCombine", frmCombine, "Combine"},
      {"ProcessCrop", frmCrop, "Crop"},
      {"FilterCustom", frmCustomFilter, "Custom Filter Kernel"},
      {"ProcessImageMath", frmImageMath, "Image Math"},
      {"ScalePseudoColour", frmPseudoColour, "Pseudo Colour"},
      {"ScaleHistogramSpec", frmHistogramSpec, "Histogram Specification"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Command);
    QDialog* shown = nullptr;
    ASSERT_TRUE(RunCommand(c.Command, [&](QDialog* d) {
      shown = d;
      EXPECT_EQ(d->windowTitle(), QLatin1String(c.Caption));
      EXPECT_FALSE(d->accessibleName().isEmpty());
      // Every control a user can reach has a name a screen reader says.
      for (QWidget* w : d->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(d)) continue;
        const bool control = qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractButton*>(w) ||
                             qobject_cast<QComboBox*>(w) || qobject_cast<QSlider*>(w) || qobject_cast<QChartView*>(w);
        if (control && !qobject_cast<QLineEdit*>(w->parentWidget()) && !qobject_cast<QComboBox*>(w->parentWidget())) {
          EXPECT_FALSE(w->accessibleName().isEmpty()) << w->metaObject()->className() << " " << w->objectName().toStdString();
        }
        // A label with an access key leads to its control.
        if (auto* l = qobject_cast<QLabel*>(w); l && l->text().contains(QLatin1Char('&'))) {
          EXPECT_NE(l->buddy(), nullptr) << l->text().toStdString();
        }
      }
    }));
    EXPECT_EQ(shown, c.Dialog);
    EXPECT_FALSE(c.Dialog->isVisible());
  }
}

TEST_F(Processing2Windows, DialogsAsAUserSeesThem) {
  GreyWindow(200, 160, 1, Stars, QStringLiteral("m42.fts"));
  // Custom filter: a sharpening kernel over the star field.
  ASSERT_TRUE(RunCommand("FilterCustom", [&](QDialog* d) {
    d->resize(d->sizeHint());
    const char* k[9] = {"0", "-1", "0", "-1", "5", "-1", "0", "-1", "0"};
    for (int i = 0; i < 9; ++i) Type(frmCustomFilter->fedR[i / 3][i % 3], QLatin1String(k[i]));
    Type(frmCustomFilter->edtName, QStringLiteral("Sharpen"));
    Settle(d);
    const QImage shot = d->grab().toImage();
    // The preview shows stars: bright and dark pixels in its picture.
    QWidget* display = frmCustomFilter->fmePreview->PreviewDisplay;
    const QRect area(display->mapTo(d, QPoint(0, 0)), display->size());
    int bright = 0, dark = 0;
    for (int y = area.top(); y <= area.bottom(); y += 2)
      for (int x = area.left(); x <= area.right(); x += 2) {
        const int v = qGray(shot.pixel(x, y));
        bright += v > 200;
        dark += v < 60;
      }
    EXPECT_GT(bright, 5);
    EXPECT_GT(dark, 100);
    Save(d, "custom-filter.png");
  }));
  // Pseudo colour: four points give a coloured strip and preview.
  ASSERT_TRUE(RunCommand("ScalePseudoColour", [&](QDialog* d) {
    for (auto [r, g, b] : {std::tuple{0, 0, 80}, std::tuple{0, 200, 255}, std::tuple{255, 255, 0}, std::tuple{255, 40, 0}}) {
      Type(frmPseudoColour->iedRed, QString::number(r));
      Type(frmPseudoColour->iedGreen, QString::number(g));
      Type(frmPseudoColour->iedBlue, QString::number(b));
      Click(frmPseudoColour->btnAdd);
    }
    const QImage shot = d->grab().toImage();
    const QRect strip(frmPseudoColour->imgCurrentPal->mapTo(d, QPoint(0, 0)), frmPseudoColour->imgCurrentPal->size());
    EXPECT_GT(Coloured(shot, strip), 256 * 10);
    const QRect picker(frmPseudoColour->ColPicker->mapTo(d, QPoint(0, 0)), frmPseudoColour->ColPicker->size());
    EXPECT_GT(Coloured(shot, picker), 255 * 100);
    QWidget* display = frmPseudoColour->fmePreview->PreviewDisplay;
    EXPECT_GT(Coloured(shot, QRect(display->mapTo(d, QPoint(0, 0)), display->size())), 100);
    Save(d, "pseudo-colour.png");
  }));
  // Histogram specification: the Gaussian target drawn in red.
  ASSERT_TRUE(RunCommand("ScaleHistogramSpec", [&](QDialog* d) {
    Pick(frmHistogramSpec->cmbFunction, QStringLiteral("Gaussian"));
    Settle(d);
    const QImage shot = d->grab().toImage();
    const QRect chart(frmHistogramSpec->Chart1->mapTo(d, QPoint(0, 0)), frmHistogramSpec->Chart1->size());
    int red = 0;
    for (int y = chart.top(); y <= chart.bottom(); ++y)
      for (int x = chart.left(); x <= chart.right(); ++x) {
        const QColor c = shot.pixelColor(x, y);
        red += c.red() > 180 && c.green() < 90 && c.blue() < 90;
      }
    EXPECT_GT(red, 100);
    Save(d, "histogram-specification.png");
  }));
}
