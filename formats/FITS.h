#pragma once
// FITS files: header cards (80-column text), the header and data readers, and
// the 16-bit and floating-point writers. A header is a list of card strings in
// file order; nothing in it is parsed ahead of time.
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/DataImage.h"
#include "formats/ByteSource.h"
#include "formats/CodecMessage.h"

using TFITSHeader = std::vector<std::string>;

// A value field that is not a number ("'abc' is not a valid floating point value").
class EConvertError : public std::runtime_error {
 public:
  explicit EConvertError(const std::string& What) : std::runtime_error(What) {}
};

// A data file that cannot be opened or read; what() is the text to show.
class EFITSError : public std::runtime_error {
 public:
  explicit EFITSError(const std::string& What) : std::runtime_error(What) {}
};

// Lookup: the last card whose columns 1-8 equal the keyword (padded or cut to
// 8) wins; its value field (columns 11-30, cut at a '/' comment outside a
// string, trimmed) is converted. False, and Value untouched, when no card matches.
// GetFITSInteger takes the leading digits (saturating); GetFITSFloat throws
// EConvertError on a field that is not a number.
bool GetFITSInteger(const TFITSHeader& Header, const std::string& Keyword, std::int32_t& Value);
bool GetFITSFloat(const TFITSHeader& Header, const std::string& Keyword, float& Value);
// The keyword of the first BITPIX, NAXIS or NAXISn card whose whole number lies
// beyond the Integer range (which GetFITSInteger saturates); "" when none does.
std::string FITSOutOfRangeCard(const TFITSHeader& Header);
std::string FITSOutOfRangeText(const std::string& Keyword);

// Card builders; each card is exactly 80 characters.
std::string MakeLogicalCard(const std::string& Keyword, char Value);
std::string MakeIntegerCard(const std::string& Keyword, std::int32_t Value);
std::string MakeFloatCard(const std::string& Keyword, float Value);
std::string MakeStringCard(const std::string& Keyword, const std::string& Text);
std::string MakeCommentCard(const std::string& Text);
std::string MakeKeywordCard(const std::string& Keyword);
// "d.ddddddE+dddd": seven significant digits and a four-digit exponent.
std::string FITSFloatText(float Value);

TFITSHeader MakeFITSHeader(int BITPIX, int NAXIS1, int NAXIS2, double BZERO, double BSCALE);

inline constexpr const char* kFITSOrigin = "Corvelle Image 2.5ZUL";
inline constexpr const char* kFITSComment = "Corvelle Image, https://www.corvelle-image.org";

// Reads 80-byte cards up to and including END (or the end of the file, or a
// limit of cards no real header reaches) and appends them; returns the number
// read. The file version throws EFITSError when the file cannot be opened.
int ReadFITSHeader(TByteSource& Source, TFITSHeader& Header);
int ReadFITSHeader(const std::string& FileName, TFITSHeader& Header);
inline constexpr int kMaxFITSHeaderCards = 100000;
// The first byte of the data: card count x 80 rounded up to a multiple of 2880.
std::uint64_t FITSDataStart(int CardCount);
bool HasENDCard(const TFITSHeader& Header);

// What the data readers met, for the messages the program shows after a read.
struct TFITSDataReport {
  bool Clamped = false;       // a value was clamped to the data type's range
  std::int64_t NonFinite = 0; // NaN or infinite values stored as 0.0
  bool Short = false;         // the file ended before the last pixel
};

// Read the data of an image already allocated with NAXIS1 x NAXIS2 pixels:
// stored x BSCALE + BZERO, big-endian, x fastest. 16- and 8-bit values are
// rounded half to even and clamped to 0..65535 / 0..255; floating-point values
// are stored unrounded. True when BZERO, BSCALE, NAXIS1 and NAXIS2 were all
// found. Throw EConvertError (BZERO/BSCALE) or EFITSError (file).
bool ReadFITS16(TByteSource& Source, const TFITSHeader& Header, int CardCount, TDataImage& Image,
                TFITSDataReport* Report = nullptr);
bool ReadFITS8(TByteSource& Source, const TFITSHeader& Header, int CardCount, TDataImage& Image,
               TFITSDataReport* Report = nullptr);
bool ReadFITSFloat(TByteSource& Source, const TFITSHeader& Header, int CardCount, TDataImage& Image,
                   TFITSDataReport* Report = nullptr);
bool ReadFITS16(const std::string& FileName, const TFITSHeader& Header, int CardCount, TDataImage& Image,
                TFITSDataReport* Report = nullptr);
bool ReadFITS8(const std::string& FileName, const TFITSHeader& Header, int CardCount, TDataImage& Image,
               TFITSDataReport* Report = nullptr);
bool ReadFITSFloat(const std::string& FileName, const TFITSHeader& Header, int CardCount, TDataImage& Image,
                   TFITSDataReport* Report = nullptr);

// The warnings a read shows afterwards, in order.
TCodecMessages FITSDataMessages(int BITPIX, const TFITSDataReport& Report);

inline constexpr const char* msgFITSTruncated16 = "Warning: some data has been truncated to 16 bit range.";
inline constexpr const char* msgFITSTruncated8 = "Warning: some data has been truncated to an 8 bit range.";
inline constexpr const char* msgFITSShortData =
    "Warning: this file ends before all of its image data.  The missing pixels have been set to 0.";
inline constexpr const char* msgFITSNoBITPIX =
    "This FITS file has no BITPIX card.  The file has not been opened.";
inline constexpr const char* msgFITSNoSize =
    "This FITS file does not hold a two-dimensional image: NAXIS1 and NAXIS2 must be greater than zero.  "
    "The file has not been opened.";
inline constexpr const char* msgFITSTooLarge =
    "The image in this FITS file is too large to open.  The file has not been opened.";
inline constexpr const char* msgFITSNoMemory =
    "There is not enough memory to open the image in this FITS file.  The file has not been opened.";
// Why an image of Width x Height could not be allocated: sides no picture can
// have, or memory (the address space under ulimit -v among it) too short.
const char* FITSAllocationFailure(int Width, int Height);
std::string FITSUnsupportedBITPIXOpen(int BITPIX);

// A whole file into a grey image: data type 0 (BITPIX 8), 1 (16) or 3 (-32),
// auto-scaled. No image when the file is refused; Messages says why.
struct TFITSOpenResult {
  std::unique_ptr<TDataImage> Image;
  TFITSHeader Header;
  TCodecMessages Messages;
};
TFITSOpenResult LoadFITS(const std::string& FileName);
TFITSOpenResult DecodeFITS(TByteSource& Source);

// The cards written before data of the given kind: SIMPLE, BITPIX, NAXIS = 2,
// NAXIS1 and NAXIS2 first, BZERO and BSCALE replaced where they stand (or
// inserted after NAXIS2), NAXIS3 and higher dropped, every other card kept in
// order, END last. Each card is exactly 80 characters.
TFITSHeader FITSHeaderForData(const TFITSHeader& Header, int BITPIX, int Width, int Height, double BZERO,
                              double BSCALE);

// Writers. An empty header is first replaced by a new one (the caller keeps it).
// WriteFITS16 stores Round(v - 32768) clamped to -32768..32767 with BZERO 32768;
// WriteFITSFloat stores v unscaled.
TCodecMessages WriteFITS16(const std::string& FileName, TFITSHeader& Header, const TDataImage& Image);
TCodecMessages WriteFITSFloat(const std::string& FileName, TFITSHeader& Header, const TDataImage& Image);
// Chooses the writer: colour refused; BITPIX from the header, or NewHeaderBITPIX
// (16 or -32, the File Options choice) when the header is empty or has none.
TCodecMessages SaveFITS(const std::string& FileName, TFITSHeader& Header, const TDataImage& Image,
                        int NewHeaderBITPIX);

inline constexpr const char* msgFITSColour =
    "Colour images cannot be saved as FITS files.  The image has not been saved.";
inline constexpr const char* msgFITSRange16 =
    "Some data exceeded the range available for 16 bit FITS files.This data has been truncated so it is greater "
    "than 0 and less than 65536.";
std::string FITSUnsupportedBITPIXSave(int BITPIX);
