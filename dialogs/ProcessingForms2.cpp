#include <QAction>

#include "app/FormGroups.h"
#include "app/Main.h"
#include "dialogs/CombineForm.h"
#include "dialogs/CropForm.h"
#include "dialogs/ImageMathForm.h"

namespace {
template <typename T>
void Free(T*& Global) {
  delete Global;
  Global = nullptr;
}

template <typename F>
void OnAction(TMainForm* Form, const char* Name, F&& Handler) {
  if (QAction* action = Form->Action(QString::fromLatin1(Name)))
    QObject::connect(action, &QAction::triggered, Form, std::forward<F>(Handler));
}
}  // namespace

void CreateProcessingForms2(TMainForm* Form) {
  // In the order of the program's window list.
  frmCombine = new TfrmCombine(Form);
  frmCrop = new TfrmCrop(Form);
  frmImageMath = new TfrmImageMath(Form);

  OnAction(Form, "ProcessCrop", [Form] {
    if (!frmCrop || !Form->ActiveMDIChild()) return;
    frmCrop->Execute();
    Form->QuickLinearScaleUpdate();
  });
  OnAction(Form, "ProcessImageMath", [Form] {
    if (frmImageMath && Form->ActiveMDIChild()) frmImageMath->Execute();
  });
  OnAction(Form, "ProcessRGBCombine", [Form] {
    if (frmCombine && Form->ActiveMDIChild()) frmCombine->Execute();
  });
}

void FreeProcessingForms2() {
  Free(frmImageMath);
  Free(frmCrop);
  Free(frmCombine);
}
