#include "app/StartUp.h"

#include <QApplication>
#include <QScreen>

#include "app/AboutForm.h"
#include "app/AnnotationForm.h"
#include "app/Child.h"
#include "app/FileManager.h"
#include "app/FormGroups.h"
#include "app/Main.h"
#include "app/NewForm.h"
#include "app/PreferencesForm.h"
#include "app/PrintForm.h"
#include "app/QuickScaleForm.h"
#include "app/QuickZoomForm.h"
#include "app/ZoomForm.h"
#include "dialogs/FITSHeaderForm.h"
#include "dialogs/FITSOptionsForm.h"
#include "dialogs/FileOptionsForm.h"
#include "dialogs/ImportForm.h"
#include "dialogs/JPEGOptionsForm.h"
#include "platform/Application.h"

namespace {
template <typename T>
void Create(T*& Global, TMainForm* Form) {
  Global = new T(Form);
}
template <typename T>
void Free(T*& Global) {
  delete Global;
  Global = nullptr;
}
}  // namespace

void CreateForms(TMainForm* Form) {
  // The order of the program's window list; windows that later parts of the
  // program bring are created at their places once they exist.
  Create(frmZoom, Form);
  Create(frmAnnotation, Form);
  Create(frmFileOptions, Form);
  Create(frmFITSHeader, Form);
  Create(frmImport, Form);
  Create(frmPreferences, Form);
  Create(frmPrint, Form);
  Create(frmQuickZoom, Form);
  Create(frmQuickLinearScale, Form);
  Create(frmAbout, Form);
  Create(frmNew, Form);
  Create(frmFITSOptions, Form);
  Create(frmJPEGOptions, Form);
  CreateProcessingForms(Form);
  CreateProcessingForms2(Form);
  CreateRegistrationForms(Form);
  CreateRestorationForms(Form);
  CreateAnalysisForms(Form);
  CreatePhotometryForms(Form);
  CreateView3DForms(Form);

  frmQuickZoom->hide();
  frmQuickLinearScale->hide();
  // Where the tool windows first appear: at the right edge of the screen,
  // below the menus and toolbars.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    frmQuickLinearScale->move(area.right() - frmQuickLinearScale->width() - 24, area.top() + 140);
    frmQuickZoom->move(area.right() - 200, area.top() + 460);
  }
  Form->OnQuickLinearScaleUpdate = [] {
    if (frmQuickLinearScale) frmQuickLinearScale->UpdateFromImage();
  };
  Form->OnImageWindowActivated = [](TChildForm*) {
    if (frmQuickLinearScale && frmQuickLinearScale->isVisible()) frmQuickLinearScale->UpdateFromImage();
  };
  Form->OnImageWindowFirstDraw = [](TChildForm* Child) {
    if (frmQuickLinearScale) frmQuickLinearScale->FollowNewWindow(Child);
  };
  // The groups' own hooks (set above) run after the quick linear scale window's.
  Form->OnImageOpened = [Group = Form->OnImageOpened] {
    if (frmQuickLinearScale) frmQuickLinearScale->EnableControls();
    if (Group) Group();
  };
  Form->OnImageClosed = [Group = Form->OnImageClosed](bool LastWindow) {
    if (frmQuickLinearScale) frmQuickLinearScale->ClearControls();
    if (Group) Group(LastWindow);
  };
  JPEGOptionsDialog = [](TJPEGSaveOptions& Options) { return frmJPEGOptions->Execute(Options); };
  FITSOptionsDialog = [](TChildForm*) { return frmFITSOptions->ShowModal(); };
  FITSNewHeaderBITPIX = [] { return frmFileOptions->NewHeaderBITPIX(); };
  Form->StartedUp = true;
}

void FreeForms() {
  JPEGOptionsDialog = nullptr;
  FITSOptionsDialog = nullptr;
  FITSNewHeaderBITPIX = nullptr;
  if (MainForm) {
    MainForm->OnQuickLinearScaleUpdate = nullptr;
    MainForm->OnImageWindowActivated = nullptr;
    MainForm->OnImageWindowFirstDraw = nullptr;
    MainForm->OnImageOpened = nullptr;
    MainForm->OnImageClosed = nullptr;
  }
  FreeView3DForms();
  FreePhotometryForms();
  FreeAnalysisForms();
  FreeRestorationForms();
  FreeRegistrationForms();
  FreeProcessingForms2();
  FreeProcessingForms();
  Free(frmJPEGOptions);
  Free(frmFITSOptions);
  Free(frmNew);
  Free(frmAbout);
  Free(frmQuickLinearScale);
  Free(frmQuickZoom);
  Free(frmPrint);
  Free(frmPreferences);
  Free(frmImport);
  Free(frmFITSHeader);
  Free(frmFileOptions);
  Free(frmAnnotation);
  Free(frmZoom);
}

int RunProgram(int& argc, char** argv) {
  TApplication app(argc, argv);
  app.SetTitle(QStringLiteral("Corvelle Image 2.5ZUL"));
  app.setApplicationName(QStringLiteral("Corvelle Image 2.5ZUL"));
  app.SetHelpFile(QString());
  InstallEngineMessageBoxes();

  auto* splash = new TfrmSplash;
  splash->show();
  splash->repaint();
  QApplication::processEvents();

  int rc = 0;
  {
    TMainForm form;
    MainForm = &form;
    CreateForms(&form);
    splash->hide();
    delete splash;
    form.show();
    rc = app.exec();
    // Image windows first, while the dialogs they may call still exist.
    for (TChildForm* child : form.MDIChildren()) {
      child->setAttribute(Qt::WA_DeleteOnClose, false);
      delete child;
    }
    FreeForms();
    MainForm = nullptr;
  }
  return rc;
}
