#include "dialogs/HomomorphicForm.h"

#include <QGridLayout>
#include <QLabel>
#include <QSlider>

#include "app/Accessibility.h"
#include "dialogs/DialogControls.h"
#include "engine/Processing.h"
#include "platform/NumFormat.h"

TfrmHomomorphic* frmHomomorphic = nullptr;

namespace {
QString LowText(int Position) {
  return QString::fromStdString(NumFormat::FormatFloat("0.00", (long double)Position / 100));
}
QString HighText(int Position) {
  return QString::fromStdString(NumFormat::FormatFloat("0.00", (long double)Position / 10));
}
}  // namespace

using namespace DialogControls;

TfrmHomomorphic::TfrmHomomorphic(QWidget* Parent) : TProcessingDialog(Parent) {
  setObjectName(QStringLiteral("frmHomomorphic"));
  setWindowTitle(QStringLiteral("Homomorphic Filtering"));
  setAccessibleName(windowTitle());
  HelpContext = 819;
  SetResultCaption(QStringLiteral("Homomorphic Filter"));
  Accepts = TAccepts::GreyOnly;
  RefusalText = QStringLiteral("Homomorphic filtering can only be performed on grey scale images.");
  PreviewOnExecute = true;

  auto* grid = new QGridLayout;
  trkYL = TrackBar(this, "trkYL", QStringLiteral("Filter low"), 0, 100, 50);
  trkYH = TrackBar(this, "trkYH", QStringLiteral("Filter high"), 0, 100, 20);
  lblYL = ValueLabel(this, "lblYL", QStringLiteral("Filter low value"));
  lblYH = ValueLabel(this, "lblYH", QStringLiteral("Filter high value"));
  Row(grid, 0, QStringLiteral("Filter &low"), trkYL, lblYL);
  Row(grid, 1, QStringLiteral("Filter &high"), trkYH, lblYH);
  Accessibility::ReportShownValue(trkYL, LowText);
  Accessibility::ReportShownValue(trkYH, HighText);
  Arrange(this, grid, MakePreview(), MakeDialogButtons());

  UpdateLabels();
  for (QSlider* s : {trkYL, trkYH})
    connect(s, &QSlider::valueChanged, this, [this] {
      UpdateLabels();
      ParameterChanged();
    });
}

QString TfrmHomomorphic::Refusal(const TDataImage& Image) const {
  const QString kind = TProcessingDialog::Refusal(Image);
  return kind.isEmpty() ? TransformSizeRefusal(Image) : kind;
}

void TfrmHomomorphic::UpdateLabels() {
  lblYL->setText(LowText(trkYL->value()));
  lblYH->setText(HighText(trkYH->value()));
}

void TfrmHomomorphic::ReadParameters() {
  FFloor = float((long double)trkYL->value() / 100);
  FCutoff = float((long double)trkYH->value() / 10);
}

void TfrmHomomorphic::RunOperation(TDataImage& Dst, TDataImage& Src) { HomomorphicFilter(Dst, Src, FFloor, FCutoff, 2.0f); }
