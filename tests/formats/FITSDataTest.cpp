// Reading and writing FITS data: block layout, scaling, clamping, bad input.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include <sys/stat.h>

#include "formats/FITS.h"
#include "platform/PageMemory.h"
#include "tests/formats/CodecTestUtil.h"

using namespace codectest;

namespace {

std::vector<std::string> Header(int Bitpix, int W, int H, const std::vector<std::string>& Extra = {}) {
  std::vector<std::string> c = {"SIMPLE  =                    T", "BITPIX  = " + std::to_string(Bitpix),
                                "NAXIS   =                    2", "NAXIS1  = " + std::to_string(W),
                                "NAXIS2  = " + std::to_string(H)};
  c.insert(c.end(), Extra.begin(), Extra.end());
  c.push_back("END");
  return c;
}

std::vector<std::uint8_t> Data16(const std::vector<int>& Values) {
  std::vector<std::uint8_t> d;
  for (int v : Values) PutBE16(d, v);
  return d;
}

std::vector<std::uint8_t> DataF(const std::vector<float>& Values) {
  std::vector<std::uint8_t> d;
  for (float v : Values) PutBE32f(d, v);
  return d;
}

std::vector<float> Pixels(const TDataImage& I) { return {I.Pixels, I.Pixels + I.PixelCount()}; }

}  // namespace

TEST(FITSRead, DataStartsAtTheBlockAfterTheHeader) {
  EXPECT_EQ(FITSDataStart(36), 2880u);
  EXPECT_EQ(FITSDataStart(37), 5760u);
  EXPECT_EQ(FITSDataStart(1), 2880u);
  for (int cards : {36, 37}) {
    std::vector<std::string> extra;
    while (int(extra.size()) + 6 < cards) extra.push_back("COMMENT filler");
    const auto h = Header(16, 2, 1, extra);
    ASSERT_EQ(int(h.size()), cards);
    const auto bytes = FITSBytes(h, Data16({-32768 + 7, 9}));
    EXPECT_EQ(bytes.size(), FITSDataStart(cards) + 4);
    const auto r = DecodeBytes(bytes);
    ASSERT_TRUE(r.Image) << cards;
    EXPECT_EQ(r.Header.size(), std::size_t(cards));
    // No BZERO: stored values as they are, the negative one clamped to 0.
    EXPECT_EQ(Pixels(*r.Image), (std::vector<float>{0, 9}));
    EXPECT_EQ(Texts(r.Messages), std::vector<std::string>{msgFITSTruncated16});
  }
}

TEST(FITSRead, SixteenBitScalingAndTheSingleWarning) {
  auto r = DecodeBytes(FITSBytes(Header(16, 3, 1, {"BZERO   =                32768", "BSCALE  = 1"}),
                                 Data16({-32768, 32767, 0})));
  ASSERT_TRUE(r.Image);
  EXPECT_EQ(r.Image->DataType, 1);
  EXPECT_FALSE(r.Image->IsColour);
  EXPECT_EQ(Pixels(*r.Image), (std::vector<float>{0, 65535, 32768}));
  EXPECT_TRUE(r.Messages.empty());
  EXPECT_EQ(r.Image->BlackPoint, 0.0f);  // auto-scaled
  EXPECT_EQ(r.Image->WhitePoint, 65535.0f);

  // BZERO 0: every negative value clamps, one warning after the whole image.
  r = DecodeBytes(FITSBytes(Header(16, 2, 2, {"BZERO   = 0"}), Data16({-5, 7, -1, -32768})));
  ASSERT_TRUE(r.Image);
  EXPECT_EQ(Pixels(*r.Image), (std::vector<float>{0, 7, 0, 0}));
  ASSERT_EQ(r.Messages.size(), 1u);
  EXPECT_EQ(r.Messages[0], (TCodecMessage{TCodecMessageKind::Warning, msgFITSTruncated16}));

  // A fractional BSCALE or BZERO gives the exact physical values in a
  // floating-point image (negative ones included, nothing clamped).
  r = DecodeBytes(FITSBytes(Header(16, 3, 1, {"BSCALE  = 0.5", "BZERO   = 0.25 / quarter"}), Data16({3, 5, 7})));
  ASSERT_TRUE(r.Image);
  EXPECT_EQ(r.Image->DataType, 3);
  EXPECT_EQ(Pixels(*r.Image), (std::vector<float>{1.75f, 2.75f, 3.75f}));
  r = DecodeBytes(FITSBytes(Header(8, 3, 1, {"BSCALE  = 0.5"}), {3, 5, 255}));
  ASSERT_TRUE(r.Image);
  EXPECT_EQ(Pixels(*r.Image), (std::vector<float>{1.5f, 2.5f, 127.5f}));
  r = DecodeBytes(FITSBytes(Header(16, 2, 1, {"BSCALE  = 0.0458", "BZERO   = 1500"}), Data16({-32768, 12345})));
  ASSERT_TRUE(r.Image);
  EXPECT_EQ(Pixels(*r.Image), (std::vector<float>{float(-32768 * 0.0458L + 1500), float(12345 * 0.0458L + 1500)}));
  EXPECT_TRUE(r.Messages.empty());
}

TEST(FITSRead, EightBitScaling) {
  auto r = DecodeBytes(FITSBytes(Header(8, 3, 1, {"BSCALE  = 2"}), {200, 100, 0}));
  ASSERT_TRUE(r.Image);
  EXPECT_EQ(r.Image->DataType, 0);
  EXPECT_EQ(Pixels(*r.Image), (std::vector<float>{255, 200, 0}));
  EXPECT_EQ(Texts(r.Messages), std::vector<std::string>{msgFITSTruncated8});
  // Signed bytes (BZERO -128) clamp too.
  r = DecodeBytes(FITSBytes(Header(8, 2, 1, {"BZERO   = -128"}), {10, 200}));
  ASSERT_TRUE(r.Image);
  EXPECT_EQ(Pixels(*r.Image), (std::vector<float>{0, 72}));
  EXPECT_EQ(Texts(r.Messages), std::vector<std::string>{msgFITSTruncated8});
}

TEST(FITSRead, FloatDataIsNotRoundedAndNaNBecomesZero) {
  auto r = DecodeBytes(FITSBytes(Header(-32, 4, 1), DataF({2.5f, 3.5f, -1.25f, -0.0f})));
  ASSERT_TRUE(r.Image);
  EXPECT_EQ(r.Image->DataType, 3);
  EXPECT_EQ(Pixels(*r.Image), (std::vector<float>{2.5f, 3.5f, -1.25f, 0.0f}));
  EXPECT_FALSE(std::signbit(r.Image->Pixels[3]));
  EXPECT_TRUE(r.Messages.empty());

  const float inf = std::numeric_limits<float>::infinity();
  r = DecodeBytes(FITSBytes(Header(-32, 4, 1), DataF({std::nanf(""), 1.0f, -inf, inf})));
  ASSERT_TRUE(r.Image);
  EXPECT_EQ(Pixels(*r.Image), (std::vector<float>{0, 1, 0, 0}));
  ASSERT_EQ(r.Messages.size(), 1u);
  EXPECT_EQ(r.Messages[0].Text, "Warning: 3 values in this file were not numbers or infinite and have been set to 0.");
  EXPECT_EQ(r.Messages[0].Kind, TCodecMessageKind::Warning);

  // Scaled: stored x BSCALE + BZERO evaluated wide, stored as a Single once.
  r = DecodeBytes(FITSBytes(Header(-32, 3, 1, {"BSCALE  = 0.1", "BZERO   = 1000"}), DataF({1.0f, 3.0f, 3e38f})));
  ASSERT_TRUE(r.Image);
  EXPECT_EQ(r.Image->Pixels[0], float((long double)1.0f * 0.1f + 1000.0f));
  EXPECT_EQ(r.Image->Pixels[1], float((long double)3.0f * 0.1f + 1000.0f));
  EXPECT_EQ(r.Image->Pixels[2], float((long double)3e38f * 0.1f + 1000.0f));
  r = DecodeBytes(FITSBytes(Header(-32, 1, 1, {"BSCALE  = 10"}), DataF({3e38f})));
  ASSERT_TRUE(r.Image);  // beyond the Single range after scaling
  EXPECT_EQ(r.Image->Pixels[0], 0.0f);
  EXPECT_EQ(r.Messages.size(), 1u);
}

TEST(FITSRead, ShortDataAndExtraPlanes) {
  // The last block need not be padded when it holds every pixel.
  auto r = DecodeBytes(FITSBytes(Header(16, 2, 2), Data16({1, 2, 3, 4})));
  ASSERT_TRUE(r.Image);
  EXPECT_EQ(Pixels(*r.Image), (std::vector<float>{1, 2, 3, 4}));
  EXPECT_TRUE(r.Messages.empty());
  // A data part that ends early: the pixels present, zeros after, one warning.
  auto bytes = FITSBytes(Header(16, 2, 2), Data16({1, 2}));
  bytes.push_back(0x00);  // half a value
  r = DecodeBytes(bytes);
  ASSERT_TRUE(r.Image);
  EXPECT_EQ(Pixels(*r.Image), (std::vector<float>{1, 2, 0, 0}));
  EXPECT_EQ(Texts(r.Messages), std::vector<std::string>{msgFITSShortData});
  // Floating-point data ending in part of a value: that pixel is missing too.
  auto partial = FITSBytes(Header(-32, 3, 1), DataF({1.0f}));
  for (std::uint8_t b : {0x7F, 0xFF, 0xFF}) partial.push_back(b);
  r = DecodeBytes(partial);
  ASSERT_TRUE(r.Image);
  EXPECT_EQ(Pixels(*r.Image), (std::vector<float>{1, 0, 0}));
  EXPECT_EQ(Texts(r.Messages), std::vector<std::string>{msgFITSShortData});
  // No data at all.
  r = DecodeBytes(FITSBytes(Header(-32, 3, 3), {}));
  ASSERT_TRUE(r.Image);
  EXPECT_EQ(Texts(r.Messages), std::vector<std::string>{msgFITSShortData});
  // NAXIS 3: the first plane.
  auto h3 = Header(16, 2, 1, {"NAXIS3  = 2"});
  h3[2] = "NAXIS   = 3";
  r = DecodeBytes(FITSBytes(h3, Data16({5, 6, 7, 8})));
  ASSERT_TRUE(r.Image);
  EXPECT_EQ(Pixels(*r.Image), (std::vector<float>{5, 6}));
  EXPECT_TRUE(r.Messages.empty());
}

TEST(FITSRead, RefusedFilesGiveTheirMessageAndNoImage) {
  struct Case {
    std::vector<std::uint8_t> Bytes;
    std::string Text;
    TCodecMessageKind Kind;
  };
  auto h16 = [](std::vector<std::string> c) { return FITSBytes(c, Data16({1, 2, 3, 4})); };
  std::vector<Case> cases = {
      {{}, msgOpenError, TCodecMessageKind::Error},
      {{'S', 'I', 'M'}, msgOpenError, TCodecMessageKind::Error},
      {h16(Header(32, 2, 2)), FITSUnsupportedBITPIXOpen(32), TCodecMessageKind::Warning},
      {h16(Header(-64, 2, 2)), FITSUnsupportedBITPIXOpen(-64), TCodecMessageKind::Warning},
      {h16({"SIMPLE  = T", "NAXIS1  = 2", "NAXIS2  = 2", "END"}), msgFITSNoBITPIX, TCodecMessageKind::Warning},
      {h16({"SIMPLE  = T", "BITPIX  = 16", "NAXIS1  = 2", "END"}), msgFITSNoSize, TCodecMessageKind::Error},
      {h16(Header(16, 0, 2)), msgFITSNoSize, TCodecMessageKind::Error},
      {h16(Header(16, 2, -3)), msgFITSNoSize, TCodecMessageKind::Error},
      {h16(Header(16, 2000000000, 2000000000)), msgFITSTooLarge, TCodecMessageKind::Error},
      // Sides no picture can have, from a file of a few kilobytes.
      {h16(Header(-32, 715827883, 1)), msgFITSTooLarge, TCodecMessageKind::Error},
      // Whole numbers beyond the Integer range would be read as others.
      {h16({"SIMPLE  = T", "BITPIX  = 16", "NAXIS1  = 99999999999", "NAXIS2  = 2", "END"}), FITSOutOfRangeText("NAXIS1"),
       TCodecMessageKind::Error},
      {h16({"SIMPLE  = T", "BITPIX  = 4294967312", "NAXIS1  = 2", "NAXIS2  = 2", "END"}),
       FITSOutOfRangeText("BITPIX"), TCodecMessageKind::Error},
      {h16({"SIMPLE  = T", "BITPIX  = 16", "NAXIS   = -3000000000", "NAXIS1  = 2", "NAXIS2  = 2", "END"}),
       FITSOutOfRangeText("NAXIS"), TCodecMessageKind::Error},
      {h16(Header(16, 2, 2, {"NAXIS3  = 2147483648"})), FITSOutOfRangeText("NAXIS3"), TCodecMessageKind::Error},
      {h16(Header(16, 2, 2, {"BZERO   = abc"})), "'abc' is not a valid floating point value",
       TCodecMessageKind::Error},
  };
  for (const auto& c : cases) {
    const auto r = DecodeBytes(c.Bytes);
    EXPECT_FALSE(r.Image) << c.Text;
    ASSERT_EQ(r.Messages.size(), 1u) << c.Text;
    EXPECT_EQ(r.Messages[0].Text, c.Text);
    EXPECT_EQ(r.Messages[0].Kind, c.Kind) << c.Text;
  }
  EXPECT_EQ(FITSUnsupportedBITPIXOpen(32),
            "FITS files with BITPIX 32 cannot be opened: only BITPIX 8, 16 and -32 are supported.  The file has "
            "not been opened.");
  EXPECT_EQ(FITSOutOfRangeText("NAXIS2"),
            "The header of this FITS file is invalid: the value of NAXIS2 is out of range.  The file has not been "
            "opened.");
  // A missing file.
  const auto r = LoadFITS("/nonexistent/corvelle/x.fits");
  EXPECT_FALSE(r.Image);
  EXPECT_EQ(Texts(r.Messages), std::vector<std::string>{msgOpenError});
  // A header without END (a truncated file): its cards, no data, a warning.
  auto noEnd = FITSBytes(Header(16, 2, 2), {});
  noEnd.resize(5 * 80);
  const auto t = DecodeBytes(noEnd);
  ASSERT_TRUE(t.Image);
  EXPECT_EQ(t.Header.size(), 5u);
  EXPECT_EQ(Texts(t.Messages), std::vector<std::string>{msgFITSShortData});
  // A file of blanks far beyond any real header stops at the card limit.
  std::vector<std::uint8_t> blanks(std::size_t(kMaxFITSHeaderCards + 10) * 80, ' ');
  EXPECT_FALSE(DecodeBytes(blanks).Image);
}

TEST(FITSRead, DataReadersKeepInsideAnImageOfAnotherSize) {
  // Calibration hands the readers images it allocated itself.
  const auto h = Header(16, 3, 2, {"BZERO   = 32768", "BSCALE  = 1"});
  const auto bytes = FITSBytes(h, Data16({0, 1, 2, 3, 4, 5}));
  TFITSHeader header(h.begin(), h.end());
  TDataImage small;
  ASSERT_TRUE(small.Allocate(2, 1, 1, false));
  TByteSource src(bytes.data(), bytes.size());
  TFITSDataReport rep;
  EXPECT_TRUE(ReadFITS16(src, header, int(h.size()), small, &rep));
  EXPECT_EQ(Pixels(small), (std::vector<float>{32768, 32769}));
  TDataImage big;
  ASSERT_TRUE(big.Allocate(4, 3, 1, false));
  TByteSource src2(bytes.data(), bytes.size());
  EXPECT_TRUE(ReadFITS16(src2, header, int(h.size()), big, &rep));
  EXPECT_EQ(big.GetPixel(2, 0), 32770.0f);
  EXPECT_EQ(big.GetPixel(0, 1), 32771.0f);  // placed by the header's NAXIS1
  EXPECT_EQ(big.GetPixel(3, 0), 0.0f);
  // Without BZERO/BSCALE the result is False, the data still read.
  TFITSHeader bare = {Card("NAXIS1  = 3"), Card("NAXIS2  = 2"), Card("END")};
  TByteSource src3(bytes.data(), bytes.size());
  EXPECT_FALSE(ReadFITS16(src3, bare, 36, small, nullptr));
  EXPECT_THROW(ReadFITS16("/nonexistent/corvelle/x.fits", header, 6, small), EFITSError);
}

TEST(FITSWrite, NewSixteenBitHeaderAndRoundTrip) {
  TempDir dir;
  TDataImage img;
  ASSERT_TRUE(img.Allocate(256, 256, 1, false));
  for (int i = 0; i < 65536; ++i) img.Pixels[i] = float(i);
  TFITSHeader header;
  const std::string name = dir / "a.fts";
  EXPECT_TRUE(WriteFITS16(name, header, img).empty());
  ASSERT_EQ(header.size(), 10u);  // the caller keeps the new header
  EXPECT_EQ(header, MakeFITSHeader(16, 256, 256, 32768, 1));
  const auto bytes = ReadBytes(name);
  ASSERT_EQ(bytes.size(), 2880u + 131072u + (2880 - 131072 % 2880));
  std::string text(bytes.begin(), bytes.begin() + 2880);
  std::string expect;
  for (const auto& c : header) expect += c;
  expect.resize(2880, ' ');
  EXPECT_EQ(text, expect);
  // Data: v - 32768, big-endian two's complement.
  EXPECT_EQ(bytes[2880], 0x80);
  EXPECT_EQ(bytes[2881], 0x00);
  EXPECT_EQ(bytes[2880 + 2 * 65535], 0x7F);
  EXPECT_EQ(bytes[2880 + 2 * 65535 + 1], 0xFF);
  EXPECT_EQ(bytes.back(), 0);
  const auto r = LoadFITS(name);
  ASSERT_TRUE(r.Image);
  EXPECT_EQ(Pixels(*r.Image), Pixels(img));
  EXPECT_EQ(r.Header, header);
  EXPECT_TRUE(r.Messages.empty());
}

TEST(FITSWrite, SixteenBitRangeAndRounding) {
  TempDir dir;
  TDataImage img;
  ASSERT_TRUE(img.Allocate(5, 1, 3, false));
  const float v[5] = {70000.0f, 0.5f, 1.5f, 2.5f, 65534.5f};
  std::copy(v, v + 5, img.Pixels);
  TFITSHeader header;
  auto m = WriteFITS16(dir / "r.fts", header, img);
  EXPECT_EQ(m, (TCodecMessages{{TCodecMessageKind::Warning, msgFITSRange16}}));
  const auto r = LoadFITS(dir / "r.fts");
  ASSERT_TRUE(r.Image);
  // Round(v - 32768): -32767.5 -> -32768, -32766.5 -> -32766, -32765.5 -> -32766, 32766.5 -> 32766.
  EXPECT_EQ(Pixels(*r.Image), (std::vector<float>{65535, 0, 2, 2, 65534}));
  // -1 and 65535.5 (rounds to 65536) are out of range too.
  img.Pixels[0] = -1.0f;
  img.Pixels[1] = 65535.5f;
  m = WriteFITS16(dir / "r.fts", header, img);
  EXPECT_EQ(m.size(), 1u);
  img.Pixels[0] = 65535.0f;
  img.Pixels[1] = -0.5f;  // rounds to -32768: in range
  EXPECT_TRUE(WriteFITS16(dir / "r.fts", header, img).empty());
}

TEST(FITSWrite, RowsFillingABlockExactlyAreAllWritten) {
  TempDir dir;
  TDataImage img;
  ASSERT_TRUE(img.Allocate(1440, 3, 3, false));
  for (int i = 0; i < 4320; ++i) img.Pixels[i] = float(i % 1000) + 0.25f;
  TFITSHeader header;
  EXPECT_TRUE(WriteFITSFloat(dir / "w.fts", header, img).empty());
  EXPECT_EQ(ReadBytes(dir / "w.fts").size(), 2880u + 4320u * 4u);
  const auto r = LoadFITS(dir / "w.fts");
  ASSERT_TRUE(r.Image);
  EXPECT_EQ(Pixels(*r.Image), Pixels(img));
  TFITSHeader h16;
  EXPECT_TRUE(WriteFITS16(dir / "s.fts", h16, img).empty());
  EXPECT_EQ(ReadBytes(dir / "s.fts").size(), 2880u + 8640u);
  const auto s = LoadFITS(dir / "s.fts");
  ASSERT_TRUE(s.Image);
  EXPECT_EQ(s.Image->GetPixel(1439, 2), float(std::nearbyint(float(4319 % 1000) + 0.25f)));
}

TEST(FITSWrite, WrittenHeaderDescribesTheWrittenData) {
  // A header copied from a 16-bit BZERO 0 file with three planes, then the image was cropped.
  TFITSHeader stale;
  for (const char* c : {"SIMPLE  =                    T", "BITPIX  =                   16",
                        "NAXIS   =                    3", "NAXIS1  =                  100",
                        "NAXIS2  =                  100", "NAXIS3  =                    3",
                        "OBJECT  = 'M31     '", "BZERO   =                    0", "BLANK   =                -32768",
                        "DATE    = '2020-01-01'", "BZERO   =                    0", "END"})
    stale.push_back(Card(c));
  TDataImage img;
  ASSERT_TRUE(img.Allocate(3, 2, 1, false));
  for (int i = 0; i < 6; ++i) img.Pixels[i] = float(1000 * i);
  const TFITSHeader out = FITSHeaderForData(stale, 16, 3, 2, 32768, 1);
  const TFITSHeader expected = {
      Card("SIMPLE  =                    T"), Card("BITPIX  =                   16"),
      Card("NAXIS   =                    2"), Card("NAXIS1  =                    3"),
      Card("NAXIS2  =                    2"), Card("OBJECT  = 'M31     '"),
      Card("BZERO   =       3.276800E+0004"), Card("BLANK   =                -32768"),
      Card("DATE    = '2020-01-01'"),          Card("BSCALE  =       1.000000E+0000"),
      Card("END")};
  // BSCALE was missing: inserted after NAXIS2.
  TFITSHeader expectedOrder = expected;
  expectedOrder.erase(expectedOrder.begin() + 9);
  expectedOrder.insert(expectedOrder.begin() + 5, Card("BSCALE  =       1.000000E+0000"));
  EXPECT_EQ(out, expectedOrder);

  TempDir dir;
  TFITSHeader kept = stale;
  EXPECT_TRUE(SaveFITS(dir / "c.fits", kept, img, -32).empty());  // BITPIX 16 from the header
  EXPECT_EQ(kept, stale);  // the window's own list is left as it was
  auto r = LoadFITS(dir / "c.fits");
  ASSERT_TRUE(r.Image);
  EXPECT_EQ(r.Image->DataType, 1);
  EXPECT_EQ(Pixels(*r.Image), Pixels(img));
  std::int32_t n = 0;
  EXPECT_FALSE(GetFITSInteger(r.Header, "NAXIS3", n));

  // As floating point: BZERO 0, no BLANK (not allowed with float data).
  TFITSHeader f = FITSHeaderForData(stale, -32, 3, 2, 0, 1);
  EXPECT_EQ(std::count(f.begin(), f.end(), Card("BLANK   =                -32768")), 0);
  float z = 1;
  EXPECT_TRUE(GetFITSFloat(f, "BZERO", z));
  EXPECT_EQ(z, 0.0f);
  // A header without END gets one, last.
  TFITSHeader noEnd = {Card("SIMPLE  = T"), Card("BITPIX  = -32"), Card("HISTORY x")};
  f = FITSHeaderForData(noEnd, -32, 1, 1, 0, 1);
  EXPECT_EQ(f.back(), Card("END"));
  EXPECT_EQ(f[f.size() - 2], Card("HISTORY x"));
}

TEST(FITSWrite, SaveChoosesTheWriterOrRefuses) {
  TempDir dir;
  TDataImage grey;
  ASSERT_TRUE(grey.Allocate(2, 2, 3, false));
  grey.Pixels[0] = 1.5f;
  TFITSHeader h;
  EXPECT_TRUE(SaveFITS(dir / "f.fits", h, grey, -32).empty());
  std::int32_t bitpix = 0;
  EXPECT_TRUE(GetFITSInteger(h, "BITPIX", bitpix));
  EXPECT_EQ(bitpix, -32);
  TFITSHeader h16;
  EXPECT_TRUE(SaveFITS(dir / "g.fits", h16, grey, 16).empty());
  EXPECT_TRUE(GetFITSInteger(h16, "BITPIX", bitpix));
  EXPECT_EQ(bitpix, 16);
  // A header without BITPIX takes the File Options choice.
  TFITSHeader noBitpix = {Card("SIMPLE  = T"), Card("OBJECT  = 'x'"), Card("END")};
  EXPECT_TRUE(SaveFITS(dir / "n.fits", noBitpix, grey, 16).empty());
  const auto noBitpixRead = LoadFITS(dir / "n.fits");
  ASSERT_TRUE(noBitpixRead.Image);
  EXPECT_EQ(noBitpixRead.Image->DataType, 1);

  TDataImage colour;
  ASSERT_TRUE(colour.Allocate(2, 2, 0, true));
  EXPECT_EQ(SaveFITS(dir / "c.fits", h, colour, -32),
            (TCodecMessages{{TCodecMessageKind::Warning, msgFITSColour}}));
  EXPECT_FALSE(std::filesystem::exists(dir / "c.fits"));
  // An 8-bit file's header saves nothing, and says so.
  TFITSHeader h8 = MakeFITSHeader(8, 2, 2, 0, 1);
  const auto m = SaveFITS(dir / "e.fits", h8, grey, -32);
  EXPECT_EQ(m, (TCodecMessages{{TCodecMessageKind::Warning, FITSUnsupportedBITPIXSave(8)}}));
  EXPECT_FALSE(std::filesystem::exists(dir / "e.fits"));
}

TEST(FITSWrite, AFailedSaveLeavesTheOldFileAndNoTemporary) {
  TempDir dir;
  TDataImage img;
  ASSERT_TRUE(img.Allocate(2, 2, 3, false));
  TFITSHeader h;
  EXPECT_EQ(WriteFITSFloat(dir / "missing/x.fits", h, img),
            (TCodecMessages{{TCodecMessageKind::Warning, std::string(msgSaveError) + "\nNo such file or directory"}}));
  // The target is a folder: the rename fails, the folder and its contents stay.
  std::filesystem::create_directory(dir / "target.fits");
  WriteBytes(dir / "target.fits/keep", {1, 2, 3});
  EXPECT_EQ(WriteFITSFloat(dir / "target.fits", h, img),
            (TCodecMessages{{TCodecMessageKind::Warning, std::string(msgSaveError) + "\nIs a directory"}}));
  EXPECT_EQ(ReadBytes(dir / "target.fits/keep"), (std::vector<std::uint8_t>{1, 2, 3}));
  // A good save replaces the old file and leaves nothing else behind.
  WriteBytes(dir / "old.fits", {9, 9, 9});
  EXPECT_TRUE(WriteFITSFloat(dir / "old.fits", h, img).empty());
  EXPECT_EQ(ReadBytes(dir / "old.fits").size(), 5760u);
  int files = 0;
  for (auto& e : std::filesystem::directory_iterator(dir.Path)) files += e.is_regular_file();
  EXPECT_EQ(files, 1);
  // A name as long as the folder allows saves too (the temporary's name is shorter).
  const std::string longName = dir / (std::string(250, 'n') + ".fits");
  EXPECT_TRUE(WriteFITSFloat(longName, h, img).empty());
  EXPECT_EQ(ReadBytes(longName).size(), 5760u);
  std::filesystem::remove(longName);
  // The mode of a replaced file stays; a link is written through, not replaced.
  std::filesystem::permissions(dir / "old.fits", std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  std::filesystem::create_symlink("old.fits", dir / "link.fits");
  EXPECT_TRUE(WriteFITS16(dir / "link.fits", h, img).empty());
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.fits"));
  EXPECT_EQ(std::filesystem::status(dir / "old.fits").permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  const auto reread = LoadFITS(dir / "old.fits");
  ASSERT_TRUE(reread.Image);
  EXPECT_EQ(reread.Image->DataType, 1);  // the new content
}

TEST(FITSWrite, AnImageWithoutItsPlaneWritesZerosForEveryValue) {
  TempDir dir;
  TDataImage img;  // sides set, no plane allocated
  img.Width = 3;
  img.Height = 2;
  TFITSHeader h;
  ASSERT_TRUE(WriteFITSFloat(dir / "z.fits", h, img).empty());
  EXPECT_EQ(ReadBytes(dir / "z.fits").size(), 5760u);
  const auto r = LoadFITS(dir / "z.fits");
  ASSERT_TRUE(r.Image);
  EXPECT_EQ(Pixels(*r.Image), std::vector<float>(6, 0.0f));
  EXPECT_TRUE(r.Messages.empty());  // the data part is whole
  TFITSHeader h16;
  ASSERT_TRUE(WriteFITS16(dir / "y.fits", h16, img).empty());
  const auto s = LoadFITS(dir / "y.fits");
  ASSERT_TRUE(s.Image);
  EXPECT_EQ(Pixels(*s.Image), std::vector<float>(6, 0.0f));  // stored -32768
  EXPECT_TRUE(s.Messages.empty());
}

TEST(FITSWrite, NewFilesTakeTheModeTheUmaskGives) {
  TempDir dir;
  TDataImage img;
  ASSERT_TRUE(img.Allocate(1, 1, 3, false));
  TFITSHeader h;
  const mode_t old = umask(027);
  const auto m = WriteFITSFloat(dir / "m.fits", h, img);
  umask(old);
  EXPECT_TRUE(m.empty());
  struct stat st {};
  ASSERT_EQ(stat((dir / "m.fits").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}
