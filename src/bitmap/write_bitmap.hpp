// Writing a decoded bitmap: plainly, or at half width in true colour.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <span>

#include "bitmap/layout.hpp"

namespace varnu {

// Rewrites the headers of `image` for a 24-bit image of half the width, the file each pair of
// neighbouring pixels becomes the mean of their palette colours in. Rows that start inside the
// headers read the new bytes, as does a later entry that decodes fewer bytes.
void rewrite_half_width_headers(std::span<std::uint8_t> image, const BitmapLayout& layout);

// Writes the file prepared in `image` (prepare_file): the first `file_size` bytes as they stand,
// or at half width the new headers and then each row halved. `row` must hold
// kMaxHalfWidthRowBytes. Write errors are left on the stream for the caller, who closes it.
void write_prepared(std::span<const std::uint8_t> image, const BitmapPlan& plan,
                    std::span<std::uint8_t> row, std::FILE* out);

// The rows of the half-width file of a prepared bitmap, one at a time, for a caller that hands
// the file on in pieces (the page). `image` must outlive it, and must hold the rows.
class HalfWidthRows {
 public:
  HalfWidthRows(std::span<const std::uint8_t> image, const BitmapLayout& layout);

  // Bytes in each row of the file, padding included; the file is the headers (the first
  // kHeadersSize bytes of `image`), then `height` rows.
  std::uint32_t row_bytes() const { return row_bytes_; }
  std::uint64_t file_size() const;

  // Builds row `y` of the file (rows are stored bottom first, as in the bitmap) at the start of
  // `row`, which must hold row_bytes() + 2 bytes: the last pixel is stored with scratch after it.
  void build(std::uint32_t y, std::span<std::uint8_t> row) const;

 private:
  std::span<const std::uint8_t> image_;
  std::uint32_t width_;
  std::uint32_t height_;
  std::uint64_t pixel_offset_;
  std::uint64_t stride_;
  std::uint32_t row_bytes_;
  std::array<std::uint32_t, kPaletteEntries> colours_{};
};

// Fixes up the bitmap in the image buffer and writes it to the output stream, in the plan's mode.
// `plan` must come from plan_bitmap over the image buffer as it stands. Write errors are left on
// the stream for the caller, who closes it.
void write_bitmap(const BitmapPlan& plan);

}  // namespace varnu
