// The Fourier transform, padding, Lucy-Richardson and the geometry routines,
// side by side with FFTW, OpenCV and scikit-image in the same run.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <algorithm>
#include <random>
#include <sys/resource.h>
#include <string>
#include <thread>
#include <vector>

#include "SideBySide.h"
#include "engine/DataImage.h"
#include "engine/Errors.h"
#include "engine/FFT.h"
#include "engine/Geometry.h"
#include "engine/LucyRichardson1.h"

namespace {

void Random(TDataImage& img, int w, int h, unsigned seed, float lo = 0.0f, float hi = 65535.0f) {
  img.Allocate(w, h, 3, false);
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> d(lo, hi);
  for (std::int64_t i = 0; i < img.PixelCount(); ++i) img.Pixels[i] = d(rng);
}

// ---------------------------------------------------------------- transform

void BM_FFTForward(benchmark::State& state) {
  const int n = int(state.range(0));
  TDataImage img;
  Random(img, n, n, 1);
  img.AllocateComplex(n, n);
  for (auto _ : state) {
    if (!img.FFT()) state.SkipWithError("FFT failed");
    benchmark::DoNotOptimize(img.ComplexPlane);
  }
}

void BM_FFTInverse(benchmark::State& state) {
  const int n = int(state.range(0));
  TDataImage img;
  Random(img, n, n, 2);
  img.AllocateComplex(n, n);
  img.FFT();
  // Every round inverts the same spectrum: inverting the plane again and again
  // would shrink it into subnormal values, which is not what users transform.
  const std::vector<TComplex> spectrum(img.ComplexPlane, img.ComplexPlane + std::size_t(n) * n);
  for (auto _ : state) {
    state.PauseTiming();
    std::copy(spectrum.begin(), spectrum.end(), img.ComplexPlane);
    state.ResumeTiming();
    if (!img.InverseFFT()) state.SkipWithError("inverse FFT failed");
    benchmark::DoNotOptimize(img.Pixels);
  }
}

void BM_FFTW(benchmark::State& state, int threads) {
  const int n = int(state.range(0));
  fftwf_plan_with_nthreads(threads);
  auto* in = fftwf_alloc_complex(std::size_t(n) * n);
  auto* out = fftwf_alloc_complex(std::size_t(n) * n);
  // Planned once with MEASURE, as FFTW's users plan; planning overwrites the
  // arrays, so the data go in afterwards.
  fftwf_plan plan = fftwf_plan_dft_2d(n, n, in, out, FFTW_FORWARD, FFTW_MEASURE);
  fftwf_plan_with_nthreads(1);  // the setting holds for every later plan, ours included
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> d(0.0f, 65535.0f);
  for (std::size_t i = 0; i < std::size_t(n) * n; ++i) {
    in[i][0] = d(rng);
    in[i][1] = 0.0f;
  }
  for (auto _ : state) {
    fftwf_execute(plan);
    benchmark::DoNotOptimize(out);
  }
  fftwf_destroy_plan(plan);
  fftwf_free(in);
  fftwf_free(out);
}

void BM_PadToPowerOfTwo(benchmark::State& state) {
  TDataImage img;
  Random(img, 3000, 2000, 4);
  for (auto _ : state) {
    int ox, oy, pw, ph;
    auto p = PadToPowerOfTwo(img, ox, oy, pw, ph);
    benchmark::DoNotOptimize(p.get());
  }
}

// ---------------------------------------------------------------- Lucy-Richardson

constexpr int LRSide = 2048, PSFSide = 15, LRRounds = 20;

std::vector<float> Kernel15() {
  std::vector<float> k(PSFSide * PSFSide);
  double s = 0;
  for (int j = 0; j < PSFSide; ++j) {
    for (int i = 0; i < PSFSide; ++i)
      s += k[j * PSFSide + i] = float(std::exp(-((i - 7) * (i - 7) + (j - 7) * (j - 7)) / 8.0));
  }
  for (float& v : k) v = float(v / s);
  return k;
}

// The 15 x 15 kernel in a full-size PSF with its centre on pixel (0, 0).
void FullSizePSF(TDataImage& psf) {
  psf.Allocate(LRSide, LRSide, 3, false);
  const auto k = Kernel15();
  for (int j = 0; j < PSFSide; ++j) {
    for (int i = 0; i < PSFSide; ++i) {
      psf.SetPixel((i - 7 + LRSide) % LRSide, (j - 7 + LRSide) % LRSide, k[j * PSFSide + i]);
    }
  }
}

double ProcessSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return double(u.ru_utime.tv_sec) + 1e-6 * double(u.ru_utime.tv_usec) + double(u.ru_stime.tv_sec) +
         1e-6 * double(u.ru_stime.tv_usec);
}

void LRImage(TDataImage& img) { Random(img, LRSide, LRSide, 5, 10.0f, 1000.0f); }

void BM_LucyRichardson20(benchmark::State& state) {
  TDataImage obs, psf;
  LRImage(obs);
  FullSizePSF(psf);
  auto previous = SetInternalErrorHandler([](int) {});
  const double cpu0 = ProcessSeconds();
  for (auto _ : state) {
    auto est = LucyRichardsonDeconvolve(LRRounds, obs, psf);
    if (!est) state.SkipWithError("deconvolution failed");
    benchmark::DoNotOptimize(est.get());
  }
  // CPU time of all threads: with other work on the machine the wall time
  // depends on the cores left free, this does not.
  state.counters["all_threads_cpu_s"] = (ProcessSeconds() - cpu0) / double(state.iterations());
  SetInternalErrorHandler(previous);
}

// scikit-image on the same image and kernel, timed in Python.
double SkimageSeconds() {
  const std::string dir = std::filesystem::temp_directory_path().string();
  TDataImage obs;
  LRImage(obs);
  const auto k = Kernel15();
  {
    std::ofstream f(dir + "/bench_lr_img.bin", std::ios::binary);
    f.write(reinterpret_cast<const char*>(obs.Pixels), std::streamsize(obs.PixelCount() * 4));
    std::ofstream g(dir + "/bench_lr_psf.bin", std::ios::binary);
    g.write(reinterpret_cast<const char*>(k.data()), std::streamsize(k.size() * 4));
  }
  const std::string cmd = std::string("/usr/bin/python3 ") + CORVELLE_SOURCE_DIR +
                          "/bench/skimage_richardson_lucy.py " + dir + "/bench_lr_img.bin " + std::to_string(LRSide) +
                          " " + std::to_string(LRSide) + " " + dir + "/bench_lr_psf.bin " + std::to_string(PSFSide) +
                          " " + std::to_string(LRRounds);
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return -1;
  double s = -1;
  if (std::fscanf(p, "%lf", &s) != 1) s = -1;
  pclose(p);
  return s;
}

// ---------------------------------------------------------------- geometry

constexpr int GeoSide = 4096;

void BM_Rotate33(benchmark::State& state) {
  TDataImage src, dst;
  Random(src, GeoSide, GeoSide, 6);
  auto previous = SetInternalErrorHandler([](int) {});
  for (auto _ : state) {
    Rotate(dst, src, 33.0f);
    benchmark::DoNotOptimize(dst.Pixels);
  }
  SetInternalErrorHandler(previous);
}

void BM_Resample150(benchmark::State& state) {
  TDataImage src, dst;
  Random(src, GeoSide, GeoSide, 7);
  auto previous = SetInternalErrorHandler([](int) {});
  for (auto _ : state) {
    Resample(GeoSide * 3 / 2, GeoSide * 3 / 2, dst, src);
    benchmark::DoNotOptimize(dst.Pixels);
  }
  SetInternalErrorHandler(previous);
}

void BM_OpenCVWarpAffine33(benchmark::State& state) {
  TDataImage src;
  Random(src, GeoSide, GeoSide, 6);
  cv::Mat in(GeoSide, GeoSide, CV_32F, src.Pixels), out;
  const auto rot = GeometryDetail::RotationFor(GeoSide, GeoSide, 33.0f);
  cv::Mat m = cv::getRotationMatrix2D(cv::Point2f(GeoSide / 2.0f, GeoSide / 2.0f), -33.0, 1.0);
  m.at<double>(0, 2) += (rot.NewWidth - GeoSide) / 2.0;
  m.at<double>(1, 2) += (rot.NewHeight - GeoSide) / 2.0;
  for (auto _ : state) {
    cv::warpAffine(in, out, m, cv::Size(rot.NewWidth, rot.NewHeight), cv::INTER_LINEAR);
    benchmark::DoNotOptimize(out.data);
  }
}

void BM_OpenCVResize150(benchmark::State& state) {
  TDataImage src;
  Random(src, GeoSide, GeoSide, 7);
  cv::Mat in(GeoSide, GeoSide, CV_32F, src.Pixels), out;
  for (auto _ : state) {
    cv::resize(in, out, cv::Size(GeoSide * 3 / 2, GeoSide * 3 / 2), 0, 0, cv::INTER_LINEAR);
    benchmark::DoNotOptimize(out.data);
  }
}

// Seconds per iteration of every run, by benchmark name.
class TRecorder : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> Seconds;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& r : runs) {
      if (r.iterations > 0 && !r.error_occurred && r.run_type == Run::RT_Iteration) {
        Seconds[r.run_name.function_name] = r.real_accumulated_time / double(r.iterations);
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

void Ratio(const std::map<std::string, double>& t, const char* what, const char* a, const char* b,
           const char* target = "") {
  const auto ia = t.find(a), ib = t.find(b);
  if (ia == t.end() || ib == t.end()) return;
  std::printf("  %-58s %8.3f  %s\n", what, ia->second / ib->second, target);
}

}  // namespace

int main(int argc, char** argv) {
  fftwf_init_threads();
  SideBySide::PlanOursAsTheProgramDoes();
  const int all = int(std::max(1u, std::thread::hardware_concurrency()));
  const auto ms = benchmark::kMillisecond;
  benchmark::RegisterBenchmark("FFTForward", BM_FFTForward)->Arg(4096)->Unit(ms)->UseRealTime();
  benchmark::RegisterBenchmark("FFTInverse", BM_FFTInverse)->Arg(4096)->Unit(ms)->UseRealTime();
  benchmark::RegisterBenchmark("FFTW_1thread_MEASURE", BM_FFTW, 1)->Arg(4096)->Unit(ms)->UseRealTime();
  benchmark::RegisterBenchmark("FFTW_allthreads_MEASURE", BM_FFTW, all)->Arg(4096)->Unit(ms)->UseRealTime();
  benchmark::RegisterBenchmark("PadToPowerOfTwo_3000x2000", BM_PadToPowerOfTwo)->Unit(ms)->UseRealTime();
  benchmark::RegisterBenchmark("LucyRichardson20_2048", BM_LucyRichardson20)->Iterations(2)->Unit(ms)->UseRealTime();
  benchmark::RegisterBenchmark("Rotate33_4096", BM_Rotate33)->Unit(ms)->UseRealTime();
  benchmark::RegisterBenchmark("OpenCV_warpAffine33_4096", BM_OpenCVWarpAffine33)->Unit(ms)->UseRealTime();
  benchmark::RegisterBenchmark("Resample150_4096", BM_Resample150)->Unit(ms)->UseRealTime();
  benchmark::RegisterBenchmark("OpenCV_resize150_4096", BM_OpenCVResize150)->Unit(ms)->UseRealTime();

  benchmark::Initialize(&argc, argv);
  TRecorder rec;
  benchmark::RunSpecifiedBenchmarks(&rec);

  auto& t = rec.Seconds;
  if (t.count("LucyRichardson20_2048")) {
    const double sk = SkimageSeconds();
    if (sk > 0) {
      t["skimage_richardson_lucy20_2048"] = sk;
      std::printf("skimage richardson_lucy, %d iterations, %d x %d, %d x %d PSF: %.3f s\n", LRRounds, LRSide, LRSide,
                  PSFSide, PSFSide, sk);
    } else {
      std::printf("skimage richardson_lucy could not be timed (python3-skimage missing?)\n");
    }
  }
  double load[3] = {0, 0, 0};
  getloadavg(load, 3);
  std::printf("\nRatios (%d threads, load average %.1f):\n", all, load[0]);
  // Ours runs on all threads here; the summary table compares at 1 thread too.
  Ratio(t, "FFT forward 4096^2 / FFTW all threads MEASURE", "FFTForward", "FFTW_allthreads_MEASURE", "(target <= 1.0)");
  Ratio(t, "FFT inverse 4096^2 / FFTW all threads MEASURE", "FFTInverse", "FFTW_allthreads_MEASURE", "(target <= 1.0)");
  Ratio(t, "skimage richardson_lucy 20 / LucyRichardsonDeconvolve 20", "skimage_richardson_lucy20_2048",
        "LucyRichardson20_2048", "(target >= 5.0)");
  Ratio(t, "Rotate 33 deg 4096^2 / OpenCV warpAffine bilinear", "Rotate33_4096", "OpenCV_warpAffine33_4096");
  Ratio(t, "Resample 150% 4096^2 / OpenCV resize bilinear", "Resample150_4096", "OpenCV_resize150_4096");
  benchmark::Shutdown();
  return 0;
}
