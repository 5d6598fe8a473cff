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
