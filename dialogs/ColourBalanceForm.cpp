#include "dialogs/ColourBalanceForm.h"

#include <QGridLayout>
#include <QLabel>
#include <QSlider>

#include "app/Accessibility.h"
#include "dialogs/DialogControls.h"
#include "engine/ColProcessing.h"

TfrmColourBalance* frmColourBalance = nullptr;

using namespace DialogControls;

TfrmColourBalance::TfrmColourBalance(QWidget* Parent) : TProcessingDialog(Parent) {
  setObjectName(QStringLiteral("frmColourBalance"));
  setWindowTitle(QStringLiteral("Colour Balance"));
  setAccessibleName(windowTitle());
  HelpContext = 705;
  SetResultCaption(QStringLiteral("Colour Balance"));
  Accepts = TAccepts::ColourOnly;
  RefusalText = QStringLiteral("The colour balance function can only be applied to colour images.");
  PreviewOnActivate = true;

  auto* grid = new QGridLayout;
  trkRed = TrackBar(this, "trkRed", QStringLiteral("Red"), -100, 100, 0);
  trkGreen = TrackBar(this, "trkGreen", QStringLiteral("Green"), -100, 100, 0);
  trkBlue = TrackBar(this, "trkBlue", QStringLiteral("Blue"), -100, 100, 0);
  lblRed = ValueLabel(this, "lblRed", QStringLiteral("Red value"));
  lblGreen = ValueLabel(this, "lblGreen", QStringLiteral("Green value"));
  lblBlue = ValueLabel(this, "lblBlue", QStringLiteral("Blue value"));
  Row(grid, 0, QStringLiteral("&Red"), trkRed, lblRed);
  Row(grid, 1, QStringLiteral("&Green"), trkGreen, lblGreen);
  Row(grid, 2, QStringLiteral("&Blue"), trkBlue, lblBlue);
  for (QSlider* s : {trkRed, trkGreen, trkBlue}) Accessibility::ReportShownValue(s, PercentText);
  Arrange(this, grid, MakePreview(), MakeDialogButtons());

  UpdateLabels();
  for (QSlider* s : {trkRed, trkGreen, trkBlue})
    connect(s, &QSlider::valueChanged, this, [this] {
      UpdateLabels();
      ParameterChanged();
    });
}

void TfrmColourBalance::UpdateLabels() {
  lblRed->setText(PercentText(trkRed->value()));
  lblGreen->setText(PercentText(trkGreen->value()));
  lblBlue->setText(PercentText(trkBlue->value()));
}

void TfrmColourBalance::ReadParameters() {
  FRed = trkRed->value();
  FGreen = trkGreen->value();
  FBlue = trkBlue->value();
}

void TfrmColourBalance::RunOperation(TDataImage& Dst, TDataImage& Src) {
  ColColourBalance(FRed, FGreen, FBlue, Dst, Src);
}
