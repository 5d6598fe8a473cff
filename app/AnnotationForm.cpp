#include "app/AnnotationForm.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TfrmAnnotation* frmAnnotation = nullptr;

TfrmAnnotation::TfrmAnnotation(QWidget* Parent) : TForm(Parent) {
  setObjectName(QStringLiteral("frmAnnotation"));
  setWindowTitle(QStringLiteral("Annotations"));
  auto* textBox = new QGroupBox(QStringLiteral("Annotation Text"), this);
  auto* grid = new QGridLayout(textBox);
  auto* lblText = new QLabel(QStringLiteral("&Text"), textBox);
  grid->addWidget(lblText, 0, 0);
  txtSample = new QLineEdit(QStringLiteral("Sample Text"), textBox);
  txtSample->setObjectName(QStringLiteral("txtSample"));
  txtSample->setAccessibleName(QStringLiteral("Text"));
  lblText->setBuddy(txtSample);
  grid->addWidget(txtSample, 0, 1);
  btnFont = new QPushButton(QStringLiteral("&Font..."), textBox);
  btnFont->setObjectName(QStringLiteral("btnFont"));
  grid->addWidget(btnFont, 0, 2);
  auto* sampleBox = new QGroupBox(QStringLiteral("Sample"), this);
  auto* col = new QVBoxLayout(sampleBox);
  lblSample = new QLabel(QStringLiteral("Sample Text"), sampleBox);
  lblSample->setObjectName(QStringLiteral("lblSample"));
  lblSample->setMinimumHeight(60);
  lblSample->setAccessibleDescription(QStringLiteral("Sample"));
  col->addWidget(lblSample);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(textBox);
  layout->addWidget(sampleBox);
  layout->addLayout(MakeButtons());
  connect(txtSample, &QLineEdit::textChanged, lblSample, &QLabel::setText);
  connect(btnFont, &QPushButton::clicked, this, [this] { btnFontClick(); });
  connect(btnOK, &QPushButton::clicked, this, [this] { SetModalResult(mrOk); });
}

void TfrmAnnotation::btnFontClick() {
  QFont font = lblSample->font();
  if (StandardDialogs::ChooseFont(font, this)) lblSample->setFont(font);
}

void TfrmAnnotation::showEvent(QShowEvent* Event) {
  TForm::showEvent(Event);
  txtSample->setFocus();
  txtSample->selectAll();
}
