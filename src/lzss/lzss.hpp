// LZSS decoding of one entry's payload into the image buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace varnu {

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
