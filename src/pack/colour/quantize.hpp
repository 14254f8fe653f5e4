// A palette for a picture of more colours than a palette holds.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "pack/colour/distinct.hpp"

namespace varnu::pack {

// At most `count` colours (1 or more) that stand for `colours` (different colours, with their
// pixels) with little error, lowest first: median cut in OKLab, each box split where its pixels
// vary most, then a few rounds of k-means; each cluster is then shown by its mean colour or, when
// that gives less error, by its most common colour, which then stays exact.
std::vector<Colour> quantize(std::span<const ColourCount> colours, std::size_t count);

}  // namespace varnu::pack
