// PNG in the packer: every colour type and depth read as the test's own writer wrote it, hostile
// files refused with one reason each before anything large is allocated, palette pictures taken
// by index where their palette is the original's, and the page's PNG of a converted entry.
// Expected pixels come from the tables and the test's writer (tests/support/png_writer.hpp),
// never from the library under test.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "pack/picture/palette_entry.hpp"
#include "pack/picture/picture_input.hpp"
#include "pack/picture/png_input.hpp"
#include "pack/picture/png_output.hpp"
#include "tests/support/largest_allocation.hpp"
#include "tests/support/png_writer.hpp"
#include "tools/picture.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace varnu::pack;
using namespace varnu::testing;

// Pixel (x, y), top row first: a value below `levels` that differs along rows and columns.
unsigned level_at(std::uint32_t x, std::uint32_t y, unsigned levels) {
  return (x * 7 + y * 3 + 1) % levels;
}

std::array<std::uint8_t, 3> palette_rgb(std::size_t k) {
  return {static_cast<std::uint8_t>(255 - k), static_cast<std::uint8_t>(k * 5),
          static_cast<std::uint8_t>(k ^ 0x3C)};
}

Colour rgb_colour(std::array<std::uint8_t, 3> rgb) {
  return Colour{rgb[0]} << 16 | Colour{rgb[1]} << 8 | rgb[2];
}

PngImage palette_png(std::uint32_t w, std::uint32_t h, unsigned depth, std::size_t entries,
                     bool interlaced = false) {
  PngImage s{.width = w,
             .height = h,
             .colour_type = kPngPalette,
             .depth = depth,
             .interlaced = interlaced};
  for (std::size_t k = 0; k < entries; ++k) s.palette.push_back(palette_rgb(k));
  for (std::uint32_t y = 0; y < h; ++y) {
    for (std::uint32_t x = 0; x < w; ++x) {
      s.samples.push_back(
          static_cast<std::uint16_t>(level_at(x, y, static_cast<unsigned>(entries))));
    }
  }
  return s;
}

// Colour channels from the pixel's place; alpha, where there is one, `alpha`.
PngImage colour_png(std::uint32_t w, std::uint32_t h, unsigned type, unsigned depth,
                    unsigned alpha = 255, bool interlaced = false) {
  PngImage s{
      .width = w, .height = h, .colour_type = type, .depth = depth, .interlaced = interlaced};
  const unsigned levels = 1u << depth;
  for (std::uint32_t y = 0; y < h; ++y) {
    for (std::uint32_t x = 0; x < w; ++x) {
      const bool grey = type == kPngGrey || type == kPngGreyAlpha;
      for (unsigned c = 0; c < (grey ? 1u : 3u); ++c) {
        s.samples.push_back(static_cast<std::uint16_t>(level_at(x + c, y * (c + 1), levels)));
      }
      if (type == kPngGreyAlpha || type == kPngRgba)
        s.samples.push_back(static_cast<std::uint16_t>(alpha));
    }
  }
  return s;
}

// What the packer must make of `s`: its colours, bottom row first, each channel scaled to 8 bits
// as PNG says (v * 255 / (2^depth - 1)).
std::vector<Colour> expected_colours(const PngImage& s) {
  const unsigned channels = png_channels(s.colour_type);
  const unsigned top = (1u << s.depth) - 1;
  std::vector<Colour> out;
  for (std::uint32_t row = 0; row < s.height; ++row) {
    const std::uint32_t y = s.height - 1 - row;
    for (std::uint32_t x = 0; x < s.width; ++x) {
      const std::uint16_t* p = &s.samples[(std::size_t{y} * s.width + x) * channels];
      if (s.colour_type == kPngPalette) {
        out.push_back(rgb_colour(s.palette[p[0]]));
        continue;
      }
      const bool grey = s.colour_type == kPngGrey || s.colour_type == kPngGreyAlpha;
      Colour c = 0;
      for (unsigned k = 0; k < 3; ++k) c = c << 8 | (p[grey ? 0 : k] * 255 / top);
      out.push_back(c);
    }
  }
  return out;
}

std::vector<Colour> colours_read(const DecodedPicture& decoded) {
  if (const auto* tc = std::get_if<TrueColourPicture>(&decoded)) return tc->colours;
  const auto& indexed = std::get<IndexedPicture>(decoded);
  std::vector<Colour> out;
  for (const std::uint8_t index : indexed.picture.pixels) {
    const std::uint8_t* e = indexed.picture.palette.data() + 4 * index;
    out.push_back(Colour{e[2]} << 16 | Colour{e[1]} << 8 | e[0]);
  }
  return out;
}

TEST(PngInput, EveryColourTypeAndDepthComesBackAsWritten) {
  PngImage rgb_keyed = colour_png(6, 4, kPngRgb, 8);
  rgb_keyed.transparency = Bytes{0, 1, 0, 2, 0, 3};  // one colour transparent: dropped
  PngImage palette_keyed = palette_png(5, 3, 4, 16);
  palette_keyed.transparency = Bytes{0, 128};  // entries 0 and 1 see-through: dropped
  struct Case {
    const char* name;
    PngImage png;
  };
  const std::vector<Case> cases = {
      {"palette, 1 bit, 2 entries", palette_png(13, 5, 1, 2)},
      {"palette, 2 bits, 4 entries", palette_png(13, 5, 2, 4)},
      {"palette, 4 bits, 16 entries", palette_png(9, 7, 4, 16)},
      {"palette, 8 bits, 256 entries", palette_png(37, 11, 8, 256)},
      {"palette, 8 bits, 3 entries", palette_png(4, 4, 8, 3)},
      {"palette, 1 x 1", palette_png(1, 1, 8, 1)},
      {"palette, interlaced, 4 bits", palette_png(13, 11, 4, 16, true)},
      {"palette, interlaced, 3 x 2 (empty passes)", palette_png(3, 2, 8, 5, true)},
      {"palette, interlaced, 1 bit", palette_png(17, 9, 1, 2, true)},
      {"palette with tRNS", palette_keyed},
      {"grey, 1 bit", colour_png(11, 3, kPngGrey, 1)},
      {"grey, 2 bits", colour_png(11, 3, kPngGrey, 2)},
      {"grey, 4 bits, interlaced", colour_png(11, 9, kPngGrey, 4, 255, true)},
      {"grey, 8 bits", colour_png(11, 3, kPngGrey, 8)},
      {"grey and alpha, opaque", colour_png(5, 5, kPngGreyAlpha, 8, 255)},
      {"RGB", colour_png(7, 6, kPngRgb, 8)},
      {"RGB, interlaced", colour_png(10, 10, kPngRgb, 8, 255, true)},
      {"RGB with tRNS", rgb_keyed},
      {"RGBA, opaque", colour_png(7, 3, kPngRgba, 8, 255)},
      {"RGBA, alpha 0 everywhere (as BGRX bitmaps)", colour_png(7, 3, kPngRgba, 8, 0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const DecodedPicture decoded = read_png(png_file(c.png), false);
    EXPECT_EQ(std::holds_alternative<IndexedPicture>(decoded), c.png.colour_type == kPngPalette);
    if (const auto* indexed = std::get_if<IndexedPicture>(&decoded)) {
      EXPECT_EQ(indexed->colours, c.png.palette.size());
      Bytes indices;  // bottom row first
      for (std::uint32_t row = c.png.height; row-- > 0;) {
        for (std::uint32_t x = 0; x < c.png.width; ++x) {
          indices.push_back(static_cast<std::uint8_t>(c.png.samples[row * c.png.width + x]));
        }
      }
      EXPECT_EQ(indexed->picture.pixels, indices);
    }
    EXPECT_EQ(colours_read(decoded), expected_colours(c.png));
  }
}

// One chunk changed, the checksums made right again unless the change is the checksum.
Bytes with_chunk(const PngImage& s, const std::string& type, const Bytes& data) {
  std::vector<PngChunk> chunks = png_chunks(s);
  for (PngChunk& chunk : chunks) {
    if (chunk.type == type) chunk.data = data;
  }
  return png_from_chunks(chunks);
}

Bytes without_chunk(const PngImage& s, const std::string& type) {
  std::vector<PngChunk> chunks = png_chunks(s);
  std::erase_if(chunks, [&](const PngChunk& c) { return c.type == type; });
  return png_from_chunks(chunks);
}

Bytes header_of(std::uint32_t w, std::uint32_t h, unsigned depth, unsigned type) {
  return png_header_data(w, h, depth, type, false);
}

TEST(PngInput, RefusesMalformedFilesBeforeAllocatingFromThem) {
  const PngImage small = palette_png(13, 5, 8, 16);
  const Bytes good = png_file(small);
  const Bytes scanlines = png_scanlines(small);
  Bytes bad_crc = good;
  bad_crc[good.size() - 20] ^= 0x01;  // inside IDAT's stored data
  Bytes bad_adler = zlib_stored(scanlines);
  bad_adler.back() ^= 0x01;
  Bytes bad_block = zlib_stored(scanlines);
  bad_block[2] = 0x07;  // a block of the reserved type
  Bytes extra_rows = scanlines;
  extra_rows.insert(extra_rows.end(), scanlines.begin(), scanlines.end());
  // A stream of 400 KB that inflates to 64 MiB, far more than the header's sides allow.
  const Bytes bomb = zlib_zeros(std::size_t{64} << 20);
  PngImage past_palette = small;
  past_palette.samples[7] = 16;
  PngImage four_bits_past = palette_png(6, 2, 4, 3);
  four_bits_past.samples.back() = 15;
  // The largest sides an entry of the readers' buffers holds, and one row more.
  const std::uint32_t rows_fit = (688128 - 54) / 1024;
  struct Case {
    const char* name;
    Bytes file;
    std::string message;
    bool no_limits = false;
  };
  const std::vector<Case> cases = {
      {"the signature alone", Bytes(good.begin(), good.begin() + 8),
       "truncated: the PNG ends before its last chunk (IEND)"},
      {"cut inside IHDR", Bytes(good.begin(), good.begin() + 20),
       "truncated: its IHDR chunk runs past the end of the file"},
      {"cut inside IDAT", Bytes(good.begin(), good.end() - 30),
       "truncated: its IDAT chunk runs past the end of the file"},
      {"cut before IEND", Bytes(good.begin(), good.end() - 12),
       "truncated: the PNG ends before its last chunk (IEND)"},
      {"a wrong checksum", bad_crc, "malformed PNG: the checksum of its IDAT chunk is wrong"},
      {"a wrong zlib checksum", with_chunk(small, "IDAT", bad_adler),
       "malformed PNG: invalid ADLER32"},
      {"a damaged deflate block", with_chunk(small, "IDAT", bad_block),
       "malformed PNG: invalid deflate block"},
      {"more rows than the header says", with_chunk(small, "IDAT", zlib_stored(extra_rows)),
       "malformed PNG: its image data does not fit its width and height"},
      {"a stream inflating past the sides", with_chunk(small, "IDAT", bomb),
       "malformed PNG: its image data does not fit its width and height"},
      {"an index past the palette", png_file(past_palette),
       "malformed PNG: a pixel uses palette entry 16, past its palette of 16 colours"},
      {"a 4-bit index past a 3-entry palette", png_file(four_bits_past),
       "malformed PNG: a pixel uses palette entry 15, past its palette of 3 colours"},
      {"a palette picture without PLTE", without_chunk(small, "PLTE"),
       "malformed PNG: a palette picture without a palette (no PLTE chunk)"},
      {"no width", with_chunk(small, "IHDR", header_of(0, 5, 8, kPngPalette)),
       "malformed: it has no pixels"},
      {"no height", with_chunk(small, "IHDR", header_of(13, 0, 8, kPngPalette)),
       "malformed: it has no pixels"},
      {"16-bit grey", png_file(colour_png(3, 2, kPngGrey, 16)),
       "16 bits per channel, more than an entry keeps; save it with 8 bits per channel"},
      {"16-bit RGBA", png_file(colour_png(3, 2, kPngRgba, 16, 65535)),
       "16 bits per channel, more than an entry keeps; save it with 8 bits per channel"},
      {"alpha that varies", png_file([] {
         PngImage s = colour_png(3, 2, kPngRgba, 8);
         s.samples[7] = 254;
         return s;
       }()),
       "transparent: its alpha differs between pixels"},
      {"alpha the same along each row, another in the second row", png_file([] {
         PngImage s = colour_png(3, 2, kPngRgba, 8);
         for (std::size_t x = 0; x < 3; ++x) s.samples[(3 + x) * 4 + 3] = 254;
         return s;
       }()),
       "transparent: its alpha differs between pixels"},
      {"grey with alpha that varies", png_file([] {
         PngImage s = colour_png(3, 2, kPngGreyAlpha, 8);
         s.samples[5] = 254;  // the third pixel's
         return s;
       }()),
       "transparent: its alpha differs between pixels"},
      {"65536 pixels wide", with_chunk(small, "IHDR", header_of(65536, 1, 8, kPngPalette)),
       "larger than 65535 pixels on a side, which the converter cannot read"},
      {"as large as a 16-bit header claims",
       with_chunk(small, "IHDR", header_of(65535, 65535, 8, kPngPalette)),
       "would be at least 4294901814 bytes with 8 bits per pixel, more than its 24-bit size field "
       "can say (16777215)",
       true},
      {"one row past the readers' buffers",
       with_chunk(small, "IHDR", header_of(1024, rows_fit + 1, 8, kPngPalette)),
       "would be at least 688182 bytes with 8 bits per pixel, more than the 688128 that readers "
       "with fixed buffers hold (--no-limits packs it anyway)"},
      // Sides that fit: lodepng reads on and finds the data too short for them.
      {"as many rows as the buffers hold",
       with_chunk(small, "IHDR", header_of(1024, rows_fit, 8, kPngPalette)),
       "malformed PNG: its image data does not fit its width and height"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    reset_largest_allocation();
    reset_peak_resident();
    std::string message = "accepted";
    try {
      read_png(c.file, c.no_limits);
    } catch (const InputError& e) {
      message = e.what();
    }
    EXPECT_TRUE(message.starts_with(c.message)) << message;
    // Only lodepng's own buffers, made with malloc and bounded by the sides, may be larger.
    EXPECT_LT(largest_allocation(), std::size_t{1} << 16);
    // And those stay near the size of the sides, whatever the data inflates to.
    if (const auto growth = peak_resident_growth()) {
      EXPECT_LT(*growth, std::size_t{8} << 20);
    }
  }
}

// Palette pictures with --like: by index into a copy of the original where the palette is the
// original's, by colour with a warning where it is not.
TEST(PaletteLike, MatchingPalettesKeepIndicesAndEveryOtherByte) {
  // The original as the converter writes it: a 16-entry palette whose fourth bytes are set, a
  // gap before the rows, row padding and trailing bytes that no editor shows.
  constexpr std::uint32_t kW = 6, kH = 3, kEntries = 16, kGap = 5, kTail = 7;
  constexpr std::uint32_t kRows = 54 + 4 * kEntries + kGap, kStride = 8;
  Bytes original(kRows + kH * kStride + kTail);
  for (std::size_t k = 0; k < original.size(); ++k) original[k] = static_cast<std::uint8_t>(k * 31);
  const auto put = [&](std::size_t at, std::uint32_t v) {
    for (int b = 0; b < 4; ++b) original[at + b] = static_cast<std::uint8_t>(v >> (8 * b));
  };
  original[0] = 'B';
  original[1] = 'M';
  put(2, static_cast<std::uint32_t>(original.size()));
  put(10, kRows);
  put(14, 40);
  put(18, kW);
  put(22, kH);
  original[26] = 1;
  original[27] = 0;
  original[28] = 8;
  original[29] = 0;
  put(30, 0);
  put(46, kEntries);
  for (std::size_t k = 0; k < kEntries; ++k) {
    const auto rgb = palette_rgb(k);
    original[54 + 4 * k] = rgb[2];
    original[54 + 4 * k + 1] = rgb[1];
    original[54 + 4 * k + 2] = rgb[0];
  }
  // The same colour at entries 2 and 3: an index keeps telling them apart.
  std::copy_n(original.begin() + 54 + 8, 3, original.begin() + 54 + 12);
  // Its pixels use entries 0 to 3, which leaves 4 to 15 free for new colours.
  for (std::uint32_t row = 0; row < kH; ++row) {
    for (std::uint32_t x = 0; x < kW; ++x) {
      original[kRows + row * kStride + x] = static_cast<std::uint8_t>((x * 3 + row) % 4);
    }
  }

  // A picture of the original's sides, pixel (x, row from the bottom) = index (x + row) % 4.
  const auto picture_with = [&](std::size_t entries, const auto& colour_of) {
    IndexedPicture p;
    p.picture.width = kW;
    p.picture.height = kH;
    p.colours = entries;
    for (std::size_t k = 0; k < entries; ++k) {
      const auto rgb = colour_of(k);
      p.picture.palette[4 * k] = rgb[2];
      p.picture.palette[4 * k + 1] = rgb[1];
      p.picture.palette[4 * k + 2] = rgb[0];
    }
    for (std::uint32_t row = 0; row < kH; ++row) {
      for (std::uint32_t x = 0; x < kW; ++x) p.picture.pixels.push_back((x + row) % 4);
    }
    return p;
  };
  // The original's colours, and others past its 16 entries.
  const auto same = [&](std::size_t k) {
    if (k >= kEntries) return palette_rgb(k);
    return std::array<std::uint8_t, 3>{original[54 + 4 * k + 2], original[54 + 4 * k + 1],
                                       original[54 + 4 * k]};
  };
  // Entries 1 and 2 swapped.
  const auto swapped = [&](std::size_t k) { return same(k == 1 ? 2 : k == 2 ? 1 : k); };
  // Entry 0, the one a green key takes, another colour.
  const auto new_key = [&](std::size_t k) {
    return k == 0 ? std::array<std::uint8_t, 3>{1, 2, 3} : same(k);
  };
  // The picture's pixels by index in a copy of the original.
  const auto in_place = [&](const IndexedPicture& p) {
    Bytes out = original;
    for (std::uint32_t row = 0; row < kH; ++row) {
      for (std::uint32_t x = 0; x < kW; ++x)
        out[kRows + row * kStride + x] = p.picture.pixels[row * kW + x];
    }
    return out;
  };
  // One pixel on `entry`.
  const auto with_pixel_on = [](IndexedPicture p, std::uint8_t entry) {
    p.picture.pixels[5] = entry;
    return p;
  };

  struct Case {
    const char* name;
    IndexedPicture picture;
    std::string warning;  // its start; empty: none, and the picture went in by index
  };
  const std::vector<Case> cases = {
      {"the same palette", picture_with(kEntries, same), ""},
      {"a shorter palette (4 entries)", picture_with(4, same), ""},
      {"a longer palette, its extra entries unused", picture_with(256, same), ""},
      {"a shorter palette (4 entries), a pixel on entry 4", with_pixel_on(picture_with(4, same), 4),
       "its palette differs from the original entry's (a pixel uses palette entry 4, past its own "
       "4)"},
      {"a longer palette, a pixel on entry 15", with_pixel_on(picture_with(256, same), 15), ""},
      {"a longer palette, a pixel on entry 16", with_pixel_on(picture_with(256, same), 16),
       "its palette differs from the original entry's (a pixel uses palette entry 16, and the "
       "original has 16)"},
      {"a longer palette, a pixel on entry 20", with_pixel_on(picture_with(256, same), 20),
       "its palette differs from the original entry's (a pixel uses palette entry 20, and the "
       "original has 16)"},
      {"entries 1 and 2 swapped", picture_with(kEntries, swapped),
       "its palette differs from the original entry's (palette entry 1 is #"},
      {"entry 0 alone another colour", picture_with(kEntries, new_key),
       "its palette differs from the original entry's (palette entry 0 is #010203, the "
       "original's #"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const NormalisedPicture out = palette_entry_like(c.picture, original);
    EXPECT_TRUE(out.warning.starts_with(c.warning) && out.warning.empty() == c.warning.empty())
        << out.warning;
    if (c.warning.empty()) {
      EXPECT_EQ(out.bitmap, in_place(c.picture));
    }
    // Either way every pixel shows its colour, in a copy of the original.
    ASSERT_EQ(out.bitmap.size(), original.size());
    for (std::uint32_t row = 0; row < kH; ++row) {
      for (std::uint32_t x = 0; x < kW; ++x) {
        const std::uint8_t index = out.bitmap[kRows + row * kStride + x];
        const std::uint8_t wanted = c.picture.picture.pixels[row * kW + x];
        EXPECT_TRUE(std::equal(out.bitmap.begin() + 54 + 4 * index,
                               out.bitmap.begin() + 54 + 4 * index + 3,
                               c.picture.picture.palette.begin() + 4 * wanted));
      }
    }
  }
}

// The page's PNG of what the converter writes, read back: the chunks as PNG readers see them,
// and the picture through the packer's own reader. The palette is the bitmap's at the length its
// header says (256 for 0 or more than 256, no further than its rows' start), and on to the
// highest entry a pixel uses, so long as the file holds that entry.
TEST(PngOutput, ConvertedEntryAsPalettePngAndHalfWidthAsRgb) {
  // Pixels below `levels`, pixel 0 of the bottom row on `first` when given; `colours` palette
  // entries written, the colours-used field saying `said`, `gap` bytes before the rows.
  const auto bitmap = [](std::uint16_t w, std::uint16_t h, unsigned levels, std::uint32_t colours,
                         std::uint32_t said, std::size_t gap = 0, int first = -1) {
    varnu::tools::Picture picture = varnu::tools::draw_level_noise(w, h, levels, 7);
    if (first >= 0) picture.pixels[0] = static_cast<std::uint8_t>(first);
    Bytes b = varnu::tools::encode_bmp_form(picture, {.colours = colours});
    const std::size_t rows = 54 + 4 * std::size_t{colours};
    b.insert(b.begin() + static_cast<std::ptrdiff_t>(rows), gap, 0xEE);
    const auto put = [&](std::size_t at, std::size_t v) {
      for (int k = 0; k < 4; ++k) b[at + k] = static_cast<std::uint8_t>(v >> (8 * k));
    };
    put(2, b.size());
    put(10, rows + gap);
    put(46, said);
    return std::pair{b, picture};
  };
  struct Case {
    const char* name;
    std::pair<Bytes, varnu::tools::Picture> bitmap;
    std::size_t entries;  // in PLTE; 0: refused
  };
  const std::vector<Case> cases = {
      {"256 entries, colours-used 0", bitmap(13, 5, 256, 256, 0), 256},
      {"colours-used 300, room for more before the rows", bitmap(13, 5, 256, 256, 300, 8), 256},
      {"colours-used 16, a pixel on entry 15", bitmap(13, 5, 16, 17, 16, 0, 15), 16},
      {"colours-used 16, a pixel on entry 16", bitmap(13, 5, 16, 17, 16, 0, 16), 17},
      // 4 x 1 with 2 entries: 66 bytes, the row's 4 bytes where entry 2 would be.
      {"a pixel on entry 2, the last the file holds", bitmap(4, 1, 2, 2, 2, 0, 2), 3},
      {"a pixel on entry 3, past the end of the file", bitmap(4, 1, 2, 2, 2, 0, 3), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto& [bmp, picture] = c.bitmap;
    std::string refusal = "accepted";
    Bytes png;
    try {
      png = encode_palette_png(bmp);
    } catch (const InputError& e) {
      refusal = e.what();
    }
    if (c.entries == 0) {
      EXPECT_EQ(refusal,
                "not a whole picture: a pixel uses palette entry 3, past the end of the "
                "file");
      continue;
    }
    ASSERT_EQ(refusal, "accepted");
    // IHDR: the sides, 8 bits, colour type 3, not interlaced; PLTE: the entries in order; no
    // tRNS.
    const Bytes ihdr = header_of(picture.width, picture.height, 8, kPngPalette);
    EXPECT_TRUE(std::equal(ihdr.begin(), ihdr.end(), png.begin() + 16));
    Bytes plte = {0,
                  0,
                  static_cast<std::uint8_t>(3 * c.entries >> 8),
                  static_cast<std::uint8_t>(3 * c.entries),
                  'P',
                  'L',
                  'T',
                  'E'};
    for (std::size_t k = 0; k < c.entries; ++k) {
      plte.insert(plte.end(), {bmp[54 + 4 * k + 2], bmp[54 + 4 * k + 1], bmp[54 + 4 * k]});
    }
    EXPECT_NE(std::search(png.begin(), png.end(), plte.begin(), plte.end()), png.end());
    const std::string trns = "tRNS";
    EXPECT_EQ(std::search(png.begin(), png.end(), trns.begin(), trns.end()), png.end());
    // varnu-pack reads it back.
    try {
      const auto indexed = std::get<IndexedPicture>(read_png(png, false));
      EXPECT_EQ(indexed.picture.pixels, picture.pixels);
      EXPECT_EQ(indexed.colours, c.entries);
    } catch (const InputError& e) {
      ADD_FAILURE() << "read back: " << e.what();
    }
  }

  // A half-width bitmap as the converter writes it: 24 bits, rows padded, bottom row first.
  Bytes half(54 + 3 * 8, 0);
  half[0] = 'B';
  half[1] = 'M';
  half[2] = static_cast<std::uint8_t>(half.size());
  half[10] = 54;
  half[18] = 2;  // 2 x 3: rows of 6 bytes and 2 of padding
  half[22] = 3;
  half[28] = 24;
  for (std::size_t row = 0; row < 3; ++row) {
    for (std::size_t b = 0; b < 6; ++b)
      half[54 + row * 8 + b] = static_cast<std::uint8_t>(row * 16 + b);
  }
  const auto tc = std::get<TrueColourPicture>(read_png(encode_rgb_png(half), false));
  std::vector<Colour> expected;
  for (std::size_t row = 0; row < 3; ++row) {
    for (std::size_t x = 0; x < 2; ++x) {
      const std::uint8_t* bgr = half.data() + 54 + row * 8 + 3 * x;
      expected.push_back(Colour{bgr[2]} << 16 | Colour{bgr[1]} << 8 | bgr[0]);
    }
  }
  EXPECT_EQ(tc.colours, expected);

  const auto refusal = [](const Bytes& b, bool rgb) {
    try {
      rgb ? encode_rgb_png(b) : encode_palette_png(b);
    } catch (const InputError& e) {
      return std::string(e.what());
    }
    return std::string("accepted");
  };
  const Bytes& whole = cases.front().bitmap.first;
  Bytes no_width = whole;
  no_width[18] = 0;
  Bytes rows_outside = whole;
  rows_outside.resize(whole.size() - 1);
  EXPECT_EQ(refusal(Bytes(whole.begin(), whole.begin() + 53), false),
            "not a picture: its headers are cut short");
  EXPECT_EQ(refusal(no_width, false), "it has no pixels, which a PNG cannot hold");
  EXPECT_EQ(refusal(rows_outside, false),
            "not a whole picture: its rows end past the end of the file");
  EXPECT_EQ(refusal(whole, true), "not a 24-bit bitmap");
}

}  // namespace
