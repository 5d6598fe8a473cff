// The settings file when it is not what the program writes (a named pipe, a
// device, a link to one, a file far too large) and when storing fails (a full
// disk, no memory left): the program starts on its defaults or goes on, the
// file is left as it was, and the user is told once.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QSysInfo>
#include <QTemporaryDir>
#include <atomic>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <thread>
#include <vector>

#include "AllocationFaults.h"
#include "RegistryTestUtil.h"
#include "platform/MessageBox.h"
#include "platform/Registry.h"
#include "platform/SafeFileWriter.h"
#include "support/PipeWatchdog.h"
#include "support/RunAgain.h"

namespace {
// A named pipe that pours settings lines into whoever opens it, up to Budget
// bytes in all, and after that only ends each read: a stand-in, with an end,
// for a device that never ends (which a test never opens).
class TEndlessPipe {
 public:
  TEndlessPipe(std::string Path, long long Budget) : FPath(std::move(Path)) {
    FMade = ::mkfifo(FPath.c_str(), 0600) == 0;
    FOldPipe = std::signal(SIGPIPE, SIG_IGN);
    FThread = std::thread([this, Budget] {
      const std::string line = "[HKEY_CURRENT_USER]\nx=sz:1\n";
      while (!FDone) {
        const int fd = ::open(FPath.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {  // no reader yet
          std::this_thread::sleep_for(std::chrono::milliseconds(2));
          continue;
        }
        while (!FDone && FPoured < Budget) {
          pollfd p{fd, POLLOUT, 0};
          if (::poll(&p, 1, 20) <= 0) continue;
          const ssize_t n = ::write(fd, line.data(), line.size());
          if (n < 0 && errno == EAGAIN) continue;
          if (n <= 0) break;
          FPoured += n;
        }
        ::close(fd);
      }
    });
  }
  ~TEndlessPipe() {
    FDone = true;
    FThread.join();
    std::signal(SIGPIPE, FOldPipe);
    ::unlink(FPath.c_str());
  }
  TEndlessPipe(const TEndlessPipe&) = delete;
  TEndlessPipe& operator=(const TEndlessPipe&) = delete;
  bool Made() const { return FMade; }
  long long Poured() const { return FPoured; }

 private:
  std::string FPath;
  bool FMade = false;
  std::atomic<bool> FDone{false};
  std::atomic<long long> FPoured{0};
  void (*FOldPipe)(int) = SIG_DFL;
  std::thread FThread;
};

// What a name is, as far as anyone could have changed it.
struct TFootprint {
  std::map<std::string, std::string> Entries;  // every name in the folder: kind, size, times, target
  bool operator==(const TFootprint&) const = default;
};

TFootprint Footprint(const std::string& Folder) {
  TFootprint f;
  for (const auto& e : std::filesystem::directory_iterator(Folder)) {
    struct stat st {};
    ::lstat(e.path().c_str(), &st);
    std::string what = std::to_string(st.st_mode) + " " + std::to_string(st.st_ino) + " " +
                       std::to_string(st.st_rdev) + " " + std::to_string(st.st_size) + " " +
                       std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
    if (S_ISLNK(st.st_mode)) what += " -> " + std::filesystem::read_symlink(e.path()).string();
    f.Entries[e.path().filename().string()] = what;
  }
  return f;
}

// Tells whether anyone has opened a name (or what a link names) since the
// watch began: a pipe a writer waits on, a device, a file that must not be read.
class TOpenWatch {
 public:
  explicit TOpenWatch(const std::string& Name) : Fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    Watching = Fd >= 0 && ::inotify_add_watch(Fd, Name.c_str(), IN_OPEN) >= 0;
  }
  ~TOpenWatch() {
    if (Fd >= 0) ::close(Fd);
  }
  TOpenWatch(const TOpenWatch&) = delete;
  TOpenWatch& operator=(const TOpenWatch&) = delete;
  bool Watching = false;
  bool Opened() const {
    alignas(inotify_event) char events[4096];
    return ::read(Fd, events, sizeof events) > 0;
  }

 private:
  int Fd;
};

// The private nodes are numbered as /dev/null (which is never opened);
// where they cannot be made here, their rows are skipped and said.
bool CanMakeDevices(const std::string& Folder) {
  const bool made = ::mknod((Folder + "/probe").c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0;
  ::unlink((Folder + "/probe").c_str());
  return made;
}

const char* const kSmallStore = "[HKEY_CURRENT_USER]\n.key=1\n";
void WriteSmallStore(const std::string& Name) {
  QFile f(QString::fromStdString(Name));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(kSmallStore);
}

// Runs the test again without root's right to read and write any file.
constexpr const char* kAsUser = "CORVELLE_TEST_AS_USER";
int RunAgainAsUser() { return RunThisTestAgain(kAsUser, "1", 120, DropFileRights); }
}  // namespace

// A settings file that is not a regular file, or is far larger than any the
// program writes, is neither read nor replaced: the run starts on the
// defaults, its values live as long as the run, the user is told once, and
// the thing keeps its kind, its times and its place, with nothing beside it.
TEST(RegistryStoreKinds, WhatIsNotASettingsFileIsLeftAloneAndTheDefaultsStart) {
  TBoxes boxes;
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::string folder = dir.path().toStdString();
  const bool devices = CanMakeDevices(folder);
  const long long endless = 3 * TRegistry::LargestStore;
  const struct {
    const char* What;
    bool Device;
    bool LeftAlone;
    std::function<void(const std::string& Where, const std::string& Name)> Make;
    bool NotRoot = false;  // holds only without root's right to read any file
    const char* Within = nullptr;  // the settings file's folder in the test's one
  } cases[] = {
      {"a named pipe", false, true, [](const std::string&, const std::string& N) { ::mkfifo(N.c_str(), 0600); }},
      {"a device", true, true,
       [](const std::string&, const std::string& N) { ::mknod(N.c_str(), S_IFCHR | 0600, makedev(1, 3)); }},
      {"a link to a device", true, true,
       [](const std::string& W, const std::string& N) {
         ::mknod((W + "/node").c_str(), S_IFCHR | 0600, makedev(1, 3));
         std::filesystem::create_symlink(W + "/node", N);
       }},
      {"a link to a pipe that never ends", false, true,
       [](const std::string& W, const std::string& N) { std::filesystem::create_symlink(W + "/stream", N); }},
      {"a folder", false, true, [](const std::string&, const std::string& N) { std::filesystem::create_directory(N); }},
      {"a settings file its user may not read", false, true,
       [](const std::string&, const std::string& N) {
         QFile f(QString::fromStdString(N));
         ASSERT_TRUE(f.open(QIODevice::WriteOnly));
         f.write("[HKEY_CURRENT_USER]\n.key=1\n");
         f.close();
         ::chmod(N.c_str(), 0200);
       },
       true},
      // A folder on the way to the file that may not be searched: the file
      // cannot even be looked at.
      {"a settings folder its user may not search", false, true,
       [](const std::string& W, const std::string& N) {
         WriteSmallStore(N);
         ::chmod((W + "/settings").c_str(), 0600);
       },
       true, "settings"},
      {"another user's private settings folder", false, true,
       [](const std::string& W, const std::string& N) {
         WriteSmallStore(N);
         ::chown(N.c_str(), 65534, 65534);
         ::chown((W + "/settings").c_str(), 65534, 65534);
       },
       true, "settings"},
      {"a file four times the largest read", false, true,
       [](const std::string&, const std::string& N) {
         const int fd = ::open(N.c_str(), O_WRONLY | O_CREAT, 0600);
         const bool sized = fd >= 0 && ::ftruncate(fd, 4 * TRegistry::LargestStore) == 0;
         if (fd >= 0) ::close(fd);
         ASSERT_TRUE(sized);
       }},
      // What the program may read: a link to its own kind of file, which a
      // store writes through, and a file of the largest size read.
      {"a link to a settings file", false, false,
       [](const std::string& W, const std::string& N) {
         QFile f(QString::fromStdString(W + "/real.ini"));
         ASSERT_TRUE(f.open(QIODevice::WriteOnly));
         f.write("[HKEY_CURRENT_USER]\n.key=1\n");
         f.close();
         std::filesystem::create_symlink(W + "/real.ini", N);
       }},
      {"a file of the largest size read", false, false,
       [](const std::string&, const std::string& N) {
         QFile f(QString::fromStdString(N));
         ASSERT_TRUE(f.open(QIODevice::WriteOnly));
         QByteArray text("[HKEY_CURRENT_USER]\n.key=1\n");
         text.append(QByteArray(TRegistry::LargestStore - text.size() - 1, ';')).append('\n');
         f.write(text);
       }},
  };
  const bool asUser = std::getenv(kAsUser) != nullptr;
  const bool root = ::geteuid() == 0;
  if (root && !asUser) {
    const int code = RunAgainAsUser();
    EXPECT_EQ(code, 0) << "the rows without root's rights";
  }
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    if (asUser != c.NotRoot && (root || asUser)) continue;
    if (c.Device && !devices) {
      std::printf("[ figures  ] %s: not made here (no right to make devices)\n", c.What);
      continue;
    }
    if (std::string(c.What).rfind("another user's", 0) == 0 && !root) {
      std::printf("[ figures  ] %s: not made here (no right to give a folder away)\n", c.What);
      continue;
    }
    QTemporaryDir where;
    const std::string folderOf = where.path().toStdString();
    const std::string name = folderOf + (c.Within ? "/" + std::string(c.Within) : "") + "/registry.ini";
    if (c.Within) ::mkdir((folderOf + "/" + c.Within).c_str(), 0700);
    // A pipe is opened only by a reader that waits for a writer: the watchdog
    // comes as that writer after 20 s, so code that would wait ends.
    std::optional<TPipeWatchdog> watch;
    if (std::string(c.What) == "a named pipe") {
      watch.emplace(name, 20);
      ASSERT_TRUE(watch->Made());
    } else {
      c.Make(folderOf, name);
    }
    std::optional<TEndlessPipe> stream;
    if (std::string(c.What).find("never ends") != std::string::npos) {
      stream.emplace(folderOf + "/stream", endless);
      ASSERT_TRUE(stream->Made());
    }
    const TFootprint before = Footprint(folderOf);
    const TOpenWatch opens(name);
    TRegistry::SetStorageFile(QString::fromStdString(name));
    boxes.Texts.clear();
    QElapsedTimer clock;
    clock.start();
    qint64 startMs = 0;
    {
      // The start: the defaults, a value set during the run, then the exit.
      TRegistry reg;
      startMs = clock.elapsed();
      EXPECT_FALSE(reg.OpenKey(kKeyA, false));
      ASSERT_TRUE(reg.OpenKey(kKeyA, true));
      reg.WriteInteger(QStringLiteral("SavePrompt"), 0);
    }
    {
      // Another look later in the same run sees it, and nothing more is said.
      TRegistry reg;
      ASSERT_TRUE(reg.OpenKey(kKeyA, false));
      EXPECT_EQ(reg.ReadInteger(QStringLiteral("SavePrompt")), 0);
    }
    if (watch) {
      EXPECT_FALSE(watch->Done()) << "the start waited on the pipe";
    }
    if (stream) {
      EXPECT_EQ(stream->Poured(), 0) << "the endless stream was read";
    }
    if (c.LeftAlone) {
      EXPECT_EQ(boxes.Texts.size(), 1u);
      const QString kind = c.NotRoot ? QStringLiteral("could not be read (Permission denied). It has been left as it is")
                           : std::string(c.What).find("file") != std::string::npos
                               ? QStringLiteral("is far larger than any settings file Corvelle Image writes")
                               : QStringLiteral("is not a regular file");
      for (const QString& text : boxes.Texts)
        EXPECT_TRUE(text.startsWith(QStringLiteral("The settings file %1 %2").arg(QString::fromStdString(name), kind)))
            << text.toStdString();
      // Nothing was written through it or beside it, nor was it moved, nor
      // even opened.
      EXPECT_EQ(Footprint(folderOf).Entries, before.Entries);
      if (c.Within) {
        // Its own again, for a look inside, and so that it can be removed.
        const std::string within = folderOf + "/" + c.Within;
        ::chown(within.c_str(), ::getuid(), ::getgid());
        ::chmod(within.c_str(), 0700);
        EXPECT_EQ(ReadAll(QString::fromStdString(name)), QByteArray(kSmallStore));
        EXPECT_EQ(Besides(QString::fromStdString(within)), QStringList());
      }
      if (opens.Watching) {
        EXPECT_FALSE(opens.Opened()) << "it was opened";
      } else if (!c.NotRoot) {  // what its user may not read cannot be watched either
        ADD_FAILURE() << "the opens cannot be watched";
      }
    } else {
      EXPECT_TRUE(boxes.Texts.empty());
      // Read and written: what the run set is there the next run.
      QSettings stored(QString::fromStdString(name), QSettings::IniFormat);
      EXPECT_EQ(stored.value(QStringLiteral("HKEY_CURRENT_USER/Software/Quorvath/Corvelle Image/2.0ZUL/Application/"
                                            "SavePrompt")),
                QStringLiteral("dword:0"));
      EXPECT_TRUE(std::filesystem::is_symlink(name) == (std::string(c.What).find("link") != std::string::npos));
    }
    std::printf("[ figures  ] %s: start %lld ms, %s, %zu box(es)\n", c.What, (long long)startMs,
                c.LeftAlone ? "defaults, left untouched" : "read and stored", boxes.Texts.size());
  }
  TRegistry::SetStorageFile(QString());
}

namespace {
// A run of the program that stores settings: a value of Size characters.
void StoreValue(int Size, char Fill) {
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(kKeyA, true));
  reg.WriteString(QStringLiteral("ImageDir"), QString(Size, QLatin1Char(Fill)));
}

// A run that changes many settings in one store: Count values of Size
// characters.
void StoreMany(int Count, int Size, char Fill) {
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(QStringLiteral("\\%1\\Filters\\K").arg(kKeyA), true));
  for (int i = 0; i < Count; ++i) reg.WriteString(QStringLiteral("V%1").arg(i), QString(Size, QLatin1Char(Fill)));
}

QString StoredValue() {
  TRegistry reg;
  if (!reg.OpenKey(kKeyA, false)) return QStringLiteral("(no key)");
  return reg.ReadString(QStringLiteral("ImageDir"));
}

constexpr const char* kAllocationFaults = "CORVELLE_TEST_ALLOCATION_FAULTS";

}  // namespace

// Storing settings that fails keeps the old file byte for byte and is said
// once (in a box, or on one line of the error stream when not even a box can
// be made), and the program goes on; a store that goes through again ends the
// failures, so the next one is said again.
TEST(RegistryStoreFailures, AFailedStoreKeepsTheOldFileAndIsSaid) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString file = dir.filePath(QStringLiteral("registry.ini"));
  TRegistry::SetStorageFile(file);
  TBoxes boxes;
  const QString said = QStringLiteral("The settings could not be stored (%2). The settings file %1 has been left as it "
                                      "was.")
                           .arg(file);
  auto alone = [&] {
    return QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot) ==
           QStringList{QStringLiteral("registry.ini")};
  };
  if (!std::getenv(kAllocationFaults)) {
    // A disk with no room left: no file this process writes may grow at all
    // (SIGXFSZ is ignored, as the program's writers ignore it).
    StoreValue(10, 'a');
    const QByteArray old = ReadAll(file);
    rlimit previous{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
    void (*oldSignal)(int) = std::signal(SIGXFSZ, SIG_IGN);
    rlimit cap = previous;
    cap.rlim_cur = 0;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &cap), 0);
    StoreValue(8000, 'b');
    StoreValue(8000, 'c');  // the same run of failures: not said again
    setrlimit(RLIMIT_FSIZE, &previous);
    EXPECT_EQ(ReadAll(file), old);
    EXPECT_TRUE(alone());
    EXPECT_EQ(boxes.Texts, std::vector<QString>{said.arg(QStringLiteral("the file could not be written"))});
    // Stored once there is room (what the run set is still to be stored);
    // a later failure is said again.
    StoreValue(20, 'd');
    EXPECT_EQ(StoredValue(), QString(20, QLatin1Char('d')));
    const QByteArray stored = ReadAll(file);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &cap), 0);
    StoreValue(8000, 'e');
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, oldSignal);
    EXPECT_EQ(boxes.Texts.size(), 2u);
    EXPECT_EQ(ReadAll(file), stored);
    // A folder that cannot be synced once the new file has taken the name:
    // the new file is in place, and that is what is said.
    StoreValue(21, 'd');
    boxes.Texts.clear();
    const TSafeFileWriter::TSyncCall sync = TSafeFileWriter::SetSyncCall([](int Fd) {
      struct stat st {};
      if (::fstat(Fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        errno = EIO;
        return -1;
      }
      return ::fsync(Fd);
    });
    StoreValue(40, 'i');
    TSafeFileWriter::SetSyncCall(sync);
    EXPECT_EQ(StoredValue(), QString(40, QLatin1Char('i')));
    EXPECT_EQ(boxes.Texts, std::vector<QString>{QStringLiteral("The settings have been stored in %1, but the folder it "
                                                               "is in could not be synced to the disk (%2).")
                                                    .arg(file, QString::fromLocal8Bit(std::strerror(EIO)))});
    // Something else takes the file's name while the new file is written,
    // here a named pipe: the store fails in words, and the pipe stays.
    StoreValue(13, 'k');
    boxes.Texts.clear();
    static std::string pipeAt;
    pipeAt = file.toStdString();
    const TSafeFileWriter::TSyncCall fsyncBefore = TSafeFileWriter::SetSyncCall([](int Fd) {
      char target[4096] = {};
      const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(Fd)).c_str(), target, sizeof target - 1);
      struct stat st {};
      if (n > 0 && std::string(target).find("/.registry.ini.saving.") != std::string::npos &&
          ::lstat(pipeAt.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        ::unlink(pipeAt.c_str());
        ::mkfifo(pipeAt.c_str(), 0600);
      }
      return ::fsync(Fd);
    });
    StoreValue(41, 'p');
    TSafeFileWriter::SetSyncCall(fsyncBefore);
    struct stat st {};
    EXPECT_TRUE(::lstat(pipeAt.c_str(), &st) == 0 && S_ISFIFO(st.st_mode)) << "the pipe was replaced";
    EXPECT_EQ(boxes.Texts, std::vector<QString>{said.arg(QStringLiteral("Not a regular file"))});
    ::unlink(pipeAt.c_str());
    StoreValue(12, 'j');
    EXPECT_EQ(StoredValue(), QString(12, QLatin1Char('j')));
    // Memory that has run out, in a process of its own: an allocation that
    // fails on the way may leave blocks unfreed there.
    const int code = RunThisTestAgain(kAllocationFaults, "1", 300);
    EXPECT_EQ(code, 0) << (code >= 100 ? "the store ended the program by a signal" : "");
    TRegistry::SetStorageFile(QString());
    return;
  }
  // The store starts when memory has run out: every allocation fails from
  // its first on. Where the box can still be shown (here: its recorder needs
  // no memory of its own) it says so; where not even that can be made, one
  // line goes to the error stream instead.
  const QString errors = QDir(dir.path()).filePath(QStringLiteral("../registry-faults-stderr.txt"));
  for (const bool box : {true, false}) {
    SCOPED_TRACE(box ? "a box can be shown" : "not even a box can be made");
    StoreValue(10, 'a');
    const QByteArray old = ReadAll(file);
    std::vector<QString>().swap(boxes.Texts);
    if (box) boxes.Texts.reserve(4);
    std::fflush(stderr);
    const int saved = ::dup(2);
    const int out = ::open(errors.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(out, 0);
    ::dup2(out, 2);
    long failed = 0;
    {
      auto reg = std::make_unique<TRegistry>();
      ASSERT_TRUE(reg->OpenKey(kKeyA, false));
      reg->WriteString(QStringLiteral("ImageDir"), QString(300, QLatin1Char('f')));
      allocfaults::Arm(1, true);
      reg.reset();
      failed = allocfaults::Disarm();
    }
    std::fflush(stderr);
    ::dup2(saved, 2);
    ::close(saved);
    ::close(out);
    EXPECT_GE(failed, 1);
    EXPECT_EQ(ReadAll(file), old);
    EXPECT_TRUE(alone());
    if (box) {
      EXPECT_EQ(boxes.Texts, std::vector<QString>{said.arg(QStringLiteral("Out of memory"))});
      EXPECT_EQ(ReadAll(errors), QByteArray());
    } else {
      EXPECT_TRUE(boxes.Texts.empty());
      EXPECT_EQ(ReadAll(errors),
                QByteArray("The settings could not be stored; the settings file has been left as it was.\n"));
    }
    // The program goes on, and its next store goes through.
    StoreValue(12, 'h');
    EXPECT_EQ(StoredValue(), QString(12, QLatin1Char('h')));
  }
  QFile::remove(errors);
  // Memory that runs out by size at a store's start, swept from none to more
  // than a store takes: the store goes through, or fails at its first
  // allocation (the room it keeps for the toolkit), never in the middle.
  StoreMany(41, 61, 'o');
  for (const long budget : {0L, 97L, 1001L, 4097L, 10001L, 30001L, 65535L, 65537L, 70001L, 80001L, 90001L, 300001L}) {
    SCOPED_TRACE(budget);
    const QByteArray old = ReadAll(file);
    const QString value(int(100 + budget % 89), QLatin1Char('g'));
    long failed = 0, first = 0;
    {
      auto reg = std::make_unique<TRegistry>();
      ASSERT_TRUE(reg->OpenKey(kKeyA, false));
      reg->WriteString(QStringLiteral("ImageDir"), value);
      allocfaults::ArmBudget(budget);
      reg.reset();
      failed = allocfaults::Disarm();
      first = allocfaults::FirstFailed();
    }
    EXPECT_LE(first, 1) << "allocation " << first << " of the store failed";
    if (failed) {
      EXPECT_EQ(ReadAll(file), old);
    } else {
      EXPECT_EQ(StoredValue(), value);
    }
    std::printf("[ figures  ] %ld bytes left: %ld allocation(s) failed, the first %ld\n", budget, failed, first);
    StoreValue(12, 'h');
  }
  TRegistry::SetStorageFile(QString());
}

namespace {
constexpr const char* kSizeLimits = "CORVELLE_TEST_SIZE_LIMITS";

// Every key of a settings file with its value.
std::map<QString, QString> Values(const QString& File) {
  const QSettings stored(File, QSettings::IniFormat);
  std::map<QString, QString> values;
  for (const QString& key : stored.allKeys()) values[key] = stored.value(key).toString();
  return values;
}

}  // namespace

// Under a file-size limit a store puts the whole new file in place or leaves
// the old one byte for byte and says so; a start that cannot even take in
// the file says so and keeps it. Never a cut file, never without a word.
TEST(RegistryStoreFailures, UnderAFileSizeLimitTheFileIsStoredWholeOrLeftAsItWas) {
  if (!std::getenv(kSizeLimits)) {
    // In a process of its own: a limit holds for every file a process writes.
    EXPECT_EQ(RunThisTestAgain(kSizeLimits, "1", 300), 0);
    return;
  }
  std::signal(SIGXFSZ, SIG_IGN);
  TBoxes boxes;
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  // The old file and, stored without a limit, the new one; then the file of
  // the run's last stores, which a store without the limit puts in place
  // after a refused one.
  auto run = [](const QString& File, int Changes) {
    TRegistry::SetStorageFile(File);
    StoreMany(41, 61, 'o');
    if (Changes > 0) StoreMany(47, 151, 'n');
    if (Changes > 1) {
      StoreMany(3, 151, 'm');
      StoreMany(1, 10, 'x');
    }
  };
  const QString reference = dir.filePath(QStringLiteral("reference/registry.ini"));
  run(reference, 1);
  const QByteArray fresh = ReadAll(reference);
  const QString last = dir.filePath(QStringLiteral("last/registry.ini"));
  run(last, 2);
  run(dir.filePath(QStringLiteral("old/registry.ini")), 0);
  const QByteArray old = ReadAll(dir.filePath(QStringLiteral("old/registry.ini")));
  ASSERT_GT(old.size(), 2048);
  ASSERT_GT(fresh.size(), old.size() + 2048);
  ASSERT_TRUE(boxes.Texts.empty());
  enum TOutcome { SaidAtStart, SaidAtStore, Stored };
  const struct {
    const char* What;
    qint64 Limit;
    TOutcome Outcome;
  } cases[] = {
      {"no room at all", 0, SaidAtStart},
      {"a fifth of the old file", old.size() / 5, SaidAtStart},
      {"one byte short of the old file", old.size() - 1, SaidAtStart},
      {"just after a line of the old file", old.indexOf('\n', old.size() / 2) + 1, SaidAtStart},
      {"the old file exactly", old.size(), SaidAtStore},
      {"midway", (old.size() + fresh.size()) / 2 + 1, SaidAtStore},
      // A copy cut there would end with a whole line.
      {"just after a line of the new file", fresh.indexOf('\n', (old.size() + fresh.size()) / 2) + 1, SaidAtStore},
      {"one byte short of the new file", fresh.size() - 1, SaidAtStore},
      {"the new file exactly", fresh.size(), Stored},
      {"16 KiB", 16 << 10, Stored},
  };
  rlimit previous{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    QTemporaryDir where;
    const QString file = where.filePath(QStringLiteral("registry.ini"));
    ASSERT_TRUE(QFile::copy(dir.filePath(QStringLiteral("old/registry.ini")), file));
    boxes.Texts.clear();
    rlimit cap = previous;
    cap.rlim_cur = rlim_t(c.Limit);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &cap), 0);
    TRegistry::SetStorageFile(file);
    std::optional<TRegistry> start;
    start.emplace();
    const size_t saidAtStart = boxes.Texts.size();
    start.reset();
    StoreMany(47, 151, 'n');
    // The same run of failures is said once.
    StoreMany(3, 151, 'm');
    setrlimit(RLIMIT_FSIZE, &previous);
    const QByteArray after = ReadAll(file);
    if (c.Outcome == Stored) {
      EXPECT_TRUE(boxes.Texts.size() == 0) << boxes.Texts.front().toStdString();
      // What the run stored last is there, and the rest as before it.
      QSettings stored(file, QSettings::IniFormat);
      EXPECT_EQ(stored.value(QStringLiteral("HKEY_CURRENT_USER/Software/Quorvath/Corvelle Image/2.0ZUL/Application/"
                                            "Filters/K/V2")),
                QStringLiteral("sz:") + QString(151, QLatin1Char('m')));
      EXPECT_EQ(stored.allKeys().size(), QSettings(reference, QSettings::IniFormat).allKeys().size());
    } else {
      EXPECT_EQ(after, old);
      ASSERT_EQ(boxes.Texts.size(), 1u);
      EXPECT_EQ(saidAtStart, c.Outcome == SaidAtStart ? 1u : 0u);
      if (c.Outcome == SaidAtStart) {
        // The file can be read, but no copy of it can be written anywhere.
        EXPECT_EQ(boxes.Texts[0],
                  QStringLiteral("Changes made to the settings in this session will not be kept: no working copy of "
                                 "them could be made, neither in the temporary folder %1 (%2) nor beside the "
                                 "settings file %3 (%2).")
                      .arg(QDir::tempPath(), QString::fromLocal8Bit(std::strerror(EFBIG)), file));
        {
          TRegistry reg;
          ASSERT_TRUE(reg.OpenKey(QStringLiteral("\\%1\\Filters\\K").arg(kKeyA), false));
          EXPECT_EQ(reg.ReadString(QStringLiteral("V2")), QString(151, QLatin1Char('m'))) << "the run lost its values";
        }
      } else {
        EXPECT_TRUE(boxes.Texts[0].startsWith(QStringLiteral("The settings could not be stored (")))
            << boxes.Texts[0].toStdString();
      }
      // A store without the limit ends the run of failures, and stores
      // everything the run has set, as a run without the limit does; a run
      // that said it keeps nothing keeps nothing.
      StoreMany(1, 10, 'x');
      if (c.Outcome == SaidAtStart) {
        EXPECT_EQ(ReadAll(file), old);
      } else {
        EXPECT_EQ(Values(file), Values(last));
      }
      EXPECT_EQ(boxes.Texts.size(), 1u);
    }
    EXPECT_EQ(Besides(where.path()), QStringList());
    std::printf("[ figures  ] limit %lld bytes (old %lld, new %lld): %s, %zu box(es)\n", (long long)c.Limit,
                (long long)old.size(), (long long)fresh.size(), after == old ? "old file kept" : "stored",
                boxes.Texts.size());
  }
  TRegistry::SetStorageFile(QString());
}

namespace {
constexpr const char* kLockKinds = "CORVELLE_TEST_LOCK_KINDS";
}

// The lock file beside the settings: a store takes only a regular file of
// that name. Anything else fails the store at once, said once, with the
// thing left as it was and never opened; a lock whose program has ended is
// taken over; one held by a live program fails the store after a few seconds.
TEST(RegistryStoreLocks, OnlyARegularLockFileIsTakenAndNoStoreWaitsWithoutEnd) {
  if (!std::getenv(kLockKinds)) {
    // In a process of its own, which is ended when a store waits without end.
    const int code = RunThisTestAgain(kLockKinds, "1", 120);
    EXPECT_EQ(code, 0) << (code == -1 ? "a store waited without end" : "");
    return;
  }
  TBoxes boxes;
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const bool devices = CanMakeDevices(dir.path().toStdString());
  const bool root = ::geteuid() == 0;
  // A process id that has ended.
  const pid_t ended = ::fork();
  if (ended == 0) _exit(0);
  ::waitpid(ended, nullptr, 0);
  auto lockFile = [](const std::string& N, long long Pid, const QByteArray& Host = QSysInfo::machineHostName().toUtf8()) {
    QFile f(QString::fromStdString(N));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray::number(Pid) + "\ncorvelle-image\n" + Host + "\n");
  };
  const struct {
    const char* What;
    bool Stored;
    std::function<void(const std::string& Lock)> Make;
    bool Skip = false;
    bool Held = false;  // by a program that may end: waited on, once
  } cases[] = {
      {"a named pipe", false, [](const std::string& L) { ::mkfifo(L.c_str(), 0600); }},
      {"a folder", false, [](const std::string& L) { ::mkdir(L.c_str(), 0700); }},
      {"a link to a named pipe", false,
       [](const std::string& L) {
         ::mkfifo((L + ".pipe").c_str(), 0600);
         ::symlink((L + ".pipe").c_str(), L.c_str());
       }},
      {"a character device", false, [](const std::string& L) { ::mknod(L.c_str(), S_IFCHR | 0600, makedev(1, 3)); },
       !devices},
      {"a link to another user's regular file", false,
       [&](const std::string& L) {
         lockFile(L + ".other", 1);
         ::chown((L + ".other").c_str(), 65534, 65534);
         ::symlink((L + ".other").c_str(), L.c_str());
       },
       !root},
      {"a lock whose program has ended", true, [&](const std::string& L) { lockFile(L, ended); }},
      {"a lock held by a live program", false, [&](const std::string& L) { lockFile(L, ::getpid()); }, false, true},
      // Whether its program lives cannot be known here, whatever runs here
      // under its number.
      {"a fresh lock of another host", false, [&](const std::string& L) { lockFile(L, ended, "elsewhere.invalid"); },
       false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    if (c.Skip) {
      std::printf("[ figures  ] %s: not made here (no right to make it)\n", c.What);
      continue;
    }
    QTemporaryDir where;
    const QString file = where.filePath(QStringLiteral("registry.ini"));
    const std::string lock = file.toStdString() + ".lock";
    TRegistry::SetStorageFile(file);
    StoreValue(10, 'a');
    const QByteArray old = ReadAll(file);
    // A pipe in the lock's place gets a writer after 20 s, so that a store
    // that waits on it ends.
    std::optional<TPipeWatchdog> watch;
    if (std::string(c.What) == "a named pipe")
      watch.emplace(lock, 20);
    else
      c.Make(lock);
    const TFootprint before = Footprint(where.path().toStdString());
    const TOpenWatch opens(lock);
    boxes.Texts.clear();
    QElapsedTimer clock;
    clock.start();
    StoreValue(20, 'b');
    const qint64 ms = clock.elapsed();
    if (c.Stored) {
      EXPECT_TRUE(boxes.Texts.empty());
      EXPECT_EQ(StoredValue(), QString(20, QLatin1Char('b')));
      EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(lock))) << "the lock was left behind";
    } else {
      EXPECT_EQ(ReadAll(file), old);
      EXPECT_EQ(boxes.Texts.size(), 1u);
      for (const QString& text : boxes.Texts)
        EXPECT_TRUE(text.startsWith(QStringLiteral("The settings could not be stored (the lock file %1.lock ").arg(file)))
            << text.toStdString();
      // What cannot go away by waiting fails the store at once; a lock that
      // its program may give up is waited on for a few seconds, once: the
      // next stores fail at once, in the same run of failures.
      EXPECT_LT(ms, c.Held ? 6000 : 1500) << "the store waited";
      if (c.Held) {
        for (const char fill : {'d', 'e'}) {
          clock.restart();
          StoreValue(25, fill);
          EXPECT_LT(clock.elapsed(), 1500) << "the lock was waited on again";
        }
        EXPECT_EQ(ReadAll(file), old);
        EXPECT_EQ(boxes.Texts.size(), 1u);
      }
      // Left as it was, and only a regular file of its own is ever opened.
      EXPECT_EQ(Footprint(where.path().toStdString()).Entries, before.Entries);
      if (!c.Held) {
        EXPECT_FALSE(opens.Opened()) << "it was opened";
      }
      if (watch) {
        EXPECT_FALSE(watch->Done()) << "the store waited on the pipe";
      }
      // The program goes on: with the thing gone, the next store goes through.
      watch.reset();
      std::filesystem::remove_all(lock);
      StoreValue(30, 'c');
      EXPECT_EQ(StoredValue(), QString(30, QLatin1Char('c')));
    }
    EXPECT_EQ(Besides(where.path()).filter(QStringLiteral(".saving.")), QStringList());
    std::printf("[ figures  ] lock file %s: store %s in %lld ms, %zu box(es)\n", c.What,
                c.Stored ? "went through" : "failed", (long long)ms, boxes.Texts.size());
  }
  TRegistry::SetStorageFile(QString());
}
