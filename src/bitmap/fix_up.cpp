#include "bitmap/fix_up.hpp"

#include <algorithm>

#include "bitmap/write_bitmap.hpp"

namespace varnu {
namespace {

// Both resolution fields become 2923 pixels per metre, about 74 dots per inch, the value the
// tools that read these files expect.
constexpr std::uint8_t kResolutionBytes[4] = {0x6B, 0x0B, 0x00, 0x00};  // 2923, little-endian

}  // namespace

void reverse_rows(std::span<std::uint8_t> image, const BitmapLayout& layout) {
  if (layout.height < 2) return;
  const std::uint64_t stride = row_stride(layout.width);
  std::uint8_t* top = image.data() + layout.pixel_offset;
  std::uint8_t* bottom = top + (layout.height - 1) * stride;
  for (unsigned pair = 0; pair < layout.height / 2u; ++pair) {
    std::swap_ranges(top, top + stride, bottom);
    top += stride;
    bottom -= stride;
  }
}

void fix_up_bitmap(std::span<std::uint8_t> image, const BitmapPlan& plan) {
  if (plan.flip) reverse_rows(image, plan.layout);
  std::copy_n(kResolutionBytes, 4, image.begin() + kHorizontalResolutionField);
  std::copy_n(kResolutionBytes, 4, image.begin() + kVerticalResolutionField);
}

void prepare_file(std::span<std::uint8_t> image, const BitmapPlan& plan) {
  fix_up_bitmap(image, plan);
  if (plan.mode == OutputMode::kHalfWidth) rewrite_half_width_headers(image, plan.layout);
}

}  // namespace varnu
