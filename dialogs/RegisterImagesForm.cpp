#include "dialogs/RegisterImagesForm.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/Accessibility.h"
#include "app/Child.h"
#include "app/IntEdit.h"
#include "app/Utilities.h"
#include "engine/RegisterImages.h"

TfrmRegisterImage* frmRegisterImage = nullptr;

TfrmRegisterImage::TfrmRegisterImage(QWidget* Parent) : TForm(Parent) {
  setObjectName(QStringLiteral("frmRegisterImage"));
  setWindowTitle(QStringLiteral("Image Registration - Polynomial"));
  setAccessibleName(windowTitle());

  auto* images = new QGroupBox(QStringLiteral("Images"), this);
  auto* grid = new QGridLayout(images);
  cmbImageB = new QComboBox(images);
  cmbImageB->setObjectName(QStringLiteral("cmbImageB"));
  cmbImageB->setAccessibleName(QStringLiteral("Reference image"));
  lstImageA = new QListWidget(images);
  lstImageA->setObjectName(QStringLiteral("lstImageA"));
  lstImageA->setAccessibleName(QStringLiteral("Target images"));
  Accessibility::ExposeCheckList(lstImageA);
  auto* lblReference = new QLabel(QStringLiteral("&Reference image"), images);
  lblReference->setBuddy(cmbImageB);
  auto* lblTargets = new QLabel(QStringLiteral("&Target image(s)"), images);
  lblTargets->setBuddy(lstImageA);
  grid->addWidget(lblReference, 0, 0);
  grid->addWidget(cmbImageB, 1, 0);
  grid->addWidget(lblTargets, 2, 0);
  grid->addWidget(lstImageA, 3, 0);

  auto* settings = new QGroupBox(QStringLiteral("Settings"), this);
  auto* row = new QGridLayout(settings);
  iedPolyDeg = new TIntEdit(settings);
  iedPolyDeg->setObjectName(QStringLiteral("iedPolyDeg"));
  iedPolyDeg->setAccessibleName(QStringLiteral("Polynomial degree"));
  iedPolyDeg->SetMinValue(1);
  iedPolyDeg->SetMaxValue(2);
  iedPolyDeg->SetIncrement(1);
  iedPolyDeg->SetValue(1);
  auto* lblDegree = new QLabel(QStringLiteral("Polynomial &degree"), settings);
  lblDegree->setBuddy(iedPolyDeg);
  row->addWidget(lblDegree, 0, 0);
  row->addWidget(iedPolyDeg, 0, 1);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(images);
  layout->addWidget(settings);
  layout->addLayout(MakeButtons());
  btnOK->setAccessibleName(QStringLiteral("OK"));
  btnCancel->setAccessibleName(QStringLiteral("Cancel"));
  connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
  connect(cmbImageB, &QComboBox::currentIndexChanged, this, [this] { cmbImageBChange(); });
}

QString TfrmRegisterImage::NoMarkersText(const QString& Caption) {
  // Carriage returns do not break lines in a Qt box: blank lines stand for them.
  return QStringLiteral("There are no markers currently defined on image ") + Caption +
         QStringLiteral(".  You can add markers by:\n\n"
                        "1. Holding down the SHIFT key and clicking the left mouse button;\n\n"
                        "2. Holding down the CTRL key and clicking the left mouse button (centroids around mouse);\n\n"
                        "3. Selecting Add Marker under the Edit menu.\n\n"
                        "This image will be skipped.");
}

int TfrmRegisterImage::Execute() {
  FWindows = SnapshotWindows();
  FillReferenceLists(cmbImageB, lstImageA, FWindows);
  return ShowModal();
}

void TfrmRegisterImage::cmbImageBChange() { ExcludeReference(lstImageA, cmbImageB->currentIndex()); }

void TfrmRegisterImage::btnOKClick() {
  TChildForm* reference = SnapshotWindow(FWindows, cmbImageB->currentIndex());
  const int degree = iedPolyDeg->ConstrainedValue();
  for (int i = 0; i < cmbImageB->count() && i < lstImageA->count(); ++i) {
    if (lstImageA->item(i)->checkState() != Qt::Checked) continue;
    TChildForm* target = SnapshotWindow(FWindows, i);
    if (!target || !reference) continue;
    const QString caption = target->Caption();
    const auto& targetMarkers = target->ImageOverlay->Markers();
    const auto& referenceMarkers = reference->ImageOverlay->Markers();
    if (targetMarkers.empty() || referenceMarkers.empty()) {
      MessageBox::ShowWarning(NoMarkersText(caption), this);
      continue;
    }
    if (targetMarkers.size() != referenceMarkers.size()) {
      MessageBox::ShowWarning(QStringLiteral("The number of markers must be the same for all images.  The image ") +
                                  caption + QStringLiteral(" has an incorrect number of markers and will be skipped."),
                              this);
      continue;
    }
    // Registration resamples the grey plane only: a colour image would give a
    // copy of the reference or a black picture under the target's name.
    if (target->DataImage->IsColour || reference->DataImage->IsColour) {
      MessageBox::ShowWarning(
          QStringLiteral("Polynomial image registration can only be performed on grey scale images.  The image ") +
              caption + QStringLiteral(" will be skipped."),
          this);
      continue;
    }
    const std::size_t count = targetMarkers.size();
    if (count > std::size_t(MaxMarkerPairs)) {
      MessageBox::ShowWarning(QStringLiteral("At most %1 markers can be used for registration.  The image ")
                                      .arg(MaxMarkerPairs) +
                                  caption + QStringLiteral(" has too many markers and will be skipped."),
                              this);
      continue;
    }
    TChildForm* result = CopyImageWindow(reference);
    if (!result) continue;
    TMarkerPairArray pairs{};
    for (std::size_t k = 1; k <= count; ++k) {
      const TMarkerRec& t = targetMarkers[k - 1];
      const TMarkerRec& r = referenceMarkers[k - 1];
      pairs[k] = TMarkerPair{t.X, t.Y, r.X, r.Y};
    }
    TFailureWatch watch;
    if (degree == 1)
      RegisterLinear(degree, pairs, std::uint8_t(count), *target->DataImage, *reference->DataImage,
                     *result->DataImage);
    else
      RegisterQuadratic(degree, pairs, std::uint8_t(count), *target->DataImage, *reference->DataImage,
                        *result->DataImage);
    if (watch.Failed()) {
      result->Discard();  // the routine has said why
      continue;
    }
    result->SetCaption(caption + QStringLiteral(" - Registered"));
    result->UpdateImage();
  }
  SetModalResult(mrOk);
}
