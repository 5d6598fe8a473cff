// Every reader offered a named pipe, a folder or a device: refused without
// waiting (opening a pipe waits for a writer) and without reading anything.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <functional>

#include "engine/ImageCombine.h"
#include "formats/Bitmap.h"
#include "formats/FITSFrames.h"
#include "formats/JPG.h"
#include "formats/PCD.h"
#include "formats/RawImport.h"
#include "formats/SBIG.h"
#include "formats/TIFFex.h"
#include "formats/kvx.h"
#include "support/PipeWatchdog.h"
#include "tests/formats/CodecTestUtil.h"

using namespace codectest;

TEST(NonRegularFiles, EveryReaderRefusesAPipeWithoutWaiting) {
  TempDir dir;
  // A reader's verdict: true when it read an image.
  using TRead = std::function<bool(const std::string&)>;
  auto thrower = [](void (*Read)(const std::string&, TDataImage&)) -> TRead {
    return [Read](const std::string& N) {
      TDataImage image;
      try {
        Read(N, image);
        return true;
      } catch (const std::exception&) {
        return false;
      }
    };
  };
  auto picture = [](bool (*Read)(const std::string&, TDataImage&, std::string&)) -> TRead {
    return [Read](const std::string& N) {
      TDataImage image;
      std::string error;
      return Read(N, image, error);
    };
  };
  const std::pair<const char*, TRead> readers[] = {
      {"fits", [](const std::string& N) { return LoadFITS(N).Image != nullptr; }},
      {"frame", [](const std::string& N) { TDataImage f; return LoadFITSFrame(N, f).Ok; }},
      {"kvx", [](const std::string& N) { return LoadKVX(N).Image != nullptr; }},
      {"sbig", [](const std::string& N) { return LoadSBIG(N).Image != nullptr; }},
      {"st4", [](const std::string& N) { return LoadST4(N).Image != nullptr; }},
      {"raw", [](const std::string& N) { return ImportRaw(N, {}).Image != nullptr; }},
      {"bmp", picture(&ReadBMPImage)},
      {"jpg", picture(&ReadJPEGImage)},
      {"tif", thrower(&ReadTIFFImage)},
      {"pcd", thrower(&ReadPCDImage)},
      {"whole", [](const std::string& N) { std::string d, e; return ReadWholeFile(N, d, e); }},
  };
  for (const auto& [name, read] : readers) {
    SCOPED_TRACE(name);
    const std::string pipe = dir / (std::string("pipe.") + name);
    TPipeWatchdog watch(pipe, 30);
    ASSERT_TRUE(watch.Made());
    EXPECT_FALSE(read(pipe));
    EXPECT_FALSE(watch.Done()) << "the reader waited on the pipe";
    // A folder and a device are no files either.
    EXPECT_FALSE(read(dir.Path.string()));
    EXPECT_FALSE(read("/dev/zero"));
  }
}

TEST(NonRegularFiles, TheReasonNamesWhatTheNameIs) {
  TempDir dir;
  WriteBytes(dir / "plain", {1, 2, 3});
  const std::string pipe = dir / "pipe";
  TPipeWatchdog watch(pipe, 30);
  const struct {
    std::string Name;
    std::string OpenReason;  // TByteSource::Reason after OpenFile
    std::string NotAFile;    // NotAFileReason
  } cases[] = {
      {dir / "plain", "", ""},
      {pipe, "Not a regular file", "Not a regular file"},
      {dir.Path.string(), "Is a directory", "Is a directory"},
      {"/dev/null", "Not a regular file", "Not a regular file"},
      {dir / "missing", "No such file or directory", ""},
      {dir / "plain/x", "Not a directory", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TByteSource source;
    EXPECT_EQ(source.OpenFile(c.Name), c.OpenReason.empty());
    EXPECT_EQ(source.Reason(), c.OpenReason);
    EXPECT_EQ(NotAFileReason(c.Name), c.NotAFile);
  }
  EXPECT_FALSE(watch.Done());
}

// A frame that cannot be opened gives the system's reason after the file's
// name: a series that meets the limit of open files does not blame the file.
TEST(NonRegularFiles, AFrameThatCannotBeOpenedSaysWhy) {
  TempDir dir;
  TDataImage image;
  ASSERT_TRUE(image.Allocate(5, 3, 3, false));
  TFITSHeader header;
  const std::string a = dir / "f001.fts", b = dir / "f002.fts";
  ASSERT_TRUE(WriteFITSFloat(a, header, image).empty());
  ASSERT_TRUE(WriteFITSFloat(b, header, image).empty());
  TDataImage frame;
  EXPECT_EQ(LoadFITSFrame(dir / "missing.fits", frame).Error,
            "Could not open file " + (dir / "missing.fits") + ".  No such file or directory.");
  // No descriptor left: the lowest free one is the limit.
  const int next = ::dup(0);
  ASSERT_GE(next, 0);
  ::close(next);
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old), 0);
  std::string single, series;
  std::exception_ptr failure;
  {
    // Nothing in here may need a descriptor of its own (the sanitizers' checks do).
    rlimit none = old;
    none.rlim_cur = rlim_t(next);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &none), 0);
    single = LoadFITSFrame(b, frame).Error;
    TDataImage result;
    TCodecMessages warnings;
    try {
      CombineFiles({a, b}, 1, result, warnings);
    } catch (...) {
      failure = std::current_exception();
    }
    setrlimit(RLIMIT_NOFILE, &old);
  }
  try {
    if (failure) std::rethrow_exception(failure);
  } catch (const ECombineError& e) {
    series = e.what();
  }
  EXPECT_EQ(single, "Could not open file " + b + ".  Too many open files.");
  EXPECT_EQ(series, "Could not open file " + a + ".  Too many open files.");
  EXPECT_TRUE(LoadFITSFrame(b, frame).Ok);
}
