#include "formats/Bitmap.h"
#include "tests/fuzz/FuzzCommon.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  TFastBMP bitmap;
  if (DecodeBMP(Data, Size, bitmap)) {
    TDataImage image;
    PictureToImage(bitmap, image);
  }
  return 0;
}
