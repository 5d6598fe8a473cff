#pragma once
// One folder of the temporary directory per test process, made on first use
// (mkdtemp, so no other process shares it) and removed with everything in it
// when the process ends. Oracle files go there, so a test that stops early on
// a failed assertion leaves nothing behind.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace testscratch {

class ProcessFolder {
 public:
  ProcessFolder() {
    const std::string pattern = (std::filesystem::path(::testing::TempDir()) / "corvelle_tests_XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    // Without a folder of our own the files go straight to the temporary directory.
    Path_ = ::mkdtemp(buffer.data()) ? std::string(buffer.data()) : ::testing::TempDir();
    Own_ = Path_ != ::testing::TempDir();
  }
  ~ProcessFolder() {
    std::error_code ec;
    if (Own_) std::filesystem::remove_all(Path_, ec);
  }
  ProcessFolder(const ProcessFolder&) = delete;
  ProcessFolder& operator=(const ProcessFolder&) = delete;
  const std::string& Path() const { return Path_; }

 private:
  std::string Path_;
  bool Own_ = false;
};

// The folder's path, without a trailing slash.
inline const std::string& Folder() {
  static const ProcessFolder folder;
  return folder.Path();
}

}  // namespace testscratch
