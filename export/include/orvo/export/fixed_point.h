// Fixed-point values of the binary model file: 16.16 for coordinates and
// distances, 8.8 for collision vertices and generator rates, 2.14 for
// collision normals. A conversion multiplies by 2^fraction bits and
// truncates toward zero ((1.5, -2.25, 0.004) in 8.8 give (384, -576, 1));
// a value whose result does not fit the stored integer (or that is not a
// number) is refused with an empty optional, never wrapped.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

namespace orvo::fixed {

// truncate(value x 2^frac_bits) when it fits Int, else empty.
template <class Int>
std::optional<Int> to_fixed(double value, int frac_bits) {
  const double scaled = std::trunc(std::ldexp(value, frac_bits));
  if (!std::isfinite(scaled)) return std::nullopt;
  if (scaled < static_cast<double>(std::numeric_limits<Int>::min()) ||
      scaled > static_cast<double>(std::numeric_limits<Int>::max())) {
    return std::nullopt;
  }
  return static_cast<Int>(scaled);
}

inline std::optional<int32_t> to_16_16(double v) {
  return to_fixed<int32_t>(v, 16);
}
inline std::optional<int16_t> to_8_8(double v) {
  return to_fixed<int16_t>(v, 8);
}
inline std::optional<int32_t> to_8_8_wide(double v) {
  return to_fixed<int32_t>(v, 8);
}
inline std::optional<int16_t> to_2_14(double v) {
  return to_fixed<int16_t>(v, 14);
}
// The phase byte of a generator field: truncate(phase x 256) as a u8.
inline std::optional<uint8_t> to_u8_fraction(double v) {
  return to_fixed<uint8_t>(v, 8);
}

inline double from_16_16(int32_t v) {
  return std::ldexp(static_cast<double>(v), -16);
}
inline double from_8_8(int32_t v) {
  return std::ldexp(static_cast<double>(v), -8);
}
inline double from_2_14(int16_t v) {
  return std::ldexp(static_cast<double>(v), -14);
}

}  // namespace orvo::fixed
