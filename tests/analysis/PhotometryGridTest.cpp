// The results grid through its menu: saving as comma-separated values and
// text, clearing, printing; its bounds kept with the main window's settings.
#include <QAction>
#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QPrinter>

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
