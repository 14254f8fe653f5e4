// Reading a bitmap file: every field is checked here, before anything is allocated from it.
#include "pack/picture/bmp_input.hpp"

#include <algorithm>
#include <cstdlib>
#include <string>

#include "bitmap/layout.hpp"
#include "pack/picture/bmp_header.hpp"
#include "pack/picture/entry_copy.hpp"
#include "pack/entry/limits.hpp"
#include "pack/picture/rle.hpp"

namespace varnu::pack {
namespace {

bool is_true_colour(const BmpHeader& h) {
  return h.bits == 24 || h.bits == 32;
}

// The compression each depth may have; anything else is refused before the pixels are read.
bool compression_allowed(const BmpHeader& h) {
  switch (h.compression) {
    case kUncompressed:
      return true;
    case kRle8:
      return h.bits == 8;
    case kRle4:
      return h.bits == 4;
    case kBitFields:
      return h.bits == 32;
  }
  return false;
}

void check_format(const BmpHeader& h) {
  if (h.bits == 16) {
    throw InputError(std::string("16-bit bitmap, whose colours would have to change to fit; ") +
                     kSaveInsteadHint);
  }
  if (h.bits != 1 && h.bits != 4 && h.bits != 8 && !is_true_colour(h)) {
    throw InputError("malformed: " + std::to_string(h.bits) + " bits per pixel");
  }
  if (!compression_allowed(h)) {
    throw InputError(std::to_string(h.bits) + "-bit bitmap compressed as " +
                     compression_name(h.compression) + "; " + kSaveInsteadHint);
  }
  if ((h.compression == kRle8 || h.compression == kRle4) && h.height < 0) {
    throw InputError("malformed: " + compression_name(h.compression) +
                     " rows stored top-down, which bitmaps do not allow");
  }
  if (h.width <= 0 || h.height == 0) throw InputError("malformed: it has no pixels");
  if (h.width > kMaxPictureSide || std::abs(h.height) > kMaxPictureSide) {
    throw InputError("larger than 65535 pixels on a side, which the converter cannot read");
  }
}

// Checked before any picture is allocated, whatever the file holds: a run-length stream may
// describe far more pixels than it has bytes.
void check_converted_size(const BmpHeader& h) {
  const std::uint64_t converted_size = kPaletteOffset + kPaletteSize +
                                       static_cast<std::uint64_t>(std::abs(h.height)) *
                                           row_stride(static_cast<std::uint16_t>(h.width));
  if (converted_size > kMaxBitmapFileSize) {
    throw InputError("would be " + std::to_string(converted_size) +
                     " bytes with 8 bits per pixel, more than its 24-bit size field can say (" +
                     std::to_string(kMaxBitmapFileSize) + ")");
  }
}

// Already the entry form: nothing but the orientation may change it.
bool is_entry_form(const BmpHeader& h, std::size_t file_size, std::uint64_t rows_end) {
  return h.info_size == kBasicInfoHeaderSize && h.bits == kEntryBitsPerPixel &&
         h.compression == kUncompressed && h.height > 0 && h.file_size == file_size &&
         h.pixel_offset >= kPaletteOffset && rows_end <= file_size;
}

void read_rows(std::span<const std::uint8_t> file, const BmpHeader& h, Picture& picture) {
  const std::uint64_t height = picture.height;
  const std::uint64_t stride = stride_of(h.width, h.bits);
  const std::uint64_t rows_end = std::uint64_t{h.pixel_offset} + height * stride;
  if (rows_end > file.size()) {
    throw InputError("truncated: its rows end at byte " + std::to_string(rows_end) +
                     ", the file has " + std::to_string(file.size()));
  }
  picture.pixels.resize(std::size_t{picture.width} * height);
  std::uint8_t* out = picture.pixels.data();
  for (std::uint64_t y = 0; y < height; ++y) {
    // Entries store the bottom row first.
    const std::uint64_t source_row = h.height < 0 ? height - 1 - y : y;
    const std::uint8_t* row = file.data() + h.pixel_offset + source_row * stride;
    for (std::size_t x = 0; x < picture.width; ++x) *out++ = packed_index(row, x, h.bits);
  }
}

IndexedPicture palette_picture(std::span<const std::uint8_t> file, const BmpHeader& h) {
  const std::uint64_t height = static_cast<std::uint64_t>(std::abs(h.height));
  const std::uint64_t rows_end =
      std::uint64_t{h.pixel_offset} + height * stride_of(h.width, h.bits);
  const bool entry_form = is_entry_form(h, file.size(), rows_end);
  if (!entry_form) check_converted_size(h);

  const std::uint64_t palette_size = std::uint64_t{1} << h.bits;
  std::uint64_t colours = h.colours_used == 0 ? palette_size : h.colours_used;
  if (entry_form) {
    colours = palette_length(file);
  } else if (colours > palette_size) {
    throw InputError("malformed: a palette of " + std::to_string(colours) + " colours for " +
                     std::to_string(h.bits) + "-bit pixels");
  }
  const std::uint64_t palette_at = kFileHeaderSize + h.info_size;
  const std::uint64_t palette_end = palette_at + colours * kPaletteEntrySize;
  if (palette_end > file.size()) throw InputError("truncated inside its palette");
  if (h.pixel_offset < palette_end) throw InputError("malformed: its rows overlap its palette");

  IndexedPicture indexed;
  if (entry_form) indexed.entry_form = file;
  indexed.colours = colours;
  std::copy_n(file.begin() + kHorizontalResolutionField, kResolutionFieldsSize,
              indexed.resolution.begin());
  Picture& picture = indexed.picture;
  picture.width = static_cast<std::uint16_t>(h.width);
  picture.height = static_cast<std::uint16_t>(height);
  std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(palette_at), colours * kPaletteEntrySize,
              picture.palette.begin());
  if (h.compression == kUncompressed) {
    read_rows(file, h, picture);
  } else {
    if (h.pixel_offset > file.size()) throw InputError("truncated before its rows");
    // Bounded by the converted size checked above, whatever the stream claims.
    picture.pixels.assign(std::size_t{picture.width} * height, 0);
    decode_rle(file.subspan(h.pixel_offset), h.bits, picture.width, picture.height, picture.pixels);
  }
  return indexed;
}

}  // namespace

DecodedPicture read_bmp(std::span<const std::uint8_t> file) {
  const BmpHeader h = read_bmp_header(file);
  check_format(h);
  if (!is_true_colour(h)) return palette_picture(file, h);
  check_converted_size(h);
  return read_true_colour(file, h);
}

}  // namespace varnu::pack
