#pragma once
// Allocations that fail on demand, on the calling thread only: operator new
// throws std::bad_alloc at the Nth allocation after Arm (and, with Every, at
// each one after it), as it does when the address space runs out; a new
// handler, when one is set, is called first, and the allocation tried again
// (it succeeds without Every). Every other allocation goes to the real
// operator new.
namespace allocfaults {

void Arm(long Nth, bool Every);
// Memory that runs out by size: an allocation fails when it would take the
// blocks allocated since, less those freed since (of any age), past Bytes.
void ArmBudget(long Bytes);
// Stops the failures; returns how many allocations failed.
long Disarm();
// Allocations seen since Arm (a run armed never to fail counts a whole task).
long Seen();
// Which allocation after the last Arm failed first (1 for the first); 0 when none did.
long FirstFailed();

}  // namespace allocfaults
