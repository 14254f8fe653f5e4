#include "web/entry_file.hpp"

#include <sys/types.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "bitmap/fix_up.hpp"
#include "common/run_state.hpp"
#include "format/archive.hpp"
#include "lzss/lzss.hpp"

namespace varnu::web {
namespace {

// The decoder writes a little past the decoded bytes as it goes (at most a group's output and a
// block copy's overshoot); room for that keeps it from moving the buffer.
constexpr std::size_t kDecoderSlack = 256;

Remade read_failure(std::FILE* archive) {
  return std::ferror(archive) ? Remade::kUnreadable : Remade::kChanged;
}

}  // namespace

std::span<const std::uint8_t> entry_tail(std::span<const std::uint8_t> image,
                                         std::size_t unpacked_size, std::uint64_t extent) {
  if (extent <= unpacked_size) return {};
  const std::span<const std::uint8_t> tail = image.subspan(unpacked_size, extent - unpacked_size);
  const bool all_zero =
      std::all_of(tail.begin(), tail.end(), [](std::uint8_t b) { return b == 0; });
  return all_zero ? std::span<const std::uint8_t>{} : tail;
}

Remade EntryFile::open(std::FILE* archive, const EntrySource& source) {
  try {
    const Remade decoded = decode(archive, source);
    if (decoded != Remade::kReady) return decoded;
    // The buffer as the run had it: the decoded bytes, then what the entry reaches past them.
    image_.resize(std::max<std::uint64_t>(image_.size(), source.extent));
    if (!source.tail.empty()) {
      if (source.tail.size() != source.extent - source.unpacked_size) return Remade::kChanged;
      std::copy(source.tail.begin(), source.tail.end(), image_.begin() + source.unpacked_size);
    }
    const std::optional<BitmapPlan> plan = plan_bitmap(image_, source.mode);
    if (!plan) return Remade::kChanged;
    const std::size_t palette_bytes =
        std::min(kPaletteSize, image_.size() - std::min(image_.size(), kPaletteOffset));
    std::copy_n(image_.begin() + kPaletteOffset, palette_bytes, palette_.begin());

    fix_up_bitmap(image_, *plan);
    height_ = plan->layout.height;
    if (source.mode == OutputMode::kHalfWidth) {
      rows_.emplace(image_, plan->layout);
      row_.resize(kMaxHalfWidthRowBytes);
      row_done_ = rows_->row_bytes();
      size_ = rows_->file_size();
    } else {
      size_ = plan->layout.file_size;
    }
    return Remade::kReady;
  } catch (const std::bad_alloc&) {
    return Remade::kNoMemory;
  }
}

// The entry's payload decoded into a buffer of its own, sized once for what it decoded to before.
// The entry is read in one piece, as each read of the user's file costs the page a great deal.
Remade EntryFile::decode(std::FILE* archive, const EntrySource& source) {
  if (source.packed_size > kMaxPayloadSize) return Remade::kChanged;
  std::setvbuf(archive, nullptr, _IONBF, 0);
  if (fseeko(archive, static_cast<off_t>(source.offset), SEEK_SET) != 0) {
    return read_failure(archive);
  }
  std::vector<std::uint8_t> entry(kPayloadOffset + source.packed_size);
  if (std::fread(entry.data(), 1, entry.size(), archive) < entry.size()) {
    return read_failure(archive);
  }
  if (!std::equal(kEntryMagic.begin(), kEntryMagic.end(), entry.begin())) return Remade::kChanged;
  const std::size_t length = read_length_field(std::span<const std::uint8_t, kLengthFieldSize>(
      entry.data() + kEntryHeaderSize, kLengthFieldSize));
  if (length != source.packed_size) return Remade::kChanged;

  image_.reserve(std::max<std::uint64_t>(source.unpacked_size + kDecoderSlack, source.extent));
  const std::span<const std::uint8_t> payload(entry.data() + kPayloadOffset, length);
  if (lzss_expand(payload, image_) != source.unpacked_size) return Remade::kChanged;
  return Remade::kReady;
}

std::size_t EntryFile::read(std::span<std::uint8_t> into) {
  if (rows_) return read_half_width(into);
  const std::size_t count = std::min<std::uint64_t>(into.size(), size_ - position_);
  std::memcpy(into.data(), image_.data() + position_, count);
  position_ += count;
  return count;
}

// The headers from the image buffer, where they were rewritten, then each row as it is built.
std::size_t EntryFile::read_half_width(std::span<std::uint8_t> into) {
  std::size_t count = 0;
  if (position_ < kHeadersSize) {
    count = std::min<std::size_t>(into.size(), kHeadersSize - position_);
    std::memcpy(into.data(), image_.data() + position_, count);
  }
  while (count < into.size() && rows_->row_bytes() > 0) {
    if (row_done_ == rows_->row_bytes()) {
      if (next_row_ == height_) break;
      rows_->build(next_row_++, row_);
      row_done_ = 0;
    }
    const std::size_t part = std::min(into.size() - count, rows_->row_bytes() - row_done_);
    std::memcpy(into.data() + count, row_.data() + row_done_, part);
    row_done_ += part;
    count += part;
  }
  position_ += count;
  return count;
}

}  // namespace varnu::web
