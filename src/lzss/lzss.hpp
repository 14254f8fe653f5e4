// LZSS decoding of one entry's payload into the image buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "format/lzss.hpp"

namespace varnu {

// Block copies may write up to this many bytes past the end of an item: a match of 17 bytes
// copied as two 16-byte blocks writes 15 more; literal runs and 8-byte blocks write at most 7.
inline constexpr std::size_t kMaxOvershoot = 16;

// lzss_expand grows `image` to at most this many bytes past the decoded ones while it works (a
// group's output and a block copy's overshoot): a caller that reserves as much more keeps it from
// moving the buffer, which for the largest entries would briefly take twice their size.
inline constexpr std::size_t kExpandRoom = kItemsPerGroup * kMaxMatch + kMaxOvershoot;

// Decodes `payload` into `image` from offset 0 and returns the number of bytes decoded.
//
// `image` grows, zero-filled, when the entry decodes to more than its size, and never shrinks:
// bytes past the decoded length keep what they held. An item that starts before the payload's
// end is decoded whole; the at most two bytes it reads past the end read as zero.
std::size_t lzss_expand(std::span<const std::uint8_t> payload, std::vector<std::uint8_t>& image);

// Decodes the first `length` bytes of the packed buffer into the image buffer and returns the
// number of bytes decoded.
std::size_t lzss_decode(std::size_t length);

}  // namespace varnu
