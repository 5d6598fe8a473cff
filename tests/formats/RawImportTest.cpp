// Raw import: each sample layout, offsets, sizes and bad parameters.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <cstring>
#include <sstream>

#include "engine/Errors.h"
#include "formats/RawImport.h"
#include "platform/PageMemory.h"
#include "tests/formats/CodecTestUtil.h"

using namespace codectest;

namespace {

TRawImportResult Decode(const std::vector<std::uint8_t>& b, TRawImportParams p) {
  TByteSource src(b.data(), b.size());
  return DecodeRaw(src, p);
}

TRawImportParams Params(int Format, std::int64_t W, std::int64_t H, float Offset = 0, bool Unsigned = false,
                        std::int64_t Skip = 0) {
  TRawImportParams p;
  p.Format = Format;
  p.Width = W;
  p.Height = H;
  p.Offset = Offset;
  p.Unsigned = Unsigned;
  p.Skip = Skip;
  return p;
}

std::vector<float> Pixels(const TRawImportResult& r) {
  return r.Image ? std::vector<float>(r.Image->Pixels, r.Image->Pixels + r.Image->PixelCount())
                 : std::vector<float>{};
}

}  // namespace

TEST(RawImport, SampleLayouts) {
  auto r = Decode({250, 0}, Params(rawFormat8, 2, 1, 10));
  EXPECT_EQ(Pixels(r), (std::vector<float>{4, 10}));  // byte arithmetic: 250 + 10 -> 4
  EXPECT_EQ(r.Image->DataType, 3);
  EXPECT_FALSE(r.Image->IsColour);

  r = Decode({0x34, 0x12, 0x56}, Params(rawFormat12, 2, 1));
  EXPECT_EQ(Pixels(r), (std::vector<float>{564, 342}));
  // Odd width: a row is (width div 2) groups; the last pixel of each row is not read.
  r = Decode({0x34, 0x12, 0x56, 0x01, 0x00, 0x02}, Params(rawFormat12, 3, 2));
  EXPECT_EQ(Pixels(r), (std::vector<float>{564, 342, 0, 1, 2, 0}));

  EXPECT_EQ(Pixels(Decode({0x01, 0x02}, Params(rawFormat16Motorola, 1, 1))), std::vector<float>{258});
  EXPECT_EQ(Pixels(Decode({0x01, 0x02}, Params(rawFormat16Intel, 1, 1))), std::vector<float>{513});
  // "Data is unsigned" adds 32767 in 16-bit arithmetic first.
  EXPECT_EQ(Pixels(Decode({0x01, 0x02}, Params(rawFormat16Motorola, 1, 1, 0, true))), std::vector<float>{33025});
  EXPECT_EQ(Pixels(Decode({0xFF, 0xFF}, Params(rawFormat16Intel, 1, 1, 0, true))), std::vector<float>{32766});

  std::vector<std::uint8_t> f;
  PutBE32f(f, -5.0f);
  PutBE32f(f, 1.5f);
  r = Decode(f, Params(rawFormat32, 2, 1, 2));
  EXPECT_EQ(Pixels(r), (std::vector<float>{0, 3.5f}));
  r = Decode(f, Params(rawFormat32, 2, 1, 0.1f));  // the offset is not rounded
  EXPECT_EQ(Pixels(r)[1], float((long double)1.5f + 0.1f));
  EXPECT_TRUE(r.Messages.empty());
}

TEST(RawImport, OffsetsRoundAndWrapLikeTheProgramsMod) {
  // Round(offset) is half to even.
  EXPECT_EQ(Pixels(Decode({1}, Params(rawFormat8, 1, 1, 2.5f))), std::vector<float>{3});
  EXPECT_EQ(Pixels(Decode({1}, Params(rawFormat8, 1, 1, 3.5f))), std::vector<float>{5});
  // mod truncates: a negative sum stays negative.
  EXPECT_EQ(Pixels(Decode({5}, Params(rawFormat8, 1, 1, -10))), std::vector<float>{-5});
  EXPECT_EQ(Pixels(Decode({0, 5}, Params(rawFormat16Motorola, 1, 1, -10))), std::vector<float>{-5});
  // Offsets far beyond the 64-bit range reduce exactly: 2e32 as a Single is a
  // multiple of 65536, so (5 + o) mod m is 5, and (5 - o) mod m is 5 - m.
  EXPECT_EQ(Pixels(Decode({5}, Params(rawFormat8, 1, 1, 2e32f))), std::vector<float>{5});
  EXPECT_EQ(Pixels(Decode({5}, Params(rawFormat8, 1, 1, -2e32f))), std::vector<float>{-251});
  EXPECT_EQ(Pixels(Decode({0, 5}, Params(rawFormat16Motorola, 1, 1, -2e32f))), std::vector<float>{-65531});
  // 3e9 mod 65536 = 24064, beyond the Integer range: 0x0500 + 24064.
  EXPECT_EQ(Pixels(Decode({0, 5}, Params(rawFormat16Intel, 1, 1, 3e9f))), std::vector<float>{25344});
}

TEST(RawImport, SizesAndSkipsAreCheckedFirst) {
  const std::vector<std::uint8_t> b(200, 7);
  for (auto [w, h] : {std::pair<int, int>{0, 5}, {5, 0}, {-1, 5}}) {
    const auto r = Decode(b, Params(rawFormat8, w, h));
    EXPECT_FALSE(r.Image);
    EXPECT_EQ(r.Messages, (TCodecMessages{{TCodecMessageKind::Error, msgRawSize}}));
  }
  EXPECT_EQ(ImportRaw("/nonexistent/x.raw", Params(rawFormat8, 0, 1)).Messages[0].Text, msgRawSize);
  const TCodecMessages err = {{TCodecMessageKind::Error, msgRawError}};
  // Skip 100 of 200 bytes: a 10 x 10 8-bit image is all there; 10 x 11 is not.
  auto r = Decode(b, Params(rawFormat8, 10, 10, 0, false, 100));
  EXPECT_TRUE(r.Image);
  EXPECT_EQ(Pixels(r), std::vector<float>(100, 7));
  for (auto p : {Params(rawFormat8, 10, 11, 0, false, 100), Params(rawFormat8, 1, 1, 0, false, 201),
                 Params(rawFormat8, 1, 1, 0, false, -1), Params(rawFormat16Intel, 100, 2),
                 Params(rawFormat32, 65536, 65536), Params(rawFormat8, 65536, 65536),
                 Params(rawFormat12, 4, 34), Params(13, 1, 1)}) {
    r = Decode(b, p);
    EXPECT_FALSE(r.Image);
    EXPECT_EQ(r.Messages, err);
  }
  EXPECT_TRUE(Decode(b, Params(rawFormat12, 4, 33)).Image);  // 33 rows of 6 bytes
  EXPECT_TRUE(Decode(b, Params(rawFormat12, 1, 100000)).Image);  // no bytes per row at all
  // A file that cannot be opened is named with the system's reason, as
  // opening an image names it.
  TempDir dir;
  std::filesystem::create_symlink(dir / "gone.raw", dir / "dangling.raw");
  for (const std::string& name : {std::string("/nonexistent/x.raw"), dir / "dangling.raw"})
    EXPECT_EQ(ImportRaw(name, Params(rawFormat8, 1, 1)).Messages,
              (TCodecMessages{{TCodecMessageKind::Error, "Cannot open file \"" + name + "\". No such file or directory"}}));
  // All the data there, but not the memory for the image: said as such.
  PageMemory::SetLimit(1024);  // 200 pixels and their picture need more
  r = Decode(b, Params(rawFormat8, 20, 10));
  PageMemory::SetLimit(0);
  EXPECT_FALSE(r.Image);
  EXPECT_EQ(r.Messages, (TCodecMessages{{TCodecMessageKind::Error, OutOfMemoryText}}));
  EXPECT_TRUE(Decode(b, Params(rawFormat8, 20, 10)).Image);
}

TEST(RawImport, NaNSamplesBecomeZeroWithOneWarning) {
  std::vector<std::uint8_t> f;
  PutBE32f(f, std::nanf(""));
  PutBE32f(f, INFINITY);
  PutBE32f(f, 3e38f);
  const auto r = Decode(f, Params(rawFormat32, 3, 1, 1e38f));
  EXPECT_EQ(Pixels(r), (std::vector<float>{0, 0, 0}));  // 3e38 + 1e38 is beyond the Single range
  EXPECT_EQ(r.Messages, (TCodecMessages{{TCodecMessageKind::Warning, NonFiniteWarning(3)}}));
}

TEST(RawImport, AgreesWithNumpy) {
  TempDir dir;
  std::string out;
  ASSERT_EQ(RunCommand(Python() + " " + Oracle("raw_oracle.py") + " make " + dir.Path.string(), out), 0) << out;
  std::string name;
  int format, isUnsigned, w, h, count = 0;
  double offset;
  const auto list = ReadBytes(dir / "cases.txt");
  std::istringstream in(std::string(list.begin(), list.end()));
  while (in >> name >> format >> isUnsigned >> offset >> w >> h) {
    TRawImportParams p = Params(format, w, h, float(offset), isUnsigned != 0, 37);
    const auto r = ImportRaw(dir / "data.bin", p);
    ASSERT_TRUE(r.Image) << name;
    EXPECT_EQ(r.Caption, "Imported data.bin");
    const auto want = ReadBytes(dir / (name + ".expected"));
    ASSERT_EQ(want.size(), std::size_t(w) * h * 4) << name;
    std::vector<float> expected(std::size_t(w) * h);
    std::memcpy(expected.data(), want.data(), want.size());
    EXPECT_EQ(Pixels(r), expected) << name;
    ++count;
  }
  EXPECT_EQ(count, 8);
}
