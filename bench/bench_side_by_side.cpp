// The operations users wait for most, ours beside the peer an expert would
// use, at 1 thread and at all threads, interleaved, medians after a warm-up.
// Rows go to the summary table that ./bench.sh prints at the end.
#include <fftw3.h>
#include <fitsio.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <random>
#include <string>
#include <vector>

#include "SideBySide.h"
#include "engine/DataImage.h"
#include "engine/Errors.h"
#include "engine/FFT.h"
#include "engine/LucyRichardson1.h"
#include "engine/Parallel.h"
#include "engine/Processing.h"
#include "formats/FITS.h"

namespace {

using SideBySide::Compare;
using SideBySide::Row;

int Rounds() {
  const char* s = std::getenv("CORVELLE_BENCH_ROUNDS");
  const int n = s ? std::atoi(s) : 0;
  return n > 0 ? n : 7;
}

void SetThreads(int n) {
  Parallel::SetThreads(n);
  cv::setNumThreads(n);
}

void Random(TDataImage& img, int w, int h, unsigned seed, std::uint8_t type = 3, float lo = 0, float hi = 65535) {
  img.Allocate(w, h, type, false);
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> d(lo, hi);
  for (std::int64_t i = 0; i < img.PixelCount(); ++i) img.Pixels[i] = type == 3 ? d(rng) : std::floor(d(rng));
}

std::string Side(int n) { return std::to_string(n) + "x" + std::to_string(n); }

// A line above the summary table (./bench.sh prints the notes file there).
void Note(const std::string& Text) {
  std::printf("%s\n", Text.c_str());
  if (const char* path = std::getenv("CORVELLE_BENCH_NOTES")) {
    if (FILE* f = std::fopen(path, "a")) {
      std::fprintf(f, "%s\n", Text.c_str());
      std::fclose(f);
    }
  }
}

// ---------------------------------------------------------------- render

// OpenCV's side of a row: the call, the thread count it was given and the
// cores it kept busy, measured.
std::string Peer(const std::string& Call, int Threads, double Cores) {
  return Call + ", setNumThreads(" + std::to_string(Threads) + "), ran " + SideBySide::OnCores(Cores);
}

// The render beside the same work in OpenCV: the scaled conversion to bytes
// (rounding halves to even, saturating) and the three bytes of each pixel;
// where the image has a palette, a table of 256 entries for each of the three
// (OpenCV's LUT is fastest one channel at a time) merged into the pixels.
void Render(const std::vector<int>& threads) {
  TPaletteEntries pal;
  cv::Mat lut[3] = {cv::Mat(1, 256, CV_8U), cv::Mat(1, 256, CV_8U), cv::Mat(1, 256, CV_8U)};
  for (int i = 0; i < 256; ++i) {
    pal[i] = TRGBPixel{std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i / 2)};
    lut[0].at<std::uint8_t>(0, i) = pal[i].Blue;
    lut[1].at<std::uint8_t>(0, i) = pal[i].Green;
    lut[2].at<std::uint8_t>(0, i) = pal[i].Red;
  }
  for (const int side : {4096, 1024}) {
    TDataImage img;
    Random(img, side, side, side == 4096 ? 1 : 11);
    img.BlackPoint = 1000.0f;
    img.WhitePoint = 50000.0f;
    cv::Mat src(side, side, CV_32F, img.Pixels), bytes, channels[3], out;
    const double alpha = 255.0 / (img.WhitePoint - img.BlackPoint), beta = -img.BlackPoint * alpha;
    const int rounds = Rounds() * (side == 4096 ? 3 : 20);
    for (const bool palette : {false, true}) {
      if (palette) img.SetPalette(pal);
      const std::string op = std::string("display render (UpdateBitmap), ") + (palette ? "palette" : "grey");
      for (int t : threads) {
        SetThreads(t);
        const auto r = Compare([&] { img.UpdateBitmap(); },
                               [&] {
                                 src.convertTo(bytes, CV_8U, alpha, beta);
                                 if (palette) {
                                   for (int c = 0; c < 3; ++c) cv::LUT(bytes, lut[c], channels[c]);
                                   cv::merge(channels, 3, out);
                                 } else {
                                   cv::cvtColor(bytes, out, cv::COLOR_GRAY2BGR);
                                 }
                               },
                               rounds);
        const std::string call = std::string("OpenCV convertTo CV_8U + ") +
                                 (palette ? "LUT for each channel + merge" : "cvtColor GRAY2BGR");
        const std::string target = palette ? (side == 4096 ? "<= 1.0" : "(none)") : t == 1 ? "<= 1.2" : "(none)";
        Row(op, Side(side), t, r.Ours, Peer(call, t, r.PeerCores), r.Peer, target);
        if (side == 4096 && !palette) {
          const double floor = 7.0 * double(img.PixelCount()) / SideBySide::CopyBandwidth(t);
          Row(op, Side(side), t, r.Ours, "memory floor, 7 B/pixel at memcpy speed", floor, "<= 4.0 at all threads");
        }
      }
    }
  }
  // 512 x 512, grey and the palette above: all threads beside one (where
  // handing out parts costs more than it saves).
  for (const bool grey : {true, false}) {
    const int side = 512;
    TDataImage small;
    Random(small, side, side, 11);
    small.BlackPoint = 1000.0f;
    small.WhitePoint = 50000.0f;
    if (!grey) small.SetPalette(pal);
    const std::string op = std::string("display render (UpdateBitmap), ") + (grey ? "grey" : "palette");
    for (int t : threads) {
      if (t == 1) continue;
      SetThreads(t);
      const auto r = Compare([&] { small.UpdateBitmap(); },
                             [&] {
                               SetThreads(1);
                               small.UpdateBitmap();
                               SetThreads(t);
                             },
                             Rounds() * 20);
      Row(op, Side(side), t, r.Ours, "ours at 1 thread", r.Peer, "<= 1.0");
    }
  }
}

// ---------------------------------------------------------------- transform

// The peer's measured plans are kept between runs in the build folder (the
// benchmark's own folder when ./bench.sh names none), never in the sources.
struct TWisdom {
  std::string Path;
  TWisdom() {
    const char* dir = std::getenv("CORVELLE_BENCH_DIR");
    Path = (dir ? std::filesystem::path(dir) : std::filesystem::read_symlink("/proc/self/exe").parent_path()) /
           "fftw-wisdom";
    fftwf_import_wisdom_from_filename(Path.c_str());
  }
  ~TWisdom() { fftwf_export_wisdom_to_filename(Path.c_str()); }
};

void Transform(const std::vector<int>& threads) {
  const int n = 4096;
  const std::size_t count = std::size_t(n) * n;
  TDataImage img;
  Random(img, n, n, 2);
  img.AllocateComplex(n, n);
  for (int t : threads) {
    SetThreads(t);
    fftwf_plan_with_nthreads(t);
    fftwf_complex* in = fftwf_alloc_complex(count);
    fftwf_complex* out = fftwf_alloc_complex(count);
    float* real = fftwf_alloc_real(count);
    fftwf_complex* half = fftwf_alloc_complex(std::size_t(n) * (n / 2 + 1));
    // MEASURE overwrites the arrays: the data go in after planning.
    fftwf_plan c2c = fftwf_plan_dft_2d(n, n, in, out, FFTW_FORWARD, FFTW_MEASURE);
    fftwf_plan r2c = fftwf_plan_dft_r2c_2d(n, n, real, half, FFTW_MEASURE);
    fftwf_plan_with_nthreads(1);
    for (std::size_t i = 0; i < count; ++i) {
      in[i][0] = real[i] = img.Pixels[i];
      in[i][1] = 0;
    }
    // FFT fills the whole plane, the half spectrum and its mirror.
    const auto a = Compare([&] { img.FFT(); }, [&] { fftwf_execute(c2c); }, Rounds());
    Row("2-D transform, forward, whole plane (FFT)", Side(n), t, a.Ours, "FFTW complex MEASURE", a.Peer, "<= 1.0");
    const auto b = Compare([&] { img.FFT(); }, [&] { fftwf_execute(r2c); }, Rounds());
    Row("2-D transform, forward, whole plane (FFT)", Side(n), t, b.Ours, "FFTW real-input MEASURE", b.Peer, "(none)");
    const auto c = Compare([&] { ForwardRealFFT(img, nullptr); }, [&] { fftwf_execute(r2c); }, Rounds());
    Row("2-D transform, forward, half spectrum (ForwardRealFFT)", Side(n), t, c.Ours, "FFTW real-input MEASURE", c.Peer,
        "(none)");
    fftwf_destroy_plan(c2c);
    fftwf_destroy_plan(r2c);
    fftwf_free(in);
    fftwf_free(out);
    fftwf_free(real);
    fftwf_free(half);
  }
}

// ---------------------------------------------------------------- Lucy-Richardson

constexpr int LRSide = 2048, PSFSide = 15, LRRounds = 20;

// The 15 x 15 Gaussian in a full-size plane with its centre on pixel (0, 0).
void FullSizePSF(TDataImage& psf) {
  psf.Allocate(LRSide, LRSide, 3, false);
  double s = 0;
  std::vector<double> k(PSFSide * PSFSide);
  for (int j = 0; j < PSFSide; ++j)
    for (int i = 0; i < PSFSide; ++i) s += k[j * PSFSide + i] = std::exp(-((i - 7) * (i - 7) + (j - 7) * (j - 7)) / 8.0);
  for (int j = 0; j < PSFSide; ++j)
    for (int i = 0; i < PSFSide; ++i)
      psf.SetPixel((i - 7 + LRSide) % LRSide, (j - 7 + LRSide) % LRSide, float(k[j * PSFSide + i] / s));
}

// Lucy-Richardson in float32 on FFTW's real-input transforms, as one writes
// it to be fast: the PSF's transform once, four transforms per round.
class TFFTWLucy {
 public:
  TFFTWLucy(const TDataImage& psf) : n(psf.Width), count(std::size_t(n) * n), halfCount(std::size_t(n) * (n / 2 + 1)) {
    est = fftwf_alloc_real(count);
    work = fftwf_alloc_real(count);
    spec = fftwf_alloc_complex(halfCount);
    otf = fftwf_alloc_complex(halfCount);
    fwd = fftwf_plan_dft_r2c_2d(n, n, work, spec, FFTW_MEASURE);
    inv = fftwf_plan_dft_c2r_2d(n, n, spec, work, FFTW_MEASURE);
    std::copy(psf.Pixels, psf.Pixels + count, work);
    fftwf_execute(fwd);
    const float scale = 1.0f / float(count);
    for (std::size_t i = 0; i < halfCount; ++i) {
      otf[i][0] = spec[i][0] * scale;
      otf[i][1] = spec[i][1] * scale;
    }
  }
  ~TFFTWLucy() {
    fftwf_destroy_plan(fwd);
    fftwf_destroy_plan(inv);
    fftwf_free(est);
    fftwf_free(work);
    fftwf_free(spec);
    fftwf_free(otf);
  }

  void Run(const float* obs, int rounds) {
    std::copy(obs, obs + count, est);
    for (int r = 0; r < rounds; ++r) {
      std::copy(est, est + count, work);
      Convolve(false);
      Each(count, [&](std::size_t i) { work[i] = obs[i] / work[i]; });
      Convolve(true);
      Each(count, [&](std::size_t i) { est[i] *= work[i]; });
    }
  }

 private:
  template <class F>
  static void Each(std::size_t count, F&& f) {
    Parallel::For(std::int64_t(count), [&](std::int64_t b, std::int64_t e) {
      for (std::int64_t i = b; i < e; ++i) f(std::size_t(i));
    }, 1 << 16);
  }
  void Convolve(bool conj) {
    fftwf_execute(fwd);
    const float s = conj ? -1.0f : 1.0f;
    Each(halfCount, [&](std::size_t i) {
      const float a = spec[i][0], b = spec[i][1], c = otf[i][0], d = s * otf[i][1];
      spec[i][0] = a * c - b * d;
      spec[i][1] = a * d + b * c;
    });
    fftwf_execute(inv);
  }

  int n;
  std::size_t count, halfCount;
  float* est;
  float* work;
  fftwf_complex* spec;
  fftwf_complex* otf;
  fftwf_plan fwd, inv;
};

void Lucy(const std::vector<int>& threads) {
  TDataImage obs, psf;
  Random(obs, LRSide, LRSide, 5, 3, 10.0f, 1000.0f);
  FullSizePSF(psf);
  auto previous = SetInternalErrorHandler([](int) {});
  for (int t : threads) {
    SetThreads(t);
    fftwf_plan_with_nthreads(t);
    TFFTWLucy peer(psf);
    fftwf_plan_with_nthreads(1);
    const auto r = Compare(
        [&] {
          auto est = LucyRichardsonDeconvolve(LRRounds, obs, psf);
          if (!est) std::fprintf(stderr, "deconvolution failed\n");
        },
        [&] { peer.Run(obs.Pixels, LRRounds); }, std::max(3, Rounds() / 2));
    Row("Lucy-Richardson, 20 rounds", Side(LRSide), t, r.Ours, "float32 on FFTW real-input", r.Peer, "<= 1.3");
  }
  SetInternalErrorHandler(previous);
}

// ---------------------------------------------------------------- FITS open

std::string TempName(const char* tag) {
  const char* tmp = std::getenv("TMPDIR");
  return std::string(tmp ? tmp : "/tmp") + "/corvelle-sbs-" + tag + "-" + std::to_string(getpid()) + ".fits";
}

// astropy's getdata (as float32), timed inside Python over several calls.
// The conversion from the file's big-endian values reads every one of them,
// so no further pass over the data is timed.
double AstropySeconds(const std::string& name) {
  const std::string cmd = "/usr/bin/python3 -c \"import time,statistics,numpy as np\nfrom astropy.io import fits\n"
                          "fits.getdata('" + name + "')\nt=[]\nfor i in range(" + std::to_string(Rounds()) +
                          "):\n s=time.perf_counter()\n d=fits.getdata('" + name +
                          "').astype(np.float32,copy=False)\n t.append(time.perf_counter()-s)\n"
                          "print(statistics.median(t))\" 2>/dev/null";
  FILE* p = popen(cmd.c_str(), "r");
  double s = -1;
  if (!p || std::fscanf(p, "%lf", &s) != 1) s = -1;
  if (p) pclose(p);
  return s;
}

void FITSOpen(int all) {
  const int n = 4096;
  for (bool isFloat : {true, false}) {
    TDataImage img;
    Random(img, n, n, 6, isFloat ? 3 : 1);
    const std::string name = TempName(isFloat ? "f" : "i");
    TFITSHeader h;
    isFloat ? WriteFITSFloat(name, h, img) : WriteFITS16(name, h, img);
    std::vector<float> buf(std::size_t(n) * n);
    const std::string op = std::string("FITS open, ") + (isFloat ? "float" : "16-bit") + " (LoadFITS)";
    for (int t : {1, all}) {
      SetThreads(t);
      auto ours = [&] {
        auto r = LoadFITS(name);
        if (!r.Image) std::fprintf(stderr, "read failed\n");
      };
      const auto r = Compare(ours,
                             [&] {
                               fitsfile* f = nullptr;
                               int status = 0, anynul = 0;
                               long first[2] = {1, 1};
                               fits_open_file(&f, name.c_str(), READONLY, &status);
                               fits_read_pix(f, TFLOAT, first, long(buf.size()), nullptr, buf.data(), &anynul, &status);
                               fits_close_file(f, &status);
                             },
                             Rounds());
      Row(op, Side(n), t, r.Ours, "cfitsio fits_read_pix into a buffer (no threads)", r.Peer, "<= 1.5");
      // astropy runs in its own process: timed on its own, not interleaved.
      const double astropy = AstropySeconds(name);
      if (astropy > 0) {
        Row(op, Side(n), t, r.Ours, "astropy getdata (no threads; own process, not interleaved)", astropy, "<= 1.0");
      }
      const double fileBytes = double(n) * n * (isFloat ? 4 : 2);
      const double floor = (fileBytes + 4.0 * double(n) * n) / SideBySide::CopyBandwidth(1);
      Row(op, Side(n), t, r.Ours, "memory floor, file + plane at 1-thread memcpy speed", floor, "(none)");
    }
    std::remove(name.c_str());
  }
}

// ---------------------------------------------------------------- median

// OpenCV's medianBlur has no threaded path: it runs on one core whatever
// setNumThreads says (the rows say what it kept busy). Our 1-thread row is
// the like-for-like one; the all-thread row shows what the program does.
void Median16(int all) {
  const int n = 4096;
  TDataImage src, dst;
  Random(src, n, n, 7, 1);
  dst.Allocate(n, n, 1, false);
  cv::Mat m32(n, n, CV_32F, src.Pixels), m16, out;
  m32.convertTo(m16, CV_16U);
  auto previous = SetInternalErrorHandler([](int) {});
  for (int t : {1, all}) {
    SetThreads(t);
    const auto r = Compare([&] { MedianFilter(3, dst, src); }, [&] { cv::medianBlur(m16, out, 3); }, Rounds() * 2);
    Row("median 3x3, 16-bit data (MedianFilter)", Side(n), t, r.Ours,
        Peer("OpenCV medianBlur CV_16U", t, r.PeerCores), r.Peer, t == 1 ? "<= 1.1" : "(none)");
  }
  // 512 x 512: all threads beside one.
  const int side = 512;
  TDataImage small, smallDst;
  Random(small, side, side, 12, 1);
  smallDst.Allocate(side, side, 1, false);
  cv::Mat s32(side, side, CV_32F, small.Pixels), s16, sOut;
  s32.convertTo(s16, CV_16U);
  for (int t : {1, all}) {
    SetThreads(t);
    const auto r =
        Compare([&] { MedianFilter(3, smallDst, small); }, [&] { cv::medianBlur(s16, sOut, 3); }, Rounds() * 20);
    Row("median 3x3, 16-bit data (MedianFilter)", Side(side), t, r.Ours,
        Peer("OpenCV medianBlur CV_16U", t, r.PeerCores), r.Peer, t == 1 ? "<= 1.1" : "(none)");
    if (t > 1) {
      const auto own = Compare([&] { MedianFilter(3, smallDst, small); },
                               [&] {
                                 SetThreads(1);
                                 MedianFilter(3, smallDst, small);
                                 SetThreads(t);
                               },
                               Rounds() * 20);
      Row("median 3x3, 16-bit data (MedianFilter)", Side(side), t, own.Ours, "ours at 1 thread", own.Peer, "<= 1.0");
    }
  }
  SetInternalErrorHandler(previous);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string only = argc > 1 && argv[1][0] != '-' ? argv[1] : "";
  fftwf_init_threads();
  SideBySide::PlanOursAsTheProgramDoes();
  TWisdom wisdom;
  Note("Transform in use: " + TransformDescription());
  const int all = SideBySide::AllThreads();
  const std::vector<int> threads = all > 1 ? std::vector<int>{1, all} : std::vector<int>{1};
  std::printf("operation\tsize\tthreads\tours ms\tpeer\tpeer ms\tratio\ttarget\tload\n");
  if (only.empty() || only == "render") Render(threads);
  if (only.empty() || only == "fits") FITSOpen(all);
  if (only.empty() || only == "median") Median16(all);
  if (only.empty() || only == "fft") Transform(threads);
  if (only.empty() || only == "lucy") Lucy(threads);
  SetThreads(0);
  return 0;
}
