// Where things lie in a decoded bitmap file, and what the writer will do with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace varnu {

// How every entry of a run is written: as decoded, or at half its width in true colour.
enum class OutputMode { kPlain, kHalfWidth };

// A decoded entry is a Windows bitmap file: a 14-byte file header, a 40-byte information
// header, then a palette of four-byte entries (blue, green, red, unused) and rows of 8-bit
// palette indices, each padded to a multiple of four bytes.
inline constexpr std::size_t kHeadersSize = 54;
inline constexpr std::size_t kPaletteOffset = kHeadersSize;
inline constexpr std::size_t kPaletteEntrySize = 4;
inline constexpr std::size_t kPaletteEntries = 256;
// The last byte of the palette, the fourth of entry 255. The half-width writer may look up any
// entry (it reads blue, green and red), so a bitmap must hold the whole palette for it.
inline constexpr std::size_t kPaletteReadEnd =
    kPaletteOffset + (kPaletteEntries - 1) * kPaletteEntrySize + 3;

// The two resolution fields of the information header, four bytes each (horizontal, then
// vertical), which every converted bitmap gets rewritten.
inline constexpr std::size_t kHorizontalResolutionOffset = 38;
inline constexpr std::size_t kVerticalResolutionOffset = 42;
inline constexpr std::size_t kResolutionFieldsSize = 8;

// The header fields the writer reads. Only the low bytes of each field are read, as the files
// this tool is made for store nothing in the high ones: three bytes of the file size and the
// pixel offset, two of the width and the height.
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

// Bytes per stored row: one per pixel, padded to a multiple of four.
std::uint64_t row_stride(std::uint16_t width);

// Plans the fix-up and the write of the bitmap in `image` in `mode`, or refuses it (nullopt)
// when the writer would read or move bytes outside `image`.
std::optional<BitmapPlan> plan_bitmap(std::span<const std::uint8_t> image, OutputMode mode);

}  // namespace varnu
