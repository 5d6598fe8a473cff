#include "analysis/AddApatureForm.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/Accessibility.h"
#include "app/Child.h"
#include "app/FloatEdit.h"
#include "app/FormSupport.h"
#include "app/Main.h"
#include "app/ToolWindows.h"
#include "engine/Measure.h"
#include "platform/MessageBox.h"
#include "platform/NumFormat.h"

TfrmAddApature* frmAddApature = nullptr;

namespace {
TFloatEdit* CoordinateBox(const char* Name, const QString& Accessible, QWidget* Parent) {
  auto* box = new TFloatEdit(Parent);
  box->setObjectName(QString::fromLatin1(Name));
  box->setAccessibleName(Accessible);
  box->SetIncludeBounds(true);
  box->SetMaxValue(2e32L);
  box->SetIncrement(1);
  return box;
}
}  // namespace

TfrmAddApature::TfrmAddApature(QWidget* Parent) : QWidget(Parent, Qt::Tool | Qt::WindowStaysOnTopHint) {
  setObjectName(QStringLiteral("frmAddApature"));
  KeyboardOrder::Install(this);
  ToolWindows::Install(this);
  Accessibility::ExposeWindow(this);
  setWindowTitle(QStringLiteral("Add Aperture"));
  setAccessibleName(QStringLiteral("Add Aperture"));

  auto* settings = new QGroupBox(QStringLiteral("Aperture Settings"), this);
  auto* grid = new QGridLayout(settings);
  fedX = CoordinateBox("fedX", QStringLiteral("Aperture X"), settings);
  fedY = CoordinateBox("fedY", QStringLiteral("Aperture Y"), settings);
  auto* lblX = new QLabel(QStringLiteral("Aperture &X:"), settings);
  lblX->setBuddy(fedX);
  auto* lblY = new QLabel(QStringLiteral("Aperture &Y:"), settings);
  lblY->setBuddy(fedY);
  grid->addWidget(lblX, 0, 0);
  grid->addWidget(fedX, 0, 1);
  grid->addWidget(lblY, 1, 0);
  grid->addWidget(fedY, 1, 1);

  btnCentroid = new QPushButton(QStringLiteral("&Centroid"), this);
  btnCentroid->setObjectName(QStringLiteral("btnCentroid"));
  btnCentroid->setAccessibleName(QStringLiteral("Centroid"));
  btnAdd = new QPushButton(QStringLiteral("&Add"), this);
  btnAdd->setObjectName(QStringLiteral("btnAdd"));
  btnAdd->setAccessibleName(QStringLiteral("Add"));
  btnAdd->setDefault(true);
  // Escape or Close puts the window away. Alt+O is the main window's
  // Photometry menu, which the window leaves to it.
  btnClose = new QPushButton(QStringLiteral("C&lose"), this);
  btnClose->setObjectName(QStringLiteral("btnClose"));
  btnClose->setAccessibleName(QStringLiteral("Close"));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(btnCentroid);
  buttons->addWidget(btnAdd);
  buttons->addWidget(btnClose);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(settings);
  layout->addLayout(buttons);

  connect(btnCentroid, &QPushButton::clicked, this, [this] { btnCentroidClick(); });
  connect(btnAdd, &QPushButton::clicked, this, [this] { btnAddClick(); });
  connect(btnClose, &QPushButton::clicked, this, &QWidget::close);
}

void TfrmAddApature::keyPressEvent(QKeyEvent* Event) {
  // Enter presses the default button, as in a dialog.
  if (Event->key() == Qt::Key_Return || Event->key() == Qt::Key_Enter) {
    btnAdd->click();
    return;
  }
  QWidget::keyPressEvent(Event);
}

void TfrmAddApature::showEvent(QShowEvent* Event) {
  QWidget::showEvent(Event);
  // The first box has the focus by now; its text is selected, as a dialog's
  // is, so that a typed value replaces it.
  if (auto* box = qobject_cast<QLineEdit*>(focusWidget())) box->selectAll();
}

void TfrmAddApature::btnCentroidClick() {
  TChildForm* child = MainForm ? MainForm->ActiveMDIChild() : nullptr;
  if (!child || child->DataImage->IsColour) return;
  float x = 0, y = 0;
  if (!CalcCentroid(x, y, *child)) return;
  // Shown, and later read back, with three decimals.
  fedX->setText(QString::fromStdString(NumFormat::FormatFloat("0.000", x)));
  fedY->setText(QString::fromStdString(NumFormat::FormatFloat("0.000", y)));
}

void TfrmAddApature::btnAddClick() {
  TChildForm* child = MainForm ? MainForm->ActiveMDIChild() : nullptr;
  if (!child) return;
  const float x = float(fedX->ConstrainedValue()), y = float(fedY->ConstrainedValue());
  const long double r = child->AnnulusOuter;
  const long double lastX = (long double)child->DataImage->Width - r - 1;
  const long double lastY = (long double)child->DataImage->Height - r - 1;
  if (r <= x && x <= lastX && r <= y && y <= lastY) {
    child->ImageOverlay->AddAperture(x, y, child->ApertureRadius, child->AnnulusInner, child->AnnulusOuter);
  } else {
    MessageBox::ShowWarning(QStringLiteral("Apature coordinates are too close to the edge of the image."), this);
  }
}
