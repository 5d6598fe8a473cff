#include "app/FormSupport.h"

#include <QColorDialog>
#include <QDesktopServices>
#include <QFileInfo>
#include <QKeyEvent>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QRandomGenerator>
#include <utility>

#include "platform/Application.h"

namespace {
// Keeps a dialog where it was last shown: on X11 a window shown again is
// placed by its client area, so each opening would land a title bar lower.
// An event filter, so that forms overriding the show and hide handlers keep it.
class TPlacementKeeper : public QObject {
 public:
  explicit TPlacementKeeper(QWidget* Form) : QObject(Form) { Form->installEventFilter(this); }
  bool eventFilter(QObject* Watched, QEvent* Event) override {
    auto* form = static_cast<QWidget*>(Watched);
    if (Event->type() == QEvent::Hide && !Event->spontaneous() && form->isWindow()) {
      FPlace = form->pos();
      FPlaced = true;
    } else if (Event->type() == QEvent::Show && FPlaced && form->isWindow()) {
      form->move(FPlace);
    }
    return false;
  }

 private:
  QPoint FPlace;
  bool FPlaced = false;
};
}  // namespace

TForm::TForm(QWidget* Parent) : QDialog(Parent) {
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  new TPlacementKeeper(this);
}

QUrl TForm::HelpTopic(int Context) {
  const TApplication* app = Application();
  if (!app || app->HelpFile().isEmpty()) return {};
  QUrl url = QUrl::fromLocalFile(app->HelpFile());
  if (Context != 0) url.setFragment(QStringLiteral("context-%1").arg(Context));
  return url;
}

void TForm::keyPressEvent(QKeyEvent* Event) {
  if (Event->key() == Qt::Key_F1 && Event->modifiers() == Qt::NoModifier) {
    const QUrl url = HelpTopic(HelpContext);
    if (url.isValid() && QFileInfo::exists(url.toLocalFile())) ShowHelpPage(url, this);
    Event->accept();
    return;
  }
  QDialog::keyPressEvent(Event);
}

bool ShowHelpPage(const QUrl& Page, QWidget* Parent) {
  if (QDesktopServices::openUrl(Page)) return true;
  MessageBox::ShowError(QStringLiteral("The help page \"%1\" could not be shown: no web browser could be started.")
                            .arg(Page.toDisplayString()),
                        Parent);
  return false;
}

QHBoxLayout* TForm::MakeButtons(bool OkOnly) {
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  btnOK = new QPushButton(QStringLiteral("OK"), this);
  btnOK->setObjectName(QStringLiteral("btnOK"));
  btnOK->setDefault(true);
  row->addWidget(btnOK);
  if (!OkOnly) {
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    connect(btnCancel, &QPushButton::clicked, this, [this] { SetModalResult(mrCancel); });
    row->addWidget(btnCancel);
  }
  return row;
}

QPixmap ProgramPicture() {
  // A night sky with a few stars and the program's name.
  QImage img(360, 200, QImage::Format_RGB32);
  QPainter p(&img);
  QLinearGradient sky(0, 0, 0, 200);
  sky.setColorAt(0, QColor(4, 8, 32));
  sky.setColorAt(1, QColor(24, 40, 96));
  p.fillRect(img.rect(), sky);
  QRandomGenerator rng(20251);
  for (int i = 0; i < 140; ++i) {
    const int x = int(rng.bounded(360)), y = int(rng.bounded(200));
    const int b = 120 + int(rng.bounded(136));
    p.setPen(QColor(b, b, std::min(255, b + 30)));
    p.drawPoint(x, y);
  }
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(QColor(255, 244, 200));
  p.setPen(Qt::NoPen);
  p.drawEllipse(QPointF(292, 52), 5, 5);
  p.setPen(QColor(255, 255, 255));
  QFont f(QStringLiteral("Liberation Sans"), 22, QFont::Bold);
  p.setFont(f);
  p.drawText(QRect(0, 110, 360, 40), Qt::AlignCenter, QStringLiteral("Corvelle Image"));
  f.setPointSize(11);
  f.setBold(false);
  p.setFont(f);
  p.drawText(QRect(0, 148, 360, 24), Qt::AlignCenter, QStringLiteral("Version 2.5ZUL"));
  p.end();
  return QPixmap::fromImage(img);
}

namespace StandardDialogs {
namespace {
TColourHook& ColourHook() {
  static TColourHook h;
  return h;
}
TFontHook& FontHook() {
  static TFontHook h;
  return h;
}
}  // namespace

TColourHook SetColourHook(TColourHook Hook) { return std::exchange(ColourHook(), std::move(Hook)); }
TFontHook SetFontHook(TFontHook Hook) { return std::exchange(FontHook(), std::move(Hook)); }

bool ChooseColour(QColor& Colour, QWidget* Parent) {
  if (auto& h = ColourHook()) return h(Colour);
  const QColor c = QColorDialog::getColor(Colour, Parent, QString(), QColorDialog::DontUseNativeDialog);
  if (!c.isValid()) return false;
  Colour = c;
  return true;
}

bool ChooseFont(QFont& Font, QWidget* Parent) {
  if (auto& h = FontHook()) return h(Font);
  bool ok = false;
  const QFont f = QFontDialog::getFont(&ok, Font, Parent, QString(), QFontDialog::DontUseNativeDialog);
  if (ok) Font = f;
  return ok;
}
}  // namespace StandardDialogs
