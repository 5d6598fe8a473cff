#pragma once
// A named pipe offered where a file is expected. Opening a pipe for reading
// waits for a writer; once the time limit has passed the watchdog comes as
// that writer (and keeps coming until Done), so a test of code that would
// hang there ends, and Hung() says it would have.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

class TPipeWatchdog {
 public:
  TPipeWatchdog(std::string Path, int Seconds) : FPath(std::move(Path)) {
    FMade = ::mkfifo(FPath.c_str(), 0600) == 0;
    FThread = std::thread([this, Seconds] {
      std::unique_lock<std::mutex> lock(FLock);
      if (FWake.wait_for(lock, std::chrono::seconds(Seconds), [this] { return FDone; })) return;
      FHung = true;
      while (!FDone) {
        const int fd = ::open(FPath.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) ::close(fd);
        FWake.wait_for(lock, std::chrono::milliseconds(20), [this] { return FDone; });
      }
    });
  }
  ~TPipeWatchdog() {
    Done();
    ::unlink(FPath.c_str());
  }
  TPipeWatchdog(const TPipeWatchdog&) = delete;
  TPipeWatchdog& operator=(const TPipeWatchdog&) = delete;

  bool Made() const { return FMade; }
  // Stops the watch; true when the code under test had to be released.
  bool Done() {
    {
      std::lock_guard<std::mutex> lock(FLock);
      FDone = true;
    }
    FWake.notify_all();
    if (FThread.joinable()) FThread.join();
    return FHung;
  }
  bool Hung() const { return FHung; }

 private:
  std::string FPath;
  bool FMade = false;
  std::mutex FLock;
  std::condition_variable FWake;
  bool FDone = false;
  std::atomic<bool> FHung{false};
  std::thread FThread;
};
