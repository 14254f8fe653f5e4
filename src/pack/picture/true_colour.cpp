// Every row is checked to lie inside the file before the picture is allocated.
#include "pack/picture/true_colour.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "pack/picture/bmp_input.hpp"

namespace varnu::pack {
namespace {

constexpr std::size_t kMaskCount = 3;  // red, green, blue
constexpr std::size_t kMaskSize = 4;
// The four byte positions of a 32-bit pixel, as shifts, add up to this; the one the colours
// leave is the alpha (or unused) byte.
constexpr unsigned kShiftSum = 0 + 8 + 16 + 24;

struct ChannelShifts {
  unsigned red = 16;
  unsigned green = 8;
  unsigned blue = 0;
  unsigned other = 24;
};

std::string hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

// Where the masks end: a 40-byte header is followed by them, the longer ones hold them.
std::size_t headers_end(const BmpHeader& h) {
  const std::size_t info_end = kFileHeaderSize + h.info_size;
  const bool masks_follow = h.compression == kBitFields && h.info_size == kBasicInfoHeaderSize;
  return masks_follow ? info_end + kMaskCount * kMaskSize : info_end;
}

ChannelShifts shifts_of(std::span<const std::uint8_t> file, const BmpHeader& h) {
  if (h.compression != kBitFields) return {};
  const std::size_t at = kFileHeaderSize + kBasicInfoHeaderSize;
  if (file.size() < at + kMaskCount * kMaskSize) throw InputError("truncated inside its masks");
  const std::uint32_t masks[kMaskCount] = {read_u32(file, at), read_u32(file, at + 4),
                                           read_u32(file, at + 8)};
  unsigned shifts[kMaskCount] = {};
  unsigned seen = 0;
  for (std::size_t k = 0; k < kMaskCount; ++k) {
    bool whole_byte = false;
    for (unsigned shift = 0; shift < 32; shift += 8) {
      if (masks[k] == 0xFFu << shift && (seen & 1u << shift) == 0) {
        shifts[k] = shift;
        seen |= 1u << shift;
        whole_byte = true;
      }
    }
    if (!whole_byte) {
      throw InputError("bit fields other than 8 bits a colour (masks " + hex(masks[0]) + ", " +
                       hex(masks[1]) + ", " + hex(masks[2]) + "); " + kSaveInsteadHint);
    }
  }
  return {.red = shifts[0],
          .green = shifts[1],
          .blue = shifts[2],
          .other = kShiftSum - shifts[0] - shifts[1] - shifts[2]};
}

}  // namespace

TrueColourPicture read_true_colour(std::span<const std::uint8_t> file, const BmpHeader& h) {
  const ChannelShifts shifts = shifts_of(file, h);
  const std::uint64_t height = static_cast<std::uint64_t>(std::abs(h.height));
  const std::uint64_t stride = stride_of(h.width, h.bits);
  if (h.pixel_offset < headers_end(h)) throw InputError("malformed: its rows overlap its headers");
  const std::uint64_t rows_end = std::uint64_t{h.pixel_offset} + height * stride;
  if (rows_end > file.size()) {
    throw InputError("truncated: its rows end at byte " + std::to_string(rows_end) +
                     ", the file has " + std::to_string(file.size()));
  }

  TrueColourPicture picture;
  picture.width = static_cast<std::uint16_t>(h.width);
  picture.height = static_cast<std::uint16_t>(height);
  std::copy_n(file.begin() + kHorizontalResolutionField, kResolutionFieldsSize,
              picture.resolution.begin());
  picture.colours.resize(std::size_t{picture.width} * height);
  Colour* out = picture.colours.data();
  const std::uint8_t* first = file.data() + h.pixel_offset;
  const unsigned other_of_first = h.bits == 32 ? first[shifts.other / 8] : 0;
  for (std::uint64_t y = 0; y < height; ++y) {
    // Entries store the bottom row first.
    const std::uint64_t source_row = h.height < 0 ? height - 1 - y : y;
    const std::uint8_t* row = file.data() + h.pixel_offset + source_row * stride;
    for (std::size_t x = 0; x < picture.width; ++x) {
      if (h.bits == 24) {
        const std::uint8_t* p = row + 3 * x;
        *out++ = Colour{p[2]} << 16 | Colour{p[1]} << 8 | p[0];
        continue;
      }
      const std::uint8_t* p = row + 4 * x;
      if (p[shifts.other / 8] != other_of_first) {
        throw InputError(kTranslucentRefusal);
      }
      *out++ =
          Colour{p[shifts.red / 8]} << 16 | Colour{p[shifts.green / 8]} << 8 | p[shifts.blue / 8];
    }
  }
  return picture;
}

}  // namespace varnu::pack
