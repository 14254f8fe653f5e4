// The changes made to every decoded bitmap before it is written.
#pragma once

#include <cstdint>
#include <span>

#include "bitmap/layout.hpp"

namespace varnu {

// Reverses the stored rows of a green-keyed image and rewrites both resolution fields.
// `plan` must come from plan_bitmap over the same bytes.
void fix_up_bitmap(std::span<std::uint8_t> image, const BitmapPlan& plan);

}  // namespace varnu
