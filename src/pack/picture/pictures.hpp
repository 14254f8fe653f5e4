// What the packer's readers make of a picture file, bitmap or PNG, before it becomes an entry.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "format/bitmap.hpp"
#include "pack/colour/mapping.hpp"
#include "pack/picture/palette_bitmap.hpp"
#include "pack/picture/true_colour.hpp"

namespace varnu::pack {

// A palette picture: 1-, 4- or 8-bit bitmap, or palette PNG.
struct IndexedPicture {
  // Its pixels by index, bottom row first, and its palette; entries past `colours` are zero.
  Picture picture;
  // How many palette entries the file holds.
  std::size_t colours = 0;
  std::array<std::uint8_t, kResolutionFieldsSize> resolution{};
  // The file itself when it already has the entry form, kept as it stands where nothing else
  // decides: a view of the bytes the picture was read from, valid while they are.
  std::span<const std::uint8_t> entry_form{};
};

using DecodedPicture = std::variant<IndexedPicture, TrueColourPicture>;

// Pixel x of a row of `bits`-bit indices (1, 2, 4 or 8), packed from each byte's highest bits
// down, as both bitmaps and PNG pack them.
inline std::uint8_t packed_index(const std::uint8_t* row, std::size_t x, unsigned bits) {
  if (bits == 8) return row[x];
  const std::size_t per_byte = 8 / bits;
  const unsigned shift = 8 - bits * static_cast<unsigned>(x % per_byte + 1);
  return static_cast<std::uint8_t>((row[x / per_byte] >> shift) & ((1u << bits) - 1));
}

// A picture in the entry form, and why it was not taken as it stands, when it was not (a
// warning, empty otherwise).
struct NormalisedPicture {
  std::vector<std::uint8_t> bitmap;
  std::string warning{};
  // With --remap, when colours were approximated: which pixels of `bitmap` moved, and how far.
  std::optional<ColourMapping> mapping{};
};

}  // namespace varnu::pack
