// The state of one run, shared by the driver, the decoder and the bitmap writer.
//
// The program is a straight line over process-wide state: one input stream, one output stream
// at a time, two heap buffers reused for every entry and a small work area. Keeping it in one
// place makes the lifetime of each piece obvious: set up once by the driver, read by the rest.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace varnu {

// Sizes the buffers start at; both only ever grow during a run. The image buffer holds a whole
// decoded bitmap file, the packed buffer an entry's length field and then its payload.
inline constexpr std::size_t kInitialImageSize = 0xA8000;   // 688,128 bytes
inline constexpr std::size_t kInitialPackedSize = 0x28000;  // 163,840 bytes

// The work area: each entry header is read into it, and the filler between entries is read
// through it.
inline constexpr std::size_t kWorkAreaSize = 4096;

// A row of the half-width output is at most 32,768 pixels of three bytes (the width field holds
// 16 bits), padded to a multiple of four, plus the two bytes of slack its eight-byte stores
// need; this buffer is sized once for the largest.
inline constexpr std::size_t kMaxHalfWidthRowBytes = 3 * 32768 + 2;

// Output is written through a buffer this large, so that a half-width image, written row by
// row, costs a few system calls rather than one every 4 KiB.
inline constexpr std::size_t kOutputBufferSize = 256 * 1024;

struct RunState {
  std::FILE* input = nullptr;
  std::uint64_t input_position = 0;  // bytes consumed from the archive
  std::FILE* output = nullptr;
  // Decoded entries land here from offset 0. Its size is what the writer may read: it starts at
  // kInitialImageSize, grows (zero-filled) when an entry decodes to more, and never shrinks, so
  // bytes past a short entry's end are what the previous entry left there.
  std::vector<std::uint8_t> image;
  std::vector<std::uint8_t> packed;
  std::vector<std::uint8_t> half_width_row;
  std::vector<char> output_buffer;
  std::array<std::uint8_t, kWorkAreaSize> work_area{};
};

extern RunState run;

}  // namespace varnu
