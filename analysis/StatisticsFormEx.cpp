#include "analysis/StatisticsFormEx.h"

#include <QHeaderView>
#include <QMenu>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "analysis/TextReport.h"
#include "app/Accessibility.h"
#include "app/Child.h"
#include "app/FormSupport.h"
#include "app/Main.h"
#include "app/ToolWindows.h"
#include "platform/Application.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "platform/NumFormat.h"

TfrmStatisticsResults* frmStatisticsResults = nullptr;

namespace {
const char* const NoRegionText = "There is no region of interest currently defined.";

QString Three(long double V) { return QString::fromStdString(NumFormat::FormatFloat("0.000", V)); }

bool IsArea(int X1, int Y1, int X2, int Y2) { return X1 != 0 || Y1 != 0 || X2 != 0 || Y2 != 0; }

QString Dimensions(int W, int H, int X1, int Y1, int X2, int Y2) {
  if (IsArea(X1, Y1, X2, Y2)) {
    W = X2 - X1 + 1;
    H = Y2 - Y1 + 1;
  }
  return QStringLiteral("%1 x %2").arg(W).arg(H);
}

QString AreaText(int X1, int Y1, int X2, int Y2) {
  if (!IsArea(X1, Y1, X2, Y2)) return QStringLiteral("*");
  return QStringLiteral("[%1, %2] - [%3, %4]").arg(X1).arg(Y1).arg(X2).arg(Y2);
}

template <typename F>
void Guarded(F&& Action) {
  try {
    Action();
  } catch (const std::exception& e) {
    TApplication::HandleException(e);
  }
}
}  // namespace

TfrmStatisticsResults::TfrmStatisticsResults(QWidget* Parent)
    : QWidget(Parent, Qt::Tool | Qt::WindowStaysOnTopHint),
      FSaveDialog(std::make_unique<TFileDialog>(TFileDialog::TKind::Save)) {
  setObjectName(QStringLiteral("frmStatisticsResults"));
  KeyboardOrder::Install(this);
  ToolWindows::Install(this);
  Accessibility::ExposeWindow(this);
  setWindowTitle(QStringLiteral("Image Statistics"));
  setAccessibleName(QStringLiteral("Image Statistics"));
  lstStatistics = new QTreeWidget(this);
  lstStatistics->setObjectName(QStringLiteral("lstStatistics"));
  lstStatistics->setAccessibleName(QStringLiteral("Statistics report"));
  lstStatistics->setRootIsDecorated(false);
  lstStatistics->setSelectionMode(QAbstractItemView::SingleSelection);
  lstStatistics->setSelectionBehavior(QAbstractItemView::SelectRows);
  lstStatistics->setAllColumnsShowFocus(true);
  const struct {
    const char* Caption;
    int Width;
  } columns[] = {{"Image", 120},   {"Dimensions", 70}, {"Pixels", 70},  {"Sum", 100}, {"Mean", 70},
                 {"Std. Dev.", 70}, {"Minimum", 70},    {"Maximum", 70}, {"Area", 100}};
  QStringList headers;
  for (const auto& c : columns) headers << QString::fromLatin1(c.Caption);
  lstStatistics->setHeaderLabels(headers);
  for (int i = 0; i < int(std::size(columns)); ++i) lstStatistics->setColumnWidth(i, columns[i].Width);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(lstStatistics);
  resize(760, 220);

  PopupMenu = new QMenu(this);
  DeleteItem1 = PopupMenu->addAction(QStringLiteral("&Delete Item"));
  DeleteItem1->setObjectName(QStringLiteral("DeleteItem1"));
  DeleteAllItems1 = PopupMenu->addAction(QStringLiteral("Delete &All Items"));
  DeleteAllItems1->setObjectName(QStringLiteral("DeleteAllItems1"));
  PopupMenu->addSeparator();
  Print1 = PopupMenu->addAction(QStringLiteral("&Print..."));
  Print1->setObjectName(QStringLiteral("Print1"));
  PopupMenu->addSeparator();
  SaveAs1 = PopupMenu->addAction(QStringLiteral("&Save As..."));
  SaveAs1->setObjectName(QStringLiteral("SaveAs1"));
  connect(DeleteItem1, &QAction::triggered, this, [this] { DeleteItem1Click(); });
  connect(DeleteAllItems1, &QAction::triggered, this, [this] { DeleteAllItems1Click(); });
  connect(Print1, &QAction::triggered, this, [this] { Guarded([this] { Print1Click(); }); });
  connect(SaveAs1, &QAction::triggered, this, [this] { Guarded([this] { SaveAs1Click(); }); });
  lstStatistics->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(lstStatistics, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& At) { PopupMenu->popup(lstStatistics->viewport()->mapToGlobal(At)); });

  FSaveDialog->Filter = QStringLiteral("Text Files (*.txt)|*.txt|All Files (*.*)|*.*");
  FSaveDialog->DefaultExt = QStringLiteral("*.txt");
}

TfrmStatisticsResults::~TfrmStatisticsResults() = default;

void TfrmStatisticsResults::ShowReport() {
  show();
  raise();
}

void TfrmStatisticsResults::AddImageStatistics(bool Area) {
  TChildForm* child = MainForm ? MainForm->ActiveMDIChild() : nullptr;
  if (!child) return;
  const TDataImage& image = *child->DataImage;
  int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  int cx1 = 0, cy1 = 0, cx2 = image.Width - 1, cy2 = image.Height - 1;
  if (Area) {
    if (!child->GetSelection(x1, y1, x2, y2)) {
      MessageBox::ShowWarning(QString::fromLatin1(NoRegionText));
      hide();
      return;
    }
    cx1 = x1, cy1 = y1, cx2 = x2, cy2 = y2;
  }
  // A failed computation reports itself and leaves the record as it was:
  // zeros, not garbage.
  if (image.IsColour) {
    TColRegionStatistics stats{};
    ColCalcRegionStatistics(cx1, cy1, cx2, cy2, image, stats);
    AddColourItems(child->Caption(), stats, x1, y1, x2, y2);
  } else {
    TRegionStatistics stats{};
    CalcRegionStatistics(cx1, cy1, cx2, cy2, image, stats);
    AddGreyItem(child->Caption(), stats, x1, y1, x2, y2);
  }
  ShowReport();
}

void TfrmStatisticsResults::AddGreyItem(const QString& Name, const TRegionStatistics& Stats, int X1, int Y1, int X2,
                                        int Y2) {
  auto* item = new QTreeWidgetItem(lstStatistics);
  try {
    item->setText(0, Name);
    item->setText(1, Dimensions(Stats.Width, Stats.Height, X1, Y1, X2, Y2));
    item->setText(2, QString::number(Stats.Count));
    item->setText(3, Three(FromFixed4(Stats.Sum)));
    item->setText(4, Three(FromFixed4(Stats.Mean)));
    item->setText(5, Three(FromFixed4(Stats.StdDev)));
    item->setText(6, Three(FromFixed4(Stats.Min)));
    item->setText(7, Three(FromFixed4(Stats.Max)));
    item->setText(8, AreaText(X1, Y1, X2, Y2));
  } catch (...) {
    item->setText(0, QStringLiteral("* ERROR *"));
  }
}

void TfrmStatisticsResults::AddColourItems(const QString& Name, const TColRegionStatistics& Stats, int X1, int Y1,
                                           int X2, int Y2) {
  const struct {
    const char* Suffix;
    std::int64_t Sum;
    long double Mean, StdDev;
    std::uint8_t TRGBPixel::*Channel;
  } channels[] = {{" - Red", Stats.SumRed, Stats.MeanRed, Stats.StdDevRed, &TRGBPixel::Red},
                  {" - Green", Stats.SumGreen, Stats.MeanGreen, Stats.StdDevGreen, &TRGBPixel::Green},
                  {" - Blue", Stats.SumBlue, Stats.MeanBlue, Stats.StdDevBlue, &TRGBPixel::Blue}};
  for (const auto& c : channels) {
    auto* item = new QTreeWidgetItem(lstStatistics);
    try {
      item->setText(0, Name + QString::fromLatin1(c.Suffix));
      item->setText(1, Dimensions(Stats.Width, Stats.Height, X1, Y1, X2, Y2));
      item->setText(2, QString::number(Stats.Count));
      item->setText(3, Three((long double)c.Sum));
      item->setText(4, Three(c.Mean));
      item->setText(5, Three(c.StdDev));
      item->setText(6, Three(Stats.Min.*c.Channel));
      item->setText(7, Three(Stats.Max.*c.Channel));
      item->setText(8, AreaText(X1, Y1, X2, Y2));
    } catch (...) {
      item->setText(0, QStringLiteral("* ERROR *"));
      return;
    }
  }
}

void TfrmStatisticsResults::DeleteItem1Click() {
  const QList<QTreeWidgetItem*> selected = lstStatistics->selectedItems();
  if (!selected.isEmpty()) delete selected.first();
}

void TfrmStatisticsResults::DeleteAllItems1Click() {
  if (MessageBox::AskQuestion(QStringLiteral("Are you sure you want to delete all items in this report?"), mbYesNo,
                              this) == mrYes)
    lstStatistics->clear();
}

void TfrmStatisticsResults::WriteReport(TReportWriter& Writer) const {
  Writer.WriteLine(QString());
  Writer.WriteLine(QStringLiteral("Corvelle Image Statistics Report - ") + ReportDate());
  Writer.WriteLine(QString());
  QString header = PadRight(QStringLiteral("Image"), 25);
  for (const char* h : {"Dimensions", "Pixels", "Sum", "Mean", "Std. Dev.", "Min", "Max", "Area"})
    header += PadRight(QString::fromLatin1(h), 15);
  Writer.WriteLine(header);
  Writer.WriteLine(QString(138, QLatin1Char('-')));
  for (int i = 0; i < lstStatistics->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = lstStatistics->topLevelItem(i);
    QString line = PadRight(item->text(0), 25) + PadRight(item->text(1), 15);
    for (int column = 2; column <= 7; ++column) line += PadFixed(CellToFloat(item->text(column)), 15);
    line += PadRight(item->text(8), 15);
    Writer.WriteLine(line);
  }
}

void TfrmStatisticsResults::SaveAs1Click() {
  if (!FSaveDialog->Execute(this)) return;
  SaveTextReport(FSaveDialog->WithDefaultExtension(FSaveDialog->FileName),
                 [this](TReportWriter& W) { WriteReport(W); });
}

void TfrmStatisticsResults::Print1Click() {
  PrintTextReportWithDialog(this, [this](TReportWriter& W) { WriteReport(W); });
}
