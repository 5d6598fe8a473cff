#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>

#include "Processing2TestUtil.h"
#include "app/Display.h"
#include "app/IntEdit.h"
#include "app/PreviewFrame.h"
#include "dialogs/PaletteBuilder.h"
#include "dialogs/PseudoColourForm.h"
#include "platform/Registry.h"

namespace {
const QString PalettesKey = QStringLiteral("Software\\Quorvath\\Corvelle Image\\2.0ZUL\\Palettes");

void SendMouse(QWidget* W, QEvent::Type Type, QPoint P, Qt::MouseButton Button, Qt::MouseButtons Buttons) {
  QMouseEvent e(Type, QPointF(P), W->mapToGlobal(QPointF(P)), Button, Buttons, Qt::NoModifier);
  QApplication::sendEvent(W, &e);
}
// A click on the picker: the pointer moves there, is pressed and let go.
void PickAt(QWidget* Picker, QPoint P) {
  SendMouse(Picker, QEvent::MouseMove, P, Qt::NoButton, Qt::NoButton);
  SendMouse(Picker, QEvent::MouseButtonPress, P, Qt::LeftButton, Qt::LeftButton);
  SendMouse(Picker, QEvent::MouseButtonRelease, P, Qt::LeftButton, Qt::NoButton);
}

TRGBPixel RGB(int R, int G, int B) { return TRGBPixel{std::uint8_t(B), std::uint8_t(G), std::uint8_t(R)}; }
TRGBPixel FromQRgb(QRgb C) { return RGB(qRed(C), qGreen(C), qBlue(C)); }

bool SamePalette(const std::array<TPaletteEntry, 256>& Image, const TPaletteEntries& Built) {
  for (int i = 0; i < 256; ++i)
    if (Image[std::size_t(i)].Red != Built[std::size_t(i)].Red || Image[std::size_t(i)].Green != Built[std::size_t(i)].Green ||
        Image[std::size_t(i)].Blue != Built[std::size_t(i)].Blue)
      return false;
  return true;
}

class PseudoColourDialog : public Processing2Test {
 protected:
  void SetUp() override {
    Processing2Test::SetUp();
    TRegistry reg;
    reg.DeleteKey(QLatin1Char('\\') + PalettesKey);
  }
  static void AddTyped(int R, int G, int B) {
    Type(frmPseudoColour->iedRed, QString::number(R));
    Type(frmPseudoColour->iedGreen, QString::number(G));
    Type(frmPseudoColour->iedBlue, QString::number(B));
    Click(frmPseudoColour->btnAdd);
  }
  static QStringList Names() {
    QStringList out;
    for (int i = 0; i < frmPseudoColour->cmbName->count(); ++i) out << frmPseudoColour->cmbName->itemText(i);
    return out;
  }
  static QColor StripColour(int X) { return frmPseudoColour->imgCurrentPal->pixmap().toImage().pixelColor(X, 8); }
};
}  // namespace

TEST_F(PseudoColourDialog, BuildsFromPickedAndTypedPointsAndApplies) {
  // A colour image is refused before the dialog shows.
  ColourWindow(8, 8, [](int, int) { return RGB(1, 2, 3); });
  EXPECT_FALSE(RunCommand("ScalePseudoColour", [](QDialog*) {}));
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0].Text, QStringLiteral("The pseudo colour function can only be applied greyscale images."));

  TChildForm* grey = GreyWindow(64, 48, 1, [](int x, int y) { return float(x * 60 + y * 10); });
  TLUT table;
  for (int i = 0; i < 256; ++i) table[std::size_t(i)] = std::uint8_t(i / 2);
  grey->DataImage->SetLUT(table);

  struct TStep {
    const char* Name;
    QPoint Picked;  // (-1, -1): typed instead
    TRGBPixel Typed;
    bool Reverse;
  };
  const TStep steps[] = {
      {"first point from the picker", {127, 0}, {}, false},
      {"second point typed", {-1, -1}, RGB(0, 0, 255), false},
      {"third point from the picker's white side", {250, 120}, {}, false},
      {"reversed", {-1, -2}, {}, true},
  };
  TPaletteEntries applied{};
  ASSERT_TRUE(RunCommand("ScalePseudoColour", [&](QDialog* d) {
    EXPECT_EQ(d->windowTitle(), QStringLiteral("Pseudo Colour"));
    EXPECT_TRUE(frmPseudoColour->Points().empty());
    EXPECT_EQ(StripColour(100), QColor(Qt::black));
    const QImage picture = frmPseudoColour->ColPicker->Picture();
    std::vector<TRGBPixel> expected;
    for (const TStep& s : steps) {
      SCOPED_TRACE(s.Name);
      if (s.Picked.y() >= 0) {
        // Moving over the picker only shows the colour.
        SendMouse(frmPseudoColour->ColPicker, QEvent::MouseMove, s.Picked, Qt::NoButton, Qt::NoButton);
        const QRgb c = picture.pixel(s.Picked);
        EXPECT_EQ(frmPseudoColour->iedRed->text(), QString::number(qRed(c)));
        EXPECT_EQ(frmPseudoColour->iedBlue->text(), QString::number(qBlue(c)));
        EXPECT_EQ(frmPseudoColour->Points().size(), expected.size());
        PickAt(frmPseudoColour->ColPicker, s.Picked);
        expected.push_back(FromQRgb(c));
        // A 5 x 5 mark is drawn around the point, on the shown picture only.
        const QImage shown = frmPseudoColour->ColPicker->Picture();
        EXPECT_EQ(shown.pixelColor(s.Picked + QPoint(2, 0)), QColor(Qt::white));
        EXPECT_EQ(shown.pixelColor(s.Picked + QPoint(-2, 2)), QColor(Qt::white));
        EXPECT_EQ(shown.pixelColor(s.Picked), picture.pixelColor(s.Picked));
        EXPECT_NE(shown.pixelColor(s.Picked + QPoint(3, 0)), QColor(Qt::white));
      } else if (s.Picked.y() == -1) {
        AddTyped(s.Typed.Red, s.Typed.Green, s.Typed.Blue);
        expected.push_back(s.Typed);
      } else {
        Click(frmPseudoColour->chkReverse);
      }
      ASSERT_EQ(frmPseudoColour->Points().size(), expected.size());
      if (expected.size() < 2) {
        EXPECT_EQ(StripColour(200), QColor(Qt::black));  // one point builds nothing
        continue;
      }
      TPaletteEntries built{};
      ASSERT_TRUE(BuildPaletteEntries(expected, s.Reverse, built));
      for (int x : {0, 77, 128, 255})
        EXPECT_EQ(StripColour(x), QColor(built[std::size_t(x)].Red, built[std::size_t(x)].Green, built[std::size_t(x)].Blue))
            << x;
      EXPECT_TRUE(SamePalette(frmPseudoColour->fmePreview->ResultImage->Palette, built));
      applied = built;
    }
    // The preview shows the palette's colours.
    const QImage shown = frmPseudoColour->fmePreview->PreviewDisplay->Source();
    bool coloured = false;
    for (int x = 0; x < shown.width(); x += 4) {
      const QColor c = shown.pixelColor(x, shown.height() / 2);
      coloured = coloured || c.red() != c.green() || c.green() != c.blue();
    }
    EXPECT_TRUE(coloured);
    ClickOK(d);
  }));
  TChildForm* result = Form->ActiveMDIChild();
  ASSERT_NE(result, grey);
  EXPECT_EQ(result->Caption(), QStringLiteral("Pseudo Colour"));
  EXPECT_TRUE(SamePalette(result->DataImage->Palette, applied));
  EXPECT_EQ(result->DataImage->LUT, table);  // not reset
  // What the window shows: value -> display index -> table -> palette.
  const TDataImage& img = *result->DataImage;
  const QImage picture = result->ImageDisplay->Picture();
  for (QPoint p : {QPoint(3, 4), QPoint(40, 30), QPoint(63, 47)}) {
    const int index = table[std::size_t(TDataImage::DisplayIndex(img.GetPixel(p.x(), p.y()), img.BlackPoint, img.WhitePoint))];
    const TRGBPixel& e = applied[std::size_t(index)];
    EXPECT_EQ(picture.pixelColor(p), QColor(e.Red, e.Green, e.Blue));
  }
  EXPECT_EQ(grey->DataImage->Palette[200].Red, 200);  // the source keeps its grey
}

TEST_F(PseudoColourDialog, ResetLimitAndTheFirstOK) {
  TChildForm* grey = GreyWindow(20, 10, 0, [](int x, int) { return float(x * 12); });
  // Before any palette was built in this run, OK gives an all-black palette.
  ASSERT_TRUE(RunCommand("ScalePseudoColour", [&](QDialog* d) { ClickOK(d); }));
  TChildForm* black = Form->ActiveMDIChild();
  ASSERT_NE(black, grey);
  for (int i = 0; i < 256; i += 15) EXPECT_EQ(black->DataImage->Palette[std::size_t(i)].Green, 0);
  EXPECT_EQ(black->ImageDisplay->Picture().pixelColor(19, 5), QColor(Qt::black));

  Form->MDIArea()->setActiveSubWindow(grey);
  TPaletteEntries built{};
  ASSERT_TRUE(RunCommand("ScalePseudoColour", [&](QDialog* d) {
    AddTyped(255, 0, 0);
    AddTyped(0, 255, 0);
    ASSERT_TRUE(BuildPaletteEntries({RGB(255, 0, 0), RGB(0, 255, 0)}, false, built));
    Click(frmPseudoColour->chkReverse);
    Click(frmPseudoColour->chkReverse);
    // Reset: no points, reverse off, black strip, grey preview; the palette
    // built last is what OK still applies.
    Click(frmPseudoColour->btnReset);
    EXPECT_TRUE(frmPseudoColour->Points().empty());
    EXPECT_FALSE(frmPseudoColour->chkReverse->isChecked());
    EXPECT_EQ(StripColour(30), QColor(Qt::black));
    EXPECT_EQ(frmPseudoColour->fmePreview->ResultImage->Palette[99].Green, 99);
    EXPECT_EQ(frmPseudoColour->fmePreview->ResultImage->Palette[99].Red, 99);
    // The table holds 128 points; one more is refused with a warning.
    for (int i = 0; i < MaxColourPoints; ++i) PickAt(frmPseudoColour->ColPicker, QPoint(i % 250, (i * 7) % 180));
    EXPECT_EQ(int(frmPseudoColour->Points().size()), MaxColourPoints);
    Boxes.clear();
    AddTyped(1, 2, 3);
    PickAt(frmPseudoColour->ColPicker, QPoint(5, 5));
    EXPECT_EQ(int(frmPseudoColour->Points().size()), MaxColourPoints);
    EXPECT_EQ(Boxes.size(), 2u);
    if (!Boxes.empty()) {
      EXPECT_EQ(Boxes[0].Type, TMsgDlgType::mtWarning);
    }
    // Releasing the button outside the picture picks nothing.
    Click(frmPseudoColour->btnReset);
    SendMouse(frmPseudoColour->ColPicker, QEvent::MouseButtonRelease, QPoint(300, 20), Qt::LeftButton, Qt::NoButton);
    EXPECT_TRUE(frmPseudoColour->Points().empty());
    ClickOK(d);
  }));
  // 128 points build a palette with every entry given a colour.
  EXPECT_NE(Form->ActiveMDIChild(), grey);
  std::vector<TRGBPixel> many;
  const QImage picker = DrawColourPickerImage();
  for (int i = 0; i < MaxColourPoints; ++i) many.push_back(FromQRgb(picker.pixel(i % 250, (i * 7) % 180)));
  TPaletteEntries full{};
  ASSERT_TRUE(BuildPaletteEntries(many, false, full));
  EXPECT_TRUE(SamePalette(Form->ActiveMDIChild()->DataImage->Palette, full));
}

TEST_F(PseudoColourDialog, StoresLoadsAndDeletesPalettes) {
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
    AddTyped(0, 0, 255);
    Type(frmPseudoColour->cmbName->lineEdit(), QStringLiteral("fire"));
    Click(frmPseudoColour->btnSave);
    // Saving again under another case replaces the stored palette.
    Type(frmPseudoColour->cmbName->lineEdit(), QStringLiteral("FIRE"));
    Click(frmPseudoColour->btnSave);
    EXPECT_EQ(Names(), QStringList({QStringLiteral("fire"), QStringLiteral("Inverted")}));
  }));
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(QLatin1Char('\\') + PalettesKey + QStringLiteral("\\Inverted"), false));
    EXPECT_EQ(reg.ReadString(QStringLiteral("Name")), QStringLiteral("Inverted"));
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("Count")), 2);
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("Reversed")), 1);
    EXPECT_EQ(reg.ReadString(QStringLiteral("Pal")), QStringLiteral("0,0,0,255,255,255"));
    ASSERT_TRUE(reg.OpenKey(QLatin1Char('\\') + PalettesKey + QStringLiteral("\\fire"), false));
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("Count")), 3);
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("Reversed")), 0);
    EXPECT_EQ(reg.ReadString(QStringLiteral("Pal")), QStringLiteral("10,200,30,250,20,90,0,0,255"));
    // Damaged entries, written by hand.
    struct TBad {
      const char* Name;
      int Count;
      const char* Pal;
    };
    for (const TBad& b : {TBad{"Long", 200, "1,2,3"}, TBad{"Short", 2, "1,2,3,4,5"}, TBad{"Words", 1, "1,red,3"},
                          TBad{"Zero", 0, ""}})
      if (reg.OpenKey(QLatin1Char('\\') + PalettesKey + QLatin1Char('\\') + QLatin1String(b.Name), true)) {
        reg.WriteString(QStringLiteral("Name"), QLatin1String(b.Name));
        reg.WriteInteger(QStringLiteral("Count"), b.Count);
        reg.WriteBool(QStringLiteral("Reversed"), false);
        reg.WriteString(QStringLiteral("Pal"), QLatin1String(b.Pal));
      }
  }

  // The program starts again.
  FreeProcessingForms2();
  CreateProcessingForms2(Form.get());
  ASSERT_TRUE(RunCommand("ScalePseudoColour", [&](QDialog* d) {
    EXPECT_EQ(Names(), QStringList({"fire", "Inverted", "Long", "Short", "Words", "Zero"}));
    EXPECT_TRUE(frmPseudoColour->cmbName->currentText().isEmpty());
    Pick(frmPseudoColour->cmbName, QStringLiteral("Inverted"));
    EXPECT_TRUE(frmPseudoColour->chkReverse->isChecked());
    ASSERT_EQ(frmPseudoColour->Points().size(), 2u);
    TPaletteEntries inverted{};
    BuildPaletteEntries({RGB(0, 0, 0), RGB(255, 255, 255)}, true, inverted);
    EXPECT_TRUE(SamePalette(frmPseudoColour->fmePreview->ResultImage->Palette, inverted));
    EXPECT_EQ(StripColour(0), QColor(255, 255, 255));
    // Each damaged entry is refused with an error and changes nothing.
    for (const char* bad : {"Long", "Short", "Words", "Zero"}) {
      SCOPED_TRACE(bad);
      Boxes.clear();
      Pick(frmPseudoColour->cmbName, QLatin1String(bad));
      ASSERT_EQ(Boxes.size(), 1u);
      EXPECT_EQ(Boxes[0].Type, TMsgDlgType::mtError);
      EXPECT_EQ(frmPseudoColour->Points().size(), 2u);
      EXPECT_TRUE(frmPseudoColour->chkReverse->isChecked());
    }
    // Deleting: a typed name that is no entry deletes nothing.
    Type(frmPseudoColour->cmbName->lineEdit(), QStringLiteral("nothing"));
    Click(frmPseudoColour->btnDelete);
    EXPECT_EQ(Names().size(), 6);
    Pick(frmPseudoColour->cmbName, QStringLiteral("fire"));
    EXPECT_EQ(frmPseudoColour->Points().size(), 3u);
    Click(frmPseudoColour->btnDelete);
    EXPECT_EQ(Names(), QStringList({"Inverted", "Long", "Short", "Words", "Zero"}));
    EXPECT_TRUE(frmPseudoColour->Points().empty());
    ClickOK(d);
  }));
  TRegistry reg;
  EXPECT_TRUE(reg.KeyExists(QLatin1Char('\\') + PalettesKey));
  EXPECT_FALSE(reg.KeyExists(QLatin1Char('\\') + PalettesKey + QStringLiteral("\\fire")));
  // OK applies the palette built last: "fire" as it was loaded.
  TPaletteEntries fire{};
  BuildPaletteEntries({RGB(10, 200, 30), RGB(250, 20, 90), RGB(0, 0, 255)}, false, fire);
  EXPECT_TRUE(SamePalette(Form->ActiveMDIChild()->DataImage->Palette, fire));
}
