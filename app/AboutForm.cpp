#include "app/AboutForm.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

TfrmAbout* frmAbout = nullptr;

TfrmAbout::TfrmAbout(QWidget* Parent) : TForm(Parent) {
  setObjectName(QStringLiteral("frmAbout"));
  setWindowTitle(QStringLiteral("About Corvelle Image 2.5ZUL"));
  Image1 = new QLabel(this);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setAccessibleName(QStringLiteral("Corvelle Image picture"));
  Image1->setPixmap(ProgramPicture());
  Image1->setGeometry(QRect(QPoint(12, 12), Image1->pixmap().size()));
  Shape1 = new QFrame(this);
  Shape1->setObjectName(QStringLiteral("Shape1"));
  Shape1->setStyleSheet(QStringLiteral("background: #182860"));
  auto* label = new QLabel(QStringLiteral("Corvelle Image 2.5ZUL"), this);
  label->setObjectName(QStringLiteral("lblTitle"));
  QFont f = label->font();
  f.setBold(true);
  f.setPointSize(f.pointSize() + 2);
  label->setFont(f);
  auto* bevel = new QFrame(this);
  bevel->setFrameShape(QFrame::HLine);
  bevel->setFrameShadow(QFrame::Sunken);
  btnOK = new QPushButton(QStringLiteral("OK"), this);
  btnOK->setDefault(true);
  const int w = Image1->width();
  label->setGeometry(12, 12 + Image1->height() + 14, w, 24);
  bevel->setGeometry(12, label->geometry().bottom() + 8, w, 4);
  btnOK->setGeometry(12 + w - 80, bevel->geometry().bottom() + 10, 80, 28);
  setFixedSize(w + 24, btnOK->geometry().bottom() + 12);
  connect(btnOK, &QPushButton::clicked, this, [this] { SetModalResult(mrOk); });
}

void TfrmAbout::showEvent(QShowEvent* Event) {
  TForm::showEvent(Event);
  // The band sits right under the picture, as wide as it.
  Shape1->setGeometry(Image1->x(), Image1->geometry().bottom() + 1, Image1->width(), 6);
}

TfrmSplash::TfrmSplash(QWidget* Parent)
    : QWidget(Parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setObjectName(QStringLiteral("frmSplash"));
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, Qt::white);
  setPalette(pal);
  Image1 = new QLabel(this);
  Image1->setPixmap(ProgramPicture());
  Image1->resize(Image1->pixmap().size());
  Image1->move(10, 10);
}

void TfrmSplash::showEvent(QShowEvent* Event) {
  // The window is exactly the picture, centred on the screen.
  Image1->move(0, 0);
  resize(Image1->size());
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect r = screen->geometry();
    move(r.x() + (r.width() - width()) / 2, r.y() + (r.height() - height()) / 2);
  }
  QWidget::showEvent(Event);
}
