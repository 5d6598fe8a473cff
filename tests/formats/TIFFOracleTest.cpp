// Cross-checks of the TIFF reader and writer with PIL, tifffile, ImageMagick
// and libtiff's tools.
#include <gtest/gtest.h>

#include <sstream>

#include "formats/Bitmap.h"
#include "formats/Bmp2Tiff.h"
#include "formats/TIFFex.h"
#include "tests/formats/CodecTestUtil.h"

using namespace codectest;

namespace {

// Compares an image with expected R,G,B rows; describes the first difference.
::testing::AssertionResult SamePixels(const TDataImage& Image, const Bytes& RGB, int W, int H) {
  if (Image.Width != W || Image.Height != H)
    return ::testing::AssertionFailure() << "size " << Image.Width << "x" << Image.Height;
  if (RGB.size() != std::size_t(W) * H * 3) return ::testing::AssertionFailure() << "short expectation";
  int bad = 0;
  std::ostringstream first;
  for (int i = 0; i < W * H; ++i) {
    const TRGBPixel p = Image.RGBPlane[i];
    if (p.Red != RGB[3 * i] || p.Green != RGB[3 * i + 1] || p.Blue != RGB[3 * i + 2]) {
      if (bad++ == 0)
        first << "pixel " << i % W << "," << i / W << " is " << int(p.Red) << "," << int(p.Green) << ","
              << int(p.Blue) << " not " << int(RGB[3 * i]) << "," << int(RGB[3 * i + 1]) << "," << int(RGB[3 * i + 2]);
    }
  }
  if (bad) return ::testing::AssertionFailure() << bad << " pixels differ; " << first.str();
  return ::testing::AssertionSuccess();
}

}  // namespace

TEST(TIFFOracle, FilesOfOtherWritersDecodeLikePIL) {
  if (!NeedTool("/usr/bin/tiffcp") || !NeedTool("/usr/bin/convert")) return;
  TempDir dir;
  ASSERT_EQ(RunCommand(Python() + " " + Oracle("tiff_cases.py") + " " + dir.Path.string()), 0);
  std::ifstream manifest(dir.File("manifest.txt"));
  std::string line;
  int cases = 0, refusals = 0;
  while (std::getline(manifest, line)) {
    std::istringstream in(line);
    std::string name, second;
    in >> name >> second;
    SCOPED_TRACE(name);
    TDataImage image;
    if (second == "ERROR") {
      std::string text;
      std::getline(in >> std::ws, text);
      try {
        ReadTIFFImage(dir.File(name + ".tif"), image);
        ADD_FAILURE() << "opened";
      } catch (const ETIFFError& e) {
        EXPECT_EQ(e.what(), text);
      }
      ++refusals;
      continue;
    }
    const int w = std::stoi(second);
    int h = 0;
    in >> h;
    try {
      ReadTIFFImage(dir.File(name + ".tif"), image);
    } catch (const ETIFFError& e) {
      ADD_FAILURE() << e.what();
      continue;
    }
    EXPECT_TRUE(SamePixels(image, ReadBytes(dir.File(name + ".rgb")), w, h));
    ++cases;
  }
  EXPECT_GE(cases, 30);
  EXPECT_GE(refusals, 10);
}

TEST(TIFFWriter, ThreeByTwoLayoutByteForByte) {
  // Pixels B,G,R top-down: row 0 = (1,2,3) (4,5,6) (7,8,9), row 1 = (10..18).
  TFastBMP bmp;
  bmp.SetSize(3, 2);
  for (int y = 0; y < 2; ++y)
    for (int i = 0; i < 9; ++i) bmp.TopRow(y)[i] = std::uint8_t(1 + 9 * y + i);
  TempDir dir;
  std::string error = "x";
  ASSERT_TRUE(WriteTIFFFile(dir.File("a.tif"), bmp, error));
  EXPECT_EQ(error, "");
  const Bytes file = ReadBytes(dir.File("a.tif"));
  // The layout written out independently with python's struct.
  const std::string py = Python() + " -c \"import struct,sys\n"
      "px=bytes([3,2,1,6,5,4,9,8,7,12,11,10,15,14,13,18,17,16])\n"
      "h=b'II'+struct.pack('<HI',42,58)+struct.pack('<IIII',877,10,877,10)+struct.pack('<HHH',8,8,8)+b'Quelt soft'\n"
      "E=[(254,4,1,0),(256,3,1,3),(257,3,1,2),(258,3,3,24),(259,3,1,1),(262,3,1,2),(273,4,1,40),(277,3,1,3),"
      "(278,4,1,2),(279,4,1,18),(282,5,1,8),(283,5,1,16),(284,3,1,1),(296,3,1,2),(305,2,10,30)]\n"
      "d=struct.pack('<H',15)+b''.join(struct.pack('<HHII',*e) for e in E)+struct.pack('<I',0)\n"
      "open(sys.argv[1],'wb').write(h+px+d)\" " + dir.File("expected.tif");
  ASSERT_EQ(RunCommand(py), 0);
  EXPECT_EQ(file, ReadBytes(dir.File("expected.tif")));
  EXPECT_EQ(file.size(), 244u);
}

TEST(TIFFWriter, OddDirectoryOffsetNoPaddingAndOurReaderReadsItBack) {
  TempDir dir;
  std::string error;
  // 1 x 1: the directory at 43.
  ASSERT_TRUE(WriteTIFFFile(dir.File("one.tif"), Pattern(1, 1), error));
  const Bytes one = ReadBytes(dir.File("one.tif"));
  ASSERT_EQ(one.size(), 40u + 3 + 186);
  EXPECT_EQ(one[4] | one[5] << 8 | one[6] << 16 | one[7] << 24, 43);
  // Widths whose rows are not whole words: no padding, and the reader gives the picture back.
  for (int w : {1, 2, 3, 5, 7, 33}) {
    const TFastBMP bmp = Pattern(w, 4, unsigned(w));
    ASSERT_TRUE(WriteTIFFFile(dir.File("p.tif"), bmp, error));
    EXPECT_EQ(ReadBytes(dir.File("p.tif")).size(), 40u + 3u * w * 4 + 186) << w;
    TDataImage image;
    ReadTIFFImage(dir.File("p.tif"), image);
    EXPECT_EQ(ImageBytes(image), PictureBytes(bmp)) << w;
  }
}

TEST(TIFFWriter, OtherReadersSeeOurPixelsAndTags) {
  if (!NeedTool("/usr/bin/tiffinfo") || !NeedTool("/usr/bin/tiffdump")) return;
  TempDir dir;
  std::string error;
  const TFastBMP bmp = Pattern(29, 17, 5);
  ASSERT_TRUE(WriteTIFFFile(dir.File("our.tif"), bmp, error));
  // PIL: R,G,B rows; ours hold B,G,R.
  ASSERT_EQ(RunCommand(Python() + " -c \"import sys;from PIL import Image;import numpy as np;"
                           "open(sys.argv[2],'wb').write(np.asarray(Image.open(sys.argv[1]).convert('RGB'))"
                           "[...,::-1].tobytes())\" " +
                dir.File("our.tif") + " " + dir.File("pil.bgr")),
            0);
  EXPECT_EQ(ReadBytes(dir.File("pil.bgr")), PictureBytes(bmp));
  ASSERT_EQ(RunCommand("/usr/bin/tiffinfo " + dir.File("our.tif") + " > " + dir.File("info.txt") + " 2>&1"), 0);
  std::ifstream in(dir.File("info.txt"));
  const std::string info{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  for (const char* want : {"Image Width: 29 Image Length: 17", "Resolution: 87.7, 87.7 pixels/inch",
                           "Bits/Sample: 8", "Compression Scheme: None", "Photometric Interpretation: RGB color",
                           "Samples/Pixel: 3", "Rows/Strip: 17", "Planar Configuration: single image plane",
                           "Software: Quelt soft"})
    EXPECT_NE(info.find(want), std::string::npos) << want << "\n" << info;
}

TEST(TIFFWriter, SidesBeyond65535AreWrittenAsLong) {
  if (!NeedTool("/usr/bin/tiffdump")) return;
  TempDir dir;
  std::string error;
  const TFastBMP bmp = Pattern(70000, 2, 9);
  ASSERT_TRUE(WriteTIFFFile(dir.File("wide.tif"), bmp, error));
  ASSERT_EQ(RunCommand("/usr/bin/tiffdump " + dir.File("wide.tif") + " > " + dir.File("dump.txt") + " 2>&1"), 0);
  std::ifstream in(dir.File("dump.txt"));
  const std::string dump{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  EXPECT_NE(dump.find("ImageWidth (256) LONG (4) 1<70000>"), std::string::npos) << dump;
  EXPECT_NE(dump.find("ImageLength (257) LONG (4) 1<2>"), std::string::npos) << dump;
  TDataImage image;
  ReadTIFFImage(dir.File("wide.tif"), image);
  EXPECT_EQ(ImageBytes(image), PictureBytes(bmp));
}

TEST(TIFFWriter, AFailedSaveLeavesNoFileBehind) {
  TempDir dir;
  std::string error;
  EXPECT_FALSE(WriteTIFFFile(dir.File("none/x.tif"), Pattern(2, 2), error));
  EXPECT_EQ(error, "An error saving this file.\nNo such file or directory");
  TFastBMP empty;
  WriteBytes(dir.File("old.tif"), {1, 2, 3});
  EXPECT_FALSE(WriteTIFFFile(dir.File("old.tif"), empty, error));
  EXPECT_EQ(error, "An error saving this file.");
  EXPECT_EQ(ReadBytes(dir.File("old.tif")), (Bytes{1, 2, 3}));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path), fs::directory_iterator()), 1);
}
