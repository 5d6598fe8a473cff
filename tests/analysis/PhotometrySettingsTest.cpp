// Photometry settings kept in the settings store, the drawn preview, and the
// add-aperture tool window.
#include <QAction>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "PhotometryTestSupport.h"
#include "analysis/AddApatureForm.h"
#include "analysis/PhotometrySettingsForm.h"
#include "app/FloatEdit.h"
#include "app/IntEdit.h"
#include "engine/Measure.h"
#include "platform/NumFormat.h"

namespace {
const QString Key = QString::fromLatin1(ApplicationKey);

QStringList Shown(const TfrmPhotSettings& F) {
  return {F.iedR1->text(), F.iedR2->text(), F.iedR3->text(), F.fedZeroPoint->text(), F.fedExposure->text()};
}
}  // namespace

TEST_F(PhotometryTest, SettingsAreReadInOrderUpToTheFirstMissingValue) {
  struct TCase {
    const char* Name;
    bool Key;
    bool Outer;  // "Annulus Outer" stored
    QStringList Expected;
  } cases[] = {
      {"first run", false, false, {"8", "13", "18", "20", "60"}},
      {"all stored", true, true, {"5", "9", "14", "19.5", "120"}},
      {"outer radius missing", true, false, {"5", "9", "18", "20", "60"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    {
      TRegistry reg;
      reg.DeleteKey(Key);
      if (c.Key) {
        reg.OpenKey(Key, true);
        reg.WriteInteger(QStringLiteral("Aperture"), 5);
        reg.WriteInteger(QStringLiteral("Annulus Inner"), 9);
        if (c.Outer) reg.WriteInteger(QStringLiteral("Annulus Outer"), 14);
        reg.WriteFloat(QStringLiteral("Zero Point"), 19.5);
        reg.WriteFloat(QStringLiteral("Intergration Time"), 120);
      }
    }
    TfrmPhotSettings form;
    EXPECT_EQ(Shown(form), c.Expected);
    EXPECT_FALSE(form.findChild<QLabel*>(QStringLiteral("imgPreview"))->accessibleName().isEmpty());
  }
}

TEST_F(PhotometryTest, SettingsOKRefusesInwardRadiiAndStoresTheRest) {
  { TRegistry().CreateKey(Key); }
  TChildForm* child = StarField(64, 64, {}, QStringLiteral("flat"));
  struct TCase {
    const char* R1;
    const char* R2;
    const char* R3;
    bool Accepted;
  } cases[] = {{"8", "8", "18", false}, {"9", "6", "12", false}, {"6", "10", "10", false}, {"6", "10", "16", true}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.R2);
    Boxes.clear();
    bool stillOpen = false;
    WhenModal([&](QWidget* d) {
      frmPhotSettings->iedR1->setText(QString::fromLatin1(c.R1));
      frmPhotSettings->iedR2->setText(QString::fromLatin1(c.R2));
      frmPhotSettings->iedR3->setText(QString::fromLatin1(c.R3));
      frmPhotSettings->fedZeroPoint->setText(QStringLiteral("19"));
      frmPhotSettings->fedExposure->setText(QStringLiteral("45"));
      QTest::mouseClick(d->findChild<QPushButton*>(QStringLiteral("btnOK")), Qt::LeftButton);
      stillOpen = d->isVisible();
      if (stillOpen) QTest::mouseClick(d->findChild<QPushButton*>(QStringLiteral("btnCancel")), Qt::LeftButton);
    });
    Form->Action("PhotometrySetup")->trigger();
    EXPECT_EQ(stillOpen, !c.Accepted);
    EXPECT_EQ(Boxes.size(), c.Accepted ? 0u : 1u);
  }
  EXPECT_EQ(child->ApertureRadius, 6);
  EXPECT_EQ(child->AnnulusInner, 10);
  EXPECT_EQ(child->AnnulusOuter, 16);
  EXPECT_EQ(child->ZeroPoint, 19.0);
  EXPECT_EQ(child->IntegrationTime, 45.0);
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(Key, false));
  EXPECT_EQ(reg.ReadInteger(QStringLiteral("Annulus Outer")), 16);
  EXPECT_EQ(reg.ReadFloat(QStringLiteral("Intergration Time")), 45.0);
  // A new window starts with the stored values.
  TChildForm* next = StarField(64, 64, {}, QStringLiteral("next"));
  EXPECT_EQ(next->AnnulusInner, 10);
  EXPECT_EQ(next->ZeroPoint, 19.0);
}

TEST_F(PhotometryTest, PreviewDrawsThreeCirclesOnlyForOutwardRadii) {
  TfrmPhotSettings& f = *frmPhotSettings;
  f.iedR1->setText(QStringLiteral("8"));
  f.iedR2->setText(QStringLiteral("13"));
  f.iedR3->setText(QStringLiteral("18"));
  const QImage first = f.Preview().toImage();
  ASSERT_EQ(first.size(), QSize(105, 89));
  // White on the circles through (52 + r, 44), black at the centre and the corner.
  for (int r : {8, 13, 18}) {
    bool white = false;
    for (int dx = -1; dx <= 1; ++dx) white = white || first.pixelColor(52 + r + dx, 44) == Qt::white;
    EXPECT_TRUE(white) << r;
  }
  EXPECT_EQ(first.pixelColor(52, 44), QColor(Qt::black));
  EXPECT_EQ(first.pixelColor(2, 2), QColor(Qt::black));
  f.iedR2->setText(QStringLiteral("8"));  // 8, 8, 18: the picture stays
  EXPECT_EQ(f.Preview().toImage(), first);
  f.iedR2->setText(QStringLiteral("10"));
  EXPECT_NE(f.Preview().toImage(), first);
}

TEST_F(PhotometryTest, AddApertureKeepsTheOuterRadiusInsideTheImage) {
  TChildForm* child = StarField(100, 100, {{40.4, 60.7, 20000}}, QStringLiteral("star"));
  Form->Action("PhotometryAddApature")->trigger();
  ASSERT_TRUE(frmAddApature->isVisible());
  struct TCase {
    const char* X;
    const char* Y;
    bool Added;
  } cases[] = {{"18", "50", true},    {"81", "50", true},   {"17.9", "50", false},
               {"81.1", "50", false}, {"50", "81.1", false}, {"50", "18", true}};
  int count = 0;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.X);
    Boxes.clear();
    frmAddApature->fedX->setText(QString::fromLatin1(c.X));
    frmAddApature->fedY->setText(QString::fromLatin1(c.Y));
    QTest::mouseClick(frmAddApature->btnAdd, Qt::LeftButton);
    if (c.Added) ++count;
    ASSERT_EQ(child->ApertureCount(), count);
    if (c.Added) {
      EXPECT_EQ(child->Aperture(count - 1).X, QString::fromLatin1(c.X).toFloat());
      EXPECT_EQ(child->Aperture(count - 1).Rout, 18);
    } else {
      ASSERT_EQ(Boxes.size(), 1u);
      EXPECT_EQ(Boxes[0], QStringLiteral("Apature coordinates are too close to the edge of the image."));
    }
  }
  // Centroid of a region dragged around the star, with three decimals.
  QTest::mousePress(child->ImageOverlay, Qt::LeftButton, Qt::NoModifier, QPoint(30, 50));
  QTest::mouseMove(child->ImageOverlay, QPoint(51, 71));
  QTest::mouseRelease(child->ImageOverlay, Qt::LeftButton, Qt::NoModifier, QPoint(51, 71));
  QTest::mouseClick(frmAddApature->btnCentroid, Qt::LeftButton);
  float x = 0, y = 0;
  ASSERT_TRUE(CalcCentroid(x, y, *child));
  EXPECT_EQ(frmAddApature->fedX->text().toStdString(), NumFormat::FormatFloat("0.000", x));
  EXPECT_EQ(frmAddApature->fedY->text().toStdString(), NumFormat::FormatFloat("0.000", y));
  EXPECT_NEAR(x, 40.4, 0.6);
  EXPECT_NEAR(y, 60.7, 0.6);
}
