// The TIFF reader on hand-made files: layouts, byte orders, strips, refusals.
#include <gtest/gtest.h>

#include <sstream>

#include "formats/Bitmap.h"
#include "formats/TIFFex.h"
#include "tests/formats/CodecTestUtil.h"

using namespace codectest;

namespace {

// Decodes; the picture as B,G,R rows, or the refusal text in Error.
Bytes Decode(const Bytes& File, std::string* Error = nullptr, int* W = nullptr, int* H = nullptr) {
  TTIFFGraphic g;
  try {
    g.LoadFromMemory(File.data(), File.size());
  } catch (const ETIFFError& e) {
    if (Error) *Error = e.what();
    return {};
  }
  if (Error) Error->clear();
  if (W) *W = g.Bitmap.Width;
  if (H) *H = g.Bitmap.Height;
  return PictureBytes(g.Bitmap);
}

std::string ErrorOf(const Bytes& File) {
  std::string e;
  Decode(File, &e);
  return e;
}

// A W x H picture with every listed tag; strips as one strip at the data.
TiffBuilder Basic(bool BE, std::uint32_t W, std::uint32_t H, std::vector<std::uint32_t> Bits, std::uint32_t Photometric,
                  std::uint32_t Samples) {
  TiffBuilder b(BE);
  b.Add(256, 3, {W}).Add(257, 3, {H}).Add(258, 3, Bits).Add(259, 3, {1}).Add(262, 3, {Photometric});
  b.Strips({0});
  b.Add(277, 3, {Samples}).Add(278, 4, {H});
  return b;
}

}  // namespace

TEST(TIFFReader, IIAndMMGiveTheSamePicture) {
  // 2 x 2 RGB: red, green / blue, white.
  const Bytes rgb = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
  int w = 0, h = 0;
  const Bytes ii = Decode(Basic(false, 2, 2, {8, 8, 8}, 2, 3).Build(rgb), nullptr, &w, &h);
  const Bytes mm = Decode(Basic(true, 2, 2, {8, 8, 8}, 2, 3).Build(rgb));
  EXPECT_EQ(w, 2);
  EXPECT_EQ(h, 2);
  EXPECT_EQ(ii, (Bytes{0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255}));
  EXPECT_EQ(ii, mm);
}

TEST(TIFFReader, SixteenBitRGBTakesTheHighBytesInBothOrders) {
  // Samples 0x1234, 0x5678, 0x9ABC written in each file's own order.
  for (bool be : {false, true}) {
    Bytes px;
    for (std::uint16_t v : {0x1234, 0x5678, 0x9ABC}) {
      if (be) px.insert(px.end(), {std::uint8_t(v >> 8), std::uint8_t(v)});
      else px.insert(px.end(), {std::uint8_t(v), std::uint8_t(v >> 8)});
    }
    EXPECT_EQ(Decode(Basic(be, 1, 1, {16, 16, 16}, 2, 3).Build(px)), (Bytes{0x9A, 0x56, 0x12})) << be;
  }
}

TEST(TIFFReader, GreyPalettesAndBitDepths) {
  // 1 bit, photometric 0: set bits are black.
  EXPECT_EQ(Decode(Basic(false, 3, 1, {1}, 0, 1).Build({0b10100000})), (Bytes{0, 0, 0, 255, 255, 255, 0, 0, 0}));
  // 1 bit, photometric 1: set bits are white.
  EXPECT_EQ(Decode(Basic(false, 2, 1, {1}, 1, 1).Build({0b01000000})), (Bytes{0, 0, 0, 255, 255, 255}));
  // 4 bits: i x 16, inverted (15 - i) x 16.
  EXPECT_EQ(Decode(Basic(false, 2, 1, {4}, 1, 1).Build({0x0F})), (Bytes{0, 0, 0, 240, 240, 240}));
  EXPECT_EQ(Decode(Basic(false, 2, 1, {4}, 0, 1).Build({0x0F})), (Bytes{240, 240, 240, 0, 0, 0}));
  // 8 bits, both senses.
  EXPECT_EQ(Decode(Basic(false, 2, 1, {8}, 1, 1).Build({7, 200})), (Bytes{7, 7, 7, 200, 200, 200}));
  EXPECT_EQ(Decode(Basic(false, 2, 1, {8}, 0, 1).Build({7, 200})), (Bytes{248, 248, 248, 55, 55, 55}));
  // 16 bits: the high byte, in each order.
  EXPECT_EQ(Decode(Basic(false, 1, 1, {16}, 1, 1).Build({0x34, 0x12})), (Bytes{0x12, 0x12, 0x12}));
  EXPECT_EQ(Decode(Basic(true, 1, 1, {16}, 1, 1).Build({0x12, 0x34})), (Bytes{0x12, 0x12, 0x12}));
  // Rows are padded to whole bytes: 3 one-bit pixels on each of 2 rows.
  EXPECT_EQ(Decode(Basic(false, 3, 2, {1}, 1, 1).Build({0b10000000, 0b00100000})),
            (Bytes{255, 255, 255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 255, 255, 255}));
}

TEST(TIFFReader, ColourMapHighBytes) {
  // 4-bit palette; entry 1 = (0x1200, 0x3400, 0x56FF), entry 2 = (0xFF00, 0, 0x8000).
  for (bool be : {false, true}) {
    std::vector<std::uint32_t> map(48, 0);
    map[1] = 0x1200, map[16 + 1] = 0x3400, map[32 + 1] = 0x56FF;
    map[2] = 0xFF00, map[32 + 2] = 0x8000;
    auto b = Basic(be, 3, 1, {4}, 3, 1);
    b.Add(320, 3, map);
    EXPECT_EQ(Decode(b.Build({0x12, 0x00})), (Bytes{0x56, 0x34, 0x12, 0x80, 0, 0xFF, 0, 0, 0})) << be;
  }
}

TEST(TIFFReader, CMYKThroughMulDiv) {
  EXPECT_EQ(Decode(Basic(false, 2, 1, {8, 8, 8, 8}, 5, 4).Build({0, 0, 0, 255, 255, 0, 0, 0})),
            (Bytes{0, 0, 0, 255, 255, 0}));  // black, then cyan (R 0, G 255, B 255)
  // C = 100, M = 50, Y = 0, K = 51: C' = 100 - MulDiv(100, 51, 255) + 51 = 131 (5100/255 = 20 exactly),
  // M' = 50 - 10 + 51 = 91, Y' = 51.
  EXPECT_EQ(Decode(Basic(false, 1, 1, {8, 8, 8, 8}, 5, 4).Build({100, 50, 0, 51})), (Bytes{204, 164, 124}));
  // 16 bits in both orders: C = 0x8000, K = 0x4000: C' = 32768 - MulDiv(32768, 16384, 65535) + 16384
  // = 32768 - 8192 + 16384 = 40960 -> 160 -> red 95; M' = Y' = 16384 -> 64 -> 191.
  for (bool be : {false, true}) {
    Bytes px;
    for (std::uint16_t v : {0x8000, 0, 0, 0x4000}) {
      if (be) px.insert(px.end(), {std::uint8_t(v >> 8), std::uint8_t(v)});
      else px.insert(px.end(), {std::uint8_t(v), std::uint8_t(v >> 8)});
    }
    EXPECT_EQ(Decode(Basic(be, 1, 1, {16, 16, 16, 16}, 5, 4).Build(px)), (Bytes{191, 191, 95})) << be;
  }
}

TEST(TIFFReader, MulDivRoundsHalvesAwayFromZero) {
  EXPECT_EQ(MulDiv(5, 1, 2), 3);
  EXPECT_EQ(MulDiv(-5, 1, 2), -3);
  EXPECT_EQ(MulDiv(7, 1, 2), 4);
  EXPECT_EQ(MulDiv(1, 1, 3), 0);
  EXPECT_EQ(MulDiv(2, 1, 3), 1);
  EXPECT_EQ(MulDiv(200, 128, 255), 100);  // 25600 / 255 = 100.39
  EXPECT_EQ(MulDiv(1, 1, 0), -1);
}

TEST(TIFFReader, ExtraSamplesCountedByTheirNumber) {
  // RGBA with unassociated alpha (ExtraSamples value 2) and associated (value 1):
  // the alpha is dropped, the colours stay.
  const Bytes px = {10, 20, 30, 128, 40, 50, 60, 0};
  for (std::uint32_t kind : {0u, 1u, 2u}) {
    auto b = Basic(false, 2, 1, {8, 8, 8, 8}, 2, 4);
    b.Add(338, 3, {kind});
    EXPECT_EQ(Decode(b.Build(px)), (Bytes{30, 20, 10, 60, 50, 40})) << kind;
  }
  // Grey with alpha: two 8-bit samples, BitsPerSample inline as 2 SHORTs (in MM the second
  // value is in the second half of the field).
  for (bool be : {false, true}) {
    auto b = Basic(be, 2, 1, {8, 8}, 1, 2);
    b.Add(338, 3, {2});
    EXPECT_EQ(Decode(b.Build({90, 255, 180, 0})), (Bytes{90, 90, 90, 180, 180, 180})) << be;
  }
}

TEST(TIFFReader, StripsAndRowsPerStrip) {
  // Three strips of 10 rows, height 25: the last strip's extra rows are ignored; the file ends
  // after the rows that are needed.
  Bytes px;
  for (int y = 0; y < 25; ++y) px.push_back(std::uint8_t(y * 10));
  TiffBuilder b(false);
  b.Add(256, 3, {1}).Add(257, 3, {25}).Add(258, 3, {8}).Add(262, 3, {1});
  b.Strips({0, 10, 20});
  b.Add(277, 3, {1}).Add(278, 3, {10});
  int w = 0, h = 0;
  const Bytes out = Decode(b.Build(px), nullptr, &w, &h);
  ASSERT_EQ(h, 25);
  for (int y = 0; y < 25; ++y) EXPECT_EQ(out[3 * y], y * 10);

  // Strip offsets as SHORTs, inline (two of them fit in the entry), in both orders.
  for (bool be : {false, true}) {
    Bytes file;
    TiffBuilder s(be);
    s.Add(256, 3, {1}).Add(257, 3, {2}).Add(258, 3, {8}).Add(262, 3, {1});
    s.Add(273, 3, {0, 0}).Add(277, 3, {1}).Add(278, 3, {1});
    file = s.Build({33, 77});
    // Patch the inline SHORT offsets to the pixel data (which starts at 8).
    const std::size_t ifd = be ? file[6] << 8 | file[7] : file[4] | file[5] << 8;
    const std::size_t entry = ifd + 2 + 12 * 4 + 8;  // StripOffsets' value field
    if (be) file[entry + 1] = 8, file[entry + 3] = 9;
    else file[entry] = 8, file[entry + 2] = 9;
    EXPECT_EQ(Decode(file), (Bytes{33, 33, 33, 77, 77, 77})) << be;
  }
}

TEST(TIFFReader, NoCompressionTagMeansUncompressed) {
  TiffBuilder b(false);
  b.Add(256, 3, {1}).Add(257, 3, {1}).Add(258, 3, {8}).Add(262, 3, {1});
  b.Strips({0});
  EXPECT_EQ(Decode(b.Build({42})), (Bytes{42, 42, 42}));
}

TEST(TIFFReader, CompressedFilesAreRefusedByKind) {
  const std::pair<std::uint32_t, const char*> kinds[] = {
      {2, "CCITTRLE"},           {3, "CCITTFAX3"},  {4, "CCITTFAX4"},  {5, "LZW"},
      {7, "JPEG"},               {32771, "CCITTRLEW"}, {32773, "Packbits"}, {32908, "Pixar Film"},
      {32909, "Pixar Log"},      {8, "unknown method"}, {6, "unknown method"}};
  for (auto [code, kind] : kinds) {
    auto b = Basic(true, 4, 4, {8}, 1, 1);
    b.Entries[3].Values = {code};
    EXPECT_EQ(ErrorOf(b.Build(Bytes(4))),
              std::string("Corvelle Image does not support compressed (") + kind + ") TIFF files.");
  }
}

TEST(TIFFReader, BadFilesGiveTheMessage) {
  const std::string invalid = "The TIFF file is invalid.";
  const Bytes good = Basic(false, 4, 4, {8}, 1, 1).Build(Bytes(16, 9));
  ASSERT_EQ(ErrorOf(good), "");

  Bytes magic = good;
  magic[2] = 43;
  EXPECT_EQ(ErrorOf(magic), invalid);
  EXPECT_EQ(ErrorOf(Bytes(good.begin(), good.begin() + 5)), invalid);
  EXPECT_EQ(ErrorOf({}), invalid);
  // Every truncation either decodes nothing or refuses; none reads beyond the end.
  for (std::size_t n = 0; n + 4 < good.size(); ++n) {  // the next-directory offset is never read
    const Bytes cut(good.begin(), good.begin() + n);
    EXPECT_EQ(ErrorOf(cut), invalid) << n;
  }
  // Zero sides: the message without its full stop.
  EXPECT_EQ(ErrorOf(Basic(false, 0, 4, {8}, 1, 1).Build(Bytes(16))), "The TIFF file is invalid");
  EXPECT_EQ(ErrorOf(Basic(false, 4, 0, {8}, 1, 1).Build(Bytes(16))), "The TIFF file is invalid");
  // A strip beyond the end, and absurd sides with little data.
  auto far = Basic(false, 4, 4, {8}, 1, 1);
  far.Entries[5].Values = {100000};
  EXPECT_EQ(ErrorOf(far.Build(Bytes(16))), invalid);
  TiffBuilder huge(false);
  huge.Add(256, 4, {0xFFFFFFFF}).Add(257, 4, {0xFFFFFFFF}).Add(258, 3, {8}).Add(262, 3, {1});
  huge.Strips({0});
  EXPECT_EQ(ErrorOf(huge.Build(Bytes(16))), PictureTooLargeText);
  // A colour map too short for its bits, and 16-bit palette pictures.
  auto shortMap = Basic(false, 2, 1, {8}, 3, 1);
  shortMap.Add(320, 3, std::vector<std::uint32_t>(48, 0));
  EXPECT_EQ(ErrorOf(shortMap.Build({0, 1})), invalid);
  auto deepMap = Basic(false, 2, 1, {16}, 3, 1);
  deepMap.Add(320, 3, std::vector<std::uint32_t>(48, 0));
  EXPECT_EQ(ErrorOf(deepMap.Build({0, 1, 0, 0})), invalid);
  // A colour map tag that is missing.
  EXPECT_EQ(ErrorOf(Basic(false, 2, 1, {8}, 3, 1).Build({0, 1})), invalid);
  // Layouts the reader does not know: 2-bit grey, 12-bit RGB, two colour samples, separate planes.
  EXPECT_EQ(ErrorOf(Basic(false, 4, 1, {2}, 1, 1).Build({0})), invalid);
  EXPECT_EQ(ErrorOf(Basic(false, 2, 1, {12, 12, 12}, 2, 3).Build(Bytes(9))), invalid);
  EXPECT_EQ(ErrorOf(Basic(false, 2, 1, {8, 8}, 1, 2).Build(Bytes(4))), invalid);
  auto planar = Basic(false, 1, 1, {8, 8, 8}, 2, 3);
  planar.Add(284, 3, {2});
  EXPECT_EQ(ErrorOf(planar.Build(Bytes(3))), invalid);
  // A directory whose entry count runs past the end.
  Bytes ifd = good;
  const std::size_t at = ifd[4] | ifd[5] << 8;
  ifd[at] = 0xFF;
  ifd[at + 1] = 0xFF;
  EXPECT_EQ(ErrorOf(ifd), invalid);
}

TEST(TIFFReader, YCbCrBytesAreCopiedAsTheyStand) {
  EXPECT_EQ(Decode(Basic(false, 1, 1, {8, 8, 8}, 6, 3).Build({1, 2, 3})), (Bytes{1, 2, 3}));
}

TEST(TIFFReader, ReadTIFFImageFillsAColourImage) {
  TempDir dir;
  WriteBytes(dir.File("a.tif"), Basic(false, 2, 1, {8, 8, 8}, 2, 3).Build({1, 2, 3, 4, 5, 6}));
  TDataImage image;
  ReadTIFFImage(dir.File("a.tif"), image);
  EXPECT_TRUE(image.IsColour);
  EXPECT_EQ(image.DataType, 0);
  EXPECT_EQ(image.Width, 2);
  EXPECT_EQ(image.Height, 1);
  EXPECT_EQ(image.WhitePoint, 255.0f);
  EXPECT_EQ(image.BlackPoint, 0.0f);
  EXPECT_EQ(ImageBytes(image), (Bytes{3, 2, 1, 6, 5, 4}));
  EXPECT_THROW(ReadTIFFImage(dir.File("missing.tif"), image), ETIFFError);
}

TEST(TIFFReader, OffsetsCountFromTheStreamPosition) {
  const Bytes file = Basic(true, 2, 1, {8, 8, 8}, 2, 3).Build({1, 2, 3, 4, 5, 6});
  std::string data = "some leading bytes";
  const std::size_t base = data.size();
  data.append(file.begin(), file.end());
  std::istringstream in(data);
  in.seekg(std::streamoff(base));
  TTIFFGraphic g;
  g.LoadFromStream(in);
  EXPECT_EQ(PictureBytes(g.Bitmap), (Bytes{3, 2, 1, 6, 5, 4}));
  EXPECT_EQ(g.Header().ByteOrder, 0x4D4D);
}
