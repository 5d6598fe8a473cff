#include "app/Main.h"

#include <QLabel>
#include <QMdiArea>
#include <QStatusBar>

TMainForm* MainForm = nullptr;

TMainForm::TMainForm(QWidget* Parent) : QMainWindow(Parent) {
  setObjectName(QStringLiteral("MainForm"));
  setWindowTitle(QStringLiteral("Corvelle Image 2.5ZUL"));
  FMDIArea = new QMdiArea(this);
  FMDIArea->setObjectName(QStringLiteral("MDIArea"));
  FMDIArea->setBackground(palette().brush(QPalette::Dark));  // the application workspace colour
  setCentralWidget(FMDIArea);

  QStatusBar* bar = statusBar();
  bar->setObjectName(QStringLiteral("StatusBar"));
  bar->setSizeGripEnabled(true);
  for (int i = 0; i < PanelCount; ++i) {
    auto* label = new QLabel(bar);
    label->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
    label->setFixedWidth(PanelWidths[i]);
    label->setFrameShape(QFrame::Panel);
    label->setFrameShadow(QFrame::Sunken);
    bar->addWidget(label);
    FPanels[i] = label;
  }
  resize(800, 600);
}

void TMainForm::SetPanelText(int Panel, const QString& Text) {
  if (Panel >= 0 && Panel < PanelCount) FPanels[Panel]->setText(Text);
}

QString TMainForm::PanelText(int Panel) const {
  return Panel >= 0 && Panel < PanelCount ? FPanels[Panel]->text() : QString();
}
