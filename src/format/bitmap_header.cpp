#include "format/bitmap_header.hpp"

#include "format/little_endian.hpp"

namespace varnu {

BitmapHeader read_bitmap_header(std::span<const std::uint8_t> bytes) {
  const auto field = [&](std::size_t at) { return read_le(bytes, at, 4); };
  return BitmapHeader{
      .file_size = field(kFileSizeField),
      .pixel_offset = field(kPixelOffsetField),
      .info_size = field(kInfoSizeField),
      .width = static_cast<std::int32_t>(field(kWidthField)),
      .height = static_cast<std::int32_t>(field(kHeightField)),
      .bits = static_cast<std::uint16_t>(read_le(bytes, kBitsField, 2)),
      .compression = field(kCompressionField),
      .colours_used = field(kColoursUsedField),
  };
}

}  // namespace varnu
