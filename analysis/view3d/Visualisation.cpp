#include "analysis/view3d/Visualisation.h"

#include <algorithm>
#include <cmath>

#include "platform/NumFormat.h"

namespace {
constexpr int AnchorAt[5] = {0, 64, 128, 192, 255};
using TAnchors = std::array<std::array<int, 3>, 5>;

// A smooth ramp through five colours: straight lines between the anchors,
// exact at each of them.
constexpr TColourTable Ramp(const TAnchors& A) {
  TColourTable t{};
  for (int seg = 0; seg < 4; ++seg) {
    const int a0 = AnchorAt[seg], a1 = AnchorAt[seg + 1], d = a1 - a0;
    for (int k = a0; k <= a1; ++k)
      for (int c = 0; c < 3; ++c) {
        // Every mix of two bytes is >= 0, so this rounds to the nearest.
        const int v = A[seg][c] * (a1 - k) + A[seg + 1][c] * (k - a0);
        t[k][c] = std::uint8_t((2 * v + d) / (2 * d));
      }
  }
  return t;
}

constexpr TColourTable Tables[BuiltInColourTableCount] = {
    Ramp({{{0, 128, 0}, {131, 255, 66}, {255, 255, 0}, {255, 62, 31}, {255, 255, 255}}}),   // Green To Red
    Ramp({{{255, 0, 0}, {255, 193, 0}, {0, 255, 0}, {66, 66, 223}, {128, 0, 128}}}),        // Rainbow
    Ramp({{{143, 9, 228}, {254, 76, 52}, {113, 245, 25}, {1, 177, 204}, {141, 11, 230}}}),  // Chroma
    Ramp({{{255, 0, 0}, {255, 96, 0}, {255, 192, 0}, {255, 255, 66}, {255, 255, 255}}}),     // Fire
};
}  // namespace

const TColourTable& BuiltInColourTable(int Index) { return Tables[Index]; }

SurfaceRecord BuildSurfaceMesh(const TDataImage& Image) {
  SurfaceRecord s;
  const int W = Image.Width, H = Image.Height;
  if (W <= 0 || H <= 0 || !Image.Pixels) return s;
  // Both steps are the longer side / 128, exactly.
  const float step = float(W >= H ? W : H) / 128.0f;
  if (H <= W) {
    s.MeshColumns = SurfaceMeshSize;
    s.MeshRows = int(std::nearbyint((long double)H / W * 128));
  } else {
    s.MeshRows = SurfaceMeshSize;
    s.MeshColumns = int(std::nearbyint((long double)W / H * 128));
  }
  const float sx = step, sy = step;
  const float* px = Image.Pixels;
  // Every cell of the mesh is sampled; a step that falls beyond the last
  // pixel takes the edge pixel, so the far edge does not drop to 0.
  auto index = [](float f, int Side) { return std::min<std::int64_t>(std::int64_t(std::nearbyint(f)), Side - 1); };
  const int columns = std::min(s.MeshColumns, SurfaceMeshSize), rows = std::min(s.MeshRows, SurfaceMeshSize);
  float fy = 0.0f;
  for (int j = 0; j < rows; ++j, fy = fy + sy) {
    const std::int64_t row = index(fy, H) * W;
    float fx = 0.0f;
    for (int i = 0; i < columns; ++i, fx = fx + sx) s.Heights[i][j] = px[row + index(fx, W)];
  }
  return s;
}

void FillSurfaceColours(int Palette, SurfaceRecord& Surface, bool UseColour, std::uint32_t Colour) {
  if (UseColour) {
    const TRGBPixel c{std::uint8_t(Colour & 0xFF), std::uint8_t((Colour >> 8) & 0xFF),
                      std::uint8_t((Colour >> 16) & 0xFF)};
    for (TRGBPixel& e : Surface.Colours) e = c;
    return;
  }
  if (Palette >= 0 && Palette < BuiltInColourTableCount) {
    const TColourTable& t = Tables[Palette];
    for (int k = 0; k < 256; ++k) {
      Surface.Colours[k].Red = t[k][0];
      Surface.Colours[k].Green = t[k][1];
      Surface.Colours[k].Blue = t[k][2];
    }
  } else if (Palette == BuiltInColourTableCount) {
    for (int k = 0; k < 256; ++k) Surface.Colours[k] = {std::uint8_t(k), std::uint8_t(k), std::uint8_t(k)};
  }
}

std::string SurfaceRefusal(const SurfaceRecord& Surface) {
  if (Surface.MeshColumns < 2 || Surface.MeshRows < 2)
    return "This image is too narrow for three dimensional visualisation: it must give at least two rows and "
           "two columns of samples.";
  float mx = 0.0f, mn = 2.0e32f;
  for (int i = 0; i < Surface.MeshColumns; ++i)
    for (int j = 0; j < Surface.MeshRows; ++j) {
      mx = std::max(mx, Surface.Heights[i][j]);
      mn = std::min(mn, Surface.Heights[i][j]);
    }
  if (mx <= 0.0f) return "Three dimensional visualisation needs an image with values above zero.";
  if (mx == mn) return "Three dimensional visualisation needs an image whose values are not all the same.";
  return {};
}

void TSurfaceGeometry::Point(int i, int j, float P[3]) const {
  P[0] = float((long double)(i - cx) / 128);
  P[1] = Height(i, j);
  P[2] = float((long double)(j - cy) / 128);
}

TSurfaceGeometry BuildSurfaceGeometry(const SurfaceRecord& Surface) {
  TSurfaceGeometry g;
  g.Columns = std::clamp(Surface.MeshColumns, 0, SurfaceMeshSize);
  g.Rows = std::clamp(Surface.MeshRows, 0, SurfaceMeshSize);
  g.cx = g.Columns / 2;
  g.cy = g.Rows / 2;
  g.Heights.assign(std::size_t(SurfaceMeshSize) * SurfaceMeshSize, 0.0f);
  g.Normals.assign(std::size_t(SurfaceMeshSize) * SurfaceMeshSize * 3, 0.0f);
  float mx = 0.0f, mn = 2.0e32f;
  for (int i = 0; i < g.Columns; ++i)
    for (int j = 0; j < g.Rows; ++j) {
      mx = std::max(mx, Surface.Heights[i][j]);
      mn = std::min(mn, Surface.Heights[i][j]);
    }
  g.DataMax = mx;
  // A maximum at or below zero would divide by zero or turn the surface over.
  const long double divisor = mx > 0.0f ? (long double)mx * Surface.Exaggeration : 1.0L;
  g.NormMax = 0.0f;
  g.NormMin = 2.0e32f;
  for (int i = 0; i < g.Columns; ++i)
    for (int j = 0; j < g.Rows; ++j) {
      const float h = float(Surface.Heights[i][j] / divisor);
      g.Heights[std::size_t(i) * SurfaceMeshSize + j] = h;
      g.NormMax = std::max(g.NormMax, h);
      g.NormMin = std::min(g.NormMin, h);
    }
  if (g.Columns < 2 || g.Rows < 2) return g;

  auto normal = [&g](int i, int j) { return &g.Normals[(std::size_t(i) * SurfaceMeshSize + j) * 3]; };
  for (int x = 0; x <= g.Columns - 2; ++x)
    for (int y = 0; y <= g.Rows - 2; ++y) {
      float p0[3], p1[3], p2[3];
      g.Point(x, y, p0);
      g.Point(x, y + 1, p1);
      g.Point(x + 1, y + 1, p2);
      long double a[3], b[3];
      for (int c = 0; c < 3; ++c) {
        a[c] = (long double)p0[c] - p1[c];
        b[c] = (long double)p1[c] - p2[c];
      }
      long double n[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
      long double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
      if (len == 0) len = 1;
      float* out = normal(x, y);
      for (int c = 0; c < 3; ++c) out[c] = float(n[c] / len);
    }
  // The last row and column take their neighbours' normals.
  for (int x = 0; x <= g.Columns - 2; ++x) std::copy_n(normal(x, g.Rows - 2), 3, normal(x, g.Rows - 1));
  for (int y = 0; y < g.Rows; ++y) std::copy_n(normal(g.Columns - 2, y), 3, normal(g.Columns - 1, y));
  return g;
}

int SurfaceColourIndex(float H, float Min, float Max) {
  if (!(Max > Min)) return 0;
  const long double v = (255.0L / ((long double)Max - Min)) * ((long double)H - Min);
  if (!(v > 0)) return 0;
  if (v >= 255) return 255;
  return int(std::nearbyint(v));
}

std::vector<TSurfaceVertex> SurfaceQuads(const SurfaceRecord& Surface, const TSurfaceGeometry& Geometry) {
  std::vector<TSurfaceVertex> out;
  if (Geometry.Columns < 2 || Geometry.Rows < 2) return out;
  out.reserve(std::size_t(Geometry.Columns - 1) * (Geometry.Rows - 1) * 4);
  auto vertex = [&](int i, int j) {
    TSurfaceVertex v;
    const TRGBPixel c =
        Surface.Colours[SurfaceColourIndex(Geometry.Height(i, j), Geometry.NormMin, Geometry.NormMax)];
    v.Colour[0] = float(c.Red / 255.0L);
    v.Colour[1] = float(c.Green / 255.0L);
    v.Colour[2] = float(c.Blue / 255.0L);
    std::copy_n(Geometry.Normal(i, j), 3, v.Normal);
    Geometry.Point(i, j, v.Position);
    out.push_back(v);
  };
  for (int y = 0; y <= Geometry.Rows - 2; ++y)
    for (int x = 0; x <= Geometry.Columns - 2; ++x) {
      vertex(x, y + 1);
      vertex(x + 1, y + 1);
      vertex(x + 1, y);
      vertex(x, y);
    }
  return out;
}

std::array<std::string, 5> SurfaceValueLabels(float DataMax) {
  const long double m = DataMax;
  return {NumFormat::FormatFloat("0.0", m), NumFormat::FormatFloat("0.0", m * 3 / 4),
          NumFormat::FormatFloat("0.0", m / 2), NumFormat::FormatFloat("0.0", m / 4),
          NumFormat::FormatFloat("0.0", 0.0L)};
}
