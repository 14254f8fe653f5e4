#include "pack/entry/limits.hpp"

#include "bitmap/layout.hpp"
#include "format/archive.hpp"
#include "format/buffers.hpp"
#include "pack/entry/orientation.hpp"

namespace varnu::pack {
namespace {

// An item that starts before the payload's end is decoded whole, so a reader may read up to
// two bytes past it; they must stay inside the packed buffer.
constexpr std::size_t kMaxReadPastPayload = 2;
constexpr std::size_t kMaxReaderPayload = kInitialPackedSize - kMaxReadPastPayload;

const std::string kLift = " (--no-limits packs it anyway)";

// Why a bitmap of `size` bytes, as `said` (\"the bitmap is N bytes\", ...), cannot be stored.
std::optional<std::string> refuse_bitmap_size(const std::string& said, std::uint64_t size,
                                              bool no_limits) {
  if (size > kMaxBitmapFileSize) {
    return said + ", more than its 24-bit size field can say (" +
           std::to_string(kMaxBitmapFileSize) + ")";
  }
  if (no_limits || size <= kInitialImageSize) return std::nullopt;
  return said + ", more than the " + std::to_string(kInitialImageSize) +
         " that readers with fixed buffers hold" + kLift;
}

}  // namespace

std::optional<std::string> refuse_picture_count(std::size_t count, bool no_limits) {
  if (no_limits || count <= static_cast<std::size_t>(kMaxEntries)) return std::nullopt;
  return std::to_string(count) + " pictures, more than the " + std::to_string(kMaxEntries) +
         " that readers name (_000 to _Z99)" + kLift;
}

std::optional<std::string> refuse_bitmap(std::span<const std::uint8_t> stored, bool no_limits) {
  const std::string said = "the bitmap is " + std::to_string(stored.size()) + " bytes";
  if (auto refusal = refuse_bitmap_size(said, stored.size(), no_limits)) return refusal;
  if (no_limits) return std::nullopt;
  const std::uint64_t stride = row_stride(read_layout(stored).width);
  if (converter_flips(stored) && stride > kWorkAreaSize) {
    return "green-keyed rows of " + std::to_string(stride) + " bytes, longer than the " +
           std::to_string(kWorkAreaSize) + " that readers turn a picture upside down through" +
           kLift;
  }
  return std::nullopt;
}

std::optional<std::string> refuse_payload(std::size_t payload_size, bool no_limits) {
  if (payload_size > kMaxPayloadSize) {
    return "packs to " + std::to_string(payload_size) +
           " bytes, more than an entry's 24-bit length can say (" +
           std::to_string(kMaxPayloadSize) + ")";
  }
  if (no_limits || payload_size <= kMaxReaderPayload) return std::nullopt;
  return "packs to " + std::to_string(payload_size) + " bytes, more than the " +
         std::to_string(kMaxReaderPayload) + " that readers with fixed buffers hold" + kLift;
}

std::optional<std::string> refuse_picture_sides(std::uint64_t width, std::uint64_t height,
                                                bool no_limits) {
  if (width > kMaxPictureSide || height > kMaxPictureSide) {
    return "larger than 65535 pixels on a side, which the converter cannot read";
  }
  const std::uint64_t least = kHeadersSize + height * row_stride(static_cast<std::uint16_t>(width));
  return refuse_bitmap_size(
      "would be at least " + std::to_string(least) + " bytes with 8 bits per pixel", least,
      no_limits);
}

}  // namespace varnu::pack
