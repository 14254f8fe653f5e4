// What the converter writes, as PNG: for the page's Save PNG, through the same lodepng that
// varnu-pack reads PNG with.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace varnu::pack {

// `bitmap` is a file the converter writes in plain mode: a palette PNG of it, colour type 3 with
// 8 bits per pixel, the bitmap's palette in its order and at its full length (as palette_length
// counts it, and further if a pixel names a later entry), no transparency, the rows as the
// converter lays them out. Packed back with --like onto the same entry, it gives that entry
// unchanged. Throws InputError for a bitmap with no pixels or whose rows or palette lie outside it.
std::vector<std::uint8_t> encode_palette_png(std::span<const std::uint8_t> bitmap);

// `bitmap` is a file the converter writes in half-width mode: an RGB PNG of it, 8 bits per
// channel. Throws InputError for a bitmap with no pixels, not of 24 bits per pixel, or whose
// rows lie outside it.
std::vector<std::uint8_t> encode_rgb_png(std::span<const std::uint8_t> bitmap);

}  // namespace varnu::pack
