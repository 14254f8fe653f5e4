// The packer's check of one picture against its entry (pack::check_picture, which the page runs
// as soon as a replacement is chosen) says what packing the archive with that picture says: the
// same refusal, the same warnings, the bitmap the entry then holds, and whether the entry is kept
// as it stands.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "pack/entry/orientation.hpp"
#include "pack/like/original.hpp"
#include "pack/like/unchanged.hpp"
#include "pack/pack.hpp"
#include "tests/support/pack_files.hpp"

namespace {

namespace fs = std::filesystem;
using namespace varnu::testing;
using varnu::pack::PackMessage;

std::string said(const std::vector<PackMessage>& messages) {
  std::string text;
  for (const PackMessage& m : messages) {
    text += (m.kind == PackMessage::Kind::kWarning ? "warning: " : "") + m.file.value_or("") +
            ": " + m.text + "\n";
  }
  return text;
}

TEST(PackCheck, SaysWhatPackingTheArchiveSays) {
  const BmpSpec first_spec = {.width = 13, .height = 5};
  const BmpSpec second_spec = {.width = 21, .height = 7, .colours = 16};
  // Every one of 256 palette entries used (7 is prime to 256), so none is free for a new colour.
  const BmpSpec full_spec = {.width = 256, .height = 1};
  const Bytes first = entry_form(first_spec);
  const Bytes second = entry_form(second_spec);
  Bytes archive;
  for (const Bytes& bitmap : {first, second, entry_form(full_spec)}) {
    append_entry(archive, literal_stream(bitmap));
  }

  Bytes edited = second;
  edited[54 + 1024] ^= 1;  // the first stored pixel
  // The same picture with palette entries 0 and 1 swapped, as an editor may save it.
  Bytes other_order = bmp_file(second_spec);
  const std::size_t pixels = other_order[10] | other_order[11] << 8;
  std::swap_ranges(other_order.begin() + 54, other_order.begin() + 58, other_order.begin() + 58);
  for (std::size_t k = pixels; k < other_order.size(); ++k) {
    if (other_order[k] < 2) other_order[k] ^= 1;
  }
  // Palette entry 3 made a colour the palette lacks, with no entry free to take it.
  Bytes new_colour = bmp_file(full_spec);
  new_colour[54 + 3 * 4] ^= 0x5A;
  Bytes sixteen_bit = bmp_file(second_spec);
  put_le(sixteen_bit, 28, 16, 2);
  // What packing says of each, so that every way the check can answer is met.
  enum class Said { kKept, kPacked, kWarned, kRefused };
  struct Case {
    const char* name;
    Bytes picture;
    Said said;
    std::size_t entry = 1;
    bool remap = false;
  };
  const std::vector<Case> cases = {
      {"the entry's own file", second, Said::kKept},
      {"a pixel edited", edited, Said::kPacked},
      {"a palette in another order", other_order, Said::kWarned},
      {"another size", entry_form({.width = 30, .height = 9, .colours = 16}), Said::kPacked},
      {"no picture at all", Bytes{'h', 'i'}, Said::kRefused},
      {"16 bits a pixel", sixteen_bit, Said::kRefused},
      {"a colour the palette lacks", new_colour, Said::kRefused, 2},
      {"a colour the palette lacks, --remap", new_colour, Said::kWarned, 2, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    write_bytes(dir.path() / "original.arc", archive);
    write_bytes(dir.path() / "picture.bmp", c.picture);
    const fs::path original = dir.path() / "original.arc";
    const std::string picture = (dir.path() / "picture.bmp").string();

    std::vector<std::optional<std::string>> pictures(3);
    pictures[c.entry] = picture;
    varnu::pack::PackRequest request = varnu::pack::replacing_request(
        original.string(), (dir.path() / "out.arc").string(), pictures);
    request.remap.remap = c.remap;
    const varnu::pack::PackResult packed = varnu::pack::pack(request);
    const varnu::pack::OriginalArchive read = varnu::pack::read_original_archive(original);
    const varnu::pack::LeftoverCheck leftovers(read, original);
    varnu::pack::LikeEntry like =
        varnu::pack::read_like_entry(original, read.entries[c.entry], leftovers);
    const varnu::pack::PictureCheck check = varnu::pack::check_picture(request, {picture}, like);

    const bool same = packed.status == 0 && read_bytes(dir.path() / "out.arc") == archive;
    const Said verdict = packed.status != 0         ? Said::kRefused
                         : !packed.messages.empty() ? Said::kWarned
                         : same                     ? Said::kKept
                                                    : Said::kPacked;
    ASSERT_EQ(verdict, c.said) << said(packed.messages);
    if (packed.status != 0) {
      ASSERT_TRUE(check.refusal.has_value());
      EXPECT_EQ(said({*check.refusal}), said(packed.messages));
      continue;
    }
    ASSERT_FALSE(check.refusal.has_value()) << check.refusal->text;
    EXPECT_EQ(said(check.warnings), said(packed.messages));
    const fs::path out = dir.path() / "out.arc";
    const varnu::pack::OriginalArchive written = varnu::pack::read_original_archive(out);
    EXPECT_EQ(varnu::pack::converter_output(check.stored),
              varnu::pack::read_converted_bitmap(out, written.entries[c.entry]));
    EXPECT_EQ(check.unchanged, same);
    // What moved, only with --remap, and as its warning says it.
    ASSERT_EQ(check.mapping.has_value(), c.remap);
    if (!check.mapping) continue;
    const std::vector<std::uint8_t>& moved = check.mapping->moved;
    ASSERT_EQ(moved.size(), std::size_t{256});
    EXPECT_EQ(static_cast<std::uint64_t>(std::ranges::count(moved, 1)),
              check.mapping->figures.pixels_moved);
    EXPECT_GT(check.mapping->figures.pixels_moved, 0U);
    EXPECT_NE(said(check.warnings).find(varnu::pack::describe(check.mapping->figures)),
              std::string::npos);
  }
}

}  // namespace
