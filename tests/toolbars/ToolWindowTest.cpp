// Docks and tool windows on a real X server: rows on the docks, re-parenting
// events, floating, dragging with the mouse, resizing and the close button.
#include <gtest/gtest.h>

#include <QApplication>
#include <QBoxLayout>
#include <QMouseEvent>
#include <QScreen>
#include <QCloseEvent>
#include <QProcess>
#include <QSignalSpy>
#include <QtMath>
#include <cstdio>
#include <QTest>
#include <QtMath>

#include "toolbars/DockPositions.h"
#include "toolbars/DockToolWindow.h"
#include "toolbars/DockHooks.h"
#include "toolbars/DockTestUtil.h"

namespace {

// A tool window of a fixed client size.
class TBox : public TCustomToolWindow {
 public:
  TBox(QWidget* Owner, const QString& Name, int W, int H) : TCustomToolWindow(Owner), FW(W), FH(H) {
    setObjectName(Name);
    SetCaption(Name);
  }
  int GetBaseSize(int) override { return FH; }  // across the dock either way
  void GetMinimumSize(int& Width, int& Height) override { Width = Height = 0; }
  QSize LayoutControls(bool, int Orientation, TDock*) override {
    return Orientation == 2 ? QSize(FH, FW) : QSize(FW, FH);
  }
  int FW, FH;
};

}  // namespace

TEST(ToolWindowTest, HookRegistryCountsAndOrder) {
  static QString calls;
  calls.clear();
  auto a = +[](DockHooks::THookProcKind, QObject*, QEvent*) { calls += 'a'; };
  auto b = +[](DockHooks::THookProcKind, QObject*, QEvent*) { calls += 'b'; };
  const int before = DockHooks::HookUseCount(DockHooks::htGetMessage);
  DockHooks::RegisterHookProcedure(a, DockHooks::Kind(DockHooks::hpPostMouseMove));
  DockHooks::RegisterHookProcedure(b, DockHooks::Kind(DockHooks::hpPostMouseMove));
  DockHooks::RegisterHookProcedure(a, DockHooks::Kind(DockHooks::hpPostMouseMove));
  EXPECT_EQ(DockHooks::HookUseCount(DockHooks::htGetMessage), before + 3);
  EXPECT_TRUE(DockHooks::FilterInstalled());
  QWidget w;
  QMouseEvent move(QEvent::MouseMove, QPointF(1, 1), QPointF(1, 1), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(&w, &move);
  EXPECT_EQ(calls, QStringLiteral("ab"));  // registration order, once per procedure
  DockHooks::UnregisterHookProcedure(a);
  EXPECT_EQ(DockHooks::RegisteredCount(a), 1);
  calls.clear();
  QApplication::sendEvent(&w, &move);
  EXPECT_EQ(calls, QStringLiteral("ab"));
  DockHooks::UnregisterHookProcedure(a);
  DockHooks::UnregisterHookProcedure(b);
  EXPECT_EQ(DockHooks::HookUseCount(DockHooks::htGetMessage), before);
  calls.clear();
  QApplication::sendEvent(&w, &move);
  EXPECT_EQ(calls, QString());
  // Designing installs nothing; unregistering never goes below zero.
  DockHooks::RegisterHookProcedure(a, DockHooks::Kind(DockHooks::hpPreDestroy), true);
  EXPECT_EQ(DockHooks::HookUseCount(DockHooks::htCBT), 0);
  DockHooks::UnregisterHookProcedure(a);
  EXPECT_EQ(DockHooks::HookUseCount(DockHooks::htCBT), 0);
}

TEST(ToolWindowTest, DockRowsThicknessAndFarEdges) {
  TForm4 f;
  f.Show();
  EXPECT_EQ(f.Top->height(), 0);
  f.Bottom->SetFixAlign(true);
  EXPECT_EQ(f.Bottom->height(), 1);
  std::vector<std::pair<bool, QString>> inserts;  // outlives the bars
  TBox a(&f.Form, QStringLiteral("a"), 100, 22), b(&f.Form, QStringLiteral("b"), 120, 22);
  f.Top->OnInsertRemoveBar = [&](TDock*, bool In, TCustomToolWindow* W) { inserts.push_back({In, W->objectName()}); };
  a.SetParent(f.Top);
  b.SetDockRow(1);
  b.SetParent(f.Top);
  EXPECT_TRUE(Eventually([&] { return f.Top->height() == 53; })) << f.Top->height();
  // Handle 9 + frame 2 + 2 around a 100 x 22 client.
  EXPECT_EQ(a.geometry(), QRect(0, 1, 113, 26));
  EXPECT_EQ(b.geometry(), QRect(0, 27, 133, 26));
  EXPECT_EQ(inserts, (std::vector<std::pair<bool, QString>>{{true, "a"}, {true, "b"}}));
  // A bottom dock that grows keeps its bottom edge.
  const int bottomEdge = f.Bottom->geometry().bottom();
  TBox c(&f.Form, QStringLiteral("c"), 60, 30);
  c.SetParent(f.Bottom);
  EXPECT_TRUE(Eventually([&] { return f.Bottom->height() == 34; })) << f.Bottom->height();
  EXPECT_EQ(f.Bottom->geometry().bottom(), bottomEdge);
  // A right dock keeps its right edge; the bar stands up.
  const int rightEdge = f.Right->geometry().right();
  TBox d(&f.Form, QStringLiteral("d"), 60, 22);
  d.SetParent(f.Right);
  EXPECT_TRUE(Eventually([&] { return f.Right->width() == 26; })) << f.Right->width();
  EXPECT_EQ(f.Right->geometry().right(), rightEdge);
  EXPECT_EQ(d.geometry(), QRect(0, 0, 26, 73));
  // Errors with their fixed texts.
  try {
    TDock inner(f.Top, dpTop);
    ADD_FAILURE() << "a dock inside a dock";
  } catch (const EInvalidOperation& e) {
    EXPECT_STREQ(e.what(), "A TDock control cannot be placed inside a tool window or another TDock");
  }
  EXPECT_THROW(f.Top->SetPosition(dpLeft), EInvalidOperation);
  EXPECT_EQ(f.Top->Position(), dpTop);
  // Any control on the dock holds its position, not only a tool window.
  {
    TDock plain(&f.Form, dpBottom);
    QWidget child(&plain);
    EXPECT_THROW(plain.SetPosition(dpLeft), EInvalidOperation);
    EXPECT_EQ(plain.Position(), dpBottom);
  }
  try {
    a.SetParent(f.Centre);
    ADD_FAILURE() << "a tool window inside a plain control";
  } catch (const EInvalidOperation& e) {
    EXPECT_STREQ(e.what(), "A tool window can only be placed on a TDock or directly on the form");
  }
  EXPECT_EQ(a.parentWidget(), f.Top);
  TBox orphan(nullptr, QStringLiteral("orphan"), 10, 10);
  try {
    orphan.SetDockedTo(nullptr);
    ADD_FAILURE() << "floated without a form";
  } catch (const EInvalidOperation& e) {
    EXPECT_STREQ(e.what(), "Control 'orphan' has no parent window");
  }
}

TEST(ToolWindowTest, ReparentingEventsAndFloating) {
  TForm4 f;
  f.Show();
  QStringList events;
  std::vector<bool> inserts;
  TBox a(&f.Form, QStringLiteral("a"), 100, 22);
  a.SetParent(f.Top);
  a.SetDockPos(40);
  a.OnDockChanging = [&](TCustomToolWindow*) { events << "DockChanging"; };
  a.OnDockChangingEx = [&](TCustomToolWindow*, TDock* To) { events << (To ? "ChangingEx:" + To->objectName() : "ChangingEx:-"); };
  a.OnRecreating = [&](TCustomToolWindow*) { events << "Recreating"; };
  a.OnDockChangingHidden = [&](TCustomToolWindow*, TDock* To) { events << (To ? "Hidden:" + To->objectName() : "Hidden:-"); };
  a.OnMove = [&](TCustomToolWindow*) { events << "Move"; };
  a.OnRecreated = [&](TCustomToolWindow*) { events << "Recreated"; };
  a.OnDockChanged = [&](TCustomToolWindow*) { events << "DockChanged"; };
  f.Top->OnInsertRemoveBar = [&](TDock*, bool In, TCustomToolWindow*) { inserts.push_back(In); };

  // DockedTo := nil floats the bar at its floating position; it stays
  // registered with its dock, which reports it gone.
  a.SetFloatingPosition(QPoint(300, 400));
  a.SetDockedTo(nullptr);
  EXPECT_EQ(events, QStringList({"DockChanging", "ChangingEx:-", "Recreating", "Hidden:-", "Move", "Recreated",
                                 "DockChanged"}));
  EXPECT_TRUE(a.Floating());
  EXPECT_EQ(a.FloatParent()->objectName().left(25), QStringLiteral("DockFloatingWindowParent_"));
  EXPECT_EQ(a.FloatParent()->objectName().size(), 33);
  EXPECT_TRUE(Eventually([&] { return a.FloatParent()->isVisible(); }));
  EXPECT_EQ(a.FloatParent()->geometry(), QRect(300, 400, 108, 46));  // border 4, caption 16
  EXPECT_EQ(a.LastDock(), f.Top);
  EXPECT_EQ(f.Top->DockList().size(), 1u);
  EXPECT_TRUE(f.Top->VisibleList().empty());
  EXPECT_EQ(inserts, std::vector<bool>({false}));
  EXPECT_EQ(a.DockPos(), 40);
  EXPECT_EQ(f.Top->height(), 0);

  // Back to its last dock in its old place.
  events.clear();
  a.SetParent(a.LastDock());
  EXPECT_EQ(events, QStringList({"DockChanging", "ChangingEx:dckTop", "Recreating", "Hidden:dckTop", "Move",
                                 "Recreated", "DockChanged"}));
  EXPECT_EQ(inserts, std::vector<bool>({false, true}));
  EXPECT_EQ(a.geometry().left(), 40);

  // Wholly off the screen moves onto the work area; partly on stays.
  a.SetDockedTo(nullptr);
  const QRect work = GetDesktopWorkArea();
  a.SetBounds(QRect(work.right() + 500, 100, a.width(), a.height()));
  a.KeepOnWorkArea(true);
  EXPECT_EQ(a.Bounds().right(), work.right());
  a.SetBounds(QRect(work.right() - 20, 100, a.width(), a.height()));
  a.KeepOnWorkArea(true);
  EXPECT_EQ(a.Bounds().left(), work.right() - 20);
  EXPECT_EQ(a.FloatingPosition(), QPoint(work.right() - 20, 100));

  // Hidden with its minimised form, back when restored.
  EXPECT_TRUE(Eventually([&] { return a.FloatParent()->isVisible(); }));
  f.Form.showMinimized();
  EXPECT_TRUE(Eventually([&] { return !a.FloatParent()->isVisible(); }));
  f.Form.showNormal();
  EXPECT_TRUE(Eventually([&] { return a.FloatParent()->isVisible(); }));
  EXPECT_TRUE(a.Visible());
}

TEST(ToolWindowTest, DragBetweenDockAndScreenWithTheMouse) {
  TForm4 f;
  f.Show();
  QStringList events;
  TBox a(&f.Form, QStringLiteral("a"), 100, 22), b(&f.Form, QStringLiteral("b"), 100, 22);
  a.SetParent(f.Top);
  b.SetDockPos(200);
  b.SetParent(f.Top);
  EXPECT_TRUE(Eventually([&] { return f.Top->height() == 27; })) << f.Top->height();
  a.OnDockChanging = [&](TCustomToolWindow*) { events << "DockChanging"; };
  a.OnDockChangingEx = [&](TCustomToolWindow*, TDock* To) { events << (To ? "Ex:" + To->objectName() : "Ex:-"); };
  a.OnRecreating = [&](TCustomToolWindow*) { events << "Recreating"; };
  a.OnDockChangingHidden = [&](TCustomToolWindow*, TDock*) { events << "Hidden"; };
  a.OnMove = [&](TCustomToolWindow*) { events << "Move"; };
  a.OnRecreated = [&](TCustomToolWindow*) { events << "Recreated"; };
  a.OnDockChanged = [&](TCustomToolWindow* W) { events << (W->Floating() ? "floating" : "docked"); };
  const QStringList toFloat{"DockChanging", "Ex:-", "Recreating", "Hidden", "Move", "Recreated", "floating"};
  const QStringList toTop{"DockChanging", "Ex:dckTop", "Recreating", "Hidden", "Move", "Recreated", "docked"};

  // Grab the handle and pull it into the middle of the form: it floats there.
  const QPoint grab(4, 13);
  QTest::mousePress(&a, Qt::LeftButton, {}, grab);
  EXPECT_TRUE(a.Dragging());
  const QPoint target = f.Form.mapToGlobal(QPoint(400, 300));
  QTest::mouseMove(&a, a.mapFromGlobal(target));
  EXPECT_EQ(a.DragTarget(), nullptr);
  // The floating outline keeps the grab point's proportion of the window;
  // the outline window shows it with the floating frame's thickness.
  const QRect outline = a.DragOutline();
  QWidget* shown = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == QLatin1String("DragOutline") && w->isVisible()) shown = w;
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(shown->geometry(), outline);
  EXPECT_EQ(static_cast<TDragOutline*>(shown)->Thickness(), 4);
  EXPECT_EQ(outline.size(), QSize(108, 46));  // border 4, caption 16
  EXPECT_EQ(outline.topLeft(), target - QPoint(DockLayout::MulDiv(107, 4, 112), DockLayout::MulDiv(45, 13, 25)));
  QTest::mouseRelease(&a, Qt::LeftButton, {}, a.mapFromGlobal(target));
  EXPECT_FALSE(a.Dragging());
  ASSERT_TRUE(a.Floating());
  EXPECT_EQ(a.FloatParent()->pos(), outline.topLeft());
  EXPECT_EQ(a.FloatingPosition(), outline.topLeft());
  EXPECT_EQ(events, toFloat);
  // b moved nowhere, a keeps its row on its last dock.
  EXPECT_EQ(b.DockPos(), 200);

  // Ctrl held: no docking over the dock; releasing Ctrl docks without a move.
  EXPECT_TRUE(Eventually([&] { return a.FloatParent()->isVisible(); }));
  const QPoint captionGrab = a.CaptionRect().center();
  QTest::mousePress(&a, Qt::LeftButton, {}, captionGrab);
  const QPoint overDock = f.Top->mapToGlobal(QPoint(450, 5));
  QTest::keyPress(&a, Qt::Key_Control);
  QTest::mouseMove(&a, a.mapFromGlobal(overDock));
  EXPECT_EQ(a.DragTarget(), nullptr);
  QTest::keyRelease(&a, Qt::Key_Control);
  EXPECT_EQ(a.DragTarget(), f.Top);
  EXPECT_EQ(a.DragOutline().size(), QSize(113, 26));
  QTest::mouseRelease(&a, Qt::LeftButton, {}, a.mapFromGlobal(overDock));
  ASSERT_TRUE(a.Docked());
  EXPECT_EQ(a.DockedTo(), f.Top);
  EXPECT_EQ(a.DockRow(), 0);
  const int expectedPos = f.Top->mapFromGlobal(a.DragOutline().topLeft()).x();
  EXPECT_EQ(a.DockPos(), std::max(expectedPos, 300));
  EXPECT_EQ(events, toFloat + toTop);

  // An OnRequestDock refusal: the bar floats instead.
  f.Top->OnRequestDock = [](TDock*, TCustomToolWindow*, bool& Accept) { Accept = false; };
  QTest::mousePress(&b, Qt::LeftButton, {}, grab);
  QTest::mouseMove(&b, b.mapFromGlobal(f.Top->mapToGlobal(QPoint(300, 10))));
  EXPECT_EQ(b.DragTarget(), nullptr);
  EXPECT_FALSE(b.DragOutline().isEmpty());
  // Esc cancels: nothing moves.
  QTest::keyPress(&b, Qt::Key_Escape);
  EXPECT_FALSE(b.Dragging());
  EXPECT_TRUE(b.Docked());
  f.Top->OnRequestDock = nullptr;

  // Dropped 3 px above the bottom of the top dock's only row: a new row 1.
  QTest::mousePress(&b, Qt::LeftButton, {}, grab);
  const QPoint below = f.Top->mapToGlobal(QPoint(20, 1 + 26 - 3));
  QTest::mouseMove(&b, b.mapFromGlobal(below));
  EXPECT_EQ(b.DragTarget(), f.Top);
  QTest::mouseRelease(&b, Qt::LeftButton, {}, b.mapFromGlobal(below));
  EXPECT_EQ(b.DockRow(), 1);
  EXPECT_EQ(a.DockRow(), 0);
  EXPECT_TRUE(Eventually([&] { return f.Top->height() == 53; })) << f.Top->height();

  // Cannot float: released away from every dock it stays; the "no" cursor shows.
  b.DockMode = dmCannotFloat;
  QTest::mousePress(&b, Qt::LeftButton, {}, grab);
  QTest::mouseMove(&b, b.mapFromGlobal(f.Form.mapToGlobal(QPoint(400, 300))));
  EXPECT_TRUE(b.DragOutline().isEmpty());
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::ForbiddenCursor);
  QTest::mouseRelease(&b, Qt::LeftButton, {}, b.mapFromGlobal(f.Form.mapToGlobal(QPoint(400, 300))));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_TRUE(b.Docked());
  EXPECT_EQ(b.DockRow(), 1);

  // The left dock, empty and 0 wide, still takes a drop; not a bar that may
  // only dock at the top.
  b.DockMode = dmCanFloat;
  ASSERT_EQ(f.Left->width(), 0);
  b.DockableTo = 1u << dpTop;
  QTest::mousePress(&b, Qt::LeftButton, {}, grab);
  const QPoint left = f.Left->mapToGlobal(QPoint(0, 200));
  QTest::mouseMove(&b, b.mapFromGlobal(left));
  EXPECT_EQ(b.DragTarget(), nullptr);
  QTest::keyPress(&b, Qt::Key_Escape);
  b.DockableTo = AllDockPositions;
  QTest::mousePress(&b, Qt::LeftButton, {}, grab);
  QTest::mouseMove(&b, b.mapFromGlobal(left));
  EXPECT_EQ(b.DragTarget(), f.Left);
  QTest::mouseRelease(&b, Qt::LeftButton, {}, b.mapFromGlobal(left));
  EXPECT_EQ(b.DockedTo(), f.Left);
  EXPECT_TRUE(Eventually([&] { return f.Left->width() == 26; })) << f.Left->width();
  EXPECT_EQ(b.size(), QSize(26, 113));

  // Double-click floats a docked bar, and a floating one goes back to its last dock.
  QTest::mouseDClick(&b, Qt::LeftButton, {}, QPoint(13, 4));
  EXPECT_TRUE(b.Floating());
  QTest::mouseDClick(&b, Qt::LeftButton, {}, b.CaptionRect().center());
  EXPECT_EQ(b.DockedTo(), f.Left);
}

TEST(ToolWindowTest, DoubleClickWithoutDocksAndFullSizeDrop) {
  TForm4 f;
  f.Show();
  TBox a(&f.Form, QStringLiteral("a"), 100, 22), full(&f.Form, QStringLiteral("full"), 100, 22);
  // Floating with no last and no default dock: a double click does nothing.
  a.SetUseLastDock(false);
  a.SetFloatingPosition(QPoint(300, 300));
  a.SetParent(&f.Form);
  QTest::mouseDClick(&a, Qt::LeftButton, {}, a.CaptionRect().center());
  EXPECT_TRUE(a.Floating());
  // With a default dock it goes to row 0 at its start.
  a.SetDefaultDock(f.Top);
  QTest::mouseDClick(&a, Qt::LeftButton, {}, a.CaptionRect().center());
  EXPECT_EQ(a.DockedTo(), f.Top);
  EXPECT_EQ(a.DockPos(), 0);
  // A full-size bar dropped into the occupied row lands in a row below.
  full.SetFullSize(true);
  full.SetFloatingPosition(QPoint(300, 400));
  full.SetParent(&f.Form);
  EXPECT_TRUE(Eventually([&] { return full.FloatParent()->isVisible(); }));
  const QPoint grab = full.CaptionRect().center();
  QTest::mousePress(&full, Qt::LeftButton, {}, grab);
  const QPoint onRow = f.Top->mapToGlobal(QPoint(400, 14));
  QTest::mouseMove(&full, full.mapFromGlobal(onRow));
  EXPECT_EQ(full.DragTarget(), f.Top);
  QTest::mouseRelease(&full, Qt::LeftButton, {}, full.mapFromGlobal(onRow));
  EXPECT_EQ(full.DockedTo(), f.Top);
  EXPECT_EQ(full.DockRow(), 1);
  EXPECT_EQ(a.DockRow(), 0);
  EXPECT_EQ(full.geometry(), QRect(0, 27, f.Top->width(), 26));
}

TEST(ToolWindowTest, FloatingResizeAndCloseButton) {
  TForm4 f;
  f.Show();
  QStringList events;
  bool allow = true;
  int visibleChanges = 0;
  TBox a(&f.Form, QStringLiteral("a"), 100, 22);
  a.SetFloatingPosition(QPoint(300, 300));
  a.SetParent(&f.Form);
  EXPECT_TRUE(Eventually([&] { return a.FloatParent()->isVisible(); }));
  // Edges only: the corner pixel of the top edge is the top edge.
  EXPECT_EQ(a.HitTest(QPoint(0, 0)), htTop);
  EXPECT_EQ(a.HitTest(QPoint(0, a.height() - 1)), htBottom);
  EXPECT_EQ(a.HitTest(QPoint(0, 25)), htLeft);
  EXPECT_EQ(a.HitTest(QPoint(a.width() - 1, 25)), htRight);
  EXPECT_EQ(a.HitTest(QPoint(30, 8)), htCaption);
  EXPECT_EQ(a.HitTest(a.CloseButtonRect().center()), htClose);
  // Pull the right edge 40 px out.
  const QRect before = a.Bounds();
  QTest::mousePress(&a, Qt::LeftButton, {}, QPoint(a.width() - 1, 25));
  EXPECT_TRUE(a.Resizing());
  QTest::mouseMove(&a, QPoint(a.width() - 1 + 40, 25));
  QTest::mouseRelease(&a, Qt::LeftButton, {}, QPoint(a.width() - 1 + 40, 25));
  EXPECT_EQ(a.Bounds(), before.adjusted(0, 0, 40, 0));
  // The left edge cannot pass the minimum (the frame alone).
  QTest::mousePress(&a, Qt::LeftButton, {}, QPoint(0, 25));
  QTest::mouseMove(&a, QPoint(1000, 25));
  QTest::mouseRelease(&a, Qt::LeftButton, {}, QPoint(1000, 25));
  EXPECT_EQ(a.Bounds().width(), 8);
  EXPECT_EQ(a.Bounds().right(), before.right() + 40);
  a.SetBounds(before);

  a.OnCloseQuery = [&](TCustomToolWindow*, bool& CanClose) {
    events << "CloseQuery";
    CanClose = allow;
  };
  a.OnClose = [&](TCustomToolWindow*) { events << "Close"; };
  const QPoint close = a.CloseButtonRect().center();
  // Released outside the button: kept.
  QTest::mousePress(&a, Qt::LeftButton, {}, close);
  EXPECT_TRUE(a.ClosePressed());
  QTest::mouseMove(&a, close + QPoint(-40, 0));
  EXPECT_FALSE(a.ClosePressed());
  QTest::mouseRelease(&a, Qt::LeftButton, {}, close + QPoint(-40, 0));
  EXPECT_TRUE(a.Visible());
  EXPECT_TRUE(events.isEmpty());
  // Refused by OnCloseQuery: kept.
  allow = false;
  QTest::mouseClick(&a, Qt::LeftButton, {}, close);
  EXPECT_TRUE(a.Visible());
  EXPECT_EQ(events, QStringList({"CloseQuery"}));
  // Allowed: hidden, then OnClose.
  allow = true;
  a.OnVisibleChanged = [&](TCustomToolWindow*) { ++visibleChanges; };
  QTest::mouseClick(&a, Qt::LeftButton, {}, close);
  EXPECT_FALSE(a.Visible());
  EXPECT_EQ(events, QStringList({"CloseQuery", "CloseQuery", "Close"}));
  EXPECT_EQ(visibleChanges, 1);
  EXPECT_TRUE(Eventually([&] { return !a.FloatParent()->isVisible(); }));
}

// Run by ApplicationDeactivation as a second program that takes the focus.
TEST(ToolWindowTest, DISABLED_HoldTheFocusForAnotherTest) {
  QWidget other;
  other.setWindowTitle(QStringLiteral("Another program"));
  other.setGeometry(1300, 800, 200, 100);
  other.show();
  other.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  std::printf("ready\n");
  std::fflush(stdout);
  QTest::qWait(30000);  // until the other test ends this process
}

TEST(ToolWindowTest, ApplicationDeactivationHostKeysAndActivation) {
  TForm4 f;
  f.Show();
  TBox hides(&f.Form, QStringLiteral("hides"), 100, 22), stays(&f.Form, QStringLiteral("stays"), 100, 22);
  hides.SetFloatingPosition(QPoint(300, 500));
  hides.SetParent(&f.Form);
  stays.SetHideWhenInactive(false);
  stays.SetFloatingPosition(QPoint(500, 500));
  stays.SetParent(&f.Form);
  ASSERT_TRUE(Eventually([&] { return hides.FloatParent()->isVisible() && stays.FloatParent()->isVisible(); }));
  EXPECT_FALSE(stays.InactiveCaption());

  // Another program takes the focus: one hides, the other shows an inactive caption.
  QProcess other;
  other.start(QCoreApplication::applicationFilePath(),
              {QStringLiteral("--gtest_also_run_disabled_tests"),
               QStringLiteral("--gtest_filter=ToolWindowTest.DISABLED_HoldTheFocusForAnotherTest")});
  QByteArray out;
  ASSERT_TRUE(QTest::qWaitFor([&] {
    out += other.readAllStandardOutput();
    return out.contains("ready");
  }, 20000)) << out.constData();
  EXPECT_TRUE(Eventually([] { return QGuiApplication::applicationState() != Qt::ApplicationActive; }));
  EXPECT_TRUE(Eventually([&] { return !hides.FloatParent()->isVisible(); }));
  EXPECT_TRUE(stays.FloatParent()->isVisible());
  EXPECT_TRUE(stays.InactiveCaption());
  EXPECT_TRUE(hides.Visible());
  other.kill();
  other.waitForFinished();
  // Back in the program: shown again. (A pointer move first gives the
  // program a fresh server time for its focus request.)
  QCursor::setPos(f.Form.mapToGlobal(QPoint(400, 300)));
  QTest::qWait(50);
  f.Form.activateWindow();
  EXPECT_TRUE(Eventually([&] { return hides.FloatParent()->isVisible(); }));
  EXPECT_FALSE(stays.InactiveCaption());

  // Activating a floating host hands the activation back to the form.
  hides.FloatParent()->activateWindow();
  EXPECT_TRUE(Eventually([&] { return f.Form.isActiveWindow(); }));
  // Without ActivateParent it keeps it; Esc gives the focus back to the form.
  hides.ActivateParent = false;
  hides.FloatParent()->activateWindow();
  ASSERT_TRUE(Eventually([&] { return hides.FloatParent()->isActiveWindow(); }));
  QTest::keyClick(hides.FloatParent(), Qt::Key_Escape);
  EXPECT_TRUE(Eventually([&] { return f.Form.isActiveWindow(); }));
  // Alt+F4 on a floating window closes the frame form.
  QCloseEvent close;
  QCoreApplication::sendEvent(hides.FloatParent(), &close);
  EXPECT_FALSE(close.isAccepted());
  EXPECT_TRUE(Eventually([&] { return !f.Form.isVisible(); }));
}

TEST(ToolWindowTest, DockedCloseButtonAndBackgroundTiling) {
  TForm4 f;
  f.Show();
  TBox a(&f.Form, QStringLiteral("a"), 100, 22), b(&f.Form, QStringLiteral("b"), 60, 22);
  a.SetCloseButtonWhenDocked(true);
  a.SetParent(f.Top);
  EXPECT_EQ(a.size(), QSize(100 + 14 + 4, 26));
  EXPECT_EQ(a.CloseButtonRect(), QRect(3, 2, 11, 11));
  b.SetParent(f.Left);
  // A 3 x 2 pattern: every pixel its own colour; the bottom-left one is the
  // transparent colour.
  QImage tile(3, 2, QImage::Format_RGB32);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) tile.setPixel(x, y, qRgb(40 * x + 20, 100 * y + 30, 90));
  const QPixmap pm = QPixmap::fromImage(tile);
  f.Top->SetBackground(pm);
  f.Left->SetBackground(pm);
  // The tiles line up with the form's origin, across docks and the bars on them.
  auto check = [&](QWidget* W, QPoint P, bool Transparent) {
    const QImage shot = f.Form.grab().toImage();
    const QPoint at = W->mapTo(&f.Form, P);
    QRgb expected = tile.pixel(at.x() % 3, at.y() % 2);
    if (Transparent && expected == tile.pixel(0, 1)) expected = f.Top->Color().rgb();
    // The grab holds device pixels: at 200 % a point is 2 x 2 of them.
    const qreal scale = shot.devicePixelRatio();
    EXPECT_EQ(shot.pixel(qFloor(at.x() * scale), qFloor(at.y() * scale)), expected)
        << W->objectName().toStdString() << " " << P.x() << "," << P.y();
  };
  for (QPoint p : {QPoint(200, 5), QPoint(201, 6), QPoint(202, 7), QPoint(300, 10)}) check(f.Top, p, false);
  for (QPoint p : {QPoint(30, 8), QPoint(31, 9), QPoint(60, 12)}) check(&a, p, false);
  for (QPoint p : {QPoint(5, 200), QPoint(6, 201), QPoint(7, 250)}) check(f.Left, p, false);
  f.Top->SetBackgroundTransparent(true);
  for (int x = 200; x < 206; ++x) check(f.Top, QPoint(x, 5), true);
  // The docked close button hides the bar and empties the row.
  QTest::mouseClick(&a, Qt::LeftButton, {}, a.CloseButtonRect().center());
  EXPECT_FALSE(a.Visible());
  EXPECT_TRUE(Eventually([&] { return f.Top->height() == 0; })) << f.Top->height();
}
