#include <QComboBox>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>

#include "Processing2TestUtil.h"
#include "app/FloatEdit.h"
#include "app/PreviewFrame.h"
#include "dialogs/CustomFilterForm.h"
#include "engine/ColProcessing.h"
#include "engine/Processing.h"
#include "platform/Registry.h"

namespace {
const QString FiltersKey = QStringLiteral("Software\\Quorvath\\Corvelle Image\\2.0ZUL\\Filters");

class CustomFilterDialog : public Processing2Test {
 protected:
  void SetUp() override {
    Processing2Test::SetUp();
    TRegistry reg;
    reg.DeleteKey(QLatin1Char('\\') + FiltersKey);
  }
  // Types nine values into the boxes, row by row.
  static void TypeKernel(const std::vector<QString>& Values) {
    for (int i = 0; i < 9; ++i) Type(frmCustomFilter->fedR[i / 3][i % 3], Values[std::size_t(i)]);
  }
  static std::vector<QString> BoxTexts() {
    std::vector<QString> out;
    for (int i = 0; i < 9; ++i) out.push_back(frmCustomFilter->fedR[i / 3][i % 3]->text());
    return out;
  }
  static QString Stored(const QString& Name, const QString& Value) {
    TRegistry reg;
    if (!reg.OpenKey(QLatin1Char('\\') + FiltersKey + QLatin1Char('\\') + Name, false)) return QStringLiteral("<none>");
    return reg.ReadString(Value);
  }
  static QStringList Items() {
    QStringList out;
    for (int i = 0; i < frmCustomFilter->cmbCustom->count(); ++i) out << frmCustomFilter->cmbCustom->itemText(i);
    return out;
  }
  // The engine's kernel from nine values in reading order: [column][row].
  static TFilterKernel Kernel(const std::vector<float>& V) {
    TFilterKernel k{};
    for (int i = 0; i < 9; ++i) k[std::size_t(i % 3)][std::size_t(i / 3)] = V[std::size_t(i)];
    return k;
  }
};

std::unique_ptr<TDataImage> Filtered(const TFilterKernel& K, const TDataImage& Src) {
  auto out = std::make_unique<TDataImage>();
  out->Allocate(Src.Width, Src.Height, Src.IsColour ? 0 : Src.DataType, Src.IsColour);
  const std::size_t n = std::size_t(Src.PixelCount());
  if (Src.IsColour)
    std::copy(Src.RGBPlane, Src.RGBPlane + n, out->RGBPlane);
  else
    std::copy(Src.Pixels, Src.Pixels + n, out->Pixels);
  TDataImage& src = const_cast<TDataImage&>(Src);
  if (Src.IsColour)
    ColCustomFilter(K, *out, src);
  else
    CustomFilter(K, *out, src);
  return out;
}

bool Same(const TDataImage& A, const TDataImage& B) {
  if (A.Width != B.Width || A.Height != B.Height || A.IsColour != B.IsColour) return false;
  for (int y = 0; y < A.Height; ++y)
    for (int x = 0; x < A.Width; ++x) {
      if (A.IsColour) {
        TRGBPixel a, b;
        A.GetRGB(x, y, a);
        B.GetRGB(x, y, b);
        if (a.Red != b.Red || a.Green != b.Green || a.Blue != b.Blue) return false;
      } else if (A.GetPixel(x, y) != B.GetPixel(x, y)) {
        return false;
      }
    }
  return true;
}
}  // namespace

TEST_F(CustomFilterDialog, PreviewsAndAppliesTypedKernels) {
  struct TCase {
    const char* Name;
    bool Colour;
    std::vector<QString> Typed;
    std::vector<float> Values;
  };
  const TCase cases[] = {
      {"sharpen", false, {"0", "-1", "0", "-1", "5", "-1", "0", "-1", "0"}, {0, -1, 0, -1, 5, -1, 0, -1, 0}},
      {"top right only", false, {"0", "0", "1", "0", "0", "0", "0", "0", "0"}, {0, 0, 1, 0, 0, 0, 0, 0, 0}},
      {"all zero", false, {"0", "0", "0", "0", "0", "0", "0", "0", "0"}, {0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"beyond the range", true, {"300", "0", "0", "0", "0.5", "0", "0", "0", "-999"}, {255, 0, 0, 0, 0.5f, 0, 0, 0, -255}},
      {"colour blur", true, {"1", "2", "1", "2", "4", "2", "1", "2", "1"}, {1, 2, 1, 2, 4, 2, 1, 2, 1}},
  };
  TChildForm* grey = GreyWindow(40, 30, 1, [](int x, int y) { return float((x * 37 + y * 101) % 1000); });
  TLUT table;
  for (int i = 0; i < 256; ++i) table[std::size_t(i)] = std::uint8_t(255 - i);
  grey->DataImage->SetLUT(table);
  TChildForm* colour = ColourWindow(30, 20, [](int x, int y) {
    return TRGBPixel{std::uint8_t(x * 8), std::uint8_t((x * y) % 256), std::uint8_t(y * 12)};
  });
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TChildForm* source = c.Colour ? colour : grey;
    Form->MDIArea()->setActiveSubWindow(source);
    const TFilterKernel kernel = Kernel(c.Values);
    ASSERT_TRUE(RunCommand("FilterCustom", [&](QDialog* d) {
      EXPECT_EQ(d->windowTitle(), QStringLiteral("Custom Filter Kernel"));
      TypeKernel(c.Typed);
      Settle(d);
      TfmePreview* preview = frmCustomFilter->fmePreview;
      ASSERT_TRUE(preview->HasImages());
      EXPECT_TRUE(Same(*preview->ResultImage, *Filtered(kernel, *preview->SourceImage)));
      ClickOK(d);
    }));
    TChildForm* result = Form->ActiveMDIChild();
    ASSERT_NE(result, source);
    EXPECT_EQ(result->Caption(), QStringLiteral("Custom Filter"));
    EXPECT_TRUE(Same(*result->DataImage, *Filtered(kernel, *source->DataImage)));
    // The display table is the source's, not reset.
    EXPECT_EQ(result->DataImage->LUT, source->DataImage->LUT);
    if (std::string(c.Name) == "top right only") {
      // The box of row 1, column 3 weighs the neighbour above and to the right.
      EXPECT_EQ(result->DataImage->GetPixel(10, 10), source->DataImage->GetPixel(11, 9));
      EXPECT_EQ(result->DataImage->GetPixel(0, 0), source->DataImage->GetPixel(0, 0));  // border kept
    }
  }
}

TEST_F(CustomFilterDialog, StoresReloadsAndDeletesKernels) {
  GreyWindow(20, 20, 0, [](int x, int y) { return float((x * y) % 200); });
  // Typing with a comma as the decimal separator still stores "0.5".
  const QLocale previous;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  ASSERT_TRUE(RunCommand("FilterCustom", [&](QDialog*) {
    EXPECT_TRUE(Items().isEmpty());
    TypeKernel({"0", "-1", "0", "-1", "5", "-1", "0", "-1", "0"});
    Type(frmCustomFilter->edtName, QStringLiteral("Sharpen"));
    Click(frmCustomFilter->btnAdd);
    EXPECT_TRUE(frmCustomFilter->edtName->text().isEmpty());
    EXPECT_EQ(Items(), QStringList{QStringLiteral("Sharpen")});
    TypeKernel({"1", "0", "0", "0", "0,5", "0", "0", "0", "-2"});
    Type(frmCustomFilter->edtName, QStringLiteral("edge"));
    Click(frmCustomFilter->btnAdd);
    // Listed as the registry lists, case ignored; the last entry is chosen,
    // which is not the one just saved.
    EXPECT_EQ(Items(), QStringList({QStringLiteral("edge"), QStringLiteral("Sharpen")}));
    EXPECT_EQ(frmCustomFilter->cmbCustom->currentText(), QStringLiteral("Sharpen"));
    // An empty name or one that would make nested keys is refused.
    Boxes.clear();
    Type(frmCustomFilter->edtName, QString());
    Click(frmCustomFilter->btnAdd);
    Type(frmCustomFilter->edtName, QStringLiteral("a\\b"));
    Click(frmCustomFilter->btnAdd);
    EXPECT_EQ(Boxes.size(), 2u);
    EXPECT_EQ(Items().size(), 2);
  }));
  QLocale::setDefault(previous);
  EXPECT_EQ(Stored(QStringLiteral("Sharpen"), QStringLiteral("Filter")), QStringLiteral("0,-1,0,-1,5,-1,0,-1,0"));
  EXPECT_EQ(Stored(QStringLiteral("Sharpen"), QStringLiteral("Name")), QStringLiteral("Sharpen"));
  EXPECT_EQ(Stored(QStringLiteral("edge"), QStringLiteral("Filter")), QStringLiteral("1,0,0,0,0.5,0,0,0,-2"));
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(QLatin1Char('\\') + FiltersKey, false));
    EXPECT_TRUE(reg.GetValueNames().isEmpty());  // only kernels' keys under "Filters"
    // A damaged kernel with eight numbers, written by hand.
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("Broken"), true));
    reg.WriteString(QStringLiteral("Name"), QStringLiteral("Broken"));
    reg.WriteString(QStringLiteral("Filter"), QStringLiteral("1,2,3,4,5,6,7,8"));
  }

  // The program starts again: the boxes are new, the kernels are stored.
  FreeProcessingForms2();
  CreateProcessingForms2(Form.get());
  ASSERT_TRUE(RunCommand("FilterCustom", [&](QDialog* d) {
    EXPECT_EQ(Items(), QStringList({QStringLiteral("Broken"), QStringLiteral("edge"), QStringLiteral("Sharpen")}));
    EXPECT_EQ(frmCustomFilter->cmbCustom->currentIndex(), -1);
    Pick(frmCustomFilter->cmbCustom, QStringLiteral("edge"));
    Settle(d);
    EXPECT_EQ(BoxTexts(), std::vector<QString>({"1", "0", "0", "0", "0.5", "0", "0", "0", "-2"}));
    Boxes.clear();
    // Broken: the warning comes after seven boxes are set; the last two keep theirs.
    Pick(frmCustomFilter->cmbCustom, QStringLiteral("Broken"));
    EXPECT_EQ(BoxTexts(), std::vector<QString>({"1", "2", "3", "4", "5", "6", "7", "0", "-2"}));
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Type, TMsgDlgType::mtWarning);
    EXPECT_EQ(Boxes[0].Text, QStringLiteral("The current filter is invalid.  It may be damaged or currupt."));
    Pick(frmCustomFilter->cmbCustom, QStringLiteral("Sharpen"));
    Settle(d);
    EXPECT_EQ(BoxTexts(), std::vector<QString>({"0", "-1", "0", "-1", "5", "-1", "0", "-1", "0"}));
    // The preview follows the loaded kernel.
    TfmePreview* preview = frmCustomFilter->fmePreview;
    EXPECT_TRUE(Same(*preview->ResultImage, *Filtered(Kernel({0, -1, 0, -1, 5, -1, 0, -1, 0}), *preview->SourceImage)));

    // Saving under a name that differs only in case replaces that kernel.
    TypeKernel({"0", "0", "0", "0", "1", "0", "0", "0", "0"});
    Type(frmCustomFilter->edtName, QStringLiteral("SHARPEN"));
    Click(frmCustomFilter->btnAdd);
    EXPECT_EQ(Items(), QStringList({QStringLiteral("Broken"), QStringLiteral("edge"), QStringLiteral("Sharpen")}));
    EXPECT_EQ(Stored(QStringLiteral("Sharpen"), QStringLiteral("Filter")), QStringLiteral("0,0,0,0,1,0,0,0,0"));

    // Deleting: the list was rebuilt with nothing chosen, so nothing goes.
    frmCustomFilter->cmbCustom->setCurrentIndex(-1);
    Boxes.clear();
    Click(frmCustomFilter->btnDelete);
    EXPECT_EQ(Items().size(), 3);
    Pick(frmCustomFilter->cmbCustom, QStringLiteral("Broken"));
    const std::vector<QString> before = BoxTexts();
    Boxes.clear();
    Click(frmCustomFilter->btnDelete);
    EXPECT_TRUE(Boxes.empty());
    EXPECT_EQ(Items(), QStringList({QStringLiteral("edge"), QStringLiteral("Sharpen")}));
    EXPECT_EQ(frmCustomFilter->cmbCustom->currentIndex(), -1);
    // The boxes keep their values.
    EXPECT_EQ(BoxTexts(), before);
  }));
  TRegistry reg;
  EXPECT_TRUE(reg.KeyExists(QLatin1Char('\\') + FiltersKey));
  EXPECT_FALSE(reg.KeyExists(QLatin1Char('\\') + FiltersKey + QStringLiteral("\\Broken")));
  EXPECT_TRUE(reg.KeyExists(QLatin1Char('\\') + FiltersKey + QStringLiteral("\\edge")));
}
