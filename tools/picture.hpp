// Deterministic test pictures, and the other bitmap forms an editor may save them in.
#pragma once

#include <cstdint>
#include <vector>

#include "pack/picture/palette_bitmap.hpp"

namespace varnu::tools {

using pack::Picture;

// The other forms a palette bitmap may come in, as image editors save them.
struct BmpForm {
  unsigned bits = 8;             // 1, 4 or 8 bits per pixel
  std::uint32_t info_size = 40;  // 40, or 108 (V4) and 124 (V5), the extra fields zero
  bool top_down = false;         // rows stored top row first, with a negative height
  std::uint32_t colours = 256;   // palette entries written, the first of picture.palette
};

// The picture in `form`. Every pixel must fit in form.bits; throws std::invalid_argument
// otherwise or when the pixel count does not match the size.
std::vector<std::uint8_t> encode_bmp_form(const Picture& picture, const BmpForm& form);

// Every drawing is a pure function of its arguments, the same on every platform.
Picture draw_gradient(std::uint16_t width, std::uint16_t height);
Picture draw_checkerboard(std::uint16_t width, std::uint16_t height, std::uint16_t cell);
// Palette entry 0 is pure green and fills the background, including the first stored pixel.
Picture draw_green_keyed(std::uint16_t width, std::uint16_t height);
// Smooth shading with grain, resembling a photograph; compresses poorly.
Picture draw_noise(std::uint16_t width, std::uint16_t height, std::uint32_t seed);
// Large flat areas crossed by lines; compresses well.
Picture draw_line_art(std::uint16_t width, std::uint16_t height);
// A 64x64 mirrored creature on a background of index 0.
Picture draw_sprite(std::uint32_t seed);

// The hardest pictures for a packer's match search. A sky: 256 colours from top to bottom, each a
// band of whole rows, so the picture is nearly all long runs of one value.
Picture draw_vertical_gradient(std::uint16_t width, std::uint16_t height);
// A glow: colour by distance from the centre, so runs vary in length and no row repeats another.
Picture draw_radial_gradient(std::uint16_t width, std::uint16_t height);
// Every pixel one of the first `levels` indices, uniformly at random (2 is like a 1-bit
// picture): every short string recurs all over the window, yet long repeats are rare. Throws
// std::invalid_argument unless 1 <= levels <= 256.
Picture draw_level_noise(std::uint16_t width, std::uint16_t height, unsigned levels,
                         std::uint32_t seed);

}  // namespace varnu::tools
