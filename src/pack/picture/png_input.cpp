// The file's chunks are walked and their checksums checked here first, since lodepng checks only
// the chunks it reads; then the header is read and judged; only then does lodepng decode, its
// inflated data bounded by what the header's sides allow.
#include "pack/picture/png_input.hpp"

#include <algorithm>
#include <array>
#include <string>

#include "pack/picture/bmp_input.hpp"
#include "pack/entry/limits.hpp"
#include "pack/picture/lodepng_state.hpp"

namespace varnu::pack {
namespace {

constexpr std::array<std::uint8_t, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// A chunk is its length (4 bytes, big-endian), its type (4 letters), its data and a checksum.
constexpr std::size_t kChunkOverhead = 12;
constexpr std::size_t kChunkTypeAt = 4;
constexpr std::array<std::uint8_t, 4> kLastChunk = {'I', 'E', 'N', 'D'};

// lodepng's error numbers that say more with the packer's words.
constexpr unsigned kOutOfMemory = 83;
constexpr unsigned kZeroSides = 93;
constexpr unsigned kPaletteMissing = 106;
// The inflated data is not as long as the sides say, or runs on past the bound set for them.
constexpr unsigned kWrongDataSize = 91;
constexpr unsigned kPastOutputBound = 109;

std::uint32_t big_endian_u32(const std::uint8_t* bytes) {
  return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
         std::uint32_t{bytes[2]} << 8 | bytes[3];
}

// "its IDAT chunk", or "a chunk" when the type is not four letters.
std::string chunk_named(const std::uint8_t* chunk) {
  const std::uint8_t* type = chunk + kChunkTypeAt;
  const bool letters = std::all_of(type, type + 4, [](std::uint8_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
  });
  return letters ? "its " + std::string(type, type + 4) + " chunk" : "a chunk";
}

// Every chunk lies inside the file and carries its right checksum, up to the last one (IEND).
void check_chunks(std::span<const std::uint8_t> file) {
  for (std::size_t at = kSignature.size();;) {
    if (file.size() - at < kChunkOverhead) {
      throw InputError("truncated: the PNG ends before its last chunk (IEND)");
    }
    const std::uint8_t* chunk = file.data() + at;
    const std::uint32_t length = big_endian_u32(chunk);
    if (length > file.size() - at - kChunkOverhead) {
      throw InputError("truncated: " + chunk_named(chunk) + " runs past the end of the file");
    }
    if (lodepng_chunk_check_crc(chunk) != 0) {
      throw InputError("malformed PNG: the checksum of " + chunk_named(chunk) + " is wrong");
    }
    if (std::equal(kLastChunk.begin(), kLastChunk.end(), chunk + kChunkTypeAt)) return;
    at += kChunkOverhead + length;
  }
}

[[noreturn]] void refuse_decoding(unsigned error) {
  if (error == kZeroSides) throw InputError("malformed: it has no pixels");
  if (error == kPaletteMissing) {
    throw InputError("malformed PNG: a palette picture without a palette (no PLTE chunk)");
  }
  if (error == kOutOfMemory) throw InputError("not enough memory to decode it");
  if (error == kWrongDataSize || error == kPastOutputBound) {
    throw InputError("malformed PNG: its image data does not fit its width and height");
  }
  throw InputError(std::string("malformed PNG: ") + lodepng_error_text(error));
}

// The most the inflated scanlines of a picture can hold: each row is a filter byte and its
// pixels' bytes; Adam7 interlacing spreads the same pixels over fewer than 2h + 7 rows of its
// seven passes, each of which adds at most its filter byte and one part-filled byte.
std::size_t scanlines_bound(std::uint64_t width, std::uint64_t height, unsigned bits_per_pixel) {
  const std::uint64_t row_bytes = (width * bits_per_pixel + 7) / 8;
  return static_cast<std::size_t>(height * row_bytes + 2 * (2 * height + 7));
}

IndexedPicture indexed_picture(const unsigned char* pixels, unsigned width, unsigned height,
                               const LodePNGColorMode& mode) {
  IndexedPicture indexed;
  indexed.colours = mode.palettesize;
  Picture& picture = indexed.picture;
  picture.width = static_cast<std::uint16_t>(width);
  picture.height = static_cast<std::uint16_t>(height);
  for (std::size_t k = 0; k < mode.palettesize; ++k) {
    const unsigned char* rgba = mode.palette + 4 * k;
    std::uint8_t* entry = picture.palette.data() + k * kPaletteEntrySize;
    entry[0] = rgba[2];
    entry[1] = rgba[1];
    entry[2] = rgba[0];
  }
  picture.pixels.resize(std::size_t{width} * height);
  std::uint8_t* out = picture.pixels.data();
  for (std::size_t y = 0; y < height; ++y) {
    // Entries store the bottom row first; PNG the top row. lodepng packs the rows of a picture
    // of fewer than 8 bits a pixel without padding between them.
    const std::size_t row_start = (height - 1 - y) * width;
    for (std::size_t x = 0; x < width; ++x) {
      const std::uint8_t index = packed_index(pixels, row_start + x, mode.bitdepth);
      if (index >= mode.palettesize) {
        throw InputError("malformed PNG: a pixel uses palette entry " + std::to_string(index) +
                         ", past its palette of " + std::to_string(mode.palettesize) + " colours");
      }
      *out++ = index;
    }
  }
  return indexed;
}

TrueColourPicture true_colour_picture(const unsigned char* pixels, unsigned width, unsigned height,
                                      bool alpha) {
  TrueColourPicture picture;
  picture.width = static_cast<std::uint16_t>(width);
  picture.height = static_cast<std::uint16_t>(height);
  const std::size_t channels = alpha ? 4 : 3;
  picture.colours.resize(std::size_t{width} * height);
  Colour* out = picture.colours.data();
  for (std::size_t y = 0; y < height; ++y) {
    const unsigned char* row = pixels + (height - 1 - y) * width * channels;
    for (std::size_t x = 0; x < width; ++x) {
      const unsigned char* p = row + x * channels;
      if (alpha && p[3] != pixels[3]) throw InputError(kTranslucentRefusal);
      *out++ = Colour{p[0]} << 16 | Colour{p[1]} << 8 | p[2];
    }
  }
  return picture;
}

}  // namespace

bool is_png(std::span<const std::uint8_t> file) {
  return file.size() >= kSignature.size() &&
         std::equal(kSignature.begin(), kSignature.end(), file.begin());
}

DecodedPicture read_png(std::span<const std::uint8_t> file, bool no_limits) {
  check_chunks(file);
  LodepngState state;
  unsigned width = 0;
  unsigned height = 0;
  if (const unsigned error =
          lodepng_inspect(&width, &height, state.get(), file.data(), file.size())) {
    refuse_decoding(error);
  }
  const LodePNGColorMode& mode = state.get()->info_png.color;
  if (mode.bitdepth > 8) {
    throw InputError(
        "16 bits per channel, more than an entry keeps; save it with 8 bits per channel, or as "
        "a palette (indexed) PNG of 256 colours or fewer");
  }
  if (auto refusal = refuse_picture_sides(width, height, no_limits)) throw InputError(*refusal);

  LodePNGDecoderSettings& decoder = state.get()->decoder;
  decoder.zlibsettings.max_output_size = scanlines_bound(width, height, lodepng_get_bpp(&mode));
  const bool indexed = mode.colortype == LCT_PALETTE;
  const bool alpha = mode.colortype == LCT_GREY_ALPHA || mode.colortype == LCT_RGBA;
  if (indexed) {
    decoder.color_convert = 0;  // the indices as they are
  } else {
    state.get()->info_raw.colortype = alpha ? LCT_RGBA : LCT_RGB;
    state.get()->info_raw.bitdepth = 8;
  }
  unsigned char* decoded = nullptr;
  const unsigned error =
      lodepng_decode(&decoded, &width, &height, state.get(), file.data(), file.size());
  const LodepngBytes owned(decoded, &std::free);
  if (error != 0) refuse_decoding(error);
  if (indexed) return indexed_picture(decoded, width, height, state.get()->info_png.color);
  return true_colour_picture(decoded, width, height, alpha);
}

}  // namespace varnu::pack
