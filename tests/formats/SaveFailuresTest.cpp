// Saves that fail: the old file stays, nothing is left behind, a file-size
// limit is a failure and not the end of the program, a link to nothing is
// refused, and so is what is not a file or is write-protected; the data are
// synced; and the message says why in the system's words.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <functional>

#include "formats/Bitmap.h"
#include "formats/Bmp2Tiff.h"
#include "formats/FITS.h"
#include "formats/JPG.h"
#include "formats/kvx.h"
#include "tests/formats/CodecTestUtil.h"
#include "tests/formats/SaveFaults.h"

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
  // What is not a file is never replaced, nor is a write-protected file,
  // also behind a link: private nodes, since a save as /dev/null run as root
  // would otherwise replace the system's.
  using savefaults::TNode;
  const std::pair<const char*, TNode> nodes[] = {
      {"fifo", TNode::Fifo},
      {"socket", TNode::Socket},
      {"chardev", TNode::CharDevice},
      {"blockdev", TNode::BlockDevice}};
  std::vector<std::pair<std::string, TNode>> made;
  for (const TNamedWriter& w : writers) {
    const std::string e = w.Extension;
    for (const auto& [name, kind] : nodes)
      if (savefaults::MakeNode(dir / (name + e), kind)) made.emplace_back(dir / (name + e), kind);
    fs::create_symlink(dir / ("fifo" + e), dir / ("tofifo" + e));
    WriteBytes(dir / ("readonly" + e), {9});
    fs::permissions(dir / ("readonly" + e), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::create_symlink(dir / ("readonly" + e), dir / ("toreadonly" + e));
  }
  // Devices need root and the right to make them; pipes and sockets do not.
  ASSERT_GE(made.size(), 2 * writers.size());
  const bool devices = made.size() == std::size(nodes) * writers.size();
  struct TCase {
    const char* Name;  // each writer's extension follows
    const char* Reason;  // empty: the write-protected file, named
  };
  const TCase cases[] = {
      {"missing/a", "No such file or directory"},
      {"plain/a", "Not a directory"},
      {"folder", "Is a directory"},
      {"loop1", "Too many levels of symbolic links"},
      {"dangling", "The name is a symbolic link to a file that does not exist"},
      {"fifo", "Not a regular file"},
      {"socket", "Not a regular file"},
      {"chardev", "Not a regular file"},
      {"blockdev", "Not a regular file"},
      {"tofifo", "Not a regular file"},
      {"readonly", ""},
      {"toreadonly", ""},
  };
  int refused = 0, tried = 0;
  for (const TNamedWriter& w : writers) {
    const std::string e = w.Extension;
    for (const TCase& c : cases) {
      const std::string name = c.Name + e;
      if (!devices && std::string(c.Name).find("dev") != std::string::npos) continue;
      const std::string reason =
          *c.Reason ? std::string(c.Reason) : "The file \"" + (dir / ("readonly" + e)) + "\" is write-protected";
      // Refused before anything is written: no temporary is ever synced.
      savefaults::SyncWatch watch(0, 0);
      const std::string text = w.Write(dir / name);
      EXPECT_EQ(text, SaveText(w.Extension) + "\n" + reason) << name;
      EXPECT_TRUE(savefaults::SyncWatch::Log().empty()) << name << ": a temporary was written and synced";
      ++tried;
      refused += !text.empty();
    }
  }
  std::printf("[ figures  ] %d saves onto what a save must not replace (devices %s), %d refused\n", tried,
              devices ? "made" : "not made here", refused);
  for (const auto& [path, kind] : made) EXPECT_TRUE(savefaults::IsNode(path, kind)) << path;
  for (const TNamedWriter& w : writers) {
    const std::string e = w.Extension;
    EXPECT_TRUE(fs::is_symlink(dir / ("tofifo" + e)));
    EXPECT_EQ(ReadBytes(dir / ("readonly" + e)), Bytes{9});
    EXPECT_EQ(fs::status(dir / ("readonly" + e)).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  }
  // Nothing was written beside them either.
  for (const auto& entry : fs::directory_iterator(dir.Path))
    EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
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

// A save survives a crash: the new file's data are synced before it takes
// the name, the folder after; a sync that fails is a failed save.
TEST(SaveFailures, TheDataAreSyncedBeforeTheRenameAndAFailedSyncFailsTheSave) {
  TempDir dir;
  TDataImage grey;
  NoiseImage(grey, 40);
  const TFastBMP picture = Pattern(40, 40, 5);
  const std::vector<TNamedWriter> writers = Writers(grey, picture);
  struct stat folder {};
  ASSERT_EQ(::stat(dir.Path.c_str(), &folder), 0);
  struct TCase {
    const char* What;
    int FileErrno, FolderErrno;
    const char* Reason;  // empty: saved
    bool Replaced;       // the new file holds the name afterwards
  };
  // Only the folder's sync failing leaves the new file in place, and the
  // message says so rather than that the save failed.
  const TCase cases[] = {
      {"both synced", 0, 0, "", true},
      {"the file's sync fails", EIO, 0, "Input/output error", false},
      {"the disk fills at the sync", ENOSPC, 0, "No space left on device", false},
      {"the folder's sync fails", 0, EIO, "Input/output error", true},
      {"a file system that cannot sync", EINVAL, EINVAL, "", true},
  };
  int failed = 0, kept = 0;
  for (const TNamedWriter& w : writers) {
    for (const TCase& c : cases) {
      SCOPED_TRACE(std::string(w.Extension) + ": " + c.What);
      const std::string file = dir / (std::string("old") + w.Extension);
      WriteBytes(file, {1, 2, 3});
      std::string text;
      std::vector<savefaults::SyncWatch::TSync> log;
      {
        savefaults::SyncWatch watch(c.FileErrno, c.FolderErrno);
        text = w.Write(file);
        log = savefaults::SyncWatch::Log();
      }
      const std::string first = c.Replaced ? std::string(msgFolderNotSynced) : SaveText(w.Extension);
      EXPECT_EQ(text, *c.Reason ? first + "\n" + c.Reason : std::string());
      failed += !text.empty();
      const Bytes now = ReadBytes(file);
      if (c.Replaced) {
        EXPECT_GT(now.size(), 3u);
      } else {
        EXPECT_EQ(now, (Bytes{1, 2, 3}));
        kept += now == Bytes{1, 2, 3};
      }
      // The file synced is the one that took the name; no rename, no folder sync.
      struct stat target {};
      ASSERT_EQ(::stat(file.c_str(), &target), 0);
      ASSERT_EQ(log.size(), c.Replaced ? 2u : 1u);
      EXPECT_FALSE(log[0].Folder);
      EXPECT_EQ(log[0].Inode == target.st_ino, c.Replaced);
      if (c.Replaced) {
        EXPECT_TRUE(log[1].Folder);
        EXPECT_EQ(log[1].Inode, folder.st_ino);
      }
    }
  }
  std::printf("[ figures  ] %zu saves, syncs failing or not: %d failed, %d of them before the rename with the old "
              "file kept\n",
              std::size(cases) * writers.size(), failed, kept);
  // No temporary is left by any of them.
  EXPECT_EQ(EntryCount(dir.Path), writers.size());
}

// The tests run as root, for whom a file is write-protected only when no one
// may write it; for an ordinary user it is one that user may not write. That
// branch runs in a child process that has become nobody (65534).
TEST(SaveFailures, AnOrdinaryUserDoesNotReplaceAFileHeMayNotWrite) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can become nobody";
  constexpr uid_t kNobody = 65534;
  TempDir dir;
  ASSERT_EQ(::chmod(dir.Path.c_str(), 0755), 0);
  const std::string folder = dir / "nobody";
  ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  ASSERT_EQ(::chown(folder.c_str(), kNobody, kNobody), 0);
  TDataImage grey;
  NoiseImage(grey, 8);
  const TFastBMP picture = Pattern(8, 8, 3);
  const std::vector<TNamedWriter> writers = Writers(grey, picture);
  struct TCase {
    const char* Name;  // each writer's extension follows
    uid_t Owner;
    gid_t Group;
    mode_t Mode;
    bool Refused;
  };
  // The folder is nobody's, so a rename over any of them would go through.
  const TCase cases[] = {
      {"own", kNobody, kNobody, 0644, false},
      {"own-readonly", kNobody, kNobody, 0444, true},
      {"roots", 0, 0, 0644, true},
      {"roots-for-all", 0, 0, 0666, false},
      {"roots-for-the-group", 0, kNobody, 0664, false},
  };
  const Bytes old{4, 5, 6};
  for (const TNamedWriter& w : writers)
    for (const TCase& c : cases) {
      const std::string name = folder + "/" + c.Name + w.Extension;
      WriteBytes(name, old);
      ASSERT_EQ(::chown(name.c_str(), c.Owner, c.Group), 0);
      ASSERT_EQ(::chmod(name.c_str(), c.Mode), 0);
    }
  int channel[2];
  ASSERT_EQ(::pipe(channel), 0);
  std::fflush(nullptr);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(channel[0]);
    if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) _exit(2);
    // One line a save: its message, its line breaks as '|'.
    for (const TNamedWriter& w : writers)
      for (const TCase& c : cases) {
        std::string text = w.Write(folder + "/" + c.Name + w.Extension);
        std::replace(text.begin(), text.end(), '\n', '|');
        text += '\n';
        if (::write(channel[1], text.data(), text.size()) != ssize_t(text.size())) _exit(3);
      }
    _exit(0);
  }
  ::close(channel[1]);
  std::string lines;
  char buffer[4096];
  for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;) lines.append(buffer, std::size_t(n));
  ::close(channel[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child could not become nobody or report";
  std::size_t at = 0;
  int refused = 0;
  for (const TNamedWriter& w : writers)
    for (const TCase& c : cases) {
      const std::string name = folder + "/" + c.Name + w.Extension;
      SCOPED_TRACE(name);
      const std::size_t end = lines.find('\n', at);
      ASSERT_NE(end, std::string::npos);
      const std::string text = lines.substr(at, end - at);
      at = end + 1;
      struct stat st {};
      ASSERT_EQ(::stat(name.c_str(), &st), 0);
      if (c.Refused) {
        EXPECT_EQ(text, SaveText(w.Extension) + "|The file \"" + name + "\" is write-protected");
        EXPECT_EQ(ReadBytes(name), old);
        EXPECT_EQ(st.st_uid, c.Owner);
        EXPECT_EQ(st.st_mode & 07777, c.Mode);
        ++refused;
      } else {
        EXPECT_EQ(text, "");
        EXPECT_GT(ReadBytes(name).size(), old.size());
      }
    }
  std::printf("[ figures  ] %zu saves as nobody: %d onto files the user may not write, all refused\n",
              std::size(cases) * writers.size(), refused);
  // Nothing left beside them.
  EXPECT_EQ(EntryCount(folder), std::size(cases) * writers.size());
}
