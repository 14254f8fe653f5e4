#include "pack/picture/true_colour_entry.hpp"

#include <algorithm>

#include "bitmap/layout.hpp"
#include "pack/picture/bmp_header.hpp"
#include "pack/picture/colour_map.hpp"
#include "pack/picture/entry_copy.hpp"
#include "pack/picture/palette_bitmap.hpp"

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

NormalisedPicture with_mapping(std::vector<std::uint8_t> bitmap, MappedPicture& mapped) {
  return {std::move(bitmap), std::move(mapped.warning), std::move(mapped.mapping)};
}

}  // namespace

NormalisedPicture entry_with_own_palette(const TrueColourPicture& picture,
                                         const RemapOptions& options) {
  MappedPicture mapped = map_onto_own_palette(picture, options);
  std::vector<std::uint8_t> out = encode_bmp(with_indices(picture, mapped));
  std::copy(picture.resolution.begin(), picture.resolution.end(),
            out.begin() + kHorizontalResolutionField);
  return with_mapping(std::move(out), mapped);
}

NormalisedPicture entry_like(const TrueColourPicture& picture,
                             std::span<const std::uint8_t> converted, const RemapOptions& options) {
  // The converter writes nothing shorter (see plan_bitmap); a shorter one has no palette to keep.
  if (converted.size() < kPaletteOffset) return entry_with_own_palette(picture, options);
  const BitmapLayout layout = read_layout(converted);
  const std::size_t entries = palette_length(converted);
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

  if (!fits_in_place(converted, picture.width, picture.height, entries)) {
    target.capacity = kPaletteEntries;
    MappedPicture mapped = map_onto_palette(picture, target, options);
    return with_mapping(
        encode_bmp(with_indices(picture, mapped,
                                converted.subspan(kPaletteOffset, entries * kPaletteEntrySize))),
        mapped);
  }

  // The original's indices, for the pixels that keep theirs.
  const std::vector<std::uint8_t> indices = indices_in_place(converted);
  target.capacity = entries;
  target.indices = indices;
  MappedPicture mapped = map_onto_palette(picture, target, options);
  std::vector<std::uint8_t> out = with_indices_in_place(converted, mapped.indices);
  set_entries(std::span(out).subspan(kPaletteOffset), mapped);
  return with_mapping(std::move(out), mapped);
}

}  // namespace varnu::pack
