#include "pack/picture/entry_copy.hpp"

#include <algorithm>

#include "bitmap/layout.hpp"
#include "pack/picture/bmp_header.hpp"

namespace varnu::pack {

std::size_t palette_length(std::span<const std::uint8_t> bitmap) {
  const std::uint32_t said = read_u32(bitmap, kColoursUsedField);
  const std::size_t count = said == 0 || said > kPaletteEntries ? kPaletteEntries : said;
  std::size_t end = bitmap.size();
  const std::uint32_t pixel_offset = read_layout(bitmap).pixel_offset;
  if (pixel_offset >= kPaletteOffset) end = std::min<std::size_t>(end, pixel_offset);
  return std::min(count, (end - kPaletteOffset) / kPaletteEntrySize);
}

bool fits_in_place(std::span<const std::uint8_t> converted, std::uint16_t width,
                   std::uint16_t height, std::size_t palette_entries) {
  if (converted.size() < kHeadersSize) return false;
  const BitmapLayout layout = read_layout(converted);
  const std::uint64_t rows_end =
      layout.pixel_offset + std::uint64_t{layout.height} * row_stride(layout.width);
  return read_u32(converted, kInfoSizeField) == kBasicInfoHeaderSize &&
         read_u16(converted, kBitsField) == kEntryBitsPerPixel &&
         read_u32(converted, kCompressionField) == kUncompressed &&
         read_u32(converted, kWidthField) == width && read_u32(converted, kHeightField) == height &&
         layout.pixel_offset >= kPaletteOffset + palette_entries * kPaletteEntrySize &&
         rows_end <= converted.size();
}

std::vector<std::uint8_t> indices_in_place(std::span<const std::uint8_t> converted) {
  const BitmapLayout layout = read_layout(converted);
  const std::uint64_t stride = row_stride(layout.width);
  std::vector<std::uint8_t> indices;
  indices.reserve(std::size_t{layout.width} * layout.height);
  for (std::uint64_t y = 0; y < layout.height; ++y) {
    const auto row =
        converted.begin() + static_cast<std::ptrdiff_t>(layout.pixel_offset + y * stride);
    indices.insert(indices.end(), row, row + layout.width);
  }
  return indices;
}

std::vector<std::uint8_t> with_indices_in_place(std::span<const std::uint8_t> converted,
                                                std::span<const std::uint8_t> indices) {
  const BitmapLayout layout = read_layout(converted);
  const std::uint64_t stride = row_stride(layout.width);
  std::vector<std::uint8_t> out(converted.begin(), converted.end());
  for (std::uint64_t y = 0; y < layout.height; ++y) {
    std::copy_n(indices.begin() + static_cast<std::ptrdiff_t>(y * layout.width), layout.width,
                out.begin() + static_cast<std::ptrdiff_t>(layout.pixel_offset + y * stride));
  }
  return out;
}

}  // namespace varnu::pack
