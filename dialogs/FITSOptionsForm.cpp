#include "dialogs/FITSOptionsForm.h"

#include <QGroupBox>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/Child.h"
#include "app/Main.h"
#include "dialogs/BuddyLabel.h"
#include "formats/FITS.h"

TfrmFITSOptions* frmFITSOptions = nullptr;

void ListFITSHeader(const TChildForm* Window, QListWidget* List) {
  List->clear();
  if (!Window) return;
  for (const std::string& card : Window->FITSHeader) List->addItem(QString::fromLatin1(card.c_str()));
}

bool NewFITSHeader(TChildForm* Window, bool Sixteen, QListWidget* List, QWidget* Parent) {
  if (!Window) return false;
  if (!Window->FITSHeader.empty() &&
      MessageBox::MessageDlg(QStringLiteral("The current image already has a FITS header.  Do you want to overwrite "
                                            "the current header?"),
                             TMsgDlgType::mtWarning, mbYesNo, Parent) == mrNo)
    return false;
  const TDataImage& image = *Window->DataImage;
  Window->FITSHeader = Sixteen ? MakeFITSHeader(16, image.Width, image.Height, 32768, 1)
                               : MakeFITSHeader(-32, image.Width, image.Height, 0, 1);
  ListFITSHeader(Window, List);
  return true;
}

namespace {
QFont CardFont() {
  QFont f(QStringLiteral("Liberation Mono"));
  f.setStyleHint(QFont::Monospace);
  return f;
}
}  // namespace

TfrmFITSOptions::TfrmFITSOptions(QWidget* Parent) : TForm(Parent) {
  setObjectName(QStringLiteral("frmFITSOptions"));
  setWindowTitle(QStringLiteral("FITS Options"));
  auto* current = new QGroupBox(QStringLiteral("Current FITS Header"), this);
  auto* ccol = new QVBoxLayout(current);
  ListBox = new QListWidget(current);
  ListBox->setObjectName(QStringLiteral("ListBox"));
  ListBox->setFont(CardFont());
  ListBox->setMinimumSize(560, 220);
  SpeakAs(ListBox, QStringLiteral("Current FITS Header"));
  ccol->addWidget(ListBox);
  auto* fresh = new QGroupBox(QStringLiteral("New FITS Header"), this);
  auto* fcol = new QVBoxLayout(fresh);
  rdoData16 = new QRadioButton(QStringLiteral("&16-bit integer data"), fresh);
  rdoData16->setObjectName(QStringLiteral("rdoData16"));
  rdoData32 = new QRadioButton(QStringLiteral("&32-bit floating point data"), fresh);
  rdoData32->setObjectName(QStringLiteral("rdoData32"));
  rdoData32->setChecked(true);
  SpeakAs(rdoData16, rdoData16->text());
  SpeakAs(rdoData32, rdoData32->text());
  btnNewHeader = new QPushButton(QStringLiteral("&New Header"), fresh);
  btnNewHeader->setObjectName(QStringLiteral("btnNewHeader"));
  fcol->addWidget(rdoData16);
  fcol->addWidget(rdoData32);
  fcol->addWidget(btnNewHeader, 0, Qt::AlignLeft);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(current);
  layout->addWidget(fresh);
  layout->addLayout(MakeButtons());
  connect(btnOK, &QPushButton::clicked, this, [this] { SetModalResult(mrOk); });
  connect(btnNewHeader, &QPushButton::clicked, this, [this] { btnNewHeaderClick(); });
  setFixedSize(sizeHint());
}

void TfrmFITSOptions::btnNewHeaderClick() {
  NewFITSHeader(MainForm ? MainForm->ActiveMDIChild() : nullptr, rdoData16->isChecked(), ListBox, this);
}

void TfrmFITSOptions::showEvent(QShowEvent* Event) {
  TForm::showEvent(Event);
  ListFITSHeader(MainForm ? MainForm->ActiveMDIChild() : nullptr, ListBox);
}
