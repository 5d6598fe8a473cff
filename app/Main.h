#pragma once
// The program's main window: a multiple-document frame with the status bar,
// the open and save dialogs, the menus and the command actions.
#include <QList>
#include <QMainWindow>
#include <functional>
#include <memory>
#include <vector>

#include "app/ImageOverlay.h"
#include "app/qvrbar.h"

class QAction;
class QLabel;
class TDock;
class TToolbar;
class TRecentFiles;
class QMdiArea;
class QMenu;
class TChildForm;
class TFileDialog;

class TMainForm : public QMainWindow {
  Q_OBJECT
 public:
  explicit TMainForm(QWidget* Parent = nullptr);
  ~TMainForm() override;

  static constexpr int PanelCount = TQVRStatusBar::PanelCount;

  TColor ROIColour = clWhite;
  TColor MkrColour = clWhite;
  int SavePrompt = 0;  // 1: ask before closing a modified image window
  // Any value that Preferences shows as ticked asks, not only the 1 it stores.
  bool PromptsForSave() const { return SavePrompt >= 1; }

  QMdiArea* MDIArea() const { return FMDIArea; }
  TQVRStatusBar* StatusBar() const { return FStatusBar; }
  void SetPanelText(int Panel, const QString& Text) { FStatusBar->SetPanelText(Panel, Text); }
  QString PanelText(int Panel) const { return FStatusBar->PanelText(Panel); }
  QLabel* Panel(int Index) const { return FStatusBar->Panel(Index); }

  TFileDialog* OpenDialog() const { return FOpenDialog.get(); }
  TFileDialog* SaveDialog() const { return FSaveDialog.get(); }

  // The document windows in order: the active one first, then the others from
  // the most recently activated on.
  QList<TChildForm*> MDIChildren() const;
  int MDIChildCount() const { return int(MDIChildren().size()); }
  TChildForm* ActiveMDIChild() const;

  // The actions in list order; Action finds one by its name.
  const std::vector<QAction*>& ActionList() const { return FActions; }
  QAction* Action(const QString& Name) const;
  QMenu* Menu(const QString& Name) const;

  void EnableImageActions(bool Enabled);
  void ImageOpened();
  void ImageClosed();
  // Panel 0 takes the long part of a hint ("short|long").
  void ShowHint(const QString& Hint);
  void FormMouseMove();

  // Runs the save dialog for Window and saves it; true when a file was written.
  bool SaveWindowAs(TChildForm* Window);
  // Asks about every modified image window as closing it would; false when
  // the user cancelled.
  bool CloseAllImageWindows();

  // Connections to windows that live elsewhere: the quick linear scale window
  // and the recent-files list.
  std::function<void()> OnQuickLinearScaleUpdate;
  std::function<void(TChildForm*)> OnImageWindowActivated;
  std::function<void(TChildForm*)> OnImageWindowFirstDraw;
  std::function<void(const QString&)> OnAddRecentFile;
  std::function<void()> OnImageOpened;
  std::function<void(bool LastWindow)> OnImageClosed;
  void QuickLinearScaleUpdate();
  void QuickLinearScaleActivated(TChildForm* Child);
  // A new window about to be drawn for the first time, its histogram known.
  void QuickLinearScaleFirstDraw(TChildForm* Child);

  // Command handlers.
  void FileOpenExecute();
  void FileSaveAsExecute();
  void FileExitExecute();
  void EditCopyExecute();
  void EditPasteExecute();
  void EditDuplicateExecute();
  void EditImageTitleExecute();
  void EditDeleteAnnotationExecute();
  void EditDeleteAllMarkersExecute();
  void ProcessColourSplitExecute();
  void ProcessColourToGreyExecute();
  void WindowCascadeExecute();
  void WindowTileVerticalExecute();
  void WindowTileHorizontalExecute();
  void WindowMinimizeAllExecute();
  void WindowArrangeExecute();

  // --- Start-up, settings, recent files, toolbars and the dialog commands
  // (MainShell.cpp) ---
  TRecentFiles* RecentFiles = nullptr;
  QMenu* RecentFiles1 = nullptr;  // "&Reopen"
  TDock* dckTop = nullptr;
  TDock* dckLeft = nullptr;
  TDock* dckRight = nullptr;
  TToolbar* tbrMain = nullptr;
  TToolbar* tbrProcessing = nullptr;
  TToolbar* tbrStatistics = nullptr;
  // The statistics and photometry results windows, once they exist; their
  // bounds are kept with the settings.
  QWidget* StatisticsResultsWindow = nullptr;
  QWidget* PhotometryGridWindow = nullptr;
  // The toolbar positions under key A + "\Toolbars".
  std::function<void()> OnSaveToolbars;
  std::function<void()> OnLoadToolbars;
  // Set by the program's start-up: from then on showing the window loads the
  // settings and closing it saves them.
  bool StartedUp = false;

  void FormShow();
  void FormClose();
  void LoadSettings();
  void SaveSettings();
  void RecentFilesClick(const QString& FileName);
  void tbrProcessingVisibleChanged();
  void FileNewExecute();
  void FileImportExecute();
  void FilePrintExecute();
  void EditFITSHeaderExecute();
  void EditAddAnnotationExecute();
  void EditEditAnnotationExecute();
  void ViewZoomExecute();
  void ViewQuickZoomExecute();
  void ViewToolbarExecute(TToolbar* Toolbar, QAction* Item);
  void ViewOptionsExecute();
  void ScaleQuickExecute();
  void PhotometryClearApaturesExecute();
  void PhotometrySetRefExecute();
  void PhotometryCalcAbsMagExecute();
  void HelpContentsExecute();
  void HelpWebExecute();
  void HelpAboutExecute();
  void SaveDialogOptionClick();
  static QString HelpFileName();
  static QString HomePage();

 protected:
  bool event(QEvent* Event) override;
  void showEvent(QShowEvent* Event) override;
  bool eventFilter(QObject* Watched, QEvent* Event) override;
  void closeEvent(QCloseEvent* Event) override;

 private:
  void CreateShell();
  void CreateActions();
  void CreateMenus();
  void ConnectActions();
  void FillWindowMenu();

  QMdiArea* FMDIArea = nullptr;
  TQVRStatusBar* FStatusBar = nullptr;
  std::unique_ptr<TFileDialog> FOpenDialog;
  std::unique_ptr<TFileDialog> FSaveDialog;
  std::vector<QAction*> FActions;
  std::vector<QMenu*> FMenus;
  QMenu* FWindowMenu = nullptr;
  std::vector<QAction*> FWindowListActions;
  bool FShown = false;
};

extern TMainForm* MainForm;
