// Windows bitmap files, as entries hold them and as the programs write and read them.
//
// A 14-byte file header, a 40-byte information header (or a longer one that begins with it),
// then, for a palette image, the palette of four-byte entries (blue, green, red, unused), and the
// rows, bottom row first, each padded to a multiple of four bytes. An entry's bitmap has the
// 40-byte information header, 8 bits per pixel and the palette right after the headers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace varnu {

inline constexpr std::size_t kFileHeaderSize = 14;
// The information header every other one begins with.
inline constexpr std::uint32_t kBasicInfoHeaderSize = 40;
inline constexpr std::size_t kHeadersSize = kFileHeaderSize + kBasicInfoHeaderSize;  // 54

// Where the fields lie, from the start of the file.
inline constexpr std::size_t kFileSizeField = 2;
inline constexpr std::size_t kPixelOffsetField = 10;
inline constexpr std::size_t kInfoSizeField = 14;
inline constexpr std::size_t kWidthField = 18;
inline constexpr std::size_t kHeightField = 22;
inline constexpr std::size_t kBitsField = 28;
inline constexpr std::size_t kCompressionField = 30;
inline constexpr std::size_t kImageSizeField = 34;
// The two resolution fields, four bytes each: horizontal, then vertical.
inline constexpr std::size_t kHorizontalResolutionField = 38;
inline constexpr std::size_t kVerticalResolutionField = 42;
inline constexpr std::size_t kResolutionFieldsSize = 8;
inline constexpr std::size_t kColoursUsedField = 46;

inline constexpr std::size_t kPaletteOffset = kHeadersSize;
inline constexpr std::size_t kPaletteEntrySize = 4;
inline constexpr std::size_t kPaletteEntries = 256;
inline constexpr std::size_t kPaletteSize = kPaletteEntries * kPaletteEntrySize;  // a whole one

// An entry's rows have one byte a pixel.
inline constexpr std::uint16_t kEntryBitsPerPixel = 8;

}  // namespace varnu
