#pragma once
// Recorders for the engine's hooks and small helpers for oracle cross-checks.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <unistd.h>
#include <iterator>
#include <string>
#include <vector>

#include "engine/DataImage.h"
#include "engine/Errors.h"
#include "ProcessScratch.h"

namespace ImgTest {

struct ErrorRecorder {
  std::vector<int> Codes;
  TInternalErrorHandler Previous;
  ErrorRecorder() {
    Previous = SetInternalErrorHandler([this](int c) { Codes.push_back(c); });
  }
  ~ErrorRecorder() { SetInternalErrorHandler(Previous); }
  // The one code reported since the last call.
  int Take() {
    const int c = Codes.size() == 1 ? Codes[0] : -1000 - int(Codes.size());
    Codes.clear();
    return c;
  }
};

struct WarningRecorder {
  std::vector<std::string> Texts;
  TWarningHandler Previous;
  WarningRecorder() {
    Previous = SetWarningHandler([this](const std::string& t) { Texts.push_back(t); });
  }
  ~WarningRecorder() { SetWarningHandler(Previous); }
};

inline void Grey(TDataImage& Image, int W, int H, std::uint8_t Type, const std::vector<float>& Values = {}) {
  ASSERT_TRUE(Image.Allocate(W, H, Type, false));
  for (std::size_t i = 0; i < Values.size() && i < std::size_t(W) * H; ++i) Image.Pixels[i] = Values[i];
}

inline void Fill(TDataImage& Image, float Value) {
  for (std::int64_t i = 0; i < Image.PixelCount(); ++i) Image.Pixels[i] = Value;
}

inline void CopyGrey(TDataImage& Dst, const TDataImage& Src) {
  ASSERT_TRUE(Dst.Allocate(Src.Width, Src.Height, Src.DataType, Src.IsColour));
  for (std::int64_t i = 0; i < Src.PixelCount(); ++i) Dst.Pixels[i] = Src.Pixels[i];
  if (Src.IsColour)
    for (std::int64_t i = 0; i < Src.PixelCount(); ++i) Dst.RGBPlane[i] = Src.RGBPlane[i];
}

inline std::vector<float> Plane(const TDataImage& Image) {
  return std::vector<float>(Image.Pixels, Image.Pixels + Image.PixelCount());
}

template <class T>
void WriteFile(const std::string& Path, const std::vector<T>& Data) {
  std::ofstream f(Path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(Data.data()), std::streamsize(Data.size() * sizeof(T)));
}

template <class T>
std::vector<T> ReadFile(const std::string& Path) {
  std::ifstream f(Path, std::ios::binary);
  std::vector<char> raw((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  std::vector<T> out(raw.size() / sizeof(T));
  if (!out.empty()) std::copy(raw.begin(), raw.begin() + out.size() * sizeof(T), reinterpret_cast<char*>(out.data()));
  return out;
}

// Unique per test process (CTest runs tests side by side), in the process's
// own folder, which is removed when the process ends.
inline std::string TempPath(const std::string& Name) {
  return testscratch::Folder() + "/" + Name + "_" + std::to_string(::getpid());
}

// Runs an oracle script of tests/oracles with Debian's python3; a missing
// module fails the test instead of passing it.
inline bool RunOracle(const std::string& Script, const std::string& Args, const std::string& Modules = "numpy") {
  const std::string probe = "/usr/bin/python3 -c 'import " + Modules + "' 2>/dev/null";
  if (std::system(probe.c_str()) != 0) {
    ADD_FAILURE() << "python3 modules missing (" << Modules << "): the cross-check cannot run";
    return false;
  }
  const std::string cmd =
      "/usr/bin/python3 " + std::string(CORVELLE_SOURCE_DIR) + "/tests/oracles/" + Script + " " + Args;
  if (std::system(cmd.c_str()) != 0) {
    ADD_FAILURE() << "oracle failed: " << cmd;
    return false;
  }
  return true;
}

}  // namespace ImgTest
