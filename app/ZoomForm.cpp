#include "app/ZoomForm.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/Child.h"
#include "app/IntEdit.h"
#include "app/Main.h"

TfrmZoom* frmZoom = nullptr;

TfrmZoom::TfrmZoom(QWidget* Parent) : TForm(Parent) {
  setObjectName(QStringLiteral("frmZoom"));
  setWindowTitle(QStringLiteral("Zoom"));
  auto* box = new QGroupBox(QStringLiteral("Zoom level"), this);
  auto* col = new QVBoxLayout(box);
  grpZoom = new QButtonGroup(this);
  const char* items[] = {"25&%", "&50%", "&100%", "&200%", "&400%", "&Custom"};
  for (int i = 0; i < 6; ++i) {
    auto* r = new QRadioButton(QString::fromLatin1(items[i]), box);
    r->setAccessibleName(QString::fromLatin1(items[i]).remove(QLatin1Char('&')));
    grpZoom->addButton(r, i);
    col->addWidget(r);
  }
  grpZoom->button(2)->setChecked(true);
  iedZoom = new TIntEdit(box);
  iedZoom->setObjectName(QStringLiteral("iedZoom"));
  iedZoom->SetMinValue(1);
  iedZoom->SetMaxValue(1999);
  iedZoom->SetIncrement(25);
  iedZoom->SetDefaultValue(1);
  iedZoom->SetValue(100);
  iedZoom->setEnabled(false);
  iedZoom->setAccessibleName(QStringLiteral("Custom zoom level"));
  col->addWidget(iedZoom);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(box);
  layout->addLayout(MakeButtons());
  connect(grpZoom, &QButtonGroup::idToggled, this, [this](int, bool On) {
    if (On) grpZoomClick();
  });
  connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
  setFixedSize(sizeHint());
}

void TfrmZoom::grpZoomClick() { iedZoom->setEnabled(grpZoom->checkedId() == 5); }

void TfrmZoom::btnOKClick() {
  static const float levels[] = {25.0f, 50.0f, 100.0f, 200.0f, 400.0f};
  const int item = grpZoom->checkedId();
  // A custom level outside 1..1999 (typed, then Enter) is brought into range.
  const float zoom = item >= 0 && item < 5 ? levels[item] : float(iedZoom->ConstrainedValue());
  if (TChildForm* child = MainForm ? MainForm->ActiveMDIChild() : nullptr) child->SetZoom(zoom);
  SetModalResult(mrOk);
}
