#include <gtest/gtest.h>

#include <QImage>
#include <cmath>
#include <random>

#include "dialogs/PaletteBuilder.h"

namespace {
TRGBPixel RGB(int R, int G, int B) { return TRGBPixel{std::uint8_t(B), std::uint8_t(G), std::uint8_t(R)}; }
int Chan(const TRGBPixel& P, int C) { return C == 0 ? P.Red : C == 1 ? P.Green : P.Blue; }
}  // namespace

TEST(BuildPalette, WorkedExamplesAndExactSegmentsForEveryPointCount) {
  std::vector<TRGBPixel> seven(7, RGB(0, 0, 0));
  seven[1] = RGB(255, 255, 255);
  struct TCase {
    std::vector<TRGBPixel> Points;
    std::vector<std::pair<int, int>> RedAt;  // entry, red
  };
  const TCase cases[] = {
      {{RGB(0, 0, 0), RGB(255, 255, 255)}, {{0, 1}, {253, 254}, {254, 255}, {255, 255}}},
      {{RGB(10, 0, 0), RGB(200, 0, 0), RGB(0, 0, 0)}, {{31, 58}, {95, 152}, {128, 198}}},  // halves to even
      {seven, {{20, 128}, {34, 212}, {41, 255}}},  // 127.5 and 212.5 summed in extended precision
  };
  for (const TCase& c : cases) {
    TPaletteEntries p{};
    ASSERT_TRUE(BuildPaletteEntries(c.Points, false, p));
    for (auto [entry, red] : c.RedAt) EXPECT_EQ(p[std::size_t(entry)].Red, red) << entry;
  }
  // Any count: each entry is its segment's exact value rounded (either way
  // on a half), after the last segment the last colour, the last 256 mod
  // step entries the one before them; no trace of an earlier palette.
  std::mt19937 rng(7);
  for (int n = 1; n <= MaxColourPoints; ++n) {
    std::vector<TRGBPixel> pts;
    for (int i = 0; i < n; ++i) pts.push_back(RGB(int(rng() % 256), int(rng() % 256), int(rng() % 256)));
    TPaletteEntries p, reversed;
    p.fill(RGB(7, 7, 7));
    ASSERT_EQ(BuildPaletteEntries(pts, false, p), n >= 2);
    if (n < 2) {
      EXPECT_EQ(p[9].Red, 7);
      continue;
    }
    BuildPaletteEntries(pts, true, reversed);
    const int step = int(std::nearbyint(255.0 / (n - 1))), tail = 255 - 256 % step;
    const int last = std::min((n - 1) * step, 255);
    for (int i = 0; i < 256; ++i) {
      const int e = std::min(std::min(i, tail), last);
      const int k = std::min(e / step, n - 2);  // the last segment writing e
      for (int ch = 0; ch < 3; ++ch) {
        const long a = Chan(pts[std::size_t(k)], ch), b = Chan(pts[std::size_t(k) + 1], ch);
        const double exact = std::clamp(double(a * step + (e - k * step + 1) * (b - a)) / step, 0.0, 255.0);
        const int got = Chan(p[std::size_t(i)], ch);
        ASSERT_LE(std::fabs(got - exact), 0.5) << n << " " << i;
        if (std::fabs(exact - std::floor(exact) - 0.5) > 1e-9) {
          ASSERT_EQ(got, int(std::nearbyint(exact))) << n << " " << i;
        }
        ASSERT_EQ(Chan(reversed[std::size_t(255 - i)], ch), got);
      }
    }
  }
}

TEST(ColourPicker, EveryPixelIsItsHueSaturationAndValue) {
  const QImage picker = DrawColourPickerImage();
  ASSERT_EQ(picker.size(), QSize(255, 180));
  for (int y = 0; y < 180; ++y)
    for (int x = 0; x < 255; ++x) {
      // Hexcone model in double; a channel landing on a half may round either way.
      const double s = x <= 127 ? 1.0 : (255 - x) / 127.0, v = x <= 127 ? x / 127.0 : 1.0, h = 2.0 * y / 60;
      const int i = int(h);
      const double f = h - i, p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
      const double rgb[6][3] = {{v, t, p}, {q, v, p}, {p, v, t}, {p, q, v}, {t, p, v}, {v, p, q}};
      const QColor got = picker.pixelColor(x, y);
      const int bytes[3] = {got.red(), got.green(), got.blue()};
      for (int k = 0; k < 3; ++k) {
        const double c = rgb[i][k] * 255;
        if (std::fabs(c - std::floor(c) - 0.5) < 1e-9)
          ASSERT_LE(std::fabs(bytes[k] - c), 0.5 + 1e-6) << x << "," << y;
        else
          ASSERT_EQ(bytes[k], int(std::nearbyint(c))) << x << "," << y;
      }
    }
}
