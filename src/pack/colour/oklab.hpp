// Colours as people see them: OKLab, in whole numbers. Every step is integer arithmetic on tables
// and products that no compiler or C library can round differently, so that the nearest colour,
// and with it every byte a mapping writes, is the same on Linux, Windows and the web.
#pragma once

#include <cstdint>

#include "pack/picture/true_colour.hpp"

namespace varnu::pack {

// OKLab's lightness L (0 black to kLabOne white) and its two opposing axes a (green to red) and
// b (blue to yellow), in units of 1/kLabOne.
struct Lab {
  std::int32_t l = 0;
  std::int32_t a = 0;
  std::int32_t b = 0;
};

inline constexpr std::int32_t kLabOne = 1 << 16;

Lab to_oklab(Colour colour);

// An sRGB channel's value (0 to 255) in linear light, 0 to 1, to 16 bits.
double linear_light(unsigned channel);

inline std::int64_t distance_squared(const Lab& x, const Lab& y) {
  const std::int64_t dl = x.l - y.l;
  const std::int64_t da = x.a - y.a;
  const std::int64_t db = x.b - y.b;
  return dl * dl + da * da + db * db;
}

// The largest whole number whose square is at most `n`.
std::uint32_t whole_square_root(std::uint64_t n);

// The distance itself, in units of 1/kLabOne, rounded down.
inline std::uint32_t distance(const Lab& x, const Lab& y) {
  return whole_square_root(static_cast<std::uint64_t>(distance_squared(x, y)));
}

}  // namespace varnu::pack
