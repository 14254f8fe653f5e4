// The fields of a bitmap file's two headers, read once for every reader: the converter takes
// the low bytes it needs of them, the packer checks them against what editors save, and the page
// decides from them whether it can draw the file.
#pragma once

#include <cstdint>
#include <span>

#include "format/bitmap.hpp"

namespace varnu {

// Whole fields, as stored.
struct BitmapHeader {
  std::uint32_t file_size = 0;
  std::uint32_t pixel_offset = 0;
  std::uint32_t info_size = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;  // negative: rows stored top row first
  std::uint16_t bits = 0;
  std::uint32_t compression = 0;
  std::uint32_t colours_used = 0;
};

// `bytes` holds at least kHeadersSize bytes.
BitmapHeader read_bitmap_header(std::span<const std::uint8_t> bytes);

}  // namespace varnu
