// Pictures written into a copy of the original entry's bitmap, as --like does where it can, so
// that every byte an editor never shows stays as it was: the headers, the palette's fourth bytes
// and its entries past those in use, row padding, gaps and trailing bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace varnu::pack {

// How many palette entries `bitmap` has as the converter and editors both see it: at byte 54, as
// many as its colours-used field says (256 for 0 or more than 256), all of them before its rows
// and inside it. `bitmap` holds at least the 54 bytes of the headers.
std::size_t palette_length(std::span<const std::uint8_t> bitmap);

// Whether a picture of these sides, using the first `palette_entries` entries, can go into a
// copy of `converted`: an 8-bit uncompressed bitmap with the 40-byte header, the same sides, its
// palette before its rows and its rows inside it, so that an editor shows the same rows the
// converter reads.
bool fits_in_place(std::span<const std::uint8_t> converted, std::uint16_t width,
                   std::uint16_t height, std::size_t palette_entries);

// The rows of `converted` as width * height indices, bottom row first. `converted` holds them
// (see fits_in_place).
std::vector<std::uint8_t> indices_in_place(std::span<const std::uint8_t> converted);

// A copy of `converted` whose rows are `indices` (width * height, bottom row first), every other
// byte as it was. `converted` must fit them (see fits_in_place).
std::vector<std::uint8_t> with_indices_in_place(std::span<const std::uint8_t> converted,
                                                std::span<const std::uint8_t> indices);

}  // namespace varnu::pack
