#include "analysis/HistogramForm.h"

#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QPainter>
#include <QToolButton>
#include <QValueAxis>
#include <QVBoxLayout>
#include <algorithm>

#include "analysis/ChartTools.h"
#include "app/Accessibility.h"
#include "app/Child.h"
#include "app/FormSupport.h"
#include "app/Main.h"
#include "app/ToolWindows.h"
#include "dialogs/BuddyLabel.h"
#include "engine/ColStatistics.h"
#include "engine/Statistics.h"
#include "platform/MessageBox.h"

TfrmHistogram* frmHistogram = nullptr;

namespace {
// A logarithmic axis shows no zero: there counts start at 1, and the filled
// area stands on that floor.
constexpr qreal LogFloor = 1.0;

QIcon LogGlyph() {
  QPixmap pm(16, 16);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setPen(Qt::black);
  QFont f = p.font();
  f.setPixelSize(9);
  p.setFont(f);
  p.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, QStringLiteral("log"));
  return QIcon(pm);
}
}  // namespace

TfrmHistogram::TfrmHistogram(QWidget* Parent) : QWidget(Parent, Qt::Tool | Qt::WindowStaysOnTopHint) {
  setObjectName(QStringLiteral("frmHistogram"));
  KeyboardOrder::Install(this);
  ToolWindows::Install(this);
  Accessibility::ExposeWindow(this);
  setWindowTitle(QStringLiteral("Histogram"));
  setAccessibleName(QStringLiteral("Histogram"));

  QChart* chart = MakeChart(QStringLiteral("Histogram"));
  FUpper = new QLineSeries(this);
  FLower = new QLineSeries(this);
  Series1 = new QAreaSeries(FUpper, FLower);
  Series1->setName(QStringLiteral("SeriesIntensity"));
  Series1->setObjectName(QStringLiteral("Series1"));
  Series1->setBrush(Qt::black);
  Series1->setPen(QPen(Qt::black, 1));
  auto line = [](const char* Name, const char* Title, QColor Colour) {
    auto* s = new QLineSeries;
    s->setObjectName(QString::fromLatin1(Name));
    s->setName(QString::fromLatin1(Title));
    s->setPen(QPen(Colour, 1));
    s->setVisible(false);
    return s;
  };
  Series2 = line("Series2", "SeriesRed", Qt::red);
  Series3 = line("Series3", "SeriesGreen", QColor(0, 128, 0));
  Series4 = line("Series4", "SeriesBlue", Qt::blue);
  chart->addSeries(Series1);
  chart->addSeries(Series2);
  chart->addSeries(Series3);
  chart->addSeries(Series4);
  FAxisX = MakeValueAxis(QStringLiteral("Pixel Value"));
  FAxisY = MakeValueAxis(QStringLiteral("Frequency"));
  FAxisY->setTickCount(6);
  FLogAxisY = new QLogValueAxis(this);
  FLogAxisY->setTitleText(QStringLiteral("Frequency"));
  FLogAxisY->setBase(10);
  FLogAxisY->setLabelFormat(QStringLiteral("%g"));
  FLogAxisY->setGridLineVisible(false);
  FLogAxisY->setMinorTickCount(0);
  FLogAxisY->setLabelsColor(Qt::black);
  FLogAxisY->setTitleBrush(Qt::black);
  FLogAxisY->setLinePenColor(Qt::black);
  chart->addAxis(FAxisX, Qt::AlignBottom);
  chart->addAxis(FAxisY, Qt::AlignLeft);
  for (QAbstractSeries* s : chart->series()) {
    s->attachAxis(FAxisX);
    s->attachAxis(FAxisY);
  }
  FAxisX->setRange(0, 255);
  FAxisY->setRange(0, 1);
  Chart1 = new QChartView(chart, this);
  Chart1->setObjectName(QStringLiteral("Chart1"));
  Chart1->setAccessibleName(QStringLiteral("Histogram chart"));
  Accessibility::DescribeChart(Chart1, QStringLiteral("No histogram"));
  Chart1->setRenderHint(QPainter::Antialiasing);

  auto* panel = new QWidget(this);
  Tools = new TChartTools(Chart1, panel, QStringLiteral("Save|Save the histogram"),
                          QStringLiteral("Copy|Copy the histogram to the clipboard"),
                          QStringLiteral("Print|Print the histogram"));
  btnLog = MakeToolButton(panel, "btnLog", QStringLiteral("Log Intensity|Log scale the intensity axis"), LogGlyph());
  btnLog->setCheckable(true);
  cmbChannel = new QComboBox(panel);
  cmbChannel->setObjectName(QStringLiteral("cmbChannel"));
  cmbChannel->setAccessibleName(QStringLiteral("Channel"));
  cmbChannel->addItems({QStringLiteral("Intensity"), QStringLiteral("RGB"), QStringLiteral("Red"),
                        QStringLiteral("Green"), QStringLiteral("Blue")});
  cmbChannel->setCurrentIndex(0);
  lblChannel = new QLabel(QStringLiteral("&Channel"), panel);
  lblChannel->setObjectName(QStringLiteral("lblChannel"));
  lblChannel->setBuddy(cmbChannel);
  Tools->LayOut(this, panel, {btnLog, lblChannel, cmbChannel});
  resize(520, 380);

  connect(cmbChannel, &QComboBox::currentIndexChanged, this, [this] { cmbChannelChange(); });
  connect(btnLog, &QToolButton::toggled, this, [this] { btnLogClick(); });
}

bool TfrmHistogram::LogAxis() const { return Chart1->chart()->axes(Qt::Vertical).contains(FLogAxisY); }

void TfrmHistogram::SetLogAxis(bool Log) {
  if (Log == LogAxis()) return;
  QChart* chart = Chart1->chart();
  QAbstractAxis* from = Log ? static_cast<QAbstractAxis*>(FAxisY) : FLogAxisY;
  QAbstractAxis* to = Log ? static_cast<QAbstractAxis*>(FLogAxisY) : FAxisY;
  chart->removeAxis(from);
  from->setParent(this);
  chart->addAxis(to, Qt::AlignLeft);
  for (QAbstractSeries* s : chart->series()) s->attachAxis(to);
  ShowPoints();
}

void TfrmHistogram::Execute(bool Area) {
  show();
  raise();
  SetLogAxis(btnLog->isChecked());
  Plot(Area);
}

void TfrmHistogram::PlotImage() { Plot(false); }
void TfrmHistogram::PlotROI() { Plot(true); }

void TfrmHistogram::Plot(bool Area) {
  TChildForm* child = MainForm ? MainForm->ActiveMDIChild() : nullptr;
  if (!child) return;
  const TDataImage& image = *child->DataImage;
  int x1 = 0, y1 = 0, x2 = image.Width - 1, y2 = image.Height - 1;
  QString line1 = QStringLiteral("Corvelle Image Histogram - ") + child->Caption();
  if (Area) {
    if (!child->GetSelection(x1, y1, x2, y2)) {
      MessageBox::ShowWarning(QStringLiteral("There is no region of interest currently defined."));
      hide();
      return;
    }
    line1 += QStringLiteral(" - Area : [%1, %2] - [%3, %4]").arg(x1).arg(y1).arg(x2).arg(y2);
  }
  SetChartTitle(Chart1->chart(), line1, ChartDateTime());
  for (auto& c : FCounts) c.clear();
  if (image.IsColour) {
    TColRegionHistogram h{};
    ColCalcRegionHistogram(x1, y1, x2, y2, image, h);
    cmbChannel->setEnabled(true);
    SetLabelEnabled(lblChannel, true);
    for (int i = 0; i < 256; ++i) {
      FCounts[0].append(QPointF(i, h.Intensity[std::size_t(i)]));
      FCounts[1].append(QPointF(i, h.Red[std::size_t(i)]));
      FCounts[2].append(QPointF(i, h.Green[std::size_t(i)]));
      FCounts[3].append(QPointF(i, h.Blue[std::size_t(i)]));
    }
  } else {
    // A failed computation reports itself and leaves the record as it was
    // (scale 0): then nothing is plotted.
    TRegionHistogram h{};
    CalcRegionHistogram(x1, y1, x2, y2, image, h);
    {
      const QSignalBlocker block(cmbChannel);
      cmbChannel->setCurrentIndex(0);
    }
    cmbChannel->setEnabled(false);
    SetLabelEnabled(lblChannel, false);
    if (h.Scale != 0.0f)
      for (int i = 0; i < 256; ++i) FCounts[0].append(QPointF(qreal(h.Level(i)), h.Counts[std::size_t(i)]));
  }
  cmbChannelChange();
}

void TfrmHistogram::cmbChannelChange() {
  static constexpr bool Active[5][4] = {{true, false, false, false},
                                        {false, true, true, true},
                                        {false, true, false, false},
                                        {false, false, true, false},
                                        {false, false, false, true}};
  const int item = std::clamp(cmbChannel->currentIndex(), 0, 4);
  Series1->setVisible(Active[item][0]);
  Series2->setVisible(Active[item][1]);
  Series3->setVisible(Active[item][2]);
  Series4->setVisible(Active[item][3]);
  ShowPoints();
}

void TfrmHistogram::btnLogClick() { SetLogAxis(btnLog->isChecked()); }

void TfrmHistogram::ShowPoints() {
  const bool log = LogAxis();
  auto shown = [log](const QList<QPointF>& Counts) {
    QList<QPointF> p = Counts;
    if (log)
      for (QPointF& q : p) q.setY(std::max(q.y(), LogFloor));
    return p;
  };
  FUpper->replace(shown(FCounts[0]));
  QList<QPointF> base;
  if (!FCounts[0].isEmpty()) {
    const qreal floor = log ? LogFloor : 0.0;
    base = {QPointF(FCounts[0].first().x(), floor), QPointF(FCounts[0].last().x(), floor)};
  }
  FLower->replace(base);
  Series2->replace(shown(FCounts[1]));
  Series3->replace(shown(FCounts[2]));
  Series4->replace(shown(FCounts[3]));
  // The axes span what is shown.
  qreal minX = 0, maxX = 255, maxY = 0;
  QAbstractSeries* series[4] = {Series1, Series2, Series3, Series4};
  bool any = false;
  for (int s = 0; s < 4; ++s) {
    if (!series[s]->isVisible()) continue;
    for (const QPointF& q : FCounts[std::size_t(s)]) {
      maxY = std::max(maxY, q.y());
      if (!any || q.x() > maxX) maxX = q.x();
      minX = std::min(minX, q.x());
      any = true;
    }
  }
  // Round numbers on the axes read better than the data's own ends. The bins
  // of an image with nothing above 0 run from its minimum up to 0.
  SetRoundTicks(FAxisX, minX, maxX > 0 ? maxX : minX < 0 ? 0 : 255);
  FAxisY->setRange(0, std::max<qreal>(maxY, 1) * 1.05);
  FAxisY->applyNiceNumbers();
  FLogAxisY->setRange(LogFloor, std::max<qreal>(maxY, 10) * 1.5);

  static const char* const Names[4] = {"Intensity", "Red", "Green", "Blue"};
  QStringList figures;
  for (int s = 0; s < 4; ++s)
    if (series[s]->isVisible() && !FCounts[std::size_t(s)].isEmpty())
      figures << QString::fromLatin1(Names[s]) + QStringLiteral(": ") + Accessibility::HistogramFigures(FCounts[std::size_t(s)]);
  if (log) figures << QStringLiteral("logarithmic count axis");
  Accessibility::DescribeChart(Chart1, figures.isEmpty() ? QStringLiteral("No histogram") : figures.join(QStringLiteral("; ")));
}
