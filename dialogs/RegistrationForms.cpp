#include <QAction>

#include "app/FormGroups.h"
#include "app/Main.h"
#include "app/QuickScaleForm.h"
#include "dialogs/AddPointForm.h"
#include "dialogs/DeleteMarkerForm.h"
#include "dialogs/FFTCorrelationForm.h"
#include "dialogs/FFTEditForm.h"
#include "dialogs/RegisterImagesForm.h"

void CreateRegistrationForms(TMainForm* Form) {
  frmAddPoint = new TfrmAddPoint(Form);
  frmDeleteMarker = new TfrmDeleteMarker(Form);
  frmFFTCorrelation = new TfrmFFTCorrelation(Form);
  frmRegisterImage = new TfrmRegisterImage(Form);
  frmFFTEdit = new TfrmFFTEdit(Form);

  QObject::connect(Form->Action(QStringLiteral("EditAddMarker")), &QAction::triggered, frmAddPoint, [] {
    frmAddPoint->show();
    frmAddPoint->raise();
    // The keyboard goes with it, as it does to a dialog.
    frmAddPoint->activateWindow();
  });
  QObject::connect(Form->Action(QStringLiteral("EditDeleteMarker")), &QAction::triggered, frmDeleteMarker,
                   [] { frmDeleteMarker->Execute(); });
  QObject::connect(Form->Action(QStringLiteral("ProcessRegisterImages")), &QAction::triggered, frmRegisterImage, [] {
    frmRegisterImage->Execute();
    if (frmQuickLinearScale && frmQuickLinearScale->isVisible()) frmQuickLinearScale->UpdateFromImage();
  });
  QObject::connect(Form->Action(QStringLiteral("ProcessFFTCorrelation")), &QAction::triggered, frmFFTCorrelation,
                   [] { frmFFTCorrelation->Execute(); });
  QObject::connect(Form->Action(QStringLiteral("FilterEditFFT")), &QAction::triggered, frmFFTEdit,
                   [] { frmFFTEdit->Execute(); });

  // The add-marker window follows whether any image window is open.
  Form->OnImageOpened = [Previous = Form->OnImageOpened] {
    if (Previous) Previous();
    if (frmAddPoint) frmAddPoint->EnableControls();
  };
  Form->OnImageClosed = [Previous = Form->OnImageClosed](bool LastWindow) {
    if (Previous) Previous(LastWindow);
    if (frmAddPoint) frmAddPoint->DisableControls();
  };
}

void FreeRegistrationForms() {
  delete frmFFTEdit;
  frmFFTEdit = nullptr;
  delete frmRegisterImage;
  frmRegisterImage = nullptr;
  delete frmFFTCorrelation;
  frmFFTCorrelation = nullptr;
  delete frmDeleteMarker;
  frmDeleteMarker = nullptr;
  delete frmAddPoint;
  frmAddPoint = nullptr;
}
