#include "app/QuickZoomForm.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/Accessibility.h"
#include "app/FormSupport.h"
#include "app/ToolWindows.h"

TfrmQuickZoom* frmQuickZoom = nullptr;

TfrmQuickZoom::TfrmQuickZoom(QWidget* Parent) : QWidget(Parent, Qt::Tool | Qt::WindowStaysOnTopHint) {
  setObjectName(QStringLiteral("frmQuickZoom"));
  KeyboardOrder::Install(this);
  ToolWindows::Install(this);
  Accessibility::ExposeWindow(this);
  setWindowTitle(QStringLiteral("Quick Zoom - 100%"));
  setAccessibleName(QStringLiteral("Quick Zoom"));
  ZoomDisplay = new QLabel(this);
  ZoomDisplay->setObjectName(QStringLiteral("ZoomDisplay"));
  ZoomDisplay->setFixedSize(128, 128);
  ZoomDisplay->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  ZoomDisplay->setStyleSheet(QStringLiteral("background: black"));
  ZoomDisplay->setAccessibleName(QStringLiteral("Zoomed view"));
  btnZoomIn = new QToolButton(this);
  btnZoomIn->setText(QStringLiteral("+"));
  btnZoomIn->setToolTip(QStringLiteral("Zoom In"));
  btnZoomIn->setAccessibleName(QStringLiteral("Zoom In"));
  btnZoomOut = new QToolButton(this);
  btnZoomOut->setText(QStringLiteral("-"));
  btnZoomOut->setToolTip(QStringLiteral("Zoom Out"));
  btnZoomOut->setAccessibleName(QStringLiteral("Zoom Out"));
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(btnZoomIn);
  buttons->addWidget(btnZoomOut);
  buttons->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addLayout(buttons);
  layout->addWidget(ZoomDisplay);
  connect(btnZoomIn, &QToolButton::clicked, this, [this] { btnZoomInClick(); });
  connect(btnZoomOut, &QToolButton::clicked, this, [this] { btnZoomOutClick(); });
  QuickZoomTarget = this;
}

TfrmQuickZoom::~TfrmQuickZoom() {
  if (QuickZoomTarget == this) QuickZoomTarget = nullptr;
}

void TfrmQuickZoom::btnZoomInClick() {
  if (Level == 100) Level = 200;
  else if (Level == 200) Level = 400;
  else if (Level == 400) Level = 800;
  else if (Level == 800) Level = 1600;
  setWindowTitle(QStringLiteral("Quick Zoom - %1%").arg(Level));
}

void TfrmQuickZoom::btnZoomOutClick() {
  if (Level == 200) Level = 100;
  else if (Level == 400) Level = 200;
  else if (Level == 800) Level = 400;
  else if (Level == 1600) Level = 800;
  setWindowTitle(QStringLiteral("Quick Zoom - %1%").arg(Level));
}

void TfrmQuickZoom::ShowSquare(const QImage& Square) {
  QPixmap pm(128, 128);
  pm.fill(Qt::black);
  QPainter p(&pm);
  p.drawImage(0, 0, Square);
  p.end();
  ZoomDisplay->setPixmap(pm);
}
