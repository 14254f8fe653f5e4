// Entry bitmaps for true-colour pictures, with no colour changed.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "pack/colour/mapping.hpp"
#include "pack/picture/pictures.hpp"
#include "pack/picture/true_colour.hpp"

namespace varnu::pack {

// A fresh entry bitmap whose palette is exactly the picture's colours (see map_onto_own_palette),
// with the picture's own resolution fields; with --remap, more than 256 colours are reduced, with
// a warning.
NormalisedPicture entry_with_own_palette(const TrueColourPicture& picture,
                                         const RemapOptions& options = {});

// The picture written over `converted`, an original entry's bitmap as the converter writes it.
// Of the same sides and an 8-bit uncompressed bitmap with its rows inside it, it is copied whole
// (headers, palette of whatever length, gaps and trailing bytes) and only pixel indices and
// new palette colours change; otherwise the picture gets its palette in a fresh bitmap. With
// --remap, colours that do not fit are mapped onto the palette (map_onto_palette), with a warning.
NormalisedPicture entry_like(const TrueColourPicture& picture,
                             std::span<const std::uint8_t> converted,
                             const RemapOptions& options = {});

}  // namespace varnu::pack
