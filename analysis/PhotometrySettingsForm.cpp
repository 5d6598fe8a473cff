#include "analysis/PhotometrySettingsForm.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "app/Child.h"
#include "app/FloatEdit.h"
#include "app/IntEdit.h"
#include "app/Main.h"
#include "app/StoredValues.h"
#include "platform/Registry.h"

TfrmPhotSettings* frmPhotSettings = nullptr;

namespace {
TIntEdit* RadiusBox(const char* Name, const QString& Accessible, QWidget* Parent) {
  auto* box = new TIntEdit(Parent);
  box->setObjectName(QString::fromLatin1(Name));
  box->setAccessibleName(Accessible);
  box->SetMaxValue(255);
  box->SetMinValue(0);
  box->SetIncrement(1);
  return box;
}

void AddRow(QGridLayout* Grid, int Row, const QString& Caption, QWidget* Box, const QString& Unit = QString()) {
  auto* label = new QLabel(Caption);
  label->setBuddy(Box);
  Grid->addWidget(label, Row, 0);
  Grid->addWidget(Box, Row, 1);
  if (!Unit.isEmpty()) Grid->addWidget(new QLabel(Unit), Row, 2);
}
}  // namespace

TfrmPhotSettings::TfrmPhotSettings(QWidget* Parent) : TForm(Parent) {
  setObjectName(QStringLiteral("frmPhotSettings"));
  setWindowTitle(QStringLiteral("Photometry Settings"));
  setAccessibleName(QStringLiteral("Photometry Settings"));

  auto* apertures = new QGroupBox(QStringLiteral("Aperture Settings"), this);
  auto* agrid = new QGridLayout(apertures);
  iedR1 = RadiusBox("iedR1", QStringLiteral("Aperture radius"), apertures);
  iedR2 = RadiusBox("iedR2", QStringLiteral("Annulus inner radius"), apertures);
  iedR3 = RadiusBox("iedR3", QStringLiteral("Annulus outer radius"), apertures);
  AddRow(agrid, 0, QStringLiteral("&Aperture radius"), iedR1);
  AddRow(agrid, 1, QStringLiteral("Annulus &inner radius"), iedR2);
  AddRow(agrid, 2, QStringLiteral("Annulus &outer radius"), iedR3);

  auto* absolute = new QGroupBox(QStringLiteral("Absolute Photometry Settings"), this);
  auto* bgrid = new QGridLayout(absolute);
  fedZeroPoint = new TFloatEdit(absolute);
  fedZeroPoint->setObjectName(QStringLiteral("fedZeroPoint"));
  fedZeroPoint->setAccessibleName(QStringLiteral("Zero-point"));
  fedZeroPoint->SetIncludeBounds(true);
  fedZeroPoint->SetMaxValue(2e32L);
  fedExposure = new TFloatEdit(absolute);
  fedExposure->setObjectName(QStringLiteral("fedExposure"));
  fedExposure->setAccessibleName(QStringLiteral("Exposure time in seconds"));
  fedExposure->SetIncludeBounds(true);
  fedExposure->SetMaxValue(2e32L);
  fedExposure->SetMinValue(0.01L);
  fedExposure->SetDefaultValue(0.01L);
  AddRow(bgrid, 0, QStringLiteral("&Zero-point"), fedZeroPoint);
  AddRow(bgrid, 1, QStringLiteral("&Exposure time"), fedExposure, QStringLiteral("(seconds)"));

  auto* preview = new QGroupBox(QStringLiteral("Aperture Preview"), this);
  auto* pcol = new QVBoxLayout(preview);
  imgPreview = new QLabel(preview);
  imgPreview->setObjectName(QStringLiteral("imgPreview"));
  imgPreview->setAccessibleName(QStringLiteral("Aperture preview"));
  imgPreview->setFixedSize(PreviewWidth, PreviewHeight);
  FPreview = QPixmap(PreviewWidth, PreviewHeight);
  FPreview.fill(palette().window().color());
  imgPreview->setPixmap(FPreview);
  pcol->addWidget(imgPreview, 0, Qt::AlignCenter);

  auto* top = new QHBoxLayout;
  auto* left = new QVBoxLayout;
  left->addWidget(apertures);
  left->addWidget(absolute);
  top->addLayout(left);
  top->addWidget(preview, 0, Qt::AlignTop);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(MakeButtons());
  btnOK->setAccessibleName(QStringLiteral("OK"));
  btnCancel->setAccessibleName(QStringLiteral("Cancel"));

  for (TIntEdit* box : {iedR1, iedR2, iedR3}) connect(box, &QLineEdit::textChanged, this, [this] { iedR1Change(); });
  connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
  FormCreate();
}

void TfrmPhotSettings::FormCreate() {
  // Each value from the store, or its design value when the store holds none
  // the dialog could have written.
  const StoredValues::TPhotometryValues v = StoredValues::ReadPhotometry();
  iedR1->SetValue(v.Aperture);
  iedR2->SetValue(v.AnnulusInner);
  iedR3->SetValue(v.AnnulusOuter);
  fedZeroPoint->SetValue(v.ZeroPoint);
  fedExposure->SetValue(v.IntegrationTime);
  TRegistry reg;
  const bool open = reg.OpenKey(QString::fromLatin1(ApplicationKey), false);
  for (int i = 0; i < 5; ++i) FHeld[i] = open && reg.ValueExists(QString::fromLatin1(StoredValues::PhotometryNames[i]));
  FShown = Values();
}

TfrmPhotSettings::TValues TfrmPhotSettings::Values() const {
  return {{double(iedR1->ConstrainedValue()), double(iedR2->ConstrainedValue()), double(iedR3->ConstrainedValue()),
           double(fedZeroPoint->ConstrainedValue()), double(fedExposure->ConstrainedValue())}};
}

void TfrmPhotSettings::showEvent(QShowEvent* Event) {
  TForm::showEvent(Event);
  FormShow();
}

void TfrmPhotSettings::FormShow() { DrawAperturePreview(); }

void TfrmPhotSettings::iedR1Change() { DrawAperturePreview(); }

void TfrmPhotSettings::DrawAperturePreview() {
  int r1, r2, r3;
  try {
    r1 = iedR1->Value();
    r2 = iedR2->Value();
    r3 = iedR3->Value();
  } catch (const EPropertyError&) {
    return;  // a half-typed number draws nothing
  }
  if (!(r1 < r2 && r2 < r3)) return;
  const int cx = PreviewWidth / 2, cy = PreviewHeight / 2;
  FPreview.fill(Qt::black);
  QPainter painter(&FPreview);
  painter.setPen(Qt::white);
  painter.setBrush(Qt::NoBrush);
  for (int r : {r1, r2, r3}) painter.drawEllipse(QRectF(cx - r, cy - r, 2.0 * r, 2.0 * r));
  painter.end();
  imgPreview->setPixmap(FPreview);
}

void TfrmPhotSettings::btnOKClick() {
  const TValues values = Values();
  const int r1 = int(values[0]), r2 = int(values[1]), r3 = int(values[2]);
  const double zeroPoint = values[3], exposure = values[4];
  // Sky comes from between the inner and the outer radius, outside the star.
  if (!(r1 < r2 && r2 < r3)) {
    MessageBox::ShowWarning(QStringLiteral("The aperture radius must be smaller than the annulus inner radius, and "
                                           "the inner radius smaller than the outer radius."),
                            this);
    return;
  }
  if (TChildForm* child = MainForm ? MainForm->ActiveMDIChild() : nullptr) {
    child->ApertureRadius = r1;
    child->AnnulusInner = r2;
    child->AnnulusOuter = r3;
    child->ZeroPoint = zeroPoint;
    child->IntegrationTime = exposure;
  }
  try {
    TRegistry reg;
    reg.RootKey = TRegRootKey::HKEY_CURRENT_USER;
    // Created if need be, so a first run's settings are kept too. Only what
    // the user changed, and what the store lacks, is written: a stored value
    // the dialog could not use stays as it was unless the user replaces it.
    if (reg.OpenKey(QString::fromLatin1(ApplicationKey), true)) {
      for (int i = 0; i < 5; ++i) {
        if (FHeld[i] && values[std::size_t(i)] == FShown[std::size_t(i)]) continue;
        const QString name = QString::fromLatin1(StoredValues::PhotometryNames[i]);
        if (i < 3)
          reg.WriteInteger(name, int(values[std::size_t(i)]));
        else
          reg.WriteFloat(name, values[std::size_t(i)]);
        FHeld[i] = true;
      }
      reg.CloseKey();
      FShown = values;
    }
  } catch (...) {
  }
  SetModalResult(mrOk);
}
