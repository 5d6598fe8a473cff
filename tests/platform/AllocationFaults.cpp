#include "AllocationFaults.h"

#include <dlfcn.h>
#include <malloc.h>

#include <cstdlib>
#include <new>

namespace {
struct TState {
  bool Armed;
  bool Every;
  long Nth;
  long Seen;
  long Failed;
  long FirstFailed;
  bool Budgeted;
  long Budget;
  long Live;
};
thread_local TState State{};

using TNew = void* (*)(std::size_t);
using TDelete = void (*)(void*);
using TSizedDelete = void (*)(void*, std::size_t);

template <typename T>
T Next(const char* Symbol) {
  const T real = reinterpret_cast<T>(::dlsym(RTLD_NEXT, Symbol));
  if (!real) std::abort();
  return real;
}

// The operator new this one stands in front of (the sanitizer's or the
// runtime library's), so that every allocation is still tracked as usual.
void* Allocate(bool Array, std::size_t Size) {
  if (State.Armed) {
    ++State.Seen;
    // As the real operator new: a new handler, when there is one, is asked
    // to make room (or end the program) and the allocation is tried again.
    while (State.Seen == State.Nth || (State.Every && State.Seen > State.Nth) ||
           (State.Budgeted && State.Live + long(Size) > State.Budget)) {
      ++State.Failed;
      if (!State.FirstFailed) State.FirstFailed = State.Seen;
      const std::new_handler handler = std::get_new_handler();
      if (!handler) throw std::bad_alloc();
      handler();
      if (!State.Every && !State.Budgeted) break;
    }
  }
  static const TNew single = Next<TNew>("_Znwm");
  static const TNew array = Next<TNew>("_Znam");
  void* p = (Array ? array : single)(Size);
  if (State.Armed && State.Budgeted) State.Live += long(::malloc_usable_size(p));
  return p;
}

void GiveBack(void* P) {
  if (P && State.Armed && State.Budgeted) State.Live -= long(::malloc_usable_size(P));
}
}  // namespace

void* operator new(std::size_t Size) { return Allocate(false, Size); }
void* operator new[](std::size_t Size) { return Allocate(true, Size); }
void operator delete(void* P) noexcept {
  GiveBack(P);
  static const TDelete real = Next<TDelete>("_ZdlPv");
  real(P);
}
void operator delete[](void* P) noexcept {
  GiveBack(P);
  static const TDelete real = Next<TDelete>("_ZdaPv");
  real(P);
}
void operator delete(void* P, std::size_t Size) noexcept {
  GiveBack(P);
  static const TSizedDelete real = Next<TSizedDelete>("_ZdlPvm");
  real(P, Size);
}
void operator delete[](void* P, std::size_t Size) noexcept {
  GiveBack(P);
  static const TSizedDelete real = Next<TSizedDelete>("_ZdaPvm");
  real(P, Size);
}

namespace allocfaults {

void Arm(long Nth, bool Every) { State = {true, Every, Nth, 0, 0, 0, false, 0, 0}; }

void ArmBudget(long Bytes) { State = {true, false, 0, 0, 0, 0, true, Bytes, 0}; }

long Disarm() {
  State.Armed = false;
  return State.Failed;
}

long Seen() { return State.Seen; }

long FirstFailed() { return State.FirstFailed; }

}  // namespace allocfaults
