// Multiple image photometry as a user runs it: frames picked in the dialog,
// tracked or measured with their own apertures.
#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "PhotometryTestSupport.h"
#include "analysis/MIPhotForm.h"
#include "app/FloatEdit.h"
#include "engine/Measure.h"
#include "engine/photometry.h"

namespace {
const std::vector<TFieldStar> Stars = {{60.2, 50.4, 20000}, {120.6, 90.3, 8000}, {150.3, 40.7, 50000}};

std::vector<TFieldStar> Shifted(int K) {
  std::vector<TFieldStar> s = Stars;
  for (TFieldStar& star : s) star.X += 1.3 * K, star.Y -= 0.8 * K;
  return s;
}
}  // namespace

class MIPhot : public PhotometryTest {
 protected:
  // Opens the dialog from the menu, adds Images one by one, presses OK and,
  // when the dialog stays open, Cancel. True when OK closed it.
  bool Run(const QStringList& Images, bool Manual, const char* Radius = "20") {
    bool closed = false;
    WhenModal([&](QWidget* d) {
      TfrmMIPhot& f = *frmMIPhot;
      EXPECT_EQ(f.txtFirstImage->text(), Form->ActiveMDIChild()->Caption());
      for (const QString& name : Images) {
        f.lstSource->clearSelection();
        for (QListWidgetItem* item : f.lstSource->findItems(name, Qt::MatchExactly)) item->setSelected(true);
        QTest::mouseClick(f.btnAdd, Qt::LeftButton);
      }
      QRadioButton* radio = Manual ? f.radManual : f.radAuto;
      QTest::mouseClick(radio, Qt::LeftButton, Qt::NoModifier, QPoint(8, radio->height() / 2));
      EXPECT_EQ(f.fedRadius->isEnabled(), !Manual);
      f.fedRadius->setText(QString::fromLatin1(Radius));
      QTest::mouseClick(d->findChild<QPushButton*>("btnOK"), Qt::LeftButton);
      if (!(closed = !d->isVisible())) QTest::mouseClick(d->findChild<QPushButton*>("btnCancel"), Qt::LeftButton);
    });
    Form->Action("PhotometryMultiImage")->trigger();
    return closed;
  }
};

TEST_F(MIPhot, FiveShiftedFramesAreTrackedAndMeasured) {
  std::vector<TChildForm*> frames(1);
  for (int k = 1; k < 5; ++k) frames.push_back(StarField(200, 150, Shifted(k), QStringLiteral("f%1").arg(k)));
  frames[3]->ImageOverlay->AddAperture(30, 30, 8, 13, 18);  // its own aperture: the tracked ones follow it
  const std::vector<int> base = {0, 0, 0, 1, 0};
  TChildForm* first = frames[0] = StarField(200, 150, Stars, QStringLiteral("f0"));
  for (const TFieldStar& s : Stars)
    QTest::mouseClick(first->ImageOverlay, Qt::LeftButton, Qt::AltModifier, QPoint(int(s.X), int(s.Y)));
  first->CompMagnitude = 10.0;
  first->CompAperture = 2;
  ASSERT_TRUE(Run({"f1", "f2", "f3", "f4"}, false));
  EXPECT_TRUE(Boxes.empty());

  // Aperture 0 in every frame, then aperture 1, then 2.
  const auto rows = GridRows();
  ASSERT_EQ(rows.size(), 15u);
  for (int a = 0; a < 3; ++a)
    for (int k = 0; k < 5; ++k) {
      SCOPED_TRACE(QStringLiteral("aperture %1 frame %2").arg(a).arg(k).toStdString());
      const TChildForm& f = *frames[std::size_t(k)];
      ASSERT_EQ(f.ApertureCount(), base[k] + 3);
      const TApertureRec ap = f.Aperture(base[k] + a);
      EXPECT_TRUE(std::abs(ap.X - Shifted(k)[a].X) < 0.6 && std::abs(ap.Y - Shifted(k)[a].Y) < 0.6);
      EXPECT_EQ(ap.Rout, first->AnnulusOuter);
      double comp = 0, flux = 0, z = 0, sky = 0, st = 0;
      MeasureAperture(base[k] + 2, comp, z, sky, st, f);
      MeasureAperture(base[k] + a, flux, z, sky, st, f);
      const long double mag = 10.0L - 2.5L * std::log10((long double)flux / comp);
      EXPECT_EQ(rows[std::size_t(a * 5 + k)], QStringList({QString::number(a), Fmt(mag), Fmt(mag - 10), Fmt(flux),
                                                           Fmt(sky), Fmt(ap.X), Fmt(ap.Y), f.Caption()}));
      EXPECT_NEAR(rows[std::size_t(a * 5 + k)][1].toDouble(), 10 - 2.5 * std::log10(Stars[a].Flux / Stars[2].Flux), 0.03);
    }
  EXPECT_EQ(Errors, 0);
}

TEST_F(MIPhot, RefusalsStopTheRunWithTheirMessage) {
  const struct {
    bool Manual, Comparison, StarLost, CompOffImage;
    int Apertures2;  // apertures defined in the second frame
    const char* Message;
    int Rows;
  } cases[] = {
      {false, false, false, false, 0, "There is no comparison star defined in the first image.", 0},
      {true, true, false, false, 1, "There are not enough apertures defined in image f2", 0},
      {false, true, true, false, 0, "Could not track star in aperture: 1, image: f2.  Could not determine star location.", 0},
      {true, true, false, true, 2, "Could not determine comparison star in image f2", 1},
      {true, true, false, false, 2, nullptr, 6},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Rows);
    Boxes.clear();
    std::vector<TFieldStar> second = Shifted(1);
    if (c.StarLost) second.erase(second.begin() + 1);
    TChildForm* f2 = StarField(200, 150, second, QStringLiteral("f2"));
    TChildForm* f3 = StarField(200, 150, Shifted(2), QStringLiteral("f3"));
    TChildForm* f1 = StarField(200, 150, Stars, QStringLiteral("f1"));
    for (int a = 0; a < 2; ++a) {
      f1->ImageOverlay->AddAperture(Stars[a].X, Stars[a].Y, 8, 13, 18);
      f3->ImageOverlay->AddAperture(Shifted(2)[a].X, Shifted(2)[a].Y, 8, 13, 18);
      if (a < c.Apertures2) f2->ImageOverlay->AddAperture(c.CompOffImage && a == 0 ? 5 : second[a].X, second[a].Y, 8, 13, 18);
    }
    if (c.Comparison) f1->CompMagnitude = 12.0;
    EXPECT_EQ(Run({"f2", "f3"}, c.Manual), c.Message == nullptr);
    EXPECT_EQ(Boxes, c.Message ? std::vector<QString>{QString::fromLatin1(c.Message)} : std::vector<QString>{});
    EXPECT_EQ(int(GridRows().size()), c.Rows);
    Answers = {mrYes};
    frmPhotometryGrid->Clearresults1->trigger();
    for (TChildForm* w : {f1, f2, f3}) w->close();
  }
  // A colour first image has no grey values to measure.
  StarField(64, 64, {}, QStringLiteral("grey"));
  TChildForm* colour = StarField(64, 64, {}, QStringLiteral("colour"));
  colour->DataImage->Allocate(64, 64, 0, true);
  colour->CompMagnitude = 10.0;
  Boxes.clear();
  EXPECT_FALSE(Run({"grey"}, true));
  EXPECT_EQ(Boxes, std::vector<QString>{"The first image is a colour image.  Multiple image photometry measures grey "
                                        "images only."});
}

TEST_F(MIPhot, TrackingTakesTheBrightestPixelInsideTheBrightnessWindow) {
  auto frame = [this](const QString& Name, std::vector<std::tuple<int, int, float>> Pixels) {
    TChildForm* child = StarField(60, 60, {}, Name, 0.0f);
    for (auto [x, y, v] : Pixels) child->DataImage->SetPixel(x, y, v);
    return child;
  };
  // About a reference of 100, 145 and 55 are no candidates; 144 is the brightest one.
  TChildForm* next = frame("next", {{32, 30, 145}, {28, 30, 55}, {30, 33, 144}, {30, 28, 60}, {0, 31, 120}});
  TChildForm* first = frame("first", {{30, 30, 100}, {2, 30, 100}});
  first->ImageOverlay->AddAperture(30, 30, 8, 13, 18);
  first->ImageOverlay->AddAperture(2, 30, 8, 13, 18);
  first->CompMagnitude = 10.0;
  ASSERT_TRUE(Run({"next"}, false, "4"));
  float x = 30, y = 33;
  ASSERT_TRUE(MeasureStarCentroid(x, y, 4, *next));
  ASSERT_EQ(next->ApertureCount(), 2);
  EXPECT_TRUE(next->Aperture(0).X == x && next->Aperture(0).Y == y);
  // A star found in column 0 keeps its raw position, where it cannot be measured.
  EXPECT_TRUE(next->Aperture(1).X == 0.0f && next->Aperture(1).Y == 31.0f);
  const auto rows = GridRows();
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[3][1], QStringLiteral("#Error#"));
}
