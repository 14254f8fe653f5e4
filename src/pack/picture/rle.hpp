// Run-length compressed palette bitmaps, as image editors write 8-bit (RLE8) and 4-bit (RLE4)
// pictures unless told otherwise.
#pragma once

#include <cstdint>
#include <span>

namespace varnu::pack {

// Decodes the stream into `pixels`, width * height indices, bottom row first, which the caller
// has zero-filled: pixels the stream skips (a move, a row or the picture ended early) stay index
// 0. `bits` is 8 for RLE8 and 4 for RLE4. A row may run on into its padding to four bytes, as
// editors write it; those pixels are dropped. Throws InputError for a stream that runs past a
// padded row or past the picture, or ends before its end-of-picture mark.
void decode_rle(std::span<const std::uint8_t> stream, unsigned bits, std::uint16_t width,
                std::uint16_t height, std::span<std::uint8_t> pixels);

}  // namespace varnu::pack
