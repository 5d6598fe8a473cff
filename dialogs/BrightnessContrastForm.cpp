#include "dialogs/BrightnessContrastForm.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>

#include "app/Accessibility.h"
#include "dialogs/DialogControls.h"
#include "engine/ColProcessing.h"
#include "engine/Processing.h"

TfrmBrightnessContrast* frmBrightnessContrast = nullptr;

using namespace DialogControls;

TfrmBrightnessContrast::TfrmBrightnessContrast(QWidget* Parent) : TProcessingDialog(Parent) {
  setObjectName(QStringLiteral("frmBrightnessContrast"));
  setWindowTitle(QStringLiteral("Brightness and Contrast"));
  setAccessibleName(windowTitle());
  HelpContext = 700;
  SetResultCaption(QStringLiteral("Brightness and Contrast"));
  PreviewOnActivate = true;

  auto* grid = new QGridLayout;
  trkBrightness = TrackBar(this, "trkBrightness", QStringLiteral("Brightness"), -100, 100, 0);
  trkContrast = TrackBar(this, "trkContrast", QStringLiteral("Contrast"), -100, 100, 0);
  lblBrightness = ValueLabel(this, "lblBrightness", QStringLiteral("Brightness value"));
  lblContrast = ValueLabel(this, "lblContrast", QStringLiteral("Contrast value"));
  Row(grid, 0, QStringLiteral("&Brightness"), trkBrightness, lblBrightness);
  Row(grid, 1, QStringLiteral("&Contrast"), trkContrast, lblContrast);
  for (QSlider* s : {trkBrightness, trkContrast}) Accessibility::ReportShownValue(s, PercentText);
  auto* controls = new QVBoxLayout;
  controls->addLayout(grid);
  controls->addWidget(MakeOutputRange(3));
  Arrange(this, controls, MakePreview(), MakeDialogButtons());

  UpdateLabels();
  for (QSlider* s : {trkBrightness, trkContrast})
    connect(s, &QSlider::valueChanged, this, [this] {
      UpdateLabels();
      ParameterChanged();
    });
}

void TfrmBrightnessContrast::UpdateLabels() {
  lblBrightness->setText(PercentText(trkBrightness->value()));
  lblContrast->setText(PercentText(trkContrast->value()));
}

void TfrmBrightnessContrast::ReadParameters() {
  FBrightness = trkBrightness->value();
  FContrast = trkContrast->value();
}

void TfrmBrightnessContrast::RunOperation(TDataImage& Dst, TDataImage& Src) {
  if (Src.IsColour)
    ColBrightnessContrast(FBrightness, FContrast, Dst, Src);
  else
    BrightnessContrast(FBrightness, FContrast, Dst, Src);
}
