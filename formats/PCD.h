#pragma once
// Reading the base image (768 x 512) of a Photo CD image pack into a 24-bit
// picture. Refusals are raised as EPCDError carrying the text to show.
#include <cstddef>
#include <cstdint>
#include <istream>
#include <stdexcept>
#include <string>

#include "engine/DataImage.h"
#include "engine/QVRFastBMP.h"

inline constexpr const char* PCDInvalidText = "The PCD file is invalid.";

class EPCDError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TPCDGraphic {
 public:
  TPCDGraphic() = default;

  // Decodes the pack that begins at the stream's position. Throws EPCDError.
  void LoadFromStream(std::istream& Stream);
  void LoadFromMemory(const std::uint8_t* Data, std::size_t Size);

  TFastBMP Bitmap;      // 768 x 512, or 512 x 768 for a quarter turn
  int Resolution = 2;   // the base image
  int Rotation = 0;     // the orientation code of the pack, 0..3
};

// The colour of one pixel from its luminance and chrominance, as blue, green, red.
TRGBPixel PCDColour(int Y, int C1, int C2);

// The reading half of OpenPCD: the file into a colour image with the display
// range 0 to 255. Throws EPCDError with the text to show.
void ReadPCDImage(const std::string& FileName, TDataImage& Image);
