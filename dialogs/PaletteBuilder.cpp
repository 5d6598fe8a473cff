#include "dialogs/PaletteBuilder.h"

#include <QStringList>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "engine/ClampByte.h"
#include "engine/HSV.h"

namespace {
std::uint8_t Channel(const TRGBPixel& P, int C) { return C == 0 ? P.Red : C == 1 ? P.Green : P.Blue; }
void SetChannel(TRGBPixel& P, int C, std::uint8_t V) { (C == 0 ? P.Red : C == 1 ? P.Green : P.Blue) = V; }
}  // namespace

bool BuildPaletteEntries(const std::vector<TRGBPixel>& Points, bool Reverse, TPaletteEntries& Palette) {
  const int n = int(Points.size());
  if (n < 2) return false;
  const int step = int(std::nearbyint(255.0L / (n - 1)));
  const int rem = 256 % step;
  int last = 0;  // the last entry a segment wrote
  for (int k = 0; k + 1 < n; ++k) {
    const int s = k * step;
    if (s > 255) break;
    const int end = std::min(s + step, 255);
    for (int c = 0; c < 3; ++c) {
      const int a = Channel(Points[std::size_t(k)], c), b = Channel(Points[std::size_t(k) + 1], c);
      // Extended precision throughout: the steps land on halves, and the
      // accumulated value decides which way they round.
      const long double inc = (long double)std::abs(b - a) / step;
      long double v = a;
      for (int i = s; i <= end; ++i) {
        if (a < b)
          v = v + inc;
        else if (a > b)
          v = v - inc;
        SetChannel(Palette[std::size_t(i)], c, ClampByte(std::int64_t(std::nearbyint(v))));
      }
    }
    last = end;
  }
  // With many points the segments stop short of the end; the rest takes the
  // last colour written rather than what an earlier palette left there.
  for (int i = last + 1; i < 256; ++i) Palette[std::size_t(i)] = Palette[std::size_t(last)];
  for (int i = 255 - rem; i <= 255; ++i) Palette[std::size_t(i)] = Palette[std::size_t(255 - rem)];
  if (Reverse) std::reverse(Palette.begin(), Palette.end());
  return true;
}

QImage DrawColourPickerImage(int Width, int Height) {
  QImage image(Width, Height, QImage::Format_RGB32);
  const int half = Width / 2;
  for (int y = 0; y < Height; ++y) {
    const double hue = double(360.0L * y / Height);
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < Width; ++x) {
      double r = 0, g = 0, b = 0;
      if (x <= half)
        HSVToRGB(hue, 1.0, double((long double)x / half), r, g, b);
      else
        HSVToRGB(hue, double((long double)std::abs(x - Width) / half), 1.0, r, g, b);
      auto byte = [](double c) { return int(ClampByte(std::int64_t(std::nearbyint((long double)c * 255)))); };
      line[x] = qRgb(byte(r), byte(g), byte(b));
    }
  }
  return image;
}

QString FormatPalettePoints(const std::vector<TRGBPixel>& Points) {
  QStringList parts;
  for (const TRGBPixel& p : Points)
    parts << QString::number(p.Red) << QString::number(p.Green) << QString::number(p.Blue);
  return parts.join(QLatin1Char(','));
}

bool ParsePalettePoints(const QString& Text, int Count, std::vector<TRGBPixel>& Points) {
  if (Count < 1 || Count > MaxColourPoints) return false;
  const QStringList parts = Text.split(QLatin1Char(','));
  if (parts.size() != 3 * Count) return false;
  std::vector<TRGBPixel> out(static_cast<std::size_t>(Count));
  for (int i = 0; i < parts.size(); ++i) {
    bool ok = false;
    const int v = parts[i].trimmed().toInt(&ok);
    if (!ok) return false;
    // A byte of the point, as the colour boxes clamp it.
    SetChannel(out[std::size_t(i / 3)], i % 3, ClampByte(v));
  }
  Points = std::move(out);
  return true;
}
