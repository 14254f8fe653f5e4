// 8-bit palette pictures and the bitmap file the packer makes of them.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "format/bitmap.hpp"

namespace varnu::pack {

struct Picture {
  std::uint16_t width = 0;
  std::uint16_t height = 0;
  // kPaletteEntries entries of blue, green, red, 0.
  std::array<std::uint8_t, kPaletteSize> palette{};
  // width * height palette indices, rows in the order they are stored in the file.
  std::vector<std::uint8_t> pixels;
};

// A complete bitmap file: file header, 40-byte info header, the palette, then the rows padded to
// a multiple of four bytes. Both resolution fields are left zero. Throws std::invalid_argument
// when the pixel count does not match the size.
std::vector<std::uint8_t> encode_bmp(const Picture& picture);

}  // namespace varnu::pack
