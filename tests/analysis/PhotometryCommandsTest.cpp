// The photometry commands of an image window as a user gives them: Ctrl- and
// Alt-clicks, the comparison star and settings dialogs, the magnitude commands.
#include <QAction>
#include <QComboBox>
#include <QPushButton>
#include <QTest>

#include "PhotometryTestSupport.h"
#include "analysis/PhotometryRefForm.h"
#include "analysis/PhotometrySettingsForm.h"
#include "app/FloatEdit.h"
#include "engine/Measure.h"
#include "engine/photometry.h"

namespace {
// The second star lies too near the left edge for a whole annulus once its
// centroid is found; the fourth is a hole darker than the sky.
const std::vector<TFieldStar> Field = {
    {60.3, 50.6, 20000}, {16.6, 110.4, 15000}, {160.4, 40.5, 50000}, {110.5, 110.5, -4000}, {120.7, 80.2, 8000}};

void ClickOK(QWidget* Dialog) { QTest::mouseClick(Dialog->findChild<QPushButton*>("btnOK"), Qt::LeftButton); }
}  // namespace

TEST_F(PhotometryTest, CtrlAndAltClicksPlaceMarkersAndApertures) {
  const Qt::KeyboardModifiers ctrl = Qt::ControlModifier, alt = Qt::AltModifier, both = ctrl | alt;
  const struct {
    bool Colour;
    Qt::KeyboardModifiers Keys;
    float Zoom;
    QPoint At;
    bool Marker, Aperture;
  } cases[] = {{false, alt, 100, {60, 50}, false, true},   {false, ctrl, 100, {60, 50}, true, false},
               {false, both, 100, {161, 41}, true, true},  {false, alt, 200, {241, 161}, false, true},
               {false, alt, 100, {18, 110}, false, true},  {false, alt, 100, {17, 110}, false, false},
               {false, alt, 100, {100, 60}, false, false}, {false, alt, 100, {160, 132}, false, false},
               {false, ctrl, 100, {100, 60}, false, false},  // no star found: no marker at (0, 0)
               {true, both, 100, {60, 50}, false, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(QStringLiteral("%1 at %2,%3").arg(int(c.Keys)).arg(c.At.x()).arg(c.At.y()).toStdString());
    TChildForm* child = StarField(200, 150, Field, QStringLiteral("clicks"));
    if (c.Colour) child->DataImage->Allocate(200, 150, 0, true);
    child->SetZoom(c.Zoom);
    QTest::mouseClick(child->ImageOverlay, Qt::LeftButton, c.Keys, c.At);
    float x = std::trunc(100.0f / c.Zoom * c.At.x()), y = std::trunc(100.0f / c.Zoom * c.At.y());
    const bool found = MeasureStarCentroid(x, y, 10, *child);  // where the search takes the clicked point
    ASSERT_EQ(child->ImageOverlay->Markers().size(), c.Marker ? 1u : 0u);
    ASSERT_EQ(child->ApertureCount(), c.Aperture ? 1 : 0);
    if (c.Marker) { EXPECT_TRUE(child->ImageOverlay->Markers()[0].X == x && child->ImageOverlay->Markers()[0].Y == y); }
    if (c.Aperture) {
      const TApertureRec a = child->Aperture(0);
      EXPECT_TRUE(found && a.X == x && a.Y == y && a.R == 8 && a.Rin == 13 && a.Rout == 18);
    }
    child->close();
  }
}

TEST_F(PhotometryTest, DifferentialAndAbsoluteMagnitudesFillTheGrid) {
  TChildForm* child = StarField(200, 150, Field, QStringLiteral("field.fts"));
  QTest::mouseClick(child->ImageOverlay, Qt::LeftButton, Qt::AltModifier, QPoint(60, 50));
  Form->Action("PhotometryCalcMag")->trigger();
  ASSERT_EQ(Boxes, std::vector<QString>{"No comparison star is set.  A comparison star must be set before doing "
                                        "differential photometry."});
  QTest::mouseClick(child->ImageOverlay, Qt::LeftButton, Qt::AltModifier, QPoint(18, 110));
  QTest::mouseClick(child->ImageOverlay, Qt::LeftButton, Qt::AltModifier, QPoint(160, 40));
  child->ImageOverlay->AddAperture(110.5f, 110.5f, 8, 13, 18);  // no centroid on a hole: placed by hand
  ASSERT_TRUE(child->ApertureCount() == 4 && child->Aperture(1).X < 17.5f);
  WhenModal([](QWidget* d) {
    EXPECT_EQ(frmPhotRefStar->cmbApatureNo->count(), 4);
    frmPhotRefStar->fedRefMag->setText(QStringLiteral("11.5"));
    frmPhotRefStar->cmbApatureNo->setCurrentIndex(2);
    ClickOK(d);
  });
  Form->Action("PhotometrySetRef")->trigger();
  ASSERT_TRUE(child->CompMagnitude == 11.5 && child->CompAperture == 2);
  Form->Action("PhotometryCalcMag")->trigger();
  EXPECT_TRUE(frmPhotometryGrid->isVisible());
  WhenModal([](QWidget* d) {
    frmPhotSettings->fedZeroPoint->setText(QStringLiteral("21"));
    frmPhotSettings->fedExposure->setText(QStringLiteral("30"));
    ClickOK(d);
  });
  Form->Action("PhotometrySetup")->trigger();
  ASSERT_TRUE(child->ZeroPoint == 21.0 && child->IntegrationTime == 30.0);
  Form->Action("PhotometryCalcAbsMag")->trigger();

  // Four differential rows, then four absolute ones; the edge star and the hole fail.
  const auto rows = GridRows();
  ASSERT_EQ(rows.size(), 8u);
  double comp = 0, z = 0, s = 0, st = 0;
  MeasureAperture(2, comp, z, s, st, *child);
  for (std::size_t r = 0; r < rows.size(); ++r) {
    SCOPED_TRACE(r);
    const int i = int(r % 4);
    const bool absolute = r >= 4, failed = i == 1 || i == 3;
    double flux = 0, sky = 0;
    MeasureAperture(i, flux, z, sky, st, *child);
    const long double mag = absolute ? 21 - 2.5L * std::log10(flux / 30.0L) : 11.5 - 2.5L * std::log10(flux / comp);
    const QString error = QStringLiteral("#Error#");
    EXPECT_EQ(rows[r], QStringList({QString::number(i), failed ? error : Fmt(mag),
                                    failed ? error : Fmt(absolute ? 0 : mag - 11.5L), Fmt(i == 1 ? 0 : flux),
                                    Fmt(i == 1 ? 0 : sky), Fmt(child->Aperture(i).X), Fmt(child->Aperture(i).Y),
                                    "field.fts"}));
    // Magnitudes follow the stars' true fluxes.
    const double truth = absolute ? 21 - 2.5 * std::log10(Field[i].Flux / 30)
                                  : 11.5 - 2.5 * std::log10(Field[i].Flux / Field[2].Flux);
    if (!failed) { EXPECT_NEAR(rows[r][1].toDouble(), truth, 0.01); }
  }
  EXPECT_EQ(Errors, 0);
  child->CompAperture = 4;  // left behind by removed apertures: refused
  Form->Action("PhotometryCalcMag")->trigger();
  EXPECT_EQ(GridRows().size(), 8u);
  EXPECT_TRUE(Boxes.back().startsWith(QStringLiteral("The comparison star's aperture")));
  child->CompAperture = 1;  // too near the edge to measure: said, and no row
  Boxes.clear();
  Form->Action("PhotometryCalcMag")->trigger();
  EXPECT_EQ(GridRows().size(), 8u);
  EXPECT_EQ(Boxes, std::vector<QString>{"The comparison star in aperture 1 could not be measured.  The aperture and its "
                                        "annulus must lie wholly within the image."});
  child->CompAperture = 3;  // a comparison darker than its sky: no row has a magnitude, the hole's own included
  Form->Action("PhotometryCalcMag")->trigger();
  const auto dark = GridRows();
  ASSERT_EQ(dark.size(), 12u);
  for (std::size_t r = 8; r < 12; ++r) EXPECT_EQ(dark[r][1].toStdString(), "#Error#") << r;
}
