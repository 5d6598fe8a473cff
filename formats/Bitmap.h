#pragma once
// Windows bitmap files, and what every picture codec shares: the 24-bit
// picture (a TFastBMP: B,G,R rows, bottom-up, padded) and its copy into a
// colour image. Files are written through TSafeFileWriter, so that a failed
// save leaves the old file as it was.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <istream>
#include <string>
#include <vector>

#include "engine/DataImage.h"
#include "engine/QVRFastBMP.h"
#include "formats/ByteSource.h"

inline constexpr const char* BMPOpenErrorText =
    "Error opening BMP file.  The file may not be in the correct format, or it may be corrupt.";
inline constexpr const char* SaveErrorText = "An error saving this file.";

inline constexpr const char* PictureTooLargeText =
    "This picture is too large to open: there is not enough memory for it.  The file has not been opened.";

// True when a picture of Width x Height fits the memory an image may take,
// counting the picture and the colour image it becomes.
bool PictureSizeAllowed(std::int64_t Width, std::int64_t Height);

// The sides a picture file's header declares, read without reading the whole
// file; false when the header does not say (the decoder then decides).
enum class TPictureKind { BMP, JPEG, TIFF };
bool PictureFileSides(TByteSource& Source, TPictureKind Kind, std::int64_t& Width, std::int64_t& Height);
// Before a picture file is read whole: false, with PictureTooLargeText, when
// its header declares sides too large to open or the file itself is larger
// than memory can take.
bool PictureFileFits(const std::string& FileName, TPictureKind Kind, std::string& ErrorText);

// Sizes Bitmap as a fresh zero picture; false when the size is refused.
bool SizePicture(TFastBMP& Bitmap, std::int64_t Width, std::int64_t Height);

// Copies a 24-bit picture into a colour image (data type 0) of its size, with
// the display range 0 to 255. False when the image cannot be allocated.
bool PictureToImage(const TFastBMP& Bitmap, TDataImage& Image);

// Reads a whole file; false when it cannot be opened or read. ErrorText gets
// the runtime's kind of message.
bool ReadWholeFile(const std::string& FileName, std::string& Data, std::string& ErrorText);

// Reads a stream from its position to its end.
bool ReadStreamRest(std::istream& Stream, std::vector<std::uint8_t>& Data);

// Decodes a bitmap file held in memory into a 24-bit picture: core (OS/2),
// info, V2 to V5 headers; 1, 4 and 8-bit palettes; 16, 24 and 32 bits;
// uncompressed, bit fields, RLE8 and RLE4; bottom-up and top-down rows.
bool DecodeBMP(const std::uint8_t* Data, std::size_t Size, TFastBMP& Bitmap);

// The reading half of OpenBMP: the file into a colour image. On failure the
// image holds no new picture and ErrorText holds the text of the error box.
bool ReadBMPImage(const std::string& FileName, TDataImage& Image, std::string& ErrorText);

// The writing half of SaveBMP: a 24-bit bottom-up bitmap file with an info
// header. On failure ErrorText holds the text of the error box.
bool WriteBMPFile(const std::string& FileName, const TFastBMP& Bitmap, std::string& ErrorText);
