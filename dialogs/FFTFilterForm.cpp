#include "dialogs/FFTFilterForm.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>

#include "app/Child.h"
#include "app/FloatEdit.h"
#include "app/IntEdit.h"
#include "dialogs/DialogControls.h"
#include "engine/Processing.h"
#include "platform/MessageBox.h"
#include "dialogs/BuddyLabel.h"

TfrmFFTFilter* frmFFTFilter = nullptr;

namespace {
// One level above 0 everywhere: its spectrum is the centre sample alone.
bool OneLevelAboveZero(const TDataImage& Image) {
  const std::int64_t n = Image.Pixels ? Image.PixelCount() : 0;
  if (n == 0 || !(Image.Pixels[0] > 0.0f)) return false;
  return std::all_of(Image.Pixels, Image.Pixels + n, [&](float p) { return p == Image.Pixels[0]; });
}
}  // namespace

using namespace DialogControls;

TfrmFFTFilter::TfrmFFTFilter(QWidget* Parent) : TProcessingDialog(Parent) {
  setObjectName(QStringLiteral("frmFFTFilter"));
  setWindowTitle(QStringLiteral("FFT Filter"));
  setAccessibleName(windowTitle());
  HelpContext = 818;
  SetResultCaption(QStringLiteral("FFT Filter"));
  Accepts = TAccepts::GreyOnly;
  RefusalText = QStringLiteral("FFT filtering can only be performed on grey scale images.");
  PreviewOnExecute = true;

  grpFilterType = RadioGroup(this, "grpFilterType", QStringLiteral("Filter Type"),
                             {QStringLiteral("&Ideal lowpass"), QStringLiteral("Ideal &highpass"),
                              QStringLiteral("&Butterworth lowpass"), QStringLiteral("B&utterworth highpass")},
                             0, FilterTypeButtons);
  auto* grid = new QGridLayout;
  // The cut-off has no upper bound of its own; the large maximum only keeps
  // the box's range rule from clamping every value.
  fedStrength = FloatBox(this, "fedStrength", QStringLiteral("Filter strength"), 0.1L, 2e32L, 1, 16);
  fedHFE = FloatBox(this, "fedHFE", QStringLiteral("High frequency emphasis"), 0, 1, 0.1L, 1);
  iedOrder = IntBox(this, "iedOrder", QStringLiteral("Filter order"), 1, 10, 1, 1);
  Row(grid, 0, QStringLiteral("Filter &strength"), fedStrength);
  lblHFE = Row(grid, 1, QStringLiteral("High frequency &emphasis"), fedHFE, nullptr, "lblHFE");
  Row(grid, 2, QStringLiteral("Filter &order"), iedOrder);
  fedHFE->setEnabled(false);
  SetLabelEnabled(lblHFE, false);
  auto* controls = new QVBoxLayout;
  controls->addWidget(grpFilterType);
  controls->addLayout(grid);
  Arrange(this, controls, MakePreview(), MakeDialogButtons());

  connect(FilterTypeButtons, &QButtonGroup::idToggled, this, [this](int, bool On) {
    if (On) grpFilterTypeClick();
  });
  connect(fedStrength, &QLineEdit::textChanged, this, [this] { ParameterChanged(); });
  connect(fedHFE, &QLineEdit::textChanged, this, [this] { ParameterChanged(); });
  connect(iedOrder, &QLineEdit::textChanged, this, [this] { ParameterChanged(); });
}

void TfrmFFTFilter::grpFilterTypeClick() {
  UpdatePreview();
  // Only the high-pass filters add an emphasis.
  const bool highPass = FilterTypeButtons->checkedId() % 2 == 1;
  fedHFE->setEnabled(highPass);
  SetLabelEnabled(lblHFE, highPass);
}

QString TfrmFFTFilter::Refusal(const TDataImage& Image) const {
  const QString kind = TProcessingDialog::Refusal(Image);
  return kind.isEmpty() ? TransformSizeRefusal(Image) : kind;
}

void TfrmFFTFilter::ReadParameters() {
  FType = std::max(0, FilterTypeButtons->checkedId());
  FStrength = float(fedStrength->ConstrainedValue());
  FEmphasis = float(fedHFE->ConstrainedValue());
  FOrder = float(iedOrder->ConstrainedValue());
}

bool TfrmFFTFilter::KeepsNothing(bool Flat) const {
  // A high-pass without emphasis takes the centre sample away, and with it
  // the whole of a flat image: nothing is left to rescale to its level.
  return FType % 2 == 1 && FEmphasis == 0.0f && Flat;
}

void TfrmFFTFilter::Prepare(TChildForm& Source) {
  // The thumbnail of a flat image is not flat at its edges, which the
  // resampling blends with the 0 beyond: the image itself decides.
  FSourceFlat = Source.DataImage && OneLevelAboveZero(*Source.DataImage);
}

bool TfrmFFTFilter::CheckBeforeOK(TChildForm& Source) {
  if (!KeepsNothing(Source.DataImage && OneLevelAboveZero(*Source.DataImage))) return true;
  MessageBox::ShowWarning(QStringLiteral("Corvelle Image cannot apply a highpass filter without high frequency emphasis "
                                         "to this image because all its pixels have the same value: the filter would "
                                         "leave nothing of it."),
                          this);
  return false;
}

void TfrmFFTFilter::RunOperation(TDataImage& Dst, TDataImage& Src) {
  // The preview shows what the filter leaves.
  if (KeepsNothing(FSourceFlat) && Dst.Pixels && Dst.PixelCount() == Src.PixelCount())
    std::fill(Dst.Pixels, Dst.Pixels + Dst.PixelCount(), 0.0f);
  else
    FFTFilter(std::uint8_t(FType), Dst, Src, FStrength, FEmphasis, FOrder);
}

void TfrmFFTFilter::AfterPreview(TDataImage& Result) { Result.AutoScale(); }

void TfrmFFTFilter::AfterOperation(TDataImage& Result) { Result.AutoScale(); }
