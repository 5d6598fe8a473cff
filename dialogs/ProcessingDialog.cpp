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
#include <utility>

#include "app/Child.h"
#include "app/FloatEdit.h"
#include "app/IntEdit.h"
#include "app/Main.h"
#include "app/PreviewFrame.h"
#include "app/Utilities.h"
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
        RunOperation(*fmePreview->ResultImage, *fmePreview->SourceImage);
        AfterPreview(*fmePreview->ResultImage);
        fmePreview->Refresh();
      }
    } catch (...) {
      // A preview that cannot run leaves the last picture.
    }
  }
  FInPreview = false;
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
  if (fmePreview) fmePreview->FreeImages();
  TForm::hideEvent(Event);
}
