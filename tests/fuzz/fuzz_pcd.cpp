#include "formats/PCD.h"
#include "tests/fuzz/FuzzCommon.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  TPCDGraphic graphic;
  try {
    graphic.LoadFromMemory(Data, Size);
  } catch (const EPCDError&) {
  }
  return 0;
}
