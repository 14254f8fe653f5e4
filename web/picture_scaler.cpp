#include "web/picture_scaler.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "format/bitmap.hpp"
#include "format/bitmap_header.hpp"

namespace varnu::web {
namespace {

// What this reads of a file's headers: the 40-byte information header, or one up to this long
// that begins with it (the longer ones add colour spaces, which a preview does without).
constexpr std::uint32_t kMaxInfoHeaderSize = 124;
// Sides as large as the width and height fields of varnu's files can say.
constexpr std::uint32_t kMaxSide = 65535;
constexpr std::uint32_t kUncompressed = 0;
constexpr std::size_t kRgbaBytes = 4;
constexpr std::uint8_t kOpaque = 255;

std::uint64_t ceil_div(std::uint64_t a, std::uint64_t b) {
  return (a + b - 1) / b;
}

// The smallest whole factor that brings a picture of `width` x `height` within `limits`.
std::uint32_t factor_for(std::uint32_t width, std::uint32_t height, const PictureLimits& limits) {
  std::uint64_t factor =
      std::max({std::uint64_t{1}, ceil_div(width, limits.width), ceil_div(height, limits.height)});
  const double area = static_cast<double>(width) * height / static_cast<double>(limits.pixels);
  factor = std::max(factor, static_cast<std::uint64_t>(std::sqrt(area)));
  while (ceil_div(width, factor) * ceil_div(height, factor) > limits.pixels) ++factor;
  return static_cast<std::uint32_t>(factor);
}

}  // namespace

void PictureScaler::push(std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    switch (stage_) {
      case Stage::kHead: {
        const std::size_t wanted = head_size_ == 0 ? kHeadersSize : head_size_;
        const std::size_t take = std::min(bytes.size(), wanted - head_.size());
        head_.insert(head_.end(), bytes.begin(), bytes.begin() + take);
        bytes = bytes.subspan(take);
        if (head_.size() == wanted) read_head();
        break;
      }
      case Stage::kSkip: {
        const std::size_t take = std::min<std::uint64_t>(bytes.size(), to_skip_);
        to_skip_ -= take;
        bytes = bytes.subspan(take);
        if (to_skip_ == 0) stage_ = Stage::kRows;
        break;
      }
      case Stage::kRows:
        take_row_bytes(bytes);
        return;
      case Stage::kDone:
      case Stage::kRefused:
        return;
    }
  }
}

// Called with the first 54 bytes, then again with the palette too.
void PictureScaler::read_head() {
  if (head_size_ == 0) {
    const BitmapHeader header = read_bitmap_header(head_);
    const std::uint32_t info_size = header.info_size;
    const std::int32_t width = header.width;
    const std::int32_t height = header.height;
    bits_ = header.bits;
    const bool drawn = info_size >= kBasicInfoHeaderSize && info_size <= kMaxInfoHeaderSize &&
                       width > 0 && static_cast<std::uint32_t>(width) <= kMaxSide && height != 0 &&
                       std::abs(static_cast<std::int64_t>(height)) <= kMaxSide &&
                       (bits_ == kEntryBitsPerPixel || bits_ == 24) &&
                       header.compression == kUncompressed;
    if (!drawn) {
      stage_ = Stage::kRefused;
      return;
    }
    width_ = static_cast<std::uint32_t>(width);
    height_ = static_cast<std::uint32_t>(std::abs(static_cast<std::int64_t>(height)));
    bottom_up_ = height > 0;
    head_size_ = kFileHeaderSize + info_size + (bits_ == 24 ? 0 : kPaletteSize);
    if (head_.size() < head_size_) return;  // the palette is still to come
  }
  if (bits_ != 24) {
    const std::size_t at = head_size_ - kPaletteSize;
    for (std::size_t k = 0; k < colours_.size(); ++k) {
      const std::uint8_t* entry = head_.data() + at + k * kPaletteEntrySize;
      colours_[k] = entry[2] | entry[1] << 8 | static_cast<std::uint32_t>(entry[0]) << 16;
    }
  }
  start_rows(head_size_);
}

void PictureScaler::start_rows(std::size_t head_used) {
  factor_ = factor_for(width_, height_, limits_);
  out_width_ = static_cast<std::uint32_t>(ceil_div(width_, factor_));
  out_height_ = static_cast<std::uint32_t>(ceil_div(height_, factor_));
  rgba_.assign(std::size_t{out_width_} * out_height_ * kRgbaBytes, 0);
  sums_.assign(std::size_t{out_width_} * 3, 0);
  row_.assign((std::uint64_t{width_} * bits_ + 31) / 32 * 4, 0);
  block_rows_ = 0;

  // Rows may start inside the headers or the palette: those bytes are read again as rows.
  const std::uint32_t pixel_offset = read_bitmap_header(head_).pixel_offset;
  stage_ = Stage::kRows;
  if (pixel_offset < head_used) {
    const std::vector<std::uint8_t> head = std::move(head_);
    take_row_bytes(std::span(head).subspan(pixel_offset));
  } else if (pixel_offset > head_used) {
    to_skip_ = pixel_offset - head_used;
    stage_ = Stage::kSkip;
  }
  head_ = {};
}

void PictureScaler::take_row_bytes(std::span<const std::uint8_t> bytes) {
  while (!bytes.empty() && stage_ == Stage::kRows) {
    const std::size_t take = std::min(bytes.size(), row_.size() - row_filled_);
    std::memcpy(row_.data() + row_filled_, bytes.data(), take);
    row_filled_ += take;
    bytes = bytes.subspan(take);
    if (row_filled_ < row_.size()) return;
    row_filled_ = 0;
    add_row(bottom_up_ ? height_ - 1 - rows_seen_ : rows_seen_);
    if (++rows_seen_ == height_) stage_ = Stage::kDone;
  }
}

// Rows arrive in order, so each picture row's square of rows arrives together.
void PictureScaler::add_row(std::uint32_t y) {
  const std::uint32_t block = y / factor_;
  if (block_rows_ > 0 && block != block_) emit_block();
  block_ = block;
  ++block_rows_;
  std::uint64_t* sum = sums_.data();
  std::uint32_t across = 0;
  for (std::uint32_t x = 0; x < width_; ++x) {
    std::uint32_t red, green, blue;
    if (bits_ == 24) {
      blue = row_[3 * x], green = row_[3 * x + 1], red = row_[3 * x + 2];
    } else {
      const std::uint32_t colour = colours_[row_[x]];
      red = colour & 0xFF, green = colour >> 8 & 0xFF, blue = colour >> 16;
    }
    sum[0] += red, sum[1] += green, sum[2] += blue;
    if (++across == factor_) {
      across = 0;
      sum += 3;
    }
  }
}

void PictureScaler::emit_block() {
  std::uint8_t* out = rgba_.data() + std::size_t{block_} * out_width_ * kRgbaBytes;
  for (std::uint32_t x = 0; x < out_width_; ++x, out += kRgbaBytes) {
    const std::uint32_t columns = std::min(factor_, width_ - x * factor_);
    const std::uint64_t count = std::uint64_t{columns} * block_rows_;
    std::uint64_t* sum = sums_.data() + 3 * x;
    for (int channel = 0; channel < 3; ++channel) {
      out[channel] = static_cast<std::uint8_t>((sum[channel] + count / 2) / count);
      sum[channel] = 0;
    }
    out[3] = kOpaque;
  }
  block_rows_ = 0;
}

bool PictureScaler::finish() {
  if (stage_ == Stage::kHead || stage_ == Stage::kRefused) return false;
  if (block_rows_ > 0) emit_block();
  return true;
}

}  // namespace varnu::web
