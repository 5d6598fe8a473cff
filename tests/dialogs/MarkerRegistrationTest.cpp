// The marker windows and the polynomial registration dialog, driven through
// the main window's commands, the keyboard and the mouse.
#include <QLabel>
#include <QMdiArea>
#include <QTreeWidget>
#include <cmath>

#include "RegistrationTestUtil.h"
#include "app/FloatEdit.h"
#include "app/IntEdit.h"
#include "app/StartUp.h"
#include "dialogs/AddPointForm.h"
#include "dialogs/DeleteMarkerForm.h"
#include "dialogs/RegisterImagesForm.h"
#include "engine/RegisterImages.h"

namespace {

class MarkerRegistrationTest : public RegistrationTest {
 protected:
  void AddMarkerByTyping(TChildForm* Window, double X, double Y) {
    Form->MDIArea()->setActiveSubWindow(Window);
    Type(frmAddPoint->fedX, QString::number(X, 'g', 9));
    Type(frmAddPoint->fedY, QString::number(Y, 'g', 9));
    QTest::mouseClick(frmAddPoint->btnAddPoint, Qt::LeftButton);
  }
  void Register(const QString& Reference, const QStringList& Targets, const char* Degree = "1") {
    RunCommand("ProcessRegisterImages", [&](QWidget* dialog) {
      EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Image Registration - Polynomial"));
      Type(frmRegisterImage->iedPolyDeg, QString::fromLatin1(Degree));
      Choose(dialog, frmRegisterImage->cmbImageB, frmRegisterImage->lstImageA, Reference, Targets);
    });
  }
};

float Pattern(float X, float Y) { return 100.0f + 50.0f * std::sin(X / 7.0f) * std::cos(Y / 9.0f) + 0.2f * X; }

TEST_F(MarkerRegistrationTest, AddMarkerToolWindowAndShiftClick) {
  TChildForm* grey = GreyWindow(40, 30, 3, [](int x, int y) { return float((x * 7 + y * 3) % 11); });
  Form->Action("EditAddMarker")->trigger();
  ASSERT_TRUE(frmAddPoint->isVisible());
  EXPECT_EQ(frmAddPoint->windowTitle(), QStringLiteral("Add Marker"));
  EXPECT_TRUE(frmAddPoint->windowFlags() & Qt::WindowStaysOnTopHint);
  for (QLabel* label : frmAddPoint->findChildren<QLabel*>()) EXPECT_NE(label->buddy(), nullptr);

  // Shift-click on the picture adds the clicked pixel.
  QTest::mouseClick(grey->ImageOverlay, Qt::LeftButton, Qt::ShiftModifier, QPoint(12, 7));
  ASSERT_EQ(grey->ImageOverlay->Markers().size(), 1u);
  EXPECT_EQ(grey->ImageOverlay->Markers()[0].X, 12.0f);
  EXPECT_EQ(grey->ImageOverlay->Markers()[0].Y, 7.0f);

  struct Case {
    const char *X, *Y;
    bool Accepted;
  };
  const Case cases[] = {{"39", "0", true},    {"40", "0", false},   {"-5", "3", false},
                        {"2.5", "29", true},  {"0", "30", false},   {"39.25", "1", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.X) + "," + c.Y);
    const std::size_t before = grey->ImageOverlay->Markers().size();
    Boxes.clear();
    Type(frmAddPoint->fedX, QString::fromLatin1(c.X));
    Type(frmAddPoint->fedY, QString::fromLatin1(c.Y));
    QTest::mouseClick(frmAddPoint->btnAddPoint, Qt::LeftButton);
    ASSERT_EQ(grey->ImageOverlay->Markers().size(), before + (c.Accepted ? 1 : 0));
    if (c.Accepted) {
      EXPECT_TRUE(Boxes.empty());
      EXPECT_EQ(grey->ImageOverlay->Markers().back().X, std::stof(c.X));
      EXPECT_EQ(grey->ImageOverlay->Markers().back().Y, std::stof(c.Y));
    } else {
      ASSERT_EQ(Boxes.size(), 1u);
      EXPECT_EQ(Boxes[0].Text, QStringLiteral("Marker coordinates are out of range."));
    }
  }
  // "&Centroid" on a 2 x 2 star in a dragged region: between the four pixels.
  TChildForm* star = GreyWindow(30, 30, 1, [](int x, int y) { return x / 2 == 5 && y / 2 == 7 ? 900.0f : 0.0f; });
  QTest::mousePress(star->ImageOverlay, Qt::LeftButton, {}, QPoint(5, 8));
  QTest::mouseMove(star->ImageOverlay, QPoint(20, 22));
  QTest::mouseRelease(star->ImageOverlay, Qt::LeftButton, {}, QPoint(20, 22));
  QTest::mouseClick(frmAddPoint->btnCentroid, Qt::LeftButton);
  EXPECT_EQ(frmAddPoint->fedX->text() + ' ' + frmAddPoint->fedY->text(), QStringLiteral("10.5 14.5"));
}

TEST_F(MarkerRegistrationTest, DeleteMarkerListsDeletesAndCloses) {
  TChildForm* grey = GreyWindow(20, 20, 0, [](int, int) { return 1.0f; });
  for (auto [x, y] : {std::pair{1.234f, 2.5f}, {3.0f, 4.0f}, {5.125f, 6.0f}}) grey->ImageOverlay->AddMarker(x, y);
  QTreeWidget* list = frmDeleteMarker->ListView;
  auto rows = [list] {
    QStringList r;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
      r << list->topLevelItem(i)->text(0) + ' ' + list->topLevelItem(i)->text(1) + ' ' + list->topLevelItem(i)->text(2);
    return r;
  };
  QStringList seen, afterDelete;
  bool stayedOpen = false;
  RunCommand("EditDeleteMarker", [&](QWidget* dialog) {
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Delete Marker"));
    seen = rows();
    auto* remove = dialog->findChild<QPushButton*>("btnOK");
    QTest::mouseClick(remove, Qt::LeftButton);  // nothing selected: nothing happens
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->topLevelItem(1)).center());
    QTest::mouseClick(remove, Qt::LeftButton);
    afterDelete = rows();
    stayedOpen = dialog->isVisible();
    QTest::mouseClick(dialog->findChild<QPushButton*>("btnCancel"), Qt::LeftButton);
  });
  EXPECT_EQ(seen, (QStringList{"0 1.23 2.50", "1 3.00 4.00", "2 5.13 6.00"}));
  EXPECT_EQ(afterDelete, (QStringList{"0 1.23 2.50", "1 5.13 6.00"}));
  EXPECT_TRUE(stayedOpen);
  EXPECT_EQ(frmDeleteMarker->result(), int(mrOk));  // "&Close" ends with OK
  EXPECT_EQ(list->topLevelItemCount(), 0);
  ASSERT_EQ(grey->ImageOverlay->Markers().size(), 2u);
  EXPECT_EQ(grey->ImageOverlay->Markers()[1].X, 5.125f);
  RunCommand("EditDeleteMarker", [&](QWidget* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
  EXPECT_EQ(frmDeleteMarker->result(), int(mrOk));
}

TEST_F(MarkerRegistrationTest, RegistrationDialogCases) {
  struct Case {
    const char* Name;
    int ReferenceMarkers, TargetMarkers;
    bool ColourTarget;
    const char* Degree;
    const char* Warning;  // the start of the expected warning; null for none
  };
  const Case cases[] = {
      {"three pairs, linear", 3, 3, false, "1", nullptr},
      {"six pairs, quadratic", 6, 6, false, "2", nullptr},
      {"four against three", 3, 4, false, "1", "The number of markers must be the same for all images.  The image B"},
      {"target without markers", 3, 0, false, "1", "There are no markers currently defined on image B."},
      {"reference without markers", 0, 3, false, "1", "There are no markers currently defined on image B."},
      {"colour target", 3, 3, true, "1", "Polynomial image registration can only be performed on grey scale images."},
      {"fifty pairs", 50, 50, false, "1", "At most 49 markers can be used for registration."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TChildForm* a = GreyWindow(48, 40, 1, [](int x, int y) { return Pattern(x, y); }, "A");
    TChildForm* b = c.ColourTarget ? ColourWindow(36, 30, [](int x, int) { return TRGBPixel{std::uint8_t(x), 0, 0}; }, "B")
                                   : GreyWindow(36, 30, 3, [](int x, int y) { return Pattern(x * 1.1f, y * 0.9f); }, "B");
    for (int k = 0; k < c.ReferenceMarkers; ++k) a->ImageOverlay->AddMarker(3 + (k * 7) % 40, 2 + (k * 11) % 35);
    for (int k = 0; k < c.TargetMarkers; ++k)
      b->ImageOverlay->AddMarker((3 + (k * 7) % 40) * 0.7f + 1.0f, (2 + (k * 11) % 35) * 0.75f + 0.5f);
    const int before = WindowCount();
    Boxes.clear();
    Register("A", {"B"}, c.Degree);
    EXPECT_EQ(frmRegisterImage->result(), int(mrOk));
    if (c.Warning) {
      ASSERT_EQ(Boxes.size(), 1u);
      EXPECT_TRUE(Boxes[0].Text.startsWith(QString::fromLatin1(c.Warning))) << Boxes[0].Text.toStdString();
      EXPECT_EQ(WindowCount(), before);
    } else {
      EXPECT_TRUE(Boxes.empty());
      ASSERT_EQ(WindowCount(), before + 1);
      TChildForm* result = WindowCaptioned("B - Registered");
      ASSERT_NE(result, nullptr);
      ASSERT_EQ(result->DataImage->Width, 48);
      ASSERT_EQ(result->DataImage->Height, 40);
      // The same pairs handed to the routine directly.
      TMarkerPairArray pairs{};
      for (int k = 1; k <= c.ReferenceMarkers; ++k) {
        const TMarkerRec t = b->ImageOverlay->Markers()[k - 1], r = a->ImageOverlay->Markers()[k - 1];
        pairs[k] = {t.X, t.Y, r.X, r.Y};
      }
      TDataImage expected;
      expected.Allocate(48, 40, 1, false);
      (c.Degree[0] == '2' ? RegisterQuadratic : RegisterLinear)(c.Degree[0] - '0', pairs, std::uint8_t(c.ReferenceMarkers),
                                                                *b->DataImage, *a->DataImage, expected);
      EXPECT_TRUE(std::equal(expected.Pixels, expected.Pixels + 48 * 40, result->DataImage->Pixels));
      Close(result);
    }
    Close(a);
    Close(b);
  }
}

TEST_F(MarkerRegistrationTest, ReferenceLineIsExcludedFromTargets) {
  for (const char* caption : {"A", "B", "C"}) GreyWindow(8, 8, 0, [](int, int) { return 1.0f; }, caption);
  QStringList seen;  // per step: the lines, "-" for a greyed one, "+" for a checked one
  auto lines = [&seen] {
    QString l;
    for (int i = 0; i < frmRegisterImage->lstImageA->count(); ++i) {
      const QListWidgetItem* item = frmRegisterImage->lstImageA->item(i);
      l += item->text() + (item->flags() & Qt::ItemIsEnabled ? "" : "-") + (item->checkState() ? "+" : "");
    }
    seen << l;
  };
  RunCommand("ProcessRegisterImages", [&](QWidget* dialog) {
    lines();
    Choose(dialog, frmRegisterImage->cmbImageB, frmRegisterImage->lstImageA, "C", {"B"}, false);
    lines();
    frmRegisterImage->cmbImageB->setFocus();  // B as the reference, by keyboard
    QTest::keyClick(frmRegisterImage->cmbImageB, Qt::Key_Down);
    lines();
    QTest::mouseClick(dialog->findChild<QPushButton*>("btnOK"), Qt::LeftButton);  // nothing checked
  });
  EXPECT_EQ(seen, (QStringList{"C-BA", "C-B+A", "CB-A"}));  // the active window first
  EXPECT_EQ(WindowCount(), 3);
  EXPECT_TRUE(Boxes.empty());
}

TEST_F(MarkerRegistrationTest, ShiftedAndRotatedCopyRegistersBackOntoItsReference) {
  // Target point = M * reference point + S, M a turn by 5 degrees.
  const double c = std::cos(5.0 * M_PI / 180.0), s = std::sin(5.0 * M_PI / 180.0), sx = 3.5, sy = -2.25;
  auto toTarget = [&](double x, double y) { return std::pair{c * x - s * y + sx, s * x + c * y + sy}; };
  TChildForm* reference = GreyWindow(80, 64, 3, [](int x, int y) { return Pattern(x, y); }, "Reference");
  TChildForm* target = GreyWindow(80, 64, 3, [&](int x, int y) {
    return Pattern(float(c * (x - sx) + s * (y - sy)), float(-s * (x - sx) + c * (y - sy)));
  }, "Target");
  Form->Action("EditAddMarker")->trigger();
  const double points[4][2] = {{10, 8}, {68, 12}, {15, 55}, {60, 50}};
  for (const auto& p : points) {
    AddMarkerByTyping(reference, p[0], p[1]);
    const auto [u, v] = toTarget(p[0], p[1]);
    AddMarkerByTyping(target, u, v);
  }
  ASSERT_EQ(target->ImageOverlay->Markers().size(), 4u);
  Register("Reference", {"Target"});
  TChildForm* result = WindowCaptioned("Target - Registered");
  ASSERT_NE(result, nullptr);
  // Where the mapped point lies inside the target the result shows the
  // reference again, up to the bilinear interpolation of a smooth pattern;
  // the unregistered target is far off.
  double worst = 0.0, unregistered = 0.0;
  int compared = 0;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 80; ++x) {
      unregistered = std::max(unregistered, std::abs(double(target->DataImage->GetPixel(x, y)) - Pattern(x, y)));
      const auto [u, v] = toTarget(x, y);
      if (u < 1 || v < 1 || u > 78 || v > 62) continue;
      worst = std::max(worst, std::abs(double(result->DataImage->GetPixel(x, y)) - Pattern(x, y)));
      ++compared;
    }
  EXPECT_GT(compared, 3500);
  EXPECT_LT(worst, 0.5);
  EXPECT_GT(unregistered, 10.0);
}

// The program's own start-up: the group's windows exist once, owned by the
// main window, and the add-marker window follows the image windows.
using RegistrationStartUp = AppTest;
TEST_F(RegistrationStartUp, WindowsAndImageHooks) {
  CreateForms(Form.get());
  EXPECT_EQ(Form->findChildren<TfrmAddPoint*>(Qt::FindDirectChildrenOnly).size(), 1);
  EXPECT_EQ(Form->findChildren<TfrmRegisterImage*>(Qt::FindDirectChildrenOnly).size(), 1);
  auto enabled = [] {
    return QString("%1%2%3%4").arg(frmAddPoint->fedX->isEnabled()).arg(frmAddPoint->fedY->isEnabled())
        .arg(frmAddPoint->btnCentroid->isEnabled()).arg(frmAddPoint->btnAddPoint->isEnabled());
  };
  EXPECT_EQ(enabled(), "0000");
  TChildForm* child = GreyWindow(4, 4, 0, [](int, int) { return 0.0f; });
  EXPECT_EQ(enabled(), "1111");
  CloseImageWindow(child);
  EXPECT_EQ(enabled(), "0000");
  FreeForms();
}

}  // namespace
