#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QPointer>
#include <cstring>
#include <functional>

#include "AppTestUtil.h"
#include "app/FilterInterface.h"
#include "app/Utilities.h"
#include "engine/ClampByte.h"
#include "engine/ColProcessing.h"
#include "engine/Processing.h"
#include "platform/PageMemory.h"

using ResultWindows = AppTest;

namespace {
bool SamePixels(const TDataImage& A, const TDataImage& B) {
  if (A.Width != B.Width || A.Height != B.Height || A.IsColour != B.IsColour || A.DataType != B.DataType) return false;
  const std::size_t n = std::size_t(A.PixelCount());
  return A.IsColour ? std::memcmp(A.RGBPlane, B.RGBPlane, n * 3) == 0
                    : std::memcmp(A.Pixels, B.Pixels, n * sizeof(float)) == 0;
}

// The source copied the way a result window starts.
std::unique_ptr<TDataImage> Copy(const TDataImage& S) {
  auto d = std::make_unique<TDataImage>();
  d->Allocate(S.Width, S.Height, S.IsColour ? 0 : S.DataType, S.IsColour);
  const std::size_t n = std::size_t(S.PixelCount());
  if (S.IsColour)
    std::memcpy(d->RGBPlane, S.RGBPlane, n * 3);
  else
    std::memcpy(d->Pixels, S.Pixels, n * sizeof(float));
  return d;
}
}  // namespace

TEST(ClampByte, LimitsToAByte) {
  EXPECT_EQ(ClampByte(-5), 0);
  EXPECT_EQ(ClampByte(128), 128);
  EXPECT_EQ(ClampByte(300), 255);
}

TEST_F(ResultWindows, CopyImageWindowKeepsZoomTableAndPointsButNoOverlay) {
  TChildForm* source = GreyWindow(30, 20, 1, [](int x, int y) { return float(x * 100 + y); }, QStringLiteral("M42"));
  source->SetZoom(200.0f);
  source->ImageOverlay->AddAnnotation(1, 1, QStringLiteral("note"), QFont(QStringLiteral("Arial")));
  source->ImageOverlay->AddMarker(3.0f, 4.0f);
  source->ImageOverlay->AddAperture(5.0f, 5.0f, 2, 3, 4);
  source->FITSHeader = {"SIMPLE  =                    T", "BITPIX  =                   16"};
  TLUT table;
  for (int i = 0; i < 256; ++i) table[i] = std::uint8_t(255 - i);
  source->DataImage->SetLUT(table);
  source->DataImage->BlackPoint = 7.0f;
  source->DataImage->WhitePoint = 1900.0f;
  source->Modified = false;

  Errors.clear();
  TChildForm* copy = CopyImageWindow(source);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(Errors, std::vector<int>{0});
  EXPECT_EQ(copy->ImageDisplay->Zoom, 200.0f);
  EXPECT_EQ(copy->ImageOverlay->Zoom, 200.0f);
  EXPECT_TRUE(SamePixels(*copy->DataImage, *source->DataImage));
  EXPECT_EQ(copy->DataImage->LUT, table);
  EXPECT_EQ(copy->DataImage->BlackPoint, 7.0f);
  EXPECT_EQ(copy->DataImage->WhitePoint, 1900.0f);
  EXPECT_EQ(copy->FITSHeader, source->FITSHeader);
  EXPECT_TRUE(copy->ImageOverlay->Annotations().empty());
  EXPECT_TRUE(copy->ImageOverlay->Markers().empty());
  EXPECT_TRUE(copy->ImageOverlay->Apertures().empty());
  EXPECT_EQ(copy->Caption(), QStringLiteral("Untitled"));
  EXPECT_TRUE(copy->Modified);
  EXPECT_EQ(Form->ActiveMDIChild(), copy);

  // A colour source becomes data type 0 with its bytes.
  TChildForm* colour = ColourWindow(5, 4, [](int x, int y) { return TRGBPixel{std::uint8_t(x), std::uint8_t(y), 9}; });
  TChildForm* colourCopy = CopyImageWindow(colour);
  ASSERT_NE(colourCopy, nullptr);
  EXPECT_TRUE(SamePixels(*colourCopy->DataImage, *colour->DataImage));
}

TEST_F(ResultWindows, CopyImageWindowOutOfMemorySaysSoAndLeavesNoWindow) {
  TChildForm* source = GreyWindow(4, 4, 1, [](int, int) { return 1.0f; });
  // An image whose sides promise more than memory can hold.
  source->DataImage->Width = 1 << 30;
  source->DataImage->Height = 1 << 30;
  Errors.clear();
  EXPECT_EQ(CopyImageWindow(source), nullptr);
  source->DataImage->Width = 4;
  source->DataImage->Height = 4;
  EXPECT_TRUE(Errors.empty());
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0].Type, TMsgDlgType::mtError);
  EXPECT_EQ(Boxes[0].Text, QStringLiteral("Out of memory"));
  EXPECT_EQ(Form->MDIChildren(), QList<TChildForm*>{source});
}

// A window routine's failure with the number the user reads in the error box
// (out of memory is said in words instead, above).
TEST_F(ResultWindows, RenderedBitmapOfAWindowWithoutPictureReportsFortySix) {
  // A window without an image has no picture to take.
  Errors.clear();
  EXPECT_TRUE(GetRenderedBitmap(new TChildForm).isNull());
  EXPECT_EQ(Errors, std::vector<int>{46});
}

TEST_F(ResultWindows, EveryFixedFilterMakesItsCaptionedWindowWithTheEngineResult) {
  using Run = std::function<void(TDataImage&, TDataImage&)>;
  auto kernel = [](int code) -> Run {
    return [code](TDataImage& d, TDataImage& s) {
      s.IsColour ? ColConvolvePreset(std::uint8_t(code), d, s) : Filter3x3(std::uint8_t(code), d, s);
    };
  };
  auto minmax = [](int mode) -> Run {
    return [mode](TDataImage& d, TDataImage& s) {
      s.IsColour ? ColMinMaxFilter(std::uint8_t(mode), 3, d, s) : MinMaxFilter(std::uint8_t(mode), 3, d, s);
    };
  };
  auto median = [](int n) -> Run {
    return [n](TDataImage& d, TDataImage& s) {
      s.IsColour ? ColMedianFilter(std::uint8_t(n), d, s) : MedianFilter(std::uint8_t(n), d, s);
    };
  };
  auto mean = [](int n) -> Run {
    return [n](TDataImage& d, TDataImage& s) {
      s.IsColour ? ColBoxFilter(std::uint8_t(n), d, s) : MeanFilter(std::uint8_t(n), d, s);
    };
  };
  const Run sobel = [](TDataImage& d, TDataImage& s) { s.IsColour ? ColGradient(d, s) : SobelFilter(d, s); };
  const struct {
    const char* Action;
    const char* Caption;
    Run Expected;
  } table[] = {
      {"FilterSharpenLittle", "Sharpen Little", kernel(1)},
      {"FilterSharpenMore", "Sharpen More", kernel(2)},
      {"FilterBlurLittle", "Blur Little", kernel(3)},
      {"FilterBlurMore", "Blur More", kernel(4)},
      {"FilterPointDetector", "Point Detector", kernel(5)},
      {"FilterVertEdge", "Vertical Edge Detector", kernel(7)},
      {"FilterHorzEdge", "Horizontal Edge Detector", kernel(6)},
      {"FilterLaplacian", "Laplacian", kernel(8)},
      {"FilterPrewittNorth", "Prewitt North", kernel(9)},
      {"FilterPrewittSouth", "Prewitt South", kernel(10)},
      {"FilterPrewittEast", "Prewitt East", kernel(11)},
      {"FilterPrewittWest", "Prewitt West", kernel(12)},
      {"FilterSobel", "Sobel", sobel},
      {"FilterMinimum", "Minimum Filter", minmax(0)},
      {"FilterMaximum", "Maximum Filter", minmax(1)},
      {"FilterMedian3", "Median 3 x 3", median(3)},
      {"FilterMedian5", "Median 5 x 5", median(5)},
      {"FilterMedian7", "Median 7 x 7", median(7)},
      {"FilterMean3", "Mean 3 x 3", mean(3)},
      {"FilterMean5", "Mean 5 x 5", mean(5)},
      {"FilterMean7", "Mean 7 x 7", mean(7)},
  };
  int qls = 0;
  Form->OnQuickLinearScaleUpdate = [&] { ++qls; };
  TChildForm* grey = GreyWindow(23, 17, 1, [](int x, int y) { return float((x * 37 + y * 101) % 997 + (x == 11) * 3000); });
  TChildForm* colour = ColourWindow(19, 13, [](int x, int y) {
    return TRGBPixel{std::uint8_t(x * 13 + y), std::uint8_t((x * y * 7) & 255), std::uint8_t(y * 19)};
  });
  int n = 0;
  for (TChildForm* source : {grey, colour}) {
    for (const auto& row : table) {
      Form->MDIArea()->setActiveSubWindow(source);
      Form->Action(QString::fromLatin1(row.Action))->trigger();
      TChildForm* result = Form->ActiveMDIChild();
      ASSERT_NE(result, source) << row.Action;
      EXPECT_EQ(result->Caption(), QString::fromLatin1(row.Caption));
      EXPECT_TRUE(result->Modified);
      auto expected = Copy(*source->DataImage);
      row.Expected(*expected, *source->DataImage);
      EXPECT_TRUE(SamePixels(*result->DataImage, *expected)) << row.Action << (source == grey ? " grey" : " colour");
      ++n;
      EXPECT_EQ(qls, n);
    }
  }
  // The vertical and horizontal detectors differ on this picture.
  EXPECT_EQ(StandardFilters[5].Code, 7);
  EXPECT_EQ(StandardFilters[6].Code, 6);
}

TEST_F(ResultWindows, GreyscaleConversionRoundsTheMeanOfTheThreeBytes) {
  TChildForm* colour = ColourWindow(3, 1, [](int x, int) {
    const TRGBPixel p[] = {{2, 2, 1}, {1, 0, 0}, {2, 1, 1}};  // B, G, R of (1,2,2), (0,0,1), (1,1,2)
    return p[x];
  });
  Form->Action(QStringLiteral("ProcessColourToGrey"))->trigger();
  TChildForm* grey = Form->ActiveMDIChild();
  ASSERT_NE(grey, colour);
  EXPECT_EQ(grey->Caption(), QStringLiteral("Greyscale Conversion"));
  EXPECT_EQ(grey->DataImage->DataType, 3);
  EXPECT_FALSE(grey->DataImage->IsColour);
  EXPECT_EQ(grey->DataImage->GetPixel(0, 0), 2.0f);
  EXPECT_EQ(grey->DataImage->GetPixel(1, 0), 0.0f);
  EXPECT_EQ(grey->DataImage->GetPixel(2, 0), 1.0f);
  EXPECT_TRUE(grey->FITSHeader.empty());

  const int before = WindowCount();
  Form->Action(QStringLiteral("ProcessColourToGrey"))->trigger();
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0].Type, TMsgDlgType::mtWarning);
  EXPECT_EQ(Boxes[0].Text, QStringLiteral("The current image is already a greyscale image."));
  Form->Action(QStringLiteral("ProcessColourSplit"))->trigger();
  ASSERT_EQ(Boxes.size(), 2u);
  EXPECT_EQ(Boxes[1].Text,
            QStringLiteral("The colour planes cannot be split because the current image is a greyscale image."));
  EXPECT_EQ(WindowCount(), before);
}

TEST_F(ResultWindows, SplitMakesThreeCaptionedPlanes) {
  TChildForm* colour = ColourWindow(4, 3, [](int x, int y) {
    return TRGBPixel{std::uint8_t(x + 100), std::uint8_t(y + 50), std::uint8_t(x * y)};
  }, QStringLiteral("M42"));
  Form->Action(QStringLiteral("ProcessColourSplit"))->trigger();
  const QList<TChildForm*> windows = Form->MDIChildren();
  ASSERT_EQ(windows.size(), 4);
  EXPECT_EQ(windows[3], colour);
  // Most recent first: blue, green, red.
  EXPECT_EQ(windows[2]->Caption(), QStringLiteral("M42 - RED"));
  EXPECT_EQ(windows[1]->Caption(), QStringLiteral("M42 - GREEN"));
  EXPECT_EQ(windows[0]->Caption(), QStringLiteral("M42 - BLUE"));
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(windows[2]->DataImage->GetPixel(x, y), float(x * y));
      EXPECT_EQ(windows[1]->DataImage->GetPixel(x, y), float(y + 50));
      EXPECT_EQ(windows[0]->DataImage->GetPixel(x, y), float(x + 100));
    }
  EXPECT_EQ(windows[0]->DataImage->DataType, 3);
}

TEST_F(ResultWindows, DuplicateCopiesAnnotationsMarkersZoomAndColour) {
  TChildForm* source = GreyWindow(40, 30, 1, [](int x, int y) { return float(x * y); }, QStringLiteral("NGC 7000"));
  source->SetZoom(200.0f);
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(14);
  source->ImageOverlay->AddAnnotation(2, 3, QStringLiteral("one"), font, 0x00FF00);
  source->ImageOverlay->AddAnnotation(10, 12, QStringLiteral("two"), font);
  for (int i = 0; i < 3; ++i) source->ImageOverlay->AddMarker(float(i * 5), float(i * 4));
  source->ImageOverlay->AddAperture(5, 5, 1, 2, 3);
  source->ImageOverlay->MarkerColour = 0x0000FF;
  Form->Action(QStringLiteral("EditDuplicate"))->trigger();
  TChildForm* copy = Form->ActiveMDIChild();
  ASSERT_NE(copy, source);
  EXPECT_EQ(copy->Caption(), QStringLiteral("Copy of NGC 7000"));
  ASSERT_EQ(copy->ImageOverlay->Annotations().size(), 2u);
  EXPECT_EQ(copy->ImageOverlay->Annotations()[1].Text, QStringLiteral("two"));
  EXPECT_EQ(copy->ImageOverlay->Annotations()[0].FontColour, 0x00FF00u);
  EXPECT_EQ(copy->ImageOverlay->Annotations()[0].X, 2);
  ASSERT_EQ(copy->ImageOverlay->Markers().size(), 3u);
  EXPECT_EQ(copy->ImageOverlay->Markers()[2].X, 10.0f);
  EXPECT_TRUE(copy->ImageOverlay->Apertures().empty());
  EXPECT_EQ(copy->ImageDisplay->Zoom, 200.0f);
  EXPECT_EQ(copy->ImageDisplay->size(), QSize(80, 60));
  EXPECT_EQ(copy->ImageOverlay->MarkerColour, 0x0000FFu);
  EXPECT_TRUE(SamePixels(*copy->DataImage, *source->DataImage));
  EXPECT_TRUE(copy->Modified);
}

TEST_F(ResultWindows, CopyAndPasteThroughTheClipboard) {
  TChildForm* source = ColourWindow(6, 5, [](int x, int y) {
    return TRGBPixel{std::uint8_t(x * 40), std::uint8_t(y * 50), std::uint8_t(200 - x)};
  }, QStringLiteral("Source"));
  source->ImageOverlay->AddMarker(2.0f, 2.0f);
  source->ImageOverlay->MarkerColour = 0xFFFFFF;
  Form->Action(QStringLiteral("EditCopy"))->trigger();
  ASSERT_TRUE(QGuiApplication::clipboard()->mimeData()->hasImage());
  const QImage clip = QGuiApplication::clipboard()->image();
  ASSERT_EQ(clip.size(), QSize(6, 5));
  EXPECT_EQ(clip.pixelColor(5, 0), QColor(195, 0, 200));
  EXPECT_EQ(clip.pixelColor(2, 2), QColor(Qt::white));  // the marker is drawn in

  Form->Action(QStringLiteral("EditPaste"))->trigger();
  TChildForm* pasted = Form->ActiveMDIChild();
  ASSERT_NE(pasted, source);
  EXPECT_EQ(pasted->Caption(), QStringLiteral("Paste"));
  EXPECT_TRUE(pasted->Modified);  // never saved: closing it asks
  EXPECT_TRUE(pasted->DataImage->IsColour);
  TRGBPixel p;
  pasted->DataImage->GetRGB(5, 0, p);
  EXPECT_EQ(p.Red, 195);
  EXPECT_EQ(p.Green, 0);
  EXPECT_EQ(p.Blue, 200);
  pasted->DataImage->GetRGB(2, 2, p);
  EXPECT_EQ(p.Red, 255);

  // Nothing on the clipboard but text: no window.
  QGuiApplication::clipboard()->setText(QStringLiteral("text"));
  const int before = WindowCount();
  Form->Action(QStringLiteral("EditPaste"))->trigger();
  EXPECT_EQ(WindowCount(), before);
}

TEST_F(ResultWindows, RenderedBitmapIsTheDisplayAtItsZoomWithMarks) {
  TChildForm* grey = GreyWindow(10, 10, 1, [](int x, int) { return float(x * 10); });
  grey->SetZoom(200.0f);
  grey->ImageOverlay->AddMarker(5.0f, 5.0f);
  grey->ImageOverlay->AddAperture(2.0f, 2.0f, 1, 2, 3);
  Errors.clear();
  const QImage picture = GetRenderedBitmap(grey);
  EXPECT_EQ(Errors, std::vector<int>{0});
  ASSERT_EQ(picture.size(), QSize(20, 20));
  EXPECT_EQ(picture.pixelColor(10, 10), QColor(Qt::white));
  // Away from the marks the picture is the rendered display: black point 0 at column 0.
  EXPECT_EQ(picture.pixelColor(0, 19), QColor(Qt::black));
  EXPECT_EQ(picture.pixelColor(19, 19), QColor(255, 255, 255));
}

TEST_F(ResultWindows, RenderedBitmapTooLargeReportsFortySixAndCopiesNothing) {
  TChildForm* grey = GreyWindow(50, 40, 1, [](int x, int) { return float(x); });
  grey->SetZoom(1999.0f);  // about 1000 x 800 pixels, 2.4 MB
  QGuiApplication::clipboard()->setText(QStringLiteral("before"));
  PageMemory::SetLimit(1 << 20);
  Errors.clear();
  const QImage picture = GetRenderedBitmap(grey);
  Form->Action(QStringLiteral("EditCopy"))->trigger();
  PageMemory::SetLimit(0);
  EXPECT_TRUE(picture.isNull());
  EXPECT_EQ(Errors, (std::vector<int>{46, 46}));
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
  EXPECT_FALSE(GetRenderedBitmap(grey).isNull());
}
