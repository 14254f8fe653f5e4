#include "web/entry_file.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <istream>
#include <new>

#include "archive/entry_bytes.hpp"
#include "bitmap/fix_up.hpp"
#include "common/run_state.hpp"
#include "platform/platform.hpp"
#include "web/file_stream.hpp"

namespace varnu::web {
namespace {

// The entry's bytes, header to end, into `bytes`, read in one piece: each read of the user's file
// crosses from the module into the worker's script.
Remade read_entry(const std::string& path, const archive::EntryRecord& record,
                  std::optional<std::vector<std::uint8_t>>& bytes) {
  const OwnedFile file(platform::open_for_reading(path));
  if (file == nullptr) return Remade::kUnreadable;
  std::setvbuf(file.get(), nullptr, _IONBF, 0);
  FileReadBuffer buffer(file.get());
  std::istream archive(&buffer);
  bytes = archive::read_entry_bytes(archive, record);
  if (bytes) return Remade::kReady;
  // A read that failed, as against bytes that are not the entry's (or are no longer there).
  return std::ferror(file.get()) ? Remade::kUnreadable : Remade::kChanged;
}

}  // namespace

Remade EntryFile::open(const std::string& path, const archive::EntryRecord& record,
                       std::span<const std::uint8_t> borrowed) {
  try {
    std::optional<std::vector<std::uint8_t>> bytes;
    if (const Remade read = read_entry(path, record, bytes); read != Remade::kReady) return read;
    const std::optional<BitmapPlan> plan =
        archive::remake_decoded(archive::payload_of(*bytes, record), record, borrowed, image_);
    if (!plan) return Remade::kChanged;
    bytes.reset();
    return prepare(*plan);
  } catch (const std::bad_alloc&) {
    return Remade::kNoMemory;
  }
}

Remade EntryFile::open_stored(std::span<const std::uint8_t> stored, OutputMode mode) {
  try {
    const std::optional<BitmapPlan> plan = plan_bitmap(stored, mode);
    if (!plan) return Remade::kChanged;
    image_.assign(stored.begin(), stored.end());
    // The writer may read as far as the plan reaches; a packer's bitmap holds all it reads.
    image_.resize(std::max<std::uint64_t>(image_.size(), planned_extent(stored, *plan)), 0);
    return prepare(*plan);
  } catch (const std::bad_alloc&) {
    return Remade::kNoMemory;
  }
}

// The image buffer holds the decoded bitmap: its palette and resolution kept, then its file made.
Remade EntryFile::prepare(const BitmapPlan& plan) {
  // Before the fix-up, which may move rows that overlap them, and rewrites the resolution.
  const auto kept = [&](std::size_t offset, std::span<std::uint8_t> into) {
    const std::size_t count =
        std::min(into.size(), image_.size() - std::min(image_.size(), offset));
    std::copy_n(image_.begin() + static_cast<std::ptrdiff_t>(offset), count, into.begin());
  };
  kept(kPaletteOffset, palette_);
  kept(kHorizontalResolutionField, resolution_);
  prepare_file(image_, plan);
  height_ = plan.layout.height;
  if (plan.mode == OutputMode::kHalfWidth) {
    rows_.emplace(image_, plan.layout);
    row_.resize(kMaxHalfWidthRowBytes);
    row_done_ = rows_->row_bytes();
    size_ = rows_->file_size();
  } else {
    size_ = plan.layout.file_size;
  }
  return Remade::kReady;
}

std::size_t EntryFile::read(std::span<std::uint8_t> into) {
  if (rows_) return read_half_width(into);
  const std::size_t count = std::min<std::uint64_t>(into.size(), size_ - position_);
  std::memcpy(into.data(), image_.data() + position_, count);
  position_ += count;
  return count;
}

std::vector<std::uint8_t> EntryFile::read_rest() {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size_ - position_));
  std::size_t got = 0;
  while (got < bytes.size()) {
    const std::size_t count = read(std::span(bytes).subspan(got));
    if (count == 0) break;
    got += count;
  }
  bytes.resize(got);
  return bytes;
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
