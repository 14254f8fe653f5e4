// Which new colours take a palette's free entries when there are more of them than entries.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "pack/colour/distinct.hpp"
#include "pack/colour/nearest.hpp"

namespace varnu::pack {

// Up to `free` of the `fresh` colours, the one that matters most first: a colour matters by the
// pixels it covers times its distance from the nearest colour the picture can already have
// (those of `palette`, and the colours chosen before it), which is what leaving it out would add
// to the error. A colour near one already chosen so matters less. Without a palette (nothing a
// new colour may take yet) the first is the one covering most pixels.
std::vector<Colour> colours_for_free_entries(std::span<const ColourCount> fresh,
                                             const NearestEntry* palette, std::size_t free);

}  // namespace varnu::pack
