#include "dialogs/HSIForm.h"

#include <QGridLayout>
#include <QLabel>
#include <QSlider>

#include "app/Accessibility.h"
#include "dialogs/DialogControls.h"
#include "engine/ColProcessing.h"

TfrmHSI* frmHSI = nullptr;

namespace {
QString DegreeText(int Position) { return QString::number(Position) + QString::fromUtf8("\u00B0"); }
}  // namespace

using namespace DialogControls;

TfrmHSI::TfrmHSI(QWidget* Parent) : TProcessingDialog(Parent) {
  setObjectName(QStringLiteral("frmHSI"));
  setWindowTitle(QStringLiteral("Hue, Saturation and Intensity"));
  setAccessibleName(windowTitle());
  HelpContext = 706;
  SetResultCaption(QStringLiteral("HSI Adjustment"));
  Accepts = TAccepts::ColourOnly;
  RefusalText = QStringLiteral("The HSI function can only be applied to colour images.");
  PreviewOnExecute = true;

  auto* grid = new QGridLayout;
  trkHue = TrackBar(this, "trkHue", QStringLiteral("Hue"), -180, 180, 0);
  trkSat = TrackBar(this, "trkSat", QStringLiteral("Saturation"), -100, 100, 0);
  trkInt = TrackBar(this, "trkInt", QStringLiteral("Intensity"), -100, 100, 0);
  lblHue = ValueLabel(this, "lblHue", QStringLiteral("Hue value"));
  lblSat = ValueLabel(this, "lblSat", QStringLiteral("Saturation value"));
  lblInt = ValueLabel(this, "lblInt", QStringLiteral("Intensity value"));
  Row(grid, 0, QStringLiteral("&Hue"), trkHue, lblHue);
  Row(grid, 1, QStringLiteral("&Saturation"), trkSat, lblSat);
  Row(grid, 2, QStringLiteral("&Intensity"), trkInt, lblInt);
  Accessibility::ReportShownValue(trkHue, DegreeText);
  for (QSlider* s : {trkSat, trkInt}) Accessibility::ReportShownValue(s, PercentText);
  Arrange(this, grid, MakePreview(), MakeDialogButtons());

  UpdateLabels();
  for (QSlider* s : {trkHue, trkSat, trkInt})
    connect(s, &QSlider::valueChanged, this, [this] {
      UpdateLabels();
      ParameterChanged();
    });
}

void TfrmHSI::UpdateLabels() {
  lblHue->setText(DegreeText(trkHue->value()));
  lblSat->setText(PercentText(trkSat->value()));
  lblInt->setText(PercentText(trkInt->value()));
}

void TfrmHSI::ReadParameters() {
  FHue = trkHue->value();
  FSat = trkSat->value();
  FInt = trkInt->value();
}

void TfrmHSI::RunOperation(TDataImage& Dst, TDataImage& Src) {
  ColHSIAdjust(Dst, Src, float(FHue), float((long double)FSat / 100), float((long double)FInt / 100));
}
