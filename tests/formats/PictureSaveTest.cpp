// The picture writers when the disk refuses part of the file: the old file
// stays as it was and nothing is left behind.
#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <sys/resource.h>

#include "formats/Bitmap.h"
#include "formats/Bmp2Tiff.h"
#include "formats/JPG.h"
#include "tests/formats/CodecTestUtil.h"

using namespace codectest;

namespace {

// Caps the size of every file this process writes, as a full disk would;
// writes beyond the cap fail with EFBIG instead of raising SIGXFSZ.
class FileSizeCap {
 public:
  explicit FileSizeCap(rlim_t Bytes) {
    getrlimit(RLIMIT_FSIZE, &Old);
    OldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit cap = Old;
    cap.rlim_cur = Bytes;
    Ok = setrlimit(RLIMIT_FSIZE, &cap) == 0;
  }
  ~FileSizeCap() {
    setrlimit(RLIMIT_FSIZE, &Old);
    std::signal(SIGXFSZ, OldHandler);
  }
  bool Ok = false;

 private:
  rlimit Old{};
  void (*OldHandler)(int) = SIG_DFL;
};

}  // namespace

TEST(PictureWriters, AWriteThatFailsHalfwayKeepsTheOldFile) {
  TempDir dir;
  const TFastBMP picture = Pattern(300, 300, 21);  // noise: about 270 KB in each format
  using TWriter = std::function<bool(const std::string&, std::string&)>;
  const std::pair<const char*, TWriter> writers[] = {
      {"old.tif", [&](const std::string& N, std::string& E) { return WriteTIFFFile(N, picture, E); }},
      {"old.bmp", [&](const std::string& N, std::string& E) { return WriteBMPFile(N, picture, E); }},
      {"old.jpg", [&](const std::string& N, std::string& E) { return WriteJPEGFile(N, picture, 100, true, E); }},
  };
  for (const auto& [name, write] : writers) {
    SCOPED_TRACE(name);
    const std::string file = dir.File(name);
    WriteBytes(file, {1, 2, 3});
    std::string error;
    {
      FileSizeCap cap(64 * 1024);
      ASSERT_TRUE(cap.Ok);
      EXPECT_FALSE(write(file, error));
    }
    EXPECT_EQ(error, "An error saving this file.\nFile too large");
    EXPECT_EQ(ReadBytes(file), (Bytes{1, 2, 3}));
    // Without the cap the same save goes through and replaces the file.
    ASSERT_TRUE(write(file, error)) << error;
    EXPECT_EQ(error, "");
    EXPECT_GT(ReadBytes(file).size(), 64u * 1024);
  }
  // Only the three files: no temporary survives a failed save.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path), fs::directory_iterator()), 3);
}
