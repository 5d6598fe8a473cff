#include "engine/Errors.h"

#include <cstdio>
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
}  // namespace

std::string InternalErrorText(int Code) {
  return "An internal error has occured in Corvelle Image.  Please note the following error number: " +
         std::to_string(Code);
}

void ReportInternalError(int Code) {
  try {
    if (auto& h = ErrorHandler()) {
      h(Code);
    } else if (Code > 0) {
      std::fprintf(stderr, "%s\n", InternalErrorText(Code).c_str());
    }
  } catch (...) {
    // The report has no failure path of its own.
  }
}

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
