// The different colours of a set of pixels, with how many pixels each covers.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "pack/picture/true_colour.hpp"

namespace varnu::pack {

struct ColourCount {
  Colour colour = 0;
  std::uint32_t pixels = 0;
};

// Each colour of `colours` once, lowest first. Sorts a copy by radix, so that time and memory
// grow with the pixels alone (two copies of them at most), whatever colours they hold.
std::vector<ColourCount> distinct_colours(std::span<const Colour> colours);

// The positions of `colours` whose flag in `skip` (one a colour) is 0, ordered by colour and
// then position: pixels of one colour side by side. By radix, as above, in two copies of the
// positions at most.
std::vector<std::uint32_t> positions_by_colour(std::span<const Colour> colours,
                                               std::span<const std::uint8_t> skip);

}  // namespace varnu::pack
