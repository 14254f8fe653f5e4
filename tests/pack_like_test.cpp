// --like reads the original archive as the converter does: it takes what the converter takes and
// refuses what the converter refuses, and nothing else. Originals are written here, their
// streams all literals.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/pack_files.hpp"

namespace {

namespace fs = std::filesystem;
using namespace varnu::testing;

using Unread = std::array<std::uint8_t, 3>;

struct OriginalEntry {
  Bytes bitmap;
  Unread unread;
};

Bytes archive_of(const std::vector<OriginalEntry>& entries) {
  Bytes archive;
  for (const auto& e : entries) append_entry(archive, literal_stream(e.bitmap), e.unread);
  return archive;
}

TEST(PackLike, ReadsTheOriginalAsTheConverterDoes) {
  const BmpSpec small_spec = {.width = 13, .height = 5};
  // 76,078 bytes: its stream of literals is over 64 KiB.
  const BmpSpec large_spec = {.width = 300, .height = 250};
  const Bytes small_in = bmp_file(small_spec);
  const Bytes large_in = bmp_file(large_spec);
  // The originals differ from the inputs in their resolution fields only.
  auto with_resolution = [](BmpSpec s, std::uint8_t seed) {
    for (auto& b : s.resolution) b = seed++;
    return bmp_file(s);
  };
  const OriginalEntry small = {with_resolution(small_spec, 0x10), {0xA1, 0xA2, 0xA3}};
  const OriginalEntry large = {with_resolution(large_spec, 0x20), {0xB1, 0xB2, 0xB3}};
  ASSERT_GT(literal_stream(large.bitmap).size(), 65536u);

  const Bytes two = archive_of({large, small});
  auto cut = [&](std::size_t size) { return Bytes(two.begin(), two.begin() + size); };
  const std::size_t second = 2048 * ((12 + literal_stream(large.bitmap).size() + 2047) / 2048);
  auto then = [&](const Bytes& tail) {
    Bytes archive = archive_of({large});
    archive.resize(second, 0);
    archive.insert(archive.end(), tail.begin(), tail.end());
    return archive;
  };
  const Bytes magic = {'v', 'a', 'z', 'm', 'u', 'r'};
  auto header_of = [&](std::size_t size) {
    Bytes header = cut(second + size);
    return Bytes(header.begin() + static_cast<std::ptrdiff_t>(second), header.end());
  };
  auto entry_with = [&](const Bytes& bitmap) {
    Bytes archive = archive_of({large});
    append_entry(archive, literal_stream(bitmap), {0xC1, 0xC2, 0xC3});
    return archive;
  };
  // The converter decodes into a buffer of at least 688,128 bytes, so a bitmap whose file-size
  // field is within that is written even when the entry holds less.
  Bytes header_only = small.bitmap;
  header_only.resize(54);
  // The converter writes that entry with the bytes the first one left behind its headers; an edit
  // of its pixels goes into that file by index, so its rows' padding is the first entry's.
  Bytes header_only_edited = small.bitmap;
  for (std::size_t row = 54 + 1024; row < header_only_edited.size(); row += 16) {
    std::copy_n(large.bitmap.begin() + row + 13, 3, header_only_edited.begin() + row + 13);
  }
  // A first entry with its palette and no rows: the converter writes the zero bytes its buffer
  // starts with, and an edit goes into that file with its rows' padding zero, as in `small`.
  Bytes headers_and_palette = small.bitmap;
  headers_and_palette.resize(54 + 1024);
  Bytes size_past_buffer = small.bitmap;
  put_le(size_past_buffer, 2, 688129, 4);
  const BmpSpec keyed = {.width = 13, .height = 5, .green_key = true, .bottom_left = 0};
  Bytes key_offset_outside = bmp_file(keyed);
  put_le(key_offset_outside, 10, 688128, 4);
  Bytes key_rows_outside = bmp_file(keyed);
  put_le(key_rows_outside, 22, 60000, 4);  // 60,000 rows of 16 bytes

  struct Case {
    const char* name;
    Bytes original;
    std::vector<Bytes> inputs;
    // Packed: the entries as stored. Refused: the reason's start, after "orig.arc: ".
    std::vector<OriginalEntry> stored;
    std::string refusal{};
    // Refused for the bitmaps given, not for the original itself.
    bool original_converts = false;
  };
  const std::vector<Case> cases = {
      {"a payload over 64 KiB, then another entry", two, {large_in, small_in}, {large, small}},
      {"the second entry cut short by a byte",
       cut(two.size() - 1),
       {large_in, small_in},
       {},
       "entry 1 is cut short"},
      {"a header of 11 bytes at the end",
       then(header_of(11)),
       {large_in, small_in},
       {},
       "entry 1 is cut short"},
      {"a header of 8 bytes at the end",
       then(header_of(8)),
       {large_in, small_in},
       {},
       "entry 1 is cut short"},
      {"7 bytes of a header at the end: no entry", then(header_of(7)), {large_in}, {large}},
      {"the magic alone at the end: no entry", then(magic), {large_in}, {large}},
      {"an entry of nothing but headers",
       entry_with(header_only),
       {large_in, small_in},
       {large, {header_only_edited, {0xC1, 0xC2, 0xC3}}}},
      {"a first entry of headers and a palette",
       archive_of({{headers_and_palette, small.unread}}),
       {small_in},
       {small}},
      {"a file size past the buffer",
       entry_with(size_past_buffer),
       {large_in, small_in},
       {},
       "entry 1 is not a bitmap the converter can convert"},
      {"green-keyed, the first pixel past the buffer",
       entry_with(key_offset_outside),
       {large_in, small_in},
       {},
       "entry 1 is not a bitmap the converter can convert"},
      {"green-keyed, rows past the buffer",
       entry_with(key_rows_outside),
       {large_in, small_in},
       {},
       "entry 1 is not a bitmap the converter can convert"},
      {"a missing original", {}, {small_in}, {}, "cannot open it"},
      {"more entries than bitmaps",
       two,
       {large_in},
       {},
       "has 2 entries but 1 pictures were given",
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    std::vector<std::string> args = {"--like", "orig.arc", "out.arc"};
    for (std::size_t k = 0; k < c.inputs.size(); ++k) {
      const std::string name = "in" + std::to_string(k) + ".bmp";
      write_bytes(dir.path() / name, c.inputs[k]);
      args.push_back(name);
    }
    if (!c.original.empty()) write_bytes(dir.path() / "orig.arc", c.original);

    const PackRun run = run_pack(dir.path(), args);
    if (!c.refusal.empty()) {
      EXPECT_EQ(run.status, 1);
      EXPECT_TRUE(run.err.starts_with("varnu-pack: orig.arc: " + c.refusal)) << run.err;
      EXPECT_FALSE(fs::exists(dir.path() / "out.arc"));
    } else {
      EXPECT_EQ(run.status, 0) << run.err;
      if (run.status != 0) continue;
      const auto entries = read_archive(read_bytes(dir.path() / "out.arc"), true);
      EXPECT_EQ(entries.size(), c.stored.size());
      if (entries.size() != c.stored.size()) continue;
      for (std::size_t k = 0; k < entries.size(); ++k) {
        EXPECT_EQ(entries[k].unread, c.stored[k].unread) << "entry " << k;
        EXPECT_TRUE(entries[k].bitmap == c.stored[k].bitmap) << "entry " << k;
      }
    }
    // The converter (the one under test, the Windows one under Wine) agrees.
    const RunResult converted = run_varnu({.args = {"orig.arc"}, .cwd = dir.path()});
    EXPECT_EQ(converted.status, c.refusal.empty() || c.original_converts ? 0 : 1)
        << "the converter on the original";
  }
}

}  // namespace
