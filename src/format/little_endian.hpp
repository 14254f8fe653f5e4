// Numbers in an archive and in its bitmaps: little-endian, read and written one byte at a time,
// often only in part (the low three bytes of a four-byte field).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace varnu {

// Sizes and offsets are three bytes wide: an entry's length field holds three, and readers take
// the low three of a bitmap's file-size and pixel-offset fields.
inline constexpr int kSizeBytes = 3;
inline constexpr std::uint32_t kMaxSize = 0xFFFFFF;  // the most kSizeBytes can say
static_assert(kMaxSize == (std::uint64_t{1} << (8 * kSizeBytes)) - 1);

// The `count` bytes at `offset` (at most four), the first the lowest.
std::uint32_t read_le(std::span<const std::uint8_t> bytes, std::size_t offset, int count);

// Stores the low `count` bytes of `value` at `offset`, the lowest first.
void store_le(std::span<std::uint8_t> bytes, std::size_t offset, std::uint64_t value, int count);

}  // namespace varnu
