#include "app/Main.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QInputDialog>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QStatusTipEvent>
#include <QStyle>
#include <algorithm>

#include "app/Child.h"
#include "app/FileManager.h"
#include "app/FilterInterface.h"
#include "app/Utilities.h"
#include "platform/FileDialog.h"

TMainForm* MainForm = nullptr;

namespace {
// Menu, submenu (a parent action's name, or "#title" for a plain submenu),
// action name, caption, shortcut. A shortcut of "sub" marks a submenu parent;
// the name "-" a separator.
struct TActionDef {
  const char* Menu;
  const char* Parent;
  const char* Name;
  const char* Caption;
  const char* Key;
};

const TActionDef ActionDefs[] = {
    {"&File", "", "FileNew", "&New...", ""},
    {"&File", "", "FileOpen", "&Open...", "Ctrl+O"},
    {"&File", "", "FileSaveAs", "Save &As...", "Ctrl+S"},
    {"&File", "", "-", "", ""},
    {"&File", "", "FileImport", "&Import...", ""},
    {"&File", "", "-", "", ""},
    {"&File", "", "FilePrint", "&Print...", "Ctrl+P"},
    {"&File", "", "-", "", ""},
    {"&File", "", "FileExit", "E&xit", ""},
    {"&Edit", "", "EditCopy", "&Copy", "Ctrl+C"},
    {"&Edit", "", "EditPaste", "&Paste", "Ctrl+V"},
    {"&Edit", "", "EditDuplicate", "&Duplicate", "Ctrl+D"},
    {"&Edit", "", "-", "", ""},
    {"&Edit", "", "EditImageTitle", "&Image Title...", ""},
    {"&Edit", "", "EditFITSHeader", "&FITS Header...", ""},
    {"&Edit", "", "-", "", ""},
    {"&Edit", "", "EditAnnotations", "&Annotations", "sub"},
    {"&Edit", "EditAnnotations", "EditAddAnnotation", "&Add Annotation...", "Ctrl+A"},
    {"&Edit", "EditAnnotations", "EditEditAnnotation", "&Edit Annotation...", ""},
    {"&Edit", "EditAnnotations", "EditDeleteAnnotation", "&Delete Annotation", ""},
    {"&Edit", "", "EditMarkers", "Mar&kers", "sub"},
    {"&Edit", "EditMarkers", "EditAddMarker", "&Add Marker...", "Ctrl+M"},
    {"&Edit", "EditMarkers", "EditDeleteMarker", "&Delete Marker...", ""},
    {"&Edit", "EditMarkers", "EditDeleteAllMarkers", "Delete All &Markers", ""},
    {"&View", "", "ViewZoom", "Set &Zoom...", ""},
    {"&View", "", "ViewQuickZoom", "&Quick Zoom...", ""},
    {"&View", "", "-", "", ""},
    {"&View", "", "ViewToolbars", "&Toolbars", "sub"},
    {"&View", "ViewToolbars", "ViewStdToolbar", "&Standard", ""},
    {"&View", "ViewToolbars", "ViewProcessingToolbar", "&Processing", ""},
    {"&View", "ViewToolbars", "ViewStatisticsToolbar", "S&tatistics", ""},
    {"&View", "", "-", "", ""},
    {"&View", "", "ViewOptions", "&Preferences...", ""},
    {"&Process", "", "ProcessFlip", "&Flip", "sub"},
    {"&Process", "ProcessFlip", "ProcessFlipLeftToRight", "&Left To Right", ""},
    {"&Process", "ProcessFlip", "ProcessFlipTopToBottom", "&Top To Bottom", ""},
    {"&Process", "", "ProcessRotate", "R&otate...", ""},
    {"&Process", "", "ProcessResample", "&Resample...", ""},
    {"&Process", "", "ProcessPixelMath", "Pixel &Math...", ""},
    {"&Process", "", "ProcessCrop", "Cro&p...", ""},
    {"&Process", "", "ProcessImageMath", "&Image Math...", ""},
    {"&Process", "", "ProcessCombine", "Combi&ne...", ""},
    {"&Process", "", "ProcessCalibrate", "Cali&brate...", ""},
    {"&Process", "", "-", "", ""},
    {"&Process", "", "ProcessRegister", "R&egister Images", "sub"},
    {"&Process", "ProcessRegister", "ProcessRegisterImages", "&Polynomial...", "Ctrl+R"},
    {"&Process", "ProcessRegister", "ProcessFFTCorrelation", "&FFT Correlation", ""},
    {"&Process", "", "-", "", ""},
    {"&Process", "", "ProcessRGBCombine", "RGB &Combine...", ""},
    {"&Process", "", "ProcessColourSplit", "Sp&lit Colour Planes", ""},
    {"&Process", "", "ProcessColourToGrey", "Convert to &Greyscale", ""},
    {"&Statistics", "", "StatisticsImageStats", "&Statistics of Image...", "Ctrl+I"},
    {"&Statistics", "", "StatisticsAreaStats", "Statistics of &Area...", ""},
    {"&Statistics", "", "StatisticsImagesStats", "Statistics of &Images...", ""},
    {"&Statistics", "", "StatisticsResults", "Statisti&cs Results...", ""},
    {"&Statistics", "", "-", "", ""},
    {"&Statistics", "", "StatisticsImageHisto", "&Histogram of Image...", "Ctrl+H"},
    {"&Statistics", "", "StatisticsAreaHisto", "Histogram of A&rea...", ""},
    {"&Statistics", "", "-", "", ""},
    {"&Statistics", "", "StatisticsRadialPplot", "Ra&dial Plot...", ""},
    {"&Statistics", "", "StatisticsLinePlot", "&Line Plot...", ""},
    {"&Statistics", "", "StatisticsContour", "C&ontour Plot...", ""},
    {"&Statistics", "", "Statistics3DVisu", "&3D Visualisation...", ""},
    {"S&cale", "", "ScaleBriCon", "&Brightness and Contrast...", "Ctrl+B"},
    {"S&cale", "", "ScaleGamma", "&Gamma...", ""},
    {"S&cale", "", "ScaleLog", "L&og...", ""},
    {"S&cale", "", "ScaleColourBalance", "&Colour Balance...", ""},
    {"S&cale", "", "ScaleHSI", "Hue, Saturation && &Intensity...", ""},
    {"S&cale", "", "ScaleLinear", "&Linear...", "Ctrl+L"},
    {"S&cale", "", "ScaleDDP", "&DDP...", ""},
    {"S&cale", "", "ScaleHistogramSpec", "&Histogram Specification...", ""},
    {"S&cale", "", "ScalePseudoColour", "&Pseudo Colour...", ""},
    {"S&cale", "", "-", "", ""},
    {"S&cale", "", "ScaleQuick", "&Quick Scale...", ""},
    {"F&ilter", "", "FilterSharpen", "&Sharpen", "sub"},
    {"F&ilter", "FilterSharpen", "FilterSharpenLittle", "Sharpen &Little", ""},
    {"F&ilter", "FilterSharpen", "FilterSharpenMore", "Sharpen &More", ""},
    {"F&ilter", "", "FilterBlur", "&Blur", "sub"},
    {"F&ilter", "FilterBlur", "FilterBlurLittle", "Blur &Little", ""},
    {"F&ilter", "FilterBlur", "FilterBlurMore", "Blur &More", ""},
    {"F&ilter", "", "FilterPointDetector", "&Point Detector", ""},
    {"F&ilter", "", "FilterVertEdge", "&Verticle Edge Detector", ""},
    {"F&ilter", "", "FilterHorzEdge", "Hori&zontal Edge Detector", ""},
    {"F&ilter", "", "FilterLaplacian", "&Laplacian", ""},
    {"F&ilter", "", "FilterSobel", "S&obel", ""},
    {"F&ilter", "", "FilterPrewitt", "P&rewitt", "sub"},
    {"F&ilter", "FilterPrewitt", "FilterPrewittNorth", "&North", ""},
    {"F&ilter", "FilterPrewitt", "FilterPrewittSouth", "&South", ""},
    {"F&ilter", "FilterPrewitt", "FilterPrewittEast", "&East", ""},
    {"F&ilter", "FilterPrewitt", "FilterPrewittWest", "&West", ""},
    {"F&ilter", "", "-", "", ""},
    {"F&ilter", "", "FilterMinimum", "M&inimum", ""},
    {"F&ilter", "", "FilterMaximum", "Ma&ximum", ""},
    {"F&ilter", "", "FilterMedian", "M&edian", "sub"},
    {"F&ilter", "FilterMedian", "FilterMedian3", "Median &3x3", ""},
    {"F&ilter", "FilterMedian", "FilterMedian5", "Median &5x5", ""},
    {"F&ilter", "FilterMedian", "FilterMedian7", "Median &7x7", ""},
    {"F&ilter", "", "FilterMean", "&Mean", "sub"},
    {"F&ilter", "FilterMean", "FilterMean3", "Mean &3x3", ""},
    {"F&ilter", "FilterMean", "FilterMean5", "Mean &5x5", ""},
    {"F&ilter", "FilterMean", "FilterMean7", "Mean &7x7", ""},
    {"F&ilter", "", "-", "", ""},
    {"F&ilter", "", "FilterAdaptive", "&Adaptive Filters", "sub"},
    {"F&ilter", "FilterAdaptive", "FilterAdaptiveMMSE", "Adaptive &MMSE...", ""},
    {"F&ilter", "FilterAdaptive", "FilterAdaptiveDWMTM", "Adaptive &DW-MTM...", ""},
    {"F&ilter", "", "FilterNonLinear", "&Nonlinear Filters", "sub"},
    {"F&ilter", "FilterNonLinear", "FilterATMean", "&Alpha-Trimmed Mean...", ""},
    {"F&ilter", "FilterNonLinear", "FilterCHMean", "&Contra-harmonic Mean...", ""},
    {"F&ilter", "", "FilterNoise", "Noise &Filter...", ""},
    {"F&ilter", "", "FilterUnsharpMask", "&Unsharp Mask...", ""},
    {"F&ilter", "", "FilterFFT", "FF&T Filter...", ""},
    {"F&ilter", "", "FilterHomomorphic", "&Homomorphic Filter...", ""},
    {"F&ilter", "", "FilterCustom", "&Custom...", ""},
    {"F&ilter", "", "FilterEditFFT", "E&dit FFT...", ""},
    {"&Restoration", "", "RestorationMaxEntropy", "&Maximum Entropy...", "Ctrl+E"},
    {"&Restoration", "", "RestorationLucyRichardson", "&Lucy-Richardson...", ""},
    {"&Restoration", "", "RestorationVanCittert", "&Van Cittert...", ""},
    {"Ph&otometry", "", "PhotometryAddApature", "&Add Aperture...", ""},
    {"Ph&otometry", "", "PhotometryClearApatures", "R&emove All Apertures", ""},
    {"Ph&otometry", "", "-", "", ""},
    {"Ph&otometry", "#&Differential Photometry", "PhotometrySetRef", "&Set Comparison Star...", ""},
    {"Ph&otometry", "#&Differential Photometry", "PhotometryCalcMag", "&Calculate Magnitudes...", ""},
    {"Ph&otometry", "#&Differential Photometry", "PhotometryMultiImage", "&Multiple Images...", ""},
    {"Ph&otometry", "#A&bsolute Photometry", "PhotometryCalcAbsMag", "&Calculate Magnitudes...", ""},
    {"Ph&otometry", "", "-", "", ""},
    {"Ph&otometry", "", "PhotometryResults", "Photometry &Results...", ""},
    {"Ph&otometry", "", "PhotometrySetup", "&Photometry Settings...", ""},
    {"&Window", "", "WindowCascade", "&Cascade", ""},
    {"&Window", "", "WindowTileVertical", "&Tile Vertically", ""},
    {"&Window", "", "WindowTileHorizontal", "Tile &Horizontally", ""},
    {"&Window", "", "WindowMinimizeAll", "&Minimize All", ""},
    {"", "", "WindowArrange", "&Arrange", ""},
    {"&Help", "", "HelpContents", "&Contents...", "F1"},
    {"&Help", "", "HelpWeb", "Corvelle &Image 2.5ZUL Home Page...", ""},
    {"&Help", "", "-", "", ""},
    {"&Help", "", "HelpAbout", "&About...", ""},
};

// The actions that stay available without an image window.
const char* const AlwaysEnabled[] = {
    "FileNew",       "FileOpen",         "FileImport",   "FileExit",      "ViewToolbars",    "ViewStdToolbar",
    "ViewProcessingToolbar", "ViewStatisticsToolbar", "ViewOptions", "EditPaste", "HelpContents", "HelpAbout",
    "HelpWeb",       "EditAnnotations",  "EditMarkers",  "ProcessFlip",   "ProcessRegister", "FilterSharpen",
    "FilterBlur",    "FilterPrewitt",    "FilterMean",   "FilterMedian",  "FilterAdaptive",  "FilterNonLinear"};

const char* const OpenFilter =
    "All Supported Files|*.fts;*.fit;*.fits;*.st?;*.bmp;*.jpg;*.kvx;*.tif;*.tiff|FITS Files (*.fts, *.fit, "
    "*.fits)|*.fts;*.fit;*.fits|SBIG Type-3 Files (*.st?)|*.st?|Windows Bitmap Files (*.bmp)|*.bmp|JPEG Files "
    "(*.jpg)|*.jpg|Corvelle Image Files (*.kvx)|*.kvx|TIFF Files (*.tif, *.tiff)|*.tif;*.tiff|Kodak PhotoCD Files "
    "(*.pcd)|*.pcd|All Files (*.*)|*.*";
const char* const SaveFilter =
    "FITS files (*.fts)|*.fts|JPEG files (*.jpg)|*.jpg|TIFF files (*.tif)|*.tif|Bitmap files (*.bmp)|*.bmp|Corvelle "
    "Image files (*.kvx)|*.kvx|All files (*.*)|*.*";
}  // namespace

QString OpenDialogFilter() { return QString::fromLatin1(OpenFilter); }
QString SaveDialogFilter() { return QString::fromLatin1(SaveFilter); }

TMainForm::TMainForm(QWidget* Parent) : QMainWindow(Parent) {
  setObjectName(QStringLiteral("MainForm"));
  setWindowTitle(QStringLiteral("Corvelle Image 2.5ZUL"));
  FMDIArea = new QMdiArea(this);
  FMDIArea->setObjectName(QStringLiteral("MDIArea"));
  FMDIArea->setBackground(palette().brush(QPalette::Dark));  // the application workspace colour
  FMDIArea->setActivationOrder(QMdiArea::ActivationHistoryOrder);
  FMDIArea->viewport()->setMouseTracking(true);
  FMDIArea->viewport()->installEventFilter(this);
  setCentralWidget(FMDIArea);

  FStatusBar = new TQVRStatusBar(this);
  FStatusBar->setObjectName(QStringLiteral("StatusBar"));
  setStatusBar(FStatusBar);

  FOpenDialog = std::make_unique<TFileDialog>(TFileDialog::TKind::Open);
  FOpenDialog->Filter = OpenDialogFilter();
  FOpenDialog->MultiSelect = true;
  FSaveDialog = std::make_unique<TFileDialog>(TFileDialog::TKind::Save);
  FSaveDialog->Filter = SaveDialogFilter();
  FSaveDialog->DefaultExt = QStringLiteral("*.fts");
  FSaveDialog->OverwritePrompt = true;

  CreateActions();
  CreateMenus();
  ConnectActions();
  connect(FMDIArea, &QMdiArea::subWindowActivated, this, [](QMdiSubWindow* w) {
    if (auto* child = qobject_cast<TChildForm*>(w)) child->FormActivate();
  });
  CreateShell();
  EnableImageActions(false);
  resize(800, 600);
}

TMainForm::~TMainForm() {
  // Image windows go first, while the frame they report to still exists.
  for (TChildForm* child : MDIChildren()) {
    child->setAttribute(Qt::WA_DeleteOnClose, false);
    delete child;
  }
}

void TMainForm::CreateActions() {
  for (const TActionDef& d : ActionDefs) {
    if (QLatin1String(d.Name) == QLatin1String("-")) continue;
    auto* action = new QAction(QString::fromLatin1(d.Caption), this);
    action->setObjectName(QString::fromLatin1(d.Name));
    const QLatin1String key(d.Key);
    if (!key.isEmpty() && key != QLatin1String("sub")) action->setShortcut(QKeySequence(QString(key)));
    FActions.push_back(action);
  }
}

void TMainForm::CreateMenus() {
  QMenu* current = nullptr;
  QString currentTitle;
  std::vector<std::pair<QString, QMenu*>> submenus;
  for (const TActionDef& d : ActionDefs) {
    const QString title = QString::fromLatin1(d.Menu);
    if (title.isEmpty()) continue;
    if (title != currentTitle) {
      current = menuBar()->addMenu(title);
      current->setObjectName(QString(title).remove(QLatin1Char('&')) + QStringLiteral("Menu"));
      FMenus.push_back(current);
      currentTitle = title;
      if (title == QLatin1String("&Window")) FWindowMenu = current;
    }
    QMenu* target = current;
    const QString parent = QString::fromLatin1(d.Parent);
    if (!parent.isEmpty()) {
      auto it = std::find_if(submenus.begin(), submenus.end(), [&](const auto& p) { return p.first == parent; });
      if (it == submenus.end()) {
        // A plain submenu, not carried by an action.
        QMenu* sub = current->addMenu(parent.mid(1));
        submenus.emplace_back(parent, sub);
        target = sub;
      } else {
        target = it->second;
      }
    }
    const QString name = QString::fromLatin1(d.Name);
    if (name == QLatin1String("-")) {
      target->addSeparator();
      continue;
    }
    QAction* action = Action(name);
    if (QLatin1String(d.Key) == QLatin1String("sub")) {
      auto* sub = new QMenu(action->text(), this);
      sub->setObjectName(name + QStringLiteral("Menu"));
      action->setMenu(sub);
      submenus.emplace_back(name, sub);
    }
    target->addAction(action);
  }
  if (FWindowMenu) {
    FWindowMenu->addSeparator();
    connect(FWindowMenu, &QMenu::aboutToShow, this, [this] { FillWindowMenu(); });
  }
}

void TMainForm::FillWindowMenu() {
  for (QAction* a : FWindowListActions) {
    FWindowMenu->removeAction(a);
    a->deleteLater();
  }
  FWindowListActions.clear();
  const QList<QMdiSubWindow*> windows = FMDIArea->subWindowList(QMdiArea::CreationOrder);
  for (int i = 0; i < windows.size(); ++i) {
    QMdiSubWindow* w = windows[i];
    // Alt+1 to Alt+9 pick the first nine; an "&" in a caption is shown, not
    // taken for an Alt key.
    const QString caption = QString(w->windowTitle()).replace(QLatin1Char('&'), QStringLiteral("&&"));
    auto* a = new QAction(QString::fromLatin1(i < 9 ? "&%1 %2" : "%1 %2").arg(i + 1).arg(caption), FWindowMenu);
    a->setCheckable(true);
    a->setChecked(w == FMDIArea->activeSubWindow());
    connect(a, &QAction::triggered, this, [this, w] { FMDIArea->setActiveSubWindow(w); });
    FWindowMenu->addAction(a);
    FWindowListActions.push_back(a);
  }
}

void TMainForm::ConnectActions() {
  auto on = [this](const char* name, auto handler) {
    connect(Action(QString::fromLatin1(name)), &QAction::triggered, this, handler);
  };
  on("FileOpen", [this] { FileOpenExecute(); });
  on("FileSaveAs", [this] { FileSaveAsExecute(); });
  on("FileExit", [this] { FileExitExecute(); });
  on("EditCopy", [this] { EditCopyExecute(); });
  on("EditPaste", [this] { EditPasteExecute(); });
  on("EditDuplicate", [this] { EditDuplicateExecute(); });
  on("EditImageTitle", [this] { EditImageTitleExecute(); });
  on("EditDeleteAnnotation", [this] { EditDeleteAnnotationExecute(); });
  on("EditDeleteAllMarkers", [this] { EditDeleteAllMarkersExecute(); });
  on("ProcessColourSplit", [this] { ProcessColourSplitExecute(); });
  on("ProcessColourToGrey", [this] { ProcessColourToGreyExecute(); });
  on("WindowCascade", [this] { WindowCascadeExecute(); });
  on("WindowTileVertical", [this] { WindowTileVerticalExecute(); });
  on("WindowTileHorizontal", [this] { WindowTileHorizontalExecute(); });
  on("WindowMinimizeAll", [this] { WindowMinimizeAllExecute(); });
  on("WindowArrange", [this] { WindowArrangeExecute(); });
  for (int i = 0; i < StandardFilterCount; ++i) {
    const QString name = QString::fromLatin1(StandardFilters[i].Command);
    connect(Action(name), &QAction::triggered, this, [i] { ApplyStandardFilter(i); });
  }
}

QAction* TMainForm::Action(const QString& Name) const {
  for (QAction* a : FActions)
    if (a->objectName() == Name) return a;
  return nullptr;
}

QMenu* TMainForm::Menu(const QString& Name) const {
  return findChild<QMenu*>(Name);
}

QList<TChildForm*> TMainForm::MDIChildren() const {
  QList<TChildForm*> result;
  const QList<QMdiSubWindow*> windows = FMDIArea->subWindowList(QMdiArea::ActivationHistoryOrder);
  // The history runs from the least to the most recently activated.
  for (auto it = windows.crbegin(); it != windows.crend(); ++it)
    if (auto* child = qobject_cast<TChildForm*>(*it)) result.push_back(child);
  return result;
}

TChildForm* TMainForm::ActiveMDIChild() const {
  // The current window stays set while a dialog has the focus.
  if (auto* child = qobject_cast<TChildForm*>(FMDIArea->currentSubWindow())) return child;
  const QList<TChildForm*> children = MDIChildren();
  return children.isEmpty() ? nullptr : children.first();
}

void TMainForm::EnableImageActions(bool Enabled) {
  for (QAction* a : FActions) a->setEnabled(Enabled);
  for (const char* name : AlwaysEnabled)
    if (QAction* a = Action(QString::fromLatin1(name))) a->setEnabled(true);
}

void TMainForm::ImageOpened() {
  if (OnImageOpened) OnImageOpened();
  EnableImageActions(true);
}

void TMainForm::ImageClosed() {
  // The read-out belonged to the closing window.
  SetPanelText(2, QString());
  SetPanelText(3, QString());
  // The closing window still counts.
  if (FMDIArea->subWindowList().size() < 2) {
    SetPanelText(1, QString());
    if (OnImageClosed) OnImageClosed(true);
    EnableImageActions(false);
  }
}

void TMainForm::ShowHint(const QString& Hint) {
  const int bar = int(Hint.indexOf(QLatin1Char('|')));
  SetPanelText(0, bar >= 0 ? Hint.mid(bar + 1) : Hint);
}

void TMainForm::FormMouseMove() {
  SetPanelText(2, QString());
  SetPanelText(3, QString());
}

bool TMainForm::event(QEvent* Event) {
  if (Event->type() == QEvent::StatusTip) {
    ShowHint(static_cast<QStatusTipEvent*>(Event)->tip());
    return true;
  }
  return QMainWindow::event(Event);
}

bool TMainForm::eventFilter(QObject* Watched, QEvent* Event) {
  if (Watched == FMDIArea->viewport() && Event->type() == QEvent::MouseMove) FormMouseMove();
  return QMainWindow::eventFilter(Watched, Event);
}

void TMainForm::QuickLinearScaleUpdate() {
  if (OnQuickLinearScaleUpdate) OnQuickLinearScaleUpdate();
}

void TMainForm::QuickLinearScaleActivated(TChildForm* Child) {
  if (OnImageWindowActivated) OnImageWindowActivated(Child);
}

void TMainForm::QuickLinearScaleFirstDraw(TChildForm* Child) {
  if (OnImageWindowFirstDraw) OnImageWindowFirstDraw(Child);
}

bool TMainForm::CloseAllImageWindows() {
  // Every modified window is asked about before any window closes, newest
  // first, so that Cancel at any prompt leaves every window open.
  QList<QMdiSubWindow*> windows = FMDIArea->subWindowList(QMdiArea::CreationOrder);
  std::reverse(windows.begin(), windows.end());
  if (PromptsForSave()) {
    for (QMdiSubWindow* w : windows) {
      auto* child = qobject_cast<TChildForm*>(w);
      if (!child || !child->Modified) continue;
      FMDIArea->setActiveSubWindow(child);
      switch (child->AskToSave()) {
        case TChildForm::TSaveAnswer::Cancel: return false;
        case TChildForm::TSaveAnswer::Saved:
        case TChildForm::TSaveAnswer::Discard: break;
      }
    }
  }
  bool closed = true;
  for (QMdiSubWindow* w : windows) {
    auto* child = qobject_cast<TChildForm*>(w);
    if (!child) continue;
    child->SkipSavePrompt = true;
    if (!child->close()) {
      child->SkipSavePrompt = false;
      closed = false;
    }
  }
  return closed;
}

void TMainForm::closeEvent(QCloseEvent* Event) {
  if (!CloseAllImageWindows()) {
    Event->ignore();
    return;
  }
  // The images are closed first, then the layout and preferences are kept.
  FormClose();
  QMainWindow::closeEvent(Event);
}

void TMainForm::FileOpenExecute() {
  if (FOpenDialog->Execute(this)) {
    const QStringList files = FOpenDialog->Files;
    for (const QString& file : files) {
      OpenImageFile(file);
      if (OnAddRecentFile) OnAddRecentFile(file);
    }
  }
  QuickLinearScaleUpdate();
}

bool TMainForm::SaveWindowAs(TChildForm* Window) {
  if (!Window || !FSaveDialog->Execute(this)) return false;
  return SaveImageFile(FSaveDialog->FileName, Window);
}

void TMainForm::FileSaveAsExecute() { SaveWindowAs(ActiveMDIChild()); }

void TMainForm::FileExitExecute() {
  // The same road as the close button: prompts, then settings and the
  // recent files are kept.
  close();
}

void TMainForm::EditCopyExecute() {
  TChildForm* child = ActiveMDIChild();
  if (!child) return;
  const QImage picture = GetRenderedBitmap(child);
  if (picture.isNull()) return;
  QGuiApplication::clipboard()->setImage(picture.convertToFormat(QImage::Format_RGB888));
}

void TMainForm::EditPasteExecute() {
  PasteImage();
  QuickLinearScaleUpdate();
}

void TMainForm::EditDuplicateExecute() {
  if (TChildForm* child = ActiveMDIChild()) DuplicateImage(child);
  QuickLinearScaleUpdate();
}

void TMainForm::EditImageTitleExecute() {
  TChildForm* child = ActiveMDIChild();
  if (!child) return;
  bool ok = false;
  const QString title = QInputDialog::getText(this, QStringLiteral("Edit Image Title"),
                                              QStringLiteral("&Enter the new image title:"), QLineEdit::Normal,
                                              child->Caption(), &ok);
  if (ok) child->SetCaption(title);
}

void TMainForm::EditDeleteAnnotationExecute() {
  TChildForm* child = ActiveMDIChild();
  if (child && child->ImageOverlay->SelectedAnnotation != -1)
    child->ImageOverlay->DeleteAnnotation(child->ImageOverlay->SelectedAnnotation);
}

void TMainForm::EditDeleteAllMarkersExecute() {
  TChildForm* child = ActiveMDIChild();
  if (!child) return;
  const std::size_t count = child->ImageOverlay->Markers().size();
  for (std::size_t i = 0; i < count; ++i) child->ImageOverlay->DeleteMarker(0);
}

void TMainForm::ProcessColourSplitExecute() {
  if (TChildForm* child = ActiveMDIChild()) SplitColourPlanes(*child->DataImage);
  QuickLinearScaleUpdate();
}

void TMainForm::ProcessColourToGreyExecute() {
  if (TChildForm* child = ActiveMDIChild()) ConvertToGreyscale(*child->DataImage);
  QuickLinearScaleUpdate();
}

namespace {
QList<QMdiSubWindow*> Restored(QMdiArea* Area) {
  QList<QMdiSubWindow*> result;
  for (QMdiSubWindow* w : Area->subWindowList(QMdiArea::CreationOrder))
    if (!w->isMinimized()) result.push_back(w);
  return result;
}
}  // namespace

void TMainForm::WindowCascadeExecute() {
  // Each window keeps its size; only what does not fit below its place is
  // shrunk to the area.
  const QList<QMdiSubWindow*> windows = Restored(FMDIArea);
  const QSize area = FMDIArea->viewport()->size();
  const int step = std::max(20, style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this));
  int offset = 0;
  for (QMdiSubWindow* w : windows) {
    if (w->isMaximized()) w->showNormal();
    if (offset + 2 * step > area.width() || offset + 2 * step > area.height()) offset = 0;
    const QSize size = w->size();
    w->setGeometry(offset, offset, std::min(size.width(), std::max(1, area.width() - offset)),
                   std::min(size.height(), std::max(1, area.height() - offset)));
    w->raise();
    offset += step;
  }
  if (!windows.isEmpty()) FMDIArea->setActiveSubWindow(windows.last());
}

void TMainForm::WindowTileVerticalExecute() {
  // Side by side, each as tall as the area.
  const QList<QMdiSubWindow*> windows = Restored(FMDIArea);
  if (windows.isEmpty()) return;
  const QSize area = FMDIArea->viewport()->size();
  const int w = area.width() / int(windows.size());
  for (int i = 0; i < windows.size(); ++i) {
    windows[i]->showNormal();
    windows[i]->setGeometry(i * w, 0, w, area.height());
  }
}

void TMainForm::WindowTileHorizontalExecute() {
  // One above the other, each as wide as the area.
  const QList<QMdiSubWindow*> windows = Restored(FMDIArea);
  if (windows.isEmpty()) return;
  const QSize area = FMDIArea->viewport()->size();
  const int h = area.height() / int(windows.size());
  for (int i = 0; i < windows.size(); ++i) {
    windows[i]->showNormal();
    windows[i]->setGeometry(0, i * h, area.width(), h);
  }
}

void TMainForm::WindowMinimizeAllExecute() {
  for (QMdiSubWindow* w : FMDIArea->subWindowList()) w->showMinimized();
}

void TMainForm::WindowArrangeExecute() {
  // Minimised windows in a row along the bottom edge.
  int x = 0;
  const int bottom = FMDIArea->viewport()->height();
  for (QMdiSubWindow* w : FMDIArea->subWindowList(QMdiArea::CreationOrder)) {
    if (!w->isMinimized()) continue;
    w->move(x, bottom - w->height());
    x += w->width();
  }
}
