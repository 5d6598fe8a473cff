#pragma once
// The byte clamp of every colour result. Takes a 64-bit value so that a
// rounded real beyond the 32-bit range clamps instead of wrapping.
#include <cstdint>

inline std::uint8_t ClampByte(std::int64_t Value) {
  return Value < 0 ? 0 : Value > 255 ? 255 : std::uint8_t(Value);
}
