// Each pair of bytes is a run (a count, then the index, or in RLE4 two indices that alternate)
// or, with a count of 0, an escape: the second byte says which.
#include "pack/picture/rle.hpp"

#include <string>

#include "pack/picture/bmp_header.hpp"
#include "pack/picture/bmp_input.hpp"

namespace varnu::pack {
namespace {

constexpr std::uint8_t kEndOfRow = 0;
constexpr std::uint8_t kEndOfPicture = 1;
// Followed by two bytes: how far right, then how far up.
constexpr std::uint8_t kMove = 2;
// A second byte of 3 or more starts that many literal indices, padded to an even byte count.

class RleReader {
 public:
  RleReader(std::span<const std::uint8_t> stream, unsigned bits, std::uint16_t width,
            std::uint16_t height, std::span<std::uint8_t> pixels)
      : stream_(stream),
        bits_(bits),
        width_(width),
        row_pixels_(stride_of(width, bits) * 8 / bits),
        height_(height),
        pixels_(pixels) {}

  void run() {
    for (;;) {
      const std::uint8_t count = next();
      const std::uint8_t second = next();
      if (count > 0) {
        const std::size_t x = claim(count);
        for (std::size_t k = 0; k < count; ++k) put(x + k, index_in(second, k));
        continue;
      }
      switch (second) {
        case kEndOfRow:
          if (y_ >= height_) throw malformed("it ends a row past the last one");
          ++y_;
          x_ = 0;
          break;
        case kEndOfPicture:
          return;
        case kMove: {
          const std::uint8_t right = next();
          const std::uint8_t up = next();
          if (x_ + right > row_pixels_ || y_ + up >= height_) {
            throw malformed("a move leaves the picture at row " + std::to_string(y_));
          }
          x_ += right;
          y_ += up;
          break;
        }
        default:
          literal(second);
      }
    }
  }

 private:
  InputError malformed(const std::string& why) const {
    return InputError(std::string("malformed ") + (bits_ == 8 ? "RLE8" : "RLE4") +
                      " stream: " + why);
  }

  std::uint8_t next() {
    if (at_ >= stream_.size()) throw malformed("it is cut short before its end-of-picture mark");
    return stream_[at_++];
  }

  // Where the next `count` pixels start in the current row; all of them must lie inside it.
  std::size_t claim(std::size_t count) {
    if (y_ >= height_) throw malformed("it runs past the last row");
    if (count > row_pixels_ - x_) {
      throw malformed("a run passes the end of row " + std::to_string(y_));
    }
    const std::size_t x = x_;
    x_ += count;
    return x;
  }

  // Pixels in a row's padding are dropped.
  void put(std::size_t x, std::uint8_t index) {
    if (x < width_) pixels_[y_ * width_ + x] = index;
  }

  // Pixel k of a run or literal whose bytes begin with `byte`: RLE4 packs two, high nibble first.
  std::uint8_t index_in(std::uint8_t byte, std::size_t k) const {
    if (bits_ == 8) return byte;
    return k % 2 == 0 ? byte >> 4 : byte & 0x0F;
  }

  void literal(std::size_t count) {
    const std::size_t bytes = bits_ == 8 ? count : (count + 1) / 2;
    if (stream_.size() - at_ < bytes) throw malformed("it is cut short inside a literal run");
    const std::size_t x = claim(count);
    for (std::size_t k = 0; k < count; ++k) {
      put(x + k, bits_ == 8 ? stream_[at_ + k] : index_in(stream_[at_ + k / 2], k % 2));
    }
    // Literal runs keep the stream on 16-bit boundaries.
    at_ += bytes + bytes % 2;
  }

  std::span<const std::uint8_t> stream_;
  unsigned bits_;
  std::size_t width_;
  // Editors encode a row's padding too, as pixels of their own.
  std::size_t row_pixels_;
  std::size_t height_;
  std::span<std::uint8_t> pixels_;
  std::size_t at_ = 0;
  std::size_t x_ = 0;
  std::size_t y_ = 0;
};

}  // namespace

void decode_rle(std::span<const std::uint8_t> stream, unsigned bits, std::uint16_t width,
                std::uint16_t height, std::span<std::uint8_t> pixels) {
  RleReader(stream, bits, width, height, pixels).run();
}

}  // namespace varnu::pack
