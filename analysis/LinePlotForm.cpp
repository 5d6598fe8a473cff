#include "analysis/LinePlotForm.h"

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QToolButton>
#include <QValueAxis>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "analysis/ChartTools.h"
#include "app/Accessibility.h"
#include "app/Child.h"
#include "app/FormSupport.h"
#include "app/Main.h"
#include "app/ToolWindows.h"
#include "dialogs/BuddyLabel.h"

TfrmLinePlot* frmLinePlot = nullptr;

TfrmLinePlot::TfrmLinePlot(QWidget* Parent) : QWidget(Parent, Qt::Tool | Qt::WindowStaysOnTopHint) {
  setObjectName(QStringLiteral("frmLinePlot"));
  KeyboardOrder::Install(this);
  ToolWindows::Install(this);
  Accessibility::ExposeWindow(this);
  setWindowTitle(QStringLiteral("Line Plot"));
  setAccessibleName(QStringLiteral("Line Plot"));
  QChart* chart = MakeChart(QStringLiteral("Line Plot"));
  auto line = [chart](const char* Name, QColor Colour) {
    auto* s = new QLineSeries;
    s->setObjectName(QString::fromLatin1(Name));
    s->setPen(QPen(Colour, 1));
    chart->addSeries(s);
    return s;
  };
  Series1 = line("Series1", Qt::black);
  Series2 = line("Series2", Qt::red);
  Series3 = line("Series3", QColor(0, 128, 0));
  Series4 = line("Series4", Qt::blue);
  FAxisX = MakeValueAxis(QStringLiteral("Pixel Number"));
  FAxisY = MakeValueAxis(QStringLiteral("Pixel Value"));
  chart->addAxis(FAxisX, Qt::AlignBottom);
  chart->addAxis(FAxisY, Qt::AlignLeft);
  for (QAbstractSeries* s : chart->series()) {
    s->attachAxis(FAxisX);
    s->attachAxis(FAxisY);
  }
  Chart1 = new QChartView(chart, this);
  Chart1->setObjectName(QStringLiteral("Chart1"));
  Chart1->setAccessibleName(QStringLiteral("Line plot chart"));
  Chart1->setRenderHint(QPainter::Antialiasing);

  auto* panel = new QWidget(this);
  Tools = new TChartTools(Chart1, panel, QStringLiteral("Save|Save the line plot"),
                          QStringLiteral("Copy|Copy the line plot to the clipboard"),
                          QStringLiteral("Print|Print the line plot"));
  cmbChannel = new QComboBox(panel);
  cmbChannel->setObjectName(QStringLiteral("cmbChannel"));
  cmbChannel->setAccessibleName(QStringLiteral("Channel"));
  cmbChannel->addItems({QStringLiteral("Intensity"), QStringLiteral("RGB"), QStringLiteral("Red"),
                        QStringLiteral("Green"), QStringLiteral("Blue")});
  cmbChannel->setCurrentIndex(0);
  lblChannel = new QLabel(QStringLiteral("&Channel"), panel);
  lblChannel->setObjectName(QStringLiteral("lblChannel"));
  lblChannel->setBuddy(cmbChannel);
  Tools->LayOut(this, panel, {lblChannel, cmbChannel});
  resize(560, 380);
  UpdateChannels();
  connect(cmbChannel, &QComboBox::currentIndexChanged, this, [this] { UpdateChannels(); });
}

QList<QPointF> TfrmLinePlot::Stairs(const std::vector<double>& Samples) {
  QList<QPointF> points;
  points.reserve(qsizetype(Samples.size() * 2));
  for (std::size_t i = 0; i < Samples.size(); ++i) {
    points.append(QPointF(qreal(i), Samples[i]));
    points.append(QPointF(qreal(i + 1), Samples[i]));
  }
  return points;
}

void TfrmLinePlot::Begin(int Position, bool IsRow) {
  for (auto& s : FSamples) s.clear();
  const TChildForm* child = MainForm ? MainForm->ActiveMDIChild() : nullptr;
  const QString caption = child ? child->Caption() : QString();
  SetChartTitle(Chart1->chart(),
                QStringLiteral("Corvelle Image Line Plot - ") + caption +
                    (IsRow ? QStringLiteral(" - Row [%1]") : QStringLiteral(" - Col [%1]")).arg(Position),
                ChartDateTime());
}

void TfrmLinePlot::PlotGrey(const std::vector<float>& Values, int Position, bool IsRow) {
  Begin(Position, IsRow);
  FSamples[0].assign(Values.begin(), Values.end());
  {
    const QSignalBlocker block(cmbChannel);
    cmbChannel->setCurrentIndex(0);
  }
  UpdateChannels();
  cmbChannel->setEnabled(false);
  SetLabelEnabled(lblChannel, false);
}

void TfrmLinePlot::PlotColour(const std::vector<TRGBPixel>& Values, int Position, bool IsRow) {
  Begin(Position, IsRow);
  for (auto& s : FSamples) s.reserve(Values.size());
  for (const TRGBPixel& p : Values) {
    // The intensity is the plain mean, not rounded.
    FSamples[0].push_back(double((long double)(p.Red + p.Green + p.Blue) / 3));
    FSamples[1].push_back(p.Red);
    FSamples[2].push_back(p.Green);
    FSamples[3].push_back(p.Blue);
  }
  cmbChannel->setEnabled(true);
  SetLabelEnabled(lblChannel, true);
  UpdateChannels();
}

void TfrmLinePlot::UpdateChannels() {
  static constexpr bool Active[5][4] = {{true, false, false, false},
                                        {false, true, true, true},
                                        {false, true, false, false},
                                        {false, false, true, false},
                                        {false, false, false, true}};
  const int item = std::clamp(cmbChannel->currentIndex(), 0, 4);
  QLineSeries* series[4] = {Series1, Series2, Series3, Series4};
  for (int s = 0; s < 4; ++s) series[s]->setVisible(Active[item][s]);
  ShowSeries();
}

void TfrmLinePlot::ShowSeries() {
  QLineSeries* series[4] = {Series1, Series2, Series3, Series4};
  double lo = 0, hi = 0;
  bool any = false;
  std::size_t count = 0;
  for (int s = 0; s < 4; ++s) {
    // Only what is shown is handed to the chart: long profiles draw faster.
    const auto& v = FSamples[std::size_t(s)];
    series[s]->replace(series[s]->isVisible() ? Stairs(v) : QList<QPointF>());
    if (!series[s]->isVisible() || v.empty()) continue;
    const auto [mn, mx] = std::minmax_element(v.begin(), v.end());
    lo = any ? std::min(lo, *mn) : *mn;
    hi = any ? std::max(hi, *mx) : *mx;
    any = true;
    count = std::max(count, v.size());
  }
  // A flat profile still needs an axis of some height; at large values a
  // step of 1 is lost in the rounding, so it grows with the value.
  if (hi <= lo) hi = lo + std::max(1.0, std::abs(lo) * 1e-6);
  SetRoundTicks(FAxisX, 0, double(std::max<std::size_t>(count, 1)));
  FAxisY->setRange(lo, hi);
  FAxisY->applyNiceNumbers();

  static const char* const Names[4] = {"Intensity", "Red", "Green", "Blue"};
  QStringList figures;
  for (int s = 0; s < 4; ++s) {
    const auto& v = FSamples[std::size_t(s)];
    if (!series[s]->isVisible() || v.empty()) continue;
    QList<QPointF> points;
    for (std::size_t i = 0; i < v.size(); ++i) points.append(QPointF(qreal(i), v[i]));
    figures << QString::fromLatin1(Names[s]) + QStringLiteral(": ") + Accessibility::ProfileFigures(points);
  }
  Accessibility::DescribeChart(Chart1, figures.isEmpty() ? QStringLiteral("No profile") : figures.join(QStringLiteral("; ")));
}
