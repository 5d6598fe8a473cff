#include "dialogs/HistSpecCurves.h"

#include <cmath>

std::vector<QPointF> HistogramTargetCurve(int Item, int Centre, int Width) {
  std::vector<QPointF> points;
  switch (Item) {
    case 0:
      for (int i = 0; i <= 255; ++i) points.emplace_back(i, 128);
      break;
    case 1: {
      const long double w = Width / 1024.0L;
      for (int i = 0; i <= 255; ++i) {
        const long double d = (long double)i - Centre;
        points.emplace_back(i, double(255 * std::exp(w * w * (-(d * d) / 2)) + 1));
      }
      break;
    }
    case 2:
      // A fixed shape over 4096 points, whatever the sliders say.
      for (int i = 0; i <= 4095; ++i) points.emplace_back(i, double(255 * std::exp(-std::fabs(i / 35.0L) / 35) + 1));
      break;
    case 3:
    case 4: {
      const int power = Item == 3 ? 2 : 3;
      for (int i = 255; i >= 0; --i) {
        const long double t = 255 - 255 / std::pow(i / 128.0L + 1, (long double)power);
        points.emplace_back(255 - i, double(t));
      }
      break;
    }
    case 5:
      for (int i = 0; i <= 255; ++i) points.emplace_back(i, 255 - i);
      break;
    default:
      break;
  }
  return points;
}
