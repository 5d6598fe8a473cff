// SBIG camera files: compressed rows, headers, ST-4 frames and bad input.
#include <gtest/gtest.h>

#include <cstring>

#include "formats/SBIG.h"
#include "tests/formats/CodecTestUtil.h"

using namespace codectest;
using namespace ByteOrder;

namespace {

std::vector<std::uint8_t> Headed(const std::string& FirstLine, int W, int H) {
  std::string t = FirstLine + "\n\rFile_version = 3\n\r";
  for (int i = 0; i < 8; ++i) t += "Line" + std::to_string(i) + " = 0\n\r";
  t += "Height = " + std::to_string(H) + "\n\rWidth = " + std::to_string(W) + "\n\rEnd\n\r";
  t.resize(kSBIGHeaderSize, '\x1a');
  return {t.begin(), t.end()};
}

void Row(std::vector<std::uint8_t>& b, int L, int First, const std::vector<std::uint8_t>& Codes) {
  b.push_back(std::uint8_t(L & 0xFF));
  b.push_back(std::uint8_t((L >> 8) & 0xFF));
  b.push_back(std::uint8_t(First & 0xFF));
  b.push_back(std::uint8_t(First >> 8));
  b.insert(b.end(), Codes.begin(), Codes.end());
}

TSBIGReadResult Decode(const std::vector<std::uint8_t>& b) {
  TByteSource src(b.data(), b.size());
  return DecodeSBIG(src);
}

std::vector<float> RowOf(const TDataImage& I, int y) {
  return {I.Pixels + std::size_t(y) * I.Width, I.Pixels + std::size_t(y + 1) * I.Width};
}

}  // namespace

TEST(SBIG, CompressedRowsDecode) {
  auto b = Headed("ST-7 Compressed Image", 4, 3);
  Row(b, 7, 1000, {0x05, 0xFB, 0x80, 0xE8, 0x03});           // deltas and an absolute value
  Row(b, 8, 1, {0x02, 0x00, 0x03, 0x00, 0xFF, 0xFF});         // L = 2 x width: raw
  Row(b, 5, 65530, {0x10, 0x7F, 0x81});                       // wraps past 65535 and back
  const auto r = Decode(b);
  ASSERT_TRUE(r.Image);
  EXPECT_TRUE(r.Messages.empty());
  EXPECT_EQ(r.Image->DataType, 1);
  EXPECT_EQ(RowOf(*r.Image, 0), (std::vector<float>{1000, 1005, 1000, 1000}));
  EXPECT_EQ(RowOf(*r.Image, 1), (std::vector<float>{1, 2, 3, 65535}));
  EXPECT_EQ(RowOf(*r.Image, 2), (std::vector<float>{65530, 10, 137, 10}));
  EXPECT_EQ(r.Image->BlackPoint, 1.0f);
  EXPECT_EQ(r.Image->WhitePoint, 65535.0f);
}

TEST(SBIG, RowsNeverWritePastTheirEnd) {
  float row[6] = {0, 0, 0, 0, 0, -7};
  const std::uint8_t many[] = {1, 1, 1, 1, 1, 1, 1, 1};
  EXPECT_EQ(DecodeSBIGRow(many, sizeof many, 10, row, 5), 4);
  EXPECT_EQ(row[4], 14.0f);
  EXPECT_EQ(row[5], -7.0f);
  // An escape whose value would run past the row's bytes ends the row.
  float r2[4] = {0, 0, 0, 0};
  const std::uint8_t cut[] = {0x01, 0x80, 0x05};
  EXPECT_EQ(DecodeSBIGRow(cut, sizeof cut, 7, r2, 4), 1);
  EXPECT_EQ(r2[1], 8.0f);
  EXPECT_EQ(r2[2], 0.0f);
  // In a file: a row with too many codes leaves the next row alone; one with too few keeps zeros.
  auto b = Headed("ST-7 Compressed Image", 3, 2);
  Row(b, 2 + 6, 5, {1, 1, 1, 1, 1, 1});
  Row(b, 3, 9, {0x01});
  const auto r = Decode(b);
  ASSERT_TRUE(r.Image);
  EXPECT_EQ(RowOf(*r.Image, 0), (std::vector<float>{5, 6, 7}));
  EXPECT_EQ(RowOf(*r.Image, 1), (std::vector<float>{9, 10, 0}));
}

TEST(SBIG, HeaderByKeyword) {
  TSBIGHeader h;
  const auto b4 = Headed("ST-4X Compressed Image", 765, 510);
  ASSERT_TRUE(ParseSBIGHeader(std::string(b4.begin(), b4.end()), h));
  EXPECT_TRUE(h.Compressed);
  EXPECT_EQ(h.Width, 765);
  EXPECT_EQ(h.Height, 510);
  const auto b7 = Headed("ST-7 Compressed Image", 1, 1);
  ASSERT_TRUE(ParseSBIGHeader(std::string(b7.begin(), b7.end()), h));
  EXPECT_TRUE(h.Compressed);
  const auto raw = Headed("ST-7 Image", 4096, 4096);  // four-digit sides too
  ASSERT_TRUE(ParseSBIGHeader(std::string(raw.begin(), raw.end()), h));
  EXPECT_FALSE(h.Compressed);
  EXPECT_EQ(h.Height, 4096);
  // "Compressed" later in the header does not count.
  EXPECT_TRUE(ParseSBIGHeader("ST-7 Image\n\rNote = Compressed\n\rHeight = 2\n\rWidth = 3\n\r", h));
  EXPECT_FALSE(h.Compressed);
  EXPECT_FALSE(ParseSBIGHeader("ST-7 Image\n\rHeight = 12x\n\rWidth = 3\n\r", h));
  EXPECT_FALSE(ParseSBIGHeader("ST-7 Image\n\rHeight = 0\n\rWidth = 3\n\r", h));
  EXPECT_FALSE(ParseSBIGHeader("ST-7 Image\n\rWidth = 3\n\r", h));
  EXPECT_FALSE(ParseSBIGHeader("", h));
}

TEST(SBIG, RawFilesAndST4Frames) {
  auto b = Headed("ST-7 Image", 2, 2);
  for (int v : {1, 256, 65535, 0}) {
    b.push_back(std::uint8_t(v & 0xFF));
    b.push_back(std::uint8_t(v >> 8));
  }
  const auto r = Decode(b);
  ASSERT_TRUE(r.Image);
  EXPECT_EQ(std::vector<float>(r.Image->Pixels, r.Image->Pixels + 4), (std::vector<float>{1, 256, 65535, 0}));

  std::vector<std::uint8_t> st4(192 * 165);
  for (std::size_t i = 0; i < st4.size(); ++i) st4[i] = std::uint8_t(10 + i % 200);
  TByteSource src(st4.data(), st4.size());
  const auto s = DecodeST4(src);
  ASSERT_TRUE(s.Image);
  EXPECT_EQ(s.Image->Width, 192);
  EXPECT_EQ(s.Image->Height, 165);
  EXPECT_EQ(s.Image->DataType, 0);
  EXPECT_EQ(s.Image->GetPixel(191, 0), 10.0f + 191 % 200);
  EXPECT_EQ(s.Image->GetPixel(0, 1), 10.0f + 192 % 200);
  EXPECT_EQ(s.Image->BlackPoint, 10.0f);
  EXPECT_EQ(s.Image->WhitePoint, 209.0f);
  st4.pop_back();
  TByteSource shortSrc(st4.data(), st4.size());
  EXPECT_FALSE(DecodeST4(shortSrc).Image);
}

TEST(SBIG, BadFilesGiveTheMessageAndNoImage) {
  const TCodecMessages msg = {{TCodecMessageKind::Error, msgOpenError}};
  auto rawShort = Headed("ST-7 Image", 2, 2);
  rawShort.resize(rawShort.size() + 7);
  auto lTooSmall = Headed("ST-7 Compressed Image", 3, 1);
  Row(lTooSmall, 1, 5, {});
  auto lNegative = Headed("ST-7 Compressed Image", 3, 1);
  Row(lNegative, -4, 5, {1, 2});
  auto lPastEnd = Headed("ST-7 Compressed Image", 3, 1);
  Row(lPastEnd, 40, 5, {1, 2});
  auto rowsMissing = Headed("ST-7 Compressed Image", 3, 100000);
  Row(rowsMissing, 3, 5, {1});
  auto huge = Headed("ST-7 Image", 999999999, 999999999);
  // Wider than any compressed row can be: one short row must not make a gigabyte image.
  auto wide = Headed("ST-7 Compressed Image", 999999999, 1);
  Row(wide, 2, 5, {});
  auto justTooWide = Headed("ST-7 Compressed Image", kSBIGMaxCompressedWidth + 1, 1);
  Row(justTooWide, 2, 5, {});
  auto notNumber = Headed("ST-7 Image", 2, 2);
  std::memcpy(notNumber.data() + std::string(notNumber.begin(), notNumber.end()).find("Height = ") + 9, "x", 1);
  for (const auto& b : {rawShort, lTooSmall, lNegative, lPastEnd, rowsMissing, huge, wide, justTooWide, notNumber,
                        std::vector<std::uint8_t>{}, std::vector<std::uint8_t>(100, 'S')}) {
    const auto r = Decode(b);
    EXPECT_FALSE(r.Image);
    EXPECT_EQ(r.Messages, msg);
  }
  // The widest compressed row that can exist still opens: a first value and 32765 codes.
  auto widest = Headed("ST-7 Compressed Image", kSBIGMaxCompressedWidth, 1);
  Row(widest, 32767, 3, std::vector<std::uint8_t>(32765, 0x01));
  const auto w = Decode(widest);
  ASSERT_TRUE(w.Image);
  EXPECT_EQ(w.Image->GetPixel(kSBIGMaxCompressedWidth - 1, 0), 3.0f + 32765);
  EXPECT_EQ(LoadSBIG("/nonexistent/corvelle/x.st7").Messages, msg);
  EXPECT_EQ(LoadSBIG("/nonexistent/corvelle/x.st4").Messages, msg);
}

TEST(SBIG, IndependentEncoderAgrees) {
  TempDir dir;
  std::string out;
  ASSERT_EQ(RunCommand(Python() + " " + Oracle("sbig_oracle.py") + " make " + dir.Path.string(), out), 0) << out;
  // The extension routes: ".st4" in any case is an ST-4 frame.
  std::filesystem::rename(dir / "st4.st4", dir / "frame.St4");
  for (const auto& [name, expected] : std::vector<std::pair<std::string, std::string>>{
           {"raw.st7", "raw.st7.expected"}, {"comp.st8", "comp.st8.expected"}, {"frame.St4", "st4.st4.expected"}}) {
    const auto r = LoadSBIG(dir / name);
    ASSERT_TRUE(r.Image) << name;
    const auto want = ReadBytes(dir / expected);
    ASSERT_EQ(want.size(), std::size_t(r.Image->PixelCount()) * 4) << name;
    EXPECT_EQ(std::memcmp(want.data(), r.Image->Pixels, want.size()), 0) << name;
  }
  const auto again = LoadSBIG(dir / "comp.st8");
  ASSERT_TRUE(again.Image);
  EXPECT_EQ(again.Image->Width, 37);
}
