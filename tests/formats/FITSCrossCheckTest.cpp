// FITS against independent software: astropy writes files we read, reads the
// files we write, and fitsverify checks every file we write.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sstream>

#include "formats/FITS.h"
#include "tests/formats/CodecTestUtil.h"

using namespace codectest;

namespace {

std::vector<float> FloatsOf(const std::string& Name) {
  const auto b = ReadBytes(Name);
  std::vector<float> v(b.size() / 4);
  std::memcpy(v.data(), b.data(), v.size() * 4);
  return v;
}

void WriteFloats(const std::string& Name, const float* V, std::size_t N) {
  std::vector<std::uint8_t> b(N * 4);
  std::memcpy(b.data(), V, b.size());
  WriteBytes(Name, b);
}

// fitsverify's verdict: the number of errors it reports (-1 when it did not run).
int FitsverifyErrors(const std::string& File, std::string& Output) {
  RunCommand("fitsverify " + File, Output);
  const auto at = Output.find("Verification found ");
  if (at == std::string::npos) return -1;
  int warnings = -1, errors = -1;
  std::sscanf(Output.c_str() + at, "Verification found %d warning(s) and %d error(s)", &warnings, &errors);
  return errors;
}

std::vector<std::string> Lines(const std::string& File) {
  const auto b = ReadBytes(File);
  std::istringstream in(std::string(b.begin(), b.end()));
  std::vector<std::string> out;
  std::string line;
  while (std::getline(in, line))
    if (!line.empty()) out.push_back(line);
  return out;
}

}  // namespace

TEST(FITSCrossCheck, FilesWrittenByAstropyReadTheSame) {
  TempDir dir;
  std::string out;
  ASSERT_EQ(RunCommand(Python() + " " + Oracle("fits_oracle.py") + " make " + dir.Path.string(), out), 0) << out;
  const auto cases = Lines(dir / "cases.txt");
  ASSERT_EQ(cases.size(), 12u);
  for (const auto& name : cases) {
    const auto r = LoadFITS(dir / (name + ".fits"));
    ASSERT_TRUE(r.Image) << name;
    const auto want = FloatsOf(dir / (name + ".expected"));
    ASSERT_EQ(want.size(), std::size_t(r.Image->PixelCount())) << name;
    EXPECT_EQ(std::memcmp(want.data(), r.Image->Pixels, want.size() * 4), 0) << name;
    // Only the clamping and NaN cases say anything.
    std::vector<std::string> said;
    if (name == "i16") said = {msgFITSTruncated16};
    if (name == "u8scaled") said = {msgFITSTruncated8};
    if (name == "f32") said = {NonFiniteWarning(2)};
    if (name == "u16" || name == "cube" || name == "wide" || !said.empty()) {
      EXPECT_EQ(Texts(r.Messages), said) << name;
    }
  }
  // Fractionally scaled integers open as floating point with their physical
  // values, and the header is rewritten to say so.
  {
    const auto r = LoadFITS(dir / "scale16.fits");
    ASSERT_TRUE(r.Image);
    EXPECT_EQ(r.Image->DataType, 3);
    const auto b = ReadBytes(dir / "scale16.exact");
    std::vector<double> exact(b.size() / 8);
    std::memcpy(exact.data(), b.data(), exact.size() * 8);
    ASSERT_EQ(exact.size(), std::size_t(r.Image->PixelCount()));
    for (std::size_t i = 0; i < exact.size(); ++i)
      EXPECT_NEAR(r.Image->Pixels[i], exact[i], 1e-6 * std::max(1.0, std::fabs(exact[i]))) << i;
    std::int32_t bitpix = 0;
    float bscale = 0, bzero = -1;
    EXPECT_TRUE(GetFITSInteger(r.Header, "BITPIX", bitpix));
    EXPECT_TRUE(GetFITSFloat(r.Header, "BSCALE", bscale));
    EXPECT_TRUE(GetFITSFloat(r.Header, "BZERO", bzero));
    EXPECT_EQ(bitpix, -32);
    EXPECT_EQ(bscale, 1.0f);
    EXPECT_EQ(bzero, 0.0f);
    // Saved back, astropy reads the very same values.
    TFITSHeader header = r.Header;
    EXPECT_TRUE(Texts(SaveFITS(dir / "scale16-saved.fits", header, *r.Image, 16)).empty());
    WriteFloats(dir / "scale16.ours", r.Image->Pixels, std::size_t(r.Image->PixelCount()));
    EXPECT_EQ(RunCommand(Python() + " " + Oracle("fits_oracle.py") + " check " + (dir / "scale16-saved.fits") + " " +
                             (dir / "scale16.ours"),
                         out),
              0)
        << out;
  }
  // The header sizes land where the data starts.
  EXPECT_EQ(LoadFITS(dir / "cards36.fits").Header.size(), 36u);
  EXPECT_EQ(LoadFITS(dir / "cards37.fits").Header.size(), 37u);
}

TEST(FITSCrossCheck, FilesWeWriteReadTheSameInAstropyAndVerify) {
  TempDir dir;
  std::string out;
  // fitsverify must be there: a missing tool fails the test.
  ASSERT_EQ(RunCommand("command -v fitsverify", out), 0) << "fitsverify is not installed";

  TDataImage grey;
  ASSERT_TRUE(grey.Allocate(1440, 3, 3, false));
  for (int i = 0; i < 4320; ++i) grey.Pixels[i] = float((i * 37) % 65536);
  TDataImage frac;
  ASSERT_TRUE(frac.Allocate(5, 7, 3, false));
  for (int i = 0; i < 35; ++i) frac.Pixels[i] = (float(i) - 17.0f) * 0.37f;

  struct Case {
    std::string Name;
    const TDataImage* Image;
    TFITSHeader Header;
    int Choice;
  };
  // A header copied from an astropy file with three planes and BZERO 32768,
  // then the image changed size.
  ASSERT_EQ(RunCommand(Python() + " " + Oracle("fits_oracle.py") + " make " + dir.Path.string(), out), 0) << out;
  const TFITSHeader cube = LoadFITS(dir / "cube.fits").Header;
  const TFITSHeader i16 = LoadFITS(dir / "i16scaled.fits").Header;  // BZERO 300.25, BSCALE 0.5
  ASSERT_GT(cube.size(), 5u);
  const std::vector<Case> cases = {
      {"new16", &grey, {}, 16},         {"newfloat", &grey, {}, -32},   {"fracfloat", &frac, {}, -32},
      {"cube16", &grey, cube, -32},     {"scaled16", &grey, i16, -32},
      {"cubefloat", &frac, FITSHeaderForData(cube, -32, 1, 1, 0, 1), 16},
  };
  for (auto c : cases) {
    const std::string file = dir / ("ours-" + c.Name + ".fits");
    ASSERT_TRUE(SaveFITS(file, c.Header, *c.Image, c.Choice).empty()) << c.Name;
    const std::string expected = dir / ("ours-" + c.Name + ".expected");
    WriteFloats(expected, c.Image->Pixels, std::size_t(c.Image->PixelCount()));
    EXPECT_EQ(RunCommand(Python() + " " + Oracle("fits_oracle.py") + " check " + file + " " + expected, out), 0)
        << c.Name << "\n" << out;
    EXPECT_NE(out.find("NAXIS=2"), std::string::npos) << out;
    EXPECT_EQ(FitsverifyErrors(file, out), 0) << c.Name << "\n" << out;
    // And our own reader gives the pixels back.
    const auto r = LoadFITS(file);
    ASSERT_TRUE(r.Image);
    EXPECT_EQ(std::memcmp(r.Image->Pixels, c.Image->Pixels, std::size_t(c.Image->PixelCount()) * 4), 0) << c.Name;
  }
}

TEST(FITSCrossCheck, DebiansSampleFilesOpenWithoutACrash) {
  TempDir dir;
  std::string out;
  ASSERT_EQ(RunCommand(Python() + " " + Oracle("fits_oracle.py") + " samples " + dir.Path.string(), out), 0) << out;
  int opened = 0, compared = 0, total = 0;
  for (const auto& line : Lines(dir / "samples.txt")) {
    std::istringstream in(line);
    std::string path, expected;
    in >> path >> expected;
    ++total;
    const auto r = LoadFITS(path);
    if (!r.Image) {
      EXPECT_FALSE(r.Messages.empty()) << path;
      EXPECT_EQ(expected, "-") << path << " was refused: " << (r.Messages.empty() ? "" : r.Messages[0].Text);
      continue;
    }
    ++opened;
    if (expected == "-") continue;
    const auto want = FloatsOf(expected);
    ASSERT_EQ(want.size(), std::size_t(r.Image->PixelCount())) << path;
    EXPECT_EQ(std::memcmp(want.data(), r.Image->Pixels, want.size() * 4), 0) << path;
    ++compared;
  }
  EXPECT_GT(total, 10);
  EXPECT_GT(compared, 2);
  EXPECT_GE(opened, compared);
}
