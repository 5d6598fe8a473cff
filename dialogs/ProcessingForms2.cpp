#include <QAction>
#include <QList>

#include "app/FormGroups.h"
#include "app/Main.h"
#include "dialogs/CombineForm.h"
#include "dialogs/CropForm.h"
#include "dialogs/CustomFilterForm.h"
#include "dialogs/HistSpecForm.h"
#include "dialogs/ImageMathForm.h"
#include "dialogs/PseudoColourForm.h"

namespace {
template <typename T>
void Free(T*& Global) {
  delete Global;
  Global = nullptr;
}

// The commands' connections, undone when the windows go, so that windows
// made again are not run twice by one command.
QList<QMetaObject::Connection>& Connections() {
  static QList<QMetaObject::Connection> list;
  return list;
}

template <typename F>
void OnAction(TMainForm* Form, const char* Name, F&& Handler) {
  if (QAction* action = Form->Action(QString::fromLatin1(Name)))
    Connections() << QObject::connect(action, &QAction::triggered, Form, std::forward<F>(Handler));
}
}  // namespace

void CreateProcessingForms2(TMainForm* Form) {
  // In the order of the program's window list.
  frmCombine = new TfrmCombine(Form);
  frmCrop = new TfrmCrop(Form);
  frmCustomFilter = new TfrmCustomFilter(Form);
  frmImageMath = new TfrmImageMath(Form);
  frmPseudoColour = new TfrmPseudoColour(Form);
  frmHistogramSpec = new TfrmHistogramSpec(Form);

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
  OnAction(Form, "FilterCustom", [] {
    if (frmCustomFilter) frmCustomFilter->Execute();
  });
  OnAction(Form, "ScalePseudoColour", [] {
    if (frmPseudoColour) frmPseudoColour->Execute();
  });
  OnAction(Form, "ScaleHistogramSpec", [] {
    if (frmHistogramSpec) frmHistogramSpec->Execute();
  });
}

void FreeProcessingForms2() {
  for (const QMetaObject::Connection& c : Connections()) QObject::disconnect(c);
  Connections().clear();
  Free(frmHistogramSpec);
  Free(frmPseudoColour);
  Free(frmImageMath);
  Free(frmCustomFilter);
  Free(frmCrop);
  Free(frmCombine);
}
