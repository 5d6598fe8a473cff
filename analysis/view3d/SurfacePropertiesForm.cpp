#include "analysis/view3d/SurfacePropertiesForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>
#include <memory>

#include "analysis/view3d/Visualisation.h"
#include "analysis/view3d/VisualisationForm.h"
#include "app/Accessibility.h"
#include "app/Child.h"
#include "app/FloatEdit.h"
#include "app/Main.h"
#include "platform/MessageBox.h"
#include "dialogs/BuddyLabel.h"

TfrmSurfaceProperties* frmSurfaceProperties = nullptr;

namespace {
QSlider* TrackBar(QWidget* Parent, const char* Name, const QString& Spoken, int Min, int Max, int Tick, int Pos) {
  auto* t = new QSlider(Qt::Horizontal, Parent);
  t->setObjectName(QLatin1String(Name));
  t->setAccessibleName(Spoken);
  t->setRange(Min, Max);
  t->setTickInterval(Tick);
  t->setTickPosition(QSlider::TicksBelow);
  t->setValue(Pos);
  return t;
}

// A track bar under its caption, with its two ends named below it.
void AddTrackBar(QGridLayout* Grid, int Row, const QString& Caption, QSlider* Track, const QString& Low,
                 const QString& High) {
  QWidget* parent = Track->parentWidget();
  auto* caption = new QLabel(Caption, parent);
  caption->setBuddy(Track);
  auto* low = new QLabel(Low, parent);
  auto* high = new QLabel(High, parent);
  low->setBuddy(Track);
  high->setBuddy(Track);
  high->setAlignment(Qt::AlignRight);
  Grid->addWidget(caption, Row, 0, 1, 2);
  Grid->addWidget(Track, Row + 1, 0, 1, 2);
  Grid->addWidget(low, Row + 2, 0);
  Grid->addWidget(high, Row + 2, 1);
}

TFloatEdit* PositionEdit(QWidget* Parent, const char* Name, const QString& Spoken, long double Value) {
  auto* f = new TFloatEdit(Parent);
  f->setObjectName(QLatin1String(Name));
  f->setAccessibleName(Spoken);
  f->SetMinValue(-64);
  f->SetMaxValue(64);
  f->SetIncrement(0.1L);
  f->SetValue(Value);
  return f;
}
}  // namespace

TfrmSurfaceProperties::TfrmSurfaceProperties(QWidget* Parent) : TForm(Parent) {
  setObjectName(QStringLiteral("frmSurfaceProperties"));
  setWindowTitle(QStringLiteral("Visualisation Properties"));
  setAccessibleName(QStringLiteral("Visualisation Properties"));

  auto* data = new QGroupBox(QStringLiteral("Surface Data"), this);
  auto* dataGrid = new QGridLayout(data);
  trkVertExag = TrackBar(data, "trkVertExag", QStringLiteral("Vertical exaggeration"), 100, 400, 20, 300);
  AddTrackBar(dataGrid, 0, QStringLiteral("&Vertical exaggeration"), trkVertExag, QStringLiteral("None"),
              QStringLiteral("Most"));
  rdoUseColourPal = new QRadioButton(QStringLiteral("Use this &palette"), data);
  rdoUseColourPal->setObjectName(QStringLiteral("rdoUseColourPal"));
  rdoUseColourPal->setAccessibleName(QStringLiteral("Use this palette"));
  cmbPalette = new QComboBox(data);
  cmbPalette->setObjectName(QStringLiteral("cmbPalette"));
  cmbPalette->setAccessibleName(QStringLiteral("Palette"));
  cmbPalette->addItems({QStringLiteral("Green To Red"), QStringLiteral("Rainbow"), QStringLiteral("Chroma"),
                        QStringLiteral("Fire"), QStringLiteral("Greyscale")});
  cmbPalette->setCurrentIndex(0);
  rdoCustomColour = new QRadioButton(QStringLiteral("Use this &colour"), data);
  rdoCustomColour->setObjectName(QStringLiteral("rdoCustomColour"));
  rdoCustomColour->setAccessibleName(QStringLiteral("Use this colour"));
  rdoCustomColour->setChecked(true);
  pnlColour = new QFrame(data);
  pnlColour->setObjectName(QStringLiteral("pnlColour"));
  pnlColour->setAccessibleName(QStringLiteral("Colour"));
  pnlColour->setFrameShape(QFrame::Panel);
  pnlColour->setFrameShadow(QFrame::Sunken);
  pnlColour->setAutoFillBackground(true);
  pnlColour->setMinimumSize(48, 22);
  SetSwatchColour(QColor(0, 128, 128));
  btnSetColour = new QPushButton(QStringLiteral("&Set..."), data);
  btnSetColour->setObjectName(QStringLiteral("btnSetColour"));
  btnSetColour->setAccessibleName(QStringLiteral("Set colour"));
  auto* colourRow = new QHBoxLayout;
  colourRow->addWidget(pnlColour, 1);
  colourRow->addWidget(btnSetColour);
  auto* lblPalette = new QLabel(QStringLiteral("Pa&lette"), data);
  lblPalette->setBuddy(cmbPalette);
  auto* paletteRow = new QHBoxLayout;
  paletteRow->addWidget(lblPalette);
  paletteRow->addWidget(cmbPalette, 1);
  dataGrid->addWidget(rdoUseColourPal, 3, 0);
  dataGrid->addLayout(paletteRow, 3, 1);
  dataGrid->addWidget(rdoCustomColour, 4, 0);
  dataGrid->addLayout(colourRow, 4, 1);

  auto* material = new QGroupBox(QStringLiteral("Material Properties"), this);
  auto* materialGrid = new QGridLayout(material);
  trkShininess = TrackBar(material, "trkShininess", QStringLiteral("Shininess"), 0, 128, 8, 100);
  AddTrackBar(materialGrid, 0, QStringLiteral("S&hininess"), trkShininess, QStringLiteral("Less"),
              QStringLiteral("More"));

  auto* other = new QGroupBox(QStringLiteral("Other Properties"), this);
  auto* otherCol = new QVBoxLayout(other);
  chkBox = new QCheckBox(QStringLiteral("Show the &bounding box"), other);
  chkBox->setObjectName(QStringLiteral("chkBox"));
  chkBox->setAccessibleName(QStringLiteral("Show the bounding box"));
  chkBox->setChecked(true);
  chkScale = new QCheckBox(QStringLiteral("Show scale on the &axes"), other);
  chkScale->setObjectName(QStringLiteral("chkScale"));
  chkScale->setAccessibleName(QStringLiteral("Show scale on the axes"));
  chkScale->setChecked(true);
  otherCol->addWidget(chkBox);
  otherCol->addWidget(chkScale);

  auto* light = new QGroupBox(QStringLiteral("Light Properties"), this);
  auto* lightGrid = new QGridLayout(light);
  chkSpotLight = new QCheckBox(QStringLiteral("&Use spotlight with attenuation"), light);
  chkSpotLight->setObjectName(QStringLiteral("chkSpotLight"));
  chkSpotLight->setAccessibleName(QStringLiteral("Use spotlight with attenuation"));
  fedX = PositionEdit(light, "fedX", QStringLiteral("Position X"), 0.5L);
  fedY = PositionEdit(light, "fedY", QStringLiteral("Position Y"), 1.5L);
  fedZ = PositionEdit(light, "fedZ", QStringLiteral("Position Z"), 0.5L);
  lblX = new QLabel(QStringLiteral("Position &X"), light);
  lblY = new QLabel(QStringLiteral("Position &Y"), light);
  lblZ = new QLabel(QStringLiteral("Position &Z"), light);
  lblX->setBuddy(fedX);
  lblY->setBuddy(fedY);
  lblZ->setBuddy(fedZ);
  lightGrid->addWidget(chkSpotLight, 0, 0, 1, 2);
  lightGrid->addWidget(lblX, 1, 0);
  lightGrid->addWidget(fedX, 1, 1);
  lightGrid->addWidget(lblY, 2, 0);
  lightGrid->addWidget(fedY, 2, 1);
  lightGrid->addWidget(lblZ, 3, 0);
  lightGrid->addWidget(fedZ, 3, 1);

  auto* columns = new QHBoxLayout;
  auto* left = new QVBoxLayout;
  left->addWidget(data);
  left->addWidget(material);
  auto* right = new QVBoxLayout;
  right->addWidget(other);
  right->addWidget(light);
  right->addStretch(1);
  columns->addLayout(left);
  columns->addLayout(right);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(columns);
  layout->addLayout(MakeButtons());
  btnOK->setAccessibleName(QStringLiteral("OK"));
  btnCancel->setAccessibleName(QStringLiteral("Cancel"));

  connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
  connect(btnSetColour, &QPushButton::clicked, this, [this] { btnSetColourClick(); });
  // Only a choice the user makes selects the palette.
  connect(cmbPalette, &QComboBox::activated, this, [this] { cmbPaletteChange(); });
  connect(chkSpotLight, &QCheckBox::toggled, this, [this] { chkSpotLightClick(); });
  chkSpotLightClick();
  setFixedSize(sizeHint());
}

QColor TfrmSurfaceProperties::SwatchColour() const { return pnlColour->palette().color(QPalette::Window); }

void TfrmSurfaceProperties::SetSwatchColour(const QColor& Colour) {
  QPalette pal = pnlColour->palette();
  pal.setColor(QPalette::Window, Colour);
  pnlColour->setPalette(pal);
  Accessibility::DescribeColour(pnlColour, Colour);
}

void TfrmSurfaceProperties::btnSetColourClick() {
  QColor c = SwatchColour();
  if (StandardDialogs::ChooseColour(c, this)) SetSwatchColour(c);
  rdoCustomColour->setChecked(true);
}

void TfrmSurfaceProperties::cmbPaletteChange() { rdoUseColourPal->setChecked(true); }

void TfrmSurfaceProperties::chkSpotLightClick() {
  const bool on = chkSpotLight->isChecked();
  for (QWidget* w : std::initializer_list<QWidget*>{fedX, fedY, fedZ}) w->setEnabled(on);
  for (QLabel* l : {lblX, lblY, lblZ}) SetLabelEnabled(l, on);
}

void TfrmSurfaceProperties::btnOKClick() {
  TChildForm* child = MainForm ? MainForm->ActiveMDIChild() : nullptr;
  if (!child) return;
  const TDataImage& image = *child->DataImage;
  if (image.IsColour) {
    MessageBox::ShowWarning(QStringLiteral("Three dimensional visualisation is not supported for colour images."),
                            this);
    return;
  }
  auto surface = std::make_unique<SurfaceRecord>(BuildSurfaceMesh(image));
  const std::string refusal = SurfaceRefusal(*surface);
  if (!refusal.empty()) {
    MessageBox::ShowWarning(QString::fromStdString(refusal), this);
    return;
  }
  const QColor colour = SwatchColour();
  surface->CustomColour = {std::uint8_t(colour.blue()), std::uint8_t(colour.green()), std::uint8_t(colour.red())};
  surface->Shininess = std::uint8_t(128 - trkShininess->value());
  surface->ShowBox = chkBox->isChecked();
  surface->ShowScale = chkScale->isChecked();
  surface->UsePalette = rdoUseColourPal->isChecked();
  surface->SpotLight = chkSpotLight->isChecked();
  surface->ImageWidth = image.Width;
  surface->ImageHeight = image.Height;
  surface->Exaggeration = float(5.0L - (long double)trkVertExag->value() / 100);
  surface->LightX = float(fedX->ConstrainedValue());
  surface->LightY = float(fedY->ConstrainedValue());
  surface->LightZ = float(fedZ->ConstrainedValue());
  FillSurfaceColours(cmbPalette->currentIndex(), *surface, rdoCustomColour->isChecked(),
                     colour.rgb() & 0xFFFFFFu);
  frm3DVisu->BuildSurfaceList(*surface);
  SetModalResult(mrOk);
}
