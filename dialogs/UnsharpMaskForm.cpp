#include "dialogs/UnsharpMaskForm.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>

#include "app/Accessibility.h"
#include "dialogs/DialogControls.h"
#include "engine/ColProcessing.h"
#include "engine/Processing.h"
#include "platform/NumFormat.h"

TfrmUnsharpMask* frmUnsharpMask = nullptr;

namespace {
QString PowerText(int Position) {
  return QString::fromStdString(NumFormat::FormatFloat("0.0", (long double)Position / 10));
}
}  // namespace

using namespace DialogControls;

TfrmUnsharpMask::TfrmUnsharpMask(QWidget* Parent) : TProcessingDialog(Parent) {
  setObjectName(QStringLiteral("frmUnsharpMask"));
  setWindowTitle(QStringLiteral("Unsharp Mask"));
  setAccessibleName(windowTitle());
  HelpContext = 817;
  SetResultCaption(QStringLiteral("Unsharp Mask"));
  PreviewOnActivate = true;

  auto* grid = new QGridLayout;
  trkPower = TrackBar(this, "trkPower", QStringLiteral("Power"), 1, 100, 10);
  lblStrength = ValueLabel(this, "lblStrength", QStringLiteral("Power value"));
  Row(grid, 0, QStringLiteral("&Power"), trkPower, lblStrength);
  Accessibility::ReportShownValue(trkPower, PowerText);
  grpBlur = RadioGroup(this, "grpBlur", QStringLiteral("Blurring Strength"),
                       {QStringLiteral("&Minimum"), QStringLiteral("M&edium"), QStringLiteral("Ma&ximum")}, 0,
                       BlurButtons);
  auto* controls = new QVBoxLayout;
  controls->addLayout(grid);
  controls->addWidget(grpBlur);
  Arrange(this, controls, MakePreview(), MakeDialogButtons());

  UpdateLabels();
  auto changed = [this] {
    UpdateLabels();
    ParameterChanged();
  };
  connect(trkPower, &QSlider::valueChanged, this, changed);
  connect(BlurButtons, &QButtonGroup::idToggled, this, [changed](int, bool On) {
    if (On) changed();
  });
}

void TfrmUnsharpMask::UpdateLabels() {
  lblStrength->setText(PowerText(trkPower->value()));
}

void TfrmUnsharpMask::ReadParameters() {
  const int item = std::max(0, BlurButtons->checkedId());
  FSize = 3 + 2 * item;
  FAmount = float((long double)trkPower->value() / 10);
}

void TfrmUnsharpMask::RunOperation(TDataImage& Dst, TDataImage& Src) {
  if (Src.IsColour)
    ColUnsharpMask(FSize, Dst, Src, FAmount);
  else
    UnsharpMask(FSize, Dst, Src, FAmount);
}
