// The whole main window as the program starts it: settings across runs, the
// command table, the enabling of the image commands, recent files.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QDesktopServices>
#include <QFrame>
#include <QLabel>
#include <QFileInfo>
#include <QPushButton>
#include <QStatusTipEvent>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>
#include <QCheckBox>
#include <QLineEdit>

#include "app/FloatEdit.h"
#include <QFile>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include "toolbars/DockToolbar.h"

#include "app/AboutForm.h"
#include "AppTestUtil.h"
#include <QRadioButton>
#include <QButtonGroup>
#include <QSlider>
#include <memory>
#include <climits>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>
#include <new>
#include <QDir>
#include "app/IntEdit.h"
#include "dialogs/FITSOptionsForm.h"
#include "dialogs/JPEGOptionsForm.h"
#include "app/Child.h"
#include "dialogs/FileOptionsForm.h"
#include "dialogs/ImportForm.h"
#include "platform/Application.h"

#include <QTest>
#include "app/FileManager.h"
#include "app/ImageOverlay.h"
#include "app/MRUFList.h"
#include "app/Main.h"
#include "app/PreferencesForm.h"
#include "app/QuickScaleForm.h"
#include "app/StartUp.h"
#include "app/ZoomForm.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "platform/Registry.h"
#include "platform/AllocationFaults.h"

namespace {
const QString KeyA = QStringLiteral("Software\\Quorvath\\Corvelle Image\\2.0ZUL\\Application");

// One run of the program: the main window and its windows, shown.
struct TRun {
  TRun() {
    Form = new TMainForm;
    MainForm = Form;
    CreateForms(Form);
    Form->show();
  }
  // Closes the main window as the user does (the settings are saved).
  void Close() {
    Form->close();
    End();
  }
  void End() {
    if (!Form) return;
    for (TChildForm* child : Form->MDIChildren()) {
      child->setAttribute(Qt::WA_DeleteOnClose, false);
      delete child;
    }
    FreeForms();
    delete Form;
    Form = nullptr;
    MainForm = nullptr;
  }
  ~TRun() { End(); }
  TMainForm* Form = nullptr;
};

class MainShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TRegistry reg;
    reg.DeleteKey(QStringLiteral("\\Software\\Quorvath"));
    PreviousBox = MessageBox::SetHook([this](TMsgDlgType, const QString& Text, unsigned) {
      Boxes.push_back(Text);
      return int(mrOk);
    });
  }
  void TearDown() override { MessageBox::SetHook(PreviousBox); }
  QStringList Enabled(const TMainForm& Form) const {
    QStringList r;
    for (QAction* a : Form.ActionList())
      if (a->isEnabled()) r << a->objectName();
    return r;
  }
  std::vector<QString> Boxes;
  MessageBox::THook PreviousBox;
};

TChildForm* GreyImage(int W, int H) {
  auto* child = new TChildForm;
  child->DataImage->Allocate(W, H, 3, false);
  for (int i = 0; i < W * H; ++i) child->DataImage->Pixels[i] = float(i);
  child->DataImage->AutoScale();
  child->UpdateImage();
  return child;
}
}  // namespace

namespace {
// Calls Act with the modal dialog once one is open (and is Wanted, when that
// is given); it polls, so the dialog may open after any number of events.
// Gives up after about 10 s.
void WhenModal(std::function<void(QWidget*)> Act, QWidget* Wanted = nullptr) {
  auto* timer = new QTimer;
  auto tries = std::make_shared<int>(0);
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, tries, Act, Wanted] {
    QWidget* dialog = QApplication::activeModalWidget();
    if (Wanted && dialog != Wanted) dialog = nullptr;
    if (!dialog && ++*tries < 1000) return;
    timer->stop();
    timer->deleteLater();
    if (dialog) Act(dialog);
  });
  timer->start();
}
}  // namespace

TEST_F(MainShellTest, FirstSecondAndThirdStart) {
  {
    TRun run;
    EXPECT_TRUE(run.Form->isMaximized());
    ASSERT_NE(frmQuickLinearScale, nullptr);
    EXPECT_TRUE(frmQuickLinearScale->isVisible());
    EXPECT_EQ(run.Form->ROIColour, clWhite);
    EXPECT_EQ(run.Form->MkrColour, clWhite);
    EXPECT_FALSE(run.Form->RecentFiles1->menuAction()->isEnabled());
    EXPECT_TRUE(Boxes.empty());
    run.Close();
  }
  {
    // A first run's settings are kept too.
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(KeyA, false));
    EXPECT_EQ(reg.ReadInteger("State"), 2);
    EXPECT_EQ(reg.ReadInteger("QSVisible"), 1);
    // The recent files and the toolbar positions.
    EXPECT_EQ(reg.GetKeyNames(), QStringList({QStringLiteral("FileHistory"), QStringLiteral("Toolbars")}));
  }
  {
    TRun run;
    EXPECT_TRUE(run.Form->isMaximized());
    EXPECT_TRUE(frmQuickLinearScale->isVisible());
    run.Form->showNormal();
    run.Form->setGeometry(30, 40, 700, 500);
    frmQuickLinearScale->hide();
    run.Form->SavePrompt = 1;
    run.Form->ROIColour = 0x0000FF;
    run.Form->MkrColour = 0x00FF00;
    frmPreferences->edtImagesDir->setText(QStringLiteral("/data/images"));
    run.Close();
  }
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(KeyA, false));
    EXPECT_EQ(reg.ReadInteger("State"), 1);
    const QStringList names = reg.GetValueNames();
    for (const char* n : {"Top", "Left", "Width", "Height", "QSVisible", "QSTop", "QSLeft", "SRVisible", "SRHeight",
                          "PRVisible", "PRHeight", "SavePrompt", "ROIColour", "MkrColour", "ImageDir"})
      EXPECT_TRUE(names.contains(QString::fromLatin1(n))) << n;
    EXPECT_EQ(reg.GetDataType("ROIColour"), TRegDataType::rdBinary);
    EXPECT_EQ(reg.GetDataSize("ROIColour"), 4);
    EXPECT_EQ(reg.ReadInteger("QSVisible"), 0);
  }
  {
    // Third start: everything as it was left.
    TRun run;
    EXPECT_FALSE(run.Form->isMaximized());
    EXPECT_EQ(run.Form->size(), QSize(700, 500));
    EXPECT_FALSE(frmQuickLinearScale->isVisible());
    EXPECT_EQ(run.Form->SavePrompt, 1);
    EXPECT_TRUE(frmPreferences->chkPromptForSave->isChecked());
    EXPECT_EQ(run.Form->ROIColour, TColor(0x0000FF));
    EXPECT_EQ(run.Form->MkrColour, TColor(0x00FF00));
    EXPECT_EQ(TfrmPreferences::PanelColour(frmPreferences->pnlMkrColour), TColor(0x00FF00));
    EXPECT_EQ(run.Form->OpenDialog()->InitialDir, QStringLiteral("/data/images"));
    EXPECT_EQ(frmPreferences->edtImagesDir->text(), QStringLiteral("/data/images"));
    EXPECT_TRUE(run.Form->Action("ViewStdToolbar")->isChecked());
    EXPECT_TRUE(Boxes.empty());
    // New windows take the colours.
    TChildForm* child = GreyImage(4, 4);
    EXPECT_EQ(child->ImageOverlay->ROIColour, TColor(0x0000FF));
  }
  {
    // "State" 2 ignores the stored bounds.
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(KeyA, false));
    reg.WriteInteger("State", 2);
    reg.WriteInteger("Width", 123);
  }
  TRun run;
  EXPECT_TRUE(run.Form->isMaximized());
  EXPECT_NE(run.Form->width(), 123);
}

// Modified images are asked about when they would be thrown away, unless the
// user has said not to: a settings file without that choice asks.
TEST_F(MainShellTest, UnsavedImagesAreAskedAboutUnlessTheStoredChoiceSaysNot) {
  const struct {
    const char* What;
    std::function<void(TRegistry&)> Store;  // into key A, created
    bool Asks;
    int Kept;  // stored after the exit
  } stores[] = {
      {"no settings file", nullptr, true, 1},
      {"settings without the choice", [](TRegistry& r) { r.WriteInteger("State", 2); }, true, 1},
      {"the choice stored as off", [](TRegistry& r) { r.WriteInteger("SavePrompt", 0); }, false, 0},
      {"the choice stored as on", [](TRegistry& r) { r.WriteInteger("SavePrompt", 1); }, true, 1},
      {"a choice that cannot be read", [](TRegistry& r) { r.WriteString("SavePrompt", QStringLiteral("on")); }, true, 1},
      // Preferences shows every value from 1 up as on, and so it is.
      {"the choice stored as 2", [](TRegistry& r) { r.WriteInteger("SavePrompt", 2); }, true, 2},
      {"the choice stored as -1", [](TRegistry& r) { r.WriteInteger("SavePrompt", -1); }, false, -1},
  };
  const struct {
    const char* What;
    std::function<void(TRun&, TChildForm*)> Close;
    int Questions;  // when the program asks
    bool Exits;
  } closes[] = {
      {"File > Exit", [](TRun& R, TChildForm*) { R.Form->Action("FileExit")->trigger(); }, 2, true},
      {"closing the main window (Alt+F4)", [](TRun& R, TChildForm*) { R.Form->close(); }, 2, true},
      {"closing an image window", [](TRun&, TChildForm* C) { C->close(); }, 1, false},
  };
  int cases = 0, asked = 0;
  for (const auto& s : stores) {
    for (const auto& c : closes) {
      SCOPED_TRACE(std::string(s.What) + ", " + c.What);
      TRegistry().DeleteKey(QStringLiteral("\\Software\\Quorvath"));
      if (s.Store) {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(KeyA, true));
        s.Store(reg);
      }
      TRun run;
      GreyImage(4, 3);
      TChildForm* second = GreyImage(5, 2);
      ASSERT_TRUE(second->Modified);
      EXPECT_EQ(frmPreferences->chkPromptForSave->isChecked(), s.Asks);
      Boxes.clear();
      c.Close(run, second);  // every question is answered No
      const auto questions = std::count_if(Boxes.begin(), Boxes.end(), [](const QString& B) {
        return B == QStringLiteral("Do you want to save the changes you made to \"Untitled\"?");
      });
      EXPECT_EQ(questions, s.Asks ? c.Questions : 0);
      EXPECT_EQ(Boxes.size(), std::size_t(questions));
      ++cases;
      asked += questions > 0;
      EXPECT_EQ(run.Form->isVisible(), !c.Exits);
      EXPECT_EQ(run.Form->MDIChildren().size(), c.Exits ? 0 : 1);
      run.End();
      if (c.Exits && s.Store) {
        // A stored choice is kept as it was made.
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(KeyA, false));
        EXPECT_EQ(reg.ReadInteger("SavePrompt"), s.Kept);
      }
    }
  }
  std::printf("[ figures  ] %d ways of throwing two unsaved images away: asked in %d\n", cases, asked);
}

TEST_F(MainShellTest, ExitKeepsTheSettingsAndOneBadValueSpoilsNoOther) {
  {
    // File > Exit on a first run, reached through the menu as a user does.
    TRun run;
    run.Form->SavePrompt = 1;
    frmPreferences->edtImagesDir->setText(QStringLiteral("/data/night"));
    run.Form->Action("FileExit")->trigger();
    EXPECT_FALSE(run.Form->isVisible());
    run.End();
  }
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(KeyA, false));
    EXPECT_EQ(reg.ReadInteger("SavePrompt"), 1);
    EXPECT_EQ(reg.ReadString("ImageDir"), QStringLiteral("/data/night"));
    // One value of the wrong type and one missing, early in the order.
    reg.WriteString("State", QStringLiteral("big"));
    reg.DeleteValue("QSTop");
  }
  TRun run;
  EXPECT_TRUE(run.Form->isMaximized());  // the bad value's own default
  EXPECT_EQ(run.Form->SavePrompt, 1);
  EXPECT_EQ(run.Form->OpenDialog()->InitialDir, QStringLiteral("/data/night"));
  EXPECT_TRUE(Boxes.empty());
}

TEST_F(MainShellTest, StoredBoundsAreKeptOnTheScreensValueByValue) {
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(KeyA + QStringLiteral("\\FileHistory"), true));
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("\\") + KeyA, false));
    const std::pair<const char*, int> values[] = {
        {"State", 1},        {"Top", -5000},      {"Left", 2000000000}, {"Width", 40000},   {"Height", 300},
        {"QSVisible", 0},    {"QSTop", 90000},    {"QSLeft", 30},       {"SRVisible", 1},   {"SRTop", 10},
        {"SRLeft", 20},      {"SRWidth", 40000},  {"SRHeight", 40000},  {"PRVisible", 1},   {"PRLeft", 25},
        {"PRWidth", 310},    {"PRHeight", 190}};
    for (auto [name, value] : values) reg.WriteInteger(QString::fromLatin1(name), value);
    reg.WriteString(QStringLiteral("PRTop"), QStringLiteral("high"));  // of another kind
  }
  {
    TRun run;
    // Each window on the screen, no larger than it; what was usable kept.
    for (QWidget* w : {static_cast<QWidget*>(run.Form), run.Form->StatisticsResultsWindow,
                       run.Form->PhotometryGridWindow, static_cast<QWidget*>(frmQuickLinearScale)})
      EXPECT_TRUE(screen.contains(QRect(w->pos(), w->size()))) << w->objectName().toStdString();
    EXPECT_FALSE(run.Form->isMaximized());
    EXPECT_EQ(run.Form->size(), QSize(screen.width(), 300));
    EXPECT_EQ(run.Form->StatisticsResultsWindow->size(), screen.size());
    EXPECT_TRUE(run.Form->StatisticsResultsWindow->isVisible());
    QWidget* grid = run.Form->PhotometryGridWindow;
    EXPECT_TRUE(grid->isVisible());
    EXPECT_EQ(QRect(grid->pos(), grid->size()).left(), 25);
    EXPECT_EQ(grid->size(), QSize(310, 190));
    EXPECT_EQ(frmQuickLinearScale->x(), 30);
    EXPECT_FALSE(frmQuickLinearScale->isVisible());
    run.Close();
  }
  // Saved back as shown, not as they were stored.
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(KeyA, false));
  EXPECT_LE(reg.ReadInteger("SRWidth"), screen.width());
  EXPECT_LE(reg.ReadInteger("SRHeight"), screen.height());
  EXPECT_LE(reg.ReadInteger("Width"), screen.width());
  EXPECT_EQ(reg.ReadInteger("PRWidth"), 310);
  EXPECT_TRUE(Boxes.empty());
}

TEST_F(MainShellTest, ImageCommandsFollowTheWindows) {
  TRun run;
  const QStringList always = {
      "FileNew",         "FileOpen",          "FileImport",       "FileExit",       "ViewToolbars",
      "ViewStdToolbar",  "ViewProcessingToolbar", "ViewStatisticsToolbar", "ViewOptions", "EditPaste",
      "HelpContents",    "HelpAbout",         "HelpWeb",          "EditAnnotations", "EditMarkers",
      "ProcessFlip",     "ProcessRegister",   "FilterSharpen",    "FilterBlur",     "FilterPrewitt",
      "FilterMean",      "FilterMedian",      "FilterAdaptive",   "FilterNonLinear"};
  ASSERT_EQ(always.size(), 24);
  QStringList enabled = Enabled(*run.Form);
  enabled.sort();
  QStringList expected = always;
  expected.sort();
  EXPECT_EQ(enabled, expected);
  TChildForm* a = GreyImage(8, 8);
  TChildForm* b = GreyImage(8, 8);
  EXPECT_EQ(Enabled(*run.Form).size(), int(run.Form->ActionList().size()));
  EXPECT_TRUE(frmQuickLinearScale->fedMin->isEnabled());
  a->close();
  EXPECT_EQ(Enabled(*run.Form).size(), int(run.Form->ActionList().size()));
  run.Form->SetPanelText(1, QStringLiteral("8 x 8"));
  b->close();
  enabled = Enabled(*run.Form);
  enabled.sort();
  EXPECT_EQ(enabled, expected);
  EXPECT_EQ(run.Form->PanelText(1), QString());
  EXPECT_FALSE(frmQuickLinearScale->fedMin->isEnabled());
  EXPECT_TRUE(frmQuickLinearScale->Points().isEmpty());
}

TEST_F(MainShellTest, CommandTableCaptionsAndShortcuts) {
  TRun run;
  struct TRow {
    const char* Name;
    const char* Caption;
    const char* Key;
  };
  const TRow rows[] = {
      {"FileNew", "&New...", ""}, {"FileOpen", "&Open...", "Ctrl+O"}, {"FileSaveAs", "Save &As...", "Ctrl+S"},
      {"FileImport", "&Import...", ""}, {"FilePrint", "&Print...", "Ctrl+P"}, {"FileExit", "E&xit", ""},
      {"EditCopy", "&Copy", "Ctrl+C"}, {"EditPaste", "&Paste", "Ctrl+V"}, {"EditDuplicate", "&Duplicate", "Ctrl+D"},
      {"EditImageTitle", "&Image Title...", ""}, {"EditFITSHeader", "&FITS Header...", ""},
      {"EditAnnotations", "&Annotations", ""}, {"EditAddAnnotation", "&Add Annotation...", "Ctrl+A"},
      {"EditEditAnnotation", "&Edit Annotation...", ""}, {"EditDeleteAnnotation", "&Delete Annotation", ""},
      {"EditMarkers", "Mar&kers", ""}, {"EditAddMarker", "&Add Marker...", "Ctrl+M"},
      {"EditDeleteMarker", "&Delete Marker...", ""}, {"EditDeleteAllMarkers", "Delete All &Markers", ""},
      {"ViewZoom", "Set &Zoom...", ""}, {"ViewQuickZoom", "&Quick Zoom...", ""}, {"ViewToolbars", "&Toolbars", ""},
      {"ViewStdToolbar", "&Standard", ""}, {"ViewProcessingToolbar", "&Processing", ""},
      {"ViewStatisticsToolbar", "S&tatistics", ""}, {"ViewOptions", "&Preferences...", ""},
      {"ProcessFlip", "&Flip", ""}, {"ProcessFlipLeftToRight", "&Left To Right", ""},
      {"ProcessFlipTopToBottom", "&Top To Bottom", ""}, {"ProcessRotate", "R&otate...", ""},
      {"ProcessResample", "&Resample...", ""}, {"ProcessPixelMath", "Pixel &Math...", ""},
      {"ProcessCrop", "Cro&p...", ""}, {"ProcessImageMath", "&Image Math...", ""},
      {"ProcessCombine", "Combi&ne...", ""}, {"ProcessCalibrate", "Cali&brate...", ""},
      {"ProcessRegister", "R&egister Images", ""}, {"ProcessRegisterImages", "&Polynomial...", "Ctrl+R"},
      {"ProcessFFTCorrelation", "&FFT Correlation", ""}, {"ProcessRGBCombine", "RGB &Combine...", ""},
      {"ProcessColourSplit", "Sp&lit Colour Planes", ""}, {"ProcessColourToGrey", "Convert to &Greyscale", ""},
      {"StatisticsImageStats", "&Statistics of Image...", "Ctrl+I"},
      {"StatisticsAreaStats", "Statistics of &Area...", ""}, {"StatisticsImagesStats", "Statistics of &Images...", ""},
      {"StatisticsResults", "Statisti&cs Results...", ""}, {"StatisticsImageHisto", "&Histogram of Image...", "Ctrl+H"},
      {"StatisticsAreaHisto", "Histogram of A&rea...", ""}, {"StatisticsRadialPplot", "Ra&dial Plot...", ""},
      {"StatisticsLinePlot", "&Line Plot...", ""}, {"StatisticsContour", "C&ontour Plot...", ""},
      {"Statistics3DVisu", "&3D Visualisation...", ""}, {"ScaleBriCon", "&Brightness and Contrast...", "Ctrl+B"},
      {"ScaleGamma", "&Gamma...", ""}, {"ScaleLog", "L&og...", ""}, {"ScaleColourBalance", "&Colour Balance...", ""},
      {"ScaleHSI", "Hue, Saturation && &Intensity...", ""}, {"ScaleLinear", "&Linear...", "Ctrl+L"},
      {"ScaleDDP", "&DDP...", ""}, {"ScaleHistogramSpec", "&Histogram Specification...", ""},
      {"ScalePseudoColour", "&Pseudo Colour...", ""}, {"ScaleQuick", "&Quick Scale...", ""},
      {"FilterSharpen", "&Sharpen", ""}, {"FilterSharpenLittle", "Sharpen &Little", ""},
      {"FilterSharpenMore", "Sharpen &More", ""}, {"FilterBlur", "&Blur", ""}, {"FilterBlurLittle", "Blur &Little", ""},
      {"FilterBlurMore", "Blur &More", ""}, {"FilterPointDetector", "&Point Detector", ""},
      {"FilterVertEdge", "&Verticle Edge Detector", ""}, {"FilterHorzEdge", "Hori&zontal Edge Detector", ""},
      {"FilterLaplacian", "&Laplacian", ""}, {"FilterSobel", "S&obel", ""}, {"FilterPrewitt", "P&rewitt", ""},
      {"FilterPrewittNorth", "&North", ""}, {"FilterPrewittSouth", "&South", ""}, {"FilterPrewittEast", "&East", ""},
      {"FilterPrewittWest", "&West", ""}, {"FilterMinimum", "M&inimum", ""}, {"FilterMaximum", "Ma&ximum", ""},
      {"FilterMedian", "M&edian", ""}, {"FilterMedian3", "Median &3x3", ""}, {"FilterMedian5", "Median &5x5", ""},
      {"FilterMedian7", "Median &7x7", ""}, {"FilterMean", "&Mean", ""}, {"FilterMean3", "Mean &3x3", ""},
      {"FilterMean5", "Mean &5x5", ""}, {"FilterMean7", "Mean &7x7", ""}, {"FilterAdaptive", "&Adaptive Filters", ""},
      {"FilterAdaptiveMMSE", "Adaptive &MMSE...", ""}, {"FilterAdaptiveDWMTM", "Adaptive &DW-MTM...", ""},
      {"FilterNonLinear", "&Nonlinear Filters", ""}, {"FilterATMean", "&Alpha-Trimmed Mean...", ""},
      {"FilterCHMean", "&Contra-harmonic Mean...", ""}, {"FilterNoise", "Noise &Filter...", ""},
      {"FilterUnsharpMask", "&Unsharp Mask...", ""}, {"FilterFFT", "FF&T Filter...", ""},
      {"FilterHomomorphic", "&Homomorphic Filter...", ""}, {"FilterCustom", "&Custom...", ""},
      {"FilterEditFFT", "E&dit FFT...", ""}, {"RestorationMaxEntropy", "&Maximum Entropy...", "Ctrl+E"},
      {"RestorationLucyRichardson", "&Lucy-Richardson...", ""}, {"RestorationVanCittert", "&Van Cittert...", ""},
      {"PhotometryAddApature", "&Add Aperture...", ""}, {"PhotometryClearApatures", "R&emove All Apertures", ""},
      {"PhotometrySetRef", "&Set Comparison Star...", ""}, {"PhotometryCalcMag", "&Calculate Magnitudes...", ""},
      {"PhotometryMultiImage", "&Multiple Images...", ""}, {"PhotometryCalcAbsMag", "&Calculate Magnitudes...", ""},
      {"PhotometryResults", "Photometry &Results...", ""}, {"PhotometrySetup", "&Photometry Settings...", ""},
      {"WindowCascade", "&Cascade", ""}, {"WindowTileVertical", "&Tile Vertically", ""},
      {"WindowTileHorizontal", "Tile &Horizontally", ""}, {"WindowMinimizeAll", "&Minimize All", ""},
      {"WindowArrange", "&Arrange", ""}, {"HelpContents", "&Contents...", "F1"},
      {"HelpWeb", "Corvelle &Image 2.5ZUL Home Page...", ""}, {"HelpAbout", "&About...", ""}};
  for (const TRow& r : rows) {
    QAction* a = run.Form->Action(QString::fromLatin1(r.Name));
    ASSERT_NE(a, nullptr) << r.Name;
    EXPECT_EQ(a->text().toStdString(), r.Caption) << r.Name;
    EXPECT_EQ(a->shortcut(), QKeySequence(QString::fromLatin1(r.Key))) << r.Name;
    // Every action but Arrange sits in a menu.
    if (QLatin1String(r.Name) != QLatin1String("WindowArrange")) {
      EXPECT_FALSE(a->associatedObjects().isEmpty()) << r.Name;
    }
  }
  EXPECT_EQ(int(run.Form->ActionList().size()), int(std::size(rows)));
  QStringList titles;
  for (QAction* m : run.Form->menuBar()->actions()) titles << m->text();
  EXPECT_EQ(titles, QStringList({"&File", "&Edit", "&View", "&Process", "&Statistics", "S&cale", "F&ilter",
                                 "&Restoration", "Ph&otometry", "&Window", "&Help"}));
  // File > Reopen sits right before Exit.
  const QList<QAction*> file = run.Form->Menu("FileMenu")->actions();
  const int exit = int(file.indexOf(run.Form->Action("FileExit")));
  ASSERT_GT(exit, 0);
  EXPECT_EQ(file[exit - 1]->text(), QStringLiteral("&Reopen"));
  // The toolbars carry the listed actions.
  EXPECT_EQ(run.Form->tbrMain->windowTitle(), QStringLiteral("Standard"));
  EXPECT_EQ(run.Form->tbrMain->actions().first()->objectName(), QStringLiteral("FileOpen"));
  EXPECT_EQ(run.Form->tbrProcessing->windowTitle(), QStringLiteral("Processing"));
  EXPECT_EQ(run.Form->tbrStatistics->actions().last()->objectName(), QStringLiteral("StatisticsContour"));
  // Hiding a toolbar clears its check mark.
  run.Form->tbrStatistics->hide();
  EXPECT_FALSE(run.Form->Action("ViewStatisticsToolbar")->isChecked());
  run.Form->Action("ViewStatisticsToolbar")->trigger();
  EXPECT_TRUE(run.Form->tbrStatistics->isVisible());
  EXPECT_TRUE(run.Form->Action("ViewStatisticsToolbar")->isChecked());
}

TEST_F(MainShellTest, RecentFilesThroughOpenAndReopen) {
  QTemporaryDir dir;
  TRun run;
  // Three small bitmaps opened at once, in the dialog's order.
  QStringList files;
  for (int i = 0; i < 3; ++i) {
    QImage img(2 + i, 2, QImage::Format_RGB888);
    img.fill(Qt::gray);
    files << dir.filePath(QStringLiteral("p%1.bmp").arg(i));
    ASSERT_TRUE(img.save(files.last(), "BMP"));
  }
  auto previous = TFileDialog::SetHook([&](TFileDialog& d) {
    d.Files = files;
    d.FileName = files.first();
    return true;
  });
  run.Form->FileOpenExecute();
  TFileDialog::SetHook(previous);
  EXPECT_EQ(run.Form->MDIChildCount(), 3);
  EXPECT_EQ(run.Form->RecentFiles->Files(), QStringList({files[2], files[1], files[0]}));
  EXPECT_TRUE(run.Form->RecentFiles1->menuAction()->isEnabled());
  // Reopening the third entry opens it and leaves the list as it is.
  QAction* third = run.Form->RecentFiles->Entries()[2];
  EXPECT_EQ(third->text(), "&3 " + files[0]);
  third->trigger();
  EXPECT_EQ(run.Form->MDIChildCount(), 4);
  EXPECT_EQ(run.Form->ActiveMDIChild()->Caption(), QStringLiteral("p0.bmp"));
  EXPECT_EQ(run.Form->RecentFiles->Files().first(), files[2]);
  // Opening it again moves it up.
  OpenImageFile(files[0]);
  run.Form->RecentFiles->AddFile(files[0]);
  EXPECT_EQ(run.Form->RecentFiles->Entries()[0]->text(), "&1 " + files[0]);
  EXPECT_EQ(run.Form->RecentFiles->Entries()[2]->text(), "&3 " + files[1]);
  run.Close();
  // The next start shows the same list.
  TRun again;
  EXPECT_EQ(again.Form->RecentFiles->Files(), QStringList({files[0], files[2], files[1]}));
}

TEST_F(MainShellTest, ApertureCommandsWarnWithoutApertures) {
  TRun run;
  TChildForm* child = GreyImage(16, 16);
  run.Form->Action("PhotometrySetRef")->trigger();
  run.Form->Action("PhotometryCalcAbsMag")->trigger();
  ASSERT_EQ(Boxes.size(), 2u);
  EXPECT_EQ(Boxes[0], QStringLiteral("There are no apertures currently defined.  Before setting the reference star "
                                     "first use the Add Aperture command."));
  child->ImageOverlay->AddAperture(5, 5, 2, 3, 4);
  child->ImageOverlay->AddAperture(9, 9, 2, 3, 4);
  child->CompMagnitude = 12.5;
  run.Form->Action("PhotometryClearApatures")->trigger();
  EXPECT_TRUE(child->ImageOverlay->Apertures().empty());
  EXPECT_EQ(child->CompMagnitude, -99.0);
}

namespace {
// Records the addresses the program asks the desktop to open.
class TUrlRecorder : public QObject {
  Q_OBJECT
 public:
  QList<QUrl> Urls;
 public slots:
  void Open(const QUrl& Url) { Urls.push_back(Url); }
};
}  // namespace

TEST_F(MainShellTest, HelpHintsAndAbout) {
  TRun run;
  TUrlRecorder recorder;
  QDesktopServices::setUrlHandler(QStringLiteral("https"), &recorder, "Open");
  QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "Open");
  run.Form->Action("HelpWeb")->trigger();
  ASSERT_EQ(recorder.Urls.size(), 1);
  EXPECT_EQ(recorder.Urls[0].scheme(), QStringLiteral("https"));
  // Contents opens the page beside the program, or says it is missing.
  run.Form->Action("HelpContents")->trigger();
  if (QFileInfo::exists(TMainForm::HelpFileName())) {
    ASSERT_EQ(recorder.Urls.size(), 2);
    EXPECT_EQ(recorder.Urls[1], QUrl::fromLocalFile(TMainForm::HelpFileName()));
  } else {
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_TRUE(Boxes[0].contains(QStringLiteral("nvhelp.html")));
  }
  // F1 in a dialog opens its topic.
  TApplication* app = Application();
  ASSERT_NE(app, nullptr);
  const QString help = app->HelpFile();
  app->SetHelpFile(QStringLiteral(CORVELLE_SOURCE_DIR "/app/help/nvhelp.html"));
  recorder.Urls.clear();
  frmImport->show();
  QTest::keyClick(frmImport, Qt::Key_F1);
  frmImport->hide();
  app->SetHelpFile(help);
  ASSERT_EQ(recorder.Urls.size(), 1);
  EXPECT_EQ(recorder.Urls[0].fragment(), QStringLiteral("context-203"));
  QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
  QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
  EXPECT_TRUE(QFileInfo::exists(QStringLiteral(CORVELLE_SOURCE_DIR "/app/help/nvhelp.html")));
  // No browser to be had: F1 says so instead of doing nothing visible.
  {
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QByteArray("/nonexistent"));
    app->SetHelpFile(QStringLiteral(CORVELLE_SOURCE_DIR "/app/help/nvhelp.html"));
    Boxes.clear();
    frmImport->show();
    QTest::keyClick(frmImport, Qt::Key_F1);
    frmImport->hide();
    app->SetHelpFile(help);
    qputenv("PATH", path);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_TRUE(Boxes[0].contains(QStringLiteral("could not be shown")));
  }
  // A command's hint: its long part goes to panel 0.
  QStatusTipEvent tip(run.Form->Action("FileOpen")->statusTip());
  QApplication::sendEvent(run.Form, &tip);
  EXPECT_EQ(run.Form->PanelText(0), QStringLiteral("Open"));
  QStatusTipEvent custom(QStringLiteral("Short|The long hint"));
  QApplication::sendEvent(run.Form, &custom);
  EXPECT_EQ(run.Form->PanelText(0), QStringLiteral("The long hint"));
  // The About box and the splash window.
  ASSERT_NE(frmAbout, nullptr);
  EXPECT_EQ(frmAbout->windowTitle(), QStringLiteral("About Corvelle Image 2.5ZUL"));
  frmAbout->show();
  EXPECT_EQ(frmAbout->Shape1->x(), frmAbout->Image1->x());
  EXPECT_EQ(frmAbout->Shape1->width(), frmAbout->Image1->width());
  EXPECT_EQ(frmAbout->Shape1->y(), frmAbout->Image1->geometry().bottom() + 1);
  frmAbout->hide();
  TfrmSplash splash;
  splash.show();
  EXPECT_EQ(splash.size(), splash.Image1->pixmap().size());
  EXPECT_EQ(splash.Image1->pos(), QPoint(0, 0));
}

TEST_F(MainShellTest, SaveDialogHasFileOptions) {
  TRun run;
  GreyImage(8, 8);
  bool found = false;
  int page = -1;
  WhenModal([&](QWidget* dialog) {
    auto* button = dialog->findChild<QPushButton*>(QStringLiteral("btnOptions"));
    found = button && button->text() == QStringLiteral("&Options...");
    // The button opens File Options on the grey window's FITS page.
    WhenModal(
        [&](QWidget*) {
          page = frmFileOptions->PageControl1->currentIndex();
          frmFileOptions->SetModalResult(mrOk);
        },
        frmFileOptions);
    if (button) button->click();
    static_cast<QDialog*>(dialog)->reject();
  });
  run.Form->FileSaveAsExecute();
  EXPECT_TRUE(found);
  EXPECT_EQ(page, 1);
}


TEST_F(MainShellTest, StartUpCreatesEachWindowOnceInOrder) {
  TRun run;
  // The windows of the start-up list that the program has, in the list's order.
  const QStringList expected = {"frmZoom",        "frmAnnotation",       "frmFileOptions", "frmFITSHeader",
                                "frmImport",      "frmPreferences",      "frmPrint",       "frmQuickZoom",
                                "frmQuickLinearScale", "frmAbout",       "frmNew",         "frmFITSOptions",
                                "frmJPEGOptions"};
  QStringList created;
  for (QObject* o : run.Form->children())
    if (o->isWidgetType() && o->objectName().startsWith(QLatin1String("frm"))) created << o->objectName();
  // The groups' dialogs follow the shell's windows, each once.
  EXPECT_EQ(created.mid(0, expected.size()), expected);
  EXPECT_EQ(created.removeDuplicates(), 0);
  EXPECT_EQ(run.Form->findChildren<TfrmImport*>().size(), 1);
  EXPECT_EQ(frmImport->parent(), run.Form);
  EXPECT_EQ(frmJPEGOptions->parent(), run.Form);
}

// Memory that runs out while the windows are made: one line says there is
// not enough memory to start, in a box when the room kept for it is enough,
// on the error stream when memory stays short; the program ends with status 1
// and the settings stay as they were, byte for byte, nothing new beside them.
// Each start-up runs in a process of its own, since it ends the process.
TEST_F(MainShellTest, StartUpShortOfMemorySaysSoAndLeavesTheSettings) {
  TRun().Close();  // a settings file to keep
  const QFileInfo store(TRegistry::StorageFile());
  const auto bytes = [&store] {
    QFile f(store.filePath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
  };
  const QByteArray stored = bytes();
  ASSERT_FALSE(stored.isEmpty());
  const QStringList beside = store.dir().entryList(QDir::AllEntries | QDir::Hidden | QDir::System);
  // The allocations of a whole start-up.
  allocfaults::Arm(LONG_MAX, false);
  std::unique_ptr<TMainForm> whole = StartUp();
  const long total = allocfaults::Seen();
  allocfaults::Disarm();
  ASSERT_TRUE(whole);
  FreeForms();
  whole.reset();
  MainForm = nullptr;
  ASSERT_GT(total, 1000);

  const std::string line = msgNoMemoryToStart;
  const struct {
    long Nth;    // the allocation that fails first
    bool Every;  // and every one after it
  } cases[] = {
      {1, false},          {total / 7, true},      {total / 3, false}, {total / 2 + 1, true},
      {total * 2 / 3, false}, {total * 5 / 6, true}, {total * 9 / 10, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "allocation " << c.Nth << " of " << total << (c.Every ? " and after" : ""));
    int err[2];
    ASSERT_EQ(pipe(err), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      dup2(err[1], 2);
      close(err[0]);
      MessageBox::SetHook([](TMsgDlgType, const QString& Text, unsigned) {
        std::fprintf(stderr, "box: %s\n", Text.toUtf8().constData());
        return int(mrOk);
      });
      allocfaults::Arm(c.Nth, c.Every);
      try {
        const std::unique_ptr<TMainForm> started = StartUp();
        _exit(started ? 0 : 3);
      } catch (...) {
        _exit(4);
      }
    }
    close(err[1]);
    std::string said;
    char buffer[4096];
    for (ssize_t n; (n = read(err[0], buffer, sizeof buffer)) > 0;) said.append(buffer, std::size_t(n));
    close(err[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status) << "\n" << said;
    EXPECT_EQ(WEXITSTATUS(status), 1);
    // The toolkit's own notes aside, the one line.
    std::string lines;
    std::istringstream in(said);
    for (std::string l; std::getline(in, l);)
      if (l.rfind("This plugin does not support", 0) != 0 && l.rfind("QStandardPaths", 0) != 0) lines += l + "\n";
    EXPECT_EQ(lines, (c.Every ? "" : "box: ") + line + "\n");
    EXPECT_EQ(bytes(), stored);
    EXPECT_EQ(store.dir().entryList(QDir::AllEntries | QDir::Hidden | QDir::System), beside);
  }
}

TEST_F(MainShellTest, SaveAndImportGoThroughTheirDialogs) {
  QTemporaryDir dir;
  TRun run;
  TChildForm* child = GreyImage(6, 4);
  QString chosen;
  auto previous = TFileDialog::SetHook([&](TFileDialog& d) {
    d.FileName = chosen;
    d.Files = QStringList{chosen};
    return true;
  });
  // File > Save As to a FITS name: the FITS Options dialog comes first, and a
  // new 16-bit header made there is what the file gets.
  chosen = dir.filePath(QStringLiteral("a.fts"));
  QWidget* shown = nullptr;
  WhenDialog(frmFITSOptions, [&] {
    shown = frmFITSOptions;
    ClickOption(frmFITSOptions->rdoData16);
    QTest::mouseClick(frmFITSOptions->btnNewHeader, Qt::LeftButton);
    QTest::mouseClick(ButtonOf(frmFITSOptions, QStringLiteral("OK")), Qt::LeftButton);
  });
  ASSERT_TRUE(PickMenuItem(run.Form, QStringLiteral("&File"), QStringLiteral("Save &As...")));
  EXPECT_EQ(shown, frmFITSOptions);
  ASSERT_TRUE(QFileInfo::exists(chosen));
  EXPECT_EQ(FileBITPIX(chosen), 16);
  EXPECT_FALSE(child->FITSHeader.empty());
  // A window without header takes its data type from File Options.
  GreyImage(5, 3);
  frmFileOptions->grpDataType->button(0)->setChecked(true);
  chosen = dir.filePath(QStringLiteral("h16.fts"));
  WhenModal([&](QWidget*) { frmFITSOptions->SetModalResult(mrOk); });
  run.Form->Action("FileSaveAs")->trigger();
  EXPECT_EQ(FileBITPIX(chosen), 16);
  // That window keeps the header it was given; a new one takes the other type.
  GreyImage(5, 3);
  frmFileOptions->grpDataType->button(1)->setChecked(true);
  chosen = dir.filePath(QStringLiteral("h32.fts"));
  WhenModal([&](QWidget*) { frmFITSOptions->SetModalResult(mrOk); });
  run.Form->Action("FileSaveAs")->trigger();
  EXPECT_EQ(FileBITPIX(chosen), -32);
  // Cancel there writes nothing.
  chosen = dir.filePath(QStringLiteral("b.fts"));
  shown = nullptr;
  WhenDialog(frmFITSOptions, [&] {
    shown = frmFITSOptions;
    QTest::mouseClick(ButtonOf(frmFITSOptions, QStringLiteral("Cancel")), Qt::LeftButton);
  });
  ASSERT_TRUE(PickMenuItem(run.Form, QStringLiteral("&File"), QStringLiteral("Save &As...")));
  EXPECT_EQ(shown, frmFITSOptions);
  EXPECT_FALSE(QFileInfo::exists(chosen));
  // A JPEG name: the JPEG Options dialog, whose settings stay for the next save.
  chosen = dir.filePath(QStringLiteral("c.jpg"));
  shown = nullptr;
  WhenModal([&](QWidget* d) {
    shown = d;
    frmJPEGOptions->trkJPEGCompression->setValue(20);
    frmJPEGOptions->SetModalResult(mrOk);
  });
  run.Form->Action("FileSaveAs")->trigger();
  EXPECT_EQ(shown, frmJPEGOptions);
  ASSERT_TRUE(QFileInfo::exists(chosen));
  chosen = dir.filePath(QStringLiteral("d.jpg"));
  int quality = -1;
  WhenModal([&](QWidget*) {
    quality = frmJPEGOptions->trkJPEGCompression->value();
    frmJPEGOptions->SetModalResult(mrCancel);
  });
  run.Form->Action("FileSaveAs")->trigger();
  EXPECT_EQ(quality, 20);
  EXPECT_FALSE(QFileInfo::exists(chosen));

  // File > Import: the file, then the dialog; OK opens the imported window.
  chosen = dir.filePath(QStringLiteral("e.raw"));
  {
    QFile f(chosen);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray("\x01\x02\x03\x04\x05\x06", 6));
  }
  const int before = run.Form->MDIChildCount();
  shown = nullptr;
  WhenDialog(frmImport, [&] {
    shown = frmImport;
    TypeInto(frmImport->iedWidth, QStringLiteral("3"));
    TypeInto(frmImport->iedHeight, QStringLiteral("2"));
    ClickOption(frmImport->grpDataFormat->button(0));
    QTest::mouseClick(ButtonOf(frmImport, QStringLiteral("OK")), Qt::LeftButton);
    // Should the import be refused, the dialog is closed so the test goes on.
    if (frmImport->isVisible()) QTest::mouseClick(ButtonOf(frmImport, QStringLiteral("Cancel")), Qt::LeftButton);
  });
  ASSERT_TRUE(PickMenuItem(run.Form, QStringLiteral("&File"), QStringLiteral("&Import...")));
  TFileDialog::SetHook(previous);
  EXPECT_EQ(shown, frmImport);
  ASSERT_EQ(run.Form->MDIChildCount(), before + 1);
  TChildForm* imported = run.Form->ActiveMDIChild();
  EXPECT_EQ(imported->Caption(), QStringLiteral("Imported e.raw"));
  EXPECT_EQ(imported->DataImage->GetPixel(2, 1), 6.0f);
  EXPECT_TRUE(Boxes.empty());
}

#include "MainShellTest.moc"
