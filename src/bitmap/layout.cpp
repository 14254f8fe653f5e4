#include "bitmap/layout.hpp"

namespace varnu {
namespace {

// Palette entry 0 close to pure green marks an image stored upside down, provided its first
// stored pixel uses that entry.
constexpr std::uint8_t kGreenKeyMaxBlueRed = 15;
constexpr std::uint8_t kGreenKeyMinGreen = 240;
constexpr std::uint8_t kGreenKeyIndex = 0;

bool fits(std::span<const std::uint8_t> image, std::uint64_t offset, std::uint64_t length) {
  return offset <= image.size() && length <= image.size() - offset;
}

}  // namespace

BitmapLayout read_layout(std::span<const std::uint8_t> image) {
  return BitmapLayout{
      .file_size = read_le(image, kFileSizeField, kSizeBytes),
      .pixel_offset = read_le(image, kPixelOffsetField, kSizeBytes),
      .width = static_cast<std::uint16_t>(read_le(image, kWidthField, kSideBytes)),
      .height = static_cast<std::uint16_t>(read_le(image, kHeightField, kSideBytes)),
  };
}

bool palette_is_green_key(std::span<const std::uint8_t> image) {
  const std::uint8_t blue = image[kPaletteOffset];
  const std::uint8_t green = image[kPaletteOffset + 1];
  const std::uint8_t red = image[kPaletteOffset + 2];
  return blue <= kGreenKeyMaxBlueRed && green >= kGreenKeyMinGreen && red <= kGreenKeyMaxBlueRed;
}

std::uint64_t row_stride(std::uint16_t width) {
  return (std::uint64_t{width} + 3) & ~3ULL;
}

std::optional<BitmapPlan> plan_bitmap(std::span<const std::uint8_t> image, OutputMode mode) {
  const bool half_width = mode == OutputMode::kHalfWidth;
  // The half-width writer may look up any palette entry; the headers and the first palette
  // entry are read in both modes.
  const std::size_t always_read = half_width ? kPaletteReadEnd + 1 : kPaletteOffset + 3;
  if (image.size() < always_read) return std::nullopt;

  BitmapPlan plan{.layout = read_layout(image), .mode = mode};
  const BitmapLayout& layout = plan.layout;
  const std::uint64_t rows_bytes = layout.height * row_stride(layout.width);

  if (palette_is_green_key(image)) {
    if (layout.pixel_offset >= image.size()) return std::nullopt;
    // A flip of fewer than two rows moves nothing.
    plan.flip = image[layout.pixel_offset] == kGreenKeyIndex && layout.height >= 2;
  }
  const bool rows_read = half_width && rows_bytes > 0;
  if ((plan.flip || rows_read) && !fits(image, layout.pixel_offset, rows_bytes)) {
    return std::nullopt;
  }
  if (!half_width && layout.file_size > image.size()) return std::nullopt;
  return plan;
}

}  // namespace varnu
