#include "dialogs/DialogControls.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>

#include "app/FloatEdit.h"
#include "app/IntEdit.h"
#include "dialogs/ProcessingDialog.h"

namespace DialogControls {

namespace {
QString Plain(QString Caption) {
  Caption.remove(QLatin1Char('&'));
  return Caption;
}
}  // namespace

QSlider* TrackBar(QWidget* Parent, const char* Name, const QString& Accessible, int Min, int Max, int Position) {
  auto* s = new QSlider(Qt::Horizontal, Parent);
  s->setObjectName(QString::fromLatin1(Name));
  s->setAccessibleName(Accessible);
  s->setRange(Min, Max);
  s->setValue(Position);
  s->setPageStep(std::max(1, (Max - Min) / 10));
  s->setMinimumWidth(180);
  return s;
}

TFloatEdit* FloatBox(QWidget* Parent, const char* Name, const QString& Accessible, long double Min, long double Max,
                     long double Increment, long double Value) {
  auto* e = new TFloatEdit(Parent);
  e->setObjectName(QString::fromLatin1(Name));
  e->setAccessibleName(Accessible);
  e->SetMaxValue(Max);
  e->SetMinValue(Min);
  e->SetIncrement(Increment);
  e->SetValue(Value);
  return e;
}

TIntEdit* IntBox(QWidget* Parent, const char* Name, const QString& Accessible, int Min, int Max, int Increment,
                 int Value) {
  auto* e = new TIntEdit(Parent);
  e->setObjectName(QString::fromLatin1(Name));
  e->setAccessibleName(Accessible);
  e->SetMaxValue(Max);
  e->SetMinValue(Min);
  e->SetIncrement(Increment);
  e->SetValue(Value);
  return e;
}

QLabel* ValueLabel(QWidget* Parent, const char* Name, const QString& Accessible) {
  auto* l = new QLabel(Parent);
  l->setObjectName(QString::fromLatin1(Name));
  l->setAccessibleDescription(Accessible);
  l->setMinimumWidth(44);
  return l;
}

QString PercentText(int Position) { return QString::number(Position) + QStringLiteral("%"); }

QLabel* Row(QGridLayout* Grid, int Row, const QString& Caption, QWidget* Control, QWidget* Extra,
            const char* CaptionName) {
  auto* l = new QLabel(Caption, Control->parentWidget());
  if (CaptionName) l->setObjectName(QString::fromLatin1(CaptionName));
  l->setBuddy(Control);
  if (Control->accessibleName().isEmpty()) Control->setAccessibleName(Plain(Caption));
  Grid->addWidget(l, Row, 0);
  Grid->addWidget(Control, Row, 1);
  if (Extra) Grid->addWidget(Extra, Row, 2);
  return l;
}

QGroupBox* RadioGroup(QWidget* Parent, const char* Name, const QString& Caption, const QStringList& Items, int Checked,
                      QButtonGroup*& Buttons) {
  auto* g = new QGroupBox(Caption, Parent);
  g->setObjectName(QString::fromLatin1(Name));
  g->setAccessibleName(Plain(Caption));
  Buttons = new QButtonGroup(g);
  auto* box = new QVBoxLayout(g);
  for (int i = 0; i < Items.size(); ++i) {
    auto* b = new QRadioButton(Items[i], g);
    b->setAccessibleName(Plain(Items[i]));
    Buttons->addButton(b, i);
    box->addWidget(b);
  }
  if (QAbstractButton* b = Buttons->button(Checked)) b->setChecked(true);
  return g;
}

void Arrange(TProcessingDialog* Dialog, QLayout* Controls, QWidget* Preview, QHBoxLayout* Buttons) {
  auto* top = new QHBoxLayout;
  auto* left = new QVBoxLayout;
  left->addLayout(Controls);
  left->addStretch(1);
  top->addLayout(left, 1);
  if (Preview) top->addWidget(Preview, 0, Qt::AlignTop);
  auto* all = new QVBoxLayout(Dialog);
  all->addLayout(top);
  all->addLayout(Buttons);
}

}  // namespace DialogControls
