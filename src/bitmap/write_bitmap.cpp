#include "bitmap/write_bitmap.hpp"

#include "bitmap/fix_up.hpp"
#include "common/run_state.hpp"

namespace varnu {

void write_bitmap(const BitmapPlan& plan) {
  std::vector<std::uint8_t>& image = run.buffers.image;
  prepare_file(image, plan);
  write_prepared(image, plan, run.half_width_row, run.output);
}

}  // namespace varnu
