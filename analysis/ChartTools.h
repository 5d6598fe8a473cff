#pragma once
// What the chart windows (histogram, line plot, radial plot) share: the chart
// set up the program's way (title in Arial 13 pixels, no legend, no grid,
// flat, white), a two-line title ending with the date and time, and the three
// tool buttons that save the chart as a bitmap on white, copy it to the
// clipboard as a picture and print it in landscape.
#include <QImage>
#include <QObject>
#include <QString>
#include <initializer_list>
#include <memory>

class QChart;
class QChartView;
class QPrinter;
class QToolButton;
class QValueAxis;
class QWidget;
class TFileDialog;

// A chart with the program's look and Title as its first title.
QChart* MakeChart(const QString& Title);
// A value axis without grid or minor ticks, titled Title.
QValueAxis* MakeValueAxis(const QString& Title);
// Sets the axis to Low..High with ticks at round steps (1, 2 or 5 times a
// power of ten) from 0, about Ticks of them.
void SetRoundTicks(QValueAxis* Axis, double Low, double High, int Ticks = 6);
// Line 1 above line 2, both centred.
void SetChartTitle(QChart* Chart, const QString& Line1, const QString& Line2);
// The current date (short format) + " " + the current time (long format).
QString ChartDateTime();

// The chart as the user sees it, on a white ground, 24 bits per pixel.
QImage ChartOnWhite(QChartView* View);
// Writes a picture as a 24-bit Windows bitmap (the chart windows and the 3-D
// view); throws EReportError as SaveFileData does.
void SavePictureBitmap(const QImage& Picture, const QString& FileName);
// Writes ChartOnWhite as a Windows bitmap.
void SaveChartBitmap(QChartView* View, const QString& FileName);
// Prints the chart filling a landscape page and gives the printer its
// orientation back. Throws EReportError when the printer cannot start.
void PrintChartLandscape(QChartView* View, QPrinter& Printer);

// A tool button with a standard picture; Hint is "short|long" (tool tip,
// status tip); the short part is also its accessible name.
QToolButton* MakeToolButton(QWidget* Parent, const char* Name, const QString& Hint, const QIcon& Icon);

// The three buttons of a chart window, for View, made on Parent (the caller
// puts them in its tool panel). Hints are "short|long" texts.
class TChartTools : public QObject {
  Q_OBJECT
 public:
  TChartTools(QChartView* View, QWidget* Parent, const QString& SaveHint, const QString& CopyHint,
              const QString& PrintHint);
  ~TChartTools() override;

  QToolButton* btnSave = nullptr;
  QToolButton* btnCopy = nullptr;
  QToolButton* btnPrint = nullptr;
  // "Windows Bitmap Files (*.bmp)|*.bmp|All Files (*.*)|*.*", ".bmp" added,
  // asks before overwriting.
  TFileDialog& SaveDialog() { return *FSaveDialog; }

  void btnSaveClick();
  void btnCopyClick();
  void btnPrintClick();

  // The chart window's face: the tool panel (the three buttons, then Extra,
  // in a row) above the chart, which takes the rest.
  void LayOut(QWidget* Window, QWidget* Panel, std::initializer_list<QWidget*> Extra);

 protected:
  // The long part of a hint shown over the chart's window goes to the main
  // window's status bar: hints stop at a window's edge in Qt.
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  QChartView* FView;
  std::unique_ptr<TFileDialog> FSaveDialog;
};
