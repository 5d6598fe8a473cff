// The results grid through its menu: saving as comma-separated values and
// text, clearing, printing; its bounds kept with the main window's settings.
#include <QAction>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QPrinter>
#include <QProcess>
#include <QTableWidget>
#include <cstdlib>

#include "PhotometryTestSupport.h"
#include "analysis/TextReport.h"
#include "engine/photometry.h"
#include "platform/FileDialog.h"

namespace {
struct TResult {
  QString Image;
  int No;
  double Mag;
  float X, Y;
  double Ref, Star, Sky;
  QStringList Cells() const {  // what the row shows
    const bool failed = Mag == FailedMeasure;
    return {QString::number(No), failed ? "#Error#" : Fmt(Mag), failed ? "#Error#" : Fmt((long double)Mag - Ref),
            Fmt(Star), Fmt(Sky), Fmt(X), Fmt(Y), Image};
  }
};

QByteArray ReadFile(const QString& Name) {
  QFile f(Name);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
}  // namespace

TEST_F(PhotometryTest, GridSavesCommaSeparatedValuesAndTextByExtension) {
  // 70 results, more than the grid's first 63 rows; one failed, one without a caption.
  std::vector<TResult> results;
  for (int i = 0; i < 70; ++i)
    results.push_back({QStringLiteral("frame%1.fts").arg(i / 10), i % 10, 10.0 + i * 0.0125, 12.25f + i,
                       30.5f + i / 3.0f, 11.0, 1234.5678 * (i + 1), 99.9995 + i});
  results[3].Mag = FailedMeasure;
  results[5].Image.clear();
  for (const TResult& r : results) frmPhotometryGrid->AddResult(r.Image, r.No, r.Mag, r.X, r.Y, r.Ref, r.Star, r.Sky);
  const auto rows = GridRows();
  ASSERT_EQ(rows.size(), results.size());
  for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i], results[i].Cells()) << i;

  QByteArray text = "\r\nCorvelle Image Photometry Results - " +
                    QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat).toUtf8() + "\r\n\r\n\r\n";
  QByteArray header;
  for (const char* h : {"Aperture", "Magnitude", "Mag. Diff.", "Star ADU", "Sky ADU", "Centroid X", "Centroid Y", "Image"})
    header += QByteArray(h).leftJustified(15);
  ASSERT_EQ(header.size(), 120);
  text += header + "\r\n" + QByteArray(113, '-') + "\r\n";
  QByteArray csv = "Aperture #,Magnitude,Mag. Difference,Star ADU,Sky ADU,Centroid X,Centroid Y,Image\r";
  for (const TResult& r : results) {
    for (const QString& cell : r.Cells()) text += cell.toUtf8().leftJustified(15);
    text += "\r\n";
    csv += r.Cells().join(',').toUtf8() + '\r';  // a row without a caption still ends its line
  }

  QTemporaryDir dir;
  const struct {
    const char* Name;
    QByteArray Expected;  // empty: no file
    const char* Warning;
  } cases[] = {{"r.csv", csv, nullptr}, {"r2.Csv", csv, nullptr}, {"r.TXT", text, nullptr},
               {"results", {}, "The photometry results were not saved."},
               {"no/such/dir/r.csv", {}, "The photometry results could not be saved"}};
  QString chosen;
  auto previous = TFileDialog::SetHook([&](TFileDialog& d) {
    d.FileName = chosen;
    return d.OverwritePrompt;
  });
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    Boxes.clear();
    chosen = dir.filePath(QString::fromLatin1(c.Name));
    frmPhotometryGrid->SaveAs1->trigger();
    EXPECT_EQ(ReadFile(chosen), c.Expected);
    EXPECT_EQ(QFileInfo::exists(chosen), !c.Expected.isEmpty());
    EXPECT_EQ(Boxes.size(), c.Warning ? 1u : 0u);
    EXPECT_TRUE(!c.Warning || Boxes.at(0).startsWith(QString::fromLatin1(c.Warning)));
  }
  TFileDialog::SetHook(previous);
}

TEST_F(PhotometryTest, GridPrintsCopiesInOneJobClearsWhenConfirmedAndKeepsItsBounds) {
  for (int i = 0; i < 3; ++i) frmPhotometryGrid->AddResult(QStringLiteral("a"), i, 12.0, 1, 2, 11.0, 100, 10);
  QTemporaryDir dir;
  std::vector<int> pages;
  int copies = 1;
  const QString pdf = dir.filePath(QStringLiteral("p.pdf"));
  auto previous = PrintDialog::SetHook([&](QPrinter& p) { return p.setOutputFileName(pdf), p.setCopyCount(copies), true; });
  for (copies = 1; copies <= 40; copies += 39) {
    frmPhotometryGrid->Print1->trigger();
    pages.push_back(int(ReadFile(pdf).count("/Type /Page\n")));
  }
  PrintDialog::SetHook(previous);
  ReportPrinter().setOutputFileName(QString());
  EXPECT_EQ(pages, std::vector<int>({1, 40}));  // one file, each copy of the nine lines on its own page

  Answers = {mrNo, mrYes};
  frmPhotometryGrid->Clearresults1->trigger();
  EXPECT_EQ(Boxes, std::vector<QString>{"Are you sure you want to clear the photometry results?"});
  EXPECT_EQ(GridRows().size(), 3u);
  frmPhotometryGrid->Clearresults1->trigger();
  EXPECT_TRUE(GridRows().empty() && frmPhotometryGrid->Cell(2, 7).isEmpty());
  frmPhotometryGrid->AddResult(QStringLiteral("b"), 4, 13.0, 1, 2, 11.0, 100, 10);
  const QStringList row = {"4", "13.000", "2.000", "100.000", "10.000", "1.000", "2.000", "b"};
  EXPECT_EQ(GridRows(), std::vector<QStringList>{row});

  // The main window keeps the grid's bounds with its settings.
  frmPhotometryGrid->show();
  frmPhotometryGrid->setGeometry(110, 130, 640, 300);
  Form->close();
  frmPhotometryGrid->hide();
  frmPhotometryGrid->resize(200, 100);
  Form->LoadSettings();
  EXPECT_TRUE(frmPhotometryGrid->isVisible() && frmPhotometryGrid->size() == QSize(640, 300));
}

TEST_F(PhotometryTest, GridTitlesStayInViewAndCaptionsWithCommasStayOneField) {
  const QStringList captions = {"M13, 60s", "say \"cheese\"", "plain.fts"};
  for (int i = 0; i < 70; ++i)
    frmPhotometryGrid->AddResult(captions[i % 3], i, 10.5, 1.5f + i, 2.0f, 10.0, 100.0 + i, 10.0);
  frmPhotometryGrid->show();
  frmPhotometryGrid->resize(760, 260);
  QTableWidget* grid = frmPhotometryGrid->Grid;
  grid->scrollToBottom();
  QCoreApplication::processEvents();
  // Scrolled to the last result, the titles still head the columns.
  QHeaderView* header = grid->horizontalHeader();
  EXPECT_TRUE(header->isVisible());
  EXPECT_TRUE(grid->isRowHidden(0));
  const QStringList titles = {"Aperture #", "Magnitude", "Mag. Difference", "Star ADU",
                              "Sky ADU",    "Centroid X", "Centroid Y",     "Image"};
  for (int c = 0; c < TfrmPhotometryGrid::ColCount; ++c) {
    ASSERT_TRUE(grid->horizontalHeaderItem(c));
    EXPECT_EQ(grid->horizontalHeaderItem(c)->text(), titles[c]);
    EXPECT_EQ(frmPhotometryGrid->Cell(0, c), titles[c]);
  }
  EXPECT_TRUE(grid->viewport()->rect().contains(grid->visualItemRect(grid->item(70, 0))));
  EXPECT_FALSE(grid->viewport()->rect().intersects(grid->visualItemRect(grid->item(1, 0))));
  if (const char* dir = std::getenv("CORVELLE_SCREENSHOT_DIR"))
    frmPhotometryGrid->grab().save(QDir(QString::fromLocal8Bit(dir)).filePath("photometry-grid.png"));

  // Python's csv reader takes the saved file back field for field.
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("r.csv"));
  ASSERT_TRUE(frmPhotometryGrid->SaveToFile(file));
  const QByteArray data = ReadFile(file);
  EXPECT_FALSE(data.contains('\n'));
  EXPECT_TRUE(data.contains("\"M13, 60s\"\r") && data.contains("\"say \"\"cheese\"\"\"\r"));
  QProcess python;
  python.start(QStringLiteral("/usr/bin/python3"),
               {QStringLiteral("-c"), QStringLiteral("import csv, json, sys\n"
                                                     "print(json.dumps(list(csv.reader(open(sys.argv[1], newline='')))))"),
                file});
  ASSERT_TRUE(python.waitForFinished(60000) && python.exitCode() == 0) << "python3's csv reader did not run";
  const QJsonArray rows = QJsonDocument::fromJson(python.readAllStandardOutput()).array();
  ASSERT_EQ(rows.size(), 71);
  for (int r = 0; r < rows.size(); ++r) {
    const QJsonArray fields = rows[r].toArray();
    ASSERT_EQ(fields.size(), TfrmPhotometryGrid::ColCount) << r;
    for (int c = 0; c < TfrmPhotometryGrid::ColCount; ++c)
      EXPECT_EQ(fields[c].toString(), frmPhotometryGrid->Cell(r, c)) << r << " " << c;
  }
}
