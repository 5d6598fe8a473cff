#include "dialogs/GammaForm.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>

#include "app/Accessibility.h"
#include "app/PreviewFrame.h"
#include "engine/ColProcessing.h"
#include "engine/Processing.h"
#include "platform/NumFormat.h"

TfrmGamma* frmGamma = nullptr;

namespace {
QString GammaText(int Position) {
  return QString::fromStdString(NumFormat::FormatFloat("0.0", (long double)Position / 10));
}
}  // namespace

TfrmGamma::TfrmGamma(QWidget* Parent) : TProcessingDialog(Parent) {
  setObjectName(QStringLiteral("frmGamma"));
  setWindowTitle(QStringLiteral("Gamma Scale"));
  setAccessibleName(QStringLiteral("Gamma Scale"));
  HelpContext = 701;
  SetResultCaption(QStringLiteral("Gamma Scale"));
  PreviewOnActivate = true;

  auto* controls = new QGridLayout;
  auto* caption = new QLabel(QStringLiteral("&Gamma"), this);
  trkGamma = new QSlider(Qt::Horizontal, this);
  trkGamma->setObjectName(QStringLiteral("trkGamma"));
  trkGamma->setAccessibleName(QStringLiteral("Gamma"));
  trkGamma->setRange(1, 100);
  trkGamma->setValue(10);
  trkGamma->setMinimumWidth(180);
  caption->setBuddy(trkGamma);
  lblGamma = new QLabel(this);
  lblGamma->setObjectName(QStringLiteral("lblGamma"));
  lblGamma->setAccessibleDescription(QStringLiteral("Gamma value"));
  Accessibility::ReportShownValue(trkGamma, GammaText);
  lblGamma->setMinimumWidth(40);
  controls->addWidget(caption, 0, 0);
  controls->addWidget(trkGamma, 0, 1);
  controls->addWidget(lblGamma, 0, 2);

  auto* left = new QVBoxLayout;
  left->addLayout(controls);
  left->addWidget(MakeOutputRange(3));
  left->addStretch(1);
  auto* top = new QHBoxLayout;
  top->addLayout(left, 1);
  top->addWidget(MakePreview());
  auto* all = new QVBoxLayout(this);
  all->addLayout(top);
  all->addLayout(MakeDialogButtons());

  UpdateLabels();
  connect(trkGamma, &QSlider::valueChanged, this, [this] {
    UpdateLabels();
    ParameterChanged();
  });
}

void TfrmGamma::UpdateLabels() {
  lblGamma->setText(GammaText(trkGamma->value()));
}

void TfrmGamma::ReadParameters() { FGamma = float((long double)trkGamma->value() / 10); }

void TfrmGamma::RunOperation(TDataImage& Dst, TDataImage& Src) {
  if (Src.IsColour)
    ColGamma(Dst, Src, FGamma);
  else
    Gamma(Dst, Src, FGamma);
}
