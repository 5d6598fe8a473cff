#include "analysis/MIPhotForm.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QVBoxLayout>
#include <cmath>
#include <stdexcept>

#include "analysis/PhotometryGridForm.h"
#include "app/Child.h"
#include "app/FloatEdit.h"
#include "app/Main.h"
#include "engine/Measure.h"
#include "engine/photometry.h"
#include "platform/Application.h"
#include "dialogs/BuddyLabel.h"

TfrmMIPhot* frmMIPhot = nullptr;

namespace {
// A refusal of the run; its text is shown in an error box.
class EPhotometryRun : public std::runtime_error {
 public:
  explicit EPhotometryRun(const QString& Text) : std::runtime_error(Text.toStdString()) {}
};

[[noreturn]] void LostTrack(int Aperture, const TChildForm* Image) {
  throw EPhotometryRun(QStringLiteral("Could not track star in aperture: %1, image: %2.  Could not determine star "
                                      "location.")
                           .arg(Aperture)
                           .arg(Image->Caption()));
}

long long Round(long double V) { return std::llrint(V); }

QListWidget* PickerList(const char* Name, const QString& Accessible, QWidget* Parent) {
  auto* list = new QListWidget(Parent);
  list->setObjectName(QString::fromLatin1(Name));
  list->setAccessibleName(Accessible);
  list->setSelectionMode(QAbstractItemView::ExtendedSelection);
  return list;
}

QPushButton* Button(const QString& Caption, const char* Name, const QString& Accessible, QWidget* Parent) {
  auto* button = new QPushButton(Caption, Parent);
  button->setObjectName(QString::fromLatin1(Name));
  button->setAccessibleName(Accessible);
  return button;
}
}  // namespace

TfrmMIPhot::TfrmMIPhot(QWidget* Parent) : TForm(Parent) {
  setObjectName(QStringLiteral("frmMIPhot"));
  setWindowTitle(QStringLiteral("Multiple Image Photometry"));
  setAccessibleName(QStringLiteral("Multiple Image Photometry"));

  auto* tracking = new QGroupBox(QStringLiteral("Tracking Settings"), this);
  auto* tgrid = new QGridLayout(tracking);
  fedRadius = new TFloatEdit(tracking);
  fedRadius->setObjectName(QStringLiteral("fedRadius"));
  fedRadius->setAccessibleName(QStringLiteral("Search radius"));
  fedRadius->SetIncludeBounds(true);
  fedRadius->SetMaxValue(40);
  fedRadius->SetIncrement(1);
  fedRadius->SetValue(20);
  Label2 = new QLabel(QStringLiteral("&Search radius"), tracking);
  Label2->setObjectName(QStringLiteral("Label2"));
  Label2->setBuddy(fedRadius);
  radAuto = new QRadioButton(QStringLiteral("Automatic &tracking"), tracking);
  radAuto->setObjectName(QStringLiteral("radAuto"));
  radAuto->setAccessibleName(QStringLiteral("Automatic tracking"));
  radAuto->setChecked(true);
  radManual = new QRadioButton(QStringLiteral("&Use defined apertures"), tracking);
  radManual->setObjectName(QStringLiteral("radManual"));
  radManual->setAccessibleName(QStringLiteral("Use defined apertures"));
  tgrid->addWidget(Label2, 0, 0);
  tgrid->addWidget(fedRadius, 0, 1);
  tgrid->addWidget(radAuto, 1, 0, 1, 2);
  tgrid->addWidget(radManual, 2, 0, 1, 2);
  fedRadius->setMaximumWidth(80);
  tgrid->setColumnStretch(2, 1);

  auto* open = new QGroupBox(QStringLiteral("Open Images"), this);
  auto* ocol = new QVBoxLayout(open);
  lstSource = PickerList("lstSource", QStringLiteral("Open images"), open);
  ocol->addWidget(lstSource);

  auto* chosen = new QGroupBox(QStringLiteral("Photometry Images"), this);
  auto* ccol = new QVBoxLayout(chosen);
  txtFirstImage = new QLineEdit(chosen);
  txtFirstImage->setObjectName(QStringLiteral("txtFirstImage"));
  txtFirstImage->setAccessibleName(QStringLiteral("First image"));
  txtFirstImage->setReadOnly(true);
  lstDest = PickerList("lstDest", QStringLiteral("Photometry images"), chosen);
  ccol->addWidget(txtFirstImage);
  ccol->addWidget(lstDest);

  btnAdd = Button(QStringLiteral("&Add -->"), "btnAdd", QStringLiteral("Add"), this);
  btnRemove = Button(QStringLiteral("<-- &Remove"), "btnRemove", QStringLiteral("Remove"), this);
  btnAddAll = Button(QStringLiteral("Add A&ll"), "btnAddAll", QStringLiteral("Add all"), this);
  btnRemoveAll = Button(QStringLiteral("Re&move All"), "btnRemoveAll", QStringLiteral("Remove all"), this);
  auto* middle = new QVBoxLayout;
  middle->addStretch(1);
  for (QPushButton* b : {btnAdd, btnRemove, btnAddAll, btnRemoveAll}) middle->addWidget(b);
  middle->addStretch(1);

  auto* lists = new QHBoxLayout;
  lists->addWidget(open);
  lists->addLayout(middle);
  lists->addWidget(chosen);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tracking);
  layout->addLayout(lists);
  layout->addLayout(MakeButtons());
  btnOK->setAccessibleName(QStringLiteral("OK"));
  btnCancel->setAccessibleName(QStringLiteral("Cancel"));

  connect(btnAdd, &QPushButton::clicked, this, [this] { btnAddClick(); });
  connect(btnRemove, &QPushButton::clicked, this, [this] { btnRemoveClick(); });
  connect(btnAddAll, &QPushButton::clicked, this, [this] { btnAddAllClick(); });
  connect(btnRemoveAll, &QPushButton::clicked, this, [this] { btnRemoveAllClick(); });
  connect(radAuto, &QRadioButton::toggled, this, [this] { radAutoClick(); });
  connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
}

void TfrmMIPhot::showEvent(QShowEvent* Event) {
  TForm::showEvent(Event);
  if (!Event->spontaneous()) FormShow();
}

void TfrmMIPhot::hideEvent(QHideEvent* Event) {
  TForm::hideEvent(Event);
  if (!Event->spontaneous()) FormHide();
}

void TfrmMIPhot::FormShow() {
  FSource.clear();
  FDest.clear();
  FWindows.clear();
  lstSource->clear();
  lstDest->clear();
  FFirst = MainForm ? MainForm->ActiveMDIChild() : nullptr;
  txtFirstImage->setText(FFirst ? FFirst->Caption() : QString());
  if (MainForm)
    for (TChildForm* child : MainForm->MDIChildren()) FWindows.append(child);
  for (int i = 0; i < FWindows.size(); ++i) {
    TChildForm* child = FWindows[i];
    if (child == FFirst || child->DataImage->IsColour) continue;
    FSource.push_back({i, 1, QString()});
  }
  UpdateLists();
  UpdateButtons();
  radAutoClick();
}

void TfrmMIPhot::FormHide() {
  FSource.clear();
  FDest.clear();
  FWindows.clear();
}

void TfrmMIPhot::UpdateLists() {
  auto fill = [this](QListWidget* List, const TImageRefList& Refs) {
    List->clear();
    for (const TImageRef& r : Refs) {
      const TChildForm* child = r.Index < FWindows.size() ? FWindows[r.Index].data() : nullptr;
      List->addItem(child ? child->Caption() : QString());
    }
  };
  fill(lstSource, FSource);
  fill(lstDest, FDest);
}

void TfrmMIPhot::UpdateButtons() {
  const TPickerButtons b = PickerButtons(FSource.size(), FDest.size());
  btnAdd->setEnabled(b.Add);
  btnAddAll->setEnabled(b.AddAll);
  btnRemove->setEnabled(b.Remove);
  btnRemoveAll->setEnabled(b.RemoveAll);
}


void TfrmMIPhot::btnAddClick() {
  MoveImageRefs(FSource, FDest, SelectedRows(lstSource));
  UpdateLists();
  UpdateButtons();
}

void TfrmMIPhot::btnRemoveClick() {
  MoveImageRefs(FDest, FSource, SelectedRows(lstDest));
  UpdateLists();
  UpdateButtons();
}

void TfrmMIPhot::btnAddAllClick() {
  MoveImageRefs(FSource, FDest, {}, true);
  UpdateLists();
  UpdateButtons();
}

void TfrmMIPhot::btnRemoveAllClick() {
  MoveImageRefs(FDest, FSource, {}, true);
  UpdateLists();
  UpdateButtons();
}

void TfrmMIPhot::radAutoClick() {
  const bool manual = radManual->isChecked();
  SetLabelEnabled(Label2, !manual);
  fedRadius->setEnabled(!manual);
}

void TfrmMIPhot::btnOKClick() {
  try {
    if (radManual->isChecked())
      MeasureDefinedApertures();
    else
      TrackAndMeasure();
  } catch (const std::exception& e) {
    // Shown as the application shows any failure; the dialog stays open.
    TApplication::HandleException(e);
    return;
  }
  SetModalResult(mrOk);
}

void TfrmMIPhot::CheckFirstImage() const {
  TChildForm* first = FFirst;
  if (!first) throw EPhotometryRun(QStringLiteral("There is no comparison star defined in the first image."));
  if (first->CompMagnitude == NoMagnitude)
    throw EPhotometryRun(QStringLiteral("There is no comparison star defined in the first image."));
  // A colour image has no grey values to measure.
  if (first->DataImage->IsColour)
    throw EPhotometryRun(QStringLiteral("The first image is a colour image.  Multiple image photometry measures grey "
                                        "images only."));
  const int count = first->ApertureCount();
  if (count > 0 && (first->CompAperture < 0 || first->CompAperture >= count))
    throw EPhotometryRun(QStringLiteral("There is no comparison star defined in the first image."));
}

TfrmMIPhot::TSeries TfrmMIPhot::BuildSeries() const {
  TSeries series;
  series.Images.push_back(FFirst);
  for (const TImageRef& r : FDest)
    if (r.Index < FWindows.size() && FWindows[r.Index]) series.Images.push_back(FWindows[r.Index]);
  series.Base.assign(series.Images.size(), 0);
  return series;
}

void TfrmMIPhot::MeasureDefinedApertures() {
  CheckFirstImage();
  const TSeries series = BuildSeries();
  const int count = series.Images[0]->ApertureCount();
  for (TChildForm* image : series.Images)
    if (image->ApertureCount() < count)
      throw EPhotometryRun(QStringLiteral("There are not enough apertures defined in image ") + image->Caption());
  MeasureSeries(series);
}

void TfrmMIPhot::TrackAndMeasure() {
  CheckFirstImage();
  TSeries series = BuildSeries();
  TrackApertures(series, fedRadius->ConstrainedValue());
  MeasureSeries(series);
}

void TfrmMIPhot::TrackApertures(TSeries& Series, long double Radius) {
  const TChildForm* first = Series.Images[0];
  const int count = first->ApertureCount();
  const long double r = Radius;
  for (std::size_t i = 1; i < Series.Images.size(); ++i) {
    const TChildForm* previous = Series.Images[i - 1];
    TChildForm* image = Series.Images[i];
    // Apertures the image already had keep their places; the run's come after.
    Series.Base[i] = image->ApertureCount();
    const TDataImage& from = previous->Image();
    const TDataImage& to = image->Image();
    for (int a = 0; a < count; ++a) {
      const TApertureRec start = previous->Aperture(Series.Base[i - 1] + a);
      const long double X = start.X, Y = start.Y;
      const long double p = from.GetPixel(int(Round(X)), int(Round(Y)));
      const long double low = p - 0.45L * p, high = p + 0.45L * p;
      float best = 0.0f, bx = 0.0f, by = 0.0f;
      for (long long y = Round(Y - r); y <= Round(Y + r); ++y) {
        if (y < 0 || y >= to.Height) continue;  // never outside the image
        for (long long x = Round(X - r); x <= Round(X + r); ++x) {
          if (x < 0 || x >= to.Width) continue;
          const long long dx = Round(x - X), dy = Round(y - Y);
          const long long distance = Round(std::sqrt((long double)(dx * dx + dy * dy)));
          if (distance > r) continue;
          const float v = to.Pixels[std::size_t(y) * std::size_t(to.Width) + std::size_t(x)];
          if (v > low && v < high && v > best) {
            best = v;
            bx = float(x);
            by = float(y);
          }
        }
      }
      if (bx == 0.0f && by == 0.0f) LostTrack(a, image);
      // A star on the first row or column keeps its raw position.
      if (bx != 0.0f && by != 0.0f && !MeasureStarCentroid(bx, by, int(Round(r)), *image)) LostTrack(a, image);
      if (bx < X - r || bx > X + r || by < Y - r || by > Y + r) LostTrack(a, image);
      image->ImageOverlay->AddAperture(bx, by, first->ApertureRadius, first->AnnulusInner, first->AnnulusOuter);
    }
  }
}

void TfrmMIPhot::MeasureSeries(const TSeries& Series) {
  const TChildForm* first = Series.Images[0];
  const int count = first->ApertureCount();
  const int c = first->CompAperture;
  const double m = first->CompMagnitude;
  for (int a = 0; a < count; ++a) {
    for (std::size_t s = 0; s < Series.Images.size(); ++s) {
      const TChildForm* image = Series.Images[s];
      double compFlux = 0.0, compZero = 0.0, compSky = 0.0, status = 0.0;
      MeasureAperture(Series.Base[s] + c, compFlux, compZero, compSky, status, *image);
      // No comparison flux to divide by: no magnitudes in this image.
      if (status == FailedMeasure || compFlux - compZero <= 0.0)
        throw EPhotometryRun(QStringLiteral("Could not determine comparison star in image ") + image->Caption());
      double flux = 0.0, zero = 0.0, sky = 0.0;
      status = 0.0;
      const int index = Series.Base[s] + a;
      MeasureAperture(index, flux, zero, sky, status, *image);
      double magnitude;
      if (status == FailedMeasure) {
        magnitude = FailedMeasure;
        flux = 0.0;
      } else {
        // A star at or below its sky gives the failure mark.
        magnitude = CalcMagnitude(m, compFlux, compZero, flux, zero);
      }
      const TApertureRec ap = image->Aperture(index);
      if (frmPhotometryGrid) frmPhotometryGrid->AddResult(image->Caption(), a, magnitude, ap.X, ap.Y, m, flux, sky);
    }
  }
  if (frmPhotometryGrid) frmPhotometryGrid->show();
}
