// A picture of a bitmap file at a size the page can show, made as the file's bytes go by: the
// gallery's small pictures, and the larger view of a bitmap too large for a browser to draw
// (varnu's files may be 65,535 pixels wide; browsers draw at most about half that). Nothing of
// the file is kept but one row.
//
// Each pixel of the picture is the mean of a square of the bitmap's pixels, `factor` on a side:
// the smallest whole factor that brings the picture within the limits. Bitmaps of 8 bits a pixel
// with a palette and of 24 bits, uncompressed, are drawn (every file varnu writes is one of
// them); rows the file does not hold whole come out transparent.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace varnu::web {

struct PictureLimits {
  std::uint32_t width;
  std::uint32_t height;
  std::uint64_t pixels;
};

class PictureScaler {
 public:
  explicit PictureScaler(PictureLimits limits) : limits_(limits) {}

  // The file's next bytes.
  void push(std::span<const std::uint8_t> bytes);
  // After the last byte: true when the file is a bitmap this draws, with its picture ready.
  bool finish();

  std::uint32_t width() const { return out_width_; }
  std::uint32_t height() const { return out_height_; }
  std::uint32_t factor() const { return factor_; }
  // Top row first, four bytes a pixel: red, green, blue, alpha.
  std::span<const std::uint8_t> rgba() const { return rgba_; }

 private:
  enum class Stage { kHead, kSkip, kRows, kDone, kRefused };

  void read_head();
  void start_rows(std::size_t head_used);
  void take_row_bytes(std::span<const std::uint8_t> bytes);
  void add_row(std::uint32_t y);
  void emit_block();

  PictureLimits limits_;
  Stage stage_ = Stage::kHead;
  std::vector<std::uint8_t> head_;  // the headers and the palette
  std::size_t head_size_ = 0;       // how many bytes of the file they take
  std::uint64_t to_skip_ = 0;       // bytes between them and the first row
  std::uint32_t width_ = 0;
  std::uint32_t height_ = 0;
  bool bottom_up_ = true;
  int bits_ = 0;
  std::array<std::uint32_t, 256> colours_{};  // red, green, blue in the low three bytes
  std::vector<std::uint8_t> row_;
  std::size_t row_filled_ = 0;
  std::uint32_t rows_seen_ = 0;

  std::uint32_t factor_ = 1;
  std::uint32_t out_width_ = 0;
  std::uint32_t out_height_ = 0;
  std::vector<std::uint64_t> sums_;  // red, green, blue for each pixel of the block's row
  std::uint32_t block_ = 0;          // the picture row the sums are for
  std::uint32_t block_rows_ = 0;     // how many bitmap rows are in them
  std::vector<std::uint8_t> rgba_;
};

}  // namespace varnu::web
