#include <QAction>
#include <QKeySequence>
#include <QMap>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <grp.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>

#include "AppTestUtil.h"
#include "support/RunAgain.h"
#include "formats/ByteSource.h"
#include "platform/FileDialog.h"
#include "platform/Registry.h"

namespace {
void SendMouse(QWidget* W, QEvent::Type Type, QPoint P, Qt::MouseButton Button, Qt::MouseButtons Buttons,
               Qt::KeyboardModifiers Mods = Qt::NoModifier) {
  QMouseEvent e(Type, QPointF(P), W->mapToGlobal(QPointF(P)), Button, Buttons, Mods);
  QApplication::sendEvent(W, &e);
}

void FlushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
}  // namespace

using ChildForm = AppTest;

TEST(ChildFormCoordinates, TruncatesHundredOverZoomTimesC) {
  EXPECT_EQ(TChildForm::ScreenToImage(37, 100.0f), 37);
  EXPECT_EQ(TChildForm::ScreenToImage(12, 100.0f), 12);
  EXPECT_EQ(TChildForm::ScreenToImage(37, 300.0f), 12);
  EXPECT_EQ(TChildForm::ScreenToImage(12, 300.0f), 4);
  EXPECT_EQ(TChildForm::ScreenToImage(3, 300.0f), 1);
  EXPECT_EQ(TChildForm::ScreenToImage(300, 300.0f), 100);
  const int at700[][2] = {{7, 1}, {14, 2}, {21, 3}, {49, 7}, {70, 10}, {700, 100}};
  for (auto [c, v] : at700) EXPECT_EQ(TChildForm::ScreenToImage(c, 700.0f), v) << c;
  const int at33[][2] = {{33, 100}, {66, 200}, {99, 300}, {1, 3}, {10, 30}};
  for (auto [c, v] : at33) EXPECT_EQ(TChildForm::ScreenToImage(c, 33.0f), v) << c;
}

TEST_F(ChildForm, StartsUntitledModifiedAndActive) {
  auto* child = new TChildForm;
  EXPECT_EQ(child->Caption(), QStringLiteral("Untitled"));
  EXPECT_TRUE(child->Modified);
  EXPECT_TRUE(child->HistogramDirty);
  EXPECT_EQ(child->CompMagnitude, -99.0);
  EXPECT_EQ(Form->ActiveMDIChild(), child);
  EXPECT_EQ(child->ImageOverlay->parentWidget(), child->ImageDisplay);
  // Image commands are on once a window exists.
  EXPECT_TRUE(Form->Action(QStringLiteral("EditDuplicate"))->isEnabled());
}

TEST_F(ChildForm, SelectionIsOrderedClampedAndEmptyForAClick) {
  TChildForm* child = GreyWindow(100, 50, 1, [](int x, int y) { return float(x + y); });
  auto* roi = child->ImageOverlay->ROI;
  int l, t, r, b;
  roi[0] = 80, roi[1] = 40, roi[2] = 10, roi[3] = 5;
  EXPECT_TRUE(child->GetSelection(l, t, r, b));
  EXPECT_EQ(QRect(QPoint(l, t), QPoint(r, b)), QRect(QPoint(10, 5), QPoint(80, 40)));
  roi[0] = 20, roi[1] = 10, roi[2] = 150, roi[3] = 70;
  EXPECT_TRUE(child->GetSelection(l, t, r, b));
  EXPECT_EQ(r, 99);
  EXPECT_EQ(b, 49);
  roi[0] = roi[2] = 30, roi[1] = roi[3] = 20;
  EXPECT_FALSE(child->GetSelection(l, t, r, b));

  child->SetZoom(300.0f);
  roi[0] = 37, roi[1] = 12, roi[2] = 3, roi[3] = 300;
  EXPECT_TRUE(child->GetSelection(l, t, r, b));
  EXPECT_EQ(l, 1);
  EXPECT_EQ(t, 4);
  EXPECT_EQ(r, 12);
  EXPECT_EQ(b, 49);
  // What the measuring routines see.
  const IMeasureSource& source = *child;
  EXPECT_EQ(&source.Image(), child->DataImage.get());
  child->ImageOverlay->AddAperture(5.0f, 6.0f, 8, 13, 18);
  ASSERT_EQ(source.ApertureCount(), 1);
  EXPECT_EQ(source.Aperture(0).Rin, 13);
}

TEST_F(ChildForm, PixelReadOutInPanelsTwoAndThree) {
  TChildForm* grey = GreyWindow(10, 8, 3, [](int x, int y) { return x == 3 && y == 2 ? 1234.5678f : 2.5f; });
  grey->SetZoom(200.0f);
  SendMouse(grey->ImageOverlay, QEvent::MouseMove, QPoint(7, 5), Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(Form->PanelText(2), QStringLiteral("X:3, Y:2"));
  EXPECT_EQ(Form->PanelText(3), QStringLiteral("I:1234.568"));
  SendMouse(grey->ImageOverlay, QEvent::MouseMove, QPoint(0, 0), Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(Form->PanelText(3), QStringLiteral("I:2.500"));
  EXPECT_EQ(Form->PanelText(1), QStringLiteral("10 x 8"));

  TChildForm* colour = ColourWindow(6, 4, [](int x, int y) {
    return TRGBPixel{std::uint8_t(30 + x), std::uint8_t(20 + y), 10};
  });
  EXPECT_EQ(Form->PanelText(1), QStringLiteral("6 x 4"));
  SendMouse(colour->ImageOverlay, QEvent::MouseMove, QPoint(5, 3), Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(Form->PanelText(2), QStringLiteral("X:5, Y:3"));
  EXPECT_EQ(Form->PanelText(3), QStringLiteral("R:10 G:23 B:35"));
  // Beyond the picture the read-out stays on the last pixel.
  colour->ImageOverlay->resize(40, 40);
  SendMouse(colour->ImageOverlay, QEvent::MouseMove, QPoint(30, 30), Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(Form->PanelText(2), QStringLiteral("X:5, Y:3"));

  // The main window's own client area clears panels 2 and 3.
  SendMouse(Form->MDIArea()->viewport(), QEvent::MouseMove, QPoint(900, 700), Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(Form->PanelText(2), QString());
  EXPECT_EQ(Form->PanelText(3), QString());

  // Activating a window shows its size.
  Form->MDIArea()->setActiveSubWindow(grey);
  EXPECT_EQ(Form->PanelText(1), QStringLiteral("10 x 8"));
}

TEST_F(ChildForm, ShiftClickAddsAMarkerAndStartsARegion) {
  TChildForm* child = GreyWindow(100, 50, 1, [](int, int) { return 1.0f; });
  child->SetZoom(300.0f);
  QTest::mouseClick(child->ImageOverlay, Qt::LeftButton, Qt::ShiftModifier, QPoint(37, 12));
  ASSERT_EQ(child->ImageOverlay->Markers().size(), 1u);
  EXPECT_EQ(child->ImageOverlay->Markers()[0].X, 12.0f);
  EXPECT_EQ(child->ImageOverlay->Markers()[0].Y, 4.0f);
  EXPECT_EQ(child->ImageOverlay->ROIRect(), QRect(QPoint(37, 12), QPoint(37, 12)));
  QTest::mouseClick(child->ImageOverlay, Qt::LeftButton, Qt::NoModifier, QPoint(60, 60));
  EXPECT_EQ(child->ImageOverlay->Markers().size(), 1u);
  // Ctrl-click on a flat image finds no star: no marker, none at (0, 0).
  QTest::mouseClick(child->ImageOverlay, Qt::LeftButton, Qt::ControlModifier, QPoint(60, 60));
  EXPECT_EQ(child->ImageOverlay->Markers().size(), 1u);
}

TEST_F(ChildForm, TheWindowFollowsTheZoomBothWays) {
  TChildForm* child = GreyWindow(200, 150, 1, [](int x, int) { return float(x); });
  EXPECT_EQ(child->ScrollBox->size(), QSize(200, 150));
  child->SetZoom(200.0f);
  EXPECT_EQ(child->ScrollBox->size(), QSize(400, 300));
  EXPECT_EQ(child->ImageDisplay->size(), QSize(400, 300));
  // Out and in again: the window grows back with the picture.
  child->SetZoom(50.0f);
  EXPECT_EQ(child->ScrollBox->size(), QSize(100, 75));
  child->SetZoom(200.0f);
  EXPECT_EQ(child->ScrollBox->size(), QSize(400, 300));
  // Never past the frame: a picture larger than the area is scrolled.
  child->SetZoom(1600.0f);
  const QSize area = Form->MDIArea()->viewport()->size();
  EXPECT_LE(child->width(), area.width());
  EXPECT_LE(child->height(), area.height());
  child->SetZoom(50.0f);
  EXPECT_EQ(child->ScrollBox->size(), QSize(100, 75));
  child->SetZoom(100.0f);  // exactly 100 refits too
  EXPECT_EQ(child->ScrollBox->size(), QSize(200, 150));
  EXPECT_EQ(child->ImageOverlay->size(), QSize(200, 150));
  EXPECT_EQ(child->ImageOverlay->Zoom, 100.0f);

  // Too big for the frame: moved to the corner and cut to the available area.
  TChildForm* big = GreyWindow(3000, 200, 1, [](int x, int) { return float(x); });
  const QSize available = Form->MDIArea()->viewport()->size() - QSize(4, 4);
  EXPECT_EQ(big->pos(), QPoint(0, 0));
  EXPECT_EQ(big->width(), available.width());
}

TEST_F(ChildForm, EachPhotometrySettingThatCannotBeUsedTakesItsOwnDefault) {
  // A settings file of this test's own: test programs run side by side.
  QTemporaryDir settings;
  ASSERT_TRUE(settings.isValid());
  TRegistry::SetStorageFile(settings.filePath(QStringLiteral("registry.ini")));
  struct Restore {
    ~Restore() { TRegistry::SetStorageFile(QString()); }
  } restore;
  const auto store = [](const std::function<void(TRegistry&)>& Spoil) {
    TRegistry reg;
    reg.DeleteKey(QLatin1Char('\\') + QString::fromLatin1(ApplicationKey));
    ASSERT_TRUE(reg.OpenKey(QString::fromLatin1(ApplicationKey), true));
    reg.WriteInteger(QStringLiteral("Aperture"), 5);
    reg.WriteInteger(QStringLiteral("Annulus Inner"), 7);
    reg.WriteInteger(QStringLiteral("Annulus Outer"), 9);
    reg.WriteFloat(QStringLiteral("Zero Point"), 21.5);
    reg.WriteFloat(QStringLiteral("Intergration Time"), 30.0);
    Spoil(reg);
  };
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  const struct {
    const char* What;
    std::function<void(TRegistry&)> Spoil;
    int Aperture, Inner, Outer;
    double ZeroPoint, Time;
  } cases[] = {
      {"all usable", [](TRegistry&) {}, 5, 7, 9, 21.5, 30.0},
      {"time missing", [](TRegistry& r) { r.DeleteValue(QStringLiteral("Intergration Time")); }, 5, 7, 9, 21.5, 60.0},
      {"zero point NaN", [&](TRegistry& r) { r.WriteFloat(QStringLiteral("Zero Point"), nan); }, 5, 7, 9, 20.0, 30.0},
      {"time infinite", [&](TRegistry& r) { r.WriteFloat(QStringLiteral("Intergration Time"), inf); }, 5, 7, 9, 21.5,
       60.0},
      {"inner of another kind", [](TRegistry& r) { r.WriteString(QStringLiteral("Annulus Inner"), QStringLiteral("7")); },
       5, 13, 9, 21.5, 30.0},
      {"aperture beyond 255", [](TRegistry& r) { r.WriteInteger(QStringLiteral("Aperture"), 100000); }, 8, 7, 9, 21.5,
       30.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    store(c.Spoil);
    auto* child = new TChildForm;
    EXPECT_EQ(child->ApertureRadius, c.Aperture);
    EXPECT_EQ(child->AnnulusInner, c.Inner);
    EXPECT_EQ(child->AnnulusOuter, c.Outer);
    EXPECT_EQ(child->ZeroPoint, c.ZeroPoint);
    EXPECT_EQ(child->IntegrationTime, c.Time);
  }
}

TEST_F(ChildForm, ClosePromptAnswers) {
  QTemporaryDir dir;
  Form->SavePrompt = 1;
  QString dialogName;
  bool dialogAnswer = false;
  int dialogRuns = 0;
  auto previous = TFileDialog::SetHook([&](TFileDialog& d) {
    ++dialogRuns;
    d.FileName = dialogName;
    d.Files = QStringList{dialogName};
    return dialogAnswer;
  });

  QPointer<TChildForm> child = GreyWindow(20, 10, 1, [](int x, int) { return float(x); }, QStringLiteral("M42"));
  const QString prompt = QStringLiteral("Do you want to save the changes you made to \"M42\"?");

  Answers = {mrCancel};
  EXPECT_FALSE(child->close());
  FlushDeletes();
  ASSERT_FALSE(child.isNull());
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0].Text, prompt);
  EXPECT_EQ(Boxes[0].Buttons, unsigned(mbYesNoCancel));
  EXPECT_TRUE(Form->Action(QStringLiteral("FileSaveAs"))->isEnabled());

  // Yes, then the save dialog cancelled: the window stays with its image.
  Answers = {mrYes};
  dialogAnswer = false;
  EXPECT_FALSE(child->close());
  FlushDeletes();
  ASSERT_FALSE(child.isNull());
  EXPECT_EQ(dialogRuns, 1);

  // Yes, and a save that refuses (no such folder): still open.
  Answers = {mrYes};
  dialogAnswer = true;
  dialogName = dir.path() + QStringLiteral("/missing/m42.fts");
  EXPECT_FALSE(child->close());
  EXPECT_EQ(Boxes.back().Text, QStringLiteral("An error occured saving this file.\nNo such file or directory"));
  FlushDeletes();
  ASSERT_FALSE(child.isNull());
  EXPECT_FALSE(QFile::exists(dialogName));

  // Yes, and a save whose file is in place but whose folder cannot be synced:
  // not yet safe to close over, in every format.
  {
    const auto previousSync = TSafeFileWriter::SetSyncCall([](int Fd) {
      struct stat st {};
      if (::fstat(Fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        errno = EIO;
        return -1;
      }
      return ::fsync(Fd);
    });
    for (const char* name : {"m42.fts", "m42.kvx", "m42.bmp", "m42.jpg", "m42.tif"}) {
      SCOPED_TRACE(name);
      Answers = {mrYes};
      dialogName = dir.path() + QLatin1Char('/') + QLatin1String(name);
      Boxes.clear();
      EXPECT_FALSE(child->close());
      FlushDeletes();
      ASSERT_FALSE(child.isNull());
      EXPECT_TRUE(QFile::exists(dialogName));
      ASSERT_EQ(Boxes.size(), 2u);
      EXPECT_EQ(Boxes[1].Text, QString::fromLatin1(msgFolderNotSynced) + QLatin1Char('\n') +
                                   QString::fromLocal8Bit(std::strerror(EIO)));
      QFile::remove(dialogName);
    }
    TSafeFileWriter::SetSyncCall(previousSync);
  }

  // Yes with a file written: the window closes, the file is there.
  Answers = {mrYes};
  dialogName = dir.path() + QStringLiteral("/m42.fts");
  EXPECT_TRUE(child->close());
  FlushDeletes();
  EXPECT_TRUE(child.isNull());
  EXPECT_TRUE(QFile::exists(dialogName));
  // The last window gone: panel 1 cleared, only the 24 always-available actions on.
  EXPECT_EQ(Form->PanelText(1), QString());
  int enabled = 0;
  for (QAction* a : Form->ActionList()) enabled += a->isEnabled();
  EXPECT_EQ(enabled, 24);
  EXPECT_FALSE(Form->Action(QStringLiteral("FileSaveAs"))->isEnabled());
  EXPECT_TRUE(Form->Action(QStringLiteral("EditPaste"))->isEnabled());

  // No closes without saving; an unmodified window or the prompt off asks nothing.
  QPointer<TChildForm> second = GreyWindow(4, 4, 1, [](int, int) { return 0.0f; });
  Answers = {mrNo};
  const std::size_t before = Boxes.size();
  EXPECT_TRUE(second->close());
  FlushDeletes();
  EXPECT_TRUE(second.isNull());
  EXPECT_EQ(Boxes.size(), before + 1);
  QPointer<TChildForm> third = GreyWindow(4, 4, 1, [](int, int) { return 0.0f; });
  third->Modified = false;
  EXPECT_TRUE(third->close());
  QPointer<TChildForm> fourth = GreyWindow(4, 4, 1, [](int, int) { return 0.0f; });
  Form->SavePrompt = 0;
  EXPECT_TRUE(fourth->close());
  FlushDeletes();
  EXPECT_EQ(Boxes.size(), before + 1);
  EXPECT_EQ(WindowCount(), 0);
  TFileDialog::SetHook(previous);
}

TEST_F(ChildForm, ExitAsksAboutEveryModifiedWindowAndCancelStops) {
  Form->SavePrompt = 1;
  QPointer<TChildForm> a = GreyWindow(4, 4, 1, [](int, int) { return 0.0f; }, QStringLiteral("A"));
  QPointer<TChildForm> plain = GreyWindow(4, 4, 1, [](int, int) { return 0.0f; }, QStringLiteral("Plain"));
  plain->Modified = false;
  QPointer<TChildForm> b = GreyWindow(4, 4, 1, [](int, int) { return 0.0f; }, QStringLiteral("B"));
  Form->MDIArea()->setActiveSubWindow(a);
  // Cancel at the second prompt closes nothing, not even the unmodified window.
  Answers = {mrNo, mrCancel};
  EXPECT_FALSE(Form->CloseAllImageWindows());
  FlushDeletes();
  ASSERT_EQ(Boxes.size(), 2u);
  // The newest first, whichever was active.
  EXPECT_TRUE(Boxes[0].Text.contains(QStringLiteral("\"B\"")));
  EXPECT_TRUE(Boxes[1].Text.contains(QStringLiteral("\"A\"")));
  EXPECT_FALSE(a.isNull());
  EXPECT_FALSE(b.isNull());
  EXPECT_FALSE(plain.isNull());
  // File > Exit takes the close button's road: one prompt per modified
  // window, then every window goes.
  Answers = {mrNo, mrNo};
  Form->show();
  Form->Action(QStringLiteral("FileExit"))->trigger();
  FlushDeletes();
  EXPECT_EQ(Boxes.size(), 4u);
  EXPECT_TRUE(a.isNull());
  EXPECT_TRUE(b.isNull());
  EXPECT_TRUE(plain.isNull());
  EXPECT_FALSE(Form->isVisible());
}

TEST_F(ChildForm, QuickZoomSquareClampsTheCentre) {
  TChildForm* child = ColourWindow(300, 200, [](int x, int y) {
    return TRGBPixel{std::uint8_t(y), std::uint8_t(x & 255), 0};
  });
  EXPECT_EQ(TChildForm::QuickZoomSide(100.0f), 128);
  EXPECT_EQ(TChildForm::QuickZoomSide(200.0f), 64);
  EXPECT_EQ(TChildForm::QuickZoomSide(1600.0f), 8);
  // Side 64 at the corner: centre clamped to (32, 32), square (0, 0)-(63, 63) onto 127 pixels.
  const QImage square = child->QuickZoomSquare(3, 3, 64);
  ASSERT_EQ(square.size(), QSize(127, 127));
  EXPECT_EQ(square.pixelColor(0, 0), QColor(0, 0, 0));
  EXPECT_EQ(square.pixelColor(126, 0).green(), 63);
  EXPECT_EQ(square.pixelColor(0, 126).blue(), 63);
  // Wider than the display: the low clamp first, then the high one; outside is black.
  TChildForm* narrow = ColourWindow(20, 20, [](int, int) { return TRGBPixel{255, 255, 255}; });
  const QImage n = narrow->QuickZoomSquare(10, 10, 64);
  EXPECT_EQ(n.pixelColor(0, 0), QColor(Qt::black));
  EXPECT_EQ(n.pixelColor(126, 126), QColor(Qt::white));
}

TEST_F(ChildForm, HistogramCacheIsFilledOnceAtTheFirstRedraw) {
  TChildForm* grey = GreyWindow(8, 4, 1, [](int x, int) { return float(x * 10); });
  EXPECT_FALSE(grey->HistogramDirty);
  long total = 0;
  for (int c : grey->GreyHistogram.Counts) total += c;
  EXPECT_EQ(total, 32);
  EXPECT_EQ(grey->GreyHistogram.Max, 70.0f);
  // Later changes leave the cache as it was.
  grey->DataImage->SetPixel(0, 0, 500.0f);
  grey->UpdateImage();
  EXPECT_EQ(grey->GreyHistogram.Max, 70.0f);

  TChildForm* colour = ColourWindow(3, 2, [](int x, int) { return TRGBPixel{0, 0, std::uint8_t(x * 100)}; });
  EXPECT_EQ(colour->ColourHistogram.Red[200], 2);
  EXPECT_EQ(colour->ColourHistogram.Blue[0], 6);
}

namespace {
struct FakeQuickZoom : TQuickZoomTarget {
  bool IsShowing() const override { return true; }
  float ZoomLevel() const override { return 400.0f; }
  void ShowSquare(const QImage& Square) override { Shown = Square; }
  QImage Shown;
};
}  // namespace

TEST_F(ChildForm, MouseMoveFeedsTheQuickZoomWindow) {
  TChildForm* colour = ColourWindow(100, 80, [](int x, int y) { return TRGBPixel{std::uint8_t(y), std::uint8_t(x), 0}; });
  FakeQuickZoom zoom;
  QuickZoomTarget = &zoom;
  SendMouse(colour->ImageOverlay, QEvent::MouseMove, QPoint(50, 40), Qt::NoButton, Qt::NoButton);
  QuickZoomTarget = nullptr;
  // 400 %: a square of 32 display pixels around (50, 40), columns 34..65.
  ASSERT_EQ(zoom.Shown.size(), QSize(127, 127));
  EXPECT_EQ(zoom.Shown.pixelColor(0, 0), QColor(0, 34, 24));
  EXPECT_EQ(zoom.Shown.pixelColor(126, 126), QColor(0, 65, 55));
}

TEST_F(ChildForm, MaximisedAreaAndCascadeAsUsersKnowThem) {
  TChildForm* first = GreyWindow(120, 90, 1, [](int x, int) { return float(x); }, QStringLiteral("first"));
  first->showMaximized();
  // Opened while the active window is maximised: maximised too.
  TChildForm* second = GreyWindow(60, 40, 1, [](int x, int) { return float(x); }, QStringLiteral("second"));
  EXPECT_TRUE(second->isMaximized());
  EXPECT_EQ(Form->ActiveMDIChild(), second);
  // Cascade, reached through the Window menu, restores every window at its
  // own size, stepped down and right; none shrinks to a stub.
  TChildForm* third = GreyWindow(200, 150, 1, [](int x, int) { return float(x); }, QStringLiteral("third"));
  QMenu* windowMenu = Form->Menu(QStringLiteral("WindowMenu"));
  ASSERT_NE(windowMenu, nullptr);
  QAction* cascade = nullptr;
  for (QAction* a : windowMenu->actions())
    if (a->text() == QStringLiteral("&Cascade")) cascade = a;
  ASSERT_NE(cascade, nullptr);
  cascade->trigger();
  QList<QPoint> places;
  for (TChildForm* w : {first, second, third}) {
    EXPECT_FALSE(w->isMaximized()) << w->Caption().toStdString();
    EXPECT_EQ(w->ScrollBox->size(), w->ImageDisplay->size()) << w->Caption().toStdString();
    places << w->pos();
  }
  EXPECT_LT(places[0].y(), places[1].y());
  EXPECT_LT(places[1].y(), places[2].y());
  EXPECT_LT(places[0].x(), places[1].x());
}

// The Window menu lists every image window by its caption as shown, with
// Alt+1 to Alt+9 for the first nine and no Alt key claimed twice.
TEST_F(ChildForm, WindowMenuListsCaptionsAsTheyAreWithOneWindowPerAltKey) {
  const QStringList captions = {QStringLiteral("R&D"), QStringLiteral("M 42"), QStringLiteral("&Flat"),
                                QStringLiteral("a && b"), QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("7"),
                                QStringLiteral("8"), QStringLiteral("9"), QStringLiteral("Ten & more"),
                                QStringLiteral("11")};
  for (const QString& c : captions) GreyWindow(8, 6, 1, [](int x, int) { return float(x); }, c);
  QMenu* windowMenu = Form->Menu(QStringLiteral("WindowMenu"));
  ASSERT_NE(windowMenu, nullptr);
  emit windowMenu->aboutToShow();
  // What a menu shows of a caption: "&&" as "&", a lone "&" marks the key.
  auto shown = [](QString Text) {
    Text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    Text.remove(QLatin1Char('&'));
    return Text.replace(QStringLiteral("\x01"), QStringLiteral("&"));
  };
  QList<QAction*> entries;
  QMap<int, QString> keys;
  for (QAction* a : windowMenu->actions()) {
    if (a->isSeparator()) continue;
    const QKeySequence key = QKeySequence::mnemonic(a->text());
    if (!key.isEmpty()) {
      EXPECT_FALSE(keys.contains(key[0].key())) << a->text().toStdString() << " and " << keys[key[0].key()].toStdString();
      keys[key[0].key()] = a->text();
    }
    if (a->isCheckable()) entries << a;
  }
  ASSERT_EQ(entries.size(), captions.size());
  for (int i = 0; i < captions.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(shown(entries[i]->text()), QStringLiteral("%1 %2").arg(i + 1).arg(captions[i]));
    EXPECT_EQ(QKeySequence::mnemonic(entries[i]->text()),
              i < 9 ? QKeySequence(Qt::ALT | Qt::Key(Qt::Key_1 + i)) : QKeySequence());
  }
}

namespace {
// The test's own run in a fresh process of this program, as nobody (the
// count of processes is not enforced for root): from the start ("start") no
// thread can be started at all; or ("later") the program starts as usual and
// the test then takes the last threads away. Its exit code, or -1 when it has
// not finished within Seconds (it is then killed).
constexpr const char* kNoThreads = "CORVELLE_TEST_NO_THREADS";

int RunAgainWithoutThreads(const char* From, int Seconds) {
  return RunThisTestAgain(kNoThreads, From, Seconds, [From] {
    if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) return 90;
    rlimit none{0, 0};
    if (std::string(From) == "start" && setrlimit(RLIMIT_NPROC, &none) != 0) return 91;
    return 0;
  });
}
}  // namespace

// Where no thread can be started (ulimit -u), windows open and paint at every
// zoom: nothing waits for ever on a thread pool. The test runs itself again,
// with a time limit, in a process that cannot start threads.
TEST_F(ChildForm, PaintsWhereNoThreadCanStart) {
  const char* from = std::getenv(kNoThreads);
  if (!from) {
    for (const char* when : {"start", "later"}) {
      SCOPED_TRACE(when);
      const int code = RunAgainWithoutThreads(when, 60);
      EXPECT_NE(code, -1) << "the paint did not finish: it waits for a thread that cannot start";
      EXPECT_EQ(code, 0);
    }
    return;
  }
  const bool later = std::string(from) == "later";
  if (later) {
    rlimit none{0, 0};
    ASSERT_EQ(setrlimit(RLIMIT_NPROC, &none), 0);
  }
  pthread_t thread;
  ASSERT_NE(pthread_create(&thread, nullptr, [](void*) -> void* { return nullptr; }, nullptr), 0)
      << "the system still starts threads";
  // Large enough that Qt would split its scaling and conversions across threads.
  TChildForm* child = GreyWindow(1200, 900, 3, [](int x, int y) { return float((x * 7 + y * 13) % 251); });
  for (const float zoom : {100.0f, 150.0f, 33.0f}) {
    SCOPED_TRACE(zoom);
    child->SetZoom(zoom);
    ASSERT_TRUE(child->UpdateImage());
    // Read pixel by pixel: converting a whole picture would wait on Qt's pool here too.
    const QImage source = child->ImageDisplay->Source();
    const QImage shown = child->ImageDisplay->grab().toImage();
    const QImage picture = child->ImageDisplay->Picture();
    const int w = child->ImageDisplay->width(), h = child->ImageDisplay->height();
    ASSERT_EQ(shown.size(), QSize(w, h));
    ASSERT_EQ(picture.size(), QSize(w, h));
    int wrong = 0;
    for (int v = 0; v < h; v += 7)
      for (int u = 0; u < w; u += 11) {
        const int sx = int((2LL * u + 1) * source.width() / (2LL * w));
        const int sy = int((2LL * v + 1) * source.height() / (2LL * h));
        wrong += shown.pixel(u, v) != source.pixel(sx, sy) || picture.pixel(u, v) != source.pixel(sx, sy);
      }
    EXPECT_EQ(wrong, 0);
  }
  EXPECT_FALSE(child->QuickZoomSquare(600, 450, 64).isNull());
  EXPECT_FALSE(Form->grab().isNull());
  if (!later) return;
  // Qt's own widgets draw on its pool too (a scroll bar partly under another
  // window): the threads it started with serve it.
  GreyWindow(500, 400, 3, [](int x, int y) { return float(x ^ y); }, QStringLiteral("Over"));
  EXPECT_FALSE(Form->grab().isNull());
}
