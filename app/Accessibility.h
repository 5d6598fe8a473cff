#pragma once
// What assistive tools (screen readers, test robots) read of controls whose
// own state is not what the user sees, built on Qt's accessibility interfaces.
#include <QAccessible>
#include <QList>
#include <QPointF>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <QWindow>
#include <functional>

class QAbstractScrollArea;
class QChartView;
class QColor;
class QListWidget;
class QSlider;
class QWidget;

namespace Accessibility {

// A part of Owner that has no widget of its own (a thumb, a list item):
// childless, its parent Owner's interface, its window Owner's window.
template <class Owner>
class TPartOf : public QAccessibleInterface {
 public:
  explicit TPartOf(Owner* O) : FOwner(O) {}
  bool isValid() const override { return !FOwner.isNull(); }
  QObject* object() const override { return nullptr; }
  QWindow* window() const override { return FOwner ? FOwner->window()->windowHandle() : nullptr; }
  QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(FOwner.data()); }
  QAccessibleInterface* child(int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  QAccessibleInterface* focusChild() const override { return nullptr; }
  void setText(QAccessible::Text, const QString&) override {}

 protected:
  QPointer<Owner> FOwner;
};

// Shown formats a position of Slider as its value label shows it ("2.5" for
// position 25 of the gamma track bar). Assistive tools then read and set the
// slider's value in those units, not as the raw position.
void ReportShownValue(QSlider* Slider, std::function<QString(int)> Shown);

// Assistive tools see List's items as check boxes: checkable and checked as
// they are ticked, disabled where the item is, and a toggle action that ticks
// or clears an enabled item (Qt's own items would only be selected by it).
void ExposeCheckList(QListWidget* List);

// A chart's accessible description: its title as plain text, then Figures
// (what a reader needs of the picture). Called at every change of the chart.
void DescribeChart(QChartView* View, const QString& Figures);

// The key figures of a histogram whose points are (level, pixel count):
// "peak of 812 pixels at 40.5, levels 0 to 255"; "no pixels" when empty.
QString HistogramFigures(const QList<QPointF>& Points);

// The key figures of a profile whose points are (position, value):
// "values 3 to 200, highest at 41"; "no values" when empty.
QString ProfileFigures(const QList<QPointF>& Points);

// Window, a top-level widget that is no dialog (a tool window), reaches
// assistive tools as a window named by its title, not as a plain filler.
void ExposeWindow(QWidget* Window);

// Names the scroll bars of Area after what it shows: "Preview" gives
// "Preview, horizontal" and "Preview, vertical".
void NameScrollBars(QAbstractScrollArea* Area, const QString& Shown);

// A colour swatch tells its colour in its description ("red 0, green 128,
// blue 128"); called at every change of the colour.
void DescribeColour(QWidget* Swatch, const QColor& Colour);

// The number a value text shows ("-30%" gives -30, "2.5" gives 2.5); 0 when
// it shows none.
double ShownNumber(const QString& Text);

}  // namespace Accessibility
