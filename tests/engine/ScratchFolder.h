#pragma once
// A fresh folder of the temporary directory for one test's oracle files.
// CTest runs many test processes side by side, and a process id can come back
// in a later run, so the folder name is made unique by mkdtemp and the folder
// is removed with everything in it when the test ends.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

class ScratchFolder {
 public:
  ScratchFolder() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = "corvelle_";
    if (info) name += std::string(info->test_suite_name()) + "." + info->name() + "_";
    std::string pattern = (std::filesystem::path(::testing::TempDir()) / (name + "XXXXXX")).string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data())) {
      Path_ = buffer.data();
    } else {
      ADD_FAILURE() << "cannot create a scratch folder from " << pattern;
    }
  }
  ~ScratchFolder() {
    std::error_code ec;
    if (!Path_.empty()) std::filesystem::remove_all(Path_, ec);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& Path() const { return Path_; }

 private:
  std::string Path_;
};

// Oracle files: Count values of Data written raw, and a whole file read back.
template <class T>
void WriteBinary(const std::string& Path, const T* Data, std::size_t Count) {
  std::ofstream f(Path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(Data), std::streamsize(Count * sizeof(T)));
}

template <class T>
std::vector<T> ReadBinary(const std::string& Path) {
  std::ifstream f(Path, std::ios::binary);
  std::vector<char> raw((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  std::vector<T> out(raw.size() / sizeof(T));
  if (!out.empty()) std::memcpy(out.data(), raw.data(), out.size() * sizeof(T));
  return out;
}
