#include <QCheckBox>
#include <QLabel>

#include "Processing2TestUtil.h"
#include "app/IntEdit.h"
#include "app/PreviewFrame.h"
#include "dialogs/PaletteBuilder.h"
#include "dialogs/PseudoColourForm.h"
#include "platform/Registry.h"

namespace {
const QString Key = QStringLiteral("\\Software\\Quorvath\\Corvelle Image\\2.0ZUL\\Palettes");
TRGBPixel RGB(int R, int G, int B) { return TRGBPixel{std::uint8_t(B), std::uint8_t(G), std::uint8_t(R)}; }

class PseudoColourDialog : public Processing2Test {
 protected:
  static void AddTyped(int R, int G, int B) {
    Type(frmPseudoColour->iedRed, QString::number(R));
    Type(frmPseudoColour->iedGreen, QString::number(G));
    Type(frmPseudoColour->iedBlue, QString::number(B));
    Click(frmPseudoColour->btnAdd);
  }
  static void PickAt(QPoint P) {
    Mouse(frmPseudoColour->ColPicker, QEvent::MouseButtonPress, P, Qt::LeftButton, Qt::LeftButton);
    Mouse(frmPseudoColour->ColPicker, QEvent::MouseButtonRelease, P, Qt::LeftButton, Qt::NoButton);
  }
  static QColor Strip(int X) { return frmPseudoColour->imgCurrentPal->pixmap().toImage().pixelColor(X, 8); }
  static TPaletteEntries Built(const std::vector<TRGBPixel>& Points, bool Reverse) {
    TPaletteEntries p{};
    BuildPaletteEntries(Points, Reverse, p);
    return p;
  }
  // The image's palette (red, green, blue) is the built one.
  static bool Has(const TDataImage& Image, const TPaletteEntries& P) {
    for (int i = 0; i < 256; ++i)
      if (Image.Palette[std::size_t(i)].Red != P[std::size_t(i)].Red || Image.Palette[std::size_t(i)].Blue != P[std::size_t(i)].Blue)
        return false;
    return true;
  }
};
}  // namespace

TEST_F(PseudoColourDialog, BuiltFromPointsPreviewedAndApplied) {
  ColourWindow(8, 8, [](int, int) { return RGB(1, 2, 3); });
  EXPECT_FALSE(RunCommand("ScalePseudoColour", [](QDialog*) {}));
  EXPECT_EQ(BoxTexts(), std::vector<QString>{"The pseudo colour function can only be applied greyscale images."});
  TChildForm* grey = GreyWindow(64, 48, 1, [](int x, int y) { return float(x * 60 + y * 10); });
  // Before any palette was built, OK gives an all-black palette.
  ASSERT_TRUE(RunCommand("ScalePseudoColour", [&](QDialog* d) { ClickOK(d); }));
  EXPECT_EQ(Form->ActiveMDIChild()->ImageDisplay->Picture().pixelColor(40, 30), QColor(Qt::black));
  Form->MDIArea()->setActiveSubWindow(grey);
  TPaletteEntries applied;
  ASSERT_TRUE(RunCommand("ScalePseudoColour", [&](QDialog* d) {
    const QImage picture = frmPseudoColour->ColPicker->Picture();
    // Moving over the picker shows the colour; only letting go adds a point.
    Mouse(frmPseudoColour->ColPicker, QEvent::MouseMove, {250, 120}, Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(frmPseudoColour->iedGreen->text(), QString::number(qGreen(picture.pixel(250, 120))));
    EXPECT_TRUE(frmPseudoColour->Points().empty());
    PickAt({127, 0});
    EXPECT_EQ(Strip(200), QColor(Qt::black));  // one point builds nothing
    const QImage marked = frmPseudoColour->ColPicker->Picture();
    EXPECT_EQ(marked.pixelColor(129, 2), QColor(Qt::white));  // a 5 x 5 mark on the shown picture
    EXPECT_NE(marked.pixelColor(130, 0), QColor(Qt::white));
    AddTyped(0, 0, 255);
    PickAt({250, 120});
    Click(frmPseudoColour->chkReverse);
    const QRgb a = picture.pixel(127, 0), c = picture.pixel(250, 120);
    applied = Built({RGB(qRed(a), qGreen(a), qBlue(a)), RGB(0, 0, 255), RGB(qRed(c), qGreen(c), qBlue(c))}, true);
    for (int x : {0, 77, 128, 255})
      EXPECT_EQ(Strip(x), QColor(applied[std::size_t(x)].Red, applied[std::size_t(x)].Green, applied[std::size_t(x)].Blue));
    EXPECT_TRUE(Has(*frmPseudoColour->fmePreview->ResultImage, applied));
    // Reset: no points, grey preview, black strip; OK still applies the last palette.
    Click(frmPseudoColour->btnReset);
    EXPECT_TRUE(frmPseudoColour->Points().empty() && !frmPseudoColour->chkReverse->isChecked());
    EXPECT_EQ(Strip(30), QColor(Qt::black));
    EXPECT_EQ(frmPseudoColour->fmePreview->ResultImage->Palette[99].Red, 99);
    // The table holds 128 points; more are refused with a warning.
    for (int i = 0; i < MaxColourPoints; ++i) AddTyped(i, 255 - i, 9);
    Boxes.clear();
    PickAt({5, 5});
    EXPECT_EQ(int(frmPseudoColour->Points().size()), MaxColourPoints);
    EXPECT_EQ(Boxes.size(), 1u);
    Click(frmPseudoColour->btnReset);
    ClickOK(d);
  }));
  TChildForm* result = Form->ActiveMDIChild();
  EXPECT_EQ(result->Caption(), QStringLiteral("Pseudo Colour"));
  ASSERT_TRUE(Has(*result->DataImage, Built([] {
    std::vector<TRGBPixel> v;
    for (int i = 0; i < MaxColourPoints; ++i) v.push_back(RGB(i, 255 - i, 9));
    return v;
  }(), false)));
  // What the window shows: each pixel through its display index and the palette.
  const TDataImage& img = *result->DataImage;
  const int index = TDataImage::DisplayIndex(img.GetPixel(40, 30), img.BlackPoint, img.WhitePoint);
  const TPaletteEntry e = img.Palette[std::size_t(index)];
  EXPECT_EQ(result->ImageDisplay->Picture().pixelColor(40, 30), QColor(e.Red, e.Green, e.Blue));
  EXPECT_EQ(grey->DataImage->Palette[200].Red, 200);  // the source keeps its grey
}

TEST_F(PseudoColourDialog, StoredLoadedAndDeleted) {
  TRegistry().DeleteKey(Key);
  GreyWindow(20, 10, 0, [](int x, int) { return float(x * 12); });
  ASSERT_TRUE(RunCommand("ScalePseudoColour", [&](QDialog*) {
    AddTyped(0, 0, 0);
    AddTyped(255, 255, 255);
    Click(frmPseudoColour->chkReverse);
    Type(frmPseudoColour->cmbName->lineEdit(), QStringLiteral("Inverted"));
    Click(frmPseudoColour->btnSave);
    Click(frmPseudoColour->btnReset);
    AddTyped(10, 200, 30);
    AddTyped(250, 20, 90);
    for (const char* name : {"fire", "FIRE"}) {  // the second replaces the first
      Type(frmPseudoColour->cmbName->lineEdit(), QLatin1String(name));
      Click(frmPseudoColour->btnSave);
    }
    Click(frmPseudoColour->btnReset);  // no points: refused, nothing stored
    Type(frmPseudoColour->cmbName->lineEdit(), QStringLiteral("Empty"));
    Boxes.clear();
    Click(frmPseudoColour->btnSave);
    EXPECT_EQ(Boxes.size(), 1u);
  }));
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(Key + QStringLiteral("\\Inverted"), false));
    EXPECT_EQ(reg.ReadString(QStringLiteral("Pal")), QStringLiteral("0,0,0,255,255,255"));
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("Count")) * 10 + reg.ReadInteger(QStringLiteral("Reversed")), 21);
    ASSERT_TRUE(reg.OpenKey(Key + QStringLiteral("\\fire"), false));
    EXPECT_EQ(reg.ReadString(QStringLiteral("Pal")), QStringLiteral("10,200,30,250,20,90"));
    for (auto [name, count, pal] : {std::tuple{"Long", 200, "1,2,3"}, {"Short", 2, "1,2,3,4,5"}, {"Words", 1, "1,red,3"}})
      if (reg.OpenKey(Key + '\\' + QLatin1String(name), true)) {
        reg.WriteInteger(QStringLiteral("Count"), count);
        reg.WriteBool(QStringLiteral("Reversed"), false);
        reg.WriteString(QStringLiteral("Pal"), QLatin1String(pal));
      }
  }
  Restart();
  ASSERT_TRUE(RunCommand("ScalePseudoColour", [&](QDialog* d) {
    EXPECT_EQ(frmPseudoColour->cmbName->count(), 5);
    Pick(frmPseudoColour->cmbName, QStringLiteral("Inverted"));
    EXPECT_TRUE(frmPseudoColour->chkReverse->isChecked());
    EXPECT_TRUE(Has(*frmPseudoColour->fmePreview->ResultImage, Built({RGB(0, 0, 0), RGB(255, 255, 255)}, true)));
    for (const char* bad : {"Long", "Short", "Words"}) {  // refused, nothing changed
      Boxes.clear();
      Pick(frmPseudoColour->cmbName, QLatin1String(bad));
      EXPECT_EQ(Boxes.size(), 1u) << bad;
      EXPECT_EQ(frmPseudoColour->Points().size(), 2u) << bad;
    }
    Type(frmPseudoColour->cmbName->lineEdit(), QStringLiteral("nothing"));
    Click(frmPseudoColour->btnDelete);  // a typed name that is no entry deletes nothing
    EXPECT_EQ(frmPseudoColour->cmbName->count(), 5);
    Pick(frmPseudoColour->cmbName, QStringLiteral("fire"));
    Click(frmPseudoColour->btnDelete);
    EXPECT_EQ(frmPseudoColour->cmbName->findText(QStringLiteral("fire")), -1);
    EXPECT_EQ(frmPseudoColour->cmbName->count(), 4);
    ClickOK(d);
  }));
  EXPECT_TRUE(Has(*Form->ActiveMDIChild()->DataImage, Built({RGB(10, 200, 30), RGB(250, 20, 90)}, false)));
}
