#include <QAction>

#include "app/FormGroups.h"
#include "app/Main.h"
#include "dialogs/CalibrateForm.h"
#include "dialogs/ImageCombineForm.h"

void CreateRestorationForms(TMainForm* Form) {
  frmCalibrate = new TfrmCalibrate(Form);
  frmImageCombine = new TfrmImageCombine(Form);
  QObject::connect(Form->Action(QStringLiteral("ProcessCalibrate")), &QAction::triggered, Form,
                   [] { frmCalibrate->ShowModal(); });
  QObject::connect(Form->Action(QStringLiteral("ProcessCombine")), &QAction::triggered, Form,
                   [] { frmImageCombine->ShowModal(); });
}

void FreeRestorationForms() {
  delete frmImageCombine;
  frmImageCombine = nullptr;
  delete frmCalibrate;
  frmCalibrate = nullptr;
}
