// Render of grey and colour images at the sizes users open.
#include <benchmark/benchmark.h>

#include <random>

#include "engine/DataImage.h"

namespace {

void FillGrey(TDataImage& img, int side) {
  img.Allocate(side, side, 1, false);
  std::mt19937 rng(1);
  std::uniform_real_distribution<float> d(0.0f, 65535.0f);
  for (std::int64_t i = 0; i < img.PixelCount(); ++i) img.Pixels[i] = d(rng);
  img.AutoScale();
}

void BM_RenderGrey(benchmark::State& state) {
  TDataImage img;
  FillGrey(img, int(state.range(0)));
  img.BlackPoint = 1000.0f;
  img.WhitePoint = 50000.0f;
  for (auto _ : state) {
    img.UpdateBitmap();
    benchmark::DoNotOptimize(img.Bitmap.Bits);
  }
  state.SetItemsProcessed(state.iterations() * img.PixelCount());
}
BENCHMARK(BM_RenderGrey)->Arg(512)->Arg(2048)->Arg(4096)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RenderColour(benchmark::State& state) {
  TDataImage img;
  const int side = int(state.range(0));
  img.Allocate(side, side, 0, true);
  std::mt19937 rng(2);
  auto* bytes = reinterpret_cast<std::uint8_t*>(img.RGBPlane);
  for (std::int64_t i = 0; i < img.PixelCount() * 3; ++i) bytes[i] = std::uint8_t(rng());
  for (auto _ : state) {
    img.UpdateBitmap();
    benchmark::DoNotOptimize(img.Bitmap.Bits);
  }
  state.SetItemsProcessed(state.iterations() * img.PixelCount());
}
BENCHMARK(BM_RenderColour)->Arg(512)->Arg(2048)->Arg(4096)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_AutoScale(benchmark::State& state) {
  TDataImage img;
  FillGrey(img, int(state.range(0)));
  for (auto _ : state) {
    img.AutoScale();
    benchmark::DoNotOptimize(img.WhitePoint);
  }
}
BENCHMARK(BM_AutoScale)->Arg(4096)->Unit(benchmark::kMillisecond);

}  // namespace
