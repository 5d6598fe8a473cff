#include "dialogs/LogForm.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>

#include "app/Accessibility.h"
#include "dialogs/DialogControls.h"
#include "engine/ColProcessing.h"
#include "engine/Processing.h"

TfrmLog* frmLog = nullptr;

namespace {
QString FactorText(int Position) { return QString::number(Position); }
}  // namespace

using namespace DialogControls;

TfrmLog::TfrmLog(QWidget* Parent) : TProcessingDialog(Parent) {
  setObjectName(QStringLiteral("frmLog"));
  setWindowTitle(QStringLiteral("Log Scale"));
  setAccessibleName(windowTitle());
  HelpContext = 703;
  SetResultCaption(QStringLiteral("Log Scale"));
  PreviewOnActivate = true;

  auto* grid = new QGridLayout;
  trkLog = TrackBar(this, "trkLog", QStringLiteral("Scale factor"), 1, 10000, 50);
  lblLog = ValueLabel(this, "lblLog", QStringLiteral("Scale factor value"));
  Row(grid, 0, QStringLiteral("&Scale factor"), trkLog, lblLog);
  Accessibility::ReportShownValue(trkLog, FactorText);
  auto* controls = new QVBoxLayout;
  controls->addLayout(grid);
  controls->addWidget(MakeOutputRange(3));
  Arrange(this, controls, MakePreview(), MakeDialogButtons());

  UpdateLabels();
  connect(trkLog, &QSlider::valueChanged, this, [this] {
    UpdateLabels();
    ParameterChanged();
  });
}

void TfrmLog::UpdateLabels() { lblLog->setText(FactorText(trkLog->value())); }

void TfrmLog::ReadParameters() { FPosition = trkLog->value(); }

void TfrmLog::RunOperation(TDataImage& Dst, TDataImage& Src) {
  // The grey routine takes the position itself, the colour one a hundredth.
  if (Src.IsColour)
    ColLogScale(Dst, Src, float((long double)FPosition / 100));
  else
    LogScale(Dst, Src, float(FPosition));
}
