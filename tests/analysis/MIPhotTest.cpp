// Multiple image photometry as a user runs it: a series of shifted frames
// picked in the dialog, tracked or measured with their own apertures.
#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <cmath>

#include "PhotometryTestSupport.h"
#include "analysis/MIPhotForm.h"
#include "app/FloatEdit.h"
#include "engine/Measure.h"
#include "engine/photometry.h"
#include "platform/NumFormat.h"

namespace {
QString Fmt(long double V) { return QString::fromStdString(NumFormat::FormatFloat("0.000", V)); }

const std::vector<TStar> Stars = {{60.2, 50.4, 20000}, {120.6, 90.3, 8000}, {150.3, 40.7, 50000}};

std::vector<TStar> Shifted(int K) {
  std::vector<TStar> s = Stars;
  for (TStar& star : s) {
    star.X += 1.3 * K;
    star.Y -= 0.8 * K;
  }
  return s;
}
}  // namespace

class MIPhot : public PhotometryTest {
 protected:
  // Opens the dialog from the menu, picks Images in this order, sets it up,
  // presses OK; cancels when the dialog stays open. True when it closed with OK.
  bool Run(const QStringList& Images, bool Manual, const char* Radius = "20") {
    bool closed = false;
    WhenModal([&](QWidget* d) {
      TfrmMIPhot& f = *frmMIPhot;
      EXPECT_EQ(d, &f);
      EXPECT_EQ(f.txtFirstImage->text(), Form->ActiveMDIChild()->Caption());
      for (const QString& name : Images) {
        f.lstSource->clearSelection();
        const auto found = f.lstSource->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << name.toStdString();
        found[0]->setSelected(true);
        QTest::mouseClick(f.btnAdd, Qt::LeftButton);
      }
      QRadioButton* radio = Manual ? f.radManual : f.radAuto;
      QTest::mouseClick(radio, Qt::LeftButton, Qt::NoModifier, QPoint(8, radio->height() / 2));  // on its circle
      EXPECT_EQ(f.fedRadius->isEnabled(), !Manual);
      f.fedRadius->setText(QString::fromLatin1(Radius));
      QTest::mouseClick(d->findChild<QPushButton*>(QStringLiteral("btnOK")), Qt::LeftButton);
      closed = !d->isVisible();
      if (!closed) QTest::mouseClick(d->findChild<QPushButton*>(QStringLiteral("btnCancel")), Qt::LeftButton);
    });
    Form->Action("PhotometryMultiImage")->trigger();
    return closed;
  }
};

TEST_F(MIPhot, FiveShiftedFramesAreTrackedAndMeasured) {
  std::vector<TChildForm*> frames;
  for (int k = 1; k < 5; ++k) frames.push_back(StarField(200, 150, Shifted(k), QStringLiteral("f%1").arg(k)));
  // Frame 3 already holds an aperture of its own; the tracked ones follow it.
  frames[2]->ImageOverlay->AddAperture(30, 30, 8, 13, 18);
  TChildForm* first = StarField(200, 150, Stars, QStringLiteral("f0"));
  frames.insert(frames.begin(), first);
  for (const TStar& s : Stars)
    QTest::mouseClick(first->ImageOverlay, Qt::LeftButton, Qt::AltModifier, QPoint(int(s.X), int(s.Y)));
  ASSERT_EQ(first->ApertureCount(), 3);
  first->CompMagnitude = 10.0;
  first->CompAperture = 2;

  ASSERT_TRUE(Run({"f1", "f2", "f3", "f4"}, false));
  EXPECT_TRUE(Boxes.empty()) << (Boxes.empty() ? "" : Boxes[0].toStdString());
  std::vector<int> base(5, 0);
  base[3] = 1;
  for (int k = 1; k < 5; ++k) {
    ASSERT_EQ(frames[k]->ApertureCount(), base[k] + 3);
    for (int a = 0; a < 3; ++a) {
      EXPECT_NEAR(frames[k]->Aperture(base[k] + a).X, Shifted(k)[a].X, 0.6) << k << " " << a;
      EXPECT_NEAR(frames[k]->Aperture(base[k] + a).Y, Shifted(k)[a].Y, 0.6) << k << " " << a;
      EXPECT_EQ(frames[k]->Aperture(base[k] + a).Rout, first->AnnulusOuter);
    }
  }
  // Aperture 0 in every frame, then aperture 1, then 2.
  const auto rows = GridRows();
  ASSERT_EQ(rows.size(), 15u);
  for (int a = 0; a < 3; ++a)
    for (int k = 0; k < 5; ++k) {
      SCOPED_TRACE(QStringLiteral("aperture %1 frame %2").arg(a).arg(k).toStdString());
      const QStringList& row = rows[std::size_t(a * 5 + k)];
      const TChildForm& f = *frames[k];
      double comp = 0, flux = 0, z = 0, sky = 0, st = 0;
      MeasureAperture(base[k] + 2, comp, z, sky, st, f);
      MeasureAperture(base[k] + a, flux, z, sky, st, f);
      const long double mag = 10.0L - 2.5L * std::log10((long double)flux / comp);
      EXPECT_EQ(row[0], QString::number(a));
      EXPECT_EQ(row[1], Fmt(mag));
      EXPECT_EQ(row[2], Fmt(mag - 10.0L));
      EXPECT_EQ(row[3], Fmt(flux));
      EXPECT_EQ(row[4], Fmt(sky));
      EXPECT_EQ(row[5], Fmt(f.Aperture(base[k] + a).X));
      EXPECT_EQ(row[6], Fmt(f.Aperture(base[k] + a).Y));
      EXPECT_EQ(row[7], f.Caption());
      EXPECT_NEAR(row[1].toDouble(), 10.0 - 2.5 * std::log10(Stars[a].Flux / Stars[2].Flux), 0.03);
    }
  EXPECT_TRUE(frmPhotometryGrid->isVisible());
}

TEST_F(MIPhot, RefusalsStopTheRunWithTheirMessage) {
  struct TCase {
    const char* Name;
    bool Manual;
    int Apertures2;      // apertures defined in frame 2 (manual runs)
    bool Comparison;     // a comparison star in the first image
    bool StarVanishes;   // star 1 missing from frame 2
    bool CompOffImage;   // frame 2's comparison aperture off the image (manual runs)
    const char* Message;
    int Rows;
  } cases[] = {
      {"no comparison star", false, 0, false, false, false, "There is no comparison star defined in the first image.", 0},
      {"too few apertures", true, 1, true, false, false, "There are not enough apertures defined in image f2", 0},
      {"star lost", false, 0, true, true, false,
       "Could not track star in aperture: 1, image: f2.  Could not determine star location.", 0},
      {"comparison lost", true, 2, true, false, true, "Could not determine comparison star in image f2", 1},
      {"defined apertures", true, 2, true, false, false, nullptr, 6},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Boxes.clear();
    std::vector<TStar> second = Shifted(1);
    if (c.StarVanishes) second.erase(second.begin() + 1);
    TChildForm* f2 = StarField(200, 150, second, QStringLiteral("f2"));
    TChildForm* f3 = StarField(200, 150, Shifted(2), QStringLiteral("f3"));
    TChildForm* f1 = StarField(200, 150, Stars, QStringLiteral("f1"));
    for (int a = 0; a < 2; ++a) f1->ImageOverlay->AddAperture(Stars[a].X, Stars[a].Y, 8, 13, 18);
    for (int a = 0; a < c.Apertures2; ++a)
      f2->ImageOverlay->AddAperture(c.CompOffImage && a == 0 ? 5 : second[a].X, second[a].Y, 8, 13, 18);
    for (int a = 0; a < 2; ++a) f3->ImageOverlay->AddAperture(Shifted(2)[a].X, Shifted(2)[a].Y, 8, 13, 18);
    if (c.Comparison) f1->CompMagnitude = 12.0;
    f1->CompAperture = 0;
    const bool closed = Run({"f2", "f3"}, c.Manual);
    EXPECT_EQ(closed, c.Message == nullptr);
    if (c.Message) {
      ASSERT_EQ(Boxes.size(), 1u);
      EXPECT_EQ(Boxes[0], QString::fromLatin1(c.Message));
    }
    EXPECT_EQ(int(GridRows().size()), c.Rows);
    Answers = {mrYes};
    frmPhotometryGrid->Clearresults1->trigger();
    for (TChildForm* w : {f1, f2, f3}) w->close();
  }
}

TEST_F(MIPhot, TrackingTakesTheBrightestPixelInsideTheBrightnessWindow) {
  // First image: a pixel of 100 under aperture 0 and one under aperture 1 near the left edge.
  auto frame = [this](const QString& Name, std::vector<std::tuple<int, int, float>> Pixels) {
    TChildForm* child = StarField(60, 60, {}, Name, 0.0f);
    for (auto [x, y, v] : Pixels) child->DataImage->SetPixel(x, y, v);
    child->UpdateImage();
    return child;
  };
  // 145 and 55 lie on the window's bounds and are no candidates; 144 is the brightest inside.
  TChildForm* next = frame(QStringLiteral("next"), {{32, 30, 145}, {28, 30, 55}, {30, 33, 144}, {30, 28, 60},
                                                    {0, 31, 120}});
  TChildForm* first = frame(QStringLiteral("first"), {{30, 30, 100}, {2, 30, 100}});
  first->ImageOverlay->AddAperture(30, 30, 8, 13, 18);
  first->ImageOverlay->AddAperture(2, 30, 8, 13, 18);
  first->CompMagnitude = 10.0;
  first->CompAperture = 0;
  ASSERT_TRUE(Run({"next"}, false, "4"));
  ASSERT_EQ(next->ApertureCount(), 2);
  float x = 30, y = 33;
  ASSERT_TRUE(MeasureStarCentroid(x, y, 4, *next));
  EXPECT_EQ(next->Aperture(0).X, x);
  EXPECT_EQ(next->Aperture(0).Y, y);
  // A star found in column 0 keeps its raw position; it cannot be measured there.
  EXPECT_EQ(next->Aperture(1).X, 0.0f);
  EXPECT_EQ(next->Aperture(1).Y, 31.0f);
  const auto rows = GridRows();
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[3][1], QStringLiteral("#Error#"));
  EXPECT_EQ(rows[3][7], QStringLiteral("next"));
}
