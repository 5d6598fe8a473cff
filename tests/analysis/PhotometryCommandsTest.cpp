// The photometry commands of an image window, used as a user does: Ctrl- and
// Alt-clicks on the picture, the comparison star and settings dialogs, and
// the two magnitude commands filling the results grid.
#include <QAction>
#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <cmath>

#include "PhotometryTestSupport.h"
#include "analysis/PhotometryRefForm.h"
#include "analysis/PhotometrySettingsForm.h"
#include "app/FloatEdit.h"
#include "engine/Measure.h"
#include "engine/photometry.h"
#include "platform/NumFormat.h"

namespace {
QString Fmt(long double V) { return QString::fromStdString(NumFormat::FormatFloat("0.000", V)); }

// Stars of a 200 x 150 field; the last lies too near the left edge for a
// whole annulus once its centroid is found.
const std::vector<TStar> Field = {{60.3, 50.6, 20000}, {120.7, 80.2, 8000}, {160.4, 40.5, 50000}, {16.6, 110.4, 15000}};

void ClickOK(QWidget* Dialog) { QTest::mouseClick(Dialog->findChild<QPushButton*>(QStringLiteral("btnOK")), Qt::LeftButton); }
}  // namespace

TEST_F(PhotometryTest, CtrlAndAltClicksPlaceMarkersAndApertures) {
  struct TCase {
    const char* Name;
    bool Colour;
    Qt::KeyboardModifiers Keys;
    float Zoom;
    QPoint Screen;
    bool Marker, Aperture;
  };
  const TCase cases[] = {
      {"Alt on a star", false, Qt::AltModifier, 100, {60, 50}, false, true},
      {"Ctrl on a star", false, Qt::ControlModifier, 100, {60, 50}, true, false},
      {"Ctrl+Alt on a star", false, Qt::ControlModifier | Qt::AltModifier, 100, {161, 41}, true, true},
      {"Alt at 200 %", false, Qt::AltModifier, 200, {241, 161}, false, true},
      {"Alt 18 pixels inside", false, Qt::AltModifier, 100, {18, 110}, false, true},
      {"Alt 17 pixels inside", false, Qt::AltModifier, 100, {17, 110}, false, false},
      {"Alt on empty sky", false, Qt::AltModifier, 100, {100, 120}, false, false},
      {"Alt 18 above the bottom", false, Qt::AltModifier, 100, {100, 132}, false, false},
      {"Ctrl+Alt on colour", true, Qt::ControlModifier | Qt::AltModifier, 100, {60, 50}, false, false},
      {"Alt on colour", true, Qt::AltModifier, 100, {60, 50}, false, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TChildForm* child = StarField(200, 150, Field, QString::fromLatin1(c.Name));
    if (c.Colour) {
      child->DataImage->Allocate(200, 150, 0, true);
      for (int y = 40; y < 60; ++y)
        for (int x = 50; x < 70; ++x) child->DataImage->SetRGB(x, y, {200, 200, 200});
      child->UpdateImage();
    }
    child->SetZoom(c.Zoom);
    QTest::mouseClick(child->ImageOverlay, Qt::LeftButton, c.Keys, c.Screen);
    // Where the centroid search takes the clicked image point.
    float x = float(std::trunc(100.0 / c.Zoom * c.Screen.x())), y = float(std::trunc(100.0 / c.Zoom * c.Screen.y()));
    const bool found = MeasureStarCentroid(x, y, 10, *child);
    const auto& markers = child->ImageOverlay->Markers();
    const auto& apertures = child->ImageOverlay->Apertures();
    ASSERT_EQ(markers.size(), c.Marker ? 1u : 0u);
    ASSERT_EQ(apertures.size(), c.Aperture ? 1u : 0u);
    if (c.Marker) {
      EXPECT_EQ(markers[0].X, x);
      EXPECT_EQ(markers[0].Y, y);
    }
    if (c.Aperture) {
      ASSERT_TRUE(found);
      EXPECT_EQ(apertures[0].X, x);
      EXPECT_EQ(apertures[0].Y, y);
      EXPECT_EQ(apertures[0].R, 8);
      EXPECT_EQ(apertures[0].Rin, 13);
      EXPECT_EQ(apertures[0].Rout, 18);
    }
    child->close();
  }
}

TEST_F(PhotometryTest, DifferentialAndAbsoluteMagnitudesFillTheGrid) {
  TChildForm* child = StarField(200, 150, Field, QStringLiteral("field.fts"));
  // Without a comparison star: the warning, no rows.
  QTest::mouseClick(child->ImageOverlay, Qt::LeftButton, Qt::AltModifier, QPoint(60, 50));
  Form->Action("PhotometryCalcMag")->trigger();
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0], QStringLiteral("No comparison star is set.  A comparison star must be set before doing "
                                     "differential photometry."));
  EXPECT_EQ(frmPhotometryGrid->NextRow(), 1);

  // Two more apertures; the second one's centroid lies too near the edge to measure.
  QTest::mouseClick(child->ImageOverlay, Qt::LeftButton, Qt::AltModifier, QPoint(18, 110));
  QTest::mouseClick(child->ImageOverlay, Qt::LeftButton, Qt::AltModifier, QPoint(160, 40));
  ASSERT_EQ(child->ApertureCount(), 3);
  ASSERT_LT(child->Aperture(1).X, 17.5f);

  // The comparison star: aperture 2, magnitude 11.5.
  WhenModal([](QWidget* d) {
    EXPECT_EQ(d, frmPhotRefStar);
    EXPECT_EQ(frmPhotRefStar->cmbApatureNo->count(), 3);
    frmPhotRefStar->fedRefMag->setText(QStringLiteral("11.5"));
    frmPhotRefStar->cmbApatureNo->setCurrentIndex(2);
    ClickOK(d);
  });
  Form->Action("PhotometrySetRef")->trigger();
  EXPECT_EQ(child->CompMagnitude, 11.5);
  EXPECT_EQ(child->CompAperture, 2);

  Form->Action("PhotometryCalcMag")->trigger();
  EXPECT_TRUE(frmPhotometryGrid->isVisible());
  auto rows = GridRows();
  ASSERT_EQ(rows.size(), 3u);
  double compFlux = 0, zero = 0, sky = 0, status = 0;
  MeasureAperture(2, compFlux, zero, sky, status, *child);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const QStringList& row = rows[std::size_t(i)];
    double flux = 0, z = 0, s = 0, st = 0;
    MeasureAperture(i, flux, z, s, st, *child);
    EXPECT_EQ(row[0], QString::number(i));
    EXPECT_EQ(row[5], Fmt(child->Aperture(i).X));
    EXPECT_EQ(row[6], Fmt(child->Aperture(i).Y));
    EXPECT_EQ(row[7], QStringLiteral("field.fts"));
    if (i == 1) {
      EXPECT_EQ(st, FailedMeasure);
      EXPECT_EQ(row[1], QStringLiteral("#Error#"));
      EXPECT_EQ(row[2], QStringLiteral("#Error#"));
      EXPECT_EQ(row[3], Fmt(0));
      continue;
    }
    const long double mag = 11.5L - 2.5L * std::log10((long double)flux / compFlux);
    EXPECT_EQ(row[1], Fmt(mag));
    EXPECT_EQ(row[2], Fmt(mag - 11.5L));
    EXPECT_EQ(row[3], Fmt(flux));
    EXPECT_EQ(row[4], Fmt(s));
    // The measured magnitudes follow the stars' true fluxes.
    const double truth = 11.5 - 2.5 * std::log10(Field[i == 0 ? 0 : 2].Flux / Field[2].Flux);
    EXPECT_NEAR(row[1].toDouble(), truth, 0.02);
    EXPECT_NEAR(row[4].toDouble(), 100.0, 0.01);
  }

  // Absolute photometry with the zero point and exposure typed in the settings.
  WhenModal([](QWidget* d) {
    EXPECT_EQ(d, frmPhotSettings);
    frmPhotSettings->fedZeroPoint->setText(QStringLiteral("21"));
    frmPhotSettings->fedExposure->setText(QStringLiteral("30"));
    ClickOK(d);
  });
  Form->Action("PhotometrySetup")->trigger();
  EXPECT_EQ(child->ZeroPoint, 21.0);
  EXPECT_EQ(child->IntegrationTime, 30.0);
  Form->Action("PhotometryCalcAbsMag")->trigger();
  rows = GridRows();
  ASSERT_EQ(rows.size(), 6u);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const QStringList& row = rows[std::size_t(3 + i)];
    if (i == 1) {
      EXPECT_EQ(row[1], QStringLiteral("#Error#"));
      continue;
    }
    double flux = 0, z = 0, s = 0, st = 0;
    MeasureAperture(i, flux, z, s, st, *child);
    EXPECT_EQ(row[1], Fmt(21.0L - 2.5L * std::log10((long double)flux / 30.0L)));
    EXPECT_EQ(row[2], Fmt(0));
    EXPECT_NEAR(row[1].toDouble(), 21.0 - 2.5 * std::log10(Field[i == 0 ? 0 : 2].Flux / 30.0), 0.05);
  }
  EXPECT_TRUE(Errors.empty());
}

TEST_F(PhotometryTest, MagnitudesOfStarsFainterThanTheirSkyAreMarkedFailed) {
  // A hole in the sky: the flux inside the aperture is below zero.
  TChildForm* child = StarField(120, 100, {{40.2, 50.3, 30000}, {80.5, 50.5, -4000}}, QStringLiteral("hole"));
  child->ImageOverlay->AddAperture(40.2f, 50.3f, 8, 13, 18);
  child->ImageOverlay->AddAperture(80.5f, 50.5f, 8, 13, 18);
  child->CompMagnitude = 10.0;
  child->CompAperture = 0;
  Form->Action("PhotometryCalcMag")->trigger();
  Form->Action("PhotometryCalcAbsMag")->trigger();
  const auto rows = GridRows();
  ASSERT_EQ(rows.size(), 4u);
  for (int r : {1, 3}) {
    EXPECT_EQ(rows[std::size_t(r)][1], QStringLiteral("#Error#"));
    EXPECT_LT(rows[std::size_t(r)][3].toDouble(), 0.0);  // the counts are still shown
  }
  EXPECT_NE(rows[0][1], QStringLiteral("#Error#"));
  // A comparison index left behind by removed apertures is refused.
  child->CompAperture = 5;
  Form->Action("PhotometryCalcMag")->trigger();
  EXPECT_EQ(GridRows().size(), 4u);
  ASSERT_FALSE(Boxes.empty());
  EXPECT_TRUE(Boxes.back().startsWith(QStringLiteral("The comparison star's aperture")));
  EXPECT_TRUE(Errors.empty());
}
