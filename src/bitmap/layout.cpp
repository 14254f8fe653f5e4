#include "bitmap/layout.hpp"

#include <algorithm>

#include "format/bitmap_header.hpp"

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

// The half-width writer may look up any palette entry; the headers and the first palette entry
// are read in both modes.
std::size_t always_read(OutputMode mode) {
  return mode == OutputMode::kHalfWidth ? kPaletteReadEnd + 1 : kPaletteOffset + 3;
}

std::uint64_t rows_size(const BitmapLayout& layout) {
  return layout.height * row_stride(layout.width);
}

// Whether the rows themselves are read or moved: to flip them, or to write them at half width.
bool rows_used(const BitmapPlan& plan) {
  return plan.flip || (plan.mode == OutputMode::kHalfWidth && rows_size(plan.layout) > 0);
}

}  // namespace

BitmapLayout read_layout(std::span<const std::uint8_t> image) {
  const BitmapHeader header = read_bitmap_header(image);
  return BitmapLayout{
      .file_size = header.file_size & kMaxSize,
      .pixel_offset = header.pixel_offset & kMaxSize,
      .width = static_cast<std::uint16_t>(header.width),
      .height = static_cast<std::uint16_t>(header.height),
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
  if (image.size() < always_read(mode)) return std::nullopt;

  BitmapPlan plan{.layout = read_layout(image), .mode = mode};
  const BitmapLayout& layout = plan.layout;

  if (palette_is_green_key(image)) {
    if (layout.pixel_offset >= image.size()) return std::nullopt;
    // A flip of fewer than two rows moves nothing.
    plan.flip = image[layout.pixel_offset] == kGreenKeyIndex && layout.height >= 2;
  }
  if (rows_used(plan) && !fits(image, layout.pixel_offset, rows_size(layout))) {
    return std::nullopt;
  }
  if (mode == OutputMode::kPlain && layout.file_size > image.size()) return std::nullopt;
  return plan;
}

std::uint64_t planned_extent(std::span<const std::uint8_t> image, const BitmapPlan& plan) {
  const BitmapLayout& layout = plan.layout;
  std::uint64_t extent = always_read(plan.mode);
  if (palette_is_green_key(image))
    extent = std::max<std::uint64_t>(extent, layout.pixel_offset + 1);
  if (rows_used(plan)) extent = std::max(extent, layout.pixel_offset + rows_size(layout));
  if (plan.mode == OutputMode::kPlain) extent = std::max<std::uint64_t>(extent, layout.file_size);
  return extent;
}

}  // namespace varnu
