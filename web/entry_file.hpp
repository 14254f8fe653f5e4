// One entry's file, made again from the archive when the page needs it (to show it larger, to
// save it), so that the page never holds every file of a large archive at once.
//
// An entry's file is what the converter makes of the entry's decoded bitmap, and of whatever
// earlier entries left in the image buffer past the decoded bytes, when the bitmap's headers
// reach that far. The walk that first read the archive gave the page the entry's record and the
// bytes it borrows (page_walk.hpp); with those, the entry is read where it lies and made again by
// the archive reader's own remake, the same file byte for byte.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "archive/entry_reader.hpp"
#include "bitmap/layout.hpp"
#include "bitmap/write_bitmap.hpp"
#include "format/bitmap.hpp"

namespace varnu::web {

// Why an entry's file could not be made again, in the order the worker is told them
// (module_facts.cpp).
enum class Remade {
  kReady,
  kUnreadable,  // the archive could not be read
  kChanged,     // the archive no longer holds the entry the walk saw
  kNoMemory,
};

class EntryFile {
 public:
  // Reads the entry `record` describes from the archive at `path`, with the bytes it borrows
  // (`borrowed`, or nothing for zeros), and makes its file, ready to be read from its first byte.
  Remade open(const std::string& path, const archive::EntryRecord& record,
              std::span<const std::uint8_t> borrowed);

  // The file varnu writes in `mode` from the bitmap `stored` when an entry holds it whole, as a
  // packer's bitmap is: what a replacement becomes once packed.
  Remade open_stored(std::span<const std::uint8_t> stored, OutputMode mode);

  std::uint64_t size() const { return size_; }
  // The entry's palette as decoded; bytes the entry does not reach read as zero.
  const std::array<std::uint8_t, kPaletteSize>& palette() const { return palette_; }
  // Its resolution fields as decoded, before the converter rewrites them.
  const std::array<std::uint8_t, kResolutionFieldsSize>& resolution() const { return resolution_; }

  // Copies the file's next bytes into `into`; returns how many, 0 at the end.
  std::size_t read(std::span<std::uint8_t> into);
  // The rest of the file at once.
  std::vector<std::uint8_t> read_rest();

 private:
  Remade prepare(const BitmapPlan& plan);
  std::size_t read_half_width(std::span<std::uint8_t> into);

  std::vector<std::uint8_t> image_;
  std::array<std::uint8_t, kPaletteSize> palette_{};
  std::array<std::uint8_t, kResolutionFieldsSize> resolution_{};
  std::optional<HalfWidthRows> rows_;
  std::vector<std::uint8_t> row_;  // the half-width row being handed out
  std::size_t row_done_ = 0;       // how much of it has been
  std::uint32_t next_row_ = 0;
  std::uint32_t height_ = 0;
  std::uint64_t position_ = 0;
  std::uint64_t size_ = 0;
};

}  // namespace varnu::web
