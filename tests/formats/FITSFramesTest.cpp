// The checked frame reader: a series combined a block of rows at a time
// against numpy, and headers that must be refused with the file named.
#include "engine/ImageCombine.h"
#include "formats/CodecTestUtil.h"
#include "formats/FITSFrames.h"
#include "platform/PageMemory.h"

using namespace codectest;

TEST(FITSFrames, SeriesInBlocksOfRowsMatchesNumpy) {
  TempDir dir;
  const int n = 7, w = 13, h = 11;
  ASSERT_EQ(RunCommand("/usr/bin/python3 " CORVELLE_SOURCE_DIR "/tests/oracles/series.py " + dir.Path.string() +
                       " 7 13 11 21"),
            0)
      << "python3 with numpy and astropy";
  std::vector<std::string> files;
  for (int k = 0; k < n; ++k) {
    files.push_back(dir / ("f" + std::to_string(k) + ".fits"));
    TDataImage frame;  // read whole, as the codec's own open reads it
    ASSERT_TRUE(LoadFITSFrame(files.back(), frame).Ok);
    EXPECT_EQ(std::memcmp(frame.Pixels, LoadFITS(files.back()).Image->Pixels, std::size_t(w * h) * 4), 0);
  }
  // One row per block, three rows (the last block shorter), all at once, and
  // files closed between blocks.
  const std::int64_t row = std::int64_t(w) * 10 * n;
  const char* const names[] = {"add", "mean", "median", "minimum", "maximum"};
  for (const TSeriesLimits& l : {TSeriesLimits{1, 64}, {row * 3, 64}, {row * 99, 64}, {row * 4, 2}}) {
    for (int method = 0; method < 5; ++method) {
      SCOPED_TRACE(testing::Message() << names[method] << ", budget " << l.BufferBytes << ", open " << l.OpenFiles);
      TDataImage result;
      TCodecMessages warnings;
      CombineFiles(files, method, result, warnings, l);
      const Bytes want = ReadBytes(dir / (std::string(names[method]) + ".f32"));
      ASSERT_EQ(result.PixelCount() * 4, std::int64_t(want.size()));
      EXPECT_EQ(std::memcmp(want.data(), result.Pixels, want.size()), 0);
      EXPECT_TRUE(warnings.empty());
    }
  }
}

TEST(FITSFrames, UnusableHeadersAreRefusedWithTheFileNamed) {
  TempDir dir;
  const auto header = [](int Bitpix, int N1, int N2) {
    TFITSHeader h = MakeFITSHeader(Bitpix, N1, N2, Bitpix == 16 ? 32768 : 0, 1);
    h.pop_back();  // END goes last
    return h;
  };
  TFITSHeader noSize = header(16, 4, 4);
  noSize.erase(noSize.begin() + 4);  // NAXIS2
  struct TCase {
    const char* Name;
    TFITSHeader Cards;
    std::size_t DataBytes;
    std::string Reason;  // after "Could not open file NAME."; empty: read
  };
  const std::vector<TCase> cases = {
      {"good.fits", header(16, 4, 3), 24, ""},
      {"zero.fits", header(16, 0, 3), 0, msgFITSNoSize},
      {"negative.fits", header(8, 5, -2), 10, msgFITSNoSize},
      {"nosize.fits", noSize, 32, msgFITSNoSize},
      {"huge.fits", header(16, 65536, 65537), 100, msgFITSTooLarge},  // wraps to a small product in 32 bits
      {"short.fits", header(-32, 10, 10), 399, "The file ends before all of its image data."},
      {"bitpix32.fits", header(32, 2, 2), 16, FITSUnsupportedBITPIXOpen(32)},
  };
  for (TCase c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string file = dir / c.Name;
    c.Cards.push_back(MakeKeywordCard("END"));
    std::string text;
    for (const auto& card : c.Cards) text += card;
    text.resize((text.size() + 2879) / 2880 * 2880 + c.DataBytes, ' ');
    WriteBytes(file, Bytes(text.begin(), text.end()));
    TDataImage frame;
    frame.Allocate(2, 2, 1, false);
    const TFrameLoadResult r = LoadFITSFrame(file, frame);
    EXPECT_EQ(r.Ok, c.Reason.empty()) << r.Error;
    if (r.Ok) continue;
    EXPECT_EQ(r.Error, "Could not open file " + file + ".  " + c.Reason);
    EXPECT_EQ(frame.Pixels, nullptr);  // no frame of no size is handed on
    EXPECT_EQ(frame.Width, 0);
    TDataImage result;  // a series holding the file stops there, naming it
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

// Frames are never displayed: calibration frames and the blocks of a series
// are admitted for their planes alone, under a cap per image and under the
// system's figures, where what each takes counts against the next.
TEST(FITSFrames, FramesAreAdmittedForTheirPlanesAlone) {
  TempDir dir;
  constexpr int W = 301, H = 203;
  constexpr std::uint64_t Planes = W * H * 4, Pictures = 3 * 904 * H, R = PageMemory::InterfaceReserve;
  std::vector<std::string> files;
  for (int k = 0; k < 4; ++k) {
    TDataImage frame;
    ASSERT_TRUE(frame.Allocate(W, H, 1, false));
    for (int i = 0; i < W * H; ++i) frame.Pixels[i] = float((i * 7 + k * 1001) % 65536);
    TFITSHeader header;
    files.push_back(dir / ("frame" + std::to_string(k) + ".fits"));
    ASSERT_TRUE(WriteFITS16(files.back(), header, frame).empty());
  }
  const std::string noMemory = FrameOpenMessage(files[0]) + "  " + FITSAllocationFailure(W, H);
  struct TCase {
    const char* Name;
    std::uint64_t Cap;   // a limit per image, or
    std::uint64_t Room;  // what the system leaves beside the reserve
    int Frames;          // frames loaded one after the other, all kept; 0: the series combined
    std::string Error;   // the first frame's, or empty
  };
  const TCase cases[] = {
      {"a frame under a cap of its planes", Planes, 0, 1, ""},
      {"a frame under a cap one byte short", Planes - 1, 0, 1, noMemory},
      // The reader's block is the whole of a frame this small, so reading one
      // holds two planes for a moment.
      {"three frames, room for them and a block", 0, 4 * Planes, 3, ""},
      {"a frame, room for it but not its block", 0, 2 * Planes - 1, 1, noMemory},
      // The result is displayed (its planes and pictures), then each file's
      // block comes beside it.
      {"a series of four, room for the result and the blocks", 0, 5 * Planes, 0, ""},
      {"a series of four, room for the result and three blocks", 0, 5 * Planes - 1, 0, "Out of memory"},
      {"a series under a cap of the result", Planes + Pictures, 0, 0, ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    if (c.Cap) PageMemory::SetLimit(c.Cap);
    if (c.Room) PageMemory::SetFigures(PageMemory::TMemoryFigures{0, R + c.Room, 0, 0, 0});
    std::string error;
    std::vector<TDataImage> frames(std::size_t(std::max(c.Frames, 1)));
    if (c.Frames == 0) {
      TCodecMessages warnings;
      try {
        CombineFiles(files, cmMean, frames[0], warnings);
        EXPECT_EQ(frames[0].Width, W);
      } catch (const std::bad_alloc&) {
        error = "Out of memory";
      }
    }
    for (int k = 0; k < c.Frames && error.empty(); ++k) {
      const TFrameLoadResult r = LoadCalibrationFrame(files[std::size_t(k)], frames[std::size_t(k)]);
      error = r.Error;
      EXPECT_EQ(r.Ok, r.Error.empty());
      EXPECT_EQ(frames[std::size_t(k)].Pixels != nullptr, r.Ok);
    }
    PageMemory::SetLimit(0);
    PageMemory::ClearFigures();
    EXPECT_EQ(error, c.Error);
  }
}
