#include <QComboBox>
#include <QRadioButton>
#include <cmath>

#include "Processing2TestUtil.h"
#include "app/IntEdit.h"
#include "dialogs/CropForm.h"
#include "dialogs/ImageMathForm.h"
#include "platform/PageMemory.h"

using CropImageMath = Processing2Test;

TEST_F(CropImageMath, CropByNumbersAndFromADraggedRegion) {
  struct TCase {
    const char* Name;
    bool Colour;
    const char *Left, *Top, *Bottom, *Right;  // typed in this order; Right last, sent with Enter
    int X1, Y1, W, H;                          // W 0: refused
  };
  const TCase cases[] = {
      {"corners ordered", false, "10", "20", "8", "5", 5, 8, 6, 13},
      {"colour stays colour", true, "3", "4", "9", "12", 3, 4, 10, 6},
      {"one column", false, "7", "2", "9", "7", 0, 0, 0, 0},
      {"right at the width", true, "2", "1", "5", "30", 0, 0, 0, 0},
      {"negative", false, "4", "1", "5", "-1", 0, 0, 0, 0},
  };
  TChildForm* grey = GreyWindow(30, 25, 1, [](int x, int y) { return float(x * 131 + y * 977 % 251); });
  grey->DataImage->WhitePoint = 3000.0f;
  TChildForm* colour = ColourWindow(30, 25, [](int x, int y) { return TRGBPixel{std::uint8_t(x * 7), std::uint8_t(y * 9), 5}; });
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TChildForm* source = c.Colour ? colour : grey;
    Form->MDIArea()->setActiveSubWindow(source);
    Boxes.clear();
    const int before = WindowCount();
    ASSERT_TRUE(RunCommand("ProcessCrop", [&](QDialog* d) {
      for (auto [box, text] : {std::pair{frmCrop->iedLeft, c.Left}, {frmCrop->iedTop, c.Top},
                               {frmCrop->iedBottom, c.Bottom}, {frmCrop->iedRight, c.Right}})
        Type(box, QLatin1String(text));
      QTest::keyClick(frmCrop->iedRight, Qt::Key_Return);
      EXPECT_EQ(d->isVisible(), c.W == 0);
    }));
    if (c.W == 0) {
      EXPECT_EQ(BoxTexts(), std::vector<QString>{QStringLiteral("Invalid crop parameters.")});
      EXPECT_EQ(WindowCount(), before);
      continue;
    }
    TChildForm* crop = Form->ActiveMDIChild();
    ASSERT_EQ(WindowCount(), before + 1);
    EXPECT_EQ(crop->Caption(), QStringLiteral("Crop"));
    const TDataImage &out = *crop->DataImage, &in = *source->DataImage;
    ASSERT_EQ(QSize(out.Width, out.Height), QSize(c.W, c.H));
    // Grey crops are floating point; a new window's levels, not the source's.
    EXPECT_EQ(out.DataType, c.Colour ? 0 : 3);
    EXPECT_EQ(out.WhitePoint, 255.0f);
    for (int y = 0; y < c.H; ++y)
      for (int x = 0; x < c.W; ++x) {
        TRGBPixel a, b;
        out.GetRGB(x, y, a);
        in.GetRGB(c.X1 + x, c.Y1 + y, b);
        ASSERT_EQ(out.GetPixel(x, y), in.GetPixel(c.X1 + x, c.Y1 + y));
        ASSERT_TRUE(a.Red == b.Red && a.Green == b.Green);
      }
  }
  // "Get From ROI" is off without a region; a region dragged on the 200 %
  // display from lower right to upper left fills the boxes.
  Form->MDIArea()->setActiveSubWindow(grey);
  ASSERT_TRUE(RunCommand("ProcessCrop", [&](QDialog*) { EXPECT_FALSE(frmCrop->btnGetFromROI->isEnabled()); }));
  grey->SetZoom(200.0f);
  Mouse(grey->ImageOverlay, QEvent::MouseButtonPress, {55, 45}, Qt::LeftButton, Qt::LeftButton);
  Mouse(grey->ImageOverlay, QEvent::MouseMove, {8, 13}, Qt::NoButton, Qt::LeftButton);
  Mouse(grey->ImageOverlay, QEvent::MouseButtonRelease, {8, 13}, Qt::LeftButton, Qt::NoButton);
  ASSERT_TRUE(RunCommand("ProcessCrop", [&](QDialog* d) {
    Click(frmCrop->btnGetFromROI);
    EXPECT_EQ(QStringList({frmCrop->iedLeft->text(), frmCrop->iedTop->text(), frmCrop->iedRight->text(),
                           frmCrop->iedBottom->text()}),
              QStringList({"4", "6", "27", "22"}));
    ClickOK(d);
  }));
  const TDataImage& out = *Form->ActiveMDIChild()->DataImage;
  ASSERT_EQ(QSize(out.Width, out.Height), QSize(24, 17));
  EXPECT_EQ(out.GetPixel(23, 16), grey->DataImage->GetPixel(27, 22));
  // The boxes keep their values within a smaller image's maxima.
  GreyWindow(12, 10, 0, [](int x, int) { return float(x); });
  ASSERT_TRUE(RunCommand("ProcessCrop", [&](QDialog*) {
    EXPECT_EQ(QStringList({frmCrop->iedLeft->text(), frmCrop->iedRight->text(), frmCrop->iedBottom->text()}),
              QStringList({"4", "11", "9"}));
  }));
  // Without memory for the crop: an error box, no window, the dialog stays.
  const int before = WindowCount();
  Boxes.clear();
  ASSERT_TRUE(RunCommand("ProcessCrop", [&](QDialog* d) {
    PageMemory::SetLimit(16);
    ClickOK(d);
    PageMemory::SetLimit(0);
    EXPECT_TRUE(d->isVisible());
  }));
  EXPECT_EQ(BoxTexts(), std::vector<QString>{QStringLiteral("Out of memory")});
  EXPECT_EQ(WindowCount(), before);
}

TEST_F(CropImageMath, ImageMathOfTwoWindowsForEachOperator) {
  // B has zero pixels, so Divide meets zero divisors: 0 for grey, the dividend for colour.
  GreyWindow(9, 8, 0, [](int x, int y) { return float((x + 3 * y) % 7 ? (x * 5 + y) % 200 : 0); }, QStringLiteral("grey B"));
  TChildForm* a = GreyWindow(9, 8, 0, [](int x, int y) { return float((x * 37 + y * 11) % 251); }, QStringLiteral("grey A"));
  ColourWindow(9, 8, [](int x, int y) { return TRGBPixel{std::uint8_t((x + y) % 3 ? 3 : 0), std::uint8_t(x * 9), 90}; },
               QStringLiteral("colour B"));
  ColourWindow(9, 8, [](int x, int y) { return TRGBPixel{std::uint8_t(x * 20), std::uint8_t(y * 30), 200}; },
               QStringLiteral("colour A"));
  GreyWindow(9, 9, 0, [](int x, int) { return float(x); }, QStringLiteral("taller"));
  a->DataImage->WhitePoint = 200.0f;
  auto exact = [](int op, long double x, long double y, bool colour) -> long double {
    if (op == 3 && y == 0) return colour ? x : 0;
    const long double r = op == 0 ? x + y : op == 1 ? x - y : op == 2 ? x * y : x / y;
    return colour ? std::clamp(std::nearbyint(r), 0.0L, 255.0L) : std::max(0.0L, r);
  };
  struct TCase {
    const char *A, *B;
    int Op;
    const char* Refusal;
  };
  const TCase cases[] = {
      {"grey A", "grey B", 0, nullptr},   {"grey A", "grey B", 1, nullptr},   {"grey A", "grey B", 2, nullptr},
      {"grey A", "grey B", 3, nullptr},   {"grey A", "grey A", 1, nullptr},   {"colour A", "colour B", 1, nullptr},
      {"colour A", "colour B", 2, nullptr}, {"colour A", "colour B", 3, nullptr},
      {"colour A", "taller", 0, "Both images must be the same size."},
      {"grey A", "colour B", 0, "Both images must be of the same type."},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.A) + " " + std::to_string(c.Op) + " " + c.B);
    Boxes.clear();
    const int before = WindowCount();
    TChildForm* wa = nullptr;
    TChildForm* wb = nullptr;
    ASSERT_TRUE(RunCommand("ProcessImageMath", [&](QDialog* d) {
      ASSERT_EQ(frmImageMath->cmbImageA->count(), Form->MDIChildCount());  // in the window list's order
      Pick(frmImageMath->cmbImageA, QLatin1String(c.A));
      Pick(frmImageMath->cmbImageB, QLatin1String(c.B));
      wa = Form->MDIChildren().at(frmImageMath->cmbImageA->currentIndex());
      wb = Form->MDIChildren().at(frmImageMath->cmbImageB->currentIndex());
      Click(frmImageMath->rdoOperator[c.Op]);
      ClickOK(d);
      EXPECT_EQ(d->isVisible(), c.Refusal != nullptr);
    }));
    if (c.Refusal) {
      EXPECT_EQ(BoxTexts(), std::vector<QString>{QLatin1String(c.Refusal)});
      EXPECT_EQ(WindowCount(), before);
      continue;
    }
    EXPECT_TRUE(Boxes.empty());
    const TDataImage& r = *Form->ActiveMDIChild()->DataImage;
    EXPECT_EQ(Form->ActiveMDIChild()->Caption(), QStringLiteral("Image Math"));
    EXPECT_EQ(r.WhitePoint, wa->DataImage->WhitePoint);  // A's display levels
    EXPECT_EQ(r.DataType, r.IsColour ? 0 : 3);
    float largest = 0;
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 9; ++x) {
        TRGBPixel p, pa, pb;
        r.GetRGB(x, y, p);
        wa->DataImage->GetRGB(x, y, pa);
        wb->DataImage->GetRGB(x, y, pb);
        if (r.IsColour) {
          ASSERT_TRUE(p.Red == exact(c.Op, pa.Red, pb.Red, true) && p.Blue == exact(c.Op, pa.Blue, pb.Blue, true));
        } else {
          ASSERT_EQ(r.GetPixel(x, y), float(exact(c.Op, wa->DataImage->GetPixel(x, y), wb->DataImage->GetPixel(x, y), false)));
        }
        largest = std::max(largest, r.GetPixel(x, y));
      }
    EXPECT_TRUE(c.Op != 2 || r.IsColour || largest > 255.0f);  // 8-bit images multiplied pass 255
  }
}
