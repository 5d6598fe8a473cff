// The Photo CD reader: the colour formula, chroma averaging, orientations,
// refusals, and ImageMagick's own Photo CD files.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <sstream>

#include "formats/PCD.h"
#include "tests/formats/CodecTestUtil.h"

using namespace codectest;

namespace {

constexpr std::size_t PackSize = 196608 + 256 * 2304;

// A pack whose planes come from the three functions (of x, y of the plane).
using PlaneFn = std::function<std::uint8_t(int, int)>;
Bytes MakePack(std::uint8_t Orientation, PlaneFn YOf, PlaneFn C1Of, PlaneFn C2Of) {
  Bytes f(PackSize + 1024, 0);
  std::memcpy(f.data() + 2048, "PCD_IPI", 7);
  f[194635] = Orientation;
  for (int g = 0; g < 256; ++g) {
    std::uint8_t* p = f.data() + 196608 + 2304 * g;
    for (int x = 0; x < 768; ++x) p[x] = YOf(x, 2 * g), p[768 + x] = YOf(x, 2 * g + 1);
    for (int x = 0; x < 384; ++x) p[1536 + x] = C1Of(x, g), p[1920 + x] = C2Of(x, g);
  }
  return f;
}

Bytes Constant(int Y, int C1, int C2) {
  return MakePack(0, [=](int, int) { return std::uint8_t(Y); }, [=](int, int) { return std::uint8_t(C1); },
                  [=](int, int) { return std::uint8_t(C2); });
}

std::string ErrorOf(const Bytes& File) {
  TPCDGraphic g;
  try {
    g.LoadFromMemory(File.data(), File.size());
  } catch (const EPCDError& e) {
    return e.what();
  }
  return "";
}

}  // namespace

TEST(PCDReader, ColourFormulaExamples) {
  TPCDGraphic g;
  Bytes black = Constant(0, 156, 137);
  g.LoadFromMemory(black.data(), black.size());
  ASSERT_EQ(g.Bitmap.Width, 768);
  ASSERT_EQ(g.Bitmap.Height, 512);
  EXPECT_EQ(PictureBytes(g.Bitmap), Bytes(768 * 512 * 3, 0));
  Bytes white = Constant(188, 156, 137);  // 1.3584 x 188 = 255.38
  g.LoadFromMemory(white.data(), white.size());
  EXPECT_EQ(PictureBytes(g.Bitmap), Bytes(768 * 512 * 3, 255));
  // Y = 100, C1 = 180, C2 = 100: L = 135.84; red 135.84 - 67.3955 = 68.44; green 135.84 + 34.3043
  // - 10.3265 = 159.82; blue 135.84 + 53.2296 = 189.07.
  const TRGBPixel p = PCDColour(100, 180, 100);
  EXPECT_EQ(int(p.Red), 68);
  EXPECT_EQ(int(p.Green), 160);
  EXPECT_EQ(int(p.Blue), 189);
  // Clamped at both ends.
  const TRGBPixel q = PCDColour(0, 0, 255);
  EXPECT_EQ(int(q.Red), 215);  // 1.8215 x 118 = 214.94
  EXPECT_EQ(int(q.Blue), 0);
  // Exact halves go to the even neighbour: blue 31.2432 - 17.7432 = 13.5, 153.0 - 112.5 = 40.5,
  // red 156.216 - 43.716 = 112.5.
  EXPECT_EQ(int(PCDColour(23, 148, 137).Blue), 14);
  EXPECT_EQ(int(PCDColour(69, 132, 137).Blue), 40);
  EXPECT_EQ(int(PCDColour(115, 156, 113).Red), 112);
  EXPECT_EQ(int(PCDColour(115, 156, 113).Blue), 156);  // 156.216
}

TEST(PCDReader, ChromaAveragingMatchesAnIndependentDecoding) {
  std::mt19937 rng(3);
  const Bytes pack = MakePack(
      0, [&](int, int) { return std::uint8_t(rng()); }, [&](int, int) { return std::uint8_t(rng()); },
      [&](int, int) { return std::uint8_t(rng()); });
  TempDir dir;
  WriteBytes(dir.File("r.pcd"), pack);
  ASSERT_EQ(RunCommand(Python() + " " + Oracle("pcd_decode.py") + " " + dir.File("r.pcd") + " " + dir.File("r.rgb")), 0);
  const Bytes rgb = ReadBytes(dir.File("r.rgb"));
  TDataImage image;
  ReadPCDImage(dir.File("r.pcd"), image);
  ASSERT_EQ(image.Width, 768);
  ASSERT_EQ(image.Height, 512);
  ASSERT_EQ(rgb.size(), 768u * 512 * 3);
  int bad = 0;
  for (int i = 0; i < 768 * 512; ++i) {
    const TRGBPixel p = image.RGBPlane[i];
    bad += p.Red != rgb[3 * i] || p.Green != rgb[3 * i + 1] || p.Blue != rgb[3 * i + 2];
  }
  EXPECT_EQ(bad, 0);
  EXPECT_EQ(image.WhitePoint, 255.0f);
}

TEST(PCDReader, OrientationCodesStayInsideThePicture) {
  // Grey ramps with neutral chroma: grey = Round(1.3584 Y); Y encodes the position coarsely.
  auto yOf = [](int x, int y) { return std::uint8_t((x / 8) % 16 + 16 * ((y / 64) % 8)); };
  auto neutral1 = [](int, int) { return std::uint8_t(156); };
  auto neutral2 = [](int, int) { return std::uint8_t(137); };
  auto grey = [&](int x, int y) { return std::uint8_t(PCDColour(yOf(x, y), 156, 137).Red); };
  for (std::uint8_t orientation : {0, 1, 2, 3, 4, 5, 6, 7}) {
    SCOPED_TRACE(int(orientation));
    const Bytes pack = MakePack(orientation, yOf, neutral1, neutral2);
    TPCDGraphic g;
    g.LoadFromMemory(pack.data(), pack.size());
    const int code = orientation & 3;
    EXPECT_EQ(g.Rotation, code);
    const bool turned = code & 1;
    ASSERT_EQ(g.Bitmap.Width, turned ? 512 : 768);
    ASSERT_EQ(g.Bitmap.Height, turned ? 768 : 512);
    int bad = 0;
    for (int y = 0; y < 512; y += 7)
      for (int x = 0; x < 768; x += 5) {
        int row = y, col = x;
        if (code == 1) row = 767 - x, col = y;  // a quarter turn counter-clockwise
        if (code == 2) row = 511 - y, col = 767 - x;
        if (code == 3) row = x, col = 511 - y;  // a quarter turn clockwise
        bad += g.Bitmap.TopRow(row)[3 * col] != grey(x, y);
      }
    EXPECT_EQ(bad, 0);
  }
}

TEST(PCDReader, BadFilesGiveTheMessage) {
  const std::string invalid = "The PCD file is invalid.";
  Bytes pack = Constant(50, 156, 137);
  ASSERT_EQ(ErrorOf(pack), "");
  for (int i = 0; i < 7; ++i) {
    Bytes wrong = pack;
    wrong[2048 + i] ^= 0x20;
    EXPECT_EQ(ErrorOf(wrong), invalid) << i;
  }
  EXPECT_EQ(ErrorOf({}), invalid);
  for (std::size_t n : {std::size_t(2050), std::size_t(2055), std::size_t(194635), std::size_t(196608),
                        PackSize - 1}) {
    const Bytes cut(pack.begin(), pack.begin() + n);
    EXPECT_EQ(ErrorOf(cut), invalid) << n;
  }
  EXPECT_EQ(ErrorOf(Bytes(pack.begin(), pack.begin() + PackSize)), "");
  TDataImage image;
  EXPECT_THROW(ReadPCDImage("/nonexistent/x.pcd", image), EPCDError);
}

TEST(PCDReader, ImageMagicksPhotoCDFilesDecodeInStepWithItsOwnDecoding) {
  if (!NeedTool("/usr/bin/convert")) return;
  TempDir dir;
  // A smooth picture, without symmetries, inside the range neither decoder clamps.
  const std::string make = Python() + " -c \"import sys;import numpy as np;from PIL import Image\n"
      "y,x=np.mgrid[0:512,0:768]\n"
      "a=np.dstack([60+25*np.sin(x/47+y/91),70+25*np.cos(y/37),65+20*np.sin(x*y/20000)]).astype('uint8')\n"
      "Image.fromarray(a).save(sys.argv[1])\" " + dir.File("src.png");
  ASSERT_EQ(RunCommand(make), 0);
  ASSERT_EQ(RunCommand("/usr/bin/convert " + dir.File("src.png") + " " + dir.File("im.pcd")), 0);
  ASSERT_EQ(RunCommand("/usr/bin/convert " + dir.File("im.pcd") + " -depth 8 rgb:" + dir.File("im.rgb")), 0);
  TDataImage image;
  ReadPCDImage(dir.File("im.pcd"), image);
  ASSERT_EQ(image.Width, 768);
  ASSERT_EQ(image.Height, 512);
  Bytes ours;
  ours = ImageBytes(image);
  for (std::size_t i = 0; i < ours.size(); i += 3) std::swap(ours[i], ours[i + 2]);
  WriteBytes(dir.File("ours.rgb"), ours);
  ASSERT_EQ(RunCommand(Python() + " " + Oracle("pcd_compare.py") + " " + dir.File("ours.rgb") + " " +
                       dir.File("im.rgb") + " > " + dir.File("fit.txt")),
            0);
  std::ifstream fit(dir.File("fit.txt"));
  double worst = 1e9, mean = 1e9;
  fit >> worst >> mean;
  std::cout << "ImageMagick Photo CD: largest residual " << worst << ", mean " << mean << "\n";
  EXPECT_LE(worst, 4.0);
  EXPECT_LE(mean, 1.2);
}

TEST(PCDReader, OffsetsCountFromTheStreamPosition) {
  const Bytes pack = Constant(188, 156, 137);
  std::string data(1000, 'x');
  data.append(pack.begin(), pack.end());
  std::istringstream in(data);
  in.seekg(1000);
  TPCDGraphic g;
  g.LoadFromStream(in);
  EXPECT_EQ(PictureBytes(g.Bitmap), Bytes(768 * 512 * 3, 255));
}
