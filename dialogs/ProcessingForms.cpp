#include <QAction>

#include "app/FormGroups.h"
#include "app/Main.h"
#include "dialogs/GammaForm.h"

namespace {
template <class T>
void Create(T*& Global, TMainForm* Form) {
  Global = new T(Form);
}
template <class T>
void Free(T*& Global) {
  delete Global;
  Global = nullptr;
}
template <class T>
void Run(TMainForm* Form, const char* Action, T* const& Global) {
  if (QAction* a = Form->Action(QString::fromLatin1(Action)))
    QObject::connect(a, &QAction::triggered, Form, [&Global] {
      if (Global) Global->Execute();
    });
}
}  // namespace

void CreateProcessingForms(TMainForm* Form) {
  Create(frmGamma, Form);
  Run(Form, "ScaleGamma", frmGamma);
}

void FreeProcessingForms() { Free(frmGamma); }
