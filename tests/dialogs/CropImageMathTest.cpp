#include <QComboBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <cmath>

#include "Processing2TestUtil.h"
#include "app/IntEdit.h"
#include "dialogs/CropForm.h"
#include "dialogs/ImageMathForm.h"

using CropDialog = Processing2Test;
using ImageMathDialog = Processing2Test;

namespace {
void SendMouse(QWidget* W, QEvent::Type Type, QPoint P, Qt::MouseButton Button, Qt::MouseButtons Buttons) {
  QMouseEvent e(Type, QPointF(P), W->mapToGlobal(QPointF(P)), Button, Buttons, Qt::NoModifier);
  QApplication::sendEvent(W, &e);
}

void DragRegion(QWidget* W, QPoint From, QPoint To) {
  SendMouse(W, QEvent::MouseButtonPress, From, Qt::LeftButton, Qt::LeftButton);
  SendMouse(W, QEvent::MouseMove, To, Qt::NoButton, Qt::LeftButton);
  SendMouse(W, QEvent::MouseButtonRelease, To, Qt::LeftButton, Qt::NoButton);
}

float Wave(int x, int y) { return float(x * 131 + y * 977 % 251) + 0.25f; }
}  // namespace

TEST_F(CropDialog, CutsTypedRectanglesAndRefusesBadOnes) {
  struct TCase {
    const char* Name;
    bool Colour;
    QString Left, Right, Top, Bottom;
    bool EnterKey;  // OK by the Enter key instead of a click
    bool Refused;
    int X1, Y1, W, H;  // the expected crop
  };
  const TCase cases[] = {
      {"corners ordered", false, "10", "5", "20", "8", false, false, 5, 8, 6, 13},
      {"whole image", false, "0", "29", "0", "24", false, false, 0, 0, 30, 25},
      {"colour stays colour", true, "3", "12", "4", "9", false, false, 3, 4, 10, 6},
      {"one column", false, "7", "7", "2", "9", false, true, 0, 0, 0, 0},
      {"one row", true, "1", "9", "6", "6", false, true, 0, 0, 0, 0},
      {"right at the width", false, "2", "30", "1", "5", true, true, 0, 0, 0, 0},
      {"negative right", false, "4", "-1", "1", "5", true, true, 0, 0, 0, 0},
  };
  TChildForm* grey = GreyWindow(30, 25, 1, Wave, QStringLiteral("m42.fts"));
  grey->DataImage->BlackPoint = 100.0f;
  grey->DataImage->WhitePoint = 3000.0f;
  TChildForm* colour = ColourWindow(30, 25, [](int x, int y) {
    return TRGBPixel{std::uint8_t(x * 7), std::uint8_t(y * 9), std::uint8_t(x + y)};
  });
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TChildForm* source = c.Colour ? colour : grey;
    Form->MDIArea()->setActiveSubWindow(source);
    Boxes.clear();
    const int before = WindowCount();
    bool stayedOpen = false;
    ASSERT_TRUE(RunCommand("ProcessCrop", [&](QDialog* d) {
      EXPECT_EQ(d->windowTitle(), QStringLiteral("Crop"));
      // Leaving a box brings its value into range, so a value beyond the
      // image is typed last and sent with Enter.
      Type(frmCrop->iedLeft, c.Left);
      Type(frmCrop->iedTop, c.Top);
      Type(frmCrop->iedBottom, c.Bottom);
      Type(frmCrop->iedRight, c.Right);
      if (c.EnterKey)
        QTest::keyClick(frmCrop->iedRight, Qt::Key_Return);
      else
        Click(frmCrop->findChild<QPushButton*>(QStringLiteral("btnOK")));
      stayedOpen = d->isVisible();
    }));
    if (c.Refused) {
      EXPECT_TRUE(stayedOpen);
      EXPECT_EQ(BoxTexts(), std::vector<QString>{QStringLiteral("Invalid crop parameters.")});
      EXPECT_EQ(WindowCount(), before);
      continue;
    }
    EXPECT_FALSE(stayedOpen);
    EXPECT_TRUE(Boxes.empty());
    ASSERT_EQ(WindowCount(), before + 1);
    TChildForm* crop = Form->ActiveMDIChild();
    ASSERT_NE(crop, source);
    EXPECT_EQ(crop->Caption(), QStringLiteral("Crop"));
    const TDataImage& out = *crop->DataImage;
    const TDataImage& in = *source->DataImage;
    ASSERT_EQ(out.Width, c.W);
    ASSERT_EQ(out.Height, c.H);
    EXPECT_EQ(out.IsColour, c.Colour);
    // Grey crops are floating point whatever the source's type; a new
    // window's levels, not the source's.
    EXPECT_EQ(out.DataType, c.Colour ? 0 : 3);
    EXPECT_EQ(out.BlackPoint, 0.0f);
    EXPECT_EQ(out.WhitePoint, 255.0f);
    EXPECT_EQ(Form->PanelText(1), QStringLiteral("%1 x %2").arg(c.W).arg(c.H));
    for (int y = 0; y < c.H; ++y)
      for (int x = 0; x < c.W; ++x) {
        if (c.Colour) {
          TRGBPixel a, b;
          out.GetRGB(x, y, a);
          in.GetRGB(c.X1 + x, c.Y1 + y, b);
          ASSERT_TRUE(a.Red == b.Red && a.Green == b.Green && a.Blue == b.Blue) << x << "," << y;
        } else {
          ASSERT_EQ(out.GetPixel(x, y), in.GetPixel(c.X1 + x, c.Y1 + y)) << x << "," << y;
        }
      }
  }
}

TEST_F(CropDialog, TakesTheDraggedRegionAndKeepsBoxesWithinANewImage) {
  TChildForm* source = GreyWindow(40, 30, 0, [](int x, int y) { return float((x + 2 * y) % 256); });
  // Without a region the button is off.
  ASSERT_TRUE(RunCommand("ProcessCrop", [&](QDialog*) { EXPECT_FALSE(frmCrop->btnGetFromROI->isEnabled()); }));

  source->SetZoom(200.0f);
  // Dragged from lower right to upper left on the 200 % display.
  DragRegion(source->ImageOverlay, QPoint(61, 45), QPoint(8, 13));
  ASSERT_TRUE(RunCommand("ProcessCrop", [&](QDialog*) {
    ASSERT_TRUE(frmCrop->btnGetFromROI->isEnabled());
    Click(frmCrop->btnGetFromROI);
    EXPECT_EQ(frmCrop->iedLeft->text(), QStringLiteral("4"));
    EXPECT_EQ(frmCrop->iedTop->text(), QStringLiteral("6"));
    EXPECT_EQ(frmCrop->iedRight->text(), QStringLiteral("30"));
    EXPECT_EQ(frmCrop->iedBottom->text(), QStringLiteral("22"));
    Click(frmCrop->findChild<QPushButton*>(QStringLiteral("btnOK")));
  }));
  TChildForm* crop = Form->ActiveMDIChild();
  ASSERT_NE(crop, source);
  ASSERT_EQ(crop->DataImage->Width, 27);
  ASSERT_EQ(crop->DataImage->Height, 17);
  EXPECT_EQ(crop->DataImage->GetPixel(0, 0), source->DataImage->GetPixel(4, 6));
  EXPECT_EQ(crop->DataImage->GetPixel(26, 16), source->DataImage->GetPixel(30, 22));

  // A smaller image next: the boxes keep their values within its maxima.
  GreyWindow(12, 10, 0, [](int x, int) { return float(x); });
  ASSERT_TRUE(RunCommand("ProcessCrop", [&](QDialog*) {
    EXPECT_EQ(frmCrop->iedLeft->text(), QStringLiteral("4"));
    EXPECT_EQ(frmCrop->iedTop->text(), QStringLiteral("6"));
    EXPECT_EQ(frmCrop->iedRight->text(), QStringLiteral("11"));
    EXPECT_EQ(frmCrop->iedBottom->text(), QStringLiteral("9"));
    EXPECT_FALSE(frmCrop->btnGetFromROI->isEnabled());
  }));
}

TEST_F(ImageMathDialog, JoinsTwoWindowsWithEachOperator) {
  // A: 8-bit values up to 250; B: with zeros, so Divide meets zero divisors.
  auto fa = [](int x, int y) { return float((x * 37 + y * 11) % 251); };
  auto fb = [](int x, int y) { return float((x + 3 * y) % 7 == 0 ? 0 : (x * 5 + y) % 200); };
  auto ca = [](int x, int y) { return TRGBPixel{std::uint8_t(x * 20), std::uint8_t(y * 30 + 5), std::uint8_t(200)}; };
  auto cb = [](int x, int y) { return TRGBPixel{std::uint8_t((x + y) % 3 ? 3 : 0), std::uint8_t(x * 9), std::uint8_t(90)}; };
  ColourWindow(9, 8, cb, QStringLiteral("colour B"));
  ColourWindow(9, 8, ca, QStringLiteral("colour A"));
  GreyWindow(9, 8, 0, fb, QStringLiteral("grey B"));
  TChildForm* greyA = GreyWindow(9, 8, 0, fa, QStringLiteral("grey A"));
  greyA->DataImage->WhitePoint = 200.0f;

  auto greyExpected = [&](int op, float a, float b) -> float {
    long double r;
    switch (op) {
      case 0: r = (long double)a + b; break;
      case 1: r = (long double)a - b; break;
      case 2: r = (long double)a * b; break;
      default: r = b == 0 ? 0.0L : (long double)a / b; break;  // a zero divisor gives 0
    }
    return float(std::max(0.0L, r));
  };
  auto colourExpected = [](int op, int a, int b) -> int {
    long double r;
    switch (op) {
      case 0: r = a + b; break;
      case 1: r = a - b; break;
      case 2: r = (long double)a * b; break;
      default: r = (long double)a / (b == 0 ? 1 : b); break;  // the dividend
    }
    return int(std::clamp(std::nearbyint(r), 0.0L, 255.0L));
  };

  struct TCase {
    const char* A;
    const char* B;
    int Op;
  };
  const TCase cases[] = {
      {"grey A", "grey B", 0}, {"grey A", "grey B", 1}, {"grey A", "grey B", 2}, {"grey A", "grey B", 3},
      {"grey A", "grey A", 1}, {"colour A", "colour B", 0}, {"colour A", "colour B", 1},
      {"colour A", "colour B", 2}, {"colour A", "colour B", 3},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.A) + " op " + std::to_string(c.Op) + " " + c.B);
    Boxes.clear();
    Errors.clear();
    Form->MDIArea()->setActiveSubWindow(greyA);
    TChildForm* a = nullptr;
    TChildForm* b = nullptr;
    for (TChildForm* w : Form->MDIChildren()) {
      if (w->Caption() == QLatin1String(c.A)) a = w;
      if (w->Caption() == QLatin1String(c.B)) b = w;
    }
    ASSERT_TRUE(a && b);
    ASSERT_TRUE(RunCommand("ProcessImageMath", [&](QDialog*) {
      // The lists hold the windows in the main window's order.
      ASSERT_EQ(frmImageMath->cmbImageA->count(), Form->MDIChildCount());
      EXPECT_EQ(frmImageMath->cmbImageA->itemText(0), Form->MDIChildren().at(0)->Caption());
      frmImageMath->cmbImageA->setCurrentIndex(frmImageMath->cmbImageA->findText(QLatin1String(c.A)));
      frmImageMath->cmbImageB->setCurrentIndex(frmImageMath->cmbImageB->findText(QLatin1String(c.B)));
      Click(frmImageMath->rdoOperator[c.Op]);
      Click(frmImageMath->findChild<QPushButton*>(QStringLiteral("btnOK")));
    }));
    EXPECT_TRUE(Boxes.empty());  // a zero pixel divisor is no refusal
    TChildForm* result = Form->ActiveMDIChild();
    ASSERT_NE(result, a);
    EXPECT_EQ(result->Caption(), QStringLiteral("Image Math"));
    const TDataImage& r = *result->DataImage;
    // The result keeps A's display levels.
    EXPECT_EQ(r.WhitePoint, a->DataImage->WhitePoint);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 9; ++x) {
        if (r.IsColour) {
          TRGBPixel p, pa, pb;
          r.GetRGB(x, y, p);
          a->DataImage->GetRGB(x, y, pa);
          b->DataImage->GetRGB(x, y, pb);
          ASSERT_EQ(p.Red, colourExpected(c.Op, pa.Red, pb.Red));
          ASSERT_EQ(p.Green, colourExpected(c.Op, pa.Green, pb.Green));
          ASSERT_EQ(p.Blue, colourExpected(c.Op, pa.Blue, pb.Blue));
        } else {
          EXPECT_EQ(r.DataType, 3);
          EXPECT_EQ(r.TypeMax, 2.0e32f);
          ASSERT_EQ(r.GetPixel(x, y), greyExpected(c.Op, a->DataImage->GetPixel(x, y), b->DataImage->GetPixel(x, y)))
              << x << "," << y;
        }
      }
    if (!r.IsColour && c.Op == 2) {
      // 8-bit images multiplied go past 255.
      float mx = 0;
      for (int i = 0; i < 72; ++i) mx = std::max(mx, r.Pixels[i]);
      EXPECT_GT(mx, 255.0f);
    }
  }
}

TEST_F(ImageMathDialog, RefusesImagesOfAnotherSizeOrKind) {
  GreyWindow(9, 8, 0, [](int x, int) { return float(x); }, QStringLiteral("small"));
  ColourWindow(9, 8, [](int, int) { return TRGBPixel{1, 2, 3}; }, QStringLiteral("colour"));
  GreyWindow(9, 9, 0, [](int x, int) { return float(x); }, QStringLiteral("taller"));
  struct TCase {
    const char* A;
    const char* B;
    const char* Text;
  };
  const TCase cases[] = {
      {"small", "taller", "Both images must be the same size."},
      {"colour", "taller", "Both images must be the same size."},  // size is looked at first
      {"small", "colour", "Both images must be of the same type."},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Text);
    Boxes.clear();
    const int before = WindowCount();
    bool open = false;
    ASSERT_TRUE(RunCommand("ProcessImageMath", [&](QDialog* d) {
      frmImageMath->cmbImageA->setCurrentIndex(frmImageMath->cmbImageA->findText(QLatin1String(c.A)));
      frmImageMath->cmbImageB->setCurrentIndex(frmImageMath->cmbImageB->findText(QLatin1String(c.B)));
      Click(frmImageMath->findChild<QPushButton*>(QStringLiteral("btnOK")));
      open = d->isVisible();
    }));
    EXPECT_TRUE(open);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Type, TMsgDlgType::mtWarning);
    EXPECT_EQ(Boxes[0].Text, QLatin1String(c.Text));
    EXPECT_EQ(WindowCount(), before);
  }
}
