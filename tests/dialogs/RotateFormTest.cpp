#include "DialogTestUtil.h"

using FlipCommands = DialogTest;

TEST_F(FlipCommands, MakeAFlippedCopyInANewWindow) {
  TChildForm* grey = GreyWindow(3, 2, 1, [](int x, int y) { return float(10 * y + x); }, QStringLiteral("G"));
  grey->SetZoom(200.0f);
  // Top to bottom: row 0 becomes (10, 11, 12).
  Form->Action(QStringLiteral("ProcessFlipTopToBottom"))->trigger();
  TChildForm* upside = Form->ActiveMDIChild();
  ASSERT_NE(upside, grey);
  EXPECT_EQ(upside->Caption(), QStringLiteral("Flip"));
  EXPECT_TRUE(upside->Modified);
  EXPECT_EQ(upside->ImageDisplay->Zoom, 200.0f);
  const float top[] = {10, 11, 12}, bottom[] = {0, 1, 2};
  for (int x = 0; x < 3; ++x) {
    EXPECT_EQ(upside->DataImage->GetPixel(x, 0), top[x]);
    EXPECT_EQ(upside->DataImage->GetPixel(x, 1), bottom[x]);
  }
  EXPECT_EQ(grey->DataImage->GetPixel(0, 0), 0.0f);  // the source keeps its pixels

  // Left to right on a colour image: column 0 takes column 3's bytes.
  TChildForm* colour = ColourWindow(4, 1, [](int x, int) {
    return TRGBPixel{std::uint8_t(x), std::uint8_t(10 + x), std::uint8_t(20 + x)};
  });
  Form->Action(QStringLiteral("ProcessFlipLeftToRight"))->trigger();
  TChildForm* mirror = Form->ActiveMDIChild();
  ASSERT_NE(mirror, colour);
  EXPECT_EQ(mirror->Caption(), QStringLiteral("Flip"));
  for (int x = 0; x < 4; ++x) {
    TRGBPixel p;
    mirror->DataImage->GetRGB(x, 0, p);
    EXPECT_EQ(p.Blue, 3 - x);
    EXPECT_EQ(p.Green, 13 - x);
    EXPECT_EQ(p.Red, 23 - x);
  }
}

