// Bitmaps as image editors save them, read for the one form an archive entry holds; and what
// every reader of the packer's inputs shares.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <vector>

#include "pack/picture/pictures.hpp"

namespace varnu::pack {

// Why a file cannot be packed; the message names no file, the caller adds it.
class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Ends a refusal of colours the entry form cannot keep: what to save instead.
inline constexpr char kSaveInsteadHint[] =
    "save it as a 24-bit bitmap, or an 8-bit one of 256 colours or fewer";

// Files longer than this are refused before they are read: even a 1-bit picture this large
// would be more than an entry can hold once it has 8 bits per pixel.
inline constexpr std::uint64_t kMaxInputFileSize = 32u << 20;

// Gives the bitmap of the original entry a picture replaces, as the converter writes it; asked
// for only when the picture needs it.
using LikeBitmap = std::function<std::vector<std::uint8_t>()>;

// The picture in a bitmap file. A palette bitmap (1, 4 or 8 bits per pixel; uncompressed, RLE8
// or RLE4; 40-byte, V4 or V5 header; rows top-down; a short palette) comes by index, together
// with the file itself when that is already in the entry form: the 14-byte file header, the
// 40-byte information header, the palette at byte 54, then 8-bit rows stored bottom-up and
// padded to four bytes, the file-size field matching the file. A true-colour bitmap (24 or 32
// bits per pixel) comes by colour. Throws InputError for anything else.
DecodedPicture read_bmp(std::span<const std::uint8_t> file);

}  // namespace varnu::pack
