#pragma once
// The one writer and the one paginator of the program's text reports (the
// statistics report, the photometry results). A report is a function that
// writes its lines to a TReportWriter; the same function feeds a text file
// (every line ends with CR LF) and the printer (the fixed-pitch font
// "Courier" at 8 points, one job for all copies, a new page after each copy).
//
//   TReportLines lines = [&](TReportWriter& W) { W.WriteLine(...); ... };
//   SaveTextReport(FileName, lines);          // file
//   PrintTextReportWithDialog(this, lines);   // print dialog, then printer
#include <QString>
#include <functional>
#include <stdexcept>
#include <string>

class QPrinter;
class QWidget;

class TReportWriter {
 public:
  virtual ~TReportWriter() = default;
  virtual void WriteLine(const QString& Line) = 0;
};

using TReportLines = std::function<void(TReportWriter& Writer)>;

// A report file or the printer could not be written; what() is the text shown.
// Reason is the system's reason for a file that could not be written, which
// what() also holds on its second line.
// InPlace: the file was written and took its name, and only its folder could
// not be synced; what() says so, and a window's own text for a failed save
// gives way to it.
class EReportError : public std::runtime_error {
 public:
  explicit EReportError(const std::string& What, const std::string& Reason = {}, bool InPlace = false)
      : std::runtime_error(Reason.empty() ? What : What + "\n" + Reason), Reason(Reason), InPlace(InPlace) {}
  std::string Reason;
  bool InPlace = false;
};

// "%-Ns": Text padded with blanks on the right to Width characters, never cut.
QString PadRight(const QString& Text, int Width);
// "%-Nf": Value in fixed notation with two decimals (the program's rounding:
// ties away from zero), padded on the right to Width.
QString PadFixed(long double Value, int Width);
// A cell's text as a number; throws EReportError "'x' is not a valid floating
// point value" for anything else.
long double CellToFloat(const QString& Text);
// The title line's date: the current date in the short format of the locale.
QString ReportDate();

// Report and picture files are replaced as the image files are: written beside
// the old file and renamed over it once complete, so a full disk or a size
// limit leaves the old file whole and nothing behind. A failure throws
// EReportError "Cannot create file "name"." with the system's reason.

// Rewrites FileName with the report's lines. Whatever Lines throws is passed
// on after the lines written until then have replaced the file.
void SaveTextReport(const QString& FileName, const TReportLines& Lines);
// Replaces FileName with Data.
void SaveFileData(const QString& FileName, const QByteArray& Data);
// A window's own text for a failed save, with the system's reason on a second line.
QString TextWithReason(const QString& Text, const EReportError& Error);

// The program's printer, shared by the reports and the charts.
QPrinter& ReportPrinter();

namespace PrintDialog {
// The standard print dialog on ReportPrinter(); false on Cancel.
bool Execute(QWidget* Parent);
// While a hook is installed it answers the dialog instead of the user: it may
// set up the printer (output file, copies) and returns whether to print.
using THook = std::function<bool(QPrinter& Printer)>;
THook SetHook(THook Hook);  // returns the previous hook
}  // namespace PrintDialog

// Prints Copies copies of the report in one job on Printer, each followed by
// a page break; long reports run on to further pages. The job ends also when
// writing fails; throws EReportError when the printer cannot start, and
// passes on what Lines throws.
void PrintTextReport(QPrinter& Printer, int Copies, const TReportLines& Lines);
// The print dialog, then the report with the dialog's copy count; false when
// the user cancelled.
bool PrintTextReportWithDialog(QWidget* Parent, const TReportLines& Lines);
