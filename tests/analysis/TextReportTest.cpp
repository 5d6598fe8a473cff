#include <gtest/gtest.h>

#include <QFile>
#include <QPrinter>
#include <QTemporaryDir>

#include "AnalysisTestUtil.h"
#include "analysis/TextReport.h"

namespace {
QByteArray ReadAll(const QString& Name) {
  QFile f(Name);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
}  // namespace

TEST(TextReport, CellsPaddedAndRoundedTheProgramsWay) {
  struct {
    const char* Cell;
    const char* Padded;  // PadFixed(CellToFloat(Cell), 15)
  } cases[] = {
      {"2.125", "2.13           "},  // a tie rounds away from zero
      {"2.135", "2.14           "},
      {"-2.125", "-2.13          "},
      {"100", "100.00         "},   // pixel counts get two decimals too
      {"0", "0.00           "},
      {"123456789012.345", "123456789012.35"},
      {"1234567890123.5", "1234567890123.50"},  // longer than 15: never cut
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PadFixed(CellToFloat(QString::fromLatin1(c.Cell)), 15), QString::fromLatin1(c.Padded)) << c.Cell;
  }
  EXPECT_EQ(PadRight(QStringLiteral("Image"), 25).size(), 25);
  EXPECT_EQ(PadRight(QStringLiteral("A caption longer than 25 chars"), 25), QStringLiteral("A caption longer than 25 chars"));
  for (const char* bad : {"", "* ERROR *", "12abc"})
    EXPECT_THROW(CellToFloat(QString::fromLatin1(bad)), EReportError) << bad;
}

TEST(TextReport, FileLinesEndWithCrLfAndAFailureKeepsWhatWasWritten) {
  QTemporaryDir dir;
  const QString name = dir.filePath("r.txt");
  SaveTextReport(name, [](TReportWriter& W) {
    W.WriteLine(QString());
    W.WriteLine(QStringLiteral("two"));
  });
  EXPECT_EQ(ReadAll(name), QByteArray("\r\ntwo\r\n"));
  // Rewritten, not appended; a row that fails stops the file there.
  EXPECT_THROW(SaveTextReport(name,
                              [](TReportWriter& W) {
                                W.WriteLine(QStringLiteral("first"));
                                W.WriteLine(PadFixed(CellToFloat(QStringLiteral("* ERROR *")), 15));
                              }),
               EReportError);
  EXPECT_EQ(ReadAll(name), QByteArray("first\r\n"));
  EXPECT_THROW(SaveTextReport(dir.filePath("no/such/folder/r.txt"), [](TReportWriter&) {}), EReportError);
}

TEST(TextReport, OneJobForAllCopiesEachOnItsOwnPages) {
  QTemporaryDir dir;
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setPageSize(QPageSize(QPageSize::A4));
  const struct {
    int Copies;
    int Lines;
    int MinPages, MaxPages;
  } cases[] = {
      {1, 5, 1, 1},
      {2, 5, 2, 2},
      {3, 5, 3, 3},
      // Courier 8 on A4 holds fewer than 150 lines: each copy runs on.
      {2, 150, 4, 6},
  };
  for (const auto& c : cases) {
    const QString pdf = dir.filePath(QStringLiteral("p%1_%2.pdf").arg(c.Copies).arg(c.Lines));
    printer.setOutputFileName(pdf);
    printer.setCopyCount(7);
    PrintTextReport(printer, c.Copies, [&c](TReportWriter& W) {
      for (int i = 0; i < c.Lines; ++i) W.WriteLine(QStringLiteral("line %1").arg(i));
    });
    const int pages = PdfPages(pdf);
    EXPECT_GE(pages, c.MinPages) << c.Copies << " x " << c.Lines;
    EXPECT_LE(pages, c.MaxPages) << c.Copies << " x " << c.Lines;
    // The dialog's copy count is given back for the next time.
    EXPECT_EQ(printer.copyCount(), 7);
    if (c.Lines == 5) {
      const QString text = RunTool(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
      EXPECT_EQ(text.count(QStringLiteral("line 4")), c.Copies);
    }
  }
}
