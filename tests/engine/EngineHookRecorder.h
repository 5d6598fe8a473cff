#pragma once
// Records the engine's error reports and warning texts for the length of a test.
#include <string>
#include <vector>

#include "engine/Errors.h"

struct EngineHookRecorder {
  std::vector<int> Codes;
  std::vector<std::string> Warnings;
  TInternalErrorHandler PreviousError;
  TWarningHandler PreviousWarning;
  EngineHookRecorder() {
    PreviousError = SetInternalErrorHandler([this](int c) { Codes.push_back(c); });
    PreviousWarning = SetWarningHandler([this](const std::string& t) { Warnings.push_back(t); });
  }
  ~EngineHookRecorder() {
    SetInternalErrorHandler(PreviousError);
    SetWarningHandler(PreviousWarning);
  }
};
