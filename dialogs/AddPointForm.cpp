#include "dialogs/AddPointForm.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/Child.h"
#include "app/FloatEdit.h"
#include "app/Main.h"
#include "app/ToolWindows.h"
#include "engine/Measure.h"
#include "platform/NumFormat.h"

TfrmAddPoint* frmAddPoint = nullptr;

namespace {
TFloatEdit* CoordinateBox(QWidget* Parent, const char* Name, const QString& Spoken) {
  auto* box = new TFloatEdit(Parent);
  box->setObjectName(QLatin1String(Name));
  box->setAccessibleName(Spoken);
  box->SetMaxValue(99999999);
  box->SetIncrement(1);
  box->SetValue(0);
  return box;
}
}  // namespace

TfrmAddPoint::TfrmAddPoint(QWidget* Parent) : TForm(Parent) {
  setObjectName(QStringLiteral("frmAddPoint"));
  setWindowTitle(QStringLiteral("Add Marker"));
  setAccessibleName(QStringLiteral("Add Marker"));
  setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint);
  setModal(false);
  ToolWindows::Install(this);

  auto* group = new QGroupBox(QStringLiteral("Marker Settings"), this);
  auto* grid = new QGridLayout(group);
  fedX = CoordinateBox(group, "fedX", QStringLiteral("Point X"));
  fedY = CoordinateBox(group, "fedY", QStringLiteral("Point Y"));
  auto* lblX = new QLabel(QStringLiteral("Point &X:"), group);
  auto* lblY = new QLabel(QStringLiteral("Point &Y:"), group);
  lblX->setBuddy(fedX);
  lblY->setBuddy(fedY);
  btnCentroid = new QPushButton(QStringLiteral("&Centroid"), group);
  btnCentroid->setObjectName(QStringLiteral("btnCentroid"));
  btnCentroid->setAccessibleName(QStringLiteral("Centroid"));
  grid->addWidget(lblX, 0, 0);
  grid->addWidget(fedX, 0, 1);
  grid->addWidget(lblY, 1, 0);
  grid->addWidget(fedY, 1, 1);
  grid->addWidget(btnCentroid, 2, 1);

  btnAddPoint = new QPushButton(QStringLiteral("&Add"), this);
  btnAddPoint->setObjectName(QStringLiteral("btnAddPoint"));
  btnAddPoint->setAccessibleName(QStringLiteral("Add marker"));
  // Enter adds the marker typed; Escape or Close puts the window away.
  btnAddPoint->setDefault(true);
  btnCentroid->setAutoDefault(false);
  btnClose = new QPushButton(QStringLiteral("C&lose"), this);
  btnClose->setObjectName(QStringLiteral("btnClose"));
  btnClose->setAccessibleName(QStringLiteral("Close"));
  btnClose->setAutoDefault(false);
  // A click reads the boxes as typed and leaves the focus in them, so that
  // one marker after another can be typed and added.
  btnAddPoint->setFocusPolicy(Qt::TabFocus);
  btnCentroid->setFocusPolicy(Qt::TabFocus);
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  row->addWidget(btnAddPoint);
  row->addWidget(btnClose);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addLayout(row);
  connect(btnAddPoint, &QPushButton::clicked, this, [this] { btnAddPointClick(); });
  connect(btnCentroid, &QPushButton::clicked, this, [this] { btnCentroidClick(); });
  connect(btnClose, &QPushButton::clicked, this, [this] { reject(); });
  // Nothing to act on until an image window opens.
  SetControlsEnabled(MainForm && MainForm->MDIChildCount() > 0);
}

void TfrmAddPoint::SetControlsEnabled(bool Enabled) {
  fedX->setEnabled(Enabled);
  fedY->setEnabled(Enabled);
  btnCentroid->setEnabled(Enabled);
  btnAddPoint->setEnabled(Enabled);
}

void TfrmAddPoint::btnAddPointClick() {
  TChildForm* child = MainForm ? MainForm->ActiveMDIChild() : nullptr;
  if (!child || !child->DataImage) return;
  // The typed values as they stand: a "-5" is -5 and refused below.
  const float x = float(fedX->Value());
  const float y = float(fedY->Value());
  const TDataImage& image = *child->DataImage;
  if (x >= 0 && (long double)x <= image.Width - 1 && y >= 0 && (long double)y <= image.Height - 1) {
    child->ImageOverlay->AddMarker(x, y);
  } else {
    MessageBox::ShowWarning(QStringLiteral("Marker coordinates are out of range."), this);
  }
}

void TfrmAddPoint::btnCentroidClick() {
  TChildForm* child = MainForm ? MainForm->ActiveMDIChild() : nullptr;
  if (!child || !child->DataImage || child->DataImage->IsColour) return;
  float x = 0.0f, y = 0.0f;
  if (!CalcCentroid(x, y, *child)) return;
  // Rounded to three decimals through the text, as the boxes show it.
  long double rx = 0, ry = 0;
  NumFormat::TryStrToFloat(NumFormat::FormatFloat("0.000", x), rx);
  NumFormat::TryStrToFloat(NumFormat::FormatFloat("0.000", y), ry);
  fedX->SetValue(rx);
  fedY->SetValue(ry);
}
