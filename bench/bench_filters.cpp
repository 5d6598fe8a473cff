// Neighbourhood filters, point operations and region statistics on 4096 x 4096
// images, side by side with OpenCV on the same data; prints ours / OpenCV.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "engine/Errors.h"
#include "engine/Parallel.h"
#include "engine/Processing.h"
#include "engine/Statistics.h"

namespace {

constexpr int kSide = 4096;

// kind 0: floating point, uniform in [0, 65535); kind 1: whole 16-bit values;
// kind 2: floating point over a wide dynamic range (no common binary grid).
struct TData {
  TDataImage Src, Dst;
  cv::Mat Mat32, Mat16, Out;
};

TData& Data(int kind) {
  static std::map<int, TData> cache;
  auto it = cache.find(kind);
  if (it != cache.end()) return it->second;
  TData& d = cache[kind];
  d.Src.Allocate(kSide, kSide, kind == 1 ? 1 : 3, false);
  d.Dst.Allocate(kSide, kSide, kind == 1 ? 1 : 3, false);
  std::mt19937 rng(42 + kind);
  std::uniform_real_distribution<float> u(0.0f, 65535.0f), m(0.5f, 1.0f), ex(-4.0f, 4.0f);
  for (std::int64_t i = 0; i < d.Src.PixelCount(); ++i) {
    float v = kind == 0 ? u(rng) : kind == 1 ? float(rng() % 65536) : m(rng) * std::pow(10.0f, ex(rng));
    d.Src.Pixels[i] = v;
  }
  std::copy(d.Src.Pixels, d.Src.Pixels + d.Src.PixelCount(), d.Dst.Pixels);
  d.Mat32 = cv::Mat(kSide, kSide, CV_32F, d.Src.Pixels).clone();
  d.Mat32.convertTo(d.Mat16, CV_16U);
  return d;
}

const char* KindName(int kind) { return kind == 0 ? "float" : kind == 1 ? "16bit" : "float_wide"; }

template <typename F>
void Ours(benchmark::State& state, int kind, F&& op) {
  TData& d = Data(kind);
  for (auto _ : state) {
    op(d.Dst, d.Src);
    benchmark::ClobberMemory();
  }
}

template <typename F>
void Cv(benchmark::State& state, int kind, F&& op) {
  TData& d = Data(kind);
  const cv::Mat& m = kind == 1 ? d.Mat16 : d.Mat32;
  for (auto _ : state) {
    op(m, d.Out);
    benchmark::ClobberMemory();
  }
}

struct TPair {
  std::string Ours, OpenCV;
};
std::vector<TPair> gPairs;

// Other programs share the machine: every benchmark runs five times and the
// ratios use the fastest run of each side.
benchmark::internal::Benchmark* Setup(benchmark::internal::Benchmark* b) {
  return b->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->Repetitions(5)
      ->ComputeStatistics("min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); })
      ->DisplayAggregatesOnly(true);
}

template <typename F, typename G>
void Pair(const std::string& name, int kind, F ours, G theirs) {
  const std::string a = std::string("Ours/") + name + "/" + KindName(kind);
  const std::string b = std::string("OpenCV/") + name + "/" + KindName(kind);
  Setup(benchmark::RegisterBenchmark(a.c_str(), [=](benchmark::State& s) { Ours(s, kind, ours); }));
  Setup(benchmark::RegisterBenchmark(b.c_str(), [=](benchmark::State& s) { Cv(s, kind, theirs); }));
  gPairs.push_back({a, b});
}

template <typename F>
void Alone(const std::string& name, int kind, F ours) {
  const std::string a = std::string("Ours/") + name + "/" + KindName(kind);
  Setup(benchmark::RegisterBenchmark(a.c_str(), [=](benchmark::State& s) { Ours(s, kind, ours); }));
}

class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  static std::string Strip(std::string n) {
    const std::string tail = "/real_time";
    const auto reps = n.find("/repeats:");
    if (reps != std::string::npos) n.resize(reps);
    if (n.size() > tail.size() && n.compare(n.size() - tail.size(), tail.size(), tail) == 0)
      n.resize(n.size() - tail.size());
    return n;
  }
  std::map<std::string, double> Seconds;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs)
      if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "min")
        Seconds[Strip(r.run_name.str())] = r.GetAdjustedRealTime() * 1e-3;  // reported in ms
    ConsoleReporter::ReportRuns(runs);
  }
};

void Register() {
  for (int kind : {0, 1}) {
    for (int n : {3, 5}) {
      Pair("MedianFilter_" + std::to_string(n), kind,
           [n](TDataImage& d, TDataImage& s) { MedianFilter(std::uint8_t(n), d, s); },
           [n](const cv::Mat& m, cv::Mat& o) { cv::medianBlur(m, o, n); });
    }
    Alone("MedianFilter_7", kind, [](TDataImage& d, TDataImage& s) { MedianFilter(7, d, s); });
    Pair("MinMaxFilter_3", kind, [](TDataImage& d, TDataImage& s) { MinMaxFilter(0, 3, d, s); },
         [](const cv::Mat& m, cv::Mat& o) { cv::erode(m, o, cv::Mat::ones(3, 3, CV_8U)); });
  }
  for (int kind : {0, 1, 2}) {
    for (int n : {3, 7}) {
      Pair("MeanFilter_" + std::to_string(n), kind,
           [n](TDataImage& d, TDataImage& s) { MeanFilter(std::uint8_t(n), d, s); },
           [n](const cv::Mat& m, cv::Mat& o) { cv::blur(m, o, cv::Size(n, n)); });
    }
    Pair("Filter3x3_sharpen", kind, [](TDataImage& d, TDataImage& s) { Filter3x3(1, d, s); },
         [](const cv::Mat& m, cv::Mat& o) {
           static const cv::Mat k = (cv::Mat_<float>(3, 3) << 0, -1, 0, -1, 5, -1, 0, -1, 0);
           cv::filter2D(m, o, -1, k);
         });
    // OpenCV's Sobel is one derivative: take both and the magnitude, as the filter does.
    Pair("SobelFilter", kind, [](TDataImage& d, TDataImage& s) { SobelFilter(d, s); },
         [](const cv::Mat& m, cv::Mat& o) {
           cv::Mat gx, gy, f;
           if (m.depth() == CV_32F) f = m; else m.convertTo(f, CV_32F);
           cv::Sobel(f, gx, CV_32F, 1, 0);
           cv::Sobel(f, gy, CV_32F, 0, 1);
           cv::magnitude(gx, gy, o);
         });
  }
  for (int kind : {0, 1}) {
    auto minMax = [](const cv::Mat& m, cv::Mat&) {
      double lo, hi;
      cv::Point a, b;
      cv::minMaxLoc(m, &lo, &hi, &a, &b);
      benchmark::DoNotOptimize(lo + hi);
    };
    Pair("CalcRegionHistogram_vs_minMaxLoc", kind,
         [](TDataImage&, TDataImage& s) {
           TRegionHistogram h;
           CalcRegionHistogram(0, 0, kSide - 1, kSide - 1, s, h);
         },
         minMax);
    Pair("CalcRegionStatistics_vs_minMaxLoc", kind,
         [](TDataImage&, TDataImage& s) {
           TRegionStatistics st;
           CalcRegionStatistics(0, 0, kSide - 1, kSide - 1, s, st);
         },
         minMax);
    Alone("Gamma_2.2", kind, [](TDataImage& d, TDataImage& s) { Gamma(d, s, 2.2f); });
  }
}

}  // namespace

int main(int argc, char** argv) {
  // Error reports of the routines (all 0 here) would only clutter the output.
  SetInternalErrorHandler([](int) {});
  Register();
  benchmark::Initialize(&argc, argv);
  // Both sides at the same thread count (CORVELLE_THREADS sets it for both).
  cv::setNumThreads(Parallel::Threads());
  // Other programs on the machine change the ratios; the load is printed with them.
  double loadStart = 0;
  getloadavg(&loadStart, 1);
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n%-48s %10s %10s %8s\n", "ratio ours / OpenCV", "ours ms", "OpenCV ms", "ratio");
  for (const TPair& p : gPairs) {
    auto a = reporter.Seconds.find(p.Ours), b = reporter.Seconds.find(p.OpenCV);
    if (a == reporter.Seconds.end() || b == reporter.Seconds.end()) continue;
    std::printf("%-48s %10.2f %10.2f %8.2f\n", p.Ours.substr(5).c_str(), a->second * 1e3, b->second * 1e3,
                a->second / b->second);
  }
  double load[3] = {0, 0, 0};
  getloadavg(load, 3);
  std::printf("(%d threads; OpenCV %s with %d threads; load average %.1f at the start, %.1f at the end)\n",
              Parallel::Threads(), CV_VERSION, cv::getNumThreads(), loadStart, load[0]);
  benchmark::Shutdown();
  return 0;
}
