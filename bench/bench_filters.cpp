// Neighbourhood filters, point operations and region statistics on 4096 x 4096
// images beside OpenCV on the same data, at 1 thread and at all threads (OpenCV
// told the same count): alternating rounds after a warm-up, the medians, and
// the cores each side kept busy. The filters with a target go to the summary
// table ./bench.sh prints. --benchmark_filter=TEXT keeps the operations whose
// name holds TEXT.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "SideBySide.h"
#include "engine/Errors.h"
#include "engine/Parallel.h"
#include "engine/Processing.h"
#include "engine/Statistics.h"

namespace {

constexpr int kSide = 4096;

// kind 0: floating point, uniform in [0, 65535); kind 1: whole 16-bit values;
// kind 2: floating point over eight decades (no common binary grid).
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

const char* KindName(int kind) { return kind == 0 ? "float" : kind == 1 ? "16-bit" : "float, eight decades"; }

using TOurs = std::function<void(TDataImage& Dst, TDataImage& Src)>;
using TPeer = std::function<void(const cv::Mat& In, cv::Mat& Out)>;

struct TPair {
  std::string Name;  // as in the summary: what and which routine
  int Kind;
  TOurs Ours;
  std::string PeerName;  // OpenCV's call
  TPeer Peer;
  std::string Target1, TargetAll;  // empty: not in the summary
};

int Rounds() {
  const char* s = std::getenv("CORVELLE_BENCH_ROUNDS");
  const int n = s ? std::atoi(s) : 0;
  return n > 0 ? n : 7;
}

std::vector<TPair> Pairs() {
  std::vector<TPair> p;
  for (int kind : {1, 0}) {
    for (int n : {3, 5}) {
      const std::string side = std::to_string(n) + "x" + std::to_string(n);
      // The 3 x 3 median of 16-bit data has its summary row in bench_side_by_side.
      const bool summary = n == 5 && kind == 1;
      p.push_back({"median " + side + " (MedianFilter)", kind,
                   [n](TDataImage& d, TDataImage& s) { MedianFilter(std::uint8_t(n), d, s); },
                   "OpenCV medianBlur",
                   [n](const cv::Mat& m, cv::Mat& o) { cv::medianBlur(m, o, n); }, summary ? "<= 1.2" : "",
                   summary ? "(none)" : ""});
    }
    p.push_back({"minimum 3x3 (MinMaxFilter)", kind, [](TDataImage& d, TDataImage& s) { MinMaxFilter(0, 3, d, s); },
                 "OpenCV erode", [](const cv::Mat& m, cv::Mat& o) { cv::erode(m, o, cv::Mat::ones(3, 3, CV_8U)); },
                 "", ""});
  }
  for (int kind : {1, 0, 2}) {
    for (int n : {3, 7}) {
      const std::string side = std::to_string(n) + "x" + std::to_string(n);
      p.push_back({"mean " + side + " (MeanFilter)", kind,
                   [n](TDataImage& d, TDataImage& s) { MeanFilter(std::uint8_t(n), d, s); }, "OpenCV blur",
                   [n](const cv::Mat& m, cv::Mat& o) { cv::blur(m, o, cv::Size(n, n)); }, n == 7 ? "<= 1.0" : "",
                   n == 7 ? "<= 1.0" : ""});
    }
    p.push_back({"sharpen 3x3 (Filter3x3, Sharpen Little)", kind, [](TDataImage& d, TDataImage& s) { Filter3x3(1, d, s); },
                 "OpenCV filter2D",
                 [](const cv::Mat& m, cv::Mat& o) {
                   static const cv::Mat k = (cv::Mat_<float>(3, 3) << 0, -1, 0, -1, 5, -1, 0, -1, 0);
                   cv::filter2D(m, o, -1, k);
                 },
                 "<= 1.0", "<= 1.0"});
    // OpenCV's Sobel is one derivative: take both and the magnitude, as the filter does.
    p.push_back({"Sobel magnitude (SobelFilter)", kind, [](TDataImage& d, TDataImage& s) { SobelFilter(d, s); },
                 "OpenCV Sobel x, Sobel y, magnitude",
                 [](const cv::Mat& m, cv::Mat& o) {
                   cv::Mat gx, gy, f;
                   if (m.depth() == CV_32F) f = m; else m.convertTo(f, CV_32F);
                   cv::Sobel(f, gx, CV_32F, 1, 0);
                   cv::Sobel(f, gy, CV_32F, 0, 1);
                   cv::magnitude(gx, gy, o);
                 },
                 "", ""});
  }
  for (int kind : {1, 0}) {
    auto minMax = [](const cv::Mat& m, cv::Mat&) {
      double lo, hi;
      cv::Point a, b;
      cv::minMaxLoc(m, &lo, &hi, &a, &b);
      if (lo > hi) std::printf("?");
    };
    p.push_back({"region histogram (CalcRegionHistogram)", kind,
                 [](TDataImage&, TDataImage& s) {
                   TRegionHistogram h;
                   CalcRegionHistogram(0, 0, kSide - 1, kSide - 1, s, h);
                 },
                 "OpenCV minMaxLoc", minMax, "", ""});
    p.push_back({"region statistics (CalcRegionStatistics)", kind,
                 [](TDataImage&, TDataImage& s) {
                   TRegionStatistics st;
                   CalcRegionStatistics(0, 0, kSide - 1, kSide - 1, s, st);
                 },
                 "OpenCV minMaxLoc", minMax, "", ""});
  }
  return p;
}

void SetThreads(int n) {
  Parallel::SetThreads(n);
  cv::setNumThreads(n);
}

}  // namespace

int main(int argc, char** argv) {
  // Error reports of the routines (all 0 here) would only clutter the output.
  SetInternalErrorHandler([](int) {});
  std::string filter;
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], "--benchmark_filter=", 19) == 0) filter = argv[i] + 19;
  const int all = SideBySide::AllThreads();
  const std::vector<TPair> pairs = Pairs();
  std::printf("%-44s %-22s %7s %9s %9s %7s  %s\n", "operation", "data", "threads", "ours ms", "OpenCV ms", "ratio",
              "cores busy: ours, OpenCV");
  for (const int t : all > 1 ? std::vector<int>{1, all} : std::vector<int>{1}) {
    SetThreads(t);
    for (const TPair& p : pairs) {
      if (!filter.empty() && p.Name.find(filter) == std::string::npos) continue;
      TData& d = Data(p.Kind);
      const cv::Mat& in = p.Kind == 1 ? d.Mat16 : d.Mat32;
      const auto r = SideBySide::Compare([&] { p.Ours(d.Dst, d.Src); }, [&] { p.Peer(in, d.Out); }, Rounds());
      std::printf("%-44s %-22s %7d %9.2f %9.2f %7.2f  %.1f, %.1f\n", p.Name.c_str(), KindName(p.Kind), t, r.Ours * 1e3,
                  r.Peer * 1e3, r.Ours / r.Peer, r.OursCores, r.PeerCores);
      const std::string& target = t == 1 ? p.Target1 : p.TargetAll;
      if (!target.empty()) {
        const std::string peer = p.PeerName + " " + (p.Kind == 1 ? "CV_16U" : "CV_32F") + ", setNumThreads(" +
                                 std::to_string(t) + "), ran " + SideBySide::OnCores(r.PeerCores);
        SideBySide::Row(p.Name + ", " + KindName(p.Kind), std::to_string(kSide) + "x" + std::to_string(kSide), t,
                        r.Ours, peer, r.Peer, target);
      }
    }
    // No peer: ours alone.
    const std::pair<const char*, TOurs> alone[] = {
        {"median 7x7 (MedianFilter)", [](TDataImage& d, TDataImage& s) { MedianFilter(7, d, s); }},
        {"gamma 2.2 (Gamma)", [](TDataImage& d, TDataImage& s) { Gamma(d, s, 2.2f); }}};
    for (const auto& [name, ours] : alone) {
      if (!filter.empty() && std::string(name).find(filter) == std::string::npos) continue;
      for (int kind : {1, 0}) {
        TData& d = Data(kind);
        const auto r = SideBySide::Compare([&] { ours(d.Dst, d.Src); }, [] {}, Rounds());
        std::printf("%-44s %-22s %7d %9.2f %9s %7s  %.1f\n", name, KindName(kind), t, r.Ours * 1e3, "-", "-",
                    r.OursCores);
      }
    }
  }
  SetThreads(0);
  std::printf("(OpenCV %s; load average %.1f at the end)\n", CV_VERSION, SideBySide::LoadAverage());
  return 0;
}
