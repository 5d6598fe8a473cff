// kvx files: byte layout, round trips, style codes and refused input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "formats/kvx.h"
#include "tests/formats/CodecTestUtil.h"

using namespace codectest;
using namespace ByteOrder;

namespace {

TKVXAnnotation Vega() {
  TKVXAnnotation a;
  a.X = -4;
  a.Y = 17;
  a.Text = "Vega \xe9";
  a.FontColour = 0x00336699;
  a.FontSize = 12;
  a.FontStyle.Bold = a.FontStyle.Italic = true;
  a.FontName = "Arial";
  return a;
}

const float kGrey[6] = {0.0f, 1.5f, -2.0f, 65535.0f, 1e-3f, 3.4e38f};

void Grey3x2(TDataImage& img) {
  ASSERT_TRUE(img.Allocate(3, 2, 3, false));
  std::copy(kGrey, kGrey + 6, img.Pixels);
}

TKVXReadResult Decode(const std::vector<std::uint8_t>& b) {
  TByteSource src(b.data(), b.size());
  return DecodeKVX(src);
}

}  // namespace

TEST(KVX, ByteLayoutOfASmallGreyImage) {
  TDataImage img;
  Grey3x2(img);
  const std::vector<TKVXMarker> markers = {{1.5f, 2.25f}, {-3.0f, 100.125f}};
  const auto b = EncodeKVX(img, {Vega()}, markers);
  const std::size_t record = 4 + 4 + 4 + 6 + 4 + 4 + 4 + 1 + 4 + 5;
  ASSERT_EQ(b.size(), 18 + record + 4 + 16 + 24);
  EXPECT_EQ(b[0], 2);
  EXPECT_EQ(LoadLE32(&b[1]), 3u);
  EXPECT_EQ(LoadLE32(&b[5]), 2u);
  EXPECT_EQ(LoadLE32(&b[9]), 6u);
  EXPECT_EQ(b[13], 0);
  EXPECT_EQ(LoadLE32(&b[14]), 1u);
  EXPECT_EQ(std::int32_t(LoadLE32(&b[18])), 17);  // y before x
  EXPECT_EQ(std::int32_t(LoadLE32(&b[22])), -4);
  EXPECT_EQ(LoadLE32(&b[26]), 6u);
  EXPECT_EQ(std::string(b.begin() + 30, b.begin() + 36), "Vega \xe9");
  EXPECT_EQ(LoadLE32(&b[36]), 4u);
  EXPECT_EQ(LoadLE32(&b[40]), 0x00336699u);
  EXPECT_EQ(LoadLE32(&b[44]), 12u);
  EXPECT_EQ(b[48], 5);  // bold and italic
  EXPECT_EQ(LoadLE32(&b[49]), 5u);
  EXPECT_EQ(std::string(b.begin() + 53, b.begin() + 58), "Arial");
  EXPECT_EQ(LoadLE32(&b[58]), 2u);
  float f;
  std::memcpy(&f, &b[62], 4);
  EXPECT_EQ(f, 1.5f);
  std::memcpy(&f, &b[78], 4);
  EXPECT_EQ(f, kGrey[0]);
  std::memcpy(&f, &b[b.size() - 4], 4);
  EXPECT_EQ(f, kGrey[5]);
}

TEST(KVX, RoundTripsGreyColourAndMarks) {
  TempDir dir;
  TDataImage img;
  Grey3x2(img);
  const std::vector<TKVXMarker> markers = {{1.5f, 2.25f}, {-3.0f, 100.125f}};
  ASSERT_TRUE(SaveKVX(dir / "g.kvx", img, {Vega()}, markers).empty());
  auto r = LoadKVX(dir / "g.kvx");
  ASSERT_TRUE(r.Image);
  EXPECT_TRUE(r.Messages.empty());
  EXPECT_EQ(r.Image->DataType, 3);
  EXPECT_FALSE(r.Image->IsColour);
  EXPECT_EQ(std::vector<float>(r.Image->Pixels, r.Image->Pixels + 6), std::vector<float>(kGrey, kGrey + 6));
  EXPECT_EQ(r.Annotations, std::vector<TKVXAnnotation>{Vega()});
  EXPECT_EQ(r.Markers, markers);
  EXPECT_EQ(r.Image->BlackPoint, -2.0f);
  EXPECT_EQ(r.Image->WhitePoint, 3.4e38f);

  // An 8-bit image reopens as floating point with the same values.
  TDataImage b8;
  ASSERT_TRUE(b8.Allocate(4, 1, 0, false));
  for (int i = 0; i < 4; ++i) b8.Pixels[i] = float(i * 80);
  ASSERT_TRUE(SaveKVX(dir / "b.kvx", b8, {}, {}).empty());
  r = LoadKVX(dir / "b.kvx");
  ASSERT_TRUE(r.Image);
  EXPECT_EQ(r.Image->DataType, 3);
  EXPECT_EQ(r.Image->GetPixel(3, 0), 240.0f);

  // 100 x 100 colour: four blocks of 2048 pixels and 1808 more.
  TDataImage c;
  ASSERT_TRUE(c.Allocate(100, 100, 0, true));
  for (int i = 0; i < 10000; ++i) c.RGBPlane[i] = {std::uint8_t(i), std::uint8_t(i >> 8), std::uint8_t(i * 7)};
  ASSERT_TRUE(SaveKVX(dir / "c.kvx", c, {}, {}).empty());
  EXPECT_EQ(ReadBytes(dir / "c.kvx").size(), 18u + 4u + 30000u);
  r = LoadKVX(dir / "c.kvx");
  ASSERT_TRUE(r.Image);
  EXPECT_TRUE(r.Image->IsColour);
  EXPECT_EQ(r.Image->DataType, 0);
  EXPECT_EQ(std::memcmp(r.Image->RGBPlane, c.RGBPlane, 30000), 0);
}

TEST(KVX, LargeImagesSaveInPiecesWithTheSameBytes) {
  // More pixels than one piece of the writer, grey and colour.
  TempDir dir;
  TDataImage g;
  ASSERT_TRUE(g.Allocate(1000, 601, 3, false));
  for (std::int64_t i = 0; i < g.PixelCount(); ++i) g.Pixels[i] = float(i) * 0.25f - 7.0f;
  TDataImage c;
  ASSERT_TRUE(c.Allocate(1000, 601, 0, true));
  for (std::int64_t i = 0; i < c.PixelCount(); ++i)
    c.RGBPlane[i] = {std::uint8_t(i), std::uint8_t(i >> 8), std::uint8_t(i >> 16)};
  for (const TDataImage* img : {&g, &c}) {
    ASSERT_TRUE(SaveKVX(dir / "big.kvx", *img, {Vega()}, {{5, 6}}).empty());
    const auto bytes = ReadBytes(dir / "big.kvx");
    EXPECT_EQ(bytes.size(), 18u + 40u + 4u + 8u + std::size_t(img->PixelCount()) * (img->IsColour ? 3 : 4));
    EXPECT_EQ(bytes, EncodeKVX(*img, {Vega()}, {{5, 6}}));
    const auto r = LoadKVX(dir / "big.kvx");
    ASSERT_TRUE(r.Image);
    const std::size_t n = std::size_t(img->PixelCount());
    EXPECT_EQ(img->IsColour ? std::memcmp(r.Image->RGBPlane, img->RGBPlane, n * 3)
                            : std::memcmp(r.Image->Pixels, img->Pixels, n * 4),
              0);
  }
}

TEST(KVX, StyleCodes) {
  auto style = [](bool b, bool i, bool u, bool s) { return TKVXFontStyle{b, i, u, s}; };
  EXPECT_EQ(KVXStyleCode(style(0, 0, 0, 0)), 0);
  EXPECT_EQ(KVXStyleCode(style(1, 0, 0, 0)), 1);
  EXPECT_EQ(KVXStyleCode(style(0, 1, 0, 0)), 2);
  EXPECT_EQ(KVXStyleCode(style(0, 0, 1, 0)), 3);
  EXPECT_EQ(KVXStyleCode(style(0, 0, 0, 1)), 4);
  EXPECT_EQ(KVXStyleCode(style(1, 1, 0, 0)), 5);
  EXPECT_EQ(KVXStyleCode(style(1, 0, 1, 0)), 0);  // bold underlined: plain
  EXPECT_EQ(KVXStyleCode(style(1, 1, 1, 1)), 0);
  for (int code = 0; code <= 5; ++code) EXPECT_EQ(KVXStyleCode(KVXStyleFromCode(std::uint8_t(code))), code);
  EXPECT_EQ(KVXStyleFromCode(6), TKVXFontStyle{});
  EXPECT_EQ(KVXStyleFromCode(255), TKVXFontStyle{});
  // A bold underlined annotation reopens plain.
  TDataImage img;
  Grey3x2(img);
  TKVXAnnotation a = Vega();
  a.FontStyle = style(1, 0, 1, 0);
  const auto r = Decode(EncodeKVX(img, {a}, {}));
  ASSERT_EQ(r.Annotations.size(), 1u);
  EXPECT_EQ(r.Annotations[0].FontStyle, TKVXFontStyle{});
}

TEST(KVX, RefusedFilesGiveTheMessageAndNoImage) {
  TDataImage img;
  Grey3x2(img);
  const auto good = EncodeKVX(img, {Vega()}, {{1, 2}});
  for (std::uint8_t v : {0, 1, 3, 255}) {
    auto b = good;
    b[0] = v;
    const auto r = Decode(b);
    EXPECT_FALSE(r.Image);
    EXPECT_EQ(r.Messages, (TCodecMessages{{TCodecMessageKind::Warning, msgKVXUnrecognised}}));
  }
  // Every truncation of a good file is refused without reading past its end.
  for (std::size_t n = 0; n < good.size(); ++n) {
    const std::vector<std::uint8_t> cut(good.begin(), good.begin() + n);
    const auto r = Decode(cut);
    EXPECT_FALSE(r.Image) << n;
    EXPECT_EQ(r.Messages.size(), 1u) << n;
  }
  EXPECT_TRUE(Decode(good).Image);
  auto patch = [&](std::size_t at, std::uint32_t v) {
    auto b = good;
    StoreLE32(&b[at], v);
    return Decode(b);
  };
  EXPECT_FALSE(patch(9, 7).Image);               // pixel count differs from width x height
  EXPECT_FALSE(patch(1, 0x80000000u).Image);     // width beyond the Integer range
  EXPECT_FALSE(patch(1, 65536).Image);           // 65536 x 2 pixels not in the file
  EXPECT_FALSE(patch(14, 0xFFFFFFFFu).Image);    // absurd annotation count
  EXPECT_FALSE(patch(26, 0xFFFFFFF0u).Image);    // absurd text length
  EXPECT_FALSE(patch(49, 1000).Image);           // name running past the end
  EXPECT_FALSE(patch(58, 0x20000000u).Image);    // absurd marker count
  // No image has a side of 0: such a file is refused, however its other fields read.
  auto empty = EncodeKVX(TDataImage(), {}, {});
  EXPECT_FALSE(Decode(empty).Image);
  auto tall = empty;
  StoreLE32(&tall[5], 0x7FFFFFFF);
  EXPECT_FALSE(Decode(tall).Image);
  const auto missing = LoadKVX("/nonexistent/corvelle/x.kvx");
  EXPECT_FALSE(missing.Image);
  EXPECT_EQ(missing.Messages, (TCodecMessages{{TCodecMessageKind::Error, msgOpenError}}));
}

TEST(KVX, NaNPixelsReadAsZeroWithOneWarning) {
  TDataImage img;
  Grey3x2(img);
  img.Pixels[1] = std::nanf("");
  img.Pixels[4] = -INFINITY;
  const auto r = Decode(EncodeKVX(img, {}, {{std::nanf(""), 4.0f}}));
  ASSERT_TRUE(r.Image);
  EXPECT_EQ(r.Image->Pixels[1], 0.0f);
  EXPECT_EQ(r.Image->Pixels[4], 0.0f);
  EXPECT_EQ(r.Markers, (std::vector<TKVXMarker>{{0.0f, 4.0f}}));
  EXPECT_EQ(r.Messages, (TCodecMessages{{TCodecMessageKind::Warning, NonFiniteWarning(3)}}));
}

TEST(KVX, ReadOnlyFilesOpenAndFailedSavesKeepTheOldFile) {
  TempDir dir;
  TDataImage img;
  Grey3x2(img);
  ASSERT_TRUE(SaveKVX(dir / "r.kvx", img, {}, {}).empty());
  std::filesystem::permissions(dir / "r.kvx", std::filesystem::perms::owner_read);
  EXPECT_TRUE(LoadKVX(dir / "r.kvx").Image);
  EXPECT_EQ(SaveKVX(dir / "no/such/folder.kvx", img, {}, {}),
            (TCodecMessages{{TCodecMessageKind::Warning, std::string(msgSaveError) + "\nNo such file or directory"}}));
}

TEST(KVX, IndependentReaderAndWriterAgree) {
  TempDir dir;
  std::string out;
  ASSERT_EQ(RunCommand(Python() + " " + Oracle("kvx_oracle.py") + " write " + (dir / "py.kvx"), out), 0) << out;
  const auto r = LoadKVX(dir / "py.kvx");
  ASSERT_TRUE(r.Image) << out;
  EXPECT_EQ(std::vector<float>(r.Image->Pixels, r.Image->Pixels + 6), std::vector<float>(kGrey, kGrey + 6));
  EXPECT_EQ(r.Annotations, std::vector<TKVXAnnotation>{Vega()});
  EXPECT_EQ(r.Markers, (std::vector<TKVXMarker>{{1.5f, 2.25f}, {-3.0f, 100.125f}}));

  // Ours, read by the oracle: it must find the same fields and nothing left over.
  TDataImage img;
  Grey3x2(img);
  ASSERT_TRUE(SaveKVX(dir / "ours.kvx", img, {Vega()}, {{1.5f, 2.25f}, {-3.0f, 100.125f}}).empty());
  ASSERT_EQ(RunCommand(Python() + " " + Oracle("kvx_oracle.py") + " read " + (dir / "ours.kvx"), out), 0) << out;
  EXPECT_NE(out.find("\"version\": 2, \"width\": 3, \"height\": 2, \"count\": 6, \"colour\": 0"), std::string::npos)
      << out;
  EXPECT_NE(out.find("{\"y\": 17, \"x\": -4, \"text\": \"Vega \\u00e9\", \"reserved\": 4, \"colour\": 3368601, "
                     "\"size\": 12, \"style\": 5, \"name\": \"Arial\"}"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("\"markers\": [[1.5, 2.25], [-3.0, 100.125]]"), std::string::npos) << out;
  EXPECT_NE(out.find("\"rest\": 0"), std::string::npos) << out;
  // Both writers give the same bytes.
  EXPECT_EQ(ReadBytes(dir / "ours.kvx"), ReadBytes(dir / "py.kvx"));
}
