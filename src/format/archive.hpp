// The archive: a plain run of entries, each starting at a multiple of kEntryAlignment bytes.
//
//   bytes 0-5    the magic, "vazmur"
//   bytes 6-7    not looked at
//   bytes 8-10   the payload's length, little-endian
//   byte 11      not looked at
//   bytes 12...  the payload: an LZSS stream (format/lzss.hpp) of a bitmap file
//   then filler up to the next boundary.
//
// A reader takes the first eight bytes, the entry header, to check the magic, then the four-byte
// length field with the payload. A walk ends at the first position that does not hold a whole
// entry header with the magic.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "format/little_endian.hpp"

namespace varnu {

inline constexpr std::array<std::uint8_t, 6> kEntryMagic = {'v', 'a', 'z', 'm', 'u', 'r'};
inline constexpr std::size_t kEntryHeaderSize = 8;
inline constexpr std::size_t kLengthFieldSize = 4;
// Where the payload starts in an entry.
inline constexpr std::size_t kPayloadOffset = kEntryHeaderSize + kLengthFieldSize;
inline constexpr std::size_t kMaxPayloadSize = kMaxSize;
inline constexpr std::uint64_t kEntryAlignment = 2048;

// Readers name an entry's output with a suffix _000 to _999, then _A00 to _Z99: 3,600 names, and
// no more entries than that are read.
inline constexpr int kMaxEntries = 36 * 100;

// The three bytes no reader looks at, in order: bytes 6, 7 and 11. A packer keeps what an
// original archive held there.
using UnreadBytes = std::array<std::uint8_t, 3>;

// The payload length a length field holds.
std::size_t read_length_field(std::span<const std::uint8_t, kLengthFieldSize> field);

// The first kPayloadOffset bytes of an entry whose payload is `payload_size` bytes long, at most
// kMaxPayloadSize.
std::array<std::uint8_t, kPayloadOffset> entry_start(std::size_t payload_size,
                                                     const UnreadBytes& unread);

// What an entry that begins with `start` holds in the bytes no reader looks at.
UnreadBytes unread_bytes(std::span<const std::uint8_t, kPayloadOffset> start);

// How many filler bytes follow an archive's first `size` bytes up to the next entry boundary: 0
// when it ends on one.
std::size_t filler_size(std::uint64_t size);

}  // namespace varnu
