#pragma once
// A disk that stops a save halfway, for the tables of every writer the program
// has (image files, pictures, reports): a cap on the size of every file this
// process writes. Writes beyond it fail with EFBIG ("File too large"), as
// they would with ENOSPC on a full disk, instead of raising SIGXFSZ.
#include <sys/resource.h>

#include <csignal>

namespace savefaults {

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
  FileSizeCap(const FileSizeCap&) = delete;
  FileSizeCap& operator=(const FileSizeCap&) = delete;
  bool Ok = false;

 private:
  rlimit Old{};
  void (*OldHandler)(int) = SIG_DFL;
};

}  // namespace savefaults

// Names a save must never replace, made privately in a test's folder (never
// under /dev): a named pipe, a socket, and, where the test may make them (as
// root with the right to), a character device numbered as /dev/null and a
// block device numbered as /dev/loop0. Nothing ever opens them.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "formats/ByteSource.h"

namespace savefaults {

enum class TNode { Fifo, Socket, CharDevice, BlockDevice };

inline dev_t NodeNumber(TNode Kind) { return Kind == TNode::CharDevice ? makedev(1, 3) : makedev(7, 0); }

// false when Kind cannot be made here.
inline bool MakeNode(const std::string& Path, TNode Kind) {
  switch (Kind) {
    case TNode::Fifo: return ::mkfifo(Path.c_str(), 0600) == 0;
    case TNode::Socket: {
      sockaddr_un addr{};
      addr.sun_family = AF_UNIX;
      if (Path.size() >= sizeof addr.sun_path) return false;
      std::memcpy(addr.sun_path, Path.c_str(), Path.size() + 1);
      const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
      if (fd < 0) return false;
      const bool ok = ::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
      ::close(fd);
      return ok;
    }
    case TNode::CharDevice: return ::mknod(Path.c_str(), S_IFCHR | 0600, NodeNumber(Kind)) == 0;
    case TNode::BlockDevice: return ::mknod(Path.c_str(), S_IFBLK | 0600, NodeNumber(Kind)) == 0;
  }
  return false;
}

// true while Path is still what MakeNode made.
inline bool IsNode(const std::string& Path, TNode Kind) {
  struct stat st {};
  if (::lstat(Path.c_str(), &st) != 0) return false;
  switch (Kind) {
    case TNode::Fifo: return S_ISFIFO(st.st_mode);
    case TNode::Socket: return S_ISSOCK(st.st_mode);
    case TNode::CharDevice: return S_ISCHR(st.st_mode) && st.st_rdev == NodeNumber(Kind);
    case TNode::BlockDevice: return S_ISBLK(st.st_mode) && st.st_rdev == NodeNumber(Kind);
  }
  return false;
}

// Watches the safe writer's syncs while it lives: each one is logged (a
// folder's or a file's, and which file), and those of the kind asked for
// fail with the error given (0: none fails).
class SyncWatch {
 public:
  struct TSync {
    bool Folder;
    ino_t Inode;
  };
  SyncWatch(int FileErrno, int FolderErrno) {
    State() = {FileErrno, FolderErrno, {}};
    Old = TSafeFileWriter::SetSyncCall(&Sync);
  }
  ~SyncWatch() { TSafeFileWriter::SetSyncCall(Old); }
  SyncWatch(const SyncWatch&) = delete;
  SyncWatch& operator=(const SyncWatch&) = delete;
  static const std::vector<TSync>& Log() { return State().Log; }
  static void ClearLog() { State().Log.clear(); }

 private:
  struct TState {
    int FileErrno = 0, FolderErrno = 0;
    std::vector<TSync> Log;
  };
  static TState& State() {
    static TState state;
    return state;
  }
  static int Sync(int Fd) {
    struct stat st {};
    if (::fstat(Fd, &st) != 0) return -1;
    const bool folder = S_ISDIR(st.st_mode);
    State().Log.push_back({folder, st.st_ino});
    const int e = folder ? State().FolderErrno : State().FileErrno;
    if (e != 0) {
      errno = e;
      return -1;
    }
    return ::fsync(Fd);
  }
  TSafeFileWriter::TSyncCall Old = nullptr;
};

}  // namespace savefaults
