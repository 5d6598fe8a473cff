#include <QAction>
#include <functional>

#include "app/FormGroups.h"
#include "app/Main.h"
#include "dialogs/BrightnessContrastForm.h"
#include "dialogs/ColourBalanceForm.h"
#include "dialogs/DDPForm.h"
#include "dialogs/FFTFilterForm.h"
#include "dialogs/GammaForm.h"
#include "dialogs/HSIForm.h"
#include "dialogs/HomomorphicForm.h"
#include "dialogs/LinearForm.h"
#include "dialogs/LogForm.h"
#include "dialogs/NoiseFilterForms.h"
#include "dialogs/PixelMathForm.h"
#include "dialogs/ResampleForm.h"
#include "dialogs/RotateForm.h"
#include "dialogs/UnsharpMaskForm.h"

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
void On(TMainForm* Form, const char* Action, std::function<void()> Handler) {
  if (QAction* a = Form->Action(QString::fromLatin1(Action)))
    QObject::connect(a, &QAction::triggered, Form, [Handler] { Handler(); });
}
// The command opens the dialog held in Global.
template <class T>
void Run(TMainForm* Form, const char* Action, T* const& Global) {
  On(Form, Action, [&Global] {
    if (Global) Global->Execute();
  });
}
}  // namespace

void CreateProcessingForms(TMainForm* Form) {
  Create(frmBrightnessContrast, Form);
  Create(frmGamma, Form);
  Create(frmLog, Form);
  Create(frmUnsharpMask, Form);
  Create(frmColourBalance, Form);
  Create(frmHSI, Form);
  Create(frmHomomorphic, Form);
  Create(frmFFTFilter, Form);
  Create(frmRotate, Form);
  Create(frmResample, Form);
  Create(frmPixelMath, Form);
  Create(frmNoiseFilter, Form);
  Create(frmAdaptiveMMSE, Form);
  Create(frmAdaptiveDWMTM, Form);
  Create(frmContraHarmonic, Form);
  Create(frmAlphaTrimmed, Form);
  Create(frmDDP, Form);
  Create(frmLinear, Form);

  Run(Form, "ScaleBriCon", frmBrightnessContrast);
  Run(Form, "ScaleGamma", frmGamma);
  Run(Form, "ScaleLog", frmLog);
  Run(Form, "FilterUnsharpMask", frmUnsharpMask);
  Run(Form, "ScaleColourBalance", frmColourBalance);
  Run(Form, "ScaleHSI", frmHSI);
  Run(Form, "FilterHomomorphic", frmHomomorphic);
  Run(Form, "FilterFFT", frmFFTFilter);
  Run(Form, "ProcessRotate", frmRotate);
  On(Form, "ProcessFlipTopToBottom", [] {
    if (frmRotate) frmRotate->Flip(0);
  });
  On(Form, "ProcessFlipLeftToRight", [] {
    if (frmRotate) frmRotate->Flip(1);
  });
  Run(Form, "ProcessResample", frmResample);
  Run(Form, "ProcessPixelMath", frmPixelMath);
  Run(Form, "FilterNoise", frmNoiseFilter);
  Run(Form, "FilterAdaptiveMMSE", frmAdaptiveMMSE);
  Run(Form, "FilterAdaptiveDWMTM", frmAdaptiveDWMTM);
  Run(Form, "FilterCHMean", frmContraHarmonic);
  Run(Form, "FilterATMean", frmAlphaTrimmed);
  Run(Form, "ScaleDDP", frmDDP);
  Run(Form, "ScaleLinear", frmLinear);
}

void FreeProcessingForms() {
  Free(frmLinear);
  Free(frmDDP);
  Free(frmAlphaTrimmed);
  Free(frmContraHarmonic);
  Free(frmAdaptiveDWMTM);
  Free(frmAdaptiveMMSE);
  Free(frmNoiseFilter);
  Free(frmPixelMath);
  Free(frmResample);
  Free(frmRotate);
  Free(frmFFTFilter);
  Free(frmHomomorphic);
  Free(frmHSI);
  Free(frmColourBalance);
  Free(frmUnsharpMask);
  Free(frmLog);
  Free(frmGamma);
  Free(frmBrightnessContrast);
}
