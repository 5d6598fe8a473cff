#include "analysis/PhotometryRefForm.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "app/Child.h"
#include "app/FloatEdit.h"
#include "app/Main.h"

TfrmPhotRefStar* frmPhotRefStar = nullptr;

namespace {
const QString NoAperturesText = QStringLiteral(
    "There are no apatures currently defined.  Before setting the reference star first use the Add Apature command.");
}

TfrmPhotRefStar::TfrmPhotRefStar(QWidget* Parent) : TForm(Parent) {
  setObjectName(QStringLiteral("frmPhotRefStar"));
  setWindowTitle(QStringLiteral("Set Comparison Star"));
  setAccessibleName(QStringLiteral("Set Comparison Star"));

  auto* settings = new QGroupBox(QStringLiteral("Comparison Star Settings"), this);
  auto* grid = new QGridLayout(settings);
  fedRefMag = new TFloatEdit(settings);
  fedRefMag->setObjectName(QStringLiteral("fedRefMag"));
  fedRefMag->setAccessibleName(QStringLiteral("Magnitude"));
  fedRefMag->SetIncludeBounds(true);
  cmbApatureNo = new QComboBox(settings);
  cmbApatureNo->setObjectName(QStringLiteral("cmbApatureNo"));
  cmbApatureNo->setAccessibleName(QStringLiteral("Aperture No"));
  cmbApatureNo->setEditable(false);
  auto* lblMag = new QLabel(QStringLiteral("&Magnitude"), settings);
  lblMag->setBuddy(fedRefMag);
  auto* lblNo = new QLabel(QStringLiteral("&Aperture No"), settings);
  lblNo->setBuddy(cmbApatureNo);
  grid->addWidget(lblMag, 0, 0);
  grid->addWidget(fedRefMag, 0, 1);
  grid->addWidget(lblNo, 1, 0);
  grid->addWidget(cmbApatureNo, 1, 1);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(settings);
  layout->addLayout(MakeButtons());
  btnOK->setAccessibleName(QStringLiteral("OK"));
  btnCancel->setAccessibleName(QStringLiteral("Cancel"));
  connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
}

void TfrmPhotRefStar::showEvent(QShowEvent* Event) {
  TForm::showEvent(Event);
  FormShow();
}

void TfrmPhotRefStar::FormShow() {
  cmbApatureNo->clear();
  TChildForm* child = MainForm ? MainForm->ActiveMDIChild() : nullptr;
  const int count = child ? child->ApertureCount() : 0;
  if (count == 0) {
    MessageBox::ShowWarning(NoAperturesText, this);
    return;
  }
  for (int i = 0; i < count; ++i) cmbApatureNo->addItem(QString::number(i));
  cmbApatureNo->setCurrentIndex(0);
}

void TfrmPhotRefStar::btnOKClick() {
  TChildForm* child = MainForm ? MainForm->ActiveMDIChild() : nullptr;
  const int index = cmbApatureNo->currentIndex();
  // Without a chosen aperture there is no comparison star to keep.
  if (!child || index < 0 || index >= child->ApertureCount()) {
    MessageBox::ShowWarning(QStringLiteral("Choose the aperture that holds the comparison star."), this);
    return;
  }
  long double magnitude = 0;
  try {
    magnitude = fedRefMag->ConstrainedValue();
  } catch (const EPropertyError&) {
    return;  // the box has the focus again; the dialog stays open
  }
  child->CompMagnitude = double(magnitude);
  child->CompAperture = index;
  SetModalResult(mrOk);
}
