// Reading and writing 16-bit and floating-point FITS files, ours beside
// cfitsio (fits_read_pix / fits_write_pix) and astropy, at the sizes users open.
#include <benchmark/benchmark.h>
#include <fitsio.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "formats/FITS.h"

namespace {

std::string TempName(const char* Tag, int Side) {
  const char* tmp = std::getenv("TMPDIR");
  return std::string(tmp ? tmp : "/tmp") + "/corvelle-bench-" + Tag + "-" + std::to_string(Side) + "-" +
         std::to_string(getpid()) + ".fits";
}

void Fill(TDataImage& Img, int Side, bool Float) {
  Img.Allocate(Side, Side, Float ? 3 : 1, false);
  std::mt19937 rng(1);
  std::uniform_int_distribution<int> d(0, 65535);
  for (std::int64_t i = 0; i < Img.PixelCount(); ++i) Img.Pixels[i] = Float ? d(rng) * 0.37f : float(d(rng));
}

// A file written by our writer, removed at the end of the benchmark.
struct TFile {
  std::string Name;
  TFile(const char* Tag, int Side, bool Float) : Name(TempName(Tag, Side)) {
    TDataImage img;
    Fill(img, Side, Float);
    TFITSHeader h;
    Float ? WriteFITSFloat(Name, h, img) : WriteFITS16(Name, h, img);
  }
  ~TFile() { std::remove(Name.c_str()); }
};

void ReadOurs(benchmark::State& State, bool Float) {
  const int side = int(State.range(0));
  TFile file(Float ? "rf" : "r16", side, Float);
  for (auto _ : State) {
    auto r = LoadFITS(file.Name);
    if (!r.Image) State.SkipWithError("read failed");
    benchmark::DoNotOptimize(r.Image->Pixels);
  }
  State.SetBytesProcessed(State.iterations() * std::int64_t(side) * side * (Float ? 4 : 2));
}

// The data readers alone, into an image already allocated (the same work as
// fits_read_pix into a buffer); LoadFITS adds a fresh plane and AutoScale.
void ReadOursData(benchmark::State& State, bool Float) {
  const int side = int(State.range(0));
  TFile file(Float ? "df" : "d16", side, Float);
  TDataImage img;
  img.Allocate(side, side, Float ? 3 : 1, false);
  for (auto _ : State) {
    TFITSHeader h;
    const int cards = ReadFITSHeader(file.Name, h);
    Float ? ReadFITSFloat(file.Name, h, cards, img) : ReadFITS16(file.Name, h, cards, img);
    benchmark::DoNotOptimize(img.Pixels);
  }
  State.SetBytesProcessed(State.iterations() * std::int64_t(side) * side * (Float ? 4 : 2));
}

void ReadCFITSIO(benchmark::State& State, bool Float) {
  const int side = int(State.range(0));
  TFile file(Float ? "cf" : "c16", side, Float);
  std::vector<float> buf(std::size_t(side) * side);
  for (auto _ : State) {
    fitsfile* f = nullptr;
    int status = 0, anynul = 0;
    long first[2] = {1, 1};
    fits_open_file(&f, file.Name.c_str(), READONLY, &status);
    fits_read_pix(f, TFLOAT, first, long(buf.size()), nullptr, buf.data(), &anynul, &status);
    fits_close_file(f, &status);
    if (status) State.SkipWithError("cfitsio failed");
    benchmark::DoNotOptimize(buf.data());
  }
  State.SetBytesProcessed(State.iterations() * std::int64_t(side) * side * (Float ? 4 : 2));
}

void WriteOurs(benchmark::State& State, bool Float) {
  const int side = int(State.range(0));
  TDataImage img;
  Fill(img, side, Float);
  const std::string name = TempName(Float ? "wf" : "w16", side);
  for (auto _ : State) {
    TFITSHeader h;
    const auto m = Float ? WriteFITSFloat(name, h, img) : WriteFITS16(name, h, img);
    if (!m.empty()) State.SkipWithError("write failed");
  }
  std::remove(name.c_str());
  State.SetBytesProcessed(State.iterations() * std::int64_t(side) * side * (Float ? 4 : 2));
}

void WriteCFITSIO(benchmark::State& State, bool Float) {
  const int side = int(State.range(0));
  TDataImage img;
  Fill(img, side, Float);
  const std::string name = TempName(Float ? "xf" : "x16", side);
  for (auto _ : State) {
    fitsfile* f = nullptr;
    int status = 0;
    long axes[2] = {side, side}, first[2] = {1, 1};
    fits_create_file(&f, ("!" + name).c_str(), &status);
    fits_create_img(f, Float ? FLOAT_IMG : USHORT_IMG, 2, axes, &status);
    fits_write_pix(f, TFLOAT, first, long(img.PixelCount()), img.Pixels, &status);
    fits_close_file(f, &status);
    if (status) State.SkipWithError("cfitsio failed");
  }
  std::remove(name.c_str());
  State.SetBytesProcessed(State.iterations() * std::int64_t(side) * side * (Float ? 4 : 2));
}

// astropy, timed inside Python (the interpreter's start is not counted).
void ReadAstropy(benchmark::State& State, bool Float) {
  const int side = int(State.range(0));
  TFile file(Float ? "af" : "a16", side, Float);
  const std::string cmd = "/usr/bin/python3 -c \"import time,numpy as np\nfrom astropy.io import fits\n"
                          "t=[]\nfor i in range(3):\n s=time.perf_counter()\n d=fits.getdata('" +
                          file.Name + "').astype(np.float32)\n t.append(time.perf_counter()-s)\nprint(min(t))\"";
  for (auto _ : State) {
    FILE* p = popen(cmd.c_str(), "r");
    double seconds = -1;
    if (!p || std::fscanf(p, "%lf", &seconds) != 1) State.SkipWithError("astropy did not run");
    if (p) pclose(p);
    State.SetIterationTime(seconds);
  }
  State.SetBytesProcessed(State.iterations() * std::int64_t(side) * side * (Float ? 4 : 2));
}

// astropy writing the same kind of data (uint16 with BZERO 32768, or float32).
void WriteAstropy(benchmark::State& State, bool Float) {
  const int side = int(State.range(0));
  const std::string name = TempName(Float ? "yf" : "y16", side);
  const std::string data = Float ? "(np.random.default_rng(1).integers(0,65536,(S,S))*0.37).astype(np.float32)"
                                 : "np.random.default_rng(1).integers(0,65536,(S,S)).astype(np.uint16)";
  const std::string cmd = "/usr/bin/python3 -c \"import time,numpy as np\nfrom astropy.io import fits\nS=" +
                          std::to_string(side) + "\nd=" + data +
                          "\nt=[]\nfor i in range(3):\n s=time.perf_counter()\n fits.PrimaryHDU(d).writeto('" + name +
                          "',overwrite=True)\n t.append(time.perf_counter()-s)\nprint(min(t))\"";
  for (auto _ : State) {
    FILE* p = popen(cmd.c_str(), "r");
    double seconds = -1;
    if (!p || std::fscanf(p, "%lf", &seconds) != 1) State.SkipWithError("astropy did not run");
    if (p) pclose(p);
    State.SetIterationTime(seconds);
  }
  std::remove(name.c_str());
  State.SetBytesProcessed(State.iterations() * std::int64_t(side) * side * (Float ? 4 : 2));
}

void BM_ReadFITS16_Ours(benchmark::State& s) { ReadOurs(s, false); }
void BM_ReadFITS16_OursData(benchmark::State& s) { ReadOursData(s, false); }
void BM_ReadFITS16_CFITSIO(benchmark::State& s) { ReadCFITSIO(s, false); }
void BM_ReadFITS16_Astropy(benchmark::State& s) { ReadAstropy(s, false); }
void BM_ReadFITSFloat_Ours(benchmark::State& s) { ReadOurs(s, true); }
void BM_ReadFITSFloat_OursData(benchmark::State& s) { ReadOursData(s, true); }
void BM_ReadFITSFloat_CFITSIO(benchmark::State& s) { ReadCFITSIO(s, true); }
void BM_ReadFITSFloat_Astropy(benchmark::State& s) { ReadAstropy(s, true); }
void BM_WriteFITS16_Ours(benchmark::State& s) { WriteOurs(s, false); }
void BM_WriteFITS16_CFITSIO(benchmark::State& s) { WriteCFITSIO(s, false); }
void BM_WriteFITSFloat_Ours(benchmark::State& s) { WriteOurs(s, true); }
void BM_WriteFITSFloat_CFITSIO(benchmark::State& s) { WriteCFITSIO(s, true); }
void BM_WriteFITS16_Astropy(benchmark::State& s) { WriteAstropy(s, false); }
void BM_WriteFITSFloat_Astropy(benchmark::State& s) { WriteAstropy(s, true); }

#define SIZES Arg(512)->Arg(2048)->Arg(4096)->Unit(benchmark::kMillisecond)
BENCHMARK(BM_ReadFITS16_Ours)->SIZES->UseRealTime();
BENCHMARK(BM_ReadFITS16_OursData)->SIZES->UseRealTime();
BENCHMARK(BM_ReadFITS16_CFITSIO)->SIZES->UseRealTime();
BENCHMARK(BM_ReadFITS16_Astropy)->SIZES->UseManualTime()->Iterations(2);
BENCHMARK(BM_ReadFITSFloat_Ours)->SIZES->UseRealTime();
BENCHMARK(BM_ReadFITSFloat_OursData)->SIZES->UseRealTime();
BENCHMARK(BM_ReadFITSFloat_CFITSIO)->SIZES->UseRealTime();
BENCHMARK(BM_ReadFITSFloat_Astropy)->SIZES->UseManualTime()->Iterations(2);
BENCHMARK(BM_WriteFITS16_Ours)->SIZES->UseRealTime();
BENCHMARK(BM_WriteFITS16_CFITSIO)->SIZES->UseRealTime();
BENCHMARK(BM_WriteFITSFloat_Ours)->SIZES->UseRealTime();
BENCHMARK(BM_WriteFITSFloat_CFITSIO)->SIZES->UseRealTime();
BENCHMARK(BM_WriteFITS16_Astropy)->SIZES->UseManualTime()->Iterations(2);
BENCHMARK(BM_WriteFITSFloat_Astropy)->SIZES->UseManualTime()->Iterations(2);

}  // namespace
