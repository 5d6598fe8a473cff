#include <QAction>

#include "analysis/view3d/SurfacePropertiesForm.h"
#include "analysis/view3d/VisualisationForm.h"
#include "app/FormGroups.h"
#include "app/Main.h"

void CreateView3DForms(TMainForm* Form) {
  frmSurfaceProperties = new TfrmSurfaceProperties(Form);
  frm3DVisu = new Tfrm3DVisu(Form);
  // The properties come first; their OK opens the view.
  if (QAction* a = Form->Action(QStringLiteral("Statistics3DVisu")))
    QObject::connect(a, &QAction::triggered, frmSurfaceProperties, [] { frmSurfaceProperties->ShowModal(); });
}

void FreeView3DForms() {
  delete frm3DVisu;
  frm3DVisu = nullptr;
  delete frmSurfaceProperties;
  frmSurfaceProperties = nullptr;
}
