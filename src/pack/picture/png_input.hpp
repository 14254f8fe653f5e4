// PNG files as image editors save them, read through lodepng: a palette PNG by index, the others
// by colour. Everything the header says is checked before anything is decoded or allocated.
#pragma once

#include <cstdint>
#include <span>

#include "pack/picture/pictures.hpp"

namespace varnu::pack {

// Whether `file` begins with the PNG signature.
bool is_png(std::span<const std::uint8_t> file);

// The picture in a PNG file, interlaced or not. A palette PNG of 1, 2, 4 or 8 bits comes by
// index, its palette as the file has it; grey and RGB come by colour, and so do grey with alpha
// and RGBA, whose alpha must be the same in every pixel, as in a 32-bit bitmap. Transparency that
// a palette, grey or RGB picture names for some of its colours (a tRNS chunk) is dropped: every
// pixel keeps its index and colour, and an entry's only transparency is its green key.
//
// Throws InputError, before anything is decoded, for 16-bit channels (saying what to save
// instead), no pixels, and sides larger than an entry can hold (refuse_picture_sides, with
// `no_limits`); and for a file cut short, a chunk whose checksum is wrong, damaged compressed
// data, a palette PNG without a palette, and a pixel whose index is past the palette.
DecodedPicture read_png(std::span<const std::uint8_t> file, bool no_limits);

}  // namespace varnu::pack
