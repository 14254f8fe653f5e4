// What an entry may hold. Readers built on fixed buffers (the converter's design sizes them once
// per run) cannot take more than their buffers hold; the converter itself grows its buffers,
// so these limits can be lifted. What the format cannot express stays refused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "format/little_endian.hpp"

namespace varnu::pack {

// The converter reads three bytes of a bitmap's file-size field.
inline constexpr std::size_t kMaxBitmapFileSize = kMaxSize;
// And two bytes of each side.
inline constexpr std::uint32_t kMaxPictureSide = 0xFFFF;

// Each returns why the thing is refused, or nothing. With `no_limits`, only what the format
// cannot express is refused.
std::optional<std::string> refuse_picture_count(std::size_t count, bool no_limits);
// `stored` is the bitmap as it will be stored.
std::optional<std::string> refuse_bitmap(std::span<const std::uint8_t> stored, bool no_limits);
std::optional<std::string> refuse_payload(std::size_t payload_size, bool no_limits);
// A picture of `width` x `height` pixels, judged from a file's header before anything is decoded:
// its headers and 8-bit rows alone, the least any entry bitmap of it takes.
std::optional<std::string> refuse_picture_sides(std::uint64_t width, std::uint64_t height,
                                                bool no_limits);

}  // namespace varnu::pack
