// Reading a bitmap file: every field is checked here, before anything is allocated from it.
#include "pack/bmp_input.hpp"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <string>

#include "bitmap/layout.hpp"
#include "pack/limits.hpp"
#include "pack/palette_bitmap.hpp"

namespace varnu::pack {
namespace {

constexpr std::size_t kFileHeaderSize = 14;
// Information headers that begin with the 40-byte one: V1, the two sizes with colour masks
// some editors write, V4 and V5.
constexpr std::array<std::uint32_t, 5> kInfoHeaderSizes = {40, 52, 56, 108, 124};
constexpr std::uint32_t kEntryInfoHeaderSize = 40;
constexpr std::uint32_t kUncompressed = 0;
constexpr std::uint16_t kEntryBitsPerPixel = 8;
// The converter reads two bytes of the width and the height.
constexpr std::int64_t kMaxSide = 65535;

constexpr char kSaveHint[] = "; save it as an 8-bit bitmap, 256 colours or fewer, uncompressed";

std::uint32_t u32(std::span<const std::uint8_t> b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

std::uint16_t u16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

std::string compression_name(std::uint32_t compression) {
  switch (compression) {
    case 1:
      return "RLE8";
    case 2:
      return "RLE4";
    case 3:
      return "bit fields";
    case 4:
      return "JPEG";
    case 5:
      return "PNG";
  }
  return "method " + std::to_string(compression);
}

struct Header {
  std::uint32_t file_size;
  std::uint32_t pixel_offset;
  std::uint32_t info_size;
  std::int64_t width;
  std::int64_t height;  // negative: rows stored top-down
  std::uint16_t bits;
  std::uint32_t compression;
  std::uint32_t colours_used;
};

Header read_header(std::span<const std::uint8_t> file) {
  if (file.size() < 2 || file[0] != 'B' || file[1] != 'M') {
    throw InputError("not a bitmap file (it does not begin with \"BM\")");
  }
  if (file.size() < kFileHeaderSize + 4) throw InputError("truncated inside its headers");
  const std::uint32_t info_size = u32(file, kFileHeaderSize);
  if (std::find(kInfoHeaderSizes.begin(), kInfoHeaderSizes.end(), info_size) ==
      kInfoHeaderSizes.end()) {
    throw InputError("unsupported information header of " + std::to_string(info_size) +
                     " bytes; save it as a Windows bitmap");
  }
  if (file.size() < kFileHeaderSize + info_size) throw InputError("truncated inside its headers");
  return Header{
      .file_size = u32(file, 2),
      .pixel_offset = u32(file, 10),
      .info_size = info_size,
      .width = static_cast<std::int32_t>(u32(file, 18)),
      .height = static_cast<std::int32_t>(u32(file, 22)),
      .bits = u16(file, 28),
      .compression = u32(file, 30),
      .colours_used = u32(file, 46),
  };
}

void check_format(const Header& h) {
  if (h.bits == 16 || h.bits == 24 || h.bits == 32) {
    throw InputError(std::to_string(h.bits) + "-bit true-colour bitmap" + kSaveHint);
  }
  if (h.bits != 1 && h.bits != 4 && h.bits != 8) {
    throw InputError("malformed: " + std::to_string(h.bits) + " bits per pixel");
  }
  if (h.compression != kUncompressed) {
    throw InputError("compressed bitmap (" + compression_name(h.compression) + ")" + kSaveHint);
  }
  if (h.width <= 0 || h.height == 0) throw InputError("malformed: it has no pixels");
  if (h.width > kMaxSide || std::abs(h.height) > kMaxSide) {
    throw InputError("larger than 65535 pixels on a side, which the converter cannot read");
  }
}

std::uint64_t stride_of(const Header& h) {
  return (static_cast<std::uint64_t>(h.width) * h.bits + 31) / 32 * 4;
}

// Already the entry form: nothing but the orientation may change it.
bool is_entry_form(const Header& h, std::size_t file_size, std::uint64_t rows_end) {
  return h.info_size == kEntryInfoHeaderSize && h.bits == kEntryBitsPerPixel && h.height > 0 &&
         h.file_size == file_size && h.pixel_offset >= kPaletteOffset && rows_end <= file_size;
}

std::uint8_t pixel_at(const std::uint8_t* row, std::size_t x, unsigned bits) {
  if (bits == 8) return row[x];
  const std::size_t per_byte = 8 / bits;
  const unsigned shift = 8 - bits * static_cast<unsigned>(x % per_byte + 1);
  return static_cast<std::uint8_t>((row[x / per_byte] >> shift) & ((1u << bits) - 1));
}

}  // namespace

std::vector<std::uint8_t> normalise_bitmap(std::span<const std::uint8_t> file) {
  const Header h = read_header(file);
  check_format(h);
  const std::uint64_t height = static_cast<std::uint64_t>(std::abs(h.height));
  const std::uint64_t stride = stride_of(h);
  const std::uint64_t rows_end = std::uint64_t{h.pixel_offset} + height * stride;
  if (is_entry_form(h, file.size(), rows_end)) return {file.begin(), file.end()};

  const std::uint64_t palette_size = std::uint64_t{1} << h.bits;
  const std::uint64_t colours = h.colours_used == 0 ? palette_size : h.colours_used;
  if (colours > palette_size) {
    throw InputError("malformed: a palette of " + std::to_string(colours) + " colours for " +
                     std::to_string(h.bits) + "-bit pixels");
  }
  const std::uint64_t palette_at = kFileHeaderSize + h.info_size;
  const std::uint64_t palette_end = palette_at + colours * kPaletteEntrySize;
  if (palette_end > file.size()) throw InputError("truncated inside its palette");
  if (h.pixel_offset < palette_end) throw InputError("malformed: its rows overlap its palette");
  if (rows_end > file.size()) {
    throw InputError("truncated: its rows end at byte " + std::to_string(rows_end) +
                     ", the file has " + std::to_string(file.size()));
  }
  // Checked before the converted picture is allocated.
  const std::uint64_t converted_size = kPaletteOffset + kPaletteEntries * kPaletteEntrySize +
                                       height * row_stride(static_cast<std::uint16_t>(h.width));
  if (converted_size > kMaxBitmapFileSize) {
    throw InputError("would be " + std::to_string(converted_size) +
                     " bytes with 8 bits per pixel, more than its 24-bit size field can say "
                     "(16777215)");
  }

  Picture picture;
  picture.width = static_cast<std::uint16_t>(h.width);
  picture.height = static_cast<std::uint16_t>(height);
  std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(palette_at), colours * kPaletteEntrySize,
              picture.palette.begin());
  picture.pixels.resize(static_cast<std::size_t>(h.width) * height);
  std::uint8_t* out = picture.pixels.data();
  for (std::uint64_t y = 0; y < height; ++y) {
    // Entries store the bottom row first.
    const std::uint64_t source_row = h.height < 0 ? height - 1 - y : y;
    const std::uint8_t* row = file.data() + h.pixel_offset + source_row * stride;
    for (std::size_t x = 0; x < picture.width; ++x) *out++ = pixel_at(row, x, h.bits);
  }
  std::vector<std::uint8_t> result = encode_bmp(picture);
  std::copy_n(file.begin() + kHorizontalResolutionOffset, kResolutionFieldsSize,
              result.begin() + kHorizontalResolutionOffset);
  return result;
}

}  // namespace varnu::pack
