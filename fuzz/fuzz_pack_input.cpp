// The packer's readers on arbitrary bytes: a picture file of any form (bitmap: palette,
// run-length, true colour; PNG: every colour type and depth, interlaced or not) brought into the
// entry form, on its own and mapped onto an original; and an archive given to --like, walked and
// each entry's converted bitmap used as the original of a picture. Every input must end in a
// bitmap the converter accepts or in an InputError; a picture mapped onto an original must show
// exactly its own colours.
//
// Input: a control byte, then the file. Bit 0 set: the file is a --like archive. Otherwise the
// file is a picture, packed without --like, and with bit 1 also as if entry k of an archive were
// a 16 x 8 gradient of 256 colours, with bit 2 a 16 x 8 picture of a 16-entry palette; with
// bit 3, also with --remap on its own and onto the gradient, and bit 4 adds --dither: every
// pixel of a colour the palette holds must keep it, and the mapping must count each pixel whose
// colour changed. Pictures
// are judged with the limits of readers with fixed buffers, as varnu-pack judges them by default.
//
// How many inputs were PNG files is printed when the run ends, so that a run shows that the PNG
// reader was reached.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <span>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include "bitmap/layout.hpp"
#include "pack/entry/orientation.hpp"
#include "pack/like/original.hpp"
#include "pack/picture/picture_input.hpp"
#include "pack/picture/png_input.hpp"
#include "pack/picture/true_colour_entry.hpp"
#include "tools/picture.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace varnu::pack;

constexpr std::uint8_t kArchive = 1;
constexpr std::uint8_t kLikeGradient = 2;
constexpr std::uint8_t kLikeShortPalette = 4;
constexpr std::uint8_t kRemap = 8;
constexpr std::uint8_t kDither = 16;
// Enough entries to reach every path; more would only repeat them.
constexpr std::size_t kMaxEntriesMapped = 4;

[[noreturn]] void fault(const char* what) {
  std::fprintf(stderr, "fuzz-pack-input: %s\n", what);
  std::abort();
}

void check_accepted(const Bytes& bitmap) {
  if (!varnu::plan_bitmap(bitmap, varnu::OutputMode::kPlain)) {
    fault("an entry bitmap the converter refuses");
  }
}

// The colour each pixel shows, bottom row first, read the simplest way.
std::vector<Colour> shown_colours(const Bytes& bmp) {
  const varnu::BitmapLayout layout = varnu::read_layout(bmp);
  const std::size_t stride = varnu::row_stride(layout.width);
  std::vector<Colour> out;
  for (std::size_t y = 0; y < layout.height; ++y) {
    for (std::size_t x = 0; x < layout.width; ++x) {
      const std::size_t at = layout.pixel_offset + y * stride + x;
      if (at >= bmp.size()) fault("a pixel outside the bitmap");
      const std::size_t entry = varnu::kPaletteOffset + 4 * std::size_t{bmp[at]};
      if (entry + 3 > bmp.size()) fault("a palette entry outside the bitmap");
      out.push_back(Colour{bmp[entry + 2]} << 16 | Colour{bmp[entry + 1]} << 8 | bmp[entry]);
    }
  }
  return out;
}

Bytes converted(const varnu::tools::Picture& picture, const varnu::tools::BmpForm& form) {
  auto out = converter_output(varnu::tools::encode_bmp_form(picture, form));
  if (!out) fault("the converter refuses a drawn picture");
  return *out;
}

const Bytes& gradient_original() {
  static const Bytes bitmap = converted(varnu::tools::draw_gradient(16, 8), {});
  return bitmap;
}

const Bytes& short_palette_original() {
  static const Bytes bitmap = [] {
    varnu::tools::Picture picture = varnu::tools::draw_checkerboard(16, 8, 3);
    for (auto& p : picture.pixels) p %= 16;
    return converted(picture, {.bits = 8, .colours = 16});
  }();
  return bitmap;
}

// 16 x 8 pixels: colours of the gradient's palette and a few of its own.
const TrueColourPicture& edited_picture() {
  static const TrueColourPicture picture = [] {
    TrueColourPicture p;
    p.width = 16;
    p.height = 8;
    const varnu::tools::Picture gradient = varnu::tools::draw_gradient(16, 8);
    for (std::size_t k = 0; k < 128; ++k) {
      const std::uint8_t* entry = gradient.palette.data() + 4 * gradient.pixels[k];
      p.colours.push_back(k % 9 == 0 ? 0x010203 * (k % 5)
                                     : Colour{entry[2]} << 16 | Colour{entry[1]} << 8 | entry[0]);
    }
    return p;
  }();
  return picture;
}

// The colour each pixel of a picture as read shows, bottom row first: a palette picture's pixels
// past its palette show black, as they do in its own bitmap.
std::vector<Colour> picture_colours(std::span<const std::uint8_t> file) {
  const DecodedPicture decoded = is_png(file) ? read_png(file, false) : read_bmp(file);
  if (const auto* picture = std::get_if<TrueColourPicture>(&decoded)) return picture->colours;
  const IndexedPicture& indexed = std::get<IndexedPicture>(decoded);
  std::vector<Colour> out;
  for (const std::uint8_t index : indexed.picture.pixels) {
    const std::uint8_t* entry = indexed.picture.palette.data() + 4 * std::size_t{index};
    out.push_back(
        index < indexed.colours ? Colour{entry[2]} << 16 | Colour{entry[1]} << 8 | entry[0] : 0);
  }
  return out;
}

void check_mapped(std::span<const std::uint8_t> file, const Bytes& original) {
  const NormalisedPicture mapped = normalise_picture(file, {.like = [&] { return original; }});
  check_accepted(mapped.bitmap);
  if (shown_colours(mapped.bitmap) != picture_colours(file)) fault("a colour changed");
}

// With --remap: an accepted bitmap whose moved pixels are exactly those whose colour changed,
// none of them of a colour the palette it was mapped onto holds (`kept`, when there is one).
void check_remapped(std::span<const std::uint8_t> file, const LikeBitmap& like, bool dither,
                    const std::set<Colour>& kept = {}) {
  const NormalisedPicture mapped =
      normalise_picture(file, {.like = like, .remap = {.remap = true, .dither = dither}});
  check_accepted(mapped.bitmap);
  const std::vector<Colour> before = picture_colours(file);
  const std::vector<Colour> after = shown_colours(mapped.bitmap);
  if (!mapped.mapping) {
    if (after != before) fault("colours changed with no mapping told");
    return;
  }
  std::uint64_t moved = 0;
  for (std::size_t p = 0; p < before.size(); ++p) {
    const bool changed = before[p] != after[p];
    moved += changed;
    if (changed && kept.contains(before[p])) fault("an exact pixel moved");
    if (changed != (mapped.mapping->moved[p] != 0)) fault("a moved pixel is not marked");
  }
  if (moved != mapped.mapping->figures.pixels_moved) fault("the moved pixels are miscounted");
}

void fuzz_picture(std::span<const std::uint8_t> file, std::uint8_t control) {
  check_accepted(normalise_picture(file).bitmap);
  if (control & kRemap) {
    check_remapped(file, {}, control & kDither);
    std::set<Colour> gradient;
    for (std::size_t k = 0; k < 256; ++k) {
      const std::uint8_t* entry = gradient_original().data() + 54 + 4 * k;
      gradient.insert(Colour{entry[2]} << 16 | Colour{entry[1]} << 8 | entry[0]);
    }
    check_remapped(file, [] { return gradient_original(); }, control & kDither, gradient);
  }
  if (control & kLikeGradient) check_mapped(file, gradient_original());
  if (control & kLikeShortPalette) check_mapped(file, short_palette_original());
}

void fuzz_archive(std::span<const std::uint8_t> file) {
  std::istringstream archive(std::string(file.begin(), file.end()));
  const std::vector<EntryRecord> entries = read_original_archive(archive).entries;
  for (std::size_t k = 0; k < entries.size() && k < kMaxEntriesMapped; ++k) {
    const Bytes original = read_converted_bitmap(archive, entries[k]);
    try {
      const Bytes entry = entry_like(edited_picture(), original).bitmap;
      check_accepted(entry);
      if (shown_colours(entry) != edited_picture().colours) fault("a colour changed");
    } catch (const InputError&) {
      // Too many new colours for the entries this original leaves free.
    }
  }
}

std::size_t png_inputs = 0;

void print_png_inputs() {
  std::fprintf(stderr, "fuzz-pack-input: %zu inputs were PNG files\n", png_inputs);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::atexit(print_png_inputs);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::span<const std::uint8_t> file(data + 1, size - 1);
  try {
    if (data[0] & kArchive) {
      fuzz_archive(file);
    } else {
      if (is_png(file)) ++png_inputs;
      fuzz_picture(file, data[0]);
    }
  } catch (const InputError&) {
    // A clear refusal.
  }
  return 0;
}
