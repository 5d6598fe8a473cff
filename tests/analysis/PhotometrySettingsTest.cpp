// Photometry settings in the settings store, their preview, and the
// add-aperture tool window.
#include <QAction>
#include <QFile>
#include <QPushButton>
#include <QTest>
#include <limits>

#include "PhotometryTestSupport.h"
#include "analysis/AddApatureForm.h"
#include "analysis/PhotometrySettingsForm.h"
#include "app/FloatEdit.h"
#include "app/IntEdit.h"
#include "engine/Measure.h"

namespace {
const QString Key = QString::fromLatin1(ApplicationKey);
}

TEST_F(PhotometryTest, SettingsFallBackEachAloneAndAreStoredOnOK) {
  const struct {
    bool Key, Outer;  // the key exists; "Annulus Outer" is stored
    QStringList Shown;
  } reads[] = {{false, false, {"8", "13", "18", "20", "60"}},
               {true, true, {"5", "9", "14", "19.5", "120"}},
               {true, false, {"5", "9", "18", "19.5", "120"}}};
  for (const auto& c : reads) {
    TRegistry reg;
    reg.DeleteKey(Key);
    if (c.Key && reg.OpenKey(Key, true)) {
      for (auto [name, v] : {std::pair{"Aperture", 5}, {"Annulus Inner", 9}, {"Annulus Outer", 14}})
        if (c.Outer || v != 14) reg.WriteInteger(QString::fromLatin1(name), v);
      reg.WriteFloat(QStringLiteral("Zero Point"), 19.5);
      reg.WriteFloat(QStringLiteral("Intergration Time"), 120);
    }
    TfrmPhotSettings f;
    reg.DeleteKey(Key);  // the OK below finds no key and makes it
    EXPECT_EQ(QStringList({f.iedR1->text(), f.iedR2->text(), f.iedR3->text(), f.fedZeroPoint->text(),
                           f.fedExposure->text()}),
              c.Shown);
  }

  TChildForm* child = StarField(64, 64, {}, QStringLiteral("flat"));
  // Radii that do not grow outward are refused and the dialog stays open.
  const QStringList oks[] = {{"8", "8", "18"}, {"9", "6", "12"}, {"6", "10", "10"}, {"6", "10", "16"}};  // last: OK
  for (const QStringList& radii : oks) {
    const bool accepted = &radii == &oks[3];
    Boxes.clear();
    bool open = false;
    WhenModal([&](QWidget* d) {
      TIntEdit* boxes[] = {frmPhotSettings->iedR1, frmPhotSettings->iedR2, frmPhotSettings->iedR3};
      for (int i = 0; i < 3; ++i) boxes[i]->setText(radii[i]);
      frmPhotSettings->fedZeroPoint->setText(QStringLiteral("19"));
      frmPhotSettings->fedExposure->setText(QStringLiteral("45"));
      QTest::mouseClick(d->findChild<QPushButton*>("btnOK"), Qt::LeftButton);
      if ((open = d->isVisible())) QTest::mouseClick(d->findChild<QPushButton*>("btnCancel"), Qt::LeftButton);
    });
    Form->Action("PhotometrySetup")->trigger();
    EXPECT_EQ(open, !accepted) << radii.join(',').toStdString();
    EXPECT_EQ(Boxes.size(), accepted ? 0u : 1u);
  }
  EXPECT_TRUE(child->ApertureRadius == 6 && child->AnnulusInner == 10 && child->AnnulusOuter == 16);
  EXPECT_TRUE(child->ZeroPoint == 19.0 && child->IntegrationTime == 45.0);
  TChildForm* next = StarField(64, 64, {}, QStringLiteral("next"));  // reads the stored values
  EXPECT_TRUE(next->AnnulusOuter == 16 && next->IntegrationTime == 45.0);
}

namespace {
QByteArray StoreBytes() {
  QFile f(TRegistry::StorageFile());
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
// The lines of After that are not in Before.
QList<QByteArray> NewLines(const QByteArray& Before, const QByteArray& After) {
  QList<QByteArray> lines;
  const QList<QByteArray> old = Before.split('\n');
  for (const QByteArray& l : After.split('\n'))
    if (!old.contains(l)) lines << l;
  return lines;
}
}  // namespace

TEST_F(PhotometryTest, OKRewritesNothingTheUserDidNotChange) {
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(Key, true));
    reg.WriteInteger(QStringLiteral("Aperture"), 5);
    reg.WriteString(QStringLiteral("Annulus Inner"), QStringLiteral("nine"));  // of another kind
    reg.WriteInteger(QStringLiteral("Annulus Outer"), 14);
    reg.WriteFloat(QStringLiteral("Zero Point"), std::numeric_limits<double>::quiet_NaN());
    reg.WriteFloat(QStringLiteral("Intergration Time"), 120.0625);
  }
  TfrmPhotSettings f;
  EXPECT_EQ(QStringList({f.iedR1->text(), f.iedR2->text(), f.iedR3->text(), f.fedZeroPoint->text(),
                         f.fedExposure->text()}),
            QStringList({"5", "13", "14", "20", "120.0625"}));
  // A new window takes the usable values and the defaults of the others.
  TChildForm* child = StarField(40, 40, {}, QStringLiteral("field"));
  EXPECT_TRUE(child->ApertureRadius == 5 && child->AnnulusInner == 13 && child->AnnulusOuter == 14);
  EXPECT_EQ(child->ZeroPoint, 20.0);
  EXPECT_EQ(child->IntegrationTime, 120.0625);

  const QByteArray before = StoreBytes();
  f.btnOKClick();
  EXPECT_EQ(StoreBytes(), before);
  EXPECT_EQ(child->ZeroPoint, 20.0);  // what the dialog showed, given to the active window
  // A changed value is written alone.
  f.fedZeroPoint->setText(QStringLiteral("21.25"));
  f.btnOKClick();
  const QByteArray after = StoreBytes();
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(Key, false));
  EXPECT_EQ(reg.ReadFloat(QStringLiteral("Zero Point")), 21.25);
  EXPECT_EQ(NewLines(before, after).size(), 1);
  EXPECT_EQ(NewLines(after, before).size(), 1);
  EXPECT_EQ(reg.ReadString(QStringLiteral("Annulus Inner")), QStringLiteral("nine"));
  EXPECT_TRUE(Boxes.empty());
}

TEST_F(PhotometryTest, PreviewDrawsThreeCirclesOnlyForOutwardRadii) {
  TfrmPhotSettings& f = *frmPhotSettings;
  for (auto [box, r] : {std::pair{f.iedR1, 8}, {f.iedR2, 13}, {f.iedR3, 18}}) box->setText(QString::number(r));
  const QImage first = f.Preview().toImage();
  ASSERT_EQ(first.size(), QSize(105, 89));
  for (int r : {8, 13, 18})  // white where each circle crosses the centre row (one pixel either way)
    EXPECT_TRUE(first.pixelColor(51 + r, 44) == Qt::white || first.pixelColor(52 + r, 44) == Qt::white ||
                first.pixelColor(53 + r, 44) == Qt::white) << r;
  EXPECT_TRUE(first.pixelColor(52, 44) == Qt::black && first.pixelColor(2, 2) == Qt::black);
  f.iedR2->setText(QStringLiteral("8"));  // 8, 8, 18: the picture stays
  EXPECT_EQ(f.Preview().toImage(), first);
  f.iedR2->setText(QStringLiteral("10"));
  EXPECT_NE(f.Preview().toImage(), first);
}

TEST_F(PhotometryTest, AddApertureKeepsTheOuterRadiusInsideTheImage) {
  TChildForm* child = StarField(100, 100, {{40.4, 60.7, 20000}}, QStringLiteral("star"));
  Form->Action("PhotometryAddApature")->trigger();
  ASSERT_TRUE(frmAddApature->isVisible());
  const struct {
    QString X, Y;
    bool Added;
  } cases[] = {{"18", "50", true},    {"81", "50", true},    {"17.9", "50", false},
               {"81.1", "50", false}, {"50", "81.1", false}, {"50", "18", true}};
  int count = 0;
  for (const auto& c : cases) {
    Boxes.clear();
    frmAddApature->fedX->setText(c.X);
    frmAddApature->fedY->setText(c.Y);
    QTest::mouseClick(frmAddApature->btnAdd, Qt::LeftButton);
    ASSERT_EQ(child->ApertureCount(), count += c.Added) << c.X.toStdString() << " " << c.Y.toStdString();
    EXPECT_TRUE(c.Added ? child->Aperture(count - 1).X == c.X.toFloat()
                        : Boxes == std::vector<QString>{"Apature coordinates are too close to the edge of the image."});
  }
  // The centroid of a region dragged round the star, with three decimals.
  QTest::mousePress(child->ImageOverlay, Qt::LeftButton, Qt::NoModifier, QPoint(30, 50));
  QTest::mouseMove(child->ImageOverlay, QPoint(51, 71));
  QTest::mouseRelease(child->ImageOverlay, Qt::LeftButton, Qt::NoModifier, QPoint(51, 71));
  QTest::mouseClick(frmAddApature->btnCentroid, Qt::LeftButton);
  float x = 0, y = 0;
  ASSERT_TRUE(CalcCentroid(x, y, *child));
  EXPECT_EQ(QStringList({frmAddApature->fedX->text(), frmAddApature->fedY->text()}), QStringList({Fmt(x), Fmt(y)}));
  EXPECT_TRUE(std::abs(x - 40.4) < 0.6 && std::abs(y - 60.7) < 0.6);
}
