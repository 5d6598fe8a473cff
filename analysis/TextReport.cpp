#include "analysis/TextReport.h"

#include <QDate>
#include <QFile>
#include <QFontMetrics>
#include <QLocale>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <algorithm>
#include <utility>

#include "formats/ByteSource.h"
#include "platform/KeyboardReturn.h"
#include "platform/NumFormat.h"

QString PadRight(const QString& Text, int Width) { return Text.leftJustified(Width, QLatin1Char(' '), false); }

QString PadFixed(long double Value, int Width) {
  return PadRight(QString::fromStdString(NumFormat::FormatFloat("0.00", Value)), Width);
}

long double CellToFloat(const QString& Text) {
  long double v = 0;
  if (!NumFormat::TryStrToFloat(Text.trimmed().toStdString(), v))
    throw EReportError("'" + Text.toStdString() + "' is not a valid floating point value");
  return v;
}

QString ReportDate() { return QLocale().toString(QDate::currentDate(), QLocale::ShortFormat); }

namespace {

// A failed write is only reported when the file is committed: the reason
// comes out the same wherever the disk gave up.
class TFileWriter : public TReportWriter {
 public:
  explicit TFileWriter(TSafeFileWriter& File) : FFile(File) {}
  void WriteLine(const QString& Line) override {
    const QByteArray bytes = Line.toUtf8() + "\r\n";
    FFile.Write(bytes.constData(), std::size_t(bytes.size()));
  }

 private:
  TSafeFileWriter& FFile;
};

[[noreturn]] void SaveFailed(const QString& FileName, const TSafeFileWriter& File) {
  if (File.InPlace()) throw EReportError(msgFolderNotSynced, File.Reason(), true);
  throw EReportError("Cannot create file \"" + FileName.toStdString() + "\".", File.Reason());
}

void OpenFileForSave(TSafeFileWriter& File, const QString& FileName) {
  if (!File.Open(QFile::encodeName(FileName).toStdString())) SaveFailed(FileName, File);
}

void CommitSave(TSafeFileWriter& File, const QString& FileName) {
  if (!File.Commit()) SaveFailed(FileName, File);
}

// Lines down the page in the printer's font; a full page runs on to the next.
// A page break is only made once something follows it, so the job ends
// without a blank page.
class TPrinterWriter : public TReportWriter {
 public:
  TPrinterWriter(QPrinter& Printer, QPainter& Painter) : FPrinter(Printer), FPainter(Painter) {
    QFont font(QStringLiteral("Courier"), 8);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    FPainter.setFont(font);
    FPainter.setPen(Qt::black);
    const QFontMetrics metrics = FPainter.fontMetrics();
    FLineHeight = metrics.height();
    FAscent = metrics.ascent();
    FPageHeight = FPainter.viewport().height();
  }
  void WriteLine(const QString& Line) override {
    if (FBreakPending || (FY > 0 && FY + FLineHeight > FPageHeight)) NextPage();
    FPainter.drawText(0, FY + FAscent, Line);
    FY += FLineHeight;
  }
  void PageBreak() { FBreakPending = true; }

 private:
  void NextPage() {
    if (!FPrinter.newPage()) throw EReportError("The printer could not start a new page.");
    FBreakPending = false;
    FY = 0;
  }
  QPrinter& FPrinter;
  QPainter& FPainter;
  int FLineHeight = 1, FAscent = 0, FPageHeight = 1, FY = 0;
  bool FBreakPending = false;
};

PrintDialog::THook& DialogHook() {
  static PrintDialog::THook hook;
  return hook;
}

}  // namespace

void SaveTextReport(const QString& FileName, const TReportLines& Lines) {
  TSafeFileWriter file;
  OpenFileForSave(file, FileName);
  TFileWriter writer(file);
  try {
    Lines(writer);
  } catch (...) {
    // A report that stops at a bad row keeps the lines before it; a file
    // that cannot be written says so instead.
    CommitSave(file, FileName);
    throw;
  }
  CommitSave(file, FileName);
}

QString TextWithReason(const QString& Text, const EReportError& Error) {
  if (Error.InPlace) return QString::fromStdString(Error.what());
  return Error.Reason.empty() ? Text : Text + QLatin1Char('\n') + QString::fromStdString(Error.Reason);
}

void SaveFileData(const QString& FileName, const QByteArray& Data) {
  TSafeFileWriter file;
  OpenFileForSave(file, FileName);
  file.Write(Data.constData(), std::size_t(Data.size()));
  CommitSave(file, FileName);
}

QPrinter& ReportPrinter() {
  // Made on first use and kept to the end of the program: a printer torn
  // down among the static destructors, after the application object, may
  // still call into the print system.
  static QPrinter* printer = new QPrinter(QPrinter::HighResolution);
  return *printer;
}

namespace PrintDialog {
bool Execute(QWidget* Parent) {
  if (auto& hook = DialogHook()) return hook(ReportPrinter());
  QPrintDialog dialog(&ReportPrinter(), Parent);
  const TKeyboardReturn back(Parent);
  const int result = dialog.exec();
  back.Restore();
  return result == QDialog::Accepted;
}
THook SetHook(THook Hook) { return std::exchange(DialogHook(), std::move(Hook)); }
}  // namespace PrintDialog

void PrintTextReport(QPrinter& Printer, int Copies, const TReportLines& Lines) {
  // The copies are written here, so the printer must not repeat them.
  const int asked = Printer.copyCount();
  Printer.setCopyCount(1);
  struct TRestore {
    QPrinter& P;
    int N;
    ~TRestore() { P.setCopyCount(N); }
  } restore{Printer, asked};
  QPainter painter;
  if (!painter.begin(&Printer)) throw EReportError("The printer could not start the print job.");
  struct TEnd {
    QPainter& P;
    ~TEnd() { P.end(); }
  } end{painter};
  TPrinterWriter writer(Printer, painter);
  for (int copy = 0; copy < Copies; ++copy) {
    Lines(writer);
    writer.PageBreak();
  }
}

bool PrintTextReportWithDialog(QWidget* Parent, const TReportLines& Lines) {
  if (!PrintDialog::Execute(Parent)) return false;
  QPrinter& printer = ReportPrinter();
  PrintTextReport(printer, std::max(1, printer.copyCount()), Lines);
  return true;
}
