#pragma once
// Small helpers shared by the codec tests: a temporary folder, whole-file
// reads and writes, running an outside tool, and building FITS bytes by hand.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/wait.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "formats/FITS.h"

namespace codectest {

class TempDir {
 public:
  TempDir() {
    std::string t = (std::filesystem::temp_directory_path() / "corvelle-codec-XXXXXX").string();
    Path = mkdtemp(t.data());
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(Path, ec);
  }
  std::string operator/(const std::string& Name) const { return (Path / Name).string(); }
  std::filesystem::path Path;
};

inline std::vector<std::uint8_t> ReadBytes(const std::string& Name) {
  std::ifstream f(Name, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::string& Name, const std::vector<std::uint8_t>& Bytes) {
  std::ofstream f(Name, std::ios::binary);
  f.write(reinterpret_cast<const char*>(Bytes.data()), std::streamsize(Bytes.size()));
}

// Runs a shell command; returns its exit status and fills Output with stdout+stderr.
inline int RunCommand(const std::string& Command, std::string& Output) {
  Output.clear();
  FILE* p = popen((Command + " 2>&1").c_str(), "r");
  if (!p) return -1;
  char buf[4096];
  std::size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) Output.append(buf, n);
  const int status = pclose(p);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline std::string Python() { return "/usr/bin/python3"; }
inline std::string Oracle(const std::string& Name) { return std::string(CORVELLE_SOURCE_DIR) + "/tests/oracles/" + Name; }

// A card padded to 80 columns.
inline std::string Card(const std::string& Text) {
  std::string c = Text.substr(0, 80);
  c.resize(80, ' ');
  return c;
}

// Header cards, blank fill to 2880, then the data bytes as given (no fill).
inline std::vector<std::uint8_t> FITSBytes(const std::vector<std::string>& Cards, const std::vector<std::uint8_t>& Data) {
  std::string h;
  for (const auto& c : Cards) h += Card(c);
  h.resize((h.size() + 2879) / 2880 * 2880, ' ');
  std::vector<std::uint8_t> out(h.begin(), h.end());
  out.insert(out.end(), Data.begin(), Data.end());
  return out;
}

inline void PutBE16(std::vector<std::uint8_t>& v, int x) {
  v.push_back(std::uint8_t((x >> 8) & 0xFF));
  v.push_back(std::uint8_t(x & 0xFF));
}
inline void PutBE32f(std::vector<std::uint8_t>& v, float f) {
  std::uint32_t b;
  std::memcpy(&b, &f, 4);
  for (int s = 24; s >= 0; s -= 8) v.push_back(std::uint8_t(b >> s));
}

inline TFITSOpenResult DecodeBytes(const std::vector<std::uint8_t>& Bytes) {
  TByteSource src(Bytes.data(), Bytes.size());
  return DecodeFITS(src);
}

inline std::vector<std::string> Texts(const TCodecMessages& M) {
  std::vector<std::string> t;
  for (const auto& m : M) t.push_back(m.Text);
  return t;
}

}  // namespace codectest
