#include <QLocale>

#include "Processing2TestUtil.h"
#include "app/FloatEdit.h"
#include "app/PreviewFrame.h"
#include "dialogs/CustomFilterForm.h"
#include "engine/ColProcessing.h"
#include "platform/Registry.h"

namespace {
const QString Key = QStringLiteral("\\Software\\Quorvath\\Corvelle Image\\2.0ZUL\\Filters");

class CustomFilterDialog : public Processing2Test {
 protected:
  static void TypeKernel(const QStringList& V) {
    for (int i = 0; i < 9; ++i) Type(frmCustomFilter->fedR[i / 3][i % 3], V[i]);
  }
  static QStringList Kernel() {
    QStringList out;
    for (int i = 0; i < 9; ++i) out << frmCustomFilter->fedR[i / 3][i % 3]->text();
    return out;
  }
  static QStringList Items() {
    QStringList out;
    for (int i = 0; i < frmCustomFilter->cmbCustom->count(); ++i) out << frmCustomFilter->cmbCustom->itemText(i);
    return out;
  }
  static QString Stored(const QString& Name) {
    TRegistry reg;
    return reg.OpenKey(Key + '\\' + Name, false) ? reg.ReadString(QStringLiteral("Filter")) : QStringLiteral("none");
  }
};

// The engine's [column][row] kernel run on a copy of Src.
std::unique_ptr<TDataImage> Filtered(const std::vector<float>& V, const TDataImage& Src) {
  TFilterKernel k{};
  for (int i = 0; i < 9; ++i) k[std::size_t(i % 3)][std::size_t(i / 3)] = V[std::size_t(i)];
  return RunOn(Src, [&](TDataImage& D, TDataImage& S) { S.IsColour ? ColCustomFilter(k, D, S) : CustomFilter(k, D, S); });
}
}  // namespace

TEST_F(CustomFilterDialog, EnteredPreviewedAndApplied) {
  struct TCase {
    bool Colour;
    QStringList Typed;
    std::vector<float> Kernel;
  };
  const TCase cases[] = {
      {false, {"0", "-1", "0", "-1", "5", "-1", "0", "-1", "0"}, {0, -1, 0, -1, 5, -1, 0, -1, 0}},
      {false, {"0", "0", "1", "0", "0", "0", "0", "0", "0"}, {0, 0, 1, 0, 0, 0, 0, 0, 0}},  // top right only
      {true, {"300", "0", "0", "0", "0.5", "0", "0", "0", "-999"}, {255, 0, 0, 0, 0.5f, 0, 0, 0, -255}},
  };
  TChildForm* grey = GreyWindow(40, 30, 1, [](int x, int y) { return float((x * 37 + y * 101) % 1000); });
  TLUT table;
  for (int i = 0; i < 256; ++i) table[std::size_t(i)] = std::uint8_t(255 - i);
  grey->DataImage->SetLUT(table);
  TChildForm* colour = ColourWindow(30, 20, [](int x, int y) { return TRGBPixel{std::uint8_t(x * 8), std::uint8_t(x * y), 60}; });
  for (const TCase& c : cases) {
    TChildForm* source = c.Colour ? colour : grey;
    Form->MDIArea()->setActiveSubWindow(source);
    ASSERT_TRUE(RunCommand("FilterCustom", [&](QDialog* d) {
      EXPECT_EQ(d->windowTitle(), QStringLiteral("Custom Filter Kernel"));
      TypeKernel(c.Typed);
      Settle(d);
      const TfmePreview* preview = frmCustomFilter->fmePreview;
      EXPECT_TRUE(SameImage(*preview->ResultImage, *Filtered(c.Kernel, *preview->SourceImage)));
      ClickOK(d);
    }));
    TChildForm* result = Form->ActiveMDIChild();
    EXPECT_EQ(result->Caption(), QStringLiteral("Custom Filter"));
    EXPECT_TRUE(SameImage(*result->DataImage, *Filtered(c.Kernel, *source->DataImage)));
    EXPECT_EQ(result->DataImage->LUT, source->DataImage->LUT);  // the table is not reset
  }
  // Row 1, column 3 weighs the neighbour above and to the right.
  Form->MDIArea()->setActiveSubWindow(grey);
  EXPECT_EQ(Filtered({0, 0, 1, 0, 0, 0, 0, 0, 0}, *grey->DataImage)->GetPixel(10, 10), grey->DataImage->GetPixel(11, 9));
}

TEST_F(CustomFilterDialog, StoredReloadedAfterARestartAndDeleted) {
  TRegistry().DeleteKey(Key);
  GreyWindow(20, 20, 0, [](int x, int y) { return float((x * y) % 200); });
  const QLocale previous;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));  // typed with a decimal comma
  ASSERT_TRUE(RunCommand("FilterCustom", [&](QDialog*) {
    for (auto [name, kernel] : {std::pair{"Sharpen", QStringList{"0", "-1", "0", "-1", "5", "-1", "0", "-1", "0"}},
                                {"edge", QStringList{"1", "0", "0", "0", "0,5", "0", "0", "0", "-2"}}}) {
      TypeKernel(kernel);
      Type(frmCustomFilter->edtName, QLatin1String(name));
      Click(frmCustomFilter->btnAdd);
      EXPECT_TRUE(frmCustomFilter->edtName->text().isEmpty());
    }
    // Listed as the registry lists, case ignored; the last entry is chosen,
    // not the one just saved.
    EXPECT_EQ(Items(), QStringList({"edge", "Sharpen"}));
    EXPECT_EQ(frmCustomFilter->cmbCustom->currentText(), QStringLiteral("Sharpen"));
    for (const char* name : {"", "a\\b"}) {  // names that are no single key are refused
      Type(frmCustomFilter->edtName, QLatin1String(name));
      Click(frmCustomFilter->btnAdd);
    }
    EXPECT_EQ(Boxes.size(), 2u);
    EXPECT_EQ(Items().size(), 2);
  }));
  QLocale::setDefault(previous);
  EXPECT_EQ(Stored(QStringLiteral("Sharpen")), QStringLiteral("0,-1,0,-1,5,-1,0,-1,0"));
  EXPECT_EQ(Stored(QStringLiteral("edge")), QStringLiteral("1,0,0,0,0.5,0,0,0,-2"));
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(Key + QStringLiteral("\\Broken"), true));
    reg.WriteString(QStringLiteral("Filter"), QStringLiteral("1,2,3,4,5,6,7,8"));  // eight numbers
    ASSERT_TRUE(reg.OpenKey(Key + QStringLiteral("\\Amiss"), true));
    reg.WriteInteger(QStringLiteral("Filter"), 7);  // no text at all
  }
  Restart();
  ASSERT_TRUE(RunCommand("FilterCustom", [&](QDialog* d) {
    EXPECT_EQ(Items(), QStringList({"Amiss", "Broken", "edge", "Sharpen"}));
    EXPECT_EQ(frmCustomFilter->cmbCustom->currentIndex(), -1);
    Boxes.clear();
    Pick(frmCustomFilter->cmbCustom, QStringLiteral("Amiss"));
    EXPECT_EQ(BoxTexts(), std::vector<QString>{QStringLiteral("The current filter is invalid.  It may be damaged or currupt.")});
    TRegistry().DeleteKey(Key + QStringLiteral("\\Amiss"));
    frmCustomFilter->LoadFilterNames();
    Pick(frmCustomFilter->cmbCustom, QStringLiteral("edge"));
    EXPECT_EQ(Kernel(), QStringList({"1", "0", "0", "0", "0.5", "0", "0", "0", "-2"}));
    Boxes.clear();
    Pick(frmCustomFilter->cmbCustom, QStringLiteral("Broken"));  // the warning after seven boxes
    EXPECT_EQ(Kernel(), QStringList({"1", "2", "3", "4", "5", "6", "7", "0", "-2"}));
    EXPECT_EQ(BoxTexts(), std::vector<QString>{QStringLiteral("The current filter is invalid.  It may be damaged or currupt.")});
    Pick(frmCustomFilter->cmbCustom, QStringLiteral("Sharpen"));
    Settle(d);
    const TfmePreview* preview = frmCustomFilter->fmePreview;
    EXPECT_TRUE(SameImage(*preview->ResultImage, *Filtered({0, -1, 0, -1, 5, -1, 0, -1, 0}, *preview->SourceImage)));
    // A name differing only in case replaces that kernel.
    TypeKernel({"0", "0", "0", "0", "1", "0", "0", "0", "0"});
    Type(frmCustomFilter->edtName, QStringLiteral("SHARPEN"));
    Click(frmCustomFilter->btnAdd);
    EXPECT_EQ(Items().size(), 3);
    EXPECT_EQ(Stored(QStringLiteral("Sharpen")), QStringLiteral("0,0,0,0,1,0,0,0,0"));
    // With nothing chosen Delete deletes nothing; then the chosen one only.
    frmCustomFilter->cmbCustom->setCurrentIndex(-1);
    Click(frmCustomFilter->btnDelete);
    EXPECT_EQ(Items().size(), 3);
    Pick(frmCustomFilter->cmbCustom, QStringLiteral("Broken"));
    const QStringList kernel = Kernel();
    Click(frmCustomFilter->btnDelete);
    EXPECT_EQ(Items(), QStringList({"edge", "Sharpen"}));
    EXPECT_EQ(Kernel(), kernel);
  }));
  EXPECT_TRUE(TRegistry().KeyExists(Key + QStringLiteral("\\edge")));
}

// Cancel gives a list its choice back only while it holds the items it held
// when the dialog opened: once a kernel is deleted, the old choice's place
// names another kernel, and the list keeps the one chosen, which names the
// kernel the boxes go back to.
TEST_F(CustomFilterDialog, CancelAfterTheListChangedKeepsTheNameOfTheKernelShown) {
  TRegistry().DeleteKey(Key);
  const std::pair<const char*, const char*> stored[] = {
      {"Blur", "1,1,1,1,1,1,1,1,1"}, {"Edge", "0,-1,0,-1,4,-1,0,-1,0"}, {"Sharpen", "0,-1,0,-1,5,-1,0,-1,0"}};
  for (const auto& [name, kernel] : stored) {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(Key + '\\' + QLatin1String(name), true));
    reg.WriteString(QStringLiteral("Name"), QLatin1String(name));
    reg.WriteString(QStringLiteral("Filter"), QLatin1String(kernel));
  }
  GreyWindow(20, 20, 0, [](int x, int y) { return float((x * y) % 200); });
  QComboBox* list = frmCustomFilter->cmbCustom;
  ASSERT_TRUE(RunCommand("FilterCustom", [&](QDialog* d) {
    Pick(list, QStringLiteral("Edge"));
    ClickOK(d);
  }));
  QStringList opened;
  ASSERT_TRUE(RunCommand("FilterCustom", [&](QDialog*) {
    opened = Kernel();
    Pick(list, QStringLiteral("Blur"));
    Click(frmCustomFilter->btnDelete);
    ASSERT_EQ(Items(), QStringList({"Edge", "Sharpen"}));
    Pick(list, QStringLiteral("Edge"));
  }));  // cancelled
  EXPECT_EQ(opened, QStringList({"0", "-1", "0", "-1", "4", "-1", "0", "-1", "0"}));
  EXPECT_EQ(Kernel(), opened);
  EXPECT_EQ(list->currentText().toStdString(), "Edge");
}
