#pragma once
// Headerless image data whose layout the user states: width, height, header
// bytes to skip, sample format and zero offset. The result is a grey
// floating-point image.
#include <cstdint>
#include <memory>
#include <string>

#include "engine/DataImage.h"
#include "formats/ByteSource.h"
#include "formats/CodecMessage.h"

// Sample format codes, as the dialog's items give them.
enum TRawFormat : int {
  rawFormat8 = 8,           // one unsigned byte
  rawFormat12 = 12,         // two pixels in three bytes
  rawFormat16Motorola = 16, // unsigned 16 bits, big-endian
  rawFormat16Intel = 17,    // unsigned 16 bits, little-endian
  rawFormat32 = 32          // IEEE single, big-endian
};

struct TRawImportParams {
  std::int64_t Width = 1;
  std::int64_t Height = 1;
  std::int64_t Skip = 0;
  float Offset = 0.0f;   // the zero offset, as a Single
  int Format = rawFormat8;
  bool Unsigned = true;  // 16-bit samples: add 32767 in 16-bit arithmetic first
};

inline constexpr const char* msgRawSize = "The width and the height of the image must be greater than zero.";
inline constexpr const char* msgRawError = "An error occured importing this file.";

// Bytes of one row in the file (a 12-bit row holds Width div 2 groups of three).
std::uint64_t RawRowBytes(int Format, std::int64_t Width);

struct TRawImportResult {
  std::unique_ptr<TDataImage> Image;  // none when refused
  TCodecMessages Messages;
  std::string Caption;  // "Imported " and the file name
};

// Integer formats: (sample + Round(Offset)) mod 256 (8 bit) or mod 65536,
// truncating like the program's mod; 32 bit: sample + Offset, below 0 gives 0.
// The file must hold Skip + Height rows before anything is allocated. A name
// that is not a regular file, or that cannot be opened, is refused with its
// name and the system's reason.
TRawImportResult ImportRaw(const std::string& FileName, const TRawImportParams& Params);
TRawImportResult DecodeRaw(TByteSource& Source, const TRawImportParams& Params);
