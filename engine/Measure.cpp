#include "engine/Measure.h"

#include <cstdint>

#include "engine/Checked.h"
#include "engine/Errors.h"

namespace {

const char* const NoAreaText =
    "There is no area currently defined.  To define an area, draw a bounding box around the region of interest.";
const char* const NoCentroidText = "Corvelle Image could not determine the centroid for the selected region.";

// The mean of a rectangle from a Single running sum, and 1.1 times it.
float Threshold(const TDataImage& Img, int X1, int Y1, int X2, int Y2) {
  float sum = 0.0f;
  std::int64_t count = 0;
  for (int y = Y1; y <= Y2; ++y)
    for (int x = X1; x <= X2; ++x) {
      sum += Img.GetPixel(x, y);
      ++count;
    }
  const float mean = Checked::ToSingle(Checked::Div(sum, count));
  return Checked::ToSingle(mean + 0.1L * mean);
}

int Clamp(std::int64_t v, int Side) {
  if (v < 0) return 0;
  if (v >= Side) return Side - 1;
  return int(v);
}

}  // namespace

bool CalcCentroid(float& X, float& Y, const IMeasureSource& Child) {
  int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  if (!Child.GetSelection(x1, y1, x2, y2)) {
    ShowEngineWarning(NoAreaText);
    X = Y = 0.0f;
    return false;
  }
  try {
    const TDataImage& img = Child.Image();
    const float t = Threshold(img, x1, y1, x2, y2);
    float sx = 0.0f, sy = 0.0f, n = 0.0f;
    for (int y = y1; y <= y2; ++y)
      for (int x = x1; x <= x2; ++x)
        if (img.GetPixel(x, y) > t) {
          sx += float(x);
          sy += float(y);
          n += 1.0f;
        }
    if (n == 0.0f || sx == 0.0f || sy == 0.0f) {
      ShowEngineWarning(NoCentroidText);
      X = Y = 0.0f;
      return false;
    }
    X = Checked::ToSingle(Checked::Div(sx, n));
    Y = Checked::ToSingle(Checked::Div(sy, n));
    return true;
  } catch (...) {
    X = Y = 0.0f;
    return false;
  }
}

bool MeasureStarCentroid(float& X, float& Y, int BoxSize, const IMeasureSource& Child) {
  try {
    const TDataImage& img = Child.Image();
    const int h = BoxSize / 2;
    const int x1 = Clamp(Checked::Round((long double)X - h), img.Width);
    const int x2 = Clamp(Checked::Round((long double)X + h), img.Width);
    const int y1 = Clamp(Checked::Round((long double)Y - h), img.Height);
    const int y2 = Clamp(Checked::Round((long double)Y + h), img.Height);
    const float t = Threshold(img, x1, y1, x2, y2);

    float sy = 0.0f, sw = 0.0f;
    for (int y = y1; y <= y2; ++y) {
      float r = 0.0f;
      for (int x = x1; x <= x2; ++x) {
        const float v = img.GetPixel(x, y);
        if (v > t) r += v;
      }
      sy = Checked::ToSingle(sy + (long double)y * r);
      sw += r;
    }
    if (sy == 0.0f || sw == 0.0f) {
      X = Y = 0.0f;
      return false;
    }
    Y = Checked::ToSingle(Checked::Div(sy, sw));

    float sx = 0.0f;
    sw = 0.0f;
    for (int x = x1; x <= x2; ++x) {
      float c = 0.0f;
      for (int y = y1; y <= y2; ++y) {
        const float v = img.GetPixel(x, y);
        if (v > t) c += v;
      }
      sx = Checked::ToSingle(sx + (long double)x * c);
      sw += c;
    }
    if (sx == 0.0f || sw == 0.0f) {
      X = Y = 0.0f;
      return false;
    }
    X = Checked::ToSingle(Checked::Div(sx, sw));
    return true;
  } catch (...) {
    X = Y = 0.0f;
    return false;
  }
}
