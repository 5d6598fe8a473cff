// Bitmap files: every header, depth and compression against PIL, ImageMagick
// and netpbm; our files read by them; bad files.
#include <gtest/gtest.h>

#include <sstream>

#include <sys/stat.h>

#include "formats/Bitmap.h"
#include "formats/Bmp2Tiff.h"
#include "formats/JPG.h"
#include "platform/PageMemory.h"
#include "tests/formats/CodecTestUtil.h"

using namespace codectest;

namespace {

::testing::AssertionResult Near(const TDataImage& Image, const Bytes& RGB, int W, int H, int Tol) {
  if (Image.Width != W || Image.Height != H)
    return ::testing::AssertionFailure() << "size " << Image.Width << "x" << Image.Height;
  int bad = 0;
  std::ostringstream first;
  for (int i = 0; i < W * H; ++i) {
    const TRGBPixel p = Image.RGBPlane[i];
    const int got[3] = {p.Red, p.Green, p.Blue};
    for (int c = 0; c < 3; ++c)
      if (std::abs(got[c] - RGB[3 * i + c]) > Tol && bad++ == 0)
        first << "pixel " << i % W << "," << i / W << " channel " << c << ": " << got[c] << " not "
              << int(RGB[3 * i + c]);
  }
  if (bad) return ::testing::AssertionFailure() << bad << " values differ; " << first.str();
  return ::testing::AssertionSuccess();
}

std::uint32_t U32At(const Bytes& B, std::size_t At) {
  return B[At] | B[At + 1] << 8 | B[At + 2] << 16 | std::uint32_t(B[At + 3]) << 24;
}

bool Decodes(const Bytes& File) {
  TFastBMP bmp;
  return DecodeBMP(File.data(), File.size(), bmp);
}

}  // namespace

TEST(BMPOracle, EveryVariantDecodesLikeTheOtherReaders) {
  if (!NeedTool("/usr/bin/convert") || !NeedTool("/usr/bin/ppmtobmp")) return;
  TempDir dir;
  ASSERT_EQ(RunCommand(Python() + " " + Oracle("bmp_cases.py") + " " + dir.Path.string()), 0);
  std::ifstream manifest(dir.File("manifest.txt"));
  std::string name;
  int w, h, tol, cases = 0;
  while (manifest >> name >> w >> h >> tol) {
    SCOPED_TRACE(name);
    TDataImage image;
    std::string error;
    ASSERT_TRUE(ReadBMPImage(dir.File(name + ".bmp"), image, error)) << error;
    EXPECT_TRUE(image.IsColour);
    EXPECT_EQ(image.DataType, 0);
    EXPECT_TRUE(Near(image, ReadBytes(dir.File(name + ".rgb")), w, h, tol));
    ++cases;
  }
  EXPECT_GE(cases, 20);
}

TEST(BMPWriter, OtherReadersSeeOurPixels) {
  if (!NeedTool("/usr/bin/bmptopnm")) return;
  TempDir dir;
  for (int w : {1, 2, 3, 4, 5, 13}) {
    SCOPED_TRACE(w);
    const TFastBMP bmp = Pattern(w, 3, unsigned(w) + 40);
    std::string error = "x";
    ASSERT_TRUE(WriteBMPFile(dir.File("our.bmp"), bmp, error));
    EXPECT_EQ(error, "");
    const Bytes file = ReadBytes(dir.File("our.bmp"));
    const std::size_t stride = (3 * w + 3) / 4 * 4;
    ASSERT_EQ(file.size(), 54 + stride * 3);
    EXPECT_EQ(U32At(file, 2), file.size());
    EXPECT_EQ(U32At(file, 10), 54u);
    EXPECT_EQ(U32At(file, 14), 40u);
    EXPECT_EQ(U32At(file, 18), std::uint32_t(w));
    EXPECT_EQ(U32At(file, 22), 3u);  // positive: bottom-up
    EXPECT_EQ(file[28], 24);
    EXPECT_EQ(U32At(file, 30), 0u);
    // PIL and netpbm, both as B,G,R rows top-down.
    ASSERT_EQ(RunCommand(Python() + " -c \"import sys;from PIL import Image;import numpy as np;"
                                    "open(sys.argv[2],'wb').write(np.asarray(Image.open(sys.argv[1]).convert('RGB'))"
                                    "[...,::-1].tobytes())\" " + dir.File("our.bmp") + " " + dir.File("pil.bgr")),
              0);
    EXPECT_EQ(ReadBytes(dir.File("pil.bgr")), PictureBytes(bmp));
    ASSERT_EQ(RunCommand("/usr/bin/bmptopnm " + dir.File("our.bmp") + " > " + dir.File("our.ppm") + " 2>/dev/null"), 0);
    const Bytes ppm = ReadBytes(dir.File("our.ppm"));
    ASSERT_GE(ppm.size(), std::size_t(9 * w));
    Bytes tail(ppm.end() - 9 * w, ppm.end());
    for (std::size_t i = 0; i < tail.size(); i += 3) std::swap(tail[i], tail[i + 2]);
    EXPECT_EQ(tail, PictureBytes(bmp));
    // And our reader gives it back.
    TDataImage image;
    ASSERT_TRUE(ReadBMPImage(dir.File("our.bmp"), image, error));
    EXPECT_EQ(ImageBytes(image), PictureBytes(bmp));
  }
}

TEST(BMPReader, ThreeByTwoHasItsTopLeftPixelFirst) {
  TempDir dir;
  // Written by PIL: top-left red, top-right blue, bottom-left green.
  ASSERT_EQ(RunCommand(Python() + " -c \"import sys;from PIL import Image\n"
                                  "im=Image.new('RGB',(3,2));im.putpixel((0,0),(255,0,0));im.putpixel((2,0),(0,0,255))\n"
                                  "im.putpixel((0,1),(0,255,0));im.save(sys.argv[1])\" " + dir.File("p.bmp")),
            0);
  TDataImage image;
  std::string error;
  ASSERT_TRUE(ReadBMPImage(dir.File("p.bmp"), image, error));
  ASSERT_EQ(image.Width, 3);
  ASSERT_EQ(image.Height, 2);
  TRGBPixel p;
  image.GetRGB(0, 0, p);
  EXPECT_EQ((std::array<int, 3>{p.Red, p.Green, p.Blue}), (std::array<int, 3>{255, 0, 0}));
  image.GetRGB(2, 0, p);
  EXPECT_EQ((std::array<int, 3>{p.Red, p.Green, p.Blue}), (std::array<int, 3>{0, 0, 255}));
  image.GetRGB(0, 1, p);
  EXPECT_EQ((std::array<int, 3>{p.Red, p.Green, p.Blue}), (std::array<int, 3>{0, 255, 0}));
  EXPECT_EQ(image.WhitePoint, 255.0f);
}

TEST(BMPReader, BadFilesGiveTheMessage) {
  const std::string message =
      "Error opening BMP file.  The file may not be in the correct format, or it may be corrupt.";
  TempDir dir;
  std::string error;
  const TFastBMP bmp = Pattern(7, 5, 2);
  ASSERT_TRUE(WriteBMPFile(dir.File("good.bmp"), bmp, error));
  const Bytes good = ReadBytes(dir.File("good.bmp"));
  ASSERT_TRUE(Decodes(good));
  for (std::size_t n = 0; n < good.size(); ++n) EXPECT_FALSE(Decodes(Bytes(good.begin(), good.begin() + n))) << n;
  auto patched = [&](std::size_t At, std::uint32_t V) {
    Bytes b = good;
    for (int i = 0; i < 4; ++i) b[At + i] = std::uint8_t(V >> (8 * i));
    return b;
  };
  EXPECT_FALSE(Decodes(patched(18, 0)));           // zero width
  EXPECT_FALSE(Decodes(patched(22, 0)));           // zero height
  EXPECT_FALSE(Decodes(patched(18, 0x40000000)));  // absurd width for the data
  EXPECT_FALSE(Decodes(patched(22, 0x80000000)));  // the most negative height
  EXPECT_FALSE(Decodes(patched(10, 0xFFFFFFF0)));  // pixels beyond the end
  EXPECT_FALSE(Decodes(patched(14, 99)));          // unknown header
  EXPECT_FALSE(Decodes(patched(30, 7)));           // unknown compression
  Bytes depth = good;
  depth[28] = 7;
  EXPECT_FALSE(Decodes(depth));
  Bytes sig = good;
  sig[1] = 'X';
  EXPECT_FALSE(Decodes(sig));

  // RLE8 codes that stop early or run past their data.
  auto rle = [](std::vector<std::uint8_t> Codes, int W, int H) {
    Bytes f = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0};
    const std::uint32_t off = 14 + 40 + 8;
    for (int i = 0; i < 4; ++i) f.push_back(std::uint8_t(off >> (8 * i)));
    const std::uint32_t hdr[] = {40, std::uint32_t(W), std::uint32_t(H)};
    for (auto v : hdr)
      for (int i = 0; i < 4; ++i) f.push_back(std::uint8_t(v >> (8 * i)));
    Bytes rest = {1, 0, 8, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0};
    f.insert(f.end(), rest.begin(), rest.end());
    Bytes pal = {0, 0, 0, 0, 255, 255, 255, 0};
    f.insert(f.end(), pal.begin(), pal.end());
    f.insert(f.end(), Codes.begin(), Codes.end());
    return f;
  };
  EXPECT_TRUE(Decodes(rle({4, 1, 0, 0, 4, 1, 0, 1}, 4, 2)));
  EXPECT_TRUE(Decodes(rle({0, 1}, 4, 2)));                       // end at once: index 0 everywhere
  EXPECT_FALSE(Decodes(rle({4, 1, 0, 0, 4}, 4, 2)));              // cut in a code
  EXPECT_FALSE(Decodes(rle({0, 9, 1, 1}, 4, 2)));                 // an absolute run beyond the data
  EXPECT_TRUE(Decodes(rle({200, 1, 0, 2, 250, 250, 0, 1}, 4, 2)));  // runs and deltas beyond the picture are clipped

  TDataImage image;
  EXPECT_FALSE(ReadBMPImage(dir.File("missing.bmp"), image, error));
  EXPECT_EQ(error, message);
  WriteBytes(dir.File("cut.bmp"), Bytes(good.begin(), good.end() - 1));
  error.clear();
  EXPECT_FALSE(ReadBMPImage(dir.File("cut.bmp"), image, error));
  EXPECT_EQ(error, message);
  EXPECT_FALSE(image.HasPlanes());
}

TEST(BMPReader, SizesBeyondTheMemoryLimitAreRefused) {
  // An RLE8 picture may be huge and still tiny on disk: the memory limit refuses it.
  auto file = [](std::uint32_t Side) {
    Bytes f = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 62, 0, 0, 0, 40, 0, 0, 0};
    for (std::uint32_t v : {Side, Side})
      for (int i = 0; i < 4; ++i) f.push_back(std::uint8_t(v >> (8 * i)));
    const Bytes rest = {1, 0, 8, 0, 1, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0,
                        0, 0, 0, 0, 255, 255, 255, 0, 0, 1};
    f.insert(f.end(), rest.begin(), rest.end());
    return f;
  };
  PageMemory::SetLimit(64u << 20);
  EXPECT_TRUE(Decodes(file(100)));
  EXPECT_FALSE(Decodes(file(20000)));
  PageMemory::SetLimit(0);
}

TEST(SafeFile, AnUncommittedWriteLeavesTheOldFile) {
  TempDir dir;
  WriteBytes(dir.File("a.bmp"), {9, 9});
  {
    TSafeFileWriter f;
    ASSERT_TRUE(f.Open(dir.File("a.bmp")));
    ASSERT_TRUE(f.Write("new", 3));
  }
  EXPECT_EQ(ReadBytes(dir.File("a.bmp")), (Bytes{9, 9}));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path), fs::directory_iterator()), 1);
  TSafeFileWriter g;
  ASSERT_TRUE(g.Open(dir.File("a.bmp")));
  ASSERT_TRUE(g.Write("new", 3));
  ASSERT_TRUE(g.Commit());
  EXPECT_EQ(ReadBytes(dir.File("a.bmp")), (Bytes{'n', 'e', 'w'}));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path), fs::directory_iterator()), 1);
  std::string error;
  EXPECT_FALSE(WriteBMPFile(dir.File("no/such/folder.bmp"), Pattern(2, 2), error));
  EXPECT_EQ(error, "An error saving this file.\nNo such file or directory");
}

TEST(SafeFile, PictureSavesTakeTheUmaskModeAndWriteThroughLinks) {
  TempDir dir;
  std::string error;
  const mode_t old = umask(027);
  const bool bmp = WriteBMPFile(dir.File("n.bmp"), Pattern(2, 2), error);
  const bool tif = WriteTIFFFile(dir.File("n.tif"), Pattern(2, 2), error);
  const bool jpg = WriteJPEGFile(dir.File("n.jpg"), Pattern(8, 8), 75, false, error);
  umask(old);
  ASSERT_TRUE(bmp && tif && jpg) << error;
  for (const char* n : {"n.bmp", "n.tif", "n.jpg"}) {
    struct stat st {};
    ASSERT_EQ(stat(dir.File(n).c_str(), &st), 0) << n;
    EXPECT_EQ(st.st_mode & 0777, 0640u) << n;  // never writable by others
  }
  // Saving through a link replaces the file it points to and keeps the link.
  fs::create_symlink("n.bmp", dir.Path / "link.bmp");
  ASSERT_TRUE(WriteBMPFile(dir.File("link.bmp"), Pattern(3, 1), error));
  EXPECT_TRUE(fs::is_symlink(dir.Path / "link.bmp"));
  TDataImage back;
  ASSERT_TRUE(ReadBMPImage(dir.File("n.bmp"), back, error));
  EXPECT_EQ(back.Width, 3);
}

TEST(BMPWriter, AGreySixteenBitImageIsWrittenAsItsDisplayedPicture) {
  // The writers take the rendered picture: display range and table, never the data values.
  TDataImage grey;
  ASSERT_TRUE(grey.Allocate(5, 3, 1, false));
  for (int i = 0; i < 15; ++i) grey.Pixels[i] = float(i * 4000);
  grey.BlackPoint = 8000.0f;
  grey.WhitePoint = 40000.0f;
  grey.ResetLUT();
  grey.UpdateBitmap();
  ASSERT_EQ(grey.Bitmap.Width, 5);
  TempDir dir;
  std::string error;
  ASSERT_TRUE(WriteBMPFile(dir.File("g.bmp"), grey.Bitmap, error));
  TDataImage back;
  ASSERT_TRUE(ReadBMPImage(dir.File("g.bmp"), back, error));
  EXPECT_EQ(ImageBytes(back), PictureBytes(grey.Bitmap));
  // Below the black point black, above the white point white, three equal channels.
  TRGBPixel p;
  back.GetRGB(1, 0, p);  // 4000
  EXPECT_EQ((std::array<int, 3>{p.Red, p.Green, p.Blue}), (std::array<int, 3>{0, 0, 0}));
  back.GetRGB(4, 2, p);  // 56000
  EXPECT_EQ((std::array<int, 3>{p.Red, p.Green, p.Blue}), (std::array<int, 3>{255, 255, 255}));
  back.GetRGB(1, 1, p);  // 24000: Round(16000 x 255 / 32000) = 128 (127.5 to even)
  EXPECT_EQ((std::array<int, 3>{p.Red, p.Green, p.Blue}), (std::array<int, 3>{128, 128, 128}));
}
