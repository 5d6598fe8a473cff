#include "AnalysisTestUtil.h"
#include "analysis/StatisticsFormEx.h"
#include "analysis/StatisticsImagesForm.h"
#include "platform/FileDialog.h"

namespace {
class StatisticsReportTest : public AnalysisTest {
 protected:
  QTreeWidget* List() const { return frmStatisticsResults->lstStatistics; }
  QStringList Row(int I) const {
    QStringList cells;
    if (const QTreeWidgetItem* item = List()->topLevelItem(I))
      for (int c = 0; c < 9; ++c) cells << item->text(c);
    return cells;
  }
  // 4 x 2 pixels holding 1 .. 8 row by row: sum 36, mean 4.5, population
  // standard deviation sqrt(5.25) = 2.2913.
  TChildForm* OneToEight(const QString& Caption = "Grey") {
    return GreyWindow(4, 2, 3, [](int x, int y) { return float(1 + x + 4 * y); }, Caption);
  }
  QString Saved(const QString& Name) {
    auto previous = TFileDialog::SetHook([Name](TFileDialog& D) { return D.FileName = Name, true; });
    frmStatisticsResults->SaveAs1->trigger();
    TFileDialog::SetHook(previous);
    QFile f(Name + ".txt");  // the dialog adds ".txt" to a bare name
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
  }
};
}  // namespace

TEST_F(StatisticsReportTest, RowsOfImagesAndAreasAsTheUserSeesThem) {
  const struct {
    std::function<TChildForm*()> Make;
    QPoint From, To;  // a region dragged first, when they differ
    const char* Command;
    std::vector<QStringList> Rows;
  } cases[] = {
      {[this] { return OneToEight(); }, {}, {}, "StatisticsImageStats",
       {{"Grey", "4 x 2", "8", "36.000", "4.500", "2.291", "1.000", "8.000", "*"}}},
      // 2, 3, 6, 7: deviation sqrt(4.25) = 2.0616
      {[this] { return OneToEight(); }, {1, 0}, {2, 1}, "StatisticsAreaStats",
       {{"Grey", "2 x 2", "4", "18.000", "4.500", "2.062", "2.000", "7.000", "[1, 0] - [2, 1]"}}},
      // 0 and 0.001: a mean and deviation of 0.0005 round away from zero.
      {[this] { return GreyWindow(2, 1, 3, [](int x, int) { return x * 0.001f; }, "Tiny"); }, {}, {}, "StatisticsImageStats",
       {{"Tiny", "2 x 1", "2", "0.001", "0.001", "0.001", "0.000", "0.001", "*"}}},
      {[this] { return ColourWindow(2, 1, [](int x, int) { return TRGBPixel{std::uint8_t(30 + 4 * x), std::uint8_t(20 + 2 * x), std::uint8_t(10 + x)}; }, "Col"); },
       {}, {}, "StatisticsImageStats",
       {{"Col - Red", "2 x 1", "2", "21.000", "10.500", "0.500", "10.000", "11.000", "*"},
        {"Col - Green", "2 x 1", "2", "42.000", "21.000", "1.000", "20.000", "22.000", "*"},
        {"Col - Blue", "2 x 1", "2", "64.000", "32.000", "2.000", "30.000", "34.000", "*"}}},
  };
  for (const auto& c : cases) {
    List()->clear();
    TChildForm* w = c.Make();
    if (c.From != c.To) DragRegion(w, c.From, c.To);
    Command(c.Command);
    ASSERT_EQ(List()->topLevelItemCount(), int(c.Rows.size())) << c.Command;
    for (int i = 0; i < int(c.Rows.size()); ++i) EXPECT_EQ(Row(i), c.Rows[std::size_t(i)]);
  }
  EXPECT_TRUE(frmStatisticsResults->isVisible());
  EXPECT_TRUE(Boxes.empty());
}

TEST_F(StatisticsReportTest, NoRegionWarnsAndHidesTheReport) {
  TChildForm* w = OneToEight();
  Command("StatisticsImageStats");
  DragRegion(w, {2, 1}, {2, 1});  // a click without a drag leaves no region
  for (const char* command : {"StatisticsAreaStats", "StatisticsAreaHisto"}) {
    Boxes.clear();
    Command(command);
    ASSERT_EQ(Boxes.size(), 1u) << command;
    EXPECT_EQ(Boxes[0].Text, "There is no region of interest currently defined.");
  }
  EXPECT_FALSE(frmStatisticsResults->isVisible());
  EXPECT_EQ(List()->topLevelItemCount(), 1);
}

TEST_F(StatisticsReportTest, SavedFileHasTheFixedColumns) {
  QTemporaryDir dir;
  TChildForm* w = OneToEight("A caption longer than 25 chars");
  Command("StatisticsImageStats");
  DragRegion(w, {1, 0}, {2, 1});
  Command("StatisticsAreaStats");
  auto p = [](const char* T, int N = 15) { return QString::fromLatin1(T).leftJustified(N, QLatin1Char(' ')); };
  const QString header = p("Image", 25) + p("Dimensions") + p("Pixels") + p("Sum") + p("Mean") + p("Std. Dev.") +
                         p("Min") + p("Max") + p("Area");
  ASSERT_EQ(header.size(), 145);
  // Two decimals everywhere, pixel counts included; a long caption is not cut.
  const QString expected =
      "\r\nCorvelle Image Statistics Report - " + QLocale().toString(QDate::currentDate(), QLocale::ShortFormat) +
      "\r\n\r\n" + header + "\r\n" + QString(138, QLatin1Char('-')) + "\r\nA caption longer than 25 chars" + p("4 x 2") +
      p("8.00") + p("36.00") + p("4.50") + p("2.29") + p("1.00") + p("8.00") + p("*") +
      "\r\nA caption longer than 25 chars" + p("2 x 2") + p("4.00") + p("18.00") + p("4.50") + p("2.06") + p("2.00") +
      p("7.00") + p("[1, 0] - [2, 1]") + "\r\n";
  EXPECT_EQ(Saved(dir.filePath("report")), expected);
  // A row cut short by "* ERROR *" stops the file there, and the error is shown.
  (new QTreeWidgetItem(List()))->setText(0, "* ERROR *");
  EXPECT_EQ(Saved(dir.filePath("broken")), expected);
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0].Type, TMsgDlgType::mtError);
  EXPECT_TRUE(Boxes[0].Text.contains("is not a valid floating point value"));
}

TEST_F(StatisticsReportTest, PrintTwoCopiesInOneJobThenDelete) {
  QTemporaryDir dir;
  OneToEight();
  for (int i = 0; i < 3; ++i) Command("StatisticsImageStats");
  PrintToPdf(dir.filePath("report.pdf"), 2);
  frmStatisticsResults->Print1->trigger();
  EXPECT_EQ(PdfInfo(dir.filePath("report.pdf"), "Pages"), "2");
  const QString text = RunTool("pdftotext", {dir.filePath("report.pdf"), "-"});
  EXPECT_EQ(text.count("Corvelle Image Statistics Report"), 2);
  EXPECT_EQ(text.count("36.00"), 6);
  // "Courier", a fixed-pitch face, keeps the columns aligned.
  EXPECT_TRUE(RunTool("pdffonts", {dir.filePath("report.pdf")}).contains("Mono"));

  List()->topLevelItem(0)->setText(0, "first");
  List()->setCurrentItem(List()->topLevelItem(0));
  frmStatisticsResults->DeleteItem1->trigger();
  ASSERT_EQ(List()->topLevelItemCount(), 2);
  EXPECT_EQ(List()->topLevelItem(0)->text(0), "Grey");
  for (const auto& [answer, left] : {std::pair{int(mrNo), 2}, std::pair{int(mrYes), 0}}) {
    Answers = {answer};
    frmStatisticsResults->DeleteAllItems1->trigger();
    EXPECT_EQ(Boxes.back().Text, "Are you sure you want to delete all items in this report?");
    EXPECT_EQ(Boxes.back().Buttons, unsigned(mbYesNo));
    EXPECT_EQ(List()->topLevelItemCount(), left);
  }
}

TEST_F(StatisticsReportTest, PickerAddsGreysBeforeColours) {
  OneToEight("G1");
  ColourWindow(2, 1, [](int, int) { return TRGBPixel{1, 2, 3}; }, "C1");
  GreyWindow(1, 1, 0, [](int, int) { return 5.0f; }, "G2");
  using TButton = QPushButton* TfrmStatisticsImages::*;
  const struct {
    TButton Button;
    std::vector<int> Source, Dest;  // rows selected first
    QStringList SourceAfter, DestAfter;
    bool Add, Remove;  // Add All and Remove All follow
  } steps[] = {
      // The document windows in order: the latest active first.
      {nullptr, {}, {}, {"G2", "C1", "G1"}, {}, true, false},
      {&TfrmStatisticsImages::btnAdd, {1}, {}, {"G2", "G1"}, {"C1"}, true, true},
      {&TfrmStatisticsImages::btnAddAll, {}, {}, {}, {"C1", "G2", "G1"}, false, true},
      {&TfrmStatisticsImages::btnRemove, {}, {0, 2}, {"C1", "G1"}, {"G2"}, true, true},
      {&TfrmStatisticsImages::btnRemoveAll, {}, {}, {"C1", "G1", "G2"}, {}, true, false},
      {&TfrmStatisticsImages::btnAddAll, {}, {}, {}, {"C1", "G1", "G2"}, false, true},
  };
  auto texts = [](QListWidget* L) {
    QStringList t;
    for (int i = 0; i < L->count(); ++i) t << L->item(i)->text();
    return t;
  };
  OnModal([&](QWidget*) {
    TfrmStatisticsImages* f = frmStatisticsImages;
    for (const auto& s : steps) {
      for (int i : s.Source) f->lstSource->item(i)->setSelected(true);
      for (int i : s.Dest) f->lstDest->item(i)->setSelected(true);
      if (s.Button) QTest::mouseClick(f->*s.Button, Qt::LeftButton);
      EXPECT_EQ(texts(f->lstSource), s.SourceAfter);
      EXPECT_EQ(texts(f->lstDest), s.DestAfter);
      EXPECT_EQ(f->btnAdd->isEnabled() && f->btnAddAll->isEnabled(), s.Add);
      EXPECT_EQ(f->btnRemove->isEnabled() && f->btnRemoveAll->isEnabled(), s.Remove);
    }
    QTest::mouseClick(f->OKButton(), Qt::LeftButton);
  });
  Command("StatisticsImagesStats");
  EXPECT_FALSE(frmStatisticsImages->isVisible());
  QStringList names;
  for (int i = 0; i < List()->topLevelItemCount(); ++i) names << List()->topLevelItem(i)->text(0);
  EXPECT_EQ(names, (QStringList{"G1", "G2", "C1 - Red", "C1 - Green", "C1 - Blue"}));
  EXPECT_EQ(Row(0), (QStringList{"G1", "4 x 2", "8", "36.000", "4.500", "2.291", "1.000", "8.000", "*"}));
  EXPECT_TRUE(frmStatisticsResults->isVisible());
}
