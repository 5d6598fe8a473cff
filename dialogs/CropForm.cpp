#include "dialogs/CropForm.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>

#include "app/Child.h"
#include "app/IntEdit.h"
#include "app/Main.h"
#include "dialogs/BuddyLabel.h"
#include "engine/ColGeometry.h"
#include "engine/Geometry.h"
#include "engine/Errors.h"

TfrmCrop* frmCrop = nullptr;

namespace {
TIntEdit* CornerBox(const char* Name, QWidget* Parent) {
  auto* box = new TIntEdit(Parent);
  box->setObjectName(QString::fromLatin1(Name));
  box->SetIncrement(1);
  box->SetValue(0);
  return box;
}
}  // namespace

TfrmCrop::TfrmCrop(QWidget* Parent) : TForm(Parent) {
  setObjectName(QStringLiteral("frmCrop"));
  setWindowTitle(QStringLiteral("Crop"));
  setAccessibleName(QStringLiteral("Crop"));
  auto* settings = new QGroupBox(QStringLiteral("Settings"), this);
  auto* grid = new QGridLayout(settings);
  iedTop = CornerBox("iedTop", settings);
  iedLeft = CornerBox("iedLeft", settings);
  iedBottom = CornerBox("iedBottom", settings);
  iedRight = CornerBox("iedRight", settings);
  grid->addWidget(BuddyLabel(QStringLiteral("&Top"), iedTop, settings), 0, 0);
  grid->addWidget(iedTop, 0, 1);
  grid->addWidget(BuddyLabel(QStringLiteral("&Left"), iedLeft, settings), 1, 0);
  grid->addWidget(iedLeft, 1, 1);
  grid->addWidget(BuddyLabel(QStringLiteral("&Bottom"), iedBottom, settings), 2, 0);
  grid->addWidget(iedBottom, 2, 1);
  grid->addWidget(BuddyLabel(QStringLiteral("&Right"), iedRight, settings), 3, 0);
  grid->addWidget(iedRight, 3, 1);
  btnGetFromROI = new QPushButton(QStringLiteral("&Get From ROI"), settings);
  btnGetFromROI->setObjectName(QStringLiteral("btnGetFromROI"));
  SpeakAs(btnGetFromROI, btnGetFromROI->text());
  grid->addWidget(btnGetFromROI, 4, 0, 1, 2);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(settings);
  layout->addLayout(MakeButtons());
  SpeakAs(btnOK, btnOK->text());
  SpeakAs(btnCancel, btnCancel->text());
  connect(btnGetFromROI, &QPushButton::clicked, this, [this] { btnGetFromROIClick(); });
  connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
  setFixedSize(sizeHint());
}

void TfrmCrop::Execute() {
  TChildForm* active = MainForm ? MainForm->ActiveMDIChild() : nullptr;
  if (!active) return;
  int x1, y1, x2, y2;
  btnGetFromROI->setEnabled(active->GetSelection(x1, y1, x2, y2));
  // The boxes keep their values, clamped by the new maxima.
  const TDataImage& image = *active->DataImage;
  iedTop->SetMaxValue(image.Height - 1);
  iedBottom->SetMaxValue(image.Height - 1);
  iedLeft->SetMaxValue(image.Width - 1);
  iedRight->SetMaxValue(image.Width - 1);
  ShowModal();
}

void TfrmCrop::btnGetFromROIClick() {
  TChildForm* active = MainForm ? MainForm->ActiveMDIChild() : nullptr;
  if (!active) return;
  int x1, y1, x2, y2;
  active->GetSelection(x1, y1, x2, y2);
  iedTop->SetValue(y1);
  iedLeft->SetValue(x1);
  iedBottom->SetValue(y2);
  iedRight->SetValue(x2);
}

void TfrmCrop::btnOKClick() {
  TChildForm* active = MainForm ? MainForm->ActiveMDIChild() : nullptr;
  if (!active) return;
  const TDataImage& source = *active->DataImage;
  const int left = iedLeft->Value(), right = iedRight->Value();
  const int top = iedTop->Value(), bottom = iedBottom->Value();
  const int x1 = std::min(left, right), x2 = std::max(left, right);
  const int y1 = std::min(top, bottom), y2 = std::max(top, bottom);
  if (x1 == x2 || y1 == y2 || x1 < 0 || y1 < 0 || x2 >= source.Width || y2 >= source.Height) {
    MessageBox::ShowWarning(QStringLiteral("Invalid crop parameters."), this);
    return;
  }
  // A new window, not a copy: it starts with a new window's display levels.
  auto image = std::make_unique<TDataImage>();
  if (!image->Allocate(x2 - x1 + 1, y2 - y1 + 1, source.IsColour ? 0 : 3, source.IsColour)) {
    MessageBox::ShowError(QString::fromLatin1(OutOfMemoryText), this);
    return;
  }
  if (source.IsColour)
    ColCrop(x1, y1, x2, y2, *image, source);
  else
    Crop(x1, y1, x2, y2, *image, source);
  auto* child = new TChildForm;
  child->DataImage = std::move(image);
  child->UpdateImage();
  child->SetCaption(QStringLiteral("Crop"));
  SetModalResult(mrOk);
}
