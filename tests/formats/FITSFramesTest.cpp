// Frames and series read through the checked frame reader: a series combined
// a block of rows at a time against numpy, and headers that must be refused.
#include <cstring>

#include "engine/ImageCombine.h"
#include "formats/CodecTestUtil.h"
#include "formats/FITSFrames.h"

using namespace codectest;

namespace {

std::vector<float> ReadF32(const std::string& Name) {
  const Bytes b = ReadBytes(Name);
  std::vector<float> v(b.size() / 4);
  std::memcpy(v.data(), b.data(), v.size() * 4);
  return v;
}

// A file of the given cards (END added) and Data bytes after the header blocks.
void WriteFITS(const std::string& Name, TFITSHeader Cards, std::size_t DataBytes) {
  Cards.push_back(MakeKeywordCard("END"));
  std::string text;
  for (const auto& c : Cards) text += c;
  text.resize((text.size() + 2879) / 2880 * 2880, ' ');
  Bytes b(text.begin(), text.end());
  b.resize(b.size() + DataBytes, 0);
  WriteBytes(Name, b);
}

}  // namespace

TEST(FITSFrames, SeriesInBlocksOfRowsMatchesNumpy) {
  TempDir dir;
  const int n = 7, w = 13, h = 11;
  ASSERT_EQ(RunCommand("/usr/bin/python3 " CORVELLE_SOURCE_DIR "/tests/oracles/series.py " + dir.Path.string() +
                       " 7 13 11 21"),
            0)
      << "python3 with numpy and astropy";
  std::vector<std::string> files;
  for (int k = 0; k < n; ++k) files.push_back(dir / ("f" + std::to_string(k) + ".fits"));

  // Each frame read whole equals what the codec's own open gives.
  for (const auto& f : files) {
    TDataImage frame;
    const TFrameLoadResult r = LoadFITSFrame(f, frame);
    ASSERT_TRUE(r.Ok) << r.Error;
    EXPECT_EQ(frame.DataType, 3);
    const TFITSOpenResult whole = LoadFITS(f);
    ASSERT_TRUE(whole.Image);
    EXPECT_EQ(std::memcmp(frame.Pixels, whole.Image->Pixels, std::size_t(w * h) * 4), 0) << f;
  }

  // One row per block, blocks of three rows (the last one shorter), the whole
  // image at once, and files closed between blocks.
  const std::vector<TSeriesLimits> limits = {
      {1, 64}, {std::int64_t(w) * 10 * n * 3, 64}, {std::int64_t(1) << 30, 64}, {std::int64_t(w) * 10 * n * 4, 2}};
  const char* const names[] = {"add", "mean", "median", "minimum", "maximum"};
  for (const TSeriesLimits& l : limits) {
    for (int method = 0; method < 5; ++method) {
      SCOPED_TRACE(testing::Message() << names[method] << ", budget " << l.BufferBytes << ", open " << l.OpenFiles);
      TDataImage result;
      TCodecMessages warnings;
      CombineFiles(files, method, result, warnings, l);
      ASSERT_EQ(result.Width, w);
      ASSERT_EQ(result.Height, h);
      EXPECT_EQ(result.DataType, 3);
      EXPECT_TRUE(warnings.empty());
      const std::vector<float> want = ReadF32(dir / (std::string(names[method]) + ".f32"));
      ASSERT_EQ(want.size(), std::size_t(w * h));
      EXPECT_EQ(std::memcmp(want.data(), result.Pixels, want.size() * 4), 0);
    }
  }
}

TEST(FITSFrames, UnusableHeadersAreRefusedWithTheFileNamed) {
  TempDir dir;
  struct TCase {
    const char* Name;
    TFITSHeader Cards;
    std::size_t DataBytes;
    std::string Reason;  // after "Could not open file NAME."
  };
  const auto base = [](int Bitpix, int N1, int N2) {
    TFITSHeader h = MakeFITSHeader(Bitpix, N1, N2, Bitpix == 16 ? 32768 : 0, 1);
    h.pop_back();  // END comes last
    return h;
  };
  TFITSHeader noSize = base(16, 4, 4);
  noSize.erase(noSize.begin() + 4);  // NAXIS2
  const std::vector<TCase> cases = {
      {"good.fits", base(16, 4, 3), 24, ""},
      {"zero.fits", base(16, 0, 3), 0, std::string("  ") + msgFITSNoSize},
      {"negative.fits", base(8, 5, -2), 10, std::string("  ") + msgFITSNoSize},
      {"nosize.fits", noSize, 32, std::string("  ") + msgFITSNoSize},
      // 65536 x 65537 wraps to a small number in 32 bits.
      {"huge.fits", base(16, 65536, 65537), 100, std::string("  ") + msgFITSTooLarge},
      {"short.fits", base(-32, 10, 10), 399, "  The file ends before all of its image data."},
      {"bitpix32.fits", base(32, 2, 2), 16, "  " + FITSUnsupportedBITPIXOpen(32)},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string file = dir / c.Name;
    WriteFITS(file, c.Cards, c.DataBytes);
    TDataImage frame;
    frame.Allocate(2, 2, 1, false);
    const TFrameLoadResult r = LoadFITSFrame(file, frame);
    if (c.Reason.empty()) {
      EXPECT_TRUE(r.Ok) << r.Error;
      EXPECT_EQ(frame.Width, 4);
      EXPECT_EQ(frame.Height, 3);
      continue;
    }
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(r.Error, "Could not open file " + file + "." + c.Reason);
    // No frame of no size is handed on.
    EXPECT_EQ(frame.Pixels, nullptr);
    EXPECT_EQ(frame.Width, 0);
    EXPECT_EQ(frame.Height, 0);
    // A series holding the file stops there, naming it.
    TDataImage result;
    TCodecMessages warnings;
    try {
      CombineFiles({dir / "good.fits", file}, cmMedian, result, warnings);
      ADD_FAILURE() << "combined";
    } catch (const ECombineError& e) {
      EXPECT_EQ(e.what(), r.Error);
    }
    EXPECT_EQ(result.Pixels, nullptr);
  }
}
