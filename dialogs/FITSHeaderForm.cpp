#include "dialogs/FITSHeaderForm.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/Main.h"
#include "dialogs/BuddyLabel.h"
#include "dialogs/FITSOptionsForm.h"

TfrmFITSHeader* frmFITSHeader = nullptr;

TfrmFITSHeader::TfrmFITSHeader(QWidget* Parent) : TForm(Parent) {
  setObjectName(QStringLiteral("frmFITSHeader"));
  setWindowTitle(QStringLiteral("FITS Header"));
  HelpContext = 304;
  QFont mono(QStringLiteral("Liberation Mono"));
  mono.setStyleHint(QFont::Monospace);
  auto* box = new QGroupBox(QStringLiteral("FITS Header"), this);
  auto* col = new QVBoxLayout(box);
  ListBox = new QListWidget(box);
  ListBox->setObjectName(QStringLiteral("ListBox"));
  ListBox->setFont(mono);
  ListBox->setMinimumSize(560, 260);
  SpeakAs(ListBox, QStringLiteral("FITS Header"));
  col->addWidget(ListBox);
  Edit1 = new QLineEdit(box);
  Edit1->setObjectName(QStringLiteral("Edit1"));
  col->addWidget(BuddyLabel(QStringLiteral("&Current card"), Edit1, box));
  Edit1->setReadOnly(true);
  Edit1->setFont(mono);
  Edit1->setStyleSheet(QStringLiteral("background: palette(button)"));
  col->addWidget(Edit1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(box);
  layout->addLayout(MakeButtons(true));
  connect(btnOK, &QPushButton::clicked, this, [this] { SetModalResult(mrOk); });
  // Clicks and keys alike show the card now selected.
  connect(ListBox, &QListWidget::currentRowChanged, this, [this](int) { ListBoxClick(); });
  setFixedSize(sizeHint());
}

void TfrmFITSHeader::ListBoxClick() {
  const QListWidgetItem* item = ListBox->currentItem();
  Edit1->setText(item ? item->text() : QString());
}

void TfrmFITSHeader::Execute(bool Modal) {
  Edit1->clear();
  ListFITSHeader(MainForm ? MainForm->ActiveMDIChild() : nullptr, ListBox);
  Edit1->clear();
  if (Modal) ShowModal();
}
