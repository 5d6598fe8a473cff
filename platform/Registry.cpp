#include "platform/Registry.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QSet>
#include <QSettings>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QSysInfo>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <new>
#include <thread>
#include <utility>
#include <vector>

#include "platform/MessageBox.h"
#include "platform/SafeFileWriter.h"

namespace {

QString& StorageOverride() {
  static QString path;
  return path;
}

// Marks a key as existing, so empty keys survive in the INI file.
const QString kMarker = QStringLiteral(".key");

// Names are stored percent-encoded so that separators in them stay literal.
QString Encode(const QString& Name) {
  QString out;
  for (QChar c : Name) {
    if (c == '%' || c == '/' || c == '\\' || (c == '.' && out.isEmpty())) {
      out += QStringLiteral("%%1").arg(int(c.unicode()), 2, 16, QLatin1Char('0')).toUpper();
    } else {
      out += c;
    }
  }
  return out;
}

QString Decode(const QString& Stored) {
  QString out;
  for (int i = 0; i < Stored.size(); ++i) {
    if (Stored[i] == '%' && i + 2 < Stored.size()) {
      bool ok = false;
      int code = Stored.mid(i + 1, 2).toInt(&ok, 16);
      if (ok) {
        out += QChar(code);
        i += 2;
        continue;
      }
    }
    out += Stored[i];
  }
  return out;
}

QStringList SplitPath(const QString& Path) { return Path.split('\\', Qt::SkipEmptyParts); }

QString ReadErrorText(const QString& Name) { return QStringLiteral("Invalid data type for '%1'").arg(Name); }

// Every name in the path is a name: an empty one would stand for its parent.
bool NamesEveryKey(const QString& Key) {
  const QString path = Key.startsWith('\\') ? Key.mid(1) : Key;
  if (path.isEmpty()) return false;
  for (const QString& name : path.split('\\'))
    if (name.isEmpty()) return false;
  return true;
}

}  // namespace

void TRegistry::SetStorageFile(const QString& Path) { StorageOverride() = Path; }

QString TRegistry::StorageFile() {
  if (!StorageOverride().isEmpty()) return StorageOverride();
  const QByteArray dir = qgetenv("CORVELLE_SETTINGS_DIR");
  if (!dir.isEmpty()) return QDir(QString::fromLocal8Bit(dir)).filePath(QStringLiteral("registry.ini"));
  QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  if (base.isEmpty()) base = QDir::homePath() + QStringLiteral("/.config");
  return base + QStringLiteral("/Quorvath/Corvelle Image/registry.ini");
}

namespace {
constexpr std::size_t kStoreHeadroom = 64 * 1024;
// Where the headroom is shown to be used, so that no compiler leaves it out.
char* volatile HeadroomSeen = nullptr;

enum class TStoreFile { Readable, Unreadable, NotAFile, TooLarge, NoAccess };

QString SystemReason(int Errno) { return QString::fromLocal8Bit(std::strerror(Errno)); }

// The store is text as the program writes it: UTF-8 lines. Anything else
// (UTF-16 or UTF-32, text in another 8-bit encoding, random bytes) would be
// read as something it is not and written back over what it held. A named
// pipe or a device in its place is not opened at all (a pipe would hold the
// start until someone writes to it, a device may never end), nor is a file
// far larger than any store the program writes. What it holds comes back in
// Data; the system's reason when it cannot be read in Reason.
TStoreFile ReadableAsWritten(const QString& File, QByteArray& Data, QString& Reason) {
  Data.clear();
  const QByteArray name = QFile::encodeName(File);
  struct stat st {};
  if (::stat(name.constData(), &st) != 0) {
    if (errno == ENOENT) return TStoreFile::Readable;  // nothing there to lose
    // A folder on the way that may not be searched, say.
    Reason = SystemReason(errno);
    return TStoreFile::NoAccess;
  }
  if (!S_ISREG(st.st_mode)) return TStoreFile::NotAFile;
  if (st.st_size > TRegistry::LargestStore) return TStoreFile::TooLarge;
  // Without waiting: what the name holds may have changed since.
  const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    if (errno == ENOENT) return TStoreFile::Readable;
    Reason = SystemReason(errno);
    return TStoreFile::NoAccess;
  }
  TStoreFile verdict = TStoreFile::Readable;
  QByteArray& data = Data;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    verdict = TStoreFile::NotAFile;
  } else {
    // One byte beyond the limit tells a file that grew past it.
    const qsizetype limit = qsizetype(TRegistry::LargestStore) + 1;
    data.resize(std::min<qsizetype>(qsizetype(st.st_size) + 1, limit));
    qsizetype used = 0;
    for (;;) {
      if (used == data.size()) {
        if (used == limit) break;
        data.resize(std::min<qsizetype>(2 * used, limit));
      }
      const ssize_t n = ::read(fd, data.data() + used, size_t(data.size() - used));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        // Part of a file is not the file.
        Reason = SystemReason(errno);
        verdict = TStoreFile::NoAccess;
      }
      if (n <= 0) break;
      used += n;
    }
    data.truncate(used);
    if (used == limit) verdict = TStoreFile::TooLarge;
  }
  ::close(fd);
  if (verdict != TStoreFile::Readable) {
    Data.clear();
    return verdict;
  }
  if (data.contains('\0')) return TStoreFile::Unreadable;
  QStringDecoder utf8(QStringDecoder::Utf8);
  [[maybe_unused]] const QString text = utf8.decode(data);  // decoding sets the error
  return utf8.hasError() ? TStoreFile::Unreadable : TStoreFile::Readable;
}

// Said in a box, or on one line of the error stream where no box can be made
// (no application object, or not even the memory for a box).
void Say(const std::function<QString()>& Text, const char* Short) noexcept {
  try {
    const QString text = Text();
    if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
      MessageBox::ShowWarning(text);
      return;
    }
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    return;
  } catch (...) {
  }
  std::fprintf(stderr, "%s\n", Short);
}

// The toolkit's settings object never works on the settings file itself: it
// would write it in place whenever it likes, and keeps a cut file as stored.
// It works on a private copy, which a store checks and then puts in place
// whole, as every file is saved. The copy goes in a folder of the run's own in
// the temporary folder or, where that cannot hold it (full, not writable, not
// a folder), beside the settings file; where neither can, the values are kept
// in memory for the run only.
struct TPrivateCopy {
  QString Name;  // empty until the copy has a place
  QByteArray Known;    // what the settings file held when last read or stored
  bool Filled = false;  // the copy started from the settings file
  bool InMemory = false;  // no place could hold it: the run works on a stand-in
  // The copy did not read back whole: the settings object, which holds it
  // whole, must write all of it again.
  bool Damaged = false;
  // The time the copy's last reader saw, to tell it the copy has changed.
  timespec Seen{};
  // Holds what the toolkit has read of the copy for the whole run: a copy cut
  // on the disk is never read back in its place.
  QPointer<QSettings> Keeper;
};

// Where the private folders go, and what their names start with.
QString TemporaryBase() { return QDir::tempPath(); }
const QString kTemporaryPrefix = QStringLiteral("corvelle-settings-copy-");
QString BesideBase(const QString& File) { return QFileInfo(File).absolutePath(); }
QString BesidePrefix(const QString& File) { return QLatin1Char('.') + QFileInfo(File).fileName() + QStringLiteral(".copy-"); }

// Removes what a folder holds (not folders within it).
void EmptyFolder(int Folder) {
  const int listing = ::dup(Folder);
  if (listing < 0) return;
  DIR* d = ::fdopendir(listing);
  if (!d) {
    ::close(listing);
    return;
  }
  std::vector<std::string> names;
  while (const dirent* e = ::readdir(d))
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.emplace_back(e->d_name);
  ::closedir(d);
  for (const std::string& name : names) ::unlinkat(Folder, name.c_str(), 0);
}

bool SameFile(int Fd, int At, const char* Name) {
  struct stat open {}, named {};
  return ::fstat(Fd, &open) == 0 && ::fstatat(At, Name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
         open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

// A folder of the run's own for its copies. The run holds a lock on it while
// it lasts, so that a later start can tell it from the folder of a run that
// a signal ended, which nothing else would ever remove.
class TPrivateFolder {
 public:
  TPrivateFolder() = default;
  ~TPrivateFolder() { Remove(); }
  TPrivateFolder(const TPrivateFolder&) = delete;
  TPrivateFolder& operator=(const TPrivateFolder&) = delete;

  // Makes it in Base; empty when made, else the system's reason.
  QString Make(const QString& Base, const QString& Prefix) {
    int error = 0;
    // A start that takes it for a folder left behind can remove it between
    // its making and its lock: made again then.
    for (int attempt = 0; attempt < 8; ++attempt) {
      QByteArray name = QFile::encodeName(Base + QLatin1Char('/') + Prefix + QStringLiteral("XXXXXX"));
      if (!::mkdtemp(name.data())) return SystemReason(errno);
      const int fd = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (fd < 0) {
        error = errno;
        continue;
      }
      if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && SameFile(fd, AT_FDCWD, name.constData())) {
        Fd = fd;
        Owner = ::getpid();
        Path = QFile::decodeName(name);
        return {};
      }
      error = EAGAIN;
      ::close(fd);
      ::rmdir(name.constData());
    }
    return SystemReason(error);
  }
  bool Made() const { return Fd >= 0; }
  QString FilePath(const QString& Name) const { return Path + QLatin1Char('/') + Name; }
  // Only while it holds nothing.
  void RemoveIfEmpty() {
    if (Made() && ::rmdir(QFile::encodeName(Path).constData()) == 0) Forget();
  }
  // With what it holds; only by the run that made it, not by a copy of the
  // process that a fork made.
  void Remove() {
    if (!Made()) return;
    if (Owner == ::getpid()) {
      const QByteArray name = QFile::encodeName(Path);
      if (SameFile(Fd, AT_FDCWD, name.constData())) {
        EmptyFolder(Fd);
        ::rmdir(name.constData());
      }
    }
    Forget();
  }

 private:
  void Forget() {
    ::close(Fd);
    Fd = -1;
    Path.clear();
  }
  QString Path;
  int Fd = -1;
  pid_t Owner = 0;
};

// Removes the private folders in Base that runs left behind: ours, named as
// we name them, and no longer locked by a run.
void RemoveLeftBehind(const QString& Base, const QString& Prefix) {
  const int base = ::open(QFile::encodeName(Base).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (base < 0) return;
  std::vector<std::string> names;
  const std::string start = QFile::encodeName(Prefix).toStdString();
  if (const int listing = ::dup(base); listing >= 0) {
    if (DIR* d = ::fdopendir(listing)) {
      while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name.size() == start.size() + 6 && name.compare(0, start.size(), start) == 0 &&
            std::all_of(name.begin() + long(start.size()), name.end(), [](char c) { return std::isalnum((unsigned char)c); }))
          names.push_back(name);
      }
      ::closedir(d);
    } else {
      ::close(listing);
    }
  }
  for (const std::string& name : names) {
    struct stat st {};
    if (::fstatat(base, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
      continue;
    const int fd = ::openat(base, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    if (SameFile(fd, base, name.c_str()) && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      EmptyFolder(fd);
      ::unlinkat(base, name.c_str(), AT_REMOVEDIR);
    }
    ::close(fd);
  }
  ::close(base);
}

enum TPlace { Temporary, Beside, Places };

// The run's private folder in a place: one in the temporary folder, one
// beside each settings file. Left-behind folders there are removed first.
TPrivateFolder& FolderFor(TPlace Place, const QString& File) {
  static TPrivateFolder temporary;
  static std::map<QString, TPrivateFolder> beside;
  return Place == Temporary ? temporary : beside[BesideBase(File)];
}

void NoteSeen(TPrivateCopy& Copy) {
  struct stat st {};
  if (::stat(QFile::encodeName(Copy.Name).constData(), &st) == 0 &&
      (st.st_mtim.tv_sec > Copy.Seen.tv_sec ||
       (st.st_mtim.tv_sec == Copy.Seen.tv_sec && st.st_mtim.tv_nsec > Copy.Seen.tv_nsec)))
    Copy.Seen = st.st_mtim;
}

// The copy of a settings file, or the stand-in for one that is left alone
// (what a run sets there never reaches the file). A stand-in is kept in
// memory, by the settings object that holds it for the run: nothing can be
// made under /proc.
TPrivateCopy& PrivateCopyOf(const QString& File, bool StandIn) {
  static std::map<std::pair<QString, bool>, TPrivateCopy> copies;
  auto it = copies.find({File, StandIn});
  if (it == copies.end()) {
    static bool once = false;
    if (!std::exchange(once, true)) RemoveLeftBehind(TemporaryBase(), kTemporaryPrefix);
    if (copies.find({File, !StandIn}) == copies.end()) RemoveLeftBehind(BesideBase(File), BesidePrefix(File));
    it = copies.emplace(std::pair(File, StandIn), TPrivateCopy()).first;
    if (StandIn) it->second.Name = QStringLiteral("/proc/self/corvelle-settings/registry-%1.ini").arg(copies.size());
  }
  return it->second;
}

// Puts Data in the copy at Name; empty when it went through, else why not.
QString WriteCopy(TPrivateCopy& Copy, const QString& Name, const QByteArray& Data) {
  const std::string name = QFile::encodeName(Name).toStdString();
  TSafeFileWriter writer;
  if (!writer.Open(name) || !writer.Write(Data.constData(), std::size_t(Data.size())) || !writer.Commit())
    return QString::fromLocal8Bit(writer.Reason().c_str());
  // The settings object takes a copy with its size and time unchanged for the
  // one it read: a time past the last one it saw makes it read this one.
  Copy.Seen.tv_sec += 1;
  const timespec times[2] = {{0, UTIME_OMIT}, Copy.Seen};
  ::utimensat(AT_FDCWD, name.c_str(), times, 0);
  Copy.Known = Data;
  Copy.Filled = true;
  return {};
}

// Puts Data in the copy where it is, or else in the first place that holds
// it. False when no place does, with each place's reason.
bool FillPrivateCopy(TPrivateCopy& Copy, const QByteArray& Data, const QString& File, QString (&Reasons)[Places]) {
  NoteSeen(Copy);
  QString here;
  if (!Copy.Name.isEmpty()) {
    here = WriteCopy(Copy, Copy.Name, Data);
    if (here.isEmpty()) return true;
  }
  static int made = 0;
  for (const TPlace place : {Temporary, Beside}) {
    TPrivateFolder& folder = FolderFor(place, File);
    if (!Copy.Name.isEmpty() && folder.Made() && Copy.Name.startsWith(folder.FilePath(QString()))) {
      Reasons[place] = here;  // where it is
      continue;
    }
    const bool fresh = !folder.Made();
    if (fresh) {
      Reasons[place] = folder.Make(place == Temporary ? TemporaryBase() : BesideBase(File),
                                   place == Temporary ? kTemporaryPrefix : BesidePrefix(File));
      if (!folder.Made()) continue;
    }
    const QString name = folder.FilePath(QStringLiteral("registry-%1.ini").arg(++made));
    Reasons[place] = WriteCopy(Copy, name, Data);
    if (Reasons[place].isEmpty()) {
      // The copy has moved: a keeper is made for it where it is now.
      delete Copy.Keeper;
      if (!Copy.Name.isEmpty()) ::unlink(QFile::encodeName(Copy.Name).constData());
      Copy.Name = name;
      return true;
    }
    if (fresh) folder.RemoveIfEmpty();
  }
  return false;
}

// The settings object on a copy.
std::unique_ptr<QSettings> OpenCopy(TPrivateCopy& Copy) {
  // The first to read the copy is the one whose status tells how it read.
  auto store = std::make_unique<QSettings>(Copy.Name, QSettings::IniFormat);
  if (!Copy.Keeper) Copy.Keeper = new QSettings(Copy.Name, QSettings::IniFormat, QCoreApplication::instance());
  NoteSeen(Copy);
  return store;
}

// The values of the settings file, read where it is without a copy, into
// Store; false when they cannot all be read as the program writes them. The
// file is read through a descriptor of its own, so that what is read is the
// regular file found there, whatever takes its name meanwhile.
bool ReadInPlace(const QString& File, QSettings& Store) {
  const int fd = ::open(QFile::encodeName(File).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return errno == ENOENT;
  struct stat st {};
  bool read = false;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    const QSettings values(QStringLiteral("/proc/self/fd/%1").arg(fd), QSettings::IniFormat);
    for (const QString& key : values.allKeys()) Store.setValue(key, values.value(key));
    read = values.status() == QSettings::NoError;
  }
  ::close(fd);
  return read;
}

// The copy as written, when it reads back as every key and value the settings
// object holds; empty (with Whole false) when it does not. It is read under a
// name of its own, which the toolkit has never seen and so cannot take for
// one it has read before.
QByteArray ReadBackWhole(const QSettings& Store, const QString& Copy, bool& Whole) {
  Whole = false;
  static int checks = 0;
  const QString check = Copy + QStringLiteral(".check-%1").arg(++checks);
  const QByteArray checkName = QFile::encodeName(check);
  if (::link(QFile::encodeName(Copy).constData(), checkName.constData()) != 0) return {};
  struct TUnlink {
    const QByteArray& Name;
    ~TUnlink() { ::unlink(Name.constData()); }
  } unlink{checkName};
  QFile file(check);
  if (!file.open(QIODevice::ReadOnly)) return {};
  // Every line the toolkit writes ends; a cut that takes only the last end
  // would read back whole.
  const QByteArray data = file.readAll();
  if (data.size() != file.size() || (!data.isEmpty() && !data.endsWith('\n'))) return {};
  const QSettings back(check, QSettings::IniFormat);
  if (back.status() != QSettings::NoError) return {};
  const QStringList keys = Store.allKeys();
  if (back.allKeys() != keys) return {};
  for (const QString& key : keys)
    if (back.value(key) != Store.value(key)) return {};
  Whole = true;
  return data;
}

// The lock beside the settings file, in the toolkit's form (process id,
// program, host), so that runs of the program take turns at storing. Only a
// regular file of that name is taken; anything else (a pipe, a folder, a
// device, a link to anything) fails the store at once and is left as it is,
// since it would not go away by waiting. A lock whose process has ended, or
// that has stood for longer than any store takes, is taken over; one that
// cannot be taken within a few seconds fails the store, and the same lock is
// not waited on twice in a run.
class TStoreLock {
 public:
  explicit TStoreLock(const QString& File);
  ~TStoreLock();
  TStoreLock(const TStoreLock&) = delete;
  TStoreLock& operator=(const TStoreLock&) = delete;
  bool Held() const { return Fd >= 0; }
  const QString& Reason() const { return FReason; }

  static constexpr int WaitMs = 3000;
  static constexpr qint64 StaleMs = 30000;

 private:
  bool Stale(const struct stat& St) const;
  bool TakeOverStale() const;
  QString Native() const { return QDir::toNativeSeparators(QFile::decodeName(Name)); }
  QByteArray Name;
  int Fd = -1;
  QString FReason;
};

struct TLockSeen {
  dev_t Dev = 0;
  ino_t Ino = 0;
  timespec Changed{};
};
bool operator==(const TLockSeen& A, const TLockSeen& B) {
  return A.Dev == B.Dev && A.Ino == B.Ino && A.Changed.tv_sec == B.Changed.tv_sec &&
         A.Changed.tv_nsec == B.Changed.tv_nsec;
}

TStoreLock::TStoreLock(const QString& File) : Name(QFile::encodeName(File + QStringLiteral(".lock"))) {
  static TLockSeen waitedOn;
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    const int fd = ::open(Name.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
                          0644);
    if (fd >= 0) {
      ::flock(fd, LOCK_EX | LOCK_NB);
      const QByteArray what = QByteArray::number(qint64(::getpid())) + '\n' + program_invocation_short_name + '\n' +
                              QSysInfo::machineHostName().toUtf8() + '\n';
      qsizetype done = 0;
      while (done < what.size()) {
        const ssize_t n = ::write(fd, what.constData() + done, size_t(what.size() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
      }
      // Held all the same: what it says only helps to tell a stale lock.
      Fd = fd;
      return;
    }
    if (errno != EEXIST) {
      FReason = QStringLiteral("the lock file %1 could not be made: %2").arg(Native(), SystemReason(errno));
      return;
    }
    struct stat st {};
    if (::lstat(Name.constData(), &st) != 0) {
      if (errno == ENOENT) continue;  // gone meanwhile
      FReason = QStringLiteral("the lock file %1 could not be looked at: %2").arg(Native(), SystemReason(errno));
      return;
    }
    if (!S_ISREG(st.st_mode)) {
      FReason = QStringLiteral("the lock file %1 is not a regular file").arg(Native());
      return;
    }
    const bool stale = Stale(st);
    const bool takenOver = stale && TakeOverStale();
    const TLockSeen seen{st.st_dev, st.st_ino, st.st_mtim};
    if ((!stale && seen == waitedOn) || std::chrono::steady_clock::now() - start > std::chrono::milliseconds(WaitMs)) {
      waitedOn = seen;
      FReason = stale ? QStringLiteral("the lock file %1 could not be taken over").arg(Native())
                      : QStringLiteral("the lock file %1 is held by another program").arg(Native());
      return;
    }
    if (!takenOver) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

TStoreLock::~TStoreLock() {
  if (Fd < 0) return;
  // Ours only while it is still the file we made.
  struct stat mine {}, now {};
  if (::fstat(Fd, &mine) == 0 && ::lstat(Name.constData(), &now) == 0 && mine.st_dev == now.st_dev &&
      mine.st_ino == now.st_ino)
    ::unlink(Name.constData());
  ::close(Fd);
}

bool TStoreLock::Stale(const struct stat& St) const {
  const qint64 age = QDateTime::currentMSecsSinceEpoch() - (qint64(St.st_mtim.tv_sec) * 1000 + St.st_mtim.tv_nsec / 1000000);
  if (std::abs(age) > StaleMs) return true;
  const int fd = ::open(Name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  char text[512];
  ssize_t n = -1;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) n = ::read(fd, text, sizeof text);
  ::close(fd);
  if (n <= 0) return false;
  const QList<QByteArray> lines = QByteArray(text, n).split('\n');
  bool ok = false;
  const qint64 pid = lines.value(0).toLongLong(&ok);
  if (!ok || pid <= 0 || pid > std::numeric_limits<pid_t>::max()) return false;
  const QByteArray host = lines.value(2);
  if (!host.isEmpty() && host != QSysInfo::machineHostName().toUtf8()) return false;
  return ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}

bool TStoreLock::TakeOverStale() const {
  // Only while no one holds it: a program that is taking it over as well, or
  // one that made it a moment ago, holds it locked.
  const int fd = ::open(Name.constData(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  const bool gone = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
                    ::unlink(Name.constData()) == 0;
  ::close(fd);
  return gone;
}
}  // namespace

TRegistry::TRegistry() : File(StorageFile()) {
  QDir().mkpath(QFileInfo(File).absolutePath());
  QByteArray data;
  QString reason;
  switch (ReadableAsWritten(File, data, reason)) {
    case TStoreFile::NotAFile:
    case TStoreFile::TooLarge:
    case TStoreFile::NoAccess: LeaveStoreAlone(reason); return;
    case TStoreFile::Unreadable: SetAsideUnreadableStore(data); return;
    case TStoreFile::Readable: break;
  }
  // The INI reader drops what it cannot parse and the next write would lose
  // it for good.
  if (!WorkOnPrivateCopy(data) || Store->status() == QSettings::FormatError) SetAsideUnreadableStore(data);
}

bool TRegistry::WorkOnPrivateCopy(const QByteArray& Data) {
  TPrivateCopy& copy = PrivateCopyOf(File, false);
  QString reasons[Places];
  if (!copy.InMemory && (!copy.Filled || copy.Known != Data) && !FillPrivateCopy(copy, Data, File, reasons))
    return KeepInMemory(reasons);
  if (copy.InMemory) return KeepInMemory(reasons);
  Store = OpenCopy(copy);
  StandIn = false;
  return true;
}

bool TRegistry::KeepInMemory(const QString (&Reasons)[2]) {
  // The same for the rest of the run, as said.
  PrivateCopyOf(File, false).InMemory = true;
  TPrivateCopy& memory = PrivateCopyOf(File, true);
  Store = OpenCopy(memory);
  StandIn = true;
  bool whole = true;
  if (!memory.Filled) {
    whole = ReadInPlace(File, *Store);
    // Nothing of a file that cannot be read as written, as with a copy.
    if (whole)
      memory.Filled = true;
    else
      Store->clear();
  }
  static QSet<QString> told;
  if (told.contains(File)) return whole;
  told.insert(File);
  Say(
      [&] {
        return QStringLiteral("Changes made to the settings in this session will not be kept: no working copy of "
                              "them could be made, neither in the temporary folder %1 (%2) nor beside the settings "
                              "file %3 (%4).")
            .arg(QDir::toNativeSeparators(TemporaryBase()), Reasons[Temporary], QDir::toNativeSeparators(File),
                 Reasons[Beside]);
      },
      "Changes made to the settings in this session will not be kept: no working copy of them could be made.");
  return whole;
}

void TRegistry::LeaveStoreAlone(const QString& Reason) {
  Store = OpenCopy(PrivateCopyOf(File, true));
  StandIn = true;
  static QSet<QString> told;
  if (told.contains(File)) return;
  told.insert(File);
  Say(
      [&] {
        const QFileInfo info(File);
        const QString what =
            !Reason.isEmpty() ? QStringLiteral("could not be read (%1)").arg(Reason)
            : info.isFile()   ? QStringLiteral("is far larger than any settings file Corvelle Image writes (%1 bytes)")
                                  .arg(info.size())
                              : QStringLiteral("is not a regular file");
        return QStringLiteral("The settings file %1 %2. It has been left as it is, neither read nor replaced: the "
                              "settings start from their defaults and are not kept after the program ends.")
            .arg(QDir::toNativeSeparators(File), what);
      },
      "The settings file is not one the program can read; the settings start from their defaults.");
}

void TRegistry::SetAsideUnreadableStore(const QByteArray& Data) {
  Store.reset();  // nothing was written through it
  QString aside = File + QStringLiteral(".damaged");
  for (int n = 2; QFileInfo::exists(aside) && n < 1000; ++n) aside = File + QStringLiteral(".damaged-%1").arg(n);
  QFile file(File);
  const bool kept = !QFileInfo::exists(aside) && file.rename(aside);
  // What cannot be kept aside is read as far as it can be.
  WorkOnPrivateCopy(kept ? QByteArray() : Data);
  // Once for each file that stays unreadable where it is.
  static QSet<QString> told;
  if (!kept && told.contains(File)) return;
  told.insert(File);
  const QString name = QDir::toNativeSeparators(File);
  if (kept)
    MessageBox::ShowWarning(QStringLiteral("The settings file %1 could not be read. It has been kept as %2, and the "
                                           "settings start again from their defaults.")
                                .arg(name, QDir::toNativeSeparators(aside)));
  else
    MessageBox::ShowWarning(QStringLiteral("The settings file %1 could not be read, and it could not be kept aside "
                                           "(%2). The settings that cannot be read take their defaults.")
                                .arg(name, file.errorString()));
}

TRegistry::~TRegistry() { Sync(); }

QString TRegistry::PutInPlace(bool& InPlace) {
  InPlace = false;
  const TStoreLock lock(File);
  if (!lock.Held()) return lock.Reason();
  TPrivateCopy& copy = PrivateCopyOf(File, false);
  // What another run stored meanwhile is read in first, and the settings
  // object adds this run's changes to it.
  QByteArray now;
  QString reason;
  switch (ReadableAsWritten(File, now, reason)) {
    case TStoreFile::Readable: break;
    case TStoreFile::NoAccess: return QStringLiteral("the file could not be read: %1").arg(reason);
    case TStoreFile::NotAFile: return QStringLiteral("the file is no longer a regular file");
    case TStoreFile::TooLarge:
    case TStoreFile::Unreadable: return QStringLiteral("the file has been changed into one the program cannot read");
  }
  if (now != copy.Known) {
    NoteSeen(copy);
    reason = WriteCopy(copy, copy.Name, now);
    if (!reason.isEmpty())
      return QStringLiteral("the working copy %1 could not be written: %2")
          .arg(QDir::toNativeSeparators(copy.Name), reason);
  }
  if (copy.Damaged) {
    const QStringList keys = Store->allKeys();
    if (!keys.isEmpty()) Store->setValue(keys.first(), Store->value(keys.first()));
  }
  copy.Damaged = true;
  Store->sync();
  NoteSeen(copy);
  if (Store->status() == QSettings::AccessError) return QStringLiteral("the file could not be written");
  bool whole = false;
  const QByteArray data = ReadBackWhole(*Store, copy.Name, whole);
  if (!whole) return QStringLiteral("the file could not be written");
  copy.Damaged = false;
  if (data == now) return {};
  TSafeFileWriter writer;
  if (writer.Open(QFile::encodeName(File).toStdString()) && writer.Write(data.constData(), std::size_t(data.size())) &&
      writer.Commit()) {
    copy.Known = data;
    return {};
  }
  InPlace = writer.InPlace();
  if (InPlace) copy.Known = data;
  return QString::fromLocal8Bit(writer.Reason().c_str());
}

void TRegistry::Sync() noexcept {
  if (!Store) return;
  const bool writing = Dirty;
  Dirty = false;
  QString failure;
  bool inPlace = false;
  try {
    // The toolkit cannot survive every allocation that fails in the middle of
    // a store: a store starts only with some memory to spare, which it then
    // finds in the heap.
    if (writing) HeadroomSeen = std::make_unique<char[]>(kStoreHeadroom).get();
    if (writing && !StandIn)
      failure = PutInPlace(inPlace);
    else
      Store->sync();
  } catch (const std::bad_alloc&) {
    failure = QStringLiteral("Out of memory");
  } catch (...) {
    failure = QStringLiteral("the file could not be written");
  }
  if (!writing || StandIn) return;
  // Told once for a run of failures; a store that goes through ends the run.
  static bool failing = false;
  if (failure.isEmpty() || failing) {
    failing = !failure.isEmpty();
    return;
  }
  failing = true;
  // One reference, so that the text's maker needs no memory of its own.
  const struct {
    const QString& Failure;
    const QString& File;
    bool InPlace;
  } what{failure, File, inPlace};
  Say(
      [&what] {
        const QString name = QDir::toNativeSeparators(what.File);
        if (what.InPlace)
          return QStringLiteral("The settings have been stored in %1, but the folder it is in could not be synced to "
                                "the disk (%2).")
              .arg(name, what.Failure);
        return QStringLiteral("The settings could not be stored (%1). The settings file %2 has been left as it was.")
            .arg(what.Failure, name);
      },
      "The settings could not be stored; the settings file has been left as it was.");
}

QString TRegistry::Resolve(const QString& Key) const {
  QStringList parts = SplitPath(Key);
  if (!Key.startsWith('\\') && Open) parts = SplitPath(Current) + parts;
  return parts.join('\\');
}

QString TRegistry::Group(const QString& Path) const {
  QStringList g{RootKey == TRegRootKey::HKEY_CURRENT_USER ? QStringLiteral("HKEY_CURRENT_USER")
                                                          : QStringLiteral("HKEY_LOCAL_MACHINE")};
  for (const QString& p : SplitPath(Path)) g << Encode(p);
  return g.join('/');
}

bool TRegistry::KeyExists(const QString& Key) const {
  const QString path = Resolve(Key);
  if (SplitPath(path).isEmpty()) return true;  // the root key
  return Store->contains(Group(path) + '/' + kMarker);
}

bool TRegistry::CreateKey(const QString& Key) {
  if (!NamesEveryKey(Key)) return false;
  const QStringList parts = SplitPath(Resolve(Key));
  QString path;
  for (const QString& p : parts) {
    path = path.isEmpty() ? p : path + '\\' + p;
    const QString marker = Group(path) + '/' + kMarker;
    if (!Store->contains(marker)) {
      Store->setValue(marker, QStringLiteral("1"));
      Dirty = true;
    }
  }
  Sync();
  return true;
}

bool TRegistry::OpenKey(const QString& Key, bool CanCreate) {
  if (CanCreate && !NamesEveryKey(Key)) return false;
  const QString path = Resolve(Key);
  if (!KeyExists(QLatin1Char('\\') + path)) {
    if (!CanCreate) return false;
    CreateKey(QLatin1Char('\\') + path);
  }
  Current = path;
  Open = true;
  return true;
}

void TRegistry::CloseKey() {
  Sync();
  Open = false;
  Current.clear();
}

bool TRegistry::DeleteKey(const QString& Key) {
  if (!NamesEveryKey(Key)) return false;
  const QString path = Resolve(Key);
  if (SplitPath(path).isEmpty() || !KeyExists(QLatin1Char('\\') + path)) return false;
  Store->remove(Group(path));
  Dirty = true;
  Sync();
  return true;
}

bool TRegistry::DeleteSubKey(const QString& Name) {
  if (!Open || Name.isEmpty()) return false;
  const QString group = Group(Current) + '/' + Encode(Name);
  if (!Store->contains(group + '/' + kMarker)) return false;
  Store->remove(group);
  Dirty = true;
  Sync();
  return true;
}

QStringList TRegistry::GetKeyNames() const {
  QStringList out;
  Store->beginGroup(Group(Current));
  for (const QString& g : Store->childGroups()) {
    if (Store->contains(g + '/' + kMarker)) out << Decode(g);
  }
  Store->endGroup();
  return out;
}

QList<TRegistry::TSubKey> TRegistry::GetSubKeys() const {
  QList<TSubKey> out;
  Store->beginGroup(Group(Current));
  for (const QString& g : Store->childGroups()) {
    if (!Store->contains(g + '/' + kMarker)) continue;
    const QString name = Decode(g);
    out.push_back({name, g, Encode(name) == g});
  }
  Store->endGroup();
  return out;
}

bool TRegistry::DeleteStoredSubKey(const QString& Stored) {
  if (!Open || Stored.isEmpty() || Stored.contains(QLatin1Char('/'))) return false;
  const QString group = Group(Current) + '/' + Stored;
  if (!Store->contains(group + '/' + kMarker)) return false;
  Store->remove(group);
  Dirty = true;
  Sync();
  return true;
}

QStringList TRegistry::GetValueNames() const {
  QStringList out;
  Store->beginGroup(Group(Current));
  for (const QString& k : Store->childKeys()) {
    if (k != kMarker) out << Decode(k);
  }
  Store->endGroup();
  return out;
}

QString TRegistry::ValueKey(const QString& Name) const { return Group(Current) + '/' + Encode(Name); }

QString TRegistry::RawValue(const QString& Name, bool& Found) const {
  Found = false;
  if (!Open) return {};
  const QVariant v = Store->value(ValueKey(Name));
  if (!v.isValid()) return {};
  Found = true;
  return v.toString();
}

bool TRegistry::ValueExists(const QString& Name) const {
  bool found;
  RawValue(Name, found);
  return found;
}

bool TRegistry::DeleteValue(const QString& Name) {
  if (!ValueExists(Name)) return false;
  Store->remove(ValueKey(Name));
  Dirty = true;
  return true;
}

TRegDataType TRegistry::GetDataType(const QString& Name) const {
  bool found;
  const QString raw = RawValue(Name, found);
  if (!found) return TRegDataType::rdUnknown;
  if (raw.startsWith(QLatin1String("sz:"))) return TRegDataType::rdString;
  if (raw.startsWith(QLatin1String("dword:"))) return TRegDataType::rdInteger;
  if (raw.startsWith(QLatin1String("hex:"))) return TRegDataType::rdBinary;
  return TRegDataType::rdUnknown;
}

int TRegistry::GetDataSize(const QString& Name) const {
  bool found;
  const QString raw = RawValue(Name, found);
  if (!found) return -1;
  switch (GetDataType(Name)) {
    case TRegDataType::rdString: return int(raw.mid(3).toUtf8().size()) + 1;
    case TRegDataType::rdInteger: return 4;
    case TRegDataType::rdBinary: return int(QByteArray::fromHex(raw.mid(4).toLatin1()).size());
    default: return 0;
  }
}

void TRegistry::Put(const QString& Name, const QString& Raw) {
  if (!Open) throw ERegistryException(QStringLiteral("Failed to set data for '%1'").arg(Name));
  Store->setValue(ValueKey(Name), Raw);
  Dirty = true;
}

int TRegistry::ReadInteger(const QString& Name) const {
  bool found;
  const QString raw = RawValue(Name, found);
  bool ok = false;
  int v = 0;
  if (found && raw.startsWith(QLatin1String("dword:"))) v = raw.mid(6).toInt(&ok);
  if (!ok) throw ERegistryException(ReadErrorText(Name));
  return v;
}

bool TRegistry::ReadBool(const QString& Name) const { return ReadInteger(Name) != 0; }

double TRegistry::ReadFloat(const QString& Name) const {
  double v = 0;
  if (ReadBinaryData(Name, &v, sizeof v) != int(sizeof v)) throw ERegistryException(ReadErrorText(Name));
  return v;
}

QString TRegistry::ReadString(const QString& Name) const {
  bool found;
  const QString raw = RawValue(Name, found);
  if (!found) return {};
  if (!raw.startsWith(QLatin1String("sz:"))) throw ERegistryException(ReadErrorText(Name));
  return raw.mid(3);
}

QByteArray TRegistry::ReadBinary(const QString& Name) const {
  bool found;
  const QString raw = RawValue(Name, found);
  if (!found || !raw.startsWith(QLatin1String("hex:"))) throw ERegistryException(ReadErrorText(Name));
  return QByteArray::fromHex(raw.mid(4).toLatin1());
}

int TRegistry::ReadBinaryData(const QString& Name, void* Buffer, int BufSize) const {
  const QByteArray data = ReadBinary(Name);
  if (data.size() > BufSize) throw ERegistryException(ReadErrorText(Name));
  if (!data.isEmpty()) std::memcpy(Buffer, data.constData(), size_t(data.size()));
  return int(data.size());
}

void TRegistry::WriteInteger(const QString& Name, int Value) { Put(Name, QStringLiteral("dword:%1").arg(Value)); }

void TRegistry::WriteBool(const QString& Name, bool Value) { WriteInteger(Name, Value ? 1 : 0); }

void TRegistry::WriteFloat(const QString& Name, double Value) { WriteBinaryData(Name, &Value, sizeof Value); }

void TRegistry::WriteString(const QString& Name, const QString& Value) { Put(Name, QStringLiteral("sz:") + Value); }

void TRegistry::WriteBinaryData(const QString& Name, const void* Buffer, int BufSize) {
  const QByteArray data(static_cast<const char*>(Buffer), BufSize < 0 ? 0 : BufSize);
  Put(Name, QStringLiteral("hex:") + QString::fromLatin1(data.toHex()));
}
