// Writing a decoded bitmap: plainly, or at half width in true colour.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>

#include "bitmap/layout.hpp"

namespace varnu {

// Writes the first `file_size` bytes of `image` as they stand.
void write_plain(std::span<const std::uint8_t> image, const BitmapLayout& layout, std::FILE* out);

// Rewrites the headers of `image` for a 24-bit image of half the width and writes it, each pair
// of neighbouring pixels becoming the mean of their palette colours. `row` must hold
// kMaxHalfWidthRowBytes.
void write_half_width(std::span<std::uint8_t> image, const BitmapLayout& layout,
                      std::span<std::uint8_t> row, std::FILE* out);

// Fixes up the bitmap in the image buffer and writes it to the output stream, in the plan's mode.
// `plan` must come from plan_bitmap over the image buffer as it stands. Write errors are left on
// the stream for the caller, who closes it.
void write_bitmap(const BitmapPlan& plan);

}  // namespace varnu
