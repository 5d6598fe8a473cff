#include <QGroupBox>
#include <QToolButton>

#include "DialogTestUtil.h"
#include "app/Display.h"
#include "engine/ColGeometry.h"
#include "engine/Geometry.h"

TEST(PreviewFrame, ThumbnailSidesKeepTheShorterSideAt128) {
  struct Case {
    int W, H, TW, TH;
  };
  const Case cases[] = {
      {1000, 500, 256, 128}, {500, 1000, 128, 256}, {3, 2, 192, 128}, {2, 3, 128, 192}, {7, 7, 128, 128},
      // 1.5 * 128 = 192 exactly; 5/3 * 128 = 213.33
      {5, 3, 213, 128},
      // Very elongated: the long side stops at the limit, the proportion stays.
      {1, 65536, 1, 2048}, {8000, 100, 2048, 26},
  };
  for (const Case& c : cases) {
    int tw = 0, th = 0;
    TfmePreview::ThumbnailSize(c.W, c.H, tw, th);
    EXPECT_EQ(tw, c.TW) << c.W << " x " << c.H;
    EXPECT_EQ(th, c.TH) << c.W << " x " << c.H;
  }
}

TEST(PreviewFrame, ThumbnailsAreTheResampledImageAndZoomButtonsStepTo400) {
  for (bool colour : {false, true}) {
    TDataImage image;
    ASSERT_TRUE(image.Allocate(50, 100, colour ? 0 : 1, colour));
    for (int y = 0; y < 100; ++y)
      for (int x = 0; x < 50; ++x) {
        image.SetPixel(x, y, float(100 + x * y));
        image.SetRGB(x, y, {std::uint8_t(x), std::uint8_t(y), std::uint8_t(x ^ y)});
      }
    TfmePreview frame;
    frame.show();
    frame.InitPreview(image);
    ASSERT_TRUE(frame.HasImages());
    TDataImage thumb;
    if (colour)
      ColResample(128, 256, thumb, image);
    else
      Resample(128, 256, thumb, image);
    if (!colour) {
      // The sampling misses the brightest pixel, 100 + 49 x 99, which the
      // thumbnails hold where they sample its place, (49 x 128 / 50,
      // 99 x 256 / 100) = (125, 253); the darkest, 100 at (0, 0), is
      // sampled. The last columns and rows, blended with the 0 beyond the
      // edge, are held at 100.
      EXPECT_LT(Largest(thumb), 4951.0f);
      EXPECT_EQ(thumb.Pixels[0], 100.0f);
      int below = 0;
      for (std::int64_t i = 0; i < thumb.PixelCount(); ++i)
        if (thumb.Pixels[i] < 100.0f) {
          thumb.Pixels[i] = 100.0f;
          ++below;
        }
      EXPECT_GT(below, 0);
      thumb.Pixels[253 * 128 + 125] = 4951.0f;
    }
    EXPECT_TRUE(SamePixels(*frame.SourceImage, thumb));
    EXPECT_TRUE(SamePixels(*frame.ResultImage, thumb));
    if (!colour) {
      // The source thumbnail is auto-scaled and the result takes its points:
      // the image's range.
      thumb.AutoScale();
      EXPECT_EQ(thumb.BlackPoint, 100.0f);
      EXPECT_EQ(thumb.WhitePoint, 4951.0f);
      EXPECT_EQ(frame.SourceImage->BlackPoint, thumb.BlackPoint);
      EXPECT_EQ(frame.ResultImage->WhitePoint, thumb.WhitePoint);
      EXPECT_EQ(frame.ResultImage->BlackPoint, thumb.BlackPoint);
    }
    // What the frame shows is the rendered result thumbnail.
    EXPECT_EQ(frame.PreviewDisplay->Source().size(), QSize(128, 256));

    const char* captions[] = {"Preview - 200%", "Preview - 300%", "Preview - 400%", "Preview - 400%"};
    for (const char* caption : captions) {
      QTest::mouseClick(frame.btnZoomIn, Qt::LeftButton);
      EXPECT_EQ(frame.grpPreview->title(), QString::fromLatin1(caption));
    }
    EXPECT_EQ(frame.PreviewDisplay->width(), 512);
    for (const char* caption : {"Preview - 300%", "Preview - 200%", "Preview - 100%", "Preview - 100%"}) {
      QTest::mouseClick(frame.btnZoomOut, Qt::LeftButton);
      EXPECT_EQ(frame.grpPreview->title(), QString::fromLatin1(caption));
    }
    EXPECT_EQ(frame.btnZoomIn->toolTip(), QStringLiteral("Zoom In"));
    EXPECT_EQ(frame.btnZoomOut->toolTip(), QStringLiteral("Zoom Out"));
    frame.FreeImages();
    EXPECT_FALSE(frame.HasImages());
    EXPECT_EQ(frame.SourceImage, nullptr);
  }
}
