// The archive walk (the layout of an archive is in format/archive.hpp).
#pragma once

#include <cstddef>
#include <string>

#include "bitmap/layout.hpp"

namespace varnu {

// Converts every entry from the input's current position, writing base_000.BMP, base_001.BMP,
// and so on, in `mode`. Returns only when at least one entry was written; every failure ends the
// run through fail().
void extract_all(const std::string& base, OutputMode mode);

// An entry's payload length and how many bytes it decoded to.
struct EntrySizes {
  std::size_t packed = 0;
  std::size_t unpacked = 0;
};

// Reads one entry's length field and payload, decodes it into the image buffer and leaves the
// input at the next entry boundary.
EntrySizes unpack_entry();

}  // namespace varnu
