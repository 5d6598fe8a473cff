#pragma once
// Writing a 24-bit picture as an uncompressed, single-strip RGB TIFF file in
// "II" byte order, laid out from a fixed directory template.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/QVRFastBMP.h"

class TSafeFileWriter;

// Lays out the whole file: 40 bytes of header and values, the rows top-down
// as red, green, blue without padding, then the 15-entry directory. False
// when the picture is empty or too large for a TIFF file.
bool WriteTIFF(TSafeFileWriter& Stream, const TFastBMP& Bitmap);

// Creates or replaces the file (through a temporary). On failure ErrorText
// holds the text of the error box and an old file is left as it was.
bool WriteTIFFFile(const std::string& FileName, const TFastBMP& Bitmap, std::string& ErrorText);
