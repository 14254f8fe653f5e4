#include "pack/picture/palette_bitmap.hpp"

#include <cstddef>
#include <stdexcept>
#include <string>

#include "bitmap/layout.hpp"
#include "pack/picture/bmp_header.hpp"

namespace varnu::pack {
namespace {

// An entry's bitmap is of one plane.
constexpr std::uint16_t kPlanes = 1;

void put_u16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put_u32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

}  // namespace

std::vector<std::uint8_t> encode_bmp(const Picture& picture) {
  const std::size_t width = picture.width;
  const std::size_t height = picture.height;
  if (picture.pixels.size() != width * height) {
    throw std::invalid_argument("picture has " + std::to_string(picture.pixels.size()) +
                                " pixels, expected " + std::to_string(width * height));
  }
  const std::size_t stride = row_stride(picture.width);
  const auto image_size = static_cast<std::uint32_t>(stride * height);
  const auto offset = static_cast<std::uint32_t>(kPaletteOffset + kPaletteSize);

  std::vector<std::uint8_t> out;
  out.reserve(offset + image_size);
  out.push_back('B');
  out.push_back('M');
  put_u32(out, offset + image_size);
  put_u32(out, 0);
  put_u32(out, offset);

  put_u32(out, kBasicInfoHeaderSize);
  put_u32(out, static_cast<std::uint32_t>(width));
  put_u32(out, static_cast<std::uint32_t>(height));
  put_u16(out, kPlanes);
  put_u16(out, kEntryBitsPerPixel);
  put_u32(out, kUncompressed);
  put_u32(out, image_size);
  put_u32(out, 0);  // both resolution fields
  put_u32(out, 0);
  put_u32(out, kPaletteEntries);  // colours used
  put_u32(out, 0);                // colours important: all

  out.insert(out.end(), picture.palette.begin(), picture.palette.end());
  for (std::size_t y = 0; y < height; ++y) {
    const auto row = picture.pixels.begin() + static_cast<std::ptrdiff_t>(y * width);
    out.insert(out.end(), row, row + static_cast<std::ptrdiff_t>(width));
    out.insert(out.end(), stride - width, 0);
  }
  return out;
}

}  // namespace varnu::pack
