// The second group of processing dialogs as the program's windows, and what
// a user sees in three of them. With CORVELLE_SCREENSHOT_DIR set their
// pictures are saved there (under xvfb-run with QT_QPA_PLATFORM=xcb).
#include <QChartView>
#include <QDir>
#include <QLabel>
#include <QSlider>
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

using Processing2Windows = Processing2Test;

namespace {
// How many pixels of Area in the dialog's picture pass Test.
int Count(QWidget* Dialog, QWidget* Area, const std::function<bool(QColor)>& Test) {
  const QByteArray dir = qgetenv("CORVELLE_SCREENSHOT_DIR");
  const QImage shot = Dialog->grab().toImage();
  if (!dir.isEmpty()) shot.save(QDir(QString::fromLocal8Bit(dir)).filePath(Dialog->objectName() + QStringLiteral(".png")));
  const QRect r(Area->mapTo(Dialog, QPoint(0, 0)), Area->size());
  int n = 0;
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x) n += Test(shot.pixelColor(x, y));
  return n;
}
}  // namespace

TEST_F(Processing2Windows, CreatedInOrderOpenedByCommandsNamedForScreenReaders) {
  QStringList order;
  for (QObject* o : Form->children())
    if (o->objectName().startsWith(QLatin1String("frm"))) order << o->objectName();
  EXPECT_EQ(order, QStringList({"frmCombine", "frmCrop", "frmCustomFilter", "frmImageMath", "frmPseudoColour", "frmHistogramSpec"}));
  GreyWindow(40, 30, 1, [](int x, int y) { return float(x * y); });
  for (auto [command, dialog] : {std::pair<const char*, QDialog*>{"ProcessRGBCombine", frmCombine}, {"ProcessCrop", frmCrop},
                                 {"FilterCustom", frmCustomFilter}, {"ProcessImageMath", frmImageMath},
                                 {"ScalePseudoColour", frmPseudoColour}, {"ScaleHistogramSpec", frmHistogramSpec}}) {
    QDialog* shown = nullptr;
    ASSERT_TRUE(RunCommand(command, [&](QDialog* d) {
      shown = d;
      for (QWidget* w : d->findChildren<QWidget*>()) {
        const bool control = qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
                             qobject_cast<QSlider*>(w) || qobject_cast<QChartView*>(w);
        const bool unnamed = control && w->isVisibleTo(d) && !qobject_cast<QComboBox*>(w->parentWidget()) &&
                             w->accessibleName().isEmpty();
        EXPECT_FALSE(unnamed) << command << " " << w->objectName().toStdString();
        auto* l = qobject_cast<QLabel*>(w);
        EXPECT_FALSE(l && l->text().contains(QLatin1Char('&')) && !l->buddy()) << command << " " << l->text().toStdString();
      }
    }));
    EXPECT_EQ(shown, dialog) << command;
  }
}

TEST_F(Processing2Windows, WhatTheUserSees) {
  GreyWindow(200, 160, 1, [](int x, int y) {
    auto star = [&](double cx, double cy, double peak, double s) {
      return peak * std::exp(-((x - cx) * (x - cx) + (y - cy) * (y - cy)) / (2 * s * s));
    };
    return float(800 + 30 * ((x * 7 + y * 13) % 11) + star(60, 50, 20000, 6) + star(150, 90, 9000, 3) + star(100, 120, 40000, 12));
  });
  ASSERT_TRUE(RunCommand("FilterCustom", [&](QDialog* d) {  // stars, sharpened, in the preview
    for (int i = 0; i < 9; ++i) Type(frmCustomFilter->fedR[i / 3][i % 3], i == 4 ? QStringLiteral("5") : i % 2 ? QStringLiteral("-1") : QStringLiteral("0"));
    Type(frmCustomFilter->edtName, QStringLiteral("Sharpen"));
    Settle(d);
    QWidget* display = frmCustomFilter->fmePreview->PreviewDisplay;
    EXPECT_GT(Count(d, display, [](QColor c) { return qGray(c.rgb()) > 200; }), 20);
    EXPECT_GT(Count(d, display, [](QColor c) { return qGray(c.rgb()) < 60; }), 400);
  }));
  auto coloured = [](QColor c) { return std::abs(c.red() - c.green()) > 40 || std::abs(c.green() - c.blue()) > 40; };
  ASSERT_TRUE(RunCommand("ScalePseudoColour", [&](QDialog*) {  // a coloured strip, picker and preview
    for (auto [r, g, b] : {std::tuple{0, 0, 80}, {0, 200, 255}, {255, 255, 0}, {255, 40, 0}}) {
      Type(frmPseudoColour->iedRed, QString::number(r));
      Type(frmPseudoColour->iedGreen, QString::number(g));
      Type(frmPseudoColour->iedBlue, QString::number(b));
      Click(frmPseudoColour->btnAdd);
    }
    EXPECT_GT(Count(frmPseudoColour, frmPseudoColour->imgCurrentPal, coloured), 2000);
    EXPECT_GT(Count(frmPseudoColour, frmPseudoColour->ColPicker, coloured), 20000);
    EXPECT_GT(Count(frmPseudoColour, frmPseudoColour->fmePreview->PreviewDisplay, coloured), 100);
  }));
  ASSERT_TRUE(RunCommand("ScaleHistogramSpec", [&](QDialog* d) {  // the Gaussian target drawn in red
    Pick(frmHistogramSpec->cmbFunction, QStringLiteral("Gaussian"));
    Settle(d);
    EXPECT_GT(Count(d, frmHistogramSpec->Chart1, [](QColor c) { return c.red() > 180 && c.green() < 90 && c.blue() < 90; }), 100);
  }));
}
