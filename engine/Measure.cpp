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

// The position along one axis weighted by the values above t: for each
// line a = A1..A2, the sum of its values above t over B1..B2, as Single
// running sums. False when either sum is 0.
template <typename TValue>
bool WeightedPosition(int A1, int A2, int B1, int B2, float t, const TValue& Value, float& Position) {
  float sa = 0.0f, sw = 0.0f;
  for (int a = A1; a <= A2; ++a) {
    float r = 0.0f;
    for (int b = B1; b <= B2; ++b) {
      const float v = Value(a, b);
      if (v > t) r += v;
    }
    sa = Checked::ToSingle(sa + (long double)a * r);
    sw += r;
  }
  if (sa == 0.0f || sw == 0.0f) return false;
  Position = Checked::ToSingle(Checked::Div(sa, sw));
  return true;
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

    // Rows give Y, then columns give X, both against the same threshold.
    float y = 0.0f, x = 0.0f;
    if (!WeightedPosition(y1, y2, x1, x2, t, [&](int Row, int Col) { return img.GetPixel(Col, Row); }, y) ||
        !WeightedPosition(x1, x2, y1, y2, t, [&](int Col, int Row) { return img.GetPixel(Col, Row); }, x)) {
      X = Y = 0.0f;
      return false;
    }
    X = x;
    Y = y;
    return true;
  } catch (...) {
    X = Y = 0.0f;
    return false;
  }
}
