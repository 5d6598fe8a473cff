// The main window's three toolbars on a real X server: their places on the
// top dock, their buttons as assistive tools see and press them, the View
// menu, the stored positions and a screenshot with one toolbar floating.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMdiArea>
#include <QScreen>
#include <QSettings>
#include <QtMath>
#include <chrono>

#include "app/Child.h"
#include "app/Main.h"
#include "platform/Registry.h"
#include "toolbars/DockButtons.h"
#include "toolbars/DockTestUtil.h"
#include "toolbars/DockToolbar.h"

namespace {

const QString KeyA = QString::fromLatin1(ApplicationKey);

struct TMainRun {
  std::unique_ptr<TMainForm> Form;
  TMainRun() {
    Form = std::make_unique<TMainForm>();
    MainForm = Form.get();
    Form->setGeometry(40, 40, 1200, 800);
    Form->show();
    Form->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
    EXPECT_TRUE(Eventually([] { return QGuiApplication::applicationState() == Qt::ApplicationActive; }));
  }
  ~TMainRun() {
    Form.reset();
    MainForm = nullptr;
  }
};

std::vector<TToolbarButton*> ButtonsOf(TToolbar* Bar) {
  std::vector<TToolbarButton*> out;
  for (QWidget* w : Bar->OrderList())
    if (auto* b = qobject_cast<TToolbarButton*>(w)) out.push_back(b);
  return out;
}

// The layout as a pattern: action names and "|" for separators.
QStringList Pattern(TToolbar* Bar) {
  QStringList out;
  for (QWidget* w : Bar->OrderList()) {
    if (auto* b = qobject_cast<TToolbarButton*>(w)) out << b->Action()->objectName();
    else out << QStringLiteral("|");
  }
  return out;
}

void Hover(QWidget* W, QPoint P) {
  QCursor::setPos(W->mapToGlobal(P));
  QTest::mouseMove(W, P);
}

QString ReadValue(const QString& Key, const QString& Name) {
  TRegistry reg;
  if (!reg.OpenKey(Key, false) || !reg.ValueExists(Name)) return QStringLiteral("<missing>");
  if (reg.GetDataType(Name) != TRegDataType::rdString) return QStringLiteral("<not a string>");
  return reg.ReadString(Name);
}

}  // namespace

TEST(MainToolbarsTest, ThreeToolbarsOnTheTopDock) {
  TMainRun run;
  TMainForm& f = *run.Form;
  struct {
    TToolbar* Bar;
    const char* Name;
    const char* Caption;
    int Row;
  } bars[] = {{f.tbrMain, "tbrMain", "Standard", 0},
              {f.tbrProcessing, "tbrProcessing", "Processing", 1},
              {f.tbrStatistics, "tbrStatistics", "Statistics", 0}};
  for (const auto& b : bars) {
    SCOPED_TRACE(b.Name);
    EXPECT_EQ(b.Bar->objectName(), QString::fromLatin1(b.Name));
    EXPECT_EQ(b.Bar->Caption(), QString::fromLatin1(b.Caption));
    EXPECT_EQ(b.Bar->accessibleName(), QString::fromLatin1(b.Caption));
    EXPECT_EQ(b.Bar->DockedTo(), f.dckTop);
    EXPECT_EQ(b.Bar->DragHandleStyle(), dhSingle);
    EXPECT_EQ(b.Bar->DockRow(), b.Row);
    EXPECT_TRUE(b.Bar->isVisible());
    for (TToolbarButton* button : ButtonsOf(b.Bar)) {
      EXPECT_EQ(button->size(), QSize(23, 22));
      EXPECT_EQ(button->DisplayMode, dmGlyphOnly);
      EXPECT_FALSE(button->accessibleName().isEmpty());
      EXPECT_FALSE(button->GlyphObject().Glyph().isNull());
    }
  }
  // Two rows of 22-high buttons under a top line.
  EXPECT_EQ(f.dckTop->height(), 53);
  EXPECT_EQ(f.tbrMain->geometry().topLeft(), QPoint(0, 1));
  EXPECT_EQ(f.tbrProcessing->geometry().topLeft(), QPoint(0, 27));
  // Statistics at 343 on row 0, after Standard when that is longer.
  EXPECT_EQ(f.tbrStatistics->DockPos(), std::max(343, f.tbrMain->width()));
  EXPECT_EQ(f.tbrStatistics->geometry().topLeft(), QPoint(f.tbrStatistics->DockPos(), 1));
  EXPECT_EQ(f.dckLeft->width(), 0);
  EXPECT_EQ(f.dckRight->width(), 0);
  EXPECT_EQ(Pattern(f.tbrStatistics),
            QStringList({"StatisticsAreaStats", "StatisticsImageHisto", "StatisticsAreaHisto", "StatisticsImageStats",
                         "|", "StatisticsLinePlot", "StatisticsRadialPplot", "|", "Statistics3DVisu", "|",
                         "PhotometryCalcMag", "PhotometryMultiImage", "PhotometryAddApature", "PhotometryCalcAbsMag",
                         "PhotometrySetRef", "StatisticsContour"}));
  EXPECT_EQ(Pattern(f.tbrMain).mid(0, 5), QStringList({"FileOpen", "FileSaveAs", "|", "FilePrint", "|"}));
  EXPECT_EQ(Pattern(f.tbrProcessing).count(QStringLiteral("|")), 8);
  // A button whose action is hidden leaves its toolbar, which closes up.
  const int mainWidth = f.tbrMain->width();
  f.Action(QStringLiteral("FileOpen"))->setVisible(false);
  EXPECT_FALSE(ButtonsOf(f.tbrMain).front()->isVisible());
  EXPECT_TRUE(Eventually([&] { return f.tbrMain->width() == mainWidth - 23; })) << f.tbrMain->width();
  EXPECT_EQ(ButtonsOf(f.tbrMain)[1]->x(), 8);
  f.Action(QStringLiteral("FileOpen"))->setVisible(true);
  EXPECT_TRUE(Eventually([&] { return f.tbrMain->width() == mainWidth; })) << f.tbrMain->width();
  // The document area lies between the left and right docks, under the top one.
  EXPECT_EQ(f.MDIArea()->geometry().top(), f.dckTop->geometry().bottom() + 1);
}

TEST(MainToolbarsTest, EachButtonRunsItsActionAndShowsItsHint) {
  TMainRun run;
  TMainForm& f = *run.Form;
  f.EnableImageActions(true);
  int buttons = 0;
  for (TToolbar* bar : {f.tbrMain, f.tbrProcessing, f.tbrStatistics}) {
    for (TToolbarButton* b : ButtonsOf(bar)) {
      QAction* a = b->Action();
      ASSERT_NE(a, nullptr);
      SCOPED_TRACE(a->objectName().toStdString());
      // Only count here: the commands themselves are tested elsewhere.
      QObject::disconnect(a, &QAction::triggered, nullptr, nullptr);
      int runs = 0;
      QObject::connect(a, &QAction::triggered, [&runs] { ++runs; });
      Hover(b, QPoint(11, 11));
      const QString hint = a->statusTip();
      const QString longHint = hint.mid(hint.indexOf(QLatin1Char('|')) + 1);
      // The pointer's own moves reach the program too: wait until they are in.
      EXPECT_TRUE(Eventually([&] { return f.PanelText(0) == longHint; })) << f.PanelText(0).toStdString();
      EXPECT_EQ(b->toolTip(), hint.left(hint.indexOf(QLatin1Char('|'))));
      QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(11, 11));
      EXPECT_EQ(runs, 1);
      ++buttons;
    }
  }
  EXPECT_EQ(buttons, 13 + 22 + 13);
  // A disabled action disables its button.
  f.EnableImageActions(false);
  TToolbarButton* off = ButtonsOf(f.tbrProcessing).front();
  EXPECT_FALSE(off->isEnabled());
  EXPECT_TRUE(ButtonsOf(f.tbrMain).front()->isEnabled());
  // Its hint still shows while the pointer is on it, and goes when it leaves.
  Hover(off, QPoint(11, 11));
  const QString hint = off->Action()->statusTip();
  EXPECT_TRUE(Eventually([&] { return f.PanelText(0) == hint.mid(hint.indexOf(QLatin1Char('|')) + 1); }))
      << f.PanelText(0).toStdString();
  Hover(f.tbrProcessing, QPoint(2, 2));
  EXPECT_TRUE(Eventually([&] { return f.PanelText(0).isEmpty(); })) << f.PanelText(0).toStdString();
}

TEST(MainToolbarsTest, DraggedWrappedHiddenAndRestoredAtTheNextStart) {
  {
    TRegistry reg;
    reg.DeleteKey(QStringLiteral("\\") + KeyA);
    ASSERT_TRUE(reg.OpenKey(KeyA, true));  // as the recent-files list makes it
  }
  QPoint floatAt;
  QSize floatSize;
  int floatRightX = 0;
  {
    TMainRun run;
    TMainForm& f = *run.Form;
    TToolbar* bar = f.tbrProcessing;
    // Pull Processing by its handle into the document area.
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(4, 13));
    const QPoint target = f.MDIArea()->mapToGlobal(QPoint(300, 300));
    QTest::mouseMove(bar, bar->mapFromGlobal(target));
    QTest::mouseRelease(bar, Qt::LeftButton, {}, bar->mapFromGlobal(target));
    ASSERT_TRUE(bar->Floating());
    EXPECT_EQ(f.tbrMain->DockRow(), 0);
    EXPECT_TRUE(Eventually([&] { return f.dckTop->height() == 27; })) << f.dckTop->height();
    // Narrow it by its right edge: it wraps.
    EXPECT_TRUE(Eventually([&] { return bar->FloatParent()->isVisible(); }));
    const int oneLine = bar->height();
    const QPoint edge(bar->width() - 1, bar->height() / 2);
    QTest::mousePress(bar, Qt::LeftButton, {}, edge);
    QTest::mouseMove(bar, edge - QPoint(bar->width() / 2, 0));
    QTest::mouseRelease(bar, Qt::LeftButton, {}, edge - QPoint(bar->width() / 2, 0));
    EXPECT_GT(bar->FloatRightX(), 0);
    EXPECT_GT(bar->height(), oneLine);
    EXPECT_LE(bar->width(), edge.x() - bar->width() / 2 + 1 + 12);
    // Statistics hidden through the View menu.
    f.Action(QStringLiteral("ViewStatisticsToolbar"))->trigger();
    EXPECT_FALSE(f.tbrStatistics->Visible());
    EXPECT_FALSE(f.Action(QStringLiteral("ViewStatisticsToolbar"))->isChecked());
    floatAt = bar->FloatingPosition();
    floatSize = bar->size();
    floatRightX = bar->FloatRightX();
    f.SaveSettings();
  }
  // What was written: one subkey per toolbar, strings throughout.
  const QString toolbars = KeyA + QStringLiteral("\\Toolbars");
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(toolbars, false));
    QStringList keys = reg.GetKeyNames();
    keys.sort();
    EXPECT_EQ(keys, QStringList({"tbrMain", "tbrProcessing", "tbrStatistics"}));
  }
  struct {
    const char* Bar;
    const char* Name;
    QString Value;
  } values[] = {
      {"tbrMain", "Rev", "3"},
      {"tbrMain", "Visible", "1"},
      {"tbrMain", "DockedTo", "dckTop"},
      {"tbrMain", "LastDock", "dckTop"},
      {"tbrMain", "DockRow", "0"},
      {"tbrMain", "DockPos", "0"},
      {"tbrMain", "FloatRightX", "0"},
      {"tbrProcessing", "DockedTo", "+"},
      {"tbrProcessing", "LastDock", "dckTop"},
      {"tbrProcessing", "DockRow", "1"},
      {"tbrProcessing", "FloatLeft", QString::number(floatAt.x())},
      {"tbrProcessing", "FloatTop", QString::number(floatAt.y())},
      {"tbrProcessing", "FloatRightX", QString::number(floatRightX)},
      {"tbrStatistics", "Visible", "0"},
      {"tbrStatistics", "DockedTo", "dckTop"},
  };
  for (const auto& v : values)
    EXPECT_EQ(ReadValue(toolbars + QStringLiteral("\\") + QString::fromLatin1(v.Bar), QString::fromLatin1(v.Name)),
              v.Value)
        << v.Bar << " " << v.Name;

  // The next start puts everything back.
  TMainRun run;
  TMainForm& f = *run.Form;
  f.LoadSettings();
  TToolbar* bar = f.tbrProcessing;
  ASSERT_TRUE(bar->Floating());
  EXPECT_EQ(bar->FloatingPosition(), floatAt);
  EXPECT_EQ(bar->FloatParent()->pos(), floatAt);
  EXPECT_EQ(bar->FloatRightX(), floatRightX);
  EXPECT_EQ(bar->size(), floatSize);
  EXPECT_EQ(bar->LastDock(), f.dckTop);
  EXPECT_EQ(bar->DockRow(), 1);
  EXPECT_FALSE(f.tbrStatistics->Visible());
  EXPECT_FALSE(f.Action(QStringLiteral("ViewStatisticsToolbar"))->isChecked());
  EXPECT_TRUE(f.Action(QStringLiteral("ViewProcessingToolbar"))->isChecked());
  EXPECT_EQ(f.tbrMain->DockedTo(), f.dckTop);
  EXPECT_EQ(f.dckTop->height(), 27);
  // Shown again from the View menu, back in its place.
  f.Action(QStringLiteral("ViewStatisticsToolbar"))->trigger();
  EXPECT_TRUE(f.tbrStatistics->Visible());
  EXPECT_TRUE(f.Action(QStringLiteral("ViewStatisticsToolbar"))->isChecked());
  EXPECT_EQ(f.tbrStatistics->geometry().top(), 1);
  // Its close button hides it and clears the check mark.
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->CloseButtonRect().center());
  EXPECT_FALSE(bar->Visible());
  EXPECT_FALSE(f.Action(QStringLiteral("ViewProcessingToolbar"))->isChecked());
  TRegistry().DeleteKey(QStringLiteral("\\") + KeyA);
}

TEST(MainToolbarsTest, StoredPositionsFromOutside) {
  const QString key = QStringLiteral("Software\\Quorvath\\Tests\\Toolbars");
  struct TCase {
    const char* Name;
    std::vector<std::pair<const char*, const char*>> Values;  // of "tbrA"; none: no subkey
    bool Visible;
    const char* Dock;  // "+" floating
    int Row;
    int Pos;           // -2: not checked
    const char* LastDock;
    int FloatRightX;
  };
  const TCase cases[] = {
      {"an empty key changes nothing", {}, true, "dckTop", 0, 0, "dckTop", 0},
      {"Rev 1 is ignored", {{"Rev", "1"}, {"Visible", "0"}, {"DockedTo", "+"}}, true, "dckTop", 0, 0, "dckTop", 0},
      {"Rev 2 floats without LastDock",
       {{"Rev", "2"}, {"DockedTo", "+"}, {"FloatLeft", "300"}, {"FloatTop", "350"}, {"LastDock", "dckLeft"}},
       true, "+", 0, -2, "dckTop", 0},
      {"Rev 3 reads LastDock",
       {{"Rev", "3"}, {"DockedTo", "+"}, {"FloatLeft", "300"}, {"FloatTop", "350"}, {"LastDock", "dckLeft"},
        {"FloatRightX", "31"}},
       true, "+", 0, -2, "dckLeft", 31},
      {"hidden stays hidden", {{"Rev", "3"}, {"Visible", "0"}, {"DockedTo", "dckTop"}}, false, "dckTop", 0, 0, "dckTop", 0},
      {"an unknown dock restores visibility only",
       {{"Rev", "3"}, {"Visible", "0"}, {"DockedTo", "dckNowhere"}, {"DockRow", "1"}}, false, "dckTop", 0, 0, "dckTop", 0},
      {"dock names are case-sensitive", {{"Rev", "3"}, {"DockedTo", "DCKLEFT"}}, true, "dckTop", 0, 0, "dckTop", 0},
      {"the same dock, another position", {{"Rev", "3"}, {"DockedTo", "dckTop"}, {"DockPos", "40"}}, true, "dckTop", 0,
       40, "dckTop", 0},
      {"another dock, row and position",
       {{"Rev", "3"}, {"DockedTo", "dckLeft"}, {"DockRow", "0"}, {"DockPos", "40"}}, true, "dckLeft", 0, 40, "dckLeft", 0},
      {"absurd numbers are brought into range",
       {{"Rev", "3"}, {"DockedTo", "dckLeft"}, {"DockRow", "2000000000"}, {"DockPos", "99999999"},
        {"FloatRightX", "-5"}},
       true, "dckLeft", 0, 32767, "dckLeft", 0},
      {"text that is no number reads as the default", {{"Rev", "3"}, {"DockedTo", "dckLeft"}, {"DockRow", "two"}},
       true, "dckLeft", 0, -2, "dckLeft", 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TRegistry().DeleteKey(QStringLiteral("\\") + key);
    if (!c.Values.empty()) {
      TRegistry reg;
      ASSERT_TRUE(reg.OpenKey(key + QStringLiteral("\\tbrA"), true));
      for (const auto& [name, value] : c.Values) reg.WriteString(QString::fromLatin1(name), QString::fromLatin1(value));
    }
    TForm4 f;
    f.Show();
    TToolbar bar(&f.Form);
    bar.setObjectName(QStringLiteral("tbrA"));
    for (int i = 0; i < 3; ++i) (new TToolbarButton(&bar))->move(i, 0);
    bar.Loaded();
    bar.SetParent(f.Top);
    const auto t0 = std::chrono::steady_clock::now();
    LoadToolbarPositionsFromRegistry(&f.Form, key);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
    EXPECT_EQ(bar.Visible(), c.Visible);
    if (QLatin1String(c.Dock) == QLatin1String("+")) {
      EXPECT_TRUE(bar.Floating());
      EXPECT_EQ(bar.FloatingPosition(), QPoint(300, 350));
    } else {
      ASSERT_TRUE(bar.Docked());
      EXPECT_EQ(bar.DockedTo()->objectName(), QString::fromLatin1(c.Dock));
    }
    EXPECT_EQ(bar.DockRow(), c.Row);
    if (c.Pos != -2) {
      EXPECT_EQ(bar.DockPos(), c.Pos);
      // And the bar stands there (one that lies beyond the end is pushed back).
      const int at = bar.DockedTo()->Vertical() ? bar.y() : bar.x();
      if (c.Pos < 1000) {
        EXPECT_EQ(at, c.Pos);
      }
    }
    ASSERT_NE(bar.LastDock(), nullptr);
    EXPECT_EQ(bar.LastDock()->objectName(), QString::fromLatin1(c.LastDock));
    EXPECT_EQ(bar.FloatRightX(), c.FloatRightX);
  }
  // A floating position off every screen comes back onto the work area.
  {
    TRegistry().DeleteKey(QStringLiteral("\\") + key);
    TRegistry reg;
    reg.OpenKey(key + QStringLiteral("\\tbrA"), true);
    reg.WriteString(QStringLiteral("Rev"), QStringLiteral("3"));
    reg.WriteString(QStringLiteral("DockedTo"), QStringLiteral("+"));
    reg.WriteString(QStringLiteral("FloatLeft"), QStringLiteral("30000"));
    reg.WriteString(QStringLiteral("FloatTop"), QStringLiteral("-30000"));
    TForm4 f;
    f.Show();
    TToolbar bar(&f.Form);
    bar.setObjectName(QStringLiteral("tbrA"));
    bar.SetParent(f.Top);
    LoadToolbarPositionsFromRegistry(&f.Form, key);
    ASSERT_TRUE(bar.Floating());
    EXPECT_TRUE(GetMonitorWorkArea(bar.Bounds()).contains(bar.Bounds()));
  }
  // Names are required, of the window and of its dock.
  {
    TForm4 f;
    TToolbar bar(&f.Form);
    bar.SetParent(f.Top);
    try {
      SaveToolbarPositionsToRegistry(&f.Form, key);
      ADD_FAILURE();
    } catch (const EDockError& e) {
      EXPECT_STREQ(e.what(), "Cannot save tool window's position because Name property is not set");
    }
    EXPECT_THROW(LoadToolbarPositionsFromRegistry(&f.Form, key), EDockError);
    bar.setObjectName(QStringLiteral("tbrA"));
    f.Top->setObjectName(QString());
    try {
      SaveToolbarPositionsToRegistry(&f.Form, key);
      ADD_FAILURE();
    } catch (const EDockError& e) {
      EXPECT_STREQ(e.what(), "Cannot save tool window's position because DockedTo's Name property not set");
    }
    // A dock that cannot be dragged from is not named.
    f.Top->setObjectName(QStringLiteral("dckTop"));
    f.Top->SetAllowDrag(false);
    SaveToolbarPositionsToRegistry(&f.Form, key);
    EXPECT_EQ(ReadValue(key + QStringLiteral("\\tbrA"), QStringLiteral("DockedTo")), QString());
  }
  TRegistry().DeleteKey(QStringLiteral("\\Software\\Quorvath\\Tests"));
}

TEST(MainToolbarsTest, AMalformedStoredNumberCostsOnlyItself) {
  const QString key = QStringLiteral("Software\\Quorvath\\Tests\\Toolbars");
  TRegistry().DeleteKey(QStringLiteral("\\") + key);
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(key + QStringLiteral("\\tbrB"), true));
    for (auto [name, value] : {std::pair{"Rev", "3"}, {"Visible", "0"}, {"DockedTo", "+"}, {"FloatLeft", "300"},
                               {"FloatTop", "350"}})
      reg.WriteString(QString::fromLatin1(name), QString::fromLatin1(value));
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("\\") + key + QStringLiteral("\\tbrA"), true));
    for (auto [name, value] : {std::pair{"Rev", "3"}, {"DockedTo", "dckLeft"}, {"DockPos", "40"}})
      reg.WriteString(QString::fromLatin1(name), QString::fromLatin1(value));
  }
  {
    // Numbers of the integer kind that no integer reads from, as a damaged file holds them.
    QSettings raw(TRegistry::StorageFile(), QSettings::IniFormat);
    raw.setValue(QStringLiteral("HKEY_CURRENT_USER/Software/Quorvath/Tests/Toolbars/tbrA/DockRow"), "dword:zz");
    raw.setValue(QStringLiteral("HKEY_CURRENT_USER/Software/Quorvath/Tests/Toolbars/tbrB/FloatRightX"),
                 "dword:99999999999");
  }
  TForm4 f;
  f.Show();
  TToolbar a(&f.Form), b(&f.Form);
  a.setObjectName(QStringLiteral("tbrA"));
  b.setObjectName(QStringLiteral("tbrB"));
  for (TToolbar* bar : {&a, &b}) {
    for (int i = 0; i < 3; ++i) (new TToolbarButton(bar))->move(i, 0);
    bar->Loaded();
    bar->SetParent(f.Top);
  }
  EXPECT_NO_THROW(LoadToolbarPositionsFromRegistry(&f.Form, key));
  ASSERT_TRUE(a.Docked());
  EXPECT_EQ(a.DockedTo()->objectName(), QStringLiteral("dckLeft"));
  EXPECT_EQ(a.DockPos(), 40);
  EXPECT_EQ(a.DockRow(), 0);
  EXPECT_FALSE(b.Visible());
  EXPECT_TRUE(b.Floating());
  EXPECT_EQ(b.FloatingPosition(), QPoint(300, 350));
  EXPECT_EQ(b.FloatRightX(), 0);
  TRegistry().DeleteKey(QStringLiteral("\\Software\\Quorvath\\Tests"));
}

TEST(MainToolbarsTest, ScreenWithToolbarsDockedAndOneFloating) {
  TMainRun run;
  TMainForm& f = *run.Form;
  f.tbrStatistics->SetFloatingPosition(QPoint(700, 420));
  f.tbrStatistics->SetDockedTo(nullptr);
  f.tbrStatistics->SetFloatRightX(160);
  ASSERT_TRUE(Eventually([&] { return f.tbrStatistics->FloatParent()->isVisible(); }));
  // Every command available, as with an image open; then none but the
  // always-available ones, with their generated disabled glyphs.
  f.EnableImageActions(true);
  QTest::qWait(200);  // let the X server paint
  const QImage screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
  f.EnableImageActions(false);
  QTest::qWait(200);
  if (const char* dir = std::getenv("CORVELLE_SCREENSHOT_DIR")) {
    screen.save(QDir(QString::fromLocal8Bit(dir)).filePath(QStringLiteral("toolbars.png")));
    QGuiApplication::primaryScreen()->grabWindow(0).toImage().save(
        QDir(QString::fromLocal8Bit(dir)).filePath(QStringLiteral("toolbars-disabled.png")));
  }
  // The grab holds the screen's device pixels: at 200 % a point is 2 x 2 of them.
  const qreal scale = qreal(screen.width()) / QGuiApplication::primaryScreen()->geometry().width();
  const auto device = [scale](QPoint Point) { return QPoint(qFloor(Point.x() * scale), qFloor(Point.y() * scale)); };
  // The floating caption shows in the highlight colour.
  const QRect host = f.tbrStatistics->FloatParent()->geometry();
  const QPoint caption = host.topLeft() + f.tbrStatistics->CaptionRect().topLeft() + QPoint(1, 1);
  EXPECT_EQ(QColor(screen.pixel(device(caption))).rgb(),
            f.tbrStatistics->palette().color(QPalette::Active, QPalette::Highlight).rgb());
  // Docked glyphs are drawn: a button shows more than its face colour.
  TToolbarButton* open = ButtonsOf(f.tbrMain).front();
  const QRect r(device(open->mapToGlobal(QPoint(0, 0))), device(open->mapToGlobal(QPoint(open->width(), open->height()))));
  QSet<QRgb> colours;
  for (int y = r.top(); y < r.bottom(); ++y)
    for (int x = r.left(); x < r.right(); ++x) colours.insert(screen.pixel(x, y));
  EXPECT_GT(colours.size(), 3);
  // The floating toolbar wrapped into more than one line.
  EXPECT_FALSE(f.tbrStatistics->WrapLines().empty());
}

namespace {
// The long part of a hint: what the status bar shows.
QString LongHint(const QString& Hint) { return Hint.mid(Hint.indexOf(QLatin1Char('|')) + 1); }

// A menu caption as a screen reader should say it: no access key marks, no
// ellipsis.
QString Spoken(QString Caption) {
  Caption.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
  Caption.remove(QLatin1Char('&'));
  Caption.replace(QStringLiteral("\x01"), QStringLiteral("&"));
  if (Caption.endsWith(QLatin1String("..."))) Caption.chop(3);
  return Caption;
}

QAccessibleInterface* ChildNamed(QAccessibleInterface* Parent, const QString& Name) {
  for (int i = 0; i < Parent->childCount(); ++i)
    if (QAccessibleInterface* c = Parent->child(i); c && c->text(QAccessible::Name) == Name) return c;
  return nullptr;
}
}  // namespace

TEST(MainToolbarsTest, AssistiveToolsSeeNamePressAndStateOfEveryButton) {
  TMainRun run;
  TMainForm& f = *run.Form;
  // Without an image most commands are off: their buttons say so.
  f.EnableImageActions(false);
  const QString differential = QStringLiteral("Calculate Magnitudes (Differential)");
  const QString absolute = QStringLiteral("Calculate Magnitudes (Absolute)");
  QSet<QString> names;
  int buttons = 0, disabled = 0;
  for (TToolbar* bar : {f.tbrMain, f.tbrProcessing, f.tbrStatistics}) {
    QAccessibleInterface* barFace = QAccessible::queryAccessibleInterface(bar);
    ASSERT_NE(barFace, nullptr);
    EXPECT_EQ(barFace->role(), QAccessible::ToolBar);
    EXPECT_EQ(barFace->text(QAccessible::Name), bar->Caption());
    for (TToolbarButton* b : ButtonsOf(bar)) {
      QAction* a = b->Action();
      SCOPED_TRACE(a->objectName().toStdString());
      QAccessibleInterface* face = QAccessible::queryAccessibleInterface(b);
      ASSERT_NE(face, nullptr);
      EXPECT_EQ(face->role(), QAccessible::PushButton);
      EXPECT_EQ(face->parent()->object(), bar);
      EXPECT_GE(barFace->indexOfChild(face), 0);
      const QString name = face->text(QAccessible::Name);
      if (a->objectName() == QLatin1String("PhotometryCalcMag")) {
        EXPECT_EQ(name, differential);
      } else if (a->objectName() == QLatin1String("PhotometryCalcAbsMag")) {
        EXPECT_EQ(name, absolute);
      } else {
        EXPECT_EQ(name, Spoken(a->text()));
      }
      EXPECT_FALSE(names.contains(name)) << name.toStdString();
      names.insert(name);
      EXPECT_EQ(face->text(QAccessible::Description), LongHint(a->statusTip()));
      EXPECT_FALSE(face->text(QAccessible::Description).isEmpty());
      EXPECT_EQ(face->rect(), QRect(b->mapToGlobal(QPoint(0, 0)), b->size()));
      QAccessibleActionInterface* actions = face->actionInterface();
      ASSERT_NE(actions, nullptr);
      EXPECT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
      EXPECT_EQ(face->state().disabled, !b->isEnabled());
      EXPECT_FALSE(face->state().pressed);
      disabled += b->isEnabled() ? 0 : 1;
      ++buttons;
    }
  }
  EXPECT_EQ(buttons, 48);
  EXPECT_EQ(names.size(), 48);
  EXPECT_GT(disabled, 30);
  // The two photometry commands keep their menu caption; hovering tells them
  // apart too.
  EXPECT_EQ(f.Action(QStringLiteral("PhotometryCalcMag"))->text(), QStringLiteral("&Calculate Magnitudes..."));
  EXPECT_NE(LongHint(f.Action(QStringLiteral("PhotometryCalcMag"))->statusTip()),
            LongHint(f.Action(QStringLiteral("PhotometryCalcAbsMag"))->statusTip()));

  // Press runs the command, later from the event loop (a command may open a
  // modal dialog while the assistive tool waits for the call to return); a
  // disabled button does nothing.
  f.EnableImageActions(true);
  TToolbarButton* rotate = ButtonsOf(f.tbrProcessing).front();
  TToolbarButton* open = ButtonsOf(f.tbrMain).front();
  for (TToolbarButton* b : {rotate, open}) {
    QAction* a = b->Action();
    QObject::disconnect(a, &QAction::triggered, nullptr, nullptr);
  }
  int rotations = 0, opens = 0;
  QObject::connect(rotate->Action(), &QAction::triggered, [&] { ++rotations; });
  QObject::connect(open->Action(), &QAction::triggered, [&] { ++opens; });
  QAccessibleInterface* rotateFace = QAccessible::queryAccessibleInterface(rotate);
  EXPECT_FALSE(rotateFace->state().disabled);
  rotateFace->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  EXPECT_EQ(rotations, 0);
  EXPECT_TRUE(Eventually([&] { return rotations == 1; }));
  EXPECT_EQ(opens, 0);
  f.EnableImageActions(false);
  EXPECT_TRUE(rotateFace->state().disabled);
  rotateFace->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  QAccessibleInterface* openFace = QAccessible::queryAccessibleInterface(open);
  openFace->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  EXPECT_TRUE(Eventually([&] { return opens == 1; }));
  QTest::qWait(50);
  EXPECT_EQ(rotations, 1);

  // Held down by the mouse it reads as pressed; released, it is not.
  Hover(open, QPoint(11, 11));
  QTest::mousePress(open, Qt::LeftButton, {}, QPoint(11, 11));
  EXPECT_TRUE(openFace->state().pressed);
  QTest::mouseRelease(open, Qt::LeftButton, {}, QPoint(11, 11));
  EXPECT_FALSE(openFace->state().pressed);
  EXPECT_EQ(opens, 2);
}

TEST(MainToolbarsTest, TogglingButtonsAreCheckBoxes) {
  TForm4 f;
  f.Show();
  TToolbar bar(&f.Form);
  bar.setObjectName(QStringLiteral("tbrA"));
  TToolbarButton* left = new TToolbarButton(&bar);
  TToolbarButton* right = new TToolbarButton(&bar);
  left->SetCaption(QStringLiteral("&Left"));
  right->SetCaption(QStringLiteral("&Right..."));
  right->SetHint(QStringLiteral("Right|Aligns to the right"));
  left->move(0, 0);
  right->move(1, 0);
  for (TToolbarButton* b : {left, right}) b->SetGroupIndex(1);
  bar.Loaded();
  bar.SetParent(f.Top);
  QAccessibleInterface* leftFace = QAccessible::queryAccessibleInterface(left);
  QAccessibleInterface* rightFace = QAccessible::queryAccessibleInterface(right);
  EXPECT_EQ(leftFace->role(), QAccessible::CheckBox);
  EXPECT_EQ(leftFace->text(QAccessible::Name), QStringLiteral("Left"));
  EXPECT_EQ(rightFace->text(QAccessible::Name), QStringLiteral("Right"));
  EXPECT_EQ(rightFace->text(QAccessible::Description), QStringLiteral("Aligns to the right"));
  EXPECT_TRUE(leftFace->state().checkable);
  EXPECT_TRUE(rightFace->actionInterface()->actionNames().contains(QAccessibleActionInterface::toggleAction()));
  EXPECT_TRUE(rightFace->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
  // Toggling one releases the other, as a click does.
  leftFace->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
  EXPECT_TRUE(Eventually([&] { return left->Down(); }));
  EXPECT_TRUE(leftFace->state().checked);
  EXPECT_FALSE(leftFace->state().pressed);
  rightFace->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  EXPECT_TRUE(Eventually([&] { return right->Down(); }));
  EXPECT_FALSE(left->Down());
  EXPECT_FALSE(leftFace->state().checked);
  EXPECT_TRUE(rightFace->state().checked);
  // Separators are separators, not unnamed controls.
  auto* sep = new TToolbarSep(&bar);
  EXPECT_EQ(QAccessible::queryAccessibleInterface(sep)->role(), QAccessible::Separator);
}

TEST(MainToolbarsTest, AssistiveToolsPressTheCaptionCloseButton) {
  TMainRun run;
  TMainForm& f = *run.Form;
  TToolbar* bar = f.tbrStatistics;
  QAccessibleInterface* barFace = QAccessible::queryAccessibleInterface(bar);
  // Docked, the toolbar shows no close button.
  EXPECT_EQ(ChildNamed(barFace, QStringLiteral("Close")), nullptr);
  const int docked = barFace->childCount();
  bar->SetFloatingPosition(QPoint(700, 420));
  bar->SetDockedTo(nullptr);
  ASSERT_TRUE(Eventually([&] { return bar->FloatParent()->isVisible(); }));
  EXPECT_EQ(barFace->childCount(), docked + 1);
  QAccessibleInterface* close = ChildNamed(barFace, QStringLiteral("Close"));
  ASSERT_NE(close, nullptr);
  EXPECT_EQ(barFace->indexOfChild(close), docked);
  EXPECT_EQ(close->parent(), barFace);
  EXPECT_EQ(close->role(), QAccessible::PushButton);
  EXPECT_EQ(close->text(QAccessible::Description), QStringLiteral("Hides the Statistics toolbar"));
  const QRect r = bar->CloseButtonRect();
  EXPECT_EQ(close->rect(), QRect(bar->mapToGlobal(r.topLeft()), r.size()));
  EXPECT_EQ(barFace->childAt(close->rect().center().x(), close->rect().center().y()), close);
  ASSERT_NE(close->actionInterface(), nullptr);
  EXPECT_EQ(close->actionInterface()->actionNames(), QStringList{QAccessibleActionInterface::pressAction()});
  EXPECT_FALSE(close->state().invisible);
  // Held by the mouse it reads as pressed; let go outside it, nothing closes.
  QTest::mousePress(bar, Qt::LeftButton, {}, r.center());
  EXPECT_TRUE(close->state().pressed);
  QTest::mouseMove(bar, r.center() + QPoint(0, 30));
  EXPECT_FALSE(close->state().pressed);
  QTest::mouseRelease(bar, Qt::LeftButton, {}, r.center() + QPoint(0, 30));
  EXPECT_TRUE(bar->Visible());
  // Pressed by the assistive tool: hidden, and the View menu follows.
  close->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  EXPECT_TRUE(Eventually([&] { return !bar->Visible(); }));
  EXPECT_FALSE(f.Action(QStringLiteral("ViewStatisticsToolbar"))->isChecked());
}
