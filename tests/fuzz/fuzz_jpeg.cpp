#include "formats/JPG.h"
#include "tests/fuzz/FuzzCommon.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  TFastBMP bitmap;
  DecodeJPEG(Data, Size, bitmap);
  return 0;
}
