#include "pack/picture/png_output.hpp"

#include <algorithm>
#include <string>

#include "bitmap/layout.hpp"
#include "pack/picture/bmp_header.hpp"
#include "pack/picture/bmp_input.hpp"
#include "pack/picture/entry_copy.hpp"
#include "pack/picture/lodepng_state.hpp"

namespace varnu::pack {
namespace {

constexpr unsigned kChannelBits = 8;
constexpr std::size_t kRgbBytes = 3;
constexpr unsigned char kOpaque = 255;

// Exactly the colour type asked for, in the PNG as in the pixels handed over: lodepng would
// otherwise pick the smallest, and drop or reorder palette entries.
void set_mode(LodePNGState* state, LodePNGColorType type) {
  state->encoder.auto_convert = 0;
  for (LodePNGColorMode* mode : {&state->info_raw, &state->info_png.color}) {
    mode->colortype = type;
    mode->bitdepth = kChannelBits;
  }
}

std::vector<std::uint8_t> encode(LodepngState& state, const std::vector<std::uint8_t>& rows,
                                 unsigned width, unsigned height) {
  unsigned char* png = nullptr;
  std::size_t size = 0;
  const unsigned error = lodepng_encode(&png, &size, rows.data(), width, height, state.get());
  const LodepngBytes owned(png, &std::free);
  if (error != 0)
    throw InputError(std::string("cannot encode it as PNG: ") + lodepng_error_text(error));
  return {png, png + size};
}

// The converter's view of a bitmap it wrote: its sides, and its rows inside it.
BitmapLayout checked_layout(std::span<const std::uint8_t> bitmap, std::size_t bytes_per_pixel) {
  if (bitmap.size() < kHeadersSize) throw InputError("not a picture: its headers are cut short");
  const BitmapLayout layout = read_layout(bitmap);
  if (layout.width == 0 || layout.height == 0) {
    throw InputError("it has no pixels, which a PNG cannot hold");
  }
  const std::uint64_t stride = (std::uint64_t{layout.width} * bytes_per_pixel + 3) & ~3ULL;
  if (layout.pixel_offset + std::uint64_t{layout.height} * stride > bitmap.size()) {
    throw InputError("not a whole picture: its rows end past the end of the file");
  }
  return layout;
}

// Top row first, as PNG stores them, without the row padding.
std::vector<std::uint8_t> top_down_rows(std::span<const std::uint8_t> bitmap,
                                        const BitmapLayout& layout, std::size_t bytes_per_pixel) {
  const std::size_t row_bytes = std::size_t{layout.width} * bytes_per_pixel;
  const std::size_t stride = (row_bytes + 3) & ~std::size_t{3};
  std::vector<std::uint8_t> rows;
  rows.reserve(row_bytes * layout.height);
  for (std::size_t y = layout.height; y-- > 0;) {
    const auto row = bitmap.begin() + static_cast<std::ptrdiff_t>(layout.pixel_offset + y * stride);
    rows.insert(rows.end(), row, row + static_cast<std::ptrdiff_t>(row_bytes));
  }
  return rows;
}

}  // namespace

std::vector<std::uint8_t> encode_palette_png(std::span<const std::uint8_t> bitmap) {
  const BitmapLayout layout = checked_layout(bitmap, 1);
  const std::vector<std::uint8_t> rows = top_down_rows(bitmap, layout, 1);
  const std::size_t used = std::size_t{*std::max_element(rows.begin(), rows.end())} + 1;
  const std::size_t entries = std::max(palette_length(bitmap), used);
  if (kPaletteOffset + entries * kPaletteEntrySize > bitmap.size()) {
    throw InputError("not a whole picture: a pixel uses palette entry " + std::to_string(used - 1) +
                     ", past the end of the file");
  }
  LodepngState state;
  set_mode(state.get(), LCT_PALETTE);
  for (LodePNGColorMode* mode : {&state.get()->info_raw, &state.get()->info_png.color}) {
    for (std::size_t k = 0; k < entries; ++k) {
      const std::uint8_t* entry = bitmap.data() + kPaletteOffset + k * kPaletteEntrySize;
      if (lodepng_palette_add(mode, entry[2], entry[1], entry[0], kOpaque) != 0) {
        throw InputError("not enough memory to encode it as PNG");
      }
    }
  }
  return encode(state, rows, layout.width, layout.height);
}

std::vector<std::uint8_t> encode_rgb_png(std::span<const std::uint8_t> bitmap) {
  if (bitmap.size() >= kHeadersSize && read_u16(bitmap, kBitsField) != 8 * kRgbBytes) {
    throw InputError("not a 24-bit bitmap");
  }
  const BitmapLayout layout = checked_layout(bitmap, kRgbBytes);
  std::vector<std::uint8_t> rows = top_down_rows(bitmap, layout, kRgbBytes);
  // Bitmaps hold blue, green, red; PNG red, green, blue.
  for (std::size_t k = 0; k < rows.size(); k += kRgbBytes) std::swap(rows[k], rows[k + 2]);
  LodepngState state;
  set_mode(state.get(), LCT_RGB);
  return encode(state, rows, layout.width, layout.height);
}

}  // namespace varnu::pack
