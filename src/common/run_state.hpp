// The state of one run, shared by the driver, the decoder and the bitmap writer.
//
// The program is a straight line over process-wide state: one input stream, one output stream
// at a time, two heap buffers reused for every entry. Keeping it in one place makes the lifetime
// of each piece obvious: set up once by the driver, read by the rest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "format/buffers.hpp"

namespace varnu {

// A row of the half-width output is at most 32,768 pixels of three bytes (the width field holds
// 16 bits), padded to a multiple of four, plus the two bytes of slack its eight-byte stores
// need; this buffer is sized once for the largest.
inline constexpr std::size_t kMaxHalfWidthRowBytes = 3 * 32768 + 2;

// Output is written through a buffer this large, so that a half-width image, written row by
// row, costs a few system calls rather than one every 4 KiB.
inline constexpr std::size_t kOutputBufferSize = 256 * 1024;

struct RunState {
  std::FILE* input = nullptr;
  std::FILE* output = nullptr;
  // The image buffer and the packed buffer, which the archive walk reads and decodes into. The
  // image buffer starts at kInitialImageSize, grows (zero-filled) when an entry decodes to more,
  // and never shrinks, so bytes past a short entry's end are what the previous entry left there;
  // the packed buffer starts at kInitialPackedSize and only grows.
  EntryBuffers buffers;
  std::vector<std::uint8_t> half_width_row;
  std::vector<char> output_buffer;
};

extern RunState run;

}  // namespace varnu
