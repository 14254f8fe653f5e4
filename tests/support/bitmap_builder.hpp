// Decoded bitmaps laid out in an image buffer the way the writer finds them.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/picture.hpp"

namespace varnu::testing {

// A picture whose row y is filled with y + 1 (padding bytes 0xEE), so row order is visible,
// with palette entry 0 set to the given colour and every other entry distinct.
inline tools::Picture striped_picture(std::uint16_t width, std::uint16_t height,
                                      std::uint8_t blue0 = 0, std::uint8_t green0 = 0,
                                      std::uint8_t red0 = 0) {
  tools::Picture picture;
  picture.width = width;
  picture.height = height;
  for (int k = 0; k < 256; ++k) {
    picture.palette[4 * k] = static_cast<std::uint8_t>(k);
    picture.palette[4 * k + 1] = static_cast<std::uint8_t>(255 - k);
    picture.palette[4 * k + 2] = static_cast<std::uint8_t>(k * 7);
  }
  picture.palette[0] = blue0;
  picture.palette[1] = green0;
  picture.palette[2] = red0;
  picture.pixels.resize(std::size_t{width} * height);
  for (std::size_t y = 0; y < height; ++y) {
    for (std::size_t x = 0; x < width; ++x) {
      picture.pixels[y * width + x] = static_cast<std::uint8_t>(y + 1);
    }
  }
  return picture;
}

// The bitmap file at the start of a zero-filled buffer of `buffer_size` bytes, with the row
// padding set to 0xEE so that it can be seen to travel with its row.
inline std::vector<std::uint8_t> image_buffer(const tools::Picture& picture,
                                              std::size_t buffer_size) {
  std::vector<std::uint8_t> file = pack::encode_bmp(picture);
  const std::size_t stride = (picture.width + 3u) & ~3u;
  const std::size_t offset = 54 + 1024;
  for (std::size_t y = 0; y < picture.height; ++y) {
    for (std::size_t x = picture.width; x < stride; ++x) file[offset + y * stride + x] = 0xEE;
  }
  if (file.size() > buffer_size) buffer_size = file.size();
  file.resize(buffer_size, 0);
  return file;
}

}  // namespace varnu::testing
