#pragma once
// Allocations that fail on demand, on the calling thread only: operator new
// throws std::bad_alloc at the Nth allocation after Arm (and, with Every, at
// each one after it), as it does when the address space runs out. Every other
// allocation goes to the real operator new.
namespace allocfaults {

void Arm(long Nth, bool Every);
// Stops the failures; returns how many allocations failed.
long Disarm();

}  // namespace allocfaults
