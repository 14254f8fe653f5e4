// The packer's readers of what editors save: run-length streams, true-colour pictures and the
// colour rules that give them palette indices, and the --like reader's allocations. Expected
// pixels and bytes are written out in each table or made by tools/ writers, never by the
// readers under test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "pack/picture/colour_map.hpp"
#include "pack/like/original.hpp"
#include "pack/picture/picture_input.hpp"
#include "pack/picture/rle.hpp"
#include "pack/picture/true_colour_entry.hpp"
#include "tests/support/largest_allocation.hpp"
#include "tools/editor_forms.hpp"
#include "tools/picture.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace varnu::pack;
using namespace varnu::tools;

void put_u16(Bytes& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put_u32(Bytes& out, std::uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

// A bitmap file with a 40-byte header, `palette_entries` entries of (k, k, k, 0) and then
// `pixels` as they are.
Bytes bitmap_file(unsigned bits, std::int32_t width, std::int32_t height, std::uint32_t compression,
                  const Bytes& pixels, std::uint32_t palette_entries = 0) {
  const std::uint32_t offset = 14 + 40 + 4 * palette_entries;
  Bytes out = {'B', 'M'};
  put_u32(out, offset + static_cast<std::uint32_t>(pixels.size()));
  put_u32(out, 0);
  put_u32(out, offset);
  put_u32(out, 40);
  put_u32(out, static_cast<std::uint32_t>(width));
  put_u32(out, static_cast<std::uint32_t>(height));
  put_u16(out, 1);
  put_u16(out, bits);
  put_u32(out, compression);
  for (int k = 0; k < 5; ++k) put_u32(out, 0);
  for (std::uint32_t k = 0; k < palette_entries; ++k) {
    out.insert(out.end(), {static_cast<std::uint8_t>(k), static_cast<std::uint8_t>(k),
                           static_cast<std::uint8_t>(k), 0});
  }
  out.insert(out.end(), pixels.begin(), pixels.end());
  return out;
}

// The colour (0xRRGGBB) of every pixel of an entry-form bitmap, bottom row first.
std::vector<Colour> colours_of(const Bytes& bmp) {
  const std::size_t offset = bmp[10] | bmp[11] << 8 | bmp[12] << 16;
  const std::size_t width = bmp[18] | bmp[19] << 8;
  const std::size_t height = bmp[22] | bmp[23] << 8;
  const std::size_t stride = (width + 3) & ~std::size_t{3};
  std::vector<Colour> out;
  for (std::size_t y = 0; y < height; ++y) {
    for (std::size_t x = 0; x < width; ++x) {
      const std::size_t entry = 54 + 4 * std::size_t{bmp.at(offset + y * stride + x)};
      out.push_back(Colour{bmp.at(entry + 2)} << 16 | Colour{bmp.at(entry + 1)} << 8 |
                    bmp.at(entry));
    }
  }
  return out;
}

std::vector<Colour> colours_of(const Picture& picture) {
  return colours_of(encode_bmp(picture));
}

// The indices of an entry-form bitmap, bottom row first.
Bytes indices_of(const Bytes& bmp) {
  const std::size_t offset = bmp[10] | bmp[11] << 8 | bmp[12] << 16;
  const std::size_t width = bmp[18] | bmp[19] << 8;
  const std::size_t height = bmp[22] | bmp[23] << 8;
  const std::size_t stride = (width + 3) & ~std::size_t{3};
  Bytes out;
  for (std::size_t y = 0; y < height; ++y) {
    const auto row = bmp.begin() + static_cast<std::ptrdiff_t>(offset + y * stride);
    out.insert(out.end(), row, row + static_cast<std::ptrdiff_t>(width));
  }
  return out;
}

std::string refusal(const Bytes& file, const LikeBitmap& like = {}) {
  try {
    normalise_bitmap(file, like);
  } catch (const InputError& e) {
    return e.what();
  }
  return "accepted";
}

// Every escape of both run-length forms, on small pictures; rows bottom first, skipped pixels 0.
TEST(RleInput, DecodesEveryEscape) {
  struct Case {
    const char* name;
    unsigned bits;
    std::uint16_t width;
    std::uint16_t height;
    Bytes stream;
    Bytes pixels;
  };
  const std::vector<Case> cases = {
      {"runs and row ends", 8, 3, 2, {3, 7, 0, 0, 2, 9, 1, 4, 0, 0, 0, 1}, {7, 7, 7, 9, 9, 4}},
      {"a row ended early leaves zeros", 8, 3, 2, {1, 5, 0, 0, 1, 6, 0, 1}, {5, 0, 0, 6, 0, 0}},
      {"the picture ended early leaves zeros", 8, 2, 2, {2, 8, 0, 1}, {8, 8, 0, 0}},
      {"a move right and up", 8, 3, 3, {1, 1, 0, 2, 1, 1, 1, 2, 0, 1}, {1, 0, 0, 0, 0, 2, 0, 0, 0}},
      {"a move to the row's end", 8, 2, 2, {0, 2, 2, 0, 0, 0, 1, 3, 0, 1}, {0, 0, 3, 0}},
      {"literal run of odd length, padded",
       8,
       3,
       2,
       {0, 3, 4, 5, 6, 0, 0, 0, 1, 9, 0, 1},
       {4, 5, 6, 9, 0, 0}},
      {"literal run of even length", 8, 4, 1, {0, 4, 1, 2, 3, 4, 0, 1}, {1, 2, 3, 4}},
      // Editors encode the row's padding as pixels; they are dropped.
      {"a run into the padding, up to it exactly", 8, 3, 1, {4, 6, 0, 0, 0, 1}, {6, 6, 6}},
      {"RLE4 runs alternate two indices", 4, 5, 1, {5, 0x1A, 0, 1}, {1, 10, 1, 10, 1}},
      {"RLE4 literal of odd length, padded to a 16-bit boundary",
       4,
       5,
       1,
       {0, 5, 0x12, 0x34, 0x50, 0, 0, 1},
       {1, 2, 3, 4, 5}},
      {"RLE4 literal of 3 indices in 2 bytes", 4, 3, 1, {0, 3, 0xAB, 0xC0, 0, 1}, {10, 11, 12}},
      {"RLE4 run into the padding, up to it exactly", 4, 5, 1, {8, 0x77, 0, 1}, {7, 7, 7, 7, 7}},
      {"RLE4 move", 4, 3, 2, {0, 2, 1, 1, 1, 0xF0, 0, 1}, {0, 0, 0, 0, 15, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes pixels(std::size_t{c.width} * c.height, 0);
    decode_rle(c.stream, c.bits, c.width, c.height, pixels);
    EXPECT_EQ(pixels, c.pixels);
  }
}

// Every way a stream can leave its picture or end too soon is refused as malformed.
TEST(RleInput, RefusesMalformedStreams) {
  struct Case {
    const char* name;
    unsigned bits;
    std::uint16_t width;
    std::uint16_t height;
    Bytes stream;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {"a run one past the padded row", 8, 3, 1, {5, 6, 0, 1}, "a run passes the end of row 0"},
      {"a run on after a full row", 8, 4, 1, {4, 6, 1, 6, 0, 1}, "a run passes the end of row 0"},
      {"a literal past the padded row",
       8,
       2,
       1,
       {0, 5, 1, 2, 3, 4, 5, 0, 0, 1},
       "a run passes the end of row 0"},
      {"a run past the last row", 8, 2, 1, {2, 1, 0, 0, 1, 1, 0, 1}, "it runs past the last row"},
      {"a row ended past the last one",
       8,
       2,
       1,
       {0, 0, 0, 0, 0, 1},
       "it ends a row past the last one"},
      {"a move past the padded row",
       8,
       3,
       2,
       {0, 2, 5, 0, 0, 1},
       "a move leaves the picture at row 0"},
      {"a move onto the row above the last",
       8,
       3,
       2,
       {0, 2, 0, 2, 0, 1},
       "a move leaves the picture at row 0"},
      {"no end-of-picture mark",
       8,
       2,
       1,
       {2, 1, 0, 0},
       "it is cut short before its end-of-picture mark"},
      {"empty", 8, 2, 1, {}, "it is cut short before its end-of-picture mark"},
      {"cut inside a pair", 8, 2, 1, {2}, "it is cut short before its end-of-picture mark"},
      {"cut inside a move", 8, 2, 2, {0, 2, 1}, "it is cut short before its end-of-picture mark"},
      {"cut inside a literal", 8, 4, 1, {0, 4, 1, 2, 3}, "it is cut short inside a literal run"},
      {"cut in a literal's padding",
       8,
       3,
       1,
       {0, 3, 1, 2, 3},
       "it is cut short before its end-of-picture mark"},
      {"RLE4 run one past the padded row",
       4,
       5,
       1,
       {9, 0x11, 0, 1},
       "a run passes the end of row 0"},
      {"RLE4 literal cut short",
       4,
       8,
       1,
       {0, 8, 0x12, 0x34, 0x56},
       "it is cut short inside a literal run"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes pixels(std::size_t{c.width} * c.height, 0);
    const std::string expected =
        std::string("malformed ") + (c.bits == 8 ? "RLE8" : "RLE4") + " stream: " + c.reason;
    try {
      decode_rle(c.stream, c.bits, c.width, c.height, pixels);
      ADD_FAILURE() << "accepted";
    } catch (const InputError& e) {
      EXPECT_EQ(e.what(), expected);
    }
  }
}

// Run-length files as the tools/ writer makes them come back with the same pixels and colours.
TEST(RleInput, FilesComeBackWithTheirPixels) {
  struct Case {
    const char* name;
    unsigned bits;
    Picture picture;
  };
  Picture odd = draw_checkerboard(13, 7, 3);
  for (auto& p : odd.pixels) p %= 16;
  const std::vector<Case> cases = {
      {"RLE8, line art", 8, draw_line_art(37, 21)},
      {"RLE8, noise", 8, draw_noise(19, 6, 4)},
      {"RLE4, odd width", 4, odd},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes out = normalise_bitmap(encode_rle_bmp(c.picture, c.bits));
    EXPECT_EQ(indices_of(out), c.picture.pixels);
    EXPECT_EQ(colours_of(out), colours_of(c.picture));
  }
}

// A picture of 256 colours or fewer, in each true-colour form, comes back with its colours; its
// palette holds them in the order they first appear from the top-left.
TEST(TrueColourInput, EveryFormComesBackWithItsColours) {
  const Picture picture = draw_noise(11, 5, 9);  // rows padded in every depth
  struct Case {
    const char* name;
    TrueColourForm form;
  };
  const std::vector<Case> cases = {
      {"24-bit", {}},
      {"24-bit top-down", {.top_down = true}},
      {"24-bit, V5 header", {.info_size = 124}},
      {"32-bit, alpha all 255", {.bits = 32}},
      {"32-bit, alpha all 0 (BGRX)", {.bits = 32, .alpha = 0}},
      {"32-bit, alpha all 128", {.bits = 32, .alpha = 128}},
      {"32-bit bit fields after a 40-byte header", {.bits = 32, .bit_fields = true}},
      {"32-bit bit fields, V4 header", {.bits = 32, .info_size = 108, .bit_fields = true}},
      {"32-bit bit fields, V5 header, top-down",
       {.bits = 32, .info_size = 124, .bit_fields = true, .top_down = true}},
      {"32-bit bit fields, colours in the high bytes, alpha in the low one",
       {.bits = 32,
        .info_size = 124,
        .bit_fields = true,
        .masks = {0x0000FF00, 0x00FF0000, 0xFF000000, 0x000000FF}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes out = normalise_bitmap(encode_true_colour_bmp(picture, c.form));
    EXPECT_EQ(colours_of(out), colours_of(picture));
    // Resolution fields as the file had them.
    EXPECT_EQ(Bytes(out.begin() + 38, out.begin() + 46),
              Bytes({0xC4, 0x0E, 0, 0, 0xC4, 0x0E, 0, 0}));
  }

  // Colours first met at the top-left come first, bottom row stored first.
  Picture two_rows;
  two_rows.width = 3;
  two_rows.height = 2;
  two_rows.pixels = {2, 1, 2, /* top: */ 3, 3, 2};
  const std::uint8_t palette[] = {0, 0, 0, 0, 10, 20, 30, 0, 40, 50, 60, 0, 70, 80, 90, 0};
  std::copy(std::begin(palette), std::end(palette), two_rows.palette.begin());
  const Bytes out = normalise_bitmap(encode_true_colour_bmp(two_rows, {}));
  EXPECT_EQ(Bytes(out.begin() + 54, out.begin() + 54 + 16),
            Bytes({70, 80, 90, 0, 40, 50, 60, 0, 10, 20, 30, 0, 0, 0, 0, 0}));
  EXPECT_EQ(indices_of(out), Bytes({1, 2, 1, 0, 0, 1}));
}

// What cannot become an entry without changing a colour is refused, saying what to save.
TEST(TrueColourInput, RefusesWhatWouldChangeColours) {
  const Picture small = draw_gradient(4, 3);
  // 16 x 17 pixels: every one of the 256 distinct colours of the gradient palette, then 16
  // pixels of entry 0.
  Picture many = draw_gradient(16, 17);
  for (std::size_t k = 0; k < many.pixels.size(); ++k) {
    many.pixels[k] = static_cast<std::uint8_t>(k < 256 ? k : 0);
  }
  Bytes tc257 = encode_true_colour_bmp(many, {});
  // Pixel 256, the first of the top row, becomes a colour no entry has (blue is the index and
  // entry 1's green and red are not these).
  const std::size_t pixel_256 = 54 + 16 * 48;
  tc257[pixel_256] = 1;
  tc257[pixel_256 + 1] = 0xA5;
  tc257[pixel_256 + 2] = 0x5A;
  const auto masked = encode_true_colour_bmp(small, {.bits = 32, .bit_fields = true});
  Bytes short_rows = encode_true_colour_bmp(small, {});
  short_rows.pop_back();
  Bytes rows_in_headers = encode_true_colour_bmp(small, {});
  rows_in_headers[10] = 53;

  struct Case {
    const char* name;
    Bytes file;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"exactly 256 colours", encode_true_colour_bmp(many, {}), "accepted"},
      {"257 colours", tc257,
       "has 257 colours, more than the 256 a palette holds; reduce it to 256 colours or fewer in "
       "an image editor, save it as an 8-bit bitmap, or pack with --remap"},
      {"one pixel's alpha differs",
       encode_true_colour_bmp(small, {.bits = 32, .translucent_pixel = 5}),
       "transparent: its alpha differs between pixels, and an entry has no transparency but its "
       "green key; save it without alpha, as a 24-bit bitmap"},
      {"16-bit", bitmap_file(16, 2, 1, 0, {0, 0, 0, 0}),
       "16-bit bitmap, whose colours would have to change to fit; save it as a 24-bit bitmap, or "
       "an 8-bit one of 256 colours or fewer"},
      {"10-bit bit fields",
       encode_true_colour_bmp(small, {.bits = 32,
                                      .info_size = 108,
                                      .bit_fields = true,
                                      .masks = {0x3FF00000, 0x000FFC00, 0x000003FF, 0}}),
       "bit fields other than 8 bits a colour (masks 0x3FF00000, 0x000FFC00, 0x000003FF); save "
       "it as a 24-bit bitmap, or an 8-bit one of 256 colours or fewer"},
      {"two colours in one byte",
       encode_true_colour_bmp(small, {.bits = 32,
                                      .info_size = 108,
                                      .bit_fields = true,
                                      .masks = {0x000000FF, 0x0000FF00, 0x000000FF, 0}}),
       "bit fields other than 8 bits a colour (masks 0x000000FF, 0x0000FF00, 0x000000FF); save "
       "it as a 24-bit bitmap, or an 8-bit one of 256 colours or fewer"},
      {"24-bit bit fields", bitmap_file(24, 1, 1, 3, {1, 2, 3, 0}),
       "24-bit bitmap compressed as bit fields; save it as a 24-bit bitmap, or an 8-bit one of "
       "256 colours or fewer"},
      {"RLE8 on a 24-bit picture", bitmap_file(24, 1, 1, 1, {1, 2, 3, 0}),
       "24-bit bitmap compressed as RLE8; save it as a 24-bit bitmap, or an 8-bit one of 256 "
       "colours or fewer"},
      {"RLE4 on an 8-bit picture", bitmap_file(8, 1, 1, 2, {1, 2, 0, 1}, 256),
       "8-bit bitmap compressed as RLE4; save it as a 24-bit bitmap, or an 8-bit one of 256 "
       "colours or fewer"},
      {"RLE8 top-down", bitmap_file(8, 1, -1, 1, {1, 2, 0, 1}, 256),
       "malformed: RLE8 rows stored top-down, which bitmaps do not allow"},
      {"RLE4 top-down", bitmap_file(4, 1, -1, 2, {1, 2, 0, 1}, 16),
       "malformed: RLE4 rows stored top-down, which bitmaps do not allow"},
      {"rows one byte short", short_rows, "truncated: its rows end at byte 90, the file has 89"},
      {"rows overlapping the headers", rows_in_headers, "malformed: its rows overlap its headers"},
      {"masks cut short", Bytes(masked.begin(), masked.begin() + 65), "truncated inside its masks"},
      {"masks all there, rows cut short", Bytes(masked.begin(), masked.begin() + 66),
       "truncated: its rows end at byte 114, the file has 66"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(refusal(c.file), c.message);
  }
}

// The colour rules of --like on a palette that repeats a colour and has entries no pixel uses.
TEST(ColourMap, OntoAnOriginalPalette) {
  constexpr Colour kRed = 0xFF0000, kBlue = 0x0000FF, kGrey = 0x808080, kNewA = 0x123456,
                   kNewB = 0x654321, kNewC = 0x0A0B0C, kGreen = 0x00FF00;
  // Entry 0 green (unused), 1 red, 2 blue, 3 red again, 4 grey (unused), 5 blue (unused).
  const std::vector<Colour> palette = {kGreen, kRed, kBlue, kRed, kGrey, kBlue};
  std::bitset<varnu::kPaletteEntries> used;
  used.set(1).set(2).set(3);
  const Bytes original = {1, 3, 2, 3};  // four pixels, in the picture's order

  struct Case {
    const char* name;
    std::vector<Colour> picture;  // four pixels unless said
    bool same_sides;
    std::size_t capacity;
    Bytes indices;
    std::vector<std::pair<std::uint8_t, Colour>> entries;
    std::string refusal;
  };
  const std::vector<Case> cases = {
      {"unchanged pixels keep their index where the palette repeats a colour",
       {kRed, kRed, kBlue, kRed},
       true,
       6,
       {1, 3, 2, 3},
       {},
       ""},
      {"a colour in the palette takes its lowest index",
       {kBlue, kRed, kRed, kGreen},
       true,
       6,
       {2, 3, 1, 0},
       {},
       ""},
      {"an unused entry's colour is found there",
       {kGrey, kRed, kBlue, kRed},
       true,
       6,
       {4, 3, 2, 3},
       {},
       ""},
      // Entry 4 holds grey for a pixel, so the new colour takes 5, never 0.
      {"a new colour takes the lowest entry no pixel uses, never 0",
       {kGrey, kNewA, kBlue, kRed},
       true,
       6,
       {4, 5, 2, 3},
       {{5, kNewA}},
       ""},
      {"new colours as many as free entries, in order from the top-left",
       {kNewA, kNewB, kRed, kNewB},
       true,
       6,
       {5, 4, 1, 4},
       {{4, kNewB}, {5, kNewA}},
       ""},
      {"one new colour more than free entries",
       {kNewA, kNewB, kNewC, kRed},
       true,
       6,
       {},
       {},
       "has 3 colours not in the original entry's palette, but only 2 palette entries free (used "
       "by no pixel of the original, and not entry 0); reduce the new colours to that many, or "
       "pack with --remap to map them onto the palette"},
      {"in a fresh bitmap the entries past the palette are free too",
       {kNewA, kNewB, kNewC, kRed, kRed, kNewA},
       false,
       256,
       {4, 5, 6, 1, 1, 4},
       {{4, kNewA}, {5, kNewB}, {6, kNewC}},
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TrueColourPicture picture;
    picture.width = static_cast<std::uint16_t>(c.picture.size() / 2);
    picture.height = 2;
    picture.colours = c.picture;
    PaletteTarget target{.palette = palette, .capacity = c.capacity, .used = used};
    if (c.same_sides) target.indices = original;
    try {
      const MappedPicture mapped = map_onto_palette(picture, target);
      EXPECT_EQ(c.refusal, "");
      EXPECT_EQ(mapped.indices, c.indices);
      EXPECT_EQ(mapped.entries, c.entries);
    } catch (const InputError& e) {
      EXPECT_EQ(e.what(), c.refusal);
    }
  }
}

// --like writes the picture into a copy of the converted entry: only indices and new palette
// colours change, a short palette, gaps and trailing bytes stay; other sides get a fresh bitmap.
TEST(ColourMap, IntoACopyOfTheOriginal) {
  // 3 x 2 pixels, palette of 4 entries (colours used 4), a 4-byte gap, rows, 3 trailing bytes.
  Bytes original = bitmap_file(8, 3, 2, 0, {}, 4);
  original[46] = 4;
  original.insert(original.end(), {0xA1, 0xA2, 0xA3, 0xA4});
  original[10] += 4;
  original.insert(original.end(), {1, 2, 1, 0xEE, 2, 2, 1, 0xEE, 0x77, 0x78, 0x79});
  original[2] = static_cast<std::uint8_t>(original.size());
  // Palette: (0,0,0) (1,1,1) (2,2,2) (3,3,3): entries 0 and 3 unused.
  Picture edited;
  edited.width = 3;
  edited.height = 2;
  edited.pixels = {1, 2, 3, 2, 2, 1};
  edited.palette[4] = edited.palette[5] = edited.palette[6] = 1;
  edited.palette[8] = edited.palette[9] = edited.palette[10] = 2;
  edited.palette[12] = 0x30;  // a new colour: blue 0x30
  const TrueColourPicture picture = [&] {
    Bytes file = encode_true_colour_bmp(edited, {});
    return read_true_colour(
        file, BmpHeader{.pixel_offset = 54, .info_size = 40, .width = 3, .height = 2, .bits = 24});
  }();

  Bytes expected = original;
  expected[54 + 4 * 3] = 0x30;  // entry 3 takes the new colour; its fourth byte stays
  expected[54 + 4 * 3 + 1] = 0;
  expected[54 + 4 * 3 + 2] = 0;
  expected[54 + 16 + 4 + 2] = 3;  // the third pixel of the bottom row
  EXPECT_EQ(entry_like(picture, original).bitmap, expected);

  // Other sides: the original's four entries in a fresh bitmap, the new colour in entry 3.
  Picture wide = edited;
  wide.width = 2;
  wide.height = 3;
  const TrueColourPicture other = [&] {
    Bytes file = encode_true_colour_bmp(wide, {});
    return read_true_colour(
        file, BmpHeader{.pixel_offset = 54, .info_size = 40, .width = 2, .height = 3, .bits = 24});
  }();
  Picture fresh = wide;
  std::fill(fresh.palette.begin(), fresh.palette.end(), 0);
  for (int k = 0; k < 3; ++k) std::fill_n(fresh.palette.begin() + 4 * k, 3, k);
  fresh.palette[12] = 0x30;
  EXPECT_EQ(entry_like(other, original).bitmap, encode_bmp(fresh));
}

// Readers allocate from what a file holds, not from what it says.
TEST(InputAllocation, SizedByWhatTheFileHolds) {
  constexpr std::size_t kSmall = 64 * 1024;
  const auto archive_of = [](std::initializer_list<std::uint8_t> tail) {
    Bytes out = {'v', 'a', 'z', 'm', 'u', 'r', 0, 0};
    out.insert(out.end(), tail);
    return out;
  };
  struct Case {
    const char* name;
    Bytes bytes;
    bool archive;  // for --like, else a bitmap
    std::string message;
  };
  const std::vector<Case> cases = {
      {"a 12-byte archive whose length says 16 MiB - 1", archive_of({0xFF, 0xFF, 0xFF, 0}), true,
       "entry 0 is cut short"},
      {"a length one past the bytes there", archive_of({3, 0, 0, 0, 0x11, 0x22}), true,
       "entry 0 is cut short"},
      {"a header cut short at the end", archive_of({3, 0}), true, "entry 0 is cut short"},
      {"a run-length bitmap claiming 65535 x 65535 pixels",
       bitmap_file(8, 65535, 65535, 1, {0, 1}, 256), false,
       "would be 4294902838 bytes with 8 bits per pixel, more than its 24-bit size field can say "
       "(16777215)"},
      {"a true-colour bitmap whose rows are not there", bitmap_file(24, 4000, 1000, 0, {1, 2, 3}),
       false, "truncated: its rows end at byte 12000054, the file has 57"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    varnu::testing::reset_largest_allocation();
    std::string message = "accepted";
    try {
      if (c.archive) {
        std::istringstream in(std::string(c.bytes.begin(), c.bytes.end()));
        read_original_archive(in);
      } else {
        normalise_bitmap(c.bytes);
      }
    } catch (const InputError& e) {
      message = e.what();
    }
    EXPECT_EQ(message, c.message);
    EXPECT_LT(varnu::testing::largest_allocation(), kSmall);
  }
}

}  // namespace
