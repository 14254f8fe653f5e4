// The archive walk (the layout of an archive is in format/archive.hpp).
#pragma once

#include <cstddef>
#include <string>

#include "bitmap/layout.hpp"

namespace varnu {

// A walk over the archive from the input's current position: the outputs' base name, the mode,
// and how many entries it has converted.
struct Walk {
  std::string base;
  OutputMode mode = OutputMode::kPlain;
  int converted = 0;
};

// Converts the entry at the input's position, writing its file (base_000.BMP, base_001.BMP, and so
// on, in the walk's mode). Returns false once there is none: the walk has ended, and ended well,
// with at least one entry written. Every failure ends the run through fail(). Called once per
// entry, so that a caller may do other work between entries (the page draws its pictures).
bool extract_next(Walk& walk);

// Converts every entry from the input's current position: extract_next until the walk ends.
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
