#include "app/QuickScaleForm.h"

#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

#include "app/Accessibility.h"
#include "app/Child.h"
#include "app/FloatEdit.h"
#include "app/FormSupport.h"
#include "app/Main.h"
#include "app/QVRSlider.h"
#include "app/ToolWindows.h"
#include "engine/ColProcessing.h"
#include "platform/NumFormat.h"

TfrmQuickLinearScale* frmQuickLinearScale = nullptr;

namespace {
// A logarithmic axis shows no zero: empty bins sit on this floor.
constexpr qreal CountFloor = 0.5;

long double TwoDecimals(float V) {
  long double r = 0;
  NumFormat::TryStrToFloat(NumFormat::FormatFloat("0.00", V), r);
  return r;
}
}  // namespace

TfrmQuickLinearScale::TfrmQuickLinearScale(QWidget* Parent) : QWidget(Parent, Qt::Tool | Qt::WindowStaysOnTopHint) {
  setObjectName(QStringLiteral("frmQuickLinearScale"));
  KeyboardOrder::Install(this);
  ToolWindows::Install(this);
  Accessibility::ExposeWindow(this);
  setWindowTitle(QStringLiteral("Quick Scale"));
  setAccessibleName(QStringLiteral("Quick Scale"));

  auto* chart = new QChart;
  chart->legend()->hide();
  chart->setTitle(QString());
  chart->setMargins(QMargins(2, 2, 2, 2));
  chart->setBackgroundRoundness(0);
  Series1 = new QAreaSeries;
  // The area series does not own its two lines: give them to it.
  FUpper = new QLineSeries(Series1);
  FLower = new QLineSeries(Series1);
  Series1->setUpperSeries(FUpper);
  Series1->setLowerSeries(FLower);
  Series1->setObjectName(QStringLiteral("Series1"));
  Series1->setBrush(QColor(48, 72, 128));
  Series1->setPen(QPen(QColor(48, 72, 128), 1));
  Series1->setPointLabelsVisible(false);
  chart->addSeries(Series1);
  FAxisX = new QValueAxis;
  FAxisX->setLabelFormat(QStringLiteral("%g"));
  FAxisX->setTickCount(3);
  FAxisY = new QLogValueAxis;
  // Counts up to 10^8 ("1e+08") must stay readable beside the fixed plot area.
  FAxisY->setLabelFormat(QStringLiteral("%g"));
  QFont labels = FAxisY->labelsFont();
  labels.setPixelSize(9);
  FAxisY->setLabelsFont(labels);
  FAxisX->setLabelsFont(labels);
  FAxisY->setBase(10);
  chart->addAxis(FAxisX, Qt::AlignBottom);
  chart->addAxis(FAxisY, Qt::AlignLeft);
  Series1->attachAxis(FAxisX);
  Series1->attachAxis(FAxisY);
  FAxisY->setRange(CountFloor, 10);
  FAxisX->setRange(0, 255);
  // Fixed places: the slider's track (pixel 5 to width - 5) lies exactly
  // under the chart's plot area, so each thumb points at its histogram value.
  constexpr int chartW = 328, chartH = 196, plotLeft = 48, plotTop = 8, plotRight = 24, plotBottom = 28;
  Chart = new QChartView(chart, this);
  Chart->setObjectName(QStringLiteral("Chart"));
  Chart->setAccessibleName(QStringLiteral("Histogram"));
  Accessibility::DescribeChart(Chart, QStringLiteral("Histogram: ") + Accessibility::HistogramFigures({}));
  Chart->setFrameShape(QFrame::NoFrame);
  Chart->setFocusPolicy(Qt::NoFocus);  // a picture: the keyboard starts on the first box
  Chart->setRenderHint(QPainter::Antialiasing, false);
  Chart->setGeometry(6, 6, chartW, chartH);
  chart->setPlotArea(QRectF(plotLeft, plotTop, chartW - plotLeft - plotRight, chartH - plotTop - plotBottom));
  chart->setPlotAreaBackgroundBrush(Qt::white);
  chart->setPlotAreaBackgroundVisible(true);

  QVRSlider = new TQVRSlider(this);
  QVRSlider->setObjectName(QStringLiteral("QVRSlider"));
  QVRSlider->setAccessibleName(QStringLiteral("Minimum and maximum levels"));
  QVRSlider->setGeometry(6 + plotLeft - 5, 6 + chartH + 2, chartW - plotLeft - plotRight + 10, 12);
  auto* boxes = new QWidget(this);
  boxes->setGeometry(6, 6 + chartH + 18, chartW, 58);
  fedMin = new TFloatEdit(boxes);
  fedMin->setObjectName(QStringLiteral("fedMin"));
  fedMax = new TFloatEdit(boxes);
  fedMax->setObjectName(QStringLiteral("fedMax"));
  cmbPresets = new QComboBox(boxes);
  cmbPresets->setObjectName(QStringLiteral("cmbPresets"));
  cmbPresets->addItems({QStringLiteral("Max Pixel"), QStringLiteral("Max Hist."), QStringLiteral("User")});

  auto* grid = new QGridLayout(boxes);
  grid->setContentsMargins(0, 0, 0, 0);
  // Each caption sits over its box, is tied to it, and the box speaks it.
  QWidget* controls[] = {fedMin, fedMax, cmbPresets};
  const QString captions[] = {QStringLiteral("Minimum"), QStringLiteral("Maximum"), QStringLiteral("Settings")};
  for (int column = 0; column < 3; ++column) {
    auto* caption = new QLabel(captions[column], boxes);
    caption->setBuddy(controls[column]);
    controls[column]->setAccessibleName(captions[column]);
    grid->addWidget(caption, 0, column);
    grid->addWidget(controls[column], 1, column);
  }
  setFixedSize(chartW + 12, 6 + chartH + 18 + 58 + 6);

  QVRSlider->OnChange = [this](TQVRSlider*) { QVRSliderChange(); };
  QVRSlider->OnMouseDown = [this](TQVRSlider*, Qt::MouseButton, int, int) { QVRSliderMouseDown(); };
  QVRSlider->OnMouseUp = [this](TQVRSlider*, Qt::MouseButton, int, int) { QVRSliderMouseUp(); };
  fedMin->OnKeyPress = [this](TFloatEdit* s, QChar& k) { fedKeyPress(s, k); };
  fedMax->OnKeyPress = [this](TFloatEdit* s, QChar& k) { fedKeyPress(s, k); };
  connect(cmbPresets, &QComboBox::activated, this, [this](int) { cmbPresetsChange(); });

  // Until an image window exists.
  for (QWidget* w : {static_cast<QWidget*>(QVRSlider), static_cast<QWidget*>(fedMin),
                     static_cast<QWidget*>(fedMax), static_cast<QWidget*>(cmbPresets)})
    w->setEnabled(false);
  QVRSlider->Redraw();
  cmbPresets->setCurrentIndex(0);
}

QList<QPointF> TfrmQuickLinearScale::Points() const { return FPoints; }

void TfrmQuickLinearScale::SetPoints(const QList<QPointF>& Points) {
  FPoints = Points;
  QList<QPointF> upper, lower;
  qreal top = 10, left = 0, right = 1;
  if (!Points.isEmpty()) {
    left = Points.first().x();
    right = Points.last().x();
  }
  for (const QPointF& p : Points) {
    upper.push_back(QPointF(p.x(), std::max(p.y(), CountFloor)));
    lower.push_back(QPointF(p.x(), CountFloor));
    top = std::max(top, p.y() * 2);
  }
  FUpper->replace(upper);
  FLower->replace(lower);
  // The axis spans the slider's track, which may start below the first bin.
  // The last bin of an image with nothing above 0 stands for 0, give or take
  // the rounding of a Single scale: the axis ends at 0.
  left = std::min<qreal>(left, QVRSlider->Origin());
  if (QVRSlider->MaxVal == 0.0f && left < 0 && std::fabs(right) < 1e-5 * -left) right = 0;
  if (right <= left) right = left + 1;
  FAxisX->setRange(left, right);
  FAxisY->setRange(CountFloor, top);
  Accessibility::DescribeChart(Chart, QStringLiteral("Histogram: ") + Accessibility::HistogramFigures(Points));
}

void TfrmQuickLinearScale::UpdateFromImage() {
  // Hidden, it leaves each window the levels it has: a new one keeps those it
  // was first drawn with, as its reader or its command gave them. Shown
  // again, it follows the active window.
  if (!isVisible()) return;
  Follow(MainForm ? MainForm->ActiveMDIChild() : nullptr, true);
}

void TfrmQuickLinearScale::FollowNewWindow(TChildForm* Child) {
  // As activating the window would do later, so that its picture stays.
  if (!isVisible() || !Child) return;
  Follow(Child, false);
  // A window made behind the active one leaves the panel to the active one.
  TChildForm* active = MainForm ? MainForm->ActiveMDIChild() : nullptr;
  if (active && active != Child) UpdateFromImage();
}

bool TfrmQuickLinearScale::NewWindowLevels(bool Colour, float Min, float Max, float& Black, float& White) const {
  if (!isVisible()) return false;
  // As Follow and the preset set them, the slider's own rounding aside.
  if (Colour) {
    Black = 0.0f;
    White = 255.0f;
  } else if (Min == 0.0f && Max == 0.0f) {
    Black = 0.0f;
    White = 1.0f;
  } else {
    Black = float(TwoDecimals(Min));
    White = float(TwoDecimals(Max));
  }
  return true;
}

void TfrmQuickLinearScale::Follow(TChildForm* Child, bool Render) {
  if (!Child || Child->HistogramDirty) return;
  const TDataImage& image = *Child->DataImage;
  QList<QPointF> points;
  if (image.IsColour) {
    for (int i = 0; i < 256; ++i) points.push_back(QPointF(i, Child->ColourHistogram.Intensity[std::size_t(i)]));
    QVRSlider->MinVal = 0.0f;
    QVRSlider->MaxVal = 255.0f;
    SetPoints(points);
  } else {
    const TRegionHistogram& h = Child->GreyHistogram;
    // A failed histogram (Scale 0) shows like an all-zero image.
    if ((h.Min == 0.0f && h.Max == 0.0f) || h.Scale == 0.0f) {
      QVRSlider->MinVal = 0.0f;
      QVRSlider->MaxVal = 1.0f;
      SetPoints({});
    } else {
      for (int i = 0; i < 256; ++i) points.push_back(QPointF(double(h.Level(i)), h.Counts[std::size_t(i)]));
      QVRSlider->MaxVal = h.Max;
      QVRSlider->MinVal = h.Min;
      SetPoints(points);
    }
  }
  cmbPresets->setCurrentIndex(std::min<int>(image.ScaleMode, 2));
  ApplyPreset(Child, Render);
}

void TfrmQuickLinearScale::ApplyPreset(TChildForm* Child, bool Render) {
  if (!Child) return;
  TDataImage& image = *Child->DataImage;
  const int preset = cmbPresets->currentIndex();
  image.ScaleMode = std::uint8_t(preset);
  switch (preset) {
    case 0: ShowRange(QVRSlider->MinVal, QVRSlider->MaxVal); break;
    case 1: {
      int low = -1, high = -1;
      for (int i = 0; i < 256; ++i) {
        const int count = image.IsColour ? Child->ColourHistogram.Intensity[std::size_t(i)]
                                         : Child->GreyHistogram.Counts[std::size_t(i)];
        if (count == 0) continue;
        if (low < 0) low = i;
        high = i;
      }
      if (low < 0) break;
      auto value = [&](int bin) { return image.IsColour ? float(bin) : float(Child->GreyHistogram.Level(bin)); };
      // Negative pixels all fall into bin 0, whose lowest value is the minimum.
      const float lowValue = !image.IsColour && low == 0 && Child->GreyHistogram.Min < 0.0f
                                 ? Child->GreyHistogram.Min
                                 : value(low);
      ShowRange(lowValue, value(high));
      break;
    }
    case 2: ShowRange(image.BlackPoint, image.WhitePoint); break;
    default: break;
  }
  ApplyLevels(Child, Render);
}

void TfrmQuickLinearScale::ShowRange(float Low, float High) {
  // A level beyond the track rests its thumb at the end, while the boxes, and
  // so the applied levels, keep the image's own values: never the previous
  // image's numbers, nor the track's end for a level the user set.
  QVRSlider->ShowLevels(Low, High);
}

void TfrmQuickLinearScale::ApplyLevels() { ApplyLevels(MainForm ? MainForm->ActiveMDIChild() : nullptr, true); }

void TfrmQuickLinearScale::ApplyLevels(TChildForm* Child, bool Render) {
  if (!Child) return;
  TDataImage& image = *Child->DataImage;
  const long double low = fedMin->Value(), high = fedMax->Value();
  if (image.IsColour) {
    TLUT table = image.LUT;
    if (MakeLinearTable(table, float(low), float(high))) image.SetLUT(table);
  }
  image.BlackPoint = float(low);
  image.WhitePoint = float(high);
  image.ScaleMode = std::uint8_t(cmbPresets->currentIndex());
  if (!Render) return;
  Child->UpdateImage();
  Child->update();
}

void TfrmQuickLinearScale::cmbPresetsChange() {
  ApplyPreset(MainForm ? MainForm->ActiveMDIChild() : nullptr);
}

void TfrmQuickLinearScale::QVRSliderChange() {
  // A level beyond the track is the thumb's value as it was set.
  fedMin->SetValue(QVRSlider->LowBeyond() ? QVRSlider->Val1 : TwoDecimals(QVRSlider->Val1));
  fedMax->SetValue(QVRSlider->HighBeyond() ? QVRSlider->Val2 : TwoDecimals(QVRSlider->Val2));
}

void TfrmQuickLinearScale::QVRSliderMouseDown() {
  cmbPresets->setCurrentIndex(2);
  if (TChildForm* child = MainForm ? MainForm->ActiveMDIChild() : nullptr) child->DataImage->ScaleMode = 2;
}

void TfrmQuickLinearScale::QVRSliderMouseUp() { ApplyLevels(); }

void TfrmQuickLinearScale::fedKeyPress(TFloatEdit* Sender, QChar& Key) {
  if (Key.unicode() != 13) return;
  cmbPresets->setCurrentIndex(2);
  ShowRange(float(fedMin->Value()), float(fedMax->Value()));
  ApplyLevels();
  Key = QChar(0);
  Sender->selectAll();
}

void TfrmQuickLinearScale::EnableControls() {
  for (QWidget* w : {static_cast<QWidget*>(QVRSlider), static_cast<QWidget*>(fedMin),
                     static_cast<QWidget*>(fedMax), static_cast<QWidget*>(cmbPresets)})
    w->setEnabled(true);
}

void TfrmQuickLinearScale::ClearControls() {
  SetPoints({});
  for (QWidget* w : {static_cast<QWidget*>(QVRSlider), static_cast<QWidget*>(fedMin),
                     static_cast<QWidget*>(fedMax), static_cast<QWidget*>(cmbPresets)})
    w->setEnabled(false);
}

void TfrmQuickLinearScale::showEvent(QShowEvent* Event) {
  QWidget::showEvent(Event);
  UpdateFromImage();
}
