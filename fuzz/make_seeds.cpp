// make-seeds DIR: writes the starting corpora of the fuzz targets, DIR/archive/, DIR/lzss/,
// DIR/pack_input/ and DIR/patch/, from pictures drawn and packed by the project's own tools.
// Everything is small, so that each input runs fast and mutations land on the parts that matter.
#include <cstdint>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "fuzz/patch_original.hpp"
#include "pack/encoder/lzss_pack.hpp"
#include "pack/picture/png_output.hpp"
#include "patch/matcher.hpp"
#include "patch/vcdiff_writer.hpp"
#include "tests/support/png_writer.hpp"
#include "tools/archive.hpp"
#include "tools/editor_forms.hpp"
#include "tools/picture.hpp"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using namespace varnu::pack;
using namespace varnu::tools;

// The archive target's control byte: bit 0 half-width.
constexpr std::uint8_t kPlain = 0;
constexpr std::uint8_t kHalfWidth = 1;

Bytes with_prefix(std::initializer_list<std::uint8_t> prefix, const Bytes& rest) {
  Bytes out(prefix);
  out.insert(out.end(), rest.begin(), rest.end());
  return out;
}

void write_archive_seed(const fs::path& dir, const std::string& name, std::uint8_t control,
                        const Bytes& archive) {
  write_file((dir / name).string(), with_prefix({control}, archive));
}

// The decoder target reads the buffer's starting size (little-endian) and a pattern seed first.
void write_lzss_seed(const fs::path& dir, const std::string& name, std::uint16_t size_before,
                     const Bytes& payload) {
  const auto low = static_cast<std::uint8_t>(size_before);
  const auto high = static_cast<std::uint8_t>(size_before >> 8);
  write_file((dir / name).string(), with_prefix({low, high, 0x5A}, payload));
}

Bytes packed(const Picture& picture) {
  return pack_entry_payload(picture);
}

void write_archive_seeds(const fs::path& dir) {
  struct Archive {
    std::string name;
    Bytes bytes;
  };
  const Bytes gradient = packed(draw_gradient(16, 8));
  const Bytes keyed = packed(draw_green_keyed(9, 5));  // odd width, stored upside down
  const Bytes board = packed(draw_checkerboard(13, 7, 3));
  const Bytes line_art = packed(draw_line_art(20, 12));
  const Bytes noise = packed(draw_noise(7, 3, 11));
  const Bytes pixel = packed(draw_gradient(1, 1));
  const Bytes no_width = packed(draw_gradient(0, 4));
  const Bytes sprite = packed(draw_sprite(5));
  // A tiny picture whose size field claims 320 KiB: its file is mostly what the buffer held.
  const Bytes oversized = [] {
    Bytes file = encode_bmp(draw_gradient(4, 2));
    file[2] = 0x00;
    file[3] = 0x00;
    file[4] = 0x05;
    return lzss_pack(file);
  }();
  const Bytes three_entries = build_archive({board, keyed, line_art}, false);

  const std::vector<Archive> archives = {
      {"gradient", build_archive({gradient})},
      {"green-keyed", build_archive({keyed})},
      {"three-entries-unpadded", three_entries},
      {"two-entries-padded", build_archive({noise, gradient}, true)},
      {"one-pixel", build_archive({pixel}, false)},
      {"no-width", build_archive({no_width})},
      // Cut inside the second entry's payload.
      {"truncated", Bytes(three_entries.begin(), three_entries.begin() + 2048 + 40)},
  };
  for (const Archive& archive : archives) {
    write_archive_seed(dir, archive.name + "-plain", kPlain, archive.bytes);
    write_archive_seed(dir, archive.name + "-half", kHalfWidth, archive.bytes);
  }
  write_archive_seed(dir, "sprite-half", kHalfWidth, build_archive({sprite}));
  write_archive_seed(dir, "oversized-plain", kPlain, build_archive({gradient, oversized}));
  // A green-keyed picture whose stream stops 60 bytes short: its file takes the rest of its rows
  // from the entry before it, and turns them over.
  Bytes cut = encode_bmp(draw_green_keyed(20, 12));
  cut.resize(cut.size() - 60);
  write_archive_seed(dir, "borrowing-plain", kPlain, build_archive({line_art, lzss_pack(cut)}));
}

void write_lzss_seeds(const fs::path& dir) {
  struct Stream {
    std::string name;
    Bytes payload;
  };
  const Bytes repeated_text = [] {
    Bytes text;
    for (int k = 0; k < 40; ++k) {
      for (char c : std::string("ring buffer ")) text.push_back(static_cast<std::uint8_t>(c));
    }
    return text;
  }();
  const std::vector<Stream> streams = {
      {"empty", {}},
      // A lone flag byte: its first item is a match read from the zeros past the end.
      {"flag-only", {0x00}},
      {"eight-literals", {0xFF, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'}},
      {"literal-group-then-one", {0xFF, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0x01, 'i'}},
      // Two literals, then an 18-byte match on the first one's position repeats them.
      {"self-overlapping-match", {0x03, 'A', 'B', 0xEE, 0xFF}},
      {"match-into-zero-ring", {0x00, 0x00, 0x0F}},
      // A match on the position about to be written: 4096 bytes back.
      {"match-on-write-position", {0x01, 'Q', 0xEF, 0xF5}},
      {"match-cut-short", {0x01, 'Z', 0x10}},
      {"packed-text", lzss_pack(repeated_text)},
      {"packed-gradient", packed(draw_gradient(16, 8))},
      {"packed-green-keyed", packed(draw_green_keyed(9, 5))},
      {"packed-noise", packed(draw_noise(12, 10, 3))},
      {"packed-sprite", packed(draw_sprite(5))},
  };
  // Buffers smaller than, about as large as, and larger than what the streams decode to.
  for (const Stream& stream : streams) {
    write_lzss_seed(dir, stream.name + "-empty-buffer", 0, stream.payload);
    write_lzss_seed(dir, stream.name + "-small-buffer", 24, stream.payload);
    write_lzss_seed(dir, stream.name + "-large-buffer", 6000, stream.payload);
  }
}

// A palette PNG of the picture by the tests' own writer: `entries` palette entries, `depth`
// bits a pixel.
Bytes palette_png(const Picture& picture, std::size_t entries, unsigned depth,
                  bool interlaced = false) {
  varnu::testing::PngImage png{
      .width = picture.width, .height = picture.height, .depth = depth, .interlaced = interlaced};
  for (std::size_t k = 0; k < entries; ++k) {
    const std::uint8_t* bgr = picture.palette.data() + 4 * k;
    png.palette.push_back({bgr[2], bgr[1], bgr[0]});
  }
  // Pictures keep their bottom row first; PNG the top row.
  for (std::size_t y = picture.height; y-- > 0;) {
    for (std::size_t x = 0; x < picture.width; ++x) {
      png.samples.push_back(picture.pixels[y * picture.width + x]);
    }
  }
  return varnu::testing::png_file(png);
}

// The same picture by colour, as `type` (grey, RGB, grey and alpha, RGBA) holds it.
Bytes colour_png(const Picture& picture, unsigned type, unsigned depth = 8,
                 bool interlaced = false) {
  using namespace varnu::testing;
  PngImage png{.width = picture.width,
               .height = picture.height,
               .colour_type = type,
               .depth = depth,
               .interlaced = interlaced};
  for (std::size_t y = picture.height; y-- > 0;) {
    for (std::size_t x = 0; x < picture.width; ++x) {
      const std::uint8_t* bgr = picture.palette.data() + 4 * picture.pixels[y * picture.width + x];
      const bool grey = type == kPngGrey || type == kPngGreyAlpha;
      if (grey) png.samples.push_back(static_cast<std::uint16_t>(bgr[1] >> (8 - depth)));
      if (!grey) png.samples.insert(png.samples.end(), {bgr[2], bgr[1], bgr[0]});
      if (type == kPngGreyAlpha || type == kPngRgba) png.samples.push_back(255);
    }
  }
  return png_file(png);
}

// The packer's input target: a control byte (bit 0 an archive for --like, else a picture; bits
// 1 and 2 a picture also mapped onto the target's two originals), then the file. The pictures
// are 16 x 8 like the target's originals, so that mapping into a copy of them is reached.
void write_pack_input_seeds(const fs::path& dir) {
  using namespace varnu::testing;
  constexpr std::uint8_t kBitmap = 0;
  constexpr std::uint8_t kArchive = 1;
  constexpr std::uint8_t kBothOriginals = 2 | 4;
  const Picture gradient = draw_gradient(16, 8);
  Picture sixteen = draw_checkerboard(16, 8, 3);
  for (auto& p : sixteen.pixels) p %= 16;
  Picture two = draw_checkerboard(13, 5, 2);
  for (auto& p : two.pixels) p %= 2;
  struct Seed {
    std::string name;
    std::uint8_t control;
    Bytes file;
  };
  const std::vector<Seed> seeds = {
      {"entry-form", kBitmap, encode_bmp(gradient)},
      {"4-bit-v4-top-down", kBitmap,
       encode_bmp_form(sixteen, {.bits = 4, .info_size = 108, .top_down = true, .colours = 16})},
      {"1-bit", kBitmap, encode_bmp_form(two, {.bits = 1, .colours = 2})},
      {"rle8", kBitmap, encode_rle_bmp(draw_line_art(16, 8), 8)},
      {"rle4", kBitmap, encode_rle_bmp(sixteen, 4)},
      {"24-bit", kBothOriginals, encode_true_colour_bmp(gradient, {})},
      {"24-bit-odd-width", kBitmap, encode_true_colour_bmp(draw_noise(7, 3, 2), {})},
      {"32-bit-bgrx", kBothOriginals, encode_true_colour_bmp(gradient, {.bits = 32, .alpha = 0})},
      {"32-bit-v4-bit-fields", kBothOriginals,
       encode_true_colour_bmp(sixteen, {.bits = 32, .info_size = 108, .bit_fields = true})},
      {"32-bit-v5-bit-fields-top-down", kBothOriginals,
       encode_true_colour_bmp(
           gradient, {.bits = 32, .info_size = 124, .bit_fields = true, .top_down = true})},
      {"32-bit-translucent", kBitmap,
       encode_true_colour_bmp(gradient, {.bits = 32, .translucent_pixel = 100})},
      {"archive-three-entries", kArchive,
       build_archive({packed(gradient), packed(draw_green_keyed(16, 8)), packed(sixteen)})},
      {"archive-other-sides", kArchive, build_archive({packed(draw_line_art(20, 12))}, false)},
      {"archive-short-palette", kArchive,
       build_archive({lzss_pack(encode_bmp_form(sixteen, {.bits = 8, .colours = 16}))})},
      // PNG compressed by lodepng, as the page saves it; then stored blocks of every colour type.
      {"png-palette-compressed", kBothOriginals, encode_palette_png(encode_bmp(gradient))},
      {"png-rgb-compressed", kBothOriginals, encode_rgb_png(encode_true_colour_bmp(gradient, {}))},
      {"png-palette-8-bit", kBothOriginals, palette_png(gradient, 256, 8)},
      {"png-palette-4-bit-short", kBothOriginals, palette_png(sixteen, 16, 4)},
      {"png-palette-4-bit-interlaced", kBothOriginals, palette_png(sixteen, 16, 4, true)},
      {"png-palette-1-bit", kBitmap, palette_png(two, 2, 1)},
      {"png-palette-2-bit-interlaced", kBitmap, palette_png(two, 4, 2, true)},
      {"png-grey-2-bit", kBothOriginals, colour_png(sixteen, kPngGrey, 2)},
      {"png-grey-alpha", kBitmap, colour_png(sixteen, kPngGreyAlpha)},
      {"png-rgb-interlaced", kBothOriginals, colour_png(gradient, kPngRgb, 8, true)},
      {"png-rgba", kBothOriginals, colour_png(gradient, kPngRgba)},
  };
  for (const Seed& seed : seeds) {
    write_file((dir / seed.name).string(), with_prefix({seed.control}, seed.file));
  }
}

// The patch target's inputs: a control byte (bit 0: a target to write a patch for, else a
// patch), the byte that makes the original, then the patch or the target. The patches are the
// writer's, for targets that copy, match, run and add; the targets are edits of the original.
void write_patch_seeds(const fs::path& dir) {
  constexpr std::uint8_t kPatch = 0;
  constexpr std::uint8_t kTarget = 1;
  for (const std::uint8_t seed : {0, 3, 40, 255}) {
    const Bytes original = varnu::fuzz::patch_original(seed);
    Bytes edited = original;
    if (edited.size() > 100) edited[100] ^= 0x5A;
    edited.insert(edited.begin() + static_cast<std::ptrdiff_t>(edited.size() / 3), 40, 0);
    const std::string text = "bytes of its own " + std::to_string(seed);
    edited.insert(edited.end(), text.begin(), text.end());
    for (const std::uint64_t window :
         {std::uint64_t{53}, varnu::patch::VcdiffWriter::kWindowSize}) {
      Bytes patch;
      varnu::patch::VcdiffWriter writer(
          original.size(),
          [&](std::span<const std::uint8_t> b) { patch.insert(patch.end(), b.begin(), b.end()); },
          window);
      varnu::patch::MatchHistory history(window);
      writer.copy_original(0,
                           std::span(original).first(std::min<std::size_t>(original.size(), 64)));
      varnu::patch::write_matched(edited, original, 0, 0, writer, history);
      writer.run(7, 300);
      writer.finish();
      const std::string name = "seed-" + std::to_string(seed) + "-window-" + std::to_string(window);
      write_file((dir / (name + "-patch")).string(), with_prefix({kPatch, seed}, patch));
    }
    write_file((dir / ("seed-" + std::to_string(seed) + "-target")).string(),
               with_prefix({kTarget, seed}, edited));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make-seeds DIR\n";
    return 2;
  }
  try {
    const fs::path root = argv[1];
    fs::create_directories(root / "archive");
    fs::create_directories(root / "lzss");
    fs::create_directories(root / "pack_input");
    fs::create_directories(root / "patch");
    write_archive_seeds(root / "archive");
    write_lzss_seeds(root / "lzss");
    write_pack_input_seeds(root / "pack_input");
    write_patch_seeds(root / "patch");
  } catch (const std::exception& e) {
    std::cerr << "make-seeds: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
