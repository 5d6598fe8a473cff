// Process > Combine: the pickers, the methods on windows and on FITS files
// against numpy, and the refusals.
#include <QListWidget>

#include "dialogs/RestorationTestUtil.h"
#include "engine/ImageCombine.h"

namespace {
QStringList Items(QWidget* D, const char* Name) {
  QStringList s;
  auto* l = D->findChild<QListWidget*>(QString::fromLatin1(Name));
  for (int i = 0; i < l->count(); ++i) s << l->item(i)->text();
  return s;
}
QString Enabled(QWidget* D) {
  QString s;
  for (const char* n : {"btnAdd", "btnAddAll", "btnRemove", "btnClear"})
    s += D->findChild<QPushButton*>(QString::fromLatin1(n))->isEnabled() ? QLatin1Char('1') : QLatin1Char('0');
  return s;
}
void Pump() { QApplication::processEvents(); }
void Select(QWidget* D, const char* List, std::initializer_list<int> Rows) {
  auto* l = D->findChild<QListWidget*>(QString::fromLatin1(List));
  l->clearSelection();
  for (int r : Rows) l->item(r)->setSelected(true);
}
}  // namespace

using ImageCombineFormTest = RestorationTest;

TEST_F(ImageCombineFormTest, PickerListsFollowTheButtons) {
  GreyWindow(4, 4, 3, [](int, int) { return 1.0f; }, QStringLiteral("A"));
  ColourWindow(4, 4, [](int, int) { return TRGBPixel{1, 2, 3}; }, QStringLiteral("C"));
  GreyWindow(4, 4, 1, [](int, int) { return 2.0f; }, QStringLiteral("B"));
  GreyWindow(4, 4, 0, [](int, int) { return 3.0f; }, QStringLiteral("D"));
  const QString f1 = File("one.fts"), f2 = File("two.fits");
  FileAnswers = {{f1, f2}};
  // What the user does, then both lists and Add, Add All, Remove, Remove All.
  struct TStep {
    std::function<void(QWidget*)> Do;
    QStringList Source, Dest;
    const char* Enabled;
  };
  const std::vector<TStep> steps = {
      {nullptr, {"D", "B", "A"}, {}, "1100"},  // newest first, never the colour window
      {[](QWidget* d) { Select(d, "lstSource", {2, 1}), Click(d, "btnAdd"); }, {"D"}, {"B", "A"}, "1111"},
      {[](QWidget* d) { Click(d, "btnAddAll"); }, {}, {"B", "A", "D"}, "0011"},
      {[](QWidget* d) { Select(d, "lstDest", {0}), Click(d, "btnRemove"); }, {"B"}, {"A", "D"}, "1111"},
      {[](QWidget* d) { Click(d, "btnFiles"); }, {"B", "A", "D"}, {f1, f2}, "0001"},
      {[](QWidget* d) { Click(d, "btnClear"); }, {"B", "A", "D"}, {}, "1100"},
      {[](QWidget* d) { Click(d, "btnAddAll"), Click(d, "btnClear"); }, {"B", "A", "D"}, {}, "1100"},
      {[](QWidget* d) { Select(d, "lstSource", {0, 2}), Click(d, "btnAdd"); }, {"A"}, {"B", "D"}, "1111"},
      // Brought back from the task bar, the dialog keeps what was chosen.
      {[](QWidget* d) { d->showMinimized(), Pump(), d->showNormal(), Pump(); }, {"A"}, {"B", "D"}, "1111"},
  };
  RunCommand("ProcessCombine", [&](QWidget* d) {
    EXPECT_EQ(d->windowTitle(), QStringLiteral("Combine"));
    for (std::size_t i = 0; i < steps.size(); ++i) {
      SCOPED_TRACE(testing::Message() << "step " << i);
      if (steps[i].Do) steps[i].Do(d);
      EXPECT_EQ(Items(d, "lstSource"), steps[i].Source);
      EXPECT_EQ(Items(d, "lstDest"), steps[i].Dest);
      EXPECT_EQ(Enabled(d), QString::fromLatin1(steps[i].Enabled));
    }
    Save(d->grab().toImage(), "combine.png");
    Click(d, "btnCancel");
  });
  EXPECT_EQ(WindowCount(), 4);
  EXPECT_TRUE(Boxes.empty());
}

TEST_F(ImageCombineFormTest, MethodsOnWindowsAndOnFilesGiveTheWorkedAndNumpyResults) {
  // Windows: 1, 5, 3 gives 9, 3, 3, 1, 5; 4, 1, 3, 2 has the upper middle 3
  // as median; negative values leave the maximum at its seed 0.
  struct TCase {
    std::vector<float> Values;
    int Method;
    float Expected;
  };
  const std::vector<TCase> cases = {{{1, 5, 3}, cmAdd, 9},     {{1, 5, 3}, cmMean, 3},    {{1, 5, 3}, cmMedian, 3},
                                    {{1, 5, 3}, cmMinimum, 1}, {{1, 5, 3}, cmMaximum, 5}, {{4, 1, 3, 2}, cmMedian, 3},
                                    {{-4, -1}, cmMaximum, 0},  {{-4, -1}, cmMinimum, -4}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "method " << c.Method << " of " << c.Values.size());
    CloseWindows();
    for (std::size_t k = 0; k < c.Values.size(); ++k)
      GreyWindow(3, 2, 3, [&, k](int x, int y) { return x == 1 && y == 0 ? c.Values[k] : float(10 * k + x + 3 * y); });
    RunCommand("ProcessCombine", [&](QWidget* d) {
      Click(d, "btnAddAll");
      Tick(Find<QRadioButton>(d, QStringLiteral("rdoMethod%1").arg(c.Method)));
      Click(d, "btnOK");
    });
    ASSERT_EQ(WindowCount(), int(c.Values.size()) + 1);
    const TDataImage& im = *Form->ActiveMDIChild()->DataImage;
    EXPECT_EQ(Form->ActiveMDIChild()->Caption(), QStringLiteral("Combine"));
    EXPECT_EQ(im.DataType, 3);
    EXPECT_EQ(im.GetPixel(1, 0), c.Expected);
    EXPECT_EQ(im.WhitePoint, *std::max_element(im.Pixels, im.Pixels + 6));
  }
  // Five files of BITPIX 16, 8 and -32 by each method, bit for bit.
  ASSERT_TRUE(Oracle("series.py", "5 37 23 7")) << "python3 with numpy and astropy";
  QStringList files;
  for (int k = 0; k < 5; ++k) files << File(QStringLiteral("f%1.fits").arg(k));
  const char* const names[] = {"add", "mean", "median", "minimum", "maximum"};
  for (int method = 0; method < 5; ++method) {
    FileAnswers = {files};
    RunCommand("ProcessCombine", [&](QWidget* d) {
      Click(d, "btnFiles");
      Tick(Find<QRadioButton>(d, QStringLiteral("rdoMethod%1").arg(method)));
      Click(d, "btnOK");
    });
    EXPECT_EQ(Differing(ReadFloats(QString::fromLatin1(names[method]) + ".f32"), *Form->ActiveMDIChild()->DataImage),
              0)
        << names[method];
  }
  EXPECT_TRUE(Boxes.empty());
}

TEST_F(ImageCombineFormTest, RefusalsKeepTheDialogOpenAndMakeNoWindow) {
  ASSERT_TRUE(Oracle("series.py", "2 8 6 3"));
  const QString a = File("f0.fits"), b = File("f1.fits"), missing = File("none.fits"), empty = File("empty.fits");
  std::ofstream(empty.toStdString()).put(' ');
  const QString cut = File("cut.fits"), tall = File("tall.fits");  // data cut short; one row more
  {
    std::ifstream in(a.toStdString(), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    std::ofstream(cut.toStdString(), std::ios::binary) << bytes.substr(0, 2900);
    const auto at = bytes.find("NAXIS2  =");
    bytes.replace(at + 29, 1, "7");
    std::ofstream(tall.toStdString(), std::ios::binary) << bytes << std::string(2880, '\0');
  }
  GreyWindow(8, 6, 3, [](int, int) { return 1.0f; }, QStringLiteral("Small"));
  GreyWindow(8, 7, 3, [](int, int) { return 1.0f; }, QStringLiteral("Tall"));
  const std::vector<std::pair<QStringList, QString>> cases = {
      {{a}, "There must be two or more images selected."},
      {{a, b, tall}, "All images must have the same dimensions. Image " + tall + " is a different size."},
      {{a, missing}, "Could not open file " + missing + ".  No such file or directory."},
      {{empty, a}, "Could not open file " + empty + "."},
      {{a, cut}, "Could not open file " + cut + ".  The file ends before all of its image data."},
      {{}, "All images must have the same dimensions. Image Small is a different size."},  // the windows
  };
  for (const auto& [files, message] : cases) {
    SCOPED_TRACE(message.toStdString());
    Boxes.clear();
    if (!files.isEmpty()) FileAnswers = {files};
    bool open = false;
    RunCommand("ProcessCombine", [&](QWidget* d) {
      Click(d, files.isEmpty() ? "btnAddAll" : "btnFiles");
      Click(d, "btnOK");
      open = d->isVisible();
    });
    EXPECT_TRUE(open);
    EXPECT_EQ(WindowCount(), 2);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Type, TMsgDlgType::mtError);
    EXPECT_EQ(Boxes[0].Text, message);
  }
}
