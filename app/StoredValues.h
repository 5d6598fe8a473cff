#pragma once
// Values read from the settings store one at a time: a value that is missing,
// of another kind, not finite or outside what the program could have written
// costs only itself, taking its own default.
#include <QRect>
#include <QString>
#include <climits>
#include <optional>

class TRegistry;

namespace StoredValues {

// The value when it is there and within [Min, Max]; nothing otherwise.
std::optional<int> Integer(const TRegistry& Reg, const QString& Name, int Min = INT_MIN, int Max = INT_MAX);
std::optional<double> Float(const TRegistry& Reg, const QString& Name, double Min, double Max);
std::optional<bool> Bool(const TRegistry& Reg, const QString& Name);
std::optional<QString> String(const TRegistry& Reg, const QString& Name);

// Stored bounds brought onto the screens: no larger than the available area
// of the screen they lie most on (the primary one when they lie on none) and
// moved wholly onto it; a side below 1 counts as 1.
QRect OnScreens(int Left, int Top, int Width, int Height);

// The photometry values of key A: each one stored there and within the
// ranges of the settings dialog, or its design value.
struct TPhotometryValues {
  int Aperture = 8, AnnulusInner = 13, AnnulusOuter = 18;
  double ZeroPoint = 20.0, IntegrationTime = 60.0;
};
TPhotometryValues ReadPhotometry();
// Their value names, in the order above ("Intergration Time" is spelled so).
extern const char* const PhotometryNames[5];
inline constexpr int MaxRadius = 255;
inline constexpr double MaxPhotometryValue = 2e32;
inline constexpr double MinIntegrationTime = 0.01;

}  // namespace StoredValues
