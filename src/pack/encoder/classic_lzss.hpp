// The plain ring-buffer decoder, one byte at a time, kept as simple as possible: the reference
// that the fast decoder is checked and timed against, and that checks every stream the packer
// writes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "format/lzss.hpp"

namespace varnu::pack {

inline std::vector<std::uint8_t> classic_lzss_decode(std::span<const std::uint8_t> payload) {
  std::array<std::uint8_t, kRingSize> ring{};
  std::vector<std::uint8_t> out;
  std::size_t r = kRingStart;
  const std::size_t length = payload.size();
  std::size_t j = 0;
  // A stream may be cut right after a flag byte or inside a match; the missing bytes count as
  // zero so that every payload decodes to something definite.
  auto next = [&]() -> std::uint8_t { return j < length ? payload[j++] : (++j, 0); };
  auto put = [&](std::uint8_t c) {
    out.push_back(c);
    ring[r] = c;
    r = (r + 1) & kRingMask;
  };

  unsigned flags = 0;
  std::size_t bits_left = 0;
  while (j < length) {
    if (bits_left == 0) {
      flags = next();
      bits_left = kItemsPerGroup;
    }
    if (flags & 1u) {
      put(next());
    } else {
      const std::uint8_t b0 = next();
      const std::uint8_t b1 = next();
      std::size_t position = match_position(b0, b1);
      const std::size_t count = match_length(b1);
      for (std::size_t n = 0; n < count; ++n) {
        // Read before writing: when position == r the byte copied is the old one.
        const std::uint8_t c = ring[position];
        position = (position + 1) & kRingMask;
        put(c);
      }
    }
    flags >>= 1;
    --bits_left;
  }
  return out;
}

}  // namespace varnu::pack
