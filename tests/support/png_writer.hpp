// PNG files written here byte by byte, apart from the library the packer reads them with: chunks
// with their checksums, zlib streams of stored (uncompressed) blocks, every colour type and depth,
// Adam7 interlacing. Tests build well-formed files from a PngImage and hostile ones by changing
// the chunks before they are put together.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace varnu::testing {

using PngBytes = std::vector<std::uint8_t>;

enum PngColourType : unsigned {
  kPngGrey = 0,
  kPngRgb = 2,
  kPngPalette = 3,
  kPngGreyAlpha = 4,
  kPngRgba = 6,
};

struct PngImage {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  unsigned colour_type = kPngPalette;
  unsigned depth = 8;
  bool interlaced = false;
  // PLTE's entries (red, green, blue); none for a file without PLTE.
  std::vector<std::array<std::uint8_t, 3>> palette{};
  std::optional<PngBytes> transparency{};  // tRNS's data
  // Every channel of every pixel, top row first, one value each (below 2^depth).
  std::vector<std::uint16_t> samples{};
};

struct PngChunk {
  std::string type;
  PngBytes data;
};

inline std::uint32_t png_crc(std::span<const std::uint8_t> bytes) {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  std::uint32_t c = 0xFFFFFFFFu;
  for (const std::uint8_t b : bytes) c = table[(c ^ b) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

inline void put_be32(PngBytes& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

// A zlib stream of stored blocks: no compression, an Adler-32 of the data at its end.
inline PngBytes zlib_stored(std::span<const std::uint8_t> data) {
  PngBytes out = {0x78, 0x01};
  std::size_t at = 0;
  do {
    const std::size_t n = std::min<std::size_t>(data.size() - at, 65535);
    out.push_back(at + n == data.size() ? 1 : 0);
    out.push_back(static_cast<std::uint8_t>(n));
    out.push_back(static_cast<std::uint8_t>(n >> 8));
    out.push_back(static_cast<std::uint8_t>(~n));
    out.push_back(static_cast<std::uint8_t>(~n >> 8));
    out.insert(out.end(), data.begin() + at, data.begin() + at + n);
    at += n;
  } while (at < data.size());
  std::uint32_t a = 1, b = 0;
  for (const std::uint8_t v : data) {
    a = (a + v) % 65521;
    b = (b + a) % 65521;
  }
  put_be32(out, b << 16 | a);
  return out;
}

// A zlib stream of `size` zero bytes that takes about a 160th of that: one block of fixed Huffman
// codes, a literal zero, then matches of 258 bytes at distance 1 (13 bits each), then literals.
inline PngBytes zlib_zeros(std::size_t size) {
  PngBytes out = {0x78, 0x01};
  std::uint32_t pending = 0;
  unsigned bits = 0;
  const auto put = [&](std::uint32_t value, unsigned n) {  // the stream's bits go lowest first
    pending |= value << bits;
    for (bits += n; bits >= 8; bits -= 8, pending >>= 8)
      out.push_back(static_cast<std::uint8_t>(pending));
  };
  const auto put_code = [&](std::uint32_t code, unsigned n) {  // a code's bits highest first
    for (unsigned k = n; k-- > 0;) put(code >> k & 1, 1);
  };
  put(1, 1);                                                       // the last block
  put(1, 2);                                                       // fixed codes
  constexpr std::uint32_t kLiteralZero = 0x30, kLength258 = 0xC5;  // 8-bit codes of 0 and 285
  std::size_t left = size;
  if (left > 0) {
    put_code(kLiteralZero, 8);
    --left;
  }
  for (; left >= 258; left -= 258) {
    put_code(kLength258, 8);
    put_code(0, 5);  // distance 1
  }
  for (; left > 0; --left) put_code(kLiteralZero, 8);
  put_code(0, 7);  // end of block
  if (bits > 0) out.push_back(static_cast<std::uint8_t>(pending));
  put_be32(out, static_cast<std::uint32_t>(size % 65521) << 16 | 1);  // Adler-32 of zeros
  return out;
}

inline unsigned png_channels(unsigned colour_type) {
  switch (colour_type) {
    case kPngRgb:
      return 3;
    case kPngGreyAlpha:
      return 2;
    case kPngRgba:
      return 4;
  }
  return 1;
}

// The rows of a picture or of one interlacing pass (every dx-th pixel from x0, every dy-th row
// from y0), each a filter byte 0 and its samples packed from the high bits down.
inline void append_scanlines(const PngImage& s, std::uint32_t x0, std::uint32_t y0,
                             std::uint32_t dx, std::uint32_t dy, PngBytes& out) {
  const unsigned channels = png_channels(s.colour_type);
  for (std::uint32_t y = y0; y < s.height; y += dy) {
    if (x0 >= s.width) return;
    out.push_back(0);
    std::uint32_t bits = 0, pending = 0;
    for (std::uint32_t x = x0; x < s.width; x += dx) {
      for (unsigned c = 0; c < channels; ++c) {
        const std::uint32_t v = s.samples.at((std::size_t{y} * s.width + x) * channels + c);
        if (s.depth == 16) {
          out.push_back(static_cast<std::uint8_t>(v >> 8));
          out.push_back(static_cast<std::uint8_t>(v));
          continue;
        }
        pending = pending << s.depth | v;
        bits += s.depth;
        if (bits == 8) {
          out.push_back(static_cast<std::uint8_t>(pending));
          bits = pending = 0;
        }
      }
    }
    if (bits > 0) out.push_back(static_cast<std::uint8_t>(pending << (8 - bits)));
  }
}

inline PngBytes png_scanlines(const PngImage& s) {
  PngBytes out;
  if (!s.interlaced) {
    append_scanlines(s, 0, 0, 1, 1, out);
    return out;
  }
  static constexpr std::uint32_t kPasses[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8},
                                                  {2, 0, 4, 4}, {0, 2, 2, 4}, {1, 0, 2, 2},
                                                  {0, 1, 1, 2}};
  for (const auto& p : kPasses) append_scanlines(s, p[0], p[1], p[2], p[3], out);
  return out;
}

inline PngBytes png_header_data(std::uint32_t width, std::uint32_t height, unsigned depth,
                                unsigned colour_type, bool interlaced) {
  PngBytes data;
  put_be32(data, width);
  put_be32(data, height);
  data.push_back(static_cast<std::uint8_t>(depth));
  data.push_back(static_cast<std::uint8_t>(colour_type));
  data.push_back(0);  // deflate
  data.push_back(0);  // adaptive filtering
  data.push_back(interlaced ? 1 : 0);
  return data;
}

// IHDR, PLTE and tRNS when given, one IDAT, IEND.
inline std::vector<PngChunk> png_chunks(const PngImage& s) {
  std::vector<PngChunk> chunks = {
      {"IHDR", png_header_data(s.width, s.height, s.depth, s.colour_type, s.interlaced)}};
  if (!s.palette.empty()) {
    PngBytes plte;
    for (const auto& rgb : s.palette) plte.insert(plte.end(), rgb.begin(), rgb.end());
    chunks.push_back({"PLTE", plte});
  }
  if (s.transparency) chunks.push_back({"tRNS", *s.transparency});
  chunks.push_back({"IDAT", zlib_stored(png_scanlines(s))});
  chunks.push_back({"IEND", {}});
  return chunks;
}

inline PngBytes png_from_chunks(const std::vector<PngChunk>& chunks) {
  PngBytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  for (const PngChunk& chunk : chunks) {
    put_be32(out, static_cast<std::uint32_t>(chunk.data.size()));
    const std::size_t typed = out.size();
    out.insert(out.end(), chunk.type.begin(), chunk.type.end());
    out.insert(out.end(), chunk.data.begin(), chunk.data.end());
    put_be32(out, png_crc(std::span(out).subspan(typed)));
  }
  return out;
}

inline PngBytes png_file(const PngImage& s) {
  return png_from_chunks(png_chunks(s));
}

}  // namespace varnu::testing
