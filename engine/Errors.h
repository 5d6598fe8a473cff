#pragma once
// The internal error report and the engine's other hooks to the outside:
// warning texts and progress of long iterations. The application connects them
// to message boxes and progress bars; tests connect them to recorders.
#include <exception>
#include <functional>
#include <string>

// Error numbers of the image operations. Several operations share a number.
enum TErrorNumber : int {
  errNone = 0,
  errColBrightnessContrast = 1,
  errColGamma = 2,
  errColLinearScale = 3,
  errColLogScale = 4,
  errColDDP = 5,
  errMakeLinearTable = 8,
  errColConvolvePreset = 11,
  errColGradient = 12,
  errColBoxFilter = 13,
  errColMedianFilter = 14,
  errColMinMaxFilter = 14,
  errColColourBalance = 15,
  errColResample = 16,
  errColRotate = 17,
  errColCalcRegionHistogram = 17,
  errColCalcRegionStatistics = 18,
  errColUnsharpMask = 19,
  errColPixelMath = 19,
  errColCustomFilter = 20,
  errColFlip = 21,
  errColImageArithmetic = 22,
  errCopyImageWindow = 23,
  errBrightnessContrast = 24,
  errGamma = 25,
  errLinearStretch = 26,
  errLogScale = 27,
  errDDP = 28,
  errFilter3x3 = 29,
  errSobelFilter = 30,
  errMeanFilter = 31,
  errMedianFilter = 32,
  errMinMaxFilter = 33,
  errCustomFilter = 34,
  errUnsharpMask = 35,
  errRotate = 36,
  errFlip = 37,
  errResample = 38,
  errCalcRegionStatistics = 39,
  errCalcRegionHistogram = 40,
  errPixelMath = 41,
  errImageArithmetic = 42,
  errRegisterLinear = 44,
  errRegisterQuadratic = 45,
  errGetRenderedBitmap = 46,
  errNoiseFilter = 47,
  errAdaptiveMMSE = 48,
  errAdaptiveDWMTM = 49,
  errContraHarmonic = 50,
  errAlphaTrimmed = 51,
  errColCrop = 52,
  errFlatFieldDivide = 52,
  errCrop = 53,
  errSubtractDark = 53,
  errSubtractBias = 54,
  errHomomorphicFilter = 55,
  errFFTFilter = 56,
  errDuplicateImage = 60,
  errCreatePSF = 100,
  errExtractPSF = 101,
  errLucyRichardsonDialogDeconvolve = 102,
  errLucyRichardsonPreview = 104,
  errLucyRichardsonDeconvolve = 106,
  errMaximumEntropyDeconvolve = 107,
  errVanCittertDeconvolve = 107,
  errMaximumEntropyPreview = 107,
  errVanCittertPreview = 107,
  errColHSIAdjust = 108,
  errMaximumEntropyDialogDeconvolve = 108,
  errVanCittertDialogDeconvolve = 108,
  errMeasureAperture = 201,
};

// What the user is told when memory runs out, wherever it happens.
inline constexpr const char* OutOfMemoryText = "Out of memory";

// The text shown for a positive code.
std::string InternalErrorText(int Code);

// Shows the error box for Code > 0 through the installed handler; nothing for
// Code <= 0. Never throws. Called from a guard that caught exhausted memory,
// it reports as ReportOutOfMemory does.
void ReportInternalError(int Code);

// Exhausted memory: std::bad_alloc and its kin, or a container's length_error.
bool IsOutOfMemory(const std::exception_ptr& E);
// Reports Code for a routine that ran out of memory: the handlers get Code as
// always, and ReportIsOutOfMemory() is true while they run, so that the user
// reads OutOfMemoryText instead of a number.
void ReportOutOfMemory(int Code);
bool ReportIsOutOfMemory();

// Receives every call of ReportInternalError, zero and negative codes included,
// so tests can check that an operation reported exactly once. The handler
// decides what to show (the application shows positive codes only).
using TInternalErrorHandler = std::function<void(int Code)>;
// Returns the previous handler. An empty handler restores the default, which
// writes positive codes to standard error.
TInternalErrorHandler SetInternalErrorHandler(TInternalErrorHandler Handler);

// A warning box with an OK button and a fixed text, raised by an engine routine.
using TWarningHandler = std::function<void(const std::string& Text)>;
TWarningHandler SetWarningHandler(TWarningHandler Handler);
void ShowEngineWarning(const std::string& Text);

// Progress of a long iteration: iteration number and percentage done. The GUI
// updates its labels and lets its event loop run inside the handler.
using TProgressHandler = std::function<void(int Iteration, int Percent)>;
TProgressHandler SetProgressHandler(TProgressHandler Handler);
void ReportProgress(int Iteration, int Percent);
