// varnu-pack at every bound it has: exactly at each limit and one past it, with and without
// --no-limits, and each input form at its edges. Expected archives are read back with the
// converter's own decoder and compared with bitmaps this file writes itself.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "pack/encoder/lzss_pack.hpp"
#include "tests/support/pack_files.hpp"
#include "tests/support/png_writer.hpp"

namespace {

namespace fs = std::filesystem;
using namespace varnu::testing;

// The packer refuses with one line naming the file; this is the reason's start.
struct Refusal {
  std::string file;
  std::string reason;
};

struct Case {
  const char* name;
  std::vector<std::pair<std::string, Bytes>> inputs;  // packed in this order
  bool no_limits;
  std::optional<Refusal> refusal;  // none: packed, each input stored as `stored`
  std::vector<Bytes> stored{};     // empty: each input byte for byte
  std::optional<std::size_t> first_payload{};
  // What the converter writes for each entry, its resolution fields aside; empty: what is stored.
  std::vector<Bytes> shown{};
};

// Archives this small are also converted: they are checked against what the converter under
// test (the Windows one, under Wine) writes. Larger ones only take time there.
constexpr std::size_t kConvertedArchiveMax = 1 << 20;

// The converter writes every bitmap with both resolution fields 2923 pixels per metre.
Bytes as_converted(Bytes bitmap) {
  for (std::size_t at : {38, 42}) put_le(bitmap, at, 2923, 4);
  return bitmap;
}

void run_cases(const std::vector<Case>& cases) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    std::vector<std::string> args = {"out.arc"};
    if (c.no_limits) args.insert(args.begin(), "--no-limits");
    for (const auto& [name, bytes] : c.inputs) {
      if (!fs::exists(dir.path() / name)) write_bytes(dir.path() / name, bytes);
      args.push_back(name);
    }
    const PackRun run = run_pack(dir.path(), args);
    if (c.refusal) {
      EXPECT_EQ(run.status, 1);
      EXPECT_TRUE(run.err.starts_with("varnu-pack: " + c.refusal->file + ": " + c.refusal->reason))
          << run.err;
      EXPECT_FALSE(fs::exists(dir.path() / "out.arc"));
      continue;
    }
    EXPECT_EQ(run.status, 0) << run.err;
    if (run.status != 0) continue;
    const auto entries = read_archive(read_bytes(dir.path() / "out.arc"));
    EXPECT_EQ(entries.size(), c.inputs.size());
    if (entries.size() != c.inputs.size()) continue;
    for (std::size_t k = 0; k < entries.size(); ++k) {
      const Bytes& expected = c.stored.empty() ? c.inputs[k].second : c.stored[k];
      EXPECT_TRUE(entries[k].bitmap == expected) << "entry " << k;
      EXPECT_EQ(entries[k].unread, (std::array<std::uint8_t, 3>{})) << "entry " << k;
    }
    if (c.first_payload) {
      EXPECT_EQ(entries.front().payload_size, *c.first_payload);
    }
    if (entries.size() > 2 || fs::file_size(dir.path() / "out.arc") > kConvertedArchiveMax) {
      continue;
    }
    EXPECT_EQ(run_varnu({.args = {"out.arc"}, .cwd = dir.path()}).status, 0);
    for (std::size_t k = 0; k < entries.size(); ++k) {
      const Bytes& shown = !c.shown.empty()    ? c.shown[k]
                           : !c.stored.empty() ? c.stored[k]
                                               : c.inputs[k].second;
      const fs::path output = dir.path() / ("out_00" + std::to_string(k) + ".BMP");
      EXPECT_TRUE(fs::exists(output) && read_bytes(output) == as_converted(shown))
          << "the converter's entry " << k;
    }
  }
}

// An 8-bit bitmap in the entry form of exactly `size` bytes, whose bytes after the rows repeat
// every 256 bytes, so that it packs small.
Bytes entry_bitmap_of_size(std::size_t size) {
  BmpSpec s{.width = 4, .height = 1};
  s.tail = static_cast<std::uint32_t>(size - bmp_file(s).size());
  return bmp_file(s);
}

// An entry-form bitmap that varnu-pack packs to exactly `payload` bytes: noise after the rows,
// as long as it takes. The packer only chooses the picture; what it is expected to do with it
// is said independently.
Bytes bitmap_packing_to(std::size_t payload) {
  Bytes bitmap = bmp_file({.width = 4, .height = 1});
  const std::size_t head = bitmap.size();
  for (std::uint32_t seed = 1; seed < 100; ++seed) {
    std::uint32_t x = seed * 2654435761u;
    auto noise = [&] {
      x ^= x << 13;
      x ^= x >> 17;
      x ^= x << 5;
      return static_cast<std::uint8_t>(x >> 24);
    };
    std::size_t size = head + payload * 8 / 9;
    for (int step = 0; step < 6; ++step) {
      while (bitmap.size() < size) bitmap.push_back(noise());
      bitmap.resize(size);
      put_le(bitmap, 2, size, 4);
      const std::size_t got = varnu::pack::lzss_pack(bitmap).size();
      if (got == payload) return bitmap;
      // Each byte of noise costs a literal: nine bits.
      const auto off = static_cast<std::ptrdiff_t>(payload) - static_cast<std::ptrdiff_t>(got);
      const std::ptrdiff_t step_size = off > 0 ? std::max<std::ptrdiff_t>(1, off * 8 / 9)
                                               : std::min<std::ptrdiff_t>(-1, off * 8 / 9);
      size = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(size) + step_size);
    }
    bitmap.resize(head);
  }
  ADD_FAILURE() << "no picture packs to " << payload << " bytes";
  return bitmap;
}

// The bitmap with its rows in reverse order (`stride` bytes each, from byte 1078).
Bytes rows_reversed(Bytes bitmap, std::size_t stride, std::size_t height) {
  for (std::size_t top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
    std::swap_ranges(bitmap.begin() + 1078 + top * stride,
                     bitmap.begin() + 1078 + (top + 1) * stride,
                     bitmap.begin() + 1078 + bottom * stride);
  }
  return bitmap;
}

const std::string kLift = " (--no-limits packs it anyway)\n";

TEST(PackLimits, EachIsMetExactlyAndRefusedOnePast) {
  const Bytes at_image = entry_bitmap_of_size(688128);
  const Bytes past_image = entry_bitmap_of_size(688129);
  const Bytes at_format = entry_bitmap_of_size(16777215);
  const Bytes past_format = entry_bitmap_of_size(16777216);
  const Bytes at_payload = bitmap_packing_to(163838);
  const Bytes past_payload = bitmap_packing_to(163839);
  const Bytes on_boundary = bitmap_packing_to(2048 - 12);

  // Green-keyed, both left pixels the key: stored upside down, and varnu turns it back.
  auto keyed = [](std::uint32_t width, std::uint8_t bottom_left, std::uint8_t top_left) {
    return BmpSpec{.width = width,
                   .height = 2,
                   .green_key = true,
                   .bottom_left = bottom_left,
                   .top_left = top_left};
  };
  const BmpSpec flipped_4096 = keyed(4096, 0, 0);
  const BmpSpec flipped_4100 = keyed(4097, 0, 0);
  const BmpSpec unflipped_4100 = keyed(4097, 9, 9);
  // Top-left the key only: either form comes back whole, so rows that readers can turn over are
  // stored upside down, and longer ones as they are.
  const BmpSpec either_4096 = keyed(4096, 9, 0);
  const BmpSpec either_4100 = keyed(4097, 9, 0);
  const BmpSpec single_row = {.width = 5000, .height = 1, .green_key = true, .bottom_left = 0};
  const Bytes small = bmp_file({.width = 1, .height = 1});
  auto many = [&](std::size_t count) {
    return std::vector<std::pair<std::string, Bytes>>(count, {"p.bmp", small});
  };

  const std::vector<Case> cases = {
      {"bitmap of 688128 bytes", {{"a.bmp", at_image}}, false, std::nullopt},
      {"bitmap of 688129 bytes",
       {{"a.bmp", past_image}},
       false,
       Refusal{"a.bmp",
               "the bitmap is 688129 bytes, more than the 688128 that readers with fixed "
               "buffers hold" +
                   kLift}},
      {"... with --no-limits", {{"a.bmp", past_image}}, true, std::nullopt},
      {"bitmap of 16 MiB - 1 with --no-limits", {{"a.bmp", at_format}}, true, std::nullopt},
      {"bitmap of 16 MiB with --no-limits",
       {{"a.bmp", past_format}},
       true,
       Refusal{"a.bmp",
               "the bitmap is 16777216 bytes, more than its 24-bit size field can say "
               "(16777215)\n"}},
      {"payload of 163838 bytes", {{"a.bmp", at_payload}}, false, std::nullopt, {}, 163838},
      {"payload of 163839 bytes",
       {{"a.bmp", past_payload}},
       false,
       Refusal{"a.bmp",
               "packs to 163839 bytes, more than the 163838 that readers with fixed "
               "buffers hold" +
                   kLift}},
      {"... with --no-limits", {{"a.bmp", past_payload}}, true, std::nullopt, {}, 163839},
      {"an entry ending on a boundary, then the next",
       {{"a.bmp", on_boundary}, {"b.bmp", small}},
       false,
       std::nullopt,
       {},
       2036},
      {"flipped rows of 4096 bytes",
       {{"k.bmp", bmp_file(flipped_4096)}},
       false,
       std::nullopt,
       {rows_reversed(bmp_file(flipped_4096), 4096, 2)},
       std::nullopt,
       {bmp_file(flipped_4096)}},
      {"flipped rows of 4100 bytes",
       {{"k.bmp", bmp_file(flipped_4100)}},
       false,
       Refusal{"k.bmp",
               "green-keyed rows of 4100 bytes, longer than the 4096 that readers turn a "
               "picture upside down through" +
                   kLift}},
      {"... with --no-limits",
       {{"k.bmp", bmp_file(flipped_4100)}},
       true,
       std::nullopt,
       {rows_reversed(bmp_file(flipped_4100), 4100, 2)},
       std::nullopt,
       {bmp_file(flipped_4100)}},
      {"either form works, rows of 4096 bytes: stored upside down",
       {{"k.bmp", bmp_file(either_4096)}},
       false,
       std::nullopt,
       {rows_reversed(bmp_file(either_4096), 4096, 2)},
       std::nullopt,
       {bmp_file(either_4096)}},
      {"either form works, rows of 4100 bytes: stored as they are",
       {{"k.bmp", bmp_file(either_4100)}},
       false,
       std::nullopt,
       {bmp_file(either_4100)},
       std::nullopt,
       {bmp_file(either_4100)}},
      {"green-keyed rows of 4100 bytes, not flipped",
       {{"k.bmp", bmp_file(unflipped_4100)}},
       false,
       std::nullopt},
      {"green-keyed rows of 5000 bytes, one row",
       {{"k.bmp", bmp_file(single_row)}},
       false,
       std::nullopt},
      {"3600 pictures", many(3600), false, std::nullopt},
      {"3601 pictures with --no-limits", many(3601), true, std::nullopt},
  };
  run_cases(cases);
}

TEST(PackInputs, EachFormAtItsEdges) {
  // 1-bit, so that large sides stay small files.
  auto one_bit = [](std::uint32_t width, std::int32_t height) {
    return BmpSpec{.width = width, .height = height, .bits = 1, .colours = 2};
  };
  struct Form {
    const char* name;
    BmpSpec bitmap;
    bool no_limits = false;
    std::string refusal{};  // the reason's start; empty: packed as entry_form(bitmap)
  };
  const std::string too_large = "larger than 65535 pixels on a side";
  const std::string no_pixels = "malformed: it has no pixels";
  const std::string overlap = "malformed: its rows overlap its palette";
  const std::vector<Form> forms = {
      {"width 65535", one_bit(65535, 2)},
      {"width 65536", one_bit(65536, 2), true, too_large},
      {"height 65535", one_bit(1, 65535)},
      {"height 65536", one_bit(1, 65536), true, too_large},
      {"top-down, height 65535", one_bit(1, -65535)},
      {"top-down, height 65536", one_bit(1, -65536), true, too_large},
      {"width 1", one_bit(1, 3)},
      {"width 0", one_bit(0, 3), false, no_pixels},
      {"height 0", one_bit(3, 0), false, no_pixels},
      {"top-down, 1-bit", {.width = 13, .height = -5, .bits = 1, .colours = 2}},
      {"top-down, 4-bit", {.width = 5, .height = -3, .bits = 4, .colours = 16}},
      {"top-down, 8-bit, 40-byte header", {.width = 13, .height = -5}},
      {"top-down, 8-bit, V5 header", {.width = 3, .height = -2, .info_size = 124}},
      {"4-bit, rows right after the palette", {.width = 5, .height = 3, .bits = 4, .colours = 16}},
      {"4-bit, rows one byte into the palette",
       {.width = 5, .height = 3, .bits = 4, .colours = 16, .pixel_offset = 14 + 40 + 64 - 1},
       false,
       overlap},
      {"1-bit, V4 header, rows after a gap",
       {.width = 13, .height = 3, .bits = 1, .info_size = 108, .colours = 2, .gap = 6}},
      {"8-bit, V4 header, 12 colours, rows one byte into the palette",
       {.width = 5,
        .height = 3,
        .info_size = 108,
        .colours = 12,
        .pixel_offset = 14 + 108 + 48 - 1},
       false,
       overlap},
      {"4-bit, palette of 16 said",
       {.width = 5, .height = 3, .bits = 4, .colours = 16, .colours_field = 16}},
      {"4-bit, palette of 17 said",
       {.width = 5, .height = 3, .bits = 4, .colours = 16, .colours_field = 17},
       false,
       "malformed: a palette of 17 colours for 4-bit pixels"},
      // Padding alone takes it past what the size field holds: 1078 + 65535 x 256 bytes.
      {"converted, padded rows past 16 MiB", one_bit(253, 65535), true,
       "would be 16778038 bytes with 8 bits per pixel"},
      {"converted, padded rows under 16 MiB", one_bit(252, 65535), true},
  };
  std::vector<Case> cases;
  for (const Form& f : forms) {
    const Bytes input = bmp_file(f.bitmap);
    if (f.refusal.empty()) {
      cases.push_back(
          {f.name, {{"in.bmp", input}}, f.no_limits, std::nullopt, {entry_form(f.bitmap)}});
    } else {
      cases.push_back({f.name, {{"in.bmp", input}}, f.no_limits, Refusal{"in.bmp", f.refusal}});
    }
  }
  // The entry form itself is stored byte for byte whatever its palette and offset say.
  const BmpSpec overlapping_entry = {.width = 5, .height = 3, .pixel_offset = 1077};
  cases.push_back({"8-bit entry form, rows one byte into the palette",
                   {{"in.bmp", bmp_file(overlapping_entry)}},
                   false,
                   std::nullopt});
  // Rows may start anywhere from byte 54 on in the entry form; before that they are no entry form,
  // and they overlap the palette the converted form reads.
  cases.push_back({"8-bit entry form, rows at byte 54",
                   {{"in.bmp", bmp_file({.width = 5, .height = 3, .pixel_offset = 54})}},
                   false,
                   std::nullopt});
  cases.push_back({"8-bit, rows at byte 53",
                   {{"in.bmp", bmp_file({.width = 5, .height = 3, .pixel_offset = 53})}},
                   false,
                   Refusal{"in.bmp", overlap}});
  // A file-size field that matches a file too short for its rows makes no entry form.
  Bytes short_rows = bmp_file({.width = 5, .height = 3});
  short_rows.pop_back();
  put_le(short_rows, 2, short_rows.size(), 4);
  cases.push_back({"8-bit, size field matching, last row a byte short",
                   {{"in.bmp", short_rows}},
                   false,
                   Refusal{"in.bmp",
                           "truncated: its rows end at byte 1102, the file has "
                           "1101"}});
  const Bytes whole = bmp_file({.width = 5, .height = 3, .bits = 4, .colours = 16});
  cases.push_back({"cut one byte into its information header",
                   {{"in.bmp", Bytes(whole.begin(), whole.begin() + 53)}},
                   false,
                   Refusal{"in.bmp", "truncated inside its headers"}});
  cases.push_back({"cut one byte short of its palette's end",
                   {{"in.bmp", Bytes(whole.begin(), whole.begin() + 54 + 63)}},
                   false,
                   Refusal{"in.bmp", "truncated inside its palette"}});
  const BmpSpec widest_entry = {.width = 65535, .height = 1};
  cases.push_back(
      {"8-bit entry form, width 65535", {{"in.bmp", bmp_file(widest_entry)}}, false, std::nullopt});
  // Inputs are read whole up to 32 MiB: a small picture with bytes after its rows.
  BmpSpec largest_file = one_bit(5, 3);
  largest_file.tail = static_cast<std::uint32_t>((32u << 20) - bmp_file(largest_file).size());
  cases.push_back({"a file of 32 MiB",
                   {{"in.bmp", bmp_file(largest_file)}},
                   false,
                   std::nullopt,
                   {entry_form(largest_file)}});
  ++largest_file.tail;
  cases.push_back({"a file of 32 MiB + 1",
                   {{"in.bmp", bmp_file(largest_file)}},
                   false,
                   Refusal{"in.bmp", "longer than 33554432 bytes"}});
  // A palette PNG of 1024 x 672, one row more than an entry of the readers' buffers holds.
  const BmpSpec past_buffers = {.width = 1024, .height = 672, .resolution = {}};
  PngImage png{.width = past_buffers.width, .height = 672};
  for (std::uint32_t k = 0; k < 256; ++k) {
    const auto bgr = spec_colour(past_buffers, k);
    png.palette.push_back({bgr[2], bgr[1], bgr[0]});
  }
  for (std::uint32_t row = png.height; row-- > 0;) {
    for (std::uint32_t x = 0; x < png.width; ++x)
      png.samples.push_back(spec_pixel(past_buffers, x, row));
  }
  cases.push_back({"palette PNG one row past the readers' buffers",
                   {{"in.png", png_file(png)}},
                   false,
                   Refusal{"in.png",
                           "would be at least 688182 bytes with 8 bits per pixel, more than the "
                           "688128 that readers with fixed buffers hold" +
                               kLift}});
  cases.push_back({"palette PNG one row past the readers' buffers, --no-limits",
                   {{"in.png", png_file(png)}},
                   true,
                   std::nullopt,
                   {entry_form(past_buffers)}});
  run_cases(cases);
}

}  // namespace
