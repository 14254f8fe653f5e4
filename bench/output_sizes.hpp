// The sizes of the files the converter writes, worked out from the picture alone.
#pragma once

#include <cstdint>

namespace varnu::bench {

inline constexpr std::uint64_t kBitmapHeadersSize = 54;

// Half width: 24-bit rows of (width + 1) / 2 pixels, each padded to a multiple of four bytes.
inline constexpr std::uint64_t half_width_file_size(std::uint64_t width, std::uint64_t height) {
  const std::uint64_t half = (width + 1) / 2;
  const std::uint64_t pad = (4 - (3 * half) % 4) % 4;
  return kBitmapHeadersSize + height * (3 * half + pad);
}

}  // namespace varnu::bench
