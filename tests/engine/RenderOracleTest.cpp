// Cross-check of the grey render against an independent numpy computation.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "engine/DataImage.h"
#include "ProcessScratch.h"

TEST(RenderOracle, MatchesNumpyExtendedPrecision) {
  const char* src = CORVELLE_SOURCE_DIR;
  ASSERT_EQ(std::system("/usr/bin/python3 -c 'import numpy' 2>/dev/null"), 0)
      << "python3-numpy is missing: the cross-check cannot run";
  ASSERT_EQ(sizeof(long double), 16u) << "extended precision is expected on amd64";

  const std::string dir = testscratch::Folder();  // removed when the process ends
  // Unique per process: test programs run side by side.
  const std::string tag = std::to_string(::getpid());
  const std::string in = dir + "/render_in_" + tag + ".bin", out = dir + "/render_out_" + tag + ".bin";
  std::mt19937 rng(11);
  const float cases[][2] = {{0, 100}, {0, 200}, {12.5f, 4000}, {65535, 0}, {-3, 7}};
  for (const auto& c : cases) {
    TDataImage img;
    const int n = 20000;
    ASSERT_TRUE(img.Allocate(n, 1, 3, false));
    std::uniform_int_distribution<int> whole(-20, 4200);
    std::uniform_real_distribution<float> any(-100.0f, 70000.0f);
    for (int i = 0; i < n; ++i) img.Pixels[i] = (i % 2) ? float(whole(rng)) : any(rng);
    // Every multiple of 0.5 in a band, where ties live.
    for (int i = 0; i < 2000; ++i) img.Pixels[i] = 0.5f * float(i);
    img.BlackPoint = c[0];
    img.WhitePoint = c[1];
    img.UpdateBitmap();

    std::vector<float> buf{c[0], c[1]};
    buf.insert(buf.end(), img.Pixels, img.Pixels + n);
    {
      std::ofstream f(in, std::ios::binary);
      f.write(reinterpret_cast<const char*>(buf.data()), std::streamsize(buf.size() * sizeof(float)));
    }
    const std::string cmd =
        "/usr/bin/python3 " + std::string(src) + "/tests/oracles/render_index.py " + in + " " + out;
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::ifstream f(out, std::ios::binary);
    std::vector<char> expected((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    ASSERT_EQ(expected.size(), std::size_t(n));
    int mismatches = 0;
    for (int i = 0; i < n; ++i) {
      const int shown = img.Bitmap.TopRow(0)[3 * i];
      if (shown != std::uint8_t(expected[i]) && ++mismatches < 5) {
        ADD_FAILURE() << "value " << img.Pixels[i] << " range [" << c[0] << ", " << c[1] << "]: shown " << shown
                      << ", numpy " << int(std::uint8_t(expected[i]));
      }
    }
    EXPECT_EQ(mismatches, 0);
  }
  std::remove(in.c_str());
  std::remove(out.c_str());
}
