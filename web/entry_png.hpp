// An entry's file as PNG, for the page's Save PNG and Save all as PNG: what the converter writes,
// encoded by the same code that varnu-pack reads PNG with, so that a picture saved here and packed
// back onto its entry gives that entry unchanged.
#pragma once

#include <cstdint>
#include <vector>

#include "bitmap/write_bitmap.hpp"
#include "web/entry_file.hpp"

namespace varnu::web {

// Reads the rest of `file` and encodes it: in plain mode a palette PNG with the bitmap's palette
// in its order and at its full length, at half width an RGB PNG. Throws pack::InputError when the
// file is no picture a PNG can hold, std::bad_alloc when there is no memory for it.
std::vector<std::uint8_t> entry_png(EntryFile& file, OutputMode mode);

}  // namespace varnu::web
