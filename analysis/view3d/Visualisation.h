#pragma once
// The surface model of the 3-D view: a grey image sampled into a height grid
// of at most 128 x 128, its colour table, and the geometry the view draws
// (normalised heights, normals, the quad stream, the axis labels). Plain C++:
// no Qt and no OpenGL, so every number here can be checked on its own.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/DataImage.h"

constexpr int SurfaceMeshSize = 128;

struct SurfaceRecord {
  // [column][row]; cells beyond the mesh are 0.
  float Heights[SurfaceMeshSize][SurfaceMeshSize] = {};
  TRGBPixel Colours[256] = {};
  std::int32_t MeshColumns = 0;
  std::int32_t MeshRows = 0;
  TRGBPixel CustomColour{};
  std::uint8_t Shininess = 0;
  float Exaggeration = 0.0f;
  std::int32_t ImageWidth = 0;
  std::int32_t ImageHeight = 0;
  bool UsePalette = false;
  bool ShowBox = false;
  bool ShowScale = false;
  bool SpotLight = false;
  float LightX = 0.0f;
  float LightY = 0.0f;
  float LightZ = 0.0f;
};

// Red, green, blue.
using TColourTable = std::array<std::array<std::uint8_t, 3>, 256>;
// The built-in tables in the order of the palette list: "Green To Red",
// "Rainbow", "Chroma", "Fire".
const TColourTable& BuiltInColourTable(int Index);
constexpr int BuiltInColourTableCount = 4;

// Samples a grey image; every other field is zero. An empty image gives an
// empty mesh.
SurfaceRecord BuildSurfaceMesh(const TDataImage& Image);

// UseColour: all entries the given 0x00RRGGBB colour; otherwise palette 0..3
// a built-in table, 4 a grey ramp, anything else leaves the table as it is.
void FillSurfaceColours(int Palette, SurfaceRecord& Surface, bool UseColour, std::uint32_t Colour);

// Why a surface cannot be drawn, or an empty text when it can: a mesh of fewer
// than two columns or rows, a mesh maximum at or below zero, a flat mesh.
std::string SurfaceRefusal(const SurfaceRecord& Surface);

struct TSurfaceVertex {
  float Colour[3];  // red, green, blue in 0..1
  float Normal[3];
  float Position[3];
};

// What the view draws, computed from a record.
struct TSurfaceGeometry {
  int Columns = 0, Rows = 0;
  int cx = 0, cy = 0;  // half the mesh sizes
  float DataMax = 0.0f;  // the largest height before normalising
  float NormMax = 0.0f, NormMin = 0.0f;
  // [column][row], divided by DataMax x Exaggeration.
  std::vector<float> Heights;
  // [column][row][x, y, z], unit length.
  std::vector<float> Normals;
  float Height(int i, int j) const { return Heights[std::size_t(i) * SurfaceMeshSize + j]; }
  const float* Normal(int i, int j) const { return &Normals[(std::size_t(i) * SurfaceMeshSize + j) * 3]; }
  // The mesh point (i, j) in model space.
  void Point(int i, int j, float P[3]) const;
};

// Normalises the heights and computes the normals. A mesh maximum at or below
// zero is treated as a divisor of 1 (the dialog refuses such images first).
TSurfaceGeometry BuildSurfaceGeometry(const SurfaceRecord& Surface);

// The colour table entry of a normalised height: Round(255 / (max - min) x
// (h - min)), clamped to the table; 0 when max = min.
int SurfaceColourIndex(float H, float Min, float Max);

// The quads, rows outer and columns inner, four vertices each in the order
// (x, y+1), (x+1, y+1), (x+1, y), (x, y).
std::vector<TSurfaceVertex> SurfaceQuads(const SurfaceRecord& Surface, const TSurfaceGeometry& Geometry);

// The value axis labels, from the top down: the data maximum, 3/4, 1/2 and
// 1/4 of it, and zero, each formatted "0.0".
std::array<std::string, 5> SurfaceValueLabels(float DataMax);
