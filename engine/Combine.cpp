#include "engine/Combine.h"

#include <stdexcept>
#include <string>
#include <vector>

#include "engine/Checked.h"
#include "engine/Parallel.h"
#include "engine/StagedRows.h"

int ClampToByte(std::int64_t v) {
  if (v < 0) return 0;
  if (v > 255) return 255;
  return int(v);
}

namespace {

struct TPlane {
  const TDataImage* Image;
  float Rel;
  std::int64_t SX, SY;
  long double Scale = 0;  // 255.0 / maximum
};

float PlaneMaximum(const TDataImage& Image, int W, int H) {
  std::vector<float> rows(std::size_t(H), 0.0f);
  Parallel::For(H, [&](std::int64_t b, std::int64_t e) {
    for (std::int64_t y = b; y < e; ++y) {
      float mx = 0;
      const float* row = Image.Pixels + y * W;
      for (int x = 0; x < W; ++x)
        if (row[x] > mx) mx = row[x];
      rows[std::size_t(y)] = mx;
    }
  }, 64);
  float mx = 0;
  for (float m : rows)
    if (m > mx) mx = m;
  return mx;
}

}  // namespace

void CombineRGB(TDataImage& Red, TDataImage& Green, TDataImage& Blue, float RelR, float RelG, float RelB,
                std::int32_t RX, std::int32_t RY, std::int32_t GX, std::int32_t GY, std::int32_t BX, std::int32_t BY,
                TDataImage& Output) {
  const int w = Output.Width, h = Output.Height;
  if (!Output.IsColour || (Output.PixelCount() > 0 && !Output.RGBPlane))
    throw std::runtime_error("The output image is not a colour image.");
  TPlane planes[3] = {{&Red, RelR, RX, RY}, {&Green, RelG, GX, GY}, {&Blue, RelB, BX, BY}};
  const char* names[3] = {"red", "green", "blue"};
  for (int p = 0; p < 3; ++p) {
    const TDataImage& img = *planes[p].Image;
    if (img.Width != w || img.Height != h || (Output.PixelCount() > 0 && !img.Pixels))
      throw std::runtime_error(std::string("The ") + names[p] + " plane does not have the size of the result.");
  }
  if (Output.PixelCount() == 0) return;
  for (int p = 0; p < 3; ++p) {
    const float mx = PlaneMaximum(*planes[p].Image, w, h);
    // Without a positive pixel the plane has no scale.
    if (mx == 0) throw std::runtime_error(std::string("The ") + names[p] + " plane has no pixel above 0.");
    planes[p].Scale = 255.0L / mx;
  }
  StagedRows::Run<TRGBPixel>(
      h, w,
      [&](int y, TRGBPixel* out, int& done) {
        for (int x = 0; x < w; ++x) {
          int c[3];
          for (int p = 0; p < 3; ++p) {
            const TPlane& pl = planes[p];
            const std::int64_t sx = x - pl.SX, sy = y - pl.SY;
            std::int64_t v = 0;
            if (sx >= 0 && sx < w && sy >= 0 && sy < h) {
              const float pixel = pl.Image->Pixels[sy * w + sx];
              v = Checked::Round(Checked::Div((long double)Checked::Round(pixel * pl.Scale), pl.Rel));
            }
            c[p] = ClampToByte(v);
          }
          out[x] = TRGBPixel{std::uint8_t(c[2]), std::uint8_t(c[1]), std::uint8_t(c[0])};
          done = x + 1;
        }
      },
      [&](int y, const TRGBPixel* out, int count) {
        TRGBPixel* row = Output.RGBPlane + std::int64_t(y) * w;
        for (int x = 0; x < count; ++x) row[x] = out[x];
      });
}
