// The archive walk.
//
// An archive is a plain run of entries, each starting at a multiple of 2048 bytes: the six bytes
// of the magic, two bytes not looked at, a three-byte little-endian payload length and one byte
// not looked at, then the payload; filler up to the next boundary.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "bitmap/layout.hpp"

namespace varnu {

inline constexpr std::array<std::uint8_t, 6> kEntryMagic = {'v', 'a', 'z', 'm', 'u', 'r'};
inline constexpr std::size_t kEntryHeaderSize = 8;
inline constexpr std::size_t kLengthFieldSize = 4;
inline constexpr std::uint64_t kEntryAlignment = 2048;

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
