#include "bitmap/write_bitmap.hpp"

#include "bitmap/fix_up.hpp"
#include "common/run_state.hpp"

namespace varnu {

void write_plain(std::span<const std::uint8_t> image, const BitmapLayout& layout, std::FILE* out) {
  std::fwrite(image.data(), 1, layout.file_size, out);
}

void write_bitmap(const BitmapPlan& plan) {
  fix_up_bitmap(run.image, plan);
  if (plan.mode == OutputMode::kHalfWidth) {
    write_half_width(run.image, plan.layout, run.half_width_row, run.output);
  } else {
    write_plain(run.image, plan.layout, run.output);
  }
}

}  // namespace varnu
