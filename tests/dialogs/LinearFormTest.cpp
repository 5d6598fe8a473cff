#include <QAreaSeries>
#include <QLineSeries>

#include "DialogTestUtil.h"
#include "app/FloatEdit.h"
#include "app/QVRSlider.h"
#include "dialogs/LinearForm.h"
#include "engine/ColProcessing.h"
#include "engine/Processing.h"

using LinearDialog = DialogTest;

namespace {
float Ramp(int x, int y) { return float(x * 50 + y * 7); }  // 0 .. 50 * 99 + 7 * 49 = 5293
}

TEST_F(LinearDialog, OpensOnTheDisplayLevelsWithTheHistogramAboveTheSlider) {
  TChildForm* source = GreyWindow(100, 50, 1, Ramp);
  source->DataImage->BlackPoint = 100.0f;
  source->DataImage->WhitePoint = 4000.0f;
  WithDialog("ScaleLinear", [&](QDialog* dialog) {
    ASSERT_EQ(dialog, frmLinear);
    EXPECT_EQ(frmLinear->fedMin->text() + " " + frmLinear->fedMax->text(), QStringLiteral("100 4000"));
    EXPECT_TRUE(frmLinear->grpOutputRange->isEnabled() && frmLinear->OutputRange() == 0);
    EXPECT_EQ(frmLinear->QVRSlider->MinVal, 0.0f);
    EXPECT_EQ(frmLinear->QVRSlider->MaxVal, 5293.0f);
    // Thumbs at value / (MaxVal / 256) + 5 on the 266-pixel track: 9.84 and 198.4.
    EXPECT_EQ(frmLinear->QVRSlider->LowPixel(), 10);
    EXPECT_EQ(frmLinear->QVRSlider->HighPixel(), 198);
    // The chart: bin i at i / Scale with the count of pixels whose value
    // rounds to it, counted here on their own.
    const QList<QPointF> points = frmLinear->Points();
    ASSERT_EQ(points.size(), 256);
    const float scale = float(255.0L / 5293.0L);
    std::vector<int> counts(256, 0);
    for (int y = 0; y < 50; ++y)
      for (int x = 0; x < 100; ++x) ++counts[std::size_t(std::nearbyint(double(Ramp(x, y)) * double(scale)))];
    for (int i = 0; i < 256; ++i) {
      EXPECT_EQ(points[i].y(), counts[std::size_t(i)]) << i;
      EXPECT_DOUBLE_EQ(points[i].x(), double((long double)i / scale)) << i;
    }
    EXPECT_EQ(frmLinear->Series1->upperSeries()->count(), 256);
    EXPECT_EQ(frmLinear->Series1->brush().color(), QColor(Qt::white));
  });
}

TEST_F(LinearDialog, ThumbsWriteTheBoxesAndEnterMovesTheThumbs) {
  // Maximum 255: one track pixel is 255 / 256 of a level.
  GreyWindow(16, 16, 0, [](int x, int y) { return float(x * 16 + y); });
  WithDialog("ScaleLinear", [&](QDialog* dialog) {
    ASSERT_NE(dialog, nullptr);
    TQVRSlider* s = frmLinear->QVRSlider;
    // Pixel 17 is (17 - 5) x 0.99609375 = 11.953125, shown "11.95"; pixel
    // 135 is 129.4921875, shown "129.49".
    for (auto [from, to] : {std::pair{s->LowPixel(), 17}, std::pair{s->HighPixel(), 135}}) {
      const int runs = frmLinear->PreviewCount();
      QTest::mousePress(s, Qt::LeftButton, Qt::NoModifier, QPoint(from, 4));
      QMouseEvent move(QEvent::MouseMove, QPointF(to, 4), s->mapToGlobal(QPointF(to, 4)), Qt::NoButton, Qt::LeftButton,
                       Qt::NoModifier);
      QApplication::sendEvent(s, &move);
      QTest::mouseRelease(s, Qt::LeftButton, Qt::NoModifier, QPoint(to, 4));
      Settle(dialog);
      EXPECT_GT(frmLinear->PreviewCount(), runs);
    }
    EXPECT_EQ(frmLinear->fedMin->text() + " " + frmLinear->fedMax->text(), QStringLiteral("11.95 129.49"));
    // Enter in a box moves the thumbs there and previews.
    TypeInto(frmLinear->fedMax, "200");
    int runs = frmLinear->PreviewCount();
    QTest::keyClick(frmLinear->fedMax, Qt::Key_Return);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(s->HighPixel(), 206);  // 200 / 0.99609375 + 5 = 205.78
    EXPECT_EQ(frmLinear->fedMax->selectedText(), frmLinear->fedMax->text());
    EXPECT_GT(frmLinear->PreviewCount(), runs);
    auto thumb = ThumbnailOf(*Form->ActiveMDIChild()->DataImage);
    auto expected = CopyOf(*thumb);
    LinearStretch(*expected, *thumb, float(frmLinear->fedMin->Value()), float(frmLinear->fedMax->Value()));
    EXPECT_TRUE(SamePixels(*frmLinear->fmePreview->ResultImage, *expected));

    // With equal values Enter does nothing here and OK does nothing either.
    TypeInto(frmLinear->fedMin, frmLinear->fedMax->text());
    runs = frmLinear->PreviewCount();
    const int high = s->HighPixel();
    const int windows = WindowCount();
    QTest::keyClick(frmLinear->fedMin, Qt::Key_Return);
    EXPECT_EQ(frmLinear->PreviewCount(), runs);
    EXPECT_EQ(s->HighPixel(), high);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(WindowCount(), windows);
  });
}

TEST_F(LinearDialog, OKStretchesTheCopyAndAppliesTheOutputRange) {
  struct Case {
    bool Colour;
    const char *Min, *Max;
    int Range;
    std::uint8_t ByteMin = 0, ByteMax = 0;  // the colour routine's levels
  };
  const Case cases[] = {
      {false, "300", "2500", 0}, {false, "300", "2500", 3}, {false, "1000", "40", 1},
      // Bytes for the colour routine, rounded: 12.5 to 12, 300.7 held at 255,
      // 12.7 up to 13, 200.3 down to 200.
      {true, "12.5", "300.7", -1, 12, 255},
      {true, "12.7", "200.3", -1, 13, 200},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Colour << " " << c.Min << " " << c.Max);
    auto colours = [](int x, int y) { return TRGBPixel{std::uint8_t(x * 8), std::uint8_t(y * 12), std::uint8_t(x * y)}; };
    TChildForm* source = c.Colour ? ColourWindow(30, 20, colours) : GreyWindow(30, 20, 1, Ramp);
    auto before = CopyOf(*source->DataImage);
    const int windows = WindowCount();
    Errors.clear();
    WithDialog("ScaleLinear", [&](QDialog* dialog) {
      ASSERT_NE(dialog, nullptr);
      EXPECT_EQ(frmLinear->grpOutputRange->isEnabled(), !c.Colour);
      EXPECT_EQ(frmLinear->fedMax->MaxValue(), c.Colour ? 255.0L : 2e32L);
      TypeInto(frmLinear->fedMin, c.Min);
      TypeInto(frmLinear->fedMax, c.Max);
      if (c.Range >= 0) ClickRadio(frmLinear->OutputRangeButtons->button(c.Range));
      ClickOK(dialog);
    });
    ASSERT_EQ(WindowCount(), windows + 1);
    TChildForm* result = Form->ActiveMDIChild();
    EXPECT_EQ(result->Caption(), QStringLiteral("Linear Scale"));
    auto expected = CopyOf(*source->DataImage);
    if (c.Colour) {
      ColLinearScale(c.ByteMin, c.ByteMax, *expected, *source->DataImage);
    } else {
      LinearStretch(*expected, *source->DataImage, std::stof(c.Min), std::stof(c.Max));
      RescaleToOutputRange(std::uint8_t(c.Range), *expected);
    }
    EXPECT_TRUE(SamePixels(*result->DataImage, *expected));
    EXPECT_TRUE(c.Range != 0 || Largest(*result->DataImage) == 255.0f);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(result->DataImage->LUT[i], i);
    EXPECT_TRUE(SamePixels(*source->DataImage, *before));
    for (int e : Errors) EXPECT_EQ(e, 0);
    Form->MDIArea()->setActiveSubWindow(source);
  }
}

TEST_F(LinearDialog, FlatAndNegativeImagesOpenWithoutAFailingPreview) {
  // Flat grey, flat colour, and all pixels at most 0 with some below (no
  // histogram: its one report, and an empty chart).
  const std::function<TChildForm*()> images[] = {
      [&] { return GreyWindow(8, 8, 1, [](int, int) { return 700.0f; }); },
      [&] { return ColourWindow(8, 8, [](int, int) { return TRGBPixel{90, 90, 90}; }); },
      [&] { return GreyWindow(8, 8, 3, [](int x, int) { return -float(x); }); }};
  for (const auto& make : images) {
    const bool negative = make()->DataImage->BlackPoint < 0;
    Errors.clear();
    WithDialog("ScaleLinear", [&](QDialog* dialog) {
      EXPECT_EQ(frmLinear->Points().isEmpty(), negative);
      if (!negative) TypeInto(frmLinear->fedMin, frmLinear->fedMax->text());
      Activate(dialog);
      Settle(dialog);
      ClickOK(dialog);
      EXPECT_TRUE(dialog->isVisible());
    });
    std::erase(Errors, 0);
    EXPECT_EQ(Errors, negative ? std::vector<int>{errCalcRegionHistogram} : std::vector<int>{});
  }
}
