// The archive's LZSS streams.
//
// A stream is a run of groups: a flag byte, then up to eight items, one for each of its bits from
// the lowest. A set bit is a literal, one byte copied to the output; a clear bit is a match, two
// bytes b0 and b1 that copy match_length(b1) bytes from ring position match_position(b0, b1),
// one byte at a time, so that a match may copy bytes it has itself just written. The ring holds
// kRingSize bytes, starts zero-filled and takes every output byte in turn, the first at
// kRingStart.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace varnu {

inline constexpr std::size_t kRingSize = 4096;
inline constexpr std::size_t kRingMask = kRingSize - 1;
inline constexpr std::size_t kItemsPerGroup = 8;
inline constexpr std::size_t kMinMatch = 3;
inline constexpr std::size_t kMaxMatch = kMinMatch + 0x0F;  // 18: the count nibble plus the minimum
// 0xFEE: the ring less the longest match.
inline constexpr std::size_t kRingStart = kRingSize - kMaxMatch;

// Twelve bits: the low eight in b0, the high four in b1's high nibble.
constexpr std::size_t match_position(std::uint8_t b0, std::uint8_t b1) {
  return b0 | static_cast<std::size_t>(b1 & 0xF0) << 4;
}

// b1's low nibble counts the bytes past the shortest match.
constexpr std::size_t match_length(std::uint8_t b1) {
  return (b1 & 0x0F) + kMinMatch;
}

// The two bytes of a match of `length` bytes (kMinMatch to kMaxMatch) from ring position
// `position`.
constexpr std::array<std::uint8_t, 2> match_bytes(std::size_t position, std::size_t length) {
  return {static_cast<std::uint8_t>(position & 0xFF),
          static_cast<std::uint8_t>((position >> 4 & 0xF0) | (length - kMinMatch))};
}

}  // namespace varnu
