// Bitmaps in the forms the packer converts from, written as image editors write them and apart
// from the packer's own readers, so that tests and fuzz seeds do not take their expectations
// from the code they check: run-length compressed palette bitmaps, and true-colour ones.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "pack/picture/palette_bitmap.hpp"

namespace varnu::tools {

using pack::Picture;

// The picture as RLE8 (`bits` 8) or RLE4 (`bits` 4) with a 40-byte header and a full palette:
// runs of equal pixels, literal runs between them, each row ended, then the picture.
std::vector<std::uint8_t> encode_rle_bmp(const Picture& picture, unsigned bits);

struct TrueColourForm {
  unsigned bits = 24;            // 24 or 32
  std::uint32_t info_size = 40;  // 40, 108 (V4) or 124 (V5)
  // 32 bits only: the compression field says bit fields, with these masks (red, green, blue,
  // then alpha where the header has room for it).
  bool bit_fields = false;
  std::array<std::uint32_t, 4> masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
  bool top_down = false;
  // 32 bits: the fourth byte of every pixel (the one the masks leave), and optionally one pixel
  // (counted as stored) whose fourth byte differs.
  std::uint8_t alpha = 255;
  std::optional<std::size_t> translucent_pixel{};
};

// Every pixel of `picture` written as its palette colour.
std::vector<std::uint8_t> encode_true_colour_bmp(const Picture& picture,
                                                 const TrueColourForm& form);

}  // namespace varnu::tools
