// Writing archives: entries of a 12-byte header and an LZSS payload, each on a 2048-byte boundary.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "driver/extract.hpp"

namespace varnu::pack {

inline constexpr std::size_t kEntryAlignment = varnu::kEntryAlignment;
// The converter reads the first 8 bytes, then the length field with the payload.
inline constexpr std::size_t kEntryHeaderSize = varnu::kEntryHeaderSize + varnu::kLengthFieldSize;
// The length field has three bytes.
inline constexpr std::size_t kMaxPayloadSize = 0xFFFFFF;

// The three bytes of an entry header that the converter does not look at: bytes 6, 7 and 11.
using UnreadBytes = std::array<std::uint8_t, 3>;

// An entry's 12 header bytes: the magic, unread[0] and unread[1], the payload length (24-bit
// little-endian), unread[2]. `payload_size` must be at most kMaxPayloadSize.
std::array<std::uint8_t, kEntryHeaderSize> entry_header(std::size_t payload_size,
                                                        const UnreadBytes& unread);

// How many zero bytes follow an archive's first `size` bytes up to the next entry boundary.
std::size_t filler_size(std::uint64_t size);

}  // namespace varnu::pack
