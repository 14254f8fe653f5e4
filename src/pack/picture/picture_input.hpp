// Pictures as image editors save them, bitmap or PNG, brought into the one form an archive entry
// holds.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "pack/picture/bmp_input.hpp"
#include "pack/picture/pictures.hpp"

namespace varnu::pack {

struct PictureOptions {
  // With --like: the bitmap of the original entry the picture replaces.
  LikeBitmap like{};
  // Whether pictures larger than readers with fixed buffers hold are taken (see limits.hpp);
  // a PNG is judged by its header, before it is decoded.
  bool no_limits = false;
  // --remap and --dither: colours that do not fit a palette are mapped onto it.
  RemapOptions remap{};
};

// The picture in `file`, a bitmap (read_bmp) or a PNG (read_png), in the entry form. Without an
// original, a palette picture keeps its indices and palette (palette_entry), and a true-colour
// one gets a palette of its own colours (entry_with_own_palette). With one, a palette picture
// whose palette matches goes into a copy of the original by index, one whose palette differs is
// mapped by colour with a warning (palette_entry_like), and a true-colour one is mapped by colour
// (entry_like). With options.remap, colours that do not fit are mapped rather than refused, with
// a warning and the mapping's figures. Throws InputError.
NormalisedPicture normalise_picture(std::span<const std::uint8_t> file,
                                    const PictureOptions& options = {});

// The bitmap alone, for callers that take no warning.
std::vector<std::uint8_t> normalise_bitmap(std::span<const std::uint8_t> file,
                                           const LikeBitmap& like = {});

}  // namespace varnu::pack
