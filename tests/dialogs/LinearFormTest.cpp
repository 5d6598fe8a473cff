#include <QAreaSeries>
#include <QFile>
#include <QLineSeries>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdlib>
#include <set>

#include "DialogTestUtil.h"
#include "app/FloatEdit.h"
#include "app/QVRSlider.h"
#include "dialogs/LinearForm.h"
#include "engine/ColProcessing.h"
#include "engine/PSF.h"
#include "engine/Processing.h"
#include "engine/VanCittert.h"

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
  // Flat grey, flat colour, and all pixels at most 0 with some below (its
  // histogram runs from the minimum up to 0).
  const std::function<TChildForm*()> images[] = {
      [&] { return GreyWindow(8, 8, 1, [](int, int) { return 700.0f; }); },
      [&] { return ColourWindow(8, 8, [](int, int) { return TRGBPixel{90, 90, 90}; }); },
      [&] { return GreyWindow(8, 8, 3, [](int x, int) { return -float(x); }); }};
  for (const auto& make : images) {
    const bool negative = make()->DataImage->BlackPoint < 0;
    Errors.clear();
    WithDialog("ScaleLinear", [&](QDialog* dialog) {
      EXPECT_FALSE(frmLinear->Points().isEmpty());
      // Equal boxes do nothing; the negative image's levels -7 and 0 stretch.
      if (!negative) TypeInto(frmLinear->fedMin, frmLinear->fedMax->text());
      EXPECT_EQ(frmLinear->fedMin->text(), negative ? QStringLiteral("-7") : frmLinear->fedMax->text());
      Activate(dialog);
      Settle(dialog);
      ClickOK(dialog);
      EXPECT_EQ(dialog->isVisible(), !negative);
    });
    std::erase(Errors, 0);
    EXPECT_EQ(Errors, std::vector<int>{});
  }
}

// Every opening proposes the current image's own levels, whatever the
// dialog showed before: a float frame of -50 .. 1000 after a positive 16-bit
// one shows -50 and keeps its negative pixels apart; a frame of -100 .. 0
// shows -100 and 0 and stretches to them. Against numpy.
TEST_F(LinearDialog, EveryOpeningProposesTheImagesOwnLevels) {
  ASSERT_EQ(std::system("/usr/bin/python3 -c 'import numpy' 2>/dev/null"), 0)
      << "python3-numpy is missing: the cross-check cannot run";
  auto span = [](float Low, float High) {
    return [=](int x, int y) {
      const int k = (x * 29 + y * 13) % 97;
      return x == 0 && y == 0 ? Low : x == 1 && y == 0 ? High : Low + (High - Low) * float(k) / 97.0f;
    };
  };
  const struct {
    const char* Name;
    std::uint8_t Type;
    std::function<float(int, int)> Pixel;
    const char *Min, *Max;
    int Range;  // 0 "8 bit", 3 "Unlimited"
  } cases[] = {
      {"positive 16 bit", 1, span(120, 40000), "120", "40000", 0},
      {"-50 .. 1000 after a positive frame", 3, span(-50, 1000), "-50", "1000", 3},
      {"-100 .. 0", 3, span(-100, 0), "-100", "0", 0},
      {"-50 .. 1000 once more", 3, span(-50, 1000), "-50", "1000", 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TChildForm* source = GreyWindow(37, 23, c.Type, c.Pixel);
    const TDataImage& image = *source->DataImage;
    Errors.clear();
    WithDialog("ScaleLinear", [&](QDialog* dialog) {
      ASSERT_EQ(dialog, frmLinear);
      Activate(dialog);
      Settle(dialog);
      EXPECT_EQ(frmLinear->fedMin->text() + " " + frmLinear->fedMax->text(), QString("%1 %2").arg(c.Min, c.Max));
      // The track starts at a negative minimum: both thumbs at its ends. The
      // histogram of an image with nothing above 0 runs from its minimum.
      if (image.BlackPoint < 0) {
        EXPECT_EQ(frmLinear->QVRSlider->LowPixel(), 5);
      }
      EXPECT_EQ(frmLinear->QVRSlider->HighPixel(), 261);
      ASSERT_EQ(frmLinear->Points().size(), 256);
      EXPECT_EQ(frmLinear->Points().first().x(), image.WhitePoint == 0 ? image.BlackPoint : 0.0);
      EXPECT_NEAR(frmLinear->Points().last().x(), image.WhitePoint, 1e-3 * std::max(1.0f, image.WhitePoint));
      ClickRadio(frmLinear->OutputRangeButtons->button(c.Range));
      ClickOK(dialog);
    });
    std::erase(Errors, 0);
    EXPECT_EQ(Errors, std::vector<int>{});
    TChildForm* result = Form->ActiveMDIChild();
    ASSERT_NE(result, source);
    std::vector<float> want =
        OraclePlane("point_ops.py", image, {"linear", c.Min, c.Max});
    if (c.Range == 0) {
      // "8 bit": the largest result becomes 255.
      const float top = *std::max_element(want.begin(), want.end());
      for (float& v : want) v = float(std::clamp<long double>(v * (255.0L / top), 0, 255));
    }
    EXPECT_EQ(PixelsApart(*result->DataImage, want, 1e-5f), 0);
    // Distinct pixels below 0 stay distinct.
    std::set<float> below, stretched;
    for (std::int64_t k = 0; k < image.PixelCount(); ++k)
      if (image.Pixels[k] < 0) below.insert(image.Pixels[k]), stretched.insert(result->DataImage->Pixels[k]);
    EXPECT_EQ(stretched.size(), below.size());
  }
}

// Results of restorations, a frame with a negative minimum, and levels beyond
// the histogram at both ends: the boxes show the image's own
// levels, the thumbs rest at the track's ends, and OK stretches between the
// boxes' values, against numpy.
TEST_F(LinearDialog, LevelsBeyondTheSliderStayInTheBoxesAndStretchTheImage) {
  ASSERT_EQ(std::system("/usr/bin/python3 -c 'import numpy' 2>/dev/null"), 0)
      << "python3-numpy is missing: the cross-check cannot run";
  TDataImage field;
  ASSERT_TRUE(field.Allocate(64, 64, 3, false));  // power-of-two sides, as Van Cittert takes them
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x)
      field.SetPixel(x, y, float(40 + 2 * x + 900 * std::exp(-((x - 30.3) * (x - 30.3) + (y - 20.6) * (y - 20.6)) / 4.5)));
  const auto psf = CreateGaussianPSF(64, 64, 2.0f);
  ASSERT_TRUE(psf);
  struct TCase {
    const char* Name;
    std::function<std::unique_ptr<TDataImage>()> Make;
    float Black = 0, White = 0;  // 0, 0: the image's own range
  };
  const TCase cases[] = {
      // The three restorations that the levels of such images come from (here
      // their results are clamped at 0).
      {"FFT filter", [&] { auto d = CopyOf(field); FFTFilter(3, *d, field, 9.5f, 0.4f, 3.0f); return d; }},
      {"homomorphic", [&] { auto d = CopyOf(field); HomomorphicFilter(*d, field, 0.35f, 4.2f, 2.0f); return d; }},
      {"Van Cittert", [&] { return VanCittertDeconvolve(5, field, *psf); }},
      // A frame with its bias taken off: noise about 0.
      {"bias subtracted", [&] {
         auto d = CopyOf(field);
         for (std::int64_t k = 0; k < d->PixelCount(); ++k) d->Pixels[k] -= 45.0f + float(k % 7);
         return d;
       }},
      {"levels -50 .. 2000", [&] { return CopyOf(field); }, -50.0f, 2000.0f},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::unique_ptr<TDataImage> made = c.Make();
    ASSERT_TRUE(made);
    TChildForm* source = GreyWindow(made->Width, made->Height, 3, [&](int x, int y) { return made->GetPixel(x, y); });
    TDataImage& image = *source->DataImage;
    if (c.Black != c.White) image.BlackPoint = c.Black, image.WhitePoint = c.White;
    // Those made to lie beyond the slider do.
    if (c.Black != c.White || std::string(c.Name) == "bias subtracted") {
      ASSERT_LT(image.BlackPoint, 0.0f);
    }
    const long double low = image.BlackPoint, high = image.WhitePoint;
    long double boxLow = 0, boxHigh = 0;
    WithDialog("ScaleLinear", [&](QDialog* dialog) {
      ASSERT_EQ(dialog, frmLinear);
      Activate(dialog);
      Settle(dialog);
      // A level on the track comes back from its thumb with two decimals; one
      // beyond it stays as it is, its thumb at the end.
      const bool lowBeyond = low < 0, highBeyond = high > frmLinear->QVRSlider->MaxVal;
      boxLow = frmLinear->fedMin->Value();
      boxHigh = frmLinear->fedMax->Value();
      EXPECT_NEAR(boxLow, low, lowBeyond ? 1e-6L * std::fabs(low) : 0.006L);
      EXPECT_NEAR(boxHigh, high, highBeyond ? 1e-6L * std::fabs(high) : 0.006L);
      if (lowBeyond) {
        EXPECT_EQ(frmLinear->QVRSlider->LowPixel(), 5);
      }
      if (highBeyond) {
        EXPECT_EQ(frmLinear->QVRSlider->HighPixel(), 261);
      }
      if (const char* dir = std::getenv("CORVELLE_SCREENSHOT_DIR"); dir && lowBeyond && highBeyond)
        dialog->grab().save(QString::fromLocal8Bit(dir) + "/linear-levels-beyond.png");
      ClickRadio(frmLinear->OutputRangeButtons->button(3));
      ClickOK(dialog);
    });
    TChildForm* result = Form->ActiveMDIChild();
    ASSERT_NE(result, source);
    // numpy's stretch of the same pixels between the same levels.
    QTemporaryDir dir;
    const QString in = dir.filePath("in.f32"), out = dir.filePath("out.f32");
    QFile f(in);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(reinterpret_cast<const char*>(image.Pixels), image.PixelCount() * 4);
    f.close();
    QProcess python;
    python.start("/usr/bin/python3", {CORVELLE_SOURCE_DIR "/tests/oracles/point_ops.py", in, out, "linear",
                                      QString::number(double(boxLow), 'g', 17),
                                      QString::number(double(boxHigh), 'g', 17)});
    ASSERT_TRUE(python.waitForFinished(60000) && python.exitCode() == 0) << python.readAllStandardError().toStdString();
    QFile r(out);
    ASSERT_TRUE(r.open(QIODevice::ReadOnly));
    const QByteArray expected = r.readAll();
    ASSERT_EQ(expected.size(), image.PixelCount() * 4);
    const float* e = reinterpret_cast<const float*>(expected.constData());
    int bad = 0;
    for (std::int64_t k = 0; k < image.PixelCount(); ++k)
      bad += std::fabs(result->DataImage->Pixels[k] - e[k]) > 1e-4f * std::max(1.0f, std::fabs(e[k]));
    EXPECT_EQ(bad, 0);
    Form->MDIArea()->setActiveSubWindow(source);
  }
}
