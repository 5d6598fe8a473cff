#include "dialogs/PixelMathForm.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>
#include <cfloat>
#include <cmath>

#include "app/FloatEdit.h"
#include "dialogs/DialogControls.h"
#include "engine/ColMath.h"
#include "engine/ImageMath.h"
#include "dialogs/BuddyLabel.h"

TfrmPixelMath* frmPixelMath = nullptr;

using namespace DialogControls;

TfrmPixelMath::TfrmPixelMath(QWidget* Parent) : TProcessingDialog(Parent) {
  setObjectName(QStringLiteral("frmPixelMath"));
  setWindowTitle(QStringLiteral("Pixel Math"));
  setAccessibleName(windowTitle());
  HelpContext = 504;
  SetResultCaption(QStringLiteral("Pixel Math"));
  ResetsLUT = false;

  grpOperator = RadioGroup(this, "grpOperator", QStringLiteral("Operator"),
                           {QStringLiteral("&Add"), QStringLiteral("&Subtract"), QStringLiteral("&Multiply"),
                            QStringLiteral("&Divide"), QStringLiteral("&Log10"), QStringLiteral("Square &Root")},
                           0, OperatorButtons);
  auto* grid = new QGridLayout;
  fedValue = FloatBox(this, "fedValue", QStringLiteral("Value"), 0, 0, 1, 0);
  lblValue = Row(grid, 0, QStringLiteral("&Value"), fedValue, nullptr, "lblValue");
  auto* controls = new QVBoxLayout;
  controls->addWidget(grpOperator);
  controls->addLayout(grid);
  Arrange(this, controls, nullptr, MakeDialogButtons());
  connect(OperatorButtons, &QButtonGroup::idToggled, this, [this](int, bool On) {
    if (On) grpOperatorClick();
  });
}

void TfrmPixelMath::grpOperatorClick() {
  // Log10 and square root take no value.
  const bool takesValue = OperatorButtons->checkedId() < 4;
  SetLabelEnabled(lblValue, takesValue);
  fedValue->setEnabled(takesValue);
}

void TfrmPixelMath::ReadParameters() {
  FOperator = std::max(0, OperatorButtons->checkedId());
  const long double v = fedValue->ConstrainedValue();
  // The box has no range, but the routine takes a Single.
  if (!(std::fabs(v) <= (long double)FLT_MAX)) throw EPropertyError("The value is too large.");
  FValue = float(v);
}

void TfrmPixelMath::RunOperation(TDataImage& Dst, TDataImage& Src) {
  if (Src.IsColour)
    ColPixelMath(std::uint8_t(FOperator), Dst, Src, FValue);
  else
    PixelMath(std::uint8_t(FOperator), Dst, Src, FValue);
}
