#include "AnalysisTestUtil.h"

TEST(TextReport, CellsPaddedAndRoundedTheProgramsWay) {
  const std::pair<const char*, const char*> cases[] = {
      {"2.125", "2.13           "}, {"-2.125", "-2.13          "},  // ties away from zero
      {"100", "100.00         "},   {"1234567890123.5", "1234567890123.50"},  // never cut
      // Stored just below their half, yet they read as ties and go up.
      {"1.005", "1.01           "},   {"0.285", "0.29           "},   {"-0.285", "-0.29          "},
  };
  for (const auto& [cell, padded] : cases)
    EXPECT_EQ(PadFixed(CellToFloat(QString::fromLatin1(cell)), 15).toStdString(), padded) << cell;
  for (const char* bad : {"", "* ERROR *", "12abc"}) EXPECT_THROW(CellToFloat(QString::fromLatin1(bad)), EReportError);
}

TEST(TextReport, OneJobForAllCopiesEachOnItsOwnPages) {
  QTemporaryDir dir;
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setPageSize(QPageSize(QPageSize::A4));
  // Courier 8 on A4 holds fewer than 150 lines: such a copy runs on; no
  // blank page ends the job.
  const struct { int Copies, Lines, MinPages, MaxPages; } cases[] = {{1, 5, 1, 1}, {3, 5, 3, 3}, {2, 150, 4, 6}};
  for (const auto& c : cases) {
    const QString pdf = dir.filePath(QStringLiteral("p%1_%2.pdf").arg(c.Copies).arg(c.Lines));
    printer.setOutputFileName(pdf);
    printer.setCopyCount(7);
    PrintTextReport(printer, c.Copies, [&c](TReportWriter& W) {
      for (int i = 0; i < c.Lines; ++i) W.WriteLine(QStringLiteral("line %1").arg(i));
    });
    const int pages = PdfInfo(pdf, QStringLiteral("Pages")).toInt();
    EXPECT_TRUE(pages >= c.MinPages && pages <= c.MaxPages) << c.Copies << " x " << c.Lines << ": " << pages;
    EXPECT_EQ(printer.copyCount(), 7);  // the dialog's count comes back for next time
    EXPECT_EQ(RunTool(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")}).count(QStringLiteral("line 4\n")), c.Copies);
  }
}
