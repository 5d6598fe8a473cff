#pragma once
// Red-green-blue to hue-saturation-value and back (hexcone model). Hue in
// degrees 0 <= H < 360, or the undefined hue when the saturation is 0.
#include <bit>
#include <cmath>
#include <cstdint>

// A quiet NaN with every exponent and mantissa bit set and the sign clear.
inline double UndefinedHue() { return std::bit_cast<double>(std::uint64_t(0x7FFFFFFFFFFFFFFFull)); }

// True for any NaN (exponent all ones, mantissa not zero); false for infinities.
inline bool IsUndefinedHue(double Value) {
  const std::uint64_t b = std::bit_cast<std::uint64_t>(Value);
  return (b & 0x7FF0000000000000ull) == 0x7FF0000000000000ull && (b & 0x000FFFFFFFFFFFFFull) != 0;
}

// R, G, B on 0..255; V = max / 255. Ties for the maximum go to R, then G, then B.
inline void RGBToHSV(double R, double G, double B, double& H, double& S, double& V) {
  double mx = R, mn = R;
  if (G > mx) mx = G;
  if (B > mx) mx = B;
  if (G < mn) mn = G;
  if (B < mn) mn = B;
  const long double delta = (long double)mx - mn;
  S = mx == 0 ? 0.0 : double(delta / mx);
  if (S == 0) {
    H = UndefinedHue();
  } else {
    if (R == mx) {
      H = double(((long double)G - B) * 60 / delta);
    } else if (G == mx) {
      H = double(((long double)B - R) * 60 / delta + 120);
    } else {
      H = double(((long double)R - G) * 60 / delta + 240);
    }
    if (H < 0) H = double((long double)H + 360);
  }
  V = double((long double)mx / 255);
}

// Returns R, G, B on the scale of V. A zero saturation gives V in all three
// only with the undefined hue; with a defined hue it writes nothing, as does a
// hue whose sector is outside 0..5 (outside [0, 360], or NaN with a non-zero
// saturation): R, G and B then keep what the caller set.
inline void HSVToRGB(double H, double S, double V, double& R, double& G, double& B) {
  if (S == 0) {
    if (IsUndefinedHue(H)) R = G = B = V;
    return;
  }
  double h = H == 360 ? 0.0 : H;
  h = double((long double)h / 60);
  if (!(h > -1 && h < 6)) return;
  const int i = int(h);  // truncation toward zero
  const double f = double((long double)h - i);
  const double p = double((1 - (long double)S) * V);
  const double q = double((1 - (long double)S * f) * V);
  const double t = double((1 - (1 - (long double)f) * S) * V);
  switch (i) {
    case 0: R = V; G = t; B = p; break;
    case 1: R = q; G = V; B = p; break;
    case 2: R = p; G = V; B = t; break;
    case 3: R = p; G = q; B = V; break;
    case 4: R = t; G = p; B = V; break;
    default: R = V; G = p; B = q; break;
  }
}
