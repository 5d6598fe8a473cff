#include "app/FormSupport.h"

#include <QApplication>
#include <QColorDialog>
#include <QDesktopServices>
#include <QFileInfo>
#include <QFontDialog>
#include <QFormLayout>
#include <QGraphicsView>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScrollArea>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
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
  KeyboardOrder::Install(this);
}

namespace KeyboardOrder {
namespace {
void AddWidget(QWidget* W, QList<QWidget*>& Out);

void AddLayout(QLayout* L, QList<QWidget*>& Out, QList<QWidget*>& Placed) {
  struct TItem {
    int Row, Column;
    QLayoutItem* Item;
  };
  std::vector<TItem> items;
  for (int i = 0; i < L->count(); ++i) {
    int row = i, column = 0, rowSpan = 0, columnSpan = 0;
    if (auto* grid = qobject_cast<QGridLayout*>(L)) {
      grid->getItemPosition(i, &row, &column, &rowSpan, &columnSpan);
    } else if (auto* form = qobject_cast<QFormLayout*>(L)) {
      QFormLayout::ItemRole role;
      form->getItemPosition(i, &row, &role);
      column = role == QFormLayout::LabelRole ? 0 : 1;
    } else if (auto* box = qobject_cast<QBoxLayout*>(L);
               box && (box->direction() == QBoxLayout::RightToLeft || box->direction() == QBoxLayout::BottomToTop)) {
      row = -i;
    }
    items.push_back({row, column, L->itemAt(i)});
  }
  std::stable_sort(items.begin(), items.end(), [](const TItem& A, const TItem& B) {
    return A.Row != B.Row ? A.Row < B.Row : A.Column < B.Column;
  });
  for (const TItem& item : items) {
    if (QWidget* w = item.Item->widget()) {
      Placed << w;
      AddWidget(w, Out);
    } else if (QLayout* l = item.Item->layout()) {
      AddLayout(l, Out, Placed);
    }
  }
}

void AddChildren(QWidget* W, QList<QWidget*>& Out) {
  if (auto* tabs = qobject_cast<QTabWidget*>(W)) {
    AddWidget(tabs->tabBar(), Out);
    for (int i = 0; i < tabs->count(); ++i) AddWidget(tabs->widget(i), Out);
    return;
  }
  if (auto* stack = qobject_cast<QStackedWidget*>(W)) {
    for (int i = 0; i < stack->count(); ++i) AddWidget(stack->widget(i), Out);
    return;
  }
  if (auto* scroll = qobject_cast<QScrollArea*>(W)) {
    if (scroll->widget()) AddWidget(scroll->widget(), Out);
    return;
  }
  // Lists, tables, charts and the like are one control each.
  if (qobject_cast<QAbstractScrollArea*>(W)) return;
  QList<QWidget*> placed;
  if (QLayout* l = W->layout())
    AddLayout(l, Out, placed);
  else if (!W->isWindow() && !qobject_cast<QSplitter*>(W) && !W->inherits("QGroupBox") && !W->inherits("QFrame") &&
           QLatin1String(W->metaObject()->className()) != QLatin1String("QWidget"))
    return;  // a control made of parts
  for (QWidget* child : W->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    if (!placed.contains(child)) AddWidget(child, Out);
}

void AddWidget(QWidget* W, QList<QWidget*>& Out) {
  if (W->isWindow() || Out.contains(W)) return;
  Out << W;
  AddChildren(W, Out);
}

bool TakesTab(const QWidget* W) { return (W->focusPolicy() & Qt::TabFocus) == Qt::TabFocus; }

// Push and tool buttons act, page tabs lead elsewhere, pictures and charts
// only show, and a read-only box takes no typing.
bool IsInput(const QWidget* W) {
  if (const auto* box = qobject_cast<const QLineEdit*>(W)) return !box->isReadOnly();
  return !qobject_cast<const QPushButton*>(W) && !qobject_cast<const QToolButton*>(W) &&
         !qobject_cast<const QTabBar*>(W) && !qobject_cast<const QGraphicsView*>(W) &&
         !qobject_cast<const QScrollArea*>(W);
}

// Puts the Tab order right once, and the focus on the first input at each
// showing (a window shown again starts afresh, not where it was left). A
// window that becomes active with the focus nowhere in it takes it there.
class TKeyboardEntry : public QObject {
 public:
  explicit TKeyboardEntry(QWidget* Window) : QObject(Window) { Window->installEventFilter(this); }
  bool eventFilter(QObject* Watched, QEvent* Event) override {
    if (Watched != parent()) return false;
    auto* window = static_cast<QWidget*>(Watched);
    if (Event->type() == QEvent::Show && !Event->spontaneous()) {
      if (!FOrdered) {
        FOrdered = true;
        const QList<QWidget*> order = ReadingOrder(window);
        for (qsizetype i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
      }
      if (QWidget* first = FirstInput(window)) first->setFocus(Qt::OtherFocusReason);
    } else if (Event->type() == QEvent::WindowActivate) {
      QWidget* focus = QApplication::focusWidget();
      if (!focus || (focus != window && !window->isAncestorOf(focus))) {
        QWidget* kept = window->focusWidget();
        if (!kept || !kept->isVisible() || !kept->isEnabled()) kept = FirstInput(window);
        if (kept) kept->setFocus(Qt::ActiveWindowFocusReason);
      }
    }
    return false;
  }

 private:
  bool FOrdered = false;
};
}  // namespace

void Install(QWidget* Window) {
  for (QObject* child : Window->children())
    if (dynamic_cast<TKeyboardEntry*>(child)) return;
  new TKeyboardEntry(Window);
}

QList<QWidget*> ReadingOrder(QWidget* Window) {
  QList<QWidget*> all, out;
  AddChildren(Window, all);
  for (QWidget* w : all)
    if (TakesTab(w)) out << w;
  return out;
}

QWidget* FirstInput(QWidget* Window) {
  QWidget* first = nullptr;
  for (QWidget* w : ReadingOrder(Window)) {
    if (!w->isEnabled() || !w->isVisibleTo(Window) || w->focusProxy()) continue;
    if (IsInput(w)) return w;
    if (!first) first = w;
  }
  for (QPushButton* b : Window->findChildren<QPushButton*>())
    if (b->isDefault() && b->isVisibleTo(Window) && b->isEnabled()) return b;
  return first;
}
}  // namespace KeyboardOrder

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
