// What mapping a picture's colours onto a palette did, for the warning and for the page: how
// many pixels moved, how far, and which.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace varnu::pack {

// --remap and --dither.
struct RemapOptions {
  // Colours the palette lacks are mapped onto it rather than refused.
  bool remap = false;
  // And the error of each mapped pixel is spread onto the mapped pixels after it.
  bool dither = false;
};

struct MappingFigures {
  // Pixels whose colour changed.
  std::uint64_t pixels_moved = 0;
  // CIEDE2000 from a moved pixel's colour to the one it was given (black is 100 from white), in
  // hundredths, rounded: 152 is 1.52. Mean and largest over the moved pixels.
  std::uint32_t mean_error = 0;
  std::uint32_t largest_error = 0;
};

struct ColourMapping {
  MappingFigures figures;
  // One per pixel in the picture's order, bottom row first: 1 where its colour changed.
  std::vector<std::uint8_t> moved;
};

// "1234 pixels moved, colour error (CIEDE2000) mean 1.52, largest 6.80".
std::string describe(const MappingFigures& figures);

}  // namespace varnu::pack
