#include <gtest/gtest.h>

#include "engine/DataImage.h"
#include "platform/FastBMPImage.h"

TEST(FastBMPImage, TopRowFirstAndChannelsInPlace) {
  TDataImage img;
  ASSERT_TRUE(img.Allocate(5, 2, 0, true));  // width 5: one pad byte per row
  img.SetRGB(0, 0, TRGBPixel{255, 0, 0});    // blue, top left
  img.SetRGB(4, 1, TRGBPixel{0, 0, 200});    // red, bottom right
  img.UpdateBitmap();
  const QImage q = FastBMPToQImage(img.Bitmap);
  ASSERT_EQ(q.width(), 5);
  ASSERT_EQ(q.height(), 2);
  EXPECT_EQ(q.pixel(0, 0), qRgb(0, 0, 255));
  EXPECT_EQ(q.pixel(4, 1), qRgb(200, 0, 0));
  EXPECT_EQ(q.pixel(1, 0), qRgb(0, 0, 0));
  EXPECT_TRUE(FastBMPToQImage(TFastBMP()).isNull());
}
