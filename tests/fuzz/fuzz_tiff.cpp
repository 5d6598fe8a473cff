#include "formats/TIFFex.h"
#include "tests/fuzz/FuzzCommon.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  TTIFFGraphic graphic;
  try {
    graphic.LoadFromMemory(Data, Size);
  } catch (const ETIFFError&) {
  }
  return 0;
}
