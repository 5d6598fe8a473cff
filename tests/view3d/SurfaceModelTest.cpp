// The surface model against an independent numpy replica, the worked
// examples of the mesh sizes, the colour tables and the axis labels.
#include <QByteArray>
#include <cstring>

#include "analysis/view3d/Visualisation.h"
#include "view3d/View3DTestSupport.h"

using namespace view3dtest;

namespace {
template <typename T>
T Read(const QByteArray& B, qsizetype& At) {
  T v{};
  if (At + qsizetype(sizeof(T)) <= B.size()) std::memcpy(&v, B.constData() + At, sizeof(T));
  At += sizeof(T);
  return v;
}
bool SameBits(float a, float b) { return std::memcmp(&a, &b, 4) == 0; }

struct TMeshCase {
  int W, H;
  int Columns, Rows;  // -1: only the oracle says
  int SampledColumns;  // columns the loop visits; -1: only the oracle says
  int SampledRows;
  bool Refused;
};
}  // namespace

TEST(SurfaceModel, MeshMatchesNumpyAndTheWorkedExamples) {
  const TMeshCase cases[] = {
      {256, 128, 128, 64, 128, 64, false},  // step 2 both ways
      {100, 300, 43, 128, -1, 128, false},  // Round(42.67)
      {64, 64, 128, 128, 127, 127, false},  // step 0.5: one sample short per line
      {1000, 337, 128, 43, -1, 44, false},  // one row more sampled than stored
      {300, 200, 128, 85, -1, -1, false},
      {85, 256, 42, 128, -1, -1, false},  // 42.5 rounds to even
      {333, 333, 128, 128, -1, -1, false},
      {5, 7, -1, 128, -1, -1, false},
      {1, 300, 0, 128, -1, -1, true},  // too narrow to draw
      {1, 200, 1, 128, -1, -1, true},
      {3, 300, 1, 128, -1, -1, true},
      {300, 3, 128, 1, -1, -1, true},
  };
  std::mt19937 rng(19);
  std::uniform_real_distribution<float> value(1.0f, 5000.0f);
  for (const TMeshCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.W << " x " << c.H);
    auto img = GreyImage(c.W, c.H, [&](int, int) { return value(rng); });
    const float exaggeration = 2.0f;
    QByteArray in;
    in.append(reinterpret_cast<const char*>(&c.W), 4).append(reinterpret_cast<const char*>(&c.H), 4);
    in.append(reinterpret_cast<const char*>(&exaggeration), 4);
    in.append(reinterpret_cast<const char*>(img->Pixels), qsizetype(img->PixelCount()) * 4);
    const QByteArray out = RunOracle("surface.py", in);
    qsizetype at = 0;
    const int cols = Read<std::int32_t>(out, at), rows = Read<std::int32_t>(out, at);

    SurfaceRecord s = BuildSurfaceMesh(*img);
    EXPECT_EQ(s.MeshColumns, cols);
    EXPECT_EQ(s.MeshRows, rows);
    if (c.Columns >= 0) {
      EXPECT_EQ(s.MeshColumns, c.Columns);
    }
    if (c.Rows >= 0) {
      EXPECT_EQ(s.MeshRows, c.Rows);
    }
    int mismatches = 0, sampledCols = 0, sampledRows = 0;
    for (int i = 0; i < 128; ++i)
      for (int j = 0; j < 128; ++j) {
        const float h = Read<float>(out, at);
        if (!SameBits(s.Heights[i][j], h) && ++mismatches < 5)
          ADD_FAILURE() << "height [" << i << "][" << j << "] " << s.Heights[i][j] << " numpy " << h;
        // Every pixel is at least 1, so a written cell is never 0.
        if (s.Heights[i][j] != 0.0f) sampledCols = std::max(sampledCols, i + 1), sampledRows = std::max(sampledRows, j + 1);
      }
    EXPECT_EQ(mismatches, 0);
    if (c.SampledColumns >= 0) {
      EXPECT_EQ(sampledCols, c.SampledColumns);
    }
    if (c.SampledRows >= 0) {
      EXPECT_EQ(sampledRows, c.SampledRows);
    }
    EXPECT_EQ(SurfaceRefusal(s).empty(), !c.Refused) << SurfaceRefusal(s);
    if (c.Refused) continue;

    // Normalising, normals and colour indices.
    s.Exaggeration = exaggeration;
    FillSurfaceColours(4, s, false, 0);
    const TSurfaceGeometry g = BuildSurfaceGeometry(s);
    const float dataMax = Read<float>(out, at), normMax = Read<float>(out, at), normMin = Read<float>(out, at);
    EXPECT_EQ(g.DataMax, dataMax);
    EXPECT_NEAR(g.NormMax, normMax, 1e-6);
    EXPECT_NEAR(g.NormMax, 1.0f / exaggeration, 1e-6);
    EXPECT_NEAR(g.NormMin, normMin, 1e-6);
    std::vector<float> norm(128 * 128), normals(128 * 128 * 3);
    std::vector<double> index(128 * 128);
    for (float& v : norm) v = Read<float>(out, at);
    for (float& v : normals) v = Read<float>(out, at);
    for (double& v : index) v = Read<double>(out, at);
    ASSERT_EQ(at, out.size());
    int bad = 0;
    for (int i = 0; i < cols; ++i)
      for (int j = 0; j < rows; ++j) {
        const std::size_t k = std::size_t(i) * 128 + j;
        if (std::fabs(g.Height(i, j) - norm[k]) > 1e-6 && ++bad < 5) ADD_FAILURE() << "normalised " << i << "," << j;
        for (int d = 0; d < 3; ++d)
          if (std::fabs(g.Normal(i, j)[d] - normals[k * 3 + d]) > 1e-6 && ++bad < 5)
            ADD_FAILURE() << "normal " << i << "," << j << "[" << d << "] " << g.Normal(i, j)[d] << " numpy "
                          << normals[k * 3 + d];
        // Exact halves are left out: wider intermediates may round them either way.
        const double frac = index[k] - std::floor(index[k]);
        if (std::fabs(frac - 0.5) > 1e-6 &&
            SurfaceColourIndex(g.Height(i, j), g.NormMin, g.NormMax) != int(std::nearbyint(index[k])) && ++bad < 5)
          ADD_FAILURE() << "colour index " << i << "," << j;
      }
    EXPECT_EQ(bad, 0);

    // The quad stream: rows outer, columns inner, four corners each with
    // the corner's colour (the grey ramp: entry k is k/255) and normal.
    const std::vector<TSurfaceVertex> quads = SurfaceQuads(s, g);
    ASSERT_EQ(quads.size(), std::size_t(cols - 1) * (rows - 1) * 4);
    const int corner[4][2] = {{0, 1}, {1, 1}, {1, 0}, {0, 0}};
    for (std::size_t q = 0; q < quads.size(); q += 997) {
      const int quad = int(q / 4), y = quad / (cols - 1), x = quad % (cols - 1);
      const int i = x + corner[q % 4][0], j = y + corner[q % 4][1];
      const TSurfaceVertex& v = quads[q];
      EXPECT_FLOAT_EQ(v.Position[0], float(i - cols / 2) / 128);
      EXPECT_FLOAT_EQ(v.Position[1], norm[std::size_t(i) * 128 + j]);
      EXPECT_FLOAT_EQ(v.Position[2], float(j - rows / 2) / 128);
      EXPECT_NEAR(v.Normal[1], normals[(std::size_t(i) * 128 + j) * 3 + 1], 1e-6);
      EXPECT_NEAR(v.Colour[0] * 255, std::nearbyint(index[std::size_t(i) * 128 + j]), 1.0001);
    }
  }
}

TEST(SurfaceModel, FlatDarkAndEmptyImagesAreRefused) {
  struct TCase {
    const char* Name;
    int W, H;
    float (*F)(int, int);
    bool Refused;
  };
  const TCase cases[] = {
      {"all zero", 200, 150, [](int, int) { return 0.0f; }, true},
      {"all negative", 200, 150, [](int x, int y) { return -1.0f - x - y; }, true},
      {"constant", 256, 256, [](int, int) { return 42.0f; }, true},
      {"one bright pixel", 256, 256, [](int x, int y) { return x == 128 && y == 128 ? 5.0f : 0.0f; }, false},
      {"a ramp", 256, 256, [](int x, int) { return float(x); }, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    auto img = GreyImage(c.W, c.H, c.F);
    const SurfaceRecord s = BuildSurfaceMesh(*img);
    EXPECT_EQ(!SurfaceRefusal(s).empty(), c.Refused);
  }
  TDataImage empty;
  const SurfaceRecord s = BuildSurfaceMesh(empty);
  EXPECT_EQ(s.MeshColumns, 0);
  EXPECT_FALSE(SurfaceRefusal(s).empty());
}

TEST(SurfaceModel, ColourIndicesStayInTheTable) {
  EXPECT_EQ(SurfaceColourIndex(0.3f, 0.3f, 0.3f), 0);  // flat: every vertex gets entry 0
  EXPECT_EQ(SurfaceColourIndex(0.5f, 0.0f, 0.5f), 255);
  EXPECT_EQ(SurfaceColourIndex(0.0f, 0.0f, 0.5f), 0);
  EXPECT_EQ(SurfaceColourIndex(0.7f, 0.0f, 0.5f), 255);
  EXPECT_EQ(SurfaceColourIndex(-0.1f, 0.0f, 0.5f), 0);
  // 255 / 1 x 0.5 = 127.5 rounds to even.
  EXPECT_EQ(SurfaceColourIndex(0.5f, 0.0f, 1.0f), 128);
  EXPECT_EQ(SurfaceColourIndex(1.5f / 255, 0.0f, 1.0f), 2);
}

TEST(SurfaceModel, ColourTables) {
  struct TAnchors {
    int Palette;
    std::uint8_t RGB[5][3];  // entries 0, 64, 128, 192, 255
  };
  const TAnchors tables[] = {
      {0, {{0, 128, 0}, {131, 255, 66}, {255, 255, 0}, {255, 62, 31}, {255, 255, 255}}},
      {1, {{255, 0, 0}, {255, 193, 0}, {0, 255, 0}, {66, 66, 223}, {128, 0, 128}}},
      {2, {{143, 9, 228}, {254, 76, 52}, {113, 245, 25}, {1, 177, 204}, {141, 11, 230}}},
      {3, {{255, 0, 0}, {255, 96, 0}, {255, 192, 0}, {255, 255, 66}, {255, 255, 255}}},
      {4, {{0, 0, 0}, {64, 64, 64}, {128, 128, 128}, {192, 192, 192}, {255, 255, 255}}},
  };
  const int at[5] = {0, 64, 128, 192, 255};
  for (const TAnchors& t : tables) {
    SCOPED_TRACE(t.Palette);
    SurfaceRecord s;
    FillSurfaceColours(t.Palette, s, false, 0x123456);
    for (int a = 0; a < 5; ++a) {
      const TRGBPixel& e = s.Colours[at[a]];
      EXPECT_EQ(e.Red, t.RGB[a][0]) << "entry " << at[a];
      EXPECT_EQ(e.Green, t.RGB[a][1]) << "entry " << at[a];
      EXPECT_EQ(e.Blue, t.RGB[a][2]) << "entry " << at[a];
    }
    // Smooth: between two anchors every channel moves one way only, by no
    // more than its share of the step per entry.
    for (int a = 0; a < 4; ++a)
      for (int k = at[a]; k < at[a + 1]; ++k) {
        const std::uint8_t* c0 = &s.Colours[k].Blue;
        const std::uint8_t* c1 = &s.Colours[k + 1].Blue;
        for (int ch = 0; ch < 3; ++ch) {
          const int rgb = 2 - ch;  // the entry holds blue, green, red
          const int step = int(t.RGB[a + 1][rgb]) - t.RGB[a][rgb];
          const int d = int(c1[ch]) - c0[ch];
          EXPECT_TRUE(d == 0 || (d > 0) == (step > 0)) << "entry " << k;
          EXPECT_LE(std::abs(d), std::abs(step) / (at[a + 1] - at[a]) + 1) << "entry " << k;
        }
      }
  }
  // One colour, given as 0x00RRGGBB, in every entry; teal stays teal.
  SurfaceRecord s;
  FillSurfaceColours(3, s, true, 0x008080);
  for (const TRGBPixel& e : s.Colours) {
    ASSERT_EQ(e.Red, 0);
    ASSERT_EQ(e.Green, 128);
    ASSERT_EQ(e.Blue, 128);
  }
  // A palette outside the list leaves the table as it was.
  for (int p : {5, -1}) {
    SurfaceRecord r = s;
    FillSurfaceColours(p, r, false, 0);
    EXPECT_EQ(std::memcmp(r.Colours, s.Colours, sizeof s.Colours), 0) << p;
  }
}

TEST(SurfaceModel, ValueLabelsRoundHalvesAwayFromZero) {
  struct TCase {
    float Max;
    const char* Labels[5];
  };
  // Worked by hand: quarters of the maximum with one decimal, halves up.
  const TCase cases[] = {
      {1.0f, {"1.0", "0.8", "0.5", "0.3", "0.0"}},
      {0.25f, {"0.3", "0.2", "0.1", "0.1", "0.0"}},
      {1000.0f, {"1000.0", "750.0", "500.0", "250.0", "0.0"}},
      {65535.0f, {"65535.0", "49151.3", "32767.5", "16383.8", "0.0"}},
      {4.2f, {"4.2", "3.1", "2.1", "1.0", "0.0"}},  // 4.2f is 4.19999980926...
  };
  for (const TCase& c : cases) {
    const auto labels = SurfaceValueLabels(c.Max);
    for (int k = 0; k < 5; ++k) EXPECT_EQ(labels[k], c.Labels[k]) << c.Max << " label " << k;
  }
}
