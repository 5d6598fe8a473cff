#include "dialogs/DeleteMarkerForm.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/Child.h"
#include "app/Main.h"
#include "platform/NumFormat.h"

TfrmDeleteMarker* frmDeleteMarker = nullptr;

TfrmDeleteMarker::TfrmDeleteMarker(QWidget* Parent) : TForm(Parent) {
  setObjectName(QStringLiteral("frmDeleteMarker"));
  setWindowTitle(QStringLiteral("Delete Marker"));
  setAccessibleName(QStringLiteral("Delete Marker"));
  auto* group = new QGroupBox(QStringLiteral("Current Markers"), this);
  auto* inner = new QVBoxLayout(group);
  ListView = new QTreeWidget(group);
  ListView->setObjectName(QStringLiteral("ListView"));
  ListView->setAccessibleName(QStringLiteral("Current markers"));
  ListView->setRootIsDecorated(false);
  ListView->setSelectionBehavior(QAbstractItemView::SelectRows);
  ListView->setSelectionMode(QAbstractItemView::SingleSelection);
  ListView->setHeaderLabels({QStringLiteral("Marker No"), QStringLiteral("X"), QStringLiteral("Y")});
  ListView->header()->setSectionResizeMode(QHeaderView::Fixed);
  ListView->header()->setStretchLastSection(false);
  ListView->setColumnWidth(0, 83);
  ListView->setColumnWidth(1, 65);
  ListView->setColumnWidth(2, 65);
  ListView->setMinimumWidth(83 + 65 + 65 + 24);
  inner->addWidget(ListView);

  btnOK = new QPushButton(QStringLiteral("&Delete"), this);
  btnOK->setObjectName(QStringLiteral("btnOK"));
  btnOK->setAccessibleName(QStringLiteral("Delete marker"));
  btnOK->setDefault(true);
  btnCancel = new QPushButton(QStringLiteral("&Close"), this);
  btnCancel->setObjectName(QStringLiteral("btnCancel"));
  btnCancel->setAccessibleName(QStringLiteral("Close"));
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  row->addWidget(btnOK);
  row->addWidget(btnCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addLayout(row);
  connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
  connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
}

void TfrmDeleteMarker::FillList() {
  ListView->clear();
  TChildForm* child = MainForm ? MainForm->ActiveMDIChild() : nullptr;
  if (!child) return;
  const auto& markers = child->ImageOverlay->Markers();
  for (std::size_t i = 0; i < markers.size(); ++i) {
    auto* item = new QTreeWidgetItem(ListView);
    item->setText(0, QString::number(i));
    item->setText(1, QString::fromStdString(NumFormat::FormatFloat("0.00", markers[i].X)));
    item->setText(2, QString::fromStdString(NumFormat::FormatFloat("0.00", markers[i].Y)));
  }
}

int TfrmDeleteMarker::Execute() {
  FillList();
  return ShowModal();
}

void TfrmDeleteMarker::btnOKClick() {
  QTreeWidgetItem* item = ListView->currentItem();
  if (!item || !item->isSelected()) return;
  TChildForm* child = MainForm ? MainForm->ActiveMDIChild() : nullptr;
  if (!child) return;
  child->ImageOverlay->DeleteMarker(ListView->indexOfTopLevelItem(item));
  child->ImageOverlay->update();
  FillList();
}

void TfrmDeleteMarker::btnCancelClick() {
  ListView->clear();
  SetModalResult(mrOk);
}

void TfrmDeleteMarker::closeEvent(QCloseEvent* Event) {
  ListView->clear();
  TForm::closeEvent(Event);
}
