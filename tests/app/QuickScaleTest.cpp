#include <QAbstractAxis>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QTest>
#include <QValueAxis>
#include <cmath>
#include <functional>

#include <QTemporaryDir>

#include "AppTestUtil.h"
#include "app/FloatEdit.h"
#include "app/IntEdit.h"
#include "app/NewForm.h"
#include "app/QVRSlider.h"
#include "app/QuickScaleForm.h"
#include "dialogs/CropForm.h"
#include "dialogs/DialogTestUtil.h"
#include "dialogs/GammaForm.h"
#include "formats/kvx.h"
#include "platform/FastBMPImage.h"
#include "platform/FileDialog.h"

namespace {
class QuickScaleTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    QLS = std::make_unique<TfrmQuickLinearScale>(Form.get());
    QLS->show();
  }
  void TearDown() override {
    QLS.reset();
    AppTest::TearDown();
  }
  std::unique_ptr<TfrmQuickLinearScale> QLS;
  // A thumb of S dragged by the mouse from pixel From to pixel To.
  static void DragThumb(TQVRSlider* S, int From, int To) {
    QTest::mousePress(S, Qt::LeftButton, Qt::NoModifier, QPoint(From, 4));
    QMouseEvent move(QEvent::MouseMove, QPointF(To, 4), S->mapToGlobal(QPointF(To, 4)), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(S, &move);
    QTest::mouseRelease(S, Qt::LeftButton, Qt::NoModifier, QPoint(To, 4));
  }
};
}  // namespace

TEST_F(QuickScaleTest, NoImageDisablesAndEmpties) {
  QLS->UpdateFromImage();
  EXPECT_TRUE(QLS->Points().isEmpty());
  EXPECT_FALSE(QLS->QVRSlider->isEnabled());
  EXPECT_FALSE(QLS->fedMin->isEnabled());
  EXPECT_FALSE(QLS->cmbPresets->isEnabled());
  EXPECT_EQ(QLS->windowTitle(), QStringLiteral("Quick Scale"));
  EXPECT_EQ(QLS->cmbPresets->count(), 3);
  EXPECT_EQ(QLS->cmbPresets->itemText(1), QStringLiteral("Max Hist."));
}

TEST_F(QuickScaleTest, GreyMaxPixelAndMaxHist) {
  // Values 100..1000: Scale = 255/1000 as a Single (0.254999995), so the bin
  // of 100 is Round(25.4999995) = 25.
  TChildForm* w = GreyWindow(901, 1, 3, [](int x, int) { return float(100 + x); });
  QLS->EnableControls();
  QLS->UpdateFromImage();
  const QList<QPointF> pts = QLS->Points();
  ASSERT_EQ(pts.size(), 256);
  const float scale = 255.0f / 1000.0f;
  EXPECT_EQ(pts[255].x(), double((long double)255 / scale));
  EXPECT_EQ(pts[0].y(), 0.0);
  EXPECT_GT(pts[25].y(), 0.0);
  EXPECT_EQ(QLS->QVRSlider->MinVal, 100.0f);
  EXPECT_EQ(QLS->QVRSlider->MaxVal, 1000.0f);
  // Max Pixel: the thumbs at the range's ends.
  EXPECT_EQ(QLS->fedMin->text(), QStringLiteral("100"));
  EXPECT_EQ(QLS->fedMax->text(), QStringLiteral("1000"));
  EXPECT_EQ(QLS->QVRSlider->HighPixel(), QLS->QVRSlider->width() - 5);
  EXPECT_EQ(w->DataImage->BlackPoint, 100.0f);
  EXPECT_EQ(w->DataImage->WhitePoint, 1000.0f);
  // Max Hist.: bins 25..255, 25 / 0.255 = 98.04.
  QLS->cmbPresets->setCurrentIndex(1);
  QLS->cmbPresetsChange();
  EXPECT_EQ(QLS->fedMin->text(), QStringLiteral("98.04"));
  EXPECT_EQ(QLS->fedMax->text(), QStringLiteral("1000"));
  EXPECT_EQ(w->DataImage->ScaleMode, 1);
  EXPECT_FLOAT_EQ(w->DataImage->BlackPoint, 98.04f);
  // Enter in a box picks User and applies the typed range.
  QLS->fedMin->setFocus();
  QLS->fedMin->setText(QStringLiteral("200"));
  QTest::keyClick(QLS->fedMin, Qt::Key_Return);
  EXPECT_EQ(QLS->cmbPresets->currentIndex(), 2);
  EXPECT_EQ(w->DataImage->BlackPoint, 200.0f);
  EXPECT_EQ(w->DataImage->ScaleMode, 2);
  EXPECT_EQ(QLS->fedMin->selectedText(), QStringLiteral("200"));
  // User is kept per image and re-applied on the next update.
  QLS->UpdateFromImage();
  EXPECT_EQ(QLS->cmbPresets->currentIndex(), 2);
  EXPECT_EQ(QLS->fedMin->text(), QStringLiteral("200"));
}

TEST_F(QuickScaleTest, ColourUsesIntensityAndLinearTable) {
  // Intensities 10 and 200 only.
  TChildForm* w = ColourWindow(4, 4, [](int x, int) {
    const std::uint8_t v = x < 2 ? 10 : 200;
    return TRGBPixel{v, v, v};
  });
  QLS->UpdateFromImage();
  ASSERT_EQ(QLS->Points().size(), 256);
  EXPECT_EQ(QLS->Points()[10], QPointF(10, 8));
  EXPECT_EQ(QLS->Points()[200], QPointF(200, 8));
  EXPECT_EQ(QLS->QVRSlider->MaxVal, 255.0f);
  EXPECT_EQ(QLS->fedMax->text(), QStringLiteral("255"));
  QLS->cmbPresets->setCurrentIndex(1);
  QLS->cmbPresetsChange();
  EXPECT_EQ(QLS->fedMin->text(), QStringLiteral("10"));
  EXPECT_EQ(QLS->fedMax->text(), QStringLiteral("200"));
  EXPECT_EQ(w->DataImage->LUT[10], 0);
  EXPECT_EQ(w->DataImage->LUT[200], 255);
  EXPECT_EQ(w->DataImage->LUT[100], 121);  // Round(255 / 190 * 90) = Round(120.79)
}

TEST_F(QuickScaleTest, NegativeImageAfterAPositiveOneShowsItsOwnRange) {
  // A ramp from -10 to 90 after an image of 928 .. 7048.
  GreyWindow(10, 1, 3, [](int x, int) { return 928.0f + 680.0f * float(x); });
  QLS->EnableControls();
  QLS->UpdateFromImage();
  ASSERT_EQ(QLS->fedMin->text(), QStringLiteral("928"));
  TChildForm* w = GreyWindow(101, 1, 3, [](int x, int) { return float(x - 10); });
  QLS->UpdateFromImage();
  struct Case {
    int Preset;
    const char* Min;
    float Black;
  } cases[] = {{0, "-10", -10.0f}, {1, "-10", -10.0f}};
  for (const Case& c : cases) {
    QLS->cmbPresets->setCurrentIndex(c.Preset);
    QLS->cmbPresetsChange();
    EXPECT_EQ(QLS->fedMin->text(), QString::fromLatin1(c.Min)) << c.Preset;
    EXPECT_EQ(QLS->fedMax->text(), QStringLiteral("90")) << c.Preset;
    EXPECT_EQ(w->DataImage->BlackPoint, c.Black) << c.Preset;
    EXPECT_EQ(w->DataImage->WhitePoint, 90.0f) << c.Preset;
    // The low thumb rests at the track's start.
    EXPECT_EQ(QLS->QVRSlider->LowPixel(), 5) << c.Preset;
  }
  // The picture is drawn with those levels: the darkest pixel black, the
  // brightest white, not black everywhere.
  const QImage picture = w->ImageDisplay->grab().toImage();
  EXPECT_EQ(qGray(picture.pixel(0, 0)), 0);
  EXPECT_EQ(qGray(picture.pixel(100, 0)), 255);
}

TEST_F(QuickScaleTest, CountLabelsStayReadable) {
  // The vertical axis of a large image's histogram reaches 10^8 counts.
  QChart* chart = QLS->Chart->chart();
  const auto axes = chart->axes(Qt::Vertical);
  ASSERT_FALSE(axes.isEmpty());
  const QFontMetrics metrics(axes.first()->labelsFont());
  const qreal room = chart->plotArea().left();
  for (const char* label : {"100000", "1e+06", "1e+08"})
    EXPECT_LT(metrics.horizontalAdvance(QString::fromLatin1(label)) + 8, room) << label;
}

TEST_F(QuickScaleTest, ZeroHistogramsShowEmptyAndNegativeOnesTheirRange) {
  GreyWindow(8, 8, 3, [](int, int) { return 0.0f; });
  QLS->UpdateFromImage();
  EXPECT_TRUE(QLS->Points().isEmpty());
  EXPECT_EQ(QLS->QVRSlider->MinVal, 0.0f);
  EXPECT_EQ(QLS->QVRSlider->MaxVal, 1.0f);
  // All negative (maximum 0 over a negative minimum): the bins run from the
  // minimum up to 0, and so do the track and the boxes.
  GreyWindow(8, 8, 3, [](int, int) { return -5.0f; });
  QLS->UpdateFromImage();
  ASSERT_EQ(QLS->Points().size(), 256);
  EXPECT_EQ(QLS->Points()[0], QPointF(-5, 64));
  EXPECT_EQ(QLS->QVRSlider->MinVal, -5.0f);
  EXPECT_EQ(QLS->QVRSlider->MaxVal, 0.0f);
  EXPECT_EQ(QLS->fedMin->text() + " " + QLS->fedMax->text(), QStringLiteral("-5 0"));
  for (const QPointF& p : QLS->Points()) EXPECT_TRUE(std::isfinite(p.x()));
}

// A black point below the track (values 10 .. 1000: the track starts at 0),
// typed or kept as the image's "User" levels, stays what the user set when
// the window is left and activated again and when the other thumb is
// dragged, and the picture is drawn with it.
TEST_F(QuickScaleTest, ANegativeBlackPointStaysWhatTheUserSet) {
  TChildForm* w = GreyWindow(100, 1, 3, [](int x, int) { return 10.0f + 10.0f * float(x); });
  TChildForm* other = GreyWindow(10, 1, 3, [](int x, int) { return 928.0f + 680.0f * float(x); });
  QLS->EnableControls();
  TQVRSlider* s = QLS->QVRSlider;
  const struct {
    const char* Step;
    std::function<void()> Do;
    const char* Max;
    float White;
  } steps[] = {
      {"typed", [&] {
         Form->MDIArea()->setActiveSubWindow(w);
         QLS->UpdateFromImage();
         QLS->fedMin->setFocus();
         QLS->fedMin->setText(QStringLiteral("-50"));
         QTest::keyClick(QLS->fedMin, Qt::Key_Return);
       }, "1000", 1000.0f},
      {"another window and back", [&] {
         Form->MDIArea()->setActiveSubWindow(other);
         QLS->UpdateFromImage();
         Form->MDIArea()->setActiveSubWindow(w);
         QLS->UpdateFromImage();
       }, "1000", 1000.0f},
      {"the high thumb dragged", [&] {
         // Pixel 133 is (133 - 5) x 1000 / 256 = 500.
         DragThumb(s, s->HighPixel(), 133);
       }, "500", 500.0f},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.Step);
    step.Do();
    EXPECT_EQ(QLS->cmbPresets->currentIndex(), 2);
    EXPECT_EQ(QLS->fedMin->text() + " " + QLS->fedMax->text(), QStringLiteral("-50 ") + step.Max);
    EXPECT_EQ(w->DataImage->BlackPoint, -50.0f);
    EXPECT_EQ(w->DataImage->WhitePoint, step.White);
    EXPECT_EQ(s->LowPixel(), 5);
    // Pixel 0 (value 10) at Round((10 + 50) x 255 / (white + 50)).
    const QImage picture = w->ImageDisplay->grab().toImage();
    EXPECT_EQ(qGray(picture.pixel(0, 0)), int(std::nearbyint(60.0 * 255 / (step.White + 50))));
  }
}

// A low level typed beyond the track keeps every decimal; dragging its thumb
// onto the track makes the thumb's value the level; and an image below 0
// after a positive one gets an axis over its own levels, -100 to 0.
TEST_F(QuickScaleTest, LevelsBeyondTheTrackAndTheAxisOfTheNextImage) {
  TChildForm* w = GreyWindow(100, 1, 3, [](int x, int) { return 10.0f + 10.0f * float(x); });
  TChildForm* below = nullptr;
  QLS->EnableControls();
  TQVRSlider* s = QLS->QVRSlider;
  auto axis = [&] { return qobject_cast<QValueAxis*>(QLS->Chart->chart()->axes(Qt::Horizontal).first()); };
  const struct {
    const char* Step;
    std::function<void()> Do;
    const char* Min;
    float Black;
    double AxisLow, AxisHigh;
  } steps[] = {
      {"typed beyond the track", [&] {
         QLS->UpdateFromImage();
         QLS->fedMin->setFocus();
         QLS->fedMin->setText(QStringLiteral("-50.125"));
         QTest::keyClick(QLS->fedMin, Qt::Key_Return);
       }, "-50.125", -50.125f, 0, 1000},
      {"its thumb dragged onto the track", [&] {
         // Pixel 69 is (69 - 5) x 1000 / 256 = 250.
         DragThumb(s, s->LowPixel(), 69);
       }, "250", 250.0f, 0, 1000},
      {"an image below 0", [&] {
         below = GreyWindow(101, 1, 3, [](int x, int) { return float(x) - 100.0f; });
         QLS->UpdateFromImage();
       }, "-100", -100.0f, -100, 0},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.Step);
    step.Do();
    TChildForm* shown = below ? below : w;
    EXPECT_EQ(QLS->fedMin->text(), QString::fromLatin1(step.Min));
    EXPECT_EQ(shown->DataImage->BlackPoint, step.Black);
    ASSERT_NE(axis(), nullptr);
    EXPECT_NEAR(axis()->min(), step.AxisLow, 1e-4);
    EXPECT_NEAR(axis()->max(), step.AxisHigh, 1e-4);
  }
}

namespace {
// The whole program with Quick Scale shown, and an open dialog that answers
// with OpenName.
class QuickScaleFollows : public AllFormsTest {
 protected:
  void SetUp() override {
    AllFormsTest::SetUp();
    PreviousFileHook = TFileDialog::SetHook([this](TFileDialog& D) {
      D.Files = {OpenName};
      D.FileName = OpenName;
      return true;
    });
    frmQuickLinearScale->show();
  }
  void TearDown() override {
    TFileDialog::SetHook(PreviousFileHook);
    AllFormsTest::TearDown();
  }
  QString OpenName;
  TFileDialog::THook PreviousFileHook;
};
}  // namespace

// After every kind of command that makes windows, Quick Scale shows the new
// active window's histogram and levels, each new window is drawn with the
// levels it keeps, and going to another window and back changes neither its
// picture nor what Quick Scale shows.
TEST_F(QuickScaleFollows, ANewWindowKeepsTheLevelsItIsFirstDrawnWith) {
  // A faint 16-bit sky of 52 .. 74 with three stars, the brightest 60113.
  TChildForm* grey = GreyWindow(61, 47, 1, [](int x, int y) {
    const int d = (x - 30) * (x - 30) + (y - 20) * (y - 20);
    if (d == 0) return 60113.0f;
    if (d <= 2 || (x == 9 && y == 37)) return 9001.0f;
    return float(52 + (x * 37 + y * 91) % 23);
  }, QStringLiteral("sky.fts"));
  TChildForm* colour = ColourWindow(13, 9, [](int x, int y) {
    return TRGBPixel{std::uint8_t(20 + x), std::uint8_t(40 + 9 * y), std::uint8_t(3 * x + 7 * y)};
  });
  QTemporaryDir dir;
  OpenName = dir.filePath(QStringLiteral("sky.fts"));
  TFITSHeader header;
  ASSERT_TRUE(WriteFITS16(OpenName.toStdString(), header, *grey->DataImage).empty());
  const std::function<void(QDialog*)> ok = [](QDialog* D) {
    Settle(D);
    ClickOK(D);
  };
  struct TCase {
    const char* Action;
    TChildForm* Source;
    std::function<void(QDialog*)> Act;  // inside its dialog; none without one
    int Windows;
  };
  const TCase cases[] = {
      {"ScaleDDP", grey, ok, 1},
      {"ScaleGamma", grey,
       [&](QDialog* D) {
         SlideTo(frmGamma->trkGamma, 5);
         ok(D);
       },
       1},
      {"FilterSharpenMore", grey, {}, 1},
      {"FilterFFT", grey, ok, 1},
      {"ProcessCrop", grey,
       [&](QDialog* D) {
         frmCrop->iedLeft->SetValue(3);
         frmCrop->iedTop->SetValue(5);
         frmCrop->iedRight->SetValue(40);
         frmCrop->iedBottom->SetValue(30);
         ok(D);
       },
       1},
      {"ProcessImageMath", grey, ok, 1},
      {"EditDuplicate", grey, {}, 1},
      {"FileNew", grey,
       [&](QDialog* D) {
         TypeInto(frmNew->iedWidth, QStringLiteral("33"));
         TypeInto(frmNew->iedHeight, QStringLiteral("21"));
         TypeInto(frmNew->fedValue, QStringLiteral("1234.5"));
         ok(D);
       },
       1},
      {"FileOpen", grey, {}, 1},
      // Three windows: the two made behind the last one keep their levels too.
      {"ProcessColourSplit", colour, {}, 3},
  };
  const auto expectShown = [](const TChildForm* W) {
    const TRegionHistogram& h = W->GreyHistogram;
    EXPECT_EQ(frmQuickLinearScale->QVRSlider->MinVal, h.Min);
    EXPECT_EQ(frmQuickLinearScale->QVRSlider->MaxVal, h.Max);
    EXPECT_EQ(float(frmQuickLinearScale->fedMin->Value()), W->DataImage->BlackPoint);
    EXPECT_EQ(float(frmQuickLinearScale->fedMax->Value()), W->DataImage->WhitePoint);
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Action);
    Form->MDIArea()->setActiveSubWindow(c.Source);
    const QList<TChildForm*> before = Form->MDIChildren();
    if (c.Act)
      WithDialog(c.Action, c.Act);
    else
      Form->Action(QString::fromLatin1(c.Action))->trigger();
    QList<TChildForm*> made;
    for (TChildForm* w : Form->MDIChildren())
      if (!before.contains(w)) made.push_back(w);
    ASSERT_EQ(made.size(), c.Windows);
    ASSERT_TRUE(made.contains(Form->ActiveMDIChild()));
    ASSERT_FALSE(Form->ActiveMDIChild()->DataImage->IsColour);
    expectShown(Form->ActiveMDIChild());
    struct TShown {
      QImage Picture;
      float Black, White;
    };
    std::vector<TShown> first;
    for (TChildForm* w : made)
      first.push_back({w->ImageDisplay->Picture(), w->DataImage->BlackPoint, w->DataImage->WhitePoint});
    // Window > the source, then Window > the new one.
    for (int i = 0; i < made.size(); ++i) {
      Form->MDIArea()->setActiveSubWindow(c.Source);
      Form->MDIArea()->setActiveSubWindow(made[i]);
      EXPECT_EQ(made[i]->DataImage->BlackPoint, first[std::size_t(i)].Black) << i;
      EXPECT_EQ(made[i]->DataImage->WhitePoint, first[std::size_t(i)].White) << i;
      EXPECT_TRUE(made[i]->ImageDisplay->Picture() == first[std::size_t(i)].Picture) << i;
      expectShown(made[i]);
    }
  }
}

// With Quick Scale hidden, an image opened keeps the levels its reader gave
// it, its pixels' range to the last bit, and is drawn with them; "Max Pixel"
// would show it rounded to two decimals.
TEST_F(QuickScaleFollows, HiddenItLeavesAnOpenedFloatImageItsReadersLevels) {
  frmQuickLinearScale->hide();
  auto image = std::make_unique<TDataImage>();
  ASSERT_TRUE(image->Allocate(37, 23, 3, false));
  for (int y = 0; y < 23; ++y)
    for (int x = 0; x < 37; ++x) image->SetPixel(x, y, 0.123456f + 0.0173f * x * x + 0.00091f * y);
  const float low = image->GetPixel(0, 0), high = image->GetPixel(36, 22);
  QTemporaryDir dir;
  struct TCase {
    const char* Name;
    std::function<bool(const std::string&)> Write;
  };
  const TCase cases[] = {
      {"faint.fts",
       [&](const std::string& F) {
         TFITSHeader header;
         return WriteFITSFloat(F, header, *image).empty();
       }},
      {"faint.kvx", [&](const std::string& F) { return SaveKVX(F, *image, {}, {}).empty(); }},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    OpenName = dir.filePath(QString::fromLatin1(c.Name));
    ASSERT_TRUE(c.Write(OpenName.toStdString()));
    Form->Action(QStringLiteral("FileOpen"))->trigger();
    TChildForm* opened = Form->ActiveMDIChild();
    ASSERT_NE(opened, nullptr);
    ASSERT_EQ(opened->Caption(), QString::fromLatin1(c.Name));
    EXPECT_EQ(opened->DataImage->BlackPoint, low);
    EXPECT_EQ(opened->DataImage->WhitePoint, high);
    auto drawn = CopyOf(*image);
    drawn->BlackPoint = low;
    drawn->WhitePoint = high;
    drawn->UpdateBitmap();
    EXPECT_EQ(opened->ImageDisplay->Source(), FastBMPToQImage(drawn->Bitmap).convertToFormat(QImage::Format_RGB888));
    opened->close();
  }
}
