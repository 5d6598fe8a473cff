#include "dialogs/RotateForm.h"

#include <QGridLayout>
#include <utility>

#include "app/Child.h"
#include "app/FloatEdit.h"
#include "app/Main.h"
#include "app/Utilities.h"
#include "dialogs/DialogControls.h"
#include "engine/ColGeometry.h"
#include "engine/Geometry.h"

TfrmRotate* frmRotate = nullptr;

using namespace DialogControls;

TfrmRotate::TfrmRotate(QWidget* Parent) : TProcessingDialog(Parent) {
  setObjectName(QStringLiteral("frmRotate"));
  setWindowTitle(QStringLiteral("Rotate"));
  setAccessibleName(windowTitle());
  HelpContext = 501;
  SetResultCaption(QStringLiteral("Rotate"));
  ResetsLUT = false;

  auto* grid = new QGridLayout;
  fedAngle = FloatBox(this, "fedAngle", QStringLiteral("Rotation angle"), -360, 360, 1, 0);
  Row(grid, 0, QStringLiteral("Rotation &angle"), fedAngle);
  Arrange(this, grid, nullptr, MakeDialogButtons());
}

void TfrmRotate::ReadParameters() { FAngle = float(fedAngle->ConstrainedValue()); }

void TfrmRotate::RunOperation(TDataImage& Dst, TDataImage& Src) {
  if (Src.IsColour)
    ColRotate(Dst, Src, FAngle);
  else
    Rotate(Dst, Src, FAngle);
}

void TfrmRotate::Flip(std::uint8_t Direction) {
  TChildForm* result = nullptr;
  try {
    TChildForm* source = ActiveChild();
    if (!source || !source->DataImage) return;
    result = CopyImageWindow(source);
    if (!result) return;
    TFailureWatch watch;
    if (source->DataImage->IsColour)
      ColFlip(Direction, *result->DataImage, *source->DataImage);
    else
      ::Flip(Direction, *result->DataImage, *source->DataImage);
    if (watch.Failed()) {
      result->Discard();  // the routine has said why
      return;
    }
    result->SetCaption(QStringLiteral("Flip"));
    std::exchange(result, nullptr)->UpdateImage();
    if (MainForm) MainForm->QuickLinearScaleUpdate();
  } catch (...) {
    DiscardFailedResult(result);
  }
}
