#pragma once
// JPEG files through libjpeg: decoding at best quality into a 24-bit picture
// (greyscale files as three equal channels, CMYK and YCCK converted to RGB),
// encoding a 24-bit picture at a quality of 0 to 100, progressive or not.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/DataImage.h"
#include "engine/QVRFastBMP.h"

inline constexpr const char* JPEGOpenErrorText =
    "Error opening JPEG file.  The file may not be in the correct format, or it may be corrupt.";

// Decodes a JPEG held in memory; false for anything libjpeg refuses, a file
// that ends before its last scan, or a picture too large to hold.
bool DecodeJPEG(const std::uint8_t* Data, std::size_t Size, TFastBMP& Bitmap);

// Encodes a picture; Quality 0..100 (libjpeg takes 0 as 1). False on failure.
bool EncodeJPEG(const TFastBMP& Bitmap, int Quality, bool Progressive, std::vector<std::uint8_t>& Out);

// The reading half of OpenJPEG: the file into a colour image. On failure the
// image holds no new picture and ErrorText holds the text of the error box.
bool ReadJPEGImage(const std::string& FileName, TDataImage& Image, std::string& ErrorText);

// The writing half of SaveJPEG. On failure ErrorText holds the text of the
// error box and an old file is left as it was.
bool WriteJPEGFile(const std::string& FileName, const TFastBMP& Bitmap, int Quality, bool Progressive,
                   std::string& ErrorText);
