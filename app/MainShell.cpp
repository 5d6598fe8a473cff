// The main window's start-up side: the recent-files menu, the toolbars, the
// settings under key A, and the commands that open the small windows and
// dialogs.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QShowEvent>
#include <QBoxLayout>
#include <QUrl>

#include "analysis/PhotometryRefForm.h"
#include "app/AboutForm.h"
#include "app/AnnotationForm.h"
#include "app/Child.h"
#include "app/CommandGlyphs.h"
#include "app/FileManager.h"
#include "app/FormSupport.h"
#include "app/MRUFList.h"
#include "app/Main.h"
#include "app/StoredValues.h"
#include "app/NewForm.h"
#include "app/PreferencesForm.h"
#include "app/PrintForm.h"
#include "app/QuickScaleForm.h"
#include "app/QuickZoomForm.h"
#include "app/ToolWindows.h"
#include "app/ZoomForm.h"
#include "dialogs/FITSHeaderForm.h"
#include "dialogs/FileOptionsForm.h"
#include "dialogs/ImportForm.h"
#include "platform/Application.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "platform/Registry.h"
#include "toolbars/Dock.h"
#include "toolbars/DockPositions.h"
#include "toolbars/DockButtons.h"
#include "toolbars/DockToolbar.h"

namespace {
// "|" separates toolbar groups.
const char* const MainButtons[] = {"FileOpen", "FileSaveAs", "|", "FilePrint", "|", "EditPaste", "EditCopy", "|",
                                   "ViewZoom", "|", "EditDeleteAnnotation", "EditAddAnnotation", "EditEditAnnotation",
                                   "|", "EditDeleteMarker", "EditAddMarker", "|", "HelpContents", "FileNew"};
const char* const ProcessingButtons[] = {
    "ProcessRotate",  "ProcessResample", "|", "ProcessFFTCorrelation", "ProcessRegisterImages", "|",
    "ScaleColourBalance", "ProcessRGBCombine", "ScaleHSI", "ScalePseudoColour", "ProcessImageMath", "|", "|",
    "ScaleGamma", "ScaleBriCon", "ScaleDDP", "ScaleLog", "ScaleLinear", "|", "RestorationMaxEntropy",
    "RestorationLucyRichardson", "ProcessCrop", "|", "RestorationVanCittert", "ProcessCalibrate", "ProcessCombine",
    "|", "|", "FilterFFT", "FilterEditFFT"};
const char* const StatisticsButtons[] = {
    "StatisticsAreaStats", "StatisticsImageHisto", "StatisticsAreaHisto", "StatisticsImageStats", "|",
    "StatisticsLinePlot", "StatisticsRadialPplot", "|", "Statistics3DVisu", "|", "PhotometryCalcMag",
    "PhotometryMultiImage", "PhotometryAddApature", "PhotometryCalcAbsMag", "PhotometrySetRef", "StatisticsContour"};

QString PlainCaption(const QString& Caption) {
  QString s = Caption;
  s.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
  s.remove(QLatin1Char('&'));
  s.replace(QStringLiteral("\x01"), QStringLiteral("&"));
  if (s.endsWith(QLatin1String("..."))) s.chop(3);
  return s;
}

// A toolbar on dckTop with a flat 23 x 22 button per action, glyph only.
template <std::size_t N>
TToolbar* MakeToolbar(TMainForm* Form, const char* Name, const char* Caption, const char* const (&Buttons)[N]) {
  auto* bar = new TToolbar(Form);
  bar->setObjectName(QString::fromLatin1(Name));
  bar->SetCaption(QString::fromLatin1(Caption));
  bar->SetDragHandleStyle(dhSingle);
  int left = 0;
  for (const char* b : Buttons) {
    QWidget* control = nullptr;
    if (QLatin1String(b) == QLatin1String("|")) {
      control = new TToolbarSep(bar);
    } else if (QAction* a = Form->Action(QString::fromLatin1(b))) {
      auto* button = new TToolbarButton(bar);
      button->setObjectName(QStringLiteral("tbn") + a->objectName());
      button->DisplayMode = dmGlyphOnly;
      // Drawn for the densest screen, so it stays sharp there.
      button->SetGlyph(CommandGlyph(a->objectName(), qApp->devicePixelRatio()));
      button->SetAction(a);
      // The toolbar also lists the actions it carries.
      bar->addAction(a);
      control = button;
    }
    if (control) control->move(left++, 0);  // the layout order
  }
  return bar;
}

TChildForm* Active() { return MainForm ? MainForm->ActiveMDIChild() : nullptr; }

// Key A as the registry takes it.
QString KeyA() { return QString::fromLatin1(ApplicationKey); }

// Each value alone falls back to the window's own, and the bounds are kept
// on the screens. Top and left are the frame's, as WriteBounds stores them.
void ReadBounds(const TRegistry& Reg, const char* Prefix, QWidget* Window) {
  if (!Window) return;
  const QString p = QString::fromLatin1(Prefix);
  const auto value = [&](const char* Name, int Min = INT_MIN) {
    return StoredValues::Integer(Reg, p + QString::fromLatin1(Name), Min);
  };
  const auto left = value("Left"), top = value("Top"), width = value("Width", 1), height = value("Height", 1);
  if (left || top || width || height) {
    const QRect bounds = StoredValues::OnScreens(left.value_or(Window->x()), top.value_or(Window->y()),
                                                 width.value_or(Window->width()), height.value_or(Window->height()));
    Window->move(bounds.topLeft());
    Window->resize(bounds.size());
  }
  if (const auto visible = value("Visible")) Window->setVisible(*visible == 1);
}

void WriteBounds(TRegistry& Reg, const char* Prefix, QWidget* Window) {
  const QString p = QString::fromLatin1(Prefix);
  const QPoint place = Window ? ToolWindows::Place(Window) : QPoint();
  Reg.WriteInteger(p + QStringLiteral("Visible"), Window && Window->isVisible() ? 1 : 0);
  Reg.WriteInteger(p + QStringLiteral("Top"), place.y());
  Reg.WriteInteger(p + QStringLiteral("Left"), place.x());
  Reg.WriteInteger(p + QStringLiteral("Width"), Window ? Window->width() : 0);
  Reg.WriteInteger(p + QStringLiteral("Height"), Window ? Window->height() : 0);
}
}  // namespace

void TMainForm::CreateShell() {
  // Hints: the long part goes to status panel 0.
  // The two photometry commands share their menu caption; on the toolbar,
  // where no submenu tells them apart, their names and hints do.
  struct TWording {
    const char* Action;
    const char* Name;
    const char* Hint;
  } const apart[] = {
      {"PhotometryCalcMag", "Calculate Magnitudes (Differential)",
       "Differential photometry: the magnitudes of the apertures against the comparison star"},
      {"PhotometryCalcAbsMag", "Calculate Magnitudes (Absolute)",
       "Absolute photometry: the magnitudes of the apertures from the zero point and integration time"},
  };
  for (const TWording& w : apart) {
    QAction* a = Action(QString::fromLatin1(w.Action));
    a->setIconText(QString::fromLatin1(w.Name));
    a->setStatusTip(QString::fromLatin1(w.Name) + QLatin1Char('|') + QString::fromLatin1(w.Hint));
  }
  for (QAction* a : FActions)
    if (a->statusTip().isEmpty()) a->setStatusTip(PlainCaption(a->text()) + QLatin1Char('|') + PlainCaption(a->text()));

  // File > Reopen, between Print and Exit.
  RecentFiles1 = new QMenu(QStringLiteral("&Reopen"), this);
  RecentFiles1->setObjectName(QStringLiteral("RecentFiles1"));
  RecentFiles1->menuAction()->setEnabled(false);
  if (QMenu* file = Menu(QStringLiteral("FileMenu"))) file->insertMenu(Action(QStringLiteral("FileExit")), RecentFiles1);
  RecentFiles = new TRecentFiles(this);
  RecentFiles->SetMenu(RecentFiles1);
  RecentFiles->SetMaxFiles(9);
  RecentFiles->RegistryKey = KeyA();
  RecentFiles->SetStandAloneMenu(false);
  RecentFiles1->menuAction()->setEnabled(false);
  RecentFiles->DeleteEntry = false;
  RecentFiles->OnClick = [this](TRecentFiles*, const QString& FileName) { RecentFilesClick(FileName); };
  OnAddRecentFile = [this](const QString& FileName) { RecentFiles->AddFile(FileName); };

  // The docks: the top one across the window, the left and right ones beside
  // the document area.
  QWidget* mdi = takeCentralWidget();
  auto* frame = new QWidget(this);
  frame->setObjectName(QStringLiteral("DockFrame"));
  auto* column = new QVBoxLayout(frame);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  auto* row = new QHBoxLayout;
  row->setSpacing(0);
  dckTop = new TDock(frame, dpTop);
  dckTop->setObjectName(QStringLiteral("dckTop"));
  dckTop->SetBoundLines(blTop);
  dckLeft = new TDock(frame, dpLeft);
  dckLeft->setObjectName(QStringLiteral("dckLeft"));
  dckRight = new TDock(frame, dpRight);
  dckRight->setObjectName(QStringLiteral("dckRight"));
  row->addWidget(dckLeft);
  row->addWidget(mdi, 1);
  row->addWidget(dckRight);
  column->addWidget(dckTop);
  column->addLayout(row, 1);
  setCentralWidget(frame);

  // The menus show the toolbar pictograms beside their commands.
  for (QAction* a : FActions)
    if (a->icon().isNull() && HasCommandGlyph(a->objectName())) a->setIcon(CommandIcon(a->objectName()));
  // Row 0: Standard, then Statistics at 343; row 1: Processing.
  tbrMain = MakeToolbar(this, "tbrMain", "Standard", MainButtons);
  tbrProcessing = MakeToolbar(this, "tbrProcessing", "Processing", ProcessingButtons);
  tbrStatistics = MakeToolbar(this, "tbrStatistics", "Statistics", StatisticsButtons);
  tbrProcessing->SetDockRow(1);
  tbrStatistics->SetDockPos(343);
  dckTop->LockLayout();
  for (TToolbar* bar : {tbrMain, tbrProcessing, tbrStatistics}) {
    bar->SetParent(dckTop);
    bar->Loaded();
  }
  dckTop->UnlockLayout();
  struct TView {
    const char* Action;
    TToolbar* Bar;
  } views[] = {{"ViewStdToolbar", tbrMain}, {"ViewProcessingToolbar", tbrProcessing}, {"ViewStatisticsToolbar", tbrStatistics}};
  for (const TView& v : views) {
    QAction* item = Action(QString::fromLatin1(v.Action));
    item->setCheckable(true);
    item->setChecked(true);
    TToolbar* bar = v.Bar;
    connect(item, &QAction::triggered, this, [this, bar, item] { ViewToolbarExecute(bar, item); });
    bar->OnVisibleChanged = [this](TCustomToolWindow*) { tbrProcessingVisibleChanged(); };
  }
  OnLoadToolbars = [this] { LoadToolbarPositionsFromRegistry(this, KeyA() + QStringLiteral("\\Toolbars")); };
  OnSaveToolbars = [this] { SaveToolbarPositionsToRegistry(this, KeyA() + QStringLiteral("\\Toolbars")); };
  // The menu items of the toolbars carry their old names too.
  Action(QStringLiteral("ViewStdToolbar"))->setProperty("MenuItem", QStringLiteral("Standard1"));
  Action(QStringLiteral("ViewProcessingToolbar"))->setProperty("MenuItem", QStringLiteral("Processing1"));
  Action(QStringLiteral("ViewStatisticsToolbar"))->setProperty("MenuItem", QStringLiteral("Statistics2"));

  auto on = [this](const char* name, auto handler) {
    connect(Action(QString::fromLatin1(name)), &QAction::triggered, this, handler);
  };
  on("FileNew", [this] { FileNewExecute(); });
  on("FileImport", [this] { FileImportExecute(); });
  on("FilePrint", [this] { FilePrintExecute(); });
  on("EditFITSHeader", [this] { EditFITSHeaderExecute(); });
  on("EditAddAnnotation", [this] { EditAddAnnotationExecute(); });
  on("EditEditAnnotation", [this] { EditEditAnnotationExecute(); });
  on("ViewZoom", [this] { ViewZoomExecute(); });
  on("ViewQuickZoom", [this] { ViewQuickZoomExecute(); });
  on("ViewOptions", [this] { ViewOptionsExecute(); });
  on("ScaleQuick", [this] { ScaleQuickExecute(); });
  on("PhotometryClearApatures", [this] { PhotometryClearApaturesExecute(); });
  on("PhotometrySetRef", [this] { PhotometrySetRefExecute(); });
  on("PhotometryCalcAbsMag", [this] { PhotometryCalcAbsMagExecute(); });
  on("HelpContents", [this] { HelpContentsExecute(); });
  on("HelpWeb", [this] { HelpWebExecute(); });
  on("HelpAbout", [this] { HelpAboutExecute(); });
  for (QAction* a : FActions) a->setShortcutContext(Qt::WindowShortcut);

  // The save dialog's "Options..." button leads to File Options.
  FSaveDialog->OptionsCaption = QStringLiteral("&Options...");
  FSaveDialog->OnOptions = [this] { SaveDialogOptionClick(); };

  if (TApplication* app = Application()) app->SetHelpFile(HelpFileName());
}

QString TMainForm::HelpFileName() {
  return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("nvhelp.html"));
}

QString TMainForm::HomePage() { return QStringLiteral("https://www.corvelle-image.org"); }

void TMainForm::showEvent(QShowEvent* Event) {
  QMainWindow::showEvent(Event);
  if (!FShown && StartedUp) {
    FShown = true;
    FormShow();
  }
}

void TMainForm::FormShow() {
  LoadSettings();
  RecentFiles->LoadFromRegistry();
}

void TMainForm::FormClose() {
  if (!StartedUp) return;
  SaveSettings();
  RecentFiles->SaveToRegistry();
}

void TMainForm::LoadSettings() {
  // Each value falls back to its own default alone: one missing or malformed
  // value must not reset the others (and be written back over them on exit).
  TRegistry reg;
  reg.RootKey = TRegRootKey::HKEY_CURRENT_USER;
  const bool open = reg.OpenKey(KeyA(), false);
  auto read = [&](auto&& Reader) {
    if (!open) return false;
    try {
      Reader();
      return true;
    } catch (...) {
      return false;
    }
  };
  const auto stored = [&](const char* Name, int Min = INT_MIN) {
    return open ? StoredValues::Integer(reg, QString::fromLatin1(Name), Min) : std::nullopt;
  };
  const int state = stored("State").value_or(2);
  if (state == 1) {
    const QRect bounds =
        StoredValues::OnScreens(stored("Left").value_or(x()), stored("Top").value_or(y()),
                                stored("Width", 1).value_or(width()), stored("Height", 1).value_or(height()));
    setWindowState(Qt::WindowNoState);
    move(bounds.topLeft());
    resize(bounds.size());
  } else if (state == 0) {
    setWindowState(Qt::WindowMinimized);
  } else {
    setWindowState(Qt::WindowMaximized);
  }
  const int qsVisible = stored("QSVisible").value_or(1);
  if (frmQuickLinearScale) {
    frmQuickLinearScale->setVisible(qsVisible == 1);
    const auto qsLeft = stored("QSLeft"), qsTop = stored("QSTop");
    if (qsLeft || qsTop)
      frmQuickLinearScale->move(StoredValues::OnScreens(qsLeft.value_or(frmQuickLinearScale->x()),
                                                        qsTop.value_or(frmQuickLinearScale->y()),
                                                        frmQuickLinearScale->width(), frmQuickLinearScale->height())
                                    .topLeft());
  }
  if (open) {
    ReadBounds(reg, "SR", StatisticsResultsWindow);
    ReadBounds(reg, "PR", PhotometryGridWindow);
  }
  // Unsaved images are asked about unless the user has chosen otherwise.
  SavePrompt = 1;
  read([&] { SavePrompt = reg.ReadInteger(QStringLiteral("SavePrompt")); });
  if (frmPreferences) frmPreferences->chkPromptForSave->setChecked(PromptsForSave());
  auto readColour = [&](const char* Name) {
    TColor colour = clWhite;
    if (!read([&] {
          TColor c = 0;
          if (reg.ReadBinaryData(QString::fromLatin1(Name), &c, 4) != 4) throw ERegistryException(QString());
          colour = c;
        }))
      colour = clWhite;
    return colour;
  };
  ROIColour = readColour("ROIColour");
  MkrColour = readColour("MkrColour");
  if (frmPreferences) {
    TfrmPreferences::SetPanelColour(frmPreferences->pnlROIColour, ROIColour);
    TfrmPreferences::SetPanelColour(frmPreferences->pnlMkrColour, MkrColour);
  }
  QString dir;
  read([&] { dir = reg.ReadString(QStringLiteral("ImageDir")); });
  FOpenDialog->InitialDir = dir;
  FSaveDialog->InitialDir = dir;
  if (frmPreferences) frmPreferences->edtImagesDir->setText(dir);
  if (open) reg.CloseKey();
  if (open && OnLoadToolbars) {
    try {
      OnLoadToolbars();
    } catch (...) {
    }
  }
  Action(QStringLiteral("ViewStdToolbar"))->setChecked(tbrMain->Visible());
  Action(QStringLiteral("ViewProcessingToolbar"))->setChecked(tbrProcessing->Visible());
  Action(QStringLiteral("ViewStatisticsToolbar"))->setChecked(tbrStatistics->Visible());
}

void TMainForm::SaveSettings() {
  try {
    TRegistry reg;
    reg.RootKey = TRegRootKey::HKEY_CURRENT_USER;
    // Created if need be, so a first run's choices are kept too.
    if (!reg.OpenKey(KeyA(), true)) return;
    const int state = isMinimized() ? 0 : isMaximized() ? 2 : 1;
    reg.WriteInteger(QStringLiteral("State"), state);
    if (state == 1) {
      reg.WriteInteger(QStringLiteral("Top"), y());
      reg.WriteInteger(QStringLiteral("Left"), x());
      reg.WriteInteger(QStringLiteral("Width"), width());
      reg.WriteInteger(QStringLiteral("Height"), height());
    }
    reg.WriteInteger(QStringLiteral("QSVisible"), frmQuickLinearScale && frmQuickLinearScale->isVisible() ? 1 : 0);
    const QPoint qs = frmQuickLinearScale ? ToolWindows::Place(frmQuickLinearScale) : QPoint();
    reg.WriteInteger(QStringLiteral("QSTop"), qs.y());
    reg.WriteInteger(QStringLiteral("QSLeft"), qs.x());
    WriteBounds(reg, "SR", StatisticsResultsWindow);
    WriteBounds(reg, "PR", PhotometryGridWindow);
    reg.WriteInteger(QStringLiteral("SavePrompt"), SavePrompt);
    reg.WriteBinaryData(QStringLiteral("ROIColour"), &ROIColour, 4);
    reg.WriteBinaryData(QStringLiteral("MkrColour"), &MkrColour, 4);
    reg.WriteString(QStringLiteral("ImageDir"), frmPreferences ? frmPreferences->edtImagesDir->text() : QString());
    reg.CloseKey();
    if (OnSaveToolbars) OnSaveToolbars();
  } catch (...) {
  }
}

void TMainForm::RecentFilesClick(const QString& FileName) {
  OpenImageFile(FileName);
  QuickLinearScaleUpdate();
}

void TMainForm::tbrProcessingVisibleChanged() {
  Action(QStringLiteral("ViewStdToolbar"))->setChecked(tbrMain->Visible());
  Action(QStringLiteral("ViewProcessingToolbar"))->setChecked(tbrProcessing->Visible());
  Action(QStringLiteral("ViewStatisticsToolbar"))->setChecked(tbrStatistics->Visible());
}

void TMainForm::ViewToolbarExecute(TToolbar* Toolbar, QAction* Item) {
  Toolbar->setVisible(!Toolbar->Visible());
  Item->setChecked(Toolbar->Visible());
}

void TMainForm::FileNewExecute() {
  if (frmNew) frmNew->ShowModal();
}

void TMainForm::FileImportExecute() {
  if (frmImport) frmImport->Execute();
  QuickLinearScaleUpdate();
}

void TMainForm::FilePrintExecute() {
  if (frmPrint) frmPrint->Execute();
}

void TMainForm::EditFITSHeaderExecute() {
  if (frmFITSHeader) frmFITSHeader->Execute();
}

void TMainForm::EditAddAnnotationExecute() {
  TChildForm* child = Active();
  if (!child || !frmAnnotation) return;
  if (frmAnnotation->ShowModal() == mrOk)
    child->ImageOverlay->AddAnnotation(10, 10, frmAnnotation->txtSample->text(), frmAnnotation->lblSample->font());
}

void TMainForm::EditEditAnnotationExecute() {
  TChildForm* child = Active();
  if (!child || !frmAnnotation) return;
  const int index = child->ImageOverlay->SelectedAnnotation;
  if (index < 0 || index >= int(child->ImageOverlay->Annotations().size())) return;
  const TAnnotation& a = child->ImageOverlay->Annotations()[std::size_t(index)];
  frmAnnotation->txtSample->setText(a.Text);
  frmAnnotation->lblSample->setFont(a.Font);
  if (frmAnnotation->ShowModal() == mrOk)
    child->ImageOverlay->EditAnnotation(index, frmAnnotation->txtSample->text(), frmAnnotation->lblSample->font());
}

void TMainForm::ViewZoomExecute() {
  if (frmZoom) frmZoom->ShowModal();
}

void TMainForm::ViewQuickZoomExecute() {
  if (frmQuickZoom) frmQuickZoom->show();
}

void TMainForm::ViewOptionsExecute() {
  if (frmPreferences) frmPreferences->ShowModal();
}

void TMainForm::ScaleQuickExecute() {
  if (!frmQuickLinearScale) return;
  frmQuickLinearScale->show();
  frmQuickLinearScale->raise();
  frmQuickLinearScale->activateWindow();
}

void TMainForm::PhotometryClearApaturesExecute() {
  TChildForm* child = Active();
  if (!child) return;
  const std::size_t count = child->ImageOverlay->Apertures().size();
  for (std::size_t i = 0; i < count; ++i) child->ImageOverlay->DeleteAperture(0);
  child->CompMagnitude = -99.0;
}

namespace {
bool HasApertures(TChildForm* Child) {
  if (Child && !Child->ImageOverlay->Apertures().empty()) return true;
  MessageBox::MessageDlg(QStringLiteral("There are no apertures currently defined.  Before setting the reference star "
                                        "first use the Add Aperture command."),
                         TMsgDlgType::mtWarning, mbOK);
  return false;
}
}  // namespace

void TMainForm::PhotometrySetRefExecute() {
  if (HasApertures(Active()) && frmPhotRefStar) frmPhotRefStar->ShowModal();
}

void TMainForm::PhotometryCalcAbsMagExecute() {
  TChildForm* child = Active();
  if (HasApertures(child)) child->AperturePhotometry();
}

void TMainForm::HelpContentsExecute() {
  const QString file = HelpFileName();
  if (!QFileInfo::exists(file)) {
    MessageBox::ShowError(QStringLiteral("Cannot find the help file \"%1\".").arg(file), this);
    return;
  }
  ShowHelpPage(QUrl::fromLocalFile(file), this);
}

void TMainForm::HelpWebExecute() { ShowHelpPage(QUrl(HomePage()), this); }

void TMainForm::HelpAboutExecute() {
  if (frmAbout) frmAbout->ShowModal();
}

void TMainForm::SaveDialogOptionClick() {
  if (frmFileOptions) frmFileOptions->Execute();
}
