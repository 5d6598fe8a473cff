#include <QGroupBox>
#include <QToolButton>
#include <cmath>

#include "Processing2TestUtil.h"
#include "app/Display.h"
#include "app/FloatEdit.h"
#include "app/IntEdit.h"
#include "dialogs/CombineForm.h"

using CombineDialog = Processing2Test;

TEST_F(CombineDialog, GuessesPlanesFromCaptions) {
  // The group's windows are made once, in the program's window-list order.
  QStringList order;
  for (QObject* o : Form->children())
    if (o->objectName().startsWith(QLatin1String("frm"))) order << o->objectName();
  EXPECT_EQ(order, QStringList({"frmCombine", "frmCrop", "frmCustomFilter", "frmImageMath", "frmPseudoColour", "frmHistogramSpec"}));
  // Out-of-range key positions give no letter.
  for (const char* caption : {"", ".fts", "a.b"}) EXPECT_TRUE(CaptionKeyLetter(QLatin1String(caption)).isNull()) << caption;
  EXPECT_EQ(CaptionKeyLetter(QStringLiteral("dir.x\\m42g")), QLatin1Char('G'));
  struct TCase {
    std::vector<const char*> Captions;  // in the order the windows open
    const char *Red, *Green, *Blue;
  };
  const TCase cases[] = {
      {{"m42r.fts", "m42g.fit", "m42b.fts"}, "m42r.fts", "m42g.fit", "m42b.fts"},
      {{"M42 Blue", "M42 Red", "M42 Green"}, "M42 Red", "M42 Green", "M42 Blue"},
      // RED anywhere counts; the last in the window list (the first opened) wins.
      {{"FILTERED", "m31 - Registered", "sky"}, "FILTERED", "sky", "sky"},
      {{"m42r.fits", "m42b.fit", "flat"}, "flat", "flat", "m42b.fit"},  // "." is no letter
  };
  for (const TCase& c : cases) {
    Form->MDIArea()->closeAllSubWindows();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    for (const char* caption : c.Captions) GreyWindow(4, 4, 0, [](int, int) { return 1.0f; }, QLatin1String(caption));
    ASSERT_TRUE(RunCommand("ProcessRGBCombine", [&](QDialog*) {
      EXPECT_EQ(QStringList({frmCombine->cmbRed->currentText(), frmCombine->cmbGreen->currentText(),
                             frmCombine->cmbBlue->currentText()}),
                QStringList({c.Red, c.Green, c.Blue}));
    }));
  }
}

TEST_F(CombineDialog, CombinesWithIntensitiesShiftsPreviewAndRefusals) {
  TChildForm* planes[3] = {
      GreyWindow(23, 17, 1, [](int x, int y) { return float(x * 100 + y * 7); }, QStringLiteral("m1r.fts")),
      GreyWindow(23, 17, 1, [](int x, int y) { return float((x * y) % 300); }, QStringLiteral("m1g.fts")),
      GreyWindow(23, 17, 3, [](int x, int y) { return 0.5f * float(x + 2 * y); }, QStringLiteral("m1b.fts"))};
  GreyWindow(23, 18, 0, [](int x, int) { return float(x); }, QStringLiteral("tall"));
  ColourWindow(23, 17, [](int, int) { return TRGBPixel{1, 2, 3}; }, QStringLiteral("colour"));
  GreyWindow(23, 17, 0, [](int, int) { return 0.0f; }, QStringLiteral("dark"));
  GreyWindow(23, 17, 0, [](int, int) { return 1.0f; }, QString());
  // One plane as the combination defines it: scaled by 255 / its maximum,
  // divided by its intensity, shifted, clamped.
  auto expected = [&](int p, float rel, int sx, int sy, int x, int y) {
    const TDataImage& img = *planes[p]->DataImage;
    if (x - sx < 0 || y - sy < 0 || x - sx >= img.Width || y - sy >= img.Height) return 0;
    const float mx = *std::max_element(img.Pixels, img.Pixels + img.PixelCount());
    const long double v = std::nearbyint(img.GetPixel(x - sx, y - sy) * (255.0L / mx));
    return int(std::clamp(std::nearbyint(v / rel), 0.0L, 255.0L));
  };
  struct TCase {
    const char* Intensity[3];
    int Shift[6];
  };
  for (const TCase& c : {TCase{{"1", "1", "1"}, {0, 0, 0, 0, 0, 0}}, TCase{{"2", "0.5", "1.5"}, {3, -2, -5, 4, 0, 7}}}) {
    ASSERT_TRUE(RunCommand("ProcessRGBCombine", [&](QDialog* d) {
      TFloatEdit* rel[3] = {frmCombine->fedRI, frmCombine->fedGI, frmCombine->fedBI};
      TIntEdit* shift[6] = {frmCombine->iedRedX,   frmCombine->iedRedY,  frmCombine->iedGreenX,
                            frmCombine->iedGreenY, frmCombine->iedBlueX, frmCombine->iedBlueY};
      for (int i = 0; i < 3; ++i) Type(rel[i], QLatin1String(c.Intensity[i]));
      for (int i = 0; i < 6; ++i) Type(shift[i], QString::number(c.Shift[i]));
      ClickOK(d);
    }));
    const TDataImage& out = *Form->ActiveMDIChild()->DataImage;
    EXPECT_EQ(Form->ActiveMDIChild()->Caption(), QStringLiteral("Combine"));
    ASSERT_TRUE(out.IsColour && out.Width == 23 && out.Height == 17);
    for (int y = 0; y < 17; ++y)
      for (int x = 0; x < 23; ++x) {
        TRGBPixel p;
        out.GetRGB(x, y, p);
        const int got[3] = {p.Red, p.Green, p.Blue};
        for (int k = 0; k < 3; ++k)
          ASSERT_EQ(got[k], expected(k, std::stof(c.Intensity[k]), c.Shift[2 * k], c.Shift[2 * k + 1], x, y)) << x << "," << y;
      }
  }
  ASSERT_TRUE(RunCommand("ProcessRGBCombine", [&](QDialog*) {
    EXPECT_EQ(frmCombine->iedGreenX->text(), QStringLiteral("-5"));  // kept from the last opening
    EXPECT_TRUE(frmCombine->Display->Source().isNull());
    Click(frmCombine->btnUpdate);
    const QImage& shown = frmCombine->Display->Source();
    ASSERT_EQ(shown.size(), QSize(23, 17));
    EXPECT_EQ(shown.pixelColor(10, 5).red(), expected(0, 2, 3, -2, 10, 5));
    for (auto [button, title] : {std::pair{frmCombine->btnZoomIn, "Preview - 200%"}, {frmCombine->btnZoomIn, "Preview - 400%"},
                                 {frmCombine->btnZoomIn, "Preview - 400%"}, {frmCombine->btnZoomOut, "Preview - 200%"}}) {
      Click(button);
      EXPECT_EQ(frmCombine->grpPreview->title(), QLatin1String(title));
    }
    EXPECT_EQ(frmCombine->Display->size(), QSize(46, 34));
  }));
  struct TBad {
    const char *Red, *Green, *Blue, *Text;
  };
  const TBad bad[] = {
      {"m1r.fts", "tall", "colour", "All images to be combined must have the same dimensions."},
      {"m1r.fts", "m1g.fts", "", "Please select and image for the blue plane."},
      {"m1r.fts", "colour", "m1b.fts",
       "One of the selected images is already a colour image.  Only grey scale images may be combined."},
      {"m1r.fts", "dark", "m1b.fts", "The green plane has no pixel above 0."},
  };
  for (const TBad& b : bad)
    for (const char* button : {"btnUpdate", "btnOK"}) {
      SCOPED_TRACE(std::string(b.Text) + " " + button);
      Boxes.clear();
      const int before = WindowCount();
      ASSERT_TRUE(RunCommand("ProcessRGBCombine", [&](QDialog* d) {
        Pick(frmCombine->cmbRed, QLatin1String(b.Red));
        Pick(frmCombine->cmbGreen, QLatin1String(b.Green));
        Pick(frmCombine->cmbBlue, QLatin1String(b.Blue));
        Click(d->findChild<QPushButton*>(QLatin1String(button)));
        EXPECT_TRUE(d->isVisible());
      }));
      EXPECT_EQ(BoxTexts(), std::vector<QString>{QLatin1String(b.Text)});
      EXPECT_EQ(WindowCount(), before);
    }
}
