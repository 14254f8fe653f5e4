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

namespace varnu {

inline constexpr std::array<std::uint8_t, 6> kEntryMagic = {'v', 'a', 'z', 'm', 'u', 'r'};
inline constexpr std::size_t kEntryHeaderSize = 8;
inline constexpr std::size_t kLengthFieldSize = 4;
inline constexpr std::uint64_t kEntryAlignment = 2048;

// Converts every entry from the input's current position, writing base_000.BMP, base_001.BMP,
// and so on. Returns only when at least one entry was written; every failure ends the process.
void extract_all(const std::string& base, int half_width);

// Reads one entry's length field and payload, decodes it into the image buffer and leaves the
// input at the next entry boundary.
void unpack_entry();

}  // namespace varnu
