// Contour tracing, histogram specification and marker registration at the
// sizes users open.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "engine/ColHistogramSpecification.h"
#include "engine/ContourPlot.h"
#include "engine/HistogramSpecification.h"
#include "engine/RegisterImages.h"

namespace {

// A smooth field of blobs with noise, 16-bit range.
void Field(TDataImage& img, int side) {
  img.Allocate(side, side, 1, false);
  std::mt19937 rng(1);
  std::uniform_real_distribution<float> n(0.0f, 50.0f);
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x)
      img.Pixels[std::size_t(y) * side + x] =
          float(30000 + 20000 * std::sin(x * 12.0 / side) * std::cos(y * 9.0 / side)) + n(rng);
}

void Copy(TDataImage& dst, const TDataImage& src) {
  dst.Allocate(src.Width, src.Height, src.DataType, src.IsColour);
  std::copy(src.Pixels, src.Pixels + src.PixelCount(), dst.Pixels);
  if (src.IsColour) std::copy(src.RGBPlane, src.RGBPlane + src.PixelCount(), dst.RGBPlane);
}

void BM_DrawContours(benchmark::State& state) {
  TDataImage src, dst;
  Field(src, int(state.range(0)));
  Copy(dst, src);
  for (auto _ : state) DrawContours(20, 4, dst, 0, 60000, 65535, src);
  state.SetItemsProcessed(state.iterations() * src.PixelCount());
}
BENCHMARK(BM_DrawContours)->Arg(512)->Arg(2048)->Arg(4096)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_HistogramSpecGaussian(benchmark::State& state) {
  TDataImage src, dst;
  Field(src, int(state.range(0)));
  Copy(dst, src);
  for (auto _ : state) HistogramSpecGaussian(dst, src, 128, 16 / 1024.0);
  state.SetItemsProcessed(state.iterations() * src.PixelCount());
}
BENCHMARK(BM_HistogramSpecGaussian)->Arg(512)->Arg(2048)->Arg(4096)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ColHistogramSpecLinear(benchmark::State& state) {
  const int side = int(state.range(0));
  TDataImage src, dst;
  src.Allocate(side, side, 0, true);
  std::mt19937 rng(2);
  for (std::int64_t i = 0; i < src.PixelCount(); ++i) {
    src.RGBPlane[i].Red = std::uint8_t(rng());
    src.RGBPlane[i].Green = std::uint8_t(rng());
    src.RGBPlane[i].Blue = std::uint8_t(rng());
  }
  Copy(dst, src);
  for (auto _ : state) ColHistogramSpecLinear(dst, src);
  state.SetItemsProcessed(state.iterations() * src.PixelCount());
}
BENCHMARK(BM_ColHistogramSpecLinear)->Arg(512)->Arg(2048)->Arg(4096)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RegisterQuadratic(benchmark::State& state) {
  TDataImage target, out;
  Field(target, int(state.range(0)));
  Copy(out, target);
  TMarkerPairArray m{};
  const float s = float(state.range(0));
  const float refs[8][2] = {{.1f, .1f}, {.9f, .1f}, {.5f, .5f}, {.1f, .9f}, {.9f, .9f}, {.3f, .7f}, {.7f, .2f}, {.4f, .3f}};
  for (int i = 0; i < 8; ++i)
    m[std::size_t(i + 1)] = {refs[i][0] * s + 1.5f, refs[i][1] * s - 0.7f, refs[i][0] * s, refs[i][1] * s};
  for (auto _ : state) RegisterQuadratic(2, m, 8, target, target, out);
  state.SetItemsProcessed(state.iterations() * target.PixelCount());
}
BENCHMARK(BM_RegisterQuadratic)->Arg(512)->Arg(2048)->Arg(4096)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
