#include "platform/SafeFileWriter.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

std::string FileKindReason(mode_t Mode) {
  if (S_ISREG(Mode)) return {};
  return S_ISDIR(Mode) ? std::strerror(EISDIR) : "Not a regular file";
}

namespace {
constexpr std::size_t kWriteBuffer = 1 << 20;

// Root may write anything, so for root a file is write-protected when no one
// may write it, as the mode shows; for anyone else, when they may not.
bool WriteProtected(const std::string& Name, const struct stat& St) {
  if (::geteuid() == 0) return (St.st_mode & 0222) == 0;
  return ::faccessat(AT_FDCWD, Name.c_str(), W_OK, AT_EACCESS) != 0 && errno == EACCES;
}

std::atomic<TSafeFileWriter::TSyncCall> SyncCall{&::fsync};

// Puts the data of Fd on the disk; 0, or the errno of the failure. A file
// system that cannot sync at all is no failure of the save.
int SyncToDisk(int Fd) {
  for (;;) {
    if (SyncCall.load()(Fd) == 0) return 0;
    const int e = errno;
    if (e == EINTR) continue;
    return e == EINVAL || e == ENOTSUP || e == ENOSYS ? 0 : e;
  }
}

std::string FolderOf(const std::string& Name) {
  const auto slash = Name.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : Name.substr(0, slash);
}

mode_t CreationMode() {
  // What a plain creat() would give: 0666 less the umask. The kernel reports
  // the umask without changing it; setting it back and forth is the fallback.
  mode_t mask = 0;
  bool known = false;
  if (FILE* f = std::fopen("/proc/self/status", "r")) {
    char line[256];
    while (std::fgets(line, sizeof line, f)) {
      unsigned value = 0;
      if (std::sscanf(line, "Umask: %o", &value) == 1) {
        mask = mode_t(value);
        known = true;
        break;
      }
    }
    std::fclose(f);
  }
  if (!known) {
    mask = ::umask(0);
    ::umask(mask);
  }
  return 0666 & ~mask;
}
}  // namespace

TSafeFileWriter::~TSafeFileWriter() { Abort(); }

std::string SaveFailureText(const std::string& Text, const TSafeFileWriter& Writer) {
  const std::string first = Writer.InPlace() ? std::string(msgFolderNotSynced) : Text;
  return Writer.Reason().empty() ? first : first + "\n" + Writer.Reason();
}

void TSafeFileWriter::Fail(int Errno) {
  Error = true;
  if (FReason.empty()) FReason = std::strerror(Errno);
}

void TSafeFileWriter::Fail(const std::string& Reason) {
  Error = true;
  if (FReason.empty()) FReason = Reason;
}

std::string TSafeFileWriter::TemporaryPrefix(const std::string& Target) {
  const auto slash = Target.find_last_of('/');
  const std::string dir = slash == std::string::npos ? std::string() : Target.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? Target : Target.substr(slash + 1);
  // The temporary name adds fifteen characters: cut a long name so that it
  // still fits where the target's name fits.
  return dir + "." + base.substr(0, 200) + ".saving.";
}

namespace {
// Temporaries of earlier saves of the same file that were cut short (the
// program was killed, the machine went down). A save in progress holds a lock
// on its temporary, so one that another program is writing right now is left
// alone, and so is anything not ours or not a plain file.
void RemoveStaleTemporaries(const std::string& Prefix) {
  const auto slash = Prefix.find_last_of('/');
  const std::string dir = slash == std::string::npos ? std::string(".") : Prefix.substr(0, slash + 1);
  const std::string start = slash == std::string::npos ? Prefix : Prefix.substr(slash + 1);
  DIR* d = ::opendir(dir.c_str());
  if (!d) return;
  while (const dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name.size() != start.size() + 6 || name.compare(0, start.size(), start) != 0) continue;
    if (!std::all_of(name.begin() + long(start.size()), name.end(), [](char c) { return std::isalnum((unsigned char)c); }))
      continue;
    const std::string path = slash == std::string::npos ? name : dir + name;
    struct stat first {};
    if (::lstat(path.c_str(), &first) != 0 || !S_ISREG(first.st_mode)) continue;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) continue;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
      ::unlink(path.c_str());
    ::close(fd);
  }
  ::closedir(d);
}
}  // namespace

bool TSafeFileWriter::Open(const std::string& TargetName) {
  Abort();
  FReason.clear();
  Error = false;
  FInPlace = false;
  // A file-size limit would end the program in the middle of a save; ignored,
  // it makes the write fail with "File too large" instead.
  ::signal(SIGXFSZ, SIG_IGN);
  Target = TargetName;
  // Saving through a symbolic link replaces the file it points to, not the
  // link; a link to nothing, or one that loops, is refused.
  struct stat link {};
  if (::lstat(TargetName.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
    char* real = ::realpath(TargetName.c_str(), nullptr);
    if (!real) {
      if (errno == ENOENT)
        Fail(std::string("The name is a symbolic link to a file that does not exist"));
      else
        Fail(errno);
      return false;
    }
    Target = real;
    std::free(real);
  }
  // Only a regular file is replaced: renaming over a device, a pipe or a
  // socket would put a plain file in its place (a save as /dev/null, run as
  // root, would replace the system's). A write-protected file is the user's
  // to unprotect, not ours to replace.
  struct stat existing {};
  if (::stat(Target.c_str(), &existing) == 0) {
    if (!S_ISREG(existing.st_mode)) {
      Fail(FileKindReason(existing.st_mode));
      return false;
    }
    if (WriteProtected(Target, existing)) {
      Fail("The file \"" + Target + "\" is write-protected");
      return false;
    }
  }
  const std::string prefix = TemporaryPrefix(Target);
  RemoveStaleTemporaries(prefix);
  std::string tmpl = prefix + "XXXXXX";
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  const int fd = ::mkstemp(name.data());
  if (fd < 0) {
    Fail(errno);
    return false;
  }
  // Held until the temporary is renamed or removed: it marks the save as live.
  ::flock(fd, LOCK_EX | LOCK_NB);
  TempName = name.data();
  // Keep the mode and owner of a file we replace; a new file gets the usual mode.
  struct stat st {};
  if (::stat(Target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    ::fchmod(fd, st.st_mode & 07777);
    if (::fchown(fd, st.st_uid, st.st_gid) != 0) {
      // Only the owner's group or root may keep another owner: the file is still ours.
    }
  } else {
    ::fchmod(fd, CreationMode());
  }
  Fd = fd;
  Used = 0;
  Buf = static_cast<unsigned char*>(std::malloc(kWriteBuffer));
  if (!Buf) {
    Fail(ENOMEM);
    Abort();
    return false;
  }
  return true;
}

bool TSafeFileWriter::WriteAll(const unsigned char* Data, std::size_t Count) {
  std::size_t done = 0;
  while (done < Count) {
    const ssize_t n = ::write(Fd, Data + done, Count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail(errno);
      return false;
    }
    done += std::size_t(n);
  }
  return true;
}

bool TSafeFileWriter::Flush() {
  if (!WriteAll(Buf, Used)) return false;
  Used = 0;
  return true;
}

bool TSafeFileWriter::Write(const void* Data, std::size_t Count) {
  if (!Ok()) return false;
  const auto* p = static_cast<const unsigned char*>(Data);
  if (Count >= kWriteBuffer / 4) {
    // Large blocks go straight to the file, without a copy.
    return Flush() && WriteAll(p, Count);
  }
  while (Count > 0) {
    if (Used == kWriteBuffer && !Flush()) return false;
    const std::size_t n = std::min(Count, kWriteBuffer - Used);
    std::memcpy(Buf + Used, p, n);
    Used += n;
    p += n;
    Count -= n;
  }
  return true;
}

bool TSafeFileWriter::WriteZeros(std::size_t Count) {
  if (!Ok()) return false;
  while (Count > 0) {
    if (Used == kWriteBuffer && !Flush()) return false;
    const std::size_t n = std::min(Count, kWriteBuffer - Used);
    std::memset(Buf + Used, 0, n);
    Used += n;
    Count -= n;
  }
  return true;
}

bool TSafeFileWriter::Commit() {
  if (!Ok()) {
    Abort();
    return false;
  }
  // The data reach the disk before the rename, and the rename before we say
  // the file is saved: otherwise a crash soon after a save can leave an empty
  // file where both the old and the new one were.
  bool ok = Flush();
  if (ok) {
    if (const int e = SyncToDisk(Fd)) {
      Fail(e);
      ok = false;
    }
  }
  if (::close(Fd) != 0) {
    if (ok) Fail(errno);
    ok = false;
  }
  Fd = -1;
  // Something other than a file may have taken the name while we wrote.
  struct stat now {};
  if (ok && ::lstat(Target.c_str(), &now) == 0 && !S_ISREG(now.st_mode)) {
    Fail(FileKindReason(now.st_mode));
    ok = false;
  }
  if (ok && ::rename(TempName.c_str(), Target.c_str()) != 0) {
    Fail(errno);
    ok = false;
  }
  if (!ok) ::unlink(TempName.c_str());
  TempName.clear();
  std::free(Buf);
  Buf = nullptr;
  if (ok) {
    // The new file is in place; a folder whose entry cannot be made lasting
    // is a failure the user must hear of.
    const int dir = ::open(FolderOf(Target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
      if (const int e = SyncToDisk(dir)) {
        Fail(e);
        FInPlace = true;
        ok = false;
      }
      ::close(dir);
    }
  }
  return ok;
}

TSafeFileWriter::TSyncCall TSafeFileWriter::SetSyncCall(TSyncCall Call) {
  return SyncCall.exchange(Call ? Call : &::fsync);
}

void TSafeFileWriter::Abort() {
  if (Fd >= 0) {
    ::close(Fd);
    Fd = -1;
  }
  if (!TempName.empty()) ::unlink(TempName.c_str());
  TempName.clear();
  std::free(Buf);
  Buf = nullptr;
  Used = 0;
}
