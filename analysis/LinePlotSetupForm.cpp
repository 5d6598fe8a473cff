#include "analysis/LinePlotSetupForm.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>
#include <vector>

#include "analysis/LinePlotForm.h"
#include "app/Child.h"
#include "app/IntEdit.h"
#include "app/Main.h"

TfrmLinePlotSetup* frmLinePlotSetup = nullptr;

TfrmLinePlotSetup::TfrmLinePlotSetup(QWidget* Parent) : TForm(Parent) {
  setObjectName(QStringLiteral("frmLinePlotSetup"));
  setWindowTitle(QStringLiteral("Line Plot Parameters"));
  setAccessibleName(QStringLiteral("Line Plot Parameters"));
  grpDisplay = new QGroupBox(QStringLiteral("Display"), this);
  grpDisplay->setObjectName(QStringLiteral("grpDisplay"));
  grpDisplay->setAccessibleName(QStringLiteral("Display"));
  rbRow = new QRadioButton(QStringLiteral("Plot &row"), grpDisplay);
  rbRow->setAccessibleName(QStringLiteral("Plot row"));
  rbColumn = new QRadioButton(QStringLiteral("Plot &column"), grpDisplay);
  rbColumn->setAccessibleName(QStringLiteral("Plot column"));
  rbRow->setChecked(true);
  Items = new QButtonGroup(this);
  Items->addButton(rbRow, 0);
  Items->addButton(rbColumn, 1);
  auto* display = new QVBoxLayout(grpDisplay);
  display->addWidget(rbRow);
  display->addWidget(rbColumn);

  auto* grpPosition = new QGroupBox(QStringLiteral("Current Position"), this);
  grpPosition->setAccessibleName(QStringLiteral("Current Position"));
  lblPosition = new QLabel(QStringLiteral("R&ow"), grpPosition);
  lblPosition->setObjectName(QStringLiteral("lblPosition"));
  iedPosition = new TIntEdit(grpPosition);
  iedPosition->setObjectName(QStringLiteral("iedPosition"));
  iedPosition->setAccessibleName(QStringLiteral("Position"));
  iedPosition->SetMinValue(0);
  iedPosition->SetMaxValue(65535);
  iedPosition->SetDefaultValue(0);
  iedPosition->SetIncrement(1);
  iedPosition->SetValue(0);
  lblPosition->setBuddy(iedPosition);
  auto* position = new QHBoxLayout(grpPosition);
  position->addWidget(lblPosition);
  position->addWidget(iedPosition, 1);

  auto* layout = new QVBoxLayout(this);
  auto* groups = new QHBoxLayout;
  groups->addWidget(grpDisplay);
  groups->addWidget(grpPosition);
  layout->addLayout(groups);
  layout->addLayout(MakeButtons());
  btnOK->setAccessibleName(QStringLiteral("OK"));
  btnCancel->setAccessibleName(QStringLiteral("Cancel"));

  connect(Items, &QButtonGroup::idToggled, this, [this](int, bool On) {
    if (On) grpDisplayClick();
  });
  connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
  iedPosition->OnKeyPress = [this](TIntEdit*, QChar& Key) {
    if (Key == QChar(13)) {
      Key = QChar(0);
      btnOKClick();
    }
  };
}

bool TfrmLinePlotSetup::IsRow() const { return Items->checkedId() != 1; }

void TfrmLinePlotSetup::SetLimits() {
  const TChildForm* child = MainForm ? MainForm->ActiveMDIChild() : nullptr;
  if (!child) return;
  const TDataImage& img = *child->DataImage;
  iedPosition->SetMinValue(0);
  iedPosition->SetMaxValue(std::max(0, (IsRow() ? img.Height : img.Width) - 1));
}

int TfrmLinePlotSetup::Execute() {
  SetLimits();
  return ShowModal();
}

void TfrmLinePlotSetup::showEvent(QShowEvent* Event) {
  TForm::showEvent(Event);
  FormShow();
}

void TfrmLinePlotSetup::FormShow() { iedPosition->SetValue(0); }

void TfrmLinePlotSetup::grpDisplayClick() {
  lblPosition->setText(IsRow() ? QStringLiteral("R&ow") : QStringLiteral("C&olumn"));
  SetLimits();
}

void TfrmLinePlotSetup::btnOKClick() {
  // Leaving the box commits its text.
  btnOK->setFocus(Qt::OtherFocusReason);
  TChildForm* child = MainForm ? MainForm->ActiveMDIChild() : nullptr;
  if (!child) return;
  const TDataImage& img = *child->DataImage;
  const bool row = IsRow();
  const int count = row ? img.Width : img.Height;
  // Limits 0..0 (a one-pixel side) mean "no range" to the box: the position
  // is kept inside the image here as well.
  const int last = std::max(0, (row ? img.Height : img.Width) - 1);
  const int p = std::clamp(iedPosition->ConstrainedValue(), 0, last);
  iedPosition->SetValue(p);
  auto at = [row, p](int i, int& x, int& y) {
    x = row ? i : p;
    y = row ? p : i;
  };
  int x = 0, y = 0;
  if (img.IsColour) {
    std::vector<TRGBPixel> values(std::size_t(std::max(0, count)));
    for (int i = 0; i < count; ++i) {
      at(i, x, y);
      img.GetRGB(x, y, values[std::size_t(i)]);
    }
    frmLinePlot->PlotColour(values, p, row);
  } else {
    std::vector<float> values(std::size_t(std::max(0, count)));
    for (int i = 0; i < count; ++i) {
      at(i, x, y);
      values[std::size_t(i)] = img.GetPixel(x, y);
    }
    frmLinePlot->PlotGrey(values, p, row);
  }
  SetModalResult(mrOk);
  frmLinePlot->show();
  frmLinePlot->raise();
}
