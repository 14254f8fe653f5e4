// The edit, repack and patch workflow end to end: convert an archive made by another packer,
// save the outputs as editors do (bitmaps, palette PNG, RGB PNG, ImageMagick's), repack with
// --like and compare files. Untouched entries come back byte for byte with the original's
// filler and the bytes after its last entry; an edited one changes that entry alone; a palette
// that differs is a warning; hostile PNGs are refused. The originals are written here, their
// streams all literals, so that no entry is what varnu-pack would make of it.
#include "pack/pack.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/pack_files.hpp"
#include "tests/support/png_writer.hpp"
#include "tools/editor_forms.hpp"
#include "tools/picture.hpp"

namespace {

namespace fs = std::filesystem;
using namespace varnu::testing;

const fs::path kImageMagick = "/usr/bin/convert";
const fs::path kXdelta = "/usr/bin/xdelta3";

constexpr std::uint8_t kFiller = 0xA5;
const std::string kAfterLastEntry = "bytes no reader looks at, kept after the last entry";

struct Original {
  Bytes file;
  std::vector<std::size_t> starts;  // where each entry begins; the last is where the tail begins
};

// Each entry's stream all literals, its unread header bytes set, its filler kFiller, and bytes
// after the last one.
Original original_of(const std::vector<Bytes>& bitmaps) {
  Original o;
  for (std::size_t k = 0; k < bitmaps.size(); ++k) {
    o.file.resize((o.file.size() + kBoundary - 1) / kBoundary * kBoundary, kFiller);
    o.starts.push_back(o.file.size());
    const auto n = static_cast<std::uint8_t>(k);
    append_entry(o.file, literal_stream(bitmaps[k]), {n, 0x60, static_cast<std::uint8_t>(n + 1)});
  }
  o.file.resize((o.file.size() + kBoundary - 1) / kBoundary * kBoundary, kFiller);
  o.starts.push_back(o.file.size());
  o.file.insert(o.file.end(), kAfterLastEntry.begin(), kAfterLastEntry.end());
  return o;
}

// Palettes of 256, 16 and 2 entries, a short palette with a gap before the rows and bytes after
// them, a picture the converter turns over.
std::vector<Bytes> original_bitmaps() {
  return {
      bmp_file({.width = 37, .height = 21}),
      bmp_file({.width = 13, .height = 6, .colours = 16, .gap = 6, .tail = 9}),
      bmp_file({.width = 24, .height = 5, .colours = 2}),
      bmp_file({.width = 9,
                .height = 7,
                .colours = 40,
                .green_key = true,
                .bottom_left = 0,
                .top_left = 0}),
  };
}

std::uint32_t u32_at(const Bytes& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

// A bitmap varnu wrote, as a PNG of the test's own writer: palette (its palette at the length
// its header says) or RGB.
PngBytes png_of(const Bytes& bmp, bool palette, bool interlaced = false) {
  const std::uint32_t width = bmp[18] | bmp[19] << 8;
  const std::uint32_t height = bmp[22] | bmp[23] << 8;
  const std::uint32_t rows = bmp[10] | bmp[11] << 8 | bmp[12] << 16;
  const std::uint32_t entries = u32_at(bmp, 46) == 0 ? 256 : u32_at(bmp, 46);
  PngImage s{.width = width,
             .height = height,
             .colour_type = palette ? kPngPalette : kPngRgb,
             .interlaced = interlaced};
  const auto rgb = [&](std::size_t k) {
    return std::array<std::uint8_t, 3>{bmp[54 + 4 * k + 2], bmp[54 + 4 * k + 1], bmp[54 + 4 * k]};
  };
  if (palette) {
    for (std::size_t k = 0; k < entries; ++k) s.palette.push_back(rgb(k));
  }
  for (std::uint32_t y = height; y-- > 0;) {
    for (std::uint32_t x = 0; x < width; ++x) {
      const std::uint8_t index = bmp[rows + y * ((width + 3) & ~3u) + x];
      if (palette) {
        s.samples.push_back(index);
      } else {
        for (const std::uint8_t c : rgb(index)) s.samples.push_back(c);
      }
    }
  }
  return png_file(s);
}

struct PackerRun {
  int status = -1;
  std::string err;
};

// The packer under test (with a Node.js converter, its varnu-pack.js) in `dir`.
PackerRun pack(const fs::path& dir, std::vector<std::string> args) {
  TempDir streams;
  const RunResult r = run_varnu(
      {.args = std::move(args), .cwd = dir, .packer = true, .stderr_file = streams.path() / "err"});
  const Bytes err = read_bytes(streams.path() / "err");
  return {r.status, std::string(err.begin(), err.end())};
}

class Repack : public ::testing::Test {
 protected:
  void SetUp() override {
    original_ = original_of(original_bitmaps());
    write_bytes(dir_.path() / "GAME.ARC", original_.file);
    const auto converted = files_converted(dir_.path(), "GAME.ARC");
    ASSERT_TRUE(converted);
    outputs_ = *converted;
    ASSERT_EQ(outputs_.size(), 4u);
  }

  // Writes `files` (name, bytes) into a folder of their own and packs them in that order with
  // --like GAME.ARC.
  PackerRun pack_like(const std::string& folder,
                      const std::vector<std::pair<std::string, Bytes>>& files) {
    fs::create_directory(dir_.path() / folder);
    std::vector<std::string> args = {"--like", "../GAME.ARC", "NEW.ARC"};
    for (const auto& [name, bytes] : files) {
      write_bytes(dir_.path() / folder / name, bytes);
      args.push_back(name);
    }
    return pack(dir_.path() / folder, args);
  }

  // The outputs, each made into another file by `save`, named with `extension`.
  template <typename Save>
  std::vector<std::pair<std::string, Bytes>> saved(const std::string& extension, Save save) {
    std::vector<std::pair<std::string, Bytes>> files;
    for (const auto& [name, bytes] : outputs_) {
      files.emplace_back(fs::path(name).stem().string() + extension, save(name, bytes));
    }
    return files;
  }

  Bytes new_archive(const std::string& folder) {
    return read_bytes(dir_.path() / folder / "NEW.ARC");
  }

  TempDir dir_;
  Original original_;
  std::map<std::string, Bytes> outputs_;
};

// Saved every way an editor may save them, unedited, the pictures give the original file.
TEST_F(Repack, UneditedPicturesGiveTheOriginalFile) {
  const auto as_is = [](const std::string&, const Bytes& b) { return b; };
  const auto palette_png = [](const std::string&, const Bytes& b) { return png_of(b, true); };
  const auto interlaced_png = [](const std::string&, const Bytes& b) {
    return png_of(b, true, true);
  };
  const auto rgb_png = [](const std::string&, const Bytes& b) { return png_of(b, false); };
  struct Form {
    const char* name;
    std::vector<std::pair<std::string, Bytes>> files;
    bool warnings_allowed = false;
  };
  std::vector<Form> forms = {
      {"bitmaps as varnu wrote them", saved(".BMP", as_is)},
      {"palette PNG", saved(".png", palette_png)},
      {"palette PNG, interlaced", saved(".png", interlaced_png)},
      {"RGB PNG", saved(".png", rgb_png)},
  };
  if (fs::exists(kImageMagick)) {
    for (const char* format : {"PNG8", "PNG24"}) {
      forms.push_back({format,
                       saved(".png",
                             [&](const std::string& name, const Bytes&) {
                               const std::string png = std::string(format) + "-" + name + ".png";
                               const RunResult r =
                                   run_varnu({.program = kImageMagick,
                                              .args = {name, std::string(format) + ":" + png},
                                              .cwd = dir_.path(),
                                              .capture_stderr = true});
                               EXPECT_EQ(r.status, 0) << r.output;
                               return read_bytes(dir_.path() / png);
                             }),
                       // ImageMagick may order a palette its own way: mapped by colour, with a
                       // warning, it gives the same file.
                       true});
    }
  }
  for (const Form& form : forms) {
    SCOPED_TRACE(form.name);
    const std::string folder = std::to_string(&form - forms.data());
    const PackerRun run = pack_like(folder, form.files);
    EXPECT_EQ(run.status, 0) << run.err;
    if (!form.warnings_allowed) {
      EXPECT_EQ(run.err, "");
    }
    EXPECT_TRUE(new_archive(folder) == original_.file);
  }
}

// One edited picture changes its own entry and nothing else: the entries after it are the
// original's bytes, moved to their new boundaries, and a binary patch is about one entry.
TEST_F(Repack, OneEditedPictureChangesOneEntry) {
  std::vector<std::pair<std::string, Bytes>> files(outputs_.begin(), outputs_.end());
  Bytes& edited = files[1].second;
  const std::size_t rows = u32_at(edited, 10);
  edited[rows + 3] = static_cast<std::uint8_t>((edited[rows + 3] + 1) % 16);
  const PackerRun run = pack_like("edited", files);
  ASSERT_EQ(run.status, 0) << run.err;
  const Bytes out = new_archive("edited");

  const std::vector<std::size_t>& at = original_.starts;
  ASSERT_GE(out.size(), at[1]);
  EXPECT_TRUE(std::equal(original_.file.begin(), original_.file.begin() + at[1], out.begin()));
  // The new entry 1 ends on a boundary; everything from there on is the original's from entry 2.
  const std::size_t rest = original_.file.size() - at[2];
  ASSERT_GE(out.size(), rest);
  const std::size_t new_end = out.size() - rest;
  EXPECT_EQ(new_end % kBoundary, 0u);
  EXPECT_TRUE(std::equal(original_.file.begin() + at[2], original_.file.end(),
                         out.begin() + static_cast<std::ptrdiff_t>(new_end)));
  const auto again = files_converted(dir_.path() / "edited", "NEW.ARC");
  ASSERT_TRUE(again);
  std::size_t k = 0;
  for (const auto& [name, bytes] : *again) EXPECT_EQ(bytes, files[k++].second) << name;

  if (!fs::exists(kXdelta)) GTEST_SKIP() << "no xdelta3 at " << kXdelta;
  const RunResult delta =
      run_varnu({.program = kXdelta,
                 .args = {"-e", "-9", "-f", "-s", "../GAME.ARC", "NEW.ARC", "patch"},
                 .cwd = dir_.path() / "edited",
                 .capture_stderr = true});
  ASSERT_EQ(delta.status, 0) << delta.output;
  // The entry's stream of literals, and little more.
  EXPECT_LT(fs::file_size(dir_.path() / "edited" / "patch"), new_end - at[1] + 256);
}

// Palette entries a and b swapped, and the pixels with them: the picture looks the same.
Bytes swapped(Bytes bmp, std::uint8_t a, std::uint8_t b) {
  for (std::size_t k = 0; k < 4; ++k) std::swap(bmp[54 + 4 * a + k], bmp[54 + 4 * b + k]);
  for (std::size_t k = u32_at(bmp, 10); k < bmp.size(); ++k) {
    if (bmp[k] == a || bmp[k] == b) bmp[k] = bmp[k] == a ? b : a;
  }
  return bmp;
}

// A palette in another order: the pixels are matched by colour, with a warning naming the file;
// the colours, and here every byte, are the original's.
TEST_F(Repack, AReorderedPaletteIsAWarningAndKeepsTheColours) {
  std::vector<std::pair<std::string, Bytes>> files(outputs_.begin(), outputs_.end());
  files[0] = {"swapped.bmp", swapped(files[0].second, 1, 2)};
  files[1] = {"swapped.png", png_of(swapped(files[1].second, 3, 5), true)};
  const PackerRun run = pack_like("reordered", files);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(run.err.starts_with(
      "varnu-pack: warning: swapped.bmp: its palette differs from the original entry's (palette "
      "entry 1 is #"))
      << run.err;
  EXPECT_NE(run.err.find("\nvarnu-pack: warning: swapped.png: its palette differs from the "
                         "original entry's (palette entry 3 is #"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 2);
  // Every byte of the original, so every colour.
  EXPECT_TRUE(new_archive("reordered") == original_.file);
}

// Hostile PNGs: one line naming the file, status 1, no archive.
TEST_F(Repack, RefusesHostilePngs) {
  const PngBytes good = png_of(outputs_.begin()->second, true);
  PngBytes bad_crc = good;
  bad_crc[45] ^= 0x10;  // inside PLTE
  PngImage past_palette{.width = 2, .height = 1, .palette = {{1, 2, 3}}, .samples = {0, 1}};
  struct Case {
    const char* name;
    PngBytes file;
    std::string reason;
  };
  const std::vector<Case> cases = {
      {"cut short", PngBytes(good.begin(), good.end() - 40), "truncated: "},
      {"a wrong checksum", bad_crc, "malformed PNG: the checksum of its PLTE chunk is wrong"},
      {"an index past the palette", png_file(past_palette),
       "malformed PNG: a pixel uses palette entry 1, past its palette of 1 colours"},
      {"no height",
       png_from_chunks({{"IHDR", png_header_data(4, 0, 8, kPngPalette, false)}, {"IEND", {}}}),
       "malformed: it has no pixels"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::pair<std::string, Bytes>> files(outputs_.begin(), outputs_.end());
    files[2] = {"hostile.png", c.file};
    const std::string folder = std::to_string(&c - cases.data());
    const PackerRun run = pack_like(folder, files);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.starts_with("varnu-pack: hostile.png: " + c.reason)) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_FALSE(fs::exists(dir_.path() / folder / "NEW.ARC"));
  }
}

// What a pack told its observer: the warnings, and each count of pictures written it showed.
struct Told final : varnu::pack::PackObserver {
  std::size_t warnings = 0;
  std::vector<std::size_t> written;
  void progress(std::size_t now, std::size_t, std::uint64_t) override { written.push_back(now); }
  void warning(const varnu::pack::PackMessage&) override { ++warnings; }
};

// An entry whose file the converter completes with bytes an earlier entry left in its buffer is
// copied only while those bytes stay the same: whatever else of the earlier entry is edited, and
// whichever entry the converter turns over. The page's pack, given the edited picture alone and
// taking the others from the original, writes the command line's archive. Such an entry is only
// found once the pack is under way, which then starts again: a warning it had given is given once.
TEST(RepackLeftovers, AnEntryTakingEarlierBytesIsCopiedOnlyWhileTheyStay) {
  // Entry 0 is 40 x 20, its rows of 40 bytes at `rows`. Entry 1 is 13 x 5, its rows of 16 bytes at
  // the same place; it holds its headers, its palette and its first `kept` rows, and its file
  // takes the rest of its 80 row bytes from entry 0's bottom rows.
  const std::size_t rows = 54 + 1024;
  const auto cut = [&](Bytes bitmap, std::size_t kept) {
    bitmap.resize(rows + 16 * kept);
    return bitmap;
  };
  const Bytes plain = bmp_file({.width = 40, .height = 20});
  const Bytes second = cut(bmp_file({.width = 13, .height = 5}), 2);
  // Green-keyed, their first pixel the key: the converter turns them over.
  const Bytes keyed = bmp_file({.width = 40, .height = 20, .green_key = true, .bottom_left = 0});
  // Both left pixels the key, as in most such pictures, and 40 bytes after its rows, which it
  // takes from entry 0's third row.
  Bytes keyed_second = bmp_file(
      {.width = 13, .height = 5, .tail = 40, .green_key = true, .bottom_left = 0, .top_left = 0});
  keyed_second.resize(rows + 80);
  struct Case {
    const char* name;
    std::vector<Bytes> stored;            // the original's two bitmaps
    std::optional<std::size_t> edited{};  // a byte of entry 0's file, changed
    bool second_copied = true;
    bool reordered = false;  // entry 0's palette entries 1 and 2 swapped, and its pixels with them
  };
  const std::vector<Case> cases = {
      {"nothing edited", {plain, second}},
      {"entry 0 edited where entry 1 does not read", {plain, second}, rows + 19 * 40},
      {"entry 0 edited where entry 1 decodes over it", {plain, second}, rows + 2},
      {"entry 0 edited where entry 1 reads", {plain, second}, rows + 40 + 2, false},
      // Entry 1 takes entry 0's top rows, where the converter turned them.
      {"entry 0 turned over, nothing edited", {keyed, cut(second, 0)}},
      {"entry 1 turned over, nothing edited", {plain, keyed_second}},
      {"entry 1 turned over, entry 0 edited where it reads",
       {plain, keyed_second},
       rows + 80 + 2,
       false},
      {"entry 0's palette reordered, a warning", {plain, second}, {}, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Original original = original_of(c.stored);
    TempDir dir;
    write_bytes(dir.path() / "GAME.ARC", original.file);
    const auto outputs = files_converted(dir.path(), "GAME.ARC");
    ASSERT_TRUE(outputs && outputs->size() == 2);
    std::vector<Bytes> files = {outputs->begin()->second, std::next(outputs->begin())->second};
    if (c.edited) files[0][*c.edited] ^= 1;
    if (c.reordered) files[0] = swapped(files[0], 1, 2);

    const fs::path folder = dir.path() / "all";
    fs::create_directory(folder);
    write_bytes(folder / "0.bmp", files[0]);
    write_bytes(folder / "1.bmp", files[1]);
    const PackerRun run = pack(folder, {"--like", "../GAME.ARC", "NEW.ARC", "0.bmp", "1.bmp"});
    ASSERT_EQ(run.status, 0) << run.err;
    if (c.reordered) {
      EXPECT_TRUE(run.err.starts_with(
          "varnu-pack: warning: 0.bmp: its palette differs from the original entry's (palette "
          "entry 1 is #"))
          << run.err;
      EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    } else {
      EXPECT_EQ(run.err, "");
    }
    // Matched by colour, a reordered palette gives the original's file back.
    const Bytes given = files[0];
    if (c.reordered) files[0] = outputs->begin()->second;
    const Bytes out = read_bytes(folder / "NEW.ARC");
    const auto entries = read_archive(out, true);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].bitmap == c.stored[1], c.second_copied);
    if (!c.edited) {
      EXPECT_TRUE(out == original.file);
    }
    // Whichever way entry 1 was stored, the converter gives both pictures back.
    const auto again = files_converted(folder, "NEW.ARC");
    ASSERT_TRUE(again && again->size() == 2);
    EXPECT_EQ(again->begin()->second, files[0]);
    EXPECT_EQ(std::next(again->begin())->second, files[1]);

    const fs::path page = dir.path() / "page";
    fs::create_directory(page);
    std::optional<std::string> replaced;
    if (c.edited || c.reordered) {
      write_bytes(page / "0.bmp", given);
      replaced = (page / "0.bmp").string();
    }
    Told told;
    const auto result = varnu::pack::pack(
        varnu::pack::replacing_request((dir.path() / "GAME.ARC").string(),
                                       (page / "NEW.ARC").string(), {replaced, std::nullopt}),
        &told);
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(read_bytes(page / "NEW.ARC") == out);
    // The page is told each warning once, and its progress never goes back.
    EXPECT_EQ(told.warnings, c.reordered ? 1u : 0u);
    EXPECT_TRUE(std::is_sorted(told.written.begin(), told.written.end()));
    EXPECT_EQ(told.written.back(), 2u);
  }
}

// An entry whose bitmap is in a form the packer would not write (1 or 4 bits a pixel, RLE8,
// RLE4), which the converter writes as it stands, is copied as it stands when its picture is
// that file byte for byte, edited neighbours or not; and a patch for no edit is copies alone.
TEST(RepackForms, AnEntryOfAnyFormIsCopiedWhenItsFileIsUntouched) {
  varnu::tools::Picture sixteen = varnu::tools::draw_checkerboard(24, 9, 3);
  for (auto& p : sixteen.pixels) p %= 16;
  const std::vector<Bytes> stored = {
      bmp_file({.width = 24, .height = 5, .bits = 1, .colours = 2}),
      bmp_file({.width = 13, .height = 6, .bits = 4, .colours = 16}),
      varnu::tools::encode_rle_bmp(varnu::tools::draw_line_art(30, 12), 8),
      varnu::tools::encode_rle_bmp(sixteen, 4),
      bmp_file({.width = 37, .height = 21}),
  };
  const Original original = original_of(stored);
  TempDir dir;
  write_bytes(dir.path() / "GAME.ARC", original.file);
  const auto outputs = files_converted(dir.path(), "GAME.ARC");
  ASSERT_TRUE(outputs && outputs->size() == stored.size());
  std::vector<std::string> names;
  std::size_t k = 0;
  for (const auto& [name, bytes] : *outputs) {
    EXPECT_EQ(bytes.size(), stored[k++].size()) << name << " is the stored bitmap";
    write_bytes(dir.path() / name, bytes);
    names.push_back(name);
  }
  std::vector<std::string> args = {"--like", "GAME.ARC", "NEW.ARC"};
  args.insert(args.end(), names.begin(), names.end());
  PackerRun run = pack(dir.path(), args);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(read_bytes(dir.path() / "NEW.ARC") == original.file);

  args[2] = "--patch=none.vcdiff";
  run = pack(dir.path(), args);
  ASSERT_EQ(run.status, 0) << run.err;
  // The header and one window of one copy: far less than any entry.
  EXPECT_LT(fs::file_size(dir.path() / "none.vcdiff"), 40u);

  // The last picture edited: the others still copied as they stand.
  Bytes edited = outputs->rbegin()->second;
  edited[u32_at(edited, 10)] ^= 1;
  write_bytes(dir.path() / names.back(), edited);
  args[2] = "NEW.ARC";
  run = pack(dir.path(), args);
  ASSERT_EQ(run.status, 0) << run.err;
  const Bytes out = read_bytes(dir.path() / "NEW.ARC");
  ASSERT_GE(out.size(), original.starts[4]);
  EXPECT_TRUE(
      std::equal(original.file.begin(), original.file.begin() + original.starts[4], out.begin()));
}

// The page's pack of a few replaced pictures gives the command line's bytes for all of them.
TEST_F(Repack, ReplacingSomePicturesIsThePackOfAllOfThem) {
  std::vector<std::pair<std::string, Bytes>> files(outputs_.begin(), outputs_.end());
  files[2].second[u32_at(files[2].second, 10)] ^= 1;
  files[2] = {"replaced.png", png_of(files[2].second, true)};
  ASSERT_EQ(pack_like("all", files).status, 0);

  const fs::path folder = dir_.path() / "some";
  fs::create_directory(folder);
  write_bytes(folder / "replaced.png", files[2].second);
  const auto result = varnu::pack::pack(varnu::pack::replacing_request(
      (dir_.path() / "GAME.ARC").string(), (folder / "NEW.ARC").string(),
      {std::nullopt, std::nullopt, (folder / "replaced.png").string(), std::nullopt}));
  EXPECT_EQ(result.status, 0);
  EXPECT_TRUE(result.messages.empty());
  EXPECT_TRUE(read_bytes(folder / "NEW.ARC") == new_archive("all"));
}

}  // namespace
