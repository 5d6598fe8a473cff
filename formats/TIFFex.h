#pragma once
// Reading uncompressed TIFF files (the first image of the file) into a 24-bit
// picture. Refusals are raised as ETIFFError carrying the text to show.
#include <cstddef>
#include <cstdint>
#include <istream>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/DataImage.h"
#include "engine/QVRFastBMP.h"

inline constexpr const char* TIFFInvalidText = "The TIFF file is invalid.";
inline constexpr const char* TIFFInvalidSizeText = "The TIFF file is invalid";

class ETIFFError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The text for a compression other than 1.
std::string TIFFCompressionText(std::uint32_t Compression);

struct TTIFFHeader {
  std::uint16_t ByteOrder = 0;
  std::uint16_t Magic = 0;
  std::uint32_t IFDOffset = 0;
};

struct TTIFFEntry {
  std::uint16_t Tag = 0;
  std::uint16_t FieldType = 0;
  std::uint32_t Count = 0;
  std::uint32_t Value = 0;       // the value field in native order (see LoadFromMemory)
  std::uint8_t ValueBytes[4]{};  // the value field as it stands in the file
};

class TTIFFGraphic {
 public:
  TTIFFGraphic() = default;

  // Decodes the TIFF that begins at the stream's position (offsets count from
  // there). Throws ETIFFError.
  void LoadFromStream(std::istream& Stream);
  void LoadFromMemory(const std::uint8_t* Data, std::size_t Size);

  TFastBMP Bitmap;  // the decoded picture, 24 bits

  // Tag access on the directory (ascending tag order, binary search).
  bool FindTag(std::uint16_t Tag, std::size_t& Index) const;
  std::uint32_t GetTagValue(std::uint16_t Tag, std::uint32_t Default) const;
  std::vector<std::uint32_t> GetTagValues(std::uint16_t Tag) const;
  std::uint32_t GetTagCount(std::uint16_t Tag, std::uint32_t Default) const;

  const TTIFFHeader& Header() const { return FHeader; }
  const std::vector<TTIFFEntry>& Entries() const { return FEntries; }

 private:
  bool BigEndian() const { return FHeader.ByteOrder == 0x4D4D; }
  std::uint16_t Get16(std::size_t Pos) const;
  std::uint32_t Get32(std::size_t Pos) const;
  std::uint32_t ElementValue(const TTIFFEntry& E, const std::uint8_t* P) const;

  const std::uint8_t* FData = nullptr;
  std::size_t FSize = 0;
  TTIFFHeader FHeader;
  std::vector<TTIFFEntry> FEntries;
  std::uint16_t FColorMap[3 * 256]{};
};

// Builds the 2^Bits entries (2, 16 or 256) of the palette of a one-sample
// picture as blue, green, red: photometric 0 an inverted grey ramp, 1 a grey
// ramp, 3 the high bytes of the colour map (all reds, then greens, then blues).
void BuildTIFFPalette(int Bits, std::uint32_t Photometric, const std::uint16_t* ColorMap, TRGBPixel* Palette);

// Row converters. Src holds the row's samples, Count samples in all; 16-bit
// samples are taken by their high byte (HighFirst when the file is "MM").
// Dst receives blue, green, red per pixel.
void Convert16To8(const std::uint8_t* Src, std::uint8_t* Dst, std::size_t Count, bool HighFirst);
void ConvertRGBRow(const std::uint8_t* Src, std::uint8_t* Dst, int BitsPerSample, int SamplesPerPixel,
                   std::size_t Pixels, bool HighFirst);
// As ConvertRGBRow; the samples beyond the colour ones (alpha) are dropped.
void ConvertRGBARow(const std::uint8_t* Src, std::uint8_t* Dst, int BitsPerSample, int SamplesPerPixel,
                    std::size_t Pixels, bool HighFirst);
void ConvertCIELabRow(const std::uint8_t* Src, std::uint8_t* Dst, int BitsPerSample, int SamplesPerPixel,
                      std::size_t Pixels, bool HighFirst);
void ConvertCMYKRow(const std::uint8_t* Src, std::uint8_t* Dst, int BitsPerSample, int SamplesPerPixel,
                    std::size_t Pixels, bool HighFirst);

// The platform's MulDiv: A * B / C rounded to the nearest, halves away from zero.
std::int32_t MulDiv(std::int32_t A, std::int32_t B, std::int32_t C);

// The reading half of OpenTIFF: the file into a colour image with the display
// range 0 to 255. Throws ETIFFError with the text to show.
void ReadTIFFImage(const std::string& FileName, TDataImage& Image);
