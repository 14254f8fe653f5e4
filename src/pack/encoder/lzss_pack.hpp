// Packer for the archive's LZSS streams (format/lzss.hpp).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace varnu::pack {

// Returns a stream that the ring decoder turns back into exactly `data`. The stream ends right
// after its last item, so an empty input gives an empty stream. Throws std::length_error for
// inputs of 2 GiB or more, far beyond any entry.
std::vector<std::uint8_t> lzss_pack(std::span<const std::uint8_t> data);

}  // namespace varnu::pack
