#include "engine/Errors.h"

#include <cstdio>
#include <new>
#include <stdexcept>
#include <utility>

namespace {
TInternalErrorHandler& ErrorHandler() {
  static TInternalErrorHandler h;
  return h;
}
TWarningHandler& WarningHandler() {
  static TWarningHandler h;
  return h;
}
TProgressHandler& ProgressHandler() {
  static TProgressHandler h;
  return h;
}
thread_local bool OutOfMemoryReport = false;

void Report(int Code, bool OutOfMemory) {
  const bool outer = std::exchange(OutOfMemoryReport, OutOfMemory && Code > 0);
  try {
    if (auto& h = ErrorHandler()) {
      h(Code);
    } else if (Code > 0) {
      std::fprintf(stderr, "%s\n", (OutOfMemoryReport ? std::string(OutOfMemoryText) : InternalErrorText(Code)).c_str());
    }
  } catch (...) {
    // The report has no failure path of its own.
  }
  OutOfMemoryReport = outer;
}
}  // namespace

std::string InternalErrorText(int Code) {
  return "An internal error has occured in Corvelle Image.  Please note the following error number: " +
         std::to_string(Code);
}

bool IsOutOfMemory(const std::exception_ptr& E) {
  if (!E) return false;
  try {
    std::rethrow_exception(E);
  } catch (const std::bad_alloc&) {
    return true;
  } catch (const std::length_error&) {
    return true;
  } catch (...) {
    return false;
  }
}

// Inside a guard's handler the exception it caught is still the current one.
void ReportInternalError(int Code) { Report(Code, Code > 0 && IsOutOfMemory(std::current_exception())); }

void ReportOutOfMemory(int Code) { Report(Code, true); }

bool ReportIsOutOfMemory() { return OutOfMemoryReport; }

TInternalErrorHandler SetInternalErrorHandler(TInternalErrorHandler Handler) {
  return std::exchange(ErrorHandler(), std::move(Handler));
}

TWarningHandler SetWarningHandler(TWarningHandler Handler) {
  return std::exchange(WarningHandler(), std::move(Handler));
}

void ShowEngineWarning(const std::string& Text) {
  if (auto& h = WarningHandler()) {
    h(Text);
  } else {
    std::fprintf(stderr, "%s\n", Text.c_str());
  }
}

TProgressHandler SetProgressHandler(TProgressHandler Handler) {
  return std::exchange(ProgressHandler(), std::move(Handler));
}

void ReportProgress(int Iteration, int Percent) {
  if (auto& h = ProgressHandler()) h(Iteration, Percent);
}
