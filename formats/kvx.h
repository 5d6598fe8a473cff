#pragma once
// The program's own image file: pixel values without loss (grey as Singles,
// colour as B,G,R bytes) with the window's text annotations and markers.
// Little-endian fields, no magic number, no padding.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/DataImage.h"
#include "formats/ByteSource.h"
#include "formats/CodecMessage.h"

struct TKVXFontStyle {
  bool Bold = false, Italic = false, Underline = false, StrikeOut = false;
  bool operator==(const TKVXFontStyle&) const = default;
};

// One text annotation; texts and the font name are 8-bit (Windows-1252) bytes,
// the colour a $00BBGGRR value, the size in points.
struct TKVXAnnotation {
  std::int32_t X = 0, Y = 0;
  std::string Text;
  std::uint32_t FontColour = 0;
  std::uint32_t FontSize = 0;
  TKVXFontStyle FontStyle;
  std::string FontName;
  bool operator==(const TKVXAnnotation&) const = default;
};

struct TKVXMarker {
  float X = 0.0f, Y = 0.0f;
  bool operator==(const TKVXMarker&) const = default;
};

inline constexpr std::uint8_t kKVXVersion = 2;
inline constexpr const char* msgKVXUnrecognised = "Unrecognised file format.  This file may be corrupt.";

// The style code: 1..5 only for exactly {bold}, {italic}, {underline},
// {strike-out} or {bold, italic}; any other set is 0. Codes above 5 read plain.
std::uint8_t KVXStyleCode(const TKVXFontStyle& Style);
TKVXFontStyle KVXStyleFromCode(std::uint8_t Code);

// A file into an image: colour (data type 0) or grey floating point (data type
// 3), auto-scaled, with its annotations and markers. No image when refused.
struct TKVXReadResult {
  std::unique_ptr<TDataImage> Image;
  std::vector<TKVXAnnotation> Annotations;
  std::vector<TKVXMarker> Markers;
  TCodecMessages Messages;
};
TKVXReadResult LoadKVX(const std::string& FileName);
TKVXReadResult DecodeKVX(TByteSource& Source);

// Writes (or replaces) the file; the old file stays whole when writing fails.
TCodecMessages SaveKVX(const std::string& FileName, const TDataImage& Image,
                       const std::vector<TKVXAnnotation>& Annotations, const std::vector<TKVXMarker>& Markers);
// The whole file as bytes (what SaveKVX writes).
std::vector<std::uint8_t> EncodeKVX(const TDataImage& Image, const std::vector<TKVXAnnotation>& Annotations,
                                    const std::vector<TKVXMarker>& Markers);
