// The plain ring-buffer decoder, one byte at a time, kept as simple as possible: the reference
// that the fast decoder is checked and timed against, and that checks every stream the packer
// writes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace varnu::pack {

inline std::vector<std::uint8_t> classic_lzss_decode(std::span<const std::uint8_t> payload) {
  constexpr std::size_t kRingSize = 4096;
  constexpr std::size_t kRingMask = kRingSize - 1;
  constexpr std::size_t kStartPosition = 0xFEE;

  std::array<std::uint8_t, kRingSize> ring{};
  std::vector<std::uint8_t> out;
  std::size_t r = kStartPosition;
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
  int bits_left = 0;
  while (j < length) {
    if (bits_left == 0) {
      flags = next();
      bits_left = 8;
    }
    if (flags & 1u) {
      put(next());
    } else {
      const unsigned b0 = next();
      const unsigned b1 = next();
      std::size_t position = b0 | ((b1 & 0xF0u) << 4);
      const unsigned count = (b1 & 0x0Fu) + 3;
      for (unsigned n = 0; n < count; ++n) {
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
