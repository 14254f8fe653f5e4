#include "web/entry_png.hpp"

#include "pack/picture/png_output.hpp"

namespace varnu::web {

std::vector<std::uint8_t> entry_png(EntryFile& file, OutputMode mode) {
  // The whole file at once: the encoder takes the picture whole. One entry at a time, so the page
  // holds at most the largest file and its PNG.
  std::vector<std::uint8_t> bitmap(static_cast<std::size_t>(file.size()));
  std::size_t got = 0;
  while (got < bitmap.size()) {
    const std::size_t count = file.read(std::span(bitmap).subspan(got));
    if (count == 0) break;
    got += count;
  }
  bitmap.resize(got);
  return mode == OutputMode::kHalfWidth ? pack::encode_rgb_png(bitmap)
                                        : pack::encode_palette_png(bitmap);
}

}  // namespace varnu::web
