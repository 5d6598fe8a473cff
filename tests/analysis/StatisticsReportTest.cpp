#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include "AnalysisTestUtil.h"
#include "analysis/StatisticsFormEx.h"
#include "analysis/StatisticsImagesForm.h"
#include "platform/FileDialog.h"
#include "platform/Registry.h"

namespace {
class StatisticsReportTest : public AnalysisTest {
 protected:
  QTreeWidget* List() const { return frmStatisticsResults->lstStatistics; }
  QStringList Row(int I) const {
    QStringList cells;
    const QTreeWidgetItem* item = List()->topLevelItem(I);
    if (!item) return cells;
    for (int c = 0; c < 9; ++c) cells << item->text(c);
    return cells;
  }
  // 4 x 2 pixels holding 1 .. 8 row by row.
  TChildForm* OneToEight(const QString& Caption = QStringLiteral("Grey")) {
    return GreyWindow(4, 2, 3, [](int x, int y) { return float(1 + x + 4 * y); }, Caption);
  }
  QString Saved(const QString& Name) {
    auto previous = TFileDialog::SetHook([Name](TFileDialog& D) {
      D.FileName = Name;
      return true;
    });
    frmStatisticsResults->SaveAs1->trigger();
    TFileDialog::SetHook(previous);
    QFile f(Name + QStringLiteral(".txt"));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
  }
};
}  // namespace

TEST_F(StatisticsReportTest, RowsOfImagesAndAreasAsTheUserSeesThem) {
  // Worked examples: 1..8 have sum 36, mean 4.5 and a population standard
  // deviation of sqrt(5.25); the area 2, 3, 6, 7 has sqrt(4.25).
  struct {
    const char* Command;
    QPoint From, To;  // the region dragged first (none when equal)
    QStringList Cells;
  } cases[] = {
      {"StatisticsImageStats", {}, {}, {"Grey", "4 x 2", "8", "36.000", "4.500", "2.291", "1.000", "8.000", "*"}},
      {"StatisticsAreaStats", {1, 0}, {2, 1},
       {"Grey", "2 x 2", "4", "18.000", "4.500", "2.062", "2.000", "7.000", "[1, 0] - [2, 1]"}},
      {"StatisticsAreaStats", {3, 1}, {0, 0},
       {"Grey", "4 x 2", "8", "36.000", "4.500", "2.291", "1.000", "8.000", "[0, 0] - [3, 1]"}},
  };
  TChildForm* w = OneToEight();
  int rows = 0;
  for (const auto& c : cases) {
    if (c.From != c.To) DragRegion(w, c.From, c.To);
    Command(c.Command);
    ASSERT_EQ(List()->topLevelItemCount(), ++rows) << c.Command;
    EXPECT_EQ(Row(rows - 1), c.Cells) << c.Command;
  }
  EXPECT_TRUE(frmStatisticsResults->isVisible());
  EXPECT_EQ(frmStatisticsResults->windowTitle(), QStringLiteral("Image Statistics"));
  EXPECT_TRUE(Boxes.empty());

  // Ties at the fourth decimal round away from zero: 0 and 0.001 have the
  // mean 0.0005 and the deviation 0.0005.
  GreyWindow(2, 1, 3, [](int x, int) { return x * 0.001f; }, QStringLiteral("Tiny"));
  Command("StatisticsImageStats");
  EXPECT_EQ(Row(rows), (QStringList{"Tiny", "2 x 1", "2", "0.001", "0.001", "0.001", "0.000", "0.001", "*"}));

  // Colour: red, green, blue in that order, each channel on its own.
  ColourWindow(2, 1, [](int x, int) { return TRGBPixel{std::uint8_t(30 + x * 4), std::uint8_t(20 + x * 2), std::uint8_t(10 + x)}; },
               QStringLiteral("Col"));
  Command("StatisticsImageStats");
  ASSERT_EQ(List()->topLevelItemCount(), rows + 4);
  EXPECT_EQ(Row(rows + 1), (QStringList{"Col - Red", "2 x 1", "2", "21.000", "10.500", "0.500", "10.000", "11.000", "*"}));
  EXPECT_EQ(Row(rows + 2), (QStringList{"Col - Green", "2 x 1", "2", "42.000", "21.000", "1.000", "20.000", "22.000", "*"}));
  EXPECT_EQ(Row(rows + 3), (QStringList{"Col - Blue", "2 x 1", "2", "64.000", "32.000", "2.000", "30.000", "34.000", "*"}));
}

TEST_F(StatisticsReportTest, NoRegionWarnsAndHidesTheReport) {
  TChildForm* w = OneToEight();
  Command("StatisticsImageStats");
  ASSERT_TRUE(frmStatisticsResults->isVisible());
  // A click without a drag leaves no region.
  DragRegion(w, {2, 1}, {2, 1});
  for (const char* command : {"StatisticsAreaStats", "StatisticsAreaHisto"}) {
    Boxes.clear();
    Command(command);
    ASSERT_EQ(Boxes.size(), 1u) << command;
    EXPECT_EQ(Boxes[0].Type, TMsgDlgType::mtWarning);
    EXPECT_EQ(Boxes[0].Text, QStringLiteral("There is no region of interest currently defined."));
  }
  EXPECT_FALSE(frmStatisticsResults->isVisible());
  EXPECT_EQ(List()->topLevelItemCount(), 1);
  Command("StatisticsResults");
  EXPECT_TRUE(frmStatisticsResults->isVisible());
}

TEST_F(StatisticsReportTest, SavedFileHasTheFixedColumns) {
  QTemporaryDir dir;
  TChildForm* w = OneToEight(QStringLiteral("A caption longer than 25 chars"));
  Command("StatisticsImageStats");
  DragRegion(w, {1, 0}, {2, 1});
  Command("StatisticsAreaStats");
  auto p = [](const char* T, int N) { return QString::fromLatin1(T).leftJustified(N, QLatin1Char(' ')); };
  const QString header = p("Image", 25) + p("Dimensions", 15) + p("Pixels", 15) + p("Sum", 15) + p("Mean", 15) +
                         p("Std. Dev.", 15) + p("Min", 15) + p("Max", 15) + p("Area", 15);
  ASSERT_EQ(header.size(), 145);
  const QString expected = QStringLiteral("\r\nCorvelle Image Statistics Report - ") +
                           QLocale().toString(QDate::currentDate(), QLocale::ShortFormat) + QStringLiteral("\r\n\r\n") +
                           header + QStringLiteral("\r\n") + QString(138, QLatin1Char('-')) + QStringLiteral("\r\n") +
                           // two decimals everywhere, pixel counts included; long captions are not cut
                           QStringLiteral("A caption longer than 25 chars") + p("4 x 2", 15) + p("8.00", 15) +
                           p("36.00", 15) + p("4.50", 15) + p("2.29", 15) + p("1.00", 15) + p("8.00", 15) + p("*", 15) +
                           QStringLiteral("\r\n") + QStringLiteral("A caption longer than 25 chars") + p("2 x 2", 15) +
                           p("4.00", 15) + p("18.00", 15) + p("4.50", 15) + p("2.06", 15) + p("2.00", 15) +
                           p("7.00", 15) + p("[1, 0] - [2, 1]", 15) + QStringLiteral("\r\n");
  // The dialog adds ".txt" to a bare name.
  EXPECT_EQ(Saved(dir.filePath("report")), expected);

  // A row cut short by "* ERROR *" stops the file at that row, with the error shown.
  auto* broken = new QTreeWidgetItem(List());
  broken->setText(0, QStringLiteral("* ERROR *"));
  Boxes.clear();
  const QString partial = Saved(dir.filePath("broken"));
  EXPECT_TRUE(partial.startsWith(expected)) << partial.toStdString();
  EXPECT_EQ(partial.size(), expected.size());
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0].Type, TMsgDlgType::mtError);
  EXPECT_TRUE(Boxes[0].Text.contains(QStringLiteral("is not a valid floating point value")));
}

TEST_F(StatisticsReportTest, PrintTwoCopiesInOneJob) {
  QTemporaryDir dir;
  OneToEight();
  Command("StatisticsImageStats");
  const QString pdf = dir.filePath("report.pdf");
  PrintToPdf(pdf, 2);
  frmStatisticsResults->Print1->trigger();
  EXPECT_EQ(PdfPages(pdf), 2);
  const QString text = RunTool(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
  EXPECT_EQ(text.count(QStringLiteral("Corvelle Image Statistics Report")), 2);
  EXPECT_EQ(text.count(QStringLiteral("36.00")), 2);
  // "Courier", a fixed-pitch face, keeps the columns aligned.
  EXPECT_TRUE(RunTool(QStringLiteral("pdffonts"), {pdf}).contains(QStringLiteral("Mono"))) << "no fixed-pitch font";
  // Cancel prints nothing.
  QFile::remove(pdf);
  PrintDialog::SetHook([](QPrinter&) { return false; });
  frmStatisticsResults->Print1->trigger();
  EXPECT_FALSE(QFile::exists(pdf));
}

TEST_F(StatisticsReportTest, DeleteItemAndDeleteAllAfterAsking) {
  OneToEight();
  for (int i = 0; i < 3; ++i) Command("StatisticsImageStats");
  List()->topLevelItem(0)->setText(0, QStringLiteral("first"));
  List()->setCurrentItem(List()->topLevelItem(0));
  frmStatisticsResults->DeleteItem1->trigger();
  ASSERT_EQ(List()->topLevelItemCount(), 2);
  EXPECT_EQ(List()->topLevelItem(0)->text(0), QStringLiteral("Grey"));
  struct {
    int Answer;
    int Left;
  } cases[] = {{mrNo, 2}, {mrYes, 0}};
  for (const auto& c : cases) {
    Boxes.clear();
    Answers = {c.Answer};
    frmStatisticsResults->DeleteAllItems1->trigger();
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, QStringLiteral("Are you sure you want to delete all items in this report?"));
    EXPECT_EQ(Boxes[0].Buttons, unsigned(mbYesNo));
    EXPECT_EQ(List()->topLevelItemCount(), c.Left);
  }
  // Nothing selected: nothing deleted.
  Command("StatisticsImageStats");
  List()->clearSelection();
  frmStatisticsResults->DeleteItem1->trigger();
  EXPECT_EQ(List()->topLevelItemCount(), 1);
}

TEST_F(StatisticsReportTest, PickerAddsGreysBeforeColours) {
  OneToEight(QStringLiteral("G1"));
  ColourWindow(2, 1, [](int, int) { return TRGBPixel{1, 2, 3}; }, QStringLiteral("C1"));
  GreyWindow(1, 1, 0, [](int, int) { return 5.0f; }, QStringLiteral("G2"));
  struct TStep {
    QPushButton* TfrmStatisticsImages::*Button;
    std::vector<int> SelectSource, SelectDest;
    QStringList Source, Dest;
    bool Add, AddAll, Remove, RemoveAll;
  };
  // The document windows in order: the latest active first.
  const std::vector<TStep> steps = {
      {nullptr, {}, {}, {"G2", "C1", "G1"}, {}, true, true, false, false},
      {&TfrmStatisticsImages::btnAdd, {1}, {}, {"G2", "G1"}, {"C1"}, true, true, true, true},
      {&TfrmStatisticsImages::btnAddAll, {}, {}, {}, {"C1", "G2", "G1"}, false, false, true, true},
      {&TfrmStatisticsImages::btnRemove, {}, {0, 2}, {"C1", "G1"}, {"G2"}, true, true, true, true},
      // Entries move to the end of the other list, in their order.
      {&TfrmStatisticsImages::btnRemoveAll, {}, {}, {"C1", "G1", "G2"}, {}, true, true, false, false},
      {&TfrmStatisticsImages::btnAddAll, {}, {}, {}, {"C1", "G1", "G2"}, false, false, true, true},
  };
  auto texts = [](QListWidget* L) {
    QStringList t;
    for (int i = 0; i < L->count(); ++i) t << L->item(i)->text();
    return t;
  };
  bool ran = false;
  OnModal([&](QWidget* d) {
    ASSERT_EQ(d, frmStatisticsImages);
    TfrmStatisticsImages* f = frmStatisticsImages;
    for (const TStep& s : steps) {
      for (int i : s.SelectSource) f->lstSource->item(i)->setSelected(true);
      for (int i : s.SelectDest) f->lstDest->item(i)->setSelected(true);
      if (s.Button) QTest::mouseClick(f->*s.Button, Qt::LeftButton);
      EXPECT_EQ(texts(f->lstSource), s.Source);
      EXPECT_EQ(texts(f->lstDest), s.Dest);
      EXPECT_EQ(f->btnAdd->isEnabled(), s.Add);
      EXPECT_EQ(f->btnAddAll->isEnabled(), s.AddAll);
      EXPECT_EQ(f->btnRemove->isEnabled(), s.Remove);
      EXPECT_EQ(f->btnRemoveAll->isEnabled(), s.RemoveAll);
    }
    ran = true;
    QTest::mouseClick(f->OKButton(), Qt::LeftButton);
  });
  Command("StatisticsImagesStats");
  ASSERT_TRUE(ran);
  EXPECT_FALSE(frmStatisticsImages->isVisible());
  QStringList names;
  for (int i = 0; i < List()->topLevelItemCount(); ++i) names << List()->topLevelItem(i)->text(0);
  EXPECT_EQ(names, (QStringList{"G1", "G2", "C1 - Red", "C1 - Green", "C1 - Blue"}));
  EXPECT_EQ(Row(0), (QStringList{"G1", "4 x 2", "8", "36.000", "4.500", "2.291", "1.000", "8.000", "*"}));
  EXPECT_EQ(Row(2)[3], QStringLiteral("6.000"));  // red 3 + 3
  EXPECT_TRUE(frmStatisticsResults->isVisible());
}

TEST_F(StatisticsReportTest, PickerWithoutImagesShowsAnEmptyReport) {
  bool addEnabled = false;
  OnModal([&](QWidget*) {
    addEnabled = frmStatisticsImages->btnAdd->isEnabled() && frmStatisticsImages->btnAddAll->isEnabled() &&
                 !frmStatisticsImages->btnRemove->isEnabled();
    QTest::mouseClick(frmStatisticsImages->OKButton(), Qt::LeftButton);
  });
  // Without images the command is disabled in the menu; the dialog itself still works.
  frmStatisticsImages->ShowModal();
  EXPECT_TRUE(addEnabled);
  EXPECT_TRUE(frmStatisticsResults->isVisible());
  EXPECT_EQ(List()->topLevelItemCount(), 0);
}

TEST_F(StatisticsReportTest, MainWindowKeepsTheReportsBounds) {
  const QString key = QStringLiteral("Software\\Quorvath\\Corvelle Image\\2.0ZUL\\Application");
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(key, true));
  reg.CloseKey();
  frmStatisticsResults->setGeometry(40, 60, 500, 210);
  frmStatisticsResults->ShowReport();
  Form->SaveSettings();
  ASSERT_TRUE(reg.OpenKey(key, false));
  EXPECT_EQ(reg.ReadInteger(QStringLiteral("SRVisible")), 1);
  EXPECT_EQ(reg.ReadInteger(QStringLiteral("SRWidth")), frmStatisticsResults->width());
  EXPECT_EQ(reg.ReadInteger(QStringLiteral("SRHeight")), frmStatisticsResults->height());
  EXPECT_GT(reg.ReadInteger(QStringLiteral("SRWidth")), 0);
}
