// The marker windows and the polynomial registration dialog, driven through
// the main window's commands, the keyboard and the mouse.
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QMdiArea>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <cmath>
#include <cstdlib>

#include "RegistrationTestUtil.h"
#include "app/FloatEdit.h"
#include "app/IntEdit.h"
#include "app/StartUp.h"
#include "dialogs/AddPointForm.h"
#include "dialogs/DeleteMarkerForm.h"
#include "dialogs/RegisterImagesForm.h"
#include "engine/Measure.h"
#include "engine/RegisterImages.h"

namespace {

class MarkerRegistrationTest : public RegistrationTest {
 protected:
  // Types Text into Box as a user would, replacing what was there.
  static void Type(QLineEdit* Box, const QString& Text) {
    Box->setFocus();
    Box->selectAll();
    QTest::keyClick(Box, Qt::Key_Delete);
    QTest::keyClicks(Box, Text);
  }
  // Adds a marker through the add-marker window to Window.
  void AddMarkerByTyping(TChildForm* Window, float X, float Y) {
    Form->MDIArea()->setActiveSubWindow(Window);
    Type(frmAddPoint->fedX, QString::number(double(X), 'g', 9));
    Type(frmAddPoint->fedY, QString::number(double(Y), 'g', 9));
    QTest::mouseClick(frmAddPoint->btnAddPoint, Qt::LeftButton);
  }
  // Chooses the reference by caption and checks the targets, as in the dialog.
  static void ChooseImages(const QString& Reference, const QStringList& Targets) {
    QComboBox* combo = frmRegisterImage->cmbImageB;
    combo->setCurrentIndex(combo->findText(Reference));
    QListWidget* list = frmRegisterImage->lstImageA;
    for (int i = 0; i < list->count(); ++i) {
      if (!Targets.contains(list->item(i)->text())) continue;
      list->setCurrentRow(i);
      QTest::keyClick(list, Qt::Key_Space);
    }
  }
};

float Pattern(float X, float Y) { return 100.0f + 50.0f * std::sin(X / 7.0f) * std::cos(Y / 9.0f) + 0.2f * X; }

TEST_F(MarkerRegistrationTest, AddMarkerToolWindowAndShiftClick) {
  // The command needs an image window; the tool window follows whether any is open.
  TChildForm* first = GreyWindow(10, 10, 0, [](int, int) { return 1.0f; });
  Form->Action("EditAddMarker")->trigger();
  ASSERT_TRUE(frmAddPoint->isVisible());
  EXPECT_EQ(frmAddPoint->windowTitle(), QStringLiteral("Add Marker"));
  EXPECT_TRUE(frmAddPoint->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(frmAddPoint->btnAddPoint->isEnabled());
  first->setAttribute(Qt::WA_DeleteOnClose, false);
  first->close();
  delete first;
  EXPECT_FALSE(frmAddPoint->btnAddPoint->isEnabled());
  EXPECT_FALSE(frmAddPoint->btnCentroid->isEnabled());
  EXPECT_FALSE(frmAddPoint->fedX->isEnabled());
  EXPECT_FALSE(Form->Action("EditAddMarker")->isEnabled());

  TChildForm* grey = GreyWindow(40, 30, 3, [](int x, int y) { return float((x * 7 + y * 3) % 11); });
  EXPECT_TRUE(frmAddPoint->btnAddPoint->isEnabled());
  EXPECT_TRUE(frmAddPoint->btnCentroid->isEnabled());
  EXPECT_TRUE(frmAddPoint->fedY->isEnabled());

  // Shift-click on the picture adds the clicked pixel.
  QTest::mouseClick(grey->ImageOverlay, Qt::LeftButton, Qt::ShiftModifier, QPoint(12, 7));
  ASSERT_EQ(grey->ImageOverlay->Markers().size(), 1u);
  EXPECT_EQ(grey->ImageOverlay->Markers()[0].X, 12.0f);
  EXPECT_EQ(grey->ImageOverlay->Markers()[0].Y, 7.0f);

  struct Case {
    const char* X;
    const char* Y;
    bool Accepted;
  };
  const Case cases[] = {
      {"39", "0", true},     // the last column
      {"40", "0", false},    // one past it
      {"-5", "3", false},    // negative as typed
      {"2.5", "29", true},   // the last row, a fraction of a pixel
      {"0", "30", false},    // one row past the last
      {"39.25", "1", false}  // past the last column by a fraction
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.X) + "," + c.Y);
    const std::size_t before = grey->ImageOverlay->Markers().size();
    Boxes.clear();
    Type(frmAddPoint->fedX, QString::fromLatin1(c.X));
    Type(frmAddPoint->fedY, QString::fromLatin1(c.Y));
    QTest::mouseClick(frmAddPoint->btnAddPoint, Qt::LeftButton);
    if (c.Accepted) {
      EXPECT_TRUE(Boxes.empty());
      ASSERT_EQ(grey->ImageOverlay->Markers().size(), before + 1);
      EXPECT_EQ(grey->ImageOverlay->Markers().back().X, std::stof(c.X));
      EXPECT_EQ(grey->ImageOverlay->Markers().back().Y, std::stof(c.Y));
    } else {
      ASSERT_EQ(Boxes.size(), 1u);
      EXPECT_EQ(Boxes[0].Type, TMsgDlgType::mtWarning);
      EXPECT_EQ(Boxes[0].Text, QStringLiteral("Marker coordinates are out of range."));
      EXPECT_EQ(grey->ImageOverlay->Markers().size(), before);
    }
  }

  // Labels lead to their boxes.
  for (QLabel* label : frmAddPoint->findChildren<QLabel*>()) EXPECT_NE(label->buddy(), nullptr);
  EXPECT_FALSE(frmAddPoint->fedX->accessibleName().isEmpty());

  // Closing the last image window disables the tool window again.
  grey->setAttribute(Qt::WA_DeleteOnClose, false);
  grey->close();
  EXPECT_FALSE(frmAddPoint->btnAddPoint->isEnabled());
  EXPECT_FALSE(frmAddPoint->fedY->isEnabled());
  delete grey;
}

TEST_F(MarkerRegistrationTest, CentroidButtonFillsTheBoxes) {
  // A 2 x 2 star on black: its centroid lies between the four pixels.
  TChildForm* grey = GreyWindow(30, 30, 1, [](int x, int y) { return (x == 10 || x == 11) && (y == 14 || y == 15) ? 900.0f : 0.0f; });
  Form->Action("EditAddMarker")->trigger();
  // The region of interest by dragging over the star.
  QTest::mousePress(grey->ImageOverlay, Qt::LeftButton, {}, QPoint(5, 8));
  QTest::mouseMove(grey->ImageOverlay, QPoint(20, 22));
  QTest::mouseRelease(grey->ImageOverlay, Qt::LeftButton, {}, QPoint(20, 22));
  QTest::mouseClick(frmAddPoint->btnCentroid, Qt::LeftButton);
  EXPECT_EQ(frmAddPoint->fedX->text(), QStringLiteral("10.5"));
  EXPECT_EQ(frmAddPoint->fedY->text(), QStringLiteral("14.5"));
  QTest::mouseClick(frmAddPoint->btnAddPoint, Qt::LeftButton);
  ASSERT_EQ(grey->ImageOverlay->Markers().size(), 1u);
  EXPECT_EQ(grey->ImageOverlay->Markers()[0].X, 10.5f);

  // A colour image leaves the boxes alone and shows nothing.
  TChildForm* colour = ColourWindow(30, 30, [](int, int) { return TRGBPixel{200, 10, 10}; });
  Form->MDIArea()->setActiveSubWindow(colour);
  Type(frmAddPoint->fedX, QStringLiteral("3"));
  Boxes.clear();
  QTest::mouseClick(frmAddPoint->btnCentroid, Qt::LeftButton);
  EXPECT_EQ(frmAddPoint->fedX->text(), QStringLiteral("3"));
  EXPECT_TRUE(Boxes.empty());
}

TEST_F(MarkerRegistrationTest, DeleteMarkerListsDeletesAndCloses) {
  TChildForm* grey = GreyWindow(20, 20, 0, [](int, int) { return 1.0f; });
  grey->ImageOverlay->AddMarker(1.234f, 2.5f);
  grey->ImageOverlay->AddMarker(3.0f, 4.0f);
  grey->ImageOverlay->AddMarker(5.125f, 6.0f);
  auto rows = [] {
    QStringList r;
    QTreeWidget* list = frmDeleteMarker->ListView;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
      const QTreeWidgetItem* item = list->topLevelItem(i);
      r << item->text(0) + QLatin1Char(' ') + item->text(1) + QLatin1Char(' ') + item->text(2);
    }
    return r;
  };
  QStringList seen, afterDelete;
  bool stayedOpen = false;
  RunCommand("EditDeleteMarker", [&](QWidget* dialog) {
    EXPECT_EQ(dialog, frmDeleteMarker);
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Delete Marker"));
    seen = rows();
    // "&Delete" with nothing selected does nothing.
    QTest::mouseClick(frmDeleteMarker->findChild<QPushButton*>("btnOK"), Qt::LeftButton);
    QTreeWidget* list = frmDeleteMarker->ListView;
    const QRect r = list->visualItemRect(list->topLevelItem(1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
    QTest::mouseClick(frmDeleteMarker->findChild<QPushButton*>("btnOK"), Qt::LeftButton);
    afterDelete = rows();
    stayedOpen = dialog->isVisible();
    QTest::mouseClick(frmDeleteMarker->findChild<QPushButton*>("btnCancel"), Qt::LeftButton);
  });
  EXPECT_EQ(seen, (QStringList{"0 1.23 2.50", "1 3.00 4.00", "2 5.13 6.00"}));
  EXPECT_EQ(afterDelete, (QStringList{"0 1.23 2.50", "1 5.13 6.00"}));
  EXPECT_TRUE(stayedOpen);
  EXPECT_EQ(frmDeleteMarker->result(), int(mrOk));  // "&Close" ends with OK
  EXPECT_EQ(frmDeleteMarker->ListView->topLevelItemCount(), 0);
  ASSERT_EQ(grey->ImageOverlay->Markers().size(), 2u);
  EXPECT_EQ(grey->ImageOverlay->Markers()[1].X, 5.125f);

  // Escape closes it the same way.
  RunCommand("EditDeleteMarker", [&](QWidget* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
  EXPECT_EQ(frmDeleteMarker->result(), int(mrOk));
}

TEST_F(MarkerRegistrationTest, RegistrationDialogCases) {
  struct Case {
    const char* Name;
    int ReferenceMarkers;
    int TargetMarkers;
    bool ColourTarget;
    const char* Degree;
    const char* Warning;  // the start of the expected warning; null for none
  };
  const Case cases[] = {
      {"three pairs, linear", 3, 3, false, "1", nullptr},
      {"six pairs, quadratic", 6, 6, false, "2", nullptr},
      {"degree typed past the range", 4, 4, false, "7", nullptr},
      {"four against three", 3, 4, false, "1", "The number of markers must be the same for all images.  The image B"},
      {"target without markers", 3, 0, false, "1", "There are no markers currently defined on image B."},
      {"reference without markers", 0, 3, false, "1", "There are no markers currently defined on image B."},
      {"colour target", 3, 3, true, "1", "Polynomial image registration can only be performed on grey scale images."},
      {"fifty pairs", 50, 50, false, "1", "At most 49 markers can be used for registration."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TChildForm* a = GreyWindow(48, 40, 1, [](int x, int y) { return Pattern(float(x), float(y)); }, "A");
    TChildForm* b = c.ColourTarget ? ColourWindow(36, 30, [](int x, int) { return TRGBPixel{std::uint8_t(x), 0, 0}; }, "B")
                                   : GreyWindow(36, 30, 3, [](int x, int y) { return Pattern(x * 1.1f, y * 0.9f); }, "B");
    // Marker k of B sits where marker k of A does, slightly moved.
    for (int k = 0; k < c.ReferenceMarkers; ++k)
      a->ImageOverlay->AddMarker(float(3 + (k * 7) % 40), float(2 + (k * 11) % 35));
    for (int k = 0; k < c.TargetMarkers; ++k)
      b->ImageOverlay->AddMarker(float(3 + (k * 7) % 40) * 0.7f + 1.0f, float(2 + (k * 11) % 35) * 0.75f + 0.5f);
    const int before = WindowCount();
    Boxes.clear();
    Errors.clear();
    RunCommand("ProcessRegisterImages", [&](QWidget* dialog) {
      EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Image Registration - Polynomial"));
      ChooseImages("A", {"B"});
      auto* degree = frmRegisterImage->iedPolyDeg;
      degree->setFocus();
      degree->selectAll();
      QTest::keyClicks(degree, QString::fromLatin1(c.Degree));
      QTest::mouseClick(dialog->findChild<QPushButton*>("btnOK"), Qt::LeftButton);
    });
    EXPECT_EQ(frmRegisterImage->result(), int(mrOk));
    if (c.Warning) {
      ASSERT_EQ(Boxes.size(), 1u);
      EXPECT_EQ(Boxes[0].Type, TMsgDlgType::mtWarning);
      EXPECT_TRUE(Boxes[0].Text.startsWith(QString::fromLatin1(c.Warning))) << Boxes[0].Text.toStdString();
      EXPECT_EQ(WindowCount(), before);
    } else {
      EXPECT_TRUE(Boxes.empty());
      ASSERT_EQ(WindowCount(), before + 1);
      TChildForm* result = WindowCaptioned("B - Registered");
      ASSERT_NE(result, nullptr);
      EXPECT_EQ(result->DataImage->Width, 48);
      EXPECT_EQ(result->DataImage->Height, 40);
      // The same pairs handed to the routine directly.
      TMarkerPairArray pairs{};
      const int n = c.ReferenceMarkers;
      for (int k = 1; k <= n; ++k) {
        const TMarkerRec t = b->ImageOverlay->Markers()[std::size_t(k - 1)];
        const TMarkerRec r = a->ImageOverlay->Markers()[std::size_t(k - 1)];
        pairs[std::size_t(k)] = {t.X, t.Y, r.X, r.Y};
      }
      TDataImage expected;
      expected.Allocate(48, 40, 1, false);
      const bool quadratic = std::string(c.Degree) == "2" || std::string(c.Degree) == "7";
      if (quadratic)
        RegisterQuadratic(2, pairs, std::uint8_t(n), *b->DataImage, *a->DataImage, expected);
      else
        RegisterLinear(1, pairs, std::uint8_t(n), *b->DataImage, *a->DataImage, expected);
      int differ = 0;
      for (int i = 0; i < 48 * 40; ++i) differ += result->DataImage->Pixels[i] != expected.Pixels[i];
      EXPECT_EQ(differ, 0);
      EXPECT_TRUE(std::find(Errors.begin(), Errors.end(), 0) != Errors.end());
      result->setAttribute(Qt::WA_DeleteOnClose, false);
      delete result;
    }
    for (TChildForm* w : {a, b}) {
      w->setAttribute(Qt::WA_DeleteOnClose, false);
      delete w;
    }
  }
}

TEST_F(MarkerRegistrationTest, ReferenceLineIsExcludedFromTargets) {
  GreyWindow(8, 8, 0, [](int, int) { return 1.0f; }, "A");
  GreyWindow(8, 8, 0, [](int, int) { return 1.0f; }, "B");
  GreyWindow(8, 8, 0, [](int, int) { return 1.0f; }, "C");
  QStringList items;
  bool firstDisabled = false, bChecked = false, bAfter = true, bEnabledAfter = true, firstEnabledAfter = false;
  int windowsBefore = WindowCount();
  RunCommand("ProcessRegisterImages", [&](QWidget* dialog) {
    QListWidget* list = frmRegisterImage->lstImageA;
    for (int i = 0; i < list->count(); ++i) items << list->item(i)->text();
    firstDisabled = !(list->item(0)->flags() & Qt::ItemIsEnabled);
    EXPECT_EQ(frmRegisterImage->cmbImageB->currentIndex(), 0);
    // Check B, then choose B as the reference: its line is unchecked and greyed.
    const int bRow = items.indexOf("B");
    list->setCurrentRow(bRow);
    QTest::keyClick(list, Qt::Key_Space);
    bChecked = list->item(bRow)->checkState() == Qt::Checked;
    QComboBox* combo = frmRegisterImage->cmbImageB;
    combo->setFocus();
    while (combo->currentText() != "B") QTest::keyClick(combo, Qt::Key_Down);
    bAfter = list->item(bRow)->checkState() == Qt::Checked;
    bEnabledAfter = list->item(bRow)->flags() & Qt::ItemIsEnabled;
    firstEnabledAfter = list->item(0)->flags() & Qt::ItemIsEnabled;
    if (const char* dir = std::getenv("CORVELLE_SHOT_DIR"))
      dialog->grab().save(QDir(QString::fromLocal8Bit(dir)).filePath("register-images.png"));
    // Nothing checked: OK closes with no new window.
    QTest::mouseClick(dialog->findChild<QPushButton*>("btnOK"), Qt::LeftButton);
  });
  EXPECT_EQ(items, (QStringList{"C", "B", "A"}));  // the active window first
  EXPECT_TRUE(firstDisabled);
  EXPECT_TRUE(bChecked);
  EXPECT_FALSE(bAfter);
  EXPECT_FALSE(bEnabledAfter);
  EXPECT_TRUE(firstEnabledAfter);
  EXPECT_EQ(WindowCount(), windowsBefore);
  EXPECT_TRUE(Boxes.empty());
}

TEST_F(MarkerRegistrationTest, ShiftedAndRotatedCopyRegistersBackOntoItsReference) {
  // The target shows the reference's pattern turned by 5 degrees and moved:
  // target point = M * reference point + S.
  const double angle = 5.0 * M_PI / 180.0, c = std::cos(angle), s = std::sin(angle);
  const double sx = 3.5, sy = -2.25;
  auto toTarget = [&](double x, double y) { return std::pair<double, double>{c * x - s * y + sx, s * x + c * y + sy}; };
  auto fromTarget = [&](double x, double y) {
    const double u = x - sx, v = y - sy;
    return std::pair<double, double>{c * u + s * v, -s * u + c * v};
  };
  TChildForm* reference = GreyWindow(80, 64, 3, [](int x, int y) { return Pattern(float(x), float(y)); }, "Reference");
  TChildForm* target = GreyWindow(80, 64, 3, [&](int x, int y) {
    const auto [u, v] = fromTarget(x, y);
    return Pattern(float(u), float(v));
  }, "Target");
  Form->Action("EditAddMarker")->trigger();
  const double points[4][2] = {{10, 8}, {68, 12}, {15, 55}, {60, 50}};
  for (const auto& p : points) AddMarkerByTyping(reference, float(p[0]), float(p[1]));
  for (const auto& p : points) {
    const auto [u, v] = toTarget(p[0], p[1]);
    AddMarkerByTyping(target, float(u), float(v));
  }
  ASSERT_EQ(reference->ImageOverlay->Markers().size(), 4u);
  ASSERT_EQ(target->ImageOverlay->Markers().size(), 4u);

  RunCommand("ProcessRegisterImages", [&](QWidget* dialog) {
    ChooseImages("Reference", {"Target"});
    QTest::mouseClick(dialog->findChild<QPushButton*>("btnOK"), Qt::LeftButton);
  });
  TChildForm* result = WindowCaptioned("Target - Registered");
  ASSERT_NE(result, nullptr);
  // Where the mapped point lies well inside the target, the result shows the
  // reference again, up to the bilinear interpolation of a smooth pattern.
  double worst = 0.0;
  int compared = 0;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 80; ++x) {
      const auto [u, v] = toTarget(x, y);
      if (u < 1 || v < 1 || u > 78 || v > 62) continue;
      worst = std::max(worst, std::abs(double(result->DataImage->GetPixel(x, y)) - Pattern(float(x), float(y))));
      ++compared;
    }
  EXPECT_GT(compared, 3500);
  EXPECT_LT(worst, 0.5);
  // Without registration the two differ by far more.
  double unregistered = 0.0;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 80; ++x)
      unregistered =
          std::max(unregistered, std::abs(double(target->DataImage->GetPixel(x, y)) - Pattern(float(x), float(y))));
  EXPECT_GT(unregistered, 10.0);
}

}  // namespace

namespace {
// The program's own start-up: the group's windows exist once, owned by the
// main window, and the add-marker window follows the image windows next to
// the quick linear scale window.
class RegistrationStartUpTest : public AppTest {};

TEST_F(RegistrationStartUpTest, WindowsAndImageHooks) {
  CreateForms(Form.get());
  EXPECT_EQ(Form->findChildren<TfrmAddPoint*>(Qt::FindDirectChildrenOnly).size(), 1);
  EXPECT_EQ(Form->findChildren<TfrmDeleteMarker*>(Qt::FindDirectChildrenOnly).size(), 1);
  EXPECT_EQ(Form->findChildren<TfrmRegisterImage*>(Qt::FindDirectChildrenOnly).size(), 1);
  EXPECT_FALSE(frmAddPoint->btnAddPoint->isEnabled());
  auto* child = new TChildForm;
  child->DataImage->Allocate(4, 4, 0, false);
  child->UpdateImage();
  EXPECT_TRUE(frmAddPoint->btnAddPoint->isEnabled());
  child->setAttribute(Qt::WA_DeleteOnClose, false);
  child->close();
  delete child;
  EXPECT_FALSE(frmAddPoint->btnAddPoint->isEnabled());
  FreeForms();
  EXPECT_EQ(frmAddPoint, nullptr);
}
}  // namespace
