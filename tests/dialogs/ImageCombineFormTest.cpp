// The "Combine" dialog driven through Process > Combine: its pickers, the
// five methods on windows and on FITS files, and its refusals.
#include <QButtonGroup>
#include <QListWidget>
#include <QRadioButton>
#include <cstring>

#include "dialogs/ImageCombineForm.h"
#include "dialogs/RestorationTestUtil.h"
#include "engine/ImageCombine.h"

namespace {

QStringList Items(const QListWidget* List) {
  QStringList s;
  for (int i = 0; i < List->count(); ++i) s << List->item(i)->text();
  return s;
}

QString Buttons(QWidget* D) {
  QString s;
  for (const char* name : {"btnAdd", "btnAddAll", "btnRemove", "btnClear"})
    s += D->findChild<QPushButton*>(QString::fromLatin1(name))->isEnabled() ? QLatin1Char('1') : QLatin1Char('0');
  return s;
}

void SelectRows(QListWidget* List, std::initializer_list<int> Rows) {
  List->clearSelection();
  for (int r : Rows) List->item(r)->setSelected(true);
}

void ChooseMethod(QWidget* D, int Method) {
  // On the round button itself, at the left of the caption.
  auto* r = D->findChild<QRadioButton*>(QStringLiteral("rdoMethod%1").arg(Method));
  QTest::mouseClick(r, Qt::LeftButton, {}, QPoint(6, r->height() / 2));
  ASSERT_TRUE(r->isChecked());
}

}  // namespace

class ImageCombineFormTest : public RestorationTest {};

TEST_F(ImageCombineFormTest, PickerListsFollowTheButtons) {
  GreyWindow(4, 4, 3, [](int, int) { return 1.0f; }, QStringLiteral("A"));
  ColourWindow(4, 4, [](int, int) { return TRGBPixel{1, 2, 3}; }, QStringLiteral("C"));
  GreyWindow(4, 4, 1, [](int, int) { return 2.0f; }, QStringLiteral("B"));
  GreyWindow(4, 4, 0, [](int, int) { return 3.0f; }, QStringLiteral("D"));
  const QString f1 = Dir.filePath(QStringLiteral("one.fts")), f2 = Dir.filePath(QStringLiteral("two.fits"));
  FileAnswers = {{f1, f2}};

  // Each step: what the user does, then the two lists and Add, Add All,
  // Remove, Remove All as the user sees them.
  struct TStep {
    const char* What;
    std::function<void(QWidget*, QListWidget*, QListWidget*)> Do;
    QStringList Source, Dest;
    const char* Enabled;
  };
  const std::vector<TStep> steps = {
      // Newest window first; the colour window is never offered.
      {"shown", nullptr, {"D", "B", "A"}, {}, "1100"},
      {"add the second and third",
       [](QWidget* d, QListWidget* s, QListWidget*) {
         SelectRows(s, {2, 1});
         Click(d, "btnAdd");
       },
       {"D"},
       {"B", "A"},
       "1111"},
      {"add all", [](QWidget* d, QListWidget*, QListWidget*) { Click(d, "btnAddAll"); }, {}, {"B", "A", "D"}, "0011"},
      {"remove the first",
       [](QWidget* d, QListWidget*, QListWidget* t) {
         SelectRows(t, {0});
         Click(d, "btnRemove");
       },
       {"B"},
       {"A", "D"},
       "1111"},
      // Files put the chosen windows back and leave only Remove All.
      {"files", [](QWidget* d, QListWidget*, QListWidget*) { Click(d, "btnFiles"); }, {"B", "A", "D"}, {f1, f2},
       "0001"},
      {"remove all files", [](QWidget* d, QListWidget*, QListWidget*) { Click(d, "btnClear"); }, {"B", "A", "D"}, {},
       "1100"},
      {"add all, remove all",
       [](QWidget* d, QListWidget*, QListWidget*) {
         Click(d, "btnAddAll");
         Click(d, "btnClear");
       },
       {"B", "A", "D"},
       {},
       "1100"},
  };
  RunCommand("ProcessCombine", [&](QWidget* d) {
    EXPECT_EQ(d->windowTitle(), QStringLiteral("Combine"));
    auto* src = d->findChild<QListWidget*>(QStringLiteral("lstSource"));
    auto* dst = d->findChild<QListWidget*>(QStringLiteral("lstDest"));
    for (const TStep& s : steps) {
      SCOPED_TRACE(s.What);
      if (s.Do) s.Do(d, src, dst);
      EXPECT_EQ(Items(src), s.Source);
      EXPECT_EQ(Items(dst), s.Dest);
      EXPECT_EQ(Buttons(d), QString::fromLatin1(s.Enabled));
    }
    Click(d, "btnCancel");
  });
  EXPECT_EQ(WindowCount(), 4);
  EXPECT_TRUE(Boxes.empty());
}

TEST_F(ImageCombineFormTest, WindowsCombineByEachMethod) {
  // Worked examples: 1, 5, 3 gives 9, 3, 3, 1, 5; four values 4, 1, 3, 2 have
  // the median 3 (the upper middle one); negative values leave the maximum at 0
  // and a single value below 2e32 sets the minimum.
  struct TCase {
    std::vector<float> Values;
    int Method;
    float Expected;
  };
  const std::vector<TCase> cases = {
      {{1, 5, 3}, cmAdd, 9},     {{1, 5, 3}, cmMean, 3},      {{1, 5, 3}, cmMedian, 3},
      {{1, 5, 3}, cmMinimum, 1}, {{1, 5, 3}, cmMaximum, 5},   {{4, 1, 3, 2}, cmMedian, 3},
      {{4, 1, 3, 2}, cmMean, 2.5f}, {{-4, -1}, cmMaximum, 0}, {{-4, -1}, cmMinimum, -4},
      {{0.1f, 0.2f}, cmAdd, float(double(0.1f) + double(0.2f))},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "method " << c.Method << ", " << c.Values.size() << " images");
    for (std::size_t k = 0; k < c.Values.size(); ++k) {
      // Pixel (1, 0) carries the case; the others differ per image so that a
      // mixed-up pixel order shows.
      const float v = c.Values[k];
      GreyWindow(3, 2, 3, [v, k](int x, int y) { return x == 1 && y == 0 ? v : float(10 * k + x + 3 * y); },
                 QStringLiteral("S%1").arg(k));
    }
    const int before = WindowCount();
    RunCommand("ProcessCombine", [&](QWidget* d) {
      Click(d, "btnAddAll");
      ChooseMethod(d, c.Method);
      Click(d, "btnOK");
    });
    ASSERT_EQ(WindowCount(), before + 1);
    TChildForm* result = Form->ActiveMDIChild();
    EXPECT_EQ(result->Caption(), QStringLiteral("Combine"));
    const TDataImage& im = *result->DataImage;
    ASSERT_EQ(im.Width, 3);
    ASSERT_EQ(im.Height, 2);
    EXPECT_EQ(im.DataType, 3);
    EXPECT_FALSE(im.IsColour);
    EXPECT_TRUE(result->Modified);
    EXPECT_EQ(im.GetPixel(1, 0), c.Expected);
    // Display range from the result itself.
    float lo = 2.0e32f, hi = 0.0f;
    for (int i = 0; i < 6; ++i) {
      lo = std::min(lo, im.Pixels[i]);
      hi = std::max(hi, im.Pixels[i]);
    }
    EXPECT_EQ(im.BlackPoint, lo);
    EXPECT_EQ(im.WhitePoint, hi);
    for (TChildForm* child : Form->MDIChildren()) {
      child->setAttribute(Qt::WA_DeleteOnClose, false);
      delete child;
    }
  }
  EXPECT_TRUE(Boxes.empty());
}

TEST_F(ImageCombineFormTest, FivePointsFilesMatchNumpy) {
  const int n = 5, w = 37, h = 23;
  ASSERT_TRUE(Oracle("series.py", Dir.path().toStdString() + " 5 37 23 7")) << "python3 with numpy and astropy";
  QStringList files;
  for (int k = 0; k < n; ++k) files << Dir.filePath(QStringLiteral("f%1.fits").arg(k));
  GreyWindow(4, 4, 3, [](int, int) { return 1.0f; }, QStringLiteral("Unused"));
  const char* const names[] = {"add", "mean", "median", "minimum", "maximum"};
  for (int method = 0; method < 5; ++method) {
    SCOPED_TRACE(names[method]);
    FileAnswers = {files};
    RunCommand("ProcessCombine", [&](QWidget* d) {
      Click(d, "btnFiles");
      ChooseMethod(d, method);
      Click(d, "btnOK");
    });
    TChildForm* result = Form->ActiveMDIChild();
    ASSERT_EQ(result->Caption(), QStringLiteral("Combine"));
    const TDataImage& im = *result->DataImage;
    ASSERT_EQ(im.Width, w);
    ASSERT_EQ(im.Height, h);
    const std::vector<float> want = ReadFloats(Dir.filePath(QString::fromLatin1(names[method]) + ".f32"));
    ASSERT_EQ(want.size(), std::size_t(w * h));
    int wrong = 0;
    for (int i = 0; i < w * h; ++i) wrong += std::memcmp(&want[std::size_t(i)], &im.Pixels[i], 4) != 0;
    EXPECT_EQ(wrong, 0);
  }
  EXPECT_TRUE(Boxes.empty());
}

TEST_F(ImageCombineFormTest, RefusalsKeepTheDialogOpenAndMakeNoWindow) {
  ASSERT_TRUE(Oracle("series.py", Dir.path().toStdString() + " 2 8 6 3"));
  QTemporaryDir other;
  ASSERT_TRUE(Oracle("series.py", other.path().toStdString() + " 1 8 7 3"));
  const QString a = Dir.filePath(QStringLiteral("f0.fits")), b = Dir.filePath(QStringLiteral("f1.fits"));
  const QString taller = other.filePath(QStringLiteral("f0.fits"));
  const QString missing = Dir.filePath(QStringLiteral("none.fits"));
  const QString empty = Dir.filePath(QStringLiteral("empty.fits"));
  { std::ofstream(empty.toStdString()); }
  // A file whose header promises more data than it holds.
  const QString cut = Dir.filePath(QStringLiteral("cut.fits"));
  {
    std::ifstream in(a.toStdString(), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    std::ofstream(cut.toStdString(), std::ios::binary) << bytes.substr(0, 2880 + 20);
  }
  GreyWindow(8, 6, 3, [](int, int) { return 1.0f; }, QStringLiteral("Small"));
  GreyWindow(8, 7, 3, [](int, int) { return 1.0f; }, QStringLiteral("Tall"));

  struct TCase {
    const char* What;
    QStringList Files;  // empty: combine the open windows
    QString Message;
  };
  const std::vector<TCase> cases = {
      {"one file", {a}, "There must be two or more images selected."},
      {"sizes differ", {a, b, taller}, "All images must have the same dimensions. Image " + taller +
                                           " is a different size."},
      {"missing file", {a, missing}, "Could not open file " + missing + "."},
      {"empty file", {empty, a}, "Could not open file " + empty + "."},
      {"short data", {a, cut}, "Could not open file " + cut + ".  The file ends before all of its image data."},
      {"windows of two sizes", {}, "All images must have the same dimensions. Image Small is a different size."},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    Boxes.clear();
    const int before = WindowCount();
    bool stillOpen = false;
    if (!c.Files.isEmpty()) FileAnswers = {c.Files};
    RunCommand("ProcessCombine", [&](QWidget* d) {
      Click(d, c.Files.isEmpty() ? "btnAddAll" : "btnFiles");
      Click(d, "btnOK");
      stillOpen = d->isVisible();
      Click(d, "btnCancel");
    });
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(WindowCount(), before);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Type, TMsgDlgType::mtError);
    EXPECT_EQ(Boxes[0].Text, c.Message);
  }
  // With nothing chosen, OK says so too.
  Boxes.clear();
  RunCommand("ProcessCombine", [&](QWidget* d) { Click(d, "btnOK"); });
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0].Text, QStringLiteral("There must be two or more images selected."));
}
