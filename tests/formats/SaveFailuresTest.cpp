// Saves that fail: the old file stays, nothing is left behind, a file-size
// limit is a failure and not the end of the program, a link to nothing is
// refused, and the message says why in the system's words.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <functional>

#include "formats/Bitmap.h"
#include "formats/Bmp2Tiff.h"
#include "formats/FITS.h"
#include "formats/JPG.h"
#include "formats/kvx.h"
#include "tests/formats/CodecTestUtil.h"

using namespace codectest;

namespace {

// Every writer of the program, with the text it shows when the file cannot be
// written; empty when the save went through.
using TWriter = std::function<std::string(const std::string& Name)>;

struct TNamedWriter {
  const char* Extension;
  TWriter Write;
};

std::string FirstText(const TCodecMessages& Messages) { return Messages.empty() ? std::string() : Messages[0].Text; }

std::vector<TNamedWriter> Writers(const TDataImage& Grey, const TFastBMP& Picture) {
  auto picture = [&Picture](auto Writer) {
    return [&Picture, Writer](const std::string& Name) {
      std::string error;
      return Writer(Name, Picture, error) ? std::string() : error;
    };
  };
  return {
      {".fits", [&Grey](const std::string& N) { TFITSHeader h; return FirstText(WriteFITSFloat(N, h, Grey)); }},
      {".fts", [&Grey](const std::string& N) { TFITSHeader h; return FirstText(WriteFITS16(N, h, Grey)); }},
      {".kvx", [&Grey](const std::string& N) { return FirstText(SaveKVX(N, Grey, {}, {})); }},
      {".bmp", picture(&WriteBMPFile)},
      {".tif", picture(&WriteTIFFFile)},
      {".jpg", picture([](const std::string& N, const TFastBMP& B, std::string& E) {
         return WriteJPEGFile(N, B, 100, false, E);
       })},
  };
}

std::string SaveText(const std::string& Extension) {
  return Extension == ".fits" || Extension == ".fts" || Extension == ".kvx" ? msgSaveError : SaveErrorText;
}

std::size_t EntryCount(const fs::path& Dir) {
  return std::size_t(std::distance(fs::directory_iterator(Dir), fs::directory_iterator()));
}

TDataImage& NoiseImage(TDataImage& Image, int Side) {
  Image.Allocate(Side, Side, 3, false);
  std::uint32_t s = 12345;
  for (std::int64_t i = 0; i < Image.PixelCount(); ++i) {
    s = s * 1664525u + 1013904223u;
    Image.Pixels[i] = float(s >> 16);
  }
  return Image;
}

}  // namespace

TEST(SaveFailures, TheSystemsReasonFollowsOnASecondLine) {
  TempDir dir;
  TDataImage grey;
  NoiseImage(grey, 8);
  const TFastBMP picture = Pattern(8, 8, 3);
  WriteBytes(dir / "plain", {1});
  const std::vector<TNamedWriter> writers = Writers(grey, picture);
  for (const TNamedWriter& w : writers) {
    const std::string e = w.Extension;
    fs::create_directory(dir / ("folder" + e));
    fs::create_symlink(dir / "nowhere", dir / ("dangling" + e));
    fs::create_symlink(dir / ("loop2" + e), dir / ("loop1" + e));
    fs::create_symlink(dir / ("loop1" + e), dir / ("loop2" + e));
  }
  struct TCase {
    const char* Name;  // each writer's extension follows
    const char* Reason;
  };
  const TCase cases[] = {
      {"missing/a", "No such file or directory"},
      {"plain/a", "Not a directory"},
      {"folder", "Is a directory"},
      {"loop1", "Too many levels of symbolic links"},
      {"dangling", "The name is a symbolic link to a file that does not exist"},
  };
  for (const TNamedWriter& w : writers) {
    for (const TCase& c : cases) {
      const std::string name = c.Name + std::string(w.Extension);
      EXPECT_EQ(w.Write(dir / name), SaveText(w.Extension) + "\n" + c.Reason) << name;
    }
  }
  // The links are still links, to nothing, and the folder is a folder.
  for (const char* link : {"dangling.fits", "dangling.bmp", "loop1.kvx"}) {
    std::error_code ec;
    EXPECT_TRUE(fs::is_symlink(dir / link)) << link;
    EXPECT_FALSE(fs::exists(dir / link, ec)) << link;
  }
  EXPECT_FALSE(fs::exists(dir / "nowhere"));
  EXPECT_TRUE(fs::is_directory(dir / "folder.tif"));
  // A link to a file that exists is written through, and stays a link.
  WriteBytes(dir / "real.fits", {7});
  fs::create_symlink(dir / "real.fits", dir / "link.fits");
  TFITSHeader h;
  EXPECT_TRUE(WriteFITSFloat(dir / "link.fits", h, grey).empty());
  EXPECT_TRUE(fs::is_symlink(dir / "link.fits"));
  EXPECT_GT(fs::file_size(dir / "real.fits"), 2880u);
}

TEST(SaveFailures, AFileSizeLimitFailsTheSaveAndKeepsTheOldFile) {
  // In a child process with the signal's default action, as the program
  // starts: without the writers ignoring it, the child would be killed.
  TempDir dir;
  TDataImage grey;
  NoiseImage(grey, 300);
  const TFastBMP picture = Pattern(300, 300, 21);
  const std::vector<TNamedWriter> writers = Writers(grey, picture);
  for (const TNamedWriter& w : writers) WriteBytes(dir / (std::string("old") + w.Extension), {1, 2, 3});
  std::fflush(nullptr);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_DFL);
    rlimit cap{};
    getrlimit(RLIMIT_FSIZE, &cap);
    cap.rlim_cur = 64 * 1024;
    if (setrlimit(RLIMIT_FSIZE, &cap) != 0) _exit(2);
    for (const TNamedWriter& w : writers) {
      const std::string text = w.Write(dir / (std::string("old") + w.Extension));
      const int fd = ::open((dir / (std::string("msg") + w.Extension)).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (fd < 0 || ::write(fd, text.data(), text.size()) != ssize_t(text.size())) _exit(3);
      ::close(fd);
    }
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "the child ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  ASSERT_EQ(WEXITSTATUS(status), 0);
  for (const TNamedWriter& w : writers) {
    SCOPED_TRACE(w.Extension);
    const Bytes msg = ReadBytes(dir / (std::string("msg") + w.Extension));
    EXPECT_EQ(std::string(msg.begin(), msg.end()), SaveText(w.Extension) + "\nFile too large");
    EXPECT_EQ(ReadBytes(dir / (std::string("old") + w.Extension)), (Bytes{1, 2, 3}));
  }
  // The old files and the messages: no temporary is left.
  EXPECT_EQ(EntryCount(dir.Path), 2 * writers.size());
}

TEST(SaveFailures, TheNextSaveRemovesTemporariesAnInterruptedSaveLeft) {
  TempDir dir;
  TDataImage grey;
  NoiseImage(grey, 4);
  const std::string prefix = TSafeFileWriter::TemporaryPrefix(dir / "m42.fits");
  EXPECT_EQ(prefix, dir / ".m42.fits.saving.");
  struct TCase {
    std::string Name;
    bool Removed;
  };
  const TCase cases[] = {
      {prefix + "Ab12Cd", true},            // a save that was killed
      {prefix + "zzzzzz", true},
      {prefix + "Ab12C", false},            // not a name a save makes
      {prefix + "Ab12Cd7", false},
      {prefix + "Ab-2Cd", false},
      {dir / ".m43.fits.saving.Ab12Cd", false},  // another file's
      {dir / "m42.fits.saving.Ab12Cd", false},
  };
  for (const TCase& c : cases) WriteBytes(c.Name, {5});
  // A save of the same file in progress elsewhere holds its lock: kept.
  const std::string live = prefix + "LiveOn";
  WriteBytes(live, {6});
  const int lockFd = ::open(live.c_str(), O_RDONLY);
  ASSERT_GE(lockFd, 0);
  ASSERT_EQ(::flock(lockFd, LOCK_EX), 0);
  // A folder of such a name is not a temporary.
  fs::create_directory(prefix + "Folder");

  TFITSHeader h;
  EXPECT_TRUE(WriteFITSFloat(dir / "m42.fits", h, grey).empty());
  for (const TCase& c : cases) EXPECT_EQ(fs::exists(c.Name), !c.Removed) << c.Name;
  EXPECT_TRUE(fs::exists(live));
  EXPECT_TRUE(fs::is_directory(prefix + "Folder"));
  ::close(lockFd);
  // Once the other save is gone, its temporary goes with the next save.
  EXPECT_TRUE(WriteFITSFloat(dir / "m42.fits", h, grey).empty());
  EXPECT_FALSE(fs::exists(live));
  EXPECT_TRUE(fs::exists(dir / "m42.fits"));
}
