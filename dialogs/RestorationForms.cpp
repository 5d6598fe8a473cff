#include <QAction>

#include "app/FormGroups.h"
#include "app/Main.h"
#include "dialogs/CalibrateForm.h"
#include "dialogs/DeconvolutionForms.h"
#include "dialogs/ImageCombineForm.h"

void CreateRestorationForms(TMainForm* Form) {
  frmMaximumEntropy = new TfrmMaximumEntropy(Form);
  frmLucyRichardson = new TfrmLucyRichardson(Form);
  frmVanCittert = new TfrmVanCittert(Form);
  frmCalibrate = new TfrmCalibrate(Form);
  frmImageCombine = new TfrmImageCombine(Form);
  QObject::connect(Form->Action(QStringLiteral("RestorationMaxEntropy")), &QAction::triggered, Form,
                   [] { frmMaximumEntropy->Execute(); });
  QObject::connect(Form->Action(QStringLiteral("RestorationLucyRichardson")), &QAction::triggered, Form,
                   [] { frmLucyRichardson->Execute(); });
  QObject::connect(Form->Action(QStringLiteral("RestorationVanCittert")), &QAction::triggered, Form,
                   [] { frmVanCittert->Execute(); });
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
  delete frmVanCittert;
  frmVanCittert = nullptr;
  delete frmLucyRichardson;
  frmLucyRichardson = nullptr;
  delete frmMaximumEntropy;
  frmMaximumEntropy = nullptr;
}
