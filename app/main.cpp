#include "app/StartUp.h"
#include "platform/PageMemory.h"

int main(int argc, char** argv) {
  PageMemory::ShareAllocatorArenas();
  return RunProgram(argc, argv);
}
