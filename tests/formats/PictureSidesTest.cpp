// The picture readers look at the sides a header declares before they read
// the whole file: sides too large to open, or a file larger than memory, say
// so instead of failing later as a read error or an invalid file.
#include <gtest/gtest.h>

#include <functional>

#include "formats/Bitmap.h"
#include "formats/Bmp2Tiff.h"
#include "formats/JPG.h"
#include "formats/TIFFex.h"
#include "platform/PageMemory.h"
#include "tests/formats/CodecTestUtil.h"

using namespace codectest;

namespace {

void PutLE32(Bytes& B, std::size_t At, std::uint32_t V) {
  for (int i = 0; i < 4; ++i) B[At + std::size_t(i)] = std::uint8_t(V >> (8 * i));
}

// Where each format keeps its width, found by walking the file as its
// standard lays it out; the patch writes a new width there.
void PatchBMPWidth(Bytes& F, std::uint32_t W) { PutLE32(F, 18, W); }

void PatchJPEGWidth(Bytes& F, std::uint16_t W) {
  std::size_t p = 2;
  while (p + 4 <= F.size()) {
    const std::uint8_t marker = F[p + 1];
    const std::size_t length = std::size_t(F[p + 2]) << 8 | F[p + 3];
    if (marker >= 0xC0 && marker <= 0xC2) {
      F[p + 7] = std::uint8_t(W >> 8);
      F[p + 8] = std::uint8_t(W);
      return;
    }
    p += 2 + length;
  }
  FAIL() << "no frame header";
}

void PatchTIFFWidth(Bytes& F, std::uint32_t W) {
  ASSERT_EQ(F[0], 'I');
  const std::uint32_t ifd = std::uint32_t(F[4]) | F[5] << 8 | F[6] << 16 | std::uint32_t(F[7]) << 24;
  const std::size_t n = F[ifd] | F[ifd + 1] << 8;
  for (std::size_t k = 0; k < n; ++k) {
    const std::size_t e = ifd + 2 + 12 * k;
    if ((F[e] | F[e + 1] << 8) != 256) continue;
    F[e + 2] = 4;  // LONG
    F[e + 3] = 0;
    PutLE32(F, e + 4, 1);
    PutLE32(F, e + 8, W);
    return;
  }
  FAIL() << "no width tag";
}

struct TFormat {
  const char* Name;
  TPictureKind Kind;
  std::function<bool(const std::string&, const TFastBMP&, std::string&)> Write;
  std::function<std::string(const std::string&)> Read;  // the error text, "" when read
  std::function<void(Bytes&, std::uint32_t)> PatchWidth;
};

std::string ReadWith(bool (*Reader)(const std::string&, TDataImage&, std::string&), const std::string& Name) {
  TDataImage image;
  std::string error;
  return Reader(Name, image, error) ? std::string() : error;
}

std::string ReadTIFF(const std::string& Name) {
  TDataImage image;
  try {
    ReadTIFFImage(Name, image);
  } catch (const std::exception& e) {
    return e.what();
  }
  return {};
}

}  // namespace

TEST(PictureSides, HeadersTooLargeSaySoBeforeTheFileIsRead) {
  TempDir dir;
  const TFastBMP picture = Pattern(37, 21, 5);
  const TFormat formats[] = {
      {"a.bmp", TPictureKind::BMP, &WriteBMPFile, [](const std::string& N) { return ReadWith(&ReadBMPImage, N); },
       &PatchBMPWidth},
      {"a.jpg", TPictureKind::JPEG,
       [](const std::string& N, const TFastBMP& B, std::string& E) { return WriteJPEGFile(N, B, 90, false, E); },
       [](const std::string& N) { return ReadWith(&ReadJPEGImage, N); },
       [](Bytes& F, std::uint32_t W) { PatchJPEGWidth(F, std::uint16_t(W)); }},
      {"a.tif", TPictureKind::TIFF, &WriteTIFFFile, &ReadTIFF, &PatchTIFFWidth},
  };
  for (const TFormat& f : formats) {
    SCOPED_TRACE(f.Name);
    std::string error;
    ASSERT_TRUE(f.Write(dir / f.Name, picture, error)) << error;
    // The header says what was written.
    {
      TByteSource source;
      ASSERT_TRUE(source.OpenFile(dir / f.Name));
      std::int64_t w = 0, h = 0;
      ASSERT_TRUE(PictureFileSides(source, f.Kind, w, h));
      EXPECT_EQ(w, 37);
      EXPECT_EQ(h, 21);
    }
    EXPECT_EQ(f.Read(dir / f.Name), "");

    // A width that no picture can have, and one beyond the memory allowed.
    const std::uint32_t widths[] = {f.Kind == TPictureKind::JPEG ? 65500u : 715827883u, 60000u};
    for (std::uint32_t width : widths) {
      Bytes bytes = ReadBytes(dir / f.Name);
      f.PatchWidth(bytes, width);
      const std::string name = dir / ("wide" + std::to_string(width) + f.Name);
      WriteBytes(name, bytes);
      PageMemory::SetLimit(4u << 20);
      EXPECT_EQ(f.Read(name), PictureTooLargeText) << width;
      PageMemory::SetLimit(0);
    }

    // Small sides in a file larger than memory allows.
    Bytes padded = ReadBytes(dir / f.Name);
    padded.resize(padded.size() + 300000, 0);
    WriteBytes(dir / ("padded" + std::string(f.Name)), padded);
    PageMemory::SetLimit(200000);
    EXPECT_EQ(f.Read(dir / ("padded" + std::string(f.Name))), PictureTooLargeText);
    PageMemory::SetLimit(0);
  }
  // Files that are not what their reader expects go to the decoder, which refuses them.
  WriteBytes(dir / "junk", {'B', 'M', 1, 2});
  TByteSource junk;
  ASSERT_TRUE(junk.OpenFile(dir / "junk"));
  std::int64_t w = 0, h = 0;
  for (TPictureKind k : {TPictureKind::BMP, TPictureKind::JPEG, TPictureKind::TIFF})
    EXPECT_FALSE(PictureFileSides(junk, k, w, h));
}
