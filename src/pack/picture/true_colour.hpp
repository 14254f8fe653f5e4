// True-colour bitmaps: 24 bits per pixel, or 32 with the colours in whole bytes (plain, or bit
// fields of 8 bits a channel as V4 and V5 headers write them).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "bitmap/layout.hpp"
#include "pack/picture/bmp_header.hpp"

namespace varnu::pack {

// Red, green and blue as 0xRRGGBB: sorting and printing them reads as editors show colours.
using Colour = std::uint32_t;

struct TrueColourPicture {
  std::uint16_t width = 0;
  std::uint16_t height = 0;
  // width * height colours, bottom row first, as entries store their rows.
  std::vector<Colour> colours;
  std::array<std::uint8_t, kResolutionFieldsSize> resolution{};
};

// Why a picture whose alpha differs between pixels is refused, whatever its file.
inline constexpr char kTranslucentRefusal[] =
    "transparent: its alpha differs between pixels, and an entry has no transparency but its "
    "green key; save it without alpha, as a 24-bit bitmap";

// The picture in `file`, whose header says 24 or 32 bits per pixel and whose sides the caller
// has checked. A fourth byte that differs between pixels is transparency, which an entry cannot
// hold beyond its green key: refused, as are masks other than whole bytes. Throws InputError.
TrueColourPicture read_true_colour(std::span<const std::uint8_t> file, const BmpHeader& header);

}  // namespace varnu::pack
