#include "tools/editor_forms.hpp"

#include <cstddef>
#include <stdexcept>

namespace varnu::tools {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kRle8 = 1;
constexpr std::uint32_t kRle4 = 2;
constexpr std::uint32_t kBitFields = 3;
// Literal runs shorter than this cannot be written: 0 1 and 0 2 mean other things.
constexpr std::size_t kShortestLiteral = 3;
constexpr std::size_t kLongestRun = 255;

void put_u16(Bytes& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put_u32(Bytes& out, std::uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

// File header and a 40-byte information header; the size fields are filled in by finish().
Bytes headers(const Picture& p, std::uint32_t info_size, std::int32_t height, unsigned bits,
              std::uint32_t compression, std::uint32_t extra_before_pixels) {
  Bytes out = {'B', 'M'};
  put_u32(out, 0);
  put_u32(out, 0);
  put_u32(out, kFileHeaderSize + info_size + extra_before_pixels);
  put_u32(out, info_size);
  put_u32(out, p.width);
  put_u32(out, static_cast<std::uint32_t>(height));
  put_u16(out, 1);
  put_u16(out, static_cast<std::uint16_t>(bits));
  put_u32(out, compression);
  put_u32(out, 0);
  put_u32(out, 3780);  // 96 dots per inch, as editors write it
  put_u32(out, 3780);
  put_u32(out, 0);
  put_u32(out, 0);
  return out;
}

void finish(Bytes& out) {
  const auto size = static_cast<std::uint32_t>(out.size());
  const std::uint32_t offset = out[10] | out[11] << 8 | out[12] << 16;
  for (int k = 0; k < 4; ++k) {
    out[2 + k] = static_cast<std::uint8_t>(size >> (8 * k));
    out[34 + k] = static_cast<std::uint8_t>((size - offset) >> (8 * k));
  }
}

std::uint8_t pixel(const Picture& p, std::size_t x, std::size_t y) {
  return p.pixels[y * p.width + x];
}

// One row: a run wherever three or more pixels repeat (or the row has fewer than three left),
// a literal run between them. RLE4 runs are of one index repeated.
void encode_rle_row(const Picture& p, std::size_t y, unsigned bits, Bytes& out) {
  const std::size_t width = p.width;
  const auto run_at = [&](std::size_t x) {
    std::size_t n = 1;
    while (x + n < width && n < kLongestRun && pixel(p, x + n, y) == pixel(p, x, y)) ++n;
    return n;
  };
  for (std::size_t x = 0; x < width;) {
    std::size_t literal = 0;
    while (x + literal < width && literal < kLongestRun && run_at(x + literal) < kShortestLiteral) {
      ++literal;
    }
    if (literal >= kShortestLiteral) {
      out.push_back(0);
      out.push_back(static_cast<std::uint8_t>(literal));
      std::size_t bytes = 0;
      for (std::size_t k = 0; k < literal; k += bits == 8 ? 1 : 2, ++bytes) {
        if (bits == 8) {
          out.push_back(pixel(p, x + k, y));
        } else {
          const std::uint8_t low = k + 1 < literal ? pixel(p, x + k + 1, y) : 0;
          out.push_back(static_cast<std::uint8_t>(pixel(p, x + k, y) << 4 | low));
        }
      }
      if (bytes % 2 == 1) out.push_back(0);
      x += literal;
      continue;
    }
    const std::size_t n = literal > 0 ? 1 : run_at(x);
    const std::uint8_t index = pixel(p, x, y);
    out.push_back(static_cast<std::uint8_t>(n));
    out.push_back(bits == 8 ? index : static_cast<std::uint8_t>(index << 4 | index));
    x += n;
  }
  out.push_back(0);
  out.push_back(0);  // end of the row
}

}  // namespace

Bytes encode_rle_bmp(const Picture& picture, unsigned bits) {
  if (bits != 8 && bits != 4) throw std::invalid_argument("run-length bitmaps have 4 or 8 bits");
  if (picture.pixels.size() != std::size_t{picture.width} * picture.height) {
    throw std::invalid_argument("pixel count does not match the size");
  }
  const std::size_t palette_bytes = (std::size_t{1} << bits) * 4;
  Bytes out = headers(picture, 40, picture.height, bits, bits == 8 ? kRle8 : kRle4,
                      static_cast<std::uint32_t>(palette_bytes));
  out.insert(out.end(), picture.palette.begin(),
             picture.palette.begin() + static_cast<std::ptrdiff_t>(palette_bytes));
  for (std::size_t y = 0; y < picture.height; ++y) {
    for (std::size_t x = 0; x < picture.width; ++x) {
      if (pixel(picture, x, y) >= 1u << bits) {
        throw std::invalid_argument("a pixel does not fit in " + std::to_string(bits) + " bits");
      }
    }
    encode_rle_row(picture, y, bits, out);
  }
  out.push_back(0);
  out.push_back(1);  // end of the picture
  finish(out);
  return out;
}

Bytes encode_true_colour_bmp(const Picture& picture, const TrueColourForm& form) {
  if (form.bits != 24 && form.bits != 32) throw std::invalid_argument("24 or 32 bits");
  if (picture.pixels.size() != std::size_t{picture.width} * picture.height) {
    throw std::invalid_argument("pixel count does not match the size");
  }
  const bool masks_follow = form.bit_fields && form.info_size == 40;
  const std::int32_t height = form.top_down ? -std::int32_t{picture.height} : picture.height;
  Bytes out = headers(picture, form.info_size, height, form.bits, form.bit_fields ? kBitFields : 0,
                      masks_follow ? 12 : 0);
  // Past the 40 bytes: the masks (red, green, blue, and alpha where the header holds them),
  // then zeros.
  if (form.bit_fields) {
    for (std::size_t k = 0; k < (masks_follow ? 3u : 4u); ++k) put_u32(out, form.masks[k]);
  }
  out.resize(kFileHeaderSize + form.info_size + (masks_follow ? 12 : 0), 0);

  // The byte each channel goes to: the lowest set bit of its mask.
  const auto byte_of = [](std::uint32_t mask) {
    std::size_t k = 0;
    while (k < 4 && (mask >> (8 * k) & 0xFF) == 0) ++k;
    return k;
  };
  const std::size_t red = form.bit_fields ? byte_of(form.masks[0]) : 2;
  const std::size_t green = form.bit_fields ? byte_of(form.masks[1]) : 1;
  const std::size_t blue = form.bit_fields ? byte_of(form.masks[2]) : 0;
  // The byte the colours leave (masks that share one leave it to the last byte).
  std::size_t alpha = 3;
  for (std::size_t k = 4; k-- > 0;) {
    if (k != red && k != green && k != blue) alpha = k;
  }
  const std::size_t bytes_per_pixel = form.bits / 8;
  const std::size_t stride = (picture.width * bytes_per_pixel + 3) & ~std::size_t{3};
  for (std::size_t row = 0; row < picture.height; ++row) {
    const std::size_t y = form.top_down ? picture.height - 1 - row : row;
    const std::size_t row_start = out.size();
    for (std::size_t x = 0; x < picture.width; ++x) {
      const std::uint8_t* colour = picture.palette.data() + 4 * std::size_t{pixel(picture, x, y)};
      std::uint8_t bytes[4] = {};
      bytes[blue] = colour[0];
      bytes[green] = colour[1];
      bytes[red] = colour[2];
      if (form.bits == 32) {
        const bool odd_one = form.translucent_pixel == y * picture.width + x;
        bytes[alpha] = odd_one ? static_cast<std::uint8_t>(form.alpha - 1) : form.alpha;
      }
      out.insert(out.end(), bytes, bytes + bytes_per_pixel);
    }
    out.resize(row_start + stride, 0);
  }
  finish(out);
  return out;
}

}  // namespace varnu::tools
