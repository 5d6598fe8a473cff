// JPEG files: our decoder against djpeg, our files against PIL, ImageMagick
// and djpeg, greyscale and CMYK files, bad files.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

#include "formats/Bitmap.h"
#include "formats/JPG.h"
#include "tests/formats/CodecTestUtil.h"

using namespace codectest;

namespace {

// The pixels of a binary PPM or PGM as B,G,R rows (grey replicated).
Bytes PNMAsBGR(const Bytes& File, int& W, int& H) {
  std::string head;
  std::size_t i = 0;
  int fields = 0, values[4] = {};
  char kind = 0;
  while (fields < 4 && i < File.size()) {
    if (File[i] == '#') {
      while (i < File.size() && File[i] != '\n') ++i;
    } else if (std::isspace(File[i])) {
      ++i;
    } else if (fields == 0) {
      kind = char(File[i + 1]);
      i += 2;
      ++fields;
    } else {
      int v = 0;
      while (i < File.size() && std::isdigit(File[i])) v = v * 10 + (File[i++] - '0');
      values[fields++] = v;
    }
  }
  ++i;  // the single white space after the maximum
  W = values[1];
  H = values[2];
  Bytes out;
  const bool grey = kind == '5';
  for (std::size_t p = i; p < File.size();) {
    if (grey) {
      out.insert(out.end(), 3, File[p++]);
    } else {
      out.insert(out.end(), {File[p + 2], File[p + 1], File[p]});
      p += 3;
    }
  }
  return out;
}

Bytes Decoded(const std::string& File, int& W, int& H) {
  TDataImage image;
  std::string error;
  EXPECT_TRUE(ReadJPEGImage(File, image, error)) << File << ": " << error;
  W = image.Width;
  H = image.Height;
  return ImageBytes(image);
}

// A smooth picture with some detail: what JPEG is for.
TFastBMP Photo(int W, int H) {
  TFastBMP bmp;
  bmp.SetSize(W, H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      std::uint8_t* p = bmp.TopRow(y) + 3 * x;
      p[0] = std::uint8_t(128 + 100 * std::sin(x / 9.0) * std::cos(y / 13.0));
      p[1] = std::uint8_t((x * 255) / W);
      p[2] = std::uint8_t(128 + 90 * std::sin((x + 2 * y) / 11.0));
    }
  return bmp;
}

std::string Slurp(const std::string& Name) {
  std::ifstream in(Name);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

TEST(JPEGOracle, OurDecoderMatchesDjpegExactly) {
  if (!NeedTool("/usr/bin/djpeg") || !NeedTool("/usr/bin/cjpeg")) return;
  TempDir dir;
  std::string error;
  const TFastBMP photo = Photo(77, 45);
  ASSERT_TRUE(WriteBMPFile(dir.File("src.bmp"), photo, error));
  // Files from cjpeg: 4:2:0, 4:4:4, 4:2:2, greyscale, progressive, restart markers, and ours.
  const std::pair<const char*, const char*> variants[] = {
      {"default", ""},          {"s444", "-sample 1x1"},  {"s422", "-sample 2x1"},
      {"grey", "-grayscale"},   {"prog", "-progressive"}, {"restart", "-restart 1"},
      {"q5", "-quality 5"},     {"optimize", "-optimize -quality 95"}};
  for (auto [name, args] : variants) {
    ASSERT_EQ(RunCommand(std::string("/usr/bin/cjpeg ") + args + " -outfile " + dir.File(std::string(name) + ".jpg") +
                         " " + dir.File("src.bmp")),
              0);
  }
  ASSERT_TRUE(WriteJPEGFile(dir.File("ours.jpg"), photo, 75, false, error));
  ASSERT_TRUE(WriteJPEGFile(dir.File("ours_prog.jpg"), photo, 40, true, error));
  for (const char* name : {"default", "s444", "s422", "grey", "prog", "restart", "q5", "optimize", "ours", "ours_prog"}) {
    SCOPED_TRACE(name);
    const std::string jpg = dir.File(std::string(name) + ".jpg");
    ASSERT_EQ(RunCommand("/usr/bin/djpeg -dct int -outfile " + dir.File("d.pnm") + " " + jpg), 0);
    int w = 0, h = 0, dw = 0, dh = 0;
    const Bytes ours = Decoded(jpg, w, h);
    const Bytes theirs = PNMAsBGR(ReadBytes(dir.File("d.pnm")), dw, dh);
    EXPECT_EQ(w, 77);
    EXPECT_EQ(h, 45);
    EXPECT_EQ(dw, w);
    EXPECT_EQ(dh, h);
    EXPECT_TRUE(ours == theirs);
    if (std::string(name) == "grey") {
      bool equal = true;
      for (std::size_t i = 0; i < ours.size(); i += 3) equal &= ours[i] == ours[i + 1] && ours[i] == ours[i + 2];
      EXPECT_TRUE(equal) << "three equal channels";
    }
  }
}

TEST(JPEGOracle, OurFilesOpenInPILAndImageMagick) {
  if (!NeedTool("/usr/bin/identify")) return;
  TempDir dir;
  std::string error;
  const TFastBMP photo = Photo(64, 48);
  ASSERT_TRUE(WriteJPEGFile(dir.File("q90.jpg"), photo, 90, false, error));
  ASSERT_TRUE(WriteJPEGFile(dir.File("q90p.jpg"), photo, 90, true, error));
  // PIL's pixels stay close to the picture; the mean error is small at quality 90.
  for (const char* name : {"q90.jpg", "q90p.jpg"}) {
    ASSERT_EQ(RunCommand(Python() + " -c \"import sys;from PIL import Image;import numpy as np;"
                                    "open(sys.argv[2],'wb').write(np.asarray(Image.open(sys.argv[1]).convert('RGB'))"
                                    "[...,::-1].tobytes())\" " + dir.File(name) + " " + dir.File("pil.bgr")),
              0);
    const Bytes pil = ReadBytes(dir.File("pil.bgr"));
    const Bytes src = PictureBytes(photo);
    ASSERT_EQ(pil.size(), src.size());
    double sum = 0;
    for (std::size_t i = 0; i < src.size(); ++i) sum += std::abs(int(pil[i]) - int(src[i]));
    EXPECT_LT(sum / double(src.size()), 2.5) << name;
    // PIL decodes through libjpeg as we do.
    int w = 0, h = 0, worst = 0;
    const Bytes ours = Decoded(dir.File(name), w, h);
    for (std::size_t i = 0; i < src.size(); ++i) worst = std::max(worst, std::abs(int(pil[i]) - int(ours[i])));
    EXPECT_LE(worst, 1) << name;
  }
  ASSERT_EQ(RunCommand("/usr/bin/identify -verbose " + dir.File("q90.jpg") + " > " + dir.File("a.txt")), 0);
  ASSERT_EQ(RunCommand("/usr/bin/identify -verbose " + dir.File("q90p.jpg") + " > " + dir.File("b.txt")), 0);
  const std::string a = Slurp(dir.File("a.txt")), b = Slurp(dir.File("b.txt"));
  EXPECT_NE(a.find("Quality: 90"), std::string::npos);
  EXPECT_NE(a.find("Interlace: None"), std::string::npos);
  EXPECT_NE(b.find("Quality: 90"), std::string::npos);
  EXPECT_NE(b.find("Interlace: JPEG"), std::string::npos);
  EXPECT_NE(a.find("Geometry: 64x48+0+0"), std::string::npos);
}

TEST(JPEGWriter, QualityZeroIsTheLowestTheEncoderOffers) {
  const TFastBMP photo = Photo(40, 24);
  Bytes q0, q1, q100;
  ASSERT_TRUE(EncodeJPEG(photo, 0, false, q0));
  ASSERT_TRUE(EncodeJPEG(photo, 1, false, q1));
  ASSERT_TRUE(EncodeJPEG(photo, 100, false, q100));
  EXPECT_EQ(q0, q1);  // libjpeg takes 0 as 1
  EXPECT_LT(q0.size(), q100.size());
  // Baseline tables at quality 1: every quantiser is at its largest, 255.
  int tables = 0;
  for (std::size_t i = 0; i + 4 < q0.size(); ++i) {
    if (q0[i] != 0xFF || q0[i + 1] != 0xDB) continue;
    const std::size_t len = q0[i + 2] << 8 | q0[i + 3];
    for (std::size_t t = i + 4; t + 65 <= i + 2 + len; t += 65, ++tables) {
      EXPECT_EQ(q0[t] >> 4, 0);  // 8-bit entries
      for (int k = 1; k <= 64; ++k) EXPECT_EQ(q0[t + k], 255);
    }
  }
  EXPECT_EQ(tables, 2);
  // Progressive files carry SOF2, the others SOF0.
  Bytes prog;
  ASSERT_TRUE(EncodeJPEG(photo, 75, true, prog));
  auto has = [](const Bytes& B, std::uint8_t Marker) {
    for (std::size_t i = 0; i + 1 < B.size(); ++i)
      if (B[i] == 0xFF && B[i + 1] == Marker) return true;
    return false;
  };
  EXPECT_TRUE(has(prog, 0xC2));
  EXPECT_FALSE(has(prog, 0xC0));
  EXPECT_TRUE(has(q100, 0xC0));
}

TEST(JPEGReader, CMYKFilesAreConvertedToRGB) {
  TempDir dir;
  // PIL writes Adobe (inverted) CMYK; its own conversion to RGB is (255 - C)(255 - K) / 255.
  const std::string make = Python() + " -c \"import sys;import numpy as np;from PIL import Image\n"
      "y,x=np.mgrid[0:32,0:48]\n"
      "a=np.dstack([x*5,y*7,(x+y)*3,(x*y)%200]).astype('uint8')\n"
      "Image.fromarray(a,'CMYK').save(sys.argv[1],quality=95)\n"
      "open(sys.argv[2],'wb').write(np.asarray(Image.open(sys.argv[1]).convert('RGB'))[...,::-1].tobytes())\" " +
      dir.File("cmyk.jpg") + " " + dir.File("pil.bgr");
  ASSERT_EQ(RunCommand(make), 0);
  int w = 0, h = 0;
  const Bytes ours = Decoded(dir.File("cmyk.jpg"), w, h);
  const Bytes pil = ReadBytes(dir.File("pil.bgr"));
  ASSERT_EQ(ours.size(), pil.size());
  int worst = 0;
  for (std::size_t i = 0; i < ours.size(); ++i) worst = std::max(worst, std::abs(int(ours[i]) - int(pil[i])));
  EXPECT_LE(worst, 1);
  // ImageMagick's CMYK JPEG opens too.
  if (!NeedTool("/usr/bin/convert")) return;
  ASSERT_EQ(RunCommand("/usr/bin/convert " + dir.File("cmyk.jpg") + " -colorspace CMYK " + dir.File("im.jpg")), 0);
  TDataImage image;
  std::string error;
  EXPECT_TRUE(ReadJPEGImage(dir.File("im.jpg"), image, error)) << error;
  EXPECT_EQ(image.Width, 48);
}

namespace {
// A four-channel JPEG written straight through libjpeg, stored as JPEG
// colour space Space (CMYK or YCCK); Ink holds C, M, Y, K per pixel and is
// stored inverted, as Adobe's files hold it.
Bytes FourChannelJPEG(const Bytes& Ink, int W, int H, J_COLOR_SPACE Space) {
  jpeg_compress_struct info;
  jpeg_error_mgr err;
  info.err = jpeg_std_error(&err);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = JDIMENSION(W);
  info.image_height = JDIMENSION(H);
  info.input_components = 4;
  info.in_color_space = JCS_CMYK;
  jpeg_set_defaults(&info);
  jpeg_set_colorspace(&info, Space);
  jpeg_set_quality(&info, 100, TRUE);
  for (int c = 0; c < 4; ++c) info.comp_info[c].h_samp_factor = info.comp_info[c].v_samp_factor = 1;
  jpeg_start_compress(&info, TRUE);
  Bytes row(std::size_t(W) * 4);
  while (info.next_scanline < info.image_height) {
    const std::uint8_t* src = Ink.data() + std::size_t(info.next_scanline) * W * 4;
    for (std::size_t i = 0; i < row.size(); ++i) row[i] = std::uint8_t(255 - src[i]);
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  Bytes out(buffer, buffer + size);
  std::free(buffer);
  return out;
}
}  // namespace

TEST(JPEGReader, YCCKFilesAreConvertedLikeCMYK) {
  const int W = 24, H = 16;
  Bytes ink;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) ink.insert(ink.end(), {std::uint8_t(x * 10), std::uint8_t(y * 15), 60, std::uint8_t(x * y % 120)});
  const Bytes cmyk = FourChannelJPEG(ink, W, H, JCS_CMYK);
  const Bytes ycck = FourChannelJPEG(ink, W, H, JCS_YCCK);
  TFastBMP a, b;
  ASSERT_TRUE(DecodeJPEG(cmyk.data(), cmyk.size(), a));
  ASSERT_TRUE(DecodeJPEG(ycck.data(), ycck.size(), b));
  ASSERT_EQ(b.Width, W);
  ASSERT_EQ(b.Height, H);
  // Red = (255 - C)(255 - K) / 255 and likewise green and blue, within the
  // losses of quality 100 (and, for YCCK, of the colour transform).
  int worstCMYK = 0, worstYCCK = 0;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const std::uint8_t* k = ink.data() + (std::size_t(y) * W + x) * 4;
      for (int c = 0; c < 3; ++c) {
        const int want = (255 - k[c]) * (255 - k[3]) / 255;
        worstCMYK = std::max(worstCMYK, std::abs(a.TopRow(y)[3 * x + 2 - c] - want));
        worstYCCK = std::max(worstYCCK, std::abs(b.TopRow(y)[3 * x + 2 - c] - want));
      }
    }
  EXPECT_LE(worstCMYK, 3);
  EXPECT_LE(worstYCCK, 4);
}

TEST(JPEGReader, BadFilesGiveTheMessage) {
  const std::string message =
      "Error opening JPEG file.  The file may not be in the correct format, or it may be corrupt.";
  const TFastBMP photo = Photo(40, 40);
  Bytes good;
  ASSERT_TRUE(EncodeJPEG(photo, 80, false, good));
  TFastBMP out;
  ASSERT_TRUE(DecodeJPEG(good.data(), good.size(), out));
  // Cut anywhere before its end marker, the file is refused.
  for (std::size_t n = 0; n + 2 < good.size(); n += 7)
    EXPECT_FALSE(DecodeJPEG(good.data(), n, out)) << n;
  Bytes prog;
  ASSERT_TRUE(EncodeJPEG(photo, 80, true, prog));
  EXPECT_FALSE(DecodeJPEG(prog.data(), prog.size() / 2, out));
  const Bytes junk(1000, 0x55);
  EXPECT_FALSE(DecodeJPEG(junk.data(), junk.size(), out));
  EXPECT_EQ(out.Width, 0);

  TempDir dir;
  WriteBytes(dir.File("cut.jpg"), Bytes(good.begin(), good.begin() + good.size() / 2));
  TDataImage image;
  std::string error;
  EXPECT_FALSE(ReadJPEGImage(dir.File("cut.jpg"), image, error));
  EXPECT_EQ(error, message);
  EXPECT_FALSE(image.HasPlanes());
  error.clear();
  EXPECT_FALSE(ReadJPEGImage(dir.File("missing.jpg"), image, error));
  EXPECT_EQ(error, message);
  TFastBMP empty;
  EXPECT_FALSE(WriteJPEGFile(dir.File("e.jpg"), empty, 75, false, error));
  EXPECT_EQ(error, "An error saving this file.");
  EXPECT_FALSE(fs::exists(dir.File("e.jpg")));
}
