#include "dialogs/ImageMathForm.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/Child.h"
#include "app/Main.h"
#include "app/Utilities.h"
#include "dialogs/BuddyLabel.h"
#include "engine/ColMath.h"
#include "engine/ImageMath.h"

TfrmImageMath* frmImageMath = nullptr;

namespace {
// The group's caption is the list's label; its "&" key moves to the list.
QComboBox* ImageList(const char* Name, const QString& Group, QWidget* Parent, QVBoxLayout* Into) {
  auto* box = new QGroupBox(Group, Parent);
  auto* col = new QVBoxLayout(box);
  auto* list = new QComboBox(box);
  list->setObjectName(QString::fromLatin1(Name));
  list->setMinimumContentsLength(24);
  SpeakAs(list, Group);
  col->addWidget(list);
  Into->addWidget(box);
  return list;
}
}  // namespace

TfrmImageMath::TfrmImageMath(QWidget* Parent) : TForm(Parent) {
  setObjectName(QStringLiteral("frmImageMath"));
  setWindowTitle(QStringLiteral("Image Math"));
  setAccessibleName(QStringLiteral("Image Math"));
  auto* layout = new QVBoxLayout(this);
  cmbImageA = ImageList("cmbImageA", QStringLiteral("Image &A"), this, layout);
  cmbImageB = ImageList("cmbImageB", QStringLiteral("Image &B"), this, layout);
  grpOperator = new QGroupBox(QStringLiteral("Operator"), this);
  grpOperator->setObjectName(QStringLiteral("grpOperator"));
  SpeakAs(grpOperator, QStringLiteral("Operator"));
  auto* ops = new QHBoxLayout(grpOperator);
  FOperators = new QButtonGroup(this);
  const char* names[4] = {"A&dd", "&Subtract", "&Multiply", "Di&vide"};
  for (int i = 0; i < 4; ++i) {
    rdoOperator[i] = new QRadioButton(QString::fromLatin1(names[i]), grpOperator);
    SpeakAs(rdoOperator[i], rdoOperator[i]->text());
    FOperators->addButton(rdoOperator[i], i);
    ops->addWidget(rdoOperator[i]);
  }
  rdoOperator[0]->setChecked(true);
  layout->addWidget(grpOperator);
  layout->addLayout(MakeButtons());
  SpeakAs(btnOK, btnOK->text());
  SpeakAs(btnCancel, btnCancel->text());
  connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
}

int TfrmImageMath::OperatorIndex() const { return FOperators->checkedId(); }

void TfrmImageMath::SetOperatorIndex(int Index) {
  if (Index >= 0 && Index < 4) rdoOperator[Index]->setChecked(true);
}

TChildForm* TfrmImageMath::WindowAt(int Index) const {
  return Index >= 0 && Index < FWindows.size() ? FWindows[Index].data() : nullptr;
}

void TfrmImageMath::Execute() {
  cmbImageA->clear();
  cmbImageB->clear();
  FWindows.clear();
  if (MainForm)
    for (TChildForm* child : MainForm->MDIChildren()) {
      FWindows.push_back(child);
      cmbImageA->addItem(child->Caption());
      cmbImageB->addItem(child->Caption());
    }
  cmbImageA->setCurrentIndex(0);
  cmbImageB->setCurrentIndex(0);
  ShowModal();
}

void TfrmImageMath::btnOKClick() {
  TChildForm* windowA = WindowAt(cmbImageA->currentIndex());
  TChildForm* windowB = WindowAt(cmbImageB->currentIndex());
  if (!windowA || !windowB) return;
  TDataImage& a = *windowA->DataImage;
  TDataImage& b = *windowB->DataImage;
  if (a.Width != b.Width || a.Height != b.Height) {
    MessageBox::ShowWarning(QStringLiteral("Both images must be the same size."), this);
    return;
  }
  if (a.IsColour != b.IsColour) {
    MessageBox::ShowWarning(QStringLiteral("Both images must be of the same type."), this);
    return;
  }
  TChildForm* result = CopyImageWindow(windowA);
  if (!result) return;
  TDataImage& dst = *result->DataImage;
  const auto op = std::uint8_t(OperatorIndex());
  TFailureWatch watch;
  if (a.IsColour) {
    ColImageArithmetic(0, 0, op, 0.0f, 0.0f, a, b, dst);
  } else {
    // Floating point, so that the sums are not clipped at A's integer range.
    dst.DataType = 3;
    dst.TypeMax = 2.0e32f;
    ImageArithmetic(99, 99, op, 0.0f, 0.0f, a, b, dst);
  }
  if (watch.Failed()) {
    result->Discard();  // the routine has said why; the dialog stays open
    return;
  }
  SetModalResult(mrOk);
  result->SetCaption(QStringLiteral("Image Math"));
  result->UpdateImage();
}
