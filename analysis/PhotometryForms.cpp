#include <QAction>

#include "analysis/AddApatureForm.h"
#include "analysis/MIPhotForm.h"
#include "analysis/PhotometryGridForm.h"
#include "analysis/PhotometryRefForm.h"
#include "analysis/PhotometrySettingsForm.h"
#include "app/Child.h"
#include "app/FormGroups.h"
#include "app/Main.h"

namespace {
template <typename T>
void Free(T*& Global) {
  delete Global;
  Global = nullptr;
}
}  // namespace

void CreatePhotometryForms(TMainForm* Form) {
  // In the program's window order.
  frmAddApature = new TfrmAddApature(Form);
  frmPhotSettings = new TfrmPhotSettings(Form);
  frmPhotRefStar = new TfrmPhotRefStar(Form);
  frmPhotometryGrid = new TfrmPhotometryGrid(Form);
  frmMIPhot = new TfrmMIPhot(Form);
  Form->PhotometryGridWindow = frmPhotometryGrid;

  auto on = [Form](const char* Name, auto Handler) {
    QObject::connect(Form->Action(QString::fromLatin1(Name)), &QAction::triggered, Form, Handler);
  };
  // The window comes with the keyboard, so its boxes can be typed in at once.
  on("PhotometryAddApature", [] {
    frmAddApature->show();
    frmAddApature->raise();
    frmAddApature->activateWindow();
  });
  on("PhotometrySetup", [] { frmPhotSettings->ShowModal(); });
  on("PhotometryResults", [] {
    frmPhotometryGrid->show();
    frmPhotometryGrid->raise();
    frmPhotometryGrid->activateWindow();
  });
  on("PhotometryMultiImage", [] { frmMIPhot->ShowModal(); });
  on("PhotometryCalcMag", [Form] {
    if (TChildForm* child = Form->ActiveMDIChild()) child->DifferentialPhotometry();
  });
}

void FreePhotometryForms() {
  if (MainForm && MainForm->PhotometryGridWindow == frmPhotometryGrid) MainForm->PhotometryGridWindow = nullptr;
  Free(frmMIPhot);
  Free(frmPhotometryGrid);
  Free(frmPhotRefStar);
  Free(frmPhotSettings);
  Free(frmAddApature);
}
