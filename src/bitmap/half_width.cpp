// Half-width true-colour output.
//
// Each pair of neighbouring pixels becomes one 24-bit pixel, the mean of the two palette colours
// rounded down, channel by channel; an odd width ends each row with its last pixel's colour.
// Palette colours are held as packed 32-bit words so that the three channel means come from one
// word operation, and each output row is built in memory and written at once. Built for
// WebAssembly with SIMD, four pixels at a time come from one vector operation instead: there the
// 64-bit steps left the browser and Node.js builds well behind the native program.
#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <cstring>
#if defined(__wasm_simd128__)
#include <wasm_simd128.h>
#endif

#include "bitmap/write_bitmap.hpp"

namespace varnu {
namespace {

constexpr std::size_t kBytesPerPixel = 3;
constexpr std::uint8_t kTrueColourBits = 24;

// Blue in the low byte, then green, then red.
std::array<std::uint32_t, kPaletteEntries> packed_palette(std::span<const std::uint8_t> image) {
  std::array<std::uint32_t, kPaletteEntries> colours{};
  for (std::size_t k = 0; k < kPaletteEntries; ++k) {
    const std::uint8_t* entry = image.data() + kPaletteOffset + k * kPaletteEntrySize;
    colours[k] = entry[0] | entry[1] << 8 | static_cast<std::uint32_t>(entry[2]) << 16;
  }
  return colours;
}

// floor((a + b) / 2) in each byte at once: the shared bits, plus half the differing ones (the
// mask keeps each byte's lowest differing bit from sliding into its neighbour).
inline std::uint32_t mean_colour(std::uint32_t a, std::uint32_t b) {
  return (a & b) + (((a ^ b) & 0xFEFEFEFEu) >> 1);
}

// The same for two colours at once, one in each half of a 64-bit word.
inline std::uint64_t mean_colours(std::uint64_t a, std::uint64_t b) {
  return (a & b) + (((a ^ b) & 0xFEFEFEFEFEFEFEFEu) >> 1);
}

// Stores blue, green and red as one four-byte word; the fourth byte is scratch that the next
// pixel or the padding overwrites, hence the row buffer's slack.
inline std::uint8_t* put_pixel(std::uint8_t* out, std::uint32_t colour) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(out, &colour, 4);
  } else {
    out[0] = static_cast<std::uint8_t>(colour);
    out[1] = static_cast<std::uint8_t>(colour >> 8);
    out[2] = static_cast<std::uint8_t>(colour >> 16);
  }
  return out + kBytesPerPixel;
}

// Two pixels held as the two halves of `colours`, stored as six bytes in one eight-byte word
// (two bytes of scratch) where the machine allows.
inline std::uint8_t* put_two_pixels(std::uint8_t* out, std::uint64_t colours) {
  if constexpr (std::endian::native == std::endian::little) {
    const std::uint64_t packed = (colours & 0xFFFFFF) | (colours >> 32) << 24;
    std::memcpy(out, &packed, 8);
    return out + 2 * kBytesPerPixel;
  } else {
    out = put_pixel(out, static_cast<std::uint32_t>(colours));
    return put_pixel(out, static_cast<std::uint32_t>(colours >> 32));
  }
}

#if defined(__wasm_simd128__)
// Four pixels from eight source pixels, the means as in mean_colour, lane by lane; stores exactly
// twelve bytes.
inline std::uint8_t* put_four_means(std::uint8_t* out, const std::uint32_t* colours,
                                    const std::uint8_t* source) {
  const v128_t even = wasm_u32x4_make(colours[source[0]], colours[source[2]], colours[source[4]],
                                      colours[source[6]]);
  const v128_t odd = wasm_u32x4_make(colours[source[1]], colours[source[3]], colours[source[5]],
                                     colours[source[7]]);
  const v128_t mean = wasm_i32x4_add(
      wasm_v128_and(even, odd),
      wasm_u32x4_shr(wasm_v128_and(wasm_v128_xor(even, odd),
                                   wasm_i32x4_const_splat(static_cast<std::int32_t>(0xFEFEFEFEu))),
                     1));
  const v128_t packed =
      wasm_i8x16_shuffle(mean, mean, 0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, 0, 0, 0, 0);
  wasm_v128_store64_lane(out, packed, 0);
  wasm_v128_store32_lane(out + 8, packed, 2);
  return out + 4 * kBytesPerPixel;
}
#endif

// Bytes in each row of the file, padding included.
std::uint32_t half_width_row_bytes(std::uint32_t width) {
  const std::uint32_t half_width = (width + 1) / 2;
  const std::uint32_t pad_out = (4 - (kBytesPerPixel * half_width) % 4) % 4;
  return kBytesPerPixel * half_width + pad_out;
}

}  // namespace

void rewrite_half_width_headers(std::span<std::uint8_t> image, const BitmapLayout& layout) {
  // Only the low three bytes are stored, as for every size this format's files record.
  const std::uint64_t stored_size =
      kHeadersSize + std::uint64_t{layout.height} * half_width_row_bytes(layout.width);
  store_le(image, kFileSizeField, stored_size, kSizeBytes);
  store_le(image, kPixelOffsetField, kHeadersSize, kSizeBytes);
  store_le(image, kWidthField, (layout.width + 1u) / 2, kSideBytes);
  image[kBitsField] = kTrueColourBits;
  store_le(image, kImageSizeField, 0, kSizeBytes);  // 0 is allowed for uncompressed bitmaps
}

HalfWidthRows::HalfWidthRows(std::span<const std::uint8_t> image, const BitmapLayout& layout)
    : image_(image),
      width_(layout.width),
      height_(layout.height),
      pixel_offset_(layout.pixel_offset),
      stride_(row_stride(layout.width)),
      row_bytes_(half_width_row_bytes(layout.width)),
      colours_(packed_palette(image)) {}

std::uint64_t HalfWidthRows::file_size() const {
  return kHeadersSize + std::uint64_t{height_} * row_bytes_;
}

void HalfWidthRows::build(std::uint32_t y, std::span<std::uint8_t> row) const {
  assert(row.size() >= row_bytes_ + 2);
  const std::uint8_t* source = image_.data() + pixel_offset_ + y * stride_;
  const std::uint32_t* colours = colours_.data();
  const std::uint32_t width = width_;
  std::uint8_t* pixel = row.data();
  std::uint32_t x = 0;
#if defined(__wasm_simd128__)
  for (; x + 7 < width; x += 8) pixel = put_four_means(pixel, colours, source + x);
#endif
  for (; x + 3 < width; x += 4) {
    pixel = put_two_pixels(
        pixel, mean_colours(colours[source[x]] | std::uint64_t{colours[source[x + 2]]} << 32,
                            colours[source[x + 1]] | std::uint64_t{colours[source[x + 3]]} << 32));
  }
  for (; x + 1 < width; x += 2) {
    pixel = put_pixel(pixel, mean_colour(colours[source[x]], colours[source[x + 1]]));
  }
  if (x < width) pixel = put_pixel(pixel, colours[source[x]]);
  std::fill(pixel, row.data() + row_bytes_, std::uint8_t{0});
}

void write_prepared(std::span<const std::uint8_t> image, const BitmapPlan& plan,
                    std::span<std::uint8_t> row, std::FILE* out) {
  if (plan.mode == OutputMode::kPlain) {
    std::fwrite(image.data(), 1, plan.layout.file_size, out);
    return;
  }
  const HalfWidthRows rows(image, plan.layout);
  std::fwrite(image.data(), 1, kHeadersSize, out);
  // Rows of no pixels and no padding: the header is the whole file.
  if (rows.row_bytes() == 0) return;
  for (std::uint32_t y = 0; y < plan.layout.height; ++y) {
    rows.build(y, row);
    std::fwrite(row.data(), 1, rows.row_bytes(), out);
  }
}

}  // namespace varnu
