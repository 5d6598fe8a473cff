// Noise filters, unsharp mask, frequency-domain filters and calibration steps,
// with OpenCV's Gaussian unsharp mask and scipy.signal.wiener side by side on
// the same data; prints ours / theirs.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "engine/Errors.h"
#include "engine/Parallel.h"
#include "engine/Processing.h"

namespace {

// Whole 16-bit values on a smooth background with noise.
struct TImages {
  TDataImage Src, Dst;
  cv::Mat Mat;
};

TImages& Images(int Side) {
  static std::map<int, TImages> cache;
  auto it = cache.find(Side);
  if (it != cache.end()) return it->second;
  TImages& d = cache[Side];
  d.Src.Allocate(Side, Side, 1, false);
  d.Dst.Allocate(Side, Side, 1, false);
  std::mt19937 rng(7);
  std::normal_distribution<float> noise(0.0f, 200.0f);
  for (int y = 0; y < Side; ++y)
    for (int x = 0; x < Side; ++x) {
      const float v = 20000.0f + 10.0f * float((x + 2 * y) % 2000) + noise(rng);
      d.Src.Pixels[std::int64_t(y) * Side + x] = std::nearbyint(std::min(65535.0f, std::max(0.0f, v)));
    }
  std::copy(d.Src.Pixels, d.Src.Pixels + d.Src.PixelCount(), d.Dst.Pixels);
  d.Mat = cv::Mat(Side, Side, CV_32F, d.Src.Pixels).clone();
  return d;
}

std::map<std::string, double> gExternal;  // name -> seconds measured outside

template <typename F>
void Register(const std::string& Name, int Side, F Op) {
  benchmark::RegisterBenchmark(Name.c_str(), [=](benchmark::State& s) {
    TImages& d = Images(Side);
    for (auto _ : s) {
      Op(d);
      benchmark::ClobberMemory();
    }
  })->Unit(benchmark::kMillisecond)->UseRealTime();
}

class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> Seconds;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs)
      if (r.run_type == Run::RT_Iteration && r.iterations > 0) {
        std::string n = r.benchmark_name();
        const std::string tail = "/real_time";
        if (n.size() > tail.size() && n.compare(n.size() - tail.size(), tail.size(), tail) == 0)
          n.resize(n.size() - tail.size());
        Seconds[n] = r.real_accumulated_time / double(r.iterations);
      }
    ConsoleReporter::ReportRuns(runs);
  }
};

// scipy.signal.wiener on the same 2048 x 2048 data, best of three runs, in seconds;
// negative when python3 with scipy is not there.
double ScipyWiener() {
  TImages& d = Images(2048);
  const std::string in = "/tmp/corvelle_bench_wiener_" + std::to_string(::getpid());
  {
    std::ofstream f(in, std::ios::binary);
    f.write(reinterpret_cast<const char*>(d.Src.Pixels), std::streamsize(d.Src.PixelCount() * sizeof(float)));
  }
  std::string cmd = "/usr/bin/python3 -c \"import sys, time, numpy as np; from scipy import signal; a = np.fromfile('";
  cmd += in;
  cmd += "', dtype=np.float32).reshape(2048, 2048).astype(np.float64); t = []\nfor i in range(3):\n"
         " s = time.perf_counter(); signal.wiener(a, mysize=5, noise=40000.0); t.append(time.perf_counter() - s)\n"
         "print(min(t))\" 2>/dev/null";
  FILE* p = popen(cmd.c_str(), "r");
  double seconds = -1;
  if (p) {
    if (std::fscanf(p, "%lf", &seconds) != 1) seconds = -1;
    pclose(p);
  }
  std::remove(in.c_str());
  return seconds;
}

void RegisterAll() {
  Register("Ours/AlphaTrimmed_5x5/2048", 2048, [](TImages& d) { AlphaTrimmed(3, 5, d.Dst, d.Src); });
  Register("Ours/AdaptiveMMSE_5x5/2048", 2048, [](TImages& d) { AdaptiveMMSE(5, d.Dst, d.Src, 200); });
  // The rank filters on a full 4096 x 4096 frame: a few hundred milliseconds is the aim.
  Register("Ours/AlphaTrimmed_5x5/4096", 4096, [](TImages& d) { AlphaTrimmed(3, 5, d.Dst, d.Src); });
  Register("Ours/AdaptiveDWMTM/4096", 4096, [](TImages& d) { AdaptiveDWMTM(d.Dst, d.Src, 200, 3); });
  Register("Ours/UnsharpMask_5/2048", 2048, [](TImages& d) { UnsharpMask(5, d.Dst, d.Src, 2); });
  Register("OpenCV/GaussianUnsharp_5/2048", 2048, [](TImages& d) {
    static cv::Mat blur, out;
    cv::GaussianBlur(d.Mat, blur, cv::Size(5, 5), 0);
    cv::addWeighted(d.Mat, 2.0, blur, -1.0, 0, out);
    cv::min(out, 65535.0, out);
    cv::max(out, 0.0, out);
  });
  Register("Ours/HomomorphicFilter/2048", 2048, [](TImages& d) { HomomorphicFilter(d.Dst, d.Src, 0.5f, 2, 2); });
  Register("Ours/FFTFilter_Butterworth_LP/2048", 2048, [](TImages& d) { FFTFilter(2, d.Dst, d.Src, 16, 1, 1); });
  Register("Ours/SubtractDark+FlatFieldDivide/4096", 4096, [](TImages& d) {
    static TDataImage flat, dark;
    if (!flat.Pixels) {
      flat.Allocate(4096, 4096, 3, false);
      dark.Allocate(4096, 4096, 1, false);
      std::mt19937 rng(3);
      std::uniform_real_distribution<float> f(0.8f, 1.2f);
      for (std::int64_t i = 0; i < flat.PixelCount(); ++i) {
        flat.Pixels[i] = f(rng);
        dark.Pixels[i] = float(rng() % 500);
      }
    }
    SubtractDark(d.Dst, d.Src, dark);
    FlatFieldDivide(d.Dst, flat);
  });
}

}  // namespace

int main(int argc, char** argv) {
  SetInternalErrorHandler([](int) {});
  RegisterAll();
  benchmark::Initialize(&argc, argv);
  // Both sides at the same thread count (CORVELLE_THREADS sets it for both).
  cv::setNumThreads(Parallel::Threads());
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double wiener = ScipyWiener();
  std::printf("\n%-40s %10s %12s %8s\n", "ratio ours / theirs", "ours ms", "theirs ms", "ratio");
  auto line = [&](const char* what, const std::string& ours, double theirs) {
    auto a = reporter.Seconds.find(ours);
    if (a == reporter.Seconds.end()) return;
    if (theirs <= 0) {
      std::printf("%-40s %10.2f %12s %8s\n", what, a->second * 1e3, "missing", "-");
      return;
    }
    std::printf("%-40s %10.2f %12.2f %8.2f\n", what, a->second * 1e3, theirs * 1e3, a->second / theirs);
  };
  auto cv = reporter.Seconds.find("OpenCV/GaussianUnsharp_5/2048");
  line("UnsharpMask 5 / OpenCV Gaussian unsharp", "Ours/UnsharpMask_5/2048",
       cv == reporter.Seconds.end() ? -1 : cv->second);
  line("AdaptiveMMSE 5x5 / scipy.signal.wiener", "Ours/AdaptiveMMSE_5x5/2048", wiener);
  std::printf("(%d threads; OpenCV %s with %d threads)\n", Parallel::Threads(), CV_VERSION, cv::getNumThreads());
  benchmark::Shutdown();
  return 0;
}
