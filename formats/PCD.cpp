#include "formats/PCD.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "formats/Bitmap.h"

namespace {

constexpr std::size_t SignatureAt = 2048;
constexpr std::size_t OrientationAt = 194635;
constexpr std::size_t BaseImageAt = 196608;
constexpr int BaseWidth = 768, BaseHeight = 512;
constexpr int ChromaWidth = BaseWidth / 2;
constexpr std::size_t GroupBytes = 2 * BaseWidth + 2 * ChromaWidth;
constexpr std::size_t PackBytes = BaseImageAt + GroupBytes * (BaseHeight / 2);

// One chrominance row, its last sample repeated once beyond the end.
struct TChromaRow {
  int C[ChromaWidth + 1];
  void Load(const std::uint8_t* P) {
    for (int i = 0; i < ChromaWidth; ++i) C[i] = P[i];
    C[ChromaWidth] = C[ChromaWidth - 1];
  }
};

}  // namespace

// The constants have at most seven decimals, so the formula is evaluated
// exactly in units of 1e-7: some pixels land exactly on a half (Y = 23,
// C1 = 148 gives a blue of 13.5), and those must go to the even neighbour.
namespace {
std::uint8_t RoundScaled(std::int64_t V) {
  constexpr std::int64_t unit = 10000000;
  if (V <= 0) return 0;
  std::int64_t q = V / unit;
  const std::int64_t r = V % unit;
  if (2 * r > unit || (2 * r == unit && (q & 1))) ++q;
  return q > 255 ? 255 : std::uint8_t(q);
}
}  // namespace

TRGBPixel PCDColour(int Y, int C1, int C2) {
  const std::int64_t L = 13584000LL * Y;
  const std::int64_t red = L + 18215000LL * (C2 - 137);
  const std::int64_t green = L - 9271435LL * (C2 - 137) - 4302726LL * (C1 - 156);
  const std::int64_t blue = L + 22179000LL * (C1 - 156);
  return TRGBPixel{RoundScaled(blue), RoundScaled(green), RoundScaled(red)};
}

void TPCDGraphic::LoadFromStream(std::istream& Stream) {
  std::vector<std::uint8_t> data;
  if (!ReadStreamRest(Stream, data)) throw EPCDError(PCDInvalidText);
  LoadFromMemory(data.data(), data.size());
}

void TPCDGraphic::LoadFromMemory(const std::uint8_t* Data, std::size_t Size) {
  Bitmap.SetSize(0, 0);
  if (Size < SignatureAt + 7 || std::memcmp(Data + SignatureAt, "PCD_IPI", 7) != 0) throw EPCDError(PCDInvalidText);
  if (Size < PackBytes) throw EPCDError(PCDInvalidText);
  Rotation = Data[OrientationAt] & 3;
  const bool turned = Rotation & 1;
  Bitmap.SetSize(turned ? BaseHeight : BaseWidth, turned ? BaseWidth : BaseHeight);

  // Places source pixel (x, y): code 0 as it stands, 1 a quarter turn
  // counter-clockwise, 2 a half turn, 3 a quarter turn clockwise.
  auto place = [&](int x, int y, TRGBPixel p) {
    int row = y, col = x;
    switch (Rotation) {
      case 1: row = BaseWidth - 1 - x, col = y; break;
      case 2: row = BaseHeight - 1 - y, col = BaseWidth - 1 - x; break;
      case 3: row = x, col = BaseHeight - 1 - y; break;
    }
    std::memcpy(Bitmap.TopRow(row) + 3 * col, &p, 3);
  };

  TChromaRow c1, c2, n1, n2;
  for (int g = 0; g < BaseHeight / 2; ++g) {
    const std::uint8_t* group = Data + BaseImageAt + GroupBytes * g;
    const std::uint8_t* next = g + 1 < BaseHeight / 2 ? group + GroupBytes : group;
    const std::uint8_t* y1 = group;
    const std::uint8_t* y2 = group + BaseWidth;
    c1.Load(group + 2 * BaseWidth);
    c2.Load(group + 2 * BaseWidth + ChromaWidth);
    n1.Load(next + 2 * BaseWidth);
    n2.Load(next + 2 * BaseWidth + ChromaWidth);
    for (int x = 0; x < BaseWidth; ++x) {
      const int k = x / 2;
      int a1, a2, b1, b2;
      if (x % 2 == 0) {
        a1 = c1.C[k];
        a2 = c2.C[k];
        b1 = (c1.C[k] + n1.C[k]) / 2;
        b2 = (c2.C[k] + n2.C[k]) / 2;
      } else {
        a1 = (c1.C[k] + c1.C[k + 1]) / 2;
        a2 = (c2.C[k] + c2.C[k + 1]) / 2;
        b1 = (c1.C[k] + c1.C[k + 1] + n1.C[k] + n1.C[k + 1]) / 4;
        b2 = (c2.C[k] + c2.C[k + 1] + n2.C[k] + n2.C[k + 1]) / 4;
      }
      place(x, 2 * g, PCDColour(y1[x], a1, a2));
      place(x, 2 * g + 1, PCDColour(y2[x], b1, b2));
    }
  }
}

void ReadPCDImage(const std::string& FileName, TDataImage& Image) {
  // The base image lies in the first part of the pack: only that is read, so
  // a pack of any length (or a large file of another kind) is not held whole.
  TByteSource source;
  if (!source.OpenFile(FileName)) throw EPCDError(CannotOpenText(FileName, source.Reason()));
  std::vector<std::uint8_t> data(std::size_t(std::min<std::uint64_t>(source.Size(), PackBytes)));
  if (source.Read(data.data(), data.size()) != data.size() || source.Failed()) throw EPCDError(PCDInvalidText);
  TPCDGraphic graphic;
  graphic.LoadFromMemory(data.data(), data.size());
  if (!PictureToImage(graphic.Bitmap, Image)) throw EPCDError(PictureTooLargeText);
}
