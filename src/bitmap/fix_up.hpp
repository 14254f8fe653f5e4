// The changes made to every decoded bitmap before it is written.
#pragma once

#include <cstdint>
#include <span>

#include "bitmap/layout.hpp"

namespace varnu {

// Reverses the order of the stored rows; the headers and the palette stay. The rows must lie
// inside `image`, as plan_bitmap makes sure of before it plans a flip.
void reverse_rows(std::span<std::uint8_t> image, const BitmapLayout& layout);

// Reverses the stored rows of a green-keyed image and rewrites both resolution fields.
// `plan` must come from plan_bitmap over the same bytes.
void fix_up_bitmap(std::span<std::uint8_t> image, const BitmapPlan& plan);

// Everything the writer changes in the image buffer before it writes: the fix-up and, at half
// width, the headers of the new file (whose rows are halved as they are written). What it leaves
// there is what a later entry that decodes fewer bytes finds.
void prepare_file(std::span<std::uint8_t> image, const BitmapPlan& plan);

}  // namespace varnu
