// Every command of the menus on images without contrast (all zeros, one
// level, one colour, a single pixel): each gives its result or says in words
// why it cannot, never an internal error number.
#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QSet>
#include <QTemporaryDir>
#include <cstdio>

#include "app/FloatEdit.h"
#include "app/PreviewFrame.h"
#include "app/Utilities.h"
#include "dialogs/CalibrateForm.h"
#include "dialogs/DialogTestUtil.h"
#include "dialogs/FFTFilterForm.h"
#include "platform/Application.h"
#include "platform/FileDialog.h"

namespace {

class FlatImages : public AllFormsTest {
 protected:
  void SetUp() override {
    AllFormsTest::SetUp();
    // The program's own boxes for the engine's reports, so that a number
    // reads as the user reads it.
    PreviousWarning = SetWarningHandler(nullptr);
    InstallEngineMessageBoxes();
    PreviousFile = TFileDialog::SetHook([](TFileDialog&) { return false; });
  }
  void TearDown() override {
    TFileDialog::SetHook(PreviousFile);
    SetWarningHandler(PreviousWarning);
    CloseAll();
    AllFormsTest::TearDown();
  }
  void CloseAll() {
    for (TChildForm* child : Form->MDIChildren()) {
      child->setAttribute(Qt::WA_DeleteOnClose, false);
      delete child;
    }
  }

  // Triggers the command; each modal window that opens is answered with OK
  // (btnOK, or accepted when it has none) and closed if it stays open.
  // Windows it leaves shown are hidden.
  void Run(QAction* Action) {
    QSet<QWidget*> before;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->isVisible()) before.insert(w);
    QSet<QWidget*> seen;
    QTimer timer;
    timer.setInterval(2);
    QObject::connect(&timer, &QTimer::timeout, [&] {
      QWidget* modal = QApplication::activeModalWidget();
      if (!modal || seen.contains(modal)) return;
      seen.insert(modal);
      QTimer::singleShot(0, modal, [this, modal] {
        if (!modal->isVisible()) return;
        auto* dialog = qobject_cast<QDialog*>(modal);
        auto* ok = modal->findChild<QAbstractButton*>(QStringLiteral("btnOK"));
        // No printer here, and no OpenGL offscreen.
        const bool confirm = modal->objectName() != QLatin1String("frmPrint") &&
                             (modal->objectName() != QLatin1String("frmSurfaceProperties") ||
                              QGuiApplication::platformName() != QLatin1String("offscreen"));
        // Every image picked where a list offers them, the preview run where
        // there is a button for it.
        for (QListWidget* list : modal->findChildren<QListWidget*>())
          for (int i = 0; i < list->count(); ++i)
            if (QListWidgetItem* item = list->item(i);
                (item->flags() & Qt::ItemIsUserCheckable) && (item->flags() & Qt::ItemIsEnabled))
              item->setCheckState(Qt::Checked);
        for (const char* name : {"btnAddAll", "btnPreview"})
          if (auto* b = modal->findChild<QAbstractButton*>(QLatin1String(name)); confirm && b && b->isEnabled())
            b->click();
        if (!modal->isVisible()) return;
        if (AtOK) AtOK(modal);
        if (confirm && ok && ok->isEnabled())
          ok->click();
        else if (confirm && dialog && !ok)
          dialog->accept();
        if (!modal->isVisible()) return;
        if (dialog)
          dialog->reject();
        else
          modal->close();
      });
    });
    timer.start();
    Action->trigger();
    QCoreApplication::processEvents();
    timer.stop();
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->isVisible() && !before.contains(w) && !qobject_cast<QMenu*>(w)) w->hide();
  }

  TWarningHandler PreviousWarning;
  TFileDialog::THook PreviousFile;
  std::function<void(QWidget* Modal)> AtOK;  // just before OK is pressed
};

// What a command gave: the result window's pixels (first and last) or the
// boxes it showed.
struct TOutcome {
  int Windows = 0;
  QStringList Said;
  bool HasPixels = false;
  double First = 0, Last = 0;
};

}  // namespace

TEST_F(FlatImages, EveryCommandGivesItsResultOrSaysWhy) {
  struct TImage {
    const char* Name;
    int W, H;
    std::uint8_t Type;  // 0 with Colour
    bool Colour;
    float Level;
    TRGBPixel RGB;
  };
  // New's defaults (an all-zero floating-point image) at a size the
  // sanitizers run through quickly, zeros and a constant in 16 bits, a
  // constant floating-point frame, one colour, black, and the smallest image
  // New makes.
  const TImage images[] = {
      {"zeros", 61, 47, 3, false, 0.0f, {}},
      {"zeros 16-bit", 61, 47, 1, false, 0.0f, {}},
      {"100 16-bit", 61, 47, 1, false, 100.0f, {}},
      {"100 float", 61, 47, 3, false, 100.0f, {}},
      {"one colour", 61, 47, 0, true, 0.0f, TRGBPixel{200, 150, 100}},
      {"black colour", 61, 47, 0, true, 0.0f, TRGBPixel{0, 0, 0}},
      {"1 x 1 zero", 1, 1, 3, false, 0.0f, {}},
  };
  // Results that are defined: the level each gives everywhere.
  struct TDefined {
    const char* Image;
    const char* Action;
    float Level;
  };
  const TDefined defined[] = {
      {"zeros", "ScaleGamma", 0.0f},        {"100 float", "ScaleGamma", 100.0f},
      {"100 16-bit", "ScaleGamma", 100.0f}, {"1 x 1 zero", "ScaleGamma", 0.0f},
      {"zeros", "ScaleLog", 0.0f},          {"zeros", "ScaleBriCon", 0.0f},
      {"zeros", "FilterFFT", 0.0f},         {"zeros", "FilterHomomorphic", 0.0f},
      {"1 x 1 zero", "FilterFFT", 0.0f},    {"zeros", "RestorationVanCittert", 0.0f},
      {"1 x 1 zero", "RestorationVanCittert", 0.0f}, {"zeros 16-bit", "ScaleGamma", 0.0f},
      {"zeros 16-bit", "FilterFFT", 0.0f},
      {"100 float", "ProcessCalibrate by itself as flat", 100.0f},
      {"100 16-bit", "ProcessCalibrate by itself as flat", 100.0f},
      {"zeros", "FilterFFT highpass without emphasis", 0.0f},
      {"zeros 16-bit", "FilterFFT highpass without emphasis", 0.0f},
      {"1 x 1 zero", "FilterFFT highpass without emphasis", 0.0f},
      {"zeros", "FilterFFT Butterworth highpass without emphasis", 0.0f},
      {"zeros 16-bit", "FilterFFT Butterworth highpass without emphasis", 0.0f},
  };
  // Refused in words when OK is pressed, no window made, and the preview shows
  // what the command would leave: nothing.
  struct TRefused {
    const char* Image;
    const char* Step;
    const char* Text;
  };
  const char* highpass =
      "Corvelle Image cannot apply a highpass filter without high frequency emphasis to this image because all its "
      "pixels have the same value: the filter would leave nothing of it.";
  const TRefused refused[] = {
      {"100 16-bit", "FilterFFT highpass without emphasis", highpass},
      {"100 float", "FilterFFT highpass without emphasis", highpass},
      {"100 16-bit", "FilterFFT Butterworth highpass without emphasis", highpass},
      {"100 float", "FilterFFT Butterworth highpass without emphasis", highpass},
  };
  const QStringList skipped = {QStringLiteral("FileExit"), QStringLiteral("HelpContents"),
                               QStringLiteral("HelpWeb"), QStringLiteral("WindowMinimizeAll")};
  const QString internal = QStringLiteral("An internal error has occured");
  // Each command with its dialog's defaults, then with values that leave a
  // flat image nothing (set before, and the defaults put back after).
  struct TStep {
    QString Action, Name;
    std::function<void(bool)> Set;
  };
  std::vector<TStep> steps;
  for (QAction* action : Form->ActionList())
    if (!skipped.contains(action->objectName()) && !action->menu())
      steps.push_back({action->objectName(), action->objectName(), {}});
  for (const auto& [kind, label] : {std::pair{1, "FilterFFT highpass without emphasis"},
                                    std::pair{3, "FilterFFT Butterworth highpass without emphasis"}})
    steps.push_back({QStringLiteral("FilterFFT"), QLatin1String(label), [kind = kind](bool On) {
                       frmFFTFilter->FilterTypeButtons->button(On ? kind : 0)->setChecked(true);
                       frmFFTFilter->fedHFE->SetValue(On ? 0 : 1);
                     }});
  TChildForm* source = nullptr;
  QTemporaryDir dir;
  const QString flat = dir.filePath(QStringLiteral("flat.fts"));
  steps.push_back({QStringLiteral("ProcessCalibrate"), QStringLiteral("ProcessCalibrate by itself as flat"),
                   [&](bool On) {
                     TFITSHeader header;
                     if (On && !source->DataImage->IsColour) {
                       EXPECT_TRUE(WriteFITSFloat(flat.toStdString(), header, *source->DataImage).empty());
                     }
                     frmCalibrate->chkBias->setChecked(false);
                     frmCalibrate->chkDark->setChecked(false);
                     frmCalibrate->chkFlat->setChecked(On);
                     frmCalibrate->edtFlat->setText(On ? flat : QString());
                     frmCalibrate->chkRemember->setChecked(false);
                   }});
  int commands = 0, numbered = 0;
  for (const TImage& im : images) {
    SCOPED_TRACE(im.Name);
    CloseAll();
    source = new TChildForm;
    ASSERT_TRUE(source->DataImage->Allocate(im.W, im.H, im.Type, im.Colour));
    for (int y = 0; y < im.H; ++y)
      for (int x = 0; x < im.W; ++x)
        if (im.Colour)
          source->DataImage->SetRGB(x, y, im.RGB);
        else
          source->DataImage->SetPixel(x, y, im.Level);
    source->DataImage->AutoScale();
    source->SetCaption(QString::fromLatin1(im.Name));
    source->UpdateImage();
    // A second image of the same kind for the commands that take two.
    auto* twin = DuplicateImage(source);
    ASSERT_NE(twin, nullptr);
    twin->SetCaption(source->Caption() + QStringLiteral(" twin"));
    QCoreApplication::processEvents();
    for (const TStep& step : steps) {
      QAction* action = Form->Action(step.Action);
      const QString name = step.Name;
      if (!action->isEnabled()) continue;
      SCOPED_TRACE(name.toStdString());
      // Markers on both images (the registrations), an aperture (the
      // photometry), a region of interest (the area commands).
      for (TChildForm* image : {source, twin})
        if (TImageOverlay* o = image->ImageOverlay; im.W > 40) {
          if (o->Markers().empty())
            for (const auto& [x, y] : {std::pair{10, 10}, {50, 12}, {14, 40}, {45, 36}}) o->AddMarker(x, y);
          if (!im.Colour && o->Apertures().empty()) o->AddAperture(30, 20, 4, 6, 8);
          const int roi[4] = {5, 4, 40, 30};
          std::copy(roi, roi + 4, o->ROI);
        }
      Form->MDIArea()->setActiveSubWindow(source);
      Boxes.clear();
      if (step.Set) step.Set(true);
      // What the FFT filter's preview shows when OK is pressed: -1 for none.
      std::int64_t previewLit = -1;
      AtOK = [&](QWidget* Modal) {
        if (Modal != frmFFTFilter) return;
        frmFFTFilter->FlushPreview();
        const TfmePreview* preview = frmFFTFilter->fmePreview;
        if (!preview || !preview->HasImages()) return;
        const TDataImage& shown = *preview->ResultImage;
        previewLit = shown.PixelCount() - std::count(shown.Pixels, shown.Pixels + shown.PixelCount(), 0.0f);
      };
      Run(action);
      AtOK = nullptr;
      if (step.Set) step.Set(false);
      TOutcome out;
      for (const TBoxRecord& b : Boxes) out.Said << b.Text;
      for (TChildForm* child : Form->MDIChildren()) {
        if (child == source || child == twin) continue;
        ++out.Windows;
        const TDataImage& r = *child->DataImage;
        // Zeros give zeros, whatever the command makes of them; the adaptive
        // MMSE filter adds its half to a flat window's mean, as it always has.
        if (!im.Colour && im.Level == 0.0f && !r.IsColour && r.Pixels && step.Action != "FilterAdaptiveMMSE") {
          EXPECT_EQ(std::count(r.Pixels, r.Pixels + r.PixelCount(), 0.0f), r.PixelCount())
              << "pixels above 0 in " << child->Caption().toStdString();
        }
        if (!out.HasPixels && !r.IsColour && r.Pixels && r.PixelCount() > 0) {
          out.HasPixels = true;
          out.First = r.Pixels[0];
          out.Last = r.Pixels[r.PixelCount() - 1];
          for (const TDefined& d : defined)
            if (name == QLatin1String(d.Action) && QLatin1String(d.Image) == QLatin1String(im.Name)) {
              std::int64_t off = 0;
              for (std::int64_t i = 0; i < r.PixelCount(); ++i) off += r.Pixels[i] != d.Level;
              EXPECT_EQ(off, 0) << "pixels not at " << d.Level;
            }
        }
        child->setAttribute(Qt::WA_DeleteOnClose, false);
        delete child;
      }
      for (const TDefined& d : defined) {
        if (name == QLatin1String(d.Action) && QLatin1String(d.Image) == QLatin1String(im.Name)) {
          EXPECT_TRUE(out.HasPixels) << "no result";
        }
      }
      for (const TRefused& r : refused) {
        if (name != QLatin1String(r.Step) || QLatin1String(r.Image) != QLatin1String(im.Name)) continue;
        EXPECT_EQ(out.Windows, 0) << "a window made in spite of the refusal";
        EXPECT_EQ(out.Said, QStringList{QLatin1String(r.Text)});
        EXPECT_EQ(previewLit, 0) << "pixels of the preview above 0 (-1: no preview)";
      }
      const bool number = out.Said.join(QLatin1Char('\n')).contains(internal);
      EXPECT_FALSE(number) << out.Said.join(QStringLiteral(" / ")).toStdString();
      ++commands;
      numbered += number;
      std::printf("[ sweep    ] %s | %s | %s%s\n", im.Name, name.toStdString().c_str(),
                  out.Windows ? (out.HasPixels ? QStringLiteral("window %1..%2 ").arg(out.First).arg(out.Last)
                                               : QStringLiteral("window "))
                                    .toStdString()
                                    .c_str()
                              : "",
                  out.Said.join(QStringLiteral(" / ")).toStdString().c_str());
    }
  }
  std::printf("[ figures  ] %d commands on flat images, %d with an internal error number\n", commands, numbered);
}
