// Writes the seed inputs of each codec into DIR/<codec>/ for libFuzzer.
#include <filesystem>
#include <fstream>

#include "fuzz/FuzzTargets.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  for (const char* codec : {"fits", "kvx", "sbig", "raw"}) {
    const auto dir = std::filesystem::path(argv[1]) / codec;
    std::filesystem::create_directories(dir);
    int i = 0;
    for (const auto& s : fuzz::Seeds(codec)) {
      std::ofstream f(dir / ("seed" + std::to_string(i++)), std::ios::binary);
      f.write(reinterpret_cast<const char*>(s.data()), std::streamsize(s.size()));
    }
  }
  return 0;
}
