#include "AllocationFaults.h"

#include <dlfcn.h>

#include <cstdlib>
#include <new>

namespace {
struct TState {
  bool Armed;
  bool Every;
  long Nth;
  long Seen;
  long Failed;
};
thread_local TState State{};

using TNew = void* (*)(std::size_t);

// The operator new this one stands in front of (the sanitizer's or the
// runtime library's), so that every allocation is still tracked as usual.
void* Allocate(const char* Symbol, std::size_t Size) {
  if (State.Armed) {
    ++State.Seen;
    // As the real operator new: a new handler, when there is one, is asked
    // to make room (or end the program) and the allocation is tried again.
    while (State.Seen == State.Nth || (State.Every && State.Seen > State.Nth)) {
      ++State.Failed;
      const std::new_handler handler = std::get_new_handler();
      if (!handler) throw std::bad_alloc();
      handler();
      if (!State.Every) break;
    }
  }
  static const TNew single = reinterpret_cast<TNew>(::dlsym(RTLD_NEXT, "_Znwm"));
  static const TNew array = reinterpret_cast<TNew>(::dlsym(RTLD_NEXT, "_Znam"));
  const TNew real = Symbol[0] == 's' ? single : array;
  if (!real) std::abort();
  return real(Size);
}
}  // namespace

void* operator new(std::size_t Size) { return Allocate("single", Size); }
void* operator new[](std::size_t Size) { return Allocate("array", Size); }

namespace allocfaults {

void Arm(long Nth, bool Every) { State = {true, Every, Nth, 0, 0}; }

long Disarm() {
  State.Armed = false;
  return State.Failed;
}

long Seen() { return State.Seen; }

}  // namespace allocfaults
