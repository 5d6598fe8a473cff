// The picture writers when the disk refuses part of the file: the old file
// stays as it was and nothing is left behind. The report and chart files have
// the same table in tests/analysis/ReportSaveFailuresTest.cpp.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "formats/Bitmap.h"
#include "formats/Bmp2Tiff.h"
#include "formats/JPG.h"
#include "formats/kvx.h"
#include "tests/formats/CodecTestUtil.h"
#include "tests/formats/SaveFaults.h"

using namespace codectest;

using savefaults::FileSizeCap;

// Every writer, over an existing file: a write the disk stops halfway is
// reported, leaves the old file byte for byte and no temporary beside it.
TEST(PictureWriters, AWriteThatFailsHalfwayKeepsTheOldFile) {
  TempDir dir;
  const TFastBMP picture = Pattern(300, 300, 21);  // noise: about 270 KB in each format
  TDataImage grey;  // 200 x 200 noise: 80 KB as 16-bit FITS, 160 KB as -32 or kvx
  ASSERT_TRUE(grey.Allocate(200, 200, 3, false));
  std::mt19937 rng(5);
  for (std::int64_t i = 0; i < grey.PixelCount(); ++i) grey.Pixels[i] = float(rng() % 60000) + 0.25f;
  // A writer gives its error text, empty when the file was written.
  using TWriter = std::function<std::string(const std::string&)>;
  auto messages = [](const TCodecMessages& M) {
    std::string t;
    for (const auto& m : M) t += m.Text + "\n";
    return t;
  };
  const struct {
    const char* Name;
    const char* Error;  // the first line of the failure's text
    TWriter Write;
  } writers[] = {
      {"old.tif", "An error saving this file.",
       [&](const std::string& N) {
         std::string e;
         return WriteTIFFFile(N, picture, e) ? e : e + "!";
       }},
      {"old.bmp", "An error saving this file.",
       [&](const std::string& N) {
         std::string e;
         return WriteBMPFile(N, picture, e) ? e : e + "!";
       }},
      {"old.jpg", "An error saving this file.",
       [&](const std::string& N) {
         std::string e;
         return WriteJPEGFile(N, picture, 100, true, e) ? e : e + "!";
       }},
      {"old16.fts", msgSaveError,
       [&](const std::string& N) {
         TFITSHeader h;
         return messages(WriteFITS16(N, h, grey));
       }},
      {"old32.fts", msgSaveError,
       [&](const std::string& N) {
         TFITSHeader h;
         return messages(WriteFITSFloat(N, h, grey));
       }},
      {"old.kvx", msgSaveError, [&](const std::string& N) { return messages(SaveKVX(N, grey, {}, {})); }},
  };
  for (const auto& w : writers) {
    SCOPED_TRACE(w.Name);
    const std::string file = dir.File(w.Name);
    WriteBytes(file, {1, 2, 3});
    std::string error;
    {
      FileSizeCap cap(64 * 1024);
      ASSERT_TRUE(cap.Ok);
      error = w.Write(file);
    }
    // The writer's own text, then the system's reason on a line of its own.
    EXPECT_EQ(error.rfind(w.Error, 0), 0u) << error;
    EXPECT_NE(error.find("\nFile too large"), std::string::npos) << error;
    EXPECT_EQ(ReadBytes(file), (Bytes{1, 2, 3}));
    // Without the cap the same save goes through and replaces the file.
    EXPECT_EQ(w.Write(file), "");
    EXPECT_GT(ReadBytes(file).size(), 64u * 1024);
  }
  // Only the writers' files: no temporary survives a failed save.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path), fs::directory_iterator()), std::ssize(writers));
}
