#include "pack/palette_bitmap.hpp"

#include <cstddef>
#include <stdexcept>
#include <string>

namespace varnu::pack {
namespace {

constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kPaletteSize = 1024;

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
  const std::size_t stride = (width + 3) & ~std::size_t{3};
  const auto image_size = static_cast<std::uint32_t>(stride * height);
  const std::uint32_t offset = kFileHeaderSize + kInfoHeaderSize + kPaletteSize;

  std::vector<std::uint8_t> out;
  out.reserve(offset + image_size);
  out.push_back('B');
  out.push_back('M');
  put_u32(out, offset + image_size);
  put_u32(out, 0);
  put_u32(out, offset);

  put_u32(out, kInfoHeaderSize);
  put_u32(out, static_cast<std::uint32_t>(width));
  put_u32(out, static_cast<std::uint32_t>(height));
  put_u16(out, 1);
  put_u16(out, 8);
  put_u32(out, 0);
  put_u32(out, image_size);
  put_u32(out, 0);
  put_u32(out, 0);
  put_u32(out, 256);
  put_u32(out, 0);

  out.insert(out.end(), picture.palette.begin(), picture.palette.end());
  for (std::size_t y = 0; y < height; ++y) {
    const auto row = picture.pixels.begin() + static_cast<std::ptrdiff_t>(y * width);
    out.insert(out.end(), row, row + static_cast<std::ptrdiff_t>(width));
    out.insert(out.end(), stride - width, 0);
  }
  return out;
}

}  // namespace varnu::pack
