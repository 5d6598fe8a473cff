#pragma once
// The running test once more, alone, in a fresh process of this test program:
// for conditions a test cannot undo in its own process (threads that can no
// longer start, allocations that fail and leave blocks behind). Env is set to
// Value there, the leak check at exit is off (it needs a thread of its own
// and memory), and Prepare runs in the child just before the program starts
// again (a non-zero result ends the child with that code).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

// The child's process id, or -1 when it cannot be made.
inline pid_t StartThisTestAgain(const char* Env, const char* Value, const std::function<int()>& Prepare = nullptr) {
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string filter = std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    if (Prepare)
      if (const int code = Prepare()) _exit(code);
    setenv(Env, Value, 1);
    setenv("ASAN_OPTIONS", "detect_leaks=0:abort_on_error=1", 1);
    execl(self.c_str(), self.c_str(), filter.c_str(), "--gtest_brief=1", static_cast<char*>(nullptr));
    _exit(92);
  }
  return pid;
}

// Its exit code, 100 + the signal that ended it, or -1 when it has not
// finished within Seconds (it is then killed).
inline int WaitForTestRun(pid_t Pid, int Seconds) {
  for (int waited = 0; waited < Seconds * 20; ++waited) {
    int status = 0;
    if (waitpid(Pid, &status, WNOHANG) == Pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
    usleep(50000);
  }
  kill(Pid, SIGKILL);
  waitpid(Pid, nullptr, 0);
  return -1;
}

inline int RunThisTestAgain(const char* Env, const char* Value, int Seconds,
                            const std::function<int()>& Prepare = nullptr) {
  const pid_t pid = StartThisTestAgain(Env, Value, Prepare);
  return pid < 0 ? -2 : WaitForTestRun(pid, Seconds);
}
