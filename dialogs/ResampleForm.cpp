#include "dialogs/ResampleForm.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>
#include <climits>
#include <cmath>

#include "app/Child.h"
#include "app/IntEdit.h"
#include "dialogs/DialogControls.h"
#include "engine/ColGeometry.h"
#include "engine/Geometry.h"
#include "engine/Errors.h"
#include "dialogs/BuddyLabel.h"

TfrmResample* frmResample = nullptr;

using namespace DialogControls;

TfrmResample::TfrmResample(QWidget* Parent) : TProcessingDialog(Parent) {
  setObjectName(QStringLiteral("frmResample"));
  setWindowTitle(QStringLiteral("Resample"));
  setAccessibleName(windowTitle());
  HelpContext = 502;
  SetResultCaption(QStringLiteral("Resample"));
  ResetsLUT = false;

  auto* current = new QGroupBox(QStringLiteral("Current Image"), this);
  current->setAccessibleName(QStringLiteral("Current Image"));
  auto* currentGrid = new QGridLayout(current);
  txtWidth = new QLineEdit(current);
  txtWidth->setObjectName(QStringLiteral("txtWidth"));
  txtWidth->setReadOnly(true);
  txtWidth->setAccessibleName(QStringLiteral("Current width"));
  txtHeight = new QLineEdit(current);
  txtHeight->setObjectName(QStringLiteral("txtHeight"));
  txtHeight->setReadOnly(true);
  txtHeight->setAccessibleName(QStringLiteral("Current height"));
  Row(currentGrid, 0, QStringLiteral("W&idth"), txtWidth);
  Row(currentGrid, 1, QStringLiteral("H&eight"), txtHeight);

  auto* grid = new QGridLayout;
  iedWidth = IntBox(this, "iedWidth", QStringLiteral("New width"), 1, 65535, 1, 1);
  iedHeight = IntBox(this, "iedHeight", QStringLiteral("New height"), 1, 65535, 1, 1);
  Row(grid, 0, QStringLiteral("New &width"), iedWidth);
  lblHeight = Row(grid, 1, QStringLiteral("New &height"), iedHeight, nullptr, "lblHeight");
  chkAspect = new QCheckBox(QStringLiteral("&Preserve aspect ratio"), this);
  chkAspect->setObjectName(QStringLiteral("chkAspect"));
  chkAspect->setAccessibleName(QStringLiteral("Preserve aspect ratio"));
  chkAspect->setChecked(true);
  SetLabelEnabled(lblHeight, false);
  iedHeight->setEnabled(false);
  grid->addWidget(chkAspect, 2, 0, 1, 2);

  auto* controls = new QVBoxLayout;
  controls->addWidget(current);
  controls->addLayout(grid);
  Arrange(this, controls, nullptr, MakeDialogButtons());

  connect(iedWidth, &QLineEdit::textChanged, this, [this] { iedWidthChange(); });
  connect(chkAspect, &QCheckBox::toggled, this, [this] { chkAspectClick(); });
}

long long TfrmResample::AspectHeight(int NewWidth, long double CurrentWidth, long double CurrentHeight) {
  const long double h = std::nearbyint((long double)NewWidth * (CurrentHeight / CurrentWidth));
  if (!std::isfinite(h)) return 0;
  return h > (long double)LLONG_MAX ? LLONG_MAX : (long long)h;
}

void TfrmResample::Prepare(TChildForm& Source) {
  txtWidth->setText(QString::number(Source.DataImage->Width));
  txtHeight->setText(QString::number(Source.DataImage->Height));
  iedWidth->SetValue(Source.DataImage->Width);
  iedHeight->SetValue(Source.DataImage->Height);
}

void TfrmResample::iedWidthChange() {
  if (!chkAspect->isChecked()) return;
  bool okW = false, okH = false;
  const long double w = txtWidth->text().toLongLong(&okW), h = txtHeight->text().toLongLong(&okH);
  if (!okW || !okH || w <= 0) return;
  try {
    iedHeight->SetValue(iedHeight->Constrain(AspectHeight(iedWidth->Value(), w, h)));
  } catch (...) {
    // A width still being typed proposes nothing.
  }
}

void TfrmResample::chkAspectClick() {
  const bool free = !chkAspect->isChecked();
  SetLabelEnabled(lblHeight, free);
  iedHeight->setEnabled(free);
  if (!free) iedWidthChange();
}

void TfrmResample::ReadParameters() {
  FWidth = iedWidth->ConstrainedValue();
  FHeight = iedHeight->ConstrainedValue();
}

bool TfrmResample::CheckBeforeOK(TChildForm& Source) {
  // The planes are indexed with 32-bit counts, and a size memory cannot give
  // would leave an empty result window.
  const long long count = (long long)FWidth * FHeight;
  if (count > INT_MAX) {
    MessageBox::ShowWarning(QStringLiteral("An image of %1 x %2 pixels is too large: there is not enough memory for it.")
                                .arg(FWidth)
                                .arg(FHeight),
                            this);
    return false;
  }
  TDataImage probe;
  if (!probe.Allocate(FWidth, FHeight, Source.DataImage->IsColour ? 0 : Source.DataImage->DataType,
                      Source.DataImage->IsColour) ||
      !probe.HasPlanes()) {
    MessageBox::ShowError(QString::fromLatin1(OutOfMemoryText), this);
    return false;
  }
  return true;
}

void TfrmResample::RunOperation(TDataImage& Dst, TDataImage& Src) {
  if (Src.IsColour)
    ColResample(FWidth, FHeight, Dst, Src);
  else
    Resample(FWidth, FHeight, Dst, Src);
}
