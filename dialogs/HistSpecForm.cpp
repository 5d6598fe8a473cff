#include "dialogs/HistSpecForm.h"

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QSlider>
#include <QValueAxis>
#include <QVBoxLayout>

#include "app/Accessibility.h"
#include "app/Child.h"
#include "app/PreviewFrame.h"
#include "dialogs/BuddyLabel.h"
#include "dialogs/HistSpecCurves.h"
#include "engine/Checked.h"
#include "engine/ColHistogramSpecification.h"
#include "engine/HistogramSpecification.h"

TfrmHistogramSpec* frmHistogramSpec = nullptr;

TfrmHistogramSpec::TfrmHistogramSpec(QWidget* Parent) : TProcessingDialog(Parent) {
  setObjectName(QStringLiteral("frmHistogramSpec"));
  setWindowTitle(QStringLiteral("Histogram Specification"));
  setAccessibleName(QStringLiteral("Histogram Specification"));
  SetResultCaption(QStringLiteral("Histogram Specification"));

  auto* controls = new QGridLayout;
  cmbFunction = new QComboBox(this);
  cmbFunction->setObjectName(QStringLiteral("cmbFunction"));
  cmbFunction->addItems({QStringLiteral("Equalisation"), QStringLiteral("Gaussian"), QStringLiteral("Exponential"),
                         QStringLiteral("Parabolic"), QStringLiteral("Cubic"), QStringLiteral("Linear")});
  cmbFunction->setCurrentIndex(0);
  controls->addWidget(BuddyLabel(QStringLiteral("&Function type"), cmbFunction, this), 0, 0);
  controls->addWidget(cmbFunction, 0, 1);
  trkParam1 = new QSlider(Qt::Horizontal, this);
  trkParam1->setObjectName(QStringLiteral("trkParam1"));
  trkParam1->setRange(1, 255);
  trkParam1->setValue(128);
  trkParam1->setMinimumWidth(160);
  trkParam2 = new QSlider(Qt::Horizontal, this);
  trkParam2->setObjectName(QStringLiteral("trkParam2"));
  trkParam2->setRange(1, 100);
  trkParam2->setValue(16);
  Label2 = BuddyLabel(QStringLiteral("&Centre"), trkParam1, this);
  Label2->setObjectName(QStringLiteral("Label2"));
  Label3 = BuddyLabel(QStringLiteral("&Width"), trkParam2, this);
  Label3->setObjectName(QStringLiteral("Label3"));
  controls->addWidget(Label2, 1, 0);
  controls->addWidget(trkParam1, 1, 1);
  controls->addWidget(Label3, 2, 0);
  controls->addWidget(trkParam2, 2, 1);

  auto* function = new QGroupBox(QStringLiteral("Function"), this);
  auto* fl = new QVBoxLayout(function);
  Series1 = new QLineSeries;
  Series1->setColor(Qt::red);
  auto* chart = new QChart;
  chart->addSeries(Series1);
  chart->legend()->hide();
  auto* ax = new QValueAxis;
  auto* ay = new QValueAxis;
  chart->addAxis(ax, Qt::AlignBottom);
  chart->addAxis(ay, Qt::AlignLeft);
  Series1->attachAxis(ax);
  Series1->attachAxis(ay);
  ax->hide();
  ay->hide();
  chart->setMargins(QMargins(2, 2, 2, 2));
  Chart1 = new QChartView(chart, function);
  Chart1->setObjectName(QStringLiteral("Chart1"));
  Chart1->setAccessibleName(QStringLiteral("Target histogram"));
  Chart1->setRubberBand(QChartView::NoRubberBand);
  Chart1->setMinimumSize(220, 130);
  fl->addWidget(Chart1);

  auto* left = new QVBoxLayout;
  left->addLayout(controls);
  left->addWidget(function, 1);
  auto* top = new QHBoxLayout;
  top->addLayout(left, 1);
  top->addWidget(MakePreview());
  auto* all = new QVBoxLayout(this);
  all->addLayout(top);
  all->addLayout(MakeDialogButtons());

  UpdateParamControls();
  PlotFunction();
  connect(cmbFunction, &QComboBox::currentIndexChanged, this, [this] { UpdateFunction(); });
  connect(trkParam1, &QSlider::valueChanged, this, [this] { UpdateFunction(); });
  connect(trkParam2, &QSlider::valueChanged, this, [this] { UpdateFunction(); });
}

void TfrmHistogramSpec::UpdateParamControls() {
  const bool gaussian = cmbFunction->currentIndex() == 1;
  trkParam1->setEnabled(gaussian);
  trkParam2->setEnabled(gaussian);
  SetLabelEnabled(Label2, gaussian);
  SetLabelEnabled(Label3, gaussian);
}

void TfrmHistogramSpec::PlotFunction() {
  const std::vector<QPointF> points = HistogramTargetCurve(cmbFunction->currentIndex(), trkParam1->value(),
                                                           trkParam2->value());
  Series1->replace(QList<QPointF>(points.begin(), points.end()));
  // The axes follow the curve, as an automatic chart axis would.
  double maxX = 0, maxY = 0;
  for (const QPointF& p : points) {
    maxX = std::max(maxX, p.x());
    maxY = std::max(maxY, p.y());
  }
  const auto axes = Chart1->chart()->axes();
  if (axes.size() == 2) {
    axes[0]->setRange(0, std::max(1.0, maxX));
    axes[1]->setRange(0, std::max(1.0, maxY * 1.05));
  }
  Accessibility::DescribeChart(Chart1, cmbFunction->currentText() + QStringLiteral(": ") +
                                           Accessibility::ProfileFigures(QList<QPointF>(points.begin(), points.end())));
}

void TfrmHistogramSpec::UpdateFunction() {
  UpdateParamControls();
  PlotFunction();
  ParameterChanged();
}

void TfrmHistogramSpec::Prepare(TChildForm&) {
  UpdateParamControls();
  PlotFunction();
  UpdatePreview();
}

void TfrmHistogramSpec::ReadParameters() {
  FItem = cmbFunction->currentIndex();
  FCentre = trkParam1->value();
  FWidth = trkParam2->value() / 1024.0;
}

void TfrmHistogramSpec::RunOperation(TDataImage& Dst, TDataImage& Src) {
  if (Src.IsColour) {
    switch (FItem) {
      case 0: ColHistogramEqualise(Dst, Src); break;
      case 1: ColHistogramSpecGaussian(Dst, Src, FCentre, FWidth); break;
      case 2: ColHistogramSpecExponential(Dst, Src, FCentre); break;
      case 3: ColHistogramSpecParabolic(Dst, Src); break;
      case 4: ColHistogramSpecCubic(Dst, Src); break;
      case 5: ColHistogramSpecLinear(Dst, Src); break;
      default: break;
    }
  } else {
    switch (FItem) {
      case 0: HistogramEqualise(Dst, Src); break;
      case 1: HistogramSpecGaussian(Dst, Src, FCentre, FWidth); break;
      case 2: HistogramSpecExponential(Dst, Src, FCentre); break;
      case 3: HistogramSpecParabolic(Dst, Src); break;
      case 4: HistogramSpecCubic(Dst, Src); break;
      case 5: HistogramSpecLinear(Dst, Src); break;
      default: break;
    }
  }
}

bool TfrmHistogramSpec::CheckBeforeOK(TChildForm& Source) {
  // The matching fails for an image whose values are too small to give the
  // target any weight; try it on a scratch copy first, so that no window is
  // left holding a half-done result.
  const TDataImage& src = *Source.DataImage;
  TDataImage trial;
  if (!trial.Allocate(src.Width, src.Height, src.IsColour ? 0 : src.DataType, src.IsColour)) return true;
  try {
    RunOperation(trial, *Source.DataImage);
  } catch (const EngineFault&) {
    MessageBox::ShowWarning(
        QStringLiteral("The histogram of this image cannot be matched to the chosen shape: its values are too small."),
        this);
    return false;
  }
  return true;
}
