#include "dialogs/DeconvolutionForms.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>
#include <new>

#include "app/Child.h"
#include "app/FloatEdit.h"
#include "app/IntEdit.h"
#include "app/Main.h"
#include "app/PreviewFrame.h"
#include "engine/FFT.h"
#include "engine/LucyRichardson1.h"
#include "engine/MaximumEntropy.h"
#include "engine/Measure.h"
#include "engine/PSF.h"
#include "engine/VanCittert.h"
#include "platform/MessageBox.h"
#include "dialogs/BuddyLabel.h"

TfrmLucyRichardson* frmLucyRichardson = nullptr;
TfrmMaximumEntropy* frmMaximumEntropy = nullptr;
TfrmVanCittert* frmVanCittert = nullptr;

namespace {

// The largest padded side the dialogs accept; the transform's tables go
// further, but the image and its PSF with their complex planes at 16384 would
// take several gigabytes.
constexpr int kLargestSide = 8192;

const TDeconvolutionConfig LucyRichardsonConfig = {
    "frmLucyRichardson",
    "Lucy-Richardson Deconvolution",
    901,
    "Lucy-Richardson Settings",
    10,
    "&Extract from image",
    "Lucy Richardson deconvolution can only be performed on grey scale images.",
    "Lucy Richardson",
    errLucyRichardsonDialogDeconvolve,
    errLucyRichardsonPreview,
    [](int Iterations, TDataImage& Observed, TDataImage& PSF) {
      return LucyRichardsonDeconvolve(Iterations, Observed, PSF);
    }};

const TDeconvolutionConfig MaximumEntropyConfig = {
    "frmMaximumEntropy",
    "Maximum Entropy Deconvolution",
    900,
    "Maximum Entropy Settings",
    10,
    "&Extract From Image",
    "Maximum entropy deconvolution can only be performed on grey scale images.",
    "Maximum Entropy",
    errMaximumEntropyDialogDeconvolve,
    errMaximumEntropyPreview,
    [](int Iterations, TDataImage& Observed, TDataImage& PSF) {
      return MaximumEntropyDeconvolve(Iterations, Observed, PSF);
    }};

const TDeconvolutionConfig VanCittertConfig = {
    "frmVanCittert",
    "Van Cittert Deconvolution",
    902,
    "Van Cittert Settings",
    5,
    "&Extract From Image",
    "Van Cittert deconvolution can only be performed on grey scale images.",
    "Van Cittert",
    errVanCittertDialogDeconvolve,
    errVanCittertPreview,
    [](int Iterations, TDataImage& Observed, TDataImage& PSF) {
      return VanCittertDeconvolve(Iterations, Observed, PSF);
    }};

}  // namespace

TfrmLucyRichardson::TfrmLucyRichardson(QWidget* Parent) : TfrmDeconvolution(LucyRichardsonConfig, Parent) {}
TfrmMaximumEntropy::TfrmMaximumEntropy(QWidget* Parent) : TfrmDeconvolution(MaximumEntropyConfig, Parent) {}
TfrmVanCittert::TfrmVanCittert(QWidget* Parent) : TfrmDeconvolution(VanCittertConfig, Parent) {}

TfrmDeconvolution::TfrmDeconvolution(const TDeconvolutionConfig& Config, QWidget* Parent)
    : TProcessingDialog(Parent), FConfig(Config) {
  setObjectName(QString::fromLatin1(Config.ObjectName));
  setWindowTitle(QString::fromLatin1(Config.Caption));
  HelpContext = Config.HelpContext;
  // The result is a new window drawn over its own range.
  LevelsFromRange = true;

  auto* settings = new QGroupBox(QString::fromLatin1(Config.SettingsCaption), this);
  auto* Label1 = new QLabel(QStringLiteral("&Iterations"), settings);
  iedIterations = new TIntEdit(settings);
  iedIterations->setObjectName(QStringLiteral("iedIterations"));
  iedIterations->setAccessibleName(QStringLiteral("Iterations"));
  iedIterations->SetMinValue(1);
  iedIterations->SetMaxValue(65535);
  iedIterations->SetIncrement(1);
  iedIterations->SetDefaultValue(1);
  iedIterations->SetValue(Config.InitialIterations);
  Label1->setBuddy(iedIterations);
  btnPreview = new QPushButton(QStringLiteral("&Preview"), settings);
  btnPreview->setObjectName(QStringLiteral("btnPreview"));
  btnPreview->setAccessibleName(QStringLiteral("Preview"));
  auto* settingsRow = new QHBoxLayout(settings);
  settingsRow->addWidget(Label1);
  settingsRow->addWidget(iedIterations);
  settingsRow->addWidget(btnPreview);

  auto* psfBox = new QGroupBox(QStringLiteral("PSF Type"), this);
  psfBox->setObjectName(QStringLiteral("grpPSF"));
  grpPSF = new QButtonGroup(this);
  auto* psfCol = new QVBoxLayout(psfBox);
  const QString items[3] = {QStringLiteral("&Gaussian"), QStringLiteral("E&xponential"),
                            QString::fromLatin1(Config.ExtractCaption)};
  for (int i = 0; i < 3; ++i) {
    auto* r = new QRadioButton(items[i], psfBox);
    r->setObjectName(QStringLiteral("rdoPSF%1").arg(i));
    r->setAccessibleName(QString(items[i]).remove(QLatin1Char('&')));
    grpPSF->addButton(r, i);
    psfCol->addWidget(r);
  }
  grpPSF->button(0)->setChecked(true);
  connect(grpPSF, &QButtonGroup::idToggled, this, [this](int, bool On) {
    if (On) grpPSFClick();
  });

  auto* psfSettings = new QGroupBox(QStringLiteral("PSF Settings"), this);
  lblCurveRad = new QLabel(QStringLiteral("Curve &radius"), psfSettings);
  fedCurveRad = new TFloatEdit(psfSettings);
  fedCurveRad->setObjectName(QStringLiteral("fedCurveRad"));
  fedCurveRad->setAccessibleName(QStringLiteral("Curve radius"));
  fedCurveRad->SetMinValue(1e-05L);
  fedCurveRad->SetMaxValue(255);
  fedCurveRad->SetIncludeBounds(true);
  fedCurveRad->SetIncrement(0.1L);
  fedCurveRad->SetDefaultValue(1e-05L);
  fedCurveRad->SetValue(2);
  lblCurveRad->setBuddy(fedCurveRad);
  lblExtractionRad = new QLabel(QStringLiteral("Extraction ra&dius"), psfSettings);
  iedExtractionRad = new TIntEdit(psfSettings);
  iedExtractionRad->setObjectName(QStringLiteral("iedExtractionRad"));
  iedExtractionRad->setAccessibleName(QStringLiteral("Extraction radius"));
  iedExtractionRad->SetMinValue(2);
  iedExtractionRad->SetMaxValue(255);
  iedExtractionRad->SetIncrement(1);
  iedExtractionRad->SetDefaultValue(2);
  iedExtractionRad->SetValue(5);
  lblExtractionRad->setBuddy(iedExtractionRad);
  SetLabelEnabled(lblExtractionRad, false);
  iedExtractionRad->setEnabled(false);
  auto* psfGrid = new QGridLayout(psfSettings);
  psfGrid->addWidget(lblCurveRad, 0, 0);
  psfGrid->addWidget(fedCurveRad, 0, 1);
  psfGrid->addWidget(lblExtractionRad, 1, 0);
  psfGrid->addWidget(iedExtractionRad, 1, 1);

  auto* progress = new QGroupBox(QStringLiteral("Progress"), this);
  lblStatus = new QLabel(QStringLiteral("Status: Idle"), progress);
  lblStatus->setObjectName(QStringLiteral("lblStatus"));
  // Its text is its accessible name, so each change is announced.
  lblStatus->setAccessibleDescription(QStringLiteral("Status"));
  ProgressBar = new QProgressBar(progress);
  ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
  ProgressBar->setAccessibleName(QStringLiteral("Progress"));
  ProgressBar->setRange(0, 100);
  ProgressBar->setValue(0);
  ProgressBar->setTextVisible(false);  // the label says the round
  auto* progressCol = new QVBoxLayout(progress);
  progressCol->addWidget(lblStatus);
  progressCol->addWidget(ProgressBar);

  auto* left = new QVBoxLayout;
  left->addWidget(settings);
  left->addWidget(psfBox);
  left->addWidget(psfSettings);
  left->addWidget(progress);
  auto* columns = new QHBoxLayout;
  columns->addLayout(left, 1);
  columns->addWidget(MakePreview(), 0, Qt::AlignTop);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(columns);
  // OK runs this dialog's own deconvolution, not the copy-and-operate step.
  layout->addLayout(MakeButtons());
  btnOK->setAccessibleName(QStringLiteral("OK"));
  btnCancel->setAccessibleName(QStringLiteral("Cancel"));
  connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
  connect(btnPreview, &QPushButton::clicked, this, [this] { btnPreviewClick(); });
  setFixedSize(sizeHint());
}

void TfrmDeconvolution::Prepare(TChildForm& Source) {
  ResultWindow = nullptr;
  if (!fmePreview->HasImages()) return;
  StartAsResultWindow(Source);
  fmePreview->Refresh();
}

void TfrmDeconvolution::grpPSFClick() {
  const bool extract = grpPSF->checkedId() == 2;
  SetLabelEnabled(lblCurveRad, !extract);
  fedCurveRad->setEnabled(!extract);
  SetLabelEnabled(lblExtractionRad, extract);
  iedExtractionRad->setEnabled(extract);
}

void TfrmDeconvolution::ShowIteration(int Iteration, int Percent) {
  lblStatus->setText(QStringLiteral("Iteration: ") + QString::number(Iteration));
  ProgressBar->setValue(std::clamp(Percent, 0, 100));
  QCoreApplication::processEvents();
}

void TfrmDeconvolution::reject() {
  if (!FRunning) TProcessingDialog::reject();
}

void TfrmDeconvolution::closeEvent(QCloseEvent* Event) {
  if (FRunning) {
    Event->ignore();
    return;
  }
  TProcessingDialog::closeEvent(Event);
}

template <typename Body>
void TfrmDeconvolution::Run(bool Closes, int ErrorNumber, Body&& Work) {
  btnOK->setEnabled(false);
  btnCancel->setEnabled(false);
  btnPreview->setEnabled(false);
  FRunning = true;
  // Each round shows here, then goes on to whoever listened before.
  auto previous = std::make_shared<TProgressHandler>();
  *previous = SetProgressHandler([this, previous](int Iteration, int Percent) {
    ShowIteration(Iteration, Percent);
    if (*previous) (*previous)(Iteration, Percent);
  });
  bool failed = false, outOfMemory = false;
  try {
    Work();
  } catch (...) {
    failed = true;
    outOfMemory = IsOutOfMemory(std::current_exception());
  }
  // The closing steps run whatever happened; the images are released by now.
  SetProgressHandler(*previous);
  btnOK->setEnabled(true);
  btnCancel->setEnabled(true);
  btnPreview->setEnabled(true);
  lblStatus->setText(QStringLiteral("Status: Idle"));
  ProgressBar->setValue(0);
  FRunning = false;
  if (Closes) SetModalResult(mrOk);
  if (failed) outOfMemory ? ReportOutOfMemory(ErrorNumber) : ReportInternalError(ErrorNumber);
}

std::unique_ptr<TDataImage> TfrmDeconvolution::Deconvolve(const TDataImage& Source, TChildForm& Active,
                                                          int ErrorNumber, int& OffsetX, int& OffsetY) {
  const int w = Source.Width, h = Source.Height;
  if (w <= 0 || h <= 0 || !Source.Pixels) {
    ReportInternalError(ErrorNumber);
    return nullptr;
  }
  if (w > kLargestSide || h > kLargestSide) {
    MessageBox::ShowWarning(QString::fromLatin1(msgFourierTooLarge), this);
    return nullptr;
  }
  const int fw = NextPowerOfTwo(w), fh = NextPowerOfTwo(h);
  const int iterations = iedIterations->ConstrainedValue();
  std::unique_ptr<TDataImage> psf;
  switch (grpPSF->checkedId()) {
    case 0:
      psf = CreateGaussianPSF(fw, fh, float(fedCurveRad->ConstrainedValue()));
      break;
    case 1:
      psf = CreateExponentialPSF(fw, fh, float(fedCurveRad->ConstrainedValue()));
      break;
    default: {
      // The star of the window's region of interest, also for the thumbnail.
      float x = 0, y = 0;
      if (!CalcCentroid(x, y, Active)) {
        MessageBox::ShowWarning(QString::fromLatin1(msgNoPSF), this);
        return nullptr;
      }
      // No further than the frame holds around its centre.
      const int radius = std::min(iedExtractionRad->ConstrainedValue(), std::min(fw, fh) / 2 - 1);
      psf = ExtractPSF(fw, fh, radius, x, y, *Active.DataImage);
      break;
    }
  }
  if (!psf) return nullptr;  // reported by the PSF routine
  int pw = 0, ph = 0;
  bool shortOfMemory = false;
  std::unique_ptr<TDataImage> padded = PadToPowerOfTwo(Source, OffsetX, OffsetY, pw, ph, &shortOfMemory);
  if (shortOfMemory) throw std::bad_alloc();  // said as such by the run
  if (!padded || pw != fw || ph != fh || !padded->Pixels) {
    ReportInternalError(ErrorNumber);
    return nullptr;
  }
  std::unique_ptr<TDataImage> result = FConfig.Deconvolve(iterations, *padded, *psf);
  if (!result) return nullptr;  // reported by the engine
  if (result->Width != pw || result->Height != ph || !result->Pixels) {
    ReportInternalError(ErrorNumber);
    return nullptr;
  }
  return result;
}

void TfrmDeconvolution::btnOKClick() {
  TChildForm* active = MainForm ? MainForm->ActiveMDIChild() : nullptr;
  if (!active) return;
  if (active->DataImage->IsColour) {
    MessageBox::ShowWarning(QString::fromLatin1(FConfig.GreyOnlyMessage), this);
    return;
  }
  Run(true, FConfig.RunError, [&] {
    const TDataImage& source = *active->DataImage;
    int ox = 0, oy = 0;
    std::unique_ptr<TDataImage> result = Deconvolve(source, *active, FConfig.RunError, ox, oy);
    if (!result) return;
    const int w = source.Width, h = source.Height, pw = result->Width;
    // The image's area of the padded result, into a new floating-point window.
    auto image = std::make_unique<TDataImage>();
    if (!image->Allocate(w, h, 3, false)) throw std::bad_alloc();
    for (int y = 0; y < h; ++y)
      std::memcpy(image->Pixels + std::int64_t(y) * w, result->Pixels + std::int64_t(y + oy) * pw + ox,
                  std::size_t(w) * sizeof(float));
    result.reset();
    image->AutoScale();
    auto* child = new TChildForm;
    child->DataImage = std::move(image);
    child->SetCaption(QString::fromLatin1(FConfig.ResultCaption));
    child->UpdateImage();
    ResultWindow = child;
    ReportInternalError(0);
  });
}

void TfrmDeconvolution::btnPreviewClick() {
  Run(false, FConfig.PreviewError, [&] {
    TChildForm* active = ActiveChild();
    if (!active) return;
    if (active->DataImage->IsColour) {
      MessageBox::ShowWarning(QString::fromLatin1(FConfig.GreyOnlyMessage), this);
      return;
    }
    if (!fmePreview->HasImages()) return;
    RunOperation(*fmePreview->ResultImage, *fmePreview->SourceImage);
    // The result window spans its own range, as the thumbnail's result does.
    ShowAsResultWindow(*active);
    fmePreview->Refresh();
  });
}

void TfrmDeconvolution::RunOperation(TDataImage& Dst, TDataImage& Src) {
  TChildForm* active = ActiveChild();
  if (!active) return;
  int ox = 0, oy = 0;
  std::unique_ptr<TDataImage> result = Deconvolve(Src, *active, FConfig.PreviewError, ox, oy);
  if (!result) return;
  // The thumbnail's area of the padded result; floats go in unclamped.
  const int w = Src.Width, h = Src.Height, pw = result->Width;
  if (Dst.Width != w || Dst.Height != h || !Dst.Pixels) throw std::bad_alloc();
  for (int y = 0; y < h; ++y)
    std::memcpy(Dst.Pixels + std::int64_t(y) * w, result->Pixels + std::int64_t(y + oy) * pw + ox,
                std::size_t(w) * sizeof(float));
  fmePreview->Refresh();
  ReportInternalError(0);
}
