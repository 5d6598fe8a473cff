#include "formats/Bmp2Tiff.h"

#include <cstring>

#include "formats/Bitmap.h"

namespace {

enum : std::uint16_t { ftASCII = 2, ftShort = 3, ftLong = 4, ftRational = 5 };

void Put16(std::uint8_t* P, std::uint32_t V) {
  P[0] = std::uint8_t(V);
  P[1] = std::uint8_t(V >> 8);
}
void Put32(std::uint8_t* P, std::uint32_t V) {
  for (int i = 0; i < 4; ++i) P[i] = std::uint8_t(V >> (8 * i));
}

}  // namespace

bool WriteTIFF(TSafeFileWriter& Stream, const TFastBMP& Bitmap) {
  const std::uint32_t w = std::uint32_t(Bitmap.Width), h = std::uint32_t(Bitmap.Height);
  if (Bitmap.Width <= 0 || Bitmap.Height <= 0 || !Bitmap.Bits) return false;
  const std::uint64_t dataBytes = std::uint64_t(w) * 3 * h;
  if (40 + dataBytes + 186 > 0xFFFFFFFFull) return false;

  // Header, resolutions, bits per sample and the software text.
  std::uint8_t head[40] = {'I', 'I'};
  Put16(head + 2, 42);
  const std::uint32_t ifdOffset = std::uint32_t(40 + dataBytes);
  Put32(head + 4, ifdOffset);
  Put32(head + 8, 877);
  Put32(head + 12, 10);
  Put32(head + 16, 877);
  Put32(head + 20, 10);
  Put16(head + 24, 8);
  Put16(head + 26, 8);
  Put16(head + 28, 8);
  std::memcpy(head + 30, "Quelt soft", 10);
  if (!Stream.Write(head, sizeof head)) return false;

  // Rows from the top of the picture down, red, green, blue.
  std::vector<std::uint8_t> row(std::size_t(w) * 3);
  for (int y = 0; y < Bitmap.Height; ++y) {
    const std::uint8_t* s = Bitmap.TopRow(y);
    std::uint8_t* d = row.data();
    for (std::uint32_t x = 0; x < w; ++x, s += 3, d += 3) {
      d[0] = s[2];
      d[1] = s[1];
      d[2] = s[0];
    }
    if (!Stream.Write(row.data(), row.size())) return false;
  }

  // The directory. Sides beyond 65535 do not fit a SHORT and go as LONG.
  struct TEntry {
    std::uint16_t Tag, Type;
    std::uint32_t Count, Value;
  };
  const std::uint16_t sideType = w > 65535 || h > 65535 ? ftLong : ftShort;
  const TEntry entries[15] = {
      {254, ftLong, 1, 0},
      {256, sideType, 1, w},
      {257, sideType, 1, h},
      {258, ftShort, 3, 24},
      {259, ftShort, 1, 1},
      {262, ftShort, 1, 2},
      {273, ftLong, 1, 40},
      {277, ftShort, 1, 3},
      {278, ftLong, 1, h},
      {279, ftLong, 1, std::uint32_t(dataBytes)},
      {282, ftRational, 1, 8},
      {283, ftRational, 1, 16},
      {284, ftShort, 1, 1},
      {296, ftShort, 1, 2},
      {305, ftASCII, 10, 30},
  };
  std::uint8_t ifd[2 + 15 * 12 + 4] = {};
  Put16(ifd, 15);
  for (int i = 0; i < 15; ++i) {
    std::uint8_t* e = ifd + 2 + 12 * i;
    Put16(e, entries[i].Tag);
    Put16(e + 2, entries[i].Type);
    Put32(e + 4, entries[i].Count);
    Put32(e + 8, entries[i].Value);  // a SHORT stands in the low two bytes, the others 0
  }
  return Stream.Write(ifd, sizeof ifd);
}

bool WriteTIFFFile(const std::string& FileName, const TFastBMP& Bitmap, std::string& ErrorText) {
  ErrorText = SaveErrorText;
  TSafeFileWriter out;
  if (!out.Open(FileName) || !WriteTIFF(out, Bitmap) || !out.Commit()) {
    ErrorText = SaveFailureText(SaveErrorText, out);
    return false;
  }
  ErrorText.clear();
  return true;
}
