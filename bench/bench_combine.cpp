// Combining 20 frames of 2048 x 2048 by median from 16-bit FITS files, file
// reading included: ours (CombineFiles, every thread) beside Siril's
// "stack seq median -nonorm" (siril-cli, every thread, the process start
// counted) and numpy's median over astropy reads (one thread, timed inside
// Python). Its own main: the three run in interleaved rounds.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "engine/Errors.h"
#include "engine/ImageCombine.h"
#include "engine/Parallel.h"
#include "formats/FITS.h"
#include "formats/FITSFrames.h"

namespace {

constexpr int kFrames = 20, kSide = 2048;

// The series, written once by our writer as light_00001.fit ... (the names
// Siril takes for a sequence), removed at exit.
struct TSeries {
  std::filesystem::path Dir;
  std::vector<std::string> Files;
  TSeries() {
    Dir = std::filesystem::temp_directory_path() / ("corvelle-bench-combine-" + std::to_string(getpid()));
    std::filesystem::create_directories(Dir);
    TDataImage img;
    img.Allocate(kSide, kSide, 1, false);
    std::mt19937 rng(7);
    std::normal_distribution<float> noise(0.0f, 40.0f);
    for (int k = 0; k < kFrames; ++k) {
      for (std::int64_t i = 0; i < img.PixelCount(); ++i)
        img.Pixels[i] = std::clamp(std::nearbyint(1000.0f + float(i % 977) + noise(rng)), 0.0f, 65535.0f);
      char name[32];
      std::snprintf(name, sizeof name, "light_%05d.fit", k + 1);
      Files.push_back((Dir / name).string());
      TFITSHeader h;
      WriteFITS16(Files.back(), h, img);
    }
  }
  ~TSeries() {
    std::error_code ec;
    std::filesystem::remove_all(Dir, ec);
  }
};

double Ours(const TSeries& S) {
  const auto t0 = std::chrono::steady_clock::now();
  TDataImage result;
  TCodecMessages warnings;
  CombineFiles(S.Files, cmMedian, result, warnings);
  benchmark::DoNotOptimize(result.Pixels);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// The whole siril-cli run: start, reading the sequence, stacking, writing.
double Siril(const TSeries& S) {
  const std::string script = (S.Dir / "stack.ssf").string();
  std::ofstream(script) << "requires 1.0.0\ncd " << S.Dir.string() << "\nstack light median -nonorm\n";
  const std::string cmd = "siril-cli -s " + script + " >/dev/null 2>&1";
  const auto t0 = std::chrono::steady_clock::now();
  if (std::system(cmd.c_str()) != 0) return -1;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Reading and the median, timed inside Python (the interpreter's start is not counted).
double Numpy(const TSeries& S) {
  const std::string cmd = "/usr/bin/python3 -c \"import time,glob,numpy as np\nfrom astropy.io import fits\n"
                          "s=time.perf_counter()\nf=sorted(glob.glob('" +
                          S.Dir.string() +
                          "/light_*.fit'))\nd=np.stack([fits.getdata(n).astype(np.float32) for n in f])\n"
                          "m=np.median(d,axis=0)\nprint(time.perf_counter()-s)\"";
  FILE* p = popen(cmd.c_str(), "r");
  double seconds = -1;
  if (!p || std::fscanf(p, "%lf", &seconds) != 1) seconds = -1;
  if (p) pclose(p);
  return seconds;
}

double Median(std::vector<double> V) {
  std::sort(V.begin(), V.end());
  return V.empty() ? -1 : V[V.size() / 2];
}

}  // namespace

// Interleaved rounds after a warm-up of each; the median of each side.
int main() {
  SetInternalErrorHandler([](int) {});
  const bool siril = std::system("command -v siril-cli >/dev/null 2>&1") == 0;
  if (!siril) std::printf("siril-cli is not installed (Debian package siril): no Siril column\n");
  double loadStart = 0;
  getloadavg(&loadStart, 1);
  TSeries series;
  Ours(series);
  if (siril) Siril(series);
  Numpy(series);
  std::vector<double> ours, sir, np;
  for (int round = 0; round < 5; ++round) {
    ours.push_back(Ours(series));
    if (siril) sir.push_back(Siril(series));
    if (round < 3) np.push_back(Numpy(series));
  }
  const double o = Median(ours), s = Median(sir), n = Median(np);
  double load = 0;
  getloadavg(&load, 1);
  std::printf("\n%-34s %-12s %-8s %10s %-10s %10s %8s %s\n", "operation", "size", "threads", "ours ms", "peer",
              "peer ms", "ratio", "target");
  std::printf("%-34s %-12s %-8s %10.1f %-10s %10.1f %8.2f %s\n", "median of 20 FITS files", "2048 x 2048", "all",
              o * 1e3, "Siril", s * 1e3, s > 0 ? o / s : 0.0, "<= 1.0");
  std::printf("%-34s %-12s %-8s %10.1f %-10s %10.1f %8.2f %s\n", "median of 20 FITS files", "2048 x 2048",
              "all / 1", o * 1e3, "numpy", n * 1e3, n > 0 ? o / n : 0.0, "-");
  std::printf("(%d threads for ours and Siril; numpy one thread; load average %.1f at the start, %.1f at the end)\n",
              Parallel::Threads(), loadStart, load);
  return 0;
}
