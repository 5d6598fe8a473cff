#include "dialogs/ImageCombineForm.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QVBoxLayout>
#include <algorithm>
#include <new>

#include "app/Child.h"
#include "app/Main.h"
#include "engine/ImageCombine.h"
#include "formats/FITSFrames.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "engine/Errors.h"

TfrmImageCombine* frmImageCombine = nullptr;

namespace {

QPushButton* NamedButton(const QString& Caption, const QString& Name, const QString& Spoken, QWidget* Parent) {
  auto* b = new QPushButton(Caption, Parent);
  b->setObjectName(Name);
  b->setAccessibleName(Spoken);
  return b;
}

}  // namespace

TfrmImageCombine::TfrmImageCombine(QWidget* Parent) : TForm(Parent) {
  setObjectName(QStringLiteral("frmImageCombine"));
  setWindowTitle(QStringLiteral("Combine"));
  HelpContext = 506;

  auto* lblSource = new QLabel(QStringLiteral("&Open Images"), this);
  lstSource = new QListWidget(this);
  lstSource->setObjectName(QStringLiteral("lstSource"));
  lstSource->setAccessibleName(QStringLiteral("Open Images"));
  lstSource->setSelectionMode(QAbstractItemView::ExtendedSelection);
  lblSource->setBuddy(lstSource);

  auto* grpDest = new QGroupBox(QStringLiteral("Images to Combine"), this);
  // The group's caption names the list; a screen reader hears it too.
  lstDest = new QListWidget(grpDest);
  lstDest->setObjectName(QStringLiteral("lstDest"));
  lstDest->setAccessibleName(QStringLiteral("Images to Combine"));
  lstDest->setSelectionMode(QAbstractItemView::ExtendedSelection);
  auto* destCol = new QVBoxLayout(grpDest);
  destCol->addWidget(lstDest);

  btnAdd = NamedButton(QStringLiteral("Add -->"), QStringLiteral("btnAdd"), QStringLiteral("Add selected"), this);
  btnAddAll = NamedButton(QStringLiteral("Add All"), QStringLiteral("btnAddAll"), QStringLiteral("Add All"), this);
  btnRemove = NamedButton(QStringLiteral("<-- Remove"), QStringLiteral("btnRemove"), QStringLiteral("Remove selected"), this);
  btnClear = NamedButton(QStringLiteral("Remove All"), QStringLiteral("btnClear"), QStringLiteral("Remove All"), this);
  btnFiles = NamedButton(QStringLiteral("Files..."), QStringLiteral("btnFiles"), QStringLiteral("Files"), this);
  btnRemove->setEnabled(false);
  btnClear->setEnabled(false);
  auto* middle = new QVBoxLayout;
  middle->addStretch(1);
  for (QPushButton* b : {btnAdd, btnAddAll, btnRemove, btnClear, btnFiles}) middle->addWidget(b);
  middle->addStretch(1);

  auto* grpMethod = new QGroupBox(QStringLiteral("Method"), this);
  grpMethod->setObjectName(QStringLiteral("grpOperator"));
  grpMethod->setAccessibleName(QStringLiteral("Method"));
  grpOperator = new QButtonGroup(this);
  auto* methodRow = new QHBoxLayout(grpMethod);
  const char* const methods[] = {"&Add", "M&ean", "Me&dian", "Mi&nimum", "Ma&ximum"};
  for (int i = 0; i < 5; ++i) {
    auto* r = new QRadioButton(QString::fromLatin1(methods[i]), grpMethod);
    r->setObjectName(QStringLiteral("rdoMethod%1").arg(i));
    r->setAccessibleName(QString::fromLatin1(methods[i]).remove(QLatin1Char('&')));
    grpOperator->addButton(r, i);
    methodRow->addWidget(r);
  }
  grpOperator->button(0)->setChecked(true);

  auto* sourceCol = new QVBoxLayout;
  sourceCol->addWidget(lblSource);
  sourceCol->addWidget(lstSource);
  auto* lists = new QHBoxLayout;
  lists->addLayout(sourceCol, 1);
  lists->addLayout(middle);
  lists->addWidget(grpDest, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(lists);
  layout->addWidget(grpMethod);
  layout->addLayout(MakeButtons());
  btnOK->setAccessibleName(QStringLiteral("OK"));
  btnCancel->setAccessibleName(QStringLiteral("Cancel"));

  connect(btnAdd, &QPushButton::clicked, this, [this] { btnAddClick(); });
  connect(btnAddAll, &QPushButton::clicked, this, [this] { btnAddAllClick(); });
  connect(btnRemove, &QPushButton::clicked, this, [this] { btnRemoveClick(); });
  connect(btnClear, &QPushButton::clicked, this, [this] { btnClearClick(); });
  connect(btnFiles, &QPushButton::clicked, this, [this] { btnFilesClick(); });
  connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
  resize(560, 360);
  setFixedSize(size());
}

void TfrmImageCombine::showEvent(QShowEvent* Event) {
  TForm::showEvent(Event);
  // Only when the dialog opens: restored from the task bar it keeps the
  // user's choice.
  if (!Event->spontaneous()) FormShow();
}

void TfrmImageCombine::FormShow() {
  FFiles = false;
  FSource.clear();
  FDest.clear();
  FWindows.clear();
  lstSource->clear();
  lstDest->clear();
  if (MainForm) {
    const QList<TChildForm*> children = MainForm->MDIChildren();
    for (int i = 0; i < children.size(); ++i) {
      FWindows.push_back(children[i]);
      if (!children[i]->DataImage->IsColour) FSource.push_back({i, 1, QString()});
    }
  }
  UpdateLists();
  UpdateButtons();
}

void TfrmImageCombine::UpdateLists() {
  auto fill = [this](QListWidget* List, const TImageRefList& Refs) {
    List->clear();
    for (const TImageRef& r : Refs) {
      const TChildForm* w = r.Index < FWindows.size() ? FWindows[r.Index].data() : nullptr;
      List->addItem(w ? w->Caption() : QString());
    }
  };
  fill(lstSource, FSource);
  if (!FFiles) fill(lstDest, FDest);
}

void TfrmImageCombine::UpdateButtons() {
  const TPickerButtons b = PickerButtons(FSource.size(), FDest.size());
  btnAdd->setEnabled(b.Add);
  btnAddAll->setEnabled(b.AddAll);
  btnRemove->setEnabled(b.Remove);
  btnClear->setEnabled(b.RemoveAll);
  if (FFiles) {
    btnAdd->setEnabled(false);
    btnAddAll->setEnabled(false);
    btnRemove->setEnabled(false);
    btnClear->setEnabled(true);
  }
}

void TfrmImageCombine::btnAddClick() {
  MoveImageRefs(FSource, FDest, SelectedRows(lstSource));
  UpdateLists();
  UpdateButtons();
}

void TfrmImageCombine::btnRemoveClick() {
  MoveImageRefs(FDest, FSource, SelectedRows(lstDest));
  UpdateLists();
  UpdateButtons();
}

void TfrmImageCombine::btnAddAllClick() {
  MoveImageRefs(FSource, FDest, {}, true);
  UpdateLists();
  UpdateButtons();
}

void TfrmImageCombine::btnClearClick() {
  if (FFiles) {
    lstDest->clear();
    FFiles = false;
  } else {
    MoveImageRefs(FDest, FSource, {}, true);
  }
  UpdateLists();
  UpdateButtons();
}

void TfrmImageCombine::btnFilesClick() {
  TFileDialog dialog(TFileDialog::TKind::Open);
  dialog.Filter = QStringLiteral("FITS Files (*.fts, *.fit, *.fits)|*.fts;*.fit;*.fits|All Files (*.*)|*.*");
  dialog.DefaultExt = QStringLiteral("*.fts");
  dialog.MultiSelect = true;
  if (!dialog.Execute(this) || dialog.Files.isEmpty()) return;
  MoveImageRefs(FDest, FSource, {}, true);
  FFiles = false;
  UpdateLists();
  FFiles = true;
  lstDest->clear();
  lstDest->addItems(dialog.Files);
  UpdateButtons();
}

void TfrmImageCombine::btnOKClick() {
  const int method = std::max(0, grpOperator->checkedId());
  try {
    auto result = std::make_unique<TDataImage>();
    TCodecMessages warnings;
    if (FFiles) {
      std::vector<std::string> files;
      for (int i = 0; i < lstDest->count(); ++i) files.push_back(lstDest->item(i)->text().toStdString());
      CombineFiles(files, method, *result, warnings);
    } else {
      std::vector<const TDataImage*> images;
      std::vector<std::string> names;
      for (const TImageRef& r : FDest) {
        const TChildForm* w = r.Index < FWindows.size() ? FWindows[r.Index].data() : nullptr;
        // A window closed meanwhile cannot be combined; say which.
        if (!w) throw ECombineError(CombineSizeMessage(std::string()));
        images.push_back(w->DataImage.get());
        names.push_back(w->Caption().toStdString());
      }
      if (images.size() < 2) throw ECombineError(msgCombineTooFew);
      CombineImages(images, names, method, *result);
    }
    for (const TCodecMessage& m : warnings) MessageBox::ShowWarning(QString::fromStdString(m.Text), this);
    auto* child = new TChildForm;
    child->SetCaption(QStringLiteral("Combine"));
    child->DataImage = std::move(result);
    child->DataImage->AutoScale();
    child->Modified = true;
    child->UpdateImage();
    ResultWindow = child;
    FFiles = false;
    SetModalResult(mrOk);
  } catch (const std::bad_alloc&) {
    MessageBox::ShowError(QString::fromLatin1(OutOfMemoryText), this);
  } catch (const std::exception& e) {
    MessageBox::ShowError(QString::fromStdString(e.what()), this);
  }
}
