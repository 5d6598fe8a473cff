#include "analysis/StatisticsImagesForm.h"

#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "analysis/StatisticsFormEx.h"
#include "app/Child.h"
#include "app/Main.h"

TfrmStatisticsImages* frmStatisticsImages = nullptr;

TfrmStatisticsImages::TfrmStatisticsImages(QWidget* Parent) : TForm(Parent) {
  setObjectName(QStringLiteral("frmStatisticsImages"));
  setWindowTitle(QStringLiteral("Statistics of Images"));
  setAccessibleName(QStringLiteral("Statistics of Images"));
  auto makeList = [this](const char* Name, const QString& Accessible) {
    auto* list = new QListWidget(this);
    list->setObjectName(QString::fromLatin1(Name));
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setAccessibleName(Accessible);
    return list;
  };
  lstSource = makeList("lstSource", QStringLiteral("Open Images"));
  lstDest = makeList("lstDest", QStringLiteral("Images for Statistics"));
  auto* lblSource = new QLabel(QStringLiteral("&Open Images"), this);
  lblSource->setBuddy(lstSource);
  auto* lblDest = new QLabel(QStringLiteral("Images for &Statistics"), this);
  lblDest->setBuddy(lstDest);
  auto makeButton = [this](const char* Name, const QString& Caption, const QString& Accessible) {
    auto* b = new QPushButton(Caption, this);
    b->setObjectName(QString::fromLatin1(Name));
    b->setAccessibleName(Accessible);
    b->setAutoDefault(false);
    return b;
  };
  btnAdd = makeButton("btnAdd", QStringLiteral("Add -->"), QStringLiteral("Add"));
  btnRemove = makeButton("btnRemove", QStringLiteral("<-- Remove"), QStringLiteral("Remove"));
  btnAddAll = makeButton("btnAddAll", QStringLiteral("Add All"), QStringLiteral("Add All"));
  btnRemoveAll = makeButton("btnRemoveAll", QStringLiteral("Remove All"), QStringLiteral("Remove All"));
  auto* middle = new QVBoxLayout;
  middle->addStretch(1);
  for (QPushButton* b : {btnAdd, btnRemove, btnAddAll, btnRemoveAll}) middle->addWidget(b);
  middle->addStretch(1);
  auto* grid = new QGridLayout;
  grid->addWidget(lblSource, 0, 0);
  grid->addWidget(lblDest, 0, 2);
  grid->addWidget(lstSource, 1, 0);
  grid->addLayout(middle, 1, 1);
  grid->addWidget(lstDest, 1, 2);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addLayout(MakeButtons());
  btnOK->setAccessibleName(QStringLiteral("OK"));
  btnCancel->setAccessibleName(QStringLiteral("Cancel"));
  connect(btnAdd, &QPushButton::clicked, this, [this] { btnAddClick(); });
  connect(btnRemove, &QPushButton::clicked, this, [this] { btnRemoveClick(); });
  connect(btnAddAll, &QPushButton::clicked, this, [this] { btnAddAllClick(); });
  connect(btnRemoveAll, &QPushButton::clicked, this, [this] { btnRemoveAllClick(); });
  connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
  resize(460, 280);
}

void TfrmStatisticsImages::showEvent(QShowEvent* Event) {
  TForm::showEvent(Event);
  FormShow();
}

void TfrmStatisticsImages::hideEvent(QHideEvent* Event) {
  TForm::hideEvent(Event);
  FormHide();
}

void TfrmStatisticsImages::FormShow() {
  FSource.clear();
  FDest.clear();
  FWindows.clear();
  lstSource->clear();
  lstDest->clear();
  if (MainForm)
    for (TChildForm* c : MainForm->MDIChildren()) FWindows.push_back(c);
  for (int i = 0; i < int(FWindows.size()); ++i) {
    lstSource->addItem(FWindows[i]->Caption());
    FSource.push_back(TImageRef{i, 1, QString()});
  }
  UpdateButtons();
}

void TfrmStatisticsImages::FormHide() {
  FSource.clear();
  FDest.clear();
  FWindows.clear();
}


TChildForm* TfrmStatisticsImages::Window(const TImageRef& Ref) const {
  return Ref.Index >= 0 && Ref.Index < int(FWindows.size()) ? FWindows[Ref.Index].data() : nullptr;
}

void TfrmStatisticsImages::btnAddClick() {
  MoveImageRefs(FSource, FDest, SelectedRows(lstSource));
  UpdateLists();
  UpdateButtons();
}

void TfrmStatisticsImages::btnRemoveClick() {
  MoveImageRefs(FDest, FSource, SelectedRows(lstDest));
  UpdateLists();
  UpdateButtons();
}

void TfrmStatisticsImages::btnAddAllClick() {
  MoveImageRefs(FSource, FDest, {}, true);
  UpdateLists();
  UpdateButtons();
}

void TfrmStatisticsImages::btnRemoveAllClick() {
  MoveImageRefs(FDest, FSource, {}, true);
  UpdateLists();
  UpdateButtons();
}

void TfrmStatisticsImages::UpdateLists() {
  auto fill = [this](QListWidget* List, const TImageRefList& Refs) {
    List->clear();
    for (const TImageRef& r : Refs) {
      const TChildForm* w = Window(r);
      List->addItem(w ? w->Caption() : QString());
    }
  };
  fill(lstSource, FSource);
  fill(lstDest, FDest);
}

void TfrmStatisticsImages::UpdateButtons() {
  const TPickerButtons b = PickerButtons(FSource.size(), FDest.size());
  btnAdd->setEnabled(b.Add);
  btnAddAll->setEnabled(b.AddAll);
  btnRemove->setEnabled(b.Remove);
  btnRemoveAll->setEnabled(b.RemoveAll);
}

void TfrmStatisticsImages::btnOKClick() {
  // Grey images first, then colour ones, each in the chosen order. A window
  // closed meanwhile is passed over.
  for (const bool colour : {false, true})
    for (const TImageRef& r : FDest) {
      TChildForm* w = Window(r);
      if (!w || w->DataImage->IsColour != colour) continue;
      const TDataImage& img = *w->DataImage;
      if (colour) {
        TColRegionStatistics stats{};
        ColCalcRegionStatistics(0, 0, img.Width - 1, img.Height - 1, img, stats);
        frmStatisticsResults->AddColourItems(w->Caption(), stats, 0, 0, 0, 0);
      } else {
        TRegionStatistics stats{};
        CalcRegionStatistics(0, 0, img.Width - 1, img.Height - 1, img, stats);
        frmStatisticsResults->AddGreyItem(w->Caption(), stats, 0, 0, 0, 0);
      }
    }
  frmStatisticsResults->ShowReport();
  SetModalResult(mrOk);
}
