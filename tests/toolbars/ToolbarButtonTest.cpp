// Toolbars, separators and buttons driven with the mouse on a real X server:
// control order, floating wrap and resize, groups, repeat, drop-down menus,
// hot tracking and glyphs.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QTimer>

#include "toolbars/DockButtons.h"
#include "toolbars/DockTestUtil.h"
#include "toolbars/DockToolbar.h"

namespace {

// A glyph strip of Cells 16 x 16 cells: a different colour per cell on a
// magenta (transparent) background, with a white corner pixel in each cell.
QPixmap Strip(int Cells, int Side = 16) {
  QImage img(Side * Cells, Side, QImage::Format_RGB32);
  img.fill(QColor(255, 0, 255));
  for (int c = 0; c < Cells; ++c) {
    const QColor colour = QColor::fromHsv(60 * c, 200, 120);
    for (int y = 3; y < Side - 3; ++y)
      for (int x = 3; x < Side - 3; ++x) img.setPixelColor(c * Side + x, y, colour);
    img.setPixelColor(c * Side + 4, 4, Qt::white);
  }
  return QPixmap::fromImage(img);
}

struct TBarForm : TForm4 {
  TToolbar* Bar;
  std::vector<TToolbarButton*> Buttons;
  explicit TBarForm(int Count, TDock* TForm4::*Where = &TForm4::Top) {
    Bar = new TToolbar(&Form);
    Bar->setObjectName(QStringLiteral("tbrTest"));
    Bar->SetCaption(QStringLiteral("Test"));
    Bar->SetDragHandleStyle(dhSingle);
    for (int i = 0; i < Count; ++i) {
      auto* b = new TToolbarButton(Bar);
      b->setObjectName(QStringLiteral("tbn%1").arg(i));
      b->SetGlyph(Strip(1));
      b->move(i, 0);
      Buttons.push_back(b);
    }
    Bar->SetParent(this->*Where);
    Bar->Loaded();
  }
};

void Hover(QWidget* W, QPoint P) {
  QCursor::setPos(W->mapToGlobal(P));
  QTest::mouseMove(W, P);
}

}  // namespace

TEST(ToolbarButtonTest, ToolbarOrderSizesSeparatorsAndWrapping) {
  TForm4 f;
  f.Show();
  TToolbar bar(&f.Form);
  bar.SetDragHandleStyle(dhSingle);
  // Created first but placed last: the order is by Left.
  auto* late = new TToolbarButton(&bar);
  late->move(50, 0);
  auto* sep = new TToolbarSep(&bar);
  sep->move(40, 0);
  auto* first = new TToolbarButton(&bar);
  first->move(0, 0);
  auto* second = new TToolbarButton(&bar);
  second->move(10, 0);
  bar.Loaded();
  EXPECT_EQ(bar.OrderList(), (std::vector<QWidget*>{first, second, sep, late}));
  bar.SetParent(f.Top);
  // 3 buttons and a separator: 75 x 22 inside a frame of 2 and a handle of 6.
  EXPECT_EQ(bar.size(), QSize(75 + 10, 26));
  EXPECT_EQ(first->geometry(), QRect(8, 2, 23, 22));
  EXPECT_EQ(sep->geometry(), QRect(8 + 46, 2, 6, 22));
  EXPECT_EQ(late->geometry(), QRect(8 + 52, 2, 23, 22));
  EXPECT_TRUE(Eventually([&] { return f.Top->height() == 27; })) << f.Top->height();
  // On a vertical dock the bar stands up.
  bar.SetParent(f.Left);
  EXPECT_EQ(bar.size(), QSize(23 + 4, 22 * 3 + 6 + 10));
  EXPECT_EQ(sep->geometry(), QRect(2, 8 + 44, 23, 6));
  // Separators only on toolbars; a press on one reaches the toolbar.
  QWidget plain;
  try {
    TToolbarSep bad(&plain);
    ADD_FAILURE();
  } catch (const EInvalidOperation& e) {
    EXPECT_STREQ(e.what(), "TToolbarSep can only be placed on a TToolbar");
  }
  bar.SetParent(f.Top);
  QTest::mousePress(&bar, Qt::LeftButton, {}, sep->geometry().center());
  EXPECT_TRUE(bar.Dragging());
  QTest::keyPress(&bar, Qt::Key_Escape);
  EXPECT_FALSE(bar.Dragging());

  // Floating: one line, then wrapped at the group boundary by a narrower width.
  bar.SetFloatingPosition(QPoint(500, 400));
  bar.SetDockedTo(nullptr);
  ASSERT_TRUE(bar.Floating());
  EXPECT_EQ(bar.size(), QSize(75 + 8 + 8, 22 + 3 + 24));  // margins 4/4/2/1, frame 4, caption 16
  bar.SetFloatRightX(60);
  EXPECT_EQ(bar.size(), QSize(54 + 8, 2 + 28 + 22 + 1 + 24));
  EXPECT_EQ(sep->width(), 0);
  EXPECT_EQ(bar.WrapLines(), (std::vector<DockLayout::TWrapLine>{{30, false}}));
  EXPECT_EQ(late->geometry().topLeft(), QPoint(4 + 4, 30 + 20));
  bar.SetFloatRightX(0);

  // Dragging the right edge inward by less than the snap tolerance changes nothing.
  EXPECT_TRUE(Eventually([&] { return bar.FloatParent()->isVisible(); }));
  const QRect before = bar.Bounds();
  const QPoint edge(bar.width() - 1, 30);
  QTest::mousePress(&bar, Qt::LeftButton, {}, edge);
  ASSERT_TRUE(bar.Resizing());
  QTest::mouseMove(&bar, edge - QPoint(8, 0));
  QTest::mouseRelease(&bar, Qt::LeftButton, {}, edge - QPoint(8, 0));
  EXPECT_EQ(bar.Bounds(), before);
  EXPECT_EQ(bar.FloatRightX(), 0);
  // Further in: the next candidate, two lines, with the etched line.
  QTest::mousePress(&bar, Qt::LeftButton, {}, edge);
  QTest::mouseMove(&bar, edge - QPoint(25, 0));
  QTest::mouseRelease(&bar, Qt::LeftButton, {}, edge - QPoint(25, 0));
  EXPECT_EQ(bar.FloatRightX(), 54);
  EXPECT_EQ(bar.Bounds(), QRect(before.topLeft(), QSize(62, 77)));
  EXPECT_EQ(bar.WrapLines().size(), 1u);
  // Dragging the bottom edge back up returns to one line.
  const QPoint bottom(30, bar.height() - 1);
  QTest::mousePress(&bar, Qt::LeftButton, {}, bottom);
  QTest::mouseMove(&bar, bottom - QPoint(0, 28));
  QTest::mouseRelease(&bar, Qt::LeftButton, {}, bottom - QPoint(0, 28));
  EXPECT_EQ(bar.FloatRightX(), 0);
  EXPECT_EQ(bar.size(), QSize(91, 49));
}

TEST(ToolbarButtonTest, GroupsActionsAndRepeat) {
  TBarForm f(4);
  f.Show();
  TToolbarButton* a = f.Buttons[0];
  TToolbarButton* b = f.Buttons[1];
  a->SetGroupIndex(1);
  b->SetGroupIndex(1);
  const QPoint mid(11, 11);
  QTest::mouseClick(b, Qt::LeftButton, {}, mid);
  EXPECT_TRUE(b->Down());
  QTest::mouseClick(a, Qt::LeftButton, {}, mid);
  EXPECT_TRUE(a->Down());
  EXPECT_FALSE(b->Down());
  EXPECT_EQ(b->State(), bsUp);
  // Pressing the down one again does nothing, unless all may be up.
  QTest::mouseClick(a, Qt::LeftButton, {}, mid);
  EXPECT_TRUE(a->Down());
  a->SetAllowAllUp(true);
  EXPECT_TRUE(b->AllowAllUp());
  QTest::mouseClick(a, Qt::LeftButton, {}, mid);
  EXPECT_FALSE(a->Down());
  // Without a group a button never stays down.
  TToolbarButton* c = f.Buttons[2];
  c->SetDown(true);
  EXPECT_FALSE(c->Down());

  // The action: caption, hint, enabled state and click; checked shows on a
  // grouped button only.
  QAction action(QStringLiteral("&Gamma..."));
  action.setStatusTip(QStringLiteral("Gamma|Gamma correction"));
  action.setCheckable(true);
  int triggered = 0;
  QObject::connect(&action, &QAction::triggered, [&] { ++triggered; });
  c->SetAction(&action);
  EXPECT_EQ(c->accessibleName(), QStringLiteral("Gamma"));
  EXPECT_EQ(c->toolTip(), QStringLiteral("Gamma"));
  action.setChecked(true);
  EXPECT_FALSE(c->Down());
  action.setEnabled(false);
  EXPECT_FALSE(c->isEnabled());
  EXPECT_EQ(c->State(), bsDisabled);
  QTest::mouseClick(c, Qt::LeftButton, {}, mid);
  EXPECT_EQ(triggered, 0);
  action.setEnabled(true);
  EXPECT_NE(c->State(), bsDisabled);
  action.setChecked(false);
  QTest::mouseClick(c, Qt::LeftButton, {}, mid);
  EXPECT_EQ(triggered, 1);
  TToolbarButton* d = f.Buttons[3];
  d->SetGroupIndex(2);
  d->SetAllowAllUp(true);
  QAction toggle(QStringLiteral("Toggle"));
  toggle.setCheckable(true);
  d->SetAction(&toggle);
  toggle.setChecked(true);
  EXPECT_TRUE(d->Down());
  toggle.setChecked(false);
  EXPECT_FALSE(d->Down());

  // Repeat: one click on the press, more while held inside, none while off.
  TToolbarButton* r = f.Buttons[2];
  r->SetAction(nullptr);
  int clicks = 0;
  r->OnClick = [&](TToolbarButton*) { ++clicks; };
  r->Repeating = true;
  Hover(r, mid);
  QTest::mousePress(r, Qt::LeftButton, {}, mid);
  EXPECT_EQ(clicks, 1);
  auto* timer = r->findChild<QTimer*>();
  ASSERT_NE(timer, nullptr);
  EXPECT_EQ(timer->interval(), 400);
  EXPECT_TRUE(Eventually([&] { return clicks >= 3; }));
  EXPECT_EQ(timer->interval(), 100);
  // Off the button the repeat pauses; back on it resumes.
  QCursor::setPos(r->mapToGlobal(QPoint(11, 60)));
  QTest::mouseMove(r, QPoint(11, 60));
  EXPECT_TRUE(Eventually([&] { return !timer->isActive(); }));
  const int paused = clicks;
  Hover(r, mid);
  EXPECT_TRUE(timer->isActive());
  EXPECT_TRUE(Eventually([&] { return clicks > paused; }));
  QTest::mouseRelease(r, Qt::LeftButton, {}, mid);
  EXPECT_EQ(r->findChild<QTimer*>(), nullptr);
}

TEST(ToolbarButtonTest, DropdownMenusAndTheirSide) {
  TBarForm f(2);
  f.Show();
  QMenu menu;
  menu.addAction(QStringLiteral("One"));
  QStringList calls;
  auto record = [&](TToolbarButton* B) {
    B->OnClick = [&](TToolbarButton*) { calls << "click"; };
    B->PopupMenu = [&](QMenu*, const QPoint&) { calls << "menu"; };
  };
  // A combo: the main part clicks, the arrow part opens the menu.
  TToolbarButton* combo = f.Buttons[0];
  record(combo);
  combo->SetDropdownMenu(&menu);
  combo->SetDropdownCombo(true);
  EXPECT_EQ(combo->width(), 23 + 11);
  QTest::mouseClick(combo, Qt::LeftButton, {}, QPoint(10, 11));
  EXPECT_EQ(calls, QStringList({"click"}));
  QTest::mouseClick(combo, Qt::LeftButton, {}, QPoint(combo->width() - 3, 11));
  EXPECT_EQ(calls, QStringList({"click", "menu"}));
  EXPECT_FALSE(combo->PointInButton(combo->width() - 11, 5));
  EXPECT_TRUE(combo->PointInButton(combo->width() - 12, 5));
  combo->SetDropdownArrowWidth(5);  // never below 7
  EXPECT_EQ(combo->DropdownArrowWidth(), 7);
  EXPECT_EQ(combo->width(), 23 + 9);
  combo->SetDropdownCombo(false);
  EXPECT_EQ(combo->width(), 23);

  // A plain drop-down button clicks, then opens; the click that closes the
  // menu on the button does not open it again.
  TToolbarButton* drop = f.Buttons[1];
  record(drop);
  drop->SetDropdownMenu(&menu);
  auto closingClick = [&](QMenu*, const QPoint&) {
    calls << "menu";
    const QPoint p(11, 11);
    QCoreApplication::postEvent(drop, new QMouseEvent(QEvent::MouseButtonPress, p, drop->mapToGlobal(p),
                                                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::postEvent(drop, new QMouseEvent(QEvent::MouseButtonRelease, p, drop->mapToGlobal(p),
                                                      Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
  };
  drop->PopupMenu = closingClick;
  calls.clear();
  QTest::mousePress(drop, Qt::LeftButton, {}, QPoint(11, 11));
  QCoreApplication::processEvents();
  QTest::mouseRelease(drop, Qt::LeftButton, {}, QPoint(11, 11));
  EXPECT_EQ(calls, QStringList({"click", "menu"}));
  // With RemoveClicks turned off by OnDropdown, that click opens it again.
  int dropdowns = 0;
  drop->OnDropdown = [&](TToolbarButton*, bool&, bool& Remove) {
    Remove = ++dropdowns > 1;
  };
  calls.clear();
  ASSERT_TRUE(Eventually([&] { return !drop->SwallowingPress(); }));
  QTest::mousePress(drop, Qt::LeftButton, {}, QPoint(11, 11));
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
  QTest::mouseRelease(drop, Qt::LeftButton, {}, QPoint(11, 11));
  EXPECT_EQ(calls, QStringList({"click", "menu", "click", "menu"}));
  drop->OnDropdown = nullptr;
  auto clickDrop = [&] {
    ASSERT_TRUE(Eventually([&] { return !drop->SwallowingPress(); }));
    QTest::mouseClick(drop, Qt::LeftButton, {}, QPoint(11, 11));
  };

  // The menu opens below on a top dock, to the right on a left dock and to
  // the left on a right dock.
  drop->PopupMenu = [&](QMenu*, const QPoint&) {};
  clickDrop();
  EXPECT_EQ(drop->LastMenuPoint(), drop->mapToGlobal(QPoint(0, drop->height())));
  f.Bar->SetParent(f.Left);
  clickDrop();
  EXPECT_EQ(drop->LastMenuPoint(), drop->mapToGlobal(QPoint(drop->width(), 0)));
  EXPECT_FALSE(drop->LastMenuRightAligned());
  f.Bar->SetParent(f.Right);
  clickDrop();
  EXPECT_EQ(drop->LastMenuPoint(), drop->mapToGlobal(QPoint(0, 0)) - QPoint(menu.sizeHint().width(), 0));
  EXPECT_TRUE(drop->LastMenuRightAligned());
}

TEST(ToolbarButtonTest, HotTrackingAndHints) {
  TBarForm f(2);
  f.Show();
  TToolbarButton* b = f.Buttons[0];
  QStringList tips;
  struct TTipCatcher : QObject {
    QStringList* Tips;
    bool eventFilter(QObject*, QEvent* E) override {
      if (E->type() == QEvent::StatusTip) *Tips << static_cast<QStatusTipEvent*>(E)->tip();
      return false;
    }
  } catcher;
  catcher.Tips = &tips;
  f.Form.installEventFilter(&catcher);
  b->SetHint(QStringLiteral("Open|Open an image"));
  // The pointer's own moves reach the program too: wait until they are in.
  Hover(b, QPoint(11, 11));
  EXPECT_TRUE(Eventually([&] { return TToolbarButton::HotButton() == b && !tips.isEmpty() && !tips.last().isEmpty(); }));
  EXPECT_EQ(b->State(), bsHot);
  EXPECT_EQ(tips.last(), QStringLiteral("Open|Open an image"));
  // Another button takes the hot state over.
  Hover(f.Buttons[1], QPoint(11, 11));
  EXPECT_TRUE(Eventually([&] { return TToolbarButton::HotButton() == f.Buttons[1] && tips.last().isEmpty(); }));
  EXPECT_EQ(b->State(), bsUp);
  // Leaving the program's windows ends it without another event inside.
  QCursor::setPos(QPoint(1590, 990));
  EXPECT_TRUE(Eventually([&] { return TToolbarButton::HotButton() == nullptr; }));
  EXPECT_EQ(f.Buttons[1]->State(), bsUp);
}

TEST(ToolbarButtonTest, GlyphCellsDisabledImagesAndSharing) {
  TBarForm f(0);
  f.Show();
  auto* a = new TToolbarButton(f.Bar);
  auto* b = new TToolbarButton(f.Bar);
  a->SetGlyph(Strip(4));
  EXPECT_EQ(a->NumGlyphs(), 4);
  a->SetGlyph(QPixmap(30, 16));
  EXPECT_EQ(a->NumGlyphs(), 1);
  // One cell: the transparent colour is the bottom-left one; disabled is made.
  a->SetGlyph(Strip(1));
  const QImage up = a->GlyphObject().MakeStateGlyph(bsUp).toImage();
  EXPECT_EQ(qAlpha(up.pixel(0, 15)), 0);
  EXPECT_EQ(qAlpha(up.pixel(8, 8)), 255);
  const QImage disabled = a->GlyphObject().MakeStateGlyph(bsDisabled).toImage();
  EXPECT_EQ(disabled.size(), QSize(17, 17));
  EXPECT_EQ(disabled.pixel(8, 8), a->palette().color(QPalette::Active, QPalette::Dark).rgb());
  // White fades into the face; the highlight copy shows there.
  EXPECT_EQ(disabled.pixel(4, 4), a->palette().color(QPalette::Active, QPalette::Light).rgb());
  EXPECT_EQ(qAlpha(disabled.pixel(0, 0)), 0);
  // Two cells: disabled is cell 1; down falls back to cell 0.
  a->SetGlyph(Strip(2));
  EXPECT_EQ(a->NumGlyphs(), 2);
  const QImage cell1 = a->GlyphObject().MakeStateGlyph(bsDisabled).toImage();
  EXPECT_EQ(cell1.size(), QSize(16, 16));
  EXPECT_EQ(cell1.pixel(8, 8), QColor::fromHsv(60, 200, 120).rgb());
  EXPECT_EQ(a->GlyphObject().MakeStateGlyph(bsExclusive).toImage().pixel(8, 8), QColor::fromHsv(0, 200, 120).rgb());
  // The disabled button shows its disabled image.
  a->SetGlyph(Strip(1));
  a->setEnabled(false);
  const QImage shown = a->grab().toImage();
  bool dark = false;
  for (int y = 0; y < shown.height(); ++y)
    for (int x = 0; x < shown.width(); ++x) dark |= shown.pixel(x, y) == a->palette().color(QPalette::Active, QPalette::Dark).rgb();
  EXPECT_TRUE(dark);
  a->setEnabled(true);
  // Two buttons with 16 x 16 images share one list; freeing both frees it.
  b->SetGlyph(Strip(1));
  a->GlyphObject().MakeStateGlyph(bsUp);
  b->GlyphObject().MakeStateGlyph(bsUp);
  a->GlyphObject().MakeStateGlyph(bsDisabled);
  ASSERT_NE(GlyphCache(), nullptr);
  EXPECT_EQ(a->GlyphObject().StateList(bsUp), b->GlyphObject().StateList(bsUp));
  EXPECT_EQ(a->GlyphObject().StateList(bsUp)->Count(), 2);
  EXPECT_NE(a->GlyphObject().StateList(bsDisabled), a->GlyphObject().StateList(bsUp));
  delete a;
  delete b;
  EXPECT_EQ(GlyphCache(), nullptr);
  // An image list: its own size; an index outside it draws nothing.
  TImageList images{QSize(16, 16), {Strip(1)}};
  TToolbarButton c(f.Bar);
  c.SetImages(&images);
  c.SetImageIndex(0);
  EXPECT_FALSE(c.GlyphObject().MakeStateGlyph(bsUp).isNull());
  c.SetImageIndex(3);
  EXPECT_TRUE(c.GlyphObject().MakeStateGlyph(bsUp).isNull());
}

TEST(ToolbarButtonTest, GlyphsForDenseScreensAndWithTheirOwnTransparency) {
  TBarForm f(0);
  f.Show();
  auto* b = new TToolbarButton(f.Bar);
  // 32 x 32 pixels for a screen at 200 %: a black square with a light
  // yellow middle on a clear ground. Keyed by the colour of the clear
  // corner, its black would vanish.
  QImage image(32, 32, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  for (int y = 8; y < 24; ++y)
    for (int x = 8; x < 24; ++x)
      image.setPixel(x, y, x >= 12 && x < 20 && y >= 12 && y < 20 ? qRgb(250, 220, 120) : qRgb(0, 0, 0));
  image.setDevicePixelRatio(2);
  b->SetGlyph(QPixmap::fromImage(image));
  EXPECT_EQ(b->NumGlyphs(), 1);
  EXPECT_EQ(b->GlyphObject().GlyphSize(), QSize(16, 16));
  const QPixmap up = b->GlyphObject().MakeStateGlyph(bsUp);
  EXPECT_EQ(up.devicePixelRatio(), 2.0);
  EXPECT_EQ(up.toImage().pixel(9, 16), qRgb(0, 0, 0));
  EXPECT_EQ(qAlpha(up.toImage().pixel(0, 31)), 0);
  // The generated disabled image is one device-independent pixel larger,
  // its highlight copy one such pixel down and right.
  const QPixmap disabled = b->GlyphObject().MakeStateGlyph(bsDisabled);
  EXPECT_EQ(disabled.size(), QSize(34, 34));
  EXPECT_EQ(disabled.deviceIndependentSize(), QSizeF(17, 17));
  const QImage d = disabled.toImage();
  const QRgb dark = b->palette().color(QPalette::Active, QPalette::Dark).rgb();
  const QRgb light = b->palette().color(QPalette::Active, QPalette::Light).rgb();
  EXPECT_EQ(d.pixel(23, 16), dark);
  EXPECT_EQ(d.pixel(24, 16), light);
  EXPECT_EQ(d.pixel(25, 25), light);
  EXPECT_EQ(qAlpha(d.pixel(26, 16)), 0);
  EXPECT_EQ(qAlpha(d.pixel(7, 16)), 0);
  // The light middle fades into the face: the picture keeps its shape.
  EXPECT_EQ(d.pixel(11, 16), dark);
  EXPECT_EQ(qAlpha(d.pixel(16, 16)), 0);
  // On the button it takes the place of a 16 x 16 glyph, centred.
  b->resize(23, 22);
  const QImage shown = b->grab().toImage();
  const qreal r = shown.devicePixelRatio();
  EXPECT_EQ(QColor(shown.pixel(int(7 * r), int(10 * r))), QColor(Qt::black));
  EXPECT_EQ(QColor(shown.pixel(int(10 * r), int(10 * r))), QColor(250, 220, 120));
  EXPECT_NE(QColor(shown.pixel(int(5 * r), int(10 * r))), QColor(Qt::black));
  EXPECT_NE(QColor(shown.pixel(int(16 * r), int(10 * r))), QColor(Qt::black));
}
