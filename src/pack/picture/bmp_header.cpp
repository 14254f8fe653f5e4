#include "pack/picture/bmp_header.hpp"

#include <algorithm>
#include <array>

#include "format/bitmap_header.hpp"
#include "pack/picture/bmp_input.hpp"

namespace varnu::pack {
namespace {

// Information headers that begin with the 40-byte one: V1, the two sizes with colour masks
// some editors write, V4 and V5.
constexpr std::array<std::uint32_t, 5> kInfoHeaderSizes = {40, 52, 56, 108, 124};

}  // namespace

BmpHeader read_bmp_header(std::span<const std::uint8_t> file) {
  if (file.size() < 2 || file[0] != 'B' || file[1] != 'M') {
    // Reached for whatever is not a PNG: the file may have been meant as either.
    throw InputError(
        "neither a bitmap nor a PNG file (it begins with neither \"BM\" nor PNG's "
        "signature)");
  }
  if (file.size() < kFileHeaderSize + 4) throw InputError("truncated inside its headers");
  const std::uint32_t info_size = read_u32(file, kInfoSizeField);
  if (std::find(kInfoHeaderSizes.begin(), kInfoHeaderSizes.end(), info_size) ==
      kInfoHeaderSizes.end()) {
    throw InputError("unsupported information header of " + std::to_string(info_size) +
                     " bytes; save it as a Windows bitmap");
  }
  if (file.size() < kFileHeaderSize + info_size) throw InputError("truncated inside its headers");
  const BitmapHeader header = read_bitmap_header(file);
  return BmpHeader{
      .file_size = header.file_size,
      .pixel_offset = header.pixel_offset,
      .info_size = header.info_size,
      .width = header.width,
      .height = header.height,
      .bits = header.bits,
      .compression = header.compression,
      .colours_used = header.colours_used,
  };
}

std::string compression_name(std::uint32_t compression) {
  switch (compression) {
    case kRle8:
      return "RLE8";
    case kRle4:
      return "RLE4";
    case kBitFields:
      return "bit fields";
    case 4:
      return "JPEG";
    case 5:
      return "PNG";
  }
  return "method " + std::to_string(compression);
}

std::uint64_t stride_of(std::int64_t width, unsigned bits) {
  return (static_cast<std::uint64_t>(width) * bits + 31) / 32 * 4;
}

}  // namespace varnu::pack
