#include "app/qvrbar.h"

#include <QLabel>

TQVRStatusBar::TQVRStatusBar(QWidget* Parent) : QStatusBar(Parent) {
  setSizeGripEnabled(true);
  for (int i = 0; i < PanelCount; ++i) {
    auto* label = new QLabel(this);
    label->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
    label->setFixedWidth(PanelWidths[i]);
    if (i == 0) {
      label->setFrameShape(QFrame::NoFrame);  // the hint panel has no bevel
    } else {
      label->setFrameShape(QFrame::Panel);
      label->setFrameShadow(QFrame::Sunken);
    }
    addWidget(label);
    FPanels[i] = label;
  }
}

void TQVRStatusBar::SetPanelText(int Panel, const QString& Text) {
  if (Panel >= 0 && Panel < PanelCount) FPanels[Panel]->setText(Text);
}

QString TQVRStatusBar::PanelText(int Panel) const {
  return Panel >= 0 && Panel < PanelCount ? FPanels[Panel]->text() : QString();
}
