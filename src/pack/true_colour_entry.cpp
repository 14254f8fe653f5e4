#include "pack/true_colour_entry.hpp"

#include <algorithm>

#include "bitmap/layout.hpp"
#include "pack/bmp_header.hpp"
#include "pack/colour_map.hpp"
#include "pack/palette_bitmap.hpp"

namespace varnu::pack {
namespace {

void set_entries(std::span<std::uint8_t> palette, const MappedPicture& mapped) {
  for (const auto& [index, colour] : mapped.entries) {
    std::uint8_t* entry = palette.data() + std::size_t{index} * kPaletteEntrySize;
    // Blue, green, red; the fourth byte stays as it was.
    entry[0] = static_cast<std::uint8_t>(colour);
    entry[1] = static_cast<std::uint8_t>(colour >> 8);
    entry[2] = static_cast<std::uint8_t>(colour >> 16);
  }
}

// `base` is the palette before the mapped picture's new entries, at most 256 entries.
Picture with_indices(const TrueColourPicture& picture, const MappedPicture& mapped,
                     std::span<const std::uint8_t> base = {}) {
  Picture out;
  out.width = picture.width;
  out.height = picture.height;
  out.pixels = mapped.indices;
  std::copy(base.begin(), base.end(), out.palette.begin());
  set_entries(out.palette, mapped);
  return out;
}

// The original's palette as the converter and editors both see it: at byte 54, as many entries
// as its header says (256 for 0), all of them before its rows and inside it.
std::size_t palette_length(std::span<const std::uint8_t> converted, const BitmapLayout& layout) {
  const std::uint32_t said = read_u32(converted, kColoursUsedField);
  std::size_t count = said == 0 || said > kPaletteEntries ? kPaletteEntries : said;
  std::size_t end = converted.size();
  if (layout.pixel_offset >= kPaletteOffset) end = std::min<std::size_t>(end, layout.pixel_offset);
  return std::min(count, (end - kPaletteOffset) / kPaletteEntrySize);
}

// Whether the picture can go into a copy of `converted`: an editor shows the same 8-bit rows
// the converter reads.
bool fits_in_place(std::span<const std::uint8_t> converted, const BitmapLayout& layout,
                   const TrueColourPicture& picture, std::size_t palette_entries) {
  const std::uint64_t rows_end =
      layout.pixel_offset + std::uint64_t{layout.height} * row_stride(layout.width);
  return read_u32(converted, kInfoSizeField) == kBasicInfoHeaderSize &&
         read_u16(converted, kBitsField) == kEntryBitsPerPixel &&
         read_u32(converted, kCompressionField) == kUncompressed &&
         read_u32(converted, kWidthField) == picture.width &&
         read_u32(converted, kHeightField) == picture.height &&
         layout.pixel_offset >= kPaletteOffset + palette_entries * kPaletteEntrySize &&
         rows_end <= converted.size();
}

}  // namespace

std::vector<std::uint8_t> entry_with_own_palette(const TrueColourPicture& picture) {
  std::vector<std::uint8_t> out = encode_bmp(with_indices(picture, map_onto_own_palette(picture)));
  std::copy(picture.resolution.begin(), picture.resolution.end(),
            out.begin() + kHorizontalResolutionField);
  return out;
}

std::vector<std::uint8_t> entry_like(const TrueColourPicture& picture,
                                     std::span<const std::uint8_t> converted) {
  // The converter writes nothing shorter (see plan_bitmap); a shorter one has no palette to keep.
  if (converted.size() < kPaletteOffset) return entry_with_own_palette(picture);
  const BitmapLayout layout = read_layout(converted);
  const std::size_t entries = palette_length(converted, layout);
  PaletteTarget target;
  for (std::size_t k = 0; k < entries; ++k) {
    target.palette.push_back(read_u32(converted, kPaletteOffset + k * kPaletteEntrySize) &
                             0xFFFFFF);
  }
  const std::uint64_t stride = row_stride(layout.width);
  for (std::uint64_t y = 0; y < layout.height; ++y) {
    const std::uint64_t row = layout.pixel_offset + y * stride;
    if (row + layout.width > converted.size()) break;
    for (std::size_t x = 0; x < layout.width; ++x) target.used.set(converted[row + x]);
  }

  if (!fits_in_place(converted, layout, picture, entries)) {
    target.capacity = kPaletteEntries;
    return encode_bmp(with_indices(picture, map_onto_palette(picture, target),
                                   converted.subspan(kPaletteOffset, entries * kPaletteEntrySize)));
  }

  // The original's indices in the picture's order, for the pixels that keep theirs.
  std::vector<std::uint8_t> indices;
  indices.reserve(picture.colours.size());
  for (std::uint64_t y = 0; y < picture.height; ++y) {
    const auto row =
        converted.begin() + static_cast<std::ptrdiff_t>(layout.pixel_offset + y * stride);
    indices.insert(indices.end(), row, row + picture.width);
  }
  target.capacity = entries;
  target.indices = indices;
  const MappedPicture mapped = map_onto_palette(picture, target);
  std::vector<std::uint8_t> out(converted.begin(), converted.end());
  for (std::uint64_t y = 0; y < picture.height; ++y) {
    std::copy_n(mapped.indices.begin() + static_cast<std::ptrdiff_t>(y * picture.width),
                picture.width,
                out.begin() + static_cast<std::ptrdiff_t>(layout.pixel_offset + y * stride));
  }
  set_entries(std::span(out).subspan(kPaletteOffset), mapped);
  return out;
}

}  // namespace varnu::pack
