// The display range every reader leaves on the image it opens. Grey readers
// show the whole range of their pixels, from the smallest to the largest
// (a largest below 0 shows as 0); colour readers keep 0 to 255 whatever the
// picture holds. The expected range comes from a plain scan of the pixel
// values the file was made from.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <sstream>

#include "formats/Bitmap.h"
#include "formats/Bmp2Tiff.h"
#include "formats/FITS.h"
#include "formats/JPG.h"
#include "formats/PCD.h"
#include "formats/RawImport.h"
#include "formats/SBIG.h"
#include "formats/TIFFex.h"
#include "formats/kvx.h"
#include "tests/formats/CodecTestUtil.h"

using namespace codectest;

namespace {

struct TOpened {
  std::unique_ptr<TDataImage> Image;
  std::vector<float> Expected;  // the pixels the file was made from; empty for colour pictures
};

using TMaker = std::function<TOpened(const TempDir&)>;

void PutLE16(Bytes& b, int v) {
  b.push_back(std::uint8_t(v & 0xFF));
  b.push_back(std::uint8_t((v >> 8) & 0xFF));
}

Bytes FITSFile(int BITPIX, int W, int H, const Bytes& Data) {
  return FITSBytes({"SIMPLE  =                    T", "BITPIX  = " + std::string(20 - std::to_string(BITPIX).size(), ' ') +
                        std::to_string(BITPIX),
                    "NAXIS   =                    2", "NAXIS1  = " + std::string(20 - std::to_string(W).size(), ' ') +
                        std::to_string(W),
                    "NAXIS2  = " + std::string(20 - std::to_string(H).size(), ' ') + std::to_string(H), "END"},
                   Data);
}

TOpened OpenFITS(const TempDir& Dir, int BITPIX, const std::vector<float>& Values, const Bytes& Data) {
  WriteBytes(Dir / "f.fits", FITSFile(BITPIX, int(Values.size()), 1, Data));
  return {LoadFITS(Dir / "f.fits").Image, Values};
}

TOpened OpenColour(const std::string& Name, std::function<bool(const std::string&, TDataImage&)> Read) {
  auto img = std::make_unique<TDataImage>();
  if (!Read(Name, *img)) img.reset();
  return {std::move(img), {}};
}

// A picture whose bytes stay inside 40..200, so that a scan of its data
// could never give 0 and 255.
TFastBMP MidGreyPicture() {
  TFastBMP bmp;
  bmp.SetSize(16, 8);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 48; ++x) bmp.TopRow(y)[x] = std::uint8_t(40 + (x * 7 + y * 13) % 161);
  return bmp;
}

}  // namespace

TEST(ReaderLevels, EveryReaderLeavesTheDisplayRangeOfItsKind) {
  TempDir dir;
  std::vector<std::pair<std::string, TMaker>> cases = {
      {"FITS 16", [](const TempDir& D) {
         Bytes b;
         // Stored values below 0 open as 0.
         for (int v : {-300, 5, 1200, 77}) PutBE16(b, v);
         return OpenFITS(D, 16, {0, 5, 1200, 77}, b);
       }},
      {"FITS 16 with BZERO", [](const TempDir& D) {
         Bytes b;
         for (int v : {-32000, 5, 1200, -77}) PutBE16(b, v);
         WriteBytes(D / "z.fits", FITSBytes({"SIMPLE  =                    T", "BITPIX  =                   16",
                                             "NAXIS   =                    2", "NAXIS1  =                    4",
                                             "NAXIS2  =                    1", "BZERO   =                32768", "END"},
                                            b));
         return TOpened{LoadFITS(D / "z.fits").Image, {768, 32773, 33968, 32691}};
       }},
      {"FITS 8", [](const TempDir& D) { return OpenFITS(D, 8, {10, 250, 3, 99}, {10, 250, 3, 99}); }},
      {"FITS -32", [](const TempDir& D) {
         Bytes b;
         for (float v : {-2.5f, 1e5f, 3.25f, 0.5f}) PutBE32f(b, v);
         return OpenFITS(D, -32, {-2.5f, 1e5f, 3.25f, 0.5f}, b);
       }},
      {"FITS -32, all negative", [](const TempDir& D) {
         Bytes b;
         for (float v : {-7.0f, -1.5f, -3.0f}) PutBE32f(b, v);
         return OpenFITS(D, -32, {-7.0f, -1.5f, -3.0f}, b);
       }},
      {"kvx", [](const TempDir& D) {
         const std::vector<float> v = {-4.5f, 18.25f, 6.0f, 0.125f, 900.0f, 3.0f};
         TDataImage img;
         img.Allocate(3, 2, 3, false);
         std::copy(v.begin(), v.end(), img.Pixels);
         WriteBytes(D / "k.kvx", EncodeKVX(img, {}, {}));
         return TOpened{LoadKVX(D / "k.kvx").Image, v};
       }},
      {"SBIG", [](const TempDir& D) {
         std::string t = "ST-7 Image\n\rFile_version = 3\n\rHeight = 2\n\rWidth = 2\n\rEnd\n\r";
         t.resize(kSBIGHeaderSize, '\x1a');
         Bytes b(t.begin(), t.end());
         for (int v : {300, 40000, 12, 7}) PutLE16(b, v);
         WriteBytes(D / "s.st7", b);
         return TOpened{LoadSBIG(D / "s.st7").Image, {300, 40000, 12, 7}};
       }},
      {"ST-4", [](const TempDir& D) {
         Bytes b(192 * 165);
         std::vector<float> v(b.size());
         for (std::size_t i = 0; i < b.size(); ++i) v[i] = b[i] = std::uint8_t(30 + (i * 31) % 151);
         WriteBytes(D / "f.st4", b);
         return TOpened{LoadSBIG(D / "f.st4").Image, v};
       }},
      {"TIFF", [](const TempDir& D) {
         std::string e;
         EXPECT_TRUE(WriteTIFFFile(D / "p.tif", MidGreyPicture(), e)) << e;
         return OpenColour(D / "p.tif", [](const std::string& N, TDataImage& I) {
           ReadTIFFImage(N, I);
           return true;
         });
       }},
      {"BMP", [](const TempDir& D) {
         std::string e;
         EXPECT_TRUE(WriteBMPFile(D / "p.bmp", MidGreyPicture(), e)) << e;
         return OpenColour(D / "p.bmp", [&](const std::string& N, TDataImage& I) { return ReadBMPImage(N, I, e); });
       }},
      {"JPEG", [](const TempDir& D) {
         std::string e;
         EXPECT_TRUE(WriteJPEGFile(D / "p.jpg", MidGreyPicture(), 90, false, e)) << e;
         return OpenColour(D / "p.jpg", [&](const std::string& N, TDataImage& I) { return ReadJPEGImage(N, I, e); });
       }},
      {"Photo CD", [](const TempDir& D) {
         // A pack of one mid grey: luma 120, both chroma planes 156 and 137.
         Bytes f(196608 + 256 * 2304 + 1024, 0);
         std::memcpy(f.data() + 2048, "PCD_IPI", 7);
         for (int g = 0; g < 256; ++g) {
           std::uint8_t* p = f.data() + 196608 + 2304 * g;
           std::memset(p, 120, 1536);
           std::memset(p + 1536, 156, 384);
           std::memset(p + 1920, 137, 384);
         }
         WriteBytes(D / "p.pcd", f);
         return OpenColour(D / "p.pcd", [](const std::string& N, TDataImage& I) {
           ReadPCDImage(N, I);
           return true;
         });
       }},
  };
  // Raw import in each layout, with numpy's decoding of the same bytes.
  std::string out;
  ASSERT_EQ(RunCommand(Python() + " " + Oracle("raw_oracle.py") + " make " + dir.Path.string(), out), 0) << out;
  {
    const auto list = ReadBytes(dir / "cases.txt");
    std::istringstream in(std::string(list.begin(), list.end()));
    std::string name;
    int format, isUnsigned, w, h;
    double offset;
    while (in >> name >> format >> isUnsigned >> offset >> w >> h) {
      cases.push_back({"raw " + name, [=](const TempDir& D) {
                         TRawImportParams p;
                         p.Width = w, p.Height = h, p.Skip = 37, p.Offset = float(offset);
                         p.Format = format, p.Unsigned = isUnsigned != 0;
                         const Bytes want = ReadBytes(D / (name + ".expected"));
                         std::vector<float> v(want.size() / 4);
                         std::memcpy(v.data(), want.data(), v.size() * 4);
                         return TOpened{ImportRaw(D / "data.bin", p).Image, v};
                       }});
    }
  }
  ASSERT_EQ(cases.size(), 12u + 8u);

  for (const auto& [name, make] : cases) {
    SCOPED_TRACE(name);
    const TOpened r = make(dir);
    ASSERT_TRUE(r.Image);
    float black = 0.0f, white = 255.0f;
    if (!r.Expected.empty()) {
      ASSERT_EQ(r.Image->PixelCount(), std::int64_t(r.Expected.size()));
      black = r.Expected[0];
      white = 0.0f;
      for (float v : r.Expected) {
        if (v < black) black = v;
        if (v > white) white = v;
      }
    }
    EXPECT_EQ(r.Image->BlackPoint, black);
    EXPECT_EQ(r.Image->WhitePoint, white);
  }
}
