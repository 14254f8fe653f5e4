#include "web/entry_png.hpp"

#include "pack/picture/png_output.hpp"

namespace varnu::web {

std::vector<std::uint8_t> entry_png(EntryFile& file, OutputMode mode) {
  // The whole file at once: the encoder takes the picture whole. One entry at a time, so the page
  // holds at most the largest file and its PNG.
  const std::vector<std::uint8_t> bitmap = file.read_rest();
  return mode == OutputMode::kHalfWidth ? pack::encode_rgb_png(bitmap)
                                        : pack::encode_palette_png(bitmap);
}

}  // namespace varnu::web
