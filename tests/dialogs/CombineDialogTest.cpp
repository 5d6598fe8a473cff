#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QToolButton>
#include <cmath>

#include "Processing2TestUtil.h"
#include "app/Display.h"
#include "app/FloatEdit.h"
#include "app/IntEdit.h"
#include "dialogs/CombineForm.h"

using CombineDialog = Processing2Test;

TEST(CaptionKeyLetter, LetterBeforeAFourCharacterExtensionOrTheLast) {
  struct TCase {
    const char* Caption;
    QChar Key;
  };
  const TCase cases[] = {
      {"m42r.fts", QLatin1Char('R')},      {"m42g.fit", QLatin1Char('G')},
      {"m42r.fits", QLatin1Char('.')},     {"M42 Blue", QLatin1Char('E')},
      {"C:\\img\\m42b", QLatin1Char('B')}, {"dir.x\\m42g", QLatin1Char('G')},
      {"C:m42r.fts", QLatin1Char('R')},    {"x.fts", QLatin1Char('X')},
      {"", QChar()},                       {".fts", QChar()},
      {"a.b", QChar()},
  };
  for (const TCase& c : cases) EXPECT_EQ(CaptionKeyLetter(QString::fromLatin1(c.Caption)), c.Key) << c.Caption;
}

TEST_F(CombineDialog, GuessesThePlanesFromTheCaptions) {
  struct TCase {
    const char* Name;
    std::vector<const char*> Captions;  // in the order the windows are opened
    const char *Red, *Green, *Blue;
  };
  const TCase cases[] = {
      {"letters", {"m42r.fts", "m42g.fts", "m42b.fts"}, "m42r.fts", "m42g.fts", "m42b.fts"},
      {"words", {"M42 Blue", "M42 Red", "M42 Green"}, "M42 Red", "M42 Green", "M42 Blue"},
      // The last match in the window list (the earliest opened) wins.
      {"RED inside", {"FILTERED", "m31 - Registered", "sky"}, "FILTERED", "sky", "sky"},
      {"five-letter extension", {"m42r.fits", "m42b.fit", "flat"}, "flat", "flat", "m42b.fit"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Form->MDIArea()->closeAllSubWindows();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    for (const char* caption : c.Captions) GreyWindow(4, 4, 0, [](int, int) { return 1.0f; }, QString::fromLatin1(caption));
    ASSERT_TRUE(RunCommand("ProcessRGBCombine", [&](QDialog* d) {
      EXPECT_EQ(d->windowTitle(), QStringLiteral("Combine"));
      EXPECT_EQ(frmCombine->cmbRed->count(), int(c.Captions.size()));
      EXPECT_EQ(frmCombine->cmbRed->currentText(), QLatin1String(c.Red));
      EXPECT_EQ(frmCombine->cmbGreen->currentText(), QLatin1String(c.Green));
      EXPECT_EQ(frmCombine->cmbBlue->currentText(), QLatin1String(c.Blue));
    }));
  }
}

namespace {
// One plane as the combination defines it: scaled to 255 by its maximum,
// divided by its relative intensity, shifted, clamped.
int Expected(const TDataImage& Plane, float Max, float Rel, int SX, int SY, int X, int Y) {
  const int sx = X - SX, sy = Y - SY;
  if (sx < 0 || sy < 0 || sx >= Plane.Width || sy >= Plane.Height) return 0;
  const long double scaled = std::nearbyint(Plane.GetPixel(sx, sy) * (255.0L / Max));
  return int(std::clamp(std::nearbyint(scaled / (long double)Rel), 0.0L, 255.0L));
}
}  // namespace

TEST_F(CombineDialog, CombinesThreeGreyWindowsWithIntensitiesAndShifts) {
  const int w = 23, h = 17;
  TChildForm* red = GreyWindow(w, h, 1, [](int x, int y) { return float(x * 100 + y * 7); }, QStringLiteral("m42r.fts"));
  TChildForm* green = GreyWindow(w, h, 1, [](int x, int y) { return float((x * y) % 300); }, QStringLiteral("m42g.fts"));
  TChildForm* blue = GreyWindow(w, h, 3, [](int x, int y) { return 0.5f * float(x + 2 * y); }, QStringLiteral("m42b.fts"));
  auto maxOf = [](const TDataImage& I) { return *std::max_element(I.Pixels, I.Pixels + I.PixelCount()); };
  const float maxR = maxOf(*red->DataImage), maxG = maxOf(*green->DataImage), maxB = maxOf(*blue->DataImage);

  struct TCase {
    const char* Name;
    const char *RI, *GI, *BI;
    int Shifts[6];
  };
  const TCase cases[] = {
      {"plain", "1", "1", "1", {0, 0, 0, 0, 0, 0}},
      {"intensities", "2", "0.5", "1.5", {0, 0, 0, 0, 0, 0}},
      {"shifts", "1", "1", "1", {3, -2, -5, 4, 0, 7}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const int before = WindowCount();
    bool closed = false;
    ASSERT_TRUE(RunCommand("ProcessRGBCombine", [&](QDialog* d) {
      Type(frmCombine->fedRI, QLatin1String(c.RI));
      Type(frmCombine->fedGI, QLatin1String(c.GI));
      Type(frmCombine->fedBI, QLatin1String(c.BI));
      TIntEdit* shifts[6] = {frmCombine->iedRedX,   frmCombine->iedRedY,  frmCombine->iedGreenX,
                             frmCombine->iedGreenY, frmCombine->iedBlueX, frmCombine->iedBlueY};
      for (int i = 0; i < 6; ++i) Type(shifts[i], QString::number(c.Shifts[i]));
      Click(frmCombine->findChild<QPushButton*>(QStringLiteral("btnOK")));
      closed = !d->isVisible();
    }));
    EXPECT_TRUE(closed);
    EXPECT_TRUE(Boxes.empty());
    ASSERT_EQ(WindowCount(), before + 1);
    TChildForm* result = Form->ActiveMDIChild();
    EXPECT_EQ(result->Caption(), QStringLiteral("Combine"));
    const TDataImage& out = *result->DataImage;
    ASSERT_TRUE(out.IsColour);
    EXPECT_EQ(out.DataType, 0);
    ASSERT_EQ(out.Width, w);
    ASSERT_EQ(out.Height, h);
    const float rel[3] = {std::stof(c.RI), std::stof(c.GI), std::stof(c.BI)};
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        TRGBPixel p;
        out.GetRGB(x, y, p);
        ASSERT_EQ(p.Red, Expected(*red->DataImage, maxR, rel[0], c.Shifts[0], c.Shifts[1], x, y)) << x << "," << y;
        ASSERT_EQ(p.Green, Expected(*green->DataImage, maxG, rel[1], c.Shifts[2], c.Shifts[3], x, y)) << x << "," << y;
        ASSERT_EQ(p.Blue, Expected(*blue->DataImage, maxB, rel[2], c.Shifts[4], c.Shifts[5], x, y)) << x << "," << y;
      }
    // The picture the user sees shows those colours.
    const QImage shown = result->ImageDisplay->Picture();
    TRGBPixel p;
    out.GetRGB(10, 9, p);
    EXPECT_EQ(shown.pixelColor(10, 9), QColor(p.Red, p.Green, p.Blue));
    Form->MDIArea()->setActiveSubWindow(red);
  }
  // Intensities and shifts stay for the next opening.
  ASSERT_TRUE(RunCommand("ProcessRGBCombine", [&](QDialog*) {
    EXPECT_EQ(frmCombine->iedRedX->text(), QStringLiteral("3"));
    EXPECT_EQ(frmCombine->fedRI->text(), QStringLiteral("1"));
  }));
}

TEST_F(CombineDialog, PreviewsAtThreeZoomsAndRefusesBadPlanes) {
  GreyWindow(8, 6, 0, [](int x, int) { return float(x); }, QStringLiteral("m1r.fts"));
  GreyWindow(8, 6, 0, [](int, int y) { return float(y); }, QStringLiteral("m1g.fts"));
  GreyWindow(8, 6, 0, [](int x, int y) { return float(x + y); }, QStringLiteral("m1b.fts"));
  GreyWindow(8, 7, 0, [](int x, int) { return float(x); }, QStringLiteral("tall"));
  ColourWindow(8, 6, [](int, int) { return TRGBPixel{1, 2, 3}; }, QStringLiteral("colour"));
  GreyWindow(8, 6, 0, [](int, int) { return 0.0f; }, QStringLiteral("dark"));
  GreyWindow(8, 6, 0, [](int, int) { return 1.0f; }, QString());

  ASSERT_TRUE(RunCommand("ProcessRGBCombine", [&](QDialog*) {
    EXPECT_TRUE(frmCombine->Display->Source().isNull());
    Click(frmCombine->btnUpdate);
    const QImage& shown = frmCombine->Display->Source();
    ASSERT_EQ(shown.size(), QSize(8, 6));
    // Red x * 255 / 7, green y * 255 / 5, blue (x + y) * 255 / 12.
    EXPECT_EQ(shown.pixelColor(7, 0), QColor(255, 0, int(std::nearbyint(7 * 255.0 / 12))));
    EXPECT_EQ(shown.pixelColor(2, 5), QColor(int(std::nearbyint(2 * 255.0 / 7)), 255, int(std::nearbyint(7 * 255.0 / 12))));
    const char* in[] = {"Preview - 200%", "Preview - 400%", "Preview - 400%"};
    for (const char* t : in) {
      Click(frmCombine->btnZoomIn);
      EXPECT_EQ(frmCombine->grpPreview->title(), QLatin1String(t));
    }
    EXPECT_EQ(frmCombine->Display->size(), QSize(32, 24));
    const char* out[] = {"Preview - 200%", "Preview - 100%", "Preview - 100%"};
    for (const char* t : out) {
      Click(frmCombine->btnZoomOut);
      EXPECT_EQ(frmCombine->grpPreview->title(), QLatin1String(t));
    }
  }));

  struct TCase {
    const char *Red, *Green, *Blue;
    const char* Text;
  };
  const TCase cases[] = {
      {"m1r.fts", "tall", "colour", "All images to be combined must have the same dimensions."},
      {"m1r.fts", "m1g.fts", "", "Please select and image for the blue plane."},
      {"", "m1g.fts", "m1b.fts", "Please select and image for the red plane."},
      {"m1r.fts", "colour", "m1b.fts",
       "One of the selected images is already a colour image.  Only grey scale images may be combined."},
      {"m1r.fts", "dark", "m1b.fts", "The green plane has no pixel above 0."},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Text);
    for (const char* button : {"btnUpdate", "btnOK"}) {
      Boxes.clear();
      const int before = WindowCount();
      bool open = false;
      ASSERT_TRUE(RunCommand("ProcessRGBCombine", [&](QDialog* d) {
        frmCombine->cmbRed->setCurrentIndex(frmCombine->cmbRed->findText(QLatin1String(c.Red)));
        frmCombine->cmbGreen->setCurrentIndex(frmCombine->cmbGreen->findText(QLatin1String(c.Green)));
        frmCombine->cmbBlue->setCurrentIndex(frmCombine->cmbBlue->findText(QLatin1String(c.Blue)));
        Click(d->findChild<QPushButton*>(QLatin1String(button)));
        open = d->isVisible();
      }));
      EXPECT_TRUE(open) << button;
      ASSERT_EQ(Boxes.size(), 1u) << button;
      EXPECT_EQ(Boxes[0].Text, QLatin1String(c.Text)) << button;
      EXPECT_EQ(WindowCount(), before) << button;
    }
  }
}
