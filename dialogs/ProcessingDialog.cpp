#include "dialogs/ProcessingDialog.h"

#include <QButtonGroup>
#include <QEvent>
#include <QFocusEvent>
#include <QLineEdit>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>
#include <cstring>
#include <utility>

#include "app/Child.h"
#include "app/FloatEdit.h"
#include "app/IntEdit.h"
#include "app/Main.h"
#include "app/PreviewFrame.h"
#include "app/QuickScaleForm.h"
#include "app/Utilities.h"
#include "engine/ColProcessing.h"
#include "engine/DataImage.h"
#include "engine/Errors.h"
#include "engine/Processing.h"

namespace {
// The longest side the padded Fourier transform takes.
constexpr int MaxTransformSide = 8192;

// Notes whether an engine routine showed a box while it lives; the boxes
// themselves still go to the installed handlers.
class TBoxWatch {
 public:
  explicit TBoxWatch(bool& Raised) : FRaised(Raised) {
    FError = SetInternalErrorHandler([this](int Code) {
      if (Code > 0) FRaised = true;
      if (FError)
        FError(Code);
      else if (Code > 0)
        std::fprintf(stderr, "%s\n", InternalErrorText(Code).c_str());
    });
    FWarning = SetWarningHandler([this](const std::string& Text) {
      FRaised = true;
      if (FWarning)
        FWarning(Text);
      else
        std::fprintf(stderr, "%s\n", Text.c_str());
    });
  }
  ~TBoxWatch() {
    SetInternalErrorHandler(std::move(FError));
    SetWarningHandler(std::move(FWarning));
  }
  TBoxWatch(const TBoxWatch&) = delete;
  TBoxWatch& operator=(const TBoxWatch&) = delete;

 private:
  bool& FRaised;
  TInternalErrorHandler FError;
  TWarningHandler FWarning;
};
}  // namespace

TProcessingDialog::TProcessingDialog(QWidget* Parent) : TForm(Parent) {
  setModal(true);
  FPreviewTimer = new QTimer(this);
  FPreviewTimer->setSingleShot(true);
  FPreviewTimer->setInterval(0);
  connect(FPreviewTimer, &QTimer::timeout, this, [this] { UpdatePreview(); });
}

TProcessingDialog::~TProcessingDialog() = default;

TfmePreview* TProcessingDialog::MakePreview() {
  fmePreview = new TfmePreview(this);
  return fmePreview;
}

QGroupBox* TProcessingDialog::MakeOutputRange(int Default) {
  grpOutputRange = new QGroupBox(QStringLiteral("Output Range"), this);
  grpOutputRange->setObjectName(QStringLiteral("grpOutputRange"));
  grpOutputRange->setAccessibleName(QStringLiteral("Output Range"));
  OutputRangeButtons = new QButtonGroup(grpOutputRange);
  auto* box = new QVBoxLayout(grpOutputRange);
  const char* items[] = {"&8 bit", "1&2 bit", "1&6 bit", "&Unlimited"};
  for (int i = 0; i < 4; ++i) {
    auto* b = new QRadioButton(QString::fromLatin1(items[i]), grpOutputRange);
    b->setAccessibleName(QStringLiteral("Output range ") + QString::fromLatin1(items[i]).remove(QLatin1Char('&')));
    OutputRangeButtons->addButton(b, i);
    box->addWidget(b);
  }
  SetOutputRange(Default);
  return grpOutputRange;
}

int TProcessingDialog::OutputRange() const {
  if (!OutputRangeButtons) return 3;
  const int id = OutputRangeButtons->checkedId();
  return id < 0 ? 3 : id;
}

void TProcessingDialog::SetOutputRange(int Index) {
  if (!OutputRangeButtons) return;
  if (QAbstractButton* b = OutputRangeButtons->button(Index)) b->setChecked(true);
}

QHBoxLayout* TProcessingDialog::MakeDialogButtons() {
  QHBoxLayout* row = MakeButtons();
  btnOK->setAccessibleName(QStringLiteral("OK"));
  btnCancel->setAccessibleName(QStringLiteral("Cancel"));
  connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
  return row;
}

TChildForm* TProcessingDialog::ActiveChild() { return MainForm ? MainForm->ActiveMDIChild() : nullptr; }

QString TProcessingDialog::Refusal(const TDataImage& Image) const {
  if ((Accepts == TAccepts::GreyOnly && Image.IsColour) || (Accepts == TAccepts::ColourOnly && !Image.IsColour))
    return RefusalText;
  return {};
}

QString TProcessingDialog::TransformSizeRefusal(const TDataImage& Image) {
  if (Image.Width > MaxTransformSide || Image.Height > MaxTransformSide)
    return QStringLiteral("The image is too large for the Fourier transform: neither side may exceed %1 pixels.")
        .arg(MaxTransformSide);
  return {};
}

int TProcessingDialog::Execute() {
  TChildForm* child = ActiveChild();
  if (!child || !child->DataImage) return mrNone;
  if (!RefuseOnOK) {
    const QString refusal = Refusal(*child->DataImage);
    if (!refusal.isEmpty()) {
      MessageBox::ShowWarning(refusal, this);
      return mrNone;
    }
  }
  if (fmePreview) fmePreview->InitPreview(*child->DataImage);
  if (grpOutputRange) grpOutputRange->setEnabled(!child->DataImage->IsColour);
  Prepare(*child);
  if (PreviewOnExecute) UpdatePreview();
  return ShowModal();
}

void TProcessingDialog::ParameterChanged() {
  if (fmePreview) FPreviewTimer->start();
}

void TProcessingDialog::FlushPreview() {
  if (FPreviewTimer->isActive()) UpdatePreview();
}

void TProcessingDialog::UpdatePreview() {
  FPreviewTimer->stop();
  if (FInPreview) return;
  FInPreview = true;
  FPreviewRaisedBox = false;
  {
    TBoxWatch watch(FPreviewRaisedBox);
    try {
      UpdateLabels();
      if (fmePreview && fmePreview->HasImages()) {
        ReadParameters();
        ++FPreviewCount;
        TChildForm* source = ActiveChild();
        if (source) StartAsResultWindow(*source);
        RunOperation(*fmePreview->ResultImage, *fmePreview->SourceImage);
        AfterPreview(*fmePreview->ResultImage);
        if (source) ShowAsResultWindow(*source);
        fmePreview->Refresh();
      }
    } catch (...) {
      // A preview that cannot run leaves the last picture.
    }
  }
  FInPreview = false;
}

void TProcessingDialog::StartAsResultWindow(TChildForm& Source) {
  if (!fmePreview || !fmePreview->HasImages() || !Source.DataImage) return;
  const TDataImage& image = *Source.DataImage;
  // The routines pass their source's levels on to their result.
  for (TDataImage* thumbnail : {fmePreview->SourceImage.get(), fmePreview->ResultImage.get()}) {
    thumbnail->BlackPoint = image.BlackPoint;
    thumbnail->WhitePoint = image.WhitePoint;
  }
  fmePreview->ResultImage->SetLUT(image.LUT);
  if (ResetsLUT) fmePreview->ResultImage->ResetLUT();
}

void TProcessingDialog::ShowAsResultWindow(TChildForm& Source) {
  if (!fmePreview || !fmePreview->HasImages() || !Source.DataImage) return;
  TDataImage& result = *fmePreview->ResultImage;
  const bool grey = !result.IsColour;
  const bool rescaled = grey && grpOutputRange && OutputRange() < 3;
  const bool quickScale = frmQuickLinearScale && frmQuickLinearScale->isVisible();
  if (!(rescaled || LevelsFromRange || quickScale)) return;
  float low = 0.0f, high = 0.0f;
  if (grey) {
    ResultRange(Source, result, low, high);
    // A rescaled result is the result times a factor: drawn from its lowest
    // to its highest pixel, it is the same picture.
    result.BlackPoint = low;
    result.WhitePoint = high;
  }
  float black = 0.0f, white = 0.0f;
  if (!frmQuickLinearScale || !frmQuickLinearScale->NewWindowLevels(!grey, low, high, black, white)) return;
  if (grey) {
    result.BlackPoint = black;
    result.WhitePoint = white;
  } else {
    TLUT table = result.LUT;
    if (MakeLinearTable(table, black, white)) result.SetLUT(table);
  }
}

void TProcessingDialog::ResultRange(TChildForm&, TDataImage& Result, float& Min, float& Max) {
  const float black = Result.BlackPoint, white = Result.WhitePoint;
  Result.AutoScale();
  Min = Result.BlackPoint;
  Max = Result.WhitePoint;
  Result.BlackPoint = black;
  Result.WhitePoint = white;
}

bool TProcessingDialog::FullResultRange(TChildForm& Source, const std::vector<double>& Key, float& Min, float& Max) {
  if (!Source.DataImage || Source.DataImage->IsColour) return false;
  TDataImage& image = *Source.DataImage;
  if (FRangeFound.Source == &image && FRangeFound.Key == Key) {
    Min = FRangeFound.Min;
    Max = FRangeFound.Max;
    return true;
  }
  FRangeFound.Source = nullptr;
  bool failed = false;
  const TInternalErrorHandler error = SetInternalErrorHandler([&failed](int Code) { failed = failed || Code > 0; });
  const TWarningHandler warning = SetWarningHandler([&failed](const std::string&) { failed = true; });
  try {
    // As the result window's copy: the routines leave some pixels as they are.
    TDataImage copy;
    if (copy.Allocate(image.Width, image.Height, image.DataType, false, TDataImage::TUse::PlanesOnly)) {
      std::memcpy(copy.Pixels, image.Pixels, std::size_t(image.PixelCount()) * sizeof(float));
      copy.BlackPoint = image.BlackPoint;
      copy.WhitePoint = image.WhitePoint;
      RunOperation(copy, image);
      copy.AutoScale();
      Min = copy.BlackPoint;
      Max = copy.WhitePoint;
    } else {
      failed = true;
    }
  } catch (...) {
    failed = true;
  }
  SetInternalErrorHandler(error);
  SetWarningHandler(warning);
  if (failed) return false;
  FRangeFound = {&image, Key, Min, Max};
  return true;
}

void TProcessingDialog::btnOKClick() {
  FPreviewTimer->stop();
  CommitEdits();
  // The kind of image is checked before any value is read.
  if (RefuseOnOK) {
    TChildForm* source = ActiveChild();
    const QString refusal = source && source->DataImage ? Refusal(*source->DataImage) : QString();
    if (!refusal.isEmpty()) {
      MessageBox::ShowWarning(refusal, this);
      return;
    }
  }
  try {
    ReadParameters();
  } catch (const EPropertyError& e) {
    // A box that lost the focus to OK has already said what is wrong.
    if (!FFocusOutFailed) MessageBox::ShowError(QString::fromStdString(e.what()), this);
    FFocusOutFailed = false;
    return;
  } catch (...) {
    return;
  }
  FFocusOutFailed = false;
  TChildForm* result = nullptr;
  try {
    TChildForm* source = ActiveChild();
    if (!source || !source->DataImage) return;
    if (!CheckBeforeOK(*source)) return;
    result = CopyImageWindow(source);
    if (!result) return;
    {
      // A routine that failed has said so; the copy it leaves is no result,
      // and the dialog stays open.
      TFailureWatch watch;
      if (ResetsLUT) result->DataImage->ResetLUT();
      RunOperation(*result->DataImage, *source->DataImage);
      if (grpOutputRange && !source->DataImage->IsColour)
        RescaleToOutputRange(std::uint8_t(OutputRange()), *result->DataImage);
      AfterOperation(*result->DataImage);
      if (watch.Failed()) {
        result->Discard();
        return;
      }
    }
    SetModalResult(mrOk);
    result->SetCaption(FResultCaption);
    TChildForm* shown = std::exchange(result, nullptr);
    shown->UpdateImage();
    if (UpdatesQuickScale && MainForm) MainForm->QuickLinearScaleUpdate();
  } catch (...) {
    DiscardFailedResult(result);
  }
}

bool TProcessingDialog::event(QEvent* Event) {
  if (Event->type() == QEvent::WindowActivate) Activated();
  return TForm::event(Event);
}

void TProcessingDialog::Activated() {
  // Activations while a preview's box is up, and those that follow closing
  // that box, would run the same failing preview again and again. Nothing can
  // change the image while the dialog is up, so until the user changes a
  // value or opens the dialog anew there is nothing new to show.
  // A box raised by the proposals of FormActivate hands the focus back while
  // FormActivate is still under way: that activation is the same one.
  if (FInPreview || FInActivate || FPreviewRaisedBox) return;
  FInActivate = true;
  bool raised = false;
  {
    TBoxWatch watch(raised);
    try {
      FormActivate();
    } catch (...) {
    }
  }
  if (PreviewOnActivate && ActivationPreviewWanted()) UpdatePreview();
  FPreviewRaisedBox = FPreviewRaisedBox || raised;
  FInActivate = false;
}

bool TProcessingDialog::eventFilter(QObject* Watched, QEvent* Event) {
  if (Event->type() == QEvent::FocusOut) {
    const auto reason = static_cast<QFocusEvent*>(Event)->reason();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
      // The box checks its text as it loses the focus and shows the message.
      try {
        if (auto* f = qobject_cast<TFloatEdit*>(Watched); f && !f->text().isEmpty()) (void)f->Value();
        if (auto* i = qobject_cast<TIntEdit*>(Watched); i && !i->text().isEmpty()) (void)i->Value();
      } catch (const EPropertyError&) {
        FFocusOutFailed = true;
      }
    }
  }
  return TForm::eventFilter(Watched, Event);
}

void TProcessingDialog::showEvent(QShowEvent* Event) {
  // A new opening is activated afresh.
  FPreviewRaisedBox = false;
  FFocusOutFailed = false;
  if (!FBoxesWatched) {
    FBoxesWatched = true;
    for (QLineEdit* box : findChildren<QLineEdit*>())
      if (qobject_cast<TFloatEdit*>(box) || qobject_cast<TIntEdit*>(box)) box->installEventFilter(this);
  }
  TForm::showEvent(Event);
}

void TProcessingDialog::hideEvent(QHideEvent* Event) {
  FPreviewTimer->stop();
  FRangeFound = {};
  if (fmePreview) fmePreview->FreeImages();
  TForm::hideEvent(Event);
}
