#pragma once
// Grey frames read from FITS files for calibration and for combining series:
// the header is checked before any data is read (BITPIX 8, 16 or -32, both
// sides above zero, the data wholly inside the file), and rows can be read a
// block at a time so that a long series need not be held in memory at once.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/DataImage.h"
#include "formats/ByteSource.h"
#include "formats/CodecMessage.h"
#include "formats/FITS.h"

// "Could not open file " + name + "."
std::string FrameOpenMessage(const std::string& FileName);

class TFITSFrameReader {
 public:
  // False, with Error naming the file and saying why, when the file cannot
  // be used; nothing of the data is read yet.
  bool Open(const std::string& FileName, std::string& Error);
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  int BITPIX() const { return FBITPIX; }
  // Reads rows First .. First + Count - 1 (Count x Width values, scaled as
  // the FITS readers scale them) into a buffer of the reader, valid until the
  // next read. Reopens the file when it was closed. Throws EFITSError on a
  // read failure.
  const float* ReadRows(int First, int Count);
  // Lets the file go between reads (a long series would hold too many open).
  void Close();
  // The warnings of what has been read so far (clamped or non-finite values).
  TCodecMessages Warnings() const { return FITSDataMessages(FBITPIX, FReport); }

 private:
  std::string FFileName;
  std::unique_ptr<TByteSource> FSource;
  TFITSHeader FBlockHeader;  // the file's cards with a last NAXIS2 card for the block
  std::uint64_t FDataStart = 0;
  int FWidth = 0, FHeight = 0, FBITPIX = 0, FBytes = 0;
  std::vector<std::uint8_t> FRaw;
  TDataImage FBlock;
  TFITSDataReport FReport;
};

struct TFrameLoadResult {
  bool Ok = false;
  std::string Error;        // the error box's text when not Ok
  TCodecMessages Warnings;  // shown after a successful read
};
// A whole frame as a floating-point grey image (data type 3), admitted for
// its planes alone: a frame is never displayed. Image is left without pixels
// and sides when the file is refused.
TFrameLoadResult LoadFITSFrame(const std::string& FileName, TDataImage& Image);
// The calibration dialog's frames follow that rule.
inline TFrameLoadResult LoadCalibrationFrame(const std::string& FileName, TDataImage& Image) {
  return LoadFITSFrame(FileName, Image);
}

// Combines the files as CombineImages combines windows, reading them a block
// of rows at a time. Every file is checked before any pixel is combined.
// Throws ECombineError with the program's text (a file that cannot be used is
// named); Result is left empty then. Warnings gets the readers' warnings,
// each text once. The limits bound the row buffers of the whole series and
// the number of files held open between blocks.
struct TSeriesLimits {
  std::int64_t BufferBytes = std::int64_t(256) << 20;
  std::size_t OpenFiles = 64;
};
void CombineFiles(const std::vector<std::string>& Files, int Method, TDataImage& Result, TCodecMessages& Warnings,
                  const TSeriesLimits& Limits = {});
