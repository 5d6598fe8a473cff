#pragma once
// Which vector paths the engine may take. Each path for an instruction set
// has a plain twin that gives the same results on any x86-64 processor; tests
// turn the vector paths off to run the twins on their own machine too.

namespace Processor {

// True when the AVX2 paths may run: the processor has AVX2 and they are not
// turned off.
bool AVX2();

// For tests: false makes every caller take the paths any x86-64 processor
// has; true gives the processor's own again. Not while a computation runs.
void AllowAVX2(bool Allowed);

}  // namespace Processor
