#include "dialogs/NoiseFilterForms.h"

#include <QGridLayout>
#include <QPushButton>

#include "app/FloatEdit.h"
#include "app/IntEdit.h"
#include "dialogs/DialogControls.h"
#include "engine/Processing.h"

TfrmNoiseFilter* frmNoiseFilter = nullptr;
TfrmAdaptiveMMSE* frmAdaptiveMMSE = nullptr;
TfrmAdaptiveDWMTM* frmAdaptiveDWMTM = nullptr;
TfrmContraHarmonic* frmContraHarmonic = nullptr;
TfrmAlphaTrimmed* frmAlphaTrimmed = nullptr;

using namespace DialogControls;

TNoiseFilterDialog::TNoiseFilterDialog(QWidget* Parent, const char* Name, const QString& Caption, int Help,
                                       const QString& Result, bool FocusOK)
    : TProcessingDialog(Parent), FFocusOK(FocusOK) {
  setObjectName(QString::fromLatin1(Name));
  setWindowTitle(Caption);
  setAccessibleName(Caption);
  HelpContext = Help;
  SetResultCaption(Result);
  Accepts = TAccepts::GreyOnly;
  RefusalText = QStringLiteral("This filter cannot be applied to a colour image.");
  RefuseOnOK = true;
  ResetsLUT = false;
}

void TNoiseFilterDialog::AddWindowSize(QGridLayout* Grid, int RowIndex) {
  iedWinSize = IntBox(this, "iedWinSize", QStringLiteral("Window size"), 3, 11, 2, 3);
  Row(Grid, RowIndex, QStringLiteral("&Window size"), iedWinSize);
}

void TNoiseFilterDialog::Finish(QGridLayout* Grid) { Arrange(this, Grid, nullptr, MakeDialogButtons()); }

void TNoiseFilterDialog::CommitEdits() {
  // The box being edited commits (and clamps) its value when it loses the focus.
  if (FFocusOK && btnOK) btnOK->setFocus();
}

void TNoiseFilterDialog::ReadParameters() {
  if (iedWinSize) FWindow = iedWinSize->ConstrainedValue();
}

bool TNoiseFilterDialog::CheckBeforeOK(TChildForm&) {
  if (iedWinSize && FWindow % 2 != 1) {
    MessageBox::ShowWarning(QStringLiteral("The window size must be an odd number between 3 and 11."), this);
    return false;
  }
  return true;
}

TfrmNoiseFilter::TfrmNoiseFilter(QWidget* Parent)
    : TNoiseFilterDialog(Parent, "frmNoiseFilter", QStringLiteral("Noise Filter"), 0, QStringLiteral("Noise Filter"),
                         false) {
  auto* grid = new QGridLayout;
  iedDeviation = IntBox(this, "iedDeviation", QStringLiteral("Deviation"), 1, 255, 1, 1);
  Row(grid, 0, QStringLiteral("&Deviation"), iedDeviation);
  AddWindowSize(grid, 1);
  Finish(grid);
}

void TfrmNoiseFilter::ReadParameters() {
  TNoiseFilterDialog::ReadParameters();
  FDeviation = iedDeviation->ConstrainedValue();
}

void TfrmNoiseFilter::RunOperation(TDataImage& Dst, TDataImage& Src) { NoiseFilter(FWindow, Dst, Src, float(FDeviation)); }

TfrmAdaptiveMMSE::TfrmAdaptiveMMSE(QWidget* Parent)
    : TNoiseFilterDialog(Parent, "frmAdaptiveMMSE", QStringLiteral("Adaptive MMSE"), 812,
                         QStringLiteral("Adaptive MMSE"), true) {
  auto* grid = new QGridLayout;
  fedStdDev = FloatBox(this, "fedStdDev", QStringLiteral("Standard deviation"), 1e-05L, 2e32L, 1, 1);
  Row(grid, 0, QStringLiteral("&Standard dev."), fedStdDev);
  AddWindowSize(grid, 1);
  Finish(grid);
}

void TfrmAdaptiveMMSE::ReadParameters() {
  TNoiseFilterDialog::ReadParameters();
  FStdDev = float(fedStdDev->ConstrainedValue());
}

void TfrmAdaptiveMMSE::RunOperation(TDataImage& Dst, TDataImage& Src) { AdaptiveMMSE(FWindow, Dst, Src, FStdDev); }

TfrmAdaptiveDWMTM::TfrmAdaptiveDWMTM(QWidget* Parent)
    : TNoiseFilterDialog(Parent, "frmAdaptiveDWMTM", QStringLiteral("Adaptive DW-MTM"), 821,
                         QStringLiteral("Adaptive DW-MTM"), true) {
  auto* grid = new QGridLayout;
  fedStdDev = FloatBox(this, "fedStdDev", QStringLiteral("Standard deviation"), 1e-05L, 2e32L, 1, 1);
  fedThreshold = FloatBox(this, "fedThreshold", QStringLiteral("Threshold"), 0, 255, 1, 3);
  Row(grid, 0, QStringLiteral("&Standard dev."), fedStdDev);
  Row(grid, 1, QStringLiteral("&Threshold"), fedThreshold);
  Finish(grid);
}

void TfrmAdaptiveDWMTM::ReadParameters() {
  TNoiseFilterDialog::ReadParameters();
  FStdDev = float(fedStdDev->ConstrainedValue());
  FThreshold = float(fedThreshold->ConstrainedValue());
}

void TfrmAdaptiveDWMTM::RunOperation(TDataImage& Dst, TDataImage& Src) {
  AdaptiveDWMTM(Dst, Src, FStdDev, FThreshold);
}

TfrmContraHarmonic::TfrmContraHarmonic(QWidget* Parent)
    : TNoiseFilterDialog(Parent, "frmContraHarmonic", QStringLiteral("Contra-Harmonic Mean Filter"), 822,
                         QStringLiteral("Contra-Harmonic Mean"), true) {
  auto* grid = new QGridLayout;
  iedEndpoint = IntBox(this, "iedEndpoint", QStringLiteral("Outlier pixels"), -5, 5, 1, 3);
  Row(grid, 0, QStringLiteral("&Outlier pixels"), iedEndpoint);
  AddWindowSize(grid, 1);
  Finish(grid);
}

void TfrmContraHarmonic::ReadParameters() {
  TNoiseFilterDialog::ReadParameters();
  FOrder = iedEndpoint->ConstrainedValue();
}

void TfrmContraHarmonic::RunOperation(TDataImage& Dst, TDataImage& Src) { ContraHarmonic(FOrder, FWindow, Dst, Src); }

TfrmAlphaTrimmed::TfrmAlphaTrimmed(QWidget* Parent)
    : TNoiseFilterDialog(Parent, "frmAlphaTrimmed", QStringLiteral("Alpha-Trimmed Mean Filter"), 814,
                         QStringLiteral("Alpha-Trimmed Mean"), true) {
  auto* grid = new QGridLayout;
  iedEndpoint = IntBox(this, "iedEndpoint", QStringLiteral("Endpoint pixels"), 0, 12, 1, 3);
  Row(grid, 0, QStringLiteral("&Endpoint pixels"), iedEndpoint);
  AddWindowSize(grid, 1);
  Finish(grid);
}

void TfrmAlphaTrimmed::ReadParameters() {
  TNoiseFilterDialog::ReadParameters();
  FTrim = iedEndpoint->ConstrainedValue();
}

void TfrmAlphaTrimmed::RunOperation(TDataImage& Dst, TDataImage& Src) { AlphaTrimmed(FTrim, FWindow, Dst, Src); }
