#include "app/Accessibility.h"

#include <QAbstractScrollArea>
#include <QAccessibleWidget>
#include <QChart>
#include <QChartView>
#include <QListWidget>
#include <QPointer>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSlider>
#include <QTextDocument>
#include <cmath>

#include "platform/NumFormat.h"

namespace Accessibility {

namespace {
// Carries a slider's formatter; the slider owns it.
class TShownValue : public QObject {
 public:
  TShownValue(QSlider* Slider, std::function<QString(int)> Shown) : QObject(Slider), Shown(std::move(Shown)) {}
  std::function<QString(int)> Shown;
};

TShownValue* ShownValueOf(QObject* Object) {
  for (QObject* child : Object->children())
    if (auto* v = dynamic_cast<TShownValue*>(child)) return v;
  return nullptr;
}

// A slider as the user reads it: value, range and step in the label's units.
class TShownValueSlider : public QAccessibleWidget, public QAccessibleValueInterface {
 public:
  explicit TShownValueSlider(QSlider* Slider) : QAccessibleWidget(Slider, QAccessible::Slider) {}

  void* interface_cast(QAccessible::InterfaceType Type) override {
    if (Type == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(Type);
  }
  QString text(QAccessible::Text Kind) const override {
    if (Kind == QAccessible::Value) return Text(Slider()->value());
    return QAccessibleWidget::text(Kind);
  }
  QVariant currentValue() const override { return Number(Slider()->value()); }
  QVariant minimumValue() const override { return std::min(Number(Slider()->minimum()), Number(Slider()->maximum())); }
  QVariant maximumValue() const override { return std::max(Number(Slider()->minimum()), Number(Slider()->maximum())); }
  QVariant minimumStepSize() const override {
    const QSlider* s = Slider();
    return s->maximum() > s->minimum() ? std::fabs(Number(s->minimum() + 1) - Number(s->minimum())) : 0.0;
  }
  void setCurrentValue(const QVariant& Value) override {
    bool ok = false;
    const double wanted = Value.toDouble(&ok);
    if (!ok) return;
    // The position whose shown value comes nearest.
    QSlider* s = Slider();
    int best = s->value();
    double distance = INFINITY;
    for (int p = s->minimum(); p <= s->maximum(); ++p) {
      const double d = std::fabs(Number(p) - wanted);
      if (d < distance) {
        distance = d;
        best = p;
      }
    }
    s->setValue(best);
  }

 private:
  QSlider* Slider() const { return static_cast<QSlider*>(widget()); }
  QString Text(int Position) const {
    const TShownValue* v = ShownValueOf(object());
    return v ? v->Shown(Position) : QString::number(Position);
  }
  double Number(int Position) const { return ShownNumber(Text(Position)); }
};

// Marks a list whose items are ticked.
class TCheckListMark : public QObject {
 public:
  using QObject::QObject;
};

bool IsCheckList(QObject* Object) {
  for (QObject* child : Object->children())
    if (dynamic_cast<TCheckListMark*>(child)) return true;
  return false;
}

// One item of a check list, found by its row.
class TCheckListItem : public TPartOf<QListWidget>, public QAccessibleActionInterface {
 public:
  TCheckListItem(QListWidget* List, int Row) : TPartOf(List), FRow(Row) {}

  bool isValid() const override { return FOwner && FRow < FOwner->count(); }
  QString text(QAccessible::Text Kind) const override {
    return Kind == QAccessible::Name && isValid() ? Item()->text() : QString();
  }
  QRect rect() const override {
    if (!isValid()) return {};
    const QRect r = FOwner->visualItemRect(Item());
    return QRect(FOwner->viewport()->mapToGlobal(r.topLeft()), r.size());
  }
  QAccessible::Role role() const override { return QAccessible::ListItem; }
  QAccessible::State state() const override {
    QAccessible::State s;
    if (!isValid()) return s;
    const QListWidgetItem* item = Item();
    s.checkable = true;
    s.checked = item->checkState() == Qt::Checked;
    s.disabled = !(item->flags() & Qt::ItemIsEnabled) || !FOwner->isEnabled();
    s.selectable = true;
    s.focusable = true;
    s.selected = item->isSelected();
    s.focused = FOwner->hasFocus() && FOwner->currentRow() == FRow;
    s.invisible = !FOwner->isVisible() || !FOwner->viewport()->rect().intersects(FOwner->visualItemRect(item));
    return s;
  }
  void* interface_cast(QAccessible::InterfaceType Type) override {
    return Type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
  }
  QStringList actionNames() const override {
    return isValid() && !state().disabled ? QStringList{toggleAction()} : QStringList();
  }
  void doAction(const QString& Name) override {
    if (Name != toggleAction() || !actionNames().contains(Name)) return;
    QListWidgetItem* item = Item();
    item->setCheckState(item->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
  }
  QStringList keyBindingsForAction(const QString&) const override { return {}; }

  const QListWidget* List() const { return FOwner.data(); }
  int Row() const { return FRow; }

 private:
  QListWidgetItem* Item() const { return FOwner->item(FRow); }
  int FRow;
};

class TCheckList : public QAccessibleWidget {
 public:
  explicit TCheckList(QListWidget* List) : QAccessibleWidget(List, QAccessible::List) {}
  ~TCheckList() override {
    for (QAccessible::Id id : FItems) QAccessible::deleteAccessibleInterface(id);
  }
  int childCount() const override { return List()->count(); }
  QAccessibleInterface* child(int Index) const override {
    if (Index < 0 || Index >= List()->count()) return nullptr;
    while (FItems.size() <= Index) {
      auto* item = new TCheckListItem(List(), int(FItems.size()));
      FItems.push_back(QAccessible::registerAccessibleInterface(item));
    }
    return QAccessible::accessibleInterface(FItems[Index]);
  }
  int indexOfChild(const QAccessibleInterface* Child) const override {
    const auto* item = dynamic_cast<const TCheckListItem*>(Child);
    return item && item->List() == List() && item->isValid() ? item->Row() : -1;
  }
  QAccessibleInterface* childAt(int X, int Y) const override {
    const QPoint p = List()->viewport()->mapFromGlobal(QPoint(X, Y));
    QListWidgetItem* item = List()->itemAt(p);
    return item ? child(List()->row(item)) : nullptr;
  }
  QAccessibleInterface* focusChild() const override {
    return List()->hasFocus() && List()->currentRow() >= 0 ? child(List()->currentRow()) : nullptr;
  }

 private:
  QListWidget* List() const { return static_cast<QListWidget*>(widget()); }
  mutable QList<QAccessible::Id> FItems;
};

// A window the user works in (not a tooltip, popup or drag outline).
bool IsWorkWindow(const QWidget* Widget) {
  const Qt::WindowType type = Widget->windowType();
  return Widget->isWindow() && (type == Qt::Window || type == Qt::Tool || type == Qt::Dialog);
}

// A top-level plain widget: a window while it is one.
class TWindow : public QAccessibleWidget {
 public:
  explicit TWindow(QWidget* Window) : QAccessibleWidget(Window, QAccessible::Window) {}
  QAccessible::Role role() const override { return IsWorkWindow(widget()) ? QAccessible::Window : QAccessible::Client; }
};

QAccessibleInterface* Factory(const QString& ClassName, QObject* Object) {
  // Qt has no interface of its own for a plain widget that is a window.
  if (ClassName == QLatin1String("QWidget") && Object->isWidgetType() && IsWorkWindow(static_cast<QWidget*>(Object)))
    return new TWindow(static_cast<QWidget*>(Object));
  if (ClassName == QLatin1String("QSlider") && ShownValueOf(Object))
    return new TShownValueSlider(static_cast<QSlider*>(Object));
  if (ClassName == QLatin1String("QListWidget") && IsCheckList(Object))
    return new TCheckList(static_cast<QListWidget*>(Object));
  return nullptr;
}

void InstallFactory() {
  static const bool installed = [] {
    QAccessible::installFactory(Factory);
    return true;
  }();
  (void)installed;
}

// Qt makes a widget's interface as the widget is built (setting its range
// already asks for it): one made before the widget was marked is dropped, so
// that the next query comes to the factory.
template <typename T>
void Reinterface(QObject* Object) {
  QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(Object);
  if (iface && !dynamic_cast<T*>(iface)) QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(iface));
}
}  // namespace

void ReportShownValue(QSlider* Slider, std::function<QString(int)> Shown) {
  InstallFactory();
  if (TShownValue* v = ShownValueOf(Slider))
    v->Shown = std::move(Shown);
  else
    new TShownValue(Slider, std::move(Shown));
  Reinterface<TShownValueSlider>(Slider);
}

void ExposeCheckList(QListWidget* List) {
  InstallFactory();
  if (!IsCheckList(List)) new TCheckListMark(List);
  Reinterface<TCheckList>(List);
}

void ExposeWindow(QWidget* Window) {
  InstallFactory();
  Reinterface<TWindow>(Window);
}

void NameScrollBars(QAbstractScrollArea* Area, const QString& Shown) {
  Area->horizontalScrollBar()->setAccessibleName(Shown + QStringLiteral(", horizontal"));
  Area->verticalScrollBar()->setAccessibleName(Shown + QStringLiteral(", vertical"));
}

void DescribeColour(QWidget* Swatch, const QColor& Colour) {
  Swatch->setAccessibleDescription(
      QStringLiteral("red %1, green %2, blue %3").arg(Colour.red()).arg(Colour.green()).arg(Colour.blue()));
}

void DescribeChart(QChartView* View, const QString& Figures) {
  QString title = View->chart()->title();
  title.replace(QStringLiteral("<br>"), QStringLiteral(" "));
  QTextDocument doc;
  doc.setHtml(title);
  title = doc.toPlainText().simplified();
  View->setAccessibleDescription(title.isEmpty() ? Figures : title + QStringLiteral(". ") + Figures);
}

namespace {
QString Figure(double Value) { return QString::fromStdString(NumFormat::FormatFloat("0.##", Value)); }
}  // namespace

QString HistogramFigures(const QList<QPointF>& Points) {
  const QPointF* peak = nullptr;
  const QPointF *first = nullptr, *last = nullptr;
  for (const QPointF& p : Points) {
    if (p.y() <= 0) continue;
    if (!first) first = &p;
    last = &p;
    if (!peak || p.y() > peak->y()) peak = &p;
  }
  if (!peak) return QStringLiteral("no pixels");
  return QStringLiteral("peak of %1 pixels at %2, levels %3 to %4")
      .arg(Figure(peak->y()), Figure(peak->x()), Figure(first->x()), Figure(last->x()));
}

QString ProfileFigures(const QList<QPointF>& Points) {
  if (Points.isEmpty()) return QStringLiteral("no values");
  const QPointF *low = &Points.first(), *high = &Points.first();
  for (const QPointF& p : Points) {
    if (p.y() < low->y()) low = &p;
    if (p.y() > high->y()) high = &p;
  }
  return QStringLiteral("values %1 to %2, highest at %3").arg(Figure(low->y()), Figure(high->y()), Figure(high->x()));
}

double ShownNumber(const QString& Text) {
  static const QRegularExpression number(QStringLiteral("[-+]?[0-9]+(\\.[0-9]+)?"));
  const QRegularExpressionMatch m = number.match(Text);
  return m.hasMatch() ? m.captured(0).toDouble() : 0.0;
}

}  // namespace Accessibility
