#include "analysis/ChartTools.h"

#include <QApplication>
#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QBoxLayout>
#include <QDate>
#include <QLocale>
#include <QPainter>
#include <QPrinter>
#include <QStatusTipEvent>
#include <QStyle>
#include <QTime>
#include <QToolButton>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

#include "analysis/TextReport.h"
#include "app/Main.h"
#include "platform/Application.h"
#include "platform/FileDialog.h"

QChart* MakeChart(const QString& Title) {
  auto* chart = new QChart;
  chart->legend()->hide();
  chart->setBackgroundRoundness(0);
  chart->setBackgroundBrush(Qt::white);
  chart->setDropShadowEnabled(false);
  chart->setAnimationOptions(QChart::NoAnimation);
  chart->setTheme(QChart::ChartThemeLight);
  chart->setBackgroundBrush(Qt::white);
  chart->setPlotAreaBackgroundVisible(false);
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(13);
  chart->setTitleFont(font);
  chart->setTitleBrush(Qt::black);
  chart->setTitle(Title);
  return chart;
}

QValueAxis* MakeValueAxis(const QString& Title) {
  auto* axis = new QValueAxis;
  axis->setTitleText(Title);
  axis->setGridLineVisible(false);
  axis->setMinorTickCount(0);
  axis->setLabelFormat(QStringLiteral("%g"));
  axis->setLabelsColor(Qt::black);
  axis->setTitleBrush(Qt::black);
  axis->setLinePenColor(Qt::black);
  return axis;
}

void SetRoundTicks(QValueAxis* Axis, double Low, double High, int Ticks) {
  if (!(High > Low)) High = Low + 1;
  const double raw = (High - Low) / std::max(1, Ticks);
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  double step = power;
  for (const double m : {1.0, 2.0, 5.0, 10.0})
    if (m * power >= raw) {
      step = m * power;
      break;
    }
  // The interval before the type: dynamic ticks at an interval of 0 never end.
  Axis->setTickInterval(step);
  Axis->setTickAnchor(0);
  Axis->setRange(Low, High);
  Axis->setTickType(QValueAxis::TicksDynamic);
}

void SetChartTitle(QChart* Chart, const QString& Line1, const QString& Line2) {
  Chart->setTitle(Line1.toHtmlEscaped() + QStringLiteral("<br>") + Line2.toHtmlEscaped());
}

QString ChartDateTime() {
  const QLocale locale;
  // The long time without the zone name that Qt's long format appends.
  QString format = locale.timeFormat(QLocale::LongFormat);
  format.remove(QLatin1Char('t')).replace(QStringLiteral("  "), QStringLiteral(" "));
  return locale.toString(QDate::currentDate(), QLocale::ShortFormat) + QLatin1Char(' ') +
         locale.toString(QTime::currentTime(), format.trimmed());
}

QImage ChartOnWhite(QChartView* View) {
  QImage image(View->viewport()->size(), QImage::Format_RGB888);
  image.fill(Qt::white);
  QPainter painter(&image);
  View->render(&painter, QRectF(image.rect()), View->viewport()->rect());
  return image;
}

void SavePictureBitmap(const QImage& Picture, const QString& FileName) {
  QByteArray data;
  QBuffer buffer(&data);
  if (!buffer.open(QIODevice::WriteOnly) || !Picture.save(&buffer, "BMP"))
    throw EReportError("Cannot create file \"" + FileName.toStdString() + "\".");
  buffer.close();
  SaveFileData(FileName, data);
}

void SaveChartBitmap(QChartView* View, const QString& FileName) { SavePictureBitmap(ChartOnWhite(View), FileName); }

void PrintChartLandscape(QChartView* View, QPrinter& Printer) {
  const QPageLayout::Orientation was = Printer.pageLayout().orientation();
  Printer.setPageOrientation(QPageLayout::Landscape);
  QPainter painter;
  const bool started = painter.begin(&Printer);
  if (started) {
    // The scene is drawn at the printer's resolution, so lines and text stay sharp.
    View->render(&painter, QRectF(painter.viewport()), View->viewport()->rect(), Qt::KeepAspectRatio);
    painter.end();
  }
  Printer.setPageOrientation(was);
  if (!started) throw EReportError("The printer could not start the print job.");
}

namespace {
// Small drawn pictures: a disk, two sheets, a printer.
QIcon Glyph(int Kind) {
  QPixmap pm(16, 16);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setPen(Qt::black);
  if (Kind == 0) {
    p.setBrush(QColor(40, 70, 160));
    p.drawRect(1, 1, 13, 13);
    p.setBrush(Qt::white);
    p.drawRect(4, 1, 7, 5);
    p.fillRect(4, 9, 7, 5, QColor(200, 200, 200));
  } else if (Kind == 1) {
    p.setBrush(Qt::white);
    p.drawRect(1, 1, 8, 10);
    p.drawRect(6, 4, 8, 10);
  } else {
    p.setBrush(Qt::white);
    p.drawRect(4, 1, 8, 5);
    p.setBrush(QColor(160, 160, 160));
    p.drawRect(1, 6, 14, 6);
    p.setBrush(Qt::white);
    p.drawRect(4, 10, 8, 5);
  }
  return QIcon(pm);
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

QToolButton* MakeToolButton(QWidget* Parent, const char* Name, const QString& Hint, const QIcon& Icon) {
  auto* b = new QToolButton(Parent);
  b->setObjectName(QString::fromLatin1(Name));
  const QString brief = Hint.section(QLatin1Char('|'), 0, 0);
  const QString full = Hint.section(QLatin1Char('|'), 1);
  b->setToolTip(brief);
  b->setStatusTip(full.isEmpty() ? brief : full);
  b->setAccessibleName(brief);
  b->setAccessibleDescription(full);
  b->setIcon(Icon);
  b->setAutoRaise(true);
  b->setFocusPolicy(Qt::TabFocus);
  return b;
}

TChartTools::TChartTools(QChartView* View, QWidget* Parent, const QString& SaveHint, const QString& CopyHint,
                         const QString& PrintHint)
    : QObject(Parent), FView(View), FSaveDialog(std::make_unique<TFileDialog>(TFileDialog::TKind::Save)) {
  btnSave = MakeToolButton(Parent, "btnSave", SaveHint, Glyph(0));
  btnCopy = MakeToolButton(Parent, "btnCopy", CopyHint, Glyph(1));
  btnPrint = MakeToolButton(Parent, "btnPrint", PrintHint, Glyph(2));
  FSaveDialog->Filter = QStringLiteral("Windows Bitmap Files (*.bmp)|*.bmp|All Files (*.*)|*.*");
  FSaveDialog->DefaultExt = QStringLiteral("*.bmp");
  FSaveDialog->OverwritePrompt = true;
  connect(btnSave, &QToolButton::clicked, this, [this] { btnSaveClick(); });
  connect(btnCopy, &QToolButton::clicked, this, [this] { btnCopyClick(); });
  connect(btnPrint, &QToolButton::clicked, this, [this] { btnPrintClick(); });
  View->window()->installEventFilter(this);
}

bool TChartTools::eventFilter(QObject* Watched, QEvent* Event) {
  if (Event->type() == QEvent::StatusTip && Watched == FView->window() && MainForm) {
    MainForm->ShowHint(static_cast<QStatusTipEvent*>(Event)->tip());
    return true;
  }
  return QObject::eventFilter(Watched, Event);
}

TChartTools::~TChartTools() = default;

void TChartTools::btnSaveClick() {
  Guarded([this] {
    if (!FSaveDialog->Execute(FView->window())) return;
    const QString name = FSaveDialog->WithDefaultExtension(FSaveDialog->FileName);
    SaveChartBitmap(FView, name);
  });
}

void TChartTools::btnCopyClick() { QApplication::clipboard()->setImage(ChartOnWhite(FView)); }

void TChartTools::btnPrintClick() {
  Guarded([this] { PrintChartLandscape(FView, ReportPrinter()); });
}

void TChartTools::LayOut(QWidget* Window, QWidget* Panel, std::initializer_list<QWidget*> Extra) {
  auto* row = new QHBoxLayout(Panel);
  row->setContentsMargins(2, 2, 2, 2);
  for (QWidget* w : {static_cast<QWidget*>(btnSave), static_cast<QWidget*>(btnCopy), static_cast<QWidget*>(btnPrint)})
    row->addWidget(w);
  for (QWidget* w : Extra) row->addWidget(w);
  row->addStretch(1);
  auto* layout = new QVBoxLayout(Window);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(Panel);
  layout->addWidget(FView, 1);
}
