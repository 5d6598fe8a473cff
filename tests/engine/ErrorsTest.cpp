#include <gtest/gtest.h>

#include <vector>

#include "engine/Errors.h"

namespace {
struct Recorder {
  std::vector<int> Codes;
  TInternalErrorHandler Previous;
  Recorder() {
    Previous = SetInternalErrorHandler([this](int c) { Codes.push_back(c); });
  }
  ~Recorder() { SetInternalErrorHandler(Previous); }
};
}  // namespace

TEST(Errors, TextOfTheReport) {
  EXPECT_EQ(InternalErrorText(39),
            "An internal error has occured in Corvelle Image.  Please note the following error number: 39");
  const std::string t = InternalErrorText(201);
  EXPECT_EQ(t.substr(t.size() - 11), "number: 201");
}

TEST(Errors, HandlerSeesEveryReportOnce) {
  Recorder r;
  ReportInternalError(0);
  ReportInternalError(-1);
  ReportInternalError(39);
  EXPECT_EQ(r.Codes, (std::vector<int>{0, -1, 39}));
}

TEST(Errors, DefaultReportWritesOnlyPositiveCodes) {
  auto previous = SetInternalErrorHandler(nullptr);
  testing::internal::CaptureStderr();
  ReportInternalError(0);
  ReportInternalError(-1);
  std::string quiet = testing::internal::GetCapturedStderr();
  testing::internal::CaptureStderr();
  ReportInternalError(39);
  std::string loud = testing::internal::GetCapturedStderr();
  SetInternalErrorHandler(previous);
  EXPECT_EQ(quiet, "");
  EXPECT_NE(loud.find("Please note the following error number: 39"), std::string::npos);
}

TEST(Errors, ReportNeverThrows) {
  auto previous = SetInternalErrorHandler([](int) { throw 1; });
  EXPECT_NO_THROW(ReportInternalError(5));
  SetInternalErrorHandler(previous);
}

TEST(Errors, SharedNumbers) {
  EXPECT_EQ(errColRotate, errColCalcRegionHistogram);
  EXPECT_EQ(errColUnsharpMask, 19);
  EXPECT_EQ(errColCrop, errFlatFieldDivide);
  EXPECT_EQ(errCrop, errSubtractDark);
  EXPECT_EQ(errMaximumEntropyDeconvolve, 107);
  EXPECT_EQ(errColHSIAdjust, 108);
  EXPECT_EQ(errMeasureAperture, 201);
}

TEST(Errors, WarningAndProgressHooks) {
  std::vector<std::string> warnings;
  auto pw = SetWarningHandler([&](const std::string& t) { warnings.push_back(t); });
  ShowEngineWarning("Division by zero");
  SetWarningHandler(pw);
  EXPECT_EQ(warnings, std::vector<std::string>{"Division by zero"});

  std::vector<std::pair<int, int>> steps;
  auto pp = SetProgressHandler([&](int i, int p) { steps.emplace_back(i, p); });
  ReportProgress(1, 10);
  ReportProgress(2, 20);
  SetProgressHandler(pp);
  ReportProgress(3, 30);  // no handler: nothing
  EXPECT_EQ(steps.size(), 2u);
  EXPECT_EQ(steps[1], std::make_pair(2, 20));
}
