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

#include <gtest/gtest.h>
#include <unistd.h>
#include "ProcessScratch.h"

// A file name of the temporary folder that no other test process uses at the
// same time (CTest runs tests in parallel).
inline std::string UniqueTempFile(const std::string& Name) {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return testscratch::Folder() + "/" + (info ? std::string(info->test_suite_name()) + "." + info->name() : "") + "." +
         std::to_string(getpid()) + "." + Name;
}
