// The picture codecs at the sizes users open: decoding from memory, encoding,
// and the copy of a picture into a colour image.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "formats/Bitmap.h"
#include "formats/Bmp2Tiff.h"
#include "formats/JPG.h"
#include "formats/TIFFex.h"

namespace {

TFastBMP Picture(int Side) {
  TFastBMP bmp;
  bmp.SetSize(Side, Side);
  std::mt19937 rng(1);
  for (std::size_t i = 0; i < bmp.ImageBytes; ++i) bmp.Bits[i] = std::uint8_t(rng() & 0x3F);
  return bmp;
}

std::vector<std::uint8_t> Slurp(const std::string& Name) {
  std::ifstream in(Name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string TempName(const char* Ext) { return "/tmp/corvelle-bench-codec" + std::string(Ext); }

void BM_TIFFDecodeRGB(benchmark::State& state) {
  const TFastBMP bmp = Picture(int(state.range(0)));
  std::string error;
  WriteTIFFFile(TempName(".tif"), bmp, error);
  const auto file = Slurp(TempName(".tif"));
  std::remove(TempName(".tif").c_str());
  for (auto _ : state) {
    TTIFFGraphic g;
    g.LoadFromMemory(file.data(), file.size());
    benchmark::DoNotOptimize(g.Bitmap.Bits);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(0));
}
BENCHMARK(BM_TIFFDecodeRGB)->Arg(512)->Arg(2048)->Arg(4096)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_TIFFWrite(benchmark::State& state) {
  const TFastBMP bmp = Picture(int(state.range(0)));
  std::string error;
  for (auto _ : state) benchmark::DoNotOptimize(WriteTIFFFile(TempName(".tif"), bmp, error));
  std::remove(TempName(".tif").c_str());
  state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(0));
}
BENCHMARK(BM_TIFFWrite)->Arg(512)->Arg(2048)->Arg(4096)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_BMPDecode24(benchmark::State& state) {
  const TFastBMP bmp = Picture(int(state.range(0)));
  std::string error;
  WriteBMPFile(TempName(".bmp"), bmp, error);
  const auto file = Slurp(TempName(".bmp"));
  std::remove(TempName(".bmp").c_str());
  for (auto _ : state) {
    TFastBMP out;
    benchmark::DoNotOptimize(DecodeBMP(file.data(), file.size(), out));
  }
  state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(0));
}
BENCHMARK(BM_BMPDecode24)->Arg(512)->Arg(2048)->Arg(4096)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_JPEGDecode(benchmark::State& state) {
  const TFastBMP bmp = Picture(int(state.range(0)));
  std::vector<std::uint8_t> file;
  EncodeJPEG(bmp, 75, false, file);
  for (auto _ : state) {
    TFastBMP out;
    benchmark::DoNotOptimize(DecodeJPEG(file.data(), file.size(), out));
  }
  state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(0));
}
BENCHMARK(BM_JPEGDecode)->Arg(512)->Arg(2048)->Arg(4096)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_JPEGEncode(benchmark::State& state) {
  const TFastBMP bmp = Picture(int(state.range(0)));
  std::vector<std::uint8_t> file;
  for (auto _ : state) benchmark::DoNotOptimize(EncodeJPEG(bmp, 75, false, file));
  state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(0));
}
BENCHMARK(BM_JPEGEncode)->Arg(512)->Arg(2048)->Arg(4096)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PictureToImage(benchmark::State& state) {
  const TFastBMP bmp = Picture(int(state.range(0)));
  TDataImage image;
  for (auto _ : state) benchmark::DoNotOptimize(PictureToImage(bmp, image));
  state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(0));
}
BENCHMARK(BM_PictureToImage)->Arg(512)->Arg(2048)->Arg(4096)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
