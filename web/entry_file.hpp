// One entry's file, made again from the archive when the page needs it (to show it larger, to
// save it), so that the page never holds every file of a large archive at once.
//
// An entry's file is what the converter makes of the entry's decoded bitmap, and of whatever
// earlier entries left in the image buffer past the decoded bytes, when the bitmap's headers
// reach that far. The run that first converted the archive records, for each entry, how far its
// file reaches into the buffer (planned_extent) and the bytes it found there past the decoded
// ones (nothing when they were all zeros, as they are for a bitmap whose stream holds it whole).
// With those, the file is made again by the converter's own steps and is the same, byte for byte.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <vector>

#include "bitmap/layout.hpp"
#include "bitmap/write_bitmap.hpp"
#include "format/bitmap.hpp"

namespace varnu::web {

// What the converting run found out about an entry: all it takes to make its file again.
struct EntrySource {
  std::uint64_t offset = 0;       // where the entry begins in the archive
  std::size_t packed_size = 0;    // its payload's length
  std::size_t unpacked_size = 0;  // how many bytes the payload decoded to
  OutputMode mode = OutputMode::kPlain;
  std::uint64_t extent = 0;  // planned_extent in that run
  // What the image buffer held from unpacked_size up to extent, or nothing when that was all
  // zeros (or the extent lies within the decoded bytes).
  std::span<const std::uint8_t> tail;
};

// The bytes past the decoded ones that the file of the entry just planned depends on, as the
// run records them: empty when there are none or all are zero.
std::span<const std::uint8_t> entry_tail(std::span<const std::uint8_t> image,
                                         std::size_t unpacked_size, std::uint64_t extent);

enum class Remade {
  kReady,
  kUnreadable,  // the archive could not be read
  kChanged,     // the archive no longer holds the entry the run saw
  kNoMemory,
};

class EntryFile {
 public:
  // Reads, decodes and fixes up the entry, ready to be read from its first byte.
  Remade open(std::FILE* archive, const EntrySource& source);

  std::uint64_t size() const { return size_; }
  // The headers as the file has them: at half width, the new width.
  BitmapLayout layout() const { return read_layout(image_); }
  // The entry's palette as decoded; bytes the entry does not reach read as zero.
  const std::array<std::uint8_t, kPaletteSize>& palette() const { return palette_; }

  // Copies the file's next bytes into `into`; returns how many, 0 at the end.
  std::size_t read(std::span<std::uint8_t> into);

 private:
  Remade decode(std::FILE* archive, const EntrySource& source);
  std::size_t read_half_width(std::span<std::uint8_t> into);

  std::vector<std::uint8_t> image_;
  std::array<std::uint8_t, kPaletteSize> palette_{};
  std::optional<HalfWidthRows> rows_;
  std::vector<std::uint8_t> row_;  // the half-width row being handed out
  std::size_t row_done_ = 0;       // how much of it has been
  std::uint32_t next_row_ = 0;
  std::uint32_t height_ = 0;
  std::uint64_t position_ = 0;
  std::uint64_t size_ = 0;
};

}  // namespace varnu::web
