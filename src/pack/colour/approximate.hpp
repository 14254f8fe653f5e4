// Pixels whose colours a palette lacks, each given the nearest colour it has.
#pragma once

#include <bitset>
#include <cstdint>
#include <span>

#include "format/bitmap.hpp"
#include "pack/colour/mapping.hpp"
#include "pack/picture/true_colour.hpp"

namespace varnu::pack {

// Gives each pixel of `picture` that is not `settled` (one flag per pixel, in its order) the
// index of the entry of `palette` among `candidates` closest to its colour (see
// NearestEntry::closest); with `dither`, the one nearest in OKLab to its colour plus part of the
// error of the unsettled pixels before it (Floyd-Steinberg from the
// top-left, each row in turn the other way), and no error ever reaches a settled pixel. Settled
// pixels keep the index they have in `indices`. Returns what changed: every pixel whose colour
// is not its entry's. There must be a candidate.
ColourMapping approximate(const TrueColourPicture& picture, std::span<const std::uint8_t> settled,
                          std::span<const Colour> palette,
                          const std::bitset<kPaletteEntries>& candidates, bool dither,
                          std::span<std::uint8_t> indices);

}  // namespace varnu::pack
