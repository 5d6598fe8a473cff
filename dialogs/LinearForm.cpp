#include "dialogs/LinearForm.h"

#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineSeries>
#include <QValueAxis>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "app/Accessibility.h"
#include "app/Child.h"
#include "app/FloatEdit.h"
#include "app/QVRSlider.h"
#include "dialogs/DialogControls.h"
#include "engine/ColProcessing.h"
#include "engine/ColStatistics.h"
#include "engine/Processing.h"
#include "engine/Statistics.h"
#include "platform/NumFormat.h"

TfrmLinear* frmLinear = nullptr;

using namespace DialogControls;

namespace {
// ClampByte(Round(V)), clamped first so that huge values stay defined.
std::uint8_t ByteOf(long double V) {
  if (!(V > 0)) return 0;
  if (V >= 255) return 255;
  return std::uint8_t(std::nearbyint(V));
}

long double TwoDecimals(long double V) {
  long double r = 0;
  if (!NumFormat::TryStrToFloat(NumFormat::FormatFloat("0.00", V), r)) return V;
  return r;
}

// The slider's track (5 .. width - 5) lies under the chart's plot area.
constexpr int SliderWidth = 266, PlotLeft = 40, PlotRight = 10, PlotTop = 8, PlotBottom = 8;
constexpr int ChartWidth = PlotLeft + (SliderWidth - 10) + PlotRight, ChartHeight = 150;
}  // namespace

TfrmLinear::TfrmLinear(QWidget* Parent) : TProcessingDialog(Parent) {
  setObjectName(QStringLiteral("frmLinear"));
  setWindowTitle(QStringLiteral("Linear Scale"));
  setAccessibleName(windowTitle());
  SetResultCaption(QStringLiteral("Linear Scale"));
  PreviewOnActivate = true;

  auto* chart = new QChart;
  chart->legend()->hide();
  chart->setMargins(QMargins(0, 0, 0, 0));
  chart->setBackgroundRoundness(0);
  Series1 = new QAreaSeries;
  // The area series does not own its two lines: give them to it.
  FUpper = new QLineSeries(Series1);
  FLower = new QLineSeries(Series1);
  Series1->setUpperSeries(FUpper);
  Series1->setLowerSeries(FLower);
  Series1->setObjectName(QStringLiteral("Series1"));
  Series1->setBrush(Qt::white);
  Series1->setPen(Qt::NoPen);
  chart->addSeries(Series1);
  FAxisX = new QValueAxis;
  FAxisX->setLabelsVisible(false);
  FAxisX->setGridLineVisible(false);
  FAxisY = new QValueAxis;
  FAxisY->setLabelFormat(QStringLiteral("%g"));
  FAxisY->setTickCount(3);
  chart->addAxis(FAxisX, Qt::AlignBottom);
  chart->addAxis(FAxisY, Qt::AlignLeft);
  Series1->attachAxis(FAxisX);
  Series1->attachAxis(FAxisY);
  Chart1 = new QChartView(chart, this);
  Chart1->setObjectName(QStringLiteral("Chart1"));
  Chart1->setAccessibleName(QStringLiteral("Histogram"));
  Accessibility::DescribeChart(Chart1, QStringLiteral("Histogram: ") + Accessibility::HistogramFigures({}));
  Chart1->setFrameShape(QFrame::NoFrame);
  Chart1->setRenderHint(QPainter::Antialiasing, false);
  Chart1->setFixedSize(ChartWidth, ChartHeight);
  chart->setPlotArea(QRectF(PlotLeft, PlotTop, SliderWidth - 10, ChartHeight - PlotTop - PlotBottom));
  // A dark ground, so that the white histogram stands out.
  chart->setBackgroundVisible(false);
  Chart1->setBackgroundBrush(QColor(40, 40, 48));
  FAxisY->setLabelsBrush(QColor(220, 220, 220));
  FAxisY->setGridLineColor(QColor(80, 80, 90));
  FAxisY->setLinePenColor(QColor(120, 120, 130));
  FAxisX->setLinePenColor(QColor(120, 120, 130));

  QVRSlider = new TQVRSlider(this);
  QVRSlider->setObjectName(QStringLiteral("QVRSlider"));
  QVRSlider->setAccessibleName(QStringLiteral("Black and white points"));
  QVRSlider->setFixedSize(SliderWidth, 12);

  auto* grid = new QGridLayout;
  // Levels below 0 are common (frames with their bias or dark taken off).
  fedMin = FloatBox(this, "fedMin", QStringLiteral("Minimum"), -2e32L, 2e32L, 1, 0);
  fedMax = FloatBox(this, "fedMax", QStringLiteral("Maximum"), 0, 2e32L, 1, 255);
  Row(grid, 0, QStringLiteral("M&inimum"), fedMin);
  Row(grid, 1, QStringLiteral("M&aximum"), fedMax);

  auto* controls = new QVBoxLayout;
  controls->addWidget(Chart1);
  auto* sliderRow = new QHBoxLayout;
  sliderRow->setContentsMargins(PlotLeft - 5, 0, 0, 0);
  sliderRow->addWidget(QVRSlider);
  sliderRow->addStretch(1);
  controls->addLayout(sliderRow);
  auto* lower = new QHBoxLayout;
  lower->addLayout(grid);
  lower->addWidget(MakeOutputRange(0));
  controls->addLayout(lower);
  Arrange(this, controls, MakePreview(), MakeDialogButtons());

  QVRSlider->OnChange = [this](TQVRSlider*) { QVRSliderChange(); };
  fedMin->OnKeyPress = [this](TFloatEdit* s, QChar& k) { fedKeyPress(s, k); };
  fedMax->OnKeyPress = [this](TFloatEdit* s, QChar& k) { fedKeyPress(s, k); };
}

void TfrmLinear::SetPoints(const QList<QPointF>& Points) {
  FPoints = Points;
  QList<QPointF> upper, lower;
  qreal top = 1, right = 1;
  for (const QPointF& p : Points) {
    upper.push_back(p);
    lower.push_back(QPointF(p.x(), 0));
    top = std::max(top, p.y());
    right = std::max(right, p.x());
  }
  FUpper->replace(upper);
  FLower->replace(lower);
  // The chart spans the slider's track.
  FAxisX->setRange(QVRSlider->Origin(), std::max<qreal>(right, QVRSlider->MaxVal));
  FAxisY->setRange(0, top);
  Accessibility::DescribeChart(Chart1, QStringLiteral("Histogram: ") + Accessibility::HistogramFigures(Points));
}

void TfrmLinear::Prepare(TChildForm& Source) {
  const TDataImage& image = *Source.DataImage;
  QList<QPointF> points;
  const int x2 = image.Width - 1, y2 = image.Height - 1;
  if (image.IsColour) {
    TColRegionHistogram h{};
    ColCalcRegionHistogram(0, 0, x2, y2, image, h);
    for (int i = 0; i < 256; ++i) points.push_back(QPointF(i, h.Intensity[i]));
    fedMax->SetMaxValue(255);
    QVRSlider->MinVal = 0;
    QVRSlider->MaxVal = 255;
  } else {
    // A histogram that cannot be had plots nothing.
    TRegionHistogram h{};
    CalcRegionHistogram(0, 0, x2, y2, image, h);
    if (h.Scale != 0.0f)
      for (int i = 0; i < 256; ++i) points.push_back(QPointF(double(h.Level(i)), h.Counts[i]));
    fedMax->SetMaxValue(2e32L);
    fedMax->SetValue(image.WhitePoint);
    fedMin->SetValue(image.BlackPoint);
    QVRSlider->MinVal = h.Min;
    QVRSlider->MaxVal = h.Max;
  }
  SetPoints(points);
  PlaceThumbs(image.BlackPoint, image.WhitePoint);
}

void TfrmLinear::PlaceThumbs(long double Low, long double High) {
  // A level beyond the track puts its thumb at that end, and its box keeps
  // the level until that thumb is moved.
  QVRSlider->ShowLevels(float(Low), float(High));
}

void TfrmLinear::showEvent(QShowEvent* Event) {
  TProcessingDialog::showEvent(Event);
  QVRSlider->Redraw();
}

bool TfrmLinear::BoxesDiffer() const {
  try {
    return fedMin->Value() != fedMax->Value();
  } catch (...) {
    return false;
  }
}

void TfrmLinear::QVRSliderChange() {
  // A thumb at the end of the track for a level beyond it leaves its box.
  if (!QVRSlider->LowBeyond()) fedMin->SetValue(TwoDecimals(QVRSlider->Val1));
  if (!QVRSlider->HighBeyond()) fedMax->SetValue(TwoDecimals(QVRSlider->Val2));
  if (BoxesDiffer()) {
    ParameterChanged();
    update();
  }
}

void TfrmLinear::fedKeyPress(TFloatEdit* Sender, QChar& Key) {
  if (Key != QChar(13) || !BoxesDiffer()) return;
  try {
    PlaceThumbs(fedMin->Value(), fedMax->Value());
  } catch (...) {
    return;
  }
  Key = QChar(0);
  Sender->selectAll();
  UpdatePreview();
  update();
}

void TfrmLinear::ReadParameters() {
  FMin = fedMin->ConstrainedValue();
  FMax = fedMax->ConstrainedValue();
}

bool TfrmLinear::CheckBeforeOK(TChildForm&) { return FMin != FMax; }

void TfrmLinear::RunOperation(TDataImage& Dst, TDataImage& Src) {
  if (Src.IsColour)
    ColLinearScale(ByteOf(FMin), ByteOf(FMax), Dst, Src);
  else
    LinearStretch(Dst, Src, float(FMin), float(FMax));
}
