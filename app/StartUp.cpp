#include "app/StartUp.h"

#include <QApplication>
#include <QScreen>
#include <pthread.h>
#include <sys/mman.h>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>

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
#include "platform/MessageBox.h"
#include "platform/PageMemory.h"

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

namespace {
[[noreturn]] void EndForWantOfMemory(bool BoxesWork) {
  bool said = false;
  if (BoxesWork) {
    try {
      MessageBox::ShowError(QString::fromLatin1(msgNoMemoryToStart));
      said = true;
    } catch (...) {
    }
  }
  if (!said) std::fprintf(stderr, "%s\n", msgNoMemoryToStart);
  std::_Exit(1);
}

// While the windows are made, a failed allocation must not throw: the
// exception would pass through the toolkit's constructors, which do not undo
// what they did before it, and the windows half made could be neither used nor
// taken apart. The first failure gives up a block kept for the purpose, so
// that the start-up can end and a box can say why the program ends; a second
// one ends it at once, said on the error stream.
constexpr std::size_t kStartUpBallast = std::size_t(4) << 20;
std::atomic<void*> g_ballast{nullptr};
std::atomic<bool> g_ranShort{false};

void StartUpShortOfMemory() {
  g_ranShort = true;
  void* ballast = g_ballast.exchange(nullptr);
  if (!ballast) EndForWantOfMemory(false);
  std::free(ballast);
}

struct TStartUpMemory {
  TStartUpMemory() {
    g_ranShort = false;
    g_ballast = std::malloc(kStartUpBallast);
    if (!g_ballast) EndForWantOfMemory(false);
    std::set_new_handler(&StartUpShortOfMemory);
  }
  ~TStartUpMemory() {
    std::set_new_handler(nullptr);
    std::free(g_ballast.exchange(nullptr));
  }
};
}  // namespace

std::unique_ptr<TMainForm> StartUp() {
  const TStartUpMemory watch;
  try {
    auto* splash = new TfrmSplash;
    splash->show();
    splash->repaint();
    QApplication::processEvents();
    auto* form = new TMainForm;
    MainForm = form;
    CreateForms(form);
    splash->hide();
    delete splash;
    if (!g_ranShort) form->show();
    if (!g_ranShort) return std::unique_ptr<TMainForm>(form);
  } catch (const std::bad_alloc&) {
    // From the toolkit's own containers, which do not ask the handler: what
    // it left half made is best not drawn, so no box either.
    EndForWantOfMemory(false);
  }
  // The box, too, is made with the handler in place.
  EndForWantOfMemory(true);
}

namespace {
// The stack a new thread takes, which the system sets from the stack limit.
std::size_t ThreadStack() {
  pthread_attr_t attr;
  std::size_t size = std::size_t(8) << 20;
  if (pthread_getattr_default_np(&attr) == 0) {
    pthread_attr_getstacksize(&attr, &size);
    pthread_attr_destroy(&attr);
  }
  return size;
}

// Under an address-space limit the toolkit's threads take for their stacks
// whatever they find, and the fonts' library dies when it finds nothing left:
// the room the windows need is kept from the threads until the windows are
// made, and without it the program does not start. The toolkit's own start
// needs room beside it, which it takes while the room is kept: its platform
// plugin and the thread that reads the display's events (15 MB here with a
// stack of 8). Without that the program would die there, or show a window
// that never hears the user.
class TRoomForTheWindows {
 public:
  TRoomForTheWindows() {
    const PageMemory::TMemoryFigures f = PageMemory::CurrentFigures();
    if (!f.AddressLimit) return;
    if (f.AddressLimit < f.AddressUsed + kRoom + kToolkitLibraries + ThreadStack()) EndForWantOfMemory(false);
    void* block = mmap(nullptr, kRoom, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (block == MAP_FAILED) EndForWantOfMemory(false);
    FBlock = block;
  }
  // Gives the room to the windows; ends the program when it is not all there.
  void Release() {
    if (!FBlock) return;
    munmap(FBlock, kRoom);
    FBlock = nullptr;
    const PageMemory::TMemoryFigures f = PageMemory::CurrentFigures();
    if (f.AddressLimit < f.AddressUsed + kRoom) EndForWantOfMemory(false);
  }

 private:
  static constexpr std::size_t kRoom = PageMemory::InterfaceReserve;
  static constexpr std::size_t kToolkitLibraries = std::size_t(16) << 20;
  void* FBlock = nullptr;
};
}  // namespace

int RunProgram(int& argc, char** argv) {
  TRoomForTheWindows room;
  // Short of memory, the toolkit's own start may be what fails.
  std::unique_ptr<TApplication> app;
  try {
    app = std::make_unique<TApplication>(argc, argv);
    app->SetTitle(QStringLiteral("Corvelle Image 2.5ZUL"));
    app->setApplicationName(QStringLiteral("Corvelle Image 2.5ZUL"));
    app->SetHelpFile(QString());
    InstallEngineMessageBoxes();
  } catch (const std::bad_alloc&) {
    EndForWantOfMemory(false);
  }
  room.Release();
  std::unique_ptr<TMainForm> form = StartUp();
  const int rc = app->exec();
  // Image windows first, while the dialogs they may call still exist.
  for (TChildForm* child : form->MDIChildren()) {
    child->setAttribute(Qt::WA_DeleteOnClose, false);
    delete child;
  }
  FreeForms();
  MainForm = nullptr;
  form.reset();
  return rc;
}
