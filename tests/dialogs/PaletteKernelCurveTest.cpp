#include <gtest/gtest.h>

#include <QImage>
#include <cmath>
#include <cstdlib>
#include <random>

#include "dialogs/HistSpecCurves.h"
#include "dialogs/PaletteBuilder.h"
#include "dialogs/StoredSettings.h"

namespace {
TRGBPixel RGB(int R, int G, int B) { return TRGBPixel{std::uint8_t(B), std::uint8_t(G), std::uint8_t(R)}; }
int Red(const TRGBPixel& P) { return P.Red; }
int Chan(const TRGBPixel& P, int C) { return C == 0 ? P.Red : C == 1 ? P.Green : P.Blue; }

// Entry I of the palette as exact rationals say it: the last segment that
// writes I, stepped (I - s + 1) times from its point.
double ExactEntry(const std::vector<TRGBPixel>& Points, int I, int C, bool& Tie) {
  const int n = int(Points.size());
  const int step = int(std::nearbyint(255.0 / (n - 1)));
  int k = -1;
  for (int j = 0; j + 1 < n; ++j)
    if (j * step <= I && I <= std::min(j * step + step, 255)) k = j;
  if (k < 0) {
    Tie = false;
    return -1;  // after the last segment
  }
  const long long a = Chan(Points[std::size_t(k)], C), b = Chan(Points[std::size_t(k) + 1], C);
  const long long num = a * step + (I - k * step + 1) * (b - a);  // value = num / step
  Tie = (2 * std::llabs(num)) % step == 0 && (2 * std::llabs(num) / step) % 2 == 1;
  return std::clamp(double(num) / step, 0.0, 255.0);
}
}  // namespace

TEST(BuildPalette, WorkedExamples) {
  struct TCase {
    const char* Name;
    std::vector<TRGBPixel> Points;
    std::vector<std::pair<int, int>> RedAt;  // entry, red value
  };
  std::vector<TRGBPixel> seven(7, RGB(0, 0, 0));
  seven[1] = RGB(255, 255, 255);
  const TCase cases[] = {
      {"black to white", {RGB(0, 0, 0), RGB(255, 255, 255)}, {{0, 1}, {100, 101}, {253, 254}, {254, 255}, {255, 255}}},
      {"three points, step 128", {RGB(0, 0, 0), RGB(100, 0, 0), RGB(228, 0, 0)}, {{127, 100}, {128, 101}, {255, 228}}},
      // Halves go to the even neighbour.
      {"ties to even", {RGB(10, 10, 10), RGB(200, 200, 200), RGB(0, 0, 0)}, {{95, 152}, {31, 58}, {128, 198}}},
      // 21 x 255 / 42 = 127.5 and 35 x 255 / 42 = 212.5.
      {"seven points, 0 to 255", seven, {{20, 128}, {34, 212}, {40, 249}, {41, 255}}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TPaletteEntries palette{};
    ASSERT_TRUE(BuildPaletteEntries(c.Points, false, palette));
    for (auto [entry, red] : c.RedAt) EXPECT_EQ(Red(palette[std::size_t(entry)]), red) << "entry " << entry;
  }
  // Seven points: step 42, rem 4: entries 251 .. 255 repeat entry 251.
  std::vector<TRGBPixel> ramp;
  for (int i = 0; i < 7; ++i) ramp.push_back(RGB(i * 40, 255 - i * 40, i * 5));
  TPaletteEntries palette{};
  ASSERT_TRUE(BuildPaletteEntries(ramp, false, palette));
  for (int i = 252; i <= 255; ++i) {
    EXPECT_EQ(palette[std::size_t(i)].Red, palette[251].Red);
    EXPECT_EQ(palette[std::size_t(i)].Green, palette[251].Green);
    EXPECT_EQ(palette[std::size_t(i)].Blue, palette[251].Blue);
  }
  EXPECT_NE(palette[250].Green, palette[251].Green);
}

TEST(BuildPalette, FollowsExactSegmentsForEveryPointCount) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int n = 1; n <= MaxColourPoints; ++n) {
    SCOPED_TRACE(n);
    std::vector<TRGBPixel> points;
    for (int i = 0; i < n; ++i) points.push_back(RGB(byte(rng), byte(rng), byte(rng)));
    // Whatever an earlier palette left must not show through.
    TPaletteEntries first, second;
    first.fill(RGB(7, 7, 7));
    second.fill(RGB(250, 1, 99));
    const bool built = BuildPaletteEntries(points, false, first);
    ASSERT_EQ(built, n >= 2);
    if (!built) {
      EXPECT_EQ(first[10].Red, 7);  // a single point builds nothing
      continue;
    }
    BuildPaletteEntries(points, false, second);
    const int step = int(std::nearbyint(255.0 / (n - 1)));
    const int tailStart = 255 - 256 % step;
    int lastWritten = 0;
    for (int i = 0; i < 256; ++i) {
      bool tie = false;
      if (ExactEntry(points, i, 0, tie) >= 0) lastWritten = i;
    }
    for (int i = 0; i < 256; ++i) {
      ASSERT_EQ(first[std::size_t(i)].Red, second[std::size_t(i)].Red) << i;
      ASSERT_EQ(first[std::size_t(i)].Blue, second[std::size_t(i)].Blue) << i;
      const int from = i >= tailStart ? std::min(tailStart, lastWritten) : std::min(i, lastWritten);
      for (int c = 0; c < 3; ++c) {
        bool tie = false;
        const double exact = ExactEntry(points, from, c, tie);
        const int got = Chan(first[std::size_t(i)], c);
        if (tie)
          ASSERT_LE(std::fabs(got - exact), 0.5) << "entry " << i << " channel " << c;
        else
          ASSERT_EQ(got, int(std::nearbyint(exact))) << "entry " << i << " channel " << c;
      }
    }
    // Reverse mapping mirrors the whole palette.
    TPaletteEntries reversed{};
    BuildPaletteEntries(points, true, reversed);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(reversed[std::size_t(i)].Green, first[std::size_t(255 - i)].Green);
  }
}

TEST(ColourPicker, EveryPixelIsItsHueSaturationAndValue) {
  const QImage picker = DrawColourPickerImage();
  ASSERT_EQ(picker.size(), QSize(255, 180));
  // Hexcone model computed in double, as a reference independent of ours.
  // Where a channel times 255 lies on a half, the roundings before it decide
  // the byte, so either neighbour is accepted there.
  auto check = [](double h, double s, double v, const QColor& got) {
    h = std::fmod(h, 360.0) / 60.0;
    const int i = int(h);
    const double f = h - i, p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
    double c[3];
    switch (i) {
      case 0: c[0] = v; c[1] = t; c[2] = p; break;
      case 1: c[0] = q; c[1] = v; c[2] = p; break;
      case 2: c[0] = p; c[1] = v; c[2] = t; break;
      case 3: c[0] = p; c[1] = q; c[2] = v; break;
      case 4: c[0] = t; c[1] = p; c[2] = v; break;
      default: c[0] = v; c[1] = p; c[2] = q; break;
    }
    const int bytes[3] = {got.red(), got.green(), got.blue()};
    for (int k = 0; k < 3; ++k) {
      const double x = c[k] * 255;
      if (std::fabs(x - std::floor(x) - 0.5) < 1e-9) {
        if (bytes[k] != int(std::floor(x)) && bytes[k] != int(std::ceil(x))) return false;
      } else if (bytes[k] != int(std::nearbyint(x))) {
        return false;
      }
    }
    return true;
  };
  for (int y = 0; y < 180; ++y)
    for (int x = 0; x < 255; ++x) {
      const QColor got = picker.pixelColor(x, y);
      const bool ok = x <= 127 ? check(2.0 * y, 1.0, x / 127.0, got) : check(2.0 * y, (255 - x) / 127.0, 1.0, got);
      ASSERT_TRUE(ok) << x << "," << y << ": " << got.red() << " " << got.green() << " " << got.blue();
    }
  EXPECT_EQ(picker.pixelColor(127, 0), QColor(255, 0, 0));   // top row red
  EXPECT_EQ(picker.pixelColor(0, 90), QColor(0, 0, 0));      // black on the left
  EXPECT_EQ(picker.pixelColor(127, 60), QColor(0, 255, 0));  // 120 degrees
  EXPECT_EQ(picker.pixelColor(254, 0), QColor(255, 253, 253));  // towards white on the right
}

TEST(StoredSettings, KernelAndPaletteTexts) {
  struct TKernel {
    long double Values[9];
    const char* Text;
  };
  const TKernel kernels[] = {
      {{0, -1, 0, -1, 5, -1, 0, -1, 0}, "0,-1,0,-1,5,-1,0,-1,0"},
      {{1, -2, 0.5L, 1e-5L, 255, -255, 0.25L, 100.125L, -0.0001L}, "1,-2,0.5,1E-5,255,-255,0.25,100.125,-0.0001"},
  };
  for (const TKernel& k : kernels) EXPECT_EQ(StoredSettings::FormatKernel(k.Values).toStdString(), k.Text);

  EXPECT_EQ(FormatPalettePoints({RGB(0, 0, 0), RGB(255, 255, 255)}), QStringLiteral("0,0,0,255,255,255"));
  struct TPal {
    const char* Text;
    int Count;
    bool Ok;
  };
  const TPal pals[] = {
      {"0,0,0,255,255,255", 2, true}, {"1,2,3", 1, true},       {"1,2,3,4,5,6", 1, false},
      {"1,2,3,4,5", 2, false},        {"1,2,x,4,5,6", 2, false}, {"", 0, false},
      {"1,2,3", -1, false},           {"1,2,3", 129, false},
  };
  for (const TPal& p : pals) {
    std::vector<TRGBPixel> points{RGB(9, 9, 9)};
    EXPECT_EQ(ParsePalettePoints(QString::fromLatin1(p.Text), p.Count, points), p.Ok) << p.Text;
    if (p.Ok) {
      EXPECT_EQ(int(points.size()), p.Count);
      EXPECT_EQ(FormatPalettePoints(points), QString::fromLatin1(p.Text));
    } else {
      EXPECT_EQ(points.size(), 1u);  // untouched
    }
  }
  EXPECT_FALSE(StoredSettings::UsableName(QString()));
  EXPECT_FALSE(StoredSettings::UsableName(QStringLiteral("a\\b")));
  EXPECT_FALSE(StoredSettings::UsableName(QStringLiteral("a/b")));
  EXPECT_TRUE(StoredSettings::UsableName(QStringLiteral("Sharpen 3x3")));
}

TEST(HistogramTargetCurve, ShapesOfTheSixTargets) {
  struct TCase {
    int Item;
    std::size_t Count;
    double FirstX, LastX;
    std::vector<std::pair<double, double>> At;  // x, y
  };
  const double w = 16 / 1024.0;
  const TCase cases[] = {
      {0, 256, 0, 255, {{0, 128}, {255, 128}}},
      {1, 256, 0, 255, {{128, 256}, {100, 255 * std::exp(-w * w * 28 * 28 / 2) + 1}}},
      {2, 4096, 0, 4095, {{0, 256}, {35, 255 * std::exp(-1.0 / 35) + 1}, {4095, 255 * std::exp(-4095.0 / 35 / 35) + 1}}},
      {3, 256, 0, 255, {{0, 255 - 255 / std::pow(255 / 128.0 + 1, 2)}, {255, 0}}},
      {4, 256, 0, 255, {{0, 255 - 255 / std::pow(255 / 128.0 + 1, 3)}, {255, 0}}},
      {5, 256, 0, 255, {{0, 255}, {200, 55}}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Item);
    const std::vector<QPointF> curve = HistogramTargetCurve(c.Item, 128, 16);
    ASSERT_EQ(curve.size(), c.Count);
    double lo = 1e9, hi = -1e9;
    for (const QPointF& p : curve) {
      lo = std::min(lo, p.x());
      hi = std::max(hi, p.x());
    }
    EXPECT_EQ(lo, c.FirstX);
    EXPECT_EQ(hi, c.LastX);
    for (auto [x, y] : c.At) {
      bool found = false;
      for (const QPointF& p : curve)
        if (p.x() == x) {
          EXPECT_NEAR(p.y(), y, 1e-9) << "x = " << x;
          found = true;
        }
      EXPECT_TRUE(found) << "x = " << x;
    }
  }
  // Parabolic and cubic come in from x = 0 upwards although built downwards.
  EXPECT_EQ(HistogramTargetCurve(4, 128, 16).front().x(), 0.0);
  EXPECT_NEAR(HistogramTargetCurve(4, 128, 16).front().y(), 245.5, 0.1);
  EXPECT_NEAR(HistogramTargetCurve(3, 128, 16).front().y(), 226.5, 0.1);
  // The Gaussian follows its sliders.
  EXPECT_NEAR(HistogramTargetCurve(1, 40, 100)[40].y(), 256, 1e-9);
  EXPECT_LT(HistogramTargetCurve(1, 40, 100)[128].y(), 2);
}
