// Which palette index each colour of a true-colour picture takes: onto a palette of its own, or
// onto the palette of the entry it replaces so that what was not edited keeps its indices.
#pragma once

#include <bitset>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include <optional>
#include <string>

#include "format/bitmap.hpp"
#include "pack/colour/mapping.hpp"
#include "pack/picture/true_colour.hpp"

namespace varnu::pack {

struct MappedPicture {
  // One index per pixel, in the picture's order.
  std::vector<std::uint8_t> indices;
  // The palette entries to set: (index, colour), every other entry stays as it was.
  std::vector<std::pair<std::uint8_t, Colour>> entries;
  // With --remap, when some colours had to be approximated: what moved, and the warning.
  std::optional<ColourMapping> mapping{};
  std::string warning{};
};

// A palette of exactly the picture's colours, in the order they first appear reading from the
// top-left pixel row by row: the top-left colour (a sprite's background) becomes entry 0, where
// this format keeps its key colour, and a picture keyed that way can then always be stored so
// that the converter gives it back unchanged. For more than 256 colours, throws InputError saying
// how many there are; with --remap, the top-left colour keeps entry 0 and the others are reduced
// to 255 (see quantize.hpp) and approximated (see approximate.hpp), with a warning.
MappedPicture map_onto_own_palette(const TrueColourPicture& picture,
                                   const RemapOptions& options = {});

// The entry a picture replaces, as far as its colours go.
struct PaletteTarget {
  // Its palette entries, at most 256.
  std::vector<Colour> palette{};
  // How many entries the result may have: palette.size() when the picture goes into a copy of
  // the entry, 256 in a fresh bitmap.
  std::size_t capacity = kPaletteEntries;
  // The entries some pixel of the entry uses.
  std::bitset<kPaletteEntries> used{};
  // The entry's index at each pixel of the picture, in the same order; empty when its sides
  // differ from the picture's.
  std::span<const std::uint8_t> indices{};
};

// A pixel whose colour is the entry's palette colour at that pixel keeps the entry's index;
// another colour in the palette takes its lowest index; a colour not in it takes an entry no
// pixel of the original uses, lowest first, never entry 0 (the key colour). When there are more
// new colours than such entries, throws InputError saying how many of each; with --remap, the
// new colours that matter most take those entries (see free_entries.hpp) and the others are
// approximated by the palette's other entries (see approximate.hpp), with a warning.
MappedPicture map_onto_palette(const TrueColourPicture& picture, const PaletteTarget& target,
                               const RemapOptions& options = {});

}  // namespace varnu::pack
