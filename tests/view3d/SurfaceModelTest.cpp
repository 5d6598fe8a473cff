// The surface model against an independent numpy replica and the worked
// examples; the colour tables; the axis labels.
#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstring>
#include <random>

#include "analysis/view3d/Visualisation.h"

namespace {
// Runs tests/oracles/<Script> <in> <out> on Input and returns what it wrote.
QByteArray RunOracle(const char* Script, const QByteArray& Input) {
  QTemporaryDir dir;
  QFile in(dir.filePath(QStringLiteral("in"))), out(dir.filePath(QStringLiteral("out")));
  if (!in.open(QIODevice::WriteOnly) || in.write(Input) != Input.size()) return {};
  in.close();
  QProcess p;
  p.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(CORVELLE_SOURCE_DIR "/tests/oracles/") +
                                                   QLatin1String(Script), in.fileName(), out.fileName()});
  EXPECT_TRUE(p.waitForFinished(120000) && p.exitCode() == 0) << p.readAllStandardError().toStdString();
  return out.open(QIODevice::ReadOnly) ? out.readAll() : QByteArray();
}

template <typename T>
std::vector<T> Take(const QByteArray& B, qsizetype& At, std::size_t N) {
  std::vector<T> v(N);
  if (At + qsizetype(N * sizeof(T)) <= B.size()) std::memcpy(v.data(), B.constData() + At, N * sizeof(T));
  At += N * sizeof(T);
  return v;
}
}  // namespace

TEST(SurfaceModel, MeshNormalsAndColoursMatchNumpy) {
  struct TCase {
    int W, H, Columns, Rows;
  };
  const TCase cases[] = {
      {256, 128, 128, 64}, {100, 300, 43, 128}, {64, 64, 128, 128}, {1000, 337, 128, 43},
      {300, 200, 128, 85}, {85, 256, 42, 128},  // 42.5 rounds to even
      {5, 7, 91, 128},     {1, 300, 0, 128},    {3, 300, 1, 128},   {300, 3, 128, 1},
  };
  std::mt19937 rng(19);
  std::uniform_real_distribution<float> value(1.0f, 5000.0f);
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.W << " x " << c.H);
    TDataImage img;
    img.Allocate(c.W, c.H, 3, false);
    for (std::int64_t k = 0; k < img.PixelCount(); ++k) img.Pixels[k] = value(rng);
    const float exaggeration = 2.0f;
    QByteArray in;
    in.append(reinterpret_cast<const char*>(&c.W), 4).append(reinterpret_cast<const char*>(&c.H), 4);
    in.append(reinterpret_cast<const char*>(&exaggeration), 4);
    in.append(reinterpret_cast<const char*>(img.Pixels), qsizetype(img.PixelCount()) * 4);
    const QByteArray out = RunOracle("surface.py", in);
    qsizetype at = 0;
    const auto counts = Take<std::int32_t>(out, at, 2);
    const auto heights = Take<float>(out, at, 128 * 128);

    SurfaceRecord s = BuildSurfaceMesh(img);
    EXPECT_EQ(s.MeshColumns, c.Columns);
    EXPECT_EQ(s.MeshRows, c.Rows);
    EXPECT_EQ(counts, (std::vector<std::int32_t>{c.Columns, c.Rows}));
    EXPECT_EQ(std::memcmp(s.Heights, heights.data(), sizeof s.Heights), 0) << "heights differ from numpy";
    // Every pixel is at least 1: every cell of the mesh holds a sample (the
    // far edge too), and no cell beyond it does.
    int holes = 0, beyond = 0;
    for (int i = 0; i < 128; ++i)
      for (int j = 0; j < 128; ++j) {
        if (i < c.Columns && j < c.Rows) holes += s.Heights[i][j] == 0;
        else beyond += s.Heights[i][j] != 0;
      }
    EXPECT_EQ(holes, 0);
    EXPECT_EQ(beyond, 0);
    // Oversampled, the last column and row hold the image's edge pixels.
    if (c.W == 64 && c.H == 64)
      for (int k = 0; k < 128; ++k) {
        EXPECT_EQ(s.Heights[127][k], img.GetPixel(63, std::min(int(std::nearbyint(k * 0.5)), 63))) << k;
        EXPECT_EQ(s.Heights[k][127], img.GetPixel(std::min(int(std::nearbyint(k * 0.5)), 63), 63)) << k;
      }
    const bool drawable = c.Columns >= 2 && c.Rows >= 2;
    EXPECT_EQ(SurfaceRefusal(s).empty(), drawable);
    if (!drawable) continue;

    s.Exaggeration = exaggeration;
    FillSurfaceColours(4, s, false, 0);  // grey: entry k is k/255
    const TSurfaceGeometry g = BuildSurfaceGeometry(s);
    const auto maxima = Take<float>(out, at, 3);
    const auto norm = Take<float>(out, at, 128 * 128);
    const auto normals = Take<float>(out, at, 128 * 128 * 3);
    const auto index = Take<double>(out, at, 128 * 128);
    ASSERT_EQ(at, out.size());
    EXPECT_EQ(g.DataMax, maxima[0]);
    EXPECT_NEAR(g.NormMax, 1.0f / exaggeration, 1e-6);
    EXPECT_NEAR(g.NormMin, maxima[2], 1e-6);
    int bad = 0;
    for (int i = 0; i < c.Columns; ++i)
      for (int j = 0; j < c.Rows; ++j) {
        const std::size_t k = std::size_t(i) * 128 + j;
        bad += std::fabs(g.Height(i, j) - norm[k]) > 1e-6;
        for (int d = 0; d < 3; ++d) bad += std::fabs(g.Normal(i, j)[d] - normals[k * 3 + d]) > 1e-6;
        // Exact halves are left out: wider intermediates may round them either way.
        if (std::fabs(index[k] - std::floor(index[k]) - 0.5) > 1e-6)
          bad += SurfaceColourIndex(g.Height(i, j), g.NormMin, g.NormMax) != int(std::nearbyint(index[k]));
      }
    EXPECT_EQ(bad, 0);
    // The quads: rows outer, columns inner, corners (x, y+1), (x+1, y+1),
    // (x+1, y), (x, y), each with its own colour and normal.
    const std::vector<TSurfaceVertex> quads = SurfaceQuads(s, g);
    ASSERT_EQ(quads.size(), std::size_t(c.Columns - 1) * (c.Rows - 1) * 4);
    const int corner[4][2] = {{0, 1}, {1, 1}, {1, 0}, {0, 0}};
    for (std::size_t q = 0; q < quads.size(); q += 499) {
      const int quad = int(q / 4), i = quad % (c.Columns - 1) + corner[q % 4][0];
      const int j = quad / (c.Columns - 1) + corner[q % 4][1];
      const std::size_t k = std::size_t(i) * 128 + j;
      EXPECT_FLOAT_EQ(quads[q].Position[0], float(i - c.Columns / 2) / 128);
      EXPECT_FLOAT_EQ(quads[q].Position[1], norm[k]);
      EXPECT_FLOAT_EQ(quads[q].Position[2], float(j - c.Rows / 2) / 128);
      EXPECT_NEAR(quads[q].Normal[1], normals[k * 3 + 1], 1e-6);
      EXPECT_NEAR(quads[q].Colour[0] * 255, index[k], 0.5001);
    }
  }
}

TEST(SurfaceModel, ColourTablesAndIndices) {
  // Entries 0, 64, 128, 192, 255 as red, green, blue; item 4 is grey.
  const std::uint8_t anchors[5][5][3] = {
      {{0, 128, 0}, {131, 255, 66}, {255, 255, 0}, {255, 62, 31}, {255, 255, 255}},
      {{255, 0, 0}, {255, 193, 0}, {0, 255, 0}, {66, 66, 223}, {128, 0, 128}},
      {{143, 9, 228}, {254, 76, 52}, {113, 245, 25}, {1, 177, 204}, {141, 11, 230}},
      {{255, 0, 0}, {255, 96, 0}, {255, 192, 0}, {255, 255, 66}, {255, 255, 255}},
      {{0, 0, 0}, {64, 64, 64}, {128, 128, 128}, {192, 192, 192}, {255, 255, 255}}};
  const int at[5] = {0, 64, 128, 192, 255};
  for (int p = 0; p < 5; ++p) {
    SurfaceRecord s;
    FillSurfaceColours(p, s, false, 0x123456);
    for (int a = 0; a < 5; ++a) {
      const TRGBPixel e = s.Colours[at[a]];
      EXPECT_EQ((std::array<int, 3>{e.Red, e.Green, e.Blue}),
                (std::array<int, 3>{anchors[p][a][0], anchors[p][a][1], anchors[p][a][2]}))
          << "palette " << p << " entry " << at[a];
      // Smooth: between anchors each channel moves one way, a share of the step per entry.
      for (int k = at[a]; a < 4 && k < at[a + 1]; ++k)
        for (int ch = 0; ch < 3; ++ch) {
          const int step = anchors[p][a + 1][ch] - anchors[p][a][ch], n = at[a + 1] - at[a];
          const int d = int((&s.Colours[k + 1].Blue)[2 - ch]) - (&s.Colours[k].Blue)[2 - ch];
          EXPECT_TRUE(d * step >= 0 && std::abs(d) <= std::abs(step) / n + 1) << p << " entry " << k;
        }
    }
  }
  // One colour given as 0x00RRGGBB in every entry: teal stays teal. Items
  // outside the list leave the table as it was.
  SurfaceRecord s;
  FillSurfaceColours(3, s, true, 0x008080);
  for (const TRGBPixel& e : s.Colours) ASSERT_TRUE(e.Red == 0 && e.Green == 128 && e.Blue == 128);
  for (int p : {5, -1}) {
    SurfaceRecord r = s;
    FillSurfaceColours(p, r, false, 0);
    EXPECT_EQ(std::memcmp(r.Colours, s.Colours, sizeof s.Colours), 0) << p;
  }
  // Indices: halves to even, clamped, 0 for a flat surface.
  EXPECT_EQ(SurfaceColourIndex(0.5f, 0.0f, 1.0f), 128);  // 127.5
  EXPECT_EQ(SurfaceColourIndex(0.7f, 0.0f, 0.5f), 255);
  EXPECT_EQ(SurfaceColourIndex(-0.1f, 0.0f, 0.5f), 0);
  EXPECT_EQ(SurfaceColourIndex(0.3f, 0.3f, 0.3f), 0);
}

TEST(SurfaceModel, ValueLabelsRoundHalvesAwayFromZero) {
  // Worked by hand: the maximum and its quarters with one decimal.
  const std::pair<float, std::array<std::string, 5>> cases[] = {
      {1.0f, {"1.0", "0.8", "0.5", "0.3", "0.0"}},
      {0.25f, {"0.3", "0.2", "0.1", "0.1", "0.0"}},
      {65535.0f, {"65535.0", "49151.3", "32767.5", "16383.8", "0.0"}},
      {4.2f, {"4.2", "3.1", "2.1", "1.0", "0.0"}},  // 4.2f is 4.19999980926...
  };
  for (const auto& [max, labels] : cases) EXPECT_EQ(SurfaceValueLabels(max), labels) << max;
}
