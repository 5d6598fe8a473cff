#pragma once
// SBIG camera files: the headerless 8-bit ST-4 frames (192 x 165) and the
// 16-bit files of the later cameras with a 2048-byte text header, raw or
// row-compressed.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/DataImage.h"
#include "formats/ByteSource.h"
#include "formats/CodecMessage.h"

inline constexpr int kST4Width = 192;
inline constexpr int kST4Height = 165;
inline constexpr std::size_t kSBIGHeaderSize = 2048;
// The widest row a compressed file can fill: a byte count of 32767 holds the
// first value and 32765 one-byte codes.
inline constexpr int kSBIGMaxCompressedWidth = 32766;

struct TSBIGReadResult {
  std::unique_ptr<TDataImage> Image;  // none when the file is refused
  TCodecMessages Messages;
};

// Routes on the upper-cased extension: ".ST4" is an ST-4 frame, every other
// name a headed file.
TSBIGReadResult LoadSBIG(const std::string& FileName);
TSBIGReadResult LoadST4(const std::string& FileName);
TSBIGReadResult DecodeSBIG(TByteSource& Source);
TSBIGReadResult DecodeST4(TByteSource& Source);

// What the header says. Width and height are taken from the "Height = " and
// "Width = " lines, wherever they stand.
struct TSBIGHeader {
  bool Compressed = false;
  int Width = 0;
  int Height = 0;
};
bool ParseSBIGHeader(const std::string& Text, TSBIGHeader& Header);

// Decodes the codes of one compressed row after its first value into
// Row[1..Width-1]: 0x80 and an unsigned little-endian word set the next pixel,
// any other byte is a signed difference from the previous one (16-bit
// wrap-around). Codes beyond the row end are ignored; pixels without a code
// are left as they are. Returns the number of pixels written after the first.
int DecodeSBIGRow(const std::uint8_t* Codes, std::size_t Count, std::uint16_t First, float* Row, int Width);
