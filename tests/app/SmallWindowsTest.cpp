#include <functional>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QGridLayout>
#include <QTabBar>

#include "AppTestUtil.h"
#include "XFrames.h"
#include "app/AboutForm.h"
#include "app/AnnotationForm.h"
#include "app/FloatEdit.h"
#include "app/FormSupport.h"
#include "app/IntEdit.h"
#include "app/NewForm.h"
#include "app/PreferencesForm.h"
#include "app/PrintForm.h"
#include "app/QuickScaleForm.h"
#include "app/QuickZoomForm.h"
#include "app/StartUp.h"
#include "app/ZoomForm.h"
#include "dialogs/FITSHeaderForm.h"
#include "dialogs/FITSOptionsForm.h"
#include "dialogs/FileOptionsForm.h"
#include "dialogs/ImportForm.h"
#include "dialogs/JPEGOptionsForm.h"
#include "platform/FileDialog.h"

namespace {
class SmallWindowsTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    frmZoom = new TfrmZoom(Form.get());
    frmNew = new TfrmNew(Form.get());
    frmPrint = new TfrmPrint(Form.get());
    frmPreferences = new TfrmPreferences(Form.get());
    frmQuickZoom = new TfrmQuickZoom(Form.get());
  }
  void TearDown() override {
    for (TChildForm* c : Form->MDIChildren()) {
      c->setAttribute(Qt::WA_DeleteOnClose, false);
      delete c;
    }
    delete frmZoom;
    delete frmNew;
    delete frmPrint;
    delete frmPreferences;
    delete frmQuickZoom;
    frmZoom = nullptr;
    frmNew = nullptr;
    frmPrint = nullptr;
    frmPreferences = nullptr;
    frmQuickZoom = nullptr;
    AppTest::TearDown();
  }
};

QString RunTool(const QString& Program, const QStringList& Args) {
  QProcess p;
  p.start(Program, Args);
  if (!p.waitForFinished(60000) || p.exitCode() != 0) {
    ADD_FAILURE() << Program.toStdString() << " failed or is missing";
    return {};
  }
  return QString::fromUtf8(p.readAllStandardOutput());
}
}  // namespace

TEST_F(SmallWindowsTest, QuickZoomSteps) {
  EXPECT_EQ(frmQuickZoom->windowTitle(), QStringLiteral("Quick Zoom - 100%"));
  frmQuickZoom->btnZoomOut->click();
  EXPECT_EQ(frmQuickZoom->windowTitle(), QStringLiteral("Quick Zoom - 100%"));
  for (int i = 0; i < 5; ++i) frmQuickZoom->btnZoomIn->click();
  EXPECT_EQ(frmQuickZoom->windowTitle(), QStringLiteral("Quick Zoom - 1600%"));
  EXPECT_EQ(frmQuickZoom->ZoomLevel(), 1600.0f);
  frmQuickZoom->btnZoomOut->click();
  EXPECT_EQ(frmQuickZoom->windowTitle(), QStringLiteral("Quick Zoom - 800%"));
  EXPECT_EQ(frmQuickZoom->btnZoomIn->toolTip(), QStringLiteral("Zoom In"));
  EXPECT_EQ(QuickZoomTarget, frmQuickZoom);
}

TEST_F(SmallWindowsTest, SetZoom) {
  TChildForm* w = GreyWindow(20, 10, 3, [](int x, int) { return float(x); });
  const QStringList items = {"25&%", "&50%", "&100%", "&200%", "&400%", "&Custom"};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(frmZoom->grpZoom->button(i)->text(), items[i]);
  EXPECT_TRUE(frmZoom->grpZoom->button(2)->isChecked());
  EXPECT_FALSE(frmZoom->iedZoom->isEnabled());
  EXPECT_EQ(frmZoom->iedZoom->text(), QStringLiteral("100"));
  // Each case: View, Set Zoom..., then what the user does in the dialog.
  const struct {
    const char* Does;
    std::function<void()> Act;
    float Zoom;
  } cases[] = {
      {"clicks 200% and OK", [] {
         ClickOption(frmZoom->grpZoom->button(3));
         QTest::mouseClick(ButtonOf(frmZoom, QStringLiteral("OK")), Qt::LeftButton);
       }, 200.0f},
      {"goes up from 100% with the arrow key, then Enter", [] {
         ClickOption(frmZoom->grpZoom->button(2));
         QTest::keyClick(frmZoom->grpZoom->button(2), Qt::Key_Up);
         QTest::keyClick(frmZoom->focusWidget(), Qt::Key_Return);
       }, 50.0f},
      {"picks Custom and types 350", [] {
         ClickOption(frmZoom->grpZoom->button(5));
         EXPECT_TRUE(frmZoom->iedZoom->isEnabled());
         TypeInto(frmZoom->iedZoom, QStringLiteral("350"));
         QTest::mouseClick(ButtonOf(frmZoom, QStringLiteral("OK")), Qt::LeftButton);
       }, 350.0f},
      // A typed 0 never reaches the window: the box's range makes it 1.
      {"types 0 and Enter", [] {
         TypeInto(frmZoom->iedZoom, QStringLiteral("0"));
         QTest::keyClick(frmZoom->iedZoom, Qt::Key_Return);
       }, 1.0f},
      {"types 350 again", [] {
         TypeInto(frmZoom->iedZoom, QStringLiteral("350"));
         QTest::mouseClick(ButtonOf(frmZoom, QStringLiteral("OK")), Qt::LeftButton);
       }, 350.0f},
      {"empties the box", [] {
         TypeInto(frmZoom->iedZoom, QString());
         QTest::mouseClick(ButtonOf(frmZoom, QStringLiteral("OK")), Qt::LeftButton);
       }, 1.0f},
      {"types 200 and cancels", [] {
         TypeInto(frmZoom->iedZoom, QStringLiteral("200"));
         QTest::mouseClick(ButtonOf(frmZoom, QStringLiteral("Cancel")), Qt::LeftButton);
       }, 1.0f},
      {"types 500 and cancels", [] {
         TypeInto(frmZoom->iedZoom, QStringLiteral("500"));
         QTest::keyClick(frmZoom->iedZoom, Qt::Key_Escape);
       }, 1.0f},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Does);
    bool ran = false;
    WhenDialog(frmZoom, [&] {
      ran = true;
      c.Act();
    });
    ASSERT_TRUE(PickMenuItem(Form.get(), QStringLiteral("&View"), QStringLiteral("Set &Zoom...")));
    EXPECT_TRUE(ran);
    EXPECT_FALSE(frmZoom->isVisible());
    EXPECT_EQ(w->ImageDisplay->Zoom, c.Zoom);
  }
}

TEST_F(SmallWindowsTest, NewImage) {
  EXPECT_EQ(frmNew->iedWidth->text(), QStringLiteral("640"));
  EXPECT_EQ(frmNew->iedHeight->text(), QStringLiteral("480"));
  // File, New..., then the boxes typed into (an absent text keeps the box)
  // and the image type clicked; OK by mouse.
  auto create = [&](const char* Width, const char* Height, const char* Value, QRadioButton* Type) -> TChildForm* {
    frmNew->NewWindow = nullptr;
    WhenDialog(frmNew, [=] {
      if (Width) TypeInto(frmNew->iedWidth, QString::fromLatin1(Width));
      if (Height) TypeInto(frmNew->iedHeight, QString::fromLatin1(Height));
      TypeInto(frmNew->fedValue, QString::fromLatin1(Value));
      if (Type) ClickOption(Type);
      QTest::mouseClick(ButtonOf(frmNew, QStringLiteral("OK")), Qt::LeftButton);
    });
    EXPECT_TRUE(PickMenuItem(Form.get(), QStringLiteral("&File"), QStringLiteral("&New...")));
    EXPECT_FALSE(frmNew->isVisible());
    return frmNew->NewWindow;
  };
  TChildForm* w = create("3", "2", "123456.5", nullptr);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->Caption(), QStringLiteral("Untitled"));
  EXPECT_TRUE(w->Modified);
  EXPECT_EQ(w->DataImage->DataType, 3);
  EXPECT_FALSE(w->DataImage->IsColour);
  EXPECT_EQ(w->DataImage->Width, 3);
  EXPECT_EQ(w->DataImage->Height, 2);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(w->DataImage->Pixels[i], 123456.5f);
  // Colour: above 255 gives white, 127.5 rounds to even.
  const struct {
    const char* Value;
    std::uint8_t Level;
  } colours[] = {{"300", 255}, {"127.5", 128}, {"126.5", 126}, {"-4", 0}};
  for (const auto& c : colours) {
    SCOPED_TRACE(c.Value);
    w = create(nullptr, nullptr, c.Value, frmNew->rdoColour);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->DataImage->DataType, 0);
    ASSERT_TRUE(w->DataImage->IsColour);
    const TRGBPixel p = w->DataImage->RGBPlane[1 * w->DataImage->Width + 2];
    EXPECT_EQ(p.Red, c.Level);
    EXPECT_EQ(p.Green, c.Level);
    EXPECT_EQ(p.Blue, c.Level);
  }
  // A width of 0 typed and confirmed becomes 1.
  w = create("0", nullptr, "1", frmNew->rdoGrey);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->DataImage->Width, 1);
  EXPECT_FALSE(w->DataImage->IsColour);
  // Cancel makes no window.
  WhenDialog(frmNew, [] { QTest::mouseClick(ButtonOf(frmNew, QStringLiteral("Cancel")), Qt::LeftButton); });
  frmNew->NewWindow = nullptr;
  ASSERT_TRUE(PickMenuItem(Form.get(), QStringLiteral("&File"), QStringLiteral("&New...")));
  EXPECT_EQ(frmNew->NewWindow, nullptr);
  EXPECT_EQ(WindowCount(), 6);
}

TEST(PrintLayout, PlacementAndTitles) {
  EXPECT_EQ(PrintPlacement(2550, 3300, 100, 50, 1, false, false), QRect(50, 50, 2300, 1150));
  EXPECT_EQ(PrintPlacement(2550, 3300, 100, 50, 0, false, false), QRect(50, 50, 100, 50));
  // 1/8 of the fit 23: 2.875 -> 287.5 x 143.75, rounded to even.
  EXPECT_EQ(PrintPlacement(2550, 3300, 100, 50, 2, false, false), QRect(50, 50, 288, 144));
  EXPECT_EQ(PrintPlacement(2550, 3300, 100, 50, 4, true, true), QRect((2550 - 1150) / 2, (3300 - 575) / 2, 1150, 575));
  // A page within the margins is used whole: fit = min(200 / 100, 200 / 50).
  EXPECT_EQ(PrintPlacement(200, 200, 100, 50, 1, false, false), QRect(50, 50, 200, 100));
  const QDateTime when(QDate(2024, 3, 9), QTime(14, 5));
  const QLocale l;
  const QString d = l.toString(when.date(), QLocale::ShortFormat), t = l.toString(when.time(), QLocale::ShortFormat);
  EXPECT_EQ(PrintTitle("&f", "M31", when), "M31");
  EXPECT_EQ(PrintTitle("&F", "M31", when), "M31");
  EXPECT_EQ(PrintTitle("&F&D", "M31", when), "M31 " + d);
  EXPECT_EQ(PrintTitle("&f&t", "M31", when), "M31 " + t);
  EXPECT_EQ(PrintTitle("&f&d&t", "M31", when), "M31 " + d + " " + t);
  EXPECT_EQ(PrintTitle("&F&T&D", "M31", when), "M31 " + t + " " + d);
  EXPECT_EQ(PrintTitle("&f&D", "M31", when), QString());
  EXPECT_EQ(PrintTitle("Page 1", "M31", when), QString());
}

TEST_F(SmallWindowsTest, PrintToPDF) {
  QTemporaryDir dir;
  const QString pdf = dir.filePath("print.pdf");
  QPrinter& printer = frmPrint->Printer();
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(pdf);
  printer.setResolution(300);
  printer.setPageSize(QPageSize(QPageSize::Letter));
  printer.setFullPage(true);
  ASSERT_EQ(printer.width(), 2550);
  ASSERT_EQ(printer.height(), 3300);
  TChildForm* w = ColourWindow(100, 50, [](int, int) { return TRGBPixel{0, 0, 255}; }, "Orion");
  frmPrint->cmbScale->setCurrentIndex(1);
  frmPrint->edtTitle->setText(QStringLiteral("&F&D"));
  ASSERT_TRUE(frmPrint->PrintWindow(w));
  EXPECT_EQ(w->ImageDisplay->Zoom, 100.0f);
  const QString text = RunTool("pdftotext", {pdf, "-"});
  EXPECT_TRUE(text.contains("Orion " + QLocale().toString(QDate::currentDate(), QLocale::ShortFormat))) << text.toStdString();
  // Rendered at 30 dpi the picture covers (5, 5) to (235, 120).
  RunTool("pdftoppm", {"-r", "30", "-png", "-singlefile", pdf, dir.filePath("page")});
  const QImage page(dir.filePath("page.png"));
  ASSERT_EQ(page.size(), QSize(255, 330));
  // The PDF may hold the picture compressed: near red is red.
  auto red = [&page](int x, int y) {
    const QColor c = page.pixelColor(x, y);
    return c.red() > 235 && c.green() < 50 && c.blue() < 50;
  };
  EXPECT_TRUE(red(7, 7));
  EXPECT_TRUE(red(232, 117));
  EXPECT_EQ(page.pixelColor(238, 60), QColor(255, 255, 255));
  EXPECT_EQ(page.pixelColor(100, 123), QColor(255, 255, 255));
  EXPECT_EQ(page.pixelColor(2, 60), QColor(255, 255, 255));
  // Any other title prints none.
  frmPrint->edtTitle->setText(QStringLiteral("Page 1"));
  ASSERT_TRUE(frmPrint->PrintWindow(w));
  EXPECT_EQ(RunTool("pdftotext", {pdf, "-"}).trimmed(), QString());
}

TEST_F(SmallWindowsTest, PreferencesColoursReachEveryWindow) {
  TChildForm* a = GreyWindow(8, 8, 3, [](int x, int) { return float(x); });
  TChildForm* b = GreyWindow(8, 8, 3, [](int x, int) { return float(x); });
  auto previous = StandardDialogs::SetColourHook([](QColor& c) {
    c = QColor(255, 0, 0);
    return true;
  });
  // View, Preferences...: a new region colour picked, the marker colour
  // dialog cancelled, the save prompt ticked and a folder typed; OK.
  bool ran = false;
  WhenDialog(frmPreferences, [&] {
    ran = true;
    QTest::mouseClick(frmPreferences->btnROIColour, Qt::LeftButton);
    EXPECT_EQ(TfrmPreferences::PanelColour(frmPreferences->pnlROIColour), TColor(0x0000FF));
    StandardDialogs::SetColourHook([](QColor&) { return false; });
    QTest::mouseClick(frmPreferences->btnMkrColour, Qt::LeftButton);
    EXPECT_EQ(frmPreferences->chkPromptForSave->text(), QStringLiteral("&Promt for save when closing images"));
    if (!frmPreferences->chkPromptForSave->isChecked()) ClickOption(frmPreferences->chkPromptForSave);
    TypeInto(frmPreferences->edtImagesDir, QStringLiteral("/tmp/x"));
    QTest::mouseClick(ButtonOf(frmPreferences, QStringLiteral("OK")), Qt::LeftButton);
  });
  ASSERT_TRUE(PickMenuItem(Form.get(), QStringLiteral("&View"), QStringLiteral("&Preferences...")));
  StandardDialogs::SetColourHook(previous);
  EXPECT_TRUE(ran);
  EXPECT_FALSE(frmPreferences->isVisible());
  EXPECT_EQ(Form->ROIColour, TColor(0x0000FF));
  EXPECT_EQ(a->ImageOverlay->ROIColour, TColor(0x0000FF));
  EXPECT_EQ(b->ImageOverlay->ROIColour, TColor(0x0000FF));
  EXPECT_EQ(b->ImageOverlay->MarkerColour, clWhite);
  EXPECT_EQ(Form->SavePrompt, 1);
  EXPECT_EQ(Form->SaveDialog()->InitialDir, QStringLiteral("/tmp/x"));
}

TEST_F(SmallWindowsTest, AnnotationDialog) {
  TfrmAnnotation dlg(Form.get());
  EXPECT_EQ(dlg.txtSample->text(), QStringLiteral("Sample Text"));
  dlg.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
  TypeInto(dlg.txtSample, QStringLiteral("M42"));
  EXPECT_EQ(dlg.lblSample->text(), QStringLiteral("M42"));
  auto previous = StandardDialogs::SetFontHook([](QFont& f) {
    f.setPointSize(31);
    return true;
  });
  QTest::mouseClick(dlg.btnFont, Qt::LeftButton);
  StandardDialogs::SetFontHook(previous);
  EXPECT_EQ(dlg.lblSample->font().pointSize(), 31);
}

TEST_F(SmallWindowsTest, EnterInABoxAcceptsThroughTheBoundRules) {
  // Typed out of range, then Enter: the dialog's OK corrects the values.
  frmNew->show();
  frmNew->iedWidth->setFocus();
  frmNew->iedWidth->setText(QStringLiteral("0"));
  frmNew->iedHeight->setText(QStringLiteral("99999"));
  frmNew->fedValue->setText(QStringLiteral("7"));
  QTest::keyClick(frmNew->iedWidth, Qt::Key_Return);
  ASSERT_NE(frmNew->NewWindow, nullptr);
  EXPECT_EQ(frmNew->NewWindow->DataImage->Width, 1);
  EXPECT_EQ(frmNew->NewWindow->DataImage->Height, 32767);
  EXPECT_EQ(frmNew->NewWindow->DataImage->Pixels[0], 7.0f);
  EXPECT_EQ(frmNew->result(), int(mrOk));
}

// Under a window manager a dialog shown again must not creep down by its
// title bar each time (run by CTest under Xvfb with openbox; offscreen there
// is no frame and it holds trivially).
TEST(DialogPlacement, OpensWhereItOpenedBefore) {
  QWidget main;
  main.resize(800, 600);
  main.show();
  QTest::qWait(200);
  TForm dialog(&main);
  dialog.resize(300, 200);
  std::vector<QPoint> places;
  for (int i = 0; i < 3; ++i) {
    QTimer::singleShot(0, &dialog, [&] {
      if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        // As the window manager has placed it: on a loaded machine the
        // toolkit may not learn the frame, and pos() stays the client's corner.
        EXPECT_TRUE(XFrames::Settled(&dialog)) << "the window manager gave the dialog no frame";
        places.push_back(XFrames::Frame(&dialog).topLeft());
        dialog.SetModalResult(mrOk);
        return;
      }
      // Read once the window manager has framed and placed it: its frame is
      // known (until then pos() is the client's corner) and the position has
      // held still for a while (a loaded machine is slow to frame).
      auto framed = [&] { return dialog.frameGeometry().topLeft() != dialog.geometry().topLeft(); };
      QPoint last = dialog.pos();
      int still = 0;
      for (int waited = 0; waited < 8000 && (waited < 500 || still < 400 || !framed()); waited += 50) {
        QTest::qWait(50);
        still = dialog.pos() == last ? still + 50 : 0;
        last = dialog.pos();
      }
      EXPECT_TRUE(framed()) << "the window manager gave the dialog no frame";
      places.push_back(dialog.pos());
      dialog.SetModalResult(mrOk);
    });
    EXPECT_EQ(dialog.ShowModal(), int(mrOk));
  }
  ASSERT_EQ(places.size(), 3u);
  EXPECT_EQ(places[1], places[0]);
  EXPECT_EQ(places[2], places[0]);
}

namespace {
// A control the user works: types in, picks from, clicks or drags.
bool IsInput(const QWidget* W) {
  return qobject_cast<const QLineEdit*>(W) || qobject_cast<const QComboBox*>(W) ||
         qobject_cast<const QAbstractButton*>(W) || qobject_cast<const QAbstractItemView*>(W) ||
         qobject_cast<const QAbstractSlider*>(W) || qobject_cast<const QAbstractSpinBox*>(W);
}

// A part of a compound control (a tab bar's arrows, a list's scroll bars, a
// combo box's list): its owner is what a screen reader names.
bool IsPart(const QWidget* W, const QWidget* Window) {
  for (const QWidget* p = W->parentWidget(); p && p != Window; p = p->parentWidget())
    if (qobject_cast<const QTabBar*>(p) || qobject_cast<const QComboBox*>(p) ||
        qobject_cast<const QAbstractSpinBox*>(p) || qobject_cast<const QAbstractScrollArea*>(p))
      return true;
  return false;
}

// A control that needs a name of its own set: number and text boxes, combo
// boxes, lists, track bars, check boxes, radio buttons, and buttons without text.
bool NeedsName(const QWidget* W) {
  if (auto* b = qobject_cast<const QAbstractButton*>(W))
    return b->text().isEmpty() || qobject_cast<const QCheckBox*>(W) || qobject_cast<const QRadioButton*>(W);
  return qobject_cast<const QLineEdit*>(W) || qobject_cast<const QComboBox*>(W) ||
         qobject_cast<const QAbstractItemView*>(W) || qobject_cast<const QAbstractSlider*>(W) ||
         qobject_cast<const QAbstractSpinBox*>(W);
}

QLayout* LayoutHolding(QLayout* Layout, const QWidget* W) {
  for (int i = 0; i < Layout->count(); ++i) {
    QLayoutItem* item = Layout->itemAt(i);
    if (item->widget() == W) return Layout;
    if (QLayout* inner = item->layout())
      if (QLayout* found = LayoutHolding(inner, W)) return found;
  }
  return nullptr;
}

// The widgets laid out right beside W: the cells left, right, above and below
// it in a grid, the items before and after it in a row or column.
std::vector<QWidget*> Beside(QWidget* W) {
  std::vector<QWidget*> r;
  QWidget* parent = W->parentWidget();
  QLayout* holder = parent && parent->layout() ? LayoutHolding(parent->layout(), W) : nullptr;
  if (!holder) return r;
  auto add = [&r](QLayoutItem* Item) {
    if (Item && Item->widget()) r.push_back(Item->widget());
  };
  const int index = holder->indexOf(W);
  if (auto* grid = qobject_cast<QGridLayout*>(holder)) {
    int row = 0, column = 0, rows = 1, columns = 1;
    grid->getItemPosition(index, &row, &column, &rows, &columns);
    add(grid->itemAtPosition(row, column + columns));
    add(grid->itemAtPosition(row + rows, column));
    if (column > 0) add(grid->itemAtPosition(row, column - 1));
    if (row > 0) add(grid->itemAtPosition(row - 1, column));
  } else {
    if (index + 1 < holder->count()) add(holder->itemAt(index + 1));
    if (index > 0) add(holder->itemAt(index - 1));
  }
  return r;
}

QString Describe(const QWidget* W) {
  QString text;
  if (auto* l = qobject_cast<const QLabel*>(W)) text = l->text();
  if (auto* b = qobject_cast<const QAbstractButton*>(W)) text = b->text();
  return QStringLiteral("%1 '%2' \"%3\"").arg(QString::fromLatin1(W->metaObject()->className()), W->objectName(), text);
}
}  // namespace

// The older forms, as the program's start-up makes them: a caption beside a
// box is tied to it (its access key reaches the box), and every control and
// tool window has a name a screen reader says. A label that shows a value
// (a display area) is described (or named) itself instead of having a buddy.
TEST(FormAccessibility, CaptionsTiedAndControlsNamed) {
  auto* form = new TMainForm;
  MainForm = form;
  CreateForms(form);
  struct TCase {
    const char* Name;
    std::function<QWidget*()> Window;
    bool Tool;
  };
  const TCase cases[] = {
      {"New", [] { return frmNew; }, false},
      {"Zoom", [] { return frmZoom; }, false},
      {"Print", [] { return frmPrint; }, false},
      {"Preferences", [] { return frmPreferences; }, false},
      {"Annotation", [] { return frmAnnotation; }, false},
      {"Quick Scale", [] { return frmQuickLinearScale; }, true},
      {"Quick Zoom", [] { return frmQuickZoom; }, true},
      {"About", [] { return frmAbout; }, false},
      {"FITS Header", [] { return frmFITSHeader; }, false},
      {"FITS Options", [] { return frmFITSOptions; }, false},
      {"File Options", [] { return frmFileOptions; }, false},
      {"Import", [] { return frmImport; }, false},
      {"JPEG Options", [] { return frmJPEGOptions; }, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    QWidget* window = c.Window();
    ASSERT_NE(window, nullptr);
    if (c.Tool) {
      EXPECT_FALSE(window->accessibleName().isEmpty()) << "tool window without a name";
    }
    for (QLabel* label : window->findChildren<QLabel*>()) {
      if (label->buddy() || !label->accessibleName().isEmpty() || !label->accessibleDescription().isEmpty()) continue;
      for (QWidget* next : Beside(label))
        if (IsInput(next)) {
          ADD_FAILURE() << Describe(label).toStdString() << " beside " << Describe(next).toStdString()
                        << " has no buddy";
          break;
        }
    }
    for (QWidget* w : window->findChildren<QWidget*>()) {
      if (NeedsName(w) && !IsPart(w, window)) {
        EXPECT_FALSE(w->accessibleName().isEmpty()) << Describe(w).toStdString() << " has no accessible name";
      }
    }
  }
  FreeForms();
  delete form;
  MainForm = nullptr;
}
