// The two headers every bitmap file begins with: read and checked before anything is allocated
// from them, by every reader of the packer's inputs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "format/bitmap.hpp"
#include "format/little_endian.hpp"

namespace varnu::pack {

// What the compression field says.
enum Compression : std::uint32_t {
  kUncompressed = 0,
  kRle8 = 1,
  kRle4 = 2,
  kBitFields = 3,
};

struct BmpHeader {
  std::uint32_t file_size = 0;
  std::uint32_t pixel_offset = 0;
  std::uint32_t info_size = 0;
  std::int64_t width = 0;
  std::int64_t height = 0;  // negative: rows stored top-down
  std::uint16_t bits = 0;
  std::uint32_t compression = 0;
  std::uint32_t colours_used = 0;
};

// The whole four- and two-byte fields at `at`, which the caller has checked `bytes` holds.
inline std::uint32_t read_u32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return read_le(bytes, at, 4);
}
inline std::uint16_t read_u16(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint16_t>(read_le(bytes, at, 2));
}

// Throws InputError unless `file` begins with "BM" and holds a whole information header of a
// size the packer knows.
BmpHeader read_bmp_header(std::span<const std::uint8_t> file);

// "RLE8", "bit fields", ...: for messages.
std::string compression_name(std::uint32_t compression);

// Bytes per stored row of `width` pixels of `bits` each: rows are padded to four bytes.
std::uint64_t stride_of(std::int64_t width, unsigned bits);

}  // namespace varnu::pack
