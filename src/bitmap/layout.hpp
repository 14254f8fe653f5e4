// Where things lie in a decoded bitmap file, and what the writer will do with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "format/bitmap.hpp"
#include "format/little_endian.hpp"

namespace varnu {

// How every entry of a run is written: as decoded, or at half its width in true colour.
enum class OutputMode { kPlain, kHalfWidth };

// The last byte of the palette, the fourth of entry 255. The half-width writer may look up any
// entry (it reads blue, green and red), so a bitmap must hold the whole palette for it.
inline constexpr std::size_t kPaletteReadEnd =
    kPaletteOffset + (kPaletteEntries - 1) * kPaletteEntrySize + 3;

// The header fields the writer reads. Only the low bytes of each field are read, as the files
// this tool is made for store nothing in the high ones: kSizeBytes of the file size and the
// pixel offset, kSideBytes of the width and the height.
inline constexpr int kSideBytes = 2;
struct BitmapLayout {
  std::uint32_t file_size = 0;     // bytes written in plain mode
  std::uint32_t pixel_offset = 0;  // where the first stored row starts
  std::uint16_t width = 0;
  std::uint16_t height = 0;
};

// What the writer will do with one decoded bitmap.
struct BitmapPlan {
  BitmapLayout layout;
  OutputMode mode = OutputMode::kPlain;
  // Green-keyed with two rows or more: the rows are reversed before anything is written.
  bool flip = false;
};

BitmapLayout read_layout(std::span<const std::uint8_t> image);

// Whether palette entry 0 is near pure green, the mark of a picture stored upside down when its
// first stored pixel uses that entry. `image` holds at least the first palette entry.
bool palette_is_green_key(std::span<const std::uint8_t> image);

// Bytes per stored row: one per pixel, padded to a multiple of four.
std::uint64_t row_stride(std::uint16_t width);

// Plans the fix-up and the write of the bitmap in `image` in `mode`, or refuses it (nullopt)
// when the writer would read or move bytes outside `image`.
std::optional<BitmapPlan> plan_bitmap(std::span<const std::uint8_t> image, OutputMode mode);

// How far into `image` the bitmap's file reaches back for `plan` (which plan_bitmap made from the
// same bytes): plan_bitmap looked at no byte past it, and the fix-up and the writer read or move
// none. The file is the same for any buffer that holds the same bytes up to there, whatever the
// buffer holds beyond it and however long it is. Bytes past the entry's decoded length but before
// this extent are what earlier entries left in the buffer.
std::uint64_t planned_extent(std::span<const std::uint8_t> image, const BitmapPlan& plan);

}  // namespace varnu
