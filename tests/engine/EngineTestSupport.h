#pragma once
// Shared by the engine tests: an error-report recorder, image makers and a
// runner for the numpy/scipy oracles (Debian's own python3).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "engine/DataImage.h"
#include "engine/Errors.h"
#include "ProcessScratch.h"

namespace testsupport {

struct ErrorLog {
  std::vector<int> Codes;
  TInternalErrorHandler Previous;
  ErrorLog() { Previous = SetInternalErrorHandler([this](int c) { Codes.push_back(c); }); }
  ~ErrorLog() { SetInternalErrorHandler(Previous); }
  // The single report of the last routine run.
  std::vector<int> Take() {
    auto c = Codes;
    Codes.clear();
    return c;
  }
};

inline void Grey(TDataImage& img, int w, int h, std::uint8_t type, const std::vector<float>& values = {}) {
  ASSERT_TRUE(img.Allocate(w, h, type, false));
  for (std::size_t i = 0; i < values.size() && i < std::size_t(w) * h; ++i) img.Pixels[i] = values[i];
}

inline void Colour(TDataImage& img, int w, int h) { ASSERT_TRUE(img.Allocate(w, h, 0, true)); }

// A destination made as a copy of the source, as the callers do.
inline void CopyOf(TDataImage& dst, const TDataImage& src) {
  ASSERT_TRUE(dst.Allocate(src.Width, src.Height, src.DataType, src.IsColour));
  std::copy(src.Pixels, src.Pixels + src.PixelCount(), dst.Pixels);
  if (src.IsColour) std::copy(src.RGBPlane, src.RGBPlane + src.PixelCount(), dst.RGBPlane);
  dst.BlackPoint = src.BlackPoint;
  dst.WhitePoint = src.WhitePoint;
}

inline void RandomGrey(TDataImage& img, int w, int h, std::uint8_t type, std::uint32_t seed, float lo, float hi,
                       bool whole) {
  Grey(img, w, h, type);
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> d(lo, hi);
  for (std::int64_t i = 0; i < img.PixelCount(); ++i) img.Pixels[i] = whole ? std::nearbyint(d(rng)) : d(rng);
}

inline void RandomColour(TDataImage& img, int w, int h, std::uint32_t seed) {
  Colour(img, w, h);
  std::mt19937 rng(seed);
  auto* b = reinterpret_cast<std::uint8_t*>(img.RGBPlane);
  for (std::int64_t i = 0; i < img.PixelCount() * 3; ++i) b[i] = std::uint8_t(rng());
}

inline bool SameBits(float a, float b) { return std::memcmp(&a, &b, 4) == 0; }

inline void RequirePython(const char* modules) {
  const std::string cmd = std::string("/usr/bin/python3 -c 'import ") + modules + "' 2>/dev/null";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << "Debian's python3 with " << modules
                                          << " is missing: the cross-check cannot run";
}

// Writes Input to a file, runs tests/oracles/<Script> <in> <out> <Args>, and
// returns the bytes the script wrote.
inline std::vector<char> RunOracle(const std::string& Script, const std::string& Args, const void* Input,
                                   std::size_t Bytes) {
  static int serial = 0;
  // The process's own folder: test programs run side by side under ctest,
  // and whatever is left in it goes when the process ends.
  const std::string dir = testscratch::Folder();
  const std::string tag = std::to_string(serial++);
  const std::string in = dir + "/oracle_in_" + tag + ".bin";
  const std::string out = dir + "/oracle_out_" + tag + ".bin";
  struct Cleanup {
    const std::string &In, &Out;
    ~Cleanup() {
      std::remove(In.c_str());
      std::remove(Out.c_str());
    }
  } cleanup{in, out};
  {
    std::ofstream f(in, std::ios::binary);
    f.write(static_cast<const char*>(Input), std::streamsize(Bytes));
  }
  const std::string cmd = "/usr/bin/python3 " + std::string(CORVELLE_SOURCE_DIR) + "/tests/oracles/" + Script + " " +
                          in + " " + out + " " + Args;
  EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
  std::ifstream f(out, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

template <typename T>
std::vector<T> AsVector(const std::vector<char>& bytes) {
  std::vector<T> v(bytes.size() / sizeof(T));
  std::memcpy(v.data(), bytes.data(), v.size() * sizeof(T));
  return v;
}

}  // namespace testsupport
